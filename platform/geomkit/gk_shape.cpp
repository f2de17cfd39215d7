// gk_shape.cpp -- shapes: the reading of the point array into parts, the
// life cycle of shapes and their arrays, the state flags, and the measures
// (envelope, area, length, Z and measure ranges) and search-shape generators.
//
// Divisions: 1. layout  2. life cycle  3. measures  4. generators.
//
// Shapes made by SgShapeCreate are remembered (with the coordinate reference
// each owns) in a small registry, so that SgShapeFree and SgShapeDuplicate
// know what they may free without trusting any word of the shape itself:
// shape words travel on the wire and a peer could set them to anything.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <new>
#include <unordered_map>

#include "gk_internal.h"

namespace gk {

// ---- 1. layout ---------------------------------------------------------------

bool known_entity(int32_t entity) {
  switch (entity & SG_ENTITY_MASK) {
    case SG_NIL_SHAPE:
    case SG_POINT_SHAPE:
    case SG_LINE_SHAPE:
    case SG_SIMPLE_LINE_SHAPE:
    case SG_AREA_SHAPE:
    case SG_MULTI_POINT_SHAPE:
    case SG_MULTI_LINE_SHAPE:
    case SG_MULTI_SIMPLE_LINE_SHAPE:
    case SG_MULTI_AREA_SHAPE:
      return true;
    default:
      return false;
  }
}

static int32_t parse_parts(const FEATURE_STRUCT* shape, Layout* out);

int32_t parse(const FEATURE_STRUCT* shape, Layout* out) {
  try {
    return parse_parts(shape, out);
  } catch (const std::bad_alloc&) {
    out->parts.clear();
    return SG_OUT_OF_MEMORY;
  }
}

static int32_t parse_parts(const FEATURE_STRUCT* shape, Layout* out) {
  out->parts.clear();
  int32_t entity = shape->entity & SG_ENTITY_MASK;
  if (!known_entity(shape->entity)) return SG_INVALID_ENTITY_TYPE;
  out->kind = entity & 0xFF;
  out->multi = (entity & SG_MULTI) != 0;
  int32_t n = shape->numofpts;
  if (n < 0 || n > SG_MAX_POINTS) return SG_INVALID_PARAM;
  if (n > 0 && !shape->points) return SG_INVALID_PARAM;
  const POINT* pts = shape->points;

  if (out->kind == SG_NIL_SHAPE) return n == 0 ? SG_SUCCESS : SG_INVALID_PART;
  if (n == 0) return SG_SUCCESS;

  if (out->kind == SG_POINT_SHAPE) {
    if (!out->multi && n != 1) return SG_INVALID_PART;
    out->parts.reserve(n);
    for (int32_t i = 0; i < n; i++) {
      if (is_separator(pts[i])) return SG_INVALID_PART;
      Part part;
      part.runs.push_back(Run{i, 1});
      out->parts.push_back(std::move(part));
    }
    return SG_SUCCESS;
  }

  bool area = out->kind == SG_AREA_SHAPE;
  Part part;
  int32_t start = 0;
  for (int32_t i = 0; i <= n; i++) {
    bool end = i == n;
    bool sep = !end && is_separator(pts[i]);
    if (!end && !sep) continue;
    if (i == start) return SG_INVALID_PART;  // empty run: separator first, last or doubled
    part.runs.push_back(Run{start, i - start});
    start = i + 1;
    bool ring_sep = sep && pts[i].y == SG_RING_SEP;
    if (ring_sep && !area) return SG_INVALID_PART;
    if (ring_sep) continue;  // next ring of the same polygon
    if (sep && !out->multi) return SG_INVALID_PART;
    out->parts.push_back(std::move(part));
    part = Part();
  }
  return SG_SUCCESS;
}

// Widens *e to take in p; the first point (*any false) sets it.
void envelope_add(ENVELOPE* e, bool* any, const POINT& p) {
  if (!*any) {
    *e = ENVELOPE{p.x, p.y, p.x, p.y};
    *any = true;
    return;
  }
  if (p.x < e->minx) e->minx = p.x;
  if (p.x > e->maxx) e->maxx = p.x;
  if (p.y < e->miny) e->miny = p.y;
  if (p.y > e->maxy) e->maxy = p.y;
}

ENVELOPE points_envelope(const FEATURE_STRUCT* shape) {
  ENVELOPE e = env_empty_value();
  if (!shape->points || shape->numofpts <= 0) return e;
  bool any = false;
  for (int32_t i = 0; i < shape->numofpts; i++) {
    const POINT& p = shape->points[i];
    if (!is_separator(p)) envelope_add(&e, &any, p);
  }
  return e;
}

}  // namespace gk

using namespace gk;

namespace {

// ---- 2. life cycle -----------------------------------------------------------

// Shapes made by SgShapeCreate, with the reference each owns (or null).
std::mutex g_made_mutex;
std::unordered_map<const FEATURE_STRUCT*, COORDREF*>& made() {
  static auto* m = new std::unordered_map<const FEATURE_STRUCT*, COORDREF*>();
  return *m;
}

bool made_lookup(const FEATURE_STRUCT* s, COORDREF** owned) {
  std::lock_guard<std::mutex> g(g_made_mutex);
  auto it = made().find(s);
  if (it == made().end()) return false;
  if (owned) *owned = it->second;
  return true;
}

// A reference owned by a made shape: the values of src and a private copy of
// its text.
int32_t owned_copy(const COORDREF* src, COORDREF** out) {
  COORDREF* cr = static_cast<COORDREF*>(calloc(1, sizeof(COORDREF)));
  if (!cr) return SG_OUT_OF_MEMORY;
  *cr = *src;
  cr->coordsys = nullptr;
  cr->srtext = nullptr;
  if (src->srtext) {
    size_t len = strnlen(src->srtext, SG_SRTEXT_CAP - 1);
    cr->srtext = static_cast<char*>(malloc(SG_SRTEXT_CAP));
    if (!cr->srtext) {
      free(cr);
      return SG_OUT_OF_MEMORY;
    }
    memcpy(cr->srtext, src->srtext, len);
    cr->srtext[len] = '\0';
  }
  *out = cr;
  return SG_SUCCESS;
}

void owned_free(COORDREF* cr) {
  if (!cr) return;
  free(cr->srtext);
  free(cr);
}

// Grows an int32 array to cap entries (new entries zero).
bool grow_ints(int32_t** a, int32_t old_cap, int32_t cap) {
  void* p = realloc(*a, static_cast<size_t>(cap) * sizeof(int32_t));
  if (!p) return false;
  *a = static_cast<int32_t*>(p);
  if (cap > old_cap) memset(*a + old_cap, 0, static_cast<size_t>(cap - old_cap) * sizeof(int32_t));
  return true;
}

// Makes the arrays hold cap points; Z and measure arrays are made when wanted
// and grown alike when present.
int32_t ensure_capacity(FEATURE_STRUCT* s, int32_t cap, bool want_z, bool want_m) {
  int32_t old = s->allocpts > 0 && s->points ? s->allocpts : 0;
  if (cap < 1) cap = 1;
  if (cap > old) {
    void* p = realloc(s->points, static_cast<size_t>(cap) * sizeof(POINT));
    if (!p) return SG_OUT_OF_MEMORY;
    s->points = static_cast<POINT*>(p);
    memset(s->points + old, 0, static_cast<size_t>(cap - old) * sizeof(POINT));
    if (s->z && !grow_ints(&s->z, old, cap)) return SG_OUT_OF_MEMORY;
    if (s->m && !grow_ints(&s->m, old, cap)) return SG_OUT_OF_MEMORY;
    s->allocpts = cap;
  }
  int32_t full = s->allocpts;
  if (want_z && !s->z) {
    s->z = static_cast<int32_t*>(calloc(static_cast<size_t>(full), sizeof(int32_t)));
    if (!s->z) return SG_OUT_OF_MEMORY;
  }
  if (want_m && !s->m) {
    s->m = static_cast<int32_t*>(calloc(static_cast<size_t>(full), sizeof(int32_t)));
    if (!s->m) return SG_OUT_OF_MEMORY;
  }
  return SG_SUCCESS;
}

void clear_geometry(FEATURE_STRUCT* s) {
  s->sg_state = 0;
  s->value = 0;
  s->fid = 0;
  s->numofpts = 0;
  s->entity = SG_NIL_SHAPE;
  s->envelope = env_empty_value();
  memset(s->values, 0, sizeof s->values);
  s->area = 0.0;
  s->length = 0.0;
}

// ---- 3. measures ---------------------------------------------------------------

// Twice the signed area of a ring in system units squared, exactly.
__int128 ring_area2(const POINT* pts, const Run& r) {
  __int128 sum = 0;
  for (int32_t i = 0; i + 1 < r.count; i++) {
    const POINT& a = pts[r.start + i];
    const POINT& b = pts[r.start + i + 1];
    sum += static_cast<__int128>(a.x) * b.y - static_cast<__int128>(b.x) * a.y;
  }
  // A ring that is not closed is measured as if it were.
  const POINT& f = pts[r.start];
  const POINT& l = pts[r.start + r.count - 1];
  if (f.x != l.x || f.y != l.y) sum += static_cast<__int128>(l.x) * f.y - static_cast<__int128>(f.x) * l.y;
  return sum < 0 ? -sum : sum;
}

double run_length(const POINT* pts, const Run& r) {
  double sum = 0.0;
  for (int32_t i = 0; i + 1 < r.count; i++) {
    double dx = static_cast<double>(pts[r.start + i + 1].x) - pts[r.start + i].x;
    double dy = static_cast<double>(pts[r.start + i + 1].y) - pts[r.start + i].y;
    sum += hypot(dx, dy);
  }
  return sum;
}

double part_area_sys(const POINT* pts, const Part& part) {
  if (part.runs.empty()) return 0.0;
  __int128 a = ring_area2(pts, part.runs[0]);
  for (size_t i = 1; i < part.runs.size(); i++) a -= ring_area2(pts, part.runs[i]);
  if (a < 0) a = 0;
  return static_cast<double>(a) / 2.0;
}

double part_length_sys(const POINT* pts, const Part& part) {
  double sum = 0.0;
  for (const Run& r : part.runs) sum += run_length(pts, r);
  return sum;
}

// Parts [first, last) of the layout for part number `part` (0 = all).
int32_t part_range(const Layout& l, int32_t part, size_t* first, size_t* last) {
  if (part == 0) {
    *first = 0;
    *last = l.parts.size();
    return SG_SUCCESS;
  }
  if (part < 0 || static_cast<size_t>(part) > l.parts.size()) return SG_INVALID_PARAM;
  *first = static_cast<size_t>(part - 1);
  *last = static_cast<size_t>(part);
  return SG_SUCCESS;
}

int32_t measure(const FEATURE_STRUCT* shape, int32_t part, double* area, double* length) {
  Layout l;
  int32_t rc = parse(shape, &l);
  if (rc) return rc;
  size_t first, last;
  if ((rc = part_range(l, part, &first, &last))) return rc;
  Axes ax = axes_of(shape->coordref);
  if (!units_ok(ax.xyunits)) return SG_INVALID_UNITS;
  double a = 0.0, len = 0.0;
  for (size_t i = first; i < last; i++) {
    if (l.kind == SG_AREA_SHAPE) a += part_area_sys(shape->points, l.parts[i]);
    if (l.kind == SG_AREA_SHAPE || l.kind == SG_LINE_SHAPE || l.kind == SG_SIMPLE_LINE_SHAPE)
      len += part_length_sys(shape->points, l.parts[i]);
  }
  if (area) *area = a / (ax.xyunits * ax.xyunits);
  if (length) *length = len / ax.xyunits;
  return SG_SUCCESS;
}

// Range of the Z (which 0) or measure (which 1) values over the points of
// the chosen parts, in plane units; NaN without values.
int32_t value_range(const FEATURE_STRUCT* shape, int32_t part, int which, double* lo, double* hi) {
  if (!shape) return SG_NULL_SHAPE;
  if (!lo || !hi) return SG_INVALID_POINTER;
  Layout l;
  int32_t rc = parse(shape, &l);
  if (rc) return rc;
  size_t first, last;
  if ((rc = part_range(l, part, &first, &last))) return rc;
  Axes ax = axes_of(shape->coordref);
  double origin = which == 0 ? ax.falsez : ax.falsem;
  double units = which == 0 ? ax.zunits : ax.munits;
  if (!units_ok(units)) return SG_INVALID_UNITS;
  const int32_t* v = which == 0 ? shape->z : shape->m;
  *lo = *hi = NAN;
  if (!v) return SG_SUCCESS;
  bool any = false;
  int32_t mn = 0, mx = 0;
  for (size_t i = first; i < last; i++) {
    for (const Run& r : l.parts[i].runs) {
      for (int32_t k = r.start; k < r.start + r.count; k++) {
        if (!any || v[k] < mn) mn = v[k];
        if (!any || v[k] > mx) mx = v[k];
        any = true;
      }
    }
  }
  if (any) {
    *lo = origin + mn / units;
    *hi = origin + mx / units;
  }
  return SG_SUCCESS;
}

// ---- 4. generators -------------------------------------------------------------

// Fills the shape with n points from plane values, with separators before
// the listed part starts, and finishes its measures.
int32_t fill_points(FEATURE_STRUCT* shape, int32_t entity, int32_t npts, const SG_POINT* pts,
                    const double* z, const double* m, const int32_t* starts, int32_t nstarts) {
  Axes ax = axes_of(shape->coordref);
  if (!units_ok(ax.xyunits) || (z && !units_ok(ax.zunits)) || (m && !units_ok(ax.munits)))
    return SG_INVALID_UNITS;
  int32_t total = npts + (nstarts > 1 ? nstarts - 1 : 0);
  int32_t rc = SgsShapeAllocate(shape, total, z != nullptr, m != nullptr);
  if (rc) return rc;
  int32_t out = 0;
  int32_t next_part = 1;
  for (int32_t i = 0; i < npts; i++) {
    if (next_part < nstarts && i == starts[next_part]) {
      shape->points[out] = POINT{SG_PART_SEP, SG_PART_SEP};
      if (shape->z) shape->z[out] = 0;
      if (shape->m) shape->m[out] = 0;
      out++;
      next_part++;
    }
    POINT p;
    if ((rc = SgsValueToSystem(pts[i].x, ax.falsex, ax.xyunits, 1.0 / ax.xyunits, 0.5 / ax.xyunits, &p.x)) ||
        (rc = SgsValueToSystem(pts[i].y, ax.falsey, ax.xyunits, 1.0 / ax.xyunits, 0.5 / ax.xyunits, &p.y)))
      break;
    shape->points[out] = p;
    if (shape->z) {
      shape->z[out] = 0;
      if (z && (rc = to_system_signed(z[i], ax.falsez, ax.zunits, &shape->z[out]))) break;
    }
    if (shape->m) {
      shape->m[out] = 0;
      if (m && (rc = to_system_signed(m[i], ax.falsem, ax.munits, &shape->m[out]))) break;
    }
    out++;
  }
  if (rc) {
    shape->numofpts = 0;
    shape->entity = SG_NIL_SHAPE;
    return rc;
  }
  shape->entity = static_cast<int16_t>(entity);
  shape->numofpts = out;
  SgsNvelop(shape, nullptr);
  shape->sg_state |= SG_STATE_ACTIVE | SG_STATE_EXTENT;
  if ((rc = SgsShapeArea(shape, nullptr)) || (rc = SgsShapeLength(shape, nullptr))) return rc;
  shape->sg_state |= SG_STATE_AREA | SG_STATE_LENGTH;
  return SG_SUCCESS;
}

}  // namespace

extern "C" {

int32_t SgShapeCreate(const COORDREF* cr, FEATURE_STRUCT** out) {
  if (!out) return SG_INVALID_POINTER;
  *out = nullptr;
  FEATURE_STRUCT* s = static_cast<FEATURE_STRUCT*>(calloc(1, sizeof(FEATURE_STRUCT)));
  if (!s) return SG_OUT_OF_MEMORY;
  clear_geometry(s);
  COORDREF* own = nullptr;
  if (cr) {
    int32_t rc = owned_copy(cr, &own);
    if (rc) {
      free(s);
      return rc;
    }
  }
  s->coordref = own;
  try {
    std::lock_guard<std::mutex> g(g_made_mutex);
    made()[s] = own;
  } catch (const std::bad_alloc&) {
    owned_free(own);
    free(s);
    return SG_OUT_OF_MEMORY;
  }
  *out = s;
  return SG_SUCCESS;
}

void SgShapeFree(FEATURE_STRUCT* shape) {
  if (!shape) return;
  free(shape->points);
  free(shape->z);
  free(shape->m);
  shape->points = nullptr;
  shape->z = nullptr;
  shape->m = nullptr;
  shape->allocpts = 0;
  COORDREF* own = nullptr;
  bool ours;
  {
    std::lock_guard<std::mutex> g(g_made_mutex);
    auto it = made().find(shape);
    ours = it != made().end();
    if (ours) {
      own = it->second;
      made().erase(it);
    }
  }
  if (!ours) {
    clear_geometry(shape);
    return;
  }
  owned_free(own);
  free(shape);
}

int32_t SgShapeDuplicate(const FEATURE_STRUCT* src, FEATURE_STRUCT* dst) {
  if (!src || !dst) return SG_NULL_SHAPE;
  if (src == dst) return SG_SUCCESS;
  int32_t n = src->numofpts;
  if (n < 0 || n > SG_MAX_POINTS || (n > 0 && !src->points)) return SG_INVALID_PARAM;
  if (n > 0) {
    int32_t rc = ensure_capacity(dst, n, src->z != nullptr, src->m != nullptr);
    if (rc) return rc;
    memcpy(dst->points, src->points, static_cast<size_t>(n) * sizeof(POINT));
    if (src->z) memcpy(dst->z, src->z, static_cast<size_t>(n) * sizeof(int32_t));
    else if (dst->z) memset(dst->z, 0, static_cast<size_t>(n) * sizeof(int32_t));
    if (src->m) memcpy(dst->m, src->m, static_cast<size_t>(n) * sizeof(int32_t));
    else if (dst->m) memset(dst->m, 0, static_cast<size_t>(n) * sizeof(int32_t));
  }
  COORDREF* own = nullptr;
  if (made_lookup(dst, &own)) {
    if (src->coordref && src->coordref != own) {
      COORDREF* fresh = nullptr;
      int32_t rc = owned_copy(src->coordref, &fresh);
      if (rc) return rc;
      {
        std::lock_guard<std::mutex> g(g_made_mutex);
        made()[dst] = fresh;
      }
      owned_free(own);
      dst->coordref = fresh;
    }
  } else if (!dst->coordref) {
    dst->coordref = src->coordref;
  }
  dst->sg_state = src->sg_state;
  dst->value = src->value;
  dst->fid = src->fid;
  dst->numofpts = n;
  dst->entity = src->entity;
  dst->envelope = src->envelope;
  memcpy(dst->values, src->values, sizeof dst->values);
  dst->area = src->area;
  dst->length = src->length;
  return SG_SUCCESS;
}

int32_t SgShapeIsNil(const FEATURE_STRUCT* shape) {
  if (!shape) return 1;
  return ((shape->entity & 0xFF) == SG_NIL_SHAPE || shape->numofpts <= 0) ? 1 : 0;
}

int32_t SgShapeGetCoordRef(const FEATURE_STRUCT* shape, COORDREF* out) {
  if (!shape) return SG_NULL_SHAPE;
  if (!out) return SG_INVALID_POINTER;
  if (shape->coordref) return SgCoordRefDuplicate(shape->coordref, out);
  coordref_defaults(out);
  return SG_SUCCESS;
}

int32_t SgsShapeAllocate(FEATURE_STRUCT* shape, int32_t npts, int32_t want_z, int32_t want_m) {
  if (!shape) return SG_NULL_SHAPE;
  if (npts < 0 || npts > SG_MAX_POINTS) return SG_INVALID_PARAM;
  int32_t rc = ensure_capacity(shape, npts, want_z != 0, want_m != 0);
  if (rc) return rc;
  shape->numofpts = npts;
  return SG_SUCCESS;
}

int32_t SgsShapeInit(COORDREF* cr, FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  clear_geometry(shape);
  shape->coordref = cr;
  return SG_SUCCESS;
}

int32_t SgsShapeSetActive(FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  shape->sg_state |= SG_STATE_ACTIVE;
  return SG_SUCCESS;
}

static int32_t set_flag(FEATURE_STRUCT* shape, uint32_t bit, int32_t on) {
  if (!shape) return SG_NULL_SHAPE;
  if (on) shape->sg_state |= bit;
  else shape->sg_state &= ~bit;
  return SG_SUCCESS;
}

int32_t SgsShapeSetExtentFlag(FEATURE_STRUCT* shape, int32_t on) { return set_flag(shape, SG_STATE_EXTENT, on); }
int32_t SgsShapeSetAreaFlag(FEATURE_STRUCT* shape, int32_t on) { return set_flag(shape, SG_STATE_AREA, on); }
int32_t SgsShapeSetLengthFlag(FEATURE_STRUCT* shape, int32_t on) { return set_flag(shape, SG_STATE_LENGTH, on); }

int32_t SgsNvelop(FEATURE_STRUCT* shape, ENVELOPE* out) {
  if (!shape) return SG_NULL_SHAPE;
  if (shape->numofpts < 0 || shape->numofpts > SG_MAX_POINTS ||
      (shape->numofpts > 0 && !shape->points))
    return SG_INVALID_PARAM;
  shape->envelope = points_envelope(shape);
  if (out) *out = shape->envelope;
  return SG_SUCCESS;
}

int32_t SgsShapeArea(FEATURE_STRUCT* shape, double* out) {
  if (!shape) return SG_NULL_SHAPE;
  double a = 0.0;
  int32_t rc = measure(shape, 0, &a, nullptr);
  if (rc) return rc;
  shape->area = a;
  if (out) *out = a;
  return SG_SUCCESS;
}

int32_t SgsShapeLength(FEATURE_STRUCT* shape, double* out) {
  if (!shape) return SG_NULL_SHAPE;
  double len = 0.0;
  int32_t rc = measure(shape, 0, nullptr, &len);
  if (rc) return rc;
  shape->length = len;
  if (out) *out = len;
  return SG_SUCCESS;
}

int32_t SgShapeGetExtent(const FEATURE_STRUCT* shape, int32_t part, SE_ENVELOPE* out) {
  if (!shape) return SG_NULL_SHAPE;
  if (!out) return SG_INVALID_POINTER;
  Layout l;
  int32_t rc = parse(shape, &l);
  if (rc) return rc;
  size_t first, last;
  if ((rc = part_range(l, part, &first, &last))) return rc;
  ENVELOPE e = env_empty_value();
  bool any = false;
  for (size_t i = first; i < last; i++) {
    for (const Run& r : l.parts[i].runs) {
      for (int32_t k = r.start; k < r.start + r.count; k++) {
        const POINT& p = shape->points[k];
        envelope_add(&e, &any, p);
      }
    }
  }
  COORDREF defaults;
  memset(&defaults, 0, sizeof defaults);
  coordref_defaults(&defaults);
  return SgsEnvelopeToPlane(shape->coordref ? shape->coordref : &defaults, &e, out);
}

int32_t SgShapeGetArea(const FEATURE_STRUCT* shape, int32_t part, double* out) {
  if (!shape) return SG_NULL_SHAPE;
  if (!out) return SG_INVALID_POINTER;
  return measure(shape, part, out, nullptr);
}

int32_t SgShapeGetLength(const FEATURE_STRUCT* shape, int32_t part, double* out) {
  if (!shape) return SG_NULL_SHAPE;
  if (!out) return SG_INVALID_POINTER;
  return measure(shape, part, nullptr, out);
}

int32_t SgShapeGetZRange(const FEATURE_STRUCT* shape, int32_t part, double* zmin, double* zmax) {
  return value_range(shape, part, 0, zmin, zmax);
}

int32_t SgShapeGetMRange(const FEATURE_STRUCT* shape, int32_t part, double* mmin, double* mmax) {
  return value_range(shape, part, 1, mmin, mmax);
}

int32_t SgShapeGeneratePoint(int32_t npts, const SG_POINT* pts, const double* z, const double* m,
                             FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  if (!pts) return SG_INVALID_POINTER;
  if (npts < 1) return SG_TOO_FEW_POINTS;
  if (npts > SG_MAX_POINTS) return SG_INVALID_PARAM;
  return fill_points(shape, npts == 1 ? SG_POINT_SHAPE : SG_MULTI_POINT_SHAPE, npts, pts, z, m,
                     nullptr, 0);
}

int32_t SgShapeGenerateSimpleLine(int32_t npts, int32_t nparts, const int32_t* part_offsets,
                                  const SG_POINT* pts, const double* z, const double* m,
                                  FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  if (!pts) return SG_INVALID_POINTER;
  if (nparts < 1 || npts > SG_MAX_POINTS - nparts) return SG_INVALID_PARAM;
  if (nparts > 1 && !part_offsets) return SG_INVALID_POINTER;
  if (part_offsets && part_offsets[0] != 0) return SG_INVALID_PARAM;
  for (int32_t k = 0; k < nparts; k++) {
    int32_t begin = part_offsets ? part_offsets[k] : 0;
    int32_t end = (part_offsets && k + 1 < nparts) ? part_offsets[k + 1] : npts;
    if (begin < 0 || end > npts || end < begin) return SG_INVALID_PARAM;
    if (end - begin < 2) return SG_TOO_FEW_POINTS;
  }
  return fill_points(shape, nparts == 1 ? SG_SIMPLE_LINE_SHAPE : SG_MULTI_SIMPLE_LINE_SHAPE,
                     npts, pts, z, m, part_offsets, nparts);
}

int32_t SgShapeGenerateRectangle(const SE_ENVELOPE* env, FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  if (!env) return SG_INVALID_POINTER;
  PlaneEnv e = plane_env_in(env);
  if (!isfinite(e.minx) || !isfinite(e.miny) || !isfinite(e.maxx) || !isfinite(e.maxy))
    return SG_INVALID_PARAM;
  if (!(e.maxx > e.minx) || !(e.maxy > e.miny)) return SG_DEGENERATE;
  const SG_POINT ring[5] = {{e.minx, e.miny}, {e.minx, e.maxy}, {e.maxx, e.maxy},
                            {e.maxx, e.miny}, {e.minx, e.miny}};
  int32_t rc = fill_points(shape, SG_AREA_SHAPE, 5, ring, nullptr, nullptr, nullptr, 0);
  if (rc) return rc;
  // Corners closer than a system unit collapse into a ring of no area.
  if (shape->envelope.minx == shape->envelope.maxx || shape->envelope.miny == shape->envelope.maxy) {
    shape->numofpts = 0;
    shape->entity = SG_NIL_SHAPE;
    return SG_DEGENERATE;
  }
  return SG_SUCCESS;
}

}  // extern "C"
