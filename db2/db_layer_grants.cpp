// db_layer_grants.cpp -- table privileges granted and revoked for a layer:
// read access of the administrative user ZUL to every layer table, and the
// select/update/insert/delete privileges an owner gives or takes back by a
// privilege mask.
//
// Relies on db_execute_ddlsql (statement, commit, SQLSTATE map) and the
// grantee permission read of the table module.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_table.h"

namespace {

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }

std::string owner_table(const LAYER* layer) {
  return field(layer->owner, sizeof layer->owner) + "." + field(layer->table, sizeof layer->table);
}

// Turns the trailing ", " of a privilege list into a single blank.
void close_list(std::string* list) {
  if (list->size() >= 2 && list->compare(list->size() - 2, 2, ", ") == 0) list->replace(list->size() - 2, 2, " ");
}

// " ON owner.table to|from [USER ]grantee", with the grantee checked: it
// reaches the SQL text unquoted. -66 for a name that is no identifier.
int32_t complete(DB_INSTANCE* instance, const LAYER* layer, const char* word, const char* grantee,
                 std::string* sql) {
  if (grantee == nullptr || grantee[0] == '\0' || strlen(grantee) >= SE_DB_NAME_LEN)
    return SE_INVALID_PARAM;
  int32_t status = DB_check_identifier(instance, grantee);
  if (status != 0) return status;
  bool is_public = strcasecmp(grantee, "PUBLIC") == 0;
  *sql += "ON " + owner_table(layer) + " " + word + " " + (is_public ? "" : "USER ") + grantee;
  return 0;
}

// Executes a GRANT or REVOKE and commits it. DB2 refuses a grant without
// the right to grant with 42501 (SQL0551N), or 42502: both are -25, so the
// callers can tell a refusal from a failure. A missing table is -37; other
// failures are those of db_execute_ddlsql, which runs them.
int32_t execute_grant(DB_INSTANCE* instance, const char* sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql);
  if (status == 0) {
    SQLRETURN rc = SQLExecute(stmt);
    status = (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) ? 0 : rc;
  }
  if (status == 0) {
    db_free_stmt(&stmt);
    return db_commit_ddlsql(instance) != 0 ? SE_DB_IO_ERROR : 0;
  }
  DB_DIAG_RECORD d = db_get_diag_record(instance, stmt != SQL_NULL_HSTMT ? &stmt : nullptr, status);
  db_free_stmt(&stmt);
  if (strcmp(d.sqlstate, "42501") == 0 || strcmp(d.sqlstate, "42502") == 0) return SE_NO_PERMISSIONS;
  if (strcmp(d.sqlstate, "42S02") == 0 || strcmp(d.sqlstate, "42704") == 0) return SE_TABLE_NOEXIST;
  return db_execute_ddlsql(instance, sql, 0, DB_MODE_EXEC_COMMIT);
}

int32_t run(DB_INSTANCE* instance, const std::string& sql) {
  int32_t status = db_layer_exec_grant(instance, sql.c_str(), 0);
  return status == SE_NO_PERMISSIONS ? SE_LAYER_GRANT_REFUSED : status;
}

}  // namespace

int32_t db_layer_exec_grant(DB_INSTANCE* instance, const char* sql, int32_t ignore_failure) {
  int32_t status = execute_grant(instance, sql);
  return ignore_failure ? 0 : status;
}

int32_t DB_layer_grant_zul_privileges(DB_INSTANCE* instance, const LAYER* layer, int32_t grant) {
  std::string table = owner_table(layer);
  std::string sql = grant == 1 ? "GRANT SELECT ON " + table + " TO USER " + SE_ADMIN_USER
                               : "REVOKE SELECT ON " + table + " FROM USER " + SE_ADMIN_USER;
  int32_t status = execute_grant(instance, sql.c_str());
  if (status == 0 || status == SE_NO_PERMISSIONS) return 0;
  if (status == SE_TABLE_NOEXIST) return status;
  fprintf(stderr, "DB_layer_grant_zul_privileges: Execute Immediate error (%d).\n", (int)status);
  instance->xerr.native = status;
  return SE_DB_IO_ERROR;
}

int32_t DB_layer_grant_access(DB_INSTANCE* instance, const LAYER* layer, int32_t mask, int32_t,
                              const char* grantee) {
  std::string list;
  if (mask & SE_UPDATE_PRIVILEGE) list += "UPDATE, ";
  if (mask & SE_INSERT_PRIVILEGE) list += "INSERT, ";
  if (mask & SE_DELETE_PRIVILEGE) list += "DELETE, ";
  if (mask & (SE_SELECT_PRIVILEGE | SE_UPDATE_PRIVILEGE | SE_INSERT_PRIVILEGE)) list += "SELECT, ";
  if (list.empty()) return SE_INVALID_PARAM;
  close_list(&list);
  std::string sql = "GRANT " + list;
  int32_t status = complete(instance, layer, "to", grantee, &sql);
  return status != 0 ? status : run(instance, sql);
}

int32_t DB_layer_revoke_access(DB_INSTANCE* instance, const LAYER* layer, int32_t mask,
                               const char* grantee) {
  if (mask & SE_UPDATE_PRIVILEGE) {
    int32_t held = 0;
    int32_t status = DB_table_get_grantee_permissions(instance, grantee, owner_table(layer).c_str(), &held);
    if (status != 0) return status;
  }
  std::string list;
  if (mask & SE_SELECT_PRIVILEGE) list += "SELECT, ";
  if (mask & SE_UPDATE_PRIVILEGE) list += "UPDATE, ";
  if (mask & SE_INSERT_PRIVILEGE) list += "INSERT, ";
  if (mask & SE_DELETE_PRIVILEGE) list += "DELETE, ";
  if (list.empty()) return SE_INVALID_PARAM;
  close_list(&list);
  std::string sql = "REVOKE " + list;
  int32_t status = complete(instance, layer, "from", grantee, &sql);
  return status != 0 ? status : run(instance, sql);
}
