#pragma once
// Where a shown measurement lies, as the user reads it: on the map beside its note, and in the
// record list's tooltip.
#include <QString>

#include "import/record.h"

class CExplorer1;

// "河南省 郑州市 附近 6.4 公里", or "" when the record has no points or no place is near.
QString RecordPlaceText(const MeasureRecord& record);

// Shows the record's place text on the map page (Map_SetPlace); "" hides the note.
void ShowPlaceOnMap(CExplorer1& browser, const MeasureRecord& record);
