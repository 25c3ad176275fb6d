// Whole bad record files, kept in tests/data/bad or made here where they cannot be kept: what
// the loader makes of each, and that a load, failed or not, writes nothing but the record it
// was given (not the bytes around it, not the record table, not the file or its folder).
#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "import/loader.h"
#include "import/log.h"
#include "tests/support/testsupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kBad = std::string(VARNEL_TEST_DATA) + "/bad";

// Names, kinds, sizes and contents of a folder's entries (contents of small regular files only).
std::map<std::string, std::string> Snapshot(const std::string& dir)
{
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::directory_iterator(dir)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        std::string state = std::to_string(st.st_mode) + ":" + std::to_string(st.st_size);
        if (S_ISREG(st.st_mode) && st.st_size < (4 << 20)) state.append(":").append(ReadWholeFile(e.path()));
        entries[e.path().filename().string()] = state;
    }
    return entries;
}

// The record the loader fills, with guard bytes on both sides, as an import's scratch record.
struct GuardedRecord {
    unsigned char before[4096];
    MeasureRecord record;
    unsigned char after[4096];
};
constexpr unsigned char kGuard = 0xA5;

struct Outcome {
    int result;
    LoadFailure why;
    std::unique_ptr<GuardedRecord> scratch;
    const MeasureRecord& record() const { return scratch->record; }
};

// Loads path into a guarded scratch record and checks that nothing outside it changed.
Outcome LoadIsolated(const std::string& path)
{
    auto scratch = std::make_unique<GuardedRecord>();
    std::memset(scratch.get(), kGuard, sizeof *scratch);
    const std::string folder = fs::path(path).parent_path().string();
    const auto folderBefore = Snapshot(folder);
    const std::vector<unsigned char> tableBefore(reinterpret_cast<const unsigned char*>(&TheRecordTable()),
                                                 reinterpret_cast<const unsigned char*>(&TheRecordTable() + 1));

    LoadFailure why = LoadFailure::None;
    const int result = LoadRecordFile(path.c_str(), scratch->record, &why);

    for (unsigned char b : scratch->before) EXPECT_EQ(b, kGuard) << path << ": written before the record";
    for (unsigned char b : scratch->after) EXPECT_EQ(b, kGuard) << path << ": written after the record";
    EXPECT_EQ(std::memcmp(tableBefore.data(), &TheRecordTable(), tableBefore.size()), 0) << path << ": table changed";
    EXPECT_EQ(Snapshot(folder), folderBefore) << path << ": the file or its folder changed";
    return {result, why, std::move(scratch)};
}

struct KeptCase {
    const char* file;
    int result;
    LoadFailure why;
    int points;
};

void PrintTo(const KeptCase& c, std::ostream* os)
{
    *os << c.file;
}

class KeptBadFile : public testing::TestWithParam<KeptCase> {};

TEST_P(KeptBadFile, LoadsAsExpectedAndTouchesNothingElse)
{
    const auto& c = GetParam();
    const Outcome o = LoadIsolated(kBad + "/" + c.file);
    EXPECT_EQ(o.result, c.result) << c.file;
    EXPECT_EQ(o.why, c.why) << c.file;
    if (c.result == 0) {
        EXPECT_EQ(o.record().pointCount, c.points) << c.file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, KeptBadFile,
    testing::Values(KeptCase{"x.nmea", -1, LoadFailure::NoPoints, 0},  // 4 KB of binary data
                    KeptCase{"rmc-empty.nmea", -1, LoadFailure::NoPoints, 0},
                    KeptCase{"nul-in-lines.nmea", 0, LoadFailure::None, 1},
                    KeptCase{"blank-lines.nmea", 0, LoadFailure::None, 2},
                    KeptCase{"numbers.nmea", 0, LoadFailure::None, 2},
                    KeptCase{"99999年04月11日10时20分30秒.nmea", 0, LoadFailure::None, 1}));

TEST(BadFileValues, WhatTheLoadedOnesHold)
{
    // NUL bytes: the text before a NUL is the line; "AREA: 12" reads, its mu after the NUL not.
    Outcome o = LoadIsolated(kBad + "/nul-in-lines.nmea");
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.record().points[0].stamp, 20180411102002u);
    EXPECT_EQ(o.record().area, 12.0);
    EXPECT_EQ(o.record().areaMu, 0.0);

    // Of nan, inf, 1e999, 0x1p3 and -0 only -0 and the plain number make points; no summary
    // value reads except "LINE: 0x1p3", whose "0" does, so the computed results stand.
    o = LoadIsolated(kBad + "/numbers.nmea");
    ASSERT_EQ(o.result, 0);
    const MeasureRecord& r = o.record();
    EXPECT_EQ(r.points[0].lat, 0.0);
    EXPECT_TRUE(std::signbit(r.points[0].lat));
    EXPECT_EQ(r.points[1].lat, 1e-3);
    EXPECT_EQ(r.curveLength, r.calcCurveLength);
    EXPECT_EQ(r.straightLength, r.calcStraightLength);
    for (const double v : {r.calcArea, r.calcCurveLength, r.calcStraightLength, r.extent, r.mapCenterLat})
        EXPECT_TRUE(std::isfinite(v));

    // A five-digit year in the name: the number that begins four bytes before "年".
    o = LoadIsolated(kBad + "/99999年04月11日10时20分30秒.nmea");
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.record().year, 9999);
    EXPECT_EQ(o.record().points[0].stamp, 20180411102030u);  // "99999-04-11,…" is no point line
}

TEST(MadeBadFile, MegabyteLines)
{
    const ScratchFolder dir("varnel-bad");
    const std::string megabyte(1 << 20, '9');
    struct Case {
        const char* what;
        std::string bytes;
        int result;
        int points;
    } cases[] = {
        {"1 MB line, then a point", megabyte + "\r\n2018-04-11,10:20:30,22.5,113.9\r\n", 0, 1},
        {"1 MB line and nothing else", megabyte, -1, 0},
        {"1 MB of line ends", std::string(1 << 20, '\n'), -1, 0},
    };
    for (const auto& c : cases) {
        const Outcome o = LoadIsolated(dir.Write("long.nmea", c.bytes));
        EXPECT_EQ(o.result, c.result) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(o.record().pointCount, c.points) << c.what;
        }
    }
}

// A huge sparse file (a drive's trap: gigabytes of nothing) is read only to the bound, then
// treated as if it ended there: a point before the bound counts, one after it does not.
TEST(MadeBadFile, HugeFileIsReadOnlyToTheBound)
{
    const ScratchFolder dir("varnel-bad");
    const std::string path = dir.File("huge.nmea");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string point = "\r\n2018-04-11,10:20:30,22.5431234,113.9123456\r\n";
    const std::string later = "\r\n2018-04-11,10:20:31,22.5431234,113.9123456\r\n";
    ASSERT_EQ(pwrite(fd, point.data(), point.size(), 0), ssize_t(point.size()));
    ASSERT_EQ(pwrite(fd, later.data(), later.size(), MaxRecordFileBytes - 200), ssize_t(later.size()));
    ASSERT_EQ(pwrite(fd, point.data(), point.size(), MaxRecordFileBytes + 200), ssize_t(point.size()));
    ASSERT_EQ(ftruncate(fd, 1LL << 30), 0);  // 1 GiB, all but three lines of it a hole
    close(fd);

    auto record = std::make_unique<MeasureRecord>();
    ASSERT_EQ(LoadRecordFile(path.c_str(), *record), 0);
    EXPECT_EQ(record->pointCount, 2);
    EXPECT_EQ(record->points[1].stamp, 20180411102031u);
}

TEST(MadeBadFile, NameOf4000Bytes)
{
    const ScratchFolder dir("varnel-bad");
    const Outcome o = LoadIsolated(dir.File(std::string(3995, 'n') + ".nmea"));
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.why, LoadFailure::CannotOpen);  // no file system holds such a name
}

// A folder import lists the folder first and reads each file afterwards; by then a file may be
// gone, or be something else under the same name.
TEST(MadeBadFile, FilesThatChangeBetweenListingAndReading)
{
    const ScratchFolder dir("varnel-bad");
    const std::string point = "2018-04-11,10:20:30,22.5,113.9\r\n";
    for (const char* name : {"gone.nmea", "folder.nmea", "fifo.nmea", "mem.nmea", "locked.nmea", "kept.nmea"})
        dir.Write(name, point);
    std::vector<std::string> listed;
    for (const auto& e : fs::directory_iterator(dir.path())) listed.push_back(e.path().string());

    ASSERT_EQ(unlink(dir.File("gone.nmea").c_str()), 0);
    ASSERT_EQ(unlink(dir.File("folder.nmea").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("folder.nmea").c_str(), 0755), 0);
    ASSERT_EQ(unlink(dir.File("fifo.nmea").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo.nmea").c_str(), 0644), 0);  // no writer: a blocking open would hang
    ASSERT_EQ(unlink(dir.File("mem.nmea").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/mem", dir.File("mem.nmea").c_str()), 0);  // opens, then fails to read
    ASSERT_EQ(chmod(dir.File("locked.nmea").c_str(), 0), 0);

    std::vector<std::string> log;
    SetLogSink([](void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
               &log);
    std::map<std::string, LoadFailure> expected = {
        {"gone.nmea", LoadFailure::CannotOpen}, {"folder.nmea", LoadFailure::CannotOpen},
        {"fifo.nmea", LoadFailure::CannotOpen}, {"mem.nmea", LoadFailure::CannotRead},
        {"kept.nmea", LoadFailure::None},
        // Permission bits do not bind root, who reads the file all the same.
        {"locked.nmea", geteuid() == 0 ? LoadFailure::None : LoadFailure::CannotOpen},
    };
    for (const std::string& path : listed) {
        const std::string name = fs::path(path).filename().string();
        const Outcome o = LoadIsolated(path);
        EXPECT_EQ(o.why, expected.at(name)) << name;
        EXPECT_EQ(o.result, expected.at(name) == LoadFailure::None ? 0 : -1) << name;
    }
    SetLogSink(nullptr, nullptr);
    int failures = 0;
    for (const auto& [name, why] : expected) failures += why != LoadFailure::None;
    EXPECT_EQ(int(log.size()), failures);
    for (const std::string& line : log) EXPECT_EQ(line.rfind("[ERR] ", 0), 0u) << line;
}

// The converter over the kept corpus: every file named once, failures on standard error, exit 1.
TEST(BadFileConverter, NamesEveryFileAndFailsTheRun)
{
    const ScratchFolder out("varnel-bad-out");
    const std::string command =
        std::string(VARNEL_CONVERT) + " '" + kBad + "' >" + out.File("stdout") + " 2>" + out.File("stderr");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string stdoutText = ReadWholeFile(out.File("stdout")), stderrText = ReadWholeFile(out.File("stderr"));

    for (const char* loaded : {"nul-in-lines.nmea", "blank-lines.nmea", "numbers.nmea"})
        EXPECT_NE(stdoutText.find(loaded), std::string::npos) << loaded;
    for (const char* failed : {"x.nmea: no point line", "rmc-empty.nmea: no point line"})
        EXPECT_NE(stderrText.find(failed), std::string::npos) << failed;
    EXPECT_EQ(stderrText.find("make_bad.py"), std::string::npos);  // not a record file name
    std::istringstream lines(stdoutText);
    int count = 0;
    for (std::string line; std::getline(lines, line);) ++count;
    EXPECT_EQ(count, 4);
}

}  // namespace
