// Window benchmark with its baseline measured in the same run: the result panel for a
// 3599-point record, against clearing the panel for an empty record. (The window's folder
// import is measured in bench_folder_import, beside the floor and the core import.)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

#include "tests/support/scripteddialogs.h"
#include "tests/support/windowbenchmain.h"
#include "app/varneldlg.h"
#include "import/loader.h"
#include "map/explorer.h"

namespace {

// A walked field: 3599 dated points around an irregular loop, one per second, with the
// receiver's jitter of a few decimetres.
QByteArray FieldFile(int seed)
{
    QByteArray content;
    char line[96];
    for (int i = 0; i < MaxPointCount; ++i) {
        const double angle = 2 * M_PI * i / MaxPointCount;
        const double jitter = 3e-6 * ((i * 7919 + seed) % 13 - 6) / 6;
        const double radius = 0.001 * (1 + 0.2 * std::sin(5 * angle + seed)) + jitter;
        const int t = 36000 + i;
        const int n = std::snprintf(line, sizeof line, "2026-04-11,%02d:%02d:%02d,%.7f,%.7f\r\n", t / 3600,
                                    t / 60 % 60, t % 60, 22.5 + radius * std::sin(angle),
                                    113.9 + radius * std::cos(angle));
        content.append(line, n);
    }
    return content;
}

struct Fixture {
    QTemporaryDir folder;
    CScriptedDialogs dialogs;
    CVarnelDlg dialog{&dialogs};

    Fixture()
    {
        QFile file(FirstFile());
        if (!file.open(QIODevice::WriteOnly) || file.write(FieldFile(0)) < 0) std::abort();
        dialog.show();
    }

    QString FirstFile() const { return folder.filePath(QStringLiteral("field_000.nmea")); }
};

Fixture* g_fixture = nullptr;  // lives in main, inside the application's lifetime

Fixture& TheFixture()
{
    return *g_fixture;
}

void RenderOutline(benchmark::State& state, int pointCount)
{
    Fixture& f = TheFixture();
    RecordTable& table = TheRecordTable();
    if (LoadRecordFile(QFile::encodeName(f.FirstFile()).constData(), table.records[0]) != 0) {
        state.SkipWithError("the fixture does not load");
        return;
    }
    table.records[0].pointCount = pointCount;
    table.count = 1;
    auto* outline = f.dialog.findChild<QWidget*>(QStringLiteral("outline"));
    QImage image(outline->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        f.dialog.ShowResult(0);
        outline->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_ShowResultEmpty(benchmark::State& state)
{
    RenderOutline(state, 0);
}
BENCHMARK(BM_ShowResultEmpty)->Unit(benchmark::kMicrosecond);

void BM_ShowResult3599(benchmark::State& state)
{
    RenderOutline(state, MaxPointCount);
}
BENCHMARK(BM_ShowResult3599)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv, g_fixture);
}
