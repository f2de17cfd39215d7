// os_mem.h -- whole pages of memory, as the Windows virtual-memory calls give
// them: committed, read-write and zero-filled at once.
//
// The pages come from anonymous private mappings made through the
// system-call table (os_syscalls.h), so a test can make an allocation or a
// release fail.
#ifndef ZULOS_MEM_H
#define ZULOS_MEM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// len bytes (rounded up to whole pages) of zeroed read-write memory, page
// aligned; null when len is 0 or memory runs out.
void* zulos_vm_alloc(size_t len);

// Releases a block of zulos_vm_alloc; len must be the length asked for. 0,
// or -1 with errno set.
int zulos_vm_free(void* addr, size_t len);

// The size of a page in bytes.
size_t zulos_page_size(void);

#ifdef __cplusplus
}
#endif

#endif
