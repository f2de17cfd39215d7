// db_layer_column.cpp -- the spatial column and the row-id column of a
// user table that becomes a layer: checking the table proposed for a new
// layer, adding the spatial column (or re-creating a table that holds only
// an integer column of that name), adding OBJECTID when no integer NOT NULL
// column can serve as row id, and recording the outcome in the table's
// registration; every change repeated on the adds table of a
// multiversioned table.
//
// Relies on the table module (describe, create, drop, add column), the
// statement layer, the registration lookup of the instance and the layer's
// spatial index and trigger (db_layer_index.cpp).
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

// The multiversion view of a registered table belongs to the versioning
// module; until it is built these weak stand-ins say so (their outcome does
// not matter here).
__attribute__((weak)) int32_t DB_registered_table_delete_imv_view(DB_INSTANCE*, REGISTRATION*) {
  fprintf(stderr, "DB_registered_table_delete_imv_view: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}
__attribute__((weak)) int32_t DB_registered_table_create_imv_view(DB_INSTANCE*, REGISTRATION*) {
  fprintf(stderr, "DB_registered_table_create_imv_view: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }
#define FIELD(x) field(x, sizeof(x))

void set_field(char* to, size_t cap, const std::string& from) {
  memset(to, 0, cap);
  memcpy(to, from.c_str(), from.size() < cap - 1 ? from.size() : cap - 1);
}

struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

struct CliStmt {
  DB_CLI_STMT w;
  explicit CliStmt(DB_INSTANCE* instance) { db_cli_init(instance, &w); }
  ~CliStmt() { db_cli_free(&w); }
};

const char* const kRowidColumn = "OBJECTID";
const char* const kStateColumn = "ZUL_STATE_ID";

bool multiversioned(const REGISTRATION* reg) { return (reg->flags & SE_REG_MULTIVERSION) != 0; }

std::string upper(std::string s) {
  for (char& c : s) c = (char)toupper((unsigned char)c);
  return s;
}

struct GeometryType {
  const char* name;
  int32_t column_type;
};
const GeometryType kGeometryTypes[12] = {
    {"ST_Geometry", 31},      {"ST_Point", 20},           {"ST_Curve", 21},
    {"ST_LineString", 22},    {"ST_Surface", 23},         {"ST_Polygon", 24},
    {"ST_GeomCollection", 25}, {"ST_MultiPoint", 28},     {"ST_MultiCurve", 27},
    {"ST_MultiLineString", 29}, {"ST_MultiSurface", 26},  {"ST_MultiPolygon", 30},
};

// " column DB2GSE.type" of the layer's column: the prefix " DB2GSE.%s"
// takes the type name.
std::string column_clause(const LAYER* layer, int32_t code) {
  char format[64], type[96];
  db_gse_function_prefix(format);
  const char* name = db_layer_geometry_type_name(code);
  size_t at = std::string(format).find("%s");
  std::string f = format;
  if (at != std::string::npos) f.replace(at, 2, name);
  snprintf(type, sizeof type, "%s", f.c_str());
  return " " + FIELD(layer->spatial_column) + type;
}

COLUMN_DEF make_column(const char* name, int32_t type, int32_t nullable) {
  COLUMN_DEF c;
  memset(&c, 0, sizeof c);
  set_field(c.name, sizeof c.name, name);
  c.type = type;
  c.nullable = nullable;
  return c;
}

int32_t lookup(DB_INSTANCE* instance, const LAYER* layer, REGISTRATION* out) {
  memset(out, 0, sizeof *out);
  std::string name = FIELD(layer->owner) + "." + FIELD(layer->table);
  return db_lookup_registration(instance, name.c_str(), out);
}

// Counts the rows of table: 0 with *count, or a failing status.
int32_t count_rows(DB_INSTANCE* instance, const std::string& sql, long long* counts, int n) {
  Stmt st;
  int32_t status = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (status != 0) return status;
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecute(st.h);
  if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_LONG, &value, 0, &ind);
  for (int i = 0; i < n && ok(rc); ++i) {
    rc = SQLFetch(st.h);
    if (ok(rc)) counts[i] = value;
  }
  if (!ok(rc) && rc != SQL_NO_DATA) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &st.h, rc));
    return SE_DB_IO_ERROR;
  }
  return 0;
}

}  // namespace

void db_layer_geometry_type_from_flags(int32_t flags, int32_t* code) {
  bool point = (flags & SE_LAYER_POINT) != 0;
  bool line = (flags & (SE_LAYER_LINE | SE_LAYER_SIMPLE_LINE)) != 0;
  bool area = (flags & SE_LAYER_AREA) != 0;
  bool multi = (flags & SE_LAYER_MULTI) != 0;
  int kinds = (point ? 1 : 0) + (line ? 1 : 0) + (area ? 1 : 0);
  if (kinds != 1) *code = 0;
  else if (point) *code = multi ? 7 : 1;
  else if (line) *code = multi ? 9 : 3;
  else *code = multi ? 11 : 5;
}

const char* db_layer_geometry_type_name(int32_t code) {
  return kGeometryTypes[code >= 0 && code < 12 ? code : 0].name;
}

int32_t db_layer_geometry_column_type(int32_t code) {
  return kGeometryTypes[code >= 0 && code < 12 ? code : 0].column_type;
}

int32_t db_layer_column_type_name(DB_INSTANCE* instance, SQLHSTMT stmt, char* out, size_t cap) {
  SQLSMALLINT len = 0;
  out[0] = '\0';
  SQLRETURN rc = SQLColAttribute(stmt, 1, (SQLUSMALLINT)1252, out, (SQLSMALLINT)cap, &len, nullptr);
  if (!ok(rc)) return rc;
  out[cap - 1] = '\0';
  if (out[0] != '\0') return 0;
  // A driver that names no user type for the column: the catalogue does.
  char schema[129] = "", table[129] = "", column[129] = "";
  rc = SQLColAttribute(stmt, 1, SQL_DESC_SCHEMA_NAME, schema, sizeof schema, &len, nullptr);
  if (ok(rc)) rc = SQLColAttribute(stmt, 1, SQL_DESC_BASE_TABLE_NAME, table, sizeof table, &len, nullptr);
  if (ok(rc)) rc = SQLColAttribute(stmt, 1, SQL_DESC_BASE_COLUMN_NAME, column, sizeof column, &len, nullptr);
  if (!ok(rc)) return rc;
  if (table[0] == '\0' || column[0] == '\0') return 0;
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLLEN ind[4] = {SQL_NTS, SQL_NTS, SQL_NTS, 0};
  rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &h);
  if (ok(rc))
    rc = SQLPrepare(h, (SQLCHAR*)"SELECT TYPENAME FROM SYSCAT.COLUMNS WHERE TABSCHEMA = ? AND TABNAME = ? "
                                 "AND COLNAME = ?",
                    SQL_NTS);
  char* values[3] = {schema, table, column};
  for (int i = 0; i < 3 && ok(rc); ++i)
    rc = SQLBindParameter(h, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 128, 0,
                          values[i], 0, &ind[i]);
  if (ok(rc)) rc = SQLExecute(h);
  if (ok(rc)) rc = SQLBindCol(h, 1, SQL_C_CHAR, out, (SQLLEN)cap, &ind[3]);
  if (ok(rc)) rc = SQLFetch(h);
  if (rc == SQL_NO_DATA || (ok(rc) && ind[3] == SQL_NULL_DATA)) {
    out[0] = '\0';
    rc = SQL_SUCCESS;
  }
  out[cap - 1] = '\0';
  db_free_stmt(&h);
  return ok(rc) ? 0 : rc;
}

int32_t db_spatial_column_kind(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t* kind, int32_t* nullable) {
  static const char* const kSpatial[] = {
      "ST_GEOMETRY", "ST_POLYGON", "ST_POINT", "ST_LINESTRING", "ST_CURVE", "ST_SURFACE",
      "ST_MULTICURVE", "ST_MULTISURFACE", "ST_GEOMCOLLECTION", "ST_MULTIPOINT",
      "ST_MULTILINESTRING", "ST_MULTIPOLYGON"};
  char type[31] = "";
  SQLSMALLINT len = 0;
  SQLLEN number = 0;
  *kind = 0;
  *nullable = 0;
  int32_t status = db_layer_column_type_name(instance, stmt, type, sizeof type);
  if (status != 0) return status;
  SQLRETURN rc = SQL_SUCCESS;
  std::string name = upper(type);
  for (const char* s : kSpatial)
    if (name.find(s) != std::string::npos) *kind = 1;
  if (*kind == 1) {
    rc = SQLColAttribute(stmt, 1, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &number);
    if (!ok(rc)) return rc;
    *nullable = number == SQL_NULLABLE;
    return 0;
  }
  rc = SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, type, sizeof type, &len, nullptr);
  if (!ok(rc)) return rc;
  if (upper(type).find("INT") != std::string::npos) *kind = 2;
  return 0;
}

int32_t db_is_layer_a_view(DB_INSTANCE* instance, const LAYER* layer, int32_t* is_view) {
  *is_view = 0;
  char owner[SE_DB_NAME_LEN], table[SE_DB_TABLE_LEN + 1];
  set_field(owner, sizeof owner, FIELD(layer->owner));
  set_field(table, sizeof table, FIELD(layer->table));
  db_upcase_identifier(instance, owner, (int32_t)sizeof owner);
  db_upcase_identifier(instance, table, (int32_t)sizeof table);
  // The names come from the client: a quote would end the literal.
  if (strchr(owner, '\'') != nullptr || strchr(table, '\'') != nullptr) return SE_TABLE_NOEXIST;
  std::string sql = std::string("SELECT TYPE FROM SYSCAT.TABLES WHERE TABSCHEMA = '") + owner +
                    "' AND TABNAME = '" + table + "'";
  SQLHSTMT h = SQL_NULL_HSTMT;
  char type[2] = "";
  SQLLEN ind = 0;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &h);
  if (ok(rc)) rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (ok(rc)) rc = SQLBindCol(h, 1, SQL_C_CHAR, type, sizeof type, &ind);
  if (ok(rc)) rc = SQLFetch(h);
  if (rc == SQL_NO_DATA) {
    db_free_stmt(&h);
    return SE_TABLE_NOEXIST;
  }
  if (!ok(rc)) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, h != SQL_NULL_HSTMT ? &h : nullptr, rc);
    if (db_ddl_rollback(instance) != 0) {
      fprintf(stderr, "S_rollback_trans Rollback Error.\n");
      instance->xerr.code = SE_DB_IO_ERROR;
    }
    db_free_stmt(&h);
    fprintf(stderr, "db_is_layer_a_view() error (%d).\n", (int)rc);
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&h);
  *is_view = type[0] == 'V';
  return 0;
}

int32_t db_sqltype_find_rowid_column(DB_INSTANCE* instance, const LAYER* layer, REGISTRATION* reg) {
  if (reg->flags == 0) {
    int32_t status = lookup(instance, layer, reg);
    if (status != 0 && status != SE_TABLE_NOREGISTERED) return status;
  }
  if (reg->flags & (SE_REG_HAS_ROWID | SE_REG_ROWID_BY_SERVER)) return 0;
  std::string owner = FIELD(layer->owner), table = FIELD(layer->table);
  if (owner.find('\'') != std::string::npos || table.find('\'') != std::string::npos) return SE_TABLE_NOEXIST;
  std::string sql = "SELECT COLNAME FROM SYSCAT.COLUMNS WHERE TABSCHEMA = UPPER('" + owner +
                    "') \t  AND TABNAME = UPPER('" + table +
                    "') AND NULLS = 'N' AND TYPENAME = 'INTEGER' ";
  CliStmt st(instance);
  char name[33] = "";
  SQLLEN ind = 0;
  int32_t status = db_cli_prepare(&st.w, sql.c_str());
  if (status != 0) return status;
  status = db_cli_define_by_pos(&st.w, SQL_C_CHAR, name, sizeof name, &ind);
  if (status != 0) {
    SES_print_debug(stderr, "db_sqltype_find_rowid_column Bind Error (%d)\n", (int)status);
    return SE_DB_IO_ERROR;
  }
  status = db_cli_execute_stmt(&st.w, 0);
  if (status == 0) status = db_cli_fetch(&st.w);
  if (status == -4 || status == 100 || status == 110) return 0;
  if (status != 0) {
    SES_print_debug(stderr, "db_sqltype_find_rowid_column:: ODBC Exec/Fetc error (%d).\n", (int)status);
    return status;
  }
  set_field(reg->rowid_column, sizeof reg->rowid_column, name);
  reg->flags |= SE_REG_HAS_ROWID;
  return 0;
}

int32_t db_add_rowid_column(DB_INSTANCE* instance, const LAYER* layer, const char* table,
                            const char* adds, REGISTRATION* reg, int32_t* added) {
  if (added != nullptr) *added = 0;
  REGISTRATION own;
  int32_t status = lookup(instance, layer, &own);
  if (status != 0 && status != SE_TABLE_NOREGISTERED) return status;
  if ((own.flags & SE_REG_HAS_ROWID) || (reg->flags & SE_REG_HAS_ROWID) ||
      (own.flags & SE_REG_ROWID_BY_SERVER))
    return 0;
  COLUMN_DEF column = make_column(kRowidColumn, SE_INTEGER, 0);
  status = DB_table_add_column(instance, table, &column);
  bool existed = status == SE_COLUMN_EXISTS_ADD;
  if (status != 0 && !existed) return status;
  if (!existed) reg->flags |= SE_REG_ROWID_BY_SERVER;
  if (multiversioned(reg)) {
    status = DB_table_add_column(instance, adds, &column);
    if (status != 0 && status != SE_COLUMN_EXISTS_ADD) return status;
    if (reg->mv_view[0] != '\0') {
      DB_registered_table_delete_imv_view(instance, reg);
      DB_registered_table_create_imv_view(instance, reg);
    }
  }
  if (!existed) {
    set_field(reg->rowid_column, sizeof reg->rowid_column, kRowidColumn);
  } else if (reg->rowid_column[0] == '\0') {
    set_field(reg->rowid_column, sizeof reg->rowid_column, kRowidColumn);
    reg->flags |= SE_REG_HAS_ROWID;
  }
  if (added != nullptr) *added = 1;
  return 0;
}

int32_t db_drop_empty_spatial_tables(DB_INSTANCE* instance, const char* table, const char* adds,
                                     int32_t is_multiversioned) {
  long long count = -1;
  int32_t status = count_rows(instance, std::string("SELECT COUNT(*) FROM ") + table, &count, 1);
  if (status != 0) return status;
  if (count != 0) return 0;
  status = DB_table_drop(instance, table);
  if (status == 0 && is_multiversioned) status = DB_table_drop(instance, adds);
  return status;
}

int32_t S_recreate_spatial_type_table(DB_INSTANCE* instance, const char* table, const char* adds,
                                      const LAYER* layer, int32_t column_type, REGISTRATION* reg) {
  int32_t status = DB_table_drop(instance, table);
  if (status != 0) {
    SES_print_debug(stderr, "S_recreate_spatial_type_table:: Attempted to drop table(%d)\n", (int)status);
    return status;
  }
  COLUMN_DEF columns[2];
  columns[0] = make_column(FIELD(layer->spatial_column).c_str(), column_type, 1);
  std::string keyword = FIELD(layer->config_keyword);
  status = DB_table_create(instance, table, 1, columns, keyword.c_str(), SE_TABLE_KIND_BUSINESS);
  if (status != 0) {
    SES_print_debug(stderr, "S_recreate_spatial_type_table:: Attempted to re-create table(%d)\n", (int)status);
    return status;
  }
  if (multiversioned(reg)) {
    status = DB_table_drop(instance, adds);
    if (status != 0) {
      SES_print_debug(stderr, "S_recreate_spatial_type_table:: Attempted to drop table(%d)\n", (int)status);
      return status;
    }
    columns[1] = make_column(kStateColumn, SE_INTEGER, 0);
    status = DB_table_create(instance, adds, 2, columns, keyword.c_str(), SE_TABLE_KIND_ADDS);
    if (status != 0) {
      SES_print_debug(stderr, "db_alter_table:: Attempted to re-create table(%d)\n", (int)status);
      return status;
    }
  }
  status = db_add_rowid_column(instance, layer, table, adds, reg, nullptr);
  if (status != 0) db_drop_empty_spatial_tables(instance, table, adds, multiversioned(reg));
  return status;
}

int32_t db_alter_table(DB_INSTANCE* instance, LAYER* layer, REGISTRATION* reg, int32_t recreate) {
  std::string table = FIELD(layer->owner) + "." + FIELD(layer->table);
  std::string column = FIELD(layer->spatial_column);
  char adds[SE_DB_QUALIFIED_LEN] = "";
  bool mv = multiversioned(reg);
  if (mv)
    db_make_adds_table_name(instance, reg->id, FIELD(layer->database).c_str(),
                            FIELD(layer->owner).c_str(), adds);

  // Does the column exist? A count of its shapes answers.
  std::string sql = "SELECT COUNT(*) FROM " + table + " WHERE " + column + " IS NOT NULL";
  if (mv) sql = "SELECT COUNT(*) FROM " + std::string(adds) + " WHERE " + column +
                " IS NOT NULL UNION ALL " + sql;
  bool missing = false;
  {
    Stmt st;
    int32_t status = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (status != 0) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, st.h != SQL_NULL_HSTMT ? &st.h : nullptr, status);
      if (strcmp(d.sqlstate, "42S22") == 0 || status == SE_ATTR_NOEXIST) {
        missing = true;
      } else if (status != SE_DB_NO_DATA) {
        db_ddl_commit(instance);
        return SE_DB_IO_ERROR;
      }
    }
  }

  int32_t code = 0;
  db_layer_geometry_type_from_flags(layer->entity_flags, &code);
  int32_t status = 0;
  if (recreate) {
    status = S_recreate_spatial_type_table(instance, table.c_str(), adds, layer,
                                           db_layer_geometry_column_type(code), reg);
    if (status != 0) return status;
  } else if (missing) {
    std::string alter = "ALTER TABLE " + table + " ADD " + column_clause(layer, code);
    status = db_execute_ddlsql(instance, alter.c_str(), 0, DB_MODE_EXEC_COMMIT);
    if (status != 0 && status != SE_COLUMN_EXISTS) {
      fprintf(stderr, "db_alter_table() Error executing SQL (%d).\n", (int)status);
      if (status == SE_TABLE_NOEXIST) return SE_NO_PERMISSIONS;
      instance->xerr.native = status;
      return SE_DB_IO_ERROR;
    }
    if (mv) {
      std::string add = "ALTER TABLE " + std::string(adds) + " ADD  " + column_clause(layer, code) + " ";
      status = db_execute_ddlsql(instance, add.c_str(), 0, DB_MODE_EXEC);
      if (status != 0 && status != SE_COLUMN_EXISTS) {
        SES_print_debug(stderr, "db_alter_table::Error adding %s adds column (%d)\n", adds, (int)status);
        return status;
      }
    }
    status = db_add_rowid_column(instance, layer, table.c_str(), adds, reg, nullptr);
    if (status != 0) {
      db_drop_empty_spatial_tables(instance, table.c_str(), adds, mv);
      return status;
    }
  } else {
    status = db_sqltype_find_rowid_column(instance, layer, reg);
    if (status != 0) return status;
  }
  set_field(reg->database, sizeof reg->database, FIELD(layer->database));
  set_field(reg->owner, sizeof reg->owner, FIELD(layer->owner));
  set_field(reg->table, sizeof reg->table, FIELD(layer->table));
  return 0;
}

int32_t DB_layer_verify_table(DB_INSTANCE* instance, LAYER* layer, REGISTRATION* caller_reg) {
  REGISTRATION own;
  REGISTRATION* reg = caller_reg != nullptr ? caller_reg : &own;
  std::string given = FIELD(layer->table);
  char database[SE_DB_NAME_LEN + 1], owner[SE_DB_NAME_LEN + 1], table[SE_DB_TABLE_LEN + 1];
  memset(database, 0, sizeof database);
  memset(owner, 0, sizeof owner);
  memset(table, 0, sizeof table);
  db_parse_table_name(instance, given.c_str(), instance->current_user, database, owner, table);
  if (strcasecmp(owner, instance->current_user) != 0) return SE_LAYER_FOREIGN_OWNER;

  REGISTRATION found;
  memset(&found, 0, sizeof found);
  std::string owner_table = std::string(owner) + "." + table;
  int32_t status = db_lookup_registration(instance, owner_table.c_str(), &found);
  if (status != 0 && status != SE_TABLE_NOREGISTERED) return status;
  *reg = found;

  set_field(layer->database, sizeof layer->database, database);
  set_field(layer->owner, sizeof layer->owner, owner);
  set_field(layer->table, sizeof layer->table, table);
  std::string column = FIELD(layer->spatial_column);
  if (strcmp(table, upper(column).c_str()) == 0) return SE_LAYER_TABLE_IS_COLUMN;

  int32_t is_view = 0;
  status = db_is_layer_a_view(instance, layer, &is_view);
  if (status != 0) return status;
  if (is_view) layer->entity_flags |= SE_LAYER_IS_VIEW;

  int16_t count = 0;
  COLUMN_DEF* columns = nullptr;
  status = DB_table_describe(instance, owner_table.c_str(), nullptr, &count, &columns);
  if (status != 0) return status;
  bool present = false;
  std::string others;
  for (int16_t i = 0; i < count; ++i) {
    bool spatial = columns[i].type == 6 || columns[i].type == 8 ||
                   (columns[i].type >= 20 && columns[i].type <= 31);
    if (!spatial) continue;
    std::string name = FIELD(columns[i].name);
    if (strcasecmp(name.c_str(), column.c_str()) == 0) present = true;
    else others += " " + name + ",";
  }
  free(columns);
  if (!present && !others.empty()) {
    others.pop_back();
    fprintf(stderr, "DB_layer_verify_table:: warning message \n");
    fprintf(stderr, "  Adding spatial column \"%s\", but a spatial column may have already existed.\n",
            column.c_str());
    fprintf(stderr, "  Possible spatial column:  %s. \n", others.c_str());
  }

  std::string sql = "SELECT " + column + " FROM " + owner_table;
  Stmt st;
  status = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (status != 0) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, st.h != SQL_NULL_HSTMT ? &st.h : nullptr, status);
    db_free_stmt(&st.h);
    if (strcmp(d.sqlstate, "42S22") == 0 || status == SE_ATTR_NOEXIST) {
      status = db_alter_table(instance, layer, reg, 0);
      if (status == 0) db_ddl_commit(instance);
      return status;
    }
    if (strcmp(d.sqlstate, "42S02") == 0 || status == SE_TABLE_NOEXIST) return SE_TABLE_NOEXIST;
    fprintf(stderr, "DB_layer_verify_table() Execute Error (%d)\n", (int)status);
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  int32_t kind = 0, nullable = 0;
  status = db_spatial_column_kind(instance, st.h, &kind, &nullable);
  if (status != 0) return status;
  if (kind == 0) return SE_LAYER_BAD_COLUMN_TYPE;
  if (kind == 1 && !nullable) return SE_LAYER_COLUMN_NOT_NULL;
  if (kind == 2 && count == 1) {
    db_free_stmt(&st.h);
    status = db_alter_table(instance, layer, reg, 1);
    if (status == 0) db_ddl_commit(instance);
    return status;
  }
  db_ddl_commit(instance);
  return 0;
}

int32_t DB_layer_alter_user_table(DB_INSTANCE* instance, LAYER* layer, REGISTRATION* reg) {
  int32_t status = db_alter_table(instance, layer, reg, 0);
  if (status != 0) {
    fprintf(stderr, "DB_alter_user_table() Error altering table (%d)\n", (int)status);
    return status;
  }
  if (layer->entity_flags & SE_LAYER_LOAD_ONLY) return 0;
  status = DB_layer_create_user_trigger(instance, layer);
  if (status != 0) {
    fprintf(stderr, "DB_alter_user_table() Error creating trigger (%d)\n", (int)status);
    return status;
  }
  status = DB_layer_enable_attr_indices(instance, layer);
  if (status != 0 && status != SE_INDEX_EXISTS) {
    fprintf(stderr, "DB_layer_alter_user_table() Error creating index (%d).\n", (int)status);
    return status;
  }
  return 0;
}
