#include "map/showrecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "map/explorer.h"
#include "map/scriptbatch.h"
#include "map/webpage.h"

namespace {
// A number as the page receives it, formatted on the stack: coordinates as "%lf" (six
// decimals), the zoom as "%d", always with a point as decimal separator whatever the locale.
class NumberText {
public:
    explicit NumberText(double degrees)
    {
        char digits[Capacity];
        Widen(digits, std::to_chars(digits, digits + Capacity, degrees, std::chars_format::fixed, 6).ptr);
    }
    explicit NumberText(int value)
    {
        char digits[Capacity];
        Widen(digits, std::to_chars(digits, digits + Capacity, value).ptr);
    }
    QStringView View() const { return QStringView(m_text, m_length); }

private:
    // "%lf" of the largest double has 317 characters.
    static constexpr int Capacity = 320;

    void Widen(const char* digits, const char* end)
    {
        m_length = static_cast<int>(end - digits);
        std::copy(digits, end, m_text);
    }

    char16_t m_text[Capacity];
    int m_length;
};

// Room for one Map_PopPoints call with two ordinary coordinates.
constexpr qsizetype CharactersPerPoint = 48;
}  // namespace

int MapZoomForExtent(double extent, double latitude, int viewWidth, int viewHeight)
{
    if (extent == 0) return MapMaxZoom;
    constexpr double Usable = 0.8;  // a tenth of the view spare on each side
    const double side = Usable * std::min(viewWidth, viewHeight);
    const double metresPerPixel = extent / (side * std::cos(latitude * (M_PI / 180)));
    // Also false for NaN, a negative extent, an empty view and latitudes beyond the poles.
    if (!(metresPerPixel > 0) || !std::isfinite(metresPerPixel)) return MapMinZoom;
    // 2^(18 − z) ≥ metresPerPixel, for the largest whole z.
    const double zoom = std::floor(18 - std::log2(metresPerPixel));
    return static_cast<int>(std::clamp(zoom, double(MapMinZoom), double(MapMaxZoom)));
}

void AddMapView(CScriptBatch& calls, const MapFit& fit, const CExplorer1& browser, bool refit)
{
    const NumberText zoom(MapZoomForExtent(fit.extent, fit.centerLat, browser.width(), browser.height()));
    if (refit)
        calls.Add(u"Map_Refit", {zoom.View()});
    else
        calls.Add(u"Map_SetCenter", {NumberText(fit.centerLat).View(), NumberText(fit.centerLon).View(), zoom.View()});
}

int ShowRecordOnMap(CExplorer1& browser, const MeasureRecord& record)
{
    CWebPage page;
    page.AttachDocument(browser.Document());

    const int count = std::min(record.pointCount, PointCapacity);
    CScriptBatch calls;
    calls.Reserve((std::max(count, 0) + 3) * CharactersPerPoint);
    calls.Add(u"Map_RST", {record.type == Vehicle ? u"1" : u"0"});
    if (count < 1) {
        page.JSCall(calls);
        browser.SetShownRecord(calls, std::nullopt);
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        const GeoPoint point = MapPointOf(record, i);
        calls.Add(u"Map_PopPoints", {NumberText(point.lat).View(), NumberText(point.lon).View()});
    }
    calls.Add(u"Map_Stack2PolyLine", {});
    const MapFit fit{record.mapCenterLat, record.mapCenterLon, record.extent};
    AddMapView(calls, fit, browser, false);
    page.JSCall(calls);
    browser.SetShownRecord(calls, fit);
    return 0;
}
