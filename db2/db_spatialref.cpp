// db_spatialref.cpp -- spatial references in the Spatial Extender catalogue:
// creation (an identical one found, else a new coordinate system when
// needed and a new srid), alteration, removal, and reading into SE_SPATIALREF
// records.
//
// New srids and scids are the largest existing one plus 1, taken under an
// exclusive lock on the catalogue table that the following commit releases.
// Coordinate-system texts come from clients: they reach SQL only as bound
// values. A reference without a text is stored with the text "UNKNOWN", and
// looked up by it.
//
// Alteration finds (or makes, which commits) the coordinate system first,
// and only then removes and re-creates the spatial reference in one unit of
// work: a failed re-creation rolls the removal back, so a spatial reference
// is never lost to an alteration.
//
// Relies on the statement layer and reporters (dbsql_io.h), the name
// builders (zul_db_tables.h), the srid lookup (db_get_srid), the Spatial
// Extender error report (db_gse_register.cpp) and the geometry library.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_sref.h"
#include "zul_db_tables.h"

namespace {

constexpr const char* kGseSchema = "db2gse";
constexpr int32_t kCodeRemark = 1;
constexpr int32_t kCodeNoSrid = -7;
constexpr int32_t kCodeInUse = -11;
// Catalogue columns as bound for reading.
constexpr int kDescLen = 64;
constexpr int kAuthLen = 256;
constexpr int kTextLen = 2048;

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

const char* text_or_unknown(const char* text) {
  return text != nullptr && text[0] != '\0' ? text : SE_SREF_UNKNOWN_TEXT;
}

void report_cli(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
}

// Records a failure of our own (no CLI diagnostic) as a DBMS error.
void report_own(DB_INSTANCE* instance, const char* message) {
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = SE_DB_IO_ERROR;
  snprintf(d.message, sizeof d.message, "%s", message);
  db_report_dbms_error(instance, d);
}

// "lock table <table> in exclusive mode", then the largest id + 1 (1 when
// the table is empty) on stmt. *locked is set once the lock is held. 0, or
// -51 with the failure recorded.
int32_t next_id(DB_INSTANCE* instance, SQLHSTMT* stmt, const char* table, const char* column,
                int32_t* id, bool* locked) {
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, "lock table %s in exclusive mode", table);
  SQLRETURN rc = SQLExecDirect(*stmt, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc)) {
    *locked = true;
    SQLFreeStmt(*stmt, SQL_CLOSE);
    snprintf(sql, sizeof sql, "select max(%s) from %s", column, table);
    rc = SQLExecDirect(*stmt, (SQLCHAR*)sql, SQL_NTS);
  }
  SQLBIGINT max = 0;
  SQLLEN ind = 0;
  if (ok(rc)) rc = SQLBindCol(*stmt, 1, SQL_C_SBIGINT, &max, 0, &ind);
  if (ok(rc)) rc = SQLFetch(*stmt);
  if (!ok(rc)) {
    report_cli(instance, stmt, rc);
    return SE_DB_IO_ERROR;
  }
  SQLFreeStmt(*stmt, SQL_CLOSE);
  SQLFreeStmt(*stmt, SQL_UNBIND);
  if (ind == SQL_NULL_DATA || max < 0) max = 0;
  // the next id must still be a 32-bit id
  if (max >= INT32_MAX) {
    report_own(instance, "No further id can be taken: the largest one is in use.");
    return SE_DB_IO_ERROR;
  }
  *id = (int32_t)(max + 1);
  return 0;
}

// The procedure call that enables srid; commits after it. With locked the
// table lock of the new srid is held (and a CLI failure commits to end it);
// without, a CLI failure leaves the unit of work to the caller.
int32_t enable_call(DB_INSTANCE* instance, int32_t srid, const COORDREF* cr, int32_t scid,
                    bool locked) {
  char sql[96];
  snprintf(sql, sizeof sql, "call %s!gse_enable_sref(?,?,?,?,?,?,?,?,?,?,?,?)", kGseSchema);
  char name[32];
  snprintf(name, sizeof name, "SREF_%d", (int)srid);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_open_cursor(instance, nullptr, &stmt);
  if (status != 0) {
    if (locked) db_commit_ddlsql(instance);
    return SE_DB_IO_ERROR;
  }
  int32_t srid_value = srid, scid_value = scid;
  double values[7] = {cr->falsex, cr->falsey, cr->xyunits, cr->falsez,
                      cr->zunits, cr->falsem, cr->munits};
  SQLINTEGER code = 0;
  char text[SE_GSE_MSG_LEN] = "";
  SQLLEN ind[12];
  for (SQLLEN& i : ind) i = 0;
  ind[1] = SQL_NTS;
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid_value,
                          0, &ind[0]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, sizeof name - 1, 0,
                          name, 0, &ind[1]);
  for (SQLUSMALLINT p = 3; p <= 9 && ok(rc); ++p)
    rc = SQLBindParameter(stmt, p, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                          &values[p - 3], 0, &ind[p - 1]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 10, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &scid_value,
                          0, &ind[9]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 11, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0,
                          &ind[10]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 12, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR,
                          SE_GSE_MSG_LEN - 1, 0, text, sizeof text, &ind[11]);
  if (ok(rc)) rc = SQLExecute(stmt);
  if (!ok(rc)) {
    report_cli(instance, &stmt, rc);
    db_free_stmt(&stmt);
    if (locked) db_commit_ddlsql(instance);
    return SE_DB_IO_ERROR;
  }
  // The answer is read before anything is committed: a refusal rolls back
  // the unit of work (and with it the removal an alteration made before).
  text[sizeof text - 1] = '\0';
  if (ind[10] != SQL_NULL_DATA && code != 0) {
    db_gse_report_error(instance, stmt, code, "gse_enable_sref", text);
    if (code != kCodeRemark) {
      db_rollback_ddlsql(instance);
      db_free_stmt(&stmt);
      return SE_DB_IO_ERROR;
    }
  }
  db_free_stmt(&stmt);
  // The new srid stands only once committed.
  return db_commit_ddlsql(instance) != 0 ? SE_DB_IO_ERROR : 0;
}

// The coordinate system of coordref's text: found, else made.
int32_t find_or_make_scid(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* scid) {
  if (strnlen(text_or_unknown(coordref->srtext), SE_SREF_SRTEXT_LEN) >= SE_SREF_SRTEXT_LEN)
    return SE_INVALID_PARAM;
  if (S_db_odbc_get_scid(instance, coordref->srtext, scid) == 0) return 0;
  return db_gse_create_coord_ref(instance, coordref->srtext, scid);
}

void derive(COORDREF* cr) {
  SgsCalcCRound(cr->xyunits, &cr->xycround);
  SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu);
  SgsCalcCRound(cr->zunits, &cr->zcround);
  SgsCalcHalfSU(cr->zcround, &cr->zhalfsu);
  SgsCalcCRound(cr->munits, &cr->mcround);
  SgsCalcHalfSU(cr->mcround, &cr->mhalfsu);
}

// The column-wise rowset of the spatial-reference SELECT.
struct Rowset {
  SQLINTEGER srid[SE_SREF_ROWSET];
  char desc[SE_SREF_ROWSET][kDescLen];
  char auth[SE_SREF_ROWSET][kAuthLen];
  SQLINTEGER auth_srid[SE_SREF_ROWSET];
  double num[7][SE_SREF_ROWSET];
  char text[SE_SREF_ROWSET][kTextLen];
  SQLLEN ind[12][SE_SREF_ROWSET];
  SQLUSMALLINT row_status[SE_SREF_ROWSET];
};

// One fetched row into a zeroed record with a new COORDREF.
int32_t fill_record(const Rowset& b, int i, SE_SPATIALREF* out) {
  memset(out, 0, sizeof *out);
  COORDREF* cr = nullptr;
  int32_t status = SgCoordRefCreate(&cr);
  if (status != 0) return SES_map_shape_error_to_zul(status);
  out->coordref = cr;
  if (b.ind[1][i] != SQL_NULL_DATA) snprintf(out->description, sizeof out->description, "%s", b.desc[i]);
  if (b.ind[2][i] != SQL_NULL_DATA) snprintf(out->auth_name, sizeof out->auth_name, "%s", b.auth[i]);
  out->srid = b.srid[i];
  cr->srid = b.srid[i];
  out->auth_srid = b.ind[3][i] != SQL_NULL_DATA ? b.auth_srid[i] : 0;
  double* targets[7] = {&cr->falsex, &cr->falsey, &cr->xyunits, &cr->falsez,
                        &cr->zunits, &cr->falsem, &cr->munits};
  for (int k = 0; k < 7; ++k)
    if (b.ind[4 + k][i] != SQL_NULL_DATA) *targets[k] = b.num[k][i];
  // The rounding values always follow the units read, text or none.
  derive(cr);
  SQLLEN tind = b.ind[11][i];
  if (tind == SQL_NULL_DATA || b.text[i][0] == '\0' || strcmp(b.text[i], SE_SREF_UNKNOWN_TEXT) == 0)
    return 0;
  // A text that a COORDREF cannot hold whole is refused, never cut.
  if (tind == SQL_NO_TOTAL || tind >= SE_SREF_SRTEXT_LEN ||
      strnlen(b.text[i], SE_SREF_SRTEXT_LEN) >= SE_SREF_SRTEXT_LEN) {
    fprintf(stderr, "db_spatial_ref_select: coordinate system text of srid %d too long\n",
            (int)b.srid[i]);
    return SE_INVALID_PARAM;
  }
  cr->srtext = static_cast<char*>(calloc(1, SE_SREF_SRTEXT_LEN));
  if (cr->srtext == nullptr) return SE_OUT_OF_DBMS_MEM;
  memcpy(cr->srtext, b.text[i], strnlen(b.text[i], SE_SREF_SRTEXT_LEN - 1));
  return 0;
}

}  // namespace

// ---- records ------------------------------------------------------------------------------

void db_spatial_ref_release(SE_SPATIALREF* sref) {
  if (sref == nullptr || sref->coordref == nullptr) return;
  free(sref->coordref->srtext);
  sref->coordref->srtext = nullptr;
  SgCoordRefFree(sref->coordref);
  sref->coordref = nullptr;
}

void db_spatial_ref_free_list(SE_SPATIALREF* refs, int32_t count) {
  if (refs == nullptr) return;
  for (int32_t i = 0; i < count; ++i) db_spatial_ref_release(&refs[i]);
  free(refs);
}

// ---- coordinate systems ----------------------------------------------------------------------

int32_t S_db_odbc_get_scid(DB_INSTANCE* instance, const char* text, int32_t* scid) {
  char cref[SE_DB_QUALIFIED_LEN];
  db_make_gse_coord_ref_name(instance, cref);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, "select scid from %s where srtext = ?", cref);
  const char* value = text_or_unknown(text);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_open_cursor(instance, nullptr, &stmt);
  if (status != 0) return SE_DB_IO_ERROR;
  SQLINTEGER found = 0;
  SQLLEN ind = 0, tind = SQL_NTS;
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kTextLen, 0,
                          (SQLPOINTER)value, 0, &tind);
  if (ok(rc)) rc = SQLBindCol(stmt, 1, SQL_C_LONG, &found, 0, &ind);
  if (ok(rc)) rc = SQLExecute(stmt);
  if (ok(rc)) rc = SQLFetch(stmt);
  if (!ok(rc) && rc != SQL_NO_DATA) {
    fprintf(stderr, "S_db_odbc_get_scid() Execute error (%d).\n", (int)rc);
    report_cli(instance, &stmt, rc);
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&stmt);
  if (rc == SQL_NO_DATA || ind == SQL_NULL_DATA) return SE_SRID_NOT_FOUND;
  *scid = found;
  return 0;
}

int32_t db_gse_create_coord_ref(DB_INSTANCE* instance, const char* text, int32_t* scid) {
  const char* value = text_or_unknown(text);
  if (strnlen(value, SE_SREF_SRTEXT_LEN) >= SE_SREF_SRTEXT_LEN) return SE_INVALID_PARAM;
  char cref[SE_DB_QUALIFIED_LEN];
  db_make_gse_coord_ref_name(instance, cref);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (db_open_cursor(instance, nullptr, &stmt) != 0) return SE_DB_IO_ERROR;
  bool locked = false;
  int32_t id = 0;
  int32_t status = next_id(instance, &stmt, cref, "scid", &id, &locked);
  SQLRETURN rc = SQL_SUCCESS;
  if (status == 0) {
    char sql[SE_DB_QUALIFIED_LEN + 160];
    snprintf(sql, sizeof sql,
             "insert into %s (scid, sc_name, auth_name, auth_srid, desc, srtext) values ( %d, "
             "'CREF_%d', NULL,NULL,NULL,?)",
             cref, (int)id, (int)id);
    SQLLEN tind = SQL_NTS;
    rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
    if (ok(rc))
      rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kTextLen, 0,
                            (SQLPOINTER)value, 0, &tind);
    if (ok(rc)) rc = SQLExecute(stmt);
  }
  if (status != 0 || !ok(rc)) {
    if (status == 0) report_cli(instance, &stmt, rc);
    db_free_stmt(&stmt);
    if (locked) db_commit_ddlsql(instance);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&stmt);
  if (db_commit_ddlsql(instance) != 0) return SE_DB_IO_ERROR;
  *scid = id;
  return 0;
}

// ---- enabling and disabling ------------------------------------------------------------------

int32_t db_gse_create_sref(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* srid) {
  // 1.
  int32_t scid = 0;
  int32_t status = find_or_make_scid(instance, coordref, &scid);
  if (status != 0) return status;
  // 2.
  char sref[SE_DB_QUALIFIED_LEN];
  db_make_gse_spatial_ref_name(instance, sref);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (db_open_cursor(instance, nullptr, &stmt) != 0) return SE_DB_IO_ERROR;
  bool locked = false;
  int32_t id = 0;
  status = next_id(instance, &stmt, sref, "srid", &id, &locked);
  if (status != 0) {
    // 5.
    db_free_stmt(&stmt);
    if (locked) db_commit_ddlsql(instance);
    return SE_DB_IO_ERROR;
  }
  // 3., 4.
  db_free_stmt(&stmt);
  status = enable_call(instance, id, coordref, scid, true);
  if (status == 0) *srid = id;
  return status;
}

int32_t db_gse_enable_sref(DB_INSTANCE* instance, int32_t srid, const COORDREF* coordref,
                           int32_t scid) {
  if (instance == nullptr || coordref == nullptr) return SE_INVALID_POINTER;
  return enable_call(instance, srid, coordref, scid, false);
}

int32_t db_gse_disable_sref(DB_INSTANCE* instance, int32_t srid) {
  char sql[64];
  snprintf(sql, sizeof sql, "call %s!gse_disable_sref(?,?,?)", kGseSchema);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (db_open_cursor(instance, nullptr, &stmt) != 0) return SE_DB_IO_ERROR;
  int32_t srid_value = srid;
  SQLINTEGER code = 0;
  char text[SE_GSE_MSG_LEN] = "";
  SQLLEN ind[3] = {0, 0, 0};
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid_value,
                          0, &ind[0]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0,
                          &ind[1]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 3, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR,
                          SE_GSE_MSG_LEN - 1, 0, text, sizeof text, &ind[2]);
  if (ok(rc)) rc = SQLExecute(stmt);
  if (!ok(rc)) {
    report_cli(instance, &stmt, rc);
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  text[sizeof text - 1] = '\0';
  int32_t status = 0;
  if (ind[1] != SQL_NULL_DATA && code != 0) {
    db_gse_report_error(instance, stmt, code, "gse_disable_sref", text);
    if (code != kCodeRemark) {
      db_rollback_ddlsql(instance);
      status = code == kCodeNoSrid ? SE_SPATIALREF_NOEXIST
               : code == kCodeInUse ? SE_SPATIALREF_IN_USE
                                    : SE_DB_IO_ERROR;
    }
  }
  db_free_stmt(&stmt);
  return status;
}

int32_t db_spatial_ref_replace(DB_INSTANCE* instance, int32_t srid, const COORDREF* coordref) {
  // The coordinate system first: making one commits.
  int32_t scid = 0;
  int32_t status = find_or_make_scid(instance, coordref, &scid);
  if (status != 0) return status;
  status = db_gse_disable_sref(instance, srid);
  if (status != 0) return status;
  status = db_gse_enable_sref(instance, srid, coordref, scid);
  // the removal must not outlive a failed re-creation
  if (status != 0) db_rollback_ddlsql(instance);
  return status;
}

// ---- finding and reading ---------------------------------------------------------------------

int32_t db_spatial_ref_find(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* srid) {
  // A reference without a text is stored as "UNKNOWN": look it up so.
  COORDREF probe = *coordref;
  probe.srtext = const_cast<char*>(text_or_unknown(coordref->srtext));
  int32_t status = db_get_srid(instance, nullptr, &probe, srid);
  return status == SE_SRID_NOT_FOUND ? SE_SPATIALREF_NOEXIST : status;
}

int32_t db_spatial_ref_select(DB_INSTANCE* instance, const char* condition, SE_SPATIALREF** refs,
                              int32_t* count) {
  *refs = nullptr;
  *count = 0;
  // 1.
  char sref[SE_DB_QUALIFIED_LEN], cref[SE_DB_QUALIFIED_LEN];
  db_make_gse_spatial_ref_name(instance, sref);
  db_make_gse_coord_ref_name(instance, cref);
  char sql[2 * SE_DB_QUALIFIED_LEN + 512];
  int n = snprintf(sql, sizeof sql,
                   "SELECT  sr.srid, cr.desc, cr.auth_name, cr.auth_srid, sr.falsex, sr.falsey, "
                   "sr.xyunits, sr.falsez, sr.zunits, sr.falsem, sr.munits, cr.srtext FROM %s sr, "
                   "%s cr WHERE sr.scid = cr.scid",
                   sref, cref);
  if (condition != nullptr && condition[0] != '\0')
    n += snprintf(sql + n, sizeof sql - (size_t)n, " AND %s", condition);
  if (n < 0 || (size_t)n >= sizeof sql) return SE_INVALID_PARAM;

  // 2.
  std::unique_ptr<Rowset, decltype(&free)> b(static_cast<Rowset*>(calloc(1, sizeof(Rowset))),
                                             &free);
  if (!b) return SE_OUT_OF_DBMS_MEM;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (db_open_cursor(instance, nullptr, &stmt) != 0) return SE_DB_IO_ERROR;
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc))
    rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
  if (ok(rc)) rc = SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)SE_SREF_ROWSET, 0);
  if (ok(rc)) rc = SQLBindCol(stmt, 1, SQL_C_LONG, b->srid, 0, b->ind[0]);
  if (ok(rc)) rc = SQLBindCol(stmt, 2, SQL_C_CHAR, b->desc, kDescLen, b->ind[1]);
  if (ok(rc)) rc = SQLBindCol(stmt, 3, SQL_C_CHAR, b->auth, kAuthLen, b->ind[2]);
  if (ok(rc)) rc = SQLBindCol(stmt, 4, SQL_C_LONG, b->auth_srid, 0, b->ind[3]);
  for (SQLUSMALLINT k = 0; k < 7 && ok(rc); ++k)
    rc = SQLBindCol(stmt, (SQLUSMALLINT)(5 + k), SQL_C_DOUBLE, b->num[k], 0, b->ind[4 + k]);
  if (ok(rc)) rc = SQLBindCol(stmt, 12, SQL_C_CHAR, b->text, kTextLen, b->ind[11]);
  // 3.
  if (ok(rc)) rc = SQLExecute(stmt);
  SE_SPATIALREF* out = nullptr;
  int32_t have = 0;
  int32_t status = 0;
  while (ok(rc) && status == 0) {
    SQLULEN fetched = 0;
    rc = SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, b->row_status);
    if (!ok(rc)) break;
    if (fetched > SE_SREF_ROWSET) fetched = SE_SREF_ROWSET;
    if (fetched == 0) continue;
    auto* grown = static_cast<SE_SPATIALREF*>(
        realloc(out, (size_t)(have + (int32_t)fetched) * sizeof(SE_SPATIALREF)));
    if (grown == nullptr) {
      status = SE_OUT_OF_DBMS_MEM;
      break;
    }
    out = grown;
    // 4.
    for (SQLULEN i = 0; i < fetched && status == 0; ++i) {
      b->desc[i][kDescLen - 1] = '\0';
      b->auth[i][kAuthLen - 1] = '\0';
      b->text[i][kTextLen - 1] = '\0';
      status = fill_record(*b, (int)i, &out[have]);
      ++have;   // a record filled in part still owns what it holds
    }
  }
  // 5.
  if (status == 0 && rc != SQL_NO_DATA && !ok(rc)) {
    report_cli(instance, &stmt, rc);
    status = SE_DB_IO_ERROR;
  }
  db_free_stmt(&stmt);
  if (status != 0) {
    db_spatial_ref_free_list(out, have);
    return status;
  }
  *refs = out;
  *count = have;
  return 0;
}

// ---- exported operations -------------------------------------------------------------------

int32_t DB_spatial_ref_create(DB_INSTANCE* instance, SE_SPATIALREF* sref) {
  DB_instance_clear_xerr(instance);
  if (instance == nullptr || sref == nullptr || sref->coordref == nullptr)
    return SE_INVALID_POINTER;
  // 1.
  int32_t srid = 0;
  int32_t status = db_spatial_ref_find(instance, sref->coordref, &srid);
  // 2.
  if (status == 0) {
    sref->srid = srid;
    return SE_SPATIALREF_EXISTS;
  }
  // 3.
  if (status == SE_SPATIALREF_NOEXIST) status = db_gse_create_sref(instance, sref->coordref, &srid);
  sref->srid = status == 0 ? srid : 0;
  return status;
}

int32_t DB_spatial_ref_alter(DB_INSTANCE* instance, SE_SPATIALREF* sref) {
  DB_instance_clear_xerr(instance);
  if (instance == nullptr || sref == nullptr || sref->coordref == nullptr)
    return SE_INVALID_POINTER;
  return db_spatial_ref_replace(instance, sref->srid, sref->coordref);
}

int32_t DB_spatial_ref_delete(DB_INSTANCE* instance, int32_t srid) {
  DB_instance_clear_xerr(instance);
  if (instance == nullptr) return SE_INVALID_POINTER;
  int32_t status = db_gse_disable_sref(instance, srid);
  // a removal that was not committed did not happen
  int32_t committed = db_ddl_commit(instance);
  return status == 0 && committed != 0 ? SE_DB_IO_ERROR : status;
}

int32_t DB_spatial_ref_get_info(DB_INSTANCE* instance, int32_t srid, SE_SPATIALREF* sref) {
  DB_instance_clear_xerr(instance);
  if (instance == nullptr || sref == nullptr) return SE_INVALID_POINTER;
  char condition[32];
  snprintf(condition, sizeof condition, "srid = %d", (int)srid);
  SE_SPATIALREF* refs = nullptr;
  int32_t count = 0;
  int32_t status = db_spatial_ref_select(instance, condition, &refs, &count);
  if (status != 0) return status;
  if (count == 0) {
    db_spatial_ref_free_list(refs, count);
    return SE_SPATIALREF_NOEXIST;
  }
  db_spatial_ref_release(sref);
  int32_t word = sref->local_word;
  *sref = refs[0];
  sref->local_word = word;
  refs[0].coordref = nullptr;
  db_spatial_ref_free_list(refs, count);
  return 0;
}

int32_t DB_spatial_ref_get_info_list(DB_INSTANCE* instance, SE_SPATIALREF** refs,
                                     int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (instance == nullptr || refs == nullptr || count == nullptr) return SE_INVALID_POINTER;
  return db_spatial_ref_select(instance, nullptr, refs, count);
}
