// test_states.cpp -- the states table read directly (scan in rowsets,
// single states, children and versions, lineages, modified tables) and
// changed through the state procedures (insert, open, close, delete in
// batches, trim guard, range check, another user's state).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../comm/bitmap.h"
#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_version.h"

using dbtest::Instance;

namespace {

// An installed database (system tables and procedures) with an instance
// opened as the administrator ZUL.
class StatesTest : public dbtest::SpatialAdminTest {
 protected:
  void SetUp() override {
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);  // the procedures' library and bind file
    setenv("TZ", "UTC", 1);
    tzset();
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
  // A closed state row with its lineage rows, written beside the procedures.
  void add_state(int32_t id, int32_t parent, int32_t lineage, bool open = false) {
    std::string closing = open ? "NULL" : "CURRENT TIMESTAMP";
    ASSERT_EQ(w.exec("INSERT INTO ZUL.STATES (state_id, owner, creation_time, closing_time, "
                     "parent_state_id, lineage_name) VALUES (" +
                     std::to_string(id) + ", 'ZUL', CURRENT TIMESTAMP, " + closing + ", " +
                     std::to_string(parent) + ", " + std::to_string(lineage) + ")"),
              SQL_SUCCESS)
        << id;
  }
  void add_lineage_row(int32_t lineage, int32_t id) {
    ASSERT_EQ(w.exec("INSERT INTO ZUL.STATE_LINEAGES (lineage_name, lineage_id) VALUES (" +
                     std::to_string(lineage) + ", " + std::to_string(id) + ")"),
              SQL_SUCCESS);
  }
  // The chain 0 - 1 - ... - last on lineage last; the leaf is open.
  void chain(int32_t last) {
    for (int32_t i = 1; i <= last; ++i) add_state(i, i - 1, last, i == last);
    for (int32_t i = 0; i <= last; ++i) add_lineage_row(last, i);
  }
  std::vector<int32_t> lineage_of(const STATE& s) {
    int32_t* ids = nullptr;
    int32_t n = 0;
    EXPECT_EQ(db_state_lineage_ids(&s, &ids, &n), 0);
    std::vector<int32_t> out(ids, ids + n);
    free(ids);
    return out;
  }
};

TEST_F(StatesTest, ScanDeliversEveryStateAcrossRowsetsThenEndsAndNextFails) {
  chain(249);  // 250 states: rowsets of 100, 100 and 50
  STATE s;
  memset(&s, 0, sizeof s);
  ASSERT_EQ(DB_state_scan(in->in, SE_SCAN_START, nullptr, 1, &s), 0);
  std::set<int32_t> seen;
  int32_t status;
  while ((status = DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 1, &s)) == 0) {
    seen.insert(s.id);
    EXPECT_EQ(std::string(s.tag), "StA");
    EXPECT_EQ(s.lineage_length, s.id == 0 ? 0 : s.id) << s.id;  // its ancestors, not itself
    EXPECT_EQ(s.closing_time == 0, s.id == 249) << "only the open leaf reads 0: " << s.id;
    EXPECT_GT(s.creation_time, 0u);
  }
  EXPECT_EQ(status, SE_SCAN_FINISHED);
  EXPECT_EQ(seen.size(), 250u);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 0, &s), SE_STATE_SCAN_INACTIVE);

  // no matching state: the first next ends the scan
  ASSERT_EQ(DB_state_scan(in->in, SE_SCAN_START, "state_id < 0", 0, &s), 0);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 0, &s), SE_SCAN_FINISHED);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 0, &s), SE_STATE_SCAN_INACTIVE);

  // a restart and an explicit end
  ASSERT_EQ(DB_state_scan(in->in, SE_SCAN_START, "state_id > 240", 0, &s), 0);
  ASSERT_EQ(DB_state_scan(in->in, SE_SCAN_START, "state_id > 245", 0, &s), 0);
  int n = 0;
  while (DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 0, &s) == 0) ++n;
  EXPECT_EQ(n, 4);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_END, nullptr, 0, &s), 0);

  // a state without lineage rows ends the scan with a DBMS error
  add_state(400, 0, 400);
  ASSERT_EQ(DB_state_scan(in->in, SE_SCAN_START, "state_id = 400", 1, &s), 0);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 1, &s), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_state_scan(in->in, SE_SCAN_NEXT, nullptr, 1, &s), SE_STATE_SCAN_INACTIVE);
}

TEST_F(StatesTest, SingleStateReadsLineageChildrenAndVersions) {
  chain(249);
  STATE s;
  ASSERT_EQ(DB_state_get_by_id(in->in, 249, 1, &s), 0);
  std::vector<int32_t> want;
  for (int32_t i = 0; i < 249; ++i) want.push_back(i);
  EXPECT_EQ(lineage_of(s), want) << "three rowsets of lineage ids make one lineage";
  EXPECT_EQ(s.closing_time, 0u);
  free(s.lineage);

  ASSERT_EQ(DB_state_get_by_id(in->in, 0, 1, &s), 0);
  EXPECT_EQ(s.lineage_length, 0);
  ASSERT_NE(s.lineage, nullptr);
  EXPECT_EQ(s.lineage[0], 0) << "the root's lineage is the size 0 alone";
  EXPECT_NE(s.closing_time, 0u) << "the base state is created closed";
  free(s.lineage);

  EXPECT_EQ(DB_state_get_by_id(in->in, 999, 0, &s), SE_STATE_NOEXIST);

  struct Case { const char* name; int32_t (*fn)(DB_INSTANCE*, int32_t, int32_t*); int32_t id; int32_t want; } cases[] = {
      {"branch has children", DB_state_has_children, 248, 1},
      {"leaf has none", DB_state_has_children, 249, 0},
      {"missing state has none", DB_state_has_children, 999, 0},
      {"base state holds DEFAULT", DB_state_has_versions, 0, 1},
      {"other state holds none", DB_state_has_versions, 5, 0},
  };
  for (int round = 0; round < 2; ++round) {  // the second round re-executes the kept statements
    for (const Case& c : cases) {
      int32_t result = -1;
      EXPECT_EQ(c.fn(in->in, c.id, &result), 0) << c.name;
      EXPECT_EQ(result, c.want) << c.name;
    }
  }
}

TEST_F(StatesTest, ModifiedTablesSetOnlyPositiveRegistrationBits) {
  for (const char* row : {"(10, 0)", "(10, -1)", "(10, 3)", "(10, 5)", "(11, 7)", "(12, 9)"})
    ASSERT_EQ(w.exec(std::string("INSERT INTO ZUL.MVTABLES_MODIFIED (state_id, registration_id) VALUES ") + row),
              SQL_SUCCESS);
  SE_BITMAP* bits = SES_Bitmap_Create(64, 0);
  STATE s;
  memset(&s, 0, sizeof s);
  s.id = 10;
  ASSERT_EQ(DB_state_get_modified_mvtables(in->in, &s, bits), 0);
  std::vector<int32_t> set;
  for (int32_t b = SES_Bitmap_Scan(bits, 0, 1); b >= 0; b = SES_Bitmap_Scan(bits, b + 1, 1)) set.push_back(b);
  EXPECT_EQ(set, (std::vector<int32_t>{2, 4}));

  SES_Bitmap_Clear(bits, 0);
  ASSERT_EQ(DB_state_list_get_modified_mvtables(in->in, nullptr, "10,11", bits), 0);
  set.clear();
  for (int32_t b = SES_Bitmap_Scan(bits, 0, 1); b >= 0; b = SES_Bitmap_Scan(bits, b + 1, 1)) set.push_back(b);
  EXPECT_EQ(set, (std::vector<int32_t>{2, 4, 6}));

  EXPECT_EQ(DB_state_unflag_modified_mvtables(in->in, &s), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.MVTABLES_MODIFIED"), 6);

  // without the table there is nothing to set, and that is no failure
  ASSERT_EQ(w.exec("DROP TABLE ZUL.MVTABLES_MODIFIED"), SQL_SUCCESS);
  SES_Bitmap_Clear(bits, 0);
  EXPECT_EQ(DB_state_get_modified_mvtables(in->in, &s, bits), 0);
  EXPECT_EQ(SES_Bitmap_Scan(bits, 0, 1), -1);
  SES_Bitmap_Destroy(bits);
}

TEST_F(StatesTest, ObsoleteEntryPointsAnswerMinusOne) {
  EXPECT_EQ(DB_states_def_delete(), -1);
  EXPECT_EQ(DB_states_def_trim_lineage(in->in, 1, 2), -1);
  EXPECT_EQ(DB_states_def_update(in->in), -1);
}

TEST_F(StatesTest, ProceduresCreateCloseOpenAndDeleteStates) {
  STATE base;
  ASSERT_EQ(DB_state_get_by_id(in->in, 0, 1, &base), 0);
  int32_t id = 0, lineage = -1;
  base.closing_time = 0;  // the new state is open
  ASSERT_EQ(DB_sp_states_def_insert(in->in, &base, &id, &lineage), 0);
  free(base.lineage);
  EXPECT_GT(id, 0);
  STATE child;
  ASSERT_EQ(DB_state_get_by_id(in->in, id, 1, &child), 0);
  EXPECT_EQ(child.closing_time, 0u);
  EXPECT_EQ(child.lineage_name, lineage);
  EXPECT_EQ(lineage_of(child), std::vector<int32_t>{0});

  // closing returns the stored time in seconds
  child.closing_time = 1;
  uint32_t closed = 0;
  time_t before = time(nullptr);
  ASSERT_EQ(DB_sp_states_def_update(in->in, &child, &closed), 0);
  EXPECT_GE((time_t)closed, before - 1);
  EXPECT_LE((time_t)closed, time(nullptr) + 1);
  STATE reread;
  ASSERT_EQ(DB_state_get_by_id(in->in, id, 0, &reread), 0);
  EXPECT_EQ(reread.closing_time, closed);

  // a closed state with a child may not go; the range check says why
  // the new state's record carries its lineage: the parent's path
  STATE next = child;
  std::vector<int32_t> path = {0, id};
  ASSERT_EQ(db_state_lineage_pack(path.data(), 2, &next.lineage), 0);
  next.lineage_length = 2;
  next.closing_time = 0;
  int32_t grandchild = 0, gl = 0;
  ASSERT_EQ(DB_sp_states_def_insert(in->in, &next, &grandchild, &gl), 0);
  free(next.lineage);
  STATE g;
  ASSERT_EQ(DB_state_get_by_id(in->in, grandchild, 1, &g), 0);
  EXPECT_EQ(lineage_of(g), path);
  free(g.lineage);
  EXPECT_EQ(DB_state_range_delete_ok(in->in, id, grandchild), 0);
  EXPECT_EQ(DB_state_range_delete_ok(in->in, id, id), SE_STATE_HAS_CHILDREN);
  EXPECT_EQ(DB_instance_get_xerr(in->in).native, 0);
  EXPECT_STREQ(DB_instance_get_xerr(in->in).msg, "Error executing stored procedure zul.range_delete_ok");
  EXPECT_STRNE(DB_instance_get_xerr(in->in).ext_msg, "");
  free(child.lineage);

  // open again
  reread.closing_time = 0;
  ASSERT_EQ(DB_sp_states_def_update(in->in, &reread, nullptr), 0);
  ASSERT_EQ(DB_state_get_by_id(in->in, id, 0, &reread), 0);
  EXPECT_EQ(reread.closing_time, 0u);

  // a trim whose guard is not the high state calls nothing
  EXPECT_EQ(DB_sp_states_def_trim_lineage(in->in, 5, 0, grandchild), 0);

  // another user's state: no permission, with the procedure's text
  {
    Instance bob;
    ASSERT_EQ(bob.status, 0);
    STATE theirs = reread;
    theirs.closing_time = 1;
    EXPECT_EQ(DB_sp_states_def_update(bob.in, &theirs, nullptr), -25);
    EXPECT_STREQ(DB_instance_get_xerr(bob.in).msg, "Error executing stored procedure zul.close_state");
    EXPECT_NE(std::string(DB_instance_get_xerr(bob.in).ext_msg).find(std::to_string(id)), std::string::npos);
    int32_t list[] = {grandchild};
    EXPECT_EQ(DB_sp_states_def_delete(bob.in, list, 1), -25);
    db_versioning_release(bob.in);
  }
  int32_t list[] = {grandchild};
  ASSERT_EQ(DB_sp_states_def_delete(in->in, list, 1), 0);
  EXPECT_EQ(DB_state_get_by_id(in->in, grandchild, 0, &reread), SE_STATE_NOEXIST);
  EXPECT_EQ(DB_sp_states_def_delete(in->in, list, 0), 0) << "nothing to delete";
}

TEST_F(StatesTest, DeletingManyStatesGoesInBatchesThatFitTheListParameter) {
  // 450 states with ten-digit ids: 200 of them would not fit the 2048
  // characters of the procedure's list, so the batches are made smaller.
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < 450; ++i) ids.push_back(1000000000 + i);
  for (int32_t id : ids) {
    add_state(id, 0, id);
    add_lineage_row(id, 0);
    add_lineage_row(id, id);
  }
  ASSERT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATES"), 451);
  ASSERT_EQ(DB_sp_states_def_delete(in->in, ids.data(), (int32_t)ids.size()), 0)
      << DB_instance_get_xerr(in->in).ext_msg;
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATES"), 1);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE lineage_id <> 0"), 0);
}

}  // namespace
