// os_mem.cpp -- whole pages of memory (see os_mem.h).
#include "os_mem.h"

#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include "os_syscalls.h"

void* zulos_vm_alloc(size_t len) {
  if (len == 0) return nullptr;
  void* p = zulos_sys.mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

int zulos_vm_free(void* addr, size_t len) {
  if (addr == nullptr || len == 0) {
    errno = EINVAL;
    return -1;
  }
  return zulos_sys.munmap(addr, len);
}

size_t zulos_page_size(void) {
  long n = sysconf(_SC_PAGESIZE);
  return n > 0 ? static_cast<size_t>(n) : 4096u;
}
