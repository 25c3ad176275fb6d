#pragma once
// The DXF drawing (AC1009) of a record's outline, written through dxflib.
#include "import/record.h"

// Writes the fixed tables and blocks and one LINE per pair of consecutive plane points,
// x = first, y = −second, z = 0, on layer "mainlayer". Numbers do not depend on the process
// locale. The file is replaced only when complete. 0 on success; −1 on failure, with the
// errno-style cause in *error when given: EINVAL for a null path, a pointCount out of range
// or a plane coordinate that is not finite or beyond 1e200 (dxflib cannot print it); EIO
// where dxflib failed without a cause.
int WriteDxfFile(const char* path, const MeasureRecord& record, int* error = nullptr);

// The same for TheRecordTable().records[recordIndex]; an index outside the table is EINVAL.
int WriteDxfFile(const char* path, int recordIndex, int* error = nullptr);
