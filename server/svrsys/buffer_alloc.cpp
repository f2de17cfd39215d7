// buffer_alloc.cpp -- large buffers: small blocks from the heap, large ones as
// whole pages.
//
// The size a caller passes back to SES_buffer_free chooses the release, so a
// block must be freed with the size it was asked for. Relies on the OS
// layer's page allocator (os_mem.h).
#include <stdlib.h>

#include "svr_services.h"
#include "zul_status.h"
#include "zulos.h"

void* SES_buffer_alloc(size_t size) {
  if (size == 0) return nullptr;
  if (size < SES_BUFFER_VM_MIN) return calloc(1, size);
  return zulos_vm_alloc(size);  // pages come zero-filled
}

int32_t SES_buffer_free(void* address, size_t size) {
  if (address == nullptr) return SE_INVALID_POINTER;
  if (size == 0) return SE_INVALID_PARAM;
  if (size < SES_BUFFER_VM_MIN) {
    free(address);
    return SE_SUCCESS;
  }
  return zulos_vm_free(address, size) == 0 ? SE_SUCCESS : -1;
}
