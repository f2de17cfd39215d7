// db_describe.cpp -- what a table's columns are: the result columns of a
// SELECT described as COLUMN_DEF records, and DB2's own names for SQL types.
//
// Divisions:
//   1. DB2 SQL type -> CLI buffer type -> column type
//   2. describing a prepared statement (db_describe_select)
//   3. describing named columns of a table (DB_table_get_column_defs) and
//      the registered row-id column test
//   4. DB2's type names (DB_get_data_type) and their process-wide cache
//
// Relies on the statement layer (dbsql_io.h) for prepare and error reports,
// and on the object names (db_parse_column_name) to match column names.
// The type-name cache is unguarded: one thread does the DB2 work, and a
// racing first lookup could only store the same name twice.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>
#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_tables.h"

namespace {

// Registration flag: the table carries a raster column.
constexpr int32_t kRegHasRaster = 0x40;
constexpr size_t kDescribeNameLen = 32;  // column names are read into 32 bytes

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool state_is(const DB_DIAG_RECORD& d, const char* state) { return strcasecmp(d.sqlstate, state) == 0; }

void report(DB_INSTANCE* instance, DB_STREAM* stream, const DB_DIAG_RECORD& d) {
  if (stream != nullptr) db_stream_report_dbms_error(stream, d);
  else db_report_dbms_error(instance, d);
}

int32_t map_describe_state(const DB_DIAG_RECORD& d) {
  if (state_is(d, "42S02")) return SE_TABLE_NOEXIST;
  if (state_is(d, "42S22")) return SE_ATTR_NOEXIST;
  return SE_DB_IO_ERROR;
}

void copy_name(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

}  // namespace

// ---- 1. type mapping --------------------------------------------------------------

int32_t db_map_c_type(int32_t sql_type, int16_t* c_type) {
  int16_t c = 0;
  switch (sql_type) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_BIGINT: case -99:
      c = SQL_C_CHAR; break;
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_REAL:
      c = SQL_C_FLOAT; break;
    case SQL_INTEGER: c = SQL_C_LONG; break;
    case SQL_SMALLINT: c = SQL_C_SHORT; break;
    case SQL_FLOAT: case SQL_DOUBLE: c = SQL_C_DOUBLE; break;
    case SQL_DATE: case SQL_TYPE_DATE: c = SQL_C_DATE; break;
    case SQL_TIME: case SQL_TYPE_TIME: c = SQL_C_TIME; break;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: c = SQL_C_TIMESTAMP; break;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: case -98:
      c = SQL_C_BINARY; break;
    case SQL_BIT: c = SQL_C_BIT; break;
    case SQL_TINYINT: c = SQL_C_TINYINT; break;
    default: c = 0; break;
  }
  *c_type = c;
  return 0;
}

int32_t db_map_dbms_to_zul_type(const char* name, int32_t sql_type, SQLULEN size, int16_t digits,
                                int32_t nullable, COLUMN_DEF* def, int32_t* bind_size,
                                int16_t* c_type) {
  memset(def, 0, sizeof *def);
  copy_name(def->name, sizeof def->name, name);
  def->nullable = nullable == SQL_NULLABLE || nullable == SQL_NULLABLE_UNKNOWN ? 1 : 0;
  def->rowid_kind = SE_ROWID_NONE;
  int32_t s = (int32_t)size;
  int16_t c = 0;
  db_map_c_type(sql_type, &c);

  struct Mapped { int32_t type; int32_t size; int16_t digits; int32_t bind; int16_t c; };
  Mapped m = {0, 0, 0, 0, 0};
  switch (c) {
    case SQL_C_CHAR: m = {SE_STRING, s, 0, s + 1, SQL_C_CHAR}; break;
    case SQL_C_LONG: m = {SE_INTEGER, s, 0, 4, SQL_C_LONG}; break;
    case SQL_C_SHORT: m = {SE_SMALLINT, s, 0, 2, SQL_C_SHORT}; break;
    case SQL_C_FLOAT:
      // A REAL holds fractions whatever precision it reports: only exact
      // numerics narrow to integers by their digits.
      if (sql_type == SQL_REAL) m = {SE_FLOAT, s, digits, 4, SQL_C_FLOAT};
      else if (digits == 0 && s <= 4) m = {SE_SMALLINT, s, 0, 2, SQL_C_SHORT};
      else if (digits == 0 && s >= 5 && s <= 9) m = {SE_INTEGER, s, 0, 4, SQL_C_LONG};
      else if (digits > 0 && s <= 6) m = {SE_FLOAT, s, digits, 4, SQL_C_FLOAT};
      else if (digits >= 0) m = {SE_DOUBLE, s, digits, 8, SQL_C_DOUBLE};
      break;
    case SQL_C_DOUBLE: m = {SE_DOUBLE, s, digits, 8, SQL_C_DOUBLE}; break;
    case SQL_C_DATE: m = {SE_DATE_TYPE, 0, 0, 6, SQL_C_DATE}; break;
    case SQL_C_TIME: m = {SE_DATE_TYPE, 0, 0, 6, SQL_C_TIME}; break;
    case SQL_C_TIMESTAMP: m = {SE_DATE_TYPE, 0, 0, 16, SQL_C_TIMESTAMP}; break;
    case SQL_C_BINARY: m = {SE_BLOB, s, 0, 60000, SQL_C_BINARY}; break;
    default: break;
  }
  if (m.type == 0) {
    fprintf(stderr, "db_map_dbms_to_zul_type::Error in converting database type = %d\n",
            (int)sql_type);
    return SE_TYPE_NO_MAPPING;
  }
  def->type = m.type;
  def->size = m.size;
  def->decimals = m.digits;
  if (bind_size != nullptr) *bind_size = m.bind;
  if (c_type != nullptr) *c_type = m.c;
  return 0;
}

// ---- 2. describing a prepared statement ---------------------------------------------

int32_t db_describe_select(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* stmt,
                           int16_t* count, COLUMN_DEF** defs, int32_t** bind_sizes,
                           int16_t** c_types) {
  *count = 0;
  *defs = nullptr;
  *bind_sizes = nullptr;
  *c_types = nullptr;
  SQLSMALLINT num = 0;
  SQLRETURN rc = SQLNumResultCols(*stmt, &num);
  if (!ok(rc)) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, stmt, rc);
    if (state_is(d, "07005")) return SE_NOT_A_QUERY;
    fprintf(stderr, "db_describe_select describe error (%d).\n", (int)rc);
    report(instance, stream, d);
    return map_describe_state(d);
  }
  if (num <= 0) return SE_NOT_A_QUERY;

  COLUMN_DEF* d_out = nullptr;
  int32_t* b_out = nullptr;
  int16_t* c_out = nullptr;
  int16_t described = 0;
  int32_t status = 0;
  auto release = [&]() {
    free(d_out);
    free(b_out);
    free(c_out);
  };
  for (SQLSMALLINT col = 1; col <= num; ++col) {
    // The arrays grow by one zeroed entry per column.
    COLUMN_DEF* nd = (COLUMN_DEF*)realloc(d_out, sizeof(COLUMN_DEF) * (size_t)(described + 1));
    if (nd != nullptr) d_out = nd;
    int32_t* nb = nd != nullptr ? (int32_t*)realloc(b_out, sizeof(int32_t) * (size_t)(described + 1)) : nullptr;
    if (nb != nullptr) b_out = nb;
    int16_t* nc = nb != nullptr ? (int16_t*)realloc(c_out, sizeof(int16_t) * (size_t)(described + 1)) : nullptr;
    if (nc == nullptr) {
      release();
      db_free_stmt(stmt);
      return SE_OUT_OF_DBMS_MEM;
    }
    c_out = nc;
    memset(&d_out[described], 0, sizeof d_out[described]);
    b_out[described] = 0;
    c_out[described] = 0;
    ++described;

    SQLCHAR name[kDescribeNameLen] = "";
    SQLSMALLINT name_len = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    rc = SQLDescribeCol(*stmt, (SQLUSMALLINT)col, name, (SQLSMALLINT)sizeof name, &name_len,
                        &sql_type, &size, &digits, &nullable);
    if (!ok(rc)) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, stmt, rc);
      if (state_is(d, "HY002") || state_is(d, "07005")) {
        if (col == 1) {
          release();
          return SE_NOT_A_QUERY;
        }
        continue;  // the entry stays empty
      }
      fprintf(stderr, "db_describe_select describe error (%d), column %d.\n", (int)rc, (int)col);
      report(instance, stream, d);
      release();
      return map_describe_state(d);
    }
    name[sizeof name - 1] = '\0';
    const char* column_name = (const char*)name;
    if (stream != nullptr && strcmp(column_name, "1") == 0 && stream->select_text != nullptr &&
        strstr(stream->select_text, "..Points") != nullptr)
      column_name = stream->spatial_column_name;
    status = db_map_dbms_to_zul_type(column_name, sql_type, size, digits, nullable,
                                     &d_out[described - 1], &b_out[described - 1],
                                     &c_out[described - 1]);
    if (status != 0) {
      fprintf(stderr, "db_describe_select::Error converting column %d\n", (int)col);
      release();
      return status;
    }
  }
  *count = described;
  *defs = d_out;
  *bind_sizes = b_out;
  *c_types = c_out;
  return 0;
}

// ---- 3. named columns of a table ------------------------------------------------------

namespace {

// Whether name names the column `column` of owner.table; table parts are
// compared only when the name carries a table.
bool names_column(DB_INSTANCE* instance, const char* name, const char* default_owner,
                  const char* column, const char* owner, const char* table, bool ignore_case) {
  if (column == nullptr || column[0] == '\0') return false;
  char own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN], col[SE_NAME_COLUMN_LEN];
  db_parse_column_name(instance, name, default_owner, nullptr, own, tab, col);
  auto same = [ignore_case](const char* a, const char* b) {
    return ignore_case ? strcasecmp(a, b) == 0 : strcmp(a, b) == 0;
  };
  if (!same(col, column)) return false;
  if (tab[0] == '\0') return true;
  return same(own, owner) && same(tab, table);
}

}  // namespace

int32_t DB_table_get_column_defs(DB_INSTANCE* instance, DB_STREAM* stream, const char* table,
                                 const REGISTRATION* reg, int16_t n, char** names,
                                 COLUMN_DEF* defs, LAYER*** layers) {
  if (layers != nullptr) *layers = nullptr;
  if (table == nullptr || names == nullptr || defs == nullptr || n <= 0) return SE_INVALID_PARAM;
  // Table and column names come from the client: each must be an identifier
  // before it is placed in the statement.
  if (DB_check_identifier(instance, table) != 0) return SE_INVALID_IDENTIFIER;
  for (int16_t k = 0; k < n; ++k)
    if (names[k] == nullptr || names[k][0] == '\0' || DB_check_identifier(instance, names[k]) != 0)
      return SE_INVALID_IDENTIFIER;

  std::string sql;
  try {
    sql = "SELECT ";
    for (int16_t k = 0; k < n; ++k) {
      if (k > 0) sql += ", ";
      sql += names[k];
    }
    sql += " FROM ";
    sql += table;
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_MEMORY;
  }

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql.c_str());
  if (status != 0) {
    DB_DIAG_RECORD d = stmt != SQL_NULL_HSTMT ? db_get_diag_record(instance, &stmt, status)
                                              : db_get_diag_record(instance, nullptr, status);
    db_free_stmt(&stmt);
    if (state_is(d, "42S22")) return SE_ATTR_NOEXIST;
    if (state_is(d, "42S02")) return SE_TABLE_NOEXIST;
    if (state_is(d, "42502")) return SE_NO_PERMISSIONS;
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }

  int16_t count = 0;
  COLUMN_DEF* described = nullptr;
  int32_t* bind_sizes = nullptr;
  int16_t* c_types = nullptr;
  status = db_describe_select(instance, stream, &stmt, &count, &described, &bind_sizes, &c_types);
  if (status == 0) {
    int16_t used = count < n ? count : n;
    memcpy(defs, described, sizeof(COLUMN_DEF) * (size_t)used);
    if (layers != nullptr) {
      *layers = (LAYER**)calloc((size_t)n, sizeof(LAYER*));
      if (*layers == nullptr) status = SE_OUT_OF_DBMS_MEM;
    }
    if (status == 0) {
      // Row-id kinds.
      bool has_rowid = reg != nullptr && (reg->flags & SE_REG_HAS_ROWID) != 0;
      bool marked = false;
      for (int16_t k = 0; k < used; ++k) {
        defs[k].rowid_kind = SE_ROWID_NONE;
        if (has_rowid && !marked &&
            strncasecmp(defs[k].name, reg->rowid_column, sizeof reg->rowid_column) == 0) {
          defs[k].rowid_kind =
              (reg->flags & SE_REG_ROWID_BY_SERVER) != 0 ? SE_ROWID_BY_SERVER : SE_ROWID_BY_USER;
          marked = true;
        }
      }
      // Shape and raster columns of the stream's layer and raster column.
      if (stream != nullptr && reg != nullptr) {
        for (int16_t k = 0; k < used; ++k) {
          if ((reg->flags & SE_REG_LAYER_DEPENDS) != 0 && layers != nullptr &&
              defs[k].type == SE_BLOB &&
              names_column(instance, defs[k].name, stream->owner, stream->spatial_column_name,
                           stream->table_owner, stream->table, true)) {
            defs[k].type = SE_SHAPE;
            defs[k].size = 0;
            defs[k].decimals = 0;
            (*layers)[k] = stream->layer;
          }
          if ((reg->flags & kRegHasRaster) != 0 &&
              names_column(instance, defs[k].name, stream->owner, stream->raster_column,
                           stream->raster_owner, stream->raster_table, false)) {
            defs[k].type = SE_RASTER;
            defs[k].size = 0;
            defs[k].decimals = 0;
          }
        }
      }
    }
    if (status != 0 && layers != nullptr) {
      free(*layers);
      *layers = nullptr;
    }
  }
  free(described);
  free(bind_sizes);
  free(c_types);
  db_free_stmt(&stmt);
  return status;
}

int32_t db_is_registered_rowid_column(DB_STREAM* stream, const char* name) {
  if (stream == nullptr || name == nullptr || name[0] == '\0') return 0;
  DB_INSTANCE* instance = stream->instance;
  char own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN], col[SE_NAME_COLUMN_LEN];
  db_parse_column_name(instance, name, stream->owner, nullptr, own, tab, col);
  if (col[0] == '\0') return 0;
  std::string owner_table = tab[0] != '\0' ? std::string(own) + "." + tab
                                           : std::string(stream->table_owner) + "." + stream->table;
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  if (instance == nullptr || db_lookup_registration(instance, owner_table.c_str(), &reg) != 0) return 0;
  reg.rowid_column[sizeof reg.rowid_column - 1] = '\0';
  if (reg.rowid_column[0] == '\0' || strcmp(reg.rowid_column, col) != 0) return 0;
  if (tab[0] == '\0') return stream->table[0] != '\0' ? 1 : 0;
  return strcmp(own, stream->table_owner) == 0 && strcmp(tab, stream->table) == 0 ? 1 : 0;
}

// ---- 4. type names ------------------------------------------------------------------------

namespace {

struct TypeGroup {
  int32_t codes[3];        // codes served by the group (0 ends the list)
  int32_t fallbacks[2];    // tried in order when DB2 has no row for the first (0 ends)
};

// One entry per cache group; the numeric group serves 2, 3 and 7 alike.
const TypeGroup kGroups[] = {
    {{SQL_CHAR, 0, 0}, {0, 0}},
    {{SQL_NUMERIC, SQL_DECIMAL, SQL_REAL}, {0, 0}},
    {{SQL_INTEGER, 0, 0}, {0, 0}},
    {{SQL_SMALLINT, 0, 0}, {SQL_INTEGER, 0}},
    {{SQL_DOUBLE, 0, 0}, {SQL_FLOAT, SQL_REAL}},
    {{SQL_VARCHAR, 0, 0}, {SQL_CHAR, 0}},
    {{-98, 0, 0}, {0, 0}},
    {{SQL_VARBINARY, 0, 0}, {0, 0}},
    {{SQL_LONGVARCHAR, 0, 0}, {0, 0}},
};
constexpr int kNumGroups = sizeof kGroups / sizeof kGroups[0];
char* g_type_names[kNumGroups];  // kept until the process ends

// One SQLGetTypeInfo lookup: the fetch's return (0, 1, 100) with the name
// stored in *slot on a row; -51 reported on a CLI failure.
int32_t lookup_type(DB_INSTANCE* instance, int32_t code, char** slot) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (db_open_cursor(instance, nullptr, &stmt) != 0) return SE_DB_IO_ERROR;
  char name[128] = "";
  SQLLEN ind = 0;
  SQLRETURN rc = SQLGetTypeInfo(stmt, (SQLSMALLINT)code);
  if (ok(rc)) rc = SQLBindCol(stmt, 1, SQL_C_CHAR, name, sizeof name, &ind);
  if (ok(rc)) rc = SQLFetch(stmt);
  if (!ok(rc) && rc != SQL_NO_DATA) {
    fprintf(stderr, "get_a_data_type error %ld (type = %ld)\n", (long)rc, (long)code);
    DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
    db_free_stmt(&stmt);
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  if (rc != SQL_NO_DATA) {
    name[sizeof name - 1] = '\0';
    char* copy = strdup(name);
    if (copy == nullptr) rc = SE_OUT_OF_DBMS_MEM;
    else *slot = copy;
  }
  db_free_stmt(&stmt);
  return rc == SQL_SUCCESS_WITH_INFO ? 0 : rc;
}

}  // namespace

int32_t DB_get_data_type(DB_INSTANCE* instance, int32_t sql_type, const char** name) {
  int group = -1;
  for (int g = 0; g < kNumGroups && group < 0; ++g)
    for (int32_t code : kGroups[g].codes)
      if (code != 0 && code == sql_type) group = g;
  if (group < 0) {
    fprintf(stderr, "Unexpected data type (%d) in DB_get_data_type\n", (int)sql_type);
    return SE_DB_IO_ERROR;
  }
  int32_t result = 0;
  if (g_type_names[group] == nullptr) {
    result = lookup_type(instance, sql_type, &g_type_names[group]);
    for (int32_t fb : kGroups[group].fallbacks) {
      if (result != SQL_NO_DATA || fb == 0) break;
      result = lookup_type(instance, fb, &g_type_names[group]);
    }
  }
  if (result != 0 || g_type_names[group] == nullptr) {
    fprintf(stderr, "RDBMS driver unable to support data type (%d) in DB_get_data_type\n",
            (int)sql_type);
    return SE_DB_IO_ERROR;
  }
  *name = g_type_names[group];
  return 0;
}
