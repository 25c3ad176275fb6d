// The two import commands: a whole folder, and one file on top of the list.
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include "app/recordlist.h"
#include "app/resultpanel.h"
#include "tests/support/scripteddialogs.h"
#include "app/varneldlg.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"
#include "import/log.h"

namespace {

// A small record file whose points carry `second` in their time, so records tell apart.
void WriteRecordFile(const QString& path, int second)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3; ++i)
        file.write(QString::asprintf("2026-04-11,10:%02d:%02d,22.50%d,113.90%d\r\n", i, second, i, i * i).toLatin1());
}

// Names of the folder's files in the order the file system lists them.
QStringList ListingOrder(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
}

QStringList TablePaths()
{
    QStringList paths;
    const RecordTable& table = TheRecordTable();
    for (int i = 0; i < table.count; ++i) paths << QFile::decodeName(table.records[i].path);
    return paths;
}

}  // namespace

class TestImports : public CWindowFixture {
    Q_OBJECT

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

    void ImportFile(const QString& path)
    {
        m_dialogs->openAnswer = path;
        m_dlg->OnImportFile();
    }

    // The list mirrors the table row by row, and records[selected] is the one shown.
    void VerifyListMirrorsTable(int selected)
    {
        const RecordTable& table = TheRecordTable();
        QCOMPARE(List()->rowCount(), table.count);
        for (int i = 0; i < table.count; ++i) {
            QCOMPARE(List()->item(i, 0)->text(), RecordTimeText(table.records[i]));
            QCOMPARE(List()->item(i, 1)->text(), RecordValueText(table.records[i]));
        }
        QCOMPARE(table.selected, selected);
        QCOMPARE(List()->currentRow(), selected);
        QCOMPARE(List()->selectedItems().value(0)->row(), selected);
        QTRY_VERIFY(List()->hasFocus());
        QCOMPARE(ShownText(), ResultText(table.records[selected]));
    }

private slots:
    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    void folderImportTakesTheFolderRecordFilesInListingOrder()
    {
        const QString folder = Folder(QStringLiteral("device"));
        WriteRecordFile(folder + "/2026年04月11日10时20分30秒.nmea", 1);
        WriteRecordFile(folder + "/b.nmea", 2);
        WriteRecordFile(folder + "/x.nmea.bak", 3);
        WriteRecordFile(folder + "/notes.txt", 4);
        WriteFile(folder + "/empty.nmea", "no point here\r\n");
        QDir(folder).mkdir(QStringLiteral("sub"));
        WriteRecordFile(folder + "/sub/deeper.nmea", 5);

        ImportFolder(folder);
        QCOMPARE(m_dialogs->captions, QStringList{QStringLiteral("请选择要导入的设备：")});
        QStringList expected;
        for (const QString& name : ListingOrder(folder))
            if (name.contains(QLatin1String(".nmea")) && name != QLatin1String("empty.nmea"))
                expected << folder + '/' + name;
        QCOMPARE(TablePaths(), expected);
        VerifyListMirrorsTable(0);
        for (const QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(w->isVisible() && w->windowTitle() == QStringLiteral("批量处理")));
    }

    // While the folder is read, the waiting window is up and counts the files read so far.
    void waitingWindowShowsProgress()
    {
        const QString folder = Folder(QStringLiteral("device"));
        for (int i = 0; i < 4; ++i) WriteRecordFile(folder + QString::asprintf("/r%d.nmea", i), i);
        WriteFile(folder + "/other.txt", "x");

        struct Seen {
            QStringList lines;
            QList<int> progress;
            QString message;
            int total = 0;
        } seen;
        SetLogSink(
            [](void* context, const char* line) {
                auto* s = static_cast<Seen*>(context);
                s->lines << QString::fromUtf8(line);
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (!w->isVisible() || w->windowTitle() != QStringLiteral("批量处理")) continue;
                    s->message = w->findChild<QLabel*>(QStringLiteral("message"))->text();
                    s->total = w->findChild<QProgressBar*>()->maximum();
                    s->progress << w->findChild<QProgressBar*>()->value();
                }
            },
            &seen);
        ImportFolder(folder);
        SetLogSink(nullptr, nullptr);

        QCOMPARE(seen.lines.value(0), QStringLiteral("[INFO] Open Dev: %1.").arg(folder));
        QCOMPARE(seen.lines.size(), 5);
        QCOMPARE(seen.message, QStringLiteral("您好，数据批量处理中，请稍等，谢谢！"));
        QCOMPARE(seen.total, 5);
        QCOMPARE(seen.progress.size(), 4);  // the waiting window was up at every stored record
        for (int i = 1; i < seen.progress.size(); ++i) QVERIFY(seen.progress[i] > seen.progress[i - 1]);
        QCOMPARE(TheRecordTable().count, 4);
    }

    // The instrument names its files in GBK, which is not valid in the locale's encoding; such a
    // file is still read, under the very bytes of its name ("距离" in GBK: a distance).
    void folderImportReadsGbkNames()
    {
        const QByteArray folder = QFile::encodeName(Folder(QStringLiteral("gbk")));
        const QByteArray path = folder + "/\xBE\xE0\xC0\xEB.nmea";
        FILE* file = std::fopen(path.constData(), "wb");
        QVERIFY(file);
        std::fputs("2026-04-11,10:00:00,22.5,113.9\r\n2026-04-11,10:00:09,22.6,113.9\r\n", file);
        std::fclose(file);

        ImportFolder(QFile::decodeName(folder));
        QCOMPARE(TheRecordTable().count, 1);
        QCOMPARE(QByteArray(TheRecordTable().records[0].path), path);
        QCOMPARE(TheRecordTable().records[0].type, int(Distance));
        VerifyListMirrorsTable(0);
        // QTemporaryDir cannot remove a name it cannot decode.
        QCOMPARE(std::remove(path.constData()), 0);
    }

    void folderImportStopsAt200()
    {
        const QString folder = Folder(QStringLiteral("many"));
        for (int i = 0; i < 250; ++i) WriteRecordFile(folder + QString::asprintf("/r%03d.nmea", i), i % 60);
        ImportFolder(folder);
        QStringList expected = ListingOrder(folder).mid(0, MaxRecords);
        for (QString& name : expected) name = folder + '/' + name;
        QCOMPARE(TablePaths(), expected);
        VerifyListMirrorsTable(0);

        // A full table is replaced as well.
        const QString next = Folder(QStringLiteral("next"));
        WriteRecordFile(next + "/only.nmea", 9);
        ImportFolder(next);
        QCOMPARE(TablePaths(), QStringList{next + "/only.nmea"});
        VerifyListMirrorsTable(0);
    }

    void secondFolderImportReplacesTheFirst()
    {
        const QString first = Folder(QStringLiteral("first"));
        for (int i = 0; i < 3; ++i) WriteRecordFile(first + QString::asprintf("/a%d.nmea", i), i);
        ImportFolder(first);
        ImportFile(first + "/a1.nmea");  // selects an entry other than 0
        QCOMPARE(TheRecordTable().selected, TablePaths().indexOf(first + "/a1.nmea"));

        const QString second = Folder(QStringLiteral("second"));
        WriteRecordFile(second + "/only.nmea", 9);
        ImportFolder(second);
        QCOMPARE(TablePaths(), QStringList{second + "/only.nmea"});
        VerifyListMirrorsTable(0);
    }

    void folderWhereNothingLoadsKeepsTheRecordsAndShowsEntryZero()
    {
        const QString first = Folder(QStringLiteral("first"));
        for (int i = 0; i < 3; ++i) WriteRecordFile(first + QString::asprintf("/a%d.nmea", i), i);
        ImportFolder(first);
        const QStringList before = TablePaths();
        m_dlg->OnListDoubleClick(2);
        QCOMPARE(TheRecordTable().selected, 2);

        const QString useless = Folder(QStringLiteral("useless"));
        WriteRecordFile(useless + "/readme.txt", 1);
        WriteFile(useless + "/broken.nmea", "2026-04-11,10:00:00,north,east\r\n");
        ImportFolder(useless);
        QCOMPARE(TablePaths(), before);
        VerifyListMirrorsTable(0);
    }

    void cancelledChooserChangesNothing()
    {
        const QString first = Folder(QStringLiteral("first"));
        WriteRecordFile(first + "/a.nmea", 1);
        ImportFolder(first);
        ImportFolder(QString());
        m_dialogs->openAnswer.clear();
        m_dlg->OnImportFile();
        QCOMPARE(TablePaths(), QStringList{first + "/a.nmea"});
        VerifyListMirrorsTable(0);
    }

    void singleImportsStackNewestFirst()
    {
        const QString folder = Folder(QStringLiteral("files"));
        for (const char* name : {"A.nmea", "B.nmea", "C.nmea"}) {
            WriteRecordFile(folder + '/' + name, name[0] - 'A');
            ImportFile(folder + '/' + name);
        }
        QCOMPARE(TablePaths(), QStringList({folder + "/C.nmea", folder + "/B.nmea", folder + "/A.nmea"}));
        VerifyListMirrorsTable(0);
        QCOMPARE(m_dialogs->openFilters.value(0), QStringLiteral("All Files (*.*)"));

        // A again: shown from where it stands, nothing read, no new row. The file is changed on
        // disk to show that it is not read again.
        WriteRecordFile(folder + "/A.nmea", 59);
        ImportFile(folder + "/A.nmea");
        QCOMPARE(TablePaths(), QStringList({folder + "/C.nmea", folder + "/B.nmea", folder + "/A.nmea"}));
        QCOMPARE(TheRecordTable().records[2].second, 0);
        VerifyListMirrorsTable(2);

        // A file that is not a record file changes nothing, not even what is shown.
        WriteRecordFile(folder + "/D.txt", 7);
        ImportFile(folder + "/D.txt");
        VerifyListMirrorsTable(2);

        // The same file under another spelling of its path counts as a new file.
        ImportFile(folder + "/../files/A.nmea");
        QCOMPARE(TheRecordTable().count, 4);
        VerifyListMirrorsTable(0);
    }

    void singleImportIntoAFullTableDropsTheBottomRecord()
    {
        const QString folder = Folder(QStringLiteral("full"));
        for (int i = 0; i < MaxRecords; ++i) WriteRecordFile(folder + QString::asprintf("/r%03d.nmea", i), i % 60);
        ImportFolder(folder);
        const QStringList before = TablePaths();
        QCOMPARE(before.size(), MaxRecords);

        WriteRecordFile(m_dir->filePath(QStringLiteral("new.nmea")), 30);
        ImportFile(m_dir->filePath(QStringLiteral("new.nmea")));
        QCOMPARE(TablePaths(), QStringList{m_dir->filePath(QStringLiteral("new.nmea"))} + before.mid(0, MaxRecords - 1));
        VerifyListMirrorsTable(0);
    }
};

VARNEL_WINDOW_TEST_MAIN(TestImports)
#include "tst_imports.moc"
