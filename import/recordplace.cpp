#include "import/recordplace.h"

#include <algorithm>

int RecordNearestPlace(const MeasureRecord& record, Place* place)
{
    const int n = std::min(record.pointCount, int(PointCapacity));
    if (n < 1) return -1;
    double minLat = record.points[0].lat, maxLat = minLat;
    double minLon = record.points[0].lon, maxLon = minLon;
    for (int i = 1; i < n; ++i) {
        minLat = std::min(minLat, record.points[i].lat);
        maxLat = std::max(maxLat, record.points[i].lat);
        minLon = std::min(minLon, record.points[i].lon);
        maxLon = std::max(maxLon, record.points[i].lon);
    }
    return NearestPlace((maxLat - minLat) / 2.0 + minLat, (maxLon - minLon) / 2.0 + minLon, place);
}
