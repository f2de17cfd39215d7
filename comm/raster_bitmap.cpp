// raster_bitmap.cpp -- raster mask bitmaps and their serialized form (see
// raster_bitmap.h).
//
// The serialized header is written and read byte by byte in little-endian
// order; the reserved word is written as zero and never read.
#include "raster_bitmap.h"

#include <stdlib.h>
#include <string.h>

#include "zul_status.h"

namespace {

void put_le32(uint8_t* p, int32_t v) {
  uint32_t u = (uint32_t)v;
  p[0] = (uint8_t)u;
  p[1] = (uint8_t)(u >> 8);
  p[2] = (uint8_t)(u >> 16);
  p[3] = (uint8_t)(u >> 24);
}

int32_t get_le32(const uint8_t* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                   (uint32_t)p[3] << 24);
}

// The pixel count of a mask, or -1 when it does not fit a 32-bit count.
int64_t pixel_count(int32_t width, int32_t height) {
  if (width < 1 || height < 1) return -1;
  int64_t n = (int64_t)width * height;
  return n > INT32_MAX ? -1 : n;
}

}  // namespace

SE_RASTER_BITMAP* SES_raster_bitmap_create(int32_t width, int32_t height, int32_t initial) {
  int64_t bits = pixel_count(width, height);
  if (bits < 0) return nullptr;
  SE_RASTER_BITMAP* mask = (SE_RASTER_BITMAP*)calloc(1, sizeof(SE_RASTER_BITMAP));
  if (!mask) return nullptr;
  mask->bits = (int32_t)bits;
  mask->bytes = (int32_t)((bits + 7) / 8);
  mask->width = width;
  mask->height = height;
  mask->data = (uint8_t*)malloc((size_t)mask->bytes);
  if (!mask->data) {
    free(mask);
    return nullptr;
  }
  SES_raster_bitmap_reset(mask, initial);
  return mask;
}

void SES_raster_bitmap_free(SE_RASTER_BITMAP* mask) {
  if (!mask) return;
  free(mask->data);
  free(mask);
}

int32_t SES_raster_bitmap_reset(SE_RASTER_BITMAP* mask, int32_t value) {
  if (!mask) return SE_INVALID_POINTER;
  if (mask->bytes > 0) memset(mask->data, value ? 0xFF : 0x00, (size_t)mask->bytes);
  return 0;
}

int32_t SES_raster_bitmap_is_empty(const SE_RASTER_BITMAP* mask) {
  if (!mask || mask->bits <= 0 || mask->bytes <= 0) return 1;
  int32_t full = mask->bits / 8;     // bytes wholly inside the bit count
  for (int32_t i = 0; i < full; i++)
    if (mask->data[i]) return 0;
  int32_t rest = mask->bits % 8;     // bits of the last, partial byte
  if (rest) {
    uint8_t used = (uint8_t)(0xFF << (8 - rest));
    if (mask->data[full] & used) return 0;
  }
  return 1;
}

int32_t SES_raster_bitmap_serialize(const SE_RASTER_BITMAP* mask, uint8_t** data, int32_t* len) {
  if (!data || !len || !mask) return SE_INVALID_POINTER;
  *data = nullptr;
  *len = 0;
  if (mask->bytes < 0 || mask->bytes > INT32_MAX - SE_RASTER_BITMAP_HEADER) return SE_INVALID_PARAM;
  int32_t total = mask->bytes + SE_RASTER_BITMAP_HEADER;
  uint8_t* out = (uint8_t*)malloc((size_t)total);
  if (!out) return SE_OUT_OF_MEMORY;
  put_le32(out + 0, mask->bits);
  put_le32(out + 4, mask->bytes);
  put_le32(out + 8, mask->width);
  put_le32(out + 12, mask->height);
  put_le32(out + 16, 0);
  if (mask->bytes > 0) memcpy(out + SE_RASTER_BITMAP_HEADER, mask->data, (size_t)mask->bytes);
  *data = out;
  *len = total;
  return 0;
}

SE_RASTER_BITMAP* SES_raster_bitmap_deserialize(const uint8_t* data, int32_t len,
                                                int32_t width, int32_t height) {
  if (!data || len < SE_RASTER_BITMAP_HEADER) return nullptr;
  int32_t bits = get_le32(data + 0);
  int32_t bytes = get_le32(data + 4);
  if (get_le32(data + 8) != width || get_le32(data + 12) != height) return nullptr;
  // A header that disagrees with itself would let later bit tests run past
  // the bytes, so it is refused here.
  if (bits < 0 || bytes != (int32_t)(((int64_t)bits + 7) / 8)) return nullptr;
  if ((int64_t)len != (int64_t)bytes + SE_RASTER_BITMAP_HEADER) return nullptr;
  SE_RASTER_BITMAP* mask = (SE_RASTER_BITMAP*)calloc(1, sizeof(SE_RASTER_BITMAP));
  if (!mask) return nullptr;
  mask->bits = bits;
  mask->bytes = bytes;
  mask->width = width;
  mask->height = height;
  mask->data = (uint8_t*)malloc(bytes > 0 ? (size_t)bytes : 1);
  if (!mask->data) {
    free(mask);
    return nullptr;
  }
  if (bytes > 0) memcpy(mask->data, data + SE_RASTER_BITMAP_HEADER, (size_t)bytes);
  return mask;
}

int32_t SES_raster_bitmap_get_serialized_length(int32_t width, int32_t height) {
  int64_t bits = pixel_count(width, height);
  if (bits < 0) return 0;
  return (int32_t)((bits + 7) / 8 + SE_RASTER_BITMAP_HEADER);
}
