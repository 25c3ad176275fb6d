#include "import/record_time.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

struct Fields {
    int year, month, day, hour, minute, second;
};

Fields FieldsOfStamp(uint64_t stamp)
{
    return {int(stamp / 10000000000u % 100000), int(stamp / 100000000 % 100), int(stamp / 1000000 % 100),
            int(stamp / 10000 % 100), int(stamp / 100 % 100), int(stamp % 100)};
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool IsDateAndTime(const Fields& f)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.year < 1900 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1) return false;
    const int days = kDays[f.month - 1] + (f.month == 2 && IsLeap(f.year) ? 1 : 0);
    return f.day <= days && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 &&
           f.second <= 60;
}

std::tm TmOf(const Fields& f)
{
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    return tm;
}

CivilTime CivilOf(const std::tm& tm)
{
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(tm.tm_gmtoff)};
}

// Local fields as given, with the offset the system's zone has at that time.
bool LocalTime(const Fields& f, CivilTime& out)
{
    if (!IsDateAndTime(f)) return false;
    std::tm tm = TmOf(f);
    const std::time_t t = std::mktime(&tm);
    std::tm local{};
    if (!localtime_r(&t, &local)) return false;
    out = {f.year, f.month, f.day, f.hour, f.minute, f.second, int(local.tm_gmtoff)};
    return true;
}

}  // namespace

bool LocalStampTime(uint64_t stamp, bool utc, CivilTime& out)
{
    const Fields f = FieldsOfStamp(stamp);
    if (!utc) return LocalTime(f, out);
    if (!IsDateAndTime(f)) return false;
    std::tm tm = TmOf(f);
    tm.tm_isdst = 0;
    const std::time_t t = timegm(&tm);
    std::tm local{};
    if (!localtime_r(&t, &local)) return false;
    out = CivilOf(local);
    return true;
}

bool RecordTime(const MeasureRecord& r, CivilTime& out)
{
    return LocalTime({r.year, r.month, r.day, r.hour, r.minute, r.second}, out);
}

bool PointTime(const MeasureRecord& r, int i, CivilTime& out)
{
    return LocalStampTime(r.points[i].stamp, r.stampsUtc != 0, out);
}

CivilTime InUtc(const CivilTime& time)
{
    std::tm tm = TmOf({time.year, time.month, time.day, time.hour, time.minute, time.second});
    tm.tm_isdst = 0;
    const std::time_t t = timegm(&tm) - time.utcOffset;
    std::tm utc{};
    gmtime_r(&t, &utc);
    return {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, 0};
}

std::string Iso8601(const CivilTime& t)
{
    char text[40];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                          t.minute, t.second);
    if (t.utcOffset == 0) {
        std::snprintf(text + n, sizeof text - size_t(n), "Z");
    } else {
        const int minutes = std::abs(t.utcOffset) / 60;
        std::snprintf(text + n, sizeof text - size_t(n), "%c%02d:%02d", t.utcOffset < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
    }
    return text;
}
