// os_sync.cpp -- named mutexes and events, the wait on both, named
// semaphores and the eventfd event (see os_sync.h for the rules).
//
// Relies on os_shm for the named objects, on pthread robust mutexes and the
// futex system call.
#include "os_sync.h"

#include "os_syscalls.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

// ---- time -------------------------------------------------------------------

struct timespec deadline_after(int timeout_ms, clockid_t clock) {
  struct timespec ts;
  clock_gettime(clock, &ts);
  ts.tv_sec += timeout_ms / 1000;
  ts.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000L;
  }
  return ts;
}

// Milliseconds left until deadline (monotonic); 0 when it has passed.
int ms_left(const struct timespec& deadline) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  long long ms = (deadline.tv_sec - now.tv_sec) * 1000LL + (deadline.tv_nsec - now.tv_nsec) / 1000000L;
  return ms <= 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
}

// ---- named mutex ----------------------------------------------------------

struct MutexObject {
  std::atomic<uint32_t> ready;  // 1 once the mutex is initialised
  uint32_t pad[15];
  pthread_mutex_t mutex;        // process-shared, robust, recursive
};

void init_mutex(void* view, void*) {
  MutexObject* o = static_cast<MutexObject*>(view);
  pthread_mutexattr_t a;
  pthread_mutexattr_init(&a);
  pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&o->mutex, &a);
  pthread_mutexattr_destroy(&a);
  o->ready.store(1, std::memory_order_release);
}

MutexObject* mutex_object(zulos_mutex* m) {
  if (!m || !m->shm.base || m->shm.size < sizeof(MutexObject)) return nullptr;
  MutexObject* o = static_cast<MutexObject*>(m->shm.base);
  return o->ready.load(std::memory_order_acquire) == 1 ? o : nullptr;
}

// ---- named event ----------------------------------------------------------

struct EventObject {
  std::atomic<uint32_t> state;  // 1 signalled, 0 clear (the futex word)
  uint32_t manual;              // 1 manual reset, 0 automatic
  std::atomic<uint32_t> ready;  // 1 once initialised
};

struct EventInit {
  int manual;
  int initial;
};

void init_event(void* view, void* arg) {
  EventObject* o = static_cast<EventObject*>(view);
  const EventInit* in = static_cast<const EventInit*>(arg);
  o->manual = in->manual ? 1 : 0;
  o->state.store(in->initial ? 1 : 0, std::memory_order_relaxed);
  o->ready.store(1, std::memory_order_release);
}

EventObject* event_object(zulos_event* e) {
  if (!e || !e->shm.base || e->shm.size < sizeof(EventObject)) return nullptr;
  EventObject* o = static_cast<EventObject*>(e->shm.base);
  return o->ready.load(std::memory_order_acquire) == 1 ? o : nullptr;
}

long futex(std::atomic<uint32_t>* word, int op, uint32_t val, const struct timespec* ts) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, val, ts, nullptr, 0);
}

// Opens a named object and waits a little for its ready word.
template <typename Obj>
int open_ready(const char* kind, const char* name, zulos_shm* shm) {
  int rc = zulos_shm_open(kind, name, shm);
  if (rc != ZULOS_OK) return rc;
  if (shm->size < sizeof(Obj)) {
    zulos_shm_close(shm);
    return ZULOS_FAILED;
  }
  Obj* o = static_cast<Obj*>(shm->base);
  for (int i = 0; i < 100 && o->ready.load(std::memory_order_acquire) != 1; ++i) usleep(10000);
  if (o->ready.load(std::memory_order_acquire) != 1) {
    zulos_shm_close(shm);
    return ZULOS_NOT_FOUND;
  }
  return ZULOS_OK;
}

// ---- named semaphore ------------------------------------------------------

int sem_posix_name(const char* name, char* out, size_t cap) { return zulos_object_name("sem", name, out, cap); }

}  // namespace

// ---- named mutex ----------------------------------------------------------

int zulos_mutex_create(const char* name, zulos_mutex* out) {
  int rc = zulos_shm_create_init("mtx", name, sizeof(MutexObject), init_mutex, nullptr, &out->shm);
  if (rc == ZULOS_EXISTS) return zulos_mutex_open(name, out);
  return rc;
}

int zulos_mutex_open(const char* name, zulos_mutex* out) {
  return open_ready<MutexObject>("mtx", name, &out->shm);
}

int zulos_mutex_lock(zulos_mutex* m, int timeout_ms) {
  MutexObject* o = mutex_object(m);
  if (!o) return ZULOS_WAIT_FAILED;
  int rc;
  if (timeout_ms < 0) {
    rc = pthread_mutex_lock(&o->mutex);
  } else {
    struct timespec ts = deadline_after(timeout_ms, CLOCK_MONOTONIC);
    rc = pthread_mutex_clocklock(&o->mutex, CLOCK_MONOTONIC, &ts);
  }
  if (rc == 0) return ZULOS_WAIT_ACQUIRED;
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(&o->mutex);
    return ZULOS_WAIT_ABANDONED;
  }
  if (rc == ETIMEDOUT) return ZULOS_WAIT_TIMEOUT;
  errno = rc;
  return ZULOS_WAIT_FAILED;
}

int zulos_mutex_unlock(zulos_mutex* m) {
  MutexObject* o = mutex_object(m);
  if (!o) return -1;
  int rc = pthread_mutex_unlock(&o->mutex);
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  return 0;
}

void zulos_mutex_close(zulos_mutex* m) {
  if (m) zulos_shm_destroy(&m->shm);  // only the creator's close removes the name
}

// ---- named event ----------------------------------------------------------

int zulos_event_create(const char* name, int manual_reset, int initial, zulos_event* out) {
  EventInit in = {manual_reset, initial};
  int rc = zulos_shm_create_init("evt", name, sizeof(EventObject), init_event, &in, &out->shm);
  if (rc == ZULOS_EXISTS) return zulos_event_open(name, out);
  return rc;
}

int zulos_event_open(const char* name, zulos_event* out) {
  return open_ready<EventObject>("evt", name, &out->shm);
}

int zulos_event_set(zulos_event* e) {
  EventObject* o = event_object(e);
  if (!o) return -1;
  o->state.store(1, std::memory_order_release);
  futex(&o->state, FUTEX_WAKE, o->manual ? INT_MAX : 1, nullptr);
  return 0;
}

int zulos_event_reset(zulos_event* e) {
  EventObject* o = event_object(e);
  if (!o) return -1;
  o->state.store(0, std::memory_order_release);
  return 0;
}

int zulos_event_is_set(zulos_event* e) {
  EventObject* o = event_object(e);
  return o && o->state.load(std::memory_order_acquire) == 1;
}

int zulos_event_wait(zulos_event* e, int timeout_ms) {
  EventObject* o = event_object(e);
  if (!o) return ZULOS_WAIT_FAILED;
  struct timespec deadline = deadline_after(timeout_ms < 0 ? 0 : timeout_ms, CLOCK_MONOTONIC);
  for (;;) {
    if (o->manual) {
      if (o->state.load(std::memory_order_acquire) == 1) return ZULOS_WAIT_ACQUIRED;
    } else {
      uint32_t one = 1;
      if (o->state.compare_exchange_strong(one, 0, std::memory_order_acq_rel)) return ZULOS_WAIT_ACQUIRED;
    }
    struct timespec rel;
    const struct timespec* pts = nullptr;
    if (timeout_ms >= 0) {
      int left = ms_left(deadline);
      if (left == 0) return ZULOS_WAIT_TIMEOUT;
      rel.tv_sec = left / 1000;
      rel.tv_nsec = static_cast<long>(left % 1000) * 1000000L;
      pts = &rel;
    }
    long rc = futex(&o->state, FUTEX_WAIT, 0, pts);
    if (rc != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) return ZULOS_WAIT_FAILED;
  }
}

void zulos_event_close(zulos_event* e) {
  if (e) zulos_shm_destroy(&e->shm);
}

int zulos_wait_all(zulos_mutex* m, zulos_event* e, int timeout_ms) {
  struct timespec deadline = deadline_after(timeout_ms < 0 ? 0 : timeout_ms, CLOCK_MONOTONIC);
  bool abandoned = false;
  for (;;) {
    int left = timeout_ms < 0 ? ZULOS_INFINITE : ms_left(deadline);
    int rc = zulos_mutex_lock(m, left);
    if (rc == ZULOS_WAIT_ABANDONED) abandoned = true;
    else if (rc != ZULOS_WAIT_ACQUIRED) return rc;
    if (zulos_event_is_set(e)) return abandoned ? ZULOS_WAIT_ABANDONED : ZULOS_WAIT_ACQUIRED;
    if (zulos_mutex_unlock(m) != 0) return ZULOS_WAIT_FAILED;
    if (timeout_ms >= 0 && (left = ms_left(deadline)) == 0) return ZULOS_WAIT_TIMEOUT;
    // The event is set under the mutex; wait for it outside, then try again.
    EventObject* o = event_object(e);
    if (!o) return ZULOS_WAIT_FAILED;
    struct timespec rel;
    const struct timespec* pts = nullptr;
    if (timeout_ms >= 0) {
      rel.tv_sec = left / 1000;
      rel.tv_nsec = static_cast<long>(left % 1000) * 1000000L;
      pts = &rel;
    }
    long w = futex(&o->state, FUTEX_WAIT, 0, pts);
    if (w != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) return ZULOS_WAIT_FAILED;
  }
}

// ---- named semaphore ------------------------------------------------------

int zulos_nsem_create(const char* name, int32_t initial, int32_t max, unsigned mode, zulos_nsem* out) {
  out->sem = nullptr;
  out->max = max;
  if (sem_posix_name(name, out->posix_name, sizeof out->posix_name) != ZULOS_OK) return ZULOS_BAD_NAME;
  mode_t old = umask(0);
  sem_t* s = sem_open(out->posix_name, O_CREAT, static_cast<mode_t>(mode), static_cast<unsigned>(initial));
  umask(old);
  if (s == SEM_FAILED) return ZULOS_FAILED;
  out->sem = s;
  return ZULOS_OK;
}

int zulos_nsem_open(const char* name, zulos_nsem* out) {
  out->sem = nullptr;
  out->max = 1;
  if (sem_posix_name(name, out->posix_name, sizeof out->posix_name) != ZULOS_OK) return ZULOS_BAD_NAME;
  sem_t* s = sem_open(out->posix_name, 0);
  if (s == SEM_FAILED) return errno == ENOENT ? ZULOS_NOT_FOUND : ZULOS_FAILED;
  out->sem = s;
  return ZULOS_OK;
}

int zulos_nsem_release(zulos_nsem* s) {
  if (!s || !s->sem) return -1;
  int value = 0;
  if (sem_getvalue(s->sem, &value) != 0) return -1;
  if (value >= s->max) return -1;
  return sem_post(s->sem) == 0 ? 0 : -1;
}

int zulos_nsem_wait(zulos_nsem* s, int timeout_ms) {
  if (!s || !s->sem) return ZULOS_WAIT_FAILED;
  for (;;) {
    int rc;
    if (timeout_ms < 0) {
      rc = sem_wait(s->sem);
    } else {
      struct timespec ts = deadline_after(timeout_ms, CLOCK_MONOTONIC);
      rc = sem_clockwait(s->sem, CLOCK_MONOTONIC, &ts);
    }
    if (rc == 0) return ZULOS_WAIT_ACQUIRED;
    if (errno == EINTR) continue;
    return errno == ETIMEDOUT ? ZULOS_WAIT_TIMEOUT : ZULOS_WAIT_FAILED;
  }
}

void zulos_nsem_close(zulos_nsem* s) {
  if (s && s->sem) {
    sem_close(s->sem);
    s->sem = nullptr;
  }
}

int zulos_nsem_unlink(const char* name) {
  char posix[ZULOS_NAME_CAP];
  if (sem_posix_name(name, posix, sizeof posix) != ZULOS_OK) return -1;
  return sem_unlink(posix) == 0 ? 0 : -1;
}

int zulos_nsem_exists(const char* name) {
  char posix[ZULOS_NAME_CAP];
  if (sem_posix_name(name, posix, sizeof posix) != ZULOS_OK) return 0;
  char path[ZULOS_NAME_CAP + 16];
  snprintf(path, sizeof path, "/dev/shm/sem.%s", posix + 1);
  return access(path, F_OK) == 0;
}

int zulos_nsem_sweep(const char* prefix) {
  char posix_prefix[ZULOS_NAME_CAP];
  if (sem_posix_name(prefix, posix_prefix, sizeof posix_prefix) != ZULOS_OK) return 0;
  // Directory entries look like "sem.zul.<uid>.sem.<escaped prefix><pid>_<n>".
  char file_prefix[ZULOS_NAME_CAP + 8];
  snprintf(file_prefix, sizeof file_prefix, "sem.%s", posix_prefix + 1);
  size_t plen = strlen(file_prefix);
  DIR* d = opendir("/dev/shm");
  if (!d) return 0;
  int removed = 0;
  while (struct dirent* ent = readdir(d)) {
    if (strncmp(ent->d_name, file_prefix, plen) != 0) continue;
    const char* p = ent->d_name + plen;
    char* end = nullptr;
    long pid = strtol(p, &end, 10);
    if (end == p || pid <= 0 || pid > INT_MAX) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;
    char posix[ZULOS_NAME_CAP + 8];
    snprintf(posix, sizeof posix, "/%s", ent->d_name + 4);
    if (sem_unlink(posix) == 0) ++removed;
  }
  closedir(d);
  return removed;
}

// ---- eventfd event --------------------------------------------------------

int zulos_evfd_create(zulos_evfd* out) {
  out->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return out->fd >= 0 ? 0 : -1;
}

int zulos_evfd_set(zulos_evfd* e) {
  if (!e || e->fd < 0) return -1;
  uint64_t one = 1;
  ssize_t n = write(e->fd, &one, sizeof one);
  return n == static_cast<ssize_t>(sizeof one) || (n < 0 && errno == EAGAIN) ? 0 : -1;
}

int zulos_evfd_wait(zulos_evfd* e, int timeout_ms) {
  if (!e || e->fd < 0) return ZULOS_WAIT_FAILED;
  struct timespec deadline = deadline_after(timeout_ms < 0 ? 0 : timeout_ms, CLOCK_MONOTONIC);
  for (;;) {
    uint64_t v;
    if (read(e->fd, &v, sizeof v) == static_cast<ssize_t>(sizeof v)) return ZULOS_WAIT_ACQUIRED;
    if (errno != EAGAIN && errno != EINTR) return ZULOS_WAIT_FAILED;
    int left = timeout_ms < 0 ? -1 : ms_left(deadline);
    if (timeout_ms >= 0 && left == 0) return ZULOS_WAIT_TIMEOUT;
    struct pollfd p = {e->fd, POLLIN, 0};
    int rc = zulos_sys.poll(&p, 1, left);
    if (rc < 0 && errno != EINTR) return ZULOS_WAIT_FAILED;
  }
}

void zulos_evfd_close(zulos_evfd* e) {
  if (e && e->fd >= 0) {
    close(e->fd);
    e->fd = -1;
  }
}
