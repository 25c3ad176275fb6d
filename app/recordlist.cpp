#include "app/recordlist.h"

#include <cstdio>

QString RecordTimeText(const MeasureRecord& r)
{
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d  %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute,
                  r.second);
    return QString::fromLatin1(text);
}

QString RecordValueText(const MeasureRecord& r)
{
    char text[512];
    if (r.type == Distance)
        std::snprintf(text, sizeof text, "%.2f 米", r.curveLength);
    else
        std::snprintf(text, sizeof text, "%.2f 亩", r.areaMu);
    return QString::fromUtf8(text);
}

RecordListColumns RecordListColumnWidths(int clientWidth)
{
    const float width = static_cast<float>(clientWidth);
    return {static_cast<int>(width * 0.53f), static_cast<int>(width * 0.405f)};
}
