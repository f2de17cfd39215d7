// db_spregister.cpp -- making the procedures of the procedure library known
// to a database, and checking at start-up that they are.
//
// Rules that span the functions here:
//   1. Procedures are created as "ZUL.<name>" with EXTERNAL NAME
//      'zulsrvsp!<name>' and called as "zulsrvsp!<name>" (db_spsig.cpp gives
//      every text).
//   2. An installation drops and creates every procedure, family by family,
//      and records each created name; a failed CREATE drops again what this
//      run created (each drop committed), except in the raster-columns
//      family, whose statements commit one by one and which undoes nothing.
//      Families not reached are left as they were.
//   3. The package of the library is bound again by every installation and
//      by every check that finds all 45 procedures; its EXECUTE goes to
//      PUBLIC.
//   4. Both the installation and a successful check run the registration
//      row-id migration, which only acts on databases older than 81200.
// Relies on the statement layer (dbsql_io.h), the system tables' release
// record, and the embedded-SQL binder of the database (sql_esql.h).
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "dbsql_io.h"
#include "sql_esql.h"
#include "svr_services.h"
#include "zul_db_install.h"

namespace {

constexpr int32_t kCreatedListCap = 80;  // room of the created-procedure list
constexpr int32_t kMigrateBelow = 81200; // releases that may need the row-id migration

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

// The names this run created, for the undo step.
struct CreatedList {
  const char* names[kCreatedListCap] = {};
  int32_t count = 0;
  void add(const char* name) {
    if (count < kCreatedListCap) names[count++] = name;
  }
};

// Drops, each with its own commit, every procedure of the list; the
// results are reported and otherwise ignored.
void db_sp_drop_created(DB_INSTANCE* instance, const CreatedList& list) {
  for (int32_t i = 0; i < list.count; i++) {
    if (list.names[i] == nullptr) continue;
    char sql[SE_DB_QUALIFIED_LEN + 32];
    snprintf(sql, sizeof sql, "drop procedure %s", list.names[i]);
    db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
  }
}

// Drops every procedure of the family, unreported; one that is not there is
// no error.
void drop_family(DB_INSTANCE* instance, const SP_FAMILY& f, int32_t mode) {
  char sql[SE_DB_QUALIFIED_LEN + 32];
  char name[SE_DB_QUALIFIED_LEN];
  for (int32_t i = 0; i < f.count; i++) {
    db_sp_make_name(instance, f.procs[i].name, 1, name);
    snprintf(sql, sizeof sql, "DROP PROCEDURE %s", name);
    db_execute_ddlsql(instance, sql, 0, mode);
  }
}

// Registers one family. 0, or the status the installation returns.
int32_t register_family(DB_INSTANCE* instance, const SP_FAMILY& f, SQLHSTMT stmt, CreatedList* list) {
  char sql[4096];
  if (f.kind == SP_FAMILY_COMMITTED) {
    drop_family(instance, f, DB_MODE_EXEC_COMMIT);
    for (int32_t i = 0; i < f.count; i++) {
      int32_t status = db_sp_create_text(instance, &f.procs[i], sql, sizeof sql);
      if (status == 0) status = db_execute_ddlsql(instance, sql, 0, DB_MODE_EXEC_COMMIT);
      if (status != 0) return status;
      list->add(f.procs[i].name);
    }
    return 0;
  }
  if (f.kind == SP_FAMILY_COMMON) drop_family(instance, f, DB_MODE_EXEC);
  for (int32_t i = 0; i < f.count; i++) {
    int32_t status = db_sp_create_text(instance, &f.procs[i], sql, sizeof sql);
    if (status != 0) return status;
    if (f.kind == SP_FAMILY_OWN_STMT) {
      status = db_create_procedure(instance, nullptr, sql, f.procs[i].name);
      if (status != 0) {
        db_sp_drop_created(instance, *list);
        return status;
      }
    } else {
      SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
      // a CREATE that only half succeeded is a failure too
      if (rc != SQL_SUCCESS) {
        db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
        db_sp_drop_created(instance, *list);
        return rc;
      }
    }
    list->add(f.procs[i].name);
  }
  return 0;
}

}  // namespace

// ---- package bind ----------------------------------------------------------------

int32_t S_bind_package(const char* file) {
  if (file == nullptr) return SE_INVALID_POINTER;
  const char* home = getenv("ZULHOME");
  if (home == nullptr || *home == '\0') {
    SES_print_debug(stderr, "S_bind_package: ZULHOME is not set\n");
    return SE_DB_IO_ERROR;
  }
  char path[PATH_MAX];
  snprintf(path, sizeof path, "%s", home);
  if (strlen(home) >= sizeof path || SES_pathcat_n(path, sizeof path, "lib") == nullptr ||
      SES_pathcat_n(path, sizeof path, file) == nullptr) {
    SES_print_debug(stderr, "S_bind_package: path too long\n");
    return SE_DB_IO_ERROR;
  }
  static const char kGrantee[] = "PUBLIC";
  sqlchar* grantee = (sqlchar*)malloc(sizeof(sqlchar) + sizeof kGrantee);
  if (grantee == nullptr) return SE_OUT_OF_DBMS_MEM;
  grantee->length = (int16_t)(sizeof kGrantee - 1);
  memcpy(grantee->data, kGrantee, sizeof kGrantee - 1);
  sqlopt options;
  options.header.allocated = 1;
  options.header.used = 1;
  options.option[0].type = SQL_GRANT_OPT;
  options.option[0].val = (uintptr_t)grantee;
  struct sqlca ca;
  memset(&ca, 0, sizeof ca);
  int result = sqlabndx(path, nullptr, &options, &ca);
  int32_t status = 0;
  // a positive SQLCODE is a warning: the package is bound
  if (result != 0 || ca.sqlcode < 0) {
    char message[1024];
    message[0] = '\0';
    sqlaintp_api(message, (short)sizeof message, 80, "db2sql.mo", &ca);
    SES_print_debug(stderr,
                    "S_bind_package Execute bind error (result = %d, sqlcode = %d, message = %s)\n ",
                    result, (int)ca.sqlcode, message);
    status = SE_DB_IO_ERROR;
  }
  free(grantee);
  return status;
}

// ---- start-up check -------------------------------------------------------------------

int32_t DB_instance_stored_procedures_exists(DB_INSTANCE* instance) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  std::string sql = "SELECT count(*) FROM syscat.procedures where procschema = upper('";
  sql += SE_ADMIN_USER;
  sql += "') AND procname IN (";
  const SP_FAMILY* families = db_sp_families();
  for (int32_t f = 0; f < SP_FAMILY_COUNT; f++)
    for (int32_t i = 0; i < families[f].count; i++)
      sql += std::string(" upper('") + families[f].procs[i].name + "'),";
  sql.back() = ')';

  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;
  SQLINTEGER count = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLBindCol(s.h, 1, SQL_C_LONG, &count, 0, &ind);
  if (ok(rc)) rc = SQLExecute(s.h);
  if (ok(rc)) {
    rc = SQLFetch(s.h);
    if (rc == SQL_SUCCESS_WITH_INFO) rc = SQL_ERROR;
  }
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s.h);
  if (count != SP_PROCEDURE_COUNT) return -1;

  char call_name[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, "zul_release_proc", 0, call_name);
  char call[SE_DB_QUALIFIED_LEN + 16];
  snprintf(call, sizeof call, "call %s(?)", call_name);
  S_bind_package(SP_BIND_FILE);  // failure or not, the release call follows

  rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &s.h);
  if (!ok(rc)) return rc;
  SQLINTEGER release = 0;
  SQLLEN release_ind = 0;
  rc = SQLBindParameter(s.h, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &release, 0,
                        &release_ind);
  if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)call, SQL_NTS);
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s.h);
  // a library that answers nothing is no newer than one that answers too little
  int32_t result = (release_ind == SQL_NULL_DATA || release < SP_MIN_LIBRARY_RELEASE) ? -1 : 0;
  if (result == 0) db_registry_rowid_migrate(instance);
  return result;
}

// ---- installation ---------------------------------------------------------------------

int32_t DB_instance_stored_procedures_create(DB_INSTANCE* instance) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_trans_def_start(instance);
  int32_t status = S_bind_package(SP_BIND_FILE);
  if (status != 0) return status;
  CreatedList list;
  Stmt s;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &s.h);
  if (!ok(rc)) return rc;
  const SP_FAMILY* families = db_sp_families();
  for (int32_t f = 0; f < SP_FAMILY_COUNT; f++) {
    status = register_family(instance, families[f], s.h, &list);
    if (status != 0) return status;
  }
  status = db_registry_rowid_migrate(instance);
  if (status != 0) return status;
  SQLFreeStmt(s.h, SQL_CLOSE);
  db_free_stmt(&s.h);
  db_commit_ddlsql(instance);
  return 0;
}

// ---- registration row-id migration ------------------------------------------------------

namespace {

struct RegRow {
  SQLINTEGER id;
  char table[160];
  char description[64];
  SQLINTEGER flags;
  char keyword[32];
  char view[160];
  char owner[32];
};

// The registrations without a row-id column, NXB_ tables left out.
int32_t read_registrations(DB_INSTANCE* instance, std::vector<RegRow>* out) {
  char registry[SE_DB_QUALIFIED_LEN];
  db_make_table_registry_table_name(instance, registry);
  char sql[SE_DB_QUALIFIED_LEN + 256];
  // the owner is read too: the probe must look at the registered table, not
  // at a table of that name in the current user's schema
  snprintf(sql, sizeof sql,
           "SELECT registration_id, table_name, description, object_flags, config_keyword, "
           "imv_view_name, owner from %s WHERE upper(table_name) not like 'NXB_%%' and rowid_column "
           "is NULL",
           registry);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
  if (status != 0) {
    if (s.h != SQL_NULL_HSTMT) db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, status));
    return s.h != SQL_NULL_HSTMT ? SE_DB_IO_ERROR : status;
  }
  RegRow r;
  SQLLEN ind[7];
  SQLRETURN rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &r.id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindCol(s.h, 2, SQL_C_CHAR, r.table, sizeof r.table, &ind[1]);
  if (ok(rc)) rc = SQLBindCol(s.h, 3, SQL_C_CHAR, r.description, sizeof r.description, &ind[2]);
  if (ok(rc)) rc = SQLBindCol(s.h, 4, SQL_C_LONG, &r.flags, 0, &ind[3]);
  if (ok(rc)) rc = SQLBindCol(s.h, 5, SQL_C_CHAR, r.keyword, sizeof r.keyword, &ind[4]);
  if (ok(rc)) rc = SQLBindCol(s.h, 6, SQL_C_CHAR, r.view, sizeof r.view, &ind[5]);
  if (ok(rc)) rc = SQLBindCol(s.h, 7, SQL_C_CHAR, r.owner, sizeof r.owner, &ind[6]);
  while (ok(rc)) {
    memset(&r, 0, sizeof r);
    rc = SQLFetch(s.h);
    if (!ok(rc)) break;
    for (int i = 1; i < 7; i++)
      if (ind[i] == SQL_NULL_DATA) {
        char* texts[] = {nullptr, r.table, r.description, nullptr, r.keyword, r.view, r.owner};
        if (texts[i]) texts[i][0] = '\0';
      }
    if (ind[3] == SQL_NULL_DATA) r.flags = 0;
    out->push_back(r);
  }
  if (rc == SQL_NO_DATA) return 0;
  db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
  return SE_DB_IO_ERROR;
}

// 1 when owner.table has the column SE_ROW_ID, 0 when not (or when the
// names are not identifiers), else a status.
int32_t probe_row_id(DB_INSTANCE* instance, const RegRow& r) {
  if (r.table[0] == '\0' || DB_check_identifier(instance, r.table) != 0 ||
      DB_check_identifier(instance, r.owner) != 0)
    return 0;
  char sql[300];
  if (r.owner[0] != '\0') snprintf(sql, sizeof sql, "select SE_ROW_ID from %s.%s", r.owner, r.table);
  else snprintf(sql, sizeof sql, "select SE_ROW_ID from %s", r.table);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
  if (status == 0) return 1;
  if (s.h == SQL_NULL_HSTMT) return status;
  DB_DIAG_RECORD d = db_get_diag_record(instance, &s.h, status);
  if (strcmp(d.sqlstate, "42S22") == 0) return 0;
  db_report_dbms_error(instance, d);
  return SE_DB_IO_ERROR;
}

}  // namespace

int32_t db_registry_rowid_migrate(DB_INSTANCE* instance) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  RELEASE release;
  memset(&release, 0, sizeof release);
  DB_instance_get_release(instance, &release);
  if (release.release >= kMigrateBelow) return 0;
  std::vector<RegRow> rows;
  int32_t status = read_registrations(instance, &rows);
  if (status != 0) return status;
  for (const RegRow& r : rows) {
    if ((r.flags & SE_REG_LAYER_DEPENDS) == 0) continue;
    status = probe_row_id(instance, r);
    if (status == 0) continue;
    if (status != 1) return status;
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    memcpy(reg.tag, SE_REGISTRATION_TAG, sizeof reg.tag);
    reg.id = r.id;
    snprintf(reg.table, sizeof reg.table, "%s", r.table);
    snprintf(reg.owner, sizeof reg.owner, "%s", r.owner);
    snprintf(reg.description, sizeof reg.description, "%s", r.description);
    snprintf(reg.config_keyword, sizeof reg.config_keyword, "%s", r.keyword);
    snprintf(reg.mv_view, sizeof reg.mv_view, "%s", r.view);
    snprintf(reg.rowid_column, sizeof reg.rowid_column, "%s", "SE_ROW_ID");
    reg.min_id = 1;
    reg.flags = r.flags | SE_REG_HAS_ROWID | SE_REG_ROWID_BY_SERVER;
    if (DB_sp_registry_def_update(instance, &reg) != 0)
      fprintf(stderr, "Can't alter the registration entry for %s.\n", reg.table);
  }
  return 0;
}
