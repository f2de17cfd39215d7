// raster_bitmap.h -- raster mask bitmaps: which pixels of a band are valid.
//
// One bit per pixel, most significant bit first (bit i lives in byte i / 8
// under 0x80 >> (i % 8)). The catalogue stores a mask as a band's auxiliary
// object in the serialized form: a 20-byte little-endian header (bit count,
// byte count, width, height, 4 reserved bytes written as zero) followed by
// the mask bytes. A deserialized mask is checked whole before it is believed:
// its byte count must match its bit count and the length it came in.
#ifndef ZUL_COMM_RASTER_BITMAP_H
#define ZUL_COMM_RASTER_BITMAP_H

#include <stdint.h>

struct SE_RASTER_BITMAP {
  int32_t  bits;     // one bit per pixel
  int32_t  bytes;    // (bits + 7) / 8
  int32_t  width;    // pixels per row
  int32_t  height;   // rows
  uint8_t* data;     // the mask bytes, owned
};

#define SE_RASTER_BITMAP_HEADER 20

// A mask of width x height pixels, all valid (initial non-zero) or none;
// null when either side is below 1, the pixel count overflows 32 bits or
// memory runs out. Freed with SES_raster_bitmap_free.
SE_RASTER_BITMAP* SES_raster_bitmap_create(int32_t width, int32_t height, int32_t initial);

// Frees the bytes and the record; null is ignored.
void SES_raster_bitmap_free(SE_RASTER_BITMAP* mask);

// Every byte 0, or 0xFF for a non-zero value. 0 (-65 for a null mask).
int32_t SES_raster_bitmap_reset(SE_RASTER_BITMAP* mask, int32_t value);

// 1 when no bit below the bit count is set, else 0.
int32_t SES_raster_bitmap_is_empty(const SE_RASTER_BITMAP* mask);

// The serialized form in a new block (byte count + 20 bytes) that the caller
// frees with free(). 0; -65 for a null mask or output; -999 when memory fails.
int32_t SES_raster_bitmap_serialize(const SE_RASTER_BITMAP* mask, uint8_t** data, int32_t* len);

// A new mask from a serialized form, or null when the stored width or height
// differ from the ones given, when the header does not agree with itself or
// with len, or when memory fails.
SE_RASTER_BITMAP* SES_raster_bitmap_deserialize(const uint8_t* data, int32_t len,
                                                int32_t width, int32_t height);

// The serialized length of a width x height mask, 0 when either is below 1.
int32_t SES_raster_bitmap_get_serialized_length(int32_t width, int32_t height);

#endif
