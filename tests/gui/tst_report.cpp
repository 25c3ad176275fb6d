// The measurement report: its text as poppler extracts it, its fonts embedded, its page rendered
// showing the outline, the thinning of the vertex table, and failures.
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "export/report_pdf.h"
#include "export/safe_file.h"
#include "import/loader.h"
#include "import/record_geodesy.h"
#include "import/recordplace.h"

namespace {

const char kSample[] = VARNEL_TEST_DATA "/../../samples/TRACK-0001_2026-04-11 102030.nmea";

// Standard output of a poppler tool, or a null array when it cannot run.
QByteArray Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

}  // namespace

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_record = std::make_unique<MeasureRecord>();
        QCOMPARE(LoadRecordFile(kSample, *m_record), 0);
        QVERIFY(m_record->pointCount > ReportVertexRows);
        m_pdf = m_dir.filePath("report.pdf");
        int error = 0;
        QCOMPARE(WriteReportPdf(QFile::encodeName(m_pdf).constData(), *m_record, &error), 0);
    }

    void textHoldsTheFiguresAsThePanelShowsThem()
    {
        const QString text = QString::fromUtf8(Run("pdftotext", {"-layout", m_pdf, "-"}));
        QVERIFY2(!text.isEmpty(), "pdftotext (poppler-utils) gave nothing");
        const MeasureRecord& r = *m_record;
        const RecordGeodesicFigures geodesic = RecordGeodesic(r);
        char place[PlaceTextSize];
        QCOMPARE(FormatRecordPlace(r, place, sizeof place), 0);
        QVERIFY2(std::strstr(place, "郑州市") != nullptr, place);
        const QString expected[] = {
            QStringLiteral("测量报告"),
            QStringLiteral("TRACK-0001_2026-04-11 102030.nmea"),
            QString::asprintf("时间：%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute, r.second),
            QStringLiteral("类型：面积"),
            QStringLiteral("位置：") + QString::fromUtf8(place),
            // The file states the area and the perimeter; the straight line is computed.
            QString::asprintf("仪器记录面积: %.0f 平方米", r.area),
            QString::asprintf("%.2f 亩", r.areaMu),
            QString::asprintf("椭球面积: %.0f 平方米", geodesic.geodesicArea),
            QString::asprintf("%.2f 亩", geodesic.geodesicAreaMu),
            QStringLiteral("仪器记录周长: 499.10 米"),
            QString::asprintf("计算直线: %.2f 米", r.calcStraightLength),
            QString::asprintf("计算周长: %.2f 米", r.calcCurveLength + r.calcStraightLength),
            QString::asprintf("椭球周长: %.2f 米", geodesic.geodesicPerimeter),
            QString::asprintf("点数: %d", r.pointCount),
            QString::asprintf("共 %d 点，均匀选列 %d 点", r.pointCount, ReportVertexRows),
            QString::asprintf("%.6f", r.points[0].lat),
            QString::asprintf("%.6f", r.points[r.pointCount - 1].lon),
            QStringLiteral("比例尺 1:"),
            QStringLiteral("北"),
            QStringLiteral("打印时间："),
            QStringLiteral("Varnel "),
        };
        for (const QString& piece : expected) QVERIFY2(text.contains(piece), qPrintable(piece));
    }

    // A name's line end, control bytes and reordering marks show as signs on the one line of
    // "文件："; the name is never shown reversed nor breaks into the header.
    void namesShowAsTheyAreOnOneLine()
    {
        auto record = std::make_unique<MeasureRecord>(*m_record);
        std::strcpy(record->path, "/d/\xe6\xb5\x8b\nname\x1b\xe2\x80\xaegpj.exe.nmea");
        const QString pdf = m_dir.filePath("names.pdf");
        QCOMPARE(WriteReportPdf(QFile::encodeName(pdf).constData(), *record, nullptr), 0);
        const QString text = QString::fromUtf8(Run("pdftotext", {"-layout", pdf, "-"}));
        QVERIFY2(text.contains(QStringLiteral("文件：测␊name␛<U+202E>gpj.exe.nmea")), qPrintable(text.left(400)));
        QVERIFY(!text.contains(QChar(0x202E)));
        QVERIFY(!text.contains(QChar(0x1b)));
    }

    // Each record's figures under their true names: a distance has no perimeter and no area, a
    // vehicle's enclosed area is marked as no field's, figures no file states are computed; a
    // GBK name reads as everywhere else.
    void figuresAreNamedForWhatTheyAre_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QByteArray dated = "2026-04-12,09:15:30,34.7890,113.5840\r\n2026-04-12,09:15:40,34.7895,113.5850\r\n"
                                 "2026-04-12,09:15:50,34.7900,113.5840\r\n";
        QTest::newRow("distance") << QByteArray("DISTANCE-1.nmea") << dated
                                  << QStringList{"计算曲线:", "计算直线:"}
                                  << QStringList{"周长", "面积", "仪器记录"};
        QTest::newRow("vehicle") << QByteArray("CAR-1.nmea") << dated
                                 << QStringList{"计算轨迹围成面积（不是地块面积）:", "计算周长:"}
                                 << QStringList{"计算面积:", "仪器记录"};
        // "测量" in GBK; the file states its walked length as a curve.
        QTest::newRow("GBK name, stated curve")
            << QByteArray("\xB2\xE2\xC1\xBF-1.nmea") << dated + "曲线: 123.4\r\n"
            << QStringList{"文件：测量-1.nmea", "仪器记录曲线: 123.40 米", "计算面积:", "计算直线:"}
            << QStringList{"仪器记录周长", "\uFFFD"};
    }

    void figuresAreNamedForWhatTheyAre()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QByteArray path = QFile::encodeName(m_dir.path()) + '/' + name;
        {
            FILE* out = std::fopen(path.constData(), "wb");
            QVERIFY(out);
            std::fwrite(content.constData(), 1, size_t(content.size()), out);
            std::fclose(out);
        }
        auto record = std::make_unique<MeasureRecord>();
        QCOMPARE(LoadRecordFile(path.constData(), *record), 0);
        const QString pdf = m_dir.filePath(QStringLiteral("named.pdf"));
        QCOMPARE(WriteReportPdf(QFile::encodeName(pdf).constData(), *record, nullptr), 0);
        const QString text = QString::fromUtf8(Run("pdftotext", {"-layout", pdf, "-"}));
        QVERIFY(!text.isEmpty());
        for (const QString& piece : present) QVERIFY2(text.contains(piece), qPrintable(piece + "\n" + text));
        for (const QString& piece : absent) QVERIFY2(!text.contains(piece), qPrintable(piece + "\n" + text));
    }

    void everyFontIsEmbedded()
    {
        const QStringList lines = QString::fromUtf8(Run("pdffonts", {m_pdf})).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() > 2, "pdffonts (poppler-utils) listed no font");
        // name, type, encoding, then the emb column: "yes" for each font.
        for (const QString& line : lines.mid(2)) QVERIFY2(line.contains(QStringLiteral(" yes ")), qPrintable(line));
    }

    void renderedPageShowsTheOutline()
    {
        const QString prefix = m_dir.filePath("page");
        Run("pdftoppm", {"-png", "-r", "40", "-singlefile", m_pdf, prefix});
        const QImage page(prefix + ".png");
        QVERIFY2(!page.isNull(), "pdftoppm (poppler-utils) rendered nothing");
        // Pixels of the outline's blue inside the drawing frame (72–178 mm from the top).
        int outline = 0;
        for (int y = page.height() * 72 / 297; y < page.height() * 178 / 297; ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                if (c.blue() > 180 && c.red() < 150 && c.green() < 170) ++outline;
            }
        QVERIFY2(outline > 100, qPrintable(QString::number(outline)));
    }

    void vertexTableIsThinnedEvenlyFromFirstToLast_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("fewer than the rows") << 7;
        QTest::newRow("exactly the rows") << ReportVertexRows;
        QTest::newRow("one more") << ReportVertexRows + 1;
        QTest::newRow("full record") << MaxPointCount;
    }
    void vertexTableIsThinnedEvenlyFromFirstToLast()
    {
        QFETCH(int, count);
        const std::vector<int> rows = ReportVertexIndices(count);
        QCOMPARE(int(rows.size()), std::min(count, ReportVertexRows));
        if (count == 0) return;
        QCOMPARE(rows.front(), 0);
        QCOMPARE(rows.back(), count - 1);
        for (size_t i = 1; i < rows.size(); ++i) {
            QVERIFY(rows[i] > rows[i - 1]);
            if (count > ReportVertexRows) QVERIFY(std::abs((rows[i] - rows[i - 1]) - (count - 1.0) / (ReportVertexRows - 1)) <= 1);
        }
    }

    void failuresAreReportedAndKeepTheTarget()
    {
        const QString target = m_dir.filePath("kept.pdf");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        auto damaged = std::make_unique<MeasureRecord>(*m_record);
        damaged->pointCount = PointCapacity + 1;
        int error = 0;
        QCOMPARE(WriteReportPdf(QFile::encodeName(target).constData(), *damaged, &error), -1);
        QCOMPARE(error, EINVAL);
        QCOMPARE(WriteReportPdf("/dev/full", *m_record, &error), -1);  // a device is never opened
        QCOMPARE(error, NotRegularFileError);
        QCOMPARE(WriteReportPdf(QFile::encodeName(m_dir.filePath("missing/r.pdf")).constData(), *m_record, &error), -1);
        QCOMPARE(error, ENOENT);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old content"));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MeasureRecord> m_record;
    QString m_pdf;
};

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
