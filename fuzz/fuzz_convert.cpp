// libFuzzer target for varnel-convert's whole command line, run in-process: the input builds a
// small file tree (record files, a sub-folder, a FIFO) in a folder private to this process and
// an argument vector over it, and the converter's main logic runs on them. Faults: any crash,
// leak or sanitizer report, or an exit status other than 0, 1 and 2.
//
// Input layout: byte 0 holds the number of files (low 2 bits) and whether a FIFO and a
// sub-folder are made; each file is a name byte, a length byte (× 16 bytes of content) and its
// content; the rest are argument tokens, one byte each, from the table below; a token byte past
// the table takes the next up to 8 input bytes as a literal argument (with no '/' in it, so that
// nothing is written outside the scratch folder).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/convert.h"

namespace {

char scratchName[64];
void RemoveScratch();

const char* const kFileNames[] = {
    "a.nmea", "b.nmea1", "a.nmea~", "x.txt", "2018\xC4\xEA" "04\xD4\xC2" "11\xC8\xD5" "10\xCA\xB1" "20\xB7\xD6" "30\xC3\xEB.nmea",
    "CAR\n\x1b[2J.nmea", "sub/c.nmea", "TRACK-0003_2018-04-11 102030.nmea",
};
constexpr size_t kFileForms = sizeof kFileNames / sizeof kFileNames[0];

const char* const kTokens[] = {
    "--json", "--points", "--dxf", "--csv", "--gis", "--report", "--out-dir", "--formats", "--help", "--",
    "-x", "", ".", "sub", "out", "fifo.nmea", "a.nmea", "b.nmea1", "x.txt", "sub/c.nmea", "out/o.dxf",
    "out/o.csv", "out/o.gpkg", "out/o.shp", "out/o.kml", "out/o.geojson", "out/o.gpx", "fifo.nmea",
    "dxf,csv", "gpkg,kml", "dxf,dxf", "bogus", "/dev/null", "/dev/stdout", "loop", "loop/x", "missing/x",
};
constexpr size_t kTokenCount = sizeof kTokens / sizeof kTokens[0];

std::string& Scratch()
{
    static std::string dir = [] {
        std::string d = "/dev/shm/varnel-fuzz-convert-" + std::to_string(::getpid());
        std::filesystem::create_directories(d);
        // Everything the converter writes lands in here; its standard output goes nowhere.
        if (::chdir(d.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout)) std::abort();
        // The folder goes when the run ends (libFuzzer ends a timed run with exit). The handler
        // keeps a copy of the name: it runs after this string has been destroyed.
        std::snprintf(scratchName, sizeof scratchName, "%s", d.c_str());
        std::atexit(RemoveScratch);
        return d;
    }();
    return dir;
}

void RemoveScratch()
{
    std::error_code ec;
    if (::chdir("/") == 0) std::filesystem::remove_all(scratchName, ec);
}

void Clear(const std::string& dir)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::string& dir = Scratch();
    Clear(dir);
    const uint8_t shape = *data++;
    --size;
    std::filesystem::create_directory(dir + "/out");
    if (shape & 4) std::filesystem::create_directory(dir + "/sub");
    if (shape & 8) ::mkfifo((dir + "/fifo.nmea").c_str(), 0644);
    if (shape & 16) ::symlink("loop", (dir + "/loop").c_str());
    if (shape & 32) ::mkfifo((dir + "/out/o.dxf").c_str(), 0644);

    for (int f = 0; f < (shape & 3) + 1 && size >= 2; ++f) {
        const std::string name = kFileNames[data[0] % kFileForms];
        const size_t length = std::min<size_t>(size_t(data[1]) * 16, size - 2);
        data += 2, size -= 2;
        if (name.starts_with("sub/")) std::filesystem::create_directory(dir + "/sub");
        WriteFile(dir + "/" + name, data, length);
        data += length, size -= length;
    }

    std::vector<std::string> args{"varnel-convert"};
    while (size > 0 && args.size() < 12) {
        const uint8_t token = *data++;
        --size;
        if (token < kTokenCount) {
            args.emplace_back(kTokens[token]);
        } else {
            const size_t n = std::min<size_t>(size, 8);
            std::string literal(reinterpret_cast<const char*>(data), n);
            // Nothing may name a place outside the scratch folder.
            for (char& c : literal)
                if (c == '/') c = '_';
            if (literal == "..") literal = "__";
            args.push_back(std::move(literal));
            data += n, size -= n;
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const int status = ConvertMain(int(args.size()), argv.data(), false);
    if (status < 0 || status > 2) std::abort();
    return 0;
}
