// native_io.cpp -- native record images over a byte mover (see native_io.h).
//
// Each record has a write and a read built on one fixed-size image buffer:
// the write fills the image field by field and puts it whole; the read gets
// it whole and takes the fields it may take. Offsets are the record's image
// offsets, written out as numbers next to the field they place.
//
// Divisions: byte movers; image field helpers; scalars and strings;
// geometry records; layer and query records; registry records; lock
// records; raster records.
#include "native_io.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "svr_services.h"
#include "zul_status.h"

// ---- byte movers -------------------------------------------------------------

namespace zul {

MemMover::MemMover(const void* bytes, size_t len)
    : in_(static_cast<const uint8_t*>(bytes)), in_len_(len) {
  if (!in_) in_ = reinterpret_cast<const uint8_t*>("");
}

int MemMover::put(const void* bytes, size_t len) {
  if (in_) return -1;
  try {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    out_.insert(out_.end(), p, p + len);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int MemMover::get(void* bytes, size_t len) {
  if (len > remaining()) {
    pos_ = size();   // a short read breaks the item; nothing more is read
    return -1;
  }
  if (len) memcpy(bytes, data() + pos_, len);
  pos_ += len;
  return 0;
}

}  // namespace zul

// ---- image field helpers -----------------------------------------------------

void nio_put_u32(uint8_t* img, size_t off, uint32_t v) {
  img[off] = (uint8_t)v;
  img[off + 1] = (uint8_t)(v >> 8);
  img[off + 2] = (uint8_t)(v >> 16);
  img[off + 3] = (uint8_t)(v >> 24);
}
void nio_put_i32(uint8_t* img, size_t off, int32_t v) { nio_put_u32(img, off, (uint32_t)v); }
void nio_put_i16(uint8_t* img, size_t off, int16_t v) {
  img[off] = (uint8_t)(uint16_t)v;
  img[off + 1] = (uint8_t)((uint16_t)v >> 8);
}
void nio_put_f64(uint8_t* img, size_t off, double v) {
  uint64_t u;
  memcpy(&u, &v, 8);
  nio_put_u32(img, off, (uint32_t)u);
  nio_put_u32(img, off + 4, (uint32_t)(u >> 32));
}
void nio_put_chars(uint8_t* img, size_t off, const char* text, size_t width) {
  memset(img + off, 0, width);
  if (text && width) memcpy(img + off, text, strnlen(text, width - 1));
}
void nio_put_ptr(uint8_t* img, size_t off, const void* p) { nio_put_u32(img, off, p ? 1u : 0u); }

uint32_t nio_get_u32(const uint8_t* img, size_t off) {
  return (uint32_t)img[off] | (uint32_t)img[off + 1] << 8 | (uint32_t)img[off + 2] << 16 |
         (uint32_t)img[off + 3] << 24;
}
int32_t nio_get_i32(const uint8_t* img, size_t off) { return (int32_t)nio_get_u32(img, off); }
int16_t nio_get_i16(const uint8_t* img, size_t off) {
  return (int16_t)(uint16_t)((uint16_t)img[off] | (uint16_t)img[off + 1] << 8);
}
double nio_get_f64(const uint8_t* img, size_t off) {
  uint64_t u = (uint64_t)nio_get_u32(img, off) | (uint64_t)nio_get_u32(img, off + 4) << 32;
  double v;
  memcpy(&v, &u, 8);
  return v;
}
void nio_get_chars(const uint8_t* img, size_t off, char* dst, size_t width) {
  if (!width) return;
  memcpy(dst, img + off, width);
  dst[width - 1] = '\0';
}

namespace {

// Every image is read and written whole through these two.
int put_image(zul::ByteMover* m, const uint8_t* img, size_t len) {
  return m && m->put(img, len) == 0 ? 0 : -1;
}
int get_image(zul::ByteMover* m, uint8_t* img, size_t len) {
  return m && m->get(img, len) == 0 ? 0 : -1;
}

}  // namespace

// ---- scalars and strings -------------------------------------------------------

namespace {

// A scalar is an image of its own width, written and read whole.
template <typename T, size_t N, void (*Put)(uint8_t*, size_t, T)>
int write_scalar(zul::ByteMover* m, T v) {
  uint8_t b[N];
  Put(b, 0, v);
  return put_image(m, b, N);
}
template <typename T, size_t N, T (*Get)(const uint8_t*, size_t)>
int read_scalar(zul::ByteMover* m, T* v) {
  uint8_t b[N];
  if (!v || get_image(m, b, N)) return -1;
  *v = Get(b, 0);
  return 0;
}

}  // namespace

int nio_write_long(zul::ByteMover* m, int32_t v) { return write_scalar<int32_t, 4, nio_put_i32>(m, v); }
int nio_read_long(zul::ByteMover* m, int32_t* v) { return read_scalar<int32_t, 4, nio_get_i32>(m, v); }
int nio_write_short(zul::ByteMover* m, int16_t v) { return write_scalar<int16_t, 2, nio_put_i16>(m, v); }
int nio_read_short(zul::ByteMover* m, int16_t* v) { return read_scalar<int16_t, 2, nio_get_i16>(m, v); }
int nio_write_lfloat(zul::ByteMover* m, double v) { return write_scalar<double, 8, nio_put_f64>(m, v); }
int nio_read_lfloat(zul::ByteMover* m, double* v) { return read_scalar<double, 8, nio_get_f64>(m, v); }

int nio_drain(zul::ByteMover* m, size_t len) {
  uint8_t sink[512];
  while (len) {
    size_t n = len < sizeof(sink) ? len : sizeof(sink);
    if (get_image(m, sink, n)) return -1;
    len -= n;
  }
  return 0;
}

int nio_write_string(zul::ByteMover* m, const char* text) {
  size_t n = text ? strlen(text) : 0;
  if (n >= (size_t)INT32_MAX) return -1;
  if (nio_write_long(m, n ? (int32_t)(n + 1) : 0)) return -1;
  return n ? put_image(m, (const uint8_t*)text, n + 1) : 0;
}

int nio_read_string(zul::ByteMover* m, char* buf, size_t cap) {
  int32_t len;
  if (!buf || cap == 0 || nio_read_long(m, &len) || len < 0) return -1;
  if (len == 0) {
    buf[0] = '\0';
    return 0;
  }
  if ((size_t)len > cap) {
    nio_drain(m, (size_t)len);
    return -1;
  }
  if (get_image(m, (uint8_t*)buf, (size_t)len)) return -1;
  buf[len - 1] = '\0';
  return 0;
}

int nio_read_dynamic_string(zul::ByteMover* m, char** text, size_t max) {
  int32_t len;
  if (!text || nio_read_long(m, &len) || len < 0) return -1;
  *text = nullptr;
  if (len == 0) return 0;
  if ((size_t)len > max) {
    nio_drain(m, (size_t)len);
    return -1;
  }
  char* s = (char*)calloc(1, (size_t)len);
  if (!s) {
    nio_drain(m, (size_t)len);
    return SE_OUT_OF_MEMORY;
  }
  if (get_image(m, (uint8_t*)s, (size_t)len)) {
    free(s);
    return -1;
  }
  s[len - 1] = '\0';
  *text = s;
  return 0;
}

// ---- geometry records ------------------------------------------------------------

int nio_write_envelope(zul::ByteMover* m, const ENVELOPE* e) {
  uint8_t img[16];
  if (!e) return -1;
  nio_put_i32(img, 0, e->minx);
  nio_put_i32(img, 4, e->miny);
  nio_put_i32(img, 8, e->maxx);
  nio_put_i32(img, 12, e->maxy);
  return put_image(m, img, sizeof img);
}

int nio_read_envelope(zul::ByteMover* m, ENVELOPE* e) {
  uint8_t img[16];
  if (!e || get_image(m, img, sizeof img)) return -1;
  e->minx = nio_get_i32(img, 0);
  e->miny = nio_get_i32(img, 4);
  e->maxx = nio_get_i32(img, 8);
  e->maxy = nio_get_i32(img, 12);
  return 0;
}

int nio_write_point3d(zul::ByteMover* m, const POINT3D* p) {
  uint8_t img[12];
  if (!p) return -1;
  nio_put_i32(img, 0, p->x);
  nio_put_i32(img, 4, p->y);
  nio_put_i32(img, 8, p->z);
  return put_image(m, img, sizeof img);
}

int nio_read_point3d(zul::ByteMover* m, POINT3D* p) {
  uint8_t img[12];
  if (!p || get_image(m, img, sizeof img)) return -1;
  p->x = nio_get_i32(img, 0);
  p->y = nio_get_i32(img, 4);
  p->z = nio_get_i32(img, 8);
  return 0;
}

namespace {

// The doubles of a COORDREF image, by offset.
struct CoordrefSlot {
  size_t off;
  double COORDREF::*field;
};
constexpr CoordrefSlot kCoordrefSlots[] = {
    {8, &COORDREF::falsex},    {16, &COORDREF::falsey},   {24, &COORDREF::falsez},
    {32, &COORDREF::falsem},   {40, &COORDREF::xyhalfsu}, {48, &COORDREF::xyunits},
    {56, &COORDREF::zunits},   {64, &COORDREF::munits},   {72, &COORDREF::zhalfsu},
    {80, &COORDREF::xycround}, {88, &COORDREF::zcround},  {96, &COORDREF::mcround},
    {104, &COORDREF::mhalfsu},
};

}  // namespace

int nio_write_coordref(zul::ByteMover* m, const COORDREF* c, int legacy) {
  uint8_t img[SE_COORDREF_IMAGE] = {0};
  if (c) {
    nio_put_i32(img, 0, c->local_word);
    nio_put_u32(img, 4, c->sg_state);
    for (const CoordrefSlot& s : kCoordrefSlots) nio_put_f64(img, s.off, c->*s.field);
    nio_put_ptr(img, 116, c->srtext && c->srtext[0] ? c->srtext : nullptr);
    if (!legacy) nio_put_i32(img, 120, c->srid);
  }
  if (put_image(m, img, legacy ? SE_COORDREF_IMAGE_OLD : SE_COORDREF_IMAGE)) return -1;
  return nio_write_string(m, c ? c->srtext : nullptr);
}

int nio_read_coordref(zul::ByteMover* m, COORDREF* c, int legacy) {
  uint8_t img[SE_COORDREF_IMAGE];
  if (!c || get_image(m, img, legacy ? SE_COORDREF_IMAGE_OLD : SE_COORDREF_IMAGE)) return -1;
  c->sg_state = nio_get_u32(img, 4);
  for (const CoordrefSlot& s : kCoordrefSlots) c->*s.field = nio_get_f64(img, s.off);
  c->srid = legacy ? 0 : nio_get_i32(img, 120);
  free(c->srtext);
  c->srtext = nullptr;
  int rc = nio_read_dynamic_string(m, &c->srtext, SE_COORDSYS_MAX_TEXT);
  return rc == 0 ? 0 : -1;
}

int nio_write_feature_image(zul::ByteMover* m, const FEATURE_STRUCT* f) {
  uint8_t img[SE_FEATURE_IMAGE] = {0};
  if (!f) return -1;
  nio_put_u32(img, 0, f->sg_state);
  nio_put_i32(img, 4, f->value);
  nio_put_u32(img, 8, f->fid);
  nio_put_i32(img, 12, f->numofpts);
  nio_put_i16(img, 16, f->entity);
  nio_put_i32(img, 20, f->envelope.minx);
  nio_put_i32(img, 24, f->envelope.miny);
  nio_put_i32(img, 28, f->envelope.maxx);
  nio_put_i32(img, 32, f->envelope.maxy);
  for (int i = 0; i < 4; i++) nio_put_i32(img, 36 + 4 * i, f->values[i]);
  nio_put_i32(img, 52, f->allocpts);
  nio_put_f64(img, 56, f->area);
  nio_put_f64(img, 64, f->length);
  nio_put_ptr(img, 72, f->points);
  nio_put_ptr(img, 76, f->z);
  nio_put_ptr(img, 80, f->m);
  nio_put_i32(img, 84, f->sg_words[0]);
  nio_put_i32(img, 88, f->sg_words[1]);
  nio_put_ptr(img, 92, f->coordref);
  return put_image(m, img, sizeof img);
}

int nio_read_feature_image(zul::ByteMover* m, FEATURE_STRUCT* f, int32_t* present) {
  uint8_t img[SE_FEATURE_IMAGE];
  if (!f || get_image(m, img, sizeof img)) return -1;
  f->sg_state = nio_get_u32(img, 0);
  f->value = nio_get_i32(img, 4);
  f->fid = nio_get_u32(img, 8);
  f->numofpts = nio_get_i32(img, 12);
  f->entity = nio_get_i16(img, 16);
  f->envelope.minx = nio_get_i32(img, 20);
  f->envelope.miny = nio_get_i32(img, 24);
  f->envelope.maxx = nio_get_i32(img, 28);
  f->envelope.maxy = nio_get_i32(img, 32);
  for (int i = 0; i < 4; i++) f->values[i] = nio_get_i32(img, 36 + 4 * i);
  // allocpts (offset 52) is the capacity of the receiver's own arrays: a
  // peer's value would make later writes overrun them, so it is kept.
  f->area = nio_get_f64(img, 56);
  f->length = nio_get_f64(img, 64);
  f->sg_words[0] = nio_get_i32(img, 84);
  f->sg_words[1] = nio_get_i32(img, 88);
  if (present) {
    int32_t bits = 0;
    if (nio_get_u32(img, 72)) bits |= NIO_FEATURE_HAS_POINTS;
    if (nio_get_u32(img, 76)) bits |= NIO_FEATURE_HAS_Z;
    if (nio_get_u32(img, 80)) bits |= NIO_FEATURE_HAS_M;
    if (nio_get_u32(img, 92)) bits |= NIO_FEATURE_HAS_COORDREF;
    *present = bits;
  }
  return 0;
}

// ---- layer and query records -----------------------------------------------------

namespace {

void put_se_envelope(uint8_t* img, size_t off, const SE_ENVELOPE& e) {
  nio_put_f64(img, off, e.minx);
  nio_put_f64(img, off + 8, e.miny);
  nio_put_f64(img, off + 16, e.maxx);
  nio_put_f64(img, off + 24, e.maxy);
}
void get_se_envelope(const uint8_t* img, size_t off, SE_ENVELOPE* e) {
  e->minx = nio_get_f64(img, off);
  e->miny = nio_get_f64(img, off + 8);
  e->maxx = nio_get_f64(img, off + 16);
  e->maxy = nio_get_f64(img, off + 24);
}

void put_grid_stats(uint8_t* img, size_t off, const SE_GRID_STATS& g) {
  nio_put_i32(img, off, g.features);
  nio_put_i32(img, off + 4, g.index_records);
  for (int i = 0; i < 8; i++) nio_put_i32(img, off + 8 + 4 * i, g.groups[i]);
  nio_put_i32(img, off + 40, g.max_per_cell);
  nio_put_i32(img, off + 44, g.cells);
  nio_put_i32(img, off + 48, g.features_inside);
}
void get_grid_stats(const uint8_t* img, size_t off, SE_GRID_STATS* g) {
  g->features = nio_get_i32(img, off);
  g->index_records = nio_get_i32(img, off + 4);
  for (int i = 0; i < 8; i++) g->groups[i] = nio_get_i32(img, off + 8 + 4 * i);
  g->max_per_cell = nio_get_i32(img, off + 40);
  g->cells = nio_get_i32(img, off + 44);
  g->features_inside = nio_get_i32(img, off + 48);
}

}  // namespace

int nio_write_layer(zul::ByteMover* m, const LAYER* l, int legacy) {
  uint8_t img[SE_LAYER_IMAGE] = {0};
  if (!l) return -1;
  nio_put_i32(img, 0, l->local_word);
  nio_put_i32(img, 4, l->id);
  put_se_envelope(img, 8, l->envelope);
  nio_put_chars(img, 40, l->description, 64);
  nio_put_f64(img, 104, l->grid_size[0]);
  nio_put_f64(img, 112, l->grid_size[1]);
  nio_put_f64(img, 120, l->grid_size[2]);
  nio_put_i32(img, 128, l->entity_flags);
  nio_put_chars(img, 132, l->database, 32);
  nio_put_chars(img, 164, l->owner, 32);
  nio_put_chars(img, 196, l->table, 160);
  nio_put_chars(img, 356, l->spatial_column, 32);
  nio_put_i32(img, 388, l->creation_date);
  nio_put_i32(img, 392, l->privileges);
  nio_put_chars(img, 396, l->config_keyword, 32);
  nio_put_i32(img, 428, l->array_size);
  nio_put_i32(img, 432, l->stats_date);
  nio_put_u32(img, 436, l->min_shape_id);
  nio_put_ptr(img, 440, l->coordref);
  if (legacy) {
    nio_put_i32(img, 444, l->remainder);
  } else {
    nio_put_i32(img, 444, l->layer_mask);
    nio_put_i32(img, 448, l->base_layer_id);
    nio_put_i32(img, 452, l->remainder);
  }
  if (put_image(m, img, legacy ? SE_LAYER_IMAGE_OLD : SE_LAYER_IMAGE)) return -1;
  return nio_write_coordref(m, l->coordref, legacy);
}

namespace {

// Reads a COORDREF into target, or through a scratch reference when the
// record has none (the stream must still move past it).
int read_attached_coordref(zul::ByteMover* m, COORDREF* target, int legacy) {
  if (target) return nio_read_coordref(m, target, legacy);
  COORDREF scratch{};
  int rc = nio_read_coordref(m, &scratch, legacy);
  free(scratch.srtext);
  return rc;
}

}  // namespace

int nio_read_layer(zul::ByteMover* m, LAYER* l, int legacy) {
  uint8_t img[SE_LAYER_IMAGE];
  if (!l || get_image(m, img, legacy ? SE_LAYER_IMAGE_OLD : SE_LAYER_IMAGE)) return -1;
  l->id = nio_get_i32(img, 4);
  get_se_envelope(img, 8, &l->envelope);
  nio_get_chars(img, 40, l->description, 64);
  l->grid_size[0] = nio_get_f64(img, 104);
  l->grid_size[1] = nio_get_f64(img, 112);
  l->grid_size[2] = nio_get_f64(img, 120);
  l->entity_flags = nio_get_i32(img, 128);
  nio_get_chars(img, 132, l->database, 32);
  nio_get_chars(img, 164, l->owner, 32);
  nio_get_chars(img, 196, l->table, 160);
  nio_get_chars(img, 356, l->spatial_column, 32);
  l->creation_date = nio_get_i32(img, 388);
  l->privileges = nio_get_i32(img, 392);
  nio_get_chars(img, 396, l->config_keyword, 32);
  l->array_size = nio_get_i32(img, 428);
  l->stats_date = nio_get_i32(img, 432);
  l->min_shape_id = nio_get_u32(img, 436);
  if (legacy) {
    l->layer_mask = 0;
    l->base_layer_id = 0;
    l->remainder = nio_get_i32(img, 444);
  } else {
    l->layer_mask = nio_get_i32(img, 444);
    l->base_layer_id = nio_get_i32(img, 448);
    l->remainder = nio_get_i32(img, 452);
  }
  return read_attached_coordref(m, l->coordref, legacy);
}

int nio_write_layer_stats(zul::ByteMover* m, const LAYER_STATS* s) {
  uint8_t img[SE_LAYER_STATS_IMAGE] = {0};
  if (!s) return -1;
  nio_put_i32(img, 0, s->layer_id);
  for (int i = 0; i < 9; i++) nio_put_i32(img, 4 + 4 * i, s->counts[i]);
  nio_put_i32(img, 40, s->total);
  put_se_envelope(img, 48, s->envelope);
  nio_put_i32(img, 80, s->last_modified);
  nio_put_i32(img, 84, s->min_fid);
  nio_put_i32(img, 88, s->max_fid);
  nio_put_i32(img, 92, s->min_points);
  nio_put_i32(img, 96, s->max_points);
  const double* d[7] = {&s->min_area, &s->max_area, &s->min_length, &s->max_length,
                        &s->avg_points, &s->avg_area, &s->avg_length};
  for (int i = 0; i < 7; i++) nio_put_f64(img, 104 + 8 * i, *d[i]);
  return put_image(m, img, sizeof img);
}

int nio_read_layer_stats(zul::ByteMover* m, LAYER_STATS* s) {
  uint8_t img[SE_LAYER_STATS_IMAGE];
  if (!s || get_image(m, img, sizeof img)) return -1;
  s->layer_id = nio_get_i32(img, 0);
  for (int i = 0; i < 9; i++) s->counts[i] = nio_get_i32(img, 4 + 4 * i);
  s->total = nio_get_i32(img, 40);
  s->pad44 = 0;
  get_se_envelope(img, 48, &s->envelope);
  s->last_modified = nio_get_i32(img, 80);
  s->min_fid = nio_get_i32(img, 84);
  s->max_fid = nio_get_i32(img, 88);
  s->min_points = nio_get_i32(img, 92);
  s->max_points = nio_get_i32(img, 96);
  s->pad100 = 0;
  double* d[7] = {&s->min_area, &s->max_area, &s->min_length, &s->max_length,
                  &s->avg_points, &s->avg_area, &s->avg_length};
  for (int i = 0; i < 7; i++) *d[i] = nio_get_f64(img, 104 + 8 * i);
  return 0;
}

int nio_write_index_stats(zul::ByteMover* m, const S_INDEX_STATS* s) {
  uint8_t img[SE_INDEX_STATS_IMAGE] = {0};
  if (!s) return -1;
  nio_put_chars(img, 0, s->table, 226);
  nio_put_chars(img, 226, s->column, 32);
  nio_put_i32(img, 260, s->levels);
  for (int i = 0; i < 3; i++) put_grid_stats(img, 264 + 52 * i, s->grid[i]);
  return put_image(m, img, sizeof img);
}

int nio_read_index_stats(zul::ByteMover* m, S_INDEX_STATS* s) {
  uint8_t img[SE_INDEX_STATS_IMAGE];
  if (!s || get_image(m, img, sizeof img)) return -1;
  nio_get_chars(img, 0, s->table, 226);
  nio_get_chars(img, 226, s->column, 32);
  s->pad[0] = s->pad[1] = 0;
  s->levels = nio_get_i32(img, 260);
  for (int i = 0; i < 3; i++) get_grid_stats(img, 264 + 52 * i, &s->grid[i]);
  return 0;
}

int nio_write_spatialref(zul::ByteMover* m, const SE_SPATIALREF* s) {
  uint8_t img[SE_SPATIALREF_IMAGE];
  if (!s) return -1;
  nio_put_i32(img, 0, s->local_word);
  nio_put_i32(img, 4, s->srid);
  nio_put_chars(img, 8, s->description, 64);
  nio_put_chars(img, 72, s->auth_name, 256);
  nio_put_i32(img, 328, s->auth_srid);
  nio_put_ptr(img, 332, s->coordref);
  if (put_image(m, img, sizeof img)) return -1;
  return nio_write_coordref(m, s->coordref, 0);
}

int nio_read_spatialref(zul::ByteMover* m, SE_SPATIALREF* s) {
  uint8_t img[SE_SPATIALREF_IMAGE];
  if (!s || get_image(m, img, sizeof img)) return -1;
  s->srid = nio_get_i32(img, 4);
  nio_get_chars(img, 8, s->description, 64);
  nio_get_chars(img, 72, s->auth_name, 256);
  s->auth_srid = nio_get_i32(img, 328);
  return read_attached_coordref(m, s->coordref, 0);
}

int nio_write_date(zul::ByteMover* m, const SE_DATE* d) {
  uint8_t img[SE_DATE_IMAGE];
  if (!d) return -1;
  const int32_t v[9] = {d->sec, d->min, d->hour, d->mday, d->mon, d->year, d->wday, d->yday, d->isdst};
  for (int i = 0; i < 9; i++) nio_put_i32(img, 4 * i, v[i]);
  return put_image(m, img, sizeof img);
}

int nio_read_date(zul::ByteMover* m, SE_DATE* d) {
  uint8_t img[SE_DATE_IMAGE];
  if (!d || get_image(m, img, sizeof img)) return -1;
  int32_t* v[9] = {&d->sec, &d->min, &d->hour, &d->mday, &d->mon, &d->year, &d->wday, &d->yday, &d->isdst};
  for (int i = 0; i < 9; i++) *v[i] = nio_get_i32(img, 4 * i);
  return 0;
}

int nio_write_release(zul::ByteMover* m, const RELEASE* r) {
  uint8_t img[SE_RELEASE_IMAGE];
  if (!r) return -1;
  nio_put_i32(img, 0, r->major);
  nio_put_i32(img, 4, r->minor);
  nio_put_i32(img, 8, r->bug);
  nio_put_chars(img, 12, r->description, SE_RELEASE_DESC_LEN);
  nio_put_i32(img, 108, r->release);
  return put_image(m, img, sizeof img);
}

int nio_read_release(zul::ByteMover* m, RELEASE* r, int legacy) {
  uint8_t img[SE_RELEASE_IMAGE];
  size_t len = legacy ? SE_RELEASE_IMAGE_OLD : SE_RELEASE_IMAGE;
  size_t desc = legacy ? 64 : SE_RELEASE_DESC_LEN;
  if (!r || get_image(m, img, len)) return -1;
  r->major = nio_get_i32(img, 0);
  r->minor = nio_get_i32(img, 4);
  r->bug = nio_get_i32(img, 8);
  memset(r->description, 0, sizeof r->description);
  nio_get_chars(img, 12, r->description, desc);
  r->release = nio_get_i32(img, 12 + desc);
  return 0;
}

int nio_write_column_def(zul::ByteMover* m, const COLUMN_DEF* c, int legacy) {
  uint8_t img[SE_COLUMN_DEF_IMAGE] = {0};
  if (!c) return -1;
  nio_put_chars(img, 0, c->name, 32);
  nio_put_i32(img, 32, c->type);
  nio_put_i32(img, 36, c->size);
  nio_put_i16(img, 40, c->decimals);
  nio_put_i32(img, 44, c->nullable);
  if (!legacy) nio_put_i16(img, 48, c->rowid_kind);
  return put_image(m, img, legacy ? SE_COLUMN_DEF_IMAGE_OLD : SE_COLUMN_DEF_IMAGE);
}

int nio_read_column_def(zul::ByteMover* m, COLUMN_DEF* c, int legacy) {
  uint8_t img[SE_COLUMN_DEF_IMAGE];
  if (!c || get_image(m, img, legacy ? SE_COLUMN_DEF_IMAGE_OLD : SE_COLUMN_DEF_IMAGE)) return -1;
  nio_get_chars(img, 0, c->name, 32);
  c->type = nio_get_i32(img, 32);
  c->size = nio_get_i32(img, 36);
  c->decimals = nio_get_i16(img, 40);
  c->pad42 = 0;
  c->nullable = nio_get_i32(img, 44);
  c->rowid_kind = legacy ? (int16_t)SE_ROWID_NONE : nio_get_i16(img, 48);
  c->pad50 = 0;
  return 0;
}

int nio_write_input_desc(zul::ByteMover* m, const INPUT_DESC* d) {
  uint8_t img[SE_INPUT_DESC_IMAGE];
  if (!d) return -1;
  nio_put_i32(img, 0, d->value1);
  nio_put_i32(img, 4, d->value2);
  return put_image(m, img, sizeof img);
}

int nio_read_input_desc(zul::ByteMover* m, INPUT_DESC* d) {
  uint8_t img[SE_INPUT_DESC_IMAGE];
  if (!d || get_image(m, img, sizeof img)) return -1;
  d->value1 = nio_get_i32(img, 0);
  d->value2 = nio_get_i32(img, 4);
  return 0;
}

int nio_write_filter_image(zul::ByteMover* m, const SPATIAL_FILTER* f, int legacy) {
  uint8_t img[SE_FILTER_IMAGE] = {0};
  if (!f) return -1;
  nio_put_chars(img, 0, f->table, 226);
  nio_put_chars(img, 226, f->column, 32);
  nio_put_i32(img, 260, f->filter_type);
  if (f->filter_type == SE_SHAPE_FILTER)
    nio_put_ptr(img, 264, f->filter.shape);
  else
    nio_put_i32(img, 264, f->filter.id);
  nio_put_chars(img, 268, f->id_table, 226);
  nio_put_i32(img, 496, f->method);
  nio_put_i32(img, 500, f->truth);
  if (!legacy) {
    nio_put_i32(img, 504, f->reserved);
    nio_put_ptr(img, 508, f->cbm);
  }
  return put_image(m, img, legacy ? SE_FILTER_IMAGE_OLD : SE_FILTER_IMAGE);
}

int nio_read_filter_image(zul::ByteMover* m, SPATIAL_FILTER* f, int legacy) {
  uint8_t img[SE_FILTER_IMAGE];
  if (!f || get_image(m, img, legacy ? SE_FILTER_IMAGE_OLD : SE_FILTER_IMAGE)) return -1;
  nio_get_chars(img, 0, f->table, 226);
  nio_get_chars(img, 226, f->column, 32);
  f->filter_type = nio_get_i32(img, 260);
  if (f->filter_type != SE_SHAPE_FILTER) f->filter.id = nio_get_i32(img, 264);
  nio_get_chars(img, 268, f->id_table, 226);
  f->method = nio_get_i32(img, 496);
  f->truth = nio_get_i32(img, 500);
  f->reserved = legacy ? 0 : nio_get_i32(img, 504);
  return 0;
}

// ---- registry records --------------------------------------------------------------

namespace {

void put_registration(uint8_t* img, size_t off, const REGISTRATION& r) {
  memcpy(img + off, r.tag, 4);
  nio_put_i32(img, off + 4, r.id);
  nio_put_chars(img, off + 8, r.database, 32);
  nio_put_chars(img, off + 40, r.owner, 32);
  nio_put_chars(img, off + 72, r.table, 160);
  nio_put_chars(img, off + 232, r.rowid_column, 32);
  nio_put_chars(img, off + 264, r.description, 64);
  nio_put_i32(img, off + 328, r.flags);
  nio_put_u32(img, off + 332, r.reg_date);
  nio_put_i32(img, off + 336, r.privileges);
  nio_put_chars(img, off + 340, r.config_keyword, 32);
  nio_put_u32(img, off + 372, r.min_id);
  nio_put_chars(img, off + 376, r.mv_view, 160);
}

void get_registration(const uint8_t* img, size_t off, REGISTRATION* r) {
  memcpy(r->tag, img + off, 4);   // the peer's tag travels with the rest
  r->id = nio_get_i32(img, off + 4);
  nio_get_chars(img, off + 8, r->database, 32);
  nio_get_chars(img, off + 40, r->owner, 32);
  nio_get_chars(img, off + 72, r->table, 160);
  nio_get_chars(img, off + 232, r->rowid_column, 32);
  nio_get_chars(img, off + 264, r->description, 64);
  r->flags = nio_get_i32(img, off + 328);
  r->reg_date = nio_get_u32(img, off + 332);
  r->privileges = nio_get_i32(img, off + 336);
  nio_get_chars(img, off + 340, r->config_keyword, 32);
  r->min_id = nio_get_u32(img, off + 372);
  nio_get_chars(img, off + 376, r->mv_view, 160);
}

}  // namespace

int nio_write_registration(zul::ByteMover* m, const REGISTRATION* r) {
  uint8_t img[SE_REGISTRATION_IMAGE];
  if (!r) return -1;
  put_registration(img, 0, *r);
  return put_image(m, img, sizeof img);
}

int nio_read_registration(zul::ByteMover* m, REGISTRATION* r) {
  uint8_t img[SE_REGISTRATION_IMAGE];
  if (!r || get_image(m, img, sizeof img)) return -1;
  get_registration(img, 0, r);
  return 0;
}

int nio_write_version(zul::ByteMover* m, const VERSION* v) {
  uint8_t img[SE_VERSION_IMAGE];
  if (!v) return -1;
  memcpy(img, v->tag, 4);
  nio_put_chars(img, 4, v->name, 64);
  nio_put_chars(img, 68, v->owner, 32);
  nio_put_i32(img, 100, v->id);
  nio_put_u32(img, 104, v->status);
  nio_put_i32(img, 108, v->state_id);
  nio_put_chars(img, 112, v->description, 64);
  nio_put_chars(img, 176, v->parent_name, 64);
  nio_put_chars(img, 240, v->parent_owner, 32);
  nio_put_i32(img, 272, v->parent_id);
  nio_put_u32(img, 276, v->creation_time);
  return put_image(m, img, sizeof img);
}

int nio_read_version(zul::ByteMover* m, VERSION* v) {
  uint8_t img[SE_VERSION_IMAGE];
  if (!v || get_image(m, img, sizeof img)) return -1;
  memcpy(v->tag, img, 4);
  nio_get_chars(img, 4, v->name, 64);
  nio_get_chars(img, 68, v->owner, 32);
  v->id = nio_get_i32(img, 100);
  v->status = nio_get_u32(img, 104);
  v->state_id = nio_get_i32(img, 108);
  nio_get_chars(img, 112, v->description, 64);
  nio_get_chars(img, 176, v->parent_name, 64);
  nio_get_chars(img, 240, v->parent_owner, 32);
  v->parent_id = nio_get_i32(img, 272);
  v->creation_time = nio_get_u32(img, 276);
  return 0;
}

// Older layout: tag, id, owner, creation, closing, lineage length, 4 bytes
// of padding; no lineage name.
int nio_write_state(zul::ByteMover* m, const STATE* s, int older) {
  uint8_t img[SE_STATE_IMAGE] = {0};
  if (!s) return -1;
  memcpy(img, s->tag, 4);
  nio_put_i32(img, 4, s->id);
  nio_put_chars(img, 8, s->owner, 32);
  nio_put_u32(img, 40, s->creation_time);
  nio_put_u32(img, 44, s->closing_time);
  if (older) {
    nio_put_i32(img, 48, s->lineage_length);
    return put_image(m, img, SE_STATE_IMAGE_OLD);
  }
  nio_put_i32(img, 48, s->lineage_name);
  nio_put_i32(img, 52, s->lineage_length);
  nio_put_ptr(img, 56, s->lineage);
  return put_image(m, img, SE_STATE_IMAGE);
}

int nio_read_state(zul::ByteMover* m, STATE* s, int older) {
  uint8_t img[SE_STATE_IMAGE];
  if (!s || get_image(m, img, older ? SE_STATE_IMAGE_OLD : SE_STATE_IMAGE)) return -1;
  memcpy(s->tag, img, 4);
  s->id = nio_get_i32(img, 4);
  nio_get_chars(img, 8, s->owner, 32);
  s->creation_time = nio_get_u32(img, 40);
  s->closing_time = nio_get_u32(img, 44);
  if (older) {
    s->lineage_name = s->id;
    s->lineage_length = nio_get_i32(img, 48);
  } else {
    s->lineage_name = nio_get_i32(img, 48);
    s->lineage_length = nio_get_i32(img, 52);
  }
  return 0;
}

int nio_write_logfile(zul::ByteMover* m, const LOGFILE* l) {
  uint8_t img[SE_LOGFILE_IMAGE];
  if (!l) return -1;
  memcpy(img, l->tag, 4);
  nio_put_chars(img, 4, l->name, 226);
  nio_put_chars(img, 230, l->target, 226);
  nio_put_chars(img, 456, l->column, 32);
  nio_put_i32(img, 488, l->value_488);
  nio_put_i32(img, 492, l->id);
  nio_put_i32(img, 496, l->data_id);
  nio_put_i32(img, 500, l->flags);
  nio_put_u32(img, 504, l->session_tag);
  nio_put_i32(img, 508, l->value_508);
  put_registration(img, 512, l->registration);
  return put_image(m, img, sizeof img);
}

int nio_read_logfile(zul::ByteMover* m, LOGFILE* l) {
  uint8_t img[SE_LOGFILE_IMAGE];
  if (!l || get_image(m, img, sizeof img)) return -1;
  memcpy(l->tag, img, 4);
  nio_get_chars(img, 4, l->name, 226);
  nio_get_chars(img, 230, l->target, 226);
  nio_get_chars(img, 456, l->column, 32);
  l->value_488 = nio_get_i32(img, 488);
  l->id = nio_get_i32(img, 492);
  l->data_id = nio_get_i32(img, 496);
  l->flags = nio_get_i32(img, 500);
  l->session_tag = nio_get_u32(img, 504);
  l->value_508 = nio_get_i32(img, 508);
  get_registration(img, 512, &l->registration);
  return 0;
}

// The older image drops the object database (32 bytes at 168) and shifts
// every later field down by 32.
int nio_write_metadata(zul::ByteMover* m, const METADATA_RECORD* r, int older) {
  uint8_t img[SE_METADATA_IMAGE] = {0};
  if (!r) return -1;
  size_t k = older ? 32 : 0;
  nio_put_i32(img, 0, r->local_word);
  nio_put_i32(img, 4, r->id);
  nio_put_chars(img, 8, r->object_name, 160);
  if (!older) nio_put_chars(img, 168, r->object_database, 32);
  nio_put_chars(img, 200 - k, r->object_owner, 32);
  nio_put_i32(img, 232 - k, r->object_type);
  nio_put_chars(img, 236 - k, r->class_name, 32);
  nio_put_chars(img, 268 - k, r->property, 32);
  nio_put_chars(img, 300 - k, r->value, 255);
  nio_put_chars(img, 555 - k, r->description, 65);
  nio_put_u32(img, 620 - k, r->date_modified);
  return put_image(m, img, older ? SE_METADATA_IMAGE_OLD : SE_METADATA_IMAGE);
}

int nio_read_metadata(zul::ByteMover* m, METADATA_RECORD* r, int older) {
  uint8_t img[SE_METADATA_IMAGE];
  if (!r || get_image(m, img, older ? SE_METADATA_IMAGE_OLD : SE_METADATA_IMAGE)) return -1;
  size_t k = older ? 32 : 0;
  r->id = nio_get_i32(img, 4);
  nio_get_chars(img, 8, r->object_name, 160);
  if (older)
    memset(r->object_database, 0, sizeof r->object_database);
  else
    nio_get_chars(img, 168, r->object_database, 32);
  nio_get_chars(img, 200 - k, r->object_owner, 32);
  r->object_type = nio_get_i32(img, 232 - k);
  nio_get_chars(img, 236 - k, r->class_name, 32);
  nio_get_chars(img, 268 - k, r->property, 32);
  nio_get_chars(img, 300 - k, r->value, 255);
  nio_get_chars(img, 555 - k, r->description, 65);
  r->date_modified = nio_get_u32(img, 620 - k);
  return 0;
}

int nio_write_locator(zul::ByteMover* m, const LOCATOR* l) {
  uint8_t img[SE_LOCATOR_IMAGE];
  if (!l) return -1;
  nio_put_i32(img, 0, l->local_word);
  nio_put_i32(img, 4, l->id);
  nio_put_chars(img, 8, l->name, 32);
  nio_put_chars(img, 40, l->owner, 32);
  nio_put_chars(img, 72, l->category, 32);
  nio_put_i32(img, 104, l->type);
  nio_put_chars(img, 108, l->description, 64);
  nio_put_i32(img, 172, l->property_count);
  nio_put_ptr(img, 176, l->property_names);
  nio_put_ptr(img, 180, l->property_values);
  return put_image(m, img, sizeof img);
}

int nio_read_locator(zul::ByteMover* m, LOCATOR* l) {
  uint8_t img[SE_LOCATOR_IMAGE];
  if (!l || get_image(m, img, sizeof img)) return -1;
  int32_t count = nio_get_i32(img, 172);
  if (count < 0 || count > SE_LOCATOR_MAX_PROPERTIES) return -1;
  l->id = nio_get_i32(img, 4);
  nio_get_chars(img, 8, l->name, 32);
  nio_get_chars(img, 40, l->owner, 32);
  nio_get_chars(img, 72, l->category, 32);
  l->type = nio_get_i32(img, 104);
  nio_get_chars(img, 108, l->description, 64);
  l->property_count = count;
  return 0;
}

// ---- lock records -----------------------------------------------------------------------

int nio_write_layer_lock(zul::ByteMover* m, const SE_LAYER_LOCKS* l) {
  uint8_t img[SE_LAYER_LOCKS_IMAGE];
  if (!l) return -1;
  nio_put_chars(img, 0, l->user, 36);
  nio_put_i32(img, 36, l->lock_type);
  put_se_envelope(img, 40, l->area);
  return put_image(m, img, sizeof img);
}

int nio_read_layer_lock(zul::ByteMover* m, SE_LAYER_LOCKS* l) {
  uint8_t img[SE_LAYER_LOCKS_IMAGE];
  if (!l || get_image(m, img, sizeof img)) return -1;
  nio_get_chars(img, 0, l->user, 36);
  l->lock_type = nio_get_i32(img, 36);
  get_se_envelope(img, 40, &l->area);
  return 0;
}

int nio_write_table_lock(zul::ByteMover* m, const SE_TABLE_LOCK* l) {
  uint8_t img[SE_TABLE_LOCK_IMAGE];
  if (!l) return -1;
  nio_put_chars(img, 0, l->user, 36);
  nio_put_i32(img, 36, l->lock_type);
  return put_image(m, img, sizeof img);
}

int nio_read_table_lock(zul::ByteMover* m, SE_TABLE_LOCK* l) {
  uint8_t img[SE_TABLE_LOCK_IMAGE];
  if (!l || get_image(m, img, sizeof img)) return -1;
  nio_get_chars(img, 0, l->user, 36);
  l->lock_type = nio_get_i32(img, 36);
  return 0;
}

int nio_write_object_lock(zul::ByteMover* m, const SE_OBJECT_LOCK* l) {
  uint8_t img[SE_OBJECT_LOCK_IMAGE] = {0};
  if (!l) return -1;
  nio_put_i32(img, 0, l->local_word);
  nio_put_i32(img, 4, l->pid);
  nio_put_chars(img, 8, l->owner, 32);
  nio_put_i32(img, 40, l->object_id);
  nio_put_i32(img, 44, l->object_type);
  nio_put_i32(img, 48, l->application_id);
  nio_put_i16(img, 52, l->lock_type);
  return put_image(m, img, sizeof img);
}

int nio_read_object_lock(zul::ByteMover* m, SE_OBJECT_LOCK* l) {
  uint8_t img[SE_OBJECT_LOCK_IMAGE];
  if (!l || get_image(m, img, sizeof img)) return -1;
  l->pid = nio_get_i32(img, 4);
  nio_get_chars(img, 8, l->owner, 32);
  l->object_id = nio_get_i32(img, 40);
  l->object_type = nio_get_i32(img, 44);
  l->application_id = nio_get_i32(img, 48);
  l->lock_type = nio_get_i16(img, 52);
  l->pad54 = 0;
  return 0;
}

// ---- raster records ------------------------------------------------------------------------

int nio_write_rastercolumn(zul::ByteMover* m, const RASTERCOLUMN* r) {
  uint8_t img[SE_RASTERCOLUMN_IMAGE];
  if (!r) return -1;
  nio_put_i32(img, 0, r->local_word);
  nio_put_i32(img, 4, r->id);
  nio_put_chars(img, 8, r->description, 64);
  nio_put_chars(img, 72, r->database, 32);
  nio_put_chars(img, 104, r->owner, 32);
  nio_put_chars(img, 136, r->table, 160);
  nio_put_chars(img, 296, r->column, 32);
  nio_put_i32(img, 328, r->creation_date);
  nio_put_i32(img, 332, r->privileges);
  nio_put_chars(img, 336, r->config_keyword, 32);
  nio_put_u32(img, 368, r->min_id);
  nio_put_i32(img, 372, r->value372);
  nio_put_i32(img, 376, r->mask);
  nio_put_ptr(img, 380, r->coordref);
  if (put_image(m, img, sizeof img)) return -1;
  return r->coordref ? nio_write_coordref(m, r->coordref, 0) : 0;
}

int nio_read_rastercolumn(zul::ByteMover* m, RASTERCOLUMN* r) {
  uint8_t img[SE_RASTERCOLUMN_IMAGE];
  if (!r || get_image(m, img, sizeof img)) return -1;
  r->id = nio_get_i32(img, 4);
  nio_get_chars(img, 8, r->description, 64);
  nio_get_chars(img, 72, r->database, 32);
  nio_get_chars(img, 104, r->owner, 32);
  nio_get_chars(img, 136, r->table, 160);
  nio_get_chars(img, 296, r->column, 32);
  r->creation_date = nio_get_i32(img, 328);
  r->privileges = nio_get_i32(img, 332);
  nio_get_chars(img, 336, r->config_keyword, 32);
  r->min_id = nio_get_u32(img, 368);
  r->value372 = nio_get_i32(img, 372);
  r->mask = nio_get_i32(img, 376);
  return nio_attach_coordref(m, &r->coordref, nio_get_u32(img, 380) != 0, 0);
}

int nio_attach_coordref(zul::ByteMover* m, COORDREF** slot, int follows, int legacy) {
  if (!slot) return -1;
  if (!follows) {
    if (*slot) {
      free((*slot)->srtext);
      (*slot)->srtext = nullptr;
      SgCoordRefFree(*slot);
      *slot = nullptr;
    }
    return 0;
  }
  if (!*slot) {
    int32_t rc = SgCoordRefCreate(slot);
    if (rc) return SES_map_shape_error_to_zul(rc);
  }
  return nio_read_coordref(m, *slot, legacy);
}

int nio_write_rasterband(zul::ByteMover* m, const RASTERBAND* b) {
  uint8_t img[SE_RASTERBAND_IMAGE] = {0};
  if (!b) return -1;
  nio_put_i32(img, 0, b->local_word);
  const int32_t ints[10] = {b->id, b->sequence, b->creation_date, b->last_modified, b->band_flags,
                            b->band_types, b->width, b->height, b->block_width, b->block_height};
  for (int i = 0; i < 10; i++) nio_put_i32(img, 4 + 4 * i, ints[i]);
  nio_put_f64(img, 48, b->block_origin_x);
  nio_put_f64(img, 56, b->block_origin_y);
  nio_put_i32(img, 64, b->raster_id);
  nio_put_i32(img, 68, b->column_id);
  put_se_envelope(img, 72, b->envelope);
  nio_put_chars(img, 104, b->description, 64);
  nio_put_i32(img, 168, b->local168[0]);
  nio_put_i32(img, 172, b->local168[1]);
  nio_put_i32(img, 176, b->value176);
  nio_put_i32(img, 180, b->update_mask);
  return put_image(m, img, sizeof img);
}

int nio_read_rasterband(zul::ByteMover* m, RASTERBAND* b) {
  uint8_t img[SE_RASTERBAND_IMAGE];
  if (!b || get_image(m, img, sizeof img)) return -1;
  int32_t* ints[10] = {&b->id, &b->sequence, &b->creation_date, &b->last_modified, &b->band_flags,
                       &b->band_types, &b->width, &b->height, &b->block_width, &b->block_height};
  for (int i = 0; i < 10; i++) *ints[i] = nio_get_i32(img, 4 + 4 * i);
  b->pad44 = 0;
  b->block_origin_x = nio_get_f64(img, 48);
  b->block_origin_y = nio_get_f64(img, 56);
  b->raster_id = nio_get_i32(img, 64);
  b->column_id = nio_get_i32(img, 68);
  get_se_envelope(img, 72, &b->envelope);
  nio_get_chars(img, 104, b->description, 64);
  b->local168[0] = b->local168[1] = 0;
  b->value176 = nio_get_i32(img, 176);
  b->update_mask = 0;
  return 0;
}

int nio_write_raster(zul::ByteMover* m, const RASTER* r) {
  uint8_t img[SE_RASTER_IMAGE];
  if (!r) return -1;
  nio_put_i32(img, 0, r->local_word);
  nio_put_i32(img, 4, r->id);
  nio_put_i32(img, 8, r->column_id);
  nio_put_chars(img, 12, r->description, 64);
  return put_image(m, img, sizeof img);
}

int nio_read_raster(zul::ByteMover* m, RASTER* r) {
  uint8_t img[SE_RASTER_IMAGE];
  if (!r || get_image(m, img, sizeof img)) return -1;
  r->id = nio_get_i32(img, 4);
  r->column_id = nio_get_i32(img, 8);
  nio_get_chars(img, 12, r->description, 64);
  return 0;
}

int nio_write_rasterattr(zul::ByteMover* m, const RASTERATTR* a) {
  uint8_t img[SE_RASTERATTR_IMAGE] = {0};
  if (!a) return -1;
  const int32_t w[] = {a->local_word, a->value4, a->value8, a->raster_id, a->column_id,
                       a->value20[0], a->value20[1], a->value20[2], a->value20[3],
                       a->value36, a->value40, a->width, a->height, a->num_bands,
                       a->pixel_type, a->compression, a->max_level, a->skip_level_one,
                       a->value72, a->value76, a->value80, a->value84, a->interpolation,
                       a->value92[0], a->value92[1]};
  for (size_t i = 0; i < sizeof w / sizeof w[0]; i++) nio_put_i32(img, 4 * i, w[i]);
  nio_put_ptr(img, 100, a->raster);
  nio_put_i32(img, 104, a->value104[0]);
  nio_put_i32(img, 108, a->value104[1]);
  put_se_envelope(img, 112, a->envelope);
  nio_put_f64(img, 144, a->tile_origin_x);
  nio_put_f64(img, 152, a->tile_origin_y);
  return put_image(m, img, sizeof img);
}

int nio_read_rasterattr(zul::ByteMover* m, RASTERATTR* a) {
  uint8_t img[SE_RASTERATTR_IMAGE];
  if (!a || get_image(m, img, sizeof img)) return -1;
  int32_t* w[] = {&a->local_word, &a->value4, &a->value8, &a->raster_id, &a->column_id,
                  &a->value20[0], &a->value20[1], &a->value20[2], &a->value20[3],
                  &a->value36, &a->value40, &a->width, &a->height, &a->num_bands,
                  &a->pixel_type, &a->compression, &a->max_level, &a->skip_level_one,
                  &a->value72, &a->value76, &a->value80, &a->value84, &a->interpolation,
                  &a->value92[0], &a->value92[1]};
  int32_t keep = a->local_word;
  for (size_t i = 0; i < sizeof w / sizeof w[0]; i++) *w[i] = nio_get_i32(img, 4 * i);
  a->local_word = keep;
  a->value104[0] = nio_get_i32(img, 104);
  a->value104[1] = nio_get_i32(img, 108);
  get_se_envelope(img, 112, &a->envelope);
  a->tile_origin_x = nio_get_f64(img, 144);
  a->tile_origin_y = nio_get_f64(img, 152);
  return 0;
}

int nio_write_rasconstraint(zul::ByteMover* m, const RASCONSTRAINT* c) {
  uint8_t img[SE_RASCONSTRAINT_IMAGE] = {0};
  if (!c || c->num_bands < 0 || (c->num_bands > 0 && !c->bands)) return -1;
  nio_put_i32(img, 0, c->local_word);
  nio_put_i32(img, 4, c->level);
  nio_put_i32(img, 8, c->num_bands);
  nio_put_ptr(img, 12, c->bands);
  nio_put_i32(img, 16, c->value16);
  nio_put_i32(img, 20, c->min_column);
  nio_put_i32(img, 24, c->min_row);
  nio_put_i32(img, 28, c->max_column);
  nio_put_i32(img, 32, c->max_row);
  if (put_image(m, img, sizeof img)) return -1;
  for (int32_t i = 0; i < c->num_bands; i++)
    if (nio_write_long(m, c->bands[i])) return -1;
  return 0;
}

int nio_read_rasconstraint(zul::ByteMover* m, RASCONSTRAINT** out) {
  uint8_t img[SE_RASCONSTRAINT_IMAGE];
  if (!out) return -1;
  *out = nullptr;
  if (get_image(m, img, sizeof img)) return -1;
  int32_t bands = nio_get_i32(img, 8);
  if (bands < 0 || bands > SE_RASCONSTRAINT_MAX_BANDS) return -1;
  RASCONSTRAINT* c = (RASCONSTRAINT*)calloc(1, sizeof(RASCONSTRAINT));
  if (!c) return SE_OUT_OF_MEMORY;
  c->level = nio_get_i32(img, 4);
  c->num_bands = bands;
  c->value16 = nio_get_i32(img, 16);
  c->min_column = nio_get_i32(img, 20);
  c->min_row = nio_get_i32(img, 24);
  c->max_column = nio_get_i32(img, 28);
  c->max_row = nio_get_i32(img, 32);
  if (bands > 0) {
    c->bands = (int32_t*)calloc((size_t)bands, sizeof(int32_t));
    if (!c->bands) {
      free(c);
      return SE_OUT_OF_MEMORY;
    }
    for (int32_t i = 0; i < bands; i++) {
      if (nio_read_long(m, &c->bands[i])) {
        SES_rasconstraint_free(c);
        return -1;
      }
    }
  }
  *out = c;
  return 0;
}

void SES_rasconstraint_free(RASCONSTRAINT* c) {
  if (!c) return;
  free(c->bands);
  free(c);
}
