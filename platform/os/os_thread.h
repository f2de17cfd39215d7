// os_thread.h -- threads with a priority, joined or left to end, and the end
// of the calling thread.
//
// Priorities are best effort: a raised priority is a lower nice value of the
// thread (setpriority on its thread id), which needs CAP_SYS_NICE; without it
// the thread runs at normal priority and nothing fails.
#ifndef ZULOS_THREAD_H
#define ZULOS_THREAD_H

#include <pthread.h>

#define ZULOS_PRIORITY_NORMAL        0
#define ZULOS_PRIORITY_ABOVE_NORMAL  1
#define ZULOS_PRIORITY_HIGHEST       2

struct zulos_thread {
  pthread_t id;   // valid while started is 1
  int started;    // 1 from a successful start until join or detach
};

// Starts fn(arg) on a new thread with the given priority. 0 or -1.
int zulos_thread_start(int (*fn)(void* arg), void* arg, int priority, struct zulos_thread* out);
// Waits for the thread to end; its code (fn's answer or zulos_thread_exit's
// code) goes to *code when code is not null. 0 or -1.
int zulos_thread_join(struct zulos_thread* t, int* code);
// Lets the thread end on its own. 0 or -1.
int zulos_thread_detach(struct zulos_thread* t);
// 1 when the calling thread is t.
int zulos_thread_is_current(const struct zulos_thread* t);
// Ends the calling thread with code.
[[noreturn]] void zulos_thread_exit(int code);

#endif
