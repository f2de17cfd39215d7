// zul_db_sref.h -- spatial references in the Spatial Extender catalogue of a
// layer's database (gse_spatial_ref, gse_coord_ref of schema DB2GSE), and
// the registration of layer columns with the Spatial Extender.
//
// The server keeps no spatial references of its own: they are created and
// removed through the Spatial Extender's procedures gse_enable_sref and
// gse_disable_sref, and a layer's spatial column is registered through
// gse_register_layer and gse_unregist_layer.
//
// Ownership of records:
//   1. An SE_SPATIALREF handed out by DB_spatial_ref_get_info or
//      DB_spatial_ref_get_info_list owns its COORDREF (made with
//      SgCoordRefCreate) and that COORDREF's text buffer (malloc'd,
//      SE_SREF_SRTEXT_LEN bytes, or null for a reference without a
//      coordinate-system text). db_spatial_ref_release and
//      db_spatial_ref_free_list free them.
//   2. DB_spatial_ref_get_info frees the COORDREF the caller's record holds
//      (and its text) before it fills the record: a record given to it holds
//      no COORDREF or one under rule 1.
//   3. Every operation clears the instance's error block first, records a
//      DBMS failure in it and returns -51 for it.
#ifndef ZUL_DB_SREF_H
#define ZUL_DB_SREF_H

#include <stdint.h>

#include "zul_db.h"

// Status codes of the spatial-reference catalogue besides the shared ones.
#ifndef SE_INVALID_SPATIAL_COLUMN
#define SE_INVALID_SPATIAL_COLUMN (-129)  // the column cannot be registered as a layer
#endif
#define SE_SPATIALREF_EXISTS      (-254)  // an identical spatial reference exists
#define SE_SPATIALREF_NOEXIST     (-255)  // no such spatial reference
#define SE_SPATIALREF_IN_USE      (-256)  // the spatial reference is still used

// Coordinate-system text buffer of a record's COORDREF, terminating NUL
// included (the geometry library's limit).
#define SE_SREF_SRTEXT_LEN        SG_SRTEXT_CAP
// Text stored for a coordinate system that has none.
#define SE_SREF_UNKNOWN_TEXT      "UNKNOWN"
// Rows per rowset when spatial references are read.
#define SE_SREF_ROWSET            100
// The message text of a Spatial Extender procedure, NUL included.
#define SE_GSE_MSG_LEN            1025

// ---- 1. spatial references (db_spatialref.cpp) ----------------------------------------

// Finds a spatial reference identical to sref->coordref (false origins,
// units and coordinate-system text), else creates one. -254 with the srid of
// the identical one; 0 with the new srid; -65 for a null record or COORDREF;
// otherwise the failing status with srid 0.
int32_t DB_spatial_ref_create(DB_INSTANCE* instance, SE_SPATIALREF* sref);
// Replaces the values of spatial reference sref->srid by those of
// sref->coordref. 0; -65; -255 no such srid; -256 in use; -51.
int32_t DB_spatial_ref_alter(DB_INSTANCE* instance, SE_SPATIALREF* sref);
// Removes spatial reference srid and commits the connection in any case.
// 0; -255; -256; -51.
int32_t DB_spatial_ref_delete(DB_INSTANCE* instance, int32_t srid);
// Reads spatial reference srid into *sref (ownership note 2). 0; -255; -65.
int32_t DB_spatial_ref_get_info(DB_INSTANCE* instance, int32_t srid, SE_SPATIALREF* sref);
// Reads every spatial reference, in srid order, into a new array (null with
// count 0 when there is none); the caller frees it with
// db_spatial_ref_free_list. 0; -65; -51; -12.
int32_t DB_spatial_ref_get_info_list(DB_INSTANCE* instance, SE_SPATIALREF** refs,
                                     int32_t* count);

// Frees the COORDREF (and its text) that sref holds; sref->coordref becomes
// null. Null is ignored.
void    db_spatial_ref_release(SE_SPATIALREF* sref);
// Releases every record of the array, then the array.
void    db_spatial_ref_free_list(SE_SPATIALREF* refs, int32_t count);

// Internal steps, exported for the layer definitions.
// 0 with *srid of the identical spatial reference; -255 none; other failures.
int32_t db_spatial_ref_find(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* srid);
// New coordinate system (when needed) and new srid (maximum + 1 under an
// exclusive table lock) for coordref. 0 with *srid; -51; -66 text too long.
int32_t db_gse_create_sref(DB_INSTANCE* instance, const COORDREF* coordref, int32_t* srid);
// New coordinate system (maximum scid + 1) holding text (null or empty:
// "UNKNOWN"). 0 with *scid; -51.
int32_t db_gse_create_coord_ref(DB_INSTANCE* instance, const char* text, int32_t* scid);
// The scid of the coordinate system holding text (null or empty: "UNKNOWN").
// 0 with *scid; 100 none; -51.
int32_t S_db_odbc_get_scid(DB_INSTANCE* instance, const char* text, int32_t* scid);
// gse_enable_sref for srid named "SREF_<srid>" with coordref's values and
// scid, then a commit. 0; -51.
int32_t db_gse_enable_sref(DB_INSTANCE* instance, int32_t srid, const COORDREF* coordref,
                           int32_t scid);
// gse_disable_sref for srid, without a commit. 0; -255; -256; -51.
int32_t db_gse_disable_sref(DB_INSTANCE* instance, int32_t srid);
// Disables srid and enables it again with coordref's values. 0 or the
// status of the failing step.
int32_t db_spatial_ref_replace(DB_INSTANCE* instance, int32_t srid, const COORDREF* coordref);
// Reads the spatial references the condition selects (null: all), in srid
// order, into a new array. 0; -51; -12; -66 a catalogue text longer than a
// COORDREF holds; a geometry-library status mapped to the server's.
int32_t db_spatial_ref_select(DB_INSTANCE* instance, const char* condition,
                              SE_SPATIALREF** refs, int32_t* count);

// ---- 2. Spatial Extender layer registration (db_gse_register.cpp) -------------------------

// Registers the layer's spatial column (a view layer: the base layer's
// owner, table and column as the columns to use) with srid. 0; -129; -51; the
// CLI return code when the statement cannot be allocated or prepared. Does
// not commit.
int32_t db_gse_register_layer(DB_INSTANCE* instance, const LAYER* layer, int32_t srid);
// Removes the registration of owner.table.column, then commits. 0; -51; the
// CLI return code when the statement cannot be allocated.
int32_t db_gse_unregister_layer(DB_INSTANCE* instance, const char* owner, const char* table,
                                const char* column);
// Prints the failure of Spatial Extender procedure proc (message code code)
// and records it as the instance's DBMS error with code as native code. The
// message text is the one the statement's SQLCA gives, else text (the
// procedure's own message; may be null).
void    db_gse_report_error(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t code,
                            const char* proc, const char* text);
// The Spatial Extender type name of a geometry type code (0 to 11; any other
// gives "ST_GEOMETRY").
const char* db_gse_type_name(int32_t code);

#endif
