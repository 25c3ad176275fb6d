// The export commands: save dialog, the selected record written, the message.
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cerrno>
#include <cstring>
#include <memory>

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

    void gisAndReportFollowTheChosenFilter_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("epsg");  // of the GIS file's layers; 0 for the report
        QTest::newRow("GeoPackage, preselected") << "exportGis" << -1 << "a.gpkg" << 4326;
        QTest::newRow("Shapefile in the zone plane") << "exportGis" << 3 << "b.shp" << 4526;
        QTest::newRow("name's extension over the filter") << "exportGis" << 0 << "c.kml" << 4326;
        QTest::newRow("report") << "exportReport" << -1 << QStringLiteral("测量报告.pdf") << 0;
    }

    void gisAndReportFollowTheChosenFilter()
    {
        QFETCH(QString, button);
        QFETCH(int, filter);
        QFETCH(QString, name);
        QFETCH(int, epsg);
        FillTable();
        m_dlg->SelectRecord(2);
        m_dialogs->saveAnswer = m_dir->filePath(name);
        m_dialogs->saveFilterAnswer = filter;
        Click(button.toLatin1().constData());

        QCOMPARE(m_dialogs->saveRequests.size(), 1);
        const SaveFileRequest& request = m_dialogs->saveRequests[0];
        QCOMPARE(request.selectedFilter, 0);
        if (epsg == 0) {
            QCOMPARE(request.filters, QStringList{QStringLiteral("PDF (*.pdf)")});
            QCOMPARE(request.initialName, QStringLiteral("测量报告"));
            QCOMPARE(m_dialogs->messages.size(), 1);
            QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("已成功导出为测量报告，谢谢！"));
            QVERIFY(ReadAll(m_dialogs->saveAnswer).startsWith("%PDF-"));
            return;
        }
        QCOMPARE(request.filters.size(), 7);
        QCOMPARE(request.filters[0], QStringLiteral("GeoPackage (*.gpkg)"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("gpkg"));
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("已成功导出为GIS文件，谢谢！"));
        GDALAllRegister();
        const std::unique_ptr<GDALDataset> file(
            GDALDataset::Open(QFile::encodeName(m_dialogs->saveAnswer).constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
        QVERIFY(file);
        OGRLayer* outline = file->GetLayer(0);
        QVERIFY(outline && outline->GetSpatialRef());
        QCOMPARE(QByteArray(outline->GetSpatialRef()->GetAuthorityCode(nullptr)), QByteArray::number(epsg));
        QCOMPARE(int(outline->GetFeatureCount()), 1);  // record 2: four points
        std::unique_ptr<OGRFeature> feature(outline->GetNextFeature());
        QCOMPARE(feature->GetFieldAsInteger("points"), 4);
    }

    // Nothing loaded: each export says so, asks for no file and writes none.
    void exportsNeedARecord()
    {
        m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("out.file"));
        for (const char* button : {"exportCad", "exportExcel", "exportGis", "exportReport", "exportImage"}) Click(button);
        QVERIFY(m_dialogs->saveRequests.isEmpty());
        QCOMPARE(m_dialogs->messages.size(), 5);
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
        for (const char* button : {"exportCad", "exportExcel", "exportGis", "exportReport"}) Click(button);
        QCOMPARE(m_dialogs->saveRequests.size(), 4);
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void failedExportNamesTheFileAndTheReason()
    {
        FillTable();
        m_dlg->SelectRecord(0);
        for (const char* button : {"exportCad", "exportExcel", "exportGis", "exportReport"}) {
            m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("missing/out.file"));
            Click(button);
        }
        QCOMPARE(m_dialogs->messages.size(), 4);
        for (const CScriptedDialogs::Message& message : m_dialogs->messages) {
            QCOMPARE(message.caption, QStringLiteral("温馨提示："));
            QVERIFY2(message.text.contains(m_dialogs->saveAnswer), qPrintable(message.text));
            QVERIFY2(message.text.contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(message.text));
            QVERIFY(!message.text.contains(QStringLiteral("成功")));
        }
    }

    // A Shapefile name its driver would change (and so write other files than asked) is refused
    // with the characters named; the file it would have become is untouched.
    void shapefileNameItCannotKeepIsRefused()
    {
        FillTable();
        m_dlg->SelectRecord(0);
        WriteFile(m_dir->filePath(QStringLiteral("a_c.shp")), "another export");
        m_dialogs->saveAnswer = m_dir->filePath(QStringLiteral("a:c?.shp"));
        Click("exportGis");
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].text.contains(QStringLiteral("这种格式的文件名里不能有这些字符：:?")),
                 qPrintable(m_dialogs->messages[0].text));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("a_c.shp")});
        QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("a_c.shp"))), QByteArray("another export"));
    }
};

VARNEL_WINDOW_TEST_MAIN(TestExports)
#include "tst_exports.moc"
