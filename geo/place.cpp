#include "geo/place.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "geo/placetable.h"
#include "geo/projection.h"

namespace {

constexpr double kEarthRadius = 6371008.8;  // mean radius, m
constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kMetresPerMicroDegree = kEarthRadius * kDegree * 1e-6;  // along a meridian

double Haversine(double lat1, double lon1, double lat2, double lon2)
{
    const double sLat = std::sin((lat2 - lat1) * kDegree / 2.0);
    const double sLon = std::sin((lon2 - lon1) * kDegree / 2.0);
    const double h = sLat * sLat + std::cos(lat1 * kDegree) * std::cos(lat2 * kDegree) * sLon * sLon;
    return 2.0 * kEarthRadius * std::asin(std::sqrt(std::min(1.0, h)));
}

}  // namespace

int NearestPlace(double lat, double lon, Place* place)
{
    if (!IsValidPosition(lat, lon)) return -1;
    const PlaceEntry* begin = kPlaceEntries;
    const PlaceEntry* end = kPlaceEntries + kPlaceEntryCount;
    const double microLat = lat * 1e6;
    // Walk outward from the position's latitude in both directions; an entry whose latitude
    // alone is farther than the best distance so far ends that direction.
    const PlaceEntry* up = std::lower_bound(begin, end, microLat,
        [](const PlaceEntry& e, double v) { return e.lat < v; });
    const PlaceEntry* down = up;
    const PlaceEntry* best = nullptr;
    double bestDistance = PlaceSearchRadius;
    auto consider = [&](const PlaceEntry* e) {
        if ((std::fabs(e->lat - microLat)) * kMetresPerMicroDegree > bestDistance) return false;
        const double d = Haversine(lat, lon, e->lat * 1e-6, e->lon * 1e-6);
        if (d <= bestDistance) {
            bestDistance = d;
            best = e;
        }
        return true;
    };
    bool goUp = true, goDown = true;
    while (goUp || goDown) {
        if (goUp) goUp = up != end && consider(up++);
        if (goDown) goDown = down != begin && consider(--down);
    }
    if (!best) return -1;
    place->name = kPlaceText + best->name;
    place->province = kPlaceText + best->province;
    place->country = kPlaceText + best->country;
    place->lat = best->lat * 1e-6;
    place->lon = best->lon * 1e-6;
    place->distance = bestDistance;
    return 0;
}

int FormatPlace(const Place& place, char* out, size_t size)
{
    // Integers only, so that no locale's decimal comma reaches the text.
    char distance[32];
    const long metres = std::lround(place.distance);
    if (metres < 995)
        std::snprintf(distance, sizeof distance, "%ld 米", (metres + 5) / 10 * 10);
    else if (metres < 9950)
        std::snprintf(distance, sizeof distance, "%ld.%ld 公里", (metres + 50) / 1000, (metres + 50) % 1000 / 100);
    else
        std::snprintf(distance, sizeof distance, "%ld 公里", (metres + 500) / 1000);
    const bool home = std::strcmp(place.country, "中国") == 0;
    const int n = std::snprintf(out, size, "%s%s%s%s%s 附近 %s", home ? "" : place.country,
        home ? "" : " ", place.province, *place.province ? " " : "", place.name, distance);
    return n >= 0 && size_t(n) < size ? 0 : -1;
}
