#include "app/importstatus.h"

#include <QMouseEvent>
#include <QToolTip>

#include <cstring>

#include "app/filepicker.h"
#include "app/recordlist.h"
#include "import/record_labels.h"
#include "import/visible_name.h"

QString LoadFailureText(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::None: return {};
    case LoadFailure::NotRecordName: return QStringLiteral("文件名中没有 .nmea");
    case LoadFailure::PathTooLong: return QStringLiteral("路径太长");
    case LoadFailure::CannotOpen: return QStringLiteral("无法打开");
    case LoadFailure::CannotRead: return QStringLiteral("读取出错");
    case LoadFailure::NoPoints: return QStringLiteral("没有坐标点");
    }
    return QStringLiteral("无法读取");
}

void ImportReport::Skip(const QByteArray& path, LoadFailure failure)
{
    skipped << SkippedFile{DisplayName(path), LoadFailureText(failure)};
}

void ImportReport::NotListed(const std::vector<std::string>& paths, size_t from)
{
    for (size_t i = from; i < paths.size(); ++i)
        if (std::strstr(RecordFileName(paths[i].c_str()), ".nmea")) notListed << DisplayName(QByteArray::fromStdString(paths[i]));
}

namespace {

// A name as the status line shows it: on one line, in its own order.
QString Shown(const QString& name)
{
    return QString::fromStdString(VisibleName(name.toStdString()));
}

// A path by its file name; what was dropped and is not a path, as it is.
QString ShortName(const QString& name)
{
    return Shown(name.startsWith(QLatin1Char('/')) ? FileNameOf(name) : name);
}

}  // namespace

QString ImportSummaryText(const ImportReport& report)
{
    if (report.imported == 0 && report.alreadyListed.isEmpty() && report.skipped.size() == 1)
        return QStringLiteral("未导入：%1 — %2").arg(ShortName(report.skipped[0].name), report.skipped[0].reason);
    if (report.imported == 0 && report.skipped.isEmpty() && report.alreadyListed.size() == 1)
        return QStringLiteral("已在列表中：%1").arg(ShortName(report.alreadyListed[0]));
    QString text = QStringLiteral("已导入 %1 个记录").arg(report.imported);
    if (!report.skipped.isEmpty()) text += QStringLiteral("，跳过 %1 个文件").arg(report.skipped.size());
    if (!report.notListed.isEmpty())
        text += QStringLiteral("；列表最多 %1 个记录：另有 %2 个文件未列出").arg(MaxRecords).arg(report.notListed.size());
    if (report.archivedOnly > 0) text += QStringLiteral("（%1 个已存入记录库）").arg(report.archivedOnly);
    if (!report.leftTheList.isEmpty())
        text += QStringLiteral("；列表最多 %1 个记录：“%2”已移出列表").arg(MaxRecords).arg(ShortName(report.leftTheList));
    return text;
}

QString SkippedFilesText(const ImportReport& report)
{
    QStringList lines;
    for (const SkippedFile& file : report.skipped) lines << QStringLiteral("%1 — %2").arg(Shown(file.name), file.reason);
    for (const QString& name : report.notListed) lines << QStringLiteral("%1 — 未列出：列表已满").arg(Shown(name));
    if (!report.leftTheList.isEmpty()) lines << QStringLiteral("%1 — 已移出列表：列表已满").arg(Shown(report.leftTheList));
    return lines.join(QLatin1Char('\n'));
}

CImportStatus::CImportStatus(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("importStatus"));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CImportStatus::ShowText(const QString& text)
{
    m_onClick = nullptr;
    setCursor(Qt::ArrowCursor);
    m_summary = text;
    setToolTip(text);
    Elide();
}

void CImportStatus::ShowOffer(const QString& text, std::function<void()> onClick)
{
    ShowText(text);
    m_onClick = std::move(onClick);
    setCursor(Qt::PointingHandCursor);
}

void CImportStatus::Show(const ImportReport& report)
{
    m_onClick = nullptr;
    setCursor(Qt::ArrowCursor);
    m_summary = ImportSummaryText(report);
    setToolTip(SkippedFilesText(report));
    Elide();
}

void CImportStatus::mousePressEvent(QMouseEvent* event)
{
    if (m_onClick) {
        // Taken before it runs: what it does may show a new sentence.
        const std::function<void()> onClick = std::move(m_onClick);
        m_onClick = nullptr;
        onClick();
        return;
    }
    if (!toolTip().isEmpty()) QToolTip::showText(event->globalPosition().toPoint(), toolTip(), this);
    QLabel::mousePressEvent(event);
}

void CImportStatus::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

// A long file name is cut in the middle; the whole of it is in the tooltip.
void CImportStatus::Elide()
{
    setText(fontMetrics().elidedText(m_summary, Qt::ElideMiddle, contentsRect().width()));
}
