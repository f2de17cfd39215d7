// zul_locks.h -- the lock records sent to clients by the lock-listing
// commands, and the records of the listener protocol.
//
// The lock records travel in both encodings; the listener records (instance
// status, users, statistics, instance locks, the connect request and its
// answers) travel in XDR only. None holds a pointer except the listener's
// request texts, so the others have the host layout their size gives.
#ifndef ZUL_LOCKS_H
#define ZUL_LOCKS_H

#include <stddef.h>
#include <stdint.h>

#include "zul_layer.h"
#include "zul_release.h"

#define SE_LAYER_LOCKS_IMAGE  72
#define SE_TABLE_LOCK_IMAGE   40
#define SE_OBJECT_LOCK_IMAGE  56

// One area lock on a layer.
struct SE_LAYER_LOCKS {
  char        user[36];     // user name                 wire 36
  int32_t     lock_type;    // lock type                 wire 4
  SE_ENVELOPE area;         // locked area               wire 32
};
static_assert(sizeof(SE_LAYER_LOCKS) == SE_LAYER_LOCKS_IMAGE, "SE_LAYER_LOCKS image size");

// One lock on a table (lock type) or on a version (lock mode).
struct SE_TABLE_LOCK {
  char    user[36];         // user name                 wire 36
  int32_t lock_type;        // table lock type or version lock mode  wire 4
};
typedef SE_TABLE_LOCK SE_VERSION_LOCK;
static_assert(sizeof(SE_TABLE_LOCK) == SE_TABLE_LOCK_IMAGE, "SE_TABLE_LOCK image size");

// One lock on an object.
struct SE_OBJECT_LOCK {
  int32_t local_word;       // the holder's own word     wire 4
  int32_t pid;              // server process holding it wire 4
  char    owner[32];        // user name                 wire 32
  int32_t object_id;        // object id                 wire 4
  int32_t object_type;      // object type               wire 4
  int32_t application_id;   // application id            wire 4
  int16_t lock_type;        // lock type                 wire 2 (+2 padding)
  int16_t pad54;
};
static_assert(sizeof(SE_OBJECT_LOCK) == SE_OBJECT_LOCK_IMAGE, "SE_OBJECT_LOCK image size");
static_assert(offsetof(SE_OBJECT_LOCK, lock_type) == 52, "SE_OBJECT_LOCK.lock_type offset");

// ---- listener records (XDR only) ------------------------------------------

// The listener's status: its release and two values.
struct SE_INSTANCE_STATUS {
  RELEASE release;          // the listener's release
  int32_t value1;
  int32_t value2;
};
static_assert(sizeof(SE_INSTANCE_STATUS) == 120, "SE_INSTANCE_STATUS size");

// User names of the listener's records hold at most 32 characters.
#define SE_INSTANCE_NAME_SLOT 33

// One connected user as the listener lists it.
struct SE_INSTANCE_USER {
  int32_t value1;
  int32_t value2;
  int32_t value3;
  char    name1[SE_INSTANCE_NAME_SLOT];   // at offset 12
  char    name2[SE_INSTANCE_NAME_SLOT];   // at offset 45
  char    name3[SE_INSTANCE_NAME_SLOT];   // at offset 78
  char    pad111;
};
static_assert(sizeof(SE_INSTANCE_USER) == 112, "SE_INSTANCE_USER size");
static_assert(offsetof(SE_INSTANCE_USER, name3) == 78, "SE_INSTANCE_USER.name3 offset");

// Nine counters of one server process.
struct SE_INSTANCE_STATS {
  int32_t counters[9];
};
static_assert(sizeof(SE_INSTANCE_STATS) == 36, "SE_INSTANCE_STATS size");

// An instance lock: int, short, int.
struct SE_INSTANCE_LOCK {
  int32_t value1;
  int16_t value2;
  int16_t pad6;
  int32_t value3;
};
static_assert(sizeof(SE_INSTANCE_LOCK) == 12, "SE_INSTANCE_LOCK size");

// An instance table or version lock: int, int, short.
struct SE_INSTANCE_TABLE_LOCK {
  int32_t value1;
  int32_t value2;
  int16_t value3;
  int16_t pad10;
};
typedef SE_INSTANCE_TABLE_LOCK SE_INSTANCE_VERSION_LOCK;
static_assert(sizeof(SE_INSTANCE_TABLE_LOCK) == 12, "SE_INSTANCE_TABLE_LOCK size");

// Texts of the listener request hold at most 256 characters.
#define SE_LISTENER_TEXT_MAX 256

// The client's user names.
struct client_user_info {
  char* name1;              // at most 256 characters, owned
  char* name2;              // at most 256 characters, owned
};

// A request to the listener.
struct req4io {
  int32_t          id;      // request id
  char*            text1;   // at most 256 characters each, owned
  char*            text2;
  char*            text3;
  int32_t          value1;
  client_user_info user;
  int32_t          value2;
};

// Texts of the listener's answer hold at most 511 characters in 512 bytes.
#define SE_OPEN_RES_TEXT 512

// The listener's answer to a connect request.
struct open_res {
  int32_t ids[3];
  int32_t value;
  int32_t values[7];                 // offsets 16 to 40
  char    text1[SE_OPEN_RES_TEXT];   // at offset 44
  char    text2[SE_OPEN_RES_TEXT];   // at offset 556
};
static_assert(sizeof(open_res) == 1068, "open_res size");

// The older answer: four ids and five integers.
struct open_res_old {
  int32_t ids[4];
  int32_t values[5];
};
static_assert(sizeof(open_res_old) == 36, "open_res_old size");

#endif
