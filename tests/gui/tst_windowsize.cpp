// The window on real screens: it fits a 1024 × 768 screen with every control in reach, and a
// larger window gives the room to the map and the list while the result panel keeps its size.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>

#include "app/varneldlg.h"
#include "import/dialogtemplate.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

class TestWindowSize : public CWindowFixture {
    Q_OBJECT

    QWidget* Child(const char* name) const { return m_dlg->findChild<QWidget*>(QLatin1String(name)); }

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(1024, 768)); }

    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    void everyControlIsOnA1024x768Screen()
    {
        const QRect screen = m_dlg->screen()->availableGeometry();
        QVERIFY(screen.contains(m_dlg->frameGeometry()));
        QCOMPARE(Child("recordList")->parentWidget()->size(), m_dlg->size());  // nothing scrolls
        QCOMPARE(m_dlg->findChildren<QPushButton*>().size(), 10);
        for (const QPushButton* button : m_dlg->findChildren<QPushButton*>()) {
            QVERIFY(button->isVisible());
            QVERIFY2(screen.contains(OnScreen(button)), qPrintable(button->text()));
        }
        for (const char* name : {"recordList", "mapArea", "outline", "resultText", "importStatus"})
            QVERIFY2(screen.contains(OnScreen(Child(name))), name);
        // Even at its minimum size the window fits, with room for a frame.
        QVERIFY(m_dlg->minimumWidth() <= 1024 - 16 && m_dlg->minimumHeight() <= 768 - 48);
    }

    // A maximised window on a larger screen: the map and the list take the extra room.
    void extraRoomGoesToTheMapAndTheList()
    {
        const QStringList fixed{"outline", "resultText", "header", "importDevice", "importFile", "exportCad",
                                "exportExcel", "exportImage", "exportGis", "exportReport", "quit", "importStatus",
                                "archive", "archiveStatus"};
        QMap<QString, QSize> sizes;
        for (const QString& name : fixed) sizes[name] = m_dlg->findChild<QWidget*>(name)->size();
        const QSize map = Child("mapArea")->size();
        const QSize list = Child("recordList")->size();

        m_dlg->resize(1600, 900);
        QTRY_COMPARE(m_dlg->size(), QSize(1600, 900));
        QVERIFY(Child("mapArea")->width() > map.width() + 500);
        QCOMPARE(Child("mapArea")->height(), map.height() + 900 - m_dlg->minimumHeight());
        QCOMPARE(Child("recordList")->width(), list.width());
        QVERIFY(Child("recordList")->height() > list.height());
        for (const QString& name : fixed) QCOMPARE(m_dlg->findChild<QWidget*>(name)->size(), sizes[name]);
        // The drawing area stays the template's, so the outline is drawn as at that size.
        QCOMPARE(Child("outline")->size(), DialogRect(DialogBaseUnitsOf(m_dlg->font()), 0, 0, 187, 178).size());

        // Everything stays in the window, with nothing to scroll, and in its column: the panel
        // right of the map, the buttons right of the panel, "退出" at the bottom, the status line
        // under the list.
        QWidget* const surface = Child("recordList")->parentWidget();
        QCOMPARE(surface->size(), m_dlg->size());
        const QRect window = m_dlg->rect();
        for (QWidget* w : surface->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                QVERIFY2(window.contains(QRect(w->mapTo(m_dlg, QPoint(0, 0)), w->size())), qPrintable(w->objectName()));
        QVERIFY(Child("mapArea")->geometry().right() < Child("outline")->geometry().left());
        QVERIFY(Child("outline")->geometry().right() < Child("importDevice")->geometry().left());
        QVERIFY(Child("quit")->geometry().bottom() > 900 - 40);
        const int gap = Child("importStatus")->geometry().top() - Child("recordList")->geometry().bottom();
        QVERIFY(gap > 0 && gap < 5);
        QVERIFY(Child("importStatus")->geometry().bottom() < 900);
    }
};

VARNEL_XVFB_WINDOW_TEST_MAIN(TestWindowSize, "1024x768x24")
#include "tst_windowsize.moc"
