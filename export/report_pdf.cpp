#include "export/report_pdf.h"

#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPolygonF>
#include <QString>

#include <cerrno>
#include <cmath>
#include <vector>

#include "export/safe_file.h"
#include "export/writer_input.h"
#include "import/name_text.h"
#include "import/record_geodesy.h"
#include "import/record_labels.h"
#include "import/visible_name.h"
#include "import/recordplace.h"

namespace {

constexpr int Resolution = 600;  // dots per inch of the page's coordinates
constexpr double PageWidthMm = 210.0, PageHeightMm = 297.0, MarginMm = 12.0;
constexpr double ContentWidthMm = PageWidthMm - 2 * MarginMm;
constexpr double InfoTopMm = 27.0, InfoLineMm = 6.0;
constexpr double FrameTopMm = 72.0, FrameHeightMm = 106.0, FramePaddingMm = 8.0;
constexpr double TableTopMm = 183.0, TableRowMm = 3.9;
constexpr int TableGroups = 3, TableRowsPerGroup = ReportVertexRows / TableGroups;
constexpr double FooterTopMm = PageHeightMm - MarginMm - 4.0;

const QColor kOutline(67, 110, 238);
const QColor kClosingLine(255, 0, 0);
const QColor kStartMarker(255, 255, 0);
const QColor kEndMarker(0, 255, 0);
const QColor kFrame(160, 160, 160);

double Px(double mm) { return mm * Resolution / 25.4; }
QPointF At(double xMm, double yMm) { return {Px(xMm), Px(yMm)}; }
QRectF Box(double xMm, double yMm, double wMm, double hMm) { return {Px(xMm), Px(yMm), Px(wMm), Px(hMm)}; }

// One family with the CJK glyphs, so that every text embeds the same font.
QFont ReportFont(double points, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UKai CN")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A record's file name as every other text shows it, and as it is: a line end or a right-to-left
// override in it is a visible sign, not a new line or a reversed name.
QString FileNameText(const char* path)
{
    return QString::fromStdString(VisibleName(NameText(RecordFileName(path))));
}

// 1, 2, 2.5 or 5 times a power of ten, the smallest not below value.
double NiceCeiling(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (step * power >= value * (1 - 1e-12)) return step * power;
    return 10 * power;
}

// The same, the largest not above value.
double NiceFloor(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {5.0, 2.0, 1.0})
        if (step * power <= value * (1 + 1e-12)) return step * power;
    return power;
}

// Numbers in the C locale, whatever the application's: "%.2f" never gives a decimal comma.
QString Figure(const char* format, double value) { return QString::asprintf(format, value); }

void DrawInfo(QPainter& p, const MeasureRecord& r)
{
    const RecordGeodesicFigures geodesic = RecordGeodesic(r);
    const double left = MarginMm, right = MarginMm + ContentWidthMm / 2;
    double y = InfoTopMm;
    const auto line = [&](double x, const QString& text, double widthMm) {
        p.drawText(Box(x, y, widthMm, InfoLineMm), Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(text, Qt::ElideMiddle, int(Px(widthMm))));
    };
    p.setFont(ReportFont(10));
    line(left, QStringLiteral("文件：") + FileNameText(r.path), ContentWidthMm);
    y += InfoLineMm;
    line(left,
         QString::asprintf("时间：%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute, r.second),
         ContentWidthMm / 2);
    line(right, QStringLiteral("类型：") + QString::fromUtf8(MeasureTypeText(r.type)), ContentWidthMm / 2);
    y += InfoLineMm;
    // Labelled as in the record list's tooltip; left blank where no place is near, as there.
    if (char place[PlaceTextSize]; FormatRecordPlace(r, place, sizeof place) == 0)
        line(left, QStringLiteral("位置：") + QString::fromUtf8(place), ContentWidthMm);
    y += InfoLineMm;
    // Each figure says where it comes from: stated by the instrument in the file, or computed
    // here from the points (where the file states some figures but not this one, the computed
    // one, not the 0 the panel shows). A vehicle's track encloses an area, but it is no field's.
    const auto stated = [&](int figure) { return (r.statedFigures & figure) != 0; };
    const auto source = [&](int figure) { return stated(figure) ? QStringLiteral("仪器记录") : QStringLiteral("计算"); };
    const double area = stated(StatedArea) ? r.area : r.calcArea;
    const double areaMu = stated(StatedArea) ? r.areaMu : r.calcAreaMu;
    const bool walkedStated = stated(StatedCurve | StatedPerimeter);
    if (r.type == Vehicle) {
        line(left,
             source(StatedArea) + QStringLiteral("轨迹围成面积（不是地块面积）") + Figure(": %.0f 平方米", area) +
                 Figure("  %.2f 亩", areaMu) + Figure("；椭球面上 %.0f 平方米", geodesic.geodesicArea) +
                 Figure("  %.2f 亩", geodesic.geodesicAreaMu),
             ContentWidthMm);
        y += InfoLineMm;
    } else if (r.type != Distance) {
        line(left, source(StatedArea) + Figure("面积: %.0f 平方米", area) + Figure("  %.2f 亩", areaMu),
             ContentWidthMm / 2);
        line(right,
             Figure("椭球面积: %.0f 平方米", geodesic.geodesicArea) + Figure("  %.2f 亩", geodesic.geodesicAreaMu),
             ContentWidthMm / 2);
        y += InfoLineMm;
    }
    // The walked length is named as the file named it: a stated perimeter is no curve.
    const QString walked = stated(StatedPerimeter) ? QStringLiteral("仪器记录周长")
                           : stated(StatedCurve)   ? QStringLiteral("仪器记录曲线")
                                                   : QStringLiteral("计算曲线");
    line(left, walked + Figure(": %.2f 米", walkedStated ? r.curveLength : r.calcCurveLength), ContentWidthMm / 2);
    line(right,
         source(StatedStraight) +
             Figure("直线: %.2f 米", stated(StatedStraight) ? r.straightLength : r.calcStraightLength),
         ContentWidthMm / 2);
    y += InfoLineMm;
    // The plane ring closes with the straight line from the last point back to the first; a
    // distance is no ring, and has no perimeter.
    if (r.type != Distance) {
        line(left, Figure("计算周长: %.2f 米", r.calcCurveLength + r.calcStraightLength), ContentWidthMm / 2);
        line(right, Figure("椭球周长: %.2f 米", geodesic.geodesicPerimeter), ContentWidthMm / 2);
        y += InfoLineMm;
    }
    line(left, QString::asprintf("点数: %d", r.pointCount), ContentWidthMm / 2);
    line(right, QStringLiteral("平面：高斯-克吕格3度带，椭球：WGS-84"), ContentWidthMm / 2);
}

void DrawNorthArrow(QPainter& p, double xMm, double yMm)
{
    QPolygonF arrow;
    arrow << At(xMm, yMm) << At(xMm - 2.5, yMm + 8) << At(xMm, yMm + 6) << At(xMm + 2.5, yMm + 8);
    p.setPen(QPen(Qt::black, Px(0.2)));
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    p.setFont(ReportFont(9, true));
    p.drawText(Box(xMm - 5, yMm + 8.5, 10, 5), Qt::AlignCenter, QStringLiteral("北"));
}

void DrawScaleBar(QPainter& p, double xMm, double yMm, double millimetresPerMetre, double denominator)
{
    const double lengthM = NiceFloor(ContentWidthMm / 4 / millimetresPerMetre);
    const double lengthMm = lengthM * millimetresPerMetre;
    p.setPen(QPen(Qt::black, Px(0.3)));
    p.setBrush(Qt::NoBrush);
    p.drawLine(At(xMm, yMm), At(xMm + lengthMm, yMm));
    p.drawLine(At(xMm, yMm - 1.2), At(xMm, yMm));
    p.drawLine(At(xMm + lengthMm, yMm - 1.2), At(xMm + lengthMm, yMm));
    p.setFont(ReportFont(7));
    p.drawText(Box(xMm + lengthMm + 1.5, yMm - 2.5, 40, 4), Qt::AlignLeft | Qt::AlignVCenter,
               Figure("%g 米", lengthM) + Figure("    比例尺 1:%.0f", denominator));
}

constexpr double MarkerHalfMm = 1.4;

// A square marker with its label to the left (leftLabel) or to the right, so that the start's
// and the end's stay legible where the two meet.
void DrawMarker(QPainter& p, QPointF at, const QColor& colour, const QString& label, bool leftLabel)
{
    const double half = Px(MarkerHalfMm);
    p.fillRect(QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half), colour);
    p.setPen(QPen(Qt::black, Px(0.15)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half));
    p.setFont(ReportFont(7));
    const QRectF box(leftLabel ? at.x() - half - Px(5) : at.x() + half + Px(0.5), at.y() - Px(2), Px(4.5), Px(4));
    p.drawText(box, (leftLabel ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
}

// The outline to a scale of 1:N (N 1, 2, 2.5 or 5 times a power of ten), north up, centred.
void DrawOutlineFrame(QPainter& p, const MeasureRecord& r)
{
    p.setPen(QPen(kFrame, Px(0.3)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(Box(MarginMm, FrameTopMm, ContentWidthMm, FrameHeightMm));
    DrawNorthArrow(p, MarginMm + ContentWidthMm - 8, FrameTopMm + 3);

    const double innerW = ContentWidthMm - 2 * FramePaddingMm, innerH = FrameHeightMm - 2 * FramePaddingMm;
    const double width = r.maxX - r.minX, height = r.maxY - r.minY;
    const double metresPerMm = std::max(width / innerW, height / innerH);
    if (r.pointCount < 1 || !std::isfinite(metresPerMm)) return;
    const double denominator = metresPerMm > 0 ? NiceCeiling(metresPerMm * 1000) : 1000;
    const double mmPerMetre = 1000 / denominator;
    const double originX = MarginMm + ContentWidthMm / 2 - width * mmPerMetre / 2;
    const double originY = FrameTopMm + FrameHeightMm / 2 - height * mmPerMetre / 2;
    // Plane points are {easting, −northing}: down the page is south.
    const auto map = [&](const PlanePoint& point) {
        return At(originX + (point.first - r.minX) * mmPerMetre, originY + (point.second - r.minY) * mmPerMetre);
    };
    QPolygonF outline;
    outline.reserve(r.pointCount);
    for (int i = 0; i < r.pointCount; ++i) outline << map(r.planePoints[i]);

    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kOutline, Px(0.5), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(outline);
    if (r.type != Distance && outline.size() > 2) {
        p.setPen(QPen(kClosingLine, Px(0.3), Qt::DashLine));
        p.drawLine(outline.last(), outline.first());
    }
    // The start is drawn above the end, and up and to the left of it where the two would
    // meet (a closed field), so that its square is seen too.
    DrawMarker(p, outline.last(), kEndMarker, QStringLiteral("终"), false);
    const QPointF start = outline.first(), end = outline.last();
    const double meet = 2 * Px(MarkerHalfMm);
    const bool overlapping = std::fabs(start.x() - end.x()) < meet && std::fabs(start.y() - end.y()) < meet;
    DrawMarker(p, overlapping ? end - QPointF(Px(MarkerHalfMm), Px(MarkerHalfMm)) : start, kStartMarker,
               QStringLiteral("起"), true);
    DrawScaleBar(p, MarginMm + 5, FrameTopMm + FrameHeightMm - 4, mmPerMetre, denominator);
}

void DrawVertexTable(QPainter& p, const MeasureRecord& r)
{
    const std::vector<int> rows = ReportVertexIndices(r.pointCount);
    p.setPen(Qt::black);
    p.setFont(ReportFont(9, true));
    QString title = QStringLiteral("点位（WGS-84 经纬度）");
    if (int(rows.size()) < r.pointCount)
        title += QString::asprintf("：共 %d 点，均匀选列 %d 点", r.pointCount, int(rows.size()));
    p.drawText(Box(MarginMm, TableTopMm, ContentWidthMm, 5), Qt::AlignLeft | Qt::AlignVCenter, title);

    const double groupWidth = ContentWidthMm / TableGroups;
    const double columns[] = {0, 12, 36};  // 序号, 纬度, 经度 within a group, mm
    const double headerTop = TableTopMm + 6;
    p.setFont(ReportFont(7));
    for (int g = 0; g < TableGroups && g * TableRowsPerGroup < int(rows.size()); ++g) {
        const double x = MarginMm + g * groupWidth;
        const char* headers[] = {"序号", "纬度", "经度"};
        for (int c = 0; c < 3; ++c)
            p.drawText(Box(x + columns[c], headerTop, 24, TableRowMm), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromUtf8(headers[c]));
        p.setPen(QPen(kFrame, Px(0.15)));
        p.drawLine(At(x, headerTop + TableRowMm), At(x + groupWidth - 3, headerTop + TableRowMm));
        p.setPen(Qt::black);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const int g = int(i) / TableRowsPerGroup, row = int(i) % TableRowsPerGroup;
        const double x = MarginMm + g * groupWidth, y = headerTop + (row + 1) * TableRowMm + 0.5;
        const TrackPoint& point = r.points[rows[i]];
        const QString cells[] = {QString::number(rows[i] + 1), Figure("%.6f", point.lat), Figure("%.6f", point.lon)};
        for (int c = 0; c < 3; ++c)
            p.drawText(Box(x + columns[c], y, 24, TableRowMm), Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
    }
}

void DrawFooter(QPainter& p)
{
    p.setPen(QPen(kFrame, Px(0.15)));
    p.drawLine(At(MarginMm, FooterTopMm - 1), At(MarginMm + ContentWidthMm, FooterTopMm - 1));
    p.setPen(Qt::black);
    p.setFont(ReportFont(7));
    const QString printed = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    p.drawText(Box(MarginMm, FooterTopMm, ContentWidthMm, 4), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Varnel " VARNEL_VERSION));
    p.drawText(Box(MarginMm, FooterTopMm, ContentWidthMm, 4), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("打印时间：") + printed);
}

// The page as PDF bytes.
bool RenderReport(const MeasureRecord& r, QByteArray& pdf)
{
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(Resolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
    writer.setTitle(QStringLiteral("测量报告"));
    writer.setCreator(QStringLiteral("Varnel " VARNEL_VERSION));
    QPainter p;
    if (!p.begin(&writer)) return false;
    p.setFont(ReportFont(20, true));
    p.drawText(Box(MarginMm, MarginMm, ContentWidthMm, 12), Qt::AlignCenter, QStringLiteral("测量报告"));
    DrawInfo(p, r);
    DrawOutlineFrame(p, r);
    DrawVertexTable(p, r);
    DrawFooter(p);
    return p.end();
}

}  // namespace

std::vector<int> ReportVertexIndices(int count)
{
    std::vector<int> indices;
    if (count <= ReportVertexRows) {
        for (int i = 0; i < count; ++i) indices.push_back(i);
        return indices;
    }
    for (int i = 0; i < ReportVertexRows; ++i)
        indices.push_back(int(std::lround(double(i) * (count - 1) / (ReportVertexRows - 1))));
    return indices;
}

int WriteReportPdf(const char* path, const MeasureRecord& record, int* error)
{
    if (path == nullptr || !HasValidPointCount(record)) return ReportFailure(error, EINVAL);
    QByteArray pdf;
    if (!RenderReport(record, pdf) || pdf.isEmpty()) return ReportFailure(error, EIO);
    return WriteWholeFile(path, pdf.constData(), size_t(pdf.size()), error);
}
