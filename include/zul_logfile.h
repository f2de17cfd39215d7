// zul_logfile.h -- the log-file record: a client's named set of selected
// feature ids, and the accessors that build and read it.
//
// LOGFILE has no pointers, so its host layout is its native image (pinned
// below); the channel encoders still write it field by field. The record is
// tagged "LoG"; every accessor checks the tag, and SES_loginfo_free reverses
// its letter case ("gOl") before the memory goes back, so a stale pointer is
// caught rather than believed.
#ifndef ZUL_LOGFILE_H
#define ZUL_LOGFILE_H

#include <stddef.h>
#include <stdint.h>

#include "zul_registration.h"

#define SE_LOGFILE_TAG        "LoG"
#define SE_LOGFILE_FREED_TAG  "gOl"
#define SE_LOGFILE_IMAGE      1048

// Text fields, terminating NUL included.
#define SE_LOGFILE_NAME_LEN    226
#define SE_LOGFILE_TARGET_LEN  226
#define SE_LOGFILE_COLUMN_LEN  32

// Flags of LOGFILE.flags.
#define SE_LOG_PERSISTENT      0x01  // kept after the session (else temporary)
#define SE_LOG_TARGET_TABLE    0x02  // the target is a table without a column
#define SE_LOG_TARGET_LAYER    0x04  // the target is a layer: a table and its column
#define SE_LOG_FLAG_8          0x08  // kept by the target and persistence setters

// Target kinds of SES_loginfo_{get,set}_target_object.
#define SE_LOG_KIND_TABLE      1
#define SE_LOG_KIND_LAYER      2

// Persistence values of SES_loginfo_{get,set}_persistence.
#define SE_LOG_IS_PERSISTENT   1
#define SE_LOG_IS_TEMPORARY    2

// Returned by an accessor given a record whose tag is not "LoG".
#define SE_INVALID_LOGFILE_OBJECT (-249)

struct LOGFILE {
  char         tag[4];                        // "LoG"                                   wire 4
  char         name[SE_LOGFILE_NAME_LEN];     // log-file name                           wire 226
  char         target[SE_LOGFILE_TARGET_LEN]; // target table or layer table name        wire 226
  char         column[SE_LOGFILE_COLUMN_LEN]; // target spatial column, empty for tables wire 32
  int32_t      value_488;                     // kept by the log-file operations          wire 4
  int32_t      id;                            // log-file id                             wire 4
  int32_t      data_id;                       // id of its rows in the log-file data     wire 4
  int32_t      flags;                         // SE_LOG_* bits                           wire 4
  uint32_t     session_tag;                   // session tag                             wire 4
  int32_t      value_508;                     // kept by the log-file operations          wire 4
  REGISTRATION registration;                  // the target table's registration         wire 536
};
static_assert(sizeof(LOGFILE) == SE_LOGFILE_IMAGE, "LOGFILE image size");
static_assert(offsetof(LOGFILE, column) == 456, "LOGFILE.column offset");
static_assert(offsetof(LOGFILE, value_488) == 488, "LOGFILE.value_488 offset");
static_assert(offsetof(LOGFILE, flags) == 500, "LOGFILE.flags offset");
static_assert(offsetof(LOGFILE, registration) == 512, "LOGFILE.registration offset");

// Allocates a zeroed record with its tag. SE_INVALID_POINTER for a null out
// pointer, SE_OUT_OF_MEMORY when memory runs out. Free with SES_loginfo_free.
int32_t SES_loginfo_create(LOGFILE** out);

// Reverses the tag's case and frees the record; null is ignored.
void SES_loginfo_free(LOGFILE* logfile);

// The accessors answer SE_INVALID_LOGFILE_OBJECT for a record without the
// "LoG" tag (a null record included) and SE_INVALID_POINTER for a missing
// out argument.
int32_t SES_loginfo_get_id(const LOGFILE* logfile, int32_t* id);

// get_name copies the name into a buffer of at least SE_LOGFILE_NAME_LEN
// bytes. set_name stores at most SE_LOGFILE_NAME_LEN - 1 bytes and refuses a
// longer name with SE_INVALID_PARAM, leaving the record as it was.
int32_t SES_loginfo_get_name(const LOGFILE* logfile, char* name);
int32_t SES_loginfo_set_name(LOGFILE* logfile, const char* name);

// kind: SE_LOG_KIND_LAYER when the flags hold SE_LOG_TARGET_LAYER, else
// SE_LOG_KIND_TABLE. object takes SE_LOGFILE_TARGET_LEN bytes and column
// SE_LOGFILE_COLUMN_LEN; either may be null when not wanted.
int32_t SES_loginfo_get_target_object(const LOGFILE* logfile, int32_t* kind,
                                      char* object, char* column);

// kind 1 (table) or 2 (layer) and an object are required (SE_INVALID_POINTER);
// kind 2 needs a non-empty column (SE_INVALID_PARAM). Texts longer than their
// fields are refused with SE_INVALID_PARAM, leaving the record as it was.
int32_t SES_loginfo_set_target_object(LOGFILE* logfile, int32_t kind,
                                      const char* object, const char* column);

int32_t SES_loginfo_get_persistence(const LOGFILE* logfile, int32_t* persistence);
// 1 marks the log file persistent, 2 temporary; other values SE_INVALID_PARAM.
int32_t SES_loginfo_set_persistence(LOGFILE* logfile, int32_t persistence);

#endif
