// The nearest named place: the built-in GeoNames table searched by latitude band, and its text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "geo/place.h"
#include "geo/placetable.h"

namespace {

TEST(NearestPlace, FieldNearZhengzhouIsNamedInChinese)
{
    Place p{};
    ASSERT_EQ(NearestPlace(34.80, 113.70, &p), 0);
    EXPECT_STREQ(p.name, "郑州市");
    EXPECT_STREQ(p.province, "河南省");
    EXPECT_STREQ(p.country, "中国");
    EXPECT_GT(p.distance, 3000.0);
    EXPECT_LT(p.distance, 10000.0);
    char text[128];
    ASSERT_EQ(FormatPlace(p, text, sizeof text), 0);
    EXPECT_EQ(std::string(text).rfind("河南省 郑州市 附近 ", 0), 0u) << text;
    EXPECT_NE(std::strstr(text, " 公里"), nullptr) << text;
}

TEST(NearestPlace, ProvincesCarryTheirKind)
{
    // The catalogue names some provinces bare ("河南", "上海"); the table completes them.
    const struct {
        double lat, lon;
        const char* province;
    } cases[] = {{31.23, 121.47, "上海市"}, {43.82, 87.61, "新疆维吾尔自治区"}, {28.2, 112.97, "湖南省"}};
    for (const auto& c : cases) {
        Place p{};
        ASSERT_EQ(NearestPlace(c.lat, c.lon, &p), 0);
        EXPECT_STREQ(p.province, c.province) << p.name;
    }
}

TEST(NearestPlace, SeaGetsACoastPlaceOrNoneAndNonsenseNone)
{
    Place p{};
    // Bohai Sea, about 60 km from the coast: some coastal town, within the search radius.
    ASSERT_EQ(NearestPlace(38.7, 120.0, &p), 0);
    EXPECT_LE(p.distance, PlaceSearchRadius);
    EXPECT_STREQ(p.country, "中国");
    // Mid-Pacific: nothing is near.
    EXPECT_EQ(NearestPlace(0.0, -150.0, &p), -1);
    EXPECT_EQ(NearestPlace(NAN, 113.0, &p), -1);
    EXPECT_EQ(NearestPlace(34.0, INFINITY, &p), -1);
    EXPECT_EQ(NearestPlace(91.0, 0.0, &p), -1);
}

TEST(NearestPlace, LooksAcrossTheAntimeridian)
{
    Place p{};
    ASSERT_EQ(NearestPlace(-16.4, -179.9, &p), 0);
    EXPECT_GT(p.lon, 179.0);
    EXPECT_LT(p.distance, 100000.0);
}

TEST(NearestPlace, AgreesWithAFullScan)
{
    std::mt19937 random(15);
    std::uniform_real_distribution<double> lat(-60.0, 75.0), lon(-180.0, 180.0);
    for (int k = 0; k < 300; ++k) {
        const double a = lat(random), b = lon(random);
        double best = PlaceSearchRadius;
        int bestIndex = -1;
        for (int i = 0; i < kPlaceEntryCount; ++i) {
            const PlaceEntry& e = kPlaceEntries[i];
            const double d = 2.0 * 6371008.8 * std::asin(std::sqrt(std::min(1.0,
                std::pow(std::sin((e.lat * 1e-6 - a) * M_PI / 360.0), 2) +
                std::cos(a * M_PI / 180.0) * std::cos(e.lat * 1e-6 * M_PI / 180.0) *
                std::pow(std::sin((e.lon * 1e-6 - b) * M_PI / 360.0), 2))));
            if (d <= best) best = d, bestIndex = i;
        }
        Place p{};
        const int rc = NearestPlace(a, b, &p);
        if (bestIndex < 0) {
            EXPECT_EQ(rc, -1) << a << "," << b;
            continue;
        }
        ASSERT_EQ(rc, 0) << a << "," << b;
        EXPECT_NEAR(p.distance, best, 1e-3) << a << "," << b;
    }
}

struct FormatCase {
    double distance;
    const char* province;
    const char* country;
    const char* text;
};

class PlaceText : public testing::TestWithParam<FormatCase> {};

TEST_P(PlaceText, RoundsTheDistanceSensibly)
{
    const FormatCase& c = GetParam();
    const Place p{"某地", c.province, c.country, 0.0, 0.0, c.distance};
    char text[128];
    ASSERT_EQ(FormatPlace(p, text, sizeof text), 0);
    EXPECT_STREQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Distances, PlaceText, testing::Values(
    FormatCase{0.0, "河南省", "中国", "河南省 某地 附近 0 米"},
    FormatCase{994.0, "河南省", "中国", "河南省 某地 附近 990 米"},
    FormatCase{995.0, "河南省", "中国", "河南省 某地 附近 1.0 公里"},
    FormatCase{6449.0, "河南省", "中国", "河南省 某地 附近 6.4 公里"},
    FormatCase{9949.0, "河南省", "中国", "河南省 某地 附近 9.9 公里"},
    FormatCase{9950.0, "河南省", "中国", "河南省 某地 附近 10 公里"},
    FormatCase{123456.0, "", "中国", "某地 附近 123 公里"},
    FormatCase{2500.0, "東京都", "日本", "日本 東京都 某地 附近 2.5 公里"}));

TEST(PlaceText, TooSmallABufferIsRefused)
{
    const Place p{"郑州市", "河南省", "中国", 0.0, 0.0, 6400.0};
    char text[12];
    EXPECT_EQ(FormatPlace(p, text, sizeof text), -1);
}

}  // namespace
