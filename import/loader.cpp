#include "import/loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "import/line_kinds.h"
#include "import/log.h"
#include "import/record_completion.h"

namespace {

constexpr int kReadChunk = 64 * 1024;

// Reads the file in chunks, so memory stays bounded whatever its size, and stops as soon as
// the record is full or MaxRecordFileBytes have been read. Returns false on a read error.
// readSome(buffer, size) is read(2)'s contract: bytes read, 0 at the end, −1 with errno set.
template <typename ReadSome>
bool ReadPoints(ReadSome readSome, MeasureRecord& r)
{
    char data[kReadChunk];
    char line[LineCapacity];
    const char* pos = data;
    const char* end = data;
    bool atEof = false;
    bool chunkHasNul = false;  // only then can a line's text end before its bytes do
    long long budget = MaxRecordFileBytes;
    for (;;) {
        // ReadLine looks at most LineCapacity bytes ahead; keep that much in the window.
        if (!atEof && end - pos < LineCapacity) {
            const size_t kept = size_t(end - pos);
            std::memmove(data, pos, kept);
            size_t filled = kept;
            while (filled < sizeof data) {
                if (budget == 0) {
                    atEof = true;  // past the bound: as if the file ended here
                    break;
                }
                const size_t want = std::min<long long>(budget, sizeof data - filled);
                const ssize_t got = readSome(data + filled, want);
                if (got < 0) {
                    if (errno == EINTR) continue;
                    return false;
                }
                if (got == 0) {
                    atEof = true;
                    break;
                }
                filled += size_t(got);
                budget -= got;
            }
            pos = data;
            end = data + filled;
            chunkHasNul = std::memchr(data, '\0', filled) != nullptr;
        }
        const char* next = ReadLine(line, LineCapacity, pos, end);
        // The line's text, up to a NUL byte if it holds one.
        const size_t length = chunkHasNul ? std::strlen(line) : size_t((next ? next : end) - pos);
        const LineKind kind = ClassifyLine(line, length, r);
        if (kind == DatedPoint || kind == StampedPoint || kind == RmcSentence) {
            if (ParsePointLine(line, length, kind, r.points[r.pointCount])) {
                ++r.pointCount;
                // A receiver's clock is UTC; the instrument's own lines keep local time.
                if (kind == RmcSentence) r.stampsUtc = 1;
            }
        }
        if (!next || r.pointCount >= MaxPointCount) return true;
        pos = next;
    }
}

// Zeroes what neither reading the file nor completing the record writes: the points and plane
// points past pointCount, the map points (the map converts them when it reads them) and what
// follows the arrays. The record's bytes are then those of a record zeroed whole before it was read.
void ClearUnreadPart(MeasureRecord& r)
{
    const size_t unread = size_t(PointCapacity - r.pointCount);
    std::memset(static_cast<void*>(r.points + r.pointCount), 0, unread * sizeof(TrackPoint));
    std::memset(static_cast<void*>(&r.mapPoints), 0, sizeof r.mapPoints);
    char* const planeTail = reinterpret_cast<char*>(r.planePoints + r.pointCount);
    std::memset(planeTail, 0, size_t(reinterpret_cast<char*>(&r + 1) - planeTail));
}

// A record that did not load is nobody's: its arrays are left as they are.
int Fail(LoadFailure* why, LoadFailure failure)
{
    if (why) *why = failure;
    return -1;
}

// Clears the record's head and takes path's name rules: LoadFailure::None when the name is a
// record file's. The arrays are cleared where the file leaves them empty once it has been
// read, so that a full record's 200 KB are not written twice.
LoadFailure StartRecord(const char* path, MeasureRecord& record)
{
    std::memset(static_cast<void*>(&record), 0, offsetof(MeasureRecord, points));
    const size_t length = strnlen(path, PathCapacity);
    if (length >= size_t(PathCapacity)) return LoadFailure::PathTooLong;
    std::memcpy(record.path, path, length);
    if (!CheckFileName(path, record)) return LoadFailure::NotRecordName;
    return LoadFailure::None;
}

int FinishRecord(MeasureRecord& record, LoadFailure* why)
{
    if (record.pointCount == 0) return Fail(why, LoadFailure::NoPoints);
    ClearUnreadPart(record);
    CompleteRecord(record);
    if (why) *why = LoadFailure::None;
    return 0;
}

}  // namespace

int LoadRecordFile(const char* path, MeasureRecord& record, LoadFailure* why)
{
    if (const LoadFailure start = StartRecord(path, record); start != LoadFailure::None) return Fail(why, start);

    // Non-blocking open and a regular-file check: a FIFO or device named *.nmea must not hang us.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        LogPrintf("[ERR] Open \"%s\" Failed!", path);
        return Fail(why, LoadFailure::CannotOpen);
    }
    const bool read = ReadPoints([fd](char* buffer, size_t size) { return ::read(fd, buffer, size); }, record);
    ::close(fd);
    if (!read) {
        LogPrintf("[ERR] Read \"%s\" Failed!", path);
        return Fail(why, LoadFailure::CannotRead);
    }
    return FinishRecord(record, why);
}

int LoadRecordBytes(const char* path, const void* data, size_t size, MeasureRecord& record, LoadFailure* why)
{
    if (const LoadFailure start = StartRecord(path, record); start != LoadFailure::None) return Fail(why, start);
    const char* next = static_cast<const char*>(data);
    const char* const end = next + size;
    ReadPoints(
        [&next, end](char* buffer, size_t want) {
            const size_t n = std::min(want, size_t(end - next));
            if (n > 0) std::memcpy(buffer, next, n);
            next += n;
            return ssize_t(n);
        },
        record);
    return FinishRecord(record, why);
}
