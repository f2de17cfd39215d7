// os_socket.h -- TCP sockets for the channel transports and the listener.
//
// A socket is a plain descriptor (int), opened close-on-exec. Sends use
// MSG_NOSIGNAL, so a peer that has gone away shows up as the error number
// EPIPE or ECONNRESET from the call, never as a signal that ends the process.
// Interrupted calls are repeated. Sends and receives go through the system
// call table (os_syscalls.h), so a test can make either fail at a chosen call.
//
// The Windows socket error numbers that callers test are mapped to their POSIX
// meanings by zulos_socket_error_from_wsa; zulos_socket_peer_gone answers the
// one question callers ask of an error number: is the client gone?
//
// Every function returns -1 on failure with errno set, unless stated.
#ifndef ZULOS_SOCKET_H
#define ZULOS_SOCKET_H

#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Windows socket error numbers as the callers know them.
#define ZULOS_WSAEINTR         10004
#define ZULOS_WSAENETRESET     10052
#define ZULOS_WSAECONNABORTED  10053
#define ZULOS_WSAECONNRESET    10054
#define ZULOS_WSAETIMEDOUT     10060
#define ZULOS_WSAECONNREFUSED  10061

// A TCP socket listening on port (0: any free port) with the given backlog,
// on the loopback address when loopback_only is non-zero, else on every
// address. *bound_port (when not null) receives the port in host order.
int zulos_tcp_listen(int port, int backlog, int loopback_only, int* bound_port);

// Waits up to timeout_ms (negative: without limit) for a client on a listening
// socket and accepts it. A time-out fails with errno ETIMEDOUT.
int zulos_tcp_accept(int listen_fd, int timeout_ms);

// Connects to host:port (host a name or a numeric address; resolved with
// getaddrinfo). Returns the connected socket.
int zulos_tcp_connect(const char* host, int port);

// One send of at most len bytes; returns the number sent.
ssize_t zulos_socket_send(int fd, const void* data, size_t len);

// One receive of at most cap bytes; returns the number received, 0 when the
// peer has closed the connection.
ssize_t zulos_socket_recv(int fd, void* buf, size_t cap);

// Readiness for reading within timeout_ms (0: a test that does not wait):
// 1 ready, 0 not ready, -1 failure.
int zulos_socket_readable(int fd, int timeout_ms);

// Turns off send coalescing (small answers leave at once).
int zulos_socket_set_nodelay(int fd);

// Closes the socket; a negative descriptor is ignored (returns 0).
int zulos_socket_close(int fd);

// The POSIX error number for a Windows socket error number; numbers that are
// not Windows socket errors come back unchanged.
int zulos_socket_error_from_wsa(int wsa_error);

// Non-zero when the error number (POSIX or Windows) says the peer is gone:
// connection reset, aborted, network reset or broken pipe.
int zulos_socket_peer_gone(int error_number);

#ifdef __cplusplus
}
#endif

#endif
