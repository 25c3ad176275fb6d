// The offline map: start-up of a fresh map browser until the page has made its map, with the
// basemap, grid and layers, against the blank offline map (the same page without them) in the
// same run; and tiles served from an MBTiles package of 1000 tiles, read directly and loaded
// by the page through the mbtiles: scheme. Remote requests are blocked.
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>

#include <functional>
#include <memory>

#include "map/explorer.h"
#include "map/mappackages.h"
#include "map/mappage.h"
#include "map/remoteblocker.h"
#include "map/tilepackage.h"

namespace {

constexpr int TileZoom = 10, TileSide = 32;  // 32 × 32 = 1024 tiles, the first 1000 kept

// The map page as it was before the basemap: its scripts for the basemap left out and their
// functions reduced to the identity, so that offline.js draws on the blank map.
QString BlankMapPage()
{
    QFile file(QString::fromLatin1(MapPageResource));
    file.open(QIODevice::ReadOnly);
    QString page = QString::fromUtf8(file.readAll());
    for (const char* script : {"datum.js", "basemapdata.js", "offlinelayers.js"})
        page.remove(QStringLiteral("<script type=\"text/javascript\" src=\"%1\"></script>").arg(QLatin1String(script)));
    page.replace(QStringLiteral("<script type=\"text/javascript\" src=\"offline.js\">"),
                 QStringLiteral("<script type=\"text/javascript\">var OfflineLayers = {"
                                " install: function () {}, switchControl: function () { return null; },"
                                " toDisplay: function (p) { return L.latLng(p.lat, p.lng); },"
                                " fromDisplay: function (l) { return {lat: l.lat, lng: l.lng}; },"
                                " onDatumChange: function () {} };</script>"
                                "<script type=\"text/javascript\" src=\"offline.js\">"));
    return page;
}

void WaitForMap(CMapPage* page)
{
    QEventLoop loop;
    QObject::connect(page, &CMapPage::mapReady, &loop, &QEventLoop::quit);
    if (!page->IsMapReady()) loop.exec();
}

// Polls the page until script is true.
void WaitUntil(QWebEnginePage* page, const QString& script)
{
    QEventLoop loop;
    std::function<void()> ask = [&] {
        page->runJavaScript(script, [&](const QVariant& done) {
            if (done.toBool()) loop.quit();
            else QTimer::singleShot(1, ask);
        });
    };
    ask();
    loop.exec();
}

// untilBasemap: also until the basemap's outlines are drawn, just after the map is ready.
void MeasureStart(benchmark::State& state, const QString& blankPage, bool untilBasemap)
{
    for (auto _ : state) {
        auto browser = std::make_unique<CExplorer1>();
        browser->resize(800, 600);
        browser->show();
        if (blankPage.isEmpty())
            browser->LoadMapPage();
        else
            browser->page()->setHtml(blankPage, QUrl(QStringLiteral("qrc:/map/map.html")));
        WaitForMap(static_cast<CMapPage*>(browser->page()));
        if (untilBasemap) WaitUntil(browser->page(), QStringLiteral("OfflineLayers.basemapDrawn()"));
        state.PauseTiming();
        browser.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

QString WriteThousandTiles(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
        "CREATE TABLE metadata (name TEXT, value TEXT);"
        "INSERT INTO metadata VALUES ('name', 'bench'), ('format', 'png');"
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);"
        "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row); BEGIN;",
        nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < 1000; ++i) {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor::fromHsv(i * 37 % 360, 120, 230));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        sqlite3_bind_int(insert, 1, TileZoom);
        sqlite3_bind_int(insert, 2, i % TileSide);
        sqlite3_bind_int(insert, 3, (1 << TileZoom) - 1 - i / TileSide);
        sqlite3_bind_blob(insert, 4, png.constData(), int(png.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    InitMapBrowser();
    QApplication app(argc, argv);
    CRemoteBlocker blocker;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&blocker);
    QTemporaryDir dir;
    const QString package = WriteThousandTiles(dir.filePath("bench.mbtiles"));

    const QString blank = BlankMapPage();
    benchmark::RegisterBenchmark("OfflineMapStart/basemap_map_ready", [](benchmark::State& state) {
        MeasureStart(state, QString(), false);
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OfflineMapStart/basemap_drawn", [](benchmark::State& state) {
        MeasureStart(state, QString(), true);
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OfflineMapStart/blank_baseline", [&blank](benchmark::State& state) {
        MeasureStart(state, blank, false);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("TilePackage/read_1000_tiles", [&package](benchmark::State& state) {
        CTilePackages packages;
        const int id = packages.Open(package, nullptr);
        for (auto _ : state)
            for (int i = 0; i < 1000; ++i) benchmark::DoNotOptimize(packages.Tile(id, TileZoom, i % TileSide, i / TileSide));
        state.SetItemsProcessed(state.iterations() * 1000);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    CExplorer1 browser;
    browser.LoadMapPage();
    WaitForMap(static_cast<CMapPage*>(browser.page()));
    bool opened = false;
    OpenTilePackageOnMap(browser, package, false, [&opened](const QString&) { opened = true; }, [&opened] { opened = true; });
    while (!opened) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    benchmark::RegisterBenchmark("TilePackage/page_loads_1000_tiles", [&browser](benchmark::State& state) {
        int round = 0;
        for (auto _ : state) {
            // A fresh query each round, so that the browser's cache answers nothing.
            ++round;
            browser.page()->runJavaScript(QStringLiteral(
                "window.benchDone = 0; for (var i = 0; i < 1000; i++) { var img = new Image();"
                " img.onload = img.onerror = function () { benchDone++; };"
                " img.src = 'mbtiles://package/0/%1/' + (i % %2) + '/' + Math.floor(i / %2) + '?r=%3'; }")
                                              .arg(TileZoom).arg(TileSide).arg(round));
            WaitUntil(browser.page(), QStringLiteral("benchDone >= 1000"));
        }
        state.SetItemsProcessed(state.iterations() * 1000);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
