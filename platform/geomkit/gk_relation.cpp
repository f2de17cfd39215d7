// gk_relation.cpp -- the spatial relations of the search methods: the
// feature-spec entries that hold a prepared filter shape, the envelope test
// (SgsEnvSect), the exact test (SgsSrchComp) and relation patterns
// (SgEvaluateRelation). geomkit.h holds the table of what each method means;
// this file follows it line by line.
//
// The exact test first rejects on envelopes (every method but 16 needs a
// common point, and the containment methods need envelope containment), so
// GEOS sees only candidates whose envelopes admit the relation. The filter
// shape is prepared once per entry, on first use, and kept with its lines for
// the line methods.
#include <string.h>

#include <new>

#include "gk_internal.h"

using namespace gk;

namespace {

// What an entry's buffer holds.
struct SpecCache {
  Prepared* prep = nullptr;   // the filter shape, prepared
  Geom* linework = nullptr;   // its lines (method 4), made on demand
  bool linework_made = false;
};

bool method_known(int32_t m) { return (m >= 0 && m <= 13) || m == 15 || m == 16; }

int32_t spec_check(SG_FEATURE_SPEC* spec) {
  if (!spec) return SG_INVALID_POINTER;
  if (!spec->shape) return SG_NULL_SHAPE;
  return SG_SUCCESS;
}

int32_t spec_cache(SG_FEATURE_SPEC* spec, SpecCache** out) {
  if (spec->buffer) {
    *out = static_cast<SpecCache*>(spec->buffer);
    return SG_SUCCESS;
  }
  Layout l;
  int32_t rc = parse(spec->shape, &l);
  if (rc) return rc;
  Geom* g = nullptr;
  if ((rc = geom_build(spec->shape, l, &g))) return rc;
  SpecCache* c = new (std::nothrow) SpecCache();
  if (!c) {
    geom_free(g);
    return SG_OUT_OF_MEMORY;
  }
  if ((rc = prepared_make(g, &c->prep))) {
    delete c;
    return rc;
  }
  spec->buffer = c;
  *out = c;
  return SG_SUCCESS;
}

int32_t spec_linework(SG_FEATURE_SPEC* spec, SpecCache* c, Geom** out) {
  if (!c->linework_made) {
    int32_t rc = geom_linework(prepared_geom(c->prep), spec->entity & 0xFF, &c->linework);
    if (rc) return rc;
    c->linework_made = true;
  }
  *out = c->linework;
  return SG_SUCCESS;
}

bool spec_nil(const SG_FEATURE_SPEC* spec) {
  return (spec->entity & 0xFF) == SG_NIL_SHAPE || env_empty(spec->envelope);
}

// The answer of the exact relation of `method` (not 0, 1 or 16) for a
// feature whose envelope admits it: 1, 0 or a status.
int32_t exact(SG_FEATURE_SPEC* spec, SpecCache* c, const Layout& fl, Geom* f, int32_t method) {
  int32_t skind = spec->entity & 0xFF;
  Geom* s = prepared_geom(c->prep);
  switch (method) {
    case SM_CP:
    case SM_CP_OR_LCROSS:
    case SM_ET_OR_AI:
      return prepared_intersects(c->prep, f);
    case SM_PIP: {
      bool pair = (fl.kind == SG_POINT_SHAPE && skind == SG_AREA_SHAPE) ||
                  (fl.kind == SG_AREA_SHAPE && skind == SG_POINT_SHAPE);
      return pair ? prepared_intersects(c->prep, f) : 0;
    }
    case SM_LCROSS:
      if (fl.kind == SG_POINT_SHAPE || skind == SG_POINT_SHAPE) return 0;
      if (fl.kind == SG_AREA_SHAPE && skind == SG_AREA_SHAPE) return prepared_overlaps(c->prep, f);
      return prepared_crosses(c->prep, f);
    case SM_COMMON: {
      Geom* slines = nullptr;
      int32_t rc = spec_linework(spec, c, &slines);
      if (rc) return rc;
      Geom* flines = nullptr;
      if ((rc = geom_linework(f, fl.kind, &flines))) return rc;
      if (!slines || !flines) {
        geom_free(flines);
        return 0;
      }
      rc = geom_relate_pattern(flines, slines, "1********");
      geom_free(flines);
      return rc;
    }
    case SM_AI:
      return geom_relate_pattern(f, s, "T********");
    case SM_AI_NO_ET:
      return geom_relate_pattern(f, s, "T***F****");
    case SM_PC:
      return prepared_within(c->prep, f);      // S within F: F contains S
    case SM_SC:
      return prepared_contains(c->prep, f);    // S contains F: F within S
    case SM_PC_NO_ET:
      return geom_relate_pattern(f, s, "T***F*FF*");
    case SM_SC_NO_ET:
      return geom_relate_pattern(f, s, "T*F*FF***");
    case SM_IDENTICAL:
      return geom_equals(f, s);
    default:
      return SG_INVALID_SEARCH_METHOD;
  }
}

// Checks a relation pattern and copies it upper-cased into out[10].
bool pattern_ok(const char* text, char* out) {
  size_t len = strnlen(text, SG_RELATION_CAP);
  if (len != 9) return false;
  for (size_t i = 0; i < 9; i++) {
    char ch = text[i];
    if (ch == 't') ch = 'T';
    if (ch == 'f') ch = 'F';
    if (!strchr("TF*012", ch) || ch == '\0') return false;
    out[i] = ch;
  }
  out[9] = '\0';
  return true;
}

}  // namespace

extern "C" {

int32_t SgsFeatureSpecSet(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* shape) {
  if (!spec) return SG_INVALID_POINTER;
  if (!shape) return SG_NULL_SHAPE;
  SgsFeatureSpecFree(spec);
  FEATURE_STRUCT* copy = nullptr;
  int32_t rc = SgShapeCreate(nullptr, &copy);
  if (rc) return rc;
  if ((rc = SgShapeDuplicate(shape, copy))) {
    SgShapeFree(copy);
    return rc;
  }
  copy->coordref = nullptr;  // relations are taken in system units
  spec->shape = copy;
  spec->buffer = nullptr;
  spec->entity = shape->entity & SG_ENTITY_MASK;
  spec->envelope = points_envelope(copy);
  return SG_SUCCESS;
}

void SgsFeatureSpecFree(SG_FEATURE_SPEC* spec) {
  if (!spec) return;
  SpecCache* c = static_cast<SpecCache*>(spec->buffer);
  if (c) {
    prepared_free(c->prep);
    geom_free(c->linework);
    delete c;
  }
  if (spec->shape) SgShapeFree(spec->shape);
  memset(spec, 0, sizeof *spec);
}

int32_t SgsEnvSect(SG_FEATURE_SPEC* spec, const ENVELOPE* env, int32_t method) {
  int32_t rc = spec_check(spec);
  if (rc) return rc;
  if (!env) return SG_INVALID_POINTER;
  if (!method_known(method)) return SG_INVALID_SEARCH_METHOD;
  if (method == SM_CBM) return SG_ENVSECT_MAYBE;
  const ENVELOPE& e = *env;
  const ENVELOPE& s = spec->envelope;
  if (spec_nil(spec) || env_empty(e) || !env_overlap(e, s)) return SG_ENVSECT_NO;
  if (method == SM_ENVP || method == SM_ENVP_BY_GRID) return SG_ENVSECT_YES;
  if ((method == SM_SC || method == SM_SC_NO_ET) && !env_inside(e, s)) return SG_ENVSECT_NO;
  if ((method == SM_PC || method == SM_PC_NO_ET) && !env_inside(s, e)) return SG_ENVSECT_NO;
  if (method == SM_IDENTICAL && (e.minx != s.minx || e.miny != s.miny || e.maxx != s.maxx ||
                                 e.maxy != s.maxy))
    return SG_ENVSECT_NO;

  bool decides = method == SM_CP || method == SM_CP_OR_LCROSS || method == SM_ET_OR_AI ||
                 method == SM_AI || method == SM_AI_NO_ET || method == SM_SC ||
                 method == SM_SC_NO_ET || method == SM_LCROSS || method == SM_COMMON;
  if (!decides || (spec->entity & 0xFF) != SG_AREA_SHAPE || !env_inside(e, s))
    return SG_ENVSECT_MAYBE;

  // F lies somewhere in e; when e is in the interior of the area S, F meets
  // S's interior and none of its boundary.
  SpecCache* c = nullptr;
  if ((rc = spec_cache(spec, &c))) return rc;
  Geom* box = nullptr;
  if ((rc = geom_from_envelope(e, &box))) return rc;
  int32_t inside = prepared_contains_properly(c->prep, box);
  geom_free(box);
  if (inside < 0) return inside;
  if (!inside) return SG_ENVSECT_MAYBE;
  return (method == SM_LCROSS || method == SM_COMMON) ? SG_ENVSECT_NO : SG_ENVSECT_YES;
}

int32_t SgsSrchComp(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* feature, int32_t method,
                    int32_t* cell, int32_t search_mode) {
  (void)search_mode;
  int32_t rc = spec_check(spec);
  if (rc) return rc;
  if (!feature) return SG_NULL_SHAPE;
  if (!method_known(method)) return SG_INVALID_SEARCH_METHOD;
  int32_t answer = SG_SRCH_FAILS;
  if (method == SM_CBM) {
    answer = SG_SRCH_HOLDS;
  } else {
    Layout fl;
    if ((rc = parse(feature, &fl))) return rc;
    ENVELOPE fe = points_envelope(feature);
    const ENVELOPE& se = spec->envelope;
    bool possible = !fl.parts.empty() && !spec_nil(spec) && env_overlap(fe, se);
    if (possible && (method == SM_SC || method == SM_SC_NO_ET)) possible = env_inside(fe, se);
    if (possible && (method == SM_PC || method == SM_PC_NO_ET)) possible = env_inside(se, fe);
    if (possible && method == SM_IDENTICAL)
      possible = fe.minx == se.minx && fe.miny == se.miny && fe.maxx == se.maxx && fe.maxy == se.maxy;
    if (possible && (method == SM_ENVP || method == SM_ENVP_BY_GRID)) {
      answer = SG_SRCH_HOLDS;
    } else if (possible) {
      SpecCache* c = nullptr;
      if ((rc = spec_cache(spec, &c))) return rc;
      Geom* f = nullptr;
      if ((rc = geom_build(feature, fl, &f))) return rc;
      int32_t r = exact(spec, c, fl, f, method);
      geom_free(f);
      if (r < 0) return r;
      answer = r ? SG_SRCH_HOLDS : SG_SRCH_FAILS;
    }
  }
  if (cell) *cell = answer;
  return answer;
}

int32_t SgEvaluateRelation(SG_FEATURE_SPEC* spec, const FEATURE_STRUCT* feature,
                           const char* relation) {
  int32_t rc = spec_check(spec);
  if (rc) return rc;
  if (!feature || !relation) return feature ? SG_INVALID_POINTER : SG_NULL_SHAPE;
  char pattern[10];
  if (!pattern_ok(relation, pattern)) return SG_INVALID_RELATION;
  SpecCache* c = nullptr;
  if ((rc = spec_cache(spec, &c))) return rc;
  Layout fl;
  if ((rc = parse(feature, &fl))) return rc;
  Geom* f = nullptr;
  if ((rc = geom_build(feature, fl, &f))) return rc;
  rc = geom_relate_pattern(f, prepared_geom(c->prep), pattern);
  geom_free(f);
  return rc;
}

}  // extern "C"
