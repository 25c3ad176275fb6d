#pragma once
// The status line under the record list: what the last import did, and which files it skipped
// and why. It never interrupts: the details are in its tooltip, shown on hover or on a click.
#include <QLabel>
#include <QList>
#include <QString>

#include <string>
#include <vector>

#include "import/loader.h"

// Why a file did not load, in the user's words.
QString LoadFailureText(LoadFailure failure);

struct SkippedFile {
    QString name;  // the path, or what was dropped when it was not a file
    QString reason;
};

// What one import did: one command, one drop, or the paths given at start-up.
struct ImportReport {
    int imported = 0;
    QList<SkippedFile> skipped;
    QStringList alreadyListed;  // files already in the table, shown again instead
    QStringList notListed;      // record files a folder import left unread: the list was full
    QString leftTheList;        // the record a single file pushed out of a full list

    void Skip(const QByteArray& path, LoadFailure failure);
    // The record files among paths[from …] (named like one), which a full list left unread.
    void NotListed(const std::vector<std::string>& paths, size_t from);
};

// "已导入 3 个记录，跳过 2 个文件"; "未导入：<file> — <reason>" when one file was tried and refused;
// "列表最多 200 个记录：另有 N 个文件未列出" and "“<file>”已移出列表" where the list was full.
QString ImportSummaryText(const ImportReport& report);

// One line per skipped file: "<path> — <reason>", and per file not listed; empty when none.
QString SkippedFilesText(const ImportReport& report);

class CImportStatus : public QLabel {
    Q_OBJECT
public:
    explicit CImportStatus(QWidget* parent);

    void Show(const ImportReport& report);

    // The whole summary; the line shows it cut in the middle where it is too long.
    const QString& Summary() const { return m_summary; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();

    QString m_summary;
};
