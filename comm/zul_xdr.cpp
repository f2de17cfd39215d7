// zul_xdr.cpp -- XDR encoders of the wire records (see zul_xdr.h).
//
// Relies on libtirpc for the primitives. Character fields go through
// xdr_char_field, never through xdr_string on the field itself: xdr_string
// would read an unterminated field past its end when encoding and could write
// one byte past it when decoding a text as long as the field.
//
// Divisions: building blocks; geometry; layers and queries; registry; locks
// and the listener; rasters.
#include "zul_xdr.h"

#include <stdlib.h>
#include <string.h>

#include "native_io.h"
#include "zul_status.h"

// ---- building blocks -------------------------------------------------------

bool_t xdr_char_field(XDR* xdrs, char* field, u_int width) {
  if (!field || width == 0) return FALSE;
  u_int len = 0;
  switch (xdrs->x_op) {
    case XDR_ENCODE:
      len = (u_int)strnlen(field, width - 1);
      return xdr_u_int(xdrs, &len) && xdr_opaque(xdrs, field, len);
    case XDR_DECODE:
      if (!xdr_u_int(xdrs, &len) || len > width - 1) return FALSE;
      if (!xdr_opaque(xdrs, field, len)) return FALSE;
      field[len] = '\0';
      return TRUE;
    case XDR_FREE:
      return TRUE;
  }
  return FALSE;
}

bool_t xdr_int16(XDR* xdrs, int16_t* v) { return xdr_short(xdrs, v); }

bool_t xdr_id_type(XDR* xdrs, int32_t* id) { return xdr_int(xdrs, id); }

bool_t xdr_const_char(XDR* xdrs, char* c) {
  int32_t v = (int32_t)(signed char)*c;
  if (!xdr_int(xdrs, &v)) return FALSE;
  if (xdrs->x_op == XDR_DECODE) *c = (char)(v & 0xFF);
  return TRUE;
}

namespace {

bool_t ints(XDR* xdrs, int32_t* const* v, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (!xdr_int(xdrs, v[i])) return FALSE;
  return TRUE;
}

bool_t int_run(XDR* xdrs, int32_t* v, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (!xdr_int(xdrs, &v[i])) return FALSE;
  return TRUE;
}

// A fixed vector of characters, each a 4-byte integer (legacy texts).
bool_t char_vector(XDR* xdrs, char* field, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (!xdr_const_char(xdrs, &field[i])) return FALSE;
  if (xdrs->x_op == XDR_DECODE) field[n - 1] = '\0';
  return TRUE;
}

}  // namespace

bool_t xdr_POINT(XDR* xdrs, POINT* p) { return xdr_int(xdrs, &p->x) && xdr_int(xdrs, &p->y); }

bool_t xdr_ENVELOPE(XDR* xdrs, ENVELOPE* e) {
  return xdr_int(xdrs, &e->minx) && xdr_int(xdrs, &e->miny) && xdr_int(xdrs, &e->maxx) &&
         xdr_int(xdrs, &e->maxy);
}

bool_t xdr_POINT3D(XDR* xdrs, POINT3D* p) {
  return xdr_int(xdrs, &p->x) && xdr_int(xdrs, &p->y) && xdr_int(xdrs, &p->z);
}

bool_t xdr_FEATURE_STRUCT_present(XDR* xdrs, FEATURE_STRUCT* f, int32_t* present) {
  uint32_t words[4] = {f->points ? 1u : 0u, f->z ? 1u : 0u, f->m ? 1u : 0u, f->coordref ? 1u : 0u};
  if (!xdr_int(xdrs, &f->value) || !xdr_u_int(xdrs, &f->fid) || !xdr_int(xdrs, &f->numofpts) ||
      !xdr_int16(xdrs, &f->entity) || !xdr_ENVELOPE(xdrs, &f->envelope) ||
      !int_run(xdrs, f->values, 4) || !xdr_double(xdrs, &f->area) || !xdr_double(xdrs, &f->length))
    return FALSE;
  for (uint32_t& w : words)
    if (!xdr_u_int(xdrs, &w)) return FALSE;
  if (present) {
    *present = (words[0] ? NIO_FEATURE_HAS_POINTS : 0) | (words[1] ? NIO_FEATURE_HAS_Z : 0) |
               (words[2] ? NIO_FEATURE_HAS_M : 0) | (words[3] ? NIO_FEATURE_HAS_COORDREF : 0);
  }
  return TRUE;
}

bool_t xdr_FEATURE_STRUCT(XDR* xdrs, FEATURE_STRUCT* f) { return xdr_FEATURE_STRUCT_present(xdrs, f, nullptr); }

bool_t xdr_FEATURE_XYPTS(XDR* xdrs, POINT* points, int32_t count) {
  if (count < 0 || count > SG_MAX_POINTS || (count > 0 && !points)) return FALSE;
  for (int32_t i = 0; i < count; i++)
    if (!xdr_POINT(xdrs, &points[i])) return FALSE;
  return TRUE;
}

bool_t xdr_FEATURE_ZPTS(XDR* xdrs, int32_t* values, int32_t count) {
  if (count < 0 || count > SG_MAX_POINTS) return FALSE;
  if (values) return int_run(xdrs, values, (size_t)count);
  // No array: the values pass through a small scratch run, so a peer's count
  // never decides an allocation (decoded values are dropped, encoded ones
  // are zeros).
  int32_t scratch[256];
  for (int32_t done = 0; done < count;) {
    int32_t n = count - done < 256 ? count - done : 256;
    memset(scratch, 0, sizeof scratch);
    if (!int_run(xdrs, scratch, (size_t)n)) return FALSE;
    done += n;
  }
  return TRUE;
}

bool_t xdr_FEATURE_MVALS(XDR* xdrs, int32_t* values, int32_t count) {
  return xdr_FEATURE_ZPTS(xdrs, values, count);
}

namespace {

// The thirteen doubles of a COORDREF in their XDR order.
double COORDREF::*const kCoordrefOrder[13] = {
    &COORDREF::falsex,   &COORDREF::falsey,   &COORDREF::xyunits,  &COORDREF::xycround,
    &COORDREF::falsez,   &COORDREF::zunits,   &COORDREF::zcround,  &COORDREF::falsem,
    &COORDREF::munits,   &COORDREF::mcround,  &COORDREF::xyhalfsu, &COORDREF::zhalfsu,
    &COORDREF::mhalfsu,
};

// The coordinate-system text: a length (strlen, 0 for none), then the text
// as an XDR string of at most length + 1 characters. The decoder sizes the
// text from the announced length before reading it, accepts no more than
// that string may hold, and keeps the old text for length 0.
bool_t coordref_text(XDR* xdrs, COORDREF* c) {
  u_int len = 0;
  if (xdrs->x_op == XDR_ENCODE) {
    size_t n = c->srtext ? strlen(c->srtext) : 0;
    if (n >= SE_COORDSYS_MAX_TEXT) return FALSE;
    len = (u_int)n;
    if (!xdr_u_int(xdrs, &len)) return FALSE;
    return len == 0 || (xdr_u_int(xdrs, &len) && xdr_opaque(xdrs, c->srtext, len));
  }
  if (xdrs->x_op != XDR_DECODE) return TRUE;
  if (!xdr_u_int(xdrs, &len)) return FALSE;
  if (len == 0) return TRUE;
  if (len >= SE_COORDSYS_MAX_TEXT) return FALSE;
  char* text = (char*)realloc(c->srtext, (size_t)len + 2);
  if (!text) return FALSE;
  c->srtext = text;
  text[0] = '\0';
  u_int size = 0;
  if (!xdr_u_int(xdrs, &size) || size > len + 1 || !xdr_opaque(xdrs, text, size)) return FALSE;
  text[size] = '\0';
  return TRUE;
}

bool_t coordref(XDR* xdrs, COORDREF* c, bool legacy) {
  if (!c) return FALSE;
  for (double COORDREF::*field : kCoordrefOrder)
    if (!xdr_double(xdrs, &(c->*field))) return FALSE;
  if (!coordref_text(xdrs, c)) return FALSE;
  if (legacy) {
    if (xdrs->x_op == XDR_DECODE) c->srid = 0;
    return TRUE;
  }
  return xdr_int(xdrs, &c->srid);
}

}  // namespace

bool_t xdr_COORDREF(XDR* xdrs, COORDREF* c) { return coordref(xdrs, c, false); }
bool_t xdr_COORDREF_legacy(XDR* xdrs, COORDREF* c) { return coordref(xdrs, c, true); }

bool_t xdr_SE_ENVELOPE(XDR* xdrs, SE_ENVELOPE* e) {
  return xdr_double(xdrs, &e->minx) && xdr_double(xdrs, &e->miny) &&
         xdr_double(xdrs, &e->maxx) && xdr_double(xdrs, &e->maxy);
}

// ---- layers and queries ------------------------------------------------------

namespace {

// The layer fields common to both layouts, in their XDR order.
bool_t layer_fields(XDR* xdrs, LAYER* l) {
  return xdr_int(xdrs, &l->id) &&
         xdr_char_field(xdrs, l->description, 64) &&
         xdr_double(xdrs, &l->grid_size[0]) &&
         xdr_double(xdrs, &l->grid_size[1]) &&
         xdr_double(xdrs, &l->grid_size[2]) &&
         xdr_SE_ENVELOPE(xdrs, &l->envelope) &&
         xdr_int(xdrs, &l->entity_flags) &&
         xdr_char_field(xdrs, l->database, 32) &&
         xdr_char_field(xdrs, l->table, 160) &&
         xdr_char_field(xdrs, l->owner, 32) &&
         xdr_char_field(xdrs, l->spatial_column, 32) &&
         xdr_int(xdrs, &l->creation_date) &&
         xdr_int(xdrs, &l->privileges) &&
         xdr_char_field(xdrs, l->config_keyword, 32) &&
         xdr_int(xdrs, &l->array_size) &&
         xdr_int(xdrs, &l->stats_date) &&
         xdr_u_int(xdrs, &l->min_shape_id);
}

}  // namespace

bool_t xdr_LAYER(XDR* xdrs, LAYER* l) {
  return layer_fields(xdrs, l) && xdr_int(xdrs, &l->layer_mask) && xdr_int(xdrs, &l->base_layer_id);
}

bool_t xdr_LAYER_legacy(XDR* xdrs, LAYER* l) {
  if (!layer_fields(xdrs, l)) return FALSE;
  if (xdrs->x_op == XDR_DECODE) l->layer_mask = l->base_layer_id = 0;
  return TRUE;
}

bool_t xdr_LAYER_STATS(XDR* xdrs, LAYER_STATS* s) {
  int32_t* const head[] = {&s->layer_id};
  if (!ints(xdrs, head, 1) || !int_run(xdrs, s->counts, 9) || !xdr_int(xdrs, &s->total)) return FALSE;
  if (!xdr_SE_ENVELOPE(xdrs, &s->envelope)) return FALSE;
  int32_t* const mid[] = {&s->last_modified, &s->min_fid, &s->max_fid, &s->min_points, &s->max_points};
  if (!ints(xdrs, mid, 5)) return FALSE;
  double* const d[] = {&s->min_area, &s->max_area, &s->min_length, &s->max_length,
                       &s->avg_points, &s->avg_area, &s->avg_length};
  for (double* v : d)
    if (!xdr_double(xdrs, v)) return FALSE;
  return TRUE;
}

bool_t xdr_SE_GRID_STATS(XDR* xdrs, SE_GRID_STATS* g) {
  return xdr_int(xdrs, &g->features) && xdr_int(xdrs, &g->index_records) &&
         int_run(xdrs, g->groups, 8) && xdr_int(xdrs, &g->max_per_cell) &&
         xdr_int(xdrs, &g->cells) && xdr_int(xdrs, &g->features_inside);
}

bool_t xdr_S_INDEX_STATS(XDR* xdrs, S_INDEX_STATS* s) {
  return xdr_char_field(xdrs, s->table, 226) && xdr_char_field(xdrs, s->column, 32) &&
         xdr_int(xdrs, &s->levels) && xdr_SE_GRID_STATS(xdrs, &s->grid[0]) &&
         xdr_SE_GRID_STATS(xdrs, &s->grid[1]) && xdr_SE_GRID_STATS(xdrs, &s->grid[2]);
}

bool_t xdr_SE_SPATIALREF(XDR* xdrs, SE_SPATIALREF* s) {
  return xdr_int(xdrs, &s->srid) && xdr_char_field(xdrs, s->description, 64) &&
         xdr_char_field(xdrs, s->auth_name, 256) && xdr_int(xdrs, &s->auth_srid) &&
         xdr_COORDREF(xdrs, s->coordref);
}

bool_t xdr_RELEASE(XDR* xdrs, RELEASE* r) {
  if (!xdr_int(xdrs, &r->major) || !xdr_int(xdrs, &r->minor) || !xdr_int(xdrs, &r->bug)) return FALSE;
  if (r->major > 3) {
    if (!xdr_char_field(xdrs, r->description, SE_RELEASE_DESC_LEN)) return FALSE;
  } else {
    if (xdrs->x_op == XDR_DECODE) memset(r->description, 0, sizeof r->description);
    if (!char_vector(xdrs, r->description, 64)) return FALSE;
  }
  return xdr_int(xdrs, &r->release);
}

bool_t xdr_SE_DATE(XDR* xdrs, SE_DATE* d) {
  int32_t* const v[] = {&d->sec, &d->min, &d->hour, &d->mday, &d->mon,
                        &d->year, &d->wday, &d->yday, &d->isdst};
  return ints(xdrs, v, 9);
}

bool_t xdr_COLUMN_DEF(XDR* xdrs, COLUMN_DEF* c) {
  return xdr_char_field(xdrs, c->name, 32) && xdr_int(xdrs, &c->type) && xdr_int(xdrs, &c->size) &&
         xdr_int16(xdrs, &c->decimals) && xdr_int(xdrs, &c->nullable) &&
         xdr_int16(xdrs, &c->rowid_kind);
}

bool_t xdr_COLUMN_DEF_legacy(XDR* xdrs, COLUMN_DEF* c) {
  if (!char_vector(xdrs, c->name, 32) || !xdr_int(xdrs, &c->type) || !xdr_int(xdrs, &c->size) ||
      !xdr_int16(xdrs, &c->decimals) || !xdr_int(xdrs, &c->nullable))
    return FALSE;
  if (xdrs->x_op == XDR_DECODE) c->rowid_kind = SE_ROWID_NONE;
  return TRUE;
}

bool_t xdr_INPUT_DESC(XDR* xdrs, INPUT_DESC* d) {
  return xdr_int(xdrs, &d->value1) && xdr_int(xdrs, &d->value2);
}

// ---- registry ------------------------------------------------------------------

bool_t xdr_REGISTRATION(XDR* xdrs, REGISTRATION* r) {
  return xdr_int(xdrs, &r->id) &&
         xdr_char_field(xdrs, r->database, 32) &&
         xdr_char_field(xdrs, r->table, 160) &&
         xdr_char_field(xdrs, r->owner, 32) &&
         xdr_char_field(xdrs, r->rowid_column, 32) &&
         xdr_char_field(xdrs, r->description, 64) &&
         xdr_char_field(xdrs, r->config_keyword, 32) &&
         xdr_int(xdrs, &r->flags) &&
         xdr_u_int(xdrs, &r->reg_date) &&
         xdr_int(xdrs, &r->privileges) &&
         xdr_u_int(xdrs, &r->min_id) &&
         xdr_char_field(xdrs, r->mv_view, 160);
}

bool_t xdr_STATE(XDR* xdrs, STATE* s) {
  return xdr_int(xdrs, &s->id) && xdr_int(xdrs, &s->lineage_name) &&
         xdr_char_field(xdrs, s->owner, 32) && xdr_u_int(xdrs, &s->creation_time) &&
         xdr_u_int(xdrs, &s->closing_time) && xdr_int(xdrs, &s->lineage_length);
}

bool_t xdr_STATE_older(XDR* xdrs, STATE* s) {
  if (!xdr_int(xdrs, &s->id) || !xdr_char_field(xdrs, s->owner, 32) ||
      !xdr_u_int(xdrs, &s->creation_time) || !xdr_u_int(xdrs, &s->closing_time) ||
      !xdr_int(xdrs, &s->lineage_length))
    return FALSE;
  if (xdrs->x_op == XDR_DECODE) s->lineage_name = s->id;
  return TRUE;
}

bool_t xdr_VERSION(XDR* xdrs, VERSION* v) {
  return xdr_char_field(xdrs, v->name, 64) && xdr_char_field(xdrs, v->owner, 32) &&
         xdr_int(xdrs, &v->id) && xdr_u_int(xdrs, &v->status) && xdr_int(xdrs, &v->state_id) &&
         xdr_char_field(xdrs, v->description, 64) && xdr_char_field(xdrs, v->parent_name, 64) &&
         xdr_char_field(xdrs, v->parent_owner, 32) && xdr_int(xdrs, &v->parent_id) &&
         xdr_u_int(xdrs, &v->creation_time);
}

bool_t xdr_LOGFILE(XDR* xdrs, LOGFILE* l) {
  return xdr_char_field(xdrs, l->name, 226) && xdr_char_field(xdrs, l->target, 226) &&
         xdr_char_field(xdrs, l->column, 32) && xdr_int(xdrs, &l->id) &&
         xdr_int(xdrs, &l->data_id) && xdr_int(xdrs, &l->flags) &&
         xdr_u_int(xdrs, &l->session_tag) && xdr_int(xdrs, &l->value_508) &&
         xdr_int(xdrs, &l->value_488) && xdr_REGISTRATION(xdrs, &l->registration);
}

namespace {

bool_t metadata(XDR* xdrs, METADATA_RECORD* r, bool older) {
  if (!xdr_int(xdrs, &r->id) || !xdr_char_field(xdrs, r->object_name, 160)) return FALSE;
  if (!older) {
    if (!xdr_char_field(xdrs, r->object_database, 32)) return FALSE;
  } else if (xdrs->x_op == XDR_DECODE) {
    memset(r->object_database, 0, sizeof r->object_database);
  }
  return xdr_char_field(xdrs, r->object_owner, 32) && xdr_int(xdrs, &r->object_type) &&
         xdr_char_field(xdrs, r->class_name, 32) && xdr_char_field(xdrs, r->property, 32) &&
         xdr_char_field(xdrs, r->value, 255) && xdr_char_field(xdrs, r->description, 65) &&
         xdr_u_int(xdrs, &r->date_modified);
}

}  // namespace

bool_t xdr_METADATA_RECORD(XDR* xdrs, METADATA_RECORD* r) { return metadata(xdrs, r, false); }
bool_t xdr_METADATA_RECORD_older(XDR* xdrs, METADATA_RECORD* r) { return metadata(xdrs, r, true); }

// ---- locks and the listener ------------------------------------------------------

bool_t xdr_SE_LAYER_LOCKS(XDR* xdrs, SE_LAYER_LOCKS* l) {
  return xdr_char_field(xdrs, l->user, 36) && xdr_int(xdrs, &l->lock_type) &&
         xdr_SE_ENVELOPE(xdrs, &l->area);
}

bool_t xdr_SE_TABLE_LOCK(XDR* xdrs, SE_TABLE_LOCK* l) {
  return xdr_char_field(xdrs, l->user, 36) && xdr_int(xdrs, &l->lock_type);
}

bool_t xdr_SE_VERSION_LOCK(XDR* xdrs, SE_VERSION_LOCK* l) { return xdr_SE_TABLE_LOCK(xdrs, l); }

bool_t xdr_SE_OBJECT_LOCK(XDR* xdrs, SE_OBJECT_LOCK* l) {
  return xdr_int(xdrs, &l->pid) && xdr_char_field(xdrs, l->owner, 32) &&
         xdr_int(xdrs, &l->object_id) && xdr_int(xdrs, &l->object_type) &&
         xdr_int(xdrs, &l->application_id) && xdr_int16(xdrs, &l->lock_type);
}

bool_t xdr_SE_INSTANCE_CONFIG(XDR* xdrs, SE_INSTANCE_CONFIG* c) {
  // The 27 settings at offsets 0 to 104 lie in order in the record.
  int32_t* settings = &c->max_connections;
  static_assert(offsetof(SE_INSTANCE_CONFIG, value_104) == 26 * sizeof(int32_t),
                "27 settings in a row");
  if (!int_run(xdrs, settings, 27)) return FALSE;
  if (!xdr_char_field(xdrs, c->home_path, SE_CONFIG_PATH_LEN) ||
      !xdr_char_field(xdrs, c->log_path, SE_CONFIG_PATH_LEN) ||
      !xdr_char_field(xdrs, c->tmp_path, SE_CONFIG_PATH_LEN))
    return FALSE;
  int32_t* const tail[] = {&c->dbms_kind, &c->value_1652, &c->value_1648,
                           &c->state_caching, &c->tcp_keepalive, &c->flag_1664};
  return ints(xdrs, tail, 6);
}

bool_t xdr_SE_INSTANCE_STATUS(XDR* xdrs, SE_INSTANCE_STATUS* s) {
  return xdr_RELEASE(xdrs, &s->release) && xdr_int(xdrs, &s->value1) && xdr_int(xdrs, &s->value2);
}

bool_t xdr_SE_INSTANCE_USER(XDR* xdrs, SE_INSTANCE_USER* u) {
  return xdr_int(xdrs, &u->value1) && xdr_int(xdrs, &u->value2) && xdr_int(xdrs, &u->value3) &&
         xdr_char_field(xdrs, u->name1, SE_INSTANCE_NAME_SLOT) &&
         xdr_char_field(xdrs, u->name2, SE_INSTANCE_NAME_SLOT) &&
         xdr_char_field(xdrs, u->name3, SE_INSTANCE_NAME_SLOT);
}

bool_t xdr_SE_INSTANCE_STATS(XDR* xdrs, SE_INSTANCE_STATS* s) { return int_run(xdrs, s->counters, 9); }

bool_t xdr_SE_INSTANCE_LOCK(XDR* xdrs, SE_INSTANCE_LOCK* l) {
  return xdr_int(xdrs, &l->value1) && xdr_int16(xdrs, &l->value2) && xdr_int(xdrs, &l->value3);
}

bool_t xdr_SE_INSTANCE_TABLE_LOCK(XDR* xdrs, SE_INSTANCE_TABLE_LOCK* l) {
  return xdr_int(xdrs, &l->value1) && xdr_int(xdrs, &l->value2) && xdr_int16(xdrs, &l->value3);
}

bool_t xdr_SE_INSTANCE_VERSION_LOCK(XDR* xdrs, SE_INSTANCE_VERSION_LOCK* l) {
  return xdr_SE_INSTANCE_TABLE_LOCK(xdrs, l);
}

namespace {

// A text pointer of at most SE_LISTENER_TEXT_MAX characters. xdr_string
// allocates on decode when the pointer is null; a null text encodes as "".
bool_t listener_text(XDR* xdrs, char** text) {
  if (xdrs->x_op == XDR_ENCODE && !*text) {
    char* empty = const_cast<char*>("");
    return xdr_string(xdrs, &empty, SE_LISTENER_TEXT_MAX);
  }
  return xdr_string(xdrs, text, SE_LISTENER_TEXT_MAX);
}

}  // namespace

bool_t xdr_client_user_info(XDR* xdrs, client_user_info* u) {
  return listener_text(xdrs, &u->name1) && listener_text(xdrs, &u->name2);
}

bool_t xdr_req4io(XDR* xdrs, req4io* r) {
  return xdr_id_type(xdrs, &r->id) && listener_text(xdrs, &r->text1) &&
         listener_text(xdrs, &r->text2) && listener_text(xdrs, &r->text3) &&
         xdr_int(xdrs, &r->value1) && xdr_client_user_info(xdrs, &r->user) &&
         xdr_int(xdrs, &r->value2);
}

bool_t xdr_open_res(XDR* xdrs, open_res* r) {
  return int_run(xdrs, r->ids, 3) && xdr_int(xdrs, &r->value) && int_run(xdrs, r->values, 7) &&
         xdr_char_field(xdrs, r->text1, SE_OPEN_RES_TEXT) &&
         xdr_char_field(xdrs, r->text2, SE_OPEN_RES_TEXT);
}

bool_t xdr_open_res_old(XDR* xdrs, open_res_old* r) {
  return int_run(xdrs, r->ids, 4) && int_run(xdrs, r->values, 5);
}

// ---- rasters -----------------------------------------------------------------------

bool_t xdr_RASTERCOLUMN(XDR* xdrs, RASTERCOLUMN* r) {
  if (!xdr_int(xdrs, &r->id) || !xdr_char_field(xdrs, r->description, 64)) return FALSE;
  // The database name goes out as all 32 bytes of its field; a text of up
  // to 32 bytes is accepted back, of which the field keeps 31 and its NUL.
  u_int len = sizeof r->database;
  if (xdrs->x_op == XDR_ENCODE) {
    if (!xdr_u_int(xdrs, &len) || !xdr_opaque(xdrs, r->database, len)) return FALSE;
  } else if (xdrs->x_op == XDR_DECODE) {
    char text[sizeof r->database + 1];
    if (!xdr_u_int(xdrs, &len) || len > sizeof r->database || !xdr_opaque(xdrs, text, len))
      return FALSE;
    memset(r->database, 0, sizeof r->database);
    memcpy(r->database, text, len < sizeof r->database ? len : sizeof r->database - 1);
    r->database[sizeof r->database - 1] = '\0';
  }
  return xdr_char_field(xdrs, r->owner, 32) && xdr_char_field(xdrs, r->table, 160) &&
         xdr_char_field(xdrs, r->column, 32) && xdr_int(xdrs, &r->creation_date) &&
         xdr_int(xdrs, &r->privileges) && xdr_char_field(xdrs, r->config_keyword, 32) &&
         xdr_u_int(xdrs, &r->min_id) && xdr_int(xdrs, &r->value372) && xdr_int(xdrs, &r->mask);
}

bool_t xdr_RASTERBAND(XDR* xdrs, RASTERBAND* b) {
  int32_t* const v[] = {&b->id, &b->sequence, &b->creation_date, &b->last_modified, &b->band_flags,
                        &b->band_types, &b->width, &b->height, &b->block_width, &b->block_height};
  if (!ints(xdrs, v, 10) || !xdr_double(xdrs, &b->block_origin_x) ||
      !xdr_double(xdrs, &b->block_origin_y) || !xdr_int(xdrs, &b->raster_id) ||
      !xdr_int(xdrs, &b->column_id) || !xdr_SE_ENVELOPE(xdrs, &b->envelope) ||
      !xdr_char_field(xdrs, b->description, 64))
    return FALSE;
  if (xdrs->x_op == XDR_DECODE) {
    b->local168[0] = b->local168[1] = 0;
    b->update_mask = 0;
  }
  return TRUE;
}

bool_t xdr_RASTER(XDR* xdrs, RASTER* r) {
  return xdr_int(xdrs, &r->id) && xdr_int(xdrs, &r->column_id) &&
         xdr_char_field(xdrs, r->description, 64);
}

bool_t xdr_RASTERATTR(XDR* xdrs, RASTERATTR* a) {
  int32_t* const head[] = {&a->value4, &a->value8, &a->raster_id, &a->value36, &a->value40,
                           &a->width, &a->height, &a->num_bands, &a->pixel_type,
                           &a->compression, &a->max_level, &a->value80};
  if (!ints(xdrs, head, 12) || !xdr_SE_ENVELOPE(xdrs, &a->envelope)) return FALSE;
  int32_t* const tail[] = {&a->skip_level_one, &a->value76, &a->value72, &a->interpolation};
  return ints(xdrs, tail, 4);
}
