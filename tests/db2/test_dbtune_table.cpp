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

std::string g_table;      // the dbtune table the stand-in procedures work on
int32_t g_trunc_code = 0; // when not 0, the stand-in truncation answers this code

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
    code = g_trunc_code != 0 ? g_trunc_code : run(dbc, "DELETE FROM " + g_table, {});
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
    db_make_dbtune_table_name(in_.in, t);
    table_ = t;
    char tmpl[] = "/tmp/zul_dbtune_home_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    std::filesystem::create_directories(home_ + "/etc");
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    if (host_set_) dl::dl_set_call_handler(previous_);
    g_trunc_code = 0;
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
    host_set_ = true;
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
  bool host_set_ = false;
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
  insert("ODD''KW", "B_STORAGE", "x");  // quote doubled in the literal
  commit();

  struct Case {
    const char* keyword;
    int16_t count;
    const char* b_storage;
    const char* a_storage;
    const char* states_table;
  } kCases[] = {
      // DEFAULTS has four rows: 1 each as fallback rows
      {"MINE", 304, "IN MTS", "IN DA", ""},     // own empty A_STORAGE takes the DEFAULTS value
      {"mine \t\n", 304, "IN MTS", "IN DA", ""},
      {"NONE", 4, "IN DTS", "IN DA", ""},       // no rows of its own: count below 100
      {"", 4, "IN DTS", "IN DA", ""},           // empty keyword: DEFAULTS rows as fallback
      {"DEF", 400, "IN DTS", "IN DA", ""},      // a prefix of DEFAULTS owns its rows
      {"DATA_DICTIONARY", 204, "IN DD", "IN DA", "IN STS"},
      {"ODD'KW", 104, "x", "IN DA", ""},        // a quote in the keyword stays inside the literal
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
  EXPECT_STREQ("IN FILETS", s->clauses[DBTUNE_SYS_B_STORAGE]);
  EXPECT_STREQ("vi", s->clauses[DBTUNE_SYS_VERSIONS_INDEX]);

  // the table, once it exists, is read instead, and its own storage clause used
  ASSERT_EQ(0, DB_instance_dbtune_table_create(in_.in, nullptr, s.get()));
  EXPECT_EQ(0, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
  EXPECT_EQ(0, s->count);
  EXPECT_STREQ("", s->clauses[DBTUNE_SYS_B_STORAGE]);
  insert("DATA_DICTIONARY", "B_STORAGE", "IN TABTS");
  commit();
  EXPECT_EQ(0, DB_read_system_tab_storage_config(in_.in, "DATA_DICTIONARY", "dbtune.zul", s.get()));
  EXPECT_EQ(100, s->count);
  EXPECT_STREQ("IN TABTS", s->clauses[DBTUNE_SYS_B_STORAGE]);

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
  // with the database's own procedure host (nothing registered in a fresh
  // database), and with no procedure host at all
  for (bool remove_host : {false, true}) {
    dl::DlCallHandler host = remove_host ? dl::dl_set_call_handler(nullptr) : nullptr;
    DB_instance_clear_xerr(in_.in);
    DBTUNE_ERROR_ROW err{};
    int32_t status = DB_instance_import_dbtune(in_.in, "dbtune.zul", &err);
    if (remove_host) dl::dl_set_call_handler(host);
    EXPECT_EQ(SQL_ERROR, status) << remove_host;
    EXPECT_EQ(SE_DB_IO_ERROR, in_->xerr.code) << remove_host;
    EXPECT_STRNE("", in_->xerr.ext_msg) << remove_host;  // the SQLSTATE of the refused CALL
    EXPECT_STREQ("", err.keyword) << remove_host;
  }
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
        "END\n"
        "##OTHER\n"
        "ui_text \"shown\"\n"
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
  EXPECT_EQ("shown", r["OTHER.UI_TEXT"]);  // a lower-case ui_text is the block's UI_TEXT
  EXPECT_EQ(119u + 3 + 1, r.size());
  EXPECT_EQ("The network default configuration", r["NETWORK_DEFAULTS.UI_NETWORK_TEXT"]);
  EXPECT_EQ(0u, r.count("NETWORK_DEFAULTS.UI_TEXT"));
}

TEST_F(Dbtune, RefusedTruncationIsTheInstanceError) {
  create();
  use_host();
  struct Case {
    int32_t code;
    int32_t status;
    int32_t native;
  } kCases[] = {{-20025, -25, 0}, {-803, SE_DB_IO_ERROR, -803}};
  for (const Case& c : kCases) {
    g_trunc_code = c.code;
    DBTUNE_ERROR_ROW err{};
    EXPECT_EQ(c.status, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err)) << c.code;
    EXPECT_EQ(c.status, in_->xerr.code) << c.code;
    EXPECT_EQ(c.native, in_->xerr.native) << c.code;
    EXPECT_STREQ("Error executing stored procedure zulsrvsp!zul_trunc_dbtune", in_->xerr.msg);
  }
}

TEST_F(Dbtune, ImportCreatesAMissingTable) {
  use_host();
  // no file: the new table gets exactly the built-in rows, and the import says the file is missing
  DBTUNE_ERROR_ROW err{};
  setenv("ZULVERBOSE", "1", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(SE_DBTUNE_FILE_ERROR, DB_instance_import_dbtune(in_.in, "dbtune.zul", &err));
  std::string said = testing::internal::GetCapturedStderr();
  unsetenv("ZULVERBOSE");
  EXPECT_EQ(0, DB_instance_dbtune_table_exists(in_.in));
  EXPECT_EQ(119u, rows().size());
  // the warnings keep their wording, irregular ones included
  for (const char* text : {
           "WARNING: File dbtune.zul is not found in ",
           "WARNING: dbtune.zul does not contain DEFAULTS config parameter 'B_STORAGE'. \n\t Inserting the default values.\n",
           "WARNING: dbtune.zul does not contain DEFAULTS config parameter 'D_STORAGE'. \n\t Inserting thedefault values.\n",
           "WARNING: dbtune.zul does not contain LOGFILE_DEFAULTS config parameter 'LD_INDEX_DATA_ID'. \n\tInserting the default values.\n",
           "WARNING: dbtune.zul does not contain DATA_DICTIONARY config parameter 'MVTABLES_MODIFIED_INDEX'.\n\t Inserting the default values.\n",
       })
    EXPECT_NE(std::string::npos, said.find(text)) << text;

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
  // every row comes back with its value; blocks written without a UI_TEXT
  // row (DATA_DICTIONARY and seven QVM_ keywords) gain an empty one
  for (const auto& row : before) EXPECT_EQ(row.second, after[row.first]) << row.first;
  EXPECT_EQ(before.size() + 8, after.size());
  EXPECT_EQ("", after["DATA_DICTIONARY.UI_TEXT"]);
  EXPECT_EQ("PCTFREE 5", after["SITE.BND_INDEX_COMPOSITE"]);
  EXPECT_EQ("IN TS9", after["SITE.B_STORAGE"]);
}

}  // namespace
