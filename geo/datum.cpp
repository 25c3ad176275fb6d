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

double GcjLatOffset(double x, double y)
{
    double r = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
    r += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
    r += (20.0 * std::sin(y * kPi) + 40.0 * std::sin(y / 3.0 * kPi)) * 2.0 / 3.0;
    r += (160.0 * std::sin(y / 12.0 * kPi) + 320.0 * std::sin(y * kPi / 30.0)) * 2.0 / 3.0;
    return r;
}

double GcjLonOffset(double x, double y)
{
    double r = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
    r += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
    r += (20.0 * std::sin(x * kPi) + 40.0 * std::sin(x / 3.0 * kPi)) * 2.0 / 3.0;
    r += (150.0 * std::sin(x / 12.0 * kPi) + 300.0 * std::sin(x / 30.0 * kPi)) * 2.0 / 3.0;
    return r;
}

void WgsToGcj(double lat, double lon, double* gcjLat, double* gcjLon)
{
    if (IsOutsideChina(lat, lon)) {
        *gcjLat = lat;
        *gcjLon = lon;
        return;
    }
    double dLat = GcjLatOffset(lon - 105.0, lat - 35.0);
    double dLon = GcjLonOffset(lon - 105.0, lat - 35.0);
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
