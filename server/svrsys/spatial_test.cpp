// spatial_test.cpp -- filter shapes, the envelope test and the exact feature
// test (see spatial_test.h).
//
// Relies on geomkit for every geometric answer, on the compressed-feature
// code to unpack a fetched shape, and on SES_map_shape_error_to_zul.
#include "spatial_test.h"

#include <stdlib.h>

#include "comp_ftr.h"
#include "svr_services.h"
#include "zul_status.h"

namespace {

bool envelopes_meet(const ENVELOPE& a, const ENVELOPE& b) {
  // Touching counts as meeting.
  return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy;
}

// A geometry answer that is neither "holds" (0) nor "does not hold" (-1)
// becomes the server's status.
int32_t map_answer(int32_t answer) {
  return answer == 0 || answer == -1 ? answer : SES_map_shape_error_to_zul(answer);
}

// Makes the feature's points usable and its envelope current, once.
int32_t prepare_feature(FEATURE_STRUCT* f, const int32_t* envelope, int32_t uncompress) {
  if (uncompress) {
    int32_t rc = SES_feature_uncompress(1, f);
    if (rc) return rc;
  }
  if (envelope) {
    f->envelope.minx = envelope[0];
    f->envelope.miny = envelope[1];
    f->envelope.maxx = envelope[2];
    f->envelope.maxy = envelope[3];
    return 0;
  }
  return SES_map_shape_error_to_zul(SgsNvelop(f, nullptr));
}

// The exact answer of one filter for one feature: 0 holds, -1 does not,
// another negative value an error.
int32_t exact_answer(SG_FEATURE_SPEC* spec, const SPATIAL_FILTER& filter, FEATURE_STRUCT* f,
                     int32_t* cell, int32_t search_mode) {
  int32_t answer = map_answer(SgsSrchComp(spec, f, filter.method, cell, search_mode));
  if (answer != 0 || filter.method != SM_CBM) return answer;
  int32_t rel = SgEvaluateRelation(spec, f, filter.cbm ? filter.cbm : "");
  if (rel == 1) return 0;
  if (rel == 0) return -1;
  return rel == -1 ? -30 : SES_map_shape_error_to_zul(rel);
}

}  // namespace

int32_t SES_generate_feature_specs(int32_t count, const SPATIAL_FILTER* filters, SG_FEATURE_SPEC** specs) {
  if (!specs || (count > 0 && !filters) || count < 0) return SE_INVALID_POINTER;
  *specs = (SG_FEATURE_SPEC*)calloc(count > 0 ? (size_t)count : 1, sizeof(SG_FEATURE_SPEC));
  if (!*specs) return SE_OUT_OF_DBMS_MEM;
  for (int32_t i = 0; i < count; i++) {
    if (filters[i].filter_type != SE_SHAPE_FILTER) return SE_INVALID_SHAPE_FILTER;
    int32_t rc = SgsFeatureSpecSet(&(*specs)[i], filters[i].filter.shape);
    if (rc) return SES_map_shape_error_to_zul(rc);
  }
  return 0;
}

void SES_free_feature_specs(int32_t count, void* unused, SG_FEATURE_SPEC* specs) {
  if (!specs) return;
  for (int32_t i = 0; i < count; i++) SgsFeatureSpecFree(&specs[i]);
  free(specs);
}

int32_t SES_test_envelopes(int32_t count, const FILTER_CANDIDATE* candidates, FILTER_SET* set,
                           int32_t* matrix, int32_t* kept, uint32_t* ids) {
  if (!kept) return SE_INVALID_POINTER;
  *kept = 0;
  if (count <= 0) return 0;
  if (!candidates || !set || !ids || (set->num_filters > 0 && (!set->filters || !set->specs || !matrix)))
    return SE_INVALID_POINTER;
  const int32_t nf = set->num_filters;
  for (int32_t i = 0; i < count; i++) {
    const FILTER_CANDIDATE& c = candidates[i];
    int32_t* row = matrix + (size_t)*kept * (size_t)nf;
    bool pass = true;
    for (int32_t j = 0; j < nf && pass; j++) {
      const SPATIAL_FILTER& filter = set->filters[j];
      SG_FEATURE_SPEC* spec = &set->specs[j];
      bool must_pass = filter.truth != 0;
      bool meet = envelopes_meet(spec->envelope, c.envelope);
      if (!meet && must_pass) {
        pass = false;
        break;
      }
      if (meet && !must_pass && (filter.method == SM_ENVP || filter.method == SM_ENVP_BY_GRID)) {
        pass = false;
        break;
      }
      row[j] = 0;
      if (filter.method == SM_ENVP || filter.method == SM_ENVP_BY_GRID) continue;
      int32_t answer = SgsEnvSect(spec, &c.envelope, filter.method);
      if (answer < 0) return SES_map_shape_error_to_zul(answer);
      if (answer == SG_ENVSECT_MAYBE) continue;
      if (must_pass) {
        if (answer == SG_ENVSECT_NO) pass = false;
        else if (answer == SG_ENVSECT_YES) row[j] = SE_CELL_FEATURE_DECIDES;
      } else if (answer == SG_ENVSECT_YES) {
        pass = false;
      }
    }
    if (pass) ids[(*kept)++] = c.fid;
  }
  return 0;
}

int32_t SES_test_features(int32_t count, FEATURE_STRUCT** features, const int32_t* envelopes,
                          int32_t uncompress, FILTER_SET* set, int32_t* matrix, int32_t* kept,
                          uint32_t* ids) {
  if (!kept) return SE_INVALID_POINTER;
  *kept = 0;
  if (count <= 0) return 0;
  if (!features || !set || !ids || (set->num_filters > 0 && (!set->filters || !set->specs || !matrix)))
    return SE_INVALID_POINTER;
  const int32_t nf = set->num_filters;
  for (int32_t i = 0; i < count; i++) {
    FEATURE_STRUCT* f = features[i];
    if (!f) return SE_INVALID_POINTER;
    int32_t* row = matrix + (size_t)i * (size_t)nf;
    bool prepared = false;
    bool pass = true;
    for (int32_t j = 0; j < nf && pass; j++) {
      const SPATIAL_FILTER& filter = set->filters[j];
      SG_FEATURE_SPEC* spec = &set->specs[j];
      if (!prepared && (filter.method > SM_ENVP_BY_GRID || set->search_mode == 1)) {
        int32_t rc = prepare_feature(f, envelopes ? envelopes + 4 * (size_t)i : nullptr, uncompress);
        if (rc) return rc;
        prepared = true;
      }
      if (filter.method > SM_ENVP_BY_GRID && row[j] == 0) {
        int32_t answer = exact_answer(spec, filter, f, &row[j], set->search_mode);
        bool must_pass = filter.truth != 0;
        // Only "holds" and "does not hold" decide; any other answer is an
        // error whatever the filter's truth, so a failed test never lets a
        // feature through as if it had passed.
        if (answer == 0) {
          if (!must_pass) pass = false;
        } else if (answer == -1) {
          if (must_pass) pass = false;
        } else {
          return answer;
        }
      } else if (set->search_mode) {
        int32_t answer = SgsSrchComp(spec, f, SM_ET_OR_AI, &row[j], set->search_mode);
        if (answer == -1) row[j] = 0;
      }
    }
    if (pass) ids[(*kept)++] = f->fid;
  }
  return 0;
}
