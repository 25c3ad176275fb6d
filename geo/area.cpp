#include "geo/area.h"

#include <cmath>

#include "geo/lanes.h"

namespace {

// Length of the segment a–b, for one segment (T = double) or two (T = Lanes).
template <class T>
T SegmentLength(T ax, T ay, T bx, T by)
{
    const T dx = Abs(ax - bx);
    const T dy = Abs(ay - by);
    return Sqrt(dx * dx + dy * dy);
}

}  // namespace

double PolygonArea(const PlanePoint* points, uint32_t count)
{
    if (count < 3) return 0.0;
    double s = 0.0;
    for (uint32_t i = 0; i < count; ++i) {
        const PlanePoint& p = points[i];
        const PlanePoint& q = points[i + 1 == count ? 0 : i + 1];
        s = s + p.first * q.second;
        s = s - p.second * q.first;
    }
    // fabs rather than "h > 0 ? h : -h", which turns a zero area into −0.
    return std::fabs(s / 2.0);
}

double PolylineLength(const PlanePoint* points, uint32_t count)
{
    if (count < 2) return 0.0;
    double sum = 0.0;
    uint32_t i = 0;
#ifdef __SSE2__
    // Two segments' square roots at a time; the sum still takes the segments one by one, in order.
    for (; i + 2 < count; i += 2) {
        const __m128d a = _mm_loadu_pd(&points[i].first);
        const __m128d b = _mm_loadu_pd(&points[i + 1].first);
        const __m128d c = _mm_loadu_pd(&points[i + 2].first);
        const Lanes length = SegmentLength(Lanes{_mm_unpacklo_pd(a, b)}, Lanes{_mm_unpackhi_pd(a, b)},
                                           Lanes{_mm_unpacklo_pd(b, c)}, Lanes{_mm_unpackhi_pd(b, c)});
        sum += _mm_cvtsd_f64(length.v);
        sum += _mm_cvtsd_f64(_mm_unpackhi_pd(length.v, length.v));
    }
#endif
    for (; i + 1 < count; ++i) sum += PlaneDistance(points[i], points[i + 1]);
    return sum;
}

double PlaneDistance(PlanePoint a, PlanePoint b)
{
    return SegmentLength(a.first, a.second, b.first, b.second);
}
