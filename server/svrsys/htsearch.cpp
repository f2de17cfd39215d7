// htsearch.cpp -- insertion and look-up in a file-backed hash table, and the
// paging under them.
//
// Notes:
//  1. A slot is reached only through ht_page_fetch, and a pointer into a
//     cache page is used only until the next fetch, which may reuse that
//     cache page for another page.
//  2. Records are never removed, so every record of a key lies on the probe
//     path from the key's hash to the first empty slot, and duplicates lie
//     in insertion order along it.
//  3. A duplicate is chained by the slot byte of the previous record of its
//     key, which holds the distance plus one: 1 already means "no further
//     duplicate", so a duplicate in the very next slot needs a code of its
//     own. A distance above 254 cannot be written; such an insert is refused
//     (HT_FULL) rather than stored where iteration would never find it.
#include "hashtable.h"

#include "zulos.h"

#include <errno.h>
#include <string.h>

namespace {

uint8_t* slot_record(HTABLE* ht, int32_t c, int32_t slot) {
  return ht->cache[c].data + (int64_t)(slot % ht->slots_per_page) * ht->record_size;
}
uint8_t* slot_byte(HTABLE* ht, int32_t c, int32_t slot) {
  return ht->cache[c].data + (int64_t)ht->slots_per_page * ht->record_size +
         slot % ht->slots_per_page;
}
int32_t page_of(const HTABLE* ht, int32_t slot) { return slot / ht->slots_per_page; }
void mark_changed(HTABLE* ht, int32_t slot) {
  ht->page_table[page_of(ht, slot)] |= HT_PT_CHANGED;
}

int32_t hash(const HTABLE* ht, const uint8_t* key) {
  uint64_t h = 0;
  for (int32_t i = 0; i < ht->key_len; ++i) h = (h * 256 + key[i]) % (uint64_t)ht->size;
  return (int32_t)h;
}

// Copies the record of slot (on its fetched cache page c) to buf.
int32_t copy_out(HTABLE* ht, int32_t c, int32_t slot, void* buf) {
  memcpy(buf, slot_record(ht, c, slot), (size_t)ht->record_size);
  return slot + 1;
}

// Stores record in the empty slot, chained from prev (or -1) at distance dist.
int32_t store(HTABLE* ht, const void* record, int32_t slot, int32_t prev, int32_t dist) {
  if (prev >= 0) {
    int32_t c = ht_page_fetch(ht, page_of(ht, prev));
    if (c < 0) return HT_IO_ERROR;
    *slot_byte(ht, c, prev) = (uint8_t)(dist + 1);
    mark_changed(ht, prev);
  }
  int32_t c = ht_page_fetch(ht, page_of(ht, slot));
  if (c < 0) return HT_IO_ERROR;
  memcpy(slot_record(ht, c, slot), record, (size_t)ht->record_size);
  *slot_byte(ht, c, slot) = 1;
  mark_changed(ht, slot);
  return slot + 1;
}

}  // namespace

int32_t ht_page_write(HTABLE* ht, int32_t c) {
  int32_t p = ht->cache[c].page;
  int64_t len = ht_page_bytes(ht);
  int64_t off = HT_HEADER_SIZE + (int64_t)p * len;
  const uint8_t* data = ht->cache[c].data;
  while (len > 0) {
    ssize_t n = zulos_sys.pwrite(ht->fd, data, (size_t)len, (off_t)off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    data += n;
    len -= n;
    off += n;
  }
  ht->page_table[p] = HT_PT_ON_FILE | (uint8_t)c;
  return 0;
}

int32_t ht_page_fetch(HTABLE* ht, int32_t p) {
  int32_t c = ht->page_table[p] & HT_PT_CACHE;
  if (c < ht->cache_pages && ht->cache[c].page == p) {
    ht->last_cache = c;
    return c;
  }
  c = ht->next_cache;
  if (c == ht->last_cache && ht->cache_pages > 1) c = (c + 1) % ht->cache_pages;
  ht->next_cache = (c + 1) % ht->cache_pages;

  int32_t old = ht->cache[c].page;
  if (old >= 0) {
    if ((ht->page_table[old] & HT_PT_CHANGED) && ht_page_write(ht, c) != 0) return -1;
    ht->page_table[old] &= (uint8_t)(HT_PT_ON_FILE | HT_PT_NEVER);
    ht->cache[c].page = -1;
  }
  uint8_t* data = ht->cache[c].data;
  int64_t len = ht_page_bytes(ht);
  memset(data, 0, (size_t)len);
  if (ht->page_table[p] & HT_PT_ON_FILE) {
    // A page that the file holds only in part reads as empty where it ends.
    int64_t off = HT_HEADER_SIZE + (int64_t)p * len;
    int64_t got = 0;
    while (got < len) {
      ssize_t n = zulos_sys.pread(ht->fd, data + got, (size_t)(len - got), (off_t)(off + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      got += n;
    }
  }
  ht->page_table[p] = (uint8_t)((ht->page_table[p] & (HT_PT_ON_FILE | HT_PT_NEVER)) | c);
  ht->cache[c].page = p;
  ht->last_cache = c;
  return c;
}

int32_t ht_search(HTABLE* ht, void* record, int32_t op) {
  if (!ht || !record) return 0;
  uint8_t* rec = (uint8_t*)record;

  if (op == HT_BY_SLOT) {
    int32_t slot;
    memcpy(&slot, rec, sizeof slot);
    if (slot < 0 || slot >= ht->size) return HT_FULL;
    int32_t c = ht_page_fetch(ht, page_of(ht, slot));
    if (c < 0) return HT_IO_ERROR;
    if (*slot_byte(ht, c, slot) == 0) return 0;
    return copy_out(ht, c, slot, rec);
  }

  if (op == HT_NEXT_DUP) {
    if (ht->end_of_dups || ht->cur_slot < 0) return HT_END_OF_DUPS;
    int32_t c = ht_page_fetch(ht, page_of(ht, ht->cur_slot));
    if (c < 0) return HT_IO_ERROR;
    int32_t dist = *slot_byte(ht, c, ht->cur_slot) - 1;
    if (dist < 1) {
      ht->end_of_dups = 1;
      return HT_END_OF_DUPS;
    }
    int32_t next = (int32_t)(((int64_t)ht->cur_slot + dist) % ht->size);
    c = ht_page_fetch(ht, page_of(ht, next));
    if (c < 0) return HT_IO_ERROR;
    if (*slot_byte(ht, c, next) == 0) {  // a damaged chain in a kept file
      ht->end_of_dups = 1;
      return HT_END_OF_DUPS;
    }
    ht->cur_slot = next;
    return copy_out(ht, c, next, rec);
  }

  if (op < HT_INSERT || op > HT_FIND_COPY_ONCE) return 0;
  const uint8_t* key = rec + ht->key_pos;
  int32_t start = hash(ht, key);
  int32_t prev = -1;  // last record of the key met so far (duplicates)
  for (int64_t i = 0; i < ht->size; ++i) {
    int32_t slot = (int32_t)((start + i) % ht->size);
    int32_t c = ht_page_fetch(ht, page_of(ht, slot));
    if (c < 0) return HT_IO_ERROR;
    if (*slot_byte(ht, c, slot) == 0) {
      if (op != HT_INSERT) return 0;
      int32_t dist = 0;
      if (prev >= 0) {
        dist = (int32_t)(((int64_t)slot - prev + ht->size) % ht->size);
        if (dist > HT_MAX_DUP_DISTANCE) return HT_FULL;
      }
      return store(ht, rec, slot, prev, dist);
    }
    if (memcmp(slot_record(ht, c, slot) + ht->key_pos, key, (size_t)ht->key_len) != 0) continue;
    switch (op) {
      case HT_INSERT:
        if (ht->mode & HT_REPLACE) {
          memcpy(slot_record(ht, c, slot), rec, (size_t)ht->record_size);
          mark_changed(ht, slot);
          return slot + 1;
        }
        if (!(ht->mode & HT_DUPLICATES)) return 0;
        prev = slot;
        continue;
      case HT_FIND:
        return slot + 1;
      case HT_FIND_COPY:
        ht->cur_slot = slot;
        ht->end_of_dups = 0;
        return copy_out(ht, c, slot, rec);
      default:  // HT_FIND_COPY_ONCE
        return copy_out(ht, c, slot, rec);
    }
  }
  return op == HT_INSERT ? HT_FULL : 0;
}
