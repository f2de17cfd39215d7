// shared_locks.cpp -- the area, state, table and object lock tables of the
// shared segment.
//
// Relies on shared.cpp for the segment and mutex.cpp for the mutexes (area 1,
// state 6, table 9, object 14); lock owners' liveness comes from the probe,
// SubPrograms_ProgramAlive unless a test replaces it.
//
// Notes:
// 1. Area locks of a layer form a chain from the layer slot (0 ends it);
//    record 0 of the region heads the free list. State, table and object locks
//    form one used list and one free list each, headed by header words and
//    ended by -2. Every index read from the segment is checked against the
//    table's size before it is followed; a bad one ends the walk.
// 2. An add tests the request against every record of the chain or list;
//    a record whose owner has ended is removed when the walk meets it.
// 3. The flags of state, table and object locks: H (already held: nothing to
//    do), V (the caller's own record to convert in place), X (conflict).
//    A shared request that finds V stops at once; an exclusive one goes on
//    testing the rest.
// 4. Object lock type 3 ("Auto Exclusive Object") is tested as type 1: an
//    exclusive lock that excludes nothing would be no lock at all. Type 2
//    stays the only type the automatic removal takes.
// 5. The per-process removals take the pid as an argument and never act
//    through the handle's owner, which another thread may be using.
#include "shared_internal.h"

#include "zul_status.h"
#include "zul_subprograms.h"

#include <stdio.h>
#include <string.h>

namespace {

SM_ALIVE_FN g_alive = nullptr;

const char* const kAreaKinds[] = {"Shared Layer", "Update Layer", "Shared Area", "Update Area", "Auto Area"};
const char* const kStateKinds[] = {"Shared Tree",       "Exclusive Tree",       "Shared State",
                                   "Exclusive State",   "Auto Shared State",    "Auto Exclusive State"};
const char* const kTableKinds[] = {"", "Shared Table", "Exclusive Table"};
const char* const kObjectTypes[] = {"Shared Object", "Exclusive Object", "Auto Shared Object",
                                    "Auto Exclusive Object"};

const char* name_of(const char* const* names, int n, int kind) {
  return kind >= 0 && kind < n ? names[kind] : "Unknown";
}

// ---- area locks ------------------------------------------------------------

// [requested][held]: 0 conflict, 1 compatible, 10 conflict when the envelopes
// overlap, 20 the special rules.
const int kAreaRules[5][5] = {
    {1, 0, 1, 0, 0},
    {0, 0, 0, 0, 20},
    {1, 0, 1, 10, 20},
    {0, 0, 10, 10, 20},
    {0, 20, 20, 20, 20},
};

bool overlap(const SM_LOCK_ENVP& a, const SM_LOCK_ENVP& b) {
  return a.maxx >= b.minx && a.maxy >= b.miny && b.maxx >= a.minx && b.maxy >= a.miny;
}

bool within(const SM_LOCK_ENVP& inner, const SM_LOCK_ENVP& outer) {
  return inner.minx >= outer.minx && inner.miny >= outer.miny && inner.maxx <= outer.maxx &&
         inner.maxy <= outer.maxy;
}

bool layer_ok(SM_HANDLE* h, int32_t layer_id) {
  return layer_id >= 1 && layer_id <= sm_header(h)[SMW_MAX_LAYERS];
}

bool area_index_ok(SM_HANDLE* h, uint32_t i) {
  return i > 0 && i < static_cast<uint32_t>(sm_header(h)[SMW_MAX_AREA]);
}

// Unlinks area record cur (predecessor prev, 0 = the slot) and frees it.
void area_unlink(SM_HANDLE* h, SM_LAYER_SLOT* slot, uint16_t prev, uint16_t cur) {
  AREA_LOCK* a = h->area_locks;
  uint16_t next = a[cur].next;
  if (prev == 0) slot->first_lock = next;
  else a[prev].next = next;
  memset(&a[cur], 0, sizeof a[cur]);
  a[cur].next = a[0].next;
  a[0].next = cur;
}

// Removes the first lock of pid on the layer with the wanted kind (-1: any).
int32_t area_delete(SM_HANDLE* h, int32_t layer_id, int32_t pid, int32_t kind) {
  if (!h || !layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_LOCK) != 0) return -1;
  SM_LAYER_SLOT* slot = &h->layer_slots[layer_id - 1];
  AREA_LOCK* a = h->area_locks;
  uint16_t prev = 0;
  uint16_t cur = slot->first_lock;
  int32_t rc = SE_LOCK_NOT_HELD;
  for (int guard = 0; cur != 0 && area_index_ok(h, cur) && guard < 65536; ++guard) {
    uint16_t next = a[cur].next;
    if (a[cur].pid == pid && (kind < 0 || a[cur].kind == kind)) {
      area_unlink(h, slot, prev, cur);
      rc = 0;
      break;
    }
    if (!sm_owner_alive(a[cur].pid)) {
      area_unlink(h, slot, prev, cur);
    } else {
      prev = cur;
    }
    cur = next;
  }
  if (sm_mutex_give(h, SM_MX_LOCK) != 0) return -1;
  return rc;
}

int32_t area_add(SM_HANDLE* h, int32_t layer_id, int32_t kind, const SM_LOCK_ENVP* envp, bool modify) {
  if (!h || !layer_ok(h, layer_id) || kind < 0 || kind > 4) return SE_INVALID_PARAM;
  SM_LOCK_ENVP env = envp ? *envp : SM_LOCK_ENVP{0, 0, 0, 0};
  int32_t me = h->owner_pid;
  if (sm_mutex_take(h, SM_MX_LOCK) != 0) return -1;
  SM_LAYER_SLOT* slot = &h->layer_slots[layer_id - 1];
  AREA_LOCK* a = h->area_locks;
  uint16_t own = 0;
  uint16_t last = 0;
  bool conflict = false;
  int32_t rc = 0;
  uint16_t cur = slot->first_lock;
  uint16_t prev = 0;
  for (int guard = 0; cur != 0 && area_index_ok(h, cur) && guard < 65536; ++guard) {
    AREA_LOCK& r = a[cur];
    uint16_t next = r.next;
    if (!sm_owner_alive(r.pid)) {
      area_unlink(h, slot, prev, cur);
      cur = next;
      continue;
    }
    if (r.pid == me && kind != SM_AREA_AUTO_AREA && r.kind != SM_AREA_AUTO_AREA) {
      own = cur;
    } else if (!conflict) {
      int held = r.kind >= 0 && r.kind <= 4 ? r.kind : 0;
      switch (kAreaRules[kind][held]) {
        case 0: conflict = true; break;
        case 1: break;
        case 10: conflict = overlap(env, r.envp); break;
        default:
          if (r.pid != me) {
            conflict = kind <= 1 || held <= 1 || overlap(env, r.envp);
          } else if (kind == SM_AREA_AUTO_AREA) {
            if (held == SM_AREA_AUTO_AREA) conflict = true;
            else if (held == SM_AREA_UPDATE_LAYER) goto done;
            else if (held == SM_AREA_SHARED_AREA) conflict = overlap(env, r.envp);
            else if (held == SM_AREA_UPDATE_AREA && within(env, r.envp)) goto done;
          } else {
            fprintf(stderr, "INTERNAL LOCK CONFLICT ERROR\nINVALID LOCK REQUEST\n");
            fprintf(stderr, "PID %d, LAYER %d, LOCK_TYPE %d, ENVP (%d,%d,%d,%d)\n", me, layer_id, kind, env.minx,
                    env.miny, env.maxx, env.maxy);
            SM_lock_display(&r, stderr, 0, 1);
          }
          break;
      }
    }
    prev = cur;
    last = cur;
    cur = next;
  }
  if (conflict) {
    if (!modify && own != 0) {
      // Find the predecessor of our own record again and remove it.
      uint16_t p = 0;
      for (uint16_t c = slot->first_lock; c != 0 && area_index_ok(h, c); p = c, c = a[c].next) {
        if (c == own) {
          area_unlink(h, slot, p, c);
          break;
        }
      }
    }
    rc = SE_LOCK_CONFLICT;
  } else if (own == 0 && modify) {
    rc = SE_LOCK_NOT_HELD;
  } else {
    uint16_t target = own;
    if (target == 0) {
      target = a[0].next;
      if (!area_index_ok(h, target)) {
        rc = SE_LOCK_TABLE_FULL;
        goto done;
      }
      a[0].next = a[target].next;
      a[target].next = 0;
      if (last == 0 || slot->first_lock == 0) slot->first_lock = target;
      else a[last].next = target;
    }
    a[target].pid = me;
    a[target].layer_id = layer_id;
    a[target].kind = kind;
    a[target].envp = env;
  }
done:
  if (sm_mutex_give(h, SM_MX_LOCK) != 0) return -1;
  return rc;
}

// ---- lists of state, table and object locks -------------------------------

template <typename R>
struct LockList {
  R* recs;
  int32_t* used;   // header word of the used list head
  int32_t* free_;  // header word of the free list head
  int32_t* count;  // header word of the count
  int32_t cap;     // records that may be linked
};

int16_t head(const int32_t* word) { return static_cast<int16_t>(*word & 0xffff); }

template <typename R>
bool index_ok(const LockList<R>& l, int32_t i) {
  return i >= 0 && i < l.cap;
}

template <typename R>
void list_remove(LockList<R>& l, int16_t prev, int16_t cur) {
  int16_t next = l.recs[cur].next;
  if (prev < 0) *l.used = next;
  else l.recs[prev].next = next;
  memset(&l.recs[cur], 0, sizeof(R));
  l.recs[cur].next = head(l.free_);
  *l.free_ = cur;
  --*l.count;
}

// Removes every record whose owner satisfies pred; the number removed.
template <typename R, typename Pred>
int list_remove_if(LockList<R>& l, Pred pred) {
  int removed = 0;
  int16_t prev = -1;
  int16_t cur = head(l.used);
  for (int guard = 0; index_ok(l, cur) && guard <= l.cap; ++guard) {
    int16_t next = l.recs[cur].next;
    if (pred(l.recs[cur])) {
      list_remove(l, prev, cur);
      ++removed;
    } else {
      prev = cur;
    }
    cur = next;
  }
  return removed;
}

// Pops a free record and puts it at the head of the used list; -1 when none.
template <typename R>
int16_t list_take(LockList<R>& l) {
  if (!index_ok(l, head(l.free_))) {
    if (list_remove_if(l, [](const R& r) { return !sm_owner_alive(r.pid); }) == 0) return -1;
    if (!index_ok(l, head(l.free_))) return -1;
  }
  int16_t i = head(l.free_);
  *l.free_ = l.recs[i].next;
  ++*l.count;
  memset(&l.recs[i], 0, sizeof(R));
  l.recs[i].next = head(l.used);
  *l.used = i;
  return i;
}

enum { F_H = 1, F_V = 2, F_X = 4 };

void set_kind(SM_STATE_LOCK& r, int16_t kind) { r.kind = kind; }
void set_kind(SM_TABLE_LOCK& r, int16_t kind) { r.kind = kind; }
void set_kind(SM_OBJECT_LOCK& r, int16_t kind) { r.lock_type = kind; }

// The walk of notes 2 and 3. flags(record) gives H, V and X; owner(record)
// its owner. Returns 0 (held already, or converted, or added), -49, -50.
template <typename R, typename Flags, typename Fill>
int32_t list_add(LockList<R>& l, bool shared_request, int16_t kind, Flags flags, Fill fill) {
  int16_t marked = -1;
  int16_t prev = -1;
  int16_t cur = head(l.used);
  for (int guard = 0; index_ok(l, cur) && guard <= l.cap; ++guard) {
    R& r = l.recs[cur];
    int16_t next = r.next;
    int f = flags(r);
    if (f & F_H) return 0;
    if (f & F_V) {
      marked = cur;
      if (shared_request) break;
    } else if (f & F_X) {
      if (sm_owner_alive(r.pid)) return SE_LOCK_CONFLICT;
      list_remove(l, prev, cur);
      cur = next;
      continue;
    }
    prev = cur;
    cur = next;
  }
  if (marked >= 0) {
    set_kind(l.recs[marked], kind);
    return 0;
  }
  int16_t i = list_take(l);
  if (i < 0) return SE_LOCK_TABLE_FULL;
  fill(l.recs[i]);
  set_kind(l.recs[i], kind);
  return 0;
}

LockList<SM_STATE_LOCK> state_list(SM_HANDLE* h) {
  int32_t* w = sm_header(h);
  return {h->state_locks, &w[SMW_STATE_USED], &w[SMW_STATE_FREE], &w[SMW_STATE_COUNT], w[SMW_MAX_STATE]};
}
LockList<SM_TABLE_LOCK> table_list(SM_HANDLE* h) {
  int32_t* w = sm_header(h);
  return {h->table_locks, &w[SMW_TABLE_USED], &w[SMW_TABLE_FREE], &w[SMW_TABLE_COUNT], w[SMW_MAX_TABLE]};
}
LockList<SM_OBJECT_LOCK> object_list(SM_HANDLE* h) {
  int32_t* w = sm_header(h);
  return {h->object_locks, &w[SMW_OBJECT_USED], &w[SMW_OBJECT_FREE], &w[SMW_OBJECT_COUNT], w[SMW_MAX_OBJECT]};
}

// State-lock flags, [requested][held]; own and same decide the conditional ones.
int state_flags(int req, int held, bool own, bool same) {
  const bool os = own && same;
  switch (req) {
    case 0:
      switch (held) {
        case 0: return own ? F_H : 0;
        case 1: return F_X | (own ? F_V : 0);
        case 3: case 5: return F_X;
        default: return 0;
      }
    case 1:
      switch (held) {
        case 0: return F_X | (own ? F_V : 0);
        case 1: return F_X | (own ? F_H : 0);
        default: return F_X;
      }
    case 2:
      switch (held) {
        case 1: return F_X;
        case 2: return os ? F_H : 0;
        case 3: return (same ? F_X : 0) | (os ? F_V : 0);
        case 5: return same ? F_X : 0;
        default: return 0;
      }
    case 3:
      switch (held) {
        case 0: case 1: return F_X;
        case 2: return (same ? F_X : 0) | (os ? F_V : 0);
        case 3: return (same ? F_X : 0) | (os ? F_H : 0);
        default: return same ? F_X : 0;
      }
    case 4:
      switch (held) {
        case 1: return F_X;
        case 3: return same ? F_X : 0;
        case 4: return os ? F_H : 0;
        case 5: return (same ? F_X : 0) | (os ? F_V : 0);
        default: return 0;
      }
    case 5:
      switch (held) {
        case 0: case 1: return F_X;
        case 2: return same && !own ? F_X : 0;
        case 3: return same ? F_X : 0;
        case 4: return (same ? F_X : 0) | (os ? F_V : 0);
        default: return (same ? F_X : 0) | (os ? F_H : 0);
      }
  }
  return 0;
}

int table_flags(int req, int held, bool own, bool same) {
  const bool os = own && same;
  if (req == 1) return held == 1 ? (os ? F_H : 0) : ((same ? F_X : 0) | (os ? F_V : 0));
  return held == 1 ? ((same ? F_X : 0) | (os ? F_V : 0)) : ((same ? F_X : 0) | (os ? F_H : 0));
}

int object_flags(int req, int held, bool own, bool same) {
  // Type 3 is tested as type 1 (note 4).
  if (req == 3) req = 1;
  if (held == 3) held = 1;
  const bool os = own && same;
  switch (req) {
    case 0:
      if (held == 0) return os ? F_H : 0;
      if (held == 1) return (same ? F_X : 0) | (os ? F_V : 0);
      return same ? F_X : 0;
    case 1:
      if (held == 0) return (same ? F_X : 0) | (os ? F_V : 0);
      if (held == 1) return (same ? F_X : 0) | (os ? F_H : 0);
      return same ? F_X : 0;
    default:
      if (held == 0) return same && !own ? F_X : 0;
      if (held == 1) return (same && !own ? F_X : 0) | (os ? F_H : 0);
      return (same ? F_X : 0) | (os ? F_H : 0);
  }
}

void print_prefix(FILE* f, int32_t number) {
  if (number != 0) fprintf(f, "%3d  ", number);
}

}  // namespace

void sm_set_alive_probe(SM_ALIVE_FN fn) { g_alive = fn; }

int32_t sm_owner_alive(int32_t pid) {
  if (pid == 0) return 0;
  return g_alive ? g_alive(pid) : SubPrograms_ProgramAlive(pid);
}

// ---- area locks ------------------------------------------------------------

int32_t SM_lock_add(SM_HANDLE* h, int32_t layer_id, int32_t kind, const SM_LOCK_ENVP* envp) {
  return area_add(h, layer_id, kind, envp, false);
}

int32_t SM_autolock_add(SM_HANDLE* h, int32_t layer_id, const SM_LOCK_ENVP* envp) {
  return area_add(h, layer_id, SM_AREA_AUTO_AREA, envp, false);
}

int32_t SM_lock_modify(SM_HANDLE* h, int32_t layer_id, int32_t kind, const SM_LOCK_ENVP* envp) {
  return area_add(h, layer_id, kind, envp, true);
}

int32_t SM_lock_delete(SM_HANDLE* h, int32_t layer_id) {
  return h ? area_delete(h, layer_id, h->owner_pid, -1) : SE_INVALID_POINTER;
}

int32_t SM_autolock_delete(SM_HANDLE* h, int32_t layer_id) {
  return h ? area_delete(h, layer_id, h->owner_pid, SM_AREA_AUTO_AREA) : SE_INVALID_POINTER;
}

int32_t SM_locks_delete_user(SM_HANDLE* h, int32_t pid) {
  if (!h) return SE_INVALID_POINTER;
  int32_t layers = sm_header(h)[SMW_MAX_LAYERS];
  for (int32_t id = 1; id <= layers; ++id) {
    if (h->layer_slots[id - 1].first_lock == 0) continue;
    // At most one ordinary and one automatic lock per layer.
    area_delete(h, id, pid, -1);
    area_delete(h, id, pid, -1);
  }
  return 0;
}

int32_t SM_locks_find_on_layer(SM_HANDLE* h, int32_t layer_id, int32_t take_mutex, SM_AREA_LOCK_FN fn,
                               void* user) {
  if (!h || !fn) return SE_INVALID_POINTER;
  if (!layer_ok(h, layer_id)) return SE_INVALID_PARAM;
  if (take_mutex && sm_mutex_take(h, SM_MX_LOCK) != 0) return -1;
  int32_t rc = 0;
  uint16_t cur = h->layer_slots[layer_id - 1].first_lock;
  for (int guard = 0; cur != 0 && area_index_ok(h, cur) && guard < 65536 && rc == 0; ++guard) {
    rc = fn(user, &h->area_locks[cur]);
    cur = h->area_locks[cur].next;
  }
  if (take_mutex && sm_mutex_give(h, SM_MX_LOCK) != 0) return -1;
  return rc;
}

void SM_lock_display(const AREA_LOCK* lock, FILE* f, int32_t number, int32_t verbose) {
  if (!lock || !f) return;
  print_prefix(f, number);
  fprintf(f, "S-ID: %5d, Map Layer: %3d, Lock Type: %s", lock->pid, lock->layer_id,
          name_of(kAreaKinds, 5, lock->kind));
  if (verbose) fprintf(f, ", Next: %u\n", static_cast<unsigned>(lock->next));
  else fprintf(f, "\n");
  if (verbose && lock->kind >= 2 && lock->kind <= 4)
    fprintf(f, "    Lock Area: minx: %u, miny: %u, maxx: %u, maxy: %u\n", static_cast<unsigned>(lock->envp.minx),
            static_cast<unsigned>(lock->envp.miny), static_cast<unsigned>(lock->envp.maxx),
            static_cast<unsigned>(lock->envp.maxy));
}

int32_t SM_locks_display_used(SM_HANDLE* h, void (*fn)(const AREA_LOCK*)) {
  if (!h) return 0;
  int32_t n = 0;
  int32_t cap = sm_header(h)[SMW_MAX_AREA];
  if (!fn) fprintf(stderr, "LOCKS IN USE:\n");
  for (int32_t i = 0; i < cap; ++i) {
    const AREA_LOCK* l = &h->area_locks[i];
    if (l->pid == 0) continue;
    ++n;
    if (fn) fn(l);
    else SM_lock_display(l, stderr, n, 1);
  }
  return n;
}

// ---- state locks -----------------------------------------------------------

int32_t SM_state_lock_add(SM_HANDLE* h, int32_t state_id, int32_t kind) {
  if (!h) return SE_INVALID_POINTER;
  if (kind < 0 || kind > 5) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_STATE_LOCK) != 0) return -1;
  LockList<SM_STATE_LOCK> l = state_list(h);
  int32_t me = h->owner_pid;
  int32_t rc = list_add(
      l, kind % 2 == 0, static_cast<int16_t>(kind),
      [&](const SM_STATE_LOCK& r) { return state_flags(kind, r.kind, r.pid == me, r.state_id == state_id); },
      [&](SM_STATE_LOCK& r) {
        r.pid = me;
        r.state_id = state_id;
      });
  if (sm_mutex_give(h, SM_MX_STATE_LOCK) != 0) return -1;
  return rc;
}

int32_t SM_state_lock_delete(SM_HANDLE* h, int32_t state_id, int32_t automatic) {
  if (!h) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_STATE_LOCK) != 0) return -1;
  LockList<SM_STATE_LOCK> l = state_list(h);
  int32_t me = h->owner_pid;
  bool done = false;
  int removed = list_remove_if(l, [&](const SM_STATE_LOCK& r) {
    if (done || r.pid != me || r.state_id != state_id) return false;
    bool is_auto = r.kind == 4 || r.kind == 5;
    if (is_auto != (automatic == 1)) return false;
    done = true;
    return true;
  });
  if (sm_mutex_give(h, SM_MX_STATE_LOCK) != 0) return -1;
  return removed ? 0 : SE_LOCK_NOT_HELD;
}

int32_t SM_state_locks_delete_user(SM_HANDLE* h, int32_t pid) {
  if (!h) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_STATE_LOCK) != 0) return -1;
  LockList<SM_STATE_LOCK> l = state_list(h);
  list_remove_if(l, [&](const SM_STATE_LOCK& r) { return r.pid == pid; });
  return sm_mutex_give(h, SM_MX_STATE_LOCK) != 0 ? -1 : 0;
}

void SM_state_lock_display(const SM_STATE_LOCK* lock, FILE* f, int32_t number, int32_t verbose) {
  if (!lock || !f) return;
  print_prefix(f, number);
  fprintf(f, "S-ID: %5d, State: %3d, Lock Type: %s", lock->pid, lock->state_id, name_of(kStateKinds, 6, lock->kind));
  if (verbose) fprintf(f, ", Next: %u\n", static_cast<unsigned>(static_cast<uint16_t>(lock->next)));
  else fprintf(f, "\n");
}

template <typename R, typename Show>
int32_t display_used(SM_HANDLE* h, int mutex, LockList<R> l, const char* title, void (*fn)(const R*), Show show) {
  if (sm_mutex_take(h, mutex) != 0) return -1;
  if (!fn) fprintf(stderr, "%s", title);
  int32_t n = 0;
  int16_t cur = head(l.used);
  for (int guard = 0; index_ok(l, cur) && guard <= l.cap; ++guard) {
    ++n;
    if (fn) fn(&l.recs[cur]);
    else show(&l.recs[cur], stderr, n, 1);
    cur = l.recs[cur].next;
  }
  sm_mutex_give(h, mutex);
  return n;
}

int32_t SM_state_locks_display_used(SM_HANDLE* h, void (*fn)(const SM_STATE_LOCK*)) {
  if (!h) return 0;
  return display_used(h, SM_MX_STATE_LOCK, state_list(h), "STATE LOCKS IN USE:\n", fn, SM_state_lock_display);
}

// ---- table locks -----------------------------------------------------------

int32_t SM_table_lock_add(SM_HANDLE* h, int32_t table_id, int32_t kind) {
  if (!h) return SE_INVALID_POINTER;
  if (kind != 1 && kind != 2) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_TABLE_LOCK) != 0) return -1;
  LockList<SM_TABLE_LOCK> l = table_list(h);
  int32_t me = h->owner_pid;
  int32_t rc = list_add(
      l, kind == 1, static_cast<int16_t>(kind),
      [&](const SM_TABLE_LOCK& r) { return table_flags(kind, r.kind, r.pid == me, r.table_id == table_id); },
      [&](SM_TABLE_LOCK& r) {
        r.pid = me;
        r.table_id = table_id;
      });
  if (sm_mutex_give(h, SM_MX_TABLE_LOCK) != 0) return -1;
  return rc;
}

int32_t SM_table_lock_delete(SM_HANDLE* h, int32_t table_id) {
  if (!h) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_TABLE_LOCK) != 0) return -1;
  LockList<SM_TABLE_LOCK> l = table_list(h);
  int32_t me = h->owner_pid;
  bool done = false;
  int removed = list_remove_if(l, [&](const SM_TABLE_LOCK& r) {
    if (done || r.pid != me || r.table_id != table_id) return false;
    done = true;
    return true;
  });
  if (sm_mutex_give(h, SM_MX_TABLE_LOCK) != 0) return -1;
  return removed ? 0 : SE_LOCK_NOT_HELD;
}

int32_t SM_table_locks_delete_user(SM_HANDLE* h, int32_t pid) {
  if (!h) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_TABLE_LOCK) != 0) return -1;
  LockList<SM_TABLE_LOCK> l = table_list(h);
  list_remove_if(l, [&](const SM_TABLE_LOCK& r) { return r.pid == pid; });
  return sm_mutex_give(h, SM_MX_TABLE_LOCK) != 0 ? -1 : 0;
}

int32_t SM_locks_find_on_table(SM_HANDLE* h, int32_t table_id, int32_t take_mutex, SM_TABLE_LOCK_FN fn,
                               void* user) {
  if (!h || !fn) return SE_INVALID_POINTER;
  if (take_mutex && sm_mutex_take(h, SM_MX_TABLE_LOCK) != 0) return -1;
  LockList<SM_TABLE_LOCK> l = table_list(h);
  int32_t rc = 0;
  int16_t cur = head(l.used);
  for (int guard = 0; index_ok(l, cur) && guard <= l.cap; ++guard) {
    if (l.recs[cur].table_id == table_id) rc = fn(user, &l.recs[cur]);
    cur = l.recs[cur].next;
  }
  if (take_mutex && sm_mutex_give(h, SM_MX_TABLE_LOCK) != 0) return -1;
  return rc;
}

void SM_table_lock_display(const SM_TABLE_LOCK* lock, FILE* f, int32_t number, int32_t verbose) {
  if (!lock || !f) return;
  print_prefix(f, number);
  fprintf(f, "ZUL ID: %5d, table: %3d, Lock Type: %s", lock->pid, lock->table_id, name_of(kTableKinds, 3, lock->kind));
  if (verbose) fprintf(f, ", Next: %u\n", static_cast<unsigned>(static_cast<uint16_t>(lock->next)));
  else fprintf(f, "\n");
}

int32_t SM_table_locks_display_used(SM_HANDLE* h, void (*fn)(const SM_TABLE_LOCK*)) {
  if (!h) return 0;
  return display_used(h, SM_MX_TABLE_LOCK, table_list(h), "TABLE LOCKS IN USE:\n", fn, SM_table_lock_display);
}

// ---- object locks ----------------------------------------------------------

int32_t SM_object_lock_add(SM_HANDLE* h, const SM_OBJECT_LOCK* lock, int16_t type) {
  if (!h || !lock) return SE_INVALID_POINTER;
  if (type < 0 || type > 3) return SE_INVALID_PARAM;
  if (sm_mutex_take(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  LockList<SM_OBJECT_LOCK> l = object_list(h);
  const SM_OBJECT_LOCK req = *lock;
  int32_t rc = list_add(
      l, type == 0, type,
      [&](const SM_OBJECT_LOCK& r) {
        bool same = r.object_id == req.object_id && r.object_type == req.object_type &&
                    r.application_id == req.application_id;
        return object_flags(type, r.lock_type, r.pid == req.pid, same);
      },
      [&](SM_OBJECT_LOCK& r) {
        r.pid = req.pid;
        r.object_id = req.object_id;
        r.object_type = req.object_type;
        r.application_id = req.application_id;
      });
  if (sm_mutex_give(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  return rc;
}

int32_t SM_object_lock_delete(SM_HANDLE* h, const SM_OBJECT_LOCK* lock, int32_t automatic) {
  if (!h || !lock) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  LockList<SM_OBJECT_LOCK> l = object_list(h);
  bool done = false;
  int removed = list_remove_if(l, [&](const SM_OBJECT_LOCK& r) {
    if (done || r.pid != lock->pid || r.object_id != lock->object_id || r.object_type != lock->object_type)
      return false;
    if ((r.lock_type == 2) != (automatic == 1)) return false;
    done = true;
    return true;
  });
  if (sm_mutex_give(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  return removed ? 0 : SE_LOCK_NOT_HELD;
}

int32_t SM_object_locks_delete_user(SM_HANDLE* h, int32_t pid) {
  if (!h) return SE_INVALID_POINTER;
  if (sm_mutex_take(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  LockList<SM_OBJECT_LOCK> l = object_list(h);
  list_remove_if(l, [&](const SM_OBJECT_LOCK& r) { return r.pid == pid; });
  return sm_mutex_give(h, SM_MX_OBJECT_LOCK) != 0 ? -1 : 0;
}

int32_t SM_object_locks_find_by_example(SM_HANDLE* h, const SM_OBJECT_LOCK* ex, int32_t take_mutex,
                                        SM_OBJECT_LOCK_FN fn, void* user) {
  if (!h || !ex || !fn) return SE_INVALID_POINTER;
  if (take_mutex && sm_mutex_take(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  LockList<SM_OBJECT_LOCK> l = object_list(h);
  int32_t rc = 0;
  int16_t cur = head(l.used);
  for (int guard = 0; index_ok(l, cur) && guard <= l.cap; ++guard) {
    const SM_OBJECT_LOCK& r = l.recs[cur];
    if ((ex->object_id == 0 || r.object_id == ex->object_id) &&
        (ex->object_type == 0 || r.object_type == ex->object_type) &&
        (ex->application_id == 0 || r.application_id == ex->application_id))
      rc = fn(user, &r);
    cur = r.next;
  }
  if (take_mutex && sm_mutex_give(h, SM_MX_OBJECT_LOCK) != 0) return -1;
  return rc;
}

void SM_object_lock_display(const SM_OBJECT_LOCK* lock, FILE* f, int32_t number, int32_t verbose) {
  if (!lock || !f) return;
  const char* app = lock->application_id == 1      ? "User"
                    : lock->application_id == 999  ? "Mardel Internal"
                    : lock->application_id == 1001 ? "Nexbase"
                                                   : "Other";
  print_prefix(f, number);
  fprintf(f, "SID: %5d, Object Id: %3d, Object Type: %3d Application: [%s]  Lock Type: %s", lock->pid,
          lock->object_id, lock->object_type, app, name_of(kObjectTypes, 4, lock->lock_type));
  if (verbose) fprintf(f, ", Next: %u\n", static_cast<unsigned>(static_cast<uint16_t>(lock->next)));
  else fprintf(f, "\n");
}

int32_t SM_object_locks_display_used(SM_HANDLE* h, void (*fn)(const SM_OBJECT_LOCK*)) {
  if (!h) return 0;
  return display_used(h, SM_MX_OBJECT_LOCK, object_list(h), "OBJECT LOCKS IN USE:\n", fn, SM_object_lock_display);
}
