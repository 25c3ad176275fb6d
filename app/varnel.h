#pragma once
// The application object: runs the main window until it closes.
#include <QApplication>

class CVarnelApp : public QApplication {
    Q_OBJECT
public:
    CVarnelApp(int& argc, char** argv);

    // Shows the main window modally; the program ends when it closes.
    int Run();
};
