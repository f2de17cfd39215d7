// The connection's stream settings: zeros keep the current value (setting 9
// excepted), the order and sign checks, and the maxima of settings 4 to 8.
#include <gtest/gtest.h>
#include <string.h>

#include "../../server/nuvok/svr_handle.h"

namespace {
SERVER_HANDLE make_handle() {
  SERVER_HANDLE h;
  memset(&h, 0, sizeof h);
  const int32_t start[10] = {4096, 65536, 32, 100, 1024, 16, 8, 0, 64, 65536};
  memcpy(h.spec.setting, start, sizeof start);
  memcpy(h.spec_max.setting, start, sizeof start);
  return h;
}
}  // namespace

TEST(StreamSpec, Cases) {
  struct Case {
    const char* what;
    int32_t sent[10];
    int32_t status;
    int32_t after[10];
  };
  const Case cases[] = {
      {"all zero keeps 1-8 and 10, sets 9 to 0", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0,
       {4096, 65536, 32, 100, 1024, 16, 8, 0, 0, 65536}},
      {"smaller values below the maxima", {1, 2, 3, 4, 5, 6, 7, 0, 9, 10}, 0, {1, 2, 3, 4, 5, 6, 7, 0, 9, 10}},
      {"setting 2 below setting 1", {100, 99, 0, 0, 0, 0, 0, 0, 0, 0}, SE_INVALID_PARAM, {}},
      {"setting 2 below the kept setting 1", {0, 10, 0, 0, 0, 0, 0, 0, 0, 0}, SE_INVALID_PARAM, {}},
      {"negative setting 1", {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SE_INVALID_PARAM, {}},
      {"negative setting 9", {0, 0, 0, 0, 0, 0, 0, 0, -1, 0}, SE_INVALID_PARAM, {}},
      {"setting 8 equal to 1", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, SE_INVALID_STREAM_SPEC, {}},
      {"setting 4 above its maximum", {0, 0, 0, 101, 0, 0, 0, 0, 0, 0}, SE_INVALID_STREAM_SPEC, {}},
      {"setting 7 above its maximum", {0, 0, 0, 0, 0, 0, 9, 0, 0, 0}, SE_INVALID_STREAM_SPEC, {}},
      {"settings 1-3 and 10 have no maximum", {8192, 131072, 64, 0, 0, 0, 0, 0, 64, 131072}, 0,
       {8192, 131072, 64, 100, 1024, 16, 8, 0, 64, 131072}},
  };
  for (const Case& c : cases) {
    SERVER_HANDLE h = make_handle();
    STREAM_SPEC before = h.spec, sent;
    memcpy(sent.setting, c.sent, sizeof sent.setting);
    EXPECT_EQ(c.status, stream_spec_set(&h, &sent)) << c.what;
    const int32_t* expect = c.status == 0 ? c.after : before.setting;
    for (int k = 0; k < 10; ++k) EXPECT_EQ(expect[k], h.spec.setting[k]) << c.what << ", setting " << k + 1;
  }
}
