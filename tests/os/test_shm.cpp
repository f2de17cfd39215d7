// Named shared memory: names, exclusive creation, the stale-creator check,
// and that a destroyed object leaves nothing behind.
#include "child_support.h"
#include "zulos.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

TEST(Shm, NamesAreEscapedAndBounded) {
  struct Case {
    const char* name;
    int rc;
    const char* tail;
  };
  const Case cases[] = {
      {"ZUL_8.3_inst_iomgr_lock_mutex", ZULOS_OK, ".mtx.ZUL_8.3_inst_iomgr_lock_mutex"},
      {"a/b\\c d", ZULOS_OK, ".mtx.a%2Fb%5Cc%20d"},
      {"", ZULOS_BAD_NAME, nullptr},
      {"LONG", ZULOS_BAD_NAME, nullptr},  // 250 characters
  };
  std::string long_name(250, 'x');
  for (const Case& c : cases) {
    const char* name = strcmp(c.name, "LONG") == 0 ? long_name.c_str() : c.name;
    char out[ZULOS_NAME_CAP];
    ASSERT_EQ(c.rc, zulos_object_name("mtx", name, out, sizeof out)) << name;
    if (c.tail) {
      std::string s(out);
      EXPECT_EQ(0u, s.find("/zul.")) << s;
      EXPECT_EQ(s.size() - strlen(c.tail), s.rfind(c.tail)) << s;
    }
  }
}

TEST(Shm, CreateIsExclusiveAndOpenSeesTheSameBytes) {
  std::string name = unique("shm_excl");
  zulos_shm a, b, c;
  ASSERT_EQ(ZULOS_OK, zulos_shm_create("map", name.c_str(), 10000, &a));
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(a.base) % 64);
  static_cast<char*>(a.base)[9999] = 42;
  EXPECT_EQ(ZULOS_EXISTS, zulos_shm_create("map", name.c_str(), 10000, &b));
  ASSERT_EQ(ZULOS_OK, zulos_shm_open("map", name.c_str(), &c));
  EXPECT_EQ(10000u, c.size);
  EXPECT_EQ(42, static_cast<char*>(c.base)[9999]);
  zulos_shm_close(&c);
  zulos_shm_destroy(&a);
  EXPECT_EQ(ZULOS_NOT_FOUND, zulos_shm_open("map", name.c_str(), &c));
  EXPECT_FALSE(zulos_shm_exists("map", name.c_str()));
}

TEST(Shm, ObjectOfAKilledCreatorIsReplaced) {
  std::string name = unique("shm_stale");
  zulos_process p;
  ASSERT_TRUE(start_ready("create-shm", name, &p));
  zulos_shm s;
  EXPECT_EQ(ZULOS_EXISTS, zulos_shm_create("map", name.c_str(), 4096, &s)) << "creator alive";
  kill(p.pid, SIGKILL);
  ASSERT_EQ(0, zulos_process_wait(&p, 10000));
  zulos_process_close(&p);
  ASSERT_EQ(ZULOS_OK, zulos_shm_create("map", name.c_str(), 8192, &s)) << "creator gone";
  EXPECT_EQ(8192u, s.size);
  zulos_shm_destroy(&s);
  EXPECT_FALSE(zulos_shm_exists("map", name.c_str()));
}

TEST(Shm, FailedCommitLeavesNoObject) {
  std::string name = unique("shm_fail");
  zulos_sys.fallocate = [](int, off_t, off_t) { return ENOSPC; };
  zulos_shm s;
  EXPECT_EQ(ZULOS_FAILED, zulos_shm_create("map", name.c_str(), 4096, &s));
  zulos_syscalls_reset();
  EXPECT_FALSE(zulos_shm_exists("map", name.c_str()));
}
