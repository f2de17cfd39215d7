// geomkit_relations.cpp -- throughput of the spatial filter behind the search
// methods, as a ratio to GEOS's prepared-geometry predicate on the same shapes.
//
// A field of features (squares, lines and points on a grid, in system units)
// is tested against one polygon filter:
//   baseline  GEOSPreparedIntersects_r on GEOS geometries built beforehand;
//   envelope  SgsEnvSect with SM_CP on each feature's envelope;
//   exact     SgsSrchComp with SM_CP on each feature (geomkit builds the
//             feature's geometry itself on every call, as a fetch does).
// Each figure is features per second; the ratios are against the baseline of
// the same run. The answers are checked: the exact test must agree with GEOS
// on every feature, and the envelope test may answer "cannot hold" or "holds"
// only where GEOS agrees. Usage: bench_geomkit_relations [features] [rounds]
#include <geos_c.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <vector>

#include "geomkit.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A feature of kind k at grid cell (gx, gy).
void make_feature(FEATURE_STRUCT* f, int k, int32_t x, int32_t y) {
  memset(f, 0, sizeof *f);
  SgsShapeInit(nullptr, f);
  if (k == 0) {
    f->entity = SG_AREA_SHAPE;
    SgsShapeAllocate(f, 5, 0, 0);
    const POINT ring[5] = {{x, y}, {x, y + 60}, {x + 60, y + 60}, {x + 60, y}, {x, y}};
    memcpy(f->points, ring, sizeof ring);
  } else if (k == 1) {
    f->entity = SG_LINE_SHAPE;
    SgsShapeAllocate(f, 3, 0, 0);
    const POINT line[3] = {{x, y}, {x + 50, y + 80}, {x + 90, y + 10}};
    memcpy(f->points, line, sizeof line);
  } else {
    f->entity = SG_POINT_SHAPE;
    SgsShapeAllocate(f, 1, 0, 0);
    f->points[0] = POINT{x + 30, y + 40};
  }
  SgsNvelop(f, nullptr);
}

GEOSGeometry* to_geos(GEOSContextHandle_t h, const FEATURE_STRUCT* f) {
  std::vector<double> xy;
  for (int i = 0; i < f->numofpts; i++) {
    xy.push_back(f->points[i].x);
    xy.push_back(f->points[i].y);
  }
  GEOSCoordSequence* s = GEOSCoordSeq_copyFromBuffer_r(h, xy.data(), f->numofpts, 0, 0);
  if (f->entity == SG_AREA_SHAPE)
    return GEOSGeom_createPolygon_r(h, GEOSGeom_createLinearRing_r(h, s), nullptr, 0);
  if (f->entity == SG_LINE_SHAPE) return GEOSGeom_createLineString_r(h, s);
  GEOSCoordSeq_destroy_r(h, s);
  return GEOSGeom_createPointFromXY_r(h, f->points[0].x, f->points[0].y);
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 200000;
  int rounds = argc > 2 ? atoi(argv[2]) : 5;
  if (n < 1 || rounds < 1) {
    fprintf(stderr, "usage: %s [features] [rounds]\n", argv[0]);
    return 2;
  }

  // The filter: a 64-sided polygon in the middle of the field.
  int side = static_cast<int>(sqrt(static_cast<double>(n))) + 1;
  const double span = side * 100.0, cx = span / 2, cy = span / 2, r = span / 3;
  FEATURE_STRUCT filter;
  memset(&filter, 0, sizeof filter);
  SgsShapeInit(nullptr, &filter);
  filter.entity = SG_AREA_SHAPE;
  SgsShapeAllocate(&filter, 65, 0, 0);
  for (int i = 0; i < 64; i++) {
    double a = 2 * M_PI * i / 64;
    filter.points[i] = POINT{static_cast<int32_t>(cx + r * cos(a)), static_cast<int32_t>(cy + r * sin(a))};
  }
  filter.points[64] = filter.points[0];
  if (SgsShapeVerify(&filter) != 0) {
    fprintf(stderr, "filter shape is not valid\n");
    return 1;
  }
  SG_FEATURE_SPEC spec{};
  SgsFeatureSpecSet(&spec, &filter);

  std::vector<FEATURE_STRUCT> features(n);
  for (int i = 0; i < n; i++) make_feature(&features[i], i % 3, (i % side) * 100, (i / side) * 100);

  GEOSContextHandle_t h = GEOS_init_r();
  GEOSGeometry* gfilter = to_geos(h, &filter);
  const GEOSPreparedGeometry* pfilter = GEOSPrepare_r(h, gfilter);
  std::vector<GEOSGeometry*> gfeatures(n);
  for (int i = 0; i < n; i++) gfeatures[i] = to_geos(h, &features[i]);

  std::vector<char> truth(n);
  double t_base = 1e300, t_env = 1e300, t_exact = 1e300;
  long holds_base = 0, holds_exact = 0, env_no = 0, env_yes = 0, mismatches = 0;
  for (int round = 0; round < rounds; round++) {
    auto t0 = Clock::now();
    holds_base = 0;
    for (int i = 0; i < n; i++) {
      truth[i] = GEOSPreparedIntersects_r(h, pfilter, gfeatures[i]) == 1;
      holds_base += truth[i];
    }
    t_base = fmin(t_base, seconds_since(t0));

    t0 = Clock::now();
    env_no = env_yes = 0;
    for (int i = 0; i < n; i++) {
      int32_t e = SgsEnvSect(&spec, &features[i].envelope, SM_CP);
      if (e == SG_ENVSECT_NO) {
        env_no++;
        mismatches += truth[i];
      } else if (e == SG_ENVSECT_YES) {
        env_yes++;
        mismatches += !truth[i];
      } else if (e != SG_ENVSECT_MAYBE) {
        mismatches++;
      }
    }
    t_env = fmin(t_env, seconds_since(t0));

    t0 = Clock::now();
    holds_exact = 0;
    for (int i = 0; i < n; i++) {
      int32_t a = SgsSrchComp(&spec, &features[i], SM_CP, nullptr, 0);
      holds_exact += a == SG_SRCH_HOLDS;
      mismatches += (a == SG_SRCH_HOLDS) != static_cast<bool>(truth[i]) || a < SG_SRCH_FAILS;
    }
    t_exact = fmin(t_exact, seconds_since(t0));
  }

  printf("features %d, best of %d rounds\n", n, rounds);
  printf("GEOS prepared intersects   %12.0f features/s   (%ld hold)\n", n / t_base, holds_base);
  printf("SgsEnvSect                 %12.0f features/s   ratio %.2f  (%ld cannot hold, %ld hold)\n",
         n / t_env, t_base / t_env, env_no, env_yes);
  printf("SgsSrchComp                %12.0f features/s   ratio %.2f  (%ld hold)\n", n / t_exact,
         t_base / t_exact, holds_exact);

  for (int i = 0; i < n; i++) {
    GEOSGeom_destroy_r(h, gfeatures[i]);
    SgShapeFree(&features[i]);
  }
  GEOSPreparedGeom_destroy_r(h, pfilter);
  GEOSGeom_destroy_r(h, gfilter);
  GEOS_finish_r(h);
  SgsFeatureSpecFree(&spec);
  SgShapeFree(&filter);
  if (mismatches || holds_exact != holds_base) {
    fprintf(stderr, "answers differ from GEOS: %ld mismatches\n", mismatches);
    return 1;
  }
  return 0;
}
