#include "geo/area.h"

#include <cmath>

double PolygonArea(const PlanePoint* points, uint32_t count)
{
    if (count < 3) return 0.0;
    double s = 0.0;
    for (uint32_t i = 0; i < count; ++i) {
        const PlanePoint& p = points[i];
        const PlanePoint& q = points[i + 1 == count ? 0 : i + 1];
        s = s + p.first * q.second;
        s = s - p.second * q.first;
    }
    // fabs rather than "h > 0 ? h : -h", which turns a zero area into −0.
    return std::fabs(s / 2.0);
}

double PolylineLength(const PlanePoint* points, uint32_t count)
{
    if (count < 2) return 0.0;
    double sum = 0.0;
    for (uint32_t i = 0; i + 1 < count; ++i) sum += PlaneDistance(points[i], points[i + 1]);
    return sum;
}

double PlaneDistance(PlanePoint a, PlanePoint b)
{
    const double dx = std::fabs(a.first - b.first);
    const double dy = std::fabs(a.second - b.second);
    return std::sqrt(dx * dx + dy * dy);
}
