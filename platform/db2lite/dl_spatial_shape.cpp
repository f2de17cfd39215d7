// dl_spatial_shape.cpp -- the shape type of db2lite's Spatial Extender: how a
// shape is stored, how a packed shape value from a client is read, and the
// SQL functions over shapes (constructors, methods and mutators, ZULENTITY,
// ENVELOPESINTERSECT, and the helpers of the spatial index).
//
// Relies on geomkit for the portable numbers of the packed value's trailer,
// and on the engine's error convention (dl_raise_text) so that a refused
// value reaches the caller as a DB2 diagnostic.
//
// Divisions: 1. the stored shape; 2. the packed shape value; 3. SQL functions;
// 4. registration and type names.
//
// Notes:
//  1. A stored shape is one BLOB, little-endian, written field by field:
//       0  4  magic "DLSH"
//       4  1  version (1)
//       5  1  Spatial Extender type code (0-11, dl_spatial.h)
//       6  2  presence mask: bit p set when property p is present
//       8  4  srid                        (property 2)
//      12  4  number of points            (property 3)
//      16  2  geometry type               (property 4)
//      18  2  zero
//      20 80  xmin ymin xmax ymax zmin zmax mmin mmax area length, IEEE
//             doubles                     (properties 5-14)
//     100  4  annotation length a         (property 1)
//     104  4  packed value length n       (property 0)
//     108  a  annotation bytes, then n packed value bytes
//     The packed value is kept exactly as the client sent it.
//  2. Every BLOB read as a shape is checked against that layout before any
//     field is believed; anything else is refused (38SU1/-443), never read
//     past its end.
//  3. A packed value is read as the server writes it: two varLONGs (points,
//     entity type) in bytes 0-7, the compressed feature from byte 8 (its own
//     first varLONG is its length minus 8), then the trailer: the Z mark, the
//     M mark, the number-format mark, the srid, four envelope doubles, Z and M
//     ranges when marked, area for areas and length for areas and lines. A
//     value whose trailer does not fit is refused.
//  4. An envelope is usable only when all four bounds are present and
//     xmin <= xmax, ymin <= ymax. A shape without a usable envelope meets
//     nothing, in ENVELOPESINTERSECT and in the spatial index alike, so the
//     two always agree.
#include "dl_spatial.h"

#include "dl_internal.h"
#include "geomkit.h"

#include <string.h>

#include <atomic>

namespace dl {

namespace {

// ============================================================================
// 1. the stored shape
// ============================================================================

enum Prop {
  kPoints = 0, kAnno, kSrid, kNumPoints, kGeomType,
  kXmin, kYmin, kXmax, kYmax, kZmin, kZmax, kMmin, kMmax, kArea, kLength,
  kPropCount
};

constexpr size_t kHeaderLen = 108;
constexpr unsigned char kMagic[4] = {'D', 'L', 'S', 'H'};
constexpr unsigned char kVersion = 1;

struct Shape {
  int type = 0;            // Spatial Extender type code
  uint16_t mask = 0;       // presence of each property
  int32_t srid = 0;
  int32_t numpoints = 0;
  int16_t geomtype = 0;
  double d[10] = {0};      // kXmin .. kLength
  std::string anno;
  std::string points;      // the packed value, verbatim

  bool has(int p) const { return (mask >> p) & 1; }
  void set(int p) { mask = (uint16_t)(mask | (1u << p)); }
  void clear(int p) { mask = (uint16_t)(mask & ~(1u << p)); }
};

void put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}
void put16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}
void put_double(unsigned char* p, double v) {
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) p[i] = (unsigned char)(bits >> (8 * i));
}
uint32_t get32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
uint16_t get16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
double get_double(const unsigned char* p) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= (uint64_t)p[i] << (8 * i);
  double v;
  memcpy(&v, &bits, sizeof v);
  return v;
}

std::string encode(const Shape& s) {
  std::string out(kHeaderLen + s.anno.size() + s.points.size(), '\0');
  unsigned char* p = (unsigned char*)&out[0];
  memcpy(p, kMagic, 4);
  p[4] = kVersion;
  p[5] = (unsigned char)s.type;
  put16(p + 6, s.mask);
  put32(p + 8, (uint32_t)s.srid);
  put32(p + 12, (uint32_t)s.numpoints);
  put16(p + 16, (uint16_t)s.geomtype);
  for (int i = 0; i < 10; ++i) put_double(p + 20 + 8 * i, s.d[i]);
  put32(p + 100, (uint32_t)s.anno.size());
  put32(p + 104, (uint32_t)s.points.size());
  if (!s.anno.empty()) memcpy(p + kHeaderLen, s.anno.data(), s.anno.size());
  if (!s.points.empty()) memcpy(p + kHeaderLen + s.anno.size(), s.points.data(), s.points.size());
  return out;
}

// A stored shape read in place (note 2): the header is checked, the
// annotation and packed value are pointed at, nothing is copied.
struct View {
  const unsigned char* p = nullptr;
  size_t n = 0;
  uint32_t anno_len = 0, points_len = 0;

  uint16_t mask() const { return get16(p + 6); }
  bool has(int prop) const { return (mask() >> prop) & 1; }
  int type() const { return p[5]; }
  double d(int prop) const { return get_double(p + 20 + 8 * (prop - kXmin)); }
  const unsigned char* anno() const { return p + kHeaderLen; }
  const unsigned char* points() const { return p + kHeaderLen + anno_len; }
};

bool view_of(sqlite3_value* v, View* out) {
  if (sqlite3_value_type(v) != SQLITE_BLOB) return false;
  int n = sqlite3_value_bytes(v);
  const unsigned char* p = (const unsigned char*)sqlite3_value_blob(v);
  if (p == nullptr || n < (int)kHeaderLen) return false;
  if (memcmp(p, kMagic, 4) != 0 || p[4] != kVersion || p[5] > 11) return false;
  uint32_t a = get32(p + 100), k = get32(p + 104);
  if (a > kMaxAnnoText || k > kMaxPackedShape) return false;
  if ((size_t)n != kHeaderLen + a + k) return false;
  out->p = p;
  out->n = (size_t)n;
  out->anno_len = a;
  out->points_len = k;
  return true;
}

Shape shape_of(const View& v) {
  Shape s;
  s.type = v.type();
  s.mask = v.mask();
  s.srid = (int32_t)get32(v.p + 8);
  s.numpoints = (int32_t)get32(v.p + 12);
  s.geomtype = (int16_t)get16(v.p + 16);
  for (int i = 0; i < 10; ++i) s.d[i] = get_double(v.p + 20 + 8 * i);
  s.anno.assign((const char*)v.anno(), v.anno_len);
  s.points.assign((const char*)v.points(), v.points_len);
  return s;
}

// The usable envelope of a stored shape (note 4).
bool envelope_of(const View& v, double e[4]) {
  for (int p = kXmin; p <= kYmax; ++p)
    if (!v.has(p)) return false;
  e[0] = v.d(kXmin);
  e[1] = v.d(kYmin);
  e[2] = v.d(kXmax);
  e[3] = v.d(kYmax);
  return e[0] <= e[2] && e[1] <= e[3];
}

bool meet(const double a[4], const double b[4]) {
  return a[0] <= b[2] && b[0] <= a[2] && a[1] <= b[3] && b[1] <= a[3];
}

// ============================================================================
// 2. the packed shape value
// ============================================================================

// What the trailer of a packed value says (note 3).
struct Packed {
  int32_t numpoints = 0;
  int32_t entity = 0;
  int32_t srid = 0;
  bool has_env = false, has_z = false, has_m = false, has_area = false, has_length = false;
  double env[4] = {0}, z[2] = {0}, m[2] = {0}, area = 0, length = 0;
};

// A varLONG: a continuation bit (0x80), the sign (0x40) and 6 bits in the
// first byte, 7 bits in each further byte; at most 5 bytes, never read at
// or past end.
const unsigned char* varlong(const unsigned char* in, const unsigned char* end, int32_t* value) {
  if (in >= end) return nullptr;
  unsigned char b = *in++;
  bool negative = b & 0x40;
  uint64_t a = b & 0x3F;
  int shift = 6;
  while (b & 0x80) {
    if (in >= end || shift > 27) return nullptr;
    b = *in++;
    a |= (uint64_t)(b & 0x7F) << shift;
    shift += 7;
  }
  if (negative ? a > 0x80000000ull : a > 0x7FFFFFFFull) return nullptr;
  *value = negative ? (int32_t)(-(int64_t)a) : (int32_t)a;
  return in;
}

bool decode_packed(const unsigned char* p, size_t n, Packed* out, std::string* why) {
  const unsigned char* end = p + n;
  const unsigned char* head_end = p + (n < 8 ? n : 8);
  const unsigned char* q = varlong(p, head_end, &out->numpoints);
  if (q) q = varlong(q, head_end, &out->entity);
  if (!q || n < 8 + 5) {
    *why = "the header of the packed shape value is malformed";
    return false;
  }
  int32_t comp_len = 0;
  if (!varlong(p + 8, p + 13, &comp_len) || comp_len < 0) {
    *why = "the compressed feature of the packed shape value has no valid length";
    return false;
  }
  // The compressed feature is its length field plus 8 bytes long.
  uint64_t at = 8 + (uint64_t)comp_len + 8;
  if (at + 3 + 4 + 32 > n) {
    *why = "the packed shape value is shorter than its compressed feature and trailer";
    return false;
  }
  const unsigned char* t = p + at;
  out->has_z = t[0] != '0';
  out->has_m = t[1] != '0';
  int32_t mode = t[2];
  t += 3;
  if (SgGetInteger(t, mode, 1, &out->srid) != 0) {
    *why = "the number format of the packed shape value is not known";
    return false;
  }
  t += 4;
  auto doubles = [&](int count, double* dst) {
    if ((size_t)(end - t) < (size_t)count * 8 || SgGetDouble(t, mode, count, dst) != 0) return false;
    t += 8 * count;
    return true;
  };
  bool ok = doubles(4, out->env);
  out->has_env = out->numpoints > 0;
  if (ok && out->has_z) ok = doubles(2, out->z);
  if (ok && out->has_m) ok = doubles(2, out->m);
  out->has_area = (out->entity & 8) != 0;
  out->has_length = (out->entity & (8 | 2 | 4)) != 0;
  if (ok && out->has_area) ok = doubles(1, &out->area);
  if (ok && out->has_length) ok = doubles(1, &out->length);
  if (!ok) {
    *why = "the trailer of the packed shape value is cut short";
    return false;
  }
  return true;
}

// The geometry type code of an entity type with its Z and M marks.
int16_t geometry_type_code(int32_t entity, bool z, bool m) {
  int base;
  switch (entity) {
    case 0: case 1: base = 4; break;
    case 257: base = 8; break;
    case 2: case 4: base = 12; break;
    case 8: base = 16; break;
    case 258: case 260: base = 20; break;
    default: base = 24; break;
  }
  return (int16_t)(base + (m ? 1 : 0) + (z ? 2 : 0));
}

// The Spatial Extender type of a shape built from a packed value alone.
int type_of_entity(int32_t entity) {
  switch (entity) {
    case 1: return 1;               // ST_POINT
    case 257: return 7;             // ST_MULTIPOINT
    case 2: case 4: return 3;       // ST_LINESTRING
    case 258: case 260: return 9;   // ST_MULTILINESTRING
    case 8: return 5;               // ST_POLYGON
    case 264: return 11;            // ST_MULTIPOLYGON
    default: return 0;              // ST_GEOMETRY
  }
}

// ============================================================================
// 3. SQL functions
// ============================================================================

std::atomic<uint64_t> g_envelope_tests{0};
std::atomic<uint64_t> g_index_candidates{0};

void fail(sqlite3_context* cx, const char* fn, const std::string& why, const char* state = "38SU1",
          int32_t native = -443) {
  if (strncmp(fn, "DB2GSE_", 7) == 0) fn += 7;  // a method: its own name
  std::string body = native == -443
                         ? "Routine \"DB2GSE." + std::string(fn) +
                               "\" has returned an error SQLSTATE with diagnostic text \"" + why + "\"."
                         : why;
  std::string e = dl_raise_text(state, native, dl_msg(native, body, state));
  sqlite3_result_error(cx, e.c_str(), (int)e.size());
}

const char* fn_name(sqlite3_context* cx) { return (const char*)sqlite3_user_data(cx); }

void result_shape(sqlite3_context* cx, const Shape& s) {
  std::string b = encode(s);
  sqlite3_result_blob64(cx, b.data(), b.size(), SQLITE_TRANSIENT);
}

// Reads a shape argument: false (with the error set) when it is not a
// stored shape; *null when it is NULL.
bool shape_arg(sqlite3_context* cx, sqlite3_value* v, View* out, bool* null) {
  *null = sqlite3_value_type(v) == SQLITE_NULL;
  if (*null) return true;
  if (view_of(v, out)) return true;
  fail(cx, fn_name(cx), "the argument is not a shape value");
  return false;
}

// Reads a packed shape value argument; false with the error set.
bool packed_arg(sqlite3_context* cx, sqlite3_value* v, std::string* bytes, Packed* pk) {
  int t = sqlite3_value_type(v);
  if (t != SQLITE_BLOB && t != SQLITE_TEXT) {
    fail(cx, fn_name(cx), "the packed shape value is not a binary string");
    return false;
  }
  int n = sqlite3_value_bytes(v);
  if ((size_t)n > kMaxPackedShape) {
    fail(cx, fn_name(cx), "the packed shape value is longer than 1M bytes", "22001", -302);
    return false;
  }
  const void* p = t == SQLITE_BLOB ? sqlite3_value_blob(v) : (const void*)sqlite3_value_text(v);
  bytes->assign((const char*)(p ? p : ""), (size_t)n);
  std::string why;
  if (!decode_packed((const unsigned char*)bytes->data(), bytes->size(), pk, &why)) {
    fail(cx, fn_name(cx), why);
    return false;
  }
  return true;
}

bool anno_arg(sqlite3_context* cx, sqlite3_value* v, Shape* s) {
  if (sqlite3_value_type(v) == SQLITE_NULL) {
    s->anno.clear();
    s->clear(kAnno);
    return true;
  }
  const unsigned char* t = sqlite3_value_text(v);
  int n = sqlite3_value_bytes(v);
  if ((size_t)n > kMaxAnnoText) {
    fail(cx, fn_name(cx), "the annotation text is longer than 255 bytes", "22001", -302);
    return false;
  }
  s->anno.assign((const char*)(t ? t : (const unsigned char*)""), (size_t)n);
  s->set(kAnno);
  return true;
}

// POINTFROMZUL, LINEFROMZUL, POLYFROMZUL, GEOMETRYFROMZUL (packed, anno):
// the shape the packed value describes, its properties read from the
// trailer.
struct FromZul { const char* name; int type; };  // type -1: by entity type
const FromZul kFromZul[] = {{"POINTFROMZUL", 1}, {"LINEFROMZUL", 3}, {"POLYFROMZUL", 5},
                            {"GEOMETRYFROMZUL", -1}};

void f_from_zul(sqlite3_context* cx, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(cx);
  const char* name = fn_name(cx);
  int type = -1;
  for (const FromZul& f : kFromZul)
    if (strcmp(f.name, name) == 0) type = f.type;
  Shape s;
  Packed pk;
  if (!packed_arg(cx, v[0], &s.points, &pk)) return;
  if (!anno_arg(cx, v[1], &s)) return;
  s.type = type >= 0 ? type : type_of_entity(pk.entity);
  s.set(kPoints);
  s.srid = pk.srid;
  s.set(kSrid);
  s.numpoints = pk.numpoints;
  s.set(kNumPoints);
  s.geomtype = geometry_type_code(pk.entity, pk.has_z, pk.has_m);
  s.set(kGeomType);
  if (pk.has_env) {
    for (int i = 0; i < 4; ++i) s.d[i] = pk.env[i];
    for (int p = kXmin; p <= kYmax; ++p) s.set(p);
  }
  if (pk.has_z) {
    s.d[kZmin - kXmin] = pk.z[0];
    s.d[kZmax - kXmin] = pk.z[1];
    s.set(kZmin);
    s.set(kZmax);
  }
  if (pk.has_m) {
    s.d[kMmin - kXmin] = pk.m[0];
    s.d[kMmax - kXmin] = pk.m[1];
    s.set(kMmin);
    s.set(kMmax);
  }
  if (pk.has_area) {
    s.d[kArea - kXmin] = pk.area;
    s.set(kArea);
  }
  if (pk.has_length) {
    s.d[kLength - kXmin] = pk.length;
    s.set(kLength);
  }
  result_shape(cx, s);
}

// ST_POINT() and the other type constructors: an empty shape of the type.
void f_type_ctor(sqlite3_context* cx, int, sqlite3_value**) {
  Shape s;
  s.type = dl_spatial_type_code(fn_name(cx));
  if (s.type < 0) s.type = 0;
  result_shape(cx, s);
}

// The methods, by property.
struct Method { const char* name; const char* fn; int prop; };
const Method kMethods[] = {
    {"POINTS", "DB2GSE_POINTS", kPoints},       {"ANNO_TEXT", "DB2GSE_ANNO_TEXT", kAnno},
    {"SRID", "DB2GSE_SRID", kSrid},             {"NUMPOINTS", "DB2GSE_NUMPOINTS", kNumPoints},
    {"GEOMETRY_TYPE", "DB2GSE_GEOMETRY_TYPE", kGeomType},
    {"XMIN", "DB2GSE_XMIN", kXmin},             {"YMIN", "DB2GSE_YMIN", kYmin},
    {"XMAX", "DB2GSE_XMAX", kXmax},             {"YMAX", "DB2GSE_YMAX", kYmax},
    {"ZMIN", "DB2GSE_ZMIN", kZmin},             {"ZMAX", "DB2GSE_ZMAX", kZmax},
    {"MMIN", "DB2GSE_MMIN", kMmin},             {"MMAX", "DB2GSE_MMAX", kMmax},
    {"AREA", "DB2GSE_AREA", kArea},             {"LENGTH", "DB2GSE_LENGTH", kLength},
};

int prop_of(sqlite3_context* cx) {
  const char* fn = fn_name(cx);
  for (const Method& m : kMethods)
    if (strcmp(m.fn, fn) == 0) return m.prop;
  return -1;
}

// DB2GSE_<METHOD>(shape): the property, NULL when absent.
void f_observe(sqlite3_context* cx, int, sqlite3_value** v) {
  View w;
  bool null;
  if (!shape_arg(cx, v[0], &w, &null)) return;
  int prop = prop_of(cx);
  if (null || prop < 0 || !w.has(prop)) return sqlite3_result_null(cx);
  switch (prop) {
    case kPoints:
      return sqlite3_result_blob64(cx, w.points(), w.points_len, SQLITE_TRANSIENT);
    case kAnno:
      return sqlite3_result_text64(cx, (const char*)w.anno(), w.anno_len, SQLITE_TRANSIENT, SQLITE_UTF8);
    case kSrid: return sqlite3_result_int(cx, (int32_t)get32(w.p + 8));
    case kNumPoints: return sqlite3_result_int(cx, (int32_t)get32(w.p + 12));
    case kGeomType: return sqlite3_result_int(cx, (int16_t)get16(w.p + 16));
    default: return sqlite3_result_double(cx, w.d(prop));
  }
}

bool int_value(sqlite3_value* v, int64_t lo, int64_t hi, int64_t* out) {
  int t = sqlite3_value_numeric_type(v);
  if (t == SQLITE_INTEGER) {
    *out = sqlite3_value_int64(v);
  } else if (t == SQLITE_FLOAT) {
    double d = sqlite3_value_double(v);
    if (!(d >= (double)lo && d <= (double)hi)) return false;
    *out = (int64_t)d;
  } else {
    return false;
  }
  return *out >= lo && *out <= hi;
}

// DB2GSE_<METHOD>(shape, value): a copy of the shape with the property set;
// a NULL value clears it.
void f_mutate(sqlite3_context* cx, int, sqlite3_value** v) {
  View w;
  bool null;
  if (!shape_arg(cx, v[0], &w, &null)) return;
  if (null) return sqlite3_result_null(cx);
  int prop = prop_of(cx);
  Shape s = shape_of(w);
  sqlite3_value* x = v[1];
  bool clear = sqlite3_value_type(x) == SQLITE_NULL;
  if (prop == kAnno) {
    if (!anno_arg(cx, x, &s)) return;
    return result_shape(cx, s);
  }
  if (clear) {
    if (prop == kPoints) s.points.clear();
    s.clear(prop);
    return result_shape(cx, s);
  }
  int64_t i = 0;
  switch (prop) {
    case kPoints: {
      Packed pk;
      if (!packed_arg(cx, x, &s.points, &pk)) return;
      break;
    }
    case kSrid:
    case kNumPoints:
      if (!int_value(x, INT32_MIN, INT32_MAX, &i)) {
        return fail(cx, fn_name(cx), "the value is not an integer", "22003", -413);
      }
      (prop == kSrid ? s.srid : s.numpoints) = (int32_t)i;
      break;
    case kGeomType:
      if (!int_value(x, INT16_MIN, INT16_MAX, &i)) {
        return fail(cx, fn_name(cx), "the value is not a small integer", "22003", -413);
      }
      s.geomtype = (int16_t)i;
      break;
    default: {
      int t = sqlite3_value_numeric_type(x);
      if (t != SQLITE_INTEGER && t != SQLITE_FLOAT) {
        return fail(cx, fn_name(cx), "the value is not a number", "22018", -420);
      }
      s.d[prop - kXmin] = sqlite3_value_double(x);
      break;
    }
  }
  s.set(prop);
  result_shape(cx, s);
}

// ZULENTITY(shape): the entity type written in the packed value's header.
void f_zulentity(sqlite3_context* cx, int, sqlite3_value** v) {
  View w;
  bool null;
  if (!shape_arg(cx, v[0], &w, &null)) return;
  if (null || !w.has(kPoints)) return sqlite3_result_null(cx);
  const unsigned char* p = w.points();
  const unsigned char* end = p + (w.points_len < 8 ? w.points_len : 8);
  int32_t npts = 0, entity = 0;
  const unsigned char* q = varlong(p, end, &npts);
  if (q) q = varlong(q, end, &entity);
  if (!q) return sqlite3_result_null(cx);
  sqlite3_result_int(cx, entity);
}

// ENVELOPESINTERSECT(a, b).
void f_envelopes_intersect(sqlite3_context* cx, int, sqlite3_value** v) {
  View a, b;
  bool na, nb;
  if (!shape_arg(cx, v[0], &a, &na) || !shape_arg(cx, v[1], &b, &nb)) return;
  if (na || nb) return sqlite3_result_null(cx);
  double ea[4], eb[4];
  g_envelope_tests.fetch_add(1, std::memory_order_relaxed);
  sqlite3_result_int(cx, envelope_of(a, ea) && envelope_of(b, eb) && meet(ea, eb) ? 1 : 0);
}

// DL_SPIX_OK(shape): 1 when the shape has a usable envelope, so that the
// spatial index holds it.
void f_spix_ok(sqlite3_context* cx, int, sqlite3_value** v) {
  View w;
  double e[4];
  sqlite3_result_int(cx, view_of(v[0], &w) && envelope_of(w, e) ? 1 : 0);
}

// DL_SPIX_HIT(search, xmin, xmax, ymin, ymax): the exact test of one
// candidate of the spatial index against the search shape.
void f_spix_hit(sqlite3_context* cx, int, sqlite3_value** v) {
  g_index_candidates.fetch_add(1, std::memory_order_relaxed);
  View q;
  double eq[4], ec[4];
  if (!view_of(v[0], &q) || !envelope_of(q, eq)) return sqlite3_result_int(cx, 0);
  const int order[4] = {1, 3, 2, 4};  // xmin ymin xmax ymax from xmin xmax ymin ymax
  for (int i = 0; i < 4; ++i) {
    sqlite3_value* x = v[order[i]];
    int t = sqlite3_value_type(x);
    if (t != SQLITE_FLOAT && t != SQLITE_INTEGER) return sqlite3_result_int(cx, 0);
    ec[i] = sqlite3_value_double(x);
  }
  sqlite3_result_int(cx, meet(eq, ec) ? 1 : 0);
}

// ============================================================================
// 4. registration and type names
// ============================================================================

const char* const kTypeNames[12] = {
    "ST_GEOMETRY",   "ST_POINT",     "ST_CURVE",        "ST_LINESTRING",
    "ST_SURFACE",    "ST_POLYGON",   "ST_GEOMCOLLECTION", "ST_MULTIPOINT",
    "ST_MULTICURVE", "ST_MULTILINESTRING", "ST_MULTISURFACE", "ST_MULTIPOLYGON"};

// Each type's supertype (-1 for ST_GEOMETRY).
const int kSuper[12] = {-1, 0, 0, 2, 0, 4, 0, 6, 6, 8, 6, 10};

}  // namespace

int dl_spatial_type_code(const std::string& type_name) {
  std::string n = dl_upper(type_name);
  if (n.rfind("DB2GSE.", 0) == 0) n = n.substr(7);
  if (n == "ST_GEOMETRYCOLLECTION") n = "ST_GEOMCOLLECTION";
  for (int i = 0; i < 12; ++i)
    if (n == kTypeNames[i]) return i;
  return -1;
}

const char* dl_spatial_type_name(int code) { return code >= 0 && code < 12 ? kTypeNames[code] : ""; }

bool dl_spatial_type_holds(int column_code, int shape_code) {
  if (column_code < 0 || column_code >= 12 || shape_code < 0 || shape_code >= 12) return false;
  for (int t = shape_code; t >= 0; t = kSuper[t])
    if (t == column_code) return true;
  return false;
}

bool dl_spatial_method_function(const std::string& method, std::string* fn) {
  std::string m = dl_upper(method);
  for (const Method& k : kMethods) {
    if (m == k.name) {
      if (fn) *fn = k.fn;
      return true;
    }
  }
  return false;
}

std::string dl_spatial_result_type(const std::string& name) {
  std::string n = dl_upper(name);
  if (n.rfind("DB2GSE.", 0) == 0) n = n.substr(7);
  if (n.rfind("DB2GSE_", 0) == 0) n = n.substr(7);
  for (const Method& m : kMethods) {
    if (n != m.name) continue;
    switch (m.prop) {
      case kPoints: return "BLOB";
      case kAnno: return "VARCHAR";
      case kSrid: case kNumPoints: return "INTEGER";
      case kGeomType: return "SMALLINT";
      default: return "DOUBLE";
    }
  }
  if (n == "ZULENTITY" || n == "ENVELOPESINTERSECT") return "INTEGER";
  for (const FromZul& f : kFromZul)
    if (n == f.name) return f.type >= 0 ? kTypeNames[f.type] : "ST_GEOMETRY";
  int code = dl_spatial_type_code(n);
  return code >= 0 ? kTypeNames[code] : "";
}

int dl_spatial_register(sqlite3* db) {
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int rc = SQLITE_OK;
  auto add = [&](const char* name, int nargs, void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    if (rc == SQLITE_OK)
      rc = sqlite3_create_function_v2(db, name, nargs, det, (void*)name, fn, nullptr, nullptr, nullptr);
  };
  for (const FromZul& f : kFromZul) add(f.name, 2, f_from_zul);
  for (const char* t : kTypeNames) add(t, 0, f_type_ctor);
  add("ST_GEOMETRYCOLLECTION", 0, f_type_ctor);
  for (const Method& m : kMethods) {
    add(m.fn, 1, f_observe);
    add(m.fn, 2, f_mutate);
  }
  add("ZULENTITY", 1, f_zulentity);
  add("ENVELOPESINTERSECT", 2, f_envelopes_intersect);
  add("DL_SPIX_OK", 1, f_spix_ok);
  add("DL_SPIX_HIT", 5, f_spix_hit);
  return rc;
}

DlSpatialCounters dl_spatial_counters() {
  DlSpatialCounters c;
  c.envelope_tests = g_envelope_tests.load(std::memory_order_relaxed);
  c.index_candidates = g_index_candidates.load(std::memory_order_relaxed);
  return c;
}

void dl_spatial_counters_reset() {
  g_envelope_tests.store(0, std::memory_order_relaxed);
  g_index_candidates.store(0, std::memory_order_relaxed);
}

}  // namespace dl
