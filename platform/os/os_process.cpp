// os_process.cpp -- child processes (see os_process.h).
//
// Relies on the system-call table for fork, kill and poll; on pidfd_open and
// waitid(P_PIDFD) (Linux 5.4 and later); on libpam, loaded with dlopen, for
// starting as another user.
#include "os_process.h"

#include "os_syscalls.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace {

int pidfd_open(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// What the child does between fork and exec: only async-signal-safe calls.
struct ChildPlan {
  const char* program;
  char* const* argv;
  int keep_fd;           // descriptor to keep, or -1
  int report_fd;         // close-on-exec pipe: errno of a failed step
  bool switch_user;
  uid_t uid;
  gid_t gid;
  const gid_t* groups;
  int ngroups;
};

[[noreturn]] void child_fail(int report_fd) {
  int err = errno;
  ssize_t n = write(report_fd, &err, sizeof err);
  (void)n;
  _exit(127);
}

[[noreturn]] void run_child(const ChildPlan& plan) {
  // Keep 0, 1, 2, the inherited descriptor and the report pipe; close the rest.
  int keep = plan.keep_fd > 2 ? plan.keep_fd : -1;  // 0 to 2 are inherited anyway
  int rep = plan.report_fd;
  int low = keep > rep ? rep : keep;
  int high = keep > rep ? keep : rep;
  if (keep < 0) {
    low = rep;
    high = rep;
  }
  if (low > 3) syscall(SYS_close_range, 3, low - 1, 0);
  if (high > low + 1) syscall(SYS_close_range, low + 1, high - 1, 0);
  syscall(SYS_close_range, high + 1, ~0U, 0);
  if (plan.keep_fd >= 0) {
    int flags = fcntl(plan.keep_fd, F_GETFD);
    if (flags < 0 || fcntl(plan.keep_fd, F_SETFD, flags & ~FD_CLOEXEC) < 0) child_fail(rep);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (plan.switch_user) {
    if (setgroups(static_cast<size_t>(plan.ngroups), plan.groups) != 0) child_fail(rep);
    if (setgid(plan.gid) != 0) child_fail(rep);
    if (setuid(plan.uid) != 0) child_fail(rep);
  }
  execv(plan.program, plan.argv);
  child_fail(rep);
}

int spawn_with(const zulos_spawn_spec* spec, ChildPlan plan, zulos_process* out) {
  out->pid = 0;
  out->pidfd = -1;
  out->exit_code = ZULOS_STILL_ACTIVE;
  out->ended = 0;
  out->override_code = -1;
  if (!spec || !spec->program || !spec->argv || !spec->argv[0]) {
    errno = EINVAL;
    return ZULOS_SPAWN_FAILED;
  }
  // The descriptor to hand down must be open here: a closed number could be
  // taken by the report pipe below, which the child would then keep, and the
  // wait for its report would last as long as the child.
  int keep_fd = spec->inherit_fd < 0 ? -1 : spec->inherit_fd;
  if (keep_fd >= 0 && fcntl(keep_fd, F_GETFD) < 0) return ZULOS_SPAWN_FAILED;
  int rep[2];
  if (pipe2(rep, O_CLOEXEC) != 0) return ZULOS_SPAWN_FAILED;
  plan.program = spec->program;
  plan.argv = const_cast<char* const*>(spec->argv);
  plan.keep_fd = keep_fd;
  plan.report_fd = rep[1];
  pid_t pid = zulos_sys.fork();
  if (pid < 0) {
    int err = errno;
    close(rep[0]);
    close(rep[1]);
    errno = err;
    return ZULOS_SPAWN_FAILED;
  }
  if (pid == 0) run_child(plan);
  close(rep[1]);
  int child_err = 0;
  ssize_t n;
  do {
    n = read(rep[0], &child_err, sizeof child_err);
  } while (n < 0 && errno == EINTR);
  close(rep[0]);
  if (n == static_cast<ssize_t>(sizeof child_err)) {
    waitpid(pid, nullptr, 0);
    errno = child_err;
    return ZULOS_SPAWN_FAILED;
  }
  out->pid = pid;
  out->pidfd = pidfd_open(pid);
  if (out->pidfd < 0) {
    int err = errno;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    out->pid = 0;
    errno = err;
    return ZULOS_SPAWN_FAILED;
  }
  return 0;
}

// ---- PAM, loaded at run time -----------------------------------------------
// The few declarations of the PAM interface that authentication needs; they
// are those of the stable Linux-PAM ABI.

struct pam_message {
  int msg_style;
  const char* msg;
};
struct pam_response {
  char* resp;
  int resp_retcode;
};
struct pam_conv {
  int (*conv)(int, const struct pam_message**, struct pam_response**, void*);
  void* appdata_ptr;
};
constexpr int kPamSuccess = 0;
constexpr int kPamPromptEchoOff = 1;
constexpr int kPamPromptEchoOn = 2;
constexpr int kPamBufErr = 5;
constexpr int kPamConvErr = 19;

int pam_answer(int n, const struct pam_message** msg, struct pam_response** resp, void* data) {
  if (n <= 0 || n > 32) return kPamConvErr;
  struct pam_response* r = static_cast<struct pam_response*>(calloc(static_cast<size_t>(n), sizeof *r));
  if (!r) return kPamBufErr;
  for (int i = 0; i < n; ++i) {
    if (msg[i]->msg_style == kPamPromptEchoOff || msg[i]->msg_style == kPamPromptEchoOn) {
      r[i].resp = strdup(static_cast<const char*>(data));
      if (!r[i].resp) {
        for (int j = 0; j < i; ++j) free(r[j].resp);
        free(r);
        return kPamBufErr;
      }
    }
  }
  *resp = r;
  return kPamSuccess;
}

// 0 when PAM accepts user and password, ZULOS_LOGON_REFUSED when it does not,
// ZULOS_LOGON_UNAVAILABLE when PAM cannot be used.
int pam_check(const char* user, const char* password) {
  void* lib = dlopen("libpam.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return ZULOS_LOGON_UNAVAILABLE;
  using StartFn = int (*)(const char*, const char*, const struct pam_conv*, void**);
  using AuthFn = int (*)(void*, int);
  using EndFn = int (*)(void*, int);
  StartFn start = reinterpret_cast<StartFn>(dlsym(lib, "pam_start"));
  AuthFn auth = reinterpret_cast<AuthFn>(dlsym(lib, "pam_authenticate"));
  AuthFn acct = reinterpret_cast<AuthFn>(dlsym(lib, "pam_acct_mgmt"));
  EndFn end = reinterpret_cast<EndFn>(dlsym(lib, "pam_end"));
  if (!start || !auth || !acct || !end) {
    dlclose(lib);
    return ZULOS_LOGON_UNAVAILABLE;
  }
  const char* service = getenv("ZUL_PAM_SERVICE");
  if (!service || !*service) service = "login";
  struct pam_conv conv = {pam_answer, const_cast<char*>(password)};
  void* h = nullptr;
  int rc = start(service, user, &conv, &h);
  if (rc != kPamSuccess) {
    dlclose(lib);
    return ZULOS_LOGON_UNAVAILABLE;
  }
  rc = auth(h, 0);
  if (rc == kPamSuccess) rc = acct(h, 0);
  end(h, rc);
  dlclose(lib);
  return rc == kPamSuccess ? 0 : ZULOS_LOGON_REFUSED;
}

}  // namespace

int zulos_spawn(const zulos_spawn_spec* spec, zulos_process* out) {
  ChildPlan plan{};
  plan.switch_user = false;
  return spawn_with(spec, plan, out);
}

int zulos_spawn_as_user(const char* domain, const char* user, const char* password, const zulos_spawn_spec* spec,
                        zulos_process* out) {
  out->pid = 0;
  out->pidfd = -1;
  if (!user || !*user || !password) return ZULOS_LOGON_REFUSED;
  if (domain && *domain && strcmp(domain, ".") != 0) return ZULOS_LOGON_REFUSED;
  if (geteuid() != 0) return ZULOS_LOGON_UNAVAILABLE;
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (getpwnam_r(user, &pw, buf.data(), buf.size(), &found) != 0 || !found) return ZULOS_LOGON_REFUSED;
  int rc = pam_check(user, password);
  if (rc != 0) return rc;
  int ngroups = 64;
  std::vector<gid_t> groups(static_cast<size_t>(ngroups));
  if (getgrouplist(user, pw.pw_gid, groups.data(), &ngroups) < 0) {
    if (ngroups <= 0 || ngroups > 65536) return ZULOS_LOGON_REFUSED;
    groups.resize(static_cast<size_t>(ngroups));
    if (getgrouplist(user, pw.pw_gid, groups.data(), &ngroups) < 0) return ZULOS_LOGON_REFUSED;
  }
  ChildPlan plan{};
  plan.switch_user = true;
  plan.uid = pw.pw_uid;
  plan.gid = pw.pw_gid;
  plan.groups = groups.data();
  plan.ngroups = ngroups;
  return spawn_with(spec, plan, out);
}

int zulos_process_exit_code(zulos_process* p, int* code) {
  if (!p || p->pid <= 0) return -1;
  if (!p->ended) {
    siginfo_t info;
    memset(&info, 0, sizeof info);
    int rc = p->pidfd >= 0 ? waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(p->pidfd), &info,
                                    WEXITED | WNOHANG)
                           : waitid(P_PID, static_cast<id_t>(p->pid), &info, WEXITED | WNOHANG);
    if (rc != 0) return -1;
    if (info.si_pid != 0) {
      p->ended = 1;
      if (p->override_code >= 0) p->exit_code = p->override_code;
      else if (info.si_code == CLD_EXITED) p->exit_code = info.si_status;
      else p->exit_code = 128 + info.si_status;
    }
  }
  if (code) *code = p->ended ? p->exit_code : ZULOS_STILL_ACTIVE;
  return 0;
}

int zulos_process_wait(zulos_process* p, int timeout_ms) {
  if (!p || p->pid <= 0) return -1;
  if (!p->ended && p->pidfd >= 0) {
    int rc = zulos_wait_any(&p->pidfd, 1, timeout_ms);
    if (rc == ZULOS_WAIT_ANY_TIMEOUT) return 1;
    if (rc != 0) return -1;
  }
  int code;
  if (zulos_process_exit_code(p, &code) != 0) return -1;
  return p->ended ? 0 : 1;
}

int zulos_process_terminate(zulos_process* p, int code) {
  if (!p || p->pid <= 0) return -1;
  if (p->ended) return 0;
  p->override_code = code;
  if (p->pidfd >= 0) {
    if (syscall(SYS_pidfd_send_signal, p->pidfd, SIGKILL, nullptr, 0) == 0) return 0;
    if (errno == ESRCH) return 0;  // already ended; the exit code stays the override
    return -1;
  }
  return zulos_sys.kill(p->pid, SIGKILL) == 0 ? 0 : -1;
}

void zulos_process_close(zulos_process* p) {
  if (!p) return;
  if (p->pid > 0 && !p->ended) {
    int code;
    zulos_process_exit_code(p, &code);
  }
  if (p->pidfd >= 0) close(p->pidfd);
  p->pidfd = -1;
  p->pid = 0;
}

int zulos_process_alive(int pid) {
  if (pid <= 0) return 0;
  if (zulos_sys.kill(pid, 0) != 0 && errno != EPERM) return 0;
  // A process that ended but was not reaped yet still answers kill.
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/stat", pid);
  FILE* f = fopen(path, "re");
  if (!f) return 0;
  char line[512];
  size_t n = fread(line, 1, sizeof line - 1, f);
  fclose(f);
  line[n] = '\0';
  const char* close_paren = strrchr(line, ')');
  if (!close_paren || close_paren[1] != ' ') return 1;
  char state = close_paren[2];
  return (state == 'Z' || state == 'X') ? 0 : 1;
}

int zulos_wait_any(const int* fds, int n, int timeout_ms) {
  if (!fds || n <= 0 || n > 4096) return ZULOS_WAIT_ANY_FAILED;
  std::vector<struct pollfd> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = {fds[i], POLLIN, 0};
  for (;;) {
    int rc = zulos_sys.poll(p.data(), static_cast<unsigned long>(n), timeout_ms);
    if (rc == 0) return ZULOS_WAIT_ANY_TIMEOUT;
    if (rc < 0) {
      if (errno == EINTR) continue;
      return ZULOS_WAIT_ANY_FAILED;
    }
    for (int i = 0; i < n; ++i) {
      short ev = p[static_cast<size_t>(i)].revents;
      if (ev & POLLNVAL) return ZULOS_WAIT_ANY_FAILED;
      if (ev & (POLLIN | POLLHUP | POLLERR)) return i;
    }
  }
}

void zulos_exit_process(int code) {
  fflush(stdout);
  fflush(stderr);
  _exit(code);
}

void zulos_sleep_ms(int ms) {
  if (ms <= 0) return;
  struct timespec ts = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
