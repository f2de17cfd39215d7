// zul_raster.h -- the raster records that travel on the channel: raster
// columns, bands, rasters, the raster attributes a client sends and the
// raster query constraint.
//
// RASTERCOLUMN, RASTERATTR and RASCONSTRAINT hold pointers and are laid out on
// the wire by their encoders only; RASTERBAND and RASTER have the host layout
// of their image.
#ifndef ZUL_RASTER_H
#define ZUL_RASTER_H

#include <stddef.h>
#include <stdint.h>

#include "zul_layer.h"

#define SE_RASTERCOLUMN_IMAGE   384
#define SE_RASTERBAND_IMAGE     184
#define SE_RASTER_IMAGE         76
#define SE_RASTERATTR_IMAGE     160
#define SE_RASCONSTRAINT_IMAGE  40

// One raster column.
struct RASTERCOLUMN {
  int32_t   local_word;        // the holder's own word                  wire 4
  int32_t   id;                // raster column id                       wire 4
  char      description[64];   // free text                              wire 64
  char      database[32];      // database name                          wire 32
  char      owner[32];         // owner                                  wire 32
  char      table[160];        // table name                             wire 160
  char      column[32];        // raster column name                     wire 32
  int32_t   creation_date;     // seconds since 1970                     wire 4
  int32_t   privileges;        // privilege bits                         wire 4
  char      config_keyword[32];// storage configuration keyword          wire 32
  uint32_t  min_id;            // minimum id                             wire 4
  int32_t   value372;          // kept by the raster operations          wire 4
  int32_t   mask;              // mask of the column                     wire 4
  COORDREF* coordref;          // coordinate reference, may be null      wire 4 (pointer word)
};

// One band of a raster.
struct RASTERBAND {
  int32_t     local_word;      // the holder's own word                  wire 4
  int32_t     id;              // raster band id                         wire 4
  int32_t     sequence;        // sequence number                        wire 4
  int32_t     creation_date;   // seconds since 1970                     wire 4
  int32_t     last_modified;   // seconds since 1970                     wire 4
  int32_t     band_flags;      // max level << 16, bit 14 skip level one, low 3 bits interpolation  wire 4
  int32_t     band_types;      // pixel type << 16, compression in bits 10-15  wire 4
  int32_t     width;           // band width                             wire 4
  int32_t     height;          // band height                            wire 4
  int32_t     block_width;     // block width                            wire 4
  int32_t     block_height;    // block height                           wire 4
  int32_t     pad44;           // padding                                wire 4
  double      block_origin_x;  // block origin x                         wire 8
  double      block_origin_y;  // block origin y                         wire 8
  int32_t     raster_id;       // raster id                              wire 4
  int32_t     column_id;       // raster column id                       wire 4
  SE_ENVELOPE envelope;        // band extent                            wire 32
  char        description[64]; // free text                              wire 64
  int32_t     local168[2];     // two local values, cleared by readers   wire 8
  int32_t     value176;        // kept by the raster operations          wire 4
  int32_t     update_mask;     // local, cleared by readers              wire 4
};
static_assert(sizeof(RASTERBAND) == SE_RASTERBAND_IMAGE, "RASTERBAND image size");
static_assert(offsetof(RASTERBAND, block_origin_x) == 48, "RASTERBAND.block_origin_x offset");
static_assert(offsetof(RASTERBAND, local168) == 168, "RASTERBAND.local168 offset");

// One raster.
struct RASTER {
  int32_t local_word;          // the holder's own word                  wire 4
  int32_t id;                  // raster id                              wire 4
  int32_t column_id;           // raster column id                       wire 4
  char    description[64];     // free text                              wire 64
};
static_assert(sizeof(RASTER) == SE_RASTER_IMAGE, "RASTER image size");

// The raster attributes a client sends (read by the server only).
struct RASTERATTR {
  int32_t     local_word;      //                                        wire 4
  int32_t     value4;          //                                        wire 4
  int32_t     value8;          //                                        wire 4
  int32_t     raster_id;       // raster id                              wire 4
  int32_t     column_id;       // raster column id                       wire 4
  int32_t     value20[4];      // not sent in XDR                        wire 16
  int32_t     value36;         //                                        wire 4
  int32_t     value40;         //                                        wire 4
  int32_t     width;           // band width                             wire 4
  int32_t     height;          // band height                            wire 4
  int32_t     num_bands;       // number of bands                        wire 4
  int32_t     pixel_type;      // pixel type                             wire 4
  int32_t     compression;     // compression                            wire 4
  int32_t     max_level;       // maximum level                          wire 4
  int32_t     skip_level_one;  // skip-level-one flag                    wire 4
  int32_t     value72;         //                                        wire 4
  int32_t     value76;         //                                        wire 4
  int32_t     value80;         //                                        wire 4
  int32_t     value84;         // not sent in XDR                        wire 4
  int32_t     interpolation;   // interpolation                          wire 4
  int32_t     value92[2];      // not sent in XDR                        wire 8
  RASTER*     raster;          // the raster's description record        wire 4 (pointer word)
  int32_t     value104[2];     // not sent in XDR                        wire 8
  SE_ENVELOPE envelope;        // raster envelope                        wire 32
  double      tile_origin_x;   // tile origin x                          wire 8
  double      tile_origin_y;   // tile origin y                          wire 8
};

// A raster query constraint (read by the server only).
struct RASCONSTRAINT {
  int32_t  local_word;         //                                        wire 4
  int32_t  level;              // level of detail                        wire 4
  int32_t  num_bands;          // number of band numbers                 wire 4
  int32_t* bands;              // band numbers, owned; null for 0 bands  wire 4 (pointer word)
  int32_t  value16;            //                                        wire 4
  int32_t  min_column;         // minimum column                         wire 4
  int32_t  min_row;            // minimum row                            wire 4
  int32_t  max_column;         // maximum column                         wire 4
  int32_t  max_row;            // maximum row                            wire 4
  int32_t  pad36;              // padding                                wire 4
};

#endif
