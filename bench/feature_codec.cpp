// feature_codec.cpp -- throughput of the compressed-feature codec against a
// plain copy of the same coordinates.
//
// A small driver: each round compresses (or decompresses) a set of features
// and, for the baseline, copies their points, Z values and measures into
// another array with memcpy. Both run in the same process on the same data,
// and the figures are printed as points per second and as the ratio of codec
// time to copy time. Every decoded feature is compared with its original, so
// a fast wrong answer cannot pass as a result.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <vector>

#include "comp_ftr.h"

namespace {

constexpr int kFeatures = 2000;
constexpr int kPoints = 500;     // points per feature
constexpr int kRounds = 40;
constexpr int32_t kFlags = SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M;

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A wandering line, as real features are: small steps between points.
void make(FEATURE_STRUCT* f, unsigned seed) {
  memset(f, 0, sizeof *f);
  SgsShapeAllocate(f, kPoints, 1, 1);
  f->entity = SG_LINE_SHAPE;
  int32_t x = 1000000 + (int32_t)(seed % 1000), y = 2000000;
  for (int i = 0; i < kPoints; i++) {
    seed = seed * 1103515245u + 12345u;
    x += (int32_t)(seed >> 20) % 2000 - 1000;
    y += (int32_t)(seed >> 8) % 2000 - 1000;
    f->points[i] = {x, y};
    f->z[i] = (int32_t)(seed % 5000);
    f->m[i] = i;
  }
}

}  // namespace

int main() {
  std::vector<FEATURE_STRUCT> src(kFeatures), dst(kFeatures);
  for (int i = 0; i < kFeatures; i++) {
    make(&src[i], (unsigned)i * 7919u + 1);
    memset(&dst[i], 0, sizeof dst[i]);
    SgsShapeAllocate(&dst[i], kPoints, 1, 1);
  }
  const double points = (double)kFeatures * kPoints * kRounds;

  // Baseline: the same coordinates copied plainly.
  auto t0 = Clock::now();
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kFeatures; i++) {
      memcpy(dst[i].points, src[i].points, sizeof(POINT) * kPoints);
      memcpy(dst[i].z, src[i].z, sizeof(int32_t) * kPoints);
      memcpy(dst[i].m, src[i].m, sizeof(int32_t) * kPoints);
    }
  double copy_s = seconds_since(t0);
  long long copy_check = 0;
  for (int i = 0; i < kFeatures; i++) copy_check += dst[i].points[kPoints - 1].x;

  t0 = Clock::now();
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kFeatures; i++)
      if (SES_feature_compress(&src[i], kFlags) != 0) {
        fprintf(stderr, "compress failed\n");
        return 1;
      }
  double enc_s = seconds_since(t0);

  for (int i = 0; i < kFeatures; i++) {
    dst[i].buffer = (unsigned char*)malloc((size_t)src[i].buffer_cap);
    memcpy(dst[i].buffer, src[i].buffer, (size_t)src[i].buffer_cap);
    dst[i].buffer_cap = src[i].buffer_cap;
  }
  t0 = Clock::now();
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kFeatures; i++) {
      dst[i].numofpts = kPoints;
      if (SES_feature_uncompress(1, &dst[i]) != 0) {
        fprintf(stderr, "uncompress failed\n");
        return 1;
      }
    }
  double dec_s = seconds_since(t0);

  long long bytes = 0;
  for (int i = 0; i < kFeatures; i++) {
    bytes += SES_get_compressed_buffer_size(&src[i]);
    if (memcmp(dst[i].points, src[i].points, sizeof(POINT) * kPoints) != 0 ||
        memcmp(dst[i].z, src[i].z, sizeof(int32_t) * kPoints) != 0 ||
        memcmp(dst[i].m, src[i].m, sizeof(int32_t) * kPoints) != 0) {
      fprintf(stderr, "feature %d decoded wrongly\n", i);
      return 1;
    }
  }
  printf("features %d x %d points (Z, M), %d rounds; %.2f bytes a point compressed (copy check %lld)\n",
         kFeatures, kPoints, kRounds, (double)bytes / ((double)kFeatures * kPoints), copy_check);
  printf("plain copy : %12.0f points/s\n", points / copy_s);
  printf("compress   : %12.0f points/s  ratio to copy %.1fx slower\n", points / enc_s, enc_s / copy_s);
  printf("uncompress : %12.0f points/s  ratio to copy %.1fx slower\n", points / dec_s, dec_s / copy_s);
  for (int i = 0; i < kFeatures; i++) {
    SES_comp_feature_free(&src[i]);
    SES_comp_feature_free(&dst[i]);
  }
  return 0;
}
