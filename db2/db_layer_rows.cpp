// db_layer_rows.cpp -- the rows of the layers table, changed only through
// the stored procedures of ZULSRVSP: insert, delete, update, widening the
// extent and renaming the table of a layer; finding or creating the srid of
// a layer's coordinate reference on the way, registering and unregistering
// the column with the Spatial Extender, and keeping the layer cache in step.
//
// Relies on the statement layer, the procedure-name and message-code
// services of the access core, the srid lookup and the spatial references
// and column registration of zul_db_sref.h.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_install.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_sref.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }
#define FIELD(x) field(x, sizeof(x))

const int32_t kMessageCode20019 = -20019;

// The input parameters of one procedure call, bound by position, followed by
// the message code and message text outputs.
class Call {
 public:
  // A text of the stated size; NULL when empty and null_when_empty is set.
  void text(const std::string& value, SQLULEN size, bool null_when_empty = false) {
    Param p;
    p.kind = 0;
    p.text = value.substr(0, size);
    p.size = size;
    p.ind = (null_when_empty && value.empty()) ? SQL_NULL_DATA : SQL_NTS;
    params_.push_back(p);
  }
  void integer(int32_t value, bool null = false) {
    Param p;
    p.kind = 1;
    p.i = value;
    p.ind = null ? SQL_NULL_DATA : 0;
    params_.push_back(p);
  }
  void real(double value) {
    Param p;
    p.kind = 2;
    p.d = value;
    params_.push_back(p);
  }

  // Calls procedure; 0, the mapped message code, -51 or a CLI return code.
  // *cli_failed, when given, tells a failing bind or execute.
  int32_t run(DB_INSTANCE* instance, const char* procedure, int32_t* message_code,
              bool* cli_failed = nullptr) {
    if (cli_failed != nullptr) *cli_failed = false;
    char name[SE_DB_QUALIFIED_LEN];
    db_sp_make_name(instance, procedure, 0, name);
    std::string sql = std::string("call ") + name + " (";
    for (size_t i = 0; i < params_.size() + 2; ++i) sql += i == 0 ? "?" : ",?";
    sql += ")";
    SQLHSTMT h = SQL_NULL_HSTMT;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &h);
    if (!ok(rc)) return rc;
    SQLINTEGER code = 0;
    char message[513] = "";
    SQLLEN code_ind = 0, message_ind = 0;
    SQLUSMALLINT pos = 1;
    for (Param& p : params_) {
      if (!ok(rc)) break;
      if (p.kind == 0)
        rc = SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, p.size, 0,
                              (SQLPOINTER)p.text.c_str(), (SQLLEN)p.text.size() + 1, &p.ind);
      else if (p.kind == 1)
        rc = SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &p.i, 0, &p.ind);
      else
        rc = SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.d, 0, &p.ind);
      ++pos;
    }
    if (ok(rc))
      rc = SQLBindParameter(h, pos++, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &code_ind);
    if (ok(rc))
      rc = SQLBindParameter(h, pos, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message,
                            sizeof message, &message_ind);
    if (ok(rc)) rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!ok(rc)) {
      db_report_dbms_error(instance, db_get_diag_record(instance, &h, rc));
      db_free_stmt(&h);
      if (cli_failed != nullptr) *cli_failed = true;
      return SE_DB_IO_ERROR;
    }
    db_free_stmt(&h);
    if (message_code != nullptr) *message_code = code;
    if (code == 0) return 0;
    return db_sp_set_message_error(instance, code, name);
  }

 private:
  struct Param {
    int kind = 0;  // 0 text, 1 integer, 2 double
    std::string text;
    SQLULEN size = 0;
    SQLINTEGER i = 0;
    double d = 0;
    SQLLEN ind = 0;
  };
  std::vector<Param> params_;  // reserved before binding: addresses stay put
};

void add_extent(Call* call, const SE_ENVELOPE& e) {
  call->real(e.minx);
  call->real(e.miny);
  call->real(e.maxx);
  call->real(e.maxy);
}

void add_grids(Call* call, const LAYER* layer) {
  for (double g : layer->grid_size) call->real(g);
}

}  // namespace

int32_t db_sp_find_or_create_srid(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* srid) {
  int32_t status = db_get_srid(instance, nullptr, coordref, srid);
  if (status == 0) return 0;
  status = db_gse_create_sref(instance, coordref, srid);
  if (status != 0) {
    if (instance->xerr.code == 0) db_report_dbms_error(instance, db_get_diag_record(instance, nullptr, status));
    return SE_DB_IO_ERROR;
  }
  return 0;
}

int32_t DB_sp_layers_def_insert(DB_INSTANCE* instance, LAYER* layer) {
  DB_instance_clear_xerr(instance);
  char trimmed[sizeof layer->table + 1];
  memcpy(trimmed, layer->table, sizeof layer->table);
  trimmed[sizeof layer->table] = '\0';
  SES_RemoveSpaces(trimmed);
  if (trimmed[0] == '\0') return SE_LAYER_EMPTY_TABLE;
  int32_t now = (int32_t)time(nullptr);
  int32_t srid = 0;
  if (layer->coordref == nullptr) return SE_INVALID_POINTER;
  int32_t status = db_sp_find_or_create_srid(instance, layer->coordref, &srid);
  if (status != 0) return status;
  status = db_gse_register_layer(instance, layer, srid);
  if (status != 0) return status;

  Call call;
  call.integer(layer->id);
  call.text(FIELD(layer->description), 64, true);
  call.text(FIELD(layer->database), 32);
  call.text(FIELD(layer->owner), 32);
  call.text(FIELD(layer->table), 160);
  call.text(FIELD(layer->spatial_column), 32);
  call.integer(layer->entity_flags);
  call.integer(layer->layer_mask);
  add_extent(&call, layer->envelope);
  call.integer(now);
  call.text(FIELD(layer->config_keyword), 32, true);
  call.integer(layer->array_size, layer->array_size == 0);
  call.integer(0, true);
  call.integer((int32_t)layer->min_shape_id);
  call.integer(srid);
  call.integer(layer->base_layer_id);
  add_grids(&call, layer);
  int32_t code = 0;
  status = call.run(instance, "zul_insert_layer", &code);
  if (status != 0 && code == kMessageCode20019) {
    fprintf(stderr, "Max layer number exceeded or Layer already exist.\n");
    fprintf(stderr, "If layer not exist, increase layer parameter in orvant.defs\n");
    instance->xerr.native = 0;
    return SE_LAYER_LIMIT;
  }
  if (status == 0) {
    layer->creation_date = now;
    layer->coordref->srid = srid;
  }
  return status;
}

int32_t DB_sp_layers_def_delete(DB_INSTANCE* instance, int32_t layer_id) {
  LAYER* layer = nullptr;
  int32_t status = DB_layer_get_info(instance, nullptr, layer_id, &layer);
  if (status != 0) return status;
  // The cached record goes with the cache slot: keep the names.
  std::string owner = FIELD(layer->owner), table = FIELD(layer->table),
              column = FIELD(layer->spatial_column);
  status = db_layer_cache_remove(instance, layer_id);
  if (status != 0) return status;
  Call call;
  call.integer(layer_id);
  status = call.run(instance, "zul_delete_layer", nullptr);
  if (status != 0) return status;
  if (db_ddl_commit(instance) != 0) return SE_DB_IO_ERROR;
  return db_gse_unregister_layer(instance, owner.c_str(), table.c_str(), column.c_str());
}

int32_t DB_sp_layers_def_update(DB_INSTANCE* instance, const LAYER* layer) {
  DB_instance_clear_xerr(instance);
  Call call;
  call.integer(layer->id);
  call.text(FIELD(layer->description), 64, true);
  call.integer(layer->entity_flags);
  call.integer(layer->layer_mask);
  add_extent(&call, layer->envelope);
  call.text(FIELD(layer->config_keyword), 32, true);
  call.integer(layer->array_size, layer->array_size == 0);
  call.integer(0, true);
  call.integer((int32_t)layer->min_shape_id);
  add_grids(&call, layer);
  int32_t status = call.run(instance, "zul_update_layer", nullptr);
  if (status != 0) return status;

  char layers[SE_DB_QUALIFIED_LEN];
  db_make_layers_table_name(instance, layers);
  char sql[3 * SE_DB_QUALIFIED_LEN + 200];
  snprintf(sql, sizeof sql,
           "SELECT COUNT(DISTINCT a.layer_id) FROM %s a WHERE a.srid = (SELECT srid FROM %s "
           "WHERE layer_id = %d)",
           layers, layers, (int)layer->id);
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLINTEGER count = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &h);
  if (ok(rc)) rc = SQLExecDirect(h, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc)) rc = SQLBindCol(h, 1, SQL_C_LONG, &count, 0, &ind);
  if (ok(rc)) rc = SQLFetch(h);
  if (!ok(rc)) {
    SES_print_debug(stderr, "DB_sp_layers_def_update ODBC oparse error.\n");
    db_report_dbms_error(instance, db_get_diag_record(instance, h != SQL_NULL_HSTMT ? &h : nullptr, rc));
    db_ddl_rollback(instance);
    db_free_stmt(&h);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&h);
  if (layer->coordref == nullptr) return SE_INVALID_POINTER;
  if (count == 1) {
    Call text;
    text.integer(layer->id);
    text.text(layer->coordref->srtext != nullptr ? layer->coordref->srtext : "", 2048);
    return text.run(instance, "zul_update_srtext", nullptr);
  }
  if (count >= 2) {
    int32_t srid = 0;
    status = db_sp_find_or_create_srid(instance, layer->coordref, &srid);
    if (status != 0) return SE_DB_IO_ERROR;
    Call move;
    move.integer(layer->id);
    move.integer(srid);
    return move.run(instance, "zul_update_ly_srid", nullptr);
  }
  SES_print_debug(stderr, "DB_sp_layers_def_update error.\n");
  db_ddl_rollback(instance);
  return SE_DB_IO_ERROR;
}

int32_t DB_sp_layers_def_update_extent(DB_INSTANCE* instance, int32_t layer_id,
                                       const SE_ENVELOPE* envelope) {
  DB_instance_clear_xerr(instance);
  Call call;
  call.integer(layer_id);
  add_extent(&call, *envelope);
  bool cli_failed = false;
  int32_t status = call.run(instance, "zul_update_ly_ext", nullptr, &cli_failed);
  if (cli_failed) db_ddl_rollback(instance);
  return status;
}

int32_t DB_sp_layers_def_change_table_name(DB_INSTANCE* instance, int32_t layer_id,
                                           const char* table) {
  if (table == nullptr) return SE_INVALID_POINTER;
  Call call;
  call.text(table, 160);
  call.integer(layer_id);
  return call.run(instance, "zul_rename_layer", nullptr);
}
