// os_shm.h -- named shared memory, the base of every named object of the OS
// layer (segments, mutexes, events, reader tables).
//
// Names. Windows names share one global namespace; POSIX shared-memory names
// cannot hold '/'. A Windows name maps to the POSIX name
//     "/zul.<uid>.<kind>.<escaped name>"
// where <kind> keeps objects of different types apart ("map", "mtx", "evt",
// "tbl") and every byte outside [A-Za-z0-9._-] is written as "%XX". The
// objects live in /dev/shm; the uid keeps the instances of different users
// apart. A name whose POSIX form would exceed 200 bytes is refused.
//
// Every object begins with a private prefix (magic, creator pid, size); the
// caller's view starts after it and is 64-byte aligned. The creator writes the
// magic last, so an opener never sees a half-made object.
//
// Stale creators. Windows drops a named object with its last handle; POSIX
// keeps it until it is unlinked, so a crashed creator would block the next
// creation for ever. The creator therefore keeps a descriptor of the object
// open with an exclusive flock for as long as it keeps the object; the kernel
// drops that lock when the creator dies, even by SIGKILL. A create that finds
// the name taken tries the lock: held means a live creator (ZULOS_EXISTS);
// free means the creator is gone, and the stale object is unlinked and made
// anew (with a WARNING line on standard error). Openers never take the lock.
//
// Pages are committed at creation (posix_fallocate), as a page-file-backed
// mapping is, so a full /dev/shm fails the create instead of a later write.
#ifndef ZULOS_SHM_H
#define ZULOS_SHM_H

#include <stddef.h>
#include <stdint.h>

// Results of the named-object functions of os_shm and os_sync.
#define ZULOS_OK          0
#define ZULOS_EXISTS      1   // the name is held by a live creator
#define ZULOS_NOT_FOUND   2   // no object of that name (or not yet ready)
#define ZULOS_FAILED      3   // a system call failed; errno tells which
#define ZULOS_BAD_NAME    4   // the name is empty or too long

#define ZULOS_NAME_CAP    256  // capacity of a POSIX object name

struct zulos_shm {
  void* base;        // the caller's view (after the prefix), or null
  size_t size;       // size of the caller's view in bytes
  void* map;         // the whole mapping, prefix included
  size_t map_len;    // length of the whole mapping
  int lock_fd;       // creator only: descriptor holding the creator's flock; else -1
  char posix_name[ZULOS_NAME_CAP];  // the POSIX name of the object
};

// Writes the POSIX name of (kind, Windows name) into out; ZULOS_OK or
// ZULOS_BAD_NAME.
int zulos_object_name(const char* kind, const char* name, char* out, size_t cap);

// Creates the object exclusively, size bytes of zeroes, and maps it. ZULOS_OK,
// ZULOS_EXISTS (a live creator holds the name; nothing is changed),
// ZULOS_BAD_NAME or ZULOS_FAILED. A stale object of a dead creator is replaced.
int zulos_shm_create(const char* kind, const char* name, size_t size, struct zulos_shm* out);

// The same, calling init(view, arg) on the zeroed view before the object is
// published, so that no opener ever sees it uninitialised.
int zulos_shm_create_init(const char* kind, const char* name, size_t size, void (*init)(void* view, void* arg),
                          void* arg, struct zulos_shm* out);

// Opens and maps an existing object whole. ZULOS_OK, ZULOS_NOT_FOUND (missing,
// or its creator has not finished it within a second), ZULOS_BAD_NAME or
// ZULOS_FAILED.
int zulos_shm_open(const char* kind, const char* name, struct zulos_shm* out);

// Unmaps the view and, for the creator, gives up the creator's lock without
// removing the name. Safe on a zeroed or closed record.
void zulos_shm_close(struct zulos_shm* shm);

// The creator's end of an object: removes the name, then closes as above.
// Processes that still map the object keep their view.
void zulos_shm_destroy(struct zulos_shm* shm);

// Removes the name of (kind, name) whatever its state; 0, or -1 when there was
// none.
int zulos_shm_unlink(const char* kind, const char* name);

// 1 when an object of that name exists, else 0.
int zulos_shm_exists(const char* kind, const char* name);

// The directory that holds the objects (for tests that look for leftovers).
const char* zulos_shm_dir(void);

#endif
