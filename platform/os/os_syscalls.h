// os_syscalls.h -- the table of system calls that the OS layer makes.
//
// Every call in this table is made through it, never directly, so that a test
// can replace one entry (and restore it) to make that call fail at a chosen
// moment. The table starts out pointing at the C library.
#ifndef ZULOS_SYSCALLS_H
#define ZULOS_SYSCALLS_H

#include <sys/socket.h>
#include <sys/types.h>
#include <stddef.h>

struct pollfd;
struct sockaddr;

struct zulos_syscalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buf, size_t cap);
  ssize_t (*write)(int fd, const void* buf, size_t len);
  int (*unlink)(const char* path);
  int (*rename)(const char* from, const char* to);
  int (*fsync)(int fd);
  void* (*mmap)(void* addr, size_t len, int prot, int flags, int fd, off_t off);
  int (*munmap)(void* addr, size_t len);
  ssize_t (*send)(int fd, const void* buf, size_t len, int flags);   // sockets and local pipes
  ssize_t (*recv)(int fd, void* buf, size_t cap, int flags);         // sockets and local pipes
  // Named objects and processes (os_shm, os_sync, os_process).
  int (*shm_open)(const char* name, int flags, mode_t mode);
  int (*shm_unlink)(const char* name);
  int (*ftruncate)(int fd, off_t len);
  int (*fallocate)(int fd, off_t off, off_t len);  // posix_fallocate: 0 or an errno value
  pid_t (*fork)(void);
  int (*kill)(pid_t pid, int sig);
  int (*poll)(struct pollfd* fds, unsigned long n, int timeout_ms);
  // Files read and written at an offset (run files, paged tables).
  ssize_t (*pread)(int fd, void* buf, size_t cap, off_t off);
  ssize_t (*pwrite)(int fd, const void* buf, size_t len, off_t off);
  // Outgoing connections (the listener connection's retries).
  int (*connect)(int fd, const struct sockaddr* addr, socklen_t len);
};

// The live table. Tests may overwrite entries; zulos_syscalls_reset puts the
// C library's functions back.
extern struct zulos_syscalls zulos_sys;
void zulos_syscalls_reset(void);

#endif
