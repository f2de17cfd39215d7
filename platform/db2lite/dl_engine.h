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

#include <string>
#include <vector>

namespace dl {

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

}  // namespace dl

#endif
