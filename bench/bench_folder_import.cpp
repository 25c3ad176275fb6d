// A device's folder of 200 full RMC files (3599 points each, about 47 MB), all in one run:
// - the floor: the same bytes opened and read, as cat reads them;
// - the folder import on the calling thread alone;
// - the folder import on the thread pool;
// - the window's OnImportDevice, with the waiting window and the list filled: without a record
//   archive (one that cannot be opened), into a new archive (every record stored), and into
//   one that holds them all (every record known);
// Compare the figures as ratios to the floor. Wall-clock times, since the pool's gain is in them.
//
// With --write-workload DIR it only writes the folder's files into DIR (for timing whole
// processes on the same bytes, see compare_converter.sh).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/archivesession.h"
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
        // A last line of no known kind makes each file's bytes its own, as each field's are.
        std::ofstream(dir + name, std::ios::binary) << text << "$PVRNL," << i << "\r\n";
    }
}

struct Fixture {
    ScratchFolder folder{"varnel-bench-device"};
    ScratchFolder archive{"varnel-bench-archive"};
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
        // Without an archive unless a benchmark gives it one.
        dialog.ArchiveSession().UsePath(paths.at(0) + "/records.sqlite");
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

enum class ArchiveKind { None, New, Known };

// The window's import as above, with the archive of kind. The archive is made (or removed)
// outside the timing of each round.
void WindowImportWithArchive(benchmark::State& state, ArchiveKind kind)
{
    CExplorer1* map = g_fixture->dialog.findChild<CExplorer1*>(QStringLiteral("mapArea"));
    CArchiveSession& session = g_fixture->dialog.ArchiveSession();
    const std::string path = g_fixture->archive.File("records.sqlite");
    // A path below a regular file cannot be opened: the import goes on without an archive.
    const std::string unusable = g_fixture->paths.at(0) + "/records.sqlite";
    const auto fresh = [&] {
        session.UsePath(kind == ArchiveKind::None ? unusable : path);
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
        if (kind == ArchiveKind::Known) {
            g_fixture->dialog.OnImportDevice();
            Settle(*map);
        }
    };
    fresh();
    for (auto _ : state) {
        g_fixture->dialog.OnImportDevice();
        QCoreApplication::processEvents();
        state.PauseTiming();
        Settle(*map);
        RecordArchive* archive = kind == ArchiveKind::None ? nullptr : session.Archive();
        if (archive && archive->RecordCount() != kFiles) {
            const QString said = g_fixture->dialog.findChild<QLabel*>(QStringLiteral("archiveStatus"))->toolTip();
            state.SkipWithError(("the archive does not hold every file: " + said.toStdString()).c_str());
            break;
        }
        if (kind == ArchiveKind::New) fresh();
        state.ResumeTiming();
    }
    if (TheRecordTable().count != kFiles) state.SkipWithError("the import did not load every file");
    session.UsePath(unusable);
}

void BM_WindowImportDeviceNoArchive(benchmark::State& state)
{
    WindowImportWithArchive(state, ArchiveKind::None);
}

void BM_WindowImportDeviceNewToArchive(benchmark::State& state)
{
    WindowImportWithArchive(state, ArchiveKind::New);
}

void BM_WindowImportDeviceKnownToArchive(benchmark::State& state)
{
    WindowImportWithArchive(state, ArchiveKind::Known);
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
BENCHMARK(BM_WindowImportDeviceNoArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowImportDeviceNewToArchive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowImportDeviceKnownToArchive)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-workload") == 0) {
        WriteWorkload(argv[2]);
        return 0;
    }
    return RunWindowBenchmarks(argc, argv, g_fixture);
}
