// dl_engine.h -- the boundary inside db2lite between the SQL engine (what a
// DB2 statement means on SQLite: translation, catalogue, users and privileges,
// DB2 functions, error mapping) and the CLI (handles, connections,
// transactions, cursors, binding, fetching, diagnostics).
//
// The CLI never interprets SQL text itself: it hands every statement text to
// dl_translate and runs the plan it gets back. The engine never keeps
// connection state of its own: everything it needs of the session comes in a
// DlSession, and everything it needs of the database comes through the sqlite3
// handle it is given (the catalogue lives in the same file as the data).
//
// Rules both sides keep:
//  1. One SQLite file per database; every schema in that file; an object
//     SCHEMA.NAME is the SQLite object "SCHEMA.NAME" (quoted, upper case).
//  2. db2lite's own catalogue tables are named "DL_..." in the SQLite file and
//     are created by dl_catalog_init; the SYSCAT views answer from them.
//  3. A plan's statements run in order, inside the caller's unit of work:
//     pre, then main (the one that takes parameters and yields rows), then
//     post. If any fails the CLI rolls back to before pre (a savepoint), so a
//     statement's catalogue changes and its effect stand or fall together.
//  4. Every SQLite failure is turned into a DB2 diagnostic by dl_map_error,
//     never by the CLI on its own.
#ifndef DL_ENGINE_H
#define DL_ENGINE_H

#include <sqlite3.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace dl {

struct DlSessionState;  // the engine's per-session cache (privileges, registers)

// One diagnostic record as DB2 reports it.
struct DlDiag {
  std::string sqlstate;  // five characters, "00000" when clear
  int32_t native = 0;    // SQLCODE: negative error, positive warning
  std::string text;      // DB2-style message text naming the object
};

// What the engine needs to know of the session a statement runs in.
struct DlSession {
  std::string user;                        // authorization id, upper case
  std::string schema;                      // CURRENT SCHEMA, upper case
  std::vector<std::string> function_path;  // CURRENT FUNCTION PATH
  std::string database;                    // database name, upper case
  // Owned by the engine: created by dl_connection_setup and shared by every
  // connection set up with this session (read and write connections alike),
  // so that privileges looked up while translating are seen by the
  // authorizer of whichever connection prepares the statement.
  mutable std::shared_ptr<DlSessionState> state;
};

enum class DlKind {
  Query,            // yields rows (SELECT, VALUES, WITH ...)
  Dml,              // INSERT, UPDATE, DELETE (row count; 0 rows -> SQL_NO_DATA)
  PositionedDml,    // UPDATE/DELETE ... WHERE CURRENT OF cursor
  Ddl,              // CREATE/DROP/ALTER/COMMENT ..., GRANT, REVOKE
  LockTable,        // LOCK TABLE: takes the write lock
  SetRegister,      // SET CURRENT FUNCTION PATH / SET SCHEMA ...
  Call,             // CALL proc(...)
  Commit,           // COMMIT [WORK]
  Rollback,         // ROLLBACK [WORK]
};

// The translation of one DB2 statement text.
struct DlPlan {
  DlKind kind = DlKind::Query;
  std::vector<std::string> pre;   // run first (catalogue upkeep, helper objects)
  std::string main;               // the statement that binds the '?' parameters
  std::vector<std::string> post;  // run after main succeeded
  int nparams = 0;                // '?' markers in main, in order
  bool writes = false;            // needs the write connection and the write lock
  std::string target;             // "SCHEMA.NAME" written or locked, when any
  std::string cursor;             // PositionedDml: the cursor named by CURRENT OF
  // SetRegister: the new session values (empty when unchanged).
  std::string set_schema;
  std::vector<std::string> set_function_path;
  // Call: the procedure as written (schema-qualified or "lib!entry") and the
  // argument texts ("?" for a parameter marker).
  std::string call_name;
  std::vector<std::string> call_args;
  // Query: DB2's names for the result columns ("1", "2", ... for unnamed
  // expressions), one per column; empty when the engine left them to SQLite.
  std::vector<std::string> column_names;
  bool for_update = false;        // Query: SELECT ... FOR UPDATE (positioned DML follows)
  // Query with for_update: the last result column ("DL_ROWID") is the
  // row's SQLite rowid, which the CLI keeps per fetched row and hides from
  // the application. PositionedDml: main ends "WHERE rowid = ?", one
  // parameter beyond nparams, which the CLI binds to the cursor's current
  // row's rowid.
  bool rowid_last = false;
  // Query: the DB2 type name ("INTEGER", "VARCHAR", "TIMESTAMP", ...) of
  // each result column that is an expression the engine can type (COUNT,
  // LENGTH, string functions, registers, literals), "" for the others (a
  // column's declared type tells). Empty when the select list has a '*'.
  std::vector<std::string> column_types;
};

// Translates one DB2 statement text (len bytes; need not be NUL-terminated).
// Reads the catalogue through db when it must (declared types, identity
// columns, procedure registry). Returns 0 and fills plan, or -1 and fills
// diag (42601 for a second statement or a syntax error; DB2's states for an
// unknown object or form).
int dl_translate(sqlite3* db, const DlSession& session, const char* text, size_t len,
                 DlPlan* plan, DlDiag* diag);

// Creates db2lite's own catalogue tables and the SYSCAT views when missing.
int dl_catalog_init(sqlite3* db, DlDiag* diag);

// Prepares a fresh SQLite connection: DB2 functions and special registers,
// the blank-padding collation, the authorizer enforcing the session user's
// privileges. The session object must outlive the connection's use of it.
int dl_connection_setup(sqlite3* db, const DlSession* session, DlDiag* diag);

// Checks a login against the user registry: 0 when the password matches,
// -1 with 08004 when it does not or the user is unknown.
int dl_authenticate(sqlite3* db, const char* user, const char* password, DlDiag* diag);

// Turns the SQLite failure rc on db (while running plan, may be null) into a
// DB2 diagnostic: constraint names of the engine become 23505, 22001, ...;
// a missing table at prepare 42S02/-204, a refused privilege 42501/-551.
void dl_map_error(sqlite3* db, int rc, const DlPlan* plan, DlDiag* diag);

// ---- engine services for the administration tool and tests -------------

// Registers a user with a password (salted hash) and, when is_dba, the
// database administrator's authority. An existing user gets the new
// password. 0, or -1 with diag.
int dl_user_add(sqlite3* db, const char* user, const char* password, bool is_dba,
                DlDiag* diag);

// Grants (grant=true) or revokes one database authority ("DBADM",
// "CREATETAB", "BINDADD", "CONNECT", "CREATE_NOT_FENCED", "IMPLICIT_SCHEMA")
// to a user or to "PUBLIC". 0, or -1 with diag.
int dl_authority_set(sqlite3* db, const char* grantee, const char* authority, bool grant,
                     DlDiag* diag);

// True when the user (upper case) holds the authority directly, through
// PUBLIC, or through DBADM.
bool dl_has_authority(sqlite3* db, const std::string& user, const char* authority);

// Creates the spatial catalogue (schema DB2GSE) when missing. 0, or -1.
int dl_catalog_enable_spatial(sqlite3* db, DlDiag* diag);

}  // namespace dl

#endif
