// test_bitset.cpp -- bit sets and raster mask bitmaps.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "bitmap.h"
#include "raster_bitmap.h"

TEST(Bitset, CreateSizesWordsAndScansFindNothingWhereNothingIs) {
  SE_BITMAP* zeros = SES_Bitmap_Create(33, 0);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(zeros->words, 2);
  EXPECT_EQ(SES_Bitmap_MaxBits(zeros), 33);
  EXPECT_EQ(SES_Bitmap_Scan(zeros, 0, 1), -1);
  EXPECT_EQ(SES_Bitmap_Scan(zeros, 5, 0), 5);

  SE_BITMAP* ones = SES_Bitmap_Create(33, 1);
  ASSERT_NE(ones, nullptr);
  EXPECT_EQ(SES_Bitmap_Scan(ones, 0, 0), -1);   // bits past the count are 1 too, never reported
  ASSERT_EQ(SES_Bitmap_Set(ones, 32, 0), 0);
  EXPECT_EQ(SES_Bitmap_Scan(ones, 0, 0), 32);
  EXPECT_EQ(SES_Bitmap_Create(0, 0), nullptr);
  SES_Bitmap_Destroy(zeros);
  SES_Bitmap_Destroy(ones);
}

TEST(Bitset, SetTestAndRangeChecks) {
  SE_BITMAP* s = SES_Bitmap_Create(70, 0);
  ASSERT_NE(s, nullptr);
  const struct { int32_t bit; int32_t rc; } kCases[] = {{0, 0}, {31, 0}, {32, 0}, {69, 0}, {70, -1}, {-1, -1}};
  for (const auto& c : kCases) {
    EXPECT_EQ(SES_Bitmap_Set(s, c.bit, 1), c.rc) << c.bit;
    EXPECT_EQ(SES_Bitmap_Test(s, c.bit) != 0, c.rc == 0) << c.bit;
  }
  EXPECT_EQ(SES_Bitmap_Scan(s, 1, 1), 31);
  EXPECT_EQ(SES_Bitmap_Scan(s, 33, 1), 69);
  EXPECT_EQ(SES_Bitmap_Scan(s, 70, 1), -1);
  SES_Bitmap_Clear(s, 1);
  EXPECT_EQ(SES_Bitmap_Scan(s, 0, 0), -1);
  SES_Bitmap_Destroy(s);
}

TEST(Bitset, GrowFillsNewBitsShrinkKeepsOld) {
  SE_BITMAP* s = SES_Bitmap_Create(33, 0);
  ASSERT_NE(s, nullptr);
  SES_Bitmap_Set(s, 3, 1);
  ASSERT_EQ(SES_Bitmap_ReSize(s, 70, 1), 0);
  EXPECT_EQ(s->words, 3);
  for (int32_t b = 0; b < 70; b++) EXPECT_EQ(SES_Bitmap_Test(s, b) != 0, b == 3 || b >= 33) << b;
  ASSERT_EQ(SES_Bitmap_ReSize(s, 40, 0), 0);
  for (int32_t b = 0; b < 40; b++) EXPECT_EQ(SES_Bitmap_Test(s, b) != 0, b == 3 || b >= 33) << b;
  EXPECT_EQ(SES_Bitmap_ReSize(s, -1, 0), -66);
  SES_Bitmap_Destroy(s);
}

// Resizing to 0 bits used to free the set under the caller's pointer.
TEST(Bitset, ResizeToZeroLeavesAUsableEmptySet) {
  SE_BITMAP* s = SES_Bitmap_Create(10, 1);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(SES_Bitmap_ReSize(s, 0, 0), 0);
  EXPECT_EQ(SES_Bitmap_MaxBits(s), 0);
  EXPECT_EQ(SES_Bitmap_Set(s, 0, 1), -1);
  EXPECT_EQ(SES_Bitmap_Scan(s, 0, 1), -1);
  ASSERT_EQ(SES_Bitmap_ReSize(s, 5, 1), 0);
  EXPECT_EQ(SES_Bitmap_Scan(s, 0, 1), 0);
  SES_Bitmap_Destroy(s);
}

TEST(RasterMask, SerializeRoundTripAndRefusals) {
  SE_RASTER_BITMAP* m = SES_raster_bitmap_create(3, 3, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(SES_raster_bitmap_is_empty(m), 1);
  m->data[0] = 0x80;   // pixel 0
  EXPECT_EQ(SES_raster_bitmap_is_empty(m), 0);
  uint8_t* data = nullptr;
  int32_t len = 0;
  ASSERT_EQ(SES_raster_bitmap_serialize(m, &data, &len), 0);
  ASSERT_EQ(len, 22);
  EXPECT_EQ(SES_raster_bitmap_get_serialized_length(3, 3), 22);
  const uint8_t header[20] = {9, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(data, header, 20), 0);
  EXPECT_EQ(data[20], 0x80);

  SE_RASTER_BITMAP* back = SES_raster_bitmap_deserialize(data, len, 3, 3);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->bits, 9);
  EXPECT_EQ(back->data[0], 0x80);
  SES_raster_bitmap_free(back);

  EXPECT_EQ(SES_raster_bitmap_deserialize(data, len, 3, 4), nullptr);
  EXPECT_EQ(SES_raster_bitmap_deserialize(data, len - 1, 3, 3), nullptr);
  data[0] = 200;   // a bit count the bytes cannot hold
  EXPECT_EQ(SES_raster_bitmap_deserialize(data, len, 3, 3), nullptr);
  EXPECT_EQ(SES_raster_bitmap_serialize(m, nullptr, &len), -65);
  free(data);
  SES_raster_bitmap_free(m);
}

TEST(RasterMask, EmptinessLooksOnlyBelowTheBitCount) {
  SE_RASTER_BITMAP* m = SES_raster_bitmap_create(3, 3, 0);
  ASSERT_NE(m, nullptr);
  m->data[1] = 0x7F;   // bits 9..15 lie past the 9-bit count
  EXPECT_EQ(SES_raster_bitmap_is_empty(m), 1);
  m->data[1] = 0x80;   // bit 8
  EXPECT_EQ(SES_raster_bitmap_is_empty(m), 0);
  SES_raster_bitmap_reset(m, 1);
  EXPECT_EQ(m->data[0], 0xFF);
  EXPECT_EQ(SES_raster_bitmap_get_serialized_length(0, 3), 0);
  SES_raster_bitmap_free(m);
}
