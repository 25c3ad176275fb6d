#pragma once
// The waiting window of a folder import: "批量处理", the application icon, its message and how
// many of the folder's files have been read.
#include <QDialog>

class QProgressBar;

class OnGoingDlg : public QDialog {
    Q_OBJECT
public:
    explicit OnGoingDlg(QWidget* owner);

    // Shows the window for a folder of fileCount files and paints it before returning.
    void Start(int fileCount);

    // filesRead files have been read. Repaints the waiting window and the owner but lets no user
    // input through, so the import keeps the window to itself until it ends.
    void SetFilesRead(int filesRead);

private:
    QProgressBar* m_progress;
};
