#pragma once
// The record archive: every record file ever imported, kept with its figures in one SQLite file,
// so that a measurement outlives the instrument's memory and the program's run.
//
// A record is the SHA-256 of its file's bytes: the same bytes imported again store nothing new.
// The bytes themselves are kept, so that a later version can compute everything again. Writes go
// through one transaction per import (WAL journal); a crash loses at most the import under way.
// Deleting only marks a row; it can be undone for ArchiveKeepDeletedDays days.
//
// Every statement binds its values. A problem (read-only, full, busy, corrupt, a newer schema)
// never throws and never stops the caller's import: the calls fail, and Problem() says why.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "import/record.h"

struct sqlite3;
struct sqlite3_stmt;

inline constexpr int ArchiveSchemaVersion = 1;
inline constexpr int ArchiveKeepDeletedDays = 30;

// What keeps the archive from being used (or written), for a message.
enum class ArchiveProblem {
    None,
    CannotOpen,    // the file or its folder cannot be made or opened
    NotArchive,    // not an SQLite database, or damaged; never written
    ReadOnly,      // the file or its folder may not be written
    NewerSchema,   // made by a newer version: read, never written
    Busy,          // another program held it longer than the busy timeout
    Full,          // the disk (or the database's size limit) is full
    Failed,        // any other error of the database
};

// The archive's file: $XDG_DATA_HOME/Varnel/records.sqlite, ~/.local/share/Varnel/… without it.
std::string DefaultArchivePath();

// Lower-case hex of the SHA-256 of data.
std::string Sha256Hex(std::string_view data);

// The bytes of a record file, read the way the loader reads it (a regular file only, opened
// without blocking, at most MaxRecordFileBytes). False with errno set when it cannot be read.
bool ReadRecordFileBytes(const char* path, std::string& bytes);

// The SHA-256 of each record file (a name holding ".nmea") directly in folder, read as an import
// reads them; files that cannot be read are left out.
std::vector<std::string> RecordFileHashes(const char* folder);

// What an import did to the archive.
enum class StoreOutcome { New, Known, Failed };

// The columns the archive lists and sorts by, in the archive window's order.
enum class ArchiveColumn : int {
    MeasuredAt,
    Type,
    AreaM2,
    AreaMu,
    CurveM,
    StraightM,
    Place,
    Customer,
    FieldName,
    Note,
    FileName,
    Count
};

// The user's own fields, editable in place.
enum class UserField { Customer, FieldName, PricePerMu, Note };

// Which records a query takes. Times are seconds since the epoch (UTC).
struct ArchiveFilter {
    std::string text{};    // in the file name, place, customer, field name or note (LIKE, ASCII case-blind)
    int64_t fromUtc = INT64_MIN;  // measured at or after
    int64_t toUtc = INT64_MAX;    // measured before
    int type = -1;                // a MeasureType, or −1 for all
    std::string customer{};       // exactly this customer, when not empty
    bool deleted = false;         // the recently deleted instead of the archive's records
};

// One archived record as a list shows it: no file bytes, no points.
struct ArchiveRow {
    int64_t id = 0;
    std::string sha256;
    std::string fileName;  // the name's bytes as the file system held them
    std::string nameText;  // the name as UTF-8 (GBK names decoded)
    std::string measuredAt;  // ISO 8601 with its UTC offset
    int64_t measuredUtc = 0;
    int type = 0;
    double areaM2 = 0, areaMu = 0, curveM = 0, straightM = 0, geodesicAreaM2 = 0;
    std::string place;
    int pointCount = 0;
    std::string customer, fieldName, note;
    bool hasPrice = false;
    double pricePerMu = 0;
    std::string importedAt, deletedAt;
    std::string path, source;
};

struct ArchiveStoreCounts {
    int added = 0;
    int known = 0;
};

class RecordArchive {
public:
    RecordArchive() = default;
    ~RecordArchive();
    RecordArchive(const RecordArchive&) = delete;
    RecordArchive& operator=(const RecordArchive&) = delete;

    // Opens the archive at path, making it and its folder when missing, and brings an older
    // schema up to date. A file that is not an archive is left untouched: with keepCorruptAside
    // it is renamed to PATH.corrupt-YYYYMMDD-HHMMSS (told in KeptAside()) and a new archive is
    // started; without, the open fails. A newer schema or an unwritable file opens read-only.
    // False when the archive cannot be used at all; Problem() says why.
    bool Open(const std::string& path, bool keepCorruptAside = false);
    void Close();
    // After a call found the open file damaged (Problem() NotArchive): moves it aside as Open
    // does and starts a new archive in its place.
    bool KeepAsideAndRestart();

    bool IsOpen() const { return m_db != nullptr; }
    bool Writable() const { return m_db != nullptr && !m_readOnly; }
    ArchiveProblem Problem() const { return m_problem; }
    // The database's own words for the last problem, or "".
    const std::string& ProblemDetail() const { return m_detail; }
    // Where a damaged file was moved before a new archive was started, or "".
    const std::string& KeptAside() const { return m_keptAside; }
    const std::string& Path() const { return m_path; }
    // The schema version of the file (newer than ArchiveSchemaVersion when read-only for that).
    int FileSchemaVersion() const { return m_fileVersion; }

    // How long a call waits for another program's write before it gives up (Busy).
    void SetBusyTimeout(int milliseconds);

    // One import is one transaction: Begin, any number of Store, then Commit. A Store before
    // Begin begins. A Store that fails in the database (Problem() says why) rolls the import
    // back, and so does a failed Commit; one whose file cannot be read again only fails. Nothing
    // is written when the archive is not writable.
    bool BeginImport();
    // Reads record.path's bytes again and stores them with the record's figures.
    StoreOutcome Store(const MeasureRecord& record, const std::string& source);
    // The same with the bytes the record was loaded from.
    StoreOutcome StoreBytes(const MeasureRecord& record, std::string_view bytes, const std::string& source);
    bool CommitImport();
    void RollbackImport();
    bool InImport() const { return m_inImport; }
    // What the current (or last) import stored.
    const ArchiveStoreCounts& ImportCounts() const { return m_counts; }

    // The ids of the records filter takes, sorted by column (ties by time, then id). False on
    // an error of the database.
    bool QueryIds(const ArchiveFilter& filter, ArchiveColumn column, bool ascending, std::vector<int64_t>& ids);
    // The rows of ids, in that order; an id that is gone is left out.
    bool ReadRows(const int64_t* ids, size_t count, std::vector<ArchiveRow>& rows);
    bool ReadRow(int64_t id, ArchiveRow& row);
    // Whether a record of these bytes' hash is archived (deleted ones too).
    bool Contains(const std::string& sha256);
    // Records in the archive (not the deleted), −1 on an error.
    int64_t RecordCount();

    // Loads the archived record id from its stored bytes into record, under its original path.
    // False when the row is gone, its bytes no longer match its sha256 (reason "damaged") or they
    // do not load; reason says which.
    bool LoadRecord(int64_t id, MeasureRecord& record, std::string& reason);

    // The user's own field of record id: text for the text fields, a number (or "" for none)
    // for the price. An empty text is stored as NULL.
    bool SetUserField(int64_t id, UserField field, const std::string& value);
    // Marks the records deleted (now), or takes the mark off again.
    bool MarkDeleted(const std::vector<int64_t>& ids, bool deleted);
    // Removes for good the records deleted more than ArchiveKeepDeletedDays before nowUtc.
    bool PurgeExpired(int64_t nowUtc);

    // A consistent copy of the archive at target (SQLite's online backup), written beside it and
    // renamed over it when complete. False with reason when it could not be written.
    bool Backup(const std::string& target, std::string& reason);

    // The open connection, for tests.
    sqlite3* Handle() const { return m_db; }

private:
    bool Fail(int code);
    StoreOutcome FailImport(int code);
    // A record of these bytes is archived: known, or new again when it had been deleted.
    StoreOutcome Undelete(const std::string& sha256);
    bool Execute(const char* sql);
    bool Prepare(sqlite3_stmt*& statement, const char* sql);
    bool OpenFile(const std::string& path);
    bool CheckAndMigrate();

    sqlite3* m_db = nullptr;
    std::string m_path;
    bool m_readOnly = false;
    bool m_inImport = false;
    int m_busyTimeoutMs = 10000;
    int m_fileVersion = 0;
    ArchiveProblem m_problem = ArchiveProblem::None;
    std::string m_detail;
    std::string m_keptAside;
    ArchiveStoreCounts m_counts;
    // Prepared once and kept: an import stores hundreds of rows.
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_undelete = nullptr;
    sqlite3_stmt* m_readRow = nullptr;
    sqlite3_stmt* m_contains = nullptr;
};

// The record's time as ISO 8601 with the UTC offset of the system's time zone on that day
// ("2026-04-11T10:20:30+08:00"), and as seconds since the epoch. The instrument writes its
// local time, which is the user's.
std::string RecordMeasuredAt(const MeasureRecord& record, int64_t* utc = nullptr);

// Local midnight of a "YYYY-MM-DD" date (addDays later), as seconds since the epoch; false
// when it is no date.
bool LocalDateStart(const std::string& date, int64_t& utc, int addDays = 0);
