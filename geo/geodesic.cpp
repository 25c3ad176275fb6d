#include "geo/geodesic.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>

#include <cmath>

GeodesicFigures GeodesicRing(const GeoPoint* points, uint32_t count)
{
    GeographicLib::PolygonArea ring(GeographicLib::Geodesic::WGS84());
    for (uint32_t i = 0; i < count; ++i) {
        const GeoPoint p = points[i];
        if (IsValidPosition(p.lat, p.lon)) ring.AddPoint(p.lat, p.lon);
    }
    double perimeter = 0.0, area = 0.0;
    // Signed, so that a clockwise ring gives its own area negated rather than the rest of the
    // earth's surface.
    ring.Compute(false, true, perimeter, area);
    return {std::fabs(area), perimeter};
}
