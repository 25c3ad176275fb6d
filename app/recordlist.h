#pragma once
// Texts and column widths of the record list.
#include <QString>

#include "import/record.h"

// "YYYY-MM-DD  hh:mm:ss", two blanks between date and time.
QString RecordTimeText(const MeasureRecord& record);

// A distance's curve length in metres, otherwise the area in mu.
QString RecordValueText(const MeasureRecord& record);

// The last component of a path: what the user calls the file.
QString FileNameOf(const QString& path);

// A row's tooltip: the record's file and its kind ("面积", "距离" or "车辆").
QString RecordToolTip(const MeasureRecord& record);

struct RecordListColumns {
    int time;
    int value;
};

// Column widths for a list of that client width, computed in single precision and truncated.
RecordListColumns RecordListColumnWidths(int clientWidth);
