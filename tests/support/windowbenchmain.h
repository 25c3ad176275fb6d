#pragma once
// The body of a window benchmark's main(): offscreen unless a platform is named, a data folder
// of its own, the map's browser engine prepared before the application exists, and the
// benchmarks' fixture built inside the application's lifetime (fixture points at it while the
// benchmarks run).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "map/explorer.h"

template <class Fixture>
int RunWindowBenchmarks(int argc, char** argv, Fixture*& fixture)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's record archive and data folder are the run's own, never the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    InitMapBrowser();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture instance;
    fixture = &instance;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
