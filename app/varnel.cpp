#include "app/varnel.h"

#include <QLoggingCategory>

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

}  // namespace

CVarnelApp::CVarnelApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Varnel"));
    setWindowIcon(AppIcon());
    // Lines are only formatted when someone reads them.
    if (lcImport().isDebugEnabled()) SetLogSink(LogToCategory, nullptr);
}

int CVarnelApp::Run()
{
    CVarnelDlg dialog;
    dialog.exec();
    return 0;
}
