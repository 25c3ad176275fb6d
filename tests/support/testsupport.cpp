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
