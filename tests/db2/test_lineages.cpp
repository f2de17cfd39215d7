// test_lineages.cpp -- the SQL texts that restrict rows to states: the
// lineage of a state with markers or numbers (and the instance's lineage
// condition), the part of one path not on another, a lineage from an
// ancestor up, and the choice between an inline list and a log file.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_logfile.h"
#include "zul_db_version.h"
#include "zul_shared.h"

namespace {

// A state with the given lineage ids (root first, without itself).
struct TestState {
  STATE s;
  TestState(int32_t id, int32_t lineage_name, std::vector<int32_t> ids) {
    memset(&s, 0, sizeof s);
    memcpy(s.tag, SE_STATE_TAG, 4);
    s.id = id;
    s.lineage_name = lineage_name;
    s.lineage_length = (int32_t)ids.size();
    EXPECT_EQ(db_state_lineage_pack(ids.data(), (int32_t)ids.size(), &s.lineage), 0);
  }
  ~TestState() { free(s.lineage); }
};

std::string take(char* text) {
  std::string out = text != nullptr ? text : "<null>";
  free(text);
  return out;
}

// The instance is not used by the pure texts: a zeroed record stands in.
struct FakeInstance {
  DB_INSTANCE* in = static_cast<DB_INSTANCE*>(calloc(1, sizeof(DB_INSTANCE)));
  ~FakeInstance() {
    db_versioning_release(in);
    free(in);
  }
};

TEST(LineageStrings, LineageWithMarkersOrNumbersAndTypeTwoSetsTheCondition) {
  unsetenv("ZULPRETTYSQL");
  FakeInstance f;
  TestState st(7, 9, {0, 3, 5});
  char* text = nullptr;
  ASSERT_EQ(DB_state_lineage_string(f.in, &st.s, nullptr, 0, &text, 0, 0, 1), 0);
  EXPECT_EQ(take(text),
            "SELECT  l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = 9 AND "
            "l.lineage_id <= 7");
  EXPECT_EQ(db_state_lineage_condition(f.in).text, nullptr) << "only type 2 sets the condition";

  ASSERT_EQ(DB_state_lineage_string(f.in, &st.s, nullptr, 0, &text, 1, 0, 2), 0);
  EXPECT_EQ(take(text),
            "SELECT  l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = ? AND "
            "l.lineage_id <= ?");
  DB_LINEAGE_CONDITION lc = db_state_lineage_condition(f.in);
  ASSERT_NE(lc.text, nullptr);
  EXPECT_STREQ(lc.text, " SL.lineage_name = ? AND SL.lineage_id <= ? ");
  EXPECT_EQ(lc.lineage_name, 9);
  EXPECT_EQ(lc.state_id, 7);

  setenv("ZULPRETTYSQL", "1", 1);
  ASSERT_EQ(DB_state_lineage_string(f.in, &st.s, nullptr, 0, &text, 0, 0, 2), 0);
  EXPECT_EQ(take(text),
            "SELECT  l.lineage_id \nFROM ZUL.state_lineages l \nWHERE l.lineage_name = 9 AND \n"
            "l.lineage_id <= 7\n");
  EXPECT_STREQ(db_state_lineage_condition(f.in).text, " SL.lineage_name = 9 AND SL.lineage_id <= 7 \n");
  unsetenv("ZULPRETTYSQL");
}

TEST(LineageStrings, SublineageIsNullOnTheOtherPathElseSelectsAboveTheSharedState) {
  unsetenv("ZULPRETTYSQL");
  // tree: 0 - 1 - 2 - 4 ; 1 - 3 (lineage 3)
  TestState s0(0, 0, {}), s1(1, 4, {0}), s2(2, 4, {0, 1}), s4(4, 4, {0, 1, 2}), s3(3, 3, {0, 1});
  struct Case { const char* name; const STATE* a; const STATE* b; const char* want; } cases[] = {
      {"A is B", &s2.s, &s2.s, "<null>"},
      {"A an ancestor of B", &s1.s, &s4.s, "<null>"},
      {"root an ancestor of all", &s0.s, &s3.s, "<null>"},
      {"A a child of B selects A alone", &s4.s, &s2.s,
       "SELECT  l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = 4 AND "
       "l.lineage_id <= 4 AND l.lineage_id > 2"},
      {"siblings share state 1", &s3.s, &s4.s,
       "SELECT  l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = 3 AND "
       "l.lineage_id <= 3 AND l.lineage_id > 1"},
      {"the other way round", &s4.s, &s3.s,
       "SELECT  l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = 4 AND "
       "l.lineage_id <= 4 AND l.lineage_id > 1"},
  };
  for (const Case& c : cases) {
    char* text = reinterpret_cast<char*>(1);
    EXPECT_EQ(DB_state_sublineage_string(nullptr, c.a, c.b, nullptr, 0, nullptr, &text, 0, 1), 0)
        << c.name;
    EXPECT_EQ(take(text), c.want) << c.name;
  }
}

TEST(LineageStrings, PartialLineageNeedsAnAncestorAndDamagedLineageIsRefused) {
  unsetenv("ZULPRETTYSQL");
  TestState st(6, 6, {0, 2, 4});
  char* text = nullptr;
  ASSERT_EQ(DB_state_partial_lineage_string(nullptr, &st.s, 2, nullptr, &text), 0);
  EXPECT_EQ(take(text),
            "SELECT l.lineage_id FROM ZUL.state_lineages l WHERE l.lineage_name = 6 AND "
            "l.lineage_id <= 6 AND l.lineage_id >= 2");
  for (int32_t x : {6, 3, -1}) {
    text = reinterpret_cast<char*>(1);
    EXPECT_EQ(DB_state_partial_lineage_string(nullptr, &st.s, x, nullptr, &text),
              SE_STATE_NOT_ON_LINEAGE) << x;
    EXPECT_EQ(text, nullptr) << x;
  }
  // a lineage length beyond the packed data is refused, never read past
  STATE bad = st.s;
  bad.lineage_length = 40;
  EXPECT_EQ(DB_state_partial_lineage_string(nullptr, &bad, 2, nullptr, &text), SE_INVALID_PARAM);
}

// Writes "inline" so that a test can see the formatter ran.
int32_t inline_list(const int32_t*, int32_t, char** text) {
  *text = strdup("inline");
  return 0;
}

// In a child process (the threshold is read once per process): 1 when a
// list of count ids went inline, 2 when it took the log-file path.
int list_goes_inline(const char* env, int32_t count) {
  if (env != nullptr) setenv("ZULTHRESHOLD", env, 1);
  else unsetenv("ZULTHRESHOLD");
  FakeInstance f;  // log files are off on it: the long path fails at once
  std::vector<int32_t> ids((size_t)count, 1);
  char* text = nullptr;
  int32_t status = DB_state_list_string(f.in, ids.data(), count, inline_list, &text);
  bool was_inline = status == 0 && text != nullptr && strcmp(text, "inline") == 0;
  free(text);
  return was_inline ? 1 : 2;
}

TEST(LineageStrings, ThresholdDecidesBetweenInlineListAndLogFile) {
  struct Case { const char* env; int32_t count; int want; } cases[] = {
      {nullptr, 149, 1}, {nullptr, 150, 2}, {"500", 499, 1}, {"500", 500, 2},
      {"5000", 998, 1},  {"5000", 999, 2},  {"-3", 149, 1},  {"-3", 150, 2},
      {"abc", 149, 1},   {"abc", 150, 2},   {"20", 149, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(exit(list_goes_inline(c.env, c.count)), ::testing::ExitedWithCode(c.want), "")
        << (c.env ? c.env : "unset") << " " << c.count;
  }
}

TEST(LineageStrings, FreeingANullTextWithoutLogFileDoesNothing) {
  FakeInstance f;
  EXPECT_EQ(DB_state_list_string_free(f.in, nullptr), 0);
  EXPECT_EQ(DB_state_list_string_free(nullptr, nullptr), 0);
}

// ---- long lists in a log file, on a real database ----

PROC_INFO g_own = {1234, 1234, 5678, {0}, "BOB"};

int32_t own_process(void*, PROC_INFO** out) {
  *out = &g_own;
  return 0;
}

class LongListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("ZULTHRESHOLD");
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
      ASSERT_EQ(DB_instance_system_tables_create(zul.in, storage.get()), 0);
    }
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.own_process = own_process;
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);
    ASSERT_EQ(DB_log_system_tables_create(in), 0);
    ASSERT_EQ(DB_log_init(in), 0);
  }
  void TearDown() override {
    if (in == nullptr) return;
    db_versioning_release(in);
    DB_log_end(in);
    DB_instance_close(in);
  }
  // Counts on the instance's own connection: the log file's rows are part
  // of its open unit of work.
  long long scalar(const std::string& sql) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (db_open_cursor(in, nullptr, &h) != 0) return -999999;
    SQLBIGINT v = -999999;
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) || !SQL_SUCCEEDED(SQLFetch(h)) ||
        !SQL_SUCCEEDED(SQLGetData(h, 1, SQL_C_SBIGINT, &v, 0, &ind)))
      v = -999999;
    db_free_stmt(&h);
    return v;
  }
  dbtest::Database db;
  dbtest::Watcher w;
  DB_INSTANCE* in = nullptr;
};

TEST_F(LongListTest, LongListSelectsFromALogFileUntilFreedOrReplaced) {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < 300; ++i) ids.push_back(1000 + i);
  char* text = nullptr;
  ASSERT_EQ(DB_state_list_string(in, ids.data(), (int32_t)ids.size(), inline_list, &text), 0)
      << DB_instance_get_xerr(in).msg;
  std::string first = text;
  EXPECT_EQ(first.rfind("SELECT DISTINCT zul_row_id FROM BOB.ZUL_LOGFILE_DATA WHERE "
                        "BOB.ZUL_LOGFILE_DATA.logfile_data_id = ", 0), 0u) << first;
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM (" + first + ") x"), 300);

  // the next long list replaces the first one's log file
  char* second = nullptr;
  ASSERT_EQ(DB_state_list_string(in, ids.data(), 200, inline_list, &second), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM (" + first + ") x"), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM (" + std::string(second) + ") x"), 200);
  free(text);

  ASSERT_EQ(DB_state_list_string_free(in, second), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM BOB.ZUL_LOGFILE_DATA"), 0);
  EXPECT_EQ(DB_state_list_string_free(in, nullptr), 0) << "nothing left to remove";
}

}  // namespace
