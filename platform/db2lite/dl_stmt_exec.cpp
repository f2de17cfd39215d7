// dl_stmt_exec.cpp -- preparing and executing statements: SQLPrepare,
// SQLExecute, SQLExecDirect, SQLBindParameter, SQLNumParams, SQLRowCount,
// the cursor names and the statement attributes.
//
// Divisions: parameter values (C buffer to SQLite value); the plan runner
// (writes, queries, CALL, registers, end of transaction); the CLI entry
// points. The hot path of a prepared INSERT or SELECT binds straight from
// the caller's buffers into the statement prepared at SQLPrepare and
// allocates nothing (notes 2, 3 and 5 of dl_cli_impl.h).
#include "dl_cli_call.h"
#include "dl_cli_impl.h"
#include "dl_fault.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

namespace dl {

namespace {

std::atomic<DlCallHandler> g_call_handler{nullptr};

// ---- parameter values -----------------------------------------------------

bool is_int_sqltype(SQLSMALLINT t) {
  return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_BIGINT || t == SQL_TINYINT ||
         t == SQL_BIT;
}
bool is_real_sqltype(SQLSMALLINT t) {
  return t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL || t == SQL_DECIMAL ||
         t == SQL_NUMERIC;
}
bool is_bin_sqltype(SQLSMALLINT t) {
  return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY || t == SQL_BLOB;
}

bool parse_int(const char* p, size_t n, int64_t* out) {
  while (n && isspace(static_cast<unsigned char>(*p))) ++p, --n;
  while (n && isspace(static_cast<unsigned char>(p[n - 1]))) --n;
  if (!n || n > 40) return false;
  char tmp[48];
  memcpy(tmp, p, n);
  tmp[n] = 0;
  char* end = nullptr;
  errno = 0;
  long long v = strtoll(tmp, &end, 10);
  if (*end == 0 && errno == 0) {
    *out = v;
    return true;
  }
  errno = 0;
  double d = strtod(tmp, &end);
  if (*end || errno || d != d || d >= 9.3e18 || d <= -9.3e18) return false;
  *out = static_cast<int64_t>(d);
  return true;
}

bool parse_real(const char* p, size_t n, double* out) {
  while (n && isspace(static_cast<unsigned char>(*p))) ++p, --n;
  while (n && isspace(static_cast<unsigned char>(p[n - 1]))) --n;
  if (!n || n > 64) return false;
  char tmp[72];
  memcpy(tmp, p, n);
  tmp[n] = 0;
  char* end = nullptr;
  errno = 0;
  *out = strtod(tmp, &end);
  return *end == 0 && errno == 0;
}

void bad_param(Stmt* s, const char* state, const char* id, const char* what, int n) {
  cli_diag(s, state, DB2LITE_NATIVE_CLI, id,
           std::string(what) + " (parameter " + std::to_string(n) + ").");
}

// Binds parameter p (number n, from 1) of row `row` to st at index idx.
// Returns SQLITE_OK, an SQLite code, or -1 with a diagnostic on s.
int bind_param(Stmt* s, sqlite3_stmt* st, int idx, const ParamBind& p, int n, SQLULEN row) {
  SQLLEN* ind = p.ind ? p.ind + row : nullptr;
  if ((ind && *ind == SQL_NULL_DATA) || p.io == SQL_PARAM_OUTPUT || !p.buf)
    return sqlite3_bind_null(st, idx);
  if (ind && (*ind == SQL_DATA_AT_EXEC || *ind <= SQL_LEN_DATA_AT_EXEC_OFFSET)) {
    bad_param(s, "HYC00", "CLI0150E", "Driver not capable: data at execution", n);
    return -1;
  }
  SQLSMALLINT ctype = p.ctype == SQL_C_DEFAULT ? default_ctype(p.sqltype) : p.ctype;
  SQLLEN esize = ctype_size(ctype);
  if (esize == 0) {  // character or binary: elements one buffer length apart
    if (row > 0 && p.buflen <= 0) {
      bad_param(s, "HY090", "CLI0139E", "Invalid string or buffer length", n);
      return -1;
    }
    const char* elem = static_cast<const char*>(p.buf) + static_cast<SQLLEN>(row) * p.buflen;
    size_t len;
    if (!ind || *ind == SQL_NTS) {
      if (ctype != SQL_C_CHAR && ctype != SQL_C_CLOB) {
        if (p.buflen <= 0 && ind) {
          bad_param(s, "HY090", "CLI0139E", "Invalid string or buffer length", n);
          return -1;
        }
        len = static_cast<size_t>(p.buflen > 0 ? p.buflen : 0);
      } else {
        size_t cap = p.buflen > 0 ? static_cast<size_t>(p.buflen) : static_cast<size_t>(kMaxSqlText);
        const void* z = memchr(elem, 0, cap);
        len = z ? static_cast<size_t>(static_cast<const char*>(z) - elem) : cap;
      }
    } else {
      if (*ind < 0 || (p.buflen > 0 && *ind > p.buflen && row > 0) || *ind > (1L << 31)) {
        bad_param(s, "HY090", "CLI0139E", "Invalid string or buffer length", n);
        return -1;
      }
      len = static_cast<size_t>(*ind);
    }
    if (ctype == SQL_C_CHAR || ctype == SQL_C_CLOB) {
      if (is_int_sqltype(p.sqltype)) {
        int64_t v;
        if (!parse_int(elem, len, &v)) {
          bad_param(s, "22018", "CLI0112E", "Invalid character value for cast", n);
          return -1;
        }
        return sqlite3_bind_int64(st, idx, v);
      }
      if (is_real_sqltype(p.sqltype)) {
        double d;
        if (!parse_real(elem, len, &d)) {
          bad_param(s, "22018", "CLI0112E", "Invalid character value for cast", n);
          return -1;
        }
        return sqlite3_bind_double(st, idx, d);
      }
      if (is_bin_sqltype(p.sqltype))
        return sqlite3_bind_blob(st, idx, elem, static_cast<int>(len), SQLITE_STATIC);
      return sqlite3_bind_text(st, idx, elem, static_cast<int>(len), SQLITE_STATIC);
    }
    if (!is_bin_sqltype(p.sqltype) && (p.sqltype == SQL_CHAR || p.sqltype == SQL_VARCHAR ||
                                       p.sqltype == SQL_LONGVARCHAR || p.sqltype == SQL_CLOB))
      return sqlite3_bind_text(st, idx, elem, static_cast<int>(len), SQLITE_STATIC);
    return sqlite3_bind_blob(st, idx, elem, static_cast<int>(len), SQLITE_STATIC);
  }
  if (esize < 0) {
    bad_param(s, "HY003", "CLI0135E", "Program type out of range", n);
    return -1;
  }
  const char* e = static_cast<const char*>(p.buf) + static_cast<SQLLEN>(row) * esize;
  int64_t iv = 0;
  double dv = 0;
  bool is_real = false;
  switch (ctype) {
    case SQL_C_LONG: case SQL_C_SLONG: { int32_t v; memcpy(&v, e, 4); iv = v; break; }
    case SQL_C_ULONG: { uint32_t v; memcpy(&v, e, 4); iv = v; break; }
    case SQL_C_SHORT: case SQL_C_SSHORT: { int16_t v; memcpy(&v, e, 2); iv = v; break; }
    case SQL_C_USHORT: { uint16_t v; memcpy(&v, e, 2); iv = v; break; }
    case SQL_C_TINYINT: case SQL_C_STINYINT: { int8_t v; memcpy(&v, e, 1); iv = v; break; }
    case SQL_C_UTINYINT: case SQL_C_BIT: { uint8_t v; memcpy(&v, e, 1); iv = v; break; }
    case SQL_C_SBIGINT: { memcpy(&iv, e, 8); break; }
    case SQL_C_UBIGINT: {
      uint64_t v;
      memcpy(&v, e, 8);
      if (v > static_cast<uint64_t>(INT64_MAX)) {
        bad_param(s, "22003", "CLI0111E", "Numeric value out of range", n);
        return -1;
      }
      iv = static_cast<int64_t>(v);
      break;
    }
    case SQL_C_FLOAT: { float v; memcpy(&v, e, 4); dv = v; is_real = true; break; }
    case SQL_C_DOUBLE: { memcpy(&dv, e, 8); is_real = true; break; }
    case SQL_C_DATE: case SQL_C_TYPE_DATE: {
      SQL_DATE_STRUCT v;
      memcpy(&v, e, sizeof v);
      char buf[32];
      int k = snprintf(buf, sizeof buf, "%04d-%02u-%02u", v.year, v.month, v.day);
      return sqlite3_bind_text(st, idx, buf, k, SQLITE_TRANSIENT);
    }
    case SQL_C_TIME: case SQL_C_TYPE_TIME: {
      SQL_TIME_STRUCT v;
      memcpy(&v, e, sizeof v);
      char buf[32];
      int k = snprintf(buf, sizeof buf, "%02u.%02u.%02u", v.hour, v.minute, v.second);
      return sqlite3_bind_text(st, idx, buf, k, SQLITE_TRANSIENT);
    }
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT v;
      memcpy(&v, e, sizeof v);
      char buf[48];
      int k = snprintf(buf, sizeof buf, "%04d-%02u-%02u-%02u.%02u.%02u.%06u", v.year, v.month,
                       v.day, v.hour, v.minute, v.second, v.fraction / 1000u);
      return sqlite3_bind_text(st, idx, buf, k, SQLITE_TRANSIENT);
    }
    default:
      bad_param(s, "HY003", "CLI0135E", "Program type out of range", n);
      return -1;
  }
  if (is_real) {
    if (is_int_sqltype(p.sqltype)) {
      if (dv != dv || dv >= 9.3e18 || dv <= -9.3e18) {
        bad_param(s, "22003", "CLI0111E", "Numeric value out of range", n);
        return -1;
      }
      return sqlite3_bind_int64(st, idx, static_cast<int64_t>(dv));
    }
    return sqlite3_bind_double(st, idx, dv);
  }
  if (is_real_sqltype(p.sqltype) && p.sqltype != SQL_DECIMAL && p.sqltype != SQL_NUMERIC)
    return sqlite3_bind_double(st, idx, static_cast<double>(iv));
  return sqlite3_bind_int64(st, idx, iv);
}

// Binds every marker of the plan for parameter row `row`. SQL_SUCCESS or
// SQL_ERROR with a diagnostic.
SQLRETURN bind_row(Stmt* s, sqlite3_stmt* st, SQLULEN row) {
  int n = s->plan.nparams;
  for (int i = 0; i < n; ++i) {
    int rc = bind_param(s, st, i + 1, s->params[static_cast<size_t>(i)], i + 1, row);
    if (rc == -1) return SQL_ERROR;
    if (rc != SQLITE_OK) return db_failure(s, sqlite3_db_handle(st), rc, &s->plan);
  }
  return SQL_SUCCESS;
}

// The statement of the positioned UPDATE or DELETE's cursor (note 7).
Stmt* cursor_by_name(Dbc* c, const std::string& name) {
  for (Stmt* t : c->stmts)
    if (t->cursor != CursorState::None && strcasecmp(t->cursor_name.c_str(), name.c_str()) == 0)
      return t;
  return nullptr;
}

// ---- the plan runner -------------------------------------------------------

int run_sql(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// Undoes what a failed statement did since its savepoint.
void undo_statement(Dbc* c, bool savepoint) {
  if (savepoint && !sqlite3_get_autocommit(c->wdb)) {
    run_sql(c->wdb, "ROLLBACK TO dl_stmt");
    run_sql(c->wdb, "RELEASE dl_stmt");
  }
}

// After a statement that failed with rc: in autocommit mode the statement's
// unit of work ends with it; a lock time-out ends the unit of work.
void after_failure(Dbc* c, int rc) {
  conn_after_failure(c, rc);
  if (c->autocommit && !sqlite3_get_autocommit(c->wdb)) run_sql(c->wdb, "ROLLBACK");
}

SQLRETURN finish_write(Stmt* s, SQLRETURN rc) {
  if (s->dbc->autocommit && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ||
                             rc == SQL_NO_DATA)) {
    SQLRETURN c = conn_end(s->dbc, s, true);
    if (c != SQL_SUCCESS) return c;
  }
  return rc;
}

// Runs the pre statements on wdb. SQLITE_OK or the failing code.
int run_pre(Stmt* s) {
  for (const std::string& sql : s->plan.pre) {
    int rc = run_sql(s->dbc->wdb, sql);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

int run_post(Stmt* s) {
  for (const std::string& sql : s->plan.post) {
    int rc = run_sql(s->dbc->wdb, sql);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

// The main statement on wdb, prepared now when SQLPrepare could not (its
// pre statements had to run first).
int main_on_wdb(Stmt* s, sqlite3_stmt** st) {
  if (!s->wstmt) {
    int rc = sqlite3_prepare_v3(s->dbc->wdb, s->plan.main.c_str(),
                                static_cast<int>(s->plan.main.size()), SQLITE_PREPARE_PERSISTENT,
                                &s->wstmt, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  *st = s->wstmt;
  return SQLITE_OK;
}

// INSERT, UPDATE, DELETE, positioned UPDATE and DELETE, DDL, LOCK TABLE.
SQLRETURN exec_write(Stmt* s) {
  Dbc* c = s->dbc;
  SQLULEN nrows = s->plan.kind == DlKind::Dml ? s->paramset_size : 1;
  Stmt* cur = nullptr;
  if (s->plan.kind == DlKind::PositionedDml) {
    cur = cursor_by_name(c, s->plan.cursor);
    if (!cur) {
      cli_diag(s, "34000", -504, "SQL0504N",
               "The cursor \"" + s->plan.cursor + "\" is not defined or not open.");
      return SQL_ERROR;
    }
    if (!cur->has_row) {
      cli_diag(s, "24504", -508, "SQL0508N",
               "The cursor \"" + s->plan.cursor + "\" is not positioned on a row.");
      return SQL_ERROR;
    }
  }
  SQLRETURN r = conn_begin_write(c, s);
  if (r != SQL_SUCCESS) return r;
  bool sp = !s->plan.pre.empty() || !s->plan.post.empty() || nrows > 1;
  int rc = SQLITE_OK;
  if (sp) {
    rc = run_sql(c->wdb, "SAVEPOINT dl_stmt");
    if (rc != SQLITE_OK) {
      db_failure(s, c->wdb, rc, &s->plan);
      after_failure(c, rc);
      return SQL_ERROR;
    }
  }
  if (s->params_processed_ptr) *s->params_processed_ptr = 0;
  rc = run_pre(s);
  int64_t changes = 0;
  SQLULEN done = 0;
  sqlite3_stmt* st = nullptr;
  if (rc == SQLITE_OK && !s->plan.main.empty()) {
    rc = main_on_wdb(s, &st);
    if (rc == SQLITE_OK) {
      int rowid_idx = cur ? s->plan.nparams + 1 : 0;
      for (; done < nrows; ++done) {
        if (bind_row(s, st, done) != SQL_SUCCESS) {
          sqlite3_reset(st);
          if (s->param_status_ptr) s->param_status_ptr[done] = SQL_PARAM_ERROR;
          undo_statement(c, sp);
          after_failure(c, SQLITE_OK);
          if (s->params_processed_ptr) *s->params_processed_ptr = done + 1;
          return SQL_ERROR;
        }
        if (rowid_idx) sqlite3_bind_int64(st, rowid_idx, cur->current_rowid);
        count_run();
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) break;
        rc = SQLITE_OK;
        int64_t ch = sqlite3_changes64(c->wdb);
        changes += ch;
        count_work(st, static_cast<uint64_t>(ch));
        sqlite3_reset(st);
        if (s->param_status_ptr) s->param_status_ptr[done] = SQL_PARAM_SUCCESS;
      }
    }
  }
  if (rc == SQLITE_OK) rc = run_post(s);
  if (rc != SQLITE_OK) {
    // The message must be read before the savepoint is undone.
    db_failure(s, c->wdb, rc, &s->plan);
    if (st) sqlite3_reset(st);
    if (s->param_status_ptr && done < nrows) {
      s->param_status_ptr[done] = SQL_PARAM_ERROR;
      for (SQLULEN k = done + 1; k < nrows; ++k) s->param_status_ptr[k] = SQL_PARAM_UNUSED;
    }
    if (s->params_processed_ptr) *s->params_processed_ptr = done < nrows ? done + 1 : done;
    undo_statement(c, sp);
    after_failure(c, rc);
    return SQL_ERROR;
  }
  if (sp) run_sql(c->wdb, "RELEASE dl_stmt");
  if (s->params_processed_ptr) *s->params_processed_ptr = nrows;
  s->row_count = static_cast<SQLLEN>(changes);
  bool no_rows = changes == 0 && (s->plan.kind == DlKind::Dml ||
                                  s->plan.kind == DlKind::PositionedDml);
  return finish_write(s, no_rows ? SQL_NO_DATA : SQL_SUCCESS);
}

// Opens the query's cursor: on wdb when the unit of work has changes the
// query must see, else on a read connection of its own (note 3).
SQLRETURN exec_query(Stmt* s) {
  Dbc* c = s->dbc;
  bool on_wdb = conn_dirty(c) || !s->plan.pre.empty() || !s->plan.post.empty();
  sqlite3_stmt* st = nullptr;
  int rc = SQLITE_OK;
  if (on_wdb) {
    SQLRETURN r = conn_begin_write(c, s);
    if (r != SQL_SUCCESS) return r;
    rc = run_pre(s);
    if (rc == SQLITE_OK) rc = main_on_wdb(s, &st);
  } else {
    Reader* rd = conn_reader(c, s);
    if (!rd) return SQL_ERROR;
    if (rd != s->reader || !s->rstmt) {
      if (s->rstmt) sqlite3_finalize(s->rstmt);
      s->rstmt = nullptr;
      s->reader = rd;
      rc = sqlite3_prepare_v3(rd->db, s->plan.main.c_str(), static_cast<int>(s->plan.main.size()),
                              SQLITE_PREPARE_PERSISTENT, &s->rstmt, nullptr);
      if (rc != SQLITE_OK) {
        db_failure(s, rd->db, rc, &s->plan);
        return SQL_ERROR;
      }
    }
    st = s->rstmt;
  }
  if (rc != SQLITE_OK) {
    db_failure(s, c->wdb, rc, &s->plan);
    after_failure(c, rc);
    return SQL_ERROR;
  }
  if (bind_row(s, st, 0) != SQL_SUCCESS) {
    sqlite3_reset(st);
    return SQL_ERROR;
  }
  count_run();
  // The first row is stepped now, so that the cursor's snapshot starts at
  // SQLExecute and its errors are reported there.
  rc = sqlite3_step(st);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    sqlite3* db = sqlite3_db_handle(st);
    db_failure(s, db, rc, &s->plan);
    sqlite3_reset(st);
    if (on_wdb) after_failure(c, rc);
    else if ((rc & 0xff) == SQLITE_BUSY) conn_end(c, nullptr, false);
    return SQL_ERROR;
  }
  if (on_wdb) {
    int prc = run_post(s);
    if (prc != SQLITE_OK) {
      db_failure(s, c->wdb, prc, &s->plan);
      sqlite3_reset(st);
      after_failure(c, prc);
      return SQL_ERROR;
    }
  } else {
    s->reader->owner = s;
  }
  s->live = st;
  s->on_wdb = on_wdb;
  s->cursor = CursorState::Live;
  s->pending = rc == SQLITE_ROW;
  s->at_end = rc == SQLITE_DONE;
  s->has_row = false;
  s->family = FetchFamily::None;
  s->rows_out = 0;
  s->gd_col = 0;
  return SQL_SUCCESS;
}

// CALL: the parameter values go to the procedure host (dl_cli_call.h); the
// OUTPUT and INPUT_OUTPUT values it leaves are written back.
SQLRETURN exec_call(Stmt* s) {
  DlCallHandler h = g_call_handler.load();
  if (!h) {
    DlDiag d;
    d.sqlstate = "42884";
    d.native = -440;
    d.text = "SQL0440N  No authorized routine named \"" + s->plan.call_name +
             "\" of type \"PROCEDURE\" having compatible arguments was found.  SQLSTATE=42884";
    engine_diag(s, d);
    return SQL_ERROR;
  }
  std::vector<DlCallArg> args(static_cast<size_t>(s->plan.nparams));
  // Parameter values are read through a scratch statement so that one
  // conversion path serves every statement kind.
  sqlite3_stmt* scratch = nullptr;
  std::string sel = "SELECT ?";
  for (int i = 1; i < s->plan.nparams; ++i) sel += ",?";
  if (s->plan.nparams > 0) {
    int rc = sqlite3_prepare_v2(s->dbc->wdb, sel.c_str(), -1, &scratch, nullptr);
    if (rc != SQLITE_OK) return db_failure(s, s->dbc->wdb, rc, nullptr);
    if (bind_row(s, scratch, 0) != SQL_SUCCESS || sqlite3_step(scratch) != SQLITE_ROW) {
      sqlite3_finalize(scratch);
      if (s->diags.empty()) return db_failure(s, s->dbc->wdb, SQLITE_ERROR, nullptr);
      return SQL_ERROR;
    }
    for (int i = 0; i < s->plan.nparams; ++i) {
      DlCallArg& a = args[static_cast<size_t>(i)];
      const ParamBind& p = s->params[static_cast<size_t>(i)];
      a.io = p.io;
      a.sqltype = p.sqltype;
      a.type = sqlite3_column_type(scratch, i);
      if (a.type == SQLITE_INTEGER) a.i = sqlite3_column_int64(scratch, i);
      else if (a.type == SQLITE_FLOAT) a.d = sqlite3_column_double(scratch, i);
      else if (a.type != SQLITE_NULL) {
        const void* b = sqlite3_column_blob(scratch, i);
        a.s.assign(static_cast<const char*>(b ? b : ""),
                   static_cast<size_t>(sqlite3_column_bytes(scratch, i)));
      }
    }
    sqlite3_finalize(scratch);
  }
  count_run();
  DlDiag d;
  int r = h(s->dbc, s->plan, args, &d);
  if (r < 0) {
    if (d.sqlstate.empty()) d.sqlstate = "38000";
    engine_diag(s, d);
    after_failure(s->dbc, SQLITE_OK);
    return SQL_ERROR;
  }
  SQLRETURN out = SQL_SUCCESS;
  if (r > 0 && !d.sqlstate.empty()) {
    engine_diag(s, d);
    out = SQL_SUCCESS_WITH_INFO;
  }
  for (int i = 0; i < s->plan.nparams; ++i) {
    const ParamBind& p = s->params[static_cast<size_t>(i)];
    if (p.io == SQL_PARAM_INPUT || !p.buf) continue;
    const DlCallArg& a = args[static_cast<size_t>(i)];
    CellView v;
    v.type = a.type;
    v.i = a.i;
    v.d = a.d;
    v.p = a.s.data();
    v.n = static_cast<SQLLEN>(a.s.size());
    SQLLEN copied = 0;
    int k = put_value(s, v, p.ctype, p.sqltype, p.buf, p.buflen, p.ind, 0, &copied);
    if (k < 0) return SQL_ERROR;
    if (k > 0) out = SQL_SUCCESS_WITH_INFO;
  }
  return finish_write(s, out);
}

SQLRETURN exec_plan(Stmt* s) {
  Dbc* c = s->dbc;
  if (!s->prepared) {
    cli_diag(s, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
    return SQL_ERROR;
  }
  if (s->cursor != CursorState::None) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return SQL_ERROR;
  }
  if (static_cast<int>(s->params.size()) < s->plan.nparams) {
    cli_diag(s, "07002", DB2LITE_NATIVE_CLI, "CLI0100E", "Wrong number of parameters.");
    return SQL_ERROR;
  }
  for (int i = 0; i < s->plan.nparams; ++i) {
    if (!s->params[static_cast<size_t>(i)].bound) {
      cli_diag(s, "07002", DB2LITE_NATIVE_CLI, "CLI0100E", "Wrong number of parameters.");
      return SQL_ERROR;
    }
  }
  s->row_count = -1;
  DlDiag fd;
  SQLRETURN frc;
  if (fault_statement(s->text, &fd, &frc)) {
    engine_diag(s, fd);
    return frc;
  }
  switch (s->plan.kind) {
    case DlKind::Commit:
      count_run();
      return conn_end(c, s, true);
    case DlKind::Rollback:
      count_run();
      return conn_end(c, s, false);
    case DlKind::SetRegister:
      count_run();
      if (!s->plan.set_schema.empty()) c->session.schema = s->plan.set_schema;
      if (!s->plan.set_function_path.empty())
        c->session.function_path = s->plan.set_function_path;
      return SQL_SUCCESS;
    case DlKind::Call:
      return exec_call(s);
    case DlKind::Query:
      return exec_query(s);
    case DlKind::LockTable:
      if (s->plan.main.empty() && s->plan.pre.empty() && s->plan.post.empty()) {
        count_run();
        SQLRETURN r = conn_begin_write(c, s);
        return r == SQL_SUCCESS ? finish_write(s, r) : r;
      }
      return exec_write(s);
    case DlKind::Dml:
    case DlKind::PositionedDml:
    case DlKind::Ddl:
      return exec_write(s);
  }
  return SQL_ERROR;
}

SQLRETURN prepare(Stmt* s, SQLCHAR* text, SQLINTEGER len) {
  if (s->cursor != CursorState::None) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return SQL_ERROR;
  }
  std::string sql;
  if (!text || !get_text(text, len, kMaxSqlText, &sql)) {
    cli_diag(s, text ? "HY090" : "HY009", DB2LITE_NATIVE_CLI, text ? "CLI0139E" : "CLI0124E",
             text ? "Invalid string or buffer length." : "Invalid argument value.");
    return SQL_ERROR;
  }
  stmt_unprepare(s);
  Dbc* c = s->dbc;
  DlDiag d;
  if (dl_translate(c->wdb, c->session, sql.data(), sql.size(), &s->plan, &d) != 0) {
    if (d.sqlstate.empty()) {
      d.sqlstate = "42601";
      d.native = -104;
      d.text = "SQL0104N  The statement could not be translated.  SQLSTATE=42601";
    }
    engine_diag(s, d);
    s->plan = DlPlan();
    return SQL_ERROR;
  }
  if (!s->plan.main.empty() && s->plan.pre.empty()) {
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(c->wdb, s->plan.main.c_str(),
                                static_cast<int>(s->plan.main.size()), SQLITE_PREPARE_PERSISTENT,
                                &s->wstmt, &tail);
    if (rc != SQLITE_OK) {
      db_failure(s, c->wdb, rc, &s->plan);
      s->plan = DlPlan();
      return SQL_ERROR;
    }
    while (tail && *tail && isspace(static_cast<unsigned char>(*tail))) ++tail;
    if (tail && *tail) {
      DlDiag t;
      t.sqlstate = "42601";
      t.native = -104;
      t.text = "SQL0104N  An unexpected token was found after the end of the statement.  "
               "SQLSTATE=42601";
      engine_diag(s, t);
      stmt_unprepare(s);
      return SQL_ERROR;
    }
  }
  if (s->plan.kind == DlKind::Query && s->wstmt) {
    s->hidden = s->plan.rowid_last ? 1 : 0;
    s->ncols = sqlite3_column_count(s->wstmt) - s->hidden;
    if (s->ncols < 0) s->ncols = 0;
  }
  s->text = std::move(sql);
  s->prepared = true;
  return SQL_SUCCESS;
}

}  // namespace

void stmt_unprepare(Stmt* s) {
  if (s->wstmt) sqlite3_finalize(s->wstmt);
  if (s->rstmt) sqlite3_finalize(s->rstmt);
  s->wstmt = nullptr;
  s->rstmt = nullptr;
  s->reader = nullptr;
  s->prepared = false;
  s->plan = DlPlan();
  s->hidden = 0;
  s->ncols = 0;
  s->desc.clear();
  s->desc_ready = false;
  s->text.clear();
}

DlCallHandler dl_set_call_handler(DlCallHandler handler) { return g_call_handler.exchange(handler); }

}  // namespace dl

using namespace dl;

extern "C" {

SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  return prepare(s, text, len);
}

SQLRETURN SQLExecute(SQLHSTMT hstmt) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  return exec_plan(s);
}

SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  SQLRETURN rc = prepare(s, text, len);
  if (rc != SQL_SUCCESS) return rc;
  return exec_plan(s);
}

SQLRETURN SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT num, SQLSMALLINT io, SQLSMALLINT ctype,
                           SQLSMALLINT sqltype, SQLULEN colsize, SQLSMALLINT digits,
                           SQLPOINTER buf, SQLLEN buflen, SQLLEN* ind) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (num < 1) {
    cli_diag(s, "07009", DB2LITE_NATIVE_CLI, "CLI0122E", "Invalid parameter number.");
    return SQL_ERROR;
  }
  if (io != SQL_PARAM_INPUT && io != SQL_PARAM_OUTPUT && io != SQL_PARAM_INPUT_OUTPUT) {
    cli_diag(s, "HY105", DB2LITE_NATIVE_CLI, "CLI0131E", "Invalid parameter type.");
    return SQL_ERROR;
  }
  SQLSMALLINT eff = ctype == SQL_C_DEFAULT ? default_ctype(sqltype) : ctype;
  if (ctype_size(eff) < 0) {
    cli_diag(s, "HY003", DB2LITE_NATIVE_CLI, "CLI0135E", "Program type out of range.");
    return SQL_ERROR;
  }
  if (buflen < 0) {
    cli_diag(s, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
    return SQL_ERROR;
  }
  if (s->params.size() < num) s->params.resize(num);
  ParamBind& p = s->params[static_cast<size_t>(num - 1)];
  p.bound = true;
  p.io = io;
  p.ctype = ctype;
  p.sqltype = sqltype;
  p.colsize = colsize;
  p.digits = digits;
  p.buf = buf;
  p.buflen = buflen;
  p.ind = ind;
  return SQL_SUCCESS;
}

SQLRETURN SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* count) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!s->prepared) {
    cli_diag(s, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
    return SQL_ERROR;
  }
  if (count) *count = static_cast<SQLSMALLINT>(s->plan.nparams);
  return SQL_SUCCESS;
}

SQLRETURN SQLRowCount(SQLHSTMT hstmt, SQLLEN* count) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (count) *count = s->row_count;
  return SQL_SUCCESS;
}

SQLRETURN SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* name, SQLSMALLINT len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  std::string n;
  if (!get_text(name, len, kMaxNameLen, &n) || n.empty()) {
    cli_diag(s, "34000", DB2LITE_NATIVE_CLI, "CLI0114E", "Invalid cursor name.");
    return SQL_ERROR;
  }
  if (s->cursor != CursorState::None) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return SQL_ERROR;
  }
  for (Stmt* t : s->dbc->stmts) {
    if (t != s && strcasecmp(t->cursor_name.c_str(), n.c_str()) == 0) {
      cli_diag(s, "3C000", DB2LITE_NATIVE_CLI, "CLI0114E", "Duplicate cursor name.");
      return SQL_ERROR;
    }
  }
  s->cursor_name = n;
  return SQL_SUCCESS;
}

SQLRETURN SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* name, SQLSMALLINT cap, SQLSMALLINT* len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (put_text(s->cursor_name, name, cap, len)) return SQL_SUCCESS;
  cli_diag(s, "01004", 0, "CLI0002W", "Data truncated.");
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  SQLULEN v = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (v < 1 || v > static_cast<SQLULEN>(kMaxRowset)) break;
      s->row_array_size = v;
      return SQL_SUCCESS;
    case SQL_ROWSET_SIZE:
      if (v < 1 || v > static_cast<SQLULEN>(kMaxRowset)) break;
      s->rowset_size = v;
      return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: s->rows_fetched_ptr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: s->row_status_ptr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
      if (v < 1 || v > static_cast<SQLULEN>(kMaxParamSet)) break;
      s->paramset_size = v;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: s->params_processed_ptr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: s->param_status_ptr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_HOLD:
      if (v != SQL_CURSOR_HOLD_ON && v != SQL_CURSOR_HOLD_OFF) break;
      s->cursor_hold = v;
      return SQL_SUCCESS;
    case SQL_ATTR_DEFERRED_PREPARE:
      if (v != SQL_DEFERRED_PREPARE_ON && v != SQL_DEFERRED_PREPARE_OFF) break;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMOPT_ATOMIC:
    case SQL_ATTR_ROW_BIND_TYPE:
    case SQL_ATTR_PARAM_BIND_TYPE:
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      // Only the atomic, column-wise forms without offsets are offered.
      if ((attr == SQL_ATTR_PARAMOPT_ATOMIC && v == SQL_ATOMIC_YES) ||
          (attr != SQL_ATTR_PARAMOPT_ATOMIC && v == 0))
        return SQL_SUCCESS;
      cli_diag(s, "HYC00", DB2LITE_NATIVE_CLI, "CLI0150E", "Driver not capable.");
      return SQL_ERROR;
    case SQL_ATTR_CURSOR_TYPE:
      if (v == SQL_CURSOR_FORWARD_ONLY) return SQL_SUCCESS;
      cli_diag(s, "01S02", 0, "CLI0005W", "Option value changed.");
      return SQL_SUCCESS_WITH_INFO;
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_QUERY_TIMEOUT:
    case SQL_ATTR_MAX_ROWS:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
      return SQL_SUCCESS;
    default:
      cli_diag(s, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
  cli_diag(s, "HY024", DB2LITE_NATIVE_CLI, "CLI0191E", "Invalid attribute value.");
  return SQL_ERROR;
}

SQLRETURN SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER cap,
                         SQLINTEGER* len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!value) return SQL_SUCCESS;
  switch (attr) {
    case SQL_ATTR_ROW_ARRAY_SIZE: *static_cast<SQLULEN*>(value) = s->row_array_size; break;
    case SQL_ROWSET_SIZE: *static_cast<SQLULEN*>(value) = s->rowset_size; break;
    case SQL_ATTR_PARAMSET_SIZE: *static_cast<SQLULEN*>(value) = s->paramset_size; break;
    case SQL_ATTR_ROWS_FETCHED_PTR: *static_cast<SQLULEN**>(value) = s->rows_fetched_ptr; break;
    case SQL_ATTR_ROW_STATUS_PTR: *static_cast<SQLUSMALLINT**>(value) = s->row_status_ptr; break;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: *static_cast<SQLULEN**>(value) = s->params_processed_ptr; break;
    case SQL_ATTR_CURSOR_HOLD: *static_cast<SQLULEN*>(value) = s->cursor_hold; break;
    case SQL_ATTR_DEFERRED_PREPARE: *static_cast<SQLULEN*>(value) = SQL_DEFERRED_PREPARE_OFF; break;
    case SQL_ATTR_CURSOR_TYPE: *static_cast<SQLULEN*>(value) = SQL_CURSOR_FORWARD_ONLY; break;
    default:
      cli_diag(s, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

}  // extern "C"
