// comp_ftr.h -- the compressed feature: how shapes travel between client and
// server and how they are stored in BLOB columns.
//
// varLONG: a signed 32-bit integer in 1 to 5 bytes. Byte 0 holds a
// continuation bit (0x80), the sign (0x40) and the lowest 6 bits of the
// absolute value; each further byte a continuation bit and the next 7 bits.
//
// Compressed buffer: bytes 0-4 the varLONG of the length minus 8, byte 5 the
// content flags (1 Z values, 2 measures, 4 annotation, 8 CAD data), byte 6
// the annotation shape flags (1 leader, 2 leader Z, 4 leader measures,
// 8 placement, 16 placement Z, 32 placement measures); header bytes the
// varLONGs leave unused are zero. From byte 8: the points as delta-coded
// varLONG pairs (the first against 0, 0), then the Z values and measures as
// deltas, the annotation section and the CAD section.
//
// Numbered notes:
//  1. Compression reads the feature's arrays and never changes them:
//     compressing twice gives the same bytes.
//  2. A coordinate difference that does not fit 32 bits cannot travel; the
//     compression refuses it (SE_COMP_FEATURE_OVERFLOW) rather than wrap it.
//  3. Decompression believes nothing in the buffer: the length against the
//     buffer's capacity, every varLONG against the end, every count against
//     the bytes left and the geometry library's point limit, every running
//     sum against 32 bits. A buffer that breaks any of them is refused
//     (SE_COMP_FEATURE_CORRUPT) before anything is written past a limit.
#ifndef ZUL_COMM_COMP_FTR_H
#define ZUL_COMM_COMP_FTR_H

#include <stdint.h>

#include "anno.h"
#include "geomkit.h"

// Feature flags (the layer's kind of features).
#define SE_FEATURE_HAS_Z     0x10000
#define SE_FEATURE_HAS_M     0x80000
#define SE_FEATURE_HAS_ANNO  0x200000
#define SE_FEATURE_HAS_CAD   0x400000

// Content flags of the compressed buffer.
#define SE_COMP_Z     1
#define SE_COMP_M     2
#define SE_COMP_ANNO  4
#define SE_COMP_CAD   8

#define SE_COMP_HEADER 8

#define SE_COMP_FEATURE_CORRUPT  (-66)   // the buffer does not hold a well-formed feature
#define SE_COMP_FEATURE_OVERFLOW (-66)   // a coordinate difference does not fit 32 bits

// CAD data hung on a feature.
struct CAD_DATA {
  int32_t  unused;     // not used here
  int32_t  length;     // bytes in use
  int32_t  capacity;   // bytes allocated
  uint8_t* data;       // the bytes, owned
};

// Writes value at out (at most 5 bytes) and returns the position after it.
unsigned char* SES_encode_varLONG(int32_t value, unsigned char* out);
// Reads one value and returns the position after it. The reader trusts in:
// use SES_decode_varLONG_bounded on data from outside.
unsigned char* SES_decode_varLONG(unsigned char* in, int32_t* value);
// As above, never reading at or past end; null for a value that runs past
// end, is longer than 5 bytes or does not fit 32 bits.
const unsigned char* SES_decode_varLONG_bounded(const unsigned char* in, const unsigned char* end,
                                                int32_t* value);
// The encoded size of count values.
int32_t SES_size_varLONG_array(const int32_t* values, int32_t count);

int32_t SES_comp_feature_alloc(FEATURE_STRUCT* f, int32_t npts, int32_t flags, int32_t alloc_shape);
int32_t SES_comp_feature_alloc_by_size(FEATURE_STRUCT* f, int32_t flags, int32_t size);
void    SES_comp_feature_free(FEATURE_STRUCT* f);
// 0, -999, or SE_COMP_FEATURE_OVERFLOW (note 2).
int32_t SES_feature_compress(FEATURE_STRUCT* f, int32_t flags);
// numofpts must hold the feature's point count. 0, -999, a mapped geometry
// error, or SE_COMP_FEATURE_CORRUPT (note 3). With skip_extras set, the
// annotation and CAD sections are not read.
int32_t SES_feature_uncompress(int32_t skip_extras, FEATURE_STRUCT* f);
// The decoded length field plus 8; 0 without a buffer or for a length that
// does not fit the buffer.
int32_t SES_get_compressed_buffer_size(const FEATURE_STRUCT* f);
int32_t SES_get_compressed_anno_cad(const FEATURE_STRUCT* f, int32_t* start, int32_t* len);
int32_t SES_comp_feature_has_anno(const FEATURE_STRUCT* f);
int32_t SES_comp_feature_has_cad(const FEATURE_STRUCT* f);
int32_t SES_comp_feature_has_3D(const FEATURE_STRUCT* f);
int32_t SES_comp_feature_has_measure(const FEATURE_STRUCT* f);
void    SES_calc_notransmit_fields(FEATURE_STRUCT* f);

#endif
