// Loading record files: one full file of each line kind, the geometry of a full record, and a
// folder of 200 full RMC files, beside the floor of reading the same bytes without parsing.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "import/loader.h"
#include "import/record_completion.h"
#include "tests/support/testsupport.h"

namespace {

constexpr int kFolderFiles = 200;

struct Fixture {
    std::string dir;
    std::string rmc, dated, stamped;
    std::vector<std::string> folder;
    size_t folderBytes = 0;

    Fixture()
    {
        char pattern[] = "/tmp/varnel-bench-XXXXXX";
        dir = mkdtemp(pattern);
        auto write = [&](const std::string& name, const std::string& text) {
            std::ofstream(dir + "/" + name, std::ios::binary) << text;
            return dir + "/" + name;
        };
        const std::string rmcText = RecordFileText(RmcSentence);
        rmc = write("rmc.nmea", rmcText);
        dated = write("dated.nmea", RecordFileText(DatedPoint));
        stamped = write("stamped.nmea", RecordFileText(StampedPoint));
        std::filesystem::create_directory(dir + "/device");
        for (int i = 0; i < kFolderFiles; ++i) {
            folder.push_back(write("device/TRACK-" + std::to_string(i) + "_2026-04-11 102030.nmea", rmcText));
            folderBytes += rmcText.size();
        }
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& Files()
{
    static Fixture fixture;
    return fixture;
}

void LoadOne(benchmark::State& state, const std::string& path)
{
    auto record = std::make_unique<MeasureRecord>();
    for (auto _ : state) {
        if (LoadRecordFile(path.c_str(), *record) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(record->calcArea);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
}

void BM_LoadRmcFile(benchmark::State& state) { LoadOne(state, Files().rmc); }
void BM_LoadDatedFile(benchmark::State& state) { LoadOne(state, Files().dated); }
void BM_LoadNumberedFile(benchmark::State& state) { LoadOne(state, Files().stamped); }

// What follows reading a full RMC record: the sort check, the projection, the area, the lengths
// and the extents. Completing a completed record repeats the same work.
void BM_CompleteRmcRecord(benchmark::State& state)
{
    auto record = std::make_unique<MeasureRecord>();
    if (LoadRecordFile(Files().rmc.c_str(), *record) != 0) state.SkipWithError("load failed");
    for (auto _ : state) {
        CompleteRecord(*record);
        benchmark::DoNotOptimize(record->calcArea);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * record->pointCount);
}

void BM_LoadFolder(benchmark::State& state)
{
    auto record = std::make_unique<MeasureRecord>();
    for (auto _ : state) {
        for (const auto& path : Files().folder)
            if (LoadRecordFile(path.c_str(), *record) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(record->calcArea);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Files().folderBytes));
}

// The floor: the same files opened and read into memory, nothing parsed.
void BM_ReadFolderOnly(benchmark::State& state)
{
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        for (const auto& path : Files().folder) {
            const int fd = open(path.c_str(), O_RDONLY);
            while (read(fd, buffer.data(), buffer.size()) > 0) {}
            close(fd);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Files().folderBytes));
}

}  // namespace

BENCHMARK(BM_LoadRmcFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDatedFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadNumberedFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompleteRmcRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFolderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
