// xdrmemio.cpp -- single values and features on an XDR stream whose direction
// the operation sets (see xdrmemio.h).
//
// Relies on libtirpc for the primitives and the stream position, and on the
// record encoders of zul_xdr.cpp.
#include "xdrmemio.h"

#include <string.h>

namespace {

XDR* reading(XDR* xdrs) {
  xdrs->x_op = XDR_DECODE;
  return xdrs;
}
XDR* writing(XDR* xdrs) {
  xdrs->x_op = XDR_ENCODE;
  return xdrs;
}
int32_t status(bool_t ok) { return ok ? 0 : -1; }

}  // namespace

int32_t XDRMEM_read_long(XDR* xdrs, int32_t* v) { return status(v && xdr_int(reading(xdrs), v)); }
int32_t XDRMEM_write_long(XDR* xdrs, int32_t v) { return status(xdr_int(writing(xdrs), &v)); }
int32_t XDRMEM_read_ulong(XDR* xdrs, uint32_t* v) { return status(v && xdr_u_int(reading(xdrs), v)); }
int32_t XDRMEM_write_ulong(XDR* xdrs, uint32_t v) { return status(xdr_u_int(writing(xdrs), &v)); }
int32_t XDRMEM_read_float(XDR* xdrs, float* v) { return status(v && xdr_float(reading(xdrs), v)); }
int32_t XDRMEM_write_float(XDR* xdrs, float v) { return status(xdr_float(writing(xdrs), &v)); }
int32_t XDRMEM_read_lfloat(XDR* xdrs, double* v) { return status(v && xdr_double(reading(xdrs), v)); }
int32_t XDRMEM_write_lfloat(XDR* xdrs, double v) { return status(xdr_double(writing(xdrs), &v)); }
int32_t XDRMEM_read_short(XDR* xdrs, int16_t* v) { return status(v && xdr_short(reading(xdrs), v)); }
int32_t XDRMEM_write_short(XDR* xdrs, int16_t v) { return status(xdr_short(writing(xdrs), &v)); }

int32_t XDRMEM_read_string(XDR* xdrs, char* buf, u_int cap) {
  if (!buf || cap == 0) return -1;
  u_int width = cap < XDRMEM_MAX_STRING + 1 ? cap : XDRMEM_MAX_STRING + 1;
  return status(xdr_char_field(reading(xdrs), buf, width));
}

int32_t XDRMEM_write_string(XDR* xdrs, const char* text) {
  if (!text) text = "";
  size_t n = strlen(text);
  if (n > XDRMEM_MAX_STRING) return -1;
  return status(xdr_char_field(writing(xdrs), const_cast<char*>(text), (u_int)n + 1));
}

int32_t XDRMEM_read_date(XDR* xdrs, SE_DATE* d) {
  if (!d) return -1;
  memset(d, 0, sizeof *d);
  return status(xdr_SE_DATE(reading(xdrs), d));
}

int32_t XDRMEM_write_date(XDR* xdrs, SE_DATE* d) { return status(d && xdr_SE_DATE(writing(xdrs), d)); }

int32_t XDRMEM_read_block(XDR* xdrs, void* buf, int32_t len) {
  if (len < 0 || (len > 0 && !buf)) return -1;
  return status(xdr_opaque(reading(xdrs), (char*)buf, (u_int)len));
}

int32_t XDRMEM_write_block(XDR* xdrs, const void* bytes, int32_t len) {
  if (len < 0 || (len > 0 && !bytes)) return -1;
  return status(xdr_opaque(writing(xdrs), (char*)const_cast<void*>(bytes), (u_int)len));
}

int32_t XDRMEM_feature(FEATURE_STRUCT* f, XDR* xdrs) {
  if (!f || !xdrs) return -1;
  const u_int start = xdr_getpos(xdrs);
  const FEATURE_STRUCT before = *f;
  auto fail = [&]() {
    xdr_setpos(xdrs, start);
    *f = before;
    return -1;
  };
  int32_t present = 0;
  if (!xdr_FEATURE_STRUCT_present(xdrs, f, &present)) return fail();
  int32_t n = f->numofpts;
  if (n <= 0) return 0;
  if (xdrs->x_op == XDR_DECODE) {
    // The arrays are the feature's own: a count they cannot hold is refused.
    if (n > f->allocpts || !f->points) return fail();
    if (!xdr_FEATURE_XYPTS(xdrs, f->points, n)) return fail();
    if (present & NIO_FEATURE_HAS_Z) {
      if (!xdr_FEATURE_ZPTS(xdrs, f->z, n)) return fail();
    } else if (f->z) {
      memset(f->z, 0, sizeof(int32_t) * (size_t)n);
    }
    if (present & NIO_FEATURE_HAS_M) {
      if (!xdr_FEATURE_MVALS(xdrs, f->m, n)) return fail();
    } else if (f->m) {
      memset(f->m, 0, sizeof(int32_t) * (size_t)n);
    }
    return 0;
  }
  if (!xdr_FEATURE_XYPTS(xdrs, f->points, n)) return fail();
  if (f->z && !xdr_FEATURE_ZPTS(xdrs, f->z, n)) return fail();
  if (f->m && !xdr_FEATURE_MVALS(xdrs, f->m, n)) return fail();
  return 0;
}
