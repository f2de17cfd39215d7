// test_versions.cpp -- the VERSIONS table: the scan in rowsets, the
// lookups (owner case, a quote in a name, missing versions), the default
// version's direct insert with its name-suffix rule, and the version
// procedures with their message codes.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <set>
#include <string>

#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_tables.h"
#include "zul_db_version.h"

namespace {

class VersionsTest : public dbtest::SpatialAdminTest {
 protected:
  void SetUp() override {
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);  // the procedures' library and bind file
    SpatialAdminTest::SetUp();
    if (HasFatalFailure()) return;
    std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
    ASSERT_EQ(DB_instance_system_tables_create(in->in, storage.get()), 0);
    ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  }
  void TearDown() override {
    if (in) db_versioning_release(in->in);
    unsetenv("ZULHOME");
  }
  void add_version(const std::string& name, int32_t id) {
    std::string quoted;
    for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    ASSERT_EQ(w.exec("INSERT INTO ZUL.VERSIONS (name, owner, version_id, status, state_id, "
                     "creation_time) VALUES ('" + quoted + "', 'BOB', " + std::to_string(id) +
                     ", 3, 0, CURRENT TIMESTAMP)"),
              SQL_SUCCESS)
        << name;
  }
};

TEST_F(VersionsTest, ScanDeliversEveryVersionAcrossRowsetsThenEnds) {
  for (int32_t i = 2; i <= 250; ++i) add_version("v" + std::to_string(i), i);
  VERSION v;
  std::set<int32_t> seen;
  int32_t status = DB_version_scan(in->in, SE_SCAN_START, nullptr, &v);
  while (status == 0) {
    seen.insert(v.id);
    EXPECT_STREQ(v.tag, "VeR");
    status = DB_version_scan(in->in, SE_SCAN_NEXT, nullptr, &v);
  }
  EXPECT_EQ(status, SE_SCAN_FINISHED);
  EXPECT_EQ(seen.size(), 250u);
  EXPECT_EQ(DB_version_scan(in->in, SE_SCAN_NEXT, nullptr, &v), SE_STATE_SCAN_INACTIVE);

  EXPECT_EQ(DB_version_scan(in->in, SE_SCAN_START, "version_id < 0", &v), SE_SCAN_FINISHED);
  EXPECT_EQ(DB_version_scan(in->in, SE_SCAN_NEXT, nullptr, &v), SE_STATE_SCAN_INACTIVE);

  ASSERT_EQ(DB_version_scan(in->in, SE_SCAN_START, "version_id > 100", &v), 0);
  EXPECT_EQ(DB_version_scan(in->in, SE_SCAN_END, nullptr, &v), 0);
  EXPECT_EQ(DB_version_scan(in->in, SE_SCAN_NEXT, nullptr, &v), SE_STATE_SCAN_INACTIVE);
}

TEST_F(VersionsTest, LookupsFoldTheOwnerKeepTheNameAndReadNullsAsEmpty) {
  add_version("O'Brien", 7);
  VERSION v;
  ASSERT_EQ(DB_version_get_by_name(in->in, "zul", "DEFAULT", &v), 0);
  EXPECT_STREQ(v.tag, "VeR");
  EXPECT_STREQ(v.owner, "ZUL");
  EXPECT_EQ(v.id, 1);
  EXPECT_EQ(v.status, 1u);
  EXPECT_STREQ(v.description, "Instance default version.");
  EXPECT_STREQ(v.parent_name, "");
  EXPECT_STREQ(v.parent_owner, "");
  EXPECT_EQ(v.parent_id, 0);
  EXPECT_GT(v.creation_time, 0u);

  // a quote in a name is a value like any other
  ASSERT_EQ(DB_version_get_by_name(in->in, "bob", "O'Brien", &v), 0);
  EXPECT_EQ(v.id, 7);
  EXPECT_STREQ(v.description, "");
  ASSERT_EQ(DB_version_get_by_id(in->in, 7, &v), 0);
  EXPECT_STREQ(v.name, "O'Brien");

  struct Case { const char* name; int32_t status; } cases[] = {{"no such name", SE_VERSION_NOEXIST}};
  for (const Case& c : cases) EXPECT_EQ(DB_version_get_by_name(in->in, "ZUL", c.name, &v), c.status);
  EXPECT_EQ(DB_version_get_by_name(in->in, "ZUL", std::string(65, 'x').c_str(), &v), SE_VERSION_NOEXIST);
  EXPECT_EQ(DB_version_get_by_id(in->in, 99, &v), SE_VERSION_NOEXIST);
  EXPECT_EQ(DB_version_get_by_id(in->in, 0, &v), SE_VERSION_NOEXIST);
}

TEST_F(VersionsTest, DirectInsertTakesASuffixOnADuplicateOnlyWhenAllowed) {
  VERSION v;
  memset(&v, 0, sizeof v);
  memcpy(v.tag, "VeR", 4);
  strcpy(v.name, "DEFAULT");
  strcpy(v.owner, "ZUL");
  v.status = 1;
  char stored[65] = "";
  v.id = 20;
  EXPECT_EQ(DB_versions_def_insert(in->in, &v, 0, stored), SE_DB_IO_ERROR);
  ASSERT_EQ(DB_versions_def_insert(in->in, &v, 1, stored), 0);
  EXPECT_STREQ(stored, "DEFAULT01");
  v.id = 21;
  ASSERT_EQ(DB_versions_def_insert(in->in, &v, 1, stored), 0);
  EXPECT_STREQ(stored, "DEFAULT02");
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.VERSIONS WHERE name LIKE 'DEFAULT%'"), 3);
}

TEST_F(VersionsTest, ProceduresChangeTheTableAndMapTheirMessageCodes) {
  VERSION v;
  memset(&v, 0, sizeof v);
  strcpy(v.name, "work");
  v.id = 5;
  v.status = 2;
  strcpy(v.description, "edits");
  char stored[65] = "";
  ASSERT_EQ(DB_sp_versions_def_insert(in->in, &v, 1, stored), 0) << DB_instance_get_xerr(in->in).ext_msg;
  EXPECT_STREQ(stored, "work");
  v.id = 6;
  ASSERT_EQ(DB_sp_versions_def_insert(in->in, &v, 1, stored), 0) << DB_instance_get_xerr(in->in).ext_msg;
  EXPECT_STRNE(stored, "work") << "a unique name was made";
  v.id = 7;
  EXPECT_LT(DB_sp_versions_def_insert(in->in, &v, 0, stored), 0) << "no other name without the rule";
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.VERSIONS WHERE version_id = 7"), 0);

  // a code outside -20998..-20001 is a DBMS error with the code as native code
  VERSION blank = v;
  blank.id = 8;
  strcpy(blank.name, " ");
  EXPECT_EQ(DB_sp_versions_def_insert(in->in, &blank, 1, stored), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_instance_get_xerr(in->in).native, -171);
  EXPECT_STREQ(DB_instance_get_xerr(in->in).ext_msg, "Invalid version name");

  VERSION got;
  ASSERT_EQ(DB_version_get_by_name(in->in, "ZUL", "work", &got), 0);
  EXPECT_EQ(got.state_id, 0);
  // a move from a state the version no longer has is refused
  ASSERT_EQ(DB_sp_versions_def_change_state(in->in, &got, 0), 0);
  VERSION stale = got;
  stale.state_id = 3;
  EXPECT_EQ(DB_sp_versions_def_change_state(in->in, &stale, 0), SE_VERSION_HAS_MOVED);

  strcpy(got.description, "changed");
  ASSERT_EQ(DB_sp_versions_def_update(in->in, &got), 0) << DB_instance_get_xerr(in->in).ext_msg;
  ASSERT_EQ(DB_sp_versions_def_rename(in->in, "ZUL", "work", "done"), 0)
      << DB_instance_get_xerr(in->in).ext_msg;
  ASSERT_EQ(DB_version_get_by_name(in->in, "ZUL", "done", &got), 0);
  EXPECT_STREQ(got.description, "changed");
  ASSERT_EQ(DB_sp_versions_def_delete(in->in, "ZUL", "done"), 0) << DB_instance_get_xerr(in->in).ext_msg;
  EXPECT_EQ(DB_version_get_by_name(in->in, "ZUL", "done", &got), SE_VERSION_NOEXIST);
  EXPECT_EQ(DB_sp_versions_def_delete(in->in, "ZUL", "done"), SE_VERSION_NOEXIST);
}

TEST_F(VersionsTest, ObsoleteEntryPointsAnswerMinusOne) {
  EXPECT_EQ(DB_versions_def_change_state(), -1);
  EXPECT_EQ(DB_versions_def_delete(in->in), -1);
  EXPECT_EQ(DB_versions_def_rename(in->in, 1), -1);
  EXPECT_EQ(DB_versions_def_update(), -1);
}

}  // namespace
