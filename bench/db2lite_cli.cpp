// db2lite_cli.cpp -- the cost of db2lite's CLI over the raw SQLite API on its
// hot paths: a prepared INSERT of 100,000 rows in one unit of work, and a
// SELECT fetching them back, row by row and in rowsets of 100.
//
// Both sides work on the same database, on tables of the same SQLite schema
// (both created through the CLI, so the engine's column checks apply to
// both), in the same run; the best of several rounds is compared and the
// ratio printed. Each round checks its result: the row count and a checksum
// of the values read back.
#include "db2lite.h"
#include "dl_conn.h"
#include "dl_engine.h"

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kRounds = 9;

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

[[noreturn]] void die(const std::string& what) {
  fprintf(stderr, "bench_db2lite_cli: %s\n", what.c_str());
  exit(1);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (rc == SQL_SUCCESS) return;
  SQLCHAR state[6] = "";
  SQLCHAR msg[512] = "";
  SQLINTEGER native = 0;
  SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, nullptr);
  die(std::string(what) + ": " + (char*)state + " " + (char*)msg);
}

void check_sqlite(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    die(std::string(what) + ": " + sqlite3_errmsg(db));
}

struct Result {
  long long rows = 0;
  long long sum = 0;
};

// ---- CLI ----------------------------------------------------------------------

double cli_insert(SQLHDBC dbc, const char* table) {
  SQLHSTMT h;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  std::string del = std::string("DELETE FROM ") + table;
  SQLExecDirect(h, (SQLCHAR*)del.c_str(), SQL_NTS);
  check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");
  std::string sql = std::string("INSERT INTO ") + table + " (ID, NAME, VAL) VALUES (?, ?, ?)";
  check(SQLPrepare(h, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, h, "prepare insert");
  SQLINTEGER id;
  char name[32];
  double val;
  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 31, 0, name, sizeof name, nullptr);
  SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &val, 0, nullptr);
  auto t = Clock::now();
  for (id = 0; id < kRows; ++id) {
    snprintf(name, sizeof name, "feature %d", id);
    val = id * 0.5;
    check(SQLExecute(h), SQL_HANDLE_STMT, h, "insert");
  }
  check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");
  double s = secs(t);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return s;
}

double cli_select(SQLHDBC dbc, const char* table, SQLULEN rowset, Result* r) {
  SQLHSTMT h;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  std::string sql = std::string("SELECT ID, NAME, VAL FROM ") + table;
  check(SQLPrepare(h, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, h, "prepare select");
  std::vector<SQLINTEGER> id(rowset);
  std::vector<char> name(rowset * 32);
  std::vector<double> val(rowset);
  std::vector<SQLLEN> ind(rowset * 3);
  SQLULEN fetched = 0;
  SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0);
  SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  SQLBindCol(h, 1, SQL_C_SLONG, id.data(), 0, &ind[0]);
  SQLBindCol(h, 2, SQL_C_CHAR, name.data(), 32, &ind[rowset]);
  SQLBindCol(h, 3, SQL_C_DOUBLE, val.data(), 0, &ind[2 * rowset]);
  auto t = Clock::now();
  check(SQLExecute(h), SQL_HANDLE_STMT, h, "select");
  *r = Result();
  SQLRETURN rc;
  while ((rc = SQLFetch(h)) == SQL_SUCCESS) {
    for (SQLULEN k = 0; k < fetched; ++k) {
      r->rows++;
      r->sum += id[k] + ind[rowset + k] + static_cast<long long>(val[k] * 2);
    }
  }
  if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, h, "fetch");
  double s = secs(t);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return s;
}

// ---- raw SQLite -----------------------------------------------------------------

double raw_insert(sqlite3* db, const char* table) {
  std::string del = std::string("DELETE FROM \"") + table + "\"";
  check_sqlite(sqlite3_exec(db, del.c_str(), nullptr, nullptr, nullptr), db, "delete");
  std::string sql = std::string("INSERT INTO \"") + table + "\" (ID, NAME, VAL) VALUES (?, ?, ?)";
  sqlite3_stmt* st;
  check_sqlite(sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr), db,
               "prepare insert");
  char name[32];
  auto t = Clock::now();
  check_sqlite(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db, "begin");
  for (int id = 0; id < kRows; ++id) {
    int n = snprintf(name, sizeof name, "feature %d", id);
    sqlite3_bind_int(st, 1, id);
    sqlite3_bind_text(st, 2, name, n, SQLITE_STATIC);
    sqlite3_bind_double(st, 3, id * 0.5);
    check_sqlite(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
  check_sqlite(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  double s = secs(t);
  sqlite3_finalize(st);
  return s;
}

double raw_select(sqlite3* db, const char* table, Result* r) {
  std::string sql = std::string("SELECT ID, NAME, VAL FROM \"") + table + "\"";
  sqlite3_stmt* st;
  check_sqlite(sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr), db,
               "prepare select");
  auto t = Clock::now();
  *r = Result();
  int rc;
  char name[32];
  // NAME and VAL may be NULL: like the CLI's indicators, the loop looks.
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    int id = sqlite3_column_int(st, 0);
    int n = -1;
    if (sqlite3_column_type(st, 1) != SQLITE_NULL) {
      const unsigned char* p = sqlite3_column_text(st, 1);
      n = sqlite3_column_bytes(st, 1);
      memcpy(name, p, static_cast<size_t>(n < 31 ? n : 31));
    }
    double v = sqlite3_column_type(st, 2) != SQLITE_NULL ? sqlite3_column_double(st, 2) : 0;
    r->rows++;
    r->sum += id + n + static_cast<long long>(v * 2);
  }
  check_sqlite(rc, db, "select");
  double s = secs(t);
  sqlite3_finalize(st);
  return s;
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/db2lite_bench_XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) die("mkdtemp");
  setenv("DB2LITE_DATA", dir, 1);
  std::string path;
  if (!dl::dl_database_path("BENCH", &path)) die("data directory");
  sqlite3* db;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    die("create database");
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  dl::DlDiag d;
  if (dl::dl_catalog_init(db, &d) != 0 || dl::dl_user_add(db, "ZUL", "zulpw", true, &d) != 0)
    die("catalogue: " + d.text);
  sqlite3_close(db);

  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  check(SQLConnect(dbc, (SQLCHAR*)"BENCH", SQL_NTS, (SQLCHAR*)"ZUL", SQL_NTS, (SQLCHAR*)"zulpw", SQL_NTS),
        SQL_HANDLE_DBC, dbc, "connect");
  for (const char* t : {"CLIT", "RAWT"}) {
    SQLHSTMT h;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    std::string ddl = std::string("CREATE TABLE ") + t + " (ID INTEGER NOT NULL, NAME VARCHAR(31), VAL DOUBLE)";
    check(SQLExecDirect(h, (SQLCHAR*)ddl.c_str(), SQL_NTS), SQL_HANDLE_STMT, h, "create table");
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc, "commit");

  // The raw side: a plain connection with the engine's functions and
  // collations (the schema names them) and the CLI's pragmas.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) die("open");
  sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  dl::DlSession session;
  session.user = session.schema = "ZUL";
  session.database = "BENCH";
  if (dl::dl_connection_setup(db, &session, &d) != 0) die("setup: " + d.text);

  double best[5] = {1e9, 1e9, 1e9, 1e9, 1e9};  // raw ins, cli ins, raw sel, cli sel 1, cli sel 100
  Result want, got;
  for (int round = 0; round < kRounds; ++round) {
    best[0] = std::min(best[0], raw_insert(db, "ZUL.RAWT"));
    best[1] = std::min(best[1], cli_insert(dbc, "CLIT"));
    best[2] = std::min(best[2], raw_select(db, "ZUL.RAWT", &want));
    best[3] = std::min(best[3], cli_select(dbc, "CLIT", 1, &got));
    if (got.rows != kRows || got.rows != want.rows || got.sum != want.sum) die("row-by-row fetch: wrong result");
    best[4] = std::min(best[4], cli_select(dbc, "CLIT", 100, &got));
    if (got.rows != kRows || got.sum != want.sum) die("rowset fetch: wrong result");
  }
  printf("db2lite CLI against raw SQLite, %d rows, best of %d rounds\n", kRows, kRounds);
  printf("  INSERT (prepared, one unit of work): raw %.3f s  cli %.3f s  ratio %.2f\n", best[0], best[1], best[1] / best[0]);
  printf("  SELECT (SQLFetch, one row a call):   raw %.3f s  cli %.3f s  ratio %.2f\n", best[2], best[3], best[3] / best[2]);
  printf("  SELECT (rowsets of 100):             raw %.3f s  cli %.3f s  ratio %.2f\n", best[2], best[4], best[4] / best[2]);
  printf("  checked: %lld rows, checksum %lld\n", want.rows, want.sum);

  sqlite3_close(db);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
