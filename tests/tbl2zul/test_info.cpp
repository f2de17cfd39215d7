// test_info.cpp -- the INFO back end over the INFO store: round trips of
// every column type, item mapping, dates, deleted records, roll back, and
// damaged definition and data files refused cleanly.
#include <gtest/gtest.h>

#include "../../tools/tbl2zul/tableio.h"
#include "tbl2zul_test_util.h"
#include "zultables.h"

namespace {

ColDef Def(const char* name, int type, int size, int decimals = 0) {
  ColDef d{};
  snprintf(d.name, sizeof d.name, "%s", name);
  d.type = type;
  d.size = size;
  d.decimals = static_cast<int16_t>(decimals);
  d.nullable = 1;
  return d;
}

Table* OpenInfo(const std::string& name, int mode, int* rc) {
  Table* t = nullptr;
  Table_CreateHandle(&t, TBL_TYPE_INFO, nullptr);
  *rc = Table_Open(t, name.c_str(), mode);
  return t;
}

TEST(InfoRoundTrip, EveryColumnType) {
  ScratchDir dir;
  std::string name = dir.file("parcels");
  ColInfo cols{};
  ColInfo_Alloc(&cols, 7);
  cols.table_type = TBL_TYPE_ZUL;
  cols.defs[0] = Def("SMALL", TBL_COL_SMALLINT, 4);
  cols.defs[1] = Def("COUNT", TBL_COL_INTEGER, 9);
  cols.defs[2] = Def("RATIO", TBL_COL_FLOAT, 6, 2);
  cols.defs[3] = Def("AREA", TBL_COL_DOUBLE, 15, 4);
  cols.defs[4] = Def("NAME", TBL_COL_STRING, 20);
  cols.defs[5] = Def("DAY", TBL_COL_DATE, 0);
  cols.defs[6] = Def("FLAG", TBL_COL_LOGICAL, 1);
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_INFO, nullptr), 0);
  ASSERT_EQ(Table_Create(t, name.c_str(), &cols, nullptr), 0);
  ColInfo_Free(&cols);
  TableMetaData md;
  ASSERT_EQ(Table_GetMetaData(t, &md), 0);
  ASSERT_EQ(md.cols.count, 7);
  const int kTypes[] = {TBL_COL_SMALLINT, TBL_COL_INTEGER, TBL_COL_FLOAT, TBL_COL_DOUBLE,
                        TBL_COL_STRING,   TBL_COL_DATE,    TBL_COL_STRING};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(md.cols.defs[i].type, kTypes[i]) << md.cols.defs[i].name;

  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  ASSERT_NE(r, nullptr);
  Table_Value v{};
  auto set = [&](int col, int type, auto fill) {
    memset(&v, 0, sizeof v);
    v.type = type;
    fill(v);
    return Table_SetValue(r, col, &v);
  };
  ASSERT_EQ(set(1, TBL_COL_SMALLINT, [](Table_Value& x) { x.v.s = -300; }), 0);
  ASSERT_EQ(set(2, TBL_COL_INTEGER, [](Table_Value& x) { x.v.i = 123456789; }), 0);
  ASSERT_EQ(set(3, TBL_COL_FLOAT, [](Table_Value& x) { x.v.f = 2.5f; }), 0);
  ASSERT_EQ(set(4, TBL_COL_DOUBLE, [](Table_Value& x) { x.v.d = 12345.6789; }), 0);
  ASSERT_EQ(set(5, TBL_COL_STRING, [](Table_Value& x) { snprintf(x.v.str, sizeof x.v.str, "Lot 7"); }), 0);
  ASSERT_EQ(set(6, TBL_COL_DATE, [](Table_Value& x) { x.v.date = TblDate{0, 0, 0, 31, 0, 124, 0, 0, 0}; }), 0);
  ASSERT_EQ(set(7, TBL_COL_STRING, [](Table_Value& x) { snprintf(x.v.str, sizeof x.v.str, "T"); }), 0);
  EXPECT_EQ(set(1, TBL_COL_INTEGER, [](Table_Value& x) { x.v.i = 1; }), TBL_TypeMismatch);
  int recno = 0;
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  // A record of NULLs and an empty date.
  for (int col = 1; col <= 6; ++col) {
    memset(&v, 0, sizeof v);
    v.type = md.cols.defs[col - 1].type;
    v.is_null = 1;
    ASSERT_EQ(Table_SetValue(r, col, &v), 0) << col;
  }
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  EXPECT_EQ(recno, 2);
  Table_RecordFree(r);
  ASSERT_EQ(Table_Close(t), 0);

  int rc;
  t = OpenInfo(name, 1, &rc);
  ASSERT_EQ(rc, 0);
  r = Table_RecordAlloc(t, 0, nullptr);
  ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
  ASSERT_EQ(Table_GetValue(r, 1, &v), 0); EXPECT_EQ(v.v.s, -300);
  ASSERT_EQ(Table_GetValue(r, 2, &v), 0); EXPECT_EQ(v.v.i, 123456789);
  ASSERT_EQ(Table_GetValue(r, 3, &v), 0); EXPECT_EQ(v.v.f, 2.5f);
  ASSERT_EQ(Table_GetValue(r, 4, &v), 0); EXPECT_EQ(v.v.d, 12345.6789);
  ASSERT_EQ(Table_GetValue(r, 5, &v), 0); EXPECT_STREQ(v.v.str, "Lot 7");
  ASSERT_EQ(Table_GetValue(r, 6, &v), 0);
  EXPECT_EQ(v.v.date.year, 124); EXPECT_EQ(v.v.date.mon, 0); EXPECT_EQ(v.v.date.mday, 31);
  ASSERT_EQ(Table_GetValue(r, 7, &v), 0); EXPECT_STREQ(v.v.str, "T");
  ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
  ASSERT_EQ(Table_GetValue(r, 2, &v), 0); EXPECT_EQ(v.v.i, 0);
  ASSERT_EQ(Table_GetValue(r, 6, &v), 0); EXPECT_EQ(v.v.date.mday, 0);  // a date of 0 is an empty date
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), TBL_RecordReadError);
  Table_RecordFree(r);
  Table_Close(t);
}

TEST(InfoItems, MappingOfItemDescriptions) {
  struct Case {
    const char* name;
    int type, storage, output, decimals;
    int col_type, col_size;
  } kCases[] = {
      {"binary output 12", 5, 4, 12, -1, TBL_COL_INTEGER, 10},
      {"binary output 4", 5, 2, 4, -1, TBL_COL_SMALLINT, 4},
      {"integer storage 4", 3, 4, 4, -1, TBL_COL_SMALLINT, 4},
      {"integer storage 8", 3, 8, 8, -1, TBL_COL_INTEGER, 8},
      {"integer storage 12", 3, 12, 12, -1, TBL_COL_INTEGER, 10},
      {"numeric storage 7", 4, 7, 7, 2, TBL_COL_DOUBLE, 7},
      {"numeric storage 5", 4, 5, 5, -1, TBL_COL_FLOAT, 5},
      {"float output 6", 6, 4, 6, -1, TBL_COL_FLOAT, 6},
      {"float storage 8", 6, 8, 6, 2, TBL_COL_DOUBLE, 6},
      {"date", 1, 8, 10, -1, TBL_COL_DATE, 10},
      {"character", 2, 12, 12, -1, TBL_COL_STRING, 12},
  };
  ScratchDir dir;
  ASSERT_EQ(creiftC(dir.path.c_str()), 0);
  int n = 0;
  for (const Case& c : kCases) {
    std::string name = dir.file("T" + std::to_string(n++));
    INFPATH parts;
    ASSERT_EQ(infpthC(name.c_str(), &parts), 0);
    ASSERT_EQ(infdefC(&parts), 0);
    ASSERT_EQ(infadiC(&parts, "ITEM", c.type, c.storage, c.output, c.decimals), 0) << c.name;
    int rc;
    Table* t = OpenInfo(name, 1, &rc);
    ASSERT_EQ(rc, 0) << c.name;
    TableMetaData md;
    ASSERT_EQ(Table_GetMetaData(t, &md), 0);
    EXPECT_EQ(md.cols.defs[0].type, c.col_type) << c.name;
    EXPECT_EQ(md.cols.defs[0].size, c.col_size) << c.name;
    Table_Close(t);
  }
  // Items the store refuses on create.
  INFPATH parts;
  ASSERT_EQ(infpthC(dir.file("BAD").c_str(), &parts), 0);
  ASSERT_EQ(infdefC(&parts), 0);
  EXPECT_EQ(infdefC(&parts), -1);
  EXPECT_EQ(infadiC(&parts, "D", 1, 6, 10, -1), -4);     // a date is 8 bytes
  EXPECT_EQ(infadiC(&parts, "C", 2, 321, 321, -1), -4);  // character beyond 320
  EXPECT_EQ(infadiC(&parts, "B", 5, 3, 3, -1), -4);      // binary of 3 bytes
  EXPECT_EQ(infadiC(&parts, "NAME_OF_17_CHARSX", 2, 3, 3, -1), -4);
  EXPECT_EQ(infadiC(&parts, "OK", 2, 3, 3, -1), 0);
  EXPECT_EQ(infadiC(&parts, "ok", 2, 3, 3, -1), -1);     // names are kept upper-case
}

TEST(InfoRecords, DeletedRecordAndRollback) {
  ScratchDir dir;
  std::string name = dir.file("pts");
  ColInfo cols{};
  ColInfo_Alloc(&cols, 1);
  cols.table_type = TBL_TYPE_ZUL;
  cols.defs[0] = Def("N", TBL_COL_INTEGER, 9);
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_INFO, nullptr), 0);
  ASSERT_EQ(Table_Create(t, name.c_str(), &cols, nullptr), 0);
  ColInfo_Free(&cols);
  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  Table_Value v{};
  v.type = TBL_COL_INTEGER;
  int recno;
  for (int i = 1; i <= 3; ++i) {
    v.v.i = i;
    ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
    ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  }
  ASSERT_EQ(infdelC(t->fileno, 2), 0);
  Table_RecordFree(r);
  ASSERT_EQ(Table_Close(t), 0);

  int rc;
  t = OpenInfo(name, 2, &rc);
  ASSERT_EQ(rc, 0);
  r = Table_RecordAlloc(t, 0, nullptr);
  v.v.i = 99;
  ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  ASSERT_EQ(Table_Rollback(t), 0);  // back to the three committed records
  Table_RecordFree(r);
  Table_Close(t);

  t = OpenInfo(name, 1, &rc);
  ASSERT_EQ(rc, 0);
  r = Table_RecordAlloc(t, 0, nullptr);
  const int kWant[] = {0, TBL_RecordDeleted, 0, TBL_RecordReadError};
  const int kValue[] = {1, 0, 3, 0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(Table_ReadRecord(t, &recno, r), kWant[i]) << i;
    if (kWant[i] == 0) {
      ASSERT_EQ(Table_GetValue(r, 1, &v), 0);
      EXPECT_EQ(v.v.i, kValue[i]);
    }
  }
  // An INTEGER definition over a character item cannot be read.
  r->cols.defs[0].type = TBL_COL_INTEGER;
  r->cols.info[0].native_type = 2;
  EXPECT_EQ(Table_GetValue(r, 1, &v), TBL_ValueDecodeFailure);
  Table_RecordFree(r);
  Table_Close(t);
}

TEST(InfoHostile, DamagedFilesAreRefused) {
  const std::string kGoodDef = "ZULINFO 1\nitems 2 committed 1\nA 2 1 4 4 -1\nB 5 5 2 4 -1\n";
  const std::string kGoodDat = std::string(" abcd\x01\x00", 7);
  struct Case {
    const char* name;
    std::string def, dat;
    int rc;
  } kCases[] = {
      {"good", kGoodDef, kGoodDat, 0},
      {"no definition", "", kGoodDat, TBL_TableNotExist},
      {"wrong magic", "ZULINFO 2\n" + kGoodDef.substr(10), kGoodDat, TBL_UnableToOpen},
      {"item count of a million", "ZULINFO 1\nitems 1000000 committed 0\n", "", TBL_UnableToOpen},
      {"fewer items than counted", "ZULINFO 1\nitems 3 committed 0\nA 2 1 4 4 -1\n", "", TBL_UnableToOpen},
      {"item with a gap", "ZULINFO 1\nitems 1 committed 0\nA 2 2 4 4 -1\n", "", TBL_UnableToOpen},
      {"unknown item type", "ZULINFO 1\nitems 1 committed 0\nA 9 1 4 4 -1\n", "", TBL_UnableToOpen},
      {"overlong item name", "ZULINFO 1\nitems 1 committed 0\nABCDEFGHIJKLMNOPQRSTUVWXYZ 2 1 4 4 -1\n", "",
       TBL_UnableToOpen},
      {"character of 70000", "ZULINFO 1\nitems 1 committed 0\nA 2 1 70000 4 -1\n", "", TBL_UnableToOpen},
      {"torn data file", kGoodDef, kGoodDat + "x", TBL_UnableToOpen},
      {"no items", "ZULINFO 1\nitems 0 committed 0\n", "", TBL_BadColumnCount},
  };
  ScratchDir dir;
  ASSERT_EQ(creiftC(dir.path.c_str()), 0);
  for (const Case& c : kCases) {
    unlink(dir.file("info/H.def").c_str());
    if (!c.def.empty()) WriteFile(dir.file("info/H.def"), c.def);
    WriteFile(dir.file("info/H.dat"), c.dat);
    int rc;
    Table* t = OpenInfo(dir.file("H"), 1, &rc);
    EXPECT_EQ(rc, c.rc) << c.name;
    Table_Close(t);
  }
}

}  // namespace
