// merge_sort.cpp -- SES_MergeSort against an in-memory std::sort of the same
// records.
//
// One million 16-byte records (a random 64-bit key and the input position)
// are sorted three ways in each round: std::sort in memory (the baseline),
// SES_MergeSort with memory for the whole input (its in-memory path), and
// SES_MergeSort with memory for 40,000 records, which spills 25 runs to the
// temporary directory and merges them in two passes. Each result is checked
// (sorted by key, and the same multiset by a position-weighted checksum);
// the program prints the median time of each and its ratio to the baseline.
//
// Usage: bench_merge_sort [directory for run files (default $TEMP or /tmp)]
#include "zul_tempfile.h"

#include "zulos.h"

#include <algorithm>
#include <chrono>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <random>
#include <vector>

namespace {

struct Rec {
  uint64_t key;
  uint64_t pos;
};

constexpr int32_t kRecords = 1000000;
constexpr int32_t kRunRecords = 40000;  // 25 runs: groups of 10, 10 and 5, then 3
constexpr int kRounds = 5;

int by_key(const void* a, const void* b) {
  uint64_t x = static_cast<const Rec*>(a)->key, y = static_cast<const Rec*>(b)->key;
  return x < y ? -1 : x > y ? 1 : 0;
}

struct Source {
  const std::vector<Rec>* in;
  size_t next;
};
int32_t reader(void* ctx, void* buf, int32_t max) {
  Source* s = static_cast<Source*>(ctx);
  size_t n = std::min(static_cast<size_t>(max), s->in->size() - s->next);
  memcpy(buf, s->in->data() + s->next, n * sizeof(Rec));
  s->next += n;
  return static_cast<int32_t>(n);
}
int32_t writer(void* ctx, void* buf, int32_t count) {
  auto* out = static_cast<std::vector<Rec>*>(ctx);
  const Rec* r = static_cast<const Rec*>(buf);
  out->insert(out->end(), r, r + count);
  return count;
}

// Order by key, and a checksum that ignores order but not content.
bool check(const std::vector<Rec>& out, uint64_t want_sum) {
  if (out.size() != static_cast<size_t>(kRecords)) return false;
  uint64_t sum = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i && out[i - 1].key > out[i].key) return false;
    sum += out[i].key * 0x9E3779B97F4A7C15ull ^ out[i].pos;
  }
  return sum == want_sum;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const char* dir = argc > 1 ? argv[1] : zulos_temp_dir();
  std::mt19937_64 rng(2024);
  std::vector<Rec> in(kRecords);
  uint64_t want_sum = 0;
  for (int32_t i = 0; i < kRecords; ++i) {
    in[i] = Rec{rng(), static_cast<uint64_t>(i)};
    want_sum += in[i].key * 0x9E3779B97F4A7C15ull ^ in[i].pos;
  }

  using Clock = std::chrono::steady_clock;
  std::vector<double> base, in_memory, external;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Rec> copy = in;
    auto t0 = Clock::now();
    std::sort(copy.begin(), copy.end(), [](const Rec& a, const Rec& b) { return a.key < b.key; });
    base.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    if (!check(copy, want_sum)) {
      fprintf(stderr, "std::sort gave a wrong result\n");
      return 1;
    }

    const struct {
      int32_t run_records;
      std::vector<double>* times;
      const char* what;
    } kinds[] = {{kRecords, &in_memory, "in memory"}, {kRunRecords, &external, "external"}};
    for (const auto& k : kinds) {
      std::vector<Rec> out;
      out.reserve(kRecords);
      Source src{&in, 0};
      auto t1 = Clock::now();
      int32_t rc = SES_MergeSort(by_key, dir, &src, reader, &out, writer, sizeof(Rec), kRecords,
                                 k.run_records * static_cast<int32_t>(sizeof(Rec)),
                                 11 * 4096 * static_cast<int32_t>(sizeof(Rec)), 10);
      k.times->push_back(std::chrono::duration<double>(Clock::now() - t1).count());
      if (rc != 0 || !check(out, want_sum)) {
        fprintf(stderr, "SES_MergeSort (%s) failed: status %d\n", k.what, rc);
        return 1;
      }
    }
  }
  double b = median(base), m = median(in_memory), e = median(external);
  printf("records: %d of %zu bytes, %d rounds, median times\n", kRecords, sizeof(Rec), kRounds);
  printf("std::sort (baseline)            %8.3f s   1.00\n", b);
  printf("SES_MergeSort in memory         %8.3f s   %.2f x baseline\n", m, m / b);
  printf("SES_MergeSort 25 runs, 2 passes %8.3f s   %.2f x baseline\n", e, e / b);
  return 0;
}
