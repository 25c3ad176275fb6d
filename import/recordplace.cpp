#include "import/recordplace.h"

int RecordNearestPlace(const MeasureRecord& record, Place* place)
{
    if (record.pointCount < 1) return -1;
    const GeoPoint centre = RecordCentre(record);
    return NearestPlace(centre.lat, centre.lon, place);
}

int FormatRecordPlace(const MeasureRecord& record, char* out, size_t size)
{
    if (size == 0) return -1;
    Place place{};
    if (RecordNearestPlace(record, &place) == 0 && FormatPlace(place, out, size) == 0) return 0;
    out[0] = '\0';
    return -1;
}
