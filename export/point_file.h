#pragma once
// The point file: one line "lat,lon\n" (WGS-84, six decimals) per point but the last.
#include "import/record.h"

// Writes record's points 0 … n − 2 as "%.6f,%.6f\n" (latitude, longitude), no header; a
// record of 0 or 1 point gives an empty file. The decimal separator is always a point.
// The file is replaced only when complete. 0 on success; −1 on failure, with the errno-style
// cause in *error when given (EINVAL for a null path or a record whose pointCount is out of
// range).
int ExportPointFile(const char* path, const MeasureRecord& record, int* error = nullptr);

// The same for TheRecordTable().records[recordIndex]; an index outside the table is EINVAL.
int ExportPointFile(const char* path, int recordIndex, int* error = nullptr);
