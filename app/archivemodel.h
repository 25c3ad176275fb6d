#pragma once
// The archive window's table: a model over the archive's rows. Filtering and sorting are one
// query that yields the chosen records' ids in order; the rows themselves are read a page at a
// time as the view shows them, never their file bytes or points.
#include <QAbstractTableModel>
#include <QHash>

#include <vector>

#include "archive/record_archive.h"

class CArchiveSession;

class CArchiveModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int PageRows = 128;

    CArchiveModel(CArchiveSession& session, QObject* parent);

    // The records shown: the archive's, or the recently deleted (filter.deleted).
    void SetFilter(const ArchiveFilter& filter);
    const ArchiveFilter& Filter() const { return m_filter; }
    // The ids again, after the archive changed.
    void Refresh();
    // False when the last query failed (the archive says why).
    bool Ok() const { return m_ok; }

    qint64 IdAt(int row) const;
    // The row showing id, or −1.
    int RowOf(qint64 id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // A user's field could not be stored.
    void editFailed();

private:
    const ArchiveRow* RowAt(int row) const;
    void Query();

    // The session's archive, nullptr while it cannot be opened.
    RecordArchive* Archive() const;

    CArchiveSession& m_session;
    ArchiveFilter m_filter;
    ArchiveColumn m_sortColumn = ArchiveColumn::MeasuredAt;
    bool m_ascending = false;  // the newest first
    bool m_ok = true;
    std::vector<int64_t> m_ids;
    mutable QHash<int, std::vector<ArchiveRow>> m_pages;  // by page number
};
