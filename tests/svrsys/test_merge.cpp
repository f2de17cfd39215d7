// The external merge sort: order, stability across runs, the pass
// structure, parameters that could never finish, failures, and run files
// that are always gone afterwards.
#include "zul_tempfile.h"

#include "zulos.h"

#include <algorithm>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Rec {
  uint64_t key;
  uint64_t seq;  // position in the input
};
constexpr int32_t kSize = (int32_t)sizeof(Rec);

int by_key(const void* a, const void* b) {
  uint64_t x = ((const Rec*)a)->key, y = ((const Rec*)b)->key;
  return x < y ? -1 : x > y ? 1 : 0;
}

struct Source {
  const std::vector<Rec>* recs;
  size_t pos;
  int32_t chunk;  // most records handed out per call
};
int32_t read_recs(void* ctx, void* buf, int32_t max) {
  Source* s = (Source*)ctx;
  size_t n = std::min({(size_t)max, (size_t)s->chunk, s->recs->size() - s->pos});
  if (n == 0) return 0;
  memcpy(buf, s->recs->data() + s->pos, n * sizeof(Rec));
  s->pos += n;
  return (int32_t)n;
}

struct Sink {
  std::vector<Rec> out;
  int calls = 0;
  int fail_at = -1;  // call that answers -77
};
int32_t write_recs(void* ctx, void* buf, int32_t count) {
  Sink* s = (Sink*)ctx;
  if (s->calls++ == s->fail_at) return -77;
  s->out.insert(s->out.end(), (Rec*)buf, (Rec*)buf + count);
  return count;
}

// What was written through the system-call table, by descriptor and offset.
std::map<int, std::vector<char>> g_images;
std::vector<int> g_fd_order;  // descriptors in the order of their first write
int64_t g_bytes_written = 0;
int g_fail_write_at = -1;
int g_writes = 0;
ssize_t tracking_pwrite(int fd, const void* buf, size_t len, off_t off) {
  if (g_writes++ == g_fail_write_at) {
    errno = ENOSPC;
    return -1;
  }
  if (!g_images.count(fd)) g_fd_order.push_back(fd);
  std::vector<char>& img = g_images[fd];
  if (img.size() < (size_t)off + len) img.resize((size_t)off + len);
  memcpy(img.data() + off, buf, len);
  g_bytes_written += (int64_t)len;
  return ::pwrite(fd, buf, len, off);
}

std::vector<Rec> descending(size_t n) {
  std::vector<Rec> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = Rec{n - i, i};
  return v;
}

class MergeSort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zulmsXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
    g_images.clear();
    g_fd_order.clear();
    g_bytes_written = 0;
    g_fail_write_at = -1;
    g_writes = 0;
    zulos_sys.pwrite = tracking_pwrite;
  }
  void TearDown() override {
    zulos_syscalls_reset();
    rmdir(dir_.c_str());
  }
  int entries() {
    int n = 0;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) ++n;
    closedir(d);
    return n;
  }
  int32_t sort(const std::vector<Rec>& in, int32_t count, int32_t run_records, int32_t order,
               int32_t merge_records, Sink* sink, int32_t chunk = INT32_MAX) {
    Source src{&in, 0, chunk};
    return SES_MergeSort(by_key, dir_.c_str(), &src, read_recs, sink, write_recs, kSize, count,
                         run_records * kSize, merge_records * kSize, order);
  }
  std::string dir_;
};

// A million records in 25 runs, merged in two passes (10, 10 and 5 runs,
// then 3), read in short pieces.
TEST_F(MergeSort, MillionRecordsInTwoPassesComeOutSortedAndWhole) {
  const int32_t n = 1000000, per_run = 40000;
  std::mt19937_64 rng(11);
  std::vector<Rec> in(n);
  for (int32_t i = 0; i < n; ++i) in[i] = Rec{rng() % (1u << 20), (uint64_t)i};
  Sink sink;
  ASSERT_EQ(0, sort(in, n, per_run, 10, 11 * 2048, &sink, 777));
  ASSERT_EQ((size_t)n, sink.out.size());
  for (int32_t i = 1; i < n; ++i) {
    const Rec &a = sink.out[i - 1], &b = sink.out[i];
    ASSERT_LE(a.key, b.key) << i;
    if (a.key == b.key) {
      ASSERT_LE(a.seq / per_run, b.seq / per_run) << "runs keep their order";
    }
  }
  auto full = [](const Rec& a, const Rec& b) { return a.key != b.key ? a.key < b.key : a.seq < b.seq; };
  std::vector<Rec> want = in, got = sink.out;
  std::sort(want.begin(), want.end(), full);
  std::sort(got.begin(), got.end(), full);
  ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin(),
                         [](const Rec& a, const Rec& b) { return a.key == b.key && a.seq == b.seq; }));
  EXPECT_EQ(2 * (int64_t)n * kSize, g_bytes_written) << "the runs, then one intermediate pass";
  EXPECT_EQ(2u, g_images.size());
  EXPECT_EQ(0, entries()) << "run files deleted";
}

TEST_F(MergeSort, FirstPassMergesGroupsOfTenTenAndFive) {
  const int32_t n = 1000;
  std::vector<Rec> in = descending(n);  // every run is a block of the top keys
  Sink sink;
  ASSERT_EQ(0, sort(in, n, 40, 10, 11 * 16, &sink));
  ASSERT_EQ(2u, g_images.size());
  // The second file holds the first pass: ascending stretches that break
  // exactly where a group of runs ends.
  const std::vector<char>& img = g_images[g_fd_order[1]];
  ASSERT_EQ((size_t)n * kSize, img.size());
  std::vector<Rec> pass(n);
  memcpy(pass.data(), img.data(), img.size());
  std::vector<int> breaks;
  for (int i = 1; i < n; ++i)
    if (pass[i].key < pass[i - 1].key) breaks.push_back(i);
  EXPECT_EQ((std::vector<int>{400, 800}), breaks);
  ASSERT_EQ((size_t)n, sink.out.size());
  EXPECT_TRUE(std::is_sorted(sink.out.begin(), sink.out.end(),
                             [](const Rec& a, const Rec& b) { return a.key < b.key; }));
}

TEST_F(MergeSort, PassesByRunCountAndOrder) {
  struct Row {
    const char* name;
    int32_t per_run, order, passes;  // passes through the second file
  };
  const Row kRows[] = {
      {"10 runs, order 10: straight to the writer", 100, 10, 0},
      {"25 runs, order 10", 40, 10, 1},
      {"12 runs, order 15 taken as 10", 84, 15, 1},
      {"5 runs, order 2: 5, 3, 2, then the writer", 200, 2, 2},
      {"3 runs, order 2", 334, 2, 1},
  };
  const int32_t n = 1000;
  std::mt19937 rng(3);
  std::vector<Rec> in(n);
  for (int32_t i = 0; i < n; ++i) in[i] = Rec{rng() % 50, (uint64_t)i};
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    g_bytes_written = 0;
    Sink sink;
    ASSERT_EQ(0, sort(in, n, r.per_run, r.order, 33, &sink, 13));
    EXPECT_EQ((int64_t)(1 + r.passes) * n * kSize, g_bytes_written);
    ASSERT_EQ((size_t)n, sink.out.size());
    for (int32_t i = 1; i < n; ++i) {
      const Rec &a = sink.out[i - 1], &b = sink.out[i];
      ASSERT_LE(a.key, b.key);
      if (a.key == b.key) {
        ASSERT_LE(a.seq / r.per_run, b.seq / r.per_run) << i;
      }
    }
    EXPECT_EQ(0, entries());
  }
}

TEST_F(MergeSort, WhatFitsInMemoryMakesNoFile) {
  static int opens;
  opens = 0;
  zulos_sys.open = [](const char* p, int f, mode_t m) -> int {
    ++opens;
    return ::open(p, f, m);
  };
  std::vector<Rec> in = descending(500);
  Sink sink;
  ASSERT_EQ(0, sort(in, 500, 500, 1, 0, &sink, 7)) << "merge settings are not needed";
  EXPECT_EQ(0, opens);
  EXPECT_EQ(1, sink.calls);
  ASSERT_EQ(500u, sink.out.size());
  for (int i = 0; i < 500; ++i) ASSERT_EQ((uint64_t)i + 1, sink.out[i].key);
  Sink empty;
  EXPECT_EQ(0, sort(in, 0, 10, 10, 100, &empty));
  EXPECT_EQ(0, empty.calls);
}

TEST_F(MergeSort, FailuresAndRefusedParameters) {
  struct Row {
    const char* name;
    int32_t input, count, per_run, order, merge_records;
    int writer_fails_at, write_fails_at;
    int32_t rc;
  };
  const Row kRows[] = {
      {"input short, in memory", 999, 1000, 2000, 10, 100, -1, -1, SES_SORT_SHORT_INPUT},
      {"input short, external", 999, 1000, 100, 10, 100, -1, -1, SES_SORT_SHORT_INPUT},
      {"writer fails in memory: its answer", 1000, 1000, 2000, 10, 100, 0, -1, -77},
      {"writer fails in the merge", 1000, 1000, 100, 10, 22, 2, -1, SES_SORT_FILE_ERROR},
      {"run file write fails", 1000, 1000, 100, 10, 100, -1, 3, SES_SORT_FILE_ERROR},
      {"intermediate pass write fails", 1000, 1000, 40, 10, 33, -1, 26, SES_SORT_FILE_ERROR},
      {"memory below one record", 1000, 1000, 0, 10, 100, -1, -1, SES_SORT_NO_MEMORY},
      {"merge memory below a record per buffer", 1000, 1000, 100, 10, 10, -1, -1, SES_SORT_NO_MEMORY},
      {"merge order 1 would never finish", 1000, 1000, 100, 1, 100, -1, -1, SES_SORT_BAD_PARAMETER},
      {"merge order 0", 1000, 1000, 100, 0, 100, -1, -1, SES_SORT_BAD_PARAMETER},
      {"negative count", 1000, -1, 100, 10, 100, -1, -1, SES_SORT_BAD_PARAMETER},
  };
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    std::vector<Rec> in = descending((size_t)r.input);
    Sink sink;
    sink.fail_at = r.writer_fails_at;
    g_writes = 0;
    g_fail_write_at = r.write_fails_at;
    EXPECT_EQ(r.rc, sort(in, r.count, r.per_run, r.order, r.merge_records, &sink, 50));
    g_fail_write_at = -1;
    EXPECT_EQ(0, entries()) << "run files deleted";
  }
  Sink sink;
  std::vector<Rec> in = descending(10);
  Source src{&in, 0, 10};
  EXPECT_EQ(SES_SORT_BAD_PARAMETER, SES_MergeSort(by_key, dir_.c_str(), &src, read_recs, &sink,
                                                  write_recs, 0, 10, 1000, 1000, 10));
  EXPECT_EQ(SES_SORT_BAD_PARAMETER, SES_MergeSort(nullptr, dir_.c_str(), &src, read_recs, &sink,
                                                  write_recs, kSize, 10, 1000, 1000, 10));
  std::string missing = dir_ + "/missing";
  EXPECT_EQ(SES_SORT_FILE_ERROR, SES_MergeSort(by_key, missing.c_str(), &src, read_recs, &sink,
                                               write_recs, kSize, 10, 5 * kSize, 1000, 10));
}

}  // namespace
