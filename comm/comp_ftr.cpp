// comp_ftr.cpp -- the compressed feature (see comp_ftr.h for the format and
// the numbered notes).
//
// Relies on geomkit for shape arrays, areas, lengths and envelopes, and on
// SES_map_shape_error_to_zul for its status codes.
//
// Divisions: varLONG; buffer allocation; compression; decompression; queries
// on a compressed feature.
#include "comp_ftr.h"

#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "zul_status.h"

// ---- varLONG -------------------------------------------------------------------

unsigned char* SES_encode_varLONG(int32_t value, unsigned char* out) {
  uint32_t a = value < 0 ? (uint32_t)(-(int64_t)value) : (uint32_t)value;
  unsigned char b = (unsigned char)(a & 0x3F);
  if (value < 0) b |= 0x40;
  a >>= 6;
  while (a) {
    *out++ = b | 0x80;
    b = (unsigned char)(a & 0x7F);
    a >>= 7;
  }
  *out++ = b;
  return out;
}

const unsigned char* SES_decode_varLONG_bounded(const unsigned char* in, const unsigned char* end,
                                                int32_t* value) {
  if (!in || in >= end) return nullptr;
  unsigned char b = *in++;
  bool negative = b & 0x40;
  uint64_t a = b & 0x3F;
  int shift = 6;
  while (b & 0x80) {
    if (in >= end || shift > 27) return nullptr;   // past the end, or a sixth byte
    b = *in++;
    a |= (uint64_t)(b & 0x7F) << shift;
    shift += 7;
  }
  if (negative ? a > 0x80000000ull : a > 0x7FFFFFFFull) return nullptr;
  *value = negative ? (int32_t)(-(int64_t)a) : (int32_t)a;
  return in;
}

unsigned char* SES_decode_varLONG(unsigned char* in, int32_t* value) {
  // Five bytes is the longest value there is, so the bound is the format's.
  return const_cast<unsigned char*>(SES_decode_varLONG_bounded(in, in + 5, value));
}

namespace {

int32_t varlong_size(int32_t v) {
  uint32_t a = v < 0 ? (uint32_t)(-(int64_t)v) : (uint32_t)v;
  if (a <= 63) return 1;
  if (a <= 8191) return 2;
  if (a <= 1048575) return 3;
  if (a <= 134217727) return 4;
  return 5;
}

}  // namespace

int32_t SES_size_varLONG_array(const int32_t* values, int32_t count) {
  int32_t n = 0;
  for (int32_t i = 0; values && i < count; i++) n += varlong_size(values[i]);
  return n;
}

// ---- buffer allocation -------------------------------------------------------------

namespace {

// Makes f's buffer hold at least want bytes (zero-filling what is new).
int32_t grow_buffer(FEATURE_STRUCT* f, int64_t want) {
  if (want < 0 || want > INT32_MAX) return SE_OUT_OF_MEMORY;
  if (f->buffer && f->buffer_cap >= want) return 0;
  unsigned char* b = (unsigned char*)realloc(f->buffer, (size_t)want);
  if (!b) return SE_OUT_OF_MEMORY;
  int32_t old = f->buffer ? f->buffer_cap : 0;
  memset(b + old, 0, (size_t)(want - old));
  f->buffer = b;
  f->buffer_cap = (int32_t)want;
  return 0;
}

int64_t alloc_need(int64_t npts, int32_t flags, bool with_cad) {
  int64_t need = npts * ((flags & SE_FEATURE_HAS_Z) ? 15 : 10);
  if (flags & SE_FEATURE_HAS_M) need += 5 * npts;
  if (flags & SE_FEATURE_HAS_ANNO) need += 72;
  if (with_cad && (flags & SE_FEATURE_HAS_CAD)) need += 5;
  return need;
}

}  // namespace

int32_t SES_comp_feature_alloc(FEATURE_STRUCT* f, int32_t npts, int32_t flags, int32_t alloc_shape) {
  if (!f) return SE_INVALID_POINTER;
  if (npts < 0 || npts > SG_MAX_POINTS) return SE_INVALID_PARAM;
  if (alloc_shape == 1) {
    int32_t rc = SgsShapeAllocate(f, npts, (flags & SE_FEATURE_HAS_Z) != 0, (flags & SE_FEATURE_HAS_M) != 0);
    if (rc) return SES_map_shape_error_to_zul(rc);
  }
  if (f->buffer && f->buffer_cap >= alloc_need(npts, flags, true)) return 0;
  return grow_buffer(f, alloc_need((int64_t)npts + 50, flags, false));
}

int32_t SES_comp_feature_alloc_by_size(FEATURE_STRUCT* f, int32_t flags, int32_t size) {
  if (!f) return SE_INVALID_POINTER;
  if (size < 0) return SE_INVALID_PARAM;
  if (f->buffer && f->buffer_cap >= size) return 0;
  int64_t want = (int64_t)size + ((flags & SE_FEATURE_HAS_Z) ? 750 : 500);
  if (flags & SE_FEATURE_HAS_M) want += 250;
  return grow_buffer(f, want);
}

void SES_comp_feature_free(FEATURE_STRUCT* f) {
  if (!f) return;
  f->numofpts = 0;
  f->buffer_cap = 0;
  free(f->points);
  free(f->z);
  free(f->m);
  f->points = nullptr;
  f->z = nullptr;
  f->m = nullptr;
  f->allocpts = 0;
  free(f->buffer);
  f->buffer = nullptr;
  SES_anno_free(f->anno);
  f->anno = nullptr;
  if (f->cad) {
    free(f->cad->data);
    free(f->cad);
    f->cad = nullptr;
  }
}

// ---- compression ------------------------------------------------------------------------

namespace {

// Writes into a buffer already sized for the worst case (checked in debug
// builds through the cap).
struct Writer {
  unsigned char* p;
  unsigned char* end;
  bool ok = true;

  void varlong(int32_t v) {
    if (end - p < 5) {
      ok = false;
      return;
    }
    p = SES_encode_varLONG(v, p);
  }
  void bytes(const void* src, size_t n) {
    if ((size_t)(end - p) < n) {
      ok = false;
      return;
    }
    memcpy(p, src, n);
    p += n;
  }
  void le32(int32_t v) {
    unsigned char b[4] = {(unsigned char)v, (unsigned char)((uint32_t)v >> 8),
                          (unsigned char)((uint32_t)v >> 16), (unsigned char)((uint32_t)v >> 24)};
    bytes(b, 4);
  }
  void le16(int16_t v) {
    unsigned char b[2] = {(unsigned char)(uint16_t)v, (unsigned char)((uint16_t)v >> 8)};
    bytes(b, 2);
  }
  void f64(double d) {
    uint64_t u;
    memcpy(&u, &d, 8);
    le32((int32_t)(uint32_t)u);
    le32((int32_t)(uint32_t)(u >> 32));
  }
};

// Writes the differences of successive values; false when one does not fit
// 32 bits (note 2).
bool put_deltas_xy(Writer& w, const POINT* pts, int32_t n) {
  int64_t px = 0, py = 0;
  for (int32_t i = 0; i < n; i++) {
    int64_t dx = (int64_t)pts[i].x - px, dy = (int64_t)pts[i].y - py;
    if (dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX) return false;
    w.varlong((int32_t)dx);
    w.varlong((int32_t)dy);
    px = pts[i].x;
    py = pts[i].y;
  }
  return true;
}

bool put_deltas(Writer& w, const int32_t* v, int32_t n) {
  int64_t prev = 0;
  for (int32_t i = 0; i < n; i++) {
    int64_t d = (int64_t)v[i] - prev;
    if (d < INT32_MIN || d > INT32_MAX) return false;
    w.varlong((int32_t)d);
    prev = v[i];
  }
  return true;
}

int64_t shape_bound(const FEATURE_STRUCT* s) {
  if (!s) return 0;
  int64_t n = s->numofpts > 0 ? s->numofpts : 0;
  return 10 + 10 * n + (s->z ? 5 * n : 0) + (s->m ? 5 * n : 0);
}

bool put_anno_shape(Writer& w, const FEATURE_STRUCT* s, bool z, bool m) {
  int32_t n = s->numofpts > 0 && s->points ? s->numofpts : 0;
  w.varlong(s->entity);
  w.varlong(n);
  return put_deltas_xy(w, s->points, n) && (!z || put_deltas(w, s->z, n)) &&
         (!m || put_deltas(w, s->m, n));
}

}  // namespace

int32_t SES_feature_compress(FEATURE_STRUCT* f, int32_t flags) {
  if (!f) return SE_INVALID_POINTER;
  int32_t n = f->numofpts > 0 && f->points ? f->numofpts : 0;
  bool z = f->z && (flags & SE_FEATURE_HAS_Z);
  bool m = f->m && (flags & SE_FEATURE_HAS_M);
  ANNOTATION* anno = (flags & SE_FEATURE_HAS_ANNO) ? f->anno : nullptr;
  bool cad = f->cad && (flags & SE_FEATURE_HAS_CAD) && f->cad->length > 0 && f->cad->data;

  // The buffer is sized for the worst case of every section before any is
  // written, so no section can outgrow it.
  int64_t bound = SE_COMP_HEADER + 10LL * n + (z ? 5LL * n : 0) + (m ? 5LL * n : 0);
  if (anno) bound += 20 + SE_ANNO_ALIGNMENT_SIZE + 32 + shape_bound(anno->leader) + shape_bound(anno->placement);
  if (cad) bound += 5 + (int64_t)f->cad->length;
  if (int32_t rc = grow_buffer(f, bound)) return rc;

  Writer w{f->buffer + SE_COMP_HEADER, f->buffer + f->buffer_cap};
  int32_t content = 0, shapes = 0;
  if (!put_deltas_xy(w, f->points, n)) return SE_COMP_FEATURE_OVERFLOW;
  if (z) {
    content |= SE_COMP_Z;
    if (!put_deltas(w, f->z, n)) return SE_COMP_FEATURE_OVERFLOW;
  }
  if (m) {
    content |= SE_COMP_M;
    if (!put_deltas(w, f->m, n)) return SE_COMP_FEATURE_OVERFLOW;
  }
  if (anno) {
    content |= SE_COMP_ANNO;
    for (int i = 0; i < 3; i++) w.varlong(anno->props[i]);
    w.varlong(anno->alignment ? 1 : 0);
    if (const ANNO_ALIGNMENT* a = anno->alignment) {
      w.le32(a->value1);
      w.le32(a->value2);
      for (int16_t v : a->table1) w.le16(v);
      for (int16_t v : a->table2) w.le16(v);
      w.f64(a->value3);
      w.f64(a->value4);
    }
    for (double d : anno->fprops) w.f64(d);
    if (const FEATURE_STRUCT* s = anno->leader) {
      shapes |= 1 | (s->z ? 2 : 0) | (s->m ? 4 : 0);
      if (!put_anno_shape(w, s, s->z, s->m)) return SE_COMP_FEATURE_OVERFLOW;
    }
    if (const FEATURE_STRUCT* s = anno->placement) {
      shapes |= 8 | (s->z ? 16 : 0) | (s->m ? 32 : 0);
      if (!put_anno_shape(w, s, s->z, s->m)) return SE_COMP_FEATURE_OVERFLOW;
    }
  }
  if (cad) {
    content |= SE_COMP_CAD;
    w.varlong(f->cad->length);
    w.bytes(f->cad->data, (size_t)f->cad->length);
  }
  if (!w.ok) return SE_OUT_OF_MEMORY;   // the bound above was wrong: never sent half a buffer

  memset(f->buffer, 0, SE_COMP_HEADER);
  SES_encode_varLONG((int32_t)(w.p - f->buffer - SE_COMP_HEADER), f->buffer);
  SES_encode_varLONG(content, f->buffer + 5);
  SES_encode_varLONG(shapes, f->buffer + 6);
  return 0;
}

// ---- decompression -------------------------------------------------------------------------

namespace {

// Reads from [p, end); the first failure sticks.
struct Reader {
  const unsigned char* p;
  const unsigned char* end;
  bool ok = true;

  int32_t varlong() {
    int32_t v = 0;
    const unsigned char* q = ok ? SES_decode_varLONG_bounded(p, end, &v) : nullptr;
    if (!q) {
      ok = false;
      return 0;
    }
    p = q;
    return v;
  }
  void bytes(void* dst, size_t n) {
    if (!ok || (size_t)(end - p) < n) {
      ok = false;
      return;
    }
    if (dst) memcpy(dst, p, n);
    p += n;
  }
  int32_t le32() {
    unsigned char b[4] = {0, 0, 0, 0};
    bytes(b, 4);
    return (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24);
  }
  int16_t le16() {
    unsigned char b[2] = {0, 0};
    bytes(b, 2);
    return (int16_t)(uint16_t)(b[0] | b[1] << 8);
  }
  double f64() {
    uint32_t lo = (uint32_t)le32(), hi = (uint32_t)le32();
    uint64_t u = (uint64_t)hi << 32 | lo;
    double d;
    memcpy(&d, &u, 8);
    return d;
  }
  // A count of n items of at least per bytes each must fit what is left.
  bool room_for(int64_t n, int64_t per) { return ok && n >= 0 && n * per <= end - p; }
};

// Running sums of n deltas into out (or read and dropped when out is null);
// false for a sum that leaves 32 bits.
bool get_deltas(Reader& r, int32_t* out, int32_t n) {
  int64_t sum = 0;
  for (int32_t i = 0; i < n; i++) {
    sum += r.varlong();
    if (!r.ok || sum < INT32_MIN || sum > INT32_MAX) return false;
    if (out) out[i] = (int32_t)sum;
  }
  return true;
}

bool get_deltas_xy(Reader& r, POINT* out, int32_t n) {
  int64_t x = 0, y = 0;
  for (int32_t i = 0; i < n; i++) {
    x += r.varlong();
    y += r.varlong();
    if (!r.ok || x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return false;
    if (out) {
      out[i].x = (int32_t)x;
      out[i].y = (int32_t)y;
    }
  }
  return true;
}

// The buffer's declared end, or null when the header is unreadable or
// claims more than the buffer holds.
const unsigned char* buffer_end(const FEATURE_STRUCT* f) {
  if (!f || !f->buffer || f->buffer_cap < SE_COMP_HEADER) return nullptr;
  int32_t len = 0;
  if (!SES_decode_varLONG_bounded(f->buffer, f->buffer + 5, &len)) return nullptr;
  if (len < 0 || len > f->buffer_cap - SE_COMP_HEADER) return nullptr;
  return f->buffer + SE_COMP_HEADER + len;
}

int32_t content_flags(const FEATURE_STRUCT* f) {
  int32_t v = 0;
  return SES_decode_varLONG_bounded(f->buffer + 5, f->buffer + 6, &v) ? v : -1;
}

// Reads (shape non-null) or skips one annotation shape. Flags: the shape's
// presence, Z and measure bits.
int32_t get_anno_shape(Reader& r, FEATURE_STRUCT** slot, bool present, bool z, bool m, bool keep) {
  if (!present) {
    if (keep && *slot) {
      SgShapeFree(*slot);
      *slot = nullptr;
    }
    return 0;
  }
  int32_t entity = r.varlong();
  int32_t n = r.varlong();
  if (!r.room_for(n, 2 + (z ? 1 : 0) + (m ? 1 : 0)) || n > SG_MAX_POINTS || entity < INT16_MIN ||
      entity > INT16_MAX)
    return SE_COMP_FEATURE_CORRUPT;
  if (!keep) {
    bool fine = get_deltas_xy(r, nullptr, n) && (!z || get_deltas(r, nullptr, n)) &&
                (!m || get_deltas(r, nullptr, n));
    return fine ? 0 : SE_COMP_FEATURE_CORRUPT;
  }
  if (!*slot) {
    int32_t rc = SgShapeCreate(nullptr, slot);
    if (rc) return SES_map_shape_error_to_zul(rc);
  }
  FEATURE_STRUCT* s = *slot;
  int32_t rc = SgsShapeAllocate(s, n, z, m);
  if (rc) return SES_map_shape_error_to_zul(rc);
  s->entity = (int16_t)entity;
  if (!get_deltas_xy(r, s->points, n)) return SE_COMP_FEATURE_CORRUPT;
  if (z) {
    if (!get_deltas(r, s->z, n)) return SE_COMP_FEATURE_CORRUPT;
  } else if (s->z) {
    memset(s->z, 0, sizeof(int32_t) * (size_t)n);
  }
  if (m) {
    if (!get_deltas(r, s->m, n)) return SE_COMP_FEATURE_CORRUPT;
  } else if (s->m) {
    for (int32_t i = 0; i < n; i++) s->m[i] = -1;
  }
  return 0;
}

// Reads the annotation section into anno, or skips it when anno is null.
int32_t get_anno(Reader& r, ANNOTATION* anno, int32_t shapes) {
  int32_t props[3];
  for (int32_t& p : props) p = r.varlong();
  int32_t aligned = r.varlong();
  if (!r.ok || (aligned != 0 && aligned != 1)) return SE_COMP_FEATURE_CORRUPT;
  if (anno) {
    memcpy(anno->props, props, sizeof props);
    if (aligned && !anno->alignment && SES_anno_alignment_alloc(&anno->alignment))
      return SE_OUT_OF_MEMORY;
    if (!aligned) SES_anno_alignment_free(&anno->alignment);
  }
  if (aligned) {
    ANNO_ALIGNMENT scratch;
    ANNO_ALIGNMENT* a = anno ? anno->alignment : &scratch;
    a->value1 = r.le32();
    a->value2 = r.le32();
    for (int16_t& v : a->table1) v = r.le16();
    for (int16_t& v : a->table2) v = r.le16();
    a->value3 = r.f64();
    a->value4 = r.f64();
  }
  double fprops[4];
  for (double& d : fprops) d = r.f64();
  if (!r.ok) return SE_COMP_FEATURE_CORRUPT;
  if (anno) memcpy(anno->fprops, fprops, sizeof fprops);
  FEATURE_STRUCT* none = nullptr;
  int32_t rc = get_anno_shape(r, anno ? &anno->leader : &none, shapes & 1, shapes & 2, shapes & 4, anno);
  if (!rc) rc = get_anno_shape(r, anno ? &anno->placement : &none, shapes & 8, shapes & 16, shapes & 32, anno);
  return rc;
}

}  // namespace

int32_t SES_feature_uncompress(int32_t skip_extras, FEATURE_STRUCT* f) {
  if (!f) return SE_INVALID_POINTER;
  const unsigned char* end = buffer_end(f);
  int32_t content = end ? content_flags(f) : -1;
  int32_t shapes = 0;
  if (end && !SES_decode_varLONG_bounded(f->buffer + 6, f->buffer + 7, &shapes)) end = nullptr;
  if (!end || content < 0 || content > 15 || shapes < 0 || shapes > 63) return SE_COMP_FEATURE_CORRUPT;
  int32_t n = f->numofpts;
  Reader r{f->buffer + SE_COMP_HEADER, end};
  // Every point takes at least two bytes: a count the body cannot hold is
  // refused before the arrays are sized from it.
  if (n > SG_MAX_POINTS || !r.room_for(n, 2)) return SE_COMP_FEATURE_CORRUPT;

  bool has_z = content & SE_COMP_Z, has_m = content & SE_COMP_M;
  int32_t rc = SgsShapeAllocate(f, n, has_z, has_m);
  if (rc) return SES_map_shape_error_to_zul(rc);
  bool want_anno = !skip_extras && (content & SE_COMP_ANNO);
  bool want_cad = !skip_extras && (content & SE_COMP_CAD);

  if (!get_deltas_xy(r, f->points, n)) return SE_COMP_FEATURE_CORRUPT;
  if (!has_z) {
    if (f->z) memset(f->z, 0, sizeof(int32_t) * (size_t)n);
  } else if (f->z || has_m || want_anno || want_cad) {
    if (!get_deltas(r, f->z, n)) return SE_COMP_FEATURE_CORRUPT;
  }
  if (!has_m) {
    if (f->m)
      for (int32_t i = 0; i < n; i++) f->m[i] = -1;
  } else if (f->m || want_anno || want_cad) {
    if (!get_deltas(r, f->m, n)) return SE_COMP_FEATURE_CORRUPT;
  }

  if (want_anno && (f->anno || want_cad)) {
    if (f->anno && SES_anno_info_ok(f->anno)) return SE_INVALID_ANNO_OBJECT;
    rc = get_anno(r, f->anno, shapes);
    if (rc) return rc;
  } else if (want_cad && (content & SE_COMP_ANNO)) {
    rc = get_anno(r, nullptr, shapes);   // skip to the CAD section
    if (rc) return rc;
  }
  if (want_cad) {
    int32_t len = r.varlong();
    if (!r.room_for(len, 1)) return SE_COMP_FEATURE_CORRUPT;
    if (f->cad) {
      CAD_DATA* cad = f->cad;
      if (len > cad->capacity || !cad->data) {
        uint8_t* d = (uint8_t*)realloc(cad->data, len > 0 ? (size_t)len : 1);
        if (!d) {
          cad->capacity = 0;
          return SE_OUT_OF_MEMORY;
        }
        memset(d, 0, len > 0 ? (size_t)len : 1);
        cad->data = d;
        cad->capacity = len;
      }
      r.bytes(cad->data, (size_t)len);
      cad->length = len;
    } else {
      r.bytes(nullptr, (size_t)len);   // CAD data with no record to take it
    }
    if (!r.ok) return SE_COMP_FEATURE_CORRUPT;
  }
  return 0;
}

// ---- queries on a compressed feature -------------------------------------------------------

int32_t SES_get_compressed_buffer_size(const FEATURE_STRUCT* f) {
  const unsigned char* end = buffer_end(f);
  return end ? (int32_t)(end - f->buffer) : 0;
}

int32_t SES_get_compressed_anno_cad(const FEATURE_STRUCT* f, int32_t* start, int32_t* len) {
  if (!f || !start || !len) return SE_INVALID_POINTER;
  *start = 0;
  *len = 0;
  const unsigned char* end = buffer_end(f);
  int32_t content = end ? content_flags(f) : -1;
  if (content < 0) return f && f->buffer ? SE_COMP_FEATURE_CORRUPT : 0;
  if (!(content & (SE_COMP_ANNO | SE_COMP_CAD))) return 0;
  Reader r{f->buffer + SE_COMP_HEADER, end};
  int32_t n = f->numofpts;
  if (n > SG_MAX_POINTS || !r.room_for(n, 2)) return SE_COMP_FEATURE_CORRUPT;
  bool fine = get_deltas_xy(r, nullptr, n) && (!(content & SE_COMP_Z) || get_deltas(r, nullptr, n)) &&
              (!(content & SE_COMP_M) || get_deltas(r, nullptr, n));
  if (!fine) return SE_COMP_FEATURE_CORRUPT;
  *start = (int32_t)(r.p - f->buffer);
  *len = (int32_t)(end - r.p);
  return 0;
}

namespace {

bool content_has(const FEATURE_STRUCT* f, int32_t flag) {
  if (!f || !f->buffer || f->buffer_cap < SE_COMP_HEADER) return false;
  int32_t c = content_flags(f);
  return c >= 0 && (c & flag);
}

}  // namespace

int32_t SES_comp_feature_has_anno(const FEATURE_STRUCT* f) {
  return content_has(f, SE_COMP_ANNO) && f->anno ? 1 : 0;
}
int32_t SES_comp_feature_has_cad(const FEATURE_STRUCT* f) {
  return content_has(f, SE_COMP_CAD) && f->cad && f->cad->length != 0 ? 1 : 0;
}
int32_t SES_comp_feature_has_3D(const FEATURE_STRUCT* f) { return content_has(f, SE_COMP_Z) && f->z ? 1 : 0; }
int32_t SES_comp_feature_has_measure(const FEATURE_STRUCT* f) {
  return content_has(f, SE_COMP_M) && f->m ? 1 : 0;
}

void SES_calc_notransmit_fields(FEATURE_STRUCT* f) {
  if (!f) return;
  switch (f->entity & 0xFF) {
    case SG_NIL_SHAPE:
    case SG_POINT_SHAPE:
      f->area = 0;
      f->length = 0;
      break;
    case SG_LINE_SHAPE:
    case SG_SIMPLE_LINE_SHAPE:
      if (SgsShapeLength(f, nullptr) == 0) SgsShapeSetLengthFlag(f, 1);
      f->area = 0;
      break;
    case SG_AREA_SHAPE:
      if (SgsShapeArea(f, nullptr) == 0) SgsShapeSetAreaFlag(f, 1);
      if (SgsShapeLength(f, nullptr) == 0) SgsShapeSetLengthFlag(f, 1);
      break;
    default:
      break;
  }
  if (SgsNvelop(f, nullptr) == 0) SgsShapeSetExtentFlag(f, 1);
}
