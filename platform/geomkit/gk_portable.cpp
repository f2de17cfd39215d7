// gk_portable.cpp -- the portable number form of packed shape values: 32-bit
// integers and IEEE doubles at an unaligned position, in a byte order chosen
// by the mode (0 little-endian, 1 big-endian; the characters '0' and '1' are
// taken as the same modes, because a packed value stores its mode as a
// character that readers hand straight back).
#include <stdint.h>
#include <string.h>

#include "gk_internal.h"

namespace {

// 0 little-endian, 1 big-endian, -1 unknown.
int order_of(int32_t mode) {
  if (mode == 0 || mode == '0') return 0;
  if (mode == 1 || mode == '1') return 1;
  return -1;
}

void put_bytes(unsigned char* dst, uint64_t v, int width, int big) {
  for (int i = 0; i < width; i++) {
    int shift = big ? (width - 1 - i) * 8 : i * 8;
    dst[i] = static_cast<unsigned char>(v >> shift);
  }
}

uint64_t get_bytes(const unsigned char* src, int width, int big) {
  uint64_t v = 0;
  for (int i = 0; i < width; i++) {
    int shift = big ? (width - 1 - i) * 8 : i * 8;
    v |= static_cast<uint64_t>(src[i]) << shift;
  }
  return v;
}

int32_t check(const void* pos, int32_t mode, int32_t count, const void* values, int* big) {
  if (!pos || (!values && count > 0)) return SG_INVALID_POINTER;
  if (count < 0) return SG_INVALID_PARAM;
  *big = order_of(mode);
  return *big < 0 ? SG_INVALID_BYTE_ORDER : SG_SUCCESS;
}

}  // namespace

extern "C" {

int32_t SgPutInteger(void* pos, int32_t mode, int32_t count, const int32_t* values) {
  int big;
  int32_t rc = check(pos, mode, count, values, &big);
  if (rc) return rc;
  unsigned char* p = static_cast<unsigned char*>(pos);
  for (int32_t i = 0; i < count; i++)
    put_bytes(p + 4 * static_cast<size_t>(i), static_cast<uint32_t>(values[i]), 4, big);
  return SG_SUCCESS;
}

int32_t SgPutDouble(void* pos, int32_t mode, int32_t count, const double* values) {
  int big;
  int32_t rc = check(pos, mode, count, values, &big);
  if (rc) return rc;
  unsigned char* p = static_cast<unsigned char*>(pos);
  for (int32_t i = 0; i < count; i++) {
    uint64_t bits;
    memcpy(&bits, &values[i], sizeof bits);
    put_bytes(p + 8 * static_cast<size_t>(i), bits, 8, big);
  }
  return SG_SUCCESS;
}

int32_t SgGetInteger(const void* pos, int32_t mode, int32_t count, int32_t* values) {
  int big;
  int32_t rc = check(pos, mode, count, values, &big);
  if (rc) return rc;
  const unsigned char* p = static_cast<const unsigned char*>(pos);
  for (int32_t i = 0; i < count; i++)
    values[i] = static_cast<int32_t>(static_cast<uint32_t>(get_bytes(p + 4 * static_cast<size_t>(i), 4, big)));
  return SG_SUCCESS;
}

int32_t SgGetDouble(const void* pos, int32_t mode, int32_t count, double* values) {
  int big;
  int32_t rc = check(pos, mode, count, values, &big);
  if (rc) return rc;
  const unsigned char* p = static_cast<const unsigned char*>(pos);
  for (int32_t i = 0; i < count; i++) {
    uint64_t bits = get_bytes(p + 8 * static_cast<size_t>(i), 8, big);
    memcpy(&values[i], &bits, sizeof bits);
  }
  return SG_SUCCESS;
}

}  // extern "C"
