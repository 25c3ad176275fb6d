#include "map/mappackages.h"

#include "map/explorer.h"
#include "map/tilepackage.h"
#include "map/webpage.h"

bool OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show, QString* error)
{
    const int id = TheTilePackages().Open(path, error);
    if (id < 0) return false;
    const TilePackageInfo& info = TheTilePackages().Packages()[id];
    const QString bounds = info.hasBounds
        ? QStringLiteral("%1,%2,%3,%4").arg(info.west, 0, 'g', 12).arg(info.south, 0, 'g', 12)
              .arg(info.east, 0, 'g', 12).arg(info.north, 0, 'g', 12)
        : QString();
    CWebPage page;
    page.AttachDocument(browser.Document());
    page.JSCall(QStringLiteral("Map_AddTilePackage"),
                QStringList{QString::number(id), info.name, TileDatumName(info.datum), QString::number(info.minZoom),
                            QString::number(info.maxZoom), bounds, show ? QStringLiteral("1") : QStringLiteral("0")});
    return true;
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
