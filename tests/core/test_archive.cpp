// The record archive: what a row keeps, the same bytes stored once, the schema's versions, and
// every way the file can be unusable (read-only, full, busy, damaged, not an archive at all).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/record_archive.h"
#include "import/loader.h"
#include "import/record_labels.h"
#include "tests/support/testsupport.h"

namespace {

// A small field whose bytes differ with i, so each file is a record of its own.
std::string FieldFile(int i, int day = 11)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "2018-04-%02d,10:20:01,22.50%02d000,113.9000000\r\n2018-04-%02d,10:20:02,22.5010000,113.9000000\r\n"
                  "2018-04-%02d,10:20:03,22.5010000,113.9010000\r\n2018-04-%02d,10:20:04,22.5000000,113.9010000\r\n",
                  day, i % 100, day, day, day);
    return text;
}

// Runs sql on the file at path through a connection of its own; the first column of the first
// row, or the error's text.
std::string Sql(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_busy_timeout(db, 5000);
    std::string result;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        result = sqlite3_errmsg(db);
    } else {
        const int code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            result = text ? text : "NULL";
        } else if (code != SQLITE_DONE) {
            result = sqlite3_errmsg(db);
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

class Archive : public testing::Test {
protected:
    // Loads the file and stores it; the outcome.
    StoreOutcome Import(RecordArchive& archive, const std::string& path)
    {
        EXPECT_EQ(LoadRecordFile(path.c_str(), *record_), 0) << path;
        return archive.Store(*record_, scratch_.path());
    }
    // Stores the named files in one import; the counts it committed.
    ArchiveStoreCounts ImportAll(RecordArchive& archive, const std::vector<std::string>& paths)
    {
        EXPECT_TRUE(archive.BeginImport());
        for (const std::string& path : paths) Import(archive, path);
        const ArchiveStoreCounts counts = archive.ImportCounts();
        EXPECT_TRUE(archive.CommitImport());
        return counts;
    }
    std::vector<int64_t> Ids(RecordArchive& archive, const ArchiveFilter& filter = {},
                             ArchiveColumn column = ArchiveColumn::MeasuredAt, bool ascending = true)
    {
        std::vector<int64_t> ids;
        EXPECT_TRUE(archive.QueryIds(filter, column, ascending, ids));
        return ids;
    }

    const ScratchFolder scratch_{"varnel-archive"};
    const std::string db_ = scratch_.File("records.sqlite");
    std::unique_ptr<MeasureRecord> record_ = std::make_unique<MeasureRecord>();
};

TEST_F(Archive, ARowKeepsTheFileItsFiguresAndItsPlace)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_)) << archive.ProblemDetail();
    const std::string name = "\xB5\xD8\xBF\xE9 2018-04-11 DISTANCE.nmea";  // "地块" in GBK
    const std::string path = scratch_.Write(name, FieldFile(1));
    ASSERT_EQ(ImportAll(archive, {path}).added, 1);

    const std::vector<int64_t> ids = Ids(archive);
    ASSERT_EQ(ids.size(), 1u);
    ArchiveRow row;
    ASSERT_TRUE(archive.ReadRow(ids[0], row));
    EXPECT_EQ(row.sha256, Sha256Hex(FieldFile(1)));
    EXPECT_EQ(row.fileName, name);
    EXPECT_EQ(row.nameText, "地块 2018-04-11 DISTANCE.nmea");
    EXPECT_EQ(row.path, path);
    EXPECT_EQ(row.source, scratch_.path());
    EXPECT_EQ(row.type, Distance);
    EXPECT_EQ(row.pointCount, 4);
    EXPECT_DOUBLE_EQ(row.areaM2, record_->area);
    EXPECT_DOUBLE_EQ(row.areaMu, record_->areaMu);
    EXPECT_DOUBLE_EQ(row.curveM, record_->curveLength);
    EXPECT_DOUBLE_EQ(row.straightM, record_->straightLength);
    EXPECT_NEAR(row.geodesicAreaM2, record_->calcArea, record_->calcArea * 1e-3);
    EXPECT_EQ(row.measuredAt.substr(0, 19), "2018-04-11T10:20:01");
    EXPECT_TRUE(row.measuredAt.size() == 25u || row.measuredAt.substr(19) == "Z") << row.measuredAt;  // ±hh:mm or Z
    EXPECT_FALSE(row.place.empty());
    EXPECT_TRUE(row.customer.empty() && row.note.empty() && !row.hasPrice);
    std::string hex;
    for (const unsigned char c : FieldFile(1)) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", c);
        hex += two;
    }
    EXPECT_EQ(Sql(db_, "SELECT hex(file_bytes) FROM records"), hex);
    EXPECT_EQ(Sql(db_, "SELECT printf('%.7f %.7f %.7f %.7f', min_lon, min_lat, max_lon, max_lat) FROM records"),
              "113.9000000 22.5000000 113.9010000 22.5010000");
    EXPECT_EQ(Sql(db_, "SELECT customer IS NULL AND field_name IS NULL AND price_per_mu IS NULL AND note IS NULL "
                       "FROM records"),
              "1");
    EXPECT_EQ(Sql(db_, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(Sql(db_, "PRAGMA user_version"), "1");

    // Loaded again from the stored bytes, it is the record the file gave.
    auto again = std::make_unique<MeasureRecord>();
    std::string reason;
    ASSERT_TRUE(archive.LoadRecord(ids[0], *again, reason)) << reason;
    EXPECT_EQ(std::memcmp(again.get(), record_.get(), sizeof(MeasureRecord)), 0);
}

// Each import in turn, with the counts it should store: the same bytes are one record whatever
// the file is called, and a deleted record imported again is back.
TEST_F(Archive, TheSameBytesAreStoredOnce)
{
    const std::string a = scratch_.Write("a.nmea", FieldFile(1));
    const std::string b = scratch_.Write("b.nmea", FieldFile(2));
    const std::string c = scratch_.Write("c.nmea", FieldFile(3));
    const std::string copyOfA = scratch_.Write("copy of a.nmea", FieldFile(1));
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    struct Step {
        std::vector<std::string> paths;
        int added, known;
    };
    const Step steps[] = {{{a, b}, 2, 0}, {{a, b, c}, 1, 2}, {{copyOfA, c, c}, 0, 3}};
    for (const Step& step : steps) {
        const ArchiveStoreCounts counts = ImportAll(archive, step.paths);
        EXPECT_EQ(counts.added, step.added);
        EXPECT_EQ(counts.known, step.known);
    }
    EXPECT_EQ(archive.RecordCount(), 3);

    ASSERT_TRUE(archive.MarkDeleted({Ids(archive)[0]}, true));
    EXPECT_EQ(archive.RecordCount(), 2);
    EXPECT_EQ(ImportAll(archive, {a}).added, 1);
    EXPECT_EQ(archive.RecordCount(), 3);
}

TEST_F(Archive, FiltersSortsAndTheUsersFields)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("east 100%_field.nmea", FieldFile(1, 12)),
                        scratch_.Write("west CAR.nmea", FieldFile(2, 11)),
                        scratch_.Write("north DISTANCE.nmea", FieldFile(3, 13))});
    const std::vector<int64_t> byTime = Ids(archive);
    ASSERT_EQ(byTime.size(), 3u);
    const int64_t west = byTime[0], east = byTime[1], north = byTime[2];
    ASSERT_TRUE(archive.SetUserField(east, UserField::Customer, "张三"));
    ASSERT_TRUE(archive.SetUserField(north, UserField::Customer, "李四"));
    ASSERT_TRUE(archive.SetUserField(west, UserField::Note, "O'Brien; DROP TABLE records; --"));
    ASSERT_TRUE(archive.SetUserField(west, UserField::PricePerMu, "85.5"));
    EXPECT_FALSE(archive.SetUserField(west, UserField::PricePerMu, "cheap"));

    int64_t day12 = 0, day13 = 0;
    ASSERT_TRUE(LocalDateStart("2018-04-12", day12));
    ASSERT_TRUE(LocalDateStart("2018-04-12", day13, 1));
    struct Case {
        const char* what;
        ArchiveFilter filter;
        std::vector<int64_t> ids;
    };
    const Case cases[] = {
        {"everything", {}, {west, east, north}},
        {"a name, ASCII case-blind", {.text = "EAST"}, {east}},
        {"% and _ are only characters", {.text = "100%_"}, {east}},
        {"% alone matches no name without it", {.text = "%"}, {east}},
        {"a customer's name in the text", {.text = "李"}, {north}},
        {"a note with SQL in it", {.text = "drop table"}, {west}},
        {"exactly this customer", {.customer = "张三"}, {east}},
        {"from a day", {.fromUtc = day12}, {east, north}},
        {"one day", {.fromUtc = day12, .toUtc = day13}, {east}},
        {"a type", {.type = Vehicle}, {west}},
        {"nothing", {.text = "nowhere"}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Ids(archive, c.filter), c.ids) << c.what;

    EXPECT_EQ(Ids(archive, {}, ArchiveColumn::FileName, true), (std::vector<int64_t>{east, north, west}));
    EXPECT_EQ(Ids(archive, {}, ArchiveColumn::FileName, false), (std::vector<int64_t>{west, north, east}));
    // No customer first; then by the names' code points (张 U+5F20 before 李 U+674E).
    EXPECT_EQ(Ids(archive, {}, ArchiveColumn::Customer, true), (std::vector<int64_t>{west, east, north}));
    ArchiveRow row;
    ASSERT_TRUE(archive.ReadRow(west, row));
    EXPECT_TRUE(row.hasPrice);
    EXPECT_DOUBLE_EQ(row.pricePerMu, 85.5);
    EXPECT_EQ(row.note, "O'Brien; DROP TABLE records; --");
    ASSERT_TRUE(archive.SetUserField(west, UserField::Note, ""));
    ASSERT_TRUE(archive.ReadRow(west, row));
    EXPECT_EQ(Sql(db_, "SELECT note IS NULL FROM records WHERE id = " + std::to_string(west)), "1");
}

// Notes and names that could break a statement or a view are kept as their bytes.
TEST_F(Archive, HostileTextIsKeptAsText)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("'); DELETE FROM records; --\x01\x7f.nmea", FieldFile(1))});
    const int64_t id = Ids(archive).at(0);
    const std::string texts[] = {"\"quoted\" 'and' `ticked`", "x'); DROP TABLE records; --",
                                 std::string("control\x01\x1b[31m\n\t bytes"), "invalid \xff\xfe UTF-8 \xc3",
                                 std::string(10000, 'n') + "尾"};
    for (const std::string& text : texts) {
        ASSERT_TRUE(archive.SetUserField(id, UserField::Note, text));
        ArchiveRow row;
        ASSERT_TRUE(archive.ReadRow(id, row));
        EXPECT_EQ(row.note, text);
    }
    ArchiveRow row;
    ASSERT_TRUE(archive.ReadRow(id, row));
    EXPECT_EQ(row.fileName, "'); DELETE FROM records; --\x01\x7f.nmea");
    EXPECT_EQ(archive.RecordCount(), 1);
}

TEST_F(Archive, DeletedRecordsComeBackUntilTheyExpire)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1)), scratch_.Write("b.nmea", FieldFile(2))});
    const std::vector<int64_t> ids = Ids(archive);
    ASSERT_TRUE(archive.MarkDeleted({ids[0]}, true));
    EXPECT_EQ(Ids(archive), (std::vector<int64_t>{ids[1]}));
    EXPECT_EQ(Ids(archive, {.deleted = true}), (std::vector<int64_t>{ids[0]}));
    EXPECT_EQ(Sql(db_, "SELECT count(*) FROM records"), "2") << "a mark, not a DELETE";
    ASSERT_TRUE(archive.MarkDeleted({ids[0]}, false));
    EXPECT_EQ(Ids(archive), ids);

    ASSERT_TRUE(archive.MarkDeleted({ids[0]}, true));
    const int64_t now = int64_t(std::time(nullptr));
    ASSERT_TRUE(archive.PurgeExpired(now + int64_t(ArchiveKeepDeletedDays - 1) * 86400));
    EXPECT_EQ(Ids(archive, {.deleted = true}).size(), 1u);
    ASSERT_TRUE(archive.PurgeExpired(now + int64_t(ArchiveKeepDeletedDays) * 86400 + 1));
    EXPECT_TRUE(Ids(archive, {.deleted = true}).empty());
    EXPECT_EQ(Ids(archive), (std::vector<int64_t>{ids[1]}));
}

TEST_F(Archive, ARowWhoseBytesNoLongerMatchIsNotTrusted)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1))});
    Sql(db_, "UPDATE records SET file_bytes = CAST(replace(CAST(file_bytes AS TEXT), '22.5010', '23.5010') AS BLOB)");
    std::string reason;
    EXPECT_FALSE(archive.LoadRecord(Ids(archive).at(0), *record_, reason));
    EXPECT_NE(reason.find("damaged"), std::string::npos) << reason;
}

// Version 0 is made current; a newer version is read but never written; a database of another
// kind is not taken for an archive.
TEST_F(Archive, SchemaVersions)
{
    {
        RecordArchive archive;
        ASSERT_TRUE(archive.Open(db_));
        ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1))});
    }
    Sql(db_, "PRAGMA user_version = 2");
    Sql(db_, "ALTER TABLE records ADD COLUMN statement_no TEXT");
    {
        RecordArchive archive;
        ASSERT_TRUE(archive.Open(db_));
        EXPECT_FALSE(archive.Writable());
        EXPECT_EQ(archive.Problem(), ArchiveProblem::NewerSchema);
        EXPECT_EQ(archive.FileSchemaVersion(), 2);
        EXPECT_EQ(Ids(archive).size(), 1u);
        EXPECT_FALSE(archive.BeginImport());
        EXPECT_EQ(Import(archive, scratch_.Write("b.nmea", FieldFile(2))), StoreOutcome::Failed);
        EXPECT_FALSE(archive.SetUserField(Ids(archive)[0], UserField::Note, "x"));
    }
    EXPECT_EQ(Sql(db_, "SELECT count(*) FROM records"), "1");
    EXPECT_EQ(Sql(db_, "PRAGMA user_version"), "2");

    const std::string tiles = scratch_.File("tiles.mbtiles");
    Sql(tiles, "CREATE TABLE metadata (name TEXT, value TEXT)");
    RecordArchive other;
    EXPECT_FALSE(other.Open(tiles));
    EXPECT_EQ(other.Problem(), ArchiveProblem::NotArchive);
    EXPECT_EQ(Sql(tiles, "SELECT count(*) FROM sqlite_schema"), "1");
}

// A file that is not an archive is never written: with keepCorruptAside it is moved aside whole
// and a new archive started; without, the open fails and the file is as it was.
TEST_F(Archive, ADamagedFileIsKeptAside)
{
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string damaged = "SQLite format 3";
    damaged += '\0';
    damaged += std::string(8192, '\xA5');
    const Case cases[] = {{"text", "a spreadsheet, not a database\n"}, {"a damaged database", damaged}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = scratch_.Write("damaged.sqlite", c.bytes);
        {
            RecordArchive archive;
            EXPECT_FALSE(archive.Open(path));
            EXPECT_EQ(archive.Problem(), ArchiveProblem::NotArchive);
            EXPECT_EQ(ReadWholeFile(path), c.bytes);
        }
        RecordArchive archive;
        ASSERT_TRUE(archive.Open(path, true)) << archive.ProblemDetail();
        ASSERT_FALSE(archive.KeptAside().empty());
        EXPECT_EQ(ReadWholeFile(archive.KeptAside()), c.bytes);
        EXPECT_TRUE(archive.Writable());
        EXPECT_EQ(ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1))}).added, 1);
        std::remove(archive.KeptAside().c_str());
    }
}

TEST_F(Archive, ReadOnlyFileIsReadNotWritten)
{
    {
        RecordArchive archive;
        ASSERT_TRUE(archive.Open(db_));
        ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1))});
    }
    const std::string b = scratch_.Write("b.nmea", FieldFile(2));
    ::chmod(db_.c_str(), 0444);
    ::chmod(scratch_.path().c_str(), 0555);
    const ChildOutcome outcome = RunInChild([&] {
        if (!DropRootPrivileges()) return ChildOutcome{-2, 0};
        RecordArchive archive;
        const bool opened = archive.Open(db_);
        std::vector<int64_t> ids;
        const bool read = archive.QueryIds({}, ArchiveColumn::MeasuredAt, true, ids) && ids.size() == 1;
        auto record = std::make_unique<MeasureRecord>();
        LoadRecordFile(b.c_str(), *record);
        const bool stored = archive.Store(*record, "") != StoreOutcome::Failed;
        return ChildOutcome{opened && read && !archive.Writable() && !stored ? 0 : 1, int(archive.Problem())};
    });
    ::chmod(scratch_.path().c_str(), 0755);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.error, int(ArchiveProblem::ReadOnly));
}

// A disk that fills during an import rolls that import back and keeps what was committed.
TEST_F(Archive, AFullDiskLosesOnlyTheImportUnderWay)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1))});
    const std::string pages = Sql(db_, "PRAGMA page_count");
    ASSERT_EQ(sqlite3_exec(archive.Handle(), ("PRAGMA max_page_count = " + pages).c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::string big = FieldFile(2);
    for (int i = 0; i < 4000; ++i) big += "2018-04-11,10:21:00,22.5,113.9\r\n";
    ASSERT_TRUE(archive.BeginImport());
    EXPECT_EQ(Import(archive, scratch_.Write("big.nmea", big)), StoreOutcome::Failed);
    EXPECT_EQ(archive.Problem(), ArchiveProblem::Full);
    EXPECT_FALSE(archive.InImport());
    EXPECT_EQ(Sql(db_, "SELECT count(*) FROM records"), "1");
    EXPECT_EQ(Sql(db_, "PRAGMA integrity_check"), "ok");
}

// A second program's write is waited for; one held past the busy timeout is Busy, not an error
// that damages anything.
TEST_F(Archive, AnotherWriterIsWaitedFor)
{
    RecordArchive first, second;
    ASSERT_TRUE(first.Open(db_));
    ASSERT_TRUE(second.Open(db_));
    second.SetBusyTimeout(100);
    ASSERT_TRUE(first.BeginImport());
    EXPECT_EQ(Import(first, scratch_.Write("a.nmea", FieldFile(1))), StoreOutcome::New);
    EXPECT_FALSE(second.BeginImport());
    EXPECT_EQ(second.Problem(), ArchiveProblem::Busy);
    EXPECT_TRUE(second.QueryIds({}, ArchiveColumn::MeasuredAt, true, *std::make_unique<std::vector<int64_t>>()))
        << "reading goes on during a write";

    second.SetBusyTimeout(10000);
    std::thread finish([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        first.CommitImport();
    });
    EXPECT_TRUE(second.BeginImport());
    EXPECT_EQ(Import(second, scratch_.Write("b.nmea", FieldFile(2))), StoreOutcome::New);
    EXPECT_EQ(Import(second, scratch_.File("a.nmea")), StoreOutcome::Known);
    EXPECT_TRUE(second.CommitImport());
    finish.join();
    EXPECT_EQ(Sql(db_, "SELECT count(*) FROM records"), "2");
}

TEST_F(Archive, ABackupIsACompleteArchive)
{
    RecordArchive archive;
    ASSERT_TRUE(archive.Open(db_));
    ImportAll(archive, {scratch_.Write("a.nmea", FieldFile(1)), scratch_.Write("b.nmea", FieldFile(2))});
    // Another program's import under way is not in the copy.
    RecordArchive writer;
    ASSERT_TRUE(writer.Open(db_));
    ASSERT_TRUE(writer.BeginImport());
    Import(writer, scratch_.Write("c.nmea", FieldFile(3)));
    const std::string copy = scratch_.File("copy.sqlite");
    std::string reason;
    ASSERT_TRUE(archive.Backup(copy, reason)) << reason;
    writer.RollbackImport();
    EXPECT_EQ(Sql(copy, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Sql(copy, "SELECT count(*) FROM records"), "2");
    EXPECT_EQ(Sql(copy, "PRAGMA user_version"), "1");
    RecordArchive restored;
    ASSERT_TRUE(restored.Open(copy));
    EXPECT_EQ(restored.RecordCount(), 2);

    const std::string fifo = scratch_.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(archive.Backup(fifo, reason));
    EXPECT_FALSE(archive.Backup(db_, reason)) << "not over itself";
    EXPECT_EQ(archive.RecordCount(), 2);
}

}  // namespace
