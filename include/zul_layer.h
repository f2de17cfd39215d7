// zul_layer.h -- the records of layers, statistics, spatial references,
// dates, column and index definitions, query constructs and spatial filters,
// as clients and servers exchange them.
//
// The shape and coordinate-reference objects (FEATURE_STRUCT, COORDREF) and
// the integer ENVELOPE, POINT and POINT3D belong to the geometry library
// (geomkit.h);
// the records here refer to them. Records without pointers have the host
// layout of their native image, which the static_asserts pin; the others
// (LAYER, SE_SPATIALREF, INDEX_DEF, SQL_CONSTRUCT, SPATIAL_FILTER) are laid
// out on the wire by their encoders only (comm/native_io.h, comm/zul_xdr.h).
#ifndef ZUL_LAYER_H
#define ZUL_LAYER_H

#include <stddef.h>
#include <stdint.h>

#include "geomkit.h"

// Image sizes on the native transports; *_OLD are the legacy layouts.
#define SE_LAYER_IMAGE           456
#define SE_LAYER_IMAGE_OLD       448
#define SE_LAYER_STATS_IMAGE     160
#define SE_GRID_STATS_IMAGE      52
#define SE_INDEX_STATS_IMAGE     420
#define SE_SPATIALREF_IMAGE      336
#define SE_DATE_IMAGE            36
#define SE_COLUMN_DEF_IMAGE      52
#define SE_COLUMN_DEF_IMAGE_OLD  48
#define SE_INPUT_DESC_IMAGE      8
#define SE_FILTER_IMAGE          512
#define SE_FILTER_IMAGE_OLD      504

// A rectangle in coordinate units.
struct SE_ENVELOPE {
  double minx;   // minimum x      wire 8
  double miny;   // minimum y      wire 8
  double maxx;   // maximum x      wire 8
  double maxy;   // maximum y      wire 8
};
static_assert(sizeof(SE_ENVELOPE) == 32, "SE_ENVELOPE image size");

// Entity flag: the layer is in load-only I/O mode.
#define SE_LAYER_LOAD_ONLY 0x100000

// One layer's definition.
struct LAYER {
  int32_t     local_word;          // the holder's own word, never taken from a peer  wire 4
  int32_t     id;                  // layer id                                    wire 4
  SE_ENVELOPE envelope;            // layer extent                                wire 32
  char        description[64];     // free text                                   wire 64
  double      grid_size[3];        // spatial-index grid sizes                    wire 3 x 8
  int32_t     entity_flags;        // allowed shape types, storage, SE_LAYER_LOAD_ONLY  wire 4
  char        database[32];        // database name                               wire 32
  char        owner[32];           // table owner                                 wire 32
  char        table[160];          // table name                                  wire 160
  char        spatial_column[32];  // spatial column name                         wire 32
  int32_t     creation_date;       // seconds since 1970                          wire 4
  int32_t     privileges;          // privilege bits of the current user          wire 4
  char        config_keyword[32];  // storage configuration keyword               wire 32
  int32_t     array_size;          // optimal array size                          wire 4
  int32_t     stats_date;          // statistics date, 0 = never                  wire 4
  uint32_t    min_shape_id;        // minimum shape id                            wire 4
  COORDREF*   coordref;            // the layer's coordinate reference, or null   wire 4 (pointer word)
  int32_t     layer_mask;          // layer mask (legacy layout: absent, read as 0)  wire 4
  int32_t     base_layer_id;       // base layer of a view layer (legacy: 0)      wire 4
  int32_t     remainder;           // rest of the image                           wire 4
};

// Layer statistics.
struct LAYER_STATS {
  int32_t     layer_id;            // layer id                                    wire 4
  int32_t     counts[9];           // nil, point, multipoint, line, multiline, simple line,
                                   // multi simple line, area, multi area         wire 36
  int32_t     total;               // total features                              wire 4
  int32_t     pad44;               // padding                                     wire 4
  SE_ENVELOPE envelope;            // layer extent                                wire 32
  int32_t     last_modified;       // seconds since 1970                          wire 4
  int32_t     min_fid;             // minimum feature id                          wire 4
  int32_t     max_fid;             // maximum feature id                          wire 4
  int32_t     min_points;          // fewest points of a feature                  wire 4
  int32_t     max_points;          // most points of a feature                    wire 4
  int32_t     pad100;              // padding                                     wire 4
  double      min_area;            //                                             wire 8
  double      max_area;            //                                             wire 8
  double      min_length;          //                                             wire 8
  double      max_length;          //                                             wire 8
  double      avg_points;          //                                             wire 8
  double      avg_area;            //                                             wire 8
  double      avg_length;          //                                             wire 8
};
static_assert(sizeof(LAYER_STATS) == SE_LAYER_STATS_IMAGE, "LAYER_STATS image size");
static_assert(offsetof(LAYER_STATS, envelope) == 48, "LAYER_STATS.envelope offset");
static_assert(offsetof(LAYER_STATS, min_area) == 104, "LAYER_STATS.min_area offset");

// One grid level of a spatial index: 13 counters.
struct SE_GRID_STATS {
  int32_t features;          // features                          wire 4
  int32_t index_records;     // index records                     wire 4
  int32_t groups[8];         // eight group counts                wire 32
  int32_t max_per_cell;      // most features in one grid cell    wire 4
  int32_t cells;             // grid cells                        wire 4
  int32_t features_inside;   // features inside                   wire 4
};
static_assert(sizeof(SE_GRID_STATS) == SE_GRID_STATS_IMAGE, "SE_GRID_STATS image size");

// Spatial-index statistics of a column.
struct S_INDEX_STATS {
  char          table[226];    // table name                       wire 226
  char          column[32];    // column name                      wire 32
  char          pad[2];        // padding                          wire 2
  int32_t       levels;        // number of grid levels            wire 4
  SE_GRID_STATS grid[3];       // all three always travel          wire 3 x 52
};
static_assert(sizeof(S_INDEX_STATS) == SE_INDEX_STATS_IMAGE, "S_INDEX_STATS image size");
static_assert(offsetof(S_INDEX_STATS, grid) == 264, "S_INDEX_STATS.grid offset");

// One spatial reference.
struct SE_SPATIALREF {
  int32_t   local_word;          // the holder's own word               wire 4
  int32_t   srid;                // spatial reference id                wire 4
  char      description[64];     // free text                           wire 64
  char      auth_name[256];      // authority name                      wire 256
  int32_t   auth_srid;           // authority srid                      wire 4
  COORDREF* coordref;            // its coordinate reference            wire 4 (pointer word)
};

// A calendar time in the order of struct tm.
struct SE_DATE {
  int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;   // wire 9 x 4
};
static_assert(sizeof(SE_DATE) == SE_DATE_IMAGE, "SE_DATE image size");

// Column type codes of COLUMN_DEF.type.
#define SE_SMALLINT 1
#define SE_INTEGER  2
#define SE_FLOAT    3
#define SE_DOUBLE   4
#define SE_STRING   5
#define SE_BLOB     6
#define SE_DATE_TYPE 7
#define SE_SHAPE    8
#define SE_RASTER   9

// Row-id kinds of COLUMN_DEF.rowid_kind.
#define SE_ROWID_BY_SERVER 1
#define SE_ROWID_BY_USER   2
#define SE_ROWID_NONE      3

// One column definition.
struct COLUMN_DEF {
  char    name[32];       // column name                                 wire 32
  int32_t type;           // SE_SMALLINT ... SE_RASTER                   wire 4
  int32_t size;           // size                                        wire 4
  int16_t decimals;       // decimal digits                              wire 2 (+2 padding)
  int16_t pad42;
  int32_t nullable;       // non-zero when nulls are allowed             wire 4
  int16_t rowid_kind;     // SE_ROWID_* (legacy layout: absent, read as 3)  wire 2 (+2 padding)
  int16_t pad50;
};
static_assert(sizeof(COLUMN_DEF) == SE_COLUMN_DEF_IMAGE, "COLUMN_DEF image size");
static_assert(offsetof(COLUMN_DEF, rowid_kind) == 48, "COLUMN_DEF.rowid_kind offset");

// Index column names hold at most 32 characters in 33-byte slots.
#define SE_INDEX_COLUMN_SLOT 33

// One index definition; never sent as an image.
struct INDEX_DEF {
  int16_t  column_count;     // columns in the index
  char**   columns;          // column names, owned
  char     name[32];         // index name
  int32_t  unique;           // non-zero for a unique index
  int32_t* ascending;        // one flag per column, non-zero: ascending; owned
};

// A column's input description, as the client sends it.
struct INPUT_DESC {
  int32_t value1;   // meaning fixed by the commands that use it   wire 4
  int32_t value2;   //                                             wire 4
};
static_assert(sizeof(INPUT_DESC) == SE_INPUT_DESC_IMAGE, "INPUT_DESC image size");

// Table names of a construct are placed in 194-byte slots.
#define SE_CONSTRUCT_TABLE_SLOT 194

// A query construct; never sent as an image.
struct SQL_CONSTRUCT {
  int32_t num_tables;   // count of table names
  char**  tables;       // table names, owned
  char*   where;        // where clause, owned; may be null
};

// Filter types of SPATIAL_FILTER.filter_type.
#define SE_SHAPE_FILTER 1
#define SE_ID_FILTER    2

// Search methods of SPATIAL_FILTER.method: SM_ENVP ... SM_CBM, declared with
// the relation each one means in geomkit.h.

// Method-16 relation strings are at most 255 characters in 256-byte slots.
#define SE_FILTER_CBM_SLOT 256

// One spatial filter of a query.
struct SPATIAL_FILTER {
  char  table[226];          // table name                                   wire 226
  char  column[32];          // spatial column name                          wire 32 (+2 padding)
  int32_t filter_type;       // SE_SHAPE_FILTER or SE_ID_FILTER              wire 4
  union {
    FEATURE_STRUCT* shape;   // shape filter: its shape, owned               wire 4 (pointer word)
    int32_t         id;      // id filter: the feature id                    wire 4
  } filter;
  char  id_table[226];       // id filter: table of the id                   wire 226 (+2 padding)
  int32_t method;            // search method, SM_*                          wire 4
  int32_t truth;             // non-zero: the feature must pass; 0: must not  wire 4
  int32_t reserved;          // current layout only                          wire 4
  char*   cbm;               // method-16 relation string, or null           wire 4 (pointer word)
};

#endif
