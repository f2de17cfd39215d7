// test_fault.cpp -- the test seams: a chosen statement or the next COMMIT
// fails with a chosen SQLSTATE, leaving nothing half-done, and the counters
// of statements, rows and full-scan steps.
#include "dl_fault.h"
#include "dl_test_support.h"

#include <gtest/gtest.h>

using namespace dltest;

namespace {

class Fault : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("TESTDB"), "");
    k_.reset(new Conn("TESTDB"));
    ASSERT_EQ(k_->rc, SQL_SUCCESS);
    ASSERT_EQ(exec(dbc(), "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER)"), SQL_SUCCESS);
    for (int i = 1; i <= 50; ++i)
      ASSERT_EQ(exec(dbc(), "INSERT INTO T VALUES (" + std::to_string(i) + ", " + std::to_string(i % 7) + ")"),
                SQL_SUCCESS);
    ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  }
  void TearDown() override { dl::dl_fault_clear(); }
  SQLHDBC dbc() { return k_->dbc; }
  DataDir dir_;
  std::unique_ptr<Conn> k_;
};

TEST_F(Fault, ChosenStatementFailsAndDoesNothing) {
  struct Case {
    const char* name;
    long n;
    const char* pattern;
    int rc;
    const char* state;
    int32_t native;
    int failing;  // which of the three statements below fails (1-based), 0 none
  };
  // The statements: INSERT 101, UPDATE T, INSERT 102.
  const Case cases[] = {
      {"second statement", 2, nullptr, SQL_ERROR, "57033", -913, 2},
      {"first matching a pattern", 1, "INSERT", SQL_ERROR, "38613", -438, 1},
      {"second matching a pattern", 2, "INSERT", SQL_ERROR, "42502", -552, 3},
      {"a warning the caller must treat as failure", 1, "UPDATE", SQL_SUCCESS_WITH_INFO, "01504", 513, 2},
      {"beyond the statements run", 9, nullptr, SQL_ERROR, "58004", -901, 0},
  };
  const char* sql[] = {"INSERT INTO T VALUES (101, 0)", "UPDATE T SET V = 99 WHERE ID = 1",
                       "INSERT INTO T VALUES (102, 0)"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dl::dl_fault_fail_statement(c.n, c.state, c.native, c.pattern, c.rc);
    for (int i = 0; i < 3; ++i) {
      std::string why;
      SQLRETURN rc = exec(dbc(), sql[i], &why);
      if (i + 1 == c.failing) {
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(why.substr(0, 5), c.state) << why;
        EXPECT_EQ(why.substr(6, std::to_string(c.native).size()), std::to_string(c.native)) << why;
      } else {
        EXPECT_EQ(rc, SQL_SUCCESS) << sql[i] << ": " << why;
      }
    }
    // The failed statement changed nothing.
    EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T WHERE ID = 101"), c.failing == 1 ? 0 : 1);
    EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T WHERE V = 99"), c.failing == 2 ? 0 : 1);
    EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T WHERE ID = 102"), c.failing == 3 ? 0 : 1);
    ASSERT_EQ(rollback(dbc()), SQL_SUCCESS);
    dl::dl_fault_clear();
  }
}

TEST_F(Fault, FailedCommitRollsTheUnitOfWorkBack) {
  ASSERT_EQ(exec(dbc(), "DELETE FROM T WHERE ID > 10"), SQL_SUCCESS);
  SQLHSTMT h = k_->stmt();
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM T", SQL_NTS), SQL_SUCCESS);
  dl::dl_fault_fail_commit("40003", -30081);
  EXPECT_EQ(commit(dbc()), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_DBC, dbc()), "40003");
  EXPECT_EQ(native_of(SQL_HANDLE_DBC, dbc()), -30081);
  EXPECT_EQ(SQLFetch(h), SQL_ERROR);  // closed with the unit of work
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T"), 50);
  // The fault fires once.
  ASSERT_EQ(exec(dbc(), "DELETE FROM T WHERE ID > 10"), SQL_SUCCESS);
  EXPECT_EQ(commit(dbc()), SQL_SUCCESS);
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T"), 10);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Fault, CountersShowStatementsRowsAndScans) {
  dl::dl_counters_reset();
  EXPECT_EQ(scalar(dbc(), "SELECT V FROM T WHERE ID = 7"), 0);
  dl::DlCounters c = dl::dl_counters();
  EXPECT_EQ(c.statements, 1u);
  EXPECT_EQ(c.rows_examined, 1u);
  EXPECT_EQ(c.fullscan_steps, 0u);  // found through the primary key
  dl::dl_counters_reset();
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T WHERE V = 3"), 7);
  c = dl::dl_counters();
  EXPECT_EQ(c.statements, 1u);
  EXPECT_GE(c.fullscan_steps, 49u);  // every row of T read
  dl::dl_counters_reset();
  ASSERT_EQ(exec(dbc(), "UPDATE T SET V = 0 WHERE V = 3"), SQL_SUCCESS);
  ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  c = dl::dl_counters();
  EXPECT_EQ(c.statements, 1u);
  EXPECT_EQ(c.rows_examined, 7u);
  EXPECT_EQ(c.commits, 1u);
}

}  // namespace
