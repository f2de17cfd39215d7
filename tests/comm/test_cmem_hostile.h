// test_cmem_hostile.h -- hostile sizes for the memory channels, as a table.
//
// Each row writes an item the reader must refuse (send), reads it with too
// small a capacity or past a limit (read), and names the status and whether
// the channel stays in step: a refused item is taken whole so the next item
// reads correctly; a count past its limit loses the frame.
#ifndef ZUL_TEST_CMEM_HOSTILE_H
#define ZUL_TEST_CMEM_HOSTILE_H

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "zul_channel.h"

namespace zultest {

struct HostileCase {
  const char* name;
  std::function<int(CHANNEL*)> send;
  std::function<int(CHANNEL*)> read;
  int32_t status;
  bool in_step;
};

inline std::vector<HostileCase> hostile_cases() {
  static const std::string kText(200, 'q');
  return {
      {"string longer than the buffer", [](CHANNEL* c) { return CH_write_string(c, kText.c_str()); },
       [](CHANNEL* c) { char b[16]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM, true},
      {"negative string length", [](CHANNEL* c) { return CH_write_long(c, -5); },
       [](CHANNEL* c) { char b[16]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM, true},
      {"dynamic string beyond its limit",
       [](CHANNEL* c) {
         std::string big(CH_MAX_DYNAMIC_STRING + 10, 'd');
         return CH_write_dynamic_string(c, big.c_str());
       },
       [](CHANNEL* c) {
         char* t = nullptr;
         int rc = CH_read_dynamic_string(c, &t);
         free(t);
         return rc;
       },
       SE_INVALID_PARAM, true},
      {"short array beyond the capacity",
       [](CHANNEL* c) { int16_t a[10] = {0}; return CH_write_short_array(c, 10, a); },
       [](CHANNEL* c) { int16_t a[4], n; return CH_read_short_array(c, &n, a, 4); }, SE_INVALID_PARAM, true},
      {"blob segment beyond the capacity",
       [](CHANNEL* c) { char b[100] = {0}; return CH_write_blob_seg(c, b, 100, 1); },
       [](CHANNEL* c) { char b[10]; int32_t len, last; return CH_read_blob_seg(c, b, 10, &len, &last); },
       SE_INVALID_PARAM, true},
      {"list beyond the capacity",
       [](CHANNEL* c) { REGISTRATION r[3] = {}; return CH_write_registration_list(c, r, 3); },
       [](CHANNEL* c) { REGISTRATION r[1]; int32_t n; return CH_read_registration_list(c, r, 1, &n); },
       SE_INVALID_PARAM, true},
      {"shape with more points than the reader's arrays",
       [](CHANNEL* c) {
         POINT p[3] = {{1, 2}, {3, 4}, {5, 6}};
         int32_t z[3] = {7, 8, 9};
         FEATURE_STRUCT f{};
         f.numofpts = 3; f.points = p; f.z = z; f.allocpts = 3; f.entity = 4;
         return CH_writef(c, &f);
       },
       [](CHANNEL* c) {
         POINT p[1];
         FEATURE_STRUCT f{};
         f.points = p; f.allocpts = 1;
         return CH_readf(c, &f, 0);
       },
       SE_INVALID_PARAM, true},
      {"list count past its limit", [](CHANNEL* c) { return CH_write_long(c, 1 << 30); },
       [](CHANNEL* c) { REGISTRATION r[1]; int32_t n; return CH_read_registration_list(c, r, 1, &n); }, -1,
       false},
  };
}

}  // namespace zultest

#endif
