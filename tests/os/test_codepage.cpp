// Code-page basics of the OS layer: configured code pages, per-code-page
// case tables, and the Big5 / CNS 11643 mappings from glibc's iconv.
#include "zulos.h"

#include <gtest/gtest.h>

namespace {

struct CaseRow {
  const char* name;
  int cp, byte, upper, lower, alpha;
};

TEST(CodePageCase, FoldsBytesOfEachCodePage) {
  const CaseRow kRows[] = {
      {"1252 e acute", 1252, 0xE9, 0xC9, 0xE9, 1},
      {"1252 E acute", 1252, 0xC9, 0xC9, 0xE9, 1},
      {"1252 s caron", 1252, 0x9A, 0x8A, 0x9A, 1},
      {"1252 y diaeresis to 0x9F", 1252, 0xFF, 0x9F, 0xFF, 1},
      {"1252 sharp s has no single-byte upper", 1252, 0xDF, 0xDF, 0xDF, 1},
      {"1252 micro sign's upper is not in 1252", 1252, 0xB5, 0xB5, 0xB5, 1},
      {"1252 multiplication sign", 1252, 0xD7, 0xD7, 0xD7, 0},
      {"1252 ASCII", 1252, 'q', 'Q', 'q', 1},
      {"437 e acute", 437, 0x82, 0x90, 0x82, 1},
      {"437 u diaeresis", 437, 0x81, 0x9A, 0x81, 1},
      {"437 box drawing", 437, 0xC4, 0xC4, 0xC4, 0},
      {"1251 Cyrillic a", 1251, 0xE0, 0xC0, 0xE0, 1},
      {"866 Cyrillic A", 866, 0x80, 0x80, 0xA0, 1},
      {"932 lead byte left alone", 932, 0x82, 0x82, 0x82, 0},
      {"720 unknown to iconv: ASCII only", 720, 0xE9, 0xE9, 0xE9, 0},
      {"720 unknown to iconv: ASCII folds", 720, 'b', 'B', 'b', 1},
      {"outside 0..255 unchanged", 1252, 300, 300, 300, 0},
  };
  for (const CaseRow& r : kRows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.upper, zulos_cp_toupper(r.cp, r.byte));
    EXPECT_EQ(r.lower, zulos_cp_tolower(r.cp, r.byte));
    EXPECT_EQ(r.alpha, zulos_cp_isalpha(r.cp, r.byte));
  }
}

TEST(CodePageCase, CharacterTypeCodePageFollowsTheAnsiCodePageUnlessSet) {
  int acp = zulos_ansi_code_page();
  zulos_set_code_pages(1252, 0);
  zulos_set_ctype_code_page(0);
  EXPECT_EQ(1252, zulos_ctype_code_page());
  EXPECT_EQ(0xC9, zulos_ctype_toupper(0xE9));
  EXPECT_TRUE(zulos_ctype_islower(0xE9));
  zulos_set_ctype_code_page(437);
  EXPECT_EQ(0x90, zulos_ctype_toupper(0x82));
  EXPECT_FALSE(zulos_ctype_isalpha(0xC4));
  zulos_set_ctype_code_page(0);
  zulos_set_code_pages(1251, 0);
  EXPECT_EQ(0xC0, zulos_ctype_toupper(0xE0)) << "a new ANSI code page changes the folding";
  zulos_set_code_pages(acp, 0);
}

TEST(CodePageConfig, SetterKeepsWhatItIsNotGiven) {
  int acp = zulos_ansi_code_page(), oem = zulos_oem_code_page();
  zulos_set_code_pages(950, 0);
  EXPECT_EQ(950, zulos_ansi_code_page());
  EXPECT_EQ(oem, zulos_oem_code_page());
  zulos_set_code_pages(0, 850);
  EXPECT_EQ(950, zulos_ansi_code_page());
  EXPECT_EQ(850, zulos_oem_code_page());
  zulos_set_code_pages(acp, oem);
  EXPECT_STREQ("CP437", zulos_cp_charset(437));
  EXPECT_EQ(nullptr, zulos_cp_charset(720));
}

struct Big5Row {
  const char* name;
  unsigned lead, trail;
  int32_t ucs;
  int plane;
  unsigned row, cell;
};

TEST(CodePageUnicode, Big5AndCnsMappingsAgree) {
  const Big5Row kRows[] = {
      {"ideographic space, plane 1", 0xA1, 0x40, 0x3000, 1, 0x21, 0x21},
      {"one, plane 1", 0xA4, 0x40, 0x4E00, 1, 0x44, 0x21},
      {"first plane-2 character", 0xC9, 0x40, 0x4E42, 2, 0x21, 0x21},
  };
  for (const Big5Row& r : kRows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.ucs, zulos_big5_to_ucs(r.lead, r.trail));
    EXPECT_EQ((int32_t)(r.lead << 8 | r.trail), zulos_ucs_to_big5((uint32_t)r.ucs));
    EXPECT_EQ(r.ucs, zulos_cns_to_ucs(r.plane, r.row, r.cell));
    EXPECT_EQ((int32_t)(r.plane << 16 | r.row << 8 | r.cell), zulos_ucs_to_cns((uint32_t)r.ucs));
  }
}

TEST(CodePageUnicode, PlanesThreeAndFifteenAndWhatHasNoMapping) {
  EXPECT_EQ(0x4E28, zulos_cns_to_ucs(3, 0x21, 0x21));
  EXPECT_EQ(3 << 16 | 0x2121, zulos_ucs_to_cns(0x4E28));
  EXPECT_EQ(0x20002, zulos_cns_to_ucs(15, 0x21, 0x21));
  EXPECT_EQ(15 << 16 | 0x2121, zulos_ucs_to_cns(0x20002));
  EXPECT_EQ(-1, zulos_ucs_to_big5(0x20002)) << "plane 15 character without Big5 code";
  EXPECT_EQ(-1, zulos_cns_to_ucs(4, 0x21, 0x21)) << "plane 4 is not offered";
  EXPECT_EQ(-1, zulos_cns_to_ucs(1, 0x20, 0x21));
  EXPECT_EQ(-1, zulos_big5_to_ucs(0xA4, 0x7F));
  EXPECT_EQ(-1, zulos_big5_to_ucs(0x41, 0x41));
  EXPECT_EQ(-1, zulos_ucs_to_cns(0xFFFD));
}

}  // namespace
