// test_xdr.cpp -- the XDR form of the wire records and the memory-stream
// operations.
//
// Expected bytes are written here with plain libtirpc calls in the field
// order of the layout tables; our encoder must produce exactly those bytes,
// and our decoder must read them back (checked by encoding the decoded
// record again). One test also reads our bytes back with plain calls.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_record_samples.h"
#include "xdrmemio.h"
#include "zul_xdr.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes written with libtirpc's own primitives.
struct Plain {
  std::vector<char> buf = std::vector<char>(16384);
  XDR x;
  Plain() { xdrmem_create(&x, buf.data(), (u_int)buf.size(), XDR_ENCODE); }
  ~Plain() { xdr_destroy(&x); }
  Plain& i(int v) { EXPECT_TRUE(xdr_int(&x, &v)); return *this; }
  Plain& u(u_int v) { EXPECT_TRUE(xdr_u_int(&x, &v)); return *this; }
  Plain& h(short v) { EXPECT_TRUE(xdr_short(&x, &v)); return *this; }
  Plain& d(double v) { EXPECT_TRUE(xdr_double(&x, &v)); return *this; }
  Plain& s(const char* t, u_int max) {
    char* p = const_cast<char*>(t);
    EXPECT_TRUE(xdr_string(&x, &p, max));
    return *this;
  }
  Bytes bytes() { return Bytes(buf.begin(), buf.begin() + xdr_getpos(&x)); }
};

template <class R>
Bytes ours(bool_t (*enc)(XDR*, R*), R* rec) {
  std::vector<char> buf(16384);
  XDR x;
  xdrmem_create(&x, buf.data(), (u_int)buf.size(), XDR_ENCODE);
  EXPECT_TRUE(enc(&x, rec));
  Bytes out(buf.begin(), buf.begin() + xdr_getpos(&x));
  xdr_destroy(&x);
  return out;
}

template <class R>
bool_t decode_ours(bool_t (*enc)(XDR*, R*), const Bytes& bytes, R* rec) {
  Bytes copy = bytes;
  XDR x;
  xdrmem_create(&x, (char*)copy.data(), (u_int)copy.size(), XDR_DECODE);
  bool_t ok = enc(&x, rec);
  if (ok) {
    EXPECT_EQ(xdr_getpos(&x), copy.size()) << "bytes left over";
  }
  xdr_destroy(&x);
  return ok;
}

// The whole check for one record: our bytes equal the plain ones, and the
// plain bytes decode into a record that encodes to them again.
template <class R>
void check(const char* name, bool_t (*enc)(XDR*, R*), R rec, const Bytes& want, R* back = nullptr) {
  SCOPED_TRACE(name);
  EXPECT_EQ(ours(enc, &rec), want);
  R local;
  R* r = back ? back : &local;
  if (!back) memset(r, 0, sizeof *r);
  ASSERT_TRUE(decode_ours(enc, want, r));
  EXPECT_EQ(ours(enc, r), want);
}

void fill_coordref(COORDREF* c, const char* text) {
  memset(c, 0, sizeof *c);
  double v = 0.25;
  for (double* d : {&c->falsex, &c->falsey, &c->xyunits, &c->xycround, &c->falsez, &c->zunits,
                    &c->zcround, &c->falsem, &c->munits, &c->mcround, &c->xyhalfsu, &c->zhalfsu,
                    &c->mhalfsu})
    *d = (v += 1.0);
  c->srtext = text ? strdup(text) : nullptr;
  c->srid = 26915;
}

// The coordinate reference of fill_coordref as plain calls write it.
void plain_coordref(Plain& p, const char* text, bool legacy) {
  double v = 0.25;
  for (int k = 0; k < 13; k++) p.d(v += 1.0);
  u_int len = text ? (u_int)strlen(text) : 0;
  p.u(len);
  if (len) p.s(text, len + 1);
  if (!legacy) p.i(26915);
}

void plain_registration(Plain& p) {
  p.i(12).s("db", 32).s("parcels", 160).s("own", 32).s("OBJECTID", 32).s("desc", 64).s("KW", 32);
  p.i(0x23).u(0x80000001u).i(7).u(5).s("mv", 160);
}

}  // namespace

TEST(XdrRecords, GeometryRecords) {
  check("ENVELOPE", xdr_ENVELOPE, ENVELOPE{1, -2, 3, 4}, Plain().i(1).i(-2).i(3).i(4).bytes());
  check("SE_ENVELOPE", xdr_SE_ENVELOPE, SE_ENVELOPE{0.5, -1, 2, 3}, Plain().d(0.5).d(-1).d(2).d(3).bytes());
  check("POINT", xdr_POINT, POINT{7, 8}, Plain().i(7).i(8).bytes());
  check("POINT3D", xdr_POINT3D, POINT3D{7, 8, -9}, Plain().i(7).i(8).i(-9).bytes());
  check("SE_DATE", xdr_SE_DATE, SE_DATE{1, 2, 3, 4, 5, 106, 6, 7, 1},
        Plain().i(1).i(2).i(3).i(4).i(5).i(106).i(6).i(7).i(1).bytes());

  POINT pts[2] = {{1, 2}, {3, 4}};
  int32_t m[2] = {5, 6};
  FEATURE_STRUCT f{};
  f.value = -1;
  f.fid = 0xFFFFFFFEu;
  f.numofpts = 2;
  f.entity = SG_LINE_SHAPE;
  f.envelope = {1, 2, 3, 4};
  f.values[0] = 10;
  f.area = 0;
  f.length = 2.5;
  f.points = pts;
  f.m = m;
  Plain want;
  want.i(-1).u(0xFFFFFFFEu).i(2).h(2).i(1).i(2).i(3).i(4).i(10).i(0).i(0).i(0).d(0).d(2.5);
  want.u(1).u(0).u(1).u(0);
  EXPECT_EQ(ours(xdr_FEATURE_STRUCT, &f), want.bytes());
  FEATURE_STRUCT back{};
  int32_t present = 0;
  Bytes wb = want.bytes();
  XDR x;
  xdrmem_create(&x, (char*)wb.data(), (u_int)wb.size(), XDR_DECODE);
  ASSERT_TRUE(xdr_FEATURE_STRUCT_present(&x, &back, &present));
  xdr_destroy(&x);
  EXPECT_EQ(present, NIO_FEATURE_HAS_POINTS | NIO_FEATURE_HAS_M);
  EXPECT_EQ(back.points, nullptr);   // a received word never becomes a pointer
  EXPECT_EQ(back.m, nullptr);
  EXPECT_EQ(back.length, 2.5);
}

TEST(XdrRecords, CoordrefBothLayoutsAndItsText) {
  for (bool legacy : {false, true}) {
    for (const char* text : {"PROJCS[\"UTM\"]", (const char*)nullptr}) {
      SCOPED_TRACE(std::string(legacy ? "legacy " : "current ") + (text ? text : "no text"));
      COORDREF c;
      fill_coordref(&c, text);
      Plain want;
      plain_coordref(want, text, legacy);
      auto enc = legacy ? xdr_COORDREF_legacy : xdr_COORDREF;
      EXPECT_EQ(ours(enc, &c), want.bytes());
      COORDREF r{};
      r.srtext = strdup("kept");
      r.srid = -1;
      ASSERT_TRUE(decode_ours(enc, want.bytes(), &r));
      EXPECT_STREQ(r.srtext, text ? text : "kept");   // no text: the receiver keeps its own
      EXPECT_EQ(r.srid, legacy ? 0 : 26915);
      EXPECT_EQ(r.mhalfsu, c.mhalfsu);
      free(r.srtext);
      free(c.srtext);
    }
  }
}

TEST(XdrRecords, LayerBothLayouts) {
  LAYER l = sample::layer();
  Plain cur, leg;
  for (Plain* p : {&cur, &leg}) {
    p->i(21).s("roads", 64).d(100).d(300).d(900).d(1).d(2).d(3).d(4).i(0x100002).s("db", 32);
    p->s("roads_tab", 160).s("own", 32).s("shape", 32).i(1000).i(9).s("KW", 32).i(100).i(2000);
    p->u(0xFFFFFFF0u);
  }
  cur.i(0x55).i(8);
  check("current", xdr_LAYER, l, cur.bytes());
  LAYER back = sample::layer();
  check("legacy", xdr_LAYER_legacy, l, leg.bytes(), &back);
  EXPECT_EQ(back.layer_mask, 0);
  EXPECT_EQ(back.base_layer_id, 0);
}

// Our bytes read back with nothing but libtirpc calls.
TEST(XdrRecords, OurLayerBytesDecodeWithPlainCalls) {
  LAYER l = sample::layer();
  Bytes bytes = ours(xdr_LAYER, &l);
  XDR x;
  xdrmem_create(&x, (char*)bytes.data(), (u_int)bytes.size(), XDR_DECODE);
  int id, flags, cdate, priv, asize, sdate, mask, base;
  u_int minid;
  double g[3], e[4];
  char *desc = nullptr, *db = nullptr, *table = nullptr, *owner = nullptr, *col = nullptr, *kw = nullptr;
  ASSERT_TRUE(xdr_int(&x, &id) && xdr_string(&x, &desc, 64) && xdr_double(&x, &g[0]) &&
              xdr_double(&x, &g[1]) && xdr_double(&x, &g[2]) && xdr_double(&x, &e[0]) &&
              xdr_double(&x, &e[1]) && xdr_double(&x, &e[2]) && xdr_double(&x, &e[3]) &&
              xdr_int(&x, &flags) && xdr_string(&x, &db, 32) && xdr_string(&x, &table, 160) &&
              xdr_string(&x, &owner, 32) && xdr_string(&x, &col, 32) && xdr_int(&x, &cdate) &&
              xdr_int(&x, &priv) && xdr_string(&x, &kw, 32) && xdr_int(&x, &asize) &&
              xdr_int(&x, &sdate) && xdr_u_int(&x, &minid) && xdr_int(&x, &mask) && xdr_int(&x, &base));
  EXPECT_EQ(xdr_getpos(&x), bytes.size());
  EXPECT_EQ(id, 21);
  EXPECT_STREQ(desc, "roads");
  EXPECT_EQ(g[2], 900);
  EXPECT_EQ(e[3], 4);
  EXPECT_STREQ(table, "roads_tab");
  EXPECT_STREQ(owner, "own");
  EXPECT_EQ(minid, 0xFFFFFFF0u);
  EXPECT_EQ(mask, 0x55);
  EXPECT_EQ(base, 8);
  for (char* s : {desc, db, table, owner, col, kw}) free(s);
  xdr_destroy(&x);
}

TEST(XdrRecords, StatisticsReleaseColumnsAndInput) {
  LAYER_STATS s;
  memset(&s, 0, sizeof s);
  s.layer_id = 4;
  for (int i = 0; i < 9; i++) s.counts[i] = 10 + i;
  s.total = 99;
  s.envelope = {-1, -2, 5, 6};
  s.last_modified = 123;
  s.max_points = 900;
  s.avg_length = 7.25;
  Plain ls;
  ls.i(4);
  for (int i = 0; i < 9; i++) ls.i(10 + i);
  ls.i(99).d(-1).d(-2).d(5).d(6).i(123).i(0).i(0).i(0).i(900);
  for (int i = 0; i < 6; i++) ls.d(0);
  ls.d(7.25);
  check("LAYER_STATS", xdr_LAYER_STATS, s, ls.bytes());

  S_INDEX_STATS si;
  memset(&si, 0, sizeof si);
  strcpy(si.table, "t");
  strcpy(si.column, "c");
  si.levels = 3;
  for (int g = 0; g < 3; g++) si.grid[g].cells = 100 + g;
  Plain sp;
  sp.s("t", 226).s("c", 32).i(3);
  for (int g = 0; g < 3; g++) {
    for (int k = 0; k < 11; k++) sp.i(0);
    sp.i(100 + g).i(0);
  }
  check("S_INDEX_STATS", xdr_S_INDEX_STATS, si, sp.bytes());

  RELEASE r8 = {8, 3, 0, "DB2 8.3", 83002};
  check("release major 8", xdr_RELEASE, r8, Plain().i(8).i(3).i(0).s("DB2 8.3", 96).i(83002).bytes());
  RELEASE r3 = {3, 1, 2, "old", 31000};
  Plain p3;
  p3.i(3).i(1).i(2);
  for (int k = 0; k < 64; k++) p3.i(k < 3 ? "old"[k] : 0);
  p3.i(31000);
  check("release major 3", xdr_RELEASE, r3, p3.bytes());

  COLUMN_DEF c = {"NAME", SE_STRING, 40, 2, 0, 1, SE_ROWID_BY_USER, 0};
  check("COLUMN_DEF", xdr_COLUMN_DEF, c, Plain().s("NAME", 32).i(5).i(40).h(2).i(1).h(2).bytes());
  Plain legacy;
  for (int k = 0; k < 32; k++) legacy.i(k < 4 ? "NAME"[k] : 0);
  legacy.i(5).i(40).h(2).i(1);
  COLUMN_DEF back{};
  check("COLUMN_DEF legacy", xdr_COLUMN_DEF_legacy, c, legacy.bytes(), &back);
  EXPECT_EQ(back.rowid_kind, SE_ROWID_NONE);
  check("INPUT_DESC", xdr_INPUT_DESC, INPUT_DESC{3, -4}, Plain().i(3).i(-4).bytes());

  COORDREF cr;
  fill_coordref(&cr, "GEOGCS[]");
  SE_SPATIALREF sr;
  memset(&sr, 0, sizeof sr);
  sr.srid = 5;
  strcpy(sr.description, "wgs");
  strcpy(sr.auth_name, "EPSG");
  sr.auth_srid = 4326;
  sr.coordref = &cr;
  Plain srp;
  srp.i(5).s("wgs", 64).s("EPSG", 256).i(4326);
  plain_coordref(srp, "GEOGCS[]", false);
  COORDREF rcr{};
  SE_SPATIALREF srb{};
  srb.coordref = &rcr;
  check("SE_SPATIALREF", xdr_SE_SPATIALREF, sr, srp.bytes(), &srb);
  free(rcr.srtext);
  free(cr.srtext);
}

TEST(XdrRecords, RegistryRecordsOnBothSidesOfTheReleaseBoundary) {
  REGISTRATION reg;
  sample::registration(&reg);
  Plain rp;
  plain_registration(rp);
  check("REGISTRATION", xdr_REGISTRATION, reg, rp.bytes());

  STATE s = sample::state();
  check("STATE", xdr_STATE, s, Plain().i(9).i(4).s("ZUL", 32).u(100).u(200).i(2).bytes());
  STATE sb{};
  check("STATE older", xdr_STATE_older, s, Plain().i(9).s("ZUL", 32).u(100).u(200).i(2).bytes(), &sb);
  EXPECT_EQ(sb.lineage_name, 9);

  VERSION v = sample::version();
  check("VERSION", xdr_VERSION, v,
        Plain().s("DEFAULT", 64).s("ZUL", 32).i(1).u(0x80000000u).i(17).s("", 64).s("p", 64).s("", 32)
            .i(-1).u(77).bytes());

  LOGFILE l;
  sample::logfile(&l);
  Plain lp;
  lp.s("log1", 226).s("parcels", 226).s("shape", 32).i(3).i(4).i(5).u(6).i(508).i(488);
  plain_registration(lp);
  check("LOGFILE", xdr_LOGFILE, l, lp.bytes());

  METADATA_RECORD md = sample::metadata();
  check("METADATA", xdr_METADATA_RECORD, md,
        Plain().i(1).s("obj", 160).s("db", 32).s("own", 32).i(2).s("", 32).s("", 32).s("val", 255)
            .s("desc", 64).u(99).bytes());
  METADATA_RECORD mb;
  memset(&mb, 'x', sizeof mb);
  check("METADATA older", xdr_METADATA_RECORD_older, md,
        Plain().i(1).s("obj", 160).s("own", 32).i(2).s("", 32).s("", 32).s("val", 255).s("desc", 64)
            .u(99).bytes(),
        &mb);
  EXPECT_STREQ(mb.object_database, "");
}

TEST(XdrRecords, LockAndListenerRecords) {
  check("SE_LAYER_LOCKS", xdr_SE_LAYER_LOCKS, SE_LAYER_LOCKS{"alice", 2, {1, 2, 3, 4}},
        Plain().s("alice", 36).i(2).d(1).d(2).d(3).d(4).bytes());
  check("SE_TABLE_LOCK", xdr_SE_TABLE_LOCK, SE_TABLE_LOCK{"bob", 3}, Plain().s("bob", 36).i(3).bytes());
  check("SE_OBJECT_LOCK", xdr_SE_OBJECT_LOCK, SE_OBJECT_LOCK{0, 1234, "carol", 5, 6, 7, 8, 0},
        Plain().i(1234).s("carol", 32).i(5).i(6).i(7).h(8).bytes());

  SE_INSTANCE_CONFIG cfg;
  memset(&cfg, 0, sizeof cfg);
  int32_t* settings = &cfg.max_connections;
  for (int i = 0; i < 27; i++) settings[i] = 100 + i;
  strcpy(cfg.home_path, "/home");
  strcpy(cfg.log_path, "UNUSED");
  strcpy(cfg.tmp_path, "/tmp");
  cfg.dbms_kind = 1644;
  cfg.value_1648 = 1648;
  cfg.value_1652 = 1652;
  cfg.state_caching = 1656;
  cfg.tcp_keepalive = 1660;
  cfg.flag_1664 = 1664;
  Plain cp;
  for (int i = 0; i < 27; i++) cp.i(100 + i);
  cp.s("/home", 512).s("UNUSED", 512).s("/tmp", 512).i(1644).i(1652).i(1648).i(1656).i(1660).i(1664);
  check("SE_INSTANCE_CONFIG", xdr_SE_INSTANCE_CONFIG, cfg, cp.bytes());

  SE_INSTANCE_STATUS st;
  memset(&st, 0, sizeof st);
  st.release = {8, 3, 0, "x", 83002};
  st.value1 = 1;
  st.value2 = 2;
  check("SE_INSTANCE_STATUS", xdr_SE_INSTANCE_STATUS, st,
        Plain().i(8).i(3).i(0).s("x", 96).i(83002).i(1).i(2).bytes());
  SE_INSTANCE_USER u;
  memset(&u, 0, sizeof u);
  u.value1 = 1;
  u.value2 = 2;
  u.value3 = 3;
  strcpy(u.name1, "a");
  strcpy(u.name2, "bb");
  strcpy(u.name3, "ccc");
  check("SE_INSTANCE_USER", xdr_SE_INSTANCE_USER, u,
        Plain().i(1).i(2).i(3).s("a", 33).s("bb", 33).s("ccc", 33).bytes());
  SE_INSTANCE_STATS stats;
  for (int i = 0; i < 9; i++) stats.counters[i] = i * 3;
  Plain sp;
  for (int i = 0; i < 9; i++) sp.i(i * 3);
  check("SE_INSTANCE_STATS", xdr_SE_INSTANCE_STATS, stats, sp.bytes());
  check("SE_INSTANCE_LOCK", xdr_SE_INSTANCE_LOCK, SE_INSTANCE_LOCK{1, 2, 0, 3}, Plain().i(1).h(2).i(3).bytes());
  check("SE_INSTANCE_TABLE_LOCK", xdr_SE_INSTANCE_TABLE_LOCK, SE_INSTANCE_TABLE_LOCK{1, 2, 3, 0},
        Plain().i(1).i(2).h(3).bytes());

  open_res res;
  memset(&res, 0, sizeof res);
  for (int i = 0; i < 3; i++) res.ids[i] = i + 1;
  res.value = 4;
  for (int i = 0; i < 7; i++) res.values[i] = 10 + i;
  strcpy(res.text1, "one");
  strcpy(res.text2, "two");
  Plain rp;
  rp.i(1).i(2).i(3).i(4);
  for (int i = 0; i < 7; i++) rp.i(10 + i);
  rp.s("one", 512).s("two", 512);
  check("open_res", xdr_open_res, res, rp.bytes());
  open_res_old old = {{1, 2, 3, 4}, {5, 6, 7, 8, 9}};
  check("open_res_old", xdr_open_res_old, old, Plain().i(1).i(2).i(3).i(4).i(5).i(6).i(7).i(8).i(9).bytes());

  req4io req{};
  req.id = 7;
  req.text1 = const_cast<char*>("inst");
  req.text2 = const_cast<char*>("user");
  req.text3 = const_cast<char*>("pw");
  req.value1 = 1;
  req.user.name1 = const_cast<char*>("u1");
  req.user.name2 = const_cast<char*>("u2");
  req.value2 = 2;
  Bytes want = Plain().i(7).s("inst", 256).s("user", 256).s("pw", 256).i(1).s("u1", 256).s("u2", 256).i(2).bytes();
  EXPECT_EQ(ours(xdr_req4io, &req), want);
  req4io back{};
  ASSERT_TRUE(decode_ours(xdr_req4io, want, &back));
  EXPECT_STREQ(back.text3, "pw");
  EXPECT_STREQ(back.user.name2, "u2");
  xdr_free((xdrproc_t)xdr_req4io, (char*)&back);
}

TEST(XdrRecords, RasterRecords) {
  RASTERCOLUMN rc = sample::rastercolumn();
  Plain cp;
  cp.i(3).s("d", 64).u(32);
  char dbfield[32] = "db";
  EXPECT_TRUE(xdr_opaque(&cp.x, dbfield, 32));
  cp.s("o", 32).s("t", 160).s("r", 32).i(10).i(11).s("k", 32).u(12).i(13).i(14);
  check("RASTERCOLUMN", xdr_RASTERCOLUMN, rc, cp.bytes());

  RASTERBAND b = sample::rasterband();
  Plain bp;
  bp.i(1).i(2).i(0).i(0).i(0).i(0).i(640).i(0).i(0).i(0).d(0.5).d(0).i(9).i(0).d(0).d(0).d(640).d(480);
  bp.s("band", 64);
  RASTERBAND bb;
  memset(&bb, 0x11, sizeof bb);
  check("RASTERBAND", xdr_RASTERBAND, b, bp.bytes(), &bb);
  EXPECT_EQ(bb.local168[0], 0);
  EXPECT_EQ(bb.update_mask, 0);
  check("RASTER", xdr_RASTER, RASTER{0, 4, 5, "raster"}, Plain().i(4).i(5).s("raster", 64).bytes());

  RASTERATTR a;
  memset(&a, 0, sizeof a);
  a.value4 = 1;
  a.value8 = 2;
  a.raster_id = 3;
  a.value36 = 4;
  a.value40 = 5;
  a.width = 6;
  a.height = 7;
  a.num_bands = 8;
  a.pixel_type = 9;
  a.compression = 10;
  a.max_level = 11;
  a.value80 = 12;
  a.envelope = {13, 13, 13, 13};
  a.skip_level_one = 14;
  a.value76 = 15;
  a.value72 = 16;
  a.interpolation = 17;
  Plain ap;
  for (int k = 1; k <= 12; k++) ap.i(k);
  ap.d(13).d(13).d(13).d(13).i(14).i(15).i(16).i(17);
  check("RASTERATTR", xdr_RASTERATTR, a, ap.bytes());
}

// Texts as long as their field (or longer) used to be decoded one byte past
// the field; they are refused now, and nothing past the field changes.
TEST(XdrRecords, OverlongTextsAreRefusedInsideTheirField) {
  std::string t32(32, 'a');
  SE_TABLE_LOCK lock;
  memset(&lock, 0, sizeof lock);
  const struct { const char* name; std::string text; bool_t ok; } kCases[] = {
      {"35 characters fit a 36-byte field", std::string(35, 'u'), TRUE},
      {"36 characters do not", std::string(36, 'u'), FALSE},
      {"37 characters do not", std::string(37, 'u'), FALSE},
  };
  for (const auto& c : kCases) {
    Bytes bytes = Plain().s(c.text.c_str(), 64).i(3).bytes();
    struct { SE_TABLE_LOCK lock; char guard[8]; } target;
    memset(&target, 0x5A, sizeof target);
    EXPECT_EQ(decode_ours(xdr_SE_TABLE_LOCK, bytes, &target.lock), c.ok) << c.name;
    for (char g : target.guard) EXPECT_EQ(g, 0x5A) << c.name;
    if (c.ok) {
      EXPECT_EQ(target.lock.user[35], '\0') << c.name;
    }
  }
  // The raster column's database name goes out as a 32-byte block; a text
  // of 32 bytes back keeps 31 and the NUL.
  RASTERCOLUMN rc{};
  Plain cp;
  cp.i(3).s("d", 64).s(t32.c_str(), 32).s("o", 32).s("t", 160).s("r", 32).i(0).i(0).s("k", 32).u(0).i(0).i(0);
  ASSERT_TRUE(decode_ours(xdr_RASTERCOLUMN, cp.bytes(), &rc));
  EXPECT_EQ(strlen(rc.database), 31u);
  EXPECT_STREQ(rc.owner, "o");
}

TEST(XdrPrimitives, ConstCharSignExtendsAndKeepsTheLowByte) {
  char c = (char)0xE9;
  EXPECT_EQ(ours(xdr_const_char, &c), Plain().i(-23).bytes());
  char back = 0;
  ASSERT_TRUE(decode_ours(xdr_const_char, Plain().i(-23).bytes(), &back));
  EXPECT_EQ((unsigned char)back, 0xE9);
}

// Z or measure values decoded without an array are read and dropped without
// an allocation sized by the peer's count; a count beyond the bytes, or
// beyond the point limit, fails.
TEST(XdrPrimitives, ValuesWithoutAnArrayAreSkippedInPlace) {
  Plain p;
  for (int k = 0; k < 300; k++) p.i(k);
  p.i(77);
  Bytes bytes = p.bytes();
  XDR x;
  xdrmem_create(&x, (char*)bytes.data(), (u_int)bytes.size(), XDR_DECODE);
  ASSERT_TRUE(xdr_FEATURE_ZPTS(&x, nullptr, 300));
  EXPECT_EQ(300u * 4, xdr_getpos(&x));
  int after = 0;
  ASSERT_TRUE(xdr_int(&x, &after));
  EXPECT_EQ(77, after);
  xdr_setpos(&x, 0);
  EXPECT_FALSE(xdr_FEATURE_MVALS(&x, nullptr, 302)) << "count beyond the bytes";
  xdr_setpos(&x, 0);
  EXPECT_FALSE(xdr_FEATURE_ZPTS(&x, nullptr, SG_MAX_POINTS + 1)) << "count beyond the limit";
  xdr_destroy(&x);
}

TEST(XdrMem, BlocksStringsAndDirection) {
  char buf[64];
  XDR x;
  xdrmem_create(&x, buf, sizeof buf, XDR_DECODE);   // the operations set the direction
  memset(buf, 0x77, sizeof buf);
  ASSERT_EQ(XDRMEM_write_block(&x, "hello", 5), 0);
  EXPECT_EQ(xdr_getpos(&x), 8u);
  EXPECT_EQ(memcmp(buf, "hello\0\0\0", 8), 0);
  ASSERT_EQ(XDRMEM_write_string(&x, "abc"), 0);
  ASSERT_EQ(XDRMEM_write_long(&x, -5), 0);
  xdr_setpos(&x, 0);
  char block[5];
  ASSERT_EQ(XDRMEM_read_block(&x, block, 5), 0);
  EXPECT_EQ(memcmp(block, "hello", 5), 0);
  char small[3];
  EXPECT_EQ(XDRMEM_read_string(&x, small, sizeof small), -1);   // "abc" needs 4 bytes
  xdr_setpos(&x, 8);
  char text[8];
  ASSERT_EQ(XDRMEM_read_string(&x, text, sizeof text), 0);
  EXPECT_STREQ(text, "abc");
  int32_t v = 0;
  ASSERT_EQ(XDRMEM_read_long(&x, &v), 0);
  EXPECT_EQ(v, -5);
  SE_DATE d = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  xdr_setpos(&x, 0);
  ASSERT_EQ(XDRMEM_write_date(&x, &d), 0);
  xdr_setpos(&x, 0);
  SE_DATE r;
  memset(&r, 0x33, sizeof r);
  ASSERT_EQ(XDRMEM_read_date(&x, &r), 0);
  EXPECT_EQ(memcmp(&r, &d, sizeof d), 0);
  xdr_destroy(&x);
}

TEST(XdrMem, FeatureTravelsWithItsArraysAndAFailureRewinds) {
  POINT pts[3] = {{1, 1}, {5, 1}, {5, 7}};
  int32_t z[3] = {10, 20, 30};
  FEATURE_STRUCT f{};
  f.fid = 5;
  f.numofpts = 3;
  f.entity = SG_LINE_SHAPE;
  f.points = pts;
  f.z = z;
  f.allocpts = 3;
  char buf[512];
  XDR x;
  xdrmem_create(&x, buf, sizeof buf, XDR_ENCODE);
  ASSERT_EQ(XDRMEM_write_long(&x, 99), 0);
  ASSERT_EQ(XDRMEM_feature(&f, &x), 0);
  u_int end = xdr_getpos(&x);

  // Into a receiver with room: the sender's Z arrive; measures it lacks are zeroed.
  POINT rp[3];
  int32_t rm[3] = {4, 4, 4};
  FEATURE_STRUCT r{};
  r.points = rp;
  r.m = rm;
  r.allocpts = 3;
  xdr_setpos(&x, 4);
  x.x_op = XDR_DECODE;
  ASSERT_EQ(XDRMEM_feature(&r, &x), 0);
  EXPECT_EQ(xdr_getpos(&x), end);
  EXPECT_EQ(r.points, rp);
  EXPECT_EQ(rp[2].y, 7);
  EXPECT_EQ(rm[0], 0);

  // A receiver too small fails and finds the stream where the feature began.
  FEATURE_STRUCT tiny{};
  POINT one[1];
  tiny.points = one;
  tiny.allocpts = 1;
  tiny.fid = 1;
  xdr_setpos(&x, 4);
  EXPECT_EQ(XDRMEM_feature(&tiny, &x), -1);
  EXPECT_EQ(xdr_getpos(&x), 4u);
  EXPECT_EQ(tiny.fid, 1u);

  // A feature without points is its record alone.
  FEATURE_STRUCT empty{};
  xdr_setpos(&x, 0);
  x.x_op = XDR_ENCODE;
  ASSERT_EQ(XDRMEM_feature(&empty, &x), 0);
  EXPECT_EQ(xdr_getpos(&x), ours(xdr_FEATURE_STRUCT, &empty).size());
  xdr_destroy(&x);
}
