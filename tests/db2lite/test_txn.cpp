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

namespace {

// Identity values are never given twice: not after a ROLLBACK, not after a
// statement that failed half-way, not to a table dropped and created again
// under the same name; an explicit value leaves the counter where it was.
// Regression: the counters used to roll back with the unit of work.
class Identity : public Txn {};

TEST_F(Identity, ValuesAreNeverGivenTwice) {
  const char* kCreate =
      "CREATE TABLE G (ID INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY (START WITH 0, "
      "INCREMENT BY 1, CACHE 25), V INTEGER NOT NULL, CONSTRAINT G_UK UNIQUE (ID))";
  Conn k("TESTDB");
  Conn other("TESTDB");
  ASSERT_EQ(exec(k.dbc, kCreate), SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  struct Step {
    bool on_other;          // run on the second connection
    const char* sql;
    SQLRETURN rc;
    const char* end;        // "commit", "rollback" or "" (stay in the unit of work)
    long long last;         // IDENTITY_VAL_LOCAL() of that connection afterwards, -1 to skip
  };
  const Step steps[] = {
      {false, "INSERT INTO G (V) VALUES (1)", SQL_SUCCESS, "commit", 0},
      {false, "INSERT INTO G (V) VALUES (2)", SQL_SUCCESS, "rollback", -1},      // 1 is gone
      {false, "INSERT INTO G (V) VALUES (3)", SQL_SUCCESS, "commit", 2},
      {false, "INSERT INTO G (ID, V) VALUES (100, 4)", SQL_SUCCESS, "commit", -1},  // explicit
      {false, "INSERT INTO G (V) VALUES (5), (NULL)", SQL_ERROR, "", -1},          // takes 3, fails
      {false, "INSERT INTO G (V) VALUES (6)", SQL_SUCCESS, "", 4},
      {true, "INSERT INTO G (V) VALUES (7)", SQL_ERROR, "rollback", -1},           // waits for k's lock
      {false, "INSERT INTO G (V) VALUES (8)", SQL_SUCCESS, "commit", 5},
      {true, "INSERT INTO G (V) VALUES (9)", SQL_SUCCESS, "commit", 6},
      {false, "INSERT INTO G VALUES (DEFAULT, 10)", SQL_SUCCESS, "commit", 7},
  };
  SQLSetConnectAttr(other.dbc, SQL_ATTR_DB2LITE_BUSY_TIMEOUT, (SQLPOINTER)100, 0);
  for (const Step& s : steps) {
    SQLHDBC dbc = s.on_other ? other.dbc : k.dbc;
    std::string why;
    EXPECT_EQ(exec(dbc, s.sql, &why), s.rc) << s.sql << ": " << why;
    if (s.last >= 0) {
      EXPECT_EQ(scalar(dbc, "VALUES IDENTITY_VAL_LOCAL()", &why), s.last) << s.sql << why;
    }
    if (std::string(s.end) == "commit") {
      EXPECT_EQ(commit(dbc), SQL_SUCCESS) << s.sql;
    } else if (std::string(s.end) == "rollback") {
      EXPECT_EQ(rollback(dbc), SQL_SUCCESS) << s.sql;
    }
  }
  EXPECT_EQ(scalar(k.dbc, "SELECT COUNT(*) FROM G"), 7);
  EXPECT_EQ(scalar(k.dbc, "SELECT SUM(ID) FROM G"), 0 + 2 + 100 + 4 + 5 + 6 + 7);
  // A table of the same name starts again at its START.
  ASSERT_EQ(exec(k.dbc, "DROP TABLE G"), SQL_SUCCESS);
  ASSERT_EQ(exec(k.dbc, kCreate), SQL_SUCCESS);
  ASSERT_EQ(exec(k.dbc, "INSERT INTO G (V) VALUES (1)"), SQL_SUCCESS);
  EXPECT_EQ(scalar(k.dbc, "SELECT ID FROM G"), 0);
  EXPECT_EQ(commit(k.dbc), SQL_SUCCESS);
}

}  // namespace
