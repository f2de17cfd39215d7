// test_projkit.cpp -- coordinate-system objects: made from texts PROJ
// understands, refused otherwise; stale and foreign pointers are harmless.
#include <gtest/gtest.h>

#include <string>

#include "geomkit.h"
#include "projkit.h"

namespace {

const char* kWgs84 =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";

TEST(Projkit, TextsAreUnderstoodOrRefused) {
  std::string too_long(PE_SRTEXT_CAP + 1, ' ');
  struct {
    const char* name;
    const char* text;
    bool made;
  } cases[] = {
      {"geographic system", kWgs84, true},
      {"projected system",
       "PROJCS[\"UTM 10N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
       "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
       "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",-123],"
       "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
       "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]",
       true},
      {"null", nullptr, false},
      {"empty", "", false},
      {"garbage", "GEOGCS[[[", false},
      {"an operation, not a system", "+proj=noop", false},
      {"too long", too_long.c_str(), false},
  };
  for (const auto& c : cases) {
    PE_COORDSYS cs = pe_coordsys_from_string(c.text);
    EXPECT_EQ(cs != nullptr, c.made) << c.name;
    if (cs) {
      EXPECT_STREQ(pe_coordsys_text(cs), c.text) << c.name;
      pe_coordsys_del(cs);
    }
  }
}

TEST(Projkit, ObjectHeldByACoordinateReference) {
  COORDREF* cr = nullptr;
  ASSERT_EQ(SgCoordRefCreate(&cr), 0);
  cr->coordsys = pe_coordsys_from_string(kWgs84);
  ASSERT_NE(cr->coordsys, nullptr);
  COORDREF copy = *cr;  // copied whole: both point at one object
  PE_COORDSYS cs = pe_coordsys_p(cr->coordsys);
  EXPECT_EQ(cs, cr->coordsys);
  pe_coordsys_del(cs);
  EXPECT_EQ(pe_coordsys_p(copy.coordsys), nullptr);
  pe_coordsys_del(static_cast<PE_COORDSYS>(copy.coordsys));  // second delete is ignored
  int foreign = 0;
  EXPECT_EQ(pe_coordsys_p(&foreign), nullptr);
  EXPECT_EQ(pe_coordsys_p(nullptr), nullptr);
  EXPECT_EQ(pe_coordsys_text(static_cast<PE_COORDSYS>(copy.coordsys)), nullptr);
  SgCoordRefFree(cr);
}

TEST(Projkit, EquivalentSystems) {
  PE_COORDSYS a = pe_coordsys_from_string(kWgs84);
  PE_COORDSYS b = pe_coordsys_from_string(
      "GEOGCS[\"WGS 84\", DATUM[\"WGS_1984\", SPHEROID[\"WGS 84\", 6378137.0, 298.257223563]],\n"
      "  PRIMEM[\"Greenwich\", 0.0], UNIT[\"degree\", 0.0174532925199433]]");
  PE_COORDSYS c = pe_coordsys_from_string(
      "GEOGCS[\"NAD27\",DATUM[\"North_American_Datum_1927\",SPHEROID[\"Clarke 1866\",6378206.4,294.9786982139006]],"
      "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(pe_coordsys_eq(a, b), 1);
  EXPECT_EQ(pe_coordsys_eq(a, c), 0);
  pe_coordsys_del(b);
  EXPECT_EQ(pe_coordsys_eq(a, b), 0);  // a dead object equals nothing
  pe_coordsys_del(a);
  pe_coordsys_del(c);
}

}  // namespace
