// dbget_layer.cpp -- the layer SELECT, the binding of its thirty columns,
// the NULL rules, the one-row read behind the layer cache, the scan of all
// layers and the widening of a stream's layer extent.
//
// Every layer record is read by one select list joined over the layers
// table and the spatial extender's spatial-reference and coordinate-reference
// tables. Names that reach the SQL text as literals have their quotes
// doubled, so a name can never end the literal early. A read executes and
// fetches on its own statement and never commits: a layer read may sit inside
// the caller's unit of work.
//
// Relies on the statement layer and reporters (dbsql_io.h), the name
// builders (zul_db_tables.h), the layer cache (dblayer_cache.cpp) and the
// privilege rules (db_layer_access.cpp).
#include <stdio.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

const char* const kLayerSelectList =
    "SELECT layer_id, ly.description, minx, miny, maxx, maxy, eflags, layer_mask, "
    "database_name, table_name, owner, spatial_column, cdate, layer_config, "
    "optimal_array_size, stats_date, minimum_id, base_layer_id, gsize1, gsize2, gsize3, "
    "falsex, falsey, xyunits, falsez,zunits, falsem, munits, cr.srtext, ly.srid";

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A name as an SQL literal body: quotes doubled, at most cap characters.
std::string literal(const char* text, size_t cap) {
  std::string out;
  for (size_t i = 0; text != nullptr && text[i] != '\0' && i < cap; ++i) {
    if (text[i] == '\'') out += '\'';
    out += text[i];
  }
  return out;
}

// "%s FROM %s ly, %s sr, %s cr WHERE ly.srid = sr.srid AND sr.scid = cr.scid"
std::string from_part(DB_INSTANCE* instance) {
  char layers[SE_DB_QUALIFIED_LEN], sref[SE_DB_QUALIFIED_LEN], cref[SE_DB_QUALIFIED_LEN];
  db_make_layers_table_name(instance, layers);
  db_make_gse_spatial_ref_name(instance, sref);
  db_make_gse_coord_ref_name(instance, cref);
  return std::string(" FROM ") + layers + " ly, " + sref + " sr, " + cref + " cr WHERE ";
}

void put(char* out, const std::string& text) {
  snprintf(out, SE_LAYER_SQL_LEN, "%s", text.c_str());
}

void derive(COORDREF* cr) {
  SgsCalcCRound(cr->xyunits, &cr->xycround);
  SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu);
  SgsCalcCRound(cr->zunits, &cr->zcround);
  SgsCalcHalfSU(cr->zcround, &cr->zhalfsu);
  SgsCalcCRound(cr->munits, &cr->mcround);
  SgsCalcHalfSU(cr->mcround, &cr->mhalfsu);
}

struct ScanIndicators {
  SQLLEN desc, config, array, stats, minid, database;
};

}  // namespace

// ---- SQL texts ---------------------------------------------------------------------

void db_layer_sql_by_id(DB_INSTANCE* instance, int32_t layer_id, char* out) {
  put(out, std::string(kLayerSelectList) + from_part(instance) + "ly.layer_id = " +
               std::to_string(layer_id) + " AND ly.srid = sr.srid AND sr.scid = cr.scid");
}

void db_layer_sql_by_table(DB_INSTANCE* instance, const char* table, const char* column,
                           const char* owner, char* out) {
  std::string sql = std::string(kLayerSelectList) + from_part(instance) +
                    "ly.srid = sr.srid AND sr.scid = cr.scid";
  sql += " AND ly.table_name = '" + literal(table, SE_DB_TABLE_LEN) + "'";
  if (column != nullptr && column[0] != '\0')
    sql += " AND spatial_column = '" + literal(column, 32) + "'";
  if (owner != nullptr && owner[0] != '\0') sql += " AND ly.owner = '" + literal(owner, 32) + "'";
  put(out, sql);
}

void db_layer_sql_all(DB_INSTANCE* instance, char* out) {
  put(out, std::string(kLayerSelectList) + from_part(instance) +
               "ly.srid = sr.srid AND sr.scid = cr.scid ORDER BY layer_id");
}

// ---- binding and NULL rules ---------------------------------------------------------------

int32_t db_layer_bind_columns(DB_INSTANCE* instance, SQLHSTMT* stmt, LAYER* layer,
                              SQLLEN* desc_ind, SQLLEN* config_ind, SQLLEN* array_ind,
                              SQLLEN* stats_ind, SQLLEN* minid_ind, SQLLEN* database_ind) {
  // Columns without an indicator of their own share this one; nobody reads it.
  static SQLLEN shared_ind;
  COORDREF* cr = layer->coordref;
  layer->database[0] = '\0';
  struct Col {
    SQLSMALLINT type;
    SQLPOINTER target;
    SQLLEN len;
    SQLLEN* ind;
  };
  const Col cols[] = {
      {SQL_C_LONG, &layer->id, 0, &shared_ind},
      {SQL_C_CHAR, layer->description, sizeof layer->description, desc_ind},
      {SQL_C_DOUBLE, &layer->envelope.minx, 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->envelope.miny, 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->envelope.maxx, 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->envelope.maxy, 0, &shared_ind},
      {SQL_C_LONG, &layer->entity_flags, 0, &shared_ind},
      {SQL_C_LONG, &layer->layer_mask, 0, &shared_ind},
      {SQL_C_CHAR, layer->database, sizeof layer->database, database_ind},
      {SQL_C_CHAR, layer->table, sizeof layer->table, &shared_ind},
      {SQL_C_CHAR, layer->owner, sizeof layer->owner, &shared_ind},
      {SQL_C_CHAR, layer->spatial_column, sizeof layer->spatial_column, &shared_ind},
      {SQL_C_LONG, &layer->creation_date, 0, &shared_ind},
      {SQL_C_CHAR, layer->config_keyword, sizeof layer->config_keyword, config_ind},
      {SQL_C_LONG, &layer->array_size, 0, array_ind},
      {SQL_C_LONG, &layer->stats_date, 0, stats_ind},
      {SQL_C_LONG, &layer->min_shape_id, 0, minid_ind},
      {SQL_C_LONG, &layer->base_layer_id, 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->grid_size[0], 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->grid_size[1], 0, &shared_ind},
      {SQL_C_DOUBLE, &layer->grid_size[2], 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->falsex, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->falsey, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->xyunits, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->falsez, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->zunits, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->falsem, 0, &shared_ind},
      {SQL_C_DOUBLE, &cr->munits, 0, &shared_ind},
      {SQL_C_CHAR, cr->srtext, SE_LAYER_SRTEXT_LEN, &shared_ind},
      {SQL_C_LONG, &cr->srid, 0, &shared_ind},
  };
  static_assert(sizeof cols / sizeof cols[0] == 30, "the layer SELECT has thirty columns");
  SQLUSMALLINT pos = 1;
  for (const Col& c : cols) {
    SQLRETURN rc = SQLBindCol(*stmt, pos++, c.type, c.target, c.len, c.ind);
    if (!ok(rc)) {
      db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
      db_free_stmt(stmt);
      return SE_DB_IO_ERROR;
    }
  }
  return 0;
}

void db_layer_apply_null_rules(LAYER* layer, SQLLEN desc_ind, SQLLEN config_ind,
                               SQLLEN array_ind, SQLLEN stats_ind, SQLLEN minid_ind,
                               SQLLEN database_ind) {
  if (desc_ind == SQL_NULL_DATA) layer->description[0] = '\0';
  if (config_ind == SQL_NULL_DATA) layer->config_keyword[0] = '\0';
  if (array_ind == SQL_NULL_DATA) layer->array_size = 0;
  if (stats_ind == SQL_NULL_DATA) layer->stats_date = 0;
  if (minid_ind == SQL_NULL_DATA || layer->min_shape_id == 0) layer->min_shape_id = 1;
  if (database_ind == SQL_NULL_DATA) layer->database[0] = '\0';
}

// ---- one-row read --------------------------------------------------------------------------

int32_t db_layer_get_info(DB_INSTANCE* instance, DB_STREAM* stream, const char* sql,
                          LAYER** layer, int32_t cache_mode, int32_t store) {
  if (instance == nullptr || sql == nullptr || layer == nullptr) return SE_INVALID_POINTER;
  if (!store && (*layer == nullptr || (*layer)->coordref == nullptr ||
                 (*layer)->coordref->srtext == nullptr))
    return SE_INVALID_POINTER;

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, stream, &stmt, sql);
  if (status != 0) {
    if (stmt != SQL_NULL_HSTMT) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, status);
      if (stream != nullptr) db_stream_report_dbms_error(stream, d);
      else db_report_dbms_error(instance, d);
      db_free_stmt(&stmt);
      status = SE_DB_IO_ERROR;
    }
    return status;
  }

  LAYER local;
  memset(&local, 0, sizeof local);
  COORDREF local_cr;
  memset(&local_cr, 0, sizeof local_cr);
  char text[SE_LAYER_SRTEXT_LEN] = "";
  local_cr.srtext = text;
  local.coordref = &local_cr;
  ScanIndicators ind = {0, 0, 0, 0, 0, 0};
  status = db_layer_bind_columns(instance, &stmt, &local, &ind.desc, &ind.config, &ind.array,
                                 &ind.stats, &ind.minid, &ind.database);
  if (status != 0) return status;

  SQLRETURN rc = SQLExecute(stmt);
  if (ok(rc)) rc = SQLFetch(stmt);
  if (!ok(rc)) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
    db_free_stmt(&stmt);
    if (rc == SQL_NO_DATA) {
      if (strcmp(d.sqlstate, "42S02") == 0) {
        SES_print_debug(stderr, "db_layer_get_info() Execute/Fetch error (%s).\n", d.sqlstate);
        return SE_NO_PERMISSIONS;
      }
      return SE_LAYER_NOEXIST;
    }
    SES_print_debug(stderr, "db_layer_get_info ODBCExecute/Fetch error (%s).\n", d.sqlstate);
    if (stream != nullptr) db_stream_report_dbms_error(stream, d);
    else db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  db_layer_apply_null_rules(&local, ind.desc, ind.config, ind.array, ind.stats, ind.minid,
                            ind.database);
  text[sizeof text - 1] = '\0';
  // A record read here is usable at once: its coordinate reference carries
  // the derived rounding values of its units.
  derive(&local_cr);
  db_free_stmt(&stmt);

  if (store) return db_layer_cache_store(instance, stream, &local, layer, cache_mode);

  LAYER* out = *layer;
  COORDREF* out_cr = out->coordref;
  char* out_text = out_cr->srtext;
  *out = local;
  out->coordref = out_cr;
  *out_cr = local_cr;
  out_cr->srtext = out_text;
  snprintf(out_text, SE_LAYER_SRTEXT_LEN, "%s", text);
  return 0;
}

// ---- scan of all layers ---------------------------------------------------------------------

namespace {

int32_t scan_row(DB_INSTANCE* instance, LAYER* layer, bool first) {
  LAYER_CACHE* cache = &instance->layer_cache;
  if (layer == nullptr || layer->coordref == nullptr || layer->coordref->srtext == nullptr)
    return SE_INVALID_POINTER;
  if (cache->scan_stmt == SQL_NULL_HSTMT) return first ? SE_DB_IO_ERROR : SE_FINISHED;
  // bound again on every call: the caller's record may change between calls
  SQLLEN* ind = cache->scan_ind;
  int32_t status = db_layer_bind_columns(instance, &cache->scan_stmt, layer, &ind[0], &ind[1],
                                         &ind[2], &ind[3], &ind[4], &ind[5]);
  if (status != 0) return status;
  SQLRETURN rc = first ? SQLExecute(cache->scan_stmt) : SQL_SUCCESS;
  if (ok(rc)) rc = SQLFetch(cache->scan_stmt);
  if (rc == SQL_NO_DATA) {
    db_free_stmt(&cache->scan_stmt);
    db_free_access_info_stmt(instance);
    return SE_FINISHED;
  }
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &cache->scan_stmt, rc));
    db_free_stmt(&cache->scan_stmt);
    return SE_DB_IO_ERROR;
  }
  db_layer_apply_null_rules(layer, ind[0], ind[1], ind[2], ind[3], ind[4], ind[5]);
  layer->coordref->srtext[SE_LAYER_SRTEXT_LEN - 1] = '\0';
  derive(layer->coordref);
  return db_layer_set_access(instance, nullptr, &layer);
}

}  // namespace

int32_t DB_layer_first(DB_INSTANCE* instance, LAYER* layer) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  LAYER_CACHE* cache = &instance->layer_cache;
  // a second scan replaces the first
  db_free_stmt(&cache->scan_stmt);
  char sql[SE_LAYER_SQL_LEN];
  db_layer_sql_all(instance, sql);
  int32_t status = db_prepare_stmt(instance, nullptr, &cache->scan_stmt, sql);
  if (status != 0) {
    if (cache->scan_stmt != SQL_NULL_HSTMT)
      db_report_dbms_error(instance, db_get_diag_record(instance, &cache->scan_stmt, status));
    db_free_stmt(&cache->scan_stmt);
    return SE_DB_IO_ERROR;
  }
  return scan_row(instance, layer, true);
}

int32_t DB_layer_next(DB_INSTANCE* instance, LAYER* layer) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  return scan_row(instance, layer, false);
}

// ---- widening a stream's layer extent -------------------------------------------------------

int32_t DB_layer_update_extent(DB_STREAM* stream, LAYER* out) {
  if (out == nullptr || stream == nullptr || stream->layer == nullptr || stream->layer->id == 0)
    return -1;
  LAYER* cached = nullptr;
  if (DB_layer_get_info(stream->instance, stream, stream->layer->id, &cached) != 0 ||
      cached == nullptr)
    return -1;
  *out = *cached;
  SE_ENVELOPE& e = out->envelope;
  const double* s = stream->envelope;   // min x, min y, max x, max y
  if (e.minx > e.maxx || e.miny > e.maxy) {
    e.minx = s[0];
    e.miny = s[1];
    e.maxx = s[2];
    e.maxy = s[3];
    return 0;
  }
  if (e.minx < s[0] && e.miny < s[1] && e.maxx > s[2] && e.maxy > s[3]) return -1;
  if (s[0] > s[2] || s[1] > s[3]) return -1;
  if (s[0] < e.minx) e.minx = s[0];
  if (s[1] < e.miny) e.miny = s[1];
  if (s[2] > e.maxx) e.maxx = s[2];
  if (s[3] > e.maxy) e.maxy = s[3];
  return 0;
}
