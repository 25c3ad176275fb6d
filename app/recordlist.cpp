#include "app/recordlist.h"

// QString::asprintf formats in the C locale whatever locale QApplication set for the C library.
QString RecordTimeText(const MeasureRecord& r)
{
    return QString::asprintf("%04d-%02d-%02d  %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute, r.second);
}

QString RecordValueText(const MeasureRecord& r)
{
    if (r.type == Distance) return QString::asprintf("%.2f 米", r.curveLength);
    return QString::asprintf("%.2f 亩", r.areaMu);
}
RecordListColumns RecordListColumnWidths(int clientWidth)
{
    const float width = static_cast<float>(clientWidth);
    return {static_cast<int>(width * 0.53f), static_cast<int>(width * 0.405f)};
}
