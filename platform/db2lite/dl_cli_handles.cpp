// dl_cli_handles.cpp -- the CLI's handles and diagnostics: SQLAllocHandle,
// SQLFreeHandle, the environment attributes, SQLGetDiagRec and
// SQLGetDiagField, and the text helpers every CLI file uses.
//
// Relies on dl_cli_impl.h for the handle objects (note 1 there) and on
// dl_conn.cpp and the statement files to close what a handle holds.
#include "dl_cli_impl.h"

#include <string.h>

#include <algorithm>
#include <new>

namespace dl {

namespace {
const char kPrefix[] = "[db2lite][CLI Driver]";

Handle* as_any(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return as_env(h);
    case SQL_HANDLE_DBC: return as_dbc(h);
    case SQL_HANDLE_STMT: return as_stmt(h);
    default: return nullptr;
  }
}
}  // namespace

Env* as_env(SQLHANDLE h) {
  Env* e = static_cast<Env*>(h);
  return (e && e->magic == kMagicEnv) ? e : nullptr;
}
Dbc* as_dbc(SQLHANDLE h) {
  Dbc* c = static_cast<Dbc*>(h);
  return (c && c->magic == kMagicDbc) ? c : nullptr;
}
Stmt* as_stmt(SQLHANDLE h) {
  Stmt* s = static_cast<Stmt*>(h);
  return (s && s->magic == kMagicStmt) ? s : nullptr;
}

void cli_diag(Handle* h, const char* state, int32_t native, const char* id,
              const std::string& text) {
  Diag d;
  d.state = state;
  d.native = native;
  d.text = std::string(kPrefix) + " " + id + "  " + text + "  SQLSTATE=" + state;
  h->diags.push_back(std::move(d));
}

void engine_diag(Handle* h, const DlDiag& dd) {
  Diag d;
  d.state = dd.sqlstate.size() == 5 ? dd.sqlstate : "HY000";
  d.native = dd.native;
  if (!dd.text.empty() && dd.text[0] == '[')
    d.text = dd.text;
  else
    d.text = std::string(kPrefix) + "[DB2LITE] " + dd.text;
  h->diags.push_back(std::move(d));
}

SQLRETURN sqlite_diag(Handle* h, sqlite3* db, int rc, const DlPlan* plan) {
  DlDiag dd;
  dl_map_error(db, rc, plan, &dd);
  if (dd.sqlstate.empty()) {
    dd.sqlstate = "HY000";
    dd.native = -1;
    dd.text = std::string("SQL0901N  The SQL statement failed: ") + sqlite3_errstr(rc) +
              ".  SQLSTATE=58004";
  }
  engine_diag(h, dd);
  return SQL_ERROR;
}

bool put_text(const std::string& s, SQLCHAR* out, SQLLEN cap, SQLSMALLINT* len_out) {
  if (len_out) *len_out = static_cast<SQLSMALLINT>(std::min<size_t>(s.size(), 32767));
  if (!out) return true;
  if (cap <= 0) return false;
  size_t n = std::min<size_t>(s.size(), static_cast<size_t>(cap - 1));
  memcpy(out, s.data(), n);
  out[n] = 0;
  return n == s.size();
}

bool get_text(const SQLCHAR* text, SQLLEN len, long max, std::string* out) {
  out->clear();
  if (!text) return len == 0 || len == SQL_NTS;
  size_t n;
  if (len == SQL_NTS) {
    const void* z = memchr(text, 0, static_cast<size_t>(max) + 1);
    if (!z) return false;
    n = static_cast<size_t>(static_cast<const SQLCHAR*>(z) - text);
  } else {
    if (len < 0 || len > max) return false;
    n = static_cast<size_t>(len);
  }
  out->assign(reinterpret_cast<const char*>(text), n);
  return true;
}

}  // namespace dl

using namespace dl;

extern "C" {

SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  *output = SQL_NULL_HANDLE;
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = new (std::nothrow) Env;
      if (!e) return SQL_ERROR;
      e->magic = kMagicEnv;
      e->type = SQL_HANDLE_ENV;
      *output = e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Env* e = as_env(input);
      if (!e) return SQL_INVALID_HANDLE;
      clear_diags(e);
      Dbc* c = new (std::nothrow) Dbc;
      if (!c) {
        cli_diag(e, "HY001", DB2LITE_NATIVE_CLI, "CLI0120E", "Memory allocation failure.");
        return SQL_ERROR;
      }
      c->magic = kMagicDbc;
      c->type = SQL_HANDLE_DBC;
      c->env = e;
      e->dbcs.push_back(c);
      *output = c;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Dbc* c = as_dbc(input);
      if (!c) return SQL_INVALID_HANDLE;
      clear_diags(c);
      if (!c->connected) {
        cli_diag(c, "08003", DB2LITE_NATIVE_CLI, "CLI0106E", "Connection is closed.");
        return SQL_ERROR;
      }
      Stmt* s = new (std::nothrow) Stmt;
      if (!s) {
        cli_diag(c, "HY001", DB2LITE_NATIVE_CLI, "CLI0120E", "Memory allocation failure.");
        return SQL_ERROR;
      }
      s->magic = kMagicStmt;
      s->type = SQL_HANDLE_STMT;
      s->dbc = c;
      s->cursor_name = "SQLCUR" + std::to_string(c->next_cursor++);
      c->stmts.push_back(s);
      *output = s;
      return SQL_SUCCESS;
    }
    default: {
      Handle* h = as_any(SQL_HANDLE_DBC, input);
      if (!h) return SQL_INVALID_HANDLE;
      clear_diags(h);
      cli_diag(h, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
    }
  }
}

SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = as_env(handle);
      if (!e) return SQL_INVALID_HANDLE;
      clear_diags(e);
      if (!e->dbcs.empty()) {
        cli_diag(e, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
        return SQL_ERROR;
      }
      e->magic = kMagicDead;
      delete e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Dbc* c = as_dbc(handle);
      if (!c) return SQL_INVALID_HANDLE;
      clear_diags(c);
      if (c->connected) {
        cli_diag(c, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
        return SQL_ERROR;
      }
      auto& v = c->env->dbcs;
      v.erase(std::remove(v.begin(), v.end(), c), v.end());
      c->magic = kMagicDead;
      delete c;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Stmt* s = as_stmt(handle);
      if (!s) return SQL_INVALID_HANDLE;
      stmt_close_cursor(s);
      stmt_unprepare(s);
      auto& v = s->dbc->stmts;
      v.erase(std::remove(v.begin(), v.end(), s), v.end());
      s->magic = kMagicDead;
      delete s;
      return SQL_SUCCESS;
    }
    default:
      return SQL_INVALID_HANDLE;
  }
}

SQLRETURN SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  Env* e = as_env(env);
  if (!e) return SQL_INVALID_HANDLE;
  clear_diags(e);
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION:
      e->odbc_version = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
      return SQL_SUCCESS;
    case SQL_ATTR_OUTPUT_NTS:
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
      return SQL_SUCCESS;
    default:
      cli_diag(e, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
}

SQLRETURN SQLGetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len,
                        SQLINTEGER* len_out) {
  Env* e = as_env(env);
  if (!e) return SQL_INVALID_HANDLE;
  clear_diags(e);
  if (!value) return SQL_SUCCESS;
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION: *static_cast<SQLINTEGER*>(value) = e->odbc_version; break;
    case SQL_ATTR_OUTPUT_NTS: *static_cast<SQLINTEGER*>(value) = SQL_TRUE; break;
    default:
      cli_diag(e, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                        SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT cap, SQLSMALLINT* len) {
  Handle* h = as_any(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (rec < 1 || cap < 0) return SQL_ERROR;
  if (static_cast<size_t>(rec) > h->diags.size()) return SQL_NO_DATA;
  const Diag& d = h->diags[static_cast<size_t>(rec - 1)];
  if (state) {
    memcpy(state, d.state.c_str(), 5);
    state[5] = 0;
  }
  if (native) *native = d.native;
  bool fit = put_text(d.text, msg, cap, len);
  return (fit || !msg) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT field,
                          SQLPOINTER value, SQLSMALLINT cap, SQLSMALLINT* len) {
  Handle* h = as_any(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (!value) return SQL_ERROR;
  if (rec == 0) {
    switch (field) {
      case SQL_DIAG_NUMBER:
        *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(h->diags.size());
        return SQL_SUCCESS;
      case SQL_DIAG_ROW_COUNT: {
        Stmt* s = as_stmt(handle);
        if (!s) return SQL_ERROR;
        *static_cast<SQLLEN*>(value) = s->row_count;
        return SQL_SUCCESS;
      }
      default:
        return SQL_ERROR;
    }
  }
  if (rec < 0) return SQL_ERROR;
  if (static_cast<size_t>(rec) > h->diags.size()) return SQL_NO_DATA;
  const Diag& d = h->diags[static_cast<size_t>(rec - 1)];
  switch (field) {
    case SQL_DIAG_SQLSTATE:
      return put_text(d.state, static_cast<SQLCHAR*>(value), cap, len) ? SQL_SUCCESS
                                                                       : SQL_SUCCESS_WITH_INFO;
    case SQL_DIAG_NATIVE: *static_cast<SQLINTEGER*>(value) = d.native; return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
      return put_text(d.text, static_cast<SQLCHAR*>(value), cap, len) ? SQL_SUCCESS
                                                                      : SQL_SUCCESS_WITH_INFO;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return put_text(d.state.compare(0, 2, "IM") == 0 ? "ODBC 3.0" : "ISO 9075",
                      static_cast<SQLCHAR*>(value), cap, len)
                 ? SQL_SUCCESS
                 : SQL_SUCCESS_WITH_INFO;
    default:
      return SQL_ERROR;
  }
}

}  // extern "C"
