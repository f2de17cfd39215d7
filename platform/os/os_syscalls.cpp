// os_syscalls.cpp -- the replaceable system-call table of the OS layer.
#include "os_syscalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
int sys_open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr zulos_syscalls kLibc = {
    sys_open, ::close, ::read, ::write, ::unlink, ::rename, ::fsync, ::mmap, ::munmap,
};
}  // namespace

zulos_syscalls zulos_sys = kLibc;

void zulos_syscalls_reset(void) { zulos_sys = kLibc; }
