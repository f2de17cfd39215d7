// The file-backed hash table: sizes, insert and search semantics, paging
// against an in-memory model, keeping and reopening, and a full table.
#include "hashtable.h"

#include "zulos.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A record: a 4-byte big-endian key (so key n hashes to n mod size) and a
// 12-byte payload.
struct Rec {
  unsigned char b[16];
};
Rec rec(uint32_t key, uint32_t payload = 0) {
  Rec r;
  memset(r.b, 0, sizeof r.b);
  r.b[0] = (unsigned char)(key >> 24);
  r.b[1] = (unsigned char)(key >> 16);
  r.b[2] = (unsigned char)(key >> 8);
  r.b[3] = (unsigned char)key;
  memcpy(r.b + 4, &payload, sizeof payload);
  return r;
}
uint32_t payload(const Rec& r) {
  uint32_t p;
  memcpy(&p, r.b + 4, sizeof p);
  return p;
}

class HashTable : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = "/tmp/zulht" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    path_.resize(std::min<size_t>(path_.size(), HT_PATH_CAP - 1));
    unlink(path_.c_str());
  }
  void TearDown() override {
    zulos_syscalls_reset();
    unlink(path_.c_str());
  }
  HTABLE* open(int32_t mode, int32_t size, int32_t key_len = 4, int32_t rec_size = 16) {
    return ht_open(path_.c_str(), mode, key_len, rec_size, size);
  }
  std::string path_;
};

TEST(HashTableSize, PrimeForRequestedSize) {
  struct Row {
    int64_t requested, size;
  };
  const Row kRows[] = {
      {0, 101},         {101, 101},         {102, 1103},         {180, 1103},
      {1104, 2111},     {100103, 100103},   {100104, 155119},    {3000104, 3210101},
      {3210101, 3210101}, {3210102, 2111LL * 2111}, {4456322, 3109LL * 3109},
      {10000000000000LL, 3210101LL * 3210101},
  };
  for (const Row& r : kRows) EXPECT_EQ(r.size, ht_prime_size(r.requested)) << r.requested;
}

TEST_F(HashTable, GeometryOfANewTable) {
  HTABLE* ht = open(0, 180);
  ASSERT_NE(nullptr, ht);
  EXPECT_EQ(1103, ht->size);
  EXPECT_EQ(64, ht->slots_per_page);
  EXPECT_EQ(18, ht->pages);
  EXPECT_EQ(18, ht->cache_pages);
  EXPECT_EQ(0, ht_close(ht));
  // Refused: a key longer than the record, an empty record, too many pages,
  // a path longer than the header holds.
  EXPECT_EQ(nullptr, open(0, 180, 17, 16));
  EXPECT_EQ(nullptr, open(0, 180, 0, 16));
  EXPECT_EQ(nullptr, open(0, 2000000000, 4, 16));
  EXPECT_EQ(nullptr, ht_open(std::string(200, 'x').c_str(), 0, 4, 16, 180));
}

TEST_F(HashTable, InsertOfAPresentKeyByMode) {
  struct Row {
    const char* name;
    int32_t mode;
    bool second_stored;
    uint32_t found_payload;
  };
  const Row kRows[] = {
      {"kept first", 0, false, 1},
      {"replaced", HT_REPLACE, true, 2},
      {"duplicate added", HT_DUPLICATES, true, 1},
  };
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    HTABLE* ht = open(r.mode, 180);
    ASSERT_NE(nullptr, ht);
    Rec a = rec(7, 1), b = rec(7, 2);
    int32_t first = ht_search(ht, &a, HT_INSERT);
    EXPECT_GT(first, 0);
    int32_t second = ht_search(ht, &b, HT_INSERT);
    if (r.second_stored) {
      EXPECT_GT(second, 0);
    } else {
      EXPECT_EQ(0, second);
    }
    Rec q = rec(7);
    EXPECT_EQ(first, ht_search(ht, &q, HT_FIND_COPY));
    EXPECT_EQ(r.found_payload, payload(q));
    Rec absent = rec(8);
    EXPECT_EQ(0, ht_search(ht, &absent, HT_FIND));
    ht_close(ht);
    EXPECT_FALSE(exists(path_)) << "closed without HT_KEEP leaves no file";
  }
}

TEST_F(HashTable, DuplicatesIterateInInsertionOrderThenEnd) {
  HTABLE* ht = open(HT_DUPLICATES, 180);
  ASSERT_NE(nullptr, ht);
  for (uint32_t p = 1; p <= 3; ++p) {
    Rec r = rec(42, p);
    ASSERT_GT(ht_search(ht, &r, HT_INSERT), 0);
    Rec other = rec(42 + 1103 * p, 99);  // same slot chain, other key
    ASSERT_GT(ht_search(ht, &other, HT_INSERT), 0);
  }
  Rec q = rec(42);
  ASSERT_GT(ht_search(ht, &q, HT_FIND_COPY), 0);
  EXPECT_EQ(1u, payload(q));
  ASSERT_GT(ht_search(ht, &q, HT_NEXT_DUP), 0);
  EXPECT_EQ(2u, payload(q));
  ASSERT_GT(ht_search(ht, &q, HT_NEXT_DUP), 0);
  EXPECT_EQ(3u, payload(q));
  EXPECT_EQ(HT_END_OF_DUPS, ht_search(ht, &q, HT_NEXT_DUP));
  EXPECT_EQ(HT_END_OF_DUPS, ht_search(ht, &q, HT_NEXT_DUP));
  // HT_FIND_COPY_ONCE does not restart the iteration.
  Rec once = rec(42);
  EXPECT_GT(ht_search(ht, &once, HT_FIND_COPY_ONCE), 0);
  EXPECT_EQ(HT_END_OF_DUPS, ht_search(ht, &q, HT_NEXT_DUP));
  ht_close(ht);
}

TEST_F(HashTable, DuplicateTooFarToChainIsRefusedNotLost) {
  // Key n lands in slot n (size 1103). Key 5, then keys filling the slots
  // after it, then a duplicate of 5 in the very next slot, at distance 254
  // (both chained), or at 255 (too far).
  for (uint32_t fill : {0u, 253u, 254u}) {
    SCOPED_TRACE(fill);
    HTABLE* ht = open(HT_DUPLICATES, 1103);
    ASSERT_NE(nullptr, ht);
    Rec first = rec(5, 1);
    ASSERT_EQ(6, ht_search(ht, &first, HT_INSERT));
    for (uint32_t k = 6; k < 6 + fill; ++k) {
      Rec r = rec(k);
      ASSERT_EQ((int32_t)k + 1, ht_search(ht, &r, HT_INSERT));
    }
    Rec dup = rec(5, 2);
    int32_t pos = ht_search(ht, &dup, HT_INSERT);
    Rec q = rec(5);
    ASSERT_GT(ht_search(ht, &q, HT_FIND_COPY), 0);
    if (fill < 254) {
      EXPECT_EQ((int32_t)(5 + fill + 1 + 1), pos);
      ASSERT_GT(ht_search(ht, &q, HT_NEXT_DUP), 0);
      EXPECT_EQ(2u, payload(q));
    } else {
      EXPECT_EQ(HT_FULL, pos);
      EXPECT_EQ(HT_END_OF_DUPS, ht_search(ht, &q, HT_NEXT_DUP));
    }
    ht_close(ht);
  }
}

TEST_F(HashTable, FullTableAndSlotAccess) {
  HTABLE* ht = open(0, 101);
  ASSERT_NE(nullptr, ht);
  for (uint32_t k = 0; k < 101; ++k) {
    Rec r = rec(k * 7 + 3, k);
    ASSERT_GT(ht_search(ht, &r, HT_INSERT), 0) << k;
  }
  Rec more = rec(1000000);
  EXPECT_EQ(HT_FULL, ht_search(ht, &more, HT_INSERT));
  EXPECT_EQ(0, ht_search(ht, &more, HT_FIND)) << "a look-up in a full table finds nothing";
  Rec present = rec(3);
  int32_t pos = ht_search(ht, &present, HT_FIND);
  ASSERT_GT(pos, 0);
  struct Row {
    int32_t slot, expect;
  };
  for (Row r : {Row{pos - 1, pos}, Row{-1, HT_FULL}, Row{101, HT_FULL}}) {
    Rec q;
    memset(q.b, 0, sizeof q.b);
    memcpy(q.b, &r.slot, sizeof r.slot);
    EXPECT_EQ(r.expect, ht_search(ht, &q, HT_BY_SLOT)) << r.slot;
    if (r.expect > 0) {
      EXPECT_EQ(0u, payload(q));
    }
  }
  ht_close(ht);
  ht = open(0, 101);
  Rec q;
  int32_t slot = 50;
  memcpy(q.b, &slot, sizeof slot);
  EXPECT_EQ(0, ht_search(ht, &q, HT_BY_SLOT)) << "an empty slot";
  ht_close(ht);
}

// Many more records than the cache holds, with duplicates, against a model.
TEST_F(HashTable, PagingAgreesWithAModel) {
  HTABLE* ht = open(HT_DUPLICATES, 9000);
  ASSERT_NE(nullptr, ht);
  ASSERT_EQ(HT_MAX_CACHE, ht->cache_pages);
  ASSERT_GT(ht->pages, 4 * HT_MAX_CACHE);
  std::mt19937 rng(7);
  std::multimap<uint32_t, uint32_t> model;
  // Keys spread over the table (a plain 0..2999 would all hash into one
  // run of slots), with duplicates.
  auto key_of = [](uint32_t k) { return k * 2654435761u; };
  for (uint32_t i = 0; i < 5000; ++i) {
    uint32_t key = key_of(rng() % 3000);
    Rec r = rec(key, i);
    ASSERT_GT(ht_search(ht, &r, HT_INSERT), 0);
    model.emplace(key, i);
  }
  for (uint32_t k = 0; k < 3000; ++k) {
    uint32_t key = key_of(k);
    auto range = model.equal_range(key);
    std::vector<uint32_t> want, got;
    for (auto it = range.first; it != range.second; ++it) want.push_back(it->second);
    Rec q = rec(key);
    int32_t pos = ht_search(ht, &q, HT_FIND_COPY);
    for (; pos > 0; pos = ht_search(ht, &q, HT_NEXT_DUP)) got.push_back(payload(q));
    ASSERT_EQ(want, got) << key;
    ASSERT_EQ(want.empty() ? 0 : HT_END_OF_DUPS, pos) << key;
  }
  ht_close(ht);
}

TEST_F(HashTable, KeptTableReopensWithItsRecords) {
  HTABLE* ht = open(HT_KEEP, 9000);
  ASSERT_NE(nullptr, ht);
  for (uint32_t k = 0; k < 5000; ++k) {
    Rec r = rec(k * 13, k);
    ASSERT_GT(ht_search(ht, &r, HT_INSERT), 0);
  }
  ASSERT_EQ(0, ht_close(ht));
  ASSERT_TRUE(exists(path_));

  ht = open(HT_OPEN_EXISTING | HT_KEEP, 9000);
  ASSERT_NE(nullptr, ht);
  for (uint32_t k = 0; k < 5000; ++k) {
    Rec q = rec(k * 13);
    ASSERT_GT(ht_search(ht, &q, HT_FIND_COPY), 0) << k;
    ASSERT_EQ(k, payload(q));
  }
  Rec absent = rec(1);
  EXPECT_EQ(0, ht_search(ht, &absent, HT_FIND));
  ASSERT_EQ(0, ht_close(ht));

  // A kept file whose record size differs from the caller's is not believed
  // (its records would not fit the caller's buffer): the table starts anew.
  ht = ht_open(path_.c_str(), HT_OPEN_EXISTING, 4, 8, 9000);
  ASSERT_NE(nullptr, ht);
  unsigned char small[8] = {0, 0, 0, 13};
  EXPECT_EQ(0, ht_search(ht, small, HT_FIND_COPY));
  ht_close(ht);
  EXPECT_FALSE(exists(path_));
}

TEST_F(HashTable, FailedWriteBackIsReported) {
  HTABLE* ht = open(HT_KEEP, 9000);
  ASSERT_NE(nullptr, ht);
  for (uint32_t k = 0; k < 100; ++k) {
    Rec r = rec(k * 101, k);
    ASSERT_GT(ht_search(ht, &r, HT_INSERT), 0);
  }
  zulos_sys.pwrite = [](int, const void*, size_t, off_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  // Filling pages in turn forces a changed page out of the cache.
  int32_t rc = 0;
  for (uint32_t k = 0; k < 9000 && rc >= 0; ++k) {
    Rec r = rec(k * 64 + 1, k);
    rc = ht_search(ht, &r, HT_INSERT);
  }
  EXPECT_EQ(HT_IO_ERROR, rc);
  EXPECT_EQ(HT_IO_ERROR, ht_close(ht));
}

}  // namespace
