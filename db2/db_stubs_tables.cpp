// db_stubs_tables.cpp -- the services of the catalogue and versioning
// modules that the system tables, the object names and the column
// description call, in the form they take until those modules are built.
//
// What stands here:
//   - the base state and default version inserts are the real ones (one
//     INSERT each, values bound, committed); a version insert that may pick
//     another name on a duplicate is not built yet.
#include <stdio.h>
#include <string.h>

#include "dbsql_io.h"
#include "zul_db_tables.h"

namespace {

int32_t not_built(const char* name) {
  fprintf(stderr, "%s: called, not built yet\n", name);
  return SE_NOT_BUILT_YET;
}

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Binds a text, or NULL when the text is empty.
SQLRETURN bind_text(SQLHSTMT stmt, SQLUSMALLINT pos, const char* text, size_t cap, SQLLEN* ind) {
  size_t len = strnlen(text, cap);
  *ind = len == 0 ? SQL_NULL_DATA : (SQLLEN)len;
  return SQLBindParameter(stmt, pos, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, cap, 0,
                          (SQLPOINTER)text, (SQLLEN)cap, ind);
}

SQLRETURN bind_int(SQLHSTMT stmt, SQLUSMALLINT pos, const int32_t* value, SQLLEN* ind) {
  return SQLBindParameter(stmt, pos, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                          (SQLPOINTER)value, 0, ind);
}

}  // namespace

int32_t DB_states_def_insert(DB_INSTANCE* instance, const STATE* state) {
  char table[SE_DB_QUALIFIED_LEN];
  db_make_states_table_name(instance, table);
  char sql[400];
  snprintf(sql, sizeof sql,
           "INSERT INTO %s (state_id, owner, creation_time, closing_time, parent_state_id, "
           "lineage_name) VALUES (?, ?, CURRENT TIMESTAMP, CURRENT TIMESTAMP, 0, ?)",
           table);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql);
  SQLLEN ind[3] = {0, 0, 0};
  char owner[sizeof state->owner + 1];
  memcpy(owner, state->owner, sizeof state->owner);
  owner[sizeof state->owner] = '\0';
  if (status == 0 && (!ok(bind_int(stmt, 1, &state->id, &ind[0])) ||
                      !ok(bind_text(stmt, 2, owner, sizeof state->owner, &ind[1])) ||
                      !ok(bind_int(stmt, 3, &state->lineage_name, &ind[2]))))
    status = SE_DB_IO_ERROR;
  if (status != 0 && stmt != SQL_NULL_HSTMT) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, status));
    status = SE_DB_IO_ERROR;
  }
  if (status == 0) status = db_execute_stmt(instance, stmt, 1, DB_MODE_EXEC_COMMIT);
  db_free_stmt(&stmt);
  return status;
}

int32_t DB_versions_def_insert(DB_INSTANCE* instance, const VERSION* version, int32_t dup_ok,
                               char* name_out) {
  if (dup_ok != 0) return not_built("DB_versions_def_insert (another name on a duplicate)");
  char table[SE_DB_QUALIFIED_LEN];
  db_make_versions_table_name(instance, table);
  char sql[500];
  snprintf(sql, sizeof sql,
           "INSERT INTO %s (name, owner, version_id, status, state_id, description, parent_name, "
           "parent_owner, parent_version_id, creation_time) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
           "CURRENT TIMESTAMP)",
           table);
  // Texts of the record may fill their fields: copy them terminated.
  char name[sizeof version->name + 1], owner[sizeof version->owner + 1],
      desc[sizeof version->description + 1], pname[sizeof version->parent_name + 1],
      powner[sizeof version->parent_owner + 1];
  struct { char* to; const char* from; size_t cap; } texts[] = {
      {name, version->name, sizeof version->name},
      {owner, version->owner, sizeof version->owner},
      {desc, version->description, sizeof version->description},
      {pname, version->parent_name, sizeof version->parent_name},
      {powner, version->parent_owner, sizeof version->parent_owner},
  };
  for (auto& t : texts) {
    memcpy(t.to, t.from, t.cap);
    t.to[t.cap] = '\0';
  }
  int32_t status_value = (int32_t)version->status;
  SQLLEN ind[9] = {0};
  if (version->parent_id == 0) ind[8] = SQL_NULL_DATA;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql);
  if (status == 0 &&
      (!ok(bind_text(stmt, 1, name, sizeof version->name, &ind[0])) ||
       !ok(bind_text(stmt, 2, owner, sizeof version->owner, &ind[1])) ||
       !ok(bind_int(stmt, 3, &version->id, &ind[2])) || !ok(bind_int(stmt, 4, &status_value, &ind[3])) ||
       !ok(bind_int(stmt, 5, &version->state_id, &ind[4])) ||
       !ok(bind_text(stmt, 6, desc, sizeof version->description, &ind[5])) ||
       !ok(bind_text(stmt, 7, pname, sizeof version->parent_name, &ind[6])) ||
       !ok(bind_text(stmt, 8, powner, sizeof version->parent_owner, &ind[7])) ||
       !ok(bind_int(stmt, 9, &version->parent_id, &ind[8]))))
    status = SE_DB_IO_ERROR;
  if (status != 0 && stmt != SQL_NULL_HSTMT) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, status));
    status = SE_DB_IO_ERROR;
  }
  if (status == 0) status = db_execute_stmt(instance, stmt, 1, DB_MODE_EXEC_COMMIT);
  db_free_stmt(&stmt);
  if (status == 0 && name_out != nullptr) strcpy(name_out, name);
  return status;
}
