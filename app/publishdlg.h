#pragma once
// "发布到服务器...": the loaded records sent to the land office's shared database. The work runs
// on a thread of its own behind a progress bar and "取消", so that the window keeps painting
// whatever the server does; the password is asked for when the server wants one, used for the
// one connection and never kept.
#include <QDialog>
#include <QString>

#include <atomic>
#include <memory>

#include "publish/server_publisher.h"

class CUserDialogs;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;
struct RecordTable;

class CPublishDlg : public QDialog {
    Q_OBJECT
public:
    // table: the records to publish (all that are listed); it must not change while the dialog
    // is open, which a modal dialog ensures.
    CPublishDlg(QWidget* owner, CUserDialogs& dialogs, const RecordTable& table);
    ~CPublishDlg() override;

    // Starts publishing with the connection string in the dialog's field.
    void Publish();
    // Asks a running publication to stop; the batch under way is not published.
    void Cancel();
    bool IsRunning() const { return m_thread != nullptr; }
    // What the last publication came to, as the dialog shows it.
    QString ResultText() const;

    // The connection string of the last publication in this run of the program; nothing is
    // kept between runs.
    static QString& LastConnection();

signals:
    void finishedPublishing();

protected:
    void reject() override;

private:
    struct Outcome {
        PublishProblem problem = PublishProblem::None;
        QString detail;
        int sent = 0, known = 0, unreadable = 0;
        QString firstUnreadable;
    };
    void Start(const QString& password);
    void Finished();
    void SetRunning(bool running);
    void SetStatus(const QString& text);

    CUserDialogs& m_dialogs;
    const RecordTable& m_table;
    QLineEdit* m_connection;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPushButton* m_publish;
    QPushButton* m_close;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel = false;
    std::atomic<bool> m_closing = false;
    Outcome m_outcome;  // written by the thread, read when it has finished
    QString m_result;
};

// The Chinese message for a publication that stopped at problem.
QString PublishProblemMessage(PublishProblem problem, const QString& detail);
