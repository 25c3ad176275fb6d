#pragma once
// The tables Varnel keeps on a shared PostgreSQL + PostGIS server, made when missing and
// versioned in varnel_schema (one row per version applied). A server of a newer version is
// refused before anything is written; an older one is brought up to date one version at a time.
#include <string>

class PgSession;

inline constexpr int ServerSchemaVersion = 1;

enum class SchemaProblem {
    None,
    NoPostGis,      // the extension is not installed on the server, or may not be created here
    NewerSchema,    // made by a newer version of the program
    ForeignTables,  // a measurements table that is not Varnel's
    Session,        // the connection or a statement failed: the session's Problem() says why
};

struct SchemaCheck {
    SchemaProblem problem = SchemaProblem::None;
    int version = 0;       // the server's schema version, once read
    std::string detail;    // what was missing or refused, in the server's words where it gave any
};

// Checks the server's schema, making or migrating it as needed, in one transaction under an
// advisory lock, so that publishers starting at once make it once. False with check set.
bool EnsureServerSchema(PgSession& session, SchemaCheck& check);
