// os_net.h -- host and service look-ups.
//
// The look-ups are thread-safe: the host look-ups use getaddrinfo and
// getnameinfo (IPv4, as the callers expect 4-byte addresses), the service
// look-up getservbyname_r. Each answers into storage of the calling thread,
// valid until that thread's next look-up of the same kind.
#ifndef ZULOS_NET_H
#define ZULOS_NET_H

#ifdef __cplusplus
extern "C" {
#endif

struct hostent;
struct servent;

#define ZULOS_HOST_ADDRS_MAX 16   // addresses kept of one host

// The IPv4 entry of a host name (its canonical name, no aliases, up to
// ZULOS_HOST_ADDRS_MAX addresses); null when the name is not known.
struct hostent* zulos_host_by_name(const char* name);

// The entry of a 4-byte IPv4 address in network order: the host's name and
// the address; null when the address has no name.
struct hostent* zulos_host_by_addr(const void* addr4);

// Looks a service up in the services database (protocol may be null for
// any). 0 with *out filled (its texts in thread storage); -1 when the name
// is not known.
int zulos_serv_by_name(const char* name, const char* protocol, struct servent* out);

#ifdef __cplusplus
}
#endif

#endif
