// db_gse_register.cpp -- registration of a layer's spatial column with the
// Spatial Extender (gse_register_layer, gse_unregist_layer) and the error
// report shared by every Spatial Extender procedure call.
//
// A procedure answers through its two last arguments, a message code and a
// message text: 0 (or NULL) is plain success, 1 success with a remark that is
// still reported; the registration also accepts -6 (already registered).
// Names reach the procedures only as bound values.
//
// Relies on the statement layer and reporters (dbsql_io.h), the layer cache
// (DB_layer_get_info, for the base layer of a view layer) and the SQLCA and
// message formatter of the database client (SQLGetSQLCA, sqlaintp_api).
#include <stdio.h>
#include <string.h>

#include "dbsql_io.h"
#include "sql_esql.h"
#include "zul_db_layer.h"
#include "zul_db_sref.h"

namespace {

constexpr const char* kGseSchema = "db2gse";
// Entity flags naming the shape kinds of a layer.
constexpr int32_t kPointKind = 0x2;
constexpr int32_t kLineKinds = 0x4 | 0x8;
constexpr int32_t kAreaKind = 0x10;
constexpr int32_t kMultiFlag = 0x40000;
// Message codes of the procedures.
constexpr int32_t kCodeRemark = 1;
constexpr int32_t kCodeRegistered = -6;
constexpr int32_t kCodeBadColumn = -8;
// Longest name a procedure takes, NUL included.
constexpr size_t kNameCap = 161;

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A field of a record that may fill its array, as a terminated text.
void copy_field(char* out, size_t cap, const char* field, size_t field_size) {
  size_t n = strnlen(field, field_size);
  if (n >= cap) n = cap - 1;
  memcpy(out, field, n);
  out[n] = '\0';
}

SQLRETURN bind_text(SQLHSTMT stmt, SQLUSMALLINT pos, const char* text, SQLLEN* ind) {
  *ind = SQL_NTS;
  return SQLBindParameter(stmt, pos, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kNameCap - 1, 0,
                          (SQLPOINTER)text, 0, ind);
}

// The geometry type code of a layer's entity flags: 1 point, 3 line,
// 5 area, 7, 9, 11 their multi forms, 0 for none or more than one kind.
// (Stands in for the layer verification's own mapping until that is built.)
int32_t gse_geometry_code_from_flags(int32_t flags) {
  int kinds = ((flags & kPointKind) != 0) + ((flags & kLineKinds) != 0) +
              ((flags & kAreaKind) != 0);
  if (kinds != 1) return 0;
  int32_t code = (flags & kPointKind) != 0 ? 1 : (flags & kLineKinds) != 0 ? 3 : 5;
  return (flags & kMultiFlag) != 0 ? code + 6 : code;
}

// Records a CLI failure of stmt on the instance.
void report_cli(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc, DB_DIAG_RECORD* out) {
  DB_DIAG_RECORD d = db_get_diag_record(instance, stmt, rc);
  db_report_dbms_error(instance, d);
  if (out != nullptr) *out = d;
}

}  // namespace

const char* db_gse_type_name(int32_t code) {
  static const char* const kNames[] = {
      "ST_GEOMETRY",     "ST_POINT",          "ST_CURVE",       "ST_LINESTRING",
      "ST_SURFACE",      "ST_POLYGON",        "ST_GEOMCOLLECTION", "ST_MULTIPOINT",
      "ST_MULTICURVE",   "ST_MULTILINESTRING", "ST_MULTISURFACE", "ST_MULTIPOLYGON"};
  if (code < 1 || code > 11) return kNames[0];
  return kNames[code];
}

void db_gse_report_error(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t code, const char* proc,
                         const char* text) {
  struct sqlca ca;
  memset(&ca, 0, sizeof ca);
  char message[SE_GSE_MSG_LEN] = "";
  char state[6] = "";
  if (SQLGetSQLCA(instance != nullptr ? instance->henv : SQL_NULL_HENV,
                  instance != nullptr ? instance->hdbc : SQL_NULL_HDBC, stmt, &ca) == SQL_SUCCESS) {
    if (ca.sqlcode != 0) sqlaintp_api(message, (short)sizeof message, 75, "db2gse.mo", &ca);
    memcpy(state, ca.sqlstate, 5);
    state[5] = '\0';
  }
  // The CALL itself succeeded: the procedure's own text tells what failed.
  if (message[0] == '\0' && text != nullptr) snprintf(message, sizeof message, "%s", text);
  fprintf(stderr, "\nError executing stored procedure: %s!%s\n", kGseSchema,
          proc != nullptr ? proc : "");
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = SE_DB_IO_ERROR;
  d.native = code;
  snprintf(d.sqlstate, sizeof d.sqlstate, "%s", state);
  snprintf(d.message, sizeof d.message, "%s", message);
  db_report_dbms_error(instance, d);
}

int32_t db_gse_register_layer(DB_INSTANCE* instance, const LAYER* layer, int32_t srid) {
  if (instance == nullptr || layer == nullptr) return SE_INVALID_POINTER;
  // 1.
  char sql[160];
  snprintf(sql, sizeof sql,
           "call %s!gse_register_layer (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", kGseSchema);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_open_cursor(instance, nullptr, &stmt);
  if (status == 0) {
    status = db_prepare_sql_text(stmt, sql);
    if (status != 0) report_cli(instance, &stmt, (SQLRETURN)status, nullptr);
  }
  if (status != 0) {
    db_free_stmt(&stmt);
    return status;
  }

  // 2.
  char owner[kNameCap], table[kNameCap], column[kNameCap];
  copy_field(owner, sizeof owner, layer->owner, sizeof layer->owner);
  copy_field(table, sizeof table, layer->table, sizeof layer->table);
  copy_field(column, sizeof column, layer->spatial_column, sizeof layer->spatial_column);
  const char* type_name = db_gse_type_name(gse_geometry_code_from_flags(layer->entity_flags));
  char base_owner[kNameCap], base_table[kNameCap], base_column[kNameCap];
  if (layer->base_layer_id != 0) {
    LAYER* base = nullptr;
    status = DB_layer_get_info(instance, nullptr, layer->base_layer_id, &base);
    if (status != 0 || base == nullptr) {
      DB_DIAG_RECORD d;
      memset(&d, 0, sizeof d);
      d.rc = status;
      d.native = status;
      snprintf(d.message, sizeof d.message,
               "db_gse_register_layer: base layer %d of the view layer cannot be read (%d)",
               (int)layer->base_layer_id, (int)status);
      db_report_dbms_error(instance, d);
      db_free_stmt(&stmt);
      return SE_DB_IO_ERROR;
    }
    copy_field(base_owner, sizeof base_owner, base->owner, sizeof base->owner);
    copy_field(base_table, sizeof base_table, base->table, sizeof base->table);
    copy_field(base_column, sizeof base_column, base->spatial_column, sizeof base->spatial_column);
  } else {
    memcpy(base_owner, owner, sizeof owner);
    memcpy(base_table, table, sizeof table);
    memcpy(base_column, column, sizeof column);
  }
  int32_t srid_value = srid;
  SQLSMALLINT zero = 0;
  SQLINTEGER code = 0;
  char text[SE_GSE_MSG_LEN] = "";
  SQLLEN ind[21];
  for (SQLLEN& i : ind) i = 0;
  SQLRETURN rc = bind_text(stmt, 1, owner, &ind[0]);
  if (ok(rc)) rc = bind_text(stmt, 2, table, &ind[1]);
  if (ok(rc)) rc = bind_text(stmt, 3, column, &ind[2]);
  if (ok(rc)) rc = bind_text(stmt, 4, type_name, &ind[3]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid_value, 0,
                          &ind[4]);
  if (ok(rc)) rc = bind_text(stmt, 6, base_owner, &ind[5]);
  if (ok(rc)) rc = bind_text(stmt, 7, base_table, &ind[6]);
  if (ok(rc)) rc = bind_text(stmt, 8, base_column, &ind[7]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 9, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, &zero, 0,
                          &ind[8]);
  static const char kNothing[1] = "";
  for (SQLUSMALLINT p = 10; p <= 19 && ok(rc); ++p) {
    ind[p - 1] = SQL_NULL_DATA;
    rc = SQLBindParameter(stmt, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0,
                          (SQLPOINTER)kNothing, 0, &ind[p - 1]);
  }
  if (ok(rc))
    rc = SQLBindParameter(stmt, 20, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0,
                          &ind[19]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 21, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR,
                          SE_GSE_MSG_LEN - 1, 0, text, sizeof text, &ind[20]);

  // 3.
  if (ok(rc)) rc = SQLExecute(stmt);
  if (!ok(rc)) {
    // 4.
    DB_DIAG_RECORD d;
    report_cli(instance, &stmt, rc, &d);
    db_free_stmt(&stmt);
    return strcmp(d.sqlstate, "23512") == 0 ? SE_INVALID_SPATIAL_COLUMN : SE_DB_IO_ERROR;
  }
  text[sizeof text - 1] = '\0';
  if (ind[19] != SQL_NULL_DATA && code != 0) {
    db_gse_report_error(instance, stmt, code, "gse_register_layer", text);
    if (code != kCodeRemark && code != kCodeRegistered) {
      db_rollback_ddlsql(instance);
      db_free_stmt(&stmt);
      return code == kCodeBadColumn ? SE_INVALID_SPATIAL_COLUMN : SE_DB_IO_ERROR;
    }
  }
  db_free_stmt(&stmt);
  return 0;
}

int32_t db_gse_unregister_layer(DB_INSTANCE* instance, const char* owner, const char* table,
                                const char* column) {
  if (instance == nullptr || owner == nullptr || table == nullptr || column == nullptr)
    return SE_INVALID_POINTER;
  // 1.
  char sql[80];
  snprintf(sql, sizeof sql, "call %s!gse_unregist_layer (?,?,?,?,?)", kGseSchema);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_open_cursor(instance, nullptr, &stmt);
  if (status != 0) {
    db_free_stmt(&stmt);
    return status;
  }
  // A name too long for the procedure is refused, never cut to another name.
  char names[3][kNameCap];
  const char* given[3] = {owner, table, column};
  for (int i = 0; i < 3; ++i) {
    if (strnlen(given[i], kNameCap) >= kNameCap) {
      db_free_stmt(&stmt);
      return SE_INVALID_PARAM;
    }
    copy_field(names[i], kNameCap, given[i], kNameCap);
  }
  SQLINTEGER code = 0;
  char text[SE_GSE_MSG_LEN] = "";
  SQLLEN ind[5] = {0, 0, 0, 0, 0};
  SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)sql, SQL_NTS);
  for (SQLUSMALLINT p = 1; p <= 3 && ok(rc); ++p) rc = bind_text(stmt, p, names[p - 1], &ind[p - 1]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 4, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0,
                          &ind[3]);
  if (ok(rc))
    rc = SQLBindParameter(stmt, 5, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR,
                          SE_GSE_MSG_LEN - 1, 0, text, sizeof text, &ind[4]);
  // 2.
  if (ok(rc)) rc = SQLExecute(stmt);
  if (!ok(rc)) {
    // 4.
    report_cli(instance, &stmt, rc, nullptr);
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  // A registration whose removal was not committed is still there.
  if (db_commit_ddlsql(instance) != 0) {
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  // 3.
  text[sizeof text - 1] = '\0';
  if (ind[3] != SQL_NULL_DATA && code != 0) {
    db_gse_report_error(instance, stmt, code, "gse_unregist_layer", text);
    if (code != kCodeRemark) {
      db_rollback_ddlsql(instance);
      db_free_stmt(&stmt);
      return SE_DB_IO_ERROR;
    }
  }
  db_free_stmt(&stmt);
  return 0;
}
