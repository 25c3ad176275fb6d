// Cutting a record file into lines, telling their kinds, and reading the point lines. One field
// scanner serves the three kinds of point line; each kind is a row of the syntax table below.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "geo/projection.h"
#include "import/line_kinds.h"
#include "import/number_scan.h"
#include "import/summary_lines.h"

namespace {

// What one field of a point line yields.
struct FieldValue {
    int64_t integer;
    double number;
    const char* begin;  // a text field
    const char* end;
};

constexpr int kMaxFields = 9;

const char* FieldEnd(const char* p, const char* fieldsEnd)
{
    while (p < fieldsEnd && *p != ',') ++p;
    return p;
}

// A point line's field format, as a template argument: each syntax gets a scanner of its own
// with the format unrolled at compile time, so no format byte is looked at while a line is read.
template <size_t N>
struct FieldFormat {
    char text[N];
    constexpr FieldFormat(const char (&s)[N])
    {
        for (size_t i = 0; i < N; ++i) text[i] = s[i];
    }
};

// Reads the fields that Format describes, from p on. Format characters:
//   i, l, f  a 32-bit integer, a 64-bit integer, a decimal number, as scanf reads them: blanks
//            skipped, the number ends where it cannot continue;
//   F        a decimal number that fills its comma-separated field exactly;
//   c        a comma-separated field's text, whatever it holds;
//   6        a comma-separated field of exactly six digits;
//   others   that very byte.
// Comma-separated fields end at the next ',' or at fieldsEnd. False when the line does not match;
// values then hold nothing usable.
template <FieldFormat Format, size_t I = 0>
bool ScanFields(const char* p, const char* fieldsEnd, FieldValue* values)
{
    constexpr char kind = Format.text[I];
    if constexpr (kind == '\0') {
        return true;
    } else {
        FieldValue& v = *values;
        if constexpr (kind == 'i') {
            int n = 0;
            if (!(p = ScanInt(p, &n))) return false;
            v.integer = n;
        } else if constexpr (kind == 'l') {
            if (!(p = ScanInt64(p, &v.integer))) return false;
        } else if constexpr (kind == 'f') {
            if (!(p = ScanDouble(p, &v.number))) return false;
        } else if constexpr (kind == 'F') {
            // No number holds a comma, so a number that ends at a comma or at fieldsEnd fills its field.
            if (p >= fieldsEnd || IsSpace(*p)) return false;
            const char* stop = ScanDouble(p, &v.number);
            if (!stop || stop > fieldsEnd || (stop < fieldsEnd && *stop != ',')) return false;
            p = stop;
        } else if constexpr (kind == 'c') {
            v.begin = p;
            p = v.end = FieldEnd(p, fieldsEnd);
        } else if constexpr (kind == '6') {
            v.begin = p;
            p = v.end = FieldEnd(p, fieldsEnd);
            if (v.end - v.begin != 6) return false;
            for (const char* d = v.begin; d < v.end; ++d)
                if (!IsDigit(*d)) return false;
        } else {
            if (*p != kind) return false;
            ++p;
        }
        constexpr bool yields = kind == 'i' || kind == 'l' || kind == 'f' || kind == 'F' || kind == 'c' || kind == '6';
        return ScanFields<Format, I + 1>(p, fieldsEnd, yields ? values + 1 : values);
    }
}

bool IsUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool FieldIs(const FieldValue& v, char c)
{
    return v.end - v.begin == 1 && *v.begin == c;
}

// A dated point: year, month, day, hour, minute, second, latitude, longitude.
bool DatedPointOf(const FieldValue* v, TrackPoint& point)
{
    if (!IsValidPosition(v[6].number, v[7].number)) return false;
    // Each field fits 32 bits, so the packed sum cannot overflow 64.
    const int64_t stamp = v[0].integer * 10000000000ll + v[1].integer * 100000000ll + v[2].integer * 1000000ll +
                          v[3].integer * 10000ll + v[4].integer * 100ll + v[5].integer;
    point = {v[7].number, v[6].number, uint64_t(stamp)};
    return true;
}

// A numbered point: stamp, latitude, longitude.
bool StampedPointOf(const FieldValue* v, TrackPoint& point)
{
    if (!IsValidPosition(v[1].number, v[2].number)) return false;
    point = {v[2].number, v[1].number, uint64_t(v[0].integer)};
    return true;
}

// An RMC fix: time, status, latitude, N/S, longitude, E/W, speed, course, date (ddmmyy).
bool RmcPointOf(const FieldValue* v, TrackPoint& point)
{
    const double time = v[0].number;
    if (time < 0.0 || time >= 1000000.0 || FieldIs(v[1], 'V')) return false;
    double lat = DegMinToDegrees(v[2].number);
    double lon = DegMinToDegrees(v[4].number);
    if (FieldIs(v[3], 'S')) lat = -lat;
    if (FieldIs(v[5], 'W')) lon = -lon;
    if (!IsValidPosition(lat, lon)) return false;
    const char* d = v[8].begin;
    const uint64_t day = uint64_t((d[0] - '0') * 10 + (d[1] - '0'));
    const uint64_t month = uint64_t((d[2] - '0') * 10 + (d[3] - '0'));
    const uint64_t year = 2000 + uint64_t((d[4] - '0') * 10 + (d[5] - '0'));
    point = {lon, lat, year * 10000000000ull + month * 100000000ull + day * 1000000ull + uint64_t(time)};
    return true;
}

// Where an RMC sentence's fields end: before its "*hh" checksum, which a complete sentence
// ends with (receiver logs hold sentences cut off mid-way; the checksum's value is not verified).
const char* RmcFieldsEnd(const char* line, size_t length)
{
    const char* end = line + length;
    while (end > line && IsSpace(end[-1])) --end;
    if (end - line < 10 || end[-3] != '*' || !IsHex(end[-2]) || !IsHex(end[-1])) return nullptr;
    return end - 3;
}

// Any two-letter talker, and no second RMC header in the line (the marks put one at byte 3).
bool RmcTalkerAndHeader(const char* line)
{
    if (!IsUpper(line[1]) || !IsUpper(line[2])) return false;
    for (const char* r = line + 4; (r = std::strchr(r, 'R')) != nullptr; ++r)
        if (r[1] == 'M' && r[2] == 'C' && r[3] == ',') return false;
    return true;
}

struct Mark {
    unsigned char at;
    char byte;
};

// How a line of one syntax becomes a point: its fields, from byte Start to where FieldsEnd says
// (nullptr: no comma-separated fields), read by Format and turned into a point by PointOf.
template <FieldFormat Format, int Start, const char* (*FieldsEnd)(const char*, size_t),
          bool (*PointOf)(const FieldValue*, TrackPoint&)>
bool ReadPointFields(const char* line, size_t length, TrackPoint& point)
{
    const char* fieldsEnd = nullptr;
    if constexpr (FieldsEnd != nullptr)
        if (!(fieldsEnd = FieldsEnd(line, length))) return false;
    FieldValue values[kMaxFields];
    return ScanFields<Format>(line + Start, fieldsEnd, values) && PointOf(values, point);
}

struct PointSyntax {
    LineKind kind;
    Mark marks[5];                    // bytes at fixed places that tell the kind; a 0 byte ends them
    bool (*alsoTells)(const char*);   // a further test of the kind, or nullptr
    bool (*read)(const char* line, size_t length, TrackPoint& point);
};

// Tested in this order; the first whose marks hold decides.
constexpr PointSyntax kPointSyntaxes[] = {
    {DatedPoint, {{0, '2'}, {1, '0'}, {4, '-'}, {10, ','}}, nullptr,
     ReadPointFields<"i-i-i,i:i:i,f,f", 0, nullptr, DatedPointOf>},
    {StampedPoint, {{14, ','}, {25, ','}, {36, '\r'}, {37, '\n'}}, nullptr,
     ReadPointFields<"l,f,f", 0, nullptr, StampedPointOf>},
    {RmcSentence, {{0, '$'}, {3, 'R'}, {4, 'M'}, {5, 'C'}, {6, ','}}, RmcTalkerAndHeader,
     ReadPointFields<"F,c,F,c,F,c,c,c,6", 7, RmcFieldsEnd, RmcPointOf>},
};

bool Tells(const PointSyntax& s, const char* line, size_t length)
{
    for (const Mark& m : s.marks) {
        if (m.byte == 0) break;
        if (m.at >= length || line[m.at] != m.byte) return false;
    }
    return !s.alsoTells || s.alsoTells(line);
}

}  // namespace

const char* ReadLine(char* line, int capacity, const char* pos, const char* end)
{
    // A line is its text and the whole run of CR and LF bytes after it, at most capacity − 1 bytes.
    const size_t available = size_t(end - pos);
    const size_t limit = available < size_t(capacity - 1) ? available : size_t(capacity - 1);
    const char* lf = static_cast<const char*>(std::memchr(pos, '\n', limit));
    const char* cr = static_cast<const char*>(std::memchr(pos, '\r', lf ? size_t(lf - pos) : limit));
    size_t n = cr ? size_t(cr - pos) : lf ? size_t(lf - pos) : limit;
    while (n < limit && (pos[n] == '\r' || pos[n] == '\n')) ++n;
    std::memcpy(line, pos, n);
    line[n] = '\0';
    pos += n;
    return pos == end ? nullptr : pos;
}

LineKind ClassifyLine(const char* line, size_t length, MeasureRecord& record)
{
    for (const PointSyntax& s : kPointSyntaxes)
        if (Tells(s, line, length)) return s.kind;
    if (ReadSummary(line, record)) return Summary;
    return Other;
}

LineKind ClassifyLine(const char* line, MeasureRecord& record)
{
    return ClassifyLine(line, std::strlen(line), record);
}

bool ParsePointLine(const char* line, size_t length, LineKind kind, TrackPoint& point)
{
    for (const PointSyntax& s : kPointSyntaxes)
        if (s.kind == kind) return s.read(line, length, point);
    return false;
}

bool ParsePointLine(const char* line, LineKind kind, TrackPoint& point)
{
    return ParsePointLine(line, std::strlen(line), kind, point);
}
