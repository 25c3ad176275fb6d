#pragma once
// Where a measurement lies: the named place nearest to the centre of its points' WGS-84
// bounding box (the centre the map is given, before its datum conversion).
#include "geo/place.h"
#include "import/record.h"

// 0 with place set, or −1 when the record has no points or no place is near.
int RecordNearestPlace(const MeasureRecord& record, Place* place);

// The record's place as every view and file shows it, "河南省 郑州市 附近 6.4 公里": 0, or −1
// with out empty when the record has no points, no place is near or the text does not fit.
int FormatRecordPlace(const MeasureRecord& record, char* out, size_t size);
