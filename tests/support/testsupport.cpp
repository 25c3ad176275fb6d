#include "tests/support/testsupport.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const char* prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = pattern;
    fs::permissions(path_, fs::perms(0755));
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
        if (entry.is_directory(ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
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

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ChildOutcome RunInChild(const std::function<ChildOutcome()>& call)
{
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const ChildOutcome outcome = call();
        const bool sent = write(channel[1], &outcome, sizeof outcome) == sizeof outcome;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    ChildOutcome outcome;
    if (child < 0 || read(channel[0], &outcome, sizeof outcome) != sizeof outcome) outcome = {};
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return outcome;
}

bool DropRootPrivileges()
{
    constexpr gid_t Nogroup = 65534;
    constexpr uid_t Nobody = 65534;
    return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(Nogroup) == 0 && setuid(Nobody) == 0);
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
