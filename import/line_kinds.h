#pragma once
// ClassifyLine and ParsePointLine for a line whose length (strlen) the caller has measured
// already, so that each line is measured once.
#include <cstddef>

#include "import/loader.h"

LineKind ClassifyLine(const char* line, size_t length, MeasureRecord& record);
bool ParsePointLine(const char* line, size_t length, LineKind kind, TrackPoint& point);
