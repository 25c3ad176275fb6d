// libFuzzer target for LoadRecordFile. The loader reads files by path, so every input becomes
// a real file in a folder private to this process (on /dev/shm, so no disk is touched).
//
// Input layout: byte 0 chooses the file's name form (its high bit also sends a loaded record
// through both writers); the rest is the file's content. For the free form the name is the
// content's first line, the file the rest.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "export/dxf_writer.h"
#include "export/point_file.h"
#include "import/loader.h"

namespace {

// Names as instruments, receivers and editors leave them: plain, Chinese time in GBK and in
// UTF-8, the track form, vehicle and distance words in either encoding.
const char* const kNames[] = {
    "x.nmea",
    "2018\xC4\xEA" "04\xD4\xC2" "11\xC8\xD5" "10\xCA\xB1" "20\xB7\xD6" "30\xC3\xEB.nmea",
    "2018\xE5\xB9\xB4" "04\xE6\x9C\x88" "11\xE6\x97\xA5" "10\xE6\x97\xB6" "20\xE5\x88\x86" "30\xE7\xA7\x92.nmea",
    "TRACK-0003_2018-04-11 102030.nmea",
    "CAR_TRACK-0001_2026-04-13 164207.nmea",
    "\xB3\xB5" "DISTANCE-1.nmea",
    "2026\xE5\xB9\xB4" "04\xE6\x9C\x88" "12\xE6\x97\xA5" "09\xE6\x97\xB6" "15\xE5\x88\x86" "30\xE7\xA7\x92"
    "\xE8\xB7\x9D\xE7\xA6\xBB.nmea",
    "2026\xC4\xEA" "04\xD4\xC2" "12\xC8\xD5" "09\xCA\xB1" "15\xB7\xD6" "30\xC3\xEB\xBE\xE0\xC0\xEB.nmea",
};
constexpr unsigned kNameForms = sizeof kNames / sizeof kNames[0];
constexpr unsigned kFreeName = kNameForms;  // one more form: the name comes from the input
constexpr size_t kNameMax = 255;            // NAME_MAX on Linux

struct Scratch {
    std::string dir;
    Scratch()
    {
        dir = "/dev/shm/varnel-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Scratch& TheScratch()
{
    static Scratch scratch;
    return scratch;
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// What a loaded record must hold, whatever the file: a violation is a loader fault.
void CheckLoaded(const MeasureRecord& r)
{
    if (r.pointCount < 1 || r.pointCount > MaxPointCount) std::abort();
    for (int i = 0; i < r.pointCount; ++i) {
        const TrackPoint& p = r.points[i];
        if (!(std::fabs(p.lat) <= 90.0 && std::fabs(p.lon) <= 180.0)) std::abort();
        if (i > 0 && r.points[i - 1].stamp > p.stamp) std::abort();
        if (!std::isfinite(r.planePoints[i].first) || !std::isfinite(r.planePoints[i].second)) std::abort();
        const GeoPoint map = MapPointOf(r, i);
        if (!std::isfinite(map.lat) || !std::isfinite(map.lon)) std::abort();
    }
    static const TrackPoint zero{};
    for (int i = r.pointCount; i < PointCapacity; ++i)
        if (std::memcmp(&r.points[i], &zero, sizeof zero) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const unsigned form = data[0] & 0x7F;
    const bool exportToo = data[0] & 0x80;
    ++data, --size;

    std::string name;
    if (form % (kNameForms + 1) == kFreeName) {
        // Any bytes but '/' and NUL can name a file; the loader looks at '\' itself.
        size_t n = 0;
        while (n < size && data[n] != '\n') ++n;
        for (size_t i = 0; i < n && name.size() < kNameMax; ++i)
            if (data[i] != '/' && data[i] != '\0') name += char(data[i]);
        if (name.empty() || name == "." || name == "..") name = "_";
        const size_t skip = n < size ? n + 1 : n;
        data += skip, size -= skip;
    } else {
        name = kNames[form % (kNameForms + 1)];
    }

    const std::string& dir = TheScratch().dir;
    const std::string path = dir + "/" + name;
    if (!WriteAll(path, data, size)) {
        ::unlink(path.c_str());
        return 0;
    }

    static auto record = std::make_unique<MeasureRecord>();
    LoadFailure why = LoadFailure::None;
    const int result = LoadRecordFile(path.c_str(), *record, &why);
    if ((result == 0) != (why == LoadFailure::None)) std::abort();
    if (result == 0) {
        CheckLoaded(*record);
        if (exportToo) {
            if (WriteDxfFile((dir + "/out.dxf").c_str(), *record) != 0) std::abort();
            if (ExportPointFile((dir + "/out.csv").c_str(), *record) != 0) std::abort();
        }
    }
    ::unlink(path.c_str());
    return 0;
}
