// The folder import: what a folder lists, and that loading a list on the thread pool fills the
// table exactly as one thread does, by the device import's rules.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "import/folder_import.h"
#include "import/log.h"
#include "tests/support/testsupport.h"

namespace {

std::string PointFile(int i)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "2018-04-11,10:20:%02d,22.5%04d,113.9\r\n2018-04-11,10:20:00,22.5,113.9%04d\r\n"
                  "2018-04-11,10:21:00,22.5010,113.9010\r\n",
                  i % 60, i, i);
    return text;
}

// Every call the import makes, in order, as text.
class Recorder : public FolderImportObserver {
public:
    void Progress(int done, int count) override
    {
        calls.push_back("progress " + std::to_string(done) + "/" + std::to_string(count));
    }
    void Skipped(int file, const std::string& path, LoadFailure why) override
    {
        calls.push_back("skipped " + std::to_string(file) + " " + path + " " + std::to_string(int(why)));
    }
    void Stored(int file, int slot) override
    {
        calls.push_back("stored " + std::to_string(file) + " as " + std::to_string(slot));
        ++stored;
    }
    bool Cancelled() override { return stopAfterStored >= 0 && stored >= stopAfterStored; }
    std::vector<std::string> calls;
    int stored = 0;
    int stopAfterStored = -1;
};

std::unique_ptr<RecordTable> EmptyTable()
{
    return std::make_unique<RecordTable>();
}

bool SameRecords(const RecordTable& a, const RecordTable& b)
{
    return a.count == b.count &&
           std::memcmp(a.records, b.records, sizeof(MeasureRecord) * size_t(a.count)) == 0;
}

// A device's folder: 250 files of which 220 load, in listing order, with failures among them.
class Device : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 250; ++i) {
            const std::string n = std::to_string(i);
            if (i % 25 == 3) folder_.Write("empty" + n + ".nmea", "no point here\r\n");
            else if (i % 25 == 7) folder_.Write("notes" + n + ".txt", PointFile(i));
            else if (i % 25 == 11) folder_.Write("\xBE\xE0\xC0\xEB" + n + ".nmea", PointFile(i));  // 距离, GBK
            else folder_.Write("r" + n + ".nmea", PointFile(i));
        }
        ASSERT_EQ(mkdir(folder_.File("sub.nmea").c_str(), 0755), 0);
        std::vector<std::string> names;
        ASSERT_EQ(ListRecordFolder(folder_.path().c_str(), FolderOrder::Listing, names), 0);
        for (const std::string& name : names) paths_.push_back(folder_.File(name));
        // Listed, then gone before it is read.
        ASSERT_EQ(unlink(folder_.File("r100.nmea").c_str()), 0);
    }
    ScratchFolder folder_{"varnel-device"};
    std::vector<std::string> paths_;
};

TEST_F(Device, PooledImportFillsTheTableAsOneThreadDoes)
{
    ASSERT_EQ(paths_.size(), 250u);
    auto one = EmptyTable(), pooled = EmptyTable();
    Recorder oneCalls, pooledCalls;
    const FolderImportResult a = ImportRecordFiles(paths_, *one, &oneCalls, 1);
    const FolderImportResult b = ImportRecordFiles(paths_, *pooled, &pooledCalls, 4);

    EXPECT_EQ(a.loaded, MaxRecords);
    EXPECT_EQ(one->count, MaxRecords);
    EXPECT_TRUE(SameRecords(*one, *pooled));
    EXPECT_EQ(oneCalls.calls, pooledCalls.calls);
    EXPECT_EQ(a.filesDone, b.filesDone);
    EXPECT_EQ(a.skipped, b.skipped);
    EXPECT_LT(a.filesDone, 250);

    // The records are the first 200 that load, in listing order, GBK names kept.
    int slot = 0, gbk = 0, gone = 0;
    for (int i = 0; i < a.filesDone; ++i) {
        const std::string& path = paths_[size_t(i)];
        const bool loads = path.find(".nmea") != std::string::npos && path.find("/empty") == std::string::npos &&
                           path.find("/r100.nmea") == std::string::npos;
        gone += path.find("/r100.nmea") != std::string::npos;
        if (!loads) continue;
        ASSERT_LT(slot, one->count);
        EXPECT_EQ(std::string(one->records[slot].path), path);
        gbk += path.find("\xBE\xE0\xC0\xEB") != std::string::npos;
        ++slot;
    }
    EXPECT_EQ(slot, MaxRecords);
    EXPECT_GT(gbk, 0);
    const auto skippedGone = std::find_if(oneCalls.calls.begin(), oneCalls.calls.end(), [](const std::string& c) {
        return c.find("/r100.nmea " + std::to_string(int(LoadFailure::CannotOpen))) != std::string::npos;
    });
    EXPECT_EQ(skippedGone != oneCalls.calls.end(), gone == 1);
    EXPECT_EQ(oneCalls.calls.back(), "progress " + std::to_string(a.filesDone) + "/250");
}

// A run that loads nothing leaves the table alone, full or not; the first record that loads
// restarts it.
TEST_F(Device, TableRulesWithAndWithoutThePool)
{
    std::vector<std::string> failing, oneGood;
    for (const std::string& p : paths_)
        if (p.find("/empty") != std::string::npos || p.find(".txt") != std::string::npos) failing.push_back(p);
    oneGood = failing;
    oneGood.insert(oneGood.begin() + 3, folder_.File("r5.nmea"));

    for (const int threads : {1, 0}) {
        SCOPED_TRACE(threads);
        for (const int before : {3, MaxRecords}) {
            auto table = EmptyTable();
            ImportRecordFiles(paths_, *table, nullptr, threads);
            table->count = before;
            table->selected = 1;
            const auto kept = std::make_unique<RecordTable>(*table);

            const FolderImportResult none = ImportRecordFiles(failing, *table, nullptr, threads);
            EXPECT_EQ(none.loaded, 0);
            EXPECT_EQ(none.skipped, int(failing.size()));
            EXPECT_TRUE(SameRecords(*table, *kept));
            EXPECT_EQ(table->selected, 1);

            const FolderImportResult fresh = ImportRecordFiles(oneGood, *table, nullptr, threads);
            EXPECT_EQ(fresh.loaded, 1);
            EXPECT_EQ(table->count, 1);
            EXPECT_EQ(std::string(table->records[0].path), folder_.File("r5.nmea"));
        }
    }
}

TEST_F(Device, CancelledBetweenFilesKeepsWhatLoaded)
{
    for (const int threads : {1, 0}) {
        auto table = EmptyTable();
        Recorder calls;
        calls.stopAfterStored = 3;
        const FolderImportResult run = ImportRecordFiles(paths_, *table, &calls, threads);
        EXPECT_TRUE(run.cancelled);
        EXPECT_EQ(run.loaded, 3);
        EXPECT_EQ(table->count, 3);
    }
}

// A drive whose reads of the file named "stalled…" do not return until the test lets them, as
// a USB drive that stops answering: the pool reads, the caller only waits.
class StalledDrive {
public:
    static int Load(const char* path, MeasureRecord& record, LoadFailure* why)
    {
        if (std::strstr(path, "/stalled") != nullptr) {
            std::unique_lock lock(mutex_);
            ++waiting_;
            answered_.wait(lock, [] { return released_; });
            --waiting_;
        }
        return LoadRecordFile(path, record, why);
    }
    StalledDrive() { released_ = false; }
    // Lets the stalled reads return and waits until they have.
    ~StalledDrive()
    {
        std::unique_lock lock(mutex_);
        released_ = true;
        answered_.notify_all();
        answered_.wait_for(lock, std::chrono::seconds(10), [] { return waiting_ == 0; });
    }
    static void Release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        answered_.notify_all();
    }

private:
    static inline std::mutex mutex_;
    static inline std::condition_variable answered_;
    static inline bool released_ = false;
    static inline int waiting_ = 0;
};

// Cancels once the import has waited on the stalled file a few times.
class CancelWhileWaiting : public FolderImportObserver {
public:
    void Waiting() override { ++waits; }
    bool Cancelled() override { return waits >= 3; }
    int waits = 0;
};

// Runs work on a thread of its own; false when it has not returned within 10 seconds.
template <class Work>
bool ReturnsSoon(Work work)
{
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return true;
    StalledDrive::Release();  // so that the test can end at all
    done.wait();
    return false;
}

TEST(StalledDrive, CancelEndsTheWaitAtOnceAndDropsTheLateResult)
{
    ScratchFolder folder("varnel-stalled");
    const std::vector<std::string> paths = {folder.Write("a.nmea", PointFile(1)), folder.Write("stalled.nmea", PointFile(2)),
                                            folder.Write("c.nmea", PointFile(3))};
    for (const int threads : {0, 4}) {
        SCOPED_TRACE(threads);
        const StalledDrive drive;
        auto table = EmptyTable();
        CancelWhileWaiting observer;
        FolderImportResult run{};
        ASSERT_TRUE(ReturnsSoon([&] { run = ImportRecordFiles(paths, *table, &observer, threads, DefaultFilesAheadPerThread, StalledDrive::Load); }));
        EXPECT_TRUE(run.cancelled);
        EXPECT_EQ(run.loaded, 1);
        EXPECT_GE(observer.waits, 3);
        StalledDrive::Release();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(table->count, 1);
        EXPECT_EQ(std::string(table->records[0].path), paths[0]);
    }

    // One file alone is read on the pool too.
    const StalledDrive drive;
    auto record = std::make_unique<MeasureRecord>();
    CancelWhileWaiting observer;
    LoadFailure why = LoadFailure::CannotRead;
    int status = 0;
    ASSERT_TRUE(ReturnsSoon([&] { status = LoadRecordFileAside(paths[1].c_str(), *record, observer, &why, StalledDrive::Load); }));
    EXPECT_EQ(status, -1);
    EXPECT_EQ(why, LoadFailure::None);  // cancelled: no failure of the file's
    StalledDrive::Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(record->pointCount, 0);

    // And when it answers, its record is what loading it gives.
    CancelWhileWaiting patient;
    patient.waits = -1000000;
    EXPECT_EQ(LoadRecordFileAside(paths[2].c_str(), *record, patient, &why), 0);
    EXPECT_EQ(std::string(record->path), paths[2]);
    EXPECT_EQ(record->pointCount, 3);
}

// 200 records, then ten thousand files: those are not opened, but for the two files per thread
// loaded ahead.
TEST(FolderImport, ReadsNoFurtherThanTheTableTakes)
{
    ScratchFolder folder("varnel-many");
    std::vector<std::string> paths;
    for (int i = 0; i < MaxRecords; ++i) paths.push_back(folder.Write("r" + std::to_string(i) + ".nmea", PointFile(i)));
    for (int i = 0; i < 10000; ++i) paths.push_back(folder.File("missing" + std::to_string(i) + ".nmea"));

    for (const int ahead : {DefaultFilesAheadPerThread, 8}) {
        SCOPED_TRACE(ahead);
        int opened = 0;
        SetLogSink([](void* context, const char*) { ++*static_cast<int*>(context); }, &opened);
        auto table = EmptyTable();
        const FolderImportResult run = ImportRecordFiles(paths, *table, nullptr, 4, ahead);
        SetLogSink(nullptr, nullptr);
        EXPECT_EQ(run.filesDone, MaxRecords);
        EXPECT_EQ(table->count, MaxRecords);
        // Each stored record logs one line; each missing file tried logs one.
        EXPECT_LE(opened - MaxRecords, ahead * 4);
    }
}

TEST(FolderListing, RegularFilesOnlyNamesAsBytes)
{
    ScratchFolder folder("varnel-list");
    for (const char* name : {"b.nmea", "a.txt", "\xBE\xE0\xC0\xEB.nmea", "C.nmea"}) folder.Write(name, "x");
    ASSERT_EQ(mkdir(folder.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(folder.File("fifo.nmea").c_str(), 0644), 0);
    ASSERT_EQ(symlink("b.nmea", folder.File("link.nmea").c_str()), 0);
    ASSERT_EQ(symlink("sub", folder.File("dirlink.nmea").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", folder.File("dangling.nmea").c_str()), 0);

    std::vector<std::string> names;
    ASSERT_EQ(ListRecordFolder(folder.path().c_str(), FolderOrder::Name, names), 0);
    const std::vector<std::string> expected = {"C.nmea", "a.txt", "b.nmea", "link.nmea", "\xBE\xE0\xC0\xEB.nmea"};
    EXPECT_EQ(names, expected);

    std::vector<std::string> listed;
    ASSERT_EQ(ListRecordFolder(folder.path().c_str(), FolderOrder::Listing, listed), 0);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);

    EXPECT_EQ(ListRecordFolder(folder.File("none").c_str(), FolderOrder::Name, names), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(names.empty());
}

}  // namespace
