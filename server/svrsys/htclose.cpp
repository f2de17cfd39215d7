// htclose.cpp -- closing a file-backed hash table: written back and kept, or
// deleted.
#include "hashtable.h"

#include "zulos.h"

#include <string.h>

namespace {

void put32(uint8_t* p, int32_t v) {
  uint32_t u = (uint32_t)v;
  p[0] = (uint8_t)u;
  p[1] = (uint8_t)(u >> 8);
  p[2] = (uint8_t)(u >> 16);
  p[3] = (uint8_t)(u >> 24);
}

// The header image: the path, eleven 32-bit fields, three zero words where
// the in-memory pointers were.
void encode_header(const HTABLE* ht, uint8_t* h) {
  memset(h, 0, HT_HEADER_SIZE);
  memcpy(h, ht->path, strnlen(ht->path, HT_PATH_CAP - 1));
  const int32_t fields[] = {ht->mode,        ht->cur_slot,       ht->cache_pages,
                            ht->key_pos,     ht->key_len,        ht->record_size,
                            ht->slots_per_page, ht->pages,       ht->size,
                            ht->next_cache,  ht->end_of_dups};
  uint8_t* w = h + HT_PATH_CAP;
  for (int32_t f : fields) {
    put32(w, f);
    w += 4;
  }
}

}  // namespace

int32_t ht_close(HTABLE* ht) {
  if (!ht) return 0;
  int32_t rc = 0;
  if (ht->mode & HT_KEEP) {
    for (int32_t c = 0; c < ht->cache_pages; ++c) {
      int32_t p = ht->cache[c].page;
      if (p >= 0 && (ht->page_table[p] & HT_PT_CHANGED) && ht_page_write(ht, c) != 0)
        rc = HT_IO_ERROR;
    }
    uint8_t h[HT_HEADER_SIZE];
    encode_header(ht, h);
    if (zulos_sys.pwrite(ht->fd, h, sizeof h, 0) != (ssize_t)sizeof h) rc = HT_IO_ERROR;
    if (zulos_sys.close(ht->fd) != 0) rc = HT_IO_ERROR;
  } else {
    zulos_sys.close(ht->fd);
    zulos_sys.unlink(ht->path);
  }
  ht_free(ht);
  return rc;
}
