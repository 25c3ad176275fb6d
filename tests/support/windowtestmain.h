#pragma once
// main() of a window test: the map's browser engine is prepared before the application exists,
// and Qt's own texts are Chinese, as the program does it.
#include <QApplication>
#include <QtTest>

#include "app/varnel.h"
#include "map/explorer.h"

#define VARNEL_WINDOW_TEST_MAIN(TestClass)         \
    int main(int argc, char** argv)                \
    {                                              \
        InitMapBrowser();                          \
        QApplication app(argc, argv);              \
        InstallChineseTexts();                     \
        TestClass test;                            \
        QTEST_SET_MAIN_SOURCE_PATH                 \
        return QTest::qExec(&test, argc, argv);    \
    }
