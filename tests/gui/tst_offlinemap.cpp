// The offline map's content with the real page and web engine, remote requests refused: the
// basemap, the grid and its labels, the mouse readout, the datum conversions of the page, and
// offline map packages (MBTiles) made by the test, shown in their datum or refused.
// VARNEL_MAP_SHOTS=folder keeps the pictures the tests look at.
#include <sqlite3.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <QtTest>

#include <cmath>
#include <memory>
#include <optional>

#include "geo/datum.h"
#include "map/explorer.h"
#include "map/mappackages.h"
#include "map/mappage.h"
#include "map/placenote.h"
#include "map/remoteblocker.h"
#include "map/showrecord.h"
#include "map/tilepackage.h"
#include "tests/support/windowtestmain.h"

namespace {

// Web Mercator: the pixel of a position at zoom z, in the 256 × 2^z square of the world.
QPointF WorldPixel(double lat, double lon, int z)
{
    const double scale = 256.0 * std::ldexp(1.0, z);
    const double s = std::sin(lat * M_PI / 180.0);
    return {(lon + 180.0) / 360.0 * scale, (0.5 - std::log((1 + s) / (1 - s)) / (4 * M_PI)) * scale};
}

QByteArray Png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Writes an MBTiles file: metadata pairs and tiles keyed (z, x, y) as web maps count them.
bool WriteMbtiles(const QString& path, const QList<QPair<QString, QString>>& metadata,
                  const QList<std::tuple<int, int, int, QByteArray>>& tiles)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db,
        "CREATE TABLE metadata (name TEXT, value TEXT);"
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);"
        "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);",
        nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO metadata VALUES (?, ?)", -1, &statement, nullptr) == SQLITE_OK;
    for (const auto& [name, value] : metadata) {
        const QByteArray n = name.toUtf8(), v = value.toUtf8();
        sqlite3_bind_text(statement, 1, n.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, v.constData(), -1, SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &statement, nullptr) == SQLITE_OK;
    for (const auto& [z, x, y, data] : tiles) {
        sqlite3_bind_int(statement, 1, z);
        sqlite3_bind_int(statement, 2, x);
        sqlite3_bind_int(statement, 3, (1 << z) - 1 - y);
        sqlite3_bind_blob(statement, 4, data.constData(), int(data.size()), SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return ok;
}

// A field near Zhengzhou, WGS-84.
constexpr double FieldLat = 34.7466, FieldLon = 113.6253;

const QColor Land(0xf2, 0xef, 0xe6), Sea(0xc9, 0xdf, 0xf0);
const QColor TileColour(40, 160, 90), MarkColour(220, 30, 200);

int ColourDistance(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

}  // namespace

// Refuses remote requests, as CRemoteBlocker does, and keeps every one it refused.
class RecordingBlocker : public CRemoteBlocker {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != u"qrc" && scheme != u"data" && scheme != QLatin1String(TilePackageScheme))
            refused << info.requestUrl().toString();
        CRemoteBlocker::interceptRequest(info);
    }
    QStringList refused;  // read on the window's thread once the page has settled
};

class OfflineMapTest : public QObject {
    Q_OBJECT

    RecordingBlocker m_blocker;
    std::unique_ptr<CExplorer1> m_browser;
    QTemporaryDir m_dir;

    CMapPage* Page() const { return static_cast<CMapPage*>(m_browser->page()); }

    // Opens the package on the map as the window does and waits for the answer: "" once it is on
    // the map, else why it was refused.
    QString OpenOnMap(const QString& path, bool show)
    {
        auto answer = std::make_shared<std::optional<QString>>();
        OpenTilePackageOnMap(*m_browser, path, show, [answer](const QString& error) { *answer = error; },
                             [answer] { *answer = QString(); });
        if (!QTest::qWaitFor([&] { return answer->has_value(); }, 10000)) return QStringLiteral("no answer");
        return **answer;
    }

    QVariant Eval(const QString& script) const
    {
        QVariant result;
        bool answered = false;
        Page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            answered = true;
        });
        if (!QTest::qWaitFor([&] { return answered; }, 10000)) qWarning("no answer to %s", qPrintable(script));
        return result;
    }
    QJsonValue EvalJson(const QString& expression) const
    {
        const QByteArray json = Eval("JSON.stringify(" + expression + ")").toString().toUtf8();
        return QJsonDocument::fromJson("[" + json + "]").array().at(0);
    }

    // The view on a WGS-84 position at zoom z; the page is given BD-09, as the program gives it.
    void ViewWgs(double lat, double lon, int zoom)
    {
        double bdLat = 0, bdLon = 0;
        WgsToBd(lat, lon, &bdLat, &bdLon);
        Eval(QStringLiteral("BDMap.centerAndZoom(new BMap.Point(%1, %2), %3)")
                 .arg(bdLon, 0, 'f', 9).arg(bdLat, 0, 'f', 9).arg(zoom));
    }

    // Where a BD-09 position lies in the view, in pixels.
    QPointF ViewPixelOfBd(double bdLat, double bdLon) const
    {
        const QJsonObject p = EvalJson(QStringLiteral(
            "BDMap._map.latLngToContainerPoint(OfflineLayers.toDisplay({lat: %1, lng: %2}))")
                                           .arg(bdLat, 0, 'f', 9).arg(bdLon, 0, 'f', 9)).toObject();
        return {p["x"].toDouble(), p["y"].toDouble()};
    }
    QPointF ViewPixelOfWgs(double lat, double lon) const
    {
        double bdLat = 0, bdLon = 0;
        WgsToBd(lat, lon, &bdLat, &bdLon);
        return ViewPixelOfBd(bdLat, bdLon);
    }

    // The view as drawn, once its tiles have loaded; kept when VARNEL_MAP_SHOTS names a folder.
    QImage Picture(const QString& name)
    {
        const bool loaded = QTest::qWaitFor([&] {
            return Eval("document.querySelectorAll('img.leaflet-tile:not(.leaflet-tile-loaded)').length === 0").toBool();
        }, 5000);
        if (!loaded) qWarning("tiles still loading");
        QTest::qWait(400);
        const QImage picture = m_browser->grab().toImage();
        const QString folder = qEnvironmentVariable("VARNEL_MAP_SHOTS");
        if (!folder.isEmpty()) picture.save(QDir(folder).filePath(name + ".png"));
        return picture;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_blocker);
        TheTilePackages();
        m_browser = std::make_unique<CExplorer1>();
        m_browser->resize(800, 600);
        m_browser->show();
        QVERIFY(m_browser->LoadMapPage());
        QTRY_VERIFY_WITH_TIMEOUT(Page()->IsMapReady(), 15000);
        QVERIFY(Eval("BMap.offline === true").toBool());
        QTRY_VERIFY(Eval("OfflineLayers.basemapDrawn()").toBool());
    }

    void cleanupTestCase() { m_browser.reset(); }

    void basemapDrawsChinaAtZoom4()
    {
        ViewWgs(35.0, 105.0, 4);
        const QImage picture = Picture("zoom4");
        const QPointF land = ViewPixelOfWgs(FieldLat, FieldLon);
        const QPointF sea = ViewPixelOfWgs(35.0, 123.5);  // Yellow Sea
        QVERIFY(ColourDistance(picture.pixelColor(land.toPoint()), Land) < 12);
        QVERIFY(ColourDistance(picture.pixelColor(sea.toPoint()), Sea) < 12);
        const QStringList names = Eval(
            "Array.from(document.querySelectorAll('.basemap-province span, .basemap-country span'))"
            ".map(function (e) { return e.textContent; })").toStringList();
        QVERIFY(names.contains(QStringLiteral("中国")));
        QVERIFY(names.contains(QStringLiteral("蒙古")));
        // Provinces are named once there is room for their names.
        ViewWgs(35.0, 110.0, 6);
        const QStringList closer = Eval(
            "Array.from(document.querySelectorAll('.basemap-province span')).map(function (e) { return e.textContent; })")
                                       .toStringList();
        QVERIFY(closer.contains(QStringLiteral("河南省")));
        QVERIFY(closer.contains(QStringLiteral("内蒙古自治区")));
        QVERIFY(!closer.contains(QStringLiteral("中国")));
    }

    void gridLabelsMatchTheView_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::newRow("country") << 4;
        QTest::newRow("county") << 10;
        QTest::newRow("field") << 18;
    }

    void gridLabelsMatchTheView()
    {
        QFETCH(int, zoom);
        ViewWgs(FieldLat, FieldLon, zoom);
        Picture(QStringLiteral("grid-zoom%1").arg(zoom));
        // Each label's value against the WGS-84 position under it, within a pixel.
        const QJsonArray labels = EvalJson(
            "OfflineLayers.gridLabels().map(function (g) {"
            "  var here = MapDatum.toWgs(function (l) { return {lat: l.lat, lon: l.lng}; }("
            "      BDMap._map.containerPointToLatLng([g.kind === 'lon' ? g.x : 400, g.kind === 'lat' ? g.y : 300])), 'wgs84');"
            "  var next = MapDatum.toWgs(function (l) { return {lat: l.lat, lon: l.lng}; }("
            "      BDMap._map.containerPointToLatLng([401, 301])), 'wgs84');"
            "  var centre = MapDatum.toWgs(function (l) { return {lat: l.lat, lon: l.lng}; }("
            "      BDMap._map.containerPointToLatLng([400, 300])), 'wgs84');"
            "  return {text: g.text, kind: g.kind, value: g.value, at: g.kind === 'lon' ? here.lon : here.lat,"
            "          pixel: g.kind === 'lon' ? Math.abs(next.lon - centre.lon) : Math.abs(next.lat - centre.lat)}; })").toArray();
        int lon = 0, lat = 0;
        QList<double> lons;
        for (const QJsonValue& v : labels) {
            const QJsonObject g = v.toObject();
            const double value = g["value"].toDouble();
            QVERIFY2(std::fabs(g["at"].toDouble() - value) <= 1.5 * g["pixel"].toDouble(), qPrintable(g["text"].toString()));
            // The text says the value: degrees and the hemisphere.
            const QString text = g["text"].toString();
            QVERIFY2(std::fabs(text.left(text.indexOf(u'°')).toDouble() - std::fabs(value)) < 1e-9, qPrintable(text));
            const bool isLon = g["kind"].toString() == u"lon";
            if (value != 0) QVERIFY2(text.endsWith(isLon ? u'E' : u'N'), qPrintable(text));
            if (isLon) ++lon, lons << value;
            else ++lat;
        }
        QVERIFY2(lon >= 2 && lon <= 9, qPrintable(QString::number(lon)));
        QVERIFY2(lat >= 2 && lat <= 9, qPrintable(QString::number(lat)));
        // Evenly spaced, at 1, 2 or 5 times a power of ten.
        const double step = lons[1] - lons[0];
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        QVERIFY2(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6,
                 qPrintable(QString::number(step)));
    }

    void readoutShowsTheMousePositionInWgs84()
    {
        ViewWgs(FieldLat, FieldLon, 18);
        QWidget* surface = m_browser->focusProxy() ? m_browser->focusProxy() : m_browser.get();
        QTest::mouseMove(surface, QPoint(250, 200));
        QTRY_VERIFY(Eval("document.querySelector('.coordinate-readout').textContent").toString().contains(u"经度"));
        const QString text = Eval("document.querySelector('.coordinate-readout').textContent").toString();
        const QJsonObject here = EvalJson(
            "MapDatum.toWgs(function (l) { return {lat: l.lat, lon: l.lng}; }(BDMap._map.containerPointToLatLng([250, 200])), 'wgs84')")
                                     .toObject();
        QCOMPARE(text, QStringLiteral("WGS-84 经度 %1° 纬度 %2°").arg(here["lon"].toDouble(), 0, 'f', 6)
                                                                   .arg(here["lat"].toDouble(), 0, 'f', 6));
    }

    void pageDatumInversesUndoTheProgramsForwardConversion_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::newRow("Zhengzhou") << FieldLat << FieldLon;
        QTest::newRow("Shenzhen") << 22.55 << 114.05;
        QTest::newRow("Beijing") << 39.9 << 116.4;
        QTest::newRow("Urumqi") << 43.8 << 87.6;
        QTest::newRow("Mohe") << 53.48 << 122.35;
        QTest::newRow("box corner") << 0.8293 << 72.004;
        QTest::newRow("outside the box") << 60.0 << 100.0;
        QTest::newRow("Sydney") << -33.8688 << 151.2093;
    }

    void pageDatumInversesUndoTheProgramsForwardConversion()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        double gcjLat = 0, gcjLon = 0, bdLat = 0, bdLon = 0;
        WgsToGcj(lat, lon, &gcjLat, &gcjLon);
        WgsToBd(lat, lon, &bdLat, &bdLon);
        const QJsonObject r = EvalJson(QStringLiteral(
            "{ wgs: MapDatum.fromBd({lat: %1, lon: %2}, 'wgs84'), gcj: MapDatum.fromBd({lat: %1, lon: %2}, 'gcj02'),"
            "  bd: MapDatum.toBd({lat: %3, lon: %4}, 'wgs84'), gcjWgs: MapDatum.toWgs({lat: %5, lon: %6}, 'gcj02') }")
                                           .arg(bdLat, 0, 'g', 17).arg(bdLon, 0, 'g', 17).arg(lat, 0, 'g', 17)
                                           .arg(lon, 0, 'g', 17).arg(gcjLat, 0, 'g', 17).arg(gcjLon, 0, 'g', 17))
                                   .toObject();
        const auto near = [](const QJsonValue& p, double a, double b, double tolerance) {
            return std::fabs(p["lat"].toDouble() - a) < tolerance && std::fabs(p["lon"].toDouble() - b) < tolerance;
        };
        QVERIFY(near(r["wgs"], lat, lon, 1e-7));
        QVERIFY(near(r["gcj"], gcjLat, gcjLon, 1e-7));
        QVERIFY(near(r["gcjWgs"], lat, lon, 1e-7));
        QVERIFY(near(r["bd"], bdLat, bdLon, 1e-9));  // the page's forward conversion is the program's
    }

    // A package of a few tiles at zoom 17 around the field's start, in its datum: one colour,
    // and a mark on the pixel where the start lies in that datum. Shown under a route, the mark
    // must lie under the route's start marker: off by the datum's offset, it lies hundreds of
    // pixels away.
    void packageShowsTheStartInItsDatum_data()
    {
        QTest::addColumn<QString>("datum");
        QTest::addColumn<QString>("metadata");
        QTest::newRow("WGS-84 by default") << QStringLiteral("wgs84") << QString();
        QTest::newRow("GCJ-02 from its metadata") << QStringLiteral("gcj02") << QStringLiteral("GCJ-02");
    }

    void packageShowsTheStartInItsDatum()
    {
        QFETCH(QString, datum);
        QFETCH(QString, metadata);
        double lat = FieldLat, lon = FieldLon;
        if (datum == u"gcj02") WgsToGcj(FieldLat, FieldLon, &lat, &lon);
        constexpr int Z = 17;
        const QPointF start = WorldPixel(lat, lon, Z);
        const int tx = int(start.x()) / 256, ty = int(start.y()) / 256;
        QList<std::tuple<int, int, int, QByteArray>> tiles;
        for (int x = tx - 2; x <= tx + 2; ++x) {
            for (int y = ty - 2; y <= ty + 2; ++y) {
                QImage tile(256, 256, QImage::Format_RGB32);
                tile.fill(TileColour);
                if (x == tx && y == ty) {
                    QPainter painter(&tile);
                    painter.fillRect(QRectF(start.x() - tx * 256 - 3, start.y() - ty * 256 - 3, 6, 6), MarkColour);
                }
                tiles.append({Z, x, y, Png(tile)});
            }
        }
        const QString path = m_dir.filePath(datum + ".mbtiles");
        QList<QPair<QString, QString>> meta{{"name", "测试包 " + datum}, {"format", "png"}};
        if (!metadata.isEmpty()) meta.append({"datum", metadata});
        QVERIFY(WriteMbtiles(path, meta, tiles));
        const QString error = OpenOnMap(path, true);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QTRY_COMPARE(Eval("OfflineLayers.datum()").toString(), datum);
        // A short walk from the start, shown as the program shows a record.
        auto record = std::make_unique<MeasureRecord>();
        record->type = Area;
        record->pointCount = 3;
        const double walk[3][2] = {{FieldLat, FieldLon}, {FieldLat + 0.0003, FieldLon}, {FieldLat + 0.0003, FieldLon + 0.0004}};
        for (int i = 0; i < 3; ++i) {
            record->points[i] = {walk[i][1], walk[i][0], 0};
            WgsToBd(walk[i][0], walk[i][1], &record->mapPoints[i].lat, &record->mapPoints[i].lon);
        }
        WgsToBd(FieldLat + 0.00015, FieldLon + 0.0002, &record->mapCenterLat, &record->mapCenterLon);
        record->extent = 40;
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QTRY_COMPARE(Eval("GPSPointCnt").toInt(), 3);
        // Past the package's zoom: its tiles scaled up. (Evaluated to a plain value: the engine
        // would try to convert the returned map object.)
        Eval("BDMap._map.setZoom(18, {animate: false}); true");
        const QJsonObject marker = EvalJson("BDMap._map.latLngToContainerPoint(SMarker._pin.getLatLng())").toObject();
        const QPoint at(qRound(marker["x"].toDouble()), qRound(marker["y"].toDouble()));
        Eval("BDMap._map.getPane('markerPane').style.display = 'none';"
             "BDMap._map.getPane('overlayPane').style.display = 'none';"
             "BDMap._map.getPane('shadowPane').style.display = 'none'");
        const QImage picture = Picture("package-" + datum);
        Eval("['markerPane', 'overlayPane', 'shadowPane'].forEach(function (p) { BDMap._map.getPane(p).style.display = ''; })");
        QVERIFY(QRect(0, 0, 800, 600).contains(at));
        QVERIFY2(ColourDistance(picture.pixelColor(at), MarkColour) < 40,
                 qPrintable(picture.pixelColor(at).name() + " at " + QString::number(at.x()) + "," + QString::number(at.y())));
        QVERIFY(ColourDistance(picture.pixelColor(at + QPoint(15, 15)), TileColour) < 40);
    }

    // Listed by name beside "无底图"; from the GCJ-02 package back to none, the route moves
    // from GCJ-02 to WGS-84 with the map.
    void layerSwitchOffersPackagesAndNoPackage()
    {
        const QStringList names = Eval(
            "Array.from(document.querySelectorAll('.leaflet-control-layers-base label'))"
            ".map(function (l) { return l.textContent.trim(); })").toStringList();
        QCOMPARE(names, (QStringList{"无底图", "测试包 wgs84", "测试包 gcj02"}));
        // The page is given six decimals of BD-09.
        double gcjLat = 0, gcjLon = 0;
        WgsToGcj(FieldLat, FieldLon, &gcjLat, &gcjLon);
        const QJsonObject before = EvalJson("SMarker._pin.getLatLng()").toObject();
        QVERIFY(std::fabs(before["lat"].toDouble() - gcjLat) < 1e-6);
        QVERIFY(std::fabs(before["lng"].toDouble() - gcjLon) < 1e-6);
        Eval("document.querySelectorAll('.leaflet-control-layers-base input')[0].click()");
        QCOMPARE(Eval("OfflineLayers.datum()").toString(), QStringLiteral("wgs84"));
        const QJsonObject start = EvalJson("SMarker._pin.getLatLng()").toObject();
        QVERIFY(std::fabs(start["lat"].toDouble() - FieldLat) < 1e-6);
        QVERIFY(std::fabs(start["lng"].toDouble() - FieldLon) < 1e-6);
    }

    void missingTilesAreEmptyNotBroken()
    {
        QCOMPARE(TheTilePackages().Tile(0, 3, 1, 1), QByteArray());
        Eval("window.probe = new Image(); probe.onload = function () { probe.result = 'loaded ' + probe.naturalWidth; };"
             "probe.onerror = function () { probe.result = 'error'; }; probe.src = 'mbtiles://package/0/3/1/1';");
        QTRY_COMPARE(Eval("probe.result").toString(), QStringLiteral("loaded 1"));
    }

    void packagesThatAreNotMapsAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text file") << "notes.mbtiles" << "它不是 SQLite 数据库文件";
        QTest::newRow("corrupt") << "broken.mbtiles" << "文件已损坏";
        QTest::newRow("other database") << "other.mbtiles" << "它不是 MBTiles 地图包（没有 tiles 表）";
        QTest::newRow("vector tiles") << "vector.mbtiles" << "只能打开 PNG 或 JPEG 栅格瓦片的地图包，它的瓦片格式是 pbf";
        QTest::newRow("no tiles") << "empty.mbtiles" << "地图包里没有地图瓦片";
        QTest::newRow("missing") << "none.mbtiles" << "文件不存在或不是普通文件";
        QTest::newRow("endless metadata view") << "endless.mbtiles" << "地图包的 tiles 和 metadata 必须是数据表，不能是视图";
        QTest::newRow("endless tiles view") << "endlesstiles.mbtiles" << "地图包的 tiles 和 metadata 必须是数据表，不能是视图";
        QTest::newRow("no tile index") << "unindexed.mbtiles" << "地图包缺少瓦片索引";
        QTest::newRow("no tile column") << "columns.mbtiles" << "地图包的 tiles 表缺少 tile_data 列";
    }

    void packagesThatAreNotMapsAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(name);
        const QByteArray tile = Png(QImage(256, 256, QImage::Format_RGB32));
        if (name == u"notes.mbtiles") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        } else if (name == u"broken.mbtiles") {
            QVERIFY(WriteMbtiles(path, {{"format", "png"}}, {{1, 0, 0, tile}}));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(100);  // past the header: the schema page and everything after it
            file.write(QByteArray(int(file.size()) - 100, '\xa5'));
        } else if (name == u"other.mbtiles") {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            sqlite3_exec(db, "CREATE TABLE fields (name TEXT)", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else if (name == u"vector.mbtiles") {
            QVERIFY(WriteMbtiles(path, {{"format", "pbf"}}, {{1, 0, 0, QByteArray("\x1a\x02", 2)}}));
        } else if (name == u"empty.mbtiles") {
            QVERIFY(WriteMbtiles(path, {{"format", "png"}}, {}));
        } else if (name.startsWith(u"endless") || name == u"unindexed.mbtiles" || name == u"columns.mbtiles") {
            // An 8 KB file that would keep a reader busy for ever, or scan a whole table per tile.
            const char* endless = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)";
            const QByteArray schema =
                name == u"endless.mbtiles"
                    ? QByteArray("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);"
                                 "CREATE UNIQUE INDEX t ON tiles (zoom_level, tile_column, tile_row);"
                                 "CREATE VIEW metadata AS ") + endless + " SELECT 'name' AS name, i AS value FROM n;"
                : name == u"endlesstiles.mbtiles"
                    ? QByteArray("CREATE TABLE metadata (name TEXT, value TEXT); CREATE VIEW tiles AS ") + endless +
                          " SELECT 1 AS zoom_level, 0 AS tile_column, 0 AS tile_row, zeroblob(900000000) AS tile_data FROM n;"
                : name == u"unindexed.mbtiles"
                    ? QByteArray("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);"
                                 "CREATE INDEX partly ON tiles (zoom_level, tile_column);")
                    : QByteArray("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, data BLOB);"
                                 "CREATE UNIQUE INDEX t ON tiles (zoom_level, tile_column, tile_row);");
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, schema.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        CTilePackages packages;
        QString error;
        QElapsedTimer took;
        took.start();
        QCOMPARE(packages.Open(path, &error), -1);
        QVERIFY(took.elapsed() < 2000);
        QCOMPARE(error, QStringLiteral("无法打开离线地图包“%1”：%2。").arg(name, reason));
        QVERIFY(packages.Packages().empty());
    }

    // A tile over the size limit is read as missing, never into memory whole; the others still show.
    void hugeTileIsTakenAsMissing()
    {
        const QString path = m_dir.filePath(QStringLiteral("huge.mbtiles"));
        const QByteArray tile = Png(QImage(256, 256, QImage::Format_RGB32));
        QVERIFY(WriteMbtiles(path, {{"format", "png"}}, {{1, 0, 0, tile}, {1, 1, 0, tile + QByteArray(MaxTileBytes, '\0')}}));
        CTilePackages packages;
        QString error;
        const int id = packages.Open(path, &error);
        QVERIFY2(id >= 0, qPrintable(error));
        QCOMPARE(packages.Tile(id, 1, 0, 0), tile);
        QCOMPARE(packages.Tile(id, 1, 1, 0), QByteArray());
        // On the page, through the packages' own thread: a transparent tile.
        QCOMPARE(OpenOnMap(path, false), QString());
        const int shown = int(TheTilePackages().Packages().size()) - 1;
        Eval(QStringLiteral("window.huge = new Image(); huge.onload = function () { huge.result = 'loaded ' + huge.naturalWidth; };"
                            "huge.onerror = function () { huge.result = 'error'; }; huge.src = 'mbtiles://package/%1/1/1/0';")
                 .arg(shown));
        QTRY_COMPARE(Eval("huge.result").toString(), QStringLiteral("loaded 1"));
    }

    // Names a package carries (or its file's name) are shown as typed, never taken as markup: no
    // script runs and nothing is requested.
    void hostilePackageNamesShowAsTyped()
    {
        const QString marked = QStringLiteral("<img src=\"http://127.0.0.1:9/x\" onerror=\"window.pwned = 1\">包");
        const QString file = QStringLiteral("<img src=x onerror=window.pwned=2><b>粗");
        const QByteArray tile = Png(QImage(256, 256, QImage::Format_RGB32));
        QVERIFY(WriteMbtiles(m_dir.filePath(QStringLiteral("hostile.mbtiles")),
                             {{"name", marked}, {"format", "png"}, {"attribution", marked}, {"description", marked}},
                             {{1, 0, 0, tile}}));
        QVERIFY(WriteMbtiles(m_dir.filePath(file + QStringLiteral(".mbtiles")), {{"format", "png"}}, {{1, 0, 0, tile}}));
        m_blocker.refused.clear();
        QCOMPARE(OpenOnMap(m_dir.filePath(QStringLiteral("hostile.mbtiles")), true), QString());
        QCOMPARE(OpenOnMap(m_dir.filePath(file + QStringLiteral(".mbtiles")), false), QString());
        QTest::qWait(500);
        const QStringList names = Eval(
            "Array.from(document.querySelectorAll('.leaflet-control-layers-base label'))"
            ".map(function (l) { return l.textContent.trim(); })").toStringList();
        QVERIFY2(names.contains(marked) && names.contains(file), qPrintable(names.join(u'|')));
        QCOMPARE(Eval("document.querySelectorAll('.leaflet-control-layers img, .leaflet-control-layers b').length").toInt(), 0);
        QCOMPARE(Eval("typeof window.pwned").toString(), QStringLiteral("undefined"));
        QVERIFY2(m_blocker.refused.isEmpty(), qPrintable(m_blocker.refused.join(u' ')));
        // And were one to slip in, the page's policy would not run its handler.
        Eval("var probe = document.createElement('div'); probe.innerHTML = '<img src=\"qrc:/none\" onerror=\"window.pwned = 3\">';"
             "document.body.appendChild(probe); true");
        QTest::qWait(500);
        QCOMPARE(Eval("typeof window.pwned").toString(), QStringLiteral("undefined"));
    }

    // Opening waits for no file: the call returns before the package has been read.
    void packagesOpenOffTheWindowsThread()
    {
        const QString path = m_dir.filePath(QStringLiteral("aside.mbtiles"));
        QVERIFY(WriteMbtiles(path, {{"format", "png"}}, {{1, 0, 0, Png(QImage(256, 256, QImage::Format_RGB32))}}));
        bool opened = false;
        OpenTilePackageOnMap(*m_browser, path, false, {}, [&opened] { opened = true; });
        QVERIFY(!opened);
        QTRY_VERIFY(opened);
    }

    void placeNoteSitsBesideTheOfflineNote()
    {
        auto record = std::make_unique<MeasureRecord>();
        record->pointCount = 1;
        record->points[0] = {FieldLon, FieldLat, 0};
        ShowPlaceOnMap(*m_browser, *record);
        QTRY_VERIFY(Eval("document.getElementById('PlaceNote').textContent").toString().startsWith(u"河南省 郑州市 附近 "));
        QVERIFY(Eval("document.getElementById('PlaceNote').offsetWidth > 0 &&"
                     " document.getElementById('PlaceNote').parentNode.querySelector('.offline-note') !== null").toBool());
        record->pointCount = 0;
        ShowPlaceOnMap(*m_browser, *record);
        QTRY_COMPARE(Eval("document.getElementById('PlaceNote').offsetWidth").toInt(), 0);
    }
};

VARNEL_WINDOW_TEST_MAIN(OfflineMapTest)
#include "tst_offlinemap.moc"
