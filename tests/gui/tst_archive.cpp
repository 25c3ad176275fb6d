// The record archive in the window: what each import stores and says, the archive window
// (filter, sort, fields edited in place, add to list, delete and restore, backup), an archive
// that cannot be used, and an instrument's drive noticed when it is mounted.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <sqlite3.h>

#include "app/archivemodel.h"
#include "app/archivesession.h"
#include "app/archivewindow.h"
#include "app/importstatus.h"
#include "app/varneldlg.h"
#include "app/volumewatch.h"
#include "tests/support/scripteddialogs.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

namespace {

// A small record file whose points carry `second` in their time, so records tell apart; day
// sets the date.
void WriteRecordFile(const QString& path, int second, int day = 11)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3; ++i)
        file.write(QString::asprintf("2026-04-%02d,10:%02d:%02d,22.50%d,113.90%d\r\n", day, i, second % 60, i, i * i)
                       .toLatin1());
}

}  // namespace

class TestArchive : public CWindowFixture {
    Q_OBJECT

    CImportStatus* ImportLine() const { return m_dlg->findChild<CImportStatus*>(QStringLiteral("importStatus")); }
    CImportStatus* ArchiveLine() const { return m_dlg->findChild<CImportStatus*>(QStringLiteral("archiveStatus")); }
    QString ArchivePath() const { return m_data->filePath(QStringLiteral("Varnel/records.sqlite")); }
    QString Folder(const QString& name) const
    {
        QDir(m_dir->path()).mkpath(name);
        return m_dir->filePath(name);
    }
    void ImportFolder(const QString& folder)
    {
        m_dialogs->folderAnswer = folder;
        m_dlg->OnImportDevice();
    }
    CArchiveWindow* OpenArchiveWindow()
    {
        m_dlg->activateWindow();  // back from the import's waiting window
        if (!QTest::qWaitForWindowActive(m_dlg)) return nullptr;
        QTest::keyClick(m_dlg, Qt::Key_L, Qt::ControlModifier);
        auto* window = m_dlg->findChild<CArchiveWindow*>();
        if (window) QTest::qWaitForWindowExposed(window);
        return window;
    }
    // The archive window's column as shown, top to bottom.
    static QStringList Column(const CArchiveWindow* window, ArchiveColumn column)
    {
        QStringList texts;
        const CArchiveModel* model = window->Model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, int(column)).data().toString();
        return texts;
    }

private slots:
    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    // Every import stores what it loads; the same bytes a second time are known.
    void importsAreArchivedOnce()
    {
        const QString device = Folder(QStringLiteral("device"));
        for (int i = 0; i < 2; ++i) WriteRecordFile(device + QString::asprintf("/old%d.nmea", i), i);
        ImportFolder(device);
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：2 个新记录，0 个已有"));
        for (int i = 0; i < 3; ++i) WriteRecordFile(device + QString::asprintf("/new%d.nmea", i), 10 + i);
        ImportFolder(device);
        QCOMPARE(ImportLine()->Summary(), QStringLiteral("已导入 5 个记录"));
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：3 个新记录，2 个已有"));

        // A single file, and the same file again under another name.
        WriteRecordFile(m_dir->filePath(QStringLiteral("one.nmea")), 30);
        QFile::copy(m_dir->filePath(QStringLiteral("one.nmea")), m_dir->filePath(QStringLiteral("copy.nmea")));
        m_dialogs->openAnswer = m_dir->filePath(QStringLiteral("one.nmea"));
        m_dlg->OnImportFile();
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：1 个新记录，0 个已有"));
        m_dlg->ImportPaths({QFile::encodeName(m_dir->filePath(QStringLiteral("copy.nmea")))});
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：0 个新记录，1 个已有"));
        QCOMPARE(m_dlg->ArchiveSession().Archive()->RecordCount(), 6);
    }

    // The list keeps its first 200; the archive keeps them all and the line says so.
    void aFolderPastTheListIsArchivedWhole()
    {
        const QString device = Folder(QStringLiteral("many"));
        for (int i = 0; i < MaxRecords + 7; ++i) WriteRecordFile(device + QString::asprintf("/r%03d.nmea", i), i, 1 + i / 60);
        ImportFolder(device);
        QCOMPARE(TheRecordTable().count, MaxRecords);
        QVERIFY2(ImportLine()->Summary().contains(QStringLiteral("另有 7 个文件未列出（7 个已存入记录库）")), qPrintable(ImportLine()->Summary()));
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：207 个新记录，0 个已有"));
    }

    void archiveWindowFiltersSortsAndEdits()
    {
        const QString device = Folder(QStringLiteral("device"));
        WriteRecordFile(device + "/east.nmea", 1, 12);
        WriteRecordFile(device + "/west CAR.nmea", 2, 11);
        WriteRecordFile(device + "/north DISTANCE.nmea", 3, 13);
        ImportFolder(device);
        CArchiveWindow* window = OpenArchiveWindow();
        QVERIFY(window);
        // The newest first.
        QCOMPARE(Column(window, ArchiveColumn::FileName),
                 QStringList({"north DISTANCE.nmea", "east.nmea", "west CAR.nmea"}));
        QCOMPARE(Column(window, ArchiveColumn::Type), QStringList({"距离", "面积", "车辆"}));

        auto* table = window->findChild<QTableView*>(QStringLiteral("archiveTable"));
        table->horizontalHeader()->setSortIndicator(int(ArchiveColumn::FileName), Qt::AscendingOrder);
        QCOMPARE(Column(window, ArchiveColumn::FileName),
                 QStringList({"east.nmea", "north DISTANCE.nmea", "west CAR.nmea"}));

        // Typing filters at once.
        auto* search = window->findChild<QLineEdit*>(QStringLiteral("archiveSearch"));
        QTest::keyClicks(search, QStringLiteral("car"));
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"west CAR.nmea"}));
        search->clear();
        auto* type = window->findChild<QComboBox*>(QStringLiteral("archiveType"));
        type->setCurrentIndex(type->findData(int(Distance)));
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"north DISTANCE.nmea"}));
        type->setCurrentIndex(0);

        // A customer typed into its cell is stored at once, and found by the filter.
        const QModelIndex customer = window->Model()->index(0, int(ArchiveColumn::Customer));
        QVERIFY(window->Model()->flags(customer) & Qt::ItemIsEditable);
        table->setFocus();
        table->setCurrentIndex(customer);
        table->edit(customer);
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("张三 'x'); --"));  // typed by an input method
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!table->viewport()->findChild<QLineEdit*>() || !table->viewport()->findChild<QLineEdit*>()->isVisible());
        RecordArchive* archive = m_dlg->ArchiveSession().Archive();
        ArchiveRow row;
        QVERIFY(archive->ReadRow(window->Model()->IdAt(0), row));
        QCOMPARE(QString::fromStdString(row.customer), QStringLiteral("张三 'x'); --"));
        search->setText(QStringLiteral("张三"));
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"east.nmea"}));
    }

    // "加入列表" puts the chosen records on top of the list and shows the first; "删除..." asks,
    // and "最近删除" brings them back.
    void addToListDeleteAndRestore()
    {
        const QString device = Folder(QStringLiteral("device"));
        WriteRecordFile(device + "/a.nmea", 1, 11);
        WriteRecordFile(device + "/b.nmea", 2, 12);
        WriteRecordFile(device + "/c.nmea", 3, 13);
        ImportFolder(device);
        WriteRecordFile(m_dir->filePath(QStringLiteral("other.nmea")), 9, 14);
        m_dlg->ImportPaths({QFile::encodeName(m_dir->filePath(QStringLiteral("other.nmea")))});
        QCOMPARE(TheRecordTable().count, 4);
        // A new run: the list is empty again, the archive is not.
        std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
        List()->setRowCount(0);

        CArchiveWindow* window = OpenArchiveWindow();
        QVERIFY(window);
        auto* table = window->findChild<QTableView*>(QStringLiteral("archiveTable"));
        table->horizontalHeader()->setSortIndicator(int(ArchiveColumn::FileName), Qt::AscendingOrder);
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"a.nmea", "b.nmea", "c.nmea", "other.nmea"}));
        table->selectionModel()->select(window->Model()->index(1, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->selectionModel()->select(window->Model()->index(3, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveAdd")), Qt::LeftButton);
        QCOMPARE(TheRecordTable().count, 2);
        QCOMPARE(QFileInfo(QFile::decodeName(TheRecordTable().records[0].path)).fileName(), QStringLiteral("b.nmea"));
        QCOMPARE(QFileInfo(QFile::decodeName(TheRecordTable().records[1].path)).fileName(), QStringLiteral("other.nmea"));
        QCOMPARE(TheRecordTable().selected, 0);
        QCOMPARE(List()->rowCount(), 2);
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已从记录库加入 2 个记录"));
        // Again: they are listed already and shown, not listed twice.
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveAdd")), Qt::LeftButton);
        QCOMPARE(TheRecordTable().count, 2);
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已从记录库加入 0 个记录，2 个已在列表中"));

        // Deleting asks first; a "no" deletes nothing.
        m_dialogs->confirmAnswer = false;
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveDelete")), Qt::LeftButton);
        QCOMPARE(m_dialogs->questions.size(), 1);
        QCOMPARE(window->Model()->rowCount(), 4);
        m_dialogs->confirmAnswer = true;
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveDelete")), Qt::LeftButton);
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"a.nmea", "c.nmea"}));
        auto* deleted = window->findChild<QCheckBox*>(QStringLiteral("archiveDeleted"));
        deleted->setChecked(true);
        QCOMPARE(Column(window, ArchiveColumn::FileName), QStringList({"b.nmea", "other.nmea"}));
        table->selectAll();
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveRestore")), Qt::LeftButton);
        QCOMPARE(window->Model()->rowCount(), 0);
        deleted->setChecked(false);
        QCOMPARE(window->Model()->rowCount(), 4);

        // A backup is a whole archive.
        m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("backup.sqlite"));
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("archiveBackup")), Qt::LeftButton);
        RecordArchive copy;
        QVERIFY(copy.Open(QFile::encodeName(m_dialogs->saveAnswer).toStdString()));
        QCOMPARE(copy.RecordCount(), 4);
    }

    // An archive that cannot be used never stops an import: the line says why.
    void anUnusableArchiveDoesNotStopImports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("a folder in its place") << "folder" << QStringLiteral("记录库不可用：无法打开记录库文件");
        QTest::newRow("made by a newer version") << "newer" << QStringLiteral("记录库不可用：记录库由较新版本的程序建立，只能查看");
        QTest::newRow("not a database") << "garbage" << QStringLiteral("原记录库文件已损坏，已另存为 records.sqlite.corrupt-");
    }

    void anUnusableArchiveDoesNotStopImports()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QDir().mkpath(QFileInfo(ArchivePath()).path());
        if (kind == QLatin1String("folder")) {
            QDir().mkpath(ArchivePath());
        } else {
            // An archive of a later schema, or a file of something else.
            if (kind == QLatin1String("newer")) {
                RecordArchive made;
                QVERIFY(made.Open(QFile::encodeName(ArchivePath()).toStdString()));
                QCOMPARE(sqlite3_exec(made.Handle(), "PRAGMA user_version = 2", nullptr, nullptr, nullptr), SQLITE_OK);
            } else {
                WriteFile(ArchivePath(), "not a database at all");
            }
        }
        const QString device = Folder(QStringLiteral("device"));
        WriteRecordFile(device + "/a.nmea", 1);
        ImportFolder(device);
        QCOMPARE(TheRecordTable().count, 1);
        QCOMPARE(ImportLine()->Summary(), QStringLiteral("已导入 1 个记录"));
        QVERIFY2(ArchiveLine()->Summary().startsWith(says), qPrintable(ArchiveLine()->Summary()));
        if (kind == QLatin1String("garbage")) {
            QVERIFY(ArchiveLine()->Summary().endsWith(QStringLiteral("已保存到记录库：1 个新记录，0 个已有")));
            QDir folder(QFileInfo(ArchivePath()).path());
            const QStringList aside = folder.entryList({QStringLiteral("records.sqlite.corrupt-*")});
            QCOMPARE(aside.size(), 1);
            QCOMPARE(ReadAll(folder.filePath(aside[0])), QByteArray("not a database at all"));
        }
    }

    // A mounted drive's record files are checked against the archive; the new ones are offered
    // and imported on a click, never before.
    void aMountedInstrumentIsOffered()
    {
        const QString drive = Folder(QStringLiteral("drive"));
        WriteRecordFile(drive + "/known.nmea", 1);
        ImportFolder(drive);
        WriteRecordFile(drive + "/new1.nmea", 2);
        WriteRecordFile(drive + "/new2.nmea", 3);
        std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
        List()->setRowCount(0);

        m_dlg->findChild<CVolumeWatch*>()->CheckVolume(QFile::encodeName(drive));
        QTRY_COMPARE(ArchiveLine()->Summary(), QStringLiteral("检测到测量仪：2 个新记录，点击导入"));
        QCOMPARE(TheRecordTable().count, 0);
        QTest::mouseClick(ArchiveLine(), Qt::LeftButton);
        QCOMPARE(TheRecordTable().count, 3);
        QCOMPARE(ArchiveLine()->Summary(), QStringLiteral("已保存到记录库：2 个新记录，1 个已有"));

        // Nothing new: nothing offered.
        ArchiveLine()->ShowText(QString());
        m_dlg->findChild<CVolumeWatch*>()->CheckVolume(QFile::encodeName(drive));
        QTest::qWait(200);
        QCOMPARE(ArchiveLine()->Summary(), QString());
    }
};

VARNEL_WINDOW_TEST_MAIN(TestArchive)

#include "tst_archive.moc"
