#pragma once
// What the core tests and the benchmarks share: a scratch folder, whole-file reads, and a full
// record of the most points a record holds.
#include <memory>
#include <string>

#include "import/loader.h"
#include "import/record.h"

// A fresh folder under /tmp (or $TMPDIR), removed with everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix = "varnel");
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

// The whole content of the file at path; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A full record: MaxPointCount points walked once round a field near 22.5° N, 113.9° E, given
// as positions and as plane points (a 1000 m circle), with the plane extents filled in.
std::unique_ptr<MeasureRecord> FullRecord();

// A full record file of one point kind (DatedPoint, StampedPoint, or RmcSentence with a valid
// checksum), MaxPointCount points near 34.8° N, 113.6° E, one a second: the benchmarks' workload.
std::string RecordFileText(LineKind kind);
