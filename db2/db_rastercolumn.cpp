// db_rastercolumn.cpp -- raster columns: checking a new raster column,
// adding it to the business table with its four triggers, the four side
// tables (ZUL_RAS_n, ZUL_BND_n, ZUL_AUX_n, ZUL_BLK_n) with the unique block
// index, their grants, truncation and removal, views over another raster
// column's side tables, and the procedure calls that write RASTER_COLUMNS.
//
// Divisions:
//   1. verify and alter the business table
//   2. triggers
//   3. side tables
//   4. grants
//   5. views
//   6. RASTER_COLUMNS through the procedures
//
// The triggers keep the business table and the raster table consistent: a
// raster id written into the column must exist in the raster table (else
// SQLSTATE SE746), a changed non-null value is refused, and a row that loses
// its raster marks the raster row orphaned (raster_flags = raster_id).
//
// Relies on the statement helper of db_raster_io.h, the table services of
// zul_db_table.h (grants, truncation, drops), the object names of
// zul_db_tables.h, the dbtune raster parameters and the raster column
// records (db_raster_records.cpp).
#include <stdio.h>
#include <string.h>

#include <memory>

#include "db_raster_io.h"
#include "geomkit.h"
#include "svr_services.h"
#include "zul_db_raster.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using rasio::field;
using rasio::fmt;
using rasio::Stmt;

namespace {

constexpr int32_t kRegMultiversion = 8;   // registration flag: multiversioned table
constexpr int32_t kTableNoexistView = -239;

std::string business_table(const RASTERCOLUMN* rc) {
  char out[SE_DB_QUALIFIED_LEN];
  DB_table_make_name(field(rc->database, sizeof rc->database).c_str(),
                     field(rc->owner, sizeof rc->owner).c_str(),
                     field(rc->table, sizeof rc->table).c_str(), out);
  return out;
}

bool multiversioned(const REGISTRATION* reg) {
  return reg != nullptr && reg->id > 0 && (reg->flags & kRegMultiversion) != 0;
}

std::string adds_table(DB_INSTANCE* instance, const RASTERCOLUMN* rc, const REGISTRATION* reg) {
  char out[SE_DB_QUALIFIED_LEN];
  db_make_adds_table_name(instance, reg->id, field(rc->database, sizeof rc->database).c_str(),
                          field(rc->owner, sizeof rc->owner).c_str(), out);
  return out;
}

std::string side_name(DB_INSTANCE* in, int32_t id, char kind) {
  char out[SE_DB_QUALIFIED_LEN];
  switch (kind) {
    case 'R': db_make_ras_table_name(in, nullptr, id, out); break;
    case 'B': db_make_bnd_table_name(in, nullptr, id, out); break;
    case 'A': db_make_aux_table_name(in, nullptr, id, out); break;
    default: db_make_blk_table_name(in, nullptr, id, out); break;
  }
  return out;
}

// Names of the record that reach SQL text must be plain identifiers.
int32_t check_names(DB_INSTANCE* instance, const RASTERCOLUMN* rc) {
  const std::string parts[] = {field(rc->owner, sizeof rc->owner),
                               field(rc->table, sizeof rc->table),
                               field(rc->column, sizeof rc->column),
                               field(rc->database, sizeof rc->database)};
  for (const auto& p : parts)
    if (DB_check_identifier(instance, p.c_str()) != 0) return SE_INVALID_IDENTIFIER;
  return 0;
}

}  // namespace

// ---- 1. verify and alter the business table -----------------------------------------

int32_t DB_rastercolumn_verify_table(DB_INSTANCE* instance, RASTERCOLUMN* rc) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  char owner[SE_NAME_OWNER_LEN];
  snprintf(owner, sizeof owner, "%s", field(rc->owner, sizeof rc->owner).c_str());
  if (owner[0] != '\0') {
    db_upcase_identifier(instance, owner, (int32_t)sizeof owner);
    if (strcmp(owner, instance->current_user) != 0) return SE_RASTER_OWNER_NOT_USER;
  } else {
    snprintf(rc->owner, sizeof rc->owner, "%.31s", instance->current_user);
  }
  char column[SE_NAME_COLUMN_LEN], table[SE_NAME_TABLE_LEN];
  snprintf(column, sizeof column, "%s", field(rc->column, sizeof rc->column).c_str());
  snprintf(table, sizeof table, "%s", field(rc->table, sizeof rc->table).c_str());
  db_upcase_identifier(instance, column, (int32_t)sizeof column);
  db_upcase_identifier(instance, table, (int32_t)sizeof table);
  if (strcmp(column, table) == 0) return SE_RASTERCOLUMN_INUSE;
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  char three[SE_DB_QUALIFIED_LEN];
  std::string db = field(rc->database, sizeof rc->database);
  db_make_three_part_name(db.empty() ? nullptr : db.c_str(),
                          field(rc->owner, sizeof rc->owner).c_str(), table, three);
  Stmt st(instance);
  int32_t s = st.prepare(fmt("SELECT %s FROM %s", column, three));
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) {
    if (st.state_is("42S22") || st.state_is("42703")) return 0;   // the column will be added
    int32_t mapped = rasio::ddl_state_status(st.sqlstate());
    return mapped != 0 ? mapped : st.record();
  }
  SQLCHAR name[130];
  SQLSMALLINT name_len = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  SQLRETURN rc2 = SQLDescribeCol(st.handle(), 1, name, sizeof name, &name_len, &type, &size,
                                 &digits, &nullable);
  if (rc2 != SQL_SUCCESS && rc2 != SQL_SUCCESS_WITH_INFO) return st.record();
  if (type != SQL_INTEGER) return SE_RASTER_COLUMN_NOT_INTEGER;
  if (nullable != SQL_NULLABLE) return SE_RASTER_COLUMN_NOT_NULLABLE;
  return 0;
}

int32_t DB_rastercolumn_alter_user_table(DB_INSTANCE* instance, const RASTERCOLUMN* rc,
                                         const REGISTRATION* reg) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  std::string table = business_table(rc), column = field(rc->column, sizeof rc->column);
  bool mv = multiversioned(reg);
  std::string adds = mv ? adds_table(instance, rc, reg) : std::string();
  std::string sql =
      mv ? fmt("SELECT COUNT(*) FROM %s WHERE %s IS NOT NULL UNION SELECT COUNT(*) FROM %s WHERE %s "
               "IS NOT NULL",
               adds.c_str(), column.c_str(), table.c_str(), column.c_str())
         : fmt("SELECT COUNT(*) FROM %s WHERE %s IS NOT NULL", table.c_str(), column.c_str());
  {
    Stmt st(instance);
    int32_t s = st.prepare(sql);
    if (s == 0) s = st.execute();
    int32_t count = 0;
    while (s == 0 && (s = st.fetch()) == 0) {
      s = st.get_int(1, &count, nullptr);
      if (s == 0 && count > 0) {
        SES_print_debug(stderr,
                        "DB_rastercolumn_alter_user_table() Invalid raster column (%s.%s).\nColumn "
                        "must be NULL before spatially enabling it.\n",
                        table.c_str(), column.c_str());
        return SE_RASTERCOLUMN_INUSE;
      }
    }
    if (s != SE_FINISHED && !(st.state_is("42S22") || st.state_is("42703"))) {
      return st.record();
    }
  }
  std::string targets[2] = {table, adds};
  for (int i = 0; i < (mv ? 2 : 1); ++i) {
    int32_t s = rasio::exec_sql(instance,
                                fmt("ALTER TABLE %s ADD %s INTEGER DEFAULT NULL",
                                    targets[i].c_str(), column.c_str()),
                                true);
    if (s == SE_COLUMN_EXISTS) s = 0;   // an existing nullable INTEGER column is taken as it is
    if (s != 0) {
      fprintf(stderr, "DB_rastercolumn_alter_user_table() Error executing SQL (%d).\n", (int)s);
      return s == SE_TABLE_NOEXIST ? SE_NO_PERMISSIONS : s;
    }
  }
  if (mv) return 0;
  int32_t s = DB_rastercolumn_create_user_trigger(instance, rc);
  if (s != 0)
    fprintf(stderr, "DB_rastercolumn_alter_user_table() Error creating trigger (%d).\n", (int)s);
  return s;
}

int32_t DB_rastercolumn_set_null(DB_INSTANCE* instance, const RASTERCOLUMN* rc,
                                 const REGISTRATION* reg) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  std::string column = field(rc->column, sizeof rc->column);
  int32_t s = rasio::exec_sql(
      instance, fmt("UPDATE %s SET %s = NULL", business_table(rc).c_str(), column.c_str()), true);
  if (s == SE_DB_NO_DATA) s = 0;
  if (s != 0) {
    fprintf(stderr, "DB_rastercolumn_set_null() Error executing SQL (%d).\n", (int)s);
    instance->xerr.code = s;
    return SE_DB_IO_ERROR;
  }
  if (multiversioned(reg)) {
    s = rasio::exec_sql(instance,
                        fmt("UPDATE %s SET %s = NULL", adds_table(instance, rc, reg).c_str(),
                            column.c_str()),
                        true);
    if (s == SE_DB_NO_DATA) s = 0;
    if (s != 0) fprintf(stderr, "DB_rastercolumn_set_null() Error executing SQL (%d).\n", (int)s);
  }
  return s;
}

// ---- 2. triggers ------------------------------------------------------------------------

int32_t DB_rastercolumn_drop_user_trigger(DB_INSTANCE* instance, int32_t id) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  const char* const kDrops[] = {"DROP TRIGGER %s_ins_%d", "DROP TRIGGER %s_del_%d",
                                "DROP TRIGGER %s_upd_%da", "DROP TRIGGER %s_upd_%db"};
  int32_t first = 0;
  for (const char* f : kDrops) {
    int32_t s = rasio::exec_sql(instance, fmt(f, "RL", (int)id), true);
    if (s == SE_TABLE_NOEXIST || s == SE_DB_NO_DATA) s = 0;
    if (s != 0 && first == 0) first = s;
  }
  if (first != 0)
    SES_print_debug(stderr, "DB_rastercolumn_drop_user_trigger Execute Error (%d).\n", (int)first);
  return first;
}

int32_t DB_rastercolumn_create_user_trigger(DB_INSTANCE* instance, const RASTERCOLUMN* rc) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  DB_rastercolumn_drop_user_trigger(instance, rc->id);
  DB_instance_clear_xerr(instance);
  int n = (int)rc->id;
  std::string c = field(rc->column, sizeof rc->column);
  std::string t = field(rc->table, sizeof rc->table);
  std::string r = side_name(instance, rc->id, 'R');
  const char* C = c.c_str();
  const char* T = t.c_str();
  const char* R = r.c_str();
  const std::string texts[] = {
      fmt("CREATE TRIGGER %s_upd_%da AFTER UPDATE OF %s ON %s REFERENCING OLD AS pre NEW AS post "
          "FOR EACH ROW MODE DB2SQL WHEN ( post.%s IS NOT NULL AND pre.%s is NULL AND       (SELECT "
          "RASTER_ID FROM %s WHERE RASTER_ID = post.%s) IS NULL OR       post.%s IS NOT NULL AND "
          "pre.%s IS NOT NULL AND       post.%s != pre.%s )   SIGNAL SQLSTATE 'SE746' ('Invalid "
          "raster ID')",
          "RL", n, C, T, C, C, R, C, C, C, C, C),
      fmt("CREATE TRIGGER %s_upd_%db AFTER UPDATE OF %s ON %s REFERENCING OLD AS pre NEW AS post "
          "FOR EACH ROW MODE DB2SQL WHEN ( post.%s IS NULL AND pre.%s IS NOT NULL )   UPDATE %s SET "
          "RASTER_FLAGS = RASTER_ID   WHERE RASTER_ID = pre.%s",
          "RL", n, C, T, C, C, R, C),
      fmt("CREATE TRIGGER %s_ins_%d AFTER INSERT ON %s REFERENCING NEW AS post FOR EACH ROW MODE "
          "DB2SQL WHEN ( post.%s IS NOT NULL AND        (SELECT RASTER_ID FROM %s WHERE RASTER_ID = "
          "post.%s) IS NULL )   SIGNAL SQLSTATE 'SE746' ('Invalid raster ID')",
          "RL", n, T, C, R, C),
      fmt("CREATE TRIGGER %s_del_%d AFTER DELETE ON %s REFERENCING OLD AS pre FOR EACH ROW MODE "
          "DB2SQL UPDATE %s SET RASTER_FLAGS = RASTER_ID WHERE RASTER_ID = pre.%s",
          "RL", n, T, R, C),
  };
  for (const auto& sql : texts) {
    int32_t s = rasio::exec_sql(instance, sql, true);
    if (s != 0) return s;
  }
  return 0;
}

// ---- 3. side tables ------------------------------------------------------------------------

namespace {

// The constraint names are the table name's last part.
std::string last_part(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

void drop_tables(DB_INSTANCE* instance, const std::string* tables, int count) {
  for (int i = 0; i < count; ++i) DB_table_drop(instance, tables[i].c_str());
}

}  // namespace

int32_t DB_rastercolumn_create_tables(DB_INSTANCE* instance, int32_t id, const char* table) {
  if (instance == nullptr || table == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  int32_t s = DB_rastercolumn_get_info_by_id(instance, nullptr, id, &rc);
  if (s != 0) return s;
  DBTUNE_RASTER_PARAMS* params = new DBTUNE_RASTER_PARAMS();
  std::unique_ptr<DBTUNE_RASTER_PARAMS> keep(params);
  s = db_dbtune_get_raster_params(instance, params,
                                  field(rc.config_keyword, sizeof rc.config_keyword).c_str());
  if (s != 0) return s;
  const std::string names[4] = {side_name(instance, id, 'R'), side_name(instance, id, 'B'),
                                side_name(instance, id, 'A'), side_name(instance, id, 'K')};
  std::string ras = last_part(names[0]), bnd = last_part(names[1]), aux = last_part(names[2]);
  const std::string texts[4] = {
      fmt("CREATE TABLE %s  (raster_id     INTEGER      NOT NULL,   raster_flags  INTEGER        "
          "      ,   description   VARCHAR(65)          ,   CONSTRAINT %s_uk UNIQUE (raster_id)) %s",
          names[0].c_str(), ras.c_str(), params->RAS_STORAGE),
      fmt("CREATE TABLE %s  (rasterband_id  INTEGER          NOT NULL,   sequence_nbr   INTEGER    "
          "      NOT NULL,   raster_id      INTEGER          NOT NULL,   name           VARCHAR(65) "
          "             ,   band_flags     INTEGER          NOT NULL,   band_width     INTEGER      "
          "    NOT NULL,   band_height    INTEGER          NOT NULL,   band_types     INTEGER      "
          "    NOT NULL,   block_width    INTEGER          NOT NULL,   block_height   INTEGER      "
          "    NOT NULL,   block_origin_x DOUBLE PRECISION NOT NULL,   block_origin_y DOUBLE "
          "PRECISION NOT NULL,   eminx          DOUBLE PRECISION NOT NULL,   eminy          DOUBLE "
          "PRECISION NOT NULL,   emaxx          DOUBLE PRECISION NOT NULL,   emaxy          DOUBLE "
          "PRECISION NOT NULL,   cdate          INTEGER          NOT NULL,   mdate          INTEGER "
          "         NOT NULL,   CONSTRAINT %s_uk1 UNIQUE (rasterband_id),   CONSTRAINT %s_uk2 "
          "UNIQUE (raster_id, sequence_nbr)) %s",
          names[1].c_str(), bnd.c_str(), bnd.c_str(), params->BND_STORAGE),
      fmt("CREATE TABLE %s  (rasterband_id   INTEGER   NOT NULL,   type            INTEGER   NOT "
          "NULL,   object          BLOB (1M) NOT NULL,   CONSTRAINT %s_uk UNIQUE (rasterband_id, "
          "type)) %s",
          names[2].c_str(), aux.c_str(), params->AUX_STORAGE),
      fmt("CREATE TABLE %s  (rasterband_id   INTEGER   NOT NULL,   rrd_factor      INTEGER   NOT "
          "NULL,   row_nbr         INTEGER   NOT NULL,   col_nbr         INTEGER   NOT NULL,   "
          "block_data      BLOB (1M) NOT NULL) %s",
          names[3].c_str(), params->BLK_STORAGE),
  };
  for (int i = 0; i < 4; ++i) {
    s = rasio::exec_sql(instance, texts[i], true);
    if (s != 0) {
      fprintf(stderr, "S_create_raster_tables Error(%d).\n", (int)s);
      drop_tables(instance, names, i);
      db_ctx_default_error(instance);
      return s;
    }
  }
  if ((rc.mask & SE_RASTERCOLUMN_LOAD_ONLY) == 0) {
    char index[64];
    db_make_blk_uk_index_name(id, index);
    s = rasio::exec_sql(instance,
                        fmt("CREATE UNIQUE INDEX %s ON %s (rasterband_id, rrd_factor, row_nbr, "
                            "col_nbr) %s",
                            index, names[3].c_str(), params->BLK_INDEX_COMPOSITE),
                        true);
    if (s != 0) {
      fprintf(stderr, "S_create_block_table_index Error(%d).\n", (int)s);
      fprintf(stderr, "S_create_raster_tables Error(%d).\n", (int)s);
      drop_tables(instance, names, 4);
      db_ctx_default_error(instance);
      return s;
    }
  }
  const int kGrantOrder[4] = {0, 1, 3, 2};   // raster, band, block, auxiliary
  for (int i : kGrantOrder) {
    s = db_table_copy_grants(instance, table, names[i].c_str(), 0);
    if (s != 0) {
      fprintf(stderr, "S_create_raster_tables Error(%d), unable to duplicate %s's grants.\n", (int)s,
              table);
      drop_tables(instance, names, 4);
      db_ctx_default_error(instance);
      return s;
    }
  }
  return 0;
}

int32_t DB_rastercolumn_drop_tables(DB_INSTANCE* instance, int32_t id) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  int32_t s = DB_rastercolumn_get_info_by_id(instance, nullptr, id, &rc);
  if (s != 0) return s;
  int32_t first = 0;
  for (char kind : {'R', 'B', 'A', 'K'}) {
    s = DB_table_drop(instance, side_name(instance, id, kind).c_str());
    if (s != 0 && s != SE_TABLE_NOEXIST && first == 0) first = s;
  }
  return first;
}

int32_t DB_rastercolumn_truncate_tables(DB_INSTANCE* instance, const RASTERCOLUMN* rc,
                                        const REGISTRATION* reg) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  int32_t first = 0;
  for (char kind : {'R', 'B', 'A', 'K'}) {
    int32_t s = DB_table_truncate(instance, side_name(instance, rc->id, kind).c_str());
    if (s != 0 && s != SE_TABLE_NOEXIST && first == 0) first = s;
  }
  if (first != 0) return first;
  bool mv = multiversioned(reg);
  int32_t s = 0;
  if (!mv) s = DB_rastercolumn_drop_user_trigger(instance, rc->id);
  if (s == 0) s = DB_rastercolumn_set_null(instance, rc, reg);
  if (s != 0) return s;
  if (!mv && (rc->mask & SE_RASTERCOLUMN_LOAD_ONLY) == 0)
    s = DB_rastercolumn_create_user_trigger(instance, rc);
  if (s == 0) s = rasio::commit(instance);
  return s;
}

// ---- 4. grants ---------------------------------------------------------------------------------

int32_t DB_rastercolumn_grant_zul_privileges(DB_INSTANCE* instance, const RASTERCOLUMN* rc,
                                             int32_t mode) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  std::string table = business_table(rc);
  std::string sql = mode == 1 ? fmt("GRANT SELECT ON %s TO USER %s", table.c_str(), SE_ADMIN_USER)
                              : fmt("REVOKE SELECT ON %s FROM USER %s", table.c_str(), SE_ADMIN_USER);
  int32_t s = db_odbc_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  if (s == 0 || s == SE_NO_PERMISSIONS) {
    if (s != 0) DB_instance_clear_xerr(instance);
    return 0;
  }
  SES_print_debug(stderr, "DB_rastercolumn_grant_zul_privileges Execute Immediate error (%d).\n",
                  (int)s);
  return s;
}

int32_t DB_rastercolumn_grant_access(DB_INSTANCE* instance, const RASTERCOLUMN* rc, int32_t mask,
                                     int32_t grant_option, const char* grantee) {
  if (instance == nullptr || rc == nullptr || grantee == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  if (DB_check_identifier(instance, grantee) != 0) return SE_INVALID_IDENTIFIER;
  if (mask & 0xC) mask |= 0x2;   // update or insert need select
  int32_t s = DB_table_grant_access(instance, business_table(rc).c_str(), mask, grant_option, grantee);
  // Updating a raster writes rows of every side table.
  int32_t side = (mask & 0x4) ? (mask | 0x18) : mask;
  for (char kind : {'R', 'A', 'B', 'K'})
    if (s == 0)
      s = DB_table_grant_access(instance, side_name(instance, rc->id, kind).c_str(), side,
                             grant_option, grantee);
  return s;
}

int32_t DB_rastercolumn_revoke_access(DB_INSTANCE* instance, const RASTERCOLUMN* rc, int32_t mask,
                                      const char* grantee) {
  if (instance == nullptr || rc == nullptr || grantee == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (check_names(instance, rc) != 0) return SE_INVALID_IDENTIFIER;
  if (DB_check_identifier(instance, grantee) != 0) return SE_INVALID_IDENTIFIER;
  std::string table = business_table(rc);
  int32_t s = 0;
  if (mask & 0x4) {
    // The grantee's own rights are read only to learn that they can be read.
    int32_t held = 0;
    s = DB_table_get_grantee_permissions(instance, grantee, table.c_str(), &held);
    if (s != 0) return s;
  }
  s = DB_table_revoke_access(instance, table.c_str(), mask, grantee);
  int32_t side = (mask & 0x4) ? (mask | 0x18) : mask;
  for (char kind : {'R', 'A', 'B', 'K'})
    if (s == 0)
      s = DB_table_revoke_access(instance, side_name(instance, rc->id, kind).c_str(), side, grantee);
  return s;
}

// ---- 5. views ------------------------------------------------------------------------------------

int32_t DB_rastercolumn_create_views(DB_INSTANCE* instance, int32_t new_id, const char* table,
                                     int32_t source_id) {
  if (instance == nullptr || table == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  const char kinds[3] = {'R', 'B', 'K'};   // no auxiliary view
  std::string views[3];
  for (int i = 0; i < 3; ++i) {
    views[i] = side_name(instance, new_id, kinds[i]);
    int32_t s = rasio::exec_sql(instance,
                                fmt("CREATE VIEW %s as select * from %s", views[i].c_str(),
                                    side_name(instance, source_id, kinds[i]).c_str()),
                                true);
    if (s != 0) {
      fprintf(stderr, "DB_rastercolumn_create_views Error(%d).\n", (int)s);
      for (int j = 0; j < i; ++j) DB_view_drop(instance, views[j].c_str());
      return s;
    }
  }
  for (int i = 0; i < 3; ++i) {
    int32_t s = db_table_copy_grants(instance, table, views[i].c_str(), 0);
    if (s != 0) {
      fprintf(stderr, "DB_rastercolumn_create_views Error(%d), unable to duplicate %s's grants.\n",
              (int)s, table);
      for (const auto& v : views) DB_view_drop(instance, v.c_str());
      return s;
    }
  }
  return 0;
}

int32_t DB_rastercolumn_drop_views(DB_INSTANCE* instance, int32_t id) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t first = 0;
  for (char kind : {'R', 'B', 'K'}) {
    int32_t s = DB_view_drop(instance, side_name(instance, id, kind).c_str());
    // A view that is not there (-239, or -37 as the table module reports it)
    // needs no dropping.
    if (s != 0 && s != kTableNoexistView && s != SE_TABLE_NOEXIST && first == 0) first = s;
  }
  return first;
}

// ---- 6. RASTER_COLUMNS through the procedures ---------------------------------------------------

namespace {

std::string call_text(DB_INSTANCE* instance, const char* proc, int markers) {
  char name[128];
  db_sp_make_name(instance, proc, 0, name);
  std::string list;
  for (int i = 0; i < markers; ++i) list += i == 0 ? "?" : ",?";
  return fmt("call %s (%s)", name, list.c_str());
}

// A text parameter: the field cut to cap characters, NULL when empty and
// null_when_empty is set.
struct TextParam {
  char text[161];
  SQLLEN ind;
  TextParam(const char* from, size_t from_cap, bool null_when_empty) {
    snprintf(text, sizeof text, "%s", field(from, from_cap).c_str());
    ind = (null_when_empty && text[0] == '\0') ? SQL_NULL_DATA : SQL_NTS;
  }
};

}  // namespace

int32_t DB_sp_rastercolumn_def_insert(DB_INSTANCE* instance, RASTERCOLUMN* rc) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t srid = 0;
  SQLLEN srid_ind = SQL_NULL_DATA;
  if (rc->coordref != nullptr) {
    // The srid of the record's coordinate reference stands until the
    // spatial-reference module finds or creates one for it.
    srid = rc->coordref->srid;
    if (srid <= 0) return SE_RASTER_SREF_NOEXIST;
    srid_ind = 0;
  }
  TextParam desc(rc->description, sizeof rc->description, true),
      db(rc->database, sizeof rc->database, false), owner(rc->owner, sizeof rc->owner, false),
      table(rc->table, sizeof rc->table, false), column(rc->column, sizeof rc->column, false),
      config(rc->config_keyword, sizeof rc->config_keyword, true);
  int32_t id = rc->id, cdate = rasio::now(), min_id = (int32_t)rc->min_id, base = rc->value372,
          mask = rc->mask;
  Stmt st(instance);
  int32_t s = st.prepare(call_text(instance, "zul_insert_raster", 12));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.bind_text(desc.text, 64, &desc.ind);
  if (s == 0) s = st.bind_text(db.text, 32, &db.ind);
  if (s == 0) s = st.bind_text(owner.text, 32, &owner.ind);
  if (s == 0) s = st.bind_text(table.text, 160, &table.ind);
  if (s == 0) s = st.bind_text(column.text, 32, &column.ind);
  if (s == 0) s = st.bind_int(&cdate);
  if (s == 0) s = st.bind_text(config.text, 32, &config.ind);
  if (s == 0) s = st.bind_int(&min_id);
  if (s == 0) s = st.bind_int(&base);
  if (s == 0) s = st.bind_int(&mask);
  if (s == 0) s = st.bind_int(&srid, &srid_ind);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) {
    if (st.state_is("23000") || st.state_is("23505")) return SE_RASTERBAND_EXISTS;
    return st.record();
  }
  if (s == 0) rc->creation_date = cdate;
  return s == SE_DB_NO_DATA ? 0 : s;
}

int32_t DB_sp_rastercolumn_def_delete(DB_INSTANCE* instance, int32_t id) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  Stmt st(instance);
  int32_t s = st.prepare(call_text(instance, "zul_delete_raster", 1));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) return st.record();
  return rasio::commit(instance) == 0 ? 0 : SE_DB_IO_ERROR;
}

int32_t DB_sp_rastercolumn_def_update(DB_INSTANCE* instance, const RASTERCOLUMN* rc) {
  if (instance == nullptr || rc == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  TextParam desc(rc->description, sizeof rc->description, true),
      config(rc->config_keyword, sizeof rc->config_keyword, true);
  int32_t id = rc->id, min_id = (int32_t)rc->min_id, mask = rc->mask;
  Stmt st(instance);
  int32_t s = st.prepare(call_text(instance, "zul_update_raster", 5));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.bind_text(desc.text, 64, &desc.ind);
  if (s == 0) s = st.bind_text(config.text, 32, &config.ind);
  if (s == 0) s = st.bind_int(&min_id);
  if (s == 0) s = st.bind_int(&mask);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) return st.record();
  return 0;
}

int32_t DB_sp_rastercolumn_def_rename(DB_INSTANCE* instance, int32_t id, const char* table) {
  if (instance == nullptr || table == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  char name[161];
  snprintf(name, sizeof name, "%s", table);
  SQLLEN ind = SQL_NTS;
  Stmt st(instance);
  int32_t s = st.prepare(call_text(instance, "zul_rename_raster", 2));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.bind_text(name, 160, &ind);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) return st.record();
  return 0;
}
