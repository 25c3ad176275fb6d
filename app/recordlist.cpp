#include "app/recordlist.h"

#include "app/filepicker.h"
#include "import/record_labels.h"
#include "import/visible_name.h"
#include "map/placenote.h"

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
QString FileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString RecordToolTip(const MeasureRecord& r)
{
    const QString kind = QString::fromUtf8(MeasureTypeText(r.type));
    const QString name = QString::fromStdString(VisibleName(DisplayName(RecordFileName(r.path)).toStdString()));
    QString tip = QStringLiteral("文件：%1\n类型：%2").arg(name, kind);
    // Where the field lies: one lookup in the built-in place table, a few microseconds.
    if (const QString place = RecordPlaceText(r); !place.isEmpty()) tip += QStringLiteral("\n位置：") + place;
    return tip;
}

RecordListColumns RecordListColumnWidths(int clientWidth)
{
    const float width = static_cast<float>(clientWidth);
    return {static_cast<int>(width * 0.53f), static_cast<int>(width * 0.405f)};
}
