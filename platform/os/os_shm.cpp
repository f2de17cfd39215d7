// os_shm.cpp -- named shared memory with the stale-creator check (see
// os_shm.h for the naming and the rules).
//
// Relies on the system-call table of os_syscalls.h for shm_open, shm_unlink,
// ftruncate, posix_fallocate, mmap, munmap and close, so tests can fail any of
// them.
#include "os_shm.h"

#include "os_syscalls.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

constexpr uint32_t kMagic = 0x5a554c53;  // "ZULS"
constexpr size_t kPrefix = 64;            // keeps the caller's view 64-byte aligned
constexpr size_t kMaxPosixName = 200;

// The private prefix at the start of every object.
struct ShmPrefix {
  uint32_t magic;       // kMagic once the creator has finished the object
  uint32_t version;     // layout of this prefix, 1
  int32_t creator_pid;  // the creator, for diagnostics
  uint32_t pad;
  uint64_t size;        // size of the caller's view
};
static_assert(sizeof(ShmPrefix) <= kPrefix, "prefix too large");

std::atomic<uint32_t>* magic_of(void* map) {
  return reinterpret_cast<std::atomic<uint32_t>*>(&static_cast<ShmPrefix*>(map)->magic);
}

void reset(zulos_shm* shm) {
  shm->base = nullptr;
  shm->size = 0;
  shm->map = nullptr;
  shm->map_len = 0;
  shm->lock_fd = -1;
  shm->posix_name[0] = '\0';
}

void sleep_ms(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Takes the creator's place on a freshly created descriptor: size, commit,
// map, prefix. Closes fd on failure.
int finish_create(int fd, size_t size, void (*init)(void*, void*), void* arg, zulos_shm* out) {
  size_t len = kPrefix + size;
  int err = 0;
  if (zulos_sys.ftruncate(fd, static_cast<off_t>(len)) != 0) {
    err = errno;
  } else if ((err = zulos_sys.fallocate(fd, 0, static_cast<off_t>(len))) != 0 && err != EOPNOTSUPP &&
             err != EINVAL) {
    // EOPNOTSUPP/EINVAL: a file system without preallocation; pages are then
    // committed on first touch.
  } else {
    err = 0;
    void* map = zulos_sys.mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
      err = errno;
    } else {
      ShmPrefix* p = static_cast<ShmPrefix*>(map);
      p->version = 1;
      p->creator_pid = static_cast<int32_t>(getpid());
      p->size = size;
      if (init) init(static_cast<char*>(map) + kPrefix, arg);
      magic_of(map)->store(kMagic, std::memory_order_release);
      out->map = map;
      out->map_len = len;
      out->base = static_cast<char*>(map) + kPrefix;
      out->size = size;
      out->lock_fd = fd;
      return ZULOS_OK;
    }
  }
  zulos_sys.shm_unlink(out->posix_name);
  zulos_sys.close(fd);
  errno = err;
  return ZULOS_FAILED;
}

}  // namespace

int zulos_object_name(const char* kind, const char* name, char* out, size_t cap) {
  if (!kind || !name || !*name || !out || cap == 0) return ZULOS_BAD_NAME;
  char buf[ZULOS_NAME_CAP + 8];
  int n = snprintf(buf, sizeof buf, "/zul.%u.%s.", static_cast<unsigned>(getuid()), kind);
  if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return ZULOS_BAD_NAME;
  size_t len = static_cast<size_t>(n);
  for (const unsigned char* s = reinterpret_cast<const unsigned char*>(name); *s; ++s) {
    bool plain = (*s >= 'A' && *s <= 'Z') || (*s >= 'a' && *s <= 'z') || (*s >= '0' && *s <= '9') ||
                 *s == '.' || *s == '_' || *s == '-';
    if (len + 4 > kMaxPosixName) return ZULOS_BAD_NAME;
    if (plain) {
      buf[len++] = static_cast<char>(*s);
    } else {
      snprintf(buf + len, 4, "%%%02X", *s);
      len += 3;
    }
  }
  if (len >= cap) return ZULOS_BAD_NAME;
  memcpy(out, buf, len);
  out[len] = '\0';
  return ZULOS_OK;
}

int zulos_shm_create(const char* kind, const char* name, size_t size, zulos_shm* out) {
  return zulos_shm_create_init(kind, name, size, nullptr, nullptr, out);
}

int zulos_shm_create_init(const char* kind, const char* name, size_t size, void (*init)(void*, void*), void* arg,
                          zulos_shm* out) {
  reset(out);
  if (zulos_object_name(kind, name, out->posix_name, sizeof out->posix_name) != ZULOS_OK)
    return ZULOS_BAD_NAME;
  // Two rounds at most: the second follows the removal of a stale object.
  for (int round = 0; round < 3; ++round) {
    int fd = zulos_sys.shm_open(out->posix_name, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Someone found our new object stale before we locked it: give way.
        zulos_sys.close(fd);
        return ZULOS_EXISTS;
      }
      return finish_create(fd, size, init, arg, out);
    }
    if (errno != EEXIST) return ZULOS_FAILED;
    int old = zulos_sys.shm_open(out->posix_name, O_RDWR | O_CLOEXEC, 0);
    if (old < 0) {
      if (errno == ENOENT) continue;  // removed meanwhile; try again
      return ZULOS_FAILED;
    }
    if (flock(old, LOCK_EX | LOCK_NB) != 0) {
      zulos_sys.close(old);
      if (errno == EWOULDBLOCK) return ZULOS_EXISTS;
      return ZULOS_FAILED;
    }
    // The creator is gone. Under its lock, make sure the name still names this
    // object (another creator may have replaced it already), then remove it.
    struct stat st;
    if (fstat(old, &st) == 0 && st.st_nlink > 0) {
      fprintf(stderr, "WARNING: removing %s left behind by a process that ended\n", out->posix_name);
      zulos_sys.shm_unlink(out->posix_name);
    }
    zulos_sys.close(old);
  }
  return ZULOS_EXISTS;
}

int zulos_shm_open(const char* kind, const char* name, zulos_shm* out) {
  reset(out);
  if (zulos_object_name(kind, name, out->posix_name, sizeof out->posix_name) != ZULOS_OK)
    return ZULOS_BAD_NAME;
  int fd = zulos_sys.shm_open(out->posix_name, O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return errno == ENOENT ? ZULOS_NOT_FOUND : ZULOS_FAILED;
  // The creator sizes the object, maps it and writes the magic last; wait a
  // little for a creation in progress.
  for (int waited = 0;; waited += 10) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      int err = errno;
      zulos_sys.close(fd);
      errno = err;
      return ZULOS_FAILED;
    }
    if (static_cast<size_t>(st.st_size) >= kPrefix) {
      size_t len = static_cast<size_t>(st.st_size);
      void* map = zulos_sys.mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (map == MAP_FAILED) {
        int err = errno;
        zulos_sys.close(fd);
        errno = err;
        return ZULOS_FAILED;
      }
      const ShmPrefix* p = static_cast<const ShmPrefix*>(map);
      if (magic_of(map)->load(std::memory_order_acquire) == kMagic && p->size <= len - kPrefix) {
        zulos_sys.close(fd);
        out->map = map;
        out->map_len = len;
        out->base = static_cast<char*>(map) + kPrefix;
        out->size = static_cast<size_t>(p->size);
        return ZULOS_OK;
      }
      zulos_sys.munmap(map, len);
    }
    if (waited >= 1000) break;
    sleep_ms(10);
  }
  zulos_sys.close(fd);
  return ZULOS_NOT_FOUND;
}

void zulos_shm_close(zulos_shm* shm) {
  if (!shm) return;
  if (shm->map) zulos_sys.munmap(shm->map, shm->map_len);
  if (shm->lock_fd >= 0) zulos_sys.close(shm->lock_fd);
  shm->map = nullptr;
  shm->base = nullptr;
  shm->map_len = 0;
  shm->size = 0;
  shm->lock_fd = -1;
}

void zulos_shm_destroy(zulos_shm* shm) {
  if (!shm) return;
  if (shm->lock_fd >= 0 && shm->posix_name[0]) zulos_sys.shm_unlink(shm->posix_name);
  zulos_shm_close(shm);
}

int zulos_shm_unlink(const char* kind, const char* name) {
  char posix[ZULOS_NAME_CAP];
  if (zulos_object_name(kind, name, posix, sizeof posix) != ZULOS_OK) return -1;
  return zulos_sys.shm_unlink(posix) == 0 ? 0 : -1;
}

int zulos_shm_exists(const char* kind, const char* name) {
  char posix[ZULOS_NAME_CAP];
  if (zulos_object_name(kind, name, posix, sizeof posix) != ZULOS_OK) return 0;
  char path[ZULOS_NAME_CAP + 16];
  snprintf(path, sizeof path, "/dev/shm%s", posix);
  struct stat st;
  return stat(path, &st) == 0 ? 1 : 0;
}

const char* zulos_shm_dir(void) { return "/dev/shm"; }
