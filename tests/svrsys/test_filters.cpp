// test_filters.cpp -- filter analysis, the envelope test and the exact
// feature test of spatial filters.
//
// Shapes are made on the default coordinate reference (units 1), so plane
// and system units are the same numbers. Expected answers are written by
// hand from what each search method means.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <vector>

#include "comp_ftr.h"
#include "spatial_test.h"
#include "zul_status.h"

namespace {

FEATURE_STRUCT* rect(double x0, double y0, double x1, double y1) {
  FEATURE_STRUCT* s = nullptr;
  EXPECT_EQ(SgShapeCreate(nullptr, &s), 0);
  SE_ENVELOPE e = {x0, y0, x1, y1};
  EXPECT_EQ(SgShapeGenerateRectangle(&e, s), 0);
  return s;
}

FEATURE_STRUCT* point(double x, double y) {
  FEATURE_STRUCT* s = nullptr;
  EXPECT_EQ(SgShapeCreate(nullptr, &s), 0);
  SG_POINT p = {x, y};
  EXPECT_EQ(SgShapeGeneratePoint(1, &p, nullptr, nullptr, s), 0);
  return s;
}

FEATURE_STRUCT* line(double x0, double y0, double x1, double y1) {
  FEATURE_STRUCT* s = nullptr;
  EXPECT_EQ(SgShapeCreate(nullptr, &s), 0);
  SG_POINT p[2] = {{x0, y0}, {x1, y1}};
  EXPECT_EQ(SgShapeGenerateSimpleLine(2, 1, nullptr, p, nullptr, nullptr, s), 0);
  return s;
}

SPATIAL_FILTER shape_filter(FEATURE_STRUCT* shape, int32_t method, int32_t truth) {
  SPATIAL_FILTER f;
  memset(&f, 0, sizeof f);
  strcpy(f.table, "parcels");
  strcpy(f.column, "shape");
  f.filter_type = SE_SHAPE_FILTER;
  f.filter.shape = shape;
  f.method = method;
  f.truth = truth;
  return f;
}

SPATIAL_FILTER id_filter(int32_t truth) {
  SPATIAL_FILTER f;
  memset(&f, 0, sizeof f);
  f.filter_type = SE_ID_FILTER;
  f.filter.id = 3;
  f.truth = truth;
  return f;
}

// Owns the shapes of a test and frees them at its end.
struct Shapes {
  std::vector<FEATURE_STRUCT*> all;
  FEATURE_STRUCT* keep(FEATURE_STRUCT* s) {
    all.push_back(s);
    return s;
  }
  ~Shapes() {
    for (FEATURE_STRUCT* s : all) SgShapeFree(s);
  }
};

// A filter set over filters, with its prepared shapes.
struct Set {
  FILTER_SET set{};
  explicit Set(std::vector<SPATIAL_FILTER>& filters, int32_t mode = 0) {
    set.num_filters = (int16_t)filters.size();
    set.filters = filters.data();
    set.search_mode = mode;
    EXPECT_EQ(SES_generate_feature_specs(set.num_filters, set.filters, &set.specs), 0);
  }
  ~Set() { SES_free_feature_specs(set.num_filters, nullptr, set.specs); }
};

}  // namespace

TEST(AnalyzeFilters, IntersectedFiltersThatDoNotMeetMatchNothing) {
  Shapes sh;
  std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 100, 100)), SM_SC, 1),
                                   shape_filter(sh.keep(rect(200, 0, 300, 100)), SM_AI, 1)};
  int32_t nothing = -1;
  ENVELOPE e;
  ASSERT_EQ(SES_analyze_filters(2, f.data(), 0, &nothing, &e), 0);
  EXPECT_EQ(nothing, 1);

  f[1] = shape_filter(sh.keep(rect(50, 20, 300, 100)), SM_AI, 1);
  ASSERT_EQ(SES_analyze_filters(2, f.data(), 0, &nothing, &e), 0);
  EXPECT_EQ(nothing, 0);
  EXPECT_EQ(e.minx, 50);
  EXPECT_EQ(e.miny, 20);
  EXPECT_EQ(e.maxx, 100);
  EXPECT_EQ(e.maxy, 100);
}

TEST(AnalyzeFilters, ChoosesTheSmallerEnvelopeByGridCellsOrHalfPerimeter) {
  Shapes sh;
  FEATURE_STRUCT* wide = sh.keep(rect(0, 0, 990, 10));     // 10 cells of 100, half perimeter 1000
  FEATURE_STRUCT* square = sh.keep(rect(0, 0, 300, 300));  // 16 cells of 100, half perimeter 600
  std::vector<SPATIAL_FILTER> f = {shape_filter(square, SM_AI, 1), shape_filter(wide, SM_CP, 1),
                                   shape_filter(sh.keep(rect(0, 0, 5, 5)), SM_CP, 0)};
  const struct { int32_t grid; int32_t want_maxx; } kCases[] = {{100, 990}, {0, 300}, {-5, 300}};
  for (const auto& c : kCases) {
    int32_t nothing = -1;
    ENVELOPE e;
    ASSERT_EQ(SES_analyze_filters(3, f.data(), c.grid, &nothing, &e), 0) << c.grid;
    EXPECT_EQ(nothing, 0);
    EXPECT_EQ(e.maxx, c.want_maxx) << c.grid;
  }
}

// Cell counts and half perimeters of large envelopes overflowed 32 bits.
TEST(AnalyzeFilters, LargeEnvelopesCompareWithoutOverflow) {
  FEATURE_STRUCT a{}, b{};
  a.entity = b.entity = SG_AREA_SHAPE;
  a.envelope = {0, 0, 2147483000, 1};          // 2147483001 x 2 cells of 1
  b.envelope = {0, 0, 100000, 100000};         // 100001 x 100001 cells of 1
  std::vector<SPATIAL_FILTER> f = {shape_filter(&b, SM_AI, 1), shape_filter(&a, SM_AI, 1)};
  int32_t nothing;
  ENVELOPE e;
  ASSERT_EQ(SES_analyze_filters(2, f.data(), 1, &nothing, &e), 0);
  EXPECT_EQ(e.maxx, 2147483000);
  ASSERT_EQ(SES_analyze_filters(2, f.data(), 0, &nothing, &e), 0);
  EXPECT_EQ(e.maxx, 100000);   // half perimeter 200000 against 2147483001
}

TEST(AnalyzeFilters, StatusesOfFilterSetsThatCannotBeAnalysed) {
  Shapes sh;
  FEATURE_STRUCT nil{};
  FEATURE_STRUCT* r = sh.keep(rect(0, 0, 10, 10));
  const struct { const char* name; std::vector<SPATIAL_FILTER> f; int32_t rc; int32_t nothing; } kCases[] = {
      {"no filters", {}, 0, 0},
      {"no must-pass filter", {shape_filter(r, SM_AI, 0)}, SE_NO_MUST_PASS_FILTER, 0},
      {"must-pass id filter", {shape_filter(r, SM_AI, 1), id_filter(1)}, SE_INVALID_SHAPE_FILTER, 0},
      {"must-pass id filter, intersected", {shape_filter(r, SM_SC, 1), id_filter(1)},
       SE_INVALID_FILTER_INTERSECT, 0},
      {"empty must-pass shape", {shape_filter(r, SM_AI, 1), shape_filter(&nil, SM_AI, 1)}, 0, 1},
  };
  for (const auto& c : kCases) {
    int32_t nothing = -1;
    ENVELOPE e;
    EXPECT_EQ(SES_analyze_filters((int32_t)c.f.size(), c.f.data(), 0, &nothing, &e), c.rc) << c.name;
    EXPECT_EQ(nothing, c.nothing) << c.name;
  }
}

TEST(FeatureSpecs, AFilterThatIsNotAShapeIsRefusedAndTheArrayStillFreed) {
  Shapes sh;
  std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 1, 1)), SM_AI, 1), id_filter(1)};
  SG_FEATURE_SPEC* specs = nullptr;
  EXPECT_EQ(SES_generate_feature_specs(2, f.data(), &specs), SE_INVALID_SHAPE_FILTER);
  ASSERT_NE(specs, nullptr);
  SES_free_feature_specs(2, nullptr, specs);
  SES_free_feature_specs(0, nullptr, nullptr);
}

TEST(EnvelopeTest, TouchingIsKeptDisjointDropsAndCertaintyIsMarked) {
  Shapes sh;
  std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 100, 100)), SM_AI, 1)};
  Set set(f);
  const FILTER_CANDIDATE kCandidates[] = {
      {1, {100, 100, 200, 200}},   // touches at a corner: left to the exact test
      {2, {101, 0, 200, 50}},      // disjoint
      {3, {10, 10, 20, 20}},       // inside the area: the relation holds for certain
      {4, {-50, -50, 50, 50}},     // overlaps
  };
  int32_t matrix[4] = {-1, -1, -1, -1};
  uint32_t ids[4];
  int32_t kept = 0;
  ASSERT_EQ(SES_test_envelopes(4, kCandidates, &set.set, matrix, &kept, ids), 0);
  ASSERT_EQ(kept, 3);
  EXPECT_EQ(ids[0], 1u);
  EXPECT_EQ(ids[1], 3u);
  EXPECT_EQ(ids[2], 4u);
  EXPECT_EQ(matrix[0], 0);
  EXPECT_EQ(matrix[1], SE_CELL_FEATURE_DECIDES);
  EXPECT_EQ(matrix[2], 0);
}

TEST(EnvelopeTest, MustNotPassEnvelopeFiltersDropOverlaps) {
  Shapes sh;
  std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 100, 100)), SM_ENVP, 0)};
  Set set(f);
  const FILTER_CANDIDATE kCandidates[] = {{1, {50, 50, 60, 60}}, {2, {500, 500, 600, 600}}};
  int32_t matrix[2];
  uint32_t ids[2];
  int32_t kept = 0;
  ASSERT_EQ(SES_test_envelopes(2, kCandidates, &set.set, matrix, &kept, ids), 0);
  ASSERT_EQ(kept, 1);
  EXPECT_EQ(ids[0], 2u);
}

TEST(FeatureTest, FeaturesAgainstFiltersWithBothTruths) {
  Shapes sh;
  FEATURE_STRUCT* area = sh.keep(rect(100, 100, 200, 200));
  struct Feature { const char* name; FEATURE_STRUCT* shape; };
  const Feature kFeatures[] = {
      {"point inside", sh.keep(point(150, 150))},
      {"point outside", sh.keep(point(250, 250))},
      {"point on the edge", sh.keep(point(200, 150))},
      {"line crossing the area", sh.keep(line(50, 150, 250, 150))},
      {"small area inside", sh.keep(rect(110, 110, 120, 120))},
  };
  // Whether the relation of the method holds for each feature, in order.
  const struct { int32_t method; const char* relation; bool holds[5]; } kMethods[] = {
      {SM_CP, nullptr, {true, false, true, true, true}},
      {SM_AI, nullptr, {true, false, false, true, true}},
      {SM_SC, nullptr, {true, false, false, false, true}},
      {SM_CBM, "T*F**F***", {true, false, false, false, true}},
      {SM_IDENTICAL, nullptr, {false, false, false, false, false}},
  };
  for (const auto& m : kMethods) {
    for (int32_t truth : {1, 0}) {
      std::vector<SPATIAL_FILTER> f = {shape_filter(area, m.method, truth)};
      f[0].cbm = const_cast<char*>(m.relation);
      Set set(f);
      for (size_t i = 0; i < 5; i++) {
        FEATURE_STRUCT* feat = kFeatures[i].shape;
        feat->fid = (uint32_t)(100 + i);
        int32_t cell = 0;
        uint32_t id = 0;
        int32_t kept = -1;
        ASSERT_EQ(SES_test_features(1, &feat, nullptr, 0, &set.set, &cell, &kept, &id), 0);
        bool want = truth ? m.holds[i] : !m.holds[i];
        EXPECT_EQ(kept == 1, want) << "method " << m.method << " truth " << truth << ": " << kFeatures[i].name;
        if (kept == 1) {
          EXPECT_EQ(id, 100 + i);
        }
      }
    }
  }
}

TEST(FeatureTest, CompressedFeaturesAreUnpackedAndCertainCellsNeedNoSearch) {
  Shapes sh;
  std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 100, 100)), SM_SC, 1)};
  Set set(f);
  FEATURE_STRUCT in{};
  ASSERT_EQ(SgsShapeAllocate(&in, 1, 0, 0), 0);
  in.entity = SG_POINT_SHAPE;
  in.points[0] = {500, 500};   // outside: only the cell keeps it
  in.fid = 9;
  ASSERT_EQ(SES_feature_compress(&in, 0), 0);
  FEATURE_STRUCT* p = &in;
  int32_t cell = SE_CELL_FEATURE_DECIDES;
  uint32_t id = 0;
  int32_t kept = 0;
  ASSERT_EQ(SES_test_features(1, &p, nullptr, 1, &set.set, &cell, &kept, &id), 0);
  EXPECT_EQ(kept, 1);
  cell = 0;
  ASSERT_EQ(SES_test_features(1, &p, nullptr, 1, &set.set, &cell, &kept, &id), 0);
  EXPECT_EQ(kept, 0);
  SES_comp_feature_free(&in);
}

// An engine error used to count as a pass for a must-not-pass filter.
TEST(FeatureTest, AnEngineErrorEndsTheTestWhateverTheTruth) {
  Shapes sh;
  FEATURE_STRUCT* pt = sh.keep(point(5, 5));
  for (int32_t truth : {1, 0}) {
    std::vector<SPATIAL_FILTER> f = {shape_filter(sh.keep(rect(0, 0, 10, 10)), 14, truth)};
    Set set(f);
    int32_t cell = 0;
    uint32_t id;
    int32_t kept = -1;
    EXPECT_EQ(SES_test_features(1, &pt, nullptr, 0, &set.set, &cell, &kept, &id), -76) << truth;
    EXPECT_EQ(kept, 0);
  }
}
