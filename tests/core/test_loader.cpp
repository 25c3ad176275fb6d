// The record file loader: names, lines, summaries and whole files, good and bad.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geo/area.h"
#include "geo/datum.h"
#include "import/loader.h"
#include "import/log.h"
#include "tests/support/testsupport.h"

namespace {

using Record = std::unique_ptr<MeasureRecord>;

Record NewRecord()
{
    return std::make_unique<MeasureRecord>();
}

// GBK and UTF-8 spellings of the words record files and names use.
const std::string kGbkArea = "\xC3\xE6\xBB\xFD";             // 面积
const std::string kGbkSquareMetres = "\xC6\xBD\xB7\xBD\xC3\xD7";  // 平方米
const std::string kGbkMu = "\xC4\xB6";                       // 亩
const std::string kGbkPerimeter = "\xD6\xDC\xB3\xA4";        // 周长
const std::string kGbkStraight = "\xD6\xB1\xCF\xDF";         // 直线
const std::string kGbkDistance = "\xBE\xE0\xC0\xEB";         // 距离
const std::string kGbkVehicle = "\xB3\xB5";                  // 车

std::string GbkTime(const char* y, const char* mo, const char* d, const char* h, const char* mi, const char* s)
{
    return std::string(y) + "\xC4\xEA" + mo + "\xD4\xC2" + d + "\xC8\xD5" + h + "\xCA\xB1" + mi + "\xB7\xD6" + s +
           "\xC3\xEB";
}

std::string Dated(int second, double lat, double lon, const char* end = "\r\n")
{
    char line[96];
    std::snprintf(line, sizeof line, "2018-04-11,10:20:%02d,%.7f,%.7f%s", second, lat, lon, end);
    return line;
}

// ---------------------------------------------------------------- names

struct NameCase {
    const char* what;
    std::string path;
    bool accepted;
    int type;
    int year, month, day, hour, minute, second;
    int nameKey;
};

class FileName : public testing::TestWithParam<NameCase> {};

TEST_P(FileName, TypeTimeAndKey)
{
    const auto& c = GetParam();
    auto r = NewRecord();
    ASSERT_EQ(CheckFileName(c.path.c_str(), *r), c.accepted) << c.what;
    if (!c.accepted) return;
    EXPECT_EQ(r->type, c.type) << c.what;
    EXPECT_EQ(r->year, c.year) << c.what;
    EXPECT_EQ(r->month, c.month) << c.what;
    EXPECT_EQ(r->day, c.day) << c.what;
    EXPECT_EQ(r->hour, c.hour) << c.what;
    EXPECT_EQ(r->minute, c.minute) << c.what;
    EXPECT_EQ(r->second, c.second) << c.what;
    EXPECT_EQ(r->nameKey, c.nameKey) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileName,
    testing::Values(
        NameCase{"track form, backslashes", "D:\\data\\TRACK-0003_2018-04-11 102030.nmea", true, Area, 2018, 4, 11, 10, 20, 30, 30},
        NameCase{"track form, slashes", "/media/gps/TRACK-0003_2018-04-11 102030.nmea", true, Area, 2018, 4, 11, 10, 20, 30, 30},
        NameCase{"Chinese form UTF-8", "/d/2018年04月11日10时20分30秒.nmea", true, Area, 2018, 4, 11, 10, 20, 30, 30},
        NameCase{"Chinese form GBK with distance", "/d/" + GbkTime("2018", "04", "11", "10", "20", "30") + kGbkDistance + ".nmea",
                 true, Distance, 2018, 4, 11, 10, 20, 30, 30},
        NameCase{"hour equal to minute: no name time", "/d/2018年04月11日10时10分05秒.nmea", true, Area, 2018, 4, 11, 10, 10, 5, 0},
        NameCase{"vehicle beats distance", "/d/车DISTANCE.nmea", true, Vehicle, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"GBK vehicle", "/d/" + kGbkVehicle + "1.nmea", true, Vehicle, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"CAR with distance", "/d/CAR-距离.nmea", true, Vehicle, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"car", "/d/my car.nmea", true, Vehicle, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"Car", "/d/Car.nmea", true, Vehicle, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"distance without time", "/d/DISTANCE-1.nmea", true, Distance, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"UTF-8 distance", "/d/距离.nmea", true, Distance, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"not .nmea", "/d/track.txt", false, 0, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"case-sensitive extension", "/d/A.NMEA", false, 0, 0, 0, 0, 0, 0, 0, 0},
        NameCase{".nmea only in the folder", "/d.nmea/x.txt", false, 0, 0, 0, 0, 0, 0, 0, 0},
        NameCase{"no separator", "x.nmea", false, 0, 0, 0, 0, 0, 0, 0, 0}));

TEST(NameTime, ReadsNothingBeforeThePathStarts)
{
    auto r = NewRecord();
    EXPECT_EQ(ParseNameTime("18年1月2日3时4分5秒", *r), 0);
    EXPECT_EQ(r->year, 0);  // the year would begin before the text
    EXPECT_EQ(r->month, 1);
    EXPECT_EQ(r->second, 5);
    EXPECT_EQ(ParseNameTime("/d/TRACK-1_20x.nmea", *r), 1);  // parts that do not scan are 0
    EXPECT_EQ(r->year, 20);
    EXPECT_EQ(r->month, 0);
    EXPECT_EQ(ParseNameTime("/d/plain.nmea", *r), -1);
}

TEST(FindLast, LastOccurrence)
{
    const char* text = "abcabc";
    EXPECT_EQ(FindLast(text, "bc"), text + 4);
    EXPECT_EQ(FindLast(text, ""), text);
    EXPECT_EQ(FindLast(text, "abcabcd"), nullptr);
    EXPECT_EQ(FindLast(text, "x"), nullptr);
}

// ---------------------------------------------------------------- lines

TEST(ReadLine, TerminatorRunsAndLongLines)
{
    struct Case {
        const char* what;
        std::string data;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF", "a\r\nb\r\n", {"a\r\n", "b\r\n"}},
        {"no final line end", "a\r\nb", {"a\r\n", "b"}},
        {"CR only", "a\rb\r", {"a\r", "b\r"}},
        {"LF CR and blank lines merge", "a\n\r\n\nb\n", {"a\n\r\n\n", "b\n"}},
        {"empty", "", {""}},
        {"300-byte line", std::string(298, 'x') + "\r\n", {std::string(255, 'x'), std::string(43, 'x') + "\r\n"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        char line[LineCapacity];
        const char* pos = c.data.data();
        const char* end = pos + c.data.size();
        for (;;) {
            const char* next = ReadLine(line, LineCapacity, pos, end);
            lines.emplace_back(line);
            if (!next) break;
            pos = next;
        }
        EXPECT_EQ(lines, c.lines) << c.what;
    }
}

struct LineCase {
    const char* what;
    std::string line;
    LineKind kind;
    bool point;
    double lat, lon;
    uint64_t stamp;
};

class PointLine : public testing::TestWithParam<LineCase> {};

TEST_P(PointLine, KindAndValues)
{
    const auto& c = GetParam();
    auto r = NewRecord();
    const LineKind kind = ClassifyLine(c.line.c_str(), *r);
    ASSERT_EQ(kind, c.kind) << c.what;
    TrackPoint p{-1.0, -1.0, 7};
    ASSERT_EQ(ParsePointLine(c.line.c_str(), kind, p), c.point) << c.what;
    if (!c.point) {
        EXPECT_EQ(p.stamp, 7u) << c.what << ": a refused line leaves the point alone";
        return;
    }
    EXPECT_NEAR(p.lat, c.lat, 1e-12) << c.what;
    EXPECT_NEAR(p.lon, c.lon, 1e-12) << c.what;
    EXPECT_EQ(p.stamp, c.stamp) << c.what;
}

const double kRmcLat = 22.0 + 32.5 / 60.0;
const std::string kRmc = "$GPRMC,102030.00,A,2232.5000,N,11354.0000,E,0.0,0.0,110418,,,A*00\r\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, PointLine,
    testing::Values(
        LineCase{"dated", "2018-04-11,10:20:30,22.5431234,113.9123456\r\n", DatedPoint, true, 22.5431234, 113.9123456, 20180411102030u},
        LineCase{"dated without line end", "2018-04-11,10:20:30,22.5,113.9", DatedPoint, true, 22.5, 113.9, 20180411102030u},
        LineCase{"dated in 1999", "1999-04-11,10:20:30,22.5431234,113.9123456\r\n", Other, false, 0, 0, 0},
        LineCase{"dated, negative", "2018-04-11,10:20:30,-33.5,-70.25\n", DatedPoint, true, -33.5, -70.25, 20180411102030u},
        LineCase{"dated, nan", "2018-04-11,10:20:30,nan,113.9\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, inf", "2018-04-11,10:20:30,22.5,inf\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, 1e999", "2018-04-11,10:20:30,1e999,113.9\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, hexadecimal", "2018-04-11,10:20:30,0x1p3,113.9\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, latitude 91", "2018-04-11,10:20:30,91,113.9\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, -0", "2018-04-11,10:20:30,-0,113.9\r\n", DatedPoint, true, 0, 113.9, 20180411102030u},
        LineCase{"dated, longitude missing", "2018-04-11,10:20:30,22.5\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"dated, hour beyond 32 bits", "2018-04-11,99999999999:20:30,22.5,113.9\r\n", DatedPoint, false, 0, 0, 0},
        LineCase{"numbered", "00000000000001,22.5431234,113.912345\r\n", StampedPoint, true, 22.5431234, 113.912345, 1u},
        LineCase{"numbered, LF only", "00000000000001,22.5431234,113.912345\n", Other, false, 0, 0, 0},
        LineCase{"numbered, negative stamp", "-0000000000001,22.5431234,113.912345\r\n", StampedPoint, true, 22.5431234, 113.912345, UINT64_MAX},
        LineCase{"numbered, stamp too large", "99999999999999999999999,2.5,113.9\r\n"
                                              "              ",
                 Other, false, 0, 0, 0},
        LineCase{"RMC", kRmc, RmcSentence, true, kRmcLat, 113.9, 20180411102030u},
        LineCase{"RMC south west", "$GPRMC,102030.00,A,2232.5000,S,11354.0000,W,0.0,0.0,110418,,,A*00\r\n", RmcSentence, true, -kRmcLat, -113.9, 20180411102030u},
        LineCase{"GNRMC", "$GNRMC,102030.99,A,2232.5000,N,11354.0000,E,,,110418,,,A*7F\n", RmcSentence, true, kRmcLat, 113.9, 20180411102030u},
        LineCase{"BDRMC, no mode field", "$BDRMC,102030,A,2232.5,N,11354.0,E,0.0,0.0,110418,,*3C", RmcSentence, true, kRmcLat, 113.9, 20180411102030u},
        LineCase{"RMC without fix", "$GPRMC,102030.00,V,2232.5000,N,11354.0000,E,0.0,0.0,110418,,,N*00\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC cut off", "$GPRMC,102030.00,A,2232.5000,N,11354.0000,E,0.0,0.0,1104", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC without checksum", "$GPRMC,102030.00,A,2232.5000,N,11354.0000,E,0.0,0.0,110418,,,A\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC every field empty", "$GPRMC,,,,,,,,,,,*00\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC empty latitude", "$GPRMC,102030.00,A,,N,11354.0000,E,0.0,0.0,110418,,,A*00\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC five-digit date", "$GPRMC,102030.00,A,2232.5000,N,11354.0000,E,0.0,0.0,11041,,,A*00\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"RMC header twice", "$GPRMC,102030.00,A,2232.5000,N,$GPRMC,11354.0000,E,0.0,0.0,110418,,,A*00\r\n", Other, false, 0, 0, 0},
        LineCase{"RMC after a blank", " " + kRmc, Other, false, 0, 0, 0},
        LineCase{"RMC latitude beyond 90", "$GPRMC,102030.00,A,9132.5000,N,11354.0000,E,0.0,0.0,110418,,,A*00\r\n", RmcSentence, false, 0, 0, 0},
        LineCase{"other sentence", "$GPGGA,102030.00,2232.5000,N,11354.0000,E,1,08,0.9,10.0,M,,M,,*00\r\n", Other, false, 0, 0, 0},
        LineCase{"NUL inside the line", std::string("2018-04-11,10:20:30,22.5\0,113.9\r\n", 32), DatedPoint, false, 0, 0, 0}));

struct SummaryCase {
    const char* what;
    std::string line;
    double area, areaMu, curve, straight;  // −1: unchanged
    int stated;  // StatedFigure bits: what the line stated, and under which name
};

class SummaryLine : public testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryLine, StoresWhatReads)
{
    const auto& c = GetParam();
    auto r = NewRecord();
    r->area = r->areaMu = r->curveLength = r->straightLength = -1.0;
    EXPECT_EQ(ClassifyLine(c.line.c_str(), *r), Summary) << c.what;
    EXPECT_EQ(r->area, c.area) << c.what;
    EXPECT_EQ(r->areaMu, c.areaMu) << c.what;
    EXPECT_EQ(r->curveLength, c.curve) << c.what;
    EXPECT_EQ(r->straightLength, c.straight) << c.what;
    EXPECT_EQ(r->statedFigures, c.stated) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SummaryLine,
    testing::Values(
        SummaryCase{"GBK area", kGbkArea + ": 1234.5" + kGbkSquareMetres + "(1.85" + kGbkMu + ")\r\n", 1234.5, 1.85, -1, -1, StatedArea},
        SummaryCase{"UTF-8 area", "面积: 1234.5平方米(1.85亩)\n", 1234.5, 1.85, -1, -1, StatedArea},
        SummaryCase{"GBK perimeter", kGbkPerimeter + ": 456.7\r\n", -1, -1, 456.7, -1, StatedPerimeter},
        SummaryCase{"UTF-8 curve", "曲线: 12.25米\r\n", -1, -1, 12.25, -1, StatedCurve},
        SummaryCase{"GBK straight", kGbkStraight + ":  7.5\r\n", -1, -1, -1, 7.5, StatedStraight},
        SummaryCase{"area label without colon", kGbkArea + "1234.5\r\n", -1, -1, -1, -1, 0},
        SummaryCase{"area without square metres", "面积: 99\r\n", 99, -1, -1, -1, StatedArea},
        SummaryCase{"area, no number", "面积: abc\r\n", 0, -1, -1, -1, StatedArea},
        SummaryCase{"area, 1e999", "面积: 1e999平方米(2)\r\n", -1, 2, -1, -1, StatedArea},
        SummaryCase{"English area", "AREA: 1234.5 SQ.M. (1.85 MU)\r\n", 1234.5, 1.85, -1, -1, StatedArea},
        SummaryCase{"English area, mu missing", "AREA: 1234.5 SQ.M.\r\n", 1234.5, -1, -1, -1, StatedArea},
        SummaryCase{"English curve", "CURVE: 12 M\r\n", -1, -1, 12, -1, StatedCurve},
        SummaryCase{"English perimeter", "PERIMETER: 99.5 M\r\n", -1, -1, 99.5, -1, StatedPerimeter},
        SummaryCase{"English line", "LINE: 7 M\r\n", -1, -1, -1, 7, StatedStraight},
        SummaryCase{"English word not first", "TOTAL AREA: 5 SQ.M. (1 MU)\r\n", -1, -1, -1, -1, 0},
        SummaryCase{"English, no number", "LINE: none\r\n", -1, -1, -1, -1, 0}));

// ---------------------------------------------------------------- whole files

TEST(LoadRecordFile, LineEndsDoNotChangeTheRecord)
{
    const ScratchFolder dir("varnel-loader");
    const std::vector<std::pair<double, double>> ring = {{22.5, 113.9}, {22.501, 113.9}, {22.501, 113.901}, {22.5, 113.901}};
    auto reference = NewRecord();
    for (const char* end : {"\r\n", "\n", "\r", "\n\r", "\r\n\r\n\n"}) {
        for (const bool finalEnd : {true, false}) {
            std::string bytes;
            for (size_t i = 0; i < ring.size(); ++i) bytes += Dated(int(i), ring[i].first, ring[i].second, end);
            if (!finalEnd) bytes.resize(bytes.size() - std::strlen(end));
            const std::string file = dir.Write("ring.nmea", bytes);
            auto r = NewRecord();
            ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
            EXPECT_EQ(r->pointCount, 4) << "line end " << testing::PrintToString(std::string(end)) << ", final " << finalEnd;
            if (reference->pointCount == 0) *reference = *r;
            EXPECT_EQ(r->calcArea, reference->calcArea);
            EXPECT_EQ(r->calcCurveLength, reference->calcCurveLength);
        }
    }
    EXPECT_NEAR(reference->calcArea, 102.7 * 111.3, 200.0);  // about 0.001° × 0.001° at 22.5°N
}

// The loader clears only what a file leaves unwritten: whatever the record held before, a load
// gives the bytes of a load into a zeroed record.
TEST(LoadRecordFile, GivesTheSameBytesWhateverTheRecordHeld)
{
    const ScratchFolder dir("varnel-loader");
    const std::string full = dir.Write("full.nmea", RecordFileText(RmcSentence));
    std::string ringText;
    for (int i = 0; i < 4; ++i) ringText += Dated(i, 22.5 + 0.001 * (i / 2), 113.9 + 0.001 * ((i + 1) / 2 % 2));
    const std::string ring = dir.Write("ring_2018-04-11 102030.nmea", ringText);

    for (const std::string& path : {ring, full}) {
        auto zeroed = NewRecord();
        ASSERT_EQ(LoadRecordFile(path.c_str(), *zeroed), 0);
        auto garbage = NewRecord();
        std::memset(static_cast<void*>(garbage.get()), 0xA5, sizeof(MeasureRecord));
        auto larger = NewRecord();
        ASSERT_EQ(LoadRecordFile(full.c_str(), *larger), 0);
        for (MeasureRecord* before : {garbage.get(), larger.get()}) {
            ASSERT_EQ(LoadRecordFile(path.c_str(), *before), 0);
            EXPECT_EQ(std::memcmp(before, zeroed.get(), sizeof(MeasureRecord)), 0) << path;
        }
    }
}

TEST(LoadRecordFile, OrdersPointsByStampKeepingFileOrderOfEqualStamps)
{
    const ScratchFolder dir("varnel-loader");
    const std::string file = dir.Write(
        "order.nmea", Dated(3, 22.3, 113.3) + Dated(1, 22.1, 113.1) + Dated(2, 22.2, 113.2) + Dated(2, 22.25, 113.25) +
                          Dated(1, 22.15, 113.15));
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
    const double expected[] = {22.1, 22.15, 22.2, 22.25, 22.3};
    ASSERT_EQ(r->pointCount, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(r->points[i].lat, expected[i]) << i;
    EXPECT_EQ(r->points[0].stamp, 20180411102001u);
    // No name time: the date and time are those of the earliest point.
    EXPECT_EQ(r->nameKey, 0);
    EXPECT_EQ(r->year, 2018);
    EXPECT_EQ(r->month, 4);
    EXPECT_EQ(r->day, 11);
    EXPECT_EQ(r->hour, 10);
    EXPECT_EQ(r->minute, 20);
    EXPECT_EQ(r->second, 1);
}

TEST(LoadRecordFile, LargeUnsortedFileSortsStably)
{
    const ScratchFolder dir("varnel-loader");
    std::string bytes;
    std::mt19937 random(7);
    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < 3599; ++i) {
        const int stamp = int(random() % 500);
        expected.emplace_back(stamp, i);
        char line[40];
        std::snprintf(line, sizeof line, "%014d,%10.6f,%10.6f\r\n", stamp, 22.0 + i * 1e-6, 113.9);
        bytes += line;
    }
    std::stable_sort(expected.begin(), expected.end(), [](auto a, auto b) { return a.first < b.first; });
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(dir.Write("big.nmea", bytes).c_str(), *r), 0);
    ASSERT_EQ(r->pointCount, 3599);
    for (int i = 0; i < 3599; ++i) {
        ASSERT_EQ(r->points[i].stamp, uint64_t(expected[i].first)) << i;
        ASSERT_NEAR(r->points[i].lat, 22.0 + expected[i].second * 1e-6, 1e-9) << i;
    }
}

TEST(LoadRecordFile, KeepsTheFirst3599PointsAndReadsNoFurther)
{
    const ScratchFolder dir("varnel-loader");
    std::string bytes;
    for (int i = 0; i < 4000; ++i) {
        bytes += Dated(i % 60, 22.5 + i * 1e-5, 113.9);
        if (i == 3599) bytes += "AREA: 5 SQ.M. (1 MU)\r\n";  // after the 3600th point line: never read
    }
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(dir.Write("many.nmea", bytes).c_str(), *r), 0);
    EXPECT_EQ(r->pointCount, 3599);
    EXPECT_EQ(r->area, r->calcArea);
    EXPECT_EQ(r->points[3599].stamp, 0u);
    EXPECT_EQ(r->points[3599].lat, 0.0);
    EXPECT_EQ(r->mapPoints[3599].lat, 0.0);
    EXPECT_EQ(r->planePoints[3599].first, 0.0);
}

TEST(LoadRecordFile, StopsReadingAHugeFileOnceFull)
{
    const ScratchFolder dir("varnel-loader");
    std::string bytes;
    for (int i = 0; i < 3599; ++i) bytes += Dated(i % 60, 22.5 + i * 1e-5, 113.9);
    const std::string file = dir.Write("huge.nmea", bytes);
    ASSERT_EQ(truncate(file.c_str(), off_t(2) << 30), 0);  // 2 GB, sparse
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
    EXPECT_EQ(r->pointCount, 3599);
}

TEST(LoadRecordFile, SplitsLongLinesAt255Bytes)
{
    const ScratchFolder dir("varnel-loader");
    // The part after the first 255 bytes is a point line of its own.
    const std::string file = dir.Write("long.nmea", std::string(255, 'x') + Dated(1, 22.5, 113.9));
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
    EXPECT_EQ(r->pointCount, 1);
}

TEST(LoadRecordFile, StatedResultsWinOverComputedOnes)
{
    const ScratchFolder dir("varnel-loader");
    const std::string points = Dated(1, 22.5, 113.9) + Dated(2, 22.501, 113.9) + Dated(3, 22.501, 113.901);
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(dir.Write("stated.nmea", points + "AREA: 1234.5 SQ.M. (1.85 MU)\r\n").c_str(), *r), 0);
    EXPECT_EQ(r->area, 1234.5);
    EXPECT_EQ(r->areaMu, 1.85);
    EXPECT_EQ(r->curveLength, 0.0);  // the file stated none; the computed one is not used
    EXPECT_EQ(r->straightLength, 0.0);
    EXPECT_GT(r->calcCurveLength, 200.0);

    ASSERT_EQ(LoadRecordFile(dir.Write("computed.nmea", points).c_str(), *r), 0);
    EXPECT_EQ(r->area, r->calcArea);
    EXPECT_EQ(r->areaMu, r->calcAreaMu);
    EXPECT_EQ(r->curveLength, r->calcCurveLength);
    EXPECT_EQ(r->straightLength, r->calcStraightLength);
    EXPECT_EQ(r->calcAreaMu, r->calcArea / SquareMetresPerMu);
}

TEST(LoadRecordFile, GbkNameAndContent)
{
    const ScratchFolder dir("varnel-loader");
    const std::string name = GbkTime("2018", "04", "11", "10", "20", "30") + kGbkDistance + ".nmea";
    const std::string content = Dated(5, 22.5, 113.9) + Dated(6, 22.51, 113.9) + kGbkPerimeter + ": 1112.5\r\n" +
                                kGbkStraight + ": 1111.9\r\n";
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(dir.Write(name, content).c_str(), *r), 0);
    EXPECT_EQ(r->type, Distance);
    EXPECT_EQ(r->nameKey, 30);
    EXPECT_EQ(r->hour, 10);
    EXPECT_EQ(r->minute, 20);
    EXPECT_EQ(r->second, 30);  // from the name, not the points
    EXPECT_EQ(r->curveLength, 1112.5);
    EXPECT_EQ(r->straightLength, 1111.9);
    EXPECT_EQ(r->area, 0.0);
}

TEST(LoadRecordFile, ExtentsAndDrawingForm)
{
    const ScratchFolder dir("varnel-loader");
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(dir.Write("e.nmea", Dated(1, 22.55, 114.05) + Dated(2, 22.56, 114.05)).c_str(), *r), 0);
    // Drawing form: {easting, −northing}.
    EXPECT_NEAR(r->planePoints[0].first, 505142.962, 0.0005);
    EXPECT_NEAR(r->planePoints[0].second, -2494705.043, 0.0005);
    EXPECT_EQ(r->minY, r->planePoints[1].second);
    EXPECT_EQ(r->maxY, r->planePoints[0].second);
    EXPECT_EQ(r->height, r->maxY - r->minY);
    EXPECT_EQ(r->extent, r->height);
    double lat = 0, lon = 0;
    WgsToBd(22.555, 114.05, &lat, &lon);
    EXPECT_NEAR(r->mapCenterLat, lat, 1e-12);
    EXPECT_NEAR(r->mapCenterLon, lon, 1e-12);
}

TEST(LoadRecordFile, OneZonePerRecordAcrossAZoneBoundary)
{
    const ScratchFolder dir("varnel-loader");
    // 115.5° is the boundary between zones 38 and 39: the field must stay about 2 km wide.
    auto r = NewRecord();
    const std::string file = dir.Write("z.nmea", Dated(1, 22.5, 115.49) + Dated(2, 22.5, 115.51) + Dated(3, 22.51, 115.51));
    ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
    EXPECT_NEAR(r->width, 2060.0, 20.0);
    const PlanePoint a = GaussKrugerForwardInZone({115.49, 22.5}, 39), b = GaussKrugerForwardInZone({115.51, 22.5}, 39);
    EXPECT_NEAR(r->planePoints[1].first - r->planePoints[0].first, b.second - a.second, 1e-6);
}

TEST(LoadRecordFile, RefusesWhatIsNoRecord)
{
    const ScratchFolder dir("varnel-loader");
    std::string binary(4096, '\0');
    std::mt19937 random(1);
    for (auto& c : binary) c = char(random());
    mkdir((dir.path() + "/folder.nmea").c_str(), 0755);
    struct Case {
        const char* what;
        std::string path;
        LoadFailure why;
    } cases[] = {
        {"summary only", dir.Write("s.nmea", "AREA: 1 SQ.M. (1 MU)\r\n面积: 2平方米(3)\r\n"), LoadFailure::NoPoints},
        {"empty", dir.Write("empty.nmea", ""), LoadFailure::NoPoints},
        {"binary", dir.Write("x.nmea", binary), LoadFailure::NoPoints},
        {"10 000 blank lines", dir.Write("blank.nmea", std::string(20000, '\n')), LoadFailure::NoPoints},
        {"only bad numbers", dir.Write("nan.nmea", Dated(1, NAN, 113.9) + Dated(2, 22.5, INFINITY)), LoadFailure::NoPoints},
        {"missing", dir.path() + "/missing.nmea", LoadFailure::CannotOpen},
        {"a folder", dir.path() + "/folder.nmea", LoadFailure::CannotOpen},
        {"name of 4000 bytes", dir.path() + "/" + std::string(4000, 'n') + ".nmea", LoadFailure::CannotOpen},
        {"path of 4096 bytes", "/" + std::string(4090, 'p') + ".nmea", LoadFailure::PathTooLong},
        {"not a record name", dir.Write("x.txt", Dated(1, 22.5, 113.9)), LoadFailure::NotRecordName},
    };
    for (const auto& c : cases) {
        auto r = NewRecord();
        LoadFailure why = LoadFailure::None;
        EXPECT_EQ(LoadRecordFile(c.path.c_str(), *r, &why), -1) << c.what;
        EXPECT_EQ(why, c.why) << c.what;
    }
}

TEST(LoadRecordFile, UnreadableFileIsLogged)
{
    const ScratchFolder dir("varnel-loader");
    std::vector<std::string> log;
    SetLogSink([](void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
               &log);
    const std::string missing = dir.path() + "/gone.nmea";
    auto r = NewRecord();
    EXPECT_EQ(LoadRecordFile(missing.c_str(), *r), -1);
    SetLogSink(nullptr, nullptr);
    EXPECT_EQ(LoadRecordFile(missing.c_str(), *r), -1);  // discarded, not crashed
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "[ERR] Open \"" + missing + "\" Failed!");
}

TEST(LoadRecordFile, RecordPathIsThePathAsGiven)
{
    const ScratchFolder dir("varnel-loader");
    const std::string file = dir.Write("p.nmea", Dated(1, 22.5, 113.9));
    auto r = NewRecord();
    std::memset(r.get(), 0x5A, sizeof *r);  // a dirty scratch record is cleared first
    ASSERT_EQ(LoadRecordFile(file.c_str(), *r), 0);
    EXPECT_STREQ(r->path, file.c_str());
    EXPECT_EQ(r->drawScale, 0.0);
    EXPECT_EQ(r->points[1].stamp, 0u);
}

// Logs from real receivers and what the loader must give for each.
// The figures agree with tests/data/independent_figures.py, which reads and measures the logs on its own.
struct RealLog {
    const char* file;
    int points;
    int year, month, day, hour, minute, second;
    double curve, straight;
};

class RealReceiverLog : public testing::TestWithParam<RealLog> {};

TEST_P(RealReceiverLog, LoadsAsExpected)
{
    const auto& c = GetParam();
    const std::string path = std::string(VARNEL_TEST_DATA) + "/real-nmea/" + c.file;
    auto r = NewRecord();
    ASSERT_EQ(LoadRecordFile(path.c_str(), *r), 0);
    EXPECT_EQ(r->pointCount, c.points);
    EXPECT_EQ(r->year, c.year);
    EXPECT_EQ(r->month, c.month);
    EXPECT_EQ(r->day, c.day);
    EXPECT_EQ(r->hour, c.hour);
    EXPECT_EQ(r->minute, c.minute);
    EXPECT_EQ(r->second, c.second);
    EXPECT_NEAR(r->calcCurveLength, c.curve, 0.005);
    EXPECT_NEAR(r->calcStraightLength, c.straight, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Logs, RealReceiverLog,
                         testing::Values(RealLog{"beidou-bd.nmea", 4, 2015, 2, 25, 7, 41, 55, 36.18, 32.12},
                                         RealLog{"beidou-gb.nmea", 2, 2015, 3, 2, 5, 32, 32, 6.32, 6.32},
                                         RealLog{"bundg_zeus_9.nmea", 146, 2018, 8, 20, 9, 47, 37, 428.28, 427.28},
                                         RealLog{"haicom-305N.nmea", 68, 2007, 4, 8, 9, 53, 4, 153.46, 38.95},
                                         RealLog{"nmea-rtk.nmea", 122, 2020, 3, 18, 13, 28, 19, 16.21, 7.45},
                                         RealLog{"quectel-l76k-nmea.nmea", 150, 2026, 8, 5, 5, 52, 34, 0.59, 0.39},
                                         RealLog{"sirfstarv-nmea.nmea", 59, 2019, 2, 5, 2, 9, 35, 1.33, 0.94},
                                         RealLog{"telit-he910.nmea", 187, 2019, 3, 12, 10, 51, 53, 9.32, 4.52},
                                         RealLog{"ublox-8.nmea", 71, 2017, 1, 10, 0, 9, 42, 17.28, 13.09},
                                         RealLog{"ublox-neo-m9n-nmea.nmea", 61, 2020, 7, 11, 22, 37, 45, 3.69, 2.41}));

}  // namespace
