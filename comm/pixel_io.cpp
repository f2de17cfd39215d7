// pixel_io.cpp -- read or write pixel i of a pixel array as a 64-bit float.
//
// Pixel arrays are native byte order, packed by type (zul_pixels.h). Reads
// and writes go through memcpy, so an array need not be aligned. Writers of
// integer types round half away from zero and clamp to the type's range;
// the comparisons are made in floating point before any conversion, so no
// value (a NaN or an infinity included) reaches an out-of-range cast.
#include <float.h>
#include <math.h>
#include <string.h>

#include "zul_pixels.h"

namespace {

template <typename T>
T load(const void* data, int32_t index) {
  T v;
  memcpy(&v, static_cast<const uint8_t*>(data) + static_cast<size_t>(index) * sizeof(T), sizeof(T));
  return v;
}

template <typename T>
void store(void* data, int32_t index, T v) {
  memcpy(static_cast<uint8_t*>(data) + static_cast<size_t>(index) * sizeof(T), &v, sizeof(T));
}

// v rounded half away from zero and clamped to [lo, hi]; a NaN gives 0.
double round_clamp(double v, double lo, double hi) {
  if (v >= 0) {
    double r = v + 0.5;
    return r < hi ? trunc(r) : hi;
  }
  if (lo >= 0) return 0;
  if (isnan(v)) return 0;
  double r = v - 0.5;
  return r > lo ? trunc(r) : lo;
}

template <typename T>
void write_int(void* data, int32_t index, double value, double lo, double hi) {
  store<T>(data, index, static_cast<T>(round_clamp(value, lo, hi)));
}

}  // namespace

void SES_pixel_read_1bit(const void* data, int32_t index, double* value) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  *value = (p[index / 8] & (0x80 >> (index % 8))) ? 1.0 : 0.0;
}

void SES_pixel_read_4bit(const void* data, int32_t index, double* value) {
  uint8_t b = static_cast<const uint8_t*>(data)[index / 2];
  *value = (index % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

void SES_pixel_read_char(const void* data, int32_t index, double* value) { *value = load<int8_t>(data, index); }
void SES_pixel_read_uchar(const void* data, int32_t index, double* value) { *value = load<uint8_t>(data, index); }
void SES_pixel_read_short(const void* data, int32_t index, double* value) { *value = load<int16_t>(data, index); }
void SES_pixel_read_ushort(const void* data, int32_t index, double* value) { *value = load<uint16_t>(data, index); }
void SES_pixel_read_long(const void* data, int32_t index, double* value) { *value = load<int32_t>(data, index); }
void SES_pixel_read_ulong(const void* data, int32_t index, double* value) { *value = load<uint32_t>(data, index); }
void SES_pixel_read_float(const void* data, int32_t index, double* value) { *value = load<float>(data, index); }
void SES_pixel_read_double(const void* data, int32_t index, double* value) { *value = load<double>(data, index); }

void SES_pixel_write_1bit(void* data, int32_t index, double value) {
  uint8_t* p = static_cast<uint8_t*>(data) + index / 8;
  uint8_t mask = static_cast<uint8_t>(0x80 >> (index % 8));
  bool set = !(value < 0) && round_clamp(value, 0, 1) != 0;
  if (set)
    *p = static_cast<uint8_t>(*p | mask);
  else
    *p = static_cast<uint8_t>(*p & ~mask);
}

void SES_pixel_write_4bit(void* data, int32_t index, double value) {
  uint8_t* p = static_cast<uint8_t*>(data) + index / 2;
  uint8_t v = static_cast<uint8_t>(round_clamp(value, 0, 15));
  if (index % 2 == 0)
    *p = static_cast<uint8_t>((*p & 0x0F) | (v << 4));
  else
    *p = static_cast<uint8_t>((*p & 0xF0) | v);
}

void SES_pixel_write_char(void* data, int32_t index, double value) { write_int<int8_t>(data, index, value, -128, 127); }
void SES_pixel_write_uchar(void* data, int32_t index, double value) { write_int<uint8_t>(data, index, value, 0, 255); }
void SES_pixel_write_short(void* data, int32_t index, double value) {
  write_int<int16_t>(data, index, value, -32768, 32767);
}
void SES_pixel_write_ushort(void* data, int32_t index, double value) {
  write_int<uint16_t>(data, index, value, 0, 65535);
}
void SES_pixel_write_long(void* data, int32_t index, double value) {
  write_int<int32_t>(data, index, value, -2147483648.0, 2147483647.0);
}
void SES_pixel_write_ulong(void* data, int32_t index, double value) {
  write_int<uint32_t>(data, index, value, 0, 4294967295.0);
}

void SES_pixel_write_float(void* data, int32_t index, double value) {
  float f;
  if (value > FLT_MAX)
    f = INFINITY;
  else if (value < -FLT_MAX)
    f = -INFINITY;
  else
    f = static_cast<float>(value);
  store<float>(data, index, f);
}

void SES_pixel_write_double(void* data, int32_t index, double value) { store<double>(data, index, value); }
