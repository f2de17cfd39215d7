// test_raster_column.cpp -- raster columns and their records: creating one
// (row, side tables, unique block index, triggers), the triggers' answers to
// bad raster ids and lost rasters, reading records by id, by name and as a
// scan (coordinate reference, minimum id, privilege masks), checks of a new
// column, truncation (load-only included), views over another raster column,
// and the clean-up of a failed side-table creation.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "db_test_support.h"
#include "geomkit.h"
#include "zul_db_install.h"
#include "zul_db_raster.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

// The SQLSTATE of a statement run on the instance's connection ("" success).
std::string state_of(DB_INSTANCE* in, const std::string& sql) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h);
  SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  std::string out;
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR msg[512];
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, msg, sizeof msg, &len);
    out = (const char*)state;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  SQLEndTran(SQL_HANDLE_DBC, in->hdbc, out.empty() ? SQL_COMMIT : SQL_ROLLBACK);
  return out;
}

RASTERCOLUMN column_record(int32_t id, const char* table, const char* column, int32_t mask = 0) {
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  rc.id = id;
  snprintf(rc.description, sizeof rc.description, "imagery %d", (int)id);
  snprintf(rc.table, sizeof rc.table, "%s", table);
  snprintf(rc.column, sizeof rc.column, "%s", column);
  rc.min_id = 1;
  rc.mask = mask;
  return rc;
}

class RasterColumnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "adduser ZUL CAROL carolpw"), "");
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    {
      Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
      ASSERT_EQ(DB_instance_system_tables_create(zul.in, storage.get()), 0);
      ASSERT_EQ(DB_instance_dbtune_table_create(zul.in, nullptr, storage.get()), 0);
      ASSERT_EQ(DB_instance_stored_procedures_create(zul.in), 0);
    }
    bob.reset(new Instance());
    ASSERT_EQ(bob->status, 0);
    ASSERT_EQ(state_of(bob->in, "CREATE TABLE BOB.PARCELS (id INTEGER, img INTEGER)"), "");
  }
  void TearDown() override { unsetenv("ZULHOME"); }

  // Row, side tables, column and triggers, in the order a creation takes.
  int32_t create(RASTERCOLUMN* rc) {
    int32_t s = DB_rastercolumn_verify_table(bob->in, rc);
    if (s == 0) s = DB_sp_rastercolumn_def_insert(bob->in, rc);
    if (s == 0) s = DB_trans_def_commit(bob->in);
    if (s == 0) s = DB_rastercolumn_create_tables(bob->in, rc->id, "BOB.PARCELS");
    if (s == 0) s = DB_rastercolumn_alter_user_table(bob->in, rc, nullptr);
    return s;
  }
  long long count(const std::string& sql) { return w.scalar(sql); }

  Database db;
  std::unique_ptr<Instance> bob;
  Watcher w;
};

TEST_F(RasterColumnTest, CreationMakesRowSideTablesIndexAndTriggersThatGuardRasterIds) {
  RASTERCOLUMN rc = column_record(3, "PARCELS", "IMG");
  ASSERT_EQ(create(&rc), 0);

  for (const char* t : {"ZUL_RAS_3", "ZUL_BND_3", "ZUL_AUX_3", "ZUL_BLK_3"})
    EXPECT_EQ(count(std::string("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'BOB' AND "
                                "TABNAME = '") + t + "'"),
              1)
        << t;
  EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = 'ZUL_BLK_3_UK'"), 1);

  RASTER r;
  memset(&r, 0, sizeof r);
  r.id = 7;
  r.column_id = 3;
  ASSERT_EQ(DB_raster_def_insert(bob->in, &r), 0);
  // A row naming a raster the raster table lacks, or changing its raster, is refused.
  EXPECT_EQ(state_of(bob->in, "INSERT INTO BOB.PARCELS VALUES (1, 99)"), "SE746");
  EXPECT_EQ(state_of(bob->in, "INSERT INTO BOB.PARCELS VALUES (1, 7)"), "");
  EXPECT_EQ(state_of(bob->in, "UPDATE BOB.PARCELS SET img = 8 WHERE id = 1"), "SE746");
  // A row that loses its raster marks the raster orphaned.
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOB.ZUL_RAS_3 WHERE raster_flags = 7"), 0);
  EXPECT_EQ(state_of(bob->in, "DELETE FROM BOB.PARCELS WHERE id = 1"), "");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOB.ZUL_RAS_3 WHERE raster_flags = 7"), 1);

  // A second row for the same raster column is refused.
  RASTERCOLUMN again = column_record(3, "PARCELS", "IMG");
  snprintf(again.owner, sizeof again.owner, "BOB");
  EXPECT_EQ(DB_sp_rastercolumn_def_insert(bob->in, &again), SE_RASTERBAND_EXISTS);
}

TEST_F(RasterColumnTest, RecordsReadByIdNameAndScanWithDefaultsAndErrors) {
  ASSERT_EQ(state_of(bob->in, "ALTER TABLE BOB.PARCELS ADD img2 INTEGER"), "");
  RASTERCOLUMN a = column_record(4, "PARCELS", "IMG"), b = column_record(2, "PARCELS", "IMG2");
  ASSERT_EQ(create(&a), 0);
  ASSERT_EQ(create(&b), 0);
  ASSERT_EQ(w.exec("UPDATE ZUL.RASTER_COLUMNS SET minimum_id = NULL, config_keyword = NULL "
                   "WHERE rastercolumn_id = 4"),
            SQL_SUCCESS);

  RASTERCOLUMN out;
  memset(&out, 0xAB, sizeof out);
  COORDREF unused;
  out.coordref = &unused;
  ASSERT_EQ(DB_rastercolumn_get_info_by_id(bob->in, nullptr, 4, &out), 0);
  EXPECT_STREQ(out.owner, "BOB");
  EXPECT_STREQ(out.table, "PARCELS");
  EXPECT_STREQ(out.column, "IMG");
  EXPECT_STREQ(out.description, "imagery 4");
  EXPECT_STREQ(out.config_keyword, "");
  EXPECT_EQ(out.min_id, 1u);            // NULL reads as 1
  EXPECT_EQ(out.privileges, 30);        // the owner, without a privilege query
  EXPECT_EQ(out.coordref, nullptr);     // no srid: no coordinate reference

  struct NameCase { const char* table; const char* column; int32_t status; int32_t id; };
  const NameCase cases[] = {
      {"PARCELS", nullptr, SE_MULTIPLE_RASTERCOLUMNS, 0},
      {"parcels", "img2", 0, 2},
      {"BOB.PARCELS", "IMG", 0, 4},
      {"PARCELS", "NONE", SE_RASTERCOLUMN_NOEXIST, 0},
      {nullptr, "IMG", SE_INVALID_POINTER, 0},
  };
  for (const auto& c : cases) {
    memset(&out, 0, sizeof out);
    int32_t s = DB_rastercolumn_get_info_by_name(bob->in, nullptr, c.table, c.column, "BOB", &out);
    EXPECT_EQ(s, c.status) << (c.table ? c.table : "null") << "." << (c.column ? c.column : "null");
    if (s == 0) {
      EXPECT_EQ(out.id, c.id) << c.column;
    }
  }
  EXPECT_EQ(DB_rastercolumn_get_info_by_id(bob->in, nullptr, 77, &out), SE_RASTERCOLUMN_NOEXIST);

  // The procedure's update of the row is seen by the next read.
  snprintf(a.description, sizeof a.description, "changed");
  snprintf(a.config_keyword, sizeof a.config_keyword, "DEFAULTS");
  a.mask = 5;
  a.min_id = 40;
  ASSERT_EQ(DB_sp_rastercolumn_def_update(bob->in, &a), 0);
  ASSERT_EQ(DB_trans_def_commit(bob->in), 0);
  ASSERT_EQ(DB_rastercolumn_get_info_by_id(bob->in, nullptr, 4, &out), 0);
  EXPECT_STREQ(out.description, "changed");
  EXPECT_STREQ(out.config_keyword, "DEFAULTS");
  EXPECT_EQ(out.mask, 5);
  EXPECT_EQ(out.min_id, 40u);

  // The scan runs in id order and ends with -4, after which it is released.
  int32_t ids[3] = {0, 0, 0};
  int n = 0;
  int32_t s;
  for (s = DB_rastercolumn_first(bob->in, &out); s == 0 && n < 3; s = DB_rastercolumn_next(bob->in, &out))
    ids[n++] = out.id;
  EXPECT_EQ(s, SE_FINISHED);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 4);
  EXPECT_EQ(DB_rastercolumn_next(bob->in, &out), SE_FINISHED);
}

TEST_F(RasterColumnTest, CoordinateReferenceComesFromTheSpatialCatalogue) {
  ASSERT_EQ(w.exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SC_NAME, SRTEXT) VALUES (41, 'C41', "
                   "'PROJCS[\"x\"]   ')"),
            SQL_SUCCESS);
  ASSERT_EQ(w.exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SREF_NAME, SCID, FALSEX, FALSEY, "
                   "XYUNITS, FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (41, 'S41', 41, -10, -20, "
                   "1000, 1, 2, 3, 4)"),
            SQL_SUCCESS);
  char srtext[SG_SRTEXT_CAP];
  COORDREF cr;
  memset(&cr, 0, sizeof cr);
  cr.srtext = srtext;
  cr.srid = 41;
  RASTERCOLUMN rc = column_record(5, "PARCELS", "IMG");
  rc.coordref = &cr;
  ASSERT_EQ(create(&rc), 0);

  COORDREF got;
  memset(&got, 0, sizeof got);
  char got_text[SG_SRTEXT_CAP] = "stale";
  got.srtext = got_text;
  RASTERCOLUMN out;
  memset(&out, 0, sizeof out);
  out.coordref = &got;
  ASSERT_EQ(DB_rastercolumn_get_info_by_id(bob->in, nullptr, 5, &out), 0);
  ASSERT_EQ(out.coordref, &got);
  EXPECT_EQ(got.srid, 41);
  EXPECT_EQ(got.falsex, -10.0);
  EXPECT_EQ(got.falsey, -20.0);
  EXPECT_EQ(got.xyunits, 1000.0);
  EXPECT_EQ(got.munits, 4.0);
  EXPECT_STREQ(got_text, "PROJCS[\"x\"]");   // trailing blanks removed

}

TEST_F(RasterColumnTest, AnotherUserNeedsSelectOnTableAndBlockTable) {
  RASTERCOLUMN rc = column_record(6, "PARCELS", "IMG");
  ASSERT_EQ(create(&rc), 0);
  Instance carol("CAROL", "carolpw");
  ASSERT_EQ(carol.status, 0);
  RASTERCOLUMN out;
  memset(&out, 0, sizeof out);
  EXPECT_EQ(DB_rastercolumn_get_info_by_id(carol.in, nullptr, 6, &out), SE_NO_PERMISSIONS);

  // Select on the business table alone is not enough: the block table decides too.
  ASSERT_EQ(state_of(bob->in, "GRANT SELECT ON BOB.PARCELS TO USER CAROL"), "");
  EXPECT_EQ(DB_rastercolumn_get_info_by_id(carol.in, nullptr, 6, &out), SE_NO_PERMISSIONS);

  ASSERT_EQ(DB_rastercolumn_grant_access(bob->in, &rc, 0x4, 0, "CAROL"), 0);
  ASSERT_EQ(DB_rastercolumn_get_info_by_id(carol.in, nullptr, 6, &out), 0);
  EXPECT_EQ(out.privileges, 0x2 | 0x4);
  ASSERT_EQ(DB_rastercolumn_revoke_access(bob->in, &rc, 0x6, "CAROL"), 0);
  EXPECT_EQ(DB_rastercolumn_get_info_by_id(carol.in, nullptr, 6, &out), SE_NO_PERMISSIONS);
}

TEST_F(RasterColumnTest, NewColumnChecks) {
  ASSERT_EQ(state_of(bob->in, "CREATE TABLE BOB.T2 (id INTEGER, c CHAR(4), nn INTEGER NOT NULL, "
                              "nulls INTEGER, full1 INTEGER)"),
            "");
  ASSERT_EQ(state_of(bob->in, "INSERT INTO BOB.T2 VALUES (1, 'a', 1, NULL, 5)"), "");
  struct Case { const char* name; const char* owner; const char* column; int32_t verify; int32_t alter; };
  const Case cases[] = {
      {"column named as the table", "", "T2", SE_RASTERCOLUMN_INUSE, -1},
      {"owner other than the user", "CAROL", "NEWCOL", SE_RASTER_OWNER_NOT_USER, -1},
      {"existing text column", "", "C", SE_RASTER_COLUMN_NOT_INTEGER, -1},
      {"existing NOT NULL integer", "", "NN", SE_RASTER_COLUMN_NOT_NULLABLE, -1},
      {"existing integer holding values", "BOB", "FULL1", 0, SE_RASTERCOLUMN_INUSE},
      {"existing nullable integer of NULLs", "", "NULLS", 0, 0},
      {"a new column", "", "NEWCOL", 0, 0},
      {"column text that is no identifier", "", "A FROM T2; DROP TABLE T2 --", SE_INVALID_IDENTIFIER, -1},
  };
  int32_t id = 20;
  for (const auto& c : cases) {
    RASTERCOLUMN rc = column_record(++id, "T2", c.column);
    snprintf(rc.owner, sizeof rc.owner, "%s", c.owner);
    EXPECT_EQ(DB_rastercolumn_verify_table(bob->in, &rc), c.verify) << c.name;
    if (c.verify != 0) continue;
    EXPECT_STREQ(rc.owner, "BOB") << c.name;
    ASSERT_EQ(DB_sp_rastercolumn_def_insert(bob->in, &rc), 0) << c.name;
    ASSERT_EQ(DB_rastercolumn_create_tables(bob->in, rc.id, "BOB.T2"), 0) << c.name;
    EXPECT_EQ(DB_rastercolumn_alter_user_table(bob->in, &rc, nullptr), c.alter) << c.name;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOB.T2 WHERE NEWCOL IS NULL"), 1);
}

TEST_F(RasterColumnTest, TruncateEmptiesTablesAndKeepsTriggersUnlessLoadOnly) {
  struct Case { int32_t id; int32_t mask; const char* bad_insert_state; long long index; };
  const Case cases[] = {{8, 0, "SE746", 1}, {9, SE_RASTERCOLUMN_LOAD_ONLY, "", 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(state_of(bob->in, "DROP TABLE BOB.PARCELS"), "");
    ASSERT_EQ(state_of(bob->in, "CREATE TABLE BOB.PARCELS (id INTEGER, img INTEGER)"), "");
    RASTERCOLUMN rc = column_record(c.id, "PARCELS", "IMG", c.mask);
    ASSERT_EQ(create(&rc), 0) << c.id;
    EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = 'ZUL_BLK_" +
                    std::to_string(c.id) + "_UK'"),
              c.index);
    RASTER r;
    memset(&r, 0, sizeof r);
    r.id = 1;
    r.column_id = c.id;
    ASSERT_EQ(DB_raster_def_insert(bob->in, &r), 0);
    ASSERT_EQ(state_of(bob->in, "INSERT INTO BOB.PARCELS VALUES (1, 1)"), "");

    ASSERT_EQ(DB_rastercolumn_truncate_tables(bob->in, &rc, nullptr), 0) << c.id;
    std::string ras = "BOB.ZUL_RAS_" + std::to_string(c.id);
    EXPECT_EQ(count("SELECT COUNT(*) FROM " + ras), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM BOB.PARCELS WHERE img IS NOT NULL"), 0);
    EXPECT_EQ(state_of(bob->in, "INSERT INTO BOB.PARCELS VALUES (2, 55)"), c.bad_insert_state)
        << c.id;
    ASSERT_EQ(DB_rastercolumn_drop_user_trigger(bob->in, c.id), 0);
    ASSERT_EQ(DB_rastercolumn_drop_tables(bob->in, c.id), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABNAME LIKE 'ZUL_%_" +
                    std::to_string(c.id) + "'"),
              0);
    ASSERT_EQ(DB_sp_rastercolumn_def_delete(bob->in, c.id), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM ZUL.RASTER_COLUMNS WHERE rastercolumn_id = " +
                    std::to_string(c.id)),
              0);
  }
}

TEST_F(RasterColumnTest, ViewsShowTheSourceColumnsRowsAndDropCleanly) {
  RASTERCOLUMN src = column_record(10, "PARCELS", "IMG");
  ASSERT_EQ(create(&src), 0);
  RASTER r;
  memset(&r, 0, sizeof r);
  r.id = 3;
  r.column_id = 10;
  ASSERT_EQ(DB_raster_def_insert(bob->in, &r), 0);
  RASTERCOLUMN view = column_record(11, "PARCELS_V", "IMG");
  snprintf(view.owner, sizeof view.owner, "BOB");
  ASSERT_EQ(DB_sp_rastercolumn_def_insert(bob->in, &view), 0);
  ASSERT_EQ(DB_trans_def_commit(bob->in), 0);
  ASSERT_EQ(DB_rastercolumn_create_views(bob->in, 11, "BOB.PARCELS", 10), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOB.ZUL_RAS_11 WHERE raster_id = 3"), 1);
  RASTER got;
  EXPECT_EQ(DB_raster_get_info_by_id(bob->in, nullptr, 11, 3, &got), 0);
  ASSERT_EQ(DB_rastercolumn_drop_views(bob->in, 11), 0);
  EXPECT_EQ(DB_rastercolumn_drop_views(bob->in, 11), 0);   // missing views are passed over
  EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABNAME LIKE 'ZUL_%_11'"), 0);
}

TEST_F(RasterColumnTest, FailedSideTableCreationDropsWhatItMade) {
  RASTERCOLUMN rc = column_record(12, "PARCELS", "IMG");
  snprintf(rc.owner, sizeof rc.owner, "BOB");
  ASSERT_EQ(DB_sp_rastercolumn_def_insert(bob->in, &rc), 0);
  ASSERT_EQ(DB_trans_def_commit(bob->in), 0);
  // The auxiliary table is in the way: raster and band tables are made, then dropped.
  ASSERT_EQ(state_of(bob->in, "CREATE TABLE BOB.ZUL_AUX_12 (x INTEGER)"), "");
  EXPECT_EQ(DB_rastercolumn_create_tables(bob->in, 12, "BOB.PARCELS"), SE_TABLE_EXISTS);
  EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABNAME IN ('ZUL_RAS_12', "
                  "'ZUL_BND_12', 'ZUL_BLK_12')"),
            0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABNAME = 'ZUL_AUX_12'"), 1);
  EXPECT_EQ(DB_rastercolumn_create_tables(bob->in, 99, "BOB.PARCELS"), SE_RASTERCOLUMN_NOEXIST);
}

}  // namespace
