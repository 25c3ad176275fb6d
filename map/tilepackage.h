#pragma once
// Offline map packages: raster MBTiles files (SQLite, PNG or JPEG tiles) that the user opens.
// Each is read in place through SQLite, read-only, and its tiles reach the map page by the URL
// scheme "mbtiles": mbtiles://package/<id>/<z>/<x>/<y>, x and y counted as web maps count them.
#include <QString>
#include <QWebEngineUrlSchemeHandler>

#include <memory>
#include <vector>

inline constexpr char TilePackageScheme[] = "mbtiles";

// The datum of a package's tiles. WGS-84 unless the package's metadata says otherwise.
enum class TileDatum { Wgs84, Gcj02, Bd09 };

struct TilePackageInfo {
    int id;
    QString path;
    QString name;   // the metadata's name, else the file's base name
    QString format; // "png" or "jpg"
    TileDatum datum;
    int minZoom, maxZoom;
    bool hasBounds;
    double west, south, east, north;  // metadata bounds, degrees in the package's datum
};

// The datum named by a package's metadata: the first of "datum", "crs", "srs" that names
// GCJ-02 or BD-09 (with or without the hyphen, any case) decides; otherwise WGS-84.
TileDatum TileDatumFromMetadata(const QString& datum, const QString& crs, const QString& srs);

// The page's name of a datum: "wgs84", "gcj02", "bd09".
QString TileDatumName(TileDatum datum);

class CTilePackages : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    explicit CTilePackages(QObject* parent = nullptr);
    ~CTilePackages() override;

    // Opens the package at path and keeps it open. Its id (0, 1, …), or −1 with error set to a
    // sentence for the user naming the file and why it was refused. A package already open
    // gives its id again.
    int Open(const QString& path, QString* error);

    const std::vector<TilePackageInfo>& Packages() const { return m_infos; }

    // The tile's bytes (PNG or JPEG as stored), or empty when the package has no such tile.
    QByteArray Tile(int id, int z, int x, int y);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    struct Connection;
    std::vector<std::unique_ptr<Connection>> m_open;
    std::vector<TilePackageInfo> m_infos;
};

// The program's packages, served to the default browser profile (made and installed on
// first use).
CTilePackages& TheTilePackages();

// Every *.mbtiles file in the program's data folder for packages
// (QStandardPaths::AppDataLocation + "/maps"), sorted by name.
QStringList StartupTilePackagePaths();

// Registers the scheme with the browser engine; InitMapBrowser calls it before the
// application object is made, as the engine requires.
void RegisterTilePackageScheme();
