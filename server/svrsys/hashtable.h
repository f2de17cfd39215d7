// hashtable.h -- a hash table of fixed-size records kept in a file and paged
// through a small cache, so that a large table costs little memory.
//
// Records are keyed by their first key-length bytes. Slots are probed
// linearly from the key's hash; a table size is always one of the primes of
// ht_prime_size. The file holds a 184-byte header and then the pages: page p
// starts at byte 184 + p x slots-per-page x (record size + 1) and holds its
// slots' records followed by one byte per slot. A slot byte is 0 for an empty
// slot; for an occupied one it is 1 when no further record has the same key,
// else the distance to the next such record plus one (so a duplicate in the
// very next slot can be told from the end), and duplicates form a chain.
// At most 31 pages of 1024 bytes are cached; the next cache page in turn is
// reused, written back first when it was changed.
//
// Used by the code-page loader only; the functions are internal to the
// server library (not part of its exported interface).
#ifndef ZUL_HASHTABLE_H
#define ZUL_HASHTABLE_H

#include <stdint.h>

// Mode flags of ht_open.
#define HT_OPEN_EXISTING  2   // read the table from its file when it is there and fits
#define HT_DUPLICATES     4   // an insert of a present key adds a further record
#define HT_KEEP           8   // ht_close writes the table back and keeps the file
#define HT_REPLACE       16   // an insert of a present key replaces the record

// Operations of ht_search.
#define HT_INSERT          0  // store the record
#define HT_FIND            1  // is the key present
#define HT_FIND_COPY       2  // copy the first record of the key; remember it for HT_NEXT_DUP
#define HT_BY_SLOT         3  // copy the record of the slot whose number is the buffer's first int32
#define HT_NEXT_DUP        4  // copy the next record with the key of the remembered one
#define HT_FIND_COPY_ONCE  5  // as HT_FIND_COPY, without remembering

// Answers of ht_search besides a position (slot + 1, positive) and 0 (not
// found, or nothing inserted).
#define HT_FULL         (-1)  // table full, duplicate too far to chain, or slot out of range
#define HT_END_OF_DUPS  (-2)  // no further duplicate
#define HT_IO_ERROR     (-3)  // the table file could not be read or written

#define HT_PATH_CAP      128   // capacity of the path, terminator included
#define HT_HEADER_SIZE   184   // bytes of the header at the start of the file
#define HT_PAGE_SIZE     1024  // bytes of records per page (at least one record)
#define HT_MAX_CACHE     31    // cache pages at most
#define HT_MAX_SIZE      3210101  // largest size of the prime table; beyond it squares
#define HT_MAX_DUP_DISTANCE 254  // farthest slot a duplicate can be chained to

struct HT_CACHE_PAGE {
  int32_t page;      // page held, -1 for none
  uint8_t* data;     // slots-per-page records, then slots-per-page slot bytes
};

struct HTABLE {
  char path[HT_PATH_CAP];   // file of the table
  int32_t mode;             // HT_ flags
  int32_t cur_slot;         // slot of the record remembered for HT_NEXT_DUP, -1 for none
  int32_t cache_pages;      // pages in the cache
  int32_t key_pos;          // offset of the key in a record (0)
  int32_t key_len;          // bytes of the key
  int32_t record_size;      // bytes of a record
  int32_t slots_per_page;   // slots of one page
  int32_t pages;            // pages of the table
  int32_t size;             // slots of the table (a prime or a prime's square)
  int32_t next_cache;       // cache page to reuse next
  int32_t end_of_dups;      // 1 once HT_NEXT_DUP has run out
  int fd;                   // the open file
  int32_t last_cache;       // cache page used last (never the next one reused)
  HT_CACHE_PAGE* cache;     // cache_pages entries
  uint8_t* page_table;      // one byte per page (below)
};

// Page-table byte: how the page stands, and in the low 5 bits the cache page
// that holds it (valid only when that cache page names it).
#define HT_PT_NEVER     0x20  // never written: reads as empty
#define HT_PT_CHANGED   0x40  // changed in the cache since it was loaded
#define HT_PT_ON_FILE   0x80  // the file holds it
#define HT_PT_CACHE     0x1F

// ht_prime_size: the table size for a requested size: the smallest prime of
// the table that is at least requested; above HT_MAX_SIZE the smallest
// square of such a prime that is at least requested, or HT_MAX_SIZE squared.
int64_t ht_prime_size(int64_t requested);

// ht_open: opens (HT_OPEN_EXISTING) or creates the table at path. An
// existing file is used only when its header names the same path, key length
// and record size and describes a table of its own geometry; otherwise the
// table is made new. A new file is created (or truncated) with mode 0600,
// never through a symbolic link. Returns the table, or null for unusable
// arguments, a table too large (more than 2147483646 / 4 bytes of pages), or
// a file that cannot be opened.
HTABLE* ht_open(const char* path, int32_t mode, int32_t key_len, int32_t record_size,
                int32_t size);

// ht_close: with HT_KEEP writes every changed page and the header back and
// keeps the file; otherwise deletes it. Frees the table. Returns 0, or
// HT_IO_ERROR when the table could not be written back (it is freed anyway).
int32_t ht_close(HTABLE* ht);

// ht_search: runs operation op with record (at least record-size bytes) as
// key and buffer. Returns a position (slot + 1), 0, HT_FULL, HT_END_OF_DUPS
// or HT_IO_ERROR (above); an unknown operation or a null argument gives 0.
int32_t ht_search(HTABLE* ht, void* record, int32_t op);

// ---- paging, shared by the three files of the table ------------------------

// Bytes of one page on file and in the cache.
inline int64_t ht_page_bytes(const HTABLE* ht) {
  return (int64_t)ht->slots_per_page * (ht->record_size + 1);
}
// ht_page_fetch: brings page p into the cache; the cache page, or -1 when
// the page write-back or read failed.
int32_t ht_page_fetch(HTABLE* ht, int32_t p);
// ht_page_write: writes cache page c to its place in the file; 0 or -1.
int32_t ht_page_write(HTABLE* ht, int32_t c);
// ht_free: releases the memory of a table (the file is left alone).
void ht_free(HTABLE* ht);

#endif
