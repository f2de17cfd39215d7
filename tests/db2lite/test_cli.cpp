// test_cli.cpp -- db2lite's CLI surface: handles, connecting, diagnostics,
// describing results, and the information and catalogue calls.
#include "dl_fault.h"
#include "dl_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

using namespace dltest;

namespace {

class Cli : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(create_database("TESTDB"), ""); }
  void TearDown() override { dl::dl_fault_clear(); }
  DataDir dir_;
};

TEST_F(Cli, ConnectAnswersAsDb2ForEachLogin) {
  struct Case {
    const char* name;
    const char* db;
    const char* user;
    const char* pw;
    SQLRETURN rc;
    const char* state;
    int32_t native;
  };
  const Case cases[] = {
      {"administrator", "TESTDB", "ZUL", "zulpw", SQL_SUCCESS, "", 0},
      {"lower-case names fold", "testdb", "alice", "alicepw", SQL_SUCCESS, "", 0},
      {"implicit local connect", "TESTDB", "", "", SQL_SUCCESS, "", 0},
      {"password without a user", "TESTDB", "", "zulpw", SQL_ERROR, "08004", -30082},
      {"wrong password", "TESTDB", "ZUL", "nope", SQL_ERROR, "08004", -30082},
      {"unknown user", "TESTDB", "BOB", "x", SQL_ERROR, "08004", -30082},
      {"unknown database", "NODB", "ZUL", "zulpw", SQL_ERROR, "08001", -1013},
      {"name too long for DB2", "TESTDBTOOLONG", "ZUL", "zulpw", SQL_ERROR, "08001", -1013},
      {"path in the name", "../TESTDB", "ZUL", "zulpw", SQL_ERROR, "08001", -1013},
  };
  for (const Case& c : cases) {
    Conn k(c.db, c.user, c.pw);
    EXPECT_EQ(k.rc, c.rc) << c.name << ": " << diag(SQL_HANDLE_DBC, k.dbc);
    EXPECT_EQ(state_of(SQL_HANDLE_DBC, k.dbc), c.state) << c.name;
    if (c.rc != SQL_SUCCESS) {
      EXPECT_EQ(native_of(SQL_HANDLE_DBC, k.dbc), c.native) << c.name;
    }
  }
}

TEST_F(Cli, NullAndFreedHandlesAreInvalid) {
  EXPECT_EQ(SQLExecDirect(SQL_NULL_HSTMT, (SQLCHAR*)"VALUES 1", SQL_NTS), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFetch(SQL_NULL_HSTMT), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, SQL_NULL_HDBC, SQL_COMMIT), SQL_INVALID_HANDLE);
  Conn k("TESTDB");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  // A connection handle is not a statement handle.
  EXPECT_EQ(SQLFetch(k.dbc), SQL_INVALID_HANDLE);
  // A connected connection cannot be freed, nor an environment with connections.
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, k.dbc), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_DBC, k.dbc), "HY010");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, k.env), SQL_ERROR);
}

TEST_F(Cli, PrepareReportsMissingObjectsAndSyntax) {
  Conn k("TESTDB");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  ASSERT_EQ(exec(k.dbc, "CREATE TABLE T (A INTEGER NOT NULL, B VARCHAR(10))"), SQL_SUCCESS);
  struct Case {
    const char* name;
    const char* sql;
    const char* state;
  };
  const Case cases[] = {
      {"missing table", "SELECT A FROM NOSUCH", "42S02"},
      {"missing table, three-part name", "SELECT A FROM TESTDB.ZUL.NOSUCH", "42S02"},
      {"missing column", "SELECT C FROM T", "42S22"},
      {"syntax", "SELEC A FROM T", "42601"},
      {"a second statement", "SELECT A FROM T; DELETE FROM T", "42601"},
  };
  for (const Case& c : cases) {
    SQLHSTMT h = k.stmt();
    EXPECT_EQ(SQLPrepare(h, (SQLCHAR*)c.sql, SQL_NTS), SQL_ERROR) << c.name;
    EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), c.state) << c.name << ": " << sdiag(h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // The message names the object in DB2's words.
  SQLHSTMT h = k.stmt();
  SQLPrepare(h, (SQLCHAR*)"SELECT A FROM NOSUCH", SQL_NTS);
  std::string d = sdiag(h);
  EXPECT_NE(d.find("SQL0204N"), std::string::npos) << d;
  EXPECT_NE(d.find("NOSUCH"), std::string::npos) << d;
  EXPECT_EQ(native_of(SQL_HANDLE_STMT, h), -204);
}

TEST_F(Cli, DescribeGivesDb2TypesNamesAndNullability) {
  Conn k("TESTDB");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  ASSERT_EQ(exec(k.dbc, "CREATE TABLE T (I INTEGER NOT NULL, S SMALLINT, V VARCHAR(32), C CHAR(10),"
                        " D DECIMAL(7,2), F DOUBLE, TS TIMESTAMP, B BLOB(1M))"),
            SQL_SUCCESS);
  // An expression has no declared type: it is typed by its first value.
  ASSERT_EQ(exec(k.dbc, "INSERT INTO T (I) VALUES (1)"), SQL_SUCCESS);
  SQLHSTMT h = k.stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"SELECT i, s, v, c, d, f, ts, b, COUNT(*) FROM t GROUP BY i, s, v, c, d, f, ts, b", SQL_NTS),
            SQL_SUCCESS)
      << sdiag(h);
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQLNumResultCols(h, &n), SQL_SUCCESS);
  ASSERT_EQ(n, 9);
  struct Expect {
    const char* name;
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
    SQLSMALLINT nullable;
  };
  const Expect ex[] = {
      {"I", SQL_INTEGER, 10, 0, SQL_NO_NULLS},  {"S", SQL_SMALLINT, 5, 0, SQL_NULLABLE},
      {"V", SQL_VARCHAR, 32, 0, SQL_NULLABLE},  {"C", SQL_CHAR, 10, 0, SQL_NULLABLE},
      {"D", SQL_DECIMAL, 7, 2, SQL_NULLABLE},   {"F", SQL_DOUBLE, 15, 0, SQL_NULLABLE},
      {"TS", SQL_TYPE_TIMESTAMP, 26, 6, SQL_NULLABLE}, {"B", SQL_BLOB, 1048576, 0, SQL_NULLABLE},
      {"9", SQL_INTEGER, 10, 0, SQL_NULLABLE_UNKNOWN},
  };
  for (int i = 0; i < 9; ++i) {
    SQLCHAR name[32];
    SQLSMALLINT nl, type, digits, nullable;
    SQLULEN size;
    ASSERT_EQ(SQLDescribeCol(h, i + 1, name, sizeof name, &nl, &type, &size, &digits, &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ((char*)name, ex[i].name) << "column " << i + 1;
    EXPECT_EQ(type, ex[i].type) << ex[i].name;
    if (i < 8) {
      EXPECT_EQ(size, ex[i].size) << ex[i].name;
    }
    EXPECT_EQ(digits, ex[i].digits) << ex[i].name;
    EXPECT_EQ(nullable, ex[i].nullable) << ex[i].name;
  }
  SQLCHAR tn[64];
  SQLSMALLINT tl;
  SQLLEN num = 0;
  EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_TYPE_NAME, tn, sizeof tn, &tl, nullptr), SQL_SUCCESS);
  EXPECT_STREQ((char*)tn, "INTEGER");
  EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &num), SQL_SUCCESS);
  EXPECT_EQ(num, SQL_NO_NULLS);
  EXPECT_EQ(SQLColAttribute(h, 1, SQL_DESC_STRUCTURED_TYPE, tn, sizeof tn, &tl, nullptr), SQL_SUCCESS);
  EXPECT_STREQ((char*)tn, "");
  SQLCHAR name[32];
  EXPECT_EQ(SQLDescribeCol(h, 10, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "07009");
  // Expressions the engine can type keep their DB2 type over an empty
  // result, where there is no value to look at.
  const struct {
    const char* sql;
    SQLSMALLINT type;
  } empty[] = {
      {"SELECT COUNT(*) FROM T WHERE 1 = 0", SQL_INTEGER},
      {"SELECT LENGTH(v) FROM T WHERE 1 = 0", SQL_INTEGER},
      {"SELECT UPPER(v) FROM T WHERE 1 = 0", SQL_VARCHAR},
      {"SELECT CURRENT TIMESTAMP FROM T WHERE 1 = 0", SQL_TYPE_TIMESTAMP},
      {"SELECT STDDEV(f) FROM T WHERE 1 = 0", SQL_DOUBLE},
  };
  for (const auto& e : empty) {
    SQLHSTMT q = k.stmt();
    ASSERT_EQ(SQLExecDirect(q, (SQLCHAR*)e.sql, SQL_NTS), SQL_SUCCESS) << e.sql << ": " << sdiag(q);
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQLDescribeCol(q, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, e.type) << e.sql;
    SQLFreeHandle(SQL_HANDLE_STMT, q);
  }
  // A statement that is not a query has no columns to describe.
  SQLHSTMT u = k.stmt();
  ASSERT_EQ(SQLPrepare(u, (SQLCHAR*)"DELETE FROM T", SQL_NTS), SQL_SUCCESS) << sdiag(u);
  EXPECT_EQ(SQLNumResultCols(u, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(SQLDescribeCol(u, 1, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, u), "07005");
}

TEST_F(Cli, DriverCheckItemsAnswerAsTheConnectExpects) {
  Conn k("testdb");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  SQLUSMALLINT u16 = 0;
  SQLUINTEGER u32 = 0;
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_ODBC_API_CONFORMANCE, &u16, sizeof u16, nullptr), SQL_SUCCESS);
  EXPECT_EQ(u16, 1);
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_ODBC_SQL_CONFORMANCE, &u16, sizeof u16, nullptr), SQL_SUCCESS);
  EXPECT_EQ(u16, 1);
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_TXN_CAPABLE, &u16, sizeof u16, nullptr), SQL_SUCCESS);
  EXPECT_EQ(u16, SQL_TC_ALL);
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_POSITIONED_STATEMENTS, &u32, sizeof u32, nullptr), SQL_SUCCESS);
  EXPECT_EQ(u32, 7u);
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_CURSOR_COMMIT_BEHAVIOR, &u16, sizeof u16, nullptr), SQL_SUCCESS);
  EXPECT_EQ(u16, SQL_CB_PRESERVE);
  char name[32];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_DATABASE_NAME, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(name, "TESTDB");
  char tiny[4];
  EXPECT_EQ(SQLGetInfo(k.dbc, SQL_DATABASE_NAME, tiny, sizeof tiny, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 6);
  EXPECT_STREQ(tiny, "TES");
  EXPECT_EQ(SQLGetInfo(k.dbc, 9999, &u16, sizeof u16, nullptr), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_DBC, k.dbc), "HY096");
  SQLUSMALLINT sup = 0;
  EXPECT_EQ(SQLGetFunctions(k.dbc, SQL_API_SQLDATASOURCES, &sup), SQL_SUCCESS);
  EXPECT_EQ(sup, SQL_TRUE);
  EXPECT_EQ(SQLGetFunctions(k.dbc, SQL_API_SQLBROWSECONNECT, &sup), SQL_SUCCESS);
  EXPECT_EQ(sup, SQL_FALSE);
  EXPECT_EQ(SQLGetFunctions(k.dbc, SQL_API_SQLGETSQLCA, &sup), SQL_SUCCESS);
  EXPECT_EQ(sup, SQL_TRUE);
  SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
  EXPECT_EQ(SQLGetFunctions(k.dbc, SQL_API_ODBC3_ALL_FUNCTIONS, all), SQL_SUCCESS);
  EXPECT_TRUE(SQL_FUNC_EXISTS(all, SQL_API_SQLGETSQLCA));
  EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLBROWSECONNECT));
  // The function it claims is there and lists the database.
  char dsn[32];
  EXPECT_EQ(SQLDataSources(k.env, SQL_FETCH_FIRST, (SQLCHAR*)dsn, sizeof dsn, &len, nullptr, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_STREQ(dsn, "TESTDB");
  EXPECT_EQ(SQLDataSources(k.env, SQL_FETCH_NEXT, (SQLCHAR*)dsn, sizeof dsn, &len, nullptr, 0, nullptr),
            SQL_NO_DATA);
}

TEST_F(Cli, TypeInfoGivesDb2NamesAndLiteralQuotes) {
  Conn k("TESTDB");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  struct Case {
    SQLSMALLINT type;
    const char* name;
  };
  const Case cases[] = {
      {SQL_CHAR, "CHAR"},     {SQL_NUMERIC, "NUMERIC"}, {SQL_DECIMAL, "DECIMAL"},
      {SQL_INTEGER, "INTEGER"}, {SQL_SMALLINT, "SMALLINT"}, {SQL_FLOAT, "FLOAT"},
      {SQL_REAL, "REAL"},     {SQL_DOUBLE, "DOUBLE"},   {SQL_VARCHAR, "VARCHAR"},
      {SQL_LONGVARCHAR, "LONG VARCHAR"}, {SQL_VARBINARY, "VARCHAR () FOR BIT DATA"},
      {SQL_BLOB, "BLOB"},     {SQL_TIMESTAMP, "TIMESTAMP"},
  };
  for (const Case& c : cases) {
    SQLHSTMT h = k.stmt();
    ASSERT_EQ(SQLGetTypeInfo(h, c.type), SQL_SUCCESS);
    char name[128] = "";
    SQLLEN ind;
    SQLBindCol(h, 1, SQL_C_CHAR, name, sizeof name, &ind);
    EXPECT_EQ(SQLFetch(h), SQL_SUCCESS) << c.name;
    EXPECT_STREQ(name, c.name);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  SQLHSTMT h = k.stmt();
  ASSERT_EQ(SQLGetTypeInfo(h, SQL_VARCHAR), SQL_SUCCESS);
  char prefix[3] = "", suffix[3] = "";
  SQLLEN i1, i2;
  SQLBindCol(h, 4, SQL_C_CHAR, prefix, 3, &i1);
  SQLBindCol(h, 5, SQL_C_CHAR, suffix, 3, &i2);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  EXPECT_STREQ(prefix, "'");
  EXPECT_STREQ(suffix, "'");
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  // A type the database does not offer answers no row.
  dl::dl_fault_hide_type(SQL_SMALLINT);
  h = k.stmt();
  ASSERT_EQ(SQLGetTypeInfo(h, SQL_SMALLINT), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(h), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Cli, ColumnsListsNullabilityByPattern) {
  Conn k("TESTDB");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  ASSERT_EQ(exec(k.dbc, "CREATE TABLE LAYERS (LAYER_ID INTEGER NOT NULL, OWNER VARCHAR(32), LAYER_MASK INTEGER)"),
            SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  struct Case {
    const char* schema;
    const char* column;
    int rows;
    SQLSMALLINT first_nullable;
  };
  const Case cases[] = {
      {"ZUL", "LAYER_ID", 1, SQL_NO_NULLS},
      {"ZUL", "OWNER", 1, SQL_NULLABLE},
      {nullptr, "LAYER%", 2, SQL_NO_NULLS},
      {"ZUL", nullptr, 3, SQL_NO_NULLS},
      {"Z_L", "OWNE_", 1, SQL_NULLABLE},
      {"ZUL", "%\\_MASK", 1, SQL_NULLABLE},
      {"ZUL", "LAYER\\_I%", 1, SQL_NO_NULLS},
      // Many wildcards cost no more than a few passes over the names.
      {"%", "%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%_%x", 0, 0},
      {"OTHER", nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    SQLHSTMT h = k.stmt();
    ASSERT_EQ(SQLColumns(h, nullptr, 0, (SQLCHAR*)c.schema, c.schema ? SQL_NTS : 0,
                         (SQLCHAR*)"LAYERS", SQL_NTS, (SQLCHAR*)c.column, c.column ? SQL_NTS : 0),
              SQL_SUCCESS)
        << sdiag(h);
    SQLSMALLINT nullable = -1;
    SQLLEN ind;
    SQLBindCol(h, 11, SQL_C_SSHORT, &nullable, 0, &ind);
    int rows = 0;
    SQLSMALLINT first = -1;
    while (SQLFetch(h) == SQL_SUCCESS) {
      if (rows == 0) first = nullable;
      ++rows;
    }
    EXPECT_EQ(rows, c.rows) << (c.column ? c.column : "all");
    if (c.rows) {
      EXPECT_EQ(first, c.first_nullable) << (c.column ? c.column : "all");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

}  // namespace
