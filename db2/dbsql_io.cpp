// dbsql_io.cpp -- statements on raw CLI handles, one-shot SQL with the
// mapping of SQLSTATEs to status codes, and the end of a unit of work.
//
// Divisions:
//   1. diagnostics of a raw handle
//   2. open, prepare, free
//   3. execution modes and block fetch (db_odbc_execute_stmt, db_fetch_rows)
//   4. one-shot SQL text (db_execute_ddlsql, db_odbc_execute_ddlsql)
//   5. commit and rollback
//
// Notes:
//   1. A raw handle belongs to its caller, who frees it with db_free_stmt;
//      the execution functions never free it.
//   2. Modes 2 and 7 leave the unit of work open; every other mode commits.
//   3. The end of rows is 110 (a positive status) from the raw fetches and
//      records nothing.
// Relies on db2lite.h for the CLI and the reporters of db_stream.cpp.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "dbsql_io.h"
#include "svr_services.h"

namespace {

void set_message(DB_DIAG_RECORD* d, const char* format, int rc) {
  snprintf(d->message, sizeof d->message, format, rc);
}

bool state_is(const DB_DIAG_RECORD& d, const char* state) {
  return strcasecmp(d.sqlstate, state) == 0;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// When the statement text begins with the word DROP: true, with the kind of
// object it drops ("trigger", "procedure", ...) lower-cased into kind (at
// most cap - 1 letters; "object" when no word follows). False otherwise.
bool dropped_kind(const char* sql, char* kind, size_t cap) {
  while (is_space(*sql)) ++sql;
  if (strncasecmp(sql, "DROP", 4) != 0 || !is_space(sql[4])) return false;
  sql += 4;
  while (is_space(*sql)) ++sql;
  if (strncasecmp(sql, "SPECIFIC", 8) == 0 && is_space(sql[8])) {
    sql += 8;
    while (is_space(*sql)) ++sql;
  }
  size_t len = 0;
  for (; len + 1 < cap && isalpha((unsigned char)sql[len]); ++len)
    kind[len] = (char)tolower((unsigned char)sql[len]);
  kind[len] = '\0';
  if (len == 0) snprintf(kind, cap, "object");
  return true;
}

}  // namespace

// ---- 1. diagnostics ------------------------------------------------------------

DB_DIAG_RECORD db_get_diag_record(DB_INSTANCE* instance, const SQLHSTMT* stmt, int32_t rc) {
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = rc;
  SQLSMALLINT type = SQL_HANDLE_STMT;
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (stmt != nullptr) h = *stmt;
  else if (instance != nullptr) {
    type = SQL_HANDLE_DBC;
    h = instance->hdbc;
  }
  if (h == SQL_NULL_HANDLE) return d;
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLRETURN r = SQLGetDiagRec(type, h, 1, (SQLCHAR*)d.sqlstate, &native, (SQLCHAR*)d.message,
                              (SQLSMALLINT)(sizeof d.message - 1), &len);
  if (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO) d.native = native;
  d.sqlstate[5] = '\0';
  d.message[sizeof d.message - 1] = '\0';
  return d;
}

// ---- 2. open, prepare, free ----------------------------------------------------

int32_t db_open_cursor(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* out) {
  *out = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, out);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
    rc = SQLSetStmtAttr(*out, SQL_ATTR_DEFERRED_PREPARE, (SQLPOINTER)SQL_DEFERRED_PREPARE_OFF, 0);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return 0;
  fprintf(stderr, "db_open_cursor Open Error (%d).\n", (int)rc);
  // a failed allocation leaves no statement: the connection says why
  DB_DIAG_RECORD d = *out != SQL_NULL_HSTMT ? db_get_diag_record(instance, out, rc)
                                            : db_get_diag_record(instance, nullptr, rc);
  if (stream != nullptr) db_stream_report_dbms_error(stream, d);
  else db_report_dbms_error(instance, d);
  return SE_DB_IO_ERROR;
}

int32_t db_prepare_sql_text(SQLHSTMT stmt, const char* sql) {
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? 0 : rc;
}

int32_t db_prepare_stmt(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* out, const char* sql) {
  int32_t status = db_open_cursor(instance, stream, out);
  if (status != 0) return status;
  return db_prepare_sql_text(*out, sql);
}

void db_free_stmt(SQLHSTMT* stmt) {
  if (stmt == nullptr || *stmt == SQL_NULL_HSTMT) return;
  SQLFreeStmt(*stmt, SQL_DROP);
  *stmt = SQL_NULL_HSTMT;
}

// ---- 3. execution modes and block fetch -------------------------------------------

int32_t db_odbc_execute_stmt(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t execute, int32_t n,
                             SQLULEN* rows, int32_t mode) {
  if (execute) {
    SQLULEN processed = 0;
    if (mode == DB_MODE_ARRAY) {
      if (n < 1) return 0;
      SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)n, 0);
      if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
        rc = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
        set_message(&d, "db_odbc_execute_stmt:: SQLSetStmtAttr failed for (%d)\n", rc);
        db_report_dbms_error(instance, d);
        return SE_DB_IO_ERROR;
      }
    }
    SQLRETURN rc = SQLExecute(stmt);
    if (mode == DB_MODE_ARRAY) {
      // The counter lives on this frame: the statement must not keep its
      // address for a later execution.
      SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
      SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)1, 0);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
      static const struct { const char* state; int32_t status; } kMap[] = {
          {"42S22", SE_ATTR_NOEXIST}, {"37000", SE_SQL_SYNTAX},   {"42502", SE_NO_PERMISSIONS},
          {"42S02", SE_TABLE_NOEXIST}, {"42S01", SE_TABLE_EXISTS}, {"42S11", SE_INDEX_EXISTS},
      };
      for (const auto& m : kMap)
        if (state_is(d, m.state)) return m.status;
      if (rc == SQL_INVALID_HANDLE) {
        d.native = 112;
        set_message(&d, "db_odbc_execute_stmt::Invalid ODBC handle (%d)\n", rc);
      } else if (rc == SQL_NO_DATA) {
        d.native = 110;
        set_message(&d, "db_odbc_execute_stmt::No data found (%d)\n", rc);
      }
      db_report_dbms_error(instance, d);
      return SE_DB_IO_ERROR;
    }
  }

  int32_t status = 0;
  if (mode == DB_MODE_FETCH) {
    if (n <= 1) {
      SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (rows != nullptr) *rows = 1;
      } else if (rc == SQL_NO_DATA) {
        status = DB_NO_DATA_BLOCK_END;
      } else {
        DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
        set_message(&d, "db_odbc_execute_stmt:: SQLFetch failed for (%d) \n", rc);
        db_report_dbms_error(instance, d);
        status = SE_DB_IO_ERROR;
      }
    } else {
      // The row-status array holds DB_MAX_ROWSET entries; a longer rowset
      // would be written past it.
      if (n > DB_MAX_ROWSET) return SE_INVALID_PARAM;
      SQLUSMALLINT row_status[DB_MAX_ROWSET];
      SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)n, 0);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return SE_DB_IO_ERROR;
      SQLULEN fetched = 0;
      rc = SQLExtendedFetch(stmt, SQL_FETCH_NEXT, n, &fetched, row_status);
      if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (rows != nullptr) *rows = fetched;
      } else if (rc == SQL_NO_DATA) {
        status = DB_NO_DATA_BLOCK_END;
      } else {
        DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
        set_message(&d, "db_odbc_execute_stmt::SQLExtendedFetch failed for (%d) \n", rc);
        db_report_dbms_error(instance, d);
        status = SE_DB_IO_ERROR;
      }
    }
  }

  if (mode != DB_MODE_EXEC && mode != DB_MODE_ARRAY) {
    if (db_commit_ddlsql(instance) != 0) status = SE_DB_IO_ERROR;
  }
  return status;
}

int32_t db_execute_fetch(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t execute, int32_t n,
                         SQLULEN* rows) {
  return db_odbc_execute_stmt(instance, stmt, execute, n, rows, DB_MODE_FETCH);
}

int32_t db_execute_stmt(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t n, int32_t mode) {
  SQLULEN rows = 0;
  return db_odbc_execute_stmt(instance, stmt, 1, n, &rows, mode);
}

int32_t db_fetch_rows(SQLHSTMT stmt, int32_t n, SQLULEN* rows) {
  if (n <= 1) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      if (rows != nullptr) *rows = 1;
      return 0;
    }
    return rc == SQL_NO_DATA ? DB_NO_DATA_BLOCK_END : SE_DB_IO_ERROR;
  }
  std::unique_ptr<SQLUSMALLINT, decltype(&free)> row_status(
      static_cast<SQLUSMALLINT*>(calloc((size_t)n, sizeof(SQLUSMALLINT))), &free);
  SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)n, 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return SE_DB_IO_ERROR;
  SQLULEN fetched = 0;
  rc = SQLExtendedFetch(stmt, SQL_FETCH_NEXT, n, &fetched, row_status.get());
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    if (rows != nullptr) *rows = fetched;
    return 0;
  }
  return rc == SQL_NO_DATA ? DB_NO_DATA_BLOCK_END : SE_DB_IO_ERROR;
}

// ---- 4. one-shot SQL text --------------------------------------------------------------

int32_t db_execute_ddlsql(DB_INSTANCE* instance, const char* sql, int32_t report, int32_t mode) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t r = db_prepare_stmt(instance, nullptr, &stmt, sql);
  if (r == 0) {
    SQLRETURN rc = SQLExecute(stmt);
    r = (rc == SQL_SUCCESS_WITH_INFO) ? 0 : rc;
  }
  if (r == 0) {
    if (mode == DB_MODE_EXEC_COMMIT || mode == DB_MODE_DDL_COMMIT) {
      if (db_commit_ddlsql(instance) != 0) {
        db_free_stmt(&stmt);
        return SE_DB_IO_ERROR;
      }
    }
    db_free_stmt(&stmt);
    return 0;
  }

  DB_DIAG_RECORD d = stmt != SQL_NULL_HSTMT ? db_get_diag_record(instance, &stmt, r)
                                            : db_get_diag_record(instance, nullptr, r);
  db_free_stmt(&stmt);
  if (r == SQL_NO_DATA) {
    if (report) db_report_dbms_error(instance, d);
    return SE_DB_NO_DATA;
  }
  // An undefined name is harmless only when dropping (a trigger or procedure
  // that was never made): a CREATE that names an undefined type, function or
  // schema has failed. The warning names the kind of object the DROP names.
  char kind[24];
  if (state_is(d, "42704") && dropped_kind(sql, kind, sizeof kind)) {
    fprintf(stderr, "Warning: The %s does not exist \n", kind);
    return 0;
  }
  if (report) db_report_dbms_error(instance, d);
  static const struct { const char* state; int32_t status; } kStates[] = {
      {"42S22", SE_ATTR_NOEXIST},  {"42S02", SE_TABLE_NOEXIST}, {"42502", SE_NO_PERMISSIONS},
      {"42S21", SE_COLUMN_EXISTS}, {"42S12", SE_INDEX_NOEXIST}, {"37000", SE_INDEX_NOEXIST},
      {"42S01", SE_TABLE_EXISTS},  {"08004", SE_LOGIN_NOT_ALLOWED}, {"42S11", SE_INDEX_EXISTS},
  };
  for (const auto& m : kStates)
    if (state_is(d, m.state)) return m.status;
  if (state_is(d, "42704")) return SE_TABLE_NOEXIST;
  if (state_is(d, "38613")) return SE_DB_CONSTRAINT;
  if (d.native == -601) return SE_TABLE_EXISTS;
  if (d.native == -159) return SE_TABLE_NOEXIST;
  if (state_is(d, "01504")) {
    fprintf(stderr, "db_execute_ddlsql SQL Stmt: <%s>\n", sql);
    return 0;
  }
  if (d.native == -289) return SE_LOCK_CONFLICT;
  if (d.native == -523) return SE_TABLE_NOEXIST;
  fprintf(stderr, "db_execute_ddlsql SQL Stmt: <%s>\n", sql);
  return SE_DB_IO_ERROR;
}

int32_t db_odbc_execute_ddlsql(DB_INSTANCE* instance, const char* sql, int32_t report, int32_t mode) {
  DB_CLI_STMT w;
  db_cli_init(instance, &w);
  int32_t status = db_cli_allocate(&w);
  if (status != 0) return status;
  int32_t result = SQLExecDirect(w.hstmt, (SQLCHAR*)sql, SQL_NTS);
  if (result == SQL_SUCCESS && (mode == DB_MODE_EXEC_COMMIT || mode == DB_MODE_DDL_COMMIT)) {
    result = SQLEndTran(SQL_HANDLE_DBC, instance->hdbc, SQL_COMMIT);
    w.handle_kind = SQL_HANDLE_DBC;
  }
  if (result == SQL_ERROR || result == SQL_SUCCESS_WITH_INFO) {
    db_cli_error(&w);
    SES_print_debug(stderr, "db_odbc_execute_ddlsql: %d, %s\ndb_odbc_execute_ddlsql: %s\n",
                    (int)w.native, w.sqlstate, w.message);
    if (db_cli_sqlstate_is(&w, "42502")) result = SE_NO_PERMISSIONS;
    else if (db_cli_sqlstate_is(&w, "42S02") || db_cli_sqlstate_is(&w, "42704")) result = SE_TABLE_NOEXIST;
    else result = SE_DB_IO_ERROR;
    if (report) db_cli_set_ctx_error(instance, &w);
  } else if (result == SQL_NO_DATA) {
    result = 0;
  }
  db_cli_free(&w);
  return result;
}

// ---- 5. commit and rollback --------------------------------------------------------------

namespace {

int32_t end_tran(DB_INSTANCE* instance, SQLSMALLINT how, const char* op) {
  DB_CLI_STMT w;
  db_cli_init(instance, &w);
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, instance->hdbc, how);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return 0;
  db_cli_error(&w);
  SES_print_debug(stderr, "%s: %d, %s\n%s: %s\n", op, (int)w.native, w.sqlstate, op, w.message);
  // the failure is the instance's last error, so that the client can read it
  db_cli_set_ctx_error(instance, &w);
  return SE_DB_IO_ERROR;
}

}  // namespace

int32_t db_commit_ddlsql(DB_INSTANCE* instance) {
  return end_tran(instance, SQL_COMMIT, "db_commit_ddlsql");
}

int32_t db_rollback_ddlsql(DB_INSTANCE* instance) {
  return end_tran(instance, SQL_ROLLBACK, "db_rollback_ddlsql");
}

void db_ctx_default_error(DB_INSTANCE* instance) {
  if (instance != nullptr && instance->xerr.code == 0) instance->xerr.code = SE_DB_IO_ERROR;
}
