#include "publish/publish_geometry.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

void PutNumber(std::string& out, double v)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    out.append(text, result.ptr);
}

void PutPosition(std::string& out, const TrackPoint& p)
{
    PutNumber(out, p.lon);
    out += ' ';
    PutNumber(out, p.lat);
}

bool ValidDate(int year, int month, int day, int hour, int minute, int second)
{
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1] &&
           hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The system time zone's offset east of UTC, in seconds, at that local time.
long LocalOffset(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
    local.tm_hour = hour, local.tm_min = minute, local.tm_sec = second, local.tm_isdst = -1;
    if (std::mktime(&local) == std::time_t(-1)) return 0;
    return local.tm_gmtoff;
}

struct StampTime {
    int year, month, day, hour, minute, second;
};

bool ReadStamp(uint64_t stamp, StampTime& t)
{
    t.second = int(stamp % 100), stamp /= 100;
    t.minute = int(stamp % 100), stamp /= 100;
    t.hour = int(stamp % 100), stamp /= 100;
    t.day = int(stamp % 100), stamp /= 100;
    t.month = int(stamp % 100), stamp /= 100;
    if (stamp > 9999) return false;
    t.year = int(stamp);
    return ValidDate(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

long long LocalSeconds(const StampTime& t)
{
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

std::string RecordGeometryWkt(const MeasureRecord& record)
{
    const int count = record.pointCount < 0 ? 0 : record.pointCount > MaxPointCount ? MaxPointCount : record.pointCount;
    if (count == 0) return "";
    std::string wkt;
    wkt.reserve(size_t(count) * 40 + 32);
    if (count == 1) {
        wkt = "POINT(";
        PutPosition(wkt, record.points[0]);
        return wkt + ")";
    }
    const bool polygon = record.type != Vehicle && record.type != Distance && count >= 3;
    wkt = polygon ? "POLYGON((" : "LINESTRING(";
    for (int i = 0; i < count; ++i) {
        if (i) wkt += ',';
        PutPosition(wkt, record.points[i]);
    }
    if (polygon) {
        wkt += ',';
        PutPosition(wkt, record.points[0]);
        wkt += ')';
    }
    return wkt + ")";
}

std::string RecordTrackWkt(const MeasureRecord& record)
{
    const int count = record.pointCount < 0 ? 0 : record.pointCount > MaxPointCount ? MaxPointCount : record.pointCount;
    if (count < 2) return "";
    StampTime first{};
    if (!ReadStamp(record.points[0].stamp, first)) return "";
    // One offset for the record: a measurement does not cross a change of the clocks.
    const long offset = LocalOffset(first.year, first.month, first.day, first.hour, first.minute, first.second);
    std::string wkt = "LINESTRING M(";
    wkt.reserve(size_t(count) * 52 + 16);
    for (int i = 0; i < count; ++i) {
        StampTime t{};
        if (!ReadStamp(record.points[i].stamp, t)) return "";
        if (i) wkt += ',';
        PutPosition(wkt, record.points[i]);
        wkt += ' ';
        PutNumber(wkt, double(LocalSeconds(t) - offset));
    }
    return wkt + ")";
}

std::string RecordTimeText(const MeasureRecord& r)
{
    if (!ValidDate(r.year, r.month, r.day, r.hour, r.minute, r.second)) return "";
    const long offset = LocalOffset(r.year, r.month, r.day, r.hour, r.minute, r.second);
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d%c%02ld:%02ld", r.year, r.month, r.day, r.hour,
                  r.minute, r.second, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}
