// The map browser, its page in offline mode, the script bridge and the showing of a record,
// all with the real web engine. Remote requests are refused, so nothing waits on a network.
#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QtTest>

#include <QMenu>
#include <QStyleHints>

#include <signal.h>

#include <cmath>
#include <limits>
#include <memory>

#include "app/varneldlg.h"
#include "import/loader.h"
#include "map/explorer.h"
#include "map/mappage.h"
#include "map/remoteblocker.h"
#include "map/showrecord.h"
#include "map/webpage.h"
#include "tests/support/testsupport.h"

namespace {
QStringList g_trace;  // lines of the bridge's logging category
QtMessageHandler g_previousHandler = nullptr;

void CaptureTrace(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && QByteArray(context.category) == "varnel.webpage")
        g_trace << message;
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QString TraceLine(const QString& error)
{
    return QStringLiteral("root@webpage: StdErr --> JSCall Error:\n") + error + QStringLiteral("\r\n");
}

// Points as (longitude, latitude).
std::unique_ptr<MeasureRecord> MakeRecord(int type, const QList<QPointF>& points, QPointF centre, double extent)
{
    auto record = std::make_unique<MeasureRecord>();
    record->type = type;
    record->pointCount = static_cast<int32_t>(points.size());
    for (int i = 0; i < points.size(); ++i) record->mapPoints[i] = {points[i].x(), points[i].y()};
    record->mapCenterLon = centre.x();
    record->mapCenterLat = centre.y();
    record->extent = extent;
    return record;
}

// Sends every remote request to one local server (that serves a stand-in, or never answers).
class LocalNetwork : public QWebEngineUrlRequestInterceptor {
public:
    explicit LocalNetwork(quint16 port) : m_target(QStringLiteral("http://127.0.0.1:%1/api").arg(port)) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != u"qrc" && scheme != u"data" && info.requestUrl() != m_target) info.redirect(m_target);
    }

private:
    QUrl m_target;
};

// The map page as the program carries it, in the browser in place of LoadMapPage's, with its
// policy letting scripts come from origin too: the local server that the online map's requests
// are sent to. False when the page's policy does not name the online map's origin.
bool LoadMapPageWithApiAt(CExplorer1& browser, const QString& origin)
{
    QFile file(QString::fromLatin1(MapPageResource));
    if (!browser.LoadMapPage() || !file.open(QIODevice::ReadOnly)) return false;
    QString html = QString::fromUtf8(file.readAll());
    const QString policy = QStringLiteral("script-src qrc: https://api.map.baidu.com;");
    if (!html.contains(policy)) return false;
    html.replace(policy, QStringLiteral("script-src qrc: https://api.map.baidu.com %1;").arg(origin));
    browser.page()->setHtml(html, QUrl(QStringLiteral("qrc") + QString::fromLatin1(MapPageResource)));
    return true;
}

// Answers every request with one script, as a web server would.
class ScriptServer : public QTcpServer {
public:
    explicit ScriptServer(QByteArray script) : m_script(std::move(script))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n")) return;
                    m_request.clear();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/javascript; charset=utf-8\r\n"
                                  "Connection: close\r\nContent-Length: " + QByteArray::number(m_script.size()) +
                                  "\r\n\r\n" + m_script);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    QByteArray m_script;
    QByteArray m_request;
};

// A record loaded by the loader from a file of dated lines, one per (latitude, longitude).
std::unique_ptr<MeasureRecord> LoadedRecord(const char* name, const std::vector<std::pair<double, double>>& fixes)
{
    ScratchFolder folder("varnel-map");
    std::string text;
    for (size_t i = 0; i < fixes.size(); ++i)
        text += QString::asprintf("2026-04-13,10:%02d:%02d,%.7f,%.7f\r\n", int(i / 60 % 60), int(i % 60),
                                  fixes[i].first, fixes[i].second).toStdString();
    auto record = std::make_unique<MeasureRecord>();
    if (LoadRecordFile(folder.Write(name, text).c_str(), *record) != 0) record->pointCount = -1;
    return record;
}

std::unique_ptr<MeasureRecord> LoadedSample(const char* name)
{
    auto record = std::make_unique<MeasureRecord>();
    const QByteArray path = QFile::encodeName(QStringLiteral(VARNEL_TEST_DATA "/../../samples/") + QString::fromUtf8(name));
    if (LoadRecordFile(path.constData(), *record) != 0) record->pointCount = -1;
    return record;
}

// Where a point falls in a view of width × height pixels centred on centre at zoom, by the
// online map's scale: 2^(18 − zoom) Mercator metres per pixel.
QPointF OnlinePixel(const GeoPoint& point, double centreLat, double centreLon, int zoom, int width, int height)
{
    constexpr double R = 6378137, Radian = M_PI / 180;
    const auto mercatorY = [](double lat) { return std::log(std::tan(M_PI / 4 + lat * Radian / 2)); };
    const double metresPerPixel = std::ldexp(1.0, 18 - zoom);
    return {width / 2.0 + (point.lon - centreLon) * Radian * R / metresPerPixel,
            height / 2.0 - (mercatorY(point.lat) - mercatorY(centreLat)) * R / metresPerPixel};
}

using RecordPtr = std::shared_ptr<MeasureRecord>;

const QList<QPointF> ThreePoints = {{113.264385, 23.129112}, {113.265, 23.1295}, {113.2661, 23.1302}};
const QPointF ThreeCentre(113.265243, 23.129656);
}  // namespace

Q_DECLARE_METATYPE(RecordPtr)

class MapTest : public QObject {
    Q_OBJECT

    CRemoteBlocker m_blocker;
    std::unique_ptr<CExplorer1> m_browser;

    CMapPage* Page() const { return static_cast<CMapPage*>(m_browser->page()); }

    static QVariant Eval(QWebEnginePage* page, const QString& script)
    {
        QVariant result;
        bool answered = false;
        page->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            answered = true;
        });
        if (!QTest::qWaitFor([&] { return answered; }, 10000)) qWarning("no answer to %s", qPrintable(script));
        return result;
    }
    QVariant Eval(const QString& script) const { return Eval(Page(), script); }
    static QJsonObject EvalObject(QWebEnginePage* page, const QString& expression)
    {
        return QJsonDocument::fromJson(Eval(page, "JSON.stringify(" + expression + ")").toString().toUtf8()).object();
    }
    QJsonObject EvalObject(const QString& expression) const { return EvalObject(Page(), expression); }

    // The Map_ calls the page received since the last init(), as "name(arg,arg)".
    QStringList SentCalls() const
    {
        return Eval("sentCalls.map(function (c) { return c[0] + '(' + c.slice(1).join(',') + ')'; })").toStringList();
    }

    static void ShowOrFail(CExplorer1& browser, const MeasureRecord& record, int expected)
    {
        QCOMPARE(ShowRecordOnMap(browser, record), expected);
    }

private slots:
    void initTestCase()
    {
        g_previousHandler = qInstallMessageHandler(CaptureTrace);
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_blocker);
        m_browser = std::make_unique<CExplorer1>();
        m_browser->resize(800, 600);
        m_browser->show();
        QVERIFY(m_browser->Document() == nullptr);
        QVERIFY(m_browser->LoadMapPage());
        QVERIFY(m_browser->Document() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(Page()->IsMapReady(), 15000);
    }

    void init()
    {
        // Records the page's Map_ calls with their arguments, then passes them on; again after
        // the page was loaded anew.
        Eval("if (typeof window.sentCalls === 'undefined') {"
             "['Map_RST', 'Map_PopPoints', 'Map_Stack2PolyLine', 'Map_SetCenter'].forEach(function (n) {"
             "  var f = window[n];"
             "  window[n] = function () {"
             "    sentCalls.push([n].concat(Array.prototype.slice.call(arguments)));"
             "    return f.apply(this, arguments); };"
             "});"
             "window.Echo = function () { window.echoed = Array.prototype.slice.call(arguments); };"
             "window.Boom = function (text) { throw text === '' ? '' : new Error(text); }; }"
             "sentCalls = []; echoed = undefined;");
        // Back to the usual size, and on until the map has taken it: a resize the map sees
        // later would move its centre in the middle of the next test.
        if (m_browser->size() != QSize(800, 600)) {
            m_browser->resize(800, 600);
            QTRY_COMPARE(Eval("BDMap._map.getSize().x + 'x' + BDMap._map.getSize().y").toString(),
                         QStringLiteral("800x600"));
        }
        g_trace.clear();
    }

    void cleanupTestCase()
    {
        m_browser.reset();
        qInstallMessageHandler(g_previousHandler);
    }

    // Runs first: the page as loaded, before any record.
    void pageStartsOfflineWithItsViewAndControls()
    {
        QFile resource(QString::fromLatin1(MapPageResource));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray bytes = resource.readAll();
        QVERIFY(bytes.startsWith("\xef\xbb\xbf"));
        QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));

        const QJsonObject page = EvalObject(
            "{ offline: BMap.offline === true, zoom: BDMap.getZoom(), lng: BDMap.getCenter().lng,"
            "  lat: BDMap.getCenter().lat, frstUse: FrstUse, count: GPSPointCnt, same: window.BDMap === BDMap,"
            "  note: Array.from(document.querySelectorAll('.offline-note'))"
            "        .filter(function (e) { return e.offsetWidth > 0; }).map(function (e) { return e.textContent; }),"
            "  scale: document.querySelectorAll('.leaflet-control-scale').length,"
            "  navigation: document.querySelectorAll('.leaflet-control-zoom').length }");
        QVERIFY(page["offline"].toBool());
        QCOMPARE(page["zoom"].toInt(), 3);
        QCOMPARE(page["lng"].toDouble(), 85.0);
        QCOMPARE(page["lat"].toDouble(), 35.0);
        QCOMPARE(page["frstUse"].toInt(), 1);
        QCOMPARE(page["count"].toInt(), 0);
        QVERIFY(page["same"].toBool());
        QCOMPARE(page["note"].toVariant().toStringList(), QStringList{QStringLiteral("离线地图")});
        QCOMPARE(page["scale"].toInt(), 1);
        QCOMPARE(page["navigation"].toInt(), 1);
    }

    void showRecordSendsItsCalls_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<QPointF>>("points");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<double>("extent");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("calls");

        QTest::newRow("three points of an area") << int(Area) << ThreePoints << ThreeCentre << 300.0 << 0
            << QStringList{"Map_RST(0)", "Map_PopPoints(23.129112,113.264385)", "Map_PopPoints(23.129500,113.265000)",
                           "Map_PopPoints(23.130200,113.266100)", "Map_Stack2PolyLine()",
                           "Map_SetCenter(23.129656,113.265243,18)"};
        QTest::newRow("one southern point of a vehicle track, extent 0") << int(Vehicle)
            << QList<QPointF>{{151.2093, -33.8688}} << QPointF(151.2093, -33.8688) << 0.0 << 0
            << QStringList{"Map_RST(1)", "Map_PopPoints(-33.868800,151.209300)", "Map_Stack2PolyLine()",
                           "Map_SetCenter(-33.868800,151.209300,19)"};
        QTest::newRow("a western distance") << int(Distance)
            << QList<QPointF>{{-0.1276, 51.5072}, {-0.0876, 51.5072}} << QPointF(-0.1076, 51.5072) << 5000.0 << 0
            << QStringList{"Map_RST(0)", "Map_PopPoints(51.507200,-0.127600)", "Map_PopPoints(51.507200,-0.087600)",
                           "Map_Stack2PolyLine()", "Map_SetCenter(51.507200,-0.107600,13)"};
        QTest::newRow("a vehicle track without points") << int(Vehicle) << QList<QPointF>{} << QPointF() << 0.0
            << -1 << QStringList{"Map_RST(1)"};
        QTest::newRow("an area without points") << int(Area) << QList<QPointF>{} << QPointF() << 0.0 << -1
            << QStringList{"Map_RST(0)"};
    }

    void showRecordSendsItsCalls()
    {
        QFETCH(int, type);
        QFETCH(QList<QPointF>, points);
        QFETCH(QPointF, centre);
        QFETCH(double, extent);
        QFETCH(int, result);
        QFETCH(QStringList, calls);

        const auto record = MakeRecord(type, points, centre, extent);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), result);
        QCOMPARE(SentCalls(), calls);
        QCOMPARE(Eval("GPSPointCnt").toInt(), points.size());
        QCOMPARE(g_trace, QStringList());
    }

    void showRecordDrawsRouteWithMarkersAndView()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 4000);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);

        const QJsonObject page = EvalObject(
            "{ count: GPSPointCnt,"
            "  points: FilePonits.map(function (p) { return [p.lng, p.lat]; }),"
            "  polylines: BDMap.getOverlays().filter(function (o) { return o instanceof BMap.Polyline; }).length,"
            "  path: RoutePolyline.getPath().map(function (p) { return [p.lng, p.lat]; }),"
            "  markers: BDMap.getOverlays().filter(function (o) { return o instanceof BMap.Marker; }).length,"
            "  start: [SMarker.getPosition().lng, SMarker.getPosition().lat],"
            "  end: [EMarker.getPosition().lng, EMarker.getPosition().lat],"
            "  zoom: BDMap.getZoom(), lng: BDMap.getCenter().lng, lat: BDMap.getCenter().lat,"
            "  drawnPaths: document.querySelectorAll('.leaflet-overlay-pane path').length,"
            "  drawnMarkers: document.querySelectorAll('img.leaflet-marker-icon').length }");
        QCOMPARE(page["count"].toInt(), 3);
        QJsonArray expected;
        for (const QPointF& p : ThreePoints) expected.append(QJsonArray{p.x(), p.y()});
        QCOMPARE(page["points"].toArray(), expected);
        QCOMPARE(page["path"].toArray(), expected);
        QCOMPARE(page["polylines"].toInt(), 1);
        QCOMPARE(page["markers"].toInt(), 2);
        QCOMPARE(page["start"].toArray(), expected.first().toArray());
        QCOMPARE(page["end"].toArray(), expected.last().toArray());
        QCOMPARE(page["zoom"].toInt(), MapZoomForExtent(4000, ThreeCentre.y(), 800, 600));
        QVERIFY(std::abs(page["lng"].toDouble() - ThreeCentre.x()) < 1e-9);
        QVERIFY(std::abs(page["lat"].toDouble() - ThreeCentre.y()) < 1e-9);
        QCOMPARE(page["drawnPaths"].toInt(), 1);
        QCOMPARE(page["drawnMarkers"].toInt(), 2);
    }

    void gotoReplaysTheRouteUpToAPoint()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 4000);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        // An index past the last point stops at the last point.
        const QJsonObject page = EvalObject(
            "(Map_Goto(7), { passed: PassFilePonits.length, at: RTRunMaker.getPosition().lng,"
            "  overlays: BDMap.getOverlays().length, colour: PassRoutePolyline._layer.options.color })");
        QCOMPARE(page["passed"].toInt(), 2);
        QCOMPARE(page["at"].toDouble(), ThreePoints.last().x());
        QCOMPARE(page["overlays"].toInt(), 5);
        QCOMPARE(page["colour"].toString(), QStringLiteral("red"));
    }

    void zoomFitsExtentToView_data()
    {
        QTest::addColumn<double>("extent");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<int>("zoom");
        // 0.8 × 480 px × cos 0° = 384 px: 384 m fits exactly at zoom 18 (1 m per pixel).
        QTest::newRow("384 m on the equator, 800x480") << 384.0 << 0.0 << QSize(800, 480) << 18;
        QTest::newRow("a metre more needs zoom 17") << 385.0 << 0.0 << QSize(800, 480) << 17;
        QTest::newRow("the smaller side counts") << 384.0 << 0.0 << QSize(480, 1200) << 18;
        QTest::newRow("at 60 degrees a pixel shows half") << 384.0 << 60.0 << QSize(800, 480) << 17;
        QTest::newRow("southern latitude alike") << 384.0 << -60.0 << QSize(800, 480) << 17;
        QTest::newRow("329 m at 34.8 N, 560x420") << 329.0 << 34.79 << QSize(560, 420) << 17;
        QTest::newRow("3.6 km at 34.8 N, 560x420") << 3600.0 << 34.78 << QSize(560, 420) << 14;
        QTest::newRow("50 km at 34 N, 800x600") << 50000.0 << 34.0 << QSize(800, 600) << 11;
        QTest::newRow("1 m: the largest zoom") << 1.0 << 34.0 << QSize(800, 600) << 19;
        QTest::newRow("0: all points on one spot") << 0.0 << 34.0 << QSize(800, 600) << 19;
        QTest::newRow("half the earth: the smallest zoom") << 2e7 << 0.0 << QSize(800, 600) << 3;
        QTest::newRow("no view yet") << 300.0 << 34.0 << QSize(0, 0) << 3;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 34.0 << QSize(800, 600) << 3;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 34.0 << QSize(800, 600) << 3;
        QTest::newRow("negative") << -5.0 << 34.0 << QSize(800, 600) << 3;
        QTest::newRow("at the pole") << 300.0 << 90.0 << QSize(800, 600) << 3;
    }

    void zoomFitsExtentToView()
    {
        QFETCH(double, extent);
        QFETCH(double, latitude);
        QFETCH(QSize, view);
        QFETCH(int, zoom);
        QCOMPARE(MapZoomForExtent(extent, latitude, view.width(), view.height()), zoom);
    }

    // Real records, from the loader: after showing, every point is inside the view, both by the
    // online map's scale and on the offline map, and the record is not lost in a tiny corner.
    void shownRecordLiesWhollyInTheView_data()
    {
        QTest::addColumn<RecordPtr>("record");
        QTest::addColumn<QSize>("view");
        const auto sample = [](const char* name) { return RecordPtr(LoadedSample(name)); };
        std::vector<std::pair<double, double>> cluster, drive;
        for (int i = 0; i < 40; ++i) cluster.push_back({34.5 + 4e-6 * std::sin(i), 113.5 + 5e-6 * std::cos(i * 1.3)});
        for (int i = 0; i <= 600; ++i)  // 30 km north-east, then 20 km east
            drive.push_back(i <= 360 ? std::pair{34.0 + i * 0.00053, 113.0 + i * 0.00065}
                                     : std::pair{34.19, 113.234 + (i - 360) * 0.00091});
        const auto vehicle = RecordPtr(LoadedRecord("CAR_50km.nmea", drive));
        QTest::newRow("3.6 km L-shaped drive") << sample("CAR_TRACK-0003_2026-04-13 164207.nmea") << QSize(800, 600);
        QTest::newRow("329 m bent distance") << sample("2026年04月12日09时15分30秒距离.nmea") << QSize(800, 600);
        QTest::newRow("strip field, wide view") << sample("GNSS_0005.nmea") << QSize(900, 360);
        QTest::newRow("field, tall view") << sample("TRACK-0001_2026-04-11 102030.nmea") << QSize(360, 700);
        QTest::newRow("1 m cluster") << RecordPtr(LoadedRecord("cluster.nmea", cluster))
                                     << QSize(800, 600);
        QTest::newRow("50 km drive") << vehicle << QSize(800, 600);
        QTest::newRow("50 km drive, small view") << vehicle << QSize(320, 240);
    }

    void shownRecordLiesWhollyInTheView()
    {
        QFETCH(RecordPtr, record);
        QFETCH(QSize, view);
        QVERIFY(record->pointCount > 1);
        m_browser->resize(view);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        const QStringList calls = SentCalls();
        const QStringList setCenter = calls.last().chopped(1).section('(', 1).split(',');
        QVERIFY(calls.last().startsWith(u"Map_SetCenter("));
        const int zoom = setCenter[2].toInt();

        // The online map's scale, from the call as sent.
        double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
        for (int i = 0; i < record->pointCount; ++i) {
            const QPointF p = OnlinePixel(MapPointOf(*record, i), setCenter[0].toDouble(), setCenter[1].toDouble(), zoom,
                                          view.width(), view.height());
            left = std::min(left, p.x());
            right = std::max(right, p.x());
            top = std::min(top, p.y());
            bottom = std::max(bottom, p.y());
        }
        const QRectF online(QPointF(left, top), QPointF(right, bottom));
        QVERIFY2(QRectF(0, 0, view.width(), view.height()).contains(online),
                 qPrintable(QStringLiteral("zoom %1: online the record spans %2,%3 to %4,%5")
                                .arg(zoom).arg(online.left()).arg(online.top()).arg(online.right()).arg(online.bottom())));

        // The offline map, as drawn, once the page has its new size.
        QTRY_COMPARE(Eval("BDMap._map.getSize().x + 'x' + BDMap._map.getSize().y").toString(),
                     QStringLiteral("%1x%2").arg(view.width()).arg(view.height()));
        Eval("BDMap._map.invalidateSize(); true");  // not the map object: the engine would convert it
        const QJsonObject drawn = EvalObject(
            "(function () { var m = BDMap._map, b = null; FilePonits.forEach(function (p) {"
            "  var c = m.latLngToContainerPoint(OfflineLayers.toDisplay(p));"
            "  b = b ? { l: Math.min(b.l, c.x), t: Math.min(b.t, c.y), r: Math.max(b.r, c.x), b: Math.max(b.b, c.y) }"
            "        : { l: c.x, t: c.y, r: c.x, b: c.y }; });"
            "  b.zoom = BDMap.getZoom(); return b; })()");
        QCOMPARE(drawn["zoom"].toInt(), zoom);
        const QRectF offline(QPointF(drawn["l"].toDouble(), drawn["t"].toDouble()),
                             QPointF(drawn["r"].toDouble(), drawn["b"].toDouble()));
        QVERIFY2(QRectF(0, 0, view.width(), view.height()).contains(offline),
                 qPrintable(QStringLiteral("zoom %1: offline the record spans %2,%3 to %4,%5")
                                .arg(zoom).arg(offline.left()).arg(offline.top()).arg(offline.right()).arg(offline.bottom())));
        // A record of some size fills a good part of the view (zoom 19 is as near as the map goes).
        if (zoom < MapMaxZoom)
            QVERIFY2(std::max(offline.width() / view.width(), offline.height() / view.height()) > 0.25,
                     qPrintable(QStringLiteral("zoom %1 leaves the record at %2x%3 px").arg(zoom)
                                    .arg(offline.width()).arg(offline.height())));
    }

    void undefinedFunctionIsReportedAndChangesNothing()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 4000);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        const QString state = QStringLiteral(
            "JSON.stringify([GPSPointCnt, FilePonits, BDMap.getOverlays().length, BDMap.getZoom(), BDMap.getCenter()])");
        const QString before = Eval(state).toString();
        g_trace.clear();

        CWebPage page;
        QVERIFY(page.AttachDocument(m_browser->Document()));
        QVERIFY(page.JSCall(QStringLiteral("Map_Nope"), QStringLiteral("1")));
        const QString error = QStringLiteral("ReferenceError: Map_Nope is not defined");
        QTRY_COMPARE(page.GetLastError(), QStringLiteral("JSCall Error:\n") + error);
        QCOMPARE(g_trace, QStringList{TraceLine(error)});
        QCOMPARE(Eval(state).toString(), before);
    }

    void callsWithoutAMapPageFail()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 4000);
        const QString nullPointer = TraceLine(QStringLiteral("NULL pointer"));
        const QString noScript = TraceLine(QStringLiteral("Cannot GetScript"));

        CWebPage page;
        QVERIFY(!page.AttachDocument(nullptr));
        QCOMPARE(page.GetLastError(), QStringLiteral("JSCall Error:\nNULL pointer"));
        g_trace.clear();
        QVERIFY(!page.JSCall(QStringLiteral("Map_RST"), QStringLiteral("0")));
        QCOMPARE(g_trace, (QStringList{nullPointer, noScript}));

        // A page that is not the map page: the bridge lets go of its previous document too.
        QWebEnginePage other;
        QVERIFY(page.AttachDocument(m_browser->Document()));
        QVERIFY(!page.AttachDocument(&other));
        QCOMPARE(page.GetLastError(), QStringLiteral("JSCall Error:\nFailed to get HTML document COM object"));
        QVERIFY(!page.JSCall(QStringLiteral("Map_RST"), QStringLiteral("0")));
        QCOMPARE(page.GetLastError(), QStringLiteral("JSCall Error:\nCannot GetScript"));

        // A browser that never loaded the map page: the record goes nowhere, quietly.
        CExplorer1 idle;
        g_trace.clear();
        QCOMPARE(ShowRecordOnMap(idle, *record), 0);
        QCOMPARE(g_trace, (QStringList{nullPointer, nullPointer, noScript}));
        QCOMPARE(SentCalls(), QStringList());
    }

    void argumentsArriveUnchanged_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList{"a"};
        QTest::newRow("two") << QStringList{"a", "b"};
        QTest::newRow("three, in order") << QStringList{"a", "b", "c"};
        QTest::newRow("hostile texts") << QStringList{
            QStringLiteral("He said \"hi\" and 'bye'"),
            QStringLiteral("C:\\Meter\\app.exe\\"),
            QStringLiteral("line\r\nend\nand\u2028more\u2029\t"),
            QStringLiteral("</script><script>window.pwned = 1;</script>"),
            QStringLiteral("\"]);window.pwned = 1;//"),
            QStringLiteral("当前经纬度: (113.26, 23.12) 平方米"),
            QString(QChar(0)) + QChar(0xd800) + QStringLiteral("${x}`") + QChar(0x7f)};
    }

    void argumentsArriveUnchanged()
    {
        QFETCH(QStringList, arguments);
        CWebPage page;
        QVERIFY(page.AttachDocument(m_browser->Document()));
        const QString echo = QStringLiteral("Echo");
        switch (arguments.size()) {
        case 0: QVERIFY(page.JSCall(echo)); break;
        case 1: QVERIFY(page.JSCall(echo, arguments[0])); break;
        case 2: QVERIFY(page.JSCall(echo, arguments[0], arguments[1])); break;
        case 3: QVERIFY(page.JSCall(echo, arguments[0], arguments[1], arguments[2])); break;
        default: QVERIFY(page.JSCall(echo, arguments));
        }
        // Compared as UTF-16 code units inside the page, so that nothing on the way back
        // can mend a text that arrived changed.
        QStringList expected;
        for (const QString& text : arguments) {
            QStringList units;
            for (const QChar ch : text) units << QString::number(ch.unicode());
            expected << units.join(',');
        }
        QCOMPARE(Eval("echoed.map(function (s) { return s.split('').map(function (c) {"
                      " return c.charCodeAt(0); }).join(','); })").toStringList(),
                 expected);
        QCOMPARE(Eval("typeof window.pwned").toString(), QStringLiteral("undefined"));
        QCOMPARE(g_trace, QStringList());
    }

    void failingCallIsReportedAndTheNextStillRuns()
    {
        CWebPage page;
        QVERIFY(page.AttachDocument(m_browser->Document()));
        CScriptBatch calls;
        calls.Add(u"Boom", {u"boom"});
        calls.Add(u"Boom", {u""});
        calls.Add(u"Echo", {u"after"});
        QVERIFY(page.JSCall(calls));
        QTRY_COMPARE(g_trace.size(), 2);
        QCOMPARE(g_trace, (QStringList{TraceLine("Error: boom"), TraceLine("FormatMessage Netive Error")}));
        QCOMPARE(page.GetLastError(), QStringLiteral("JSCall Error:\nFormatMessage Netive Error"));
        QCOMPARE(Eval("echoed").toStringList(), QStringList{"after"});
    }

    void answerAfterTheBridgeIsGoneIsOnlyTraced()
    {
        {
            CWebPage page;
            QVERIFY(page.AttachDocument(m_browser->Document()));
            QVERIFY(page.JSCall(QStringLiteral("Map_Gone")));
        }
        QTRY_COMPARE(g_trace, QStringList{TraceLine("ReferenceError: Map_Gone is not defined")});
    }

    void mapClickAddsLabelledMarkerUntilTheNextRecord()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 4000);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QCOMPARE(Eval("BDMap.getOverlays().length").toInt(), 3);

        // Right of and below the route, clear of the markers and controls.
        QWidget* surface = m_browser->focusProxy();
        QVERIFY(surface);
        const QPoint spot(surface->width() / 2 + 60, surface->height() - 120);
        QTest::mouseMove(surface, spot);
        QTest::mouseClick(surface, Qt::LeftButton, {}, spot);
        QTRY_COMPARE(Eval("BDMap.getOverlays().length").toInt(), 4);

        const QJsonObject click = EvalObject(
            "(function () { var m = BDMap.getOverlays()[3]; var p = m.getPosition();"
            "  var wgs = MapDatum.fromBd({ lat: p.lat, lon: p.lng }, 'wgs84');"
            "  return { marker: m instanceof BMap.Marker, lng: p.lng, lat: p.lat, wgsLng: wgs.lon, wgsLat: wgs.lat,"
            "  label: m.getLabel().getContent(), readout: document.querySelector('.coordinate-readout').textContent,"
            "  dx: m.getLabel().getOffset().width, dy: m.getLabel().getOffset().height,"
            "  shown: Array.from(document.querySelectorAll('.map-label')).map(function (e) {"
            "    return e.textContent; }) }; })()");
        QVERIFY(click["marker"].toBool());
        QVERIFY(click["lng"].toDouble() > ThreeCentre.x());
        QVERIFY(click["lat"].toDouble() < ThreeCentre.y());
        // The offline map's pin is in WGS-84, named so, and reads as the position readout does
        // at the same spot (the page's own positions are BD-09, over a kilometre away).
        const QString lng = QString::number(click["wgsLng"].toDouble(), 'f', 6);
        const QString lat = QString::number(click["wgsLat"].toDouble(), 'f', 6);
        const QString label = QStringLiteral("当前经纬度 (WGS-84): (%1, %2)").arg(lng, lat);
        QCOMPARE(click["label"].toString(), label);
        QCOMPARE(click["readout"].toString(), QStringLiteral("WGS-84 经度 %1° 纬度 %2°").arg(lng, lat));
        QVERIFY(std::fabs(click["wgsLng"].toDouble() - click["lng"].toDouble()) > 0.005);
        QCOMPARE(click["dx"].toInt(), 9);
        QCOMPARE(click["dy"].toInt(), -15);
        QCOMPARE(click["shown"].toVariant().toStringList(), QStringList{label});

        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QCOMPARE(Eval("BDMap.getOverlays().length + document.querySelectorAll('.map-label').length").toInt(), 3);
    }

    // Start yellow "起", end green "终", as the outline draws them; the start on top, its pin
    // leaning beside the end's, so that a closed field shows both.
    void markersAreToldApart()
    {
        const auto pictureOf = [](const QString& url) {
            QFile file(QStringLiteral(":/map/") + url);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        QCOMPARE(ShowRecordOnMap(*m_browser, *MakeRecord(Area, ThreePoints, ThreeCentre, 300)), 0);
        const QJsonObject page = EvalObject(
            "{ start: SMarker.getIcon().imageUrl, end: EMarker.getIcon().imageUrl,"
            "  images: Array.from(document.querySelectorAll('img.leaflet-marker-icon')).map(function (e) {"
            "    return [e.getAttribute('src'), e.naturalWidth, Number(e.style.zIndex)]; }) }");
        const QString start = pictureOf(page["start"].toString());
        const QString end = pictureOf(page["end"].toString());
        QVERIFY(start.contains(u"fill=\"#ffff00\"") && start.contains(u">起</text>"));
        QVERIFY(end.contains(u"fill=\"#00ff00\"") && end.contains(u">终</text>"));
        // Both pictures loaded, and the end's drawn over the start's.
        QTRY_COMPARE(Eval("Array.from(document.querySelectorAll('img.leaflet-marker-icon'))"
                          ".every(function (e) { return e.complete && e.naturalWidth > 0; })").toBool(), true);
        const QJsonArray images = page["images"].toArray();
        QCOMPARE(images.size(), 2);
        const auto zOf = [&](const QString& url) {
            for (const auto& image : images)
                if (image.toArray()[0].toString() == url) return image.toArray()[2].toInt();
            return INT_MIN;
        };
        QVERIFY(zOf(page["start"].toString()) > zOf(page["end"].toString()));

        QList<QPointF> closed = ThreePoints;
        closed << ThreePoints.first();
        QCOMPARE(ShowRecordOnMap(*m_browser, *MakeRecord(Area, closed, ThreeCentre, 300)), 0);
        // Both pins on the one spot, their pictures side by side: the start's "起" is not covered.
        const QJsonObject both = EvalObject(
            "(function () { var r = Array.from(document.querySelectorAll('img.leaflet-marker-icon')).map(function (e) {"
            "  var b = e.getBoundingClientRect(); return { src: e.getAttribute('src'), left: b.left, right: b.right,"
            "  bottom: b.bottom }; });"
            "  return { n: r.length, start: r.filter(function (x) { return x.src === 'markers/start.svg'; })[0],"
            "  end: r.filter(function (x) { return x.src === 'markers/end.svg'; })[0] }; })()");
        QCOMPARE(both["n"].toInt(), 2);
        const QJsonObject startBox = both["start"].toObject(), endBox = both["end"].toObject();
        QCOMPARE(startBox["bottom"].toDouble(), endBox["bottom"].toDouble());
        // The start's head (drawn within its picture's left 26 pixels) is clear of the end's pin
        // (drawn from 2 pixels into its own).
        QVERIFY(startBox["left"].toDouble() + 26 <= endBox["left"].toDouble() + 2);
        QVERIFY(startBox["right"].toDouble() > endBox["left"].toDouble());  // its tip on the spot
    }

    // The record's view is kept through a resize until the user zooms or drags; the control
    // "回到测量范围" brings it back and is hidden while no record is shown.
    void viewFollowsResizeUntilMovedAndComesBack()
    {
        const auto record = MakeRecord(Area, ThreePoints, ThreeCentre, 1500);
        const auto fit = [&] { return MapZoomForExtent(1500, ThreeCentre.y(), m_browser->width(), m_browser->height()); };
        const auto control = [&] { return Eval("getComputedStyle(document.getElementById('MapHome')).display").toString(); };
        QCOMPARE(ShowRecordOnMap(*m_browser, *MakeRecord(Area, {}, {}, 0)), -1);
        QCOMPARE(control(), QStringLiteral("none"));

        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QCOMPARE(control(), QStringLiteral("block"));
        const int large = fit();
        m_browser->resize(200, 150);
        QCOMPARE(fit(), large - 2);
        QTRY_COMPARE(Eval("BDMap.getZoom()").toInt(), large - 2);

        // A user's zoom (the wheel) and drag away: a resize leaves the view where the user put it.
        QWidget* surface = m_browser->focusProxy();
        QWheelEvent wheel(QPointF(50, 50), surface->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &wheel);
        QTRY_COMPARE(Eval("ViewMoved").toBool(), true);
        // The map zooms a moment after the wheel (it gathers a wheel's turns first): the view is
        // set once that zoom is done, or the zoom would land on top of it.
        QTRY_VERIFY(Eval("BDMap.getZoom()").toInt() != large - 2);
        Eval("BDMap.centerAndZoom(new BMap.Point(100, 30), 5)");
        m_browser->resize(800, 600);
        QTRY_COMPARE(Eval("ShownView.zoom").toInt(), large);
        QCOMPARE(Eval("BDMap.getZoom()").toInt(), 5);

        // The control, clicked where it is drawn.
        const QJsonObject box = EvalObject("document.getElementById('MapHome').getBoundingClientRect()");
        QTest::mouseClick(surface, Qt::LeftButton, {},
                          QPoint(int(box["x"].toDouble() + box["width"].toDouble() / 2),
                                 int(box["y"].toDouble() + box["height"].toDouble() / 2)));
        QTRY_COMPARE(Eval("BDMap.getZoom()").toInt(), large);
        QCOMPARE(Eval("[BDMap.getCenter().lng.toFixed(6), BDMap.getCenter().lat.toFixed(6), ViewMoved].join()").toString(),
                 QStringLiteral("113.265243,23.129656,false"));
        // The menu's zoom is the user's too.
        m_browser->ZoomBy(1);
        QTRY_COMPARE(Eval("[BDMap.getZoom(), ViewMoved].join()").toString(), QStringLiteral("%1,true").arg(large + 1));
        m_browser->Recenter();
        QTRY_COMPARE(Eval("[BDMap.getZoom(), ViewMoved].join()").toString(), QStringLiteral("%1,false").arg(large));
    }

    void contextMenuIsTheMapsOwn()
    {
        QWidget* surface = m_browser->focusProxy();
        QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(400, 300));
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = m_browser->findChild<QMenu*>(QStringLiteral("mapMenu"))) && menu->isVisible());
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator()) texts << action->text();
        QCOMPARE(texts, (QStringList{"回到测量范围", "放大", "缩小", "打开离线地图包..."}));
        menu->close();
    }

    // A label near the right or top edge is flipped to stay inside the map, numbers to 6 places.
    void clickLabelStaysInsideTheView_data()
    {
        QTest::addColumn<QPoint>("spot");
        QTest::newRow("right edge") << QPoint(790, 300);
        QTest::newRow("top right corner") << QPoint(780, 8);
        QTest::newRow("left edge") << QPoint(3, 400);
    }

    void clickLabelStaysInsideTheView()
    {
        QFETCH(QPoint, spot);
        QCOMPARE(ShowRecordOnMap(*m_browser, *MakeRecord(Area, ThreePoints, ThreeCentre, 4000)), 0);
        QCOMPARE(Eval("GPSPointCnt").toInt(), 3);  // the record is drawn before the click comes
        // Apart from the row before's click, so that the two are not taken for a double click.
        QTest::mouseClick(m_browser->focusProxy(), Qt::LeftButton, {}, spot,
                          QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
        QTRY_COMPARE(Eval("document.querySelectorAll('.map-label').length").toInt(), 1);
        const QJsonObject label = EvalObject(
            "(function () { var r = document.querySelector('.map-label').getBoundingClientRect();"
            "  return { l: r.left, t: r.top, r: r.right, b: r.bottom, text: document.querySelector('.map-label').textContent,"
            "    w: innerWidth, h: innerHeight }; })()");
        QVERIFY2(label["l"].toDouble() >= 0 && label["t"].toDouble() >= 0 &&
                     label["r"].toDouble() <= label["w"].toDouble() && label["b"].toDouble() <= label["h"].toDouble(),
                 qPrintable(QJsonDocument(label).toJson(QJsonDocument::Compact)));
        QVERIFY2(QRegularExpression(QStringLiteral("^当前经纬度 \\(WGS-84\\): \\(-?\\d+\\.\\d{6}, -?\\d+\\.\\d{6}\\)$"))
                     .match(label["text"].toString()).hasMatch(),
                 qPrintable(label["text"].toString()));
    }

    // A record shown while the page still loads waits and is drawn once the map is made.
    void recordShownDuringLoadingIsDrawnWhenReady()
    {
        CExplorer1 browser;
        browser.resize(400, 300);
        browser.show();
        QVERIFY(browser.LoadMapPage());
        auto* page = static_cast<CMapPage*>(browser.Document());
        QVERIFY(!page->IsMapReady());
        const auto record = MakeRecord(Vehicle, ThreePoints, ThreeCentre, 4000);
        QCOMPARE(ShowRecordOnMap(browser, *record), 0);
        QTRY_VERIFY_WITH_TIMEOUT(page->IsMapReady(), 15000);
        QCOMPARE(Eval(page, "JSON.stringify([GPSPointCnt, BDMap.getOverlays().length, BDMap.getZoom()])").toString(),
                 QStringLiteral("[3,3,%1]").arg(MapZoomForExtent(4000, ThreeCentre.y(), 400, 300)));
        QCOMPARE(g_trace, QStringList());
    }

    // A page that failed to load answers every later call as failed instead of keeping it.
    void callsAfterAFailedLoadFailAtOnce()
    {
        CMapPage page;
        QSignalSpy finished(&page, &QWebEnginePage::loadFinished);
        page.load(QUrl(QStringLiteral("qrc:/no-such-page.html")));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(finished[0][0].toBool(), false);
        int answers = 0;
        for (int i = 0; i < 2; ++i)
            page.RunScript(QStringLiteral("1"), [&answers](const QVariant& result) { answers += !result.isValid(); });
        QCOMPARE(answers, 0);  // answered later, as a script run would be
        QTRY_COMPARE(answers, 2);
    }

    // An online map API that never answers gives way to the offline map after a few seconds,
    // while the page is still loading.
    void onlineApiThatDoesNotAnswerGivesWayToTheOfflineMap()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QList<QTcpSocket*> held;
        connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) held << socket;
        });
        LocalNetwork silent(server.serverPort());
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&silent);

        CExplorer1 browser;
        browser.resize(400, 300);
        browser.show();
        bool loaded = false;
        connect(browser.page(), &QWebEnginePage::loadFinished, [&] { loaded = true; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(LoadMapPageWithApiAt(browser, QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort())));
        auto* page = static_cast<CMapPage*>(browser.Document());
        QTRY_VERIFY_WITH_TIMEOUT(page->IsMapReady(), 15000);
        QVERIFY2(clock.elapsed() >= 3000, "gave up on the online API too early");
        QVERIFY(!held.isEmpty());
        QVERIFY(!loaded);

        QCOMPARE(ShowRecordOnMap(browser, *MakeRecord(Area, ThreePoints, ThreeCentre, 4000)), 0);
        QCOMPARE(Eval(page, "JSON.stringify([BMap.offline === true, GPSPointCnt, BDMap.getOverlays().length])").toString(),
                 QStringLiteral("[true,3,3]"));

        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_blocker);
        qDeleteAll(held);
    }

    // The render process dies: the page is loaded again and draws the record shown before.
    void renderProcessCrashRedrawsTheRecord()
    {
        const auto record = MakeRecord(Vehicle, ThreePoints, ThreeCentre, 1500);
        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QSignalSpy crashed(Page(), &QWebEnginePage::renderProcessTerminated);
        QSignalSpy ready(Page(), &CMapPage::mapReady);
        const qint64 pid = Page()->renderProcessPid();
        QVERIFY(pid > 0);
        QCOMPARE(kill(pid_t(pid), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(crashed.size(), 1, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 15000);
        QCOMPARE(Eval("JSON.stringify([GPSPointCnt, BDMap.getOverlays().length, BDMap.getZoom(), typeof sentCalls])").toString(),
                 QStringLiteral("[3,3,%1,\"undefined\"]").arg(MapZoomForExtent(1500, ThreeCentre.y(), 800, 600)));
    }

    // The online branch of the page against a strict stand-in of the online map API.
    void onlineBranchCallsTheApiAsItIs()
    {
        QFile file(QStringLiteral(VARNEL_TEST_DATA "/onlinemap-standin.js"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        ScriptServer server(file.readAll());
        QVERIFY(server.listen(QHostAddress::LocalHost));
        LocalNetwork network(server.serverPort());
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&network);
        CExplorer1 browser;
        browser.resize(640, 480);
        browser.show();
        QVERIFY(LoadMapPageWithApiAt(browser, QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort())));
        auto* page = static_cast<CMapPage*>(browser.Document());
        QTRY_VERIFY_WITH_TIMEOUT(page->IsMapReady(), 15000);
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_blocker);
        QCOMPARE(Eval(page, "BMap.standIn === true && BDMap.controls.length === 3 && BDMap.enabled.length === 4").toBool(),
                 true);

        QCOMPARE(ShowRecordOnMap(browser, *MakeRecord(Area, ThreePoints, ThreeCentre, 300)), 0);
        const int zoom = MapZoomForExtent(300, ThreeCentre.y(), 640, 480);
        const QJsonObject shown = EvalObject(page,
            "{ last: BMap.log[BMap.log.length - 1], overlays: BDMap.getOverlays().length,"
            "  start: SMarker.getIcon().imageUrl, end: EMarker.getIcon().imageUrl, top: SMarker.top && !EMarker.top,"
            "  route: RoutePolyline.getPath().length }");
        QCOMPARE(shown["last"].toArray(), (QJsonArray{"centerAndZoom", 113.265243, 23.129656, zoom}));
        QCOMPARE(shown["overlays"].toInt(), 3);
        QCOMPARE(shown["start"].toString(), QStringLiteral("markers/start.svg"));
        QCOMPARE(shown["end"].toString(), QStringLiteral("markers/end.svg"));
        QVERIFY(shown["top"].toBool());  // the start's, above the end
        QCOMPARE(shown["route"].toInt(), 3);

        // A click near the right edge, as the API reports it; then the resize and the control.
        Eval(page, "BDMap.fire('click', { point: new BMap.Point(113.27, 23.12), pixel: { x: 630, y: 200 } })");
        const QJsonObject label = EvalObject(page,
            "(function () { var l = BDMap.getOverlays()[3].getLabel(); return { text: l.getContent(),"
            "  dx: l.getOffset().width, styled: l.style !== null }; })()");
        QCOMPARE(label["text"].toString(), QStringLiteral("当前经纬度 (BD-09): (113.270000, 23.120000)"));
        QVERIFY(label["dx"].toDouble() < 0);
        QVERIFY(label["styled"].toBool());
        browser.resize(320, 240);
        QTRY_COMPARE(Eval(page, "BDMap.getZoom()").toInt(), zoom - 1);
        Eval(page, "BDMap.zoomOut()");
        CScriptBatch back;
        back.Add(u"Map_Recenter", {});
        CWebPage bridge;
        QVERIFY(bridge.AttachDocument(page));
        QVERIFY(bridge.JSCall(back));
        QTRY_COMPARE(Eval(page, "BDMap.getZoom()").toInt(), zoom - 1);
        QCOMPARE(g_trace, QStringList());
    }

    // The main window's map area is the map browser, and both ways of showing a record draw it.
    void windowSelectionAndDoubleClickDrawTheRecord()
    {
        RecordTable& table = TheRecordTable();
        RecordTableRestart(table);
        QCOMPARE(RecordTableAppend(table, *MakeRecord(Area, ThreePoints, ThreeCentre, 4000)), 0);
        const QList<QPointF> track = {{116.3913, 39.9075}, {116.3972, 39.9087}};
        QCOMPARE(RecordTableAppend(table, *MakeRecord(Vehicle, track, QPointF(116.39425, 39.9081), 510)), 0);

        CVarnelDlg window;
        window.InsertRecordItem(0, 0);
        window.InsertRecordItem(1, 1);
        window.show();
        auto* browser = window.findChild<CExplorer1*>();
        QVERIFY(browser);
        auto* page = static_cast<CMapPage*>(browser->Document());
        QVERIFY(page);

        window.SelectRecord(0);
        QTRY_VERIFY_WITH_TIMEOUT(page->IsMapReady(), 15000);
        const QString state = QStringLiteral(
            "JSON.stringify([GPSPointCnt, FilePonits.map(function (p) { return p.lng; }), BDMap.getZoom()])");
        const auto zoom = [&](double extent, double lat) {
            return MapZoomForExtent(extent, lat, browser->width(), browser->height());
        };
        QCOMPARE(Eval(page, state).toString(),
                 QStringLiteral("[3,[113.264385,113.265,113.2661],%1]").arg(zoom(4000, ThreeCentre.y())));

        window.OnListDoubleClick(1);
        QCOMPARE(Eval(page, state).toString(), QStringLiteral("[2,[116.3913,116.3972],%1]").arg(zoom(510, 39.9081)));
        RecordTableRestart(table);
    }
};

int main(int argc, char** argv)
{
    InitMapBrowser();
    QApplication app(argc, argv);
    MapTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_map.moc"
