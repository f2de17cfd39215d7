// The server process from start to end, with this test playing the
// listener: start-up failures reported up the pipe with their exit codes,
// the report and first records of a good start, and the ends of the command
// loop (shutdown, lost client, unknown code, a command not built yet).
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include "nuvok_harness.h"
#include "zul_release.h"
#include "zul_status.h"

using namespace nvtest;

namespace {
// Reads the release record and the two limits a client gets first.
void expect_first_records(int fd) {
  unsigned char rel[SE_RELEASE_IMAGE];
  ASSERT_TRUE(recv_bytes(fd, rel, sizeof rel));
  int32_t w[3], number;
  memcpy(w, rel, 12);
  memcpy(&number, rel + 108, 4);
  EXPECT_EQ(8, w[0]);
  EXPECT_EQ(3, w[1]);
  EXPECT_EQ(0, w[2]);
  EXPECT_EQ(SE_RELEASE_NUMBER, number);
  EXPECT_NE(0, rel[12]) << "description";
  int32_t blob = 0, setting9 = 0;
  ASSERT_TRUE(recv_long(fd, &blob));
  ASSERT_TRUE(recv_long(fd, &setting9));
  EXPECT_EQ(1000000, blob);   // start parameter 12
  EXPECT_EQ(64, setting9);    // start parameter 19
}
}  // namespace

TEST(Startup, WrongArgumentCountExits1WithBanner) {
  Home home(false);
  ASSERT_EQ("", home.error());
  StartOptions o;
  o.args = {"a", "b", "c", "d", "e", "f", "g"};   // argc 8
  Server s(home, o);
  EXPECT_EQ(1, s.wait_exit());
  std::string err = home.early_stderr();
  EXPECT_NE(std::string::npos, err.find("NORQ Mardel Server - Release 8.3 (")) << err;
  EXPECT_NE(std::string::npos, err.find("Invalid Number of Arguments: 8\n")) << err;
}

TEST(Startup, PipesMissingExits2) {
  Home home(false);
  ASSERT_EQ("", home.error());
  StartOptions o;
  o.pipes = false;
  Server s(home, o);
  EXPECT_EQ(2, s.wait_exit());
  EXPECT_NE(std::string::npos, home.early_stderr().find("Unable to open local communication channels!"));
}

TEST(Startup, InstanceFailuresReportTheCodeAndExit3) {
  struct Case {
    const char* what;
    bool database;
    const char* connect;
    const char* password;
    int32_t code;
  };
  const Case cases[] = {
      {"database not reachable", false, "ZUL", kAdminPw, SE_DB_NOT_REACHABLE},
      {"login refused", true, "ZUL", "wrong", SE_LOGIN_NOT_ALLOWED},
      {"another database", true, "OTHERDB", kAdminPw, SE_NOT_ADMIN_DATABASE},
  };
  for (const Case& c : cases) {
    Home home(c.database);
    ASSERT_EQ("", home.error()) << c.what;
    StartOptions o;
    o.connect = c.connect;
    o.password = c.password;
    Server s(home, o);
    EXPECT_EQ(c.code, s.report().status) << c.what;
    EXPECT_EQ(3, s.wait_exit()) << c.what;
    std::string log = home.errlog();
    EXPECT_NE(std::string::npos, log.find("Spatial Engine Connection Failed (" + std::to_string(c.code) + ").\n"))
        << c.what << ": " << log;
    EXPECT_NE(std::string::npos, log.find("Cannot Get Access to Instance " + home.instance())) << c.what;
  }
}

TEST(Startup, GoodStartReportsThenServesUntilShutdown) {
  Home home(true);
  ASSERT_EQ("", home.error());
  Server s(home, StartOptions());
  ASSERT_EQ(0, s.report().status);
  EXPECT_EQ(-1, s.report().port1);
  EXPECT_EQ(0, s.report().port2);
  EXPECT_GT(s.report().pid, 0);
  EXPECT_EQ("ZUL", s.report().user);
  expect_first_records(s.client());
  ASSERT_TRUE(send_long(s.client(), 23));   // Shutdown: nothing is sent
  EXPECT_TRUE(peer_closed(s.client()));
  EXPECT_EQ(0, s.wait_exit());
}

TEST(Startup, LoopEndings) {
  struct Case {
    const char* what;
    int32_t code;        // sent, or 0x7fffffff to close the client instead
    int32_t status;      // answered first, or 1 for none
    int exit_code;
    const char* logged;
  };
  const Case cases[] = {
      {"code 219", 219, 1, 9, "Unrecognized command code 219!  Probable client-server mismatch.\n"},
      {"negative code", -1, 1, 9, "Unrecognized command code -1!  Probable client-server mismatch.\n"},
      {"command not built yet", 53, SE_NOT_BUILT_YET, 9, "Command 53 (QueryLayer) is not built yet"},
      {"client gone", 0x7fffffff, 1, 8, nullptr},
  };
  for (const Case& c : cases) {
    Home home(true);
    ASSERT_EQ("", home.error());
    Server s(home, StartOptions());
    ASSERT_EQ(0, s.report().status) << c.what;
    expect_first_records(s.client());
    // Each ending comes with a user transaction open.
    ASSERT_TRUE(send_long(s.client(), 20));
    int32_t status = 1;
    ASSERT_TRUE(recv_long(s.client(), &status));
    EXPECT_EQ(0, status) << c.what;
    if (c.code == 0x7fffffff) {
      s.close_client();
    } else {
      ASSERT_TRUE(send_long(s.client(), c.code));
      if (c.status != 1) {
        ASSERT_TRUE(recv_long(s.client(), &status)) << c.what;
        EXPECT_EQ(c.status, status) << c.what;
      }
      EXPECT_TRUE(peer_closed(s.client())) << c.what;
    }
    EXPECT_EQ(c.exit_code, s.wait_exit()) << c.what;
    if (c.logged != nullptr) {
      EXPECT_NE(std::string::npos, home.errlog().find(c.logged)) << c.what;
    }
  }
}

TEST(Startup, ReadOnlyConnectionRefusesStateChanges) {
  struct Case {
    int32_t param30;
    int32_t answered;
  };
  // A code that is not negative would read as success: -25 is answered.
  const Case cases[] = {{-77, -77}, {0, SE_NO_PERMISSIONS}, {5, SE_NO_PERMISSIONS}};
  for (const Case& c : cases) {
    Home home(true);
    ASSERT_EQ("", home.error());
    StartOptions o;
    o.read_only = 1;
    o.read_only_code = c.param30;
    Server s(home, o);
    ASSERT_EQ(0, s.report().status);
    expect_first_records(s.client());
    for (int32_t cmd : {20, 21, 22}) {
      ASSERT_TRUE(send_long(s.client(), cmd));
      int32_t status = 1;
      ASSERT_TRUE(recv_long(s.client(), &status));
      EXPECT_EQ(c.answered, status) << "command " << cmd << ", parameter 30 = " << c.param30;
    }
    ASSERT_TRUE(send_long(s.client(), 37) && send_long(s.client(), 10));
    int32_t status = 1;
    ASSERT_TRUE(recv_long(s.client(), &status));
    EXPECT_EQ(c.answered, status);
  }
}
