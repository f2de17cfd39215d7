// zul_db_layerdef.h -- what a layer adds to its user table and how its row
// in the layers table changes: the spatial indexes, the update trigger and
// the load-only switch; the layer rows written through the stored
// procedures; the spatial and row-id columns of the user table; the checks
// of a new layer against the data already there; the layer statistics; the
// table privileges granted and revoked for a layer.
//
// Every function takes the open instance first and returns 0 or a negative
// status; a DBMS failure is recorded in the instance's error block and
// answered -51. Nothing here keeps state between calls.
#ifndef ZUL_DB_LAYERDEF_H
#define ZUL_DB_LAYERDEF_H

#include <stdint.h>

#include "zul_db.h"

struct MV_QUERY;

// Status codes of these operations besides the shared ones.
#define SE_LAYER_NO_DBTUNE_ROWS  (-87)    // the configuration keyword has no rows of its own
#define SE_LAYER_EMPTY_TABLE     (-86)    // a layer without a table name
#define SE_LAYER_LIMIT           (-16)    // layer limit reached or layer exists
#define SE_LAYER_FOREIGN_OWNER   (-96)    // the table belongs to another user
#define SE_LAYER_TABLE_IS_COLUMN (-161)   // the table is named like its spatial column
#define SE_LAYER_BAD_COLUMN_TYPE (-114)   // a column neither spatial nor integer
#define SE_LAYER_COLUMN_NOT_NULL (-26)    // spatial column declared NOT NULL
#define SE_LAYER_SHAPE_MISMATCH  (-29)    // column type contradicts the layer's shape kinds
#define SE_LAYER_BAD_GRID_KIND   (-318)   // grid sizes that are not explicit levels
#define SE_LAYER_BAD_GRID        (-33)    // grid sizes that cannot be used
#define SE_LAYER_NO_ROWID        (-186)   // the registration names no row-id column
#define SE_LAYER_GRANT_REFUSED   (-105)   // no right to grant or revoke
#define SE_LAYER_ANNO_UNSUPPORTED (-160)  // annotation columns are not kept on this database
#define SE_LAYER_UNSUPPORTED     (-1008)  // not supported on this database

// Entity flags read here (the others are in zul_layer.h).
#define SE_LAYER_POINT           0x2
#define SE_LAYER_LINE            0x4
#define SE_LAYER_SIMPLE_LINE     0x8
#define SE_LAYER_AREA            0x10
#define SE_LAYER_MULTI           0x40000
#define SE_LAYER_IS_VIEW         0x20000000
#define SE_LAYER_CHECK_GRIDS     0x8000000   // grid levels are checked (new layers)

// ---- 1. spatial indexes, load modes and teardown (db_layer_index.cpp) ---------

int32_t DB_layer_enable_attr_indices(DB_INSTANCE* instance, const LAYER* layer);
int32_t DB_layer_enable_adds_indices(DB_INSTANCE* instance, const LAYER* layer, int32_t reg_id);
int32_t DB_layer_disable_attr_indices(DB_INSTANCE* instance, int32_t layer_id);
int32_t DB_layer_disable_adds_indices(DB_INSTANCE* instance, int32_t layer_id, int32_t reg_id);
int32_t DB_layer_create_user_trigger(DB_INSTANCE* instance, const LAYER* layer);
int32_t DB_layer_drop_user_trigger(DB_INSTANCE* instance, int32_t layer_id);
int32_t DB_layer_set_load_only_mode(DB_INSTANCE* instance, const LAYER* layer,
                                    const REGISTRATION* reg);
int32_t DB_layer_set_normal_io_mode(DB_INSTANCE* instance, const LAYER* layer,
                                    const REGISTRATION* reg);
int32_t DB_layer_truncate(DB_INSTANCE* instance, int32_t layer_id, const REGISTRATION* reg);
int32_t DB_layer_drop_tables(DB_INSTANCE* instance, int32_t layer_id);
int32_t DB_layer_drop_views(DB_INSTANCE* instance, int32_t layer_id);
int32_t DB_layer_create_views(DB_INSTANCE* instance, int32_t layer_id, int32_t a, int32_t b,
                              int32_t c);
int32_t DB_layer_add_anno_column(...);
int32_t DB_layer_delete_anno_column(...);
int32_t DB_layer_delete_feat_by_entity(...);

// ---- 2. layer rows through stored procedures (db_layer_rows.cpp) --------------

int32_t DB_sp_layers_def_insert(DB_INSTANCE* instance, LAYER* layer);
int32_t DB_sp_layers_def_delete(DB_INSTANCE* instance, int32_t layer_id);
int32_t DB_sp_layers_def_update(DB_INSTANCE* instance, const LAYER* layer);
int32_t DB_sp_layers_def_update_extent(DB_INSTANCE* instance, int32_t layer_id,
                                       const SE_ENVELOPE* envelope);
int32_t DB_sp_layers_def_change_table_name(DB_INSTANCE* instance, int32_t layer_id,
                                           const char* table);
int32_t db_sp_find_or_create_srid(DB_INSTANCE* instance, const COORDREF* coordref,
                                  int32_t* srid);

// ---- 3. spatial column of a user table (db_layer_column.cpp) -----------------------

int32_t DB_layer_verify_table(DB_INSTANCE* instance, LAYER* layer, REGISTRATION* reg);
int32_t DB_layer_alter_user_table(DB_INSTANCE* instance, LAYER* layer, REGISTRATION* reg);
// The type code of the shape kinds of entity flags (0 ST_Geometry ... 11
// ST_MultiPolygon) and the DB2 type name and column type code of a code.
void db_layer_geometry_type_from_flags(int32_t entity_flags, int32_t* code);
const char* db_layer_geometry_type_name(int32_t code);
int32_t db_layer_geometry_column_type(int32_t code);
// The user type name of the first result column of stmt (CLI column
// attribute 1252; the catalogue's type name when the driver gives none).
// 0 or a CLI return code.
int32_t db_layer_column_type_name(DB_INSTANCE* instance, SQLHSTMT stmt, char* out, size_t cap);
// Kind of the first result column: 1 spatial, 2 integer, 0 other.
int32_t db_spatial_column_kind(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t* kind,
                               int32_t* nullable);
int32_t db_is_layer_a_view(DB_INSTANCE* instance, const LAYER* layer, int32_t* is_view);

// ---- 4. new layer verification (db_layer_verify.cpp) -----------------------------

int32_t DB_layer_verify(DB_INSTANCE* instance, LAYER* layer);
int32_t DB_layer_verify_spatial_index_parameters(const LAYER* layer);
int32_t db_layer_check_column_type(DB_INSTANCE* instance, const LAYER* layer);
// Takes the extent and spatial reference of the shapes the column holds.
// The text goes into the COORDREF's own buffer (SE_LAYER_SRTEXT_LEN bytes);
// a COORDREF without one gets a malloc'd buffer that the caller frees.
int32_t db_layer_adopt_column_sref(DB_INSTANCE* instance, LAYER* layer);

// ---- 5. statistics and largest feature id (db_layer_stats.cpp) --------------------

int32_t DB_layer_get_stats(DB_INSTANCE* instance, int32_t layer_id, LAYER_STATS* stats);
int32_t DB_layer_get_stats_by_logfile(DB_INSTANCE* instance, int32_t layer_id,
                                      const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                                      const LOGFILE* logfile, LAYER_STATS* stats);
int32_t DB_get_layer_stats(DB_INSTANCE* instance, int32_t layer_id,
                           const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                           const LOGFILE* logfile, LAYER_STATS* stats);
// *sql: malloc'd, released with free().
int32_t db_layer_stats_sql(DB_INSTANCE* instance, const LAYER* layer,
                           const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                           const LOGFILE* logfile, char** sql);
int32_t DB_layer_get_max_fid(DB_INSTANCE* instance, int32_t layer_id, int32_t* max_fid);

// ---- 6. layer privileges (db_layer_grants.cpp) -------------------------------------

int32_t DB_layer_grant_zul_privileges(DB_INSTANCE* instance, const LAYER* layer, int32_t grant);
int32_t DB_layer_grant_access(DB_INSTANCE* instance, const LAYER* layer, int32_t mask,
                              int32_t unused, const char* grantee);
int32_t DB_layer_revoke_access(DB_INSTANCE* instance, const LAYER* layer, int32_t mask,
                               const char* grantee);
int32_t db_layer_exec_grant(DB_INSTANCE* instance, const char* sql, int32_t ignore_failure);

#endif
