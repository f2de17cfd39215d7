// db_test_support.cpp -- fixtures of the DB2 access core's tests
// (db_test_support.h). The database is made by the administration tool, as
// an installation makes it.
#include "db_test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>

namespace dbtest {

std::string admin(const std::string& bin_dir, const std::string& args) {
  std::string cmd = bin_dir + "/db2lite-admin " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return "popen failed";
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
  int rc = pclose(p);
  return rc == 0 ? "" : "db2lite-admin " + args + ": " + out;
}

Database::Database(const char* bin_dir) {
  char tmpl[] = "/tmp/zul_db2_test_XXXXXX";
  char* d = mkdtemp(tmpl);
  if (d == nullptr) {
    error_ = "mkdtemp";
    return;
  }
  dir_ = d;
  setenv("DB2LITE_DATA", dir_.c_str(), 1);
  unsetenv("ZUL_DATABASE");
  error_ = admin(bin_dir, std::string("create ZUL ") + kAdminPw);
  if (error_.empty()) error_ = admin(bin_dir, std::string("adduser ZUL ") + kUser + " " + kUserPw);
}

Database::~Database() {
  unsetenv("DB2LITE_DATA");
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

Instance::Instance(const char* user, const char* pw, const char* connect) {
  status = DB_instance_open(connect, user, pw, nullptr, nullptr, &in);
}

Instance::~Instance() { DB_instance_close(in); }

Watcher::Watcher(const char* user, const char* pw) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  SQLConnect(dbc_, (SQLCHAR*)"ZUL", SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pw, SQL_NTS);
}

Watcher::~Watcher() {
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

long long Watcher::scalar(const std::string& sql) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h);
  SQLBIGINT v = -999999;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (rc == SQL_SUCCESS) {
    SQLBindCol(h, 1, SQL_C_SBIGINT, &v, 0, &ind);
    rc = SQLFetch(h);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rc == SQL_SUCCESS ? v : -999999;
}

SQLRETURN Watcher::exec(const std::string& sql) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h);
  SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rc;
}

SQLRETURN exec(DB_INSTANCE* in, const std::string& sql) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h);
  SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rc;
}

}  // namespace dbtest
