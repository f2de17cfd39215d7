// gk_internal.h -- what the files of geomkit share and nobody else sees: the
// plane-envelope layout, the reading of a shape into parts and rings, the
// unit helpers and the GEOS adapter's entry points.
//
// A shape's point array is read once into a gk_layout (parts, each a list of
// point runs) by gk_parse, which checks the placement of the separators only;
// verification adds the geometric checks. Everything that walks parts uses
// the layout, so no code reads a separator as a coordinate.
#ifndef GK_INTERNAL_H
#define GK_INTERNAL_H

#include <stdint.h>
#include <string.h>

#include <vector>

#include "geomkit.h"

namespace gk {

// The plane envelope as the wire record lays it out (four doubles). geomkit
// reaches SE_ENVELOPE only by pointer, so it copies the bytes in and out.
struct PlaneEnv {
  double minx, miny, maxx, maxy;
};
static_assert(sizeof(PlaneEnv) == 32, "plane envelope is four doubles");

inline PlaneEnv plane_env_in(const SE_ENVELOPE* e) {
  PlaneEnv p;
  memcpy(&p, static_cast<const void*>(e), sizeof p);
  return p;
}
inline void plane_env_out(const PlaneEnv& p, SE_ENVELOPE* e) {
  memcpy(static_cast<void*>(e), &p, sizeof p);
}

// A run of points [start, start + count) of the point array: one ring of an
// area, one line, or one point.
struct Run {
  int32_t start;
  int32_t count;
};

// One part: a point, a line, or a polygon (its first run the outer ring, the
// others holes).
struct Part {
  std::vector<Run> runs;
};

struct Layout {
  int32_t kind = 0;          // entity low byte: 0, 1, 2, 4 or 8
  bool multi = false;        // SG_MULTI set
  std::vector<Part> parts;
};

// True for a known entity type (SG_VERIFY_BIT ignored).
bool known_entity(int32_t entity);

// Reads the shape into parts. SG_INVALID_ENTITY_TYPE, SG_INVALID_PARAM (counts
// or arrays inconsistent), SG_INVALID_PART (separators misplaced or a part
// count wrong for the kind). Nil shapes give no parts.
int32_t parse(const FEATURE_STRUCT* shape, Layout* out);

inline bool is_separator(const POINT& p) {
  return p.x == SG_PART_SEP && (p.y == SG_PART_SEP || p.y == SG_RING_SEP);
}

// Widens *e to take in p; the first point (*any false) sets it.
void envelope_add(ENVELOPE* e, bool* any, const POINT& p);

// The envelope of the points of the shape, separators skipped; empty when
// there are none.
ENVELOPE points_envelope(const FEATURE_STRUCT* shape);

inline bool env_empty(const ENVELOPE& e) { return e.maxx < e.minx || e.maxy < e.miny; }
inline ENVELOPE env_empty_value() {
  return ENVELOPE{SG_ENVELOPE_EMPTY_MIN, SG_ENVELOPE_EMPTY_MIN, 0, 0};
}
inline bool env_overlap(const ENVELOPE& a, const ENVELOPE& b) {
  return !env_empty(a) && !env_empty(b) && a.minx <= b.maxx && b.minx <= a.maxx &&
         a.miny <= b.maxy && b.miny <= a.maxy;
}
// a inside b (closed).
inline bool env_inside(const ENVELOPE& a, const ENVELOPE& b) {
  return !env_empty(a) && !env_empty(b) && a.minx >= b.minx && a.maxx <= b.maxx &&
         a.miny >= b.miny && a.maxy <= b.maxy;
}

// The x/y units and origins of a shape's reference, or the defaults.
struct Axes {
  double falsex = 0, falsey = 0, xyunits = 1;
  double falsez = 0, zunits = 1;
  double falsem = 0, munits = 1;
};
Axes axes_of(const COORDREF* cr);
bool units_ok(double units);

// Plane value to a signed 32-bit system value (Z and measures): round to the
// nearest, SG_COORD_OUT_OF_BOUNDS outside the int32 range.
int32_t to_system_signed(double plane, double falseorigin, double units, int32_t* out);

// Default values of a reference (the state SgCoordRefCreate gives), leaving
// srtext and coordsys alone.
void coordref_defaults(COORDREF* cr);

// ---- GEOS adapter (gk_geos.cpp) --------------------------------------------

// An owned GEOS geometry of the calling thread's context.
struct Geom;
void geom_free(Geom* g);

// Builds the geometry of a shape from its layout (system units). A nil shape
// gives an empty geometry. SG_GEOMETRY_ENGINE when GEOS refuses the shape,
// SG_OUT_OF_MEMORY.
int32_t geom_build(const FEATURE_STRUCT* shape, const Layout& layout, Geom** out);

// The lines of a geometry: itself for lines, its boundary for areas, null
// (and 0) for points and empty shapes.
int32_t geom_linework(Geom* g, int32_t kind, Geom** out);

// One-part helpers for verification.
int32_t geom_line_is_simple(const FEATURE_STRUCT* shape, const Run& run, bool* simple);
// Validity of an area geometry: 0, SG_SELF_INTERSECTING or SG_INVALID_POLYGON.
int32_t geom_area_valid(Geom* g);

// Relations; each answers 1 (true), 0 (false) or a status.
int32_t geom_relate_pattern(Geom* a, Geom* b, const char* pattern);
int32_t geom_equals(Geom* a, Geom* b);

// A filter shape prepared for repeated tests.
struct Prepared;
int32_t prepared_make(Geom* g, Prepared** out);   // takes ownership of g
void prepared_free(Prepared* p);
Geom* prepared_geom(Prepared* p);
int32_t prepared_intersects(Prepared* p, Geom* other);
int32_t prepared_contains(Prepared* p, Geom* other);          // p contains other
int32_t prepared_within(Prepared* p, Geom* other);            // p within other
int32_t prepared_contains_properly(Prepared* p, Geom* other);
int32_t prepared_crosses(Prepared* p, Geom* other);
int32_t prepared_overlaps(Prepared* p, Geom* other);
// The rectangle (or segment, or point) of an envelope.
int32_t geom_from_envelope(const ENVELOPE& e, Geom** out);

}  // namespace gk

#endif
