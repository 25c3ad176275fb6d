// The archive window over 100 000 archived records of small files: the window shown with its
// first page, a filter typed, a sort by another column. The baseline, in the same run, is the
// same window over an empty archive.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include <cstdio>
#include <memory>
#include <string>

#include "app/archivemodel.h"
#include "app/archivesession.h"
#include "app/archivewindow.h"
#include "import/loader.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/testsupport.h"
#include "tests/support/windowbenchmain.h"

namespace {

constexpr int kRecords = 100000;

// kRecords small fields of distinct bytes, stored the way an import stores them.
void FillArchive(const std::string& path, int records)
{
    RecordArchive archive;
    archive.Open(path);
    archive.BeginImport();
    auto record = std::make_unique<MeasureRecord>();
    char text[400];
    for (int i = 0; i < records; ++i) {
        const int n = std::snprintf(text, sizeof text,
                                    "2026-%02d-%02d,10:20:01,22.5%05d,113.90\r\n2026-%02d-%02d,10:20:02,22.51,113.90\r\n"
                                    "2026-%02d-%02d,10:20:03,22.51,113.91\r\n",
                                    1 + i % 12, 1 + i % 28, i, 1 + i % 12, 1 + i % 28, 1 + i % 12, 1 + i % 28);
        char name[96];
        std::snprintf(name, sizeof name, "/media/device/FIELD-%06d.nmea", i);
        LoadRecordBytes(name, text, size_t(n), *record);
        archive.StoreBytes(*record, std::string_view(text, size_t(n)), "/media/device");
    }
    archive.CommitImport();
}

struct Fixture {
    ScratchFolder folder{"varnel-bench-archive"};
    CScriptedDialogs dialogs;
    CArchiveSession full{folder.File("full.sqlite")};
    CArchiveSession empty{folder.File("empty.sqlite")};

    Fixture()
    {
        FillArchive(folder.File("full.sqlite"), kRecords);
        FillArchive(folder.File("empty.sqlite"), 0);
    }
};

Fixture* g_fixture = nullptr;

CArchiveSession& SessionOf(const benchmark::State& state)
{
    return state.range(0) ? g_fixture->full : g_fixture->empty;
}

// From nothing to the window painted with its first page of rows.
void BM_FirstPage(benchmark::State& state)
{
    for (auto _ : state) {
        CArchiveWindow window(SessionOf(state), g_fixture->dialogs, nullptr);
        window.show();
        window.findChild<QTableView*>()->viewport()->repaint();
        state.PauseTiming();
        if (state.range(0) && window.Model()->rowCount() != kRecords) state.SkipWithError("not every record listed");
        window.close();
        state.ResumeTiming();
    }
}

// A text typed into the filter, the table repainted with what it finds.
void BM_Filter(benchmark::State& state)
{
    CArchiveWindow window(SessionOf(state), g_fixture->dialogs, nullptr);
    window.show();
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("archiveSearch"));
    auto* view = window.findChild<QTableView*>();
    int round = 0;
    for (auto _ : state) {
        search->setText(QString::asprintf("%04d", round++ % 1000));
        view->viewport()->repaint();
    }
}

// The table sorted by area, then by file name, and repainted.
void BM_Sort(benchmark::State& state)
{
    CArchiveWindow window(SessionOf(state), g_fixture->dialogs, nullptr);
    window.show();
    auto* view = window.findChild<QTableView*>();
    int round = 0;
    for (auto _ : state) {
        view->sortByColumn(round++ % 2 ? int(ArchiveColumn::AreaM2) : int(ArchiveColumn::FileName), Qt::AscendingOrder);
        view->viewport()->repaint();
    }
}

BENCHMARK(BM_FirstPage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Filter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv, g_fixture);
}
