// dl_test_support.h -- fixtures for db2lite's own tests: a fresh data
// directory per test, databases with users made through the engine's
// services, and small CLI helpers that turn return codes and diagnostics
// into text a failure message can show.
#ifndef DL_TEST_SUPPORT_H
#define DL_TEST_SUPPORT_H

#include "db2lite.h"

#include <stdint.h>

#include <string>

namespace dltest {

// A temporary data directory, named by DB2LITE_DATA while it lives.
class DataDir {
 public:
  DataDir();
  ~DataDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Creates database name in the current data directory with the users ZUL
// (administrator, password "zulpw") and ALICE (password "alicepw").
// Returns "" or the reason it failed.
std::string create_database(const char* name);

// Creates the Spatial Extender's catalogue in database name, as
// "db2lite-admin enable-spatial" does. Returns "" or the reason it failed.
std::string enable_spatial(const char* name);

// Appends value as a varLONG, the variable-length integer of packed shape
// values: six bits and a sign bit in the first byte, seven bits in each
// further byte, the top bit saying another byte follows.
void put_varlong(std::string* out, int32_t value);

// An environment and a connection; autocommit off unless asked.
struct Conn {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLRETURN rc = SQL_ERROR;  // of SQLConnect
  Conn(const char* db, const char* user = "ZUL", const char* pw = "zulpw", bool autocommit = false);
  ~Conn();
  SQLHSTMT stmt();  // a new statement handle (freed by the caller or at disconnect)
};

// "STATE native text" of the first diagnostic record, or "" when none.
std::string diag(SQLSMALLINT type, SQLHANDLE h);
inline std::string sdiag(SQLHSTMT h) { return diag(SQL_HANDLE_STMT, h); }
std::string state_of(SQLSMALLINT type, SQLHANDLE h);
int32_t native_of(SQLSMALLINT type, SQLHANDLE h);

// Executes text on a new statement, frees it; returns the CLI return code.
SQLRETURN exec(SQLHDBC dbc, const std::string& sql, std::string* diag_out = nullptr);
SQLRETURN commit(SQLHDBC dbc);
SQLRETURN rollback(SQLHDBC dbc);
// The single integer a query yields (or -999999 with the diagnostic text in why).
long long scalar(SQLHDBC dbc, const std::string& sql, std::string* why = nullptr);

}  // namespace dltest

#endif
