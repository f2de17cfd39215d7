// spatial_test.h -- the spatial filters of a query: preparing their shapes,
// testing candidate envelopes and fetched shapes against them, and the
// analysis that turns the must-pass filters into one search envelope.
//
// The geometry itself is geomkit's (SgsEnvSect, SgsSrchComp,
// SgEvaluateRelation, SgsNvelop); what lives here is the order of the tests,
// the use of their answers and the result matrix. A filter's truth is applied
// here and never inside geomkit.
//
// Result matrix: one row per kept candidate, one 32-bit cell per filter,
// owned by the caller (candidates x filters cells). The envelope test writes
// it (0, or SE_CELL_FEATURE_DECIDES when the envelopes showed that the
// relation holds for certain); the feature test reads it: a cell that is not
// 0 needs no exact search.
#ifndef ZUL_SPATIAL_TEST_H
#define ZUL_SPATIAL_TEST_H

#include <stdint.h>

#include "geomkit.h"
#include "zul_layer.h"

#define SE_CELL_FEATURE_DECIDES 36992   // the envelope test settled the relation

#define SE_INVALID_FILTER_INTERSECT (-119) // a must-pass filter of an intersected set is not a shape
#define SE_NO_MUST_PASS_FILTER      (-127) // no filter says what must match
#define SE_INVALID_SHAPE_FILTER     (-137) // a filter that must be a shape filter is not one

// A query's filters as the stream keeps them.
struct FILTER_SET {
  int16_t          num_filters;   // number of filters
  SPATIAL_FILTER*  filters;       // the filters, num_filters of them
  int32_t          search_mode;   // handed to the geometry library unchanged
  SG_FEATURE_SPEC* specs;         // one prepared shape per filter (SES_generate_feature_specs)
};

// A candidate row of the first-cut filter: its feature id and envelope.
struct FILTER_CANDIDATE {
  uint32_t fid;        // feature id
  ENVELOPE envelope;   // system units
};

// Allocates *specs (count zero-filled entries; -12 when that fails) and
// prepares each filter's shape in its entry. A filter that is not a shape
// filter gives -137; *specs is then still set and must be freed. Geometry
// errors are mapped.
int32_t SES_generate_feature_specs(int32_t count, const SPATIAL_FILTER* filters, SG_FEATURE_SPEC** specs);

// Releases every entry and the array; a null array is ignored.
void SES_free_feature_specs(int32_t count, void* unused, SG_FEATURE_SPEC* specs);

// Tests count candidates against every filter. The ids of those that pass
// go to ids (count entries) and their number to *kept; matrix holds count x
// filters cells. 0, or a mapped geometry error (with *kept and ids as far as
// the test got).
int32_t SES_test_envelopes(int32_t count, const FILTER_CANDIDATE* candidates, FILTER_SET* set,
                           int32_t* matrix, int32_t* kept, uint32_t* ids);

// Tests count shapes exactly against every filter; feature i uses row i of
// the matrix. envelopes (four values per feature) may be null, and then the
// envelope is computed. With uncompress set, a feature is decompressed
// before the first filter that needs its points. 0 or an error, with the ids
// of the features that passed.
int32_t SES_test_features(int32_t count, FEATURE_STRUCT** features, const int32_t* envelopes,
                          int32_t uncompress, FILTER_SET* set, int32_t* matrix, int32_t* kept,
                          uint32_t* ids);

// Combines the must-pass filters into one search envelope (system units) for
// the first cut, and sets *nothing_matches when no feature can pass them:
// for filters of methods 10, 12 and 15 the intersection of the must-pass
// envelopes, otherwise the one covering fewest grid cells (grid_size above
// 0) or with the smallest half perimeter. 0, -127 (no must-pass filter),
// -119 or -137 (a must-pass filter that is not a shape filter).
int32_t SES_analyze_filters(int32_t count, const SPATIAL_FILTER* filters, int32_t grid_size,
                            int32_t* nothing_matches, ENVELOPE* envelope);

#endif
