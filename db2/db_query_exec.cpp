// db_query_exec.cpp -- spatial constraints and the execute of a query
// stream: the filters and search envelope it keeps, the columns the fetch
// needs added to its select list, and the first cut of the spatial filter
// in the database (EnvelopesIntersect against a bound search shape).
//
// Relies on db_query.cpp for the statement parts and their prepare, on
// db_fetch.cpp for the fetch buffers (db_init_attr_array), on the filter
// tests of the server (spatial_test.h) and on geomkit for the search shape.
//
// Notes:
//  1. The filters stay the caller's array; the stream keeps its pointer and
//     prepared shapes until new constraints replace them or the stream is
//     released whole.
//  2. The first cut is dropped when the search envelope covers the layer's
//     extent (each extent coordinate scaled by 0.95): the database would
//     then return every row anyway, and the exact test at fetch decides.
//  3. A spatial query is executed by its first fetch, not here, so that
//     the statement runs with the caller's buffers bound.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "comp_ftr.h"
#include "db_query_work.h"
#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_query.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

int32_t db_init_attr_array(DB_STREAM* stream);

namespace {

void free_filter_work(DB_QUERY_WORK* w) {
  if (w->specs != nullptr) SES_free_feature_specs(w->filter_count, nullptr, w->specs);
  w->specs = nullptr;
  w->results.clear();
  w->filter_count = 0;
  w->filters = nullptr;
  w->filter_exact = 0;
}

int32_t to_plane(const COORDREF* cr, const int32_t env[4], SE_ENVELOPE* out) {
  double v[4];
  for (int i = 0; i < 4; ++i) {
    bool x = (i % 2) == 0;
    int32_t st = SgsValueToPlane(env[i], x ? cr->falsex : cr->falsey, cr->xyunits, cr->xycround,
                                 cr->xyhalfsu, &v[i]);
    if (st != 0) return SES_map_shape_error_to_zul(st);
  }
  out->minx = v[0];
  out->miny = v[1];
  out->maxx = v[2];
  out->maxy = v[3];
  return 0;
}

// Binds the filters' layer to the stream: the first filter with a table
// names it; every other must name the same. -17 when none names a layer.
int32_t bind_filter_layer(DB_STREAM* s, int32_t count, const SPATIAL_FILTER* filters) {
  LAYER* found = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    if (filters[i].table[0] == '\0') continue;
    LAYER* l = nullptr;
    int32_t st = DB_layer_get_info_by_table_name(s->instance, s, filters[i].table,
                                                 filters[i].column, s->owner, &l);
    if (st != 0) return st;
    if (found == nullptr) {
      if (s->layer != nullptr && s->layer->id != l->id) return SE_INVALID_LAYER_TABLE;
      if (l->entity_flags & SE_LAYER_LOAD_ONLY) return SE_LAYER_LOAD_ONLY_MODE;
      found = l;
    } else if (l->id != found->id) {
      return SE_INVALID_LAYER_TABLE;
    }
  }
  if (count > 0 && found == nullptr) return SE_INVALID_SPATIAL_CONSTRAINT;
  if (found != nullptr && s->layer == nullptr) {
    s->layer = found;
    snprintf(s->table, sizeof s->table, "%s", found->table);
    snprintf(s->table_owner, sizeof s->table_owner, "%s", found->owner);
    snprintf(s->table_database, sizeof s->table_database, "%s", found->database);
    snprintf(s->spatial_column_name, sizeof s->spatial_column_name, "%s", found->spatial_column);
  }
  return 0;
}

bool rowid_in_result(DB_QUERY_WORK* w) { return w->rowid_index >= 0 || w->rowid_added; }

std::string owner_table(const LAYER* l) { return std::string(l->owner) + "." + l->table; }

// ", owner.table.rowid " appended; -186 without a registered row-id column.
int32_t add_rowid_column(DB_STREAM* s, DB_QUERY_WORK* w, std::string* extra) {
  REGISTRATION reg;
  int32_t st = db_query_registration(s, s->layer->owner, s->layer->table, &reg);
  if (st != 0) return st;
  if (reg.rowid_column[0] == '\0' || !(reg.flags & SE_REG_HAS_ROWID)) {
    SES_print_debug(stderr, "There is no registered ROWID requested for this operation on this table. "
                    "\t\t                       Please run zullayer -o alter_reg ... \n");
    return SE_NO_ROWID_COLUMN;
  }
  *extra += ", " + owner_table(s->layer) + "." + reg.rowid_column + " ";
  w->rowid_added = true;
  return 0;
}

void add_shape_column(DB_STREAM* s, DB_QUERY_WORK* w, std::string* extra) {
  const char* col = s->layer->spatial_column;
  *extra += std::string(", ") + col + "..Points " + col + " ";
  w->shape_hidden = true;
}

}  // namespace

// ---- constraints ---------------------------------------------------------------------

int32_t DB_stream_set_spatial_constraints(DB_STREAM* s, int32_t count, SPATIAL_FILTER* filters,
                                          const int32_t envelope[4], int32_t exact) {
  // 1.
  DB_instance_clear_xerr(s->instance);
  DB_stream_clear_xerr(s);
  if (count < 0 || (count > 0 && filters == nullptr)) return SE_INVALID_PARAM;
  DB_QUERY_WORK* w = db_query_work(s);
  if (w == nullptr) return SE_OUT_OF_DBMS_MEM;
  // 2.
  if (s->layer != nullptr) {
    REGISTRATION reg;
    int32_t st = db_query_registration(s, s->layer->owner, s->layer->table, &reg);
    if (st != 0 && st != SE_TABLE_NOREGISTERED) return st;
    if (st == 0 && reg.rowid_column[0] == '\0') {
      s->xerr.code = SE_NO_ROWID_COLUMN;
      return SE_NO_ROWID_COLUMN;
    }
  }
  // 3.
  int32_t st = bind_filter_layer(s, count, filters);
  if (st != 0) return st;
  // 4.
  free_filter_work(w);
  w->filter_count = count;
  s->num_filters = count;  // the stream's close clears it when it releases the filters
  w->filters = filters;
  w->filter_exact = exact;
  // 5.
  w->envelope_filter = false;
  if (envelope == nullptr || envelope[0] > envelope[2] || envelope[1] > envelope[3]) return 0;
  memcpy(w->env, envelope, sizeof w->env);
  w->envelope_filter = true;
  if (s->layer == nullptr) return 0;
  LAYER* layer = nullptr;
  st = DB_layer_get_info(s->instance, s, s->layer->id, &layer);
  if (st != 0) return st;
  double ref[4];
  const SE_ENVELOPE& le = layer->envelope;
  if (le.minx <= le.maxx && le.miny <= le.maxy) {
    ref[0] = le.minx, ref[1] = le.miny, ref[2] = le.maxx, ref[3] = le.maxy;
  } else if (s->envelope[0] <= s->envelope[2] && s->envelope[1] <= s->envelope[3]) {
    memcpy(ref, s->envelope, sizeof ref);
  } else {
    w->envelope_filter = false;
    return 0;
  }
  if (layer->coordref == nullptr) return 0;
  SE_ENVELOPE e;
  st = to_plane(layer->coordref, w->env, &e);
  if (st != 0) return st;
  const double f = 0.95;
  if (ref[0] * f >= e.minx && ref[1] * f >= e.miny && ref[2] * f <= e.maxx && ref[3] * f <= e.maxy)
    w->envelope_filter = false;
  return 0;
}

DB_STREAM* DB_reset_search_query(DB_STREAM* s) {
  if (s != nullptr && s->query != nullptr) s->query->envelope_filter = false;
  return s;
}

// ---- execute -------------------------------------------------------------------------------

int32_t DB_stream_execute_query(DB_STREAM* s, int32_t log_fdes, int32_t attr_only, void** values) {
  (void)attr_only;
  // 1.
  DB_instance_clear_xerr(s->instance);
  DB_stream_clear_xerr(s);
  if (log_fdes > 0) {
    fprintf(stderr, "DB_stream_execute_query: logging read rows, not built yet\n");
    return SE_NOT_BUILT_YET;
  }
  DB_QUERY_WORK* w = db_query_work(s);
  if (w == nullptr) return SE_OUT_OF_DBMS_MEM;
  if (!w->query_built) return SE_INVALID_QUERYINFO;
  w->values = values;
  if (!w->describe_done) {
    int32_t st = DB_stream_describe_sql(s, nullptr, nullptr, nullptr, nullptr);
    if (st != 0) return st;
  }
  // 3. filter work
  if (w->filter_count > 0 && w->specs == nullptr) {
    w->results.assign((size_t)w->filter_count, 0);
    int32_t st = SES_generate_feature_specs(w->filter_count, w->filters, &w->specs);
    if (st != 0) return st == SE_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : st;
  }
  // 4.
  if (w->shape_index >= 0 && values != nullptr)
    w->search_feature = static_cast<FEATURE_STRUCT*>(values[w->shape_index]);
  // 5.
  if (w->envelope_filter && s->layer != nullptr) {
    if (w->shape_index < 0 || w->search_feature == nullptr) {
      if (w->own_feature == nullptr)
        w->own_feature = static_cast<FEATURE_STRUCT*>(calloc(1, sizeof(FEATURE_STRUCT)));
      if (w->own_feature == nullptr) return SE_OUT_OF_DBMS_MEM;
      w->search_feature = w->own_feature;
    }
    return db_execute_spatial_query(s);
  }
  // 6.
  std::string extra;
  if (s->layer != nullptr && w->filter_count > 0) {
    if (w->shape_index >= 0 && !rowid_in_result(w)) {
      int32_t st = add_rowid_column(s, w, &extra);
      if (st != 0) return st;
    } else if (w->shape_index < 0) {
      int32_t st = 0;
      if (!rowid_in_result(w)) st = add_rowid_column(s, w, &extra);
      if (st != 0) return st;
      add_shape_column(s, w, &extra);
      if (w->own_feature == nullptr)
        w->own_feature = static_cast<FEATURE_STRUCT*>(calloc(1, sizeof(FEATURE_STRUCT)));
      if (w->own_feature == nullptr) return SE_OUT_OF_DBMS_MEM;
      w->search_feature = w->own_feature;
      w->shape_selected = true;
    }
  } else if (s->layer != nullptr && w->shape_index >= 0 && !rowid_in_result(w)) {
    int32_t st = add_rowid_column(s, w, &extra);
    if (st != 0) return st;
  }
  if (!extra.empty()) {
    int32_t st = db_query_rebuild(s, extra);
    if (st != 0) return st;
  }
  return db_execute_sql(s);
}

int32_t db_execute_spatial_query(DB_STREAM* s) {
  DB_QUERY_WORK* w = s->query;
  // 1.
  LAYER* layer = nullptr;
  int32_t st = DB_layer_get_info(s->instance, s, s->layer->id, &layer);
  if (st != 0) return st;
  COORDREF* cr = layer->coordref;
  if (cr == nullptr) return SE_INVALID_PARAM;
  SE_ENVELOPE e;
  st = to_plane(cr, w->env, &e);
  if (st != 0) return st;
  if (cr->srid == 0) {
    int32_t srid = 0;
    st = db_get_srid(s->instance, s, cr, &srid);
    if (st == 0) cr->srid = srid;
  }
  FEATURE_STRUCT shape;
  memset(&shape, 0, sizeof shape);
  SgsShapeInit(cr, &shape);
  // 2.
  const char* ctor;
  if (w->env[0] == w->env[2] && w->env[1] == w->env[3]) {
    SG_POINT p = {e.minx, e.miny};
    st = SgShapeGeneratePoint(1, &p, nullptr, nullptr, &shape);
    ctor = "PointFromZul";
  } else if (w->env[0] == w->env[2] || w->env[1] == w->env[3]) {
    SG_POINT p[2] = {{e.minx, e.miny}, {e.maxx, e.maxy}};
    st = SgShapeGenerateSimpleLine(2, 1, nullptr, p, nullptr, nullptr, &shape);
    ctor = "LineFromZul";
  } else {
    st = SgShapeGenerateRectangle(&e, &shape);
    ctor = "PolyFromZul";
  }
  if (st != 0) {
    SgShapeFree(&shape);
    return SES_map_shape_error_to_zul(st);
  }
  // 3.
  st = SES_comp_feature_alloc(&shape, shape.numofpts, layer->entity_flags, 0);
  if (st == 0) st = SES_feature_compress(&shape, layer->entity_flags);
  unsigned char* packed = nullptr;
  int32_t packed_len = 0;
  if (st == 0) {
    SgsShapeSetExtentFlag(&shape, 1);
    st = db_pack_shape_value(s, &shape, &packed, &packed_len);
  }
  SES_comp_feature_free(&shape);
  SgShapeFree(&shape);
  if (st != 0) return st == SE_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : st;
  w->search_shape.assign(packed, packed + packed_len);
  free(packed);
  w->search_len = packed_len;

  // 4.
  char fn[64];
  db_gse_function_prefix(fn);
  char ctor_text[96];
  snprintf(ctor_text, sizeof ctor_text, fn, ctor);
  std::string predicate = std::string("DB2GSE.EnvelopesIntersect(") + ctor_text +
                          "(cast (? as blob(1m)),cast (NULL as varchar(255)))," +
                          owner_table(layer) + "." + layer->spatial_column +
                          ") = 1 SELECTIVITY 0.0001 ";
  // 6.
  std::string extra;
  if (w->shape_index >= 0 && !rowid_in_result(w)) {
    st = add_rowid_column(s, w, &extra);
    if (st != 0) return st;
  }
  if (w->shape_index < 0) {
    if (!rowid_in_result(w)) {
      st = add_rowid_column(s, w, &extra);
      if (st != 0) return st;
    }
    add_shape_column(s, w, &extra);
  }
  std::string sql = w->select_text + extra + " " + w->from_text + w->where_text;
  sql += w->where_text.empty() ? " where " : " and ";
  sql += predicate;
  for (int32_t i = 0; i < w->filter_count; ++i) {
    if (w->filters[i].method != 1) continue;
    std::string col = owner_table(layer) + "." + layer->spatial_column;
    sql += " order by " + col + "..Xmin," + col + "..Ymin";
    break;
  }
  // 7.
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  st = db_open_cursor(s->instance, s, &stmt);
  if (st != 0) return st;
  int32_t rc = db_prepare_sql_text(stmt, sql.c_str());
  if (rc == 0) {
    rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, -98, (SQLULEN)w->search_len, 0,
                          w->search_shape.data(), w->search_len, &w->search_len);
    rc = (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) ? 0 : rc;
  }
  if (rc != 0) {
    // 8.
    DB_DIAG_RECORD d = db_get_diag_record(s->instance, &stmt, rc);
    db_free_stmt(&stmt);
    db_stream_report_dbms_error(s, d);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s->query_stmt);
  s->query_stmt = stmt;
  w->statement_text = sql;
  w->shape_selected = true;
  return 0;
}
