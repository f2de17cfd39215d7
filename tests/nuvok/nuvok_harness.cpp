// nuvok_harness.cpp -- the listener's side of a server start, for the
// server program's tests (nuvok_harness.h).
#include "nuvok_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "os_pipe.h"
#include "zul_local_io.h"

namespace nvtest {

namespace {
int g_serial = 0;

std::string run(const std::string& cmd) {
  std::string full = cmd + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (p == nullptr) return "popen failed";
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
  return pclose(p) == 0 ? "" : cmd + ": " + out;
}
}  // namespace

Home::Home(bool with_database) {
  char tmpl[] = "/tmp/zul_nuvok_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) {
    error_ = "mkdtemp";
    return;
  }
  home_ = tmpl;
  std::filesystem::create_directories(home_ + "/etc");
  std::filesystem::create_directories(home_ + "/data");
  std::filesystem::create_directories(home_ + "/run");
  setenv("ZULHOME", home_.c_str(), 1);
  unsetenv("DB2LITE_DATA");
  unsetenv("ZUL_DATABASE");
  instance_ = "nv" + std::to_string(getpid()) + "_" + std::to_string(++g_serial);
  if (with_database) {
    error_ = run(std::string(ZUL_BIN_DIR) + "/db2lite-admin create ZUL " + kAdminPw);
    if (!error_.empty()) return;
  }
  int32_t rc = SM_master_create(nullptr, instance_.c_str(), nullptr, 8, 64, 64, 64, 16, 16, 16, 64, nullptr, &sm_);
  if (rc != 0) error_ = "SM_master_create " + std::to_string(rc);
}

Home::~Home() {
  if (sm_ != nullptr) SM_master_destroy(sm_);
  std::error_code ec;
  if (!home_.empty()) std::filesystem::remove_all(home_, ec);
}

std::string Home::errlog() const { return read_file(home_ + "/etc/zul.errlog"); }

std::string Home::early_stderr() const { return read_file(home_ + "/stderr.txt"); }

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Server::Server(const Home& home, const StartOptions& o) {
  std::string tag = std::to_string(getpid()) + "_" + std::to_string(++g_serial);
  std::string up_name = "nvup_" + tag, down_name = "nvdown_" + tag;
  if (o.pipes) {
    up_ = zulos_pipe_create(up_name.c_str());
    down_ = zulos_pipe_create(down_name.c_str());
  }
  int sv[2] = {-1, -1};
  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv);
  client_ = sv[0];
  const int kServerFd = 20;
  std::vector<std::string> args = o.args;
  if (args.empty()) {
    args = {home.instance(), "client-x", o.connect, o.user, "0_" + home.instance(), "no_stop_" + tag,
            up_name, down_name};
  }
  std::string program = std::string(ZUL_BIN_DIR) + "/nuvok";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(sv[1], kServerFd);   // dup2 clears close-on-exec
    int err = open((home.path() + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (err >= 0) dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("nuvok"));
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(sv[1]);
  if (!o.pipes || !o.args.empty() || pid_ < 0) return;
  if (zulos_pipe_connect(down_, 10000) != 0 || zulos_pipe_connect(up_, 10000) != 0) return;
  auto L = [this](int32_t v) { return LO_write_long(down_, v) == 0; };
  auto S = [this](const std::string& t) { return LO_write_string(down_, t.c_str()) == 0; };
  auto H = [this](int16_t v) { return LO_write_short(down_, v) == 0; };
  bool sent = S(o.password) && L(1) && L(o.transport) && L(4096) && L(65536) && L(32) && L(30) &&
              S(home.path()) && S("UNUSED") && S("/tmp") && L(1000000) && L(65536) && L(65536) && L(0) &&
              L(0) && L(20) && L(o.stream_limit) && L(64) && L(16) && L(8) && L(1024) && L(100) && L(4) &&
              L(0) && L(kServerFd) && S("udata") && H(0) && H(static_cast<int16_t>(o.read_only)) &&
              L(o.read_only_code);
  if (!sent) return;
  if (LO_read_long(up_, &report_.status) != 0) {
    report_.status = 1;
    return;
  }
  if (report_.status == 0) {
    char user[256];
    if (LO_read_long(up_, &report_.port1) == 0 && LO_read_long(up_, &report_.port2) == 0 &&
        LO_read_long(up_, &report_.pid) == 0 && LO_read_string(up_, user, sizeof user) == 0)
      report_.user = user;
  } else if (report_.status == -51) {
    char msg[4096], ext[4096];
    if (LO_read_long(up_, &report_.native) == 0 && LO_read_string(up_, msg, sizeof msg) == 0 &&
        LO_read_string(up_, ext, sizeof ext) == 0) {
      report_.msg = msg;
      report_.ext = ext;
    }
  }
}

Server::~Server() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close_client();
  zulos_pipe_close(up_);
  zulos_pipe_close(down_);
}

int Server::wait_exit() {
  if (pid_ <= 0) return -1;
  int status = 0;
  for (int waited = 0; waited < 30000; waited += 20) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    usleep(20000);
  }
  return -2;
}

void Server::close_client() {
  if (client_ >= 0) close(client_);
  client_ = -1;
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

bool send_long(int fd, int32_t v) { return write(fd, &v, 4) == 4; }

bool send_string(int fd, const std::string& s) {
  int32_t len = static_cast<int32_t>(s.size()) + 1;
  return send_long(fd, len) && write(fd, s.c_str(), s.size() + 1) == static_cast<ssize_t>(s.size() + 1);
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

}  // namespace nvtest
