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
    InlineLoader(const std::vector<std::string>& paths, RecordFileLoad load) : paths_(paths), load_(load) {}
    LoadOutcome Take(int index, FolderImportObserver&)
    {
        LoadFailure why = LoadFailure::None;
        load_(paths_[size_t(index)].c_str(), *scratch_, &why);
        return {scratch_.get(), why};
    }
    void Release(int) {}

private:
    const std::vector<std::string>& paths_;
    RecordFileLoad load_;
    std::unique_ptr<MeasureRecord> scratch_ = std::make_unique_for_overwrite<MeasureRecord>();
};

// Loads the files of a list on worker threads and hands them out in list order. Each worker has
// slotsPerWorker scratch records: it loads the next file into one while the others wait to be
// stored, so it does not sit idle while the caller copies a record out (or paints). No more than
// slotsPerWorker files per worker are loaded ahead of the one being stored.
//
// A read may never return (a drive that stopped answering). The caller never reads: it waits,
// and may give up. The workers' state is shared with them, so that a worker still in a read when
// the import ends is left to finish on its own, its result dropped, and the caller returns at once.
class PooledLoader {
public:
    PooledLoader(const std::vector<std::string>& paths, int threads, int slotsPerWorker, RecordFileLoad load)
        : state_(std::make_shared<State>(paths, threads, slotsPerWorker, load))
    {
        for (int worker = 0; worker < threads; ++worker) {
            try {
                workers_.emplace_back([state = state_, worker] {
                    state->Work(&state->slots[size_t(worker) * size_t(state->slotsPerWorker)]);
                });
            } catch (const std::system_error&) {
                break;  // fewer threads than asked for; the started ones take every file
            }
        }
    }

    ~PooledLoader()
    {
        std::vector<bool> reading(workers_.size());
        {
            const std::lock_guard lock(state_->mutex);
            state_->stop = true;
            for (size_t worker = 0; worker < workers_.size(); ++worker)
                for (size_t i = 0; i < size_t(state_->slotsPerWorker); ++i)
                    if (state_->slots[worker * size_t(state_->slotsPerWorker) + i].loading) reading[worker] = true;
        }
        state_->released.notify_all();
        // A worker that is not reading sees the stop and ends; one that is may wait on its drive
        // for ever, and is not waited for.
        for (size_t worker = 0; worker < workers_.size(); ++worker) {
            if (reading[worker])
                workers_[worker].detach();
            else
                workers_[worker].join();
        }
    }

    // False when no worker could be started.
    bool Running() const { return !workers_.empty(); }

    LoadOutcome Take(int index, FolderImportObserver& observer)
    {
        std::unique_lock lock(state_->mutex);
        Slot* slot = nullptr;
        const auto interval = std::chrono::milliseconds(FolderImportObserver::WaitingIntervalMs);
        while (!state_->loaded.wait_for(lock, interval, [&] { return (slot = state_->Find(index)) != nullptr; })) {
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
            const std::lock_guard lock(state_->mutex);
            state_->Find(index)->file = -1;
        }
        state_->released.notify_all();
    }

private:
    struct Slot {
        std::unique_ptr<MeasureRecord> scratch;
        int file = -1;  // the loaded file held in scratch, or −1 while the slot is free
        bool loading = false;  // its worker is loading a file into scratch
        LoadFailure why = LoadFailure::None;
    };

    struct State {
        State(const std::vector<std::string>& list, int threads, int slotsPerThread, RecordFileLoad loadFile)
            : paths(list), slotsPerWorker(slotsPerThread), slots(size_t(threads) * size_t(slotsPerThread)), load(loadFile)
        {
            for (Slot& slot : slots) slot.scratch = std::make_unique_for_overwrite<MeasureRecord>();
        }

        Slot* Find(int index)
        {
            for (Slot& slot : slots)
                if (slot.file == index) return &slot;
            return nullptr;
        }

        // mine: the worker's slotsPerWorker slots.
        void Work(Slot* mine)
        {
            std::unique_lock lock(mutex);
            for (;;) {
                Slot* slot = nullptr;
                released.wait(lock, [&] {
                    for (int i = 0; i < slotsPerWorker && !slot; ++i)
                        if (mine[i].file < 0 && !mine[i].loading) slot = &mine[i];
                    return stop || slot != nullptr;
                });
                if (stop || next >= paths.size()) return;
                const size_t index = next++;
                slot->loading = true;
                lock.unlock();
                LoadFailure why = LoadFailure::None;
                load(paths[index].c_str(), *slot->scratch, &why);
                lock.lock();
                slot->loading = false;
                if (stop) return;  // nobody waits for it any more
                slot->why = why;
                slot->file = int(index);
                loaded.notify_one();
            }
        }

        const std::vector<std::string> paths;  // a copy: a worker may outlive the caller's list
        const int slotsPerWorker;
        std::vector<Slot> slots;
        const RecordFileLoad load;
        std::mutex mutex;
        std::condition_variable loaded;    // a slot holds a loaded file
        std::condition_variable released;  // a slot is free again, or the run ends
        size_t next = 0;                   // the next file a worker takes
        bool stop = false;
    };

    std::shared_ptr<State> state_;
    std::vector<std::thread> workers_;
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
                                     FolderImportObserver* observer, int threads, int filesAheadPerThread,
                                     RecordFileLoad load)
{
    FolderImportObserver silent;
    FolderImportObserver& report = observer ? *observer : silent;
    if (threads != 1 && !paths.empty()) {
        if (threads <= 0) threads = int(std::max(1u, std::thread::hardware_concurrency()));
        threads = int(std::min(size_t(threads), paths.size()));
        PooledLoader pool(paths, threads, std::max(1, filesAheadPerThread), load);
        if (pool.Running()) return Import(pool, paths, table, report);
    }
    InlineLoader one(paths, load);
    return Import(one, paths, table, report);
}

int LoadRecordFileAside(const char* path, MeasureRecord& record, FolderImportObserver& observer, LoadFailure* why,
                        RecordFileLoad load)
{
    if (why) *why = LoadFailure::None;
    const std::vector<std::string> paths{path};
    PooledLoader pool(paths, 1, 1, load);
    if (!pool.Running()) return load(path, record, why);
    const LoadOutcome outcome = pool.Take(0, observer);
    if (outcome.record == nullptr) return -1;
    if (why) *why = outcome.why;
    if (outcome.why != LoadFailure::None) return -1;
    record = *outcome.record;
    return 0;
}
