// zul_db_tables.h -- the system tables of schema ZUL, the names of every
// table, index and procedure the DB2 access layer addresses, the description
// of a statement's result columns, and the fixed DBMS information answers.
//
// Divisions:
//   1. storage clauses of the system tables (DBTUNE_SYSTEM_PARAMS)
//   2. system tables: creation, existence checks, release record, queries
//   3. object names: builders and parsers            (db_objnames.cpp)
//   4. column description and type names             (db_describe.cpp)
//   5. DBMS information and the operations DB2 does not need (db_dbmsinfo.cpp)
//   6. services of the catalogue and versioning modules these call
//      (db_stubs_tables.cpp)
//
// Conventions: a signed 32-bit status, 0 success. The name builders write
// into the caller's buffer and check no size: the caller gives room for the
// widest result (SE_DB_QUALIFIED_LEN covers every name built here). Lists
// handed out belong to the caller (DB_dbms_free_list); described arrays are
// released with free().
#ifndef ZUL_DB_TABLES_H
#define ZUL_DB_TABLES_H

#include <stdint.h>

#include "zul_db.h"
#include "zul_release.h"

struct SE_BITMAP;

// ---- 1. storage clauses ----------------------------------------------------------

#define DBTUNE_SYSTEM_CLAUSES      11
#define DBTUNE_CLAUSE_LEN          2048
// A count of this or more means the requested keyword had rows of its own.
#define DBTUNE_KEYWORD_OWN_ROWS    100

// Clause positions used by the system tables.
#define DBTUNE_SYS_B_STORAGE                 0
#define DBTUNE_SYS_STATES_TABLE              3
#define DBTUNE_SYS_VERSIONS_TABLE            7
#define DBTUNE_SYS_MVTABLES_MODIFIED_TABLE   9
#define DBTUNE_SYS_MVTABLES_MODIFIED_INDEX   10

#ifndef ZUL_DBTUNE_SYSTEM_PARAMS_DECLARED
#define ZUL_DBTUNE_SYSTEM_PARAMS_DECLARED
// The storage clauses of a configuration keyword for the system tables.
struct DBTUNE_SYSTEM_PARAMS {
  int16_t count;                                           // rows found; >= 100: the keyword's own
  char    clauses[DBTUNE_SYSTEM_CLAUSES][DBTUNE_CLAUSE_LEN];// one clause each, may be empty
};
#endif

// ---- 2. system tables ------------------------------------------------------------------

// Status codes of the system tables.
#define SE_RELEASE_TABLE_NOEXIST (-89)  // the release table's CREATE answered -37
#define SE_LAYERS_NOEXIST        (-78)  // no LAYERS table
#define SE_NO_SPATIAL_CATALOG    (-163) // the spatial extender catalogue is missing
#define SE_LAYER_ID_RANGE        (-28)  // a layer id outside 1 to the largest id
#define SE_RASCOL_ID_RANGE       (-227) // a raster column id outside 1 to the largest id
#define SE_NO_KEYWORD_ROWS       (-87)  // the configuration keyword has no rows of its own
#define SE_TYPE_NO_MAPPING       (-55)  // a DB2 type without a column type
#define SE_NOT_A_QUERY           (-112) // the statement has no result columns

// Release numbers a database may hold to be served.
#define SE_RELEASE_COMPATIBLE_MIN 83000
#define SE_RELEASE_COMPATIBLE_MAX 83999

int32_t DB_instance_release_table_create(DB_INSTANCE* instance, const RELEASE* release,
                                         const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_release_table_drop(DB_INSTANCE* instance);
// 0; -88 no release table; 110 no row; -51 DBMS error.
int32_t DB_instance_get_release(DB_INSTANCE* instance, RELEASE* out);
int32_t DB_instance_update_release(DB_INSTANCE* instance, int32_t old_release,
                                   const RELEASE* release);

int32_t DB_instance_layers_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_metadata_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_rascol_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_registry_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_versions_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_states_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_modified_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_zullocators_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
// The spatial extender keeps these itself: clear the error, answer 0.
int32_t DB_instance_spatial_ref_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_geocol_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_layers_table_upgrade(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);
int32_t DB_instance_modified_table_upgrade(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage);

// Existence checks: 0 present; -37 missing; -38 a column missing; see
// db_systables.cpp for the LAYERS check's own codes.
int32_t DB_instance_layers_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_spatial_ref_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_geocol_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_metadata_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_rascol_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_registry_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_versions_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_states_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_modified_table_exists(DB_INSTANCE* instance);
int32_t DB_instance_zullocators_table_exists(DB_INSTANCE* instance);

// Counts and largest ids.
int32_t DB_instance_get_layer_count(DB_INSTANCE* instance, int32_t* count);
int32_t DB_instance_get_metadata_count(DB_INSTANCE* instance, const char* where, int32_t* count);
int32_t DB_instance_get_metadata_count_by_table(DB_INSTANCE* instance, const char* table,
                                                int32_t* count);
int32_t DB_instance_get_rascol_count(DB_INSTANCE* instance, int32_t* count);
int32_t DB_instance_get_state_count(DB_INSTANCE* instance, int32_t* count);
int32_t DB_instance_get_max_version_id(DB_INSTANCE* instance, int32_t* id);
int32_t DB_instance_get_max_metadata_id(DB_INSTANCE* instance, int32_t* id);
int32_t DB_instance_get_max_state_id(DB_INSTANCE* instance, int32_t* id);
int32_t DB_instance_get_max_locator_id(DB_INSTANCE* instance, int32_t* id);
// Bit id-1 set for every id; *out null after a failure. Freed with
// SES_Bitmap_Destroy.
int32_t DB_instance_get_layer_number_bitmap(DB_INSTANCE* instance, int32_t max_id, SE_BITMAP** out);
int32_t DB_instance_get_rascol_number_bitmap(DB_INSTANCE* instance, int32_t max_id, SE_BITMAP** out);

// ---- 3. object names ------------------------------------------------------------------

// Widths of the parts of a name, terminating NUL included.
#define SE_NAME_DATABASE_LEN 32
#define SE_NAME_OWNER_LEN    32
#define SE_NAME_TABLE_LEN    160
#define SE_NAME_COLUMN_LEN   32

void db_make_layers_table_name(DB_INSTANCE* instance, char* out);
void db_make_metadata_table_name(DB_INSTANCE* instance, char* out);
void db_make_locators_table_name(DB_INSTANCE* instance, char* out);
void db_make_raster_columns_table_name(DB_INSTANCE* instance, char* out);
void db_make_table_registry_table_name(DB_INSTANCE* instance, char* out);
void db_make_versions_table_name(DB_INSTANCE* instance, char* out);
void db_make_release_table_name(DB_INSTANCE* instance, char* out);
void db_make_states_table_name(DB_INSTANCE* instance, char* out);
void db_make_state_lineages_table_name(DB_INSTANCE* instance, char* out);
void db_make_mvtables_modified_table_name(DB_INSTANCE* instance, char* out);
void db_make_dbtune_table_name(DB_INSTANCE* instance, char* out);
void db_make_gse_layer_geom_name(DB_INSTANCE* instance, char* out);
void db_make_gse_spatial_ref_name(DB_INSTANCE* instance, char* out);
void db_make_gse_coord_ref_name(DB_INSTANCE* instance, char* out);

void db_make_f_table_name(int32_t layer_id, char* out);
void db_make_s_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, char* out);
void db_make_l_table_name(int32_t layer_id, const char* owner, char* out);
void db_make_r_table_name(int32_t reg_id, const char* owner, char* out);
void db_make_rowid_uk_index_name(int32_t reg_id, const char* owner, char* out);
void db_make_adds_table_name(DB_INSTANCE* instance, int32_t reg_id, const char* database,
                             const char* owner, char* out);
void db_make_deletes_table_name(DB_INSTANCE* instance, int32_t reg_id, const char* database,
                                const char* owner, char* out);
void db_make_adds_uk_index_name(int32_t reg_id, const char* owner, char* out);
void db_make_deletes_index_names(int32_t reg_id, const char* owner, char* out1, char* out2,
                                 char* out3, char* out4);
void db_adds_index_name(const char* base, char* out);
void db_make_view_trigger_name(int32_t view_id, int32_t kind, char* out);
void db_make_ras_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id, char* out);
void db_make_bnd_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id, char* out);
void db_make_aux_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id, char* out);
void db_make_blk_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id, char* out);
void db_make_blk_table_name_from_info(const RASTERCOLUMN* rascol, char* out);
void db_make_blk_uk_index_name(int32_t rascol_id, char* out);
void db_make_logfiles_table_name(DB_INSTANCE* instance, const char* database, const char* owner,
                                 char* out);
void db_make_logfile_data_table_name(DB_INSTANCE* instance, const char* database,
                                     const char* owner, char* out);
void db_layer_qualified_table_name(const LAYER* layer, char* out);
void db_layer_f_table_name(const LAYER* layer, char* out);

void DB_table_make_name(const char* database, const char* owner, const char* table, char* out);
void DB_get_qualify_table_name(const LAYER* layer, char* out);
void db_make_three_part_name(const char* database, const char* owner, const char* name, char* out);

// Parsers. Out buffers: database 32, owner 32, table 160, column 32 bytes
// (SE_NAME_*_LEN); a part that would not fit is cut.
void DB_table_parse_name(DB_INSTANCE* instance, const char* name, char* database, char* owner,
                         char* table);
void DB_column_parse_name(DB_INSTANCE* instance, const char* name, char* database, char* owner,
                          char* table, char* column);
// owner: 32 bytes; name: 64 bytes.
void DB_version_parse_name(DB_INSTANCE* instance, const char* version, char* owner, char* name);
void db_parse_table_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                         char* database, char* owner, char* table);
void db_parse_column_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                          char* database, char* owner, char* table, char* column);
int32_t db_table_name_matches(DB_INSTANCE* instance, const char* name, const char* database,
                              const char* owner, const char* table);
int32_t db_column_name_matches(DB_INSTANCE* instance, const char* name, const char* default_owner,
                               const char* database, const char* owner, const char* table,
                               const char* column);
// mode 1: "ZUL.proc" (CREATE and DROP); else "zulsrvsp!proc" (CALL).
void db_sp_make_name(DB_INSTANCE* instance, const char* procedure, int32_t mode, char* out);
// Doubles every single quote in place; the text holds at most 255
// characters and the buffer room for the added quotes.
void db_double_quotes(char* text);

// ---- 4. column description ----------------------------------------------------------

// CLI buffer type for a DB2 SQL type (0 for a type without one). Always 0.
int32_t db_map_c_type(int32_t sql_type, int16_t* c_type);
// Maps one described column; 0 or -55 (message printed).
int32_t db_map_dbms_to_zul_type(const char* name, int32_t sql_type, SQLULEN size, int16_t digits,
                                int32_t nullable, COLUMN_DEF* def, int32_t* bind_size,
                                int16_t* c_type);
// Describes the result columns of a prepared statement. The three arrays
// are malloc'd, *count entries each, and belong to the caller (free()).
int32_t db_describe_select(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* stmt,
                           int16_t* count, COLUMN_DEF** defs, int32_t** bind_sizes,
                           int16_t** c_types);
// Describes columns names[0..n-1] of table into defs (room for n); layers,
// when not null, receives a malloc'd array of n borrowed LAYER pointers.
int32_t DB_table_get_column_defs(DB_INSTANCE* instance, DB_STREAM* stream, const char* table,
                                 const REGISTRATION* reg, int16_t n, char** names,
                                 COLUMN_DEF* defs, LAYER*** layers);
// 1 when name is the registered row-id column of the stream's table, else 0.
int32_t db_is_registered_rowid_column(DB_STREAM* stream, const char* name);
// DB2's name for an SQL type; *name is kept by a process-wide cache.
int32_t DB_get_data_type(DB_INSTANCE* instance, int32_t sql_type, const char** name);

// ---- 5. DBMS information ----------------------------------------------------------------

#define SE_DBMS_PROPERTIES        0x6A
#define SE_DBMS_QUALIFY_FLAGS     63
#define SE_DBMS_FUNCTION_COUNT    57
#define SE_DBMS_KEYWORD_COUNT     114
#define SE_DBMS_LIST_ITEM_LEN     32   // each listed text's buffer
#define SE_DBMS_SHAPE_ATTR_COUNT  14

int32_t DB_dbms_get_name(char* out);
int32_t DB_dbms_get_properties(void);
int32_t DB_dbms_get_qualify_rules(int32_t* flags, char* separator);
int32_t DB_dbms_get_nlsenv(char* out);
int32_t DB_dbms_get_function_name(int32_t* count, char*** list);
int32_t DB_dbms_get_reserved_keyword_list(int32_t* count, char*** list);
int32_t DB_database_list(DB_INSTANCE* instance, int32_t* count, char*** list);
int32_t DB_database_get_current(DB_INSTANCE* instance, char* out);
// names: 14 buffers of 32 characters.
int32_t DB_dbms_shape_attr_name(int32_t* first, int32_t* second, char names[][32]);
int32_t DB_dbms_shape_attr_name_resolve(DB_INSTANCE* instance, const char* table,
                                        const char* column, int32_t index, char* out);
// Frees a list of DB_dbms_get_function_name and its kin.
void DB_dbms_free_list(char** list, int32_t count);
void db_gse_function_prefix(char* out);
void db_sp_library_name(char* out);
int32_t DB_sqltype_create_index(DB_INSTANCE* instance, const LAYER* layer);
int32_t DB_stream_set_layer(DB_STREAM* stream, const char* table, const char* default_owner);
int32_t db_get_spatial_column(DB_INSTANCE* instance, const char* table, char* out);

// Operations DB2 does not need: each accepts any arguments and answers 0.
int32_t DB_check_special_privileges(...);
int32_t DB_convert_binary_layer(...);
int32_t DB_convert_binary_table(...);
int32_t DB_database_use(...);
int32_t DB_dbms_is_case_sensitive(...);
int32_t DB_dbtune_table_migrate(...);
int32_t DB_envelope_get_by_fids(...);
int32_t DB_initialize_new_thread(...);
int32_t DB_instance_compress_log_finish(...);
int32_t DB_instance_compress_log_start(...);
int32_t DB_instance_get_real_user(...);
int32_t DB_instance_lineages_convert_iot_table(...);
int32_t DB_instance_states_constraint_create(...);
int32_t DB_instance_states_constraint_exists(...);
int32_t DB_instance_update_system_table_stats(...);
int32_t DB_layer_create_tables(...);
int32_t DB_layer_delete_sqltype_metadata(...);
int32_t DB_layer_disable_feat_indices(...);
int32_t DB_layer_disable_spix_indices(...);
int32_t DB_layer_discover_spatial_tables(...);
int32_t DB_layer_enable_feat_indices(...);
int32_t DB_layer_enable_spix_indices(...);
int32_t DB_layer_register_spatial_table(...);
int32_t DB_rastercolumn_set_load_mode(...);
int32_t DB_row_lock_add(...);
int32_t DB_row_lock_conflict_by_ids(...);
int32_t DB_row_lock_conflict_by_query(...);
int32_t DB_row_lock_flush(...);
int32_t DB_row_lock_get_by_user(...);
int32_t DB_row_lock_get_where(...);
int32_t DB_row_lock_init(...);
int32_t DB_row_lock_remove_by_ids(...);
int32_t DB_row_lock_remove_by_query(...);
int32_t DB_row_lock_set_reginfo(...);
int32_t DB_row_lock_table_create(...);
int32_t DB_row_lock_table_drop(...);
int32_t DB_row_lock_table_truncate(...);
int32_t DB_state_list_unflag_modified_mvtables(...);
int32_t DB_stream_set_rowlocking(...);
int32_t DB_update_sdodim_table(...);
int32_t DB_view_rastercolumn_get_ids(...);
int32_t SM_convert(...);

// ---- 6. services of the catalogue and versioning modules --------------------------------

int32_t DB_layer_get_info(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, LAYER** out);
int32_t DB_layer_get_info_by_table_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                        const char* table, const char* column,
                                        const char* default_owner, LAYER** out);
int32_t DB_rastercolumn_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t id,
                                       RASTERCOLUMN* out);
int32_t DB_states_def_insert(DB_INSTANCE* instance, const STATE* state);
int32_t DB_versions_def_insert(DB_INSTANCE* instance, const VERSION* version, int32_t dup_ok,
                               char* name_out);

#endif
