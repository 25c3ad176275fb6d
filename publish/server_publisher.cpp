#include "publish/server_publisher.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <numeric>

#include "import/name_text.h"
#include "import/record_geodesy.h"
#include "import/record_labels.h"
#include "import/recordplace.h"
#include "publish/publish_geometry.h"
#include "publish/record_identity.h"
#include "publish/server_schema.h"

namespace {

const char kInsert[] =
    "INSERT INTO measurements (sha256, file_name, measured_at, type, area_m2, area_mu, curve_m, straight_m, "
    "geodesic_area_m2, geodesic_perimeter_m, place, point_count, file_size, file_bytes, operator, host, geom, track) "
    "VALUES ($1, $2, $3::timestamptz, $4, $5::float8, $6::float8, $7::float8, $8::float8, $9::float8, $10::float8, "
    "$11, $12::integer, $13::bigint, $14::bytea, $15, $16, ST_GeomFromText($17, 4326), ST_GeomFromText($18, 4326)) "
    "ON CONFLICT (sha256) DO NOTHING RETURNING id";

// A batch that lost a race for a row's lock to another publisher's batch is sent again.
constexpr int kBatchAttempts = 3;

std::string Number(double v)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::string LoginName()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER")) return user;
    return "unknown";
}

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
    return name;
}

PublishProblem FromPg(PgProblem problem)
{
    switch (problem) {
    case PgProblem::None: return PublishProblem::None;
    case PgProblem::BadConnectionString: return PublishProblem::BadConnectionString;
    case PgProblem::CannotConnect: return PublishProblem::CannotConnect;
    case PgProblem::NotPostgres: return PublishProblem::NotPostgres;
    case PgProblem::NeedsPassword: return PublishProblem::NeedsPassword;
    case PgProblem::BadPassword: return PublishProblem::BadPassword;
    case PgProblem::Refused: return PublishProblem::Refused;
    case PgProblem::Timeout: return PublishProblem::Timeout;
    case PgProblem::Cancelled: return PublishProblem::Cancelled;
    case PgProblem::Lost: return PublishProblem::Lost;
    case PgProblem::Statement: return PublishProblem::Failed;
    }
    return PublishProblem::Failed;
}

}  // namespace

bool MakePublishEntry(const MeasureRecord& record, PublishEntry& entry, std::string& reason)
{
    entry.record = &record;
    if (!ReadRecordFileBytes(record.path, entry.bytes)) {
        reason = std::string("cannot be read again: ") + std::strerror(errno);
        return false;
    }
    entry.sha256 = Sha256Hex(entry.bytes);
    return true;
}

const char* PublishProblemText(PublishProblem problem)
{
    switch (problem) {
    case PublishProblem::None: return "no problem";
    case PublishProblem::BadConnectionString: return "not a connection string";
    case PublishProblem::CannotConnect: return "cannot connect";
    case PublishProblem::NotPostgres: return "not a PostgreSQL server";
    case PublishProblem::NeedsPassword: return "the server asks for a password";
    case PublishProblem::BadPassword: return "the user name or password was refused";
    case PublishProblem::Refused: return "the server refused the connection";
    case PublishProblem::Timeout: return "the server stopped answering";
    case PublishProblem::Cancelled: return "cancelled";
    case PublishProblem::Lost: return "the connection was lost";
    case PublishProblem::NoPostGis: return "PostGIS is missing";
    case PublishProblem::NewerSchema: return "the server's tables are of a newer version";
    case PublishProblem::ForeignTables: return "the database holds tables of another program";
    case PublishProblem::Failed: return "the server refused a statement";
    }
    return "failed";
}

bool ServerPublisher::FromSession()
{
    m_problem = FromPg(m_session.Problem());
    m_detail = m_session.Detail();
    return false;
}

void ServerPublisher::Close()
{
    m_session.Close();
}

std::string ServerPublisher::Where() const
{
    return m_session.User() + "@" + m_session.Host();
}

bool ServerPublisher::Open(const PublishSettings& settings)
{
    m_settings = settings;
    m_settings.password.clear();  // used for the connection only
    m_counts = {};
    m_problem = PublishProblem::None;
    m_detail.clear();
    m_operator = NameText(settings.operatorName.empty() ? LoginName() : settings.operatorName);
    m_host = NameText(settings.host.empty() ? HostName() : settings.host);
    PgConnectOptions options{settings.conninfo, settings.password, settings.timeoutMs, settings.cancel};
    const bool connected = m_session.Connect(options);
    std::fill(options.password.begin(), options.password.end(), '\0');
    if (!connected) return FromSession();
    SchemaCheck check;
    if (!EnsureServerSchema(m_session, check)) {
        switch (check.problem) {
        case SchemaProblem::NoPostGis: m_problem = PublishProblem::NoPostGis; break;
        case SchemaProblem::NewerSchema: m_problem = PublishProblem::NewerSchema; break;
        case SchemaProblem::ForeignTables: m_problem = PublishProblem::ForeignTables; break;
        case SchemaProblem::Session:
        case SchemaProblem::None: FromSession(); break;
        }
        m_detail = check.detail;
        m_session.Close();
        return false;
    }
    if (!m_session.Prepare("varnel_insert", kInsert)) {
        FromSession();
        m_session.Close();
        return false;
    }
    return true;
}

bool ServerPublisher::Publish(std::span<const PublishEntry> entries, std::vector<PublishOutcome>& outcomes,
                              const std::function<void(int)>& progress)
{
    outcomes.assign(entries.size(), PublishOutcome::Unsent);
    if (!m_session.IsOpen()) {
        m_problem = PublishProblem::Lost;
        m_detail = "not connected";
        return false;
    }
    const size_t batch = size_t(std::max(1, m_settings.batchSize));
    for (size_t first = 0; first < entries.size(); first += batch) {
        const size_t count = std::min(batch, entries.size() - first);
        if (!SendBatch(entries, first, count, outcomes, progress, int(first))) return false;
    }
    return true;
}

bool ServerPublisher::SendBatch(std::span<const PublishEntry> entries, size_t first, size_t count,
                                std::vector<PublishOutcome>& outcomes, const std::function<void(int)>& progress,
                                int doneBefore)
{
    // Every batch takes its rows' locks in the order of their hashes, so that publishers sending
    // overlapping sets at once never wait for each other in a circle.
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), first);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].sha256 < entries[b].sha256; });

    for (int attempt = 1;; ++attempt) {
        std::vector<PublishOutcome> batch(count, PublishOutcome::Unsent);
        bool ok = m_session.Exec("BEGIN");
        for (size_t k = 0; ok && k < order.size(); ++k) {
            const size_t i = order[k];
            const PublishEntry& entry = entries[i];
            if (k > 0 && entry.sha256 == entries[order[k - 1]].sha256) {
                batch[i - first] = PublishOutcome::Known;  // the same file twice in one run
            } else {
                const MeasureRecord& r = *entry.record;
                const RecordGeodesicFigures geodesic = RecordGeodesic(r);
                char place[256];
                const bool hasPlace = FormatRecordPlace(r, place, sizeof place) == 0;
                const std::string name = NameText(RecordFileName(r.path));
                const std::string time = RecordTimeText(r);
                const std::string geom = RecordGeometryWkt(r);
                const std::string track = RecordTrackWkt(r);
                const std::string values[] = {Number(r.area),          Number(r.areaMu),
                                              Number(r.curveLength),   Number(r.straightLength),
                                              Number(geodesic.geodesicArea), Number(geodesic.geodesicPerimeter),
                                              std::to_string(r.pointCount), std::to_string(entry.bytes.size())};
                const std::vector<PgParam> params = {
                    entry.sha256, name, time.empty() ? PgParam() : PgParam(time), MeasureTypeName(r.type),
                    values[0], values[1], values[2], values[3], values[4], values[5],
                    hasPlace ? PgParam(place) : PgParam(), values[6], values[7], PgParam::Bytes(entry.bytes),
                    m_operator, m_host, geom, track.empty() ? PgParam() : PgParam(track)};
                PgRows rows;
                ok = m_session.ExecPrepared("varnel_insert", params, &rows);
                if (ok) batch[i - first] = rows.rows.empty() ? PublishOutcome::Known : PublishOutcome::New;
            }
            if (ok && progress) progress(doneBefore + int(k) + 1);
        }
        if (ok) ok = m_session.Exec("COMMIT");
        if (ok) {
            for (size_t k = 0; k < count; ++k) {
                outcomes[first + k] = batch[k];
                (batch[k] == PublishOutcome::New ? m_counts.sent : m_counts.known)++;
            }
            return true;
        }
        const std::string state = m_session.SqlState();
        const PgProblem problem = m_session.Problem();
        const std::string detail = m_session.Detail();
        const bool lostRace = state == "40P01" || state == "40001";
        if (m_session.IsOpen()) m_session.Exec("ROLLBACK");
        if (lostRace && attempt < kBatchAttempts && m_session.IsOpen()) continue;
        m_problem = FromPg(problem);
        m_detail = problem == PgProblem::Statement ? state + " " + detail : detail;
        return false;
    }
}
