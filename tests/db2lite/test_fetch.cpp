// test_fetch.cpp -- fetching: rowsets through SQLFetchScroll (row array size,
// rows-fetched pointer) and through SQLExtendedFetch (rowset size, its own
// count and row status), truncation, and SQLGetData in pieces.
#include "dl_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

using namespace dltest;

namespace {

class Fetch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("TESTDB"), "");
    k_.reset(new Conn("TESTDB"));
    ASSERT_EQ(k_->rc, SQL_SUCCESS) << diag(SQL_HANDLE_DBC, k_->dbc);
    ASSERT_EQ(exec(dbc(), "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20))"),
              SQL_SUCCESS);
    SQLHSTMT h = k_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"INSERT INTO R VALUES (?, ?)", SQL_NTS), SQL_SUCCESS) << sdiag(h);
    SQLINTEGER id;
    char name[21];
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, sizeof name, nullptr);
    for (id = 1; id <= 250; ++id) {
      snprintf(name, sizeof name, "row %d", id);
      ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    ASSERT_EQ(commit(dbc()), SQL_SUCCESS);
  }
  SQLHDBC dbc() { return k_->dbc; }
  DataDir dir_;
  std::unique_ptr<Conn> k_;
};

// Fetches the whole table in rowsets of n with either fetch form and checks
// every row, the counts of each rowset and the status of the rows past the
// end.
void fetch_all(Conn* k, SQLULEN n, bool extended) {
  SQLHSTMT h = k->stmt();
  std::vector<SQLINTEGER> ids(n);
  std::vector<char> names(n * 21);
  std::vector<SQLLEN> id_ind(n), name_ind(n);
  std::vector<SQLUSMALLINT> status(n, 99);
  SQLULEN fetched = 12345;
  if (extended) {
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ROWSET_SIZE, (SQLPOINTER)n, 0), SQL_SUCCESS);
  } else {
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)n, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID, NAME FROM R ORDER BY ID", SQL_NTS), SQL_SUCCESS)
      << sdiag(h);
  SQLBindCol(h, 1, SQL_C_SLONG, ids.data(), 0, id_ind.data());
  SQLBindCol(h, 2, SQL_C_CHAR, names.data(), 21, name_ind.data());
  int next = 1;
  for (;;) {
    SQLRETURN rc = extended ? SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &fetched, status.data())
                            : SQLFetchScroll(h, SQL_FETCH_NEXT, 0);
    if (rc == SQL_NO_DATA) break;
    ASSERT_EQ(rc, SQL_SUCCESS) << sdiag(h);
    SQLULEN expect = std::min<SQLULEN>(n, static_cast<SQLULEN>(251 - next));
    ASSERT_EQ(fetched, expect) << "rowset starting at " << next;
    for (SQLULEN r = 0; r < n; ++r) {
      if (r < fetched) {
        EXPECT_EQ(status[r], SQL_ROW_SUCCESS);
        EXPECT_EQ(ids[r], next);
        EXPECT_EQ(std::string(&names[r * 21]), "row " + std::to_string(next));
        EXPECT_EQ(name_ind[r], static_cast<SQLLEN>(strlen(&names[r * 21])));
        ++next;
      } else {
        EXPECT_EQ(status[r], SQL_ROW_NOROW);
      }
    }
  }
  EXPECT_EQ(next, 251);
  // Past the end the answer stays "no data".
  EXPECT_EQ(extended ? SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &fetched, status.data())
                     : SQLFetchScroll(h, SQL_FETCH_NEXT, 0),
            SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Fetch, RowsetsOfEverySizeWithBothFetchForms) {
  for (SQLULEN n : {1, 8, 100}) {
    for (bool extended : {false, true}) {
      SCOPED_TRACE(std::string(extended ? "SQLExtendedFetch" : "SQLFetchScroll") + " rowset " +
                   std::to_string(n));
      fetch_all(k_.get(), n, extended);
    }
  }
}

TEST_F(Fetch, RowsetSizesAreKeptApartAndFormsDoNotMix) {
  SQLHSTMT h = k_->stmt();
  // SQL_ROWSET_SIZE does not change what SQLFetch fetches.
  ASSERT_EQ(SQLSetStmtAttr(h, SQL_ROWSET_SIZE, (SQLPOINTER)50, 0), SQL_SUCCESS);
  SQLULEN fetched = 0;
  SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM R ORDER BY ID", SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id[50];
  SQLBindCol(h, 1, SQL_C_SLONG, id, 0, nullptr);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(id[0], 1);
  EXPECT_EQ(SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &fetched, nullptr), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "HY010");
  SQLULEN v = 0;
  SQLGetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, &v, 0, nullptr);
  EXPECT_EQ(v, 1u);
  // And the other way round, on a fresh result set.
  SQLFreeStmt(h, SQL_CLOSE);
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT ID FROM R ORDER BY ID", SQL_NTS), SQL_SUCCESS);
  SQLULEN rows = 0;
  ASSERT_EQ(SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &rows, nullptr), SQL_SUCCESS);
  EXPECT_EQ(rows, 50u);
  EXPECT_EQ(id[49], 50);
  EXPECT_EQ(SQLFetch(h), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "HY010");
  // Only forward fetching is offered.
  EXPECT_EQ(SQLFetchScroll(h, SQL_FETCH_PRIOR, 0), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "HY106");
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

TEST_F(Fetch, TruncationGives01004WithTheFullLength) {
  ASSERT_EQ(exec(dbc(), "CREATE TABLE L (V VARCHAR(3000), B BLOB(1M))"), SQL_SUCCESS);
  std::string big(2500, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  SQLHSTMT ins = k_->stmt();
  ASSERT_EQ(SQLPrepare(ins, (SQLCHAR*)"INSERT INTO L VALUES (?, ?)", SQL_NTS), SQL_SUCCESS) << sdiag(ins);
  SQLLEN blen = static_cast<SQLLEN>(big.size());
  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3000, 0, (SQLPOINTER)big.c_str(), 0, nullptr);
  SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, 1 << 20, 0, (SQLPOINTER)big.data(), blen, &blen);
  ASSERT_EQ(SQLExecute(ins), SQL_SUCCESS) << sdiag(ins);
  SQLFreeHandle(SQL_HANDLE_STMT, ins);

  // Bound columns: the buffer gets what fits, the indicator the full length.
  SQLHSTMT h = k_->stmt();
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT V, B FROM L", SQL_NTS), SQL_SUCCESS) << sdiag(h);
  char text[100];
  char bin[100];
  SQLLEN ti = 0, bi = 0;
  SQLBindCol(h, 1, SQL_C_CHAR, text, sizeof text, &ti);
  SQLBindCol(h, 2, SQL_C_BINARY, bin, sizeof bin, &bi);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "01004");
  EXPECT_EQ(ti, 2500);
  EXPECT_EQ(bi, 2500);
  EXPECT_EQ(std::string(text), big.substr(0, 99));
  EXPECT_EQ(std::string(bin, 100), big.substr(0, 100));
  SQLFreeHandle(SQL_HANDLE_STMT, h);

  // SQLGetData in pieces: each piece says how much was left before it.
  for (SQLSMALLINT ctype : {SQL_C_CHAR, SQL_C_BINARY}) {
    SCOPED_TRACE(ctype == SQL_C_CHAR ? "character pieces" : "binary pieces");
    h = k_->stmt();
    ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT B FROM L", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    std::string got;
    SQLLEN left = ctype == SQL_C_CHAR ? 5000 : 2500;
    char piece[1000];
    SQLLEN ind = 0;
    SQLLEN room = ctype == SQL_C_CHAR ? 999 : 1000;
    SQLRETURN rc;
    while ((rc = SQLGetData(h, 1, ctype, piece, sizeof piece, &ind)) == SQL_SUCCESS_WITH_INFO) {
      EXPECT_EQ(ind, left);
      EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "01004");
      got.append(piece, static_cast<size_t>(room));
      left -= room;
    }
    ASSERT_EQ(rc, SQL_SUCCESS) << sdiag(h);
    EXPECT_EQ(ind, left);
    got.append(piece, static_cast<size_t>(ind));
    EXPECT_EQ(SQLGetData(h, 1, ctype, piece, sizeof piece, &ind), SQL_NO_DATA);
    if (ctype == SQL_C_BINARY) {
      EXPECT_EQ(got, big);
    } else {
      // A BLOB reaches a character buffer as hexadecimal digits.
      ASSERT_EQ(got.size(), 5000u);
      EXPECT_EQ(got.substr(0, 4), "6162");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_F(Fetch, ConversionsIntoEachBufferType) {
  ASSERT_EQ(exec(dbc(), "CREATE TABLE C (I INTEGER, S SMALLINT, D DOUBLE, V VARCHAR(20), "
                        "TS TIMESTAMP, N INTEGER)"),
            SQL_SUCCESS);
  ASSERT_EQ(exec(dbc(), "INSERT INTO C (I, S, D, V, TS) VALUES (70000, -12, 2.5, '42', "
                        "'2024-02-29-13.45.56.123456')"),
            SQL_SUCCESS);
  SQLHSTMT h = k_->stmt();
  // Each case reads its column from a fresh fetch: a column read whole
  // answers "no data" to a second read.
  auto refetch = [&] {
    SQLFreeStmt(h, SQL_CLOSE);
    ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT I, S, D, V, TS, N FROM C", SQL_NTS), SQL_SUCCESS)
        << sdiag(h);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  };
  struct Case {
    const char* name;
    SQLUSMALLINT col;
    SQLSMALLINT ctype;
    SQLRETURN rc;
    const char* state;
    std::string want;  // the value as text
  };
  const Case cases[] = {
      {"integer as long", 1, SQL_C_SLONG, SQL_SUCCESS, "", "70000"},
      {"integer too big for short", 1, SQL_C_SSHORT, SQL_ERROR, "22003", ""},
      {"smallint as short", 2, SQL_C_SSHORT, SQL_SUCCESS, "", "-12"},
      {"double as double", 3, SQL_C_DOUBLE, SQL_SUCCESS, "", "2.5"},
      {"double as text", 3, SQL_C_CHAR, SQL_SUCCESS, "", "2.5"},
      {"numeric text as long", 4, SQL_C_SLONG, SQL_SUCCESS, "", "42"},
      {"integer as text", 1, SQL_C_CHAR, SQL_SUCCESS, "", "70000"},
      {"timestamp as struct", 5, SQL_C_TYPE_TIMESTAMP, SQL_SUCCESS, "", "2024-2-29 13:45:56 123456000"},
      {"null with indicator", 6, SQL_C_SLONG, SQL_SUCCESS, "", "NULL"},
  };
  for (const Case& c : cases) {
    union {
      SQLINTEGER l;
      SQLSMALLINT s;
      double d;
      char text[40];
      SQL_TIMESTAMP_STRUCT ts;
    } u;
    memset(&u, 0, sizeof u);
    SQLLEN ind = 0;
    refetch();
    SQLRETURN rc = SQLGetData(h, c.col, c.ctype, &u, sizeof u, &ind);
    EXPECT_EQ(rc, c.rc) << c.name << ": " << sdiag(h);
    EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), c.state) << c.name;
    if (rc != SQL_SUCCESS) continue;
    std::string got;
    if (ind == SQL_NULL_DATA) got = "NULL";
    else if (c.ctype == SQL_C_SLONG) got = std::to_string(u.l);
    else if (c.ctype == SQL_C_SSHORT) got = std::to_string(u.s);
    else if (c.ctype == SQL_C_DOUBLE) got = std::to_string(u.d).substr(0, 3);
    else if (c.ctype == SQL_C_CHAR) got = u.text;
    else
      got = std::to_string(u.ts.year) + "-" + std::to_string(u.ts.month) + "-" +
            std::to_string(u.ts.day) + " " + std::to_string(u.ts.hour) + ":" +
            std::to_string(u.ts.minute) + ":" + std::to_string(u.ts.second) + " " +
            std::to_string(u.ts.fraction);
    EXPECT_EQ(got, c.want) << c.name;
  }
  // A NULL without an indicator to say so is an error.
  SQLINTEGER v;
  refetch();
  EXPECT_EQ(SQLGetData(h, 6, SQL_C_SLONG, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLGetData(h, 7, SQL_C_SLONG, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "07009");
  refetch();
  EXPECT_EQ(SQLGetData(h, 6, SQL_C_SLONG, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(state_of(SQL_HANDLE_STMT, h), "22002");
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

}  // namespace
