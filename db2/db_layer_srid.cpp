// db_layer_srid.cpp -- finds the spatial reference whose false origins,
// units and coordinate-system text equal a coordinate reference.
//
// A stream remembers its last match (its own COORDREF, whose srid field holds
// the srid found), so repeated lookups for one stream cost no SQL. Because
// the remembered reference carries no text, the instance keeps the matched
// text beside it and a remembered match counts only when the texts agree as
// well. The coordinate-system text is bound as a parameter: it comes from
// clients and never becomes part of the SQL text.
//
// Relies on the statement layer and reporters (dbsql_io.h), the name
// builders (zul_db_tables.h) and the geometry library.
#include <stdio.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

const char* text_of(const COORDREF* cr) { return cr->srtext != nullptr ? cr->srtext : ""; }

bool remembered(DB_INSTANCE* instance, DB_STREAM* stream, const COORDREF* cr) {
  const LAYER_CACHE& c = instance->layer_cache;
  return stream != nullptr && stream->coordref != nullptr && c.srid_stream == stream &&
         c.srid_coordref == stream->coordref &&
         strncmp(c.srid_text, text_of(cr), sizeof c.srid_text) == 0 &&
         SgCoordRefIsEqual(stream->coordref, cr);
}

}  // namespace

int32_t db_get_srid(DB_INSTANCE* instance, DB_STREAM* stream, const COORDREF* coordref,
                    int32_t* srid) {
  if (instance == nullptr || coordref == nullptr || srid == nullptr) return SE_INVALID_POINTER;
  // 1.
  if (remembered(instance, stream, coordref)) {
    *srid = stream->coordref->srid;
    return 0;
  }
  const char* text = text_of(coordref);
  if (strnlen(text, SE_LAYER_SRTEXT_LEN) >= SE_LAYER_SRTEXT_LEN) return SE_INVALID_PARAM;

  // 2, 3.
  char sref[SE_DB_QUALIFIED_LEN], cref[SE_DB_QUALIFIED_LEN];
  db_make_gse_spatial_ref_name(instance, sref);
  db_make_gse_coord_ref_name(instance, cref);
  std::string sql = std::string("select srid from ") + sref + " sr, " + cref +
                    " cr where falsex = ? and falsey = ? and xyunits = ?    and falsez = ? and "
                    "zunits = ? and falsem = ? and munits = ? and    srtext = ? and sr.scid = "
                    "cr.scid";
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql.c_str());
  if (status != 0 && stmt == SQL_NULL_HSTMT) return status;
  SQLRETURN rc = status == 0 ? SQL_SUCCESS : (SQLRETURN)status;
  int32_t found = 0;
  SQLLEN ind = 0, pind[8] = {0, 0, 0, 0, 0, 0, 0, SQL_NTS};
  if (ok(rc)) rc = SQLBindCol(stmt, 1, SQL_C_LONG, &found, 0, &ind);
  const double* values[7] = {&coordref->falsex, &coordref->falsey, &coordref->xyunits,
                             &coordref->falsez, &coordref->zunits, &coordref->falsem,
                             &coordref->munits};
  for (SQLUSMALLINT i = 0; i < 7 && ok(rc); ++i)
    rc = SQLBindParameter(stmt, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE,
                          0, 0, (SQLPOINTER)values[i], 0, &pind[i]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 8, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                          SE_LAYER_SRTEXT_LEN, 0, (SQLPOINTER)text, 0, &pind[7]);
  // 4.
  if (ok(rc)) rc = SQLExecute(stmt);
  if (ok(rc)) rc = SQLFetch(stmt);
  if (!ok(rc) && rc != SQL_NO_DATA) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, &stmt, rc);
    db_free_stmt(&stmt);
    fprintf(stderr, "db_get_srid() Execute error (%d).\n", (int)rc);
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&stmt);
  if (rc == SQL_NO_DATA) return SE_SRID_NOT_FOUND;
  *srid = found;

  // 5.
  if (stream != nullptr) {
    if (stream->coordref != nullptr) {
      SgCoordRefFree(stream->coordref);
      stream->coordref = nullptr;
    }
    COORDREF* mine = nullptr;
    status = SgCoordRefCreate(&mine);
    if (status == 0) status = SgCoordRefDuplicate(coordref, mine);
    if (status != 0) {
      SgCoordRefFree(mine);
      return status == SG_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : status;
    }
    mine->srid = found;
    stream->coordref = mine;
    LAYER_CACHE& c = instance->layer_cache;
    c.srid_stream = stream;
    c.srid_coordref = mine;
    snprintf(c.srid_text, sizeof c.srid_text, "%s", text);
  }
  return 0;
}
