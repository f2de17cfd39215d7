// test_table_layer.cpp -- the table layer's own rules: column definition
// texts and type words, the definition check, value conversion, reserved
// words and error reports.
#include <gtest/gtest.h>

#include <cmath>

#include "../../tools/tbl2zul/tableio.h"

namespace {

TEST(ColDefParse, TableOfTexts) {
  struct Case {
    const char* text;
    int rc;
    const char* name;
    int type, size, decimals, nullable;
  };
  const Case kCases[] = {
      {"A INTEGER", 0, "A", TBL_COL_INTEGER, 0, 0, 1},
      {"A STRING 40 NOT_NULL", 0, "A", TBL_COL_STRING, 40, 0, 0},
      {"A DOUBLE 12 3 !null", 0, "A", TBL_COL_DOUBLE, 12, 3, 0},
      {"A DOUBLE 12 3 notnullable", 0, "A", TBL_COL_DOUBLE, 12, 3, 0},
      {"A SMALLINT !NULL", 0, "A", TBL_COL_SMALLINT, 0, 0, 0},
      {"A NUMBER", TBL_InvalidColType, "A", 0, 0, 0, 1},
      {"A STRING 99999999999", TBL_ValueDecodeFailure, "A", TBL_COL_STRING, 0, 0, 1},
      {"", TBL_InvalidParamValue, "", 0, 0, 0, 1},
      {"NAME_OF_THIRTY_TWO_CHARACTERS_XX INTEGER", TBL_BadColumnDef, "", 0, 0, 0, 1},
  };
  for (const Case& c : kCases) {
    ColDef d;
    EXPECT_EQ(ColDef_Parse(&d, c.text), c.rc) << c.text;
    EXPECT_STREQ(d.name, c.name) << c.text;
    EXPECT_EQ(d.type, c.type) << c.text;
    EXPECT_EQ(d.size, c.size) << c.text;
    EXPECT_EQ(d.decimals, c.decimals) << c.text;
    EXPECT_EQ(d.nullable, c.nullable) << c.text;
  }
}

TEST(ColTypeParse, FirstMatchWins) {
  struct Case {
    const char* word;
    int type;
  } kCases[] = {
      {"int", 2},    {"LONG", 2},     {"LINT", 2},   {"i", 2},       {"TBL_INT", 2}, {"TB_dbl", 4},
      {"DOUBLE", 4}, {"D", 0},        {"f", 3},      {"SMALLINT", 1}, {"SINT", 1},    {"STRING", 5},
      {"STR", 5},    {"date", 7},     {"B", 6},      {"L", 10},      {"LOGICAL", 10}, {"NUMBER", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(ColType_Parse(c.word), c.type) << c.word;
}

TEST(CheckColDef, DefaultsAndRefusals) {
  struct Case {
    int type, size, decimals;
    bool usable;
    int code, size_after, decimals_after;
  } kCases[] = {
      {TBL_COL_SMALLINT, 0, 0, true, TBL_SetDefault, 4, 0},
      {TBL_COL_SMALLINT, 5, 0, false, TBL_BadColumnDef, 5, 0},
      {TBL_COL_INTEGER, 0, 0, true, 0, 0, 0},
      {TBL_COL_INTEGER, 38, 0, true, 0, 38, 0},
      {TBL_COL_INTEGER, 4, 0, false, TBL_BadColumnDef, 4, 0},
      {TBL_COL_FLOAT, 0, 0, true, TBL_SetDefault, 6, 2},
      {TBL_COL_FLOAT, 7, 2, false, TBL_BadColumnDef, 7, 2},
      {TBL_COL_DOUBLE, 0, 0, true, TBL_SetDefault, 15, 4},
      {TBL_COL_DOUBLE, 8, 0, false, TBL_BadColumnDef, 8, 0},
      {TBL_COL_DOUBLE, 10, 0, true, 0, 10, 0},
      {TBL_COL_STRING, 0, 0, true, TBL_SetDefault, 254, 0},
      {TBL_COL_LOGICAL, 0, 0, true, TBL_SetDefault, 1, 0},
      {TBL_COL_DATE, 0, 0, true, 0, 0, 0},
      {TBL_COL_DECIMAL, 5, 0, false, TBL_UnsupportedType, 5, 0},
      {99, 5, 0, false, TBL_InvalidColType, 5, 0},
  };
  for (const Case& c : kCases) {
    ColDef d{};
    d.type = c.type;
    d.size = c.size;
    d.decimals = static_cast<int16_t>(c.decimals);
    int code = -1;
    EXPECT_EQ(Table_CheckColDef(&d, &code), c.usable) << c.type << " " << c.size;
    EXPECT_EQ(code, c.code) << c.type << " " << c.size;
    EXPECT_EQ(d.size, c.size_after) << c.type << " " << c.size;
    EXPECT_EQ(d.decimals, c.decimals_after) << c.type << " " << c.size;
  }
}

Table_Value Num(int type, double x) {
  Table_Value v{};
  v.type = type;
  switch (type) {
    case TBL_COL_SMALLINT: v.v.s = static_cast<int16_t>(x); break;
    case TBL_COL_INTEGER: v.v.i = static_cast<int32_t>(x); break;
    case TBL_COL_FLOAT: v.v.f = static_cast<float>(x); break;
    default: v.v.d = x; break;
  }
  return v;
}

TEST(ValueConvert, TableOfConversions) {
  struct Case {
    const char* name;
    Table_Value src;
    int target;
    int rc;
    double expect;
  };
  Table_Value str{};
  str.type = TBL_COL_STRING;
  snprintf(str.v.str, sizeof str.v.str, "12");
  Table_Value date{};
  date.type = TBL_COL_DATE;
  const Case kCases[] = {
      {"70000 to SMALLINT", Num(TBL_COL_DOUBLE, 70000), TBL_COL_SMALLINT, TBL_ValueOverflow, 0},
      {"-2.5 to INTEGER", Num(TBL_COL_DOUBLE, -2.5), TBL_COL_INTEGER, 0, -2},
      {"0 to FLOAT", Num(TBL_COL_INTEGER, 0), TBL_COL_FLOAT, 0, 0},
      {"-1.5 to FLOAT", Num(TBL_COL_DOUBLE, -1.5), TBL_COL_FLOAT, 0, -1.5},
      {"1e39 to FLOAT", Num(TBL_COL_DOUBLE, 1e39), TBL_COL_FLOAT, TBL_ValueOverflow, 0},
      {"3e9 to INTEGER", Num(TBL_COL_DOUBLE, 3e9), TBL_COL_INTEGER, TBL_ValueOverflow, 0},
      {"SMALLINT to DOUBLE", Num(TBL_COL_SMALLINT, -7), TBL_COL_DOUBLE, 0, -7},
      {"STRING to INTEGER", str, TBL_COL_INTEGER, TBL_ValueEncodeFailure, 0},
      {"DATE to STRING", date, TBL_COL_STRING, TBL_ValueEncodeFailure, 0},
      {"INTEGER to STRING", Num(TBL_COL_INTEGER, 1), TBL_COL_STRING, TBL_ValueColumnNotSame, 0},
      {"INTEGER to DECIMAL", Num(TBL_COL_INTEGER, 1), TBL_COL_DECIMAL, TBL_UnsupportedType, 0},
  };
  for (const Case& c : kCases) {
    ColDef target{};
    target.type = c.target;
    Table_Value out;
    ASSERT_EQ(Value_Convert(&target, &out, &c.src), c.rc) << c.name;
    if (c.rc != 0) continue;
    double got = c.target == TBL_COL_SMALLINT ? out.v.s : c.target == TBL_COL_INTEGER ? out.v.i
               : c.target == TBL_COL_FLOAT ? out.v.f : out.v.d;
    EXPECT_EQ(got, c.expect) << c.name;
  }
  // The NULL flag travels with the value, and a BLOB is copied, not shared.
  Table_Value nul = Num(TBL_COL_INTEGER, 5);
  nul.is_null = 1;
  ColDef dbl{};
  dbl.type = TBL_COL_DOUBLE;
  Table_Value out;
  ASSERT_EQ(Value_Convert(&dbl, &out, &nul), 0);
  EXPECT_EQ(out.is_null, 1);
  Table_Value blob{};
  blob.type = TBL_COL_BLOB;
  blob.v.blob.len = 3;
  blob.v.blob.data = static_cast<unsigned char*>(malloc(3));
  memcpy(blob.v.blob.data, "abc", 3);
  ColDef bd{};
  bd.type = TBL_COL_BLOB;
  ASSERT_EQ(Value_Convert(&bd, &out, &blob), 0);
  EXPECT_NE(out.v.blob.data, blob.v.blob.data);
  Value_Clear(&blob);
  EXPECT_EQ(memcmp(out.v.blob.data, "abc", 3), 0);
  Value_Clear(&out);
}

TEST(ReservedWords, WholeWordsAnyCase) {
  EXPECT_TRUE(Tbl_IsReservedWord("select"));
  EXPECT_TRUE(Tbl_IsReservedWord("Order"));
  EXPECT_TRUE(Tbl_IsReservedWord("WORK"));
  EXPECT_FALSE(Tbl_IsReservedWord("orders"));
  EXPECT_FALSE(Tbl_IsReservedWord("sel"));
}

TEST(ErrorReport, NamesAndLineFormats) {
  EXPECT_STREQ(Tbl_ErrorName(61), "TABLE: No such error code");
  EXPECT_STREQ(Tbl_ErrorName(-1), "TABLE: No such error code");
  EXPECT_STREQ(Tbl_ErrorName(60), "TBL_ValueIsNull");
  EXPECT_STREQ(Tbl_ErrorName(57), "TBL_ExternalError");
  Tbl_SetMessageMode(1, stdout);
  testing::internal::CaptureStdout();
  Tbl_ReportError(13, nullptr);
  Tbl_ReportError(31, "\nColumn X.");
  Tbl_ReportError(61, "ctx");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "TableIO Error Code (13): TBL_TableNotExist \n"
            "TableIO Error Code (31): TBL_NoSuchColumn \nColumn X.\n"
            "TableIO Error Code (61): TABLE: No such error code  (ctx)\n");
  EXPECT_EQ(Tbl_SetMessageMode(7, nullptr), TBL_InvalidParamValue);
  Tbl_SetMessageMode(1, stdout);
}

TEST(TableHandle, NamesAndTypes) {
  Table* t = nullptr;
  EXPECT_EQ(Table_CreateHandle(&t, 4, nullptr), TBL_UnsupportedType);
  EXPECT_EQ(Table_CreateHandle(&t, TBL_TYPE_ZUL, nullptr), TBL_InvalidConnection);
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  EXPECT_EQ(Table_SetName(t, ""), TBL_InvalidParamValue);
  EXPECT_EQ(Table_SetName(t, "roads"), 0);
  EXPECT_EQ(Table_SetName(t, ""), 0);
  EXPECT_EQ(Table_SetName(t, "roads"), 0);
  EXPECT_EQ(Table_SetName(t, "rivers"), TBL_NameMismatch);
  TableMetaData md;
  EXPECT_EQ(Table_GetMetaData(t, &md), TBL_NoAttributes);
  EXPECT_EQ(Table_ReadRecord(t, nullptr, nullptr), TBL_InvalidHandle);
  EXPECT_EQ(Table_Close(t), 0);
  EXPECT_EQ(Table_Close(nullptr), TBL_InvalidHandle);
}

}  // namespace
