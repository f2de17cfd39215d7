// svr_comm.cpp -- the link to the listener and the client connection: the
// answer records written up the listener's pipe (start status, failure code,
// extended error), the handshake, and the accept of the client for channel
// kinds 1 to 3.
//
// Relies on the local pipes (zul_local_io.h) and shared memory (the general
// mutex that the listener holds until it has answered the client). Every
// failed write to the listener ends the process with exit code 2.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "svr_handle.h"
#include "zul_local_io.h"
#include "zul_status.h"

namespace {
[[noreturn]] void pipe_failed(SERVER_HANDLE* h, const char* line) {
  fprintf(stderr, "%s", line);
  server_exit(h, SVR_EXIT_PIPES);
}

void report_user(SERVER_HANDLE* h) {
  const char* user = h->converted_user[0] != '\0' ? h->converted_user : "null=user";
  if (LO_write_string(h->pipe_up, user) != 0) pipe_failed(h, "Error Writing converted username to Parent\n");
}
}  // namespace

void report_to_parent(SERVER_HANDLE* h, int32_t status, int32_t port1, int32_t port2) {
  if (LO_write_long(h->pipe_up, status) != 0) pipe_failed(h, "Error Writing Status to Parent\n");
  if (status != 0) return;
  if (LO_write_long(h->pipe_up, port1) != 0 || LO_write_long(h->pipe_up, port2) != 0)
    pipe_failed(h, "Error Writing Port ID to Parent\n");
  if (LO_write_long(h->pipe_up, h->pid) != 0) pipe_failed(h, "Error Writing PID to Parent\n");
}

void report_code_to_parent(SERVER_HANDLE* h, int32_t code) {
  if (LO_write_long(h->pipe_up, code) != 0) pipe_failed(h, "Error Writing Error Code to Parent\n");
}

void report_extended_error(SERVER_HANDLE* h, const EXTENDED_ERROR* xerr) {
  if (LO_write_long(h->pipe_up, xerr->native) != 0) pipe_failed(h, "Error Writing Extended Error to Parent\n");
  const char* msg = xerr->msg[0] != '\0' ? xerr->msg : "Unknown error";
  const char* ext = xerr->ext_msg[0] != '\0' ? xerr->ext_msg : "No extended error.";
  if (LO_write_string(h->pipe_up, msg) != 0 || LO_write_string(h->pipe_up, ext) != 0)
    pipe_failed(h, "Error Writing Error Message to Parent\n");
}

int32_t parent_handshake(SERVER_HANDLE* h) {
  if (h->channel_kind == SVR_KIND_SHARED || h->channel_kind == SVR_KIND_COORDINATED) {
    report_to_parent(h, 0, 0, 0);
    report_user(h);
    return 0;
  }
  int32_t rc = accept_client(h);
  if (rc != 0 && h->client_socket >= 0) {
    close(h->client_socket);
    h->client_socket = -1;
  }
  return rc;
}

int32_t accept_client(SERVER_HANDLE* h) {
  if (h->channel_kind == SVR_KIND_ACCEPTED) {
    report_to_parent(h, 0, -1, 0);
    report_user(h);
    // The listener answers the client first; it holds this mutex until then.
    if (h->sm != nullptr) {
      SM_shared_mutex_lock(h->sm);
      SM_shared_mutex_unlock(h->sm);
    }
    return 0;
  }
  // Kinds 2 and 3: a listening socket of our own.
  const char* step = "SOCKET";
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = 0;
  if (s >= 0) {
    step = "BIND";
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      step = "LISTEN";
      if (listen(s, 2) == 0) step = nullptr;
    }
  }
  if (step != nullptr) {
    fprintf(stderr, "%s: errno = %d\n", step, errno);
    if (s >= 0) close(s);
    report_to_parent(h, SE_NET_FAILURE, 0, 0);
    return SE_NET_FAILURE;
  }
  int32_t port = 0;
  if (h->channel_kind == SVR_KIND_OWN_PORT) {
    socklen_t len = sizeof addr;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port = ntohs(addr.sin_port);
  }
  report_to_parent(h, 0, port, 0);
  report_user(h);

  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(s, &ready);
  timeval wait{};
  wait.tv_sec = h->accept_timeout > 0 ? h->accept_timeout : 0;
  int n = select(s + 1, &ready, nullptr, nullptr, &wait);
  if (n == 0) {
    close(s);
    return SE_ACCEPT_TIMEOUT;
  }
  int client = n > 0 ? accept4(s, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  if (client < 0) {
    int e = errno;
    fprintf(stderr, "%s: errno = %d\n", n > 0 ? "ACCEPT" : "SELECT", e);
    fprintf(stderr, "Errno = %d\n", e);
    close(s);
    return SE_NET_FAILURE;
  }
  close(s);
  h->client_socket = client;
  return 0;
}
