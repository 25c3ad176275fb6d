#include "app/resultpanel.h"

#include <QPainter>

#include <array>
#include <cmath>

#include "import/record_geodesy.h"

namespace {

const QColor kBackground(240, 240, 240);
const QColor kOutline(67, 110, 238);
const QColor kClosingLine(255, 0, 0);
const QColor kStartMarker(255, 255, 0);
const QColor kEndMarker(0, 255, 0);
constexpr int kMargin = 8;
constexpr int kMarkerSize = 8;

// Truncation toward zero. Coordinates of a damaged record may be far outside int: those are
// pinned well off the area instead of being converted with undefined behaviour.
int TruncateToInt(double v)
{
    constexpr double kLimit = 1e9;
    if (std::isnan(v)) return 0;
    if (v > kLimit) return static_cast<int>(kLimit);
    if (v < -kLimit) return static_cast<int>(-kLimit);
    return static_cast<int>(v);
}

}  // namespace

// QString::asprintf formats numbers in the C locale (QApplication switches the C library to the
// user's, where "%.2f" could give a decimal comma) and has no length limit for absurd stated values.
QString ResultText(const MeasureRecord& r)
{
    if (r.type == Distance)
        return QString::asprintf("时间：%04d-%02d-%02d %02d:%02d:%02d\r\n\r\n曲线: %.2f 米\r\n直线: %.2f 米", r.year,
                                 r.month, r.day, r.hour, r.minute, r.second, r.curveLength, r.straightLength);
    // A vehicle's track encloses an area, but no field: it says so, on the line the blank one
    // stands on otherwise, so that the text keeps its height.
    if (r.type == Vehicle)
        return QString::asprintf("时间：%04d-%02d-%02d %02d:%02d:%02d\r\n轨迹围成面积（不是地块面积）:\r\n      %.0f 平方米\r\n"
                                 "      %.2f 亩\r\n曲线: %.2f 米\r\n直线: %.2f 米",
                                 r.year, r.month, r.day, r.hour, r.minute, r.second, r.area, r.areaMu, r.curveLength,
                                 r.straightLength);
    return QString::asprintf(
        "时间：%04d-%02d-%02d %02d:%02d:%02d\r\n\r\n面积: %.0f 平方米\r\n      %.2f 亩\r\n曲线: %.2f 米\r\n直线: %.2f 米",
        r.year, r.month, r.day, r.hour, r.minute, r.second, r.area, r.areaMu, r.curveLength, r.straightLength);
}

QString GeodesicToolTip(const MeasureRecord& r)
{
    // A distance encloses nothing and closes no ring: it has no area or perimeter to give.
    if (r.pointCount < 1 || r.pointCount > PointCapacity || r.type == Distance) return {};
    const RecordGeodesicFigures g = RecordGeodesic(r);
    const char* areaLabel = r.type == Vehicle ? "轨迹围成面积（不是地块面积）:\n     " : "面积:";
    return QString::asprintf("WGS-84 椭球面上：\n%s %.0f 平方米\n      %.2f 亩\n周长: %.2f 米", areaLabel, g.geodesicArea,
                             g.geodesicAreaMu, g.geodesicPerimeter);
}

double DrawScale(QSize area, const MeasureRecord& record)
{
    const int side = area.width() < area.height() ? area.width() : area.height();
    const int avail = side - kMargin;
    return avail / record.extent;
}

int DrawOutline(QPainter& painter, QSize area, const MeasureRecord& r)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(QPoint(0, 0), area), kBackground);
    const double s = DrawScale(area, r);
    if (r.pointCount < 1 || r.pointCount > PointCapacity || !std::isfinite(s)) return -1;

    const int cx = area.width() / 2;
    const int cy = area.height() / 2;
    const double halfWidth = (r.width * s) / 2;
    const double halfHeight = (r.height * s) / 2;
    const auto map = [&](const PlanePoint& p) {
        return QPoint(TruncateToInt((p.first - r.minX) * s - halfWidth + cx),
                      TruncateToInt((p.second - r.minY) * s - halfHeight + cy));
    };

    // The outline goes to the painter as separate segments, which the raster engine strokes
    // several times faster than one long polyline; square caps close the corners that joins
    // would. A point on the same pixel as the one before adds nothing and is skipped.
    std::array<QLine, PointCapacity> segments;
    int segmentCount = 0;
    const QPoint first = map(r.planePoints[0]);
    QPoint last = first;
    for (int i = 1; i < r.pointCount; ++i) {
        const QPoint cur = map(r.planePoints[i]);
        if (cur == last) continue;
        segments[segmentCount++] = QLine(last, cur);
        last = cur;
    }
    painter.setPen(QPen(kOutline, 2.5, Qt::SolidLine, Qt::SquareCap));
    painter.drawLines(segments.data(), segmentCount);

    painter.setPen(QPen(kClosingLine, 1.5, Qt::DashLine, Qt::FlatCap));
    painter.drawLine(first, last);

    // The start marker is painted last, above the end; where the two would overlap (a closed
    // field) it moves up and to the left by half its size, so that both are seen.
    const int half = kMarkerSize / 2;
    painter.fillRect(last.x() - half, last.y() - half, kMarkerSize, kMarkerSize, kEndMarker);
    const bool overlapping = std::abs(first.x() - last.x()) < kMarkerSize && std::abs(first.y() - last.y()) < kMarkerSize;
    const QPoint start = overlapping ? last - QPoint(half, half) : first;
    painter.fillRect(start.x() - half, start.y() - half, kMarkerSize, kMarkerSize, kStartMarker);
    return 0;
}

COutlineArea::COutlineArea(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void COutlineArea::ShowSlot(int slot)
{
    m_slot = slot;
    update();
}

void COutlineArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawOutline(painter, size(), TheRecordTable().records[m_slot]);
}
