// test_table.cpp -- plain tables: the CREATE and ALTER texts for every
// column type rule, tables made and described (row-id kinds, the layer's
// spatial column, the raster column), the list of usable tables,
// privileges read, granted and revoked, truncate and the drops.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>

#include "db_test_support.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

int32_t db_table_create_text(DB_INSTANCE* instance, const char* table, int32_t n,
                             const COLUMN_DEF* columns, const char* keyword, int32_t table_kind,
                             std::string* out);
int32_t db_table_add_column_text(DB_INSTANCE* instance, const char* table,
                                 const COLUMN_DEF* column, std::string* out);

namespace {

COLUMN_DEF col(const char* name, int32_t type, int32_t size, int16_t decimals, int32_t nullable) {
  COLUMN_DEF c;
  memset(&c, 0, sizeof c);
  snprintf(c.name, sizeof c.name, "%s", name);
  c.type = type;
  c.size = size;
  c.decimals = decimals;
  c.nullable = nullable;
  c.rowid_kind = 3;
  return c;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
    unsetenv("CLOB_SIZE");
  }
  void TearDown() override { unsetenv("CLOB_SIZE"); }
  Database db;
  Instance in;
};

TEST_F(TableTest, CreateTextFollowsTheTypeRules) {
  struct Case { const char* name; COLUMN_DEF c; int32_t status; const char* text; };
  const Case cases[] = {
      {"smallint", col("A", SE_SMALLINT, 5, 0, 1), 0, "A SMALLINT"},
      {"smallint too wide", col("A", SE_SMALLINT, 6, 0, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"integer", col("A", SE_INTEGER, 10, 0, 0), 0, "A INTEGER NOT NULL"},
      {"integer as decimal", col("A", SE_INTEGER, 7, 0, 0), 0, "A DECIMAL(7,0) NOT NULL"},
      {"integer of size 4", col("A", SE_INTEGER, 4, 0, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"float default", col("A", SE_FLOAT, 0, 0, 1), 0, "A DECIMAL(6,2)"},
      {"float 5,2", col("A", SE_FLOAT, 5, 2, 1), 0, "A DECIMAL(5,2)"},
      {"float of size 7", col("A", SE_FLOAT, 7, 2, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"float scale above precision", col("A", SE_FLOAT, 2, 3, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"double default", col("A", SE_DOUBLE, 0, 0, 1), 0, "A DOUBLE"},
      {"double capped at 31", col("A", SE_DOUBLE, 40, 3, 1), 0, "A DECIMAL(31,3)"},
      {"double of size 6", col("A", SE_DOUBLE, 6, 1, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"string default", col("A", SE_STRING, 0, 0, 1), 0, "A VARCHAR(254)"},
      {"string", col("A", SE_STRING, 31999, 0, 1), 0, "A VARCHAR(31999)"},
      {"long string", col("A", SE_STRING, 32000, 0, 1), 0, "A CLOB(1M)"},
      {"negative string", col("A", SE_STRING, -1, 0, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"blob default", col("A", SE_BLOB, 0, 0, 1), 0, "A BLOB(1M) "},
      {"blob largest", col("A", SE_BLOB, 2147483647, 0, 1), 0, "A BLOB(1M) "},
      {"blob not logged", col("A", SE_BLOB, 1073741284, 0, 1), 0, "A BLOB(1073741284) NOT LOGGED "},
      {"blob logged", col("A", SE_BLOB, 1073741283, 0, 1), 0, "A BLOB(1073741283) "},
      {"blob negative", col("A", SE_BLOB, -5, 0, 1), SE_INVALID_COLUMN_SIZE, nullptr},
      {"date", col("A", SE_DATE_TYPE, 0, 0, 1), 0, "A TIMESTAMP"},
      {"shape", col("A", SE_SHAPE, 0, 0, 1), 0, "A DB2GSE.ST_Geometry"},
      {"typed shape", col("A", 30, 0, 0, 1), 0, "A DB2GSE.ST_MultiPolygon"},
      {"shape not null", col("A", 20, 0, 0, 0), SE_SHAPE_COLUMN_NOT_NULL, nullptr},
      {"raster", col("A", SE_RASTER, 0, 0, 1), SE_INVALID_COLUMN_TYPE, nullptr},
      {"unknown", col("A", 19, 0, 0, 1), SE_INVALID_COLUMN_TYPE, nullptr},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(db_table_create_text(in.in, "T", 1, &c.c, nullptr, 0, &text), c.status) << c.name;
    if (c.text != nullptr) EXPECT_EQ(text, std::string("CREATE TABLE T (") + c.text + ") ") << c.name;
  }
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("DB_table_create()::Invalid column type (19)"), std::string::npos);

  // the whole text of a two-column table
  COLUMN_DEF two[] = {col("id", SE_INTEGER, 7, 0, 0), col("shape", 20, 0, 0, 1)};
  std::string text;
  ASSERT_EQ(db_table_create_text(in.in, "t", 2, two, nullptr, 0, &text), 0);
  EXPECT_EQ(text, "CREATE TABLE t (id DECIMAL(7,0) NOT NULL, shape DB2GSE.ST_Point) ");
  COLUMN_DEF shapes[] = {col("s1", SE_SHAPE, 0, 0, 1), col("s2", 24, 0, 0, 1)};
  EXPECT_EQ(db_table_create_text(in.in, "t", 2, shapes, nullptr, 0, &text), SE_MULTIPLE_LAYERS);

  // the CLOB length comes from CLOB_SIZE, which must be a plain size
  COLUMN_DEF clob = col("A", SE_STRING, 40000, 0, 1);
  setenv("CLOB_SIZE", "64K", 1);
  ASSERT_EQ(db_table_create_text(in.in, "T", 1, &clob, nullptr, 0, &text), 0);
  EXPECT_EQ(text, "CREATE TABLE T (A CLOB(64K)) ");
  setenv("CLOB_SIZE", "1M) NOT NULL, X INTEGER", 1);
  EXPECT_EQ(db_table_create_text(in.in, "T", 1, &clob, nullptr, 0, &text), SE_INVALID_COLUMN_SIZE);
}

TEST_F(TableTest, KeywordGivesStorageAndLobOptions) {
  Instance zul("ZUL", dbtest::kAdminPw);
  ASSERT_EQ(zul.status, 0);
  DBTUNE_SYSTEM_PARAMS none{};
  ASSERT_EQ(DB_instance_dbtune_table_create(zul.in, nullptr, &none), 0);
  char table[SE_DB_QUALIFIED_LEN];
  db_make_dbtune_table_name(zul.in, table);
  for (const char* row : {"'MINE', 'B_STORAGE', 'IN TSB'", "'MINE', 'A_STORAGE', 'IN TSA'",
                          "'MINE', 'LOB_SIZE', '5M'", "'PLAIN', 'B_STORAGE', ''",
                          "'PLAIN', 'LOB_OPTION', ' NOT LOGGED'"})
    ASSERT_EQ(dbtest::exec(zul.in, std::string("INSERT INTO ") + table + " VALUES (" + row + ")"), SQL_SUCCESS);
  ASSERT_EQ(db_commit_ddlsql(zul.in), 0);

  COLUMN_DEF cols[] = {col("A", SE_BLOB, 2147483647, 0, 1), col("B", SE_BLOB, 0, 0, 1)};
  struct Case { const char* name; const char* keyword; int32_t kind; int32_t status; const char* text; };
  const Case cases[] = {
      {"business", "MINE", SE_TABLE_KIND_BUSINESS, 0,
       "CREATE TABLE T (A BLOB(5M)  LOGGED NOT COMPACT , B BLOB(1M)  LOGGED NOT COMPACT ) IN TSB"},
      {"adds", "MINE", SE_TABLE_KIND_ADDS, 0,
       "CREATE TABLE T (A BLOB(5M)  LOGGED NOT COMPACT , B BLOB(1M)  LOGGED NOT COMPACT ) IN TSA"},
      {"own lob option", "PLAIN", SE_TABLE_KIND_BUSINESS, 0,
       "CREATE TABLE T (A BLOB(1M)  NOT LOGGED , B BLOB(1M)  NOT LOGGED ) "},
      {"unknown keyword", "NOSUCH", SE_TABLE_KIND_BUSINESS, SE_NO_KEYWORD_ROWS, nullptr},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(db_table_create_text(zul.in, "T", 2, cols, c.keyword, c.kind, &text), c.status) << c.name;
    if (c.text != nullptr) EXPECT_EQ(text, c.text) << c.name;
  }
  EXPECT_EQ(DB_table_create_index(zul.in, "T", "A", 0, 1, "TX", "NOSUCH", 0), SE_NO_KEYWORD_ROWS);
}

TEST_F(TableTest, AddColumnTextDiffersForStringsAndBlobs) {
  struct Case { const char* name; COLUMN_DEF c; int32_t status; const char* text; };
  const Case cases[] = {
      {"long string stays varchar", col("A", SE_STRING, 32000, 0, 1), 0, "  VARCHAR(32000)"},
      {"blob default", col("A", SE_BLOB, 0, 0, 1), 0, "  BLOB(1M) "},
      {"blob sized", col("A", SE_BLOB, 2147483647, 0, 1), 0, "  BLOB(2147483647) "},
      {"not null", col("A", SE_INTEGER, 0, 0, 0), 0, "  INTEGER NOT NULL WITH DEFAULT"},
      {"shape", col("A", 24, 0, 0, 1), 0, "  DB2GSE.ST_Polygon"},
      {"unknown", col("A", 40, 0, 0, 1), SE_INVALID_COLUMN_TYPE, nullptr},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(db_table_add_column_text(in.in, "T", &c.c, &text), c.status) << c.name;
    if (c.text != nullptr) EXPECT_EQ(text, std::string("ALTER TABLE T ADD COLUMN A") + c.text) << c.name;
  }
}

TEST_F(TableTest, CreatedTableDescribesWithItsRowIdKinds) {
  COLUMN_DEF cols[] = {col("ID", SE_INTEGER, 0, 0, 0), col("NAME", SE_STRING, 20, 0, 1),
                       col("AMOUNT", SE_DOUBLE, 0, 0, 1), col("SEEN", SE_DATE_TYPE, 0, 0, 1),
                       col("SHAPE", SE_SHAPE, 0, 0, 1)};
  ASSERT_EQ(DB_table_create(in.in, "BOB.PARCELS", 5, cols, "", 0), 0);
  EXPECT_EQ(DB_table_create(in.in, "BOB.PARCELS", 5, cols, "", 0), SE_TABLE_EXISTS);
  EXPECT_EQ(DB_table_create(in.in, "BOB.P2;DROP TABLE BOB.PARCELS", 1, cols, "", 0),
            SE_INVALID_IDENTIFIER);
  COLUMN_DEF added = col("NOTE", SE_STRING, 40, 0, 0);
  EXPECT_EQ(DB_table_add_column(in.in, "BOB.PARCELS", &added), 0);
  EXPECT_EQ(DB_table_add_column(in.in, "BOB.PARCELS", &added), SE_COLUMN_EXISTS_ADD);

  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  strcpy(reg.rowid_column, "ID");
  struct Case { const char* name; int32_t flags; int16_t id_kind; };
  const Case cases[] = {
      {"server row ids", SE_REG_HAS_ROWID | SE_REG_ROWID_BY_SERVER, 1},
      {"user row ids", SE_REG_HAS_ROWID, 2},
      {"no row-id column", 0, 3},
  };
  for (const Case& c : cases) {
    reg.flags = c.flags;
    int16_t n = 0;
    COLUMN_DEF* defs = nullptr;
    ASSERT_EQ(DB_table_describe(in.in, "BOB.PARCELS", &reg, &n, &defs), 0) << c.name;
    ASSERT_EQ(n, 6) << c.name;
    EXPECT_EQ(defs[0].rowid_kind, c.id_kind) << c.name;
    for (int i = 1; i < n; ++i) EXPECT_EQ(defs[i].rowid_kind, 3) << c.name << " " << i;
    EXPECT_EQ(defs[1].type, SE_STRING);
    EXPECT_EQ(defs[1].size, 20);
    EXPECT_EQ(defs[5].nullable, 0);
    free(defs);
  }
  int16_t n = 0;
  COLUMN_DEF* defs = nullptr;
  EXPECT_EQ(DB_table_describe(in.in, "BOB.NOSUCH", nullptr, &n, &defs), SE_TABLE_NOEXIST);
  EXPECT_EQ(defs, nullptr);
}

TEST_F(TableTest, DescribeMarksTheSpatialAndRasterColumns) {
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
  {
    Instance zul("ZUL", dbtest::kAdminPw);
    ASSERT_EQ(zul.status, 0);
    // the layers table holds just the columns the description reads
    ASSERT_EQ(db_execute_ddlsql(zul.in, "CREATE TABLE ZUL.LAYERS (owner VARCHAR(30), table_name "
                                        "VARCHAR(128), spatial_column VARCHAR(128))", 1, DB_MODE_DDL_COMMIT), 0);
    ASSERT_EQ(DB_instance_rascol_table_create(zul.in, nullptr), 0);
    ASSERT_EQ(db_execute_ddlsql(zul.in, "INSERT INTO ZUL.LAYERS VALUES ('BOB', 'IMAGES', 'FOOTPRINT')", 1, DB_MODE_EXEC_COMMIT), 0);
    ASSERT_EQ(db_execute_ddlsql(zul.in, "INSERT INTO ZUL.RASTER_COLUMNS (rastercolumn_id, database_name, owner, "
                                        "table_name, raster_column, cdate, base_rastercolumn_id, rastercolumn_mask) "
                                        "VALUES (7, 'ZUL', 'BOB', 'IMAGES', 'RASTER', 0, 0, 0)", 1, DB_MODE_EXEC_COMMIT), 0);
    ASSERT_EQ(db_execute_ddlsql(zul.in, "GRANT SELECT ON ZUL.LAYERS TO PUBLIC", 1, DB_MODE_EXEC_COMMIT), 0);
  }
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.ZUL_BLK_7 (X INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);
  COLUMN_DEF cols[] = {col("NAME", SE_STRING, 20, 0, 1), col("PICTURE", SE_BLOB, 0, 0, 1),
                       col("FOOTPRINT", 24, 0, 0, 1), col("RASTER", SE_INTEGER, 0, 0, 1),
                       col("OTHER", SE_INTEGER, 0, 0, 1)};
  ASSERT_EQ(DB_table_create(in.in, "IMAGES", 5, cols, nullptr, 0), 0);

  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  struct Case { const char* name; int32_t flags; int32_t types[5]; };
  const Case cases[] = {
      {"plain", 0, {SE_STRING, SE_BLOB, -1, SE_INTEGER, SE_INTEGER}},
      {"layer", SE_REG_LAYER_DEPENDS, {SE_STRING, SE_BLOB, SE_SHAPE, SE_INTEGER, SE_INTEGER}},
      {"raster", SE_REG_HAS_RASTERCOLUMN, {SE_STRING, SE_BLOB, -1, SE_RASTER, SE_INTEGER}},
      {"both", SE_REG_LAYER_DEPENDS | SE_REG_HAS_RASTERCOLUMN,
       {SE_STRING, SE_BLOB, SE_SHAPE, SE_RASTER, SE_INTEGER}},
  };
  for (const Case& c : cases) {
    reg.flags = c.flags;
    int16_t n = 0;
    COLUMN_DEF* defs = nullptr;
    ASSERT_EQ(DB_table_describe(in.in, "IMAGES", &reg, &n, &defs), 0) << c.name;
    ASSERT_EQ(n, 5);
    for (int i = 0; i < 5; ++i) {
      if (c.types[i] >= 0) EXPECT_EQ(defs[i].type, c.types[i]) << c.name << " column " << i;
      if (c.types[i] == SE_SHAPE || c.types[i] == SE_RASTER) {
        EXPECT_EQ(defs[i].size, 0) << c.name;
        EXPECT_EQ(defs[i].decimals, 0) << c.name;
      }
    }
    free(defs);
  }
}

TEST_F(TableTest, ListLeavesOutVersioningAndSystemTables) {
  for (const char* t : {"A12", "d7", "L300", "B1", "A", "A1X", "ROADS"}) {
    std::string sql = std::string("CREATE TABLE BOB.") + t + " (X INTEGER)";
    ASSERT_EQ(db_execute_ddlsql(in.in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << t;
  }
  {
    Instance zul("ZUL", dbtest::kAdminPw);
    for (const char* sql : {"CREATE TABLE ZUL.VERSIONS (X INTEGER)", "CREATE TABLE ZUL.SHARED (X INTEGER)",
                            "CREATE TABLE ZUL.HIDDEN (X INTEGER)", "GRANT SELECT ON ZUL.VERSIONS TO USER BOB",
                            "GRANT SELECT, UPDATE ON ZUL.SHARED TO USER BOB"})
      ASSERT_EQ(db_execute_ddlsql(zul.in, sql, 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }
  struct Case { const char* name; int32_t mask; std::set<std::string> want; };
  const Case cases[] = {
      {"any", 0, {"ZUL.BOB.A1X", "ZUL.BOB.ROADS", "ZUL.ZUL.SHARED"}},
      {"select", SE_PRIV_SELECT, {"ZUL.BOB.A1X", "ZUL.BOB.ROADS", "ZUL.ZUL.SHARED"}},
      {"select and update", SE_PRIV_SELECT | SE_PRIV_UPDATE, {"ZUL.BOB.A1X", "ZUL.BOB.ROADS", "ZUL.ZUL.SHARED"}},
      {"delete", SE_PRIV_DELETE, {"ZUL.BOB.A1X", "ZUL.BOB.ROADS"}},
  };
  for (const Case& c : cases) {
    int32_t n = 0;
    char** names = nullptr;
    ASSERT_EQ(DB_table_list(in.in, c.mask, "bob", &n, &names), 0) << c.name;
    std::set<std::string> got(names, names + n);
    EXPECT_EQ(got, c.want) << c.name;
    DB_table_free_list(names, n);
  }
  int32_t n = 0;
  char** names = nullptr;
  EXPECT_EQ(DB_table_list(in.in, 0, "bob' OR '1'='1", &n, &names), SE_INVALID_IDENTIFIER);
  EXPECT_EQ(names, nullptr);
  for (const char* name : {"A", "A12", "d7", "L300", "B1", "b0"})
    EXPECT_EQ(db_table_list_is_versioning_table(name), 1) << name;
  for (const char* name : {"A1X", "C1", "", "AB"}) EXPECT_EQ(db_table_list_is_versioning_table(name), 0) << name;
}

TEST_F(TableTest, PrivilegesAreReadGrantedAndRevoked) {
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "adduser ZUL ANN annpw"), "");
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.ROADS (X INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);

  int32_t mask = -1;
  EXPECT_EQ(DB_table_get_permissions(in.in, "bob", "ROADS", &mask), 0);
  EXPECT_EQ(mask, SE_PRIV_OWNER);
  EXPECT_EQ(DB_table_get_permissions(in.in, "ann", "BOB.ROADS", &mask), 0);
  EXPECT_EQ(mask, 0);

  EXPECT_EQ(DB_table_grant_access(in.in, "BOB.ROADS", SE_PRIV_SELECT | SE_PRIV_UPDATE, 0, "ann"), 0);
  EXPECT_EQ(DB_table_grant_access(in.in, "BOB.ROADS", SE_PRIV_DELETE, 0, "public"), 0);
  EXPECT_EQ(DB_table_grant_access(in.in, "BOB.ROADS", 0, 0, "ann"), SE_INVALID_PARAM);
  EXPECT_EQ(DB_table_grant_access(in.in, "BOB.ROADS", SE_PRIV_SELECT, 0, "ann; DROP TABLE BOB.ROADS"),
            SE_INVALID_IDENTIFIER);
  struct Case { const char* name; bool grantee_only; int32_t mask; };
  const Case cases[] = {
      {"with PUBLIC", false, SE_PRIV_SELECT | SE_PRIV_UPDATE | SE_PRIV_DELETE},
      {"by name only", true, SE_PRIV_SELECT | SE_PRIV_UPDATE},
  };
  for (const Case& c : cases) {
    mask = -1;
    int32_t status = c.grantee_only ? DB_table_get_grantee_permissions(in.in, "ANN", "BOB.ROADS", &mask)
                                    : DB_table_get_permissions(in.in, "ANN", "BOB.ROADS", &mask);
    EXPECT_EQ(status, 0) << c.name;
    EXPECT_EQ(mask, c.mask) << c.name;
  }
  EXPECT_EQ(DB_table_revoke_access(in.in, "BOB.ROADS", SE_PRIV_UPDATE, "ANN"), 0);
  EXPECT_EQ(DB_table_get_grantee_permissions(in.in, "ANN", "BOB.ROADS", &mask), 0);
  EXPECT_EQ(mask, SE_PRIV_SELECT);

  // ANN holds no grant option: her grant is refused
  Instance ann("ANN", "annpw");
  ASSERT_EQ(ann.status, 0);
  EXPECT_EQ(DB_table_grant_access(ann.in, "BOB.ROADS", SE_PRIV_SELECT, 0, "PUBLIC"), SE_GRANT_REFUSED);
}

TEST_F(TableTest, TruncateAndDrops) {
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.ROADS (X INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE VIEW BOB.V AS SELECT X FROM BOB.ROADS", 1, DB_MODE_DDL_COMMIT), 0);
  EXPECT_EQ(DB_table_truncate(in.in, "BOB.ROADS"), 0);  // empty
  ASSERT_EQ(db_execute_ddlsql(in.in, "INSERT INTO BOB.ROADS VALUES (1)", 1, DB_MODE_EXEC_COMMIT), 0);
  EXPECT_EQ(DB_table_truncate(in.in, "BOB.ROADS"), 0);
  ASSERT_EQ(db_commit_ddlsql(in.in), 0);
  Watcher w;
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.ROADS"), 0);

  EXPECT_EQ(DB_view_drop(in.in, "bob.v"), 0);
  int32_t again = DB_view_drop(in.in, "bob.v");
  EXPECT_TRUE(again == SE_TABLE_NOEXIST || again == SE_NO_ROW) << again;
  EXPECT_EQ(DB_table_drop(in.in, "bob.roads"), 0);
  EXPECT_EQ(DB_table_drop(in.in, "bob.roads"), SE_TABLE_NOEXIST);
  EXPECT_EQ(DB_table_drop_column(in.in, "bob.roads", "X"), SE_NOT_SUPPORTED_ON_DB2);
  EXPECT_EQ(DB_table_rename(in.in, "bob.roads", "bob.ways"), SE_NOT_SUPPORTED_ON_DB2);
}

}  // namespace
