// zul_shared.h -- the instance's shared segment: the table of server
// processes, the area, state, table and object lock tables, the id pools, the
// feature-id counters and the shared registration table (SM_*).
//
// The listener creates the segment (SM_master_create); every server process
// attaches (SM_server_open) and keeps its PROC_INFO record in it. A local
// mode (SM_local_server_open) builds the same tables in private memory with
// all locking switched off.
//
// The records below live in shared memory: fixed-width fields at the offsets
// the static_asserts pin, the same in every process.
//
// Status codes: 0 success; -1 a mutex or the guard could not be taken or
// released; -12 no memory or no segment; -16 no free layer id; -48 lock not
// held; -49 lock conflict; -50 lock table full; -66 invalid argument (also:
// counts the segment cannot index, a layer or raster-column id out of range);
// -88 unsupported open mode; -97 no process record; -109 a named mutex could
// not be made or opened; -114 the registration's row ids are not kept here;
// -219 registration id out of range or slot free; -220 no such registration;
// -221 registration table full; -228 no free raster-column id; -999 the
// segment exists already.
#ifndef ZUL_SHARED_H
#define ZUL_SHARED_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "zul_raster.h"
#include "zul_registration.h"

struct CODEPAGE_INFO;
struct DB_INSTANCE;
struct SE_BITMAP;
typedef struct SM_HANDLE SM_HANDLE;

#define SM_RELEASE_TEXT "8.3"

#define SM_NO_PROC_RECORD     (-97)
#define SM_NO_LAYER_ID        (-16)
#define SM_ROWID_NOT_SERVER   (-114)
#define SM_BAD_REGISTRATION   (-219)
#define SM_NO_REGISTRATION    (-220)
#define SM_REGISTRATIONS_FULL (-221)
#define SM_NO_RASTERCOLUMN_ID (-228)
#define SM_MUTEX_FAILED       (-109)
#define SM_SEGMENT_EXISTS     (-999)

// ---- records in the segment -------------------------------------------------

// One server process; a record with pid 0 is free.
struct PROC_INFO {
  int32_t pid;            // process id, the key                      4
  int32_t pid2;           // process id again                         4
  int32_t start_time;     // start, seconds since 1970                4
  int32_t counters[8];    // kept by the server process               32
  char user[36];          // user name                                36
};
static_assert(sizeof(PROC_INFO) == 80, "PROC_INFO size");
static_assert(offsetof(PROC_INFO, user) == 44, "PROC_INFO.user offset");

// An envelope in system units.
struct SM_LOCK_ENVP {
  int32_t minx, miny, maxx, maxy;
};

// One area lock; record 0 heads the free list and is never a lock.
struct AREA_LOCK {
  int32_t pid;            // owner; 0 = unused                        4
  int32_t layer_id;       // layer                                    4
  int32_t kind;           // 0..4, SM_AREA_*                          4
  SM_LOCK_ENVP envp;           // locked area                              16
  uint16_t next;          // next lock of the layer; 0 ends the chain 2
  uint16_t unused;        //                                          2
};
static_assert(sizeof(AREA_LOCK) == 32 && offsetof(AREA_LOCK, next) == 28, "AREA_LOCK layout");

#define SM_AREA_SHARED_LAYER 0
#define SM_AREA_UPDATE_LAYER 1
#define SM_AREA_SHARED_AREA  2
#define SM_AREA_UPDATE_AREA  3
#define SM_AREA_AUTO_AREA    4

struct SM_STATE_LOCK {
  int32_t pid;            // owner                                    4
  int32_t state_id;       // state                                    4
  int16_t next;           // next record; -2 ends                     2
  int16_t kind;           // 0..5 ("Shared Tree" .. "Auto Exclusive State")  2
};
static_assert(sizeof(SM_STATE_LOCK) == 12, "SM_STATE_LOCK size");

struct SM_TABLE_LOCK {
  int32_t pid;            // owner                                    4
  int32_t table_id;       // registration id                          4
  int16_t next;           // next record; -2 ends                     2
  int16_t kind;           // 1 "Shared Table", 2 "Exclusive Table"    2
};
static_assert(sizeof(SM_TABLE_LOCK) == 12, "SM_TABLE_LOCK size");

struct SM_OBJECT_LOCK {
  int32_t pid;            // owner                                    4
  int32_t object_id;      // object                                   4
  int32_t object_type;    // object type                              4
  int32_t application_id; // application                              4
  int16_t next;           // next record; -2 ends                     2
  int16_t lock_type;      // 0..3 ("Shared Object" .. "Auto Exclusive Object")  2
};
static_assert(sizeof(SM_OBJECT_LOCK) == 20 && offsetof(SM_OBJECT_LOCK, next) == 16, "SM_OBJECT_LOCK layout");

// One cached table registration (names native and upper case).
struct SM_REGISTRATION {
  int32_t id;                 // non-zero while the id is allocated    4
  char database[32];          //                                       32
  char owner[32];             //                                       32
  char table[160];            //                                       160
  char rowid_column[32];      //                                       32
  char description[64];       //                                       64
  int32_t flags;              // SE_REG_* bits                         4
  int32_t reg_date;           // seconds since 1970                    4
  char config_keyword[32];    //                                       32
  int32_t min_id;             //                                       4
  char mv_view[160];          //                                       160
  int32_t last_touched;       // seconds; non-zero while in use        4
  int32_t next_rowid;         // 0 = not initialised                   4
  int32_t next;               // next slot in use; -2 ends             4
};
static_assert(sizeof(SM_REGISTRATION) == 540, "SM_REGISTRATION size");
static_assert(offsetof(SM_REGISTRATION, flags) == 324 && offsetof(SM_REGISTRATION, last_touched) == 528,
              "SM_REGISTRATION layout");

// ---- the segment --------------------------------------------------------------

int32_t SM_master_create(struct DB_INSTANCE* instance, const char* instance_name, void* unused, int32_t servers,
                         int32_t area_locks, int32_t state_locks, int32_t table_locks, int32_t layers,
                         int32_t registrations, int32_t raster_columns, int32_t object_locks,
                         const struct CODEPAGE_INFO* codepage, SM_HANDLE** out);
void SM_master_destroy(SM_HANDLE* handle);
int32_t SM_server_open(struct DB_INSTANCE* instance, const char* instance_name, void* unused, int32_t mode,
                       const struct CODEPAGE_INFO* codepage, SM_HANDLE** out);
int32_t SM_local_server_open(struct DB_INSTANCE* instance, int32_t servers, int32_t area_locks,
                             int32_t state_locks, int32_t table_locks, int32_t layers, int32_t registrations,
                             int32_t raster_columns, int32_t object_locks, const struct CODEPAGE_INFO* codepage,
                             SM_HANDLE** out);
void SM_server_close(SM_HANDLE* handle);

int32_t SM_shared_info(SM_HANDLE* handle, int32_t code);
int32_t SM_next_state_id_set(SM_HANDLE* handle, int32_t value);
int32_t SM_next_metadata_id_set(SM_HANDLE* handle, int32_t value);
int32_t SM_next_locator_id_set(SM_HANDLE* handle, int32_t value);
int32_t SM_next_version_id_set(SM_HANDLE* handle, int32_t value);
int32_t SM_default_state_id_set(SM_HANDLE* handle, int32_t value);
int32_t SM_shared_mutex_lock(SM_HANDLE* handle);
int32_t SM_shared_mutex_unlock(SM_HANDLE* handle);
int32_t SM_states_set_last_modified(SM_HANDLE* handle, int32_t time);
int32_t SM_states_get_last_modified(SM_HANDLE* handle, int32_t* time);
int32_t SM_lineage_set_last_modified(SM_HANDLE* handle, int32_t unused, int32_t time);
int32_t SM_lineage_get_last_modified(SM_HANDLE* handle, int32_t unused, int32_t* time);

PROC_INFO* SM_pinfo_find(SM_HANDLE* handle, int32_t pid);
PROC_INFO* SM_pinfo_find_by_server(SM_HANDLE* handle, int32_t pid);
int32_t SM_pinfo_add(SM_HANDLE* handle, int32_t pid);
int32_t SM_pinfo_delete(SM_HANDLE* handle, int32_t pid);
int32_t SM_pinfo_update(SM_HANDLE* handle, const PROC_INFO* record);
int32_t SM_pinfo_scan(SM_HANDLE* handle, int32_t step, PROC_INFO* out);

// ---- lock tables --------------------------------------------------------------

typedef int32_t (*SM_AREA_LOCK_FN)(void* user, const AREA_LOCK* lock);
typedef int32_t (*SM_TABLE_LOCK_FN)(void* user, const SM_TABLE_LOCK* lock);
typedef int32_t (*SM_OBJECT_LOCK_FN)(void* user, const SM_OBJECT_LOCK* lock);

int32_t SM_lock_add(SM_HANDLE* handle, int32_t layer_id, int32_t kind, const SM_LOCK_ENVP* envp);
int32_t SM_autolock_add(SM_HANDLE* handle, int32_t layer_id, const SM_LOCK_ENVP* envp);
int32_t SM_lock_modify(SM_HANDLE* handle, int32_t layer_id, int32_t kind, const SM_LOCK_ENVP* envp);
int32_t SM_lock_delete(SM_HANDLE* handle, int32_t layer_id);
int32_t SM_autolock_delete(SM_HANDLE* handle, int32_t layer_id);
int32_t SM_locks_delete_user(SM_HANDLE* handle, int32_t pid);
int32_t SM_locks_find_on_layer(SM_HANDLE* handle, int32_t layer_id, int32_t take_mutex, SM_AREA_LOCK_FN fn,
                               void* user);
void SM_lock_display(const AREA_LOCK* lock, FILE* stream, int32_t number, int32_t verbose);
int32_t SM_locks_display_used(SM_HANDLE* handle, void (*fn)(const AREA_LOCK* lock));

int32_t SM_state_lock_add(SM_HANDLE* handle, int32_t state_id, int32_t kind);
int32_t SM_state_lock_delete(SM_HANDLE* handle, int32_t state_id, int32_t automatic);
int32_t SM_state_locks_delete_user(SM_HANDLE* handle, int32_t pid);
void SM_state_lock_display(const SM_STATE_LOCK* lock, FILE* stream, int32_t number, int32_t verbose);
int32_t SM_state_locks_display_used(SM_HANDLE* handle, void (*fn)(const SM_STATE_LOCK* lock));

int32_t SM_table_lock_add(SM_HANDLE* handle, int32_t table_id, int32_t kind);
int32_t SM_table_lock_delete(SM_HANDLE* handle, int32_t table_id);
int32_t SM_table_locks_delete_user(SM_HANDLE* handle, int32_t pid);
int32_t SM_locks_find_on_table(SM_HANDLE* handle, int32_t table_id, int32_t take_mutex, SM_TABLE_LOCK_FN fn,
                               void* user);
void SM_table_lock_display(const SM_TABLE_LOCK* lock, FILE* stream, int32_t number, int32_t verbose);
int32_t SM_table_locks_display_used(SM_HANDLE* handle, void (*fn)(const SM_TABLE_LOCK* lock));

int32_t SM_object_lock_add(SM_HANDLE* handle, const SM_OBJECT_LOCK* lock, int16_t type);
int32_t SM_object_lock_delete(SM_HANDLE* handle, const SM_OBJECT_LOCK* lock, int32_t automatic);
int32_t SM_object_locks_delete_user(SM_HANDLE* handle, int32_t pid);
int32_t SM_object_locks_find_by_example(SM_HANDLE* handle, const SM_OBJECT_LOCK* example, int32_t take_mutex,
                                        SM_OBJECT_LOCK_FN fn, void* user);
void SM_object_lock_display(const SM_OBJECT_LOCK* lock, FILE* stream, int32_t number, int32_t verbose);
int32_t SM_object_locks_display_used(SM_HANDLE* handle, void (*fn)(const SM_OBJECT_LOCK* lock));

// ---- id pools, counters and the registration table ---------------------------

typedef int32_t (*SM_FID_START_FN)(void* user, int32_t layer_id);
typedef int32_t (*SM_RASTER_ID_FN)(void* user, const RASTERCOLUMN* column);
typedef int32_t (*SM_ROWID_FN)(void* user, const REGISTRATION* registration);
typedef int32_t (*SM_OPERATE_FN)(void* user, REGISTRATION* registration, int32_t* next_rowid);

int32_t SM_available_layer_ids_set(SM_HANDLE* handle, const struct SE_BITMAP* taken);
int32_t SM_return_layer_id(SM_HANDLE* handle, int32_t id);
int32_t SM_return_registration_id(SM_HANDLE* handle, int32_t id);
int32_t SM_available_rastercolumn_ids_set(SM_HANDLE* handle, const struct SE_BITMAP* taken);
int32_t SM_return_rastercolumn_id(SM_HANDLE* handle, int32_t id);

int32_t SM_layer_get_fid_range(SM_HANDLE* handle, int32_t layer_id, int32_t count);
int32_t SM_layer_set_fid_start(SM_HANDLE* handle, int32_t layer_id, SM_FID_START_FN fn, void* user);
int32_t SM_layer_clear_fids(SM_HANDLE* handle, int32_t layer_id);
int32_t SM_layer_get_time_last_modified(SM_HANDLE* handle, int32_t layer_id);
int32_t SM_layer_touch(SM_HANDLE* handle, int32_t layer_id);

int32_t SM_raster_get_id(SM_HANDLE* handle, const RASTERCOLUMN* column, SM_RASTER_ID_FN fn, void* user,
                         int32_t* id);
int32_t SM_raster_return_id(SM_HANDLE* handle, const RASTERCOLUMN* column, int32_t id);
int32_t SM_raster_clear_ids(SM_HANDLE* handle, const RASTERCOLUMN* column);
int32_t SM_rasterband_get_id(SM_HANDLE* handle, const RASTERCOLUMN* column, SM_RASTER_ID_FN fn, void* user,
                             int32_t* id);
int32_t SM_rasterband_return_id(SM_HANDLE* handle, const RASTERCOLUMN* column, int32_t id);
int32_t SM_rasterband_clear_ids(SM_HANDLE* handle, const RASTERCOLUMN* column);

int32_t SM_shared_registration_get(SM_HANDLE* handle, int32_t id, REGISTRATION* out);
int32_t SM_shared_registration_set(SM_HANDLE* handle, int32_t id, const REGISTRATION* record);
int32_t SM_shared_registration_clear(SM_HANDLE* handle, int32_t id);
int32_t SM_shared_registration_touch(SM_HANDLE* handle, int32_t id);
int32_t SM_shared_registration_operate(SM_HANDLE* handle, int32_t id, SM_OPERATE_FN fn, void* user);
int32_t SM_registration_time_last_modified(SM_HANDLE* handle, int32_t id);
int32_t SM_registration_get_rowid_range(SM_HANDLE* handle, int32_t id, int32_t count, SM_ROWID_FN fn, void* user,
                                        int32_t* first, int32_t* got);
int32_t SM_registration_return_rowid_range(SM_HANDLE* handle, int32_t id, int32_t first, int32_t count);
int32_t SM_registration_get_list(SM_HANDLE* handle, const struct SE_BITMAP* ids, REGISTRATION** list,
                                 int32_t* count);
int32_t SM_registration_get_masked_list(SM_HANDLE* handle, int32_t mask, int32_t all, REGISTRATION** list,
                                        int32_t* count);
int32_t SM_registration_find(SM_HANDLE* handle, const char* database, const char* owner, const char* table,
                             REGISTRATION* out);

#endif
