#pragma once
// The window's use of the record archive: opened when first needed, every loaded record stored
// as an import goes, one transaction per import, and what happened told in the user's words.
// An archive that cannot be used never stops an import: the import goes on without it.
#include <QByteArray>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "archive/record_archive.h"
#include "import/folder_import.h"

class CArchiveSession {
public:
    // path: the archive's file; by default $XDG_DATA_HOME/Varnel/records.sqlite.
    explicit CArchiveSession(std::string path = DefaultArchivePath());

    // The archive at path from now on: the open one is closed, and path opened when next needed.
    void UsePath(std::string path);

    // The open archive, opened now if it is not; nullptr when it cannot be opened (Problem
    // says why). A damaged file is moved aside and a new archive started, which the next
    // Finish tells.
    RecordArchive* Archive();

    // Stores a record that an import has just loaded; source: the folder or file imported.
    void Store(const MeasureRecord& record, const QByteArray& source);

    // Loads and stores the files that an import did not take into the list (past its
    // MaxRecords), reporting to observer as files filesBefore… of the import. The number of
    // records stored.
    int StoreFiles(const std::vector<std::string>& paths, const QByteArray& source, FolderImportObserver* observer,
                   int filesBefore);

    // Ends the import: commits it and returns the status line's sentence, "已保存到记录库：3 个新
    // 记录，2 个已有", or "记录库不可用：…"; empty when the import stored nothing and nothing
    // went wrong.
    QString Finish();

    // "记录库不可用：<reason>" for the archive's present problem, or "" when there is none.
    QString ProblemText();

private:
    std::string m_path;
    RecordArchive m_archive;
    bool m_tried = false;      // Open has been tried since the last problem
    bool m_stored = false;     // this import has tried to store a record
    int m_unreadable = 0;      // records of this import whose file could not be read again
    QString m_keptAsideNote;         // told once, with the next sentence
    std::string m_toldKeptAside;     // the file moved aside that has been told
};

// The archive's problem in the user's words: "记录库文件只读", "磁盘已满", …
QString ArchiveProblemText(ArchiveProblem problem, const std::string& detail);
