// dl_conn.cpp -- connections and units of work: SQLConnect, SQLDisconnect,
// the connection attributes, SQLEndTran, and the writing and read
// connections behind one CLI connection (notes 2 to 4 of dl_cli_impl.h).
//
// Where a database lives: "<NAME>.db" in the directory named by DB2LITE_DATA,
// else $ZULHOME/data. Relies on the engine (dl_engine.h) for logins and for
// setting up each SQLite connection, and on the statement files to close and
// keep aside cursors.
#include "dl_cli_impl.h"
#include "dl_conn.h"
#include "dl_esql.h"

#include <ctype.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace dl {

namespace {

const char kBusyText[] =
    "SQL0911N  The current transaction has been rolled back because of a deadlock or "
    "timeout.  Reason code \"68\".  SQLSTATE=40001";

bool is_busy(int rc) {
  int p = rc & 0xff;
  return p == SQLITE_BUSY || p == SQLITE_LOCKED;
}

// Records the lock time-out on h, worded by the engine when it knows it.
void busy_diag(Handle* h, sqlite3* db, int rc) {
  DlDiag d;
  dl_map_error(db, rc, nullptr, &d);
  if (d.sqlstate != "40001") {
    d.sqlstate = "40001";
    d.native = -911;
    d.text = kBusyText;
  }
  engine_diag(h, d);
}

int exec_sql(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void connect_fail(Dbc* c, const char* state, int32_t native, const std::string& text) {
  DlDiag d;
  d.sqlstate = state;
  d.native = native;
  d.text = text;
  engine_diag(c, d);
}

int env_busy_ms(int fallback) {
  const char* v = getenv("DB2LITE_BUSY_TIMEOUT");
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long ms = strtol(v, &end, 10);
  if (*end || ms < 0 || ms > 24L * 3600 * 1000) return fallback;
  return static_cast<int>(ms);
}

std::string os_login() {
  struct passwd pw, *res = nullptr;
  char buf[4096];
  if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &res) == 0 && res && res->pw_name)
    return res->pw_name;
  const char* u = getenv("USER");
  return u ? u : "";
}

std::string upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  return s;
}

void close_all_cursors(Dbc* c) {
  for (Stmt* s : c->stmts) stmt_close_cursor(s);
}

SQLRETURN end_tran(Dbc* c, Handle* h, SQLSMALLINT completion) {
  if (!c->connected) {
    cli_diag(h, "08003", DB2LITE_NATIVE_CLI, "CLI0106E", "Connection is closed.");
    return SQL_ERROR;
  }
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
    cli_diag(h, "HY012", DB2LITE_NATIVE_CLI, "CLI0127E", "Invalid transaction operation code.");
    return SQL_ERROR;
  }
  return conn_end(c, h, completion == SQL_COMMIT);
}

}  // namespace

bool dl_database_path(const std::string& name, std::string* path) {
  if (name.empty() || name.size() > 8) return false;
  for (char ch : name) {
    if (!isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '@' && ch != '#' &&
        ch != '$')
      return false;
  }
  std::string dir;
  const char* d = getenv("DB2LITE_DATA");
  if (d && *d) {
    dir = d;
  } else {
    const char* home = getenv("ZULHOME");
    if (!home || !*home) return false;
    dir = std::string(home) + "/data";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  *path = dir + "/" + upper(name) + ".db";
  return true;
}

SQLRETURN db_failure(Handle* h, sqlite3* db, int rc, const DlPlan* plan) {
  if (is_busy(rc)) {
    busy_diag(h, db, rc);
    return SQL_ERROR;
  }
  return sqlite_diag(h, db, rc, plan);
}

bool conn_dirty(Dbc* c) { return sqlite3_txn_state(c->wdb, nullptr) == SQLITE_TXN_WRITE; }

SQLRETURN conn_begin_write(Dbc* c, Handle* h) {
  if (!sqlite3_get_autocommit(c->wdb)) return SQL_SUCCESS;
  int rc = exec_sql(c->wdb, "BEGIN IMMEDIATE");
  if (rc == SQLITE_OK) return SQL_SUCCESS;
  if (is_busy(rc)) {
    busy_diag(h, c->wdb, rc);
    conn_end(c, nullptr, false);
    return SQL_ERROR;
  }
  return sqlite_diag(h, c->wdb, rc, nullptr);
}

void conn_after_failure(Dbc* c, int rc) {
  if (is_busy(rc)) {
    conn_end(c, nullptr, false);
    return;
  }
  // SQLite rolls a transaction back by itself after some failures (full
  // disk, I/O error, out of memory); the unit of work is then gone, and its
  // cursors with it.
  if (sqlite3_get_autocommit(c->wdb)) {
    for (Stmt* s : c->stmts)
      if (s->cursor == CursorState::Live && s->on_wdb) stmt_close_cursor(s);
  }
}

SQLRETURN conn_end(Dbc* c, Handle* h, bool commit) {
  if (commit) {
    DlDiag fd;
    if (fault_commit(&fd)) {
      conn_end(c, nullptr, false);
      if (h) engine_diag(h, fd);
      return SQL_ERROR;
    }
    for (Stmt* s : c->stmts)
      if (s->cursor_hold == SQL_CURSOR_HOLD_OFF) stmt_close_cursor(s);
    if (sqlite3_get_autocommit(c->wdb)) return SQL_SUCCESS;
    for (Stmt* s : c->stmts) {
      if (s->cursor == CursorState::Live && s->on_wdb) {
        int rc = stmt_keep_aside(s);
        if (rc != SQLITE_OK) {
          if (h) sqlite_diag(h, c->wdb, rc, nullptr);
          conn_end(c, nullptr, false);
          return SQL_ERROR;
        }
      }
    }
    int rc = exec_sql(c->wdb, "COMMIT");
    if (rc != SQLITE_OK) {
      if (h) {
        if (is_busy(rc))
          busy_diag(h, c->wdb, rc);
        else
          sqlite_diag(h, c->wdb, rc, nullptr);
      }
      conn_end(c, nullptr, false);
      return SQL_ERROR;
    }
    count_commit();
    return SQL_SUCCESS;
  }
  close_all_cursors(c);
  if (!sqlite3_get_autocommit(c->wdb)) exec_sql(c->wdb, "ROLLBACK");
  return SQL_SUCCESS;
}

Reader* conn_reader(Dbc* c, Stmt* s) {
  if (s->reader && !s->reader->owner) return s->reader;
  for (Reader* r : c->readers)
    if (!r->owner) return r;
  if (static_cast<long>(c->readers.size()) >= kMaxReaders) {
    cli_diag(s, "HY014", DB2LITE_NATIVE_CLI, "CLI0129E",
             "No more handles: too many cursors are open on this connection.");
    return nullptr;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(c->path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    sqlite_diag(s, db, rc, nullptr);
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, c->busy_ms);
  exec_sql(db, "PRAGMA query_only=1");
  DlDiag d;
  if (dl_connection_setup(db, &c->session, &d) != 0) {
    engine_diag(s, d);
    sqlite3_close_v2(db);
    return nullptr;
  }
  Reader* r = new Reader;
  r->db = db;
  c->readers.push_back(r);
  return r;
}

}  // namespace dl

using namespace dl;

extern "C" {

SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR* server, SQLSMALLINT server_len, SQLCHAR* user,
                     SQLSMALLINT user_len, SQLCHAR* auth, SQLSMALLINT auth_len) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  if (c->connected) {
    cli_diag(c, "08002", DB2LITE_NATIVE_CLI, "CLI0103E", "Connection is in use.");
    return SQL_ERROR;
  }
  std::string name, uid, pwd;
  if (!get_text(server, server_len, kMaxNameLen, &name) ||
      !get_text(user, user_len, kMaxNameLen, &uid) ||
      !get_text(auth, auth_len, kMaxNameLen, &pwd)) {
    cli_diag(c, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
    return SQL_ERROR;
  }
  name = upper(name);
  std::string path;
  struct stat st;
  if (!dl_database_path(name, &path) || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    connect_fail(c, "08001", -1013,
                 "SQL1013N  The database alias name or database name \"" + name +
                     "\" could not be found.  SQLSTATE=42705");
    return SQL_ERROR;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    connect_fail(c, "08001", -902,
                 std::string("SQL0902C  A system error occurred opening database \"") + name +
                     "\": " + sqlite3_errstr(rc) + ".  SQLSTATE=58005");
    sqlite3_close_v2(db);
    return SQL_ERROR;
  }
  c->busy_ms = env_busy_ms(c->busy_ms);
  sqlite3_busy_timeout(db, c->busy_ms);
  exec_sql(db, "PRAGMA journal_mode=WAL");
  exec_sql(db, "PRAGMA synchronous=FULL");

  std::string auth_id;
  if (uid.empty() && pwd.empty()) {
    auth_id = upper(os_login());
  } else {
    auth_id = upper(uid);
    DlDiag d;
    if (dl_authenticate(db, auth_id.c_str(), pwd.c_str(), &d) != 0) {
      if (d.sqlstate.empty()) {
        d.sqlstate = "08004";
        d.native = -30082;
        d.text = "SQL30082N  Security processing failed with reason \"24\" (\"USERNAME AND/OR "
                 "PASSWORD INVALID\").  SQLSTATE=08001";
      }
      engine_diag(c, d);
      sqlite3_close_v2(db);
      return SQL_ERROR;
    }
  }
  c->session = DlSession();
  c->session.user = auth_id;
  c->session.schema = auth_id;
  c->session.database = name;
  c->session.function_path = {"SYSIBM", "SYSFUN", "SYSPROC", auth_id};
  DlDiag d;
  if (dl_connection_setup(db, &c->session, &d) != 0) {
    engine_diag(c, d);
    sqlite3_close_v2(db);
    return SQL_ERROR;
  }
  c->wdb = db;
  c->path = path;
  c->connected = true;
  esql_note_connect(c);  // the current connection of sqlabndx and sqlustat_api
  return SQL_SUCCESS;
}

SQLRETURN SQLDisconnect(SQLHDBC hdbc) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  if (!c->connected) {
    cli_diag(c, "08003", DB2LITE_NATIVE_CLI, "CLI0106E", "Connection is closed.");
    return SQL_ERROR;
  }
  esql_note_disconnect(c);
  // Work not committed is rolled back: a disconnect never makes changes
  // durable by itself.
  conn_end(c, nullptr, false);
  std::vector<Stmt*> stmts;
  stmts.swap(c->stmts);
  for (Stmt* s : stmts) {
    stmt_close_cursor(s);
    stmt_unprepare(s);
    s->magic = kMagicDead;
    delete s;
  }
  for (Reader* r : c->readers) {
    sqlite3_close_v2(r->db);
    delete r;
  }
  c->readers.clear();
  sqlite3_close_v2(c->wdb);
  c->wdb = nullptr;
  c->connected = false;
  return SQL_SUCCESS;
}

SQLRETURN SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  intptr_t v = reinterpret_cast<intptr_t>(value);
  switch (attr) {
    case SQL_ATTR_AUTOCOMMIT:
      if (v != SQL_AUTOCOMMIT_ON && v != SQL_AUTOCOMMIT_OFF) break;
      if (v == SQL_AUTOCOMMIT_ON && !c->autocommit && c->connected) {
        SQLRETURN rc = conn_end(c, c, true);
        if (rc != SQL_SUCCESS) return rc;
      }
      c->autocommit = (v == SQL_AUTOCOMMIT_ON);
      return SQL_SUCCESS;
    case SQL_ATTR_DB2LITE_BUSY_TIMEOUT:
      if (v < 0 || v > 24L * 3600 * 1000) break;
      c->busy_ms = static_cast<int>(v);
      if (c->wdb) sqlite3_busy_timeout(c->wdb, c->busy_ms);
      for (Reader* r : c->readers) sqlite3_busy_timeout(r->db, c->busy_ms);
      return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
    case SQL_ATTR_LOGIN_TIMEOUT:
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_CURSOR_HOLD:
      return SQL_SUCCESS;
    default:
      cli_diag(c, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
  cli_diag(c, "HY024", DB2LITE_NATIVE_CLI, "CLI0191E", "Invalid attribute value.");
  return SQL_ERROR;
}

SQLRETURN SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER cap,
                            SQLINTEGER* len) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  if (!value) return SQL_SUCCESS;
  switch (attr) {
    case SQL_ATTR_AUTOCOMMIT:
      *static_cast<SQLUINTEGER*>(value) = c->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
      return SQL_SUCCESS;
    case SQL_ATTR_DB2LITE_BUSY_TIMEOUT:
      *static_cast<SQLINTEGER*>(value) = c->busy_ms;
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_DEAD:
      *static_cast<SQLUINTEGER*>(value) = c->connected ? SQL_CD_FALSE : SQL_CD_TRUE;
      return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
      *static_cast<SQLUINTEGER*>(value) = SQL_TXN_SERIALIZABLE;
      return SQL_SUCCESS;
    default:
      cli_diag(c, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
}

SQLRETURN SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  if (type == SQL_HANDLE_ENV) {
    Env* e = as_env(handle);
    if (!e) return SQL_INVALID_HANDLE;
    clear_diags(e);
    SQLRETURN out = SQL_SUCCESS;
    for (Dbc* c : e->dbcs) {
      if (!c->connected) continue;
      if (end_tran(c, e, completion) != SQL_SUCCESS) out = SQL_ERROR;
    }
    return out;
  }
  if (type != SQL_HANDLE_DBC) return SQL_INVALID_HANDLE;
  Dbc* c = as_dbc(handle);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  return end_tran(c, c, completion);
}

}  // extern "C"
