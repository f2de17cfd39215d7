// db_layer_stats.cpp -- statistics of a layer's shapes in one pass over a
// SELECT that asks the Spatial Extender for each shape's entity type, point
// count, envelope, area and length: for the whole layer, for the rows a
// query selects and for the rows a log file lists; and the largest row id
// of a layer's table.
//
// Relies on the layer cache, the registration lookup of the instance, the
// object names of log files and the statement layer. Multiversioned reads
// (an MV_QUERY) wait for the versioning module and answer SE_NOT_BUILT_YET.
#include <float.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_tables.h"
#include "zul_logfile.h"

namespace {

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }
#define FIELD(x) field(x, sizeof(x))

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

// Entity types in the order of LAYER_STATS.counts.
const int32_t kEntityTypes[9] = {0, 1, 257, 2, 258, 4, 260, 8, 264};

int32_t report(DB_INSTANCE* instance, SQLHSTMT* h, int32_t rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, *h != SQL_NULL_HSTMT ? h : nullptr, rc));
  return SE_DB_IO_ERROR;
}

}  // namespace

int32_t db_layer_stats_sql(DB_INSTANCE* instance, const LAYER* layer,
                           const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                           const LOGFILE* logfile, char** sql) {
  if (sql == nullptr) return SE_INVALID_PARAM;
  *sql = nullptr;
  if (mv != nullptr) {
    fprintf(stderr, "multiversion layer statistics: called, not built yet\n");
    return SE_NOT_BUILT_YET;
  }
  std::string owner = FIELD(layer->owner), table = FIELD(layer->table),
              column = FIELD(layer->spatial_column);
  const char* where = construct != nullptr ? db_sql_strip_where(construct->where) : nullptr;
  if (where != nullptr && where[0] == '\0') where = nullptr;

  std::string from;
  if (logfile != nullptr) {
    char db[SE_NAME_DATABASE_LEN + 1], lowner[SE_NAME_OWNER_LEN + 1], ltable[SE_DB_TABLE_LEN + 1];
    std::string name = FIELD(logfile->name);
    db_parse_table_name(instance, name.c_str(), instance->current_user, db, lowner, ltable);
    char data[SE_DB_QUALIFIED_LEN];
    db_make_logfile_data_table_name(instance, db, lowner, data);
    char buf[SE_DB_QUALIFIED_LEN * 2 + 128];
    snprintf(buf, sizeof buf, " (SELECT DISTINCT zul_row_id FROM %s WHERE %s.logfile_data_id = %d) LF_, ",
             data, data, (int)logfile->data_id);
    from += buf;
  }
  bool other_table = false;
  std::string layer_as_named = owner + "." + table;
  for (int32_t i = 0; construct != nullptr && i < construct->num_tables; ++i) {
    const char* entry = construct->tables[i];
    if (entry == nullptr) return SE_INVALID_PARAM;
    if (db_table_name_matches(instance, entry, FIELD(layer->database).c_str(), owner.c_str(),
                              table.c_str())) {
      layer_as_named = entry;
      continue;
    }
    other_table = true;
    from += std::string(entry) + ", ";
  }
  from += owner + "." + table + ", ";
  from.resize(from.size() - 2);

  std::string rowid;
  if (logfile != nullptr) {
    rowid = FIELD(logfile->registration.rowid_column);
  } else {
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    int32_t status = db_lookup_registration(instance, (owner + "." + table).c_str(), &reg);
    if (status != 0) return status;
    rowid = FIELD(reg.rowid_column);
  }
  if (rowid.empty()) return SE_LAYER_NO_ROWID;

  std::string text = "SELECT " + rowid + ", DB2GSE.ZulEntity(" + column + ")," + column +
                     "..NumPoints,         " + column + "..Xmin," + column + "..Ymin," + column +
                     "..Xmax," + column + "..Ymax,         " + column + "..Area," + column +
                     "..Length FROM " + from;
  if (where != nullptr || other_table || logfile != nullptr) {
    text += " where ";
    if (where != nullptr) text += std::string(" (") + where + ")";
    if (logfile != nullptr) {
      if (where != nullptr) text += " and ";
      if (logfile->flags & SE_LOG_TARGET_LAYER) {
        text += " LF_.zul_row_id = " + layer_as_named + "." + rowid + " ";
      } else {
        const REGISTRATION& r = logfile->registration;
        text += " ( LF_.zul_row_id = " + FIELD(r.owner) + "." + FIELD(r.table) + "." + rowid + ")";
      }
    }
  }
  *sql = strdup(text.c_str());
  return *sql == nullptr ? SE_OUT_OF_DBMS_MEM : 0;
}

int32_t DB_get_layer_stats(DB_INSTANCE* instance, int32_t layer_id,
                           const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                           const LOGFILE* logfile, LAYER_STATS* stats) {
  DB_instance_clear_xerr(instance);
  LAYER* layer = nullptr;
  int32_t status = DB_layer_get_info(instance, nullptr, layer_id, &layer);
  if (status != 0) return status;
  char* text = nullptr;
  status = db_layer_stats_sql(instance, layer, construct, mv, logfile, &text);
  if (status != 0) return status;
  Stmt st;
  status = db_prepare_stmt(instance, nullptr, &st.h, text);
  free(text);
  if (status != 0) return st.h != SQL_NULL_HSTMT ? report(instance, &st.h, status) : status;

  SQLINTEGER row_id = 0, entity = 0, points = 0;
  double bounds[4] = {0, 0, 0, 0}, area = 0, length = 0;
  SQLLEN ind[9] = {0};
  SQLRETURN rc = SQLBindCol(st.h, 1, SQL_C_LONG, &row_id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindCol(st.h, 2, SQL_C_LONG, &entity, 0, &ind[1]);
  if (ok(rc)) rc = SQLBindCol(st.h, 3, SQL_C_LONG, &points, 0, &ind[2]);
  for (int i = 0; i < 4 && ok(rc); ++i) rc = SQLBindCol(st.h, (SQLUSMALLINT)(4 + i), SQL_C_DOUBLE, &bounds[i], 0, &ind[3 + i]);
  if (ok(rc)) rc = SQLBindCol(st.h, 8, SQL_C_DOUBLE, &area, 0, &ind[7]);
  if (ok(rc)) rc = SQLBindCol(st.h, 9, SQL_C_DOUBLE, &length, 0, &ind[8]);
  if (ok(rc)) rc = SQLExecute(st.h);
  if (!ok(rc)) return report(instance, &st.h, rc);

  memset(stats, 0, sizeof *stats);
  stats->layer_id = layer_id;
  stats->min_fid = stats->min_points = 2147483647;
  stats->envelope.minx = stats->envelope.miny = DBL_MAX;
  stats->envelope.maxx = stats->envelope.maxy = -DBL_MAX;
  stats->min_area = stats->min_length = DBL_MAX;
  double point_sum = 0, area_sum = 0, length_sum = 0;
  for (;;) {
    rc = SQLFetch(st.h);
    if (rc == SQL_NO_DATA) break;
    if (!ok(rc)) {
      fprintf(stderr, "DB_get_layer_stats() Fetch Error(%d)\n", (int)rc);
      return report(instance, &st.h, rc);
    }
    // A row without a row id, or without a shape (no entity type to count),
    // is no feature.
    if (ind[0] == SQL_NULL_DATA || ind[1] == SQL_NULL_DATA) continue;
    if (row_id < stats->min_fid) stats->min_fid = row_id;
    if (row_id > stats->max_fid) stats->max_fid = row_id;
    stats->total++;
    int16_t type = (int16_t)entity;
    int kind = -1;
    for (int i = 0; i < 9; ++i)
      if (kEntityTypes[i] == type) kind = i;
    if (kind < 0) continue;
    stats->counts[kind]++;
    // A value the extender leaves NULL (the nil shape's envelope) counts as 0.
    for (int i = 0; i < 4; ++i)
      if (ind[3 + i] == SQL_NULL_DATA) bounds[i] = 0;
    if (ind[2] == SQL_NULL_DATA) points = 0;
    if (ind[7] == SQL_NULL_DATA) area = 0;
    if (ind[8] == SQL_NULL_DATA) length = 0;
    if (bounds[0] < stats->envelope.minx) stats->envelope.minx = bounds[0];
    if (bounds[1] < stats->envelope.miny) stats->envelope.miny = bounds[1];
    if (bounds[2] > stats->envelope.maxx) stats->envelope.maxx = bounds[2];
    if (bounds[3] > stats->envelope.maxy) stats->envelope.maxy = bounds[3];
    if (points < stats->min_points) stats->min_points = points;
    if (points > stats->max_points) stats->max_points = points;
    point_sum += points;
    bool is_area = type == 8 || type == 264;
    bool is_line = type == 2 || type == 4 || type == 258 || type == 260;
    if (is_area) {
      if (area < stats->min_area) stats->min_area = area;
      if (area > stats->max_area) stats->max_area = area;
      area_sum += area;
    }
    if (is_area || is_line) {
      if (length < stats->min_length) stats->min_length = length;
      if (length > stats->max_length) stats->max_length = length;
      length_sum += length;
    }
  }
  if (stats->total > 0) {
    stats->avg_points = point_sum / stats->total;
    stats->avg_area = area_sum / stats->total;
    stats->avg_length = length_sum / stats->total;
  } else {
    stats->min_fid = stats->min_points = 0;
    stats->min_area = stats->max_area = stats->min_length = stats->max_length = 0;
    memset(&stats->envelope, 0, sizeof stats->envelope);
  }
  return 0;
}

int32_t DB_layer_get_stats(DB_INSTANCE* instance, int32_t layer_id, LAYER_STATS* stats) {
  return DB_get_layer_stats(instance, layer_id, nullptr, nullptr, nullptr, stats);
}

int32_t DB_layer_get_stats_by_logfile(DB_INSTANCE* instance, int32_t layer_id,
                                      const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                                      const LOGFILE* logfile, LAYER_STATS* stats) {
  return DB_get_layer_stats(instance, layer_id, construct, mv, logfile, stats);
}

int32_t DB_layer_get_max_fid(DB_INSTANCE* instance, int32_t layer_id, int32_t* max_fid) {
  DB_instance_clear_xerr(instance);
  *max_fid = 0;
  LAYER* layer = nullptr;
  int32_t status = DB_layer_get_info(instance, nullptr, layer_id, &layer);
  if (status != 0) return status;
  std::string table = FIELD(layer->owner) + "." + FIELD(layer->table);
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  status = db_lookup_registration(instance, table.c_str(), &reg);
  if (status != 0) return status;
  std::string rowid = FIELD(reg.rowid_column);
  if (rowid.empty()) return SE_LAYER_NO_ROWID;
  std::string sql = "SELECT MAX(" + rowid + ") FROM " + table;
  Stmt st;
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  if (ok(rc)) rc = SQLBindCol(st.h, 1, SQL_C_LONG, &value, 0, &ind);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (rc == SQL_NO_DATA) return 0;
  if (!ok(rc)) {
    report(instance, &st.h, rc);
    fprintf(stderr, "DB_get_layer_max_fid(%d) Exec/Fet Error(%d)\n", (int)layer_id, (int)rc);
    return SE_DB_IO_ERROR;
  }
  *max_fid = ind == SQL_NULL_DATA ? 0 : value;
  return 0;
}
