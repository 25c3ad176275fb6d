#include "map/tilepackage.h"

#include <sqlite3.h>

#include <algorithm>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

// A 1×1 transparent PNG, served for tiles a package does not have, so that the page shows
// the basemap there and never a broken image.
const unsigned char EmptyTilePng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4,
    0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x00, 0x01, 0x00, 0x00,
    0x05, 0x00, 0x01, 0x0d, 0x0a, 0x2d, 0xb4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae,
    0x42, 0x60, 0x82};

bool IsPng(const QByteArray& data)
{
    return data.startsWith("\x89PNG\r\n\x1a\n");
}

bool IsJpeg(const QByteArray& data)
{
    return data.startsWith("\xff\xd8\xff");
}

QString ColumnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text) : QString();
}

// Why SQLite refused a file, in the user's words.
QString SqliteReason(sqlite3* db, int code)
{
    switch (code & 0xff) {
    case SQLITE_NOTADB: return QStringLiteral("它不是 SQLite 数据库文件");
    case SQLITE_CORRUPT: return QStringLiteral("文件已损坏");
    case SQLITE_CANTOPEN: return QStringLiteral("文件无法打开");
    case SQLITE_IOERR: return QStringLiteral("读取文件时出错");
    default: return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    }
}

bool NamesDatum(const QString& value, const char* datum)
{
    QString plain = value.toLower();
    plain.remove(u'-').remove(u'_').remove(u' ');
    return plain.contains(QLatin1String(datum));
}

}  // namespace

TileDatum TileDatumFromMetadata(const QString& datum, const QString& crs, const QString& srs)
{
    for (const QString* value : {&datum, &crs, &srs}) {
        if (NamesDatum(*value, "gcj02")) return TileDatum::Gcj02;
        if (NamesDatum(*value, "bd09")) return TileDatum::Bd09;
    }
    return TileDatum::Wgs84;
}

QString TileDatumName(TileDatum datum)
{
    switch (datum) {
    case TileDatum::Gcj02: return QStringLiteral("gcj02");
    case TileDatum::Bd09: return QStringLiteral("bd09");
    case TileDatum::Wgs84: break;
    }
    return QStringLiteral("wgs84");
}

struct CTilePackages::Connection {
    sqlite3* db = nullptr;
    sqlite3_stmt* tile = nullptr;
    ~Connection()
    {
        sqlite3_finalize(tile);
        sqlite3_close(db);
    }
};

CTilePackages::CTilePackages(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

CTilePackages::~CTilePackages() = default;

int CTilePackages::Open(const QString& path, QString* error)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    for (const TilePackageInfo& info : m_infos)
        if (!canonical.isEmpty() && info.path == canonical) return info.id;

    const QString shown = file.fileName();
    auto refuse = [&](const QString& why) {
        if (error) *error = QStringLiteral("无法打开离线地图包“%1”：%2。").arg(shown, why);
        return -1;
    };
    if (!file.isFile()) return refuse(QStringLiteral("文件不存在或不是普通文件"));

    auto open = std::make_unique<Connection>();
    // Read-only and immutable: the package is read in place, never changed, never copied.
    const QByteArray uri = QUrl::fromLocalFile(canonical).toEncoded() + "?mode=ro&immutable=1";
    int rc = sqlite3_open_v2(uri.constData(), &open->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) return refuse(SqliteReason(open->db, rc));

    // The metadata table is a set of name/value pairs; a package without it is still taken.
    QString name, format, datum, crs, srs, bounds;
    int minZoom = -1, maxZoom = -1;
    sqlite3_stmt* statement = nullptr;
    rc = sqlite3_prepare_v2(open->db, "SELECT name, value FROM metadata", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const QString key = ColumnText(statement, 0).toLower(), value = ColumnText(statement, 1);
            if (key == u"name") name = value;
            else if (key == u"format") format = value.toLower();
            else if (key == u"datum") datum = value;
            else if (key == u"crs") crs = value;
            else if (key == u"srs") srs = value;
            else if (key == u"bounds") bounds = value;
            else if (key == u"minzoom") minZoom = value.toInt();
            else if (key == u"maxzoom") maxZoom = value.toInt();
        }
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) return refuse(SqliteReason(open->db, rc));
    } else if ((rc & 0xff) != SQLITE_ERROR) {  // SQLITE_ERROR: no metadata table
        return refuse(SqliteReason(open->db, rc));
    }

    rc = sqlite3_prepare_v2(open->db,
        "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3",
        -1, &open->tile, nullptr);
    if (rc != SQLITE_OK) {
        if ((rc & 0xff) == SQLITE_ERROR) return refuse(QStringLiteral("它不是 MBTiles 地图包（没有 tiles 表）"));
        return refuse(SqliteReason(open->db, rc));
    }

    // One tile tells the format when the metadata does not, and shows that tiles can be read.
    rc = sqlite3_prepare_v2(open->db, "SELECT zoom_level, tile_data FROM tiles LIMIT 1", -1, &statement, nullptr);
    if (rc != SQLITE_OK) return refuse(SqliteReason(open->db, rc));
    rc = sqlite3_step(statement);
    QByteArray sample;
    if (rc == SQLITE_ROW)
        sample = QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, 1)), sqlite3_column_bytes(statement, 1));
    sqlite3_finalize(statement);
    if (rc == SQLITE_DONE) return refuse(QStringLiteral("地图包里没有地图瓦片"));
    if (rc != SQLITE_ROW) return refuse(SqliteReason(open->db, rc));
    if (format == u"jpeg") format = QStringLiteral("jpg");
    if (format.isEmpty()) format = IsPng(sample) ? QStringLiteral("png") : IsJpeg(sample) ? QStringLiteral("jpg") : QString();
    if (format != u"png" && format != u"jpg")
        return refuse(QStringLiteral("只能打开 PNG 或 JPEG 栅格瓦片的地图包，它的瓦片格式是 %1")
                          .arg(format.isEmpty() ? QStringLiteral("未知格式") : format));

    if (minZoom < 0 || maxZoom < 0 || minZoom > maxZoom) {
        rc = sqlite3_prepare_v2(open->db, "SELECT min(zoom_level), max(zoom_level) FROM tiles", -1, &statement, nullptr);
        if (rc == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
            minZoom = sqlite3_column_int(statement, 0);
            maxZoom = sqlite3_column_int(statement, 1);
        }
        sqlite3_finalize(statement);
    }

    TilePackageInfo info{};
    info.id = static_cast<int>(m_infos.size());
    info.path = canonical;
    info.name = name.trimmed().isEmpty() ? file.completeBaseName() : name.trimmed();
    info.format = format;
    info.datum = TileDatumFromMetadata(datum, crs, srs);
    info.minZoom = std::clamp(minZoom, 0, 30);
    info.maxZoom = std::clamp(maxZoom, info.minZoom, 30);
    const QStringList edges = bounds.split(u',');
    if (edges.size() == 4) {
        bool ok[4];
        info.west = edges[0].trimmed().toDouble(&ok[0]);
        info.south = edges[1].trimmed().toDouble(&ok[1]);
        info.east = edges[2].trimmed().toDouble(&ok[2]);
        info.north = edges[3].trimmed().toDouble(&ok[3]);
        info.hasBounds = ok[0] && ok[1] && ok[2] && ok[3] && info.west < info.east && info.south < info.north;
    }
    m_open.push_back(std::move(open));
    m_infos.push_back(info);
    return info.id;
}

QByteArray CTilePackages::Tile(int id, int z, int x, int y)
{
    if (id < 0 || id >= static_cast<int>(m_open.size()) || z < 0 || z > 30) return {};
    const qint64 count = qint64(1) << z;
    if (x < 0 || y < 0 || x >= count || y >= count) return {};
    sqlite3_stmt* tile = m_open[id]->tile;
    sqlite3_reset(tile);
    sqlite3_bind_int(tile, 1, z);
    sqlite3_bind_int(tile, 2, x);
    sqlite3_bind_int64(tile, 3, count - 1 - y);  // MBTiles rows count from the south
    QByteArray data;
    if (sqlite3_step(tile) == SQLITE_ROW)
        data = QByteArray(static_cast<const char*>(sqlite3_column_blob(tile, 0)), sqlite3_column_bytes(tile, 0));
    sqlite3_reset(tile);
    return data;
}

void CTilePackages::requestStarted(QWebEngineUrlRequestJob* job)
{
    // mbtiles://package/<id>/<z>/<x>/<y>
    const QStringList parts = job->requestUrl().path().split(u'/', Qt::SkipEmptyParts);
    QByteArray data;
    if (job->requestUrl().host() == u"package" && parts.size() == 4) {
        bool ok[4];
        int n[4];
        for (int i = 0; i < 4; ++i) n[i] = parts[i].toInt(&ok[i]);
        if (ok[0] && ok[1] && ok[2] && ok[3]) data = Tile(n[0], n[1], n[2], n[3]);
    }
    QByteArray type = "image/png";
    if (IsJpeg(data)) type = "image/jpeg";
    else if (!IsPng(data)) data = QByteArray(reinterpret_cast<const char*>(EmptyTilePng), sizeof EmptyTilePng);
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    job->reply(type, buffer);
}

CTilePackages& TheTilePackages()
{
    static CTilePackages* packages = [] {
        auto* handler = new CTilePackages(QWebEngineProfile::defaultProfile());
        QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(TilePackageScheme, handler);
        return handler;
    }();
    return *packages;
}

QStringList StartupTilePackagePaths()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/maps");
    QStringList paths;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.mbtiles")}, QDir::Files | QDir::Readable, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

void RegisterTilePackageScheme()
{
    QWebEngineUrlScheme scheme(TilePackageScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not a local scheme: the qrc: page may not load those, but may load others (it is allowed
    // remote content for the online map).
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}
