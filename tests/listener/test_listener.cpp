// The listener as a real process on loopback: a client gets its own server
// with the nine arguments and every start parameter, and that server holds
// the client's socket under the number parameter 26 names and no other
// descriptor of the listener's (clients in a row, each through the same
// local pipes made afresh), a failing server's
// report reaches the client, a killed server's locks and process record go,
// the administrative commands answer, and bad requests are refused while the
// listener goes on serving. The server is a small stand-in (fake_nuvok).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "orvant.h"
#include "zul_channel.h"
#include "zul_conn.h"
#include "zul_shared.h"
#include "zul_xdr.h"

namespace {

const char kHost[] = "127.0.0.1";

bool wait_until(const std::function<bool()>& done, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    usleep(20000);
  }
  return done();
}

int free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

struct Request {
  std::string connect_text = "ZULDB;1252";
  std::string user = "alice";
  std::string password = "secret";
  int32_t transport = 1;
  std::string client = "client-x";
  std::string user_data = "udata";
};

class Listener : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zlsXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    ASSERT_EQ(0, mkdir((home_ + "/etc").c_str(), 0700));
    instance_ = "lt" + std::to_string(getpid());
    service_ = "port:" + std::to_string(free_port());
    std::string program = std::string(ZUL_BIN_DIR) + "/listener_fake_nuvok";
    std::string orvant = std::string(ZUL_BIN_DIR) + "/orvant";
    ASSERT_EQ(0, access(orvant.c_str(), X_OK)) << "build the orvant target first";
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      setenv("ZULHOME", home_.c_str(), 1);
      execl(orvant.c_str(), "orvant", "-i", instance_.c_str(), "-s", service_.c_str(), "-p", program.c_str(), "-q",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(wait_until([this] { return SES_ping_iomgr(kHost, service_.c_str()) == 0; })) << "no listener";
  }
  void TearDown() override {
    if (pid_ > 0) {
      int sock = -1;
      if (SES_connect_to_iomgr(kHost, service_.c_str(), &sock) == 0) {
        SES_iomgr_command(sock, ORVANT_CMD_SHUTDOWN);
        close(sock);
      }
      int status = 0;
      bool ended = wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
      if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        ADD_FAILURE() << "the listener did not shut down";
      } else {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      }
    }
    std::string cmd = "rm -rf " + home_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup of " << home_;
  }

  // Sends a connect request and reads the answer; the socket stays open.
  int32_t connect_server(const Request& q, open_res* answer, int* sock) {
    int32_t rc = SES_connect_to_iomgr(kHost, service_.c_str(), sock);
    if (rc != 0) return rc;
    req4io r;
    r.id = 0;
    r.text1 = const_cast<char*>(q.connect_text.c_str());
    r.text2 = const_cast<char*>(q.user.c_str());
    r.text3 = const_cast<char*>(q.password.c_str());
    r.value1 = q.transport;
    r.user.name1 = const_cast<char*>(q.client.c_str());
    r.user.name2 = const_cast<char*>(q.user_data.c_str());
    r.value2 = SES_RELEASE_NUMBER;
    rc = SES_send_xdr_request(*sock, &r);
    if (rc != 0) return rc;
    memset(answer, 0, sizeof *answer);
    return SES_retrieve_xdr_result(*sock, answer);
  }

  // The text the fake server sends on its client socket.
  static std::string server_text(int sock) {
    int32_t len = 0;
    if (CH_readn(sock, &len, 4) != 4 || len <= 0 || len > 65536) return "";
    std::string t(static_cast<size_t>(len), '\0');
    return CH_readn(sock, &t[0], len) == len ? t : "";
  }

  // An administrative command with an answer: the answer's body.
  std::vector<char> command(int32_t cmd) {
    int sock = -1;
    std::vector<char> body;
    if (SES_connect_to_iomgr(kHost, service_.c_str(), &sock) != 0) return body;
    char head[4];
    if (SES_iomgr_command(sock, cmd) == 0 && CH_readn(sock, head, 4) == 4) {
      int32_t len = static_cast<int32_t>(ntohl(*reinterpret_cast<uint32_t*>(head)));
      if (len > 0 && len <= ORVANT_ANSWER_MAX) {
        body.resize(static_cast<size_t>(len));
        if (CH_readn(sock, body.data(), len) != len) body.clear();
      }
    }
    close(sock);
    return body;
  }

  int32_t running_servers() {
    std::vector<char> b = command(ORVANT_CMD_STATUS);
    SE_INSTANCE_STATUS s;
    XDR x;
    xdrmem_create(&x, b.data(), static_cast<u_int>(b.size()), XDR_DECODE);
    bool ok = xdr_SE_INSTANCE_STATUS(&x, &s);
    xdr_destroy(&x);
    return ok ? s.value1 : -1;
  }

  std::string home_, instance_, service_;
  pid_t pid_ = -1;
};

TEST_F(Listener, ClientGetsItsServerWithArgumentsAndParameters) {
  struct Case {
    Request q;
    std::string args_tail;    // arguments 1 to 5
    std::string params_head;  // start parameters 1 to 3
    std::string params_27;    // start parameter 27
  };
  Request plain;
  Request empty;
  empty.user = "";
  empty.password = "";
  empty.user_data = "";
  empty.transport = 0;
  std::vector<Case> cases = {
      {plain, "|client-x|ZULDB;1252|alice|0_", "1=secret;2=1;3=1;", "27=udata;"},
      {empty, "|client-x|ZULDB;1252|null=user|0_", "1=null=password;2=1;3=0;", "27=null=user;"},
  };
  // Twice over: every start after the first shows that the pipes serve again.
  std::set<int32_t> servers;
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      open_res a;
      int sock = -1;
      ASSERT_EQ(0, connect_server(c.q, &a, &sock));
      EXPECT_EQ(0, a.ids[0]) << a.text1;
      EXPECT_EQ(-1, a.ids[1]);
      EXPECT_EQ(0, a.ids[2]);
      EXPECT_GT(a.value, 0);
      EXPECT_EQ(1, a.values[0]);
      EXPECT_EQ(c.q.transport, a.values[1]);
      EXPECT_STREQ(c.q.user.empty() ? "null=user" : c.q.user.c_str(), a.text1);

      servers.insert(a.value);

      std::string t = server_text(sock);
      // The server's only descriptor beyond 0 to 2 is the client socket, and
      // parameter 26 is its number (the text came back on it). The socket
      // carries no receive time-out of the listener's.
      ASSERT_EQ(0u, t.find("wait=0;fds=")) << t;
      t = t.substr(7);
      std::string fds = t.substr(4, t.find(';') - 4);
      size_t p26 = t.find(";26=");
      ASSERT_NE(std::string::npos, p26) << t;
      std::string param26 = t.substr(p26 + 4, t.find(';', p26 + 1) - p26 - 4);
      EXPECT_EQ(param26, fds) << t;
      EXPECT_GT(atoi(param26.c_str()), 2) << t;
      std::string args = ";args=" + instance_ + c.args_tail + instance_ + "|ZUL_stop_semaphore_";
      EXPECT_EQ(t.find(';'), t.find(args)) << t;
      EXPECT_NE(std::string::npos, t.find("|\\\\.\\pipe\\zul_client_to_server_FIFO_" + instance_ +
                                          "|\\\\.\\pipe\\zul_server_to_client_FIFO_" + instance_ + ";"))
          << t;
      size_t p = t.find(";params=");
      ASSERT_NE(std::string::npos, p) << t;
      std::string params = t.substr(p + 8);
      EXPECT_EQ(0u, params.find(c.params_head)) << params;
      for (const std::string& item : {std::string(";9=") + home_ + ";", std::string(";11=/tmp;"),
                                      ";" + c.params_27, std::string(";28=0;29=0;30=-25;")})
        EXPECT_NE(std::string::npos, params.find(item)) << item << " in " << params;
      // 29 parameters: 1 to 30 without 7.
      EXPECT_EQ(29, std::count(params.begin(), params.end(), ';')) << params;
      close(sock);
    }
  }
  EXPECT_EQ(4u, servers.size()) << "each client has a server of its own";
  EXPECT_TRUE(wait_until([this] { return running_servers() == 0; }));
}

TEST_F(Listener, FailingServerReportReachesTheClient) {
  struct Case {
    const char* mode;
    int32_t status;
    int32_t native;
    const char* message;
    const char* extended;
  } cases[] = {
      {"fail", -51, -911, "connect refused", "SQLSTATE=08004"},
      {"silent", -1, 0, "server start-up failed", ""},
  };
  for (const Case& c : cases) {
    Request q;
    q.connect_text = c.mode;
    open_res a;
    int sock = -1;
    ASSERT_EQ(0, connect_server(q, &a, &sock)) << c.mode;
    EXPECT_EQ(c.status, a.ids[0]) << c.mode;
    EXPECT_EQ(c.status, a.values[5]) << c.mode;
    EXPECT_EQ(c.native, a.values[6]) << c.mode;
    EXPECT_STREQ(c.message, a.text1) << c.mode;
    EXPECT_STREQ(c.extended, a.text2) << c.mode;
    close(sock);
  }
  // The listener goes on serving.
  open_res a;
  int sock = -1;
  ASSERT_EQ(0, connect_server(Request(), &a, &sock));
  EXPECT_EQ(0, a.ids[0]) << a.text1;
  close(sock);
}

int32_t count_area(void* user, const AREA_LOCK*) { return ++*static_cast<int*>(user), 0; }
int32_t count_table(void* user, const SM_TABLE_LOCK*) { return ++*static_cast<int*>(user), 0; }

TEST_F(Listener, KilledServerLosesItsLocksAndProcessRecord) {
  Request q;
  q.connect_text = "lock";
  open_res a;
  int sock = -1;
  ASSERT_EQ(0, connect_server(q, &a, &sock));
  ASSERT_EQ(0, a.ids[0]) << a.text1;
  ASSERT_NE("", server_text(sock));
  int32_t server = a.value;

  SM_HANDLE* sm = nullptr;
  ASSERT_EQ(0, SM_server_open(nullptr, instance_.c_str(), nullptr, 0, nullptr, &sm));
  auto locks = [sm] {
    int n = 0;
    SM_locks_find_on_layer(sm, 7, 1, count_area, &n);
    SM_locks_find_on_table(sm, 3, 1, count_table, &n);
    return n;
  };
  EXPECT_NE(nullptr, SM_pinfo_find(sm, server));
  EXPECT_EQ(2, locks());
  EXPECT_EQ(1, running_servers());

  ASSERT_EQ(0, kill(server, SIGKILL));
  EXPECT_TRUE(wait_until([&] { return SM_pinfo_find(sm, server) == nullptr; }));
  EXPECT_EQ(0, locks());
  EXPECT_TRUE(wait_until([this] { return running_servers() == 0; }));
  SM_server_close(sm);
  close(sock);
}

TEST_F(Listener, AdministrativeCommandsAnswer) {
  open_res a;
  int sock = -1;
  ASSERT_EQ(0, connect_server(Request(), &a, &sock));
  ASSERT_EQ(0, a.ids[0]);

  std::vector<char> b = command(ORVANT_CMD_CONFIG);
  SE_INSTANCE_CONFIG c;
  memset(&c, 0, sizeof c);
  XDR x;
  xdrmem_create(&x, b.data(), static_cast<u_int>(b.size()), XDR_DECODE);
  EXPECT_TRUE(xdr_SE_INSTANCE_CONFIG(&x, &c));
  xdr_destroy(&x);
  EXPECT_EQ(home_, c.home_path);
  EXPECT_GT(c.max_connections, 0);

  b = command(ORVANT_CMD_STATUS);
  SE_INSTANCE_STATUS s;
  xdrmem_create(&x, b.data(), static_cast<u_int>(b.size()), XDR_DECODE);
  EXPECT_TRUE(xdr_SE_INSTANCE_STATUS(&x, &s));
  xdr_destroy(&x);
  EXPECT_EQ(83002, s.release.release);
  EXPECT_EQ(1, s.value1);
  EXPECT_EQ(c.max_connections, s.value2);

  b = command(ORVANT_CMD_USERS);
  xdrmem_create(&x, b.data(), static_cast<u_int>(b.size()), XDR_DECODE);
  int32_t n = 0;
  SE_INSTANCE_USER u;
  memset(&u, 0, sizeof u);
  EXPECT_TRUE(xdr_int(&x, &n) && n == 1 && xdr_SE_INSTANCE_USER(&x, &u));
  xdr_destroy(&x);
  EXPECT_EQ(a.value, u.value1);
  EXPECT_STREQ("alice", u.name1);
  EXPECT_STREQ("client-x", u.name2);
  EXPECT_STREQ("127.0.0.1", u.name3);

  // An unknown command is refused.
  int cs = -1;
  ASSERT_EQ(0, SES_connect_to_iomgr(kHost, service_.c_str(), &cs));
  ASSERT_EQ(0, SES_iomgr_command(cs, 77));
  open_res r;
  EXPECT_EQ(SE_INVALID_RELEASE, SES_retrieve_xdr_result(cs, &r));
  close(cs);
  close(sock);
}

TEST_F(Listener, BadRequestsAreRefusedAndServingGoesOn) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int32_t rc;   // of reading the answer
  } cases[] = {
      {"length above 1024", {0, 0, 0x13, 0x88}, SE_INVALID_RELEASE},
      {"negative length", {0xFF, 0xFF, 0xFF, 0xF0}, SE_INVALID_RELEASE},
      {"body that is no request", {0, 0, 0, 8, 0, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0xFF}, SE_INVALID_RELEASE},
      {"request with bytes left over", {0, 0, 0, 36, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9},
       SE_INVALID_RELEASE},
      {"client that leaves at once", {}, SE_NET_FAILURE},
  };
  for (const Case& c : cases) {
    int sock = -1;
    ASSERT_EQ(0, SES_connect_to_iomgr(kHost, service_.c_str(), &sock));
    if (!c.bytes.empty()) {
      ASSERT_EQ(static_cast<ssize_t>(c.bytes.size()), write(sock, c.bytes.data(), c.bytes.size()));
    }
    shutdown(sock, SHUT_WR);
    open_res r;
    EXPECT_EQ(c.rc, SES_retrieve_xdr_result(sock, &r)) << c.what;
    close(sock);
    EXPECT_EQ(0, SES_ping_iomgr(kHost, service_.c_str())) << c.what;
  }
  // A request the listener can read but not serve gets a status.
  Request q;
  q.transport = 7;
  open_res a;
  int sock = -1;
  ASSERT_EQ(0, connect_server(q, &a, &sock));
  EXPECT_EQ(SE_INVALID_PARAM, a.ids[0]);
  close(sock);
  ASSERT_EQ(0, connect_server(Request(), &a, &sock));
  EXPECT_EQ(0, a.ids[0]) << a.text1;
  close(sock);
}

}  // namespace
