// Showing a record with the most points a record holds, until the page has run every call and
// holds the route: from the window's SelectRecord; from ShowRecordOnMap with all calls in one
// script evaluation; and as the baseline in the same run, one evaluation per call. Runs the
// offline map (remote requests blocked).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QWebEngineProfile>

#include <memory>

#include "app/varneldlg.h"
#include "map/explorer.h"
#include "map/mappage.h"
#include "map/remoteblocker.h"
#include "map/showrecord.h"
#include "map/webpage.h"
#include "tests/support/testsupport.h"

namespace {
// The same calls as ShowRecordOnMap, each in its own script evaluation.
void ShowRecordCallByCall(CExplorer1& browser, const MeasureRecord& record)
{
    CWebPage page;
    page.AttachDocument(browser.Document());
    page.JSCall(QStringLiteral("Map_RST"), record.type == Vehicle ? QStringLiteral("1") : QStringLiteral("0"));
    for (int i = 0; i < record.pointCount; ++i)
        page.JSCall(QStringLiteral("Map_PopPoints"), QString::asprintf("%lf", record.mapPoints[i].lat),
                    QString::asprintf("%lf", record.mapPoints[i].lon));
    page.JSCall(QStringLiteral("Map_Stack2PolyLine"));
    page.JSCall(QStringLiteral("Map_SetCenter"), QString::asprintf("%lf", record.mapCenterLat),
                QString::asprintf("%lf", record.mapCenterLon),
                QString::number(MapZoomForExtent(record.extent, record.mapCenterLat, browser.width(), browser.height())));
}

// Waits until browser's page has made its map.
void WaitForMap(CExplorer1& browser)
{
    auto* page = static_cast<CMapPage*>(browser.Document());
    QEventLoop loading;
    QObject::connect(page, &CMapPage::mapReady, &loading, &QEventLoop::quit);
    if (!page->IsMapReady()) loading.exec();
}

// Scripts run in the order sent, so this answers once the page has handled the record.
int WaitForRoute(CExplorer1& browser)
{
    QEventLoop loop;
    int drawn = -1;
    static_cast<CMapPage*>(browser.Document())
        ->RunScript(QStringLiteral("RoutePolyline && BDMap.getOverlays().length === 3 ? GPSPointCnt : -1"),
                    [&](const QVariant& result) {
                        drawn = result.toInt();
                        loop.quit();
                    });
    loop.exec();
    return drawn;
}

template <typename Show>
void MeasureShow(benchmark::State& state, CExplorer1& browser, const MeasureRecord& record, Show show)
{
    for (auto _ : state) {
        show(browser, record);
        if (WaitForRoute(browser) != record.pointCount) {
            state.SkipWithError("the page did not draw the route");
            break;
        }
    }
}
}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    InitMapBrowser();
    QApplication app(argc, argv);
    CRemoteBlocker blocker;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&blocker);

    const auto record = FullRecord();
    RecordTableAppend(TheRecordTable(), *record);
    CVarnelDlg window;
    window.InsertRecordItem(0, 0);
    window.show();
    CExplorer1& browser = *window.findChild<CExplorer1*>();
    WaitForMap(browser);

    benchmark::RegisterBenchmark("SelectRecord/window", [&](benchmark::State& state) {
        MeasureShow(state, browser, *record, [&window](CExplorer1&, const MeasureRecord&) { window.SelectRecord(0); });
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ShowRecordOnMap/batched", [&](benchmark::State& state) {
        MeasureShow(state, browser, *record, [](CExplorer1& b, const MeasureRecord& r) { ShowRecordOnMap(b, r); });
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ShowRecordOnMap/call_by_call_baseline", [&](benchmark::State& state) {
        MeasureShow(state, browser, *record, ShowRecordCallByCall);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
