// sock_io.cpp -- the socket transport (channel kind 0): native images on TCP.
//
// Relies on the OS layer's socket calls, SES_buffer_alloc for the buffer
// block, and the native image codecs (native_io). Divisions:
//   1. the buffered byte mover (write, read, flush, data waiting)
//   2. scalars
//   3. arrays, texts, blocks and blob segments
//   4. records (images, lists, counted arrays, states, locators)
//   5. shapes, constructs, index definitions, raster constraints
//   6. spatial filters
//
// Notes on the byte mover:
//  1. Output collects in the output buffer and leaves in one send when the
//     buffer is full, at a flush, or before any read; a write larger than the
//     whole buffer, into an empty buffer, goes straight to the socket.
//  2. Input is received in as large pieces as the free space allows (at most
//     65535 bytes a receive); a read larger than the whole input buffer is
//     received straight into its destination.
//  3. A transfer that moves fewer bytes than asked loses the item boundary:
//     out_of_step is set and stays set.
#include "sock_io.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "svr_services.h"
#include "zulos.h"

namespace {

constexpr int32_t kMaxRecv = 65535;

int32_t round8(int32_t n) { return (n + 7) & ~7; }

// Little-endian images of the scalars.
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

// Receives at least need and at most max bytes into dest: the count received
// (less than need when the peer closed), or -1.
int32_t recv_step(int sock, char* dest, int32_t need, int32_t max) {
  int32_t got = 0;
  while (got < need) {
    int32_t ask = max - got;
    if (ask > kMaxRecv) ask = kMaxRecv;
    ssize_t n = zulos_socket_recv(sock, dest + got, static_cast<size_t>(ask));
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<int32_t>(n);
  }
  return got;
}

int32_t fail(SO_OBJECT* so) {
  so->out_of_step = 1;
  return -1;
}

int32_t write_u32(SO_OBJECT* so, uint32_t v) {
  unsigned char b[4];
  put_u32(b, v);
  return SO_write_bytes(so, b, 4) == 4 ? 0 : -1;
}
int32_t read_u32(SO_OBJECT* so, uint32_t* v) {
  unsigned char b[4];
  if (SO_read_bytes(so, b, 4) != 4) return -1;
  *v = get_u32(b);
  return 0;
}

// Throws away a refused item of n bytes and answers the refusal.
int32_t refuse(SO_OBJECT* so, int64_t n) {
  if (SO_drain(so, n) != 0) return -1;
  return SE_INVALID_PARAM;
}

}  // namespace

// ---- 1. the buffered byte mover -----------------------------------------

SO_OBJECT* SO_create(const int* sock, int32_t out_size, int32_t in_size) {
  if (!sock || out_size < 0 || in_size < 0) return nullptr;
  SO_OBJECT* so = static_cast<SO_OBJECT*>(calloc(1, sizeof(SO_OBJECT)));
  if (!so) return nullptr;
  so->sock = *sock;
  if (out_size > 0 && in_size > 0) {
    int32_t in = round8(in_size), out = round8(out_size);
    char* block = static_cast<char*>(SES_buffer_alloc(static_cast<size_t>(in) + static_cast<size_t>(out)));
    if (!block) {
      free(so);
      return nullptr;
    }
    so->in_start = so->in_cursor = so->in_end = block;
    so->in_size = in;
    so->out_start = so->out_cursor = so->out_end = block + in;
    so->out_size = out;
  }
  return so;
}

void SO_destroy(SO_OBJECT* so) {
  if (!so) return;
  SO_flush(so);
  if (so->in_start)
    SES_buffer_free(so->in_start, static_cast<size_t>(so->in_size) + static_cast<size_t>(so->out_size));
  free(so);
}

int32_t SO_flush(SO_OBJECT* so) {
  if (!so) return -1;
  int32_t pending = static_cast<int32_t>(so->out_end - so->out_start);
  if (pending == 0) return 0;
  int32_t sent = CH_writen(so->sock, so->out_start, pending);
  so->out_cursor = so->out_end = so->out_start;
  return sent == pending ? 0 : fail(so);
}

int32_t SO_data_waiting(SO_OBJECT* so) {
  if (!so) return -1;
  if (so->in_end > so->in_cursor) return 1;
  return zulos_socket_readable(so->sock, 0);
}

int32_t SO_write_bytes(SO_OBJECT* so, const void* data, int32_t n) {
  if (n < 0) return -1;
  const char* src = static_cast<const char*>(data);
  if (so->out_size == 0) return CH_writen(so->sock, src, n) == n ? n : fail(so);
  int32_t left = n;
  while (left > 0) {
    int32_t pending = static_cast<int32_t>(so->out_end - so->out_start);
    int32_t room = so->out_size - pending;
    int32_t take;
    if (left <= room) {
      take = left;
    } else if (pending > 0) {
      take = room;
    } else {
      if (CH_writen(so->sock, src, left) != left) return fail(so);
      return n;
    }
    memcpy(so->out_cursor, src, static_cast<size_t>(take));
    so->out_cursor += take;
    so->out_end = so->out_cursor;
    src += take;
    left -= take;
    if (so->out_end - so->out_start == so->out_size && SO_flush(so) != 0) return -1;
  }
  return n;
}

int32_t SO_read_bytes(SO_OBJECT* so, void* dest, int32_t n) {
  if (n < 0) return -1;
  if (SO_flush(so) != 0) return -1;
  char* dst = static_cast<char*>(dest);
  if (so->in_size == 0) return recv_step(so->sock, dst, n, n) == n ? n : fail(so);
  int32_t want = n;
  int32_t unread = static_cast<int32_t>(so->in_end - so->in_cursor);
  if (unread == 0) so->in_cursor = so->in_end = so->in_start;
  if (unread < want) {
    int32_t missing = want - unread;
    while (missing > 0) {
      int32_t room = static_cast<int32_t>(so->in_start + so->in_size - so->in_end);
      if (room >= missing) {
        int32_t got = recv_step(so->sock, so->in_end, missing, room);
        if (got < missing) return fail(so);
        so->in_end += got;
        missing = 0;
      } else if (so->in_end > so->in_cursor) {
        int32_t have = static_cast<int32_t>(so->in_end - so->in_cursor);
        memcpy(dst, so->in_cursor, static_cast<size_t>(have));
        dst += have;
        want -= have;
        so->in_cursor = so->in_end = so->in_start;
      } else if (so->in_size < missing) {
        if (recv_step(so->sock, dst, missing, missing) != missing) return fail(so);
        return n;
      } else {
        so->in_cursor = so->in_end = so->in_start;
      }
    }
  }
  memcpy(dst, so->in_cursor, static_cast<size_t>(want));
  so->in_cursor += want;
  if (so->in_cursor == so->in_end) so->in_cursor = so->in_end = so->in_start;
  return n;
}

int32_t SO_drain(SO_OBJECT* so, int64_t n) {
  if (n < 0 || n > CH_MAX_DRAIN) return fail(so);
  char scratch[4096];
  while (n > 0) {
    int32_t take = n > static_cast<int64_t>(sizeof scratch) ? static_cast<int32_t>(sizeof scratch) : static_cast<int32_t>(n);
    if (SO_read_bytes(so, scratch, take) != take) return -1;
    n -= take;
  }
  return 0;
}

// ---- 2. scalars -----------------------------------------------------------

int32_t SO_write_long(SO_OBJECT* so, int32_t value) { return write_u32(so, static_cast<uint32_t>(value)); }
int32_t SO_read_long(SO_OBJECT* so, int32_t* value) {
  uint32_t v;
  if (read_u32(so, &v) != 0) return -1;
  *value = static_cast<int32_t>(v);
  return 0;
}
int32_t SO_write_ulong(SO_OBJECT* so, uint32_t value) { return write_u32(so, value); }
int32_t SO_read_ulong(SO_OBJECT* so, uint32_t* value) { return read_u32(so, value); }
int32_t SO_write_float(SO_OBJECT* so, float value) {
  uint32_t v;
  memcpy(&v, &value, 4);
  return write_u32(so, v);
}
int32_t SO_read_float(SO_OBJECT* so, float* value) {
  uint32_t v;
  if (read_u32(so, &v) != 0) return -1;
  memcpy(value, &v, 4);
  return 0;
}
int32_t SO_write_short(SO_OBJECT* so, int16_t value) {
  unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(static_cast<uint16_t>(value) >> 8)};
  return SO_write_bytes(so, b, 2) == 2 ? 0 : -1;
}
int32_t SO_read_short(SO_OBJECT* so, int16_t* value) {
  unsigned char b[2];
  if (SO_read_bytes(so, b, 2) != 2) return -1;
  *value = static_cast<int16_t>(b[0] | b[1] << 8);
  return 0;
}
int32_t SO_write_lfloat(SO_OBJECT* so, double value) {
  uint64_t v;
  memcpy(&v, &value, 8);
  unsigned char b[8];
  put_u64(b, v);
  return SO_write_bytes(so, b, 8) == 8 ? 0 : -1;
}
int32_t SO_read_lfloat(SO_OBJECT* so, double* value) {
  unsigned char b[8];
  if (SO_read_bytes(so, b, 8) != 8) return -1;
  uint64_t v = get_u64(b);
  memcpy(value, &v, 8);
  return 0;
}

// ---- 3. arrays, texts, blocks and blob segments ---------------------------

int32_t SO_write_lfloat_array(SO_OBJECT* so, int32_t count, const double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < count; i++)
    if (SO_write_lfloat(so, values[i]) != 0) return -1;
  return 0;
}

int32_t SO_read_lfloat_array(SO_OBJECT* so, int32_t count, double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < count; i++)
    if (SO_read_lfloat(so, &values[i]) != 0) return -1;
  return 0;
}

int32_t SO_write_short_array(SO_OBJECT* so, int16_t count, const int16_t* values) {
  if (count > 0 && !values) return SE_INVALID_POINTER;
  if (SO_write_short(so, count) != 0) return -1;
  for (int16_t i = 0; i < count; i++)
    if (SO_write_short(so, values[i]) != 0) return -1;
  return 0;
}

int32_t SO_read_short_array(SO_OBJECT* so, int16_t* count, int16_t* values, int32_t cap) {
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  *count = 0;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > cap || (n > 0 && !values)) return refuse(so, static_cast<int64_t>(n) * 2);
  for (int16_t i = 0; i < n; i++)
    if (SO_read_short(so, &values[i]) != 0) return -1;
  *count = n;
  return 0;
}

int32_t SO_write_fid_array(SO_OBJECT* so, int32_t count, const int32_t* ids) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < count; i++)
    if (SO_write_long(so, ids[i]) != 0) return -1;
  return 0;
}

int32_t SO_read_fid_array(SO_OBJECT* so, int32_t count, int32_t* ids) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < count; i++)
    if (SO_read_long(so, &ids[i]) != 0) return -1;
  return 0;
}

int32_t SO_write_string(SO_OBJECT* so, const char* text) {
  size_t len = text ? strlen(text) : 0;
  if (len >= static_cast<size_t>(INT32_MAX)) return SE_INVALID_PARAM;
  int32_t n = len ? static_cast<int32_t>(len) + 1 : 0;
  if (SO_write_long(so, n) != 0) return -1;
  if (n > 0 && SO_write_bytes(so, text, n) != n) return -1;
  return 0;
}

int32_t SO_read_string(SO_OBJECT* so, char* buf, int32_t cap) {
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

int32_t SO_write_dynamic_string(SO_OBJECT* so, const char* text) { return SO_write_string(so, text); }

int32_t SO_read_dynamic_string(SO_OBJECT* so, char** text) {
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

int32_t SO_write_date(SO_OBJECT* so, const SE_DATE* d) {
  const int32_t v[9] = {d->sec, d->min, d->hour, d->mday, d->mon, d->year, d->wday, d->yday, d->isdst};
  for (int32_t x : v)
    if (SO_write_long(so, x) != 0) return -1;
  return 0;
}

int32_t SO_read_date(SO_OBJECT* so, SE_DATE* d) {
  int32_t v[9];
  for (int32_t& x : v)
    if (SO_read_long(so, &x) != 0) return -1;
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

int32_t SO_write_block(SO_OBJECT* so, const void* data, int32_t len) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  return SO_write_bytes(so, data, len) == len ? 0 : -1;
}

int32_t SO_read_block(SO_OBJECT* so, void* buf, int32_t len) {
  if (len < 0 || (len > 0 && !buf)) return SE_INVALID_PARAM;
  return SO_read_bytes(so, buf, len) == len ? 0 : -1;
}

int32_t SO_write_blob_seg(SO_OBJECT* so, const void* data, int32_t len, int32_t last) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  if (SO_write_long(so, len) != 0 || SO_write_long(so, last) != 0) return -1;
  if (len > 0 && SO_write_bytes(so, data, len) != len) return -1;
  return 0;
}

int32_t SO_read_blob_seg(SO_OBJECT* so, void* buf, int32_t cap, int32_t* len, int32_t* last) {
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

int32_t SO_write_blob_end(SO_OBJECT*, int32_t, int32_t) { return 0; }
int32_t SO_read_blob_end(SO_OBJECT*, int32_t, int32_t) { return 0; }

// ---- 4. records -------------------------------------------------------------
//
// The images come from native_io; this division adds the framing around them
// (lists, counted arrays) and maps their failures onto the transport's
// statuses.

#include "native_io.h"

namespace {

// The transport seen as a byte mover for the image codecs.
class SoMover final : public zul::ByteMover {
 public:
  explicit SoMover(SO_OBJECT* so) : so_(so) {}
  int put(const void* bytes, size_t len) override {
    return SO_write_bytes(so_, bytes, static_cast<int32_t>(len)) == static_cast<int32_t>(len) ? 0 : -1;
  }
  int get(void* bytes, size_t len) override {
    return SO_read_bytes(so_, bytes, static_cast<int32_t>(len)) == static_cast<int32_t>(len) ? 0 : -1;
  }

 private:
  SO_OBJECT* so_;
};

int32_t status_of(int rc) { return rc == 0 ? 0 : rc == SE_OUT_OF_MEMORY ? SE_OUT_OF_MEMORY : -1; }

template <class T, class Fn>
int32_t put_rec(SO_OBJECT* so, const T* rec, Fn write) {
  if (!so || !rec) return SE_INVALID_POINTER;
  SoMover m(so);
  return status_of(write(&m, rec));
}

template <class T, class Fn>
int32_t get_rec(SO_OBJECT* so, T* rec, Fn read) {
  if (!so || !rec) return SE_INVALID_POINTER;
  SoMover m(so);
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
int32_t put_list(SO_OBJECT* so, const T* list, int32_t count, Fn write) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !list)) return SE_INVALID_PARAM;
  if (SO_write_long(so, count) != 0) return -1;
  SoMover m(so);
  for (int32_t i = 0; i < count; i++)
    if (int rc = write(&m, &list[i])) return status_of(rc);
  return 0;
}

// Reads a list into list[0..cap); records beyond cap are read into a scratch
// record and dropped, and the read is refused.
// *seen (when given) receives the number of records read from the wire,
// refused ones included, so trailing parts can be read for each.
template <class T, class Fn>
int32_t get_list(SO_OBJECT* so, T* list, int32_t cap, int32_t* count, int32_t max, Fn read, int32_t* seen = nullptr) {
  if (!so || !count) return SE_INVALID_POINTER;
  *count = 0;
  if (seen) *seen = 0;
  int32_t n;
  if (SO_read_long(so, &n) != 0) return -1;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > max) return fail(so);
  SoMover m(so);
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
  int32_t SO_write_##item(SO_OBJECT* so, const T* rec) { return put_rec(so, rec, nio_write_##nio); } \
  int32_t SO_read_##item(SO_OBJECT* so, T* rec) { return get_rec(so, rec, nio_read_##nio); }
#define SO_LIST_DEF(item, T, nio, max)                                                  \
  int32_t SO_write_##item##_list(SO_OBJECT* so, const T* list, int32_t count) {          \
    return put_list(so, list, count, nio_write_##nio);                                   \
  }                                                                                      \
  int32_t SO_read_##item##_list(SO_OBJECT* so, T* list, int32_t cap, int32_t* count) {   \
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

int32_t SO_write_layer(SO_OBJECT* so, const LAYER* l, int32_t legacy) {
  return put_rec(so, l, [legacy](zul::ByteMover* m, const LAYER* r) { return nio_write_layer(m, r, legacy); });
}
int32_t SO_read_layer(SO_OBJECT* so, LAYER* l, int32_t legacy) {
  return get_rec(so, l, [legacy](zul::ByteMover* m, LAYER* r) { return nio_read_layer(m, r, legacy); });
}
int32_t SO_write_layer_list(SO_OBJECT* so, const LAYER* list, int32_t count, int32_t legacy) {
  return put_list(so, list, count, [legacy](zul::ByteMover* m, const LAYER* r) { return nio_write_layer(m, r, legacy); });
}
int32_t SO_read_layer_list(SO_OBJECT* so, LAYER* list, int32_t cap, int32_t* count, int32_t legacy) {
  return get_list(so, list, cap, count, CH_MAX_LIST,
                  [legacy](zul::ByteMover* m, LAYER* r) { return nio_read_layer(m, r, legacy); });
}
int32_t SO_write_coordref(SO_OBJECT* so, const COORDREF* c, int32_t legacy) {
  return put_rec(so, c, [legacy](zul::ByteMover* m, const COORDREF* r) { return nio_write_coordref(m, r, legacy); });
}
int32_t SO_read_coordref(SO_OBJECT* so, COORDREF* c, int32_t legacy) {
  return get_rec(so, c, [legacy](zul::ByteMover* m, COORDREF* r) { return nio_read_coordref(m, r, legacy); });
}
int32_t SO_write_release(SO_OBJECT* so, const RELEASE* r) { return put_rec(so, r, nio_write_release); }
int32_t SO_read_release(SO_OBJECT* so, RELEASE* r, int32_t legacy) {
  return get_rec(so, r, [legacy](zul::ByteMover* m, RELEASE* x) { return nio_read_release(m, x, legacy); });
}
int32_t SO_write_metadata(SO_OBJECT* so, const METADATA_RECORD* r, int32_t older) {
  return put_rec(so, r, [older](zul::ByteMover* m, const METADATA_RECORD* x) { return nio_write_metadata(m, x, older); });
}
int32_t SO_read_metadata(SO_OBJECT* so, METADATA_RECORD* r, int32_t older) {
  return get_rec(so, r, [older](zul::ByteMover* m, METADATA_RECORD* x) { return nio_read_metadata(m, x, older); });
}
int32_t SO_write_metadata_list(SO_OBJECT* so, const METADATA_RECORD* list, int32_t count, int32_t older) {
  return put_list(so, list, count,
                  [older](zul::ByteMover* m, const METADATA_RECORD* x) { return nio_write_metadata(m, x, older); });
}
int32_t SO_read_metadata_list(SO_OBJECT* so, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older) {
  return get_list(so, list, cap, count, CH_MAX_LIST,
                  [older](zul::ByteMover* m, METADATA_RECORD* x) { return nio_read_metadata(m, x, older); });
}

namespace {
// A 2-byte count and that many images; the read allocates the array.
template <class T, class Fn>
int32_t put_counted(SO_OBJECT* so, int16_t count, const T* items, Fn write) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !items)) return SE_INVALID_PARAM;
  if (SO_write_short(so, count) != 0) return -1;
  SoMover m(so);
  for (int16_t i = 0; i < count; i++)
    if (int rc = write(&m, &items[i])) return status_of(rc);
  return 0;
}

template <class T, class Fn>
int32_t get_counted(SO_OBJECT* so, int16_t* count, T** items, Fn read) {
  if (!so || !count || !items) return SE_INVALID_POINTER;
  *count = 0;
  *items = nullptr;
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  if (n <= 0) return 0;
  T* a = static_cast<T*>(calloc(static_cast<size_t>(n), sizeof(T)));
  SoMover m(so);
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

int32_t SO_write_column_def(SO_OBJECT* so, int16_t count, const COLUMN_DEF* defs, int32_t legacy) {
  return put_counted(so, count, defs,
                     [legacy](zul::ByteMover* m, const COLUMN_DEF* c) { return nio_write_column_def(m, c, legacy); });
}
int32_t SO_read_column_def(SO_OBJECT* so, int16_t* count, COLUMN_DEF** defs, int32_t legacy) {
  return get_counted(so, count, defs,
                     [legacy](zul::ByteMover* m, COLUMN_DEF* c) { return nio_read_column_def(m, c, legacy); });
}
int32_t SO_write_input_desc(SO_OBJECT* so, int16_t count, const INPUT_DESC* descs) {
  return put_counted(so, count, descs, nio_write_input_desc);
}
int32_t SO_read_input_desc(SO_OBJECT* so, int16_t* count, INPUT_DESC** descs) {
  return get_counted(so, count, descs, nio_read_input_desc);
}

// States and locators carry trailing parts after all the images of a list.

#include "anno.h"
#include "comp_ftr.h"

// The byte length of a packed lineage: its first varLONG counts the bytes
// after it.
int32_t ch_lineage_bytes(const STATE* s) {
  if (!s->lineage) return 0;
  int32_t rest = 0;
  SES_decode_varLONG(s->lineage, &rest);
  if (rest < 0) return 0;
  return rest + SES_size_varLONG_array(&rest, 1);
}

namespace {

int32_t put_lineage(SO_OBJECT* so, const STATE* s) {
  int32_t len = ch_lineage_bytes(s);
  if (SO_write_long(so, len) != 0) return -1;
  return len > 0 && SO_write_bytes(so, s->lineage, len) != len ? -1 : 0;
}

int32_t get_lineage(SO_OBJECT* so, STATE* s) {
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

int32_t put_properties(SO_OBJECT* so, const LOCATOR* l) {
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

int32_t get_properties(SO_OBJECT* so, LOCATOR* l) {
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

int32_t SO_write_state(SO_OBJECT* so, const STATE* s, int32_t older) {
  int32_t rc = put_rec(so, s, [older](zul::ByteMover* m, const STATE* x) { return nio_write_state(m, x, older); });
  return rc ? rc : put_lineage(so, s);
}

int32_t SO_read_state(SO_OBJECT* so, STATE* s, int32_t older) {
  int32_t rc = get_rec(so, s, [older](zul::ByteMover* m, STATE* x) { return nio_read_state(m, x, older); });
  return rc ? rc : get_lineage(so, s);
}

int32_t SO_write_state_list(SO_OBJECT* so, const STATE* list, int32_t count, int32_t older) {
  int32_t rc = put_list(so, list, count, [older](zul::ByteMover* m, const STATE* x) { return nio_write_state(m, x, older); });
  for (int32_t i = 0; rc == 0 && i < count; i++) rc = put_lineage(so, &list[i]);
  return rc;
}

int32_t SO_read_state_list(SO_OBJECT* so, STATE* list, int32_t cap, int32_t* count, int32_t older) {
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

int32_t SO_write_locator(SO_OBJECT* so, const LOCATOR* l) {
  int32_t rc = put_rec(so, l, nio_write_locator);
  return rc ? rc : put_properties(so, l);
}

int32_t SO_read_locator(SO_OBJECT* so, LOCATOR* l) {
  int32_t rc = get_rec(so, l, nio_read_locator);
  return rc ? rc : get_properties(so, l);
}

int32_t SO_write_locator_list(SO_OBJECT* so, const LOCATOR* list, int32_t count) {
  int32_t rc = put_list(so, list, count, nio_write_locator);
  for (int32_t i = 0; rc == 0 && i < count; i++) rc = put_properties(so, &list[i]);
  return rc;
}

int32_t SO_read_locator_list(SO_OBJECT* so, LOCATOR* list, int32_t cap, int32_t* count) {
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

// ---- 5. shapes, constructs, index definitions, raster constraints ---------------

namespace {

// Reads n 32-bit values into dst, or drops them when dst is null.
int32_t get_longs(SO_OBJECT* so, int32_t* dst, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    int32_t v;
    if (SO_read_long(so, &v) != 0) return -1;
    if (dst) dst[i] = v;
  }
  return 0;
}

}  // namespace

int32_t SO_writef(SO_OBJECT* so, const FEATURE_STRUCT* f) {
  if (!so || !f) return SE_INVALID_POINTER;
  SoMover m(so);
  if (nio_write_feature_image(&m, f) != 0) {
    fprintf(stderr, "%s: errno = %d\n", "WRITE FEAT", errno);
    return -1;
  }
  int32_t n = f->numofpts > 0 && f->points ? f->numofpts : 0;
  for (int32_t i = 0; i < n; i++) {
    if (SO_write_long(so, f->points[i].x) != 0 || SO_write_long(so, f->points[i].y) != 0) {
      fprintf(stderr, "%s: errno = %d\n", "WRITE XY PTS", errno);
      return -1;
    }
  }
  for (int32_t i = 0; f->z && i < n; i++) {
    if (SO_write_long(so, f->z[i]) != 0) {
      fprintf(stderr, "%s: errno = %d\n", "WRITE Z PTS", errno);
      return -1;
    }
  }
  for (int32_t i = 0; f->m && i < n; i++) {
    if (SO_write_long(so, f->m[i]) != 0) {
      fprintf(stderr, "%s: errno = %d\n", "WRITE M VALS", errno);
      return -1;
    }
  }
  return 0;
}

int32_t SO_readf(SO_OBJECT* so, FEATURE_STRUCT* f, int32_t allocate) {
  if (!so || !f) return SE_INVALID_POINTER;
  SoMover m(so);
  int32_t present = 0;
  if (nio_read_feature_image(&m, f, &present) != 0) return -1;
  int32_t n = f->numofpts;
  bool has_pts = (present & NIO_FEATURE_HAS_POINTS) && n > 0;
  bool has_z = has_pts && (present & NIO_FEATURE_HAS_Z);
  bool has_m = has_pts && (present & NIO_FEATURE_HAS_M);
  if (!has_pts) return 0;
  int64_t bytes = static_cast<int64_t>(n) * (8 + (has_z ? 4 : 0) + (has_m ? 4 : 0));
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
      return SO_drain(so, bytes) == 0 ? SE_OUT_OF_MEMORY : -1;
    }
    f->points = pts;
    f->z = z;
    f->m = mv;
    f->allocpts = n;
  } else if (!f->points || n > f->allocpts) {
    f->numofpts = 0;
    return refuse(so, bytes);
  }
  for (int32_t i = 0; i < n; i++)
    if (SO_read_long(so, &f->points[i].x) != 0 || SO_read_long(so, &f->points[i].y) != 0) return -1;
  if (has_z ? get_longs(so, f->z, n) != 0 : false) return -1;
  if (!has_z && f->z) memset(f->z, 0, sizeof(int32_t) * static_cast<size_t>(n));
  if (has_m ? get_longs(so, f->m, n) != 0 : false) return -1;
  if (!has_m && f->m) memset(f->m, 0, sizeof(int32_t) * static_cast<size_t>(n));
  return 0;
}

int32_t SO_write_compressed_feature(SO_OBJECT* so, const FEATURE_STRUCT* f) {
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

int32_t SO_read_compressed_feature(SO_OBJECT* so, FEATURE_STRUCT* f) {
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

int32_t SO_write_construct(SO_OBJECT* so, const SQL_CONSTRUCT* c) {
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

void CH_construct_free(SQL_CONSTRUCT* c) {
  if (!c) return;
  free(c->tables);
  free(c->where);
  c->tables = nullptr;
  c->where = nullptr;
  c->num_tables = 0;
}

int32_t SO_read_construct(SO_OBJECT* so, SQL_CONSTRUCT* c) {
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

void CH_index_defs_free(INDEX_DEF* defs, int16_t count) {
  if (!defs) return;
  for (int16_t i = 0; i < count; i++) {
    free(defs[i].columns);
    free(defs[i].ascending);
  }
  free(defs);
}

int32_t SO_write_index_def(SO_OBJECT* so, int16_t count, const INDEX_DEF* defs) {
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

int32_t SO_read_index_def(SO_OBJECT* so, int16_t* count, INDEX_DEF** defs) {
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

int32_t SO_write_rasconstraint(SO_OBJECT* so, const RASCONSTRAINT* c) {
  if (!so || !c) return SE_INVALID_POINTER;
  SoMover m(so);
  return status_of(nio_write_rasconstraint(&m, c));
}

int32_t SO_read_rasconstraint(SO_OBJECT* so, RASCONSTRAINT** c) {
  if (!so || !c) return SE_INVALID_POINTER;
  *c = nullptr;
  SoMover m(so);
  return status_of(nio_read_rasconstraint(&m, c));
}

// ---- 6. spatial filters -------------------------------------------------------------
//
// The filters and their relation-string slots live in one block; each shape
// filter owns its feature (with point arrays) and the feature's reference.

void CH_filters_free(SPATIAL_FILTER* filters, int16_t count) {
  if (!filters) return;
  for (int16_t i = 0; i < count; i++) {
    if (filters[i].filter_type != SE_SHAPE_FILTER || !filters[i].filter.shape) continue;
    FEATURE_STRUCT* f = filters[i].filter.shape;
    free(f->points);
    free(f->z);
    free(f->m);
    if (f->coordref) {
      free(f->coordref->srtext);
      SgCoordRefFree(f->coordref);
    }
    free(f);
  }
  free(filters);
}

// One block for count filters and their 256-byte relation-string slots.
SPATIAL_FILTER* ch_filter_block(int16_t count) {
  size_t bytes = static_cast<size_t>(count) * (sizeof(SPATIAL_FILTER) + SE_FILTER_CBM_SLOT);
  return static_cast<SPATIAL_FILTER*>(calloc(1, bytes ? bytes : 1));
}

char* ch_filter_cbm_slot(SPATIAL_FILTER* block, int16_t count, int16_t i) {
  return reinterpret_cast<char*>(block + count) + static_cast<size_t>(i) * SE_FILTER_CBM_SLOT;
}

// A shape filter's feature, allocated with its reference: 0 or a status.
int32_t ch_filter_new_shape(SPATIAL_FILTER* f) {
  f->filter.shape = static_cast<FEATURE_STRUCT*>(calloc(1, sizeof(FEATURE_STRUCT)));
  if (!f->filter.shape) return SE_OUT_OF_MEMORY;
  int32_t rc = SgCoordRefCreate(&f->filter.shape->coordref);
  return rc == 0 ? 0 : SES_map_shape_error_to_zul(rc);
}

int32_t SO_write_filter_array(SO_OBJECT* so, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy) {
  if (!so) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !filters)) return SE_INVALID_PARAM;
  for (int16_t i = 0; i < count; i++)
    if (filters[i].filter_type == SE_SHAPE_FILTER && (!filters[i].filter.shape || !filters[i].filter.shape->coordref))
      return SE_INVALID_POINTER;
  if (SO_write_short(so, count) != 0) return -1;
  SoMover m(so);
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

int32_t SO_read_filter_array(SO_OBJECT* so, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy) {
  if (!so || !count || !filters) return SE_INVALID_POINTER;
  *count = 0;
  *filters = nullptr;
  int16_t n;
  if (SO_read_short(so, &n) != 0) return -1;
  if (n <= 0) return n < 0 ? SE_INVALID_PARAM : 0;
  if (n > CH_MAX_FILTERS) return fail(so);
  SPATIAL_FILTER* a = ch_filter_block(n);
  if (!a) return fail(so);  // the rest of the array cannot be read past
  SoMover m(so);
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
