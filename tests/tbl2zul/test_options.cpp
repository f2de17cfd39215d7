// test_options.cpp -- tbl2zul's command line: every option, bad options and
// their messages, defaults from the environment and the instance
// configuration, the help and usage texts, and the program's exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "../../tools/tbl2zul/convparse.h"
#include "tbl2zul_test_util.h"

namespace {

int g_config_rc = 0;  // what the fake instance configuration answers

int FakeConfig(const char*, const char*, SE_INSTANCE_CONFIG* c) {
  memset(c, 0, sizeof *c);
  c->autocommit = 500;
  c->dbms_kind = 3;
  return g_config_rc;
}
int FakePassword(char* out, size_t cap) {
  out[0] = '\0';
  return 0;
}
int FakeStatus(const char*, const char*, ConvInstanceStatus* s) {
  snprintf(s->release, sizeof s->release, "9.9");
  return 0;
}
void FakeBanner(FILE* out, const char* release, const char* title) { fprintf(out, "[%s %s]\n", title, release); }

class Options : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_conv_client;
    g_conv_client.instance_configuration = FakeConfig;
    g_conv_client.get_password = FakePassword;
    g_conv_client.instance_status = FakeStatus;
    g_conv_client.print_banner = FakeBanner;
    g_config_rc = 0;
    unsetenv("ZULUSER");
    unsetenv("ZULPASSWORD");
    unsetenv("ZULINSTANCE");
    setenv("ZULSERVER", "gis1", 1);
  }
  void TearDown() override {
    g_conv_client = saved_;
    Conv_FreeOptions(&o_);
    unsetenv("ZULSERVER");
  }
  // Parses the words (the program name is added) and returns the result;
  // out_ gets what was printed on standard output.
  int Parse(std::vector<std::string> words) {
    words.insert(words.begin(), "tbl2zul");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    Conv_FreeOptions(&o_);
    testing::internal::CaptureStdout();
    int rc = Conv_ParseOptions(0, static_cast<int>(argv.size()), argv.data(), &o_);
    out_ = testing::internal::GetCapturedStdout();
    return rc;
  }
  std::vector<std::string> Base() { return {"-o", "create", "-t", "ROADS", "-f", "roads.dbf", "-u", "zul", "-p", "pw"}; }
  ConvClient saved_;
  Conv_Options o_{};
  std::string out_;
};

TEST_F(Options, ArgumentCounts) {
  EXPECT_EQ(Parse({}), 1);
  EXPECT_EQ(o_.help, 0);
  EXPECT_EQ(Parse({"-o", "create"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Parse({"-v"}), 1);
  std::vector<std::string> many = Base();
  while (many.size() < 28) many.push_back("-v");
  EXPECT_EQ(Parse(many), 1);
  EXPECT_EQ(out_, "Error, too many arguments. \n");
  many.pop_back();
  EXPECT_EQ(Parse(many), 0);
}

TEST_F(Options, HelpWords) {
  for (const char* w : {"-h", "-H", "-?"}) {
    std::vector<std::string> words = Base();
    words.push_back(w);
    EXPECT_EQ(Parse(words), 1) << w;
    EXPECT_EQ(o_.help, 1) << w;
  }
  EXPECT_EQ(Parse({"-x", "-t", "T"}), 1);  // an illegal option is an error, not help
  EXPECT_EQ(o_.help, 0);
  EXPECT_NE(out_.find("illegal option -- x"), std::string::npos);
}

TEST_F(Options, ValuesOfEveryOption) {
  ASSERT_EQ(Parse({"-o", "ap", "-t", "OUT", "-f", "in.DBF", "-T", "INFO", "-a", "a", "-c", "7", "-D", "gisdb",
                   "-i", "inst1", "-I", "-s", "host2", "-u", "bob", "-p", "secret", "-v"}),
            0)
      << out_;
  EXPECT_EQ(o_.operation, CONV_OP_APPEND);
  EXPECT_STREQ(o_.output_name, "OUT");
  EXPECT_STREQ(o_.input_name, "in.DBF");
  EXPECT_STREQ(o_.input_ext, "DBF");
  EXPECT_EQ(o_.input_type, TBL_TYPE_INFO);  // -T after a .dbf name wins
  EXPECT_EQ(o_.attr_mode, CONV_ATTR_ALL);
  EXPECT_EQ(o_.commit_rate, 7);
  EXPECT_STREQ(o_.database, "gisdb");
  EXPECT_STREQ(o_.instance, "inst1");
  EXPECT_EQ(o_.instance_parsed, 1);
  EXPECT_EQ(o_.buffered, 0);
  EXPECT_STREQ(o_.server, "host2");
  EXPECT_STREQ(o_.user, "bob");
  EXPECT_STREQ(o_.password, "secret");
  EXPECT_EQ(o_.verbose, 1);
  EXPECT_EQ(o_.output_type, TBL_TYPE_ZUL);
  EXPECT_EQ(o_.config.dbms_kind, 3);
}

TEST_F(Options, OptionValueTable) {
  static const std::string kLongServer(64, 'h');
  struct Case {
    const char* opt;
    const char* value;
    int rc;
    const char* message;  // printed when refused
    int Conv_Options::*field;
    int expect;
  } kCases[] = {
      {"-o", "a", 0, nullptr, &Conv_Options::operation, CONV_OP_APPEND},
      {"-o", "append", 0, nullptr, &Conv_Options::operation, CONV_OP_APPEND},
      {"-o", "appendx", 1, "Error, Invalid -o operation \"appendx\"\n", nullptr, 0},
      {"-o", "in", 0, nullptr, &Conv_Options::operation, CONV_OP_INIT},
      {"-o", "CR", 0, nullptr, &Conv_Options::operation, CONV_OP_CREATE},
      {"-T", "dbase3", 0, nullptr, &Conv_Options::input_type, TBL_TYPE_DBASE},
      {"-T", "DBF", 0, nullptr, &Conv_Options::input_type, TBL_TYPE_DBASE},
      {"-T", "info", 0, nullptr, &Conv_Options::input_type, TBL_TYPE_INFO},
      {"-T", "infox", 1, "Error, Invalid (-T) file type \"infox\".\n", nullptr, 0},
      {"-T", "Zul", 0, nullptr, &Conv_Options::input_type, TBL_TYPE_ZUL},
      {"-c", "0", 0, nullptr, &Conv_Options::commit_rate, 500},
      {"-c", "25", 0, nullptr, &Conv_Options::commit_rate, 25},
      {"-c", "-1", 1, "Error, Invalid -c option value: \"-1\"\n", nullptr, 0},
      {"-c", "abc", 1, "Error, Invalid -c option value: \"abc\"\n", nullptr, 0},
      {"-c", "12x", 1, "Error, Invalid -c option value: \"12x\"\n", nullptr, 0},
      {"-a", "al", 0, nullptr, &Conv_Options::attr_mode, CONV_ATTR_ALL},
      {"-a", "allx", 1, "Error, Invalid -a option \"allx\"\n", nullptr, 0},
      {"-a", "file=", 1, "Error, Invalid -a option \"file=\"\n", nullptr, 0},
      {"-a", "file=/nonexistent/spec", 1,
       "TableIO Error Code (1): TBL_UnableToOpen \nError, reading column specification file \"/nonexistent/spec\"\n",
       nullptr, 0},
      {"-k", "DEFAULTS", 0, nullptr, nullptr, 0},
      {"-w", "a = 1", 1, "Error, The -w option is not allowed for the tbl2zul command.\n", nullptr, 0},
      {"-u", "a_user_name_of_more_than_31_chars", 1,
       "Error, the -u value is too long (at most 31 characters).\n", nullptr, 0},
      {"-s", kLongServer.c_str(), 1, "Error, the -s value is too long (at most 63 characters).\n", nullptr, 0},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> words = Base();
    words.push_back(c.opt);
    words.push_back(c.value);
    EXPECT_EQ(Parse(words), c.rc) << c.opt << " " << c.value << "\n" << out_;
    if (c.message != nullptr) {
      EXPECT_NE(out_.find(c.message), std::string::npos) << c.opt << " " << c.value << "\n" << out_;
    }
    if (c.field != nullptr) {
      EXPECT_EQ(o_.*c.field, c.expect) << c.opt << " " << c.value;
    }
  }
}

TEST_F(Options, RefusalsAccumulate) {
  ASSERT_EQ(Parse({"-o", "init", "-k", "KW", "-w", "x", "-s", "h"}), 1);
  EXPECT_EQ(out_,
            "Error, the out_table name (-t) must ALWAYS be specified!\n"
            "\tError, User name must be specified!\n"
            "Error, input file name (-f) must be specified!\n"
            "Error, input file type (-T) must be specified!\n"
            "Error, The -k option is not allowed for INIT operation.\n"
            "Error, The -w option is not allowed for the tbl2zul command.\n"
            "\n");
  ASSERT_EQ(Parse({"-o", "append", "-k", "KW", "-t", "T", "-f", "x.dbf", "-u", "u", "-p", "p"}), 1);
  EXPECT_EQ(out_, "Error, The -k option is not allowed for APPEND operation.\n\n");
}

TEST_F(Options, WhereClauseInSingleQuotesWarns) {
  std::vector<std::string> words = Base();
  words.push_back("-w");
  words.push_back("'abc");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse(words), 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "WARNING: use double quotes for where_clause string.\nLast option parsed was \"-w 'abc\"\n");
}

TEST_F(Options, UserAndPasswordSources) {
  // From the environment.
  setenv("ZULUSER", "envuser", 1);
  setenv("ZULPASSWORD", "envpw", 1);
  ASSERT_EQ(Parse({"-o", "create", "-t", "T", "-f", "x.dbf"}), 0) << out_;
  EXPECT_STREQ(o_.user, "envuser");
  EXPECT_STREQ(o_.password, "envpw");
  // No password anywhere: the prompt, then the refusal of an empty answer.
  unsetenv("ZULPASSWORD");
  EXPECT_EQ(Parse({"-o", "create", "-t", "T", "-f", "x.dbf"}), 1);
  EXPECT_EQ(out_, "Enter DBMS User Password: \n\tError: Database user password must be specified.\n");
  // The instance configuration cannot be had: said, and the user becomes
  // optional.
  unsetenv("ZULUSER");
  g_config_rc = -10;
  EXPECT_EQ(Parse({"-o", "create", "-t", "T", "-f", "x.dbf"}), 1);
  EXPECT_EQ(out_, "\tError getting instance configuration for host \"gis1\"  (error -10) ... \n");
  EXPECT_EQ(o_.user_optional, 1);
}

TEST_F(Options, ColumnSpecificationFileIsReadWhileParsing) {
  ScratchDir dir;
  WriteFile(dir.file("spec"), "NAME  STREET STRING 40\nPOP\n");
  std::vector<std::string> words = Base();
  words.push_back("-a");
  words.push_back("file=" + dir.file("spec"));
  ASSERT_EQ(Parse(words), 0) << out_;
  EXPECT_EQ(o_.attr_mode, CONV_ATTR_FILE);
  ASSERT_EQ(o_.colspecs.count, 2);
  EXPECT_STREQ(o_.colspecs.from_names[0], "NAME");
  EXPECT_STREQ(o_.colspecs.entries[0].name, "STREET");
  EXPECT_STREQ(o_.colspecs.entries[1].name, "POP");
}

TEST_F(Options, HelpAndUsageTexts) {
  testing::internal::CaptureStdout();
  Conv_PrintHelp(0, 1);
  std::string help = testing::internal::GetCapturedStdout();
  EXPECT_EQ(help.find("[Table Loading 9.9]\ntbl2zul -h \n\n\ntbl2zul -o append  -t <table>"), 0u) << help;
  EXPECT_EQ(help.find("Operation: "), std::string::npos);
  EXPECT_NE(help.find("                   -u <DB_User_name> [-p <DB_User_password>] [-v]\n"), std::string::npos);
  testing::internal::CaptureStdout();
  Conv_PrintHelp(1, 0);
  help = testing::internal::GetCapturedStdout();
  EXPECT_NE(help.find("\nOperation: \n        append   Add these records"), std::string::npos);
  EXPECT_NE(help.find("                  [-u <DB_User_name>] [-p <DB_User_password>] [-v]\n"), std::string::npos);
  EXPECT_NE(help.find("                 is ZUL, else ignore.\n"), std::string::npos);

  char a0[] = "tbl2zul", a1[] = "-o", a2[] = "create";
  char* argv[] = {a0, a1, a2};
  testing::internal::CaptureStdout();
  Conv_PrintUsage(3, argv, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[Table Loading 9.9]\n"
            "tbl2zul -o create  -t <table>  -f <file_name>  -T {dBASE | INFO | ZUL} [-I]\n"
            "                  [-a {all | file=<file_name>}] [-c <commit_interval>] \n"
            "                  [-k <config_keyword>] [-w <\"where_clause\">] \n"
            "                  [-i <service>] [-s <server_name>] [-D <database>] \n"
            "                   -u <DB_User_name> [-p <DB_User_password>] [-v]\n"
            "\n\n"
            "tbl2zul -h \n\n"
            "tbl2zul -? \n\n");
  char b1[] = "-v";
  char* argv2[] = {a0, b1};
  testing::internal::CaptureStdout();
  Conv_PrintUsage(2, argv2, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[Table Loading 9.9]\ntbl2zul  -o { append | init | create }\n\ntbl2zul -h \n\ntbl2zul -? \n\n");
}

// The program itself: help and usage end with 1, and so does every
// conversion while no server can be reached, saying why.
TEST(Program, ExitCodesAndTheMissingServer) {
  ScratchDir dir;
  struct Case {
    const char* args;
    int code;
    const char* stdout_has;
    const char* stderr_has;
  } kCases[] = {
      {"", 1, "tbl2zul -o create  -t <table>", ""},
      {"-h", 1, "Operation: ", ""},
      {"-o create -t T -f x.dbf -T dBASE -u u -p p", 1, "Error getting instance configuration for host \"gis1\"",
       "the client library is not part of this build; server \"gis1\" cannot be reached."},
  };
  for (const Case& c : kCases) {
    std::string out = dir.file("out"), err = dir.file("err");
    std::string cmd = "ZULSERVER=gis1 " + std::string(ZUL_BIN_DIR) + "/tbl2zul " + c.args + " >" + out + " 2>" + err +
                      " </dev/null";
    int status = system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.args;
    EXPECT_EQ(WEXITSTATUS(status), c.code) << c.args;
    EXPECT_NE(ReadFile(out).find(c.stdout_has), std::string::npos) << c.args << "\n" << ReadFile(out);
    EXPECT_NE(ReadFile(err).find(c.stderr_has), std::string::npos) << c.args << "\n" << ReadFile(err);
  }
}

}  // namespace
