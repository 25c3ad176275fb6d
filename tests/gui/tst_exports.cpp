// The DXF and point-file export commands: save dialog, the selected record written, the message.
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include "tests/support/scripteddialogs.h"
#include "app/varneldlg.h"
#include "tests/support/windowfixture.h"
#include "tests/support/windowtestmain.h"

namespace {

// Three records of 2, 3 and 4 points; record i's points have latitude 30 + i.
void FillTable()
{
    RecordTable& table = TheRecordTable();
    for (int i = 0; i < 3; ++i) {
        MeasureRecord& r = table.records[i];
        r.pointCount = i + 2;
        for (int k = 0; k < r.pointCount; ++k) {
            r.points[k] = {113.5 + k, 30.0 + i, 0};
            r.planePoints[k] = {500000.0 + 100 * i + k, -3000000.0 - k};
        }
    }
    table.count = 3;
}

}  // namespace

class TestExports : public CWindowFixture {
    Q_OBJECT

private slots:
    void init()
    {
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
    }

    void cleanup() { CloseWindow(); }

    void exportWritesTheSelectedRecord_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("initialName");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("success");
        QTest::newRow("CAD") << "exportCad" << QStringLiteral("工程制图") << "dxf" << "(*.dxf)"
                             << QStringLiteral("已成功导出为CAD文件，谢谢！");
        QTest::newRow("EXCEL") << "exportExcel" << QStringLiteral("EXCEL表格") << "csv" << "(*.csv)"
                               << QStringLiteral("已成功导出为EXCEL文件，谢谢！");
    }

    void exportWritesTheSelectedRecord()
    {
        QFETCH(QString, button);
        QFETCH(QString, initialName);
        QFETCH(QString, suffix);
        QFETCH(QString, filter);
        QFETCH(QString, success);
        // Record 0 is shown first; a click on row 1 makes it the exported one.
        FillTable();
        for (int i = 0; i < 3; ++i) m_dlg->InsertRecordItem(i, i);
        m_dlg->SelectRecord(0);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualItemRect(List()->item(1, 0)).center());
        m_dialogs->saveAnswer = m_dir->filePath(initialName + '.' + suffix);
        Click(button.toLatin1().constData());

        QCOMPARE(m_dialogs->saveRequests.size(), 1);
        const SaveFileRequest& request = m_dialogs->saveRequests[0];
        QCOMPARE(request.initialName, initialName);
        QCOMPARE(request.defaultSuffix, suffix);
        QCOMPARE(request.filters, QStringList{filter});
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].caption, QStringLiteral("温馨提示："));
        QCOMPARE(m_dialogs->messages[0].text, success);

        // Record 1: three points, so two lines or two LINE entities.
        const QByteArray written = ReadAll(m_dialogs->saveAnswer);
        if (suffix == QLatin1String("csv")) {
            QCOMPARE(written, QByteArray("31.000000,113.500000\n31.000000,114.500000\n"));
        } else {
            QCOMPARE(written.count("\nLINE\n"), 2);
            QVERIFY(written.contains("500100.0"));
            QVERIFY(!written.contains("500000.0"));
        }
    }

    // Nothing loaded: each export says so, asks for no file and writes none.
    void exportsNeedARecord()
    {
        m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("out.file"));
        for (const char* button : {"exportCad", "exportExcel", "exportImage"}) Click(button);
        QVERIFY(m_dialogs->saveRequests.isEmpty());
        QCOMPARE(m_dialogs->messages.size(), 3);
        for (const CScriptedDialogs::Message& message : m_dialogs->messages) {
            QCOMPARE(message.caption, QStringLiteral("温馨提示："));
            QCOMPARE(message.text, QStringLiteral("请先导入测量记录。"));
        }
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void cancelledSaveWritesNothing()
    {
        FillTable();
        m_dlg->SelectRecord(0);
        Click("exportCad");
        Click("exportExcel");
        QCOMPARE(m_dialogs->saveRequests.size(), 2);
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void failedExportNamesTheFileAndTheReason()
    {
        FillTable();
        m_dlg->SelectRecord(0);
        for (const char* button : {"exportCad", "exportExcel"}) {
            m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("missing/out.file"));
            Click(button);
        }
        QCOMPARE(m_dialogs->messages.size(), 2);
        for (const CScriptedDialogs::Message& message : m_dialogs->messages) {
            QCOMPARE(message.caption, QStringLiteral("温馨提示："));
            QVERIFY2(message.text.contains(m_dialogs->saveAnswer), qPrintable(message.text));
            QVERIFY2(message.text.contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(message.text));
            QVERIFY(!message.text.contains(QStringLiteral("成功")));
        }
    }
};

VARNEL_WINDOW_TEST_MAIN(TestExports)
#include "tst_exports.moc"
