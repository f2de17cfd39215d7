// shm_io.cpp -- the shared-memory transport, and the item framing of both
// memory transports.
//
// Divisions:
//   1. naming and making the shared objects
//   2. the sliced wait and the chunk transfer
//   3. the link: byte moves of either memory transport
//   4. scalars (the framing below is that of the socket transport, item for
//      item, so a peer reads the same bytes in the same order)
//   5. arrays, texts, blocks and blob segments
//   6. records (images, lists, counted arrays, states, locators)
//   7. shapes, constructs, index definitions, raster constraints
//   8. spatial filters
//
// Relies on the OS layer (named shared memory, mutexes and events, process
// liveness), cmem_io for the in-process hand-over, native_io for the record
// images, and sock_io for the helpers the socket framing exports (filter
// blocks, lineage length, the free functions).
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

namespace {

void put_u32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
uint32_t get_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void put_u64(unsigned char* p, uint64_t v) {
  put_u32(p, static_cast<uint32_t>(v));
  put_u32(p + 4, static_cast<uint32_t>(v >> 32));
}
uint64_t get_u64(const unsigned char* p) {
  return static_cast<uint64_t>(get_u32(p)) | static_cast<uint64_t>(get_u32(p + 4)) << 32;
}
int32_t write_u32(Link* so, uint32_t v) {
  unsigned char b[4];
  put_u32(b, v);
  return SO_write_bytes(so, b, 4) == 4 ? 0 : -1;
}
int32_t read_u32(Link* so, uint32_t* v) {
  unsigned char b[4];
  if (SO_read_bytes(so, b, 4) != 4) return -1;
  *v = get_u32(b);
  return 0;
}
int32_t refuse(Link* so, int64_t n) {
  if (SO_drain(so, n) != 0) return -1;
  return SE_INVALID_PARAM;
}

}  // namespace

// ---- 4. scalars -----------------------------------------------------------

int32_t SO_write_long(Link* so, int32_t value) { return write_u32(so, static_cast<uint32_t>(value)); }
int32_t SO_read_long(Link* so, int32_t* value) {
  uint32_t v;
  if (read_u32(so, &v) != 0) return -1;
  *value = static_cast<int32_t>(v);
  return 0;
}
int32_t SO_write_ulong(Link* so, uint32_t value) { return write_u32(so, value); }
int32_t SO_read_ulong(Link* so, uint32_t* value) { return read_u32(so, value); }
int32_t SO_write_float(Link* so, float value) {
  uint32_t v;
  memcpy(&v, &value, 4);
  return write_u32(so, v);
}
int32_t SO_read_float(Link* so, float* value) {
  uint32_t v;
  if (read_u32(so, &v) != 0) return -1;
  memcpy(value, &v, 4);
  return 0;
}
int32_t SO_write_short(Link* so, int16_t value) {
  unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(static_cast<uint16_t>(value) >> 8)};
  return SO_write_bytes(so, b, 2) == 2 ? 0 : -1;
}
int32_t SO_read_short(Link* so, int16_t* value) {
  unsigned char b[2];
  if (SO_read_bytes(so, b, 2) != 2) return -1;
  *value = static_cast<int16_t>(b[0] | b[1] << 8);
  return 0;
}
int32_t SO_write_lfloat(Link* so, double value) {
  uint64_t v;
  memcpy(&v, &value, 8);
  unsigned char b[8];
  put_u64(b, v);
  return SO_write_bytes(so, b, 8) == 8 ? 0 : -1;
}
int32_t SO_read_lfloat(Link* so, double* value) {
  unsigned char b[8];
  if (SO_read_bytes(so, b, 8) != 8) return -1;
  uint64_t v = get_u64(b);
  memcpy(value, &v, 8);
  return 0;
}

// ---- 5. arrays, texts, blocks and blob segments ---------------------------

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

}  // namespace


int32_t SO_write_lfloat_array(Link* so, int32_t count, const double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  return put_words(so, values, count, 8);
}

int32_t SO_read_lfloat_array(Link* so, int32_t count, double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  return get_words(so, values, count, 8);
}

int32_t SO_write_short_array(Link* so, int16_t count, const int16_t* values) {
  if (count > 0 && !values) return SE_INVALID_POINTER;
  if (SO_write_short(so, count) != 0) return -1;
  return count > 0 ? put_words(so, values, count, 2) : 0;
}

int32_t SO_read_short_array(Link* so, int16_t* count, int16_t* values, int32_t cap) {
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  *count = 0;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > cap || (n > 0 && !values)) return refuse(so, static_cast<int64_t>(n) * 2);
  if (n > 0 && get_words(so, values, n, 2) != 0) return -1;
  *count = n;
  return 0;
}

int32_t SO_write_fid_array(Link* so, int32_t count, const int32_t* ids) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  return put_words(so, ids, count, 4);  // an empty array is an empty piece
}

int32_t SO_read_fid_array(Link* so, int32_t count, int32_t* ids) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  return get_words(so, ids, count, 4);
}

int32_t SO_write_string(Link* so, const char* text) {
  size_t len = text ? strlen(text) : 0;
  if (len >= static_cast<size_t>(INT32_MAX)) return SE_INVALID_PARAM;
  int32_t n = len ? static_cast<int32_t>(len) + 1 : 0;
  if (SO_write_long(so, n) != 0) return -1;
  if (n > 0 && SO_write_bytes(so, text, n) != n) return -1;
  return 0;
}

int32_t SO_read_string(Link* so, char* buf, int32_t cap) {
  int32_t n;
  if (SO_read_long(so, &n) != 0) return -1;
  if (n < 0) return SE_INVALID_PARAM;
  if (!buf || cap < 1 || n > cap) {
    if (buf && cap > 0) buf[0] = '\0';
    return refuse(so, n);
  }
  if (n == 0) {
    buf[0] = '\0';
    return 0;
  }
  if (SO_read_bytes(so, buf, n) != n) return -1;
  buf[n - 1] = '\0';  // the sender's NUL; a peer that left it out loses its last byte
  return 0;
}

int32_t SO_write_dynamic_string(Link* so, const char* text) { return SO_write_string(so, text); }

int32_t SO_read_dynamic_string(Link* so, char** text) {
  *text = nullptr;
  int32_t n;
  if (SO_read_long(so, &n) != 0) return -1;
  if (n < 0) return SE_INVALID_PARAM;
  if (n == 0) return 0;
  if (n > CH_MAX_DYNAMIC_STRING) return refuse(so, n);
  char* s = static_cast<char*>(calloc(1, static_cast<size_t>(n)));
  if (!s) return SO_drain(so, n) == 0 ? SE_OUT_OF_MEMORY : -1;
  if (SO_read_bytes(so, s, n) != n) {
    free(s);
    return -1;
  }
  s[n - 1] = '\0';
  *text = s;
  return 0;
}

int32_t SO_write_date(Link* so, const SE_DATE* d) {
  const int32_t v[9] = {d->sec, d->min, d->hour, d->mday, d->mon, d->year, d->wday, d->yday, d->isdst};
  return put_words(so, v, 9, 4);
}

int32_t SO_read_date(Link* so, SE_DATE* d) {
  int32_t v[9];
  if (get_words(so, v, 9, 4) != 0) return -1;
  d->sec = v[0];
  d->min = v[1];
  d->hour = v[2];
  d->mday = v[3];
  d->mon = v[4];
  d->year = v[5];
  d->wday = v[6];
  d->yday = v[7];
  d->isdst = v[8];
  return 0;
}

int32_t SO_write_block(Link* so, const void* data, int32_t len) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  return SO_write_bytes(so, data, len) == len ? 0 : -1;
}

int32_t SO_read_block(Link* so, void* buf, int32_t len) {
  if (len < 0 || (len > 0 && !buf)) return SE_INVALID_PARAM;
  return SO_read_bytes(so, buf, len) == len ? 0 : -1;
}

int32_t SO_write_blob_seg(Link* so, const void* data, int32_t len, int32_t last) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  if (SO_write_long(so, len) != 0 || SO_write_long(so, last) != 0) return -1;
  if (len > 0 && SO_write_bytes(so, data, len) != len) return -1;
  return 0;
}

int32_t SO_read_blob_seg(Link* so, void* buf, int32_t cap, int32_t* len, int32_t* last) {
  int32_t n, flag;
  if (SO_read_long(so, &n) != 0 || SO_read_long(so, &flag) != 0) return -1;
  *len = 0;
  *last = flag;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > cap || (n > 0 && !buf)) return refuse(so, n);
  if (n > 0 && SO_read_bytes(so, buf, n) != n) return -1;
  *len = n;
  return 0;
}

int32_t SO_write_blob_end(Link*, int32_t, int32_t) { return 0; }
int32_t SO_read_blob_end(Link*, int32_t, int32_t) { return 0; }

// ---- 6. records -------------------------------------------------------------
//
// The images come from native_io; this division adds the framing around them
// (lists, counted arrays) and maps their failures onto the transport's
// statuses.


namespace {

// The link seen as a byte mover for the image codecs.
class LinkMover final : public zul::ByteMover {
 public:
  explicit LinkMover(Link* so) : so_(so) {}
  int put(const void* bytes, size_t len) override {
    return SO_write_bytes(so_, bytes, static_cast<int32_t>(len)) == static_cast<int32_t>(len) ? 0 : -1;
  }
  int get(void* bytes, size_t len) override {
    return SO_read_bytes(so_, bytes, static_cast<int32_t>(len)) == static_cast<int32_t>(len) ? 0 : -1;
  }

 private:
  Link* so_;
};

int32_t status_of(int rc) { return rc == 0 ? 0 : rc == SE_OUT_OF_MEMORY ? SE_OUT_OF_MEMORY : -1; }

template <class T, class Fn>
int32_t put_rec(Link* so, const T* rec, Fn write) {
  if (!so || !rec) return SE_INVALID_POINTER;
  LinkMover m(so);
  return status_of(write(&m, rec));
}

template <class T, class Fn>
int32_t get_rec(Link* so, T* rec, Fn read) {
  if (!so || !rec) return SE_INVALID_POINTER;
  LinkMover m(so);
  return status_of(read(&m, rec));
}

// What a scratch record holds after a read that is thrown away.
template <class T> void release_scratch(T*) {}
void release_scratch(RASTERCOLUMN* r) {
  if (r->coordref) {
    free(r->coordref->srtext);  // the text is the reader's allocation
    SgCoordRefFree(r->coordref);
  }
}

template <class T, class Fn>
int32_t put_list(Link* so, const T* list, int32_t count, Fn write) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !list)) return SE_INVALID_PARAM;
  if (SO_write_long(so, count) != 0) return -1;
  LinkMover m(so);
  for (int32_t i = 0; i < count; i++)
    if (int rc = write(&m, &list[i])) return status_of(rc);
  return 0;
}

// Reads a list into list[0..cap); records beyond cap are read into a scratch
// record and dropped, and the read is refused.
// *seen (when given) receives the number of records read from the wire,
// refused ones included, so trailing parts can be read for each.
template <class T, class Fn>
int32_t get_list(Link* so, T* list, int32_t cap, int32_t* count, int32_t max, Fn read, int32_t* seen = nullptr) {
  if (!so || !count) return SE_INVALID_POINTER;
  *count = 0;
  if (seen) *seen = 0;
  int32_t n;
  if (SO_read_long(so, &n) != 0) return -1;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > max) return fail(so);
  LinkMover m(so);
  for (int32_t i = 0; i < n; i++) {
    if (i < cap && list) {
      if (int rc = read(&m, &list[i])) return status_of(rc);
    } else {
      T scratch;
      memset(&scratch, 0, sizeof scratch);
      int rc = read(&m, &scratch);
      release_scratch(&scratch);
      if (rc) return status_of(rc);
    }
  }
  if (seen) *seen = n;
  if (n > cap || (n > 0 && !list)) return SE_INVALID_PARAM;
  *count = n;
  return 0;
}

}  // namespace

#define SO_RECORD_DEF(item, T, nio)                                                     \
  int32_t SO_write_##item(Link* so, const T* rec) { return put_rec(so, rec, nio_write_##nio); } \
  int32_t SO_read_##item(Link* so, T* rec) { return get_rec(so, rec, nio_read_##nio); }
#define SO_LIST_DEF(item, T, nio, max)                                                  \
  int32_t SO_write_##item##_list(Link* so, const T* list, int32_t count) {          \
    return put_list(so, list, count, nio_write_##nio);                                   \
  }                                                                                      \
  int32_t SO_read_##item##_list(Link* so, T* list, int32_t cap, int32_t* count) {   \
    return get_list(so, list, cap, count, max, nio_read_##nio);                          \
  }

SO_RECORD_DEF(envp, ENVELOPE, envelope)
SO_RECORD_DEF(pt3d, POINT3D, point3d)
SO_RECORD_DEF(se_layer_stats, LAYER_STATS, layer_stats)
SO_RECORD_DEF(rasterattr, RASTERATTR, rasterattr)
SO_RECORD_DEF(se_si_stats, S_INDEX_STATS, index_stats)
SO_RECORD_DEF(registration, REGISTRATION, registration)
SO_RECORD_DEF(version, VERSION, version)
SO_RECORD_DEF(logfile, LOGFILE, logfile)
SO_RECORD_DEF(spatialref, SE_SPATIALREF, spatialref)
SO_RECORD_DEF(object_lock, SE_OBJECT_LOCK, object_lock)
SO_RECORD_DEF(rasterband, RASTERBAND, rasterband)
SO_RECORD_DEF(raster, RASTER, raster)
SO_RECORD_DEF(rastercolumn, RASTERCOLUMN, rastercolumn)
SO_LIST_DEF(registration, REGISTRATION, registration, CH_MAX_LIST)
SO_LIST_DEF(version, VERSION, version, CH_MAX_VERSION_LIST)
SO_LIST_DEF(logfile, LOGFILE, logfile, CH_MAX_LIST)
SO_LIST_DEF(spatialref, SE_SPATIALREF, spatialref, CH_MAX_LIST)
SO_LIST_DEF(object_lock, SE_OBJECT_LOCK, object_lock, CH_MAX_LOCK_LIST)
SO_LIST_DEF(se_layer_locks, SE_LAYER_LOCKS, layer_lock, CH_MAX_LOCK_LIST)
SO_LIST_DEF(se_table_lock, SE_TABLE_LOCK, table_lock, CH_MAX_LOCK_LIST)
SO_LIST_DEF(se_version_lock, SE_VERSION_LOCK, table_lock, CH_MAX_LOCK_LIST)
SO_LIST_DEF(rasterband, RASTERBAND, rasterband, CH_MAX_BAND_LIST)
SO_LIST_DEF(rastercolumn, RASTERCOLUMN, rastercolumn, CH_MAX_LIST)

int32_t SO_write_layer(Link* so, const LAYER* l, int32_t legacy) {
  return put_rec(so, l, [legacy](zul::ByteMover* m, const LAYER* r) { return nio_write_layer(m, r, legacy); });
}
int32_t SO_read_layer(Link* so, LAYER* l, int32_t legacy) {
  return get_rec(so, l, [legacy](zul::ByteMover* m, LAYER* r) { return nio_read_layer(m, r, legacy); });
}
int32_t SO_write_layer_list(Link* so, const LAYER* list, int32_t count, int32_t legacy) {
  return put_list(so, list, count, [legacy](zul::ByteMover* m, const LAYER* r) { return nio_write_layer(m, r, legacy); });
}
int32_t SO_read_layer_list(Link* so, LAYER* list, int32_t cap, int32_t* count, int32_t legacy) {
  return get_list(so, list, cap, count, CH_MAX_LIST,
                  [legacy](zul::ByteMover* m, LAYER* r) { return nio_read_layer(m, r, legacy); });
}
int32_t SO_write_coordref(Link* so, const COORDREF* c, int32_t legacy) {
  return put_rec(so, c, [legacy](zul::ByteMover* m, const COORDREF* r) { return nio_write_coordref(m, r, legacy); });
}
int32_t SO_read_coordref(Link* so, COORDREF* c, int32_t legacy) {
  return get_rec(so, c, [legacy](zul::ByteMover* m, COORDREF* r) { return nio_read_coordref(m, r, legacy); });
}
int32_t SO_write_release(Link* so, const RELEASE* r) { return put_rec(so, r, nio_write_release); }
int32_t SO_read_release(Link* so, RELEASE* r, int32_t legacy) {
  return get_rec(so, r, [legacy](zul::ByteMover* m, RELEASE* x) { return nio_read_release(m, x, legacy); });
}
int32_t SO_write_metadata(Link* so, const METADATA_RECORD* r, int32_t older) {
  return put_rec(so, r, [older](zul::ByteMover* m, const METADATA_RECORD* x) { return nio_write_metadata(m, x, older); });
}
int32_t SO_read_metadata(Link* so, METADATA_RECORD* r, int32_t older) {
  return get_rec(so, r, [older](zul::ByteMover* m, METADATA_RECORD* x) { return nio_read_metadata(m, x, older); });
}
int32_t SO_write_metadata_list(Link* so, const METADATA_RECORD* list, int32_t count, int32_t older) {
  return put_list(so, list, count,
                  [older](zul::ByteMover* m, const METADATA_RECORD* x) { return nio_write_metadata(m, x, older); });
}
int32_t SO_read_metadata_list(Link* so, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older) {
  return get_list(so, list, cap, count, CH_MAX_LIST,
                  [older](zul::ByteMover* m, METADATA_RECORD* x) { return nio_read_metadata(m, x, older); });
}

namespace {
// A 2-byte count and that many images; the read allocates the array.
template <class T, class Fn>
int32_t put_counted(Link* so, int16_t count, const T* items, Fn write) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !items)) return SE_INVALID_PARAM;
  if (SO_write_short(so, count) != 0) return -1;
  LinkMover m(so);
  for (int16_t i = 0; i < count; i++)
    if (int rc = write(&m, &items[i])) return status_of(rc);
  return 0;
}

template <class T, class Fn>
int32_t get_counted(Link* so, int16_t* count, T** items, Fn read) {
  if (!so || !count || !items) return SE_INVALID_POINTER;
  *count = 0;
  *items = nullptr;
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  if (n <= 0) return 0;
  T* a = static_cast<T*>(calloc(static_cast<size_t>(n), sizeof(T)));
  LinkMover m(so);
  for (int16_t i = 0; i < n; i++) {
    T scratch;
    memset(&scratch, 0, sizeof scratch);
    if (int rc = read(&m, a ? &a[i] : &scratch)) {
      free(a);
      return status_of(rc);
    }
  }
  if (!a) return SE_OUT_OF_MEMORY;
  *count = n;
  *items = a;
  return 0;
}
}  // namespace

int32_t SO_write_column_def(Link* so, int16_t count, const COLUMN_DEF* defs, int32_t legacy) {
  return put_counted(so, count, defs,
                     [legacy](zul::ByteMover* m, const COLUMN_DEF* c) { return nio_write_column_def(m, c, legacy); });
}
int32_t SO_read_column_def(Link* so, int16_t* count, COLUMN_DEF** defs, int32_t legacy) {
  return get_counted(so, count, defs,
                     [legacy](zul::ByteMover* m, COLUMN_DEF* c) { return nio_read_column_def(m, c, legacy); });
}
int32_t SO_write_input_desc(Link* so, int16_t count, const INPUT_DESC* descs) {
  return put_counted(so, count, descs, nio_write_input_desc);
}
int32_t SO_read_input_desc(Link* so, int16_t* count, INPUT_DESC** descs) {
  return get_counted(so, count, descs, nio_read_input_desc);
}

// States and locators carry trailing parts after all the images of a list.



namespace {

int32_t put_lineage(Link* so, const STATE* s) {
  int32_t len = ch_lineage_bytes(s);
  if (SO_write_long(so, len) != 0) return -1;
  return len > 0 && SO_write_bytes(so, s->lineage, len) != len ? -1 : 0;
}

int32_t get_lineage(Link* so, STATE* s) {
  s->lineage = nullptr;
  int32_t len;
  if (SO_read_long(so, &len) != 0) return -1;
  if (len < 1) return 0;
  if (len > CH_MAX_LINEAGE_BYTES) return refuse(so, len);
  uint8_t* b = static_cast<uint8_t*>(malloc(static_cast<size_t>(len)));
  if (!b) return SO_drain(so, len) == 0 ? SE_OUT_OF_MEMORY : -1;
  if (SO_read_bytes(so, b, len) != len) {
    free(b);
    return -1;
  }
  s->lineage = b;
  return 0;
}

int32_t put_properties(Link* so, const LOCATOR* l) {
  for (int32_t i = 0; i < l->property_count; i++) {
    const char* name = l->property_names ? l->property_names[i] : nullptr;
    const char* value = l->property_values ? l->property_values[i] : nullptr;
    if (SO_write_string(so, name) != 0 || SO_write_string(so, value) != 0) return -1;
  }
  return 0;
}

// One block of n pointers followed by n slots of slot bytes, each pointer at
// its slot.
char** slot_block(int32_t n, size_t slot) {
  size_t bytes = static_cast<size_t>(n) * (sizeof(char*) + slot);
  char** p = static_cast<char**>(calloc(1, bytes ? bytes : 1));
  if (!p) return nullptr;
  char* slots = reinterpret_cast<char*>(p + n);
  for (int32_t i = 0; i < n; i++) p[i] = slots + static_cast<size_t>(i) * slot;
  return p;
}

void free_properties(LOCATOR* l) {
  free(l->property_names);
  free(l->property_values);
  l->property_names = l->property_values = nullptr;
}

int32_t get_properties(Link* so, LOCATOR* l) {
  l->property_names = l->property_values = nullptr;
  int32_t n = l->property_count;
  char** names = slot_block(n, 33);
  char** values = slot_block(n, 256);
  int32_t rc = (names && values) ? 0 : SE_OUT_OF_MEMORY;
  for (int32_t i = 0; i < n; i++) {
    char scratch[256];
    int32_t a = SO_read_string(so, names ? names[i] : scratch, names ? 33 : sizeof scratch);
    int32_t b = SO_read_string(so, values ? values[i] : scratch, sizeof scratch);
    if (a == -1 || b == -1) rc = -1;
    if (rc == 0 && (a || b)) rc = a ? a : b;
    if (rc == -1) break;
  }
  if (rc != 0) {
    free(names);
    free(values);
    return rc;
  }
  l->property_names = names;
  l->property_values = values;
  return 0;
}

}  // namespace

int32_t SO_write_state(Link* so, const STATE* s, int32_t older) {
  int32_t rc = put_rec(so, s, [older](zul::ByteMover* m, const STATE* x) { return nio_write_state(m, x, older); });
  return rc ? rc : put_lineage(so, s);
}

int32_t SO_read_state(Link* so, STATE* s, int32_t older) {
  int32_t rc = get_rec(so, s, [older](zul::ByteMover* m, STATE* x) { return nio_read_state(m, x, older); });
  return rc ? rc : get_lineage(so, s);
}

int32_t SO_write_state_list(Link* so, const STATE* list, int32_t count, int32_t older) {
  int32_t rc = put_list(so, list, count, [older](zul::ByteMover* m, const STATE* x) { return nio_write_state(m, x, older); });
  for (int32_t i = 0; rc == 0 && i < count; i++) rc = put_lineage(so, &list[i]);
  return rc;
}

int32_t SO_read_state_list(Link* so, STATE* list, int32_t cap, int32_t* count, int32_t older) {
  int32_t seen = 0;
  int32_t rc = get_list(so, list, cap, count, CH_MAX_LIST,
                        [older](zul::ByteMover* m, STATE* x) { return nio_read_state(m, x, older); }, &seen);
  if (rc != 0 && rc != SE_INVALID_PARAM) return rc;
  // Every record read has its lineage behind the images, kept or dropped.
  for (int32_t i = 0; i < seen; i++) {
    STATE scratch{};
    bool keep = rc == 0;
    int32_t lrc = get_lineage(so, keep ? &list[i] : &scratch);
    free(scratch.lineage);
    if (lrc != 0) {
      for (int32_t j = 0; keep && j < i; j++) {
        free(list[j].lineage);
        list[j].lineage = nullptr;
      }
      *count = 0;
      return lrc == SE_INVALID_PARAM && rc == 0 ? SE_INVALID_PARAM : (lrc == SE_INVALID_PARAM ? rc : lrc);
    }
  }
  return rc;
}

int32_t SO_write_locator(Link* so, const LOCATOR* l) {
  int32_t rc = put_rec(so, l, nio_write_locator);
  return rc ? rc : put_properties(so, l);
}

int32_t SO_read_locator(Link* so, LOCATOR* l) {
  int32_t rc = get_rec(so, l, nio_read_locator);
  return rc ? rc : get_properties(so, l);
}

int32_t SO_write_locator_list(Link* so, const LOCATOR* list, int32_t count) {
  int32_t rc = put_list(so, list, count, nio_write_locator);
  for (int32_t i = 0; rc == 0 && i < count; i++) rc = put_properties(so, &list[i]);
  return rc;
}

int32_t SO_read_locator_list(Link* so, LOCATOR* list, int32_t cap, int32_t* count) {
  int32_t seen = 0;
  std::vector<int32_t> counts;  // property counts of records read beyond cap
  int32_t rc = get_list(so, list, cap, count, CH_MAX_LIST,
                        [&](zul::ByteMover* m, LOCATOR* x) {
                          int r = nio_read_locator(m, x);
                          counts.push_back(x->property_count);
                          return r;
                        },
                        &seen);
  if (rc != 0 && rc != SE_INVALID_PARAM) return rc;
  for (int32_t i = 0; i < seen; i++) {
    LOCATOR scratch{};
    bool keep = rc == 0;
    scratch.property_count = counts[static_cast<size_t>(i)];
    LOCATOR* target = keep ? &list[i] : &scratch;
    int32_t prc = get_properties(so, target);
    if (!keep) free_properties(&scratch);
    if (prc != 0) {
      for (int32_t j = 0; keep && j < i; j++) free_properties(&list[j]);
      *count = 0;
      return prc == -1 ? -1 : (rc ? rc : prc);
    }
  }
  return rc;
}

// ---- 7. shapes, constructs, index definitions, raster constraints ---------------

namespace {

// Reads n 32-bit values into dst, or drops them when dst is null.
int32_t get_longs(Link* so, int32_t* dst, int32_t n) { return get_words(so, dst, n, 4); }

// Takes a shape's arrays piece by piece and drops them.
int32_t drop_arrays(Link* so, int32_t n, bool has_z, bool has_m) {
  if (get_words(so, nullptr, n, 8) != 0) return -1;
  if (has_z && get_words(so, nullptr, n, 4) != 0) return -1;
  return has_m ? get_words(so, nullptr, n, 4) : 0;
}

}  // namespace

int32_t SO_writef(Link* so, const FEATURE_STRUCT* f) {
  if (!so || !f) return SE_INVALID_POINTER;
  LinkMover m(so);
  if (nio_write_feature_image(&m, f) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE FEAT", errno);
    return -1;
  }
  int32_t n = f->numofpts > 0 && f->points ? f->numofpts : 0;
  if (n == 0) return 0;
  std::vector<int32_t> xy(static_cast<size_t>(n) * 2);
  for (int32_t i = 0; i < n; i++) {
    xy[2 * static_cast<size_t>(i)] = f->points[i].x;
    xy[2 * static_cast<size_t>(i) + 1] = f->points[i].y;
  }
  if (put_words(so, xy.data(), n * 2, 4) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE XY PTS", errno);
    return -1;
  }
  if (f->z && put_words(so, f->z, n, 4) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE Z PTS", errno);
    return -1;
  }
  if (f->m && put_words(so, f->m, n, 4) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE M VALS", errno);
    return -1;
  }
  return 0;
}

int32_t SO_readf(Link* so, FEATURE_STRUCT* f, int32_t allocate) {
  if (!so || !f) return SE_INVALID_POINTER;
  LinkMover m(so);
  int32_t present = 0;
  if (nio_read_feature_image(&m, f, &present) != 0) return -1;
  int32_t n = f->numofpts;
  bool has_pts = (present & NIO_FEATURE_HAS_POINTS) && n > 0;
  bool has_z = has_pts && (present & NIO_FEATURE_HAS_Z);
  bool has_m = has_pts && (present & NIO_FEATURE_HAS_M);
  if (!has_pts) return 0;
  if (n > SG_MAX_POINTS) {
    f->numofpts = 0;
    return fail(so);
  }
  if (allocate) {
    POINT* pts = static_cast<POINT*>(calloc(static_cast<size_t>(n), sizeof(POINT)));
    int32_t* z = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
    int32_t* mv = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
    if (!pts || !z || !mv) {
      free(pts);
      free(z);
      free(mv);
      f->numofpts = 0;
      return drop_arrays(so, n, has_z, has_m) == 0 ? SE_OUT_OF_MEMORY : -1;
    }
    f->points = pts;
    f->z = z;
    f->m = mv;
    f->allocpts = n;
  } else if (!f->points || n > f->allocpts) {
    f->numofpts = 0;
    return drop_arrays(so, n, has_z, has_m) == 0 ? SE_INVALID_PARAM : -1;
  }
  std::vector<int32_t> xy(static_cast<size_t>(n) * 2);
  if (get_words(so, xy.data(), n * 2, 4) != 0) return -1;
  for (int32_t i = 0; i < n; i++) {
    f->points[i].x = xy[2 * static_cast<size_t>(i)];
    f->points[i].y = xy[2 * static_cast<size_t>(i) + 1];
  }
  if (has_z ? get_longs(so, f->z, n) != 0 : false) return -1;
  if (!has_z && f->z) memset(f->z, 0, sizeof(int32_t) * static_cast<size_t>(n));
  if (has_m ? get_longs(so, f->m, n) != 0 : false) return -1;
  if (!has_m && f->m) memset(f->m, 0, sizeof(int32_t) * static_cast<size_t>(n));
  return 0;
}

int32_t SO_write_compressed_feature(Link* so, const FEATURE_STRUCT* f) {
  if (!so || !f) return SE_INVALID_POINTER;
  int32_t size = SES_get_compressed_buffer_size(f);
  if (SO_write_ulong(so, f->fid) != 0 || SO_write_long(so, f->numofpts) != 0 || SO_write_long(so, f->entity) != 0 ||
      SO_write_long(so, size) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE COMPRESSED FEATURE BUFFER SIZE", errno);
    return -1;
  }
  if (size > 0 && SO_write_bytes(so, f->buffer, size) != size) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE COMPRESSED FEATURE BUFFER", errno);
    return -1;
  }
  if (size > 0 && SES_comp_feature_has_anno(f)) return SO_write_string(so, f->anno ? f->anno->text : "");
  return 0;
}

int32_t SO_read_compressed_feature(Link* so, FEATURE_STRUCT* f) {
  if (!so || !f) return SE_INVALID_POINTER;
  int32_t entity, size;
  if (SO_read_ulong(so, &f->fid) != 0 || SO_read_long(so, &f->numofpts) != 0 || SO_read_long(so, &entity) != 0 ||
      SO_read_long(so, &size) != 0)
    return -1;
  f->entity = static_cast<int16_t>(entity);
  if (size < 0) return SE_INVALID_PARAM;
  if (size > CH_MAX_FEATURE_BYTES) return refuse(so, size);
  if (size > 0 && (!f->buffer || f->buffer_cap < size)) {
    unsigned char* b = static_cast<unsigned char*>(realloc(f->buffer, static_cast<size_t>(size)));
    if (!b) return SO_drain(so, size) == 0 ? SE_OUT_OF_MEMORY : -1;
    f->buffer = b;
    f->buffer_cap = size;
  }
  if (size > 0 && SO_read_bytes(so, f->buffer, size) != size) return -1;
  if (size > 0 && SES_comp_feature_has_anno(f)) {
    if (!f->anno && SES_anno_create(&f->anno) != 0) {
      char scratch[SE_ANNO_TEXT_LEN];
      int32_t rc = SO_read_string(so, scratch, sizeof scratch);
      return rc == 0 ? SE_OUT_OF_MEMORY : rc;
    }
    return SO_read_string(so, f->anno->text, SE_ANNO_TEXT_LEN);
  }
  if (f->anno) f->anno->text[0] = '\0';
  return 0;
}

int32_t SO_write_construct(Link* so, const SQL_CONSTRUCT* c) {
  if (!so) return SE_INVALID_POINTER;
  int32_t n = c && c->tables ? c->num_tables : 0;
  if (n < 0) return SE_INVALID_PARAM;
  if (SO_write_long(so, n) != 0) return -1;
  for (int32_t i = 0; i < n; i++)
    if (SO_write_string(so, c->tables[i]) != 0) return -1;
  const char* where = c ? c->where : nullptr;
  int32_t len = where ? static_cast<int32_t>(strlen(where)) + 1 : 0;
  if (SO_write_long(so, len) != 0) return -1;
  return len > 0 && SO_write_bytes(so, where, len) != len ? -1 : 0;
}


int32_t SO_read_construct(Link* so, SQL_CONSTRUCT* c) {
  if (!so || !c) return SE_INVALID_POINTER;
  c->num_tables = 0;
  c->tables = nullptr;
  c->where = nullptr;
  int32_t n;
  if (SO_read_long(so, &n) != 0) return -1;
  if (n < 0 || n > CH_MAX_CONSTRUCT_TABLES) return n < 0 ? SE_INVALID_PARAM : fail(so);
  char** tables = slot_block(n, SE_CONSTRUCT_TABLE_SLOT);
  int32_t rc = tables ? 0 : SE_OUT_OF_DBMS_MEM;
  for (int32_t i = 0; i < n; i++) {
    char scratch[SE_CONSTRUCT_TABLE_SLOT];
    int32_t r = SO_read_string(so, tables ? tables[i] : scratch, SE_CONSTRUCT_TABLE_SLOT);
    if (r == -1) {
      free(tables);
      return -1;
    }
    if (rc == 0) rc = r;
  }
  int32_t len;
  if (SO_read_long(so, &len) != 0) {
    free(tables);
    return -1;
  }
  if (len < 0) rc = rc ? rc : SE_INVALID_PARAM;
  char* where = nullptr;
  if (len > 0) {
    if (len > CH_MAX_DYNAMIC_STRING) {
      free(tables);
      return refuse(so, len);
    }
    where = static_cast<char*>(calloc(1, static_cast<size_t>(len)));
    if (!where) {
      free(tables);
      return SO_drain(so, len) == 0 ? SE_OUT_OF_DBMS_MEM : -1;
    }
    if (SO_read_bytes(so, where, len) != len) {
      free(tables);
      free(where);
      return -1;
    }
    where[len - 1] = '\0';
  }
  if (rc != 0) {
    free(tables);
    free(where);
    return rc;
  }
  c->num_tables = n;
  c->tables = tables;
  c->where = where;
  return 0;
}


int32_t SO_write_index_def(Link* so, int16_t count, const INDEX_DEF* defs) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !defs)) return SE_INVALID_PARAM;
  if (SO_write_short(so, count) != 0) return -1;
  for (int16_t i = 0; i < count; i++) {
    const INDEX_DEF& d = defs[i];
    int16_t cols = d.columns ? d.column_count : 0;
    if (SO_write_short(so, cols) != 0) return -1;
    for (int16_t k = 0; k < cols; k++)
      if (SO_write_string(so, d.columns[k]) != 0 || SO_write_long(so, d.ascending ? d.ascending[k] : 1) != 0) return -1;
    if (SO_write_string(so, d.name) != 0 || SO_write_long(so, d.unique) != 0) return -1;
  }
  return 0;
}

int32_t SO_read_index_def(Link* so, int16_t* count, INDEX_DEF** defs) {
  if (!so || !count || !defs) return SE_INVALID_POINTER;
  *count = 0;
  *defs = nullptr;
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  if (n <= 0) return 0;
  INDEX_DEF* a = static_cast<INDEX_DEF*>(calloc(static_cast<size_t>(n), sizeof(INDEX_DEF)));
  int32_t rc = a ? 0 : SE_OUT_OF_MEMORY;
  for (int16_t i = 0; i < n; i++) {
    INDEX_DEF scratch{};
    INDEX_DEF& d = a ? a[i] : scratch;
    int16_t cols;
    if (SO_read_short(so, &cols) != 0) {
      CH_index_defs_free(a, n);
      return -1;
    }
    if (cols < 0 || cols > CH_MAX_INDEX_COLUMNS) {
      CH_index_defs_free(a, n);
      return cols < 0 ? SE_INVALID_PARAM : fail(so);
    }
    d.column_count = cols;
    d.columns = slot_block(cols, SE_INDEX_COLUMN_SLOT);
    d.ascending = static_cast<int32_t*>(calloc(static_cast<size_t>(cols ? cols : 1), sizeof(int32_t)));
    if ((!d.columns || !d.ascending) && rc == 0) rc = SE_OUT_OF_MEMORY;
    for (int16_t k = 0; k < cols; k++) {
      char scratch_name[SE_INDEX_COLUMN_SLOT];
      int32_t flag;
      int32_t r = SO_read_string(so, d.columns ? d.columns[k] : scratch_name, SE_INDEX_COLUMN_SLOT);
      if (r == -1 || SO_read_long(so, &flag) != 0) {
        if (!a) { free(scratch.columns); free(scratch.ascending); }
        CH_index_defs_free(a, n);
        return -1;
      }
      if (d.ascending) d.ascending[k] = flag;
      if (rc == 0) rc = r;
    }
    int32_t r = SO_read_string(so, d.name, sizeof d.name);
    int32_t unique;
    if (!a) {
      free(scratch.columns);
      free(scratch.ascending);
    }
    if (r == -1 || SO_read_long(so, &unique) != 0) {
      CH_index_defs_free(a, n);
      return -1;
    }
    d.unique = unique;
    if (rc == 0) rc = r;
  }
  if (rc != 0) {
    CH_index_defs_free(a, n);
    return rc;
  }
  *count = n;
  *defs = a;
  return 0;
}

int32_t SO_write_rasconstraint(Link* so, const RASCONSTRAINT* c) {
  if (!so || !c) return SE_INVALID_POINTER;
  LinkMover m(so);
  return status_of(nio_write_rasconstraint(&m, c));
}

int32_t SO_read_rasconstraint(Link* so, RASCONSTRAINT** c) {
  if (!so || !c) return SE_INVALID_POINTER;
  *c = nullptr;
  LinkMover m(so);
  return status_of(nio_read_rasconstraint(&m, c));
}

// ---- 8. spatial filters -------------------------------------------------------------
//
// The filters and their relation-string slots live in one block; each shape
// filter owns its feature (with point arrays) and the feature's reference.





int32_t SO_write_filter_array(Link* so, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !filters)) return SE_INVALID_PARAM;
  for (int16_t i = 0; i < count; i++)
    if (filters[i].filter_type == SE_SHAPE_FILTER && (!filters[i].filter.shape || !filters[i].filter.shape->coordref))
      return SE_INVALID_POINTER;
  if (SO_write_short(so, count) != 0) return -1;
  LinkMover m(so);
  for (int16_t i = 0; i < count; i++) {
    if (nio_write_filter_image(&m, &filters[i], legacy) != 0) return -1;
    if (!legacy && filters[i].method == SM_CBM && SO_write_string(so, filters[i].cbm ? filters[i].cbm : "") != 0)
      return -1;
  }
  for (int16_t i = 0; i < count; i++) {
    if (filters[i].filter_type != SE_SHAPE_FILTER) continue;
    const FEATURE_STRUCT* f = filters[i].filter.shape;
    if (SO_writef(so, f) != 0 || SO_write_coordref(so, f->coordref, legacy) != 0) return -1;
  }
  return 0;
}

int32_t SO_read_filter_array(Link* so, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy) {
  if (!so || !count || !filters) return SE_INVALID_POINTER;
  *count = 0;
  *filters = nullptr;
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  if (n <= 0) return n < 0 ? SE_INVALID_PARAM : 0;
  if (n > CH_MAX_FILTERS) return fail(so);
  SPATIAL_FILTER* a = ch_filter_block(n);
  if (!a) return fail(so);  // the rest of the array cannot be read past
  LinkMover m(so);
  int32_t rc = 0;
  for (int16_t i = 0; i < n; i++) {
    if (nio_read_filter_image(&m, &a[i], legacy) != 0) {
      free(a);
      return -1;
    }
    if (a[i].filter_type == SE_SHAPE_FILTER) a[i].filter.shape = nullptr;  // the peer's word is not ours
    a[i].cbm = nullptr;
    if (!legacy && a[i].method == SM_CBM) {
      a[i].cbm = ch_filter_cbm_slot(a, n, i);
      int32_t r = SO_read_string(so, a[i].cbm, SE_FILTER_CBM_SLOT);
      if (r == -1) {
        free(a);
        return -1;
      }
      if (rc == 0) rc = r;
    }
  }
  for (int16_t i = 0; i < n; i++) {
    if (a[i].filter_type != SE_SHAPE_FILTER) continue;
    int32_t r = ch_filter_new_shape(&a[i]);
    if (r != 0) {
      CH_filters_free(a, n);
      return fail(so);  // the shapes that follow cannot be placed
    }
    r = SO_readf(so, a[i].filter.shape, 1);
    if (r == 0) r = SO_read_coordref(so, a[i].filter.shape->coordref, legacy);
    if (r != 0) {
      CH_filters_free(a, n);
      return r;
    }
  }
  if (rc != 0) {
    CH_filters_free(a, n);
    return rc;
  }
  *count = n;
  *filters = a;
  return 0;
}

}  // namespace memchan
}  // namespace zul
