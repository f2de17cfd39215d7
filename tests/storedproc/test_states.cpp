// test_states.cpp -- the state procedures through CALL: creating children
// and their lineages, opening and closing, deleting lists, range checks,
// trims and modified marks, with their message codes.
#include "sp_test_support.h"

#include <gtest/gtest.h>

using namespace sptest;

namespace {

class States : public ProcTest {
 protected:
  // A new child of parent on the parent's lineage, as user c; its id.
  long long child(Conn& c, int parent, bool closed = true) {
    int lineage = static_cast<int>(lineage_of(parent));
    Result r = c.call("zul_insert_state", {I(parent), I(lineage), I(closed ? 2 : 1), OI(), OI()});
    EXPECT_EQ(r.rc, SQL_SUCCESS) << r.diag;
    EXPECT_EQ(r.code(), 0) << r.msg();
    return r.ints[0];
  }
  long long lineage_of(int state) {
    return zul_.scalar("SELECT lineage_name FROM ZUL.STATES WHERE state_id = " + std::to_string(state));
  }
  // The members of a lineage, as "0 1 2".
  std::string members(long long lineage) {
    std::string s;
    for (int id = 0; id < 20; ++id)
      if (zul_.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE lineage_name = " + std::to_string(lineage) +
                      " AND lineage_id = " + std::to_string(id)) == 1)
        s += (s.empty() ? "" : " ") + std::to_string(id);
    return s;
  }
};

TEST_F(States, ASecondChildStartsALineageHoldingItsParentsLineage) {
  // The base state is its own parent on lineage 0, so its first child
  // already starts a lineage of its own.
  EXPECT_EQ(child(zul_, 0), 1);
  long long l1 = lineage_of(1);
  EXPECT_NE(l1, 0);
  EXPECT_EQ(members(l1), "0 1");
  EXPECT_EQ(child(zul_, 1), 2);  // continues the parent's lineage
  EXPECT_EQ(lineage_of(2), l1);
  EXPECT_EQ(members(l1), "0 1 2");
  // A second child of 1: the parent's lineage is taken under 1, so a new
  // one begins with the parent's lineage up to the parent.
  Result r = zul_.call("zul_insert_state", {I(1), I(static_cast<int>(l1)), I(1), OI(), OI()});
  ASSERT_EQ(r.code(), 0) << r.msg() << r.diag;
  EXPECT_EQ(r.ints[0], 3);
  EXPECT_NE(r.ints[1], 0);
  EXPECT_EQ(members(r.ints[1]), "0 1 3");
  EXPECT_EQ(zul_.text("SELECT closing_time FROM ZUL.STATES WHERE state_id = 3"), "<null>");
  EXPECT_EQ(zul_.text("SELECT owner FROM ZUL.STATES WHERE state_id = 3"), "ZUL");
}

TEST_F(States, OpenCloseAndOwnerChecks) {
  Conn bob("BOB", "bobpw");
  ASSERT_TRUE(bob.ok());
  long long mine = child(zul_, 0, false);
  Result closed = zul_.call("zul_close_state", {I(static_cast<int>(mine)), OT()});
  ASSERT_EQ(closed.code(), 0) << closed.msg() << closed.diag;
  ASSERT_EQ(closed.texts[0].size(), 26u) << closed.texts[0];
  EXPECT_EQ(closed.texts[0][4], '-');
  EXPECT_EQ(closed.texts[0][10], '-');
  EXPECT_EQ(closed.texts[0][13], '.');
  EXPECT_EQ(zul_.text("SELECT closing_time FROM ZUL.STATES WHERE state_id = 1"), closed.texts[0]);
  struct Case {
    const char* name;
    Conn* who;
    const char* proc;
    std::vector<Arg> args;
    long long code;
    const char* msg;
  } cases[] = {
      {"open own state", &zul_, "zul_open_state", {I(1)}, 0, ""},
      {"open missing state", &zul_, "zul_open_state", {I(42)}, -20172, "State 42 not found"},
      {"close missing state", &zul_, "zul_close_state", {I(42), OT()}, -20172, "State 42 not found"},
      {"another user's state", &bob, "zul_close_state", {I(1), OT()}, -20025, "No permission on state 1"},
      {"state user check", &bob, "zul_state_user_rw", {I(1)}, -20025, "No permission on state 1"},
      {"administrator passes", &zul_, "zul_state_user_rw", {I(1)}, 0, ""},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = c.who->call(c.proc, c.args);
    EXPECT_EQ(r.code(), c.code) << r.msg() << r.diag;
    EXPECT_EQ(r.msg(), c.msg);
    c.who->rollback();
  }
  EXPECT_EQ(zul_.text("SELECT closing_time FROM ZUL.STATES WHERE state_id = 1"), "<null>");
}

TEST_F(States, DeleteChecksEveryStateFirstAndNeverDeletesTheBase) {
  Conn bob("BOB", "bobpw");
  ASSERT_TRUE(bob.ok());
  child(zul_, 0);                  // 1, ZUL's
  zul_.commit();
  long long b = child(bob, 1);     // 2, BOB's
  ASSERT_EQ(b, 2);
  bob.commit();
  struct Case {
    const char* name;
    Conn* who;
    const char* list;
    long long code;
    long long states_left;
  } cases[] = {
      {"another user's state in the list", &bob, "2,1", -20025, 3},
      {"text beyond numbers", &zul_, "1) OR (1=1", -66, 3},
      {"own state", &bob, "2", 0, 2},
      {"base state listed", &zul_, "0,1", 0, 1},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = c.who->call("zul_delete_state", {T(c.list)});
    EXPECT_EQ(r.code(), c.code) << r.msg() << r.diag;
    c.who->rollback();
    EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.STATES"), c.states_left);
  }
  // Deleted states leave no lineage rows behind.
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE lineage_id <> 0"), 0);
}

TEST_F(States, RangeDeleteCheck) {
  // 0 - 1 - 2 - 3, and 4 a second child of 1; a version on 3.
  child(zul_, 0);
  child(zul_, 1);
  child(zul_, 2);
  Result second = zul_.call("zul_insert_state", {I(1), I(static_cast<int>(lineage_of(1))), I(2), OI(), OI()});
  ASSERT_EQ(second.ints[0], 4);
  ASSERT_EQ(zul_.exec("INSERT INTO ZUL.VERSIONS (name, owner, version_id, status, state_id, creation_time)"
                      " VALUES ('V3', 'ZUL', 2, 1, 3, CURRENT TIMESTAMP)"),
            SQL_SUCCESS);
  zul_.commit();
  struct Case {
    const char* name;
    int start, end;
    long long code;
    const char* msg;
  } cases[] = {
      {"chain to its end", 4, 4, 0, ""},
      {"start state branches", 1, 3, -20175, "End State may not have children"},
      {"state below the end state", 2, 2, -20175, "End State may not have children"},
      {"end not below start", 4, 2, -20179, "Start or End state is missing"},
      {"missing start", 40, 40, -20179, "Start or End state is missing"},
      {"state used by a version", 3, 3, -20179, "State 3 is used by version V3"},
      // The base state is its own parent: the walk from it still ends.
      {"from the base state", 0, 4, -20179, "State 0 is used by version DEFAULT"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = zul_.call("zul_range_del_ok", {I(c.start), I(c.end)});
    EXPECT_EQ(r.code(), c.code) << r.msg() << r.diag;
    EXPECT_EQ(r.msg(), c.msg);
  }
  zul_.commit();
  Conn bob("BOB", "bobpw");
  Result r = bob.call("zul_range_del_ok", {I(4), I(4)});
  EXPECT_EQ(r.code(), -20025) << r.diag;
  EXPECT_EQ(r.msg(), "Not owner of state 4");
}

TEST_F(States, TrimAboveAndToTheBaseState) {
  // 0 - 1 - 2 - 3 - 4; trim 2..3 after the server deleted 2: 3 hangs from 1.
  for (int p = 0; p < 4; ++p) child(zul_, p);
  long long l = lineage_of(4);
  ASSERT_EQ(zul_.call("zul_delete_state", {T("2")}).code(), 0);
  Result t = zul_.call("zul_trim_state", {I(2), I(3)});
  ASSERT_EQ(t.code(), 0) << t.msg() << t.diag;
  EXPECT_EQ(zul_.scalar("SELECT parent_state_id FROM ZUL.STATES WHERE state_id = 3"), 1);
  EXPECT_EQ(members(l), "0 1 3 4");
  // Trim 0..3: 3 goes into the base state and 4 hangs from the base.
  ASSERT_EQ(zul_.call("zul_delete_state", {T("1")}).code(), 0);
  t = zul_.call("zul_trim_state", {I(0), I(3)});
  ASSERT_EQ(t.code(), 0) << t.msg() << t.diag;
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.STATES"), 2);
  EXPECT_EQ(zul_.scalar("SELECT parent_state_id FROM ZUL.STATES WHERE state_id = 4"), 0);
  EXPECT_EQ(members(l), "0 4");
  zul_.commit();
  Conn bob("BOB", "bobpw");
  EXPECT_EQ(bob.call("zul_trim_state", {I(0), I(4)}).code(), -20025);
}

TEST_F(States, ModifiedMarksAndTheCallersUnitOfWork) {
  // The caller's own uncommitted row is committed by the procedure's COMMIT.
  ASSERT_EQ(zul_.exec("INSERT INTO ZUL.DBTUNE (keyword, parameter_name) VALUES ('K', 'P')"), SQL_SUCCESS);
  Result r = zul_.call("zul_flag_modified", {I(5), I(0)});
  ASSERT_EQ(r.code(), 0) << r.msg() << r.diag;
  EXPECT_EQ(zul_.call("zul_flag_modified", {I(5), I(0)}).code(), 0);  // a second mark adds nothing
  zul_.rollback();
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.DBTUNE"), 1);
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.MVTABLES_MODIFIED WHERE registration_id = 5"), 1);
  EXPECT_EQ(zul_.call("zul_clear_modified", {I(5)}).code(), 0);
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.MVTABLES_MODIFIED"), 0);
}

TEST_F(States, StubsAnswerZero) {
  Result cur = zul_.call("zul_current_state", {OI()});
  EXPECT_EQ(cur.code(), 0);
  EXPECT_EQ(cur.ints[0], 0);
  EXPECT_EQ(zul_.call("zul_set_base_state", {}).code(), 0);
  EXPECT_EQ(zul_.call("zul_in_lineage", {I(3)}).code(), 0);
  EXPECT_EQ(zul_.call("zul_v_is_writable", {I(3)}).code(), 0);
  EXPECT_EQ(zul_.call("zul_set_current_v", {T("ZUL.DEFAULT")}).code(), 0);
}

}  // namespace
