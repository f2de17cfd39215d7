// The listener connection: service and port choice, the attempts rule,
// request and command frames byte for byte, answers in both forms and the
// refusals, and the small helpers around them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zul_conn.h"
#include "zul_xdr.h"
#include "zulos.h"

namespace {

// connect() stand-in: records the port and fails with the queued errors;
// succeeds (on a socket nobody reads) once the queue is empty.
std::vector<int> g_errors;
std::vector<int> g_ports;
int fake_connect(int, const struct sockaddr* addr, socklen_t) {
  g_ports.push_back(ntohs(reinterpret_cast<const sockaddr_in*>(addr)->sin_port));
  if (g_errors.empty()) return 0;
  errno = g_errors.front();
  g_errors.erase(g_errors.begin());
  return -1;
}

class Conn : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("ZULINSTANCE");
    unsetenv("ZULATTEMPTS");
    g_errors.clear();
    g_ports.clear();
  }
  void TearDown() override {
    zulos_syscalls_reset();
    unsetenv("ZULINSTANCE");
    unsetenv("ZULATTEMPTS");
  }
};

std::vector<uint8_t> drain(int fd, size_t n) {
  std::vector<uint8_t> b(n);
  size_t got = 0;
  while (got < n) {
    ssize_t r = read(fd, b.data() + got, n - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  b.resize(got);
  return b;
}

void put_be(std::vector<uint8_t>& b, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(u >> s));
}

TEST_F(Conn, ServiceChoiceAndPortFallback) {
  struct Case {
    const char* arg;
    const char* env;
    int32_t rc;
    int port;  // the port tried, 0 when none
  } cases[] = {
      {nullptr, nullptr, 0, SES_DEFAULT_PORT},             // the default name is not known
      {"", nullptr, 0, SES_DEFAULT_PORT},
      {"no_such_zul_service", nullptr, SES_SERVICE_NOT_FOUND, 0},
      {nullptr, "no_such_zul_service", SES_SERVICE_NOT_FOUND, 0},
      {nullptr, "port:7001", 0, 7001},
      {"7002", "port:7001", 0, 7002},                      // the argument wins
  };
  zulos_sys.connect = fake_connect;
  for (const Case& c : cases) {
    g_ports.clear();
    if (c.env) setenv("ZULINSTANCE", c.env, 1); else unsetenv("ZULINSTANCE");
    int sock = -1;
    EXPECT_EQ(c.rc, SES_connect_to_iomgr("127.0.0.1", c.arg, &sock)) << (c.arg ? c.arg : "(null)");
    if (c.port) {
      ASSERT_EQ(1u, g_ports.size());
      EXPECT_EQ(c.port, g_ports[0]);
      close(sock);
    } else {
      EXPECT_TRUE(g_ports.empty());
      EXPECT_EQ(-1, sock);
    }
  }
}

TEST_F(Conn, AttemptsRule) {
  struct Case {
    const char* attempts;
    std::vector<int> errors;
    int32_t rc;
    size_t tries;
    bool connect_message;
  } cases[] = {
      {nullptr, {ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT}, -1, 4, true},
      {"0", {ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT}, -1, 4, true},
      {"-3", {ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT, ETIMEDOUT}, -1, 4, true},
      {"0x10", std::vector<int>(20, ETIMEDOUT), -1, 16, true},
      {"010", std::vector<int>(20, ETIMEDOUT), -1, 8, true},
      {"9", {ECONNREFUSED}, SES_CONNECT_REFUSED, 1, false},
      {"9", {ETIMEDOUT, ECONNRESET}, SES_CONNECT_REFUSED, 2, false},
      {nullptr, {ETIMEDOUT, EINTR, ETIMEDOUT}, 0, 4, false},  // the fourth try connects
      {nullptr, {EHOSTUNREACH}, -1, 1, true},
  };
  zulos_sys.connect = fake_connect;
  for (const Case& c : cases) {
    if (c.attempts) setenv("ZULATTEMPTS", c.attempts, 1); else unsetenv("ZULATTEMPTS");
    g_errors = c.errors;
    g_ports.clear();
    int sock = -1;
    testing::internal::CaptureStderr();
    int32_t rc = SES_connect_to_iomgr("127.0.0.1", "port:7003", &sock);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.rc, rc) << (c.attempts ? c.attempts : "default");
    EXPECT_EQ(c.tries, g_ports.size()) << (c.attempts ? c.attempts : "default");
    EXPECT_EQ(c.connect_message, err.find("CONNECT: errno = ") != std::string::npos) << err;
    if (rc == 0) close(sock); else EXPECT_EQ(-1, sock);
  }
}

TEST_F(Conn, RealRefusalAndHostLookup) {
  // A loopback port nobody listens on.
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ASSERT_EQ(0, bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_EQ(0, getsockname(s, reinterpret_cast<sockaddr*>(&a), &n));
  close(s);
  std::string service = "port:" + std::to_string(ntohs(a.sin_port));
  int sock = -1;
  EXPECT_EQ(SES_CONNECT_REFUSED, SES_connect_to_iomgr("127.0.0.1", service.c_str(), &sock));
  EXPECT_EQ(SES_CONNECT_REFUSED, SES_ping_iomgr("localhost", service.c_str()));
  EXPECT_EQ(SES_HOST_NOT_FOUND, SES_connect_to_iomgr("no-such-host.invalid", service.c_str(), &sock));

  sockaddr_in out;
  int32_t len = 0;
  ASSERT_EQ(0, SES_make_inet_socket_addr(htons(99), "127.0.0.1", &out, &len));
  EXPECT_EQ(16, len);
  EXPECT_EQ(AF_INET, out.sin_family);
  EXPECT_EQ(htons(99), out.sin_port);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), out.sin_addr.s_addr);
}

TEST_F(Conn, CommandFramesByteForByte) {
  for (int32_t command : {0, 606}) {
    int sv[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, sv));
    ASSERT_EQ(0, SES_iomgr_command(sv[0], command));
    std::vector<uint8_t> want;
    put_be(want, 32);   // the request: id, three texts, value, two texts, release
    put_be(want, -1);
    for (int i = 0; i < 6; ++i) put_be(want, 0);
    put_be(want, command == 606 ? 83001 : 83002);
    EXPECT_EQ(want, drain(sv[1], want.size())) << command;
    // The command word, as the listener reads it.
    int32_t got = -7;
    EXPECT_EQ(0, SES_get_admin_command(sv[1], &got));
    EXPECT_EQ(command, got);
    close(sv[0]);
    EXPECT_EQ(SE_NET_FAILURE, SES_get_admin_command(sv[1], &got));
    close(sv[1]);
  }
}

TEST_F(Conn, RequestThatDoesNotFitIsNotSent) {
  int sv[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, sv));
  std::string t(256, 'x');
  req4io r;
  r.id = 1;
  r.text1 = r.text2 = r.text3 = &t[0];
  r.value1 = 0;
  r.user.name1 = r.user.name2 = &t[0];
  r.value2 = 83002;
  EXPECT_EQ(-1, SES_send_xdr_request(sv[0], &r));
  char byte;
  EXPECT_EQ(-1, recv(sv[1], &byte, 1, MSG_DONTWAIT));
  close(sv[0]);
  close(sv[1]);
}

// Writes an answer frame: the length word and body.
void send_frame(int fd, int32_t len, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> b;
  put_be(b, len);
  b.insert(b.end(), body.begin(), body.end());
  ASSERT_EQ(static_cast<ssize_t>(b.size()), write(fd, b.data(), b.size()));
}

TEST_F(Conn, AnswersInBothFormsAndRefusals) {
  // The full answer, encoded by the record encoder.
  open_res full;
  memset(&full, 0, sizeof full);
  for (int i = 0; i < 3; ++i) full.ids[i] = 10 + i;
  full.value = 13;
  for (int i = 0; i < 7; ++i) full.values[i] = 20 + i;
  strcpy(full.text1, "message");
  strcpy(full.text2, "extended");
  std::vector<uint8_t> body(SES_ANSWER_MAX);
  XDR x;
  xdrmem_create(&x, reinterpret_cast<char*>(body.data()), SES_ANSWER_MAX, XDR_ENCODE);
  ASSERT_TRUE(xdr_open_res(&x, &full));
  body.resize(xdr_getpos(&x));
  xdr_destroy(&x);

  // The older answer: nine integers.
  auto old_answer = [](int32_t status) {
    std::vector<uint8_t> b;
    put_be(b, status);
    for (int i = 1; i < 9; ++i) put_be(b, 100 + i);
    return b;
  };

  struct Case {
    const char* what;
    int32_t len;
    std::vector<uint8_t> body;
    int32_t rc;
  } cases[] = {
      {"full", static_cast<int32_t>(body.size()), body, 0},
      {"old, status -5", 36, old_answer(-5), 0},
      {"old, status -51", 36, old_answer(-51), 0},
      {"refusal", 1, {0xAB, 0, 0, 0, 7}, SE_INVALID_RELEASE},
      {"too long", 1069, {}, -1},
      {"short body", 40, old_answer(0), SE_NET_FAILURE},
      {"neither form", 8, {0, 0, 0, 1, 0, 0, 0, 2}, -1},
  };
  for (const Case& c : cases) {
    int sv[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, sv));
    send_frame(sv[1], c.len, c.body);
    if (c.rc == SE_NET_FAILURE) shutdown(sv[1], SHUT_WR);
    open_res got;
    memset(&got, 0, sizeof got);
    got.values[6] = 77;
    strcpy(got.text1, "kept?");
    strcpy(got.text2, "kept too?");
    EXPECT_EQ(c.rc, SES_retrieve_xdr_result(sv[0], &got)) << c.what;
    std::string what = c.what;
    if (what == "full") {
      EXPECT_EQ(0, memcmp(&full, &got, sizeof got));
    } else if (what.rfind("old", 0) == 0) {
      int32_t status = what == "old, status -5" ? -5 : -51;
      EXPECT_EQ(status, got.ids[0]);
      EXPECT_EQ(101, got.ids[1]);
      EXPECT_EQ(103, got.value);
      EXPECT_EQ(108, got.values[4]);
      EXPECT_EQ(status, got.values[5]);
      EXPECT_EQ(status == -51 ? 77 : 0, got.values[6]);
      EXPECT_STREQ(status == -51 ? "kept?" : "", got.text1);
      EXPECT_STREQ(status == -51 ? "kept too?" : "", got.text2);
    } else if (what == "refusal") {
      // Nothing after the length word was read.
      EXPECT_EQ((std::vector<uint8_t>{0xAB, 0, 0, 0, 7}), drain(sv[0], 5));
    }
    close(sv[0]);
    close(sv[1]);
  }
}

TEST_F(Conn, ListenerStartChecksAndInheritableSocket) {
  char tmpl[] = "/tmp/zcnXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  std::string home = tmpl;
  EXPECT_EQ(SES_HOME_MISSING, SES_start_iomgr((home + "/none").c_str(), "pw", nullptr));
  EXPECT_EQ(SES_LISTENER_MISSING, SES_start_iomgr(home.c_str(), "pw", nullptr));
  ASSERT_EQ(0, mkdir((home + "/bin").c_str(), 0700));
  ASSERT_EQ(0, mkdir((home + "/bin/orvant").c_str(), 0700));   // not a regular file
  EXPECT_EQ(SES_LISTENER_MISSING, SES_start_iomgr(home.c_str(), "pw", nullptr));
  rmdir((home + "/bin/orvant").c_str());
  rmdir((home + "/bin").c_str());
  rmdir(home.c_str());

  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(s, 0);
  int before = s;
  ASSERT_EQ(0, SES_make_socket_inheritable(&s));
  EXPECT_NE(before, s);
  EXPECT_EQ(0, fcntl(s, F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(-1, fcntl(before, F_GETFD));
  close(s);
  int bad = 100000;
  EXPECT_EQ(SE_NET_FAILURE, SES_make_socket_inheritable(&bad));
}

}  // namespace
