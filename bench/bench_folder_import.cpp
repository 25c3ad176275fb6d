// A device's folder of 200 full RMC files (3599 points each, about 47 MB), all in one run:
// - the floor: the same bytes opened and read, as cat reads them;
// - the folder import on the calling thread alone;
// - the folder import on the thread pool;
// - the window's OnImportDevice, with the waiting window and the list filled.
// Compare the figures as ratios to the floor. Wall-clock times, since the pool's gain is in them.
//
// With --write-workload DIR it only writes the folder's files into DIR (for timing whole
// processes on the same bytes, see compare_converter.sh).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/varneldlg.h"
#include "import/folder_import.h"
#include "map/explorer.h"
#include "map/mappage.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/windowbenchmain.h"
#include "tests/support/testsupport.h"

namespace {

constexpr int kFiles = 200;

void WriteWorkload(const std::string& dir)
{
    const std::string text = RecordFileText(RmcSentence);
    for (int i = 0; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/TRACK-%03d_2026-04-11 102030.nmea", i);
        std::ofstream(dir + name, std::ios::binary) << text;
    }
}

struct Fixture {
    ScratchFolder folder{"varnel-bench-device"};
    std::vector<std::string> paths;
    CScriptedDialogs dialogs;
    CVarnelDlg dialog{&dialogs};
    std::unique_ptr<RecordTable> table = std::make_unique<RecordTable>();

    Fixture()
    {
        WriteWorkload(folder.path());
        ListRecordFolder(folder.path().c_str(), FolderOrder::Listing, paths);
        for (std::string& name : paths) name.insert(0, folder.path() + "/");
        dialogs.folderAnswer = QString::fromStdString(folder.path());
        dialog.show();
    }
};

Fixture* g_fixture = nullptr;  // lives in main, inside the application's lifetime

void BM_ReadFloor(benchmark::State& state)
{
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        for (const std::string& path : g_fixture->paths) {
            const int fd = open(path.c_str(), O_RDONLY);
            while (read(fd, buffer.data(), buffer.size()) > 0) {}
            close(fd);
        }
        benchmark::ClobberMemory();
    }
}

void Import(benchmark::State& state, int threads)
{
    for (auto _ : state) {
        std::vector<std::string> names;
        ListRecordFolder(g_fixture->folder.path().c_str(), FolderOrder::Listing, names);
        for (std::string& name : names) name.insert(0, g_fixture->folder.path() + "/");
        const FolderImportResult run = ImportRecordFiles(names, *g_fixture->table, nullptr, threads);
        if (run.loaded != kFiles) state.SkipWithError("the import did not load every file");
    }
}

void BM_ImportOneThread(benchmark::State& state)
{
    Import(state, 1);
}

void BM_ImportPooled(benchmark::State& state)
{
    Import(state, 0);
}

// Scripts run in the order sent, so this answers once the page has drawn the route it was sent.
int WaitForRoute(CExplorer1& browser)
{
    QEventLoop loop;
    int drawn = -1;
    static_cast<CMapPage*>(browser.Document())
        ->RunScript(QStringLiteral("typeof GPSPointCnt === 'number' ? GPSPointCnt : -1"), [&](const QVariant& result) {
            drawn = result.toInt();
            loop.quit();
        });
    loop.exec();
    return drawn;
}

// Lets the browser's processes finish painting what they were sent, outside the timing.
void Settle(CExplorer1& map)
{
    WaitForRoute(map);
    QEventLoop idle;
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
}

// Until the import has returned with the list filled and the first record sent to the map. The
// map's drawing that follows runs in the browser's processes; it is waited for outside the timing,
// so that it does not take the next round's processors.
void BM_WindowImportDevice(benchmark::State& state)
{
    CExplorer1* map = g_fixture->dialog.findChild<CExplorer1*>(QStringLiteral("mapArea"));
    for (auto _ : state) {
        g_fixture->dialog.OnImportDevice();
        QCoreApplication::processEvents();
        state.PauseTiming();
        Settle(*map);
        state.ResumeTiming();
    }
    if (TheRecordTable().count != kFiles) state.SkipWithError("the import did not load every file");
}

// The same until the map has drawn the first record's route.
void BM_WindowImportDeviceUntilDrawn(benchmark::State& state)
{
    CExplorer1* map = g_fixture->dialog.findChild<CExplorer1*>(QStringLiteral("mapArea"));
    for (auto _ : state) {
        g_fixture->dialog.OnImportDevice();
        if (WaitForRoute(*map) != TheRecordTable().records[0].pointCount) {
            state.SkipWithError("the map did not draw the route");
            break;
        }
        state.PauseTiming();
        Settle(*map);
        state.ResumeTiming();
    }
}

BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportPooled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowImportDevice)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowImportDeviceUntilDrawn)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-workload") == 0) {
        WriteWorkload(argv[2]);
        return 0;
    }
    return RunWindowBenchmarks(argc, argv, g_fixture);
}
