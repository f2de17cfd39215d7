// shared_ids.cpp -- id pools, feature-id ranges, raster and band ids, layer
// times and the shared registration table of the shared segment.
//
// Relies on shared.cpp and mutex.cpp (mutexes 1, 2, 4, 7, 8 and the
// registration guard), the bit sets of comm/bitmap.h, the code-page
// conversions, SES_ToUpper and SES_buffer_alloc.
//
// Notes:
// 1. Counters: 0 means not initialised; a positive value is the next id to
//    hand out; a negative feature-id counter is the negated pid of the process
//    that initialises it. No function hands out 0 or a negative id.
// 2. Layer ids and raster-column ids are checked against the segment's counts
//    before they index it (-66); registration ids give -219.
// 3. Every writer of a registration slot holds the guard as writer and then
//    mutex 4, the same order everywhere, the row-id counter's writers
//    included (SM_shared_registration_operate stores the counter under
//    mutex 4, so no range handed out meanwhile is lost). The row-id range
//    function therefore reads the slot under mutex 4 alone and never waits
//    for the guard while holding it.
// 4. A process waiting for another to initialise a feature-id counter checks
//    every second that the other still runs, and takes the counter back to 0
//    (and over) when it does not.
#include "shared_internal.h"

#include "bitmap.h"
#include "svr_services.h"
#include "zul_codepage.h"
#include "zul_status.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {

bool layer_ok(SM_HANDLE* h, int32_t id) { return id >= 1 && id <= sm_header(h)[SMW_MAX_LAYERS]; }
bool raster_ok(SM_HANDLE* h, int32_t id) { return id >= 1 && id <= sm_header(h)[SMW_MAX_RASTER]; }
bool reg_ok(SM_HANDLE* h, int32_t id) { return id >= 1 && id <= sm_header(h)[SMW_MAX_REG]; }

int32_t load(const int32_t* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
void store(int32_t* p, int32_t v) { __atomic_store_n(p, v, __ATOMIC_RELEASE); }

bool converts(SM_HANDLE* h) { return h->codepage && h->codepage->convert == 1; }

// The layer-id and raster-column-id pools: slot i of a table of
// sm_header(h)[count_word] slots holds id i + 1 when taken. is_free(i) and
// mark(i) read and write the slot; the pool's mutex guards both.
template <class IsFree, class Mark>
int32_t pool_take_first_free(SM_HANDLE* h, int mutex, int count_word, int32_t none, IsFree is_free,
                             Mark mark) {
  if (sm_mutex_take(h, mutex) != 0) return -1;
  int32_t id = none;
  int32_t n = sm_header(h)[count_word];
  for (int32_t i = 0; i < n; ++i) {
    if (is_free(i)) {
      mark(i);
      id = i + 1;
      break;
    }
  }
  if (sm_mutex_give(h, mutex) != 0) return -1;
  return id;
}

// Marks taken every slot whose bit is set in taken (bit i is id i + 1); bits
// beyond the table are ignored.
template <class Mark>
int32_t pool_mark_taken(SM_HANDLE* h, int mutex, int count_word, const SE_BITMAP* taken, Mark mark) {
  if (!h || !taken) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, mutex) != 0) return -1;
  int32_t n = sm_header(h)[count_word];
  for (int32_t bit = SES_Bitmap_Scan(taken, 0, 1); bit >= 0 && bit < n;
       bit = bit + 1 < SES_Bitmap_MaxBits(taken) ? SES_Bitmap_Scan(taken, bit + 1, 1) : -1)
    mark(bit);
  return sm_mutex_give(h, mutex);
}

// Copies a text into a field of cap bytes, cut to cap - 1 characters.
void put_text(char* field, size_t cap, const char* text) {
  size_t n = text ? strnlen(text, cap - 1) : 0;
  if (n) memcpy(field, text, n);
  memset(field + n, 0, cap - n);
}

// The seven texts of a registration, named alike in the shared slot and in
// the client's record: copied from one to the other, or visited one by one.
template <class To, class From>
void copy_registration_texts(To* to, const From* from) {
  put_text(to->database, sizeof to->database, from->database);
  put_text(to->owner, sizeof to->owner, from->owner);
  put_text(to->table, sizeof to->table, from->table);
  put_text(to->rowid_column, sizeof to->rowid_column, from->rowid_column);
  put_text(to->description, sizeof to->description, from->description);
  put_text(to->config_keyword, sizeof to->config_keyword, from->config_keyword);
  put_text(to->mv_view, sizeof to->mv_view, from->mv_view);
}
template <class R, class Fn>
void for_each_registration_text(R* r, Fn fn) {
  fn(r->database, sizeof r->database);
  fn(r->owner, sizeof r->owner);
  fn(r->table, sizeof r->table);
  fn(r->rowid_column, sizeof r->rowid_column);
  fn(r->description, sizeof r->description);
  fn(r->config_keyword, sizeof r->config_keyword);
  fn(r->mv_view, sizeof r->mv_view);
}

// Iterates the in-use chain of registration slots; stops on a bad index.
template <typename Fn>
void walk_chain(SM_HANDLE* h, Fn fn) {
  int32_t cap = sm_header(h)[SMW_MAX_REG];
  int32_t cur = sm_header(h)[SMW_REG_FIRST];
  for (int32_t guard = 0; cur >= 0 && cur < cap && guard < cap; ++guard) {
    int32_t next = h->registrations[cur].next;
    if (!fn(cur)) return;
    cur = next;
  }
}

// Runs fn as a writer of the registration table (the guard as writer, then
// mutex 4: note 3). fn's non-zero answer is returned as it is; otherwise -1
// when the lock could not be taken or given back, else 0.
template <typename Fn>
int32_t as_registry_writer(SM_HANDLE* h, Fn fn) {
  if (sm_guard_enter(h, 3) != 0) return -1;
  if (sm_mutex_take(h, SM_MX_ROWID) != 0) {
    sm_guard_exit(h);
    return -1;
  }
  int32_t rc = fn();
  int32_t g = sm_mutex_give(h, SM_MX_ROWID);
  int32_t e = sm_guard_exit(h);
  if (rc != 0) return rc;
  return g != 0 || e != 0 ? -1 : 0;
}

// Stores a client record into slot i (the names of the store algorithm).
void store_slot(SM_HANDLE* h, int32_t i, const REGISTRATION* r) {
  SM_REGISTRATION* s = &h->registrations[i];
  copy_registration_texts(s, r);
  s->flags = r->flags;
  s->min_id = static_cast<int32_t>(r->min_id);
  s->reg_date = r->reg_date ? static_cast<int32_t>(r->reg_date) : sm_now();
  store(&s->last_touched, sm_now());
  s->next_rowid = 0;
  if (converts(h)) {
    for_each_registration_text(s, [h](char* text, size_t cap) {
      CODEPAGE_tonative(text, static_cast<int32_t>(cap), h->codepage);
    });
  }
  SES_ToUpper(s->database, h->codepage);
  SES_ToUpper(s->owner, h->codepage);
  SES_ToUpper(s->table, h->codepage);
  SES_ToUpper(s->rowid_column, h->codepage);
  SES_ToUpper(s->mv_view, h->codepage);
}

// A fresh name from a client, as the slots keep it; false when it cannot fit.
bool native_name(SM_HANDLE* h, const char* in, char* out, size_t cap) {
  size_t n = in ? strlen(in) : 0;
  if (n >= cap) return false;
  put_text(out, cap, in);
  if (converts(h)) CODEPAGE_tonative(out, static_cast<int32_t>(cap), h->codepage);
  SES_ToUpper(out, h->codepage);
  return true;
}

int32_t raster_get(SM_HANDLE* h, int mutex, int32_t* counters, bool with_min, const RASTERCOLUMN* c,
                   SM_RASTER_ID_FN fn, void* user, int32_t* id) {
  if (!h || !c || !id) return SE_INVALID_POINTER;
  if (!raster_ok(h, c->id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, mutex) != 0) return -1;
  int32_t* counter = &counters[c->id - 1];
  int32_t v = *counter;
  if (v <= 0) {
    int32_t answer = fn ? fn(user, c) : 0;
    if (answer < 0) {
      sm_mutex_give(h, mutex);
      return answer;
    }
    v = answer < INT32_MAX ? answer + 1 : INT32_MAX;
    if (with_min && c->min_id <= INT32_MAX && static_cast<int32_t>(c->min_id) > v) v = static_cast<int32_t>(c->min_id);
  }
  if (v == INT32_MAX) {
    sm_mutex_give(h, mutex);
    return SE_INVALID_PARAM;
  }
  *counter = v + 1;
  *id = v;
  return sm_mutex_give(h, mutex);
}

int32_t raster_return(SM_HANDLE* h, int mutex, int32_t* counters, const RASTERCOLUMN* c, int32_t id) {
  if (!h || !c) return SE_INVALID_POINTER;
  if (!raster_ok(h, c->id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, mutex) != 0) return -1;
  if (counters[c->id - 1] - 1 == id && id > 0) counters[c->id - 1] = id;
  return sm_mutex_give(h, mutex);
}

int32_t raster_clear(SM_HANDLE* h, int mutex, int32_t* counters, const RASTERCOLUMN* c) {
  if (!h || !c) return SE_INVALID_POINTER;
  if (!raster_ok(h, c->id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, mutex) != 0) return -1;
  counters[c->id - 1] = 0;
  return sm_mutex_give(h, mutex);
}

template <typename Pred>
int32_t build_list(SM_HANDLE* h, Pred pred, REGISTRATION** list, int32_t* count) {
  if (!h || !list || !count) return SE_INVALID_POINTER;
  *list = nullptr;
  *count = 0;
  if (sm_guard_enter(h, 2) != 0) return -1;
  int32_t n = 0;
  walk_chain(h, [&](int32_t i) {
    if (pred(i)) ++n;
    return true;
  });
  int32_t rc = 0;
  if (n > 0) {
    REGISTRATION* out = static_cast<REGISTRATION*>(SES_buffer_alloc((static_cast<size_t>(n) + 1) * sizeof(REGISTRATION)));
    if (!out) {
      rc = SE_OUT_OF_DBMS_MEM;
    } else {
      int32_t k = 0;
      walk_chain(h, [&](int32_t i) {
        if (pred(i) && k < n) sm_registration_to_client(h, i, &out[k++]);
        return true;
      });
      *list = out;
      *count = k;
    }
  }
  sm_guard_exit(h);
  return rc;
}

}  // namespace

void sm_registration_to_client(SM_HANDLE* h, int32_t i, REGISTRATION* out) {
  const SM_REGISTRATION* s = &h->registrations[i];
  memset(out, 0, sizeof *out);
  memcpy(out->tag, SE_REGISTRATION_TAG, sizeof SE_REGISTRATION_TAG);
  out->id = i + 1;
  copy_registration_texts(out, s);
  out->flags = s->flags;
  out->reg_date = static_cast<uint32_t>(s->reg_date);
  out->privileges = load(&s->last_touched);
  out->min_id = static_cast<uint32_t>(s->min_id);
  if (converts(h)) {
    for_each_registration_text(out, [h](char* text, size_t cap) {
      CODEPAGE_tocpg(text, static_cast<int32_t>(cap), h->codepage);
    });
  }
}

// ---- id pools --------------------------------------------------------------

int32_t sm_alloc_layer_id(SM_HANDLE* h) {
  return pool_take_first_free(
      h, SM_MX_LOCK, SMW_MAX_LAYERS, SM_NO_LAYER_ID, [h](int32_t i) { return h->layer_slots[i].layer_id == 0; },
      [h](int32_t i) { h->layer_slots[i].layer_id = static_cast<uint16_t>(i + 1); });
}

int32_t SM_available_layer_ids_set(SM_HANDLE* h, const SE_BITMAP* taken) {
  return pool_mark_taken(h, SM_MX_LOCK, SMW_MAX_LAYERS, taken,
                         [h](int32_t i) { h->layer_slots[i].layer_id = static_cast<uint16_t>(i + 1); });
}

int32_t SM_return_layer_id(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_LOCK) != 0) return -1;
  h->layer_slots[id - 1].layer_id = 0;
  return sm_mutex_give(h, SM_MX_LOCK);
}

int32_t sm_alloc_registration_id(SM_HANDLE* h) {
  if (sm_guard_enter(h, 3) != 0) return -1;
  int32_t id = SM_REGISTRATIONS_FULL;
  int32_t n = sm_header(h)[SMW_MAX_REG];
  for (int32_t i = 0; i < n; ++i) {
    SM_REGISTRATION* s = &h->registrations[i];
    if (s->id == 0 && load(&s->last_touched) == 0) {
      s->id = i + 1;
      id = i + 1;
      break;
    }
  }
  if (sm_guard_exit(h) != 0) return -1;
  return id;
}

int32_t SM_return_registration_id(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (sm_guard_enter(h, 3) != 0) return -1;
  h->registrations[id - 1].id = 0;
  return sm_guard_exit(h);
}

int32_t sm_alloc_rastercolumn_id(SM_HANDLE* h) {
  return pool_take_first_free(
      h, SM_MX_RASTERID, SMW_MAX_RASTER, SM_NO_RASTERCOLUMN_ID, [h](int32_t i) { return h->raster_flags[i] == 0; },
      [h](int32_t i) { h->raster_flags[i] = 1; });
}

int32_t SM_available_rastercolumn_ids_set(SM_HANDLE* h, const SE_BITMAP* taken) {
  return pool_mark_taken(h, SM_MX_RASTERID, SMW_MAX_RASTER, taken, [h](int32_t i) { h->raster_flags[i] = 1; });
}

int32_t SM_return_rastercolumn_id(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!raster_ok(h, id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_RASTERID) != 0) return -1;
  h->raster_flags[id - 1] = 0;
  return sm_mutex_give(h, SM_MX_RASTERID);
}

// ---- feature ids and layer times -------------------------------------------

int32_t SM_layer_get_fid_range(SM_HANDLE* h, int32_t layer_id, int32_t count) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id) || count < 0) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
  int32_t* counter = &h->fid_counters[layer_id - 1];
  int32_t v = *counter;
  int32_t rc = v;
  if (v <= 0) {
    fprintf(stderr, "WARNING: feature ids of layer %d asked for before their counter was set\n", layer_id);
    rc = -1;
  } else if (v > INT32_MAX - count) {
    fprintf(stderr, "WARNING: feature ids of layer %d are exhausted\n", layer_id);
    rc = -1;
  } else {
    *counter = v + count;
  }
  if (sm_mutex_give(h, SM_MX_FID) != 0) return -1;
  return rc;
}

int32_t SM_layer_set_fid_start(SM_HANDLE* h, int32_t layer_id, SM_FID_START_FN fn, void* user) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  int32_t* counter = &h->fid_counters[layer_id - 1];
  if (!fn) {
    if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
    *counter = 1;
    return sm_mutex_give(h, SM_MX_FID);
  }
  const int32_t me = static_cast<int32_t>(getpid());
  for (;;) {
    if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
    int32_t v = *counter;
    if (v == 0) *counter = -me;
    if (sm_mutex_give(h, SM_MX_FID) != 0) return -1;
    if (v > 0) return 0;
    if (v == 0) break;
    // Another process initialises the counter: wait, and take over when it
    // has ended without finishing.
    bool restart = false;
    while (!restart) {
      zulos_sleep_ms(1000);
      if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
      v = *counter;
      if (v < 0 && !zulos_process_alive(-v)) {
        fprintf(stderr, "WARNING: process %d ended while setting the feature ids of layer %d\n", -v, layer_id);
        *counter = 0;
        v = 0;
      }
      if (sm_mutex_give(h, SM_MX_FID) != 0) return -1;
      if (v > 0) return 0;
      if (v == 0) restart = true;
    }
  }
  int32_t answer = fn(user, layer_id);
  if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
  int32_t rc = 0;
  if (answer < 0) {
    *counter = 0;
    rc = answer;
  } else {
    *counter = answer < INT32_MAX ? answer + 1 : INT32_MAX;
  }
  if (sm_mutex_give(h, SM_MX_FID) != 0) return -1;
  return rc;
}

int32_t SM_layer_clear_fids(SM_HANDLE* h, int32_t layer_id) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_FID) != 0) return -1;
  h->fid_counters[layer_id - 1] = 0;
  return sm_mutex_give(h, SM_MX_FID);
}

int32_t SM_layer_get_time_last_modified(SM_HANDLE* h, int32_t layer_id) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  return load(&h->layer_times[layer_id - 1]);
}

int32_t SM_layer_touch(SM_HANDLE* h, int32_t layer_id) {
  if (!h) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  int32_t* t = &h->layer_times[layer_id - 1];
  int32_t stored = load(t);
  int32_t now = sm_now();
  if (now == stored || stored == 0) ++now;
  store(t, now);
  return 0;
}

// ---- raster and band ids ---------------------------------------------------

int32_t SM_raster_get_id(SM_HANDLE* h, const RASTERCOLUMN* c, SM_RASTER_ID_FN fn, void* user, int32_t* id) {
  return raster_get(h, SM_MX_RASTERID, h ? h->raster_ids : nullptr, true, c, fn, user, id);
}
int32_t SM_raster_return_id(SM_HANDLE* h, const RASTERCOLUMN* c, int32_t id) {
  return raster_return(h, SM_MX_RASTERID, h ? h->raster_ids : nullptr, c, id);
}
int32_t SM_raster_clear_ids(SM_HANDLE* h, const RASTERCOLUMN* c) {
  return raster_clear(h, SM_MX_RASTERID, h ? h->raster_ids : nullptr, c);
}
int32_t SM_rasterband_get_id(SM_HANDLE* h, const RASTERCOLUMN* c, SM_RASTER_ID_FN fn, void* user, int32_t* id) {
  return raster_get(h, SM_MX_BANDID, h ? h->band_ids : nullptr, false, c, fn, user, id);
}
int32_t SM_rasterband_return_id(SM_HANDLE* h, const RASTERCOLUMN* c, int32_t id) {
  return raster_return(h, SM_MX_BANDID, h ? h->band_ids : nullptr, c, id);
}
int32_t SM_rasterband_clear_ids(SM_HANDLE* h, const RASTERCOLUMN* c) {
  return raster_clear(h, SM_MX_BANDID, h ? h->band_ids : nullptr, c);
}

// ---- the registration table ------------------------------------------------

int32_t SM_shared_registration_get(SM_HANDLE* h, int32_t id, REGISTRATION* out) {
  if (!h || !out) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (sm_guard_enter(h, 2) != 0) return -1;
  sm_registration_to_client(h, id - 1, out);
  return sm_guard_exit(h);
}

int32_t SM_shared_registration_set(SM_HANDLE* h, int32_t id, const REGISTRATION* r) {
  if (!h || !r) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  return as_registry_writer(h, [&]() -> int32_t {
    int32_t i = id - 1;
    int32_t* w = sm_header(h);
    bool was_in_use = load(&h->registrations[i].last_touched) != 0;
    store_slot(h, i, r);
    h->registrations[i].id = id;
    if (!was_in_use) {
      // Link after the nearest lower slot in use.
      int32_t before = -1;
      walk_chain(h, [&](int32_t k) {
        if (k >= i) return false;
        before = k;
        return true;
      });
      if (before < 0) {
        h->registrations[i].next = w[SMW_REG_FIRST];
        w[SMW_REG_FIRST] = i;
      } else {
        h->registrations[i].next = h->registrations[before].next;
        h->registrations[before].next = i;
      }
      ++w[SMW_REG_COUNT];
    }
    return 0;
  });
}

int32_t SM_shared_registration_clear(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  return as_registry_writer(h, [&]() -> int32_t {
    int32_t i = id - 1;
    int32_t* w = sm_header(h);
    if (load(&h->registrations[i].last_touched) != 0) {
      int32_t before = -1;
      bool found = false;
      walk_chain(h, [&](int32_t k) {
        if (k == i) {
          found = true;
          return false;
        }
        before = k;
        return true;
      });
      if (found) {
        if (before < 0) w[SMW_REG_FIRST] = h->registrations[i].next;
        else h->registrations[before].next = h->registrations[i].next;
        --w[SMW_REG_COUNT];
      }
      h->registrations[i].next = -2;
      store(&h->registrations[i].last_touched, 0);
    }
    return 0;
  });
}

int32_t SM_shared_registration_touch(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (sm_guard_enter(h, 3) != 0) return -1;
  store(&h->registrations[id - 1].last_touched, sm_now());
  return sm_guard_exit(h);
}

int32_t SM_shared_registration_operate(SM_HANDLE* h, int32_t id, SM_OPERATE_FN fn, void* user) {
  if (!h || !fn) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  return as_registry_writer(h, [&]() -> int32_t {
    int32_t i = id - 1;
    SM_REGISTRATION* s = &h->registrations[i];
    REGISTRATION before, rec;
    sm_registration_to_client(h, i, &before);
    rec = before;
    int32_t next = s->next_rowid;
    int32_t rc = fn(user, &rec, &next);
    if (rc == 0) {
      if (memcmp(&rec, &before, sizeof rec) != 0) store_slot(h, i, &rec);
      s->next_rowid = next;
    }
    return rc;
  });
}

int32_t SM_registration_time_last_modified(SM_HANDLE* h, int32_t id) {
  if (!h) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (sm_guard_enter(h, 2) != 0) return 0;
  int32_t t = load(&h->registrations[id - 1].last_touched);
  sm_guard_exit(h);
  return t;
}

int32_t SM_registration_get_rowid_range(SM_HANDLE* h, int32_t id, int32_t count, SM_ROWID_FN fn, void* user,
                                        int32_t* first, int32_t* got) {
  if (!h || !first || !got) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (count < 0) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_ROWID) != 0) return -1;
  SM_REGISTRATION* s = &h->registrations[id - 1];
  int32_t rc = 0;
  if (load(&s->last_touched) == 0) {
    rc = SM_BAD_REGISTRATION;
  } else if (!(s->flags & SE_REG_ROWID_BY_SERVER)) {
    rc = SM_ROWID_NOT_SERVER;
  } else {
    if (s->next_rowid <= 0) {
      REGISTRATION copy;
      sm_registration_to_client(h, id - 1, &copy);
      int32_t answer = fn ? fn(user, &copy) : 1;
      if (answer < 0) rc = answer;
      else s->next_rowid = answer > 0 ? answer : 1;
    }
    if (rc == 0 && s->next_rowid > INT32_MAX - count) rc = SE_INVALID_PARAM;
    if (rc == 0) {
      *first = s->next_rowid;
      *got = count;
      s->next_rowid += count;
    }
  }
  if (sm_mutex_give(h, SM_MX_ROWID) != 0) return -1;
  return rc;
}

int32_t SM_registration_return_rowid_range(SM_HANDLE* h, int32_t id, int32_t first, int32_t count) {
  if (!h) return SE_INVALID_POINTER;
  if (!reg_ok(h, id)) return SM_BAD_REGISTRATION;
  if (sm_mutex_take(h, SM_MX_ROWID) != 0) return -1;
  SM_REGISTRATION* s = &h->registrations[id - 1];
  int32_t rc = 0;
  if (load(&s->last_touched) == 0) rc = SM_BAD_REGISTRATION;
  else if (!(s->flags & SE_REG_ROWID_BY_SERVER)) rc = SM_ROWID_NOT_SERVER;
  else if (first > 0 && count >= 0 && static_cast<int64_t>(first) + count == s->next_rowid) s->next_rowid = first;
  if (sm_mutex_give(h, SM_MX_ROWID) != 0) return -1;
  return rc;
}

int32_t SM_registration_get_list(SM_HANDLE* h, const SE_BITMAP* ids, REGISTRATION** list, int32_t* count) {
  return build_list(
      h,
      [&](int32_t i) { return !ids || (i < SES_Bitmap_MaxBits(ids) && SES_Bitmap_Test(ids, i) != 0); },
      list, count);
}

int32_t SM_registration_get_masked_list(SM_HANDLE* h, int32_t mask, int32_t all, REGISTRATION** list,
                                        int32_t* count) {
  return build_list(
      h,
      [&](int32_t i) {
        int32_t f = h->registrations[i].flags;
        return all ? (f & mask) == mask : (f & mask) == 0;
      },
      list, count);
}

int32_t SM_registration_find(SM_HANDLE* h, const char* database, const char* owner, const char* table,
                             REGISTRATION* out) {
  if (!h || !out || !table) return SE_INVALID_POINTER;
  char db[32], own[32], tab[160];
  // A name longer than its field cannot be the name of any slot.
  if (!native_name(h, database, db, sizeof db) || !native_name(h, owner, own, sizeof own) ||
      !native_name(h, table, tab, sizeof tab))
    return SM_NO_REGISTRATION;
  if (sm_guard_enter(h, 2) != 0) return -1;
  int32_t found = -1;
  walk_chain(h, [&](int32_t i) {
    const SM_REGISTRATION* s = &h->registrations[i];
    if (strncmp(s->table, tab, sizeof tab) == 0 && strncmp(s->database, db, sizeof db) == 0 &&
        (own[0] == '\0' || strncmp(s->owner, own, sizeof own) == 0)) {
      found = i;
      return false;
    }
    return true;
  });
  if (found >= 0) sm_registration_to_client(h, found, out);
  sm_guard_exit(h);
  return found >= 0 ? 0 : SM_NO_REGISTRATION;
}
