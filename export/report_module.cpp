// The report writer as a module (varnel-report.so), so that a program without Qt Gui of its own
// (the converter) loads it only for a report.
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

#include "export/report_pdf.h"
#include "export/writer_module.h"

namespace {

// The application the report's fonts need, where the program has none of its own.
std::unique_ptr<QGuiApplication> ownApplication;

int PrepareReport(char* why, size_t whySize)
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) return 0;
    if (QCoreApplication::instance() != nullptr) {
        std::snprintf(why, whySize, "the program's Qt application has no fonts (not a QGuiApplication)");
        return -1;
    }
    // Fonts, but no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes about the session (no runtime folder as root, say) are not the program's
    // messages; its errors still are.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.toLocal8Bit().constData());
    });
    static int argc = 1;
    static char name[] = "varnel";
    static char* argv[] = {name, nullptr};
    ownApplication = std::make_unique<QGuiApplication>(argc, argv);
    return 0;
}

void FinishReport()
{
    ownApplication.reset();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const WriterModuleInterface* VarnelWriterModule()
{
    static const WriterModuleInterface interface{kWriterModuleIdentity, PrepareReport, FinishReport, {WriteReportPdf, nullptr}};
    return &interface;
}
