#pragma once
// Offline map packages on the map page: opening one the user chose or dropped, and offering
// those in the program's data folder at start-up.
#include <QString>
#include <QStringList>

#include <functional>

class CExplorer1;
class QMimeData;

// "打开离线地图包..." in the map's menu: the file dialog's title and filter.
inline constexpr char OpenTilePackageTitle[] = "打开离线地图包";
inline constexpr char TilePackageFilter[] = "离线地图包 (*.mbtiles);;所有文件 (*)";

// Opens the package at path, off the window's thread, and adds it to the map's layer switch,
// shown when show is true. refused, unless the browser is gone, gets a sentence naming the file
// and why when it was refused; opened, when given, is called once it is on the map.
void OpenTilePackageOnMap(CExplorer1& browser, const QString& path, bool show,
                          std::function<void(const QString& error)> refused,
                          std::function<void()> opened = {});

// Offers again, without showing one, every package opened so far: for a page loaded anew.
void OfferOpenTilePackages(CExplorer1& browser);

// Offers every package of the data folder (StartupTilePackagePaths) without showing one; those
// refused are named in the log (category varnel.map).
void OfferStartupTilePackages(CExplorer1& browser);

// The local files of dropped data when every one of them ends in .mbtiles, else none: such a
// drop opens packages instead of importing record files.
QStringList DroppedTilePackages(const QMimeData& data);
