// db_layer_access.cpp -- the current user's privileges on a table, read from
// the catalogue's table authorities, and the access bits of a layer record.
//
// The privilege statement is prepared once per connection and executed again
// for each table; db_layer_set_access drops it after each layer, so one
// layer read costs one prepare at most, and the user's own tables cost no SQL.
// Grants to PUBLIC count as well as grants to the user by name: a layer that
// its owner granted to everyone is readable by everyone.
//
// Relies on the statement layer and reporters (dbsql_io.h) and the name
// parser (zul_db_tables.h).
#include <stdio.h>
#include <string.h>

#include "dbsql_io.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool granted(const char* auth) { return auth[0] == 'Y' || auth[0] == 'G'; }

int32_t fail(DB_INSTANCE* instance, DB_STREAM* stream, const char* table, SQLRETURN rc) {
  DB_DIAG_RECORD d = db_get_diag_record(instance, &instance->access_stmt, rc);
  db_free_stmt(&instance->access_stmt);
  fprintf(stderr, "Error in db_get_access_info_table (%s)\n", table);
  if (stream != nullptr) db_stream_report_dbms_error(stream, d);
  else db_report_dbms_error(instance, d);
  instance->access_stmt_flag = 0;
  return SE_DB_IO_ERROR;
}

}  // namespace

int32_t db_get_access_info_table(DB_INSTANCE* instance, DB_STREAM* stream, const char* table,
                                 uint32_t* bits) {
  if (instance == nullptr || bits == nullptr) return SE_INVALID_POINTER;
  *bits = 0;
  char user[SE_DB_NAME_LEN] = "";
  DB_instance_get_current_user(instance, user);
  char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, table != nullptr ? table : "", user, database, owner, name);
  if (strcmp(owner, user) == 0) {
    *bits = SE_ALL_PRIVILEGES;
    return 0;
  }

  if (!instance->access_stmt_flag) {
    db_free_stmt(&instance->access_stmt);
    int32_t status = db_prepare_stmt(
        instance, stream, &instance->access_stmt,
        "SELECT SELECTAUTH, DELETEAUTH, INSERTAUTH, UPDATEAUTH FROM SYSCAT.TABAUTH WHERE "
        "TABSCHEMA = ? AND TABNAME = ? AND (GRANTEE = ? OR GRANTEE = 'PUBLIC')");
    if (status != 0) {
      if (instance->access_stmt == SQL_NULL_HSTMT) return status;
      return fail(instance, stream, table, (SQLRETURN)status);
    }
    instance->access_stmt_flag = 1;
  }

  // Parameters and results are bound to this call's own buffers before each
  // execution, so nothing outlives the call.
  SQLHSTMT stmt = instance->access_stmt;
  SQLLEN pind[3] = {SQL_NTS, SQL_NTS, SQL_NTS};
  char auth[4][32];
  SQLLEN rind[4] = {0, 0, 0, 0};
  SQLRETURN rc = SQLFreeStmt(stmt, SQL_CLOSE);
  const struct { char* text; SQLULEN size; } params[] = {
      {owner, 32}, {name, 160}, {user, 32}};
  for (SQLUSMALLINT i = 0; i < 3 && ok(rc); ++i)
    rc = SQLBindParameter(stmt, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR,
                          params[i].size, 0, params[i].text, (SQLLEN)params[i].size, &pind[i]);
  for (SQLUSMALLINT i = 0; i < 4 && ok(rc); ++i)
    rc = SQLBindCol(stmt, (SQLUSMALLINT)(i + 1), SQL_C_CHAR, auth[i], sizeof auth[i], &rind[i]);
  if (ok(rc)) rc = SQLExecute(stmt);
  if (!ok(rc)) return fail(instance, stream, table, rc);

  // one row for the user, one for PUBLIC: the grants add up
  for (;;) {
    for (auto& a : auth) strcpy(a, "N");
    rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!ok(rc)) return fail(instance, stream, table, rc);
    if (granted(auth[0])) *bits |= SE_SELECT_PRIVILEGE;
    if (granted(auth[1])) *bits |= SE_DELETE_PRIVILEGE;
    if (granted(auth[2])) *bits |= SE_INSERT_PRIVILEGE;
    if (granted(auth[3])) *bits |= SE_UPDATE_PRIVILEGE;
  }
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  return *bits == 0 ? SE_NO_PERMISSIONS : 0;
}

void db_free_access_info_stmt(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  db_free_stmt(&instance->access_stmt);
  instance->access_stmt_flag = 0;
}

int32_t db_layer_set_access(DB_INSTANCE* instance, DB_STREAM* stream, LAYER** layer) {
  if (instance == nullptr || layer == nullptr || *layer == nullptr) return SE_INVALID_POINTER;
  LAYER* l = *layer;
  char qualified[SE_DB_QUALIFIED_LEN];
  db_layer_qualified_table_name(l, qualified);
  char feature[SE_DB_QUALIFIED_LEN];
  db_layer_f_table_name(l, feature);

  uint32_t bits = 0;
  int32_t status = db_get_access_info_table(instance, stream, qualified, &bits);
  if (status == 0 && !(bits & SE_SELECT_PRIVILEGE)) status = SE_NO_PERMISSIONS;
  if (status == 0 && !(l->entity_flags & SE_LAYER_NO_FEATURE_TABLE)) {
    uint32_t fbits = 0;
    status = db_get_access_info_table(instance, stream, feature, &fbits);
    bits &= fbits;
  }
  if (status == 0) {
    if (l->entity_flags & SE_LAYER_SELECT_ONLY) bits &= SE_SELECT_PRIVILEGE;
    l->privileges = (int32_t)bits;
  }
  db_free_access_info_stmt(instance);
  return status;
}
