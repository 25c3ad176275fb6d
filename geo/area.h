#pragma once
// Plane area and lengths of a record's projected points.
#include <cstdint>

#include "geo/projection.h"

// The single-precision value nearest 2000/3, widened: 10000 m² is 14.999999542236342 mu.
inline constexpr double SquareMetresPerMu = 666.66668701171875;

// Shoelace area of the closed ring through the points, m². Fewer than 3 points give 0.
double PolygonArea(const PlanePoint* points, uint32_t count);

// Length of the open path through the points in order, m. Fewer than 2 points give 0.
double PolylineLength(const PlanePoint* points, uint32_t count);

double PlaneDistance(PlanePoint a, PlanePoint b);
