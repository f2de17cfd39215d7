// test_dbmsinfo.cpp -- the fixed DBMS answers, the lists of function names
// and reserved words, the databases of an instance, the shape-attribute
// texts, and a layer's spatial index.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "db_test_support.h"
#include "zul_db_tables.h"
#include "zul_dbms.h"

using dbtest::Database;
using dbtest::Instance;

namespace {

TEST(DbmsInfo, FixedAnswers) {
  char text[64] = "";
  EXPECT_EQ(DB_dbms_get_id(), 8);
  EXPECT_EQ(DB_dbms_get_name(text), 0);
  EXPECT_STREQ(text, "DB2/Extended");
  EXPECT_EQ(DB_dbms_get_properties(), 0x6A);
  EXPECT_EQ(DB_dbms_get_nlsenv(text), 0);
  EXPECT_STREQ(text, "DB2CODEPAGE");
  db_gse_function_prefix(text);
  EXPECT_STREQ(text, " DB2GSE.%s");
  db_sp_library_name(text);
  EXPECT_STREQ(text, "zulsrvsp");

  int32_t flags = 0;
  EXPECT_EQ(DB_dbms_get_qualify_rules(&flags, text), 0);
  EXPECT_EQ(flags, 63);
  EXPECT_STREQ(text, "...");
  EXPECT_EQ(DB_dbms_get_qualify_rules(nullptr, text), SE_INVALID_PARAM);
  EXPECT_EQ(DB_dbms_get_qualify_rules(&flags, nullptr), SE_INVALID_PARAM);

  int32_t first = -1, second = -1;
  char names[SE_DBMS_SHAPE_ATTR_COUNT][32];
  memset(names, 'x', sizeof names);
  EXPECT_EQ(DB_dbms_shape_attr_name(&first, &second, names), 0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 14);
  for (auto& n : names) EXPECT_STREQ(n, "");

  // the operations DB2 does not need succeed whatever they are given
  EXPECT_EQ(DB_dbms_is_case_sensitive(nullptr), 0);
  EXPECT_EQ(DB_database_use(nullptr, "ANY_DATABASE"), 0);
  EXPECT_EQ(DB_row_lock_add(nullptr, 1, 2, 3), 0);
  EXPECT_EQ(SM_convert(), 0);
}

TEST(DbmsInfo, FunctionAndKeywordLists) {
  int32_t count = -1;
  EXPECT_EQ(DB_dbms_get_function_name(&count, nullptr), SE_INVALID_PARAM);
  EXPECT_EQ(count, 57);
  char** list = nullptr;
  ASSERT_EQ(DB_dbms_get_function_name(&count, &list), 0);
  ASSERT_EQ(count, 57);
  struct Entry { int pos; const char* text; };
  const Entry functions[] = {{0, "UPPER"}, {5, "NONE"}, {11, "SOUNDEX"}, {34, "DAYS"}, {48, "USER"},
                             {49, "%"}, {50, "_"}, {51, "\""}, {52, "\""}, {55, "ESCAPE"}, {56, ""}};
  for (const Entry& e : functions) EXPECT_STREQ(list[e.pos], e.text) << e.pos;
  DB_dbms_free_list(list, count);

  EXPECT_EQ(DB_dbms_get_reserved_keyword_list(&count, nullptr), SE_INVALID_PARAM);
  EXPECT_EQ(DB_dbms_get_reserved_keyword_list(nullptr, &list), SE_INVALID_PARAM);
  ASSERT_EQ(DB_dbms_get_reserved_keyword_list(&count, &list), 0);
  ASSERT_EQ(count, 114);
  const Entry words[] = {{0, "ACCESS"}, {19, "CONECT"}, {65, "NUMERER"}, {73, "PLI"}, {74, "PCTREE"},
                         {113, "WITH"}};
  for (const Entry& e : words) EXPECT_STREQ(list[e.pos], e.text) << e.pos;
  DB_dbms_free_list(list, count);
}

TEST(DbmsInfo, DatabasesAndSpatialIndexOfAnOpenInstance) {
  Database db;
  ASSERT_EQ(db.error(), "");
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
  Instance in;
  ASSERT_EQ(in.status, 0);

  char current[SE_DB_NAME_LEN] = "";
  EXPECT_EQ(DB_database_get_current(in.in, current), 0);
  EXPECT_STREQ(current, in->current_database);
  EXPECT_NE(current[0], '\0');
  int32_t count = 0;
  char** list = nullptr;
  ASSERT_EQ(DB_database_list(in.in, &count, &list), 0);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(list[0], current);
  DB_dbms_free_list(list, count);

  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.ROADS (ID INTEGER, SHAPE DB2GSE.ST_Geometry)",
                              1, DB_MODE_DDL_COMMIT),
            0);
  LAYER layer;
  memset(&layer, 0, sizeof layer);
  layer.id = 5;
  strcpy(layer.owner, "BOB");
  strcpy(layer.table, "ROADS");
  strcpy(layer.spatial_column, "SHAPE");
  layer.grid_size[0] = 100;
  // made once, and made again over the old one
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(DB_sqltype_create_index(in.in, &layer), 0) << pass;
    dbtest::Watcher w;
    EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = 'A5_IX1' AND "
                       "TABNAME = 'ROADS' AND IESCHEMA = 'DB2GSE'"),
              1)
        << pass;
  }
  // a configuration keyword: its own B_INDEX_SHAPE clause is appended; a
  // keyword with only the DEFAULTS rows makes no index
  {
    dbtest::Watcher admin;
    ASSERT_EQ(admin.exec("CREATE TABLE ZUL.DBTUNE (keyword VARCHAR(32) NOT NULL, parameter_name "
                         "VARCHAR(32) NOT NULL, config_string VARCHAR(2048))"), SQL_SUCCESS);
    ASSERT_EQ(admin.exec("GRANT SELECT ON ZUL.DBTUNE TO PUBLIC"), SQL_SUCCESS);
    ASSERT_EQ(admin.exec("INSERT INTO ZUL.DBTUNE VALUES ('DEFAULTS', 'B_STORAGE', ''), "
                         "('ROADS_KW', 'B_INDEX_SHAPE', 'PCTFREE 10')"), SQL_SUCCESS);
  }
  strcpy(layer.config_keyword, "ROADS_KW");
  ASSERT_EQ(DB_sqltype_create_index(in.in, &layer), 0);
  strcpy(layer.config_keyword, "NO_ROWS_KW");
  layer.id = 7;
  EXPECT_EQ(DB_sqltype_create_index(in.in, &layer), SE_NO_KEYWORD_ROWS);
  {
    dbtest::Watcher w;
    EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = 'A7_IX1'"), 0);
  }
  layer.config_keyword[0] = '\0';

  // an index that cannot be made: the index name joins the message
  strcpy(layer.spatial_column, "NO_SUCH_COLUMN");
  layer.id = 6;
  EXPECT_NE(DB_sqltype_create_index(in.in, &layer), 0);
  EXPECT_NE(strstr(in->xerr.msg, "A6_IX1"), nullptr) << in->xerr.msg;
}

}  // namespace
