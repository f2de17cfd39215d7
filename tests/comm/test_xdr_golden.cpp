// test_xdr_golden.cpp -- the counted and composite items of the XDR channel
// (input descriptions, index definitions, query constructs, spatial-filter
// arrays) against bytes written here with plain libtirpc calls in the
// layout's field order, in the current and the legacy layout.
//
// Each case is checked both ways: what our channel puts on the wire equals
// the plain bytes, and our channel reads the plain bytes back to the same
// values and stays in step (a marker record after the item still reads).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include <rpc/xdr.h>

#include "test_channel_pair.h"
#include "zul_channel.h"
#include "zul_status.h"

using namespace zultest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kMarker = 0x2468ACE1;

// Records written with libtirpc's own primitives; end() closes a record.
struct Plain {
  Bytes wire;
  std::vector<char> buf = std::vector<char>(65536);
  XDR x;
  Plain() { xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE); }
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
  Plain& opaque(const char* data, u_int len) {
    EXPECT_TRUE(xdr_opaque(&x, const_cast<char*>(data), len));
    return *this;
  }
  // A vector of characters, each a 4-byte integer.
  Plain& chars(const char* data, u_int len) {
    for (u_int k = 0; k < len; k++) {
      char c = data[k];
      EXPECT_TRUE(xdr_char(&x, &c));
    }
    return *this;
  }
  Plain& end() {
    Bytes body(buf.begin(), buf.begin() + xdr_getpos(&x));
    Bytes rec = xdr_record(body);
    wire.insert(wire.end(), rec.begin(), rec.end());
    xdr_setpos(&x, 0);
    return *this;
  }
};

// What our channel writes.
Bytes ours(int32_t legacy, const std::function<int32_t(CHANNEL*)>& write) {
  int fds[2];
  if (!raw_pair(fds)) return {};
  CHANNEL* ch = CH_create(CH_KIND_XDR, legacy, &fds[0]);
  EXPECT_EQ(0, write(ch));
  CH_flush(ch);
  Bytes raw = drain_raw(fds[1], 50);
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
  return raw;
}

// Our channel reading wire, then the marker's record.
void read_back(int32_t legacy, const Bytes& wire, const std::function<void(CHANNEL*)>& read) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  Bytes all = wire;
  Plain marker;
  marker.i(kMarker).end();
  all.insert(all.end(), marker.wire.begin(), marker.wire.end());
  ASSERT_TRUE(send_raw(fds[1], all));
  CHANNEL* ch = CH_create(CH_KIND_XDR, legacy, &fds[0]);
  read(ch);
  int32_t m = 0;
  EXPECT_EQ(0, CH_read_long(ch, &m));
  EXPECT_EQ(kMarker, m);
  EXPECT_EQ(0, CH_out_of_step(ch));
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
}

// ---- samples ------------------------------------------------------------------------

const char kLongColumn[] = "C2345678901234567890123456789012";  // 32 characters, the most a slot holds

struct IndexSample {
  char c0[SE_INDEX_COLUMN_SLOT] = "OWNER";
  char c1[SE_INDEX_COLUMN_SLOT] = {};
  char c2[SE_INDEX_COLUMN_SLOT] = "PARCEL_ID";
  char* cols0[2] = {c0, c1};
  char* cols1[1] = {c2};
  int32_t asc0[2] = {1, 0};
  INDEX_DEF defs[2] = {};
  IndexSample() {
    strcpy(c1, kLongColumn);
    defs[0].column_count = 2; defs[0].columns = cols0; defs[0].ascending = asc0; defs[0].unique = 1;
    strcpy(defs[0].name, "PARCELS_IX1");
    defs[1].column_count = 1; defs[1].columns = cols1; defs[1].ascending = nullptr; defs[1].unique = 0;
    strcpy(defs[1].name, "IX2");
  }
};

struct ConstructSample {
  char t0[SE_CONSTRUCT_TABLE_SLOT] = "ZUL.ROADS";
  char t1[SE_CONSTRUCT_TABLE_SLOT] = "ZUL.PARCELS";
  char* tables[2] = {t0, t1};
  char where[32] = "SHAPE_ID > 10";
  SQL_CONSTRUCT c{2, tables, where};
};

// A three-point line with Z values and no measures, on a reference whose
// thirteen doubles run 1.25, 2.25, ... in their XDR order.
struct FilterSample {
  POINT pts[3] = {{10, 20}, {30, -40}, {50, 60}};
  int32_t z[3] = {100, 200, 300};
  FEATURE_STRUCT shape{};
  COORDREF cref{};
  char srtext[32] = "PROJCS[\"utm\"]";
  char cbm[16] = "T*F**F***";
  SPATIAL_FILTER filters[2] = {};
  FilterSample() {
    shape.value = 7; shape.fid = 17; shape.numofpts = 3; shape.entity = 4; shape.envelope = {10, -40, 50, 60};
    shape.values[0] = 1; shape.values[1] = 2; shape.values[2] = 3; shape.values[3] = 4;
    shape.length = 12.5; shape.points = pts; shape.z = z; shape.allocpts = 3; shape.coordref = &cref;
    double v = 0.25;
    for (double* d : ref_doubles(&cref)) *d = (v += 1.0);
    cref.srtext = srtext;
    cref.srid = 26915;
    strcpy(filters[0].table, "ZUL.ROADS"); strcpy(filters[0].column, "SHAPE");
    filters[0].filter_type = SE_SHAPE_FILTER; filters[0].filter.shape = &shape;
    filters[0].method = 4; filters[0].truth = 1;
    strcpy(filters[1].table, "ZUL.ROADS"); strcpy(filters[1].column, "SHAPE");
    filters[1].filter_type = SE_ID_FILTER; filters[1].filter.id = 42; strcpy(filters[1].id_table, "ZUL.PARCELS");
    filters[1].method = SM_CBM; filters[1].truth = 0; filters[1].cbm = cbm;
  }
  // The reference's doubles in their XDR order.
  static std::vector<double*> ref_doubles(COORDREF* c) {
    return {&c->falsex, &c->falsey, &c->xyunits, &c->xycround, &c->falsez, &c->zunits, &c->zcround,
            &c->falsem, &c->munits, &c->mcround, &c->xyhalfsu, &c->zhalfsu, &c->mhalfsu};
  }
};

// ---- the plain bytes of each sample -------------------------------------------------

Bytes plain_input_descs() { return Plain().h(2).i(5).i(64).i(-1).i(7).end().wire; }

Bytes plain_index_defs() {
  return Plain()
      .h(2)
      .h(2).s("OWNER", 33).i(1).s(kLongColumn, 33).i(0).s("PARCELS_IX1", 32).i(1)
      .h(1).s("PARCEL_ID", 33).i(1).s("IX2", 32).i(0)  // no sort flags: ascending
      .end()
      .wire;
}

Bytes plain_construct(bool legacy, const char* where) {
  Plain p;
  p.i(2).s("ZUL.ROADS", SE_CONSTRUCT_TABLE_SLOT).s("ZUL.PARCELS", SE_CONSTRUCT_TABLE_SLOT);
  u_int len = where ? static_cast<u_int>(strlen(where)) + 1 : 0;  // with its NUL
  p.i(static_cast<int>(len));
  if (len && !legacy) p.opaque(where, len);
  if (len && legacy) p.chars(where, len);
  return p.end().wire;
}

// Three records: the first filter's fields with its shape; the shape's
// reference alone; the rest of the first filter and the whole second one.
Bytes plain_filters(bool legacy) {
  Plain p;
  p.h(2).s("ZUL.ROADS", 226).s("SHAPE", 32).i(SE_SHAPE_FILTER);
  p.i(7).u(17).i(3).h(4).i(10).i(-40).i(50).i(60).i(1).i(2).i(3).i(4).d(0).d(12.5);
  p.u(1).u(1).u(0).u(1);  // points, Z, no measures, a reference
  p.i(10).i(20).i(30).i(-40).i(50).i(60).i(100).i(200).i(300).end();
  double v = 0.25;
  for (int k = 0; k < 13; k++) p.d(v += 1.0);
  const char* text = "PROJCS[\"utm\"]";
  p.u(static_cast<u_int>(strlen(text))).s(text, static_cast<u_int>(strlen(text)) + 1);
  if (!legacy) p.i(26915);
  p.end();
  p.i(4).i(1);
  p.s("ZUL.ROADS", 226).s("SHAPE", 32).i(SE_ID_FILTER).i(42).s("ZUL.PARCELS", 226).i(SM_CBM).i(0);
  p.s("T*F**F***", 256);
  return p.end().wire;
}

// ---- the table ----------------------------------------------------------------------

struct Case {
  const char* name;
  std::function<Bytes(bool legacy)> plain;
  std::function<int32_t(CHANNEL*)> write;
  std::function<void(CHANNEL*, bool legacy)> read;
};

std::vector<Case> cases() {
  std::vector<Case> v;
  v.push_back({"input descriptions", [](bool) { return plain_input_descs(); },
               [](CHANNEL* c) {
                 INPUT_DESC d[2] = {{5, 64}, {-1, 7}};
                 return CH_write_input_desc(c, 2, d);
               },
               [](CHANNEL* c, bool) {
                 int16_t n = 0;
                 INPUT_DESC* d = nullptr;
                 ASSERT_EQ(0, CH_read_input_desc(c, &n, &d));
                 ASSERT_EQ(2, n);
                 EXPECT_EQ(5, d[0].value1); EXPECT_EQ(64, d[0].value2);
                 EXPECT_EQ(-1, d[1].value1); EXPECT_EQ(7, d[1].value2);
                 free(d);
               }});
  v.push_back({"no input descriptions", [](bool) { return Plain().h(0).end().wire; },
               [](CHANNEL* c) { return CH_write_input_desc(c, 0, nullptr); },
               [](CHANNEL* c, bool) {
                 int16_t n = -1;
                 INPUT_DESC* d = nullptr;
                 ASSERT_EQ(0, CH_read_input_desc(c, &n, &d));
                 EXPECT_EQ(0, n);
                 EXPECT_EQ(nullptr, d);
               }});
  v.push_back({"index definitions", [](bool) { return plain_index_defs(); },
               [](CHANNEL* c) { IndexSample s; return CH_write_index_def(c, 2, s.defs); },
               [](CHANNEL* c, bool) {
                 int16_t n = 0;
                 INDEX_DEF* d = nullptr;
                 ASSERT_EQ(0, CH_read_index_def(c, &n, &d));
                 ASSERT_EQ(2, n);
                 ASSERT_EQ(2, d[0].column_count);
                 EXPECT_STREQ("OWNER", d[0].columns[0]);
                 EXPECT_STREQ(kLongColumn, d[0].columns[1]);
                 EXPECT_EQ(1, d[0].ascending[0]);
                 EXPECT_EQ(0, d[0].ascending[1]);
                 EXPECT_STREQ("PARCELS_IX1", d[0].name);
                 EXPECT_EQ(1, d[0].unique);
                 ASSERT_EQ(1, d[1].column_count);
                 EXPECT_STREQ("PARCEL_ID", d[1].columns[0]);
                 EXPECT_EQ(1, d[1].ascending[0]);
                 EXPECT_STREQ("IX2", d[1].name);
                 EXPECT_EQ(0, d[1].unique);
                 CH_index_defs_free(d, n);
               }});
  auto read_construct = [](const char* where) {
    return [where](CHANNEL* c, bool) {
      SQL_CONSTRUCT q{};
      ASSERT_EQ(0, CH_read_construct(c, &q));
      ASSERT_EQ(2, q.num_tables);
      EXPECT_STREQ("ZUL.ROADS", q.tables[0]);
      EXPECT_STREQ("ZUL.PARCELS", q.tables[1]);
      if (where) {
        ASSERT_NE(nullptr, q.where);
        EXPECT_STREQ(where, q.where);
      } else {
        EXPECT_EQ(nullptr, q.where);
      }
      CH_construct_free(&q);
    };
  };
  v.push_back({"construct", [](bool legacy) { return plain_construct(legacy, "SHAPE_ID > 10"); },
               [](CHANNEL* c) { ConstructSample s; return CH_write_construct(c, &s.c); },
               read_construct("SHAPE_ID > 10")});
  v.push_back({"construct without a where clause", [](bool legacy) { return plain_construct(legacy, nullptr); },
               [](CHANNEL* c) {
                 ConstructSample s;
                 s.c.where = nullptr;
                 return CH_write_construct(c, &s.c);
               },
               read_construct(nullptr)});
  v.push_back({"null construct travels as an empty one", [](bool) { return Plain().i(0).i(0).end().wire; },
               [](CHANNEL* c) { return CH_write_construct(c, nullptr); },
               [](CHANNEL* c, bool) {
                 SQL_CONSTRUCT q{};
                 ASSERT_EQ(0, CH_read_construct(c, &q));
                 EXPECT_EQ(0, q.num_tables);
                 EXPECT_EQ(nullptr, q.where);
                 CH_construct_free(&q);
               }});
  v.push_back({"filter array: a shape filter, then an id filter with a relation string", plain_filters,
               [](CHANNEL* c) { FilterSample s; return CH_write_filter_array(c, 2, s.filters); },
               [](CHANNEL* c, bool legacy) {
                 int16_t n = 0;
                 SPATIAL_FILTER* f = nullptr;
                 ASSERT_EQ(0, CH_read_filter_array(c, &n, &f));
                 ASSERT_EQ(2, n);
                 EXPECT_STREQ("ZUL.ROADS", f[0].table);
                 EXPECT_STREQ("SHAPE", f[0].column);
                 ASSERT_EQ(SE_SHAPE_FILTER, f[0].filter_type);
                 const FEATURE_STRUCT* s = f[0].filter.shape;
                 ASSERT_NE(nullptr, s);
                 EXPECT_EQ(7, s->value);
                 EXPECT_EQ(17u, s->fid);
                 ASSERT_EQ(3, s->numofpts);
                 EXPECT_EQ(4, s->entity);
                 EXPECT_EQ(-40, s->envelope.miny);
                 EXPECT_EQ(4, s->values[3]);
                 EXPECT_EQ(12.5, s->length);
                 EXPECT_EQ(30, s->points[1].x);
                 EXPECT_EQ(-40, s->points[1].y);
                 EXPECT_EQ(300, s->z[2]);
                 EXPECT_TRUE(s->m == nullptr || s->m[0] == 0) << "no measures were sent";
                 ASSERT_NE(nullptr, s->coordref);
                 double v = 0.25;
                 for (double* d : FilterSample::ref_doubles(s->coordref)) EXPECT_EQ(v += 1.0, *d);
                 ASSERT_NE(nullptr, s->coordref->srtext);
                 EXPECT_STREQ("PROJCS[\"utm\"]", s->coordref->srtext);
                 EXPECT_EQ(legacy ? 0 : 26915, s->coordref->srid);
                 EXPECT_EQ(4, f[0].method);
                 EXPECT_EQ(1, f[0].truth);
                 EXPECT_EQ(SE_ID_FILTER, f[1].filter_type);
                 EXPECT_EQ(42, f[1].filter.id);
                 EXPECT_STREQ("ZUL.PARCELS", f[1].id_table);
                 EXPECT_EQ(SM_CBM, f[1].method);
                 EXPECT_EQ(0, f[1].truth);
                 ASSERT_NE(nullptr, f[1].cbm);
                 EXPECT_STREQ("T*F**F***", f[1].cbm);
                 CH_filters_free(f, n);
               }});
  v.push_back({"empty filter array", [](bool) { return Plain().h(0).end().wire; },
               [](CHANNEL* c) { return CH_write_filter_array(c, 0, nullptr); },
               [](CHANNEL* c, bool) {
                 int16_t n = -1;
                 SPATIAL_FILTER* f = nullptr;
                 ASSERT_EQ(0, CH_read_filter_array(c, &n, &f));
                 EXPECT_EQ(0, n);
                 EXPECT_EQ(nullptr, f);
               }});
  return v;
}

TEST(XdrGoldenItems, OurBytesArePlainLibtirpcBytesAndReadBack) {
  for (const Case& c : cases()) {
    for (bool legacy : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (legacy ? " (legacy)" : " (current)"));
      Bytes want = c.plain(legacy);
      ASSERT_FALSE(want.empty());
      EXPECT_EQ(want, ours(legacy, c.write));
      read_back(legacy, want, [&](CHANNEL* ch) { c.read(ch, legacy); });
    }
  }
}

// The writer sends table names of up to 194 characters; the reader takes at
// most 161, refuses a longer one and keeps the stream in step.
TEST(XdrGoldenItems, LongConstructTableIsWrittenButRefusedOnReading) {
  std::string longname(170, 'T');
  char t0[SE_CONSTRUCT_TABLE_SLOT] = {};
  memcpy(t0, longname.data(), longname.size());
  char* tables[1] = {t0};
  SQL_CONSTRUCT q{1, tables, nullptr};
  Bytes want = Plain().i(1).s(longname.c_str(), SE_CONSTRUCT_TABLE_SLOT).i(0).end().wire;
  EXPECT_EQ(want, ours(0, [&](CHANNEL* c) { return CH_write_construct(c, &q); }));
  read_back(0, want, [](CHANNEL* c) {
    SQL_CONSTRUCT back{};
    EXPECT_EQ(SE_INVALID_PARAM, CH_read_construct(c, &back));
    EXPECT_EQ(0, back.num_tables);
    EXPECT_EQ(nullptr, back.tables);
  });
}

}  // namespace
