// analyze_filters.cpp -- the search envelope of a query's must-pass filters
// (see SES_analyze_filters in spatial_test.h).
//
// Grid-cell counts and half perimeters are computed in 64 bits: for a large
// envelope both overflow 32 bits and would choose the wrong filter.
#include <stdint.h>

#include "spatial_test.h"
#include "zul_status.h"

namespace {

constexpr ENVELOPE kEmpty = {SG_ENVELOPE_EMPTY_MIN, SG_ENVELOPE_EMPTY_MIN, 0, 0};

bool is_empty(const ENVELOPE& e) { return e.maxx < e.minx || e.maxy < e.miny; }

int64_t extent_size(const ENVELOPE& e, int32_t grid) {
  if (grid > 0) {
    int64_t cols = (int64_t)(e.maxx / grid) - (e.minx / grid) + 1;
    int64_t rows = (int64_t)(e.maxy / grid) - (e.miny / grid) + 1;
    return cols * rows;
  }
  return ((int64_t)e.maxx - e.minx) + ((int64_t)e.maxy - e.miny);
}

bool intersected(int32_t method) { return method == SM_SC || method == SM_SC_NO_ET || method == SM_IDENTICAL; }

bool is_shape(const SPATIAL_FILTER& f) { return f.filter_type == SE_SHAPE_FILTER && f.filter.shape; }

}  // namespace

int32_t SES_analyze_filters(int32_t count, const SPATIAL_FILTER* filters, int32_t grid_size,
                            int32_t* nothing_matches, ENVELOPE* envelope) {
  if (!nothing_matches || !envelope || (count > 0 && !filters)) return SE_INVALID_POINTER;
  *envelope = kEmpty;
  *nothing_matches = 0;
  if (count <= 0) return 0;

  bool any_must = false, intersect = false;
  for (int32_t i = 0; i < count; i++) {
    const SPATIAL_FILTER& f = filters[i];
    if (!f.truth) continue;
    any_must = true;
    if (intersected(f.method)) intersect = true;
    if (is_shape(f) && (f.filter.shape->entity & SG_ENTITY_MASK) == SG_NIL_SHAPE) {
      *nothing_matches = 1;
      return 0;
    }
  }

  if (intersect) {
    ENVELOPE e = {0, 0, INT32_MAX, INT32_MAX};
    for (int32_t i = 0; i < count; i++) {
      const SPATIAL_FILTER& f = filters[i];
      if (!f.truth) continue;
      if (!is_shape(f)) {
        *envelope = kEmpty;
        return SE_INVALID_FILTER_INTERSECT;
      }
      const ENVELOPE& s = f.filter.shape->envelope;
      if (s.minx > e.minx) e.minx = s.minx;
      if (s.miny > e.miny) e.miny = s.miny;
      if (s.maxx < e.maxx) e.maxx = s.maxx;
      if (s.maxy < e.maxy) e.maxy = s.maxy;
    }
    *envelope = e;
    if (is_empty(e)) *nothing_matches = 1;
    return 0;
  }

  if (!any_must) return SE_NO_MUST_PASS_FILTER;
  int32_t result = 0;
  for (int32_t i = 0; i < count; i++) {
    const SPATIAL_FILTER& f = filters[i];
    if (!f.truth) continue;
    if (!is_shape(f)) {
      *envelope = kEmpty;
      result = SE_INVALID_SHAPE_FILTER;
      continue;
    }
    const ENVELOPE& s = f.filter.shape->envelope;
    if (is_empty(*envelope) || extent_size(s, grid_size) < extent_size(*envelope, grid_size)) *envelope = s;
  }
  return result;
}
