#pragma once
// What the core tests and the benchmarks share: a scratch folder, whole-file reads, a full
// record of the most points a record holds, and full record files.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "import/loader.h"
#include "import/record.h"

// A fresh folder under parent (by default $TMPDIR, else /tmp), readable by all, removed with
// everything in it when the object goes (whatever permissions a test left on it).
class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix = "varnel", const char* parent = nullptr);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes to name in the folder and returns the file's path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// Sets the process's time zone (TZ, e.g. "Asia/Shanghai" or "UTC") for the object's life.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool hadZone_;
    std::string previous_;
};

// The whole content of the file at path; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The names in the folder, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// What a call made in a child process returned, and the cause it reported.
struct ChildOutcome {
    int result = -99;
    int error = -99;
};

// Runs call in a forked child, for process-wide limits and identities, and returns its outcome
// (the initial values when the child could not report).
ChildOutcome RunInChild(const std::function<ChildOutcome()>& call);

// Root writes anywhere: in a child, a root process becomes the user nobody, so that permissions
// apply. False when that fails; true at once for an unprivileged user.
bool DropRootPrivileges();

// A full record: MaxPointCount points walked once round a field of about 1 km radius centred on
// 22.55° N, 114.05° E, given as positions, as map points (BD-09) and as plane points (a 1000 m
// circle round the centre's projection, in drawing form), with the map centre and the plane
// extents filled in.
std::unique_ptr<MeasureRecord> FullRecord();

// A full record file of one point kind (DatedPoint, StampedPoint, or RmcSentence with a valid
// checksum), MaxPointCount points near 34.8° N, 113.6° E, one a second: the benchmarks' workload.
std::string RecordFileText(LineKind kind);

// A field of twelve dated points round a square of about 100 m near 34.8° N, 113.6° E, a little
// apart for each n (0 ≤ n < 10 000), so that every n is a file of bytes of its own; and its name,
// an area record's.
std::string SmallFieldText(int n);
std::string SmallFieldName(int n);
