// db_layer_index.cpp -- the DDL a layer adds to its user table: the spatial
// index of the layer's column (and of the adds table of a multiversioned
// table), the per-layer update trigger, the switch between load-only and
// normal input/output, emptying a layer and undoing a layer's additions;
// also the entry points that do nothing on this database.
//
// Relies on the access core (db_execute_ddlsql, object names), dbtune
// keyword parameters, the layer cache and the table-index services.
#include <stdio.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

namespace {

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }

bool multiversioned(const REGISTRATION* reg) {
  return reg != nullptr && (reg->flags & SE_REG_MULTIVERSION) != 0;
}

// Reads the keyword's dbtune parameters: 0, -87 when the keyword has no rows
// of its own, or the failing status. An empty keyword reads nothing.
int32_t keyword_params(DB_INSTANCE* instance, const LAYER* layer, DBTUNE_PARAMS* params,
                       bool* have) {
  *have = false;
  std::string keyword = field(layer->config_keyword, sizeof layer->config_keyword);
  if (keyword.empty()) return 0;
  memset(params, 0, sizeof *params);
  int32_t status = db_dbtune_get_keyword_params(instance, params, keyword.c_str());
  if (status != 0) return status;
  if (params->count < 100) return SE_LAYER_NO_DBTUNE_ROWS;
  *have = true;
  return 0;
}

std::string grids(const LAYER* layer) {
  char text[128];
  snprintf(text, sizeof text, "(%e,%e,%e) ", layer->grid_size[0], layer->grid_size[1],
           layer->grid_size[2]);
  return text;
}

// Drops an index; a missing one counts as dropped.
int32_t drop_index(DB_INSTANCE* instance, const char* name) {
  int32_t status = DB_table_drop_index(instance, nullptr, name);
  return status == SE_INDEX_NOEXIST ? 0 : status;
}

void index_name(uint32_t layer_id, char* out, size_t cap) {
  snprintf(out, cap, "A%u_IX1", layer_id);
}

}  // namespace

int32_t DB_layer_enable_attr_indices(DB_INSTANCE* instance, const LAYER* layer) {
  char name[32];
  index_name((uint32_t)layer->id, name, sizeof name);
  std::string sql = "CREATE INDEX " + std::string(name) + " ON " +
                    field(layer->owner, sizeof layer->owner) + "." +
                    field(layer->table, sizeof layer->table) + " (" +
                    field(layer->spatial_column, sizeof layer->spatial_column) +
                    ") EXTEND USING db2gse.spatial_index " + grids(layer);
  DBTUNE_PARAMS params;
  bool have = false;
  int32_t status = keyword_params(instance, layer, &params, &have);
  if (status != 0) return status;
  if (have && params.B_INDEX_SHAPE[0] != '\0')
    sql += field(params.B_INDEX_SHAPE, sizeof params.B_INDEX_SHAPE);
  status = db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_EXEC_COMMIT);
  if (status != 0) {
    SES_print_debug(stderr, "DB_layer_enable_attr_indices Execute Error (%d) creating index %s\n",
                    (int)status, name);
    SES_print_debug(stderr, "SQL stmt <%s>\n", sql.c_str());
    instance->xerr.code = status;
    db_append_error_detail(instance, name);
  }
  return status;
}

int32_t DB_layer_enable_adds_indices(DB_INSTANCE* instance, const LAYER* layer, int32_t reg_id) {
  char base[32], name[40], adds[SE_DB_QUALIFIED_LEN];
  index_name((uint32_t)layer->id, base, sizeof base);
  db_adds_index_name(base, name);
  db_make_adds_table_name(instance, reg_id, field(layer->database, sizeof layer->database).c_str(),
                          field(layer->owner, sizeof layer->owner).c_str(), adds);
  std::string sql = "CREATE INDEX " + std::string(name) + " ON " + adds + " (" +
                    field(layer->spatial_column, sizeof layer->spatial_column) +
                    ") EXTEND USING db2gse.spatial_index " + grids(layer);
  DBTUNE_PARAMS params;
  bool have = false;
  int32_t status = keyword_params(instance, layer, &params, &have);
  if (status != 0) return status;
  if (have && params.A_INDEX_SHAPE[0] != '\0')
    sql += field(params.A_INDEX_SHAPE, sizeof params.A_INDEX_SHAPE);
  status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_EXEC_COMMIT);
  if (status != 0) {
    instance->xerr.code = status;
    SES_print_debug(stderr, "DB_layer_enable_adds_indices Execute Error (%d) creating index %s\n",
                    (int)instance->xerr.code, name);
    SES_print_debug(stderr, "SQL stmt <%s>\n", sql.c_str());
    db_append_error_detail(instance, name);
  }
  return status;
}

int32_t DB_layer_disable_attr_indices(DB_INSTANCE* instance, int32_t layer_id) {
  char name[32];
  index_name((uint32_t)layer_id, name, sizeof name);
  int32_t first = drop_index(instance, name);
  snprintf(name, sizeof name, "A%u_IX2", (uint32_t)layer_id);
  int32_t second = drop_index(instance, name);
  return first != 0 ? first : second;
}

int32_t DB_layer_disable_adds_indices(DB_INSTANCE* instance, int32_t layer_id, int32_t) {
  char base[32], name[40];
  index_name((uint32_t)layer_id, base, sizeof base);
  db_adds_index_name(base, name);
  return drop_index(instance, name);
}

int32_t DB_layer_create_user_trigger(DB_INSTANCE*, const LAYER*) { return 0; }

int32_t DB_layer_drop_user_trigger(DB_INSTANCE* instance, int32_t layer_id) {
  char sql[64];
  snprintf(sql, sizeof sql, "DROP TRIGGER SC_UPD_CASC_%d", (int)layer_id);
  int32_t status = db_execute_ddlsql(instance, sql, 0, DB_MODE_EXEC_COMMIT);
  if (status != 0) SES_print_debug(stderr, "DB_layer_drop_user_trigger Execute Error (%d).\n", (int)status);
  return status;
}

int32_t DB_layer_set_load_only_mode(DB_INSTANCE* instance, const LAYER* layer,
                                    const REGISTRATION* reg) {
  if (!multiversioned(reg)) DB_layer_drop_user_trigger(instance, layer->id);
  DB_layer_disable_attr_indices(instance, layer->id);
  if (multiversioned(reg)) DB_layer_disable_adds_indices(instance, layer->id, reg->id);
  db_ddl_commit(instance);
  return 0;
}

int32_t DB_layer_set_normal_io_mode(DB_INSTANCE* instance, const LAYER* layer,
                                    const REGISTRATION* reg) {
  int32_t status = 0;
  if (!multiversioned(reg)) status = DB_layer_create_user_trigger(instance, layer);
  if (status != 0) return status;
  DB_layer_disable_attr_indices(instance, layer->id);
  status = DB_layer_enable_attr_indices(instance, layer);
  if (status != 0) return status;
  if (multiversioned(reg)) {
    status = DB_layer_enable_adds_indices(instance, layer, reg->id);
    if (status != 0) return status;
  }
  DBTUNE_PARAMS params;
  bool have = false;
  status = keyword_params(instance, layer, &params, &have);
  if (status != 0) return status;
  if (have && (strcmp(params.B_RUNSTATS, "YES") == 0 || strcmp(params.B_RUNSTATS, "yes") == 0)) {
    status = db_table_analyze_schema_object(instance, 1, field(layer->owner, sizeof layer->owner).c_str(),
                                            field(layer->table, sizeof layer->table).c_str());
    if (status != 0) return status;
  }
  db_ddl_commit(instance);
  return 0;
}

int32_t DB_layer_truncate(DB_INSTANCE* instance, int32_t layer_id, const REGISTRATION* reg) {
  DB_instance_clear_xerr(instance);
  int32_t status = 0;
  if (!multiversioned(reg)) {
    status = DB_layer_drop_user_trigger(instance, layer_id);
    if (status != 0) return status;
  }
  LAYER* layer = nullptr;
  status = DB_layer_get_info(instance, nullptr, layer_id, &layer);
  if (status != 0) return status;
  status = DB_layer_null_spatial_column(instance, layer, reg, nullptr);
  if (status != 0) return status;
  if (!multiversioned(reg) && (layer->entity_flags & SE_LAYER_LOAD_ONLY) == 0) {
    status = DB_layer_create_user_trigger(instance, layer);
    if (status != 0) return status;
  }
  return db_ddl_commit(instance) != 0 ? SE_DB_IO_ERROR : 0;
}

int32_t DB_layer_drop_tables(DB_INSTANCE* instance, int32_t layer_id) {
  LAYER* layer = nullptr;
  int32_t read = DB_layer_get_info(instance, nullptr, layer_id, &layer);
  if (read == 0) {
    std::string sql = "LOCK TABLE " + field(layer->owner, sizeof layer->owner) + "." +
                      field(layer->table, sizeof layer->table) + " IN EXCLUSIVE MODE ";
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql.c_str());
    if (status == 0) {
      SQLRETURN rc = SQLExecute(stmt);
      status = (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) ? 0 : rc;
    }
    if (status != 0 && status != SQL_NO_DATA && status != SE_TABLE_NOEXIST) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, stmt != SQL_NULL_HSTMT ? &stmt : nullptr, status);
      if (strcmp(d.sqlstate, "42S02") != 0) db_ddl_commit(instance);
    }
    db_free_stmt(&stmt);
    if (DB_layer_disable_attr_indices(instance, layer_id) == 0)
      DB_layer_drop_user_trigger(instance, layer_id);
  }
  int32_t status = db_layer_cache_remove(instance, layer_id);
  db_ddl_commit(instance);
  return status;
}

int32_t DB_layer_drop_views(DB_INSTANCE* instance, int32_t layer_id) {
  db_layer_cache_remove(instance, layer_id);
  return 0;
}

int32_t DB_layer_create_views(DB_INSTANCE* instance, int32_t, int32_t, int32_t, int32_t) {
  DB_instance_clear_xerr(instance);
  return 0;
}

int32_t DB_layer_add_anno_column(...) { return 0; }

int32_t DB_layer_delete_anno_column(...) { return SE_LAYER_ANNO_UNSUPPORTED; }

int32_t DB_layer_delete_feat_by_entity(...) {
  fputs("Dummy function DB_layer_delete_feat_by_entity() called!", stderr);
  return SE_LAYER_UNSUPPORTED;
}
