// bitmap.h -- growable bit sets: flags for rows, ids or columns.
//
// A set holds its bit count and an array of 32-bit words; bit i lives in word
// i / 32 under the mask 1 << (i % 32). Sets belong to one thread at a time.
// Resizing a set to 0 bits empties it but keeps the record: only
// SES_Bitmap_Destroy frees it, so a caller's pointer never dangles.
#ifndef ZUL_COMM_BITMAP_H
#define ZUL_COMM_BITMAP_H

#include <stdint.h>

struct SE_BITMAP {
  int32_t   bits;    // number of bits
  int32_t   words;   // (bits + 31) / 32
  uint32_t* data;    // the words, owned; null for an empty set
};

#define SE_BITMAP_RESIZE_FAILED (-13)   // the word array could not be reallocated

// A set of bits bits, all 0 (initial 0) or all 1 (whole words are filled, so
// the bits past the count are 1 too). Null when bits is below 1 or memory
// runs out. The caller frees it with SES_Bitmap_Destroy.
SE_BITMAP* SES_Bitmap_Create(int32_t bits, int32_t initial);

// Every word 0, or all ones for a non-zero value.
void SES_Bitmap_Clear(SE_BITMAP* set, int32_t value);

// Non-zero when the bit is set. A bit outside the set prints a range message
// to standard error and answers 0.
uint32_t SES_Bitmap_Test(const SE_BITMAP* set, int32_t bit);

// Sets (non-zero value) or clears a bit: 0, or -1 for a bit outside the set.
int32_t SES_Bitmap_Set(SE_BITMAP* set, int32_t bit, int32_t value);

// The bit count.
int32_t SES_Bitmap_MaxBits(const SE_BITMAP* set);

// The first bit at or after start whose state equals value (0 or 1), or -1
// when there is none or start lies outside the set.
int32_t SES_Bitmap_Scan(const SE_BITMAP* set, int32_t start, int32_t value);

// Changes the bit count. Bits gained (and the rest of the old last word) take
// value; bits kept are unchanged. 0 bits empties the set, which stays valid
// until SES_Bitmap_Destroy. 0; -66 for a negative count; -13 when the words
// cannot be reallocated (the set is then unchanged).
int32_t SES_Bitmap_ReSize(SE_BITMAP* set, int32_t bits, int32_t value);

// Frees the words and the record; null is ignored.
void SES_Bitmap_Destroy(SE_BITMAP* set);

#endif
