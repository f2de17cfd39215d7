// anno.cpp -- the annotation record (see anno.h).
//
// Relies on geomkit for the leader and placement shapes and on
// SES_map_shape_error_to_zul for its status codes.
#include "anno.h"

#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "zul_status.h"

namespace {

void free_shape(FEATURE_STRUCT** shape) {
  if (*shape) SgShapeFree(*shape);
  *shape = nullptr;
}

// Makes *dst (created when absent) a copy of src.
int32_t copy_shape(const FEATURE_STRUCT* src, FEATURE_STRUCT** dst) {
  if (!*dst) {
    int32_t rc = SgShapeCreate(nullptr, dst);
    if (rc) return rc;
  }
  return SgShapeDuplicate(src, *dst);
}

// SG_COORDREF_MISMATCH unless both shapes have equal references.
int32_t same_coordref(const FEATURE_STRUCT* a, const FEATURE_STRUCT* b) {
  COORDREF* ca = nullptr;
  COORDREF* cb = nullptr;
  int32_t rc = SgCoordRefCreate(&ca);
  if (!rc) rc = SgCoordRefCreate(&cb);
  if (!rc) rc = SgShapeGetCoordRef(a, ca);
  if (!rc) rc = SgShapeGetCoordRef(b, cb);
  if (!rc && !SgCoordRefIsEqual(ca, cb)) rc = SG_COORDREF_MISMATCH;
  SgCoordRefFree(ca);
  SgCoordRefFree(cb);
  return rc;
}

int32_t set_shape(ANNOTATION* anno, const FEATURE_STRUCT* shape, FEATURE_STRUCT** slot,
                  const FEATURE_STRUCT* other) {
  int32_t rc = SES_anno_info_ok(anno);
  if (rc) return rc;
  if (!shape) return SE_NULL_SHAPE_ARG;
  if (SgShapeIsNil(shape)) {
    free_shape(slot);
    return 0;
  }
  if (other) rc = same_coordref(shape, other);
  if (!rc) rc = copy_shape(shape, slot);
  return SES_map_shape_error_to_zul(rc);
}

int32_t shape_size(const FEATURE_STRUCT* s, int32_t extra) {
  int32_t per_point = s->z ? 12 : 8;
  if (s->m) per_point += 4;
  return per_point * s->allocpts + extra;
}

}  // namespace

int32_t SES_anno_create(ANNOTATION** out) {
  if (!out) return SE_INVALID_POINTER;
  ANNOTATION* anno = (ANNOTATION*)malloc(sizeof(ANNOTATION));
  if (!anno) return SE_OUT_OF_MEMORY;
  SES_initialize_anno(anno);
  *out = anno;
  return 0;
}

int32_t SES_initialize_anno(ANNOTATION* anno) {
  if (!anno) return SE_INVALID_POINTER;
  memset(anno, 0, sizeof *anno);
  anno->props[2] = 7;
  memcpy(anno->tag, SE_ANNO_TAG, 4);
  return 0;
}

int32_t SES_anno_info_ok(const ANNOTATION* anno) {
  return anno && memcmp(anno->tag, SE_ANNO_TAG, 4) == 0 ? 0 : SE_INVALID_ANNO_OBJECT;
}

void SES_anno_free(ANNOTATION* anno) {
  if (!anno) return;
  free_shape(&anno->placement);
  free_shape(&anno->leader);
  SES_anno_alignment_free(&anno->alignment);
  memcpy(anno->tag, SE_ANNO_FREED_TAG, 4);
  free(anno);
}

int32_t SES_anno_set_leader(ANNOTATION* anno, const FEATURE_STRUCT* shape) {
  return set_shape(anno, shape, anno ? &anno->leader : nullptr, anno ? anno->placement : nullptr);
}

int32_t SES_anno_set_placement(ANNOTATION* anno, const FEATURE_STRUCT* shape) {
  return set_shape(anno, shape, anno ? &anno->placement : nullptr, anno ? anno->leader : nullptr);
}

int32_t SES_anno_copy(const ANNOTATION* source, ANNOTATION* target) {
  if (!source || !target) return SE_INVALID_POINTER;
  memcpy(target->props, source->props, sizeof target->props);
  memcpy(target->fprops, source->fprops, sizeof target->fprops);
  memcpy(target->tag, SE_ANNO_TAG, 4);
  memcpy(target->text, source->text, sizeof target->text);
  target->text[SE_ANNO_TEXT_LEN - 1] = '\0';
  if (source->alignment) {
    if (!target->alignment && SES_anno_alignment_alloc(&target->alignment)) return SE_OUT_OF_MEMORY;
    *target->alignment = *source->alignment;
  } else {
    SES_anno_alignment_free(&target->alignment);
  }
  int32_t rc = 0;
  if (source->leader)
    rc = copy_shape(source->leader, &target->leader);
  else
    free_shape(&target->leader);
  if (!rc) {
    if (source->placement)
      rc = copy_shape(source->placement, &target->placement);
    else
      free_shape(&target->placement);
  }
  return SES_map_shape_error_to_zul(rc);
}

int32_t SES_anno_size(const ANNOTATION* anno) {
  if (SES_anno_info_ok(anno)) return 0;
  int32_t size = SE_ANNO_RECORD_SIZE;
  if (anno->leader) size += shape_size(anno->leader, 544);
  if (anno->placement) size += shape_size(anno->placement, 224);
  if (anno->alignment) size += SE_ANNO_ALIGNMENT_SIZE;
  return size;
}

int32_t SES_anno_alignment_alloc(ANNO_ALIGNMENT** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = (ANNO_ALIGNMENT*)calloc(1, sizeof(ANNO_ALIGNMENT));
  return *out ? 0 : SE_OUT_OF_MEMORY;
}

void SES_anno_alignment_free(ANNO_ALIGNMENT** alignment) {
  if (!alignment) return;
  free(*alignment);
  *alignment = nullptr;
}
