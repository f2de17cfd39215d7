// test_params.cpp -- parameters: column-wise parameter arrays that stand or
// fall whole, input conversions from each C type, and OUTPUT parameters of a
// CALL written back from the procedure host.
#include "dl_cli_call.h"
#include "dl_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

using namespace dltest;

namespace {

class Params : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("TESTDB"), "");
    k_.reset(new Conn("TESTDB"));
    ASSERT_EQ(k_->rc, SQL_SUCCESS) << diag(SQL_HANDLE_DBC, k_->dbc);
    ASSERT_EQ(exec(k_->dbc, "CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20))"),
              SQL_SUCCESS);
    ASSERT_EQ(exec(k_->dbc, "INSERT INTO P VALUES (-1, 'before')"), SQL_SUCCESS);
  }
  void TearDown() override { dl::dl_set_call_handler(nullptr); }
  DataDir dir_;
  std::unique_ptr<Conn> k_;
};

TEST_F(Params, ArrayOf250RowsIsAllOrNothing) {
  struct Case {
    const char* name;
    int bad_row;             // 0-based row made to fail, or -1
    const char* bad_id;      // its id text
    SQLRETURN rc;
    const char* state;
    long long rows_after;    // rows in P afterwards (one was there before)
  };
  const Case cases[] = {
      {"every row good", -1, nullptr, SQL_SUCCESS, "", 251},
      {"duplicate key in row 200", 199, "10", SQL_ERROR, "23505", 1},
      {"not a number in row 200", 199, "x10", SQL_ERROR, "22018", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SQLULEN n = 250;
    std::vector<char> ids(n * 12);
    std::vector<char> names(n * 21);
    std::vector<SQLLEN> name_ind(n);
    std::vector<SQLUSMALLINT> status(n, 99);
    for (SQLULEN r = 0; r < n; ++r) {
      snprintf(&ids[r * 12], 12, "%d", static_cast<int>(r + 1));
      snprintf(&names[r * 21], 21, "name %d", static_cast<int>(r + 1));
      name_ind[r] = SQL_NTS;
    }
    name_ind[5] = SQL_NULL_DATA;
    if (c.bad_row >= 0) snprintf(&ids[static_cast<size_t>(c.bad_row) * 12], 12, "%s", c.bad_id);
    SQLHSTMT h = k_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"INSERT INTO P (ID, NAME) VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
    SQLULEN processed = 0;
    SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)n, 0);
    SQLSetStmtAttr(h, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLSetStmtAttr(h, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0);
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 0, 0, ids.data(), 12, nullptr);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, names.data(), 21,
                     name_ind.data());
    EXPECT_EQ(SQLExecute(h), c.rc) << sdiag(h);
    EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), c.state);
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(processed, n);
      SQLLEN count = 0;
      SQLRowCount(h, &count);
      EXPECT_EQ(count, 250);
      EXPECT_EQ(status[249], SQL_PARAM_SUCCESS);
    } else {
      EXPECT_EQ(processed, 200u);
      EXPECT_EQ(status[199], SQL_PARAM_ERROR);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    // The unit of work goes on: the row inserted before the array stays.
    EXPECT_EQ(scalar(k_->dbc, "SELECT COUNT(*) FROM P"), c.rows_after);
    EXPECT_EQ(scalar(k_->dbc, "SELECT COUNT(*) FROM P WHERE ID = -1"), 1);
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(scalar(k_->dbc, "SELECT COUNT(*) FROM P WHERE NAME IS NULL"), 1);
      ASSERT_EQ(exec(k_->dbc, "DELETE FROM P WHERE ID > 0"), SQL_SUCCESS);
    }
  }
}

TEST_F(Params, InputValuesFromEachCType) {
  ASSERT_EQ(exec(k_->dbc, "CREATE TABLE V (I INTEGER, S SMALLINT, B BIGINT, D DOUBLE, "
                          "T VARCHAR(30), X BLOB(1K), TS TIMESTAMP)"),
            SQL_SUCCESS);
  SQLHSTMT h = k_->stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"INSERT INTO V VALUES (?, ?, ?, ?, ?, ?, ?)", SQL_NTS), SQL_SUCCESS)
      << sdiag(h);
  SQLINTEGER i = -70000;
  SQLSMALLINT s = 123;
  SQLBIGINT b = 1LL << 40;
  double d = 0.25;
  char t[] = "text\0not this";
  unsigned char x[4] = {0, 1, 0xfe, 0xff};
  SQLLEN xlen = 4;
  SQL_TIMESTAMP_STRUCT ts = {2023, 12, 31, 23, 59, 58, 500000000};
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &s, 0, nullptr);
  SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b, 0, nullptr);
  SQLBindParameter(h, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, nullptr);
  SQLBindParameter(h, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, t, sizeof t, nullptr);
  SQLBindParameter(h, 6, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, 1024, 0, x, 4, &xlen);
  SQLBindParameter(h, 7, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &ts, 0, nullptr);
  ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  struct Case {
    const char* sql;
    long long want;
  };
  const Case cases[] = {
      {"SELECT COUNT(*) FROM V WHERE I = -70000", 1},
      {"SELECT COUNT(*) FROM V WHERE S = 123", 1},
      {"SELECT COUNT(*) FROM V WHERE B = 1099511627776", 1},
      {"SELECT COUNT(*) FROM V WHERE D = 0.25", 1},
      {"SELECT COUNT(*) FROM V WHERE T = 'text'", 1},
      {"SELECT LENGTH(X) FROM V", 4},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(scalar(k_->dbc, c.sql, &why), c.want) << c.sql << " " << why;
  }
  h = k_->stmt();
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT TS FROM V", SQL_NTS), SQL_SUCCESS) << sdiag(h);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  SQL_TIMESTAMP_STRUCT back = {};
  SQLLEN ind;
  ASSERT_EQ(SQLGetData(h, 1, SQL_C_TYPE_TIMESTAMP, &back, sizeof back, &ind), SQL_SUCCESS) << sdiag(h);
  EXPECT_EQ(memcmp(&back, &ts, sizeof ts), 0);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  // A parameter left unbound is refused before anything runs.
  h = k_->stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"INSERT INTO V (I, S) VALUES (?, ?)", SQL_NTS), SQL_SUCCESS);
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
  EXPECT_EQ(SQLExecute(h), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "07002");
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// A procedure host for the test: ECHO(IN a INTEGER, OUT b INTEGER,
// INOUT c VARCHAR, OUT d VARCHAR) sets b = a * 2, c = c || '!', d = a long
// text; FAIL fails with the procedure's own SQLCODE.
int test_host(SQLHDBC, const dl::DlPlan& plan, std::vector<dl::DlCallArg>& args, dl::DlDiag* diag) {
  if (plan.call_name.find("FAIL") != std::string::npos) {
    diag->sqlstate = "42704";
    diag->native = -204;
    diag->text = "SQL0204N  \"ZUL.GONE\" is an undefined name.  SQLSTATE=42704";
    return -1;
  }
  if (args.size() != 4) return -1;
  args[1].type = SQLITE_INTEGER;
  args[1].i = args[0].i * 2;
  args[2].s += "!";
  args[3].type = SQLITE_TEXT;
  args[3].s = std::string(40, 'z');
  return 0;
}

TEST_F(Params, CallWritesOutputParametersBack) {
  dl::dl_set_call_handler(test_host);
  SQLHSTMT h = k_->stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"CALL ZUL.ECHO(?, ?, ?, ?)", SQL_NTS), SQL_SUCCESS) << sdiag(h);
  SQLINTEGER a = 21, b = 0;
  SQLLEN bind_b = 0, ind_c = SQL_NTS, ind_d = 0;
  char c[16] = "hello";
  char d[11] = "";
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 0, &bind_b);
  SQLBindParameter(h, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 15, 0, c, sizeof c, &ind_c);
  SQLBindParameter(h, 4, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 1024, 0, d, sizeof d, &ind_d);
  // The OUT text is longer than its buffer: truncated, with its full length.
  EXPECT_EQ(SQLExecute(h), SQL_SUCCESS_WITH_INFO) << sdiag(h);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "01004");
  EXPECT_EQ(b, 42);
  EXPECT_EQ(bind_b, 4);
  EXPECT_STREQ(c, "hello!");
  EXPECT_EQ(ind_c, 6);
  EXPECT_STREQ(d, "zzzzzzzzzz");
  EXPECT_EQ(ind_d, 40);
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  // A failing procedure fails the CALL with its state and leaves OUT alone.
  h = k_->stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"CALL ZUL.FAIL(?)", SQL_NTS), SQL_SUCCESS) << sdiag(h);
  b = 7;
  SQLBindParameter(h, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 0, &bind_b);
  EXPECT_EQ(SQLExecute(h), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "42704");
  EXPECT_EQ(native_of(SQL_HANDLE_STMT, h), -204);
  EXPECT_EQ(b, 7);
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  // Without a procedure host nothing can be called.
  dl::dl_set_call_handler(nullptr);
  std::string why;
  EXPECT_EQ(exec(k_->dbc, "CALL ZUL.ECHO(1)", &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 5), "42884") << why;
}

}  // namespace
