#pragma once
// "记录库": every archived record in a table, sorted by any column and filtered as the user
// types, by date range and by type. The chosen records go into the main list ("加入列表"); "删除..."
// moves them to "最近删除", from where "恢复" brings them back for ArchiveKeepDeletedDays days;
// the user's own fields are edited in place and stored at once. "备份记录库..." copies the file.
#include <QDialog>
#include <QList>

class CArchiveModel;
class CArchiveSession;
class CUserDialogs;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class CArchiveWindow : public QDialog {
    Q_OBJECT
public:
    CArchiveWindow(CArchiveSession& session, CUserDialogs& dialogs, QWidget* owner);

    // The archive again (after an import stored records, say).
    void Refresh();
    // The ids of the chosen rows, top to bottom.
    QList<qint64> ChosenIds() const;
    CArchiveModel* Model() const { return m_model; }

    void OnAddToList();
    void OnDelete();
    void OnRestore();
    void OnBackup();

signals:
    // "加入列表" with these records, in the table's order.
    void addToList(const QList<qint64>& ids);

private:
    void ApplyFilter();
    void ShowDeleted(bool deleted);
    void UpdateCounts();

    CArchiveSession& m_session;
    CUserDialogs& m_dialogs;
    CArchiveModel* m_model;
    QTableView* m_table;
    QLineEdit* m_search;
    QCheckBox* m_useDates;
    QDateEdit* m_from;
    QDateEdit* m_to;
    QComboBox* m_type;
    QCheckBox* m_deleted;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_restore;
    QLabel* m_status;
};
