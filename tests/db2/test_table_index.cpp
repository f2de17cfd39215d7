// test_table_index.cpp -- indexes made one at a time and as a group (all or
// none), described and found by name; views over a layer table, a raster
// table and plain tables; grants, indexes and checks copied onto another
// table; RUNSTATS over a table and its dependents.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>

#include "db_test_support.h"
#include "zul_db_layer.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

using dbtest::Database;
using dbtest::Watcher;

namespace {

// Registrations by "OWNER.TABLE".
std::map<std::string, REGISTRATION> g_regs;
int32_t registration_of(void*, const char* owner_table, REGISTRATION* out) {
  auto it = g_regs.find(owner_table);
  if (it == g_regs.end()) return SE_TABLE_NOREGISTERED;
  *out = it->second;
  return 0;
}
uint32_t stamp_of(void*, int32_t) { return 1; }

void registered(const std::string& key, int32_t id, int32_t flags, const char* rowid = "") {
  REGISTRATION r;
  memset(&r, 0, sizeof r);
  r.id = id;
  r.flags = flags;
  snprintf(r.owner, sizeof r.owner, "%s", key.substr(0, key.find('.')).c_str());
  snprintf(r.table, sizeof r.table, "%s", key.substr(key.find('.') + 1).c_str());
  snprintf(r.rowid_column, sizeof r.rowid_column, "%s", rowid);
  g_regs[key] = r;
}

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "adduser ZUL ANN annpw"), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      DBTUNE_SYSTEM_PARAMS storage;
      memset(&storage, 0, sizeof storage);
      storage.count = 100;
      ASSERT_EQ(DB_instance_layers_table_create(zul.in, &storage), 0);
      ASSERT_EQ(DB_instance_rascol_table_create(zul.in, &storage), 0);
    }
    w.reset(new Watcher());
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, 'UNKNOWN')"), SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                      "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (7, 1, 0, 0, 1000, 0, 1, 0, 1)"),
              SQL_SUCCESS);
    g_regs.clear();
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.layer_stamp = stamp_of;
    p.registration_by_name = registration_of;
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);
  }
  void TearDown() override { DB_instance_close(in); }

  void ddl(const std::string& sql) {
    ASSERT_EQ(db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }
  // BOB.table with an ID, a NAME and a SHAPE column that holds layer id.
  void add_layer(int id, const char* table) {
    ddl(std::string("CREATE TABLE BOB.") + table + " (ID INTEGER, NAME VARCHAR(20), SHAPE DB2GSE.ST_Geometry)");
    ASSERT_EQ(w->exec(std::string("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, "
                                  "SRID) VALUES ('BOB', '") + table + "', 'SHAPE', 7)"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
                      "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                      "base_layer_id, gsize1, gsize2, gsize3) VALUES (" + std::to_string(id) +
                      ", 'd', 'ZUL', 'BOB', '" + table + "', 'SHAPE', 2, 0, 0, 0, 10, 10, 1000, 7, 0, 1, 0, 0)"),
              SQL_SUCCESS);
  }
  long long scalar(const std::string& sql) { return w->scalar(sql); }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
};

INDEX_DEF index_def(const char* name, int unique, std::initializer_list<const char*> cols,
                    std::initializer_list<int32_t> asc, char** names, int32_t* flags) {
  INDEX_DEF x;
  memset(&x, 0, sizeof x);
  snprintf(x.name, sizeof x.name, "%s", name);
  x.unique = unique;
  x.column_count = (int16_t)cols.size();
  int i = 0;
  for (const char* c : cols) names[i++] = const_cast<char*>(c);
  i = 0;
  for (int32_t a : asc) flags[i++] = a;
  x.columns = names;
  x.ascending = flags;
  return x;
}

TEST_F(IndexTest, IndexesAreMadeDescribedFoundAndDropped) {
  ddl("CREATE TABLE BOB.ROADS (A INTEGER, B INTEGER, C INTEGER)");
  struct Case { const char* name; const char* table; const char* column; const char* index; int32_t status; };
  const Case cases[] = {
      {"made", "BOB.ROADS", "A", "RX1", 0},
      {"again", "BOB.ROADS", "A", "RX1", SE_INDEX_EXISTS},
      {"missing column", "BOB.ROADS", "NOPE", "RX2", SE_ATTR_NOEXIST},
      {"missing table", "BOB.NOPE", "A", "RX3", SE_TABLE_NOEXIST},
      {"name with a statement", "BOB.ROADS", "A", "RX4; DROP TABLE BOB.ROADS", SE_INVALID_IDENTIFIER},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases)
    EXPECT_EQ(DB_table_create_index(in, c.table, c.column, 0, 1, c.index, nullptr, 0), c.status) << c.name;
  EXPECT_EQ(DB_table_create_index(in, "BOB.ROADS", "B", 1, 0, "RX5", nullptr, 0), 0);

  // three definitions, the third fails: none of them stays
  char* n1[2]; char* n2[1]; char* n3[1];
  int32_t a1[2], a2[1], a3[1];
  INDEX_DEF three[] = {index_def("GX1", 0, {"A", "C"}, {1, 0}, n1, a1),
                       index_def("GX2", 1, {"C"}, {1}, n2, a2),
                       index_def("GX3", 0, {"NOPE"}, {1}, n3, a3)};
  EXPECT_EQ(DB_table_create_indexes(in, "BOB.ROADS", 3, three, nullptr, 0), SE_ATTR_NOEXIST);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE TABNAME = 'ROADS'"), 2);
  ASSERT_EQ(DB_table_create_indexes(in, "BOB.ROADS", 2, three, nullptr, 0), 0);

  int16_t n = 0;
  INDEX_DEF* defs = nullptr;
  ASSERT_EQ(DB_table_describe_indexes(in, "ROADS", &n, &defs), 0);
  ASSERT_EQ(n, 4);
  std::map<std::string, const INDEX_DEF*> by_name;
  for (int i = 0; i < n; ++i) by_name[defs[i].name] = &defs[i];
  ASSERT_EQ(by_name.count("GX1"), 1u);
  const INDEX_DEF* gx1 = by_name["GX1"];
  ASSERT_EQ(gx1->column_count, 2);
  EXPECT_STREQ(gx1->columns[0], "A");
  EXPECT_STREQ(gx1->columns[1], "C");
  EXPECT_EQ(gx1->ascending[0], 1);
  EXPECT_EQ(gx1->ascending[1], 0);  // "+A-C": C descends
  EXPECT_EQ(gx1->unique, 0);
  EXPECT_EQ(by_name["GX2"]->unique, 1);
  EXPECT_EQ(by_name["RX5"]->unique, 1);
  EXPECT_EQ(by_name["RX5"]->ascending[0], 0);
  DB_table_free_index_defs(defs, n);

  char table[SE_NAME_TABLE_LEN];
  EXPECT_EQ(DB_table_get_name_from_index_name(in, "gx2", table), 0);
  EXPECT_STREQ(table, "ROADS");
  EXPECT_EQ(DB_table_get_name_from_index_name(in, "NOSUCH", table), SE_INDEX_NOEXIST);
  EXPECT_STREQ(table, "");

  EXPECT_EQ(DB_table_drop_index(in, nullptr, "gx2"), 0);
  EXPECT_EQ(DB_table_drop_index(in, nullptr, "gx2"), SE_INDEX_NOEXIST);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE TABNAME = 'ROADS'"), 3);
}

TEST_F(IndexTest, GrantsIndexesAndChecksAreCopied) {
  ddl("CREATE TABLE BOB.SRC (A INTEGER, B INTEGER, CONSTRAINT POS CHECK (A > 0))");
  ddl("CREATE TABLE BOB.DST (A INTEGER, B INTEGER)");
  ddl("GRANT SELECT, INSERT ON BOB.SRC TO USER ANN WITH GRANT OPTION");
  ddl("GRANT UPDATE ON BOB.SRC TO USER ANN");
  ddl("GRANT SELECT ON BOB.SRC TO PUBLIC");
  EXPECT_EQ(db_table_copy_grants(in, "SRC", "BOB.DST", 0), 0);
  struct Grant { const char* grantee; const char* column; const char* value; };
  const Grant grants[] = {{"ANN", "SELECTAUTH", "G"}, {"ANN", "INSERTAUTH", "G"},
                          {"ANN", "UPDATEAUTH", "Y"}, {"ANN", "DELETEAUTH", "N"},
                          {"PUBLIC", "SELECTAUTH", "Y"}};
  for (const Grant& g : grants)
    EXPECT_EQ(scalar(std::string("SELECT COUNT(*) FROM SYSCAT.TABAUTH WHERE TABNAME = 'DST' AND GRANTEE = '") +
                     g.grantee + "' AND " + g.column + " = '" + g.value + "'"),
              1)
        << g.grantee << " " << g.column;

  ddl("CREATE INDEX SRC_PLAIN ON BOB.SRC (A, B)");
  ddl("CREATE UNIQUE INDEX SRC_UNQ ON BOB.SRC (B)");
  char leave[] = "src_skip";
  char* leave_out[] = {leave};
  char allowed[] = "SRC_UNQ";
  char* unique_allowed[] = {allowed};
  EXPECT_EQ(db_table_copy_indexes(in, "SRC", "BOB.DST", leave_out, 1, 0, nullptr, 0, nullptr, 0),
            SE_UNIQUE_INDEX_NOT_COPIED);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE TABNAME = 'DST'"), 0);  // nothing half-copied
  ASSERT_EQ(db_table_copy_indexes(in, "SRC", "BOB.DST", leave_out, 1, 0, unique_allowed, 1, nullptr, 0), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE TABNAME = 'DST' AND UNIQUERULE = 'D' AND "
                   "INDNAME IN ('SRC_PLAIN_A', 'SRC_UNQ_A')"),
            2);
  EXPECT_EQ(scalar("SELECT COLCOUNT FROM SYSCAT.INDEXES WHERE INDNAME = 'SRC_PLAIN_A'"), 2);
  // copied again: the indexes exist, which is said and passed over
  testing::internal::CaptureStderr();
  EXPECT_EQ(db_table_copy_indexes(in, "SRC", "BOB.DST", nullptr, 0, 1, nullptr, 0, nullptr, 0), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("already exists"), std::string::npos);

  EXPECT_EQ(db_table_copy_checks(in, "SRC", "BOB.DST"), 0);
  EXPECT_NE(dbtest::exec(in, "INSERT INTO BOB.DST VALUES (-1, 1)"), SQL_SUCCESS);
  EXPECT_EQ(dbtest::exec(in, "INSERT INTO BOB.DST VALUES (1, 1)"), SQL_SUCCESS);
  EXPECT_EQ(db_table_copy_hook(in, "SRC", "BOB.DST"), 0);
}

TEST_F(IndexTest, ViewsCarryTheLayerAndRowIdOrTheRasterColumn) {
  add_layer(3, "PARCELS");
  add_layer(4, "LOTS");
  registered("BOB.PARCELS", 1, SE_REG_HAS_ROWID | SE_REG_LAYER_DEPENDS, "ID");
  ddl("CREATE TABLE BOB.PICS (ID INTEGER, RAS INTEGER)");
  ASSERT_EQ(w->exec("INSERT INTO ZUL.RASTER_COLUMNS (rastercolumn_id, database_name, owner, table_name, "
                    "raster_column, cdate, base_rastercolumn_id, rastercolumn_mask) VALUES "
                    "(9, 'ZUL', 'BOB', 'PICS', 'RAS', 0, 0, 0)"),
            SQL_SUCCESS);
  ddl("CREATE TABLE BOB.ZUL_BLK_9 (X INTEGER)");
  ASSERT_EQ(dbtest::exec(in, "INSERT INTO BOB.PARCELS (ID, NAME) VALUES (5, 'five')"), SQL_SUCCESS);
  ASSERT_EQ(db_commit_ddlsql(in), 0);

  char* parcels[] = {const_cast<char*>("BOB.PARCELS")};
  char where[] = "WHERE ID > 1";
  SQL_CONSTRUCT on_parcels{1, parcels, where};
  char* sel[] = {const_cast<char*>("NAME"), const_cast<char*>("SHAPE")};
  int32_t layer_id = -1, ras_id = -1;
  char spatial[32], raster[32];
  ASSERT_EQ(DB_table_create_view(in, "BOB.V1", 0, 2, nullptr, sel, &on_parcels, &layer_id, spatial,
                                 &ras_id, raster),
            0);
  EXPECT_EQ(layer_id, 3);
  EXPECT_STREQ(spatial, "SHAPE");
  EXPECT_EQ(ras_id, 0);
  // the registered row-id column came along
  EXPECT_EQ(scalar("SELECT ID FROM BOB.V1"), 5);

  char* vnames[] = {const_cast<char*>("LABEL"), const_cast<char*>("GEOM")};
  ASSERT_EQ(DB_table_create_view(in, "BOB.V2", 2, 2, vnames, sel, &on_parcels, &layer_id, spatial,
                                 &ras_id, raster),
            0);
  EXPECT_STREQ(spatial, "GEOM");
  EXPECT_EQ(scalar("SELECT ID FROM BOB.V2"), 5);

  char* two[] = {const_cast<char*>("BOB.PARCELS"), const_cast<char*>("BOB.LOTS")};
  SQL_CONSTRUCT both{2, two, nullptr};
  char* two_shapes[] = {const_cast<char*>("PARCELS.SHAPE"), const_cast<char*>("LOTS.SHAPE")};
  EXPECT_EQ(DB_table_create_view(in, "BOB.V3", 0, 2, nullptr, two_shapes, &both, &layer_id, spatial,
                                 &ras_id, raster),
            SE_MULTIPLE_LAYERS);

  char* pics[] = {const_cast<char*>("BOB.PICS")};
  SQL_CONSTRUCT on_pics{1, pics, nullptr};
  char* ras_cols[] = {const_cast<char*>("ID"), const_cast<char*>("RAS")};
  char* ras_names[] = {const_cast<char*>("K"), const_cast<char*>("R")};
  ASSERT_EQ(DB_table_create_view(in, "BOB.V4", 2, 2, ras_names, ras_cols, &on_pics, &layer_id,
                                 spatial, &ras_id, raster),
            0);
  EXPECT_EQ(layer_id, 0);
  EXPECT_EQ(ras_id, 9);
  EXPECT_STREQ(raster, "RAS");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TABNAME = 'V4' AND COLNAME IN ('K', 'R')"), 2);

  testing::internal::CaptureStderr();
  char* missing[] = {const_cast<char*>("BOB.NOPE")};
  SQL_CONSTRUCT on_missing{1, missing, nullptr};
  char* plain[] = {const_cast<char*>("A")};
  int32_t status = DB_table_create_view(in, "BOB.V5", 0, 1, nullptr, plain, &on_missing, &layer_id,
                                        spatial, &ras_id, raster);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(status, 0);
}

TEST_F(IndexTest, StatisticsCoverTheTableAndItsDependents) {
  ddl("CREATE TABLE BOB.PLAIN (A INTEGER)");
  ddl("CREATE TABLE BOB.VERS (A INTEGER)");
  ddl("CREATE TABLE BOB.A5 (A INTEGER)");
  registered("BOB.VERS", 5, SE_REG_MULTIVERSION);
  struct Case { const char* name; const char* table; int32_t mask; int32_t status; };
  const Case cases[] = {
      {"all of a plain table", "PLAIN", 118, 0},
      {"the table alone", "BOB.PLAIN", 0x20, 0},
      {"adds of a plain table", "PLAIN", 0x22, SE_NOT_MULTIVERSIONED},
      {"all of a versioned table, deletes missing", "VERS", 118, 0},
      {"its adds table", "VERS", 2, 0},
      {"its missing deletes table", "VERS", 4, SE_TABLE_NOEXIST},
      {"missing table", "NOPE", 0x20, SE_TABLE_NOEXIST},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DB_table_update_dbms_stats(in, c.table, c.mask), c.status) << c.name;

  char text[] = "  GRANT SELECT, \n\t ";
  db_sql_trim_right(text);
  EXPECT_STREQ(text, "  GRANT SELECT,");
  char blanks[] = " \t\n";
  db_sql_trim_right(blanks);
  EXPECT_STREQ(blanks, "");
}

}  // namespace
