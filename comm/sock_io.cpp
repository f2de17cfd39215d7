// sock_io.cpp -- the socket transport (channel kind 0): native images on TCP.
//
// Relies on the OS layer's socket calls, SES_buffer_alloc for the buffer
// block, the native image codecs (native_io) and the item layer shared with
// the memory transports (native_items.inc). Divisions:
//   1. the buffered byte mover (write, read, flush, data waiting)
//   2. the socket's word moves for the item layer
//   3. the items (native_items.inc)
//   4. helpers the item layers of every transport use (lineage length,
//      filter blocks, the free functions)
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

#include "anno.h"
#include "comp_ftr.h"
#include "native_io.h"
#include "svr_services.h"
#include "zulos.h"

namespace {

constexpr int32_t kMaxRecv = 65535;

int32_t round8(int32_t n) { return (n + 7) & ~7; }

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


// ---- 2. the socket's word moves for the item layer ---------------------------
//
// The socket moves an array word by word through its buffer; the bytes are
// those of one piece.

using ItemLink = SO_OBJECT;

namespace {

int32_t put_words(SO_OBJECT* so, const void* words, int32_t n, size_t width) {
  if (n < 0) return -1;
  const unsigned char* src = static_cast<const unsigned char*>(words);
  for (int32_t i = 0; i < n; i++, src += width) {
    int32_t rc;
    if (width == 2) {
      int16_t v;
      memcpy(&v, src, 2);
      rc = SO_write_short(so, v);
    } else if (width == 4) {
      int32_t v;
      memcpy(&v, src, 4);
      rc = SO_write_long(so, v);
    } else {
      double v;
      memcpy(&v, src, 8);
      rc = SO_write_lfloat(so, v);
    }
    if (rc != 0) return -1;
  }
  return 0;
}

// Reads n words of width bytes into dst, or reads and drops them when dst is
// null.
int32_t get_words(SO_OBJECT* so, void* dst, int32_t n, size_t width) {
  if (n < 0) return -1;
  unsigned char* out = static_cast<unsigned char*>(dst);
  for (int32_t i = 0; i < n; i++) {
    unsigned char v[8];
    int32_t rc;
    if (width == 2) {
      int16_t s;
      rc = SO_read_short(so, &s);
      memcpy(v, &s, 2);
    } else if (width == 4) {
      int32_t l;
      rc = SO_read_long(so, &l);
      memcpy(v, &l, 4);
    } else {
      double d;
      rc = SO_read_lfloat(so, &d);
      memcpy(v, &d, 8);
    }
    if (rc != 0) return -1;
    if (out) memcpy(out + static_cast<size_t>(i) * width, v, width);
  }
  return 0;
}

int32_t put_xy(SO_OBJECT* so, const POINT* points, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (SO_write_long(so, points[i].x) != 0 || SO_write_long(so, points[i].y) != 0) return -1;
  return 0;
}

int32_t get_xy(SO_OBJECT* so, POINT* points, int32_t n) {
  for (int32_t i = 0; i < n; i++)
    if (SO_read_long(so, &points[i].x) != 0 || SO_read_long(so, &points[i].y) != 0) return -1;
  return 0;
}

// A refused shape's arrays leave in one drain.
int32_t drop_shape_arrays(SO_OBJECT* so, int32_t n, bool has_z, bool has_m) {
  int64_t bytes = static_cast<int64_t>(n) * (8 + (has_z ? 4 : 0) + (has_m ? 4 : 0));
  return SO_drain(so, bytes);
}

}  // namespace

// ---- 3. the items ---------------------------------------------------------------

#include "native_items.inc"

// ---- 4. helpers the item layers of every transport use ---------------------------

// The byte length of a packed lineage: its first varLONG counts the bytes
// after it.
int32_t ch_lineage_bytes(const STATE* s) {
  if (!s->lineage) return 0;
  int32_t rest = 0;
  SES_decode_varLONG(s->lineage, &rest);
  if (rest < 0) return 0;
  return rest + SES_size_varLONG_array(&rest, 1);
}

void CH_construct_free(SQL_CONSTRUCT* c) {
  if (!c) return;
  free(c->tables);
  free(c->where);
  c->tables = nullptr;
  c->where = nullptr;
  c->num_tables = 0;
}

void CH_index_defs_free(INDEX_DEF* defs, int16_t count) {
  if (!defs) return;
  for (int16_t i = 0; i < count; i++) {
    free(defs[i].columns);
    free(defs[i].ascending);
  }
  free(defs);
}

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
