// db_table_index.cpp -- the second half of the table operations: indexes
// (create, create several as one, drop, describe, find the table of an
// index), views that carry a layer's spatial column or a raster column,
// copies of one table's grants, indexes and check constraints onto another,
// and DBMS statistics (RUNSTATS) of a table and its dependent tables.
//
// Relies on the statement layer (dbsql_io.h), the dbtune storage parameters
// of a configuration keyword, SYSCAT.INDEXES, INDEXCOLUSE, TABAUTH and
// CHECKS, the layer reader, the registration lookup of the instance, and
// db2lite's sqlustat_api for the statistics.
//
// Divisions:
//   1. indexes
//   2. views
//   3. copies
//   4. DBMS statistics
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <memory>
#include <vector>

#include "db_table_private.h"
#include "sql_esql.h"
#include "svr_services.h"
#include "zul_dbtune.h"

using dbt::guarded;
using dbt::lit;
using dbt::ok;
using dbt::Stmt;

namespace {

// An index has at most this many columns.
constexpr int kMaxIndexColumns = 16;
// SYSCAT.INDEXES.COLNAMES as read: 16 names of up to 128 characters, marks.
constexpr size_t kColNamesCap = 16 * 129 + 1;

const char* index_storage_of(const DBTUNE_PARAMS& p, int32_t table_kind) {
  switch (table_kind) {
    case SE_TABLE_KIND_ADDS: return p.A_INDEX_USER;
    case SE_TABLE_KIND_DELETES: return p.D_INDEX_STATE_ROWID;
    default: return p.B_INDEX_USER;
  }
}

// The storage parameter of the keyword for the table kind ("" without a
// keyword). -87 when the keyword has no rows of its own.
int32_t index_storage(DB_INSTANCE* instance, const char* keyword, int32_t table_kind,
                      std::string* out) {
  out->clear();
  if (keyword == nullptr || keyword[0] == '\0') return 0;
  std::unique_ptr<DBTUNE_PARAMS> p(new DBTUNE_PARAMS());
  int32_t status = db_dbtune_get_keyword_params(instance, p.get(), keyword);
  if (status != 0) return status;
  if (p->count < DBTUNE_KEYWORD_OWN_ROWS) return SE_NO_KEYWORD_ROWS;
  *out = index_storage_of(*p, table_kind);
  return 0;
}

// Prepares and executes sql, commits in any case after execution. Answers 0
// or the diagnostic's status mapped by map.
template <typename Map>
int32_t run_index_ddl(DB_INSTANCE* instance, const std::string& sql, const char* table, Map map) {
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  bool executed = false;
  if (rc == 0) {
    rc = SQLExecute(st.h);
    executed = true;
  }
  if (ok(rc)) {
    st.drop();
    DB_trans_def_commit(instance);
    return 0;
  }
  DB_DIAG_RECORD d = st.h != SQL_NULL_HSTMT ? db_get_diag_record(instance, &st.h, rc)
                                            : db_get_diag_record(instance, nullptr, rc);
  st.drop();
  if (executed) DB_trans_def_commit(instance);
  int32_t mapped = map(d);
  if (mapped != 0) return mapped;
  fprintf(stderr, "DB_table_create_index() Execute Error (%d)\n", (int)rc);
  db_report_dbms_error(instance, d);
  db_append_error_detail(instance, table);
  return SE_DB_IO_ERROR;
}

void drop_indexes(DB_INSTANCE* instance, const std::vector<std::string>& names) {
  for (const std::string& n : names) {
    std::string sql = " DROP INDEX " + n;
    db_odbc_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_DDL_COMMIT);
  }
}

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

// Checks each name of "A" or "A,B" (several columns travel as one text
// when an index is copied).
int32_t check_column_list(DB_INSTANCE* instance, const char* columns) {
  if (columns == nullptr) return SE_INVALID_POINTER;
  std::string all = columns;
  for (size_t p = 0, q; p <= all.size(); p = q + 1) {
    q = all.find(',', p);
    if (q == std::string::npos) q = all.size();
    std::string one = all.substr(p, q - p);
    int32_t status = dbt::check_name(instance, one.c_str());
    if (status != 0) return status;
  }
  return 0;
}

void copy_cut(char* to, size_t cap, const char* from) {
  size_t len = strnlen(from, cap - 1);
  memcpy(to, from, len);
  to[len] = '\0';
}

}  // namespace

// ---- 1. indexes -----------------------------------------------------------------------------

int32_t DB_table_create_index(DB_INSTANCE* instance, const char* table, const char* column,
                              int32_t unique, int32_t ascending, const char* index,
                              const char* keyword, int32_t table_kind) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, table);
    if (status == 0) status = dbt::check_name(instance, index);
    if (status == 0) status = check_column_list(instance, column);
    if (status != 0) return status;
    std::string sql = std::string("CREATE ") + (unique == 1 ? "UNIQUE" : "") + " INDEX " + index +
                      " on " + table + " (" + column + " " + (ascending == 1 ? "ASC" : "DESC") +
                      ") ";
    std::string storage;
    status = index_storage(instance, keyword, table_kind, &storage);
    if (status != 0) return status;
    sql += storage;
    return run_index_ddl(instance, sql, table, [](const DB_DIAG_RECORD& d) -> int32_t {
      if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
      if (dbt::state_is(d, "42S22")) return SE_ATTR_NOEXIST;
      if (dbt::state_is(d, "42S11")) return SE_INDEX_EXISTS;
      return 0;
    });
  });
}

int32_t DB_table_create_indexes(DB_INSTANCE* instance, const char* table, int32_t count,
                                const INDEX_DEF* indexes, const char* keyword, int32_t table_kind) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    if (count < 0 || (count > 0 && indexes == nullptr)) return SE_INVALID_PARAM;
    std::string storage;
    status = index_storage(instance, keyword, table_kind, &storage);
    if (status != 0) return status;
    // every name is checked before the first index is made
    for (int32_t i = 0; i < count; ++i) {
      const INDEX_DEF& x = indexes[i];
      if (x.column_count < 1 || x.column_count > kMaxIndexColumns || x.columns == nullptr)
        return SE_INVALID_PARAM;
      std::string name = dbt::field(x.name);
      status = dbt::check_name(instance, name.c_str());
      for (int16_t c = 0; status == 0 && c < x.column_count; ++c)
        status = dbt::check_name(instance, x.columns[c]);
      if (status != 0) return status;
    }
    std::vector<std::string> made;
    for (int32_t i = 0; i < count; ++i) {
      const INDEX_DEF& x = indexes[i];
      std::string name = dbt::field(x.name);
      std::string sql = std::string("CREATE ") + (x.unique == 1 ? "UNIQUE" : "") + " INDEX " +
                        name + " on " + table + " ( ";
      for (int16_t c = 0; c < x.column_count; ++c) {
        bool asc = x.ascending == nullptr || x.ascending[c] == 1;
        sql += std::string(c == 0 ? "" : ",") + x.columns[c] + " " + (asc ? "ASC" : "DESC");
        if (c == 0) sql += " ";
      }
      sql += ")" + storage;
      status = run_index_ddl(instance, sql, table, [](const DB_DIAG_RECORD& d) -> int32_t {
        if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
        if (dbt::state_is(d, "42S22")) return SE_ATTR_NOEXIST;
        if (dbt::state_is(d, "42S01") || dbt::state_is(d, "42S11")) return SE_INDEX_EXISTS;
        return 0;
      });
      if (status != 0) {
        drop_indexes(instance, made);
        return status;
      }
      made.push_back(name);
    }
    return 0;
  });
}

int32_t DB_table_drop_index(DB_INSTANCE* instance, void* table, const char* index) {
  (void)table;  // DB2 index names stand alone
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, index);
    if (status != 0) return status;
    std::string sql = "DROP INDEX " + dbt::upcase(instance, index, strlen(index) + 1);
    status = db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_DDL_COMMIT);
    DB_trans_def_commit(instance);
    return status == SE_DB_NO_DATA ? SE_NO_ROW : status;
  });
}

void DB_table_free_index_defs(INDEX_DEF* indexes, int32_t count) {
  if (indexes == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (indexes[i].columns != nullptr)
      for (int16_t c = 0; c < indexes[i].column_count; ++c) free(indexes[i].columns[c]);
    free(indexes[i].columns);
    free(indexes[i].ascending);
  }
  free(indexes);
}

namespace {

// Splits "+A-B" into names and directions. false for a text that names more
// than kMaxIndexColumns columns or none.
bool split_colnames(const char* text, std::vector<std::string>* names, std::vector<int32_t>* asc) {
  const char* p = text;
  while (*p != '\0') {
    if (*p != '+' && *p != '-') return false;
    int32_t up = *p == '+' ? 1 : 0;
    const char* start = ++p;
    while (*p != '\0' && *p != '+' && *p != '-') ++p;
    if ((int)names->size() == kMaxIndexColumns) return false;
    names->emplace_back(start, (size_t)(p - start));
    asc->push_back(up);
  }
  return !names->empty();
}

}  // namespace

int32_t DB_table_describe_indexes(DB_INSTANCE* instance, const char* table, int16_t* count,
                                  INDEX_DEF** indexes) {
  if (count == nullptr || indexes == nullptr) return SE_INVALID_POINTER;
  *count = 0;
  *indexes = nullptr;
  std::vector<INDEX_DEF> defs;
  auto release = [&] { DB_table_free_index_defs(defs.data(), (int32_t)defs.size()); defs.clear(); };
  int32_t status = guarded([&]() -> int32_t {
    int32_t st_name = dbt::check_name(instance, table);
    if (st_name != 0) return st_name;
    TableName t = split(instance, table, instance->current_user);
    std::string sql =
        "SELECT INDNAME, COLNAMES, UNIQUERULE, COLCOUNT FROM                     SYSCAT.INDEXES "
        "WHERE TABSCHEMA = '" + lit(t.owner) + "' AND TABNAME = '" + lit(t.table) + "'";
    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc == 0) rc = SQLExecute(st.h);
    char name[129] = {0}, rule[2] = {0};
    std::vector<char> colnames(kColNamesCap);
    SQLSMALLINT colcount = 0;
    SQLLEN ind[4] = {0};
    if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, name, sizeof name, &ind[0]);
    if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_CHAR, colnames.data(), (SQLLEN)colnames.size(), &ind[1]);
    if (ok(rc)) rc = SQLBindCol(st.h, 3, SQL_C_CHAR, rule, sizeof rule, &ind[2]);
    if (ok(rc)) rc = SQLBindCol(st.h, 4, SQL_C_SHORT, &colcount, 0, &ind[3]);
    while (ok(rc)) {
      rc = SQLFetch(st.h);
      if (!ok(rc)) break;
      std::vector<std::string> cols;
      std::vector<int32_t> asc;
      if (ind[1] == SQL_NULL_DATA || !split_colnames(colnames.data(), &cols, &asc)) continue;
      INDEX_DEF x;
      memset(&x, 0, sizeof x);
      copy_cut(x.name, sizeof x.name, name);
      x.unique = (rule[0] == 'P' || rule[0] == 'U') ? 1 : 0;
      x.column_count = (int16_t)cols.size();
      x.columns = (char**)calloc(cols.size(), sizeof(char*));
      x.ascending = (int32_t*)calloc(cols.size(), sizeof(int32_t));
      defs.push_back(x);  // owned by defs from here, released on failure
      if (x.columns == nullptr || x.ascending == nullptr) return SE_OUT_OF_DBMS_MEM;
      for (size_t c = 0; c < cols.size(); ++c) {
        x.columns[c] = (char*)calloc(SE_INDEX_COLUMN_SLOT, 1);
        if (x.columns[c] == nullptr) return SE_OUT_OF_DBMS_MEM;
        copy_cut(x.columns[c], SE_INDEX_COLUMN_SLOT, cols[c].c_str());
        x.ascending[c] = asc[c];
      }
      if (defs.size() == 32767) break;  // the count is 16-bit
    }
    if (ok(rc) || rc == SQL_NO_DATA) return 0;
    SES_print_debug(stderr, "DB_table_describe_indexes Execute/Fetch error (%d).\n", (int)rc);
    dbt::report(instance, &st.h, rc);
    return SE_DB_IO_ERROR;
  });
  if (status != 0) {
    release();
    return status;
  }
  if (defs.empty()) return 0;
  INDEX_DEF* out = (INDEX_DEF*)malloc(defs.size() * sizeof(INDEX_DEF));
  if (out == nullptr) {
    release();
    return SE_OUT_OF_DBMS_MEM;
  }
  memcpy(out, defs.data(), defs.size() * sizeof(INDEX_DEF));
  *indexes = out;
  *count = (int16_t)defs.size();
  return 0;
}

int32_t DB_table_get_name_from_index_name(DB_INSTANCE* instance, const char* index,
                                          char* table_out) {
  return guarded([&]() -> int32_t {
    if (table_out == nullptr) return SE_INVALID_POINTER;
    table_out[0] = '\0';
    int32_t status = dbt::check_name(instance, index);
    if (status != 0) return status;
    std::string name = dbt::upcase(instance, index, SE_NAME_TABLE_LEN);
    std::string sql = "SELECT TABNAME FROM SYSCAT.INDEXES WHERE INDNAME = '" + lit(name.c_str()) + "'";
    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc == 0) rc = SQLExecute(st.h);
    SQLLEN ind = 0;
    if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, table_out, SE_NAME_TABLE_LEN, &ind);
    if (ok(rc)) rc = SQLFetch(st.h);
    if (rc == SQL_NO_DATA) {
      table_out[0] = '\0';
      return SE_INDEX_NOEXIST;
    }
    if (!ok(rc)) {
      table_out[0] = '\0';
      dbt::report(instance, &st.h, rc);
      return SE_DB_IO_ERROR;
    }
    return 0;
  });
}

// ---- 2. views ---------------------------------------------------------------------------------

namespace {

struct ViewWork {
  DB_INSTANCE* instance;
  int32_t n_view_columns;
  char** view_columns;
  LAYER* layer = nullptr;       // borrowed from the layer reader
  std::string spatial_column;
  int32_t rastercolumn_id = 0;
  std::string raster_column;
};

// A FROM entry: owner, table and what follows the name (an alias).
struct FromEntry {
  std::string owner, table, alias;
  std::string entry;   // the text as given
};

FromEntry parse_from(DB_INSTANCE* instance, const char* text) {
  FromEntry f;
  f.entry = text;
  std::string name = text;
  size_t blank = name.find(' ');
  if (blank != std::string::npos) {
    size_t a = name.find_first_not_of(' ', blank);
    if (a != std::string::npos) f.alias = name.substr(a);
    name.resize(blank);
  }
  TableName t = split(instance, name.c_str(), instance->current_user);
  f.owner = t.owner;
  f.table = t.table;
  return f;
}

// Decides whether column of owner.table is a layer's spatial column or the
// table's raster column, and notes it in w.
int32_t match_column(ViewWork* w, const std::string& owner, const std::string& table,
                     const char* column, int32_t index) {
  std::string qualified = owner + "." + table;
  LAYER* layer = nullptr;
  int32_t status = DB_layer_get_info_by_table_name(w->instance, nullptr, qualified.c_str(), column,
                                                   owner.c_str(), &layer);
  if (status == 0) {
    if (w->layer != nullptr) return SE_MULTIPLE_LAYERS;
    w->layer = layer;
    w->spatial_column = (w->n_view_columns > 0 && index >= 0 && index < w->n_view_columns)
                            ? w->view_columns[index]
                            : column;
    return 0;
  }
  if (status != SE_LAYER_NOEXIST) return status;
  dbt::RasterColumnRef ras;
  status = dbt::raster_column_of(w->instance, owner.c_str(), table.c_str(), &ras);
  if (status == SE_RASTERCOLUMN_NOEXIST) return 0;
  if (status != 0) return status;
  if (strcasecmp(ras.name, column) != 0) return 0;
  if (w->rastercolumn_id != 0) return SE_MULTIPLE_RASTERCOLUMNS;
  w->rastercolumn_id = ras.id;
  w->raster_column = ras.name;
  return 0;
}

// The column names of owner.table, from the description of SELECT *.
int32_t star_columns(DB_INSTANCE* instance, const FromEntry& f, std::vector<std::string>* out) {
  std::string sql = "SELECT * FROM " + f.owner + "." + f.table;
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc != 0) {
    DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
    return dbt::state_is(d, "42S02") ? SE_TABLE_NOEXIST : SE_DB_IO_ERROR;
  }
  SQLSMALLINT n = 0;
  rc = SQLNumResultCols(st.h, &n);
  for (SQLSMALLINT i = 1; ok(rc) && i <= n; ++i) {
    char name[129] = {0};
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    rc = SQLDescribeCol(st.h, (SQLUSMALLINT)i, (SQLCHAR*)name, sizeof name, &len, &type, &size,
                        &digits, &nullable);
    if (ok(rc)) out->push_back(name);
  }
  if (!ok(rc)) {
    dbt::report(instance, &st.h, rc);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

}  // namespace

int32_t DB_table_create_view(DB_INSTANCE* instance, const char* view, int32_t n_view_columns,
                             int32_t n_select_columns, char** view_columns, char** select_columns,
                             const SQL_CONSTRUCT* construct, int32_t* layer_id,
                             char* spatial_column, int32_t* rastercolumn_id, char* raster_column) {
  if (layer_id != nullptr) *layer_id = 0;
  if (spatial_column != nullptr) spatial_column[0] = '\0';
  if (rastercolumn_id != nullptr) *rastercolumn_id = 0;
  if (raster_column != nullptr) raster_column[0] = '\0';
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    int32_t status = dbt::check_name(instance, view);
    if (status != 0) return status;
    if (construct == nullptr || construct->num_tables < 1 || construct->tables == nullptr ||
        n_select_columns < 1 || select_columns == nullptr ||
        (n_view_columns > 0 && view_columns == nullptr) || n_view_columns < 0)
      return SE_INVALID_PARAM;
    for (int32_t i = 0; i < n_view_columns; ++i)
      if ((status = dbt::check_name(instance, view_columns[i])) != 0) return status;

    std::vector<FromEntry> from;
    for (int32_t i = 0; i < construct->num_tables; ++i) {
      if (construct->tables[i] == nullptr) return SE_INVALID_PARAM;
      from.push_back(parse_from(instance, construct->tables[i]));
    }

    // 1. the special columns
    ViewWork w{instance, n_view_columns, view_columns};
    bool star = false;
    for (int32_t i = 0; i < n_select_columns; ++i) {
      char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN],
          column[SE_NAME_COLUMN_LEN];
      db_parse_column_name(instance, select_columns[i], instance->current_user, db, owner, table,
                           column);
      db_upcase_identifier(instance, owner, sizeof owner);
      db_upcase_identifier(instance, table, sizeof table);
      if (strcmp(column, "*") == 0) star = true;
      for (const FromEntry& f : from) {
        if (table[0] != '\0' && f.table != table &&
            !(f.alias.size() > 0 && strcasecmp(f.alias.c_str(), table) == 0))
          continue;
        LAYER* before_layer = w.layer;
        int32_t before_ras = w.rastercolumn_id;
        if (strcmp(column, "*") == 0) {
          std::vector<std::string> cols;
          status = star_columns(instance, f, &cols);
          for (size_t c = 0; status == 0 && c < cols.size(); ++c)
            status = match_column(&w, f.owner, f.table, cols[c].c_str(), -1);
        } else {
          status = match_column(&w, f.owner, f.table, column, i);
        }
        if (status != 0) return status;
        if (table[0] != '\0' || w.layer != before_layer || w.rastercolumn_id != before_ras) break;
      }
    }

    // 2. the layer's registration
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    std::string rowid;
    bool rowid_selected = false;
    std::string layer_owner, layer_table;
    if (w.layer != nullptr) {
      LAYER* layer = nullptr;
      status = DB_layer_get_info(instance, nullptr, w.layer->id, &layer);
      if (status != 0) return status;
      layer_owner = dbt::field(layer->owner);
      layer_table = dbt::field(layer->table);
      std::string key = layer_owner + "." + layer_table;
      if (db_lookup_registration(instance, key.c_str(), &reg) == 0 &&
          (reg.flags & SE_REG_HAS_ROWID))
        rowid = dbt::field(reg.rowid_column);
      for (int32_t i = 0; !rowid.empty() && i < n_select_columns; ++i) {
        const char* dot = strrchr(select_columns[i], '.');
        const char* col = dot != nullptr ? dot + 1 : select_columns[i];
        if (strcasecmp(col, rowid.c_str()) == 0) rowid_selected = true;
      }
      if (layer_id != nullptr) *layer_id = layer->id;
    }
    bool add_rowid = w.layer != nullptr && !star && !rowid.empty() && !rowid_selected;

    // 3. the text
    std::string sql = std::string("CREATE VIEW ") + view;
    if (w.layer != nullptr && !star) {
      sql += " (";
      for (int32_t i = 0; i < n_select_columns; ++i) {
        const char* name = i < n_view_columns ? view_columns[i] : nullptr;
        if (name == nullptr) {
          const char* dot = strrchr(select_columns[i], '.');
          name = dot != nullptr ? dot + 1 : select_columns[i];
        }
        sql += std::string(" ") + name + ",";
      }
      if (add_rowid) sql += " " + rowid + ",";
      sql.back() = ')';
    } else if (w.layer == nullptr && n_view_columns > 0) {
      sql += " ( ";
      for (int32_t i = 0; i < n_view_columns; ++i) sql += std::string(" ") + view_columns[i] + ",";
      sql.back() = ')';
    }
    sql += " AS SELECT ";
    for (int32_t i = 0; i < n_select_columns; ++i) sql += std::string(" ") + select_columns[i] + ",";
    if (add_rowid) {
      std::string qualifier = layer_owner + "." + layer_table;
      for (const FromEntry& f : from)
        if (f.table == layer_table && !f.alias.empty()) qualifier = f.alias;
      sql += " " + qualifier + "." + rowid + ",";
    }
    sql.pop_back();
    sql += " FROM ";
    for (const FromEntry& f : from)
      sql += " " + f.owner + "." + f.table + (f.alias.empty() ? "" : " " + f.alias) + ",";
    sql.pop_back();
    const char* where = db_sql_strip_where(construct->where);
    if (where != nullptr) sql += std::string(" WHERE ") + where;

    // 4. run it
    Stmt st;
    int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
    if (rc != 0) {
      DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
      fprintf(stderr, "DB_table_create_view() Execute error (%d).\n", (int)rc);
      if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
      if (dbt::state_is(d, "42S22")) return SE_ATTR_NOEXIST;
      if (dbt::state_is(d, "42S01")) return SE_TABLE_EXISTS;
      return SE_DB_IO_ERROR;
    }
    rc = SQLExecute(st.h);
    if (!ok(rc)) {
      DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
      if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
      if (dbt::state_is(d, "42S22")) return SE_ATTR_NOEXIST;
      if (dbt::state_is(d, "42S01")) return SE_TABLE_EXISTS;
      SES_print_debug(stderr, "DB_table_create_view() Execute Error (%d)\n", (int)rc);
      db_append_error_detail(instance, view);
      return SE_DB_IO_ERROR;
    }
    st.drop();
    status = db_commit_ddlsql(instance);
    if (status != 0) return status;
    if (spatial_column != nullptr) copy_cut(spatial_column, SE_NAME_COLUMN_LEN, w.spatial_column.c_str());
    if (rastercolumn_id != nullptr) *rastercolumn_id = w.rastercolumn_id;
    if (raster_column != nullptr) copy_cut(raster_column, SE_NAME_COLUMN_LEN, w.raster_column.c_str());
    return 0;
  });
}

// ---- 3. copies --------------------------------------------------------------------------------

int32_t db_table_copy_grants(DB_INSTANCE* instance, const char* source, const char* target,
                             int32_t flag) {
  (void)flag;
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, source);
    if (status == 0) status = dbt::check_name(instance, target);
    if (status != 0) return status;
    std::string user = lit(instance->current_user);
    TableName t = split(instance, source, instance->current_user);
    std::string sql =
        "SELECT DISTINCT auth.grantee, auth.CONTROLAUTH || auth.ALTERAUTH || auth.DELETEAUTH || "
        "auth.INDEXAUTH || auth.INSERTAUTH || auth.SELECTAUTH || auth.REFAUTH || auth.UPDATEAUTH "
        "FROM syscat.tabauth auth WHERE auth.tabschema = '" + user + "' AND auth.tabname = '" +
        lit(t.table) + "'  AND auth.grantee != UPPER ('" + user + "') ORDER BY GRANTEE";
    // The grants are read whole before the first GRANT runs on the target.
    std::vector<std::pair<std::string, std::string>> rows;
    {
      Stmt st;
      int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
      if (rc == 0) rc = SQLExecute(st.h);
      char grantee[129] = {0}, auths[9] = {0};
      SQLLEN ind[2] = {0, 0};
      if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, grantee, sizeof grantee, &ind[0]);
      if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_CHAR, auths, sizeof auths, &ind[1]);
      while (ok(rc)) {
        rc = SQLFetch(st.h);
        if (!ok(rc)) break;
        if (ind[0] == SQL_NULL_DATA || ind[1] == SQL_NULL_DATA) continue;
        if (!rows.empty() && rows.back().first == grantee) continue;
        rows.emplace_back(grantee, auths);
      }
      if (rc != SQL_NO_DATA) {
        dbt::report(instance, &st.h, rc);
        return SE_DB_IO_ERROR;
      }
    }
    static const char* const kWords[8] = {"CONTROL", "ALTER",  "DELETE",     "INDEX",
                                           "INSERT",  "SELECT", "REFERENCES", "UPDATE"};
    for (const auto& row : rows) {
      std::string with_option = "GRANT ", without = "GRANT ";
      bool any_with = false, any_without = false;
      for (size_t i = 0; i < 8 && i < row.second.size(); ++i) {
        const char* word = kWords[i];
        char a = row.second[i];
        if (a == 'G') {
          with_option += std::string(" ") + word + ",";
          any_with = true;
        } else if (a == 'Y') {
          without += std::string(" ") + word + ",";
          any_without = true;
        }
      }
      bool pub = strcasecmp(row.first.c_str(), "PUBLIC") == 0;
      // a grantee read from the catalogue still goes into SQL text
      if (dbt::check_name(instance, row.first.c_str()) != 0) return SE_INVALID_IDENTIFIER;
      struct { bool any; std::string* text; const char* tail; } texts[] = {
          {any_with, &with_option, " WITH GRANT OPTION"}, {any_without, &without, ""}};
      for (auto& g : texts) {
        if (!g.any) continue;
        std::string& s = *g.text;
        std::vector<char> buf(s.begin(), s.end());
        buf.push_back('\0');
        SES_RemoveSpaces(buf.data());
        s = buf.data();
        if (!s.empty() && s.back() == ',') s.pop_back();
        std::string stmt = s + " ON " + target + " TO " + (pub ? "" : "USER ") + row.first + g.tail;
        status = db_execute_ddlsql(instance, stmt.c_str(), 1, DB_MODE_EXEC_COMMIT);
        if (status != 0) return status;
      }
    }
    return 0;
  });
}

int32_t db_table_copy_indexes(DB_INSTANCE* instance, const char* source, const char* target,
                              char** leave_out, int32_t n_leave_out, int32_t unique_check,
                              char** unique_allowed, int32_t n_unique_allowed, const char* keyword,
                              int32_t table_kind) {
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, source);
    if (status == 0) status = dbt::check_name(instance, target);
    if (status != 0) return status;
    TableName t = split(instance, source, instance->current_user);
    std::string sql =
        "SELECT idx.indname, idx.uniquerule, idx.indextype, idc.colname                 FROM "
        "syscat.indexes idx, syscat.indexcoluse idc                 WHERE idx.tabschema = '" +
        lit(instance->current_user) + "' AND idx.tabname = '" + lit(t.table) +
        "' AND                       idx.indschema = idc.indschema AND idx.indname = idc.indname "
        "                \t  ORDER BY idx.indname, idc.colseq";
    struct Index { std::string name, rule, columns; };
    std::vector<Index> found;
    {
      Stmt st;
      int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
      if (rc == 0) rc = SQLExecute(st.h);
      char name[161] = {0}, rule[2] = {0}, type[5] = {0}, col[129] = {0};
      SQLLEN ind[4] = {0};
      if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, name, sizeof name, &ind[0]);
      if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_CHAR, rule, sizeof rule, &ind[1]);
      if (ok(rc)) rc = SQLBindCol(st.h, 3, SQL_C_CHAR, type, sizeof type, &ind[2]);
      if (ok(rc)) rc = SQLBindCol(st.h, 4, SQL_C_CHAR, col, sizeof col, &ind[3]);
      while (ok(rc)) {
        rc = SQLFetch(st.h);
        if (!ok(rc)) break;
        if (found.empty() || found.back().name != name) found.push_back({name, rule, col});
        else found.back().columns += std::string(",") + col;
      }
      if (rc != SQL_NO_DATA) {
        dbt::report(instance, &st.h, rc);
        return SE_DB_IO_ERROR;
      }
    }
    auto listed = [](char** names, int32_t n, const std::string& name) {
      for (int32_t i = 0; names != nullptr && i < n; ++i)
        if (names[i] != nullptr && strcasecmp(names[i], name.c_str()) == 0) return true;
      return false;
    };
    // A unique index that may not be copied is found before any index is
    // made, so that a refused copy leaves the target as it was.
    for (const Index& x : found) {
      if (listed(leave_out, n_leave_out, x.name)) continue;
      if (unique_check == 0 && x.rule == "U" && !listed(unique_allowed, n_unique_allowed, x.name))
        return SE_UNIQUE_INDEX_NOT_COPIED;
    }
    for (const Index& x : found) {
      if (listed(leave_out, n_leave_out, x.name)) continue;
      char copy_name[SE_NAME_TABLE_LEN + 4];
      db_adds_index_name(x.name.c_str(), copy_name);
      status = DB_table_create_index(instance, target, x.columns.c_str(), 0, 1, copy_name, keyword,
                                     table_kind);
      if (status == SE_INDEX_EXISTS) {
        fprintf(stderr,
                "Unable to duplicate index %s for table %s onto table %s because index %s already "
                "exists.\n",
                x.name.c_str(), source, target, copy_name);
        continue;
      }
      if (status != 0) return status;
    }
    return 0;
  });
}

int32_t db_table_copy_checks(DB_INSTANCE* instance, const char* source, const char* target) {
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, source);
    if (status == 0) status = dbt::check_name(instance, target);
    if (status != 0) return status;
    TableName t = split(instance, source, instance->current_user);
    std::string sql = "SELECT ch.constname, ch.text FROM syscat.checks ch WHERE ch.tabschema = '" +
                      lit(instance->current_user) + "' AND ch.tabname = '" + lit(t.table) +
                      "' AND ch.type = 'C'";
    std::vector<std::string> checks;
    {
      Stmt st;
      int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
      if (rc == 0) rc = SQLExecute(st.h);
      char name[129] = {0};
      std::vector<char> text(65537);
      SQLLEN ind[2] = {0, 0};
      if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_CHAR, name, sizeof name, &ind[0]);
      if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_CHAR, text.data(), (SQLLEN)text.size(), &ind[1]);
      while (ok(rc)) {
        rc = SQLFetch(st.h);
        if (!ok(rc)) break;
        // a check cut at the buffer would change its meaning: refuse it
        if (rc == SQL_SUCCESS_WITH_INFO) {
          rc = SQL_ERROR;
          break;
        }
        if (ind[1] != SQL_NULL_DATA) checks.push_back(text.data());
      }
      if (rc != SQL_NO_DATA) {
        dbt::report(instance, &st.h, rc);
        return SE_DB_IO_ERROR;
      }
    }
    for (const std::string& c : checks) {
      std::string stmt = std::string("ALTER TABLE ") + target + " ADD CHECK (" + c + ") ";
      Stmt st;
      int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, stmt.c_str());
      if (rc == 0) rc = SQLExecute(st.h);
      if (!ok(rc)) {
        dbt::report(instance, &st.h, rc);
        return SE_DB_IO_ERROR;
      }
      st.drop();
      if ((status = db_commit_ddlsql(instance)) != 0) return status;
    }
    return 0;
  });
}

int32_t db_table_copy_hook(DB_INSTANCE* instance, const char* source, const char* target) {
  (void)instance;
  (void)source;
  (void)target;
  return 0;
}

// ---- 4. DBMS statistics ----------------------------------------------------------------------------

void db_sql_trim_right(char* text) {
  if (text == nullptr) return;
  size_t len = strlen(text);
  while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\n' || text[len - 1] == '\t')) --len;
  text[len] = '\0';
}

int32_t db_table_analyze_schema_object(DB_INSTANCE* instance, int32_t flag, const char* owner,
                                       const char* table) {
  (void)flag;
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    TableName t = split(instance, table, owner != nullptr && owner[0] != '\0' ? owner
                                                                            : instance->current_user);
    char name[SE_DB_QUALIFIED_LEN];
    db_make_three_part_name(nullptr, t.owner, t.table, name);
    struct sqlca ca;
    memset(&ca, 0, sizeof ca);
    sqlustat_api(name, 0, nullptr, 'A', 'C', &ca);
    if (ca.sqlcode == -204 || ca.sqlcode == -2306) return SE_TABLE_NOEXIST;  // no such table
    if (ca.sqlcode < 0) {
      SES_print_debug(stderr,
                      "db_table_analyze_schema_object Execute error (object = %s, sqlcode = %d)\n ",
                      name, (int)ca.sqlcode);
      instance->xerr.code = SE_DB_IO_ERROR;
      instance->xerr.native = ca.sqlcode;
      snprintf(instance->xerr.msg, sizeof instance->xerr.msg, "RUNSTATS %s failed (%d)", name,
               (int)ca.sqlcode);
      return SE_DB_IO_ERROR;
    }
    return 0;
  });
}

int32_t DB_table_update_dbms_stats(DB_INSTANCE* instance, const char* table, int32_t mask) {
  return guarded([&]() -> int32_t {
    int32_t status = dbt::check_name(instance, table);
    if (status != 0) return status;
    TableName t = split(instance, table, instance->current_user);
    if (mask & 0x20) {
      status = db_table_analyze_schema_object(instance, 0, t.owner, t.table);
      if (status != 0) return status;
    }
    if (mask & 0x40) {
      dbt::RasterColumnRef ras;
      status = dbt::raster_column_of(instance, t.owner, t.table, &ras);
      if (status == 0) {
        char bnd[SE_DB_QUALIFIED_LEN], blk[SE_DB_QUALIFIED_LEN];
        db_make_bnd_table_name(instance, nullptr, ras.id, bnd);
        db_make_blk_table_name(instance, nullptr, ras.id, blk);
        status = db_table_analyze_schema_object(instance, 0, t.owner, bnd);
        if (status == 0) status = db_table_analyze_schema_object(instance, 0, t.owner, blk);
        if (status != 0) return status;
      } else if (status != SE_RASTERCOLUMN_NOEXIST) {
        return status;
      }
    }
    std::string key = std::string(t.owner) + "." + t.table;
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    status = db_lookup_registration(instance, key.c_str(), &reg);
    if (status == SE_TABLE_NOREGISTERED) memset(&reg, 0, sizeof reg);
    else if (status != 0) return status;
    if (reg.flags & SE_REG_MULTIVERSION) {
      struct { int32_t bit; bool adds; } sides[] = {{2, true}, {4, false}};
      for (const auto& side : sides) {
        if ((mask & side.bit) == 0) continue;
        char name[SE_DB_QUALIFIED_LEN];
        if (side.adds) db_make_adds_table_name(instance, reg.id, "", t.owner, name);
        else db_make_deletes_table_name(instance, reg.id, "", t.owner, name);
        status = db_table_analyze_schema_object(instance, 0, t.owner, name);
        if (status == SE_TABLE_NOEXIST && mask == 118) status = 0;
        if (status != 0) return status;
      }
    } else if (mask != 118 && (mask & 6) != 0) {
      return SE_NOT_MULTIVERSIONED;
    }
    return 0;
  });
}
