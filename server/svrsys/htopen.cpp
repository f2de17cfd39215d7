// htopen.cpp -- opening a file-backed hash table: a new one, or one kept in
// its file by an earlier ht_close.
//
// The header on file is written field by field (little-endian 32-bit words
// after the 128-byte path; the last three words, which held pointers, are 0).
// A kept file is believed only as far as it is checked: its path, key length
// and record size must be the caller's (a larger record size would make a
// search copy past the caller's buffer), and its geometry must be the one
// those values give. Which pages it holds follows from its length; a page
// that ends past the end of the file reads as empty where it is missing.
#include "hashtable.h"

#include "zulos.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

constexpr int64_t kMaxPageBytes = 2147483646;  // page size x pages x 4 must stay within

int32_t get32(const uint8_t* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                   (uint32_t)p[3] << 24);
}

// Geometry that a key length, record size and table size give; false when
// the table cannot be made.
bool geometry(HTABLE* ht, int32_t key_len, int32_t record_size, int64_t size) {
  if (key_len < 1 || record_size < 1 || key_len > record_size || size < 1 || size > INT32_MAX)
    return false;
  int64_t page_size = record_size > HT_PAGE_SIZE ? record_size : HT_PAGE_SIZE;
  int64_t spp = page_size / record_size;
  int64_t pages = (size - 1) / spp + 1;
  if (page_size * pages * 4 > kMaxPageBytes) return false;
  int64_t cache = ((int64_t)record_size * size + page_size - 1) / page_size;
  ht->key_pos = 0;
  ht->key_len = key_len;
  ht->record_size = record_size;
  ht->size = (int32_t)size;
  ht->slots_per_page = (int32_t)spp;
  ht->pages = (int32_t)pages;
  ht->cache_pages = (int32_t)(cache < HT_MAX_CACHE ? cache : HT_MAX_CACHE);
  if (ht->cache_pages < 1) ht->cache_pages = 1;
  return true;
}

// Allocates the cache and the page table of a table whose geometry is set.
bool allocate(HTABLE* ht) {
  ht->cache = (HT_CACHE_PAGE*)calloc((size_t)ht->cache_pages, sizeof(HT_CACHE_PAGE));
  ht->page_table = (uint8_t*)malloc((size_t)ht->pages);
  if (!ht->cache || !ht->page_table) return false;
  for (int32_t c = 0; c < ht->cache_pages; ++c) {
    ht->cache[c].page = -1;
    ht->cache[c].data = (uint8_t*)calloc(1, (size_t)ht_page_bytes(ht));
    if (!ht->cache[c].data) return false;
  }
  memset(ht->page_table, HT_PT_NEVER, (size_t)ht->pages);
  return true;
}

// Reads the kept table at path into ht; false when it is not usable.
bool open_kept(HTABLE* ht, const char* path, int32_t key_len, int32_t record_size) {
  int fd = zulos_sys.open(path, O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0);
  if (fd < 0) return false;
  uint8_t h[HT_HEADER_SIZE];
  ssize_t n = zulos_sys.pread(fd, h, sizeof h, 0);
  struct stat st;
  bool ok = n == (ssize_t)sizeof h && fstat(fd, &st) == 0 &&
            memchr(h, '\0', HT_PATH_CAP) != nullptr && strcmp((const char*)h, path) == 0;
  if (ok) {
    const uint8_t* w = h + HT_PATH_CAP;  // mode, current slot, cache pages, key position,
    int32_t stored_key = get32(w + 16);  // key length, record size, slots per page, pages,
    int32_t stored_rec = get32(w + 20);  // size, next cache page, end-of-duplicates
    int32_t stored_size = get32(w + 32);
    ok = stored_key == key_len && stored_rec == record_size && get32(w + 12) == 0 &&
         ht_prime_size(stored_size) == stored_size &&
         geometry(ht, stored_key, stored_rec, stored_size) &&
         get32(w + 24) == ht->slots_per_page && get32(w + 28) == ht->pages && allocate(ht);
  }
  if (!ok) {
    zulos_sys.close(fd);
    return false;
  }
  ht->fd = fd;
  for (int32_t p = 0; p < ht->pages; ++p)
    if (HT_HEADER_SIZE + (int64_t)p * ht_page_bytes(ht) < (int64_t)st.st_size)
      ht->page_table[p] = HT_PT_ON_FILE;
  return true;
}

}  // namespace

void ht_free(HTABLE* ht) {
  if (!ht) return;
  if (ht->cache) {
    for (int32_t c = 0; c < ht->cache_pages; ++c) free(ht->cache[c].data);
    free(ht->cache);
  }
  free(ht->page_table);
  free(ht);
}

HTABLE* ht_open(const char* path, int32_t mode, int32_t key_len, int32_t record_size,
                int32_t size) {
  if (!path || strlen(path) >= HT_PATH_CAP) return nullptr;
  // An empty record for path; the length was checked above.
  auto blank = [&]() {
    HTABLE* t = (HTABLE*)calloc(1, sizeof(HTABLE));
    if (!t) return t;
    strcpy(t->path, path);
    t->mode = mode;
    t->cur_slot = -1;
    t->fd = -1;
    return t;
  };
  HTABLE* ht = blank();
  if (!ht) return nullptr;
  if ((mode & HT_OPEN_EXISTING) && open_kept(ht, path, key_len, record_size)) return ht;

  // A new table. What a failed open_kept allocated is dropped first.
  ht_free(ht);
  ht = blank();
  if (!ht) return nullptr;
  if (!geometry(ht, key_len, record_size, ht_prime_size(size)) || !allocate(ht)) {
    ht_free(ht);
    return nullptr;
  }
  ht->fd = zulos_sys.open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (ht->fd < 0) {
    ht_free(ht);
    return nullptr;
  }
  return ht;
}
