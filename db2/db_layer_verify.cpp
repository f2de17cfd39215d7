// db_layer_verify.cpp -- a new layer checked against the shapes its column
// already holds: valid spatial-index grid sizes, a Spatial Extender column
// type that fits the layer's shape kinds, and the extent and spatial
// reference taken from the data and the Spatial Extender catalogue.
//
// Relies on the grid checks of the record checker, the statement layer and
// the CLI statement wrapper of the access core.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "../server/svrsys/record_check.h"
#include "dbsql_io.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }
#define FIELD(x) field(x, sizeof(x))

struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

struct CliStmt {
  DB_CLI_STMT w;
  explicit CliStmt(DB_INSTANCE* instance) { db_cli_init(instance, &w); }
  ~CliStmt() { db_cli_free(&w); }
};

// Checks the three grid levels of a layer whose grid kind is kind.
int32_t check_kind(const LAYER* layer, int32_t kind, const double values[3]) {
  if (kind == 1) return SES_verify_grid_levels(values, layer->coordref);
  if (kind >= -4 && kind <= 0) return SE_LAYER_BAD_GRID_KIND;
  return SE_LAYER_BAD_GRID;
}

int32_t report(DB_INSTANCE* instance, SQLHSTMT* h, int32_t rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, *h != SQL_NULL_HSTMT ? h : nullptr, rc));
  return SE_DB_IO_ERROR;
}

}  // namespace

int32_t db_layer_check_column_type(DB_INSTANCE* instance, const LAYER* layer) {
  std::string sql = "select " + FIELD(layer->spatial_column) + " FROM " + FIELD(layer->owner) + "." +
                    FIELD(layer->table);
  CliStmt st(instance);
  int32_t status = db_cli_prepare(&st.w, sql.c_str());
  char type[31] = "";
  if (status == 0 && db_layer_column_type_name(instance, st.w.hstmt, type, sizeof type) != 0) {
    db_cli_error(&st.w);
    status = SE_DB_IO_ERROR;
  }
  if (status != 0) {
    db_cli_set_ctx_error(instance, &st.w);
    return status;
  }
  for (char* p = type; *p; ++p) *p = (char)toupper((unsigned char)*p);
  int32_t flags = layer->entity_flags;
  bool multi = (flags & SE_LAYER_MULTI) != 0;
  static const struct { const char* names[2]; int32_t kinds; bool multi; } kRules[] = {
      {{"ST_MULTIPOINT", nullptr}, SE_LAYER_POINT, true},
      {{"ST_MULTILINESTRING", "ST_MULTICURVE"}, SE_LAYER_LINE | SE_LAYER_SIMPLE_LINE, true},
      {{"ST_MULTIPOLYGON", "ST_MULTISURFACE"}, SE_LAYER_AREA, true},
      {{"ST_POINT", nullptr}, SE_LAYER_POINT, false},
      {{"ST_LINESTRING", "ST_CURVE"}, SE_LAYER_LINE | SE_LAYER_SIMPLE_LINE, false},
      {{"ST_POLYGON", "ST_SURFACE"}, SE_LAYER_AREA, false},
  };
  // The multi names are tried first: "ST_MULTIPOINT" also contains "POINT"
  // but never "ST_POINT", so the order only matters for clarity.
  for (const auto& r : kRules) {
    bool hit = false;
    for (const char* n : r.names)
      if (n != nullptr && strstr(type, n) != nullptr) hit = true;
    if (!hit) continue;
    if ((flags & r.kinds) == 0 || multi != r.multi) return SE_LAYER_SHAPE_MISMATCH;
    return 0;
  }
  return 0;
}

int32_t db_layer_adopt_column_sref(DB_INSTANCE* instance, LAYER* layer) {
  int32_t status = 0;
  std::string column = FIELD(layer->spatial_column), owner = FIELD(layer->owner),
              table = FIELD(layer->table);
  if (column.empty() || owner.empty() || table.empty()) return 0;
  const std::string& c = column;
  std::string sql = "select max(" + c + "..Srid), min(" + c + "..Xmin), min(" + c + "..Ymin), max(" +
                    c + "..Xmax), max(" + c + "..Ymax) from " + owner + "." + table + " where " + c +
                    " is not null";
  Stmt st;
  status = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (status != 0) {
    if (st.h != SQL_NULL_HSTMT) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, &st.h, status);
      if (strcasecmp(d.sqlstate, "42S22") == 0) return 0;
    }
    return status;
  }
  SQLINTEGER srid = 0;
  double bounds[4] = {0, 0, 0, 0};
  SQLLEN ind[5] = {0};
  SQLRETURN rc = SQLBindCol(st.h, 1, SQL_C_LONG, &srid, 0, &ind[0]);
  for (int i = 0; i < 4 && ok(rc); ++i) rc = SQLBindCol(st.h, (SQLUSMALLINT)(2 + i), SQL_C_DOUBLE, &bounds[i], 0, &ind[1 + i]);
  if (ok(rc)) rc = SQLExecute(st.h);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (rc == SQL_NO_DATA) return 0;
  if (!ok(rc)) return report(instance, &st.h, rc);
  if (ind[0] == SQL_NULL_DATA || srid < 1) return 0;
  db_free_stmt(&st.h);

  status = db_layer_check_column_type(instance, layer);
  if (status != 0) return status;

  char sref[SE_DB_QUALIFIED_LEN], cref[SE_DB_QUALIFIED_LEN];
  db_make_gse_spatial_ref_name(instance, sref);
  db_make_gse_coord_ref_name(instance, cref);
  char text[2 * SE_DB_QUALIFIED_LEN + 200];
  snprintf(text, sizeof text,
           "select falsex, falsey, xyunits,falsez,zunits,falsem,munits,cr.srtext from %s sr, %s cr "
           "where sr.srid = %d AND sr.scid = cr.scid",
           sref, cref, (int)srid);
  status = db_prepare_stmt(instance, nullptr, &st.h, text);
  if (status != 0) return status;
  double values7[7] = {0};
  SQLLEN ind7[8] = {0};
  char srtext[1025] = "";
  rc = SQL_SUCCESS;
  for (int i = 0; i < 7 && ok(rc); ++i) rc = SQLBindCol(st.h, (SQLUSMALLINT)(1 + i), SQL_C_DOUBLE, &values7[i], 0, &ind7[i]);
  if (ok(rc)) rc = SQLBindCol(st.h, 8, SQL_C_CHAR, srtext, sizeof srtext, &ind7[7]);
  if (ok(rc)) rc = SQLExecute(st.h);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (!ok(rc)) return report(instance, &st.h, rc);
  if (ind7[7] == SQL_NULL_DATA) srtext[0] = '\0';
  srtext[sizeof srtext - 1] = '\0';

  // Both queries have succeeded: now the record changes.
  if (layer->coordref == nullptr) return SE_INVALID_POINTER;
  COORDREF* cr = layer->coordref;
  // The record's text buffer (SE_LAYER_SRTEXT_LEN bytes) may belong to the
  // layer cache or the caller's stack: fill it in place; a record without
  // one gets a buffer of its own.
  if (srtext[0] != '\0') {
    if (cr->srtext == nullptr) {
      cr->srtext = (char*)calloc(1, SE_LAYER_SRTEXT_LEN);
      if (cr->srtext == nullptr) return SE_OUT_OF_DBMS_MEM;
    }
    memset(cr->srtext, 0, SE_LAYER_SRTEXT_LEN);
    memcpy(cr->srtext, srtext, strnlen(srtext, SE_LAYER_SRTEXT_LEN - 1));
  } else if (cr->srtext != nullptr) {
    cr->srtext[0] = '\0';
  }
  layer->envelope.minx = bounds[0];
  layer->envelope.miny = bounds[1];
  layer->envelope.maxx = bounds[2];
  layer->envelope.maxy = bounds[3];
  cr->falsex = values7[0];
  cr->falsey = values7[1];
  cr->xyunits = values7[2];
  cr->falsez = values7[3];
  cr->zunits = values7[4];
  cr->falsem = values7[5];
  cr->munits = values7[6];
  return 0;
}


int32_t DB_layer_verify(DB_INSTANCE* instance, LAYER* layer) {
  layer->entity_flags |= SE_LAYER_CHECK_GRIDS;
  int32_t kind = 0;
  double values[3] = {0, 0, 0};
  int32_t status = SES_verify_layer_grids(layer, &kind, values, 0);
  if (status != 0) return status;
  status = check_kind(layer, kind, values);
  if (status != 0) return status;

  return db_layer_adopt_column_sref(instance, layer);
}

int32_t DB_layer_verify_spatial_index_parameters(const LAYER* layer) {
  int32_t kind = 0;
  double values[3] = {0, 0, 0};
  int32_t status = SES_verify_layer_grids(layer, &kind, values, 0);
  if (status != 0) return status;
  if ((layer->entity_flags & SE_LAYER_CHECK_GRIDS) == 0) return 0;
  if (kind != 1) return SE_LAYER_BAD_GRID_KIND;
  return SES_verify_grid_levels(values, layer->coordref);
}
