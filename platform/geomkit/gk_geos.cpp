// gk_geos.cpp -- the one adapter between geomkit and GEOS: building GEOS
// geometries from shapes, validity and simplicity for verification, and the
// predicates and relation patterns behind the search methods.
//
// GEOS is used only through its reentrant C API (the _r functions), with one
// context per thread made on first use and finished when the thread ends, so
// callers on different threads never share GEOS state. GEOS reports failures
// through a handler; ours drops the text and every caller turns a failed call
// into SG_GEOMETRY_ENGINE. Coordinates are the shape's system units as
// doubles, which they hold exactly.
#include <geos_c.h>
#include <string.h>

#include <new>
#include <vector>

#include "gk_internal.h"

namespace gk {

struct Geom {
  GEOSGeometry* g;
};

struct Prepared {
  Geom geom;
  const GEOSPreparedGeometry* pg;
};

namespace {

void quiet_handler(const char*, void*) {}

// The calling thread's context. It is finished when the thread ends; a call
// made after that (a static destructor releasing a prepared filter) gets a
// fresh context, which is then left for the process's end to reclaim.
thread_local GEOSContextHandle_t t_handle = nullptr;

struct ContextEnd {
  ~ContextEnd() {
    if (t_handle) GEOS_finish_r(t_handle);
    t_handle = nullptr;
  }
};

GEOSContextHandle_t ctx() {
  if (!t_handle) {
    t_handle = GEOS_init_r();
    if (t_handle) {
      GEOSContext_setErrorMessageHandler_r(t_handle, quiet_handler, nullptr);
      GEOSContext_setNoticeMessageHandler_r(t_handle, quiet_handler, nullptr);
    }
    thread_local ContextEnd end;
    (void)end;
  }
  return t_handle;
}

int32_t answer(char r) {
  if (r == 1) return 1;
  if (r == 0) return 0;
  return SG_GEOMETRY_ENGINE;
}

GEOSCoordSequence* sequence(const POINT* pts, const Run& r) {
  std::vector<double> xy(static_cast<size_t>(r.count) * 2);
  for (int32_t i = 0; i < r.count; i++) {
    xy[2 * i] = pts[r.start + i].x;
    xy[2 * i + 1] = pts[r.start + i].y;
  }
  return GEOSCoordSeq_copyFromBuffer_r(ctx(), xy.data(), static_cast<unsigned>(r.count), 0, 0);
}

GEOSGeometry* line_of(const POINT* pts, const Run& r) {
  GEOSCoordSequence* s = sequence(pts, r);
  return s ? GEOSGeom_createLineString_r(ctx(), s) : nullptr;
}

GEOSGeometry* ring_of(const POINT* pts, const Run& r) {
  GEOSCoordSequence* s = sequence(pts, r);
  return s ? GEOSGeom_createLinearRing_r(ctx(), s) : nullptr;
}

GEOSGeometry* polygon_of(const POINT* pts, const Part& part) {
  if (part.runs.empty()) return nullptr;
  GEOSGeometry* shell = ring_of(pts, part.runs[0]);
  if (!shell) return nullptr;
  std::vector<GEOSGeometry*> holes;
  for (size_t i = 1; i < part.runs.size(); i++) {
    GEOSGeometry* h = ring_of(pts, part.runs[i]);
    if (!h) {
      GEOSGeom_destroy_r(ctx(), shell);
      for (GEOSGeometry* x : holes) GEOSGeom_destroy_r(ctx(), x);
      return nullptr;
    }
    holes.push_back(h);
  }
  GEOSGeometry* poly = GEOSGeom_createPolygon_r(ctx(), shell, holes.empty() ? nullptr : holes.data(),
                                                static_cast<unsigned>(holes.size()));
  return poly;
}

void destroy_all(std::vector<GEOSGeometry*>& gs) {
  for (GEOSGeometry* g : gs) GEOSGeom_destroy_r(ctx(), g);
  gs.clear();
}

Geom* wrap(GEOSGeometry* g) {
  Geom* w = new (std::nothrow) Geom{g};
  if (!w) GEOSGeom_destroy_r(ctx(), g);
  return w;
}

}  // namespace

void geom_free(Geom* g) {
  if (!g) return;
  if (g->g) GEOSGeom_destroy_r(ctx(), g->g);
  delete g;
}

int32_t geom_build(const FEATURE_STRUCT* shape, const Layout& l, Geom** out) {
  *out = nullptr;
  if (!ctx()) return SG_GEOMETRY_ENGINE;
  GEOSGeometry* g = nullptr;
  try {
    if (l.parts.empty()) {
      g = GEOSGeom_createEmptyCollection_r(ctx(), GEOS_GEOMETRYCOLLECTION);
    } else if (l.kind == SG_POINT_SHAPE && !l.multi) {
      const POINT& p = shape->points[l.parts[0].runs[0].start];
      g = GEOSGeom_createPointFromXY_r(ctx(), p.x, p.y);
    } else {
      std::vector<GEOSGeometry*> members;
      members.reserve(l.parts.size());
      for (const Part& part : l.parts) {
        GEOSGeometry* m = nullptr;
        if (l.kind == SG_POINT_SHAPE) {
          const POINT& p = shape->points[part.runs[0].start];
          m = GEOSGeom_createPointFromXY_r(ctx(), p.x, p.y);
        } else if (l.kind == SG_AREA_SHAPE) {
          m = polygon_of(shape->points, part);
        } else {
          m = part.runs.size() == 1 ? line_of(shape->points, part.runs[0]) : nullptr;
        }
        if (!m) {
          destroy_all(members);
          return SG_GEOMETRY_ENGINE;
        }
        members.push_back(m);
      }
      if (!l.multi) {
        g = members[0];
      } else {
        int type = l.kind == SG_POINT_SHAPE  ? GEOS_MULTIPOINT
                   : l.kind == SG_AREA_SHAPE ? GEOS_MULTIPOLYGON
                                             : GEOS_MULTILINESTRING;
        g = GEOSGeom_createCollection_r(ctx(), type, members.data(),
                                        static_cast<unsigned>(members.size()));
        // A failed collection has taken its members with it.
      }
    }
  } catch (const std::bad_alloc&) {
    if (g) GEOSGeom_destroy_r(ctx(), g);
    return SG_OUT_OF_MEMORY;
  }
  if (!g) return SG_GEOMETRY_ENGINE;
  *out = wrap(g);
  return *out ? SG_SUCCESS : SG_OUT_OF_MEMORY;
}

int32_t geom_linework(Geom* g, int32_t kind, Geom** out) {
  *out = nullptr;
  if (kind == SG_LINE_SHAPE || kind == SG_SIMPLE_LINE_SHAPE) {
    GEOSGeometry* c = GEOSGeom_clone_r(ctx(), g->g);
    if (!c) return SG_GEOMETRY_ENGINE;
    *out = wrap(c);
    return *out ? SG_SUCCESS : SG_OUT_OF_MEMORY;
  }
  if (kind == SG_AREA_SHAPE) {
    GEOSGeometry* b = GEOSBoundary_r(ctx(), g->g);
    if (!b) return SG_GEOMETRY_ENGINE;
    *out = wrap(b);
    return *out ? SG_SUCCESS : SG_OUT_OF_MEMORY;
  }
  return SG_SUCCESS;
}

int32_t geom_line_is_simple(const FEATURE_STRUCT* shape, const Run& run, bool* simple) {
  if (!ctx()) return SG_GEOMETRY_ENGINE;
  GEOSGeometry* g = nullptr;
  try {
    g = line_of(shape->points, run);
  } catch (const std::bad_alloc&) {
    return SG_OUT_OF_MEMORY;
  }
  if (!g) return SG_GEOMETRY_ENGINE;
  char r = GEOSisSimple_r(ctx(), g);
  GEOSGeom_destroy_r(ctx(), g);
  if (r == 2) return SG_GEOMETRY_ENGINE;
  *simple = r == 1;
  return SG_SUCCESS;
}

int32_t geom_area_valid(Geom* g) {
  char* reason = nullptr;
  GEOSGeometry* location = nullptr;
  char r = GEOSisValidDetail_r(ctx(), g->g, 0, &reason, &location);
  int32_t rc = SG_SUCCESS;
  if (r == 0) {
    rc = SG_INVALID_POLYGON;
    if (reason && strstr(reason, "elf-intersection")) rc = SG_SELF_INTERSECTING;
  } else if (r != 1) {
    rc = SG_GEOMETRY_ENGINE;
  }
  if (reason) GEOSFree_r(ctx(), reason);
  if (location) GEOSGeom_destroy_r(ctx(), location);
  return rc;
}

int32_t geom_relate_pattern(Geom* a, Geom* b, const char* pattern) {
  return answer(GEOSRelatePattern_r(ctx(), a->g, b->g, pattern));
}

int32_t geom_equals(Geom* a, Geom* b) {
  if (GEOSisEmpty_r(ctx(), a->g) == 1 || GEOSisEmpty_r(ctx(), b->g) == 1) return 0;
  return answer(GEOSEquals_r(ctx(), a->g, b->g));
}

int32_t prepared_make(Geom* g, Prepared** out) {
  *out = nullptr;
  Prepared* p = new (std::nothrow) Prepared{Geom{g->g}, nullptr};
  if (!p) {
    geom_free(g);
    return SG_OUT_OF_MEMORY;
  }
  delete g;  // the wrapper only; p owns the geometry now
  p->pg = GEOSPrepare_r(ctx(), p->geom.g);
  if (!p->pg) {
    prepared_free(p);
    return SG_GEOMETRY_ENGINE;
  }
  *out = p;
  return SG_SUCCESS;
}

void prepared_free(Prepared* p) {
  if (!p) return;
  if (p->pg) GEOSPreparedGeom_destroy_r(ctx(), p->pg);
  if (p->geom.g) GEOSGeom_destroy_r(ctx(), p->geom.g);
  delete p;
}

Geom* prepared_geom(Prepared* p) { return &p->geom; }

int32_t prepared_intersects(Prepared* p, Geom* other) {
  return answer(GEOSPreparedIntersects_r(ctx(), p->pg, other->g));
}

int32_t prepared_contains(Prepared* p, Geom* other) {
  if (GEOSisEmpty_r(ctx(), other->g) == 1) return 0;
  return answer(GEOSPreparedContains_r(ctx(), p->pg, other->g));
}

int32_t prepared_within(Prepared* p, Geom* other) {
  if (GEOSisEmpty_r(ctx(), other->g) == 1) return 0;
  return answer(GEOSPreparedWithin_r(ctx(), p->pg, other->g));
}

int32_t prepared_contains_properly(Prepared* p, Geom* other) {
  return answer(GEOSPreparedContainsProperly_r(ctx(), p->pg, other->g));
}

int32_t prepared_crosses(Prepared* p, Geom* other) {
  return answer(GEOSPreparedCrosses_r(ctx(), p->pg, other->g));
}

int32_t prepared_overlaps(Prepared* p, Geom* other) {
  return answer(GEOSPreparedOverlaps_r(ctx(), p->pg, other->g));
}

int32_t geom_from_envelope(const ENVELOPE& e, Geom** out) {
  *out = nullptr;
  if (!ctx()) return SG_GEOMETRY_ENGINE;
  GEOSGeometry* g = nullptr;
  if (e.minx == e.maxx && e.miny == e.maxy) {
    g = GEOSGeom_createPointFromXY_r(ctx(), e.minx, e.miny);
  } else if (e.minx == e.maxx || e.miny == e.maxy) {
    double xy[4] = {static_cast<double>(e.minx), static_cast<double>(e.miny),
                    static_cast<double>(e.maxx), static_cast<double>(e.maxy)};
    GEOSCoordSequence* s = GEOSCoordSeq_copyFromBuffer_r(ctx(), xy, 2, 0, 0);
    g = s ? GEOSGeom_createLineString_r(ctx(), s) : nullptr;
  } else {
    g = GEOSGeom_createRectangle_r(ctx(), e.minx, e.miny, e.maxx, e.maxy);
  }
  if (!g) return SG_GEOMETRY_ENGINE;
  *out = wrap(g);
  return *out ? SG_SUCCESS : SG_OUT_OF_MEMORY;
}

}  // namespace gk
