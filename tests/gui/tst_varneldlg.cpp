// The main window: start-up state, closing, help and the About box, the result panel and the record list.
#include <QAction>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <cstring>

#include "app/recordlist.h"
#include "app/resultpanel.h"
#include "app/userguide.h"
#include "import/record_geodesy.h"
#include "tests/support/scripteddialogs.h"
#include "app/varneldlg.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

namespace {

// Stands in for the desktop's handler of file: URLs (QDesktopServices::setUrlHandler).
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit CUrlCatcher(QUrl* opened) : m_opened(opened) {}
public slots:
    void open(const QUrl& url) { *m_opened = url; }
private:
    QUrl* m_opened;
};

const QColor kBackground(240, 240, 240);

struct Plane {
    double x, y;
};

// A record whose plane points are given in drawing form; extents as the loader derives them.
void SetPoints(MeasureRecord& r, const QList<Plane>& points)
{
    r.pointCount = static_cast<int>(points.size());
    r.minX = r.minY = 1e300;
    r.maxX = r.maxY = -1e300;
    for (int i = 0; i < r.pointCount; ++i) {
        r.planePoints[i] = {points[i].x, points[i].y};
        r.minX = qMin(r.minX, points[i].x);
        r.maxX = qMax(r.maxX, points[i].x);
        r.minY = qMin(r.minY, points[i].y);
        r.maxY = qMax(r.maxY, points[i].y);
    }
    r.width = r.maxX - r.minX;
    r.height = r.maxY - r.minY;
    r.extent = qMax(r.width, r.height);
}

void SetTime(MeasureRecord& r, int year, int month, int day, int hour, int minute, int second)
{
    r.year = year;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.second = second;
}

// Puts `count` distinguishable records into the table, as an import would have.
void FillTable(int count)
{
    RecordTable& table = TheRecordTable();
    for (int i = 0; i < count; ++i) {
        MeasureRecord& r = table.records[i];
        SetTime(r, 2026, 4, 11, 10, 20, i);
        r.type = Area;
        r.areaMu = 1.25 + i;
        SetPoints(r, {{0, 0}, {100.0 + i, 0}, {100.0 + i, -50}});
    }
    table.count = count;
}

bool IsColour(QRgb pixel, const QColor& colour, int tolerance = 8)
{
    return qAbs(qRed(pixel) - colour.red()) <= tolerance && qAbs(qGreen(pixel) - colour.green()) <= tolerance &&
           qAbs(qBlue(pixel) - colour.blue()) <= tolerance;
}

QImage DrawToImage(const MeasureRecord& r, QSize size, int* result = nullptr)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const int drawn = DrawOutline(painter, size, r);
    if (result) *result = drawn;
    return image;
}

// What a mouse sends for a double-click: press, release, double-click, release.
void DoubleClick(QWidget* widget, QPoint pos)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

bool OnlyBackground(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kBackground.rgb()) return false;
    return true;
}

}  // namespace

class TestVarnelDlg : public CWindowFixture {
    Q_OBJECT

private slots:
    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    void startsEmptyShowingTheZeroRecord()
    {
        QCOMPARE(m_dlg->focusWidget()->objectName(), QStringLiteral("importFile"));
        QCOMPARE(List()->rowCount(), 0);
        QCOMPARE(List()->columnCount(), 2);
        QCOMPARE(List()->horizontalHeaderItem(0)->text(), QStringLiteral("测量时间"));
        QCOMPARE(List()->horizontalHeaderItem(1)->text(), QStringLiteral("测量结果"));
        QCOMPARE(ShownText(), QStringLiteral("时间：0000-00-00 00:00:00\r\n\r\n面积: 0 平方米\r\n      0.00 亩\r\n"
                                             "曲线: 0.00 米\r\n直线: 0.00 米"));
        QVERIFY(OnlyBackground(m_dlg->findChild<QWidget*>(QStringLiteral("outline"))->grab().toImage()));

        // The window can be maximised and resized. The offscreen screen (800 × 600) is narrower
        // than the layout: the window fits the screen, its controls scroll.
        QVERIFY(m_dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(m_dlg->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        const QRect screen = m_dlg->screen()->availableGeometry();
        QVERIFY(screen.width() < List()->parentWidget()->width());
        QVERIFY(screen.contains(m_dlg->frameGeometry()));
        QStringList buttons;
        for (const QPushButton* b : m_dlg->findChildren<QPushButton*>())
            if (b->isVisible()) buttons << b->text();
        buttons.sort();
        QStringList expected = {QStringLiteral("导入文件..."), QStringLiteral("导入设备..."), QStringLiteral("导出CAD..."),
                                QStringLiteral("导出EXCEL..."), QStringLiteral("导出GIS..."), QStringLiteral("导出图片..."),
                                QStringLiteral("导出报告..."), QStringLiteral("记录库..."), QStringLiteral("发布到服务器..."), QStringLiteral("退出")};
        expected.sort();
        QCOMPARE(buttons, expected);
    }

    // The layout holds: controls of the template do not overlap, apart from the group boxes
    // around their contents, and every button shows its whole text.
    void controlsDoNotOverlapAndButtonsFitTheirText()
    {
        QWidget* const surface = List()->parentWidget();
        QList<QWidget*> controls;
        for (QWidget* w : surface->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->isVisible() && !qobject_cast<QGroupBox*>(w)) controls << w;
        for (int i = 0; i < controls.size(); ++i)
            for (int j = i + 1; j < controls.size(); ++j) {
                // The template lets the map cover the list's right border by one unit.
                const QSet<QString> pair{controls[i]->objectName(), controls[j]->objectName()};
                if (pair == QSet<QString>{QStringLiteral("recordList"), QStringLiteral("mapArea")}) continue;
                QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                         qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
            }
        for (const QPushButton* b : m_dlg->findChildren<QPushButton*>())
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width(), qPrintable(b->text()));
        QCOMPARE(controls.size(), 17);
        QVERIFY(surface->rect().contains(List()->geometry()));
    }

    void quitAndEscapeCloseTheWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("result");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << QString() << int(QDialog::Rejected);
        QTest::newRow("Escape on the list") << int(Qt::Key_Escape) << QStringLiteral("recordList") << int(QDialog::Rejected);
        QTest::newRow("Escape on the map") << int(Qt::Key_Escape) << QStringLiteral("mapArea") << int(QDialog::Rejected);
        QTest::newRow("Enter on 退出") << int(Qt::Key_Return) << QStringLiteral("quit") << int(QDialog::Accepted);
        QTest::newRow("退出") << 0 << QString() << int(QDialog::Accepted);
    }

    void quitAndEscapeCloseTheWindow()
    {
        QFETCH(int, key);
        QFETCH(QString, focus);
        QFETCH(int, result);
        FillTable(3);
        for (int i = 0; i < 3; ++i) m_dlg->InsertRecordItem(i, i);
        m_dlg->SelectRecord(0);
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
        QWidget* target = m_dlg;
        if (!focus.isEmpty()) {
            target = m_dlg->findChild<QWidget*>(focus);
            // The browser takes keys on the surface it renders into, which appears with the page.
            QTRY_VERIFY(target->focusProxy() || focus != QStringLiteral("mapArea"));
            if (target->focusProxy()) target = target->focusProxy();
            target->setFocus();
        }
        if (key == 0)
            Click("quit");
        else
            QTest::keyClick(target, Qt::Key(key));
        QVERIFY(!m_dlg->isVisible());
        QCOMPARE(m_dlg->result(), result);
    }

    void theContextMenuHoldsHelpOnF1AndTheAboutBox()
    {
        const QList<QAction*> actions = m_dlg->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("帮助"));
        QCOMPARE(actions[0]->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(actions[1]->text(), QStringLiteral("关于 Varnel(&A)..."));
        QVERIFY(actions[1]->shortcut().isEmpty());
        QCOMPARE(m_dlg->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));

        QString title;
        QString button;
        QStringList lines;
        bool linesFit = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* about = QApplication::activeModalWidget();
            QVERIFY(about && about != m_dlg);
            title = about->windowTitle();
            auto* ok = about->findChild<QPushButton*>();
            button = ok->text();
            linesFit = true;
            for (const QLabel* label : about->findChildren<QLabel*>()) {
                if (label->text().isEmpty()) continue;  // the icon
                lines << label->text();
                linesFit = linesFit && about->rect().contains(label->geometry()) &&
                           label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
            }
            QTest::keyClick(about, Qt::Key_Return);
        });
        actions[1]->trigger();
        QCOMPARE(title, QStringLiteral("关于 Varnel"));
        QCOMPARE(button, QStringLiteral("确定"));
        // The program's name, the version it was built as, its licence; no telephone number.
        QCOMPARE(lines, QStringList({QStringLiteral("Varnel 测量数据助手 " VARNEL_VERSION " 版"),
                                     QStringLiteral("本程序尚未发布许可证，版权所有。")}));
        QVERIFY(linesFit);
        QVERIFY(m_dlg->isVisible());

        // A right click on an empty place between the buttons opens the window's menu.
        const QWidget* exportImage = m_dlg->findChild<QWidget*>(QStringLiteral("exportImage"));
        QWidget* surface = exportImage->parentWidget();
        const QPoint gap = exportImage->geometry().center() + QPoint(0, exportImage->height());
        QVERIFY(surface->childAt(gap) == nullptr);
        QStringList menuEntries;
        QTimer::singleShot(0, this, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* action : menu->actions()) menuEntries << action->text();
                menu->close();
            }
        });
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, gap, surface->mapToGlobal(gap));
        QApplication::sendEvent(surface, &rightClick);
        QCOMPARE(menuEntries, QStringList({QStringLiteral("帮助"), QStringLiteral("关于 Varnel(&A)...")}));
    }

    // F1 hands the guide's page to the desktop's handler for local files, here a test's own.
    void f1OpensTheUserGuide()
    {
        QUrl opened;
        CUrlCatcher catcher(&opened);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
        QTest::keyClick(m_dlg, Qt::Key_F1);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

        // A build tree's guide: docs/ beside the program's folder.
        const QString guide = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../docs/使用说明.html"));
        QCOMPARE(opened, QUrl::fromLocalFile(QFileInfo(guide).absoluteFilePath()));
        QVERIFY(QFileInfo(guide).size() > 0);
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    // The installed guide wins over a build tree's; without either, a message says where it
    // should be and nothing is opened.
    void theGuideIsLookedForInstalledThenInTheBuildTree_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        const QString installed = QStringLiteral("share/doc/varnel/使用说明.html");
        const QString built = QStringLiteral("docs/使用说明.html");
        QTest::newRow("installed") << QStringList{installed} << installed;
        QTest::newRow("build tree") << QStringList{built} << built;
        QTest::newRow("both") << QStringList{built, installed} << installed;
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("a folder of the guide's name") << QStringList{installed + QStringLiteral("/")} << QString();
    }

    void theGuideIsLookedForInstalledThenInTheBuildTree()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        for (const QString& file : present) {
            const QString path = root.filePath(file);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (file.endsWith(QLatin1Char('/'))) continue;
            QFile page(path);
            QVERIFY(page.open(QIODevice::WriteOnly));
        }
        const QString programDir = root.filePath(QStringLiteral("bin"));
        QCOMPARE(UserGuidePath(programDir), found.isEmpty() ? QString() : root.filePath(found));

        QUrl opened;
        CUrlCatcher catcher(&opened);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        OpenUserGuide(m_dlg, *m_dialogs, programDir);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        if (found.isEmpty()) {
            QVERIFY(opened.isEmpty());
            QCOMPARE(m_dialogs->messages.size(), 1);
            QCOMPARE(m_dialogs->messages[0].caption, QStringLiteral("温馨提示："));
            QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("找不到使用说明：%1 中没有 使用说明.html。")
                                                      .arg(root.filePath(QStringLiteral("share/doc/varnel"))));
        } else {
            QCOMPARE(opened, QUrl::fromLocalFile(root.filePath(found)));
            QVERIFY(m_dialogs->messages.isEmpty());
        }
    }

    void resultText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("area") << int(Area)
                              << QStringLiteral("时间：2018-04-01 09:05:03\r\n\r\n面积: 1234 平方米\r\n      1.20 亩\r\n"
                                                "曲线: 150.26 米\r\n直线: 40.50 米");
        // A road drive encloses an area, but no field.
        QTest::newRow("vehicle") << int(Vehicle)
                                 << QStringLiteral("时间：2018-04-01 09:05:03\r\n轨迹围成面积（不是地块面积）:\r\n"
                                                   "      1234 平方米\r\n      1.20 亩\r\n"
                                                   "曲线: 150.26 米\r\n直线: 40.50 米");
        QTest::newRow("distance") << int(Distance)
                                  << QStringLiteral("时间：2018-04-01 09:05:03\r\n\r\n曲线: 150.26 米\r\n直线: 40.50 米");
    }

    void resultText()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        MeasureRecord& r = TheRecordTable().records[5];
        SetTime(r, 2018, 4, 1, 9, 5, 3);
        r.type = type;
        r.area = 1234.4;
        r.areaMu = 1.2;
        r.curveLength = 150.256;
        r.straightLength = 40.5;
        QCOMPARE(ResultText(r), text);
        m_dlg->ShowResult(5);
        QCOMPARE(ShownText(), text);
    }

    void resultToolTipHasTheEllipsoidalFigures()
    {
        MeasureRecord& r = TheRecordTable().records[6];
        m_dlg->ShowResult(6);
        QVERIFY(ResultToolTip().isEmpty());
        const double corners[][2] = {{113.9, 22.5}, {113.901, 22.5}, {113.901, 22.501}, {113.9, 22.501}};
        r.pointCount = 4;
        for (int i = 0; i < 4; ++i) r.points[i] = {corners[i][0], corners[i][1], 0};
        m_dlg->ShowResult(6);
        const RecordGeodesicFigures g = RecordGeodesic(r);
        QVERIFY(std::fabs(g.geodesicArea - 110.7 * 102.9) < 50);
        QCOMPARE(ResultToolTip(),
                 QString::asprintf("WGS-84 椭球面上：\n面积: %.0f 平方米\n      %.2f 亩\n周长: %.2f 米", g.geodesicArea,
                                   g.geodesicAreaMu, g.geodesicPerimeter));
        // A vehicle's area is no field's, and a distance encloses none and closes no ring.
        r.type = Vehicle;
        m_dlg->ShowResult(6);
        QVERIFY2(ResultToolTip().contains(QStringLiteral("轨迹围成面积（不是地块面积）:")), qPrintable(ResultToolTip()));
        r.type = Distance;
        m_dlg->ShowResult(6);
        QVERIFY(ResultToolTip().isEmpty());
        // The next record shown has a tooltip of its own, not the last one made.
        m_dlg->ShowResult(7);
        QVERIFY(ResultToolTip().isEmpty());
    }

    void rowTexts()
    {
        MeasureRecord r{};
        QCOMPARE(RecordTimeText(r), QStringLiteral("0000-00-00  00:00:00"));
        QCOMPARE(RecordValueText(r), QStringLiteral("0.00 亩"));
        SetTime(r, 2026, 4, 9, 7, 5, 1);
        r.areaMu = 1.2;
        r.curveLength = 12.345;
        r.type = Vehicle;
        QCOMPARE(RecordTimeText(r), QStringLiteral("2026-04-09  07:05:01"));
        QCOMPARE(RecordValueText(r), QStringLiteral("1.20 亩"));
        r.type = Distance;
        QCOMPARE(RecordValueText(r), QStringLiteral("12.35 米"));
    }

    void rowToolTipNamesTheFileItsKindAndPlace_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("kind");
        QTest::newRow("area") << int(Area) << QStringLiteral("面积");
        QTest::newRow("distance") << int(Distance) << QStringLiteral("距离");
        QTest::newRow("vehicle") << int(Vehicle) << QStringLiteral("车辆");
    }

    void rowToolTipNamesTheFileItsKindAndPlace()
    {
        QFETCH(int, type);
        QFETCH(QString, kind);
        FillTable(1);
        MeasureRecord& r = TheRecordTable().records[0];
        r.type = type;
        std::strcpy(r.path, "/media/gps/2026年04月11日10时20分30秒.nmea");
        // A field near Zhengzhou: the tip ends with where it lies.
        r.pointCount = 1;
        r.points[0] = {113.70, 34.80, 0};
        m_dlg->InsertRecordItem(0, 0);
        const QString tip = QStringLiteral("文件：2026年04月11日10时20分30秒.nmea\n类型：") + kind +
                            QStringLiteral("\n位置：河南省 郑州市 附近 ");
        QVERIFY2(List()->item(0, 0)->toolTip().startsWith(tip), qPrintable(List()->item(0, 0)->toolTip()));
        QVERIFY(List()->item(0, 0)->toolTip().endsWith(QStringLiteral(" 公里")));
        QCOMPARE(List()->item(0, 1)->toolTip(), List()->item(0, 0)->toolTip());
    }

    void columnWidthsUseSinglePrecision()
    {
        QCOMPARE(RecordListColumnWidths(200).time, 105);
        QCOMPARE(RecordListColumnWidths(200).value, 81);
        QCOMPARE(RecordListColumnWidths(100).time, 52);
        QCOMPARE(RecordListColumnWidths(100).value, 40);
        const RecordListColumns widths = RecordListColumnWidths(List()->viewport()->width());
        QCOMPARE(List()->columnWidth(0), widths.time);
        QCOMPARE(List()->columnWidth(1), widths.value);
    }

    // An area of 187 × 178 pixels: avail 170, centre (93, 89).
    void outline_data()
    {
        QTest::addColumn<QList<Plane>>("points");
        QTest::addColumn<QPoint>("start");  // mapped first point
        QTest::addColumn<QPoint>("end");    // mapped last point
        QTest::addColumn<QPoint>("onPath");
        // 340 m × 100 m at 0.5 px/m: x → (x − 1000) / 2 + 8, y → (y + 5000) / 2 + 64.
        QTest::newRow("open outline") << QList<Plane>{{1000, -5000}, {1340, -5000}, {1340, -4900}, {1170, -4900}}
                                      << QPoint(8, 64) << QPoint(93, 114) << QPoint(120, 63);
        // East–west line: a horizontal line through the centre.
        QTest::newRow("east-west line") << QList<Plane>{{1000, -5000}, {1200, -5000}, {1340, -5000}}
                                        << QPoint(8, 89) << QPoint(178, 89) << QPoint(60, 88);
        // 101 m × 340 m: x → (x − 1000) / 2 + 67.75, truncated toward zero.
        QTest::newRow("fractions truncate") << QList<Plane>{{1000, -5000}, {1101, -5000}, {1101, -4660}}
                                            << QPoint(67, 4) << QPoint(118, 174) << QPoint(117, 90);
    }

    void outline()
    {
        QFETCH(QList<Plane>, points);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        QFETCH(QPoint, onPath);
        MeasureRecord& r = TheRecordTable().records[0];
        SetPoints(r, points);
        int result = 1;
        const QImage image = DrawToImage(r, QSize(187, 178), &result);
        QCOMPARE(result, 0);
        QCOMPARE(image.pixel(0, 177), kBackground.rgb());
        QCOMPARE(image.pixel(186, 0), kBackground.rgb());
        QVERIFY2(IsColour(image.pixel(onPath), QColor(67, 110, 238)), "outline");

        // Markers: exactly the 8 × 8 squares from (X − 4, Y − 4), yellow start, green end.
        const QRect startMarker(start - QPoint(4, 4), QSize(8, 8));
        const QRect endMarker(end - QPoint(4, 4), QSize(8, 8));
        int yellow = 0;
        int green = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == qRgb(255, 255, 0)) {
                    QVERIFY(startMarker.contains(x, y));
                    ++yellow;
                } else if (image.pixel(x, y) == qRgb(0, 255, 0)) {
                    QVERIFY(endMarker.contains(x, y));
                    ++green;
                }
            }
        }
        QCOMPARE(yellow, 64);
        QCOMPARE(green, 64);

        // The dashed closing line: red pixels along the segment from start to end.
        if (start.y() == end.y()) return;
        int red = 0;
        for (int i = 10; i <= 90; ++i) {
            const QPointF p = start + (end - start) * (i / 100.0);
            for (int dy = -1; dy <= 1; ++dy) {
                const QRgb pixel = image.pixel(int(p.x()), int(p.y()) + dy);
                if (qRed(pixel) > 200 && qGreen(pixel) < 120 && qBlue(pixel) < 120) ++red;
            }
        }
        QVERIFY2(red > 8, "closing line");
    }

    // A closed field ends where it started: the start's square is drawn above the end's, half a
    // square up and to the left, so that both are seen.
    void closedOutlineShowsStartAndEnd()
    {
        MeasureRecord& r = TheRecordTable().records[0];
        SetPoints(r, {{1000, -5000}, {1340, -5000}, {1340, -4900}, {1000, -5000}});
        const QImage image = DrawToImage(r, QSize(187, 178));
        const QPoint end(8, 64);
        const QRect startMarker(end - QPoint(8, 8), QSize(8, 8));
        const QRect endMarker(end - QPoint(4, 4), QSize(8, 8));
        int yellow = 0, green = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == qRgb(255, 255, 0)) {
                    QVERIFY(startMarker.contains(x, y));
                    ++yellow;
                } else if (image.pixel(x, y) == qRgb(0, 255, 0)) {
                    QVERIFY(endMarker.contains(x, y));
                    ++green;
                }
            }
        QCOMPARE(yellow, 64);
        QCOMPARE(green, 48);  // all but the corner the start covers
    }

    void nothingButBackgroundWithoutExtent_data()
    {
        QTest::addColumn<QList<Plane>>("points");
        QTest::newRow("no point") << QList<Plane>{};
        QTest::newRow("one point") << QList<Plane>{{500000, -2500000}};
        QTest::newRow("all on one spot") << QList<Plane>{{5, -5}, {5, -5}, {5, -5}};
    }

    void nothingButBackgroundWithoutExtent()
    {
        QFETCH(QList<Plane>, points);
        MeasureRecord& r = TheRecordTable().records[0];
        SetPoints(r, points);
        int result = 0;
        QVERIFY(OnlyBackground(DrawToImage(r, QSize(187, 178), &result)));
        QCOMPARE(result, -1);
        QCOMPARE(m_dlg->ShowResult(0), -1);
    }

    void showResultDrawsTheSlotInTheOutlineArea()
    {
        FillTable(2);
        m_dlg->ShowResult(1);
        QWidget* area = m_dlg->findChild<QWidget*>(QStringLiteral("outline"));
        const MeasureRecord& r = TheRecordTable().records[1];
        const int side = qMin(area->width(), area->height());
        QCOMPARE(r.drawScale, (side - 8) / r.extent);
        // The widget repaints the same drawing whenever it is exposed again.
        QCOMPARE(area->grab().toImage(), DrawToImage(r, area->size()).convertToFormat(QImage::Format_RGB32));
    }

    // Whichever way a row becomes current, it is the record shown and selected.
    void theCurrentRowIsTheShownRecord()
    {
        FillTable(3);
        for (int i = 0; i < 3; ++i) m_dlg->InsertRecordItem(i, i);
        m_dlg->SelectRecord(0);
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
        auto verifyShown = [this](int row) {
            QCOMPARE(List()->currentRow(), row);
            QCOMPARE(List()->selectedItems().size(), 2);
            QCOMPARE(List()->selectedItems().value(0)->row(), row);
            QCOMPARE(TheRecordTable().selected, row);
            QCOMPARE(ShownText(), ResultText(TheRecordTable().records[row]));
        };

        QWidget* viewport = List()->viewport();
        const QRect row1 = List()->visualItemRect(List()->item(1, 0));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, row1.center());
        verifyShown(1);
        QTest::keyClick(List(), Qt::Key_Down);
        verifyShown(2);
        QTest::keyClick(List(), Qt::Key_Home);
        verifyShown(0);
        QTest::keyClick(List(), Qt::Key_End);
        verifyShown(2);

        // Enter shows the current row and leaves the window open.
        TheRecordTable().selected = 0;
        QTest::keyClick(List(), Qt::Key_Return);
        QVERIFY(m_dlg->isVisible());
        verifyShown(2);
        TheRecordTable().selected = 0;
        QTest::keyClick(List(), Qt::Key_Enter);
        QVERIFY(m_dlg->isVisible());
        verifyShown(2);

        DoubleClick(viewport, row1.center());
        verifyShown(1);

        // A double-click below the last row changes nothing.
        DoubleClick(viewport, QPoint(row1.center().x(), viewport->height() - 5));
        verifyShown(1);
    }

    // Tab and Shift+Tab go between the list and the buttons, never from cell to cell.
    void tabLeavesTheList()
    {
        FillTable(3);
        for (int i = 0; i < 3; ++i) m_dlg->InsertRecordItem(i, i);
        m_dlg->SelectRecord(0);
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
        QStringList order;
        for (int i = 0; i < 11; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order.join(","), QStringList({"importDevice", "importFile", "archive", "exportCad", "exportExcel", "exportImage", "exportGis", "exportReport", "publish", "quit",
                                     "recordList"}).join(","));
        QCOMPARE(List()->currentRow(), 0);
        QTest::keyClick(List(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("quit"));
    }
};

VARNEL_WINDOW_TEST_MAIN(TestVarnelDlg)
#include "tst_varneldlg.moc"
