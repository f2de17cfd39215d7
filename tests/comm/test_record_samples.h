// test_record_samples.h -- sample wire records shared by the golden-byte
// tests of both encodings (native images and XDR).
//
// Only the records' values are shared: each test still writes its own
// expected bytes from the layout tables, field by field, so the two
// encodings are checked independently of each other and of the encoders.
// A test that needs another value in a field sets it after taking the
// sample.
#ifndef ZUL_TEST_RECORD_SAMPLES_H
#define ZUL_TEST_RECORD_SAMPLES_H

#include <string.h>

#include "zul_layer.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"

namespace sample {

// Layer 21, "roads" on db.own.roads_tab.shape, envelope 1,2 .. 3,4, grids
// 100, 300 and 900, mask 0x55 over base layer 8; no local word, no
// coordinate reference.
inline LAYER layer() {
  LAYER l;
  memset(&l, 0, sizeof l);
  l.id = 21;
  l.envelope = {1.0, 2.0, 3.0, 4.0};
  strcpy(l.description, "roads");
  l.grid_size[0] = 100.0;
  l.grid_size[1] = 300.0;
  l.grid_size[2] = 900.0;
  l.entity_flags = 0x100002;
  strcpy(l.database, "db");
  strcpy(l.owner, "own");
  strcpy(l.table, "roads_tab");
  strcpy(l.spatial_column, "shape");
  l.creation_date = 1000;
  l.privileges = 9;
  strcpy(l.config_keyword, "KW");
  l.array_size = 100;
  l.stats_date = 2000;
  l.min_shape_id = 0xFFFFFFF0u;
  l.layer_mask = 0x55;
  l.base_layer_id = 8;
  return l;
}

// Registration 12 of db.own.parcels, row id OBJECTID, keyword "KW", view
// "mv"; a registration date with the top bit set.
inline void registration(REGISTRATION* r) {
  memset(r, 0, sizeof *r);
  memcpy(r->tag, "ReG", 4);
  r->id = 12;
  strcpy(r->database, "db");
  strcpy(r->owner, "own");
  strcpy(r->table, "parcels");
  strcpy(r->rowid_column, "OBJECTID");
  strcpy(r->description, "desc");
  r->flags = 0x23;
  r->reg_date = 0x80000001u;
  r->privileges = 7;
  strcpy(r->config_keyword, "KW");
  r->min_id = 5;
  strcpy(r->mv_view, "mv");
}

// State 9 of ZUL, lineage 4 of length 2, created at 100 and closed at 200;
// no tag, no lineage array.
inline STATE state() {
  STATE s;
  memset(&s, 0, sizeof s);
  s.id = 9;
  strcpy(s.owner, "ZUL");
  s.creation_time = 100;
  s.closing_time = 200;
  s.lineage_name = 4;
  s.lineage_length = 2;
  return s;
}

// Version 1 "DEFAULT" of ZUL on state 17, child of "p" (-1), created at 77;
// a status with the top bit set; no tag, description or parent owner.
inline VERSION version() {
  VERSION v;
  memset(&v, 0, sizeof v);
  strcpy(v.name, "DEFAULT");
  strcpy(v.owner, "ZUL");
  v.id = 1;
  v.status = 0x80000000u;
  v.state_id = 17;
  strcpy(v.parent_name, "p");
  v.parent_id = -1;
  v.creation_time = 77;
  return v;
}

// Metadata record 1 of db.own.obj, type 2, value "val", modified at 99; no
// class or property.
inline METADATA_RECORD metadata() {
  METADATA_RECORD md;
  memset(&md, 0, sizeof md);
  md.id = 1;
  strcpy(md.object_name, "obj");
  strcpy(md.object_database, "db");
  strcpy(md.object_owner, "own");
  md.object_type = 2;
  strcpy(md.value, "val");
  strcpy(md.description, "desc");
  md.date_modified = 99;
  return md;
}

// Log file 3 "log1" on parcels.shape with the registration above; no tag.
inline void logfile(LOGFILE* l) {
  memset(l, 0, sizeof *l);
  strcpy(l->name, "log1");
  strcpy(l->target, "parcels");
  strcpy(l->column, "shape");
  l->value_488 = 488;
  l->id = 3;
  l->data_id = 4;
  l->flags = 5;
  l->session_tag = 6;
  l->value_508 = 508;
  registration(&l->registration);
}

// Raster column 3 on db.o.t.r, keyword "k"; no coordinate reference.
inline RASTERCOLUMN rastercolumn() {
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  rc.id = 3;
  strcpy(rc.description, "d");
  strcpy(rc.database, "db");
  strcpy(rc.owner, "o");
  strcpy(rc.table, "t");
  strcpy(rc.column, "r");
  rc.creation_date = 10;
  rc.privileges = 11;
  strcpy(rc.config_keyword, "k");
  rc.min_id = 12;
  rc.value372 = 13;
  rc.mask = 14;
  return rc;
}

// Band 1 (sequence 2) of raster 9, 640 wide, block origin x 0.5, envelope
// 0,0 .. 640,480, "band"; every other field 0.
inline RASTERBAND rasterband() {
  RASTERBAND b;
  memset(&b, 0, sizeof b);
  b.id = 1;
  b.sequence = 2;
  b.width = 640;
  b.block_origin_x = 0.5;
  b.raster_id = 9;
  b.envelope = {0, 0, 640, 480};
  strcpy(b.description, "band");
  return b;
}

}  // namespace sample

#endif  // ZUL_TEST_RECORD_SAMPLES_H
