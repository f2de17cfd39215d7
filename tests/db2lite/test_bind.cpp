// test_bind.cpp -- the package binder (sqlabndx and its bind files), message
// texts (sqlaintp_api) and table statistics (sqlustat_api), each on the
// current connection.
#include "dl_fault.h"
#include "dl_test_support.h"
#include "sql_esql.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <memory>
#include <string>

using namespace dltest;

namespace {

const char kGood[] =
    "DB2LITE-BIND 1\n"
    "PACKAGE DB2ADMIN PKG1 TOKEN001\n"
    "SECTION 2 STATIC SELECT COUNT(*) FROM T\n"
    "SECTION 1 DYNAMIC\n"
    "END\n";

class Bind : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("BINDDB"), "");
    zul_.reset(new Conn("BINDDB"));
    ASSERT_EQ(zul_->rc, SQL_SUCCESS);
    ASSERT_EQ(exec(zul_->dbc, "CREATE TABLE T (X INTEGER)"), SQL_SUCCESS);
    ASSERT_EQ(commit(zul_->dbc), SQL_SUCCESS);
  }

  // Writes text to a bind file and binds it; the SQLCODE.
  int bind(const std::string& text, struct sqlca* ca_out = nullptr) {
    std::string path = dir_.path() + "/p.bnd";
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return -9999;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    struct sqlca ca;
    int r = sqlabndx(path.c_str(), nullptr, nullptr, &ca);
    EXPECT_EQ(r, ca.sqlcode);
    if (ca_out) *ca_out = ca;
    return r;
  }

  long long packages() { return scalar(zul_->dbc, "SELECT COUNT(*) FROM SYSCAT.PACKAGES"); }

  DataDir dir_;
  std::unique_ptr<Conn> zul_;
};

TEST_F(Bind, MalformedBindFilesAreRefusedAndWriteNothing) {
  std::string good = kGood;
  auto with = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct Case {
    const char* name;
    std::string text;
    int sqlcode;
  } cases[] = {
      {"empty file", "", -1},
      {"other format", with("DB2LITE-BIND 1", "DB2LITE-BIND 2"), -1},
      {"token of seven characters", with("TOKEN001", "TOKEN01"), -1},
      {"token with a blank", with("TOKEN001", "TOKEN 01"), -1},
      {"package name too long", with("PKG1", "PACKAGE12"), -1},
      {"section 0", with("SECTION 1 DYNAMIC", "SECTION 0 DYNAMIC"), -1},
      {"section beyond the limit", with("SECTION 1 DYNAMIC", "SECTION 40000 DYNAMIC"), -1},
      {"section twice", with("SECTION 1 DYNAMIC", "SECTION 2 DYNAMIC"), -1},
      {"static section without text", with("SECTION 1 DYNAMIC", "SECTION 1 STATIC"), -1},
      {"unknown record", with("END", "GRANT PUBLIC\nEND"), -1},
      {"no END", with("END\n", ""), -1},
      {"text after END", good + "SECTION 3 DYNAMIC\n", -1},
      {"NUL byte", with("COUNT(*)", std::string("COUNT(\0*)", 9)), -1},
      {"line longer than the limit", with("SELECT COUNT(*)", "SELECT " + std::string(2 << 20, 'X')), -1},
      {"static section not a statement", with("SELECT COUNT(*) FROM T", "SELEC COUNT(*) FROM T"), -104},
  };
  for (const Case& c : cases) {
    struct sqlca ca;
    EXPECT_EQ(bind(c.text, &ca), c.sqlcode) << c.name;
    EXPECT_EQ(packages(), 0) << c.name;
  }
  struct sqlca ca;
  EXPECT_EQ(sqlabndx((dir_.path() + "/none.bnd").c_str(), nullptr, nullptr, &ca), -31);
  EXPECT_EQ(std::string(ca.sqlstate, 5), "58031");
}

TEST_F(Bind, RebindWithTheSameTokenIsANoOpAndAnotherTokenReplaces) {
  ASSERT_EQ(bind(kGood), 0);
  EXPECT_EQ(packages(), 1);
  SQLHSTMT h = zul_->stmt();
  char owner[16] = "", qual[16] = "", token[16] = "", when[32] = "";
  SQLLEN n;
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT BOUNDBY, QUALIFIER, UNIQUE_ID, LAST_BIND_TIME FROM SYSCAT.PACKAGES"
                                       " WHERE PKGSCHEMA = 'DB2ADMIN' AND PKGNAME = 'PKG1'", SQL_NTS),
            SQL_SUCCESS)
      << sdiag(h);
  SQLBindCol(h, 1, SQL_C_CHAR, owner, sizeof owner, &n);
  SQLBindCol(h, 2, SQL_C_CHAR, qual, sizeof qual, &n);
  SQLBindCol(h, 3, SQL_C_CHAR, token, sizeof token, &n);
  SQLBindCol(h, 4, SQL_C_CHAR, when, sizeof when, &n);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_STREQ(owner, "ZUL");
  EXPECT_STREQ(qual, "ZUL");
  EXPECT_STREQ(token, "TOKEN001");
  std::string first = when;
  commit(zul_->dbc);

  dl::dl_counters_reset();
  ASSERT_EQ(bind(kGood), 0);
  EXPECT_EQ(dl::dl_counters().commits, 0u);  // nothing written, nothing committed
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM SYSCAT.PACKAGES WHERE LAST_BIND_TIME = '" + first + "'"), 1);

  std::string next = kGood;
  next.replace(next.find("TOKEN001"), 8, "TOKEN002");
  ASSERT_EQ(bind(next), 0);
  EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM SYSCAT.PACKAGES WHERE UNIQUE_ID = 'TOKEN002'"), 1);
  EXPECT_EQ(packages(), 1);
}

TEST_F(Bind, BindNeedsAuthorityAndAConnection) {
  ASSERT_EQ(bind(kGood), 0);
  {
    Conn alice("BINDDB", "ALICE", "alicepw", true);
    ASSERT_EQ(alice.rc, SQL_SUCCESS);
    std::string other = kGood;
    other.replace(other.find("TOKEN001"), 8, "TOKEN009");
    struct sqlca ca;
    EXPECT_EQ(bind(other, &ca), -551);  // ZUL's package
    EXPECT_EQ(std::string(ca.sqlstate, 5), "42501");
    other.replace(other.find("PKG1"), 4, "PKG2");
    EXPECT_EQ(bind(other), 0);  // a new package: PUBLIC holds BINDADD
    EXPECT_EQ(scalar(zul_->dbc, "SELECT COUNT(*) FROM SYSCAT.PACKAGES WHERE BOUNDBY = 'ALICE'"), 1);
  }
  ASSERT_EQ(exec(zul_->dbc, "REVOKE BINDADD ON DATABASE FROM PUBLIC"), SQL_SUCCESS);
  ASSERT_EQ(commit(zul_->dbc), SQL_SUCCESS);
  {
    Conn alice("BINDDB", "ALICE", "alicepw", true);
    std::string other = kGood;
    other.replace(other.find("PKG1"), 4, "PKG3");
    EXPECT_EQ(bind(other), -552);
  }
  zul_.reset();
  struct sqlca ca;
  EXPECT_EQ(bind(kGood, &ca), -1024);
  EXPECT_EQ(std::string(ca.sqlstate, 5), "08003");
}

TEST_F(Bind, MessageTextsAreFormattedWrappedAndBounded) {
  struct sqlca failed;
  ASSERT_EQ(bind("nonsense", &failed), -1);
  char buf[1024];
  int n = sqlaintp_api(buf, sizeof buf, 0, "db2sql.mo", &failed);
  EXPECT_GT(n, 0);
  EXPECT_EQ(std::string(buf).substr(0, 10), "SQL0001N  ") << buf;
  EXPECT_NE(std::string(buf).find("not a bind file"), std::string::npos) << buf;  // the full text, not 70 bytes

  n = sqlaintp_api(buf, sizeof buf, 20, "db2sql.mo", &failed);
  std::string text(buf);
  size_t start = 0;
  while (start < text.size()) {
    size_t e = text.find('\n', start);
    if (e == std::string::npos) e = text.size();
    std::string line = text.substr(start, e - start);
    EXPECT_TRUE(line.size() <= 20 || line.find(' ') == std::string::npos) << line;
    start = e + 1;
  }
  EXPECT_EQ(sqlaintp_api(buf, 16, 0, nullptr, &failed), 15);
  EXPECT_EQ(strlen(buf), 15u);

  // An area this thread did not fill: the text comes from its own fields.
  struct sqlca other;
  dl_sqlca_clear(&other);
  other.sqlcode = -204;
  memcpy(other.sqlstate, "42704", 5);
  memcpy(other.sqlerrmc, "ZUL.GONE", 8);
  other.sqlerrml = 8;
  sqlaintp_api(buf, sizeof buf, 0, nullptr, &other);
  EXPECT_STREQ(buf, "SQL0204N  ZUL.GONE  SQLSTATE=42704");
  // Its code may be any value, the most negative one included.
  other.sqlcode = INT32_MIN;
  other.sqlerrml = 0;
  EXPECT_GT(sqlaintp_api(buf, sizeof buf, 0, nullptr, &other), 0);
  EXPECT_EQ(std::string(buf).substr(0, 3), "SQL") << buf;

  struct sqlca clear;
  dl_sqlca_clear(&clear);
  EXPECT_EQ(sqlaintp_api(buf, sizeof buf, 80, nullptr, &clear), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(sqlaintp_api(buf, 0, 80, nullptr, &failed), -5);
  EXPECT_EQ(sqlaintp_api(nullptr, 10, 80, nullptr, &failed), -5);
  EXPECT_EQ(sqlaintp_api(buf, sizeof buf, -1, nullptr, &failed), -4);
}

TEST_F(Bind, StatisticsNeedAnExistingTableAndControl) {
  struct Case {
    const char* name;
    const char* table;
    unsigned char opt, share;
    int sqlcode;
  } cases[] = {
      {"qualified", "ZUL.T", 'A', 'C', 0},
      {"folded", "zul.t", 'A', 'C', 0},
      {"unqualified: the user's schema", "t", 'T', 'R', 0},
      {"delimited, wrong case", "\"zul\".\"t\"", 'A', 'C', -2306},
      {"missing", "ZUL.NONE", 'A', 'C', -2306},
      {"three parts", "A.B.C", 'A', 'C', -2306},
      {"bad statistics option", "ZUL.T", 'Q', 'C', -2},
      {"bad share level", "ZUL.T", 'A', 'Z', -2},
  };
  for (const Case& c : cases) {
    struct sqlca ca;
    EXPECT_EQ(sqlustat_api(c.table, 0, nullptr, c.opt, c.share, &ca), c.sqlcode) << c.name;
  }
  commit(zul_->dbc);
  Conn alice("BINDDB", "ALICE", "alicepw", true);
  struct sqlca ca;
  EXPECT_EQ(sqlustat_api("ZUL.T", 0, nullptr, 'A', 'C', &ca), -551);
}

}  // namespace
