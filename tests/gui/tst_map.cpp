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

#include <climits>
#include <cmath>
#include <limits>
#include <memory>

#include "app/varneldlg.h"
#include "map/explorer.h"
#include "map/mappage.h"
#include "map/remoteblocker.h"
#include "map/showrecord.h"
#include "map/webpage.h"

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

// Sends every remote request to a server that takes the connection and never answers.
class SilentNetwork : public QWebEngineUrlRequestInterceptor {
public:
    explicit SilentNetwork(quint16 port) : m_target(QStringLiteral("http://127.0.0.1:%1/api").arg(port)) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != u"qrc" && scheme != u"data" && info.requestUrl() != m_target) info.redirect(m_target);
    }

private:
    QUrl m_target;
};

const QList<QPointF> ThreePoints = {{113.264385, 23.129112}, {113.265, 23.1295}, {113.2661, 23.1302}};
const QPointF ThreeCentre(113.265243, 23.129656);
}  // namespace

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
    QJsonObject EvalObject(const QString& expression) const
    {
        return QJsonDocument::fromJson(Eval("JSON.stringify(" + expression + ")").toString().toUtf8()).object();
    }

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
        // Records the page's Map_ calls with their arguments, then passes them on.
        Eval("window.sentCalls = [];"
             "['Map_RST', 'Map_PopPoints', 'Map_Stack2PolyLine', 'Map_SetCenter'].forEach(function (n) {"
             "  var f = window[n];"
             "  window[n] = function () {"
             "    sentCalls.push([n].concat(Array.prototype.slice.call(arguments)));"
             "    return f.apply(this, arguments); };"
             "});"
             "window.Echo = function () { window.echoed = Array.prototype.slice.call(arguments); };"
             "window.Boom = function (text) { throw text === '' ? '' : new Error(text); };");
    }

    void init()
    {
        Eval("sentCalls = []; echoed = undefined;");
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
                           "Map_SetCenter(23.129656,113.265243,225)"};
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
            "  drawnMarkers: document.querySelectorAll('.leaflet-marker-icon').length }");
        QCOMPARE(page["count"].toInt(), 3);
        QJsonArray expected;
        for (const QPointF& p : ThreePoints) expected.append(QJsonArray{p.x(), p.y()});
        QCOMPARE(page["points"].toArray(), expected);
        QCOMPARE(page["path"].toArray(), expected);
        QCOMPARE(page["polylines"].toInt(), 1);
        QCOMPARE(page["markers"].toInt(), 2);
        QCOMPARE(page["start"].toArray(), expected.first().toArray());
        QCOMPARE(page["end"].toArray(), expected.last().toArray());
        QCOMPARE(page["zoom"].toInt(), 16);
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

    void zoomFollowsExtent_data()
    {
        QTest::addColumn<double>("extent");
        QTest::addColumn<int>("zoom");
        QTest::newRow("100 m") << 100.0 << 675;
        QTest::newRow("3000 m") << 3000.0 << 22;
        QTest::newRow("3552.6 m") << 3552.6 << 19;
        QTest::newRow("3600 m") << 3600.0 << 18;
        QTest::newRow("5000 m") << 5000.0 << 13;
        QTest::newRow("5625 m") << 5625.0 << 12;
        QTest::newRow("10000 m, raised") << 10000.0 << 12;
        QTest::newRow("0: all points on one spot") << 0.0 << 19;
        QTest::newRow("too small for int") << 1e-300 << INT_MAX;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 12;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 12;
    }

    void zoomFollowsExtent()
    {
        QFETCH(double, extent);
        QFETCH(int, zoom);
        QCOMPARE(MapZoomForExtent(extent), zoom);
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
        const QPoint spot(surface->width() - 150, surface->height() - 120);
        QTest::mouseClick(surface, Qt::LeftButton, {}, spot);
        QTRY_COMPARE(Eval("BDMap.getOverlays().length").toInt(), 4);

        const QJsonObject click = EvalObject(
            "(function () { var m = BDMap.getOverlays()[3]; return { marker: m instanceof BMap.Marker,"
            "  lng: m.getPosition().lng, lat: m.getPosition().lat, label: m.getLabel().getContent(),"
            "  dx: m.getLabel().getOffset().width, dy: m.getLabel().getOffset().height,"
            "  shown: Array.from(document.querySelectorAll('.leaflet-tooltip')).map(function (e) {"
            "    return e.textContent; }) }; })()");
        QVERIFY(click["marker"].toBool());
        const double lng = click["lng"].toDouble();
        const double lat = click["lat"].toDouble();
        QVERIFY(lng > ThreeCentre.x());
        QVERIFY(lat < ThreeCentre.y());
        const QString label = Eval(QStringLiteral("'当前经纬度: (' + %1 + ', ' + %2 + ')'")
                                       .arg(lng, 0, 'g', 17).arg(lat, 0, 'g', 17)).toString();
        QCOMPARE(click["label"].toString(), label);
        QCOMPARE(click["dx"].toInt(), 9);
        QCOMPARE(click["dy"].toInt(), -15);
        QCOMPARE(click["shown"].toVariant().toStringList(), QStringList{label});

        QCOMPARE(ShowRecordOnMap(*m_browser, *record), 0);
        QCOMPARE(Eval("BDMap.getOverlays().length + document.querySelectorAll('.leaflet-tooltip').length").toInt(), 3);
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
                 QStringLiteral("[3,3,16]"));
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
        SilentNetwork silent(server.serverPort());
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&silent);

        CExplorer1 browser;
        browser.resize(400, 300);
        browser.show();
        bool loaded = false;
        connect(browser.page(), &QWebEnginePage::loadFinished, [&] { loaded = true; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(browser.LoadMapPage());
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
        QCOMPARE(Eval(page, state).toString(), QStringLiteral("[3,[113.264385,113.265,113.2661],16]"));

        window.OnListDoubleClick(1);
        QCOMPARE(Eval(page, state).toString(), QStringLiteral("[2,[116.3913,116.3972],19]"));
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
