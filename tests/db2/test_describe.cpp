// test_describe.cpp -- result columns described as COLUMN_DEF records for
// every DB2 type, the row-id, shape and raster marks of a registered table,
// the failures of the description, and DB2's type names.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "db_test_support.h"
#include "dl_fault.h"
#include "zul_db_tables.h"

using dbtest::Database;
using dbtest::Instance;

namespace {

// A query described on a statement of its own, whose arrays are freed at
// the end of scope. count starts non-zero: a refused description clears it.
struct Described {
  int32_t status = 0;
  int16_t count = 5;
  COLUMN_DEF* defs = nullptr;
  int32_t* binds = nullptr;
  int16_t* c_types = nullptr;
  Described(DB_INSTANCE* in, DB_STREAM* stream, const char* sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    status = db_prepare_stmt(in, nullptr, &stmt, sql);
    if (status == 0) status = db_describe_select(in, stream, &stmt, &count, &defs, &binds, &c_types);
    db_free_stmt(&stmt);
  }
  ~Described() {
    free(defs);
    free(binds);
    free(c_types);
  }
};

class DescribeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
    ASSERT_EQ(db_execute_ddlsql(in.in,
                                "CREATE TABLE BOB.ALLTYPES (C_SMALL SMALLINT NOT NULL, C_INT INTEGER, "
                                "C_BIG BIGINT, C_REAL REAL, C_DOUBLE DOUBLE, C_D40 DECIMAL(4,0), "
                                "C_N50 NUMERIC(5,0), C_N90 NUMERIC(9,0), C_D62 DECIMAL(6,2), "
                                "C_D72 DECIMAL(7,2), C_D120 DECIMAL(12,0), C_CHAR CHAR(10), "
                                "C_VARCHAR VARCHAR(20) NOT NULL, C_LONG LONG VARCHAR, C_CLOB CLOB(1K), "
                                "C_DATE DATE, C_TIME TIME, C_TS TIMESTAMP, C_BLOB BLOB(1K), "
                                "C_BITDATA VARCHAR(8) FOR BIT DATA)",
                                1, DB_MODE_DDL_COMMIT),
              0);
  }
  void TearDown() override { dl::dl_fault_clear(); }
  Database db;
  Instance in;
};

TEST_F(DescribeTest, EveryDb2TypeMapsToItsColumnType) {
  struct Case { const char* name; int32_t type, size; int16_t digits; int32_t bind; int16_t c_type; int32_t nullable; };
  const Case cases[] = {
      {"C_SMALL", SE_SMALLINT, 5, 0, 2, SQL_C_SHORT, 0},
      {"C_INT", SE_INTEGER, 10, 0, 4, SQL_C_LONG, 1},
      {"C_BIG", SE_STRING, 19, 0, 20, SQL_C_CHAR, 1},
      {"C_REAL", SE_FLOAT, -1, -1, 4, SQL_C_FLOAT, 1},  // size and digits as DB2 reports them
      {"C_DOUBLE", SE_DOUBLE, -1, -1, 8, SQL_C_DOUBLE, 1},
      {"C_D40", SE_SMALLINT, 4, 0, 2, SQL_C_SHORT, 1},
      {"C_N50", SE_INTEGER, 5, 0, 4, SQL_C_LONG, 1},
      {"C_N90", SE_INTEGER, 9, 0, 4, SQL_C_LONG, 1},
      {"C_D62", SE_FLOAT, 6, 2, 4, SQL_C_FLOAT, 1},
      {"C_D72", SE_DOUBLE, 7, 2, 8, SQL_C_DOUBLE, 1},
      {"C_D120", SE_DOUBLE, 12, 0, 8, SQL_C_DOUBLE, 1},
      {"C_CHAR", SE_STRING, 10, 0, 11, SQL_C_CHAR, 1},
      {"C_VARCHAR", SE_STRING, 20, 0, 21, SQL_C_CHAR, 0},
      {"C_LONG", SE_STRING, -1, 0, -1, SQL_C_CHAR, 1},
      {"C_CLOB", SE_STRING, 1024, 0, 1025, SQL_C_CHAR, 1},
      {"C_DATE", SE_DATE_TYPE, 0, 0, 6, SQL_C_DATE, 1},
      {"C_TIME", SE_DATE_TYPE, 0, 0, 6, SQL_C_TIME, 1},
      {"C_TS", SE_DATE_TYPE, 0, 0, 16, SQL_C_TIMESTAMP, 1},
      {"C_BLOB", SE_BLOB, 1024, 0, 60000, SQL_C_BINARY, 1},
      {"C_BITDATA", SE_BLOB, 8, 0, 60000, SQL_C_BINARY, 1},
  };
  Described q(in.in, nullptr, "SELECT * FROM BOB.ALLTYPES");
  ASSERT_EQ(q.status, 0);
  ASSERT_EQ(q.count, (int16_t)(sizeof cases / sizeof cases[0]));
  for (int k = 0; k < q.count; ++k) {
    const Case& c = cases[k];
    EXPECT_STREQ(q.defs[k].name, c.name);
    EXPECT_EQ(q.defs[k].type, c.type) << c.name;
    if (c.size >= 0) {
      EXPECT_EQ(q.defs[k].size, c.size) << c.name;
    }
    if (c.digits >= 0) {
      EXPECT_EQ(q.defs[k].decimals, c.digits) << c.name;
    }
    if (c.bind >= 0) {
      EXPECT_EQ(q.binds[k], c.bind) << c.name;
    }
    EXPECT_EQ(q.c_types[k], c.c_type) << c.name;
    EXPECT_EQ(q.defs[k].nullable, c.nullable) << c.name;
  }
}

TEST(DescribeMapping, TypesWithoutAColumnTypeFail) {
  struct Case { int32_t sql_type; int16_t c_type; };
  const Case cases[] = {{SQL_BIT, SQL_C_BIT}, {SQL_TINYINT, SQL_C_TINYINT}, {SQL_GUID, 0}, {1234, 0}};
  for (const Case& c : cases) {
    int16_t got = 99;
    EXPECT_EQ(db_map_c_type(c.sql_type, &got), 0);
    EXPECT_EQ(got, c.c_type) << c.sql_type;
    COLUMN_DEF def;
    int32_t bind = 0;
    int16_t ct = 0;
    EXPECT_EQ(db_map_dbms_to_zul_type("X", c.sql_type, 1, 0, SQL_NULLABLE, &def, &bind, &ct),
              SE_TYPE_NO_MAPPING)
        << c.sql_type;
  }
  // A REAL keeps its fractions even when it reports no decimal digits.
  COLUMN_DEF def;
  int32_t bind = 0;
  int16_t ct = 0;
  ASSERT_EQ(db_map_dbms_to_zul_type("R", SQL_REAL, 7, 0, SQL_NULLABLE_UNKNOWN, &def, &bind, &ct), 0);
  EXPECT_EQ(def.type, SE_FLOAT);
  EXPECT_EQ(def.nullable, 1);
  // A negative scale on an exact numeric has no column type.
  EXPECT_EQ(db_map_dbms_to_zul_type("N", SQL_DECIMAL, 7, -2, SQL_NO_NULLS, &def, &bind, &ct),
            SE_TYPE_NO_MAPPING);
}

TEST_F(DescribeTest, RegisteredTableMarksRowIdColumn) {
  char c1[] = "c_int", c2[] = "C_VARCHAR", c3[] = "c_small";
  char* names[] = {c1, c2, c3};
  COLUMN_DEF defs[3];
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  strcpy(reg.rowid_column, "c_int");
  struct Case { int32_t flags; int16_t kinds[3]; };
  const Case cases[] = {
      {SE_REG_HAS_ROWID | SE_REG_ROWID_BY_SERVER, {SE_ROWID_BY_SERVER, SE_ROWID_NONE, SE_ROWID_NONE}},
      {SE_REG_HAS_ROWID, {SE_ROWID_BY_USER, SE_ROWID_NONE, SE_ROWID_NONE}},
      {SE_REG_ROWID_BY_SERVER, {SE_ROWID_NONE, SE_ROWID_NONE, SE_ROWID_NONE}},
  };
  for (const Case& c : cases) {
    reg.flags = c.flags;
    ASSERT_EQ(DB_table_get_column_defs(in.in, nullptr, "BOB.ALLTYPES", &reg, 3, names, defs, nullptr), 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(defs[k].rowid_kind, c.kinds[k]) << c.flags << " column " << k;
  }
  EXPECT_EQ(defs[1].type, SE_STRING);
  EXPECT_EQ(defs[2].type, SE_SMALLINT);
  ASSERT_EQ(DB_table_get_column_defs(in.in, nullptr, "ALLTYPES", nullptr, 3, names, defs, nullptr), 0);
  EXPECT_EQ(defs[0].rowid_kind, SE_ROWID_NONE);
}

TEST_F(DescribeTest, StreamLayerAndRasterColumnsAreRecognised) {
  DB_STREAM* stream = nullptr;
  const char name[SE_DB_STREAM_NAME_LEN] = "1_1";
  const int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
  ASSERT_EQ(DB_stream_init(&stream, in.in, "BOB", name, settings), 0);
  LAYER layer;
  memset(&layer, 0, sizeof layer);
  stream->layer = &layer;
  strcpy(stream->spatial_column_name, "c_blob");
  strcpy(stream->table_owner, "BOB");
  strcpy(stream->table, "ALLTYPES");
  strcpy(stream->raster_column, "C_BITDATA");
  strcpy(stream->raster_owner, "BOB");
  strcpy(stream->raster_table, "ALLTYPES");

  char c1[] = "c_blob", c2[] = "bob.alltypes.c_bitdata", c3[] = "C_CLOB";
  char* names[] = {c1, c2, c3};
  COLUMN_DEF defs[3];
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  reg.flags = SE_REG_LAYER_DEPENDS | 0x40;
  LAYER** layers = nullptr;
  ASSERT_EQ(DB_table_get_column_defs(in.in, stream, "BOB.ALLTYPES", &reg, 3, names, defs, &layers), 0);
  ASSERT_NE(layers, nullptr);
  EXPECT_EQ(defs[0].type, SE_SHAPE);
  EXPECT_EQ(defs[0].size, 0);
  EXPECT_EQ(layers[0], &layer);
  EXPECT_EQ(defs[1].type, SE_RASTER);
  EXPECT_EQ(layers[1], nullptr);
  EXPECT_EQ(defs[2].type, SE_STRING);
  free(layers);

  // without the registration's layer bit the BLOB stays a BLOB
  reg.flags = 0;
  ASSERT_EQ(DB_table_get_column_defs(in.in, stream, "BOB.ALLTYPES", &reg, 3, names, defs, &layers), 0);
  EXPECT_EQ(defs[0].type, SE_BLOB);
  EXPECT_EQ(defs[1].type, SE_BLOB);
  free(layers);

  // an unnamed column of a points query takes the spatial column's name
  stream->select_text = strdup("SELECT c_blob..Points FROM BOB.ALLTYPES");
  {
    Described q(in.in, stream, "SELECT 1 + 1 FROM BOB.ALLTYPES");
    ASSERT_EQ(q.status, 0);
    ASSERT_EQ(q.count, 1);
    EXPECT_STREQ(q.defs[0].name, "c_blob");
  }
  stream->layer = nullptr;
  DB_stream_free(stream);
  free(stream);
}

int32_t reg_by_name(void* ctx, const char* owner_table, REGISTRATION* out) {
  (void)ctx;
  memset(out, 0, sizeof *out);
  if (strcmp(owner_table, "BOB.ROADS") == 0) strcpy(out->rowid_column, "OBJECTID");
  else if (strcmp(owner_table, "SAM.RIVERS") == 0) strcpy(out->rowid_column, "FID");
  else return -37;
  return 0;
}

TEST_F(DescribeTest, RegisteredRowIdColumnOfAStream) {
  DB_STREAM* stream = nullptr;
  const char name[SE_DB_STREAM_NAME_LEN] = "1_2";
  const int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
  ASSERT_EQ(DB_stream_init(&stream, in.in, "BOB", name, settings), 0);
  in->params.registration_by_name = reg_by_name;
  strcpy(stream->table_owner, "BOB");
  strcpy(stream->table, "ROADS");
  struct Case { const char* column; int32_t want; };
  const Case cases[] = {
      {"objectid", 1},            // the stream's own table
      {"roads.objectid", 1},      // same table, owner from the stream
      {"bob.roads.objectid", 1},
      {"sam.rivers.fid", 0},      // registered, but another table than the stream's
      {"shape", 0},               // not the row-id column
      {"tom.lakes.objectid", 0},  // no registration
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(db_is_registered_rowid_column(stream, c.column), c.want) << c.column;
  DB_stream_free(stream);
  free(stream);
}

TEST_F(DescribeTest, DescriptionFailuresMapToStatuses) {
  char good[] = "C_INT", missing[] = "NO_SUCH", hostile[] = "C_INT FROM BOB.ALLTYPES --";
  COLUMN_DEF defs[1];
  struct Case { const char* what; const char* table; char* column; int32_t status; };
  const Case cases[] = {
      {"missing table", "BOB.NOPE", good, SE_TABLE_NOEXIST},
      {"missing column", "BOB.ALLTYPES", missing, SE_ATTR_NOEXIST},
      {"column that is not a name", "BOB.ALLTYPES", hostile, SE_INVALID_IDENTIFIER},
      {"table that is not a name", "BOB.ALLTYPES;", good, SE_INVALID_IDENTIFIER},
  };
  for (const Case& c : cases) {
    char* names[] = {c.column};
    EXPECT_EQ(DB_table_get_column_defs(in.in, nullptr, c.table, nullptr, 1, names, defs, nullptr), c.status)
        << c.what;
  }

  // a statement that is not a query
  Described q(in.in, nullptr, "DELETE FROM BOB.ALLTYPES");
  EXPECT_EQ(q.status, SE_NOT_A_QUERY);
  EXPECT_EQ(q.count, 0);
  EXPECT_EQ(q.defs, nullptr);
}

TEST_F(DescribeTest, TypeNamesComeFromDb2AndAreCached) {
  const char* name = nullptr;
  struct Case { int32_t code; const char* want; };
  const Case cases[] = {{SQL_INTEGER, "INTEGER"}, {SQL_VARCHAR, "VARCHAR"}, {SQL_DOUBLE, "DOUBLE"},
                        {-98, "BLOB"}};
  for (const Case& c : cases) {
    ASSERT_EQ(DB_get_data_type(in.in, c.code, &name), 0) << c.code;
    EXPECT_STREQ(name, c.want) << c.code;
  }
  EXPECT_EQ(DB_get_data_type(in.in, SQL_BIGINT, &name), SE_DB_IO_ERROR);  // not a cached type

  // one group serves NUMERIC, DECIMAL and REAL: the first asked decides
  const char* numeric = nullptr;
  ASSERT_EQ(DB_get_data_type(in.in, SQL_NUMERIC, &numeric), 0);
  ASSERT_EQ(DB_get_data_type(in.in, SQL_DECIMAL, &name), 0);
  EXPECT_EQ(name, numeric);

  // a driver without SMALLINT: INTEGER's name
  dl::dl_fault_hide_type(SQL_SMALLINT);
  ASSERT_EQ(DB_get_data_type(in.in, SQL_SMALLINT, &name), 0);
  EXPECT_STREQ(name, "INTEGER");

  // a failed lookup leaves the group empty, so the next call asks again
  dl::dl_fault_hide_type(SQL_CHAR);
  EXPECT_EQ(DB_get_data_type(in.in, SQL_CHAR, &name), SE_DB_IO_ERROR);
  dl::dl_fault_hide_type(0);
  ASSERT_EQ(DB_get_data_type(in.in, SQL_CHAR, &name), 0);
  EXPECT_STREQ(name, "CHAR");
}

}  // namespace
