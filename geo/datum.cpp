#include "geo/datum.h"

#include <cmath>

namespace {

constexpr double kKrasovskyA = 6378245.0;
constexpr double kKrasovskyEe = 0.006693421622965943;
// The offset formulas were fitted with single-precision π; using the full value moves
// results by up to 2e-9°.
constexpr double kPi = static_cast<double>(3.14159265358979323846f);
static_assert(kPi == 3.1415927410125732);
constexpr double kXPi = 52.35987755982988;  // π·3000/180 with full-precision π

}  // namespace

bool IsOutsideChina(double lat, double lon)
{
    return lon < 72.004 || lon > 137.8347 || lat < 0.8293 || lat > 55.8271;
}

namespace {

// Both raw offsets at once. The formula's sines are of multiples of three angles (2xπ, x·π/12,
// y·π/12) and of x·π/30, y·π/30; the multiples come from the angle-sum identities, which keeps
// a conversion to five trigonometric calls where the plain formula takes twelve.
struct Sines {
    double sin1, sin4, sin12;  // sin a, sin 4a, sin 12a
};

Sines MultipleSines(double a)
{
    const double s = std::sin(a), c = std::cos(a);
    const double sin2 = 2.0 * s * c, cos2 = (c - s) * (c + s);
    const double sin4 = 2.0 * sin2 * cos2;
    return {s, sin4, sin4 * (3.0 - 4.0 * sin4 * sin4)};
}

void GcjOffsets(double x, double y, double* latOffset, double* lonOffset)
{
    const double sin2x = std::sin(2.0 * x * kPi);
    const double sin6x = sin2x * (3.0 - 4.0 * sin2x * sin2x);
    const double shared = (20.0 * sin6x + 20.0 * sin2x) * 2.0 / 3.0;
    const Sines sx = MultipleSines(x / 12.0 * kPi);  // sin(x/12·π), sin(x/3·π), sin(xπ)
    const Sines sy = MultipleSines(y / 12.0 * kPi);

    double lat = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
    lat += shared;
    lat += (20.0 * sy.sin12 + 40.0 * sy.sin4) * 2.0 / 3.0;
    lat += (160.0 * sy.sin1 + 320.0 * std::sin(y * kPi / 30.0)) * 2.0 / 3.0;
    *latOffset = lat;

    double lon = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
    lon += shared;
    lon += (20.0 * sx.sin12 + 40.0 * sx.sin4) * 2.0 / 3.0;
    lon += (150.0 * sx.sin1 + 300.0 * std::sin(x / 30.0 * kPi)) * 2.0 / 3.0;
    *lonOffset = lon;
}

}  // namespace

double GcjLatOffset(double x, double y)
{
    double lat = 0.0, lon = 0.0;
    GcjOffsets(x, y, &lat, &lon);
    return lat;
}

double GcjLonOffset(double x, double y)
{
    double lat = 0.0, lon = 0.0;
    GcjOffsets(x, y, &lat, &lon);
    return lon;
}

void WgsToGcj(double lat, double lon, double* gcjLat, double* gcjLon)
{
    if (IsOutsideChina(lat, lon)) {
        *gcjLat = lat;
        *gcjLon = lon;
        return;
    }
    double dLat = 0.0, dLon = 0.0;
    GcjOffsets(lon - 105.0, lat - 35.0, &dLat, &dLon);
    const double r = lat / 180.0 * kPi;
    const double s = std::sin(r);
    const double M = 1.0 - kKrasovskyEe * s * s;
    const double q = std::sqrt(M);
    dLat = (dLat * 180.0) / ((kKrasovskyA * (1.0 - kKrasovskyEe)) / (M * q) * kPi);
    dLon = (dLon * 180.0) / (kKrasovskyA / q * std::cos(r) * kPi);
    *gcjLat = lat + dLat;
    *gcjLon = lon + dLon;
}

void GcjToBd(double lat, double lon, double* bdLat, double* bdLon)
{
    const double x = lon, y = lat;
    const double z = std::sqrt(x * x + y * y) + 0.00002 * std::sin(y * kXPi);
    const double theta = std::atan2(y, x) + 0.000003 * std::cos(x * kXPi);
    *bdLat = z * std::sin(theta) + 0.006;
    *bdLon = z * std::cos(theta) + 0.0065;
}

void WgsToBd(double lat, double lon, double* bdLat, double* bdLon)
{
    double gLat = 0.0, gLon = 0.0;
    WgsToGcj(lat, lon, &gLat, &gLon);
    GcjToBd(gLat, gLon, bdLat, bdLon);
}
