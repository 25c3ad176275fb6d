#pragma once
// Drawing one measurement on the map page.
#include "import/record.h"

class CExplorer1;

// The zoom for a record whose plane outline spans extent metres: 67500 / extent truncated,
// at least 12, with no upper limit of its own (the map shows at most its largest zoom).
// An extent of 0 (all points on one spot) gives 19; a zoom beyond int's range gives INT_MAX.
int MapZoomForExtent(double extent);

// Resets the page, sends the record's points as a route with start and end markers, and
// centres and zooms the map on the record, all in one script evaluation. 0 when the points
// were sent, −1 when the record has none (the page is only reset). When the browser shows
// no map page, the calls fail in the bridge's trace and the map stays as it was.
int ShowRecordOnMap(CExplorer1& browser, const MeasureRecord& record);
