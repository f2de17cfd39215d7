// anno.h -- the annotation record a feature may carry: three integer and
// four floating properties, a text, and optional leader and placement shapes
// and alignment record.
//
// The record is tagged "AnO" and every operation but create and free checks
// the tag first (SE_INVALID_ANNO_OBJECT for a stale or foreign record); the
// free routine writes "aNo" before the memory goes back. Shapes hung on an
// annotation are made with the geometry library's SgShapeCreate and belong
// to the record. What the properties mean is the business of the callers;
// they are carried unchanged.
#ifndef ZUL_COMM_ANNO_H
#define ZUL_COMM_ANNO_H

#include <stdint.h>

#include "geomkit.h"

#define SE_ANNO_TAG            "AnO"
#define SE_ANNO_FREED_TAG      "aNo"
#define SE_ANNO_TEXT_LEN       256      // text, NUL included
#define SE_ANNO_RECORD_SIZE    320      // the record's size for SES_anno_size
#define SE_ANNO_ALIGNMENT_SIZE 104
#define SE_INVALID_ANNO_OBJECT (-71)    // tag is not "AnO"
#define SE_NULL_SHAPE_ARG      (-134)   // shape argument is null

// The alignment record (104 bytes, carried in the compressed form byte for
// byte in little-endian order).
struct ANNO_ALIGNMENT {
  int32_t value1;        // wire 4
  int32_t value2;        // wire 4
  int16_t table1[20];    // wire 40
  int16_t table2[20];    // wire 40
  double  value3;        // wire 8
  double  value4;        // wire 8
};
static_assert(sizeof(ANNO_ALIGNMENT) == SE_ANNO_ALIGNMENT_SIZE, "ANNO_ALIGNMENT size");

struct ANNOTATION {
  char            tag[4];                  // "AnO"; "aNo" once freed
  int32_t         props[3];                // integer properties (the third starts as 7)
  double          fprops[4];               // floating properties
  char            text[SE_ANNO_TEXT_LEN];  // the text, NUL-terminated
  FEATURE_STRUCT* leader;                  // leader shape, owned; or null
  FEATURE_STRUCT* placement;               // placement shape, owned; or null
  ANNO_ALIGNMENT* alignment;               // alignment record, owned; or null
};

// A new initialised record in *out. -65 for a null out, -999 on failure.
int32_t SES_anno_create(ANNOTATION** out);
// Zero-fills the record, sets the third integer property to 7 and the tag.
int32_t SES_initialize_anno(ANNOTATION* anno);
// 0 when anno is a live record, else SE_INVALID_ANNO_OBJECT.
int32_t SES_anno_info_ok(const ANNOTATION* anno);
// Frees the shapes, the alignment record and the record (tag "aNo" first);
// null is ignored.
void SES_anno_free(ANNOTATION* anno);
// Replace the leader (placement) with a copy of shape; a nil shape removes
// it. The new shape must be on the same coordinate reference as the other
// shape when that exists (-138 otherwise). Geometry errors are mapped.
int32_t SES_anno_set_leader(ANNOTATION* anno, const FEATURE_STRUCT* shape);
int32_t SES_anno_set_placement(ANNOTATION* anno, const FEATURE_STRUCT* shape);
// Copies properties, tag and text; the alignment record and the shapes are
// copied when the source has them and removed from the target when not.
int32_t SES_anno_copy(const ANNOTATION* source, ANNOTATION* target);
// The memory the record stands for (see anno.cpp), 0 for a bad tag.
int32_t SES_anno_size(const ANNOTATION* anno);
int32_t SES_anno_alignment_alloc(ANNO_ALIGNMENT** out);
void SES_anno_alignment_free(ANNO_ALIGNMENT** alignment);

#endif
