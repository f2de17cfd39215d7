// test_coordref.cpp -- coordinate references: defaults, derived values,
// conversions between system and plane units (round trips and refusals),
// envelopes, copying, equality and descriptions.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "geomkit.h"
#include "zul_layer.h"

namespace {

struct Ref {
  COORDREF* cr = nullptr;
  char text[SG_SRTEXT_CAP] = "";
  Ref(double falsex = 0, double falsey = 0, double units = 1) {
    EXPECT_EQ(SgCoordRefCreate(&cr), 0);
    cr->falsex = falsex;
    cr->falsey = falsey;
    cr->xyunits = units;
    EXPECT_EQ(SgsCalcCRound(units, &cr->xycround), 0);
    EXPECT_EQ(SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu), 0);
    cr->srtext = text;
  }
  ~Ref() { SgCoordRefFree(cr); }
};

const char* kWgs84 =
    "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],"
    "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";

TEST(CoordRef, NewReferenceIsActiveWithUnitsOne) {
  Ref r;
  EXPECT_EQ(r.cr->xyunits, 1.0);
  EXPECT_EQ(r.cr->zunits, 1.0);
  EXPECT_EQ(r.cr->munits, 1.0);
  EXPECT_EQ(r.cr->xyhalfsu, 0.5);
  EXPECT_EQ(r.cr->srid, 0);
  EXPECT_NE(SgsCoordRefIsActive(r.cr), 0);
  r.cr->zunits = 0;
  EXPECT_EQ(SgsCoordRefIsActive(r.cr), 0);
  r.cr->zunits = 1;
  r.cr->falsey = NAN;
  EXPECT_EQ(SgsCoordRefIsActive(r.cr), 0);
  EXPECT_EQ(SgsCoordRefIsActive(nullptr), 0);
}

TEST(CoordRef, DerivedValues) {
  struct {
    double units, cround, halfsu;
    int32_t rc;
  } cases[] = {
      {1, 1, 0.5, 0}, {1000, 0.001, 0.0005, 0}, {0.5, 2, 1, 0},
      {0, 0, 0, SG_INVALID_UNITS}, {-10, 0, 0, SG_INVALID_UNITS},
      {NAN, 0, 0, SG_INVALID_UNITS}, {INFINITY, 0, 0, SG_INVALID_UNITS},
  };
  for (const auto& c : cases) {
    double cround = -7, halfsu = -7;
    EXPECT_EQ(SgsCalcCRound(c.units, &cround), c.rc) << c.units;
    if (c.rc) continue;
    EXPECT_DOUBLE_EQ(cround, c.cround) << c.units;
    EXPECT_EQ(SgsCalcHalfSU(cround, &halfsu), 0);
    EXPECT_DOUBLE_EQ(halfsu, c.halfsu) << c.units;
  }
  double out;
  EXPECT_EQ(SgsCalcHalfSU(0, &out), SG_INVALID_UNITS);
  EXPECT_EQ(SgsCalcCRound(1, nullptr), SG_INVALID_POINTER);
}

// System values go to plane and back unchanged; plane values come back
// within half a system unit.
TEST(CoordRef, ValuesRoundTripWithinThePrecision) {
  struct {
    double falseorigin, units;
  } refs[] = {{0, 1}, {-180, 1e6}, {5e6, 1000}, {-400, 3}, {10, 0.5}, {0, 1e9}};
  const int32_t sys_values[] = {0, 1, 7, 12345, 999999, SG_SYSTEM_MAX / 3, SG_SYSTEM_MAX};
  for (const auto& r : refs) {
    double cround, halfsu;
    ASSERT_EQ(SgsCalcCRound(r.units, &cround), 0);
    ASSERT_EQ(SgsCalcHalfSU(cround, &halfsu), 0);
    for (int32_t s : sys_values) {
      double plane;
      int32_t back = -1;
      ASSERT_EQ(SgsValueToPlane(s, r.falseorigin, r.units, cround, halfsu, &plane), 0);
      ASSERT_EQ(SgsValueToSystem(plane, r.falseorigin, r.units, cround, halfsu, &back), 0)
          << r.units << " " << s;
      EXPECT_EQ(back, s) << "units " << r.units << ", origin " << r.falseorigin;
    }
    double span = SG_SYSTEM_MAX / r.units;
    for (double f : {0.0, 0.123456789, 0.5, 0.987654321}) {
      double plane = r.falseorigin + f * span, again;
      int32_t s;
      ASSERT_EQ(SgsValueToSystem(plane, r.falseorigin, r.units, cround, halfsu, &s), 0);
      ASSERT_EQ(SgsValueToPlane(s, r.falseorigin, r.units, cround, halfsu, &again), 0);
      EXPECT_LE(fabs(again - plane), halfsu * (1 + 1e-9)) << "units " << r.units << ", " << plane;
    }
  }
}

TEST(CoordRef, ValuesOutOfTheRangeAreRefused) {
  const double units = 1000, cround = 0.001, halfsu = 0.0005, origin = -100;
  const double top = origin + SG_SYSTEM_MAX / units;
  struct {
    const char* name;
    double plane;
    int32_t rc;
    int32_t value;
  } cases[] = {
      {"the origin", origin, 0, 0},
      {"less than half a unit below the origin", origin - 0.0004, 0, 0},
      {"a unit below the origin", origin - 0.001, SG_COORD_OUT_OF_BOUNDS, 0},
      {"far below", -1e12, SG_COORD_OUT_OF_BOUNDS, 0},
      {"the top", top, 0, SG_SYSTEM_MAX},
      {"a unit above the top", top + 0.001, SG_COORD_OUT_OF_BOUNDS, 0},
      {"far above", 1e300, SG_COORD_OUT_OF_BOUNDS, 0},
      {"not a number", NAN, SG_INVALID_PARAM, 0},
      {"infinity", INFINITY, SG_INVALID_PARAM, 0},
  };
  for (const auto& c : cases) {
    int32_t s = -77;
    EXPECT_EQ(SgsValueToSystem(c.plane, origin, units, cround, halfsu, &s), c.rc) << c.name;
    EXPECT_EQ(s, c.rc ? -77 : c.value) << c.name;
  }
  int32_t s;
  double p;
  EXPECT_EQ(SgsValueToSystem(1, 0, 0, 1, 0.5, &s), SG_INVALID_UNITS);
  EXPECT_EQ(SgsValueToPlane(1, 0, -1, 1, 0.5, &p), SG_INVALID_UNITS);
  EXPECT_EQ(SgsValueToSystem(1, 0, 1, 1, 0.5, nullptr), SG_INVALID_POINTER);
}

TEST(CoordRef, EnvelopesConvertBothWays) {
  Ref r(-50, 100, 10);
  SE_ENVELOPE plane = {-49.87, 100.0, 12.34, 250.57};
  ENVELOPE sys;
  ASSERT_EQ(SgsEnvelopeToSystem(r.cr, &plane, &sys), 0);
  EXPECT_EQ(sys.minx, 1);
  EXPECT_EQ(sys.miny, 0);
  EXPECT_EQ(sys.maxx, 623);
  EXPECT_EQ(sys.maxy, 1506);
  SE_ENVELOPE back;
  ASSERT_EQ(SgsEnvelopeToPlane(r.cr, &sys, &back), 0);
  EXPECT_DOUBLE_EQ(back.minx, -49.9);
  EXPECT_DOUBLE_EQ(back.miny, 100.0);
  EXPECT_DOUBLE_EQ(back.maxx, 12.3);
  EXPECT_DOUBLE_EQ(back.maxy, 250.6);

  SE_ENVELOPE empty = {5, 5, 1, 1};
  ASSERT_EQ(SgsEnvelopeToSystem(r.cr, &empty, &sys), 0);
  EXPECT_EQ(sys.minx, SG_ENVELOPE_EMPTY_MIN);
  EXPECT_EQ(sys.maxx, 0);
  ENVELOPE sys_empty = {SG_ENVELOPE_EMPTY_MIN, SG_ENVELOPE_EMPTY_MIN, 0, 0};
  ASSERT_EQ(SgsEnvelopeToPlane(r.cr, &sys_empty, &back), 0);
  EXPECT_GT(back.minx, back.maxx);

  SE_ENVELOPE below = {-60, 100, 0, 200};
  ENVELOPE untouched = {1, 2, 3, 4};
  EXPECT_EQ(SgsEnvelopeToSystem(r.cr, &below, &untouched), SG_COORD_OUT_OF_BOUNDS);
  EXPECT_EQ(untouched.minx, 1);
  EXPECT_EQ(untouched.maxy, 4);
}

TEST(CoordRef, DuplicateKeepsTheTargetsOwnTextAndProjection) {
  Ref a(1, 2, 1000), b;
  strcpy(a.text, kWgs84);
  a.cr->srid = 4326;
  int marker;
  b.cr->coordsys = &marker;
  ASSERT_EQ(SgCoordRefDuplicate(a.cr, b.cr), 0);
  EXPECT_EQ(b.cr->falsex, 1);
  EXPECT_EQ(b.cr->xyunits, 1000);
  EXPECT_EQ(b.cr->xyhalfsu, a.cr->xyhalfsu);
  EXPECT_EQ(b.cr->srid, 4326);
  EXPECT_EQ(b.cr->srtext, b.text);
  EXPECT_STREQ(b.text, "");
  EXPECT_EQ(b.cr->coordsys, &marker);
  EXPECT_EQ(SgCoordRefDuplicate(nullptr, b.cr), SG_INVALID_POINTER);
}

TEST(CoordRef, Equality) {
  struct {
    const char* name;
    double falsex, units;
    const char* text;
    int32_t equal;
  } cases[] = {
      {"same values, same text", 0, 1000, kWgs84, 1},
      {"origin within a millionth of a unit", 1e-10, 1000, kWgs84, 1},
      {"other origin", 0.001, 1000, kWgs84, 0},
      {"other units", 0, 100, kWgs84, 0},
      {"no text on one side", 0, 1000, "", 1},
      {"UNKNOWN on one side", 0, 1000, "UNKNOWN", 1},
      {"blanks, case and number spelling",
       0, 1000,
       "geogcs[ \"GCS_WGS_1984\", DATUM[\"D_WGS_1984\", SPHEROID[\"WGS_1984\",6378137,298.257223563]],\n"
       " PRIMEM[\"Greenwich\", 0], UNIT[\"Degree\", 1.74532925199433e-2]]",
       1},
      {"quoted names keep their case",
       0, 1000,
       "GEOGCS[\"gcs_wgs_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],"
       "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]",
       0},
      {"other system", 0, 1000, "PROJCS[\"NAD_1983_UTM_Zone_10N\",GEOGCS[\"GCS_North_American_1983\"]]", 0},
  };
  Ref base(0, 0, 1000);
  strcpy(base.text, kWgs84);
  for (const auto& c : cases) {
    Ref other(c.falsex, 0, c.units);
    strcpy(other.text, c.text);
    EXPECT_EQ(SgCoordRefIsEqual(base.cr, other.cr), c.equal) << c.name;
    EXPECT_EQ(SgCoordRefIsEqual(other.cr, base.cr), c.equal) << c.name;
  }
  Ref srid_differs(0, 0, 1000);
  strcpy(srid_differs.text, kWgs84);
  srid_differs.cr->srid = 99;
  EXPECT_EQ(SgCoordRefIsEqual(base.cr, srid_differs.cr), 1);
  EXPECT_EQ(SgCoordRefIsEqual(base.cr, nullptr), 0);
}

TEST(CoordRef, Descriptions) {
  std::string too_long = "GEOGCS[\"" + std::string(SG_SRTEXT_CAP, 'x') + "\"]";
  struct {
    const char* name;
    const char* text;
    int32_t rc;
  } cases[] = {
      {"coordinate system", kWgs84, 0},
      {"none", nullptr, 0},
      {"empty", "", 0},
      {"unknown", " unknown ", 0},
      {"parentheses", "LOCAL_CS(\"plant\",UNIT(\"m\",1))", 0},
      {"unbalanced", "GEOGCS[\"x\",DATUM[\"y\"]", SG_INVALID_COORDSYS},
      {"mismatched", "GEOGCS[\"x\")", SG_INVALID_COORDSYS},
      {"open quote", "GEOGCS[\"x]", SG_INVALID_COORDSYS},
      {"text after the end", "GEOGCS[\"x\"] junk", SG_INVALID_COORDSYS},
      {"no name", "[\"x\"]", SG_INVALID_COORDSYS},
      {"plain words", "somewhere on earth", SG_INVALID_COORDSYS},
      {"too long", too_long.c_str(), SG_INVALID_COORDSYS},
  };
  for (const auto& c : cases) {
    Ref r;
    EXPECT_EQ(SgCoordRefSetByDescription(r.cr, c.text), c.rc) << c.name;
    EXPECT_EQ((r.cr->sg_state & SG_CR_DESCRIBED) != 0, c.rc == 0) << c.name;
    EXPECT_EQ(r.cr->srtext, r.text) << c.name;
  }
  EXPECT_EQ(SgCoordRefSetByDescription(nullptr, kWgs84), SG_INVALID_POINTER);
}

TEST(CoordRef, ResetKeepsTheTextBufferAttached) {
  Ref r(10, 20, 1000);
  strcpy(r.text, kWgs84);
  r.cr->srid = 12;
  ASSERT_EQ(SgsCoordRefReset(r.cr), 0);
  EXPECT_EQ(r.cr->srtext, r.text);
  EXPECT_STREQ(r.text, "");
  EXPECT_EQ(r.cr->falsex, 0);
  EXPECT_EQ(r.cr->xyunits, 1);
  EXPECT_EQ(r.cr->srid, 0);
  EXPECT_NE(SgsCoordRefIsActive(r.cr), 0);
}

}  // namespace
