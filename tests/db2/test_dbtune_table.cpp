// test_dbtune_table.cpp -- the dbtune table on db2lite: creation and the
// existence test, the row reader, the keyword readers with their DEFAULTS
// fallback, the system-table storage, the export to dbtune.zul, and the
// import -- both without the dbtune procedures (they are not registered in a
// fresh database) and with a small stand-in host for them, so that the load
// and the built-in defaults can be followed row by row.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "db_test_support.h"
#include "dl_cli_call.h"
#include "zul_dbtune.h"

namespace {

std::string g_table;  // the dbtune table the stand-in procedures work on

// Runs one statement with text parameters on the caller's connection; the
// SQLCODE of a failure, 0 on success.
int32_t run(SQLHDBC dbc, const std::string& sql, const std::vector<std::string>& params) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  SQLRETURN rc = SQLPrepare(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  for (size_t i = 0; rc == SQL_SUCCESS && i < params.size(); ++i)
    rc = SQLBindParameter(h, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 2048, 0,
                          (SQLPOINTER)params[i].c_str(), 0, nullptr);
  if (rc == SQL_SUCCESS) rc = SQLExecute(h);
  int32_t code = 0;
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR msg[512];
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, msg, sizeof msg, &len);
    code = strcmp((char*)state, "42S02") == 0 ? -20037 : (native != 0 ? native : -1);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return code;
}

// Stands in for the two procedures: plain SQL on the caller's connection.
int dbtune_host(SQLHDBC dbc, const dl::DlPlan& plan, std::vector<dl::DlCallArg>& args, dl::DlDiag* diag) {
  int32_t code;
  size_t out;
  if (plan.call_name.find("zul_trunc_dbtune") != std::string::npos && args.size() == 2) {
    code = run(dbc, "DELETE FROM " + g_table, {});
    out = 0;
  } else if (plan.call_name.find("zul_insert_dbtune") != std::string::npos && args.size() == 5) {
    code = run(dbc, "INSERT INTO " + g_table + " VALUES (?, ?, ?)", {args[0].s, args[1].s, args[2].s});
    out = 3;
  } else {
    diag->sqlstate = "42884";
    diag->native = -440;
    diag->text = "no such procedure";
    return -1;
  }
  args[out].type = SQLITE_INTEGER;
  args[out].i = code;
  args[out + 1].type = SQLITE_TEXT;
  args[out + 1].s = "";
  return 0;
}

class Dbtune : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", db_.error());
    ASSERT_EQ(0, in_.status);
    char t[SE_DB_QUALIFIED_LEN];
    dbtune_table_name(in_.in, t);
    table_ = t;
    char tmpl[] = "/tmp/zul_dbtune_home_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    std::filesystem::create_directories(home_ + "/etc");
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    dl::dl_set_call_handler(previous_);
    unsetenv("ZULHOME");
    std::filesystem::remove_all(home_);
  }
  void create() {
    DBTUNE_SYSTEM_PARAMS none{};
    ASSERT_EQ(0, DB_instance_dbtune_table_create(in_.in, nullptr, &none));
  }
  void insert(const std::string& kw, const std::string& name, const std::string& value) {
    ASSERT_EQ(SQL_SUCCESS, dbtest::exec(in_.in, "INSERT INTO " + table_ + " VALUES ('" + kw + "', '" + name +
                                                    "', '" + value + "')"));
  }
  void commit() { ASSERT_EQ(0, db_commit_ddlsql(in_.in)); }
  void use_host() {
    g_table = table_;
    previous_ = dl::dl_set_call_handler(dbtune_host);
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(home_ + "/etc/" + name) << text; }
  std::string read(const std::string& name) {
    std::ifstream f(home_ + "/etc/" + name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // keyword.NAME -> value of every row
  std::map<std::string, std::string> rows() {
    char** k;
    char** n;
    char** v;
    int32_t count = 0;
    std::map<std::string, std::string> out;
    EXPECT_EQ(0, db_dbtune_fetch_rows(in_.in, DBTUNE_FETCH_ALL, "", "", &k, &n, &v, &count));
    for (int32_t i = 0; i < count; ++i) out[std::string(k[i]) + "." + n[i]] = v[i];
    dbtune_free_rows(k, n, v, count);
    return out;
  }

  dbtest::Database db_;
  dbtest::Instance in_{"ZUL", dbtest::kAdminPw};
  std::string table_;
  std::string home_;
  dl::DlCallHandler previous_ = nullptr;
};

TEST_F(Dbtune, CreatedTableExistsAndReadsBack) {
  EXPECT_EQ(SE_TABLE_NOEXIST, DB_instance_dbtune_table_exists(in_.in));
  create();
  EXPECT_EQ(0, DB_instance_dbtune_table_exists(in_.in));
  EXPECT_EQ(0u, rows().size());
  insert("DEFAULTS", "B_STORAGE", "IN TS1");
  insert("DEFAULTS", "B_RUNSTATS", "YES");
  commit();
  auto r = rows();
  EXPECT_EQ(2u, r.size());
  EXPECT_EQ("IN TS1", r["DEFAULTS.B_STORAGE"]);
  // the unique constraint holds
  EXPECT_NE(SQL_SUCCESS, dbtest::exec(in_.in, "INSERT INTO " + table_ + " VALUES ('DEFAULTS', 'B_STORAGE', 'x')"));
  dbtest::exec(in_.in, "ROLLBACK");
}

TEST_F(Dbtune, RowReaderCrossesBlocksOfHundred) {
  create();
  for (int n : {100, 200, 250}) {
    dbtest::exec(in_.in, "DELETE FROM " + table_);
    for (int i = 0; i < n; ++i) insert("K" + std::to_string(i % 7), "P" + std::to_string(i), "v");
    commit();
    char** k;
    char** nm;
    char** v;
    int32_t count = -1;
    ASSERT_EQ(0, db_dbtune_fetch_rows(in_.in, DBTUNE_FETCH_ALL, "", "", &k, &nm, &v, &count));
    EXPECT_EQ(n, count);
    for (int32_t i = 1; i < count; ++i) EXPECT_LE(strcmp(k[i - 1], k[i]), 0);
    dbtune_free_rows(k, nm, v, count);
  }
}

TEST_F(Dbtune, KeywordLookupFallsBackToDefaults) {
  create();
  insert("DEFAULTS", "B_STORAGE", "IN DTS");
  insert("DEFAULTS", "A_STORAGE", "IN DA");
  insert("DEFAULTS", "UI_TEXT", "");
  insert("MINE", "B_STORAGE", "IN MTS");
  insert("MINE", "A_STORAGE", "");
  insert("DATA_DICTIONARY", "STATES_TABLE", "IN STS");
  insert("DATA_DICTIONARY", "B_STORAGE", "IN DD");
  insert("LOGFILE_DEFAULTS", "LF_STORAGE", "IN LF");
  insert("LOGFILE_BOB", "LD_STORAGE", "IN LD");
  insert("MINE", "BND_STORAGE", "IN BND");
  insert("DEFAULTS", "RAS_STORAGE", "IN RAS");
  insert("ODD'KW", "B_STORAGE", "x");
  commit();

  struct Case {
    const char* keyword;
    int16_t count;
    const char* b_storage;
    const char* a_storage;
    const char* states_table;
  } kCases[] = {
      {"MINE", 203, "IN MTS", "IN DA", ""},     // own empty A_STORAGE takes the DEFAULTS value
      {"mine \t\n", 203, "IN MTS", "IN DA", ""},
      {"NONE", 3, "IN DTS", "IN DA", ""},       // no rows of its own: count below 100
      {"", 3, "IN DTS", "IN DA", ""},           // empty keyword: DEFAULTS rows as fallback
      {"DEF", 300, "IN DTS", "IN DA", ""},      // a prefix of DEFAULTS owns its rows
      {"DATA_DICTIONARY", 203, "IN DD", "IN DA", "IN STS"},
      {"ODD'KW", 103, "x", "IN DA", ""},        // a quote in the keyword stays inside the literal
  };
  for (const Case& c : kCases) {
    std::unique_ptr<DBTUNE_PARAMS> p(new DBTUNE_PARAMS());
    ASSERT_EQ(0, db_dbtune_get_keyword_params(in_.in, p.get(), c.keyword)) << c.keyword;
    EXPECT_EQ(c.count, p->count) << c.keyword;
    EXPECT_STREQ(c.b_storage, p->B_STORAGE) << c.keyword;
    EXPECT_STREQ(c.a_storage, p->A_STORAGE) << c.keyword;
    EXPECT_STREQ(c.states_table, p->STATES_TABLE) << c.keyword;
  }

  DBTUNE_LOGFILE_PARAMS lf;
  ASSERT_EQ(0, db_dbtune_get_logfile_params(in_.in, &lf, "LOGFILE_BOB"));
  EXPECT_EQ(101, lf.count);
  EXPECT_STREQ("IN LD", lf.LD_STORAGE);
  EXPECT_STREQ("IN LF", lf.LF_STORAGE);
  ASSERT_EQ(0, db_dbtune_get_logfile_params(in_.in, &lf, ""));
  EXPECT_EQ(1, lf.count);

  std::unique_ptr<DBTUNE_RASTER_PARAMS> ras(new DBTUNE_RASTER_PARAMS());
  ASSERT_EQ(0, db_dbtune_get_raster_params(in_.in, ras.get(), "MINE"));
  EXPECT_STREQ("IN BND", ras->BND_STORAGE);
  EXPECT_STREQ("IN RAS", ras->RAS_STORAGE);
  EXPECT_EQ(SE_DBTUNE_KEYWORD_NOEXIST, db_dbtune_get_raster_params(in_.in, ras.get(), "NONE"));
  EXPECT_EQ(SE_INVALID_POINTER, db_dbtune_get_raster_params(in_.in, ras.get(), nullptr));
  EXPECT_EQ(0, db_dbtune_get_raster_params(in_.in, ras.get(), ""));
  EXPECT_STREQ("IN RAS", ras->RAS_STORAGE);
}

TEST_F(Dbtune, RasterLookupOfDefaultsWithoutRows) {
  create();
  std::unique_ptr<DBTUNE_RASTER_PARAMS> ras(new DBTUNE_RASTER_PARAMS());
  EXPECT_EQ(0, db_dbtune_get_raster_params(in_.in, ras.get(), "defaults"));
  EXPECT_EQ(SE_DBTUNE_KEYWORD_NOEXIST, db_dbtune_get_raster_params(in_.in, ras.get(), "MINE"));
}

TEST_F(Dbtune, SystemStorageFromFileThenFromTable) {
  write("dbtune.zul", "##DATA_DICTIONARY\nB_STORAGE \"IN FILETS\"\nVERSIONS_INDEX \"vi\"\nEND\n");
  std::unique_ptr<DBTUNE_SYSTEM_PARAMS> s(new DBTUNE_SYSTEM_PARAMS());
  ASSERT_EQ(0, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
  EXPECT_EQ(200, s->count);
  EXPECT_STREQ("IN FILETS", s->B_STORAGE);
  EXPECT_STREQ("vi", s->VERSIONS_INDEX);

  // the table, once it exists, is read instead, and its own storage clause used
  ASSERT_EQ(0, DB_instance_dbtune_table_create(in_.in, nullptr, s.get()));
  EXPECT_EQ(0, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
  EXPECT_EQ(0, s->count);
  EXPECT_STREQ("", s->B_STORAGE);
  insert("DATA_DICTIONARY", "B_STORAGE", "IN TABTS");
  commit();
  EXPECT_EQ(0, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
  EXPECT_EQ(100, s->count);
  EXPECT_STREQ("IN TABTS", s->B_STORAGE);

  unsetenv("ZULHOME");
  dbtest::exec(in_.in, "DROP TABLE " + table_);
  commit();
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
}

TEST_F(Dbtune, ExportWritesTheFileFormat) {
  create();
  ASSERT_EQ(0, DB_instance_export_dbtune(in_.in, "out.zul"));
  EXPECT_EQ("##DEFAULTS\n\nEND\n", read("out.zul"));

  insert("DEFAULTS", "B_STORAGE", "IN TS1");
  insert("MINE", "BND_INDEX_COMPOSITE", "PCTFREE 10");
  insert("MINE", "CUSTOM", "free text");
  insert("MINE", "COMMENT", "c");
  commit();
  ASSERT_EQ(0, DB_instance_export_dbtune(in_.in, "out.zul"));
  std::string text = read("out.zul");
  EXPECT_EQ(0u, text.find("##DEFAULTS\nB_STORAGE\t\"IN TS1\"\nEND\n\n##MINE\n")) << text;
  EXPECT_NE(std::string::npos, text.find("BND_INDEX_COMPOSITE\tPCTFREE 10\n")) << text;
  EXPECT_NE(std::string::npos, text.find("CUSTOM\tfree text\n")) << text;
  EXPECT_NE(std::string::npos, text.find("COMMENT\t\"c\"\n")) << text;
  EXPECT_EQ(text.size() - 4, text.rfind("END\n"));

  EXPECT_EQ(SE_DBTUNE_WRITE_ERROR, DB_instance_export_dbtune(in_.in, "../escape.zul"));
  EXPECT_EQ(SE_DBTUNE_WRITE_ERROR, DB_instance_export_dbtune(in_.in, "nodir/x.zul"));
  unsetenv("ZULHOME");
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR, DB_instance_export_dbtune(in_.in, "out.zul"));
}

TEST_F(Dbtune, ImportWithoutTheProceduresFailsCleanly) {
  create();
  insert("DEFAULTS", "B_STORAGE", "IN TS1");
  commit();
  write("dbtune.zul", "##DEFAULTS\nB_STORAGE \"IN TS2\"\nEND\n");
  dl::DlCallHandler host = dl::dl_set_call_handler(nullptr);
  DBTUNE_ERROR_ROW err{};
  int32_t status = DB_instance_import_dbtune(in_.in, "dbtune.zul", &err);
  dl::dl_set_call_handler(host);
  EXPECT_EQ(SQL_ERROR, status);
  EXPECT_EQ(SE_DB_IO_ERROR, in_->xerr.code);
  EXPECT_STRNE("", in_->xerr.ext_msg);  // the SQLSTATE of the refused CALL
  EXPECT_STREQ("", err.keyword);
  // the table is as it was
  auto r = rows();
  EXPECT_EQ(1u, r.size());
  EXPECT_EQ("IN TS1", r["DEFAULTS.B_STORAGE"]);
}

TEST_F(Dbtune, ImportReplacesRowsAndAddsBuiltInDefaults) {
  create();
  insert("OLD", "B_STORAGE", "gone");
  commit();
  use_host();
  write("dbtune.zul",
        "# site settings\n"
        "##DEFAULTS\n"
        "B_STORAGE \"IN TS1\"\n"
        "END\n"
        "##mine\n"
        "b_storage \"in ts2\"\n"
        "COMMENT \"mine\"\n"
        "B_INDEX_1 \"dropped\"\n"
        "END\n");
  DBTUNE_ERROR_ROW err{};
  ASSERT_EQ(0, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  auto r = rows();
  EXPECT_EQ(0u, r.count("OLD.B_STORAGE"));
  EXPECT_EQ("IN TS1", r["DEFAULTS.B_STORAGE"]);
  EXPECT_EQ("", r["DEFAULTS.UI_TEXT"]);
  EXPECT_EQ("YES", r["DEFAULTS.B_RUNSTATS"]);
  EXPECT_EQ("LOGGED NOT COMPACT", r["DEFAULTS.LOB_OPTION"]);
  EXPECT_EQ("in ts2", r["MINE.B_STORAGE"]);
  EXPECT_EQ("mine", r["MINE.COMMENT"]);
  EXPECT_EQ("", r["MINE.UI_TEXT"]);
  EXPECT_EQ(0u, r.count("MINE.B_INDEX_1"));
  // 119 built-in rows (DEFAULTS' B_STORAGE and UI_TEXT from the file) and MINE's three
  EXPECT_EQ(119u + 3, r.size());
  EXPECT_EQ("The network default configuration", r["NETWORK_DEFAULTS.UI_NETWORK_TEXT"]);
  EXPECT_EQ(0u, r.count("NETWORK_DEFAULTS.UI_TEXT"));
}

TEST_F(Dbtune, ImportCreatesAMissingTable) {
  use_host();
  // no file: the new table gets exactly the built-in rows, and the import says the file is missing
  DBTUNE_ERROR_ROW err{};
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  EXPECT_EQ(0, DB_instance_dbtune_table_exists(in_.in));
  EXPECT_EQ(119u, rows().size());

  // an existing table and no file: rolled back, rows kept
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  EXPECT_EQ(119u, rows().size());
}

TEST_F(Dbtune, ImportNamesTheRowItCouldNotInsert) {
  create();
  insert("DEFAULTS", "B_STORAGE", "kept");
  commit();
  use_host();
  write("dbtune.zul", "##QVM_METADATA\nCOMMENT \"one\"\nCOMMENT \"two\"\nEND\n");
  DBTUNE_ERROR_ROW err{};
  EXPECT_EQ(SE_DB_IO_ERROR, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  EXPECT_STREQ("QVM_METADATA", err.keyword);
  EXPECT_STREQ("COMMENT", err.parameter_name);
  EXPECT_STREQ("two", err.config_string);
  EXPECT_STREQ("Error executing stored procedure call zulsrvsp!zul_insert_dbtune (?,?,?,?,?)", in_->xerr.msg);
  // rolled back: the emptying and the first COMMENT went with it
  auto r = rows();
  EXPECT_EQ(1u, r.size());
  EXPECT_EQ("kept", r["DEFAULTS.B_STORAGE"]);
}

TEST_F(Dbtune, ExportedFileImportsToTheSameRows) {
  use_host();
  DBTUNE_ERROR_ROW err{};
  write("dbtune.zul", "##SITE\nB_STORAGE \"IN TS9\"\nBND_INDEX_COMPOSITE \"PCTFREE 5\"\nEND\n");
  ASSERT_EQ(0, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  auto before = rows();
  ASSERT_EQ(0, DB_instance_export_dbtune(in_.in, "copy.zul"));
  ASSERT_EQ(0, DB_instance_import_dbtune(in_.in, "copy.zul", &err));
  auto after = rows();
  after.erase("SURVEY_MULTI_BINARY.UI_TEXT");  // empty strings do not survive the file
  before.erase("SURVEY_MULTI_BINARY.UI_TEXT");
  EXPECT_EQ(before.size(), after.size());
  EXPECT_EQ("PCTFREE 5", after["SITE.BND_INDEX_COMPOSITE"]);
  EXPECT_EQ("IN TS9", after["SITE.B_STORAGE"]);
}

}  // namespace
