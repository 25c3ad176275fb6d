// Opening the archive: the file checked before SQLite writes to it, the journal, and the schema
// brought up to date one version at a time.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "archive/record_archive.h"

namespace {

// Version 0 → 1: the records table. Every later change is a function of its own appended to
// kMigrations, each run in its own transaction with the version it reaches.
const char kSchemaVersion1[] = R"sql(
CREATE TABLE records (
    id INTEGER PRIMARY KEY,
    sha256 TEXT NOT NULL UNIQUE,
    file_name BLOB NOT NULL,
    name_text TEXT NOT NULL,
    path BLOB NOT NULL,
    source BLOB NOT NULL,
    measured_at TEXT NOT NULL,
    measured_utc INTEGER NOT NULL,
    type TEXT NOT NULL,
    area_m2 REAL NOT NULL,
    area_mu REAL NOT NULL,
    curve_m REAL NOT NULL,
    straight_m REAL NOT NULL,
    geodesic_area_m2 REAL NOT NULL,
    place TEXT,
    point_count INTEGER NOT NULL,
    min_lon REAL NOT NULL,
    min_lat REAL NOT NULL,
    max_lon REAL NOT NULL,
    max_lat REAL NOT NULL,
    imported_at TEXT NOT NULL,
    customer TEXT,
    field_name TEXT,
    price_per_mu REAL,
    note TEXT,
    deleted_at TEXT,
    deleted_utc INTEGER,
    file_size INTEGER NOT NULL,
    file_bytes BLOB NOT NULL
);
CREATE INDEX records_by_time ON records (measured_utc);
-- What the list filters and sorts by, so that finding and sorting never read the file bytes.
CREATE INDEX records_listing ON records (deleted_utc, measured_utc, type, area_m2, area_mu, curve_m, straight_m,
    name_text, place, customer, field_name, note);
CREATE INDEX records_by_box ON records (min_lon, max_lon, min_lat, max_lat);
)sql";

bool MigrateTo1(sqlite3* db)
{
    return sqlite3_exec(db, kSchemaVersion1, nullptr, nullptr, nullptr) == SQLITE_OK;
}

using Migration = bool (*)(sqlite3*);
// kMigrations[v] brings a file of version v to v + 1.
constexpr Migration kMigrations[] = {MigrateTo1};
static_assert(std::size(kMigrations) == ArchiveSchemaVersion);

// An SQLite database file starts with this; an empty file is a new one.
bool LooksLikeDatabase(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char header[16] = {};
    file.read(header, sizeof header);
    return file.gcount() == 0 || (file.gcount() == 16 && std::memcmp(header, "SQLite format 3", 16) == 0);
}

std::string KeptAsideName(const std::string& path)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = path + ".corrupt-" + stamp;
    for (int n = 2; std::filesystem::exists(name); ++n) name = path + ".corrupt-" + stamp + "-" + std::to_string(n);
    return name;
}

bool Readable(sqlite3* db)
{
    return sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string ImmutableUri(const std::string& path)
{
    std::string uri = "file:";
    for (const unsigned char c : path) {
        if (c == '?' || c == '#' || c == '%' || c < 0x20) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            uri += escape;
        } else {
            uri += char(c);
        }
    }
    return uri + "?immutable=1";
}

bool IsDamage(int code)
{
    return (code & 0xFF) == SQLITE_NOTADB || (code & 0xFF) == SQLITE_CORRUPT;
}

}  // namespace

RecordArchive::~RecordArchive()
{
    Close();
}

void RecordArchive::Close()
{
    if (m_inImport) RollbackImport();
    for (sqlite3_stmt** statement : {&m_insert, &m_undelete, &m_readRow, &m_contains}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_readOnly = false;
    m_fileVersion = 0;
}

void RecordArchive::SetBusyTimeout(int milliseconds)
{
    m_busyTimeoutMs = milliseconds;
    if (m_db) sqlite3_busy_timeout(m_db, milliseconds);
}

bool RecordArchive::Fail(int code)
{
    const int primary = code & 0xFF;
    m_detail = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) m_problem = ArchiveProblem::Busy;
    else if (primary == SQLITE_FULL) m_problem = ArchiveProblem::Full;
    else if (primary == SQLITE_READONLY) m_problem = ArchiveProblem::ReadOnly;
    else if (IsDamage(code)) m_problem = ArchiveProblem::NotArchive;
    else if (primary == SQLITE_CANTOPEN) m_problem = ArchiveProblem::CannotOpen;
    else m_problem = ArchiveProblem::Failed;
    return false;
}

bool RecordArchive::Execute(const char* sql)
{
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK || Fail(code);
}

bool RecordArchive::Open(const std::string& path, bool keepCorruptAside)
{
    Close();
    m_path = path;
    m_problem = ArchiveProblem::None;
    m_detail.clear();
    m_keptAside.clear();
    if (OpenFile(path)) return true;
    if (m_problem != ArchiveProblem::NotArchive || !keepCorruptAside) {
        Close();
        return false;
    }
    return KeepAsideAndRestart();
}

bool RecordArchive::KeepAsideAndRestart()
{
    Close();
    const std::string aside = KeptAsideName(m_path);
    if (std::rename(m_path.c_str(), aside.c_str()) != 0) {
        m_problem = ArchiveProblem::NotArchive;
        m_detail = std::strerror(errno);
        return false;
    }
    // The journal belongs to the damaged file; it goes with it.
    for (const char* suffix : {"-wal", "-shm"}) std::rename((m_path + suffix).c_str(), (aside + suffix).c_str());
    m_keptAside = aside;
    m_problem = ArchiveProblem::None;
    m_detail.clear();
    if (OpenFile(m_path)) return true;
    Close();
    return false;
}

bool RecordArchive::OpenFile(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        m_problem = ArchiveProblem::CannotOpen;
        m_detail = "not a regular file";
        return false;
    }
    // Checked before SQLite sees it: a file of something else is never touched.
    if (exists && !LooksLikeDatabase(path)) {
        m_problem = ArchiveProblem::NotArchive;
        m_detail = "not an SQLite database";
        return false;
    }
    int code = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK && exists) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        code = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    }
    if (code == SQLITE_OK && exists && sqlite3_db_readonly(m_db, "main") == 1 && !Readable(m_db)) {
        // A WAL file read-only, in a folder where its index file cannot be made: read as it
        // stands, since nobody can be writing it.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        code = sqlite3_open_v2(ImmutableUri(path).c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    if (code != SQLITE_OK) {
        Fail(code);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
    // A committed import survives a power cut: the journal is synced at every commit.
    if (!m_readOnly && !(Execute("PRAGMA journal_mode = WAL") && Execute("PRAGMA synchronous = FULL"))) {
        if (m_problem != ArchiveProblem::ReadOnly) return false;
        m_readOnly = true;
    }
    // The listing is read whole for every filter and sort: keep it in memory.
    Execute("PRAGMA cache_size = -65536");
    Execute("PRAGMA mmap_size = 268435456");
    if (!CheckAndMigrate()) return false;
    if (m_readOnly) {
        if (m_problem == ArchiveProblem::None) m_problem = ArchiveProblem::ReadOnly;
        Execute("PRAGMA query_only = 1");
    } else {
        PurgeExpired(int64_t(std::time(nullptr)));
    }
    return true;
}

bool RecordArchive::CheckAndMigrate()
{
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &statement, nullptr);
    if (code == SQLITE_OK) code = sqlite3_step(statement);
    if (code != SQLITE_ROW) {
        sqlite3_finalize(statement);
        return Fail(code);
    }
    m_fileVersion = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);

    // Version 0 is a new file, or a database that is not an archive (a map package picked by
    // mistake): that one is never written.
    if (m_fileVersion == 0) {
        code = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_schema", -1, &statement, nullptr);
        if (code == SQLITE_OK) code = sqlite3_step(statement);
        const int tables = code == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        if (tables < 0) return Fail(code);
        if (tables > 0) {
            m_problem = ArchiveProblem::NotArchive;
            m_detail = "a database of something else";
            return false;
        }
    }
    if (m_fileVersion > ArchiveSchemaVersion) {
        m_readOnly = true;
        m_problem = ArchiveProblem::NewerSchema;
        m_detail = "schema version " + std::to_string(m_fileVersion);
        return true;
    }
    if (m_fileVersion == ArchiveSchemaVersion) return true;
    if (m_readOnly) {
        m_problem = ArchiveProblem::ReadOnly;
        return false;  // an older schema that cannot be brought up to date is not readable here
    }
    for (int version = m_fileVersion; version < ArchiveSchemaVersion; ++version) {
        if (!Execute("BEGIN IMMEDIATE")) return false;
        // Another program may have migrated it while this one waited.
        int now = -1;
        code = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &statement, nullptr);
        if (code == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) now = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        if (now != version) {
            Execute("ROLLBACK");
            if (now > version) {
                version = now - 1;
                continue;
            }
            return Fail(code);
        }
        const std::string setVersion = "PRAGMA user_version = " + std::to_string(version + 1);
        if (!kMigrations[version](m_db)) {
            Fail(sqlite3_errcode(m_db));
            Execute("ROLLBACK");
            return false;
        }
        if (!Execute(setVersion.c_str()) || !Execute("COMMIT")) {
            Execute("ROLLBACK");
            return false;
        }
    }
    m_fileVersion = ArchiveSchemaVersion;
    return true;
}
