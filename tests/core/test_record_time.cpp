// Times with their zone: an RMC stamp is UTC and shown in the local time it was measured at;
// dated lines and names are local already; names read the same however their bytes are encoded.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "import/loader.h"
#include "import/name_text.h"
#include "import/record_time.h"
#include "tests/support/testsupport.h"

namespace {

const std::string kSamples = VARNEL_TEST_DATA "/../../samples/";

struct LoadedTimeCase {
    const char* zone;
    const char* file;  // a sample, or "" for the dated-line file the test writes
    const char* recordTime;  // ISO 8601 as the files write it
    const char* firstPointUtc;
};

void PrintTo(const LoadedTimeCase& c, std::ostream* out) { *out << c.zone << " " << c.file; }

class LoadedTime : public testing::TestWithParam<LoadedTimeCase> {};

TEST_P(LoadedTime, RecordAndPointTimesCarryTheirZone)
{
    const LoadedTimeCase& c = GetParam();
    const ScopedTimeZone zone(c.zone);
    const ScratchFolder scratch("varnel-time");
    // Dated lines, no time in the name: the instrument's own clock, local.
    const std::string path = *c.file ? kSamples + c.file
                                     : scratch.Write("dated.nmea", "2026-04-15,09:05:12,34.8305,113.5481\r\n"
                                                                   "2026-04-15,09:05:13,34.8306,113.5482\r\n");
    auto r = std::make_unique<MeasureRecord>();
    ASSERT_EQ(LoadRecordFile(path.c_str(), *r), 0);
    CivilTime t{};
    ASSERT_TRUE(RecordTime(*r, t));
    EXPECT_EQ(Iso8601(t), c.recordTime);
    ASSERT_TRUE(PointTime(*r, 0, t));
    EXPECT_EQ(Iso8601(InUtc(t)), c.firstPointUtc);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, LoadedTime,
    testing::Values(
        // RMC fixes, no time in the name: the list shows the local time of the first fix.
        LoadedTimeCase{"Asia/Shanghai", "GNSS_0005.nmea", "2026-04-15T09:05:12+08:00", "2026-04-15T01:05:12Z"},
        LoadedTimeCase{"UTC", "GNSS_0005.nmea", "2026-04-15T01:05:12Z", "2026-04-15T01:05:12Z"},
        // The name's time is local, whatever the zone; the fixes stay UTC.
        LoadedTimeCase{"Asia/Shanghai", "TRACK-0001_2026-04-11 102030.nmea", "2026-04-11T10:20:30+08:00",
                       "2026-04-11T02:20:30Z"},
        LoadedTimeCase{"UTC", "TRACK-0001_2026-04-11 102030.nmea", "2026-04-11T10:20:30Z", "2026-04-11T02:20:30Z"},
        LoadedTimeCase{"Asia/Shanghai", "", "2026-04-15T09:05:12+08:00", "2026-04-15T01:05:12Z"},
        LoadedTimeCase{"UTC", "", "2026-04-15T09:05:12Z", "2026-04-15T09:05:12Z"}));

TEST(StampTime, OnlyRealDatesAndTimesRead)
{
    const ScopedTimeZone zone("Asia/Shanghai");
    const struct {
        uint64_t stamp;
        bool utc;
        const char* expected;  // "" when the stamp is no date and time
    } cases[] = {
        {20260415010512u, true, "2026-04-15T09:05:12+08:00"},
        {20261231200000u, true, "2027-01-01T04:00:00+08:00"},  // across the year's end
        {20240229120000u, false, "2024-02-29T12:00:00+08:00"},
        {20260229120000u, false, ""},  // no 29 February in 2026
        {20261301000000u, false, ""},
        {20260415240000u, true, ""},
        {1u, false, ""},  // a numbered line's counter
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        CivilTime t{};
        const bool read = LocalStampTime(c.stamp, c.utc, t);
        EXPECT_EQ(read, *c.expected != '\0');
        if (read) {
            EXPECT_EQ(Iso8601(t), c.expected);
        }
    }
    // West of Greenwich the offset is negative.
    const ScopedTimeZone west("America/New_York");
    CivilTime t{};
    ASSERT_TRUE(LocalStampTime(20260115170000u, true, t));
    EXPECT_EQ(Iso8601(t), "2026-01-15T12:00:00-05:00");
}

TEST(NameText, EveryNameReadsOneWay)
{
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"TRACK-0001.nmea", "TRACK-0001.nmea"},
        {"\xE6\xB5\x8B\xE9\x87\x8F.nmea", "测量.nmea"},             // UTF-8
        {"\xB2\xE2\xC1\xBF" "2018.nmea", "测量2018.nmea"},          // GBK, the instrument's
        {"\xFF\xFE.nmea", "\\xff\\xfe.nmea"},                       // neither: written out
        {"\xE6\xB5\x8B\xFF.nmea", "测\\xff.nmea"},                  // UTF-8 cut by a stray byte
        {"\xED\xA0\x80.nmea", "\\xed\\xa0\\x80.nmea"},              // an encoded surrogate is no UTF-8
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NameText(c.bytes), c.text);
        EXPECT_TRUE(IsValidUtf8(NameText(c.bytes)));
    }
}

}  // namespace
