// os_net.cpp -- host and service look-ups (see os_net.h).
#include "os_net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

namespace {

// One thread's answer to a host look-up, shaped as a hostent.
struct HostAnswer {
  struct hostent entry;
  char name[NI_MAXHOST];
  char* aliases[1];
  char* addr_list[ZULOS_HOST_ADDRS_MAX + 1];
  struct in_addr addrs[ZULOS_HOST_ADDRS_MAX];
};

// One thread's answer to a service look-up.
struct ServAnswer {
  struct servent entry;
  char buf[4096];
};

thread_local HostAnswer t_host;
thread_local ServAnswer t_serv;

struct hostent* finish_host(HostAnswer* h, int count) {
  h->aliases[0] = nullptr;
  for (int i = 0; i < count; ++i) h->addr_list[i] = reinterpret_cast<char*>(&h->addrs[i]);
  h->addr_list[count] = nullptr;
  h->entry.h_name = h->name;
  h->entry.h_aliases = h->aliases;
  h->entry.h_addrtype = AF_INET;
  h->entry.h_length = 4;
  h->entry.h_addr_list = h->addr_list;
  return &h->entry;
}

}  // namespace

struct hostent* zulos_host_by_name(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  struct addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  struct addrinfo* res = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &res) != 0 || res == nullptr) return nullptr;
  HostAnswer* h = &t_host;
  memset(h, 0, sizeof *h);
  const char* canon = res->ai_canonname != nullptr ? res->ai_canonname : name;
  strncpy(h->name, canon, sizeof h->name - 1);
  int count = 0;
  for (struct addrinfo* ai = res; ai != nullptr && count < ZULOS_HOST_ADDRS_MAX; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(struct sockaddr_in)) continue;
    struct in_addr a = reinterpret_cast<struct sockaddr_in*>(ai->ai_addr)->sin_addr;
    bool seen = false;
    for (int i = 0; i < count; ++i) seen = seen || h->addrs[i].s_addr == a.s_addr;
    if (!seen) h->addrs[count++] = a;
  }
  freeaddrinfo(res);
  if (count == 0) return nullptr;
  return finish_host(h, count);
}

struct hostent* zulos_host_by_addr(const void* addr4) {
  if (addr4 == nullptr) return nullptr;
  struct sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  memcpy(&sa.sin_addr, addr4, 4);
  HostAnswer* h = &t_host;
  memset(h, 0, sizeof *h);
  if (getnameinfo(reinterpret_cast<struct sockaddr*>(&sa), sizeof sa, h->name, sizeof h->name, nullptr, 0,
                  NI_NAMEREQD) != 0) {
    return nullptr;
  }
  h->addrs[0] = sa.sin_addr;
  return finish_host(h, 1);
}

int zulos_serv_by_name(const char* name, const char* protocol, struct servent* out) {
  if (name == nullptr || name[0] == '\0' || out == nullptr) return -1;
  ServAnswer* s = &t_serv;
  struct servent* res = nullptr;
  if (getservbyname_r(name, protocol, &s->entry, s->buf, sizeof s->buf, &res) != 0 || res == nullptr) return -1;
  *out = s->entry;
  return 0;
}
