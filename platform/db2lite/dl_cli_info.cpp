// dl_cli_info.cpp -- what the CLI tells about itself and the database:
// SQLGetInfo, SQLGetFunctions, SQLGetTypeInfo (DB2's type names),
// SQLColumns and SQLDataSources.
//
// The catalogue calls build their result sets in memory and hand them to the
// statement as a cursor of kept rows (dl_stmt_fetch.cpp). SQLColumns reads
// the SQLite schema of the database, where every DB2 object SCHEMA.NAME is
// the table "SCHEMA.NAME" with its DB2 declared types.
#include "dl_cli_impl.h"
#include "dl_conn.h"

#include <dirent.h>
#include <string.h>

#include <algorithm>

namespace dl {

namespace {

struct InfoValue {
  enum Kind { Text, U16, U32 } kind;
  std::string text;
  uint32_t num;
};

bool info_value(Dbc* c, SQLUSMALLINT item, InfoValue* v) {
  auto text = [&](std::string t) { v->kind = InfoValue::Text; v->text = std::move(t); };
  auto u16 = [&](uint32_t n) { v->kind = InfoValue::U16; v->num = n; };
  auto u32 = [&](uint32_t n) { v->kind = InfoValue::U32; v->num = n; };
  switch (item) {
    case SQL_DATABASE_NAME: case SQL_DATA_SOURCE_NAME: case SQL_SERVER_NAME:
      text(c->session.database); break;
    case SQL_USER_NAME: text(c->session.user); break;
    case SQL_DBMS_NAME: text("DB2/LINUXX8664"); break;
    case SQL_DBMS_VER: case SQL_DRIVER_VER: text("08.02.0000"); break;
    case SQL_DRIVER_NAME: text("libdb2lite.so"); break;
    case SQL_DRIVER_ODBC_VER: text("03.51"); break;
    case SQL_ODBC_VER: text("03.51.0000"); break;
    case SQL_IDENTIFIER_QUOTE_CHAR: text("\""); break;
    case SQL_SEARCH_PATTERN_ESCAPE: text("\\"); break;
    case SQL_DATA_SOURCE_READ_ONLY: text("N"); break;
    case SQL_CATALOG_NAME_SEPARATOR: text("."); break;
    case SQL_CATALOG_TERM: text(""); break;
    case SQL_SCHEMA_TERM: text("schema"); break;
    case SQL_TABLE_TERM: text("table"); break;
    case SQL_PROCEDURE_TERM: text("stored procedure"); break;
    case SQL_ODBC_API_CONFORMANCE: u16(SQL_OAC_LEVEL1); break;
    case SQL_ODBC_SQL_CONFORMANCE: u16(SQL_OSC_CORE); break;
    case SQL_TXN_CAPABLE: u16(SQL_TC_ALL); break;
    case SQL_CURSOR_COMMIT_BEHAVIOR: u16(SQL_CB_PRESERVE); break;
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: u16(SQL_CB_CLOSE); break;
    case SQL_MAX_COLUMN_NAME_LEN: case SQL_MAX_TABLE_NAME_LEN: case SQL_MAX_SCHEMA_NAME_LEN:
      u16(128); break;
    case SQL_MAX_CURSOR_NAME_LEN: u16(18); break;
    case SQL_ACTIVE_CONNECTIONS: case SQL_ACTIVE_STATEMENTS: u16(0); break;
    case SQL_POSITIONED_STATEMENTS:
      u32(SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE | SQL_PS_SELECT_FOR_UPDATE); break;
    case SQL_DEFAULT_TXN_ISOLATION: u32(SQL_TXN_READ_COMMITTED); break;
    case SQL_TXN_ISOLATION_OPTION: u32(SQL_TXN_READ_COMMITTED | SQL_TXN_SERIALIZABLE); break;
    case SQL_GETDATA_EXTENSIONS: u32(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER); break;
    case SQL_SCROLL_OPTIONS: u32(SQL_SO_FORWARD_ONLY); break;
    default: return false;
  }
  return true;
}

const SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE, SQL_API_SQLFREEHANDLE, SQL_API_SQLBINDCOL, SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLCLOSECURSOR, SQL_API_SQLCOLATTRIBUTE, SQL_API_SQLCOLUMNS, SQL_API_SQLCONNECT,
    SQL_API_SQLDATASOURCES, SQL_API_SQLDESCRIBECOL, SQL_API_SQLDISCONNECT, SQL_API_SQLENDTRAN,
    SQL_API_SQLEXECDIRECT, SQL_API_SQLEXECUTE, SQL_API_SQLEXTENDEDFETCH, SQL_API_SQLFETCH,
    SQL_API_SQLFETCHSCROLL, SQL_API_SQLFREESTMT, SQL_API_SQLGETCONNECTATTR,
    SQL_API_SQLGETCURSORNAME, SQL_API_SQLGETDATA, SQL_API_SQLGETDIAGFIELD, SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETENVATTR, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLGETINFO, SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLGETTYPEINFO, SQL_API_SQLNUMPARAMS, SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLPREPARE,
    SQL_API_SQLROWCOUNT, SQL_API_SQLSETCONNECTATTR, SQL_API_SQLSETCURSORNAME,
    SQL_API_SQLSETENVATTR, SQL_API_SQLSETSTMTATTR, SQL_API_SQLGETSQLCA,
};

// ---- result sets built by the CLI --------------------------------------------

ColDesc col(const char* name, SQLSMALLINT type, SQLULEN size, SQLSMALLINT nullable) {
  ColDesc d;
  d.name = name;
  d.sqltype = type;
  d.size = size;
  d.nullable = nullable;
  d.type_name = type == SQL_VARCHAR ? "VARCHAR" : type == SQL_SMALLINT ? "SMALLINT" : "INTEGER";
  return d;
}

Cell null_cell() { return Cell(); }
Cell int_cell(int64_t v) {
  Cell c;
  c.type = SQLITE_INTEGER;
  c.i = v;
  return c;
}
Cell text_cell(const std::string& s) {
  Cell c;
  c.type = SQLITE_TEXT;
  c.s = s;
  return c;
}
Cell opt_text(const char* s) { return s ? text_cell(s) : null_cell(); }

struct TypeRow {
  const char* name;
  SQLSMALLINT code;
  int64_t size;
  const char* prefix;
  const char* suffix;
  const char* params;
  bool case_sensitive;
  SQLSMALLINT searchable;
  int minscale, maxscale;  // -1: NULL
  SQLSMALLINT sql_data_type, datetime_sub;
  int radix;               // 0: NULL
};

// DB2's types, in the order of their SQL type codes.
const TypeRow kTypes[] = {
    {"DBCLOB", SQL_DBCLOB, 1073741823, "'", "'", "LENGTH", true, SQL_PRED_NONE, -1, -1, SQL_DBCLOB, 0, 0},
    {"BLOB", SQL_BLOB, 2147483647, nullptr, nullptr, "LENGTH", false, SQL_PRED_NONE, -1, -1, SQL_BLOB, 0, 0},
    {"CLOB", SQL_CLOB, 2147483647, "'", "'", "LENGTH", true, SQL_PRED_NONE, -1, -1, SQL_CLOB, 0, 0},
    {"LONG VARGRAPHIC", SQL_LONGVARGRAPHIC, 16350, "G'", "'", nullptr, true, SQL_PRED_NONE, -1, -1, SQL_LONGVARGRAPHIC, 0, 0},
    {"VARGRAPHIC", SQL_VARGRAPHIC, 16336, "G'", "'", "LENGTH", true, SQL_SEARCHABLE, -1, -1, SQL_VARGRAPHIC, 0, 0},
    {"GRAPHIC", SQL_GRAPHIC, 127, "G'", "'", "LENGTH", true, SQL_SEARCHABLE, -1, -1, SQL_GRAPHIC, 0, 0},
    {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, nullptr, false, SQL_PRED_BASIC, 0, 0, SQL_BIGINT, 0, 10},
    {"LONG VARCHAR FOR BIT DATA", SQL_LONGVARBINARY, 32700, "X'", "'", nullptr, false, SQL_PRED_NONE, -1, -1, SQL_LONGVARBINARY, 0, 0},
    {"VARCHAR () FOR BIT DATA", SQL_VARBINARY, 32672, "X'", "'", "LENGTH", false, SQL_SEARCHABLE, -1, -1, SQL_VARBINARY, 0, 0},
    {"CHAR () FOR BIT DATA", SQL_BINARY, 254, "X'", "'", "LENGTH", false, SQL_SEARCHABLE, -1, -1, SQL_BINARY, 0, 0},
    {"LONG VARCHAR", SQL_LONGVARCHAR, 32700, "'", "'", nullptr, true, SQL_PRED_NONE, -1, -1, SQL_LONGVARCHAR, 0, 0},
    {"CHAR", SQL_CHAR, 254, "'", "'", "LENGTH", true, SQL_SEARCHABLE, -1, -1, SQL_CHAR, 0, 0},
    {"NUMERIC", SQL_NUMERIC, 31, nullptr, nullptr, "PRECISION,SCALE", false, SQL_PRED_BASIC, 0, 31, SQL_NUMERIC, 0, 10},
    {"DECIMAL", SQL_DECIMAL, 31, nullptr, nullptr, "PRECISION,SCALE", false, SQL_PRED_BASIC, 0, 31, SQL_DECIMAL, 0, 10},
    {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, nullptr, false, SQL_PRED_BASIC, 0, 0, SQL_INTEGER, 0, 10},
    {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, nullptr, false, SQL_PRED_BASIC, 0, 0, SQL_SMALLINT, 0, 10},
    {"FLOAT", SQL_FLOAT, 53, nullptr, nullptr, "PRECISION", false, SQL_PRED_BASIC, -1, -1, SQL_FLOAT, 0, 2},
    {"REAL", SQL_REAL, 24, nullptr, nullptr, nullptr, false, SQL_PRED_BASIC, -1, -1, SQL_REAL, 0, 2},
    {"DOUBLE", SQL_DOUBLE, 53, nullptr, nullptr, nullptr, false, SQL_PRED_BASIC, -1, -1, SQL_DOUBLE, 0, 2},
    {"VARCHAR", SQL_VARCHAR, 32672, "'", "'", "LENGTH", true, SQL_SEARCHABLE, -1, -1, SQL_VARCHAR, 0, 0},
    {"DATE", SQL_TYPE_DATE, 10, "'", "'", nullptr, false, SQL_PRED_BASIC, -1, -1, SQL_DATETIME, SQL_CODE_DATE, 0},
    {"TIME", SQL_TYPE_TIME, 8, "'", "'", nullptr, false, SQL_PRED_BASIC, 0, 0, SQL_DATETIME, SQL_CODE_TIME, 0},
    {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 26, "'", "'", nullptr, false, SQL_PRED_BASIC, 0, 6, SQL_DATETIME, SQL_CODE_TIMESTAMP, 0},
};

// ODBC search patterns: % any string, _ any character, \ escapes. Matched
// by backtracking to the last %, so the work stays proportional to the
// lengths' product whatever the pattern.
bool pattern_match(const char* p, const char* s) {
  const char* star_p = nullptr;
  const char* star_s = nullptr;
  while (*s) {
    if (*p == '%') {
      star_p = ++p;
      star_s = s;
      continue;
    }
    bool esc = *p == '\\' && p[1];
    if (*p && ((!esc && *p == '_') || (esc ? p[1] : *p) == *s)) {
      p += esc ? 2 : 1;
      ++s;
      continue;
    }
    if (!star_p) return false;
    p = star_p;
    s = ++star_s;
  }
  while (*p == '%') ++p;
  return !*p;
}

int collect_columns(sqlite3* db, const std::string& schema, bool any_schema,
                    const std::string& table, const std::string& column, std::vector<Cell>* rows) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "SELECT name FROM sqlite_schema WHERE type IN ('table','view') "
                              "ORDER BY name",
                              -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  std::vector<std::pair<std::string, std::string>> tabs;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::string full = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    size_t dot = full.find('.');
    if (dot == std::string::npos) continue;
    std::string sch = full.substr(0, dot), tab = full.substr(dot + 1);
    if (!any_schema && !pattern_match(schema.c_str(), sch.c_str())) continue;
    if (!pattern_match(table.c_str(), tab.c_str())) continue;
    tabs.emplace_back(sch, tab);
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) return rc;
  rc = sqlite3_prepare_v2(db,
                          "SELECT name, type, \"notnull\", dflt_value FROM pragma_table_xinfo(?) "
                          "WHERE hidden IN (0, 2, 3) ORDER BY cid",
                          -1, &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  for (const auto& t : tabs) {
    std::string full = t.first + "." + t.second;
    sqlite3_bind_text(st, 1, full.c_str(), -1, SQLITE_TRANSIENT);
    int ordinal = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      ++ordinal;
      const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      if (!name || !pattern_match(column.c_str(), name)) continue;
      ColDesc d;
      if (!decl_to_desc(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)), &d)) {
        d.sqltype = SQL_VARCHAR;
        d.type_name = "VARCHAR";
        d.size = 254;
      }
      bool notnull = sqlite3_column_int(st, 2) != 0;
      const char* def = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
      bool numeric = d.sqltype == SQL_INTEGER || d.sqltype == SQL_SMALLINT ||
                     d.sqltype == SQL_BIGINT || d.sqltype == SQL_DECIMAL ||
                     d.sqltype == SQL_DOUBLE || d.sqltype == SQL_REAL;
      bool chars = d.sqltype == SQL_CHAR || d.sqltype == SQL_VARCHAR ||
                   d.sqltype == SQL_LONGVARCHAR || d.sqltype == SQL_BINARY ||
                   d.sqltype == SQL_VARBINARY || d.sqltype == SQL_BLOB || d.sqltype == SQL_CLOB;
      bool datetime = d.sqltype == SQL_TYPE_DATE || d.sqltype == SQL_TYPE_TIME ||
                      d.sqltype == SQL_TYPE_TIMESTAMP;
      rows->push_back(null_cell());                         // TABLE_CAT
      rows->push_back(text_cell(t.first));                  // TABLE_SCHEM
      rows->push_back(text_cell(t.second));                 // TABLE_NAME
      rows->push_back(text_cell(name));                     // COLUMN_NAME
      rows->push_back(int_cell(d.sqltype));                 // DATA_TYPE
      rows->push_back(text_cell(d.udt_name.empty() ? d.type_name : d.udt_name));  // TYPE_NAME
      rows->push_back(int_cell(static_cast<int64_t>(d.size)));  // COLUMN_SIZE
      rows->push_back(int_cell(static_cast<int64_t>(d.size)));  // BUFFER_LENGTH
      rows->push_back(numeric ? int_cell(d.digits) : null_cell());  // DECIMAL_DIGITS
      rows->push_back(numeric ? int_cell(d.sqltype == SQL_DOUBLE || d.sqltype == SQL_REAL ? 2 : 10)
                              : null_cell());               // NUM_PREC_RADIX
      rows->push_back(int_cell(notnull ? SQL_NO_NULLS : SQL_NULLABLE));  // NULLABLE
      rows->push_back(null_cell());                         // REMARKS
      rows->push_back(opt_text(def));                       // COLUMN_DEF
      rows->push_back(int_cell(datetime ? SQL_DATETIME : d.sqltype));  // SQL_DATA_TYPE
      rows->push_back(datetime ? int_cell(d.sqltype - 90) : null_cell());  // SQL_DATETIME_SUB
      rows->push_back(chars ? int_cell(static_cast<int64_t>(d.size)) : null_cell());  // CHAR_OCTET_LENGTH
      rows->push_back(int_cell(ordinal));                   // ORDINAL_POSITION
      rows->push_back(text_cell(notnull ? "NO" : "YES"));   // IS_NULLABLE
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) break;
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

bool catalogue_ready(Stmt* s) {
  if (s->cursor != CursorState::None) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return false;
  }
  return true;
}

}  // namespace

}  // namespace dl

using namespace dl;

extern "C" {

SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT item, SQLPOINTER value, SQLSMALLINT cap,
                     SQLSMALLINT* len) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  if (!c->connected && item != SQL_ODBC_VER && item != SQL_DRIVER_ODBC_VER) {
    cli_diag(c, "08003", DB2LITE_NATIVE_CLI, "CLI0106E", "Connection is closed.");
    return SQL_ERROR;
  }
  InfoValue v;
  if (!info_value(c, item, &v)) {
    cli_diag(c, "HY096", DB2LITE_NATIVE_CLI, "CLI0133E", "Information type out of range.");
    return SQL_ERROR;
  }
  if (v.kind == InfoValue::Text) {
    if (cap < 0) {
      cli_diag(c, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
      return SQL_ERROR;
    }
    if (put_text(v.text, static_cast<SQLCHAR*>(value), cap, len)) return SQL_SUCCESS;
    cli_diag(c, "01004", 0, "CLI0002W", "Data truncated.");
    return SQL_SUCCESS_WITH_INFO;
  }
  if (v.kind == InfoValue::U16) {
    if (value) *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(v.num);
    if (len) *len = sizeof(SQLUSMALLINT);
  } else {
    if (value) *static_cast<SQLUINTEGER*>(value) = v.num;
    if (len) *len = sizeof(SQLUINTEGER);
  }
  return SQL_SUCCESS;
}

SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  Dbc* c = as_dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  clear_diags(c);
  if (!supported) {
    cli_diag(c, "HY009", DB2LITE_NATIVE_CLI, "CLI0124E", "Invalid argument value.");
    return SQL_ERROR;
  }
  if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    memset(supported, 0, sizeof(SQLUSMALLINT) * SQL_API_ODBC3_ALL_FUNCTIONS_SIZE);
    for (SQLUSMALLINT f : kFunctions) supported[f >> 4] |= static_cast<SQLUSMALLINT>(1u << (f & 0xF));
    return SQL_SUCCESS;
  }
  if (id == SQL_API_ALL_FUNCTIONS) {
    memset(supported, 0, sizeof(SQLUSMALLINT) * 100);
    for (SQLUSMALLINT f : kFunctions)
      if (f < 100) supported[f] = SQL_TRUE;
    return SQL_SUCCESS;
  }
  *supported = SQL_FALSE;
  for (SQLUSMALLINT f : kFunctions)
    if (f == id) *supported = SQL_TRUE;
  return SQL_SUCCESS;
}

SQLRETURN SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT type) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!catalogue_ready(s)) return SQL_ERROR;
  // The ODBC 2 date and time codes ask for the same rows as their ODBC 3 codes.
  if (type == SQL_DATE) type = SQL_TYPE_DATE;
  if (type == SQL_TIME) type = SQL_TYPE_TIME;
  if (type == SQL_TIMESTAMP) type = SQL_TYPE_TIMESTAMP;
  std::vector<ColDesc> desc = {
      col("TYPE_NAME", SQL_VARCHAR, 128, SQL_NO_NULLS),
      col("DATA_TYPE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("COLUMN_SIZE", SQL_INTEGER, 10, SQL_NULLABLE),
      col("LITERAL_PREFIX", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("LITERAL_SUFFIX", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("CREATE_PARAMS", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("NULLABLE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("CASE_SENSITIVE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("SEARCHABLE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("UNSIGNED_ATTRIBUTE", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("FIXED_PREC_SCALE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("AUTO_UNIQUE_VALUE", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("LOCAL_TYPE_NAME", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("MINIMUM_SCALE", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("MAXIMUM_SCALE", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("SQL_DATA_TYPE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("SQL_DATETIME_SUB", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("NUM_PREC_RADIX", SQL_INTEGER, 10, SQL_NULLABLE),
      col("INTERVAL_PRECISION", SQL_SMALLINT, 5, SQL_NULLABLE),
  };
  std::vector<const TypeRow*> picked;
  for (const TypeRow& t : kTypes)
    if ((type == SQL_ALL_TYPES || t.code == type) && !fault_type_hidden(t.code))
      picked.push_back(&t);
  std::stable_sort(picked.begin(), picked.end(),
                   [](const TypeRow* a, const TypeRow* b) { return a->code < b->code; });
  std::vector<Cell> rows;
  for (const TypeRow* t : picked) {
    bool numeric = t->radix != 0;
    rows.push_back(text_cell(t->name));
    rows.push_back(int_cell(t->code));
    rows.push_back(int_cell(t->size));
    rows.push_back(opt_text(t->prefix));
    rows.push_back(opt_text(t->suffix));
    rows.push_back(opt_text(t->params));
    rows.push_back(int_cell(SQL_NULLABLE));
    rows.push_back(int_cell(t->case_sensitive ? SQL_TRUE : SQL_FALSE));
    rows.push_back(int_cell(t->searchable));
    rows.push_back(numeric ? int_cell(SQL_FALSE) : null_cell());
    rows.push_back(int_cell(SQL_FALSE));
    rows.push_back(numeric ? int_cell(SQL_FALSE) : null_cell());
    rows.push_back(text_cell(t->name));
    rows.push_back(t->minscale >= 0 ? int_cell(t->minscale) : null_cell());
    rows.push_back(t->maxscale >= 0 ? int_cell(t->maxscale) : null_cell());
    rows.push_back(int_cell(t->sql_data_type));
    rows.push_back(t->datetime_sub ? int_cell(t->datetime_sub) : null_cell());
    rows.push_back(numeric ? int_cell(t->radix) : null_cell());
    rows.push_back(null_cell());
  }
  stmt_open_rows(s, std::move(desc), std::move(rows));
  return SQL_SUCCESS;
}

SQLRETURN SQLColumns(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cat_len, SQLCHAR* schema,
                     SQLSMALLINT schema_len, SQLCHAR* table, SQLSMALLINT table_len,
                     SQLCHAR* column, SQLSMALLINT column_len) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!catalogue_ready(s)) return SQL_ERROR;
  std::string sch, tab, colpat;
  // A length of 0 with a text means no text, as for a missing one.
  if ((schema && schema_len != 0 && !get_text(schema, schema_len, kMaxNameLen, &sch)) ||
      (table && table_len != 0 && !get_text(table, table_len, kMaxNameLen, &tab)) ||
      (column && column_len != 0 && !get_text(column, column_len, kMaxNameLen, &colpat))) {
    cli_diag(s, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
    return SQL_ERROR;
  }
  bool any_schema = !schema || schema_len == 0;
  if (!table || table_len == 0) tab = "%";
  if (!column || column_len == 0) colpat = "%";
  std::vector<Cell> rows;
  int rc = collect_columns(s->dbc->wdb, sch, any_schema, tab, colpat, &rows);
  if (rc != SQLITE_OK) return db_failure(s, s->dbc->wdb, rc, nullptr);
  std::vector<ColDesc> desc = {
      col("TABLE_CAT", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("TABLE_SCHEM", SQL_VARCHAR, 128, SQL_NULLABLE),
      col("TABLE_NAME", SQL_VARCHAR, 128, SQL_NO_NULLS),
      col("COLUMN_NAME", SQL_VARCHAR, 128, SQL_NO_NULLS),
      col("DATA_TYPE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("TYPE_NAME", SQL_VARCHAR, 128, SQL_NO_NULLS),
      col("COLUMN_SIZE", SQL_INTEGER, 10, SQL_NULLABLE),
      col("BUFFER_LENGTH", SQL_INTEGER, 10, SQL_NULLABLE),
      col("DECIMAL_DIGITS", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("NUM_PREC_RADIX", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("NULLABLE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("REMARKS", SQL_VARCHAR, 254, SQL_NULLABLE),
      col("COLUMN_DEF", SQL_VARCHAR, 254, SQL_NULLABLE),
      col("SQL_DATA_TYPE", SQL_SMALLINT, 5, SQL_NO_NULLS),
      col("SQL_DATETIME_SUB", SQL_SMALLINT, 5, SQL_NULLABLE),
      col("CHAR_OCTET_LENGTH", SQL_INTEGER, 10, SQL_NULLABLE),
      col("ORDINAL_POSITION", SQL_INTEGER, 10, SQL_NO_NULLS),
      col("IS_NULLABLE", SQL_VARCHAR, 254, SQL_NULLABLE),
  };
  stmt_open_rows(s, std::move(desc), std::move(rows));
  return SQL_SUCCESS;
}

SQLRETURN SQLDataSources(SQLHENV henv, SQLUSMALLINT direction, SQLCHAR* name, SQLSMALLINT name_cap,
                         SQLSMALLINT* name_len, SQLCHAR* desc, SQLSMALLINT desc_cap,
                         SQLSMALLINT* desc_len) {
  Env* e = as_env(henv);
  if (!e) return SQL_INVALID_HANDLE;
  clear_diags(e);
  if (direction == SQL_FETCH_FIRST || direction == SQL_FETCH_FIRST_SYSTEM ||
      direction == SQL_FETCH_FIRST_USER) {
    e->sources.clear();
    e->source_pos = 0;
    std::string probe;
    if (dl_database_path("X", &probe)) {
      std::string dir = probe.substr(0, probe.rfind('/'));
      if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* ent = readdir(d)) {
          std::string n = ent->d_name;
          if (n.size() > 3 && n.compare(n.size() - 3, 3, ".db") == 0) {
            std::string base = n.substr(0, n.size() - 3), check;
            if (dl_database_path(base, &check) && check == dir + "/" + n) e->sources.push_back(base);
          }
        }
        closedir(d);
      }
      std::sort(e->sources.begin(), e->sources.end());
    }
  } else if (direction != SQL_FETCH_NEXT) {
    cli_diag(e, "HY103", DB2LITE_NATIVE_CLI, "CLI0145E", "Invalid retrieval code.");
    return SQL_ERROR;
  }
  if (e->source_pos >= e->sources.size()) return SQL_NO_DATA;
  const std::string& n = e->sources[e->source_pos++];
  bool fit = put_text(n, name, name_cap, name_len);
  fit = put_text("db2lite database", desc, desc_cap, desc_len) && fit;
  if (fit) return SQL_SUCCESS;
  cli_diag(e, "01004", 0, "CLI0002W", "Data truncated.");
  return SQL_SUCCESS_WITH_INFO;
}

}  // extern "C"
