#pragma once
// Publishing records to the shared database of a land office (PostgreSQL + PostGIS), exactly
// once: a record is the SHA-256 of its file's bytes, sent with INSERT … ON CONFLICT (sha256) DO
// NOTHING, one transaction per batch. A batch is on the server whole or not at all; a
// connection lost half-way leaves nothing of that batch, and the next run sends what is missing.
#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "import/record.h"
#include "publish/pg_session.h"

enum class PublishProblem {
    None,
    BadConnectionString,
    CannotConnect,
    NotPostgres,
    NeedsPassword,
    BadPassword,
    Refused,
    Timeout,
    Cancelled,
    Lost,
    NoPostGis,
    NewerSchema,
    ForeignTables,
    Failed,  // the server refused a statement
};

struct PublishSettings {
    std::string conninfo{};       // as libpq takes it: URI or key=value
    std::string password{};       // asked of the user, never kept; "" for the string's, PGPASSWORD or ~/.pgpass
    int timeoutMs = 30000;        // the longest wait for any answer of the server
    int batchSize = 100;          // records per transaction
    std::string operatorName{};   // who publishes; "" for the login name
    std::string host{};           // from where; "" for this machine's name
    const std::atomic<bool>* cancel = nullptr;
};

// One record to publish, with the bytes of its file.
struct PublishEntry {
    const MeasureRecord* record = nullptr;
    std::string bytes;
    std::string sha256;
};

// Reads record's file again for its bytes and hash; false with reason when it cannot be read.
bool MakePublishEntry(const MeasureRecord& record, PublishEntry& entry, std::string& reason);

enum class PublishOutcome { Unsent, New, Known };

struct PublishCounts {
    int sent = 0;   // new on the server
    int known = 0;  // the server had them already
};

class ServerPublisher {
public:
    // Connects and makes sure of the server's schema; false with Problem() and Detail() set.
    bool Open(const PublishSettings& settings);
    void Close();
    bool Connected() const { return m_session.IsOpen(); }

    // Publishes entries in batches; outcomes (one per entry) say what became of each, Unsent
    // for those of a batch that did not commit. progress(done) is called after each record is
    // sent, within its batch. False with Problem() set at the first batch that fails.
    bool Publish(std::span<const PublishEntry> entries, std::vector<PublishOutcome>& outcomes,
                 const std::function<void(int done)>& progress = {});

    // What committed batches did, over every Publish since Open.
    const PublishCounts& Counts() const { return m_counts; }
    PublishProblem Problem() const { return m_problem; }
    const std::string& Detail() const { return m_detail; }
    // user@host of the connection, for messages.
    std::string Where() const;

private:
    bool FromSession();
    bool SendBatch(std::span<const PublishEntry> entries, size_t first, size_t count,
                   std::vector<PublishOutcome>& outcomes, const std::function<void(int)>& progress, int doneBefore);

    PgSession m_session;
    PublishSettings m_settings;
    std::string m_operator, m_host;
    PublishCounts m_counts;
    PublishProblem m_problem = PublishProblem::None;
    std::string m_detail;
};

// English words for a problem, for the converter's messages ("bad password", …).
const char* PublishProblemText(PublishProblem problem);
