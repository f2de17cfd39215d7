// db_table.cpp -- plain tables on DB2: create from column definitions, add a
// column, describe, list the tables a user may use, read, grant and revoke
// privileges, empty, drop, drop a view.
//
// Relies on the statement layer (dbsql_io.h), DB2's type names
// (DB_get_data_type), the dbtune storage parameters of a configuration
// keyword, the LAYERS and RASTER_COLUMNS system tables, and SYSCAT. The
// texts of CREATE TABLE and ALTER TABLE are built by db_table_create_text
// and db_table_add_column_text, so that they can be checked whole.
//
// Divisions:
//   1. column type texts
//   2. create, add column, drop column, rename
//   3. describe
//   4. list
//   5. privileges, grant, revoke
//   6. truncate, drop, drop view
//   7. the raster column of a table, grants
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <memory>
#include <vector>

#include "db_table_private.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_raster.h"
#include "zul_dbtune.h"

using dbt::guarded;
using dbt::lit;
using dbt::ok;
using dbt::Stmt;

// Internal: the statement texts, for the tests of their exact form.
int32_t db_table_create_text(DB_INSTANCE* instance, const char* table, int32_t n,
                             const COLUMN_DEF* columns, const char* keyword, int32_t table_kind,
                             std::string* out);
int32_t db_table_add_column_text(DB_INSTANCE* instance, const char* table,
                                 const COLUMN_DEF* column, std::string* out);

namespace {

// ---- 1. column type texts ----------------------------------------------------------

// DB2's names of the types the texts use.
struct TypeNames {
  const char* smallint = "";
  const char* integer = "";
  const char* decimal = "";
  const char* dbl = "";
  const char* varchar = "";
  const char* blob = "";
};

int32_t fetch_type_names(DB_INSTANCE* instance, TypeNames* t) {
  // Every name is fetched before the text is built, CHAR included.
  struct { int32_t sql_type; const char** slot; } wanted[] = {
      {5, &t->smallint}, {4, &t->integer}, {3, &t->decimal}, {2, &t->decimal},
      {8, &t->dbl},      {12, &t->varchar}, {-98, &t->blob}, {1, nullptr},
  };
  for (auto& w : wanted) {
    const char* name = nullptr;
    int32_t status = DB_get_data_type(instance, w.sql_type, &name);
    if (status != 0) return status;
    if (w.slot != nullptr && name != nullptr) *w.slot = name;
  }
  return 0;
}

const char* shape_type_name(int32_t type) {
  switch (type) {
    case SE_SHAPE: case 31: return "ST_Geometry";
    case 20: return "ST_Point";
    case 21: return "ST_Curve";
    case 22: return "ST_LineString";
    case 23: return "ST_Surface";
    case 24: return "ST_Polygon";
    case 25: return "ST_GeometryCollection";
    case 26: return "ST_MultiSurface";
    case 27: return "ST_MultiCurve";
    case 28: return "ST_MultiPoint";
    case 29: return "ST_MultiLineString";
    case 30: return "ST_MultiPolygon";
    default: return nullptr;
  }
}

bool is_shape_type(int32_t type) { return type == SE_SHAPE || (type >= 20 && type <= 31); }

// The CLOB length of a long string column: CLOB_SIZE when it is a number
// with an optional K, M or G, else 1M. The value goes into SQL text, so
// nothing else is taken from it.
bool clob_size(std::string* out) {
  const char* env = getenv("CLOB_SIZE");
  if (env == nullptr || env[0] == '\0') {
    *out = "1M";
    return true;
  }
  size_t len = strlen(env), digits = 0;
  while (digits < len && isdigit((unsigned char)env[digits])) ++digits;
  bool suffix_ok = digits == len || (digits + 1 == len && strchr("KMGkmg", env[digits]) != nullptr);
  if (digits == 0 || digits > 10 || !suffix_ok) return false;
  *out = env;
  return true;
}

// The LOB option and size of a keyword's parameters (null: no keyword).
struct LobRule {
  std::string option;        // "" without a keyword; ends with one blank otherwise
  std::string size = "1M";
};

// Appends the type text of column c for CREATE TABLE. 0, -53 or -56.
int32_t create_type_text(const TypeNames& t, const LobRule& lob, const COLUMN_DEF& c,
                         std::string* s) {
  char buf[160];
  int32_t size = c.size, dec = c.decimals;
  switch (c.type) {
    case SE_SMALLINT:
      if (size < 0 || size > 5 || dec != 0) return SE_INVALID_COLUMN_SIZE;
      snprintf(buf, sizeof buf, " %s", t.smallint);
      break;
    case SE_INTEGER:
      if (dec != 0) return SE_INVALID_COLUMN_SIZE;
      if (size == 0 || size == 10) snprintf(buf, sizeof buf, " %s", t.integer);
      else if (size >= 5 && size <= 9) snprintf(buf, sizeof buf, " %s(%d,0)", t.decimal, size);
      else return SE_INVALID_COLUMN_SIZE;
      break;
    case SE_FLOAT:
      if (size == 0 && dec == 0) snprintf(buf, sizeof buf, " %s(6,2)", t.decimal);
      // a precision below its scale, or none at all, is no decimal type
      else if (size <= 6 && dec >= 1 && size >= dec)
        snprintf(buf, sizeof buf, " %s(%d,%d)", t.decimal, size, dec);
      else return SE_INVALID_COLUMN_SIZE;
      break;
    case SE_DOUBLE:
      if (size == 0 && dec == 0) snprintf(buf, sizeof buf, " %s", t.dbl);
      else if (size >= 7 && dec >= 0)
        snprintf(buf, sizeof buf, " %s(%d,%d)", t.decimal, size > 31 ? 31 : size, dec);
      else return SE_INVALID_COLUMN_SIZE;
      break;
    case SE_STRING:
      if (size == 0 && dec == 0) snprintf(buf, sizeof buf, " %s(254)", t.varchar);
      else if (size >= 32000) {
        std::string clob;
        if (!clob_size(&clob)) return SE_INVALID_COLUMN_SIZE;
        snprintf(buf, sizeof buf, " CLOB(%s)", clob.c_str());
      } else if (size >= 1) snprintf(buf, sizeof buf, " %s(%d)", t.varchar, size);
      else return SE_INVALID_COLUMN_SIZE;
      break;
    case SE_BLOB:
      if (size == 0 && dec == 0) snprintf(buf, sizeof buf, " %s(1M) %s", t.blob, lob.option.c_str());
      else if (size == 2147483647)
        snprintf(buf, sizeof buf, " %s(%s) %s", t.blob, lob.size.c_str(), lob.option.c_str());
      else if (size >= 1073741284) snprintf(buf, sizeof buf, " %s(%d) NOT LOGGED ", t.blob, size);
      else if (size >= 1) snprintf(buf, sizeof buf, " %s(%d) %s", t.blob, size, lob.option.c_str());
      else return SE_INVALID_COLUMN_SIZE;
      break;
    case SE_DATE_TYPE:
      snprintf(buf, sizeof buf, " TIMESTAMP");
      break;
    default: {
      const char* shape = shape_type_name(c.type);
      if (shape == nullptr) return SE_INVALID_COLUMN_TYPE;
      char format[32];
      db_gse_function_prefix(format);
      snprintf(buf, sizeof buf, format, shape);
      break;
    }
  }
  *s += buf;
  return 0;
}

// Reads the keyword's parameters: -87 when it has no rows of its own.
int32_t keyword_params(DB_INSTANCE* instance, const char* keyword,
                       std::unique_ptr<DBTUNE_PARAMS>* out) {
  out->reset(new DBTUNE_PARAMS());
  int32_t status = db_dbtune_get_keyword_params(instance, out->get(), keyword);
  if (status != 0) return status;
  if ((*out)->count < DBTUNE_KEYWORD_OWN_ROWS) return SE_NO_KEYWORD_ROWS;
  return 0;
}

const char* storage_of(const DBTUNE_PARAMS& p, int32_t table_kind) {
  switch (table_kind) {
    case SE_TABLE_KIND_ADDS: return p.A_STORAGE;
    case SE_TABLE_KIND_DELETES: return p.D_STORAGE;
    default: return p.B_STORAGE;
  }
}

bool has_keyword(const char* keyword) { return keyword != nullptr && keyword[0] != '\0'; }

// Splits a table name into its parts, with default_owner (or the current
// user) as owner, upper-cased.
struct TableName {
  char database[SE_NAME_DATABASE_LEN] = {0};
  char owner[SE_NAME_OWNER_LEN] = {0};
  char table[SE_NAME_TABLE_LEN] = {0};
};

TableName split(DB_INSTANCE* instance, const char* name, const char* default_owner) {
  TableName t;
  db_parse_table_name(instance, name, default_owner, t.database, t.owner, t.table);
  db_upcase_identifier(instance, t.owner, sizeof t.owner);
  db_upcase_identifier(instance, t.table, sizeof t.table);
  return t;
}

// ---- 3. describe ---------------------------------------------------------------------

int32_t describe_spatial_column(DB_INSTANCE* instance, const char* table, int16_t count,
                                COLUMN_DEF* defs) {
  TableName t = split(instance, table, instance->current_user);
  // A layer the cache holds answers at once.
  for (int16_t i = 0; i < count; ++i) {
    if (defs[i].type != SE_BLOB) continue;
    std::string name = dbt::field(defs[i].name);
    if (db_layer_cache_contains(instance, t.database, t.owner, t.table, name.c_str()) == 1) {
      defs[i].type = SE_SHAPE;
      defs[i].size = 0;
      defs[i].decimals = 0;
      return 0;
    }
  }
  // Otherwise the layers table is asked about every column that may hold
  // shapes, the typed shape columns included: a table whose only shape
  // column describes with its shape type would else never show it.
  std::string alternatives;
  for (int16_t i = 0; i < count; ++i) {
    if (defs[i].type != SE_BLOB && !(defs[i].type >= 20 && defs[i].type <= 31)) continue;
    std::string name = dbt::field(defs[i].name);
    alternatives += " spatial_column = '" + lit(name.c_str()) + "' OR ";
  }
  if (alternatives.empty()) return 0;
  alternatives.resize(alternatives.size() - 4);  // the last " OR "
  char layers[SE_DB_QUALIFIED_LEN];
  db_make_layers_table_name(instance, layers);
  std::string sql = std::string("SELECT spatial_column FROM ") + layers + " WHERE table_name = '" +
                    lit(t.table) + "' AND owner = '" + lit(t.owner) + "' AND (" + alternatives +
                    ")";
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  char column[SE_NAME_COLUMN_LEN + 1] = {0};
  SQLLEN ind = 0;
  if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, column, sizeof column, &ind);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (rc == SQL_NO_DATA) return 0;
  if (!ok(rc)) {
    dbt::report(instance, &st.h, rc);
    return SE_DB_IO_ERROR;
  }
  if (ind == SQL_NULL_DATA) return 0;
  for (int16_t i = 0; i < count; ++i) {
    std::string name = dbt::upcase(instance, defs[i].name, sizeof defs[i].name + 1);
    if (strcmp(name.c_str(), column) == 0) {
      defs[i].type = SE_SHAPE;
      defs[i].size = 0;
      defs[i].decimals = 0;
    }
  }
  return 0;
}

int32_t describe_raster_column(DB_INSTANCE* instance, const char* table, int16_t count,
                               COLUMN_DEF* defs) {
  TableName t = split(instance, table, instance->current_user);
  dbt::RasterColumnRef ras;
  int32_t status = dbt::raster_column_of(instance, t.owner, t.table, &ras);
  if (status != 0) return status;
  for (int16_t i = 0; i < count; ++i) {
    if (defs[i].type != SE_INTEGER) continue;
    if (strncasecmp(defs[i].name, ras.name, sizeof defs[i].name) != 0) continue;
    defs[i].type = SE_RASTER;
    defs[i].size = 0;
    defs[i].decimals = 0;
  }
  return 0;
}

// ---- 5. privileges ---------------------------------------------------------------------

int32_t get_privileges(DB_INSTANCE* instance, const char* user, const char* table,
                       bool by_name_only, int32_t* privileges) {
  if (privileges == nullptr) return SE_INVALID_POINTER;
  *privileges = 0;
  int32_t status = dbt::check_name(instance, user);
  if (status == 0) status = dbt::check_name(instance, table);
  if (status != 0) return status;
  std::string folded = dbt::upcase(instance, user, SE_NAME_OWNER_LEN + 1);
  TableName t = split(instance, table, folded.c_str());

  Stmt st;
  std::string sql;
  bool owner = folded == t.owner;
  if (owner) {
    sql = "SELECT COUNT(*) FROM SYSCAT.TABAUTH WHERE TABSCHEMA = '" + lit(t.owner) +
          "' AND TABNAME = '" + lit(t.table) + "'";
  } else if (by_name_only) {
    sql = "SELECT DELETEAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM SYSCAT.TABAUTH WHERE "
          "GRANTEE = '" + lit(folded.c_str()) + "' AND TABSCHEMA = '" + lit(t.owner) +
          "' AND TABNAME = '" + lit(t.table) + "'";
  } else {
    sql = "SELECT DELETEAUTH, INSERTAUTH, SELECTAUTH, UPDATEAUTH FROM SYSCAT.TABAUTH WHERE "
          "(GRANTEE = '" + lit(folded.c_str()) + "' OR GRANTEE = 'PUBLIC') AND TABSCHEMA = '" +
          lit(t.owner) + "' AND TABNAME = '" + lit(t.table) + "' AND GRANTOR != 'SYSIBM'";
  }
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  int32_t result = 0;
  if (owner) {
    SQLINTEGER n = 0;
    SQLLEN ind = 0;
    if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_LONG, &n, 0, &ind);
    if (ok(rc)) rc = SQLFetch(st.h);
    if (ok(rc) || rc == SQL_NO_DATA) {
      *privileges = SE_PRIV_OWNER;
      result = n == 0 ? SE_TABLE_NOEXIST : 0;
      rc = SQL_SUCCESS;
    }
  } else {
    char auth[4][2] = {{0}};
    SQLLEN ind[4] = {0};
    for (int i = 0; i < 4 && ok(rc); ++i)
      rc = SQLBindCol(st.h, (SQLUSMALLINT)(i + 1), SQL_C_CHAR, auth[i], sizeof auth[i], &ind[i]);
    static const int32_t kBits[4] = {SE_PRIV_DELETE, SE_PRIV_INSERT, SE_PRIV_SELECT, SE_PRIV_UPDATE};
    while (ok(rc)) {
      rc = SQLFetch(st.h);
      if (!ok(rc)) break;
      for (int i = 0; i < 4; ++i)
        if (ind[i] != SQL_NULL_DATA && (auth[i][0] == 'Y' || auth[i][0] == 'G'))
          *privileges |= kBits[i];
    }
    if (rc == SQL_NO_DATA) rc = SQL_SUCCESS;
  }
  if (!ok(rc)) {
    dbt::report(instance, &st.h, rc);
    result = SE_DB_IO_ERROR;
  }
  st.drop();
  DB_trans_def_commit(instance);
  return result;
}

std::string privilege_list(int32_t mask, const int32_t* order, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    if ((mask & order[i]) == 0) continue;
    switch (order[i]) {
      case SE_PRIV_SELECT: s += "SELECT, "; break;
      case SE_PRIV_UPDATE: s += "UPDATE, "; break;
      case SE_PRIV_INSERT: s += "INSERT, "; break;
      case SE_PRIV_DELETE: s += "DELETE, "; break;
    }
  }
  if (!s.empty()) s[s.size() - 2] = ' ';  // the last comma
  return s;
}

bool is_public(const char* grantee) { return strcasecmp(grantee, "PUBLIC") == 0; }

}  // namespace

// ---- 2. create, add column, drop column, rename -------------------------------------------

int32_t db_table_create_text(DB_INSTANCE* instance, const char* table, int32_t n,
                             const COLUMN_DEF* columns, const char* keyword, int32_t table_kind,
                             std::string* out) {
  TypeNames names;
  int32_t status = fetch_type_names(instance, &names);
  if (status != 0) return status;
  std::unique_ptr<DBTUNE_PARAMS> params;
  LobRule lob;
  if (has_keyword(keyword)) {
    status = keyword_params(instance, keyword, &params);
    if (status != 0) return status;
    lob.option = params->LOB_OPTION[0] != '\0' ? params->LOB_OPTION : " LOGGED NOT COMPACT";
    lob.option += " ";
    if (params->LOB_SIZE[0] != '\0') lob.size = params->LOB_SIZE;
  }
  std::string s = std::string("CREATE TABLE ") + table + " (";
  int shapes = 0;
  for (int32_t i = 0; i < n; ++i) {
    const COLUMN_DEF& c = columns[i];
    if (i > 0) s += ", ";
    s += dbt::field(c.name);
    status = create_type_text(names, lob, c, &s);
    if (status == SE_INVALID_COLUMN_TYPE)
      fprintf(stderr, "DB_table_create()::Invalid column type (%d)\n", (int)c.type);
    if (status != 0) return status;
    if (is_shape_type(c.type)) {
      if (++shapes > 1) return SE_MULTIPLE_LAYERS;
      if (c.nullable != 1) return SE_SHAPE_COLUMN_NOT_NULL;
    }
    if (c.nullable != 1) s += " NOT NULL";
  }
  s += ") ";
  if (params) s += storage_of(*params, table_kind);
  *out = s;
  return 0;
}

int32_t DB_table_create(DB_INSTANCE* instance, const char* table, int32_t n,
                        const COLUMN_DEF* columns, const char* keyword, int32_t table_kind) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    if (n < 1 || columns == nullptr) return SE_INVALID_PARAM;
    for (int32_t i = 0; i < n; ++i) {
      std::string name = dbt::field(columns[i].name);
      status = dbt::check_name(instance, name.c_str());
      if (status != 0) return status;
    }
    std::string sql;
    status = db_table_create_text(instance, table, n, columns, keyword, table_kind, &sql);
    if (status != 0) return status;

    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc == 0) rc = SQLExecute(st.h);
    if (ok(rc)) {
      st.drop();
      return db_commit_ddlsql(instance);
    }
    DB_DIAG_RECORD d = st.h != SQL_NULL_HSTMT ? db_get_diag_record(instance, &st.h, rc)
                                              : db_get_diag_record(instance, nullptr, rc);
    st.drop();
    if (dbt::state_is(d, "42S01")) return SE_TABLE_EXISTS;
    fprintf(stderr, "DB_table_create() Execute Error (%d)\n", (int)rc);
    db_report_dbms_error(instance, d);
    db_append_error_detail(instance, table);
    return SE_DB_IO_ERROR;
  });
}

int32_t db_table_add_column_text(DB_INSTANCE* instance, const char* table,
                                 const COLUMN_DEF* column, std::string* out) {
  TypeNames names;
  int32_t status = fetch_type_names(instance, &names);
  if (status != 0) return status;
  const COLUMN_DEF& c = *column;
  std::string s = std::string("ALTER TABLE ") + table + " ADD COLUMN " + dbt::field(c.name) + " ";
  char buf[96];
  if (c.type == SE_STRING && c.size > 0) {
    snprintf(buf, sizeof buf, " %s(%d)", names.varchar, (int)c.size);
    s += buf;
  } else if (c.type == SE_BLOB) {
    if (c.size == 0 && c.decimals == 0) snprintf(buf, sizeof buf, " %s(1M) ", names.blob);
    else if (c.size > 0) snprintf(buf, sizeof buf, " %s(%d) ", names.blob, (int)c.size);
    else return SE_INVALID_COLUMN_SIZE;
    s += buf;
  } else {
    status = create_type_text(names, LobRule(), c, &s);
    if (status == SE_INVALID_COLUMN_TYPE)
      SES_print_debug(stderr, "DB_table_add_column()::Invalid column type (%d)\n", (int)c.type);
    if (status != 0) return status;
  }
  if (c.nullable != 1) s += " NOT NULL WITH DEFAULT";
  *out = s;
  return 0;
}

int32_t DB_table_add_column(DB_INSTANCE* instance, const char* table, const COLUMN_DEF* column) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    if (column == nullptr) return SE_INVALID_POINTER;
    int32_t status = dbt::check_name(instance, table);
    std::string name = dbt::field(column->name);
    if (status == 0) status = dbt::check_name(instance, name.c_str());
    if (status != 0) return status;
    std::string sql;
    status = db_table_add_column_text(instance, table, column, &sql);
    if (status != 0) return status;
    status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
    if (status == SE_COLUMN_EXISTS) return SE_COLUMN_EXISTS_ADD;
    if (status != 0)
      SES_print_debug(stderr, "DB_table_add_column(%s) Execute DDL Error (%d)\n ", table,
                      (int)status);
    return status;
  });
}

int32_t DB_table_drop_column(DB_INSTANCE* instance, const char* table, const char* column) {
  (void)instance;
  (void)table;
  (void)column;
  return SE_NOT_SUPPORTED_ON_DB2;
}

int32_t DB_table_rename(DB_INSTANCE* instance, const char* table, const char* new_name) {
  (void)instance;
  SES_print_debug(stderr, "DB_table_rename(%s,%s) Operation not supported!\n",
                  table != nullptr ? table : "", new_name != nullptr ? new_name : "");
  return SE_NOT_SUPPORTED_ON_DB2;
}

// ---- 3. describe ---------------------------------------------------------------------

int32_t DB_table_describe(DB_INSTANCE* instance, const char* table, const REGISTRATION* reg,
                          int16_t* count, COLUMN_DEF** columns) {
  return guarded([&]() -> int32_t {
    if (count == nullptr || columns == nullptr) return SE_INVALID_POINTER;
    *count = 0;
    *columns = nullptr;
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    std::string sql = std::string("SELECT * FROM ") + table;
    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc != 0) {
      DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
      return dbt::state_is(d, "42S02") ? SE_TABLE_NOEXIST : SE_DB_IO_ERROR;
    }
    int16_t n = 0;
    COLUMN_DEF* defs = nullptr;
    int32_t* bind_sizes = nullptr;
    int16_t* c_types = nullptr;
    status = db_describe_select(instance, nullptr, &st.h, &n, &defs, &bind_sizes, &c_types);
    free(bind_sizes);
    free(c_types);
    if (status != 0) return status;

    int32_t flags = reg != nullptr ? reg->flags : 0;
    std::string rowid = reg != nullptr ? dbt::field(reg->rowid_column) : std::string();
    for (int16_t i = 0; i < n; ++i) {
      defs[i].rowid_kind = 3;
      if ((flags & SE_REG_HAS_ROWID) && rowid == dbt::field(defs[i].name))
        defs[i].rowid_kind = (flags & SE_REG_ROWID_BY_SERVER) ? 1 : 2;
    }
    if (flags & SE_REG_LAYER_DEPENDS) status = describe_spatial_column(instance, table, n, defs);
    if (status == 0 && (flags & SE_REG_HAS_RASTERCOLUMN))
      status = describe_raster_column(instance, table, n, defs);
    if (status != 0) {
      free(defs);
      return status;
    }
    *count = n;
    *columns = defs;
    return 0;
  });
}

// ---- 4. list ---------------------------------------------------------------------------

int32_t db_table_list_is_versioning_table(const char* name) {
  if (name == nullptr || strchr("ABDLabdl", name[0]) == nullptr || name[0] == '\0') return 0;
  for (const char* p = name + 1; *p != '\0'; ++p)
    if (!isdigit((unsigned char)*p)) return 0;
  return 1;
}

void DB_table_free_list(char** names, int32_t count) {
  if (names == nullptr) return;
  for (int32_t i = 0; i < count; ++i) free(names[i]);
  free(names);
}

int32_t DB_table_list(DB_INSTANCE* instance, int32_t privileges, const char* user, int32_t* count,
                      char*** names) {
  if (count == nullptr || names == nullptr) return SE_INVALID_POINTER;
  *count = 0;
  *names = nullptr;
  std::vector<char*> list;
  int32_t status = guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t st_name = dbt::check_name(instance, user);
    if (st_name != 0) return st_name;
    std::string u = lit(dbt::upcase(instance, user, 65).c_str());
    std::string cond;
    if (privileges & SE_PRIV_SELECT) cond += " AND (SELECTAUTH = 'Y' OR SELECTAUTH = 'G') ";
    if (privileges & SE_PRIV_UPDATE) cond += " AND (UPDATEAUTH = 'Y' OR UPDATEAUTH = 'G') ";
    if (privileges & SE_PRIV_INSERT) cond += " AND (INSERTAUTH = 'Y' OR INSERTAUTH = 'G') ";
    if (privileges & SE_PRIV_DELETE) cond += " AND (DELETEAUTH = 'Y' OR DELETEAUTH = 'G') ";
    std::string sql =
        "SELECT RTRIM(tbls.TABSCHEMA), tbls.TABNAME FROM SYSCAT.TABLES tbls WHERE tbls.DEFINER != "
        "'SYSIBM' AND    tbls.DEFINER !='SYSCAT' AND    tbls.DEFINER != 'SYSSTAT' AND    "
        "tbls.DEFINER = '" + u + "' UNION SELECT RTRIM(tbls.TABSCHEMA), tbls.TABNAME FROM "
        "SYSCAT.TABLES tbls, SYSCAT.TABAUTH auth WHERE tbls.TABNAME = auth.TABNAME   AND "
        "tbls.TABSCHEMA = auth.TABSCHEMA   AND auth.GRANTEE = '" + u + "' " + cond +
        " EXCEPT SELECT RTRIM(tbls.TABSCHEMA), tbls.TABNAME FROM SYSCAT.TABLES tbls,    (VALUES "
        "('DBTUNE'), ('LAYERS'), ('LOCATORS'), ('METADATA'), ('MVTABLES_MODIFIED'), "
        "('RASTER_COLUMNS'), ('STATE_LINEAGES'), ('STATES'), ('TABLE_REGISTRY'), ('VERSION'), "
        "('VERSIONS')    ) l (TABNAME) WHERE tbls.DEFINER = '" SE_ADMIN_USER
        "'   AND tbls.TABNAME = l.TABNAME ";
    char database[SE_DB_NAME_LEN * 2] = {0};
    DB_database_get_current(instance, database);

    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc == 0) rc = SQLExecute(st.h);
    char schema[SE_NAME_OWNER_LEN + 1] = {0}, table[129 + 1] = {0};
    SQLLEN ind[2] = {0, 0};
    if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, schema, sizeof schema, &ind[0]);
    if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_CHAR, table, sizeof table, &ind[1]);
    while (ok(rc)) {
      rc = SQLFetch(st.h);
      if (!ok(rc)) break;
      if (ind[0] == SQL_NULL_DATA || ind[1] == SQL_NULL_DATA) continue;
      if (strcmp(schema, "DB2GSE") == 0 || db_table_list_is_versioning_table(table)) continue;
      std::string full = std::string(database) + "." + schema + "." + table;
      char* copy = strdup(full.c_str());
      if (copy == nullptr) return SE_OUT_OF_DBMS_MEM;
      list.push_back(copy);
    }
    if (rc != SQL_NO_DATA) {
      dbt::report(instance, &st.h, rc);
      return SE_DB_IO_ERROR;
    }
    st.drop();
    DB_trans_def_commit(instance);
    return 0;
  });
  if (status == 0) {
    char** out = (char**)malloc((list.empty() ? 1 : list.size()) * sizeof(char*));
    if (out == nullptr) status = SE_OUT_OF_DBMS_MEM;
    else {
      for (size_t i = 0; i < list.size(); ++i) out[i] = list[i];
      *names = out;
      *count = (int32_t)list.size();
      return 0;
    }
  }
  for (char* p : list) free(p);
  return status;
}

// ---- 5. privileges, grant, revoke ----------------------------------------------------------

int32_t DB_table_get_permissions(DB_INSTANCE* instance, const char* user, const char* table,
                                 int32_t* privileges) {
  return guarded([&] { return get_privileges(instance, user, table, false, privileges); });
}

int32_t DB_table_get_grantee_permissions(DB_INSTANCE* instance, const char* user,
                                         const char* table, int32_t* privileges) {
  return guarded([&] { return get_privileges(instance, user, table, true, privileges); });
}

int32_t DB_table_grant_access(DB_INSTANCE* instance, const char* table, int32_t privileges,
                              int32_t grant_option, const char* grantee) {
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, table);
    if (status == 0) status = dbt::check_name(instance, grantee);
    if (status != 0) return status;
    static const int32_t kOrder[] = {SE_PRIV_UPDATE, SE_PRIV_INSERT, SE_PRIV_DELETE, SE_PRIV_SELECT};
    std::string list = privilege_list(privileges, kOrder, 4);
    // a mask without any of the four bits would make a GRANT of nothing
    if (list.empty()) return SE_INVALID_PARAM;
    std::string sql = "GRANT " + list + "ON " + table + " TO " +
                      (is_public(grantee) ? "" : "USER ") + grantee;
    if (grant_option) sql += " WITH GRANT OPTION";
    status = dbt::exec_grant(instance, sql);
    return status == SE_NO_PERMISSIONS ? SE_GRANT_REFUSED : status;
  });
}

int32_t DB_table_revoke_access(DB_INSTANCE* instance, const char* table, int32_t privileges,
                               const char* grantee) {
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, table);
    if (status == 0) status = dbt::check_name(instance, grantee);
    if (status != 0) return status;
    static const int32_t kOrder[] = {SE_PRIV_SELECT, SE_PRIV_UPDATE, SE_PRIV_INSERT, SE_PRIV_DELETE};
    std::string list = privilege_list(privileges, kOrder, 4);
    if (list.empty()) return SE_INVALID_PARAM;
    std::string sql = "REVOKE " + list + "ON " + table + " FROM " +
                      (is_public(grantee) ? "" : "USER ") + grantee;
    status = dbt::exec_grant(instance, sql);
    return status == SE_NO_PERMISSIONS ? SE_GRANT_REFUSED : status;
  });
}

// ---- 6. truncate, drop, drop view -------------------------------------------------------------

int32_t DB_table_truncate(DB_INSTANCE* instance, const char* table) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    std::string sql = std::string("DELETE FROM ") + table + " \n";
    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc == 0) rc = SQLExecute(st.h);
    if (ok(rc) || rc == SQL_NO_DATA) return 0;  // an empty table is no failure
    DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
    if (dbt::state_is(d, "42S02") || dbt::state_is(d, "42704")) return SE_TABLE_NOEXIST;
    if (dbt::state_is(d, "42501") || dbt::state_is(d, "42502")) return SE_NO_PERMISSIONS;
    return SE_DB_IO_ERROR;
  });
}

int32_t DB_table_drop(DB_INSTANCE* instance, const char* table) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    std::string sql = "DROP TABLE " + dbt::upcase(instance, table, strlen(table) + 1);
    status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
    DB_trans_def_commit(instance);
    return status;
  });
}

int32_t DB_view_drop(DB_INSTANCE* instance, const char* view) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, view);
    if (status != 0) return status;
    std::string sql = "DROP VIEW " + dbt::upcase(instance, view, strlen(view) + 1);
    status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
    switch (status) {
      case 0: case SE_NO_ROW: case -239: case SE_TABLE_NOEXIST: case SE_NO_PERMISSIONS:
        return status;
      case SE_DB_NO_DATA:
        return SE_NO_ROW;
      default:
        return SE_DB_IO_ERROR;
    }
  });
}

// ---- 7. the raster column of a table, grants --------------------------------------------------

int32_t dbt::raster_column_of(DB_INSTANCE* instance, const char* owner, const char* table,
                              RasterColumnRef* out) {
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  rc.coordref = nullptr;  // the coordinate reference is not wanted
  int32_t status = DB_rastercolumn_get_info_by_name(instance, nullptr, table, nullptr, owner, &rc);
  if (status != 0) return status;
  out->id = rc.id;
  std::string name = field(rc.column);
  snprintf(out->name, sizeof out->name, "%s", name.c_str());
  return 0;
}

int32_t dbt::exec_grant(DB_INSTANCE* instance, const std::string& sql) {
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  if (ok(rc)) {
    st.drop();
    return db_commit_ddlsql(instance);
  }
  DB_DIAG_RECORD d = report(instance, &st.h, rc);
  // DB2 answers a grant without the right to grant with 42501 (SQL0551N)
  if (state_is(d, "42501") || state_is(d, "42502")) return SE_NO_PERMISSIONS;
  if (state_is(d, "42S02") || state_is(d, "42704")) return SE_TABLE_NOEXIST;
  return SE_DB_IO_ERROR;
}
