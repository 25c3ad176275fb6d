#include "map/mappackages.h"

#include <QLoggingCategory>
#include <QMimeData>
#include <QUrl>

#include "map/explorer.h"
#include "map/tilepackage.h"
#include "map/webpage.h"

Q_DECLARE_LOGGING_CATEGORY(lcMap)

namespace {

void OfferPackage(CExplorer1& browser, const TilePackageInfo& info, bool show)
{
    const QString bounds = info.hasBounds
        ? QStringLiteral("%1,%2,%3,%4").arg(info.west, 0, 'g', 12).arg(info.south, 0, 'g', 12)
              .arg(info.east, 0, 'g', 12).arg(info.north, 0, 'g', 12)
        : QString();
    CWebPage page;
    page.AttachDocument(browser.Document());
    page.JSCall(QStringLiteral("Map_AddTilePackage"),
                QStringList{QString::number(info.id), info.name, TileDatumName(info.datum),
                            QString::number(info.minZoom), QString::number(info.maxZoom), bounds,
                            show ? QStringLiteral("1") : QStringLiteral("0")});
}

}  // namespace

void OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show,
                          std::function<void(const QString& error)> refused, std::function<void()> opened)
{
    TheTilePackages().OpenAside(path, &browser, [&browser, show, refused, opened](int id, const QString& error) {
        if (id < 0) {
            if (refused) refused(error);
            return;
        }
        OfferPackage(browser, TheTilePackages().Packages()[size_t(id)], show);
        if (opened) opened();
    });
}

void OfferOpenTilePackages(CExplorer1& browser)
{
    for (const TilePackageInfo& info : TheTilePackages().Packages()) OfferPackage(browser, info, false);
}

void OfferStartupTilePackages(CExplorer1& browser)
{
    for (const QString& path : StartupTilePackagePaths())
        OpenTilePackageOnMap(browser, path, false, [](const QString& error) { qCWarning(lcMap, "%s", qUtf8Printable(error)); });
}

QStringList DroppedTilePackages(const QMimeData& data)
{
    QStringList paths;
    if (!data.hasUrls()) return paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile() || !url.toLocalFile().endsWith(QLatin1String(".mbtiles"), Qt::CaseInsensitive))
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}
