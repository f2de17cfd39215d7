// os_pipe.cpp -- local named pipes as local stream sockets under the run
// directory. See os_pipe.h for the contract.
//
// Relies on the system call table for send, recv and close (so tests can fail
// a transfer) and on $ZULHOME for the run directory.
#include "os_pipe.h"

#include "os_syscalls.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

const char kPipePrefix[] = "\\\\.\\pipe\\";  // "\\.\pipe\"

// Fills a local socket address for a pipe name.
int pipe_address(const char* name, sockaddr_un* addr) {
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  return zulos_pipe_path(name, addr->sun_path, sizeof addr->sun_path);
}

long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// Non-zero when fd is a socket still waiting for its client.
bool is_listening(int fd) {
  int on = 0;
  socklen_t len = sizeof on;
  return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &len) == 0 && on;
}

}  // namespace

int zulos_pipe_path(const char* name, char* path, size_t cap) {
  if (!name || !path || cap == 0) {
    errno = EINVAL;
    return -1;
  }
  int n;
  if (strchr(name, '/')) {
    n = snprintf(path, cap, "%s", name);
  } else {
    const char* base = name;
    if (strncmp(name, kPipePrefix, sizeof kPipePrefix - 1) == 0) base = name + sizeof kPipePrefix - 1;
    if (*base == '\0' || strchr(base, '\\')) {
      errno = EINVAL;
      return -1;
    }
    const char* home = getenv("ZULHOME");
    if (!home || !*home) {
      errno = ENOENT;
      return -1;
    }
    n = snprintf(path, cap, "%s/run/%s", home, base);
  }
  if (n < 0 || static_cast<size_t>(n) >= cap || static_cast<size_t>(n) >= sizeof(sockaddr_un{}.sun_path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return 0;
}

int zulos_pipe_create(const char* name) {
  sockaddr_un addr;
  if (pipe_address(name, &addr) != 0) return -1;
  // The run directory: the parent of the socket path.
  char dir[sizeof addr.sun_path];
  memcpy(dir, addr.sun_path, sizeof dir);
  char* slash = strrchr(dir, '/');
  if (slash && slash != dir) {
    *slash = '\0';
    if (::mkdir(dir, 0700) != 0 && errno != EEXIST) return -1;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::unlink(addr.sun_path);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 1) != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

int zulos_pipe_connect(int fd, int timeout_ms) {
  if (!is_listening(fd)) return 0;  // already connected
  pollfd p{};
  p.fd = fd;
  p.events = POLLIN;
  int n;
  do {
    n = ::poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  if (n == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  int client;
  do {
    client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  if (client < 0) return -1;
  sockaddr_un addr;
  socklen_t len = sizeof addr;
  bool named = ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && addr.sun_path[0];
  // The connection takes the listening socket's number; the name has served.
  if (::dup3(client, fd, O_CLOEXEC) < 0) {
    int e = errno;
    ::close(client);
    errno = e;
    return -1;
  }
  ::close(client);
  if (named) ::unlink(addr.sun_path);
  return 0;
}

int zulos_pipe_wait(const char* name, int timeout_ms) {
  sockaddr_un addr;
  if (pipe_address(name, &addr) != 0) return -1;
  long deadline = now_ms() + (timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    struct stat st;
    if (::stat(addr.sun_path, &st) == 0 && S_ISSOCK(st.st_mode)) return 0;
    if (now_ms() >= deadline) {
      errno = ETIMEDOUT;
      return -1;
    }
    struct timespec pause = {0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

int zulos_pipe_open(const char* name) {
  sockaddr_un addr;
  if (pipe_address(name, &addr) != 0) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

int zulos_pipe_read(int fd, void* buf, size_t len) {
  char* p = static_cast<char*>(buf);
  while (len > 0) {
    ssize_t n = zulos_sys.recv(fd, p, len, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      errno = EPIPE;
      return -1;
    }
    p += n;
    len -= static_cast<size_t>(n);
  }
  return 0;
}

int zulos_pipe_write(int fd, const void* data, size_t len) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = zulos_sys.send(fd, p, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return 0;
}

int zulos_pipe_close(int fd) {
  if (fd < 0) return 0;
  return zulos_sys.close(fd);
}
