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
bool ReadPoints(int fd, MeasureRecord& r)
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
                const ssize_t got = ::read(fd, data + filled, want);
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

}  // namespace

int LoadRecordFile(const char* path, MeasureRecord& record, LoadFailure* why)
{
    // A record that did not load is nobody's: its arrays are left as they are.
    auto fail = [why](LoadFailure f) {
        if (why) *why = f;
        return -1;
    };
    // Everything before the points is cleared now; the arrays are cleared where the file leaves
    // them empty once it has been read, so that a full record's 200 KB are not written twice.
    std::memset(static_cast<void*>(&record), 0, offsetof(MeasureRecord, points));
    const size_t length = strnlen(path, PathCapacity);
    if (length >= size_t(PathCapacity)) return fail(LoadFailure::PathTooLong);
    std::memcpy(record.path, path, length);
    if (!CheckFileName(path, record)) return fail(LoadFailure::NotRecordName);

    // Non-blocking open and a regular-file check: a FIFO or device named *.nmea must not hang us.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        LogPrintf("[ERR] Open \"%s\" Failed!", path);
        return fail(LoadFailure::CannotOpen);
    }
    const bool read = ReadPoints(fd, record);
    ::close(fd);
    if (!read) {
        LogPrintf("[ERR] Read \"%s\" Failed!", path);
        return fail(LoadFailure::CannotRead);
    }
    if (record.pointCount == 0) return fail(LoadFailure::NoPoints);

    ClearUnreadPart(record);
    CompleteRecord(record);
    if (why) *why = LoadFailure::None;
    return 0;
}
