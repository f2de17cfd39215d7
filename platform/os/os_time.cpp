// os_time.cpp -- clocks and local time (see os_time.h).
#include "os_time.h"

#include <errno.h>

int32_t zulos_now32(void) { return static_cast<int32_t>(time(nullptr)); }

int zulos_localtime(time_t t, struct tm* out) {
  if (out == nullptr) return -1;
  return localtime_r(&t, out) != nullptr ? 0 : -1;
}

uint64_t zulos_monotonic_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void zulos_sleep_ms(uint32_t ms) {
  struct timespec req = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  struct timespec rem;
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}
