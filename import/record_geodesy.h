#pragma once
// What a record's positions give beyond the loader's plane figures: its area and perimeter on
// the ellipsoid, and the projection zone its plane points are in.
#include "import/record.h"

struct RecordGeodesicFigures {
    double geodesicArea;       // m², WGS-84 ellipsoid, ring closed back to the first point
    double geodesicAreaMu;     // geodesicArea / SquareMetresPerMu
    double geodesicPerimeter;  // m, closing edge included
};

// Computed from the record's positions each time it is asked for; a record with a pointCount
// outside its arrays gives zeros.
RecordGeodesicFigures RecordGeodesic(const MeasureRecord& record);

// The 3° zone of the centre of the record's longitude range, in which the loader projects all
// its points; 0 for a record without points.
int RecordZone(const MeasureRecord& record);
