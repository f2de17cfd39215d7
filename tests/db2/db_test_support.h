// db_test_support.h -- fixtures of the DB2 access core's tests: a fresh
// db2lite data directory with the administrative database made by the
// administration tool, open instances on it, and a second, independent
// connection that watches what other connections have committed.
#ifndef DB_TEST_SUPPORT_H
#define DB_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dbsql_io.h"

#ifndef ZUL_BIN_DIR
#define ZUL_BIN_DIR ""
#endif

namespace dbtest {

constexpr const char* kAdminPw = "zulpw";
constexpr const char* kUser = "BOB";
constexpr const char* kUserPw = "bobpw";

// A temporary data directory (DB2LITE_DATA) holding database ZUL, made by
// db2lite-admin, with the administrator ZUL and the user BOB. ZUL_DATABASE
// is unset while it lives.
class Database {
 public:
  explicit Database(const char* bin_dir = ZUL_BIN_DIR);
  ~Database();
  const std::string& error() const { return error_; }  // "" when ready

 private:
  std::string dir_;
  std::string error_;
};

// Runs db2lite-admin (in bin_dir) with the arguments; "" or what went wrong.
std::string admin(const std::string& bin_dir, const std::string& args);

// An instance opened as BOB (or as given), closed at the end of scope.
struct Instance {
  DB_INSTANCE* in = nullptr;
  int32_t status = 0;
  explicit Instance(const char* user = kUser, const char* pw = kUserPw, const char* connect = "");
  ~Instance();
  DB_INSTANCE* operator->() { return in; }
};

// A second connection of its own (autocommit on), to see what is committed.
class Watcher {
 public:
  Watcher(const char* user = "ZUL", const char* pw = kAdminPw);
  ~Watcher();
  // The single integer a query yields, or -999999.
  long long scalar(const std::string& sql);
  SQLRETURN exec(const std::string& sql);

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

// Executes text directly on the instance's connection; the CLI return code.
SQLRETURN exec(DB_INSTANCE* in, const std::string& sql);

// A test on a fresh database whose spatial catalogue is enabled, with an
// instance opened as the administrator ZUL and a watcher beside it.
class SpatialAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    in.reset(new Instance("ZUL", kAdminPw));
    ASSERT_EQ(in->status, 0);
  }
  long long scalar(const std::string& sql) { return w.scalar(sql); }
  Database db;
  std::unique_ptr<Instance> in;
  Watcher w;
};

}  // namespace dbtest

#endif
