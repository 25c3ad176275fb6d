// The archive survives the converter killed at any moment of an import: the file stays sound, and
// every import is in it whole or not at all.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "archive/record_archive.h"
#include "tests/support/testsupport.h"

namespace {

constexpr int kFiles = 200;
constexpr int kKills = 20;

// A folder of kFiles record files of a few hundred points each, their bytes unique to run.
std::string WriteImport(const ScratchFolder& scratch, int run, std::set<std::string>& hashes)
{
    const std::string folder = scratch.File("run" + std::to_string(run));
    ::mkdir(folder.c_str(), 0755);
    for (int file = 0; file < kFiles; ++file) {
        std::string bytes;
        char line[96];
        for (int point = 0; point < 400; ++point) {
            std::snprintf(line, sizeof line, "2018-04-11,10:%02d:%02d,22.5%03d%03d,113.9%03d%03d\r\n", point / 60 % 60,
                          point % 60, run, point, file, point);
            bytes += line;
        }
        std::FILE* out = std::fopen((folder + "/f" + std::to_string(file) + ".nmea").c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        hashes.insert(Sha256Hex(bytes));
    }
    return folder;
}

pid_t StartConvert(const std::string& db, const std::string& folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execl(VARNEL_CONVERT, VARNEL_CONVERT, "--archive", db.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return child;
}

TEST(ArchiveCrash, KilledImportsLeaveASoundArchive)
{
    const ScratchFolder scratch("varnel-archive-crash");
    const std::string db = scratch.File("records.sqlite");
    std::set<std::string> written;

    // How long one whole import takes, so that the kills fall all over it.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(StartConvert(db, WriteImport(scratch, 0, written)), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

    std::mt19937 random(26);
    // Within the measured time: later runs on a loaded machine only take longer.
    std::uniform_int_distribution<long> moment(0, whole.count() * 8 / 10);
    int killedMidway = 0;
    for (int run = 1; run <= kKills; ++run) {
        const std::string folder = WriteImport(scratch, run, written);
        const pid_t child = StartConvert(db, folder);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) ++killedMidway;

        sqlite3* check = nullptr;
        ASSERT_EQ(sqlite3_open_v2(db.c_str(), &check, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(check, "PRAGMA integrity_check", -1, &statement, nullptr);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok") << "run " << run;
        sqlite3_finalize(statement);
        // Every row is a file written whole, and each import is there whole or not at all.
        sqlite3_prepare_v2(check, "SELECT sha256, file_bytes, source FROM records", -1, &statement, nullptr);
        std::map<std::string, int> perImport;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const std::string sha256 = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            const std::string bytes(static_cast<const char*>(sqlite3_column_blob(statement, 1)),
                                    size_t(sqlite3_column_bytes(statement, 1)));
            EXPECT_EQ(Sha256Hex(bytes), sha256);
            EXPECT_EQ(written.count(sha256), 1u);
            ++perImport[reinterpret_cast<const char*>(sqlite3_column_text(statement, 2))];
        }
        sqlite3_finalize(statement);
        sqlite3_close(check);
        EXPECT_EQ(perImport.count(scratch.File("run0")), 1u) << "the first, whole import is kept";
        for (const auto& [source, count] : perImport) EXPECT_EQ(count, kFiles) << source << " after run " << run;
    }
    EXPECT_GE(killedMidway, kKills / 4) << "too few kills fell inside an import to show anything";

    // The archive still takes imports.
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db));
    EXPECT_TRUE(archive.Writable());
    EXPECT_GE(archive.RecordCount(), kFiles);
}

}  // namespace
