// zul_db_layer.h -- layer records as the DB2 catalogue reads them: the one
// layer SELECT, the layer cache of an instance, the prefetch of the layers of
// a multi-table stream, the current user's table privileges, the srid lookup
// of a coordinate reference and the ids of view layers.
//
// Ownership of records:
//   1. A LAYER handed out by DB_layer_get_info or
//      DB_layer_get_info_by_table_name is borrowed from the instance's layer
//      cache. It stays valid until the instance closes, but its contents
//      change when the slot is re-read (a changed layer stamp), replaced or
//      cleared (db_layer_cache_remove). Never free it.
//   2. A caller's own LAYER (DB_layer_first, DB_layer_next,
//      DB_layer_view_get_info, db_layer_get_info without the store flag) must
//      own a COORDREF whose text buffer holds SE_LAYER_SRTEXT_LEN bytes;
//      DB_layer_view_get_info makes both when the record has no COORDREF, and
//      they are then the caller's (free the text, then SgCoordRefFree).
//   3. Every function clears nothing it does not say it clears, records a
//      DBMS failure in the instance (or the stream when one is given) and
//      returns -51 for it.
#ifndef ZUL_DB_LAYER_H
#define ZUL_DB_LAYER_H

#include <stdint.h>

#include "zul_db.h"

// Status codes of the layer catalogue besides the shared ones.
#define SE_LAYER_NOEXIST        (-20)   // no such layer
#define SE_MULTIPLE_LAYERS      (-133)  // a second layer for one stream
#define SE_LAYER_CACHE_FOUND    (-900)  // internal to the cache: found
#define SE_LAYER_CACHE_MISSING  (-901)  // internal to the cache: missing
#define SE_SRID_NOT_FOUND       100     // db_get_srid: no spatial reference matches

// Privilege bits of a table, and of LAYER.privileges.
#define SE_SELECT_PRIVILEGE     0x2
#define SE_UPDATE_PRIVILEGE     0x4
#define SE_INSERT_PRIVILEGE     0x8
#define SE_DELETE_PRIVILEGE     0x10
#define SE_ALL_PRIVILEGES       30

// Entity flags read by the privilege rules.
#define SE_LAYER_NO_FEATURE_TABLE 0x8000000   // no feature table to intersect with
#define SE_LAYER_SELECT_ONLY      0x20000000  // access reduced to select

// Coordinate-system text buffer of every layer record, terminating NUL
// included: the geometry library's own limit.
#define SE_LAYER_SRTEXT_LEN     SG_SRTEXT_CAP

// Records the cache makes at a time.
#define SE_LAYER_CACHE_BLOCK    5

// Rows per rowset of the layer prefetch.
#define SE_LAYER_PREFETCH_ROWS  8

// ---- 1. layer record and layer reading (dbget_layer.cpp) ---------------------------

// Reads the one layer that sql (a layer SELECT) yields. With store set the
// record goes to the cache (mode 1 add, 0 replace the slot of the same layer)
// and *layer points into it; without, it is copied into the caller's *layer
// (see ownership note 2). 0; -20 no row; -25 no row and 42S02, or not
// selectable; -51.
int32_t db_layer_get_info(DB_INSTANCE* instance, DB_STREAM* stream, const char* sql,
                          LAYER** layer, int32_t cache_mode, int32_t store);
// Binds the thirty columns of the layer SELECT to layer and its COORDREF
// (text buffer SE_LAYER_SRTEXT_LEN). The indicators: description, config
// keyword, optimal array size, statistics date, minimum id, database name.
// A failing bind is recorded, the statement dropped, -51.
int32_t db_layer_bind_columns(DB_INSTANCE* instance, SQLHSTMT* stmt, LAYER* layer,
                              SQLLEN* desc_ind, SQLLEN* config_ind, SQLLEN* array_ind,
                              SQLLEN* stats_ind, SQLLEN* minid_ind, SQLLEN* database_ind);
// The NULL rules applied to a fetched row.
void db_layer_apply_null_rules(LAYER* layer, SQLLEN desc_ind, SQLLEN config_ind,
                               SQLLEN array_ind, SQLLEN stats_ind, SQLLEN minid_ind,
                               SQLLEN database_ind);
// The layer SELECT texts: by id, by table (column and owner optional: null or
// empty leaves the clause out; quotes in the names are doubled), all layers.
// out: SE_LAYER_SQL_LEN bytes.
#define SE_LAYER_SQL_LEN 2048
void db_layer_sql_by_id(DB_INSTANCE* instance, int32_t layer_id, char* out);
void db_layer_sql_by_table(DB_INSTANCE* instance, const char* table, const char* column,
                           const char* owner, char* out);
void db_layer_sql_all(DB_INSTANCE* instance, char* out);
// The select list and FROM tables of the layer SELECT (without WHERE).
extern const char* const kLayerSelectList;

// The scan of all layers in id order; one scan per instance at a time.
// 0 a row; -25 a row the user may not select (go on with next); -4 the end;
// -51.
int32_t DB_layer_first(DB_INSTANCE* instance, LAYER* layer);
int32_t DB_layer_next(DB_INSTANCE* instance, LAYER* layer);
// Widens a copy of the stream's layer extent by what the stream wrote: 0 with
// the copy in out, -1 when there is nothing to change or no layer.
int32_t DB_layer_update_extent(DB_STREAM* stream, LAYER* out);

// ---- 2. layer cache (dblayer_cache.cpp) ---------------------------------------------

int32_t db_layer_cache_create(DB_INSTANCE* instance, int32_t n);
void    db_layer_cache_free(DB_INSTANCE* instance);
int32_t DB_layer_get_info(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, LAYER** out);
int32_t DB_layer_view_get_info(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id,
                               LAYER* out);
int32_t DB_layer_get_info_by_table_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                        const char* table, const char* column,
                                        const char* default_owner, LAYER** out);
int32_t db_layer_cache_store(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* read,
                             LAYER** out, int32_t mode);
// Adds layer to the cache and attaches the cached record to the stream;
// counter + 1 for a newly cached layer.
int32_t db_layer_cache_add_to_stream(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* layer,
                                     int16_t* counter);
int32_t db_layer_cache_remove(DB_INSTANCE* instance, int32_t layer_id);
int32_t db_layer_cache_contains(DB_INSTANCE* instance, const char* database, const char* owner,
                                const char* table, const char* column);
// Checks the stamp of the slot holding layer; a changed stamp re-reads it by
// name. 0 or the failing status.
int32_t db_layer_cache_check_stamp_by_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                           LAYER* layer);
int32_t db_stream_close_hook(void);

// ---- 3. layer prefetch for multi-table streams (db_layer_prefetch.cpp) ----------------

int32_t db_layer_cache_load_tables(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                                   char** columns, int32_t num_tables, char** tables);
int32_t db_layer_cache_match_tables(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                                    char** columns, int32_t num_tables, char** tables);
int32_t db_layer_block_fetch(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                             char** columns, int32_t num_tables, char** tables, const char* sql);
// Releases the instance's prefetch buffers (at instance close).
void    db_layer_free_fetch_buffers(DB_INSTANCE* instance);

// ---- 4. table privileges and layer access bits (db_layer_access.cpp) ----------------

int32_t db_get_access_info_table(DB_INSTANCE* instance, DB_STREAM* stream, const char* table,
                                 uint32_t* bits);
void    db_free_access_info_stmt(DB_INSTANCE* instance);
int32_t db_layer_set_access(DB_INSTANCE* instance, DB_STREAM* stream, LAYER** layer);

// ---- 5. spatial reference id lookup (db_layer_srid.cpp) ----------------------------------

// 0 found (srid set), 100 none matches, -51, -12, or a geometry-library status.
int32_t db_get_srid(DB_INSTANCE* instance, DB_STREAM* stream, const COORDREF* coordref,
                    int32_t* srid);

// ---- 6. view layer ids (db_layer_views.cpp) ------------------------------------------------

// Appends to *ids (grown with realloc; the caller frees it) the ids of the
// view layers built directly on layer_id; *count is the number held on entry
// and on return. 0, -12, -51 or a prepare status.
int32_t DB_view_layer_get_ids(DB_INSTANCE* instance, int32_t layer_id, int32_t* count,
                              int32_t** ids);
int32_t DB_layers_table_migrate(void);

#endif
