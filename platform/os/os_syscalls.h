// os_syscalls.h -- the table of system calls that the OS layer makes.
//
// Every call in this table is made through it, never directly, so that a test
// can replace one entry (and restore it) to make that call fail at a chosen
// moment. The table starts out pointing at the C library.
#ifndef ZULOS_SYSCALLS_H
#define ZULOS_SYSCALLS_H

#include <sys/types.h>
#include <stddef.h>

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
};

// The live table. Tests may overwrite entries; zulos_syscalls_reset puts the
// C library's functions back.
extern struct zulos_syscalls zulos_sys;
void zulos_syscalls_reset(void);

#endif
