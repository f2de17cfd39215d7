// dl_test_support.cpp -- fixtures of db2lite's tests (dl_test_support.h).
// Databases are created with the engine's own services, as the
// administration tool creates them.
#include "dl_test_support.h"

#include "dl_conn.h"
#include "dl_engine.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

namespace dltest {

DataDir::DataDir() {
  char tmpl[] = "/tmp/db2lite_test_XXXXXX";
  char* d = mkdtemp(tmpl);
  path_ = d ? d : "/tmp";
  setenv("DB2LITE_DATA", path_.c_str(), 1);
}

DataDir::~DataDir() {
  unsetenv("DB2LITE_DATA");
  std::error_code ec;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

std::string create_database(const char* name) {
  std::string path;
  if (!dl::dl_database_path(name, &path)) return "no data directory or bad name";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return "open " + path;
  }
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  dl::DlDiag d;
  std::string why;
  if (dl::dl_catalog_init(db, &d) != 0) why = "catalog: " + d.text;
  else if (dl::dl_user_add(db, "ZUL", "zulpw", true, &d) != 0) why = "user ZUL: " + d.text;
  else if (dl::dl_user_add(db, "ALICE", "alicepw", false, &d) != 0) why = "user ALICE: " + d.text;
  sqlite3_close(db);
  return why;
}

std::string enable_spatial(const char* name) {
  std::string path;
  if (!dl::dl_database_path(name, &path)) return "no data directory or bad name";
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "open " + path;
  }
  dl::DlDiag d;
  std::string why;
  if (dl::dl_catalog_enable_spatial(db, &d) != 0) why = "spatial catalogue: " + d.text;
  sqlite3_close(db);
  return why;
}

void put_varlong(std::string* out, int32_t value) {
  uint32_t a = value < 0 ? (uint32_t)(-(int64_t)value) : (uint32_t)value;
  unsigned char b = (unsigned char)(a & 0x3F);
  if (value < 0) b |= 0x40;
  a >>= 6;
  while (a) {
    out->push_back((char)(b | 0x80));
    b = (unsigned char)(a & 0x7F);
    a >>= 7;
  }
  out->push_back((char)b);
}

Conn::Conn(const char* db, const char* user, const char* pw, bool autocommit) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!autocommit)
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  rc = SQLConnect(dbc, (SQLCHAR*)db, SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pw, SQL_NTS);
}

Conn::~Conn() {
  if (rc == SQL_SUCCESS) SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

SQLHSTMT Conn::stmt() {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  return h;
}

std::string diag(SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLCHAR msg[1025] = {0};
  SQLSMALLINT len = 0;
  if (SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len) == SQL_NO_DATA) return "";
  return std::string((char*)state) + " " + std::to_string(native) + " " + (char*)msg;
}

std::string state_of(SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  if (SQLGetDiagRec(type, h, 1, state, &native, nullptr, 0, nullptr) == SQL_NO_DATA) return "";
  return (char*)state;
}

int32_t native_of(SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLGetDiagRec(type, h, 1, state, &native, nullptr, 0, nullptr);
  return native;
}

SQLRETURN exec(SQLHDBC dbc, const std::string& sql, std::string* diag_out) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  if (rc != SQL_SUCCESS) {
    if (diag_out) *diag_out = diag(SQL_HANDLE_DBC, dbc);
    return rc;
  }
  rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (diag_out) *diag_out = sdiag(h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rc;
}

SQLRETURN commit(SQLHDBC dbc) { return SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT); }
SQLRETURN rollback(SQLHDBC dbc) { return SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK); }

long long scalar(SQLHDBC dbc, const std::string& sql, std::string* why) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  SQLBIGINT v = -999999;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (rc == SQL_SUCCESS) {
    SQLBindCol(h, 1, SQL_C_SBIGINT, &v, 0, &ind);
    rc = SQLFetch(h);
  }
  if (rc != SQL_SUCCESS && why) *why = sdiag(h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rc == SQL_SUCCESS ? v : -999999;
}

}  // namespace dltest
