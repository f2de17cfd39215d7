// db_cli_stmt.cpp -- the statement wrapper: a CLI statement handle kept with
// its bind positions and its last diagnostic in a caller-owned DB_CLI_STMT.
//
// Order of use: db_cli_init; db_cli_prepare (or db_cli_allocate and
// db_cli_describe_columns); db_cli_bind_by_pos for parameters 1, 2, ...;
// db_cli_define_by_pos for columns 1, 2, ...; db_cli_execute_stmt;
// db_cli_fetch until -4; db_cli_close_cursor before the same statement runs
// again, or db_cli_free. A wrapper may be freed in any state.
//
// On an error the wrapper keeps the diagnostic; the caller copies it into
// the instance or the stream (db_cli_set_ctx_error, db_cli_set_stream_error).
// Relies on db2lite.h for the CLI and on SES_print_debug for debug lines.
#include <stdio.h>
#include <string.h>

#include "dbsql_io.h"
#include "svr_services.h"

namespace {

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

// Reads the diagnostic and prints the operation's debug line.
int32_t cli_fail(DB_CLI_STMT* w, const char* op, int32_t result) {
  db_cli_error(w);
  SES_print_debug(stderr, "%s: %d, %s\n%s: %s\n", op, (int)w->native, w->sqlstate, op, w->message);
  return result;
}

}  // namespace

void db_cli_init(DB_INSTANCE* instance, DB_CLI_STMT* w) {
  memset(w, 0, sizeof *w);
  w->hdbc = instance != nullptr ? instance->hdbc : SQL_NULL_HDBC;
  w->hstmt = SQL_NULL_HSTMT;
  w->handle_kind = SQL_HANDLE_DBC;
  w->char_ind = SQL_NTS;
}

int32_t db_cli_allocate(DB_CLI_STMT* w) {
  if (w->hstmt != SQL_NULL_HSTMT) return 0;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, w->hdbc, &w->hstmt);
  if (rc == SQL_SUCCESS) {
    w->handle_kind = SQL_HANDLE_STMT;
    return 0;
  }
  w->hstmt = SQL_NULL_HSTMT;
  // the allocation failed on the connection: its diagnostic says why
  w->handle_kind = SQL_HANDLE_DBC;
  cli_fail(w, "db_cli_allocate", rc);
  return rc;
}

int32_t db_cli_prepare(DB_CLI_STMT* w, const char* sql) {
  int32_t status = db_cli_allocate(w);
  if (status != 0) return status;
  w->handle_kind = SQL_HANDLE_STMT;
  SQLRETURN rc = SQLPrepare(w->hstmt, (SQLCHAR*)sql, SQL_NTS);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    db_cli_error(w);
    return db_cli_sqlstate_is(w, "42S02") ? SE_TABLE_NOEXIST : SE_DB_IO_ERROR;
  }
  w->prepared = 1;
  return 0;
}

int32_t db_cli_bind_by_pos(DB_CLI_STMT* w, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                           SQLULEN column_size, SQLPOINTER value, SQLLEN buffer_len,
                           SQLLEN* indicator) {
  w->param_pos++;
  if (indicator == nullptr)
    indicator = (sql_type == SQL_CHAR || sql_type == SQL_VARCHAR) ? &w->char_ind : &w->param_ind;
  SQLRETURN rc = SQLBindParameter(w->hstmt, (SQLUSMALLINT)w->param_pos, SQL_PARAM_INPUT, c_type,
                                  sql_type, column_size, 0, value, buffer_len, indicator);
  if (rc != SQL_SUCCESS) return cli_fail(w, "db_cli_bind_by_pos", SE_DB_IO_ERROR);
  return 0;
}

int32_t db_cli_define_by_pos(DB_CLI_STMT* w, SQLSMALLINT c_type, SQLPOINTER target,
                             SQLLEN buffer_len, SQLLEN* indicator) {
  w->col_pos++;
  if (indicator == nullptr) indicator = &w->col_ind;
  SQLRETURN rc = SQLBindCol(w->hstmt, (SQLUSMALLINT)w->col_pos, c_type, target, buffer_len, indicator);
  if (rc != SQL_SUCCESS) return cli_fail(w, "db_cli_define_by_pos", SE_DB_IO_ERROR);
  return 0;
}

int32_t db_cli_set_bind_pos(DB_CLI_STMT* w, int32_t n) {
  if (n <= 0) return 0;
  w->param_pos = n - 1;
  return 1;
}

int32_t db_cli_set_define_pos(DB_CLI_STMT* w, int32_t n) {
  if (n <= 0) return 0;
  w->col_pos = n - 1;
  return 1;
}

int32_t db_cli_execute_stmt(DB_CLI_STMT* w, int32_t rows) {
  if (rows > 1) {
    if (SQLSetStmtAttr(w->hstmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)rows, 0) != SQL_SUCCESS ||
        SQLSetStmtAttr(w->hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &w->rows_fetched, 0) != SQL_SUCCESS)
      return cli_fail(w, "db_cli_execute_stmt:SQLSetStmtAttr", SE_DB_IO_ERROR);
  }
  SQLRETURN rc = SQLExecute(w->hstmt);
  if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return 0;
  return cli_fail(w, "db_cli_execute_stmt", SE_DB_IO_ERROR);
}

int32_t db_cli_fetch(DB_CLI_STMT* w) {
  w->col_pos = 0;
  SQLRETURN rc = SQLFetchScroll(w->hstmt, SQL_FETCH_NEXT, 0);
  if (rc == SQL_NO_DATA) return SE_FINISHED;
  if (rc == SQL_SUCCESS) return 0;
  return cli_fail(w, "db_cli_fetch", SE_DB_IO_ERROR);
}

int32_t db_cli_close_cursor(DB_CLI_STMT* w) {
  if (SQLFreeStmt(w->hstmt, SQL_CLOSE) != SQL_SUCCESS) {
    db_cli_error(w);
    return SE_DB_IO_ERROR;
  }
  db_cli_reset(w);
  return 0;
}

void db_cli_reset(DB_CLI_STMT* w) {
  w->param_pos = 0;
  w->col_pos = 0;
  w->rows_fetched = 0;
  w->col_ind = 0;
  w->param_ind = 0;
  w->char_ind = SQL_NTS;
  w->prepared = 0;
}

void db_cli_free(DB_CLI_STMT* w) {
  if (w->hstmt == SQL_NULL_HSTMT) return;
  SQLRETURN rc = SQLFreeHandle(SQL_HANDLE_STMT, w->hstmt);
  if (rc != SQL_SUCCESS) {
    SES_print_debug(stderr, "db_cli_free: %d\n", (int)rc);
    return;
  }
  w->hstmt = SQL_NULL_HSTMT;
  db_cli_reset(w);
}

int32_t db_cli_is_prepared(const DB_CLI_STMT* w) { return w->prepared; }

int32_t db_cli_sqlstate_is(const DB_CLI_STMT* w, const char* sqlstate) {
  return sqlstate != nullptr && strcmp(w->sqlstate, sqlstate) == 0 ? 1 : 0;
}

void db_cli_error(DB_CLI_STMT* w) {
  w->native = 0;
  w->message[0] = '\0';
  w->sqlstate[0] = '\0';
  SQLHANDLE h;
  if (w->handle_kind == SQL_HANDLE_DBC) h = w->hdbc;
  else if (w->handle_kind == SQL_HANDLE_STMT) h = w->hstmt;
  else {
    SES_print_debug(stderr, "db_cli_error: invalid SQL handle\n");
    return;
  }
  SQLSMALLINT len = 0;
  SQLRETURN rc = SQLGetDiagRec(w->handle_kind, h, 1, (SQLCHAR*)w->sqlstate, &w->native,
                               (SQLCHAR*)w->message, (SQLSMALLINT)sizeof w->message, &len);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    w->native = 0;
    w->message[0] = '\0';
    w->sqlstate[0] = '\0';
  }
  w->sqlstate[5] = '\0';
  w->message[sizeof w->message - 1] = '\0';
}

int32_t db_cli_describe_columns(DB_CLI_STMT* w, const char* catalog, const char* schema,
                                const char* table, const char* column) {
  (void)catalog;
  if (table == nullptr) return SE_INVALID_POINTER;
  SQLRETURN rc = SQLColumns(w->hstmt, nullptr, 0, (SQLCHAR*)schema,
                            schema ? (SQLSMALLINT)strlen(schema) : 0, (SQLCHAR*)table,
                            (SQLSMALLINT)strlen(table), (SQLCHAR*)column,
                            column ? (SQLSMALLINT)strlen(column) : 0);
  if (rc != SQL_SUCCESS) return cli_fail(w, "db_cli_describe_columns", SE_DB_IO_ERROR);
  return 0;
}

int32_t db_cli_column_nullable(DB_INSTANCE* instance, const char* catalog, const char* schema,
                               const char* table, const char* column, int32_t* answer) {
  if (table == nullptr || column == nullptr || answer == nullptr) return SE_INVALID_POINTER;
  DB_CLI_STMT w;
  db_cli_init(instance, &w);
  SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
  SQLLEN ind = 0;
  int32_t status = db_cli_allocate(&w);
  if (status == 0) status = db_cli_describe_columns(&w, catalog, schema, table, column);
  if (status == 0) status = db_cli_set_define_pos(&w, 11) >= 0 ? 0 : status;
  if (status == 0) status = db_cli_define_by_pos(&w, SQL_C_SSHORT, &nullable, 0, &ind);
  if (status == 0) status = db_cli_fetch(&w);
  db_cli_free(&w);
  if (status != 0) return status;
  if (nullable != SQL_NO_NULLS && nullable != SQL_NULLABLE) return -1;
  *answer = nullable;
  return 0;
}

void db_cli_set_stream_error(const DB_CLI_STMT* w, DB_STREAM* stream) {
  if (stream == nullptr) return;
  stream->xerr.code = SE_DB_IO_ERROR;
  stream->xerr.native = w->native;
  copy_text(stream->xerr.msg, sizeof stream->xerr.msg, w->message);
  copy_text(stream->xerr.ext_msg, sizeof stream->xerr.ext_msg, w->sqlstate);
}

void db_cli_set_ctx_error(DB_INSTANCE* instance, const DB_CLI_STMT* w) {
  if (instance == nullptr) return;
  instance->xerr.code = SE_DB_IO_ERROR;
  instance->xerr.native = w->native;
  copy_text(instance->xerr.msg, sizeof instance->xerr.msg, w->message);
  copy_text(instance->xerr.ext_msg, sizeof instance->xerr.ext_msg, w->sqlstate);
}
