// Case folding, blank trimming and the name check.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "svr_services.h"
#include "zul_codepage.h"
#include "zulos.h"

namespace {

TEST(RemoveSpaces, Table) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"  roads \t\n", "roads"}, {"\t a b \n", "a b"}, {" \t\n ", ""}, {"", ""}, {"plain", "plain"},
  };
  for (const Case& c : cases) {
    char buf[32];
    strcpy(buf, c.in);
    EXPECT_EQ(buf, SES_RemoveSpaces(buf));
    EXPECT_STREQ(c.out, buf) << "'" << c.in << "'";
  }
  EXPECT_EQ(nullptr, SES_RemoveSpaces(nullptr));
}

TEST(CaseFolding, SingleByteFoldsEveryByte) {
  zulos_set_ctype_code_page(1252);
  char buf[] = "Rue \xe9t\xe9 42";
  EXPECT_STREQ("RUE \xc9T\xc9 42", SES_UpperCase(buf));
  EXPECT_STREQ("rue \xe9t\xe9 42", SES_LowerCase(buf));
  CODEPAGE_INFO cp;
  memset(&cp, 0, sizeof cp);
  cp.native_class = CODEPAGE_SINGLE_BYTE;
  EXPECT_STREQ("RUE \xc9T\xc9 42", SES_ToUpper(buf, &cp));
  EXPECT_STREQ("rue \xe9t\xe9 42", SES_ToLower(buf, nullptr));
  zulos_set_ctype_code_page(0);
}

// Shift-JIS trail bytes fall in the ASCII letter range; they must not fold,
// and a lead byte at the very end must not carry the walk past the
// terminator.
TEST(CaseFolding, DoubleByteCharactersAreLeftAlone) {
  CODEPAGE_INFO cp;
  memset(&cp, 0, sizeof cp);
  cp.native_id = CODEPAGE_ID_SJIS;
  cp.native_class = CODEPAGE_DOUBLE_BYTE;
  char buf[] = "ab\x83\x61xy";  // 0x83 0x61 is one character
  EXPECT_STREQ("AB\x83\x61XY", SES_ToUpper(buf, &cp));
  char cut[] = "ab\x83";  // a lead byte with nothing after it
  EXPECT_STREQ("AB\x83", SES_ToUpper(cut, &cp));
  char* heap = strdup("q\x83");
  EXPECT_STREQ("Q\x83", SES_ToUpper(heap, &cp));
  free(heap);
}

TEST(NameCheck, Table) {
  struct Case {
    const char* name;
    int32_t kind;
    int32_t status;
  };
  const std::string k0_14(14, 'a'), k0_15(15, 'a'), k1_32(32, 'b'), k1_33(33, 'b');
  const Case cases[] = {
      {"Roads_2024", 0, 0},
      {"roads-east", 0, 0},
      {k0_14.c_str(), 0, 0},
      {k0_15.c_str(), 0, -1},
      {"has blank", 0, -1},
      {"dot.ted", 1, -1},
      {"", 1, -1},
      {nullptr, 1, -1},
      {k1_32.c_str(), 1, 0},
      {k1_33.c_str(), 1, -1},
      {"stra\xdf" "e", 1, 0},
      {"stra\xdf" "e", 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status, SES_name_check(c.name, c.kind)) << (c.name ? c.name : "<null>") << " kind " << c.kind;
  }
}

}  // namespace
