// mutex.cpp -- the fifteen numbered mutexes of the shared segment and the
// reader/writer guard of the registration table.
//
// Relies on the OS layer's robust named mutexes and events, and on the stop
// bracket of the subprocess module (SubPrograms_StopHandling).
//
// Notes:
// 1. A mutex whose owner died is taken over: the take succeeds, and a
//    WARNING line names the mutex, since what it guards may be half changed.
// 2. The guard: header word 0 counts the readers inside; the no-readers event
//    is set exactly while it is 0, and both change only under the guard mutex.
//    A writer holds the guard mutex from its entry to its exit.
// 3. A reader that dies inside the guard would leave word 0 above 0 for ever.
//    Every reader is therefore also counted by pid in the reader table (a
//    named object beside the segment), and a writer that has waited a second
//    removes the counts of readers that no longer run and sets the event when
//    none is left.
// 4. Every entry is inside the stop bracket, so that a stop request waits
//    while a process is in the guard; a writer leaves the bracket while it
//    waits, so that a stop is not held up by other processes' readers.
#include "shared_internal.h"

#include "zul_subprograms.h"

#include <stdio.h>
#include <unistd.h>

namespace {

SM_READER* reader_table(SM_HANDLE* h) { return static_cast<SM_READER*>(h->readers.base); }

void reader_count(SM_HANDLE* h, int32_t pid, int delta) {
  SM_READER* t = reader_table(h);
  if (!t) return;
  SM_READER* free_slot = nullptr;
  for (int i = 0; i < SM_READER_SLOTS; ++i) {
    if (t[i].pid == pid) {
      t[i].count += delta;
      if (t[i].count <= 0) t[i] = SM_READER{0, 0};
      return;
    }
    if (t[i].pid == 0 && !free_slot) free_slot = &t[i];
  }
  if (delta > 0 && free_slot) *free_slot = SM_READER{pid, delta};
}

// Removes the counts of readers that ended. Caller holds the guard mutex.
void purge_dead_readers(SM_HANDLE* h) {
  SM_READER* t = reader_table(h);
  int32_t* w = sm_header(h);
  if (!t) return;
  for (int i = 0; i < SM_READER_SLOTS; ++i) {
    if (t[i].pid != 0 && !zulos_process_alive(t[i].pid)) {
      fprintf(stderr, "WARNING: process %d ended inside the registration guard; its %d read(s) are dropped\n",
              t[i].pid, t[i].count);
      w[SMW_READERS] = w[SMW_READERS] > t[i].count ? w[SMW_READERS] - t[i].count : 0;
      t[i] = SM_READER{0, 0};
    }
  }
  if (w[SMW_READERS] == 0) zulos_event_set(&h->no_readers);
}

bool taken(int rc) { return rc == ZULOS_WAIT_ACQUIRED || rc == ZULOS_WAIT_ABANDONED; }

}  // namespace

int32_t sm_mutex_take(SM_HANDLE* h, int number) {
  if (!h || number < 1 || number > SM_MUTEX_COUNT) return -1;
  if (h->local) return 0;
  int rc = zulos_mutex_lock(&h->mutexes[number - 1], ZULOS_INFINITE);
  if (rc == ZULOS_WAIT_ABANDONED)
    fprintf(stderr, "WARNING: shared memory mutex %d of %s was abandoned by its owner; taken over\n", number,
            h->instance_name);
  if (!taken(rc)) return -1;
  h->held[number - 1] = 1;
  return 0;
}

int32_t sm_mutex_give(SM_HANDLE* h, int number) {
  if (!h || number < 1 || number > SM_MUTEX_COUNT) return -1;
  if (h->local) return 0;
  if (zulos_mutex_unlock(&h->mutexes[number - 1]) != 0) return -1;
  h->held[number - 1] = 0;
  return 0;
}

int32_t sm_guard_enter(SM_HANDLE* h, int state) {
  if (!h) return -1;
  if (state != 2 && state != 3) return -66;
  if (h->local) return 0;
  SubPrograms_StopHandling(0);
  int32_t* w = sm_header(h);
  if (state == 2) {
    if (!taken(zulos_mutex_lock(&h->guard_mutex, ZULOS_INFINITE))) {
      SubPrograms_StopHandling(1);
      return -1;
    }
    if (++w[SMW_READERS] == 1 && zulos_event_reset(&h->no_readers) != 0) {
      --w[SMW_READERS];
      zulos_mutex_unlock(&h->guard_mutex);
      SubPrograms_StopHandling(1);
      return -1;
    }
    reader_count(h, static_cast<int32_t>(getpid()), 1);
    zulos_mutex_unlock(&h->guard_mutex);
    h->guard_state = 2;
    return 0;
  }
  SubPrograms_StopHandling(1);
  for (;;) {
    int rc = zulos_wait_all(&h->guard_mutex, &h->no_readers, 1000);
    if (taken(rc)) break;
    if (rc != ZULOS_WAIT_TIMEOUT) return -1;
    if (!taken(zulos_mutex_lock(&h->guard_mutex, ZULOS_INFINITE))) return -1;
    purge_dead_readers(h);
    zulos_mutex_unlock(&h->guard_mutex);
  }
  SubPrograms_StopHandling(0);
  h->guard_state = 3;
  return 0;
}

int32_t sm_guard_exit(SM_HANDLE* h) {
  if (!h) return -1;
  if (h->local || h->guard_state == 1) return 0;
  int32_t rc = 0;
  if (h->guard_state == 2) {
    if (!taken(zulos_mutex_lock(&h->guard_mutex, ZULOS_INFINITE))) {
      rc = -1;
    } else {
      int32_t* w = sm_header(h);
      if (w[SMW_READERS] > 0 && --w[SMW_READERS] == 0 && zulos_event_set(&h->no_readers) != 0) rc = -1;
      reader_count(h, static_cast<int32_t>(getpid()), -1);
      zulos_mutex_unlock(&h->guard_mutex);
    }
  } else if (zulos_mutex_unlock(&h->guard_mutex) != 0) {
    rc = -1;
  }
  SubPrograms_StopHandling(1);
  h->guard_state = 1;
  return rc;
}
