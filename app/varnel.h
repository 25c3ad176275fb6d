#pragma once
// The application object: runs the main window until it closes.
#include <QApplication>
#include <QByteArray>
#include <QList>

class CVarnelApp : public QApplication {
    Q_OBJECT
public:
    CVarnelApp(int& argc, char** argv);

    // Shows the main window modally, importing the paths the program was started with once
    // the map has loaded; the program ends when the window closes.
    int Run();

private:
    QList<QByteArray> m_paths;  // as given on the command line, made absolute
};

// Qt's own texts (dialogs, message box buttons, the browser) in Chinese, whatever the system's
// locale; false when Qt's Chinese translation is not installed. Call before the first browser
// is made: the browser takes its language from the default locale then.
bool InstallChineseTexts();
