#include "publish/pg_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// libpq's messages end in a line break and may run over several lines; a message wants one.
std::string OneLine(const char* text)
{
    std::string line;
    for (const char* s = text ? text : ""; *s; ++s) {
        if (*s == '\n' || *s == '\r' || *s == '\t' || *s == ' ') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += *s;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

bool Mentions(const std::string& text, const char* words)
{
    return text.find(words) != std::string::npos;
}

}  // namespace

PgSession::~PgSession()
{
    Close();
}

void PgSession::Close()
{
    if (m_conn) PQfinish(m_conn);
    m_conn = nullptr;
}

bool PgSession::Fail(PgProblem problem, std::string detail)
{
    m_problem = problem;
    m_detail = std::move(detail);
    return false;
}

std::string PgSession::User() const
{
    const char* user = m_conn ? PQuser(m_conn) : nullptr;
    return user ? user : "";
}

std::string PgSession::Host() const
{
    const char* host = m_conn ? PQhost(m_conn) : nullptr;
    return host ? host : "";
}

int PgSession::ServerVersion() const
{
    return m_conn ? PQserverVersion(m_conn) : 0;
}

bool PgSession::WaitSocket(Direction direction)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    pollfd fd{PQsocket(m_conn), short(direction == Direction::Read ? POLLIN : POLLIN | POLLOUT), 0};
    if (fd.fd < 0) return Fail(PgProblem::Lost, "the connection has no socket");
    for (;;) {
        if (m_cancel && m_cancel->load()) return Fail(PgProblem::Cancelled, "cancelled");
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Fail(PgProblem::Timeout, "no answer from the server within " + std::to_string(m_timeoutMs / 1000) + " s");
        // Short slices, so that a cancel is seen at once.
        const int ready = ::poll(&fd, 1, int(std::min<long long>(left, 100)));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return Fail(PgProblem::Lost, std::strerror(errno));
    }
}

bool PgSession::Connect(const PgConnectOptions& options)
{
    Close();
    m_problem = PgProblem::None;
    m_detail.clear();
    m_sqlState.clear();
    m_timeoutMs = options.timeoutMs;
    m_cancel = options.cancel;

    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(options.conninfo.c_str(), &error);
    if (parsed == nullptr) {
        const std::string detail = error ? OneLine(error) : "out of memory";
        PQfreemem(error);
        return Fail(PgProblem::BadConnectionString, detail);
    }
    // libpq's connect_timeout (2 s at least, as libpq takes it) bounds every wait here.
    for (const PQconninfoOption* o = parsed; o->keyword; ++o)
        if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val && std::atoi(o->val) > 0)
            m_timeoutMs = std::max(2, std::atoi(o->val)) * 1000;
    PQconninfoFree(parsed);

    // The string is expanded in place of dbname; a password asked for by the caller comes after
    // it, so it overrides one in the string. libpq's connect_timeout does not apply to a
    // connection made without blocking: the timeout here does.
    std::vector<const char*> keys{"dbname", "fallback_application_name", "client_encoding"};
    std::vector<const char*> values{options.conninfo.c_str(), "varnel", "UTF8"};
    if (!options.password.empty()) {
        keys.push_back("password");
        values.push_back(options.password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    m_conn = PQconnectStartParams(keys.data(), values.data(), 1);
    if (m_conn == nullptr) return Fail(PgProblem::CannotConnect, "out of memory");

    PostgresPollingStatusType state = PQstatus(m_conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        if (!WaitSocket(state == PGRES_POLLING_READING ? Direction::Read : Direction::Write)) {
            Close();
            return false;
        }
        state = PQconnectPoll(m_conn);
    }
    if (state == PGRES_POLLING_FAILED) {
        const std::string detail = OneLine(PQerrorMessage(m_conn));
        PgProblem problem = PgProblem::CannotConnect;
        if (PQconnectionNeedsPassword(m_conn)) {
            problem = PgProblem::NeedsPassword;
        } else if (Mentions(detail, "invalid response to SSL negotiation") ||
                   Mentions(detail, "expected authentication request") ||
                   Mentions(detail, "unexpected message from server") ||
                   Mentions(detail, "received invalid response")) {
            problem = PgProblem::NotPostgres;
        } else if (PQconnectionUsedPassword(m_conn) && !Mentions(detail, "does not exist")) {
            problem = PgProblem::BadPassword;
        } else if (Mentions(detail, "FATAL")) {
            problem = PgProblem::Refused;
        }
        Close();
        return Fail(problem, detail);
    }
    // The server's notices (a shutdown's warning, say) are not the program's output.
    PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
    if (PQsetnonblocking(m_conn, 1) != 0) {
        const std::string detail = OneLine(PQerrorMessage(m_conn));
        Close();
        return Fail(PgProblem::Lost, detail);
    }
    return true;
}

bool PgSession::Exec(const char* sql, const std::vector<PgParam>& params, PgRows* rows)
{
    return Send(sql, false, params, rows);
}

bool PgSession::ExecPrepared(const char* name, const std::vector<PgParam>& params, PgRows* rows)
{
    return Send(name, true, params, rows);
}

bool PgSession::Prepare(const char* name, const char* sql)
{
    if (m_conn == nullptr) return Fail(PgProblem::Lost, "not connected");
    m_sqlState.clear();
    // The server infers the parameters' types from the statement.
    return Finish(PQsendPrepare(m_conn, name, sql, 0, nullptr) == 1, nullptr);
}

bool PgSession::Send(const char* sqlOrName, bool prepared, const std::vector<PgParam>& params, PgRows* rows)
{
    if (m_conn == nullptr) return Fail(PgProblem::Lost, "not connected");
    m_sqlState.clear();
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const PgParam& p : params) {
        values.push_back(p.data);
        lengths.push_back(p.length < 0 ? 0 : p.length);
        formats.push_back(p.length < 0 ? 0 : 1);
    }
    const int n = int(params.size());
    // Without parameters, the simple protocol, which takes several statements at once.
    const int sent = !prepared && n == 0 ? PQsendQuery(m_conn, sqlOrName)
                     : prepared ? PQsendQueryPrepared(m_conn, sqlOrName, n, values.data(), lengths.data(), formats.data(), 0)
                              : PQsendQueryParams(m_conn, sqlOrName, n, nullptr, values.data(), lengths.data(),
                                                  formats.data(), 0);
    return Finish(sent == 1, rows);
}

bool PgSession::Finish(bool sent, PgRows* rows)
{
    const auto lost = [this] {
        const std::string detail = OneLine(PQerrorMessage(m_conn));
        Close();
        return Fail(PgProblem::Lost, detail.empty() ? "the connection was lost" : detail);
    };
    if (!sent) return lost();
    // A statement larger than the socket's buffer goes out as the server reads it.
    for (;;) {
        const int flushed = PQflush(m_conn);
        if (flushed == 0) break;
        if (flushed < 0) return lost();
        if (!WaitSocket(Direction::Write)) {
            Close();
            return false;
        }
        if (PQconsumeInput(m_conn) == 0) return lost();
    }
    if (rows) *rows = PgRows{};
    bool refused = false;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (!WaitSocket(Direction::Read)) {
                Close();
                return false;
            }
            if (PQconsumeInput(m_conn) == 0) return lost();
        }
        PGresult* result = PQgetResult(m_conn);
        if (result == nullptr) break;
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_FATAL_ERROR && !refused) {
            refused = true;
            const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
            m_sqlState = state ? state : "";
            m_detail = OneLine(PQresultErrorMessage(result));
        } else if (status == PGRES_TUPLES_OK && rows) {
            const int count = PQntuples(result), fields = PQnfields(result);
            for (int r = 0; r < count; ++r) {
                auto& row = rows->rows.emplace_back();
                auto& null = rows->null.emplace_back();
                for (int f = 0; f < fields; ++f) {
                    row.emplace_back(PQgetvalue(result, r, f));
                    null.push_back(PQgetisnull(result, r, f) == 1);
                }
            }
        } else if (status == PGRES_COMMAND_OK && rows) {
            rows->affected = std::atoll(PQcmdTuples(result));
        }
        PQclear(result);
    }
    // An administrator's shutdown or a broken link is a lost connection, not a refused statement.
    if (PQstatus(m_conn) == CONNECTION_BAD || m_sqlState.starts_with("57P") || m_sqlState.starts_with("08")) {
        std::string detail = m_detail.empty() ? OneLine(PQerrorMessage(m_conn)) : m_detail;
        Close();
        return Fail(PgProblem::Lost, detail.empty() ? "the connection was lost" : detail);
    }
    if (refused) {
        m_problem = PgProblem::Statement;
        return false;
    }
    return true;
}
