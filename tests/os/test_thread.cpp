// Threads and the fatal-error report.
#include "zulos.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {
int returns_seven(void*) { return 7; }
int exits_nine(void*) { zulos_thread_exit(9); }
int is_current(void* t) {
  zulos_sleep_ms(50);  // until start has filled t
  return zulos_thread_is_current(static_cast<zulos_thread*>(t));
}
}  // namespace

TEST(Thread, JoinGivesTheThreadsCode) {
  struct Case {
    const char* name;
    int (*fn)(void*);
    int priority;
    int code;
  };
  const Case cases[] = {
      {"returned", returns_seven, ZULOS_PRIORITY_NORMAL, 7},
      {"thread exit, highest priority (best effort)", exits_nine, ZULOS_PRIORITY_HIGHEST, 9},
  };
  for (const Case& c : cases) {
    zulos_thread t;
    ASSERT_EQ(0, zulos_thread_start(c.fn, nullptr, c.priority, &t)) << c.name;
    int code = -1;
    ASSERT_EQ(0, zulos_thread_join(&t, &code)) << c.name;
    EXPECT_EQ(c.code, code) << c.name;
    EXPECT_EQ(-1, zulos_thread_join(&t, &code)) << "joined twice: " << c.name;
  }
  zulos_thread t;
  ASSERT_EQ(0, zulos_thread_start(is_current, &t, ZULOS_PRIORITY_ABOVE_NORMAL, &t));
  int code = 0;
  ASSERT_EQ(0, zulos_thread_join(&t, &code));
  EXPECT_EQ(1, code);
}

TEST(Fatal, ReportTextNamesSourceErrorCallAndLine) {
  char text[512];
  zulos_api_error_text("subprograms", 2, "CreateProcess", 120, text, sizeof text);
  EXPECT_STREQ("subprograms: Error 2 from CreateProcess on line 120:\nNo such file or directory\n\nContinue execution?",
               text);
  // The default answer is to go on.
  unsetenv("ZUL_API_ERROR_ACTION");
  EXPECT_EQ(1, zulos_report_api_error("subprograms", 2, "CreateProcess", 120));
}
