// test_envelope.cpp -- envelopes and z ranges of a layer's shapes over a
// query construct, one row, the rows of a log file and the whole layer; the
// failures of the envelope query; the spatial column set to NULL in the
// base and the adds table of a versioned layer.
#include <gtest/gtest.h>

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

// A shape with the given envelope and z range (no z when zmin > zmax).
std::string shape(double x0, double y0, double x1, double y1, double z0 = 1, double z1 = 0) {
  char buf[400];
  snprintf(buf, sizeof buf,
           "DB2GSE.ST_Polygon()..srid(7)..numpoints(5)"
           "..xmin(CAST(%g AS FLOAT))..ymin(CAST(%g AS FLOAT))..xmax(CAST(%g AS FLOAT))"
           "..ymax(CAST(%g AS FLOAT))",
           x0, y0, x1, y1);
  std::string s = buf;
  if (z0 <= z1) {
    snprintf(buf, sizeof buf, "..zmin(CAST(%g AS FLOAT))..zmax(CAST(%g AS FLOAT))", z0, z1);
    s += buf;
  }
  return s;
}

class EnvelopeTest : public ::testing::Test {
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

    ddl("CREATE TABLE BOB.PARCELS (ID INTEGER, SHAPE DB2GSE.ST_Geometry)");
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                      "VALUES ('BOB', 'PARCELS', 'SHAPE', 7)"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
                      "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                      "base_layer_id, gsize1, gsize2, gsize3) VALUES (3, 'd', 'ZUL', 'BOB', 'PARCELS', "
                      "'SHAPE', 2, 0, 0, 0, 10, 10, 1000, 7, 0, 1, 0, 0)"),
              SQL_SUCCESS);
    const std::string rows[] = {
        "1, " + shape(1, 2, 3, 4, -5, 6), "2, " + shape(10, 20, 30, 40, 0, 2),
        "3, " + shape(-7, 5, 0, 8),       "4, NULL",
    };
    for (const std::string& r : rows) ddl("INSERT INTO BOB.PARCELS VALUES (" + r + ")");
    memset(&layer, 0, sizeof layer);
    layer.id = 3;
    strcpy(layer.database, "ZUL");
    strcpy(layer.owner, "BOB");
    strcpy(layer.table, "PARCELS");
    strcpy(layer.spatial_column, "SHAPE");
  }
  void TearDown() override { DB_instance_close(in); }
  void ddl(const std::string& sql) {
    ASSERT_EQ(db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
  LAYER layer;
};

struct Env { double minx, miny, maxx, maxy, zmin, zmax; };
constexpr double kMax = 2147483647.0;

TEST_F(EnvelopeTest, EnvelopeOverTheRowsAConstructSelects) {
  char* tables[] = {const_cast<char*>("PARCELS")};
  struct Case { const char* name; const char* where; int32_t whole; int32_t status; Env want; };
  const Case cases[] = {
      {"every row", nullptr, 0, 0, {-7, 2, 30, 40, -5, 6}},
      {"where, with its keyword", "where ID = 1 OR ID = 3", 0, 0, {-7, 2, 3, 8, -5, 6}},
      {"no z in the rows", "ID = 3", 0, 0, {-7, 5, 0, 8, 0, 0}},
      {"no rows", "ID > 100", 0, 0, {kMax, kMax, 0, 0, 0, 0}},
      {"only a NULL shape", "ID = 4", 0, 0, {kMax, kMax, 0, 0, 0, 0}},
      {"whole layer", nullptr, 1, 0, {-7, 2, 30, 40, 0, 0}},
      {"unknown column", "NOPE = 1", 0, SE_SQL_SYNTAX, {kMax, kMax, 0, 0, 0, 0}},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    SQL_CONSTRUCT sc{1, tables, const_cast<char*>(c.where)};
    SE_ENVELOPE e{99, 99, 99, 99};
    double zmin = 99, zmax = 99;
    EXPECT_EQ(DB_layer_calculate_envelope(in, &layer, &sc, nullptr, c.whole, &e, &zmin, &zmax), c.status)
        << c.name;
    if (c.status != 0) continue;
    EXPECT_DOUBLE_EQ(e.minx, c.want.minx) << c.name;
    EXPECT_DOUBLE_EQ(e.miny, c.want.miny) << c.name;
    EXPECT_DOUBLE_EQ(e.maxx, c.want.maxx) << c.name;
    EXPECT_DOUBLE_EQ(e.maxy, c.want.maxy) << c.name;
    EXPECT_DOUBLE_EQ(zmin, c.want.zmin) << c.name;
    EXPECT_DOUBLE_EQ(zmax, c.want.zmax) << c.name;
  }
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("DB_exec_get_envelope() SQL Error("), std::string::npos);

  LAYER gone = layer;
  strcpy(gone.table, "GONE");
  char* gone_tables[] = {const_cast<char*>("GONE")};
  SQL_CONSTRUCT sc{1, gone_tables, nullptr};
  SE_ENVELOPE e;
  double zmin, zmax;
  EXPECT_EQ(DB_layer_calculate_envelope(in, &gone, &sc, nullptr, 0, &e, &zmin, &zmax), SE_LAYER_NOEXIST);
}

TEST_F(EnvelopeTest, RowAndLogFileEnvelopes) {
  DB_STREAM* stream = nullptr;
  int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
  ASSERT_EQ(DB_stream_init(&stream, in, "BOB", "1_1", settings), 0);
  char* tables[] = {const_cast<char*>("BOB.PARCELS")};
  SQL_CONSTRUCT by_id{1, tables, const_cast<char*>("ID = ?")};
  SE_ENVELOPE e;
  double zmin, zmax;
  ASSERT_EQ(DB_layer_calculate_row_envelope(stream, &layer, &by_id, 0, &e, &zmin, &zmax, 2), 0);
  EXPECT_DOUBLE_EQ(e.minx, 10);
  EXPECT_DOUBLE_EQ(e.maxy, 40);
  EXPECT_DOUBLE_EQ(zmax, 2);
  ASSERT_EQ(DB_layer_calculate_row_envelope(stream, &layer, &by_id, 0, &e, &zmin, &zmax, 9), 0);
  EXPECT_DOUBLE_EQ(e.minx, kMax);
  DB_stream_free(stream);
  free(stream);

  // the log file lists rows 1 and 2 under data id 5, row 3 under another
  char data[SE_DB_QUALIFIED_LEN];
  db_make_logfile_data_table_name(in, "", "BOB", data);
  ddl(std::string("CREATE TABLE ") + data + " (logfile_data_id INTEGER, zul_row_id INTEGER)");
  ddl(std::string("INSERT INTO ") + data + " VALUES (5, 1), (5, 2), (5, 2), (6, 3)");
  LOGFILE log;
  memset(&log, 0, sizeof log);
  strcpy(log.name, "BOB.LOG1");
  log.data_id = 5;
  strcpy(log.registration.owner, "BOB");
  strcpy(log.registration.table, "PARCELS");
  strcpy(log.registration.rowid_column, "ID");
  struct Case { const char* name; const char* where; double minx, maxx; };
  const Case cases[] = {
      {"listed rows", nullptr, 1, 30},
      // the OR stays inside its parentheses, below the log-file join
      {"listed rows and a condition", "ID = 1 OR ID = 3", 1, 3},
  };
  for (const Case& c : cases) {
    SQL_CONSTRUCT sc{1, tables, const_cast<char*>(c.where)};
    ASSERT_EQ(DB_envelope_get_by_logfile(in, &layer, &log, &sc, nullptr, &e, &zmin, &zmax), 0) << c.name;
    EXPECT_DOUBLE_EQ(e.minx, c.minx) << c.name;
    EXPECT_DOUBLE_EQ(e.maxx, c.maxx) << c.name;
  }
}

TEST_F(EnvelopeTest, NullingTheSpatialColumnReachesTheAddsTable) {
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  reg.id = 12;
  strcpy(reg.owner, "BOB");
  strcpy(reg.table, "PARCELS");
  char adds[SE_DB_QUALIFIED_LEN];
  db_make_adds_table_name(in, reg.id, "", "BOB", adds);
  ddl(std::string("CREATE TABLE ") + adds + " (ID INTEGER, SHAPE DB2GSE.ST_Geometry)");
  ddl(std::string("INSERT INTO ") + adds + " VALUES (7, " + shape(0, 0, 1, 1) + ")");
  std::string adds_shapes = std::string("SELECT COUNT(SHAPE) FROM ") + adds;

  // plain layer: only the base table changes; no matching row is no failure
  EXPECT_EQ(DB_layer_null_spatial_column(in, &layer, &reg, "ID = 99"), 0);
  EXPECT_EQ(DB_layer_null_spatial_column(in, &layer, &reg, "ID = 1"), 0);
  EXPECT_EQ(w->scalar("SELECT COUNT(SHAPE) FROM BOB.PARCELS"), 2);
  EXPECT_EQ(w->scalar(adds_shapes), 1);

  // versioned: the adds table is cleared although the base held no match
  reg.flags = SE_REG_MULTIVERSION;
  EXPECT_EQ(DB_layer_null_spatial_column(in, &layer, &reg, "ID = 7"), 0);
  EXPECT_EQ(w->scalar(adds_shapes), 0);
  EXPECT_EQ(DB_layer_null_spatial_column(in, &layer, &reg, nullptr), 0);
  EXPECT_EQ(w->scalar("SELECT COUNT(SHAPE) FROM BOB.PARCELS"), 0);
}

}  // namespace
