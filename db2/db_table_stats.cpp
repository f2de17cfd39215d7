// db_table_stats.cpp -- statistics of one attribute column over the rows a
// query construct selects (optionally only the rows a log file lists):
// minimum, average, maximum, standard deviation and row count, and the list
// of distinct values with the number of rows holding each.
//
// Relies on the statement layer (dbsql_io.h), the layer reader (a layer's
// spatial column has no statistics) and the log-file tables. The distinct
// values are read in rowsets ordered by the column, so equal values arrive
// together. The multiversion sub-selects of versioned tables belong to the
// versioning module, which is not built yet: a request that carries a
// multiversion description answers SE_NOT_BUILT_YET.
//
// Divisions:
//   1. the distinct-value list
//   2. the query
//   3. distinct values
//   4. aggregates and the entry points
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "db_table_private.h"
#include "zul_db_layer.h"

using dbt::guarded;
using dbt::ok;
using dbt::Stmt;

namespace {

// Entries (and texts) are added in blocks of this many.
constexpr int32_t kDistinctBlock = 50;
// Bytes of one rowset of strings.
constexpr int32_t kStringRowsetBytes = 20000;
// The longest string column whose distinct values are listed: beyond it
// lie the LOBs, whose values cannot be compared in a buffer of their size.
constexpr SQLULEN kMaxDistinctString = 32672;

// ---- 1. the distinct-value list ---------------------------------------------------------

// Room for kDistinctBlock more entries; -12.
int32_t grow_distinct_list(DISTINCT_VALUES* v, int32_t text_len) {
  int32_t cap = v->cap + kDistinctBlock;
  DISTINCT_ENTRY* e = (DISTINCT_ENTRY*)realloc(v->entries, (size_t)cap * sizeof(DISTINCT_ENTRY));
  if (e == nullptr) return SE_OUT_OF_DBMS_MEM;
  v->entries = e;
  memset(e + v->cap, 0, (size_t)kDistinctBlock * sizeof(DISTINCT_ENTRY));
  if (v->kind == SE_DISTINCT_STRING) {
    char** blocks = (char**)realloc(v->text_blocks, (size_t)(v->num_blocks + 1) * sizeof(char*));
    if (blocks == nullptr) return SE_OUT_OF_DBMS_MEM;
    v->text_blocks = blocks;
    char* block = (char*)calloc((size_t)kDistinctBlock, (size_t)text_len + 1);
    if (block == nullptr) return SE_OUT_OF_DBMS_MEM;
    blocks[v->num_blocks++] = block;
    for (int32_t i = 0; i < kDistinctBlock; ++i)
      e[v->cap + i].string_value = block + (size_t)i * ((size_t)text_len + 1);
  }
  v->cap = cap;
  return 0;
}

// The fetch buffer of the one result column.
struct DistinctFetch {
  int16_t c_type = 0;
  int32_t kind = 0;
  SQLULEN rows = 0;          // rows per fetch
  SQLLEN elem = 0;           // bytes per row
  SQLULEN col_len = 0;       // the column's size
  std::vector<char> buf;
  std::vector<SQLLEN> ind;
};

bool same_value(const DistinctFetch& f, const DISTINCT_ENTRY& last, const char* value,
                const std::vector<char>& last_raw) {
  switch (f.kind) {
    case SE_DISTINCT_INTEGER: return last.int_value == *(const SQLINTEGER*)value;
    case SE_DISTINCT_DOUBLE: {
      double d = *(const double*)value;
      return !(d < last.double_value) && !(d > last.double_value);
    }
    case SE_DISTINCT_STRING: return strncmp(last.string_value, value, f.col_len) == 0;
    default: return memcmp(last_raw.data(), value, (size_t)f.elem) == 0;
  }
}

// Describes the one result column and binds its rowset buffer.
int32_t bind_distinct_fetch(DB_INSTANCE* instance, SQLHSTMT* stmt, DistinctFetch* f) {
  char name[129];
  SQLSMALLINT name_len = 0, sql_type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  SQLRETURN rc = SQLDescribeCol(*stmt, 1, (SQLCHAR*)name, sizeof name, &name_len, &sql_type, &size,
                                &digits, &nullable);
  if (!ok(rc)) {
    dbt::report(instance, stmt, rc);
    return SE_DB_IO_ERROR;
  }
  db_map_c_type(sql_type, &f->c_type);
  f->col_len = size;
  switch (f->c_type) {
    case SQL_C_CHAR:
      if (size < 1 || size > kMaxDistinctString) return SE_INVALID_DISTINCT_TYPE;
      f->kind = SE_DISTINCT_STRING;
      f->elem = (SQLLEN)size + 1;
      f->rows = (SQLULEN)(kStringRowsetBytes / (size + 1));
      if (f->rows < 1) f->rows = 1;
      break;
    case SQL_C_DATE: case SQL_C_TIME:
      f->kind = SE_DISTINCT_DATE;
      f->elem = 6;
      f->rows = 3333;
      break;
    case SQL_C_TIMESTAMP:
      f->kind = SE_DISTINCT_DATE;
      f->elem = sizeof(SQL_TIMESTAMP_STRUCT);
      f->rows = 1250;
      break;
    case SQL_C_LONG: case SQL_C_SHORT: case SQL_C_FLOAT: case SQL_C_DOUBLE:
      if (digits > 0 || size > 10 || sql_type == SQL_REAL) {
        f->kind = SE_DISTINCT_DOUBLE;
        f->c_type = SQL_C_DOUBLE;
        f->elem = sizeof(double);
        f->rows = 2500;
      } else {
        f->kind = SE_DISTINCT_INTEGER;
        f->c_type = SQL_C_LONG;
        f->elem = sizeof(SQLINTEGER);
        f->rows = 5000;
      }
      break;
    default:
      return SE_INVALID_DISTINCT_TYPE;
  }
  f->buf.assign(f->rows * (size_t)f->elem, '\0');
  f->ind.assign(f->rows, 0);
  rc = SQLSetStmtAttr(*stmt, SQL_ROWSET_SIZE, (SQLPOINTER)f->rows, 0);
  if (ok(rc)) rc = SQLBindCol(*stmt, 1, f->c_type, f->buf.data(), f->elem, f->ind.data());
  if (!ok(rc)) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, stmt, rc);
    if (dbt::state_is(d, "37000")) db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

// ---- 2. the query ------------------------------------------------------------------------

struct StatsRequest {
  DB_INSTANCE* instance;
  const char* column;
  const SQL_CONSTRUCT* construct;
  const LOGFILE* logfile;
};

// Completes text (the select list) with the FROM list and the conditions,
// and prepares it on *stmt.
int32_t build_stats_query(const StatsRequest& r, std::string text, bool order, SQLHSTMT* stmt) {
  DB_INSTANCE* instance = r.instance;
  const SQL_CONSTRUCT* sc = r.construct;
  for (int32_t i = 0; i < sc->num_tables; ++i) {
    LAYER* layer = nullptr;
    int32_t status = DB_layer_get_info_by_table_name(instance, nullptr, sc->tables[i], nullptr,
                                                     instance->current_user, &layer);
    if (status == SE_LAYER_NOEXIST) continue;
    if (status != 0) return status;
    std::string db = dbt::field(layer->database), owner = dbt::field(layer->owner),
                table = dbt::field(layer->table), spatial = dbt::field(layer->spatial_column);
    if (r.column[0] != '\0' &&
        db_column_name_matches(instance, r.column, instance->current_user, db.c_str(),
                               owner.c_str(), table.c_str(), spatial.c_str()))
      return SE_INVALID_STATS_COLUMN;
  }
  text += " from ";
  if (r.logfile != nullptr) {
    char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
    std::string name = dbt::field(r.logfile->name);
    db_parse_table_name(instance, name.c_str(), instance->current_user, db, owner, table);
    char buf[SE_NAME_OWNER_LEN * 2 + 160];
    snprintf(buf, sizeof buf,
             " (SELECT DISTINCT zul_row_id FROM %s.ZUL_LOGFILE_DATA WHERE "
             "%s.ZUL_LOGFILE_DATA.logfile_data_id = %d) LF_, ",
             owner, owner, (int)r.logfile->data_id);
    text += buf;
  }
  for (int32_t i = 0; i < sc->num_tables; ++i) text += std::string(" ") + sc->tables[i] + ",";
  text.pop_back();
  const char* where = db_sql_strip_where(sc->where);
  // The clause is kept in parentheses: an OR in it must not swallow the
  // log-file join that follows.
  if (where != nullptr) text += std::string(" where (") + where + ")";
  if (r.logfile != nullptr) {
    const REGISTRATION& reg = r.logfile->registration;
    text += where != nullptr ? " and " : " where ";
    text += " LF_.zul_row_id = " + dbt::field(reg.owner) + "." + dbt::field(reg.table) + "." +
            dbt::field(reg.rowid_column);
  }
  if (order) text += std::string(" order by ") + r.column;

  int32_t status = db_open_cursor(instance, nullptr, stmt);
  if (status != 0) return status;
  int32_t rc = db_prepare_sql_text(*stmt, text.c_str());
  if (rc == 0) return 0;
  DB_DIAG_RECORD d = dbt::report(instance, stmt, rc);
  db_free_stmt(stmt);
  if (dbt::state_is(d, "37000") || dbt::state_is(d, "42601")) return SE_SQL_SYNTAX;
  if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
  if (dbt::state_is(d, "42S22")) return SE_ATTR_NOEXIST;
  for (const char* s : {"HY003", "HY000", "42884", "42907", "22005"})
    if (dbt::state_is(d, s)) return SE_INVALID_STATS_COLUMN;
  return SE_DB_IO_ERROR;
}

// ---- 3. distinct values --------------------------------------------------------------------

int32_t calculate_distinct_values(const StatsRequest& r, int32_t max_distinct,
                                  int32_t* column_len, DISTINCT_VALUES* v) {
  DB_INSTANCE* instance = r.instance;
  if (r.column[0] == '\0') return SE_ATTR_NOEXIST;
  Stmt st;
  int32_t status = build_stats_query(r, std::string("select ") + r.column + " ", true, &st.h);
  if (status == SE_INVALID_STATS_COLUMN) return SE_INVALID_DISTINCT_TYPE;
  if (status != 0) return status;
  SQLRETURN rc = SQLExecute(st.h);
  DistinctFetch f;
  if (ok(rc)) {
    status = bind_distinct_fetch(instance, &st.h, &f);
    if (status != 0) return status;
  }
  v->kind = f.kind;
  if (column_len != nullptr) *column_len = (int32_t)f.col_len;
  std::vector<char> last_raw((size_t)(f.elem > 0 ? f.elem : 1));
  while (ok(rc)) {
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> row_status(f.rows);
    rc = SQLExtendedFetch(st.h, SQL_FETCH_NEXT, 0, &fetched, row_status.data());
    if (!ok(rc)) break;
    for (SQLULEN i = 0; i < fetched; ++i) {
      if (f.ind[i] == SQL_NULL_DATA) continue;
      const char* value = f.buf.data() + i * (size_t)f.elem;
      if (v->num_entries > 0 && same_value(f, v->entries[v->num_entries - 1], value, last_raw)) {
        v->entries[v->num_entries - 1].count++;
        continue;
      }
      if (max_distinct > 0 && v->num_entries >= max_distinct) return SE_TOO_MANY_DISTINCTS;
      if (v->num_entries == v->cap && (status = grow_distinct_list(v, (int32_t)f.col_len)) != 0)
        return status;
      DISTINCT_ENTRY& e = v->entries[v->num_entries++];
      e.count = 1;
      switch (f.kind) {
        case SE_DISTINCT_INTEGER: e.int_value = *(const SQLINTEGER*)value; break;
        case SE_DISTINCT_DOUBLE: e.double_value = *(const double*)value; break;
        case SE_DISTINCT_STRING:
          memcpy(e.string_value, value, f.col_len);
          e.string_value[f.col_len] = '\0';
          break;
        default:
          memcpy(last_raw.data(), value, (size_t)f.elem);
          db_sql_datetime_to_tm(value, &e.date_value, f.c_type);
          break;
      }
    }
  }
  if (rc == SQL_NO_DATA) return 0;
  DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
  for (const char* s : {"42S22", "HY000", "22005"})
    if (dbt::state_is(d, s)) return SE_INVALID_DISTINCT_TYPE;
  if (dbt::state_is(d, "37000")) return SE_SQL_SYNTAX;
  return SE_DB_IO_ERROR;
}

// ---- 4. aggregates and the entry points -------------------------------------------------------

int32_t calculate_stats(DB_INSTANCE* instance, const char* column, int32_t flags,
                        const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                        const LOGFILE* logfile, int32_t max_distinct, int32_t* column_len,
                        COLUMN_STATS* stats) {
  DB_instance_clear_xerr(instance);
  if (stats == nullptr || construct == nullptr) return SE_INVALID_POINTER;
  memset(stats, 0, sizeof *stats);
  if (column == nullptr) column = "";
  if (construct->num_tables < 1 || construct->tables == nullptr) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < construct->num_tables; ++i)
    if (construct->tables[i] == nullptr) return SE_INVALID_PARAM;
  if (column[0] != '\0' && DB_check_identifier(instance, column) != 0) return SE_INVALID_IDENTIFIER;
  if (mv != nullptr) {
    fprintf(stderr, "multiversion column statistics: called, not built yet\n");
    return SE_NOT_BUILT_YET;
  }
  StatsRequest r{instance, column, construct, logfile};

  // the aggregates, in this order
  struct Agg { int32_t flag; const char* fn; double* out; };
  const Agg aggs[] = {{SE_STATS_MIN, "min", &stats->min}, {SE_STATS_AVG, "avg", &stats->avg},
                      {SE_STATS_MAX, "max", &stats->max}, {SE_STATS_STDDEV, "stddev", &stats->stddev}};
  std::string text = "select ";
  std::vector<double*> outs;
  for (const Agg& a : aggs) {
    if ((flags & a.flag) == 0) continue;
    // an aggregate of no column is no query
    if (column[0] == '\0') return SE_ATTR_NOEXIST;
    text += std::string(" ") + a.fn + " (" + column + "),";
    outs.push_back(a.out);
  }
  bool count = (flags & SE_STATS_COUNT) != 0;
  if (count) text += "count(*),";
  if (!outs.empty() || count) {
    text.pop_back();
    Stmt st;
    int32_t status = build_stats_query(r, text, false, &st.h);
    if (status != 0) return status;
    SQLRETURN rc = SQLExecute(st.h);
    std::vector<double> values(outs.size(), 0);
    std::vector<SQLLEN> ind(outs.size() + 1, 0);
    SQLINTEGER n = 0;
    for (size_t i = 0; i < outs.size() && ok(rc); ++i)
      rc = SQLBindCol(st.h, (SQLUSMALLINT)(i + 1), SQL_C_DOUBLE, &values[i], 0, &ind[i]);
    if (count && ok(rc))
      rc = SQLBindCol(st.h, (SQLUSMALLINT)(outs.size() + 1), SQL_C_LONG, &n, 0, &ind[outs.size()]);
    if (ok(rc)) rc = SQLFetch(st.h);
    if (!ok(rc) && rc != SQL_NO_DATA) {
      DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
      for (const char* s : {"42S22", "HY000", "22005", "07006"})
        if (dbt::state_is(d, s)) return SE_INVALID_STATS_COLUMN;
      if (dbt::state_is(d, "37000")) return SE_SQL_SYNTAX;
      if (dbt::state_is(d, "42S02")) return SE_TABLE_NOEXIST;
      return SE_DB_IO_ERROR;
    }
    if (ok(rc)) {
      for (size_t i = 0; i < outs.size(); ++i)
        if (ind[i] != SQL_NULL_DATA) *outs[i] = values[i];
      if (count && ind[outs.size()] != SQL_NULL_DATA) stats->count = n;
    }
  }
  if ((flags & SE_STATS_DISTINCT) == 0) return 0;

  DISTINCT_VALUES* v = (DISTINCT_VALUES*)calloc(1, sizeof(DISTINCT_VALUES));
  if (v == nullptr) return SE_OUT_OF_DBMS_MEM;
  stats->distinct = v;
  int32_t status = calculate_distinct_values(r, max_distinct, column_len, v);
  if (status != 0 && status != SE_TOO_MANY_DISTINCTS) {
    DB_table_free_distinct_values(v);
    stats->distinct = nullptr;
  }
  return status;
}

}  // namespace

void DB_table_free_distinct_values(DISTINCT_VALUES* values) {
  if (values == nullptr) return;
  for (int32_t i = 0; i < values->num_blocks; ++i) free(values->text_blocks[i]);
  free(values->text_blocks);
  free(values->entries);
  free(values);
}

int32_t DB_table_calculate_stats(DB_INSTANCE* instance, const char* column, int32_t flags,
                                 const SQL_CONSTRUCT* construct, int32_t max_distinct,
                                 int32_t* column_len, COLUMN_STATS* stats) {
  return guarded([&] {
    return calculate_stats(instance, column, flags, construct, nullptr, nullptr, max_distinct,
                           column_len, stats);
  });
}

int32_t DB_table_calculate_stats_by_logfile(DB_INSTANCE* instance, const char* column,
                                            int32_t flags, const SQL_CONSTRUCT* construct,
                                            const MV_QUERY* mv, const LOGFILE* logfile,
                                            int32_t max_distinct, int32_t* column_len,
                                            COLUMN_STATS* stats) {
  return guarded([&] {
    return calculate_stats(instance, column, flags, construct, mv, logfile, max_distinct,
                           column_len, stats);
  });
}
