// Pixel access by type (rounding, clamping, packing of small pixels) and the
// serialized band statistics, checked byte for byte against the layout.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "zul_pixels.h"
#include "zul_status.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Writer = void (*)(void*, int32_t, double);
using Reader = void (*)(const void*, int32_t, double*);

TEST(PixelAccess, WritersRoundHalfAwayFromZeroAndClamp) {
  struct Case { const char* type; Writer w; Reader r; double in; double out; };
  const Case kCases[] = {
      {"uchar", SES_pixel_write_uchar, SES_pixel_read_uchar, 255.4, 255},
      {"uchar", SES_pixel_write_uchar, SES_pixel_read_uchar, 254.4, 254},
      {"uchar", SES_pixel_write_uchar, SES_pixel_read_uchar, 254.5, 255},
      {"uchar", SES_pixel_write_uchar, SES_pixel_read_uchar, -3.7, 0},
      {"uchar", SES_pixel_write_uchar, SES_pixel_read_uchar, 1e300, 255},
      {"char", SES_pixel_write_char, SES_pixel_read_char, -128.6, -128},
      {"char", SES_pixel_write_char, SES_pixel_read_char, -2.5, -3},
      {"char", SES_pixel_write_char, SES_pixel_read_char, 127.2, 127},
      {"short", SES_pixel_write_short, SES_pixel_read_short, -40000, -32768},
      {"ushort", SES_pixel_write_ushort, SES_pixel_read_ushort, 65535.7, 65535},
      {"long", SES_pixel_write_long, SES_pixel_read_long, -3e9, -2147483648.0},
      {"long", SES_pixel_write_long, SES_pixel_read_long, 2147483646.6, 2147483647.0},
      {"ulong", SES_pixel_write_ulong, SES_pixel_read_ulong, 5e9, 4294967295.0},
      {"ulong", SES_pixel_write_ulong, SES_pixel_read_ulong, NAN, 0},
      {"long", SES_pixel_write_long, SES_pixel_read_long, NAN, 0},
      {"float", SES_pixel_write_float, SES_pixel_read_float, 0.1, static_cast<double>(0.1f)},
      {"float", SES_pixel_write_float, SES_pixel_read_float, 1e300, INFINITY},
      {"double", SES_pixel_write_double, SES_pixel_read_double, -1e300, -1e300},
  };
  for (const Case& c : kCases) {
    uint8_t buf[32];
    memset(buf, 0xAB, sizeof buf);
    c.w(buf + 1, 2, c.in);  // an unaligned array, third pixel
    double v = 0;
    c.r(buf + 1, 2, &v);
    EXPECT_EQ(v, c.out) << c.type << " " << c.in;
    EXPECT_EQ(buf[0], 0xAB) << c.type;  // nothing before the pixel changed
  }
}

TEST(PixelAccess, SmallPixelsChangeOnlyTheirBits) {
  uint8_t nib[2] = {0x00, 0xFF};
  SES_pixel_write_4bit(nib, 0, 15.6);  // high half of byte 0
  SES_pixel_write_4bit(nib, 3, -2);    // low half of byte 1
  EXPECT_EQ(nib[0], 0xF0);
  EXPECT_EQ(nib[1], 0xF0);
  double v;
  SES_pixel_read_4bit(nib, 0, &v);
  EXPECT_EQ(v, 15);
  SES_pixel_read_4bit(nib, 1, &v);
  EXPECT_EQ(v, 0);

  uint8_t bits[2] = {0x00, 0xFF};
  SES_pixel_write_1bit(bits, 0, 0.7);   // rounds to 1: set, most significant bit first
  SES_pixel_write_1bit(bits, 9, -0.1);  // negative: cleared
  SES_pixel_write_1bit(bits, 10, 0.4);  // rounds to 0: cleared
  EXPECT_EQ(bits[0], 0x80);
  EXPECT_EQ(bits[1], 0x9F);
  SES_pixel_read_1bit(bits, 8, &v);
  EXPECT_EQ(v, 1.0);
  SES_pixel_read_1bit(bits, 9, &v);
  EXPECT_EQ(v, 0.0);
}

void be32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; i--) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void be_double(Bytes& b, double d) {
  uint64_t v;
  memcpy(&v, &d, 8);
  for (int i = 7; i >= 0; i--) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Statistics of a small 16-bit raster read through the pixel readers, then
// serialized with and without breakpoints.
TEST(BandStats, KnownRasterSerializesToTheLayout) {
  const int16_t raster[6] = {4, -2, 10, 4, 7, 1};
  double sum = 0, sq = 0, lo = 1e9, hi = -1e9;
  for (int i = 0; i < 6; i++) {
    double v;
    SES_pixel_read_short(raster, i, &v);
    sum += v;
    sq += v * v;
    lo = fmin(lo, v);
    hi = fmax(hi, v);
  }
  double mean = sum / 6, sd = sqrt(sq / 6 - mean * mean);
  EXPECT_EQ(lo, -2);
  EXPECT_EQ(hi, 10);
  EXPECT_EQ(mean, 4);
  double counts[3] = {1, 3, 2}, breaks[2] = {0, 5};
  RASTERBAND_STATS st{lo, hi, mean, sd, {}, SE_HISTOGRAM_EQUAL, 3, breaks, counts};

  for (int32_t kind : {SE_HISTOGRAM_EQUAL, SE_HISTOGRAM_BREAKPOINTS}) {
    st.kind = kind;
    uint8_t* data = nullptr;
    int32_t len = -1;
    ASSERT_EQ(SES_rasterband_stats_serialize(&st, &data, &len), 0);
    Bytes want;
    be32(want, kind == SE_HISTOGRAM_BREAKPOINTS ? 84 : 68);
    for (double d : {lo, hi, mean, sd}) be_double(want, d);
    be32(want, static_cast<uint32_t>(kind));
    be32(want, 3);
    if (kind == SE_HISTOGRAM_BREAKPOINTS)
      for (double d : breaks) be_double(want, d);
    for (double d : counts) be_double(want, d);
    ASSERT_EQ(len, static_cast<int32_t>(want.size()));
    EXPECT_EQ(Bytes(data, data + len), want);
    EXPECT_EQ(SES_rasterband_get_serialized_length(data), len);
    free(data);
  }
  EXPECT_EQ(SES_rasterband_get_serialized_length(nullptr), 0);
}

TEST(BandStats, BadRecordsAreRefusedWithOutputsCleared) {
  double v[2] = {1, 2};
  struct Case { const char* name; RASTERBAND_STATS st; int32_t status; };
  const Case kCases[] = {
      {"no values", {0, 0, 0, 0, {}, 3, 2, nullptr, nullptr}, SE_INVALID_POINTER},
      {"breakpoints missing", {0, 0, 0, 0, {}, 5, 2, nullptr, v}, SE_INVALID_POINTER},
      {"negative count", {0, 0, 0, 0, {}, 3, -1, nullptr, v}, SE_INVALID_PARAM},
      {"breakpoints with no bins", {0, 0, 0, 0, {}, 5, 0, v, v}, SE_INVALID_PARAM},
      {"huge count", {0, 0, 0, 0, {}, 3, 1 << 30, nullptr, v}, SE_INVALID_PARAM},
  };
  for (const Case& c : kCases) {
    uint8_t* data = reinterpret_cast<uint8_t*>(1);
    int32_t len = 5;
    EXPECT_EQ(SES_rasterband_stats_serialize(&c.st, &data, &len), c.status) << c.name;
    EXPECT_EQ(data, nullptr) << c.name;
    EXPECT_EQ(len, 0) << c.name;
  }
  int32_t len;
  EXPECT_EQ(SES_rasterband_stats_serialize(&kCases[0].st, nullptr, &len), SE_INVALID_POINTER);
}

}  // namespace
