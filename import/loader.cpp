#include "import/loader.h"
// In progress.
int LoadRecordFile(const char*, MeasureRecord&, LoadFailure* why) { if (why) *why = LoadFailure::NoPoints; return -1; }
