// test_table_stats.cpp -- statistics of one column: the aggregates, the
// distinct values of integer, double, string and date columns with their
// counts, the maximum number of distinct values, a log-file restriction, and
// the columns that have no statistics.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <memory>
#include <string>

#include "db_test_support.h"
#include "zul_db_layer.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

using dbtest::Database;
using dbtest::Watcher;

namespace {

uint32_t stamp_of(void*, int32_t) { return 1; }

class StatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      DBTUNE_SYSTEM_PARAMS storage;
      memset(&storage, 0, sizeof storage);
      storage.count = 100;
      ASSERT_EQ(DB_instance_layers_table_create(zul.in, &storage), 0);
    }
    w.reset(new Watcher());
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, 'UNKNOWN')"), SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                      "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (7, 1, 0, 0, 1000, 0, 1, 0, 1)"),
              SQL_SUCCESS);
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.layer_stamp = stamp_of;
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);
    ddl("CREATE TABLE BOB.SALES (ID INTEGER, NAME VARCHAR(6), PRICE DOUBLE, SEEN DATE, NOTE VARCHAR(5), "
        "PIC BLOB(1K), SHAPE DB2GSE.ST_Geometry)");
    const char* rows[] = {
        "1, 'pear', 2.5, '2020-01-02', NULL", "2, 'apple', 1.0, '2020-01-02', NULL",
        "3, 'pear', 2.5, '2021-05-06', NULL", "4, 'fig', NULL, '2020-01-02', NULL",
        "5, 'kiwi', 4.0, NULL, NULL",         "6, NULL, 1.0, '2022-12-31', NULL",
        "7, 'plum', 2.5, '2021-05-06', NULL",
    };
    for (const char* r : rows)
      ddl(std::string("INSERT INTO BOB.SALES (ID, NAME, PRICE, SEEN, NOTE) VALUES (") + r + ")");
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                      "VALUES ('BOB', 'SALES', 'SHAPE', 7)"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
                      "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                      "base_layer_id, gsize1, gsize2, gsize3) VALUES (3, 'd', 'ZUL', 'BOB', 'SALES', "
                      "'SHAPE', 2, 0, 0, 0, 10, 10, 1000, 7, 0, 1, 0, 0)"),
              SQL_SUCCESS);
  }
  void TearDown() override { DB_instance_close(in); }
  void ddl(const std::string& sql) {
    ASSERT_EQ(db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
  char* tables[1] = {const_cast<char*>("SALES")};
};

TEST_F(StatsTest, AggregatesOverTheSelectedRows) {
  SQL_CONSTRUCT sc{1, tables, const_cast<char*>("where ID <= 5")};
  COLUMN_STATS s;
  int32_t len = 0;
  ASSERT_EQ(DB_table_calculate_stats(in, "PRICE", 0x1F, &sc, 0, &len, &s), 0);
  EXPECT_DOUBLE_EQ(s.min, 1.0);
  EXPECT_DOUBLE_EQ(s.max, 4.0);
  EXPECT_DOUBLE_EQ(s.avg, 2.5);             // of the four non-NULL prices
  EXPECT_NEAR(s.stddev, sqrt(1.125), 1e-9);  // population deviation
  EXPECT_EQ(s.count, 5);
  EXPECT_EQ(s.distinct, nullptr);

  // count alone runs without a column
  ASSERT_EQ(DB_table_calculate_stats(in, "", SE_STATS_COUNT, &sc, 0, &len, &s), 0);
  EXPECT_EQ(s.count, 5);
}

TEST_F(StatsTest, DistinctValuesWithTheirCounts) {
  SQL_CONSTRUCT sc{1, tables, nullptr};
  struct Case { const char* name; const char* column; int32_t kind; int32_t entries; int32_t first_count; };
  const Case cases[] = {
      {"strings, NULL left out", "NAME", SE_DISTINCT_STRING, 5, 1},   // apple fig kiwi pear(2) plum
      {"doubles", "PRICE", SE_DISTINCT_DOUBLE, 3, 2},                 // 1.0(2) 2.5(3) 4.0
      {"integers", "ID", SE_DISTINCT_INTEGER, 7, 1},
      {"dates", "SEEN", SE_DISTINCT_DATE, 3, 3},                      // 2020-01-02(3) ...
      {"all NULL", "NOTE", SE_DISTINCT_STRING, 0, 0},
  };
  for (const Case& c : cases) {
    COLUMN_STATS s;
    int32_t len = -1;
    ASSERT_EQ(DB_table_calculate_stats(in, c.column, SE_STATS_DISTINCT, &sc, 0, &len, &s), 0) << c.name;
    EXPECT_EQ(s.count, 0) << c.name;  // no aggregate was asked for
    ASSERT_NE(s.distinct, nullptr) << c.name;
    EXPECT_EQ(s.distinct->kind, c.kind) << c.name;
    EXPECT_EQ(s.distinct->num_entries, c.entries) << c.name;
    if (c.entries > 0) EXPECT_EQ(s.distinct->entries[0].count, c.first_count) << c.name;
    DB_table_free_distinct_values(s.distinct);
  }
  COLUMN_STATS s;
  int32_t len = 0;
  ASSERT_EQ(DB_table_calculate_stats(in, "NAME", SE_STATS_DISTINCT, &sc, 0, &len, &s), 0);
  EXPECT_EQ(len, 6);
  EXPECT_STREQ(s.distinct->entries[3].string_value, "pear");
  EXPECT_EQ(s.distinct->entries[3].count, 2);
  DB_table_free_distinct_values(s.distinct);
  ASSERT_EQ(DB_table_calculate_stats(in, "SEEN", SE_STATS_DISTINCT, &sc, 0, &len, &s), 0);
  EXPECT_EQ(s.distinct->entries[1].date_value.tm_year, 121);
  EXPECT_EQ(s.distinct->entries[1].date_value.tm_mon, 4);
  EXPECT_EQ(s.distinct->entries[1].count, 2);
  DB_table_free_distinct_values(s.distinct);

  // more distinct values than allowed: the first ones are kept
  ASSERT_EQ(DB_table_calculate_stats(in, "ID", SE_STATS_DISTINCT, &sc, 3, &len, &s), SE_TOO_MANY_DISTINCTS);
  ASSERT_NE(s.distinct, nullptr);
  EXPECT_EQ(s.distinct->num_entries, 3);
  DB_table_free_distinct_values(s.distinct);
}

TEST_F(StatsTest, LogFileRestrictsTheRows) {
  ddl("CREATE TABLE BOB.ZUL_LOGFILE_DATA (logfile_data_id INTEGER, zul_row_id INTEGER)");
  ddl("INSERT INTO BOB.ZUL_LOGFILE_DATA VALUES (5, 1), (5, 5), (5, 5), (6, 2)");
  LOGFILE log;
  memset(&log, 0, sizeof log);
  strcpy(log.name, "BOB.LOG1");
  log.data_id = 5;
  strcpy(log.registration.owner, "BOB");
  strcpy(log.registration.table, "SALES");
  strcpy(log.registration.rowid_column, "ID");
  struct Case { const char* name; const char* where; int32_t count; double max; };
  const Case cases[] = {{"listed rows", nullptr, 2, 4.0}, {"and a condition", "ID < 3 OR ID > 6", 1, 2.5}};
  for (const Case& c : cases) {
    SQL_CONSTRUCT sc{1, tables, const_cast<char*>(c.where)};
    COLUMN_STATS s;
    int32_t len = 0;
    ASSERT_EQ(DB_table_calculate_stats_by_logfile(in, "PRICE", SE_STATS_MAX | SE_STATS_COUNT, &sc,
                                                  nullptr, &log, 0, &len, &s), 0) << c.name;
    EXPECT_EQ(s.count, c.count) << c.name;
    EXPECT_DOUBLE_EQ(s.max, c.max) << c.name;
  }
}

TEST_F(StatsTest, ColumnsWithoutStatistics) {
  SQL_CONSTRUCT sc{1, tables, nullptr};
  char* missing[] = {const_cast<char*>("NOPE")};
  SQL_CONSTRUCT on_missing{1, missing, nullptr};
  struct Case { const char* name; const char* column; int32_t flags; const SQL_CONSTRUCT* sc; int32_t status; };
  const Case cases[] = {
      {"max of no column", "", SE_STATS_MAX, &sc, SE_ATTR_NOEXIST},
      {"distinct of no column", "", SE_STATS_DISTINCT, &sc, SE_ATTR_NOEXIST},
      {"the spatial column", "SHAPE", SE_STATS_MIN, &sc, SE_INVALID_STATS_COLUMN},
      {"unknown column", "NOPE", SE_STATS_MIN, &sc, SE_ATTR_NOEXIST},
      {"unknown table", "ID", SE_STATS_MIN, &on_missing, SE_TABLE_NOEXIST},
      {"distinct of a blob", "PIC", SE_STATS_DISTINCT, &sc, SE_INVALID_DISTINCT_TYPE},
      {"column text with a statement", "ID); DROP TABLE BOB.SALES --", SE_STATS_MIN, &sc, SE_INVALID_IDENTIFIER},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    COLUMN_STATS s;
    int32_t len = 0;
    EXPECT_EQ(DB_table_calculate_stats(in, c.column, c.flags, c.sc, 0, &len, &s), c.status) << c.name;
    EXPECT_EQ(s.distinct, nullptr) << c.name;
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
