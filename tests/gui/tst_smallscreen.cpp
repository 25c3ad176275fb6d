// The window on a screen smaller than its layout (800 × 600): the window fits the screen and its
// controls scroll, and the control with the focus is always brought into view.
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QtTest>

#include "app/varneldlg.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

class TestSmallScreen : public CWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(800, 600)); }

    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    void windowFitsTheScreenAndItsControlsScroll()
    {
        const QRect screen = m_dlg->screen()->availableGeometry();
        QVERIFY(screen.contains(m_dlg->frameGeometry()));
        // Using the screen's width, not shrunk below the room there is.
        QVERIFY(m_dlg->width() >= screen.width() - 16);
        QVERIFY(List()->parentWidget()->width() > m_dlg->width());
    }

    // The focused control is in view: the first button as the window opens, the list when it
    // takes the focus as after an import, and each control Tab visits from there, in turn.
    void theFocusedControlIsAlwaysInView()
    {
        m_dlg->activateWindow();  // no window manager activates it
        QVERIFY(QTest::qWaitForWindowActive(m_dlg));
        const QRect screen = m_dlg->screen()->availableGeometry();
        const QRect visible = OnScreen(m_dlg->findChild<QScrollArea*>()->viewport());
        QVERIFY(screen.contains(visible));
        QStringList reached;
        for (int i = 0; i < 13; ++i) {
            if (i == 1) List()->setFocus();
            if (i > 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            reached << focus->objectName();
            QVERIFY2(visible.contains(OnScreen(focus)), qPrintable(focus->objectName()));
        }
        QCOMPARE(reached, QStringList({"importFile", "recordList", "importDevice", "importFile", "archive", "exportCad",
                                       "exportExcel", "exportImage", "exportGis", "exportReport", "publish",
                                       "quit", "recordList"}));
    }
};

VARNEL_XVFB_WINDOW_TEST_MAIN(TestSmallScreen, "800x600x24")
#include "tst_smallscreen.moc"
