// db_systables.cpp -- the system tables of schema ZUL: their DDL, creation,
// existence checks, the release record, and the small queries over them
// (row counts, largest ids, id bit sets).
//
// Divisions:
//   1. shared steps: storage clauses, grants, one-integer queries
//   2. the release table and its record
//   3. creation of the other system tables
//   4. existence checks (and the metadata upgrade)
//   5. counts, largest ids and id bit sets
//
// Notes:
//   1. The CREATE statements name the tables without a schema, so they land
//      in the connected user's schema: installation runs connected as ZUL.
//      Grants, checks and readers address the tables as "db.ZUL.table"
//      (db_objnames.cpp).
//   2. A storage clause is appended only when the keyword had rows of its
//      own (count >= 100) and the clause is not empty.
//   3. Each creation commits its DDL; a table made before a later failure
//      (its seed row or its grant) stays, and the failing status is returned.
//   4. An existence check prepares without executing (DB2's deferred prepare
//      is off, so a missing table or column fails the prepare) or executes
//      without commit; it never reports: a missing table is an answer.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>
#include <string>

#include "bitmap.h"
#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_tables.h"

namespace {

// ---- 1. shared steps -------------------------------------------------------------

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool state_is(const DB_DIAG_RECORD& d, const char* state) { return strcasecmp(d.sqlstate, state) == 0; }

std::string with_clause(std::string sql, const DBTUNE_SYSTEM_PARAMS* storage, int clause) {
  if (storage != nullptr && storage->count >= DBTUNE_KEYWORD_OWN_ROWS) {
    const char* text = storage->clauses[clause];
    size_t len = strnlen(text, DBTUNE_CLAUSE_LEN);
    if (len > 0) sql.append(text, len);
  }
  return sql;
}

// Runs a CREATE (reported, committed), the table's own step, then the grant.
template <typename Step>
int32_t create_table(DB_INSTANCE* instance, const std::string& ddl, int32_t mode,
                     void (*name_of)(DB_INSTANCE*, char*), const char* grant_format, Step step) {
  DB_instance_clear_xerr(instance);
  int32_t status = db_execute_ddlsql(instance, ddl.c_str(), 1, mode);
  if (status != 0) return status;
  status = step();
  if (status != 0) return status;
  char table[SE_DB_QUALIFIED_LEN];
  name_of(instance, table);
  char grant[SE_DB_QUALIFIED_LEN + 64];
  snprintf(grant, sizeof grant, grant_format, table);
  return db_execute_ddlsql(instance, grant, 1, DB_MODE_EXEC_COMMIT);
}

int32_t no_step() { return 0; }

// A prepared statement dropped at the end of scope.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

// Prepares sql on a new statement: 0, or the DB2 diagnostic of the failure
// in *diag with a non-zero answer.
int32_t prepare(DB_INSTANCE* instance, Stmt* s, const char* sql, DB_DIAG_RECORD* diag) {
  int32_t status = db_prepare_stmt(instance, nullptr, &s->h, sql);
  if (status == 0) return 0;
  if (s->h != SQL_NULL_HSTMT) *diag = db_get_diag_record(instance, &s->h, status);
  else *diag = db_get_diag_record(instance, nullptr, status);
  return status == SE_DB_IO_ERROR ? status : SQL_ERROR;
}

// The one-integer query of the count and largest-id family. Answers the
// fetch's return (0, 1 or 100) with *out filled (0 for no row or NULL);
// -37 for a missing table when missing_is_37, else -51 reported.
int32_t int_query(DB_INSTANCE* instance, const char* sql, int32_t* out, bool missing_is_37) {
  DB_instance_clear_xerr(instance);
  *out = 0;
  Stmt s;
  DB_DIAG_RECORD d;
  if (prepare(instance, &s, sql, &d) != 0) {
    if (missing_is_37 && state_is(d, "42S02")) return SE_TABLE_NOEXIST;
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &value, 0, &ind);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (rc == SQL_NO_DATA) return SQL_NO_DATA;
  if (!ok(rc)) {
    d = db_get_diag_record(instance, &s.h, rc);
    if (missing_is_37 && state_is(d, "42S02")) return SE_TABLE_NOEXIST;
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  *out = ind == SQL_NULL_DATA ? 0 : (int32_t)value;
  return rc;
}

// Largest-id members: 0, or 110 when no row.
int32_t max_query(DB_INSTANCE* instance, const char* sql, int32_t* out) {
  int32_t status = int_query(instance, sql, out, true);
  if (status == SQL_NO_DATA) return SE_NO_DATA_BLOCK_END;
  return status == SQL_SUCCESS_WITH_INFO ? 0 : status;
}

// The release record's five fields bound as parameters 1 to 5.
bool bind_release(SQLHSTMT stmt, RELEASE* r, SQLLEN ind[5]) {
  r->description[SE_RELEASE_DESC_LEN - 1] = '\0';
  for (int k = 0; k < 5; ++k) ind[k] = 0;
  ind[3] = SQL_NTS;
  return ok(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r->major, 0, &ind[0])) &&
         ok(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r->minor, 0, &ind[1])) &&
         ok(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r->bug, 0, &ind[2])) &&
         ok(SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, SE_RELEASE_DESC_LEN, 0,
                             r->description, SE_RELEASE_DESC_LEN, &ind[3])) &&
         ok(SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r->release, 0, &ind[4]));
}

}  // namespace

// ---- 2. the release table --------------------------------------------------------

int32_t DB_instance_release_table_create(DB_INSTANCE* instance, const RELEASE* release,
                                         const DBTUNE_SYSTEM_PARAMS* storage) {
  DB_instance_clear_xerr(instance);
  std::string ddl = with_clause(
      "CREATE TABLE version (MAJOR integer not null,MINOR integer not null,BUGFIX integer not "
      "null,DESCRIPTION varchar(96) not null,RELEASE integer not null ) ",
      storage, DBTUNE_SYS_B_STORAGE);
  {
    Stmt s;
    DB_DIAG_RECORD d;
    int32_t status = prepare(instance, &s, ddl.c_str(), &d);
    if (status != 0) {
      SES_print_debug(stderr, "DB_instance_create_release_table() OCI Prepare Error(%d).\n", (int)status);
      db_report_dbms_error(instance, d);
      return SE_DB_IO_ERROR;
    }
    status = db_execute_stmt(instance, s.h, 1, DB_MODE_EXEC_COMMIT);
    if (status == SE_TABLE_NOEXIST) return SE_RELEASE_TABLE_NOEXIST;
    if (status != 0) {
      SES_print_debug(stderr, "DB_instance_create_release_table() OCI execute Error(%d).\n", (int)status);
      return SE_DB_IO_ERROR;
    }
  }

  char table[SE_DB_QUALIFIED_LEN];
  db_make_release_table_name(instance, table);
  std::string sql = std::string("INSERT INTO ") + table +
                    " (major, minor, bugfix, description, release) VALUES (?, ?, ?, ?, ?)";
  RELEASE copy = *release;
  SQLLEN ind[5];
  Stmt s;
  DB_DIAG_RECORD d;
  if (prepare(instance, &s, sql.c_str(), &d) != 0) {
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  if (!bind_release(s.h, &copy, ind)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, SE_DB_IO_ERROR));
    return SE_DB_IO_ERROR;
  }
  if (db_execute_stmt(instance, s.h, 1, DB_MODE_EXEC_COMMIT) != 0) return SE_DB_IO_ERROR;
  DB_trans_def_start(instance);
  return 0;
}

int32_t DB_instance_release_table_drop(DB_INSTANCE* instance) {
  return DB_table_drop(instance, "version");
}

int32_t DB_instance_get_release(DB_INSTANCE* instance, RELEASE* out) {
  DB_instance_clear_xerr(instance);
  char sql[SE_DB_QUALIFIED_LEN + 80];
  snprintf(sql, sizeof sql, "SELECT major, minor, bugfix, description, release FROM %s.%s.version",
           instance->current_database, SE_ADMIN_USER);
  Stmt s;
  DB_DIAG_RECORD d;
  if (prepare(instance, &s, sql, &d) != 0) return SE_INVALID_RELEASE;  // no release table
  memset(out, 0, sizeof *out);
  SQLLEN ind[5] = {0, 0, 0, 0, 0};
  SQLRETURN rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &out->major, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindCol(s.h, 2, SQL_C_LONG, &out->minor, 0, &ind[1]);
  if (ok(rc)) rc = SQLBindCol(s.h, 3, SQL_C_LONG, &out->bug, 0, &ind[2]);
  if (ok(rc)) rc = SQLBindCol(s.h, 4, SQL_C_CHAR, out->description, SE_RELEASE_DESC_LEN, &ind[3]);
  if (ok(rc)) rc = SQLBindCol(s.h, 5, SQL_C_LONG, &out->release, 0, &ind[4]);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (rc == SQL_NO_DATA) {
    SES_print_debug(stderr, "DB_instance_get_release() Error fetching Release record. (%d)\n", (int)rc);
    db_commit_ddlsql(instance);
    return SE_NO_DATA_BLOCK_END;
  }
  if (!ok(rc)) {
    d = db_get_diag_record(instance, &s.h, rc);
    if (state_is(d, "42S02")) return SE_INVALID_RELEASE;
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  out->description[SE_RELEASE_DESC_LEN - 1] = '\0';
  db_free_stmt(&s.h);
  if (db_commit_ddlsql(instance) != 0) return SE_DB_IO_ERROR;
  return 0;
}

int32_t DB_instance_update_release(DB_INSTANCE* instance, int32_t old_release,
                                   const RELEASE* release) {
  DB_instance_clear_xerr(instance);
  char sql[SE_DB_QUALIFIED_LEN + 160];
  snprintf(sql, sizeof sql,
           "UPDATE %s.%s.version SET major = ?, minor = ?, bugfix = ?, description = ?, release = ? "
           "WHERE release = %d",
           instance->current_database, SE_ADMIN_USER, (int)old_release);
  Stmt s;
  DB_DIAG_RECORD d;
  int32_t status = prepare(instance, &s, sql, &d);
  if (status != 0) {
    if (state_is(d, "42S02")) {
      SES_print_debug(stderr, "db_update_release() ODBC Parse Error (%d)\nRELEASE table does not exist.\n",
                      (int)status);
      return SE_INVALID_RELEASE;
    }
    SES_print_debug(stderr, "db_update_release() OCI Parse Error(%d).\n", (int)status);
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  RELEASE copy = *release;
  SQLLEN ind[5];
  if (!bind_release(s.h, &copy, ind)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, SE_DB_IO_ERROR));
    return SE_DB_IO_ERROR;
  }
  return db_execute_stmt(instance, s.h, 1, DB_MODE_EXEC_COMMIT) == 0 ? 0 : SE_DB_IO_ERROR;
}

// ---- 3. creation ---------------------------------------------------------------------

int32_t DB_instance_layers_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  DB_instance_clear_xerr(instance);
  const char* integer = nullptr;
  const char* varchar = nullptr;
  const char* dbl = nullptr;
  int32_t status = DB_get_data_type(instance, SQL_INTEGER, &integer);
  if (status == 0) status = DB_get_data_type(instance, SQL_VARCHAR, &varchar);
  if (status == 0) status = DB_get_data_type(instance, SQL_DOUBLE, &dbl);
  if (status != 0) return status;
  std::string I = integer, V = varchar, D = dbl;
  std::string ddl =
      "CREATE TABLE LAYERS (layer_id " + I +
      " NOT NULL GENERATED BY DEFAULT AS IDENTITY (START WITH 0, INCREMENT BY 1, CACHE 25), "
      "description " + V + " (65), database_name " + V + " (8) NOT NULL, owner " + V +
      " (30) NOT NULL, table_name " + V + " (128) NOT NULL, spatial_column " + V +
      " (128) NOT NULL, eflags " + I + " NOT NULL, layer_mask " + I + " NOT NULL, minx " + D +
      " NOT NULL, miny " + D + " NOT NULL, maxx " + D + " NOT NULL, maxy " + D +
      " NOT NULL, cdate " + I + " NOT NULL, layer_config " + V + " (32), optimal_array_size " + I +
      ", stats_date " + I + ", minimum_id " + I + ", srid " + I + " NOT NULL, base_layer_id " + I +
      " NOT NULL, gsize1 " + D + " NOT NULL, gsize2 " + D + " NOT NULL, gsize3 " + D +
      " NOT NULL, CONSTRAINT layer_uk UNIQUE (layer_id), CONSTRAINT layer_uk2 UNIQUE (owner, "
      "table_name), CONSTRAINT layers_pk PRIMARY KEY (database_name, owner, table_name, "
      "spatial_column), CONSTRAINT layers_fk FOREIGN KEY (owner, table_name, spatial_column) "
      "REFERENCES DB2GSE.gse_layer (layer_schema, layer_table, layer_column), CONSTRAINT "
      "spatial_ref_fk FOREIGN KEY (srid) REFERENCES DB2GSE.gse_spatial_ref) ";
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_B_STORAGE), DB_MODE_EXEC_COMMIT,
                      db_make_layers_table_name, "grant select on %s to public", no_step);
}

int32_t DB_instance_metadata_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE METADATA (record_id integer NOT NULL GENERATED BY DEFAULT AS IDENTITY (START "
      "WITH 0, INCREMENT BY 1, CACHE 25), object_name VARCHAR(32) NOT NULL, object_database "
      "VARCHAR(32), object_owner VARCHAR(32) NOT NULL, object_type INTEGER NOT NULL, class_name "
      "VARCHAR(32), property VARCHAR(32), prop_value VARCHAR(255), description VARCHAR(65), "
      "creation_date TIMESTAMP NOT NULL, CONSTRAINT metadata_pk PRIMARY KEY (record_id)) ";
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_B_STORAGE), DB_MODE_EXEC_COMMIT,
                      db_make_metadata_table_name, "GRANT SELECT ON %s TO PUBLIC", no_step);
}

int32_t DB_instance_rascol_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE RASTER_COLUMNS (rastercolumn_id integer NOT NULL, description VARCHAR(65), "
      "database_name VARCHAR(32) NOT NULL, owner VARCHAR(32) NOT NULL, table_name VARCHAR(128) "
      "NOT NULL, raster_column VARCHAR(128) NOT NULL, cdate INTEGER NOT NULL, config_keyword "
      "VARCHAR(32), minimum_id INTEGER, base_rastercolumn_id INTEGER NOT NULL, rastercolumn_mask "
      "INTEGER NOT NULL, srid INTEGER, CONSTRAINT rascol_uk UNIQUE (rastercolumn_id), CONSTRAINT "
      "rascol_pk PRIMARY KEY (owner, table_name, raster_column), CONSTRAINT rascol_fk FOREIGN KEY "
      "(srid) REFERENCES db2gse.gse_spatial_ref (srid)) ";
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_B_STORAGE), DB_MODE_EXEC_COMMIT,
                      db_make_raster_columns_table_name, "GRANT SELECT ON %s TO PUBLIC", no_step);
}

int32_t DB_instance_registry_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE TABLE_REGISTRY (registration_id integer NOT NULL GENERATED BY DEFAULT AS "
      "IDENTITY (START WITH 0, INCREMENT BY 1, CACHE 25), database_name VARCHAR(32) NOT NULL, "
      "owner VARCHAR(32) NOT NULL, table_name VARCHAR(128) NOT NULL, rowid_column VARCHAR(32), "
      "description VARCHAR(65), object_flags INTEGER NOT NULL, registration_date INTEGER NOT "
      "NULL, config_keyword VARCHAR(32), minimum_id INTEGER, imv_view_name VARCHAR(32), "
      "CONSTRAINT registry_pk PRIMARY KEY (registration_id), CONSTRAINT registry_uk2 UNIQUE "
      "(database_name,table_name,owner)) ";
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_B_STORAGE), DB_MODE_DDL_COMMIT,
                      db_make_table_registry_table_name, "GRANT SELECT ON %s TO PUBLIC", no_step);
}

int32_t DB_instance_versions_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE VERSIONS (name VARCHAR(64) NOT NULL, owner VARCHAR(32) NOT NULL, version_id "
      "integer NOT NULL GENERATED BY DEFAULT AS IDENTITY (START WITH 0, INCREMENT BY 1, CACHE "
      "25), status INTEGER NOT NULL, state_id INTEGER NOT NULL, description VARCHAR(65), "
      "parent_name VARCHAR(64), parent_owner VARCHAR(32), parent_version_id INTEGER, "
      "creation_time TIMESTAMP NOT NULL, CONSTRAINT versions_uk UNIQUE (name,owner), CONSTRAINT "
      "versions_uk2 UNIQUE (version_id)) ";
  auto seed = [instance]() {
    VERSION v;
    memset(&v, 0, sizeof v);
    memcpy(v.tag, SE_VERSION_TAG, sizeof v.tag);
    strcpy(v.name, "DEFAULT");
    strcpy(v.owner, SE_ADMIN_USER);
    v.id = 1;
    v.status = 1;
    v.state_id = 0;
    strcpy(v.description, "Instance default version.");
    return DB_versions_def_insert(instance, &v, 0, nullptr);
  };
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_VERSIONS_TABLE),
                      DB_MODE_DDL_COMMIT, db_make_versions_table_name,
                      "GRANT SELECT ON %s TO PUBLIC", seed);
}

int32_t DB_instance_states_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE STATES (state_id INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY (START "
      "WITH 0, INCREMENT BY 1, CACHE 25), owner VARCHAR(32) NOT NULL, creation_time TIMESTAMP "
      "NOT NULL, closing_time TIMESTAMP, parent_state_id INTEGER NOT NULL, lineage_name INTEGER "
      "NOT NULL, CONSTRAINT states_uk UNIQUE (parent_state_id,lineage_name), CONSTRAINT "
      "states_pk PRIMARY KEY (state_id)) ";
  auto seed = [instance]() {
    STATE s;
    memset(&s, 0, sizeof s);
    memcpy(s.tag, SE_STATE_TAG, sizeof s.tag);
    strcpy(s.owner, SE_ADMIN_USER);
    return DB_states_def_insert(instance, &s);
  };
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_STATES_TABLE),
                      DB_MODE_EXEC_COMMIT, db_make_states_table_name,
                      "GRANT SELECT ON %s TO PUBLIC", seed);
}

int32_t DB_instance_modified_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE MVTABLES_MODIFIED (state_id INTEGER NOT NULL, registration_id INTEGER NOT "
      "NULL) ";
  auto index = [instance, storage]() {
    std::string sql = with_clause(
        "CREATE INDEX mvtables_mod_ix ON mvtables_modified (state_id,registration_id) ", storage,
        DBTUNE_SYS_MVTABLES_MODIFIED_INDEX);
    return db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_EXEC_COMMIT);
  };
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_MVTABLES_MODIFIED_TABLE),
                      DB_MODE_EXEC_COMMIT, db_make_mvtables_modified_table_name,
                      "GRANT SELECT ON %s TO PUBLIC", index);
}

int32_t DB_instance_zullocators_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  std::string ddl =
      "CREATE TABLE LOCATORS (locator_id INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY "
      "(START WITH 0, INCREMENT BY 1, CACHE 25), name VARCHAR(32) NOT NULL, owner VARCHAR(32) "
      "NOT NULL, category VARCHAR(32) NOT NULL, type INTEGER NOT NULL, description VARCHAR(64) "
      "NOT NULL, CONSTRAINT locators_pk PRIMARY KEY (locator_id), CONSTRAINT locators_uk UNIQUE "
      "(name,owner)) ";
  return create_table(instance, with_clause(ddl, storage, DBTUNE_SYS_B_STORAGE), DB_MODE_DDL_COMMIT,
                      db_make_locators_table_name, "GRANT SELECT ON %s TO PUBLIC", no_step);
}

namespace {
int32_t catalogue_noop(DB_INSTANCE* instance) {
  DB_instance_clear_xerr(instance);
  return 0;
}
}  // namespace

int32_t DB_instance_spatial_ref_table_create(DB_INSTANCE* in, const DBTUNE_SYSTEM_PARAMS*) { return catalogue_noop(in); }
int32_t DB_instance_geocol_table_create(DB_INSTANCE* in, const DBTUNE_SYSTEM_PARAMS*) { return catalogue_noop(in); }
int32_t DB_instance_layers_table_upgrade(DB_INSTANCE* in, const DBTUNE_SYSTEM_PARAMS*) { return catalogue_noop(in); }
int32_t DB_instance_modified_table_upgrade(DB_INSTANCE* in, const DBTUNE_SYSTEM_PARAMS*) { return catalogue_noop(in); }

// ---- 4. existence checks -----------------------------------------------------------------

namespace {

// Prepares "SELECT cols FROM table" and drops it: 0, or the failure's
// SQLSTATE in *diag and a non-zero answer.
int32_t probe(DB_INSTANCE* instance, const char* format, const char* table, DB_DIAG_RECORD* diag) {
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, format, table);
  Stmt s;
  return prepare(instance, &s, sql, diag);
}

int32_t probe_by_execution(DB_INSTANCE* instance, const char* format,
                           void (*name_of)(DB_INSTANCE*, char*)) {
  char table[SE_DB_QUALIFIED_LEN];
  name_of(instance, table);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, format, table);
  return db_execute_ddlsql(instance, sql, 0, DB_MODE_EXEC);
}

}  // namespace

int32_t DB_instance_layers_table_exists(DB_INSTANCE* instance) {
  char table[SE_DB_QUALIFIED_LEN];
  DB_DIAG_RECORD d;
  db_make_layers_table_name(instance, table);
  if (probe(instance, "SELECT layer_mask FROM %s", table, &d) != 0) {
    if (state_is(d, "42S02")) return SE_LAYERS_NOEXIST;
    if (state_is(d, "42S22")) return SE_ATTR_NOEXIST;
    return -1;
  }
  void (*views[])(DB_INSTANCE*, char*) = {db_make_gse_spatial_ref_name, db_make_gse_layer_geom_name};
  for (auto name_of : views) {
    name_of(instance, table);
    int32_t status = probe(instance, "SELECT srid FROM %s", table, &d);
    if (status != 0) {
      if (state_is(d, "42S02")) return SE_NO_SPATIAL_CATALOG;
      db_commit_ddlsql(instance);
      return status;
    }
  }
  db_commit_ddlsql(instance);
  return 0;
}

int32_t DB_instance_spatial_ref_table_exists(DB_INSTANCE* instance) {
  char table[SE_DB_QUALIFIED_LEN];
  DB_DIAG_RECORD d;
  db_make_gse_spatial_ref_name(instance, table);
  if (probe(instance, "SELECT srid FROM %s ", table, &d) != 0) {
    if (state_is(d, "42S02")) return SE_TABLE_NOEXIST;
    if (state_is(d, "42S22")) return SE_ATTR_NOEXIST;
    return -1;
  }
  return 0;
}

int32_t DB_instance_geocol_table_exists(DB_INSTANCE* instance) {
  return probe_by_execution(instance, "SELECT * FROM %s", db_make_gse_layer_geom_name);
}

int32_t DB_instance_metadata_table_exists(DB_INSTANCE* instance) {
  int32_t status =
      probe_by_execution(instance, "SELECT object_database FROM %s ", db_make_metadata_table_name);
  if (status != SE_ATTR_NOEXIST) return status;
  // A table of the older layout: add the database column and fill it with
  // the administrative database's name.
  char table[SE_DB_QUALIFIED_LEN];
  db_make_metadata_table_name(instance, table);
  std::string sql = std::string("ALTER TABLE ") + table + " ADD object_database VARCHAR(32) ";
  status = db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_EXEC);
  if (status != 0) return status;
  char admin[SE_DB_NAME_LEN * 2 + 1];
  snprintf(admin, sizeof admin, "%s", instance->admin_database);
  db_double_quotes(admin);
  sql = std::string("UPDATE ") + table + " SET " + table + ".object_database = UPPER('" + admin + "') ";
  return db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_EXEC_COMMIT);
}

int32_t DB_instance_rascol_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s ", db_make_raster_columns_table_name); }
int32_t DB_instance_modified_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s ", db_make_mvtables_modified_table_name); }
int32_t DB_instance_registry_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s", db_make_table_registry_table_name); }
int32_t DB_instance_versions_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s", db_make_versions_table_name); }
int32_t DB_instance_states_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s", db_make_states_table_name); }
int32_t DB_instance_zullocators_table_exists(DB_INSTANCE* in) { return probe_by_execution(in, "SELECT * FROM %s", db_make_locators_table_name); }

// ---- 5. counts, largest ids, bit sets ------------------------------------------------------

namespace {

int32_t count_of(DB_INSTANCE* instance, const char* format, void (*name_of)(DB_INSTANCE*, char*),
                 int32_t* count) {
  char table[SE_DB_QUALIFIED_LEN];
  name_of(instance, table);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, format, table);
  return int_query(instance, sql, count, false);
}

int32_t max_of_admin_table(DB_INSTANCE* instance, const char* format, int32_t* id) {
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, format, instance->current_database, SE_ADMIN_USER);
  return max_query(instance, sql, id);
}

}  // namespace

int32_t DB_instance_get_layer_count(DB_INSTANCE* in, int32_t* count) {
  return count_of(in, "SELECT count(*) FROM  %s", db_make_layers_table_name, count);
}

int32_t DB_instance_get_rascol_count(DB_INSTANCE* in, int32_t* count) {
  return count_of(in, "SELECT count(*) FROM %s", db_make_raster_columns_table_name, count);
}

int32_t DB_instance_get_state_count(DB_INSTANCE* in, int32_t* count) {
  return count_of(in, "SELECT count(*) FROM  %s", db_make_states_table_name, count);
}

int32_t DB_instance_get_metadata_count(DB_INSTANCE* instance, const char* where, int32_t* count) {
  *count = 0;
  const char* clause = db_sql_strip_where(where);
  char table[SE_DB_QUALIFIED_LEN];
  db_make_metadata_table_name(instance, table);
  try {
    std::string sql = std::string("SELECT count(*) FROM ") + table;
    if (clause != nullptr) sql += std::string(" WHERE ") + clause;
    return int_query(instance, sql.c_str(), count, false);
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_DBMS_MEM;
  }
}

int32_t DB_instance_get_metadata_count_by_table(DB_INSTANCE* instance, const char* name,
                                                int32_t* count) {
  DB_instance_clear_xerr(instance);
  *count = 0;
  char owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, name, instance->current_user, nullptr, owner, table);
  char meta[SE_DB_QUALIFIED_LEN];
  db_make_metadata_table_name(instance, meta);
  // The parsed names come from the client: they travel as parameters, never
  // inside the statement text.
  std::string sql = std::string("SELECT count(*) FROM ") + meta +
                    " WHERE object_name = ? AND object_owner = ? ";
  Stmt s;
  DB_DIAG_RECORD d;
  if (prepare(instance, &s, sql.c_str(), &d) != 0) {
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  SQLLEN ind[3] = {SQL_NTS, SQL_NTS, 0};
  SQLINTEGER value = 0;
  SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                  SE_NAME_TABLE_LEN, 0, table, sizeof table, &ind[0]);
  if (ok(rc))
    rc = SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, SE_NAME_OWNER_LEN, 0,
                          owner, sizeof owner, &ind[1]);
  if (ok(rc)) rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &value, 0, &ind[2]);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (rc == SQL_NO_DATA) return SQL_NO_DATA;
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
    return SE_DB_IO_ERROR;
  }
  *count = ind[2] == SQL_NULL_DATA ? 0 : (int32_t)value;
  return rc;
}

int32_t DB_instance_get_max_version_id(DB_INSTANCE* in, int32_t* id) {
  return max_of_admin_table(in, "SELECT MAX(version_id) FROM  %s.%s.versions", id);
}

int32_t DB_instance_get_max_metadata_id(DB_INSTANCE* in, int32_t* id) {
  return max_of_admin_table(in, "SELECT MAX(record_id) FROM  %s.%s.metadata", id);
}

int32_t DB_instance_get_max_locator_id(DB_INSTANCE* in, int32_t* id) {
  return max_of_admin_table(in, "SELECT MAX(locator_id) FROM  %s.%s.locators", id);
}

int32_t DB_instance_get_max_state_id(DB_INSTANCE* instance, int32_t* id) {
  char table[SE_DB_QUALIFIED_LEN];
  db_make_states_table_name(instance, table);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, "SELECT MAX(state_id) FROM  %s", table);
  return max_query(instance, sql, id);
}

namespace {

int32_t id_bitmap(DB_INSTANCE* instance, const char* format, void (*name_of)(DB_INSTANCE*, char*),
                  int32_t max_id, int32_t range_status, SE_BITMAP** out) {
  DB_instance_clear_xerr(instance);
  *out = nullptr;
  SE_BITMAP* set = SES_Bitmap_Create(max_id, 0);
  if (set == nullptr) return SE_OUT_OF_DBMS_MEM;
  char table[SE_DB_QUALIFIED_LEN];
  name_of(instance, table);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, format, table);

  Stmt s;
  DB_DIAG_RECORD d;
  SQLINTEGER ids[DB_MAX_ROWSET];
  SQLUSMALLINT row_status[DB_MAX_ROWSET];
  SQLRETURN rc = SQL_SUCCESS;
  if (prepare(instance, &s, sql, &d) != 0) {
    db_report_dbms_error(instance, d);
    SES_Bitmap_Destroy(set);
    return SE_DB_IO_ERROR;
  }
  rc = SQLSetStmtAttr(s.h, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)DB_MAX_ROWSET, 0);
  if (ok(rc)) rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, ids, 0, nullptr);
  while (ok(rc)) {
    SQLULEN fetched = 0;
    rc = SQLExtendedFetch(s.h, SQL_FETCH_NEXT, 0, &fetched, row_status);
    if (!ok(rc)) break;
    if (fetched > DB_MAX_ROWSET) fetched = DB_MAX_ROWSET;
    for (SQLULEN k = 0; k < fetched; ++k) {
      if (ids[k] <= 0 || ids[k] > max_id) {
        SES_Bitmap_Destroy(set);
        return range_status;
      }
      SES_Bitmap_Set(set, ids[k] - 1, 1);
    }
  }
  if (rc != SQL_NO_DATA) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
    SES_Bitmap_Destroy(set);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s.h);
  db_commit_ddlsql(instance);
  *out = set;
  return 0;
}

}  // namespace

int32_t DB_instance_get_layer_number_bitmap(DB_INSTANCE* in, int32_t max_id, SE_BITMAP** out) {
  return id_bitmap(in, "SELECT layer_id from %s", db_make_layers_table_name, max_id,
                   SE_LAYER_ID_RANGE, out);
}

int32_t DB_instance_get_rascol_number_bitmap(DB_INSTANCE* in, int32_t max_id, SE_BITMAP** out) {
  return id_bitmap(in, "SELECT rastercolumn_id FROM %s", db_make_raster_columns_table_name, max_id,
                   SE_RASCOL_ID_RANGE, out);
}
