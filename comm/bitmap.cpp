// bitmap.cpp -- growable bit sets (see bitmap.h).
//
// Relies on the C allocator only. Word arithmetic is unsigned so that the top
// bit of a word never meets signed shifts.
#include "bitmap.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zul_status.h"

namespace {

int32_t words_for(int32_t bits) { return (int32_t)(((int64_t)bits + 31) / 32); }

uint32_t fill_word(int32_t value) { return value ? 0xFFFFFFFFu : 0u; }

}  // namespace

SE_BITMAP* SES_Bitmap_Create(int32_t bits, int32_t initial) {
  if (bits < 1) return nullptr;
  SE_BITMAP* set = (SE_BITMAP*)calloc(1, sizeof(SE_BITMAP));
  if (!set) return nullptr;
  set->bits = bits;
  set->words = words_for(bits);
  set->data = (uint32_t*)malloc((size_t)set->words * sizeof(uint32_t));
  if (!set->data) {
    free(set);
    return nullptr;
  }
  SES_Bitmap_Clear(set, initial);
  return set;
}

void SES_Bitmap_Clear(SE_BITMAP* set, int32_t value) {
  if (!set) return;
  for (int32_t i = 0; i < set->words; i++) set->data[i] = fill_word(value);
}

uint32_t SES_Bitmap_Test(const SE_BITMAP* set, int32_t bit) {
  if (!set || bit < 0 || bit >= set->bits) {
    fprintf(stderr, "Bitmap range exceeded: testing bit %d out of %d\n", bit,
            set ? set->bits : 0);
    return 0;
  }
  return set->data[bit / 32] & (1u << (bit % 32));
}

int32_t SES_Bitmap_Set(SE_BITMAP* set, int32_t bit, int32_t value) {
  if (!set || bit < 0 || bit >= set->bits) return -1;
  uint32_t mask = 1u << (bit % 32);
  if (value)
    set->data[bit / 32] |= mask;
  else
    set->data[bit / 32] &= ~mask;
  return 0;
}

int32_t SES_Bitmap_MaxBits(const SE_BITMAP* set) { return set ? set->bits : 0; }

int32_t SES_Bitmap_Scan(const SE_BITMAP* set, int32_t start, int32_t value) {
  if (!set || start < 0 || start >= set->bits) return -1;
  // A word none of whose bits can match is skipped whole.
  const uint32_t hopeless = value ? 0u : 0xFFFFFFFFu;
  int32_t bit = start;
  while (bit < set->bits) {
    uint32_t word = set->data[bit / 32];
    if (bit % 32 == 0 && word == hopeless) {
      bit += 32;
      continue;
    }
    bool on = (word >> (bit % 32)) & 1u;
    if (on == (value != 0)) return bit;
    bit++;
  }
  return -1;
}

int32_t SES_Bitmap_ReSize(SE_BITMAP* set, int32_t bits, int32_t value) {
  if (!set) return SE_INVALID_POINTER;
  if (bits < 0) return SE_INVALID_PARAM;
  if (bits == set->bits) return 0;
  if (bits == 0) {
    // The caller still holds the record; empty it instead of freeing it.
    free(set->data);
    set->data = nullptr;
    set->bits = 0;
    set->words = 0;
    return 0;
  }
  int32_t old_bits = set->bits;
  int32_t old_words = set->words;
  int32_t new_words = words_for(bits);
  if (new_words != old_words) {
    uint32_t* grown = (uint32_t*)realloc(set->data, (size_t)new_words * sizeof(uint32_t));
    if (!grown) return SE_BITMAP_RESIZE_FAILED;
    set->data = grown;
    set->words = new_words;
  }
  set->bits = bits;
  if (bits > old_bits) {
    if (old_words > 0 && old_bits % 32 != 0) {
      uint32_t tail = 0xFFFFFFFFu << (old_bits % 32);   // bits from the old count on
      if (value)
        set->data[old_words - 1] |= tail;
      else
        set->data[old_words - 1] &= ~tail;
    }
    for (int32_t i = old_words; i < new_words; i++) set->data[i] = fill_word(value);
  }
  return 0;
}

void SES_Bitmap_Destroy(SE_BITMAP* set) {
  if (!set) return;
  free(set->data);
  free(set);
}
