#include "geo/projection.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "geo/lanes.h"

namespace {

constexpr double kSemiMajorAxis = 6378137.0;
constexpr double kFlattening = 0.0033528106647474805;
// The instrument's degrees-to-radians factor: this exact double, not π/180 to full precision.
constexpr double kDegToRad = 0.017453292519943334;
constexpr double kZoneWidth = 3.0;
constexpr double kFalseEasting = 500000.0;
constexpr double kZonePrefix = 1000000.0;
// Zone 38's prefix, taken off every easting so zone 38 comes out with the plain 500 km false easting.
constexpr double kEastingOffset = 38000000.0;

// Derived once from the ellipsoid, in the order the formula uses them.
constexpr double e2 = 2.0 * kFlattening - kFlattening * kFlattening;  // first eccentricity squared
constexpr double ep2 = e2 / (1.0 - e2);                               // second eccentricity squared
constexpr double e4 = e2 * e2, e6 = e4 * e2, e8 = e6 * e2, e10 = e8 * e2;

// Meridian arc length, series through the e^10 terms.
constexpr double A =
    1.0 + 3.0 / 4.0 * e2 + 45.0 / 64.0 * e4 + 175.0 / 256.0 * e6 + 11025.0 / 16384.0 * e8 + 43659.0 / 65536.0 * e10;
constexpr double B2 =
    3.0 / 4.0 * e2 + 15.0 / 16.0 * e4 + 525.0 / 512.0 * e6 + 2205.0 / 2048.0 * e8 + 72765.0 / 65536.0 * e10;
constexpr double C = 15.0 / 64.0 * e4 + 105.0 / 256.0 * e6 + 2205.0 / 4096.0 * e8 + 10395.0 / 16384.0 * e10;
constexpr double D = 35.0 / 512.0 * e6 + 315.0 / 2048.0 * e8 + 31185.0 / 131072.0 * e10;

// What the projection needs of its zone, worked out once a zone.
struct Zone {
    double centralMeridian;  // radians
    double easting;          // the zone's prefix
};

Zone ZoneOf(int zone) { return {(kZoneWidth * zone) * kDegToRad, zone * kZonePrefix}; }

// The projection after the trigonometry, written once for one point (T = double) and for two
// (T = Lanes): B and L in radians, with B's sine and cosine.
template <class T>
void Project(T B, T L, T sinB, T cosB, Zone zone, T& x, T& Y)
{
    const T m = (L - zone.centralMeridian) * cosB;
    const T t = sinB / cosB;
    const T t2 = t * t;
    const T eta2 = ep2 * cosB * cosB;
    const T N = kSemiMajorAxis / Sqrt(1.0 - e2 * sinB * sinB);

    // sin 2B, sin 4B, sin 6B by the double- and triple-angle identities: one sine and one
    // cosine per point instead of five trigonometric calls (the loader projects every point).
    const T sin2B = 2.0 * sinB * cosB;
    const T cos2B = (cosB - sinB) * (cosB + sinB);
    const T sin4B = 2.0 * sin2B * cos2B;
    const T sin6B = sin2B * (3.0 - 4.0 * sin2B * sin2B);

    const T X = kSemiMajorAxis * (1.0 - e2) * (A * B - (B2 / 2.0) * sin2B + (C / 4.0) * sin4B - (D / 6.0) * sin6B);

    const T m2 = m * m, m3 = m2 * m, m4 = m3 * m, m5 = m4 * m, m6 = m5 * m;
    x = X + N * t *
                (m2 / 2.0 + (5.0 - t2 + 9.0 * eta2 + 4.0 * eta2 * eta2) * m4 / 24.0 +
                 (61.0 - 58.0 * t2 + t2 * t2) * m6 / 720.0);
    const T y = N * (m + (1.0 - t2 + eta2) * m3 / 6.0 +
                     (5.0 - 18.0 * t2 + t2 * t2 + 14.0 * eta2 - 58.0 * eta2 * t2) * m5 / 120.0);

    Y = zone.easting + y + kFalseEasting - kEastingOffset;
}

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

}  // namespace

double DegMinToDegrees(double v)
{
    // trunc(v) / 100 in integer arithmetic; done in floating point so any v is defined.
    // Below 2^40 the integer division gives the same degrees as trunc(trunc(v) / 100.0), sign of
    // zero included, without a division (this runs for every RMC position).
    constexpr double kExactBelow = 1099511627776.0;  // 2^40: trunc(v) / 100.0 cannot round up to the next integer
    const double d = std::fabs(v) < kExactBelow ? std::copysign(double(int64_t(v) / 100), v)
                                                 : std::trunc(std::trunc(v) / 100.0);
    return d + (v - 100.0 * d) / 60.0;
}

int GaussKrugerZone(double lon)
{
    const double z = std::trunc((lon - 1.5) / kZoneWidth) + 1.0;
    if (!(std::fabs(z) < 1.0e6)) return 0;  // NaN, inf or far outside any real longitude
    return static_cast<int>(z);
}

PlanePoint GaussKrugerForwardInZone(GeoPoint p, int zone)
{
    const double B = p.lat * kDegToRad;
    const double L = p.lon * kDegToRad;
    double x, Y;
    Project(B, L, std::sin(B), std::cos(B), ZoneOf(zone), x, Y);
    return {x, Y};
}

void GaussKrugerForwardInZone(const double* lonLat, std::size_t stride, int count, int zone, PlanePoint* out)
{
    const Zone z = ZoneOf(zone);
    // A block's radians and trigonometry stay in the first-level cache between the two passes.
    constexpr int kBlock = 256;
    double B[kBlock], L[kBlock], sinB[kBlock], cosB[kBlock];
    uint64_t lastLat = 0;
    double lastSin = 0.0, lastCos = 0.0;
    const char* position = reinterpret_cast<const char*>(lonLat);
    for (int first = 0; first < count; first += kBlock) {
        const int n = count - first < kBlock ? count - first : kBlock;
        for (int i = 0; i < n; ++i, position += stride) {
            const double* p = reinterpret_cast<const double*>(position);
            B[i] = p[1] * kDegToRad;
            L[i] = p[0] * kDegToRad;
            // Receivers repeat a latitude while standing or walking east–west; the same input
            // gives the same sine and cosine, so the previous point's are taken.
            if (first + i == 0 || Bits(p[1]) != lastLat) {
                lastLat = Bits(p[1]);
                lastSin = std::sin(B[i]);
                lastCos = std::cos(B[i]);
            }
            sinB[i] = lastSin;
            cosB[i] = lastCos;
        }
        PlanePoint* o = out + first;
        int i = 0;
#ifdef __SSE2__
        for (; i + 1 < n; i += 2) {
            Lanes x, Y;
            Project(Lanes{_mm_loadu_pd(B + i)}, Lanes{_mm_loadu_pd(L + i)}, Lanes{_mm_loadu_pd(sinB + i)},
                    Lanes{_mm_loadu_pd(cosB + i)}, z, x, Y);
            _mm_storeu_pd(&o[i].first, _mm_unpacklo_pd(x.v, Y.v));
            _mm_storeu_pd(&o[i + 1].first, _mm_unpackhi_pd(x.v, Y.v));
        }
#endif
        for (; i < n; ++i) Project(B[i], L[i], sinB[i], cosB[i], z, o[i].first, o[i].second);
    }
}

PlanePoint GaussKrugerForward(GeoPoint p)
{
    return GaussKrugerForwardInZone(p, GaussKrugerZone(p.lon));
}
