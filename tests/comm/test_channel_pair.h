// test_channel_pair.h -- a second process on loopback TCP for channel tests.
//
// start_peer forks a child that connects to a fresh loopback listener and
// runs body(fd); the child's exit code is body's result. The parent gets its
// accepted end. raw_pair gives both ends of a loopback connection in this
// process, for golden bytes.
#ifndef ZUL_TEST_CHANNEL_PAIR_H
#define ZUL_TEST_CHANNEL_PAIR_H

#include <stdint.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "zulos.h"

namespace zultest {

struct Peer {
  pid_t pid = -1;
  int fd = -1;
};

inline Peer start_peer(const std::function<int(int fd)>& body) {
  Peer p;
  int port = 0;
  int lfd = zulos_tcp_listen(0, 1, 1, &port);
  if (lfd < 0) return p;
  pid_t pid = fork();
  if (pid == 0) {
    close(lfd);
    int fd = zulos_tcp_connect("127.0.0.1", port);
    int rc = fd < 0 ? 99 : body(fd);
    _exit(rc);
  }
  p.pid = pid;
  p.fd = zulos_tcp_accept(lfd, 10000);
  close(lfd);
  return p;
}

// The child's exit code (-1 when it did not exit normally).
inline int wait_peer(Peer& p) {
  if (p.fd >= 0) close(p.fd);
  p.fd = -1;
  int status = 0;
  if (p.pid <= 0 || waitpid(p.pid, &status, 0) != p.pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Both ends of one loopback connection: [0] connects, [1] was accepted.
inline bool raw_pair(int fds[2]) {
  int port = 0;
  int lfd = zulos_tcp_listen(0, 1, 1, &port);
  if (lfd < 0) return false;
  fds[0] = zulos_tcp_connect("127.0.0.1", port);
  fds[1] = zulos_tcp_accept(lfd, 5000);
  close(lfd);
  return fds[0] >= 0 && fds[1] >= 0;
}

// Everything that arrives on fd within a short wait.
inline std::vector<uint8_t> drain_raw(int fd, int wait_ms = 200) {
  std::vector<uint8_t> out;
  uint8_t buf[65536];
  while (zulos_socket_readable(fd, wait_ms) == 1) {
    ssize_t n = zulos_socket_recv(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

// Exactly n bytes from fd (fewer when the peer closes or goes quiet).
inline std::vector<uint8_t> read_exact(int fd, size_t n, int wait_ms = 5000) {
  std::vector<uint8_t> out(n);
  size_t got = 0;
  while (got < n && zulos_socket_readable(fd, wait_ms) == 1) {
    ssize_t r = zulos_socket_recv(fd, out.data() + got, n - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  out.resize(got);
  return out;
}

inline bool send_raw(int fd, const std::vector<uint8_t>& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = zulos_socket_send(fd, bytes.data() + off, bytes.size() - off);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

// Byte builders for hand-made frames.
inline void le32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void le16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void be32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 3; i >= 0; i--) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void bytes(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
// One XDR record holding body (a single last fragment).
inline std::vector<uint8_t> xdr_record(const std::vector<uint8_t>& body) {
  std::vector<uint8_t> r;
  be32(r, 0x80000000u | static_cast<uint32_t>(body.size()));
  r.insert(r.end(), body.begin(), body.end());
  return r;
}

}  // namespace zultest

#endif
