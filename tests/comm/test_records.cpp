// test_records.cpp -- golden native images of the wire records.
//
// Each expected image is built here from the records' layout tables, offset
// by offset, independently of the encoders; the encoder's bytes must match
// it exactly, and the reader must give back the fields (keeping the
// receiver's local words and pointers). Layouts that depend on the client's
// release or the legacy flag are checked on both sides.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <vector>

#include "native_io.h"
#include "test_record_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An image under construction: little-endian fields at byte offsets.
struct Img {
  Bytes b;
  explicit Img(size_t n) : b(n, 0) {}
  Img& i32(size_t off, uint32_t v) {
    for (int i = 0; i < 4; i++) b.at(off + i) = (uint8_t)(v >> (8 * i));
    return *this;
  }
  Img& i16(size_t off, uint16_t v) {
    b.at(off) = (uint8_t)v;
    b.at(off + 1) = (uint8_t)(v >> 8);
    return *this;
  }
  Img& f64(size_t off, double d) {
    uint64_t u;
    memcpy(&u, &d, 8);
    i32(off, (uint32_t)u);
    return i32(off + 4, (uint32_t)(u >> 32));
  }
  Img& chars(size_t off, const char* s) {
    memcpy(&b.at(off), s, strlen(s));
    return *this;
  }
  Img& append(const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
    return *this;
  }
};

Bytes encode(const std::function<int(zul::ByteMover*)>& write) {
  zul::MemMover m;
  EXPECT_EQ(write(&m), 0);
  return m.bytes();
}

// A string as the native transports send it: length with NUL, bytes, NUL.
Bytes wire_string(const char* s) {
  Img img(4);
  size_t n = strlen(s);
  img.i32(0, n ? (uint32_t)(n + 1) : 0);
  if (n) img.b.insert(img.b.end(), s, s + n + 1);
  return img.b;
}

// Reads bytes with read() and checks that every byte was taken.
void decode(const Bytes& bytes, const std::function<int(zul::ByteMover*)>& read) {
  zul::MemMover m(bytes.data(), bytes.size());
  ASSERT_EQ(read(&m), 0);
  EXPECT_EQ(m.remaining(), 0u);
}

void fill_coordref(COORDREF* c) {
  memset(c, 0, sizeof *c);
  c->local_word = 77;
  c->sg_state = 1;
  double v = 1.5;
  for (double* d : {&c->falsex, &c->falsey, &c->falsez, &c->falsem, &c->xyhalfsu, &c->xyunits,
                    &c->zunits, &c->munits, &c->zhalfsu, &c->xycround, &c->zcround, &c->mcround,
                    &c->mhalfsu})
    *d = (v += 1.0);
  c->srid = 4326;
}

// The expected COORDREF image for fill_coordref, with its text.
Bytes coordref_image(const char* text, bool legacy) {
  Img img(legacy ? 120 : 128);
  img.i32(0, 77).i32(4, 1);
  const size_t offs[] = {8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 104};
  double v = 1.5;
  for (size_t o : offs) img.f64(o, v += 1.0);
  img.i32(116, text && *text ? 1 : 0);
  if (!legacy) img.i32(120, 4326);
  return img.append(wire_string(text ? text : "")).b;
}

// The shared registration with texts that fill more of their fields.
void fill_registration(REGISTRATION* r) {
  sample::registration(r);
  strcpy(r->config_keyword, "DEFAULTS");
  strcpy(r->mv_view, "parcels_mv");
}

void registration_image(Img& img, size_t o) {
  img.chars(o, "ReG").i32(o + 4, 12).chars(o + 8, "db").chars(o + 40, "own").chars(o + 72, "parcels");
  img.chars(o + 232, "OBJECTID").chars(o + 264, "desc").i32(o + 328, 0x23).i32(o + 332, 0x80000001u);
  img.i32(o + 336, 7).chars(o + 340, "DEFAULTS").i32(o + 372, 5).chars(o + 376, "parcels_mv");
}

}  // namespace

TEST(NativeImages, GeometryScalars) {
  ENVELOPE e = {1, -2, 3, 2147483647};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_envelope(m, &e); }),
            Img(16).i32(0, 1).i32(4, (uint32_t)-2).i32(8, 3).i32(12, 2147483647).b);
  POINT3D p = {7, 8, -9};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_point3d(m, &p); }),
            Img(12).i32(0, 7).i32(4, 8).i32(8, (uint32_t)-9).b);
  SE_DATE d = {1, 2, 3, 4, 5, 106, 6, 200, 0};
  Bytes date = encode([&](zul::ByteMover* m) { return nio_write_date(m, &d); });
  Img want(36);
  for (int i = 0; i < 9; i++) want.i32(4 * i, ((const int32_t*)&d)[i]);
  EXPECT_EQ(date, want.b);
  SE_DATE back{};
  decode(date, [&](zul::ByteMover* m) { return nio_read_date(m, &back); });
  EXPECT_EQ(back.year, 106);
  EXPECT_EQ(back.yday, 200);
}

TEST(NativeImages, CoordrefBothLayoutsAndText) {
  for (bool legacy : {false, true}) {
    for (const char* text : {"PROJCS[\"x\"]", ""}) {
      SCOPED_TRACE(std::string(legacy ? "legacy " : "current ") + text);
      COORDREF c;
      fill_coordref(&c);
      c.srtext = const_cast<char*>(text);
      Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_coordref(m, &c, legacy); });
      EXPECT_EQ(bytes, coordref_image(text, legacy));

      COORDREF r{};
      r.local_word = -5;
      r.srtext = strdup("old");
      decode(bytes, [&](zul::ByteMover* m) { return nio_read_coordref(m, &r, legacy); });
      EXPECT_EQ(r.local_word, -5);
      EXPECT_EQ(r.srid, legacy ? 0 : 4326);
      EXPECT_EQ(r.mhalfsu, c.mhalfsu);
      EXPECT_EQ(r.xycround, c.xycround);
      if (*text)
        EXPECT_STREQ(r.srtext, text);
      else
        EXPECT_EQ(r.srtext, nullptr);   // no text: the native reader clears it
      free(r.srtext);
    }
  }
}

TEST(NativeImages, LayerBothLayoutsWithItsCoordref) {
  COORDREF c;
  fill_coordref(&c);
  c.srtext = nullptr;
  LAYER l = sample::layer();
  l.local_word = 3;
  l.grid_size[2] = 0.0;
  l.coordref = &c;
  for (bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "current");
    Img img(legacy ? 448 : 456);
    img.i32(0, 3).i32(4, 21).f64(8, 1.0).f64(16, 2.0).f64(24, 3.0).f64(32, 4.0).chars(40, "roads");
    img.f64(104, 100.0).f64(112, 300.0).f64(120, 0.0).i32(128, 0x100002).chars(132, "db");
    img.chars(164, "own").chars(196, "roads_tab").chars(356, "shape").i32(388, 1000).i32(392, 9);
    img.chars(396, "KW").i32(428, 100).i32(432, 2000).i32(436, 0xFFFFFFF0u).i32(440, 1);
    if (!legacy) img.i32(444, 0x55).i32(448, 8);
    img.append(coordref_image(nullptr, legacy));
    Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_layer(m, &l, legacy); });
    EXPECT_EQ(bytes, img.b);

    COORDREF rc{};
    LAYER r;
    memset(&r, 0, sizeof r);
    r.local_word = 99;
    r.coordref = &rc;
    r.layer_mask = r.base_layer_id = -1;
    decode(bytes, [&](zul::ByteMover* m) { return nio_read_layer(m, &r, legacy); });
    EXPECT_EQ(r.local_word, 99);
    EXPECT_EQ(r.coordref, &rc);
    EXPECT_STREQ(r.table, "roads_tab");
    EXPECT_EQ(r.min_shape_id, 0xFFFFFFF0u);
    EXPECT_EQ(r.layer_mask, legacy ? 0 : 0x55);
    EXPECT_EQ(r.base_layer_id, legacy ? 0 : 8);
    EXPECT_EQ(rc.srid, legacy ? 0 : 4326);
  }
}

TEST(NativeImages, StatisticsAndSpatialReference) {
  LAYER_STATS s;
  memset(&s, 0, sizeof s);
  s.layer_id = 4;
  for (int i = 0; i < 9; i++) s.counts[i] = 10 + i;
  s.total = 99;
  s.envelope = {-1.0, -2.0, 5.0, 6.0};
  s.last_modified = 123;
  s.min_fid = 1;
  s.max_fid = 50;
  s.min_points = 2;
  s.max_points = 900;
  s.min_area = 0.5;
  s.avg_length = 7.25;
  Img img(160);
  img.i32(0, 4);
  for (int i = 0; i < 9; i++) img.i32(4 + 4 * i, 10 + i);
  img.i32(40, 99).f64(48, -1.0).f64(56, -2.0).f64(64, 5.0).f64(72, 6.0).i32(80, 123);
  img.i32(84, 1).i32(88, 50).i32(92, 2).i32(96, 900).f64(104, 0.5).f64(152, 7.25);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_layer_stats(m, &s); }), img.b);

  S_INDEX_STATS si;
  memset(&si, 0, sizeof si);
  strcpy(si.table, "t");
  strcpy(si.column, "c");
  si.levels = 2;
  si.grid[0].features = 11;
  si.grid[2].features_inside = 33;
  Img simg(420);
  simg.chars(0, "t").chars(226, "c").i32(260, 2).i32(264, 11).i32(368 + 48, 33);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_index_stats(m, &si); }), simg.b);

  COORDREF c;
  fill_coordref(&c);
  c.srtext = const_cast<char*>("GEOGCS[]");
  SE_SPATIALREF sr;
  memset(&sr, 0, sizeof sr);
  sr.srid = 5;
  strcpy(sr.description, "wgs");
  strcpy(sr.auth_name, "EPSG");
  sr.auth_srid = 4326;
  sr.coordref = &c;
  Img srimg(336);
  srimg.i32(4, 5).chars(8, "wgs").chars(72, "EPSG").i32(328, 4326).i32(332, 1);
  srimg.append(coordref_image("GEOGCS[]", false));
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_spatialref(m, &sr); }), srimg.b);
}

TEST(NativeImages, ReleaseAndItsLegacyRead) {
  RELEASE r = {8, 3, 0, "DB2 Build 1", 83002};
  Img img(112);
  img.i32(0, 8).i32(4, 3).chars(12, "DB2 Build 1").i32(108, 83002);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_release(m, &r); }), img.b);

  Img old(80);
  old.i32(0, 3).i32(4, 1).i32(8, 2).chars(12, "old server").i32(76, 31000);
  RELEASE back;
  memset(&back, 'x', sizeof back);
  decode(old.b, [&](zul::ByteMover* m) { return nio_read_release(m, &back, 1); });
  EXPECT_EQ(back.major, 3);
  EXPECT_EQ(back.bug, 2);
  EXPECT_STREQ(back.description, "old server");
  EXPECT_EQ(back.release, 31000);
}

TEST(NativeImages, ColumnDefinitionsBothLayouts) {
  COLUMN_DEF c;
  memset(&c, 0, sizeof c);
  strcpy(c.name, "NAME");
  c.type = SE_STRING;
  c.size = 40;
  c.decimals = 2;
  c.nullable = 1;
  c.rowid_kind = SE_ROWID_BY_USER;
  for (bool legacy : {false, true}) {
    Img img(legacy ? 48 : 52);
    img.chars(0, "NAME").i32(32, 5).i32(36, 40).i16(40, 2).i32(44, 1);
    if (!legacy) img.i16(48, 2);
    Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_column_def(m, &c, legacy); });
    EXPECT_EQ(bytes, img.b) << legacy;
    COLUMN_DEF r{};
    decode(bytes, [&](zul::ByteMover* m) { return nio_read_column_def(m, &r, legacy); });
    EXPECT_EQ(r.rowid_kind, legacy ? SE_ROWID_NONE : SE_ROWID_BY_USER) << legacy;
    EXPECT_EQ(r.decimals, 2);
  }
  INPUT_DESC d = {3, -4};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_input_desc(m, &d); }),
            Img(8).i32(0, 3).i32(4, (uint32_t)-4).b);
}

TEST(NativeImages, FiltersBothLayoutsAndKinds) {
  FEATURE_STRUCT shape{};
  SPATIAL_FILTER f;
  memset(&f, 0, sizeof f);
  strcpy(f.table, "parcels");
  strcpy(f.column, "shape");
  f.filter_type = SE_SHAPE_FILTER;
  f.filter.shape = &shape;
  f.method = SM_CBM;
  f.truth = 1;
  f.cbm = const_cast<char*>("T********");
  for (bool legacy : {false, true}) {
    Img img(legacy ? 504 : 512);
    img.chars(0, "parcels").chars(226, "shape").i32(260, 1).i32(264, 1).i32(496, 16).i32(500, 1);
    if (!legacy) img.i32(508, 1);
    EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_filter_image(m, &f, legacy); }), img.b)
        << legacy;
  }
  SPATIAL_FILTER idf;
  memset(&idf, 0, sizeof idf);
  strcpy(idf.table, "a");
  idf.filter_type = SE_ID_FILTER;
  idf.filter.id = 4711;
  strcpy(idf.id_table, "b");
  Img img(512);
  img.chars(0, "a").i32(260, 2).i32(264, 4711).chars(268, "b");
  Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_filter_image(m, &idf, 0); });
  EXPECT_EQ(bytes, img.b);
  SPATIAL_FILTER back{};
  decode(bytes, [&](zul::ByteMover* m) { return nio_read_filter_image(m, &back, 0); });
  EXPECT_EQ(back.filter.id, 4711);
  EXPECT_STREQ(back.id_table, "b");
}

TEST(NativeImages, FeatureShapePart) {
  POINT pts[1] = {{5, 6}};
  int32_t z[1] = {1};
  FEATURE_STRUCT f{};
  f.sg_state = 3;
  f.value = -7;
  f.fid = 42;
  f.numofpts = 1;
  f.entity = SG_POINT_SHAPE;
  f.envelope = {5, 6, 5, 6};
  f.values[3] = 9;
  f.allocpts = 1;
  f.area = 0.0;
  f.length = 2.5;
  f.points = pts;
  f.z = z;
  f.sg_words[1] = 0x1234;
  Img img(96);
  img.i32(0, 3).i32(4, (uint32_t)-7).i32(8, 42).i32(12, 1).i16(16, 1).i32(20, 5).i32(24, 6);
  img.i32(28, 5).i32(32, 6).i32(48, 9).i32(52, 1).f64(64, 2.5).i32(72, 1).i32(76, 1).i32(88, 0x1234);
  Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_feature_image(m, &f); });
  EXPECT_EQ(bytes, img.b);

  FEATURE_STRUCT r{};
  r.allocpts = 50;   // the receiver's own capacity survives
  int32_t present = 0;
  decode(bytes, [&](zul::ByteMover* m) { return nio_read_feature_image(m, &r, &present); });
  EXPECT_EQ(present, NIO_FEATURE_HAS_POINTS | NIO_FEATURE_HAS_Z);
  EXPECT_EQ(r.allocpts, 50);
  EXPECT_EQ(r.points, nullptr);
  EXPECT_EQ(r.fid, 42u);
  EXPECT_EQ(r.envelope.maxy, 6);
}

TEST(NativeImages, RegistrationVersionAndLogfile) {
  REGISTRATION reg;
  fill_registration(&reg);
  Img img(536);
  registration_image(img, 0);
  Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_registration(m, &reg); });
  EXPECT_EQ(bytes, img.b);
  REGISTRATION back;
  decode(bytes, [&](zul::ByteMover* m) { return nio_read_registration(m, &back); });
  EXPECT_EQ(memcmp(&back, &reg, sizeof reg), 0);

  VERSION v = sample::version();
  memcpy(v.tag, "VeR", 4);
  strcpy(v.description, "d");
  strcpy(v.parent_owner, "po");
  Img vimg(280);
  vimg.chars(0, "VeR").chars(4, "DEFAULT").chars(68, "ZUL").i32(100, 1).i32(104, 0x80000000u);
  vimg.i32(108, 17).chars(112, "d").chars(176, "p").chars(240, "po").i32(272, (uint32_t)-1).i32(276, 77);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_version(m, &v); }), vimg.b);

  LOGFILE l;
  sample::logfile(&l);
  memcpy(l.tag, "LoG", 4);
  fill_registration(&l.registration);
  Img limg(1048);
  limg.chars(0, "LoG").chars(4, "log1").chars(230, "parcels").chars(456, "shape").i32(488, 488);
  limg.i32(492, 3).i32(496, 4).i32(500, 5).i32(504, 6).i32(508, 508);
  registration_image(limg, 512);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_logfile(m, &l); }), limg.b);
}

TEST(NativeImages, StateAndMetadataOnBothSidesOfTheReleaseBoundary) {
  uint8_t lineage[3] = {2, 5, 6};
  STATE s = sample::state();
  memcpy(s.tag, "StA", 4);
  s.lineage = lineage;
  for (bool older : {false, true}) {
    Img img(older ? 56 : 60);
    img.chars(0, "StA").i32(4, 9).chars(8, "ZUL").i32(40, 100).i32(44, 200);
    if (older)
      img.i32(48, 2);
    else
      img.i32(48, 4).i32(52, 2).i32(56, 1);
    Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_state(m, &s, older); });
    EXPECT_EQ(bytes, img.b) << older;
    STATE r{};
    decode(bytes, [&](zul::ByteMover* m) { return nio_read_state(m, &r, older); });
    EXPECT_EQ(r.lineage_name, older ? 9 : 4);
    EXPECT_EQ(r.lineage, nullptr);
    EXPECT_EQ(r.lineage_length, 2);
  }

  METADATA_RECORD md = sample::metadata();
  strcpy(md.class_name, "cls");
  strcpy(md.property, "prop");
  for (bool older : {false, true}) {
    size_t k = older ? 32 : 0;
    Img img(older ? 592 : 624);
    img.i32(4, 1).chars(8, "obj");
    if (!older) img.chars(168, "db");
    img.chars(200 - k, "own").i32(232 - k, 2).chars(236 - k, "cls").chars(268 - k, "prop");
    img.chars(300 - k, "val").chars(555 - k, "desc").i32(620 - k, 99);
    Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_metadata(m, &md, older); });
    EXPECT_EQ(bytes, img.b) << older;
    METADATA_RECORD r;
    memset(&r, 'x', sizeof r);
    decode(bytes, [&](zul::ByteMover* m) { return nio_read_metadata(m, &r, older); });
    EXPECT_STREQ(r.object_database, older ? "" : "db");
    EXPECT_STREQ(r.description, "desc");
    EXPECT_EQ(r.date_modified, 99u);
  }
}

TEST(NativeImages, LocatorAndLocks) {
  LOCATOR loc;
  memset(&loc, 0, sizeof loc);
  loc.id = 6;
  strcpy(loc.name, "n");
  strcpy(loc.owner, "o");
  strcpy(loc.category, "c");
  loc.type = 2;
  strcpy(loc.description, "d");
  loc.property_count = 0;
  Img img(184);
  img.i32(4, 6).chars(8, "n").chars(40, "o").chars(72, "c").i32(104, 2).chars(108, "d");
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_locator(m, &loc); }), img.b);
  img.i32(172, (uint32_t)-3);   // a hostile property count
  LOCATOR r{};
  zul::MemMover bad(img.b.data(), img.b.size());
  EXPECT_EQ(nio_read_locator(&bad, &r), -1);

  SE_LAYER_LOCKS ll = {"alice", 2, {1.0, 2.0, 3.0, 4.0}};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_layer_lock(m, &ll); }),
            Img(72).chars(0, "alice").i32(36, 2).f64(40, 1.0).f64(48, 2.0).f64(56, 3.0).f64(64, 4.0).b);
  SE_TABLE_LOCK tl = {"bob", 3};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_table_lock(m, &tl); }),
            Img(40).chars(0, "bob").i32(36, 3).b);
  SE_OBJECT_LOCK ol = {0, 1234, "carol", 5, 6, 7, 8, 0};
  Bytes olb = encode([&](zul::ByteMover* m) { return nio_write_object_lock(m, &ol); });
  EXPECT_EQ(olb, Img(56).i32(4, 1234).chars(8, "carol").i32(40, 5).i32(44, 6).i32(48, 7).i16(52, 8).b);
}

TEST(NativeImages, RasterRecords) {
  COORDREF c;
  fill_coordref(&c);
  c.srtext = nullptr;
  RASTERCOLUMN rc = sample::rastercolumn();
  for (bool with_ref : {true, false}) {
    rc.coordref = with_ref ? &c : nullptr;
    Img img(384);
    img.i32(4, 3).chars(8, "d").chars(72, "db").chars(104, "o").chars(136, "t").chars(296, "r");
    img.i32(328, 10).i32(332, 11).chars(336, "k").i32(368, 12).i32(372, 13).i32(376, 14);
    img.i32(380, with_ref ? 1 : 0);
    if (with_ref) img.append(coordref_image(nullptr, false));
    Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_rastercolumn(m, &rc); });
    EXPECT_EQ(bytes, img.b) << with_ref;
    // A receiver that had no reference gets one; one that had one loses it.
    RASTERCOLUMN r{};
    if (!with_ref) {
      ASSERT_EQ(SgCoordRefCreate(&r.coordref), 0);
    }
    decode(bytes, [&](zul::ByteMover* m) { return nio_read_rastercolumn(m, &r); });
    EXPECT_EQ(r.coordref != nullptr, with_ref);
    if (r.coordref) {
      EXPECT_EQ(r.coordref->srid, 4326);
      SgCoordRefFree(r.coordref);
    }
  }

  RASTERBAND b = sample::rasterband();
  b.band_flags = 0x50007;
  b.band_types = 0x80400;
  b.block_height = 128;
  b.column_id = 10;
  b.local168[0] = b.local168[1] = 55;
  b.value176 = 176;
  b.update_mask = 3;
  Img bimg(184);
  bimg.i32(4, 1).i32(8, 2).i32(20, 0x50007).i32(24, 0x80400).i32(28, 640).i32(40, 128).f64(48, 0.5);
  bimg.i32(64, 9).i32(68, 10).f64(88, 640).f64(96, 480).chars(104, "band").i32(168, 55).i32(172, 55);
  bimg.i32(176, 176).i32(180, 3);
  Bytes bb = encode([&](zul::ByteMover* m) { return nio_write_rasterband(m, &b); });
  EXPECT_EQ(bb, bimg.b);
  RASTERBAND br;
  memset(&br, 0x11, sizeof br);
  decode(bb, [&](zul::ByteMover* m) { return nio_read_rasterband(m, &br); });
  EXPECT_EQ(br.local168[0], 0);
  EXPECT_EQ(br.local168[1], 0);
  EXPECT_EQ(br.update_mask, 0);
  EXPECT_EQ(br.value176, 176);

  RASTER ras = {0, 4, 5, "raster"};
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_raster(m, &ras); }),
            Img(76).i32(4, 4).i32(8, 5).chars(12, "raster").b);

  RASTERATTR a;
  memset(&a, 0, sizeof a);
  a.value4 = 1;
  a.raster_id = 3;
  a.width = 44;
  a.interpolation = 88;
  a.envelope = {1, 2, 3, 4};
  a.tile_origin_y = 9.5;
  Img aimg(160);
  aimg.i32(4, 1).i32(12, 3).i32(44, 44).i32(88, 88).f64(112, 1).f64(120, 2).f64(128, 3).f64(136, 4);
  aimg.f64(152, 9.5);
  EXPECT_EQ(encode([&](zul::ByteMover* m) { return nio_write_rasterattr(m, &a); }), aimg.b);
}

TEST(NativeImages, RasterConstraintBandsAreBounded) {
  int32_t bands[2] = {1, 3};
  RASCONSTRAINT c = {0, 2, 2, bands, 16, 20, 24, 28, 32, 0};
  Img img(40);
  img.i32(4, 2).i32(8, 2).i32(12, 1).i32(16, 16).i32(20, 20).i32(24, 24).i32(28, 28).i32(32, 32);
  img.append(Img(8).i32(0, 1).i32(4, 3).b);
  Bytes bytes = encode([&](zul::ByteMover* m) { return nio_write_rasconstraint(m, &c); });
  EXPECT_EQ(bytes, img.b);
  RASCONSTRAINT* r = nullptr;
  decode(bytes, [&](zul::ByteMover* m) { return nio_read_rasconstraint(m, &r); });
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->bands[1], 3);
  EXPECT_EQ(r->max_row, 32);
  SES_rasconstraint_free(r);

  const struct { const char* name; int32_t count; size_t cut; } kBad[] = {
      {"negative band count", -1, 0},
      {"band count beyond the limit", 1 << 30, 0},
      {"band numbers cut short", 2, 4},
  };
  for (const auto& bad : kBad) {
    Img h = img;
    h.i32(8, (uint32_t)bad.count);
    h.b.resize(h.b.size() - bad.cut);
    zul::MemMover m(h.b.data(), h.b.size());
    RASCONSTRAINT* out = nullptr;
    EXPECT_EQ(nio_read_rasconstraint(&m, &out), -1) << bad.name;
    EXPECT_EQ(out, nullptr) << bad.name;
  }
}

TEST(NativeStrings, LengthsAreCheckedAgainstCapacity) {
  Bytes two = wire_string("a");
  EXPECT_EQ(two, Img(4).i32(0, 2).append({'a', 0}).b);
  EXPECT_EQ(wire_string(""), Img(4).b);
  zul::MemMover out;
  ASSERT_EQ(nio_write_string(&out, "a"), 0);
  EXPECT_EQ(out.bytes(), two);

  // A string longer than the buffer is drained: the next item still reads.
  Bytes stream = wire_string("abcdefgh");
  Bytes tail = Img(4).i32(0, 77).b;
  stream.insert(stream.end(), tail.begin(), tail.end());
  zul::MemMover in(stream.data(), stream.size());
  char small[4];
  EXPECT_EQ(nio_read_string(&in, small, sizeof small), -1);
  int32_t next = 0;
  EXPECT_EQ(nio_read_long(&in, &next), 0);
  EXPECT_EQ(next, 77);

  Bytes hostile = Img(4).i32(0, 0x7FFFFFFF).b;
  zul::MemMover h(hostile.data(), hostile.size());
  char* text = nullptr;
  EXPECT_EQ(nio_read_dynamic_string(&h, &text, 1024), -1);
  EXPECT_EQ(text, nullptr);
}
