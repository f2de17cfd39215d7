// os_tempfile.cpp -- exclusive creation of uniquely named files. See
// os_tempfile.h for the contract.
//
// Names draw six characters from a 62-letter alphabet, seeded per call from
// the clock, the process id and a counter, and a taken name just moves on to
// the next candidate; a bounded number of tries keeps a directory full of
// planted names from holding the caller for ever.
#include "os_tempfile.h"

#include "os_syscalls.h"

#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kTries = 1000;  // names tried before giving up with EEXIST

std::atomic<uint64_t> g_counter{0};

// One step of splitmix64: a well-mixed 64-bit value from a running state.
uint64_t mix(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

int zulos_make_unique_file(const char* dir, const char* prefix, char* path, size_t cap,
                           int* fd) {
  if (fd) *fd = -1;
  if (!path || !fd || cap == 0) {
    errno = EINVAL;
    return -1;
  }
  if (!prefix) prefix = "";
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t state = (uint64_t)ts.tv_nsec ^ ((uint64_t)ts.tv_sec << 20) ^
                   ((uint64_t)getpid() << 40) ^ g_counter.fetch_add(1) * 0x2545F4914F6CDD1Dull;
  bool has_dir = dir && *dir;
  bool has_sep = has_dir && dir[strlen(dir) - 1] == '/';
  for (int attempt = 0; attempt < kTries; ++attempt) {
    char suffix[7];
    uint64_t r = mix(&state);
    for (int i = 0; i < 6; ++i) {
      suffix[i] = kAlphabet[r % 62];
      r /= 62;
    }
    suffix[6] = '\0';
    int n = has_dir ? snprintf(path, cap, "%s%s%s%s", dir, has_sep ? "" : "/", prefix, suffix)
                    : snprintf(path, cap, "%s%s", prefix, suffix);
    if (n < 0 || (size_t)n >= cap) {
      path[0] = '\0';
      errno = ENAMETOOLONG;
      return -1;
    }
    int d = zulos_sys.open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (d >= 0) {
      *fd = d;
      return 0;
    }
    if (errno != EEXIST) {
      int err = errno;
      path[0] = '\0';
      errno = err;
      return -1;
    }
  }
  path[0] = '\0';
  errno = EEXIST;
  return -1;
}

const char* zulos_temp_dir(void) {
  const char* d = getenv("TEMP");
  if (d && *d) return d;
  d = getenv("TMP");
  if (d && *d) return d;
  return "/tmp";
}
