// test_convmap.cpp -- the column specification file, the rules by which a
// requested definition changes a column, the database column translation,
// and the conversion map built from a dBASE input for a database target.
#include <gtest/gtest.h>

#include "../../tools/tbl2zul/convfunc.h"
#include "tbl2zul_test_util.h"

namespace {

TEST(ColSpecFile, TableOfFiles) {
  struct Case {
    const char* name;
    std::string text;
    int rc;
    int count;            // entries read
    const char* message;  // printed, when not null
  } kCases[] = {
      {"two entries", "NAME STREET STRING 40\n  POP POP INTEGER 9 NOT_NULL\n", 0, 2, nullptr},
      {"comments only", "/* nothing here */\n# nor here\n\n", TBL_BadCount, 0, nullptr},
      {"stop line ends the file", "A\n# STOP\nB\n", 0, 1, nullptr},
      {"end line with a star", "A\n/* * END */\nB\n", 0, 1, nullptr},
      {"from-column name only", "AREA\n", 0, 1, nullptr},
      {"bad type", "A\nB B NUMBER\nC\n", TBL_Failure, 1,
       "TableIO Error Code (39): TBL_InvalidColType \nLine  2: Error in parsing ColDef string.\n  \"B NUMBER\" \n"},
      {"bad first line", "B B NUMBER\n", TBL_BadCount, 0, "Line  1: Error in parsing ColDef string."},
      {"overlong from name", std::string(40, 'X') + " Y\n", TBL_BadCount, 0, "Line  1:"},
      {"overlong line", "A\n" + std::string(2000, 'Y') + "\n", TBL_Failure, 1, "Line  2:"},
      {"overlong to name", "A " + std::string(33, 'N') + " INTEGER\n", TBL_BadCount, 0, "TBL_BadColumnDef"},
      {"many entries grow the list", [] {
         std::string s;
         for (int i = 0; i < 45; ++i) s += "C" + std::to_string(i) + "\n";
         return s;
       }(), 0, 45, nullptr},
  };
  ScratchDir dir;
  Tbl_SetMessageMode(1, stdout);
  for (const Case& c : kCases) {
    WriteFile(dir.file("spec"), c.text);
    ColSpecList list;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ColSpec_ReadFile(TBL_TYPE_ZUL, dir.file("spec").c_str(), &list), c.rc) << c.name;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(list.count, c.count) << c.name;
    if (c.message != nullptr) {
      EXPECT_NE(out.find(c.message), std::string::npos) << c.name << "\n" << out;
    }
    ColSpec_Free(&list);
  }
  ColSpecList list;
  EXPECT_EQ(ColSpec_ReadFile(TBL_TYPE_ZUL, dir.file("missing").c_str(), &list), TBL_UnableToOpen);

  WriteFile(dir.file("spec"), "NAME STREET STRING 40 2 !NULL\nAREA\n");
  ASSERT_EQ(ColSpec_ReadFile(TBL_TYPE_ZUL, dir.file("spec").c_str(), &list), 0);
  EXPECT_STREQ(list.from_names[0], "NAME");
  EXPECT_STREQ(list.entries[0].name, "STREET");
  EXPECT_EQ(list.entries[0].type, TBL_COL_STRING);
  EXPECT_EQ(list.entries[0].size, 40);
  EXPECT_EQ(list.entries[0].native_width, 40);
  EXPECT_EQ(list.entries[0].decimals, 2);
  EXPECT_EQ(list.entries[0].nullable, 0);
  EXPECT_STREQ(list.entries[1].name, "AREA");
  EXPECT_EQ(list.entries[1].type, 0);
  ColSpec_Free(&list);
}

ColDef Def(const char* name, int type, int size, int decimals = 0) {
  ColDef d{};
  snprintf(d.name, sizeof d.name, "%s", name);
  d.type = type;
  d.size = size;
  d.decimals = static_cast<int16_t>(decimals);
  d.nullable = 1;
  return d;
}

TEST(ColDefChange, RequestedDefinitions) {
  struct Case {
    const char* name;
    ColDef cur, req;
    int rc, changed;
    int type, size, width;
  } kCases[] = {
      {"SMALLINT for INTEGER", Def("A", TBL_COL_INTEGER, 9), Def("A", TBL_COL_SMALLINT, 4), TBL_ValueOverflow, 1,
       TBL_COL_SMALLINT, 4, 2},
      {"DOUBLE for SMALLINT", Def("A", TBL_COL_SMALLINT, 4), Def("A", TBL_COL_DOUBLE, 12, 2), 0, 1, TBL_COL_DOUBLE,
       12, 8},
      {"INTEGER for FLOAT", Def("A", TBL_COL_FLOAT, 6, 2), Def("A", TBL_COL_INTEGER, 0), TBL_ValueOverflow, 1,
       TBL_COL_INTEGER, 0, 4},
      {"DATE for INTEGER", Def("A", TBL_COL_INTEGER, 9), Def("A", TBL_COL_DATE, 0), TBL_TypeMismatch, 0,
       TBL_COL_INTEGER, 9, 9},
      {"STRING for DATE", Def("A", TBL_COL_DATE, 0), Def("A", TBL_COL_STRING, 10), TBL_TypeMismatch, 0,
       TBL_COL_DATE, 0, 9},
      {"wider STRING", Def("A", TBL_COL_STRING, 10), Def("", TBL_COL_STRING, 40), 0, 1, TBL_COL_STRING, 40, 40},
      {"same definition", Def("A", TBL_COL_STRING, 10), Def("a", TBL_COL_STRING, 10), 0, 0, TBL_COL_STRING, 10, 9},
  };
  for (const Case& c : kCases) {
    ColDef cur = c.cur;
    ColInfoEntry info{};
    info.width = 9;
    int changed = -1;
    EXPECT_EQ(ColDef_Change(&cur, &info, &c.req, &changed), c.rc) << c.name;
    EXPECT_EQ(changed, c.changed) << c.name;
    EXPECT_EQ(cur.type, c.type) << c.name;
    EXPECT_EQ(cur.size, c.size) << c.name;
    EXPECT_EQ(info.width, c.width) << c.name;
    EXPECT_STRNE(cur.name, "") << c.name;
  }
}

TEST(ColDefChange, ApplySpecMessages) {
  Tbl_SetMessageMode(1, stdout);
  ColSpecEntry e{};
  snprintf(e.name, sizeof e.name, "POP");
  e.type = TBL_COL_SMALLINT;
  e.size = 4;
  e.nullable = 1;
  ColDef d = Def("POP", TBL_COL_INTEGER, 9);
  ColInfoEntry info{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConvList_ApplySpec(TBL_TYPE_ZUL, &d, &info, &e, 1), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Change column definition\n  from  POP"), std::string::npos) << out;
  EXPECT_NE(out.find("  WARNING: Value may be larger than specified precision allows."), std::string::npos);
  EXPECT_EQ(d.type, TBL_COL_SMALLINT);

  e.type = TBL_COL_DATE;
  d = Def("POP", TBL_COL_INTEGER, 9);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConvList_ApplySpec(TBL_TYPE_ZUL, &d, &info, &e, 1), TBL_TypeMismatch);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Cannot change column definition\n  from  POP"),
            std::string::npos);
  EXPECT_EQ(d.type, TBL_COL_INTEGER);

  e.type = 0;
  snprintf(e.name, sizeof e.name, "PEOPLE");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConvList_ApplySpec(TBL_TYPE_ZUL, &d, &info, &e, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Change column name from \"POP\" to \"PEOPLE\".\n");
  EXPECT_STREQ(d.name, "PEOPLE");
}

TEST(ColDefCompatible, ExistingColumnAcceptsItsKind) {
  struct Case {
    int source, target, strict;
    bool ok;
  } kCases[] = {
      {TBL_COL_INTEGER, TBL_COL_DOUBLE, 0, true},   {TBL_COL_INTEGER, TBL_COL_DOUBLE, 1, false},
      {TBL_COL_INTEGER, TBL_COL_STRING, 0, false},  {TBL_COL_DATE, TBL_COL_DATE, 1, true},
      {TBL_COL_DATE, TBL_COL_DECIMAL, 0, false},    {TBL_COL_STRING, TBL_COL_LOGICAL, 0, false},
  };
  for (const Case& c : kCases) {
    ColDef s = Def("A", c.source, 9), t = Def("A", c.target, 9);
    EXPECT_EQ(ColDef_TypeCompatible(&s, &t, c.strict) != 0, c.ok) << c.source << " into " << c.target;
  }
}

TEST(DatabaseColumns, FromDbaseAndInfoSources) {
  struct Case {
    const char* name;
    int src_type;
    ColDef src;
    int rc;
    const char* out_name;
    int type, size, decimals;
  } kCases[] = {
      {"N(8,3)", TBL_TYPE_DBASE, Def("A", TBL_COL_DOUBLE, 8, 3), 0, "A", TBL_COL_DOUBLE, 10, 3},
      {"N(5,2)", TBL_TYPE_DBASE, Def("A", TBL_COL_DOUBLE, 5, 2), 0, "A", TBL_COL_DOUBLE, 7, 2},
      {"N(4,1)", TBL_TYPE_DBASE, Def("A", TBL_COL_DOUBLE, 4, 1), 0, "A", TBL_COL_FLOAT, 5, 1},
      {"N(10,0)", TBL_TYPE_DBASE, Def("A", TBL_COL_INTEGER, 10), 0, "A", TBL_COL_INTEGER, 0, 0},
      {"N(3,0)", TBL_TYPE_DBASE, Def("A", TBL_COL_SMALLINT, 3), 0, "A", TBL_COL_SMALLINT, 3, 0},
      {"N(7,0)", TBL_TYPE_DBASE, Def("A", TBL_COL_INTEGER, 7), 0, "A", TBL_COL_INTEGER, 7, 0},
      {"N(11,0)", TBL_TYPE_DBASE, Def("A", TBL_COL_DOUBLE, 11), 0, "A", TBL_COL_DOUBLE, 11, 0},
      {"number sign and hyphens", TBL_TYPE_DBASE, Def("#ID-X-Y", TBL_COL_STRING, 8), 0, "_ID_X_Y", TBL_COL_STRING, 8, 0},
      {"reserved word", TBL_TYPE_DBASE, Def("order", TBL_COL_STRING, 8), TBL_SQLKeyword, "", 0, 0, 0},
      {"logical", TBL_TYPE_DBASE, Def("F", TBL_COL_LOGICAL, 1), 0, "F", TBL_COL_LOGICAL, 1, 0},
      {"INFO name cut to 16", TBL_TYPE_INFO, Def("ABCDEFGHIJKLMNOPQRST", TBL_COL_DATE, 10), 0, "ABCDEFGHIJKLMNOP",
       TBL_COL_DATE, 0, 0},
      {"INFO numeric keeps its width", TBL_TYPE_INFO, Def("A", TBL_COL_DOUBLE, 8, 3), 0, "A", TBL_COL_DOUBLE, 8, 3},
      {"string wider than a value", TBL_TYPE_INFO, Def("S", TBL_COL_STRING, 320), TBL_BadColumnWidth, "", 0, 0, 0},
      {"blob", TBL_TYPE_DBASE, Def("B", TBL_COL_BLOB, 0), TBL_InvalidColType, "", 0, 0, 0},
  };
  for (const Case& c : kCases) {
    ColInfo src{}, dst{};
    ColInfo_Alloc(&src, 1);
    src.table_type = c.src_type;
    src.defs[0] = c.src;
    int failed = -2;
    EXPECT_EQ(ZulIO_MakeTargetColumns(&src, &dst, &failed), c.rc) << c.name;
    if (c.rc == 0) {
      EXPECT_STREQ(dst.defs[0].name, c.out_name) << c.name;
      EXPECT_EQ(dst.defs[0].type, c.type) << c.name;
      EXPECT_EQ(dst.defs[0].size, c.size) << c.name;
      EXPECT_EQ(dst.defs[0].decimals, c.decimals) << c.name;
    } else {
      EXPECT_EQ(failed, 0) << c.name;
    }
    ColInfo_Free(&src);
    ColInfo_Free(&dst);
  }
}

// A database record with no server behind it: the value slots and
// indicators work as the insert stream will read them.
TEST(DatabaseRecord, ValueSlots) {
  int dummy_connection = 0;
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_ZUL, &dummy_connection), 0);
  ColInfo src{};
  ColInfo_Alloc(&src, 4);
  src.table_type = TBL_TYPE_DBASE;
  src.defs[0] = Def("NAME", TBL_COL_STRING, 10);
  src.defs[1] = Def("FLAG", TBL_COL_LOGICAL, 1);
  src.defs[2] = Def("POP", TBL_COL_INTEGER, 8);
  src.defs[3] = Def("SHAPE", TBL_COL_INTEGER, 38);
  ASSERT_EQ(ZulIO_MakeTargetColumns(&src, &t->md.cols, nullptr), 0);
  t->md.cols.info[3].native_type = 8;  // described by the server as a shape column
  char n0[] = "pop", n1[] = "name", n2[] = "flag", n3[] = "shape";
  char* names[] = {n0, n1, n2, n3};
  Table_Record* r = Table_RecordAlloc(t, 4, names);
  ASSERT_NE(r, nullptr);
  Table_Value v{};
  v.type = TBL_COL_STRING;
  ASSERT_EQ(Table_SetValue(r, 2, &v), 0);
  EXPECT_STREQ(r->slots + TBL_VALUE_LEN, " ");  // an empty string is written as one space
  v.type = TBL_COL_LOGICAL;
  for (int i : {0, 1, 7}) {
    v.v.i = i;
    ASSERT_EQ(Table_SetValue(r, 3, &v), 0);
    EXPECT_EQ(r->slots[2 * TBL_VALUE_LEN], "FT?"[i > 1 ? 2 : i]);
  }
  v.type = TBL_COL_INTEGER;
  v.is_null = 1;
  ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
  EXPECT_EQ(r->indicators[0], 1);
  EXPECT_EQ(Table_GetValue(r, 1, &v), TBL_ValueIsNull);
  v.is_null = 0;
  v.v.i = 4711;
  ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
  ASSERT_EQ(Table_GetValue(r, 1, &v), 0);
  EXPECT_EQ(v.v.i, 4711);
  EXPECT_EQ(Table_GetValue(r, 4, &v), TBL_TypeMismatch);  // a shape column cannot be read as INTEGER
  v.type = TBL_COL_DOUBLE;
  EXPECT_EQ(Table_SetValue(r, 1, &v), TBL_TypeMismatch);
  Table_RecordFree(r);
  char bad[] = "nosuch";
  char* bad_names[] = {bad};
  EXPECT_EQ(Table_RecordAlloc(t, 1, bad_names), nullptr);
  EXPECT_EQ(t->xerr.code, -38);
  // Everything that needs the server says so.
  EXPECT_EQ(Table_Open(t, "ROADS", 2), TBL_InvalidConnection);
  EXPECT_EQ(Table_StartWrite(t, nullptr, 0, 1), TBL_InvalidConnection);
  ColInfo_Free(&src);
  Table_Close(t);
}

TEST(ConvMap, FromDbaseInputToNewDatabaseTable) {
  ScratchDir dir;
  std::string path = dir.file("in.dbf");
  WriteFile(path, DbfBytes({{"NAME", 'C', 10, 0}, {"POP", 'N', 9, 0}, {"AREA", 'N', 8, 3}}, {std::string(27, ' ')}));
  Table* in = nullptr;
  Table* out = nullptr;
  int conn = 0;
  ASSERT_EQ(Table_CreateHandle(&in, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(in, path.c_str(), 1), 0);
  ASSERT_EQ(Table_CreateHandle(&out, TBL_TYPE_ZUL, &conn), 0);
  ASSERT_EQ(Table_SetName(out, "ROADS"), 0);
  Tbl_SetMessageMode(1, stdout);

  // Without a file: one entry per input column, in input order.
  ConvList map;
  ASSERT_EQ(ConvList_Build(&map, CONV_OP_CREATE, in, out, nullptr), 0);
  ASSERT_EQ(map.target.count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(map.from_index[i], i + 1);
    EXPECT_EQ(map.to_index[i], i + 1);
  }
  EXPECT_EQ(map.target.defs[1].type, TBL_COL_INTEGER);
  EXPECT_EQ(map.target.defs[2].type, TBL_COL_DOUBLE);
  EXPECT_EQ(map.target.defs[2].size, 10);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Table_ConvMap_List(&map, 2), 0);
  std::string listing = testing::internal::GetCapturedStdout();
  EXPECT_NE(listing.find("From dBASE table:\ndBASE Attribute Columns: 3 "), std::string::npos) << listing;
  EXPECT_NE(listing.find("To ZUL table:"), std::string::npos);
  ConvList_Free(&map);

  // With a file: its order, a rename, a narrower type, and a missing column.
  WriteFile(dir.file("spec"), "area\nPOP PEOPLE SMALLINT 4\n");
  ColSpecList spec;
  ASSERT_EQ(ColSpec_ReadFile(TBL_TYPE_ZUL, dir.file("spec").c_str(), &spec), 0);
  Table_SetVerbose(out, 1);
  testing::internal::CaptureStdout();
  ASSERT_EQ(ConvList_Build(&map, CONV_OP_CREATE, in, out, &spec), 0);
  std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("  WARNING: Value may be larger than specified precision allows."), std::string::npos) << said;
  EXPECT_EQ(map.from_index[0], 3);
  EXPECT_EQ(map.from_index[1], 2);
  EXPECT_STREQ(map.target.defs[1].name, "PEOPLE");
  EXPECT_EQ(map.target.defs[1].type, TBL_COL_SMALLINT);
  ConvList_Free(&map);
  ColSpec_Free(&spec);

  WriteFile(dir.file("spec"), "NAME\nWIDTH\n");
  ASSERT_EQ(ColSpec_ReadFile(TBL_TYPE_ZUL, dir.file("spec").c_str(), &spec), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConvList_Build(&map, CONV_OP_CREATE, in, out, &spec), TBL_NoSuchColumn);
  said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(said, "Column \"WIDTH\" not found in dBASE source table \"" + path + "\".\n");
  EXPECT_EQ(map.from_index, nullptr);
  ColSpec_Free(&spec);

  // Appending into existing columns: INTEGER into DOUBLE goes, into STRING not.
  ColInfo existing{};
  ColInfo_Alloc(&existing, 3);
  existing.table_type = TBL_TYPE_ZUL;
  existing.defs[0] = Def("NAME", TBL_COL_STRING, 10);
  existing.defs[1] = Def("POP", TBL_COL_DOUBLE, 15, 2);
  existing.defs[2] = Def("AREA", TBL_COL_DOUBLE, 10, 3);
  ColInfo_Copy(&out->md.cols, &existing);
  ASSERT_EQ(ConvList_Build(&map, CONV_OP_APPEND, in, out, nullptr), 0);
  ConvList_Free(&map);
  out->md.cols.defs[1] = Def("POP", TBL_COL_STRING, 15);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ConvList_Build(&map, CONV_OP_APPEND, in, out, nullptr), TBL_TypeMismatch);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Source and target table attribute schemas are not compatible."),
            std::string::npos);
  ColInfo_Free(&existing);
  Table_Close(in);
  Table_Close(out);
}

}  // namespace
