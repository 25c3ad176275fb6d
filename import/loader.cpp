#include "import/loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "geo/area.h"
#include "geo/datum.h"
#include "geo/projection.h"
#include "import/log.h"

namespace {

// A Chinese word as the instrument writes it (GBK) and as Linux names and re-saved files hold it.
struct Word {
    const char* gbk;
    const char* utf8;
};

constexpr Word kYearMark{"\xC4\xEA", "\xE5\xB9\xB4"};      // 年
constexpr Word kMonthMark{"\xD4\xC2", "\xE6\x9C\x88"};     // 月
constexpr Word kDayMark{"\xC8\xD5", "\xE6\x97\xA5"};       // 日
constexpr Word kHourMark{"\xCA\xB1", "\xE6\x97\xB6"};      // 时
constexpr Word kMinuteMark{"\xB7\xD6", "\xE5\x88\x86"};    // 分
constexpr Word kSecondMark{"\xC3\xEB", "\xE7\xA7\x92"};    // 秒
constexpr Word kVehicleWord{"\xB3\xB5", "\xE8\xBD\xA6"};   // 车
constexpr Word kDistanceWord{"\xBE\xE0\xC0\xEB", "\xE8\xB7\x9D\xE7\xA6\xBB"};  // 距离
constexpr Word kAreaWord{"\xC3\xE6\xBB\xFD", "\xE9\x9D\xA2\xE7\xA7\xAF"};      // 面积
constexpr Word kPerimeterWord{"\xD6\xDC\xB3\xA4", "\xE5\x91\xA8\xE9\x95\xBF"}; // 周长
constexpr Word kCurveWord{"\xC7\xFA\xCF\xDF", "\xE6\x9B\xB2\xE7\xBA\xBF"};     // 曲线
constexpr Word kStraightWord{"\xD6\xB1\xCF\xDF", "\xE7\x9B\xB4\xE7\xBA\xBF"};  // 直线
constexpr Word kAreaLabel{"\xC3\xE6\xBB\xFD: ", "\xE9\x9D\xA2\xE7\xA7\xAF: "};
constexpr Word kPerimeterLabel{"\xD6\xDC\xB3\xA4: ", "\xE5\x91\xA8\xE9\x95\xBF: "};
constexpr Word kCurveLabel{"\xC7\xFA\xCF\xDF: ", "\xE6\x9B\xB2\xE7\xBA\xBF: "};
constexpr Word kStraightLabel{"\xD6\xB1\xCF\xDF: ", "\xE7\x9B\xB4\xE7\xBA\xBF: "};
constexpr Word kSquareMetreLabel{"\xC6\xBD\xB7\xBD\xC3\xD7(", "\xE5\xB9\xB3\xE6\x96\xB9\xE7\xB1\xB3("};  // 平方米(

constexpr int kReadChunk = 64 * 1024;

bool Contains(const char* text, const char* word)
{
    return std::strstr(text, word) != nullptr;
}

bool ContainsWord(const char* text, const Word& w)
{
    return Contains(text, w.gbk) || Contains(text, w.utf8);
}

// Last occurrence of a word in either encoding; *after is where the text following it starts.
bool FindLastWord(const char* text, const Word& w, const char** after)
{
    const char* g = FindLast(text, w.gbk);
    const char* u = FindLast(text, w.utf8);
    if (!g && !u) return false;
    if (g && (!u || g > u))
        *after = g + std::strlen(w.gbk);
    else
        *after = u + std::strlen(w.utf8);
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* p)
{
    while (IsSpace(*p)) ++p;
    return p;
}

// The scanners below follow scanf's conversions: leading white space skipped, an optional
// sign, then digits. They return the position after the number, or nullptr when no number
// reads (no digits, or a value out of range). A nullptr input passes through.

const char* ScanInt64(const char* p, int64_t* out)
{
    if (!p) return nullptr;
    p = SkipSpace(p);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return nullptr;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; IsDigit(*p); ++p) {
        const unsigned digit = unsigned(*p - '0');
        if (magnitude > (limit - digit) / 10) return nullptr;
        magnitude = magnitude * 10 + digit;
    }
    *out = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return p;
}

const char* ScanInt(const char* p, int* out)
{
    int64_t v = 0;
    p = ScanInt64(p, &v);
    if (!p || v < INT_MIN || v > INT_MAX) return nullptr;
    *out = int(v);
    return p;
}

// A decimal number: digits with an optional fraction and exponent. Hexadecimal, "inf" and
// "nan" are not numbers here; a value beyond the range of double does not read.
const char* ScanDouble(const char* p, double* out)
{
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!p) return nullptr;
    p = SkipSpace(p);
    const char* start = p;
    bool negative = false;
    if (*p == '+') start = ++p;
    else if (*p == '-') negative = true, ++p;

    // Collect up to 19 significant digits as an integer while checking the syntax.
    uint64_t mantissa = 0;
    int digits = 0, scale = 0;
    const char* integer = p;
    for (; IsDigit(*p); ++p)
        if (digits < 19) mantissa = mantissa * 10 + unsigned(*p - '0'), digits += mantissa != 0;
        else ++scale;
    bool any = p > integer;
    if (*p == '.') {
        const char* fraction = ++p;
        for (; IsDigit(*p); ++p)
            if (digits < 19) mantissa = mantissa * 10 + unsigned(*p - '0'), digits += mantissa != 0, --scale;
        any = any || p > fraction;
    }
    if (!any) return nullptr;
    bool exponent = false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            while (IsDigit(*q)) ++q;
            p = q;
            exponent = true;
        }
    }

    // Exact integer over an exact power of ten rounds correctly; everything else (long
    // mantissas, exponents) goes to the library's conversion.
    if (!exponent && mantissa <= (uint64_t(1) << 53) && scale <= 0 && scale >= -22) {
        const double v = double(mantissa) / kPowersOfTen[-scale];
        *out = negative ? -v : v;
        return p;
    }
    double v = 0.0;
    const auto result = std::from_chars(start, p, v);
    if (result.ec != std::errc() || result.ptr != p || !std::isfinite(v)) return nullptr;
    *out = v;
    return p;
}

// scanf's ordinary characters: a literal must be the next byte; white space in a format
// matches any amount of it, none included.
const char* Expect(const char* p, char c)
{
    if (!p) return nullptr;
    if (c == ' ') return SkipSpace(p);
    return *p == c ? p + 1 : nullptr;
}

const char* ExpectText(const char* p, const char* text)
{
    for (; p && *text; ++text) p = Expect(p, *text);
    return p;
}

// atoi with saturation: blanks, a sign, digits; no digits give 0.
int LeadingInt(const char* p)
{
    p = SkipSpace(p);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t v = 0;
    for (; IsDigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > int64_t(INT_MAX) + 1) v = int64_t(INT_MAX) + 1;
    }
    if (negative) return int(-v);
    return v > INT_MAX ? INT_MAX : int(v);
}

// The number after a Chinese label: none reads as 0; one that overflows leaves the field.
void ReadLabelNumber(const char* at, double* field)
{
    const char* p = SkipSpace(at);
    double v = 0.0;
    if (ScanDouble(p, &v)) {
        *field = v;
        return;
    }
    const char* q = p;
    if (*q == '+' || *q == '-') ++q;
    if (*q == '.') ++q;
    if (!IsDigit(*q)) *field = 0.0;
}

void ReadChineseSummary(const char* line, const Word& label, double* field)
{
    const char* at = nullptr;
    if (FindLastWord(line, label, &at)) ReadLabelNumber(at, field);
}

// "WORD: %lf M" from the line's first byte; only what scans is stored.
void ReadEnglishLength(const char* line, const char* word, double* field)
{
    const char* p = ExpectText(line, word);
    p = Expect(p, ':');
    double v = 0.0;
    if (ScanDouble(p, &v)) *field = v;
}

void ReadSummary(const char* line, MeasureRecord& r)
{
    if (ContainsWord(line, kAreaWord)) {
        ReadChineseSummary(line, kAreaLabel, &r.area);
        ReadChineseSummary(line, kSquareMetreLabel, &r.areaMu);
    } else if (ContainsWord(line, kPerimeterWord)) {
        ReadChineseSummary(line, kPerimeterLabel, &r.curveLength);
    } else if (ContainsWord(line, kCurveWord)) {
        ReadChineseSummary(line, kCurveLabel, &r.curveLength);
    } else if (ContainsWord(line, kStraightWord)) {
        ReadChineseSummary(line, kStraightLabel, &r.straightLength);
    } else if (Contains(line, "AREA")) {
        const char* p = Expect(ExpectText(line, "AREA"), ':');
        double v = 0.0;
        p = ScanDouble(p, &v);
        if (!p) return;
        r.area = v;
        p = ExpectText(p, " SQ.M. (");
        if (ScanDouble(p, &v)) r.areaMu = v;
    } else if (Contains(line, "CURVE")) {
        ReadEnglishLength(line, "CURVE", &r.curveLength);
    } else if (Contains(line, "PERIMETER")) {
        ReadEnglishLength(line, "PERIMETER", &r.curveLength);
    } else if (Contains(line, "LINE")) {
        ReadEnglishLength(line, "LINE", &r.straightLength);
    }
}

bool IsSummaryLine(const char* line)
{
    return ContainsWord(line, kAreaWord) || ContainsWord(line, kPerimeterWord) ||
           ContainsWord(line, kCurveWord) || ContainsWord(line, kStraightWord) ||
           Contains(line, "AREA") || Contains(line, "CURVE") || Contains(line, "PERIMETER") ||
           Contains(line, "LINE");
}

bool IsUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

// "$ttRMC," at byte 0 with any two-letter talker, and no second RMC header in the line.
bool IsRmcLine(const char* line)
{
    return line[0] == '$' && IsUpper(line[1]) && IsUpper(line[2]) &&
           std::strncmp(line + 3, "RMC,", 4) == 0 && FindLast(line, "RMC,") == line + 3;
}

bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A whole field as a decimal number. The field ends at a ',' or the checksum's '*', neither
// of which can continue a number, so the scan stops there by itself.
bool FieldNumber(const char* p, const char* end, double* out)
{
    if (p == end || IsSpace(*p)) return false;
    return ScanDouble(p, out) == end;
}

bool ValidPosition(double lat, double lon)
{
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
}

bool ParseRmc(const char* line, TrackPoint& point)
{
    // The sentence must be complete: it ends in a "*hh" checksum field. Receiver logs hold
    // sentences cut off mid-way; the checksum's value itself is not verified.
    const char* end = line + std::strlen(line);
    while (end > line && IsSpace(end[-1])) --end;
    if (end - line < 10 || end[-3] != '*' || !IsHex(end[-2]) || !IsHex(end[-1])) return false;
    const char* bodyEnd = end - 3;

    enum { Time, Status, Lat, NorthSouth, Lon, EastWest, Speed, Course, Date, FieldsNeeded };
    const char* begin[FieldsNeeded];
    const char* stop[FieldsNeeded];
    const char* p = line + 7;
    int n = 0;
    while (n < FieldsNeeded) {
        begin[n] = p;
        while (p < bodyEnd && *p != ',') ++p;
        stop[n++] = p;
        if (p == bodyEnd) break;
        ++p;
    }
    if (n < FieldsNeeded) return false;

    double time = 0.0, latDm = 0.0, lonDm = 0.0;
    if (!FieldNumber(begin[Time], stop[Time], &time) || time < 0.0 || time >= 1000000.0) return false;
    if (stop[Status] - begin[Status] == 1 && *begin[Status] == 'V') return false;
    if (!FieldNumber(begin[Lat], stop[Lat], &latDm) || !FieldNumber(begin[Lon], stop[Lon], &lonDm)) return false;
    if (stop[Date] - begin[Date] != 6) return false;
    for (const char* d = begin[Date]; d < stop[Date]; ++d)
        if (!IsDigit(*d)) return false;

    double lat = DegMinToDegrees(latDm);
    double lon = DegMinToDegrees(lonDm);
    if (stop[NorthSouth] - begin[NorthSouth] == 1 && *begin[NorthSouth] == 'S') lat = -lat;
    if (stop[EastWest] - begin[EastWest] == 1 && *begin[EastWest] == 'W') lon = -lon;
    if (!ValidPosition(lat, lon)) return false;

    // NMEA writes the date ddmmyy; the stamp is YYYYMMDDhhmmss.
    const char* d = begin[Date];
    const uint64_t day = uint64_t((d[0] - '0') * 10 + (d[1] - '0'));
    const uint64_t month = uint64_t((d[2] - '0') * 10 + (d[3] - '0'));
    const uint64_t year = 2000 + uint64_t((d[4] - '0') * 10 + (d[5] - '0'));
    point.lat = lat;
    point.lon = lon;
    point.stamp = year * 10000000000ull + month * 100000000ull + day * 1000000ull + uint64_t(time);
    return true;
}

bool ParseDated(const char* line, TrackPoint& point)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    double lat = 0.0, lon = 0.0;
    const char* p = ScanInt(line, &year);
    p = ScanInt(Expect(p, '-'), &month);
    p = ScanInt(Expect(p, '-'), &day);
    p = ScanInt(Expect(p, ','), &hour);
    p = ScanInt(Expect(p, ':'), &minute);
    p = ScanInt(Expect(p, ':'), &second);
    p = ScanDouble(Expect(p, ','), &lat);
    p = ScanDouble(Expect(p, ','), &lon);
    if (!p || !ValidPosition(lat, lon)) return false;
    // Each field fits 32 bits, so the packed sum cannot overflow 64.
    const int64_t stamp = int64_t(year) * 10000000000ll + int64_t(month) * 100000000ll +
                          int64_t(day) * 1000000ll + int64_t(hour) * 10000ll + int64_t(minute) * 100ll + second;
    point.lat = lat;
    point.lon = lon;
    point.stamp = uint64_t(stamp);
    return true;
}

bool ParseStamped(const char* line, TrackPoint& point)
{
    int64_t stamp = 0;
    double lat = 0.0, lon = 0.0;
    const char* p = ScanInt64(line, &stamp);
    p = ScanDouble(Expect(p, ','), &lat);
    p = ScanDouble(Expect(p, ','), &lon);
    if (!p || !ValidPosition(lat, lon)) return false;
    point.lat = lat;
    point.lon = lon;
    point.stamp = uint64_t(stamp);
    return true;
}

// Points in ascending unsigned stamp order, equal stamps in file order. Instrument files are
// nearly always in time order already, so the check comes first.
void SortPointsByStamp(TrackPoint* points, int count)
{
    int i = 1;
    while (i < count && points[i - 1].stamp <= points[i].stamp) ++i;
    if (i >= count) return;

    TrackPoint scratch[MaxPointCount];
    TrackPoint* from = points;
    TrackPoint* to = scratch;
    for (int width = 1; width < count; width *= 2) {
        for (int lo = 0; lo < count; lo += 2 * width) {
            const int mid = lo + width < count ? lo + width : count;
            const int hi = lo + 2 * width < count ? lo + 2 * width : count;
            int a = lo, b = mid, k = lo;
            while (a < mid && b < hi) to[k++] = from[b].stamp < from[a].stamp ? from[b++] : from[a++];
            while (a < mid) to[k++] = from[a++];
            while (b < hi) to[k++] = from[b++];
        }
        TrackPoint* t = from;
        from = to;
        to = t;
    }
    if (from != points) std::memcpy(points, from, sizeof(TrackPoint) * size_t(count));
}

// Everything that follows reading: order, projection, map datum, results, extents, date.
void CompleteRecord(MeasureRecord& r)
{
    const int n = r.pointCount;
    SortPointsByStamp(r.points, n);

    double minLat = r.points[0].lat, maxLat = minLat;
    double minLon = r.points[0].lon, maxLon = minLon;
    for (int i = 1; i < n; ++i) {
        const TrackPoint& p = r.points[i];
        if (p.lat < minLat) minLat = p.lat;
        if (p.lat > maxLat) maxLat = p.lat;
        if (p.lon < minLon) minLon = p.lon;
        if (p.lon > maxLon) maxLon = p.lon;
    }
    const double centreLat = (maxLat - minLat) / 2.0 + minLat;
    const double centreLon = (maxLon - minLon) / 2.0 + minLon;

    // One zone for the whole record, so a field across a zone boundary stays in one plane.
    const int zone = GaussKrugerZone(centreLon);
    for (int i = 0; i < n; ++i) {
        const TrackPoint& p = r.points[i];
        r.planePoints[i] = GaussKrugerForwardInZone({p.lon, p.lat}, zone);
        double bdLat = 0.0, bdLon = 0.0;
        WgsToBd(p.lat, p.lon, &bdLat, &bdLon);
        r.mapPoints[i] = {bdLon, bdLat};
    }
    WgsToBd(centreLat, centreLon, &r.mapCenterLat, &r.mapCenterLon);

    const uint32_t count = uint32_t(n);
    r.calcArea = PolygonArea(r.planePoints, count);
    r.calcAreaMu = r.calcArea / SquareMetresPerMu;
    r.calcCurveLength = PolylineLength(r.planePoints, count);
    r.calcStraightLength = PlaneDistance(r.planePoints[0], r.planePoints[n - 1]);

    for (int i = 0; i < n; ++i) {
        PlanePoint& p = r.planePoints[i];
        p = {p.second, -1.0 * p.first};
    }
    r.minX = r.maxX = r.planePoints[0].first;
    r.minY = r.maxY = r.planePoints[0].second;
    for (int i = 1; i < n; ++i) {
        const PlanePoint& p = r.planePoints[i];
        if (p.first < r.minX) r.minX = p.first;
        if (p.first > r.maxX) r.maxX = p.first;
        if (p.second < r.minY) r.minY = p.second;
        if (p.second > r.maxY) r.maxY = p.second;
    }
    r.width = r.maxX - r.minX;
    r.height = r.maxY - r.minY;
    r.extent = r.width > r.height ? r.width : r.height;

    if (r.area == 0.0 && r.areaMu == 0.0 && r.curveLength == 0.0 && r.straightLength == 0.0) {
        r.area = r.calcArea;
        r.areaMu = r.calcAreaMu;
        r.curveLength = r.calcCurveLength;
        r.straightLength = r.calcStraightLength;
    }

    if (r.nameKey == 0) {
        uint64_t s = r.points[0].stamp;
        r.second = int32_t(s % 100);
        s /= 100;
        r.minute = int32_t(s % 100);
        s /= 100;
        r.hour = int32_t(s % 100);
        s /= 100;
        r.day = int32_t(s % 100);
        s /= 100;
        r.month = int32_t(s % 100);
        s /= 100;
        r.year = int32_t(s % 10000);
    }
}

// Reads the file in chunks, so memory stays bounded whatever its size, and stops as soon as
// the record is full. Returns false on a read error.
bool ReadPoints(int fd, MeasureRecord& r)
{
    char data[kReadChunk];
    char line[LineCapacity];
    const char* pos = data;
    const char* end = data;
    bool atEof = false;
    for (;;) {
        // ReadLine looks at most LineCapacity bytes ahead; keep that much in the window.
        if (!atEof && end - pos < LineCapacity) {
            const size_t kept = size_t(end - pos);
            std::memmove(data, pos, kept);
            size_t filled = kept;
            while (filled < sizeof data) {
                const ssize_t got = ::read(fd, data + filled, sizeof data - filled);
                if (got < 0) {
                    if (errno == EINTR) continue;
                    return false;
                }
                if (got == 0) {
                    atEof = true;
                    break;
                }
                filled += size_t(got);
            }
            pos = data;
            end = data + filled;
        }
        const char* next = ReadLine(line, LineCapacity, pos, end);
        const LineKind kind = ClassifyLine(line, r);
        if (kind == DatedPoint || kind == StampedPoint || kind == RmcSentence) {
            if (ParsePointLine(line, kind, r.points[r.pointCount])) ++r.pointCount;
        }
        if (!next || r.pointCount >= MaxPointCount) return true;
        pos = next;
    }
}

}  // namespace

const char* FindLast(const char* text, const char* word)
{
    const size_t n = std::strlen(word);
    if (n == 0) return text;
    const size_t len = std::strlen(text);
    if (len < n) return nullptr;
    for (size_t i = len - n + 1; i-- > 0;)
        if (text[i] == word[0] && std::memcmp(text + i, word, n) == 0) return text + i;
    return nullptr;
}

const char* ReadLine(char* line, int capacity, const char* pos, const char* end)
{
    // A line is its text and the whole run of CR and LF bytes after it, at most capacity − 1 bytes.
    const size_t available = size_t(end - pos);
    const size_t limit = available < size_t(capacity - 1) ? available : size_t(capacity - 1);
    size_t n = 0;
    while (n < limit && pos[n] != '\r' && pos[n] != '\n') ++n;
    while (n < limit && (pos[n] == '\r' || pos[n] == '\n')) ++n;
    std::memcpy(line, pos, n);
    line[n] = '\0';
    pos += n;
    return pos == end ? nullptr : pos;
}

LineKind ClassifyLine(const char* line, MeasureRecord& record)
{
    const size_t len = std::strlen(line);
    if (len > 10 && line[0] == '2' && line[1] == '0' && line[4] == '-' && line[10] == ',') return DatedPoint;
    if (len > 37 && line[14] == ',' && line[25] == ',' && line[36] == '\r' && line[37] == '\n') return StampedPoint;
    if (IsRmcLine(line)) return RmcSentence;
    if (IsSummaryLine(line)) {
        ReadSummary(line, record);
        return Summary;
    }
    return Other;
}

bool ParsePointLine(const char* line, LineKind kind, TrackPoint& point)
{
    switch (kind) {
    case DatedPoint: return ParseDated(line, point);
    case StampedPoint: return ParseStamped(line, point);
    case RmcSentence: return ParseRmc(line, point);
    default: return false;
    }
}

int ParseNameTime(const char* path, MeasureRecord& record)
{
    for (const bool gbk : {true, false}) {
        const Word* marks[] = {&kYearMark, &kMonthMark, &kDayMark, &kHourMark, &kMinuteMark, &kSecondMark};
        const char* at[6];
        bool all = true;
        for (int i = 0; i < 6 && all; ++i) {
            at[i] = FindLast(path, gbk ? marks[i]->gbk : marks[i]->utf8);
            all = at[i] != nullptr;
        }
        if (!all) continue;
        const size_t markLength = gbk ? 2 : 3;
        // The year is the number that begins four bytes before its mark, when the path has them.
        record.year = at[0] - path >= 4 ? LeadingInt(at[0] - 4) : 0;
        record.month = LeadingInt(at[0] + markLength);
        record.day = LeadingInt(at[1] + markLength);
        record.hour = LeadingInt(at[2] + markLength);
        record.minute = LeadingInt(at[3] + markLength);
        record.second = LeadingInt(at[4] + markLength);
        return 0;
    }

    if (Contains(path, "TRACK-") && Contains(path, "_20")) {
        int year = 0, month = 0, day = 0, hhmmss = 0;
        const char* p = ScanInt(FindLast(path, "_20") + 1, &year);
        p = ScanInt(Expect(p, '-'), &month);
        p = ScanInt(Expect(p, '-'), &day);
        ScanInt(Expect(p, ' '), &hhmmss);
        record.year = year;
        record.month = month;
        record.day = day;
        record.second = hhmmss % 100;
        record.minute = (hhmmss / 100) % 100;
        record.hour = (hhmmss / 10000) % 100;
        return 1;
    }
    return -1;
}

bool CheckFileName(const char* path, MeasureRecord& record)
{
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* sep = slash > backslash ? slash : backslash;
    if (!sep) return false;
    const char* name = sep + 1;
    if (!Contains(name, ".nmea")) return false;

    if (ContainsWord(name, kVehicleWord) || Contains(name, "CAR") || Contains(name, "car") || Contains(name, "Car"))
        record.type = Vehicle;
    else if (Contains(name, "DISTANCE") || ContainsWord(name, kDistanceWord))
        record.type = Distance;
    else
        record.type = Area;

    if (ParseNameTime(path, record) >= 0) record.nameKey = uint8_t((record.minute ^ record.hour) & 0xFF);
    return true;
}

int LoadRecordFile(const char* path, MeasureRecord& record, LoadFailure* why)
{
    auto fail = [why](LoadFailure f) {
        if (why) *why = f;
        return -1;
    };
    std::memset(&record, 0, sizeof record);
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

    CompleteRecord(record);
    if (why) *why = LoadFailure::None;
    return 0;
}
