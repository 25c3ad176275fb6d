// The picture export: the encoders chosen by extension, and the picture of the window taken from
// a real screen. Runs on its own Xvfb when no display is set; the offscreen platform cannot
// grab a window.
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>
#include <QtTest>


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/resultpanel.h"
#include "tests/support/scripteddialogs.h"
#include "app/varneldlg.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"
#include "export/imageexport.h"
#include "map/explorer.h"
#include "map/mappage.h"
#include "map/remoteblocker.h"

namespace {

struct Magic {
    const char* format;  // as QImageReader names it
    QByteArray bytes;
};

const Magic kJpeg{"jpeg", QByteArray("\xFF\xD8\xFF", 3)};
const Magic kBmp{"bmp", QByteArray("BM")};
const Magic kPng{"png", QByteArray("\x89PNG\r\n\x1A\n", 8)};
const Magic kGif{"gif", QByteArray("GIF8")};

// The file is an image of that format by its first bytes and by the reader's judgement; the
// image read back.
QImage ReadBack(const QString& path, const Magic& magic)
{
    if (!ReadAll(path).startsWith(magic.bytes)) {
        qWarning("%s does not start as %s", qPrintable(path), magic.format);
        return {};
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (reader.format() != magic.format) {
        qWarning("%s reads as %s, not %s", qPrintable(path), reader.format().constData(), magic.format);
        return {};
    }
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// Smooth gradients in all three channels: far more than 256 colours, and an odd width, so
// that lines are padded.
QImage Gradient()
{
    QImage image(67, 45, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 255 / 66, y * 255 / 44, (x + y) * 255 / 110));
    return image;
}

int LargestChannelDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = qMax(largest, qMax(qAbs(qRed(p) - qRed(q)), qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
        }
    return largest;
}

int ColourCount(const QImage& image, const QRect& area)
{
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

QString SamplesFolder()
{
    return QDir(QStringLiteral(VARNEL_TEST_DATA "/../../samples")).absolutePath();
}

}  // namespace

Q_DECLARE_METATYPE(Magic)

class TestImageExport : public CWindowFixture {
    Q_OBJECT

    CRemoteBlocker m_blocker;  // the map goes offline at once

    QStringList Written() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

    // Clicks the picture button with the dialog answering `name`; the milliseconds it took.
    qint64 ExportAs(const QString& name)
    {
        m_dialogs->saveAnswer = name.isEmpty() ? QString() : m_dir->filePath(name);
        QElapsedTimer clock;
        clock.start();
        Click("exportImage");
        return clock.elapsed();
    }

    // Where child shows in the picture of the window.
    QRect InPicture(const QWidget* child) const
    {
        const QPoint client = m_dlg->geometry().topLeft() - m_dlg->frameGeometry().topLeft();
        return QRect(child->mapTo(m_dlg, QPoint(0, 0)) + client, child->size());
    }

    void VerifySuccessReported()
    {
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].caption, QStringLiteral("温馨提示："));
        QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("已成功导出为图片文件，谢谢！"));
    }

private slots:
    void initTestCase()
    {
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_blocker);
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    // The export needs a record loaded.
    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
        m_dlg->ImportPaths({QFile::encodeName(SamplesFolder() + QStringLiteral("/GNSS_0005.nmea"))});
        QCOMPARE(TheRecordTable().count, 1);
    }

    void cleanup() { CloseWindow(); }

    void encoderIsChosenByTheExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Magic>("magic");
        QTest::newRow("jpg") << "a.jpg" << kJpeg;
        QTest::newRow("JPEG") << "a.JPEG" << kJpeg;
        QTest::newRow("jpe") << "a.jpe" << kJpeg;
        QTest::newRow("Jfif") << "a.Jfif" << kJpeg;
        QTest::newRow("bmp") << "a.bmp" << kBmp;
        QTest::newRow("DIB") << "a.DIB" << kBmp;
        QTest::newRow("rle") << "a.rle" << kBmp;
        QTest::newRow("PNG") << "X.PNG" << kPng;
        QTest::newRow("last dot") << "a.gif.png" << kPng;
        QTest::newRow("gif") << "a.gif" << kGif;
        QTest::newRow("GiF, Chinese name") << QStringLiteral("测量记录.GiF") << kGif;
    }

    // Each written over an existing file; lossless formats give the picture back exactly, GIF
    // gives Qt's own palette image, JPEG comes close.
    void encoderIsChosenByTheExtension()
    {
        QFETCH(QString, name);
        QFETCH(Magic, magic);
        const QString path = m_dir->filePath(name);
        WriteFile(path, "old");
        const QImage source = Gradient();
        QString reason;
        QCOMPARE(WriteImageFile(source, path, &reason), 0);
        QCOMPARE(Written(), QStringList{name});

        const QImage back = ReadBack(path, magic);
        QCOMPARE(back.size(), source.size());
        if (magic.bytes == kJpeg.bytes)
            QVERIFY2(LargestChannelDifference(back, source) <= 24, "JPEG far from its source");
        else if (magic.bytes == kGif.bytes)
            QCOMPARE(back, source.convertToFormat(QImage::Format_Indexed8).convertToFormat(QImage::Format_RGB32));
        else
            QCOMPARE(back, source);
    }

    void failedWriteLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("emptyImage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no encoder") << "x.xyz" << false << QStringLiteral("“.xyz”");
        QTest::newRow("no extension") << "png" << false << QStringLiteral("没有扩展名");
        QTest::newRow("trailing dot") << "a.png." << false << QStringLiteral("“.”");
        QTest::newRow("no folder") << "missing/a.png" << false << QString::fromLocal8Bit(std::strerror(ENOENT));
        QTest::newRow("empty image, Qt encoder") << "a.jpg" << true << QString();
        QTest::newRow("empty image, GIF") << "a.gif" << true << QString();
    }

    void failedWriteLeavesTheFolderAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(bool, emptyImage);
        QFETCH(QString, reason);
        const QString path = m_dir->filePath(name);
        const bool folderExists = QFileInfo(path).dir().exists();
        if (folderExists) WriteFile(path, "old");

        QString why;
        QCOMPARE(WriteImageFile(emptyImage ? QImage() : Gradient(), path, &why), -1);
        QVERIFY(!why.isEmpty());
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(Written(), folderExists ? QStringList{name} : QStringList{});
        if (folderExists) QCOMPARE(ReadAll(path), QByteArray("old"));
    }

    void pictureOfTheWindowInEachFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Magic>("magic");
        QTest::newRow("JPEG") << QStringLiteral("测量记录.jpg") << kJpeg;
        QTest::newRow("BMP") << "w.bmp" << kBmp;
        QTest::newRow("PNG, upper case") << "X.PNG" << kPng;
        QTest::newRow("GIF") << "w.gif" << kGif;
    }

    void pictureOfTheWindowInEachFormat()
    {
        QFETCH(QString, name);
        QFETCH(Magic, magic);
        const qint64 took = ExportAs(name);
        QVERIFY2(took >= 2000, "no pause before the capture");

        QCOMPARE(m_dialogs->saveRequests.size(), 1);
        const SaveFileRequest& request = m_dialogs->saveRequests[0];
        QCOMPARE(request.initialName, QStringLiteral("测量记录"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("jpg"));
        QCOMPARE(request.filters, (QStringList{"(*.jpg)", "(*.bmp)", "(*.png)", "(*.gif)"}));
        QCOMPARE(request.selectedFilter, 0);
        VerifySuccessReported();

        QCOMPARE(Written(), QStringList{name});
        const QImage picture = ReadBack(m_dir->filePath(name), magic);
        QCOMPARE(picture.size(), m_dlg->frameGeometry().size() * m_dlg->devicePixelRatio());
        QVERIFY2(ColourCount(picture, picture.rect()) > 16, "the picture does not show the window");
    }

    void cancelWritesNothingAndDoesNotWait()
    {
        QVERIFY(ExportAs(QString()) < 1000);
        QCOMPARE(m_dialogs->saveRequests.size(), 1);
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(Written().isEmpty());
    }

    void nameWithoutEncoderIsReportedAndWritesNothing()
    {
        ExportAs(QStringLiteral("x.xyz"));
        QCOMPARE(m_dialogs->messages.size(), 1);
        const CScriptedDialogs::Message& message = m_dialogs->messages[0];
        QCOMPARE(message.caption, QStringLiteral("温馨提示："));
        QVERIFY2(message.text.contains(m_dialogs->saveAnswer), qPrintable(message.text));
        QVERIFY2(message.text.contains(QStringLiteral(".xyz”")), qPrintable(message.text));
        QVERIFY(!message.text.contains(QStringLiteral("成功")));
        QVERIFY(Written().isEmpty());
    }

    // A change made during the pause is in the picture: the window repaints while it waits.
    void pictureShowsTheWindowAfterThePause()
    {
        auto* header = m_dlg->findChild<QLabel*>(QStringLiteral("header"));
        const QColor magenta(255, 0, 255);
        int cursorDuringPause = -1;
        QTimer::singleShot(300, header, [header, magenta, &cursorDuringPause] {
            if (const QCursor* cursor = QGuiApplication::overrideCursor()) cursorDuringPause = cursor->shape();
            header->clear();
            QPalette palette = header->palette();
            palette.setColor(QPalette::Window, magenta);
            header->setPalette(palette);
            header->setAutoFillBackground(true);
        });
        ExportAs(QStringLiteral("after.png"));
        VerifySuccessReported();
        QCOMPARE(cursorDuringPause, int(Qt::WaitCursor));  // the user sees that the window is busy
        QVERIFY(!QGuiApplication::overrideCursor());
        const QImage picture = ReadBack(m_dir->filePath(QStringLiteral("after.png")), kPng);
        const QImage shown = picture.copy(InPicture(header));
        QCOMPARE(ColourCount(shown, shown.rect()), 1);
        QCOMPARE(QColor(shown.pixel(0, 0)), magenta);
    }

    // Minimised or hidden during the pause: the window is brought back and pictured once it is
    // painted again, never a black frame reported as a success nor a failure.
    void windowGoneDuringThePauseIsBroughtBack_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("minimised") << true;
        QTest::newRow("hidden") << false;
    }

    void windowGoneDuringThePauseIsBroughtBack()
    {
        QFETCH(bool, minimise);
        QTimer::singleShot(300, m_dlg, [this, minimise] { minimise ? m_dlg->showMinimized() : m_dlg->hide(); });
        ExportAs(QStringLiteral("gone.png"));
        VerifySuccessReported();
        QVERIFY(m_dlg->isVisible() && !m_dlg->isMinimized());
        const QImage picture = ReadBack(m_dir->filePath(QStringLiteral("gone.png")), kPng);
        QVERIFY2(ColourCount(picture, picture.rect()) > 16, "the picture does not show the window");
    }

    void blankPicturesAreTold()
    {
        QImage black(40, 30, QImage::Format_RGB32);
        black.fill(Qt::black);
        QVERIFY(IsBlankPicture(black));
        QVERIFY(IsBlankPicture(QImage()));
        black.setPixel(39, 29, qRgb(0, 0, 1));
        QVERIFY(!IsBlankPicture(black));
    }

    // With the samples imported, the list, the map and the outline are in the picture where the
    // window shows them.
    void pictureHoldsTheListTheMapAndTheOutline()
    {
        m_dialogs->folderAnswer = SamplesFolder();
        m_dlg->OnImportDevice();
        QVERIFY(TheRecordTable().count > 0);
        auto* map = m_dlg->findChild<CExplorer1*>(QStringLiteral("mapArea"));
        QTRY_VERIFY_WITH_TIMEOUT(static_cast<CMapPage*>(map->page())->IsMapReady(), 15000);
        ExportAs(QStringLiteral("content.png"));
        VerifySuccessReported();
        const QImage picture = ReadBack(m_dir->filePath(QStringLiteral("content.png")), kPng);

        auto* outline = m_dlg->findChild<COutlineArea*>(QStringLiteral("outline"));
        // As the panel paints itself, but for the rounding of antialiased edges.
        const QImage painted = outline->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage captured = picture.copy(InPicture(outline));
        QCOMPARE(captured.size(), painted.size());
        QVERIFY(LargestChannelDifference(captured, painted) <= 2);
        QVERIFY2(ColourCount(picture, InPicture(outline)) > 4, "no outline");
        QVERIFY2(ColourCount(picture, InPicture(map)) > 16, "no map");
        QVERIFY2(ColourCount(picture, InPicture(List())) > 16,
                 "no list");
    }
};

// Grabbing the screen needs a real one: the offscreen platform the other window tests use has
// none. A window manager, as on the user's desktop, is what iconifies a minimised window.
VARNEL_XVFB_WM_WINDOW_TEST_MAIN(TestImageExport, "1600x1000x24")

#include "tst_imageexport.moc"
