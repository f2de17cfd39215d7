// os_process.h -- child processes: spawn with an argument vector, start as
// another user, exit codes, forced termination, liveness, and the wait on
// many descriptors at once.
//
// A child is started with fork and execv; the argument vector is passed as it
// is (no command line is joined and split again). The child inherits standard
// input, output and error and at most one more descriptor, the caller's
// choice (inherit_fd), under the same number; every other descriptor is
// closed before exec, whatever its close-on-exec flag. A listener hands a
// server process its client socket this way and tells it the number.
//
// Each child is held through a pidfd, which poll reports readable when the
// child ends. Exit codes follow the Windows conventions the callers expect:
//   ZULOS_STILL_ACTIVE (259)  the child has not ended;
//   the child's own exit status when it exits;
//   the code given to zulos_process_terminate when it was terminated that way;
//   128 + the signal number when a signal ended it otherwise.
// Reading the exit code of an ended child reaps it; the code is kept in the
// record. The owner must not set SIGCHLD to SIG_IGN, or codes are lost.
//
// Starting as another user authenticates the user with PAM (service "login",
// or $ZUL_PAM_SERVICE; libpam is loaded at run time) and needs root to take
// the user's identity. The Windows domain part must be empty or ".".
#ifndef ZULOS_PROCESS_H
#define ZULOS_PROCESS_H

#include <stdint.h>

#define ZULOS_STILL_ACTIVE 259

// Results of zulos_spawn_as_user besides 0.
#define ZULOS_LOGON_UNAVAILABLE  (-2)  // not root, or PAM cannot be loaded
#define ZULOS_LOGON_REFUSED      (-3)  // unknown user, wrong password or domain
#define ZULOS_SPAWN_FAILED       (-1)  // fork or exec failed

struct zulos_spawn_spec {
  const char* program;           // path of the program
  const char* const* argv;       // null-terminated; argv[0] is the program name
  int inherit_fd;                // a descriptor the child keeps under its number,
                                 // close-on-exec or not; -1 for none
};

struct zulos_process {
  int pid;             // 0 when the record holds no child
  int pidfd;           // pollable descriptor of the child, or -1
  int exit_code;       // valid once ended is 1
  int ended;           // 1 once the child was reaped
  int override_code;   // code to report after zulos_process_terminate, or -1
};

// 0 with the child in out, or ZULOS_SPAWN_FAILED (errno tells why; an exec
// failure is reported here too, not as an exit code).
int zulos_spawn(const struct zulos_spawn_spec* spec, struct zulos_process* out);

// Authenticates user with password and starts the program as that user.
// 0, ZULOS_LOGON_UNAVAILABLE, ZULOS_LOGON_REFUSED or ZULOS_SPAWN_FAILED.
int zulos_spawn_as_user(const char* domain, const char* user, const char* password,
                        const struct zulos_spawn_spec* spec, struct zulos_process* out);

// The exit code, or ZULOS_STILL_ACTIVE. Returns 0, or -1 when the record holds
// no child or the wait fails.
int zulos_process_exit_code(struct zulos_process* p, int* code);

// Waits up to timeout_ms (-1: without limit) for the child to end; 0 when it
// has ended, 1 on time-out, -1 on failure.
int zulos_process_wait(struct zulos_process* p, int timeout_ms);

// Ends the child with SIGKILL; its exit code reads as code. 0 or -1.
int zulos_process_terminate(struct zulos_process* p, int code);

// Closes the pidfd; an ended child that was not reaped yet is reaped first
// when it has ended, otherwise left to run.
void zulos_process_close(struct zulos_process* p);

// 1 when a process of that id runs (a zombie counts as ended), else 0.
int zulos_process_alive(int pid);

// Waits until one of the n descriptors is readable: its index (the lowest
// ready one), ZULOS_WAIT_ANY_TIMEOUT or ZULOS_WAIT_ANY_FAILED.
#define ZULOS_WAIT_ANY_TIMEOUT (-1)
#define ZULOS_WAIT_ANY_FAILED  (-2)
int zulos_wait_any(const int* fds, int n, int timeout_ms);

// Flushes standard output and error and ends the process with code.
[[noreturn]] void zulos_exit_process(int code);

// Sleeps for ms milliseconds.
void zulos_sleep_ms(int ms);

#endif
