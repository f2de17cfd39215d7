// test_relations.cpp -- the search methods: the exact answers of SgsSrchComp
// and the envelope answers of SgsEnvSect on a table of shape pairs, and
// relation patterns through SgEvaluateRelation. Every expected answer is
// written by hand from the table in geomkit.h.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "gk_test_shapes.h"

using namespace gktest;

namespace {

// The fixture: A is the square 10..20; the others are placed against it.
std::vector<POINT> A() { return box(10, 10, 20, 20); }
std::vector<POINT> B() { return box(20, 10, 30, 20); }   // shares A's right edge
std::vector<POINT> C() { return box(15, 15, 25, 25); }   // overlaps A
std::vector<POINT> D() { return box(12, 12, 18, 18); }   // strictly inside A
std::vector<POINT> D2() { return box(10, 10, 15, 15); }  // inside A, on two of its edges
std::vector<POINT> E() { return box(40, 40, 50, 50); }   // far from A
std::vector<POINT> K() { return box(20, 20, 30, 30); }   // touches A at a corner
std::vector<POINT> H() { return join({box(10, 10, 20, 20), box(13, 13, 17, 17)}, RING); }  // A with a hole

struct Spec {
  SG_FEATURE_SPEC s{};
  Spec(int32_t entity, const std::vector<POINT>& pts) {
    Shape shape(entity, pts);
    EXPECT_EQ(SgsFeatureSpecSet(&s, &shape.f), 0);
  }
  ~Spec() { SgsFeatureSpecFree(&s); }
};

// The methods in the order of the answer strings below.
const int32_t kMethods[] = {SM_CP, SM_LCROSS, SM_COMMON, SM_CP_OR_LCROSS, SM_ET_OR_AI, SM_AI,
                            SM_AI_NO_ET, SM_PC, SM_SC, SM_PC_NO_ET, SM_SC_NO_ET, SM_PIP,
                            SM_IDENTICAL};

struct RelationCase {
  const char* name;
  int32_t f_entity;
  std::vector<POINT> f;
  int32_t s_entity;
  std::vector<POINT> s;
  const char* holds;  // per method of kMethods: T holds, F does not
};

const int32_t AREA = SG_AREA_SHAPE, LINE = SG_LINE_SHAPE, PT = SG_POINT_SHAPE;

std::vector<RelationCase> relation_cases() {
  std::vector<POINT> LX = {{5, 15}, {25, 15}};
  std::vector<POINT> LY = {{15, 5}, {15, 25}};
  return {
      //                                                             2  3  4  5  6  7  8  9 10 11 12 13 15
      {"identical squares", AREA, A(), AREA, A(),                   "TFTTTTFTTFFFT"},
      {"square strictly within", AREA, D(), AREA, A(),              "TFFTTTTFTFTFF"},
      {"square strictly containing", AREA, A(), AREA, D(),          "TFFTTTTTFTFFF"},
      {"square within touching edges", AREA, D2(), AREA, A(),       "TFTTTTFFTFFFF"},
      {"squares sharing an edge", AREA, B(), AREA, A(),             "TFTTTFFFFFFFF"},
      {"overlapping squares", AREA, C(), AREA, A(),                 "TTFTTTFFFFFFF"},
      {"disjoint squares", AREA, E(), AREA, A(),                    "FFFFFFFFFFFFF"},
      {"squares touching at a corner", AREA, K(), AREA, A(),        "TFFTTFFFFFFFF"},
      {"point inside square", PT, {{15, 15}}, AREA, A(),            "TFFTTTTFTFTTF"},
      {"point on square's edge", PT, {{10, 15}}, AREA, A(),         "TFFTTFFFFFFTF"},
      {"point outside square", PT, {{5, 5}}, AREA, A(),             "FFFFFFFFFFFFF"},
      {"square around a point filter", AREA, A(), PT, {{15, 15}},   "TFFTTTTTFTFTF"},
      {"point in the hole", PT, {{15, 15}}, AREA, H(),              "FFFFFFFFFFFFF"},
      {"square over the hole", AREA, D(), AREA, H(),                "TTFTTTTFFFFFF"},
      {"line across the hole", LINE, {{12, 15}, {18, 15}}, AREA, H(), "TTFTTTTFFFFFF"},
      {"crossing lines", LINE, LX, LINE, LY,                        "TTFTTTTFFFFFF"},
      {"collinear overlapping lines", LINE, {{0, 15}, {8, 15}}, LINE, LX, "TFTTTTTFFFFFF"},
      {"lines meeting end to end", LINE, {{25, 15}, {30, 15}}, LINE, LX, "TFFTTFFFFFFFF"},
      {"line through square", LINE, LX, AREA, A(),                  "TTFTTTTFFFFFF"},
      {"line inside square", LINE, {{12, 15}, {18, 15}}, AREA, A(), "TFFTTTTFTFTFF"},
      {"line along square's edge", LINE, {{10, 10}, {20, 10}}, AREA, A(), "TFTTTFFFFFFFF"},
      {"point on a line", PT, {{15, 15}}, LINE, LX,                 "TFFTTTTFTFTFF"},
      {"multi point half inside", SG_MULTI_POINT_SHAPE, {{15, 15}, {5, 5}}, AREA, A(), "TFFTTTTFFFFTF"},
      {"multi area half inside", SG_MULTI_AREA_SHAPE, join({D(), E()}, PART), AREA, A(), "TTFTTTTFFFFFF"},
      {"nil shape", SG_NIL_SHAPE, {}, AREA, A(),                    "FFFFFFFFFFFFF"},
  };
}

TEST(Relations, SearchMethodsAnswerAsTheTableSays) {
  for (const RelationCase& c : relation_cases()) {
    Spec spec(c.s_entity, c.s);
    Shape feature(c.f_entity, c.f);
    for (size_t i = 0; i < sizeof kMethods / sizeof kMethods[0]; i++) {
      int32_t cell = 12345;
      int32_t want = c.holds[i] == 'T' ? SG_SRCH_HOLDS : SG_SRCH_FAILS;
      EXPECT_EQ(SgsSrchComp(&spec.s, &feature.f, kMethods[i], &cell, 0), want)
          << c.name << ", method " << kMethods[i];
      EXPECT_EQ(cell, want) << c.name << ", method " << kMethods[i];
    }
    // Envelope overlap, touching included.
    int32_t env = c.f_entity == SG_NIL_SHAPE || c.name == std::string("disjoint squares") ||
                          c.name == std::string("point outside square")
                      ? SG_SRCH_FAILS
                      : SG_SRCH_HOLDS;
    EXPECT_EQ(SgsSrchComp(&spec.s, &feature.f, SM_ENVP, nullptr, 0), env) << c.name;
    EXPECT_EQ(SgsSrchComp(&spec.s, &feature.f, SM_CBM, nullptr, 0), SG_SRCH_HOLDS) << c.name;
  }
}

// Each thread has its own GEOS context; threads with their own entries get
// the same answers side by side.
TEST(Relations, ThreadsWithTheirOwnEntriesAgree) {
  const std::vector<RelationCase> cases = relation_cases();
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; round++) {
        for (const RelationCase& c : cases) {
          Spec spec(c.s_entity, c.s);
          Shape feature(c.f_entity, c.f);
          for (size_t i = 0; i < sizeof kMethods / sizeof kMethods[0]; i++) {
            int32_t want = c.holds[i] == 'T' ? SG_SRCH_HOLDS : SG_SRCH_FAILS;
            wrong[t] += SgsSrchComp(&spec.s, &feature.f, kMethods[i], nullptr, 0) != want;
          }
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; t++) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

// The envelope test never contradicts the exact one: 0 only where the
// relation fails, 4096 only where it holds.
TEST(Relations, EnvelopeAnswersAgreeWithExactAnswers) {
  for (const RelationCase& c : relation_cases()) {
    Spec spec(c.s_entity, c.s);
    Shape feature(c.f_entity, c.f);
    for (size_t i = 0; i < sizeof kMethods / sizeof kMethods[0]; i++) {
      int32_t e = SgsEnvSect(&spec.s, &feature.f.envelope, kMethods[i]);
      ASSERT_TRUE(e == SG_ENVSECT_NO || e == SG_ENVSECT_MAYBE || e == SG_ENVSECT_YES)
          << c.name << ": " << e;
      if (e == SG_ENVSECT_NO) {
        EXPECT_EQ(c.holds[i], 'F') << c.name << ", method " << kMethods[i];
      }
      if (e == SG_ENVSECT_YES) {
        EXPECT_EQ(c.holds[i], 'T') << c.name << ", method " << kMethods[i];
      }
    }
  }
}

TEST(Relations, EnvelopeAnswersFromTheTable) {
  // Filter A; candidate envelopes against it. Answers per method in the
  // order 0 2 3 4 7 8 9 10 12 13 15 16 (N 0, M 1, Y 4096).
  const int32_t methods[] = {SM_ENVP, SM_CP,  SM_LCROSS, SM_COMMON, SM_AI,        SM_AI_NO_ET,
                             SM_PC,   SM_SC,  SM_SC_NO_ET, SM_PIP,  SM_IDENTICAL, SM_CBM};
  struct EnvCase {
    const char* name;
    ENVELOPE e;
    const char* answers;
  } cases[] = {
      {"far away", {40, 40, 50, 50}, "NNNNNNNNNNNM"},
      {"in the interior", {12, 12, 18, 18}, "YYNNYYNYYMNM"},
      {"equal to the filter's", {10, 10, 20, 20}, "YMMMMMMMMMMM"},
      {"overlapping", {15, 15, 25, 25}, "YMMMMMNNNMNM"},
      {"touching at a corner", {20, 20, 30, 30}, "YMMMMMNNNMNM"},
      {"a point in the interior", {15, 15, 15, 15}, "YYNNYYNYYMNM"},
      {"empty", {SG_ENVELOPE_EMPTY_MIN, SG_ENVELOPE_EMPTY_MIN, 0, 0}, "NNNNNNNNNNNM"},
  };
  Spec a(AREA, A());
  for (const EnvCase& c : cases) {
    for (size_t i = 0; i < sizeof methods / sizeof methods[0]; i++) {
      int32_t want = c.answers[i] == 'N' ? SG_ENVSECT_NO
                     : c.answers[i] == 'M' ? SG_ENVSECT_MAYBE
                                           : SG_ENVSECT_YES;
      EXPECT_EQ(SgsEnvSect(&a.s, &c.e, methods[i]), want) << c.name << ", method " << methods[i];
    }
  }
  // The hole of H is outside H: a candidate there is not certain.
  Spec h(AREA, H());
  ENVELOPE in_hole = {14, 14, 16, 16};
  EXPECT_EQ(SgsEnvSect(&h.s, &in_hole, SM_AI), SG_ENVSECT_MAYBE);
  // A line filter decides nothing from a candidate inside its envelope.
  Spec line(LINE, {{10, 10}, {20, 20}});
  ENVELOPE inside = {14, 14, 16, 16};
  EXPECT_EQ(SgsEnvSect(&line.s, &inside, SM_CP), SG_ENVSECT_MAYBE);
}

TEST(Relations, UnknownMethodsAndBadArgumentsAreRefused) {
  Spec a(AREA, A());
  Shape f(AREA, D());
  for (int32_t m : {14, 17, -1, 1000}) {
    EXPECT_EQ(SgsEnvSect(&a.s, &f.f.envelope, m), SG_INVALID_SEARCH_METHOD) << m;
    EXPECT_EQ(SgsSrchComp(&a.s, &f.f, m, nullptr, 0), SG_INVALID_SEARCH_METHOD) << m;
  }
  SG_FEATURE_SPEC empty{};
  EXPECT_EQ(SgsEnvSect(&empty, &f.f.envelope, SM_CP), SG_NULL_SHAPE);
  EXPECT_EQ(SgsSrchComp(&empty, &f.f, SM_CP, nullptr, 0), SG_NULL_SHAPE);
  EXPECT_EQ(SgsSrchComp(nullptr, &f.f, SM_CP, nullptr, 0), SG_INVALID_POINTER);
  EXPECT_EQ(SgsSrchComp(&a.s, nullptr, SM_CP, nullptr, 0), SG_NULL_SHAPE);
  // A feature whose separators make no sense is an error, not an answer.
  Shape broken(LINE, {PART, {1, 1}, {2, 2}});
  EXPECT_EQ(SgsSrchComp(&a.s, &broken.f, SM_CP, nullptr, 0), SG_INVALID_PART);
  // A ring that is not closed cannot be built.
  Shape open_ring(AREA, {{12, 12}, {12, 18}, {18, 18}, {18, 12}});
  EXPECT_EQ(SgsSrchComp(&a.s, &open_ring.f, SM_AI, nullptr, 0), SG_GEOMETRY_ENGINE);
}

TEST(Relations, FilterShapeIsCopiedIntoTheEntry) {
  SG_FEATURE_SPEC spec{};
  {
    Shape s(AREA, A());
    ASSERT_EQ(SgsFeatureSpecSet(&spec, &s.f), 0);
  }  // the filter's own shape is gone; the entry keeps its copy
  Shape f(PT, {{15, 15}});
  EXPECT_EQ(SgsSrchComp(&spec, &f.f, SM_SC, nullptr, 0), SG_SRCH_HOLDS);
  Shape other(AREA, E());
  ASSERT_EQ(SgsFeatureSpecSet(&spec, &other.f), 0);  // replaces and releases the first
  EXPECT_EQ(SgsSrchComp(&spec, &f.f, SM_SC, nullptr, 0), SG_SRCH_FAILS);
  SgsFeatureSpecFree(&spec);
  EXPECT_EQ(spec.shape, nullptr);
  SgsFeatureSpecFree(&spec);  // a second release is harmless
}

TEST(Relations, RelationPatterns) {
  Spec d(AREA, D());
  Shape a(AREA, A());
  struct PatternCase {
    const char* pattern;
    int32_t want;
  } cases[] = {
      {"212FF1FF2", 1},   // the whole matrix of A against D inside it
      {"T*****FF*", 1},   // contains
      {"t*****ff*", 1},   // letters in either case
      {"FF*FF****", 0},   // disjoint
      {"T*F**F***", 0},   // within
      {"T*****FF", SG_INVALID_RELATION},
      {"T*****FF**", SG_INVALID_RELATION},
      {"T*****FFX", SG_INVALID_RELATION},
      {"", SG_INVALID_RELATION},
  };
  for (const PatternCase& c : cases)
    EXPECT_EQ(SgEvaluateRelation(&d.s, &a.f, c.pattern), c.want) << c.pattern;
  Shape nil(SG_NIL_SHAPE, {});
  EXPECT_EQ(SgEvaluateRelation(&d.s, &nil.f, "FF*FF****"), 1);
  EXPECT_EQ(SgEvaluateRelation(&d.s, &a.f, nullptr), SG_INVALID_POINTER);
}

}  // namespace
