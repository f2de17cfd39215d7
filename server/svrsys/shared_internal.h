// shared_internal.h -- what the files of the shared segment share among
// themselves (shared.cpp: segment, process table, mutexes and guard;
// shared_locks.cpp: lock tables; shared_ids.cpp: id pools and registrations),
// and the few seams their tests use. Not part of the exported interface.
#ifndef SHARED_INTERNAL_H
#define SHARED_INTERNAL_H

#include "zul_shared.h"
#include "zulos.h"

#include <stdint.h>

#define SM_MUTEX_COUNT 15

// Mutex numbers (the argument of sm_mutex_take / sm_mutex_give).
enum {
  SM_MX_LOCK = 1, SM_MX_FID, SM_MX_SHARED, SM_MX_ROWID, SM_MX_STATE, SM_MX_STATE_LOCK, SM_MX_RASTERID,
  SM_MX_BANDID, SM_MX_TABLE_LOCK, SM_MX_NEXT_STATE_ID, SM_MX_NEXT_METADATA_ID, SM_MX_NEXT_LOCATOR_ID,
  SM_MX_NEXT_VERSION_ID, SM_MX_OBJECT_LOCK, SM_MX_DEFAULT_STATE_ID
};

// Header words.
enum {
  SMW_READERS = 0, SMW_SERVERS_USED, SMW_MAX_SERVERS, SMW_MAX_AREA, SMW_MAX_STATE, SMW_MAX_TABLE, SMW_MAX_OBJECT,
  SMW_MAX_LAYERS, SMW_MAX_REG, SMW_MAX_RASTER, SMW_STATES_TIME, SMW_OFFSET0 = 11, SMW_SIZE = 23,
  SMW_STATE_USED = 24, SMW_STATE_FREE, SMW_STATE_COUNT, SMW_REG_FIRST, SMW_REG_COUNT, SMW_TABLE_USED,
  SMW_TABLE_FREE, SMW_TABLE_COUNT, SMW_NEXT_STATE_ID, SMW_NEXT_METADATA_ID, SMW_NEXT_LOCATOR_ID,
  SMW_NEXT_VERSION_ID, SMW_OBJECT_USED, SMW_OBJECT_FREE, SMW_OBJECT_COUNT, SMW_DEFAULT_STATE_ID, SMW_WORDS
};

#define SM_HEADER_SIZE 160
#define SM_REGIONS 12
#define SM_READER_SLOTS 1024

// The layout of a segment from its counts: the twelve region offsets and the
// total size. Returns 0, or -66 with a message on standard error when a count
// is out of range or the segment would pass 2 GB.
struct SM_LAYOUT {
  int32_t counts[9];            // S, A, T, B, O, L, G, R (header words 2..9 order)
  uint32_t offset[SM_REGIONS];  // region starts
  uint32_t total;               // segment size
};
int32_t sm_layout(int32_t servers, int32_t area_locks, int32_t state_locks, int32_t table_locks,
                  int32_t object_locks, int32_t layers, int32_t registrations, int32_t raster_columns,
                  SM_LAYOUT* out);

// A reader of the registration guard: its pid and how often it is inside.
struct SM_READER {
  int32_t pid;
  int32_t count;
};

struct SM_LAYER_SLOT {
  uint16_t layer_id;     // 0 = free                       2
  uint16_t first_lock;   // first AREA_LOCK; 0 = none      2
};
static_assert(sizeof(SM_LAYER_SLOT) == 4, "layer slot size");

struct SM_HANDLE {
  int32_t size;                  // total segment size
  char* base;                    // the segment
  PROC_INFO* procs;              // region 1
  AREA_LOCK* area_locks;         // region 2
  SM_LAYER_SLOT* layer_slots;    // region 3
  SM_STATE_LOCK* state_locks;    // region 4
  SM_TABLE_LOCK* table_locks;    // region 11
  int32_t* layer_times;          // region 5
  int32_t* fid_counters;         // region 6
  SM_REGISTRATION* registrations;  // region 7
  uint8_t* raster_flags;         // region 8
  int32_t* raster_ids;           // region 9
  int32_t* band_ids;             // region 10
  SM_OBJECT_LOCK* object_locks;  // region 12
  int held[SM_MUTEX_COUNT];      // 1 while this process holds mutex i+1
  int local;                     // 1 in local mode (private tables, no locking)
  zulos_shm segment;             // the mapping
  zulos_mutex mutexes[SM_MUTEX_COUNT];  // by mutex number - 1
  char instance_name[128];
  int guard_state;               // 1 none, 2 reading, 3 writing
  zulos_mutex guard_mutex;
  zulos_event no_readers;
  zulos_shm readers;             // SM_READER[SM_READER_SLOTS]: who is inside the guard
  int32_t scan_cursor;           // SM_pinfo_scan: next record, -1 = no scan
  int32_t owner_pid;             // the process the handle belongs to
  const CODEPAGE_INFO* codepage; // the connection's code pages, or null
  DB_INSTANCE* instance;
};

static inline int32_t* sm_header(SM_HANDLE* h) { return reinterpret_cast<int32_t*>(h->base); }

// Mutex take and release by number: 0 or -1. No-ops in local mode.
int32_t sm_mutex_take(SM_HANDLE* h, int number);
int32_t sm_mutex_give(SM_HANDLE* h, int number);
// The registration guard: state 2 reader, 3 writer. 0, -1 or -66.
int32_t sm_guard_enter(SM_HANDLE* h, int state);
int32_t sm_guard_exit(SM_HANDLE* h);

// The liveness test of lock owners; SubPrograms_ProgramAlive unless a test
// replaces it (null restores it).
typedef int32_t (*SM_ALIVE_FN)(int32_t pid);
void sm_set_alive_probe(SM_ALIVE_FN fn);
int32_t sm_owner_alive(int32_t pid);

// Tests: make the handle act for another process id.
void sm_handle_set_owner(SM_HANDLE* h, int32_t pid);

// Copies a registration slot to the client record (names converted to the
// connection's code page when asked). Caller holds the guard or mutex 4.
void sm_registration_to_client(SM_HANDLE* h, int32_t slot, REGISTRATION* out);

// Id allocation behind SM_shared_info codes 22, 23 and 24 (shared_ids.cpp).
int32_t sm_alloc_layer_id(SM_HANDLE* h);
int32_t sm_alloc_registration_id(SM_HANDLE* h);
int32_t sm_alloc_rastercolumn_id(SM_HANDLE* h);

// The current time in a 32-bit field.
int32_t sm_now(void);

#endif
