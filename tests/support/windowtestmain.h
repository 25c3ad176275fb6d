#pragma once
// main() of a window test: the map's browser engine is prepared before the application exists,
// and Qt's own texts are Chinese, as the program does it.
#include <QApplication>
#include <QtTest>

#include <cstdio>

#include "app/varnel.h"
#include "map/explorer.h"
#include "tests/support/xvfbserver.h"

template <class TestClass>
int RunWindowTest(int argc, char** argv)
{
    InitMapBrowser();
    QApplication app(argc, argv);
    InstallChineseTexts();
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

#define VARNEL_WINDOW_TEST_MAIN(TestClass)                \
    int main(int argc, char** argv)                       \
    {                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                        \
        return RunWindowTest<TestClass>(argc, argv);      \
    }

// The same for a test that needs a real screen: on its own Xvfb of that screen size (e.g.
// "1024x768x24") unless a display is set.
#define VARNEL_XVFB_WINDOW_TEST_MAIN(TestClass, screen)                      \
    int main(int argc, char** argv)                                          \
    {                                                                        \
        XvfbServer xvfb;                                                     \
        if (qEnvironmentVariableIsEmpty("DISPLAY") && !xvfb.Start(screen)) { \
            std::fputs("Xvfb did not start\n", stderr);                      \
            return 1;                                                        \
        }                                                                    \
        qputenv("QT_QPA_PLATFORM", "xcb");                                   \
        QTEST_SET_MAIN_SOURCE_PATH                                           \
        return RunWindowTest<TestClass>(argc, argv);                         \
    }

// The same under a window manager (openbox), as on a user's desktop: minimising, frames.
#define VARNEL_XVFB_WM_WINDOW_TEST_MAIN(TestClass, screen)                                    \
    int main(int argc, char** argv)                                                          \
    {                                                                                        \
        XvfbServer xvfb;                                                                     \
        if (qEnvironmentVariableIsEmpty("DISPLAY") && (!xvfb.Start(screen) || !xvfb.StartWindowManager())) { \
            std::fputs("Xvfb with openbox did not start\n", stderr);                        \
            return 1;                                                                        \
        }                                                                                    \
        qputenv("QT_QPA_PLATFORM", "xcb");                                                   \
        QTEST_SET_MAIN_SOURCE_PATH                                                           \
        return RunWindowTest<TestClass>(argc, argv);                                         \
    }
