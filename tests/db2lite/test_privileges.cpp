// test_privileges.cpp -- table privileges and database authorities between
// two users, through the CLI: refusals come at prepare with DB2's states,
// the catalogue keeps listing what a user may not read, and GRANT / REVOKE
// take effect on the next statement of an open connection.
#include "dl_test_support.h"

#include "dl_conn.h"
#include "dl_engine.h"

#include <gtest/gtest.h>

using namespace dltest;

namespace {

class Privileges : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(create_database("PRIVDB"), ""); }
  DataDir dir_;
};

// State and native code of preparing text on a fresh statement ("" when it prepares).
std::string prepare_state(SQLHDBC dbc, const char* sql) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  std::string r;
  if (SQLPrepare(h, (SQLCHAR*)sql, SQL_NTS) != SQL_SUCCESS)
    r = state_of(SQL_HANDLE_STMT, h) + " " + std::to_string(native_of(SQL_HANDLE_STMT, h));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return r;
}

TEST_F(Privileges, AnotherUsersTableIsRefusedAtPrepareUntilGrantedAndAgainAfterRevoke) {
  Conn zul("PRIVDB", "ZUL", "zulpw", true);
  Conn alice("PRIVDB", "ALICE", "alicepw", true);
  ASSERT_EQ(zul.rc, SQL_SUCCESS);
  ASSERT_EQ(alice.rc, SQL_SUCCESS);
  ASSERT_EQ(exec(zul.dbc, "CREATE TABLE parts (id INTEGER NOT NULL, name VARCHAR(10))"), SQL_SUCCESS);
  ASSERT_EQ(exec(zul.dbc, "INSERT INTO parts VALUES (1, 'bolt')"), SQL_SUCCESS);

  struct Step { const char* sql; const char* before; const char* granted; };
  const Step steps[] = {
      {"SELECT id FROM zul.parts", "42501 -551", ""},
      {"SELECT COUNT(*) FROM zul.parts p WHERE p.id IN (SELECT id FROM zul.parts)", "42501 -551", ""},
      {"INSERT INTO zul.parts VALUES (2, 'nut')", "42501 -551", "42501 -551"},
      {"DELETE FROM zul.parts", "42501 -551", "42501 -551"},
      {"DROP TABLE zul.parts", "42501 -551", "42501 -551"},
  };
  for (const Step& s : steps) EXPECT_EQ(prepare_state(alice.dbc, s.sql), s.before) << s.sql;
  // Still listed in the catalogue for her.
  EXPECT_EQ(scalar(alice.dbc, "SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'ZUL' AND TABNAME = 'PARTS'"), 1);

  ASSERT_EQ(exec(zul.dbc, "GRANT SELECT ON zul.parts TO USER alice"), SQL_SUCCESS);
  for (const Step& s : steps) EXPECT_EQ(prepare_state(alice.dbc, s.sql), s.granted) << "granted: " << s.sql;
  EXPECT_EQ(scalar(alice.dbc, "SELECT COUNT(*) FROM zul.parts"), 1);

  ASSERT_EQ(exec(zul.dbc, "REVOKE SELECT ON zul.parts FROM USER alice"), SQL_SUCCESS);
  for (const Step& s : steps) EXPECT_EQ(prepare_state(alice.dbc, s.sql), s.before) << "revoked: " << s.sql;

  // PUBLIC grants reach her too; a view reads with its definer's rights.
  ASSERT_EQ(exec(zul.dbc, "CREATE VIEW parts_v AS SELECT name FROM parts"), SQL_SUCCESS);
  EXPECT_EQ(prepare_state(alice.dbc, "SELECT name FROM zul.parts_v"), "42501 -551");
  ASSERT_EQ(exec(zul.dbc, "GRANT SELECT ON zul.parts_v TO PUBLIC"), SQL_SUCCESS);
  EXPECT_EQ(prepare_state(alice.dbc, "SELECT name FROM zul.parts_v"), "");
  EXPECT_EQ(prepare_state(alice.dbc, "SELECT name FROM zul.parts"), "42501 -551");
}

TEST_F(Privileges, GrantingNeedsControlOrTheGrantOption) {
  Conn zul("PRIVDB", "ZUL", "zulpw", true);
  Conn alice("PRIVDB", "ALICE", "alicepw", true);
  ASSERT_EQ(exec(zul.dbc, "CREATE TABLE t (a INTEGER)"), SQL_SUCCESS);
  std::string why;
  EXPECT_EQ(exec(alice.dbc, "GRANT SELECT ON zul.t TO PUBLIC", &why), SQL_ERROR);
  EXPECT_NE(why.find("42501"), std::string::npos) << why;
  ASSERT_EQ(exec(zul.dbc, "GRANT SELECT ON zul.t TO USER alice WITH GRANT OPTION"), SQL_SUCCESS);
  EXPECT_EQ(exec(alice.dbc, "GRANT SELECT ON zul.t TO PUBLIC", &why), SQL_SUCCESS) << why;
  EXPECT_EQ(exec(alice.dbc, "GRANT INSERT ON zul.t TO PUBLIC", &why), SQL_ERROR);
  // Her own table is hers to control.
  EXPECT_EQ(exec(alice.dbc, "CREATE TABLE mine (a INTEGER)", &why), SQL_SUCCESS) << why;
  EXPECT_EQ(exec(alice.dbc, "INSERT INTO mine VALUES (1)", &why), SQL_SUCCESS) << why;
  EXPECT_EQ(prepare_state(zul.dbc, "SELECT a FROM alice.mine"), "");  // the administrator reads all
  // Creating in another user's schema needs the administrator.
  EXPECT_EQ(exec(alice.dbc, "CREATE TABLE zul.hers (a INTEGER)", &why), SQL_ERROR);
  EXPECT_NE(why.find("42501"), std::string::npos) << why;
}

TEST_F(Privileges, NotFencedProceduresNeedTheAuthority) {
  Conn zul("PRIVDB", "ZUL", "zulpw", true);
  Conn alice("PRIVDB", "ALICE", "alicepw", true);
  const char* create =
      "CREATE PROCEDURE ALICE.p1 (IN a INTEGER, OUT msgCode integer, OUT reserved varchar(1024)) "
      "EXTERNAL NAME 'zulsrvsp!p1' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED";
  SQLHSTMT h = alice.stmt();
  EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)create, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "42502");
  EXPECT_EQ(native_of(SQL_HANDLE_STMT, h), -552);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ(scalar(alice.dbc, "SELECT COUNT(*) FROM SYSCAT.PROCEDURES WHERE PROCSCHEMA = 'ALICE'"), 0);

  // A fenced one is hers to create; the authority, once granted, allows NOT FENCED.
  std::string why;
  EXPECT_EQ(exec(alice.dbc, "CREATE PROCEDURE ALICE.p2 (IN a INTEGER) EXTERNAL NAME 'zulsrvsp!p2' "
                            "LANGUAGE C PARAMETER STYLE DB2DARI FENCED", &why), SQL_SUCCESS) << why;
  ASSERT_EQ(exec(zul.dbc, "GRANT CREATE_NOT_FENCED ON DATABASE TO USER alice"), SQL_SUCCESS);
  EXPECT_EQ(exec(alice.dbc, create, &why), SQL_SUCCESS) << why;
  EXPECT_EQ(scalar(alice.dbc, "SELECT COUNT(*) FROM SYSCAT.PROCEDURES WHERE PROCSCHEMA = 'ALICE'"), 2);
  // Only the administrator grants authorities.
  EXPECT_EQ(exec(alice.dbc, "GRANT DBADM ON DATABASE TO USER alice", &why), SQL_ERROR);
  EXPECT_NE(why.find("42502"), std::string::npos) << why;
}

}  // namespace
