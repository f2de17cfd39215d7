// db_shape_value.cpp -- the packed shape value: the byte string by which a
// shape reaches the database.
//
//   bytes 0-7   number of points, then entity type, as varLONGs (rest zero)
//   8 ..        the compressed feature, whole, with its own 8-byte header
//   trailer     Z mark, M mark ('1' or '0', from the layer's entity flags),
//               the number-format mark '1', the srid, the extent (four
//               doubles), zmin zmax (Z layers), mmin mmax (M layers, NaN
//               written as -1.0), the area (areas), the length (areas and
//               lines); numbers in the geometry library's format mode 1.
//
// Relies on the compressed feature (comp_ftr.h) and geomkit's shape
// measures and portable numbers.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "comp_ftr.h"
#include "svr_services.h"
#include "zul_db_query.h"

namespace {

constexpr int32_t kTrailerCap = 95 - 8;   // marks, srid and at most ten doubles
constexpr int32_t kFormat = 1;

int32_t put_doubles(unsigned char** pos, int32_t count, const double* v) {
  int32_t st = SgPutDouble(*pos, kFormat, count, v);
  if (st != 0) return SES_map_shape_error_to_zul(st);
  *pos += 8 * count;
  return 0;
}

}  // namespace

int32_t S_put_shape_properties(DB_STREAM* s, FEATURE_STRUCT* shape, unsigned char** pos) {
  const LAYER* layer = s->layer;
  int32_t flags = layer != nullptr ? layer->entity_flags : 0;
  COORDREF* cr = layer != nullptr ? layer->coordref : nullptr;
  FEATURE_STRUCT copy = *shape;
  int32_t st = SgsShapeSetActive(&copy);
  if (st != 0) return SES_map_shape_error_to_zul(st);
  if (cr != nullptr) copy.coordref = cr;

  unsigned char* p = *pos;
  *p++ = (flags & SE_FEATURE_HAS_Z) ? '1' : '0';
  *p++ = (flags & SE_FEATURE_HAS_M) ? '1' : '0';
  *p++ = '1';
  int32_t srid = cr != nullptr ? cr->srid : 0;
  st = SgPutInteger(p, kFormat, 1, &srid);
  if (st != 0) return SES_map_shape_error_to_zul(st);
  p += 4;
  SE_ENVELOPE e;
  st = SgShapeGetExtent(&copy, 0, &e);
  if (st != 0) return SES_map_shape_error_to_zul(st);
  double ext[4] = {e.minx, e.miny, e.maxx, e.maxy};
  if ((st = put_doubles(&p, 4, ext)) != 0) return st;
  if (flags & SE_FEATURE_HAS_Z) {
    double z[2];
    st = SgShapeGetZRange(&copy, 0, &z[0], &z[1]);
    if (st != 0) return SES_map_shape_error_to_zul(st);
    if ((st = put_doubles(&p, 2, z)) != 0) return st;
  }
  if (flags & SE_FEATURE_HAS_M) {
    double m[2];
    st = SgShapeGetMRange(&copy, 0, &m[0], &m[1]);
    if (st != 0) return SES_map_shape_error_to_zul(st);
    for (double& v : m)
      if (isnan(v)) v = -1.0;
    if ((st = put_doubles(&p, 2, m)) != 0) return st;
  }
  int32_t kind = shape->entity & 0xFF;
  if (kind & SG_AREA_SHAPE) {
    double a = 0;
    st = SgShapeGetArea(&copy, 0, &a);
    if (st != 0) return SES_map_shape_error_to_zul(st);
    if ((st = put_doubles(&p, 1, &a)) != 0) return st;
  }
  if (kind & (SG_AREA_SHAPE | SG_LINE_SHAPE | SG_SIMPLE_LINE_SHAPE)) {
    double l = 0;
    st = SgShapeGetLength(&copy, 0, &l);
    if (st != 0) return SES_map_shape_error_to_zul(st);
    if ((st = put_doubles(&p, 1, &l)) != 0) return st;
  }
  *pos = p;
  return 0;
}

int32_t db_pack_shape_value(DB_STREAM* s, FEATURE_STRUCT* shape, unsigned char** out,
                            int32_t* len) {
  *out = nullptr;
  *len = 0;
  int32_t n = SES_get_compressed_buffer_size(shape);
  if (n <= 0 || shape->buffer == nullptr) return SE_INVALID_PARAM;
  unsigned char* buf = static_cast<unsigned char*>(calloc((size_t)n + 8 + kTrailerCap, 1));
  if (buf == nullptr) return SE_OUT_OF_DBMS_MEM;
  unsigned char* p = SES_encode_varLONG(shape->numofpts, buf);
  SES_encode_varLONG(shape->entity, p);
  memcpy(buf + 8, shape->buffer, (size_t)n);
  unsigned char* pos = buf + 8 + n;
  int32_t st = S_put_shape_properties(s, shape, &pos);
  if (st != 0) {
    free(buf);
    return st;
  }
  *out = buf;
  *len = (int32_t)(pos - buf);
  return 0;
}
