// The system-call table: a replaced entry is used, and reset restores it.
#include "zulos.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace {
int failing_open(const char*, int, mode_t) {
  errno = EIO;
  return -1;
}
}  // namespace

TEST(Syscalls, ReplacedEntryFailsAndResetRestores) {
  zulos_sys.open = failing_open;
  EXPECT_EQ(-1, zulos_sys.open("/dev/null", O_RDONLY, 0));
  EXPECT_EQ(EIO, errno);
  zulos_syscalls_reset();
  int fd = zulos_sys.open("/dev/null", O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(0, zulos_sys.close(fd));
}
