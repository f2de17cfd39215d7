// conn.cpp -- the listener connection: service and host look-up, connect
// with retries, request, command and answer frames (see zul_conn.h).
//
// Relies on the XDR record encoders (zul_xdr.h) over memory streams, the
// socket helpers CH_readn and CH_writen, the look-ups of svr_services.h, the
// service start of zul_service.h and the OS layer's system-call table
// (connect goes through it so that tests can fail it).
//
// Socket error numbers are this platform's: ECONNREFUSED and ECONNRESET end
// the attempts at once, ETIMEDOUT and EINTR are tried again.
#include "zul_conn.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "svr_services.h"
#include "zul_channel.h"
#include "zul_service.h"
#include "zul_status.h"
#include "zul_xdr.h"
#include "zulos.h"

namespace {

// The number of connect attempts: ZULATTEMPTS when it reads (decimal, 0x hex
// or 0 octal) as a number above 0, else the default; a 16-bit count.
int conn_attempts() {
  const char* z = getenv("ZULATTEMPTS");
  if (!z || !*z) return SES_DEFAULT_ATTEMPTS;
  long n = strtol(z, nullptr, 0);
  int16_t count = static_cast<int16_t>(n);
  return count > 0 ? count : SES_DEFAULT_ATTEMPTS;
}

bool is_dotted_ipv4(const char* host) {
  in_addr a;
  return inet_pton(AF_INET, host, &a) == 1;
}

// Encodes one XDR integer into 4 bytes.
bool put_xdr_int(char out[4], int32_t value) {
  XDR x;
  xdrmem_create(&x, out, 4, XDR_ENCODE);
  bool ok = xdr_int(&x, &value);
  xdr_destroy(&x);
  return ok;
}

bool get_xdr_int(char in[4], int32_t* value) {
  XDR x;
  xdrmem_create(&x, in, 4, XDR_DECODE);
  bool ok = xdr_int(&x, value);
  xdr_destroy(&x);
  return ok;
}

}  // namespace

int32_t SES_make_inet_socket_addr(uint16_t port, const char* host, struct sockaddr_in* addr, int32_t* len) {
  if (!addr || !len) return SE_INVALID_POINTER;
  if (!host || !*host) host = "localhost";
  memset(addr, 0, sizeof *addr);
  addr->sin_family = AF_INET;
  addr->sin_port = port;
  struct hostent* entry = nullptr;
  if (getenv("ZULNOIPTEST") || !is_dotted_ipv4(host)) {
    entry = SES_GetHostByName(host, nullptr, nullptr);
  } else {
    in_addr a;
    inet_pton(AF_INET, host, &a);
    entry = SES_GetHostByAddr(reinterpret_cast<const char*>(&a), nullptr, nullptr);
  }
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
    return SES_HOST_NOT_FOUND;
  memcpy(&addr->sin_addr, entry->h_addr_list[0], sizeof addr->sin_addr);
  *len = static_cast<int32_t>(sizeof *addr);
  return 0;
}

int32_t SES_connect_to_iomgr(const char* host, const char* service, int* sock) {
  if (!sock) return SE_INVALID_POINTER;
  *sock = -1;
  bool named = true;
  const char* name = service && *service ? service : getenv("ZULINSTANCE");
  if (!name || !*name) {
    name = SES_DEFAULT_SERVICE;
    named = false;
  }
  int attempts = conn_attempts();

  struct servent entry;
  uint16_t port;
  if (SES_GetServByName(name, "tcp", &entry, nullptr)) {
    port = static_cast<uint16_t>(entry.s_port);
  } else if (named) {
    return SES_SERVICE_NOT_FOUND;
  } else {
    port = htons(SES_DEFAULT_PORT);
  }

  struct sockaddr_in addr;
  int32_t len = 0;
  int32_t rc = SES_make_inet_socket_addr(port, host, &addr, &len);
  if (rc != 0) return rc;

  for (int attempt = 1; attempt <= attempts; ++attempt) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      fprintf(stderr, "%s: errno = %d\n", "SOCKET", errno);
      return SE_NET_FAILURE;
    }
    if (zulos_sys.connect(fd, reinterpret_cast<struct sockaddr*>(&addr), static_cast<socklen_t>(len)) == 0) {
      *sock = fd;
      return 0;
    }
    int err = errno;
    ::close(fd);
    if (err == ECONNREFUSED || err == ECONNRESET) return SES_CONNECT_REFUSED;
    if (err == EINTR) continue;
    if (err == ETIMEDOUT && attempt < attempts) continue;
    fprintf(stderr, "%s: errno = %d\n", "CONNECT", err);
    return -1;
  }
  // Every attempt was interrupted: no socket, and the caller learns so.
  fprintf(stderr, "%s: errno = %d\n", "CONNECT", EINTR);
  return -1;
}

int32_t SES_send_xdr_request(int sock, req4io* request) {
  if (!request) return SE_INVALID_POINTER;
  char body[SES_REQUEST_MAX];
  XDR x;
  xdrmem_create(&x, body, sizeof body, XDR_ENCODE);
  bool ok = xdr_req4io(&x, request);
  u_int l = xdr_getpos(&x);
  xdr_destroy(&x);
  // A request that does not fit is not sent cut short: the listener would
  // read a record that was never made.
  if (!ok) return -1;
  char head[4];
  if (!put_xdr_int(head, static_cast<int32_t>(l))) return -1;
  if (CH_writen(sock, head, 4) != 4) return SE_NET_FAILURE;
  if (CH_writen(sock, body, static_cast<int32_t>(l)) != static_cast<int32_t>(l)) return SE_NET_FAILURE;
  return 0;
}

int32_t SES_retrieve_xdr_result(int sock, open_res* result) {
  if (!result) return SE_INVALID_POINTER;
  char head[4];
  if (CH_readn(sock, head, 4) != 4) return SE_NET_FAILURE;
  int32_t l = 0;
  if (!get_xdr_int(head, &l)) return SE_NET_FAILURE;
  if (l == 1) return SE_INVALID_RELEASE;
  if (l > SES_ANSWER_MAX || l < 0) return -1;
  char body[SES_ANSWER_MAX];
  if (l > 0 && CH_readn(sock, body, l) != l) return SE_NET_FAILURE;

  XDR x;
  xdrmem_create(&x, body, static_cast<u_int>(l), XDR_DECODE);
  open_res answer;
  memcpy(&answer, result, sizeof answer);
  bool ok = xdr_open_res(&x, &answer);
  if (ok) {
    memcpy(result, &answer, sizeof answer);
  } else {
    xdr_setpos(&x, 0);
    open_res_old old;
    memset(&old, 0, sizeof old);
    ok = xdr_open_res_old(&x, &old);
    if (ok) {
      memcpy(result->ids, old.ids, sizeof result->ids);
      result->value = old.ids[3];
      memcpy(result->values, old.values, sizeof old.values);
      result->values[5] = result->ids[0];
      if (result->ids[0] != SE_DB_IO_ERROR) {
        result->values[6] = 0;
        result->text1[0] = '\0';
        result->text2[0] = '\0';
      }
    }
  }
  xdr_destroy(&x);
  // An answer that is neither form is not taken as an answer.
  return ok ? 0 : -1;
}

int32_t SES_iomgr_command(int sock, int32_t command) {
  char empty[1] = "";
  req4io request;
  request.id = -1;
  request.text1 = empty;
  request.text2 = empty;
  request.text3 = empty;
  request.value1 = 0;
  request.user.name1 = empty;
  request.user.name2 = empty;
  request.value2 = command == SES_CMD_OLD_RELEASE ? SES_RELEASE_OLD : SES_RELEASE_NUMBER;
  int32_t rc = SES_send_xdr_request(sock, &request);
  if (rc != 0) return rc;
  char word[4];
  if (!put_xdr_int(word, command)) return SE_NET_FAILURE;
  return CH_writen(sock, word, 4) == 4 ? 0 : SE_NET_FAILURE;
}

int32_t SES_get_admin_command(int sock, int32_t* command) {
  if (!command) return SE_INVALID_POINTER;
  char word[4];
  if (CH_readn(sock, word, 4) != 4) return SE_NET_FAILURE;
  return get_xdr_int(word, command) ? 0 : SE_NET_FAILURE;
}

int32_t SES_ping_iomgr(const char* host, const char* service) {
  int sock = -1;
  int32_t rc = SES_connect_to_iomgr(host, service, &sock);
  if (rc != 0) return rc;
  rc = SES_iomgr_command(sock, 0);
  ::close(sock);
  return rc;
}

int32_t SES_start_iomgr(const char* home, const char* password, const char* service) {
  std::string dir = home && *home ? home : (getenv("ZULHOME") ? getenv("ZULHOME") : "");
  if (!service || !*service) {
    struct stat st;
    if (dir.empty() || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return SES_HOME_MISSING;
    std::string program = dir + "/bin/orvant";
    if (stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return SES_LISTENER_MISSING;
  }
  char name[SES_SERVICE_NAME_LEN];
  if (service && *service) {
    snprintf(name, sizeof name, "%s", service);
  } else if (Etc_service_get(dir.c_str(), name) != 0 || !name[0]) {
    snprintf(name, sizeof name, "%s", SES_DEFAULT_SERVICE);
  }
  int32_t rc = SES_start_service(nullptr, name, dir.c_str(), password);
  if (rc != 0) {
    fprintf(stderr, "Error starting %s service(%d)\n", name, rc > 0 ? rc : errno);
    return -1;
  }
  return 0;
}

int32_t SES_make_socket_inheritable(int* sock) {
  if (!sock) return SE_INVALID_POINTER;
  int copy = fcntl(*sock, F_DUPFD, 3);  // without close-on-exec
  if (copy < 0) return SE_NET_FAILURE;
  ::close(*sock);
  *sock = copy;
  return 0;
}
