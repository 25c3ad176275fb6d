// The main window's side of the record archive: the archive window, records taken from it into
// the list, both status lines at the end of an import, and the instrument noticed when mounted.
#include <QFile>
#include <QTableWidget>

#include "app/archivesession.h"
#include "app/archivewindow.h"
#include "app/importstatus.h"
#include "app/varneldlg.h"
#include "app/volumewatch.h"

void CVarnelDlg::FinishImport(const ImportReport& report)
{
    m_status->Show(report);
    m_archiveStatus->ShowText(m_archive->Finish());
    if (m_archiveWindow && m_archiveWindow->isVisible()) m_archiveWindow->Refresh();
}

void CVarnelDlg::OnArchive()
{
    if (m_archiveWindow == nullptr) {
        m_archiveWindow = new CArchiveWindow(*m_archive, *m_dialogs, this);
        connect(m_archiveWindow, &CArchiveWindow::addToList, this, &CVarnelDlg::AddArchivedRecords);
    } else {
        m_archiveWindow->Refresh();
    }
    m_archiveWindow->show();
    m_archiveWindow->raise();
    m_archiveWindow->activateWindow();
}

void CVarnelDlg::AddArchivedRecords(const QList<qint64>& ids)
{
    RecordArchive* archive = m_archive->Archive();
    if (archive == nullptr || ids.isEmpty()) {
        m_archiveStatus->ShowText(m_archive->ProblemText());
        return;
    }
    // The list holds MaxRecords: the first of the chosen are taken, the first on top.
    const QList<qint64> taken = ids.mid(0, MaxRecords);
    RecordTable& table = TheRecordTable();
    int added = 0, listed = 0;
    QStringList damaged;
    QByteArray firstPath;
    for (qsizetype i = taken.size() - 1; i >= 0; --i) {
        std::string reason;
        if (!archive->LoadRecord(taken[i], *m_scratch, reason)) {
            ArchiveRow row;
            archive->ReadRow(taken[i], row);
            damaged.prepend(QStringLiteral("%1 — %2").arg(QString::fromUtf8(row.nameText.c_str()),
                                                          reason.rfind("damaged", 0) == 0
                                                              ? QStringLiteral("记录库中的文件已损坏，与其 SHA-256 不符")
                                                              : QStringLiteral("无法读取")));
            continue;
        }
        firstPath = QByteArray(m_scratch->path);
        if (RecordTableFind(table, m_scratch->path) >= 0) {
            ++listed;
            continue;
        }
        const bool full = table.count == MaxRecords;
        RecordTableInsertTop(table, *m_scratch);
        if (full) m_list->removeRow(MaxRecords - 1);
        InsertRecordItem(0, 0);
        ++added;
    }
    QString text = QStringLiteral("已从记录库加入 %1 个记录").arg(added);
    if (listed > 0) text += QStringLiteral("，%1 个已在列表中").arg(listed);
    if (!damaged.isEmpty()) text += QStringLiteral("，%1 个已损坏未加入").arg(damaged.size());
    if (ids.size() > taken.size())
        text += QStringLiteral("；列表最多 %1 个记录，另外 %2 个未加入").arg(MaxRecords).arg(ids.size() - taken.size());
    m_archiveStatus->ShowText(text);
    if (!damaged.isEmpty()) m_archiveStatus->setToolTip(text + QLatin1Char('\n') + damaged.join(QLatin1Char('\n')));
    const int first = firstPath.isEmpty() ? -1 : RecordTableFind(table, firstPath.constData());
    if (first >= 0) SelectRecord(first);
}

void CVarnelDlg::OfferVolume(const QByteArray& folder, int newRecords)
{
    m_archiveStatus->ShowOffer(QStringLiteral("检测到测量仪：%1 个新记录，点击导入").arg(newRecords), [this, folder] {
        ImportReport report;
        ImportDevice(folder, report);
        FinishImport(report);
    });
}

void CVarnelDlg::WatchVolumes()
{
    m_volumes = new CVolumeWatch(this);
    connect(m_volumes, &CVolumeWatch::recordFilesFound, this, [this](const QByteArray& root, const QStringList& hashes) {
        RecordArchive* archive = m_archive->Archive();
        int fresh = 0;
        for (const QString& hash : hashes)
            if (archive == nullptr || !archive->Contains(hash.toStdString())) ++fresh;
        if (fresh > 0) OfferVolume(root, fresh);
    });
}
