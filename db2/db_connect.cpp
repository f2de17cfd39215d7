// db_connect.cpp -- the instance's DB2 connection: connect with autocommit
// off, the driver check, the function path, and the disconnect.
//
// Notes:
//   1. The connection runs with autocommit off for its whole life; every
//      change ends with an explicit commit or rollback.
//   2. A failure leaves the handles allocated in the instance; the
//      disconnect (and DB_instance_close) release whatever is there, so a
//      half-open instance can always be closed.
//   3. The result record's rc is the outcome: 0 or 1 connected, -51 or -162
//      failed; after a DB2 failure it carries the diagnostic, whose SQLSTATE
//      the instance open maps further.
// Relies on db2lite.h for the CLI and the reporters of db_stream.cpp.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "dbsql_io.h"

namespace {

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

DB_DIAG_RECORD empty_diag(int32_t rc) {
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = rc;
  return d;
}

// Runs the function-path statement on a statement of its own. Each call
// must answer exactly SQL_SUCCESS.
bool set_function_path(DB_INSTANCE* instance, DB_DIAG_RECORD* result) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &stmt);
  if (rc != SQL_SUCCESS) {
    *result = db_get_diag_record(instance, nullptr, SE_DB_IO_ERROR);
    return false;
  }
  rc = SQLExecDirect(stmt, (SQLCHAR*)"set CURRENT FUNCTION PATH = CURRENT FUNCTION PATH, 'db2gse'",
                     SQL_NTS);
  if (rc != SQL_SUCCESS) {
    *result = db_get_diag_record(instance, &stmt, SE_DB_IO_ERROR);
    SQLFreeStmt(stmt, SQL_DROP);
    return false;
  }
  if (SQLFreeStmt(stmt, SQL_DROP) != SQL_SUCCESS) {
    *result = empty_diag(SE_DB_IO_ERROR);
    return false;
  }
  return true;
}

}  // namespace

void db_check_driver(DB_INSTANCE* instance, DB_DIAG_RECORD* result) {
  SQLUSMALLINT level = 0;
  if (SQLGetInfo(instance->hdbc, SQL_ODBC_API_CONFORMANCE, &level, sizeof level, nullptr) != SQL_SUCCESS) {
    fprintf(stderr, "Driver does not have required level 1 ODBC API support.\n");
    result->rc = SE_DB_IO_ERROR;
    return;
  }
  SQLUSMALLINT supported = 0;
  if (SQLGetFunctions(instance->hdbc, SQL_API_SQLDATASOURCES, &supported) != SQL_SUCCESS || !supported) {
    fprintf(stderr, "Driver does not have required level 2 ODBC API function SQLDataSources.\n");
    result->rc = SE_DB_IO_ERROR;
    return;
  }
  if (SQLGetInfo(instance->hdbc, SQL_ODBC_SQL_CONFORMANCE, &level, sizeof level, nullptr) != SQL_SUCCESS) {
    fprintf(stderr, "Driver does not have required core ODBC grammar support.\n");
    result->rc = SE_DB_IO_ERROR;
    return;
  }
  SQLUINTEGER positioned = 0;
  if (SQLGetInfo(instance->hdbc, SQL_POSITIONED_STATEMENTS, &positioned, sizeof positioned, nullptr) !=
          SQL_SUCCESS ||
      (positioned & SQL_PS_POSITIONED_UPDATE) == 0 || (positioned & SQL_PS_SELECT_FOR_UPDATE) == 0) {
    fprintf(stderr, "Driver does not have required positioned statement ODBC support.\n");
    result->rc = SE_DB_IO_ERROR;
    return;
  }

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLLEN prefix_len = 0, suffix_len = 0;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &stmt);
  if (rc == SQL_SUCCESS) {
    rc = SQLGetTypeInfo(stmt, SQL_VARCHAR);
    if (rc == SQL_SUCCESS_WITH_INFO) rc = SQL_SUCCESS;
  }
  if (rc == SQL_SUCCESS)
    rc = SQLBindCol(stmt, 4, SQL_C_CHAR, instance->literal_prefix, sizeof instance->literal_prefix, &prefix_len);
  if (rc == SQL_SUCCESS)
    rc = SQLBindCol(stmt, 5, SQL_C_CHAR, instance->literal_suffix, sizeof instance->literal_suffix, &suffix_len);
  if (rc == SQL_SUCCESS) {
    rc = SQLFetch(stmt);
    if (rc != SQL_SUCCESS) fprintf(stderr, "Error in determining driver's literal prefix and suffix\n");
  }
  if (rc != SQL_SUCCESS) {
    *result = stmt != SQL_NULL_HSTMT ? db_get_diag_record(instance, &stmt, rc)
                                     : db_get_diag_record(instance, nullptr, rc);
    if (stmt != SQL_NULL_HSTMT) SQLFreeStmt(stmt, SQL_DROP);
    fprintf(stderr, "DB_init error %ld\n", (long)rc);
    db_report_dbms_error(instance, *result);
    result->rc = SE_DB_IO_ERROR;
    return;
  }
  if (prefix_len == SQL_NULL_DATA) instance->literal_prefix[0] = '\0';
  if (suffix_len == SQL_NULL_DATA) instance->literal_suffix[0] = '\0';
  SQLFreeStmt(stmt, SQL_DROP);
  SQLUSMALLINT txn = 0;
  SQLGetInfo(instance->hdbc, SQL_TXN_CAPABLE, &txn, sizeof txn, nullptr);
  instance->trans_capable = 1;
}

void db_connect(DB_DIAG_RECORD* result, DB_INSTANCE* instance, const char* user,
                const char* password, char* database, size_t database_cap) {
  *result = empty_diag(0);

  // 1. which database
  if (database[0] == '\0') {
    const char* env = getenv("ZUL_DATABASE");
    copy_text(database, database_cap, env != nullptr ? env : SE_ADMIN_DATABASE);
  } else if (strcmp(database, "null=database") == 0) {
    copy_text(database, database_cap, instance->admin_database);
  } else if (strcasecmp(database, instance->admin_database) != 0) {
    result->rc = SE_NOT_ADMIN_DATABASE;
    return;
  }

  // 2, 3. environment and connection
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &instance->henv);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    instance->henv = SQL_NULL_HENV;
    fprintf(stderr, "db_connect (%s), Error allocating environment\n", database);
    *result = empty_diag(SE_DB_IO_ERROR);
    db_report_dbms_error(instance, *result);
    return;
  }
  rc = SQLAllocHandle(SQL_HANDLE_DBC, instance->henv, &instance->hdbc);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    instance->hdbc = SQL_NULL_HDBC;
    fprintf(stderr, "db_connect (%s), Error allocating connection\n", database);
    *result = empty_diag(SE_DB_IO_ERROR);
    db_report_dbms_error(instance, *result);
    return;
  }

  // 4. autocommit off
  rc = SQLSetConnectAttr(instance->hdbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
    fprintf(stderr, "db_connect (%s), Error setting SQL_AUTOCOMMIT option\n", database);

  // 5. connect
  // The texts go as terminated strings: a length cast to the CLI's 16 bits
  // would wrap for a long text and log in with a cut name or password.
  rc = SQLConnect(instance->hdbc, (SQLCHAR*)database, SQL_NTS, (SQLCHAR*)user, user ? SQL_NTS : 0,
                  (SQLCHAR*)password, password ? SQL_NTS : 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    *result = db_get_diag_record(instance, nullptr, rc);
    db_report_dbms_error(instance, *result);
    result->rc = SE_DB_IO_ERROR;
    return;
  }
  instance->connected = 1;

  // 6. driver check
  result->rc = rc;
  db_check_driver(instance, result);
  if (result->rc != SQL_SUCCESS && result->rc != SQL_SUCCESS_WITH_INFO) return;

  // 7. function path, also after a connect that answered with information:
  // without it the spatial functions would not resolve unqualified.
  if (user == nullptr || strcasecmp(user, "DB2GSE") != 0) {
    if (!set_function_path(instance, result)) {
      db_report_dbms_error(instance, *result);
      result->rc = SE_DB_IO_ERROR;
    }
  }
}

void db_disconnect(DB_DIAG_RECORD* result, DB_INSTANCE* instance) {
  *result = empty_diag(0);
  bool failed = false;
  if (instance->connected) {
    if (db_commit_ddlsql(instance) != 0) {
      // The work could not be made durable: say so, and end the connection
      // without it rather than keep a connection nobody will close.
      *result = db_get_diag_record(instance, nullptr, SE_DB_IO_ERROR);
      SQLEndTran(SQL_HANDLE_DBC, instance->hdbc, SQL_ROLLBACK);
      failed = true;
    }
    SQLRETURN rc = SQLDisconnect(instance->hdbc);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && !failed) {
      *result = db_get_diag_record(instance, nullptr, rc);
      db_report_dbms_error(instance, *result);
      failed = true;
    }
    instance->connected = 0;
  }
  if (instance->hdbc != SQL_NULL_HDBC) {
    if (SQLFreeHandle(SQL_HANDLE_DBC, instance->hdbc) != SQL_SUCCESS && !failed) {
      *result = db_get_diag_record(instance, nullptr, SE_DB_IO_ERROR);
      db_report_dbms_error(instance, *result);
      failed = true;
    }
    instance->hdbc = SQL_NULL_HDBC;
  }
  if (instance->henv != SQL_NULL_HENV) {
    if (SQLFreeHandle(SQL_HANDLE_ENV, instance->henv) != SQL_SUCCESS && !failed) {
      *result = empty_diag(SE_DB_IO_ERROR);
      failed = true;
    }
    instance->henv = SQL_NULL_HENV;
  }
  result->rc = failed ? SE_DB_IO_ERROR : 0;
}
