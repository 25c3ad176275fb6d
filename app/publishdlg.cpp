#include "app/publishdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <vector>

#include "app/userdialogs.h"
#include "import/record.h"
#include "import/record_labels.h"

QString PublishProblemMessage(PublishProblem problem, const QString& detail)
{
    const QString reason = detail.isEmpty() ? QString() : QStringLiteral("\n（%1）").arg(detail);
    switch (problem) {
    case PublishProblem::None: return QString();
    case PublishProblem::BadConnectionString: return QStringLiteral("连接字符串无法识别。") + reason;
    case PublishProblem::CannotConnect: return QStringLiteral("无法连接服务器。") + reason;
    case PublishProblem::NotPostgres: return QStringLiteral("对方不是 PostgreSQL 数据库服务器。") + reason;
    case PublishProblem::NeedsPassword: return QStringLiteral("服务器需要密码，没有发布。");
    case PublishProblem::BadPassword: return QStringLiteral("用户名或密码不对，服务器拒绝登录。") + reason;
    case PublishProblem::Refused: return QStringLiteral("服务器拒绝连接。") + reason;
    case PublishProblem::Timeout: return QStringLiteral("服务器没有响应（超时）。") + reason;
    case PublishProblem::Cancelled: return QStringLiteral("已取消。");
    case PublishProblem::Lost:
        return QStringLiteral("与服务器的连接中断。") + reason;
    case PublishProblem::NoPostGis: return QStringLiteral("数据库缺少 PostGIS 扩展（postgis）。") + reason;
    case PublishProblem::NewerSchema:
        return QStringLiteral("服务器上的数据表由更新版本的程序建立，请先升级本程序；没有写入任何内容。") + reason;
    case PublishProblem::ForeignTables:
        return QStringLiteral("数据库中已有其他程序的 measurements 表；没有写入任何内容。") + reason;
    case PublishProblem::Failed: return QStringLiteral("服务器拒绝了数据。") + reason;
    }
    return reason;
}

QString& CPublishDlg::LastConnection()
{
    static QString last;
    return last;
}

CPublishDlg::CPublishDlg(QWidget* owner, CUserDialogs& dialogs, const RecordTable& table)
    : QDialog(owner), m_dialogs(dialogs), m_table(table)
{
    setWindowTitle(QStringLiteral("发布到服务器"));
    setModal(true);
    m_connection = new QLineEdit(LastConnection(), this);
    m_connection->setObjectName(QStringLiteral("connection"));
    m_connection->setPlaceholderText(QStringLiteral("postgresql://用户名@服务器:5432/数据库"));
    m_connection->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    auto* what = new QLabel(QStringLiteral("把列表中的 %1 个测量记录发布到共享的 PostgreSQL/PostGIS 数据库。"
                                           "服务器已有的记录不会重复发布。")
                                .arg(table.count),
                            this);
    what->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, std::max(1, int(table.count)));
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    m_publish = buttons->addButton(QStringLiteral("发布"), QDialogButtonBox::AcceptRole);
    m_publish->setObjectName(QStringLiteral("publish"));
    m_close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    m_close->setObjectName(QStringLiteral("close"));
    m_publish->setDefault(true);
    connect(m_publish, &QPushButton::clicked, this, &CPublishDlg::Publish);
    connect(m_close, &QPushButton::clicked, this, &CPublishDlg::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("数据库连接："), m_connection);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addLayout(form);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    if (table.count == 0) {
        m_publish->setEnabled(false);
        SetStatus(QStringLiteral("请先导入测量记录。"));
    }
}

CPublishDlg::~CPublishDlg()
{
    if (m_thread) {
        m_closing = true;
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

void CPublishDlg::reject()
{
    // "取消" while publishing stops it; the dialog closes once the thread has ended.
    if (m_thread) {
        Cancel();
        return;
    }
    QDialog::reject();
}

void CPublishDlg::Cancel()
{
    if (!m_thread) return;
    m_cancel = true;
    SetStatus(QStringLiteral("正在取消……"));
    m_close->setEnabled(false);
}

void CPublishDlg::SetStatus(const QString& text)
{
    m_status->setText(text);
    // The dialog grows to show a long reason whole; it never shrinks under the user's hands.
    if (const int needed = layout()->totalHeightForWidth(width()); needed > height()) resize(width(), needed);
}

void CPublishDlg::SetRunning(bool running)
{
    m_connection->setEnabled(!running);
    m_publish->setEnabled(!running && m_table.count > 0);
    m_close->setEnabled(true);
    m_close->setText(running ? QStringLiteral("取消") : QStringLiteral("关闭"));
}

QString CPublishDlg::ResultText() const
{
    return m_result;
}

void CPublishDlg::Publish()
{
    if (m_thread || m_table.count == 0) return;
    if (m_connection->text().trimmed().isEmpty()) {
        SetStatus(QStringLiteral("请填写数据库连接，例如 postgresql://用户名@服务器:5432/数据库"));
        return;
    }
    Start(QString());
}

void CPublishDlg::Start(const QString& password)
{
    LastConnection() = m_connection->text().trimmed();
    m_cancel = false;
    m_outcome = Outcome{};
    m_result.clear();
    m_progress->setValue(0);
    SetStatus(QStringLiteral("正在连接服务器……"));
    SetRunning(true);

    PublishSettings settings;
    settings.conninfo = LastConnection().toStdString();
    settings.password = password.toStdString();
    settings.cancel = &m_cancel;
    m_thread = QThread::create([this, settings]() mutable {
        std::vector<PublishEntry> entries;
        entries.reserve(size_t(m_table.count));
        // The files are read again for their bytes: off this window's thread, since a drive may stall.
        for (int i = 0; i < m_table.count && !m_cancel; ++i) {
            PublishEntry entry;
            std::string reason;
            if (MakePublishEntry(m_table.records[i], entry, reason)) {
                entries.push_back(std::move(entry));
            } else if (m_outcome.unreadable++ == 0) {
                m_outcome.firstUnreadable =
                    QString::fromLocal8Bit(RecordFileName(m_table.records[i].path)) + QStringLiteral("：") +
                    QString::fromStdString(reason);
            }
        }
        ServerPublisher publisher;
        const int total = int(entries.size());
        bool ok = !m_cancel && publisher.Open(settings);
        std::fill(settings.password.begin(), settings.password.end(), '\0');
        if (ok) {
            QMetaObject::invokeMethod(this, [this, total] {
                m_progress->setRange(0, std::max(1, total));
                if (!m_cancel) SetStatus(QStringLiteral("正在发布……"));
            }, Qt::QueuedConnection);
            std::vector<PublishOutcome> outcomes;
            ok = publisher.Publish(entries, outcomes, [this](int done) {
                if (!m_closing)
                    QMetaObject::invokeMethod(m_progress, [bar = m_progress, done] { bar->setValue(done); },
                                              Qt::QueuedConnection);
            });
        }
        m_outcome.problem = m_cancel && !ok ? PublishProblem::Cancelled : publisher.Problem();
        if (!ok && m_outcome.problem == PublishProblem::None) m_outcome.problem = PublishProblem::Cancelled;
        m_outcome.detail = QString::fromStdString(publisher.Detail());
        m_outcome.sent = publisher.Counts().sent;
        m_outcome.known = publisher.Counts().known;
    });
    connect(m_thread, &QThread::finished, this, &CPublishDlg::Finished, Qt::QueuedConnection);
    m_thread->start();
}

void CPublishDlg::Finished()
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    SetRunning(false);
    const Outcome outcome = m_outcome;
    if (outcome.problem == PublishProblem::NeedsPassword) {
        const QString password = m_dialogs.AskPassword(
            this, QStringLiteral("发布到服务器"), QStringLiteral("数据库服务器需要密码（不会被保存）："));
        if (!password.isEmpty()) {
            Start(password);
            return;
        }
    }
    QStringList lines;
    if (outcome.problem == PublishProblem::None || outcome.sent > 0 || outcome.known > 0)
        lines << QStringLiteral("已发布 %1 个，服务器已有 %2 个").arg(outcome.sent).arg(outcome.known);
    if (outcome.problem != PublishProblem::None) {
        lines << PublishProblemMessage(outcome.problem, outcome.detail);
        if (outcome.problem == PublishProblem::Lost || outcome.problem == PublishProblem::Cancelled ||
            outcome.problem == PublishProblem::Timeout)
            lines << QStringLiteral("未完成的一批没有发布，下次发布时会补上。");
    }
    if (outcome.unreadable > 0)
        lines << QStringLiteral("%1 个记录的文件已无法读取，没有发布（%2）。").arg(outcome.unreadable).arg(outcome.firstUnreadable);
    m_result = lines.join(QLatin1Char('\n'));
    SetStatus(m_result);
    emit finishedPublishing();
}
