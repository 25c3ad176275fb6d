#pragma once
// The summary lines of a record file: the area and lengths the instrument states itself.
#include "import/record.h"

// Whether the line holds one of the summary words; if so, stores what it states (the first
// summary word it holds decides) in the record's displayed results. Values that do not read
// leave their fields as they were.
bool ReadSummary(const char* line, MeasureRecord& r);
