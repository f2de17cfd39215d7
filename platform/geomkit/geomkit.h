// geomkit.h -- the shape-geometry library: coordinate references, shapes,
// envelopes, unit conversion, shape verification, the spatial relations behind
// the search methods, and the portable number form of packed shape values.
//
// What it promises
//   - COORDREF and FEATURE_STRUCT are plain, trivially copyable structs whose
//     fields callers read and write directly. A caller may copy a COORDREF
//     whole; the copy then shares the text buffer and the projection object of
//     the original, so a caller that copies whole puts its own text pointer
//     back. SgCoordRefDuplicate never copies those two pointers.
//   - Coordinates inside a shape are integers in system units. A coordinate
//     reference maps them to plane (map) values:
//         plane  = false origin + system / units
//         system = floor((plane - false origin) * units + 0.5)
//     A system x or y value lies in 0 .. SG_SYSTEM_MAX; anything else is out of
//     the reference's range (SG_COORD_OUT_OF_BOUNDS). Z and measure values use
//     their own origin and units and may be negative.
//   - Parts and rings live in the one point array, separated by separator
//     points (see "Shape model" below), so that a shape keeps its structure
//     through the compressed form, which carries only points.
//   - Every function returns 0 or one of the SG_ status codes below (all in
//     -2001 .. -2049 or -2999, the range the server maps), unless its comment
//     says otherwise. No exception leaves the library.
//   - Arrays hung on a shape (points, Z values, measures) are malloc'd; a
//     caller may free them with free(). Text buffers attached to a COORDREF
//     belong to the caller.
//   - The exact relations (verification, search methods, relation patterns)
//     are computed by GEOS behind one adapter; everything else is our own.
//     The relations do not depend on the coordinate reference: system units
//     are a translation and one scale of plane units, which keep every
//     topological relation, so shapes are compared in system units.
//
// What it does not do
//   - It never reprojects and never creates projection objects; the
//     projection library (projkit.h) makes them from a coordinate-system text
//     and a caller may hang one on COORDREF.coordsys.
//   - It never applies a filter's truth flag: SgsEnvSect and SgsSrchComp say
//     whether the relation of the method holds; the filter tests decide what a
//     must-pass or must-not-pass filter makes of it.
//   - Curves are not modelled: every part is a point, a polyline or a ring.
//
// strcasecmp and strncasecmp, which callers take from this library, are the C
// library's (<strings.h>, included here).
#ifndef GEOMKIT_H
#define GEOMKIT_H

#include <stddef.h>
#include <stdint.h>
#include <strings.h>

// The plane rectangle (four doubles) is a wire record of its own, declared
// with the other records in include/zul_layer.h; geomkit takes it by pointer.
struct SE_ENVELOPE;

// ---------------------------------------------------------------------------
// Status codes. The server maps them with SES_map_shape_error_to_zul; the
// status each one becomes there is given after the meaning.
// ---------------------------------------------------------------------------
#define SG_SUCCESS                  0
#define SG_NULL_SHAPE           (-2001)  // shape argument is null                   -> -134
#define SG_INVALID_POINTER      (-2002)  // other argument is null                   -> -65
#define SG_INVALID_PARAM        (-2003)  // argument out of its range                -> -66
#define SG_INVALID_ENTITY_TYPE  (-2004)  // entity type unknown or wrong for the call -> -27
#define SG_TOO_FEW_POINTS       (-2005)  // a part or ring has too few points        -> -135
#define SG_INVALID_PART         (-2006)  // separators misplaced, part count wrong   -> -29
#define SG_RING_NOT_CLOSED      (-2007)  // a ring's last point is not its first     -> -136
#define SG_SELF_INTERSECTING    (-2008)  // a ring or simple line crosses itself     -> -82
#define SG_INVALID_POLYGON      (-2009)  // holes outside, overlapping parts, ...    -> -30
#define SG_COORD_OUT_OF_BOUNDS  (-2010)  // coordinate outside the reference's range -> -75
#define SG_INVALID_SEARCH_METHOD (-2011) // search method unknown                    -> -76
#define SG_INVALID_RELATION     (-2012)  // relation pattern not 9 of T F * 0 1 2    -> -36
#define SG_INVALID_UNITS        (-2013)  // units not finite and positive            -> -67
#define SG_INVALID_BYTE_ORDER   (-2014)  // portable-number mode not 0 or 1          -> -72
#define SG_INVALID_COORDSYS     (-2015)  // coordinate-system text not understood    -> -81
#define SG_DEGENERATE           (-2016)  // zero-length line or zero-area ring       -> -123
#define SG_OUT_OF_MEMORY        (-2018)  // allocation failed                         -> -999
#define SG_COORDREF_MISMATCH    (-2020)  // two shapes on different references       -> -138
#define SG_COORDREF_NOT_ACTIVE  (-2023)  // reference not usable (units unset)       -> -141
#define SG_GEOMETRY_ENGINE      (-2999)  // the relation engine failed               -> -83

// ---------------------------------------------------------------------------
// Limits.
// ---------------------------------------------------------------------------
#define SG_SYSTEM_MAX       2147483646  // largest system x or y value
#define SG_ENVELOPE_EMPTY_MIN 2147483647 // the empty envelope: (MIN, MIN, 0, 0)
#define SG_MAX_POINTS       (1 << 24)   // points a shape may hold (a count from
                                        // outside is checked against it before
                                        // anything is allocated)
#define SG_SRTEXT_CAP       1024        // coordinate-system text buffer, bytes
#define SG_RELATION_CAP     256         // relation pattern text, bytes with NUL

// ---------------------------------------------------------------------------
// Records of the geometry that travel on the wire.
// ---------------------------------------------------------------------------

// A rectangle in integer system units. Empty when max x < min x or
// max y < min y; the canonical empty envelope is
// (SG_ENVELOPE_EMPTY_MIN, SG_ENVELOPE_EMPTY_MIN, 0, 0).
struct ENVELOPE {
  int32_t minx;   // minimum x    wire 4
  int32_t miny;   // minimum y    wire 4
  int32_t maxx;   // maximum x    wire 4
  int32_t maxy;   // maximum y    wire 4
};

// One point in system units.
struct POINT {
  int32_t x;      // x            wire 4
  int32_t y;      // y            wire 4
};

// One point with Z in system units.
struct POINT3D {
  int32_t x;      // x            wire 4
  int32_t y;      // y            wire 4
  int32_t z;      // z            wire 4
};

// One point in plane units, as the shape generators take them.
struct SG_POINT {
  double x;       // x in plane units
  double y;       // y in plane units
};

// ---------------------------------------------------------------------------
// Coordinate reference.
//
// Made by SgCoordRefCreate (defaults: origins 0, units 1, derived values
// computed, srid 0, no text, no projection object: an active reference) and
// freed by SgCoordRefFree. The derived values are those of SgsCalcCRound and
// SgsCalcHalfSU; a caller that sets units recomputes them.
//
// Native image (128 bytes; the wire encoders own the layout): local word 0,
// sg_state 4, falsex 8, falsey 16, falsez 24, falsem 32, xyhalfsu 40,
// xyunits 48, zunits 56, munits 64, zhalfsu 72, xycround 80, zcround 88,
// mcround 96, mhalfsu 104, local word 112, srtext 116, srid 120. The half
// system units fill the fourth group of the image and the rounding values the
// "further" values.
// ---------------------------------------------------------------------------
struct COORDREF {
  int32_t  local_word;  // receiver's own word; never taken from a peer
  uint32_t sg_state;    // SG_CR_* bits
  double   falsex;      // x false origin, plane units
  double   falsey;      // y false origin, plane units
  double   xyunits;     // system units per plane unit, x and y
  double   xycround;    // x/y rounding value (SgsCalcCRound)
  double   xyhalfsu;    // x/y half system unit (SgsCalcHalfSU)
  double   falsez;      // z false origin
  double   zunits;      // system units per z unit
  double   zcround;     // z rounding value
  double   zhalfsu;     // z half system unit
  double   falsem;      // measure false origin
  double   munits;      // system units per measure unit
  double   mcround;     // measure rounding value
  double   mhalfsu;     // measure half system unit
  char*    srtext;      // coordinate-system text (caller's buffer, normally
                        // SG_SRTEXT_CAP bytes), or null
  int32_t  srid;        // spatial reference id, 0 when none
  void*    coordsys;    // projection object (projkit.h), or null; geomkit
                        // neither makes nor frees it
};

#define SG_CR_DESCRIBED 0x1   // SgCoordRefSetByDescription accepted its text

// ---------------------------------------------------------------------------
// Shape.
//
// Entity types (the low byte is the kind; SG_MULTI marks the multi-part
// kinds; SG_VERIFY_BIT asks the server to verify a received shape and is
// ignored by every geomkit function):
// ---------------------------------------------------------------------------
#define SG_NIL_SHAPE          0x0
#define SG_POINT_SHAPE        0x1
#define SG_LINE_SHAPE         0x2
#define SG_SIMPLE_LINE_SHAPE  0x4
#define SG_AREA_SHAPE         0x8
#define SG_MULTI              0x100
#define SG_MULTI_POINT_SHAPE       (SG_MULTI | SG_POINT_SHAPE)
#define SG_MULTI_LINE_SHAPE        (SG_MULTI | SG_LINE_SHAPE)
#define SG_MULTI_SIMPLE_LINE_SHAPE (SG_MULTI | SG_SIMPLE_LINE_SHAPE)
#define SG_MULTI_AREA_SHAPE        (SG_MULTI | SG_AREA_SHAPE)
#define SG_VERIFY_BIT         0x800
#define SG_ENTITY_MASK        0x1FF   // entity type without SG_VERIFY_BIT

// Shape model: the point array holds every part one after the other.
//   - A part separator (SG_PART_SEP, SG_PART_SEP) ends a part of a multi line
//     or a polygon of a multi area. A multi point needs none: each point is a
//     part.
//   - A ring separator (SG_PART_SEP, SG_RING_SEP) ends a ring of a polygon;
//     the rings after the first ring of a polygon are its holes.
//   - Separators count in numofpts; their Z and measure entries are ignored.
//   - Rings are closed: a ring's last point repeats its first.
// Kinds: nil 0 points; point 1 point; multi point 1 or more; line and simple
// line 2 or more points per part (a simple line does not cross itself);
// area: rings of 4 or more points.
#define SG_PART_SEP  (-1)
#define SG_RING_SEP  (-2)

struct ANNOTATION;   // the annotation record (compressed-feature code)
struct CAD_DATA;     // the CAD record (compressed-feature code)

// The shape, with the compressed feature's own fields after its shape part.
// Native image of the shape part (96 bytes; the wire encoders own the
// layout): sg_state 0, value 4, fid 8, numofpts 12, entity 16, envelope 20,
// values 36, allocpts 52, area 56, length 64, points 72, z 76, m 80,
// sg_words 84, coordref 92.
struct FEATURE_STRUCT {
  uint32_t  sg_state;     // SG_STATE_* bits
  int32_t   value;        // 32-bit value of the shape, carried unchanged
  uint32_t  fid;          // feature id
  int32_t   numofpts;     // points in use, separators included
  int16_t   entity;       // entity type SG_*_SHAPE (+ SG_VERIFY_BIT)
  ENVELOPE  envelope;     // stored envelope, system units (SgsNvelop)
  int32_t   values[4];    // four 32-bit values of the shape, carried unchanged
  int32_t   allocpts;     // capacity of points, z and m, in points; the
                          // receiver's own: a reader never takes it from a
                          // peer's image (sg_state may travel: geomkit
                          // trusts none of its bits for memory)
  double    area;         // area, plane units (areas only)
  double    length;       // length or perimeter, plane units
  POINT*    points;       // numofpts points, or null
  int32_t*  z;            // numofpts Z values, or null for a 2D shape
  int32_t*  m;            // numofpts measures, or null
  int32_t   sg_words[2];  // library words, carried by native images only
  COORDREF* coordref;     // the shape's coordinate reference, or null
  // The compressed feature's fields (kept, never interpreted, by geomkit).
  int32_t   buffer_cap;   // capacity of buffer, bytes
  unsigned char* buffer;  // compressed form, or null
  struct ANNOTATION* anno; // annotation, or null
  struct CAD_DATA* cad;   // CAD record, or null
};

#define SG_STATE_ACTIVE   0x1  // SgsShapeSetActive: points are plain values
#define SG_STATE_EXTENT   0x2  // stored envelope is current
#define SG_STATE_AREA     0x4  // stored area is current
#define SG_STATE_LENGTH   0x8  // stored length is current

// ---------------------------------------------------------------------------
// Search methods and the relation each one means.
//
// F is the feature (the candidate row's shape), S the filter's shape. "the
// envelopes" are F's and S's integer envelopes, touching counting as overlap.
// linework(X) is X's lines for a line kind, its ring boundaries for an area,
// nothing for a point kind (a ring has no boundary of its own, so two areas
// sharing an edge have a common segment). I, B and E are interior, boundary and exterior of
// the DE-9IM matrix relate(F, S).
//
//   method                   holds when                                    engine
//   0  SM_ENVP               the envelopes overlap                         own
//   1  SM_ENVP_BY_GRID       the envelopes overlap                         own
//   2  SM_CP                 F and S have a point in common               intersects
//   3  SM_LCROSS             the lines of F and S cross: two line kinds    crosses /
//                            whose interiors meet in points only; a line   overlaps
//                            that runs through the interior and the
//                            exterior of an area; two areas that overlap
//                            (each has interior outside the other and the
//                            interiors meet). Never for a point kind.
//   4  SM_COMMON             linework(F) and linework(S) share a segment   relate of the
//                            ("1********")                                 lineworks
//   5  SM_CP_OR_LCROSS       SM_CP or SM_LCROSS (a crossing is a common    intersects
//                            point, so this is SM_CP)
//   6  SM_ET_OR_AI/_II       boundaries touch or interiors meet: any       intersects
//                            common point
//   7  SM_AI/SM_II           the interiors meet ("T********")              relate
//   8  SM_AI_NO_ET/_II_NO_ET the interiors meet and the boundaries do not  relate
//                            ("T***F****")
//   9  SM_PC                 F contains S ("T*****FF*")                    contains
//   10 SM_SC                 F lies within S ("T*F**F***")                 within
//   11 SM_PC_NO_ET           F contains S, boundaries apart ("T***F*FF*")  relate
//   12 SM_SC_NO_ET           F within S, boundaries apart ("T*F*FF***")    relate
//   13 SM_PIP                one of F and S is a point kind, the other an  intersects
//                            area, and a point lies in or on the area
//   14 (none)                unknown: SG_INVALID_SEARCH_METHOD
//   15 SM_IDENTICAL          F equals S ("T*F**FFF*")                      equals
//   16 SM_CBM                decided by SgEvaluateRelation with the        relate pattern
//                            filter's pattern; SgsSrchComp answers 0
//
// Equal shapes are within each other, so SM_SC and SM_PC hold for them; a nil
// shape relates to nothing (every method but 16 answers "does not hold", and
// patterns are matched against an empty shape's matrix).
//
// SgsEnvSect answers, from F's envelope alone:
//   0     the relation cannot hold:
//           - the envelopes do not overlap (every method but 16), or F's
//             envelope is empty;
//           - 10, 12: F's envelope is not inside S's envelope;
//           - 9, 11: S's envelope is not inside F's envelope;
//           - 15: the envelopes differ;
//           - 3, 4: S is an area whose interior holds F's whole envelope (F
//             then neither leaves S nor meets its boundary).
//   4096  the relation holds for certain: S is an area whose interior holds
//         F's whole envelope, for methods 2, 5, 6, 7, 8, 10, 12 (any non-empty
//         F inside it meets S's interior and none of its boundary);
//         methods 0 and 1 when the envelopes overlap.
//   1     the envelopes cannot decide (every other case, and method 16 always).
// ---------------------------------------------------------------------------
#ifndef SM_ENVP
#define SM_ENVP            0
#define SM_ENVP_BY_GRID    1
#define SM_CP              2
#define SM_LCROSS          3
#define SM_COMMON          4
#define SM_CP_OR_LCROSS    5
#define SM_ET_OR_AI        6
#define SM_ET_OR_II        6
#define SM_AI              7
#define SM_II              7
#define SM_AI_NO_ET        8
#define SM_II_NO_ET        8
#define SM_PC              9
#define SM_SC              10
#define SM_PC_NO_ET        11
#define SM_SC_NO_ET        12
#define SM_PIP             13
#define SM_IDENTICAL       15
#define SM_CBM             16
#endif

#define SG_ENVSECT_NO       0     // SgsEnvSect: cannot hold
#define SG_ENVSECT_MAYBE    1     // SgsEnvSect: envelopes cannot decide
#define SG_ENVSECT_YES      4096  // SgsEnvSect: holds for certain
#define SG_SRCH_HOLDS       0     // SgsSrchComp: holds
#define SG_SRCH_FAILS       (-1)  // SgsSrchComp: does not hold

// One filter shape prepared for repeated tests (an entry of the filter set's
// feature-specification array). Set it with SgsFeatureSpecSet, which copies
// the shape; release it with SgsFeatureSpecFree. A zero-filled entry is an
// empty one. Entries are not shared between threads.
struct SG_FEATURE_SPEC {
  FEATURE_STRUCT* shape;  // the entry's own copy of the filter shape
  void*    buffer;        // geomkit's prepared form, made on first use; owned
  int32_t  entity;        // the shape's entity type, without SG_VERIFY_BIT
  ENVELOPE envelope;      // the shape's envelope, system units
};

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// Coordinate references.
// ---------------------------------------------------------------------------

// Makes a default reference into *out (see COORDREF). Free with
// SgCoordRefFree. SG_INVALID_POINTER, SG_OUT_OF_MEMORY.
int32_t SgCoordRefCreate(COORDREF** out);

// Frees a reference made by SgCoordRefCreate. Neither the text buffer nor the
// projection object is freed: the caller frees its own first. Null is ignored.
void SgCoordRefFree(COORDREF* cr);

// Copies every value of src into dst (origins, units, derived values, srid,
// state). dst keeps its own srtext and coordsys pointers. SG_INVALID_POINTER.
int32_t SgCoordRefDuplicate(const COORDREF* src, COORDREF* dst);

// Non-zero when a and b describe the same reference: equal units (relative
// difference below 1e-12), false origins that differ by less than a millionth
// of a system unit, and, when both carry a coordinate-system text that is
// neither empty nor "UNKNOWN", the same text up to white space outside quotes,
// letter case outside quotes and the spelling of numbers. The srid is not
// compared. 0 when either is null.
int32_t SgCoordRefIsEqual(const COORDREF* a, const COORDREF* b);

// Rebuilds cr's coordinate system from a description (a coordinate-system
// text): null, empty or "UNKNOWN" leave cr without one; otherwise the text
// must be a bracketed coordinate-system text (NAME[ ... ] with balanced
// brackets and quotes, shorter than SG_SRTEXT_CAP), else
// SG_INVALID_COORDSYS. Sets SG_CR_DESCRIBED on success. The text is not
// copied: cr->srtext stays as it is. SG_INVALID_POINTER.
int32_t SgCoordRefSetByDescription(COORDREF* cr, const char* description);

// Returns cr to the state SgCoordRefCreate gives, keeping its srtext and
// coordsys pointers attached (the text is emptied when there is a buffer).
int32_t SgsCoordRefReset(COORDREF* cr);

// Non-zero when cr can convert coordinates: every units value finite and
// positive, every origin finite. 0 for null.
int32_t SgsCoordRefIsActive(const COORDREF* cr);

// Derived values: rounding value = 1 / units (SG_INVALID_UNITS unless units
// is finite and positive); half system unit = rounding value / 2
// (SG_INVALID_UNITS unless the rounding value is finite and positive).
// SG_INVALID_POINTER for a null out.
int32_t SgsCalcCRound(double units, double* cround);
int32_t SgsCalcHalfSU(double cround, double* halfsu);

// One value of one axis between system and plane units. The rounding value
// and half system unit are checked for sanity but the arithmetic uses the
// units (see the top of this file). ToSystem refuses results outside
// 0 .. SG_SYSTEM_MAX (SG_COORD_OUT_OF_BOUNDS); for a length, pass origin 0.
// SG_INVALID_UNITS, SG_INVALID_POINTER, SG_INVALID_PARAM (value not finite).
int32_t SgsValueToPlane(int32_t sysval, double falseorigin, double units,
                        double cround, double halfsu, double* plane);
int32_t SgsValueToSystem(double plane, double falseorigin, double units,
                         double cround, double halfsu, int32_t* sysval);

// Envelopes between plane units and system units with cr's x/y origin and
// units. An empty input (max below min) gives the empty output (the
// canonical empty ENVELOPE; for plane: min 2147483647, max 0) and 0.
// ToSystem: SG_COORD_OUT_OF_BOUNDS when a corner is out of range.
int32_t SgsEnvelopeToSystem(const COORDREF* cr, const struct SE_ENVELOPE* plane,
                            ENVELOPE* sys);
int32_t SgsEnvelopeToPlane(const COORDREF* cr, const ENVELOPE* sys,
                           struct SE_ENVELOPE* plane);

// ---------------------------------------------------------------------------
// Shapes.
// ---------------------------------------------------------------------------

// Makes a nil shape (zero-filled) into *out. When cr is not null the shape
// gets its own copy of it (values and a private copy of the text), freed with
// the shape. Free with SgShapeFree. SG_INVALID_POINTER, SG_OUT_OF_MEMORY.
int32_t SgShapeCreate(const COORDREF* cr, FEATURE_STRUCT** out);

// Frees the point, Z and measure arrays; for a shape made by SgShapeCreate
// also its own coordinate reference and the shape itself. A shape made
// otherwise is left as a nil shape with no arrays (its memory is its
// maker's). The compressed-feature fields are not touched. Null is ignored.
void SgShapeFree(FEATURE_STRUCT* shape);

// Copies src's geometry into dst: entity, points, Z and measures (dst's
// arrays are grown as needed), envelope, area, length, fid, the shape values
// and state. The reference: a dst made by SgShapeCreate takes a copy of src's
// into its own; any other dst keeps its coordref, or borrows src's pointer
// when it has none. The compressed-feature fields are not touched.
// SG_NULL_SHAPE, SG_OUT_OF_MEMORY.
int32_t SgShapeDuplicate(const FEATURE_STRUCT* src, FEATURE_STRUCT* dst);

// Non-zero when the shape is null, of nil kind, or has no points.
int32_t SgShapeIsNil(const FEATURE_STRUCT* shape);

// Copies the values of the shape's reference into out (as
// SgCoordRefDuplicate); a shape without one gives the default values.
// SG_NULL_SHAPE, SG_INVALID_POINTER.
int32_t SgShapeGetCoordRef(const FEATURE_STRUCT* shape, COORDREF* out);

// Makes room for npts points: grows the point array, and the Z and measure
// arrays when wanted (an array already there is kept and grown alike), to at
// least npts entries, and sets numofpts to npts. A shape's arrays must be
// null or malloc'd with capacity allocpts. SG_INVALID_PARAM when npts is
// negative or above SG_MAX_POINTS, SG_NULL_SHAPE, SG_OUT_OF_MEMORY.
int32_t SgsShapeAllocate(FEATURE_STRUCT* shape, int32_t npts, int32_t want_z,
                         int32_t want_m);

// Makes shape a nil shape on cr (borrowed): clears entity, counts, envelope
// (to the empty one), area, length, fid, the shape values and state; keeps
// the arrays and their capacity for reuse. The struct must be zero-filled or
// a shape already. SG_NULL_SHAPE.
int32_t SgsShapeInit(COORDREF* cr, FEATURE_STRUCT* shape);

// State flags. SetActive marks the points as plain values (not packed);
// the others mark the stored envelope, area or length as current (on != 0)
// or stale. SG_NULL_SHAPE.
int32_t SgsShapeSetActive(FEATURE_STRUCT* shape);
int32_t SgsShapeSetExtentFlag(FEATURE_STRUCT* shape, int32_t on);
int32_t SgsShapeSetAreaFlag(FEATURE_STRUCT* shape, int32_t on);
int32_t SgsShapeSetLengthFlag(FEATURE_STRUCT* shape, int32_t on);

// Computes the envelope of the points (separators skipped) into the stored
// envelope, and into *out when out is not null. A shape without points gets
// the empty envelope. SG_NULL_SHAPE, SG_INVALID_PARAM (numofpts negative or
// points missing).
int32_t SgsNvelop(FEATURE_STRUCT* shape, ENVELOPE* out);

// Area (areas: outer rings less holes) and length (lines: the sum of the
// segments; areas: the perimeter of every ring), in plane units of the
// shape's reference (units 1 without one); stored in the shape and in *out
// when out is not null. Other kinds give 0. SG_NULL_SHAPE, SG_INVALID_PARAM,
// SG_INVALID_UNITS.
int32_t SgsShapeArea(FEATURE_STRUCT* shape, double* out);
int32_t SgsShapeLength(FEATURE_STRUCT* shape, double* out);

// Measures of the whole shape (part 0) or of one part (1 .. parts), in plane
// units, computed from the points. A nil shape has the empty extent
// (min 2147483647, max 0). Z and measure ranges of a shape without Z values
// or measures are NaN. SG_NULL_SHAPE, SG_INVALID_POINTER, SG_INVALID_PARAM
// (no such part).
int32_t SgShapeGetExtent(const FEATURE_STRUCT* shape, int32_t part,
                         struct SE_ENVELOPE* out);
int32_t SgShapeGetArea(const FEATURE_STRUCT* shape, int32_t part, double* out);
int32_t SgShapeGetLength(const FEATURE_STRUCT* shape, int32_t part, double* out);
int32_t SgShapeGetZRange(const FEATURE_STRUCT* shape, int32_t part,
                         double* zmin, double* zmax);
int32_t SgShapeGetMRange(const FEATURE_STRUCT* shape, int32_t part,
                         double* mmin, double* mmax);

// Search-shape generators. Points are plane units, converted with the
// shape's reference (units 1 without one); z and m may be null. The result
// has its envelope, area and length computed and their flags set.
//   GeneratePoint: npts 1 gives a point, more a multi point.
//   GenerateSimpleLine: nparts parts; part_offsets (may be null for one part)
//     gives each part's first point index, ascending from 0; one part gives a
//     simple line, more a multi simple line. Each part needs 2 points.
//   GenerateRectangle: the closed ring of the envelope's corners; the
//     envelope must have positive width and height (SG_DEGENERATE).
// SG_NULL_SHAPE, SG_INVALID_POINTER, SG_INVALID_PARAM, SG_TOO_FEW_POINTS,
// SG_COORD_OUT_OF_BOUNDS, SG_OUT_OF_MEMORY.
int32_t SgShapeGeneratePoint(int32_t npts, const SG_POINT* pts, const double* z,
                             const double* m, FEATURE_STRUCT* shape);
int32_t SgShapeGenerateSimpleLine(int32_t npts, int32_t nparts,
                                  const int32_t* part_offsets,
                                  const SG_POINT* pts, const double* z,
                                  const double* m, FEATURE_STRUCT* shape);
int32_t SgShapeGenerateRectangle(const struct SE_ENVELOPE* env,
                                 FEATURE_STRUCT* shape);

// Verifies a shape: 0 when it is a valid shape of its kind, else the first
// fault found: SG_NULL_SHAPE, SG_INVALID_ENTITY_TYPE, SG_INVALID_PARAM
// (counts and arrays inconsistent), SG_COORD_OUT_OF_BOUNDS, SG_INVALID_PART,
// SG_TOO_FEW_POINTS, SG_DEGENERATE, SG_RING_NOT_CLOSED, SG_SELF_INTERSECTING,
// SG_INVALID_POLYGON, SG_OUT_OF_MEMORY, SG_GEOMETRY_ENGINE. Does not change
// the shape (SG_VERIFY_BIT is the caller's to clear).
int32_t SgsShapeVerify(const FEATURE_STRUCT* shape);

// ---------------------------------------------------------------------------
// Spatial relations (see the table above).
// ---------------------------------------------------------------------------

// Sets a feature-spec entry to a copy of shape (releasing what it held).
// SG_INVALID_POINTER, SG_NULL_SHAPE, SG_OUT_OF_MEMORY, SG_INVALID_PARAM.
int32_t SgsFeatureSpecSet(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* shape);

// Releases what an entry holds and zero-fills it. Null is ignored.
void SgsFeatureSpecFree(SG_FEATURE_SPEC* spec);

// The envelope test: SG_ENVSECT_NO, SG_ENVSECT_MAYBE or SG_ENVSECT_YES for
// the candidate envelope env, or SG_INVALID_SEARCH_METHOD,
// SG_INVALID_POINTER, SG_NULL_SHAPE (empty entry), SG_GEOMETRY_ENGINE.
int32_t SgsEnvSect(SG_FEATURE_SPEC* spec, const ENVELOPE* env, int32_t method);

// The exact test: SG_SRCH_HOLDS or SG_SRCH_FAILS, or a status below -2000.
// The feature must hold plain points (uncompressed); its stored envelope is
// not trusted. When cell is not null it receives the answer. search_mode is
// accepted for the filter set's sake and does not change the answer.
int32_t SgsSrchComp(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* feature,
                    int32_t method, int32_t* cell, int32_t search_mode);

// Matches relate(feature, filter shape) against a relation pattern: nine
// characters of T, F, *, 0, 1, 2 (case-insensitive), row by row interior,
// boundary, exterior of the feature against those of the filter shape; a
// longer text is refused. 1 when it matches, 0 when not, or
// SG_INVALID_RELATION, SG_INVALID_POINTER, SG_NULL_SHAPE, SG_GEOMETRY_ENGINE.
int32_t SgEvaluateRelation(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* feature,
                           const char* relation);

// ---------------------------------------------------------------------------
// Portable numbers: count 32-bit integers (4 bytes each) or IEEE doubles
// (8 bytes each) written at or read from pos. Mode 0 (or the character '0')
// is little-endian, mode 1 (or '1') big-endian; a value reads back with the
// mode it was written with. The caller moves its position past
// count * 4 or count * 8 bytes. SG_INVALID_BYTE_ORDER, SG_INVALID_POINTER,
// SG_INVALID_PARAM (negative count).
// ---------------------------------------------------------------------------
int32_t SgPutInteger(void* pos, int32_t mode, int32_t count, const int32_t* values);
int32_t SgPutDouble(void* pos, int32_t mode, int32_t count, const double* values);
int32_t SgGetInteger(const void* pos, int32_t mode, int32_t count, int32_t* values);
int32_t SgGetDouble(const void* pos, int32_t mode, int32_t count, double* values);

#ifdef __cplusplus
}
#endif

#endif
