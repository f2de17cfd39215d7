// test_dbtune_file.cpp -- the dbtune text file: header lines, block parsing
// into the parameter records and the row list, one keyword read from a file
// under $ZULHOME/etc, and the built-in rows with their completion rules.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "zul_dbtune.h"

namespace {

struct Parsed {
  std::unique_ptr<DBTUNE_PARAMS> p{new DBTUNE_PARAMS()};
  std::unique_ptr<DBTUNE_LOGFILE_PARAMS> lf{new DBTUNE_LOGFILE_PARAMS()};
  std::unique_ptr<DBTUNE_RASTER_PARAMS> ras{new DBTUNE_RASTER_PARAMS()};
  std::vector<std::string> rows;  // "NAME=value"
  std::string next;               // the line after the block
  int32_t more = 0;
  int32_t status = 0;
};

// Parses one block: text holds the lines after the header.
Parsed parse(const std::string& keyword, const std::string& text) {
  Parsed r;
  FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  char line[DBTUNE_LINE_LEN];
  DBTUNE_ROW_LIST list = {nullptr, nullptr, nullptr, 0};
  if (dbtune_read_line(f, line))
    r.status = db_dbtune_parse_keyword_block(f, line, &r.more, keyword.c_str(), r.p.get(), r.lf.get(),
                                             r.ras.get(), &list);
  r.next = r.more ? line : "";
  for (int32_t i = 0; i < list.count; ++i) {
    EXPECT_EQ(keyword, list.keywords[i]);
    r.rows.push_back(std::string(list.names[i]) + "=" + list.values[i]);
  }
  dbtune_row_list_clear(&list);
  fclose(f);
  return r;
}

TEST(DbtuneFile, HeaderLines) {
  struct Case {
    const char* line;
    int32_t header;
    const char* keyword;
  } kCases[] = {
      {"##DEFAULTS", 1, "DEFAULTS"},
      {" \t##LOGFILE_DEFAULTS  trailing words", 1, "LOGFILE_DEFAULTS"},
      {"###DEFAULTS", 0, ""},
      {"# ##DEFAULTS", 0, ""},
      {"##", 0, ""},
      {"B_STORAGE \"x\"", 0, ""},
      {"##ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
  };
  for (const Case& c : kCases) {
    char kw[DBTUNE_NAME_LEN] = "";
    EXPECT_EQ(c.header, dbtune_header_keyword(c.line, kw)) << c.line;
    if (c.header) EXPECT_STREQ(c.keyword, kw) << c.line;
  }
}

TEST(DbtuneFile, BlockValues) {
  struct Case {
    const char* name;
    const char* keyword;
    const char* text;
    std::vector<std::string> rows;
    int16_t count;
  } kCases[] = {
      {"quoted and plain", "DEFAULTS",
       "B_STORAGE\t\"IN USERSPACE1\"\nLOB_SIZE 1M\nEND\n",
       {"B_STORAGE=IN USERSPACE1", "LOB_SIZE=1M"}, 200},
      {"number sign cuts the value", "DEFAULTS",
       "B_STORAGE IN TS1 # comment\nB_INDEX_USER # only a comment\nEND\n",
       {"B_STORAGE=IN TS1 "}, 100},
      {"empty quoted value and unknown name ignored", "DEFAULTS",
       "B_STORAGE \"\"\nNOT_A_NAME \"x\"\n\nEND\n", {}, 0},
      {"lower case name kept as written, value as written", "mine",
       "b_storage \"in userspace1\"\nend\n", {"b_storage=in userspace1"}, 100},
      {"continued quoted value", "DEFAULTS",
       "B_STORAGE \"IN TS1\nINDEX IN TS2\nLONG IN TS3\"\nA_STORAGE \"x\"\nEND\n",
       {"B_STORAGE=IN TS1 INDEX IN TS2  LONG IN TS3 ", "A_STORAGE=x"}, 200},
      {"continuation ends at a kept name", "DEFAULTS",
       "B_STORAGE \"IN TS1\\\n\nA_STORAGE \"x\"\nEND\n",
       {"B_STORAGE=IN TS1", "A_STORAGE=x"}, 200},
      {"secondary index read, counted, kept in the list", "DEFAULTS",
       "B_INDEX_1 \"x\"\nEND\n", {"B_INDEX_1=x"}, 100},
      {"value texts counted but stored nowhere", "NETWORK_DEFAULTS",
       "COMMENT \"c\"\nUI_NETWORK_TEXT \"t\"\nEND\n", {"COMMENT=c", "UI_NETWORK_TEXT=t"}, 200},
      {"a header inside a block is a comment line", "DEFAULTS",
       "B_STORAGE \"a\"\n##OTHER\nA_STORAGE \"b\"\nEND\n", {"B_STORAGE=a", "A_STORAGE=b"}, 200},
      {"block without END runs to the end of the file", "DEFAULTS", "B_STORAGE \"a\"",
       {"B_STORAGE=a"}, 100},
  };
  for (const Case& c : kCases) {
    Parsed r = parse(c.keyword, c.text);
    EXPECT_EQ(0, r.status) << c.name;
    EXPECT_EQ(c.rows, r.rows) << c.name;
    EXPECT_EQ(c.count, r.p->count) << c.name;
  }
}

TEST(DbtuneFile, FieldsByGroup) {
  Parsed r = parse("DATA_DICTIONARY",
                   "B_STORAGE \"b\"\nLD_STORAGE \"ld\"\nBND_INDEX_COMPOSITE \"bnd\"\n"
                   "STATES_TABLE \"st\"\nLOB_OPTION \"lob\"\nB_STORAGE \"b2\"\nEND\n");
  EXPECT_STREQ("b2", r.p->B_STORAGE);  // a later occurrence replaces the value
  EXPECT_STREQ("ld", r.lf->LD_STORAGE);
  EXPECT_STREQ("bnd", r.ras->BND_INDEX_COMPOSITE);
  EXPECT_STREQ("st", r.p->STATES_TABLE);
  EXPECT_STREQ("lob", r.p->LOB_OPTION);

  // system-table names only under DATA_DICTIONARY and longer keywords that begin with it
  EXPECT_STREQ("", parse("DEFAULTS", "STATES_TABLE \"st\"\nEND\n").p->STATES_TABLE);
  EXPECT_STREQ("st", parse("DATA_DICTIONARY2", "STATES_TABLE \"st\"\nEND\n").p->STATES_TABLE);

  // values are cut at their field's width, LOB_OPTION at 127 characters
  std::string long_value(3000, 'v');
  Parsed big = parse("DEFAULTS", "B_STORAGE \"" + long_value + "\"\nLOB_OPTION " + long_value + "\nEND\n");
  EXPECT_EQ(DBTUNE_FIELD_LEN - 1, strlen(big.p->B_STORAGE));
  EXPECT_EQ(DBTUNE_LOB_OPTION_LEN - 1, strlen(big.p->LOB_OPTION));
}

TEST(DbtuneFile, LineAfterTheBlockIsHandedBack) {
  Parsed r = parse("A", "B_STORAGE \"x\"\nEND\n##NEXT\nB_STORAGE \"y\"\n");
  EXPECT_EQ(1, r.more);
  EXPECT_EQ("##NEXT", r.next);
  Parsed last = parse("A", "END\n");
  EXPECT_EQ(0, last.more);
}

TEST(DbtuneFile, OverlongLineIsCutNotSplit) {
  // the tail of an overlong line must not come back as a line of its own
  std::string text = "B_STORAGE \"" + std::string(2200, 'x') + "##FAKE\nEND\n";
  FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  char line[DBTUNE_LINE_LEN];
  ASSERT_EQ(1, dbtune_read_line(f, line));
  EXPECT_EQ(DBTUNE_LINE_LEN - 1, strlen(line));
  ASSERT_EQ(1, dbtune_read_line(f, line));
  EXPECT_STREQ("END", line);
  EXPECT_EQ(0, dbtune_read_line(f, line));
  fclose(f);
}

class DbtuneHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zul_dbtune_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    std::filesystem::create_directories(home_ + "/etc");
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZULHOME");
    std::filesystem::remove_all(home_);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(home_ + "/etc/" + name) << text;
  }
  std::string home_;
};

TEST_F(DbtuneHome, ReadsOneKeywordFromTheFile) {
  write("dbtune.zul",
        "free text\n##DEFAULTS\nB_STORAGE \"d\"\nEND\n\n##data_dictionary\nB_STORAGE \"dd\"\n"
        "VERSIONS_TABLE \"v\"\nEND\n");
  Parsed r;
  EXPECT_EQ(0, db_dbtune_read_file_keyword(nullptr, "dbtune.zul", "DATA_DICTIONARY", r.p.get(), r.lf.get(),
                                           r.ras.get()));
  EXPECT_STREQ("dd", r.p->B_STORAGE);
  EXPECT_STREQ("v", r.p->VERSIONS_TABLE);
  EXPECT_EQ(200, r.p->count);

  // an absent keyword reads as empty records
  EXPECT_EQ(0, db_dbtune_read_file_keyword(nullptr, "dbtune.zul", "NONE", r.p.get(), r.lf.get(), r.ras.get()));
  EXPECT_EQ(0, r.p->count);
  EXPECT_STREQ("", r.p->B_STORAGE);
}

TEST_F(DbtuneHome, FileNamesStayInEtc) {
  char path[4096];
  EXPECT_EQ(0, dbtune_file_path("dbtune.zul", path, sizeof path));
  EXPECT_EQ(home_ + "/etc/dbtune.zul", path);
  for (const char* bad : {"../dbtune.zul", "/etc/passwd", "a\\b", "..", ".", ""})
    EXPECT_EQ(SE_DBTUNE_FILE_ERROR, dbtune_file_path(bad, path, sizeof path)) << bad;
  Parsed r;
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR,
            db_dbtune_read_file_keyword(nullptr, "missing.zul", "DEFAULTS", r.p.get(), r.lf.get(), r.ras.get()));
}

TEST(DbtuneDefaults, TableHoldsEveryRowOnce) {
  int32_t per_keyword[DBTUNE_DEFAULT_KEYWORDS] = {0};
  for (int32_t i = 0; i < DBTUNE_DEFAULT_ROWS; ++i) {
    const DBTUNE_DEFAULT_ROW& r = kDbtuneDefaultRows[i];
    ASSERT_NE(nullptr, r.name) << "row " << i;
    ASSERT_GE(r.keyword, 0);
    ASSERT_LT(r.keyword, DBTUNE_DEFAULT_KEYWORDS);
    per_keyword[r.keyword]++;
    for (int32_t j = 0; j < i; ++j)
      EXPECT_FALSE(kDbtuneDefaultRows[j].keyword == r.keyword && strcmp(kDbtuneDefaultRows[j].name, r.name) == 0)
          << kDbtuneDefaultKeywords[r.keyword] << " " << r.name;
  }
  const int32_t kExpected[DBTUNE_DEFAULT_KEYWORDS] = {16, 5, 14, 10, 10, 10, 8, 3, 3, 4, 3, 2, 2, 3, 1, 13, 12};
  for (int32_t k = 0; k < DBTUNE_DEFAULT_KEYWORDS; ++k)
    EXPECT_EQ(kExpected[k], per_keyword[k]) << kDbtuneDefaultKeywords[k];
}

// The rows a file's blocks leave to the built-in defaults.
std::vector<std::string> missing_after(const std::vector<std::pair<std::string, std::vector<std::string>>>& blocks) {
  int32_t supplied[DBTUNE_DEFAULT_ROWS] = {0};
  for (const auto& b : blocks) {
    DBTUNE_ROW_LIST list = {nullptr, nullptr, nullptr, 0};
    for (const std::string& name : b.second) {
      dbtune_row_list_append(&list, b.first.c_str(), name.c_str(), "v");
      // storage names are marked as their record fields are inserted
      dbtune_defaults_mark(supplied, b.first.c_str(), name.c_str());
    }
    dbtune_defaults_mark_block(supplied, b.first.c_str(), &list);
    dbtune_row_list_clear(&list);
  }
  int32_t complete[DBTUNE_DEFAULT_KEYWORDS];
  dbtune_defaults_complete(supplied, complete);
  std::vector<std::string> out;
  for (int32_t i = 0; i < DBTUNE_DEFAULT_ROWS; ++i) {
    const DBTUNE_DEFAULT_ROW& r = kDbtuneDefaultRows[i];
    if (!complete[r.keyword] && !supplied[i])
      out.push_back(std::string(kDbtuneDefaultKeywords[r.keyword]) + "." + r.name);
  }
  return out;
}

TEST(DbtuneDefaults, CompletionRules) {
  EXPECT_EQ(119u, missing_after({}).size());

  // DEFAULTS with B_STORAGE only: the other 14 built-in rows (UI_TEXT came with the block)
  auto m = missing_after({{"DEFAULTS", {"B_STORAGE", "UI_TEXT"}}});
  EXPECT_EQ(119u - 2, m.size());
  EXPECT_EQ(m.end(), std::find(m.begin(), m.end(), "DEFAULTS.UI_TEXT"));
  EXPECT_NE(m.end(), std::find(m.begin(), m.end(), "DEFAULTS.B_RUNSTATS"));

  // a keyword that begins with DEFAULTS marks DEFAULTS' UI_TEXT
  m = missing_after({{"DEFAULTS_MINE", {"UI_TEXT"}}});
  EXPECT_EQ(m.end(), std::find(m.begin(), m.end(), "DEFAULTS.UI_TEXT"));

  // QVM_METADATA complete with its six storage rows: COMMENT and UI_TEXT not added
  std::vector<std::string> six = {"B_STORAGE", "B_INDEX_ROWID", "B_INDEX_USER", "B_INDEX_SHAPE", "LOB_OPTION", "LOB_SIZE"};
  m = missing_after({{"QVM_METADATA", six}});
  EXPECT_EQ(m.end(), std::find(m.begin(), m.end(), "QVM_METADATA.COMMENT"));
  six.pop_back();
  m = missing_after({{"QVM_METADATA", six}});
  EXPECT_NE(m.end(), std::find(m.begin(), m.end(), "QVM_METADATA.COMMENT"));
  EXPECT_NE(m.end(), std::find(m.begin(), m.end(), "QVM_METADATA.LOB_SIZE"));

  // a storage name under another keyword supplies nothing
  m = missing_after({{"MINE", {"B_STORAGE"}}});
  EXPECT_EQ(119u, m.size());
}

}  // namespace
