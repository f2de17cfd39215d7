// sp_test_support.h -- fixtures of the stored-procedure tests: a fresh
// database with the system tables, the procedures registered from the
// library under test and its package bound from the bind file the build
// wrote; and a CALL helper that binds IN values and OUT buffers by position.
#ifndef SP_TEST_SUPPORT_H
#define SP_TEST_SUPPORT_H

#include "db2lite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef ZUL_BIN_DIR
#define ZUL_BIN_DIR ""
#endif
#ifndef ZUL_LIB_DIR
#define ZUL_LIB_DIR ""
#endif

namespace sptest {

// One CALL argument: an IN value (integer, double, text or NULL) or an OUT
// buffer (integer or text).
struct Arg {
  enum Kind { kInt, kDouble, kText, kNullInt, kNullText, kOutInt, kOutText } kind;
  long long i = 0;
  double d = 0;
  std::string s;
};
inline Arg I(long long v) { Arg a{Arg::kInt}; a.i = v; return a; }
inline Arg D(double v) { Arg a{Arg::kDouble}; a.d = v; return a; }
inline Arg T(const std::string& v) { Arg a{Arg::kText}; a.s = v; return a; }
inline Arg NI() { return Arg{Arg::kNullInt}; }
inline Arg NT() { return Arg{Arg::kNullText}; }
inline Arg OI() { return Arg{Arg::kOutInt}; }
inline Arg OT() { return Arg{Arg::kOutText}; }

// The outcome of one CALL.
struct Result {
  SQLRETURN rc = SQL_ERROR;
  std::string diag;               // "STATE native text" of a failed CALL
  std::vector<long long> ints;    // OUT integers, in order
  std::vector<std::string> texts; // OUT texts, in order
  // With a message pair: the last OUT integer and the last OUT text.
  long long code() const { return ints.empty() ? -999999 : ints.back(); }
  std::string msg() const { return texts.empty() ? "<none>" : texts.back(); }
};

// A database with the system tables and the procedures (see the .cpp).
class SpDatabase {
 public:
  // bin_dir holds db2lite-admin, lib_dir the bind file zulsrvsp.bnd.
  explicit SpDatabase(const char* bin_dir = ZUL_BIN_DIR, const char* lib_dir = ZUL_LIB_DIR);
  ~SpDatabase();
  const std::string& error() const { return error_; }  // "" when ready

 private:
  std::string dir_;
  std::string error_;
};

// A connection (autocommit off) as user with password.
class Conn {
 public:
  Conn(const char* user = "ZUL", const char* pw = "zulpw");
  ~Conn();
  bool ok() const { return ok_; }
  // CALL zulsrvsp!proc with one marker per argument. With pair, an OUT
  // integer and an OUT text are added as the message pair.
  Result call(const std::string& proc, std::vector<Arg> args, bool pair = true);
  SQLRETURN exec(const std::string& sql, std::string* why = nullptr);
  long long scalar(const std::string& sql);  // -999999 when it fails or is NULL
  std::string text(const std::string& sql);  // "<null>", "<error>" or the value
  SQLRETURN commit();
  SQLRETURN rollback();

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool ok_ = false;
};

// A test on a fresh database of its own, with a connection as ZUL.
class ProcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db_.error(), "");
    ASSERT_TRUE(zul_.ok());
  }
  SpDatabase db_;
  Conn zul_;
};

}  // namespace sptest

#endif
