// Service and host look-ups, local time and the environment.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "tmp_home.h"
#include "zul_status.h"

namespace {

TEST(GetServByName, PortFormsAreAnsweredWithoutTheSystem) {
  struct Case {
    const char* name;
    int port;  // host order; 0 for no answer
  };
  const Case cases[] = {
      {"PORT:5151", 5151}, {"port:5151", 5151}, {"Port:1", 1}, {"5151", 5151}, {"65535", 65535},
      {"port:0", 0},       {"port:x", 0},       {"0", 0},      {"65536", 0},  {"port:", 0},
      {"5151x", 0},        {"no-such-service-zul", 0},
  };
  for (const Case& c : cases) {
    struct servent entry;
    struct servent* got = SES_GetServByName(c.name, "tcp", &entry, nullptr);
    if (c.port == 0) {
      EXPECT_EQ(nullptr, got) << c.name;
      continue;
    }
    ASSERT_EQ(&entry, got) << c.name;
    EXPECT_EQ(c.port, ntohs(static_cast<uint16_t>(entry.s_port))) << c.name;
    EXPECT_STREQ(c.name, entry.s_name) << c.name;
    EXPECT_STREQ("tcp", entry.s_proto) << c.name;
    EXPECT_EQ(nullptr, entry.s_aliases[0]) << c.name;
  }
}

TEST(GetServByName, KnownServiceComesFromTheServicesDatabase) {
  struct servent probe;
  struct servent* sys = nullptr;
  char buf[1024];
  if (getservbyname_r("ssh", "tcp", &probe, buf, sizeof buf, &sys) != 0 || sys == nullptr) {
    GTEST_SKIP() << "no services database on this machine";
  }
  struct servent entry;
  ASSERT_EQ(&entry, SES_GetServByName("ssh", "tcp", &entry, nullptr));
  EXPECT_EQ(22, ntohs(static_cast<uint16_t>(entry.s_port)));
}

TEST(GetHost, LoopbackByNameAndAddress) {
  struct hostent* h = SES_GetHostByName("localhost", nullptr, nullptr);
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(AF_INET, h->h_addrtype);
  EXPECT_EQ(4, h->h_length);
  ASSERT_NE(nullptr, h->h_addr_list[0]);
  uint32_t addr;
  memcpy(&addr, h->h_addr_list[0], 4);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), addr);
  EXPECT_EQ(nullptr, SES_GetHostByName("no-such-host.invalid", nullptr, nullptr));

  uint32_t loop = htonl(INADDR_LOOPBACK);
  struct hostent* back = SES_GetHostByAddr(reinterpret_cast<const char*>(&loop), nullptr, nullptr);
  ASSERT_NE(nullptr, back);
  EXPECT_GT(strlen(back->h_name), 0u);
}

TEST(LocalTime, CopiesTheBrokenDownTime) {
  ScopedEnv tz("TZ", "UTC");
  tzset();
  struct tm t;
  memset(&t, 0, sizeof t);
  ASSERT_EQ(0, SES_localtime(86400 + 3661, &t));
  EXPECT_EQ(1970 - 1900, t.tm_year);
  EXPECT_EQ(1, t.tm_yday);
  EXPECT_EQ(1, t.tm_hour);
  EXPECT_EQ(1, t.tm_min);
  EXPECT_EQ(1, t.tm_sec);
  EXPECT_EQ(SE_INVALID_POINTER, SES_localtime(0, nullptr));
}

TEST(Environment, PutAndGet) {
  ScopedEnv clean("ZULT_ENV", nullptr);
  EXPECT_EQ(nullptr, SES_env_get("ZULT_ENV"));
  char assignment[] = "ZULT_ENV=value";
  ASSERT_EQ(0, SES_env_put(assignment));
  strcpy(assignment, "ZULT_ENV=other");  // the environment keeps its own copy
  EXPECT_STREQ("value", SES_env_get("ZULT_ENV"));
  ASSERT_EQ(0, SES_env_put("ZULT_ENV="));
  EXPECT_EQ(nullptr, SES_env_get("ZULT_ENV")) << "an empty value removes the name";
  EXPECT_EQ(-1, SES_env_put("no-equals-sign"));
  EXPECT_EQ(-1, SES_env_put("=value"));
  EXPECT_EQ(-1, SES_env_put(nullptr));
}

}  // namespace
