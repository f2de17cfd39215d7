// test_gse_register.cpp -- registration of layer columns with the Spatial
// Extender: the geometry type name a layer's entity flags give, the
// registration row (a view layer names its base layer's column), the
// answers counted as success (a remark, already registered) and those that
// are not (bad column -129, unknown srid, SQLSTATE 23512 on the call), and
// removal of a registration.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

#include "db_test_support.h"
#include "dl_fault.h"
#include "geomkit.h"
#include "zul_db_install.h"
#include "zul_db_sref.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

LAYER layer_of(const char* table, const char* column, int32_t eflags, int32_t base = 0) {
  LAYER l;
  memset(&l, 0, sizeof l);
  snprintf(l.owner, sizeof l.owner, "BOB");
  snprintf(l.table, sizeof l.table, "%s", table);
  snprintf(l.spatial_column, sizeof l.spatial_column, "%s", column);
  l.entity_flags = eflags;
  l.base_layer_id = base;
  return l;
}

class GseRegisterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    {
      Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      DBTUNE_SYSTEM_PARAMS storage;
      memset(&storage, 0, sizeof storage);
      storage.count = 100;
      ASSERT_EQ(DB_instance_layers_table_create(zul.in, &storage), 0);
    }
    bob.reset(new Instance());
    ASSERT_EQ(bob->status, 0);
    in = bob->in;
    SE_SPATIALREF r;
    COORDREF* cr = nullptr;
    ASSERT_EQ(SgCoordRefCreate(&cr), 0);
    memset(&r, 0, sizeof r);
    r.coordref = cr;
    ASSERT_EQ(DB_spatial_ref_create(in, &r), 0);
    SgCoordRefFree(cr);
    srid = r.srid;
    for (const char* ddl :
         {"CREATE TABLE BOB.ROADS (ID INTEGER, SHAPE DB2GSE.ST_LINESTRING)",
          "CREATE TABLE BOB.RIVERS (ID INTEGER, SHAPE DB2GSE.ST_LINESTRING)",
          "CREATE TABLE BOB.ANYTHING (ID INTEGER, SHAPE DB2GSE.ST_GEOMETRY)",
          "CREATE TABLE BOB.PLAIN (ID INTEGER, SHAPE INTEGER)",
          "CREATE VIEW BOB.ROADS_V AS SELECT ID, SHAPE FROM BOB.ROADS"})
      ASSERT_EQ(w.exec(ddl), SQL_SUCCESS) << ddl;
  }
  void TearDown() override { dl::dl_fault_clear(); }
  long long registered(const std::string& cond) {
    return w.scalar("SELECT COUNT(*) FROM DB2GSE.GSE_LAYER WHERE " + cond);
  }

  Database db;
  Watcher w{"BOB", dbtest::kUserPw};   // BOB's own tables
  Watcher admin_w;                     // the system tables, as ZUL
  std::unique_ptr<Instance> bob;
  DB_INSTANCE* in = nullptr;
  int32_t srid = 0;
};

TEST(GseTypeName, CodesAndFallback) {
  const char* expected[] = {"ST_GEOMETRY",       "ST_POINT",        "ST_CURVE",
                            "ST_LINESTRING",     "ST_SURFACE",      "ST_POLYGON",
                            "ST_GEOMCOLLECTION", "ST_MULTIPOINT",   "ST_MULTICURVE",
                            "ST_MULTILINESTRING", "ST_MULTISURFACE", "ST_MULTIPOLYGON"};
  for (int code = 0; code < 12; ++code) EXPECT_STREQ(db_gse_type_name(code), expected[code]) << code;
  EXPECT_STREQ(db_gse_type_name(12), "ST_GEOMETRY");
  EXPECT_STREQ(db_gse_type_name(-1), "ST_GEOMETRY");
}

TEST_F(GseRegisterTest, EntityFlagsGiveTheRegisteredTypeName) {
  struct Case {
    int32_t eflags;
    const char* type;
  } cases[] = {
      {0x2, "ST_POINT"},           {0x4, "ST_LINESTRING"},     {0x8 | 0x4, "ST_LINESTRING"},
      {0x10, "ST_POLYGON"},        {0x2 | 0x40000, "ST_MULTIPOINT"},
      {0x8 | 0x40000, "ST_MULTILINESTRING"}, {0x10 | 0x40000, "ST_MULTIPOLYGON"},
      {0x2 | 0x10, "ST_GEOMETRY"}, {0, "ST_GEOMETRY"},
  };
  for (const Case& c : cases) {
    // an ST_GEOMETRY column holds every type: wider than asked is a remark
    LAYER l = layer_of("ANYTHING", "SHAPE", c.eflags);
    EXPECT_EQ(db_gse_register_layer(in, &l, srid), 0) << c.type;
    EXPECT_EQ(registered("LAYER_TABLE = 'ANYTHING' AND TYPE_NAME = '" + std::string(c.type) +
                         "' AND SRID = " + std::to_string(srid) +
                         " AND BASE_LAYER_TABLE = 'ANYTHING' AND BASE_LAYER_COLUMN = 'SHAPE'"),
              0) << "not committed by the registration";
    ASSERT_EQ(db_ddl_commit(in), 0);
    EXPECT_EQ(registered("LAYER_TABLE = 'ANYTHING' AND TYPE_NAME = '" + std::string(c.type) + "'"), 1)
        << c.type;
    ASSERT_EQ(db_gse_unregister_layer(in, "BOB", "ANYTHING", "SHAPE"), 0) << c.type;
    EXPECT_EQ(registered("LAYER_TABLE = 'ANYTHING'"), 0) << c.type;
  }
}

TEST_F(GseRegisterTest, AnswersOfTheRegistration) {
  LAYER roads = layer_of("ROADS", "SHAPE", 0x4);
  ASSERT_EQ(db_gse_register_layer(in, &roads, srid), 0);
  ASSERT_EQ(db_ddl_commit(in), 0);
  // already registered (-6) counts as success
  EXPECT_EQ(db_gse_register_layer(in, &roads, srid), 0);

  struct Case {
    const char* name;
    LAYER layer;
    int32_t srid;
    const char* fail_state;   // SQLSTATE the call is made to fail with, or null
    int32_t status;
    int32_t native;
  } cases[] = {
      {"point layer on a line column", layer_of("RIVERS", "SHAPE", 0x2), srid, nullptr,
       SE_INVALID_SPATIAL_COLUMN, -8},
      {"no spatial column", layer_of("PLAIN", "SHAPE", 0x2), srid, nullptr,
       SE_INVALID_SPATIAL_COLUMN, -8},
      {"unknown srid", layer_of("ANYTHING", "SHAPE", 0x2), 999, nullptr, SE_DB_IO_ERROR, -2},
      {"registration conflict on the call", layer_of("ANYTHING", "SHAPE", 0x2), srid, "23512",
       SE_INVALID_SPATIAL_COLUMN, -544},
      {"other failure of the call", layer_of("ANYTHING", "SHAPE", 0x2), srid, "58004",
       SE_DB_IO_ERROR, -902},
  };
  for (const Case& c : cases) {
    if (c.fail_state != nullptr) dl::dl_fault_fail_statement(1, c.fail_state, c.native, "gse_register_layer");
    EXPECT_EQ(db_gse_register_layer(in, &c.layer, c.srid), c.status) << c.name;
    EXPECT_EQ(DB_instance_get_xerr(in).native, c.native) << c.name;
    EXPECT_EQ(DB_instance_get_xerr(in).code, SE_DB_IO_ERROR) << c.name;
    dl::dl_fault_clear();
    DB_instance_clear_xerr(in);
  }
  ASSERT_EQ(db_ddl_commit(in), 0);
  EXPECT_EQ(registered("1 = 1"), 1);

  // removing a registration that is not there
  EXPECT_EQ(db_gse_unregister_layer(in, "BOB", "PLAIN", "SHAPE"), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_instance_get_xerr(in).native, -3);
  std::string long_name(200, 'T');
  EXPECT_EQ(db_gse_unregister_layer(in, "BOB", long_name.c_str(), "SHAPE"), SE_INVALID_PARAM);
  EXPECT_EQ(registered("1 = 1"), 1);
}

TEST_F(GseRegisterTest, ViewLayerRegistersItsBaseLayersColumn) {
  LAYER roads = layer_of("ROADS", "SHAPE", 0x4);
  ASSERT_EQ(db_gse_register_layer(in, &roads, srid), 0);
  ASSERT_EQ(db_ddl_commit(in), 0);
  ASSERT_EQ(admin_w.exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, layer_config, "
                   "optimal_array_size, stats_date, minimum_id, owner, table_name, "
                   "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                   "base_layer_id, gsize1, gsize2, gsize3) VALUES (3, 'd', 'ZUL', 'KW', 100, 5, "
                   "3, 'BOB', 'ROADS', 'SHAPE', 4, 0, 0, 0, 10, 10, 1000, " +
                   std::to_string(srid) + ", 0, 1, 0, 0)"),
            SQL_SUCCESS);

  LAYER view = layer_of("ROADS_V", "SHAPE", 0x4, 3);
  ASSERT_EQ(db_gse_register_layer(in, &view, srid), 0);
  ASSERT_EQ(db_ddl_commit(in), 0);
  EXPECT_EQ(registered("LAYER_TABLE = 'ROADS_V' AND BASE_LAYER_SCHEMA = 'BOB' AND "
                       "BASE_LAYER_TABLE = 'ROADS' AND BASE_LAYER_COLUMN = 'SHAPE'"),
            1);

  // a base layer that cannot be read
  LAYER orphan = layer_of("ROADS_V", "SHAPE", 0x4, 77);
  EXPECT_EQ(db_gse_register_layer(in, &orphan, srid), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_instance_get_xerr(in).code, SE_DB_IO_ERROR);
}

}  // namespace
