#include "map/showrecord.h"

#include <algorithm>
#include <charconv>
#include <climits>

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

int MapZoomForExtent(double extent)
{
    if (extent == 0) return 19;
    const double zoom = 67500.0 / extent;
    if (!(zoom >= 12)) return 12;
    if (zoom >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(zoom);
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
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        const GeoPoint point = MapPointOf(record, i);
        calls.Add(u"Map_PopPoints", {NumberText(point.lat).View(), NumberText(point.lon).View()});
    }
    calls.Add(u"Map_Stack2PolyLine", {});
    calls.Add(u"Map_SetCenter", {NumberText(record.mapCenterLat).View(), NumberText(record.mapCenterLon).View(),
                                 NumberText(MapZoomForExtent(record.extent)).View()});
    page.JSCall(calls);
    return 0;
}
