// The window's own file-open dialog: GBK names shown and handed back by their bytes, and a
// folder listed without reading any file (a FIFO cannot stall it).
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>

#include <fstream>

#include "app/filepicker.h"
#include "app/removablevolumes.h"
#include "app/userdialogs.h"

namespace {

// "测量" in GBK, the instrument's own naming.
const QByteArray kGbkName = QByteArray("\xB2\xE2\xC1\xBF", 4) + "2018.nmea";

void Touch(const QByteArray& path)
{
    std::ofstream(path.constData()) << "2018-04-11,10:20:01,22.5,113.9\r\n";
}

QStringList Shown(const QTreeWidget* view)
{
    QStringList names;
    for (int i = 0; i < view->topLevelItemCount(); ++i) names << view->topLevelItem(i)->text(0);
    return names;
}

}  // namespace

class TestFilePicker : public QObject {
    Q_OBJECT

private slots:
    void namesAreShownAsTheUserReadsThem_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("a.nmea") << QStringLiteral("a.nmea");
        QTest::newRow("UTF-8") << QByteArray("\xE6\xB5\x8B\xE9\x87\x8F.nmea") << QStringLiteral("测量.nmea");
        QTest::newRow("GBK") << kGbkName << QStringLiteral("测量2018.nmea");
        // Neither: the bytes are written out rather than replaced, so two such names stay apart.
        QTest::newRow("neither") << QByteArray("\xFF\xFE.nmea") << QStringLiteral("\\xff\\xfe.nmea");
        QTest::newRow("part UTF-8") << QByteArray("\xE6\xB5\x8B\xFF.nmea") << QStringLiteral("测\\xff.nmea");
    }

    void namesAreShownAsTheUserReadsThem()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DisplayName(bytes), shown);
    }

    void gbkNamedFileIsListedAndChosenByItsBytes()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        Touch(folder + '/' + kGbkName);
        Touch(folder + "/notes.txt");
        QVERIFY(mkdir(folder + "/sub", 0755) == 0);
        // A FIFO among the files: listing the folder must not open it (that would block).
        QVERIFY(mkfifo(folder + "/stalled.nmea", 0644) == 0);

        CRecordFilePicker picker(nullptr, QStringLiteral("打开"),
                                 {QStringLiteral("测量记录文件 (*.nmea*)"), QStringLiteral("所有文件 (*)")}, folder);
        auto* view = picker.findChild<QTreeWidget*>(QStringLiteral("entries"));
        QCOMPARE(Shown(view), (QStringList{"sub", "stalled.nmea", "测量2018.nmea"}));
        picker.findChild<QComboBox*>(QStringLiteral("fileType"))->setCurrentIndex(1);
        QCOMPARE(Shown(view), (QStringList{"sub", "notes.txt", "stalled.nmea", "测量2018.nmea"}));

        view->setCurrentItem(view->topLevelItem(3));
        QCOMPARE(picker.findChild<QLineEdit*>(QStringLiteral("fileName"))->text(), QStringLiteral("测量2018.nmea"));
        picker.accept();
        QCOMPARE(picker.result(), int(QDialog::Accepted));
        QCOMPARE(picker.SelectedPath(), folder + '/' + kGbkName);
    }

    // Through the window's real dialogs: "导入文件..." hands back the GBK name's bytes, and the
    // next open starts in the folder the last one ended in.
    void realOpenDialogReturnsTheBytes()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        Touch(folder + '/' + kGbkName);
        CQtUserDialogs dialogs;
        const auto pickFirstFile = [&] {
            auto* picker = qobject_cast<CRecordFilePicker*>(QApplication::activeModalWidget());
            if (!picker) return false;
            if (picker->CurrentFolder() != folder) picker->ShowFolder(folder);
            auto* view = picker->findChild<QTreeWidget*>(QStringLiteral("entries"));
            view->setCurrentItem(view->topLevelItem(0));
            picker->accept();
            return true;
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (pickFirstFile()) poll.stop();
        });
        poll.start(20);
        QCOMPARE(dialogs.OpenFile(nullptr, QStringLiteral("打开"), QStringLiteral("测量记录文件 (*.nmea*);;所有文件 (*)")),
                 folder + '/' + kGbkName);

        poll.disconnect();
        QByteArray startedIn;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* picker = qobject_cast<CRecordFilePicker*>(QApplication::activeModalWidget())) {
                startedIn = picker->CurrentFolder();
                picker->reject();
            }
        });
        poll.start(20);
        QCOMPARE(dialogs.OpenFile(nullptr, QStringLiteral("打开"), QStringLiteral("所有文件 (*)")), QByteArray());
        poll.stop();
        QCOMPARE(startedIn, folder);
    }

    // Enter goes where the user points, and opens only a file the user chose: a folder typed
    // into the folder field, a fresh listing, an empty name or a folder's name open nothing.
    void enterOpensOnlyAChosenFile()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(mkdir(folder + "/sub", 0755) == 0);
        Touch(folder + "/a.nmea");
        Touch(folder + "/sub/b.nmea");
        CRecordFilePicker picker(nullptr, QStringLiteral("打开"), {QStringLiteral("测量记录文件 (*.nmea*)")}, folder);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        auto* location = picker.findChild<QLineEdit*>(QStringLiteral("location"));
        auto* view = picker.findChild<QTreeWidget*>(QStringLiteral("entries"));
        auto* name = picker.findChild<QLineEdit*>(QStringLiteral("fileName"));
        QVERIFY(name->text().isEmpty());

        // A fresh listing selects nothing: Enter in the list opens nothing.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(picker.isVisible());

        location->setFocus();
        location->selectAll();
        QTest::keyClicks(location, QString::fromLocal8Bit(folder + "/sub"));
        QTest::keyClick(location, Qt::Key_Return);
        QVERIFY(picker.isVisible());
        QCOMPARE(picker.CurrentFolder(), folder + "/sub");
        QCOMPARE(Shown(view), QStringList{"b.nmea"});
        QVERIFY(name->text().isEmpty());

        name->setFocus();
        QTest::keyClick(name, Qt::Key_Return);  // empty name
        QVERIFY(picker.isVisible());
        name->setText(QStringLiteral(".."));  // a folder's name goes there
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY(picker.isVisible());
        QCOMPARE(picker.CurrentFolder(), folder);
        QVERIFY(picker.SelectedPath().isEmpty());

        // A file the user selects with the keys is opened by Enter.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(name->text(), QStringLiteral("a.nmea"));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(picker.result(), int(QDialog::Accepted));
        QCOMPARE(picker.SelectedPath(), folder + "/a.nmea");
    }

    // The instrument's drive is found: the folder dialog lists every removable volume mounted
    // under the media folders and starts on the one that holds record files.
    void folderDialogOffersRemovableVolumes()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("media/user"));
        const QStringList names{QStringLiteral("CAMERA"), QStringLiteral("GPS-DRIVE")};
        QStringList mounted;
        for (const QString& name : names) {
            QVERIFY(QDir().mkpath(root + '/' + name));
            if (mount("tmpfs", QFile::encodeName(root + '/' + name).constData(), "tmpfs", 0, "size=64k") != 0) break;
            mounted << root + '/' + name;
        }
        const auto unmount = qScopeGuard([&] {
            for (const QString& path : mounted) umount2(QFile::encodeName(path).constData(), MNT_DETACH);
        });
        if (mounted.size() != names.size()) QSKIP("cannot mount a tmpfs here");
        QVERIFY(QDir().mkpath(root + QStringLiteral("/CAMERA/sub")));
        Touch(QFile::encodeName(root + QStringLiteral("/CAMERA/sub/deep.nmea")));  // not at its top: not taken

        const QList<RemovableVolume> volumes = RemovableVolumes({root});
        QCOMPARE(volumes.size(), 2);
        QCOMPARE(volumes[0].path, mounted[0]);
        QCOMPARE(volumes[1].label, QStringLiteral("GPS-DRIVE"));
        QVERIFY(VolumeWithRecords(volumes).isEmpty());  // none holds record files yet
        Touch(QFile::encodeName(root + QStringLiteral("/GPS-DRIVE/GNSS_0001.nmea")));
        QCOMPARE(VolumeWithRecords(volumes), mounted[1]);
        Touch(QFile::encodeName(root + QStringLiteral("/CAMERA/x.nmea")));
        QVERIFY(VolumeWithRecords(volumes).isEmpty());  // two: the user chooses
        QVERIFY(QFile::remove(root + QStringLiteral("/CAMERA/x.nmea")));

        CQtUserDialogs dialogs({root});
        QStringList sidebar;
        QString startedIn;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                for (const QUrl& url : dialog->sidebarUrls()) sidebar << url.toLocalFile();
                startedIn = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        poll.start(20);
        QVERIFY(dialogs.ChooseFolder(nullptr, QStringLiteral("请选择要导入的设备：")).isEmpty());
        poll.stop();
        QCOMPARE(startedIn, mounted[1]);
        QVERIFY2(sidebar.contains(mounted[0]) && sidebar.contains(mounted[1]) && sidebar.contains(QDir::homePath()),
                 qPrintable(sidebar.join(' ')));
    }

    void foldersAreEnteredAndTypedNamesTaken()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(mkdir(folder + "/sub", 0755) == 0);
        Touch(folder + "/sub/b.nmea");
        CRecordFilePicker picker(nullptr, QStringLiteral("打开"), {QStringLiteral("测量记录文件 (*.nmea*)")}, folder);
        auto* view = picker.findChild<QTreeWidget*>(QStringLiteral("entries"));
        auto* name = picker.findChild<QLineEdit*>(QStringLiteral("fileName"));
        name->setText(QStringLiteral("sub"));
        picker.accept();
        QCOMPARE(picker.result(), int(QDialog::Rejected));  // still open, now in sub
        QCOMPARE(picker.CurrentFolder(), folder + "/sub");
        QCOMPARE(Shown(view), QStringList{"b.nmea"});
        name->setText(QStringLiteral("b.nmea"));
        view->setCurrentItem(nullptr);
        picker.accept();
        QCOMPARE(picker.SelectedPath(), folder + "/sub/b.nmea");
    }
};

QTEST_MAIN(TestFilePicker)
#include "tst_filepicker.moc"
