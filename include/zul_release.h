// zul_release.h -- the release record: which build of the server a client is
// talking to.
//
// The server sends RELEASE to every client right after the connection is
// made, and a fresh database stores one in its release table. The record has
// no pointers, so its host layout is its native image (pinned below); the
// channel encoders still write it field by field.
#ifndef ZUL_RELEASE_H
#define ZUL_RELEASE_H

#include <stddef.h>
#include <stdint.h>

#define SE_RELEASE_TEXT        "8.3"   // parsed with "%d.%d.%d" into the version numbers
#define SE_RELEASE_NUMBER      83002   // release number of this server
#define SE_RELEASE_DESC_LEN    96      // description field, terminating NUL included
#define SE_RELEASE_IMAGE       112     // native image
#define SE_RELEASE_IMAGE_OLD   80      // legacy native image (64-byte description)

struct RELEASE {
  int32_t major;                            // major release                     wire 4
  int32_t minor;                            // minor release                     wire 4
  int32_t bug;                              // bug-fix release                   wire 4
  char    description[SE_RELEASE_DESC_LEN]; // DBMS name, build and build date   wire 96
  int32_t release;                          // release number (83002)            wire 4
};
static_assert(sizeof(RELEASE) == SE_RELEASE_IMAGE, "RELEASE image size");
static_assert(offsetof(RELEASE, description) == 12, "RELEASE.description offset");
static_assert(offsetof(RELEASE, release) == 108, "RELEASE.release offset");

// Fills the version numbers from SE_RELEASE_TEXT (the bug-fix number is left
// as the caller set it: the text has only two numbers), the release number,
// and the description "%s %s %s" of the DBMS name, the build text and the
// build date of DB_dbms_get_rev, cut to fit the field. Returns 0, or
// SE_INVALID_POINTER for a null record.
int32_t SES_get_release(RELEASE* release);

#endif
