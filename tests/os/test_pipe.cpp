// Local named pipes of the OS layer: where a pipe name lives, the server end
// that keeps its descriptor number once connected, and bounded waits.
#include <gtest/gtest.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "zulos.h"

namespace {

class Pipe : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zpXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + home_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE();
  }
  std::string home_;
};

TEST_F(Pipe, NamesMapUnderTheRunDirectory) {
  struct Case {
    const char* name;
    std::string path;  // empty: refused with err
    int err;
  };
  const Case kCases[] = {
      {"\\\\.\\pipe\\zul_client_to_server_FIFO_7", home_ + "/run/zul_client_to_server_FIFO_7", 0},
      {"zul_x", home_ + "/run/zul_x", 0},
      {"/tmp/elsewhere/p", "/tmp/elsewhere/p", 0},
      {"\\\\.\\pipe\\", "", EINVAL},
      {"a\\b", "", EINVAL},
      {"", "", EINVAL},
  };
  for (const Case& c : kCases) {
    char path[256];
    errno = 0;
    int rc = zulos_pipe_path(c.name, path, sizeof path);
    if (c.path.empty()) {
      EXPECT_EQ(-1, rc) << c.name;
      EXPECT_EQ(c.err, errno) << c.name;
    } else {
      EXPECT_EQ(0, rc) << c.name;
      EXPECT_EQ(c.path, path) << c.name;
    }
  }
  char small[8];
  EXPECT_EQ(-1, zulos_pipe_path("zul_x", small, sizeof small));
  EXPECT_EQ(ENAMETOOLONG, errno);
  std::string longname(200, 'n');
  char path[512];
  EXPECT_EQ(-1, zulos_pipe_path(longname.c_str(), path, sizeof path)) << "beyond a local socket address";
  EXPECT_EQ(ENAMETOOLONG, errno);
  unsetenv("ZULHOME");
  EXPECT_EQ(-1, zulos_pipe_path("zul_x", path, sizeof path));
  EXPECT_EQ(ENOENT, errno);
}

TEST_F(Pipe, ConnectedServerEndKeepsItsNumberAndTheNameIsRemoved) {
  int server = zulos_pipe_create("zul_p");
  ASSERT_GE(server, 0);
  struct stat st;
  std::string path = home_ + "/run/zul_p";
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(-1, zulos_pipe_connect(server, 20));
  EXPECT_EQ(ETIMEDOUT, errno);
  ASSERT_EQ(0, zulos_pipe_wait("zul_p", 100));
  int client = zulos_pipe_open("zul_p");
  ASSERT_GE(client, 0);
  ASSERT_EQ(0, zulos_pipe_connect(server, 1000));
  EXPECT_EQ(0, zulos_pipe_connect(server, 0)) << "already connected";
  EXPECT_NE(0, stat(path.c_str(), &st));
  ASSERT_EQ(0, zulos_pipe_write(client, "ping", 4));
  char buf[4];
  ASSERT_EQ(0, zulos_pipe_read(server, buf, 4));
  EXPECT_EQ(0, memcmp(buf, "ping", 4));
  zulos_pipe_close(client);
  EXPECT_EQ(-1, zulos_pipe_read(server, buf, 1)) << "end of data is a failure";
  EXPECT_EQ(EPIPE, errno);
  EXPECT_EQ(-1, zulos_pipe_write(server, "x", 1)) << "and writing to a closed peer raises no signal";
  zulos_pipe_close(server);
}

TEST_F(Pipe, WaitForAMissingPipeEndsAtItsTimeOut) {
  EXPECT_EQ(-1, zulos_pipe_wait("zul_none", 30));
  EXPECT_EQ(ETIMEDOUT, errno);
  EXPECT_EQ(-1, zulos_pipe_open("zul_none"));
}

}  // namespace
