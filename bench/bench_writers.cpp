// The DXF and point-file writers on a full record (3599 points), each against a baseline that
// writes the same bytes with one fwrite into the same folder, so that figures read as ratios;
// and every GIS format of the table beside them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>

#include "export/dxf_writer.h"
#include "export/point_file.h"
#include "export/record_formats.h"
#include "import/record.h"

namespace {

namespace fs = std::filesystem;

// A folder in memory where there is one, removed at exit.
struct BenchFolder {
    BenchFolder()
    {
        std::string pattern = (fs::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/varnel-bench-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            perror("mkdtemp");
            std::exit(1);
        }
        path = pattern;
    }
    ~BenchFolder() { fs::remove_all(path); }
    fs::path path;
};

const BenchFolder& Folder()
{
    static const BenchFolder folder;
    return folder;
}

const MeasureRecord& FullRecord()
{
    static const std::unique_ptr<MeasureRecord> record = [] {
        auto r = std::make_unique<MeasureRecord>();
        r->pointCount = MaxPointCount;
        for (int i = 0; i < MaxPointCount; ++i) {
            const double angle = 2 * std::numbers::pi * i / MaxPointCount;
            r->points[i] = {113.9 + 0.01 * std::cos(angle), 22.5 + 0.01 * std::sin(angle), 0};
            r->planePoints[i] = {505142.962 + 1000 * std::cos(angle), -2494705.043 - 1000 * std::sin(angle)};
        }
        return r;
    }();
    return *record;
}

void BM_Writer(benchmark::State& state, RecordWriter writer, const char* name)
{
    const std::string path = (Folder().path / name).string();
    for (auto _ : state) {
        if (writer(path.c_str(), FullRecord(), nullptr) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(path)));
}

// The writer's bytes, written once with fopen, one fwrite and fclose.
void BM_FwriteBaseline(benchmark::State& state, RecordWriter writer, const char* name)
{
    const std::string reference = (Folder().path / (std::string(name) + ".reference")).string();
    if (writer(reference.c_str(), FullRecord(), nullptr) != 0) {
        state.SkipWithError("write failed");
        return;
    }
    std::ostringstream content;
    content << std::ifstream(reference, std::ios::binary).rdbuf();
    const std::string bytes = content.str();
    const std::string path = (Folder().path / (std::string(name) + ".baseline")).string();
    for (auto _ : state) {
        FILE* file = fopen(path.c_str(), "wb");
        const bool written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file == nullptr || fclose(file) != 0 || !written) {
            state.SkipWithError("baseline write failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

const RecordWriter writeDxf = WriteDxfFile;
const RecordWriter exportPoints = ExportPointFile;

BENCHMARK_CAPTURE(BM_FwriteBaseline, Dxf, writeDxf, "out.dxf")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Writer, WriteDxfFile, writeDxf, "out.dxf")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FwriteBaseline, PointFile, exportPoints, "out.csv")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Writer, ExportPointFile, exportPoints, "out.csv")->Unit(benchmark::kMicrosecond);

// Each GIS row of the format table, named by its id, after the DXF writer of the same run.
const bool gisRegistered = [] {
    for (const RecordFormat& format : CoreRecordFormats()) {
        if (format.command != ExportCommand::Gis) continue;
        const std::string name = std::string("out.") + format.suffix;
        benchmark::RegisterBenchmark((std::string("BM_Writer/Gis/") + format.id).c_str(),
                                     [writer = format.writer, name](benchmark::State& state) {
                                         BM_Writer(state, writer, name.c_str());
                                     })
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
