// The archive's rows: storing an import, finding and reading records, the user's own fields,
// deleting and restoring.
#include "archive/record_archive.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "archive/archive_text.h"
#include "import/loader.h"
#include "import/name_text.h"
#include "import/record_geodesy.h"
#include "import/record_labels.h"
#include "import/recordplace.h"

namespace {

// Sort keys of ArchiveColumn, in its order; never text from outside.
constexpr const char* kSortKeys[] = {"measured_utc", "type",  "area_m2",  "area_mu",    "curve_m",   "straight_m",
                                     "place",        "customer", "field_name", "note", "name_text"};
static_assert(std::size(kSortKeys) == size_t(ArchiveColumn::Count));

constexpr const char* UserFieldColumn(UserField field)
{
    switch (field) {
    case UserField::Customer: return "customer";
    case UserField::FieldName: return "field_name";
    case UserField::PricePerMu: return "price_per_mu";
    case UserField::Note: return "note";
    }
    return "note";
}

constexpr const char kRowColumns[] =
    "id, sha256, file_name, name_text, measured_at, measured_utc, type, area_m2, area_mu, curve_m, straight_m, "
    "geodesic_area_m2, place, point_count, customer, field_name, note, price_per_mu, imported_at, deleted_at, path, "
    "source";

std::string NowText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text + UtcOffsetText(local.tm_gmtoff);
}

std::string ColumnText(sqlite3_stmt* statement, int column)
{
    const auto* text = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(statement, column))) : std::string();
}

int TypeOfName(const std::string& name)
{
    if (name == MeasureTypeName(Vehicle)) return Vehicle;
    if (name == MeasureTypeName(Distance)) return Distance;
    return Area;
}

void BindText(sqlite3_stmt* statement, int index, std::string_view text)
{
    sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* statement, int index, std::string_view bytes)
{
    sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_STATIC);
}

// Resets a kept statement whatever happens on the way out.
struct Reset {
    sqlite3_stmt* statement;
    ~Reset()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

}  // namespace

bool RecordArchive::Prepare(sqlite3_stmt*& statement, const char* sql)
{
    if (statement) return true;
    const int code = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return code == SQLITE_OK || Fail(code);
}

bool RecordArchive::BeginImport()
{
    m_counts = {};
    if (!Writable()) {
        if (m_problem == ArchiveProblem::None) m_problem = ArchiveProblem::CannotOpen;
        return false;
    }
    if (m_inImport) return true;
    // The write lock is taken now, waiting up to the busy timeout, not at the first row.
    if (!Execute("BEGIN IMMEDIATE")) return false;
    m_inImport = true;
    return true;
}

StoreOutcome RecordArchive::Store(const MeasureRecord& record, const std::string& source)
{
    std::string bytes;
    if (!ReadRecordFileBytes(record.path, bytes)) {
        m_detail = std::strerror(errno);
        return StoreOutcome::Failed;
    }
    return StoreBytes(record, bytes, source);
}

StoreOutcome RecordArchive::StoreBytes(const MeasureRecord& record, std::string_view bytes, const std::string& source)
{
    if (!m_inImport && !BeginImport()) return StoreOutcome::Failed;
    const char* kInsert =
        "INSERT INTO records (sha256, file_name, name_text, path, source, measured_at, measured_utc, type, area_m2, "
        "area_mu, curve_m, straight_m, geodesic_area_m2, place, point_count, min_lon, min_lat, max_lon, max_lat, "
        "imported_at, file_size, file_bytes) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, "
        "?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22) ON CONFLICT (sha256) DO NOTHING";
    if (!Prepare(m_insert, kInsert) ||
        !Prepare(m_undelete, "UPDATE records SET deleted_at = NULL, deleted_utc = NULL "
                             "WHERE sha256 = ?1 AND deleted_utc IS NOT NULL"))
        return StoreOutcome::Failed;

    const std::string sha256 = Sha256Hex(bytes);
    // A record archived already costs its hash and one look-up: none of its figures are made.
    if (!Prepare(m_contains, "SELECT 1 FROM records WHERE sha256 = ?1")) return FailImport(sqlite3_errcode(m_db));
    {
        const Reset reset{m_contains};
        BindText(m_contains, 1, sha256);
        const int code = sqlite3_step(m_contains);
        if (code != SQLITE_ROW && code != SQLITE_DONE) return FailImport(code);
        if (code == SQLITE_ROW) return Undelete(sha256);
    }
    const std::string_view name = RecordFileName(record.path);
    int64_t measuredUtc = 0;
    const std::string measuredAt = RecordMeasuredAt(record, &measuredUtc);
    double minLon = 180, minLat = 90, maxLon = -180, maxLat = -90;
    const int count = std::clamp(record.pointCount, 0, MaxPointCount);
    for (int i = 0; i < count; ++i) {
        minLon = std::min(minLon, record.points[i].lon), maxLon = std::max(maxLon, record.points[i].lon);
        minLat = std::min(minLat, record.points[i].lat), maxLat = std::max(maxLat, record.points[i].lat);
    }
    char place[PlaceTextSize];
    const bool hasPlace = FormatRecordPlace(record, place, sizeof place) == 0;
    const RecordGeodesicFigures geodesic = RecordGeodesic(record);

    {
        const Reset reset{m_insert};
        BindText(m_insert, 1, sha256);
        BindBlob(m_insert, 2, name);
        BindText(m_insert, 3, NameText(name));
        BindBlob(m_insert, 4, record.path);
        BindBlob(m_insert, 5, source);
        BindText(m_insert, 6, measuredAt);
        sqlite3_bind_int64(m_insert, 7, measuredUtc);
        BindText(m_insert, 8, MeasureTypeName(record.type));
        const double figures[] = {record.area, record.areaMu, record.curveLength, record.straightLength,
                                  geodesic.geodesicArea};
        for (int i = 0; i < 5; ++i) sqlite3_bind_double(m_insert, 9 + i, figures[i]);
        if (hasPlace) BindText(m_insert, 14, place);
        sqlite3_bind_int(m_insert, 15, count);
        const double box[] = {minLon, minLat, maxLon, maxLat};
        for (int i = 0; i < 4; ++i) sqlite3_bind_double(m_insert, 16 + i, box[i]);
        BindText(m_insert, 20, NowText());
        sqlite3_bind_int64(m_insert, 21, int64_t(bytes.size()));
        BindBlob(m_insert, 22, bytes);
        if (const int code = sqlite3_step(m_insert); code != SQLITE_DONE) return FailImport(code);
    }
    if (sqlite3_changes(m_db) == 1) {
        ++m_counts.added;
        return StoreOutcome::New;
    }
    return Undelete(sha256);
}

StoreOutcome RecordArchive::Undelete(const std::string& sha256)
{
    // Imported again after it was deleted: it is back.
    const Reset reset{m_undelete};
    BindText(m_undelete, 1, sha256);
    if (const int code = sqlite3_step(m_undelete); code != SQLITE_DONE) return FailImport(code);
    if (sqlite3_changes(m_db) == 1) {
        ++m_counts.added;
        return StoreOutcome::New;
    }
    ++m_counts.known;
    return StoreOutcome::Known;
}

StoreOutcome RecordArchive::FailImport(int code)
{
    Fail(code);
    const ArchiveProblem problem = m_problem;
    const std::string detail = m_detail;
    RollbackImport();
    m_problem = problem, m_detail = detail;
    return StoreOutcome::Failed;
}

bool RecordArchive::CommitImport()
{
    if (!m_inImport) return true;
    m_inImport = false;
    if (Execute("COMMIT")) return true;
    const ArchiveProblem problem = m_problem;
    const std::string detail = m_detail;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_problem = problem, m_detail = detail;
    m_counts = {};
    return false;
}

void RecordArchive::RollbackImport()
{
    if (!m_inImport) return;
    m_inImport = false;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_counts = {};
}

bool RecordArchive::QueryIds(const ArchiveFilter& filter, ArchiveColumn column, bool ascending,
                             std::vector<int64_t>& ids)
{
    ids.clear();
    if (!m_db) return false;
    std::string sql = "SELECT id FROM records WHERE deleted_utc IS ";
    sql += filter.deleted ? "NOT NULL" : "NULL";
    if (filter.fromUtc != INT64_MIN) sql += " AND measured_utc >= ?1";
    if (filter.toUtc != INT64_MAX) sql += " AND measured_utc < ?2";
    if (filter.type >= 0) sql += " AND type = ?3";
    if (!filter.customer.empty()) sql += " AND customer = ?4";
    if (!filter.text.empty())
        sql += " AND (name_text LIKE ?5 ESCAPE '\\' OR place LIKE ?5 ESCAPE '\\' OR customer LIKE ?5 ESCAPE '\\'"
               " OR field_name LIKE ?5 ESCAPE '\\' OR note LIKE ?5 ESCAPE '\\')";
    const size_t key = std::min(size_t(column), size_t(ArchiveColumn::Count) - 1);
    sql += std::string(" ORDER BY ") + kSortKeys[key] + (ascending ? " ASC" : " DESC") + ", measured_utc, id";

    sqlite3_stmt* statement = nullptr;
    if (const int code = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr); code != SQLITE_OK)
        return Fail(code);
    sqlite3_bind_int64(statement, 1, filter.fromUtc);
    sqlite3_bind_int64(statement, 2, filter.toUtc);
    BindText(statement, 3, MeasureTypeName(filter.type));
    BindText(statement, 4, filter.customer);
    std::string pattern = "%";
    for (const char c : filter.text) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    BindText(statement, 5, pattern);
    int code;
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return code == SQLITE_DONE || Fail(code);
}

bool RecordArchive::ReadRows(const int64_t* ids, size_t count, std::vector<ArchiveRow>& rows)
{
    rows.clear();
    if (!m_db) return false;
    static const std::string sql = std::string("SELECT ") + kRowColumns + " FROM records WHERE id = ?1";
    if (!Prepare(m_readRow, sql.c_str())) return false;
    for (size_t i = 0; i < count; ++i) {
        const Reset reset{m_readRow};
        sqlite3_bind_int64(m_readRow, 1, ids[i]);
        const int code = sqlite3_step(m_readRow);
        if (code == SQLITE_DONE) continue;
        if (code != SQLITE_ROW) return Fail(code);
        ArchiveRow& row = rows.emplace_back();
        sqlite3_stmt* s = m_readRow;
        row.id = sqlite3_column_int64(s, 0);
        row.sha256 = ColumnText(s, 1);
        row.fileName = ColumnText(s, 2);
        row.nameText = ColumnText(s, 3);
        row.measuredAt = ColumnText(s, 4);
        row.measuredUtc = sqlite3_column_int64(s, 5);
        row.type = TypeOfName(ColumnText(s, 6));
        row.areaM2 = sqlite3_column_double(s, 7);
        row.areaMu = sqlite3_column_double(s, 8);
        row.curveM = sqlite3_column_double(s, 9);
        row.straightM = sqlite3_column_double(s, 10);
        row.geodesicAreaM2 = sqlite3_column_double(s, 11);
        row.place = ColumnText(s, 12);
        row.pointCount = sqlite3_column_int(s, 13);
        row.customer = ColumnText(s, 14);
        row.fieldName = ColumnText(s, 15);
        row.note = ColumnText(s, 16);
        row.hasPrice = sqlite3_column_type(s, 17) != SQLITE_NULL;
        row.pricePerMu = sqlite3_column_double(s, 17);
        row.importedAt = ColumnText(s, 18);
        row.deletedAt = ColumnText(s, 19);
        row.path = ColumnText(s, 20);
        row.source = ColumnText(s, 21);
    }
    return true;
}

bool RecordArchive::ReadRow(int64_t id, ArchiveRow& row)
{
    std::vector<ArchiveRow> rows;
    if (!ReadRows(&id, 1, rows) || rows.empty()) return false;
    row = std::move(rows.front());
    return true;
}

bool RecordArchive::Contains(const std::string& sha256)
{
    if (!m_db || !Prepare(m_contains, "SELECT 1 FROM records WHERE sha256 = ?1")) return false;
    const Reset reset{m_contains};
    BindText(m_contains, 1, sha256);
    const int code = sqlite3_step(m_contains);
    if (code != SQLITE_ROW && code != SQLITE_DONE) Fail(code);
    return code == SQLITE_ROW;
}

int64_t RecordArchive::RecordCount()
{
    if (!m_db) return -1;
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM records WHERE deleted_utc IS NULL", -1, &statement,
                                  nullptr);
    if (code == SQLITE_OK) code = sqlite3_step(statement);
    const int64_t count = code == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    if (count < 0) Fail(code);
    return count;
}

bool RecordArchive::LoadRecord(int64_t id, MeasureRecord& record, std::string& reason)
{
    reason.clear();
    if (!m_db) {
        reason = "the archive is not open";
        return false;
    }
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db, "SELECT path, sha256, file_bytes FROM records WHERE id = ?1", -1,
                                  &statement, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_bind_int64(statement, 1, id);
        code = sqlite3_step(statement);
    }
    if (code != SQLITE_ROW) {
        if (code != SQLITE_DONE) Fail(code);
        reason = code == SQLITE_DONE ? "no longer in the archive" : m_detail;
        sqlite3_finalize(statement);
        return false;
    }
    const std::string path = ColumnText(statement, 0);
    const std::string sha256 = ColumnText(statement, 1);
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 2));
    const std::string_view content(bytes ? bytes : "", size_t(sqlite3_column_bytes(statement, 2)));
    bool loaded = false;
    if (Sha256Hex(content) != sha256) {
        reason = "damaged: its bytes no longer match its SHA-256";
    } else if (path.find('\0') != std::string::npos) {
        reason = "damaged: its path holds a NUL byte";
    } else if (LoadFailure why{}; LoadRecordBytes(path.c_str(), content.data(), content.size(), record, &why) != 0) {
        reason = why == LoadFailure::PathTooLong     ? "path too long"
                 : why == LoadFailure::NotRecordName ? "not a record file name"
                                                     : "no point line";
    } else {
        loaded = true;
    }
    sqlite3_finalize(statement);
    return loaded;
}

bool RecordArchive::SetUserField(int64_t id, UserField field, const std::string& value)
{
    if (!Writable()) return false;
    const std::string sql = std::string("UPDATE records SET ") + UserFieldColumn(field) + " = ?1 WHERE id = ?2";
    sqlite3_stmt* statement = nullptr;
    if (const int code = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr); code != SQLITE_OK)
        return Fail(code);
    if (field == UserField::PricePerMu) {
        char* end = nullptr;
        const double price = std::strtod(value.c_str(), &end);
        if (!value.empty()) {
            if (end == value.c_str() || *end != '\0' || !std::isfinite(price) || price < 0) {
                sqlite3_finalize(statement);
                m_detail = "not a price";
                return false;
            }
            sqlite3_bind_double(statement, 1, price);
        }
    } else if (!value.empty()) {
        BindText(statement, 1, value);
    }
    sqlite3_bind_int64(statement, 2, id);
    const int code = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return code == SQLITE_DONE || Fail(code);
}

bool RecordArchive::MarkDeleted(const std::vector<int64_t>& ids, bool deleted)
{
    if (!Writable() || m_inImport) return false;
    sqlite3_stmt* statement = nullptr;
    const char* sql = deleted ? "UPDATE records SET deleted_at = ?2, deleted_utc = ?3 WHERE id = ?1"
                              : "UPDATE records SET deleted_at = NULL, deleted_utc = NULL WHERE id = ?1";
    if (!Execute("BEGIN IMMEDIATE")) return false;
    int code = sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
    const std::string now = NowText();
    for (size_t i = 0; code == SQLITE_OK && i < ids.size(); ++i) {
        sqlite3_reset(statement);
        sqlite3_bind_int64(statement, 1, ids[i]);
        if (deleted) {
            BindText(statement, 2, now);
            sqlite3_bind_int64(statement, 3, int64_t(std::time(nullptr)));
        }
        code = sqlite3_step(statement);
        if (code == SQLITE_DONE) code = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (code == SQLITE_OK && Execute("COMMIT")) return true;
    if (code != SQLITE_OK) Fail(code);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool RecordArchive::PurgeExpired(int64_t nowUtc)
{
    if (!Writable() || m_inImport) return false;
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db, "DELETE FROM records WHERE deleted_utc < ?1", -1, &statement, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_bind_int64(statement, 1, nowUtc - int64_t(ArchiveKeepDeletedDays) * 86400);
        code = sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    return code == SQLITE_DONE || Fail(code);
}
