// test_trans.cpp -- the transaction regimes, each watched from a second
// connection: what another connection sees, and when.
#include <gtest/gtest.h>

#include <string>

#include "db_test_support.h"
#include "dl_fault.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

class TransTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
    ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.T (ID INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);
  }
  void TearDown() override { dl::dl_fault_clear(); }
  void insert() {
    ASSERT_EQ(dbtest::exec(in.in, "INSERT INTO BOB.T VALUES (" + std::to_string(++next) + ")"), SQL_SUCCESS);
  }
  long long seen() { return w.scalar("SELECT COUNT(*) FROM BOB.T"); }
  Database db;
  Instance in;
  Watcher w;
  int next = 0;
};

TEST_F(TransTest, DefaultRegimeCommitsAtEveryStartAndCommit) {
  using Op = int32_t (*)(DB_INSTANCE*);
  struct Case { const char* name; Op op; };
  const Case cases[] = {
      {"def_start", DB_trans_def_start},   {"defwr_start", DB_trans_defwr_start},
      {"updt_start", DB_trans_updt_start}, {"updt_commit", DB_trans_updt_commit},
      {"def_commit", DB_trans_def_commit}, {"auto_commit_control", DB_trans_auto_commit_control},
      {"release_requests", DB_trans_release_requests},
  };
  for (const Case& c : cases) {
    insert();
    EXPECT_EQ(seen(), next - 1) << c.name << ": visible before";
    EXPECT_EQ(c.op(in.in), 0) << c.name;
    EXPECT_EQ(seen(), next) << c.name << ": visible after";
  }
  // the update rollback undoes work in the default regime
  insert();
  EXPECT_EQ(DB_trans_updt_rollback(in.in), 0);
  EXPECT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(seen(), next - 1);
}

TEST_F(TransTest, UserTransactionHoldsWorkUntilItsCommit) {
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  EXPECT_EQ(db_trans_user_is_open(in.in), 1);
  insert();
  // the default operations do nothing inside a user transaction
  EXPECT_EQ(DB_trans_def_start(in.in), 0);
  EXPECT_EQ(DB_trans_updt_commit(in.in), 0);
  EXPECT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(DB_trans_updt_rollback(in.in), 0);
  EXPECT_EQ(DB_trans_auto_commit_control(in.in), 0);  // interval 0: never
  EXPECT_EQ(seen(), 0);
  // starting again keeps the transaction and commits nothing
  EXPECT_EQ(DB_trans_user_start(in.in), 0);
  EXPECT_EQ(seen(), 0);
  EXPECT_EQ(DB_trans_user_commit(in.in), 0);
  EXPECT_EQ(db_trans_user_is_open(in.in), 0);
  EXPECT_EQ(seen(), 1);

  // a user rollback discards the work
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  insert();
  EXPECT_EQ(DB_trans_user_rollback(in.in), 0);
  EXPECT_EQ(db_trans_user_is_open(in.in), 0);
  EXPECT_EQ(seen(), 1);

  // release_requests commits even inside a user transaction
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  insert();
  EXPECT_EQ(DB_trans_release_requests(in.in), 0);
  EXPECT_EQ(seen(), 2);
  EXPECT_EQ(DB_trans_user_rollback(in.in), 0);
  EXPECT_EQ(seen(), 2);
}

TEST_F(TransTest, PeriodicCommitEveryIntervalCountedWrites) {
  struct Case { int32_t interval; std::string visible; };  // rows seen after writes 1..7
  const Case cases[] = {
      {0, "0000000"},
      {1, "1234567"},
      {3, "0033366"},
      {-2, "0000000"},
  };
  for (const Case& c : cases) {
    dbtest::exec(in.in, "DELETE FROM BOB.T");  // finds nothing the first time
    ASSERT_EQ(db_commit_ddlsql(in.in), 0);
    next = 0;
    EXPECT_EQ(DB_trans_set_autocommit(in.in, c.interval), 0);
    ASSERT_EQ(DB_trans_user_start(in.in), 0);
    std::string visible;
    for (int i = 0; i < 7; ++i) {
      insert();
      EXPECT_EQ(DB_trans_auto_commit_control(in.in), 0);
      visible += std::to_string(seen());
    }
    EXPECT_EQ(visible, c.visible) << "interval " << c.interval;
    // the counter restarts at the user commit
    EXPECT_EQ(DB_trans_user_commit(in.in), 0);
    EXPECT_EQ(in->autocommit_counter, 0);
  }
  // and at the user start
  EXPECT_EQ(DB_trans_set_autocommit(in.in, 3), 0);
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  insert();
  DB_trans_auto_commit_control(in.in);
  insert();
  DB_trans_auto_commit_control(in.in);
  EXPECT_EQ(DB_trans_user_rollback(in.in), 0);
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  EXPECT_EQ(in->autocommit_counter, 0);
  DB_trans_user_rollback(in.in);
}

TEST_F(TransTest, DefCommitClearsTheErrorCodeEvenWithoutCommitting) {
  ASSERT_EQ(db_execute_ddlsql(in.in, "DROP TABLE BOB.NOPE", 1, DB_MODE_EXEC), SE_TABLE_NOEXIST);
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  ASSERT_EQ(in->xerr.code, SE_DB_IO_ERROR);
  EXPECT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(in->xerr.code, 0);
  EXPECT_STREQ(in->xerr.ext_msg, "42S02");  // the texts stay
  DB_trans_user_commit(in.in);
}

// A user start whose commit failed once marked the transaction open: the
// client was told the start failed, yet every later default commit was held
// back.
TEST_F(TransTest, FailedUserStartLeavesTheDefaultRegime) {
  insert();
  dl::dl_fault_fail_commit("40001", -911);
  EXPECT_EQ(DB_trans_user_start(in.in), SE_DB_IO_ERROR);
  EXPECT_EQ(db_trans_user_is_open(in.in), 0);
  EXPECT_EQ(in->xerr.native, -911);
  insert();
  EXPECT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(seen(), 1);  // the first row went with the failed commit
}

TEST_F(TransTest, FailedUserCommitReturnsToTheDefaultRegime) {
  ASSERT_EQ(DB_trans_user_start(in.in), 0);
  insert();
  dl::dl_fault_fail_commit("40001", -911);
  EXPECT_EQ(DB_trans_user_commit(in.in), SE_DB_IO_ERROR);
  EXPECT_EQ(db_trans_user_is_open(in.in), 0);
  insert();
  EXPECT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(seen(), 1);
}

TEST_F(TransTest, CompressModeRemovesOnlyUnusedLineages) {
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.STATES (STATE_ID INTEGER, LINEAGE_NAME INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.STATE_LINEAGES (LINEAGE_NAME INTEGER, LINEAGE_ID INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("GRANT ALL ON ZUL.STATES TO PUBLIC"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("GRANT ALL ON ZUL.STATE_LINEAGES TO PUBLIC"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("INSERT INTO ZUL.STATES VALUES (0, 1), (1, 2)"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("INSERT INTO ZUL.STATE_LINEAGES VALUES (1, 0), (2, 0), (2, 1)"), SQL_SUCCESS);
  // every lineage in use: nothing deleted, still success; and the unit of
  // work that the empty delete began is ended (it once kept the write lock,
  // so the insert below waited for the busy time-out)
  EXPECT_EQ(DB_trans_set_compress_mode(in.in, 0), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES"), 3);
  ASSERT_EQ(w.exec("INSERT INTO ZUL.STATE_LINEAGES VALUES (7, 0), (7, 1)"), SQL_SUCCESS);
  EXPECT_EQ(DB_trans_set_compress_mode(in.in, 1), 0);  // other modes do nothing
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES"), 5);
  EXPECT_EQ(DB_trans_set_compress_mode(in.in, 0), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES"), 3);  // committed
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE LINEAGE_NAME = 7"), 0);
}

}  // namespace
