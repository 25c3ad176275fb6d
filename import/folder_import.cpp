#include "import/folder_import.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "import/log.h"
#include "import/record_labels.h"

namespace {

struct LoadOutcome {
    const MeasureRecord* record;  // valid until the file is released; nullptr: cancelled while waiting
    LoadFailure why;
};

// Loads the files of a list in order on the calling thread: the one-thread import.
class InlineLoader {
public:
    explicit InlineLoader(const std::vector<std::string>& paths) : paths_(paths) {}
    LoadOutcome Take(int index, FolderImportObserver&)
    {
        LoadFailure why = LoadFailure::None;
        LoadRecordFile(paths_[size_t(index)].c_str(), *scratch_, &why);
        return {scratch_.get(), why};
    }
    void Release(int) {}

private:
    const std::vector<std::string>& paths_;
    std::unique_ptr<MeasureRecord> scratch_ = std::make_unique_for_overwrite<MeasureRecord>();
};

// Loads the files of a list on worker threads and hands them out in list order. Each worker has
// slotsPerWorker scratch records: it loads the next file into one while the others wait to be
// stored, so it does not sit idle while the caller copies a record out (or paints). No more than
// slotsPerWorker files per worker are loaded ahead of the one being stored.
class PooledLoader {
public:
    PooledLoader(const std::vector<std::string>& paths, int threads, int slotsPerWorker)
        : paths_(paths), slotsPerWorker_(slotsPerWorker), slots_(size_t(threads) * size_t(slotsPerWorker))
    {
        for (Slot& slot : slots_) slot.scratch = std::make_unique_for_overwrite<MeasureRecord>();
        for (int worker = 0; worker < threads; ++worker) {
            try {
                workers_.emplace_back([this, worker] { Work(&slots_[size_t(worker) * size_t(slotsPerWorker_)]); });
            } catch (const std::system_error&) {
                break;  // fewer threads than asked for; the started ones take every file
            }
        }
    }

    ~PooledLoader()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        released_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    // False when no worker could be started.
    bool Running() const { return !workers_.empty(); }

    LoadOutcome Take(int index, FolderImportObserver& observer)
    {
        std::unique_lock lock(mutex_);
        Slot* slot = nullptr;
        const auto interval = std::chrono::milliseconds(FolderImportObserver::WaitingIntervalMs);
        while (!loaded_.wait_for(lock, interval, [&] { return (slot = Find(index)) != nullptr; })) {
            lock.unlock();
            observer.Waiting();
            const bool cancelled = observer.Cancelled();
            lock.lock();
            if (cancelled) return {nullptr, LoadFailure::None};
        }
        return {slot->scratch.get(), slot->why};
    }

    void Release(int index)
    {
        {
            const std::lock_guard lock(mutex_);
            Find(index)->file = -1;
        }
        released_.notify_all();
    }

private:
    struct Slot {
        std::unique_ptr<MeasureRecord> scratch;
        int file = -1;  // the loaded file held in scratch, or −1 while the slot is free
        bool loading = false;  // its worker is loading a file into scratch
        LoadFailure why = LoadFailure::None;
    };

    Slot* Find(int index)
    {
        for (Slot& slot : slots_)
            if (slot.file == index) return &slot;
        return nullptr;
    }

    // mine: the worker's slotsPerWorker_ slots.
    void Work(Slot* mine)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            Slot* slot = nullptr;
            released_.wait(lock, [&] {
                for (int i = 0; i < slotsPerWorker_ && !slot; ++i)
                    if (mine[i].file < 0 && !mine[i].loading) slot = &mine[i];
                return stop_ || slot != nullptr;
            });
            if (stop_ || next_ >= paths_.size()) return;
            const size_t index = next_++;
            slot->loading = true;
            lock.unlock();
            LoadFailure why = LoadFailure::None;
            LoadRecordFile(paths_[index].c_str(), *slot->scratch, &why);
            lock.lock();
            slot->loading = false;
            slot->why = why;
            slot->file = int(index);
            loaded_.notify_one();
        }
    }

    const std::vector<std::string>& paths_;
    const int slotsPerWorker_;
    std::vector<Slot> slots_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable loaded_;    // a slot holds a loaded file
    std::condition_variable released_;  // a slot is free again, or the run ends
    size_t next_ = 0;                   // the next file a worker takes
    bool stop_ = false;
};

template <class Loader>
FolderImportResult Import(Loader& loader, const std::vector<std::string>& paths, RecordTable& table,
                          FolderImportObserver& observer)
{
    FolderImportResult result{0, 0, 0, false};
    const int fileCount = int(paths.size());
    for (int i = 0; i < fileCount; ++i) {
        if (observer.Cancelled()) {
            result.cancelled = true;
            break;
        }
        const LoadOutcome outcome = loader.Take(i, observer);
        if (!outcome.record) {
            result.cancelled = true;
            break;
        }
        if (outcome.why == LoadFailure::None) {
            if (result.loaded == 0) RecordTableRestart(table);
            LogPrintf("[INFO] %d, %s.", table.count, RecordFileName(outcome.record->path));
            RecordTableAppend(table, *outcome.record);
            loader.Release(i);
            ++result.loaded;
            observer.Stored(i, table.count - 1);
        } else {
            loader.Release(i);
            ++result.skipped;
            observer.Skipped(i, paths[size_t(i)], outcome.why);
        }
        result.filesDone = i + 1;
        observer.Progress(result.filesDone, fileCount);
        // The run ends once it has filled the table; a table left full by an earlier run does not end it.
        if (result.loaded > 0 && table.count >= MaxRecords) break;
    }
    return result;
}

}  // namespace

int ListRecordFolder(const char* folder, FolderOrder order, std::vector<std::string>& names)
{
    names.clear();
    DIR* dir = opendir(folder);
    if (!dir) return -1;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        struct stat status;
        if (fstatat(dirfd(dir), entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode))
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) {
        names.clear();
        errno = error;
        return -1;
    }
    if (order == FolderOrder::Name) std::sort(names.begin(), names.end());
    return 0;
}

FolderImportResult ImportRecordFiles(const std::vector<std::string>& paths, RecordTable& table,
                                     FolderImportObserver* observer, int threads, int filesAheadPerThread)
{
    FolderImportObserver silent;
    FolderImportObserver& report = observer ? *observer : silent;
    if (threads <= 0) threads = int(std::max(1u, std::thread::hardware_concurrency()));
    threads = int(std::min(size_t(threads), paths.size()));
    if (threads > 1) {
        PooledLoader pool(paths, threads, std::max(1, filesAheadPerThread));
        if (pool.Running()) return Import(pool, paths, table, report);
    }
    InlineLoader one(paths);
    return Import(one, paths, table, report);
}
