#pragma once
// What follows reading a record file's lines: the points in time order, the plane projection,
// the map centre, the computed results, the extents and the date.
#include "import/record.h"

// r holds its name's fields, its summary values and at least one point.
void CompleteRecord(MeasureRecord& r);
