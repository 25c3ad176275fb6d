#pragma once
// Input checks shared by the file writers.
#include "import/record.h"

// The record at index in the program's table, or nullptr when index is outside the table.
// Slots past the table's count are zero records and are written as empty drawings and files.
inline const MeasureRecord* TableRecordAt(int index)
{
    return index >= 0 && index < MaxRecords ? &TheRecordTable().records[index] : nullptr;
}

// Whether the record's pointCount stays inside its point arrays.
inline bool HasValidPointCount(const MeasureRecord& record)
{
    return record.pointCount >= 0 && record.pointCount <= PointCapacity;
}
