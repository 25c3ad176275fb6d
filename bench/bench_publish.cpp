// Publishing to a shared PostGIS database on a throw-away local cluster (commits synced to disk,
// as on a real server): 10 000 records from one publisher, and 4 publishers × 10 000 at once
// over overlapping sets, as the converter does it (records loaded from their files in runs of a
// record table, hashed, sent in batches). The baseline is the same loading and hashing without a
// server, in the same run: the publishing's own cost is the difference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "import/folder_import.h"
#include "publish/pg_session.h"
#include "publish/server_publisher.h"
#include "tests/support/pgtestserver.h"
#include "tests/support/testsupport.h"

namespace {

constexpr int kPerPublisher = 10000;
constexpr int kPublishers = 4;
constexpr int kOverlap = kPerPublisher / 2;  // publisher k sends fields [k·5000, k·5000 + 10 000)
constexpr int kFields = kOverlap * (kPublishers - 1) + kPerPublisher;

struct Setting {
    PgTestServer server;
    ScratchFolder folder{"varnel-bench-publish"};
    std::vector<std::string> paths;
    bool ready = false;
    int databases = 0;

    Setting()
    {
        std::string why;
        if (!PgTestServer::Installed(&why) || !server.Start(true)) return;
        for (int n = 0; n < kFields; ++n) paths.push_back(folder.Write(SmallFieldName(n), SmallFieldText(n)));
        ready = true;
    }

    // A fresh, empty database's connection string.
    std::string NewDatabase()
    {
        const std::string name = "bench" + std::to_string(++databases);
        PgSession admin;
        if (!admin.Connect({server.ConnInfo("postgres")}) || !admin.Exec(("CREATE DATABASE " + name).c_str())) return "";
        return server.ConnInfo(name);
    }

    long long Rows(const std::string& conn)
    {
        PgSession session;
        PgRows rows;
        if (!session.Connect({conn}) || !session.Exec("SELECT count(*) FROM measurements", {}, &rows)) return -1;
        return std::atoll(rows.rows.at(0).at(0).c_str());
    }
};

Setting& TheSetting()
{
    static Setting setting;
    return setting;
}

// Loads paths [first, first + count) run by run of a record table, hashing each file; with a
// publisher, sends each run. False when anything failed.
bool LoadAndPublish(const std::vector<std::string>& all, int first, int count, ServerPublisher* publisher)
{
    auto table = std::make_unique<RecordTable>();
    std::vector<std::string> rest(all.begin() + first, all.begin() + first + count);
    while (!rest.empty()) {
        const FolderImportResult run = ImportRecordFiles(rest, *table, nullptr, 1);
        std::vector<PublishEntry> entries(size_t(table->count));
        std::string reason;
        for (int i = 0; i < table->count; ++i)
            if (!MakePublishEntry(table->records[i], entries[size_t(i)], reason)) return false;
        std::vector<PublishOutcome> outcomes;
        if (publisher && !publisher->Publish(entries, outcomes)) return false;
        rest.erase(rest.begin(), rest.begin() + run.filesDone);
    }
    return true;
}

void BM_LoadAndHashOnly(benchmark::State& state)
{
    Setting& s = TheSetting();
    if (!s.ready) return state.SkipWithError("PostgreSQL cannot run here");
    for (auto _ : state)
        if (!LoadAndPublish(s.paths, 0, kPerPublisher, nullptr)) return state.SkipWithError("a file did not load");
    state.counters["records/s"] = benchmark::Counter(double(kPerPublisher), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PublishOne(benchmark::State& state)
{
    Setting& s = TheSetting();
    if (!s.ready) return state.SkipWithError("PostgreSQL cannot run here");
    std::string conn;
    for (auto _ : state) {
        state.PauseTiming();
        conn = s.NewDatabase();
        state.ResumeTiming();
        ServerPublisher publisher;
        if (!publisher.Open({.conninfo = conn}) || !LoadAndPublish(s.paths, 0, kPerPublisher, &publisher))
            return state.SkipWithError(publisher.Detail().c_str());
    }
    state.counters["records/s"] = benchmark::Counter(double(kPerPublisher), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["server_rows"] = double(s.Rows(conn));
}

void BM_PublishFourAtOnce(benchmark::State& state)
{
    Setting& s = TheSetting();
    if (!s.ready) return state.SkipWithError("PostgreSQL cannot run here");
    std::string conn;
    for (auto _ : state) {
        state.PauseTiming();
        conn = s.NewDatabase();
        state.ResumeTiming();
        std::vector<std::thread> threads;
        std::vector<int> ok(kPublishers, 0);
        std::vector<std::string> why(kPublishers);
        for (int k = 0; k < kPublishers; ++k)
            threads.emplace_back([&, k] {
                ServerPublisher publisher;
                ok[size_t(k)] = publisher.Open({.conninfo = conn}) &&
                                LoadAndPublish(s.paths, k * kOverlap, kPerPublisher, &publisher);
                why[size_t(k)] = publisher.Detail();
            });
        for (auto& t : threads) t.join();
        for (int k = 0; k < kPublishers; ++k)
            if (!ok[size_t(k)]) return state.SkipWithError(why[size_t(k)].c_str());
    }
    // Records sent by all four, of which kFields distinct ones end on the server.
    state.counters["records/s"] =
        benchmark::Counter(double(kPublishers * kPerPublisher), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["server_rows"] = double(s.Rows(conn));
}

}  // namespace

BENCHMARK(BM_LoadAndHashOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PublishOne)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PublishFourAtOnce)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_MAIN();
