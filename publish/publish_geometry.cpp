#include "publish/publish_geometry.h"

#include <charconv>

#include "import/record_time.h"

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
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return t.year >= 1900 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= kDays[t.month - 1] &&
           t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

// Seconds since 1970 on the stamp's own clock (UTC or local).
long long StampSeconds(const StampTime& t)
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
    CivilTime first{};
    if (!PointTime(record, 0, first)) return "";
    // One offset for the record: a measurement does not cross a change of the clocks.
    const long offset = record.stampsUtc ? 0 : first.utcOffset;
    std::string wkt = "LINESTRING M(";
    wkt.reserve(size_t(count) * 52 + 16);
    for (int i = 0; i < count; ++i) {
        StampTime t{};
        if (!ReadStamp(record.points[i].stamp, t)) return "";
        if (i) wkt += ',';
        PutPosition(wkt, record.points[i]);
        wkt += ' ';
        PutNumber(wkt, double(StampSeconds(t) - offset));
    }
    return wkt + ")";
}

std::string RecordTimeText(const MeasureRecord& record)
{
    CivilTime time{};
    return RecordTime(record, time) ? Iso8601(time) : "";
}
