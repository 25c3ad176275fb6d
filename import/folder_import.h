#pragma once
// Importing a folder of record files: listing it, and loading a list of its files into the
// record table the way a device import does. The window and the converter both use this.
//
// Files are loaded on a small pool of threads (one per hardware thread, each with a few scratch
// records, so it loads the next file while the last waits to be stored; nothing is allocated per
// file) and stored in the order of the list, so the table is exactly what a one-thread import
// gives: the same records in the same slots, the same first MaxRecords, the same restart.
// Loading runs at most a few files per thread ahead of the file being stored, so a large folder
// is not read far past what the table takes.
#include <string>
#include <vector>

#include "import/loader.h"
#include "import/record.h"

enum class FolderOrder {
    Listing,  // as the file system lists the entries (the window's device import)
    Name,     // ascending by the names' bytes (the converter)
};

// Names of the regular files in folder (symbolic links followed; no sub-folders, no descent),
// as the bytes the file system holds, so GBK names survive. 0, or −1 with errno set when the
// folder cannot be read; names is replaced either way.
int ListRecordFolder(const char* folder, FolderOrder order, std::vector<std::string>& names);

// What an import tells its caller. Every call comes on the thread that called
// ImportRecordFiles, in list order.
class FolderImportObserver {
public:
    virtual ~FolderImportObserver() = default;
    // filesDone of fileCount files have been dealt with (stored or skipped).
    virtual void Progress(int filesDone, int fileCount) { (void)filesDone, (void)fileCount; }
    // The file at paths[fileIndex] did not load; the table is unchanged.
    virtual void Skipped(int fileIndex, const std::string& path, LoadFailure why)
    {
        (void)fileIndex, (void)path, (void)why;
    }
    // The file at paths[fileIndex] is now table.records[tableIndex]. tableIndex 0 means the
    // table has just been restarted for this run.
    virtual void Stored(int fileIndex, int tableIndex) { (void)fileIndex, (void)tableIndex; }
    // Asked between files and while waiting for a slow one; true ends the import after the
    // files in flight, keeping what has been stored.
    virtual bool Cancelled() { return false; }
    // Called every WaitingInterval while the next file in order is still being read (on a
    // slow or stalled drive), so that a window can repaint and take a click on its cancel.
    virtual void Waiting() {}
    static constexpr int WaitingIntervalMs = 50;
};

struct FolderImportResult {
    int loaded;     // records stored in this run
    int skipped;    // files that did not load
    int filesDone;  // files dealt with: the list's length unless the table filled or the run was cancelled
    bool cancelled;
};

// How an import reads one file: LoadRecordFile; a test puts a drive of its own in its place.
using RecordFileLoad = int (*)(const char* path, MeasureRecord& record, LoadFailure* why);

// Loads paths in order into table: the first file that loads restarts the table, a file that
// fails changes nothing, and the run ends when the table holds MaxRecords. Writes the device
// import's "[INFO] %d, %s." line for each stored record. threads: 0 for one per hardware
// thread, 1 to load on the calling thread alone. filesAheadPerThread: how many loaded files each
// thread may hold before the one being stored is taken; two keep the threads busy while the
// caller stores records, a caller that paints between them needs more. Other than with threads
// 1, the calling thread never reads a file: a drive whose reads stall keeps it waiting only
// until the observer cancels, and the stalled file's late result is dropped.
inline constexpr int DefaultFilesAheadPerThread = 2;
FolderImportResult ImportRecordFiles(const std::vector<std::string>& paths, RecordTable& table,
                                     FolderImportObserver* observer = nullptr, int threads = 0,
                                     int filesAheadPerThread = DefaultFilesAheadPerThread,
                                     RecordFileLoad load = LoadRecordFile);

// Loads one file into record as LoadRecordFile does, but on a worker thread, calling the
// observer's Waiting and Cancelled while the file is read. 0; or −1 with *why the file's
// failure, LoadFailure::None when the observer cancelled (record is then unchanged, and stays
// so when the read finally returns).
int LoadRecordFileAside(const char* path, MeasureRecord& record, FolderImportObserver& observer,
                        LoadFailure* why = nullptr, RecordFileLoad load = LoadRecordFile);
