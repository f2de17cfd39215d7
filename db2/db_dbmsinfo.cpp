// db_dbmsinfo.cpp -- the fixed answers about the DBMS (name, properties,
// qualification rules, SQL function names, reserved words, databases), the
// shape-attribute expressions, a layer's spatial index, and the exported
// operations that DB2 does not need.
//
// Relies on the statement layer (dbsql_io.h) for the index DDL, and on the
// catalogue module for layers (db_stubs_tables.cpp until it is built) and on
// the dbtune module for a keyword's index clause. Lists handed out are
// malloc'd: an array of texts, each in its own 32-byte buffer; the caller
// releases them with DB_dbms_free_list.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

namespace {

const char* const kFunctionNames[SE_DBMS_FUNCTION_COUNT] = {
    "UPPER", "LOWER", "CONCAT", "ASCII", "LENGTH", "NONE", "CHR", "LTRIM", "RTRIM", "SUBSTR",
    "NONE", "SOUNDEX", "REPLACE", "NONE", "CEIL", "FLOOR", "ROUND", "LN", "LOG10", "LOG",
    "MOD", "POWER", "SIGN", "TRUNC", "NONE", "NONE", "NONE", "ASIN", "ACOS", "ATAN",
    "HEX", "SIN", "COS", "TAN", "DAYS", "NONE", "LOCATE", "ABS", "VARIANCE", "STDDEV",
    "AVG", "COUNT", "MAX", "MIN", "SUM", "VALUE", "TRANSLATE", "CAST", "USER",
    // wildcards, identifier quotes, escape
    "%", "_", "\"", "\"", "NONE", "NONE", "ESCAPE", "",
};

const char* const kReservedWords[SE_DBMS_KEYWORD_COUNT] = {
    "ACCESS", "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUDIT", "AVG", "BETWEEN", "BY",
    "CHAR", "CHARACTER", "CHECK", "CLUSTER", "COLUMN", "COMMENT", "COMPRESS", "CONECT", "CREATE",
    "CURRENT", "DATE", "DECIMAL", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE",
    "EXCLUSIVE", "EXEC", "EXISTS", "FETCH", "FILE", "FLOAT", "FOR", "FROM", "GRANT", "GROUP",
    "HAVING", "IDENTIFIED", "IMMEDIATE", "IN", "INCREMENT", "INDEX", "INITIAL", "INSERT",
    "INTEGER", "INTERSECT", "INTO", "IS", "LEVEL", "LIKE", "LOCK", "LONG", "MAXEXTENT", "MINUS",
    "MODE", "MODIFY", "NOAUDIT", "NOCOMPRESS", "NOT", "NOWAIT", "NULL", "NUMERER", "OF",
    "OFFLINE", "ON", "ONLINE", "OPTION", "OR", "ORDER", "PLI", "PCTREE", "PRIOR", "PRIVILEGES",
    "PUBLIC", "RAW", "RENAME", "RESOURCE", "REVOKE", "ROW", "ROWID", "ROWLABEL", "ROWNUM", "ROWS",
    "SELECT", "SESSION", "SET", "SHARE", "SIZE", "SMALLINT", "START", "SUCCESSFUL", "SYNONYM",
    "SYSDATE", "TABLE", "THEN", "TO", "TRIGGER", "UID", "UNION", "UNIQUE", "UPDATE", "USER",
    "VALIDATE", "VALUES", "VARCHAR", "VARCHAR2", "VIEW", "WHENEVER", "WHERE", "WITH",
};

const char* const kShapeAttrNames[13] = {
    "NumPoints", "ZulEntity", "Xmin", "Xmax", "Ymin", "Ymax", "Zmin",
    "Zmax",      "Mmin",      "Mmax", "Area", "Length", "Anno_Text",
};

// A list of count texts, each in its own 32-byte buffer; -12 with nothing
// kept when memory runs out.
int32_t make_list(const char* const* texts, int32_t count, char*** out) {
  char** list = (char**)calloc((size_t)count, sizeof(char*));
  if (list == nullptr) return SE_OUT_OF_DBMS_MEM;
  for (int32_t k = 0; k < count; ++k) {
    list[k] = (char*)calloc(1, SE_DBMS_LIST_ITEM_LEN);
    if (list[k] == nullptr) {
      DB_dbms_free_list(list, k);
      return SE_OUT_OF_DBMS_MEM;
    }
    snprintf(list[k], SE_DBMS_LIST_ITEM_LEN, "%s", texts[k]);
  }
  *out = list;
  return 0;
}

}  // namespace

void DB_dbms_free_list(char** list, int32_t count) {
  if (list == nullptr) return;
  for (int32_t k = 0; k < count; ++k) free(list[k]);
  free(list);
}

int32_t DB_dbms_get_name(char* out) {
  strcpy(out, "DB2/Extended");
  return 0;
}

int32_t DB_dbms_get_properties(void) { return SE_DBMS_PROPERTIES; }

int32_t DB_dbms_get_qualify_rules(int32_t* flags, char* separator) {
  if (flags == nullptr || separator == nullptr) return SE_INVALID_PARAM;
  *flags = SE_DBMS_QUALIFY_FLAGS;
  strcpy(separator, "...");
  return 0;
}

int32_t DB_dbms_get_nlsenv(char* out) {
  strcpy(out, "DB2CODEPAGE");
  return 0;
}

int32_t DB_dbms_get_function_name(int32_t* count, char*** list) {
  if (count == nullptr) return SE_INVALID_PARAM;
  *count = SE_DBMS_FUNCTION_COUNT;
  if (list == nullptr) return SE_INVALID_PARAM;
  int32_t status = make_list(kFunctionNames, SE_DBMS_FUNCTION_COUNT, list);
  if (status != 0) *count = 0;
  return status;
}

int32_t DB_dbms_get_reserved_keyword_list(int32_t* count, char*** list) {
  if (count == nullptr || list == nullptr) return SE_INVALID_PARAM;
  int32_t status = make_list(kReservedWords, SE_DBMS_KEYWORD_COUNT, list);
  *count = status == 0 ? SE_DBMS_KEYWORD_COUNT : 0;
  return status;
}

int32_t DB_database_list(DB_INSTANCE* instance, int32_t* count, char*** list) {
  const char* names[1] = {instance->current_database};
  int32_t status = make_list(names, 1, list);
  *count = status == 0 ? 1 : 0;
  return status;
}

int32_t DB_database_get_current(DB_INSTANCE* instance, char* out) {
  snprintf(out, SE_DB_NAME_LEN, "%s", instance->current_database);
  return 0;
}

int32_t DB_dbms_shape_attr_name(int32_t* first, int32_t* second, char names[][32]) {
  *first = 0;
  *second = SE_DBMS_SHAPE_ATTR_COUNT;
  for (int k = 0; k < SE_DBMS_SHAPE_ATTR_COUNT; ++k) names[k][0] = '\0';
  return 0;
}

int32_t DB_dbms_shape_attr_name_resolve(DB_INSTANCE* instance, const char* table,
                                        const char* column, int32_t index, char* out) {
  LAYER* layer = nullptr;
  int32_t status =
      DB_layer_get_info_by_table_name(instance, nullptr, table, column, instance->current_user, &layer);
  if (status != 0) return status;
  if (index == 13) {
    char owner[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
    db_parse_table_name(instance, table, instance->current_user, nullptr, owner, tab);
    std::string owner_table = std::string(owner) + "." + tab;
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    out[0] = '\0';
    if (db_lookup_registration(instance, owner_table.c_str(), &reg) == 0)
      snprintf(out, sizeof reg.rowid_column, "%.*s", (int)sizeof reg.rowid_column - 1, reg.rowid_column);
    return 0;
  }
  if (index == 1) {
    sprintf(out, "%s.%s(%s)", "DB2GSE", "ZulEntity", column);
    return 0;
  }
  // Callers pass 0 to 13; an index outside them names no attribute.
  if (index < 0 || index > 12) return SE_INVALID_PARAM;
  sprintf(out, "%s..%s()", column, kShapeAttrNames[index]);
  return 0;
}

void db_gse_function_prefix(char* out) { sprintf(out, " %s.%%s", "DB2GSE"); }

void db_sp_library_name(char* out) { strcpy(out, "zulsrvsp"); }

int32_t DB_sqltype_create_index(DB_INSTANCE* instance, const LAYER* layer) {
  DB_instance_clear_xerr(instance);
  char index[32];
  snprintf(index, sizeof index, "A%u_IX1", (unsigned)layer->id);
  int32_t status = DB_table_drop_index(instance, nullptr, index);
  if (status != 0 && status != SE_INDEX_NOEXIST) return status;

  char sql[1024];
  snprintf(sql, sizeof sql,
           "CREATE INDEX %s ON %.*s.%.*s (%.*s) EXTEND USING db2gse.spatial_index (%e,%e,%e) ",
           index, (int)sizeof layer->owner, layer->owner, (int)sizeof layer->table, layer->table,
           (int)sizeof layer->spatial_column, layer->spatial_column, layer->grid_size[0],
           layer->grid_size[1], layer->grid_size[2]);
  std::string stmt = sql;
  if (layer->config_keyword[0] != '\0') {
    char keyword[sizeof layer->config_keyword + 1];
    snprintf(keyword, sizeof keyword, "%.*s", (int)sizeof layer->config_keyword, layer->config_keyword);
    DBTUNE_PARAMS* params = (DBTUNE_PARAMS*)calloc(1, sizeof(DBTUNE_PARAMS));
    if (params == nullptr) return SE_OUT_OF_DBMS_MEM;
    status = db_dbtune_get_keyword_params(instance, params, keyword);
    if (status == 0 && params->count < DBTUNE_KEYWORD_OWN_ROWS) status = SE_NO_KEYWORD_ROWS;
    if (status == 0 && params->B_INDEX_SHAPE[0] != '\0')
      stmt.append(params->B_INDEX_SHAPE, strnlen(params->B_INDEX_SHAPE, sizeof params->B_INDEX_SHAPE));
    free(params);
    if (status != 0) return status;
  }
  status = db_execute_ddlsql(instance, stmt.c_str(), 0, DB_MODE_EXEC_COMMIT);
  if (status != 0) {
    SES_print_debug(stderr, "DB_sqltype_create_index Execute Error (%d) creating index %s\n",
                    (int)status, index);
    SES_print_debug(stderr, "SQL stmt <%s>\n", stmt.c_str());
    instance->xerr.code = status;
    db_append_error_detail(instance, index);
  }
  return status;
}

int32_t DB_stream_set_layer(DB_STREAM* stream, const char* table, const char* default_owner) {
  LAYER* layer = nullptr;
  int32_t status =
      DB_layer_get_info_by_table_name(stream->instance, stream, table, nullptr, default_owner, &layer);
  if (status != 0) return status;
  db_stream_set_layer_info(stream, layer);
  snprintf(stream->spatial_column_name, sizeof stream->spatial_column_name, "%.*s",
           (int)sizeof layer->spatial_column, layer->spatial_column);
  return 0;
}

int32_t db_get_spatial_column(DB_INSTANCE* instance, const char* table, char* out) {
  LAYER* layer = nullptr;
  if (DB_layer_get_info_by_table_name(instance, nullptr, table, nullptr, instance->current_user,
                                      &layer) == 0 &&
      layer != nullptr)
    snprintf(out, sizeof layer->spatial_column, "%.*s", (int)sizeof layer->spatial_column - 1,
             layer->spatial_column);
  return 0;
}

// ---- operations DB2 does not need ---------------------------------------------------

#define ZUL_DB2_NOOP(name) \
  int32_t name(...) { return 0; }
ZUL_DB2_NOOP(DB_check_special_privileges)
ZUL_DB2_NOOP(DB_convert_binary_layer)
ZUL_DB2_NOOP(DB_convert_binary_table)
ZUL_DB2_NOOP(DB_database_use)
ZUL_DB2_NOOP(DB_dbms_is_case_sensitive)
ZUL_DB2_NOOP(DB_dbtune_table_migrate)
ZUL_DB2_NOOP(DB_envelope_get_by_fids)
ZUL_DB2_NOOP(DB_initialize_new_thread)
ZUL_DB2_NOOP(DB_instance_compress_log_finish)
ZUL_DB2_NOOP(DB_instance_compress_log_start)
ZUL_DB2_NOOP(DB_instance_get_real_user)
ZUL_DB2_NOOP(DB_instance_lineages_convert_iot_table)
ZUL_DB2_NOOP(DB_instance_states_constraint_create)
ZUL_DB2_NOOP(DB_instance_states_constraint_exists)
ZUL_DB2_NOOP(DB_instance_update_system_table_stats)
ZUL_DB2_NOOP(DB_layer_create_tables)
ZUL_DB2_NOOP(DB_layer_delete_sqltype_metadata)
ZUL_DB2_NOOP(DB_layer_disable_feat_indices)
ZUL_DB2_NOOP(DB_layer_disable_spix_indices)
ZUL_DB2_NOOP(DB_layer_discover_spatial_tables)
ZUL_DB2_NOOP(DB_layer_enable_feat_indices)
ZUL_DB2_NOOP(DB_layer_enable_spix_indices)
ZUL_DB2_NOOP(DB_layer_register_spatial_table)
ZUL_DB2_NOOP(DB_rastercolumn_set_load_mode)
ZUL_DB2_NOOP(DB_row_lock_add)
ZUL_DB2_NOOP(DB_row_lock_conflict_by_ids)
ZUL_DB2_NOOP(DB_row_lock_conflict_by_query)
ZUL_DB2_NOOP(DB_row_lock_flush)
ZUL_DB2_NOOP(DB_row_lock_get_by_user)
ZUL_DB2_NOOP(DB_row_lock_get_where)
ZUL_DB2_NOOP(DB_row_lock_init)
ZUL_DB2_NOOP(DB_row_lock_remove_by_ids)
ZUL_DB2_NOOP(DB_row_lock_remove_by_query)
ZUL_DB2_NOOP(DB_row_lock_set_reginfo)
ZUL_DB2_NOOP(DB_row_lock_table_create)
ZUL_DB2_NOOP(DB_row_lock_table_drop)
ZUL_DB2_NOOP(DB_row_lock_table_truncate)
ZUL_DB2_NOOP(DB_state_list_unflag_modified_mvtables)
ZUL_DB2_NOOP(DB_stream_set_rowlocking)
ZUL_DB2_NOOP(DB_update_sdodim_table)
ZUL_DB2_NOOP(DB_view_rastercolumn_get_ids)
ZUL_DB2_NOOP(SM_convert)
#undef ZUL_DB2_NOOP
