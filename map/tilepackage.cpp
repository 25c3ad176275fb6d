#include "map/tilepackage.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <map>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
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
    case SQLITE_INTERRUPT: return QStringLiteral("读取地图包超时");
    case SQLITE_TOOBIG: return QStringLiteral("地图包里的数据过大");
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

namespace {

// One read-only connection to a package, used by one thread. Every statement runs under a
// deadline (the progress handler interrupts it past that) and no value over MaxTileBytes is read.
class PackageConnection {
public:
    PackageConnection() = default;
    PackageConnection(const PackageConnection&) = delete;
    PackageConnection& operator=(const PackageConnection&) = delete;
    ~PackageConnection()
    {
        sqlite3_finalize(m_tile);
        sqlite3_close(m_db);
    }

    // Opens canonical (an existing file's canonical path). SQLite's code.
    int Open(const QString& canonical)
    {
        // Read-only and immutable: the package is read in place, never changed, never copied.
        const QByteArray uri = QUrl::fromLocalFile(canonical).toEncoded() + "?mode=ro&immutable=1";
        const int rc = sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        if (rc != SQLITE_OK) return rc;
        sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, MaxTileBytes);
        sqlite3_progress_handler(m_db, 1000, &PackageConnection::PastDeadline, this);
        return SQLITE_OK;
    }

    sqlite3* Db() const { return m_db; }

    // Statements from now on may run for PackageStatementMs.
    void StartClock() { m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(PackageStatementMs); }

    // The tile's bytes, or empty when the package has none there (or it is too large, or the
    // read failed).
    QByteArray Tile(int z, int x, int y)
    {
        if (z < 0 || z > 30) return {};
        const qint64 count = qint64(1) << z;
        if (x < 0 || y < 0 || x >= count || y >= count) return {};
        StartClock();
        if (!m_tile &&
            sqlite3_prepare_v2(m_db, "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3",
                               -1, &m_tile, nullptr) != SQLITE_OK)
            return {};
        sqlite3_bind_int(m_tile, 1, z);
        sqlite3_bind_int(m_tile, 2, x);
        sqlite3_bind_int64(m_tile, 3, count - 1 - y);  // MBTiles rows count from the south
        QByteArray data;
        if (sqlite3_step(m_tile) == SQLITE_ROW)
            data = QByteArray(static_cast<const char*>(sqlite3_column_blob(m_tile, 0)), sqlite3_column_bytes(m_tile, 0));
        sqlite3_reset(m_tile);
        return data;
    }

private:
    static int PastDeadline(void* self)
    {
        return std::chrono::steady_clock::now() > static_cast<PackageConnection*>(self)->m_deadline ? 1 : 0;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_tile = nullptr;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::now();
};

// A statement's rows, finalized on leaving scope.
class Query {
public:
    Query(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~Query() { sqlite3_finalize(m_statement); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    int Prepared() const { return m_rc; }
    void Bind(int index, const char* text) { sqlite3_bind_text(m_statement, index, text, -1, SQLITE_TRANSIENT); }
    // SQLITE_ROW, SQLITE_DONE or the error.
    int Step() { return m_rc = sqlite3_step(m_statement); }
    QString Text(int column) const { return ColumnText(m_statement, column); }
    int Int(int column) const { return sqlite3_column_int(m_statement, column); }
    QByteArray Blob(int column) const
    {
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_rc;
};

// "table", "view" or "" for a schema object of that name (names are not case-sensitive).
int SchemaType(sqlite3* db, const char* name, QString* type)
{
    Query query(db, "SELECT type FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE AND type IN ('table', 'view')");
    if (query.Prepared() != SQLITE_OK) return query.Prepared();
    query.Bind(1, name);
    const int rc = query.Step();
    *type = rc == SQLITE_ROW ? query.Text(0) : QString();
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The lower-case names a pragma table-valued function lists in its column "name".
int PragmaNames(sqlite3* db, const char* sql, const QString& argument, QStringList* names)
{
    names->clear();
    Query query(db, sql);
    if (query.Prepared() != SQLITE_OK) return query.Prepared();
    const QByteArray bytes = argument.toUtf8();
    query.Bind(1, bytes.constData());
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) *names << query.Text(0).toLower();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Whether an index of the tiles table leads with zoom_level, tile_column and tile_row (in any
// order), so that a tile is found without a scan of the table.
int HasTileIndex(sqlite3* db, bool* found)
{
    *found = false;
    QStringList indexes;
    if (const int rc = PragmaNames(db, "SELECT name FROM pragma_index_list(?1)", QStringLiteral("tiles"), &indexes); rc != SQLITE_OK)
        return rc;
    for (const QString& index : indexes) {
        QStringList columns;
        if (const int rc = PragmaNames(db, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", index, &columns); rc != SQLITE_OK)
            return rc;
        columns = columns.mid(0, 3);
        columns.sort();
        if (columns == QStringList{QStringLiteral("tile_column"), QStringLiteral("tile_row"), QStringLiteral("zoom_level")}) {
            *found = true;
            return SQLITE_OK;
        }
    }
    return SQLITE_OK;
}

struct PackageOutcome {
    TilePackageInfo info{};
    QString error;  // empty when the package opened
};

// Opens and checks the package at path, and reads its description.
PackageOutcome ReadPackage(const QString& path)
{
    const QFileInfo file(path);
    PackageOutcome outcome;
    auto refuse = [&](const QString& why) {
        outcome.error = QStringLiteral("无法打开离线地图包“%1”：%2。").arg(file.fileName(), why);
        return outcome;
    };
    if (!file.isFile()) return refuse(QStringLiteral("文件不存在或不是普通文件"));
    const QString canonical = file.canonicalFilePath();

    PackageConnection connection;
    int rc = connection.Open(canonical);
    if (rc != SQLITE_OK) return refuse(SqliteReason(connection.Db(), rc));
    sqlite3* db = connection.Db();
    connection.StartClock();

    // Only plain tables are read: a view may compute without end, or rows of any size.
    QString tilesType, metadataType;
    if ((rc = SchemaType(db, "tiles", &tilesType)) != SQLITE_OK || (rc = SchemaType(db, "metadata", &metadataType)) != SQLITE_OK)
        return refuse(SqliteReason(db, rc));
    if (tilesType.isEmpty()) return refuse(QStringLiteral("它不是 MBTiles 地图包（没有 tiles 表）"));
    if (tilesType != u"table" || (!metadataType.isEmpty() && metadataType != u"table"))
        return refuse(QStringLiteral("地图包的 tiles 和 metadata 必须是数据表，不能是视图"));
    QStringList columns;
    if ((rc = PragmaNames(db, "SELECT name FROM pragma_table_info(?1)", QStringLiteral("tiles"), &columns)) != SQLITE_OK)
        return refuse(SqliteReason(db, rc));
    for (const char* column : {"zoom_level", "tile_column", "tile_row", "tile_data"})
        if (!columns.contains(QLatin1String(column)))
            return refuse(QStringLiteral("地图包的 tiles 表缺少 %1 列").arg(QLatin1String(column)));
    bool indexed = false;
    if ((rc = HasTileIndex(db, &indexed)) != SQLITE_OK) return refuse(SqliteReason(db, rc));
    if (!indexed) return refuse(QStringLiteral("地图包缺少瓦片索引"));

    // The metadata table is a set of name/value pairs; a package without it is still taken.
    QString name, format, datum, crs, srs, bounds;
    int minZoom = -1, maxZoom = -1;
    if (!metadataType.isEmpty()) {
        if ((rc = PragmaNames(db, "SELECT name FROM pragma_table_info(?1)", QStringLiteral("metadata"), &columns)) != SQLITE_OK)
            return refuse(SqliteReason(db, rc));
        if (!columns.contains(QLatin1String("name")) || !columns.contains(QLatin1String("value")))
            return refuse(QStringLiteral("地图包的 metadata 表缺少 name 或 value 列"));
        Query metadata(db, "SELECT name, value FROM metadata");
        if (metadata.Prepared() != SQLITE_OK) return refuse(SqliteReason(db, metadata.Prepared()));
        while ((rc = metadata.Step()) == SQLITE_ROW) {
            const QString key = metadata.Text(0).toLower(), value = metadata.Text(1);
            if (key == u"name") name = value;
            else if (key == u"format") format = value.toLower();
            else if (key == u"datum") datum = value;
            else if (key == u"crs") crs = value;
            else if (key == u"srs") srs = value;
            else if (key == u"bounds") bounds = value;
            else if (key == u"minzoom") minZoom = value.toInt();
            else if (key == u"maxzoom") maxZoom = value.toInt();
        }
        if (rc != SQLITE_DONE) return refuse(SqliteReason(db, rc));
    }

    // One tile tells the format when the metadata does not, and shows that tiles can be read.
    QByteArray sample;
    {
        Query first(db, "SELECT zoom_level, tile_data FROM tiles LIMIT 1");
        if (first.Prepared() != SQLITE_OK) return refuse(SqliteReason(db, first.Prepared()));
        rc = first.Step();
        if (rc == SQLITE_DONE) return refuse(QStringLiteral("地图包里没有地图瓦片"));
        if (rc != SQLITE_ROW) return refuse(SqliteReason(db, rc));
        sample = first.Blob(1);
    }
    if (format == u"jpeg") format = QStringLiteral("jpg");
    if (format.isEmpty()) format = IsPng(sample) ? QStringLiteral("png") : IsJpeg(sample) ? QStringLiteral("jpg") : QString();
    if (format != u"png" && format != u"jpg")
        return refuse(QStringLiteral("只能打开 PNG 或 JPEG 栅格瓦片的地图包，它的瓦片格式是 %1")
                          .arg(format.isEmpty() ? QStringLiteral("未知格式") : format));

    if (minZoom < 0 || maxZoom < 0 || minZoom > maxZoom) {
        Query zooms(db, "SELECT min(zoom_level), max(zoom_level) FROM tiles");
        if (zooms.Prepared() == SQLITE_OK && zooms.Step() == SQLITE_ROW) {
            minZoom = zooms.Int(0);
            maxZoom = zooms.Int(1);
        }
    }

    TilePackageInfo& info = outcome.info;
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
    return outcome;
}

}  // namespace

// The connections of one thread to the packages, opened as their tiles are asked for.
class CTilePackages::Reader : public QObject {
public:
    QByteArray Tile(int id, const QString& path, int z, int x, int y)
    {
        auto& connection = m_connections[id];
        if (!connection) {
            connection = std::make_unique<PackageConnection>();
            if (connection->Open(path) != SQLITE_OK) return {};
        }
        return connection->Db() ? connection->Tile(z, x, y) : QByteArray();
    }

private:
    std::map<int, std::unique_ptr<PackageConnection>> m_connections;
};

CTilePackages::CTilePackages(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_callerReader(std::make_unique<Reader>()), m_reader(new Reader),
      m_thread(new QThread)
{
    m_thread->setObjectName(QStringLiteral("map packages"));
    m_reader->moveToThread(m_thread);
    m_thread->start();
}

CTilePackages::~CTilePackages()
{
    m_thread->quit();
    // A package on a drive that stopped answering may hold the thread in a read for ever; the
    // program ends all the same, leaving it be.
    if (!m_thread->wait(QDeadlineTimer(2000))) return;
    delete m_reader;
    delete m_thread;
}

int CTilePackages::Register(TilePackageInfo info)
{
    for (const TilePackageInfo& open : m_infos)
        if (open.path == info.path) return open.id;
    info.id = static_cast<int>(m_infos.size());
    m_infos.push_back(info);
    return info.id;
}

void CTilePackages::OpenAside(const QString& path, QObject* context, Opened done)
{
    QMetaObject::invokeMethod(m_reader, [this, path, context = QPointer<QObject>(context), done = std::move(done)] {
        const PackageOutcome outcome = ReadPackage(path);
        QMetaObject::invokeMethod(this, [this, outcome, context, done] {
            const int id = outcome.error.isEmpty() ? Register(outcome.info) : -1;
            if (context) done(id, outcome.error);
        });
    });
}

int CTilePackages::Open(const QString& path, QString* error)
{
    const PackageOutcome outcome = ReadPackage(path);
    if (!outcome.error.isEmpty()) {
        if (error) *error = outcome.error;
        return -1;
    }
    return Register(outcome.info);
}

QByteArray CTilePackages::Tile(int id, int z, int x, int y)
{
    if (id < 0 || id >= static_cast<int>(m_infos.size())) return {};
    return m_callerReader->Tile(id, m_infos[size_t(id)].path, z, x, y);
}

namespace {

void Reply(QWebEngineUrlRequestJob* job, QByteArray data)
{
    QByteArray type = "image/png";
    if (IsJpeg(data)) type = "image/jpeg";
    else if (!IsPng(data)) data = QByteArray(reinterpret_cast<const char*>(EmptyTilePng), sizeof EmptyTilePng);
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    job->reply(type, buffer);
}

}  // namespace

void CTilePackages::requestStarted(QWebEngineUrlRequestJob* job)
{
    // mbtiles://package/<id>/<z>/<x>/<y>
    const QStringList parts = job->requestUrl().path().split(u'/', Qt::SkipEmptyParts);
    int n[4] = {-1, -1, -1, -1};
    bool ok = job->requestUrl().host() == u"package" && parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i) n[i] = parts[i].toInt(&ok);
    if (!ok || n[0] < 0 || n[0] >= static_cast<int>(m_infos.size())) {
        Reply(job, {});
        return;
    }
    // Read on the packages' thread; the job may be gone (the page moved on) by the time the
    // tile is there.
    QMetaObject::invokeMethod(m_reader, [this, job = QPointer<QWebEngineUrlRequestJob>(job),
                                         path = m_infos[size_t(n[0])].path, id = n[0], z = n[1], x = n[2], y = n[3]] {
        const QByteArray data = m_reader->Tile(id, path, z, x, y);
        QMetaObject::invokeMethod(this, [job, data] {
            if (job) Reply(job, data);
        });
    });
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
