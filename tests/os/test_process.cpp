// Child processes: exit codes in each way a child can end, the descriptor
// rule of spawn, exec failures, and the wait on many children.
#include "child_support.h"
#include "zulos.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

int start(std::vector<const char*> args, zulos_process* p, int keep_fd = -1) {
  args.insert(args.begin(), kChild.c_str());
  args.push_back(nullptr);
  zulos_spawn_spec spec = {kChild.c_str(), args.data(), keep_fd};
  return zulos_spawn(&spec, p);
}

int finish(zulos_process* p) {
  EXPECT_EQ(0, zulos_process_wait(p, 10000));
  int code = -1;
  EXPECT_EQ(0, zulos_process_exit_code(p, &code));
  zulos_process_close(p);
  return code;
}

}  // namespace

TEST(Process, ExitCodeOfEachEnd) {
  struct Case {
    const char* name;
    std::vector<const char*> args;
    int end;  // 0 own exit, 1 terminate, 2 SIGKILL from outside, 3 SIGTERM
    int code;
  };
  const Case cases[] = {
      {"own exit", {"exit", "7"}, 0, 7},
      {"terminated", {"sleep"}, 1, 99},
      {"killed from outside", {"sleep"}, 2, 128 + SIGKILL},
      {"ended by SIGTERM", {"sleep"}, 3, 128 + SIGTERM},
  };
  for (const Case& c : cases) {
    zulos_process p;
    ASSERT_EQ(0, start(c.args, &p)) << c.name;
    if (c.end != 0) {
      int code = 0;
      ASSERT_EQ(0, zulos_process_exit_code(&p, &code));
      EXPECT_EQ(ZULOS_STILL_ACTIVE, code) << c.name;
    }
    if (c.end == 1) {
      EXPECT_EQ(0, zulos_process_terminate(&p, 99));
    }
    if (c.end == 2) kill(p.pid, SIGKILL);
    if (c.end == 3) kill(p.pid, SIGTERM);
    EXPECT_EQ(c.code, finish(&p)) << c.name;
  }
}

// The child's descriptors above 2, as it lists them from /proc/self/fd.
std::string child_fds(int keep_fd, int* spawn_rc) {
  std::string path = "/tmp/" + unique("zul_fds");
  unlink(path.c_str());
  zulos_process p;
  *spawn_rc = start({"list-fds", path.c_str()}, &p, keep_fd);
  if (*spawn_rc != 0) return "";
  EXPECT_EQ(0, finish(&p));
  std::string text;
  if (FILE* f = fopen(path.c_str(), "re")) {
    char buf[256];
    size_t n = fread(buf, 1, sizeof buf, f);
    text.assign(buf, n);
    fclose(f);
  }
  unlink(path.c_str());
  return text;
}

TEST(Process, ChildInheritsExactlyTheChosenDescriptorUnderItsNumber) {
  // Every descriptor here is open while the children start; the inheritable
  // pair must still stay behind unless chosen.
  int inheritable[2], cloexec[2];
  ASSERT_EQ(0, pipe(inheritable));
  ASSERT_EQ(0, pipe2(cloexec, O_CLOEXEC));
  const int high = 200;
  ASSERT_EQ(high, dup3(cloexec[1], high, O_CLOEXEC));
  struct Case {
    const char* name;
    int keep_fd;
  } cases[] = {
      {"none", -1},
      {"close-on-exec descriptor", cloexec[0]},
      {"inheritable descriptor among others", inheritable[1]},
      {"high number", high},
  };
  for (const Case& c : cases) {
    int rc = -1;
    std::string fds = child_fds(c.keep_fd, &rc);
    ASSERT_EQ(0, rc) << c.name;
    EXPECT_EQ(c.keep_fd < 0 ? std::string() : std::to_string(c.keep_fd), fds) << c.name;
  }
  // The chosen descriptor keeps its close-on-exec flag in the parent.
  EXPECT_EQ(FD_CLOEXEC, fcntl(cloexec[0], F_GETFD) & FD_CLOEXEC);
  // A number that is not open is refused before anything starts.
  close(high);
  int rc = 0;
  child_fds(high, &rc);
  EXPECT_EQ(ZULOS_SPAWN_FAILED, rc);
  EXPECT_EQ(EBADF, errno);
  for (int fd : {inheritable[0], inheritable[1], cloexec[0], cloexec[1]}) close(fd);
}

TEST(Process, ExecFailureIsReportedBySpawn) {
  const char* argv[] = {"/nonexistent/program", nullptr};
  zulos_spawn_spec spec = {argv[0], argv, -1};
  zulos_process p;
  EXPECT_EQ(ZULOS_SPAWN_FAILED, zulos_spawn(&spec, &p));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(0, p.pid);
}

TEST(Process, WaitAnyNamesTheEndedChildAmongMany) {
  std::vector<zulos_process> kids(65);
  std::vector<int> fds;
  for (auto& k : kids) {
    ASSERT_EQ(0, start({"sleep"}, &k));
    fds.push_back(k.pidfd);
  }
  EXPECT_EQ(ZULOS_WAIT_ANY_TIMEOUT, zulos_wait_any(fds.data(), static_cast<int>(fds.size()), 50));
  kill(kids[64].pid, SIGKILL);
  EXPECT_EQ(64, zulos_wait_any(fds.data(), static_cast<int>(fds.size()), 10000));
  EXPECT_FALSE(zulos_process_alive(kids[64].pid)) << "an unreaped child counts as ended";
  EXPECT_TRUE(zulos_process_alive(kids[0].pid));
  for (auto& k : kids) {
    zulos_process_terminate(&k, 99);
    EXPECT_EQ(99, finish(&k));
  }
}

TEST(Process, StartAsAnotherUserNeedsRootAndAValidLogon) {
  const char* argv[] = {kChild.c_str(), "exit", "0", nullptr};
  zulos_spawn_spec spec = {kChild.c_str(), argv, -1};
  zulos_process p;
  EXPECT_EQ(ZULOS_LOGON_REFUSED, zulos_spawn_as_user("OTHERDOMAIN", "root", "x", &spec, &p));
  EXPECT_EQ(ZULOS_LOGON_REFUSED, zulos_spawn_as_user(nullptr, "no-such-user-zul", "x", &spec, &p));
  if (geteuid() != 0) {
    EXPECT_EQ(ZULOS_LOGON_UNAVAILABLE, zulos_spawn_as_user(nullptr, "nobody", "x", &spec, &p));
    GTEST_SKIP() << "starting as another user needs root";
  }
  int rc = zulos_spawn_as_user(nullptr, "nobody", "wrong password", &spec, &p);
  EXPECT_TRUE(rc == ZULOS_LOGON_REFUSED || rc == ZULOS_LOGON_UNAVAILABLE) << rc;
}
