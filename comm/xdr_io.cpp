// xdr_io.cpp -- the XDR transport (channel kind 1) over libtirpc's xdrrec.
//
// Relies on libtirpc for the record-marking stream and the XDR primitives,
// and on the OS layer for the socket calls. Divisions:
//   1. the stream, its socket callbacks and the mode switch
//   2. scalars
//   3. arrays, texts, blocks and blob segments
//
// Notes:
//  1. One record per item: a write ends the record before it without sending
//     it; a read sends the pending record, decodes, and skips to its record's
//     end, so the next read starts at a boundary.
//  2. A read that fails inside a record (a malformed or over-long item) skips
//     the rest of that record, so the peer and the stream stay in step. Only
//     a failure of the socket (reset, closed, error) sets out_of_step.
//  3. The records' 32-bit integers are encoded with xdr_int and
//     xdr_u_int on int32_t: on this platform xdr_long works on 64-bit longs.
//  4. Texts are framed by hand as a 4-byte length and padded bytes, which is
//     the XDR string on the wire; so a length is checked against the
//     caller's capacity before a byte lands in the caller's buffer.
#include "xdr_io.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "zulos.h"

namespace {

// The stream and its handle in one block; the stream comes first, so the
// XDR pointer handed out is also the block's address.
struct XdrChan {
  XDR xdr;
  int32_t sock;          // connected socket
  int32_t blob;          // set while a blob's segments are being written
  int32_t out_of_step;   // the socket failed inside an item
};
static_assert(offsetof(XdrChan, xdr) == 0, "the stream starts the block");

XdrChan* chan_of(XDR* x) { return reinterpret_cast<XdrChan*>(x); }

int recv_cb(void* handle, void* buf, int len) {
  XdrChan* c = static_cast<XdrChan*>(handle);
  ssize_t n = zulos_socket_recv(c->sock, buf, static_cast<size_t>(len));
  if (n <= 0) {
    c->out_of_step = 1;
    return -1;
  }
  return static_cast<int>(n);
}

int send_cb(void* handle, void* buf, int len) {
  XdrChan* c = static_cast<XdrChan*>(handle);
  const char* p = static_cast<const char*>(buf);
  int left = len;
  while (left > 0) {
    ssize_t n = zulos_socket_send(c->sock, p, static_cast<size_t>(left));
    if (n <= 0) {
      c->out_of_step = 1;
      return -1;
    }
    p += n;
    left -= static_cast<int>(n);
  }
  return len;
}

// Encodes len zero bytes of padding up to the next multiple of 4 of total.
bool put_padding(XDR* x, uint32_t total) {
  static char zeros[4];
  uint32_t pad = (4 - total % 4) % 4;
  return pad == 0 || XDR_PUTBYTES(x, zeros, pad);
}

bool get_padding(XDR* x, uint32_t total) {
  char pad_bytes[4];
  uint32_t pad = (4 - total % 4) % 4;
  return pad == 0 || XDR_GETBYTES(x, pad_bytes, pad);
}

// Reads and drops n raw bytes inside the current record.
bool drop_bytes(XDR* x, int64_t n) {
  char scratch[4096];
  while (n > 0) {
    uint32_t take = n > static_cast<int64_t>(sizeof scratch) ? static_cast<uint32_t>(sizeof scratch) : static_cast<uint32_t>(n);
    if (!XDR_GETBYTES(x, scratch, take)) return false;
    n -= take;
  }
  return true;
}

bool enc_text(XDR* x, const char* text, uint32_t len) {
  return xdr_u_int(x, &len) && xdr_opaque(x, const_cast<char*>(text), len);
}

}  // namespace

// ---- 1. the stream, its socket callbacks and the mode switch ---------------

XDR* XDR_create(const int* sock, uint32_t send_size, uint32_t recv_size) {
  if (!sock) return nullptr;
  XdrChan* c = static_cast<XdrChan*>(calloc(1, sizeof(XdrChan)));
  if (!c) return nullptr;
  c->sock = *sock;
  xdrrec_create(&c->xdr, send_size, recv_size, c, recv_cb, send_cb);
  if (!c->xdr.x_ops) {
    free(c);
    return nullptr;
  }
  c->xdr.x_op = XDR_DECODE;
  xdrrec_skiprecord(&c->xdr);
  return &c->xdr;
}

void XDR_destroy(XDR* x, int32_t flush) {
  if (!x) return;
  if (flush) XDR_flush(x);
  xdr_destroy(x);
  free(chan_of(x));
}

XDR* XDR_set_read_mode(XDR* x) {
  x->x_op = XDR_DECODE;
  return x;
}

XDR* XDR_set_write_mode(XDR* x) {
  x->x_op = XDR_ENCODE;
  return x;
}

int32_t XDR_flush(XDR* x) {
  if (!x) return -1;
  if (x->x_op != XDR_ENCODE) return 0;
  bool ok = xdrrec_endofrecord(x, TRUE);
  XDR_set_read_mode(x);
  return ok ? 0 : -1;
}

int32_t XDR_data_waiting(XDR* x) {
  if (!x) return -1;
  return zulos_socket_readable(chan_of(x)->sock, 0);
}

int32_t XDR_out_of_step(XDR* x) { return x ? chan_of(x)->out_of_step : 1; }

int32_t XDR_write_start(XDR* x) {
  if (x->x_op == XDR_DECODE) {
    XDR_set_write_mode(x);
  } else {
    if (!xdrrec_endofrecord(x, FALSE)) return -1;
    chan_of(x)->blob = 0;
  }
  return 0;
}

int32_t XDR_read_start(XDR* x) {
  if (x->x_op == XDR_ENCODE) {
    bool ok = xdrrec_endofrecord(x, TRUE);
    XDR_set_read_mode(x);
    if (!ok) return -1;
  }
  return 0;
}

int32_t XDR_read_end(XDR* x, int32_t status) {
  if (chan_of(x)->out_of_step) return status ? status : -1;
  if (!xdrrec_skiprecord(x)) return status ? status : -1;
  return status;
}

// ---- 2. scalars -----------------------------------------------------------

int32_t XDR_write_long(XDR* x, int32_t value) {
  int v = value;
  if (XDR_write_start(x) != 0) return -1;
  return xdr_int(x, &v) ? 0 : -1;
}

int32_t XDR_read_long(XDR* x, int32_t* value) {
  if (XDR_read_start(x) != 0) return -1;
  int v;
  if (!xdr_int(x, &v)) return XDR_read_end(x, -1);
  *value = v;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_ulong(XDR* x, uint32_t value) {
  u_int v = value;
  if (XDR_write_start(x) != 0) return -1;
  return xdr_u_int(x, &v) ? 0 : -1;
}

int32_t XDR_read_ulong(XDR* x, uint32_t* value) {
  if (XDR_read_start(x) != 0) return -1;
  u_int v;
  if (!xdr_u_int(x, &v)) return XDR_read_end(x, -1);
  *value = v;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_float(XDR* x, float value) {
  if (XDR_write_start(x) != 0) return -1;
  return xdr_float(x, &value) ? 0 : -1;
}

int32_t XDR_read_float(XDR* x, float* value) {
  if (XDR_read_start(x) != 0) return -1;
  float v;
  if (!xdr_float(x, &v)) return XDR_read_end(x, -1);
  *value = v;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_short(XDR* x, int16_t value) {
  short v = value;
  if (XDR_write_start(x) != 0) return -1;
  return xdr_short(x, &v) ? 0 : -1;
}

int32_t XDR_read_short(XDR* x, int16_t* value) {
  if (XDR_read_start(x) != 0) return -1;
  short v;
  if (!xdr_short(x, &v)) return XDR_read_end(x, -1);
  *value = v;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_lfloat(XDR* x, double value) {
  if (XDR_write_start(x) != 0) return -1;
  return xdr_double(x, &value) ? 0 : -1;
}

int32_t XDR_read_lfloat(XDR* x, double* value) {
  if (XDR_read_start(x) != 0) return -1;
  double v;
  if (!xdr_double(x, &v)) return XDR_read_end(x, -1);
  *value = v;
  return XDR_read_end(x, 0);
}

// ---- 3. arrays, texts, blocks and blob segments ---------------------------

int32_t XDR_write_lfloat_array(XDR* x, int32_t count, const double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  u_int n = static_cast<u_int>(count);
  if (!xdr_u_int(x, &n)) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!xdr_double(x, const_cast<double*>(&values[i]))) return -1;
  return 0;
}

int32_t XDR_read_lfloat_array(XDR* x, int32_t count, double* values) {
  if (count < 0 || (count > 0 && !values)) return SE_INVALID_PARAM;
  if (XDR_read_start(x) != 0) return -1;
  u_int n;
  if (!xdr_u_int(x, &n)) return XDR_read_end(x, -1);
  if (n > static_cast<u_int>(count)) return XDR_read_end(x, SE_INVALID_PARAM);
  for (u_int i = 0; i < n; i++)
    if (!xdr_double(x, &values[i])) return XDR_read_end(x, -1);
  return XDR_read_end(x, 0);
}

int32_t XDR_write_short_array(XDR* x, int16_t count, const int16_t* values) {
  if (count > 0 && !values) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  short n = count;
  if (!xdr_short(x, &n)) return -1;
  for (short i = 0; i < n; i++)
    if (!xdr_short(x, const_cast<short*>(&values[i]))) return -1;
  return 0;
}

int32_t XDR_read_short_array(XDR* x, int16_t* count, int16_t* values, int32_t cap) {
  *count = 0;
  if (XDR_read_start(x) != 0) return -1;
  short n;
  if (!xdr_short(x, &n)) return XDR_read_end(x, -1);
  if (n < 0 || n > cap || (n > 0 && !values)) return XDR_read_end(x, SE_INVALID_PARAM);
  for (short i = 0; i < n; i++)
    if (!xdr_short(x, &values[i])) return XDR_read_end(x, -1);
  *count = n;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_fid_array(XDR* x, int32_t count, const int32_t* ids, int32_t chunked) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  if (chunked && count == 0) return 0;
  if (XDR_write_start(x) != 0) return -1;
  u_int n = static_cast<u_int>(count);
  if (!xdr_u_int(x, &n)) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!xdr_int(x, const_cast<int*>(&ids[i]))) return -1;
  return 0;
}

int32_t XDR_read_fid_array(XDR* x, int32_t count, int32_t* ids, int32_t chunked) {
  if (count < 0 || (count > 0 && !ids)) return SE_INVALID_PARAM;
  if (chunked && count == 0) return 0;
  if (XDR_read_start(x) != 0) return -1;
  u_int n;
  if (!xdr_u_int(x, &n)) return XDR_read_end(x, -1);
  if (n != static_cast<u_int>(count)) return XDR_read_end(x, SE_INVALID_PARAM);
  for (u_int i = 0; i < n; i++)
    if (!xdr_int(x, &ids[i])) return XDR_read_end(x, -1);
  return XDR_read_end(x, 0);
}

int32_t XDR_write_string(XDR* x, const char* text) {
  if (!text) text = "";
  size_t len = strlen(text);
  if (len > CH_MAX_XDR_STRING) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  return enc_text(x, text, static_cast<uint32_t>(len)) ? 0 : -1;
}

int32_t XDR_read_string(XDR* x, char* buf, int32_t cap) {
  if (XDR_read_start(x) != 0) return -1;
  u_int len;
  if (!xdr_u_int(x, &len)) return XDR_read_end(x, -1);
  if (!buf || cap < 1 || len > CH_MAX_XDR_STRING || len >= static_cast<u_int>(cap)) {
    if (buf && cap > 0) buf[0] = '\0';
    return XDR_read_end(x, SE_INVALID_PARAM);
  }
  if (!xdr_opaque(x, buf, len)) return XDR_read_end(x, -1);
  buf[len] = '\0';
  return XDR_read_end(x, 0);
}

int32_t XDR_write_dynamic_string(XDR* x, const char* text) {
  size_t len = text ? strlen(text) : 0;
  if (len >= CH_MAX_DYNAMIC_STRING) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  int n = text ? static_cast<int>(len) + 1 : 0;
  if (!xdr_int(x, &n)) return -1;
  if (n > 0 && !enc_text(x, text, static_cast<uint32_t>(len))) return -1;
  return 0;
}

int32_t XDR_read_dynamic_string(XDR* x, char** text) {
  *text = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  int n;
  if (!xdr_int(x, &n)) return XDR_read_end(x, -1);
  if (n == 0) return XDR_read_end(x, 0);
  if (n < 0 || n > CH_MAX_DYNAMIC_STRING) return XDR_read_end(x, SE_INVALID_PARAM);
  u_int len;
  if (!xdr_u_int(x, &len)) return XDR_read_end(x, -1);
  if (len > static_cast<u_int>(n)) return XDR_read_end(x, SE_INVALID_PARAM);
  // One byte beyond the announced length holds the NUL behind a text of
  // exactly that many characters.
  char* s = static_cast<char*>(calloc(1, static_cast<size_t>(n) + 1));
  if (!s) return XDR_read_end(x, SE_OUT_OF_MEMORY);
  if (!xdr_opaque(x, s, len)) {
    free(s);
    return XDR_read_end(x, -1);
  }
  if (len == 0) {
    free(s);
    s = nullptr;
  }
  *text = s;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_date(XDR* x, const SE_DATE* d) {
  int v[9] = {d->sec, d->min, d->hour, d->mday, d->mon, d->year, d->wday, d->yday, d->isdst};
  if (XDR_write_start(x) != 0) return -1;
  for (int& f : v)
    if (!xdr_int(x, &f)) return -1;
  return 0;
}

int32_t XDR_read_date(XDR* x, SE_DATE* d) {
  memset(d, 0, sizeof *d);
  if (XDR_read_start(x) != 0) return -1;
  int* f[9] = {&d->sec, &d->min, &d->hour, &d->mday, &d->mon, &d->year, &d->wday, &d->yday, &d->isdst};
  for (int* p : f)
    if (!xdr_int(x, p)) return XDR_read_end(x, -1);
  return XDR_read_end(x, 0);
}

int32_t XDR_write_block(XDR* x, const void* data, int32_t len) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  return xdr_opaque(x, static_cast<char*>(const_cast<void*>(data)), static_cast<u_int>(len)) ? 0 : -1;
}

int32_t XDR_read_block(XDR* x, void* buf, int32_t len) {
  if (len < 0 || (len > 0 && !buf)) return SE_INVALID_PARAM;
  if (XDR_read_start(x) != 0) return -1;
  if (!xdr_opaque(x, static_cast<char*>(buf), static_cast<u_int>(len))) return XDR_read_end(x, -1);
  return XDR_read_end(x, 0);
}

// A blob's segments share one record: the first starts it, the later ones
// continue it (a read in between only turns the stream around).
static int32_t blob_write_start(XDR* x) {
  XdrChan* c = chan_of(x);
  if (!c->blob) return XDR_write_start(x);
  if (x->x_op == XDR_DECODE) XDR_set_write_mode(x);
  return 0;
}

int32_t XDR_blob_seg(XDR* x, char* data, int32_t* len, int32_t* last) {
  if (x->x_op == XDR_ENCODE) {
    int n = *len, l = *last;
    if (n < 0 || !xdr_int(x, &n) || !xdr_int(x, &l)) return 0;
    return n == 0 || XDR_PUTBYTES(x, data, static_cast<u_int>(n)) ? 1 : 0;
  }
  int cap = *len, n, l;
  if (!xdr_int(x, &n) || !xdr_int(x, &l)) return 0;
  *len = n;
  *last = l;
  if (n < 0 || n > cap) return 0;
  return n == 0 || XDR_GETBYTES(x, data, static_cast<u_int>(n)) ? 1 : 0;
}

int32_t XDR_blob_end(XDR* x, int32_t total_len) {
  if (total_len < 0) return 0;
  if (x->x_op == XDR_ENCODE) return put_padding(x, static_cast<uint32_t>(total_len)) ? 1 : 0;
  return get_padding(x, static_cast<uint32_t>(total_len)) ? 1 : 0;
}

int32_t XDR_write_blob_seg(XDR* x, const void* data, int32_t len, int32_t last) {
  if (len < 0 || (len > 0 && !data)) return SE_INVALID_PARAM;
  if (blob_write_start(x) != 0) return -1;
  int32_t n = len, l = last;
  if (!XDR_blob_seg(x, static_cast<char*>(const_cast<void*>(data)), &n, &l)) return -1;
  chan_of(x)->blob = 1;
  return 0;
}

int32_t XDR_read_blob_seg(XDR* x, void* buf, int32_t cap, int32_t* len, int32_t* last) {
  *len = 0;
  if (XDR_read_start(x) != 0) return -1;
  int n, l;
  if (!xdr_int(x, &n) || !xdr_int(x, &l)) return -1;
  *last = l;
  if (n < 0) return SE_INVALID_PARAM;
  if (n > cap || (n > 0 && !buf)) {
    // Segments carry no padding of their own: dropping the bytes keeps the
    // stream at the next segment of the same record.
    if (n > CH_MAX_DRAIN || !drop_bytes(x, n)) {
      chan_of(x)->out_of_step = 1;
      return -1;
    }
    return SE_INVALID_PARAM;
  }
  if (n > 0 && !XDR_GETBYTES(x, static_cast<char*>(buf), static_cast<u_int>(n))) return -1;
  *len = n;
  return 0;
}

int32_t XDR_write_blob_end(XDR* x, int32_t total_len, int32_t flush) {
  if (total_len < 0) return SE_INVALID_PARAM;
  if (blob_write_start(x) != 0) return -1;
  if (!XDR_blob_end(x, total_len)) return -1;
  if (flush) {
    chan_of(x)->blob = 0;
    return XDR_flush(x);
  }
  return 0;
}

int32_t XDR_read_blob_end(XDR* x, int32_t total_len, int32_t skip) {
  if (total_len < 0) return SE_INVALID_PARAM;
  if (XDR_read_start(x) != 0) return -1;
  if (!XDR_blob_end(x, total_len)) return -1;
  if (skip && !xdrrec_skiprecord(x)) return -1;
  return 0;
}

// ---- 4. records ---------------------------------------------------------------
//
// The encoders come from zul_xdr; this division frames them: one record per
// item, lists as XDR arrays with their maxima, and the coordinate references
// that follow layers and raster columns.

#include "sock_io.h"
#include "zul_xdr.h"

namespace {

template <class T>
int32_t put_rec(XDR* x, const T* rec, bool_t (*enc)(XDR*, T*)) {
  if (!x || !rec) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  return enc(x, const_cast<T*>(rec)) ? 0 : -1;
}

template <class T>
int32_t get_rec(XDR* x, T* rec, bool_t (*enc)(XDR*, T*)) {
  if (!x || !rec) return SE_INVALID_POINTER;
  if (XDR_read_start(x) != 0) return -1;
  return XDR_read_end(x, enc(x, rec) ? 0 : -1);
}

// Per-record trailers of a list (after the whole array): nothing by default.
template <class T> bool put_trailer(XDR*, const T*, int32_t) { return true; }
template <class T> bool get_trailer(XDR*, T*, int32_t) { return true; }

// A raster column's reference: a presence flag and, when 1, the COORDREF.
bool put_trailer(XDR* x, const RASTERCOLUMN* r, int32_t) {
  int present = r->coordref ? 1 : 0;
  return xdr_int(x, &present) && (!present || xdr_COORDREF(x, r->coordref));
}
bool get_trailer(XDR* x, RASTERCOLUMN* r, int32_t) {
  int present;
  if (!xdr_int(x, &present)) return false;
  if (!present) {
    if (r->coordref) {
      free(r->coordref->srtext);
      SgCoordRefFree(r->coordref);
      r->coordref = nullptr;
    }
    return true;
  }
  if (!r->coordref && SgCoordRefCreate(&r->coordref) != 0) return false;
  return xdr_COORDREF(x, r->coordref);
}

// A layer's reference; a layer without one is read through a scratch one.
bool put_trailer(XDR* x, const LAYER* l, int32_t legacy) {
  if (!l->coordref) return false;
  return legacy ? xdr_COORDREF_legacy(x, l->coordref) : xdr_COORDREF(x, l->coordref);
}
bool get_trailer(XDR* x, LAYER* l, int32_t legacy) {
  COORDREF scratch{};
  COORDREF* c = l->coordref ? l->coordref : &scratch;
  bool ok = legacy ? xdr_COORDREF_legacy(x, c) : xdr_COORDREF(x, c);
  if (c == &scratch) free(scratch.srtext);
  return ok;
}

template <class T, class Enc>
int32_t put_list(XDR* x, const T* list, int32_t count, int32_t variant, Enc enc) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !list)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  u_int n = static_cast<u_int>(count);
  if (!xdr_u_int(x, &n)) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!enc(x, const_cast<T*>(&list[i]))) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!put_trailer(x, &list[i], variant)) return -1;
  return 0;
}

template <class T, class Enc>
int32_t get_list(XDR* x, T* list, int32_t cap, int32_t* count, int32_t max, int32_t variant, Enc enc) {
  if (!x || !count) return SE_INVALID_POINTER;
  *count = 0;
  if (XDR_read_start(x) != 0) return -1;
  u_int n;
  if (!xdr_u_int(x, &n)) return XDR_read_end(x, -1);
  if (n > static_cast<u_int>(max) || n > static_cast<u_int>(cap < 0 ? 0 : cap) || (n > 0 && !list))
    return XDR_read_end(x, SE_INVALID_PARAM);
  for (u_int i = 0; i < n; i++)
    if (!enc(x, &list[i])) return XDR_read_end(x, -1);
  for (u_int i = 0; i < n; i++)
    if (!get_trailer(x, &list[i], variant)) return XDR_read_end(x, -1);
  *count = static_cast<int32_t>(n);
  return XDR_read_end(x, 0);
}

}  // namespace

#define XDR_RECORD_DEF(item, T, enc)                                                   \
  int32_t XDR_write_##item(XDR* x, const T* rec) { return put_rec<T>(x, rec, enc); }   \
  int32_t XDR_read_##item(XDR* x, T* rec) { return get_rec<T>(x, rec, enc); }
#define XDR_LIST_DEF(item, T, enc, max)                                                \
  int32_t XDR_write_##item##_list(XDR* x, const T* list, int32_t count) {              \
    return put_list(x, list, count, 0, enc);                                           \
  }                                                                                    \
  int32_t XDR_read_##item##_list(XDR* x, T* list, int32_t cap, int32_t* count) {       \
    return get_list(x, list, cap, count, max, 0, enc);                                 \
  }

XDR_RECORD_DEF(envp, ENVELOPE, xdr_ENVELOPE)
XDR_RECORD_DEF(pt3d, POINT3D, xdr_POINT3D)
XDR_RECORD_DEF(se_layer_stats, LAYER_STATS, xdr_LAYER_STATS)
XDR_RECORD_DEF(rasterattr, RASTERATTR, xdr_RASTERATTR)
XDR_RECORD_DEF(se_si_stats, S_INDEX_STATS, xdr_S_INDEX_STATS)
XDR_RECORD_DEF(registration, REGISTRATION, xdr_REGISTRATION)
XDR_RECORD_DEF(logfile, LOGFILE, xdr_LOGFILE)
XDR_RECORD_DEF(spatialref, SE_SPATIALREF, xdr_SE_SPATIALREF)
XDR_RECORD_DEF(object_lock, SE_OBJECT_LOCK, xdr_SE_OBJECT_LOCK)
XDR_RECORD_DEF(rasterband, RASTERBAND, xdr_RASTERBAND)
XDR_RECORD_DEF(raster, RASTER, xdr_RASTER)
XDR_RECORD_DEF(release, RELEASE, xdr_RELEASE)
XDR_RECORD_DEF(se_instance_config, SE_INSTANCE_CONFIG, xdr_SE_INSTANCE_CONFIG)
XDR_RECORD_DEF(se_instance_status, SE_INSTANCE_STATUS, xdr_SE_INSTANCE_STATUS)
XDR_RECORD_DEF(se_instance_stats, SE_INSTANCE_STATS, xdr_SE_INSTANCE_STATS)
XDR_RECORD_DEF(se_instance_user, SE_INSTANCE_USER, xdr_SE_INSTANCE_USER)
XDR_RECORD_DEF(se_instance_lock, SE_INSTANCE_LOCK, xdr_SE_INSTANCE_LOCK)
XDR_RECORD_DEF(se_instance_table_lock, SE_INSTANCE_TABLE_LOCK, xdr_SE_INSTANCE_TABLE_LOCK)
XDR_LIST_DEF(registration, REGISTRATION, xdr_REGISTRATION, CH_MAX_LIST)
XDR_LIST_DEF(version, VERSION, xdr_VERSION, CH_MAX_VERSION_LIST)
XDR_LIST_DEF(logfile, LOGFILE, xdr_LOGFILE, CH_MAX_LIST)
XDR_LIST_DEF(spatialref, SE_SPATIALREF, xdr_SE_SPATIALREF, CH_MAX_LIST)
XDR_LIST_DEF(object_lock, SE_OBJECT_LOCK, xdr_SE_OBJECT_LOCK, CH_MAX_LOCK_LIST)
XDR_LIST_DEF(se_layer_locks, SE_LAYER_LOCKS, xdr_SE_LAYER_LOCKS, CH_MAX_LOCK_LIST)
XDR_LIST_DEF(se_table_lock, SE_TABLE_LOCK, xdr_SE_TABLE_LOCK, CH_MAX_LOCK_LIST)
XDR_LIST_DEF(se_version_lock, SE_VERSION_LOCK, xdr_SE_VERSION_LOCK, CH_MAX_LOCK_LIST)
XDR_LIST_DEF(rasterband, RASTERBAND, xdr_RASTERBAND, CH_MAX_BAND_LIST)
XDR_LIST_DEF(rastercolumn, RASTERCOLUMN, xdr_RASTERCOLUMN, CH_MAX_LIST)

// A single version travels as a list of one.
int32_t XDR_write_version(XDR* x, const VERSION* v) { return put_list(x, v, 1, 0, xdr_VERSION); }
int32_t XDR_read_version(XDR* x, VERSION* v) {
  int32_t n = 0;
  return get_list(x, v, 1, &n, 1, 0, xdr_VERSION);
}

// A raster column: the record, its presence flag and its reference.
int32_t XDR_write_rastercolumn(XDR* x, const RASTERCOLUMN* r) {
  if (!x || !r) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  return xdr_RASTERCOLUMN(x, const_cast<RASTERCOLUMN*>(r)) && put_trailer(x, r, 0) ? 0 : -1;
}
int32_t XDR_read_rastercolumn(XDR* x, RASTERCOLUMN* r) {
  if (!x || !r) return SE_INVALID_POINTER;
  if (XDR_read_start(x) != 0) return -1;
  return XDR_read_end(x, xdr_RASTERCOLUMN(x, r) && get_trailer(x, r, 0) ? 0 : -1);
}

int32_t XDR_write_layer(XDR* x, const LAYER* l, int32_t legacy) {
  if (!x || !l || !l->coordref) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  LAYER* m = const_cast<LAYER*>(l);
  bool ok = legacy ? xdr_LAYER_legacy(x, m) : xdr_LAYER(x, m);
  return ok && put_trailer(x, l, legacy) ? 0 : -1;
}
int32_t XDR_read_layer(XDR* x, LAYER* l, int32_t legacy) {
  if (!x || !l) return SE_INVALID_POINTER;
  if (XDR_read_start(x) != 0) return -1;
  bool ok = legacy ? xdr_LAYER_legacy(x, l) : xdr_LAYER(x, l);
  return XDR_read_end(x, ok && get_trailer(x, l, legacy) ? 0 : -1);
}
int32_t XDR_write_layer_list(XDR* x, const LAYER* list, int32_t count, int32_t legacy) {
  for (int32_t i = 0; list && i < count; i++)
    if (!list[i].coordref) return SE_INVALID_POINTER;
  return put_list(x, list, count, legacy, legacy ? xdr_LAYER_legacy : xdr_LAYER);
}
int32_t XDR_read_layer_list(XDR* x, LAYER* list, int32_t cap, int32_t* count, int32_t legacy) {
  return get_list(x, list, cap, count, CH_MAX_LIST, legacy, legacy ? xdr_LAYER_legacy : xdr_LAYER);
}

int32_t XDR_write_coordref(XDR* x, const COORDREF* c, int32_t legacy) {
  return put_rec<COORDREF>(x, c, legacy ? xdr_COORDREF_legacy : xdr_COORDREF);
}
int32_t XDR_read_coordref(XDR* x, COORDREF* c, int32_t legacy) {
  return get_rec<COORDREF>(x, c, legacy ? xdr_COORDREF_legacy : xdr_COORDREF);
}

int32_t XDR_write_metadata(XDR* x, const METADATA_RECORD* r, int32_t older) {
  return put_rec<METADATA_RECORD>(x, r, older ? xdr_METADATA_RECORD_older : xdr_METADATA_RECORD);
}
int32_t XDR_read_metadata(XDR* x, METADATA_RECORD* r, int32_t older) {
  return get_rec<METADATA_RECORD>(x, r, older ? xdr_METADATA_RECORD_older : xdr_METADATA_RECORD);
}
int32_t XDR_write_metadata_list(XDR* x, const METADATA_RECORD* list, int32_t count, int32_t older) {
  return put_list(x, list, count, 0, older ? xdr_METADATA_RECORD_older : xdr_METADATA_RECORD);
}
int32_t XDR_read_metadata_list(XDR* x, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older) {
  return get_list(x, list, cap, count, CH_MAX_LIST, 0, older ? xdr_METADATA_RECORD_older : xdr_METADATA_RECORD);
}

namespace {
// The count as a short, then the records; the read allocates the array.
template <class T, class Enc>
int32_t put_counted(XDR* x, int16_t count, const T* items, Enc enc) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !items)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  short n = count;
  if (!xdr_short(x, &n)) return -1;
  for (short i = 0; i < n; i++)
    if (!enc(x, const_cast<T*>(&items[i]))) return -1;
  return 0;
}

template <class T, class Enc>
int32_t get_counted(XDR* x, int16_t* count, T** items, Enc enc) {
  if (!x || !count || !items) return SE_INVALID_POINTER;
  *count = 0;
  *items = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  short n;
  if (!xdr_short(x, &n)) return XDR_read_end(x, -1);
  if (n <= 0) return XDR_read_end(x, 0);
  T* a = static_cast<T*>(calloc(static_cast<size_t>(n), sizeof(T)));
  if (!a) return XDR_read_end(x, SE_OUT_OF_MEMORY);
  for (short i = 0; i < n; i++) {
    if (!enc(x, &a[i])) {
      free(a);
      return XDR_read_end(x, -1);
    }
  }
  *count = n;
  *items = a;
  return XDR_read_end(x, 0);
}
}  // namespace

int32_t XDR_write_column_def(XDR* x, int16_t count, const COLUMN_DEF* defs, int32_t legacy) {
  return put_counted(x, count, defs, legacy ? xdr_COLUMN_DEF_legacy : xdr_COLUMN_DEF);
}
int32_t XDR_read_column_def(XDR* x, int16_t* count, COLUMN_DEF** defs, int32_t legacy) {
  return get_counted(x, count, defs, legacy ? xdr_COLUMN_DEF_legacy : xdr_COLUMN_DEF);
}
int32_t XDR_write_input_desc(XDR* x, int16_t count, const INPUT_DESC* descs) {
  return put_counted(x, count, descs, xdr_INPUT_DESC);
}
int32_t XDR_read_input_desc(XDR* x, int16_t* count, INPUT_DESC** descs) {
  return get_counted(x, count, descs, xdr_INPUT_DESC);
}

// States and locators: lists whose records carry trailing parts.


namespace {

bool put_lineage(XDR* x, const STATE* s) {
  u_int len = static_cast<u_int>(ch_lineage_bytes(s));
  return xdr_u_int(x, &len) && (len == 0 || xdr_opaque(x, reinterpret_cast<char*>(s->lineage), len));
}

// 0, SE_INVALID_PARAM for a lineage past its limit, -1, or SE_OUT_OF_MEMORY.
int32_t get_lineage(XDR* x, STATE* s) {
  s->lineage = nullptr;
  int len;
  if (!xdr_int(x, &len)) return -1;
  if (len < 1) return 0;
  if (len > CH_MAX_LINEAGE_BYTES) return SE_INVALID_PARAM;
  uint8_t* b = static_cast<uint8_t*>(malloc(static_cast<size_t>(len)));
  if (!b) return SE_OUT_OF_MEMORY;
  if (!xdr_opaque(x, reinterpret_cast<char*>(b), static_cast<u_int>(len))) {
    free(b);
    return -1;
  }
  s->lineage = b;
  return 0;
}

int32_t put_states(XDR* x, const STATE* list, int32_t count, int32_t older) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !list)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  u_int n = static_cast<u_int>(count);
  if (!xdr_u_int(x, &n)) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!(older ? xdr_STATE_older : xdr_STATE)(x, const_cast<STATE*>(&list[i]))) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!put_lineage(x, &list[i])) return -1;
  return 0;
}

int32_t get_states(XDR* x, STATE* list, int32_t cap, int32_t* count, int32_t older) {
  if (!x || !count) return SE_INVALID_POINTER;
  *count = 0;
  if (XDR_read_start(x) != 0) return -1;
  u_int n;
  if (!xdr_u_int(x, &n)) return XDR_read_end(x, -1);
  if (n > CH_MAX_LIST || n > static_cast<u_int>(cap < 0 ? 0 : cap) || (n > 0 && !list))
    return XDR_read_end(x, SE_INVALID_PARAM);
  for (u_int i = 0; i < n; i++)
    if (!(older ? xdr_STATE_older : xdr_STATE)(x, &list[i])) return XDR_read_end(x, -1);
  for (u_int i = 0; i < n; i++) {
    if (int32_t rc = get_lineage(x, &list[i])) {
      for (u_int j = 0; j < i; j++) {
        free(list[j].lineage);
        list[j].lineage = nullptr;
      }
      return XDR_read_end(x, rc);
    }
  }
  *count = static_cast<int32_t>(n);
  return XDR_read_end(x, 0);
}

char** slot_block(int32_t n, size_t slot) {
  size_t bytes = static_cast<size_t>(n) * (sizeof(char*) + slot);
  char** p = static_cast<char**>(calloc(1, bytes ? bytes : 1));
  if (!p) return nullptr;
  char* slots = reinterpret_cast<char*>(p + n);
  for (int32_t i = 0; i < n; i++) p[i] = slots + static_cast<size_t>(i) * slot;
  return p;
}

// One locator with its property pairs right after its fields.
bool put_locator(XDR* x, const LOCATOR* l) {
  LOCATOR* m = const_cast<LOCATOR*>(l);
  if (!(xdr_int(x, &m->id) && xdr_char_field(x, m->name, 32) && xdr_char_field(x, m->owner, 32) &&
        xdr_char_field(x, m->category, 32) && xdr_int(x, &m->type) && xdr_char_field(x, m->description, 64) &&
        xdr_int(x, &m->property_count)))
    return false;
  for (int32_t i = 0; i < l->property_count; i++) {
    char empty[1] = "";
    char* name = l->property_names && l->property_names[i] ? l->property_names[i] : empty;
    char* value = l->property_values && l->property_values[i] ? l->property_values[i] : empty;
    if (!xdr_char_field(x, name, 33) || !xdr_char_field(x, value, 256)) return false;
  }
  return true;
}

bool get_locator(XDR* x, LOCATOR* l) {
  l->property_names = l->property_values = nullptr;
  if (!(xdr_int(x, &l->id) && xdr_char_field(x, l->name, 32) && xdr_char_field(x, l->owner, 32) &&
        xdr_char_field(x, l->category, 32) && xdr_int(x, &l->type) && xdr_char_field(x, l->description, 64) &&
        xdr_int(x, &l->property_count)))
    return false;
  int32_t n = l->property_count;
  if (n < 0 || n > SE_LOCATOR_MAX_PROPERTIES) return false;
  char** names = slot_block(n, 33);
  char** values = slot_block(n, 256);
  bool ok = names && values;
  for (int32_t i = 0; ok && i < n; i++) ok = xdr_char_field(x, names[i], 33) && xdr_char_field(x, values[i], 256);
  if (!ok) {
    free(names);
    free(values);
    return false;
  }
  l->property_names = names;
  l->property_values = values;
  return true;
}

int32_t put_locators(XDR* x, const LOCATOR* list, int32_t count) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !list)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  int n = count;
  if (!xdr_int(x, &n)) return -1;
  for (int32_t i = 0; i < count; i++)
    if (!put_locator(x, &list[i])) return -1;
  return 0;
}

int32_t get_locators(XDR* x, LOCATOR* list, int32_t cap, int32_t* count) {
  if (!x || !count) return SE_INVALID_POINTER;
  *count = 0;
  if (XDR_read_start(x) != 0) return -1;
  int n;
  if (!xdr_int(x, &n)) return XDR_read_end(x, -1);
  if (n < 0 || n > CH_MAX_LIST || n > cap || (n > 0 && !list)) return XDR_read_end(x, SE_INVALID_PARAM);
  for (int i = 0; i < n; i++) {
    if (!get_locator(x, &list[i])) {
      for (int j = 0; j < i; j++) {
        free(list[j].property_names);
        free(list[j].property_values);
        list[j].property_names = list[j].property_values = nullptr;
      }
      return XDR_read_end(x, -1);
    }
  }
  *count = n;
  return XDR_read_end(x, 0);
}

}  // namespace

int32_t XDR_write_state(XDR* x, const STATE* s, int32_t older) {
  return s ? put_states(x, s, 1, older) : SE_INVALID_POINTER;
}
int32_t XDR_read_state(XDR* x, STATE* s, int32_t older) {
  int32_t n = 0;
  return s ? get_states(x, s, 1, &n, older) : SE_INVALID_POINTER;
}
int32_t XDR_write_state_list(XDR* x, const STATE* list, int32_t count, int32_t older) {
  return put_states(x, list, count, older);
}
int32_t XDR_read_state_list(XDR* x, STATE* list, int32_t cap, int32_t* count, int32_t older) {
  return get_states(x, list, cap, count, older);
}
int32_t XDR_write_locator(XDR* x, const LOCATOR* l) { return l ? put_locators(x, l, 1) : SE_INVALID_POINTER; }
int32_t XDR_read_locator(XDR* x, LOCATOR* l) {
  int32_t n = 0;
  return l ? get_locators(x, l, 1, &n) : SE_INVALID_POINTER;
}
int32_t XDR_write_locator_list(XDR* x, const LOCATOR* list, int32_t count) { return put_locators(x, list, count); }
int32_t XDR_read_locator_list(XDR* x, LOCATOR* list, int32_t cap, int32_t* count) {
  return get_locators(x, list, cap, count);
}

// ---- 5. shapes, constructs, index definitions, raster constraints ---------------

#include "anno.h"
#include "comp_ftr.h"

namespace {

// Longest table name the reader takes, and the longest the writer sends.
constexpr u_int kConstructTableRead = 161;
constexpr u_int kConstructTableWrite = SE_CONSTRUCT_TABLE_SLOT;

// The feature and its arrays in the current record. 0, -1, SE_INVALID_PARAM
// (more points than the feature holds), SE_OUT_OF_MEMORY.
int32_t feature_body(XDR* x, FEATURE_STRUCT* f, int32_t allocate) {
  if (x->x_op == XDR_ENCODE) {
    if (!xdr_FEATURE_STRUCT(x, f)) return -1;
    int32_t n = f->numofpts > 0 && f->points ? f->numofpts : 0;
    if (n == 0) return 0;
    if (!xdr_FEATURE_XYPTS(x, f->points, n)) return -1;
    if (f->z && !xdr_FEATURE_ZPTS(x, f->z, n)) return -1;
    if (f->m && !xdr_FEATURE_MVALS(x, f->m, n)) return -1;
    return 0;
  }
  if (SgsShapeSetActive(f) != 0) return -1;
  int32_t present = 0;
  if (!xdr_FEATURE_STRUCT_present(x, f, &present)) return -1;
  int32_t n = f->numofpts;
  if (!(present & NIO_FEATURE_HAS_POINTS) || n <= 0) return 0;
  if (n > SG_MAX_POINTS) return SE_INVALID_PARAM;
  if (allocate) {
    POINT* pts = static_cast<POINT*>(calloc(static_cast<size_t>(n), sizeof(POINT)));
    int32_t* z = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
    int32_t* m = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
    if (!pts || !z || !m) {
      free(pts);
      free(z);
      free(m);
      f->numofpts = 0;
      return SE_OUT_OF_MEMORY;
    }
    f->points = pts;
    f->z = z;
    f->m = m;
    f->allocpts = n;
  } else if (!f->points || n > f->allocpts) {
    f->numofpts = 0;
    return SE_INVALID_PARAM;
  }
  if (!xdr_FEATURE_XYPTS(x, f->points, n)) return -1;
  // A missing receiving array gets a scratch one inside the decoder.
  if (present & NIO_FEATURE_HAS_Z) {
    if (!xdr_FEATURE_ZPTS(x, f->z, n)) return -1;
  } else if (f->z) {
    memset(f->z, 0, sizeof(int32_t) * static_cast<size_t>(n));
  }
  if (present & NIO_FEATURE_HAS_M) {
    if (!xdr_FEATURE_MVALS(x, f->m, n)) return -1;
  } else if (f->m) {
    memset(f->m, 0, sizeof(int32_t) * static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

int32_t XDR_writef(XDR* x, const FEATURE_STRUCT* f) {
  if (!x || !f) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  return feature_body(x, const_cast<FEATURE_STRUCT*>(f), 0);
}

int32_t XDR_readf(XDR* x, FEATURE_STRUCT* f, int32_t allocate) {
  if (!x || !f) return SE_INVALID_POINTER;
  if (XDR_read_start(x) != 0) return -1;
  return XDR_read_end(x, feature_body(x, f, allocate));
}

int32_t XDR_write_compressed_feature(XDR* x, const FEATURE_STRUCT* f) {
  if (!x || !f) return SE_INVALID_POINTER;
  if (XDR_write_start(x) != 0) return -1;
  int32_t size = SES_get_compressed_buffer_size(f);
  uint32_t fid = f->fid;
  int n = f->numofpts;
  short entity = f->entity;
  if (!xdr_u_int(x, &fid) || !xdr_int(x, &n) || !xdr_short(x, &entity) || !xdr_int(x, &size)) return -1;
  if (size > 0 && !xdr_opaque(x, reinterpret_cast<char*>(f->buffer), static_cast<u_int>(size))) return -1;
  if (size > 0 && SES_comp_feature_has_anno(f)) {
    const char* text = f->anno ? f->anno->text : "";
    return enc_text(x, text, static_cast<uint32_t>(strnlen(text, SE_ANNO_TEXT_LEN - 1))) ? 0 : -1;
  }
  return 0;
}

int32_t XDR_read_compressed_feature(XDR* x, FEATURE_STRUCT* f) {
  if (!x || !f) return SE_INVALID_POINTER;
  if (XDR_read_start(x) != 0) return -1;
  uint32_t fid;
  int n, size;
  short entity;
  if (!xdr_u_int(x, &fid) || !xdr_int(x, &n) || !xdr_short(x, &entity) || !xdr_int(x, &size))
    return XDR_read_end(x, -1);
  f->fid = fid;
  f->numofpts = n;
  f->entity = entity;
  if (size < 0 || size > CH_MAX_FEATURE_BYTES) return XDR_read_end(x, SE_INVALID_PARAM);
  if (size > 0 && (!f->buffer || f->buffer_cap < size)) {
    unsigned char* b = static_cast<unsigned char*>(realloc(f->buffer, static_cast<size_t>(size)));
    if (!b) return XDR_read_end(x, SE_OUT_OF_MEMORY);
    f->buffer = b;
    f->buffer_cap = size;
  }
  if (size > 0 && !xdr_opaque(x, reinterpret_cast<char*>(f->buffer), static_cast<u_int>(size)))
    return XDR_read_end(x, -1);
  if (size > 0 && SES_comp_feature_has_anno(f)) {
    if (!f->anno && SES_anno_create(&f->anno) != 0) return XDR_read_end(x, SE_OUT_OF_MEMORY);
    u_int len;
    if (!xdr_u_int(x, &len)) return XDR_read_end(x, -1);
    if (len >= SE_ANNO_TEXT_LEN) return XDR_read_end(x, SE_INVALID_PARAM);
    if (!xdr_opaque(x, f->anno->text, len)) return XDR_read_end(x, -1);
    f->anno->text[len] = '\0';
  } else if (f->anno) {
    f->anno->text[0] = '\0';
  }
  return XDR_read_end(x, 0);
}

int32_t XDR_write_construct(XDR* x, const SQL_CONSTRUCT* c, int32_t legacy) {
  if (!x) return SE_INVALID_POINTER;
  int n = c && c->tables ? c->num_tables : 0;
  if (n < 0) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  if (!xdr_int(x, &n)) return -1;
  for (int i = 0; i < n; i++) {
    const char* t = c->tables[i] ? c->tables[i] : "";
    if (!enc_text(x, t, static_cast<uint32_t>(strnlen(t, kConstructTableWrite)))) return -1;
  }
  const char* where = c ? c->where : nullptr;
  int len = where ? static_cast<int>(strlen(where)) + 1 : 0;
  if (!xdr_int(x, &len)) return -1;
  if (len == 0) return 0;
  if (!legacy) return xdr_opaque(x, const_cast<char*>(where), static_cast<u_int>(len)) ? 0 : -1;
  for (int i = 0; i < len; i++)
    if (!xdr_const_char(x, const_cast<char*>(&where[i]))) return -1;
  return 0;
}

int32_t XDR_read_construct(XDR* x, SQL_CONSTRUCT* c, int32_t legacy) {
  if (!x || !c) return SE_INVALID_POINTER;
  c->num_tables = 0;
  c->tables = nullptr;
  c->where = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  int n;
  if (!xdr_int(x, &n)) return XDR_read_end(x, -1);
  if (n < 0 || n > CH_MAX_CONSTRUCT_TABLES) return XDR_read_end(x, SE_INVALID_PARAM);
  char** tables = slot_block(n, SE_CONSTRUCT_TABLE_SLOT);
  if (!tables) return XDR_read_end(x, SE_OUT_OF_DBMS_MEM);
  for (int i = 0; i < n; i++) {
    u_int len;
    int32_t rc = !xdr_u_int(x, &len) ? -1 : len > kConstructTableRead ? SE_INVALID_PARAM
               : xdr_opaque(x, tables[i], len) ? 0 : -1;
    if (rc != 0) {
      free(tables);
      return XDR_read_end(x, rc);
    }
  }
  int len;
  if (!xdr_int(x, &len)) {
    free(tables);
    return XDR_read_end(x, -1);
  }
  if (len < 0 || len > CH_MAX_DYNAMIC_STRING) {
    free(tables);
    return XDR_read_end(x, SE_INVALID_PARAM);
  }
  char* where = nullptr;
  if (len > 0) {
    where = static_cast<char*>(calloc(1, static_cast<size_t>(len)));
    bool ok = where != nullptr;
    if (ok && !legacy) ok = xdr_opaque(x, where, static_cast<u_int>(len));
    for (int i = 0; ok && legacy && i < len; i++) ok = xdr_const_char(x, &where[i]);
    if (!ok) {
      free(tables);
      int32_t rc = where ? -1 : SE_OUT_OF_DBMS_MEM;
      free(where);
      return XDR_read_end(x, rc);
    }
    where[len - 1] = '\0';
  }
  c->num_tables = n;
  c->tables = tables;
  c->where = where;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_index_def(XDR* x, int16_t count, const INDEX_DEF* defs) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !defs)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  short n = count;
  if (!xdr_short(x, &n)) return -1;
  for (short i = 0; i < n; i++) {
    INDEX_DEF& d = const_cast<INDEX_DEF&>(defs[i]);
    short cols = d.columns ? d.column_count : 0;
    if (!xdr_short(x, &cols)) return -1;
    for (short k = 0; k < cols; k++) {
      int flag = d.ascending ? d.ascending[k] : 1;
      if (!xdr_char_field(x, d.columns[k], SE_INDEX_COLUMN_SLOT) || !xdr_int(x, &flag)) return -1;
    }
    if (!xdr_char_field(x, d.name, sizeof d.name) || !xdr_int(x, &d.unique)) return -1;
  }
  return 0;
}

int32_t XDR_read_index_def(XDR* x, int16_t* count, INDEX_DEF** defs) {
  if (!x || !count || !defs) return SE_INVALID_POINTER;
  *count = 0;
  *defs = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  short n;
  if (!xdr_short(x, &n)) return XDR_read_end(x, -1);
  if (n <= 0) return XDR_read_end(x, 0);
  INDEX_DEF* a = static_cast<INDEX_DEF*>(calloc(static_cast<size_t>(n), sizeof(INDEX_DEF)));
  if (!a) return XDR_read_end(x, SE_OUT_OF_MEMORY);
  int32_t rc = 0;
  for (short i = 0; rc == 0 && i < n; i++) {
    INDEX_DEF& d = a[i];
    short cols;
    if (!xdr_short(x, &cols)) { rc = -1; break; }
    if (cols < 0 || cols > CH_MAX_INDEX_COLUMNS) { rc = SE_INVALID_PARAM; break; }
    d.column_count = cols;
    d.columns = slot_block(cols, SE_INDEX_COLUMN_SLOT);
    d.ascending = static_cast<int32_t*>(calloc(static_cast<size_t>(cols ? cols : 1), sizeof(int32_t)));
    if (!d.columns || !d.ascending) { rc = SE_OUT_OF_MEMORY; break; }
    for (short k = 0; rc == 0 && k < cols; k++)
      if (!xdr_char_field(x, d.columns[k], SE_INDEX_COLUMN_SLOT) || !xdr_int(x, &d.ascending[k])) rc = -1;
    if (rc == 0 && (!xdr_char_field(x, d.name, sizeof d.name) || !xdr_int(x, &d.unique))) rc = -1;
  }
  if (rc != 0) {
    CH_index_defs_free(a, n);
    return XDR_read_end(x, rc);
  }
  *count = n;
  *defs = a;
  return XDR_read_end(x, 0);
}

int32_t XDR_write_rasconstraint(XDR* x, const RASCONSTRAINT* c) {
  if (!x || !c) return SE_INVALID_POINTER;
  if (c->num_bands < 0 || (c->num_bands > 0 && !c->bands)) return SE_INVALID_PARAM;
  if (XDR_write_start(x) != 0) return -1;
  RASCONSTRAINT* m = const_cast<RASCONSTRAINT*>(c);
  if (!xdr_int(x, &m->level) || !xdr_int(x, &m->num_bands)) return -1;
  for (int32_t i = 0; i < c->num_bands; i++)
    if (!xdr_int(x, &m->bands[i])) return -1;
  return xdr_int(x, &m->value16) && xdr_int(x, &m->min_column) && xdr_int(x, &m->min_row) &&
                 xdr_int(x, &m->max_column) && xdr_int(x, &m->max_row)
             ? 0
             : -1;
}

int32_t XDR_read_rasconstraint(XDR* x, RASCONSTRAINT** out) {
  if (!x || !out) return SE_INVALID_POINTER;
  *out = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  RASCONSTRAINT* c = static_cast<RASCONSTRAINT*>(calloc(1, sizeof(RASCONSTRAINT)));
  if (!c) return XDR_read_end(x, SE_OUT_OF_MEMORY);
  int32_t rc = xdr_int(x, &c->level) && xdr_int(x, &c->num_bands) ? 0 : -1;
  if (rc == 0 && (c->num_bands < 0 || c->num_bands > SE_RASCONSTRAINT_MAX_BANDS)) rc = SE_INVALID_PARAM;
  if (rc == 0 && c->num_bands > 0) {
    c->bands = static_cast<int32_t*>(calloc(static_cast<size_t>(c->num_bands), sizeof(int32_t)));
    if (!c->bands) rc = SE_OUT_OF_MEMORY;
    for (int32_t i = 0; rc == 0 && i < c->num_bands; i++)
      if (!xdr_int(x, &c->bands[i])) rc = -1;
  }
  if (rc == 0 && !(xdr_int(x, &c->value16) && xdr_int(x, &c->min_column) && xdr_int(x, &c->min_row) &&
                   xdr_int(x, &c->max_column) && xdr_int(x, &c->max_row)))
    rc = -1;
  if (rc != 0) {
    free(c->bands);
    free(c);
    return XDR_read_end(x, rc);
  }
  *out = c;
  return XDR_read_end(x, 0);
}

// ---- 6. spatial filters -------------------------------------------------------------
//
// Record pattern of a shape filter, shared by writer and reader: the shape
// and its arrays end the record that holds the filter's first fields, the
// shape's reference is a record of its own, and the filter's remaining fields
// start a new record.

int32_t XDR_write_filter_array(XDR* x, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy) {
  if (!x) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && !filters)) return SE_INVALID_PARAM;
  for (int16_t i = 0; i < count; i++) {
    int32_t type = filters[i].filter_type;
    if (type != SE_SHAPE_FILTER && type != SE_ID_FILTER) return -1;
    if (type == SE_SHAPE_FILTER && (!filters[i].filter.shape || !filters[i].filter.shape->coordref))
      return SE_INVALID_POINTER;
  }
  if (XDR_write_start(x) != 0) return -1;
  short n = count;
  if (!xdr_short(x, &n)) return -1;
  for (int16_t i = 0; i < count; i++) {
    SPATIAL_FILTER& f = const_cast<SPATIAL_FILTER&>(filters[i]);
    if (!xdr_char_field(x, f.table, sizeof f.table) || !xdr_char_field(x, f.column, sizeof f.column) ||
        !xdr_int(x, &f.filter_type))
      return -1;
    if (f.filter_type == SE_SHAPE_FILTER) {
      if (feature_body(x, f.filter.shape, 0) != 0) return -1;
      if (XDR_write_coordref(x, f.filter.shape->coordref, legacy) != 0) return -1;
      if (XDR_write_start(x) != 0) return -1;
    } else {
      if (!xdr_int(x, &f.filter.id) || !xdr_char_field(x, f.id_table, sizeof f.id_table)) return -1;
    }
    if (!xdr_int(x, &f.method) || !xdr_int(x, &f.truth)) return -1;
    if (f.method == SM_CBM) {
      const char* cbm = f.cbm ? f.cbm : "";
      if (!enc_text(x, cbm, static_cast<uint32_t>(strnlen(cbm, SE_FILTER_CBM_SLOT - 1)))) return -1;
    }
  }
  return 0;
}

int32_t XDR_read_filter_array(XDR* x, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy) {
  if (!x || !count || !filters) return SE_INVALID_POINTER;
  *count = 0;
  *filters = nullptr;
  if (XDR_read_start(x) != 0) return -1;
  short n;
  if (!xdr_short(x, &n)) return XDR_read_end(x, -1);
  if (n <= 0) return XDR_read_end(x, n < 0 ? SE_INVALID_PARAM : 0);
  if (n > CH_MAX_FILTERS) return XDR_read_end(x, SE_INVALID_PARAM);
  SPATIAL_FILTER* a = ch_filter_block(n);
  if (!a) return XDR_read_end(x, SE_OUT_OF_MEMORY);
  int32_t rc = 0;
  bool crossed = false;  // a record boundary inside the item has been passed
  for (short i = 0; rc == 0 && i < n; i++) {
    SPATIAL_FILTER& f = a[i];
    if (!xdr_char_field(x, f.table, sizeof f.table) || !xdr_char_field(x, f.column, sizeof f.column) ||
        !xdr_int(x, &f.filter_type)) {
      rc = -1;
      break;
    }
    if (f.filter_type == SE_SHAPE_FILTER) {
      if ((rc = ch_filter_new_shape(&f)) != 0) break;
      if ((rc = feature_body(x, f.filter.shape, 1)) != 0) break;
      crossed = true;
      if (!xdrrec_skiprecord(x) || XDR_read_coordref(x, f.filter.shape->coordref, legacy) != 0) {
        rc = -1;
        break;
      }
    } else if (f.filter_type == SE_ID_FILTER) {
      if (!xdr_int(x, &f.filter.id) || !xdr_char_field(x, f.id_table, sizeof f.id_table)) {
        rc = -1;
        break;
      }
    } else {
      rc = -1;
      break;
    }
    if (!xdr_int(x, &f.method) || !xdr_int(x, &f.truth)) {
      rc = -1;
      break;
    }
    if (f.method == SM_CBM) {
      f.cbm = ch_filter_cbm_slot(a, n, i);
      u_int len;
      if (!xdr_u_int(x, &len)) rc = -1;
      else if (len >= SE_FILTER_CBM_SLOT) rc = SE_INVALID_PARAM;
      else if (!xdr_opaque(x, f.cbm, len)) rc = -1;
      else f.cbm[len] = '\0';
    }
  }
  if (rc != 0) {
    CH_filters_free(a, n);
    // Past a record boundary the rest of the array's records cannot be told
    // from the items after it.
    if (crossed) chan_of(x)->out_of_step = 1;
    return XDR_read_end(x, rc);
  }
  *count = n;
  *filters = a;
  return XDR_read_end(x, 0);
}
