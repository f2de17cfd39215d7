// test_instance.cpp -- opening and closing a DB2 instance against a real
// db2lite database: logins, the administrative database, the failure codes
// with the last error the server program reports, and the user checks.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "db_test_support.h"
#include "dl_fault.h"

using dbtest::Database;
using dbtest::Instance;

namespace {

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(db.error(), ""); }
  void TearDown() override {
    dl::dl_fault_clear();
    unsetenv("ZUL_DATABASE");
    unsetenv("DB2CODEPAGE");
  }
  Database db;
};

TEST_F(InstanceTest, GoodLoginsReachTheAdministrativeDatabase) {
  // Every connect text that names the administrative database, in any case.
  const char* texts[] = {"", "null=database", "ZUL", "zul", "Zul;1252"};
  for (const char* text : texts) {
    Instance in("bob", dbtest::kUserPw, text);
    ASSERT_EQ(in.status, 0) << "connect text '" << text << "': " << in->xerr.msg;
    char user[SE_DB_NAME_LEN], dbname[SE_DB_NAME_LEN];
    EXPECT_EQ(DB_instance_get_current_user(in.in, user), 0);
    EXPECT_STREQ(user, "BOB") << text;
    EXPECT_STREQ(in->current_database, "ZUL") << text;
    EXPECT_EQ(DB_instance_get_admin_database(in.in, dbname), 0);
    EXPECT_STREQ(dbname, "zul") << text;
    EXPECT_EQ(in->xerr.code, 0) << text;
    EXPECT_EQ(in->user_trans, 0);
    EXPECT_STREQ(in->literal_prefix, "'");
    EXPECT_EQ(in->trans_capable, 1);
  }
}

TEST_F(InstanceTest, FailedOpensGiveTheirCodeAndKeepTheError) {
  struct Case {
    const char* name;
    const char* zul_database;  // value of ZUL_DATABASE, or null
    const char* connect;
    const char* user;
    const char* password;
    bool as_dba;
    int32_t status;
    const char* sqlstate;  // of the recorded error; "" for an empty block
  };
  const Case cases[] = {
      {"wrong password", nullptr, "", "BOB", "nope", false, SE_LOGIN_NOT_ALLOWED, "08004"},
      {"unknown user", nullptr, "", "EVE", "evepw", false, SE_LOGIN_NOT_ALLOWED, "08004"},
      {"dba with a wrong password", nullptr, nullptr, nullptr, "nope", true, SE_DBA_PASSWORD_MISMATCH, "08004"},
      {"ZUL_DATABASE names a missing database", "NOSUCH", "", "BOB", "bobpw", false, SE_DB_NOT_REACHABLE, "08001"},
      {"dba on a missing database", "NOSUCH", nullptr, nullptr, "zulpw", true, SE_DB_NOT_REACHABLE, "08001"},
      {"another database", nullptr, "OTHER", "BOB", "bobpw", false, SE_NOT_ADMIN_DATABASE, ""},
  };
  for (const Case& c : cases) {
    if (c.zul_database) setenv("ZUL_DATABASE", c.zul_database, 1);
    else unsetenv("ZUL_DATABASE");
    DB_INSTANCE* in = nullptr;
    int32_t status = c.as_dba ? DB_instance_open_as_dba(c.password, nullptr, &in)
                              : DB_instance_open(c.connect, c.user, c.password, nullptr, nullptr, &in);
    EXPECT_EQ(status, c.status) << c.name;
    ASSERT_NE(in, nullptr) << c.name;  // the half-open instance stays readable
    EXTENDED_ERROR e = DB_instance_get_xerr(in);
    EXPECT_STREQ(e.ext_msg, c.sqlstate) << c.name;
    if (c.sqlstate[0] != '\0') {
      EXPECT_EQ(e.code, SE_DB_IO_ERROR) << c.name;
      EXPECT_NE(e.native, 0) << c.name;
      EXPECT_NE(strstr(e.msg, "SQL"), nullptr) << c.name << ": " << e.msg;
    } else {
      EXPECT_EQ(e.code, 0) << c.name;
    }
    EXPECT_EQ(DB_instance_close(in), 0) << c.name;
  }
}

TEST_F(InstanceTest, CodePageAfterTheSemicolonIsSetEvenWhenTheDatabaseIsRefused) {
  unsetenv("DB2CODEPAGE");
  DB_INSTANCE* in = nullptr;
  EXPECT_EQ(DB_instance_open("otherdb;1252", "BOB", "bobpw", nullptr, nullptr, &in), SE_NOT_ADMIN_DATABASE);
  ASSERT_NE(getenv("DB2CODEPAGE"), nullptr);
  EXPECT_STREQ(getenv("DB2CODEPAGE"), "1252");
  EXPECT_TRUE(in->hdbc == SQL_NULL_HDBC);  // nothing was connected
  DB_instance_close(in);
}

TEST_F(InstanceTest, ZulDatabaseRenamesTheAdministrativeDatabase) {
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "create GIS zulpw"), "");
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "adduser GIS BOB bobpw"), "");
  setenv("ZUL_DATABASE", "GIS", 1);
  Instance in("BOB", "bobpw", "gis");
  ASSERT_EQ(in.status, 0) << in->xerr.msg;
  EXPECT_STREQ(in->current_database, "GIS");
  DB_INSTANCE* other = nullptr;
  EXPECT_EQ(DB_instance_open("ZUL", "BOB", "bobpw", nullptr, nullptr, &other), SE_NOT_ADMIN_DATABASE);
  DB_instance_close(other);
}

TEST_F(InstanceTest, ParametersAreCopiedAndTheirSettingsApplied) {
  DB_INSTANCE_PARAMS p;
  memset(&p, 0, sizeof p);
  int marker = 0;
  p.ctx = &marker;
  p.autocommit_interval = 3;
  p.layer_cache_size = 2;
  DB_INSTANCE* in = nullptr;
  ASSERT_EQ(DB_instance_open("", "BOB", "bobpw", &p, nullptr, &in), 0);
  EXPECT_EQ(in->params.ctx, &marker);
  EXPECT_EQ(in->autocommit_interval, 3);
  EXPECT_EQ(in->layer_cache.capacity, 5);  // never below 5
  DB_instance_close(in);

  p.autocommit_interval = 0;
  p.layer_cache_size = 0;
  ASSERT_EQ(DB_instance_open("", "BOB", "bobpw", &p, nullptr, &in), 0);
  EXPECT_EQ(in->autocommit_interval, 0);
  EXPECT_EQ(in->layer_cache.capacity, 0);
  DB_instance_close(in);
}

TEST_F(InstanceTest, DbaPasswordChecks) {
  DB_INSTANCE* dba = nullptr;
  ASSERT_EQ(DB_instance_open_as_dba("zulpw", nullptr, &dba), 0);
  EXPECT_EQ(dba->dba, 1);
  Instance bob;
  ASSERT_EQ(bob.status, 0);
  struct Case { DB_INSTANCE* in; const char* pw; int32_t status; };
  const Case cases[] = {
      {dba, "zulpw", 0}, {dba, "ZULPW", 0}, {dba, "zUlPw", 0}, {dba, "other", SE_DBA_PASSWORD_MISMATCH},
      {dba, "", SE_DBA_PASSWORD_MISMATCH}, {bob.in, "zulpw", SE_DBA_NOT_OPEN}, {bob.in, "", SE_DBA_NOT_OPEN},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DB_instance_check_dba_password(c.in, c.pw), c.status) << c.pw;
  DB_instance_close(dba);
}

// The administrator's password was kept in 35 characters: any text that
// shared them passed the check.
TEST_F(InstanceTest, LongDbaPasswordIsCheckedWhole) {
  const std::string pw(40, 'p');
  ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "create LONGPW " + pw), "");
  setenv("ZUL_DATABASE", "LONGPW", 1);
  DB_INSTANCE* dba = nullptr;
  ASSERT_EQ(DB_instance_open_as_dba(pw.c_str(), nullptr, &dba), 0);
  struct Case { std::string pw; int32_t status; };
  const Case cases[] = {{pw, 0}, {std::string(40, 'P'), 0}, {pw.substr(0, 35), SE_DBA_PASSWORD_MISMATCH},
                        {pw + "q", SE_DBA_PASSWORD_MISMATCH},
                        {std::string(SE_DBA_PASSWORD_LEN + 10, 'p'), SE_DBA_PASSWORD_MISMATCH}};
  for (const Case& c : cases)
    EXPECT_EQ(DB_instance_check_dba_password(dba, c.pw.c_str()), c.status) << c.pw.size() << " characters";
  DB_instance_close(dba);
  // one the instance could not keep whole is refused before connecting
  DB_INSTANCE* none = dba;
  EXPECT_EQ(DB_instance_open_as_dba(std::string(SE_DBA_PASSWORD_LEN, 'p').c_str(), nullptr, &none),
            SE_DBA_PASSWORD_MISMATCH);
  EXPECT_EQ(none, nullptr);
}

// The name's length used to go to the CLI cut to 16 bits: "BOB" followed by
// 65536 more characters logged in as BOB.
TEST_F(InstanceTest, OverlongUserNameIsNotCutToAnother) {
  std::string user = std::string(dbtest::kUser) + std::string(65536, 'x');
  DB_INSTANCE* in = nullptr;
  EXPECT_NE(DB_instance_open("", user.c_str(), dbtest::kUserPw, nullptr, nullptr, &in), 0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->connected, 0);
  DB_instance_close(in);
}

TEST(InstanceChecks, PasswordAndAdministratorNames) {
  struct PwCase { const char* pw; int32_t status; };
  const PwCase pws[] = {{"plain", 0}, {"", 0}, {"@lead", -9}, {"mid@dle", -9}, {"trail@", -9}};
  for (const PwCase& c : pws) EXPECT_EQ(DB_instance_check_password(c.pw), c.status) << c.pw;

  struct UserCase { const char* user; int32_t admin; };
  const UserCase users[] = {{"zul", 1}, {"Zul", 1}, {"ZUL", 1}, {"", 0}, {nullptr, 0}, {"zulu", 0}, {"ZULX", 0}};
  for (const UserCase& c : users)
    EXPECT_EQ(DB_instance_user_is_zul_admin(nullptr, c.user), c.admin) << (c.user ? c.user : "(null)");

  char out[SE_DB_NAME_LEN];
  EXPECT_EQ(DB_instance_get_admin_user(nullptr, out), 0);
  EXPECT_STREQ(out, "ZUL");
  EXPECT_EQ(DB_instance_lock(nullptr), 0);
}

TEST_F(InstanceTest, CloseCommitsPendingWork) {
  dbtest::Watcher w;
  {
    Instance in;
    ASSERT_EQ(in.status, 0);
    ASSERT_EQ(dbtest::exec(in.in, "CREATE TABLE BOB.T (A INTEGER)"), SQL_SUCCESS);
    ASSERT_EQ(db_commit_ddlsql(in.in), 0);
    ASSERT_EQ(dbtest::exec(in.in, "INSERT INTO BOB.T VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 0);
  }
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 1);
}

// A failed final commit used to be answered with success, leaving the
// connection open and its handles behind.
TEST_F(InstanceTest, CloseAfterAFailedCommitReportsTheFailure) {
  dbtest::Watcher w;
  DB_INSTANCE* in = nullptr;
  ASSERT_EQ(DB_instance_open("", "BOB", "bobpw", nullptr, nullptr, &in), 0);
  ASSERT_EQ(dbtest::exec(in, "CREATE TABLE BOB.T (A INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(db_commit_ddlsql(in), 0);
  ASSERT_EQ(dbtest::exec(in, "INSERT INTO BOB.T VALUES (1)"), SQL_SUCCESS);
  dl::dl_fault_fail_commit("40001", -911);
  EXPECT_EQ(DB_instance_close(in), SE_DB_IO_ERROR);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 0);
  // the database is free for the next writer
  EXPECT_EQ(w.exec("INSERT INTO BOB.T VALUES (2)"), SQL_SUCCESS);
}

}  // namespace
