#include "app/varnel.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

#include <unistd.h>

#include "app/startupprobe.h"
#include "import/dialogtemplate.h"
#include "app/varneldlg.h"
#include "import/log.h"

namespace {

// The import path's diagnostic lines; off unless enabled, e.g. QT_LOGGING_RULES="varnel.import.debug=true".
Q_LOGGING_CATEGORY(lcImport, "varnel.import", QtInfoMsg)

void LogToCategory(void*, const char* line)
{
    qCDebug(lcImport, "%s", line);
}

// A path of the command line, absolute: the folder import changes the current directory. The
// bytes stay as given, so names in the instrument's GBK are found.
QByteArray AbsolutePath(const QByteArray& path)
{
    if (path.startsWith('/')) return path;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return path;
    const QByteArray absolute = QByteArray(cwd) + '/' + path;
    free(cwd);
    return absolute;
}

}  // namespace

bool InstallChineseTexts()
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool base = false;
    for (const char* name : {"qtbase", "qtwebengine"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(chinese, QLatin1String(name), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            base = base || qstrcmp(name, "qtbase") == 0;
        } else {
            qWarning("Qt's Chinese texts (%s_zh_CN) are not installed in %s", name, qPrintable(folder));
            delete translator;
        }
    }
    return base;
}

CVarnelApp::CVarnelApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Varnel"));
    setWindowIcon(AppIcon());
    InstallChineseTexts();
    // Lines are only formatted when someone reads them.
    if (lcImport().isDebugEnabled()) SetLogSink(LogToCategory, nullptr);
    // QApplication has taken its own options out of argv. An empty argument names nothing (made
    // absolute it would be the current folder): it stays empty, and the import says so.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '\0') qWarning("varnel: an empty argument names no file or folder; nothing is imported for it");
        m_paths << (argv[i][0] == '\0' ? QByteArray() : AbsolutePath(argv[i]));
    }
}

int CVarnelApp::Run()
{
    CVarnelDlg dialog;
    dialog.ImportPathsAfterMapLoad(m_paths);
    ArmStartupProbe(dialog);
    dialog.exec();
    return 0;
}
