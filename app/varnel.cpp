#include "app/varnel.h"

#include "app/dialogtemplate.h"
#include "app/varneldlg.h"

CVarnelApp::CVarnelApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Varnel"));
    setWindowIcon(AppIcon());
}

int CVarnelApp::Run()
{
    CVarnelDlg dialog;
    dialog.exec();
    return 0;
}
