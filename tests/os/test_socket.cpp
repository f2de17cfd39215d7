// TCP sockets of the OS layer: the Windows error numbers callers test,
// time-outs, and a vanished peer reported as an error rather than a signal.
#include <gtest/gtest.h>
#include <errno.h>
#include <unistd.h>

#include <vector>

#include "zulos.h"

namespace {

TEST(Socket, WindowsErrorNumbersMapToTheirPosixMeaning) {
  struct Case {
    int wsa;
    int posix;
    bool peer_gone;
  };
  const Case kCases[] = {
      {ZULOS_WSAECONNRESET, ECONNRESET, true},     {ZULOS_WSAECONNABORTED, ECONNABORTED, true},
      {ZULOS_WSAENETRESET, ENETRESET, true},       {ZULOS_WSAETIMEDOUT, ETIMEDOUT, false},
      {ZULOS_WSAECONNREFUSED, ECONNREFUSED, false}, {ZULOS_WSAEINTR, EINTR, false},
      {EPIPE, EPIPE, true},                         {ENOENT, ENOENT, false},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.posix, zulos_socket_error_from_wsa(c.wsa)) << c.wsa;
    EXPECT_EQ(c.peer_gone, zulos_socket_peer_gone(c.wsa) != 0) << c.wsa;
  }
}

TEST(Socket, AcceptWaitsOnlyAsLongAsAsked) {
  int port = 0;
  int lfd = zulos_tcp_listen(0, 2, 1, &port);
  ASSERT_GE(lfd, 0);
  EXPECT_GT(port, 0);
  EXPECT_EQ(-1, zulos_tcp_accept(lfd, 50));
  EXPECT_EQ(ETIMEDOUT, errno);
  int client = zulos_tcp_connect("127.0.0.1", port);
  ASSERT_GE(client, 0);
  int server = zulos_tcp_accept(lfd, 1000);
  ASSERT_GE(server, 0);
  EXPECT_EQ(0, zulos_socket_readable(server, 0));
  ASSERT_EQ(3, zulos_socket_send(client, "abc", 3));
  EXPECT_EQ(1, zulos_socket_readable(server, 1000));
  char buf[4];
  EXPECT_EQ(3, zulos_socket_recv(server, buf, sizeof buf));
  for (int fd : {client, server, lfd}) zulos_socket_close(fd);
  // Nobody listens any more.
  EXPECT_EQ(-1, zulos_tcp_connect("127.0.0.1", port));
  EXPECT_EQ(ECONNREFUSED, errno);
}

TEST(Socket, SendToAVanishedPeerIsAnErrorNumber) {
  int port = 0;
  int lfd = zulos_tcp_listen(0, 1, 1, &port);
  int client = zulos_tcp_connect("127.0.0.1", port);
  int server = zulos_tcp_accept(lfd, 1000);
  ASSERT_GE(server, 0);
  zulos_socket_close(server);
  std::vector<char> block(1 << 16, 'x');
  ssize_t n = 0;
  for (int i = 0; i < 64 && n >= 0; i++) n = zulos_socket_send(client, block.data(), block.size());
  EXPECT_EQ(-1, n);
  EXPECT_TRUE(zulos_socket_peer_gone(errno)) << errno;
  zulos_socket_close(client);
  zulos_socket_close(lfd);
}

}  // namespace
