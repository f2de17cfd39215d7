// gk_verify.cpp -- shape verification: is a shape a valid shape of its kind?
//
// The checks run from the cheapest to the dearest and the first fault found
// is the answer: the entity type, the counts and arrays, the range of every
// coordinate, the placement of the separators, the points per part, closed
// rings and non-zero length or area, and last GEOS: simplicity of simple
// lines and validity of areas (rings that cross themselves or each other,
// holes outside their shell, polygons of a multi area that overlap).
#include <new>

#include "gk_internal.h"

using namespace gk;

namespace {

bool same_point(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

// True when every point lies on one line (a ring without area).
bool collinear(const POINT* p, int32_t n) {
  int32_t k = 1;
  while (k < n && same_point(p[0], p[k])) k++;
  if (k == n) return true;
  __int128 dx = static_cast<__int128>(p[k].x) - p[0].x;
  __int128 dy = static_cast<__int128>(p[k].y) - p[0].y;
  for (int32_t i = k + 1; i < n; i++) {
    __int128 ex = static_cast<__int128>(p[i].x) - p[0].x;
    __int128 ey = static_cast<__int128>(p[i].y) - p[0].y;
    if (dx * ey - dy * ex != 0) return false;
  }
  return true;
}

int32_t verify_lines(const FEATURE_STRUCT* s, const Layout& l) {
  for (const Part& part : l.parts) {
    for (const Run& r : part.runs) {
      if (r.count < 2) return SG_TOO_FEW_POINTS;
      bool moves = false;
      for (int32_t k = 1; k < r.count && !moves; k++)
        moves = !same_point(s->points[r.start], s->points[r.start + k]);
      if (!moves) return SG_DEGENERATE;
      if (l.kind == SG_SIMPLE_LINE_SHAPE) {
        bool simple = false;
        int32_t rc = geom_line_is_simple(s, r, &simple);
        if (rc) return rc;
        if (!simple) return SG_SELF_INTERSECTING;
      }
    }
  }
  return SG_SUCCESS;
}

int32_t verify_areas(const FEATURE_STRUCT* s, const Layout& l) {
  for (const Part& part : l.parts) {
    for (const Run& r : part.runs) {
      if (r.count < 4) return SG_TOO_FEW_POINTS;
      if (!same_point(s->points[r.start], s->points[r.start + r.count - 1]))
        return SG_RING_NOT_CLOSED;
      if (collinear(s->points + r.start, r.count)) return SG_DEGENERATE;
    }
  }
  Geom* g = nullptr;
  int32_t rc = geom_build(s, l, &g);
  if (rc) return rc;
  rc = geom_area_valid(g);
  geom_free(g);
  return rc;
}

}  // namespace

extern "C" int32_t SgsShapeVerify(const FEATURE_STRUCT* shape) {
  if (!shape) return SG_NULL_SHAPE;
  if (!known_entity(shape->entity)) return SG_INVALID_ENTITY_TYPE;
  int32_t n = shape->numofpts;
  if (n < 0 || n > SG_MAX_POINTS || (n > 0 && !shape->points)) return SG_INVALID_PARAM;
  for (int32_t i = 0; i < n; i++) {
    const POINT& p = shape->points[i];
    if (is_separator(p)) continue;
    if (p.x < 0 || p.x > SG_SYSTEM_MAX || p.y < 0 || p.y > SG_SYSTEM_MAX)
      return SG_COORD_OUT_OF_BOUNDS;
  }
  Layout l;
  int32_t rc;
  try {
    rc = parse(shape, &l);
    if (rc) return rc;
    if (l.kind != SG_NIL_SHAPE && l.parts.empty()) return SG_TOO_FEW_POINTS;
    if (l.kind == SG_LINE_SHAPE || l.kind == SG_SIMPLE_LINE_SHAPE) return verify_lines(shape, l);
    if (l.kind == SG_AREA_SHAPE) return verify_areas(shape, l);
  } catch (const std::bad_alloc&) {
    return SG_OUT_OF_MEMORY;
  }
  return SG_SUCCESS;
}
