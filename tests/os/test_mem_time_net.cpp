// Pages of memory, clocks and local time, and host and service look-ups of
// the OS layer.
#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "zulos.h"

namespace {

void* failing_mmap(void*, size_t, int, int, int, off_t) {
  errno = ENOMEM;
  return MAP_FAILED;
}

TEST(Mem, PagesAreZeroedAlignedAndReleased) {
  size_t len = 3 * zulos_page_size() + 5;
  unsigned char* p = static_cast<unsigned char*>(zulos_vm_alloc(len));
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % zulos_page_size());
  for (size_t i = 0; i < len; ++i) ASSERT_EQ(0, p[i]) << i;
  memset(p, 1, len);
  EXPECT_EQ(0, zulos_vm_free(p, len));
  EXPECT_EQ(nullptr, zulos_vm_alloc(0));
  EXPECT_EQ(-1, zulos_vm_free(nullptr, len));
  zulos_sys.mmap = failing_mmap;
  EXPECT_EQ(nullptr, zulos_vm_alloc(len));
  zulos_syscalls_reset();
}

TEST(Time, LocalTimeAndClocks) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct tm t;
  ASSERT_EQ(0, zulos_localtime(951782400, &t));  // 2000-02-29 00:00:00 UTC
  EXPECT_EQ(100, t.tm_year);
  EXPECT_EQ(1, t.tm_mon);
  EXPECT_EQ(29, t.tm_mday);
  EXPECT_EQ(-1, zulos_localtime(0, nullptr));
  unsetenv("TZ");
  tzset();

  int32_t now = zulos_now32();
  EXPECT_LE(static_cast<int64_t>(now) - time(nullptr), 1);
  uint64_t t0 = zulos_monotonic_ms();
  zulos_sleep_ms(20);
  EXPECT_GE(zulos_monotonic_ms() - t0, 20u);
}

TEST(Net, LookUps) {
  struct hostent* h = zulos_host_by_name("127.0.0.1");
  ASSERT_NE(nullptr, h);
  uint32_t a;
  memcpy(&a, h->h_addr_list[0], 4);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), a);
  EXPECT_EQ(nullptr, h->h_addr_list[1]);
  EXPECT_EQ(nullptr, zulos_host_by_name(""));
  EXPECT_EQ(nullptr, zulos_host_by_name(nullptr));
  EXPECT_EQ(nullptr, zulos_host_by_addr(nullptr));

  struct servent s;
  EXPECT_EQ(-1, zulos_serv_by_name("no-such-service-zul", "tcp", &s));
  EXPECT_EQ(-1, zulos_serv_by_name("", "tcp", &s));
}

}  // namespace
