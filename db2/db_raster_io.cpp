// db_raster_io.cpp -- the statement helper of the raster catalogue
// (db_raster_io.h).
//
// Relies on the CLI (db2lite.h) and on the error reporters of dbsql_io.h.
#include "db_raster_io.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>


namespace rasio {

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

Stmt::Stmt(DB_INSTANCE* instance, DB_STREAM* stream) : instance_(instance), stream_(stream) {
  memset(&diag_, 0, sizeof diag_);
}

Stmt::~Stmt() { db_free_stmt(&stmt_); }

SQLHSTMT Stmt::release() {
  SQLHSTMT h = stmt_;
  stmt_ = SQL_NULL_HSTMT;
  return h;
}

int32_t Stmt::fail(SQLRETURN rc) {
  if (stmt_ != SQL_NULL_HSTMT) diag_ = db_get_diag_record(instance_, &stmt_, rc);
  else diag_ = db_get_diag_record(instance_, nullptr, rc);
  return SE_DB_IO_ERROR;
}

int32_t Stmt::prepare(const std::string& sql) {
  db_free_stmt(&stmt_);
  param_ = col_ = 0;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance_->hdbc, &stmt_);
  if (!ok(rc)) return fail(rc);
  rc = SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::bind_int(const int32_t* value, SQLLEN* ind) {
  SQLRETURN rc = SQLBindParameter(stmt_, ++param_, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                  (SQLPOINTER)value, 0, ind != nullptr ? ind : &ind_int_);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::bind_double(const double* value) {
  SQLRETURN rc = SQLBindParameter(stmt_, ++param_, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                  (SQLPOINTER)value, 0, &ind_int_);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::bind_text(const char* text, SQLULEN cap, SQLLEN* ind) {
  SQLRETURN rc = SQLBindParameter(stmt_, ++param_, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, cap, 0,
                                  (SQLPOINTER)text, (SQLLEN)cap, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::bind_blob(const uint8_t* data, SQLLEN* len) {
  SQLRETURN rc = SQLBindParameter(stmt_, ++param_, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB,
                                  (SQLULEN)*len, 0, (SQLPOINTER)data, *len, len);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::col_int(int32_t* value, SQLLEN* ind) {
  SQLRETURN rc = SQLBindCol(stmt_, ++col_, SQL_C_LONG, value, 0, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::col_double(double* value) {
  SQLRETURN rc = SQLBindCol(stmt_, ++col_, SQL_C_DOUBLE, value, 0, nullptr);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::col_text(char* out, SQLLEN cap, SQLLEN* ind) {
  SQLRETURN rc = SQLBindCol(stmt_, ++col_, SQL_C_CHAR, out, cap, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::col_blob(uint8_t* out, SQLLEN cap, SQLLEN* ind) {
  SQLRETURN rc = SQLBindCol(stmt_, ++col_, SQL_C_BINARY, out, cap, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::get_int(SQLUSMALLINT pos, int32_t* value, SQLLEN* ind) {
  *value = 0;
  SQLRETURN rc = SQLGetData(stmt_, pos, SQL_C_LONG, value, 0, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::get_text(SQLUSMALLINT pos, char* out, SQLLEN cap, SQLLEN* ind) {
  out[0] = '\0';
  SQLRETURN rc = SQLGetData(stmt_, pos, SQL_C_CHAR, out, cap, ind);
  return ok(rc) ? 0 : fail(rc);
}

int32_t Stmt::execute() {
  SQLRETURN rc = SQLExecute(stmt_);
  if (ok(rc)) return 0;
  if (rc == SQL_NO_DATA) return SE_DB_NO_DATA;
  return fail(rc);
}

int32_t Stmt::fetch() {
  truncated_ = false;
  SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_SUCCESS) return 0;
  if (rc == SQL_NO_DATA) return SE_FINISHED;
  if (rc == SQL_SUCCESS_WITH_INFO) {
    DB_DIAG_RECORD d = db_get_diag_record(instance_, &stmt_, rc);
    truncated_ = strcmp(d.sqlstate, "01004") == 0;
    return 0;
  }
  return fail(rc);
}

int32_t Stmt::close_cursor() {
  SQLRETURN rc = SQLFreeStmt(stmt_, SQL_CLOSE);
  return ok(rc) ? 0 : fail(rc);
}

bool Stmt::state_is(const char* sqlstate) const { return strcmp(diag_.sqlstate, sqlstate) == 0; }

int32_t Stmt::record() {
  if (stream_ != nullptr) db_stream_report_dbms_error(stream_, diag_);
  else db_report_dbms_error(instance_, diag_);
  return SE_DB_IO_ERROR;
}

int32_t ddl_state_status(const char* s) {
  static const struct { const char* state; int32_t status; } kMap[] = {
      {"42S02", SE_TABLE_NOEXIST}, {"42704", SE_TABLE_NOEXIST}, {"42S01", SE_TABLE_EXISTS},
      {"42S11", SE_INDEX_EXISTS},  {"42502", SE_NO_PERMISSIONS}, {"42501", SE_NO_PERMISSIONS},
      {"42S21", SE_COLUMN_EXISTS},
  };
  for (const auto& m : kMap)
    if (strcmp(s, m.state) == 0) return m.status;
  return 0;
}

int32_t exec_sql(DB_INSTANCE* instance, const std::string& sql, bool with_commit,
                 std::string* sqlstate) {
  Stmt st(instance);
  int32_t status = st.prepare(sql);
  if (status == 0) status = st.execute();
  if (sqlstate != nullptr) *sqlstate = st.sqlstate();
  if (status == SE_DB_IO_ERROR) {
    int32_t mapped = ddl_state_status(st.sqlstate());
    if (mapped != 0) return mapped;
    return st.record();
  }
  if (with_commit) {
    int32_t c = commit(instance);
    if (c != 0) return c;
  }
  return status;
}

int32_t commit(DB_INSTANCE* instance) { return db_commit_ddlsql(instance); }
void rollback(DB_INSTANCE* instance) { db_rollback_ddlsql(instance); }

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }

std::string fmt(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list ap2;
  va_copy(ap2, ap);
  int n = vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  std::string out(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&out[0], (size_t)n + 1, format, ap2);
  va_end(ap2);
  return out;
}

int32_t now() { return (int32_t)time(nullptr); }

}  // namespace rasio
