// The instance's service: a whole life cycle with its events, the ways a
// start fails, the account form, and the transfer form of passwords.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "tmp_home.h"
#include "zul_service.h"
#include "zulos.h"

namespace {

const std::string kProgram = std::string(ZUL_BIN_DIR) + "/svrsys_svc_program";

std::mutex g_events_lock;
std::vector<std::string> g_events;  // "<source> <id> <strings...>"

void observe(const char* source, uint16_t type, uint32_t id, int n, const char* const* strings) {
  std::string line = std::string(source) + " " + std::to_string(id) + " t" + std::to_string(type);
  for (int i = 0; i < n; ++i) line += std::string(" ") + strings[i];
  std::lock_guard<std::mutex> guard(g_events_lock);
  g_events.push_back(line);
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    zulos_eventlog_set_observer(observe);
  }
  void TearDown() override { zulos_eventlog_set_observer(nullptr); }

  std::string status(const char* svc) {
    char text[SES_SERVICE_STATUS_LEN] = "<unchanged>";
    EXPECT_EQ(0, SES_QueryServiceStatus(svc, text));
    return text;
  }
  bool reaches(const char* svc, const std::string& state) {
    for (int i = 0; i < 100; ++i) {
      if (status(svc) == state) return true;
      zulos_sleep_ms(50u);
    }
    return false;
  }
  std::string args_seen(const char* svc) {
    std::ifstream f(home_.path() + "/" + svc + ".args");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  TmpHome home_;
};

std::string me() {
  struct passwd* pw = getpwuid(geteuid());
  return pw ? pw->pw_name : "";
}

std::string reg_text(const std::string& path, const char* value) {
  zulos_regkey* k = nullptr;
  if (zulos_reg_open_key(path.c_str(), &k) != 0) return "<no key>";
  char buf[512];
  uint32_t len = sizeof buf;
  int err = zulos_reg_query_value(k, value, nullptr, buf, &len);
  zulos_reg_close(k);
  return err == 0 ? std::string(buf, len) : "<no value>";
}

}  // namespace

TEST_F(ServiceTest, LifeCycleAnswersAndLogsAtEveryStep) {
  const char* svc = "zul_test";
  ASSERT_EQ(0, SES_CreateService(svc, "Zul test instance", kProgram.c_str(), nullptr, me().c_str(), "acct-pw"));
  const std::string source = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\zul_test";
  EXPECT_EQ(std::string("\x07\0\0\0", 4), reg_text(source, "TypesSupported"));
  EXPECT_EQ(kProgram + '\0', reg_text(source, "EventMessageFile"));
  EXPECT_EQ("SERVICE_STOPPED", status(svc));

  ASSERT_EQ(0, SES_start_service(nullptr, svc, nullptr, "s3cret pw"));
  EXPECT_EQ("#\ns3cret pw\n", args_seen(svc));  // no data travels as "#"
  EXPECT_EQ("SERVICE_RUNNING", status(svc));
  EXPECT_EQ(SE_SERVICE_ALREADY_RUNNING, SES_start_service(".", svc, "data", "x"));

  ASSERT_EQ(0, SES_stop_service(svc));
  EXPECT_TRUE(reaches(svc, "SERVICE_STOPPED"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_stop_service(svc));
  EXPECT_EQ("ZUL service zul_test is already stopped\n", testing::internal::GetCapturedStderr());

  // A second start passes its data through.
  ASSERT_EQ(0, SES_start_service(nullptr, svc, "/opt/zul home", ""));
  EXPECT_EQ("/opt/zul home\n\n", args_seen(svc));
  ASSERT_EQ(0, SES_stop_service(svc));
  EXPECT_TRUE(reaches(svc, "SERVICE_STOPPED"));

  ASSERT_EQ(0, SES_DeleteService(svc));
  EXPECT_EQ("<no key>", reg_text(source, "TypesSupported"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, SES_DeleteService(svc));
  EXPECT_EQ("error opening SCManager\n", testing::internal::GetCapturedStderr());
  char text[SES_SERVICE_STATUS_LEN] = "kept";
  EXPECT_EQ(-1, SES_QueryServiceStatus(svc, text));
  EXPECT_STREQ("kept", text);

  const std::vector<std::string> expected = {
      "zul_test 100 t4 zul_test", "zul_test 105 t4 zul_test", "zul_test 108 t4 zul_test",
      "zul_test 105 t4 zul_test", "zul_test 108 t4 zul_test", "zul_test 101 t4 zul_test",
      "zul_test 102 t4 zul_test",
  };
  EXPECT_EQ(expected, g_events);
}

TEST_F(ServiceTest, StartAndStopFailuresAnswerTheirStatus) {
  ASSERT_EQ(0, SES_CreateService("svc_a", "A", kProgram.c_str(), "dep1\0dep2\0", nullptr, nullptr));
  // A program that ends during start-up.
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_start_service(nullptr, "svc_a", "die", "pw"));
  EXPECT_EQ("svc_a service failed during initialization.\nPlease check event log or error log files.\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ("SERVICE_STOPPED", status("svc_a"));
  // A program that asks for time while it starts is waited for.
  EXPECT_EQ(0, SES_start_service(nullptr, "svc_a", "slow", "pw"));
  EXPECT_EQ("SERVICE_RUNNING", status("svc_a"));
  EXPECT_EQ(0, SES_stop_service("svc_a"));
  EXPECT_TRUE(reaches("svc_a", "SERVICE_STOPPED"));

  struct Case {
    const char* name;
    const char* machine;
    const char* service;
    int32_t status;
  };
  const Case kCases[] = {
      {"another machine", "\\\\elsewhere.invalid", "svc_a", ZULOS_ERROR_RPC_SERVER_UNAVAILABLE},
      {"no such service", nullptr, "svc_none", ZULOS_ERROR_SERVICE_DOES_NOT_EXIST},
      {"no service name", nullptr, "", ZULOS_ERROR_INVALID_NAME},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.status, SES_start_service(c.machine, c.service, "x", "y")) << c.name;
  EXPECT_EQ(SE_INVALID_POINTER, SES_stop_service(nullptr));
  EXPECT_EQ(SE_INVALID_POINTER, SES_stop_service(""));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, SES_stop_service("svc_none"));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_EXISTS, SES_CreateService("svc_a", "A", kProgram.c_str(), nullptr, nullptr, nullptr));
}

TEST_F(ServiceTest, AnAccountWithoutDomainRunsOnTheLocalMachine) {
  struct Case {
    const char* service;
    const char* account;
    const char* stored;
  };
  const Case kCases[] = {
      {"s1", "nobody", ".\\nobody"},
      {"s2", "DOM\\user", "DOM\\user"},
      {"s3", ".\\local", ".\\local"},
      {"s4", nullptr, "LocalSystem"},
  };
  for (const Case& c : kCases) {
    ASSERT_EQ(0, SES_CreateService(c.service, c.service, kProgram.c_str(), nullptr, c.account, "pw")) << c.service;
    char acct[64];
    ASSERT_EQ(0, zulos_svc_account(c.service, acct, sizeof acct));
    EXPECT_STREQ(c.stored, acct) << c.service;
  }
}

TEST(ServicePassword, TransferFormRoundTripsAndRefusesWhatIsNotInForm) {
  for (std::string pw : {std::string(""), std::string("secret"), std::string("\xe9t\xe9 \x01~"), std::string(40, 'p')}) {
    char form[200], back[100];
    ASSERT_EQ(0, SES_password_scramble(pw.c_str(), form, sizeof form)) << pw;
    EXPECT_EQ(nullptr, pw.empty() ? nullptr : strstr(form, pw.c_str())) << pw;
    ASSERT_EQ(0, SES_password_unscramble(form, back, sizeof back)) << pw;
    EXPECT_EQ(pw, back);
  }
  char small[8];
  EXPECT_EQ(-1, SES_password_scramble("toolong", small, sizeof small));  // 3 + 14 + 1 bytes needed
  struct Case {
    const char* name;
    const char* form;
    size_t cap;
  };
  const Case kCases[] = {
      {"no prefix", "abcd", 100},
      {"odd digits", "Z83abc", 100},
      {"not hex", "Z83zz", 100},
      {"upper-case hex is not the form", "Z83AB", 100},
      {"result too long for the buffer", "Z830102030405", 3},
      {"a zero byte", "Z835a", 100},  // 0x5a ^ key 0x5a ^ 0 = 0
  };
  for (const Case& c : kCases) {
    char out[100];
    EXPECT_EQ(-1, SES_password_unscramble(c.form, out, c.cap)) << c.name;
  }
}
