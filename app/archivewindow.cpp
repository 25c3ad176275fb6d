#include "app/archivewindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include "app/archivemodel.h"
#include "app/archivesession.h"
#include "app/userdialogs.h"

namespace {

QPushButton* Button(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CArchiveWindow::CArchiveWindow(CArchiveSession& session, CUserDialogs& dialogs, QWidget* owner)
    : QDialog(owner, Qt::Window), m_session(session), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("archiveWindow"));
    setWindowTitle(QStringLiteral("记录库"));
    m_model = new CArchiveModel(session, this);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("archiveSearch"));
    m_search->setPlaceholderText(QStringLiteral("查找：文件名、位置、客户、地块名、备注"));
    m_search->setClearButtonEnabled(true);
    m_useDates = new QCheckBox(QStringLiteral("测量日期"), this);
    m_useDates->setObjectName(QStringLiteral("archiveUseDates"));
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    m_from->setObjectName(QStringLiteral("archiveFrom"));
    m_to = new QDateEdit(QDate::currentDate(), this);
    m_to->setObjectName(QStringLiteral("archiveTo"));
    for (QDateEdit* date : {m_from, m_to}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setEnabled(false);
    }
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("archiveType"));
    m_type->addItem(QStringLiteral("全部类型"), -1);
    m_type->addItem(QStringLiteral("面积"), int(Area));
    m_type->addItem(QStringLiteral("车辆"), int(Vehicle));
    m_type->addItem(QStringLiteral("距离"), int(Distance));
    m_deleted = new QCheckBox(QStringLiteral("最近删除"), this);
    m_deleted->setObjectName(QStringLiteral("archiveDeleted"));
    m_deleted->setToolTip(QStringLiteral("删除的记录保留 %1 天，可以恢复").arg(ArchiveKeepDeletedDays));

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("archiveTable"));
    m_table->setModel(m_model);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(int(ArchiveColumn::MeasuredAt), Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Rows of one height, so that the view never measures 100 000 of them.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {20, 5, 12, 9, 10, 10, 22, 10, 10, 16, 24};
    for (int column = 0; column < int(std::size(widths)); ++column)
        m_table->setColumnWidth(column, widths[column] * digit + 12);

    m_add = Button(QStringLiteral("加入列表"), "archiveAdd", this);
    m_delete = Button(QStringLiteral("删除..."), "archiveDelete", this);
    m_restore = Button(QStringLiteral("恢复"), "archiveRestore", this);
    QPushButton* backup = Button(QStringLiteral("备份记录库..."), "archiveBackup", this);
    QPushButton* close = Button(QStringLiteral("关闭"), "archiveClose", this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("archiveStatusText"));
    m_status->setTextFormat(Qt::PlainText);

    auto* filters = new QHBoxLayout;
    filters->addWidget(m_search, 3);
    filters->addWidget(m_useDates);
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(QStringLiteral("至"), this));
    filters->addWidget(m_to);
    filters->addWidget(m_type);
    filters->addWidget(m_deleted);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    for (QPushButton* button : {m_add, m_delete, m_restore, backup, close}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(1000, 560);

    connect(m_search, &QLineEdit::textChanged, this, &CArchiveWindow::ApplyFilter);
    connect(m_useDates, &QCheckBox::toggled, this, [this](bool on) {
        m_from->setEnabled(on);
        m_to->setEnabled(on);
        ApplyFilter();
    });
    connect(m_from, &QDateEdit::dateChanged, this, &CArchiveWindow::ApplyFilter);
    connect(m_to, &QDateEdit::dateChanged, this, &CArchiveWindow::ApplyFilter);
    connect(m_type, &QComboBox::currentIndexChanged, this, &CArchiveWindow::ApplyFilter);
    connect(m_deleted, &QCheckBox::toggled, this, &CArchiveWindow::ShowDeleted);
    connect(m_add, &QPushButton::clicked, this, &CArchiveWindow::OnAddToList);
    connect(m_delete, &QPushButton::clicked, this, &CArchiveWindow::OnDelete);
    connect(m_restore, &QPushButton::clicked, this, &CArchiveWindow::OnRestore);
    connect(backup, &QPushButton::clicked, this, &CArchiveWindow::OnBackup);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_table, &QAbstractItemView::activated, this, [this] {
        if (!m_deleted->isChecked()) OnAddToList();
    });
    auto* remove = new QShortcut(QKeySequence::Delete, m_table);
    connect(remove, &QShortcut::activated, this, [this] { m_deleted->isChecked() ? void() : OnDelete(); });
    connect(m_model, &CArchiveModel::editFailed, this,
            [this] { m_status->setText(m_session.ProblemText().isEmpty() ? QStringLiteral("未能保存") : m_session.ProblemText()); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &CArchiveWindow::UpdateCounts);
    ShowDeleted(false);
    m_search->setFocus();
}

void CArchiveWindow::Refresh()
{
    m_model->Refresh();
}

void CArchiveWindow::ApplyFilter()
{
    ArchiveFilter filter;
    filter.text = m_search->text().toStdString();
    filter.deleted = m_deleted->isChecked();
    filter.type = m_type->currentData().toInt();
    if (m_useDates->isChecked()) {
        filter.fromUtc = m_from->date().startOfDay().toSecsSinceEpoch();
        filter.toUtc = m_to->date().addDays(1).startOfDay().toSecsSinceEpoch();
    }
    m_model->SetFilter(filter);
}

void CArchiveWindow::ShowDeleted(bool deleted)
{
    m_add->setVisible(!deleted);
    m_delete->setVisible(!deleted);
    m_restore->setVisible(deleted);
    ApplyFilter();
}

void CArchiveWindow::UpdateCounts()
{
    const QString problem = m_session.ProblemText();
    QString text = m_deleted->isChecked() ? QStringLiteral("最近删除 %1 个记录").arg(m_model->rowCount())
                                          : QStringLiteral("共 %1 个记录").arg(m_model->rowCount());
    if (!problem.isEmpty()) text = problem + QStringLiteral("；") + text;
    m_status->setText(text);
    const bool writable = m_session.Archive() && m_session.Archive()->Writable();
    m_delete->setEnabled(writable);
    m_restore->setEnabled(writable);
}

QList<qint64> CArchiveWindow::ChosenIds() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (const int row : rows) ids << m_model->IdAt(row);
    return ids;
}

void CArchiveWindow::OnAddToList()
{
    const QList<qint64> ids = ChosenIds();
    if (ids.isEmpty()) {
        m_status->setText(QStringLiteral("请先选择要加入列表的记录。"));
        return;
    }
    emit addToList(ids);
}

void CArchiveWindow::OnDelete()
{
    const QList<qint64> ids = ChosenIds();
    RecordArchive* archive = m_session.Archive();
    if (ids.isEmpty() || archive == nullptr) return;
    const QString question = QStringLiteral("删除选中的 %1 个记录？\n删除的记录在“最近删除”中保留 %2 天，可以恢复。")
                                 .arg(ids.size())
                                 .arg(ArchiveKeepDeletedDays);
    if (!m_dialogs.Confirm(this, QStringLiteral("删除记录"), question)) return;
    if (!archive->MarkDeleted({ids.begin(), ids.end()}, true)) {
        m_status->setText(m_session.ProblemText());
        return;
    }
    m_model->Refresh();
    m_status->setText(QStringLiteral("已删除 %1 个记录，可在“最近删除”中恢复").arg(ids.size()));
}

void CArchiveWindow::OnRestore()
{
    const QList<qint64> ids = ChosenIds();
    RecordArchive* archive = m_session.Archive();
    if (ids.isEmpty() || archive == nullptr) return;
    if (!archive->MarkDeleted({ids.begin(), ids.end()}, false)) {
        m_status->setText(m_session.ProblemText());
        return;
    }
    m_model->Refresh();
    m_status->setText(QStringLiteral("已恢复 %1 个记录").arg(ids.size()));
}

void CArchiveWindow::OnBackup()
{
    RecordArchive* archive = m_session.Archive();
    if (archive == nullptr) {
        m_dialogs.Inform(this, QStringLiteral("温馨提示："), m_session.ProblemText());
        return;
    }
    SaveFileRequest request;
    request.caption = QStringLiteral("备份记录库");
    request.initialName = QStringLiteral("记录库备份-%1.sqlite").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    request.defaultSuffix = QStringLiteral("sqlite");
    request.filters = {QStringLiteral("记录库 (*.sqlite)")};
    const QString file = m_dialogs.SaveFile(this, request);
    if (file.isEmpty()) return;
    std::string reason;
    if (archive->Backup(QFile::encodeName(file).toStdString(), reason))
        m_dialogs.Inform(this, QStringLiteral("温馨提示："), QStringLiteral("记录库已备份到 %1").arg(file));
    else
        m_dialogs.Inform(this, QStringLiteral("温馨提示："),
                         QStringLiteral("无法写入 %1：%2").arg(file, QString::fromUtf8(reason.c_str())));
}
