#include "map/mappackages.h"

#include <QMimeData>
#include <QUrl>

#include "map/explorer.h"
#include "map/tilepackage.h"
#include "map/webpage.h"

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

bool OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show, QString* error)
{
    const int id = TheTilePackages().Open(path, error);
    if (id < 0) return false;
    OfferPackage(browser, TheTilePackages().Packages()[id], show);
    return true;
}

void OfferOpenTilePackages(CExplorer1& browser)
{
    for (const TilePackageInfo& info : TheTilePackages().Packages()) OfferPackage(browser, info, false);
}

QStringList OfferStartupTilePackages(CExplorer1& browser)
{
    QStringList refused;
    for (const QString& path : StartupTilePackagePaths()) {
        QString error;
        if (!OpenTilePackageOnMap(browser, path, false, &error)) refused << error;
    }
    return refused;
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
