// test_record_check.cpp -- checks of registrations, versions, locators and
// layer grid sizes.
#include <gtest/gtest.h>

#include <string.h>

#include "record_check.h"
#include "zul_status.h"

TEST(RecordChecks, RegistrationVersionAndLocator) {
  EXPECT_EQ(SES_verify_registration(nullptr), SE_INVALID_POINTER);
  REGISTRATION r{};
  EXPECT_EQ(SES_verify_registration(&r), SE_TABLE_NOEXIST);
  strcpy(r.table, "parcels");
  r.flags = SE_REG_HAS_ROWID;
  EXPECT_EQ(SES_verify_registration(&r), SE_INVALID_ROWID_COLUMN);
  r.flags = SE_REG_HAS_ROWID | SE_REG_ROWID_BY_SERVER;   // only the value 1 asks for the column
  EXPECT_EQ(SES_verify_registration(&r), 0);

  VERSION v{};
  EXPECT_EQ(SES_verify_version(&v), SE_INVALID_VERSION_NAME);
  strcpy(v.name, "DEFAULT");
  v.state_id = -1;
  EXPECT_EQ(SES_verify_version(&v), SE_INVALID_STATEINFO);
  v.state_id = 0;
  EXPECT_EQ(SES_verify_version(&v), 0);

  char n0[] = "color", n1[] = "", v0[] = "red", v1[] = "x";
  char* names[2] = {n0, n1};
  char* values[2] = {v0, v1};
  const struct { const char* name; const char* owner; int32_t type; int32_t count; int32_t rc; } kCases[] = {
      {"", "o", 0, 0, SE_INVALID_LOCATOR_NAME},  {"n", "", 0, 0, SE_INVALID_LOCATOR_OWNER},
      {"n", "o", 3, 0, SE_INVALID_LOCATOR_TYPE}, {"n", "o", -1, 0, SE_INVALID_LOCATOR_TYPE},
      {"n", "o", 2, 1, 0},                       {"n", "o", 1, 2, SE_INVALID_PARAM},
      {"n", "o", 1, -1, SE_INVALID_PARAM},
  };
  for (const auto& c : kCases) {
    LOCATOR l{};
    strcpy(l.name, c.name);
    strcpy(l.owner, c.owner);
    l.type = c.type;
    l.property_count = c.count;
    l.property_names = names;
    l.property_values = values;
    EXPECT_EQ(SES_verify_locator(&l), c.rc) << c.name << "/" << c.owner << "/" << c.type << "/" << c.count;
  }
}

TEST(GridChecks, KindsParametersAndLevels) {
  const struct { double g[3]; int32_t kind; int32_t rc; } kCases[] = {
      {{1000, 3000, 9000}, 1, 0},
      {{1000, 2999, 0}, 1, SE_INVALID_GRID_SIZE},
      {{255, 0, 0}, 1, SE_INVALID_GRID_SIZE},
      {{1000, 0, 9000}, 1, SE_INVALID_GRID_SIZE},   // level 3 without level 2
      {{1000, 3000, 8999}, 1, SE_INVALID_GRID_SIZE},
      {{0, 0, 0}, 0, 0},
      {{0, 1, 0}, 0, SE_INVALID_GRID_PARAMS},
      {{-1, 5, 5}, -1, 0},
      {{-2, 0, 0}, -2, 0},
      {{-3, 4, 0}, -3, 0},
      {{-3, -4, 0}, -3, SE_INVALID_GRID_PARAMS},
      {{-4, 1, 2}, -4, 0},
      {{-4, 1, -2}, -4, SE_INVALID_GRID_PARAMS},
      {{-5, 0, 0}, -5, SE_INVALID_GRID_KIND},
      {{-1e300, 0, 0}, -5, SE_INVALID_GRID_KIND},
  };
  for (const auto& c : kCases) {
    LAYER l{};
    memcpy(l.grid_size, c.g, sizeof c.g);
    int32_t kind = 99;
    double values[3];
    EXPECT_EQ(SES_verify_layer_grids(&l, &kind, values, 1), c.rc) << c.g[0] << " " << c.g[1] << " " << c.g[2];
    EXPECT_EQ(kind, c.kind) << c.g[0];
  }
  LAYER l{};
  l.grid_size[0] = -4;
  l.grid_size[1] = 7;
  l.grid_size[2] = -1;
  int32_t kind;
  double values[3];
  ASSERT_EQ(SES_verify_layer_grids(&l, &kind, values, 0), 0);   // unchecked: parameters pass
  EXPECT_EQ(values[0], 7);
  EXPECT_EQ(values[1], -1);
  EXPECT_EQ(SES_verify_layer_grids(&l, nullptr, values, 0), SE_INVALID_POINTER);
}

TEST(GridChecks, LevelsAreMeasuredInTheLayersSystemUnits) {
  COORDREF* cr = nullptr;
  ASSERT_EQ(SgCoordRefCreate(&cr), 0);
  cr->xyunits = 10;   // a level of 100 plane units is 1000 system units
  ASSERT_EQ(SgsCalcCRound(cr->xyunits, &cr->xycround), 0);
  ASSERT_EQ(SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu), 0);
  const double ok[3] = {100, 300, 900};
  const double small[3] = {20, 0, 0};
  EXPECT_EQ(SES_verify_grid_levels(ok, cr), 0);
  EXPECT_EQ(SES_verify_grid_levels(small, cr), SE_INVALID_GRID_SIZE);
  cr->xyunits = 0;   // a reference that cannot convert
  EXPECT_EQ(SES_verify_grid_levels(ok, cr), -141);
  SgCoordRefFree(cr);
}
