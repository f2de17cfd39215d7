// test_ident.cpp -- the identifier rule, the IN-list rewrite, the SQL text
// buffer, DB2 dates and times, the parameter-set table and the stream's copy
// of a query description.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "db_test_support.h"
#include "svr_services.h"
#include "zul_codepage.h"
#include "zulos.h"

namespace {

CODEPAGE_INFO codepage(int32_t native_id, int32_t native_class) {
  CODEPAGE_INFO cp;
  memset(&cp, 0, sizeof cp);
  cp.native_id = native_id;
  cp.native_class = native_class;
  cp.conn_id = native_id;
  cp.conn_class = native_class;
  return cp;
}

TEST(Identifier, CharacterRules) {
  zulos_set_ctype_code_page(1252);
  CODEPAGE_INFO cp1252 = codepage(CODEPAGE_ID_1252, CODEPAGE_SINGLE_BYTE);
  CODEPAGE_INFO cp1256 = codepage(44, CODEPAGE_SINGLE_BYTE);
  CODEPAGE_INFO cp1255 = codepage(43, CODEPAGE_SINGLE_BYTE);
  CODEPAGE_INFO sjis = codepage(CODEPAGE_ID_SJIS, CODEPAGE_DOUBLE_BYTE);
  struct Case { const char* name; const CODEPAGE_INFO* cp; const char* id; int32_t status; };
  const Case cases[] = {
      {"empty", nullptr, "", 0},
      {"plain", nullptr, "roads", 0},
      {"underscore first, dots and digits", nullptr, "_a.b1", 0},
      {"digit first", nullptr, "1a", SE_INVALID_IDENTIFIER},
      {"hyphen", nullptr, "a-b", SE_INVALID_IDENTIFIER},
      {"blank", nullptr, "a b", SE_INVALID_IDENTIFIER},
      {"quote", nullptr, "a'b", SE_INVALID_IDENTIFIER},
      {"semicolon", nullptr, "a;drop", SE_INVALID_IDENTIFIER},
      {"dot first", nullptr, ".a", SE_INVALID_IDENTIFIER},
      {"1252 letter after the first", &cp1252, "caf\xe9", 0},
      {"1252 letter first", &cp1252, "\xe9t\xe9", 0},
      {"1252 non-letter high byte", &cp1252, "a\xd7" "b", SE_INVALID_IDENTIFIER},  // multiplication sign
      {"1256 any high byte after the first", &cp1256, "a\xd7\x81", 0},
      {"1256 high byte first follows the locale", &cp1256, "\xd7" "a", SE_INVALID_IDENTIFIER},
      {"1255 marks", &cp1255, "a\xfd\xfe", 0},
      {"1255 other high byte", &cp1255, "a\xd7", SE_INVALID_IDENTIFIER},
      {"double-byte first", &sjis, "\x88\x9f" "a", 0},
      {"double-byte later", &sjis, "a\x88\x9f_1", 0},
      {"double-byte cut short", &sjis, "a\x88", SE_INVALID_IDENTIFIER},
      {"single-byte katakana is no lead byte", &sjis, "a\xb1", SE_INVALID_IDENTIFIER},
  };
  DB_INSTANCE in;
  memset(&in, 0, sizeof in);
  for (const Case& c : cases) {
    in.params.codepage = const_cast<CODEPAGE_INFO*>(c.cp);
    EXPECT_EQ(DB_check_identifier(&in, c.id), c.status) << c.name;
  }
  EXPECT_EQ(DB_check_identifier(&in, nullptr), 0);
}

TEST(Identifier, LongNamesTakeTheHeapPath) {
  DB_INSTANCE in;
  memset(&in, 0, sizeof in);
  std::string good = "_" + std::string(4000, 'a') + ".b";
  EXPECT_EQ(DB_check_identifier(&in, good.c_str()), 0);
  std::string bad = std::string(300, 'a') + "-";
  EXPECT_EQ(DB_check_identifier(&in, bad.c_str()), SE_INVALID_IDENTIFIER);
}

TEST(Identifier, UpcaseAndQualifier) {
  DB_INSTANCE in;
  memset(&in, 0, sizeof in);
  char name[16] = "bob.roads_1";
  EXPECT_STREQ(db_upcase_identifier(&in, name, sizeof name), "BOB.ROADS_1");
  EXPECT_STREQ(db_strip_qualifier("db.bob.roads"), "roads");
  EXPECT_STREQ(db_strip_qualifier("roads"), "roads");
  EXPECT_STREQ(db_strip_qualifier("bob."), "");
}

TEST(WhereClause, StripsBlanksAndALeadingWhere) {
  struct Case { const char* clause; const char* rest; };
  const Case cases[] = {
      {nullptr, nullptr},         {"", nullptr},          {" \t ", nullptr},     {"where ", nullptr},
      {"  WHERE \t a = 1", "a = 1"}, {"Where b < 2", "b < 2"}, {"\ta = 1", "a = 1"},
      {"whereabouts = 1", "whereabouts = 1"},  // a column that starts with the word is kept
  };
  for (const Case& c : cases) {
    const char* got = db_sql_strip_where(c.clause);
    if (c.rest == nullptr) EXPECT_EQ(got, nullptr) << (c.clause ? c.clause : "(null)");
    else EXPECT_STREQ(got, c.rest) << c.clause;
  }
}

TEST(InList, RewritesIntegerListsOnly) {
  struct Case { const char* name; const char* where; const char* column; const char* rewritten; int32_t count; };
  const Case cases[] = {
      {"three integers and a further condition", "ID IN (3,14,-15) AND X = 1", "ID",
       "ID IN (?,?,?)  AND X = 1", 3},
      {"blanks around items", "ID IN ( 1 , 2 )", "ID", "ID IN (?,?) ", 2},
      {"sub-select", "ID IN (SELECT A FROM T)", "ID", nullptr, 0},
      {"sub-select after a blank", "ID IN ( SELECT A FROM T)", "ID", nullptr, 0},
      {"sub-select then a list", "ID IN (SELECT A FROM T WHERE ID IN (7))", "ID",
       "ID IN (SELECT A FROM T WHERE ID IN (?) )", 1},
      {"not integers", "ID IN ('a', 2.5)", "ID", nullptr, 0},
      {"too big for 32 bits", "ID IN (99999999999)", "ID", nullptr, 0},
      {"other column", "NAME IN (1)", "ID", nullptr, 0},
      {"no list", "ID = 1", "ID", nullptr, 0},
      {"unclosed", "ID IN (1, 2", "ID", nullptr, 0},
  };
  for (const Case& c : cases) {
    int32_t count = -1;
    int32_t* values = nullptr;
    char** markers = nullptr;
    char* rewritten = nullptr;
    EXPECT_EQ(db_parse_in_list(c.where, c.column, &count, &values, &markers, &rewritten), 0) << c.name;
    if (c.rewritten == nullptr) {
      EXPECT_EQ(rewritten, nullptr) << c.name;  // outputs untouched
      EXPECT_EQ(count, -1) << c.name;
      continue;
    }
    ASSERT_NE(rewritten, nullptr) << c.name;
    EXPECT_STREQ(rewritten, c.rewritten) << c.name;
    EXPECT_EQ(count, c.count) << c.name;
    for (int32_t i = 0; i < count; ++i) EXPECT_STREQ(markers[i], "?") << c.name;
    if (std::string(c.name) == "three integers and a further condition") {
      EXPECT_EQ(values[0], 3);
      EXPECT_EQ(values[1], 14);
      EXPECT_EQ(values[2], -15);
    }
    free(values);
    db_free_string_array(&rewritten, markers, count);
    EXPECT_EQ(rewritten, nullptr);
  }
}

TEST(SqlString, GrowsInStepsAndKeepsItsText) {
  unsetenv("ZULPRETTYSQL");
  SQL_STRING s;
  sql_string_init_growable(&s);
  EXPECT_EQ(sql_string_append(&s, nullptr), 0);
  EXPECT_EQ(sql_string_append(&s, ""), 0);
  EXPECT_EQ(s.text, nullptr);
  std::string hundred(100, 'x');
  ASSERT_EQ(sql_string_append(&s, hundred.c_str()), 0);
  EXPECT_EQ(s.cap, 2048);
  EXPECT_EQ(s.len, 100);
  std::string more(1947, 'y');  // 2047 characters: still fits
  ASSERT_EQ(sql_string_append(&s, more.c_str()), 0);
  EXPECT_EQ(s.cap, 2048);
  ASSERT_EQ(sql_string_append(&s, "z"), 0);  // 2048: grows past its step
  EXPECT_EQ(s.cap, 4096);
  EXPECT_EQ(std::string(s.text), hundred + more + "z");
  EXPECT_EQ(sql_string_append_newline(&s), 0);  // no newline flag
  EXPECT_EQ(s.len, 2048);
  sql_string_free(&s);

  setenv("ZULPRETTYSQL", "1", 1);
  sql_string_init_growable(&s);
  EXPECT_EQ(sql_string_append_list(&s, "SELECT ", "A", " FROM T", (const char*)nullptr), 0);
  EXPECT_STREQ(s.text, "SELECT A FROM T\n");
  sql_string_free(&s);
  unsetenv("ZULPRETTYSQL");
}

TEST(SqlString, FixedBufferRefusesWhatDoesNotFit) {
  char buf[12];
  memset(buf, '#', sizeof buf);
  SQL_STRING s;
  sql_string_init_fixed(&s, buf, 10);
  EXPECT_EQ(s.len, 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(sql_string_append(&s, "abcd"), 0);
  EXPECT_EQ(sql_string_append(&s, "efgh"), 0);
  EXPECT_STREQ(buf, "abcdefgh");
  EXPECT_EQ(sql_string_append(&s, "i"), SE_SQL_TOO_LONG);
  EXPECT_STREQ(buf, "abcdefgh");  // text kept
  EXPECT_EQ(buf[10], '#');        // nothing written past the capacity
  EXPECT_EQ(sql_string_append_list(&s, "x", (const char*)nullptr), SE_SQL_TOO_LONG);
}

TEST(DateTime, BothWays) {
  SQL_DATE_STRUCT d = {2001, 3, 1};
  struct tm t;
  EXPECT_EQ(db_sql_datetime_to_tm(&d, &t, SQL_C_DATE), 0);
  EXPECT_EQ(t.tm_mon, 2);
  EXPECT_EQ(t.tm_year, 101);
  EXPECT_EQ(t.tm_mday, 1);
  EXPECT_EQ(t.tm_yday, SES_get_day_of_year(3, 1, 2001));
  EXPECT_EQ(t.tm_wday, 4);  // a Thursday
  EXPECT_EQ(t.tm_isdst, -1);
  EXPECT_EQ(t.tm_hour, 0);

  SQL_TIME_STRUCT tt = {13, 14, 15};
  EXPECT_EQ(db_sql_datetime_to_tm(&tt, &t, SQL_C_TIME), 0);
  EXPECT_EQ(t.tm_hour, 13);
  EXPECT_EQ(t.tm_min, 14);
  EXPECT_EQ(t.tm_sec, 15);
  EXPECT_EQ(t.tm_year, 0);
  EXPECT_EQ(t.tm_yday, 0);
  EXPECT_EQ(t.tm_isdst, -1);

  SQL_TIMESTAMP_STRUCT ts = {1999, 12, 31, 23, 59, 58, 123456};
  EXPECT_EQ(db_sql_datetime_to_tm(&ts, &t, SQL_C_TIMESTAMP), 0);
  SQL_TIMESTAMP_STRUCT back;
  memset(&back, 0xff, sizeof back);
  EXPECT_EQ(db_tm_to_sql_datetime(&t, &back, SQL_C_TIMESTAMP), 0);
  EXPECT_EQ(back.year, 1999);
  EXPECT_EQ(back.month, 12);
  EXPECT_EQ(back.day, 31);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.second, 58);
  EXPECT_EQ(back.fraction, 0u);
  SQL_DATE_STRUCT dback;
  EXPECT_EQ(db_tm_to_sql_datetime(&t, &dback, SQL_C_DATE), 0);
  EXPECT_EQ(dback.year, 1999);
  EXPECT_EQ(dback.month, 12);
}

class ParamSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
  }
  dbtest::Database db;
  dbtest::Instance in;
};

TEST_F(ParamSetTest, SlotsCollectKindsAndBindThemInOrder) {
  // the versioned-SQL generator's side
  DB_VERSION_CTX ctx = {11, 22, const_cast<char*>("SELECT ? FROM X WHERE Y = ?"), nullptr};
  EXPECT_EQ(db_ctx_param_set_slot(in.in, 7), 0);
  EXPECT_EQ(db_ctx_add_param_sets(in.in, 7, &ctx, 0), 0);
  EXPECT_EQ(db_ctx_add_param_sets(in.in, 7, &ctx, 1), 0);  // other modes add nothing
  DB_VERSION_CTX plain = {1, 2, const_cast<char*>("SELECT 1"), nullptr};
  EXPECT_EQ(db_ctx_add_param_sets(in.in, 7, &plain, 0), 0);  // no marker: nothing
  EXPECT_EQ(db_ctx_param_set_add(in.in, 7, 9), 0);           // unknown kinds are skipped when binding
  EXPECT_EQ(db_ctx_param_set_add(in.in, 7, 1), 0);
  ASSERT_EQ(in->num_param_sets, 1);
  EXPECT_EQ(in->param_sets[0].count, 4);
  EXPECT_EQ(in->param_sets[0].kinds[0], 2);
  EXPECT_EQ(in->param_sets[0].kinds[1], 1);

  // the stream's side: bind on a real statement and read back what was bound
  DB_STREAM* s = nullptr;
  const int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
  ASSERT_EQ(DB_stream_init(&s, in.in, "BOB", "1_1", settings), 0);
  s->version_ctx = &ctx;
  ASSERT_EQ(db_prepare_stmt(in.in, s, &s->query_stmt, "VALUES (?, ?, ?, ?)"), 0);
  SQLINTEGER first = 100;
  ASSERT_EQ(SQLBindParameter(s->query_stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &first, 0,
                             nullptr), SQL_SUCCESS);
  int32_t next = 2;
  EXPECT_EQ(db_stream_bind_param_sets(s, 7, &next), 0);
  EXPECT_EQ(next, 5);
  ASSERT_EQ(SQLExecute(s->query_stmt), SQL_SUCCESS);
  SQLINTEGER v[4];
  for (int i = 0; i < 4; ++i) SQLBindCol(s->query_stmt, (SQLUSMALLINT)(i + 1), SQL_C_SLONG, &v[i], 0, nullptr);
  ASSERT_EQ(SQLFetch(s->query_stmt), SQL_SUCCESS);
  EXPECT_EQ(v[0], 100);
  EXPECT_EQ(v[1], 22);  // kind 2
  EXPECT_EQ(v[2], 11);  // kind 1
  EXPECT_EQ(v[3], 11);  // kind 1 again, after the skipped kind

  // a key without a slot binds nothing
  next = 0;
  EXPECT_EQ(db_stream_bind_param_sets(s, 99, &next), 0);
  EXPECT_EQ(next, 1);
  // the slot is emptied when its statement is generated again
  EXPECT_EQ(db_ctx_param_set_slot(in.in, 7), 0);
  EXPECT_EQ(in->param_sets[0].count, 0);
  EXPECT_EQ(in->num_param_sets, 1);

  // missing values are refused
  EXPECT_EQ(db_ctx_param_set_add(in.in, 8, 3), 0);  // creates the slot
  s->version_ctx = nullptr;
  next = 1;
  EXPECT_EQ(db_stream_bind_param_sets(s, 8, &next), SE_INVALID_POINTER);
  EXPECT_EQ(db_ctx_param_set_slot(in.in, 9), 0);
  EXPECT_EQ(db_ctx_param_set_add(in.in, 9, 4), 0);
  EXPECT_EQ(db_stream_bind_param_sets(s, 9, &next), SE_INVALID_POINTER);
  DB_stream_free(s);
  free(s);
}

TEST_F(ParamSetTest, LogFileIdAndShapeKinds) {
  LOGFILE log;
  memset(&log, 0, sizeof log);
  log.data_id = 4242;
  DB_VERSION_CTX ctx = {1, 2, nullptr, &log};
  unsigned char shape[5] = {1, 2, 3, 4, 5};
  SQLLEN shape_ind = sizeof shape;
  ASSERT_EQ(db_ctx_param_set_add(in.in, 1, 3), 0);
  ASSERT_EQ(db_ctx_param_set_add(in.in, 1, 4), 0);
  SQLHSTMT h = SQL_NULL_HSTMT;
  ASSERT_EQ(db_prepare_stmt(in.in, nullptr, &h, "VALUES (?, LENGTH(?))"), 0);
  int32_t next = 1;
  ASSERT_EQ(db_bind_param_sets(in.in, 1, h, &ctx, shape, sizeof shape, &shape_ind, &next), 0);
  ASSERT_EQ(SQLExecute(h), SQL_SUCCESS);
  SQLINTEGER id = 0, len = 0;
  SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, nullptr);
  SQLBindCol(h, 2, SQL_C_SLONG, &len, 0, nullptr);
  ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
  EXPECT_EQ(id, 4242);
  EXPECT_EQ(len, 5);
  db_free_stmt(&h);
}

TEST_F(ParamSetTest, QueryInfoIsCopiedIntoTheStream) {
  char t1[] = "bob.roads";
  char t2[] = "bob.rivers";
  char* tables[] = {t1, t2};
  char where[] = "roads.id IN (1,2)";
  SQL_CONSTRUCT c = {2, tables, where};
  char col1[] = "id";
  char* cols[] = {col1};
  char clause[] = "order by id";
  char text1[] = "hint";
  char* texts[] = {text1};
  QUERYINFO q;
  memset(&q, 0, sizeof q);
  q.num_columns = 1;
  q.columns = cols;
  q.construct = &c;
  q.query_kind = SE_QUERY_KIND_DEFAULT;
  q.clause = clause;
  q.text_count = 1;
  q.texts = texts;
  q.value = 5;

  DB_STREAM* s = nullptr;
  const int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
  ASSERT_EQ(DB_stream_init(&s, in.in, "BOB", "1_1", settings), 0);
  EXPECT_EQ(db_stream_set_query_info(s, nullptr), SE_INVALID_QUERYINFO);
  ASSERT_EQ(db_stream_set_query_info(s, &q), 0);
  ASSERT_NE(s->query_info, nullptr);
  // the copy is independent of the caller's texts
  strcpy(t1, "changed");
  strcpy(where, "changed");
  EXPECT_EQ(s->num_tables, 2);
  EXPECT_STREQ(s->tables[0], "bob.roads");
  EXPECT_STREQ(s->tables[1], "bob.rivers");
  EXPECT_STREQ(s->where, "roads.id IN (1,2)");
  EXPECT_STREQ(s->query_info->columns[0], "id");
  EXPECT_STREQ(s->query_info->clause, "ORDER BY ID");
  EXPECT_STREQ(s->query_info->texts[0], "hint");
  EXPECT_EQ(s->query_info->value, 5);
  EXPECT_EQ(s->query_info->logfile, nullptr);
  ASSERT_EQ(db_stream_set_query_info(s, &q), 0);  // a second copy replaces the first
  // A text longer than its buffer is refused whole, never cut (a cut table
  // name could name another table); the stream keeps its last copy.
  std::string long_table = "bob." + std::string(255, 't');
  std::string long_column(260, 'c');
  std::string long_text(1024, 'x');
  std::string long_where = "id = 1 OR " + std::string(1 << 20, ' ');
  struct Long { const char* name; char** slot; std::string* text; };
  const Long longs[] = {{"table name", &tables[0], &long_table}, {"column name", &cols[0], &long_column},
                        {"text", &texts[0], &long_text}, {"where clause", &c.where, &long_where}};
  for (const Long& l : longs) {
    char* kept = *l.slot;
    *l.slot = &(*l.text)[0];
    EXPECT_EQ(db_stream_set_query_info(s, &q), SE_INVALID_PARAM) << l.name;
    *l.slot = kept;
    EXPECT_STREQ(s->tables[0], "changed") << l.name;
  }
  long_table.pop_back();  // 258 characters fill the buffer exactly
  tables[0] = &long_table[0];
  ASSERT_EQ(db_stream_set_query_info(s, &q), 0);
  EXPECT_EQ(strlen(s->tables[0]), 258u);
  q.num_columns = -1;
  EXPECT_EQ(db_stream_set_query_info(s, &q), SE_INVALID_PARAM);
  DB_stream_free(s);
  EXPECT_EQ(s->query_info, nullptr);
  free(s);
}

}  // namespace
