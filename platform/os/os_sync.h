// os_sync.h -- named mutexes, named events, the wait on a mutex and an event
// together, named (stop) semaphores, and the unnamed auto-reset event that a
// thread waits on together with child processes.
//
// Named mutex: a process-shared, robust, recursive pthread mutex in a named
// object of its own (os_shm.h, kind "mtx"). As with a Windows mutex, the thread
// that holds it may take it again, and when the holding thread or process ends
// the next taker gets it with ZULOS_WAIT_ABANDONED (the mutex is made
// consistent again; what it guarded is as the dead owner left it). Create
// opens the existing mutex when a live creator holds the name, as
// CreateMutex does; a stale one is replaced.
//
// Named event: a 32-bit state word in a named object (kind "evt"), waited on
// with a shared futex; manual reset (stays signalled, wakes every waiter) or
// automatic (one waiter takes the signal). No lock is held while waiting, so a
// dead waiter leaves nothing behind.
//
// zulos_wait_all: takes the mutex once the event is signalled. It locks,
// tests, and unlocks and waits while the event is clear; that is sound only
// when the event is set and reset under that same mutex, which its users
// (the registration guard) keep to.
//
// Named semaphore (stop semaphores): POSIX named semaphores,
// "/zul.<uid>.sem.<escaped name>" (in /dev/shm as "sem.zul..."). The maximum
// count of the Windows semaphore is kept by refusing a release that would pass
// it. The maker removes the name when it is done (zulos_nsem_unlink);
// zulos_nsem_sweep removes names left by processes that ended.
//
// Unnamed event: an eventfd, auto reset (a successful wait consumes the
// signal), whose descriptor can be polled together with process descriptors.
#ifndef ZULOS_SYNC_H
#define ZULOS_SYNC_H

#include "os_shm.h"

#include <semaphore.h>
#include <stdint.h>

// Wait results.
#define ZULOS_WAIT_ACQUIRED   0   // taken (or signalled)
#define ZULOS_WAIT_ABANDONED  1   // taken; the previous owner died holding it
#define ZULOS_WAIT_TIMEOUT    2
#define ZULOS_WAIT_FAILED     3

#define ZULOS_INFINITE       (-1)

struct zulos_mutex {
  struct zulos_shm shm;  // the named object holding the pthread mutex
};

// ZULOS_OK (made, or opened because a live creator holds it), ZULOS_BAD_NAME,
// ZULOS_FAILED.
int zulos_mutex_create(const char* name, struct zulos_mutex* out);
// ZULOS_OK, ZULOS_NOT_FOUND, ZULOS_BAD_NAME, ZULOS_FAILED.
int zulos_mutex_open(const char* name, struct zulos_mutex* out);
// timeout_ms: ZULOS_INFINITE or a number of milliseconds. Returns a wait result.
int zulos_mutex_lock(struct zulos_mutex* m, int timeout_ms);
// 0, or -1 when the caller does not hold it.
int zulos_mutex_unlock(struct zulos_mutex* m);
// Closes the handle; the creator's close also removes the name.
void zulos_mutex_close(struct zulos_mutex* m);

struct zulos_event {
  struct zulos_shm shm;  // the named object holding the state word
};

int zulos_event_create(const char* name, int manual_reset, int initial, struct zulos_event* out);
int zulos_event_open(const char* name, struct zulos_event* out);
int zulos_event_set(struct zulos_event* e);    // 0 or -1
int zulos_event_reset(struct zulos_event* e);  // 0 or -1
int zulos_event_is_set(struct zulos_event* e);
// ZULOS_WAIT_ACQUIRED, ZULOS_WAIT_TIMEOUT or ZULOS_WAIT_FAILED.
int zulos_event_wait(struct zulos_event* e, int timeout_ms);
void zulos_event_close(struct zulos_event* e);

// Waits until the event is signalled and the mutex is taken, both at once.
// ZULOS_WAIT_ACQUIRED or ZULOS_WAIT_ABANDONED (the mutex is then held),
// ZULOS_WAIT_TIMEOUT or ZULOS_WAIT_FAILED (not held).
int zulos_wait_all(struct zulos_mutex* m, struct zulos_event* e, int timeout_ms);

struct zulos_nsem {
  sem_t* sem;        // null when closed
  int32_t max;       // the largest count a release may reach
  char posix_name[ZULOS_NAME_CAP];
};

// Creates (or opens, when it exists) the semaphore with the initial count and
// maximum; mode is the permission of a new name (0600, or 0666 for a
// semaphore another user must open). ZULOS_OK, ZULOS_BAD_NAME, ZULOS_FAILED.
int zulos_nsem_create(const char* name, int32_t initial, int32_t max, unsigned mode, struct zulos_nsem* out);
// ZULOS_OK, ZULOS_NOT_FOUND, ZULOS_BAD_NAME, ZULOS_FAILED. The maximum of an
// opened semaphore is taken as 1.
int zulos_nsem_open(const char* name, struct zulos_nsem* out);
// Adds one to the count: 0, or -1 when the count is at its maximum or the
// call fails.
int zulos_nsem_release(struct zulos_nsem* s);
// A wait result.
int zulos_nsem_wait(struct zulos_nsem* s, int timeout_ms);
void zulos_nsem_close(struct zulos_nsem* s);
// Removes the name; 0 or -1.
int zulos_nsem_unlink(const char* name);
// Removes every semaphore whose Windows name starts with prefix followed by a
// decimal process id that no longer runs (the ids of stop semaphores). Returns
// the number removed.
int zulos_nsem_sweep(const char* prefix);
// 1 when a semaphore of that name exists.
int zulos_nsem_exists(const char* name);

struct zulos_evfd {
  int fd;  // the eventfd, or -1
};

int zulos_evfd_create(struct zulos_evfd* out);  // 0 or -1
int zulos_evfd_set(struct zulos_evfd* e);        // 0 or -1
// A wait result; a successful wait resets the event.
int zulos_evfd_wait(struct zulos_evfd* e, int timeout_ms);
void zulos_evfd_close(struct zulos_evfd* e);

#endif
