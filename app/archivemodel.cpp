#include "app/archivemodel.h"

#include <QFile>

#include <algorithm>

#include "app/archivesession.h"
#include "import/record_labels.h"

namespace {

// Header texts, in ArchiveColumn's order.
const char* const kHeaders[] = {"测量时间", "类型", "面积(平方米)", "面积(亩)", "曲线长(米)", "直线长(米)",
                                "位置",     "客户", "地块名",       "备注",     "文件名"};
static_assert(std::size(kHeaders) == size_t(ArchiveColumn::Count));

constexpr int kKeptPages = 64;

QString Text(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

UserField EditedField(ArchiveColumn column)
{
    return column == ArchiveColumn::Customer ? UserField::Customer
           : column == ArchiveColumn::FieldName ? UserField::FieldName
                                                : UserField::Note;
}

bool Editable(ArchiveColumn column)
{
    return column == ArchiveColumn::Customer || column == ArchiveColumn::FieldName || column == ArchiveColumn::Note;
}

}  // namespace

CArchiveModel::CArchiveModel(CArchiveSession& session, QObject* parent) : QAbstractTableModel(parent), m_session(session)
{
    Query();
}

RecordArchive* CArchiveModel::Archive() const
{
    return m_session.Archive();
}

void CArchiveModel::Query()
{
    m_pages.clear();
    RecordArchive* archive = Archive();
    m_ok = archive && archive->QueryIds(m_filter, m_sortColumn, m_ascending, m_ids);
    if (!m_ok) m_ids.clear();
}

void CArchiveModel::SetFilter(const ArchiveFilter& filter)
{
    beginResetModel();
    m_filter = filter;
    Query();
    endResetModel();
}

void CArchiveModel::Refresh()
{
    SetFilter(m_filter);
}

void CArchiveModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= int(ArchiveColumn::Count)) return;
    beginResetModel();
    m_sortColumn = ArchiveColumn(column);
    m_ascending = order == Qt::AscendingOrder;
    Query();
    endResetModel();
}

qint64 CArchiveModel::IdAt(int row) const
{
    return row >= 0 && size_t(row) < m_ids.size() ? m_ids[size_t(row)] : -1;
}

int CArchiveModel::RowOf(qint64 id) const
{
    const auto found = std::find(m_ids.begin(), m_ids.end(), id);
    return found == m_ids.end() ? -1 : int(found - m_ids.begin());
}

int CArchiveModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

int CArchiveModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(ArchiveColumn::Count);
}

const ArchiveRow* CArchiveModel::RowAt(int row) const
{
    if (row < 0 || size_t(row) >= m_ids.size()) return nullptr;
    const int page = row / PageRows;
    auto found = m_pages.find(page);
    if (found == m_pages.end()) {
        if (m_pages.size() >= kKeptPages) m_pages.clear();
        const size_t first = size_t(page) * PageRows;
        const size_t count = std::min(m_ids.size() - first, size_t(PageRows));
        std::vector<ArchiveRow> rows;
        if (RecordArchive* archive = Archive()) archive->ReadRows(m_ids.data() + first, count, rows);
        // A row gone meanwhile leaves a gap: the page is kept by position.
        std::vector<ArchiveRow> byPosition(count);
        size_t next = 0;
        for (size_t i = 0; i < count && next < rows.size(); ++i)
            if (rows[next].id == m_ids[first + i]) byPosition[i] = std::move(rows[next++]);
        found = m_pages.insert(page, std::move(byPosition));
    }
    const ArchiveRow& cached = found.value()[size_t(row % PageRows)];
    return cached.id == 0 ? nullptr : &cached;
}

QVariant CArchiveModel::data(const QModelIndex& index, int role) const
{
    const ArchiveRow* row = RowAt(index.row());
    if (row == nullptr) return {};
    const auto column = ArchiveColumn(index.column());
    if (role == Qt::TextAlignmentRole) {
        const bool number = column >= ArchiveColumn::AreaM2 && column <= ArchiveColumn::StraightM;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role == Qt::ToolTipRole) {
        if (column == ArchiveColumn::FileName) return QFile::decodeName(QByteArray::fromStdString(row->path));
        if (column == ArchiveColumn::Note) return Text(row->note);
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    switch (column) {
    case ArchiveColumn::MeasuredAt: return Text(row->measuredAt.substr(0, 19)).replace(QLatin1Char('T'), QLatin1Char(' '));
    case ArchiveColumn::Type: return QString::fromUtf8(MeasureTypeText(row->type));
    case ArchiveColumn::AreaM2: return QString::number(row->areaM2, 'f', 2);
    case ArchiveColumn::AreaMu: return QString::number(row->areaMu, 'f', 2);
    case ArchiveColumn::CurveM: return QString::number(row->curveM, 'f', 2);
    case ArchiveColumn::StraightM: return QString::number(row->straightM, 'f', 2);
    case ArchiveColumn::Place: return Text(row->place);
    case ArchiveColumn::Customer: return Text(row->customer);
    case ArchiveColumn::FieldName: return Text(row->fieldName);
    case ArchiveColumn::Note:
        // One line in the table; the whole note in the tooltip and the editor.
        return role == Qt::EditRole ? Text(row->note) : Text(row->note).simplified().left(200);
    case ArchiveColumn::FileName: return Text(row->nameText);
    case ArchiveColumn::Count: break;
    }
    return {};
}

QVariant CArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= int(ArchiveColumn::Count))
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(kHeaders[section]);
}

Qt::ItemFlags CArchiveModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && Editable(ArchiveColumn(index.column())) && Archive() && Archive()->Writable())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CArchiveModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const auto column = ArchiveColumn(index.column());
    const ArchiveRow* row = RowAt(index.row());
    if (role != Qt::EditRole || row == nullptr || !Editable(column)) return false;
    const QByteArray text = value.toString().toUtf8();
    RecordArchive* archive = Archive();
    if (archive == nullptr || !archive->SetUserField(row->id, EditedField(column), text.toStdString())) {
        emit editFailed();
        return false;
    }
    ArchiveRow& cached = m_pages[index.row() / PageRows][size_t(index.row() % PageRows)];
    (column == ArchiveColumn::Customer ? cached.customer : column == ArchiveColumn::FieldName ? cached.fieldName
                                                                                               : cached.note) =
        text.toStdString();
    emit dataChanged(index, index);
    return true;
}
