// cl_instance.cpp -- what the client library asks the listener itself: its
// status, its configuration and its users (administrative commands), read
// from answer frames whose length is checked before the body is read.
//
// Relies on the listener connection (zul_conn.h) and the XDR record filters
// of the channel code (zul_xdr.h).
#include "zul83.h"

#include <string.h>
#include <unistd.h>

#include <vector>

#include "zul_conn.h"
#include "zul_status.h"
#include "zul_xdr.h"

namespace {

// Administrative command words of the listener.
enum : int32_t { ADMIN_CONFIG = 2, ADMIN_STATUS = 3, ADMIN_USERS = 4 };

// Longest administrative answer taken from a listener (bytes): a users list
// of SE_MAX_INSTANCE_USERS records fits.
constexpr int32_t kAnswerMax = 4 + SE_MAX_INSTANCE_USERS * 128;

// Reads all of n bytes.
bool read_all(int sock, char* buf, int32_t n) {
  return CH_readn(sock, buf, n) == n;
}

// Connects, sends the command and reads its answer frame into body. 0;
// -88 for the listener's refusal; -10 for a short or oversized frame.
int32_t admin_exchange(const char* server, const char* instance, int32_t command, std::vector<char>* body) {
  int sock = -1;
  int32_t rc = SES_connect_to_iomgr(server != nullptr && *server ? server : nullptr, instance, &sock);
  if (rc != 0) return rc;
  rc = SES_iomgr_command(sock, command);
  char head[4];
  if (rc == 0 && !read_all(sock, head, 4)) rc = SE_NET_FAILURE;
  if (rc == 0) {
    int32_t len = 0;
    XDR x;
    xdrmem_create(&x, head, sizeof head, XDR_DECODE);
    bool ok = xdr_int(&x, &len);
    xdr_destroy(&x);
    if (!ok || len <= 0 || len > kAnswerMax) {
      rc = SE_NET_FAILURE;
    } else if (len == 1) {
      rc = SE_INVALID_RELEASE;  // the refusal
    } else {
      body->resize(static_cast<size_t>(len));
      if (!read_all(sock, body->data(), len)) rc = SE_NET_FAILURE;
    }
  }
  ::close(sock);
  return rc;
}

// Decodes one record from the whole of body; every byte must belong to it.
template <typename Fn>
int32_t decode(std::vector<char>& body, Fn filter) {
  XDR x;
  xdrmem_create(&x, body.data(), static_cast<u_int>(body.size()), XDR_DECODE);
  bool ok = filter(&x) && xdr_getpos(&x) == body.size();
  xdr_destroy(&x);
  return ok ? 0 : SE_NET_FAILURE;
}

}  // namespace

int32_t SE_instance_status(const char* server, const char* instance, SE_INSTANCE_STATUS* status) {
  if (status == nullptr) return SE_INVALID_POINTER;
  memset(status, 0, sizeof *status);
  std::vector<char> body;
  int32_t rc = admin_exchange(server, instance, ADMIN_STATUS, &body);
  SE_INSTANCE_STATUS s;
  memset(&s, 0, sizeof s);
  if (rc == 0) rc = decode(body, [&s](XDR* x) { return xdr_SE_INSTANCE_STATUS(x, &s) != 0; });
  if (rc == 0) *status = s;
  return rc;
}

int32_t SE_instance_configuration(const char* server, const char* instance, SE_INSTANCE_CONFIG* config) {
  if (config == nullptr) return SE_INVALID_POINTER;
  std::vector<char> body;
  int32_t rc = admin_exchange(server, instance, ADMIN_CONFIG, &body);
  SE_INSTANCE_CONFIG c;
  memset(&c, 0, sizeof c);
  if (rc == 0) rc = decode(body, [&c](XDR* x) { return xdr_SE_INSTANCE_CONFIG(x, &c) != 0; });
  if (rc == 0) *config = c;
  return rc;
}

int32_t SE_instance_get_users(const char* server, const char* instance, SE_INSTANCE_USER* users, int32_t cap,
                              int32_t* count) {
  if (count == nullptr || (users == nullptr && cap > 0) || cap < 0) return SE_INVALID_POINTER;
  *count = 0;
  std::vector<char> body;
  int32_t rc = admin_exchange(server, instance, ADMIN_USERS, &body);
  if (rc != 0) return rc;
  int32_t n = 0;
  bool too_many = false;
  rc = decode(body, [&](XDR* x) {
    if (!xdr_int(x, &n) || n < 0) return false;
    if (n > cap) {
      too_many = true;
      return false;
    }
    for (int32_t i = 0; i < n; ++i) {
      memset(&users[i], 0, sizeof users[i]);
      if (!xdr_SE_INSTANCE_USER(x, &users[i])) return false;
    }
    return true;
  });
  if (too_many) return SE_INVALID_PARAM;
  if (rc == 0) *count = n;
  return rc;
}
