#pragma once
// Offline map packages: raster MBTiles files (SQLite, PNG or JPEG tiles) that the user opens.
// Each is read in place through SQLite, read-only, and its tiles reach the map page by the URL
// scheme "mbtiles": mbtiles://package/<id>/<z>/<x>/<y>, x and y counted as web maps count them.
//
// A package is a file anybody may have sent: it is opened and read on a thread of its own, never
// the window's, and only as a plain package: tables (not views) named metadata and tiles with
// their columns and the tile index, each statement under a time limit, no tile over 4 MiB.
#include <QString>
#include <QThread>
#include <QWebEngineUrlSchemeHandler>

#include <functional>
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

// The largest tile read; a larger one is taken as missing.
inline constexpr int MaxTileBytes = 4 << 20;
// How long one statement on a package may run before it is interrupted.
inline constexpr int PackageStatementMs = 3000;

class CTilePackages : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    explicit CTilePackages(QObject* parent = nullptr);
    ~CTilePackages() override;

    // What Open and OpenAside give: the package's id (0, 1, …), or −1 with error a sentence for
    // the user naming the file and why it was refused.
    using Opened = std::function<void(int id, const QString& error)>;

    // Opens the package at path on the packages' thread; done is called on this object's thread
    // once it is open or refused, unless context is gone by then. A package already open gives
    // its id again.
    void OpenAside(const QString& path, QObject* context, Opened done);

    // The same on the calling thread, for tests and benchmarks.
    int Open(const QString& path, QString* error);

    const std::vector<TilePackageInfo>& Packages() const { return m_infos; }

    // The tile's bytes (PNG or JPEG as stored), or empty when the package has no such tile, read
    // on the calling thread (tests, benchmarks); the page's requests are read on the packages'
    // thread.
    QByteArray Tile(int id, int z, int x, int y);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    class Reader;
    // Takes an opened package's description; its id, or that of the same file opened before.
    int Register(TilePackageInfo info);

    std::vector<TilePackageInfo> m_infos;
    std::unique_ptr<Reader> m_callerReader;  // Tile()'s connections, on the calling thread
    Reader* m_reader;                        // lives in m_thread
    QThread* m_thread;
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
