// The two import commands: a whole folder, and one file on top of the list.
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <sys/stat.h>

#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "app/importstatus.h"
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

// What is dropped: URLs (names in the scratch folder are made file URLs), or a text when there
// is none.
struct Dropped {
    QStringList urls;
    QString text;
};

// A drive whose reads of files named "stalled…" do not return until Release: a USB drive that
// stopped answering.
struct StalledDrive {
    static int Load(const char* path, MeasureRecord& record, LoadFailure* why)
    {
        if (std::strstr(path, "/stalled") != nullptr) {
            std::unique_lock lock(mutex);
            answered.wait(lock, [] { return released; });
        }
        return LoadRecordFile(path, record, why);
    }
    static void Release()
    {
        const std::lock_guard lock(mutex);
        released = true;
        answered.notify_all();
    }
    static inline std::mutex mutex;
    static inline std::condition_variable answered;
    static inline bool released = false;
};

}  // namespace

Q_DECLARE_METATYPE(Dropped)

class TestImports : public CWindowFixture {
    Q_OBJECT

    const CImportStatus* Status() const { return m_dlg->findChild<CImportStatus*>(); }
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

    // The status line tells what each import did; its tooltip, which file was skipped and why.
    void statusLineReportsEachImport()
    {
        const QString folder = Folder(QStringLiteral("device"));
        for (int i = 0; i < 3; ++i) WriteRecordFile(folder + QString::asprintf("/r%d.nmea", i), i);
        WriteRecordFile(folder + "/TRACK001.NMEA", 4);
        WriteFile(folder + "/empty.nmea", "no point here\r\n");
        ImportFolder(folder);
        QCOMPARE(TheRecordTable().count, 3);
        QCOMPARE(Status()->text(), QStringLiteral("已导入 3 个记录，跳过 2 个文件"));
        QStringList skipped = Status()->toolTip().split('\n');
        skipped.sort();
        QCOMPARE(skipped, QStringList({folder + QStringLiteral("/TRACK001.NMEA — 文件名中没有 .nmea"),
                                       folder + QStringLiteral("/empty.nmea — 没有坐标点")}));

        WriteRecordFile(m_dir->filePath(QStringLiteral("log.txt")), 5);
        ImportFile(m_dir->filePath(QStringLiteral("log.txt")));
        QCOMPARE(Status()->text(), QStringLiteral("未导入：log.txt — 文件名中没有 .nmea"));
        QCOMPARE(Status()->toolTip(), m_dir->filePath(QStringLiteral("log.txt — 文件名中没有 .nmea")));
        ImportFile(m_dir->filePath(QStringLiteral("missing.nmea")));
        QCOMPARE(Status()->text(), QStringLiteral("未导入：missing.nmea — 无法打开"));

        ImportFile(folder + "/r1.nmea");
        QCOMPARE(Status()->text(), QStringLiteral("已在列表中：r1.nmea"));
        WriteRecordFile(m_dir->filePath(QStringLiteral("new.nmea")), 6);
        ImportFile(m_dir->filePath(QStringLiteral("new.nmea")));
        QCOMPARE(Status()->text(), QStringLiteral("已导入 1 个记录"));
        QVERIFY(Status()->toolTip().isEmpty());
    }

    void loadFailureTexts()
    {
        QCOMPARE(LoadFailureText(LoadFailure::NotRecordName), QStringLiteral("文件名中没有 .nmea"));
        QCOMPARE(LoadFailureText(LoadFailure::PathTooLong), QStringLiteral("路径太长"));
        QCOMPARE(LoadFailureText(LoadFailure::CannotOpen), QStringLiteral("无法打开"));
        QCOMPARE(LoadFailureText(LoadFailure::CannotRead), QStringLiteral("读取出错"));
        QCOMPARE(LoadFailureText(LoadFailure::NoPoints), QStringLiteral("没有坐标点"));
    }

    // Anything dropped on the window, on the list or on the map, is imported as the import
    // commands import it; what cannot be is reported like a skipped file.
    void drops_data()
    {
        QTest::addColumn<Dropped>("dropped");
        QTest::addColumn<QStringList>("table");  // paths in the scratch folder; "device/": its files
        QTest::addColumn<QString>("status");
        const QString web = QStringLiteral("https://example.com/x.nmea");
        QTest::newRow("folder") << Dropped{{"device"}, {}} << QStringList{"device/"} << QStringLiteral("已导入 2 个记录");
        QTest::newRow("two files") << Dropped{{"one.nmea", "two.nmea"}, {}} << QStringList{"two.nmea", "one.nmea"}
                                   << QStringLiteral("已导入 2 个记录");
        QTest::newRow("a file and a web address") << Dropped{{"one.nmea", web}, {}} << QStringList{"one.nmea"}
                                                  << QStringLiteral("已导入 1 个记录，跳过 1 个文件");
        QTest::newRow("web address") << Dropped{{web}, {}} << QStringList{}
                                     << QStringLiteral("未导入：https://example.com/x.nmea — 不是本地文件");
        QTest::newRow("text") << Dropped{{}, QStringLiteral("  hello\n world ")} << QStringList{}
                              << QStringLiteral("未导入：hello world — 不是文件");
        QTest::newRow("FIFO") << Dropped{{"fifo.nmea"}, {}} << QStringList{} << QStringLiteral("未导入：fifo.nmea — 无法打开");
        QTest::newRow("vanished folder") << Dropped{{"gone"}, {}} << QStringList{}
                                         << QStringLiteral("未导入：gone — 无法打开");
    }

    void drops()
    {
        QFETCH(Dropped, dropped);
        QFETCH(QStringList, table);
        QFETCH(QString, status);
        const QString device = Folder(QStringLiteral("device"));
        WriteRecordFile(device + "/a.nmea", 1);
        WriteRecordFile(device + "/b.nmea", 2);
        WriteRecordFile(m_dir->filePath(QStringLiteral("one.nmea")), 3);
        WriteRecordFile(m_dir->filePath(QStringLiteral("two.nmea")), 4);
        QCOMPARE(mkfifo(QFile::encodeName(m_dir->filePath(QStringLiteral("fifo.nmea"))).constData(), 0600), 0);
        QList<QUrl> urls;
        for (const QString& url : dropped.urls)
            urls << (url.contains(QLatin1String("://")) ? QUrl(url) : QUrl::fromLocalFile(m_dir->filePath(url)));
        QStringList expected;
        for (const QString& path : table) {
            if (path != QLatin1String("device/")) expected << m_dir->filePath(path);
            for (const QString& name : ListingOrder(device))
                if (path == QLatin1String("device/")) expected << device + '/' + name;
        }

        auto* map = m_dlg->findChild<QWidget*>(QStringLiteral("mapArea"));
        QTRY_VERIFY(map->focusProxy());  // the surface the browser renders into, which takes drops
        for (QWidget* target : {List()->viewport(), map->focusProxy()}) {
            std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
            List()->setRowCount(0);
            m_dlg->findChild<CImportStatus*>()->Show({});
            QMimeData data;
            if (!urls.isEmpty()) data.setUrls(urls);
            if (!dropped.text.isEmpty()) data.setText(dropped.text);
            const QPointF at(target->width() / 2, target->height() / 2);
            QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            QVERIFY(drop.isAccepted());
            QTRY_COMPARE(Status()->Summary(), status);
            QCOMPARE(TablePaths(), expected);
            if (!expected.isEmpty()) VerifyListMirrorsTable(0);
        }
    }

    // A file manager sends a GBK name percent-encoded byte for byte; the dropped file is read
    // under those very bytes ("距离" in GBK: a distance).
    void dropOfAGbkNamedFile()
    {
        const QByteArray path = QFile::encodeName(m_dir->path()) + "/\xBE\xE0\xC0\xEB.nmea";
        FILE* file = std::fopen(path.constData(), "wb");
        QVERIFY(file);
        std::fputs("2026-04-11,10:00:00,22.5,113.9\r\n2026-04-11,10:00:09,22.6,113.9\r\n", file);
        std::fclose(file);
        QMimeData data;
        data.setUrls({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(List()->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(List()->viewport(), &drop);
        QTRY_COMPARE(TheRecordTable().count, 1);
        QCOMPARE(QByteArray(TheRecordTable().records[0].path), path);
        QCOMPARE(TheRecordTable().records[0].type, int(Distance));
        QCOMPARE(std::remove(path.constData()), 0);  // QTemporaryDir cannot remove a name it cannot decode
    }

    // `varnel FOLDER` imports the folder at start-up; a relative path is the current folder's.
    void commandLinePathIsImported()
    {
        const QString device = Folder(QStringLiteral("device"));
        WriteRecordFile(device + "/a.nmea", 1);
        WriteRecordFile(device + "/b.nmea", 2);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("varnel.import.debug=true"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_dir->path());
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QStringLiteral(VARNEL_EXECUTABLE), {QStringLiteral("device")});
        QVERIFY(program.waitForStarted());
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += program.readAllStandardError()).contains("[INFO] 1, "), 20000);
        program.kill();
        program.waitForFinished();
        QVERIFY2(log.contains("[INFO] Open Dev: " + QFile::encodeName(device) + '.'), log.constData());
        QVERIFY(log.contains("[INFO] 0, "));
    }

    // `varnel ""` names nothing: it is said so, and the current folder is not imported.
    void emptyCommandLinePathIsAMessageNotAnImport()
    {
        WriteRecordFile(m_dir->filePath(QStringLiteral("here.nmea")), 1);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("varnel.import.debug=true"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_dir->path());
        program.start(QStringLiteral(VARNEL_EXECUTABLE), {QString()});
        QVERIFY(program.waitForStarted());
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += program.readAllStandardError()).contains("empty argument"), 20000);
        QTest::qWait(3000);  // the map has loaded and the paths have been taken by now
        log += program.readAllStandardError();
        program.kill();
        program.waitForFinished();
        QVERIFY2(!log.contains("[INFO] Open"), log.constData());

        m_dlg->ImportPaths({QByteArray()});
        QCOMPARE(Status()->toolTip(), QStringLiteral("\"\" — 路径为空"));
        QCOMPARE(TheRecordTable().count, 0);
    }

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

    // "取消" in the waiting window stops the import after the files in flight and keeps what
    // loaded, with the list showing just those records; the previous list is replaced.
    void cancelStopsTheImportKeepingWhatLoaded()
    {
        WriteRecordFile(m_dir->filePath(QStringLiteral("before.nmea")), 1);
        ImportFile(m_dir->filePath(QStringLiteral("before.nmea")));
        const QString folder = Folder(QStringLiteral("device"));
        for (int i = 0; i < 50; ++i) WriteRecordFile(folder + QString::asprintf("/r%02d.nmea", i), i % 60);

        // The click comes when the tenth record is stored (its log line), as a user's would
        // between two rounds of events; the waiting window takes it then.
        struct Clicker {
            int stored = 0;
            bool clicked = false;
        } clicker;
        SetLogSink(
            [](void* context, const char* line) {
                auto* c = static_cast<Clicker*>(context);
                if (std::strncmp(line, "[INFO] Open", 11) == 0 || ++c->stored != 10) return;
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (!w->isVisible() || w->windowTitle() != QStringLiteral("批量处理")) continue;
                    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
                    c->clicked = true;
                }
            },
            &clicker);
        ImportFolder(folder);
        SetLogSink(nullptr, nullptr);
        const bool clicked = clicker.clicked;

        QVERIFY(clicked);
        const int count = TheRecordTable().count;
        QVERIFY2(count >= 10 && count < 50, qPrintable(QString::number(count)));
        QCOMPARE(TablePaths().value(0), folder + '/' + ListingOrder(folder).value(0));
        VerifyListMirrorsTable(0);
    }

    // The user's own input reaches "取消" as it reaches any window: through the waiting window's
    // window, the mouse at the button's place, the keys to the focused button or the window.
    void cancelTakesRealInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("click") << QStringLiteral("click");
        QTest::newRow("space") << QStringLiteral("space");
        QTest::newRow("enter") << QStringLiteral("enter");
        QTest::newRow("escape") << QStringLiteral("escape");
    }
    void cancelTakesRealInput()
    {
        QFETCH(QString, input);
        const QString folder = Folder(QStringLiteral("device"));
        for (int i = 0; i < 50; ++i) WriteRecordFile(folder + QString::asprintf("/r%02d.nmea", i), i % 60);

        struct Presser {
            QString input;
            int stored = 0;
            bool pressed = false, greyed = false;
        } presser{input};
        SetLogSink(
            [](void* context, const char* line) {
                auto* p = static_cast<Presser*>(context);
                if (std::strncmp(line, "[INFO] Open", 11) == 0 || ++p->stored != 10) return;
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (!w->isVisible() || w->windowTitle() != QStringLiteral("批量处理")) continue;
                    auto* cancel = w->findChild<QPushButton*>(QStringLiteral("cancel"));
                    QWindow* window = w->windowHandle();
                    if (p->input == u"click")
                        QTest::mouseClick(window, Qt::LeftButton, {}, cancel->mapTo(w, cancel->rect().center()));
                    else
                        QTest::keyClick(window, p->input == u"space" ? Qt::Key_Space
                                                : p->input == u"enter" ? Qt::Key_Return : Qt::Key_Escape);
                    p->pressed = true;
                    p->greyed = !cancel->isEnabled();
                }
            },
            &presser);
        ImportFolder(folder);
        SetLogSink(nullptr, nullptr);
        const Presser seen = presser;

        QVERIFY(seen.pressed);
        QVERIFY(seen.greyed);
        const int count = TheRecordTable().count;
        QVERIFY2(count >= 10 && count < 50, qPrintable(QString::number(count)));
        VerifyListMirrorsTable(0);
    }

    // A file whose read never returns keeps neither import waiting: the window paints and takes
    // the click on "取消" (the waiting window comes up for a single file once it is slow), the
    // import ends at once, and the file's late answer changes nothing.
    void stalledDriveNeverBlocksTheWindow_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << false;
        QTest::newRow("folder") << true;
    }
    void stalledDriveNeverBlocksTheWindow()
    {
        QFETCH(bool, folder);
        WriteRecordFile(m_dir->filePath(QStringLiteral("before.nmea")), 1);
        ImportFile(m_dir->filePath(QStringLiteral("before.nmea")));
        const QString device = Folder(QStringLiteral("drive"));
        WriteRecordFile(device + QStringLiteral("/stalled.nmea"), 2);
        StalledDrive::released = false;
        m_dlg->SetRecordFileLoad(StalledDrive::Load);

        int ticks = 0;
        bool clicked = false;
        QTimer ticking;
        connect(&ticking, &QTimer::timeout, this, [&] {
            ++ticks;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (clicked || !w->isVisible() || w->windowTitle() != QStringLiteral("批量处理") || ticks < 10) continue;
                auto* cancel = w->findChild<QPushButton*>(QStringLiteral("cancel"));
                QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, cancel->mapTo(w, cancel->rect().center()));
                clicked = true;
            }
        });
        ticking.start(50);
        QElapsedTimer took;
        took.start();
        if (folder)
            ImportFolder(device);
        else
            ImportFile(device + QStringLiteral("/stalled.nmea"));
        const qint64 ms = took.elapsed();
        ticking.stop();
        StalledDrive::Release();

        QVERIFY(clicked);
        QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
        QVERIFY(ticks >= 10);  // the window's events ran all along
        QTest::qWait(200);     // the read answers now; its record is dropped
        QCOMPARE(TheRecordTable().count, 1);
        QCOMPARE(TablePaths().value(0), m_dir->filePath(QStringLiteral("before.nmea")));
        QCOMPARE(List()->rowCount(), 1);
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

        // "导入文件..." hands the name over as its bytes too, so the file loads from there as well.
        std::memset(&TheRecordTable(), 0, sizeof(RecordTable));
        m_dialogs->openAnswerBytes = path;
        m_dlg->OnImportFile();
        QCOMPARE(TheRecordTable().count, 1);
        QCOMPARE(QByteArray(TheRecordTable().records[0].path), path);
        // The name reads as the dialog shows it, in the row's tooltip and on the status line.
        QVERIFY2(List()->item(0, 0)->toolTip().startsWith(QStringLiteral("文件：距离.nmea\n")),
                 qPrintable(List()->item(0, 0)->toolTip()));
        m_dlg->OnImportFile();
        QCOMPARE(Status()->text(), QStringLiteral("已在列表中：距离.nmea"));
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
        // The files the full list left unread are counted, and named on hover.
        QCOMPARE(Status()->Summary(), QStringLiteral("已导入 200 个记录；列表最多 200 个记录：另有 50 个文件未列出（50 个已存入记录库）"));
        QStringList unlisted = ListingOrder(folder).mid(MaxRecords);
        for (QString& name : unlisted) name = folder + '/' + name + QStringLiteral(" — 未列出：列表已满");
        QCOMPARE(Status()->toolTip().split('\n'), unlisted);

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
        QCOMPARE(m_dialogs->openFilters.value(0), QStringLiteral("测量记录文件 (*.nmea*);;所有文件 (*)"));

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
        // The record that left the list is named.
        const QString gone = QFileInfo(before.last()).fileName();
        QCOMPARE(Status()->Summary(), QStringLiteral("已导入 1 个记录；列表最多 200 个记录：“%1”已移出列表").arg(gone));
        QCOMPARE(Status()->toolTip(), before.last() + QStringLiteral(" — 已移出列表：列表已满"));
    }
};

VARNEL_WINDOW_TEST_MAIN(TestImports)
#include "tst_imports.moc"
