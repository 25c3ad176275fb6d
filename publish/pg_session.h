#pragma once
// One connection to a PostgreSQL server through libpq, driven without blocking: every wait for
// the server is bounded by a timeout and can be cancelled from another thread, so a server
// that stalls or a user who gives up never leaves the caller hanging.
#include <atomic>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

// Why a connection or a statement failed.
enum class PgProblem {
    None,
    BadConnectionString,  // the string does not parse as libpq's URI or key=value form
    CannotConnect,        // refused, unknown host, no answer: the server was not reached
    NotPostgres,          // something answered that does not speak PostgreSQL's protocol
    NeedsPassword,        // the server asks for a password and none was given (nor in ~/.pgpass)
    BadPassword,          // the server refused the user and password
    Refused,              // the server refused the connection for another reason (no such database, …)
    Timeout,              // no answer within the timeout
    Cancelled,            // the caller's cancel flag was raised
    Lost,                 // the connection broke
    Statement,            // the server refused a statement (SqlState() says which error)
};

struct PgConnectOptions {
    std::string conninfo{};  // "postgresql://user@host:5432/db" or "host=… dbname=…"
    std::string password{};  // "" to leave it to the string, PGPASSWORD or ~/.pgpass
    int timeoutMs = 30000;   // the longest wait for any answer; the string's connect_timeout overrides it
    const std::atomic<bool>* cancel = nullptr;
};

// A statement's parameter: text (NUL-terminated), bytes sent as they are (a bytea), or NULL.
struct PgParam {
    const char* data = nullptr;  // nullptr: SQL NULL
    int length = -1;             // −1: text; else the length of binary bytes
    PgParam() = default;
    PgParam(const char* text) : data(text) {}
    PgParam(const std::string& text) : data(text.c_str()) {}
    static PgParam Bytes(const std::string& bytes) { PgParam p; p.data = bytes.data(); p.length = int(bytes.size()); return p; }
};

// A statement's result: rows of text values.
struct PgRows {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::vector<bool>> null;
    long long affected = 0;  // rows an INSERT, UPDATE or DELETE touched
};

class PgSession {
public:
    PgSession() = default;
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // Connects; false with Problem() and Detail() set.
    bool Connect(const PgConnectOptions& options);
    void Close();
    bool IsOpen() const { return m_conn != nullptr; }

    // Runs one statement with its parameters ($1, $2, …). False with Problem() set; a broken,
    // stalled or cancelled connection is closed, since its state is no longer known.
    bool Exec(const char* sql, const std::vector<PgParam>& params = {}, PgRows* rows = nullptr);
    // The same for a statement made once with Prepare.
    bool Prepare(const char* name, const char* sql);
    bool ExecPrepared(const char* name, const std::vector<PgParam>& params, PgRows* rows = nullptr);

    PgProblem Problem() const { return m_problem; }
    // The server's or libpq's own words, one line.
    const std::string& Detail() const { return m_detail; }
    // The five-character SQLSTATE of the last refused statement, or "".
    const std::string& SqlState() const { return m_sqlState; }
    // What the connection was made as, for messages.
    std::string User() const;
    std::string Host() const;
    int ServerVersion() const;

private:
    enum class Direction { Read, Write };
    bool WaitSocket(Direction direction);
    bool Send(const char* sqlOrName, bool prepared, const std::vector<PgParam>& params, PgRows* rows);
    bool Finish(bool sent, PgRows* rows);
    bool Fail(PgProblem problem, std::string detail);

    pg_conn* m_conn = nullptr;
    int m_timeoutMs = 30000;
    const std::atomic<bool>* m_cancel = nullptr;
    PgProblem m_problem = PgProblem::None;
    std::string m_detail;
    std::string m_sqlState;
};
