#include "app/exportmodules.h"

#include <QApplication>
#include <QCursor>

#include <string>

namespace {

QString UnavailableText(ExportCommand command, const std::string& why)
{
    const QString what = command == ExportCommand::Gis ? QStringLiteral("GIS 导出") : QStringLiteral("报告导出");
    return QStringLiteral("%1不可用：%2").arg(what, QString::fromLocal8Bit(why.c_str()));
}

}  // namespace

bool LoadCommandWriters(ExportCommand command, QString* message)
{
    for (const RecordFormat& format : RecordFormats()) {
        if (format.command != command || format.module == WriterModule::None) continue;
        // The first load reads GDAL's hundred-odd libraries: a moment the pointer shows.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::string why;
        const bool loaded = LoadWriterModule(format.module, &why);
        QApplication::restoreOverrideCursor();
        if (!loaded) {
            *message = UnavailableText(command, why);
            return false;
        }
    }
    return true;
}
