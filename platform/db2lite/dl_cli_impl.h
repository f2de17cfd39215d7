// dl_cli_impl.h -- the CLI's handles and the helpers its files share
// (dl_cli_handles.cpp, dl_cli_info.cpp, dl_conn.cpp, dl_stmt_exec.cpp,
// dl_stmt_fetch.cpp). Nothing outside the CLI includes it.
//
// Rules the CLI keeps (the numbered notes the files refer to):
//  1. Handles are C++ objects behind the CLI's opaque pointers. A handle starts
//     with a magic word; a null pointer or a wrong magic answers
//     SQL_INVALID_HANDLE. Each call clears the handle's diagnostics first,
//     except the diagnostic calls themselves.
//  2. A connection has one writing SQLite connection (wdb) and a pool of
//     read connections. A unit of work starts on wdb with BEGIN IMMEDIATE at
//     its first writing statement, so the busy time-out covers the wait for
//     the database's write lock; a wait past it is 40001/-911 and rolls the
//     unit of work back.
//  3. A query runs on a read connection of its own unless wdb holds
//     uncommitted changes (then it must see them and runs on wdb). A read
//     connection serves one open cursor at a time, so each cursor's snapshot
//     is its own and starts when the cursor opens.
//  4. COMMIT keeps every cursor open. A cursor still running on wdb has its
//     remaining rows kept aside (in memory) before the commit, so wdb holds no
//     snapshot afterwards and its next write starts on the newest data.
//     ROLLBACK (and -911) closes every cursor of the connection.
//  5. A statement's plan runs pre, main, post; when there is more than the
//     main statement, or a parameter array of more than one row, they run
//     inside a savepoint, so the statement stands or falls whole.
//  6. Every SQLite failure becomes a diagnostic through dl_map_error; the CLI
//     words only the errors it finds itself (HY..., 07..., 24000, 01004, 08...).
//  7. A SELECT ... FOR UPDATE plan yields the row's rowid as its last result
//     column (rowid_last), which the CLI hides from the caller; a positioned
//     UPDATE or DELETE plan ends "WHERE rowid = ?", one marker past its
//     parameters, which the CLI binds to the current row of the named
//     cursor.
#ifndef DL_CLI_IMPL_H
#define DL_CLI_IMPL_H

#include "db2lite.h"
#include "dl_engine.h"

#include <sqlite3.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace dl {

enum : uint32_t {
  kMagicEnv = 0x454e5644u,   // "ENVD"
  kMagicDbc = 0x44424344u,   // "DBCD"
  kMagicStmt = 0x53544d44u,  // "STMD"
  kMagicDead = 0xdeadbeefu,
};

// Input limits of the CLI, each with its reason.
enum : long {
  kMaxSqlText = 2 * 1024 * 1024,   // one statement text; DB2's own limit is 2 MB
  kMaxParamSet = 32767,            // DB2's largest SQL_ATTR_PARAMSET_SIZE
  kMaxRowset = 1 << 20,            // a rowset larger than this is a caller's fault
  kMaxReaders = 64,                // read connections (open cursors) per connection
  kMaxColumns = 1012,              // DB2's column limit of a result
  kMaxNameLen = 128,               // identifiers passed to catalogue calls
};

struct Diag {
  std::string state;  // SQLSTATE, five characters
  int32_t native = 0;
  std::string text;   // full message text
};

struct Handle {
  uint32_t magic = 0;
  SQLSMALLINT type = 0;
  std::vector<Diag> diags;
  SQLRETURN last_rc = SQL_SUCCESS;  // for SQL_DIAG_RETURNCODE
};

struct Env;
struct Dbc;
struct Stmt;

struct Env : Handle {
  SQLINTEGER odbc_version = SQL_OV_ODBC3;
  std::vector<Dbc*> dbcs;
  std::vector<std::string> sources;  // SQLDataSources: the databases found
  size_t source_pos = 0;
};

// A read connection of the pool (note 3).
struct Reader {
  sqlite3* db = nullptr;
  Stmt* owner = nullptr;  // the statement whose cursor runs on it, or null
};

struct Dbc : Handle {
  Env* env = nullptr;
  bool connected = false;
  bool autocommit = true;
  int busy_ms = 30000;
  std::string path;            // the database file
  DlSession session;
  sqlite3* wdb = nullptr;      // the writing connection (note 2)
  std::vector<Reader*> readers;
  std::vector<Stmt*> stmts;
  int next_cursor = 1;         // for default cursor names
};

// A value kept aside (materialised rows, catalogue result sets).
struct Cell {
  int type = SQLITE_NULL;  // SQLite storage class
  int64_t i = 0;
  double d = 0;
  std::string s;           // text or blob bytes
};

// One column of a result as SQLDescribeCol and SQLColAttribute answer it.
struct ColDesc {
  std::string name;
  SQLSMALLINT sqltype = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
  std::string type_name;   // DB2's name ("INTEGER", "VARCHAR", "ST_POINT"...)
  std::string udt_name;    // structured type name, else empty
  std::string table;       // base table, when the column is one
  std::string schema;
};

struct ParamBind {
  bool bound = false;
  SQLSMALLINT io = SQL_PARAM_INPUT;
  SQLSMALLINT ctype = SQL_C_CHAR;
  SQLSMALLINT sqltype = SQL_VARCHAR;
  SQLULEN colsize = 0;
  SQLSMALLINT digits = 0;
  SQLPOINTER buf = nullptr;
  SQLLEN buflen = 0;
  SQLLEN* ind = nullptr;
};

struct ColBind {
  bool bound = false;
  SQLSMALLINT ctype = SQL_C_CHAR;
  SQLPOINTER buf = nullptr;
  SQLLEN buflen = 0;
  SQLLEN* ind = nullptr;
};

enum class CursorState { None, Live, Kept };
enum class FetchFamily { None, Standard, Extended };

struct Stmt : Handle {
  Dbc* dbc = nullptr;
  // prepared statement (note 5)
  bool prepared = false;
  DlPlan plan;
  sqlite3_stmt* wstmt = nullptr;     // plan.main prepared on wdb
  Reader* reader = nullptr;          // the read connection rstmt belongs to
  sqlite3_stmt* rstmt = nullptr;     // plan.main prepared on that reader
  int hidden = 0;                    // trailing result columns kept from the caller (note 7)
  // open cursor
  CursorState cursor = CursorState::None;
  sqlite3_stmt* live = nullptr;      // wstmt or rstmt while Live
  bool on_wdb = false;
  bool has_row = false;              // a current row exists (for GetData, positioned DML)
  int64_t current_rowid = 0;
  std::vector<Cell> kept;            // Kept rows, row-major, ncols each
  std::vector<Cell> kept_row;        // the current row of a Kept cursor
  size_t kept_pos = 0;
  int ncols = 0;                     // result columns shown to the caller
  std::vector<ColDesc> desc;         // filled on demand, or by catalogue calls
  bool desc_ready = false;
  FetchFamily family = FetchFamily::None;
  // bindings
  std::vector<ParamBind> params;
  std::vector<ColBind> cols;
  // attributes
  SQLULEN row_array_size = 1;        // SQL_ATTR_ROW_ARRAY_SIZE: SQLFetch, SQLFetchScroll
  SQLULEN rowset_size = 1;           // SQL_ROWSET_SIZE: SQLExtendedFetch
  SQLULEN* rows_fetched_ptr = nullptr;
  SQLUSMALLINT* row_status_ptr = nullptr;
  SQLULEN paramset_size = 1;
  SQLULEN* params_processed_ptr = nullptr;
  SQLUSMALLINT* param_status_ptr = nullptr;
  SQLULEN cursor_hold = SQL_CURSOR_HOLD_ON;
  std::string cursor_name;
  // SQLGetData in pieces
  int gd_col = 0;
  SQLLEN gd_offset = 0;
  bool gd_done = false;
  SQLLEN row_count = -1;
  std::string text;                  // the statement text, for the fault hook
  bool pending = false;              // Live: a row was stepped at execute and not yet fetched
  bool at_end = false;               // Live: SQLite said SQLITE_DONE
  uint64_t rows_out = 0;             // rows delivered by the open cursor (counters)
};

// ---- diagnostics (dl_cli_handles.cpp) ---------------------------------------
// Adds a record the CLI words itself: "[db2lite][CLI Driver] <id>  <text>".
void cli_diag(Handle* h, const char* state, int32_t native, const char* id, const std::string& text);
// Adds a record from the engine, keeping its DB2 text.
void engine_diag(Handle* h, const DlDiag& d);
// Maps the SQLite failure rc on db into a record on h; returns SQL_ERROR.
SQLRETURN sqlite_diag(Handle* h, sqlite3* db, int rc, const DlPlan* plan);
inline void clear_diags(Handle* h) {
  if (!h->diags.empty()) h->diags.clear();
}

Env* as_env(SQLHANDLE h);
Dbc* as_dbc(SQLHANDLE h);
Stmt* as_stmt(SQLHANDLE h);

// Copies a text into a caller's buffer of cap bytes (NUL-terminated), stores
// the full length in *len_out when given; true when it fit.
bool put_text(const std::string& s, SQLCHAR* out, SQLLEN cap, SQLSMALLINT* len_out);
// The caller's text of len bytes (SQL_NTS for NUL-terminated), bounded by max.
bool get_text(const SQLCHAR* text, SQLLEN len, long max, std::string* out);

// ---- connections and transactions (dl_conn.cpp) -----------------------------
// Begins the unit of work on wdb when none is open (note 2). SQL_SUCCESS or
// SQL_ERROR with a diagnostic on h (40001/-911 after the busy time-out).
SQLRETURN conn_begin_write(Dbc* c, Handle* h);
// True when wdb holds uncommitted changes.
bool conn_dirty(Dbc* c);
// COMMIT or ROLLBACK of the connection's unit of work (notes 4, 5).
SQLRETURN conn_end(Dbc* c, Handle* h, bool commit);
// After a failure with rc on wdb: a lock time-out rolls the unit of work back.
void conn_after_failure(Dbc* c, int rc);
// Records the SQLite failure rc on db: a lock time-out as 40001/-911,
// anything else through dl_map_error. Returns SQL_ERROR.
SQLRETURN db_failure(Handle* h, sqlite3* db, int rc, const DlPlan* plan);
// A free read connection for s's cursor, opened on first use; null and a
// diagnostic on s when none can be had.
Reader* conn_reader(Dbc* c, Stmt* s);

// ---- statements (dl_stmt_exec.cpp, dl_stmt_fetch.cpp) -------------------------
// Closes the statement's cursor, if any, and frees its read connection.
void stmt_close_cursor(Stmt* s);
// Moves a Live cursor on wdb to Kept rows (note 4).
int stmt_keep_aside(Stmt* s);
// Opens a Kept cursor over rows built by the CLI (catalogue calls).
void stmt_open_rows(Stmt* s, std::vector<ColDesc> desc, std::vector<Cell> rows);
// Drops the prepared statements of s.
void stmt_unprepare(Stmt* s);
// A value of the current row (or of an output parameter), pointing into
// SQLite's or the kept row's storage.
struct CellView {
  int type = SQLITE_NULL;
  int64_t i = 0;
  double d = 0;
  const char* p = nullptr;  // text or blob bytes
  SQLLEN n = 0;
};
inline CellView view_of(const Cell& c) {
  CellView v;
  v.type = c.type;
  v.i = c.i;
  v.d = c.d;
  v.p = c.s.data();
  v.n = static_cast<SQLLEN>(c.s.size());
  return v;
}
// Converts v into the caller's buffer (C type ctype, cap bytes) starting at
// byte off of its character or binary form; sqltype is the column's type
// (for SQL_C_DEFAULT). Returns 0 when the whole value was delivered, 1 when
// it was truncated (01004 recorded; *ind holds the length remaining before
// this call; *copied the bytes delivered), -1 on an error recorded on h.
int put_value(Handle* h, const CellView& v, SQLSMALLINT ctype, SQLSMALLINT sqltype, void* buf,
              SQLLEN cap, SQLLEN* ind, SQLLEN off, SQLLEN* copied);
// Element size of a C type in arrays; 0 for character and binary types,
// whose elements are one buffer length apart. -1 for a type the CLI does not
// know.
SQLLEN ctype_size(SQLSMALLINT ctype);
// The C type SQL_C_DEFAULT means for an SQL type.
SQLSMALLINT default_ctype(SQLSMALLINT sqltype);
// Maps a DB2 declared type text ("VARCHAR(32)", "DECIMAL(7,2)") to a column
// description; false when the text names no DB2 type.
bool decl_to_desc(const char* decl, ColDesc* d);

// ---- the test seams (dl_fault.cpp; the public side is dl_fault.h) ------------
// True when the armed statement fault fires for this statement text: fills
// diag and *rc. Costs one relaxed load when nothing is armed.
bool fault_statement(const std::string& text, DlDiag* diag, SQLRETURN* rc);
bool fault_commit(DlDiag* diag);
bool fault_type_hidden(int sqltype);
// One statement executed; then the rows and full-scan steps of a finished
// run of an SQLite statement (whose status counters are reset).
void count_run();
void count_work(sqlite3_stmt* st, uint64_t rows);
void count_commit();

}  // namespace dl

#endif
