#include "import/record_completion.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "geo/area.h"
#include "geo/datum.h"
#include "geo/projection.h"
#include "import/record_time.h"

static_assert(offsetof(TrackPoint, lat) == offsetof(TrackPoint, lon) + sizeof(double),
              "the projection reads a point's longitude and latitude as a pair");

namespace {

// Points in ascending unsigned stamp order, equal stamps in file order. Instrument files are
// nearly always in time order already, so the check comes first.
void SortPointsByStamp(TrackPoint* points, int count)
{
    int i = 1;
    while (i < count && points[i - 1].stamp <= points[i].stamp) ++i;
    if (i >= count) return;

    TrackPoint scratch[MaxPointCount];
    TrackPoint* from = points;
    TrackPoint* to = scratch;
    for (int width = 1; width < count; width *= 2) {
        for (int lo = 0; lo < count; lo += 2 * width) {
            const int mid = lo + width < count ? lo + width : count;
            const int hi = lo + 2 * width < count ? lo + 2 * width : count;
            int a = lo, b = mid, k = lo;
            while (a < mid && b < hi) to[k++] = from[b].stamp < from[a].stamp ? from[b++] : from[a++];
            while (a < mid) to[k++] = from[a++];
            while (b < hi) to[k++] = from[b++];
        }
        TrackPoint* t = from;
        from = to;
        to = t;
    }
    if (from != points) std::memcpy(points, from, sizeof(TrackPoint) * size_t(count));
}

}  // namespace

void CompleteRecord(MeasureRecord& r)
{
    const int n = r.pointCount;
    SortPointsByStamp(r.points, n);

    const GeoPoint centre = RecordCentre(r);

    // One zone for the whole record, so a field across a zone boundary stays in one plane.
    const int zone = GaussKrugerZone(centre.lon);
    GaussKrugerForwardInZone(&r.points[0].lon, sizeof(TrackPoint), n, zone, r.planePoints);
    r.mapPointsPending = 1;
    WgsToBd(centre.lat, centre.lon, &r.mapCenterLat, &r.mapCenterLon);

    const uint32_t count = uint32_t(n);
    r.calcArea = PolygonArea(r.planePoints, count);
    r.calcAreaMu = r.calcArea / SquareMetresPerMu;
    r.calcCurveLength = PolylineLength(r.planePoints, count);
    r.calcStraightLength = PlaneDistance(r.planePoints[0], r.planePoints[n - 1]);

    // Into drawing form, the extents taken in the same pass (in locals: the stores into the
    // points would otherwise make the compiler reload them from the record each time).
    PlanePoint* const plane = r.planePoints;
    plane[0] = {plane[0].second, -1.0 * plane[0].first};
    double minX = plane[0].first, maxX = minX, minY = plane[0].second, maxY = minY;
    for (int i = 1; i < n; ++i) {
        PlanePoint& p = plane[i];
        p = {p.second, -1.0 * p.first};
        if (p.first < minX) minX = p.first;
        if (p.first > maxX) maxX = p.first;
        if (p.second < minY) minY = p.second;
        if (p.second > maxY) maxY = p.second;
    }
    r.minX = minX;
    r.maxX = maxX;
    r.minY = minY;
    r.maxY = maxY;
    r.width = r.maxX - r.minX;
    r.height = r.maxY - r.minY;
    r.extent = r.width > r.height ? r.width : r.height;

    if (r.area == 0.0 && r.areaMu == 0.0 && r.curveLength == 0.0 && r.straightLength == 0.0) {
        r.area = r.calcArea;
        r.areaMu = r.calcAreaMu;
        r.curveLength = r.calcCurveLength;
        r.straightLength = r.calcStraightLength;
        r.statedFigures = 0;  // a summary of zeros states nothing: the computed figures are shown
    }

    if (r.nameKey == 0) {
        uint64_t s = r.points[0].stamp;
        r.second = int32_t(s % 100);
        s /= 100;
        r.minute = int32_t(s % 100);
        s /= 100;
        r.hour = int32_t(s % 100);
        s /= 100;
        r.day = int32_t(s % 100);
        s /= 100;
        r.month = int32_t(s % 100);
        s /= 100;
        r.year = int32_t(s % 10000);
        // An RMC stamp is UTC: the record's time is shown in the local time it was measured at.
        if (CivilTime local; r.stampsUtc && LocalStampTime(r.points[0].stamp, true, local)) {
            r.year = local.year, r.month = local.month, r.day = local.day;
            r.hour = local.hour, r.minute = local.minute, r.second = local.second;
        }
    }
}

