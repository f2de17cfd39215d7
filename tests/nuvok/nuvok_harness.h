// nuvok_harness.h -- plays the listener towards a real server process: a
// fresh home with the instance's shared segment (and, when asked, the
// database), the two local pipes, the start parameters, the report, and the
// client end of a socket pair that the server gets as its client socket.
#ifndef NUVOK_HARNESS_H
#define NUVOK_HARNESS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "zul_shared.h"

namespace nvtest {

constexpr const char* kAdminPw = "zulpw";

// The server's report up the pipe.
struct Report {
  int32_t status = 1;                // start status or failure code
  int32_t port1 = 0, port2 = 0, pid = 0;
  std::string user;                  // after status 0
  int32_t native = 0;                // after -51
  std::string msg, ext;
};

struct StartOptions {
  std::string connect = "ZUL";
  std::string user = "ZUL";
  std::string password = kAdminPw;
  int32_t transport = 0;             // 0 native, 1 XDR
  int32_t stream_limit = 0;
  int32_t read_only = 0;
  int32_t read_only_code = 0;
  std::vector<std::string> args;     // non-empty: these argv[1..] instead
  bool pipes = true;                 // false: pipe names that no one serves
};

class Home {
 public:
  // with_database: create database ZUL with its administrator.
  explicit Home(bool with_database);
  ~Home();
  const std::string& error() const { return error_; }
  const std::string& path() const { return home_; }
  const std::string& instance() const { return instance_; }
  std::string errlog() const;        // the server's error log so far
  std::string early_stderr() const;  // what servers wrote before their error log
 private:
  std::string home_, instance_, error_;
  SM_HANDLE* sm_ = nullptr;
};

class Server {
 public:
  Server(const Home& home, const StartOptions& options);
  ~Server();
  const Report& report() const { return report_; }
  int client() const { return client_; }
  // Waits for the process and answers its exit code (-1 when killed).
  int wait_exit();
  void close_client();
 private:
  Report report_;
  int client_ = -1;
  int pid_ = -1;
  int up_ = -1, down_ = -1;
};

std::string read_file(const std::string& path);

// Raw native items on the client socket.
bool send_long(int fd, int32_t v);
bool send_string(int fd, const std::string& s);
bool recv_long(int fd, int32_t* v);
bool recv_string(int fd, std::string* s);
bool recv_bytes(int fd, void* buf, size_t n);
// True when the peer has closed (reads end of data within a few seconds).
bool peer_closed(int fd);

}  // namespace nvtest

#endif
