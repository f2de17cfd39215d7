// Large buffers: the heap below 4096 bytes, whole pages from 4096 up, and the
// release chosen by the size given back.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/mman.h>

#include "svr_services.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

int g_maps = 0;
int g_unmaps = 0;
void* counting_mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  ++g_maps;
  return ::mmap(addr, len, prot, flags, fd, off);
}
int counting_munmap(void* addr, size_t len) {
  ++g_unmaps;
  return ::munmap(addr, len);
}
void* failing_mmap(void*, size_t, int, int, int, off_t) {
  errno = ENOMEM;
  return MAP_FAILED;
}
int failing_munmap(void*, size_t) {
  errno = EINVAL;
  return -1;
}

bool all_zero(const void* p, size_t len) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < len; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

class BufferAlloc : public testing::Test {
 protected:
  void SetUp() override {
    g_maps = g_unmaps = 0;
    zulos_sys.mmap = counting_mmap;
    zulos_sys.munmap = counting_munmap;
  }
  void TearDown() override { zulos_syscalls_reset(); }
};

TEST_F(BufferAlloc, HeapBelow4096PagesFrom4096) {
  struct Case {
    size_t size;
    int maps;  // page allocations the size takes
  };
  const Case cases[] = {{1, 0}, {4095, 0}, {4096, 1}, {4097, 1}, {1 << 20, 1}};
  for (const Case& c : cases) {
    g_maps = g_unmaps = 0;
    void* p = SES_buffer_alloc(c.size);
    ASSERT_NE(nullptr, p) << c.size;
    EXPECT_EQ(c.maps, g_maps) << c.size;
    EXPECT_TRUE(all_zero(p, c.size)) << c.size;
    if (c.maps > 0) {
      EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % zulos_page_size()) << c.size;
    }
    memset(p, 0xAB, c.size);  // the whole block is usable
    EXPECT_EQ(0, SES_buffer_free(p, c.size)) << c.size;
    EXPECT_EQ(c.maps, g_unmaps) << c.size;
  }
}

TEST_F(BufferAlloc, BadArgumentsAndFailures) {
  EXPECT_EQ(nullptr, SES_buffer_alloc(0));
  EXPECT_EQ(SE_INVALID_POINTER, SES_buffer_free(nullptr, 10));
  void* p = SES_buffer_alloc(8192);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(SE_INVALID_PARAM, SES_buffer_free(p, 0));
  zulos_sys.munmap = failing_munmap;
  EXPECT_EQ(-1, SES_buffer_free(p, 8192));
  zulos_sys.munmap = counting_munmap;
  EXPECT_EQ(0, SES_buffer_free(p, 8192));
  zulos_sys.mmap = failing_mmap;
  EXPECT_EQ(nullptr, SES_buffer_alloc(4096));
}

}  // namespace
