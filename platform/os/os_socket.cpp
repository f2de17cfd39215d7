// os_socket.cpp -- TCP sockets: listen, accept, connect, send and receive.
//
// Relies on the system call table for send and recv (so tests can fail them)
// and on getaddrinfo for name resolution. See os_socket.h for the contract.
#include "os_socket.h"

#include "os_syscalls.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int zulos_tcp_listen(int port, int backlog, int loopback_only, int* bound_port) {
  if (port < 0 || port > 65535) {
    errno = EINVAL;
    return -1;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, backlog) != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  if (bound_port) {
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      int e = errno;
      ::close(fd);
      errno = e;
      return -1;
    }
    *bound_port = ntohs(addr.sin_port);
  }
  return fd;
}

int zulos_tcp_accept(int listen_fd, int timeout_ms) {
  int ready = zulos_socket_readable(listen_fd, timeout_ms);
  if (ready < 0) return -1;
  if (ready == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  int fd;
  do {
    fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) zulos_socket_set_nodelay(fd);
  return fd;
}

int zulos_tcp_connect(const char* host, int port) {
  if (!host || port <= 0 || port > 65535) {
    errno = EINVAL;
    return -1;
  }
  char service[16];
  snprintf(service, sizeof service, "%d", port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host, service, &hints, &list) != 0) {
    errno = EHOSTUNREACH;
    return -1;
  }
  int fd = -1;
  int last_error = ECONNREFUSED;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      last_error = errno;
      continue;
    }
    int rc;
    do {
      rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) break;
    last_error = errno;
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(list);
  if (fd < 0) {
    errno = last_error;
    return -1;
  }
  zulos_socket_set_nodelay(fd);
  return fd;
}

ssize_t zulos_socket_send(int fd, const void* data, size_t len) {
  ssize_t n;
  do {
    n = zulos_sys.send(fd, data, len, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t zulos_socket_recv(int fd, void* buf, size_t cap) {
  ssize_t n;
  do {
    n = zulos_sys.recv(fd, buf, cap, 0);
  } while (n < 0 && errno == EINTR);
  return n;
}

int zulos_socket_readable(int fd, int timeout_ms) {
  pollfd p{};
  p.fd = fd;
  p.events = POLLIN;
  int n;
  do {
    n = ::poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  return n > 0 ? 1 : 0;
}

int zulos_socket_set_nodelay(int fd) {
  int on = 1;
  return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : -1;
}

int zulos_socket_close(int fd) {
  if (fd < 0) return 0;
  return zulos_sys.close(fd);
}

int zulos_socket_error_from_wsa(int wsa_error) {
  switch (wsa_error) {
    case ZULOS_WSAEINTR: return EINTR;
    case ZULOS_WSAENETRESET: return ENETRESET;
    case ZULOS_WSAECONNABORTED: return ECONNABORTED;
    case ZULOS_WSAECONNRESET: return ECONNRESET;
    case ZULOS_WSAETIMEDOUT: return ETIMEDOUT;
    case ZULOS_WSAECONNREFUSED: return ECONNREFUSED;
    default: return wsa_error;
  }
}

int zulos_socket_peer_gone(int error_number) {
  int e = zulos_socket_error_from_wsa(error_number);
  return e == ECONNRESET || e == ECONNABORTED || e == ENETRESET || e == EPIPE;
}
