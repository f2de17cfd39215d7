// os_thread.cpp -- threads with a best-effort priority (see os_thread.h).
#include "os_thread.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

namespace {

struct Start {
  int (*fn)(void*);
  void* arg;
  int priority;
};

void* run(void* p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  if (s.priority != ZULOS_PRIORITY_NORMAL) {
    int nice = s.priority == ZULOS_PRIORITY_HIGHEST ? -10 : -5;
    // Refused without CAP_SYS_NICE; the thread then runs at normal priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
  }
  int code = s.fn(s.arg);
  return reinterpret_cast<void*>(static_cast<intptr_t>(code));
}

}  // namespace

int zulos_thread_start(int (*fn)(void*), void* arg, int priority, zulos_thread* out) {
  out->started = 0;
  Start* s = new (std::nothrow) Start{fn, arg, priority};
  if (!s) return -1;
  if (pthread_create(&out->id, nullptr, run, s) != 0) {
    delete s;
    return -1;
  }
  out->started = 1;
  return 0;
}

int zulos_thread_join(zulos_thread* t, int* code) {
  if (!t || !t->started) return -1;
  void* result = nullptr;
  if (pthread_join(t->id, &result) != 0) return -1;
  t->started = 0;
  if (code) *code = static_cast<int>(reinterpret_cast<intptr_t>(result));
  return 0;
}

int zulos_thread_detach(zulos_thread* t) {
  if (!t || !t->started) return -1;
  t->started = 0;
  return pthread_detach(t->id) == 0 ? 0 : -1;
}

int zulos_thread_is_current(const zulos_thread* t) {
  return t && t->started && pthread_equal(t->id, pthread_self());
}

void zulos_thread_exit(int code) { pthread_exit(reinterpret_cast<void*>(static_cast<intptr_t>(code))); }
