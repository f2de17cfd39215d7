// The local pipes between the listener and a server process: the framing of
// their items, refusals, short transfers completed, and the start parameters
// passed to a real second process with its report coming back.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zul_local_io.h"
#include "zulos.h"

namespace {

// A fresh $ZULHOME for each test, short enough for local socket paths.
class LocalPipe : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zlpXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    zulos_syscalls_reset();
    std::string cmd = "rm -rf " + home_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup of " << home_;
  }
  // A connected pair: [0] the listener's server end, [1] the client end.
  void pair(const char* name, int ends[2]) {
    ends[0] = zulos_pipe_create(name);
    ASSERT_GE(ends[0], 0);
    ASSERT_EQ(0, zulos_pipe_wait(name, 100));
    ends[1] = zulos_pipe_open(name);
    ASSERT_GE(ends[1], 0);
    ASSERT_EQ(0, LO_open_server(ends[0], ends[0]));
  }
  std::string home_;
};

std::vector<uint8_t> take(int fd, size_t n) {
  std::vector<uint8_t> b(n);
  if (zulos_pipe_read(fd, b.data(), n) != 0) b.clear();
  return b;
}

TEST_F(LocalPipe, ItemsAreNativeAndStringsCarryNoNul) {
  int ends[2];
  pair("\\\\.\\pipe\\zul_t", ends);
  ASSERT_EQ(0, LO_write_string(ends[0], "abc"));
  EXPECT_EQ((std::vector<uint8_t>{3, 0, 0, 0, 'a', 'b', 'c'}), take(ends[1], 7));
  ASSERT_EQ(0, LO_write_long(ends[0], -2));
  ASSERT_EQ(0, LO_write_short(ends[0], 0x0102));
  EXPECT_EQ((std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF, 0x02, 0x01}), take(ends[1], 6));

  ASSERT_EQ(0, LO_write_string(ends[1], "abc"));
  char buf[8];
  memset(buf, 'x', sizeof buf);
  ASSERT_EQ(0, LO_read_string(ends[0], buf, sizeof buf));
  EXPECT_STREQ("abc", buf);
  LO_close(ends[0]);
  LO_close(ends[1]);
}

TEST_F(LocalPipe, RefusedStringsLeaveTheNextItemReadable) {
  int ends[2];
  pair("zul_r", ends);
  char buf[4];
  // An empty text is never sent.
  EXPECT_EQ(-1, LO_write_string(ends[1], ""));
  // A length of 0 is refused.
  ASSERT_EQ(0, LO_write_long(ends[1], 0));
  ASSERT_EQ(0, LO_write_long(ends[1], 11));
  EXPECT_EQ(-1, LO_read_string(ends[0], buf, sizeof buf));
  int32_t v = 0;
  ASSERT_EQ(0, LO_read_long(ends[0], &v));
  EXPECT_EQ(11, v);
  // A text longer than the buffer is read, refused, and the next item reads.
  ASSERT_EQ(0, LO_write_string(ends[1], "too long for four"));
  ASSERT_EQ(0, LO_write_long(ends[1], 12));
  EXPECT_EQ(-1, LO_read_string(ends[0], buf, sizeof buf));
  ASSERT_EQ(0, LO_read_long(ends[0], &v));
  EXPECT_EQ(12, v);
  LO_close(ends[0]);
  LO_close(ends[1]);
}

ssize_t one_byte_send(int fd, const void* b, size_t n, int flags) { return ::send(fd, b, n ? 1 : 0, flags); }
ssize_t one_byte_recv(int fd, void* b, size_t n, int flags) { return ::recv(fd, b, n ? 1 : 0, flags); }

TEST_F(LocalPipe, ShortTransfersAreCompletedNotTakenAsSuccess) {
  int ends[2];
  pair("zul_s", ends);
  zulos_sys.send = one_byte_send;
  zulos_sys.recv = one_byte_recv;
  ASSERT_EQ(0, LO_write_string(ends[1], "/home/zul"));
  ASSERT_EQ(0, LO_write_long(ends[1], 123456));
  char buf[32];
  int32_t v = 0;
  ASSERT_EQ(0, LO_read_string(ends[0], buf, sizeof buf));
  ASSERT_EQ(0, LO_read_long(ends[0], &v));
  EXPECT_STREQ("/home/zul", buf);
  EXPECT_EQ(123456, v);
  zulos_syscalls_reset();
  // A peer that closes its end fails the next read.
  LO_close(ends[1]);
  EXPECT_EQ(-1, LO_read_long(ends[0], &v));
  LO_close(ends[0]);
}

TEST_F(LocalPipe, ServerEndCountsAClientThatConnectedFirst) {
  int a = zulos_pipe_create("zul_a"), b = zulos_pipe_create("zul_b");
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  int wr = -1, rd = -1;
  LO_set_wait_ms(500);
  ASSERT_EQ(0, LO_open_client("zul_a", "zul_b", &wr, &rd));
  EXPECT_EQ(0, LO_open_server(a, b));
  ASSERT_EQ(0, LO_write_long(wr, 77));
  int32_t v = 0;
  ASSERT_EQ(0, LO_read_long(a, &v));
  EXPECT_EQ(77, v);
  EXPECT_NE(0, LO_disconnect(a));
  for (int fd : {a, b, wr, rd}) LO_close(fd);
  LO_set_wait_ms(LO_WAIT_MS);
}

TEST_F(LocalPipe, MissingWritePipeFailsAfterTheWait) {
  int rd_end = zulos_pipe_create("zul_only_read");
  ASSERT_GE(rd_end, 0);
  LO_set_wait_ms(100);
  int wr = -1, rd = -1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, LO_open_client("zul_never", "zul_only_read", &wr, &rd));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("error waiting for write pipe (")) << err;
  LO_set_wait_ms(LO_WAIT_MS);
  LO_close(rd_end);
}

// ---- start parameters between two processes ----------------------------------

struct StartParams {
  std::string password = "null=password";
  int32_t longs[21] = {1, 0, 16, 100, 10000, 60, 1048576, 65536, 65536, 0, 1000, 500, 0, 32, 7, 8, 9, 10, 0, 42, 5};
  std::string home, second = "second", temp = "/tmp";
  std::string user_data = "data";
  int16_t shorts[2] = {3, 1};
  int32_t read_only_code = -25;
};

// Sends the parameters in their order: 1 string, 2-6 and 8 longs, 9-11
// strings, 12-26 longs, 27 string, 28-29 shorts, 30 long.
bool send_params(int fd, const StartParams& p) {
  int li = 0;
  bool ok = LO_write_string(fd, p.password.c_str()) == 0;
  for (int i = 0; i < 6 && ok; i++) ok = LO_write_long(fd, p.longs[li++]) == 0;
  ok = ok && LO_write_string(fd, p.home.c_str()) == 0 && LO_write_string(fd, p.second.c_str()) == 0 &&
       LO_write_string(fd, p.temp.c_str()) == 0;
  for (int i = 0; i < 15 && ok; i++) ok = LO_write_long(fd, p.longs[li++]) == 0;
  ok = ok && LO_write_string(fd, p.user_data.c_str()) == 0 && LO_write_short(fd, p.shorts[0]) == 0 &&
       LO_write_short(fd, p.shorts[1]) == 0 && LO_write_long(fd, p.read_only_code) == 0;
  return ok;
}

pid_t spawn_server(const char* to_listener, const char* from_listener) {
  pid_t pid = fork();
  if (pid == 0) {
    std::string prog = std::string(ZUL_BIN_DIR) + "/comm_ch_nuvok_params";
    execl(prog.c_str(), prog.c_str(), to_listener, from_listener, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

TEST_F(LocalPipe, StartParametersReachTheServerAndItsReportComesBack) {
  const char* to_server = "\\\\.\\pipe\\zul_server_to_client_FIFO_1";
  const char* to_listener = "\\\\.\\pipe\\zul_client_to_server_FIFO_1";
  for (const char* home : {"/srv/zul", "fail"}) {
    int down = zulos_pipe_create(to_server), up = zulos_pipe_create(to_listener);
    ASSERT_GE(down, 0);
    ASSERT_GE(up, 0);
    pid_t pid = spawn_server(to_listener, to_server);
    ASSERT_GT(pid, 0);
    // Bounded here, so a server that never starts fails the test instead of
    // hanging it; LO_open_server then finds both clients connected.
    bool connected = zulos_pipe_connect(down, 10000) == 0 && zulos_pipe_connect(up, 10000) == 0;
    if (!connected) kill(pid, SIGKILL);
    ASSERT_TRUE(connected) << "the server process did not open its pipes";
    ASSERT_EQ(0, LO_open_server(down, up));
    StartParams p;
    p.home = home;
    ASSERT_TRUE(send_params(down, p));
    int32_t status = 1;
    ASSERT_EQ(0, LO_read_long(up, &status));
    if (strcmp(home, "fail") == 0) {
      EXPECT_EQ(-51, status);
      int32_t native = 0;
      char message[64], extended[1024];
      ASSERT_EQ(0, LO_read_long(up, &native));
      ASSERT_EQ(0, LO_read_string(up, message, sizeof message));
      ASSERT_EQ(0, LO_read_string(up, extended, sizeof extended));
      EXPECT_EQ(-911, native);
      EXPECT_STREQ("home refused", message);
      EXPECT_STREQ("1=null=password;2=1;3=0;4=16;5=100;6=10000;8=60;9=fail;10=second;11=/tmp;12=1048576;"
                   "13=65536;14=65536;15=0;16=1000;17=500;18=0;19=32;20=7;21=8;22=9;23=10;24=0;25=42;26=5;"
                   "27=data;28=3;29=1;30=-25;",
                   extended);
    } else {
      EXPECT_EQ(0, status);
      int32_t port1 = 0, port2 = -1, server_pid = 0;
      char user[32];
      ASSERT_EQ(0, LO_read_long(up, &port1));
      ASSERT_EQ(0, LO_read_long(up, &port2));
      ASSERT_EQ(0, LO_read_long(up, &server_pid));
      ASSERT_EQ(0, LO_read_string(up, user, sizeof user));
      EXPECT_EQ(5151, port1);
      EXPECT_EQ(0, port2);
      EXPECT_EQ(pid, server_pid);
      EXPECT_STREQ("zul", user);
    }
    int wstatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &wstatus, 0));
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << home;
    LO_close(down);
    LO_close(up);
  }
}

}  // namespace
