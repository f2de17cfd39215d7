// zul_registration.h -- the records of the table registry, the version and
// state trees, metadata rows and locators, as clients and servers exchange
// them.
//
// Records without pointers have the host layout of their native image, which
// the static_asserts pin; the encoders still write them field by field
// (comm/native_io.h, comm/zul_xdr.h). STATE and LOCATOR hold pointers, so
// only their encoders know the image offsets. Tagged records carry their
// 4-byte tag first; the free routines of their owners reverse its case.
#ifndef ZUL_REGISTRATION_H
#define ZUL_REGISTRATION_H

#include <stddef.h>
#include <stdint.h>

#define SE_REGISTRATION_TAG "ReG"
#define SE_STATE_TAG        "StA"
#define SE_VERSION_TAG      "VeR"

// Flags of REGISTRATION.flags.
#define SE_REG_HAS_ROWID        0x01  // the table has a row-id column
#define SE_REG_ROWID_BY_SERVER  0x02  // the server maintains the row id (else the user)
#define SE_REG_LAYER_DEPENDS    0x04  // a layer depends on the table
#define SE_REG_MULTIVERSION     0x08  // the table is multiversioned
#define SE_REG_ROW_LOCKING      0x20  // row locking is enabled

// Image sizes on the native transports.
#define SE_REGISTRATION_IMAGE  536
#define SE_STATE_IMAGE         60
#define SE_STATE_IMAGE_OLD     56    // clients of release 81199 and below
#define SE_VERSION_IMAGE       280
#define SE_METADATA_IMAGE      624
#define SE_METADATA_IMAGE_OLD  592   // clients of release 81199 and below
#define SE_LOCATOR_IMAGE       184

// Client releases at or below this one use the older STATE and
// METADATA_RECORD layouts.
#define SE_RELEASE_OLD_LAYOUTS 81199

// One registered table.
struct REGISTRATION {
  char     tag[4];            // "ReG"                                      wire 4
  int32_t  id;                // registration id                            wire 4
  char     database[32];      // database name                              wire 32
  char     owner[32];         // table owner                                wire 32
  char     table[160];        // table name                                 wire 160
  char     rowid_column[32];  // row-id column name                         wire 32
  char     description[64];   // free text                                  wire 64
  int32_t  flags;             // SE_REG_* bits                              wire 4
  uint32_t reg_date;          // registration date, seconds since 1970      wire 4
  int32_t  privileges;        // privilege bits of the current user         wire 4
  char     config_keyword[32];// storage configuration keyword              wire 32
  uint32_t min_id;            // minimum row id                             wire 4
  char     mv_view[160];      // multiversion view name, empty if none      wire 160
};
static_assert(sizeof(REGISTRATION) == SE_REGISTRATION_IMAGE, "REGISTRATION image size");
static_assert(offsetof(REGISTRATION, flags) == 328, "REGISTRATION.flags offset");
static_assert(offsetof(REGISTRATION, mv_view) == 376, "REGISTRATION.mv_view offset");

// One state of the state tree.
struct STATE {
  char     tag[4];            // "StA"                                      wire 4
  int32_t  id;                // state id                                   wire 4
  char     owner[32];         // owner                                      wire 32
  uint32_t creation_time;     // seconds since 1970                         wire 4
  uint32_t closing_time;      // seconds since 1970; 0 while open           wire 4
  int32_t  lineage_name;      // lineage name (older layouts: the state id) wire 4 (current only)
  int32_t  lineage_length;    // number of state ids in the lineage         wire 4
  uint8_t* lineage;           // packed varLONG lineage, owned; may be null wire 4 (pointer word)
};

// One version.
struct VERSION {
  char     tag[4];            // "VeR"                                      wire 4
  char     name[64];          // version name                               wire 64
  char     owner[32];         // owner                                      wire 32
  int32_t  id;                // version id                                 wire 4
  uint32_t status;            // access and flags                           wire 4
  int32_t  state_id;          // state the version points to                wire 4
  char     description[64];   // free text                                  wire 64
  char     parent_name[64];   // parent version name                        wire 64
  char     parent_owner[32];  // parent version owner                       wire 32
  int32_t  parent_id;         // parent version id                          wire 4
  uint32_t creation_time;     // seconds since 1970                         wire 4
};
static_assert(sizeof(VERSION) == SE_VERSION_IMAGE, "VERSION image size");
static_assert(offsetof(VERSION, parent_id) == 272, "VERSION.parent_id offset");

// One metadata row.
struct METADATA_RECORD {
  int32_t  local_word;        // the holder's own word, never taken from a peer  wire 4
  int32_t  id;                // record id                                  wire 4
  char     object_name[160];  // object name                                wire 160
  char     object_database[32]; // object database (absent from older layout) wire 32
  char     object_owner[32];  // object owner                               wire 32
  int32_t  object_type;       // object type                                wire 4
  char     class_name[32];    // class name                                 wire 32
  char     property[32];      // property                                   wire 32
  char     value[255];        // value                                      wire 255
  char     description[65];   // at most 64 characters                      wire 65
  uint32_t date_modified;     // seconds since 1970                         wire 4
};
static_assert(sizeof(METADATA_RECORD) == SE_METADATA_IMAGE, "METADATA_RECORD image size");
static_assert(offsetof(METADATA_RECORD, description) == 555, "METADATA_RECORD.description offset");
static_assert(offsetof(METADATA_RECORD, date_modified) == 620, "METADATA_RECORD.date_modified offset");

// Locator property slots: names at most 32 characters, values at most 255.
#define SE_LOCATOR_NAME_SLOT   33
#define SE_LOCATOR_VALUE_SLOT  256

// One locator with its property list.
struct LOCATOR {
  int32_t  local_word;        // the holder's own word                      wire 4
  int32_t  id;                // locator id                                 wire 4
  char     name[32];          // locator name                               wire 32
  char     owner[32];         // owner                                      wire 32
  char     category[32];      // category                                   wire 32
  int32_t  type;              // 0 template, 1 validated, 2 defined         wire 4
  char     description[64];   // free text                                  wire 64
  int32_t  property_count;    // number of properties                       wire 4
  char**   property_names;    // property names, owned; may be null         wire 4 (pointer word)
  char**   property_values;   // property values, owned; may be null        wire 4 (pointer word)
};

#endif
