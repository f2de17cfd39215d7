// e2e_instance.cpp -- a fresh instance with a real listener for the
// end-to-end tests (e2e_instance.h).
#include "e2e_instance.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "orvant.h"
#include "zul_channel.h"
#include "zul_locks.h"
#include "zul_xdr.h"

namespace e2e {

namespace {

bool wait_until(const std::function<bool()>& done, int ms = 20000) {
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

std::string run(const std::string& cmd) {
  std::string full = cmd + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (p == nullptr) return "popen failed";
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
  return pclose(p) == 0 ? "" : cmd + ": " + out;
}

int g_serial = 0;

}  // namespace

Instance::Instance() {
  char tmpl[] = "/tmp/zul_e2e_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) {
    error_ = "mkdtemp";
    return;
  }
  home_ = tmpl;
  std::error_code ec;
  std::filesystem::copy(std::string(ZUL_SOURCE_DIR) + "/etc/zulhome", home_,
                        std::filesystem::copy_options::recursive, ec);
  if (ec) {
    error_ = "copying the home template: " + ec.message();
    return;
  }
  std::filesystem::create_directories(home_ + "/run");
  std::filesystem::create_directories(home_ + "/data");
  setenv("ZULHOME", home_.c_str(), 1);
  unsetenv("DB2LITE_DATA");
  unsetenv("ZUL_DATABASE");
  std::string admin = std::string(ZUL_BIN_DIR) + "/db2lite-admin ";
  error_ = run(admin + "create ZUL " + kAdminPw);
  if (error_.empty()) error_ = run(admin + "adduser ZUL " + kUser + " " + kUserPw);
  if (!error_.empty()) return;

  instance_ = "e2e" + std::to_string(getpid()) + "_" + std::to_string(++g_serial);
  port_ = free_port();
  service_ = "port:" + std::to_string(port_);
  std::string orvant = std::string(ZUL_BIN_DIR) + "/orvant";
  std::string nuvok = std::string(ZUL_BIN_DIR) + "/nuvok";
  if (access(orvant.c_str(), X_OK) != 0 || access(nuvok.c_str(), X_OK) != 0) {
    error_ = "build the orvant and nuvok targets first";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    execl(orvant.c_str(), "orvant", "-i", instance_.c_str(), "-s", service_.c_str(), "-p", nuvok.c_str(), "-q",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0 || !wait_until([this] { return SES_ping_iomgr(kHost, service_.c_str()) == 0; }))
    error_ = "the listener did not come up";
}

Instance::~Instance() {
  if (pid_ > 0) {
    int sock = -1;
    if (SES_connect_to_iomgr(kHost, service_.c_str(), &sock) == 0) {
      SES_iomgr_command(sock, ORVANT_CMD_SHUTDOWN);
      close(sock);
    }
    int status = 0;
    if (!wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  std::error_code ec;
  if (!home_.empty()) std::filesystem::remove_all(home_, ec);
}

std::string Instance::errlog() const {
  std::ifstream in(home_ + "/etc/zul.errlog");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int32_t Instance::connect(const ConnectRequest& q, open_res* answer, int* sock) {
  int32_t rc = SES_connect_to_iomgr(kHost, service_.c_str(), sock);
  if (rc != 0) return rc;
  req4io r;
  memset(&r, 0, sizeof r);
  r.id = 0;
  r.text1 = const_cast<char*>(q.connect_text.c_str());
  r.text2 = const_cast<char*>(q.user.c_str());
  r.text3 = const_cast<char*>(q.password.c_str());
  r.value1 = q.transport;
  r.user.name1 = const_cast<char*>(q.client.c_str());
  r.user.name2 = const_cast<char*>(q.user_data.c_str());
  r.value2 = SE_RELEASE_NUMBER;
  rc = SES_send_xdr_request(*sock, &r);
  if (rc != 0) return rc;
  memset(answer, 0, sizeof *answer);
  return SES_retrieve_xdr_result(*sock, answer);
}

int32_t Instance::servers_running() {
  int sock = -1;
  if (SES_connect_to_iomgr(kHost, service_.c_str(), &sock) != 0) return -1;
  std::vector<char> body;
  char head[4];
  if (SES_iomgr_command(sock, ORVANT_CMD_STATUS) == 0 && CH_readn(sock, head, 4) == 4) {
    uint32_t word;
    memcpy(&word, head, 4);
    int32_t len = static_cast<int32_t>(ntohl(word));
    if (len > 0 && len <= ORVANT_ANSWER_MAX) {
      body.resize(static_cast<size_t>(len));
      if (CH_readn(sock, body.data(), len) != len) body.clear();
    }
  }
  close(sock);
  if (body.empty()) return -1;
  SE_INSTANCE_STATUS s;
  XDR x;
  xdrmem_create(&x, body.data(), static_cast<u_int>(body.size()), XDR_DECODE);
  bool ok = xdr_SE_INSTANCE_STATUS(&x, &s);
  xdr_destroy(&x);
  return ok ? s.value1 : -1;
}

bool recv_bytes(int fd, void* buf, size_t n) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    pollfd pf = {fd, POLLIN, 0};
    if (poll(&pf, 1, 10000) <= 0) return false;
    ssize_t got = read(fd, p, n);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool send_long(int fd, int32_t v) { return send(fd, &v, 4, MSG_NOSIGNAL) == 4; }

bool send_string(int fd, const std::string& s) {
  int32_t len = static_cast<int32_t>(s.size()) + 1;
  return send_long(fd, len) &&
         send(fd, s.c_str(), s.size() + 1, MSG_NOSIGNAL) == static_cast<ssize_t>(s.size() + 1);
}

bool recv_long(int fd, int32_t* v) { return recv_bytes(fd, v, 4); }

bool recv_string(int fd, std::string* s) {
  int32_t len = 0;
  if (!recv_long(fd, &len) || len < 0 || len > 65536) return false;
  std::string t(static_cast<size_t>(len), '\0');
  if (len > 0 && !recv_bytes(fd, &t[0], static_cast<size_t>(len))) return false;
  if (!t.empty() && t.back() == '\0') t.pop_back();
  *s = t;
  return true;
}

bool peer_closed(int fd) {
  pollfd pf = {fd, POLLIN, 0};
  if (poll(&pf, 1, 10000) <= 0) return false;
  char c;
  return read(fd, &c, 1) == 0;
}

}  // namespace e2e
