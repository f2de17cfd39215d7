// subprograms.cpp -- server subprocesses: the listener's child registry,
// monitor thread, starts, stops and terminations; the child's stop thread
// and stop bracket; failing system calls through the fatal-error report.
//
// Relies on the OS layer for processes (pidfd), the eventfd events, named
// semaphores, local pipes, threads and the fatal-error report (zulos.h).
//
// Notes:
// 1. Children are kept in start order. Their wait slots form groups of 64,
//    slot 0 of each group being the wake event: with n children there are
//    1 + (n - 1) / 63 groups. Removing a child moves every later slot one place
//    forward, across groups; an emptied last group goes away.
// 2. The slots change only while the monitor is paused or on the monitor
//    thread itself, under the child-list lock. A start pauses the monitor
//    before it touches the slots; with wait mode 1 the monitor stays paused
//    until SubPrograms_DeathHandling(1), with wait mode 0 a start that finds
//    it watching pauses it and resumes it afterwards.
// 3. The death callback runs on the monitor thread with the child-list lock
//    held. From there, a pause or a start with wait mode 1 would wait for the
//    monitor itself; they are refused.
// 4. SubPrograms_End joins the monitor before it reports the children left,
//    so no callback runs on two threads at once; children still running are
//    reported with 259 (still active).
// 5. Stop semaphores are POSIX named semaphores; the listener removes each
//    child's name when the child is reported, and names left by listeners
//    that ended are swept at SubPrograms_Initialize.
// 6. A child that cannot open its stop semaphore starts no stop thread (a
//    failed wait would end it at once) and SubPrograms_OnStop fails.
// 7. A local pipe's server end serves one client. The FIFO pair is made at
//    initialisation, and every start after the first makes both ends afresh
//    (a new name, the old descriptor numbers), so the handles a start hands
//    out always wait for the child being started.
// 8. A child inherits standard input, output and error and at most one more
//    descriptor, the one the caller names; the OS layer closes every other
//    descriptor before exec, whatever its close-on-exec flag.
#include "zul_subprograms.h"

#include "zulos.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char kSource[] = "subprograms";
const char kStopPrefix[] = "ZUL_stop_semaphore_";

enum { kPaused = 1, kWatching = 2, kEnding = 3 };

struct Child {
  zulos_process proc;
  int32_t pid;
  zulos_nsem sem;
  std::string sem_name;
};

struct Listener {
  bool initialized = false;
  SUBPROGRAMS_DEATH_FN death = nullptr;
  std::recursive_mutex list_lock;
  std::vector<Child*> children;  // start order = slot order (note 1)
  std::atomic<int> state{kWatching};
  std::atomic<bool> in_callback{false};
  Child* current = nullptr;      // the child being reported to the callback
  zulos_evfd wake{-1};
  zulos_evfd paused{-1};
  zulos_evfd resume{-1};
  zulos_thread monitor{};
  std::atomic<bool> monitor_running{false};
  int32_t name_counter = 1;
  std::string pipe_in, pipe_out, pipe_in_imp, pipe_out_imp;
  int fifo_in = -1;   // server end of the inbound FIFO pipe
  int fifo_out = -1;  // server end of the outbound FIFO pipe
  bool fifo_handed_out = false;  // a start has handed the pair out (note 7)
};

Listener g;

// Child side.
std::recursive_mutex g_stop_lock;
thread_local int t_stop_depth = 0;
struct StopRecord {
  zulos_nsem sem;
  SUBPROGRAMS_STOP_FN fn;
  zulos_thread thread;
};
StopRecord* g_stop = nullptr;

int32_t groups_for(size_t n) { return n == 0 ? 1 : static_cast<int32_t>(1 + (n - 1) / 63); }

int report(int err, const char* call, int line) { return zulos_report_api_error(kSource, err, call, line); }

// Reports child k to the callback and forgets it. Caller holds the list lock.
void bury(size_t k, int32_t code) {
  Child* c = g.children[k];
  Child* outer = g.current;
  g.current = c;
  g.in_callback = true;
  if (g.death) g.death(c->pid, code);
  g.in_callback = outer != nullptr;
  g.current = outer;
  // The callback may have ended the registry (SubPrograms_End), which
  // leaves this child to us; find it again rather than trust k.
  for (size_t i = 0; i < g.children.size(); ++i) {
    if (g.children[i] == c) {
      g.children.erase(g.children.begin() + static_cast<long>(i));
      break;
    }
  }
  zulos_nsem_close(&c->sem);
  zulos_nsem_unlink(c->sem_name.c_str());
  zulos_process_close(&c->proc);
  delete c;
}

int monitor_main(void*) {
  for (;;) {
    int state = g.state.load();
    if (state == kEnding) return 0;
    if (state == kPaused) {
      zulos_evfd_set(&g.paused);
      zulos_evfd_wait(&g.resume, ZULOS_INFINITE);
      continue;
    }
    // Watching: wait on each group in turn.
    std::vector<int> fds;
    int32_t groups;
    {
      std::lock_guard<std::recursive_mutex> lock(g.list_lock);
      groups = groups_for(g.children.size());
      for (Child* c : g.children) fds.push_back(c->proc.pidfd);
    }
    int per_group = 1000 / groups;
    bool found = false;
    for (int32_t grp = 0; grp < groups && !found && g.state.load() == kWatching; ++grp) {
      std::vector<int> slots;
      slots.push_back(g.wake.fd);
      size_t from = static_cast<size_t>(grp) * 63;
      for (size_t k = from; k < fds.size() && k < from + 63; ++k) slots.push_back(fds[k]);
      int r = zulos_wait_any(slots.data(), static_cast<int>(slots.size()), per_group);
      if (r == 0) {
        uint64_t v;
        ssize_t n = read(g.wake.fd, &v, sizeof v);
        (void)n;
        break;
      }
      if (r > 0) {
        int fd = slots[static_cast<size_t>(r)];
        std::lock_guard<std::recursive_mutex> lock(g.list_lock);
        for (size_t k = 0; k < g.children.size(); ++k) {
          if (g.children[k]->proc.pidfd != fd) continue;
          int code = ZULOS_STILL_ACTIVE;
          zulos_process_exit_code(&g.children[k]->proc, &code);
          bury(k, code);
          break;
        }
        found = true;
      } else if (r == ZULOS_WAIT_ANY_FAILED) {
        zulos_sleep_ms(10);
      }
    }
  }
}

bool on_monitor_thread() { return g.monitor_running && zulos_thread_is_current(&g.monitor); }

// Pauses the monitor and waits until it says so. False from the monitor
// thread itself (note 3).
bool pause_monitor() {
  if (on_monitor_thread()) return false;
  int expected = kWatching;
  if (!g.state.compare_exchange_strong(expected, kPaused)) return expected == kPaused;
  zulos_evfd_set(&g.wake);
  zulos_evfd_wait(&g.paused, ZULOS_INFINITE);
  return true;
}

void resume_monitor() {
  int expected = kPaused;
  if (g.state.compare_exchange_strong(expected, kWatching)) zulos_evfd_set(&g.resume);
}

// Makes the server end of a FIFO pipe afresh under its old descriptor
// number (note 7). A failure is reported and leaves the old end in place.
void renew_pipe(int fd, const std::string& name) {
  if (fd < 0) return;
  int fresh = zulos_pipe_create(name.c_str());
  if (fresh < 0) {
    report(errno, "CreateNamedPipe", __LINE__);
    return;
  }
  if (dup3(fresh, fd, O_CLOEXEC) < 0) report(errno, "CreateNamedPipe", __LINE__);
  zulos_pipe_close(fresh);
}

// Hands out the FIFO pair, made afresh when an earlier start had it.
void hand_out_pipes(int* in_pipe, int* out_pipe) {
  std::lock_guard<std::recursive_mutex> lock(g.list_lock);
  if (g.fifo_handed_out) {
    renew_pipe(g.fifo_out, g.pipe_out);
    renew_pipe(g.fifo_in, g.pipe_in);
  }
  g.fifo_handed_out = true;
  if (in_pipe) *in_pipe = g.fifo_in;
  if (out_pipe) *out_pipe = g.fifo_out;
}

int32_t start_child(int32_t wait_mode, const char* program, const char* const* args, int* in_pipe, int* out_pipe,
                    const char* user, const char* password, int inherit_fd) {
  if (in_pipe) *in_pipe = g.fifo_in;
  if (out_pipe) *out_pipe = g.fifo_out;
  if (!g.initialized || g.state.load() == kEnding || !g.monitor_running) return -4;
  if (!program) return -2;
  hand_out_pipes(in_pipe, out_pipe);
  if (on_monitor_thread() && wait_mode == 1) return -4;
  bool was_paused = g.state.load() == kPaused;
  if (!on_monitor_thread() && !pause_monitor()) return -4;

  char sem_name[96];
  snprintf(sem_name, sizeof sem_name, "%s%d_%d", kStopPrefix, static_cast<int>(getpid()), g.name_counter);
  std::vector<const char*> argv;
  argv.push_back(program);
  int argc = 0;
  for (const char* const* a = args; a && *a && argc < 256; ++a, ++argc) argv.push_back(*a);
  argv.push_back(sem_name);
  argv.push_back(g.pipe_in.c_str());
  argv.push_back(g.pipe_out.c_str());
  argv.push_back(nullptr);

  Child* c = new Child();
  c->sem_name = sem_name;
  c->pid = 0;
  unsigned mode = user ? 0666 : 0600;
  if (zulos_nsem_create(sem_name, 0, 1, mode, &c->sem) != ZULOS_OK) report(errno, "CreateSemaphore", __LINE__);

  zulos_spawn_spec spec = {program, argv.data(), inherit_fd < 0 ? -1 : inherit_fd};
  int rc = user ? zulos_spawn_as_user(nullptr, user, password, &spec, &c->proc) : zulos_spawn(&spec, &c->proc);
  if (rc != 0) {
    int err = errno;
    if (!user || rc == ZULOS_SPAWN_FAILED) report(err, user ? "CreateProcessAsUser" : "CreateProcess", __LINE__);
    zulos_nsem_close(&c->sem);
    zulos_nsem_unlink(sem_name);
    delete c;
    if (wait_mode != 1 && !was_paused) resume_monitor();
    return user ? -9 : -2;
  }
  c->pid = c->proc.pid;
  {
    std::lock_guard<std::recursive_mutex> lock(g.list_lock);
    g.children.push_back(c);
  }
  ++g.name_counter;
  if (wait_mode != 1 && !was_paused) resume_monitor();
  return c->pid;
}

std::vector<const char*> collect(va_list ap) {
  std::vector<const char*> args;
  for (const char* a = va_arg(ap, const char*); a && args.size() < 256; a = va_arg(ap, const char*)) args.push_back(a);
  args.push_back(nullptr);
  return args;
}

Child* find_child(int32_t pid) {
  for (Child* c : g.children)
    if (c->pid == pid) return c;
  return nullptr;
}

int stop_thread_main(void*) {
  StopRecord* r = g_stop;
  for (;;) {
    int w = zulos_nsem_wait(&r->sem, ZULOS_INFINITE);
    if (w == ZULOS_WAIT_ACQUIRED) break;
    if (w == ZULOS_WAIT_FAILED) {
      report(errno, "WaitForSingleObject", __LINE__);
      return 1;
    }
  }
  // Wait for any write inside a stop bracket to finish.
  g_stop_lock.lock();
  g_stop_lock.unlock();
  zulos_nsem_release(&r->sem);
  zulos_nsem_close(&r->sem);
  SUBPROGRAMS_STOP_FN fn = r->fn;
  if (fn) fn();
  zulos_exit_process(0);
}

}  // namespace

// ---- listener side ---------------------------------------------------------

int32_t SubPrograms_Initialize(void* unused, const char* pipe_suffix, SUBPROGRAMS_DEATH_FN death) {
  (void)unused;
  if (g.initialized) return 0;
  zulos_nsem_sweep(kStopPrefix);
  g.death = death;
  g.children.clear();
  g.state = kWatching;
  if (zulos_evfd_create(&g.wake) != 0) {
    report(errno, "CreateEvent", __LINE__);
    return -1;
  }
  if (zulos_evfd_create(&g.paused) != 0 || zulos_evfd_create(&g.resume) != 0) {
    report(errno, "CreateEvent", __LINE__);
    zulos_evfd_close(&g.wake);
    zulos_evfd_close(&g.paused);
    zulos_evfd_close(&g.resume);
    return -1;
  }
  g.name_counter = 1;
  const char* suffix = pipe_suffix ? pipe_suffix : "";
  g.pipe_out = std::string("\\\\.\\pipe\\zul_server_to_client_FIFO_") + suffix;
  g.pipe_in = std::string("\\\\.\\pipe\\zul_client_to_server_FIFO_") + suffix;
  g.pipe_out_imp = std::string("\\\\.\\pipe\\zul_server_to_client_IMP_") + suffix;
  g.pipe_in_imp = std::string("\\\\.\\pipe\\zul_client_to_server_IMP_") + suffix;
  g.initialized = true;
  if (zulos_thread_start(monitor_main, nullptr, ZULOS_PRIORITY_ABOVE_NORMAL, &g.monitor) != 0) {
    g.initialized = false;
    zulos_evfd_close(&g.wake);
    zulos_evfd_close(&g.paused);
    zulos_evfd_close(&g.resume);
    return -2;
  }
  g.monitor_running = true;
  // One instance of each FIFO pipe, handed to every start.
  g.fifo_out = zulos_pipe_create(g.pipe_out.c_str());
  if (g.fifo_out < 0) report(errno, "CreateNamedPipe", __LINE__);
  g.fifo_in = zulos_pipe_create(g.pipe_in.c_str());
  if (g.fifo_in < 0) report(errno, "CreateNamedPipe", __LINE__);
  return 0;
}

int32_t SubPrograms_StartProgramArgv(int32_t wait_mode, int32_t pipe_index, const char* program, int* in_pipe,
                                     int* out_pipe, const char* const* args, int inherit_fd) {
  (void)pipe_index;
  return start_child(wait_mode, program, args, in_pipe, out_pipe, nullptr, nullptr, inherit_fd);
}

int32_t SubPrograms_StartProgram(int32_t wait_mode, int32_t pipe_index, const char* program, int* in_pipe,
                                 int* out_pipe, ...) {
  va_list ap;
  va_start(ap, out_pipe);
  std::vector<const char*> args = collect(ap);
  va_end(ap);
  return SubPrograms_StartProgramArgv(wait_mode, pipe_index, program, in_pipe, out_pipe, args.data());
}

int32_t SubPrograms_StartProgramAsUser(int32_t wait_mode, int32_t pipe_index, const char* home, int* in_pipe,
                                       int* out_pipe, const char* user, const char* password, ...) {
  (void)pipe_index;
  va_list ap;
  va_start(ap, password);
  std::vector<const char*> args = collect(ap);
  va_end(ap);
  if (!home || !user || !password) return -9;
  std::string program = std::string(home) + "/bin/nuvok";
  // "DOMAIN\user": only the local domain exists here.
  std::string account = user;
  size_t bs = account.find('\\');
  if (bs != std::string::npos) {
    std::string domain = account.substr(0, bs);
    if (!domain.empty() && domain != ".") return -9;
    account = account.substr(bs + 1);
  }
  return start_child(wait_mode, program.c_str(), args.data(), in_pipe, out_pipe, account.c_str(), password, -1);
}

int32_t SubPrograms_StopProgram(int32_t pid) {
  if (!g.initialized || g.state.load() == kEnding) return -1;
  std::lock_guard<std::recursive_mutex> lock(g.list_lock);
  Child* c = find_child(pid);
  if (!c) return -3;
  if (zulos_nsem_release(&c->sem) != 0) report(errno, "ReleaseSemaphore", __LINE__);
  return 0;
}

int32_t SubPrograms_TerminateProgram(int32_t pid) {
  if (!g.initialized || g.state.load() == kEnding) return -1;
  std::lock_guard<std::recursive_mutex> lock(g.list_lock);
  Child* c = find_child(pid);
  if (!c) return -3;
  if (zulos_process_terminate(&c->proc, SUBPROGRAMS_EXIT_TERMINATED) != 0) report(errno, "TerminateProcess", __LINE__);
  return 0;
}

int32_t SubPrograms_ProgramAlive(int32_t pid) {
  if (!g.initialized) return 1;
  std::lock_guard<std::recursive_mutex> lock(g.list_lock);
  return find_child(pid) ? 1 : 0;
}

int32_t SubPrograms_DeathHandling(int32_t resume) {
  if (!g.initialized) return -1;
  if (resume) {
    resume_monitor();
    return 0;
  }
  return pause_monitor() ? 0 : -1;
}

void SubPrograms_SaveDeathHandling(void) {}
void DB_trans_set_rollback_notifier(void) {}

void SubPrograms_End(void) {
  if (!g.initialized) return;
  bool from_callback = g.in_callback.load() && on_monitor_thread();
  g.state = kEnding;
  zulos_evfd_set(&g.wake);
  zulos_evfd_set(&g.resume);
  if (g.monitor_running) {
    if (on_monitor_thread()) zulos_thread_detach(&g.monitor);
    else zulos_thread_join(&g.monitor, nullptr);
    g.monitor_running = false;
  }
  {
    std::unique_lock<std::recursive_mutex> lock(g.list_lock, std::defer_lock);
    if (!from_callback) lock.lock();
    for (size_t k = 0; k < g.children.size();) {
      if (g.children[k] == g.current) {
        ++k;  // being reported now; its own report finishes it
        continue;
      }
      int code = ZULOS_STILL_ACTIVE;
      zulos_process_exit_code(&g.children[k]->proc, &code);
      bury(k, code);
    }
  }
  zulos_evfd_close(&g.wake);
  zulos_evfd_close(&g.paused);
  zulos_evfd_close(&g.resume);
  zulos_pipe_close(g.fifo_in);
  zulos_pipe_close(g.fifo_out);
  g.fifo_in = g.fifo_out = -1;
  g.fifo_handed_out = false;
  g.name_counter = 0;
  g.initialized = false;
}

void SubPrograms_GroupInfo(int32_t* groups, int32_t* last_used, int32_t* wait_ms) {
  std::lock_guard<std::recursive_mutex> lock(g.list_lock);
  size_t n = g.children.size();
  int32_t gr = groups_for(n);
  if (groups) *groups = gr;
  if (last_used) *last_used = static_cast<int32_t>(1 + n - static_cast<size_t>(gr - 1) * 63);
  if (wait_ms) *wait_ms = 1000 / gr;
}

// ---- child side ------------------------------------------------------------

int32_t SubPrograms_OnStop(SUBPROGRAMS_STOP_FN fn, const char* semaphore_name) {
  if (!semaphore_name || g_stop) return -1;
  StopRecord* r = new StopRecord();
  r->fn = fn;
  if (zulos_nsem_open(semaphore_name, &r->sem) != ZULOS_OK) {
    report(errno, "OpenSemaphore", __LINE__);
    delete r;
    return -1;
  }
  g_stop = r;
  if (zulos_thread_start(stop_thread_main, nullptr, ZULOS_PRIORITY_HIGHEST, &r->thread) != 0) {
    zulos_nsem_close(&r->sem);
    g_stop = nullptr;
    delete r;
    return -1;
  }
  zulos_thread_detach(&r->thread);
  return 0;
}

int32_t SubPrograms_StopHandling(int32_t leave) {
  if (leave == 0) {
    g_stop_lock.lock();
    ++t_stop_depth;
    return 0;
  }
  if (t_stop_depth <= 0) return -1;
  --t_stop_depth;
  g_stop_lock.unlock();
  return 0;
}

void SubPrograms_ThreadExit(int32_t code) { zulos_thread_exit(code); }
