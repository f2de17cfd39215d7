// test_dbase.cpp -- the dBASE back end over the dBASE stand-in: round trips
// of every column type, field decoding from hand-made files, backup and
// roll back, and hostile files refused cleanly.
#include <gtest/gtest.h>

#include "../../tools/tbl2zul/tableio.h"
#include "tbl2zul_test_util.h"
#include "zultables.h"

namespace {

ColInfo Columns(const std::vector<ColDef>& defs) {
  ColInfo c{};
  ColInfo_Alloc(&c, static_cast<int>(defs.size()));
  c.table_type = TBL_TYPE_ZUL;
  for (size_t i = 0; i < defs.size(); ++i) c.defs[i] = defs[i];
  return c;
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

Table_Value Val(int type) {
  Table_Value v{};
  v.type = type;
  return v;
}

TEST(DbaseRoundTrip, EveryColumnType) {
  ScratchDir dir;
  std::string path = dir.file("roads.dbf");
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ColInfo cols = Columns({Def("SMALL", TBL_COL_SMALLINT, 3), Def("COUNT", TBL_COL_INTEGER, 8),
                          Def("RATIO", TBL_COL_FLOAT, 6, 2), Def("AREA", TBL_COL_DOUBLE, 12, 4),
                          Def("NAME", TBL_COL_STRING, 20), Def("DAY", TBL_COL_DATE, 8),
                          Def("FLAG", TBL_COL_LOGICAL, 1), Def("TINY", TBL_COL_DOUBLE, 6, 1)});
  ASSERT_EQ(Table_Create(t, path.c_str(), &cols, nullptr), 0);
  EXPECT_EQ(Table_Create(t, path.c_str(), &cols, nullptr), TBL_TableAlreadyExists);
  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  ASSERT_NE(r, nullptr);

  Table_Value v{};
  v = Val(TBL_COL_SMALLINT); v.v.s = -12;        ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
  v = Val(TBL_COL_INTEGER);  v.v.i = 1234567;    ASSERT_EQ(Table_SetValue(r, 2, &v), 0);
  v = Val(TBL_COL_FLOAT);    v.v.f = 123.45f;    ASSERT_EQ(Table_SetValue(r, 3, &v), 0);
  v = Val(TBL_COL_DOUBLE);   v.v.d = 98765.4321; ASSERT_EQ(Table_SetValue(r, 4, &v), 0);
  v = Val(TBL_COL_STRING);   snprintf(v.v.str, sizeof v.v.str, "Main Street"); ASSERT_EQ(Table_SetValue(r, 5, &v), 0);
  v = Val(TBL_COL_DATE);     v.v.date.year = 124; v.v.date.mon = 1; v.v.date.mday = 29; ASSERT_EQ(Table_SetValue(r, 6, &v), 0);
  v = Val(TBL_COL_LOGICAL);  v.v.i = 1;          ASSERT_EQ(Table_SetValue(r, 7, &v), 0);
  v = Val(TBL_COL_DOUBLE);   v.v.d = 12345678.9; ASSERT_EQ(Table_SetValue(r, 8, &v), 0);  // wider than the field
  v = Val(TBL_COL_STRING);
  EXPECT_EQ(Table_SetValue(r, 1, &v), TBL_ValueEncodeFailure);
  EXPECT_EQ(Table_SetValue(r, 9, &v), TBL_NoSuchColumn);
  int recno = 0;
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  EXPECT_EQ(recno, 1);

  // Second record: NULLs, an empty date, an unknown logical, a number that
  // fits in no form.
  for (int col = 1; col <= 5; ++col) {
    v = Val(r->cols.defs[col - 1].type == TBL_COL_STRING ? TBL_COL_STRING : TBL_COL_DOUBLE);
    if (r->cols.defs[col - 1].type != TBL_COL_STRING) v.type = r->cols.defs[col - 1].type;
    v.is_null = 1;
    ASSERT_EQ(Table_SetValue(r, col, &v), 0) << col;
  }
  v = Val(TBL_COL_DATE);    ASSERT_EQ(Table_SetValue(r, 6, &v), 0);
  v = Val(TBL_COL_LOGICAL); v.v.i = 2; ASSERT_EQ(Table_SetValue(r, 7, &v), 0);
  v = Val(TBL_COL_DOUBLE);  v.v.d = -1e300; ASSERT_EQ(Table_SetValue(r, 8, &v), 0);
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  Table_RecordFree(r);
  ASSERT_EQ(Table_Close(t), 0);

  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(t, path.c_str(), 1), 0);
  TableMetaData md;
  ASSERT_EQ(Table_GetMetaData(t, &md), 0);
  ASSERT_EQ(md.cols.count, 8);
  EXPECT_EQ(md.file_records, 2);
  const int kTypes[] = {TBL_COL_SMALLINT, TBL_COL_INTEGER, TBL_COL_DOUBLE, TBL_COL_DOUBLE,
                        TBL_COL_STRING,   TBL_COL_DATE,    TBL_COL_LOGICAL, TBL_COL_DOUBLE};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(md.cols.defs[i].type, kTypes[i]) << md.cols.defs[i].name;
  r = Table_RecordAlloc(t, 0, nullptr);
  ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
  ASSERT_EQ(Table_GetValue(r, 1, &v), 0); EXPECT_EQ(v.v.s, -12);
  ASSERT_EQ(Table_GetValue(r, 2, &v), 0); EXPECT_EQ(v.v.i, 1234567);
  ASSERT_EQ(Table_GetValue(r, 3, &v), 0); EXPECT_EQ(v.v.d, 123.45);  // exact: never through single precision
  ASSERT_EQ(Table_GetValue(r, 4, &v), 0); EXPECT_EQ(v.v.d, 98765.4321);
  ASSERT_EQ(Table_GetValue(r, 5, &v), 0); EXPECT_STREQ(v.v.str, "Main Street");
  ASSERT_EQ(Table_GetValue(r, 6, &v), 0);
  EXPECT_EQ(v.v.date.year, 124); EXPECT_EQ(v.v.date.mon, 1); EXPECT_EQ(v.v.date.mday, 29);
  ASSERT_EQ(Table_GetValue(r, 7, &v), 0); EXPECT_EQ(v.v.i, 1);
  ASSERT_EQ(Table_GetValue(r, 8, &v), 0); EXPECT_EQ(v.v.d, 1e7);  // exponent form, as much precision as fits: "1E+07"
  ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
  for (int col = 1; col <= 4; ++col) {
    EXPECT_EQ(Table_GetValue(r, col, &v), TBL_ValueIsNull) << col;
    EXPECT_EQ(v.is_null, 1) << col;
  }
  ASSERT_EQ(Table_GetValue(r, 5, &v), 0); EXPECT_STREQ(v.v.str, "");
  ASSERT_EQ(Table_GetValue(r, 6, &v), 0); EXPECT_EQ(v.v.date.mday, 0);
  ASSERT_EQ(Table_GetValue(r, 7, &v), 0); EXPECT_EQ(v.v.i, 2);
  EXPECT_EQ(Table_GetValue(r, 8, &v), TBL_ValueOverflow);  // asterisks
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), TBL_RowCountMismatch);
  Table_RecordFree(r);
  Table_Close(t);
  ColInfo_Free(&cols);
}

TEST(DbaseDecode, FieldsOfAHandMadeFile) {
  ScratchDir dir;
  std::string path = dir.file("f.dbf");
  WriteFile(path, DbfBytes({{"N", 'N', 6, 0}, {"D", 'D', 8, 0}, {"L", 'L', 1, 0}, {"C", 'C', 4, 0}},
                           {"    42" "20240229" "y" "ab  ",
                            "      " "        " "?" "    ",
                            "******" "2024AB01" "n" "x   ",
                            "  abc " "20241301" "T" "    "}));
  struct Want {
    int col, rc;
    double number;
  };
  const std::vector<std::vector<Want>> kRows = {
      {{1, 0, 42}, {2, 0, 20240229}, {3, 0, 1}},
      {{1, TBL_ValueIsNull, 0}, {2, 0, 0}, {3, 0, 2}},
      {{1, TBL_ValueOverflow, 0}, {2, TBL_ValueDecodeFailure, 0}, {3, 0, 0}},
      {{1, TBL_ValueDecodeFailure, 0}, {2, TBL_ValueDecodeFailure, 0}, {3, 0, 1}},
  };
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(t, path.c_str(), 1), 0);
  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  int recno = 0;
  for (size_t row = 0; row < kRows.size(); ++row) {
    ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
    for (const Want& w : kRows[row]) {
      char text[330];
      double x = -1;
      EXPECT_EQ(DbaseIO_DecodeField(r, w.col, text, sizeof text, &x), w.rc) << "row " << row << " col " << w.col;
      if (w.rc == 0 || w.rc == TBL_ValueOverflow) {
        EXPECT_EQ(x, w.number) << "row " << row << " col " << w.col;
      }
    }
  }
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), TBL_RowCountMismatch);
  Table_RecordFree(r);
  Table_Close(t);
}

TEST(DbaseDecode, DescriptorMapping) {
  struct Case {
    DbfField f;
    int rc, type;
  } kCases[] = {
      {{"A", 'N', 3, 0}, 0, TBL_COL_SMALLINT},  {{"A", 'N', 7, 0}, 0, TBL_COL_INTEGER},
      {{"A", 'N', 11, 0}, 0, TBL_COL_DOUBLE},   {{"A", 'N', 5, 2}, 0, TBL_COL_DOUBLE},
      {{"A", 'F', 10, 0}, 0, TBL_COL_INTEGER},  {{"A", 'C', 10, 0}, 0, TBL_COL_STRING},
      {{"A", 'M', 10, 0}, 0, TBL_COL_STRING},   {{"A", 'D', 8, 0}, 0, TBL_COL_DATE},
      {{"A", 'L', 1, 0}, 0, TBL_COL_LOGICAL},   {{"A", 'X', 4, 0}, TBL_InvalidColType, 0},
      {{"A", 'C', 400, 0}, TBL_BadHeader, 0},  // the width's high byte is not ours to guess
  };
  ScratchDir dir;
  for (const Case& c : kCases) {
    std::string path = dir.file("m.dbf");
    WriteFile(path, DbfBytes({c.f}, {std::string(static_cast<size_t>(c.f.width), ' ')}));
    Table* t = nullptr;
    ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
    EXPECT_EQ(Table_Open(t, path.c_str(), 1), c.rc) << c.f.type << c.f.width;
    TableMetaData md;
    if (c.rc == 0 && Table_GetMetaData(t, &md) == 0) {
      EXPECT_EQ(md.cols.defs[0].type, c.type) << c.f.type << c.f.width;
    }
    Table_Close(t);
  }
}

TEST(DbaseHostile, BadFilesAreRefusedWhole) {
  std::string good = DbfBytes({{"A", 'C', 4, 0}, {"B", 'N', 5, 0}}, {"abcd12345", "efgh    1"});
  std::string lying_len = good;
  lying_len[10] = 20;  // record length disagrees with the fields
  std::string huge_hlen = good;
  huge_hlen[9] = 0x7f;  // header longer than the file
  struct Case {
    const char* name;
    std::string bytes;
    int rc;
  } kCases[] = {
      {"empty file", "", TBL_BadHeader},
      {"truncated header", good.substr(0, 20), TBL_BadHeader},
      {"truncated descriptors", good.substr(0, 50), TBL_BadHeader},
      {"record count past the end", DbfBytes({{"A", 'C', 4, 0}}, {"abcd"}, "", 1000000), TBL_BadHeader},
      {"record count of 4 billion", DbfBytes({{"A", 'C', 4, 0}}, {"abcd"}, "", 0xffffffffL), TBL_BadHeader},
      {"record length lies", lying_len, TBL_BadHeader},
      {"header length past the end", huge_hlen, TBL_BadHeader},
      {"no fields", DbfBytes({}, {}), TBL_BadHeader},
      {"good", good, 0},
  };
  ScratchDir dir;
  for (const Case& c : kCases) {
    std::string path = dir.file("h.dbf");
    WriteFile(path, c.bytes);
    Table* t = nullptr;
    ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
    EXPECT_EQ(Table_Open(t, path.c_str(), 1), c.rc) << c.name;
    Table_Close(t);
  }
  // A numeric field wider than a number can be is refused when decoded.
  std::string path = dir.file("w.dbf");
  WriteFile(path, DbfBytes({{"A", 'N', 80, 0}}, {std::string(79, ' ') + "1"}));
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(t, path.c_str(), 1), 0);
  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  int recno;
  ASSERT_EQ(Table_ReadRecord(t, &recno, r), 0);
  Table_Value v{};
  EXPECT_EQ(Table_GetValue(r, 1, &v), TBL_BadColumnDef);
  Table_RecordFree(r);
  Table_Close(t);
  // A name that shapelib would silently turn into another file is refused.
  EXPECT_EQ(dbopenC(&recno, dir.file("h.txt").c_str(), 1), -1);
}

TEST(DbaseWrite, DeletedRecordsBackupAndRollback) {
  ScratchDir dir;
  std::string path = dir.file("t.dbf");
  std::string original = DbfBytes({{"A", 'C', 3, 0}}, {"one", "two", "thr"}, " * ");
  WriteFile(path, original);
  Table* t = nullptr;
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(t, path.c_str(), 2), 0);
  ASSERT_NE(t->backup[0], '\0');
  std::string backup = t->backup;
  EXPECT_EQ(ReadFile(backup), original);
  Table_Record* r = Table_RecordAlloc(t, 0, nullptr);
  Table_Value v{};
  v.type = TBL_COL_STRING;
  snprintf(v.v.str, sizeof v.v.str, "new");
  ASSERT_EQ(Table_SetValue(r, 1, &v), 0);
  int recno = 0;
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  EXPECT_EQ(recno, 4);
  ASSERT_EQ(Table_DeleteRecords(t), 0);
  ASSERT_EQ(Table_WriteRecord(t, &recno, r), 0);
  EXPECT_EQ(recno, 1);
  ASSERT_EQ(Table_Rollback(t), 0);
  Table_RecordFree(r);
  ASSERT_EQ(Table_Close(t), 0);
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_NE(dbexisC(backup.c_str()), 0);  // the backup is gone after the close

  // The deleted middle record is told apart from the end of the file.
  ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
  ASSERT_EQ(Table_Open(t, path.c_str(), 1), 0);
  r = Table_RecordAlloc(t, 0, nullptr);
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), 0);
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), TBL_RecordDeleted);
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), 0);
  ASSERT_EQ(Table_GetValue(r, 1, &v), 0);
  EXPECT_STREQ(v.v.str, "thr");
  EXPECT_EQ(Table_ReadRecord(t, &recno, r), TBL_RowCountMismatch);
  Table_RecordFree(r);
  Table_Close(t);
}

TEST(DbaseWrite, FieldChecksOnCreate) {
  struct Case {
    const char* name;
    ColDef def;
    int rc;
  } kCases[] = {
      {"name of eleven", Def("ELEVEN_CHAR", TBL_COL_STRING, 5), TBL_BadColumnDef},
      {"name with a digit first", Def("1ABC", TBL_COL_STRING, 5), TBL_BadColumnDef},
      {"string of 255", Def("S", TBL_COL_STRING, 255), TBL_BadColumnWidth},
      {"number of 20 digits", Def("N", TBL_COL_DOUBLE, 20, 2), TBL_BadColumnWidth},
      {"decimals as wide as the field", Def("N", TBL_COL_DOUBLE, 4, 4), TBL_BadColumnDef},
      {"blob", Def("B", TBL_COL_BLOB, 0), TBL_UnsupportedType},
      {"good", Def("n_1", TBL_COL_INTEGER, 9), 0},
  };
  ScratchDir dir;
  for (const Case& c : kCases) {
    std::string path = dir.file("c.dbf");
    unlink(path.c_str());
    ColInfo cols = Columns({c.def});
    Table* t = nullptr;
    ASSERT_EQ(Table_CreateHandle(&t, TBL_TYPE_DBASE, nullptr), 0);
    EXPECT_EQ(Table_Create(t, path.c_str(), &cols, nullptr), c.rc) << c.name;
    EXPECT_EQ(dbexisC(path.c_str()) == 0, c.rc == 0) << c.name;
    Table_Close(t);
    ColInfo_Free(&cols);
  }
}

}  // namespace
