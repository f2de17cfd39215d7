// rasterband_stats.cpp -- the serialized form of a band's statistics, as the
// catalogue stores it for a band, and the reader of its length.
//
// Every number is big-endian (layout in zul_pixels.h). The counts of the
// record are checked before anything is sized by them: a bin count below 0
// or beyond SE_STATS_MAX_BINS, and breakpoints (kind 5) with no bins, are
// refused rather than turned into a negative or huge size.
#include <stdlib.h>
#include <string.h>

#include "zul_pixels.h"
#include "zul_status.h"

namespace {

void put_be32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void put_be_double(uint8_t* p, double d) {
  uint64_t v;
  memcpy(&v, &d, sizeof v);
  for (int i = 0; i < 8; i++) p[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
}

}  // namespace

int32_t SES_rasterband_stats_serialize(const RASTERBAND_STATS* stats, uint8_t** out_data, int32_t* out_length) {
  if (!out_data || !out_length) return SE_INVALID_POINTER;
  *out_data = nullptr;
  *out_length = 0;
  if (!stats) return SE_INVALID_POINTER;
  const bool breakpoints = stats->kind == SE_HISTOGRAM_BREAKPOINTS;
  const int32_t n = stats->count;
  if (n < 0 || n > SE_STATS_MAX_BINS || (breakpoints && n < 1)) return SE_INVALID_PARAM;
  if ((!stats->values && n > 0) || (breakpoints && !stats->boundaries && n > 1)) return SE_INVALID_POINTER;
  const int32_t length = SE_STATS_HEADER + 8 * n + (breakpoints ? 8 * (n - 1) : 0);
  uint8_t* buf = static_cast<uint8_t*>(calloc(1, static_cast<size_t>(length)));
  if (!buf) return SE_OUT_OF_MEMORY;
  uint8_t* p = buf;
  put_be32(p, static_cast<uint32_t>(length));
  p += 4;
  const double head[4] = {stats->minimum, stats->maximum, stats->mean, stats->std_dev};
  for (double d : head) {
    put_be_double(p, d);
    p += 8;
  }
  put_be32(p, static_cast<uint32_t>(stats->kind));
  put_be32(p + 4, static_cast<uint32_t>(n));
  p += 8;
  if (breakpoints)
    for (int32_t i = 0; i < n - 1; i++, p += 8) put_be_double(p, stats->boundaries[i]);
  for (int32_t i = 0; i < n; i++, p += 8) put_be_double(p, stats->values[i]);
  *out_data = buf;
  *out_length = length;
  return 0;
}

int32_t SES_rasterband_get_serialized_length(const void* data) {
  if (!data) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  return static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 8) | p[3]);
}
