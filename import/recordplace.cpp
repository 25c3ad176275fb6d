#include "import/recordplace.h"

int RecordNearestPlace(const MeasureRecord& record, Place* place)
{
    if (record.pointCount < 1) return -1;
    const GeoPoint centre = RecordCentre(record);
    return NearestPlace(centre.lat, centre.lon, place);
}
