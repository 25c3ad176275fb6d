// "发布到服务器..." against a real PostgreSQL + PostGIS cluster started for the test: the listed
// records sent once, the password asked for and not kept, a stalled server cancelled while the
// window goes on.
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>

#include "app/publishdlg.h"
#include "publish/pg_session.h"
#include "tests/support/pgtestserver.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

class TestPublish : public CWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        std::string why;
        if (!PgTestServer::Installed(&why)) QSKIP(qPrintable(QStringLiteral("PostgreSQL cannot run here: ") + QString::fromStdString(why)));
        m_server = std::make_unique<PgTestServer>();
        QVERIFY2(m_server->Start(), m_server->Error().c_str());
        PgSession admin;
        QVERIFY(admin.Connect({m_server->ConnInfo("postgres")}));
        QVERIFY(admin.Exec("CREATE DATABASE office"));
        qputenv("PGPASSFILE", "/nonexistent");
    }
    void cleanupTestCase() { m_server.reset(); }

    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }
    void cleanup() { CloseWindow(); }

    void nothingListedNothingToPublish()
    {
        Click("publish");
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("请先导入测量记录。"));
    }

    void listedRecordsPublishedOnceWithThePasswordAsked()
    {
        m_dlg->ImportPaths({QFile::encodeName(QDir(QStringLiteral(VARNEL_TEST_DATA "/../../samples")).absolutePath())});
        QCOMPARE(TheRecordTable().count, 5);
        const QString conn = QString::fromStdString(m_server->ConnInfo("office", PgTestServer::kUser, ""));
        m_dialogs->passwordAnswer = QString::fromLatin1(PgTestServer::kPassword);
        const QString results[] = {QStringLiteral("已发布 5 个，服务器已有 0 个"), QStringLiteral("已发布 0 个，服务器已有 5 个")};
        for (int run = 0; run < 2; ++run) {
            CPublishDlg dialog(m_dlg, *m_dialogs, TheRecordTable());
            dialog.show();
            dialog.findChild<QLineEdit*>(QStringLiteral("connection"))->setText(conn);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("publish")), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsRunning() && !dialog.ResultText().isEmpty(), 30000);
            QCOMPARE(dialog.ResultText(), results[run]);
            QCOMPARE(dialog.findChild<QProgressBar*>(QStringLiteral("progress"))->value(), 5);
            // Asked each time: the password is not kept, not even in the remembered connection.
            QCOMPARE(m_dialogs->passwordLabels.size(), run + 1);
            QVERIFY(!CPublishDlg::LastConnection().contains(QLatin1String(PgTestServer::kPassword)));
        }
    }

    void stalledServerCancelledWhileTheWindowGoesOn()
    {
        m_dlg->ImportPaths({QFile::encodeName(QStringLiteral(VARNEL_TEST_DATA "/../../samples/GNSS_0005.nmea"))});
        const FakePgPort stalled(FakePgPort::Answer::Nothing);
        CPublishDlg dialog(m_dlg, *m_dialogs, TheRecordTable());
        dialog.show();
        dialog.findChild<QLineEdit*>(QStringLiteral("connection"))->setText(QString::fromStdString(stalled.ConnInfo()));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("publish")), Qt::LeftButton);
        QElapsedTimer timer;
        timer.start();
        // The window's own thread is free: its timers and painting go on meanwhile.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        QTest::qWait(500);
        QVERIFY(dialog.IsRunning());
        QVERIFY(ticks >= 10);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("close")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsRunning(), 1500);
        QVERIFY(timer.elapsed() < 1900);  // before the 2 s timeout: the cancel stopped it
        QVERIFY2(dialog.ResultText().startsWith(QStringLiteral("已取消。")), qPrintable(dialog.ResultText()));
        QVERIFY(dialog.isVisible());
    }

private:
    std::unique_ptr<PgTestServer> m_server;
};

VARNEL_WINDOW_TEST_MAIN(TestPublish)
#include "tst_publish.moc"
