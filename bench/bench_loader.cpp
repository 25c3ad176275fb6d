// Loading record files: one full file of each line kind, and a folder of 200 full RMC files,
// beside the floor of reading the same bytes without parsing.
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

namespace {

constexpr int kPoints = MaxPointCount;
constexpr int kFolderFiles = 200;

std::string Checksummed(const std::string& body)
{
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

std::string FileContent(LineKind kind)
{
    std::string text;
    char line[128];
    for (int i = 0; i < kPoints; ++i) {
        const double lat = 34.8 + 0.0004 * std::sin(i * 0.01), lon = 113.6 + 0.0005 * std::cos(i * 0.01);
        const int h = 10 + i / 3600, m = (i / 60) % 60, s = i % 60;
        switch (kind) {
        case RmcSentence: {
            const double latDm = 3448.0 + (lat - 34.8) * 60.0, lonDm = 11336.0 + (lon - 113.6) * 60.0;
            std::snprintf(line, sizeof line, "GPRMC,%02d%02d%02d.00,A,%.5f,N,%.5f,E,1.2,45.0,110426,,,A", h, m, s,
                          latDm, lonDm);
            text += Checksummed(line);
            break;
        }
        case DatedPoint:
            std::snprintf(line, sizeof line, "2026-04-11,%02d:%02d:%02d,%.7f,%.7f\r\n", h, m, s, lat, lon);
            text += line;
            break;
        default:
            std::snprintf(line, sizeof line, "%014d,%10.7f,%10.6f\r\n", i + 1, lat, lon);
            text += line;
            break;
        }
    }
    return text;
}

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
        const std::string rmcText = FileContent(RmcSentence);
        rmc = write("rmc.nmea", rmcText);
        dated = write("dated.nmea", FileContent(DatedPoint));
        stamped = write("stamped.nmea", FileContent(StampedPoint));
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
BENCHMARK(BM_LoadFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFolderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
