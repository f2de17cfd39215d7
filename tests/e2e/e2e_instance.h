// e2e_instance.h -- a fresh instance for end-to-end tests: a temporary
// $ZULHOME made from the checkout's template (etc/zulhome), a db2lite
// database ZUL with its administrator and one ordinary user, and a real
// listener (bin/orvant) on a free loopback port that starts real servers
// (bin/nuvok). Also the listener's connect request, and raw native items
// for tests that talk the command protocol byte by byte.
#ifndef E2E_INSTANCE_H
#define E2E_INSTANCE_H

#include <stdint.h>

#include <string>

#include "zul_conn.h"

namespace e2e {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kAdminUser = "ZUL";
constexpr const char* kAdminPw = "zulpw";
constexpr const char* kUser = "BOB";
constexpr const char* kUserPw = "bobpw";

struct ConnectRequest {
  std::string connect_text = "ZUL";
  std::string user = kAdminUser;
  std::string password = kAdminPw;
  int32_t transport = 0;                  // 0 native, 1 XDR
  std::string client = "e2e-client";
  std::string user_data;
};

class Instance {
 public:
  Instance();
  ~Instance();
  // Empty when the instance is up; else what went wrong.
  const std::string& error() const { return error_; }
  const std::string& home() const { return home_; }
  const std::string& service() const { return service_; }   // "port:<n>"
  int port() const { return port_; }
  // The servers' error log (zul.errlog under the home's etc).
  std::string errlog() const;
  // Sends the connect request; *sock stays open (the server's client socket
  // from then on). Returns the status of the exchange (0 when the answer
  // came); the server's own status is answer->ids[0].
  int32_t connect(const ConnectRequest& request, open_res* answer, int* sock);
  // Servers running, as the listener counts them (-1 when it cannot say).
  int32_t servers_running();
 private:
  std::string home_, instance_, service_, error_;
  int port_ = 0;
  int pid_ = -1;
};

// Raw native items (4-byte little-endian longs; strings as a length that
// counts the terminating NUL, then the text and the NUL).
bool send_long(int fd, int32_t v);
bool send_string(int fd, const std::string& s);
bool recv_bytes(int fd, void* buf, size_t n);
bool recv_long(int fd, int32_t* v);
bool recv_string(int fd, std::string* s);
// True when the peer closes within ten seconds.
bool peer_closed(int fd);

}  // namespace e2e

#endif
