// test_cursor.cpp -- cursors across the end of a unit of work: held over
// COMMIT (whichever connection they run on), closed by ROLLBACK, never
// pinning the connection's next write; cursor names and positioned UPDATE
// and DELETE.
#include "dl_test_support.h"

#include <gtest/gtest.h>

using namespace dltest;

namespace {

class Cursor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("TESTDB"), "");
    k_.reset(new Conn("TESTDB"));
    ASSERT_EQ(k_->rc, SQL_SUCCESS);
    ASSERT_EQ(exec(dbc(), "CREATE TABLE T (ID INTEGER NOT NULL, V INTEGER)"), SQL_SUCCESS);
    for (int i = 1; i <= 10; ++i)
      ASSERT_EQ(exec(dbc(), "INSERT INTO T VALUES (" + std::to_string(i) + ", 0)"), SQL_SUCCESS);
    ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  }
  SQLHDBC dbc() { return k_->dbc; }
  DataDir dir_;
  std::unique_ptr<Conn> k_;
};

// Opens SELECT ID FROM T ORDER BY ID, bound to *id.
SQLHSTMT open_ids(Conn* k, SQLINTEGER* id) {
  SQLHSTMT h = k->stmt();
  EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM T ORDER BY ID", SQL_NTS), SQL_SUCCESS) << sdiag(h);
  SQLBindCol(h, 1, SQL_C_SLONG, id, 0, nullptr);
  return h;
}

TEST_F(Cursor, SurvivesCommitAndIsClosedByRollback) {
  // Case 1: a cursor opened with no changes pending runs on a read
  // connection of its own. Case 2: a cursor opened after a change of the
  // same unit of work runs on the writing connection and has its remaining
  // rows kept aside at COMMIT.
  for (bool after_change : {false, true}) {
    SCOPED_TRACE(after_change ? "after a change" : "no change pending");
    if (after_change) {
      ASSERT_EQ(exec(dbc(), "UPDATE T SET V = 1 WHERE ID = 10"), SQL_SUCCESS);
    }
    SQLINTEGER id = 0;
    SQLHSTMT h = open_ids(k_.get(), &id);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
    ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
    // The connection writes after its own COMMIT, cursor still open.
    EXPECT_EQ(exec(dbc(), "UPDATE T SET V = V + 1 WHERE ID = 1"), SQL_SUCCESS);
    ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
    for (int want = 2; want <= 5; ++want) {
      ASSERT_EQ(SQLFetch(h), SQL_SUCCESS) << sdiag(h);
      EXPECT_EQ(id, want);
    }
    ASSERT_EQ(rollback(dbc()), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(h), SQL_ERROR);
    EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "24000");
    // A closed cursor can be opened again.
    EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM T ORDER BY ID", SQL_NTS), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_F(Cursor, KeptRowsRunToTheEndAfterCommit) {
  ASSERT_EQ(exec(dbc(), "UPDATE T SET V = 9 WHERE ID = 3"), SQL_SUCCESS);
  SQLINTEGER id = 0;
  SQLHSTMT h = open_ids(k_.get(), &id);
  SQLINTEGER ids[4];
  SQLULEN got = 0;
  SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)4, 0);
  SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
  SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, nullptr);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  // Another connection changes the table; the held cursor keeps its rows.
  Conn other("TESTDB");
  ASSERT_EQ(exec(other.dbc, "DELETE FROM T WHERE ID > 4"), SQL_SUCCESS);
  ASSERT_EQ(commit(other.dbc), SQL_SUCCESS);
  int total = 4;
  SQLRETURN rc;
  while ((rc = SQLFetch(h)) == SQL_SUCCESS) total += static_cast<int>(got);
  EXPECT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(total, 10);
  // And this connection's next write starts on the newest data.
  EXPECT_EQ(exec(dbc(), "UPDATE T SET V = 2 WHERE ID = 4"), SQL_SUCCESS);
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T"), 4);
  ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Cursor, StateErrors) {
  SQLINTEGER id;
  SQLHSTMT h = open_ids(k_.get(), &id);
  // An open cursor must be closed before its statement runs again.
  EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM T", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "24000");
  EXPECT_EQ(SQLCloseCursor(h), SQL_SUCCESS);
  EXPECT_EQ(SQLCloseCursor(h), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "24000");
  EXPECT_EQ(SQLFetch(h), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "24000");
  // Executing what was never prepared is out of sequence.
  SQLHSTMT fresh = k_->stmt();
  EXPECT_EQ(SQLExecute(fresh), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, fresh), "HY010");
  // Without cursor hold a cursor ends at COMMIT.
  SQLSetStmtAttr(fresh, SQL_ATTR_CURSOR_HOLD, (SQLPOINTER)SQL_CURSOR_HOLD_OFF, 0);
  ASSERT_EQ(SQLExecDirect(fresh, (SQLCHAR*)"SELECT ID FROM T", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(fresh), SQL_ERROR);
  SQLFreeHandle(SQL_HANDLE_STMT, fresh);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Cursor, PositionedUpdateAndDeleteThroughTheCursorName) {
  SQLHSTMT sel = k_->stmt();
  ASSERT_EQ(SQLExecDirect(sel, (SQLCHAR*)"SELECT ID FROM T FOR UPDATE", SQL_NTS), SQL_SUCCESS) << sdiag(sel);
  SQLSMALLINT ncols = 0;
  SQLNumResultCols(sel, &ncols);
  EXPECT_EQ(ncols, 1);  // the row's own id stays hidden
  char name[21];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetCursorName(sel, (SQLCHAR*)name, sizeof name, &len), SQL_SUCCESS);
  SQLHSTMT upd = k_->stmt();
  std::string text = std::string("UPDATE T SET V = ? WHERE CURRENT OF ") + name;
  ASSERT_EQ(SQLPrepare(upd, (SQLCHAR*)text.c_str(), SQL_NTS), SQL_SUCCESS) << sdiag(upd);
  SQLINTEGER v = 100, id = 0;
  SQLBindParameter(upd, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  SQLBindCol(sel, 1, SQL_C_SLONG, &id, 0, nullptr);
  // Before the first fetch the cursor is on no row.
  EXPECT_EQ(SQLExecute(upd), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, upd), "24504");
  while (SQLFetch(sel) == SQL_SUCCESS) {
    v = 100 + id;
    ASSERT_EQ(SQLExecute(upd), SQL_SUCCESS) << sdiag(upd);
  }
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T WHERE V = 100 + ID"), 10);
  // A named cursor and a positioned DELETE.
  SQLFreeStmt(sel, SQL_CLOSE);
  ASSERT_EQ(SQLSetCursorName(sel, (SQLCHAR*)"DOOMED", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(sel, (SQLCHAR*)"SELECT ID FROM T WHERE ID > 8 FOR UPDATE", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(sel), SQL_SUCCESS);
  EXPECT_EQ(exec(dbc(), "DELETE FROM T WHERE CURRENT OF DOOMED"), SQL_SUCCESS);
  EXPECT_EQ(scalar(dbc(), "SELECT COUNT(*) FROM T"), 9);
  std::string why;
  EXPECT_EQ(exec(dbc(), "DELETE FROM T WHERE CURRENT OF NOSUCH", &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 5), "34000") << why;
  SQLFreeHandle(SQL_HANDLE_STMT, upd);
  SQLFreeHandle(SQL_HANDLE_STMT, sel);
}

}  // namespace
