// test_logfile.cpp -- log files on a db2lite database: the owner's two
// tables, names and their separators, handling on and off, ids written and
// read through handles (batches, duplicates, take-outs), open modes, set
// operations in place, and the temporary log files of a session.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_logfile.h"
#include "zul_shared.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

PROC_INFO g_own = {1234, 1234, 5678, {0}, "BOB"};

int32_t own_process(void*, PROC_INFO** out) {
  *out = &g_own;
  return 0;
}

// Only this process is alive.
int32_t process_by_id(void*, int32_t pid, PROC_INFO** out) {
  if (pid != g_own.pid) return -1;
  *out = &g_own;
  return 0;
}

void fake_registration(REGISTRATION* out) {
  memset(out, 0, sizeof *out);
  memcpy(out->tag, "ReG", 4);
  out->id = 7;
  strcpy(out->owner, "BOB");
  strcpy(out->table, "ROADS");
  strcpy(out->rowid_column, "OBJECTID");
}

int32_t reg_by_name(void*, const char* table, REGISTRATION* out) {
  if (strstr(table, "ROADS") == nullptr && strstr(table, "roads") == nullptr) return SE_TABLE_NOEXIST;
  fake_registration(out);
  return 0;
}

int32_t reg_by_id(void*, int32_t id, REGISTRATION* out) {
  if (id != 7) return SE_TABLE_NOEXIST;
  fake_registration(out);
  return 0;
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    {
      Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
      ASSERT_EQ(DB_instance_system_tables_create(zul.in, storage.get()), 0);
    }
    in = open();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(DB_log_system_tables_exist(in), SE_TABLE_NOEXIST);
    ASSERT_EQ(DB_log_system_tables_create(in), 0);
    ASSERT_EQ(DB_log_system_tables_exist(in), 0);
    ASSERT_EQ(DB_log_init(in), 0);
  }
  void TearDown() override {
    if (in != nullptr) {
      DB_log_end(in);
      DB_instance_close(in);
    }
    unsetenv("ZULHOME");
  }
  DB_INSTANCE* open() {
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.own_process = own_process;
    p.process_by_id = process_by_id;
    p.registration_by_name = reg_by_name;
    p.registration_by_id = reg_by_id;
    DB_INSTANCE* out = nullptr;
    if (DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &out) != 0) {
      DB_instance_close(out);
      return nullptr;
    }
    return out;
  }
  // A table log file of ROADS.
  LOGFILE record(const char* name, int32_t flags = SE_LOG_TARGET_TABLE | SE_LOG_PERSISTENT) {
    LOGFILE l;
    memset(&l, 0, sizeof l);
    memcpy(l.tag, "LoG", 4);
    strcpy(l.name, name);
    strcpy(l.target, "BOB.ROADS");
    l.flags = flags;
    return l;
  }
  int32_t write_ids(const char* name, const std::vector<int32_t>& ids, int32_t mode = SE_LOG_OPEN_REWRITE) {
    LOGFILE l = record(name);
    int32_t fd = 0;
    int32_t status = DB_log_open(in, &l, mode, &fd);
    if (status != 0) return status;
    status = DB_log_add_id_list(in, fd, ids.data(), (int32_t)ids.size());
    int32_t closed = DB_log_close(in, fd);
    return status != 0 ? status : closed;
  }
  std::vector<int32_t> read_ids(const char* name) {
    LOGFILE l = record(name);
    int32_t fd = 0;
    std::vector<int32_t> out;
    if (DB_log_open(in, &l, SE_LOG_OPEN_READ, &fd) != 0) return out;
    int32_t buf[64], n = 0, status = 0;
    do {
      status = DB_log_get_id_list(in, fd, 64, buf, &n);
      out.insert(out.end(), buf, buf + n);
    } while (status == 0);
    DB_log_close(in, fd);
    std::sort(out.begin(), out.end());
    return out;
  }
  int32_t count(const char* name) {
    LOGFILE l;
    int32_t n = -1;
    if (DB_log_get_by_name(in, name, &l) != 0) return -1;
    return DB_log_count(in, &l, &n) == 0 ? n : -1;
  }
  Database db;
  DB_INSTANCE* in = nullptr;
};

TEST_F(LogFileTest, SeparatorsNameTheSameLogFile) {
  const struct {
    const char* given;
    const char* owner;
    const char* name;
  } kCases[] = {
      {"OWNER|LF1", "OWNER", "LF1"}, {"OWNER\\LF1", "OWNER", "LF1"}, {"OWNER;LF1", "OWNER", "LF1"},
      {"OWNER.LF1", "OWNER", "LF1"}, {"P|Q|R", "P|Q", "R"},          {"P\\Q|R", "P", "Q|R"},
      {"LF1", "BOB", "LF1"},
  };
  for (const auto& c : kCases) {
    char owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
    ASSERT_EQ(db_log_parse_name(in, c.given, "BOB", nullptr, owner, name), 0) << c.given;
    EXPECT_STREQ(owner, c.owner) << c.given;
    EXPECT_STREQ(name, c.name) << c.given;
  }
  // a quote can never end a literal of the statements
  EXPECT_EQ(db_log_parse_name(in, "BOB.A'B", "BOB", nullptr, nullptr, nullptr), SE_INVALID_PARAM);
  EXPECT_EQ(db_log_parse_name(in, nullptr, "BOB", nullptr, nullptr, nullptr), SE_INVALID_PARAM);
}

TEST_F(LogFileTest, HandlingOffRefusesAndEndWithoutInitIsFine) {
  ASSERT_EQ(DB_log_end(in), 0);
  LOGFILE l = record("LF");
  int32_t fd = 0, n = 0;
  char name[SE_LOGFILE_NAME_LEN];
  EXPECT_EQ(DB_log_create(in, &l), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_delete(in, "LF"), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_get_by_name(in, "LF", &l), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_count(in, &l, &n), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_make_name(in, name), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_open(in, &l, SE_LOG_OPEN_READ, &fd), SE_LOGFILE_OFF);
  EXPECT_EQ(DB_log_end(in), 0);
  ASSERT_EQ(DB_log_init(in), 0);
}

TEST_F(LogFileTest, CreateReadDeleteAndTemporaryNames) {
  LOGFILE l = record("LF1");
  ASSERT_EQ(DB_log_create(in, &l), 0);
  EXPECT_STREQ(l.name, "BOB.LF1");
  EXPECT_EQ(l.session_tag, 0u);  // persistent
  EXPECT_EQ(l.id, l.data_id);
  LOGFILE dup = record("LF1");
  EXPECT_EQ(DB_log_create(in, &dup), SE_DB_IO_ERROR);
  LOGFILE got;
  ASSERT_EQ(DB_log_get_by_name(in, "BOB|LF1", &got), 0);
  EXPECT_EQ(got.id, l.id);
  EXPECT_STREQ(got.target, "BOB.ROADS");
  EXPECT_EQ(db_log_reg_id(got), 7);

  char name[SE_LOGFILE_NAME_LEN];
  ASSERT_EQ(DB_log_make_name(in, name), 0);
  EXPECT_STREQ(name, "BOB.XX12345678_0");
  ASSERT_EQ(DB_log_make_name(in, name), 0);
  EXPECT_STREQ(name, "BOB.XX12345678_1");

  EXPECT_EQ(DB_log_delete(in, "NOSUCH"), SE_LOGFILE_NOEXIST);
  int32_t fd = 0;
  ASSERT_EQ(DB_log_open(in, &got, SE_LOG_OPEN_READ, &fd), 0);
  EXPECT_EQ(DB_log_delete(in, "LF1"), SE_LOGFILE_IS_OPEN);
  ASSERT_EQ(DB_log_close(in, fd), 0);
  EXPECT_EQ(DB_log_close(in, fd), SE_INVALID_LOGFILE_FDES);
  EXPECT_EQ(DB_log_delete(in, "LF1"), 0);
  EXPECT_EQ(DB_log_get_by_name(in, "LF1", &got), SE_LOGFILE_NOEXIST);

  // a table without registration, and one without a row-id column
  LOGFILE bad = record("LF2");
  strcpy(bad.target, "BOB.NOPE");
  EXPECT_EQ(DB_log_create(in, &bad), SE_TABLE_NOEXIST);
}

TEST_F(LogFileTest, IdsGoInBatchesAndComeBackDistinct) {
  LOGFILE l = record("LF");
  int32_t fd = 0;
  ASSERT_EQ(DB_log_open(in, &l, SE_LOG_OPEN_NEW, &fd), 0);
  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 250; ++i) ids.push_back(i);
  ids.push_back(0);
  ids.push_back(-5);
  ids.push_back(3);  // a duplicate
  ASSERT_EQ(DB_log_add_id_list(in, fd, ids.data(), (int32_t)ids.size()), 0);
  EXPECT_EQ(count("LF"), 250);  // counting writes what is pending first

  // a second writer of the same log file is refused, a reader sees everything
  LOGFILE again = record("LF");
  int32_t fd2 = 0;
  for (int32_t mode : {SE_LOG_OPEN_REWRITE, SE_LOG_OPEN_APPEND, SE_LOG_OPEN_NEW})
    EXPECT_EQ(DB_log_open(in, &again, mode, &fd2), SE_LOGFILE_ALREADY_OPEN) << mode;
  ASSERT_EQ(DB_log_close(in, fd), 0);

  ASSERT_EQ(DB_log_open(in, &again, SE_LOG_OPEN_READ, &fd2), 0);
  std::vector<int32_t> out(150);
  int32_t n = 0;
  EXPECT_EQ(DB_log_add_id_list(in, fd2, ids.data(), 1), SE_LOGFILE_OFF);  // reading handle
  EXPECT_EQ(DB_log_get_id_list(in, fd2, 150, out.data(), &n), 0);
  EXPECT_EQ(n, 150);
  EXPECT_EQ(DB_log_get_id_list(in, fd2, 150, out.data(), &n), SE_FINISHED);
  EXPECT_EQ(n, 100);
  EXPECT_EQ(DB_log_get_id_list(in, fd2, 150, out.data(), &n), SE_FINISHED);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(DB_log_close(in, fd2), 0);

  // sorting leaves one stored copy
  Watcher w("BOB", dbtest::kUserPw);
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.zul_logfile_data WHERE zul_row_id = 3 AND logfile_data_id > 0"), 2);
  int32_t sorted = 0;
  ASSERT_EQ(DB_log_sort(in, "LF", &sorted), 0);
  EXPECT_EQ(sorted, 250);
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  LOGFILE now;
  ASSERT_EQ(DB_log_get_by_name(in, "LF", &now), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.zul_logfile_data WHERE zul_row_id = 3 AND logfile_data_id = " +
                     std::to_string(now.data_id)),
            1);
}

TEST_F(LogFileTest, TakingOutMovesEveryCopyAndModesKeepOrEmpty) {
  ASSERT_EQ(write_ids("LF", {1, 2, 2, 3, 4}), 0);
  LOGFILE l = record("LF");
  int32_t fd = 0;
  ASSERT_EQ(DB_log_open(in, &l, SE_LOG_OPEN_APPEND, &fd), 0);
  const int32_t gone[] = {2, 0, 9};
  ASSERT_EQ(DB_log_delete_id_list(in, fd, gone, 3), 0);
  const int32_t more[] = {5};
  ASSERT_EQ(DB_log_add_id_list(in, fd, more, 1), 0);  // writes the take-outs first
  ASSERT_EQ(DB_log_close(in, fd), 0);
  EXPECT_EQ(read_ids("LF"), (std::vector<int32_t>{1, 3, 4, 5}));

  EXPECT_EQ(DB_log_open(in, &l, SE_LOG_OPEN_NEW, &fd), SE_LOGFILE_EXISTS);
  ASSERT_EQ(write_ids("LF", {8}, SE_LOG_OPEN_APPEND), 0);
  EXPECT_EQ(read_ids("LF"), (std::vector<int32_t>{1, 3, 4, 5, 8}));
  ASSERT_EQ(write_ids("LF", {9}, SE_LOG_OPEN_REWRITE), 0);
  EXPECT_EQ(read_ids("LF"), (std::vector<int32_t>{9}));

  // the stored log file belongs to another table than the one named
  LOGFILE other = record("LF");
  strcpy(other.target, "BOB.RIVERS");
  EXPECT_EQ(DB_log_open(in, &other, SE_LOG_OPEN_READ, &fd), SE_LOGFILE_EXISTS);
}

TEST_F(LogFileTest, SetOperationsCopyAndInPlaceCombine) {
  ASSERT_EQ(write_ids("A", {1, 2, 3, 4}), 0);
  ASSERT_EQ(write_ids("B", {3, 4, 5}), 0);
  const struct {
    int32_t op;
    std::vector<int32_t> ids;
  } kCases[] = {
      {SE_LOG_INTERSECT, {3, 4}},
      {SE_LOG_UNION, {1, 2, 3, 4, 5}},
      {SE_LOG_DIFFERENCE, {1, 2}},
      {SE_LOG_SYM_DIFFERENCE, {1, 2, 5}},
  };
  for (const auto& c : kCases) {
    std::string r = "R" + std::to_string(c.op);
    int32_t n = 0;
    ASSERT_EQ(DB_log_combine(in, "A", "B", r.c_str(), c.op, &n), 0) << c.op;
    EXPECT_EQ(n, (int32_t)c.ids.size()) << c.op;
    EXPECT_EQ(read_ids(r.c_str()), c.ids) << c.op;
  }
  int32_t n = 0;
  EXPECT_EQ(DB_log_combine(in, "A", "B", "R1", SE_LOG_UNION, &n), SE_LOGFILE_EXISTS);
  EXPECT_EQ(DB_log_combine(in, "A", "B", "RX", 5, &n), SE_INVALID_PARAM);

  // in place: A becomes A minus B, and no temporary log file is left
  ASSERT_EQ(DB_log_combine(in, "A", "B", "A", SE_LOG_DIFFERENCE, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(read_ids("A"), (std::vector<int32_t>{1, 2}));
  LOGFILE* list = nullptr;
  int32_t listed = 0;
  ASSERT_EQ(DB_log_get_by_owner(in, nullptr, &list, &listed), 0);
  for (int32_t i = 0; i < listed; ++i) EXPECT_EQ(strstr(list[i].name, ".XX"), nullptr) << list[i].name;
  free(list);

  ASSERT_EQ(DB_log_copy(in, "B", "A"), 0);  // replaces A
  EXPECT_EQ(read_ids("A"), (std::vector<int32_t>{3, 4, 5}));
}

TEST_F(LogFileTest, TemporaryLogFilesEndWithTheirSession) {
  LOGFILE temp = record("TMP", SE_LOG_TARGET_TABLE | SE_LOG_DELETE_DATA);
  LOGFILE kept = record("KEEP");
  ASSERT_EQ(DB_log_create(in, &temp), 0);
  EXPECT_EQ(temp.session_tag, 12345678u);
  ASSERT_EQ(DB_log_create(in, &kept), 0);
  ASSERT_EQ(DB_trans_def_commit(in), 0);

  // a live session's temporary log file survives another connection's start
  {
    DB_INSTANCE* other = open();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(DB_log_init(other), 0);
    LOGFILE got;
    EXPECT_EQ(DB_log_get_by_name(other, "TMP", &got), 0);
    DB_log_end(other);
    DB_instance_close(other);
  }
  // once its process is gone, the next start removes it
  g_own.pid = 4321;
  {
    DB_INSTANCE* other = open();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(DB_log_init(other), 0);
    LOGFILE got;
    EXPECT_EQ(DB_log_get_by_name(other, "TMP", &got), SE_LOGFILE_NOEXIST);
    EXPECT_EQ(DB_log_get_by_name(other, "KEEP", &got), 0);
    DB_log_end(other);
    DB_instance_close(other);
  }
  g_own.pid = 1234;
}

}  // namespace
