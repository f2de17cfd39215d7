// Server subprocesses: seventy children ended in every way, each reported
// once with its code; the second wait group; the stop bracket; the answers
// before initialisation and after the end; the FIFO pair serving one child
// after another.
#include "zul_local_io.h"
#include "zul_subprograms.h"
#include "zulos.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

const std::string kWorker = std::string(ZUL_BIN_DIR) + "/svrsys_sm_worker";

std::mutex g_lock;
std::vector<std::pair<int32_t, int32_t>> g_reports;

void on_death(int32_t pid, int32_t code) {
  std::lock_guard<std::mutex> l(g_lock);
  g_reports.push_back({pid, code});
}

size_t reports() {
  std::lock_guard<std::mutex> l(g_lock);
  return g_reports.size();
}

bool wait_reports(size_t n, int ms = 60000) {
  for (int i = 0; i < ms / 10 && reports() < n; ++i) zulos_sleep_ms(10);
  return reports() >= n;
}

std::string marker(int i) { return "/tmp/zul_sp_" + std::to_string(getpid()) + "_" + std::to_string(i); }

int32_t start(int wait_mode, int i, const char* mode, const char* arg = nullptr) {
  std::string m = marker(i);
  unlink(m.c_str());
  unlink((m + ".in").c_str());
  const char* args[] = {"child", m.c_str(), mode, arg, nullptr};
  return SubPrograms_StartProgramArgv(wait_mode, 0, kWorker.c_str(), nullptr, nullptr, args);
}

std::string sem_name(int n) { return "ZUL_stop_semaphore_" + std::to_string(getpid()) + "_" + std::to_string(n); }

}  // namespace

TEST(SubPrograms, WithoutInitializeEveryPidIsAlive) {
  EXPECT_EQ(1, SubPrograms_ProgramAlive(12345));
  EXPECT_EQ(-1, SubPrograms_StopProgram(12345));
  EXPECT_EQ(-4, start(0, 0, "sleep"));
}

TEST(SubPrograms, SeventyChildrenEachReportedOnceWithItsCode) {
  g_reports.clear();
  ASSERT_EQ(0, SubPrograms_Initialize(nullptr, "sp", on_death));
  std::vector<int32_t> pids;
  // The monitor stays paused from the first start with wait mode 1 until it
  // is resumed, so children that end meanwhile are reported afterwards.
  for (int i = 0; i < 70; ++i) {
    int32_t pid = i < 40 ? start(1, i, "sleep") : start(1, i, "exit", "7");
    ASSERT_GT(pid, 0) << i;
    pids.push_back(pid);
  }
  int32_t groups = 0, last_used = 0, wait_ms = 0;
  SubPrograms_GroupInfo(&groups, &last_used, &wait_ms);
  EXPECT_EQ(2, groups) << "the 64th child opens a second group";
  EXPECT_EQ(8, last_used);
  EXPECT_EQ(500, wait_ms);
  zulos_sleep_ms(500);
  EXPECT_EQ(0u, reports()) << "nothing is reported while the monitor is paused";
  EXPECT_GE(SubPrograms_DeathHandling(1), 0);

  EXPECT_EQ(-3, SubPrograms_StopProgram(1)) << "never started";
  std::map<int32_t, int32_t> expected;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(0, SubPrograms_StopProgram(pids[i]));
    expected[pids[i]] = 0;
  }
  for (int i = 20; i < 30; ++i) {
    EXPECT_EQ(0, SubPrograms_TerminateProgram(pids[i]));
    expected[pids[i]] = 99;
  }
  for (int i = 30; i < 35; ++i) {
    kill(pids[i], SIGKILL);
    expected[pids[i]] = 128 + SIGKILL;
  }
  for (int i = 35; i < 40; ++i) expected[pids[i]] = 259;
  for (int i = 40; i < 70; ++i) expected[pids[i]] = 7;
  ASSERT_TRUE(wait_reports(65)) << reports();
  EXPECT_EQ(1, SubPrograms_ProgramAlive(pids[35]));
  EXPECT_EQ(0, SubPrograms_ProgramAlive(pids[0]));
  SubPrograms_End();
  ASSERT_EQ(70u, reports());

  std::map<int32_t, int> seen;
  for (auto& r : g_reports) {
    EXPECT_EQ(0, seen[r.first]++) << "pid " << r.first << " reported twice";
    EXPECT_EQ(expected[r.first], r.second) << "pid " << r.first;
  }
  for (int i = 0; i < 20; ++i) EXPECT_EQ(0, access(marker(i).c_str(), F_OK)) << "clean-up of stopped child " << i;
  for (int n = 1; n <= 70; ++n) EXPECT_FALSE(zulos_nsem_exists(sem_name(n).c_str())) << sem_name(n);
  for (int i = 35; i < 40; ++i) {
    kill(pids[i], SIGKILL);
    waitpid(pids[i], nullptr, 0);
  }
  for (int i = 0; i < 70; ++i) unlink(marker(i).c_str());

  EXPECT_EQ(-4, start(0, 0, "sleep")) << "after the end";
  EXPECT_EQ(-1, SubPrograms_TerminateProgram(pids[35]));
}

TEST(SubPrograms, StopWaitsUntilTheChildLeavesItsBracket) {
  g_reports.clear();
  std::string home = "/tmp/zul_sp_home_" + std::to_string(getpid());
  ASSERT_EQ(0, mkdir(home.c_str(), 0700));
  setenv("ZULHOME", home.c_str(), 1);
  ASSERT_EQ(0, SubPrograms_Initialize(nullptr, "sp", on_death));
  std::string m = marker(100);
  const char* args[] = {"child", m.c_str(), "bracket", "1000", nullptr};
  int in_pipe = -1, out_pipe = -1;
  int32_t pid = SubPrograms_StartProgramArgv(0, 0, kWorker.c_str(), &in_pipe, &out_pipe, args);
  ASSERT_GT(pid, 0);
  EXPECT_GE(in_pipe, 0) << "the FIFO pipes are made under $ZULHOME/run";
  EXPECT_GE(out_pipe, 0);
  for (int i = 0; i < 1000 && access((marker(100) + ".in").c_str(), F_OK) != 0; ++i) zulos_sleep_ms(10);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(0, SubPrograms_StopProgram(pid));
  ASSERT_TRUE(wait_reports(1, 20000));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 700) << "the stop waited for the bracket";
  EXPECT_EQ(0, g_reports[0].second);
  EXPECT_EQ(0, access(marker(100).c_str(), F_OK));
  SubPrograms_End();
  unlink(marker(100).c_str());
  unlink((marker(100) + ".in").c_str());
  unsetenv("ZULHOME");
  std::string cmd = "rm -rf " + home;
  EXPECT_EQ(0, system(cmd.c_str()));
}

// The test plays each child's side of the FIFO pair: every start hands out
// the same two descriptors, each time waiting for a new client, and the
// previous child's connection ends with the next start.
TEST(SubPrograms, EveryStartHandsOutPipesThatWaitForItsChild) {
  g_reports.clear();
  std::string home = "/tmp/zul_sp_pipes_" + std::to_string(getpid());
  ASSERT_EQ(0, mkdir(home.c_str(), 0700));
  setenv("ZULHOME", home.c_str(), 1);
  ASSERT_EQ(0, SubPrograms_Initialize(nullptr, "sp", on_death));
  const char in_name[] = "\\\\.\\pipe\\zul_client_to_server_FIFO_sp";
  const char out_name[] = "\\\\.\\pipe\\zul_server_to_client_FIFO_sp";
  LO_set_wait_ms(2000);
  std::string m = marker(200);
  const char* args[] = {"child", m.c_str(), "sleep", nullptr};
  std::vector<int32_t> pids;
  int first_in = -1, first_out = -1, old_up = -1, old_down = -1;
  for (int round = 0; round < 3; ++round) {
    int in_pipe = -1, out_pipe = -1;
    int32_t pid = SubPrograms_StartProgramArgv(0, 0, kWorker.c_str(), &in_pipe, &out_pipe, args);
    ASSERT_GT(pid, 0) << round;
    pids.push_back(pid);
    if (round == 0) {
      first_in = in_pipe;
      first_out = out_pipe;
      ASSERT_GE(first_in, 0);
      ASSERT_GE(first_out, 0);
    }
    EXPECT_EQ(first_in, in_pipe) << round;
    EXPECT_EQ(first_out, out_pipe) << round;
    int32_t v = 0;
    if (old_down >= 0) {
      pollfd p = {old_down, POLLIN, 0};
      ASSERT_EQ(1, poll(&p, 1, 2000)) << round << ": the previous child's pipe is still open";
      EXPECT_NE(0, LO_read_long(old_down, &v)) << round << ": the previous child's pipe ended";
      LO_close(old_up);
      LO_close(old_down);
    }
    int up = -1, down = -1;
    ASSERT_EQ(0, LO_open_client(in_name, out_name, &up, &down)) << round;
    ASSERT_EQ(0, LO_open_server(out_pipe, in_pipe)) << round;
    EXPECT_EQ(0, LO_write_long(out_pipe, 100 + round));
    EXPECT_EQ(0, LO_read_long(down, &v));
    EXPECT_EQ(100 + round, v);
    EXPECT_EQ(0, LO_write_long(up, 200 + round));
    EXPECT_EQ(0, LO_read_long(in_pipe, &v));
    EXPECT_EQ(200 + round, v);
    old_up = up;
    old_down = down;
  }
  LO_close(old_up);
  LO_close(old_down);
  for (int32_t pid : pids) EXPECT_EQ(0, SubPrograms_StopProgram(pid));
  EXPECT_TRUE(wait_reports(pids.size(), 20000));
  SubPrograms_End();
  unlink(m.c_str());
  unsetenv("ZULHOME");
  std::string cmd = "rm -rf " + home;
  EXPECT_EQ(0, system(cmd.c_str()));
}
