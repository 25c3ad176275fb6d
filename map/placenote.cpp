#include "map/placenote.h"

#include "import/recordplace.h"
#include "map/explorer.h"

QString RecordPlaceText(const MeasureRecord& record)
{
    char text[PlaceTextSize];
    if (FormatRecordPlace(record, text, sizeof text) != 0) return {};
    return QString::fromUtf8(text);
}

void ShowPlaceOnMap(CExplorer1& browser, const MeasureRecord& record)
{
    browser.ShowPlace(RecordPlaceText(record));
}
