#include "geo/geodesic.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>

#include <cmath>

GeodesicFigures GeodesicRing(const GeoPoint* points, uint32_t count)
{
    GeographicLib::PolygonArea ring(GeographicLib::Geodesic::WGS84());
    for (uint32_t i = 0; i < count; ++i) {
        const GeoPoint p = points[i];
        if (std::isfinite(p.lat) && std::isfinite(p.lon) && std::fabs(p.lat) <= 90.0 && std::fabs(p.lon) <= 180.0)
            ring.AddPoint(p.lat, p.lon);
    }
    double perimeter = 0.0, area = 0.0;
    // Signed, so that a clockwise ring gives its own area negated rather than the rest of the
    // earth's surface.
    ring.Compute(false, true, perimeter, area);
    return {std::fabs(area), perimeter};
}
