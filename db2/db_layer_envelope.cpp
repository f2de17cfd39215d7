// db_layer_envelope.cpp -- the envelope (minimum and maximum x and y) and
// the z range of a layer's shapes: of the whole layer, of the rows a query
// construct selects, of one row, or of the rows a log file lists; and the
// setting of a layer's spatial column to NULL.
//
// The values are aggregates of the Spatial Extender's shape methods
// (..Xmin, ..Ymin, ..Xmax, ..Ymax, ..Zmin, ..Zmax) computed by the database.
// An envelope over no rows is inverted: minimum x and y 2147483647.0,
// everything else 0. Relies on the statement layer (dbsql_io.h), the layer
// reader and the object-name builders.
//
// The multiversion sub-selects of versioned tables belong to the versioning
// module, which is not built yet: a query that carries a multiversion
// description answers SE_NOT_BUILT_YET.
#include <stdio.h>
#include <string.h>

#include <string>

#include "db_table_private.h"
#include "svr_services.h"

using dbt::guarded;
using dbt::ok;
using dbt::Stmt;

namespace {

constexpr double kInvertedMin = 2147483647.0;

void init_outputs(SE_ENVELOPE* env, double* zmin, double* zmax) {
  env->minx = env->miny = kInvertedMin;
  env->maxx = env->maxy = 0;
  *zmin = *zmax = 0;
}

int32_t mv_not_built(const MV_QUERY* mv) {
  if (mv == nullptr) return 0;
  fprintf(stderr, "multiversion envelope queries: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}

// The text of an envelope query over the construct, restricted to the
// log file's rows when one is given.
int32_t build_envelope_query(DB_INSTANCE* instance, const LAYER* layer,
                             const SQL_CONSTRUCT* construct, const LOGFILE* logfile,
                             std::string* out) {
  std::string o = dbt::field(layer->owner), t = dbt::field(layer->table),
              s = dbt::field(layer->spatial_column);
  const char* where = construct != nullptr ? db_sql_strip_where(construct->where) : nullptr;
  std::string list;
  if (logfile != nullptr) {
    char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
    std::string name = dbt::field(logfile->name);
    db_parse_table_name(instance, name.c_str(), instance->current_user, db, owner, table);
    char data[SE_DB_QUALIFIED_LEN];
    db_make_logfile_data_table_name(instance, db, owner, data);
    char buf[SE_DB_QUALIFIED_LEN * 2 + 128];
    snprintf(buf, sizeof buf, " (SELECT DISTINCT zul_row_id FROM %s WHERE %s.logfile_data_id = %d) LF_, ",
             data, data, (int)logfile->data_id);
    list += buf;
  }
  bool names_layer = false;
  for (int32_t i = 0; construct != nullptr && i < construct->num_tables; ++i) {
    const char* entry = construct->tables[i];
    if (entry == nullptr) return SE_INVALID_PARAM;
    if (db_table_name_matches(instance, entry, dbt::field(layer->database).c_str(), o.c_str(),
                              t.c_str())) {
      names_layer = true;
      continue;
    }
    list += dbt::upcase(instance, entry, strlen(entry) + 1) + ", ";
  }
  (void)names_layer;  // the layer's table stands in the list in any case
  list += o + "." + t + ", ";
  list.resize(list.size() - 2);

  std::string col = o + "." + t + "." + s;
  std::string sql = "SELECT min(" + col + "..Xmin),min(" + col + "..Ymin),max(" + col +
                    "..Xmax),max(" + col + "..Ymax),min(" + col + "..Zmin),max(" + col +
                    "..Zmax) FROM " + list + " ";
  if (where != nullptr || logfile != nullptr) {
    sql += " where ";
    if (where != nullptr) sql += std::string(" (") + where + ")";
    if (logfile != nullptr) {
      if (where != nullptr) sql += " and ";
      const REGISTRATION& r = logfile->registration;
      sql += " ( LF_.zul_row_id = " + dbt::field(r.owner) + "." + dbt::field(r.table) + "." +
             dbt::field(r.rowid_column) + " )";
    }
  }
  *out = sql;
  return 0;
}

// Runs an envelope query; row_id, when not null, is bound as parameter 1.
int32_t exec_envelope(DB_INSTANCE* instance, const std::string& sql, const int32_t* row_id,
                      SE_ENVELOPE* env, double* zmin, double* zmax) {
  const char* who = row_id != nullptr ? "DB_exec_get_row_envelope()" : "DB_exec_get_envelope()";
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  SQLINTEGER id = row_id != nullptr ? *row_id : 0;
  SQLLEN id_ind = 0;
  if (rc == 0 && row_id != nullptr)
    rc = SQLBindParameter(st.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &id_ind);
  if (ok(rc)) rc = SQLExecute(st.h);
  double v[6] = {0};
  SQLLEN ind[6] = {0};
  for (int i = 0; i < 6 && ok(rc); ++i)
    rc = SQLBindCol(st.h, (SQLUSMALLINT)(i + 1), SQL_C_DOUBLE, &v[i], 0, &ind[i]);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (rc == SQL_NO_DATA) return 0;
  if (!ok(rc)) {
    DB_DIAG_RECORD d = st.h != SQL_NULL_HSTMT ? db_get_diag_record(instance, &st.h, rc)
                                              : db_get_diag_record(instance, nullptr, rc);
    if (dbt::state_is(d, "42S02")) return SE_LAYER_NOEXIST;
    if (dbt::state_is(d, "42S22") || dbt::state_is(d, "37000")) {
      fprintf(stderr, "%s SQL Error(%s).\n", who, sql.c_str());
      return SE_SQL_SYNTAX;
    }
    db_report_dbms_error(instance, d);
    fprintf(stderr, "%s Error(%d).\n", who, (int)rc);
    return SE_DB_IO_ERROR;
  }
  // an aggregate over no rows is NULL and leaves its output as it was
  double* outs[6] = {&env->minx, &env->miny, &env->maxx, &env->maxy, zmin, zmax};
  for (int i = 0; i < 6; ++i)
    if (ind[i] != SQL_NULL_DATA) *outs[i] = v[i];
  return 0;
}

// The envelope of every shape of the layer's table.
int32_t full_envelope(DB_INSTANCE* instance, const LAYER* given, SE_ENVELOPE* env, double* zmin,
                      double* zmax) {
  init_outputs(env, zmin, zmax);
  LAYER* layer = nullptr;
  int32_t status = DB_layer_get_info(instance, nullptr, given->id, &layer);
  if (status != 0) return status;
  std::string s = dbt::field(layer->spatial_column);
  char table[SE_DB_QUALIFIED_LEN];
  db_layer_qualified_table_name(layer, table);
  std::string sql = "SELECT min(" + s + "..Xmin),min(" + s + "..Ymin),max(" + s + "..Xmax),max(" +
                    s + "..Ymax) FROM " + table + " ";
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  double v[4] = {0};
  SQLLEN ind[4] = {0};
  for (int i = 0; i < 4 && ok(rc); ++i)
    rc = SQLBindCol(st.h, (SQLUSMALLINT)(i + 1), SQL_C_DOUBLE, &v[i], 0, &ind[i]);
  if (ok(rc)) rc = SQLFetch(st.h);
  if (rc == SQL_NO_DATA) {
    fprintf(stderr, "DB_exec_get_envelope() Error fetching. (%d)\n", (int)rc);
    return 0;
  }
  if (!ok(rc)) {
    DB_DIAG_RECORD d = st.h != SQL_NULL_HSTMT ? db_get_diag_record(instance, &st.h, rc)
                                              : db_get_diag_record(instance, nullptr, rc);
    if (dbt::state_is(d, "42S02")) return SE_LAYER_NOEXIST;
    if (dbt::state_is(d, "42S22") || dbt::state_is(d, "37000")) return SE_SQL_SYNTAX;
    db_report_dbms_error(instance, d);
    fprintf(stderr, "DB_spix_get_envelope()  Error(%d).\n", (int)rc);
    return SE_DB_IO_ERROR;
  }
  double* outs[4] = {&env->minx, &env->miny, &env->maxx, &env->maxy};
  for (int i = 0; i < 4; ++i)
    if (ind[i] != SQL_NULL_DATA) *outs[i] = v[i];
  return 0;
}

bool args_ok(const LAYER* layer, const SE_ENVELOPE* env, const double* zmin, const double* zmax) {
  return layer != nullptr && env != nullptr && zmin != nullptr && zmax != nullptr;
}

// One UPDATE ... SET S = NULL: 0, 100 when it changed no row, or the
// mapped failure (printed).
int32_t null_column(DB_INSTANCE* instance, const std::string& sql) {
  Stmt st;
  int32_t rc = db_prepare_stmt(instance, nullptr, &st.h, sql.c_str());
  if (rc == 0) rc = SQLExecute(st.h);
  if (ok(rc)) {
    st.drop();
    return db_commit_ddlsql(instance);
  }
  if (rc == SQL_NO_DATA) return SE_DB_NO_DATA;
  DB_DIAG_RECORD d = dbt::report(instance, &st.h, rc);
  int32_t status = SE_DB_IO_ERROR;
  if (dbt::state_is(d, "42S02") || dbt::state_is(d, "42704")) status = SE_TABLE_NOEXIST;
  else if (dbt::state_is(d, "42S22")) status = SE_ATTR_NOEXIST;
  else if (dbt::state_is(d, "42501") || dbt::state_is(d, "42502")) status = SE_NO_PERMISSIONS;
  fprintf(stderr, "DB_layer_null_spatial_column() Error executing SQL (%d).\n", (int)status);
  return status;
}

}  // namespace

int32_t DB_layer_calculate_envelope(DB_INSTANCE* instance, const LAYER* layer,
                                    const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                                    int32_t whole_layer, SE_ENVELOPE* envelope, double* zmin,
                                    double* zmax) {
  return guarded([&]() -> int32_t {
    instance->xerr.code = 0;
    if (!args_ok(layer, envelope, zmin, zmax)) return SE_INVALID_POINTER;
    if (whole_layer && mv == nullptr) return full_envelope(instance, layer, envelope, zmin, zmax);
    int32_t status = mv_not_built(mv);
    if (status != 0) return status;
    std::string sql;
    status = build_envelope_query(instance, layer, construct, nullptr, &sql);
    if (status != 0) return status;
    init_outputs(envelope, zmin, zmax);
    return exec_envelope(instance, sql, nullptr, envelope, zmin, zmax);
  });
}

int32_t DB_layer_calculate_row_envelope(DB_STREAM* stream, const LAYER* layer,
                                        const SQL_CONSTRUCT* construct, int32_t whole_layer,
                                        SE_ENVELOPE* envelope, double* zmin, double* zmax,
                                        int32_t row_id) {
  if (stream == nullptr || stream->instance == nullptr) return SE_INVALID_POINTER;
  DB_INSTANCE* instance = stream->instance;
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    DB_stream_clear_xerr(stream);
    if (!args_ok(layer, envelope, zmin, zmax)) return SE_INVALID_POINTER;
    if (whole_layer) return full_envelope(instance, layer, envelope, zmin, zmax);
    std::string sql;
    int32_t status = build_envelope_query(instance, layer, construct, nullptr, &sql);
    if (status != 0) return status;
    init_outputs(envelope, zmin, zmax);
    return exec_envelope(instance, sql, &row_id, envelope, zmin, zmax);
  });
}

int32_t DB_envelope_get_by_logfile(DB_INSTANCE* instance, const LAYER* layer,
                                   const LOGFILE* logfile, const SQL_CONSTRUCT* construct,
                                   const MV_QUERY* mv, SE_ENVELOPE* envelope, double* zmin,
                                   double* zmax) {
  return guarded([&]() -> int32_t {
    DB_instance_clear_xerr(instance);
    if (!args_ok(layer, envelope, zmin, zmax) || logfile == nullptr) return SE_INVALID_POINTER;
    int32_t status = mv_not_built(mv);
    if (status != 0) return status;
    std::string sql;
    status = build_envelope_query(instance, layer, construct, logfile, &sql);
    if (status != 0) return status;
    init_outputs(envelope, zmin, zmax);
    return exec_envelope(instance, sql, nullptr, envelope, zmin, zmax);
  });
}

int32_t DB_layer_null_spatial_column(DB_INSTANCE* instance, const LAYER* layer,
                                     const REGISTRATION* reg, const char* where) {
  return guarded([&]() -> int32_t {
    if (layer == nullptr || reg == nullptr) return SE_INVALID_POINTER;
    char table[SE_DB_QUALIFIED_LEN];
    db_layer_qualified_table_name(layer, table);
    std::string s = dbt::field(layer->spatial_column);
    std::string sql = std::string("UPDATE ") + table + " SET " + s + " = NULL";
    bool has_where = where != nullptr && where[0] != '\0';
    if (has_where) sql += std::string(" WHERE ") + where;
    int32_t status = null_column(instance, sql);
    if ((reg->flags & SE_REG_MULTIVERSION) == 0) return status == SE_DB_NO_DATA ? 0 : status;
    // The rows of a versioned layer may live only in the adds table, so it
    // is cleared even when the base table held no matching row.
    char adds[SE_DB_QUALIFIED_LEN];
    std::string owner = dbt::field(reg->owner);
    db_make_adds_table_name(instance, reg->id, "", owner.c_str(), adds);
    sql = std::string("UPDATE ") + adds + " SET  " + s + " = NULL";
    if (has_where) sql += std::string(" WHERE ") + where;
    status = null_column(instance, sql);
    return status == SE_DB_NO_DATA ? 0 : status;
  });
}
