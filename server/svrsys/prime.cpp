// prime.cpp -- the sizes of file-backed hash tables.
//
// The table holds 117 primes: for k = 0 to 100 the smallest prime that is at
// least 1000 k + 101 (101, 1103, 2111, ..., 100103), then a sparser tail up
// to 3210101. Sizes beyond it are squares of these primes.
#include "hashtable.h"

#include <array>

namespace {

constexpr bool is_prime(int64_t n) {
  if (n < 2) return false;
  for (int64_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

constexpr int64_t kTail[] = {155119,  201101,  250109,  300109,  400109,  500107,
                             600101,  700103,  800113,  900103,  1000117, 1500101,
                             2000107, 2500109, 3000103, 3210101};
constexpr int kLinear = 101;
constexpr int kPrimes = kLinear + (int)(sizeof kTail / sizeof kTail[0]);

constexpr std::array<int64_t, kPrimes> make_primes() {
  std::array<int64_t, kPrimes> p{};
  for (int k = 0; k < kLinear; ++k) {
    int64_t n = 1000 * k + 101;
    while (!is_prime(n)) ++n;
    p[k] = n;
  }
  for (int i = kLinear; i < kPrimes; ++i) p[i] = kTail[i - kLinear];
  return p;
}

constexpr std::array<int64_t, kPrimes> kPrimeTable = make_primes();
static_assert(kPrimes == 117, "117 primes");
static_assert(kPrimeTable[1] == 1103 && kPrimeTable[100] == 100103, "prime table");
static_assert(kPrimeTable[kPrimes - 1] == HT_MAX_SIZE, "last prime");

}  // namespace

int64_t ht_prime_size(int64_t requested) {
  if (requested <= HT_MAX_SIZE) {
    for (int64_t p : kPrimeTable)
      if (p >= requested) return p;
  }
  for (int64_t p : kPrimeTable)
    if (p * p >= requested) return p * p;
  return (int64_t)HT_MAX_SIZE * HT_MAX_SIZE;
}
