// Code pages of a connection: classification of the machine's code page,
// the catalogue look-up and convert decision, tables from the character
// files, the multi-byte routines, and case folding through the native page.
#include "zul_codepage.h"

#include "svr_services.h"
#include "zulos.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kShippedHome = std::string(ZUL_SOURCE_DIR) + "/etc/zulhome";
constexpr int32_t kDb2Column = 8;  // the DBMS id of DB2 picks the catalogue column

// Points $ZULHOME at a home for one test and puts the old value back.
class HomeGuard {
 public:
  explicit HomeGuard(const std::string& home) {
    const char* old = getenv("ZULHOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("ZULHOME", home.c_str(), 1);
  }
  ~HomeGuard() {
    if (had_) setenv("ZULHOME", old_.c_str(), 1);
    else unsetenv("ZULHOME");
  }

 private:
  bool had_;
  std::string old_;
};

// A connection record against a native single-byte Windows code page.
CODEPAGE_INFO connect(const char* client, int32_t native_id, const char* native_name,
                      int32_t* rc = nullptr) {
  CODEPAGE_INFO info;
  memset(&info, 0x5A, sizeof info);  // the init must not rely on a cleared record
  int32_t native_class = native_id >= 1 && native_id <= 6 ? (native_id == 2 ? 4 : 2) : 1;
  int32_t r = CODEPAGE_svrcpginit(client, native_id, native_class, native_name, kDb2Column, &info);
  if (rc) *rc = r;
  return info;
}

std::string to_cpg(std::string s, const CODEPAGE_INFO& info, int32_t cap = 64) {
  std::string buf(s);
  buf.resize((size_t)cap, '\0');
  CODEPAGE_tocpg(&buf[0], cap, &info);
  return std::string(buf.c_str());
}
std::string to_native(std::string s, const CODEPAGE_INFO& info, int32_t cap = 64) {
  std::string buf(s);
  buf.resize((size_t)cap, '\0');
  CODEPAGE_tonative(&buf[0], cap, &info);
  return std::string(buf.c_str());
}

// ---- the machine's code page ------------------------------------------------------

struct GetRow {
  int acp, oemcp, which;
  int32_t id, cls;
  const char* name;
};

TEST(CodePageGet, ClassifiesWindowsCodePages) {
  const GetRow kRows[] = {
      {950, 437, 1, 1, 2, "big5"},  {949, 437, 1, 6, 2, "ko"},     {932, 437, 1, 4, 2, "sjis"},
      {936, 437, 1, 3, 2, "zh"},    {874, 437, 1, 48, 1, "th"},    {1252, 437, 1, 40, 1, "1252"},
      {1256, 437, 1, 44, 1, "1256"}, {65001, 437, 1, 40, 1, "1252"},  // unknown ANSI
      {1252, 850, 0, 21, 1, "850"}, {1252, 866, 0, 32, 1, "866"},  {1252, 12345, 0, 20, 1, "437"},
  };
  int acp = zulos_ansi_code_page(), oem = zulos_oem_code_page();
  for (const GetRow& r : kRows) {
    SCOPED_TRACE(std::to_string(r.which ? r.acp : r.oemcp));
    zulos_set_code_pages(r.acp, r.oemcp);
    CODEPAGE_INFO info;
    ASSERT_EQ(0, CODEPAGE_get(&info, r.which));
    EXPECT_EQ(r.id, info.native_id);
    EXPECT_EQ(r.cls, info.native_class);
    EXPECT_STREQ(r.name, info.native_name);
  }
  zulos_set_code_pages(acp, oem);
}

// ---- look-up and the convert decision ---------------------------------------------

struct LookupRow {
  const char* name;
  const char* client;
  int32_t native_id;
  const char* native_name;
  int32_t conn_id;
  const char* conn_name;
  int32_t convert;
};

TEST(CodePageLookup, FindsTheClientCodePageAndDecidesConversion) {
  HomeGuard home(kShippedHome);
  const LookupRow kRows[] = {
      {"locale text, last part after the dot", "English_United States.850", 40, "1252", 21, "850", 1},
      {"a name without a dot is looked up whole", "437", 40, "1252", 20, "437", 1},
      {"only the part after the last dot counts", "a.b.866", 40, "1252", 32, "866", 1},
      {"950 gives big5", "x.950", 40, "1252", 1, "big5", 0},
      {"949 gives ko", "x.949", 40, "1252", 6, "ko", 0},
      {"1252 against 88591 needs no conversion", "x.819", 40, "1252", 7, "88591", 0},
      {"88591 against 1252 needs no conversion", "x.1252", 7, "88591", 40, "1252", 0},
      {"same code page", "x.1252", 40, "1252", 40, "1252", 0},
      {"unknown name", "x.4711", 40, "1252", 0, "", 0},
      {"big5 native, tw_euc client", "x.964", 1, "big5", 2, "tw_euc", 1},
      {"sjis native, jpn_euc client", "x.954", 4, "sjis", 5, "jpn_euc", 1},
      {"jpn_euc native, sjis client", "x.943", 5, "jpn_euc", 4, "sjis", 1},
      {"sjis native, single-byte client: no routine", "x.1252", 4, "sjis", 40, "1252", 0},
      {"zh native, single-byte client: no routine", "x.850", 3, "zh", 21, "850", 0},
      {"big5 client of a single-byte native", "x.950", 38, "1250", 1, "big5", 0},
      {"zh client never converts", "x.936", 1, "big5", 3, "zh", 0},
  };
  for (const LookupRow& r : kRows) {
    SCOPED_TRACE(r.name);
    int32_t rc;
    CODEPAGE_INFO info = connect(r.client, r.native_id, r.native_name, &rc);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(r.native_id, info.native_id);
    EXPECT_EQ(r.conn_id, info.conn_id);
    EXPECT_STREQ(r.conn_name, info.conn_name);
    EXPECT_EQ(r.convert, info.convert);
    if (!info.convert) {
      // Without conversion the routines leave every string alone.
      EXPECT_EQ("\xE9t\xE9", to_cpg("\xE9t\xE9", info));
      EXPECT_EQ("\xE9t\xE9", to_native("\xE9t\xE9", info));
    }
  }
}

TEST(CodePageLookup, ColumnPicksTheNamingScheme) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO info;
  ASSERT_EQ(0, CODEPAGE_svrcpginit("x.88592", 40, 1, "1252", 0, &info));
  EXPECT_EQ(8, info.conn_id) << "column 0 holds the code pages' own names";
  ASSERT_EQ(0, CODEPAGE_svrcpginit("x.ROMAN8", 40, 1, "1252", 0, &info));
  EXPECT_EQ(19, info.conn_id) << "letter case does not matter";
  ASSERT_EQ(0, CODEPAGE_svrcpginit("x.88592", 40, 1, "1252", kDb2Column, &info));
  EXPECT_EQ(0, info.conn_id) << "column 8 holds DB2's numbers only";
  ASSERT_EQ(0, CODEPAGE_svrcpginit("x.912", 40, 1, "1252", 40, &info));
  EXPECT_EQ(0, info.conn_id) << "a column beyond every line matches nothing";
}

TEST(CodePageLookup, MissingHomeOrCatalogueGivesNoConversion) {
  const char* saved = getenv("ZULHOME");
  std::string old = saved ? saved : "";
  unsetenv("ZULHOME");
  int32_t rc;
  CODEPAGE_INFO info = connect("x.850", 40, "1252", &rc);
  EXPECT_EQ(SE_CODEPAGE_NO_CATALOGUE, rc);
  EXPECT_EQ(0, info.convert);
  {
    HomeGuard home("/nonexistent/zulhome");
    info = connect("x.850", 40, "1252", &rc);
    EXPECT_EQ(SE_CODEPAGE_NO_CATALOGUE, rc);
    EXPECT_EQ(0, info.convert);
    EXPECT_EQ("\xE9", to_cpg("\xE9", info));
  }
  if (saved) setenv("ZULHOME", old.c_str(), 1);
}

// ---- single-byte tables from the shipped character files ----------------------------

struct PairRow {
  const char* name;
  int32_t native_id;
  const char* native_name;
  const char* client;
  const char* native_text;
  const char* client_text;
};

TEST(CodePageTables, GoldenCharacterPairsBothWays) {
  HomeGuard home(kShippedHome);
  const PairRow kRows[] = {
      {"e acute: 0xE9 in 1252, 0x82 in 437", 40, "1252", "x.437", "caf\xE9", "caf\x82"},
      {"u diaeresis and n tilde", 40, "1252", "x.437", "\xFC\xF1", "\x81\xA4"},
      {"e acute in 850", 40, "1252", "x.850", "\xE9t\xE9", "\x82t\x82"},
      {"Cyrillic 1251 against 866", 39, "1251", "x.866", "\xC6\xE6", "\x86\xA6"},
      {"Greek 1253 against ISO 8859-7", 41, "1253", "x.813", "\xC1\xE1", "\xC1\xE1"},
      {"Polish 1250 against 852", 38, "1250", "x.852", "\xA5\xB9", "\xA4\xA5"},
  };
  for (const PairRow& r : kRows) {
    SCOPED_TRACE(r.name);
    int32_t rc;
    CODEPAGE_INFO info = connect(r.client, r.native_id, r.native_name, &rc);
    ASSERT_EQ(0, rc);
    ASSERT_EQ(1, info.convert);
    EXPECT_EQ(r.client_text, to_cpg(r.native_text, info));
    EXPECT_EQ(r.native_text, to_native(r.client_text, info));
  }
}

TEST(CodePageTables, CharacterWithoutCounterpartBecomesQuestionMark) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO info = connect("x.437", 40, "1252");
  ASSERT_EQ(1, info.convert);
  EXPECT_EQ("? ?", to_cpg("\x80 \x81", info)) << "euro sign, and a byte 1252 leaves unassigned";
  EXPECT_EQ("?", to_native("\xC4", info)) << "box drawing has no 1252 byte";
}

// A home of its own, with a short and a damaged character file.
class SmallHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zulcpXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    ASSERT_EQ(0, mkdir((dir_ + "/locale").c_str(), 0700));
    ASSERT_EQ(0, mkdir((dir_ + "/locale/codepage").c_str(), 0700));
    write("codepage.txt",
          "aaa\n"
          "1252 - - - - - - - 1252\n"
          "850  - - - - - - - 850 extra words are fine\n"
          "1251 - - - - - - - 1251\n");
    // Line i is byte 128 + i: three lines only, the third unknown to 850.
    write("1252.txt", "80 20AC\n81 00e9\n82 zzzz\n");
    // The euro sign sits at byte 00 here, which must not become a NUL.
    write("850.txt", "00 20ac\n82 00E9\nnonsense\n");
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir_;
    ASSERT_EQ(0, system(cmd.c_str()));
  }
  void write(const char* name, const char* text) {
    std::string path = dir_ + "/locale/codepage/" + name;
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fputs(text, f);
    fclose(f);
  }
  std::string dir_;
};

TEST_F(SmallHome, UnfilledEntriesMapToQuestionMarkNeverToNul) {
  HomeGuard home(dir_);
  int32_t rc;
  CODEPAGE_INFO info = connect("x.850", 40, "1252", &rc);
  ASSERT_EQ(0, rc);
  ASSERT_EQ(1, info.convert);
  EXPECT_EQ('?', info.to_conn[0]) << "a target byte of 00";
  EXPECT_EQ(0x82, info.to_conn[1]);
  EXPECT_EQ('?', info.to_conn[2]) << "identifier missing from the target";
  for (int i = 3; i < CODEPAGE_TABLE_LEN; ++i) ASSERT_EQ('?', info.to_conn[i]) << i;
  EXPECT_EQ("a?\x82?b?", to_cpg("a\x80\x81\x82" "b\xFF", info));
}

TEST_F(SmallHome, MissingCharacterFileFailsTheSetUp) {
  HomeGuard home(dir_);
  int32_t rc;
  CODEPAGE_INFO info = connect("x.1251", 40, "1252", &rc);
  EXPECT_EQ(SE_CODEPAGE_TABLE_FAILED, rc);
  EXPECT_EQ(0, info.convert);
  EXPECT_EQ("\xE9", to_cpg("\xE9", info));
  info = connect("x.850", 40, "../1252", &rc);
  EXPECT_EQ(SE_CODEPAGE_TABLE_FAILED, rc) << "a native name that is no plain word";
}

TEST(CodePageTables, IomgrInitBuildsOnlyTheClientTable) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO info;
  memset(&info, 0, sizeof info);
  info.native_id = 40;
  info.native_class = 1;
  strcpy(info.native_name, "1252");
  ASSERT_EQ(0, CODEPAGE_iomgrcpginit("x.437", kDb2Column, &info));
  ASSERT_EQ(1, info.convert);
  EXPECT_EQ("\x82", to_cpg("\xE9", info));
  EXPECT_EQ("\x82", to_native("\x82", info)) << "no client-to-native table was built";
}

// ---- Shift-JIS and EUC-JP -------------------------------------------------------------

// Converts one sequence with glibc's iconv; empty when it does not convert.
std::string iconv_one(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return "";
  char out[16];
  char* ip = const_cast<char*>(in.data());
  char* op = out;
  size_t il = in.size(), ol = sizeof out;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  return r == (size_t)-1 || il ? "" : std::string(out, sizeof out - ol);
}

TEST(CodePageJapanese, ArithmeticMatchesIconvOverJisX0208) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO sj = connect("x.954", 4, "sjis");
  ASSERT_EQ(1, sj.convert);
  iconv_t to_euc = iconv_open("EUC-JP", "SJIS");
  ASSERT_NE((iconv_t)-1, to_euc);
  int checked = 0;
  for (unsigned lead = 0x81; lead <= 0xEA; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string in = {(char)lead, (char)trail};
      char out[8];
      char* ip = &in[0];
      char* op = out;
      size_t il = 2, ol = sizeof out;
      iconv(to_euc, nullptr, nullptr, nullptr, nullptr);
      if (iconv(to_euc, &ip, &il, &op, &ol) == (size_t)-1) continue;  // not a JIS X 0208 code
      std::string euc(out, sizeof out - ol);
      if (euc.size() != 2) continue;
      ASSERT_EQ(euc, to_cpg(in, sj)) << std::hex << lead << " " << trail;
      ASSERT_EQ(in, to_native(euc, sj)) << std::hex << lead << " " << trail;
      ++checked;
    }
  }
  iconv_close(to_euc);
  EXPECT_GT(checked, 6000);
}

struct BoundRow {
  const char* name;
  int32_t native_id;
  const char* client;
  bool to_client;
  std::string in;
  int32_t cap;
  std::string out;
};

TEST(CodePageMultiByte, ConversionsStayInsideTheBuffer) {
  HomeGuard home(kShippedHome);
  const BoundRow kRows[] = {
      {"half-width katakana grows to two bytes", 4, "x.954", true, "a\xB1", 8, "a\x8E\xB1"},
      {"katakana without room is not written", 4, "x.954", true, "ab\xB1", 4, "ab"},
      {"lead byte cut short by the end", 4, "x.954", true, "a\x81", 8, "a?"},
      {"lead byte with a trail out of range", 4, "x.954", true, "\x81\x20x", 8, "? x"},
      {"EUC-JP katakana back to one byte", 4, "x.954", false, "\x8E\xB1z", 8, "\xB1z"},
      {"EUC-JP lead at the end", 4, "x.954", false, "z\xA4", 8, "z?"},
      {"Big5 plane 2 needs four bytes", 1, "x.964", true, "\xC9\x40", 5, "\x8E\xA2\xA1\xA1"},
      {"four bytes without room are not written", 1, "x.964", true, "a\xC9\x40", 5, "a"},
      {"Big5 lead byte at the end", 1, "x.964", true, "a\xA4", 8, "a?"},
      {"string without terminator within its buffer", 1, "x.964", true, "abcd", 4, "abc"},
  };
  for (const BoundRow& r : kRows) {
    SCOPED_TRACE(r.name);
    const char* native_name = r.native_id == 4 ? "sjis" : "big5";
    CODEPAGE_INFO info = connect(r.client, r.native_id, native_name);
    ASSERT_EQ(1, info.convert);
    // An exactly sized heap buffer, so an overrun shows under the sanitizer.
    char* buf = (char*)malloc((size_t)r.cap);
    memset(buf, 0, (size_t)r.cap);
    memcpy(buf, r.in.data(), std::min(r.in.size(), (size_t)r.cap));
    if (r.to_client) CODEPAGE_tocpg(buf, r.cap, &info);
    else CODEPAGE_tonative(buf, r.cap, &info);
    EXPECT_EQ(r.out, std::string(buf, strnlen(buf, (size_t)r.cap)));
    EXPECT_LT(strnlen(buf, (size_t)r.cap), (size_t)r.cap) << "terminated inside the buffer";
    free(buf);
  }
}

// ---- Big5 and EUC-TW ---------------------------------------------------------------------

TEST(CodePageChinese, Big5ToEucTwAndBackOverTheWholeBig5Range) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO info = connect("x.964", 1, "big5");
  ASSERT_EQ(1, info.convert);
  int round_trips = 0;
  for (unsigned lead = 0xA1; lead <= 0xF9; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail > 0x7E && trail < 0xA1) continue;
      std::string big5 = {(char)lead, (char)trail};
      std::string expect = iconv_one("EUC-TW", "BIG5", big5);
      if (expect.empty()) continue;  // no character here
      std::string euc = to_cpg(big5, info);
      if (expect.size() == 4 && (unsigned char)expect[1] > 0xA3 && (unsigned char)expect[1] != 0xAF)
        expect = "?";  // planes other than 1, 2, 3 and 15 are not written
      ASSERT_EQ(expect, euc) << std::hex << lead << " " << trail;
      if (euc != "?") {
        // Back to Big5 as iconv writes it: the same pair, except where Big5
        // holds one character twice (0xA2CC and 0xA451, for instance).
        std::string back = to_native(euc, info);
        ASSERT_EQ(iconv_one("BIG5", "EUC-TW", euc), back) << std::hex << lead << " " << trail;
        round_trips += back == big5;
      }
    }
  }
  EXPECT_GT(round_trips, 13000);
}

TEST(CodePageChinese, EucTwReadsBothFormsOfPlaneFifteenAndMarksUnknowns) {
  HomeGuard home(kShippedHome);
  CODEPAGE_INFO info = connect("x.950", 2, "tw_euc");
  ASSERT_EQ(1, info.convert);
  // Native EUC-TW to a Big5 client: plane 1, plane 2 written as 0x8E 0xA2,
  // and plane 1 written the long way as 0x8E 0xA1.
  EXPECT_EQ("\xA4\x40" "a\xC9\x40", to_cpg("\xC4\xA1" "a\x8E\xA2\xA1\xA1", info));
  EXPECT_EQ("\xA4\x40", to_cpg("\x8E\xA1\xC4\xA1", info));
  // Plane 15 in either form is read as one character (glibc's Big5 has no
  // plane-15 character, so it becomes one '?'); a plane that is not read and
  // a stray byte are replaced byte by byte.
  EXPECT_EQ("?x", to_cpg("\x8E\xAF\xA1\xA1x", info));
  EXPECT_EQ("?x", to_cpg("\x8E\xB0\xA1\xA1x", info));
  EXPECT_EQ("??x", to_cpg("\x8E\xA5x", info));
  EXPECT_EQ("?x", to_cpg("\xFFx", info));
}

// ---- lead bytes and case ----------------------------------------------------------------

TEST(CodePageLeadByte, AnswersByTheNativeCodePage) {
  struct Row {
    const char* name;
    int32_t id, cls, c, next, expect;
  };
  const Row kRows[] = {
      {"ASCII", 4, 2, 'A', 'B', 0},
      {"single-byte page", 40, 1, 0xE9, 'x', 0},
      {"sjis lead", 4, 2, 0x82, 0xA0, 1},
      {"sjis half-width katakana", 4, 2, 0xB1, 'x', 0},
      {"big5 lead", 1, 2, 0xA4, 0x40, 1},
      {"big5 0xB1 is a lead", 1, 2, 0xB1, 0x40, 1},
      {"tw_euc plane 2", 2, 4, 0x8E, 0xA2, 2},
      {"tw_euc 0x8E 0xAE", 2, 4, 0x8E, 0xAE, 2},
      {"tw_euc plane 15", 2, 4, 0x8E, 0xAF, 2},
      {"tw_euc plane 1", 2, 4, 0xC4, 0xA1, 1},
  };
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    CODEPAGE_INFO info;
    memset(&info, 0, sizeof info);
    info.native_id = r.id;
    info.native_class = r.cls;
    EXPECT_EQ(r.expect, CODEPAGE_isleadbyte(&info, r.c, r.next));
  }
}

TEST(CodePageCase, FoldsThroughTheNativeCodePage) {
  HomeGuard home(kShippedHome);
  int acp = zulos_ansi_code_page();
  zulos_set_code_pages(1252, 0);
  zulos_set_ctype_code_page(0);
  CODEPAGE_INFO conv = connect("x.437", 40, "1252");
  ASSERT_EQ(1, conv.convert);
  char text[16] = "\x82t\x82";  // "ete" with acute accents, in 437
  EXPECT_STREQ("\x90T\x90", SES_CpgToUpper(text, sizeof text, &conv));
  EXPECT_STREQ("\x82t\x82", SES_CpgToLower(text, sizeof text, &conv));
  CODEPAGE_INFO plain = connect("x.1252", 40, "1252");
  ASSERT_EQ(0, plain.convert);
  char native[16] = "\xE9t\xE9";
  EXPECT_STREQ("\xC9T\xC9", SES_CpgToUpper(native, sizeof native, &plain));
  EXPECT_STREQ("\xE9t\xE9", SES_CpgToLower(native, sizeof native, &plain));
  zulos_set_code_pages(acp, 0);
}

// The shipped character files say what glibc's iconv says of each byte.
TEST(CodePageFiles, ShippedCharacterFilesMatchIconv) {
  struct File {
    const char* name;
    const char* charset;
  };
  const File kFiles[] = {{"1252", "CP1252"}, {"437", "CP437"}, {"850", "CP850"},
                         {"88591", "ISO-8859-1"}, {"885915", "ISO-8859-15"},
                         {"1251", "CP1251"}, {"866", "CP866"}, {"th", "CP874"},
                         {"roman8", "HP-ROMAN8"}};
  for (const File& f : kFiles) {
    SCOPED_TRACE(f.name);
    std::string path = kShippedHome + "/locale/codepage/" + f.name + ".txt";
    FILE* fp = fopen(path.c_str(), "r");
    ASSERT_NE(nullptr, fp);
    char digits[8], id[8];
    for (int b = 0x80; b < 0x100; ++b) {
      ASSERT_EQ(2, fscanf(fp, "%7s %7s", digits, id)) << b;
      EXPECT_EQ(b, (int)strtol(digits, nullptr, 16));
      std::string u = iconv_one("UCS-4BE", f.charset, std::string(1, (char)b));
      char expect[8];
      if (u.size() == 4)
        snprintf(expect, sizeof expect, "%04x",
                 ((unsigned char)u[2] << 8 | (unsigned char)u[3]) & 0xFFFF);
      else
        snprintf(expect, sizeof expect, "-%02x-", b);
      EXPECT_STREQ(expect, id) << b;
    }
    fclose(fp);
  }
}

}  // namespace
