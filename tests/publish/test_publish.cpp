// Publishing to a real PostgreSQL + PostGIS server, started for these tests: exactly once, under
// concurrency and a server that goes away, and every way a server can be the wrong one.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "import/loader.h"
#include "import/record_geodesy.h"
#include "publish/pg_session.h"
#include "publish/record_identity.h"
#include "publish/server_publisher.h"
#include "tests/support/pgtestserver.h"
#include "tests/support/testsupport.h"

namespace {

PgTestServer* server = nullptr;

class ServerEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        std::string why;
        if (!PgTestServer::Installed(&why)) return;  // each test skips, saying why
        m_server = std::make_unique<PgTestServer>();
        ASSERT_TRUE(m_server->Start()) << m_server->Error();
        server = m_server.get();
    }
    void TearDown() override
    {
        server = nullptr;
        m_server.reset();
    }

private:
    std::unique_ptr<PgTestServer> m_server;
};

const auto* const environment = testing::AddGlobalTestEnvironment(new ServerEnvironment);

// One value of a query on database as the superuser, or "<error …>".
std::string Query(const std::string& database, const std::string& sql)
{
    PgSession session;
    if (!session.Connect({server->ConnInfo(database)})) return "<error " + session.Detail() + ">";
    PgRows rows;
    if (!session.Exec(sql.c_str(), {}, &rows)) return "<error " + session.Detail() + ">";
    if (rows.rows.empty() || rows.rows[0].empty()) return "";
    return rows.null[0][0] ? "<null>" : rows.rows[0][0];
}

class Publishing : public testing::Test {
protected:
    void SetUp() override
    {
        if (server == nullptr) {
            std::string why;
            PgTestServer::Installed(&why);
            GTEST_SKIP() << "PostgreSQL cannot run here: " << why;
        }
        static int next = 0;
        char name[48];
        std::snprintf(name, sizeof name, "t%d_%d", int(::getpid()), ++next);
        database_ = name;
        ASSERT_EQ(Query("postgres", "CREATE DATABASE " + database_), "");
    }

    std::string Conn() const { return server->ConnInfo(database_); }
    std::string Count() const { return Query(database_, "SELECT count(*) FROM measurements"); }

    // Writes fields [from, to) into folder (made when missing); returns the folder.
    std::string WriteFields(const std::string& folder, int from, int to)
    {
        std::filesystem::create_directories(scratch_.File(folder));
        for (int n = from; n < to; ++n) scratch_.Write(folder + "/" + SmallFieldName(n), SmallFieldText(n));
        return scratch_.File(folder);
    }

    // Loads every record file of folder, in name order.
    std::vector<std::unique_ptr<MeasureRecord>> Load(const std::string& folder)
    {
        std::vector<std::unique_ptr<MeasureRecord>> records;
        for (const std::string& name : FolderEntries(folder)) {
            auto record = std::make_unique<MeasureRecord>();
            if (LoadRecordFile((folder + "/" + name).c_str(), *record) == 0) records.push_back(std::move(record));
        }
        return records;
    }

    static std::vector<PublishEntry> Entries(const std::vector<std::unique_ptr<MeasureRecord>>& records)
    {
        std::vector<PublishEntry> entries(records.size());
        std::string reason;
        for (size_t i = 0; i < records.size(); ++i) EXPECT_TRUE(MakePublishEntry(*records[i], entries[i], reason)) << reason;
        return entries;
    }

    struct Run {
        int status;
        std::string out, err;
    };
    Run Convert(const std::string& args, const std::string& tag = "run")
    {
        const std::string out = scratch_.File(tag + ".out"), err = scratch_.File(tag + ".err");
        const int status = std::system((std::string(VARNEL_CONVERT) + " " + args + " >" + out + " 2>" + err).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
    }

    const ScratchFolder scratch_{"varnel-publish"};
    std::string database_;
};

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

TEST_F(Publishing, TwoHundredRecordsOnceAndNothingTwice)
{
    const std::string folder = WriteFields("fields", 0, 200);
    Run run = Convert("--publish " + Quoted(Conn()) + " " + folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "published 200 records to varnel@127.0.0.1, 0 already on the server\n");
    EXPECT_EQ(Count(), "200");

    run = Convert("--publish " + Quoted(Conn()) + " " + folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "published 0 records to varnel@127.0.0.1, 200 already on the server\n");
    EXPECT_EQ(Count(), "200");

    // What a land office's GIS reads: the file's own bytes and hash, an area as a polygon in
    // WGS-84, its track with the points' times, who published it.
    const std::string file = folder + "/" + SmallFieldName(7);
    const std::string bytes = ReadWholeFile(file);
    const std::string row = "FROM measurements WHERE sha256 = '" + Sha256Hex(bytes) + "'";
    EXPECT_EQ(Query(database_, "SELECT file_name " + row), SmallFieldName(7));
    EXPECT_EQ(Query(database_, "SELECT encode(sha256(file_bytes), 'hex') " + row), Sha256Hex(bytes));
    EXPECT_EQ(Query(database_, "SELECT GeometryType(geom) || ' ' || ST_SRID(geom) || ' ' || ST_NPoints(geom) " + row),
              "POLYGON 4326 13");
    EXPECT_EQ(Query(database_, "SELECT GeometryType(track) || ' ' || ST_NPoints(track) " + row), "LINESTRINGM 12");
    EXPECT_EQ(Query(database_, "SELECT ST_M(ST_PointN(track, 2)) - ST_M(ST_PointN(track, 1)) " + row), "1");
    // The name says 10:20:30; field 7 starts at 10:27:00.
    EXPECT_EQ(Query(database_, "SELECT ST_M(ST_StartPoint(track)) - extract(epoch FROM measured_at) " + row), "390");
    EXPECT_EQ(Query(database_, "SELECT count(DISTINCT host) || ' ' || min(db_user) FROM measurements"), "1 varnel");
}

TEST_F(Publishing, FourConvertersWithOverlappingSetsAtOnce)
{
    // Publisher k sends fields [50k, 50k + 150): 300 fields in all, most of them sent by two or three.
    std::vector<std::string> folders;
    for (int k = 0; k < 4; ++k)
        folders.push_back(WriteFields("set" + std::to_string(k), 50 * k, 50 * k + 150));
    std::vector<Run> runs(4);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&, k] {
            runs[size_t(k)] = Convert("--publish " + Quoted(Conn()) + " " + folders[size_t(k)], "set" + std::to_string(k));
        });
    for (auto& t : threads) t.join();
    int sent = 0, known = 0;
    for (const Run& run : runs) {
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        int s = -1, k = -1;
        ASSERT_EQ(std::sscanf(run.out.c_str(), "published %d records to varnel@127.0.0.1, %d already", &s, &k), 2)
            << run.out;
        sent += s, known += k;
    }
    EXPECT_EQ(sent, 300);
    EXPECT_EQ(known, 300);
    EXPECT_EQ(Count(), "300");
    EXPECT_EQ(Query(database_, "SELECT count(DISTINCT sha256) FROM measurements"), "300");
    EXPECT_EQ(Query(database_, "SELECT count(*) FROM varnel_schema"), "1");
}

TEST_F(Publishing, ServerGoneMidBatchLeavesWholeBatchesAndTheRerunCompletes)
{
    const auto records = Load(WriteFields("fields", 0, 200));
    const auto entries = Entries(records);
    PublishSettings settings{.conninfo = Conn(), .timeoutMs = 10000, .batchSize = 50};
    {
        ServerPublisher publisher;
        ASSERT_TRUE(publisher.Open(settings)) << publisher.Detail();
        std::vector<PublishOutcome> outcomes;
        // Twenty records into the second batch, the server goes away without a goodbye.
        const bool done = publisher.Publish(entries, outcomes, [](int sent) {
            if (sent == 70) {
                ASSERT_TRUE(server->Stop(true)) << server->Error();
            }
        });
        EXPECT_FALSE(done);
        EXPECT_EQ(publisher.Problem(), PublishProblem::Lost) << publisher.Detail();
        EXPECT_EQ(publisher.Counts().sent, 50);
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), PublishOutcome::New), 50);
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), PublishOutcome::Unsent), 150);
    }
    ASSERT_TRUE(server->Restart()) << server->Error();
    EXPECT_EQ(Count(), "50");

    ServerPublisher publisher;
    ASSERT_TRUE(publisher.Open(settings)) << publisher.Detail();
    std::vector<PublishOutcome> outcomes;
    ASSERT_TRUE(publisher.Publish(entries, outcomes)) << publisher.Detail();
    EXPECT_EQ(publisher.Counts().sent, 150);
    EXPECT_EQ(publisher.Counts().known, 50);
    EXPECT_EQ(Count(), "200");
}

TEST_F(Publishing, CancelLeavesNothingOfTheBatch)
{
    const auto records = Load(WriteFields("fields", 0, 40));
    std::atomic<bool> cancel = false;
    ServerPublisher publisher;
    ASSERT_TRUE(publisher.Open({.conninfo = Conn(), .batchSize = 100, .cancel = &cancel})) << publisher.Detail();
    std::vector<PublishOutcome> outcomes;
    EXPECT_FALSE(publisher.Publish(Entries(records), outcomes, [&](int sent) { cancel = sent == 25; }));
    EXPECT_EQ(publisher.Problem(), PublishProblem::Cancelled);
    EXPECT_EQ(Count(), "0");
}

TEST_F(Publishing, NamesAreStoredAsTextWhateverTheyHold)
{
    const std::string hostile = "x'); DROP TABLE measurements; --.nmea";
    std::filesystem::create_directories(scratch_.File("names"));
    scratch_.Write("names/" + hostile, SmallFieldText(1));
    scratch_.Write("names/\xB5\xD8\xBF\xE9 1.nmea", SmallFieldText(2));  // 地块 in GBK, as the instrument names
    const Run run = Convert("--publish " + Quoted(Conn()) + " " + scratch_.File("names"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(), "2");
    EXPECT_EQ(Query(database_, "SELECT string_agg(file_name, '|' ORDER BY file_name) FROM measurements"),
              hostile + "|\xE5\x9C\xB0\xE5\x9D\x97 1.nmea");
}

TEST_F(Publishing, EveryRecordHasAShapeTheServerTakes)
{
    const char dated[] = "2026-04-11,10:20:0%d,22.50%d0000,113.90%d0000\r\n";
    const auto points = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, dated, i, i % 2, i / 2);
            text += line;
        }
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        const char* shape;  // geom's type, then track's or <null>
    } cases[] = {
        {"one.nmea", points(1), "POINT <null>"},
        {"two.nmea", points(2), "LINESTRING LINESTRINGM"},
        {"three.nmea", points(3), "POLYGON LINESTRINGM"},
        {"walk DISTANCE.nmea", points(4), "LINESTRING LINESTRINGM"},
        {"numbered.nmea", "00000000000001,22.5431234,113.912345\r\n00000000000002,22.5441234,113.912345\r\n"
                          "00000000000003,22.5441234,113.913345\r\n", "POLYGON <null>"},
    };
    std::filesystem::create_directories(scratch_.File("shapes"));
    for (const auto& c : cases) scratch_.Write(std::string("shapes/") + c.name, c.text);
    const Run run = Convert("--publish " + Quoted(Conn()) + " " + scratch_.File("shapes"));
    ASSERT_EQ(run.status, 0) << run.err;
    for (const auto& c : cases)
        EXPECT_EQ(Query(database_, "SELECT GeometryType(geom) || ' ' || coalesce(GeometryType(track), '<null>') "
                                   "FROM measurements WHERE file_name = '" + std::string(c.name) + "'"),
                  c.shape)
            << c.name;
}

TEST_F(Publishing, ServerAreaAgreesWithTheRecordsGeodesicArea)
{
    const auto records = Load(VARNEL_SAMPLES);
    ASSERT_GE(records.size(), 4u);
    const auto entries = Entries(records);
    ServerPublisher publisher;
    ASSERT_TRUE(publisher.Open({.conninfo = Conn()})) << publisher.Detail();
    std::vector<PublishOutcome> outcomes;
    ASSERT_TRUE(publisher.Publish(entries, outcomes)) << publisher.Detail();
    for (size_t i = 0; i < records.size(); ++i) {
        // A line's area is that of the ring closed back to its start, as the record's own.
        const std::string onServer = Query(database_,
            "SELECT ST_Area((CASE WHEN GeometryType(geom) = 'POLYGON' THEN geom "
            "ELSE ST_MakePolygon(ST_AddPoint(geom, ST_StartPoint(geom))) END)::geography) "
            "FROM measurements WHERE sha256 = '" + entries[i].sha256 + "'");
        // PostGIS and GeographicLib agree to about 1e-9 of the area; one part in a million is the bound.
        const double expected = RecordGeodesic(*records[i]).geodesicArea;
        EXPECT_NEAR(std::atof(onServer.c_str()), expected, 1e-6 * expected) << records[i]->path << ": " << onServer;
    }
}

TEST_F(Publishing, WrongServersAreRefusedWithTheirReason)
{
    // A database without PostGIS, for a clerk who may not create it; one whose tables a newer
    // version made; one whose measurements table is someone else's.
    Query(database_, "CREATE ROLE clerk LOGIN PASSWORD 'clerk'");
    const std::string newer = database_ + "_newer", foreign = database_ + "_foreign";
    Query("postgres", "CREATE DATABASE " + newer);
    Query(newer, "CREATE TABLE varnel_schema (version integer PRIMARY KEY); INSERT INTO varnel_schema VALUES (99)");
    Query("postgres", "CREATE DATABASE " + foreign);
    Query(foreign, "CREATE TABLE measurements (id integer)");

    const FakePgPort web(FakePgPort::Answer::Web), silent(FakePgPort::Answer::Nothing);
    const struct {
        std::string conn;
        PublishProblem problem;
        const char* words;  // in the detail
    } cases[] = {
        {server->ConnInfo(database_, "varnel", "wrong"), PublishProblem::BadPassword, "password"},
        {server->ConnInfo(database_, "varnel", ""), PublishProblem::NeedsPassword, "password"},
        {server->ConnInfo(database_, "clerk", "clerk"), PublishProblem::NoPostGis, "(postgis)"},
        {server->ConnInfo(newer), PublishProblem::NewerSchema, "version 99"},
        {server->ConnInfo(foreign), PublishProblem::ForeignTables, "measurements"},
        {server->ConnInfo("nosuchdb"), PublishProblem::Refused, "nosuchdb"},
        {"port=" + std::to_string(server->Port()) + " host=127.0.0.1 sslmode=disable dbname=" + database_ + " user=varnel password=x' y",
         PublishProblem::BadConnectionString, ""},
        {web.ConnInfo(), PublishProblem::NotPostgres, ""},
        {silent.ConnInfo(), PublishProblem::Timeout, "2 s"},
    };
    ::setenv("PGPASSFILE", "/nonexistent", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.conn);
        ServerPublisher publisher;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(publisher.Open({.conninfo = c.conn, .timeoutMs = 5000}));
        EXPECT_EQ(int(publisher.Problem()), int(c.problem)) << publisher.Detail();
        EXPECT_NE(publisher.Detail().find(c.words), std::string::npos) << publisher.Detail();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    // Refused means untouched: no table made beside the newer schema or the foreign table.
    EXPECT_EQ(Query(newer, "SELECT to_regclass('measurements') IS NULL"), "t");
    EXPECT_EQ(Query(foreign, "SELECT to_regclass('varnel_schema') IS NULL"), "t");
    EXPECT_EQ(Query(newer, "SELECT count(*) FROM pg_extension WHERE extname = 'postgis'"), "0");
}

TEST_F(Publishing, ConverterSaysWhatWentWrongAndExitsOne)
{
    scratch_.Write("one/" + SmallFieldName(1), SmallFieldText(1));
    const std::string folder = scratch_.File("one");
    Run run = Convert("--publish " + Quoted(server->ConnInfo(database_, "varnel", "wrong")) + " " + folder + " </dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("varnel-convert: --publish: the user name or password was refused: "), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("wrong"), std::string::npos) << "the password is never echoed";

    run = Convert("--publish 'host=127.0.0.1 port' " + folder);
    EXPECT_EQ(run.status, 2) << run.err;
    run = Convert("--publish " + Quoted(Conn()) + " --json " + folder);
    EXPECT_EQ(run.status, 2) << run.err;
}

}  // namespace
