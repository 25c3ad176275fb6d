#pragma once
// Positions, the degree-minute conversion and the forward Gauss–Krüger projection (3° zones,
// WGS-84).
#include <cmath>
#include <cstddef>

struct GeoPoint {
    double lon;  // degrees, east positive
    double lat;  // degrees, north positive
};

// A latitude and a longitude that are finite and within ±90° and ±180°.
inline bool IsValidPosition(double lat, double lon)
{
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
}

struct PlanePoint {
    double first;   // as projected: northing x; in drawing form: easting
    double second;  // as projected: easting Y;  in drawing form: −northing
};

// ddmm.mmmm / dddmm.mmmm as written in RMC sentences → decimal degrees. No sign handling.
double DegMinToDegrees(double v);

// 3° zone number of a longitude: trunc((lon − 1.5) / 3) + 1, truncating toward zero.
// Non-finite or absurd longitudes give zone 0 rather than an undefined conversion.
int GaussKrugerZone(double lon);

// Projects p with the central meridian and easting prefix of the given zone.
PlanePoint GaussKrugerForwardInZone(GeoPoint p, int zone);

// Projects count positions with one zone into out[0, count), each bit for bit what the one-point
// form gives, at a fraction of its cost. lonLat points at the first position's longitude, which
// its latitude follows; positions are stride bytes apart, so any array of a struct that begins
// with the two doubles (GeoPoint, the loader's points) is read in place.
void GaussKrugerForwardInZone(const double* lonLat, std::size_t stride, int count, int zone, PlanePoint* out);

// Projects p in its own zone: {northing x, easting Y} in metres.
PlanePoint GaussKrugerForward(GeoPoint p);
