// shared.cpp -- the instance's shared segment: layout, creation, attaching,
// local mode, the numbered queries, the instance-wide counters and the table
// of server processes.
//
// Relies on the OS layer for the named segment and mutexes (zulos.h), on
// mutex.cpp for the numbered mutexes and the registration guard, and on
// shared_locks.cpp and shared_ids.cpp for what lives in the regions.
//
// Notes:
// 1. The layout is computed once, by the creator, and written into header
//    words 11 to 23; every other process takes the offsets from there, after
//    checking that they lie inside what it mapped.
// 2. Counts the segment cannot index are refused at creation (-66): area-lock
//    indexes are unsigned 16-bit, state, table and object lock indexes and
//    layer ids signed 16-bit (-2 ends a list), and the size is a signed 32-bit
//    word. The raster-id counters (region 9) start on a 4-byte boundary, so
//    with a raster-column count that is not a multiple of 4 they begin up to
//    3 bytes later than plain concatenation would put them.
// 3. The process table is changed without a mutex: a record is claimed by a
//    compare-and-swap of its pid word from 0, released by storing 0, and
//    header word 1 moves by atomic add, so two starting servers never share a
//    record.
#include "shared_internal.h"

#include "dbtune_probe.h"
#include "zul_status.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

const char* const kMutexWords[SM_MUTEX_COUNT] = {
    "lock", "fid", "shared", "rowid", "state", "state_lock", "rasterid", "bandid", "table_lock",
    "next_state_id", "next_metadata_id", "next_locator_id", "next_version_id", "object_lock",
    "default_state_id"};

// Mutex numbers in the order they are created and opened.
const int kHandleOrder[SM_MUTEX_COUNT] = {1, 6, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15};

uint64_t round_up(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }

void object_name(char* out, size_t cap, const char* instance, const char* what) {
  snprintf(out, cap, "ZUL_%s_%s_iomgr_%s", SM_RELEASE_TEXT, instance, what);
}

void mutex_name(char* out, size_t cap, const char* instance, int number) {
  char what[64];
  snprintf(what, sizeof what, "%s_mutex", kMutexWords[number - 1]);
  object_name(out, cap, instance, what);
}

int32_t atomic_load(const int32_t* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }

void set_regions(SM_HANDLE* h) {
  const int32_t* w = sm_header(h);
  char* b = h->base;
  h->size = w[SMW_SIZE];
  h->procs = reinterpret_cast<PROC_INFO*>(b + w[SMW_OFFSET0 + 0]);
  h->area_locks = reinterpret_cast<AREA_LOCK*>(b + w[SMW_OFFSET0 + 1]);
  h->layer_slots = reinterpret_cast<SM_LAYER_SLOT*>(b + w[SMW_OFFSET0 + 2]);
  h->state_locks = reinterpret_cast<SM_STATE_LOCK*>(b + w[SMW_OFFSET0 + 3]);
  h->layer_times = reinterpret_cast<int32_t*>(b + w[SMW_OFFSET0 + 4]);
  h->fid_counters = reinterpret_cast<int32_t*>(b + w[SMW_OFFSET0 + 5]);
  h->registrations = reinterpret_cast<SM_REGISTRATION*>(b + w[SMW_OFFSET0 + 6]);
  h->raster_flags = reinterpret_cast<uint8_t*>(b + w[SMW_OFFSET0 + 7]);
  h->raster_ids = reinterpret_cast<int32_t*>(b + w[SMW_OFFSET0 + 8]);
  h->band_ids = reinterpret_cast<int32_t*>(b + w[SMW_OFFSET0 + 9]);
  h->table_locks = reinterpret_cast<SM_TABLE_LOCK*>(b + w[SMW_OFFSET0 + 10]);
  h->object_locks = reinterpret_cast<SM_OBJECT_LOCK*>(b + w[SMW_OFFSET0 + 11]);
}

// Header words and free lists of a new segment (creation steps 3, 5 and 9).
void init_tables(SM_HANDLE* h, const SM_LAYOUT& lay, bool local) {
  int32_t* w = sm_header(h);
  memset(w, 0, SM_HEADER_SIZE);
  for (int i = 0; i < 8; ++i) w[SMW_MAX_SERVERS + i] = lay.counts[i];
  for (int i = 0; i < SM_REGIONS; ++i) w[SMW_OFFSET0 + i] = static_cast<int32_t>(lay.offset[i]);
  w[SMW_SIZE] = static_cast<int32_t>(lay.total);
  w[SMW_STATE_USED] = -2;
  w[SMW_REG_FIRST] = -2;
  w[SMW_TABLE_USED] = -2;
  w[SMW_OBJECT_USED] = -2;
  set_regions(h);
  int32_t A = w[SMW_MAX_AREA], T = w[SMW_MAX_STATE], B = w[SMW_MAX_TABLE], O = w[SMW_MAX_OBJECT];
  int32_t L = w[SMW_MAX_LAYERS];
  for (int32_t i = 0; i < A; ++i) h->area_locks[i].next = static_cast<uint16_t>(i + 1 < A ? i + 1 : 0);
  for (int32_t i = 0; i < L; ++i) {
    h->layer_slots[i].layer_id = local ? static_cast<uint16_t>(i + 1) : 0;
    h->layer_slots[i].first_lock = 0;
  }
  for (int32_t i = 0; i < T; ++i) h->state_locks[i].next = static_cast<int16_t>(i + 1 < T ? i + 1 : -2);
  for (int32_t i = 0; i < B; ++i) h->table_locks[i].next = static_cast<int16_t>(i + 1 < B ? i + 1 : -2);
  for (int32_t i = 0; i < O; ++i) h->object_locks[i].next = static_cast<int16_t>(i + 1 < O ? i + 1 : -2);
  for (int32_t i = 0; i < w[SMW_MAX_REG]; ++i) h->registrations[i].next = -2;
}

SM_HANDLE* new_handle(DB_INSTANCE* instance, const CODEPAGE_INFO* codepage) {
  SM_HANDLE* h = static_cast<SM_HANDLE*>(calloc(1, sizeof(SM_HANDLE)));
  if (!h) return nullptr;
  h->segment.lock_fd = -1;
  h->readers.lock_fd = -1;
  h->guard_mutex.shm.lock_fd = -1;
  h->no_readers.shm.lock_fd = -1;
  for (auto& m : h->mutexes) m.shm.lock_fd = -1;
  h->guard_state = 1;
  h->scan_cursor = -1;
  h->owner_pid = static_cast<int32_t>(getpid());
  h->codepage = codepage;
  h->instance = instance;
  return h;
}

// Closes every named object of the handle; the creator's close removes the
// names. The handle is freed.
void close_all(SM_HANDLE* h) {
  zulos_event_close(&h->no_readers);
  zulos_mutex_close(&h->guard_mutex);
  zulos_shm_destroy(&h->readers);
  for (int i = SM_MUTEX_COUNT - 1; i >= 0; --i) zulos_mutex_close(&h->mutexes[kHandleOrder[i] - 1]);
  zulos_shm_destroy(&h->segment);
  free(h);
}

// Header words 11 to 23 of a segment made elsewhere must describe regions
// inside what was mapped.
bool header_sane(const int32_t* w, size_t mapped) {
  if (w[SMW_SIZE] < SM_HEADER_SIZE || static_cast<size_t>(w[SMW_SIZE]) > mapped) return false;
  SM_LAYOUT lay;
  if (sm_layout(w[SMW_MAX_SERVERS], w[SMW_MAX_AREA], w[SMW_MAX_STATE], w[SMW_MAX_TABLE], w[SMW_MAX_OBJECT],
                w[SMW_MAX_LAYERS], w[SMW_MAX_REG], w[SMW_MAX_RASTER], &lay) != 0)
    return false;
  for (int i = 0; i < SM_REGIONS; ++i)
    if (static_cast<uint32_t>(w[SMW_OFFSET0 + i]) != lay.offset[i]) return false;
  return static_cast<uint32_t>(w[SMW_SIZE]) == lay.total;
}

PROC_INFO* pinfo_find(SM_HANDLE* h, int32_t pid) {
  if (!h || !h->procs) return nullptr;
  int32_t n = sm_header(h)[SMW_MAX_SERVERS];
  for (int32_t i = 0; i < n; ++i)
    if (atomic_load(&h->procs[i].pid) == pid) return &h->procs[i];
  return nullptr;
}

int32_t set_word(SM_HANDLE* h, int mutex, int word, int32_t value) {
  if (!h) return -1;
  if (sm_mutex_take(h, mutex) != 0) return -1;
  sm_header(h)[word] = value;
  return sm_mutex_give(h, mutex);
}

int32_t next_id(SM_HANDLE* h, int mutex, int word) {
  if (sm_mutex_take(h, mutex) != 0) return -1;
  int32_t v = ++sm_header(h)[word];
  if (sm_mutex_give(h, mutex) != 0) return -1;
  return v;
}

}  // namespace

int32_t sm_now(void) { return static_cast<int32_t>(time(nullptr)); }

void sm_handle_set_owner(SM_HANDLE* h, int32_t pid) {
  if (h) h->owner_pid = pid;
}

int32_t sm_layout(int32_t S, int32_t A, int32_t T, int32_t B, int32_t O, int32_t L, int32_t G, int32_t R,
                  SM_LAYOUT* out) {
  struct Bound {
    const char* what;
    int32_t value;
    int32_t max;
  };
  const Bound bounds[] = {
      {"servers", S, 1 << 20},          {"area locks", A, 65535},  {"state locks", T, 32767},
      {"table locks", B, 32767},        {"object locks", O, 32767}, {"layers", L, 32767},
      {"registrations", G, 1 << 22},    {"raster columns", R, 1 << 24},
  };
  for (const Bound& b : bounds) {
    if (b.value < 1 || b.value > b.max) {
      fprintf(stderr, "shared memory: %d %s is outside 1 to %d\n", b.value, b.what, b.max);
      return SE_INVALID_PARAM;
    }
  }
  uint64_t off[SM_REGIONS];
  off[0] = SM_HEADER_SIZE;
  off[1] = (SM_HEADER_SIZE + 80ULL * S + 31) & ~31ULL;
  off[2] = round_up(off[1] + 32ULL * A, 4);
  off[3] = round_up(off[2] + 4ULL * L, 12);
  off[4] = off[3] + 12ULL * T;
  off[5] = off[4] + 4ULL * L;
  off[6] = round_up(off[5] + 4ULL * L, 540);
  off[7] = off[6] + 540ULL * G;
  off[8] = round_up(off[7] + static_cast<uint64_t>(R), 4);
  off[9] = off[8] + 4ULL * R;
  off[10] = round_up(off[9] + 4ULL * R, 12);
  off[11] = round_up(off[10] + 12ULL * B, 20);
  uint64_t total = off[11] + 20ULL * (static_cast<uint64_t>(O) + 1);
  if (total > 0x7fffffffULL) {
    fprintf(stderr, "shared memory: the configured counts need %llu bytes, more than 2147483647\n",
            static_cast<unsigned long long>(total));
    return SE_INVALID_PARAM;
  }
  const int32_t counts[8] = {S, A, T, B, O, L, G, R};
  for (int i = 0; i < 8; ++i) out->counts[i] = counts[i];
  out->counts[8] = 0;
  for (int i = 0; i < SM_REGIONS; ++i) out->offset[i] = static_cast<uint32_t>(off[i]);
  out->total = static_cast<uint32_t>(total);
  return 0;
}

int32_t SM_master_create(DB_INSTANCE* instance, const char* instance_name, void* unused, int32_t servers,
                         int32_t area_locks, int32_t state_locks, int32_t table_locks, int32_t layers,
                         int32_t registrations, int32_t raster_columns, int32_t object_locks,
                         const CODEPAGE_INFO* codepage, SM_HANDLE** out) {
  (void)unused;
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  if (!instance_name || strlen(instance_name) >= sizeof(SM_HANDLE::instance_name)) return SE_INVALID_PARAM;
  // This system keeps no DBMS-specific dbtune tables: the answer is always
  // -37, and creation goes on.
  (void)DB_instance_has_dbs_tables(instance);
  SM_LAYOUT lay;
  int32_t rc = sm_layout(servers, area_locks, state_locks, table_locks, object_locks, layers, registrations,
                         raster_columns, &lay);
  if (rc != 0) return rc;
  SM_HANDLE* h = new_handle(instance, codepage);
  if (!h) return SE_OUT_OF_DBMS_MEM;
  snprintf(h->instance_name, sizeof h->instance_name, "%s", instance_name);
  char name[256];
  object_name(name, sizeof name, instance_name, "shared_memory");
  rc = zulos_shm_create("map", name, lay.total, &h->segment);
  if (rc == ZULOS_EXISTS) {
    free(h);
    return SM_SEGMENT_EXISTS;
  }
  if (rc != ZULOS_OK) {
    free(h);
    return SE_OUT_OF_DBMS_MEM;
  }
  h->base = static_cast<char*>(h->segment.base);
  init_tables(h, lay, false);
  for (int i = 0; i < SM_MUTEX_COUNT; ++i) {
    int number = kHandleOrder[i];
    mutex_name(name, sizeof name, instance_name, number);
    if (zulos_mutex_create(name, &h->mutexes[number - 1]) != ZULOS_OK) {
      close_all(h);
      return SM_MUTEX_FAILED;
    }
  }
  object_name(name, sizeof name, instance_name, "rwguard_mutex");
  int g1 = zulos_mutex_create(name, &h->guard_mutex);
  object_name(name, sizeof name, instance_name, "rwno_readers_event");
  int g2 = g1 == ZULOS_OK ? zulos_event_create(name, 1, 1, &h->no_readers) : ZULOS_FAILED;
  object_name(name, sizeof name, instance_name, "rwreaders");
  int g3 = g2 == ZULOS_OK ? zulos_shm_create("tbl", name, sizeof(SM_READER) * SM_READER_SLOTS, &h->readers)
                          : ZULOS_FAILED;
  if (g3 == ZULOS_EXISTS) {
    // A live process keeps a reader table of that name: this segment's guard
    // would not be its own.
    g3 = ZULOS_FAILED;
  }
  if (g1 != ZULOS_OK || g2 != ZULOS_OK || g3 != ZULOS_OK) {
    close_all(h);
    return SM_MUTEX_FAILED;
  }
  *out = h;
  return 0;
}

void SM_master_destroy(SM_HANDLE* handle) {
  if (!handle) return;
  close_all(handle);
}

int32_t SM_server_open(DB_INSTANCE* instance, const char* instance_name, void* unused, int32_t mode,
                       const CODEPAGE_INFO* codepage, SM_HANDLE** out) {
  (void)unused;
  if (mode != 0) return SE_INVALID_RELEASE;
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  if (!instance_name || strlen(instance_name) >= sizeof(SM_HANDLE::instance_name)) return SE_INVALID_PARAM;
  SM_HANDLE* h = new_handle(instance, codepage);
  if (!h) return SE_OUT_OF_DBMS_MEM;
  char name[256];
  object_name(name, sizeof name, instance_name, "shared_memory");
  if (zulos_shm_open("map", name, &h->segment) != ZULOS_OK) {
    free(h);
    return SE_OUT_OF_DBMS_MEM;
  }
  h->base = static_cast<char*>(h->segment.base);
  if (h->segment.size < SM_HEADER_SIZE || !header_sane(sm_header(h), h->segment.size)) {
    fprintf(stderr, "shared memory: %s holds no valid instance table\n", name);
    zulos_shm_close(&h->segment);
    free(h);
    return SE_OUT_OF_DBMS_MEM;
  }
  for (int i = 0; i < SM_MUTEX_COUNT; ++i) {
    int number = kHandleOrder[i];
    mutex_name(name, sizeof name, instance_name, number);
    if (zulos_mutex_open(name, &h->mutexes[number - 1]) != ZULOS_OK) {
      close_all(h);
      return SM_MUTEX_FAILED;
    }
  }
  snprintf(h->instance_name, sizeof h->instance_name, "%s", instance_name);
  object_name(name, sizeof name, instance_name, "rwguard_mutex");
  bool ok = zulos_mutex_open(name, &h->guard_mutex) == ZULOS_OK;
  object_name(name, sizeof name, instance_name, "rwno_readers_event");
  ok = ok && zulos_event_open(name, &h->no_readers) == ZULOS_OK;
  object_name(name, sizeof name, instance_name, "rwreaders");
  ok = ok && zulos_shm_open("tbl", name, &h->readers) == ZULOS_OK &&
       h->readers.size >= sizeof(SM_READER) * SM_READER_SLOTS;
  if (!ok) {
    SM_server_close(h);
    return -1;
  }
  set_regions(h);
  *out = h;
  return 0;
}

int32_t SM_local_server_open(DB_INSTANCE* instance, int32_t servers, int32_t area_locks, int32_t state_locks,
                             int32_t table_locks, int32_t layers, int32_t registrations, int32_t raster_columns,
                             int32_t object_locks, const CODEPAGE_INFO* codepage, SM_HANDLE** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  SM_LAYOUT lay;
  if (sm_layout(servers, area_locks, state_locks, table_locks, object_locks, layers, registrations,
                raster_columns, &lay) != 0)
    return SE_OUT_OF_DBMS_MEM;
  SM_HANDLE* h = new_handle(instance, codepage);
  if (!h) return SE_OUT_OF_DBMS_MEM;
  // 64-byte aligned, as a mapped segment is.
  void* block = nullptr;
  if (posix_memalign(&block, 64, lay.total) != 0) {
    free(h);
    return SE_OUT_OF_DBMS_MEM;
  }
  memset(block, 0, lay.total);
  h->local = 1;
  h->base = static_cast<char*>(block);
  init_tables(h, lay, true);
  *out = h;
  return 0;
}

void SM_server_close(SM_HANDLE* handle) {
  if (!handle) return;
  SM_HANDLE* h = handle;
  if (h->local) {
    free(h->base);
    free(h);
    return;
  }
  for (int i = 0; i < SM_MUTEX_COUNT; ++i)
    if (h->held[i]) sm_mutex_give(h, i + 1);
  if (h->guard_state != 1) sm_guard_exit(h);
  close_all(h);
}

int32_t SM_shared_info(SM_HANDLE* h, int32_t code) {
  if (!h) return -1;
  const int32_t* w = sm_header(h);
  switch (code) {
    case 1: return atomic_load(&w[SMW_SERVERS_USED]);
    case 2: return w[SMW_MAX_SERVERS];
    case 3: {
      if (sm_mutex_take(h, SM_MX_LOCK) != 0) return -1;
      int32_t n = 0;
      for (int32_t i = 0; i < w[SMW_MAX_AREA]; ++i)
        if (h->area_locks[i].pid != 0) ++n;
      if (sm_mutex_give(h, SM_MX_LOCK) != 0) return -1;
      return n;
    }
    case 4: return w[SMW_MAX_AREA];
    case 5: {
      int32_t n = 0;
      for (int32_t i = 0; i < w[SMW_MAX_LAYERS]; ++i)
        if (atomic_load(&h->layer_times[i]) != 0) ++n;
      return n;
    }
    case 6: return w[SMW_MAX_LAYERS];
    case 7: return w[SMW_REG_COUNT];
    case 8: return w[SMW_MAX_REG];
    case 9: return w[SMW_STATE_COUNT];
    case 10: return w[SMW_MAX_STATE];
    case 12: return w[SMW_MAX_RASTER];
    case 13: return w[SMW_TABLE_COUNT];
    case 14: return w[SMW_MAX_TABLE];
    case 15: return next_id(h, SM_MX_NEXT_STATE_ID, SMW_NEXT_STATE_ID);
    case 16: return next_id(h, SM_MX_NEXT_METADATA_ID, SMW_NEXT_METADATA_ID);
    case 17: return next_id(h, SM_MX_NEXT_LOCATOR_ID, SMW_NEXT_LOCATOR_ID);
    case 18: return next_id(h, SM_MX_NEXT_VERSION_ID, SMW_NEXT_VERSION_ID);
    case 19: return w[SMW_OBJECT_COUNT];
    case 20: return w[SMW_MAX_OBJECT];
    case 21: {
      if (sm_mutex_take(h, SM_MX_DEFAULT_STATE_ID) != 0) return -1;
      int32_t v = w[SMW_DEFAULT_STATE_ID];
      if (sm_mutex_give(h, SM_MX_DEFAULT_STATE_ID) != 0) return -1;
      return v;
    }
    case 22: return sm_alloc_layer_id(h);
    case 23: return sm_alloc_registration_id(h);
    case 24: return sm_alloc_rastercolumn_id(h);
    case 25: case 26: case 27: case 29: return 1;
    case 28: return h->owner_pid;
    default: return 0;
  }
}

int32_t SM_next_state_id_set(SM_HANDLE* h, int32_t v) { return set_word(h, SM_MX_NEXT_STATE_ID, SMW_NEXT_STATE_ID, v); }
int32_t SM_next_metadata_id_set(SM_HANDLE* h, int32_t v) {
  return set_word(h, SM_MX_NEXT_METADATA_ID, SMW_NEXT_METADATA_ID, v);
}
int32_t SM_next_locator_id_set(SM_HANDLE* h, int32_t v) {
  return set_word(h, SM_MX_NEXT_LOCATOR_ID, SMW_NEXT_LOCATOR_ID, v);
}
int32_t SM_next_version_id_set(SM_HANDLE* h, int32_t v) {
  return set_word(h, SM_MX_NEXT_VERSION_ID, SMW_NEXT_VERSION_ID, v);
}
int32_t SM_default_state_id_set(SM_HANDLE* h, int32_t v) {
  return set_word(h, SM_MX_DEFAULT_STATE_ID, SMW_DEFAULT_STATE_ID, v);
}

int32_t SM_shared_mutex_lock(SM_HANDLE* h) { return h ? sm_mutex_take(h, SM_MX_SHARED) : -1; }
int32_t SM_shared_mutex_unlock(SM_HANDLE* h) { return h ? sm_mutex_give(h, SM_MX_SHARED) : -1; }

int32_t SM_states_set_last_modified(SM_HANDLE* h, int32_t t) {
  if (!h || sm_mutex_take(h, SM_MX_STATE) != 0) return -1;
  int32_t* w = sm_header(h);
  // Compared as unsigned seconds, which stay ordered past 2038.
  if (static_cast<uint32_t>(t) > static_cast<uint32_t>(w[SMW_STATES_TIME])) w[SMW_STATES_TIME] = t;
  else w[SMW_STATES_TIME] = static_cast<int32_t>(static_cast<uint32_t>(w[SMW_STATES_TIME]) + 1u);
  return sm_mutex_give(h, SM_MX_STATE);
}

int32_t SM_states_get_last_modified(SM_HANDLE* h, int32_t* t) {
  if (!h || !t || sm_mutex_take(h, SM_MX_STATE) != 0) return -1;
  *t = sm_header(h)[SMW_STATES_TIME];
  return sm_mutex_give(h, SM_MX_STATE);
}

int32_t SM_lineage_set_last_modified(SM_HANDLE* h, int32_t, int32_t t) { return SM_states_set_last_modified(h, t); }
int32_t SM_lineage_get_last_modified(SM_HANDLE* h, int32_t, int32_t* t) { return SM_states_get_last_modified(h, t); }

PROC_INFO* SM_pinfo_find(SM_HANDLE* h, int32_t pid) { return pinfo_find(h, pid); }
PROC_INFO* SM_pinfo_find_by_server(SM_HANDLE* h, int32_t pid) { return pinfo_find(h, pid); }

int32_t SM_pinfo_add(SM_HANDLE* h, int32_t pid) {
  if (!h || pid == 0) return -1;
  int32_t n = sm_header(h)[SMW_MAX_SERVERS];
  for (int32_t i = 0; i < n; ++i) {
    PROC_INFO* p = &h->procs[i];
    int32_t expected = 0;
    if (__atomic_compare_exchange_n(&p->pid, &expected, pid, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
      memset(reinterpret_cast<char*>(p) + sizeof p->pid, 0, sizeof *p - sizeof p->pid);
      p->pid2 = pid;
      p->start_time = sm_now();
      __atomic_add_fetch(&sm_header(h)[SMW_SERVERS_USED], 1, __ATOMIC_ACQ_REL);
      return 0;
    }
  }
  return -1;
}

int32_t SM_pinfo_delete(SM_HANDLE* h, int32_t pid) {
  if (!h || pid == 0) return -1;
  int32_t n = sm_header(h)[SMW_MAX_SERVERS];
  for (int32_t i = 0; i < n; ++i) {
    PROC_INFO* p = &h->procs[i];
    int32_t expected = pid;
    if (atomic_load(&p->pid) == pid &&
        __atomic_compare_exchange_n(&p->pid, &expected, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
      p->pid2 = 0;
      __atomic_sub_fetch(&sm_header(h)[SMW_SERVERS_USED], 1, __ATOMIC_ACQ_REL);
      return 0;
    }
  }
  return -1;
}

int32_t SM_pinfo_update(SM_HANDLE* h, const PROC_INFO* record) {
  if (!h || !record) return SM_NO_PROC_RECORD;
  PROC_INFO* p = pinfo_find(h, record->pid);
  if (!p || record->pid == 0) return SM_NO_PROC_RECORD;
  if (p != record) memcpy(p, record, sizeof *p);
  return 0;
}

int32_t SM_pinfo_scan(SM_HANDLE* h, int32_t step, PROC_INFO* out) {
  if (!h) return -1;
  if (step == 3) {
    h->scan_cursor = -1;
    return 0;
  }
  if (step == 1) h->scan_cursor = 0;
  else if (step != 2 || h->scan_cursor < 0) return -14;
  int32_t n = sm_header(h)[SMW_MAX_SERVERS];
  for (int32_t i = h->scan_cursor; i < n; ++i) {
    if (atomic_load(&h->procs[i].pid) != 0) {
      if (out) memcpy(out, &h->procs[i], sizeof *out);
      h->scan_cursor = i + 1;
      return 0;
    }
  }
  h->scan_cursor = -1;
  return SE_FINISHED;
}
