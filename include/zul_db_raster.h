// zul_db_raster.h -- the raster catalogue of the DB2 access layer: raster
// column records (RASTER_COLUMNS), the side tables, triggers and views of a
// raster column, and the rows of its rasters, bands, auxiliary objects and
// pixel blocks.
//
// Every function takes the DB_INSTANCE first, clears its last error, and
// answers a status code (0 success). A DBMS failure is recorded (-51, native
// code, message, SQLSTATE) in the stream when one is passed, else in the
// instance. The RASTERCOLUMN, RASTERBAND and RASTER records are those of
// zul_raster.h; a RASTERCOLUMN's value372 word holds its base raster column
// id.
//
// Divisions:
//   1. raster column records (db_raster_records.cpp)
//   2. raster columns: side tables, triggers, views, grants, procedure calls
//      (db_rastercolumn.cpp)
//   3. bands, rasters, auxiliary objects and pixel blocks (db_rasterband.cpp)
#ifndef ZUL_DB_RASTER_H
#define ZUL_DB_RASTER_H

#include <stdint.h>

#include "zul_db.h"
#include "zul_pixels.h"
#include "zul_raster.h"
#include "zul_registration.h"

struct SE_RASTER_BITMAP;

// Status codes of the raster catalogue.
#define SE_RASTERCOLUMN_INUSE        (-193)  // column named as its table, or it holds values
#define SE_RASTERBAND_EXISTS         (-194)  // band (or raster column row) exists
#define SE_RASTERCOLUMN_NOEXIST      (-226)  // no such raster column
#define SE_AUX_OBJECT_EXISTS         (-232)  // auxiliary object exists
#define SE_RASTERBAND_NOEXIST        (-233)  // no such band
#define SE_RASTER_EXISTS             (-234)  // raster exists
#define SE_RASTER_NOEXIST            (-235)  // no such raster
#define SE_MULTIPLE_RASTERCOLUMNS    (-247)  // table has more than one raster column
#define SE_RASTER_SREF_NOEXIST       (-255)  // spatial reference of the record missing
#define SE_RASTERBAND_UPDATE_CONFLICT (-258) // band update hits a unique key
#define SE_RASTER_MASK_INVALID       (-304)  // mask size or contents invalid
#define SE_RASTER_OWNER_NOT_USER     (-96)   // owner is not the current user
#define SE_RASTER_COLUMN_NOT_INTEGER (-114)  // existing column is not an integer
#define SE_RASTER_COLUMN_NOT_NULLABLE (-26)  // existing column does not accept NULL

// Raster column mask bit: load-only (no unique block index, no triggers
// after a truncate).
#define SE_RASTERCOLUMN_LOAD_ONLY    0x100000

// Auxiliary object types of ZUL_AUX_n.
#define SE_AUX_BITMAP_MASK           1
#define SE_AUX_STATISTICS            2
#define SE_AUX_SERIALIZED_OBJECT     3

// ---- 1. raster column records ------------------------------------------------

// The record's coordref pointer is set by the caller (or null) before the
// call; it is set to null when the record has no spatial reference or it
// cannot be read. 0; -226 no such raster column; -255 spatial reference
// missing; -25 no select right; -51.
int32_t DB_rastercolumn_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t id,
                                       RASTERCOLUMN* out);
// table may be "[database.][owner.]table" (owner defaults to owner); column
// may be null. -65 table, owner or out missing; -247 two raster columns and
// no column name; otherwise as by id.
int32_t DB_rastercolumn_get_info_by_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                         const char* table, const char* column,
                                         const char* owner, RASTERCOLUMN* out);
// A scan ordered by id on one statement kept in the instance; -4 at the end
// (the statement is then released). One scan per instance at a time.
int32_t DB_rastercolumn_first(DB_INSTANCE* instance, RASTERCOLUMN* out);
int32_t DB_rastercolumn_next(DB_INSTANCE* instance, RASTERCOLUMN* out);

// ---- 2. raster columns ------------------------------------------------------------

int32_t DB_rastercolumn_verify_table(DB_INSTANCE* instance, RASTERCOLUMN* rascol);
int32_t DB_rastercolumn_alter_user_table(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                         const REGISTRATION* reg);
// mode 1 grants SELECT to the administrator, any other revokes.
int32_t DB_rastercolumn_grant_zul_privileges(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                             int32_t mode);
int32_t DB_rastercolumn_create_user_trigger(DB_INSTANCE* instance, const RASTERCOLUMN* rascol);
int32_t DB_rastercolumn_drop_user_trigger(DB_INSTANCE* instance, int32_t id);
int32_t DB_rastercolumn_create_tables(DB_INSTANCE* instance, int32_t id, const char* table);
int32_t DB_rastercolumn_drop_tables(DB_INSTANCE* instance, int32_t id);
int32_t DB_rastercolumn_truncate_tables(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                        const REGISTRATION* reg);
int32_t DB_rastercolumn_set_null(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                 const REGISTRATION* reg);
// Grants (revokes) the mask on the business table and the side tables; an
// update right brings insert and delete on the side tables.
int32_t DB_rastercolumn_grant_access(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                     int32_t mask, int32_t grant_option, const char* grantee);
int32_t DB_rastercolumn_revoke_access(DB_INSTANCE* instance, const RASTERCOLUMN* rascol,
                                      int32_t mask, const char* grantee);
int32_t DB_rastercolumn_create_views(DB_INSTANCE* instance, int32_t new_id, const char* table,
                                     int32_t source_id);
int32_t DB_rastercolumn_drop_views(DB_INSTANCE* instance, int32_t id);
// RASTER_COLUMNS rows through the procedures. Insert: -194 the row exists.
int32_t DB_sp_rastercolumn_def_insert(DB_INSTANCE* instance, RASTERCOLUMN* rascol);
int32_t DB_sp_rastercolumn_def_delete(DB_INSTANCE* instance, int32_t id);
int32_t DB_sp_rastercolumn_def_update(DB_INSTANCE* instance, const RASTERCOLUMN* rascol);
int32_t DB_sp_rastercolumn_def_rename(DB_INSTANCE* instance, int32_t id, const char* table);

// ---- 3. bands, rasters, auxiliary objects, pixel blocks ----------------------------

// A range of base-level tiles, in block numbers.
struct SE_TILE_RANGE {
  int32_t min_column;
  int32_t min_row;
  int32_t max_column;
  int32_t max_row;
};

// The tile grid offset of a band: the block and pixel offsets of the band's
// upper-left corner from its block origin.
struct SE_TILE_OFFSET {
  int32_t block_column;
  int32_t block_row;
  int32_t pixel_column;
  int32_t pixel_row;
};

void    db_rasterband_tile_offset(const RASTERBAND* band, SE_TILE_OFFSET* out);
// Tiles of about 1 MB: 1048576 / estimated tile bytes, at least 1.
int32_t db_rasterband_tiles_per_batch(const RASTERBAND* band);

int32_t DB_rasterband_def_insert(DB_INSTANCE* instance, const RASTERBAND* band);
int32_t DB_rasterband_def_update(DB_INSTANCE* instance, const RASTERBAND* band);
int32_t DB_rasterband_def_delete(DB_INSTANCE* instance, const RASTERBAND* band);
int32_t DB_rasterband_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream,
                                     int32_t rascol_id, int32_t band_id, RASTERBAND* out);
int32_t DB_rasterband_first(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id,
                            RASTERBAND* out);
int32_t DB_rasterband_next(DB_INSTANCE* instance, int32_t rascol_id, RASTERBAND* out);
int32_t DB_rasterband_get_max_id(DB_INSTANCE* instance, int32_t rascol_id, int32_t* out);
int32_t DB_rasterband_get_count(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id,
                                int32_t* out);

int32_t DB_rasterband_save_pyramid(DB_INSTANCE* instance, const RASTERBAND* band);
int32_t DB_rasterband_restore_pyramid(DB_INSTANCE* instance, const RASTERBAND* band);
int32_t DB_rasterband_delete_pyramid(DB_INSTANCE* instance, const RASTERBAND* band,
                                     int32_t visible);
int32_t DB_rasterband_delete_tiles(DB_INSTANCE* instance, const RASTERBAND* band,
                                   const SE_TILE_RANGE* range, int32_t hidden, int32_t drop);

// mask null removes the band's mask.
int32_t DB_rasterband_set_bitmap_mask(DB_INSTANCE* instance, const RASTERBAND* band,
                                      const SE_RASTER_BITMAP* mask);
// *mask is null when the band has none; the caller frees a mask with
// SES_raster_bitmap_free.
int32_t DB_rasterband_get_bitmap_mask(DB_INSTANCE* instance, const RASTERBAND* band,
                                      SE_RASTER_BITMAP** mask, int32_t* tiles_across,
                                      int32_t* tiles_down);
// The band record holds no statistics pointer in this layout: the
// statistics are passed beside it.
int32_t DB_rasterband_set_stats(DB_INSTANCE* instance, const RASTERBAND* band,
                                const RASTERBAND_STATS* stats, int32_t commit);
int32_t DB_rasterband_set_serialized_object(DB_INSTANCE* instance, int32_t rascol_id,
                                            int32_t band_id, int32_t type, const uint8_t* data,
                                            int32_t len, int32_t commit);
// *data is malloc'd; the caller frees it. -4 no such object.
int32_t DB_rasterband_get_serialized_object(DB_INSTANCE* instance, int32_t rascol_id,
                                            int32_t band_id, int32_t type, uint8_t** data,
                                            int32_t* len);

int32_t DB_raster_def_insert(DB_INSTANCE* instance, const RASTER* raster);
int32_t DB_raster_def_delete(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id);
int32_t DB_raster_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id,
                                 int32_t raster_id, RASTER* out);
int32_t DB_raster_get_max_id(DB_INSTANCE* instance, int32_t rascol_id, int32_t* out);

#endif
