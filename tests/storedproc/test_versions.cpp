// test_versions.cpp -- the version procedures through CALL: name
// generation, the default version's protection, owner rules, renames and
// the compare-and-set move to another state.
#include "sp_test_support.h"

#include <gtest/gtest.h>

using namespace sptest;

namespace {

class Versions : public ProcTest {
 protected:
  static std::vector<Arg> insert(const std::string& name, int rule, int id) {
    return {T(name), I(1), I(id), I(0), T("d"), NT(), NT(), NI(), I(rule), OT()};
  }
};

TEST_F(Versions, InsertFindsAFreeNameUnlessToldNotTo) {
  Conn bob("BOB", "bobpw");
  ASSERT_TRUE(bob.ok());
  struct Case {
    const char* name;
    std::vector<Arg> args;
    SQLRETURN rc;
    long long code;
    const char* used;
  } cases[] = {
      {"free name", insert("WORK", 1, 10), SQL_SUCCESS, 0, "WORK"},
      {"taken name", insert("WORK", 1, 11), SQL_SUCCESS, 0, "WORK1"},
      {"taken twice", insert("WORK", 1, 12), SQL_SUCCESS, 0, "WORK2"},
      // The failed insert's SQLCA fails the CALL.
      {"taken, rule 2", insert("WORK", 2, 13), SQL_ERROR, 0, nullptr},
      {"empty name", insert("", 1, 13), SQL_SUCCESS, -171, ""},
      {"blank-led name", insert(" W", 1, 13), SQL_SUCCESS, -171, ""},
      {"taken name of the column's full length", insert(std::string(64, 'L'), 1, 14), SQL_SUCCESS, 0, nullptr},
      {"it cannot grow", insert(std::string(64, 'L'), 1, 15), SQL_ERROR, 0, nullptr},
      // A clash on the version id makes every numbered name clash too: the
      // search for a free name ends instead of running for ever.
      {"id already taken", insert("FRESH", 1, 10), SQL_ERROR, 0, nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = bob.call("zul_insert_version", c.args);
    EXPECT_EQ(r.rc, c.rc) << r.diag;
    if (c.rc == SQL_SUCCESS) {
      EXPECT_EQ(r.code(), c.code) << r.msg();
      if (c.used) {
        EXPECT_EQ(r.texts[0], c.used);
      }
    }
    bob.rollback();
  }
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.VERSIONS WHERE owner = 'BOB'"), 4);
  EXPECT_EQ(zul_.text("SELECT name FROM ZUL.VERSIONS WHERE version_id = 12"), "WORK2");
}

TEST_F(Versions, DeleteUpdateRenameAndOwnerRules) {
  Conn bob("BOB", "bobpw");
  ASSERT_EQ(bob.call("zul_insert_version", insert("WORK", 2, 10)).code(), 0);
  ASSERT_EQ(bob.call("zul_insert_version", insert("OTHER", 2, 11)).code(), 0);
  ASSERT_EQ(zul_.call("zul_insert_version", {T("CHILD"), I(1), I(12), I(0), NT(), T("WORK"), T("BOB"), I(10),
                                             I(2), OT()})
                .code(),
            0);
  zul_.commit();
  struct Case {
    const char* name;
    Conn* who;
    const char* proc;
    std::vector<Arg> args;
    long long code;
    const char* msg;
    const char* check;  // must give 1 afterwards
  } cases[] = {
      {"delete default", &zul_, "zul_delete_version", {T("ZUL.DEFAULT")}, -20025,
       "The default version may not be deleted or renamed!", nullptr},
      {"rename default", &zul_, "zul_rename_version", {T("ZUL"), T("DEFAULT"), T("D2")}, -20025,
       "The default version may not be deleted or renamed!", nullptr},
      {"delete another user's", &zul_, "zul_delete_version", {T("BOB.WORK")}, -20175,
       "Version can not be deleted as it has children", nullptr},
      {"delete by a stranger", &bob, "zul_delete_version", {T("ZUL.CHILD")}, -20025,
       "Not owner of Version ZUL.CHILD", nullptr},
      {"delete a missing one", &bob, "zul_delete_version", {T("DB.'BOB'.NONE")}, -20126,
       "Version BOB.NONE not found", nullptr},
      {"update own", &bob, "zul_update_version",
       {T("WORK"), T("BOB"), I(2), I(5), T("new"), NT(), NT(), T("2026-01-01-00.00.00.000000"), I(0), NI()}, 0, "",
       "SELECT COUNT(*) FROM ZUL.VERSIONS WHERE name = 'WORK' AND status = 2 AND state_id = 0"},
      {"update the administrator's", &bob, "zul_update_version",
       {T("CHILD"), T("ZUL"), I(2), I(0), T("x"), NT(), NT(), T("2026-01-01-00.00.00.000000"), I(0), NI()}, 0, "",
       nullptr},
      {"update a missing one", &bob, "zul_update_version",
       {T("NONE"), T("BOB"), I(2), I(0), T("x"), NT(), NT(), T("2026-01-01-00.00.00.000000"), I(0), NI()}, -20126,
       "Version not found", nullptr},
      {"update without owner", &bob, "zul_update_version",
       {T("WORK"), T(""), I(2), I(0), T("x"), NT(), NT(), T("2026-01-01-00.00.00.000000"), I(0), NI()}, -9, "",
       nullptr},
      {"rename own, children follow", &bob, "zul_rename_version", {T("BOB"), T("WORK"), T("JOB")}, 0, "",
       "SELECT COUNT(*) FROM ZUL.VERSIONS WHERE name = 'CHILD' AND parent_name = 'JOB'"},
      {"rename to empty", &bob, "zul_rename_version", {T("BOB"), T("JOB"), T("")}, -171, "", nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = c.who->call(c.proc, c.args);
    EXPECT_EQ(r.code(), c.code) << r.msg() << r.diag;
    EXPECT_EQ(r.msg(), c.msg);
    c.who->rollback();
    if (c.check) {
      EXPECT_EQ(zul_.scalar(c.check), 1) << c.check;
    }
  }
  // Rename onto a taken name: the failed update's SQLCA fails the CALL.
  Result taken = bob.call("zul_rename_version", {T("BOB"), T("JOB"), T("OTHER")});
  EXPECT_EQ(taken.rc, SQL_ERROR);
  EXPECT_EQ(taken.diag.substr(0, 5), "23505");
  bob.rollback();
  ASSERT_EQ(bob.call("zul_delete_version", {T("BOB.OTHER")}).code(), 0);
  EXPECT_EQ(zul_.scalar("SELECT COUNT(*) FROM ZUL.VERSIONS WHERE name = 'OTHER'"), 0);
}

TEST_F(Versions, ChangeStateIsACompareAndSet) {
  ASSERT_EQ(zul_.call("zul_insert_version", insert("V", 2, 10)).code(), 0);
  Conn other("ZUL", "zulpw");
  Result first = zul_.call("zul_change_v_state", {T("ZUL.V"), I(0), I(7)});
  EXPECT_EQ(first.code(), 0) << first.msg() << first.diag;
  // The second mover still expects state 0.
  Result second = other.call("zul_change_v_state", {T("ZUL.V"), I(0), I(8)});
  EXPECT_EQ(second.code(), -20174) << second.diag;
  EXPECT_EQ(second.msg(), "Version V is no longer state 0");
  other.rollback();
  Result missing = zul_.call("zul_change_v_state", {T("ZUL.NONE"), I(0), I(8)});
  EXPECT_EQ(missing.code(), -20126);
  EXPECT_EQ(missing.msg(), "Version not found");
  EXPECT_EQ(zul_.call("zul_change_v_state", {T(" V"), I(0), I(8)}).code(), -20171);
  zul_.rollback();
  EXPECT_EQ(zul_.scalar("SELECT state_id FROM ZUL.VERSIONS WHERE name = 'V'"), 7);
}

}  // namespace
