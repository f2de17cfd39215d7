// test_verify.cpp -- shape verification: valid shapes of every kind pass;
// each kind of fault is refused with its own status.
#include <gtest/gtest.h>

#include <vector>

#include "gk_test_shapes.h"

using namespace gktest;

namespace {

struct VerifyCase {
  const char* name;
  int32_t entity;
  std::vector<POINT> pts;
  int32_t want;
};

TEST(Verify, ShapesOfEveryKind) {
  const VerifyCase cases[] = {
      // valid
      {"nil", SG_NIL_SHAPE, {}, 0},
      {"point", SG_POINT_SHAPE, {{5, 5}}, 0},
      {"point at the range's ends", SG_MULTI_POINT_SHAPE, {{0, 0}, {SG_SYSTEM_MAX, SG_SYSTEM_MAX}}, 0},
      {"line", SG_LINE_SHAPE, {{0, 0}, {10, 10}, {0, 10}, {10, 0}}, 0},  // may cross itself
      {"simple line", SG_SIMPLE_LINE_SHAPE, {{0, 0}, {10, 10}, {20, 0}}, 0},
      {"multi line", SG_MULTI_LINE_SHAPE, join({{{0, 0}, {5, 5}}, {{10, 10}, {20, 20}}}, PART), 0},
      {"square", SG_AREA_SHAPE, box(0, 0, 10, 10), 0},
      {"square with a hole", SG_AREA_SHAPE, join({box(0, 0, 10, 10), box(2, 2, 8, 8)}, RING), 0},
      {"two squares", SG_MULTI_AREA_SHAPE, join({box(0, 0, 10, 10), box(20, 20, 30, 30)}, PART), 0},
      {"verify bit ignored", SG_AREA_SHAPE | SG_VERIFY_BIT, box(0, 0, 10, 10), 0},
      // faults of the record
      {"unknown entity type", 3, {{5, 5}}, SG_INVALID_ENTITY_TYPE},
      {"multi nil", SG_MULTI, {}, SG_INVALID_ENTITY_TYPE},
      {"nil with a point", SG_NIL_SHAPE, {{5, 5}}, SG_INVALID_PART},
      {"point with two points", SG_POINT_SHAPE, {{5, 5}, {6, 6}}, SG_INVALID_PART},
      {"point kind without points", SG_POINT_SHAPE, {}, SG_TOO_FEW_POINTS},
      // coordinates out of the reference's range
      {"negative x", SG_POINT_SHAPE, {{-5, 5}}, SG_COORD_OUT_OF_BOUNDS},
      {"y beyond the range", SG_LINE_SHAPE, {{0, 0}, {5, SG_SYSTEM_MAX + 1}}, SG_COORD_OUT_OF_BOUNDS},
      {"separator look-alike", SG_LINE_SHAPE, {{0, 0}, {-1, -3}, {5, 5}}, SG_COORD_OUT_OF_BOUNDS},
      // separators
      {"separator first", SG_MULTI_LINE_SHAPE, {PART, {0, 0}, {5, 5}}, SG_INVALID_PART},
      {"separator last", SG_MULTI_LINE_SHAPE, {{0, 0}, {5, 5}, PART}, SG_INVALID_PART},
      {"separators doubled", SG_MULTI_LINE_SHAPE, {{0, 0}, {5, 5}, PART, PART, {6, 6}, {7, 7}}, SG_INVALID_PART},
      {"part separator in a single line", SG_LINE_SHAPE, join({{{0, 0}, {5, 5}}, {{6, 6}, {7, 7}}}, PART), SG_INVALID_PART},
      {"ring separator in a line", SG_MULTI_LINE_SHAPE, join({{{0, 0}, {5, 5}}, {{6, 6}, {7, 7}}}, RING), SG_INVALID_PART},
      {"separator in a multi point", SG_MULTI_POINT_SHAPE, {{1, 1}, PART, {2, 2}}, SG_INVALID_PART},
      {"second polygon in a single area", SG_AREA_SHAPE, join({box(0, 0, 10, 10), box(20, 20, 30, 30)}, PART), SG_INVALID_PART},
      // lines
      {"line of one point", SG_LINE_SHAPE, {{0, 0}}, SG_TOO_FEW_POINTS},
      {"line standing still", SG_LINE_SHAPE, {{3, 3}, {3, 3}, {3, 3}}, SG_DEGENERATE},
      {"short part of a multi line", SG_MULTI_LINE_SHAPE, join({{{0, 0}, {5, 5}}, {{6, 6}}}, PART), SG_TOO_FEW_POINTS},
      {"simple line crossing itself", SG_SIMPLE_LINE_SHAPE, {{0, 0}, {10, 10}, {0, 10}, {10, 0}}, SG_SELF_INTERSECTING},
      // areas
      {"ring of three points", SG_AREA_SHAPE, {{0, 0}, {10, 0}, {0, 0}}, SG_TOO_FEW_POINTS},
      {"unclosed ring", SG_AREA_SHAPE, {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {5, 0}}, SG_RING_NOT_CLOSED},
      {"unclosed hole", SG_AREA_SHAPE, join({box(0, 0, 10, 10), {{2, 2}, {2, 8}, {8, 8}, {8, 2}}}, RING), SG_RING_NOT_CLOSED},
      {"flat ring", SG_AREA_SHAPE, {{0, 0}, {10, 0}, {5, 0}, {0, 0}}, SG_DEGENERATE},
      {"bow tie", SG_AREA_SHAPE, {{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}, SG_SELF_INTERSECTING},
      {"hole outside its shell", SG_AREA_SHAPE, join({box(0, 0, 10, 10), box(20, 20, 30, 30)}, RING), SG_INVALID_POLYGON},
      {"hole crossing its shell", SG_AREA_SHAPE, join({box(0, 0, 10, 10), box(5, 5, 15, 15)}, RING), SG_SELF_INTERSECTING},
      {"polygons overlapping", SG_MULTI_AREA_SHAPE, join({box(0, 0, 10, 10), box(5, 5, 15, 15)}, PART), SG_SELF_INTERSECTING},
      {"polygon inside another", SG_MULTI_AREA_SHAPE, join({box(0, 0, 10, 10), box(2, 2, 8, 8)}, PART), SG_INVALID_POLYGON},
  };
  for (const VerifyCase& c : cases) {
    Shape s(c.entity, c.pts);
    EXPECT_EQ(SgsShapeVerify(&s.f), c.want) << c.name;
  }
}

TEST(Verify, InconsistentRecordsAreRefusedWithoutReadingThem) {
  EXPECT_EQ(SgsShapeVerify(nullptr), SG_NULL_SHAPE);
  Shape s(SG_LINE_SHAPE, {{0, 0}, {5, 5}});
  s.f.numofpts = -1;
  EXPECT_EQ(SgsShapeVerify(&s.f), SG_INVALID_PARAM);
  s.f.numofpts = SG_MAX_POINTS + 1;
  EXPECT_EQ(SgsShapeVerify(&s.f), SG_INVALID_PARAM);
  FEATURE_STRUCT no_points{};
  no_points.entity = SG_LINE_SHAPE;
  no_points.numofpts = 2;
  EXPECT_EQ(SgsShapeVerify(&no_points), SG_INVALID_PARAM);
}

}  // namespace
