// Intercept trace files: the whole text of a short exchange, the file
// numbering, the letters of ZULINTERCEPT, the failure paths, and traces of
// two processes that never share a file.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_channel_pair.h"
#include "zul_channel.h"
#include "zul_commands.h"

using namespace zultest;

namespace {

class Intercept : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zitXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    setenv("ZULINTERCEPTLOC", (dir_ + "/trace").c_str(), 1);
    unsetenv("ZULINTERCEPT");
  }
  void TearDown() override {
    unsetenv("ZULINTERCEPTLOC");
    unsetenv("ZULINTERCEPT");
    std::string cmd = "rm -rf " + dir_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE();
  }
  std::string read_file(const std::string& name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void touch(const std::string& name) { std::ofstream(dir_ + "/" + name) << ""; }
  std::vector<std::string> files() {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }
  // A channel on one end of a loopback pair, the other end in peer_fd.
  CHANNEL* open_channel(int32_t kind, int* peer_fd) {
    int fds[2];
    if (!raw_pair(fds)) return nullptr;
    own_fd_ = fds[0];
    *peer_fd = fds[1];
    return CH_create(kind, 0, &own_fd_);
  }
  std::string dir_;
  int own_fd_ = -1;
};

const std::string kDashes(74, '-');

// The time stamp of the header is the only line that changes between runs.
std::string without_time(const std::string& text) {
  return std::regex_replace(text, std::regex("Time:  [^\n]*\n"), "Time:  <stamp>\n");
}

TEST_F(Intercept, ShortExchangeMatchesTheExpectedText) {
  int peer;
  CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
  ASSERT_NE(nullptr, ch);
  ASSERT_EQ(0, CH_write_command(ch, CMD_CreateStream));
  ASSERT_EQ(0, CH_write_long(ch, 42));
  ASSERT_EQ(0, CH_write_string(ch, "ZUL.ROADS"));
  ASSERT_EQ(0, CH_write_block(ch, "\x01\x02\xAB", 3));
  RELEASE release{8, 3, 0, "db2lite 1.0", 83002};
  ASSERT_EQ(0, CH_write_release(ch, &release));
  COLUMN_DEF cols[2] = {};
  strcpy(cols[0].name, "OBJECTID");
  cols[0].type = SE_INTEGER;
  cols[0].size = 10;
  cols[0].rowid_kind = 1;
  strcpy(cols[1].name, "NAME");
  cols[1].type = SE_STRING;
  cols[1].size = 64;
  cols[1].nullable = 1;
  ASSERT_EQ(0, CH_write_column_def(ch, 2, cols));
  POINT3D pt = {1, -2, 3};
  ASSERT_EQ(0, CH_write_pt3d(ch, &pt));
  std::vector<uint8_t> answer;
  le32(answer, 7);
  le32(answer, 2);
  answer.push_back('\xA0');
  answer.push_back(0);
  ASSERT_TRUE(send_raw(peer, answer));
  int32_t v;
  ASSERT_EQ(0, CH_read_long(ch, &v));
  char text[8];
  ASSERT_EQ(0, CH_read_string(ch, text, sizeof text));
  char small[1];
  ASSERT_TRUE(send_raw(peer, {9, 0, 0, 0, 'r', 'e', 'f', 'u', 's', 'e', 'd', '!', 0}));
  EXPECT_EQ(SE_INVALID_PARAM, CH_read_string(ch, small, sizeof small)) << "a refused read leaves no entry";
  CH_destroy(ch);
  close(own_fd_);
  close(peer);

  const std::string want =
      "File:  " + dir_ + "/trace.001\n"
      "Mode:  Command Name, Read, Write\n"
      "Time:  <stamp>\n" +
      kDashes + "\n\n"
      "Additional Information:\n"
      "\tCommunication type SOCKET\n" +
      kDashes + "\n \n"
      "========================================\n"
      "[W] Command:      CreateStream\n"
      "[W] Long:         42\n"
      "[W] String:       \"ZUL.ROADS\"\n"
      "[W] Block:\n"
      "\tBufferInfo:\t[3/3]\n"
      "\tBufferInHex:\t\"0102AB\"\n"
      "[W] Release:\n"
      "\tRelease_Ver:  8.3.0\t83002\n"
      "\tDescription:  \"db2lite 1.0\"\n"
      "[W] Col_Defines:  [2]\n"
      "\tName                                 Type    Width nDec  NULL?   RowID\n"
      "\t------------------------------------------------------------------------\n"
      "\tOBJECTID                         SE_INTEGER     10   0  NOT NULL  ZUL \n"
      "\tNAME                             SE_STRING      64   0      NULL      \n"
      "\t------------------------------------------------------------------------\n"
      "[W] Point3D:\n"
      "\tX:\t1\n"
      "\tY:\t-2\n"
      "\tZ:\t3\n"
      "[R] Long:         7\n"
      "[R] String:       \"\xA0\"\n";
  EXPECT_EQ(want, without_time(read_file("trace.001")));
}

TEST_F(Intercept, FileNumberFollowsTheHighestPresent) {
  struct Case {
    std::vector<std::string> present;
    std::string created;
  };
  const Case kCases[] = {
      {{"trace.001", "trace.007"}, "trace.008"},
      {{"trace.abc"}, "trace.001"},
      {{"trace.999"}, "trace.1000"},
      {{"tracer.050", "other.3"}, "trace.001"},
  };
  for (const Case& c : kCases) {
    std::string cmd = "rm -f " + dir_ + "/*";
    ASSERT_EQ(0, system(cmd.c_str()));
    for (const std::string& f : c.present) touch(f);
    int peer;
    CHANNEL* ch = open_channel(CH_KIND_XDR, &peer);
    ASSERT_NE(nullptr, ch);
    EXPECT_EQ(dir_ + "/" + c.created, std::string(ch->trace_path));
    CH_destroy(ch);
    close(own_fd_);
    close(peer);
    EXPECT_NE(std::string::npos, read_file(c.created).find("\tCommunication type XDR\n")) << c.created;
  }
}

TEST_F(Intercept, LettersChooseWhatIsTraced) {
  struct Case {
    const char* letters;
    uint16_t flags;
    const char* mode;
    std::regex entry;  // what the written long and the read long leave
  };
  const Case kCases[] = {
      {"", 7, "Command Name, Read, Write", std::regex("\\[W\\] Long:         1\n\\[R\\] Long:         2\n")},
      {"t", 12, "Command Name, Time", std::regex("^(?![\\s\\S]*Long:)[\\s\\S]*\\[R [0-5][0-9]:[0-5][0-9]\\] Command:      Shutdown\n")},
      {"rwf", 19, " Read, Write, Flush", std::regex("\\[W\\] Long:         1\n\\[R\\] Long:         2\n")},
      {"C", 4, "Command Name", std::regex("^(?![\\s\\S]*Long:)[\\s\\S]*\\[W\\] Command:      GetServerTime\n[\\s\\S]*\\[R\\] Command:      Shutdown\n")},
      {"T", 12, "Command Name, Time", std::regex("\\[W [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\] Command:      GetServerTime\n")},
      {"xyz", 4, "Command Name", std::regex("Command:      Shutdown")},
  };
  for (const Case& c : kCases) {
    std::string cmd = "rm -f " + dir_ + "/*";
    ASSERT_EQ(0, system(cmd.c_str()));
    setenv("ZULINTERCEPT", c.letters, 1);
    int peer;
    CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
    ASSERT_NE(nullptr, ch);
    EXPECT_EQ(c.flags, ch->trace_flags) << c.letters;
    CH_write_command(ch, CMD_GetServerTime);
    CH_write_long(ch, 1);
    std::vector<uint8_t> in;
    le32(in, 2);
    le32(in, CMD_Shutdown);
    send_raw(peer, in);
    int32_t v;
    CH_read_long(ch, &v);
    CH_read_command(ch, &v);
    CH_destroy(ch);
    close(own_fd_);
    close(peer);
    std::string text = read_file("trace.001");
    EXPECT_NE(std::string::npos, text.find(std::string("Mode:  ") + c.mode + "\n")) << c.letters << "\n" << text;
    EXPECT_TRUE(std::regex_search(text, c.entry)) << c.letters << "\n" << text;
  }
}

TEST_F(Intercept, OutOfRangeCommandCodesAreNamedInvalid) {
  int peer;
  CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
  for (int32_t code : {219, -5}) CH_write_command(ch, code);
  CH_destroy(ch);
  close(own_fd_);
  close(peer);
  std::string text = read_file("trace.001");
  EXPECT_NE(std::string::npos, text.find("[W] Command:      Invalid_Command_Code 219\n"));
  EXPECT_NE(std::string::npos, text.find("[W] Command:      Invalid_Command_Code -5\n"));
}

TEST_F(Intercept, UnusableLocationLeavesTheChannelUntraced) {
  struct Case {
    std::string loc;
    const char* stderr_text;
  };
  touch("plainfile");
  const Case kCases[] = {
      {dir_ + "/missing/trace", "missing not found.\n"},
      {dir_ + "/plainfile/trace", "plainfile is not a directory.\n"},
  };
  for (const Case& c : kCases) {
    setenv("ZULINTERCEPTLOC", c.loc.c_str(), 1);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int peer;
    CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, ch);
    EXPECT_EQ(nullptr, ch->trace);
    EXPECT_EQ(0, ch->trace_flags);
    EXPECT_EQ("ERROR OPENING INTERCEPT FILE . ABORT INTERCEPTION !\n", out);
    EXPECT_NE(std::string::npos, err.find(c.stderr_text)) << err;
    EXPECT_EQ(0, CH_write_long(ch, 1));
    CH_destroy(ch);
    close(own_fd_);
    close(peer);
  }
  setenv("ZULINTERCEPTLOC", "", 1);
  testing::internal::CaptureStderr();
  int peer;
  CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
  EXPECT_EQ("ZULINTERCEPTLOC not set.\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(nullptr, ch->trace);
  CH_destroy(ch);
  close(own_fd_);
  close(peer);
}

TEST_F(Intercept, TwoProcessesNeverShareATraceFile) {
  constexpr int kPerProcess = 25;
  auto open_many = [&]() {
    for (int i = 0; i < kPerProcess; i++) {
      int peer;
      CHANNEL* ch = open_channel(CH_KIND_SOCKET, &peer);
      if (!ch || !ch->trace) return 1;
      CH_write_long(ch, getpid());
      CH_destroy(ch);
      close(own_fd_);
      close(peer);
    }
    return 0;
  };
  pid_t pid = fork();
  if (pid == 0) _exit(open_many());
  EXPECT_EQ(0, open_many());
  int status;
  waitpid(pid, &status, 0);
  EXPECT_EQ(0, WEXITSTATUS(status));
  std::vector<std::string> names = files();
  EXPECT_EQ(2u * kPerProcess, names.size());
  for (const std::string& n : names) {
    std::string text = read_file(n);
    size_t headers = 0;
    for (size_t at = text.find("File:  "); at != std::string::npos; at = text.find("File:  ", at + 1)) headers++;
    EXPECT_EQ(1u, headers) << n;
  }
}

}  // namespace
