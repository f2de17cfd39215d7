// tb_info.cpp -- the INFO routines of the table libraries: an own store of
// INFO tables (file layout in zultables.h).
//
// Open tables live in a channel table (ZT_CHANNELS entries); a table number
// is an index into it. The definition file is read line by line into
// bounded buffers and every item is checked (type, widths, positions,
// record size) before a table is handed out; the data file's size must be
// a whole number of records. Writes go to the data file at once; the
// definition file is rewritten (through a temporary file and a rename) when
// items are added and when a table opened for writing is closed.
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zultables.h"

namespace {

struct InfTable {
  bool open = false;
  INFPATH parts{};
  int access = 0;                  // 1 read, 14 write
  std::vector<INFITEM> items;
  int recsize = 0;                 // bytes of a record, flag byte excluded
  FILE* dat = nullptr;
  int nrec = 0;
  int committed = 0;
};

InfTable g_tables[ZT_CHANNELS];

std::string def_path(const INFPATH* p) { return std::string(p->path) + ".def"; }
std::string dat_path(const INFPATH* p) { return std::string(p->path) + ".dat"; }

bool valid_item_name(const char* name) {
  size_t len = strlen(name);
  if (len < 1 || len > 16) return false;
  for (size_t i = 0; i < len; ++i) {
    char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' || c == '-')) return false;
  }
  return true;
}

// The item rules of the store: a type it knows, widths that the encodings
// can hold, decimals only where the type has them.
bool valid_item(const INFITEM& it) {
  if (!valid_item_name(it.name) || it.output < 0 || it.decimals < -1 || it.decimals > 15) return false;
  switch (it.type) {
    case 1: return it.storage == 8 && it.decimals == -1;
    case 2: return it.storage >= 1 && it.storage <= 320 && it.decimals == -1;
    case 3: return it.storage >= 1 && it.storage <= 16 && it.decimals == -1;
    case 4: return it.storage >= 1 && it.storage <= 16;
    case 5: return (it.storage == 2 || it.storage == 4) && it.decimals == -1;
    case 6: return it.storage == 4 || it.storage == 8;
    default: return false;
  }
}

// Reads the definition file. Returns 0, -2 when it does not exist, -4 when
// it is not a valid definition.
int read_def(const INFPATH* p, std::vector<INFITEM>* items, int* committed, int* recsize) {
  FILE* f = fopen(def_path(p).c_str(), "r");
  if (f == nullptr) return errno == ENOENT ? -2 : -3;
  char line[256];
  int rc = 0, count = -1;
  if (fgets(line, sizeof line, f) == nullptr || strcmp(line, "ZULINFO 1\n") != 0) rc = -4;
  if (rc == 0 && (fgets(line, sizeof line, f) == nullptr ||
                  sscanf(line, "items %d committed %d", &count, committed) != 2 || count < 0 ||
                  count > ZT_MAX_FIELDS || *committed < 0))
    rc = -4;
  items->clear();
  int size = 0;
  for (int i = 0; rc == 0 && i < count; ++i) {
    INFITEM it{};
    int used = 0;
    if (fgets(line, sizeof line, f) == nullptr || strchr(line, '\n') == nullptr ||
        sscanf(line, "%16s %d %d %d %d %d%n", it.name, &it.type, &it.start, &it.storage, &it.output,
               &it.decimals, &used) != 6 ||
        line[used] != '\n' || !valid_item(it) || it.start != size + 1) {
      rc = -4;
      break;
    }
    size += it.storage;
    if (size > ZT_MAX_RECSIZE) rc = -4;
    items->push_back(it);
  }
  fclose(f);
  *recsize = size;
  return rc;
}

int write_def(const INFPATH* p, const std::vector<INFITEM>& items, int committed) {
  std::string tmp = def_path(p) + ".tmp";
  FILE* f = fopen(tmp.c_str(), "w");
  if (f == nullptr) return -1;
  fprintf(f, "ZULINFO 1\nitems %d committed %d\n", static_cast<int>(items.size()), committed);
  for (const INFITEM& it : items) {
    fprintf(f, "%s %d %d %d %d %d\n", it.name, it.type, it.start, it.storage, it.output, it.decimals);
  }
  bool ok = !ferror(f);
  ok = fclose(f) == 0 && ok;
  if (!ok || rename(tmp.c_str(), def_path(p).c_str()) != 0) {
    unlink(tmp.c_str());
    return -1;
  }
  return 0;
}

InfTable* table(int tabno) {
  if (tabno < 0 || tabno >= ZT_CHANNELS || !g_tables[tabno].open) return nullptr;
  return &g_tables[tabno];
}

bool item_fits(const INFITEM* item, int buflen) {
  return item != nullptr && item->start >= 1 && item->storage >= 1 &&
         static_cast<long>(item->start) - 1 + item->storage <= buflen;
}

}  // namespace

extern "C" {

int infpthC(const char* name, INFPATH* parts) {
  if (name == nullptr || parts == nullptr) return -1;
  memset(parts, 0, sizeof *parts);
  const char* slash = strrchr(name, '/');
  const char* tab = slash != nullptr ? slash + 1 : name;
  size_t tlen = strlen(tab);
  if (tlen < 1 || tlen > 32) return -1;
  for (size_t i = 0; i < tlen; ++i) {
    char c = tab[i];
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return -1;
    parts->table[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  int n;
  if (slash == nullptr) {
    n = snprintf(parts->dir, sizeof parts->dir, ".");
  } else if (slash == name) {
    n = snprintf(parts->dir, sizeof parts->dir, "/");
  } else {
    n = snprintf(parts->dir, sizeof parts->dir, "%.*s", static_cast<int>(slash - name), name);
  }
  if (n < 0 || static_cast<size_t>(n) >= sizeof parts->dir) return -1;
  n = snprintf(parts->path, sizeof parts->path, "%s/info/%s", parts->dir, parts->table);
  return n < 0 || static_cast<size_t>(n) >= sizeof parts->path ? -1 : 0;
}

int infexfC(const INFPATH* parts) {
  struct stat st;
  if (parts == nullptr || stat(def_path(parts).c_str(), &st) != 0) return 0;
  return stat(dat_path(parts).c_str(), &st) == 0 ? 1 : 2;
}

int infopnC(const INFPATH* parts, int access, int* tabno, int* nrec, int* recsize) {
  if (parts == nullptr || tabno == nullptr || nrec == nullptr || recsize == nullptr) return -3;
  if (access != 1 && access != 14) return -3;
  int slot = -1;
  for (int i = 0; i < ZT_CHANNELS && slot < 0; ++i) {
    if (!g_tables[i].open) slot = i;
  }
  if (slot < 0) return -5;
  InfTable t;
  t.parts = *parts;
  t.access = access;
  int rc = read_def(parts, &t.items, &t.committed, &t.recsize);
  if (rc != 0) return rc;
  t.dat = fopen(dat_path(parts).c_str(), access == 1 ? "rb" : "r+b");
  if (t.dat == nullptr && access == 14 && errno == ENOENT) t.dat = fopen(dat_path(parts).c_str(), "w+b");
  if (t.dat == nullptr) return -3;
  struct stat st;
  long long rec = 1 + t.recsize;
  if (fstat(fileno(t.dat), &st) != 0 || st.st_size % rec != 0 || st.st_size / rec > 0x7fffffff) {
    fclose(t.dat);
    return -4;
  }
  t.nrec = static_cast<int>(st.st_size / rec);
  if (t.committed > t.nrec) t.committed = t.nrec;
  t.open = true;
  g_tables[slot] = t;
  *tabno = slot;
  *nrec = t.nrec;
  *recsize = t.recsize;
  return 0;
}

int infftiC(int tabno) {
  InfTable* t = table(tabno);
  return t == nullptr ? -1 : static_cast<int>(t->items.size());
}

int infinfC(int tabno, int what) {
  InfTable* t = table(tabno);
  if (t == nullptr || what != 11) return -1;
  return static_cast<int>(t->items.size());
}

int irditmC(int tabno, int item, INFITEM* out) {
  InfTable* t = table(tabno);
  if (t == nullptr || out == nullptr || item < 1 || item > static_cast<int>(t->items.size())) return -1;
  *out = t->items[static_cast<size_t>(item - 1)];
  return 0;
}

int infibfC(int tabno, char* buf, size_t cap) {
  InfTable* t = table(tabno);
  if (t == nullptr || buf == nullptr || cap < static_cast<size_t>(t->recsize)) return -1;
  memset(buf, ' ', static_cast<size_t>(t->recsize));
  for (const INFITEM& it : t->items) {
    if (it.type == 5 || it.type == 6) memset(buf + it.start - 1, 0, static_cast<size_t>(it.storage));
  }
  return 0;
}

int infgetC(int tabno, int recno, char* buf, size_t cap) {
  InfTable* t = table(tabno);
  if (t == nullptr || buf == nullptr || recno < 1 || recno > t->nrec || cap < static_cast<size_t>(t->recsize))
    return -1;
  long long rec = 1 + t->recsize;
  char flag = 0;
  if (fseeko(t->dat, static_cast<off_t>((recno - 1) * rec), SEEK_SET) != 0 || fread(&flag, 1, 1, t->dat) != 1)
    return -1;
  if (flag == '*') return -2;
  if (flag != ' ' || fread(buf, 1, static_cast<size_t>(t->recsize), t->dat) != static_cast<size_t>(t->recsize))
    return -1;
  return 0;
}

int infdecC(const char* buf, int buflen, const INFITEM* item, double* number, char* text) {
  if (buf == nullptr || number == nullptr || text == nullptr || !item_fits(item, buflen)) return -2;
  const char* f = buf + item->start - 1;
  int w = item->storage;
  *number = 0;
  text[0] = '\0';
  char tmp[INF_TEXT_CAP];
  switch (item->type) {
    case 1: {
      if (w != 8) return -2;
      memcpy(tmp, f, 8);
      tmp[8] = '\0';
      if (strspn(tmp, " ") == 8 || strspn(tmp, "0") == 8) return 0;
      if (strspn(tmp, "0123456789") != 8) return -2;
      *number = atof(tmp);
      memcpy(text, tmp, 9);
      return 0;
    }
    case 2:
      if (w >= INF_TEXT_CAP) return -2;
      return f772c(f, w, text, INF_TEXT_CAP) == 0 ? 0 : -2;
    case 3:
    case 4: {
      if (w >= INF_TEXT_CAP) return -2;
      memcpy(tmp, f, static_cast<size_t>(w));
      tmp[w] = '\0';
      if (strspn(tmp, " ") == static_cast<size_t>(w)) return 0;
      char* end = nullptr;
      errno = 0;
      double v = strtod(tmp, &end);
      if (end == tmp || errno == ERANGE || strspn(end, " ") != strlen(end)) return -2;
      *number = v;
      return 0;
    }
    case 5: {
      const unsigned char* u = reinterpret_cast<const unsigned char*>(f);
      if (w == 2) {
        *number = static_cast<int16_t>(u[0] | (u[1] << 8));
      } else if (w == 4) {
        *number = static_cast<int32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24));
      } else {
        return -2;
      }
      return 0;
    }
    case 6: {
      if (w == 4) {
        float v;
        memcpy(&v, f, 4);
        *number = v;
      } else if (w == 8) {
        memcpy(number, f, 8);
      } else {
        return -2;
      }
      return isfinite(*number) ? 0 : -2;
    }
    default:
      return -1;
  }
}

int infencC(char* buf, int buflen, const INFITEM* item, double number, const char* text) {
  if (buf == nullptr || !item_fits(item, buflen)) return -2;
  char* f = buf + item->start - 1;
  int w = item->storage;
  char tmp[64];
  switch (item->type) {
    case 1: {
      if (w != 8 || number < 0 || number > 99999999) return -2;
      if (number == 0) {
        memset(f, ' ', 8);
        return 0;
      }
      snprintf(tmp, sizeof tmp, "%08.0f", floor(number));
      memcpy(f, tmp, 8);
      return 0;
    }
    case 2: {
      const char* s = text != nullptr ? text : "";
      size_t len = strnlen(s, static_cast<size_t>(w));
      memcpy(f, s, len);
      memset(f + len, ' ', static_cast<size_t>(w) - len);
      return 0;
    }
    case 3:
    case 4: {
      if (!isfinite(number)) return -2;
      int dec = item->type == 4 && item->decimals > 0 ? item->decimals : 0;
      double v = item->type == 3 ? trunc(number) : number;
      int n = snprintf(tmp, sizeof tmp, "%*.*f", w, dec, v);
      if (n < 0 || n > w) return -2;
      memcpy(f, tmp, static_cast<size_t>(w));
      return 0;
    }
    case 5: {
      double v = trunc(number);
      double lo = w == 2 ? -32768.0 : -2147483648.0, hi = w == 2 ? 32767.0 : 2147483647.0;
      if (!(v >= lo && v <= hi) || (w != 2 && w != 4)) return -2;
      uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(v));
      for (int i = 0; i < w; ++i) f[i] = static_cast<char>((u >> (8 * i)) & 0xff);
      return 0;
    }
    case 6: {
      if (w == 4) {
        if (fabs(number) > 3.4028234663852886e38) return -2;
        float v = static_cast<float>(number);
        memcpy(f, &v, 4);
      } else if (w == 8) {
        memcpy(f, &number, 8);
      } else {
        return -2;
      }
      return 0;
    }
    default:
      return -1;
  }
}

int infclsC(int tabno) {
  InfTable* t = table(tabno);
  if (t == nullptr) return -1;
  int rc = 0;
  if (t->access == 14) {
    if (fflush(t->dat) != 0) rc = -1;
    if (rc == 0 && write_def(&t->parts, t->items, t->nrec) != 0) rc = -1;
  }
  if (fclose(t->dat) != 0) rc = -1;
  *t = InfTable();
  return rc;
}

int creiftC(const char* dir) {
  if (dir == nullptr) return -1;
  std::string d = std::string(dir) + "/info";
  if (mkdir(d.c_str(), 0777) != 0 && errno != EEXIST) return -1;
  return 0;
}

int infdefC(const INFPATH* parts) {
  if (parts == nullptr) return -2;
  if (infexfC(parts) != 0) return -1;
  if (write_def(parts, {}, 0) != 0) return -2;
  FILE* f = fopen(dat_path(parts).c_str(), "wb");
  if (f == nullptr || fclose(f) != 0) return -2;
  return 0;
}

int infadiC(const INFPATH* parts, const char* name, int type, int storage, int output, int decimals) {
  if (parts == nullptr || name == nullptr) return -4;
  std::vector<INFITEM> items;
  int committed = 0, recsize = 0;
  int rc = read_def(parts, &items, &committed, &recsize);
  if (rc == -3) return -2;
  if (rc != 0) return -4;
  INFITEM it{};
  if (strlen(name) > 16) return -4;
  snprintf(it.name, sizeof it.name, "%s", name);
  chrcasC(it.name);
  for (const INFITEM& old : items) {
    if (strcmp(old.name, it.name) == 0) return -1;
  }
  it.type = type;
  it.start = recsize + 1;
  it.storage = storage;
  it.output = output;
  it.decimals = decimals;
  if (!valid_item(it) || items.size() >= ZT_MAX_FIELDS || committed != 0) return -4;
  if (recsize + storage > ZT_MAX_RECSIZE) return -3;
  items.push_back(it);
  return write_def(parts, items, committed) == 0 ? 0 : -3;
}

int infersC(const INFPATH* parts) {
  if (parts == nullptr) return -1;
  int a = unlink(def_path(parts).c_str());
  unlink(dat_path(parts).c_str());
  return a == 0 ? 0 : -1;
}

int infputC(int tabno, const char* buf) {
  InfTable* t = table(tabno);
  if (t == nullptr || buf == nullptr || t->access != 14 || t->nrec == 0x7fffffff) return -1;
  long long rec = 1 + t->recsize;
  if (fseeko(t->dat, static_cast<off_t>(t->nrec * rec), SEEK_SET) != 0 || fputc(' ', t->dat) == EOF ||
      fwrite(buf, 1, static_cast<size_t>(t->recsize), t->dat) != static_cast<size_t>(t->recsize) ||
      fflush(t->dat) != 0)
    return -1;
  ++t->nrec;
  return 0;
}

int infdelC(int tabno, int recno) {
  InfTable* t = table(tabno);
  if (t == nullptr || t->access != 14 || recno < 1 || recno > t->nrec) return -1;
  long long rec = 1 + t->recsize;
  if (fseeko(t->dat, static_cast<off_t>((recno - 1) * rec), SEEK_SET) != 0 || fputc('*', t->dat) == EOF ||
      fflush(t->dat) != 0)
    return -1;
  return 0;
}

int infrbkC(int tabno) {
  InfTable* t = table(tabno);
  if (t == nullptr || t->access != 14) return -1;
  long long rec = 1 + t->recsize;
  if (fflush(t->dat) != 0 || ftruncate(fileno(t->dat), static_cast<off_t>(t->committed * rec)) != 0) return -1;
  t->nrec = t->committed;
  return t->nrec;
}

}  // extern "C"
