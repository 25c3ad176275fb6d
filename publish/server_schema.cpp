#include "publish/server_schema.h"

#include <cstdlib>
#include <iterator>

#include "publish/pg_session.h"

namespace {

// An arbitrary key of the server's advisory locks: publishers wait for each other's schema work.
constexpr const char* kSchemaLockKey = "7601811500";

// Version 0 → 1. measurements holds one row per record file, the same bytes being the same
// row whoever publishes them: geom is what QGIS draws (a polygon for an area, a line for a
// distance or a drive), track the walked line with each point's time as its M, in seconds
// since 1970 (UTC), where the points carry times.
const char kSchemaVersion1[] = R"sql(
CREATE TABLE varnel_schema (
    version integer PRIMARY KEY,
    applied_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE measurements (
    id bigserial PRIMARY KEY,
    sha256 text NOT NULL UNIQUE CHECK (sha256 ~ '^[0-9a-f]{64}$'),
    file_name text NOT NULL,
    measured_at timestamptz,
    type text NOT NULL,
    area_m2 double precision NOT NULL,
    area_mu double precision NOT NULL,
    curve_m double precision NOT NULL,
    straight_m double precision NOT NULL,
    geodesic_area_m2 double precision NOT NULL,
    geodesic_perimeter_m double precision NOT NULL,
    place text,
    point_count integer NOT NULL,
    file_size bigint NOT NULL,
    file_bytes bytea NOT NULL,
    operator text NOT NULL,
    host text NOT NULL,
    db_user text NOT NULL DEFAULT current_user,
    published_at timestamptz NOT NULL DEFAULT now(),
    geom geometry(Geometry, 4326) NOT NULL,
    track geometry(LineStringM, 4326)
);
CREATE INDEX measurements_geom ON measurements USING gist (geom);
CREATE INDEX measurements_measured_at ON measurements (measured_at);
)sql";

// kMigrations[v] brings a server of version v to v + 1.
const char* const kMigrations[] = {kSchemaVersion1};
static_assert(std::size(kMigrations) == ServerSchemaVersion);

bool SessionFailed(SchemaCheck& check, PgSession& session)
{
    check.problem = SchemaProblem::Session;
    check.detail = session.Detail();
    if (session.IsOpen()) session.Exec("ROLLBACK");
    return false;
}

bool Refuse(SchemaCheck& check, PgSession& session, SchemaProblem problem, std::string detail)
{
    if (session.IsOpen()) session.Exec("ROLLBACK");
    check.problem = problem;
    check.detail = std::move(detail);
    return false;
}

bool ExistsRow(PgSession& session, const char* sql, bool& exists)
{
    PgRows rows;
    if (!session.Exec(sql, {}, &rows)) return false;
    exists = !rows.rows.empty() && !rows.null[0][0] && rows.rows[0][0] == "t";
    return true;
}

}  // namespace

bool EnsureServerSchema(PgSession& session, SchemaCheck& check)
{
    check = SchemaCheck{};
    if (!session.Exec("BEGIN") || !session.Exec("SELECT pg_advisory_xact_lock($1::bigint)", {kSchemaLockKey}))
        return SessionFailed(check, session);

    bool hasPostGis = false;
    if (!ExistsRow(session, "SELECT EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'postgis')", hasPostGis))
        return SessionFailed(check, session);
    if (!hasPostGis) {
        bool available = false;
        if (!ExistsRow(session, "SELECT EXISTS (SELECT 1 FROM pg_available_extensions WHERE name = 'postgis')",
                       available))
            return SessionFailed(check, session);
        if (!available)
            return Refuse(check, session, SchemaProblem::NoPostGis,
                          "the server has no PostGIS extension (postgis) installed");
        if (!session.Exec("CREATE EXTENSION postgis")) {
            if (!session.IsOpen()) return SessionFailed(check, session);
            return Refuse(check, session, SchemaProblem::NoPostGis,
                          "the database has no PostGIS extension (postgis) and it cannot be created here: " +
                              session.Detail());
        }
    }

    bool hasVersions = false, hasMeasurements = false;
    if (!ExistsRow(session, "SELECT to_regclass('varnel_schema') IS NOT NULL", hasVersions) ||
        !ExistsRow(session, "SELECT to_regclass('measurements') IS NOT NULL", hasMeasurements))
        return SessionFailed(check, session);
    int version = 0;
    if (hasVersions) {
        PgRows rows;
        if (!session.Exec("SELECT coalesce(max(version), 0) FROM varnel_schema", {}, &rows))
            return SessionFailed(check, session);
        version = std::atoi(rows.rows.at(0).at(0).c_str());
    } else if (hasMeasurements) {
        return Refuse(check, session, SchemaProblem::ForeignTables,
                      "the database has a table measurements that Varnel did not make (no varnel_schema)");
    }
    check.version = version;
    if (version > ServerSchemaVersion)
        return Refuse(check, session, SchemaProblem::NewerSchema,
                      "the server's schema is version " + std::to_string(version) + ", this program knows up to " +
                          std::to_string(ServerSchemaVersion));
    for (; version < ServerSchemaVersion; ++version) {
        const std::string next = std::to_string(version + 1);
        if (!session.Exec(kMigrations[version]) ||
            !session.Exec("INSERT INTO varnel_schema (version) VALUES ($1::integer)", {next}))
            return SessionFailed(check, session);
    }
    if (!session.Exec("COMMIT")) return SessionFailed(check, session);
    check.version = version;
    return true;
}
