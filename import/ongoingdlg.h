#pragma once
// The waiting window of a folder import: "批量处理", the application icon, its message, how
// many of the folder's files have been read, and "取消", which stops the import after the files
// being read and keeps what has loaded.
#include <QDialog>
#include <QElapsedTimer>

#include <memory>

#include "import/folder_import.h"

class QProgressBar;
class QPushButton;

class OnGoingDlg : public QDialog {
    Q_OBJECT
public:
    explicit OnGoingDlg(QWidget* owner);
    ~OnGoingDlg() override;

    // Shows the window for a folder of fileCount files and paints it before returning.
    void Start(int fileCount);

    // filesRead files have been read. Repaints the waiting window and the owner, at most once a
    // frame: a folder's files are read faster than a screen shows them, and each round of events
    // costs the import time.
    void SetFilesRead(int filesRead);

    // Lets pending events through: repaints, and a click or key on "取消" (Space or Enter on it,
    // Escape in the window). All other user input is swallowed, so the import keeps the window to itself until it ends or is cancelled.
    void KeepResponsive();

    // The user asked to stop the import.
    bool CancelRequested() const { return m_cancelRequested; }

    // Escape in the waiting window asks to stop the import, as "取消" does.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether input meant for watched may pass: the waiting window's own.
    bool TakesInput(QObject* watched) const;

    QProgressBar* m_progress;
    QPushButton* m_cancel;
    bool m_cancelRequested = false;
    bool m_filtering = false;
    QElapsedTimer m_sinceEvents;  // since the last round of events
};

// Waits for one file read on the pool (LoadRecordFileAside): a read that has not answered after
// a moment brings up the waiting window, whose "取消" gives it up. A read that answers at once
// shows nothing.
class CSlowReadWait : public FolderImportObserver {
public:
    explicit CSlowReadWait(QWidget* owner);
    ~CSlowReadWait() override;
    void Waiting() override;
    bool Cancelled() override;

    static constexpr int ShowAfterMs = 300;

private:
    QWidget* m_owner;
    std::unique_ptr<OnGoingDlg> m_waiting;
    QElapsedTimer m_since;
};
