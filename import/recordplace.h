#pragma once
// Where a measurement lies: the named place nearest to the centre of its points' WGS-84
// bounding box (the centre the map is given, before its datum conversion).
#include "geo/place.h"
#include "import/record.h"

// 0 with place set, or −1 when the record has no points or no place is near.
int RecordNearestPlace(const MeasureRecord& record, Place* place);
