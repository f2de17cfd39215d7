// The service table: records made, found and removed by name, the local-only
// manager, start and run state (a program that ends counts as stopped), and
// the start arguments read by the program from its descriptor, hostile forms
// included.
#include "zulos.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class ServiceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zulsvc.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    const char* old = getenv("ZULHOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    if (had_) setenv("ZULHOME", old_.c_str(), 1);
    else unsetenv("ZULHOME");
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }
  std::string home_, old_;
  bool had_ = false;
};

uint32_t state_of(const char* name) {
  zulos_service_status st{};
  EXPECT_EQ(0, zulos_svc_query(name, &st));
  return st.state;
}

// Waits up to 5 s for the service to reach state.
bool reaches(const char* name, uint32_t state) {
  for (int i = 0; i < 100; ++i) {
    if (state_of(name) == state) return true;
    zulos_sleep_ms(50);
  }
  return false;
}

// The start form of a program whose start arguments are bytes.
int attach_with(const std::string& bytes, zulos_svc_program* out, const char* flag = "-zulservice") {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  EXPECT_EQ(static_cast<ssize_t>(bytes.size()), write(fds[1], bytes.data(), bytes.size()));
  close(fds[1]);
  std::string fd = std::to_string(fds[0]);
  char* argv[] = {const_cast<char*>("prog"), const_cast<char*>(flag), const_cast<char*>("svc"), fd.data(), nullptr};
  int err = zulos_svc_program_attach(4, argv, out);
  if (fcntl(fds[0], F_GETFD) >= 0) close(fds[0]);  // attach closes it, except when it refused the form
  return err;
}

std::string u32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

}  // namespace

TEST_F(ServiceTableTest, RecordsAreMadeFoundAndRemovedByName) {
  EXPECT_EQ(0, zulos_svc_manager_open(nullptr));
  EXPECT_EQ(0, zulos_svc_manager_open("."));
  EXPECT_EQ(0, zulos_svc_manager_open("\\\\localhost"));
  EXPECT_EQ(ZULOS_ERROR_RPC_SERVER_UNAVAILABLE, zulos_svc_manager_open("\\\\elsewhere.invalid"));

  EXPECT_EQ(0, zulos_svc_create("demo", "Demo", "/bin/true", "a\0b\0", ".\\someone", "pw"));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_EXISTS, zulos_svc_create("DEMO", "Demo", "/bin/true", nullptr, nullptr, nullptr));
  for (const char* bad : {"", "a\\b", "a/b"})
    EXPECT_EQ(ZULOS_ERROR_INVALID_NAME, zulos_svc_create(bad, "x", "/bin/true", nullptr, nullptr, nullptr)) << bad;
  EXPECT_EQ(0, zulos_svc_open("demo"));
  char acct[64];
  ASSERT_EQ(0, zulos_svc_account("demo", acct, sizeof acct));
  EXPECT_STREQ(".\\someone", acct);
  EXPECT_EQ(ZULOS_SERVICE_STOPPED, state_of("demo"));
  // The event-log branch of the same table is no service.
  zulos_regkey* k = nullptr;
  ASSERT_EQ(0, zulos_reg_create_key(ZULOS_SERVICES_KEY "\\EventLog\\Application\\demo", &k));
  zulos_reg_close(k);
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, zulos_svc_open("EventLog"));

  EXPECT_EQ(0, zulos_svc_delete("demo"));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, zulos_svc_delete("demo"));
  zulos_service_status st;
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, zulos_svc_query("demo", &st));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_DOES_NOT_EXIST, zulos_svc_start("demo", 0, nullptr));
}

TEST_F(ServiceTableTest, RunStateFollowsTheProgramAndItsReports) {
  ASSERT_EQ(0, zulos_svc_create("quick", "Quick", "/bin/true", nullptr, nullptr, nullptr));
  const char* args[] = {"data"};
  ASSERT_EQ(0, zulos_svc_start("quick", 1, args));
  // The program ends without reporting: the service counts as stopped.
  EXPECT_TRUE(reaches("quick", ZULOS_SERVICE_STOPPED));
  EXPECT_EQ(ZULOS_ERROR_SERVICE_NOT_ACTIVE, zulos_svc_stop("quick", nullptr));

  // A report records the state and the reporting process.
  ASSERT_EQ(0, zulos_svc_report("quick", ZULOS_SERVICE_RUNNING, 0));
  zulos_service_status st{};
  ASSERT_EQ(0, zulos_svc_query("quick", &st));
  EXPECT_EQ(ZULOS_SERVICE_RUNNING, st.state);
  EXPECT_EQ(getpid(), st.pid);
  EXPECT_EQ(ZULOS_ERROR_SERVICE_ALREADY_RUNNING, zulos_svc_start("quick", 0, nullptr));
  ASSERT_EQ(0, zulos_svc_report("quick", ZULOS_SERVICE_STOPPED, 0));

  // A program that cannot be started leaves the service stopped.
  ASSERT_EQ(0, zulos_svc_create("missing", "M", "/nonexistent/prog", nullptr, nullptr, nullptr));
  EXPECT_EQ(ZULOS_ERROR_FILE_NOT_FOUND, zulos_svc_start("missing", 0, nullptr));
  EXPECT_EQ(ZULOS_SERVICE_STOPPED, state_of("missing"));

  // Start arguments beyond the limits are refused before anything starts.
  std::string big(ZULOS_SERVICE_ARGS_MAX, 'b');
  const char* too_big[] = {big.c_str()};
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, zulos_svc_start("quick", 1, too_big));
  std::vector<const char*> many(ZULOS_SERVICE_ARGC_MAX + 1, "a");
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, zulos_svc_start("quick", static_cast<int>(many.size()), many.data()));
}

TEST_F(ServiceTableTest, StartArgumentsAreReadBoundedFromTheDescriptor) {
  zulos_svc_program p;
  ASSERT_EQ(0, attach_with(u32(2) + u32(4) + "data" + u32(0), &p));
  EXPECT_STREQ("svc", p.name);
  ASSERT_EQ(2, p.argc);
  EXPECT_STREQ("data", p.argv[0]);
  EXPECT_STREQ("", p.argv[1]);
  EXPECT_EQ(nullptr, p.argv[2]);
  zulos_svc_program_free(&p);

  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case kCases[] = {
      {"nothing at all", ""},
      {"count cut short", "\x01\x00"},
      {"count over the limit", u32(ZULOS_SERVICE_ARGC_MAX + 1)},
      {"huge length", u32(1) + u32(0xffffffffu) + "x"},
      {"length past the end", u32(1) + u32(5) + "abc"},
      {"fewer arguments than counted", u32(3) + u32(1) + "a"},
      {"bytes after the last argument", u32(1) + u32(1) + "a" + "junk"},
      {"more than the limit in all", u32(1) + u32(ZULOS_SERVICE_ARGS_MAX) + std::string(ZULOS_SERVICE_ARGS_MAX, 'z')},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, attach_with(c.bytes, &p)) << c.name;
    EXPECT_EQ(nullptr, p.argv) << c.name;
  }
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, attach_with(u32(0), &p, "-other"));
}
