#include "tests/support/testsupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

ScratchFolder::ScratchFolder(const char* prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::unique_ptr<MeasureRecord> FullRecord()
{
    constexpr double RadiusM = 1000;
    auto record = std::make_unique<MeasureRecord>();
    record->pointCount = MaxPointCount;
    for (int i = 0; i < MaxPointCount; ++i) {
        const double angle = 2 * std::numbers::pi * i / MaxPointCount;
        record->points[i] = {113.9 + 0.01 * std::cos(angle), 22.5 + 0.01 * std::sin(angle), 0};
        record->planePoints[i] = {505142.962 + RadiusM * std::cos(angle), -2494705.043 - RadiusM * std::sin(angle)};
    }
    record->minX = 505142.962 - RadiusM;
    record->maxX = 505142.962 + RadiusM;
    record->minY = -2494705.043 - RadiusM;
    record->maxY = -2494705.043 + RadiusM;
    record->width = record->height = record->extent = 2 * RadiusM;
    return record;
}

namespace {

std::string Checksummed(const std::string& body)
{
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

}  // namespace

std::string RecordFileText(LineKind kind)
{
    std::string text;
    char line[128];
    for (int i = 0; i < MaxPointCount; ++i) {
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
