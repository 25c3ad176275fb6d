#include "import/record_geodesy.h"

#include <memory>

#include "geo/area.h"
#include "geo/geodesic.h"

namespace {

bool HasPoints(const MeasureRecord& record)
{
    return record.pointCount > 0 && record.pointCount <= PointCapacity;
}

}  // namespace

RecordGeodesicFigures RecordGeodesic(const MeasureRecord& record)
{
    if (!HasPoints(record)) return {0.0, 0.0, 0.0};
    const auto positions = std::make_unique<GeoPoint[]>(size_t(record.pointCount));
    for (int i = 0; i < record.pointCount; ++i) positions[i] = {record.points[i].lon, record.points[i].lat};
    const GeodesicFigures figures = GeodesicRing(positions.get(), uint32_t(record.pointCount));
    return {figures.area, figures.area / SquareMetresPerMu, figures.perimeter};
}

int RecordZone(const MeasureRecord& record)
{
    if (!HasPoints(record)) return 0;
    return GaussKrugerZone(RecordCentre(record).lon);
}
