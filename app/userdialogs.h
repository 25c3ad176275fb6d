#pragma once
// The window's file dialogs and message boxes, behind one interface so that tests can script them.
#include <QByteArray>
#include <QString>
#include <QStringList>

class QWidget;

struct SaveFileRequest {
    QString caption;
    QString initialName;    // proposed file name, in the dialog's starting folder
    QString defaultSuffix;  // added to a name typed without an extension
    QStringList filters;    // entries like "(*.dxf)"
    int selectedFilter = 0;
};

class CUserDialogs {
public:
    virtual ~CUserDialogs() = default;

    // The chosen folder, or empty when cancelled.
    virtual QString ChooseFolder(QWidget* owner, const QString& caption) = 0;

    // The chosen existing file's path as its bytes, so that a GBK name survives, or empty when
    // cancelled. filter: entries like "测量记录文件 (*.nmea*)" separated by ";;".
    virtual QByteArray OpenFile(QWidget* owner, const QString& caption, const QString& filter) = 0;

    // The chosen path, or empty when cancelled. Choosing an existing file asks before
    // overwriting. *chosenFilter receives the filter in force when the user confirmed.
    virtual QString SaveFile(QWidget* owner, const SaveFileRequest& request, QString* chosenFilter = nullptr) = 0;

    // A message box with one OK button and no icon; returns when it is closed.
    virtual void Inform(QWidget* owner, const QString& caption, const QString& text) = 0;

    // A password typed without echo, or empty when cancelled. It is never kept.
    virtual QString AskPassword(QWidget* owner, const QString& caption, const QString& label) = 0;
};

// The program's own file-open dialog (CRecordFilePicker: GBK names, no file read while
// browsing), QFileDialog for folders and saving (with icons and types from names alone), and
// QMessageBox. Each file dialog starts in the folder the last one ended in during this run;
// nothing is kept between runs. The folder dialog lists the mounted removable volumes and
// starts on the one holding record files, when exactly one does.
class CQtUserDialogs final : public CUserDialogs {
public:
    // mediaRoots: where removable volumes are mounted (RemovableMediaRoots()), for the folder
    // dialog's sidebar and its start on the instrument's drive.
    CQtUserDialogs();
    explicit CQtUserDialogs(const QStringList& mediaRoots) : m_mediaRoots(mediaRoots) {}

    QString ChooseFolder(QWidget* owner, const QString& caption) override;
    QByteArray OpenFile(QWidget* owner, const QString& caption, const QString& filter) override;
    QString SaveFile(QWidget* owner, const SaveFileRequest& request, QString* chosenFilter) override;
    void Inform(QWidget* owner, const QString& caption, const QString& text) override;
    QString AskPassword(QWidget* owner, const QString& caption, const QString& label) override;

private:
    QStringList m_mediaRoots;
    QString m_lastFolder;
    QByteArray m_lastFolderBytes;  // the same, as bytes, where a GBK folder name survives
};
