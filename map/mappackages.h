#pragma once
// Offline map packages on the map page: opening one the user chose or dropped, and offering
// those in the program's data folder at start-up.
#include <QString>
#include <QStringList>

class CExplorer1;
class QMimeData;

// "打开离线地图包..." in the map's menu: the file dialog's title and filter.
inline constexpr char OpenTilePackageTitle[] = "打开离线地图包";
inline constexpr char TilePackageFilter[] = "离线地图包 (*.mbtiles);;所有文件 (*)";

// Opens the package at path and adds it to the map's layer switch, shown when show is true.
// False, with error set to a sentence naming the file and why, when it was refused.
bool OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show, QString* error);

// Offers again, without showing one, every package opened so far: for a page loaded anew.
void OfferOpenTilePackages(CExplorer1& browser);

// Offers every package of the data folder (StartupTilePackagePaths) without showing one;
// the sentences for those refused, one per package.
QStringList OfferStartupTilePackages(CExplorer1& browser);

// The local files of dropped data when every one of them ends in .mbtiles, else none: such a
// drop opens packages instead of importing record files.
QStringList DroppedTilePackages(const QMimeData& data);
