// test_proc.cpp -- the stored-procedure host and the embedded-SQL runtime,
// seen through the CLI: procedures of the test library (plugins/testprocs.cpp)
// registered with CREATE PROCEDURE, their package bound with sqlabndx, and
// called with CALL.
#include "dl_conn.h"
#include "dl_engine.h"
#include "dl_fault.h"
#include "dl_test_support.h"
#include "sql_esql.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

using namespace dltest;

namespace {

const char* const kProcs[] = {
    "CREATE PROCEDURE ZUL.TP_TYPES (INOUT S SMALLINT, INOUT I INTEGER, INOUT B BIGINT,"
    " INOUT D DOUBLE, INOUT R REAL, INOUT V VARCHAR(20), INOUT C CHAR(5), INOUT TS TIMESTAMP,"
    " INOUT DT DATE, INOUT TM TIME, OUT NULLS INTEGER, OUT LAYOUT VARCHAR(200))"
    " EXTERNAL NAME 'db2lite_testprocs!tp_types' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_INSERT (IN K INTEGER, IN V VARCHAR(20), IN M INTEGER,"
    " OUT CODE INTEGER, OUT MSG VARCHAR(100))"
    " EXTERNAL NAME 'db2lite_testprocs!tp_insert' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_GET (IN K INTEGER, OUT V VARCHAR(20), OUT IND INTEGER)"
    " EXTERNAL NAME 'db2lite_testprocs!tp_get' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_WHO (OUT U VARCHAR(128), OUT N INTEGER)"
    " EXTERNAL NAME 'db2lite_testprocs!tp_who' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_DYNAMIC (IN T VARCHAR(200), IN IMMEDIATE INTEGER, OUT N INTEGER)"
    " EXTERNAL NAME 'db2lite_testprocs!tp_dynamic' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_MISSING (IN K INTEGER)"
    " EXTERNAL NAME 'db2lite_testprocs!tp_missing' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_NOLIB (IN K INTEGER)"
    " EXTERNAL NAME 'no_such_library!tp_get' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_DOTLIB (IN K INTEGER)"
    " EXTERNAL NAME 'db2lite_testprocs.so!tp_get' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
    "CREATE PROCEDURE ZUL.TP_DEC (IN K DECIMAL(5,2))"
    " EXTERNAL NAME 'db2lite_testprocs!tp_get' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED",
};

// The bind file text the test library carries.
std::string library_bind_text() {
  void* h = dlopen(ZUL_LIB_DIR "/libdb2lite_testprocs.so", RTLD_NOW | RTLD_LOCAL);
  if (!h) return "";
  auto fn = reinterpret_cast<const char* (*)()>(dlsym(h, "tp_bind_file_text"));
  return fn ? fn() : "";
}

// Binds a bind file with this text on the current connection; the SQLCODE.
int bind_text(const std::string& dir, const std::string& text, const char* grantee) {
  std::string path = dir + "/testprc.bnd";
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return -9999;
  fputs(text.c_str(), f);
  fclose(f);
  struct sqlca ca;
  if (!grantee) return sqlabndx(path.c_str(), nullptr, nullptr, &ca);
  size_t n = strlen(grantee);
  std::unique_ptr<char[]> val(new char[sizeof(int16_t) + n]);
  int16_t len = static_cast<int16_t>(n);
  memcpy(val.get(), &len, sizeof len);
  memcpy(val.get() + sizeof len, grantee, n);
  struct sqlopt opt;
  opt.header.allocated = 1;
  opt.header.used = 1;
  opt.option[0].type = SQL_GRANT_OPT;
  opt.option[0].val = reinterpret_cast<uintptr_t>(val.get());
  return sqlabndx(path.c_str(), nullptr, &opt, &ca);
}

class Proc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("PROCDB"), "");
    // No library under the instance home: the host finds the test library
    // beside db2lite's own.
    setenv("ZULHOME", dir_.path().c_str(), 1);
    // One writer at a time: a test that forgets to end a unit of work fails
    // fast rather than after the default time-out.
    setenv("DB2LITE_BUSY_TIMEOUT", "2000", 1);
    zul_.reset(new Conn("PROCDB"));
    ASSERT_EQ(zul_->rc, SQL_SUCCESS);
    for (const char* sql : {"CREATE TABLE T_ROWS (K INTEGER NOT NULL PRIMARY KEY, V VARCHAR(20))",
                            "CREATE TABLE SECRET (X INTEGER)",
                            "INSERT INTO SECRET VALUES (1), (2), (3)"}) {
      std::string why;
      ASSERT_EQ(exec(zul_->dbc, sql, &why), SQL_SUCCESS) << sql << ": " << why;
    }
    for (const char* sql : kProcs) {
      std::string why;
      ASSERT_EQ(exec(zul_->dbc, sql, &why), SQL_SUCCESS) << sql << ": " << why;
    }
    ASSERT_EQ(commit(zul_->dbc), SQL_SUCCESS);
    bind_ = library_bind_text();
    ASSERT_FALSE(bind_.empty());
  }
  void TearDown() override {
    unsetenv("ZULHOME");
    unsetenv("DB2LITE_BUSY_TIMEOUT");
  }

  void bind(const char* grantee = "PUBLIC") {
    ASSERT_EQ(bind_text(dir_.path(), bind_, grantee), 0);
  }

  // CALL text with n OUTPUT character parameters bound after the literal
  // arguments; the return code, outputs in out[].
  SQLRETURN call_out(SQLHDBC dbc, const std::string& text, int n, std::string* out = nullptr,
                     std::string* why = nullptr) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    char buf[4][256] = {};
    SQLLEN ind[4] = {};
    for (int i = 0; i < n; ++i)
      SQLBindParameter(h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR,
                       255, 0, buf[i], sizeof buf[i], &ind[i]);
    SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)text.c_str(), SQL_NTS);
    if (why) *why = sdiag(h);
    for (int i = 0; out && i < n; ++i) out[i] = ind[i] == SQL_NULL_DATA ? "<null>" : buf[i];
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return rc;
  }

  DataDir dir_;
  std::unique_ptr<Conn> zul_;
  std::string bind_;
};

TEST_F(Proc, EveryParameterTypeGoesInAndComesBack) {
  bind();
  struct Row {
    const char* name;
    bool nulls;
  } rows[] = {{"values", false}, {"nulls", true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    SQLHSTMT h = zul_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"CALL ZUL.TP_TYPES(?,?,?,?,?,?,?,?,?,?,?,?)", SQL_NTS), SQL_SUCCESS)
        << sdiag(h);
    SQLSMALLINT s = 7;
    SQLINTEGER i = -20;
    SQLBIGINT b = 9000000000LL;
    double d = 0.1, rr = 1.5;
    char v[21] = "abc", c[6] = "xy", ts[27] = "2026-12-09-21.38.23.123456", dt[11] = "2026-12-09",
         tm[9] = "21.38.23", layout[201] = "";
    SQLINTEGER nulls = -1;
    SQLLEN in = r.nulls ? SQL_NULL_DATA : 0, ins = r.nulls ? SQL_NULL_DATA : SQL_NTS;
    SQLLEN ind[12] = {in, in, in, in, in, ins, ins, ins, ins, ins, 0, 0};
    const SQLSMALLINT io = SQL_PARAM_INPUT_OUTPUT;
    SQLBindParameter(h, 1, io, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &s, 0, &ind[0]);
    SQLBindParameter(h, 2, io, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, &ind[1]);
    SQLBindParameter(h, 3, io, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b, 0, &ind[2]);
    SQLBindParameter(h, 4, io, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, &ind[3]);
    SQLBindParameter(h, 5, io, SQL_C_DOUBLE, SQL_REAL, 0, 0, &rr, 0, &ind[4]);
    SQLBindParameter(h, 6, io, SQL_C_CHAR, SQL_VARCHAR, 20, 0, v, sizeof v, &ind[5]);
    SQLBindParameter(h, 7, io, SQL_C_CHAR, SQL_CHAR, 5, 0, c, sizeof c, &ind[6]);
    SQLBindParameter(h, 8, io, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 26, 0, ts, sizeof ts, &ind[7]);
    SQLBindParameter(h, 9, io, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, dt, sizeof dt, &ind[8]);
    SQLBindParameter(h, 10, io, SQL_C_CHAR, SQL_TYPE_TIME, 8, 0, tm, sizeof tm, &ind[9]);
    SQLBindParameter(h, 11, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &nulls, 0, &ind[10]);
    SQLBindParameter(h, 12, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 200, 0, layout, sizeof layout,
                     &ind[11]);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    // The area carries each declared type with its nullable code and length.
    EXPECT_STREQ(layout, "501/2 497/4 493/8 480/8 480/4 449/20 453/5 393/26 385/10 389/8");
    if (r.nulls) {
      EXPECT_EQ(nulls, 10);
      for (int k = 0; k < 10; ++k) EXPECT_EQ(ind[k], SQL_NULL_DATA) << "parameter " << k + 1;
    } else {
      EXPECT_EQ(nulls, 0);
      EXPECT_EQ(s, 8);
      EXPECT_EQ(i, -19);
      EXPECT_EQ(b, 9000000001LL);
      EXPECT_EQ(d, 0.2);
      EXPECT_EQ(rr, 3.0);
      EXPECT_STREQ(v, "abc!");
      EXPECT_STREQ(c, "XY   ");  // CHAR(5) arrives blank-padded
      EXPECT_STREQ(ts, "2026-12-09-21.38.23.123456");
      EXPECT_STREQ(dt, "2026-12-09");
      EXPECT_STREQ(tm, "21.38.23");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_F(Proc, ProcedureWorkJoinsTheCallersUnitOfWork) {
  bind();
  // The caller inserts a row, the procedure another; then the caller rolls
  // back. A COMMIT inside the procedure made both durable; a ROLLBACK inside
  // it removed the caller's row too.
  struct Case {
    const char* name;
    int mode;
    long long left_after_rollback;
  } cases[] = {{"no end of unit of work", 0, 0}, {"procedure commits", 1, 2}, {"procedure rolls back", 3, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    std::string k = std::to_string(10 + c.mode), mine = std::to_string(100 + c.mode);
    ASSERT_EQ(exec(zul_->dbc, "INSERT INTO T_ROWS VALUES (" + mine + ", 'caller')", &why), SQL_SUCCESS) << why;
    std::string out[2];
    ASSERT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_INSERT(" + k + ", 'proc', " + std::to_string(c.mode) + ", ?, ?)",
                       2, out, &why),
              SQL_SUCCESS)
        << why;
    EXPECT_EQ(out[0], "0");
    ASSERT_EQ(rollback(zul_->dbc), SQL_SUCCESS);
    EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K IN (" + k + ", " + mine + ")"),
              c.left_after_rollback);
  }
}

TEST_F(Proc, FailingProcedureFailsTheCallWithItsSqlcodeAndLeavesItsWorkToTheCaller) {
  bind();
  std::string out[2] = {"unset", "unset"}, why;
  // Mode 2 inserts its row, then the same key again.
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_INSERT(5, 'x', 2, ?, ?)", 2, out, &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 10), "23505 -803") << why;
  EXPECT_EQ(out[0], "");  // OUT values are not written back by a failed CALL
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 5"), 1);
  ASSERT_EQ(rollback(zul_->dbc), SQL_SUCCESS);
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 5"), 0);

  // In autocommit mode the failed CALL takes its work with it.
  Conn auto_conn("PROCDB", "ZUL", "zulpw", true);
  ASSERT_EQ(auto_conn.rc, SQL_SUCCESS);
  EXPECT_EQ(call_out(auto_conn.dbc, "CALL ZUL.TP_INSERT(6, 'x', 2, ?, ?)", 2), SQL_ERROR);
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 6"), 0);
  EXPECT_EQ(call_out(auto_conn.dbc, "CALL ZUL.TP_INSERT(6, 'x', 0, ?, ?)", 2), SQL_SUCCESS);
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 6"), 1);
}

TEST_F(Proc, CallsThatCannotRunAreRefusedWithDb2States) {
  bind();
  struct Case {
    const char* name;
    const char* text;
    int outs;
    const char* state;
  } cases[] = {
      {"unregistered", "CALL ZUL.NOPE(1)", 0, "42884"},
      {"wrong argument count", "CALL ZUL.TP_GET(1)", 0, "42884"},
      {"library form, wrong count", "CALL db2lite_testprocs!tp_who(1)", 0, "42884"},
      {"unregistered library form", "CALL db2lite_testprocs!tp_secret(1)", 0, "42884"},
      {"missing entry point", "CALL ZUL.TP_MISSING(1)", 0, "42724"},
      {"missing library", "CALL ZUL.TP_NOLIB(1)", 0, "42724"},
      {"library name with a dot", "CALL ZUL.TP_DOTLIB(1)", 0, "42724"},
      {"type a procedure cannot take", "CALL ZUL.TP_DEC(1)", 0, "42997"},
      {"OUT argument not a marker", "CALL ZUL.TP_INSERT(1, 'x', 0, 5, 6)", 0, "42886"},
      {"text too long", "CALL ZUL.TP_INSERT(1, '123456789012345678901', 0, ?, ?)", 2, "22001"},
      {"integer out of range", "CALL ZUL.TP_INSERT(4294967296, 'x', 0, ?, ?)", 2, "22003"},
      {"not a number", "CALL ZUL.TP_INSERT('one', 'x', 0, ?, ?)", 2, "22018"},
      {"number beyond a double", "CALL ZUL.TP_INSERT(1e999, 'x', 0, ?, ?)", 2, "42601"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(call_out(zul_->dbc, c.text, c.outs, nullptr, &why), SQL_ERROR) << c.name;
    EXPECT_EQ(why.substr(0, 5), c.state) << c.name << ": " << why;
  }
  // Nothing ran: no row was written by any of them.
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS"), 0);
}

TEST_F(Proc, SelectIntoReportsTruncationAndNoRowAsWarnings) {
  bind();
  ASSERT_EQ(exec(zul_->dbc, "INSERT INTO T_ROWS VALUES (7, 'abcdefgh')"), SQL_SUCCESS);
  std::string out[2], why;
  // Called by library and entry: the 6-byte host variable takes 5 characters.
  EXPECT_EQ(call_out(zul_->dbc, "CALL db2lite_testprocs!tp_get(7, ?, ?)", 2, out, &why),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(why.substr(0, 5), "01004") << why;
  EXPECT_EQ(out[0], "abcde");
  EXPECT_EQ(out[1], "8");  // the indicator holds the full length
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_GET(8, ?, ?)", 2, out, &why), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(why.substr(0, 9), "02000 100") << why;
}

TEST_F(Proc, StaticSectionsRunWithTheOwnersRightsWhileUserIsTheCaller) {
  bind();
  Conn alice("PROCDB", "ALICE", "alicepw", true);
  ASSERT_EQ(alice.rc, SQL_SUCCESS);
  std::string why;
  ASSERT_EQ(exec(alice.dbc, "CREATE TABLE SECRET (X INTEGER)", &why), SQL_SUCCESS) << why;
  ASSERT_EQ(exec(alice.dbc, "INSERT INTO SECRET VALUES (42)", &why), SQL_SUCCESS) << why;
  // ALICE may not read ZUL.SECRET herself.
  EXPECT_EQ(exec(alice.dbc, "SELECT COUNT(*) FROM ZUL.SECRET", &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 5), "42501") << why;

  // Static: USER is ALICE, the unqualified SECRET is the owner's (3 rows).
  std::string out[2];
  ASSERT_EQ(call_out(alice.dbc, "CALL ZUL.TP_WHO(?, ?)", 2, out, &why), SQL_SUCCESS) << why;
  EXPECT_EQ(out[0], "ALICE");
  EXPECT_EQ(out[1], "3");
  // Static writes too: ALICE holds no INSERT on ZUL.T_ROWS.
  ASSERT_EQ(call_out(alice.dbc, "CALL ZUL.TP_INSERT(20, 'alice', 0, ?, ?)", 2, out, &why), SQL_SUCCESS)
      << why;
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 20"), 1);
  // ...and her own rights are back afterwards.
  EXPECT_EQ(exec(alice.dbc, "SELECT COUNT(*) FROM ZUL.SECRET", &why), SQL_ERROR);

  // Dynamic: the caller's rights and schema.
  struct Case {
    const char* name;
    SQLHDBC dbc;
    const char* text;
    SQLRETURN rc;
    const char* rows_or_state;
  } cases[] = {
      {"ALICE, her own SECRET", alice.dbc, "CALL ZUL.TP_DYNAMIC('SELECT X FROM SECRET', 0, ?)", SQL_SUCCESS, "1"},
      {"ALICE, ZUL's SECRET", alice.dbc, "CALL ZUL.TP_DYNAMIC('SELECT X FROM ZUL.SECRET', 0, ?)", SQL_ERROR,
       "42501"},
      {"ZUL, his SECRET", zul_->dbc, "CALL ZUL.TP_DYNAMIC('SELECT X FROM SECRET', 0, ?)", SQL_SUCCESS, "3"},
      {"ZUL, immediate", zul_->dbc, "CALL ZUL.TP_DYNAMIC('LOCK TABLE SECRET IN EXCLUSIVE MODE', 1, ?)",
       SQL_SUCCESS, "0"},
      {"ALICE, immediate on ZUL's", alice.dbc,
       "CALL ZUL.TP_DYNAMIC('DELETE FROM ZUL.SECRET', 1, ?)", SQL_ERROR, "42501"},
  };
  for (const Case& c : cases) {
    std::string o[1];
    EXPECT_EQ(call_out(c.dbc, c.text, 1, o, &why), c.rc) << c.name << ": " << why;
    EXPECT_EQ(c.rc == SQL_ERROR ? why.substr(0, 5) : o[0], c.rows_or_state) << c.name << ": " << why;
    commit(c.dbc);  // every section's statement takes the write lock until the unit of work ends
  }
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM SECRET"), 3);
}

TEST_F(Proc, PackageMustBeBoundWithTheLibrarysTokenAndGranted) {
  std::string out[2], why;
  // Not bound at all.
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_WHO(?, ?)", 2, out, &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 10), "51002 -805") << why;

  // Bound without a grant: the owner may run it, ALICE may not.
  bind(nullptr);
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_WHO(?, ?)", 2, out, &why), SQL_SUCCESS) << why;
  commit(zul_->dbc);
  {
    Conn alice("PROCDB", "ALICE", "alicepw", true);
    EXPECT_EQ(call_out(alice.dbc, "CALL ZUL.TP_WHO(?, ?)", 2, out, &why), SQL_ERROR);
    EXPECT_EQ(why.substr(0, 10), "42501 -551") << why;
  }
  // Bound again from a bind file of another build: the tokens differ.
  std::string other = bind_;
  other.replace(other.find("TPTOKEN1"), 8, "TPTOKEN2");
  ASSERT_EQ(bind_text(dir_.path(), other, "PUBLIC"), 0);
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_WHO(?, ?)", 2, out, &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 10), "51003 -818") << why;
}

TEST_F(Proc, FaultsInjectedIntoProcedureStatementsReachTheCaller) {
  bind();
  // The statement seam sees the procedure's statements as it sees the CLI's.
  dl::dl_fault_fail_statement(1, "40001", -911, "INSERT INTO T_ROWS");
  std::string out[2], why;
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_INSERT(30, 'x', 0, ?, ?)", 2, out, &why), SQL_ERROR);
  EXPECT_EQ(why.substr(0, 10), "40001 -911") << why;
  dl::dl_fault_clear();
  EXPECT_EQ(call_out(zul_->dbc, "CALL ZUL.TP_INSERT(30, 'x', 0, ?, ?)", 2, out, &why), SQL_SUCCESS) << why;
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM T_ROWS WHERE K = 30"), 1);
}

TEST_F(Proc, SpatialExtenderProceduresAreDb2litesOwn) {
  ASSERT_EQ(enable_spatial("PROCDB"), "");
  // No library is loaded and no registration is needed: the procedure
  // answers with its own message code (-7: no such spatial reference).
  std::string out[2], why;
  ASSERT_EQ(call_out(zul_->dbc, "CALL db2gse!gse_disable_sref(99, ?, ?)", 2, out, &why), SQL_SUCCESS) << why;
  EXPECT_EQ(out[0], "-7");
}

}  // namespace
