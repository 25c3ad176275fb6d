// The DXF and point-file writers on a full record (3599 points), each against a baseline that
// writes the same bytes with one fwrite into the same folder, so that figures read as ratios;
// and every GIS format of the table beside them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "export/dxf_writer.h"
#include "export/point_file.h"
#include "export/record_formats.h"
#include "import/record.h"
#include "tests/support/testsupport.h"

namespace {

namespace fs = std::filesystem;

// A folder in memory where there is one, removed at exit.
const ScratchFolder& Folder()
{
    static const ScratchFolder folder("varnel-bench", fs::exists("/dev/shm") ? "/dev/shm" : nullptr);
    return folder;
}

const MeasureRecord& Record()
{
    static const std::unique_ptr<MeasureRecord> record = FullRecord();
    return *record;
}

void BM_Writer(benchmark::State& state, RecordWriter writer, const char* name)
{
    const std::string path = Folder().File(name);
    for (auto _ : state) {
        if (writer(path.c_str(), Record(), nullptr) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(path)));
}

// The writer's bytes, written once with fopen, one fwrite and fclose.
void BM_FwriteBaseline(benchmark::State& state, RecordWriter writer, const char* name)
{
    const std::string reference = Folder().File(std::string(name) + ".reference");
    if (writer(reference.c_str(), Record(), nullptr) != 0) {
        state.SkipWithError("write failed");
        return;
    }
    const std::string bytes = ReadWholeFile(reference);
    const std::string path = Folder().File(std::string(name) + ".baseline");
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
    for (const RecordFormat& format : RecordFormats()) {
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
