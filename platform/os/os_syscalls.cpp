// os_syscalls.cpp -- the replaceable system-call table of the OS layer.
#include "os_syscalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int sys_open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int sys_poll(struct pollfd* fds, unsigned long n, int timeout_ms) { return ::poll(fds, n, timeout_ms); }

constexpr zulos_syscalls kLibc = {
    sys_open, ::close, ::read, ::write, ::unlink, ::rename, ::fsync, ::mmap, ::munmap,
    ::send, ::recv,
    ::shm_open, ::shm_unlink, ::ftruncate, ::posix_fallocate, ::fork, ::kill, sys_poll,
    ::pread, ::pwrite,
    ::connect,
};
}  // namespace

zulos_syscalls zulos_sys = kLibc;

void zulos_syscalls_reset(void) { zulos_sys = kLibc; }
