// cmem_io.h -- the coordinated-memory transport: channel kind 2, two threads
// of one process.
//
// The writing thread lends the reader a pointer to its own bytes and waits
// until the reader has taken them; no socket and no copy in between. Each end
// writes through its own CMEM_OBJECT and reads from its peer's; linking two
// kind-2 channels (CH_CMEM_readjust_chanlsys) sets each end's peer.
//
// Rules of a linked pair (numbered notes):
//  1. An object's data, bytes left and its two events belong to its writer;
//     the reader touches them only while it holds that object's mutex.
//  2. One write (a hand-over) is consumed by exactly one read. A read that
//     asks for fewer bytes than were handed over copies what it asked for,
//     leaves the rest counted in the object and releases the writer, whose
//     next hand-over replaces the rest; a read that asks for more fails.
//  3. The typed items (shm_io.h) are framed as on the socket, and each side
//     reads in exactly the pieces the other side writes.
//  4. Waits are unbounded: a side whose peer thread stops hangs in its next
//     transfer. Both channels of a pair belong to one process, which ends
//     them together.
//
// Relies on the C++ standard library's mutex and condition variable (the
// objects are process-local and unnamed).
#ifndef ZUL_CMEM_IO_H
#define ZUL_CMEM_IO_H

#include <stddef.h>
#include <stdint.h>

#include <condition_variable>
#include <mutex>

#include "zul_channel.h"

struct CMEM_OBJECT {
  const unsigned char* data;   // the pending hand-over (the writer's memory), or none
  int32_t bytes_left;          // bytes of the hand-over not yet taken
  std::mutex mutex;            // guards every field here
  std::condition_variable cv;  // wakes waiters when an event is signalled
  bool consumed;               // auto-reset; set when the reader has taken a hand-over
  bool filled;                 // auto-reset; set when the writer has handed bytes over
  CMEM_OBJECT* peer;           // the other end's object, from which this end reads
  int32_t out_of_step;         // a short transfer lost the item boundary
};

// The object with consumed signalled, filled clear, no data; none when it
// cannot be made. Released with cmem_object_free.
CMEM_OBJECT* cmem_object_new(void);
void cmem_object_free(CMEM_OBJECT* obj);
// 1 when the peer's object holds bytes not yet taken, else 0 (-1 unlinked).
int32_t cmem_data_waiting(CMEM_OBJECT* obj);
// Hands n bytes over on the writer's own object: n (for n above 0 once the
// reader has taken them), 0 on failure.
int32_t cmem_write_bytes(CMEM_OBJECT* obj, const void* bytes, int32_t n);
// Takes n bytes of the peer's pending hand-over: n, or 0 when fewer were
// there (the writer is released either way).
int32_t cmem_read_bytes(CMEM_OBJECT* obj, void* dest, int32_t n);
// Takes a hand-over of n bytes without copying it (a refused item): n or 0.
int32_t cmem_skip_bytes(CMEM_OBJECT* obj, int32_t n);

// Links two kind-2 channels: each end's peer becomes the other end's object.
// 0, or -1 when either is not a kind-2 channel with its object.
int32_t CH_CMEM_readjust_chanlsys(CHANNEL* a, CHANNEL* b);

#endif
