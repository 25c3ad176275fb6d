#pragma once
// Reads one instrument record file into a MeasureRecord.
//
// The pieces, each in its own file: the number readers (number_scan), the Chinese words
// (record_words), what a name says (record_name), lines and their kinds with one field scanner
// for the three point syntaxes (line_kinds), summary lines (summary_lines), and what follows
// reading (record_completion).
//
// Per-point geometry: each point is projected onto the plane at once, since the area, the
// lengths and the extents need every plane point. The record is projected as a whole, two
// points at a time in packed SSE2 arithmetic (the same IEEE operations in the same order as
// the one-point projection, so the same bits, at half the divider's work), with libm's sine and
// cosine per point, reused while the latitude repeats; the walked length takes its square roots
// two at a time and sums in path order. A point's BD-09 map position is not computed here:
// the record is marked mapPointsPending and MapPointOf converts a point when the map or the
// converter reads it. The datum conversion costs most of the geometry (nine libm calls a point,
// none of which can be dropped without changing the values' last bits), yet only the shown
// record's points are ever drawn on the map, one record at a time; converting on reading runs
// the same function on the same inputs, so every value read is bit for bit what converting at
// load time gave, and a folder import does none of that work.
#include <cstddef>

#include "import/record.h"

enum LineKind : int {
    Other = -1,
    DatedPoint = 1,
    RmcSentence = 2,
    Summary = 4,
    StampedPoint = 5,
};

// Why a load failed, for callers that tell the user.
enum class LoadFailure : int {
    None = 0,
    NotRecordName,  // name lacks ".nmea", or the path has no separator
    PathTooLong,    // longer than a record's path holds
    CannotOpen,     // missing, unreadable, or not a regular file
    CannotRead,     // a read error part-way
    NoPoints,       // no point line in the file
};

inline constexpr int LineCapacity = 256;

// A record file is read to at most this many bytes and then treated as if it ended there. The
// largest real record (3599 points amid a receiver's other sentences, about 2 KB a second) is a
// few megabytes; 64 MiB leaves ten times that, while a hostile 2 GB file costs a fraction of a
// second instead of seconds, and 200 of them a folder import of seconds instead of minutes.
inline constexpr long long MaxRecordFileBytes = 64LL * 1024 * 1024;

// 0: record cleared and filled. −1: not loaded; record's content is meaningless.
int LoadRecordFile(const char* path, MeasureRecord& record, LoadFailure* why = nullptr);

// The same from a file's bytes already in memory (an archived record file): path gives the
// record's path and name rules, data the content, read to at most MaxRecordFileBytes.
int LoadRecordBytes(const char* path, const void* data, size_t size, MeasureRecord& record,
                    LoadFailure* why = nullptr);

// Name rules: sets type, the date and time (when the name carries one) and nameKey.
bool CheckFileName(const char* path, MeasureRecord& record);

// 0: Chinese form read, 1: track form read, −1: no time in the path (nothing set).
int ParseNameTime(const char* path, MeasureRecord& record);

// Copies the line starting at pos into line (NUL-terminated, at most capacity − 1 bytes,
// terminator run included). Returns where the next line starts, or nullptr when this line
// ends the data.
const char* ReadLine(char* line, int capacity, const char* pos, const char* end);

// Classifies a NUL-terminated line; a Summary line's values are stored in record at once.
LineKind ClassifyLine(const char* line, MeasureRecord& record);

// Last occurrence of word in text, or nullptr. An empty word gives text.
const char* FindLast(const char* text, const char* word);

// Reads a point line of the given kind. False when it is not a usable point
// (a number that does not read, a position that is not finite or out of range).
bool ParsePointLine(const char* line, LineKind kind, TrackPoint& point);
