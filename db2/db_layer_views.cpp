// db_layer_views.cpp -- the ids of the view layers built directly on a
// layer, and the layers-table migration, which this database never needs.
//
// The id list appends: a caller collecting the views of views passes the
// array and count of its earlier calls, and the array grows in steps of ten
// from what it already holds, so earlier ids are kept and nothing is written
// past the end.
//
// Relies on the statement layer and reporters (dbsql_io.h) and the name
// builders (zul_db_tables.h).
#include <stdio.h>
#include <stdlib.h>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

int32_t DB_view_layer_get_ids(DB_INSTANCE* instance, int32_t layer_id, int32_t* count,
                              int32_t** ids) {
  if (instance == nullptr || count == nullptr || ids == nullptr) return SE_INVALID_POINTER;
  if (*count < 0 || (*count > 0 && *ids == nullptr)) return SE_INVALID_PARAM;
  char layers[SE_DB_QUALIFIED_LEN];
  db_make_layers_table_name(instance, layers);
  char sql[SE_DB_QUALIFIED_LEN + 80];
  snprintf(sql, sizeof sql, "SELECT layer_id from %s WHERE base_layer_id = %d", layers,
           (int)layer_id);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql);
  if (status != 0) {
    if (stmt != SQL_NULL_HSTMT) {
      db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, status));
      db_free_stmt(&stmt);
      status = SE_DB_IO_ERROR;
    }
    return status;
  }
  int32_t id = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind);
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  rc = SQLExecute(stmt);
  if (ok(rc)) rc = SQLFetch(stmt);
  // what the caller passed in is full: the first new id grows the array
  int32_t cap = *count;
  while (ok(rc)) {
    if (*count == cap) {
      int32_t* grown = static_cast<int32_t*>(realloc(*ids, (size_t)(cap + 10) * sizeof(int32_t)));
      if (grown == nullptr) {
        db_free_stmt(&stmt);
        return SE_OUT_OF_DBMS_MEM;
      }
      *ids = grown;
      cap += 10;
    }
    (*ids)[*count] = id;
    *count += 1;
    rc = SQLFetch(stmt);
  }
  DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
  db_free_stmt(&stmt);
  if (rc == SQL_NO_DATA) return 0;
  SES_print_debug(stderr, "DB_get_view_layer_ids ODBCExecute/Fetch error (%s).\n", d.sqlstate);
  db_report_dbms_error(instance, d);
  return SE_DB_IO_ERROR;
}

int32_t DB_layers_table_migrate(void) { return 0; }
