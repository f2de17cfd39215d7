// gk_coordref.cpp -- coordinate references: life cycle, equality, the
// coordinate-system description, the derived rounding values, and the
// conversions of single values and envelopes between system and plane units.
//
// The arithmetic (see geomkit.h): plane = origin + system / units and
// system = floor((plane - origin) * units + 0.5). Dividing by the units,
// rather than multiplying by the stored rounding value, keeps a system value
// that went to plane and back exactly what it was for every units value that
// is a power of ten or an integer below 2^26.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>

#include "gk_internal.h"

namespace gk {

bool units_ok(double units) { return isfinite(units) && units > 0.0; }

void coordref_defaults(COORDREF* cr) {
  cr->sg_state = 0;
  cr->falsex = cr->falsey = cr->falsez = cr->falsem = 0.0;
  cr->xyunits = cr->zunits = cr->munits = 1.0;
  cr->xycround = cr->zcround = cr->mcround = 1.0;
  cr->xyhalfsu = cr->zhalfsu = cr->mhalfsu = 0.5;
  cr->srid = 0;
}

Axes axes_of(const COORDREF* cr) {
  Axes a;
  if (cr) {
    a.falsex = cr->falsex;
    a.falsey = cr->falsey;
    a.xyunits = cr->xyunits;
    a.falsez = cr->falsez;
    a.zunits = cr->zunits;
    a.falsem = cr->falsem;
    a.munits = cr->munits;
  }
  return a;
}

int32_t to_system_signed(double plane, double falseorigin, double units, int32_t* out) {
  if (!units_ok(units)) return SG_INVALID_UNITS;
  if (!isfinite(plane) || !isfinite(falseorigin)) return SG_INVALID_PARAM;
  double v = floor((plane - falseorigin) * units + 0.5);
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) return SG_COORD_OUT_OF_BOUNDS;
  *out = static_cast<int32_t>(v);
  return SG_SUCCESS;
}

}  // namespace gk

using namespace gk;

namespace {

// Canonical form of a coordinate-system text for comparison: white space
// outside quotes dropped, letters outside quotes upper-cased, every number
// that follows '[', '(' or ',' rewritten from its value.
std::string canonical_text(const char* text) {
  std::string out;
  bool quoted = false;
  for (const char* p = text; *p;) {
    char c = *p;
    if (quoted) {
      out += c;
      if (c == '"') quoted = false;
      p++;
      continue;
    }
    if (c == '"') {
      quoted = true;
      out += c;
      p++;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      p++;
      continue;
    }
    char prev = out.empty() ? '\0' : out.back();
    if ((prev == '[' || prev == '(' || prev == ',') &&
        (c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9'))) {
      char* end = nullptr;
      double v = strtod(p, &end);
      if (end && end != p) {
        char buf[40];
        snprintf(buf, sizeof buf, "%.15g", v == 0.0 ? 0.0 : v);
        out += buf;
        p = end;
        continue;
      }
    }
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    p++;
  }
  return out;
}

// A text that names no coordinate system.
bool text_is_none(const char* text) {
  if (!text) return true;
  while (*text == ' ' || *text == '\t') text++;
  if (*text == '\0') return true;
  size_t n = strlen(text);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\n')) n--;
  return n == 7 && strncasecmp(text, "UNKNOWN", 7) == 0;
}

// NAME[ ... ] with balanced brackets and quotes and nothing after the end.
bool text_well_formed(const char* text) {
  size_t len = strnlen(text, SG_SRTEXT_CAP);
  if (len >= SG_SRTEXT_CAP) return false;
  size_t i = 0;
  while (i < len && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) i++;
  size_t name = i;
  while (i < len && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z') ||
                     (text[i] >= '0' && text[i] <= '9') || text[i] == '_'))
    i++;
  if (i == name || !(text[name] < '0' || text[name] > '9')) return false;
  while (i < len && (text[i] == ' ' || text[i] == '\t')) i++;
  if (i >= len || (text[i] != '[' && text[i] != '(')) return false;
  char stack[64];
  int depth = 0;
  bool quoted = false;
  bool closed = false;
  for (; i < len; i++) {
    char c = text[i];
    if (closed) {
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
      continue;
    }
    if (quoted) {
      if (c == '"') quoted = false;
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (c == '[' || c == '(') {
      if (depth == static_cast<int>(sizeof stack)) return false;
      stack[depth++] = c;
    } else if (c == ']' || c == ')') {
      if (depth == 0) return false;
      char open = stack[--depth];
      if ((c == ']') != (open == '[')) return false;
      if (depth == 0) closed = true;
    }
  }
  return closed && !quoted;
}

bool same_units(double a, double b) {
  return fabs(a - b) <= 1e-12 * fmax(fabs(a), fabs(b));
}

bool same_origin(double a, double b, double units) {
  return fabs(a - b) * units < 1e-6;
}

}  // namespace

extern "C" {

int32_t SgCoordRefCreate(COORDREF** out) {
  if (!out) return SG_INVALID_POINTER;
  *out = nullptr;
  COORDREF* cr = static_cast<COORDREF*>(calloc(1, sizeof(COORDREF)));
  if (!cr) return SG_OUT_OF_MEMORY;
  coordref_defaults(cr);
  *out = cr;
  return SG_SUCCESS;
}

void SgCoordRefFree(COORDREF* cr) { free(cr); }

int32_t SgCoordRefDuplicate(const COORDREF* src, COORDREF* dst) {
  if (!src || !dst) return SG_INVALID_POINTER;
  if (src == dst) return SG_SUCCESS;
  char* text = dst->srtext;
  void* coordsys = dst->coordsys;
  int32_t local = dst->local_word;
  *dst = *src;
  dst->srtext = text;
  dst->coordsys = coordsys;
  dst->local_word = local;
  return SG_SUCCESS;
}

int32_t SgCoordRefIsEqual(const COORDREF* a, const COORDREF* b) {
  if (!a || !b) return 0;
  if (a == b) return 1;
  if (!same_units(a->xyunits, b->xyunits) || !same_units(a->zunits, b->zunits) ||
      !same_units(a->munits, b->munits))
    return 0;
  if (!same_origin(a->falsex, b->falsex, a->xyunits) ||
      !same_origin(a->falsey, b->falsey, a->xyunits) ||
      !same_origin(a->falsez, b->falsez, a->zunits) ||
      !same_origin(a->falsem, b->falsem, a->munits))
    return 0;
  if (text_is_none(a->srtext) || text_is_none(b->srtext)) return 1;
  try {
    return canonical_text(a->srtext) == canonical_text(b->srtext) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return strcmp(a->srtext, b->srtext) == 0 ? 1 : 0;
  }
}

int32_t SgCoordRefSetByDescription(COORDREF* cr, const char* description) {
  if (!cr) return SG_INVALID_POINTER;
  cr->sg_state &= ~static_cast<uint32_t>(SG_CR_DESCRIBED);
  if (!text_is_none(description) && !text_well_formed(description))
    return SG_INVALID_COORDSYS;
  cr->sg_state |= SG_CR_DESCRIBED;
  return SG_SUCCESS;
}

int32_t SgsCoordRefReset(COORDREF* cr) {
  if (!cr) return SG_INVALID_POINTER;
  coordref_defaults(cr);
  if (cr->srtext) cr->srtext[0] = '\0';
  return SG_SUCCESS;
}

int32_t SgsCoordRefIsActive(const COORDREF* cr) {
  if (!cr) return 0;
  if (!units_ok(cr->xyunits) || !units_ok(cr->zunits) || !units_ok(cr->munits)) return 0;
  if (!isfinite(cr->falsex) || !isfinite(cr->falsey) || !isfinite(cr->falsez) ||
      !isfinite(cr->falsem))
    return 0;
  return 1;
}

int32_t SgsCalcCRound(double units, double* cround) {
  if (!cround) return SG_INVALID_POINTER;
  if (!units_ok(units)) return SG_INVALID_UNITS;
  *cround = 1.0 / units;
  return SG_SUCCESS;
}

int32_t SgsCalcHalfSU(double cround, double* halfsu) {
  if (!halfsu) return SG_INVALID_POINTER;
  if (!isfinite(cround) || cround <= 0.0) return SG_INVALID_UNITS;
  *halfsu = cround / 2.0;
  return SG_SUCCESS;
}

int32_t SgsValueToPlane(int32_t sysval, double falseorigin, double units, double cround,
                        double halfsu, double* plane) {
  if (!plane) return SG_INVALID_POINTER;
  if (!units_ok(units)) return SG_INVALID_UNITS;
  if (!isfinite(falseorigin) || !isfinite(cround) || !isfinite(halfsu)) return SG_INVALID_PARAM;
  *plane = falseorigin + static_cast<double>(sysval) / units;
  return SG_SUCCESS;
}

int32_t SgsValueToSystem(double plane, double falseorigin, double units, double cround,
                         double halfsu, int32_t* sysval) {
  if (!sysval) return SG_INVALID_POINTER;
  if (!units_ok(units)) return SG_INVALID_UNITS;
  if (!isfinite(plane) || !isfinite(falseorigin) || !isfinite(cround) || !isfinite(halfsu))
    return SG_INVALID_PARAM;
  double v = floor((plane - falseorigin) * units + 0.5);
  if (!(v >= 0.0 && v <= static_cast<double>(SG_SYSTEM_MAX))) return SG_COORD_OUT_OF_BOUNDS;
  *sysval = static_cast<int32_t>(v);
  return SG_SUCCESS;
}

int32_t SgsEnvelopeToSystem(const COORDREF* cr, const SE_ENVELOPE* plane, ENVELOPE* sys) {
  if (!cr || !plane || !sys) return SG_INVALID_POINTER;
  PlaneEnv p = plane_env_in(plane);
  if (p.maxx < p.minx || p.maxy < p.miny) {
    *sys = env_empty_value();
    return SG_SUCCESS;
  }
  ENVELOPE out;
  int32_t rc;
  if ((rc = SgsValueToSystem(p.minx, cr->falsex, cr->xyunits, cr->xycround, cr->xyhalfsu, &out.minx)) ||
      (rc = SgsValueToSystem(p.miny, cr->falsey, cr->xyunits, cr->xycround, cr->xyhalfsu, &out.miny)) ||
      (rc = SgsValueToSystem(p.maxx, cr->falsex, cr->xyunits, cr->xycround, cr->xyhalfsu, &out.maxx)) ||
      (rc = SgsValueToSystem(p.maxy, cr->falsey, cr->xyunits, cr->xycround, cr->xyhalfsu, &out.maxy)))
    return rc;
  *sys = out;
  return SG_SUCCESS;
}

int32_t SgsEnvelopeToPlane(const COORDREF* cr, const ENVELOPE* sys, SE_ENVELOPE* plane) {
  if (!cr || !sys || !plane) return SG_INVALID_POINTER;
  PlaneEnv p;
  if (env_empty(*sys)) {
    p.minx = p.miny = static_cast<double>(SG_ENVELOPE_EMPTY_MIN);
    p.maxx = p.maxy = 0.0;
    plane_env_out(p, plane);
    return SG_SUCCESS;
  }
  int32_t rc;
  if ((rc = SgsValueToPlane(sys->minx, cr->falsex, cr->xyunits, cr->xycround, cr->xyhalfsu, &p.minx)) ||
      (rc = SgsValueToPlane(sys->miny, cr->falsey, cr->xyunits, cr->xycround, cr->xyhalfsu, &p.miny)) ||
      (rc = SgsValueToPlane(sys->maxx, cr->falsex, cr->xyunits, cr->xycround, cr->xyhalfsu, &p.maxx)) ||
      (rc = SgsValueToPlane(sys->maxy, cr->falsey, cr->xyunits, cr->xycround, cr->xyhalfsu, &p.maxy)))
    return rc;
  plane_env_out(p, plane);
  return SG_SUCCESS;
}

}  // extern "C"
