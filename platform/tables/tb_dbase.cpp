// tb_dbase.cpp -- the dBASE routines of the table libraries, over shapelib.
//
// Open files live in a small channel table (ZT_CHANNELS entries); a file
// number is an index into it. A file's header is checked here before
// shapelib sees it (see zultables.h), so that a truncated or lying header
// is refused instead of read past the end of the file. Records are handed
// over raw; decoding the fields is the caller's business.
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <shapefil.h>

#include "zultables.h"

namespace {

struct DbChannel {
  DBFHandle h;          // open file, or null for a free channel
  int writable;         // opened for writing or created
  int expect_recsize;   // record size announced by dbwhdrC (0 none)
  int expect_fields;    // field count announced by dbwhdrC
};

DbChannel g_channels[ZT_CHANNELS];

bool has_dbf_extension(const char* path) {
  size_t len = strlen(path);
  return len > 4 && strcasecmp(path + len - 4, ".dbf") == 0;
}

DbChannel* channel(int fileno) {
  if (fileno < 0 || fileno >= ZT_CHANNELS || g_channels[fileno].h == nullptr) return nullptr;
  return &g_channels[fileno];
}

int free_channel() {
  for (int i = 0; i < ZT_CHANNELS; ++i) {
    if (g_channels[i].h == nullptr) return i;
  }
  return -1;
}

unsigned le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
unsigned long le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

// Checks the header of the file at path as described in zultables.h.
// Returns 0, -1 when the file cannot be read, -3 for a bad header.
int check_header(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return -1;
  struct stat st;
  if (fstat(fileno(f), &st) != 0) {
    fclose(f);
    return -1;
  }
  unsigned long long fsize = static_cast<unsigned long long>(st.st_size);
  unsigned char head[32];
  int rc = 0;
  if (fread(head, 1, sizeof head, f) != sizeof head) {
    rc = -3;
  } else {
    unsigned long nrec = le32(head + 4);
    unsigned hlen = le16(head + 8);
    unsigned reclen = le16(head + 10);
    if (hlen < 33 || hlen > fsize || reclen < 2) rc = -3;
    unsigned long long sum = 1;
    int fields = 0;
    for (unsigned off = 32; rc == 0 && off + 32 <= hlen; off += 32) {
      unsigned char d[32];
      if (fread(d, 1, 1, f) != 1) {
        rc = -3;
        break;
      }
      if (d[0] == 0x0D) break;
      if (fread(d + 1, 1, 31, f) != 31) {
        rc = -3;
        break;
      }
      // Widths as shapelib reads them (one byte): the fields it will use
      // must tile the record exactly.
      unsigned width = d[16];
      if (width == 0 || d[0] == 0) rc = -3;
      sum += width;
      ++fields;
    }
    if (rc == 0 && (fields < 1 || fields > ZT_MAX_FIELDS || sum != reclen)) rc = -3;
    if (rc == 0 && hlen + static_cast<unsigned long long>(nrec) * reclen > fsize) rc = -3;
  }
  fclose(f);
  return rc;
}

}  // namespace

extern "C" {

int dbexisC(const char* path) {
  struct stat st;
  return path != nullptr && stat(path, &st) == 0 && S_ISREG(st.st_mode) ? 0 : -1;
}

int dbopenC(int* fileno, const char* path, int mode) {
  if (fileno == nullptr || path == nullptr || !has_dbf_extension(path)) return -1;
  int ch = free_channel();
  if (ch < 0) return -2;
  int rc = check_header(path);
  if (rc != 0) return rc;
  DBFHandle h = DBFOpen(path, mode == 1 ? "rb" : "rb+");
  if (h == nullptr) return -3;
  g_channels[ch] = DbChannel{h, mode != 1, 0, 0};
  *fileno = ch;
  return 0;
}

int dbinfC(int fileno, int what) {
  DbChannel* c = channel(fileno);
  if (c == nullptr) return -1;
  if (what == 3) return DBFGetFieldCount(c->h);
  if (what == 4) return DBFGetRecordCount(c->h);
  return -1;
}

int dbritmC(int fileno, int field, DBITEM* item) {
  DbChannel* c = channel(fileno);
  if (c == nullptr || item == nullptr || field < 1 || field > DBFGetFieldCount(c->h)) return -1;
  char name[XBASE_FLDNAME_LEN_READ + 1] = {0};
  int width = 0, decimals = 0;
  DBFGetFieldInfo(c->h, field - 1, name, &width, &decimals);
  memset(item, 0, sizeof *item);
  snprintf(item->name, sizeof item->name, "%.10s", name);
  item->type = DBFGetNativeFieldType(c->h, field - 1);
  item->width = width;
  item->decimals = decimals;
  return 0;
}

int dbrdatC(int fileno, char* buf, size_t cap, int recno) {
  DbChannel* c = channel(fileno);
  if (c == nullptr || buf == nullptr || recno < 1 || recno > DBFGetRecordCount(c->h)) return -1;
  int len = c->h->nRecordLength - 1;
  if (len < 0 || static_cast<size_t>(len) > cap) return -1;
  const char* tuple = DBFReadTuple(c->h, recno - 1);
  if (tuple == nullptr) return -1;
  if (tuple[0] == '*') return -2;
  memcpy(buf, tuple + 1, static_cast<size_t>(len));
  return 0;
}

int dbclosC(int fileno) {
  DbChannel* c = channel(fileno);
  if (c == nullptr) return -1;
  DBFClose(c->h);
  *c = DbChannel{};
  return 0;
}

int dbdeleC(const char* path) { return path != nullptr && unlink(path) == 0 ? 0 : -1; }

int dbcopyC(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return -1;
  FILE* in = fopen(from, "rb");
  if (in == nullptr) return -1;
  FILE* out = fopen(to, "wb");
  if (out == nullptr) {
    fclose(in);
    return -1;
  }
  char block[8192];
  size_t n;
  int rc = 0;
  while ((n = fread(block, 1, sizeof block, in)) > 0) {
    if (fwrite(block, 1, n, out) != n) {
      rc = -1;
      break;
    }
  }
  if (ferror(in)) rc = -1;
  fclose(in);
  if (fclose(out) != 0) rc = -1;
  if (rc != 0) unlink(to);
  return rc;
}

int dbcreaC(int* fileno, const char* path) {
  if (fileno == nullptr || path == nullptr || !has_dbf_extension(path)) return -1;
  int ch = free_channel();
  if (ch < 0) return -2;
  DBFHandle h = DBFCreateEx(path, "LDID/87");
  if (h == nullptr) return -1;
  g_channels[ch] = DbChannel{h, 1, 0, 0};
  *fileno = ch;
  return 0;
}

int dbwhdrC(int fileno, int recsize, int fields) {
  DbChannel* c = channel(fileno);
  if (c == nullptr || !c->writable || recsize < 1 || recsize > ZT_MAX_RECSIZE - 1 || fields < 1 ||
      fields > ZT_MAX_FIELDS)
    return -1;
  c->expect_recsize = recsize;
  c->expect_fields = fields;
  return 0;
}

int dbwitmC(int fileno, const DBITEM* item) {
  DbChannel* c = channel(fileno);
  if (c == nullptr || item == nullptr || !c->writable || item->width < 1 || item->width > 254 ||
      item->decimals < 0 || item->decimals > 15 || DBFGetRecordCount(c->h) != 0)
    return -1;
  if (c->expect_fields > 0 && DBFGetFieldCount(c->h) >= c->expect_fields) return -1;
  return DBFAddNativeFieldType(c->h, item->name, item->type, item->width, item->decimals) < 0 ? -1 : 0;
}

int dbwdatC(int fileno, const char* buf, int recno) {
  DbChannel* c = channel(fileno);
  if (c == nullptr || buf == nullptr || !c->writable) return -1;
  int count = DBFGetRecordCount(c->h);
  if (recno < 1 || recno > count + 1) return -1;
  int len = c->h->nRecordLength - 1;
  if (len < 1 || (c->expect_recsize > 0 && len != c->expect_recsize) ||
      (c->expect_fields > 0 && DBFGetFieldCount(c->h) != c->expect_fields))
    return -1;
  char tuple[ZT_MAX_RECSIZE + 1];
  tuple[0] = ' ';
  memcpy(tuple + 1, buf, static_cast<size_t>(len));
  return DBFWriteTuple(c->h, recno - 1, tuple) ? 0 : -1;
}

}  // extern "C"
