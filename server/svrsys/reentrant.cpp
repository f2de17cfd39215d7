// reentrant.cpp -- host and service look-ups, local time and the environment,
// in forms that threads may call at once.
//
// The host and service answers live in storage of the calling thread (see
// os_net.h); a "port:N" or plain-number service name is answered without
// asking the system. Relies on the OS layer (os_net.h, os_time.h, os_env.h).
#include <arpa/inet.h>
#include <netdb.h>
#include <string.h>
#include <strings.h>

#include "svr_services.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

// Port number of an all-digit text from 1 to 65535, else 0.
int parse_port(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  long n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    n = n * 10 + (*p - '0');
    if (n > 65535) return 0;
  }
  return static_cast<int>(n);
}

char* t_no_aliases[1] = {nullptr};

}  // namespace

struct hostent* SES_GetHostByName(const char* name, void*, void*) { return zulos_host_by_name(name); }

struct hostent* SES_GetHostByAddr(const char* address, void*, void*) { return zulos_host_by_addr(address); }

struct servent* SES_GetServByName(const char* name, const char* protocol, struct servent* out, void*) {
  if (name == nullptr || out == nullptr) return nullptr;
  int port = 0;
  if (strlen(name) >= 6 && strncasecmp(name, "port:", 5) == 0) port = parse_port(name + 5);
  if (port == 0) port = parse_port(name);
  if (port == 0) return zulos_serv_by_name(name, protocol, out) == 0 ? out : nullptr;
  memset(out, 0, sizeof *out);
  out->s_name = const_cast<char*>(name);
  out->s_aliases = t_no_aliases;
  out->s_port = static_cast<int>(htons(static_cast<uint16_t>(port)));
  out->s_proto = const_cast<char*>(protocol);
  return out;
}

int32_t SES_localtime(time_t t, struct tm* out) {
  if (out == nullptr) return SE_INVALID_POINTER;
  return zulos_localtime(t, out) == 0 ? SE_SUCCESS : -1;
}

const char* SES_env_get(const char* name) { return zulos_env_get(name); }

int32_t SES_env_put(const char* assignment) { return zulos_env_put(assignment) == 0 ? SE_SUCCESS : -1; }
