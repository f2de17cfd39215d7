// db_spsig.cpp -- the stored interface between this library and the
// procedure library: the 45 procedures in their ten families, each with its
// parameter list, and the CREATE PROCEDURE text built from it.
//
// The procedure library reads its inputs and writes its outputs in exactly
// the order given here, and every caller binds its "?" markers in the same
// order, the message pair (OUT msgCode, OUT reserved) last. The registration
// (db_spregister.cpp) and the existence count read only this table.
#include <stdio.h>
#include <string.h>

#include "zul_db_install.h"

namespace {

constexpr const char* kMessagePair = "OUT msgCode INTEGER, OUT reserved VARCHAR(1024)";

const SP_SIGNATURE kRelease[] = {
    {"zul_release_proc", "OUT release integer", 0},
};

const SP_SIGNATURE kRegistry[] = {
    {"zul_delete_registr", "IN registration_id INTEGER", 1},
    {"zul_insert_registr",
     "IN registration_id INTEGER, IN database_name VARCHAR(32), IN table_name VARCHAR(128), "
     "IN owner VARCHAR(32), IN rowid_column VARCHAR(32), IN description VARCHAR(65), "
     "IN object_flags INTEGER, IN registration_date INTEGER, IN config_keyword VARCHAR(32), "
     "IN minimum_id INTEGER, IN imv_view_name VARCHAR(32)",
     1},
    {"zul_update_registr",
     "IN registration_id INTEGER, IN rowid_column VARCHAR(32), IN description VARCHAR(65), "
     "IN object_flags INTEGER, IN config_keyword VARCHAR(32), IN minimum_id INTEGER, "
     "IN imv_view_name VARCHAR(32)",
     1},
    {"zul_rename_registr", "IN table_name VARCHAR(128), IN registration_id INTEGER", 1},
    {"zul_clear_modified", "IN registration_id INTEGER", 1},
};

const SP_SIGNATURE kStates[] = {
    {"zul_state_user_rw", "IN state_id INTEGER", 1},
    {"zul_delete_state", "IN state_list VARCHAR(2048)", 1},
    {"zul_insert_state",
     "IN parent_state_id INTEGER, IN parent_lineage_nm INTEGER, IN open_or_closed INTEGER, "
     "OUT new_state_id integer, OUT new_lineage_name integer",
     1},
    {"zul_trim_state", "IN low_id INTEGER, IN high_id INTEGER", 1},
    {"zul_open_state", "IN state_id INTEGER", 1},
    {"zul_close_state", "IN state_id INTEGER, OUT closing_time varchar(26)", 1},
    {"zul_current_state", "OUT current_state_id INTEGER", 1},
    {"zul_set_base_state", "", 1},
};

const SP_SIGNATURE kVersions[] = {
    {"zul_delete_version", "IN version_name CHAR(128)", 1},
    {"zul_insert_version",
     "IN version_name VARCHAR(65), IN version_status INTEGER, IN version_id INTEGER, "
     "IN version_state_id INTEGER, IN v_description VARCHAR(65), IN v_parent_name VARCHAR(128), "
     "IN v_parent_owner VARCHAR(32), IN parent_v_id INTEGER, IN name_rule INTEGER, "
     "OUT new_version_name VARCHAR(128)",
     1},
    {"zul_update_version",
     "IN version_name VARCHAR(65), IN version_owner VARCHAR(32), IN version_status INTEGER, "
     "IN state_id INTEGER, IN description VARCHAR(65), IN parent_name VARCHAR(128), "
     "IN parent_owner VARCHAR(32), IN cdate TIMESTAMP, IN version_id INTEGER, "
     "IN parent_v_id INTEGER",
     1},
    {"zul_rename_version",
     "IN version_owner VARCHAR(32), IN version_name VARCHAR(65), IN new_version_name VARCHAR(65)", 1},
    {"zul_change_v_state",
     "IN version_name VARCHAR(128), IN old_state_id INTEGER, IN new_state_id INTEGER", 1},
    {"zul_v_is_writable", "IN current_state_id INTEGER", 1},
    {"zul_in_lineage", "IN current_state_id INTEGER", 1},
    {"zul_set_current_v", "IN version_name VARCHAR(128)", 1},
    {"zul_flag_modified", "IN mvtable_id INTEGER, IN state_id INTEGER", 1},
    {"zul_range_del_ok", "IN start_state_id INTEGER, IN end_state_id INTEGER", 1},
};

const SP_SIGNATURE kSpatialRefs[] = {
    {"zul_lock_sref", "", 1},
    {"zul_check_spid", "IN srid INTEGER", 1},
};

const SP_SIGNATURE kLayers[] = {
    {"zul_insert_layer",
     "IN layer_id INTEGER, IN description VARCHAR(65), IN database_name VARCHAR(32), "
     "IN owner VARCHAR(32), IN table_name VARCHAR(128), IN spatial_column VARCHAR(128), "
     "IN eflags INTEGER, IN layer_mask INTEGER, IN minx FLOAT, IN miny FLOAT, IN maxx FLOAT, "
     "IN maxy FLOAT, IN cdate INTEGER, IN layer_config VARCHAR(32), IN optimal_array_size INTEGER, "
     "IN stats_date INTEGER, IN minimum_id INTEGER, IN srid INTEGER, IN base_layer_id INTEGER, "
     "IN grid_size1 FLOAT, IN grid_size2 FLOAT, IN grid_size3 FLOAT",
     1},
    {"zul_delete_layer", "IN layer_id INTEGER", 1},
    {"zul_update_layer",
     "IN layer_id INTEGER, IN description VARCHAR(65), IN eflags INTEGER, IN layer_mask INTEGER, "
     "IN minx FLOAT, IN miny FLOAT, IN maxx FLOAT, IN maxy FLOAT, IN layer_config VARCHAR(32), "
     "IN optimal_array_size INTEGER, IN stats_date INTEGER, IN minimum_id INTEGER, "
     "IN grid_size1 FLOAT, IN grid_size2 FLOAT, IN grid_size3 FLOAT",
     1},
    {"zul_update_ly_ext",
     "IN layer_id INTEGER, IN new_minx FLOAT, IN new_miny FLOAT, IN new_maxx FLOAT, "
     "IN new_maxy FLOAT",
     1},
    {"zul_rename_layer", "IN new_table_name VARCHAR(128), IN layer_id INTEGER", 1},
    {"zul_update_srtext", "IN layer_id INTEGER, IN new_srtext VARCHAR(2000)", 1},
    {"zul_update_ly_srid", "IN layer_id INTEGER, IN new_srid INTEGER", 1},
};

const SP_SIGNATURE kRasterColumns[] = {
    {"zul_insert_raster",
     "IN rastercolumn_id INTEGER, IN description VARCHAR(65), IN database_name VARCHAR(32), "
     "IN owner VARCHAR(32), IN table_name VARCHAR(128), IN raster_column VARCHAR(128), "
     "IN cdate INTEGER, IN config_keyword VARCHAR(32), IN minimum_id INTEGER, "
     "IN base_rasterc_id INTEGER, IN rastercolumn_mask INTEGER, IN srid INTEGER",
     0},
    {"zul_delete_raster", "IN rastercolumn_id INTEGER", 0},
    {"zul_update_raster",
     "IN rastercolumn_id INTEGER, IN description VARCHAR(65), IN config_keyword VARCHAR(32), "
     "IN minimum_id INTEGER, IN rastercolumn_mask INTEGER",
     0},
    // registered, but the library has no entry for it: its calls fail
    {"zul_rename_raster", "IN rastercolumn_id INTEGER, IN table_name VARCHAR(160)", 0},
};

const SP_SIGNATURE kMetadata[] = {
    {"zul_insert_metadata",
     "IN record_id INTEGER, IN object_name VARCHAR(32), IN object_database VARCHAR(32), "
     "IN object_owner VARCHAR(32), IN object_type INTEGER, IN class_name VARCHAR(32), "
     "IN property VARCHAR(32), IN prop_value VARCHAR(255), IN description VARCHAR(64)",
     1},
    {"zul_update_metadata",
     "IN record_id INTEGER, IN class_name VARCHAR(32), IN property VARCHAR(32), "
     "IN prop_value VARCHAR(255), IN description VARCHAR(64), IN creation_date TIMESTAMP",
     1},
    {"zul_delete_metadata",
     "IN id1 INTEGER, IN id2 INTEGER, IN id3 INTEGER, IN id4 INTEGER, IN id5 INTEGER, "
     "IN id6 INTEGER, IN id7 INTEGER, IN id8 INTEGER, IN id9 INTEGER, IN id10 INTEGER",
     1},
};

const SP_SIGNATURE kLocators[] = {
    {"zul_insert_locator",
     "IN locator_id INTEGER, IN name VARCHAR(32), IN category VARCHAR(32), IN type INTEGER, "
     "IN description VARCHAR(64), IN owner VARCHAR(32)",
     1},
    {"zul_update_locator",
     "IN locator_id INTEGER, IN name VARCHAR(32), IN category VARCHAR(32), IN type INTEGER, "
     "IN description VARCHAR(64)",
     1},
    {"zul_delete_locator", "IN id1 INTEGER", 1},
};

const SP_SIGNATURE kDbtune[] = {
    {"zul_trunc_dbtune", "", 1},
    {"zul_insert_dbtune",
     "IN config_keyword VARCHAR(32), IN parameter_name VARCHAR(32), IN config_string VARCHAR(2000)",
     1},
};

#define FAMILY(n, kind, a) {n, kind, (int32_t)(sizeof(a) / sizeof(a[0])), a}

const SP_FAMILY kFamilies[SP_FAMILY_COUNT] = {
    FAMILY("release", SP_FAMILY_COMMON, kRelease),
    FAMILY("table registry", SP_FAMILY_COMMON, kRegistry),
    FAMILY("states", SP_FAMILY_OWN_STMT, kStates),
    FAMILY("versions", SP_FAMILY_OWN_STMT, kVersions),
    FAMILY("spatial references", SP_FAMILY_COMMON, kSpatialRefs),
    FAMILY("layers", SP_FAMILY_COMMON, kLayers),
    FAMILY("raster columns", SP_FAMILY_COMMITTED, kRasterColumns),
    FAMILY("metadata", SP_FAMILY_COMMON, kMetadata),
    FAMILY("locators", SP_FAMILY_COMMON, kLocators),
    FAMILY("dbtune", SP_FAMILY_COMMON, kDbtune),
};

#define N(a) (sizeof(a) / sizeof(a[0]))
static_assert(N(kRelease) + N(kRegistry) + N(kStates) + N(kVersions) + N(kSpatialRefs) + N(kLayers) +
                      N(kRasterColumns) + N(kMetadata) + N(kLocators) + N(kDbtune) ==
                  SP_PROCEDURE_COUNT,
              "the families hold every procedure once");
#undef N

}  // namespace

const SP_FAMILY* db_sp_families(void) { return kFamilies; }

const SP_SIGNATURE* db_sp_find(const char* name) {
  if (name == nullptr) return nullptr;
  for (const SP_FAMILY& f : kFamilies)
    for (int32_t i = 0; i < f.count; i++)
      if (strcmp(f.procs[i].name, name) == 0) return &f.procs[i];
  return nullptr;
}

int32_t db_sp_marker_count(const char* name) {
  const SP_SIGNATURE* sig = db_sp_find(name);
  if (sig == nullptr) return -1;
  int32_t n = 0;
  if (sig->params[0] != '\0') {
    n = 1;
    for (const char* p = sig->params; *p; p++)
      if (*p == ',') n++;
  }
  return n + (sig->msg_pair ? 2 : 0);
}

int32_t db_sp_create_text(DB_INSTANCE* instance, const SP_SIGNATURE* sig, char* out, size_t cap) {
  if (sig == nullptr || out == nullptr) return SE_INVALID_POINTER;
  char create_name[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, sig->name, 1, create_name);
  const char* sep = sig->params[0] != '\0' && sig->msg_pair ? ", " : "";
  int n = snprintf(out, cap,
                   "CREATE PROCEDURE %s (%s%s%s) EXTERNAL NAME '%s!%s' LANGUAGE C "
                   "PARAMETER STYLE DB2DARI NOT FENCED",
                   create_name, sig->params, sep, sig->msg_pair ? kMessagePair : "",
                   SP_LIBRARY_NAME, sig->name);
  if (n < 0 || (size_t)n >= cap) return SE_SQL_TOO_LONG;
  return 0;
}
