// cmem_io.cpp -- the coordinated-memory transport's hand-over of bytes.
//
// Each object pairs a mutex with two auto-reset events, kept as flags under
// that mutex with one condition variable: "wait for the mutex and an event
// together" is a wait on the condition variable until the flag is set, which
// then clears the flag and keeps the mutex. The typed items over this
// transport live in shm_io.cpp, shared with the shared-memory transport.
#include "cmem_io.h"

#include <string.h>

#include <new>

namespace {

// Takes the object's mutex once *event is set, and resets the event.
std::unique_lock<std::mutex> wait_all(CMEM_OBJECT* obj, bool* event) {
  std::unique_lock<std::mutex> lock(obj->mutex);
  obj->cv.wait(lock, [event] { return *event; });
  *event = false;
  return lock;
}

void signal(CMEM_OBJECT* obj, bool* event) {
  *event = true;
  obj->cv.notify_all();
}

}  // namespace

CMEM_OBJECT* cmem_object_new(void) {
  CMEM_OBJECT* obj = new (std::nothrow) CMEM_OBJECT();
  if (!obj) return nullptr;
  obj->data = nullptr;
  obj->bytes_left = 0;
  obj->consumed = true;
  obj->filled = false;
  obj->peer = nullptr;
  obj->out_of_step = 0;
  return obj;
}

void cmem_object_free(CMEM_OBJECT* obj) { delete obj; }

int32_t cmem_data_waiting(CMEM_OBJECT* obj) {
  if (!obj || !obj->peer) return -1;
  std::lock_guard<std::mutex> lock(obj->peer->mutex);
  return obj->peer->bytes_left > 0 ? 1 : 0;
}

int32_t cmem_write_bytes(CMEM_OBJECT* obj, const void* bytes, int32_t n) {
  if (!obj || n < 0 || (n > 0 && !bytes)) return 0;
  std::unique_lock<std::mutex> lock = wait_all(obj, &obj->consumed);
  obj->data = static_cast<const unsigned char*>(bytes);
  obj->bytes_left = n;
  signal(obj, &obj->filled);
  if (n == 0) return 0;  // nothing to wait for: the reader's take frees the next write
  // The reader copies the bytes before it signals; the writer's memory is
  // needed until then. Signalling again lets the next write start at once.
  obj->cv.wait(lock, [obj] { return obj->consumed; });
  obj->data = nullptr;
  return n;
}

namespace {

int32_t take(CMEM_OBJECT* obj, void* dest, int32_t n) {
  if (!obj || !obj->peer || n < 0) return 0;
  CMEM_OBJECT* peer = obj->peer;
  std::unique_lock<std::mutex> lock = wait_all(peer, &peer->filled);
  bool whole = false;
  if (peer->data) {
    if (peer->bytes_left >= n) {
      if (dest && n > 0) memcpy(dest, peer->data, static_cast<size_t>(n));
      peer->data += n;
      peer->bytes_left -= n;
      whole = true;
    } else {
      if (dest && peer->bytes_left > 0) memcpy(dest, peer->data, static_cast<size_t>(peer->bytes_left));
      peer->bytes_left = 0;
    }
  }
  signal(peer, &peer->consumed);
  return whole ? n : 0;
}

}  // namespace

int32_t cmem_read_bytes(CMEM_OBJECT* obj, void* dest, int32_t n) {
  if (n > 0 && !dest) return 0;
  return take(obj, dest, n);
}

int32_t cmem_skip_bytes(CMEM_OBJECT* obj, int32_t n) { return take(obj, nullptr, n); }

int32_t CH_CMEM_readjust_chanlsys(CHANNEL* a, CHANNEL* b) {
  if (!a || !b || a == b || a->kind != CH_KIND_CMEM || b->kind != CH_KIND_CMEM || !a->cmem || !b->cmem) return -1;
  a->cmem->peer = b->cmem;
  b->cmem->peer = a->cmem;
  return 0;
}
