// test_txn.cpp -- units of work: SQL_NO_DATA for changes that touch no row,
// COMMIT and ROLLBACK as other connections see them, autocommit, the
// disconnect of open work, and the lock time-out that rolls a unit of work
// back (40001/-911).
#include "dl_test_support.h"

#include <gtest/gtest.h>

using namespace dltest;

namespace {

class Txn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("TESTDB"), "");
    Conn k("TESTDB");
    ASSERT_EQ(k.rc, SQL_SUCCESS);
    ASSERT_EQ(exec(k.dbc, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER)"), SQL_SUCCESS);
    ASSERT_EQ(exec(k.dbc, "INSERT INTO T VALUES (1, 10)"), SQL_SUCCESS);
    ASSERT_EQ(exec(k.dbc, "INSERT INTO T VALUES (2, 20)"), SQL_SUCCESS);
    ASSERT_EQ(exec(k.dbc, "CREATE TABLE E (ID INTEGER)"), SQL_SUCCESS);
    ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  }
  DataDir dir_;
};

TEST_F(Txn, ChangesThatTouchNoRowAnswerNoData) {
  Conn k("TESTDB");
  struct Case {
    const char* sql;
    SQLRETURN rc;
    SQLLEN rows;
  };
  const Case cases[] = {
      {"UPDATE T SET V = 0 WHERE ID = 99", SQL_NO_DATA, 0},
      {"DELETE FROM T WHERE ID = 99", SQL_NO_DATA, 0},
      {"DELETE FROM E", SQL_NO_DATA, 0},
      {"INSERT INTO E SELECT ID FROM T WHERE ID > 99", SQL_NO_DATA, 0},
      {"UPDATE T SET V = V + 1", SQL_SUCCESS, 2},
      {"DELETE FROM T WHERE ID = 2", SQL_SUCCESS, 1},
  };
  for (const Case& c : cases) {
    SQLHSTMT h = k.stmt();
    EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)c.sql, SQL_NTS), c.rc) << c.sql << ": " << sdiag(h);
    // "No data" is not an error: there is no diagnostic to read.
    EXPECT_EQ(sdiag(h), "") << c.sql;
    SQLLEN rows = -7;
    SQLRowCount(h, &rows);
    EXPECT_EQ(rows, c.rows) << c.sql;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // The same through a prepared statement executed twice.
  SQLHSTMT h = k.stmt();
  ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"UPDATE T SET V = ? WHERE ID = ?", SQL_NTS), SQL_SUCCESS);
  SQLINTEGER v = 5, id = 1;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  EXPECT_EQ(SQLExecute(h), SQL_SUCCESS);
  id = 42;
  EXPECT_EQ(SQLExecute(h), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Txn, OtherConnectionsSeeOnlyCommittedWork) {
  Conn a("TESTDB"), b("TESTDB", "ALICE", "alicepw");
  ASSERT_EQ(b.rc, SQL_SUCCESS);
  ASSERT_EQ(exec(b.dbc, "GRANT SELECT ON ZUL.T TO PUBLIC") == SQL_ERROR, true);  // not hers to grant
  ASSERT_EQ(exec(a.dbc, "GRANT SELECT ON T TO PUBLIC"), SQL_SUCCESS);
  ASSERT_EQ(commit(a.dbc), SQL_SUCCESS);
  ASSERT_EQ(exec(a.dbc, "INSERT INTO T VALUES (3, 30)"), SQL_SUCCESS);
  EXPECT_EQ(scalar(a.dbc, "SELECT COUNT(*) FROM T"), 3);  // its own change
  EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM ZUL.T"), 2);
  ASSERT_EQ(rollback(a.dbc), SQL_SUCCESS);
  EXPECT_EQ(scalar(a.dbc, "SELECT COUNT(*) FROM T"), 2);
  ASSERT_EQ(exec(a.dbc, "INSERT INTO T VALUES (4, 40)"), SQL_SUCCESS);
  ASSERT_EQ(commit(a.dbc), SQL_SUCCESS);
  EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM ZUL.T"), 3);
  // COMMIT and ROLLBACK given as statements end the unit of work as well.
  ASSERT_EQ(exec(a.dbc, "DELETE FROM T WHERE ID = 4"), SQL_SUCCESS);
  ASSERT_EQ(exec(a.dbc, "ROLLBACK"), SQL_SUCCESS);
  ASSERT_EQ(exec(a.dbc, "UPDATE T SET V = 0"), SQL_SUCCESS);
  ASSERT_EQ(exec(a.dbc, "COMMIT WORK"), SQL_SUCCESS);
  EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM ZUL.T WHERE V = 0"), 3);
}

TEST_F(Txn, AutocommitAndDisconnect) {
  {
    Conn a("TESTDB", "ZUL", "zulpw", /*autocommit=*/true);
    ASSERT_EQ(exec(a.dbc, "INSERT INTO T VALUES (5, 50)"), SQL_SUCCESS);
    Conn b("TESTDB");
    EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM T WHERE ID = 5"), 1);
  }
  {
    // Work left open at disconnect is rolled back, never made durable.
    Conn a("TESTDB");
    ASSERT_EQ(exec(a.dbc, "INSERT INTO T VALUES (6, 60)"), SQL_SUCCESS);
  }
  Conn b("TESTDB");
  EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM T WHERE ID = 6"), 0);
}

TEST_F(Txn, LockTimeOutRollsTheUnitOfWorkBack) {
  Conn holder("TESTDB"), waiter("TESTDB");
  ASSERT_EQ(SQLSetConnectAttr(waiter.dbc, SQL_ATTR_DB2LITE_BUSY_TIMEOUT, (SQLPOINTER)200, 0), SQL_SUCCESS);
  // The waiter has a cursor open; the holder takes the write lock.
  SQLHSTMT cur = waiter.stmt();
  ASSERT_EQ(SQLExecDirect(cur, (SQLCHAR*)"SELECT ID FROM T ORDER BY ID", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(cur), SQL_SUCCESS);
  ASSERT_EQ(exec(holder.dbc, "UPDATE T SET V = 11 WHERE ID = 1"), SQL_SUCCESS);
  // Reading does not wait.
  EXPECT_EQ(scalar(waiter.dbc, "SELECT V FROM T WHERE ID = 1"), 10);
  std::string why;
  EXPECT_EQ(exec(waiter.dbc, "INSERT INTO T VALUES (7, 70)", &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 11), "40001 -911 ") << why;
  // The rollback closed the waiter's cursor.
  EXPECT_EQ(SQLFetch(cur), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, cur), "24000");
  // LOCK TABLE waits the same way.
  EXPECT_EQ(exec(waiter.dbc, "LOCK TABLE T IN EXCLUSIVE MODE", &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 5), "40001") << why;
  ASSERT_EQ(commit(holder.dbc), SQL_SUCCESS);
  EXPECT_EQ(exec(waiter.dbc, "INSERT INTO T VALUES (7, 70)", &why), SQL_SUCCESS) << why;
  EXPECT_EQ(commit(waiter.dbc), SQL_SUCCESS);
  EXPECT_EQ(scalar(holder.dbc, "SELECT COUNT(*) FROM T"), 3);
}

}  // namespace
