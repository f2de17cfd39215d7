// A real listener and real servers on loopback, talked to byte by byte
// over the native encoding: the first records a client gets, the connection
// commands and the stream commands with their answers, and the ends of a
// connection (shutdown, an unknown command code, a client that goes away)
// that leave the instance serving the next client.
#include <gtest/gtest.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "e2e_instance.h"
#include "zul_release.h"

using namespace e2e;

namespace {

const int32_t kMaxBlob = 1000000;          // MAXBLOBSIZE of the template's orvant.defs
const int32_t kInitialFeatures = 10000;    // MAXINITIALFEATS: stream setting 9
const int32_t kMaxStreams = 25;            // MAXSTREAMS

bool wait_until(const std::function<bool()>& done) {
  for (int waited = 0; waited < 20000; waited += 20) {
    if (done()) return true;
    usleep(20000);
  }
  return done();
}

class RawClient : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ("", instance_.error()); }
  void TearDown() override {
    for (int fd : socks_) close(fd);
  }

  // Connects, checks the listener's answer and reads the first records.
  int open_client() {
    open_res answer;
    int fd = -1;
    EXPECT_EQ(0, instance_.connect(ConnectRequest(), &answer, &fd));
    socks_.push_back(fd);
    EXPECT_EQ(0, answer.ids[0]) << answer.text1 << " " << answer.text2;
    EXPECT_STREQ("ZUL", answer.text1);
    EXPECT_GT(answer.value, 0) << "server pid";
    EXPECT_TRUE(recv_bytes(fd, release_, sizeof release_));
    int32_t blob = 0, setting9 = 0;
    EXPECT_TRUE(recv_long(fd, &blob));
    EXPECT_TRUE(recv_long(fd, &setting9));
    EXPECT_EQ(kMaxBlob, blob);
    EXPECT_EQ(kInitialFeatures, setting9);
    return fd;
  }

  static int32_t status_of(int fd, std::initializer_list<int32_t> words) {
    for (int32_t w : words) {
      if (!send_long(fd, w)) return 1;
    }
    int32_t status = 1;
    return recv_long(fd, &status) ? status : 1;
  }

  static std::vector<int32_t> stream_spec(int fd) {
    std::vector<int32_t> v(10, -1);
    EXPECT_TRUE(send_long(fd, 48));
    for (int32_t& s : v) EXPECT_TRUE(recv_long(fd, &s));
    return v;
  }

  // CreateStream: the id (then four settings), or the failure status alone.
  static int32_t create_stream(int fd, std::vector<int32_t>* settings = nullptr) {
    int32_t id = 0;
    if (!send_long(fd, 44) || !recv_long(fd, &id)) return 0;
    if (id <= 0) return id;
    std::vector<int32_t> four(4);
    for (int32_t& s : four) EXPECT_TRUE(recv_long(fd, &s));
    if (settings != nullptr) *settings = four;
    return id;
  }

  Instance instance_;
  std::vector<int> socks_;
  unsigned char release_[SE_RELEASE_IMAGE];
};

TEST_F(RawClient, FirstRecordsAndConnectionCommands) {
  int fd = open_client();
  int32_t words[3], number;
  memcpy(words, release_, 12);
  memcpy(&number, release_ + 108, 4);
  EXPECT_EQ(8, words[0]);
  EXPECT_EQ(3, words[1]);
  EXPECT_EQ(0, words[2]);
  EXPECT_EQ(SE_RELEASE_NUMBER, number);
  std::string description(reinterpret_cast<char*>(release_ + 12), strnlen(reinterpret_cast<char*>(release_ + 12), 96));
  EXPECT_NE(std::string::npos, description.find('(')) << description;

  // GetRlsVersion: the same record again, with no status word.
  ASSERT_TRUE(send_long(fd, 42));
  unsigned char again[SE_RELEASE_IMAGE];
  ASSERT_TRUE(recv_bytes(fd, again, sizeof again));
  EXPECT_EQ(0, memcmp(release_, again, sizeof again));

  // GetServerTime: seconds since 1970, no status word.
  int32_t before = static_cast<int32_t>(time(nullptr)), server_time = 0;
  ASSERT_TRUE(send_long(fd, 43));
  ASSERT_TRUE(recv_long(fd, &server_time));
  EXPECT_LE(before - 5, server_time);
  EXPECT_GE(static_cast<int32_t>(time(nullptr)) + 5, server_time);

  // Status answers; each next command would misread a stray extra word.
  struct Case {
    const char* what;
    std::initializer_list<int32_t> sent;
    int32_t status;
  };
  const Case cases[] = {
      {"GetConnectionError with no error: the status alone", {0}, 0},
      {"GetConnectionErrorString without a message file", {1, -1}, -1011},
      {"GetstreamError of an unknown stream", {2, 99}, -107},
      {"BeginTransaction", {20}, 0},
      {"BeginTransaction again", {20}, -68},
      {"RollbackTransaction", {22}, 0},
      {"CommitTransaction with none open", {21}, 0},
      {"SetAutoCommit", {37, 100}, 0},
      {"TellServerClientRelease answers nothing; the next command does", {218, SE_RELEASE_NUMBER, 0}, 0},
      {"ApplicationIdsSet", {194, 3, 7, 8, 9}, 0},
      {"ApplicationIdsSet with none", {194, 0}, 0},
      {"LayersTableLastModified with no layer: the time is the status", {75}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.status, status_of(fd, c.sent)) << c.what;

  // User names, without a status word.
  std::string user;
  ASSERT_TRUE(send_long(fd, 212));
  ASSERT_TRUE(recv_string(fd, &user));
  EXPECT_EQ("ZUL", user);
  ASSERT_TRUE(send_long(fd, 213));
  ASSERT_TRUE(recv_string(fd, &user));
  EXPECT_EQ("ZUL", user);

  // GetDbmsInfo: status, DBMS id (DB2 is 8), property flags.
  int32_t id = 0, flags = 0;
  EXPECT_EQ(0, status_of(fd, {125}));
  ASSERT_TRUE(recv_long(fd, &id));
  ASSERT_TRUE(recv_long(fd, &flags));
  EXPECT_EQ(8, id);

  // GetDbmsFunction: plain status, a count and that many strings.
  int32_t count = -1;
  EXPECT_EQ(0, status_of(fd, {167}));
  ASSERT_TRUE(recv_long(fd, &count));
  ASSERT_GT(count, 0);
  for (int32_t k = 0; k < count; ++k) ASSERT_TRUE(recv_string(fd, &user)) << k;

  // DbmsQualifyRules: plain status, the flags and the separator.
  EXPECT_EQ(0, status_of(fd, {180}));
  ASSERT_TRUE(recv_long(fd, &flags));
  ASSERT_TRUE(recv_string(fd, &user));
  EXPECT_EQ(63, flags);
  EXPECT_EQ("...", user);

  // Still in step: the time comes as the next four bytes.
  ASSERT_TRUE(send_long(fd, 43));
  ASSERT_TRUE(recv_long(fd, &server_time));
  EXPECT_LE(before - 5, server_time);
}

TEST_F(RawClient, StreamCommands) {
  int fd = open_client();
  std::vector<int32_t> spec = stream_spec(fd);
  EXPECT_EQ(kInitialFeatures, spec[8]);
  EXPECT_EQ(0, spec[7]) << "setting 8 starts at 0";

  std::vector<int32_t> four;
  EXPECT_EQ(1, create_stream(fd, &four));
  EXPECT_EQ((std::vector<int32_t>{spec[0], spec[1], spec[2], spec[9]}), four);
  EXPECT_EQ(2, create_stream(fd));
  EXPECT_EQ(0, status_of(fd, {45, 1}));
  EXPECT_EQ(-107, status_of(fd, {45, 1})) << "deleted twice";
  EXPECT_EQ(3, create_stream(fd)) << "ids are never reused";
  EXPECT_EQ(0, status_of(fd, {46, 2, 1}));
  EXPECT_EQ(-107, status_of(fd, {46, 77, 0}));
  EXPECT_EQ(0, status_of(fd, {2, 2})) << "a stream without an error";

  // Settings: zeros keep all but setting 9; order and maximum checks.
  EXPECT_EQ(0, status_of(fd, {47, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  std::vector<int32_t> kept = spec;
  kept[8] = 0;
  EXPECT_EQ(kept, stream_spec(fd));
  EXPECT_EQ(-66, status_of(fd, {47, 100, 99, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(-159, status_of(fd, {47, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(kept, stream_spec(fd)) << "refused settings change nothing";

  // The stream limit: two streams are open (2 and 3).
  for (int32_t k = 2; k < kMaxStreams; ++k) EXPECT_GT(create_stream(fd), 0) << k;
  EXPECT_EQ(-108, create_stream(fd));
  EXPECT_EQ(0, status_of(fd, {45, 3}));
  EXPECT_GT(create_stream(fd), 0) << "room again after a delete";
}

// The language part of the connect text chooses the message file; one that
// cannot be read leaves the server without messages.
TEST_F(RawClient, MessageFileFromTheLanguagePart) {
  struct Case {
    const char* connect;
    int32_t status;
  };
  const Case cases[] = {
      {"ZUL;;english.1252", 0},
      // The client's code page is the server's: no conversion, so the code
      // page of the file is not known and no file is read.
      {"ZUL;1252;english", -1011},
      {"ZUL;;klingon.1252", -1011},
      {"ZUL;1252", -1011},
  };
  for (const Case& c : cases) {
    ConnectRequest q;
    q.connect_text = c.connect;
    open_res answer;
    int fd = -1;
    ASSERT_EQ(0, instance_.connect(q, &answer, &fd)) << c.connect;
    socks_.push_back(fd);
    ASSERT_EQ(0, answer.ids[0]) << c.connect << ": " << answer.text1;
    ASSERT_TRUE(recv_bytes(fd, release_, sizeof release_));
    int32_t limits[2];
    ASSERT_TRUE(recv_bytes(fd, limits, sizeof limits));
    EXPECT_EQ(c.status, status_of(fd, {1, -1})) << c.connect;
    std::string text;
    if (c.status == 0) {
      ASSERT_TRUE(recv_string(fd, &text));
      EXPECT_EQ("general failure", text) << c.connect;
    }
    ASSERT_TRUE(send_long(fd, 23));
    EXPECT_TRUE(peer_closed(fd));
  }
}

TEST_F(RawClient, ConnectionEndsLeaveTheInstanceServing) {
  // Shutdown: nothing is sent, the server ends.
  int fd = open_client();
  ASSERT_TRUE(send_long(fd, 23));
  EXPECT_TRUE(peer_closed(fd));

  // An unknown command code ends that server after its log line.
  fd = open_client();
  ASSERT_TRUE(send_long(fd, 219));
  EXPECT_TRUE(peer_closed(fd));
  EXPECT_TRUE(wait_until([this] {
    return instance_.errlog().find("Unrecognized command code 219!  Probable client-server mismatch.\n") !=
           std::string::npos;
  })) << instance_.errlog();

  // A client that goes away in the middle of a user transaction.
  fd = open_client();
  EXPECT_EQ(0, status_of(fd, {20}));
  close(fd);
  socks_.back() = -1;

  // The next client is served, and the ended servers are gone.
  fd = open_client();
  EXPECT_EQ(0, status_of(fd, {20})) << "no transaction of the earlier client stands in the way";
  EXPECT_TRUE(wait_until([this] { return instance_.servers_running() == 1; })) << instance_.servers_running();
}

}  // namespace
