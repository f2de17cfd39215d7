// Record debug printers: the shared renderings (quoted and cut texts, byte
// buffers, envelopes, nesting) and the column tables.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "zul_layer.h"
#include "zullist.h"

namespace {

// What a printer writes, as a string.
template <class Fn>
std::string printed(Fn print) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  print(f);
  fclose(f);
  std::string out(buf, len);
  free(buf);
  return out;
}

TEST(Printers, StringsAreQuotedAndCutAt1024) {
  char buf[SE_LIST_STRING_SIZE];
  EXPECT_STREQ("<null>", SE_list_string(nullptr, buf, sizeof buf));
  EXPECT_STREQ("\"\"", SE_list_string("", buf, sizeof buf));
  std::string exact(1024, 'e'), longer(2000, 'd');
  EXPECT_EQ("\"" + exact + "\"", SE_list_string(exact.c_str(), buf, sizeof buf));
  EXPECT_EQ("\"" + std::string(1024, 'd') + "...\"", SE_list_string(longer.c_str(), buf, sizeof buf));
  char small[8];
  EXPECT_STREQ("\"abcdef", SE_list_string("abcdefghij", small, sizeof small)) << "never past the buffer";
}

TEST(Printers, BuffersShowAtMostTheAllowedBytes) {
  struct Case {
    const char* data;
    int64_t len, max;
    const char* want;
  };
  const Case kCases[] = {
      {"\x01\xAB", 2, 25, "BufferInfo:\t[2/2]\nBufferInHex:\t\"01AB\"\n"},
      {"\x01\x02\x03", 3, 2, "BufferInfo:\t[2/3]\nBufferInHex:\t\"0102...\"\n"},
      {nullptr, 9, 25, "BufferInfo:\t[0/9]\nBufferInHex:\t<null>\n"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(c.want, printed([&](FILE* f) { SE_list_buffer(f, c.data, c.len, c.max, nullptr); })) << c.want;
}

TEST(Printers, EnvelopeIsEmptyOnlyWhenTheCheckIsAsked) {
  SE_ENVELOPE inverted = {10, 0, 5, 1};
  EXPECT_EQ("<EMPTY>\n", printed([&](FILE* f) { SE_list_envelope(f, &inverted, 1, nullptr); }));
  EXPECT_EQ("MinX:        10.00000, MaxX:         5.00000\nMinY:         0.00000, MaxY:         1.00000\n",
            printed([&](FILE* f) { SE_list_envelope(f, &inverted, 0, nullptr); }));
}

TEST(Printers, NestedRecordsIndentByThePrefixWidthPlusTwo) {
  char buf[64];
  EXPECT_EQ(std::string(10, ' '), SE_list_nested_prefix("\t", 2, buf, sizeof buf));
  EXPECT_EQ(std::string(2, ' '), SE_list_nested_prefix(nullptr, 2, buf, sizeof buf));
  EXPECT_EQ(std::string(6, ' '), SE_list_nested_prefix("ab ", 3, buf, sizeof buf));
  LAYER layer{};
  layer.envelope = {1, 2, 3, 4};
  std::string text = printed([&](FILE* f) { SE_list_layer(f, &layer, 1, 0, "\t"); });
  EXPECT_NE(std::string::npos, text.find("\tLayer Envelope:\n          MinX:")) << text;
  EXPECT_NE(std::string::npos, text.find("\tLayer ID:              0\n")) << text;
  std::string flat = printed([&](FILE* f) { SE_list_layer(f, &layer, 1, 0, nullptr); });
  EXPECT_EQ(0u, flat.find("Layer ID:")) << "a null prefix starts labels at column 0";
  EXPECT_TRUE(printed([&](FILE* f) { SE_list_layer(f, &layer, 0, 0, "\t"); }).empty()) << "a count below 1";
}

TEST(Printers, UnknownColumnTypesDifferBetweenTheTwoTables) {
  COLUMN_DEF col{};
  strcpy(col.name, "ODD");
  col.type = 12;
  std::string defs = printed([&](FILE* f) { SE_list_column_defs(f, &col, 1, nullptr); });
  // name in 32, an empty type name in 11, width, digits, nullability, row id
  const std::string row = "ODD" + std::string(29, ' ') + " " + std::string(11, ' ') + "     0" + "   0" +
                          "  NOT NULL" + "  " + "    " + "\n";
  EXPECT_NE(std::string::npos, defs.find(row)) << defs;
  INPUT_DESC desc = {12, 4};
  std::string inputs = printed([&](FILE* f) { SE_list_input_desc(f, &desc, 1, nullptr); });
  EXPECT_NE(std::string::npos, inputs.find(" UNKNOWN         4  \n")) << inputs;
}

TEST(Printers, NamesOfSearchMethodsAndEntities) {
  struct Case {
    int32_t code;
    const char* method;
    const char* entity;
  };
  const Case kCases[] = {
      {0, "SM_ENVP", "Nil"},      {6, "SM_ET_OR_AI or SM_ET_OR_II", "Unknown Type"},
      {8, "SM_AI_NO_ET or SM_II_NO_ET", "Area"}, {14, "", "Unknown Type"},
      {17, "NONE", "Unknown Type"}, {18, "UNKNOWN", "Unknown Type"}, {-1, "UNKNOWN", "Unknown Type"},
  };
  for (const Case& c : kCases) {
    EXPECT_STREQ(c.method, SE_list_search_method_name(c.code)) << c.code;
    EXPECT_STREQ(c.entity, SE_list_entity_name(c.code)) << c.code;
  }
  EXPECT_STREQ("Multi Area", SE_list_entity_name(264));
}

}  // namespace
