#include "app/archivesession.h"

#include <QFile>
#include <QFileInfo>

CArchiveSession::CArchiveSession(std::string path) : m_path(std::move(path)) {}

QString ArchiveProblemText(ArchiveProblem problem, const std::string& detail)
{
    switch (problem) {
    case ArchiveProblem::None: return {};
    case ArchiveProblem::CannotOpen: return QStringLiteral("无法打开记录库文件");
    case ArchiveProblem::NotArchive: return QStringLiteral("记录库文件已损坏");
    case ArchiveProblem::ReadOnly: return QStringLiteral("记录库文件只读");
    case ArchiveProblem::NewerSchema: return QStringLiteral("记录库由较新版本的程序建立，只能查看");
    case ArchiveProblem::Busy: return QStringLiteral("记录库正被其他程序使用");
    case ArchiveProblem::Full: return QStringLiteral("磁盘已满");
    case ArchiveProblem::Failed: break;
    }
    return QStringLiteral("数据库出错（%1）").arg(QString::fromUtf8(detail));
}

void CArchiveSession::UsePath(std::string path)
{
    m_archive.Close();
    m_path = std::move(path);
    m_tried = false;
    m_stored = false;
}

RecordArchive* CArchiveSession::Archive()
{
    if (m_archive.IsOpen() && m_archive.Problem() == ArchiveProblem::NotArchive) {
        // Found damaged while in use: kept aside, and a new archive takes its place.
        m_archive.KeepAsideAndRestart();
    } else if (!m_archive.IsOpen() && !m_tried) {
        m_tried = true;
        m_archive.Open(m_path, true);
    }
    if (!m_archive.KeptAside().empty() && m_archive.KeptAside() != m_toldKeptAside) {
        m_keptAsideNote = QStringLiteral("原记录库文件已损坏，已另存为 %1，并新建了记录库")
                              .arg(QFileInfo(QFile::decodeName(m_archive.KeptAside().c_str())).fileName());
    }
    return m_archive.IsOpen() ? &m_archive : nullptr;
}

void CArchiveSession::Store(const MeasureRecord& record, const QByteArray& source)
{
    if (!m_stored) {
        m_stored = true;
        m_unreadable = 0;
        // Each import tries again, so an archive that was busy or full is used once it is not.
        if (!m_archive.Writable()) m_tried = false;
        RecordArchive* archive = Archive();
        if (archive == nullptr || !archive->BeginImport()) return;
    }
    if (!m_archive.InImport()) return;  // the import's archiving has failed; the import goes on
    if (m_archive.Store(record, source.toStdString()) == StoreOutcome::Failed && m_archive.InImport())
        ++m_unreadable;
}

int CArchiveSession::StoreFiles(const std::vector<std::string>& paths, const QByteArray& source,
                                FolderImportObserver* observer, int filesBefore)
{
    if (paths.empty()) return 0;
    // Loaded the way the list's files were, MaxRecords at a time into a table of their own.
    class Storer : public FolderImportObserver {
    public:
        Storer(CArchiveSession& session, const RecordTable& table, const QByteArray& source,
               FolderImportObserver* observer, int filesBefore)
            : m_session(session), m_table(table), m_source(source), m_observer(observer), m_before(filesBefore)
        {
        }
        void Stored(int, int tableIndex) override
        {
            m_session.Store(m_table.records[tableIndex], m_source);
            ++stored;
        }
        void Progress(int done, int count) override
        {
            if (m_observer) m_observer->Progress(m_before + m_runStart + done, m_before + m_runStart + count);
        }
        void Skipped(int fileIndex, const std::string& path, LoadFailure why) override
        {
            if (m_observer) m_observer->Skipped(m_before + m_runStart + fileIndex, path, why);
        }
        void StartRun(int first) { m_runStart = first; }
        void Waiting() override
        {
            if (m_observer) m_observer->Waiting();
        }
        bool Cancelled() override { return m_observer && m_observer->Cancelled(); }
        int stored = 0;

    private:
        CArchiveSession& m_session;
        const RecordTable& m_table;
        const QByteArray& m_source;
        FolderImportObserver* m_observer;
        int m_before;
        int m_runStart = 0;
    };
    // Its pages are touched only as records are stored.
    auto table = std::make_unique_for_overwrite<RecordTable>();
    table->count = table->selected = 0;
    Storer storer(*this, *table, source, observer, filesBefore);
    std::vector<std::string> rest = paths;
    for (int first = 0; !rest.empty();) {
        storer.StartRun(first);
        const FolderImportResult run = ImportRecordFiles(rest, *table, &storer);
        first += run.filesDone;
        rest.erase(rest.begin(), rest.begin() + run.filesDone);
        if (run.cancelled || run.filesDone == 0) break;
    }
    return storer.stored;
}

QString CArchiveSession::Finish()
{
    QStringList parts;
    if (!m_keptAsideNote.isEmpty()) {
        parts << m_keptAsideNote;
        m_keptAsideNote.clear();
        m_toldKeptAside = m_archive.KeptAside();
    }
    if (m_stored) {
        m_stored = false;
        const bool committed = m_archive.InImport() && m_archive.CommitImport();
        if (committed) {
            const ArchiveStoreCounts& counts = m_archive.ImportCounts();
            QString saved = QStringLiteral("已保存到记录库：%1 个新记录，%2 个已有").arg(counts.added).arg(counts.known);
            if (m_unreadable > 0) saved += QStringLiteral("，%1 个文件无法再次读取").arg(m_unreadable);
            parts << saved;
        } else {
            parts << ProblemText();
        }
    }
    return parts.join(QStringLiteral("；"));
}

QString CArchiveSession::ProblemText()
{
    ArchiveProblem problem = m_archive.Problem();
    if (problem == ArchiveProblem::None && !m_archive.IsOpen()) problem = ArchiveProblem::CannotOpen;
    if (problem == ArchiveProblem::None) return {};
    return QStringLiteral("记录库不可用：") + ArchiveProblemText(problem, m_archive.ProblemDetail());
}
