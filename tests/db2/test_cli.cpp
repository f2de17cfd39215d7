// test_cli.cpp -- the CLI statement layer against a real db2lite database:
// the wrapper's life, every execution mode, block fetch in both forms,
// parameter arrays, the SQLSTATE maps of one-shot SQL, and how a DBMS error
// is printed and recorded.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "db_test_support.h"
#include "dl_fault.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
    ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.T (ID INTEGER NOT NULL, NAME VARCHAR(20))", 1,
                                DB_MODE_DDL_COMMIT), 0);
  }
  void TearDown() override { dl::dl_fault_clear(); }
  // Inserts rows 1..n with names "n<i>" and commits.
  void fill(int n) {
    for (int i = 1; i <= n; ++i)
      ASSERT_EQ(dbtest::exec(in.in, "INSERT INTO BOB.T VALUES (" + std::to_string(i) + ", 'n" +
                                        std::to_string(i) + "')"), SQL_SUCCESS);
    ASSERT_EQ(db_commit_ddlsql(in.in), 0);
  }
  Database db;
  Instance in;
};

TEST_F(CliTest, WrapperPreparesBindsExecutesFetchesAndRunsAgain) {
  fill(5);
  DB_CLI_STMT w;
  db_cli_init(in.in, &w);
  EXPECT_EQ(w.handle_kind, SQL_HANDLE_DBC);
  EXPECT_EQ(w.char_ind, SQL_NTS);
  ASSERT_EQ(db_cli_prepare(&w, "SELECT ID, NAME FROM BOB.T WHERE ID > ? AND NAME <> ? ORDER BY ID"), 0);
  EXPECT_EQ(db_cli_is_prepared(&w), 1);
  SQLINTEGER low = 1;
  char skip[8] = "n3";
  ASSERT_EQ(db_cli_bind_by_pos(&w, SQL_C_SLONG, SQL_INTEGER, 0, &low, 0, nullptr), 0);
  ASSERT_EQ(db_cli_bind_by_pos(&w, SQL_C_CHAR, SQL_VARCHAR, 20, skip, 0, nullptr), 0);  // SQL_NTS
  SQLINTEGER id = 0;
  char name[21];
  SQLLEN name_ind = 0;
  ASSERT_EQ(db_cli_define_by_pos(&w, SQL_C_SLONG, &id, 0, nullptr), 0);
  ASSERT_EQ(db_cli_define_by_pos(&w, SQL_C_CHAR, name, sizeof name, &name_ind), 0);
  ASSERT_EQ(db_cli_execute_stmt(&w, 1), 0);
  std::vector<int> ids;
  int32_t status;
  while ((status = db_cli_fetch(&w)) == 0) ids.push_back(id);
  EXPECT_EQ(status, SE_FINISHED);
  EXPECT_EQ(ids, (std::vector<int>{2, 4, 5}));

  // run the same statement again with another value
  ASSERT_EQ(db_cli_close_cursor(&w), 0);
  EXPECT_EQ(db_cli_is_prepared(&w), 0);
  EXPECT_NE(w.hstmt, nullptr);
  low = 4;
  ASSERT_EQ(db_cli_execute_stmt(&w, 1), 0);
  ids.clear();
  while (db_cli_fetch(&w) == 0) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int>{5}));
  db_cli_free(&w);
  EXPECT_EQ(w.hstmt, nullptr);
  db_cli_free(&w);  // freeing twice does nothing
}

TEST_F(CliTest, WrapperBlockFetchFillsColumnArrays) {
  fill(25);
  DB_CLI_STMT w;
  db_cli_init(in.in, &w);
  ASSERT_EQ(db_cli_prepare(&w, "SELECT ID FROM BOB.T ORDER BY ID"), 0);
  SQLINTEGER ids[10];
  SQLLEN inds[10];
  ASSERT_EQ(db_cli_define_by_pos(&w, SQL_C_SLONG, ids, 0, inds), 0);
  ASSERT_EQ(db_cli_execute_stmt(&w, 10), 0);
  std::vector<SQLULEN> blocks;
  int total = 0, sum = 0;
  while (db_cli_fetch(&w) == 0) {
    blocks.push_back(w.rows_fetched);
    for (SQLULEN i = 0; i < w.rows_fetched; ++i) sum += ids[i];
    total += (int)w.rows_fetched;
    // the column position restarts at every fetch so that rebinding works
    EXPECT_EQ(w.col_pos, 0);
  }
  EXPECT_EQ(blocks, (std::vector<SQLULEN>{10, 10, 5}));
  EXPECT_EQ(total, 25);
  EXPECT_EQ(sum, 25 * 26 / 2);
  db_cli_free(&w);
}

TEST_F(CliTest, WrapperErrorsCarryTheDiagnostic) {
  DB_CLI_STMT w;
  db_cli_init(in.in, &w);
  EXPECT_EQ(db_cli_prepare(&w, "SELECT * FROM BOB.MISSING"), SE_TABLE_NOEXIST);
  EXPECT_EQ(db_cli_sqlstate_is(&w, "42S02"), 1);
  EXPECT_EQ(db_cli_sqlstate_is(&w, "42S0"), 0);
  EXPECT_EQ(w.native, -204);
  EXPECT_EQ(db_cli_prepare(&w, "SELEKT 1"), SE_DB_IO_ERROR);
  EXPECT_EQ(db_cli_sqlstate_is(&w, "42601"), 1);
  db_cli_set_ctx_error(in.in, &w);
  EXTENDED_ERROR e = DB_instance_get_xerr(in.in);
  EXPECT_EQ(e.code, SE_DB_IO_ERROR);
  EXPECT_EQ(e.native, -104);
  EXPECT_STREQ(e.ext_msg, "42601");
  EXPECT_NE(strstr(e.msg, "SQL0104N"), nullptr) << e.msg;

  // truncation is success with information: a failed execution for the wrapper
  fill(1);
  ASSERT_EQ(db_cli_prepare(&w, "SELECT NAME FROM BOB.T"), 0);
  ASSERT_EQ(db_cli_execute_stmt(&w, 1), 0);
  char tiny[2];
  SQLLEN ind;
  ASSERT_EQ(db_cli_define_by_pos(&w, SQL_C_CHAR, tiny, sizeof tiny, &ind), 0);
  EXPECT_EQ(db_cli_fetch(&w), SE_DB_IO_ERROR);
  EXPECT_EQ(db_cli_sqlstate_is(&w, "01004"), 1);

  // a searched UPDATE that finds nothing is not an error for the wrapper
  ASSERT_EQ(db_cli_close_cursor(&w), 0);
  ASSERT_EQ(db_cli_prepare(&w, "UPDATE BOB.T SET NAME = 'x' WHERE ID = 99"), 0);
  EXPECT_EQ(db_cli_execute_stmt(&w, 1), 0);
  db_cli_free(&w);

  // positions
  EXPECT_EQ(db_cli_set_bind_pos(&w, 0), 0);
  EXPECT_EQ(db_cli_set_bind_pos(&w, 3), 1);
  EXPECT_EQ(w.param_pos, 2);
  EXPECT_EQ(db_cli_set_define_pos(&w, -1), 0);
  EXPECT_EQ(db_cli_set_define_pos(&w, 11), 1);
  EXPECT_EQ(w.col_pos, 10);
}

TEST_F(CliTest, ColumnNullability) {
  struct Case { const char* column; int32_t status; int32_t answer; };
  const Case cases[] = {{"ID", 0, 0}, {"NAME", 0, 1}, {"NOPE", SE_FINISHED, -7}};
  for (const Case& c : cases) {
    int32_t answer = -7;
    EXPECT_EQ(db_cli_column_nullable(in.in, nullptr, "BOB", "T", c.column, &answer), c.status) << c.column;
    EXPECT_EQ(answer, c.answer) << c.column;
  }
  int32_t answer;
  EXPECT_EQ(db_cli_column_nullable(in.in, nullptr, "BOB", nullptr, "ID", &answer), SE_INVALID_POINTER);
  EXPECT_EQ(db_cli_column_nullable(in.in, nullptr, "BOB", "T", "ID", nullptr), SE_INVALID_POINTER);
}

TEST_F(CliTest, RawFetchModesDeliverEveryRowAndCommit) {
  fill(250);
  Watcher w;
  // mode 5, blocks of 100 through SQLExtendedFetch, then db_fetch_rows
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "SELECT ID FROM BOB.T ORDER BY ID"), 0);
  SQLINTEGER ids[100];
  SQLLEN inds[100];
  ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, inds), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0), SQL_SUCCESS);
  SQLULEN rows = 0;
  ASSERT_EQ(db_execute_fetch(in.in, h, 1, 100, &rows), 0);
  EXPECT_EQ(rows, 100u);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[99], 100);
  // an insert by the watcher while the cursor is open: the fetch committed,
  // and the cursor survived its commit
  EXPECT_EQ(w.exec("INSERT INTO BOB.T VALUES (1000, 'w')"), SQL_SUCCESS);
  ASSERT_EQ(db_fetch_rows(h, 100, &rows), 0);
  EXPECT_EQ(rows, 100u);
  EXPECT_EQ(ids[0], 101);
  ASSERT_EQ(db_execute_fetch(in.in, h, 0, 100, &rows), 0);
  EXPECT_EQ(rows, 50u);
  EXPECT_EQ(ids[49], 250);
  EXPECT_EQ(db_fetch_rows(h, 100, &rows), DB_NO_DATA_BLOCK_END);
  EXPECT_EQ(in->xerr.code, 0);  // the end of rows records nothing
  db_free_stmt(&h);
  EXPECT_EQ(h, nullptr);
  db_free_stmt(&h);  // safe on a null handle

  // mode 5 one row at a time
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "SELECT ID FROM BOB.T WHERE ID = 7"), 0);
  SQLINTEGER one = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, &one, 0, &ind), SQL_SUCCESS);
  rows = 0;
  ASSERT_EQ(db_execute_fetch(in.in, h, 1, 1, &rows), 0);
  EXPECT_EQ(rows, 1u);
  EXPECT_EQ(one, 7);
  EXPECT_EQ(db_execute_fetch(in.in, h, 0, 1, &rows), DB_NO_DATA_BLOCK_END);
  db_free_stmt(&h);
}

// A count above the row-status array once wrote past it.
TEST_F(CliTest, BlockFetchRefusesMoreRowsThanItsStatusArrayHolds) {
  fill(3);
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "SELECT ID FROM BOB.T"), 0);
  std::vector<SQLINTEGER> ids(500);
  ASSERT_EQ(SQLBindCol(h, 1, SQL_C_SLONG, ids.data(), 0, nullptr), SQL_SUCCESS);
  SQLULEN rows = 0;
  EXPECT_EQ(db_execute_fetch(in.in, h, 1, 500, &rows), SE_INVALID_PARAM);
  // db_fetch_rows sizes its own array: 500 is fine there
  EXPECT_EQ(db_fetch_rows(h, 500, &rows), 0);
  EXPECT_EQ(rows, 3u);
  db_free_stmt(&h);
}

TEST_F(CliTest, ExecutionModesCommitOrLeaveTheWorkOpen) {
  Watcher w;
  struct Case { int32_t mode; bool commits; };
  const Case cases[] = {{DB_MODE_EXEC_COMMIT, true}, {DB_MODE_EXEC, false}, {DB_MODE_DDL_COMMIT, true},
                        {DB_MODE_EXEC_COMMIT6, true}, {DB_MODE_ARRAY, false}};
  int id = 0;
  for (const Case& c : cases) {
    ++id;
    SQLHSTMT h = SQL_NULL_HSTMT;
    std::string sql = "INSERT INTO BOB.T VALUES (" + std::to_string(id) + ", 'm')";
    ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, sql.c_str()), 0);
    EXPECT_EQ(db_execute_stmt(in.in, h, 1, c.mode), 0) << "mode " << c.mode;
    db_free_stmt(&h);
    std::string q = "SELECT COUNT(*) FROM BOB.T WHERE ID = " + std::to_string(id);
    EXPECT_EQ(w.scalar(q), c.commits ? 1 : 0) << "mode " << c.mode;
    ASSERT_EQ(db_commit_ddlsql(in.in), 0);
    EXPECT_EQ(w.scalar(q), 1) << "mode " << c.mode;
  }
}

TEST_F(CliTest, ParameterArraysExecuteAllRowsAtOnce) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "INSERT INTO BOB.T (ID, NAME) VALUES (?, ?)"), 0);
  SQLINTEGER ids[3] = {10, 20, 30};
  char names[3][8] = {"a", "bb", "ccc"};
  SQLLEN name_ind[3] = {SQL_NTS, SQL_NTS, SQL_NULL_DATA};
  ASSERT_EQ(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, names, 8, name_ind),
            SQL_SUCCESS);
  dl::dl_counters_reset();
  EXPECT_EQ(db_execute_stmt(in.in, h, 0, DB_MODE_ARRAY), 0);  // nothing to run
  EXPECT_EQ(dl::dl_counters().statements, 0u);
  EXPECT_EQ(db_execute_stmt(in.in, h, 3, DB_MODE_ARRAY), 0);
  EXPECT_EQ(dl::dl_counters().statements, 3u);
  ASSERT_EQ(db_commit_ddlsql(in.in), 0);
  Watcher w;
  EXPECT_EQ(w.scalar("SELECT SUM(ID) FROM BOB.T"), 60);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T WHERE NAME IS NULL"), 1);
  db_free_stmt(&h);
}

TEST_F(CliTest, ExecuteMapsStatesAndReportsTheRest) {
  fill(2);
  // fault: the state the database answers at execution (or none: a real error)
  struct Case { const char* name; const char* sql; const char* fault; int32_t native; int32_t status; bool reported; };
  const Case cases[] = {
      {"column not found", "UPDATE BOB.T SET NAME = 'q'", "42S22", -206, SE_ATTR_NOEXIST, false},
      {"syntax or access", "UPDATE BOB.T SET NAME = 'q'", "37000", -104, SE_SQL_SYNTAX, false},
      {"no privilege", "UPDATE BOB.T SET NAME = 'q'", "42502", -552, SE_NO_PERMISSIONS, false},
      {"table not found", "UPDATE BOB.T SET NAME = 'q'", "42S02", -204, SE_TABLE_NOEXIST, false},
      {"table exists", "UPDATE BOB.T SET NAME = 'q'", "42s01", -601, SE_TABLE_EXISTS, false},
      {"index exists", "UPDATE BOB.T SET NAME = 'q'", "42S11", -601, SE_INDEX_EXISTS, false},
      {"no row updated", "UPDATE BOB.T SET NAME = 'x' WHERE ID = 99", nullptr, 110, SE_DB_IO_ERROR, true},
      {"no row deleted", "DELETE FROM BOB.T WHERE ID = 99", nullptr, 110, SE_DB_IO_ERROR, true},
      {"null into not null", "INSERT INTO BOB.T (NAME) VALUES ('z')", nullptr, -407, SE_DB_IO_ERROR, true},
  };
  Watcher w;
  for (const Case& c : cases) {
    DB_instance_clear_xerr(in.in);
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, c.sql), 0) << c.name;
    if (c.fault) dl::dl_fault_fail_statement(1, c.fault, c.native);
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_execute_stmt(in.in, h, 1, DB_MODE_EXEC_COMMIT), c.status) << c.name;
    std::string printed = testing::internal::GetCapturedStderr();
    db_free_stmt(&h);
    EXTENDED_ERROR e = DB_instance_get_xerr(in.in);
    EXPECT_EQ(e.code, c.reported ? SE_DB_IO_ERROR : 0) << c.name;
    EXPECT_EQ(printed.find("ZUL_Database Error:") != std::string::npos, c.reported) << c.name;
    if (c.reported) {
      EXPECT_EQ(e.native, c.native) << c.name;
    }
    EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T WHERE NAME IN ('q', 'x', 'z')"), 0) << c.name;
    db_rollback_ddlsql(in.in);
  }
  DB_instance_clear_xerr(in.in);
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "DELETE FROM BOB.T WHERE ID = 99"), 0);
  testing::internal::CaptureStderr();
  db_execute_stmt(in.in, h, 1, DB_MODE_EXEC_COMMIT);
  testing::internal::GetCapturedStderr();
  db_free_stmt(&h);
  EXPECT_STREQ(in->xerr.msg, "db_odbc_execute_stmt::No data found (100)\n");
}

TEST_F(CliTest, OneShotSqlMapsStatesToStatuses) {
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE INDEX BOB.TX ON BOB.T (ID)", 1, DB_MODE_DDL_COMMIT), 0);
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TRIGGER BOB.TRG AFTER INSERT ON BOB.T FOR EACH ROW MODE DB2SQL "
                                      "UPDATE BOB.T SET NAME = 'x' WHERE ID = -1", 1, DB_MODE_DDL_COMMIT), 0);
  struct Case { const char* name; const char* sql; int32_t status; };
  const Case cases[] = {
      {"missing table", "DROP TABLE BOB.NOPE", SE_TABLE_NOEXIST},
      {"missing column", "UPDATE BOB.T SET NOPE = 1", SE_ATTR_NOEXIST},
      {"table exists", "CREATE TABLE BOB.T (A INTEGER)", SE_TABLE_EXISTS},
      {"index exists", "CREATE INDEX BOB.TX ON BOB.T (NAME)", SE_INDEX_EXISTS},
      {"column exists", "ALTER TABLE BOB.T ADD COLUMN NAME INTEGER", SE_COLUMN_EXISTS},
      {"missing index", "DROP INDEX BOB.NOPE", SE_INDEX_NOEXIST},
      {"missing trigger dropped", "DROP TRIGGER BOB.NOPE", 0},
      {"no row deleted", "DELETE FROM BOB.T WHERE ID = 99", SE_DB_NO_DATA},
      {"syntax", "CREATE TABEL BOB.X (A INTEGER)", SE_DB_IO_ERROR},
      {"table privilege", "CREATE TABLE ZUL.MINE (A INTEGER)", SE_DB_IO_ERROR},  // 42501
  };
  for (const Case& c : cases) {
    EXPECT_EQ(db_execute_ddlsql(in.in, c.sql, 0, DB_MODE_EXEC), c.status) << c.name;
    db_rollback_ddlsql(in.in);
  }

  // states and native codes the stand-in gives only through its fault hook
  struct Fault { const char* state; int32_t native; int32_t status; };
  const Fault faults[] = {
      {"42502", -552, SE_NO_PERMISSIONS}, {"37000", -104, SE_INDEX_NOEXIST}, {"08004", -30082, SE_LOGIN_NOT_ALLOWED},
      {"38613", -438, SE_DB_CONSTRAINT},  {"58004", -601, SE_TABLE_EXISTS},  {"58004", -159, SE_TABLE_NOEXIST},
      {"01504", 513, 0},                  {"58004", -289, SE_LOCK_CONFLICT}, {"58004", -523, SE_TABLE_NOEXIST},
      {"58004", -999, SE_DB_IO_ERROR},
  };
  for (const Fault& f : faults) {
    dl::dl_fault_fail_statement(1, f.state, f.native);
    EXPECT_EQ(db_execute_ddlsql(in.in, "UPDATE BOB.T SET NAME = 'q'", 0, DB_MODE_EXEC), f.status)
        << f.state << " " << f.native;
    db_rollback_ddlsql(in.in);
  }
}

TEST_F(CliTest, OneShotSqlReportsOnlyWhenAskedAndCommitsByMode) {
  Watcher w;
  DB_instance_clear_xerr(in.in);
  EXPECT_EQ(db_execute_ddlsql(in.in, "DROP TABLE BOB.NOPE", 0, DB_MODE_EXEC), SE_TABLE_NOEXIST);
  EXPECT_EQ(in->xerr.code, 0);
  EXPECT_EQ(db_execute_ddlsql(in.in, "DROP TABLE BOB.NOPE", 1, DB_MODE_EXEC), SE_TABLE_NOEXIST);
  EXPECT_EQ(in->xerr.code, SE_DB_IO_ERROR);
  EXPECT_STREQ(in->xerr.ext_msg, "42S02");

  struct Case { int32_t mode; bool commits; };
  const Case cases[] = {{DB_MODE_EXEC_COMMIT, true}, {DB_MODE_EXEC, false}, {DB_MODE_DDL_COMMIT, true}};
  int id = 100;
  for (const Case& c : cases) {
    ++id;
    std::string q = "SELECT COUNT(*) FROM BOB.T WHERE ID = " + std::to_string(id);
    std::string sql = "INSERT INTO BOB.T VALUES (" + std::to_string(id) + ", 'd')";
    EXPECT_EQ(db_execute_ddlsql(in.in, sql.c_str(), 1, c.mode), 0);
    EXPECT_EQ(w.scalar(q), c.commits ? 1 : 0) << "ddlsql mode " << c.mode;
    db_commit_ddlsql(in.in);
    ++id;
    q = "SELECT COUNT(*) FROM BOB.T WHERE ID = " + std::to_string(id);
    sql = "INSERT INTO BOB.T VALUES (" + std::to_string(id) + ", 'o')";
    EXPECT_EQ(db_odbc_execute_ddlsql(in.in, sql.c_str(), 1, c.mode), 0);
    EXPECT_EQ(w.scalar(q), c.commits ? 1 : 0) << "odbc ddlsql mode " << c.mode;
    db_commit_ddlsql(in.in);
  }
}

// An undefined name once passed as success whatever the statement; only a
// drop of something that is not there is harmless. The warning once called
// every missing object a trigger, a dropped procedure included.
TEST_F(CliTest, UndefinedNameFailsACreate) {
  EXPECT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.U (G NOSUCHTYPE)", 1, DB_MODE_EXEC), SE_TABLE_NOEXIST);
  EXPECT_EQ(in->xerr.code, SE_DB_IO_ERROR);
  struct Case { const char* sql; const char* warning; };
  const Case cases[] = {
      {"DROP TRIGGER BOB.NOPE", "Warning: The trigger does not exist \n"},
      {"  drop procedure BOB.NOPE", "Warning: The procedure does not exist \n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(db_execute_ddlsql(in.in, c.sql, 1, DB_MODE_EXEC), 0) << c.sql;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warning) << c.sql;
  }
}

TEST_F(CliTest, OdbcOneShotTreatsWarningsAsFailuresAndNoRowsAsSuccess) {
  struct Case { const char* name; const char* sql; int32_t status; const char* state; };
  const Case cases[] = {
      {"no row", "DELETE FROM BOB.T WHERE ID = 99", 0, ""},
      {"missing table", "DELETE FROM BOB.NOPE", SE_TABLE_NOEXIST, "42S02"},
      {"table privilege", "CREATE TABLE ZUL.MINE (A INTEGER)", SE_DB_IO_ERROR, "42501"},
      {"syntax", "SELEKT 1", SE_DB_IO_ERROR, "42601"},
  };
  for (const Case& c : cases) {
    DB_instance_clear_xerr(in.in);
    EXPECT_EQ(db_odbc_execute_ddlsql(in.in, c.sql, 1, DB_MODE_EXEC), c.status) << c.name;
    EXPECT_STREQ(in->xerr.ext_msg, c.state) << c.name;
  }
}

TEST_F(CliTest, DbmsErrorIsPrintedInFourLinesAndRecorded) {
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = -1;
  strcpy(d.sqlstate, "42S02");
  d.native = -204;
  strcpy(d.message, "no such table");
  testing::internal::CaptureStderr();
  db_report_dbms_error(in.in, d);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "ZUL_Database Error: -1\n42S02\nODBC Error: 42S02\nDatabase Error: -204\n"
                 "Error Message: no such table\n");
  EXTENDED_ERROR e = DB_instance_get_xerr(in.in);
  EXPECT_EQ(e.code, SE_DB_IO_ERROR);
  EXPECT_EQ(e.native, -204);
  EXPECT_STREQ(e.msg, "no such table");
  EXPECT_STREQ(e.ext_msg, "42S02");

  // a message longer than the field is cut, the SQLSTATE kept
  memset(d.message, 'm', 1025);
  d.message[1025] = '\0';
  testing::internal::CaptureStderr();
  db_report_dbms_error(in.in, d);
  testing::internal::GetCapturedStderr();
  e = DB_instance_get_xerr(in.in);
  EXPECT_EQ(strlen(e.msg), 511u);
  EXPECT_STREQ(e.ext_msg, "42S02");

  // a detail is appended as far as the field holds
  DB_instance_clear_xerr(in.in);
  strcpy(in->xerr.msg, "index failed");
  EXPECT_EQ(db_append_error_detail(in.in, "BOB.TX"), 0);
  EXPECT_STREQ(in->xerr.msg, "index failed(BOB.TX)");
}

TEST_F(CliTest, TableAndIndexDrops) {
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE INDEX BOB.TX ON BOB.T (ID)", 1, DB_MODE_DDL_COMMIT), 0);
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.U (A INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);
  struct Case { const char* name; bool index; const char* object; int32_t status; };
  const Case cases[] = {
      {"index", true, "bob.tx", 0},
      {"index again", true, "bob.tx", SE_INDEX_NOEXIST},
      {"index name with a statement", true, "bob.tx;drop table bob.t", SE_INVALID_IDENTIFIER},
      {"table", false, "bob.u", 0},
      {"table again", false, "bob.u", SE_TABLE_NOEXIST},
      {"table name with a comment", false, "bob.t --", SE_INVALID_IDENTIFIER},
  };
  for (const Case& c : cases) {
    int32_t status = c.index ? DB_table_drop_index(in.in, nullptr, c.object) : DB_table_drop(in.in, c.object);
    EXPECT_EQ(status, c.status) << c.name;
  }
  Watcher w;
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 0);  // still there
}

TEST_F(CliTest, CommitFailureIsRecordedInTheInstance) {
  ASSERT_EQ(dbtest::exec(in.in, "INSERT INTO BOB.T VALUES (1, 'a')"), SQL_SUCCESS);
  dl::dl_fault_fail_commit("40001", -911);
  EXPECT_EQ(db_commit_ddlsql(in.in), SE_DB_IO_ERROR);
  EXPECT_EQ(in->xerr.code, SE_DB_IO_ERROR);
  EXPECT_EQ(in->xerr.native, -911);
  EXPECT_STREQ(in->xerr.ext_msg, "40001");
  EXPECT_EQ(db_rollback_ddlsql(in.in), 0);
}

}  // namespace
