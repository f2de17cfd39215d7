// test_shape.cpp -- shapes: arrays and their growth, made shapes and copies,
// measures in plane units, the search-shape generators, and the portable
// number form.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <vector>

#include "gk_test_shapes.h"
#include "zul_layer.h"

using namespace gktest;

namespace {

struct Ref {
  COORDREF* cr = nullptr;
  char text[SG_SRTEXT_CAP] = "";
  Ref(double falseorigin, double units) {
    EXPECT_EQ(SgCoordRefCreate(&cr), 0);
    cr->falsex = cr->falsey = falseorigin;
    cr->xyunits = units;
    SgsCalcCRound(units, &cr->xycround);
    SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu);
    cr->srtext = text;
  }
  ~Ref() { SgCoordRefFree(cr); }
};

TEST(Shape, AllocateGrowsKeepsValuesAndRefusesHostileCounts) {
  FEATURE_STRUCT f{};
  ASSERT_EQ(SgsShapeAllocate(&f, 5, 1, 0), 0);
  ASSERT_NE(f.points, nullptr);
  ASSERT_NE(f.z, nullptr);
  EXPECT_EQ(f.m, nullptr);
  EXPECT_EQ(f.numofpts, 5);
  EXPECT_GE(f.allocpts, 5);
  for (int i = 0; i < 5; i++) {
    f.points[i] = POINT{i, 10 * i};
    f.z[i] = -i;
  }
  ASSERT_EQ(SgsShapeAllocate(&f, 100, 0, 1), 0);
  EXPECT_EQ(f.numofpts, 100);
  ASSERT_NE(f.m, nullptr);
  EXPECT_EQ(f.points[4].y, 40);
  EXPECT_EQ(f.z[4], -4);   // kept and grown although not asked for
  EXPECT_EQ(f.z[99], 0);
  EXPECT_EQ(f.m[99], 0);
  POINT* before = f.points;
  for (int32_t bad : {-1, SG_MAX_POINTS + 1, INT32_MIN}) {
    EXPECT_EQ(SgsShapeAllocate(&f, bad, 1, 1), SG_INVALID_PARAM) << bad;
    EXPECT_EQ(f.points, before);
    EXPECT_EQ(f.numofpts, 100);
  }
  EXPECT_EQ(SgsShapeAllocate(nullptr, 1, 0, 0), SG_NULL_SHAPE);
  SgShapeFree(&f);
  EXPECT_EQ(f.points, nullptr);
  EXPECT_EQ(f.allocpts, 0);
}

TEST(Shape, MadeShapeOwnsACopyOfItsReference) {
  FEATURE_STRUCT* made = nullptr;
  {
    Ref r(100, 10);
    strcpy(r.text, "GEOGCS[\"x\"]");
    ASSERT_EQ(SgShapeCreate(r.cr, &made), 0);
    ASSERT_NE(made->coordref, nullptr);
    EXPECT_NE(made->coordref, r.cr);
    EXPECT_NE(made->coordref->srtext, r.text);
  }  // the reference it was made on is gone
  EXPECT_EQ(made->coordref->falsex, 100);
  EXPECT_STREQ(made->coordref->srtext, "GEOGCS[\"x\"]");
  EXPECT_NE(SgShapeIsNil(made), 0);

  Shape src(SG_LINE_SHAPE, {{0, 0}, {30, 40}});
  Ref other(7, 1000);
  src.f.coordref = other.cr;
  src.f.fid = 42;
  ASSERT_EQ(SgShapeDuplicate(&src.f, made), 0);
  src.f.points[1].x = 999;  // the copy has points of its own
  EXPECT_EQ(made->points[1].x, 30);
  EXPECT_EQ(made->fid, 42u);
  EXPECT_EQ(made->entity, SG_LINE_SHAPE);
  EXPECT_NE(made->coordref, other.cr);
  EXPECT_EQ(made->coordref->falsex, 7);
  EXPECT_EQ(SgShapeIsNil(made), 0);

  COORDREF got{};
  ASSERT_EQ(SgShapeGetCoordRef(made, &got), 0);
  EXPECT_EQ(got.xyunits, 1000);
  EXPECT_NE(SgCoordRefIsEqual(&got, other.cr), 0);

  // A caller's own record borrows the source's reference only when it has
  // none.
  Shape plain(SG_NIL_SHAPE, {});
  ASSERT_EQ(SgShapeDuplicate(made, &plain.f), 0);
  EXPECT_EQ(plain.f.coordref, made->coordref);
  EXPECT_EQ(plain.f.numofpts, 2);
  Ref mine(0, 1);
  Shape kept(SG_NIL_SHAPE, {});
  kept.f.coordref = mine.cr;
  ASSERT_EQ(SgShapeDuplicate(made, &kept.f), 0);
  EXPECT_EQ(kept.f.coordref, mine.cr);
  plain.f.coordref = nullptr;
  SgShapeFree(made);
  EXPECT_EQ(SgShapeDuplicate(nullptr, &plain.f), SG_NULL_SHAPE);
}

TEST(Shape, InitClearsTheGeometryAndKeepsTheArrays) {
  Shape s(SG_AREA_SHAPE, box(0, 0, 10, 10));
  s.f.area = 5;
  POINT* pts = s.f.points;
  Ref r(0, 1);
  ASSERT_EQ(SgsShapeInit(r.cr, &s.f), 0);
  EXPECT_EQ(s.f.entity, SG_NIL_SHAPE);
  EXPECT_EQ(s.f.numofpts, 0);
  EXPECT_EQ(s.f.area, 0);
  EXPECT_EQ(s.f.points, pts);
  EXPECT_EQ(s.f.coordref, r.cr);
  EXPECT_EQ(s.f.envelope.minx, SG_ENVELOPE_EMPTY_MIN);
  EXPECT_NE(SgShapeIsNil(&s.f), 0);
  EXPECT_EQ(SgsShapeInit(r.cr, nullptr), SG_NULL_SHAPE);
}

TEST(Shape, MeasuresInPlaneUnits) {
  Ref r(100, 10);  // plane = 100 + system / 10
  struct MeasureCase {
    const char* name;
    int32_t entity;
    std::vector<POINT> pts;
    int32_t part;
    double area, length;
    SE_ENVELOPE extent;
  } cases[] = {
      {"square", SG_AREA_SHAPE, box(0, 0, 100, 100), 0, 100, 40, {100, 100, 110, 110}},
      {"square with a hole", SG_AREA_SHAPE, join({box(0, 0, 100, 100), box(20, 20, 40, 40)}, RING), 0, 96, 48, {100, 100, 110, 110}},
      {"two squares", SG_MULTI_AREA_SHAPE, join({box(0, 0, 100, 100), box(200, 0, 220, 20)}, PART), 0, 104, 48, {100, 100, 122, 110}},
      {"second of two squares", SG_MULTI_AREA_SHAPE, join({box(0, 0, 100, 100), box(200, 0, 220, 20)}, PART), 2, 4, 8, {120, 100, 122, 102}},
      {"line", SG_LINE_SHAPE, {{0, 0}, {30, 40}}, 0, 0, 5, {100, 100, 103, 104}},
      {"two lines", SG_MULTI_LINE_SHAPE, join({{{0, 0}, {30, 40}}, {{100, 100}, {100, 110}}}, PART), 0, 0, 6, {100, 100, 110, 111}},
      {"point", SG_POINT_SHAPE, {{50, 70}}, 0, 0, 0, {105, 107, 105, 107}},
  };
  for (const MeasureCase& c : cases) {
    Shape s(c.entity, c.pts);
    s.f.coordref = r.cr;
    double area = -1, length = -1;
    SE_ENVELOPE e;
    ASSERT_EQ(SgShapeGetArea(&s.f, c.part, &area), 0) << c.name;
    ASSERT_EQ(SgShapeGetLength(&s.f, c.part, &length), 0) << c.name;
    ASSERT_EQ(SgShapeGetExtent(&s.f, c.part, &e), 0) << c.name;
    EXPECT_DOUBLE_EQ(area, c.area) << c.name;
    EXPECT_DOUBLE_EQ(length, c.length) << c.name;
    EXPECT_DOUBLE_EQ(e.minx, c.extent.minx) << c.name;
    EXPECT_DOUBLE_EQ(e.miny, c.extent.miny) << c.name;
    EXPECT_DOUBLE_EQ(e.maxx, c.extent.maxx) << c.name;
    EXPECT_DOUBLE_EQ(e.maxy, c.extent.maxy) << c.name;
    if (c.part == 0) {
      ASSERT_EQ(SgsShapeArea(&s.f, nullptr), 0);
      ASSERT_EQ(SgsShapeLength(&s.f, nullptr), 0);
      EXPECT_DOUBLE_EQ(s.f.area, c.area) << c.name;
      EXPECT_DOUBLE_EQ(s.f.length, c.length) << c.name;
    }
    s.f.coordref = nullptr;
  }
  Shape two(SG_MULTI_AREA_SHAPE, join({box(0, 0, 10, 10), box(20, 20, 30, 30)}, PART));
  double a;
  EXPECT_EQ(SgShapeGetArea(&two.f, 3, &a), SG_INVALID_PARAM);
  Shape nil(SG_NIL_SHAPE, {});
  SE_ENVELOPE e;
  ASSERT_EQ(SgShapeGetExtent(&nil.f, 0, &e), 0);
  EXPECT_GT(e.minx, e.maxx);
}

TEST(Shape, EnvelopeSkipsSeparators) {
  Shape s(SG_MULTI_AREA_SHAPE, join({box(5, 6, 10, 10), box(20, 20, 30, 31)}, PART));
  ENVELOPE e;
  ASSERT_EQ(SgsNvelop(&s.f, &e), 0);
  EXPECT_EQ(e.minx, 5);
  EXPECT_EQ(e.miny, 6);
  EXPECT_EQ(e.maxx, 30);
  EXPECT_EQ(e.maxy, 31);
  EXPECT_EQ(s.f.envelope.miny, 6);
  Shape nil(SG_NIL_SHAPE, {});
  ASSERT_EQ(SgsNvelop(&nil.f, &e), 0);
  EXPECT_EQ(e.minx, SG_ENVELOPE_EMPTY_MIN);
  EXPECT_EQ(e.maxx, 0);
  nil.f.numofpts = 3;  // points promised but absent
  EXPECT_EQ(SgsNvelop(&nil.f, &e), SG_INVALID_PARAM);
}

TEST(Shape, ZAndMeasureRanges) {
  Ref r(0, 1);
  r.cr->falsez = 5;
  r.cr->zunits = 10;
  Shape s(SG_LINE_SHAPE, {{0, 0}, {1, 1}, {2, 2}});
  s.f.coordref = r.cr;
  ASSERT_EQ(SgsShapeAllocate(&s.f, 3, 1, 0), 0);
  s.f.z[0] = 10;
  s.f.z[1] = -20;
  s.f.z[2] = 30;
  double lo, hi;
  ASSERT_EQ(SgShapeGetZRange(&s.f, 0, &lo, &hi), 0);
  EXPECT_DOUBLE_EQ(lo, 3);
  EXPECT_DOUBLE_EQ(hi, 8);
  ASSERT_EQ(SgShapeGetMRange(&s.f, 0, &lo, &hi), 0);
  EXPECT_TRUE(isnan(lo) && isnan(hi));
  EXPECT_EQ(SgShapeGetMRange(&s.f, 0, nullptr, &hi), SG_INVALID_POINTER);
  s.f.coordref = nullptr;
}

TEST(Shape, GeneratorsBuildValidSearchShapes) {
  Ref r(-10, 100);
  FEATURE_STRUCT f{};
  ASSERT_EQ(SgsShapeInit(r.cr, &f), 0);

  SG_POINT one = {1.5, 2.25};
  ASSERT_EQ(SgShapeGeneratePoint(1, &one, nullptr, nullptr, &f), 0);
  EXPECT_EQ(f.entity, SG_POINT_SHAPE);
  ASSERT_EQ(f.numofpts, 1);
  EXPECT_EQ(f.points[0].x, 1150);
  EXPECT_EQ(f.points[0].y, 1225);
  EXPECT_EQ(f.envelope.minx, 1150);
  EXPECT_EQ(SgsShapeVerify(&f), 0);

  SG_POINT line[4] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}};
  double z[4] = {1, 2, 3, 4};
  ASSERT_EQ(SgShapeGenerateSimpleLine(2, 1, nullptr, line, nullptr, nullptr, &f), 0);
  EXPECT_EQ(f.entity, SG_SIMPLE_LINE_SHAPE);
  EXPECT_EQ(f.numofpts, 2);
  EXPECT_DOUBLE_EQ(f.length, sqrt(2.0));
  EXPECT_EQ(SgsShapeVerify(&f), 0);
  const int32_t offsets[2] = {0, 2};
  ASSERT_EQ(SgShapeGenerateSimpleLine(4, 2, offsets, line, z, nullptr, &f), 0);
  EXPECT_EQ(f.entity, SG_MULTI_SIMPLE_LINE_SHAPE);
  ASSERT_EQ(f.numofpts, 5);
  EXPECT_EQ(f.points[2].x, SG_PART_SEP);
  ASSERT_NE(f.z, nullptr);
  EXPECT_EQ(f.z[3], 3);
  EXPECT_EQ(SgsShapeVerify(&f), 0);

  SE_ENVELOPE rect = {1, 2, 3, 4};
  ASSERT_EQ(SgShapeGenerateRectangle(&rect, &f), 0);
  EXPECT_EQ(f.entity, SG_AREA_SHAPE);
  EXPECT_EQ(f.numofpts, 5);
  EXPECT_DOUBLE_EQ(f.area, 4);
  EXPECT_DOUBLE_EQ(f.length, 8);
  EXPECT_EQ(f.envelope.minx, 1100);
  EXPECT_EQ(f.envelope.maxy, 1400);
  EXPECT_EQ(SgsShapeVerify(&f), 0);

  struct {
    const char* name;
    int32_t rc;
  } refusals[] = {
      {"flat rectangle", [&] { SE_ENVELOPE e = {1, 2, 3, 2}; return SgShapeGenerateRectangle(&e, &f); }()},
      {"rectangle under a unit wide", [&] { SE_ENVELOPE e = {1, 2, 1.001, 3}; return SgShapeGenerateRectangle(&e, &f); }()},
      {"point below the origin", [&] { SG_POINT p = {-20, 0}; return SgShapeGeneratePoint(1, &p, nullptr, nullptr, &f); }()},
      {"no points", SgShapeGeneratePoint(0, &one, nullptr, nullptr, &f)},
      {"part of one point", [&] { const int32_t o[2] = {0, 3}; return SgShapeGenerateSimpleLine(4, 2, o, line, nullptr, nullptr, &f); }()},
      {"offsets out of order", [&] { const int32_t o[2] = {0, 5}; return SgShapeGenerateSimpleLine(4, 2, o, line, nullptr, nullptr, &f); }()},
  };
  const int32_t want[] = {SG_DEGENERATE, SG_DEGENERATE, SG_COORD_OUT_OF_BOUNDS, SG_TOO_FEW_POINTS,
                          SG_TOO_FEW_POINTS, SG_INVALID_PARAM};
  for (size_t i = 0; i < sizeof want / sizeof want[0]; i++)
    EXPECT_EQ(refusals[i].rc, want[i]) << refusals[i].name;
  SgShapeFree(&f);
}

TEST(PortableNumbers, GoldenBytesInBothOrders) {
  unsigned char buf[32];
  const int32_t v = 0x01020304;
  const double one = 1.0;
  struct {
    int32_t mode;
    unsigned char i[4];
    unsigned char d[8];
  } cases[] = {
      {0, {4, 3, 2, 1}, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {'0', {4, 3, 2, 1}, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {1, {1, 2, 3, 4}, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {'1', {1, 2, 3, 4}, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(SgPutInteger(buf + 1, c.mode, 1, &v), 0);
    EXPECT_EQ(memcmp(buf + 1, c.i, 4), 0) << c.mode;
    ASSERT_EQ(SgPutDouble(buf + 5, c.mode, 1, &one), 0);
    EXPECT_EQ(memcmp(buf + 5, c.d, 8), 0) << c.mode;
    int32_t iv = 0;
    double dv = 0;
    ASSERT_EQ(SgGetInteger(buf + 1, c.mode, 1, &iv), 0);
    ASSERT_EQ(SgGetDouble(buf + 5, c.mode, 1, &dv), 0);
    EXPECT_EQ(iv, v);
    EXPECT_EQ(dv, one);
  }
  const double many[3] = {-2.5, 1e300, -0.0};
  double back[3];
  ASSERT_EQ(SgPutDouble(buf + 3, 1, 3, many), 0);
  ASSERT_EQ(SgGetDouble(buf + 3, 1, 3, back), 0);
  EXPECT_EQ(memcmp(many, back, sizeof many), 0);
  const int32_t neg = -2;
  int32_t got;
  ASSERT_EQ(SgPutInteger(buf, 1, 1, &neg), 0);
  ASSERT_EQ(SgGetInteger(buf, 1, 1, &got), 0);
  EXPECT_EQ(got, -2);

  EXPECT_EQ(SgPutInteger(buf, 2, 1, &v), SG_INVALID_BYTE_ORDER);
  EXPECT_EQ(SgGetDouble(buf, 'x', 1, back), SG_INVALID_BYTE_ORDER);
  EXPECT_EQ(SgPutInteger(buf, 1, -1, &v), SG_INVALID_PARAM);
  EXPECT_EQ(SgGetInteger(nullptr, 1, 1, &got), SG_INVALID_POINTER);
}

}  // namespace
