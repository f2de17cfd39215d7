// test_catalog.cpp -- the catalogue procedures through CALL on a database
// with the system tables: the release, the layer, registry, metadata,
// locator, raster-column and dbtune changes, their message codes, and
// which of them commit.
#include "sp_test_support.h"

#include <gtest/gtest.h>

using namespace sptest;

namespace {

// The message code of a case whose CALL itself fails (its msg holds the SQLSTATE).
constexpr long long kCallFails = -1000000;

class Catalog : public ProcTest {
 protected:
  void SetUp() override {
    ProcTest::SetUp();
    if (HasFatalFailure()) return;
    // A spatial reference and a spatial column for the layer rows.
    for (const char* sql :
         {"INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SC_NAME, SRTEXT) VALUES (1, 'plane', 'PLANE A')",
          "INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SREF_NAME, SCID) VALUES (7, 'ref', 1)",
          "INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID)"
          " VALUES ('BOB', 'ROADS', 'SHAPE', 7)"}) {
      std::string why;
      ASSERT_EQ(zul_.exec(sql, &why), SQL_SUCCESS) << sql << ": " << why;
    }
    ASSERT_EQ(zul_.commit(), SQL_SUCCESS);
  }

  // The 22 arguments of zul_insert_layer for layer id in table.
  static std::vector<Arg> layer(int id, const std::string& owner, const std::string& table,
                                const std::string& column) {
    return {I(id), T("roads"), T("ZUL"), T(owner), T(table), T(column), I(3), I(5), D(0), D(0), D(10),
            D(10), I(1000), NT(), NI(), NI(), I(1), I(7), I(0), D(1), D(0), D(0)};
  }
};

TEST_F(Catalog, ReleaseProcedureAnswersThirteen) {
  Result r = zul_.call("zul_release_proc", {OI()}, false);
  ASSERT_EQ(r.rc, SQL_SUCCESS) << r.diag;
  EXPECT_EQ(r.ints[0], 13);
}

TEST_F(Catalog, LayerRowsAndTheirMessageCodes) {
  Result ins = zul_.call("zul_insert_layer", layer(1, "BOB", "ROADS", "SHAPE"));
  ASSERT_EQ(ins.rc, SQL_SUCCESS) << ins.diag;
  ASSERT_EQ(ins.code(), 0) << ins.msg();
  // Committed by the procedure: the caller's rollback keeps it.
  zul_.rollback();
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.LAYERS WHERE layer_id = 1"), 1);
  EXPECT_EQ(zul_.text("SELECT layer_config FROM ZUL.LAYERS"), "<null>");

  struct Case {
    const char* name;
    const char* proc;
    std::vector<Arg> args;
    long long code;
    const char* check;  // a query that must give 1 afterwards
  } cases[] = {
      {"owner empty", "zul_insert_layer", layer(2, "", "R2", "SHAPE"), -9, nullptr},
      {"owner blank-led", "zul_insert_layer", layer(2, " X", "R2", "SHAPE"), -9, nullptr},
      {"table empty", "zul_insert_layer", layer(2, "BOB", "", "SHAPE"), -86, nullptr},
      {"column empty", "zul_insert_layer", layer(2, "BOB", "R2", ""), -129, nullptr},
      {"update", "zul_update_layer",
       {I(1), T("main roads"), I(9), I(6), D(-1), D(-2), D(20), D(30), T("KW"), I(50), NI(), I(4), D(2), D(0), D(0)},
       0, "SELECT COUNT(*) FROM ZUL.LAYERS WHERE description = 'main roads' AND layer_config = 'KW'"},
      {"update of a missing layer", "zul_update_layer",
       {I(99), T("x"), I(0), I(0), D(0), D(0), D(1), D(1), NT(), NI(), NI(), NI(), D(1), D(0), D(0)}, -20020,
       nullptr},
      {"rename", "zul_rename_layer", {T("ROADS"), I(1)}, 0,
       "SELECT COUNT(*) FROM ZUL.LAYERS WHERE table_name = 'ROADS'"},
      {"rename to nothing", "zul_rename_layer", {T(""), I(1)}, -86, nullptr},
      {"rename a missing layer", "zul_rename_layer", {T("X"), I(99)}, -20020, nullptr},
      {"srid of a missing layer", "zul_update_ly_srid", {I(99), I(7)}, -20020, nullptr},
      {"srtext already carried", "zul_update_srtext", {I(1), T("PLANE A")}, 0, nullptr},
      {"srtext changed", "zul_update_srtext", {I(1), T("PLANE B")}, 0,
       "SELECT COUNT(*) FROM DB2GSE.GSE_COORD_REF WHERE srtext = 'PLANE B'"},
      {"srtext blank-led", "zul_update_srtext", {I(1), T(" PLANE")}, -143, nullptr},
      {"srid exists", "zul_check_spid", {I(7)}, 0, nullptr},
      {"srid missing is positive", "zul_check_spid", {I(8)}, 20020, nullptr},
      {"delete a missing layer", "zul_delete_layer", {I(99)}, -20020, nullptr},
      {"table name longer than its column", "ZUL.RENAME_WIDE", {T(std::string(129, 'N')), I(1)}, -302,
       nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = zul_.call(c.proc, c.args);
    EXPECT_EQ(r.rc == SQL_SUCCESS || r.rc == SQL_SUCCESS_WITH_INFO, true) << r.diag;
    EXPECT_EQ(r.code(), c.code) << r.msg();
    if (c.check) {
      EXPECT_EQ(zul_.scalar(c.check), 1);
    }
    zul_.rollback();
  }
  Result del = zul_.call("zul_delete_layer", {I(1)});
  EXPECT_EQ(del.code(), 0) << del.msg();
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.LAYERS"), 0);
}

TEST_F(Catalog, LayerExtentOnlyGrowsAndIsLeftToTheCaller) {
  ASSERT_EQ(zul_.call("zul_insert_layer", layer(1, "BOB", "ROADS", "SHAPE")).code(), 0);
  struct Case {
    const char* name;
    double x0, y0, x1, y1;
    const char* extent;  // stored afterwards
  } cases[] = {
      {"inside", 1, 1, 9, 9, "0 0 10 10"},
      {"left and top", -5, 2, 3, 12, "-5 0 10 12"},
      {"bottom and right", 0, -3, 11, 5, "-5 -3 11 12"},
      {"equal values", -5, -3, 11, 12, "-5 -3 11 12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = zul_.call("zul_update_ly_ext", {I(1), D(c.x0), D(c.y0), D(c.x1), D(c.y1)});
    ASSERT_EQ(r.code(), 0) << r.msg() << r.diag;
    std::string got = std::to_string(zul_.scalar("SELECT INTEGER(minx) FROM ZUL.LAYERS")) + " " +
                      std::to_string(zul_.scalar("SELECT INTEGER(miny) FROM ZUL.LAYERS")) + " " +
                      std::to_string(zul_.scalar("SELECT INTEGER(maxx) FROM ZUL.LAYERS")) + " " +
                      std::to_string(zul_.scalar("SELECT INTEGER(maxy) FROM ZUL.LAYERS"));
    EXPECT_EQ(got, c.extent);
    ASSERT_EQ(zul_.commit(), SQL_SUCCESS);
  }
  // No COMMIT of its own: the caller's rollback undoes the widening.
  ASSERT_EQ(zul_.call("zul_update_ly_ext", {I(1), D(-100), D(-100), D(100), D(100)}).code(), 0);
  zul_.rollback();
  EXPECT_EQ(zul_.scalar("SELECT INTEGER(maxx) FROM ZUL.LAYERS"), 11);
  EXPECT_EQ(zul_.call("zul_update_ly_ext", {I(99), D(0), D(0), D(1), D(1)}).code(), -20020);
}

TEST_F(Catalog, RegistryMetadataLocatorRasterAndDbtuneRows) {
  struct Case {
    const char* name;
    const char* proc;
    std::vector<Arg> args;
    bool pair;
    long long code;      // message code (without a pair, 0 for a successful CALL), or kCallFails
    const char* msg;     // expected message (the SQLSTATE with kCallFails), or nullptr
    const char* check;   // a query that must give 1 afterwards, or nullptr
  } cases[] = {
      {"insert registration", "zul_insert_registr",
       {I(5), T("ZUL"), T("ROADS"), T("BOB"), NT(), T("d"), I(6), I(100), NT(), NI(), NT()}, true, 0, "",
       "SELECT COUNT(*) FROM ZUL.TABLE_REGISTRY WHERE registration_id = 5 AND rowid_column IS NULL"},
      {"update registration", "zul_update_registr", {I(5), T("OBJECTID"), T("e"), I(7), T("KW"), I(1), NT()},
       true, 0, "", "SELECT COUNT(*) FROM ZUL.TABLE_REGISTRY WHERE rowid_column = 'OBJECTID'"},
      {"update a missing registration", "zul_update_registr", {I(9), NT(), NT(), I(7), NT(), NI(), NT()}, true,
       100, "", nullptr},
      {"rename registration", "zul_rename_registr", {T("STREETS"), I(5)}, true, 0, "",
       "SELECT COUNT(*) FROM ZUL.TABLE_REGISTRY WHERE table_name = 'STREETS'"},
      {"rename a missing registration", "zul_rename_registr", {T("X"), I(9)}, true, 100, "", nullptr},
      {"rename to nothing", "zul_rename_registr", {T(" "), I(5)}, true, -86, "", nullptr},
      {"clear marks of a table without any", "zul_clear_modified", {I(5)}, true, 0, "", nullptr},
      {"delete a missing registration", "zul_delete_registr", {I(9)}, true, -20020, "", nullptr},
      {"delete registration", "zul_delete_registr", {I(5)}, true, 0, "",
       "SELECT COUNT(*) + 1 FROM ZUL.TABLE_REGISTRY"},
      {"insert metadata", "zul_insert_metadata",
       {I(3), T("ROADS"), NT(), T("BOB"), I(1), T("c"), T("p"), T("v"), NT()}, true, 0, "",
       "SELECT COUNT(*) FROM ZUL.METADATA WHERE record_id = 3 AND object_database IS NULL"},
      {"metadata without a name", "zul_insert_metadata",
       {I(4), T(""), NT(), T("BOB"), I(1), NT(), NT(), NT(), NT()}, true, -66, "", nullptr},
      {"metadata without an owner", "zul_insert_metadata",
       {I(4), T("R"), NT(), T(""), I(1), NT(), NT(), NT(), NT()}, true, -9, "", nullptr},
      {"update metadata", "zul_update_metadata",
       {I(3), T("c2"), T("p2"), T("v2"), T("d2"), T("2026-01-01-00.00.00.000000")}, true, 0, "",
       "SELECT COUNT(*) FROM ZUL.METADATA WHERE prop_value = 'v2'"},
      {"update missing metadata", "zul_update_metadata",
       {I(9), NT(), NT(), NT(), NT(), T("2026-01-01-00.00.00.000000")}, true, -20020, "", nullptr},
      {"delete ten missing metadata ids", "zul_delete_metadata",
       {I(11), I(12), I(13), I(14), I(15), I(16), I(17), I(18), I(19), I(20)}, true, 0, "", nullptr},
      {"delete metadata", "zul_delete_metadata", {I(3), I(0), I(0), I(0), I(0), I(0), I(0), I(0), I(0), I(0)},
       true, 0, "", "SELECT COUNT(*) + 1 FROM ZUL.METADATA"},
      {"insert locator", "zul_insert_locator", {I(1), T("HOME"), T("cat"), I(2), T("d"), T("BOB")}, true, 0,
       "", "SELECT COUNT(*) FROM ZUL.LOCATORS WHERE name = 'HOME'"},
      // The failed insert's SQLCA fails the CALL itself, so the caller sees
      // the duplicate key, not the message code.
      {"insert a taken locator name", "zul_insert_locator", {I(2), T("HOME"), T("cat"), I(2), T("d"), T("BOB")},
       true, kCallFails, "23505", nullptr},
      {"locator without a category", "zul_insert_locator", {I(2), T("W"), T(""), I(2), T("d"), T("BOB")}, true,
       -66, "", nullptr},
      {"locator without an owner", "zul_insert_locator", {I(2), T("W"), T("c"), I(2), T("d"), T("")}, true, -9,
       "", nullptr},
      {"insert second locator", "zul_insert_locator", {I(2), T("WORK"), T("cat"), I(2), T("d"), T("BOB")},
       true, 0, "", nullptr},
      {"update locator to a taken name", "zul_update_locator", {I(2), T("HOME"), T("cat"), I(2), T("d")}, true,
       kCallFails, "23505", nullptr},
      {"update a missing locator", "zul_update_locator", {I(9), T("X"), T("cat"), I(2), T("d")}, true, -20020,
       "", nullptr},
      {"delete a missing locator", "zul_delete_locator", {I(9)}, true, 0, "", nullptr},
      {"insert raster column", "zul_insert_raster",
       {I(4), NT(), T("ZUL"), T("BOB"), T("IMG"), T("R"), I(1), NT(), NI(), I(0), I(0), NI()}, false, 0,
       nullptr, "SELECT COUNT(*) FROM ZUL.RASTER_COLUMNS WHERE rastercolumn_id = 4 AND srid IS NULL"},
      {"update raster column", "zul_update_raster", {I(4), T("d"), T("KW"), I(1), I(3)}, false, 0, nullptr,
       "SELECT COUNT(*) FROM ZUL.RASTER_COLUMNS WHERE rastercolumn_mask = 3"},
      {"delete raster column", "zul_delete_raster", {I(4)}, false, 0, nullptr,
       "SELECT COUNT(*) + 1 FROM ZUL.RASTER_COLUMNS"},
      {"delete a missing raster column", "zul_delete_raster", {I(4)}, false, 0, nullptr, nullptr},
      {"insert dbtune row", "zul_insert_dbtune", {T("DEFAULTS"), T("B_STORAGE"), T("IN USERSPACE1")}, true, 0,
       "", "SELECT COUNT(*) FROM ZUL.DBTUNE WHERE config_string = 'IN USERSPACE1'"},
      {"dbtune without a keyword", "zul_insert_dbtune", {T(""), T("B_STORAGE"), NT()}, true, -66, "", nullptr},
      {"dbtune without a parameter", "zul_insert_dbtune", {T("DEFAULTS"), T(" "), NT()}, true, -66, "", nullptr},
      {"truncate dbtune", "zul_trunc_dbtune", {}, true, 0, "", "SELECT COUNT(*) + 1 FROM ZUL.DBTUNE"},
      {"truncate an empty dbtune", "zul_trunc_dbtune", {}, true, 0, "", nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = zul_.call(c.proc, c.args, c.pair);
    if (c.code == kCallFails) {
      EXPECT_EQ(r.rc, SQL_ERROR);
      EXPECT_EQ(r.diag.substr(0, 5), c.msg) << r.diag;
    } else if (c.pair) {
      EXPECT_EQ(c.code, r.code()) << r.msg() << " " << r.diag;
      if (c.msg) {
        EXPECT_EQ(r.msg(), c.msg);
      }
    } else {
      EXPECT_EQ(r.rc, SQL_SUCCESS) << r.diag;
    }
    // What the procedure committed survives the caller's rollback.
    zul_.rollback();
    if (c.check) {
      EXPECT_EQ(zul_.scalar(c.check), 1) << c.check;
    }
  }
}

TEST_F(Catalog, RasterColumnFailureReachesTheCallerThroughTheSqlca) {
  std::vector<Arg> args = {I(4), NT(), T("ZUL"), T("BOB"), T("IMG"), T("R"), I(1), NT(), NI(), I(0), I(0), NI()};
  ASSERT_EQ(zul_.call("zul_insert_raster", args, false).rc, SQL_SUCCESS);
  Result dup = zul_.call("zul_insert_raster", args, false);
  EXPECT_EQ(dup.rc, SQL_ERROR);
  EXPECT_EQ(dup.diag.substr(0, 5), "23505") << dup.diag;
  Result missing = zul_.call("zul_update_raster", {I(9), NT(), NT(), NI(), I(0)}, false);
  EXPECT_EQ(missing.rc, SQL_SUCCESS_WITH_INFO) << missing.diag;
}

}  // namespace
