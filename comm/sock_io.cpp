// sock_io.cpp -- the socket transport (channel kind 0): native images on TCP.
//
// Relies on CH_readn/CH_writen-style socket calls of the OS layer
// (zulos_socket_recv/send) and on nothing else. Divisions:
//   1. the buffered byte mover (write, read, flush, data waiting)
//   2. scalars
//   3. arrays, texts, blocks and blob segments
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
#include <stdlib.h>
#include <string.h>

#include <vector>

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
    char* block = static_cast<char*>(malloc(static_cast<size_t>(in) + static_cast<size_t>(out)));
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
  free(so->in_start);
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
