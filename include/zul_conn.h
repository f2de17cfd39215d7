// zul_conn.h -- the listener connection: reaching an instance's listener over
// TCP, sending it requests and administrative commands, and reading its
// answer to a connect request (SES_*). The listener itself answers with the
// same framing.
//
// Frames on the listener socket (XDR, every integer 4 bytes big-endian):
//   request  -- a length word L (L <= SES_REQUEST_MAX), then one req4io in XDR;
//   command  -- one XDR integer, sent right after a request;
//   answer   -- a length word L, then one open_res (or the older open_res_old)
//               in XDR; L = 1 means the listener refuses the request as not
//               supported; L <= SES_ANSWER_MAX.
//
// Status codes: 0 success; -10 a transfer fell short (SE_NET_FAILURE);
// -88 the listener refused the request; -100 host not found; -101 connection
// refused or reset; -102 service not found; -106 home directory missing;
// -131 listener program missing; -1 other connect failures, an oversized
// answer, a request that does not encode in SES_REQUEST_MAX bytes, a failed
// listener start.
#ifndef ZUL_CONN_H
#define ZUL_CONN_H

#include <netinet/in.h>
#include <stdint.h>

#include "zul_locks.h"
#include "zul_status.h"

#define SES_REQUEST_MAX 1024        // encoded req4io, bytes
#define SES_ANSWER_MAX  1068        // encoded answer, bytes
#define SES_DEFAULT_SERVICE "norq_zul"
#define SES_DEFAULT_PORT 5151       // when the default service is not known
#define SES_DEFAULT_ATTEMPTS 4
#define SES_RELEASE_NUMBER 83002    // release number of a request
#define SES_RELEASE_OLD    83001    // sent with command SES_CMD_OLD_RELEASE
#define SES_CMD_OLD_RELEASE 606

#define SES_HOST_NOT_FOUND      (-100)
#define SES_CONNECT_REFUSED     (-101)
#define SES_SERVICE_NOT_FOUND   (-102)
#define SES_HOME_MISSING        (-106)
#define SES_LISTENER_MISSING    (-131)

// Connects to the listener of service (null or empty: $ZULINSTANCE, else the
// default service, whose absence from the services database means port
// 5151) on host (null: the local host). ZULATTEMPTS bounds the attempts
// after time-outs (default 4). 0 with the connected socket in *sock.
int32_t SES_connect_to_iomgr(const char* host, const char* service, int* sock);

// Sends one request frame. 0, -10, or -1 when the record does not encode in
// SES_REQUEST_MAX bytes (nothing is sent then).
int32_t SES_send_xdr_request(int sock, req4io* request);

// Reads one answer frame into *result. An older listener's answer fills the
// first nine words; the error-code word then takes the status and, unless
// the status is -51, the native code and both texts are cleared.
int32_t SES_retrieve_xdr_result(int sock, open_res* result);

// Sends an empty request and then the command word; reads no answer.
int32_t SES_iomgr_command(int sock, int32_t command);

// The listener's side of SES_iomgr_command's command word. 0 or -10.
int32_t SES_get_admin_command(int sock, int32_t* command);

// Connects, sends command 0 and closes.
int32_t SES_ping_iomgr(const char* host, const char* service);

// Starts the listener's service for the home directory (null: $ZULHOME),
// whose bin directory must hold the listener program "orvant".
int32_t SES_start_iomgr(const char* home, const char* password, const char* service);

// Fills an IPv4 address from a port (network order) and a host name or
// dotted address (null or empty: "localhost") (a dotted address must have a reverse entry unless
// ZULNOIPTEST is set). 0 or -100.
int32_t SES_make_inet_socket_addr(uint16_t port, const char* host, struct sockaddr_in* addr, int32_t* len);

// Replaces *sock by a duplicate that a started program inherits. 0 or -10.
int32_t SES_make_socket_inheritable(int* sock);

#endif
