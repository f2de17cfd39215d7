// shm_io.cpp -- the shared-memory transport, and the item framing of both
// memory transports.
//
// Divisions:
//   1. naming and making the shared objects
//   2. the sliced wait and the chunk transfer
//   3. the link: byte moves of either memory transport
//   4. the items (native_items.inc, the same item layer as the socket
//      transport's, so a peer reads the same bytes in the same order)
//   5. the link's word moves for the item layer
//
// Relies on the OS layer (named shared memory, mutexes and events, process
// liveness), cmem_io for the in-process hand-over, native_io for the record
// images, native_items.inc for the items, and sock_io for the helpers the
// item layer uses (filter blocks, lineage length, the free functions).
#include "shm_io.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <new>
#include <vector>

#include "anno.h"
#include "comp_ftr.h"
#include "native_io.h"
#include "sock_io.h"
#include "svr_services.h"

// ---- 1. naming and making the shared objects ------------------------------

namespace {

constexpr size_t kMaxName = 64;

// The name of one object of channel name: "ZUL_shm_chanl_<name>_<part>".
bool object_name(const char* name, const char* part, char* out, size_t cap) {
  if (!name || !*name || strlen(name) > kMaxName || strchr(name, '/') || strchr(name, '\\')) return false;
  int n = snprintf(out, cap, "ZUL_shm_chanl_%s_%s", name, part);
  return n > 0 && static_cast<size_t>(n) < cap;
}

const char* const kEventParts[4] = {"free0", "filled0", "free1", "filled1"};

void init_view(void* view, void* arg) {
  SHM_VIEW* v = static_cast<SHM_VIEW*>(view);
  v->creator_pid = *static_cast<int32_t*>(arg);
  v->magic = SHM_VIEW_MAGIC;
}

void close_all(SHM_OBJECT* s) {
  zulos_event* ev[4] = {&s->write_free, &s->write_filled, &s->read_taken, &s->read_filled};
  for (zulos_event* e : ev) {
    if (!e->shm.map) continue;
    if (s->creator) zulos_event_close(e);
    else zulos_shm_close(&e->shm);
  }
  if (s->mutex.shm.map) {
    if (s->creator) zulos_mutex_close(&s->mutex);
    else zulos_shm_close(&s->mutex.shm);
  }
  if (s->mapping.map) {
    if (s->creator) zulos_shm_destroy(&s->mapping);
    else zulos_shm_close(&s->mapping);
  }
}

SHM_OBJECT* new_object(int32_t peer_pid, int creator) {
  SHM_OBJECT* s = static_cast<SHM_OBJECT*>(calloc(1, sizeof(SHM_OBJECT)));
  if (!s) return nullptr;
  s->peer_pid = peer_pid;
  s->creator = creator;
  s->mapping.lock_fd = s->mutex.shm.lock_fd = -1;
  s->write_free.shm.lock_fd = s->write_filled.shm.lock_fd = -1;
  s->read_taken.shm.lock_fd = s->read_filled.shm.lock_fd = -1;
  return s;
}

// Points this side at its two directions and events: the maker writes
// direction 0, the opener direction 1.
void wire_sides(SHM_OBJECT* s, zulos_event ev[4]) {
  int w = s->creator ? 0 : 1, r = 1 - w;
  s->write_free = ev[2 * w];
  s->write_filled = ev[2 * w + 1];
  s->read_taken = ev[2 * r];
  s->read_filled = ev[2 * r + 1];
  s->view = static_cast<SHM_VIEW*>(s->mapping.base);
  s->write_count = &s->view->dir[w].count;
  s->write_area = s->view->dir[w].data;
  s->read_count = &s->view->dir[r].count;
  s->read_area = s->view->dir[r].data;
}

}  // namespace

SHM_OBJECT* shm_chanl_create(const char* name, int32_t peer_pid) {
  char buf[160];
  if (peer_pid <= 0 || !object_name(name, "map", buf, sizeof buf)) return nullptr;
  SHM_OBJECT* s = new_object(peer_pid, 1);
  if (!s) return nullptr;
  int32_t me = static_cast<int32_t>(getpid());
  zulos_event ev[4];
  memset(ev, 0, sizeof ev);
  for (zulos_event& e : ev) e.shm.lock_fd = -1;
  bool ok = zulos_shm_create_init("map", buf, sizeof(SHM_VIEW), init_view, &me, &s->mapping) == ZULOS_OK;
  ok = ok && object_name(name, "mutex", buf, sizeof buf) && zulos_mutex_create(buf, &s->mutex) == ZULOS_OK;
  for (int i = 0; ok && i < 4; i++) {
    // free events start signalled (the area is free), filled ones clear
    ok = object_name(name, kEventParts[i], buf, sizeof buf) &&
         zulos_event_create(buf, 0, i % 2 == 0, &ev[i]) == ZULOS_OK;
  }
  if (!ok) {
    s->write_free = ev[0];
    s->write_filled = ev[1];
    s->read_taken = ev[2];
    s->read_filled = ev[3];
    close_all(s);
    free(s);
    return nullptr;
  }
  wire_sides(s, ev);
  return s;
}

SHM_OBJECT* shm_chanl_open(const char* name, int32_t peer_pid, int wait_ms) {
  char buf[160];
  if (peer_pid <= 0 || !object_name(name, "map", buf, sizeof buf)) return nullptr;
  SHM_OBJECT* s = new_object(peer_pid, 0);
  if (!s) return nullptr;
  zulos_event ev[4];
  memset(ev, 0, sizeof ev);
  for (zulos_event& e : ev) e.shm.lock_fd = -1;
  // The maker publishes the mapping first and the last event last; wait for
  // the last event, then open everything.
  char last[160];
  object_name(name, kEventParts[3], last, sizeof last);
  for (int waited = 0; !zulos_shm_exists("evt", last); waited += 10) {
    if (waited >= wait_ms || !zulos_process_alive(peer_pid)) {
      free(s);
      return nullptr;
    }
    usleep(10000);
  }
  bool ok = zulos_shm_open("map", buf, &s->mapping) == ZULOS_OK && s->mapping.size >= sizeof(SHM_VIEW) &&
            static_cast<SHM_VIEW*>(s->mapping.base)->magic == SHM_VIEW_MAGIC;
  ok = ok && object_name(name, "mutex", buf, sizeof buf) && zulos_mutex_open(buf, &s->mutex) == ZULOS_OK;
  for (int i = 0; ok && i < 4; i++)
    ok = object_name(name, kEventParts[i], buf, sizeof buf) && zulos_event_open(buf, &ev[i]) == ZULOS_OK;
  if (!ok) {
    s->write_free = ev[0];
    s->write_filled = ev[1];
    s->read_taken = ev[2];
    s->read_filled = ev[3];
    close_all(s);
    free(s);
    return nullptr;
  }
  wire_sides(s, ev);
  return s;
}

void shm_chanl_destroy(SHM_OBJECT* s) {
  if (!s) return;
  close_all(s);
  free(s);
}

// ---- 2. the sliced wait and the chunk transfer --------------------------------
//
// Every wait is cut into slices; between slices the peer is tested, so a peer
// that ended fails the transfer within one slice instead of hanging it.

namespace {

// Waits for the mutex together with ev (ev reset, mutex held), or for ev
// alone when all is false. true once acquired.
bool sliced_wait(SHM_OBJECT* s, zulos_event* ev, bool all) {
  for (;;) {
    if (s->peer_pid <= 0) return false;
    int rc = all ? zulos_wait_all(&s->mutex, ev, SHM_WAIT_SLICE_MS) : zulos_event_wait(ev, SHM_WAIT_SLICE_MS);
    if (rc == ZULOS_WAIT_ACQUIRED || rc == ZULOS_WAIT_ABANDONED) {
      // Both at once, as a wait on several objects takes them: the
      // auto-reset event is consumed with the mutex.
      if (all && zulos_event_reset(ev) != 0) {
        zulos_mutex_unlock(&s->mutex);
        return false;
      }
      return true;
    }
    if (rc != ZULOS_WAIT_TIMEOUT) return false;
    if (!zulos_process_alive(s->peer_pid)) {
      s->peer_pid = 0;
      return false;
    }
  }
}

}  // namespace

int32_t shm_write_chunks(SHM_OBJECT* s, const void* data, int32_t n) {
  if (!s || n < 0 || (n > 0 && !data)) return 0;
  const unsigned char* src = static_cast<const unsigned char*>(data);
  int32_t done = 0;
  while (done < n) {
    int32_t piece = n - done > SHM_CHUNK ? SHM_CHUNK : n - done;
    if (!sliced_wait(s, &s->write_free, true)) return done;
    memcpy(s->write_area, src + done, static_cast<size_t>(piece));
    *s->write_count = piece;
    if (zulos_event_set(&s->write_filled) != 0) {
      zulos_mutex_unlock(&s->mutex);
      return done;
    }
    if (zulos_mutex_unlock(&s->mutex) != 0) return done;
    // The peer's reader signals free once it has taken the whole chunk;
    // signalling it again at once lets the next piece (or write) start.
    if (!sliced_wait(s, &s->write_free, false) || zulos_event_set(&s->write_free) != 0) return done;
    done += piece;
  }
  return done;
}

int32_t shm_read_chunks(SHM_OBJECT* s, void* dest, int32_t n) {
  if (!s || n < 0 || (n > 0 && !dest)) return 0;
  unsigned char* dst = static_cast<unsigned char*>(dest);
  int32_t done = 0;
  while (done < n) {
    if (!sliced_wait(s, &s->read_filled, true)) return done;
    int32_t want = n - done > SHM_CHUNK ? SHM_CHUNK : n - done;
    int32_t have = *s->read_count;
    // The count comes from the peer: it must fit the area past the offset.
    if (have < 0 || have > SHM_CHUNK - s->read_offset) {
      s->peer_pid = 0;  // the shared state is broken; nothing more can be trusted
      zulos_mutex_unlock(&s->mutex);
      return done;
    }
    if (want <= have) {
      memcpy(dst + done, s->read_area + s->read_offset, static_cast<size_t>(want));
      *s->read_count = have - want;
      s->read_offset += want;
      done += want;
    } else {
      memcpy(dst + done, s->read_area + s->read_offset, static_cast<size_t>(have));
      *s->read_count = 0;
      done += have;
    }
    bool rest = *s->read_count > 0;
    if (!rest) s->read_offset = 0;
    // Bytes left in the chunk keep "filled" set for the next read; a taken
    // chunk frees the writer.
    int rc = rest ? zulos_event_set(&s->read_filled) : zulos_event_set(&s->read_taken);
    if (zulos_mutex_unlock(&s->mutex) != 0 || rc != 0) return done;
  }
  return done;
}

int32_t shm_data_waiting(SHM_OBJECT* s) {
  if (!s || s->peer_pid <= 0) return -1;
  int rc = zulos_mutex_lock(&s->mutex, ZULOS_INFINITE);
  if (rc != ZULOS_WAIT_ACQUIRED && rc != ZULOS_WAIT_ABANDONED) return -1;
  int32_t count = *s->read_count;
  zulos_mutex_unlock(&s->mutex);
  return count > 0 ? 1 : 0;
}

int32_t CH_reset_shared_chanl_io(CHANNEL* ch, SHM_OBJECT* shm) {
  if (!ch || !shm || ch->kind != CH_KIND_SHMEM || ch->shm_io) return -1;
  ch->shm_io = shm;
  return 0;
}

// ---- 3. the link: byte moves of either memory transport ----------------------

namespace zul {
namespace memchan {

ChannelView::ChannelView(const CHANNEL* ch)
    : link{ch->cmem, ch->shm_io}, socket_io(nullptr), legacy(ch->legacy), client_release(ch->client_release) {
  bool ready = ch->kind == CH_KIND_CMEM ? (ch->cmem && ch->cmem->peer) : (ch->kind == CH_KIND_SHMEM && ch->shm_io);
  if (ready) socket_io = &link;
}

namespace {

int32_t fail(Link* so) {
  if (so->cmem) so->cmem->out_of_step = 1;
  if (so->shm) so->shm->out_of_step = 1;
  return -1;
}

}  // namespace

int32_t SO_flush(Link*) { return 0; }

int32_t SO_data_waiting(Link* so) {
  return so->cmem ? cmem_data_waiting(so->cmem) : shm_data_waiting(so->shm);
}

int32_t SO_out_of_step(const Link* so) {
  if (so->cmem) return so->cmem->out_of_step;
  return so->shm ? so->shm->out_of_step || so->shm->peer_pid <= 0 : 1;
}

int32_t SO_write_bytes(Link* so, const void* data, int32_t n) {
  if (n < 0) return -1;
  int32_t moved = so->cmem ? cmem_write_bytes(so->cmem, data, n) : shm_write_chunks(so->shm, data, n);
  return moved == n ? n : fail(so);
}

int32_t SO_read_bytes(Link* so, void* dest, int32_t n) {
  if (n < 0) return -1;
  int32_t moved = so->cmem ? cmem_read_bytes(so->cmem, dest, n) : shm_read_chunks(so->shm, dest, n);
  return moved == n ? n : fail(so);
}

// A refused item on the in-process transport is one hand-over: it is taken
// whole without copying. Across processes it is read through in chunks.
int32_t SO_drain(Link* so, int64_t n) {
  if (n < 0 || n > CH_MAX_DRAIN) return fail(so);
  if (so->cmem) return cmem_skip_bytes(so->cmem, static_cast<int32_t>(n)) == n ? 0 : fail(so);
  std::vector<unsigned char> scratch(static_cast<size_t>(n < SHM_CHUNK ? n : SHM_CHUNK));
  while (n > 0) {
    int32_t take = n > SHM_CHUNK ? SHM_CHUNK : static_cast<int32_t>(n);
    if (SO_read_bytes(so, scratch.data(), take) != take) return -1;
    n -= take;
  }
  return 0;
}

// ---- 4. the items ---------------------------------------------------------------

using ItemLink = Link;

#include "native_items.inc"

// ---- 5. the link's word moves for the item layer -----------------------------------

namespace {

// Arrays travel as one piece each: the in-process transport pairs every
// write with exactly one read, so a refused array is also taken in one.
int32_t put_words(Link* so, const void* words, int32_t n, size_t width) {
  if (n < 0) return -1;
  std::vector<unsigned char> b(static_cast<size_t>(n) * width);
  const unsigned char* src = static_cast<const unsigned char*>(words);
  for (size_t i = 0; i < b.size(); i += width) {
    if (width == 2) {
      uint16_t v;
      memcpy(&v, src + i, 2);
      b[i] = static_cast<unsigned char>(v);
      b[i + 1] = static_cast<unsigned char>(v >> 8);
    } else if (width == 4) {
      uint32_t v;
      memcpy(&v, src + i, 4);
      put_u32(&b[i], v);
    } else {
      uint64_t v;
      memcpy(&v, src + i, 8);
      put_u64(&b[i], v);
    }
  }
  int32_t len = static_cast<int32_t>(b.size());
  return SO_write_bytes(so, b.data(), len) == len ? 0 : -1;
}

// Reads n words of width bytes into dst, or takes and drops them when dst is
// null.
int32_t get_words(Link* so, void* dst, int32_t n, size_t width) {
  if (n < 0) return -1;
  int64_t len = static_cast<int64_t>(n) * static_cast<int64_t>(width);
  if (!dst) return SO_drain(so, len) == 0 ? 0 : -1;
  if (len > INT32_MAX) return -1;
  std::vector<unsigned char> b(static_cast<size_t>(len));
  if (SO_read_bytes(so, b.data(), static_cast<int32_t>(len)) != len) return -1;
  unsigned char* out = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < b.size(); i += width) {
    if (width == 2) {
      uint16_t v = static_cast<uint16_t>(b[i] | b[i + 1] << 8);
      memcpy(out + i, &v, 2);
    } else if (width == 4) {
      uint32_t v = get_u32(&b[i]);
      memcpy(out + i, &v, 4);
    } else {
      uint64_t v = get_u64(&b[i]);
      memcpy(out + i, &v, 8);
    }
  }
  return 0;
}

int32_t put_xy(Link* so, const POINT* points, int32_t n) {
  std::vector<int32_t> xy(static_cast<size_t>(n) * 2);
  for (int32_t i = 0; i < n; i++) {
    xy[2 * static_cast<size_t>(i)] = points[i].x;
    xy[2 * static_cast<size_t>(i) + 1] = points[i].y;
  }
  return put_words(so, xy.data(), n * 2, 4);
}

int32_t get_xy(Link* so, POINT* points, int32_t n) {
  std::vector<int32_t> xy(static_cast<size_t>(n) * 2);
  if (get_words(so, xy.data(), n * 2, 4) != 0) return -1;
  for (int32_t i = 0; i < n; i++) {
    points[i].x = xy[2 * static_cast<size_t>(i)];
    points[i].y = xy[2 * static_cast<size_t>(i) + 1];
  }
  return 0;
}

// Takes a shape's arrays piece by piece and drops them.
int32_t drop_shape_arrays(Link* so, int32_t n, bool has_z, bool has_m) {
  if (get_words(so, nullptr, n, 8) != 0) return -1;
  if (has_z && get_words(so, nullptr, n, 4) != 0) return -1;
  return has_m ? get_words(so, nullptr, n, 4) : 0;
}

}  // namespace

}  // namespace memchan
}  // namespace zul
