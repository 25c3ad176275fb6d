#pragma once
// Area and perimeter on the WGS-84 ellipsoid, beside the plane figures of area.h.
#include <cstdint>

#include "geo/projection.h"

struct GeodesicFigures {
    double area;       // m², of the ring closed from the last point back to the first
    double perimeter;  // m, that closing edge included
};

// Geodesic figures of the ring through the points in order (GeographicLib's PolygonArea). The
// area is unsigned, whichever way the ring turns; fewer than 3 points enclose 0 m², and two
// points give twice their distance as perimeter. Points that are not finite or out of range
// are left out, as they are of no loaded record.
GeodesicFigures GeodesicRing(const GeoPoint* points, uint32_t count);
