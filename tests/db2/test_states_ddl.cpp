// test_states_ddl.cpp -- numbering a row-id column through a positioned
// update, and granting or revoking a table privilege (the grantee prefix,
// no grant option on a revoke).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "db_test_support.h"
#include "zul_db_logfile.h"
#include "zul_db_version.h"

namespace {

class StatesDdlTest : public dbtest::SpatialAdminTest {
 protected:
  REGISTRATION reg(const char* table, uint32_t min_id) {
    REGISTRATION r;
    memset(&r, 0, sizeof r);
    r.id = 12;
    strcpy(r.owner, "ZUL");
    strcpy(r.table, table);
    strcpy(r.rowid_column, "RID");
    r.min_id = min_id;
    return r;
  }
  void TearDown() override {
    if (in) db_versioning_release(in->in);
  }
};

TEST_F(StatesDdlTest, RowIdsAreNumberedFromTheMinimumInCursorOrder) {
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.PARCELS (NAME VARCHAR(8), RID INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.EMPTY (NAME VARCHAR(8), RID INTEGER)"), SQL_SUCCESS);
  for (const char* n : {"a", "b", "c"})
    ASSERT_EQ(w.exec(std::string("INSERT INTO ZUL.PARCELS (NAME) VALUES ('") + n + "')"), SQL_SUCCESS);

  struct Case { const char* name; const char* table; int32_t flag; int32_t status; } cases[] = {
      {"three rows", "PARCELS", 1, 0},
      {"no rows", "EMPTY", 1, 0},
      {"no row-id column to number", "PARCELS", 0, SE_NO_ROWID_COLUMN},
      {"missing table", "NOSUCH", 1, SE_TABLE_NOEXIST},
  };
  for (const Case& c : cases) {
    REGISTRATION r = reg(c.table, 1);
    char* name = nullptr;
    EXPECT_EQ(db_column_update_by_cursor(in->in, &r, 0, 0, c.flag, &name), c.status) << c.name;
    ASSERT_NE(name, nullptr) << c.name << ": the name is always given";
    EXPECT_EQ(std::string(name).rfind("ZUL.ru_12_", 0), 0u) << name;
    free(name);
    DB_trans_def_commit(in->in);
  }
  EXPECT_EQ(scalar("SELECT SUM(RID) FROM ZUL.PARCELS"), 6);
  EXPECT_EQ(scalar("SELECT COUNT(DISTINCT RID) FROM ZUL.PARCELS"), 3);
  EXPECT_EQ(scalar("SELECT MIN(RID) FROM ZUL.PARCELS"), 1);

  // a name from the registration that is no identifier never reaches SQL
  REGISTRATION bad = reg("PARCELS; DROP TABLE ZUL.PARCELS", 1);
  char* name = nullptr;
  EXPECT_EQ(db_column_update_by_cursor(in->in, &bad, 0, 0, 1, &name), SE_INVALID_IDENTIFIER);
  free(name);
}

TEST_F(StatesDdlTest, GrantsNameUsersWithPrefixAndPublicWithoutAndRevokesNeverCarryGrantOption) {
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.SHARED (X INTEGER)"), SQL_SUCCESS);
  const std::string bob = "SELECT COUNT(*) FROM SYSCAT.TABAUTH WHERE TABNAME = 'SHARED' AND GRANTEE = 'BOB'";
  const std::string pub = "SELECT COUNT(*) FROM SYSCAT.TABAUTH WHERE TABNAME = 'SHARED' AND GRANTEE = 'PUBLIC'";
  EXPECT_EQ(db_grant_revoke(in->in, 0, "SELECT", "ZUL.SHARED", "BOB", 1, 1), 0);
  EXPECT_EQ(scalar(bob), 1);
  EXPECT_EQ(db_grant_revoke(in->in, 0, "SELECT", "ZUL.SHARED", "public", 1, 0), 0);
  EXPECT_EQ(scalar(pub), 1);
  EXPECT_EQ(db_grant_revoke(in->in, 0, "SELECT", "ZUL.SHARED", "BOB", 0, 1), 0)
      << "a revoke ignores the grant-option flag";
  EXPECT_EQ(scalar(bob), 0);
  EXPECT_EQ(db_grant_revoke(in->in, 0, "SELECT", "ZUL.SHARED", "Public", 0, 0), 0);
  EXPECT_EQ(scalar(pub), 0);
}

}  // namespace
