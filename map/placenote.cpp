#include "map/placenote.h"

#include "import/recordplace.h"
#include "map/explorer.h"

QString RecordPlaceText(const MeasureRecord& record)
{
    Place place{};
    char text[256];
    if (RecordNearestPlace(record, &place) != 0 || FormatPlace(place, text, sizeof text) != 0) return {};
    return QString::fromUtf8(text);
}

void ShowPlaceOnMap(CExplorer1& browser, const MeasureRecord& record)
{
    browser.ShowPlace(RecordPlaceText(record));
}
