// Projection, plane measures and map datum against published example values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geo/area.h"
#include "geo/datum.h"
#include "geo/geodesic.h"
#include "geo/projection.h"

namespace {

struct ProjectionCase {
    double lon, lat;
    int zone;
    double x, y;  // northing, easting as printed (3 decimals)
};

class Projection : public testing::TestWithParam<ProjectionCase> {};

TEST_P(Projection, MatchesPrintedValues)
{
    const auto& c = GetParam();
    EXPECT_EQ(GaussKrugerZone(c.lon), c.zone);
    const PlanePoint p = GaussKrugerForward({c.lon, c.lat});
    EXPECT_NEAR(p.first, c.x, 0.0005);
    EXPECT_NEAR(p.second, c.y, 0.0005);
}

INSTANTIATE_TEST_SUITE_P(Examples, Projection,
                         testing::Values(ProjectionCase{114.0, 0.0, 38, 0.000, 500000.000},
                                         ProjectionCase{114.05, 22.55, 38, 2494705.043, 505142.962},
                                         ProjectionCase{117.0, 40.0, 39, 4429529.030, 1500000.000},
                                         ProjectionCase{112.5, 22.5, 38, 2489940.655, 345643.071},
                                         ProjectionCase{115.5, 22.5, 39, 2489940.655, 1345643.071}));

TEST(ProjectionZone, TruncatesTowardZeroAndSurvivesNonsense)
{
    EXPECT_EQ(GaussKrugerZone(0.0), 1);   // central meridian 3°
    EXPECT_EQ(GaussKrugerZone(-2.0), 0);  // central meridian 0°
    EXPECT_EQ(GaussKrugerZone(115.4999), 38);
    EXPECT_EQ(GaussKrugerZone(NAN), 0);
    EXPECT_EQ(GaussKrugerZone(INFINITY), 0);
    EXPECT_EQ(GaussKrugerZone(1e300), 0);
}

TEST(ProjectionZone, GivenZoneKeepsNeighbouringPointsInOnePlane)
{
    // 115.5° projected with zone 38's meridian mirrors 112.5° about 114°.
    const PlanePoint p = GaussKrugerForwardInZone({115.5, 22.5}, 38);
    EXPECT_NEAR(p.first, 2489940.655, 0.0005);
    EXPECT_NEAR(p.second, 1000000.0 - 345643.071, 0.0005);
    const PlanePoint q = GaussKrugerForwardInZone({114.05, 22.55}, GaussKrugerZone(114.05));
    const PlanePoint r = GaussKrugerForward({114.05, 22.55});
    EXPECT_EQ(q.first, r.first);
    EXPECT_EQ(q.second, r.second);
}

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Laid out like the loader's points: the array form reads positions in place, stride apart.
struct StampedPosition {
    double lon, lat;
    uint64_t stamp;
};

// The array form gives each point exactly the one-point form's bits.
void ExpectArrayMatchesOnePoint(const std::vector<StampedPosition>& positions, int zone, const std::string& what)
{
    const int n = int(positions.size());
    std::vector<PlanePoint> out(positions.size() + 1, PlanePoint{-1.0, -1.0});
    GaussKrugerForwardInZone(&positions[0].lon, sizeof(StampedPosition), n, zone, out.data());
    for (int i = 0; i < n; ++i) {
        const PlanePoint one = GaussKrugerForwardInZone({positions[i].lon, positions[i].lat}, zone);
        ASSERT_EQ(Bits(out[i].first), Bits(one.first)) << what << ", point " << i << " of " << n;
        ASSERT_EQ(Bits(out[i].second), Bits(one.second)) << what << ", point " << i << " of " << n;
    }
    EXPECT_EQ(out[n].first, -1.0) << what << ": written past the last point";
}

TEST(ProjectionOfMany, SameBitsAsOnePointAtATime)
{
    struct Case {
        const char* what;
        std::vector<GeoPoint> points;  // {lon, lat}
        int zone;
    } cases[] = {
        {"one point", {{114.05, 22.55}}, 38},
        {"two points", {{114.05, 22.55}, {114.06, 22.56}}, 38},
        {"three points", {{114.05, 22.55}, {114.06, 22.56}, {114.07, 22.57}}, 38},
        {"equator, both zeros", {{113.0, 0.0}, {113.0, -0.0}, {114.0, -0.0}, {114.0, 0.0}, {115.0, 0.0}}, 38},
        {"near the poles", {{10.0, 89.9}, {10.0, -89.9}, {11.0, 89.9}, {12.0, -89.9}}, 4},
        {"poles and the date line", {{180.0, 90.0}, {-180.0, -90.0}, {180.0, -90.0}, {-180.0, 90.0}}, 1},
        {"zone edges", {{115.5, 22.5}, {112.5, 22.5}, {115.4999999, 40.0}, {112.5000001, 40.0}, {118.5, 40.0}}, 38},
        {"far from the central meridian", {{-179.9, 45.0}, {179.9, -45.0}, {0.0, 60.0}}, 1},
        {"latitude repeated, then changed", {{114.0, 22.5}, {114.1, 22.5}, {114.2, 22.5}, {114.2, 22.6}, {114.3, 22.6}, {114.3, 22.5}}, 38},
        {"latitudes a hair apart", {{114.0, 22.5}, {114.1, std::nextafter(22.5, 23.0)}, {114.2, 22.5 + 5e-13}}, 38},
        {"western and southern", {{-121.3, 44.07}, {-58.4, -34.6}, {-121.31, 44.07}}, -40},
    };
    for (const Case& c : cases) {
        std::vector<StampedPosition> positions;
        for (const GeoPoint& p : c.points) positions.push_back({p.lon, p.lat, 0});
        ExpectArrayMatchesOnePoint(positions, c.zone, c.what);
    }

    // A full record's worth, over block boundaries, with some latitudes repeated as receivers do;
    // every count from 1 to 40 and around 256 takes each way through the loop's ends.
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> lat(-90.0, 90.0), lon(-180.0, 180.0), step(-0.0005, 0.0005);
    std::vector<StampedPosition> world, field;
    for (int i = 0; i < 3599; ++i) {
        world.push_back({lon(random), lat(random), 0});
        const bool sameLatitude = !field.empty() && random() % 4 == 0;
        field.push_back(field.empty() ? StampedPosition{113.6, 34.8, 0}
                                      : StampedPosition{field.back().lon + step(random),
                                                        sameLatitude ? field.back().lat : field.back().lat + step(random), 0});
    }
    ExpectArrayMatchesOnePoint(world, 38, "anywhere on earth");
    ExpectArrayMatchesOnePoint(field, GaussKrugerZone(113.6), "a walked field");
    for (const size_t n : {1, 2, 3, 4, 5, 17, 40, 255, 256, 257, 258, 511, 513}) {
        ExpectArrayMatchesOnePoint(std::vector<StampedPosition>(field.begin(), field.begin() + n), 38,
                                   "the first " + std::to_string(n) + " of a field");
    }
}

TEST(DegreeMinutes, ConvertsRmcValues)
{
    EXPECT_NEAR(DegMinToDegrees(2232.5), 22.0 + 32.5 / 60.0, 1e-12);
    EXPECT_NEAR(DegMinToDegrees(11403.0), 114.05, 1e-12);
    EXPECT_EQ(DegMinToDegrees(0.0), 0.0);
    EXPECT_NEAR(DegMinToDegrees(-2232.5), -(22.0 + 32.5 / 60.0), 1e-12);  // truncation toward zero
    EXPECT_TRUE(std::isnan(DegMinToDegrees(NAN)));
}

// The degrees are trunc(trunc(v) / 100) to the bit, sign of zero included, wherever the
// conversion takes a shorter road to them.
TEST(DegreeMinutes, SameBitsAsTheTruncatingFormula)
{
    auto formula = [](double v) {
        const double d = std::trunc(std::trunc(v) / 100.0);
        return d + (v - 100.0 * d) / 60.0;
    };
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 99.999999, 100.0, -100.0, 199.99999999999997,
                                  8959.99999, 18000.0, 1099511627775.5, 1099511627776.0, -1099511627777.0,
                                  9007199254740991.0, 1e300, -1e300, INFINITY, -INFINITY};
    for (int i = 0; i < 200000; ++i) values.push_back((i % 2 ? -1 : 1) * (i * 0.0137 + i * 1e-9));
    for (int i = 0; i < 64; ++i) values.push_back(std::ldexp(1.0, i) - 1.0), values.push_back(std::ldexp(1.0, i) * 99.5);
    for (const double v : values) EXPECT_EQ(Bits(DegMinToDegrees(v)), Bits(formula(v))) << v;
}

struct RingCase {
    const char* what;
    std::vector<PlanePoint> points;
    double area, curve, straight;
};

class PlaneMeasures : public testing::TestWithParam<RingCase> {};

TEST_P(PlaneMeasures, AreaCurveAndStraight)
{
    const auto& c = GetParam();
    const auto n = uint32_t(c.points.size());
    EXPECT_DOUBLE_EQ(PolygonArea(c.points.data(), n), c.area) << c.what;
    EXPECT_DOUBLE_EQ(PolylineLength(c.points.data(), n), c.curve) << c.what;
    EXPECT_DOUBLE_EQ(n ? PlaneDistance(c.points.front(), c.points.back()) : 0.0, c.straight) << c.what;
    EXPECT_FALSE(std::signbit(PolygonArea(c.points.data(), n))) << c.what << ": no negative zero";
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PlaneMeasures,
    testing::Values(RingCase{"unit square clockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 1, 3, 1},
                    RingCase{"unit square anticlockwise", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 1, 3, 1},
                    RingCase{"collinear", {{0, 0}, {1, 1}, {2, 2}}, 0, std::sqrt(8.0), std::sqrt(8.0)},
                    RingCase{"two points", {{0, 0}, {3, 4}}, 0, 5, 5},
                    RingCase{"one point", {{7, 7}}, 0, 0, 0},
                    RingCase{"none", {}, 0, 0, 0},
                    RingCase{"3-4-5 triangle", {{0, 0}, {3, 4}, {3, 0}}, 6, 9, 3},
                    RingCase{"repeated points", {{0, 0}, {3, 4}, {3, 4}, {3, 0}, {3, 0}}, 6, 9, 3},
                    RingCase{"figure of eight", {{0, 0}, {2, 2}, {2, 0}, {0, 2}}, 0, 2 * std::sqrt(8.0) + 2, 2}));

// The walked length adds the segments one by one in path order, whatever computes them.
TEST(PlaneMeasures, WalkedLengthHasTheBitsOfTheSegmentBySegmentSum)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> step(-3.0, 3.0);
    std::vector<PlanePoint> path = {{505142.962, 2494705.043}};
    for (int i = 1; i < 3599; ++i) path.push_back({path.back().first + step(random), path.back().second + step(random)});
    path[10] = path[9];  // standing still
    for (uint32_t n = 0; n <= 3599; n = n < 12 ? n + 1 : n == 12 ? 257 : n == 257 ? 3598 : n + 1) {
        double sum = 0.0;
        for (uint32_t i = 0; i + 1 < n; ++i) {
            const double dx = std::fabs(path[i].first - path[i + 1].first), dy = std::fabs(path[i].second - path[i + 1].second);
            sum += std::sqrt(dx * dx + dy * dy);
        }
        EXPECT_EQ(Bits(PolylineLength(path.data(), n)), Bits(sum)) << n << " points";
    }
}

TEST(Mu, HundredMetreSquareInMu)
{
    const PlanePoint square[] = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};
    const double area = PolygonArea(square, 4);
    ASSERT_EQ(area, 10000.0);
    // 1 mu = 10000/15 m². The instrument's factor is that in single precision: 666.66668701171875
    // = (2000 + 2^-14) / 3. So 10000 m² = 30000 / (2000 + 2^-14) mu = 14.99999954223634209…,
    // which rounds to the double 14.999999542236342 (the exact 15 would mean a different factor).
    EXPECT_EQ(area / SquareMetresPerMu, 14.999999542236342);
}

struct DatumCase {
    double lat, lon;
    double gcjLat, gcjLon;
    double bdLat, bdLon;
};

class Datum : public testing::TestWithParam<DatumCase> {};

TEST_P(Datum, MatchesPrintedValues)
{
    const auto& c = GetParam();
    double lat = 0, lon = 0;
    WgsToGcj(c.lat, c.lon, &lat, &lon);
    EXPECT_NEAR(lat, c.gcjLat, 5e-10);
    EXPECT_NEAR(lon, c.gcjLon, 5e-10);
    WgsToBd(c.lat, c.lon, &lat, &lon);
    EXPECT_NEAR(lat, c.bdLat, 5e-10);
    EXPECT_NEAR(lon, c.bdLon, 5e-10);
}

INSTANTIATE_TEST_SUITE_P(Examples, Datum,
                         testing::Values(DatumCase{22.55, 114.05, 22.547268203, 114.055103931, 22.552934822, 114.061657230},
                                         DatumCase{39.9, 116.4, 39.901403530, 116.406242785, 39.907733782, 116.412628029},
                                         DatumCase{60.0, 100.0, 60.0, 100.0, 60.005850000, 100.006590000}));

TEST(Datum, BoxEdgesCountAsInside)
{
    EXPECT_FALSE(IsOutsideChina(0.8293, 72.004));
    EXPECT_FALSE(IsOutsideChina(55.8271, 137.8347));
    EXPECT_TRUE(IsOutsideChina(0.8292, 100.0));
    EXPECT_TRUE(IsOutsideChina(30.0, 137.8348));
    double lat = 0, lon = 0;
    WgsToGcj(0.8293, 72.004, &lat, &lon);
    EXPECT_NE(lat, 0.8293);
    EXPECT_NE(lon, 72.004);
}

// Rings with the area and perimeter GeographicLib's Planimeter tool prints for them.
struct GeodesicCase {
    const char* name;
    std::vector<GeoPoint> ring;  // {lon, lat}
    double area, perimeter;
};

void PrintTo(const GeodesicCase& c, std::ostream* out) { *out << c.name; }

class Geodesic : public testing::TestWithParam<GeodesicCase> {};

TEST_P(Geodesic, MatchesPlanimeterInEitherDirection)
{
    const GeodesicCase& c = GetParam();
    const GeodesicFigures forward = GeodesicRing(c.ring.data(), uint32_t(c.ring.size()));
    EXPECT_NEAR(forward.area, c.area, 1e-3);
    EXPECT_NEAR(forward.perimeter, c.perimeter, 1e-6);
    const std::vector<GeoPoint> reversed(c.ring.rbegin(), c.ring.rend());
    const GeodesicFigures backward = GeodesicRing(reversed.data(), uint32_t(reversed.size()));
    EXPECT_NEAR(backward.area, c.area, 1e-3);
    EXPECT_NEAR(backward.perimeter, c.perimeter, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Planimeter, Geodesic,
    testing::Values(
        // 1000 m east and 1000 m north of 40° N 116° E (GeodSolve), as a longitude-latitude box.
        GeodesicCase{"square_1km_at_40N",
                     {{116, 40}, {116.0117104441685, 40}, {116.0117104441685, 40.009006192008812}, {116, 40.009006192008812}},
                     999934.3010, 3999.868598086},
        GeodesicCase{"degree_triangle_on_equator", {{0, 0}, {1, 0}, {0, 1}}, 6154854786.7214, 378793.447642413},
        GeodesicCase{"triangle_at_45N", {{120, 45}, {120, 45.5}, {121, 45.5}}, 2171541777.2036, 229904.653741260},
        GeodesicCase{"two_points_there_and_back", {{116, 40}, {116, 40.009006192008812}}, 0.0, 2000.0},
        GeodesicCase{"one_point", {{116, 40}}, 0.0, 0.0}),
    [](const testing::TestParamInfo<GeodesicCase>& info) { return info.param.name; });

TEST(Geodesic, PositionsOutOfRangeAreLeftOut)
{
    const std::vector<GeoPoint> ring = {{0, 0}, {NAN, 0}, {1, 0}, {0, 95}, {0, 1}, {200, 0}};
    EXPECT_NEAR(GeodesicRing(ring.data(), uint32_t(ring.size())).area, 6154854786.7214, 1e-3);
}

}  // namespace
