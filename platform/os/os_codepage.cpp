// os_codepage.cpp -- configured code pages, case tables and the Big5 / CNS
// 11643 mappings, all from glibc's iconv. See os_codepage.h for the contract.
//
// Divisions: 1. configured code pages; 2. iconv helpers; 3. case tables;
// 4. the Big5 and CNS 11643 tables.
//
// Tables are built on first use and never freed: a case table is 1 KB per
// code page, the Unicode tables together about 400 KB.
#include "os_codepage.h"

#include <atomic>
#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <map>
#include <memory>
#include <mutex>
#include <stdlib.h>
#include <string.h>
#include <unordered_map>
#include <vector>
#include <wctype.h>

namespace {

// ---- 1. configured code pages ---------------------------------------------

std::atomic<int> g_acp{0};    // 0 until first read
std::atomic<int> g_oemcp{0};
std::atomic<int> g_ctype_cp{0};  // 0 means the ANSI code page

int env_code_page(const char* name, int fallback) {
  const char* v = getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long n = strtol(v, &end, 10);
  if (*end != '\0' || n <= 0 || n > 65535) return fallback;
  return (int)n;
}

struct CharsetName {
  int cp;
  const char* charset;
};
constexpr CharsetName kCharsets[] = {
    {437, "CP437"},   {708, "ASMO-708"}, {737, "CP737"},   {775, "CP775"},
    {850, "CP850"},   {851, "CP851"},    {852, "CP852"},   {855, "CP855"},
    {857, "CP857"},   {860, "CP860"},    {861, "CP861"},   {862, "CP862"},
    {863, "CP863"},   {864, "CP864"},    {865, "CP865"},   {866, "CP866"},
    {869, "CP869"},   {874, "CP874"},    {932, "CP932"},   {936, "CP936"},
    {949, "CP949"},   {950, "BIG5"},     {1250, "CP1250"}, {1251, "CP1251"},
    {1252, "CP1252"}, {1253, "CP1253"},  {1254, "CP1254"}, {1255, "CP1255"},
    {1256, "CP1256"}, {1257, "CP1257"},  {1258, "CP1258"},
};

// ---- 2. iconv helpers -------------------------------------------------------

// One conversion descriptor, closed when it goes out of scope.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != (iconv_t)-1; }
  // Converts exactly in[0..len) into out (capacity cap); the number of bytes
  // written, or -1 when the input is not one complete, mappable sequence.
  int convert(const unsigned char* in, size_t len, unsigned char* out, size_t cap) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* ip = (char*)in;
    char* op = (char*)out;
    size_t il = len, ol = cap;
    if (iconv(cd_, &ip, &il, &op, &ol) == (size_t)-1 || il != 0) return -1;
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == (size_t)-1) return -1;
    return (int)(cap - ol);
  }

 private:
  iconv_t cd_;
};

uint32_t read_ucs4le(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
void write_ucs4le(uint32_t u, unsigned char* p) {
  p[0] = (unsigned char)u;
  p[1] = (unsigned char)(u >> 8);
  p[2] = (unsigned char)(u >> 16);
  p[3] = (unsigned char)(u >> 24);
}

// ---- 3. case tables ---------------------------------------------------------

enum : uint8_t { kUpper = 1, kLower = 2, kAlpha = 4 };

struct CaseTable {
  uint8_t upper[256];
  uint8_t lower[256];
  uint8_t flags[256];
};

void fill_ascii(CaseTable* t) {
  for (int c = 0; c < 256; ++c) {
    t->upper[c] = t->lower[c] = (uint8_t)c;
    t->flags[c] = 0;
  }
  for (int c = 'a'; c <= 'z'; ++c) {
    t->upper[c] = (uint8_t)(c - 32);
    t->lower[c - 32] = (uint8_t)c;
    t->flags[c] = kLower | kAlpha;
    t->flags[c - 32] = kUpper | kAlpha;
  }
}

// Folds the upper half from iconv and the Unicode case mapping of C.UTF-8.
void fill_from_iconv(CaseTable* t, const char* charset) {
  Iconv dec("UCS-4LE", charset);
  Iconv enc(charset, "UCS-4LE");
  locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
  if (!dec.ok() || !enc.ok() || loc == (locale_t)0) {
    if (loc != (locale_t)0) freelocale(loc);
    return;
  }
  for (int c = 0x80; c < 256; ++c) {
    unsigned char in = (unsigned char)c, u4[8], back[8];
    if (dec.convert(&in, 1, u4, sizeof u4) != 4) continue;
    wint_t u = (wint_t)read_ucs4le(u4);
    uint8_t f = 0;
    if (iswalpha_l(u, loc)) f |= kAlpha;
    if (iswupper_l(u, loc)) f |= kUpper;
    if (iswlower_l(u, loc)) f |= kLower;
    t->flags[c] = f;
    wint_t up = towupper_l(u, loc), lo = towlower_l(u, loc);
    if (up != u) {
      write_ucs4le((uint32_t)up, u4);
      if (enc.convert(u4, 4, back, sizeof back) == 1) t->upper[c] = back[0];
    }
    if (lo != u) {
      write_ucs4le((uint32_t)lo, u4);
      if (enc.convert(u4, 4, back, sizeof back) == 1) t->lower[c] = back[0];
    }
  }
  freelocale(loc);
}

const CaseTable* case_table(int cp) {
  static std::mutex mu;
  static std::map<int, std::unique_ptr<CaseTable>> tables;
  std::lock_guard<std::mutex> lock(mu);
  auto it = tables.find(cp);
  if (it != tables.end()) return it->second.get();
  auto t = std::make_unique<CaseTable>();
  fill_ascii(t.get());
  if (const char* cs = zulos_cp_charset(cp)) fill_from_iconv(t.get(), cs);
  const CaseTable* p = t.get();
  tables.emplace(cp, std::move(t));
  return p;
}

const CaseTable* ctype_table() {
  // Each thread remembers the table of the code page it last used, so that
  // per-byte calls take no lock.
  thread_local int cached_cp = -1;
  thread_local const CaseTable* cached = nullptr;
  int cp = zulos_ctype_code_page();
  if (cp != cached_cp) {
    cached = case_table(cp);
    cached_cp = cp;
  }
  return cached;
}

bool in_byte_range(int c) { return c >= 0 && c < 256; }

// ---- 4. the Big5 and CNS 11643 tables ----------------------------------------

constexpr int kCnsPlanes[] = {1, 2, 3, 15};
constexpr unsigned kBig5LeadLo = 0x81, kBig5LeadHi = 0xFE;
constexpr unsigned kBig5TrailLo = 0x40, kBig5TrailHi = 0xFE;
constexpr unsigned kBig5Trails = kBig5TrailHi - kBig5TrailLo + 1;

int cns_plane_index(int plane) {
  for (int i = 0; i < 4; ++i)
    if (kCnsPlanes[i] == plane) return i;
  return -1;
}

struct UnicodeTables {
  std::vector<uint32_t> big5_dec;  // (lead, trail) -> ucs, 0 for none
  std::vector<uint32_t> cns_dec;   // (plane index, row, cell) -> ucs, 0 for none
  std::unordered_map<uint32_t, uint16_t> big5_enc;
  std::unordered_map<uint32_t, uint32_t> cns_enc;  // plane << 16 | row << 8 | cell
};

// The EUC-TW bytes of a CNS position, in glibc's form (plane 15 as 0x8E 0xAF).
int cns_euc_bytes(int plane, unsigned row, unsigned cell, unsigned char* out) {
  if (plane == 1) {
    out[0] = (unsigned char)(row | 0x80);
    out[1] = (unsigned char)(cell | 0x80);
    return 2;
  }
  out[0] = 0x8E;
  out[1] = (unsigned char)(0xA0 + plane);
  out[2] = (unsigned char)(row | 0x80);
  out[3] = (unsigned char)(cell | 0x80);
  return 4;
}

void build_unicode_tables(UnicodeTables* t) {
  Iconv big5_dec("UCS-4LE", "BIG5"), big5_enc("BIG5", "UCS-4LE");
  Iconv euc_dec("UCS-4LE", "EUC-TW"), euc_enc("EUC-TW", "UCS-4LE");
  t->big5_dec.assign((kBig5LeadHi - kBig5LeadLo + 1) * kBig5Trails, 0);
  t->cns_dec.assign(4 * 94 * 94, 0);
  std::vector<uint32_t> image;
  unsigned char in[4], out[16];
  if (big5_dec.ok()) {
    for (unsigned lead = kBig5LeadLo; lead <= kBig5LeadHi; ++lead)
      for (unsigned trail = kBig5TrailLo; trail <= kBig5TrailHi; ++trail) {
        in[0] = (unsigned char)lead;
        in[1] = (unsigned char)trail;
        if (big5_dec.convert(in, 2, out, sizeof out) != 4) continue;
        uint32_t u = read_ucs4le(out);
        t->big5_dec[(lead - kBig5LeadLo) * kBig5Trails + (trail - kBig5TrailLo)] = u;
        image.push_back(u);
      }
  }
  if (euc_dec.ok()) {
    for (int pi = 0; pi < 4; ++pi)
      for (unsigned row = 0x21; row <= 0x7E; ++row)
        for (unsigned cell = 0x21; cell <= 0x7E; ++cell) {
          int n = cns_euc_bytes(kCnsPlanes[pi], row, cell, in);
          if (euc_dec.convert(in, (size_t)n, out, sizeof out) != 4) continue;
          uint32_t u = read_ucs4le(out);
          t->cns_dec[(pi * 94 + (row - 0x21)) * 94 + (cell - 0x21)] = u;
          image.push_back(u);
          // Lowest plane first, so the first position seen is kept unless
          // iconv's own encoder says otherwise below.
          t->cns_enc.emplace(u, (uint32_t)kCnsPlanes[pi] << 16 | row << 8 | cell);
        }
  }
  // Encoders: ask iconv for every character that either table produces, so
  // that characters with two positions get the one iconv writes.
  for (uint32_t u : image) {
    write_ucs4le(u, in);
    if (big5_enc.ok() && !t->big5_enc.count(u) &&
        big5_enc.convert(in, 4, out, sizeof out) == 2)
      t->big5_enc.emplace(u, (uint16_t)(out[0] << 8 | out[1]));
    if (euc_enc.ok()) {
      int n = euc_enc.convert(in, 4, out, sizeof out);
      uint32_t code = 0;
      if (n == 2 && out[0] >= 0xA1 && out[1] >= 0xA1)
        code = 1u << 16 | (uint32_t)(out[0] & 0x7F) << 8 | (out[1] & 0x7F);
      else if (n == 4 && out[0] == 0x8E && cns_plane_index(out[1] - 0xA0) >= 0)
        code = (uint32_t)(out[1] - 0xA0) << 16 | (uint32_t)(out[2] & 0x7F) << 8 | (out[3] & 0x7F);
      if (code) t->cns_enc[u] = code;
    }
  }
}

const UnicodeTables& unicode_tables() {
  static std::once_flag once;
  static UnicodeTables* tables;
  std::call_once(once, [] {
    tables = new UnicodeTables;
    build_unicode_tables(tables);
  });
  return *tables;
}

}  // namespace

// ---- configured code pages ----------------------------------------------------

int zulos_ansi_code_page(void) {
  int cp = g_acp.load();
  if (cp == 0) {
    int expected = 0;
    g_acp.compare_exchange_strong(expected, env_code_page("ZUL_ACP", 1252));
    cp = g_acp.load();
  }
  return cp;
}

int zulos_oem_code_page(void) {
  int cp = g_oemcp.load();
  if (cp == 0) {
    int expected = 0;
    g_oemcp.compare_exchange_strong(expected, env_code_page("ZUL_OEMCP", 437));
    cp = g_oemcp.load();
  }
  return cp;
}

void zulos_set_code_pages(int acp, int oemcp) {
  if (acp > 0) g_acp.store(acp);
  if (oemcp > 0) g_oemcp.store(oemcp);
}

const char* zulos_cp_charset(int cp) {
  for (const CharsetName& c : kCharsets)
    if (c.cp == cp) return c.charset;
  return nullptr;
}

// ---- case tables ----------------------------------------------------------------

int zulos_cp_toupper(int cp, int c) { return in_byte_range(c) ? case_table(cp)->upper[c] : c; }
int zulos_cp_tolower(int cp, int c) { return in_byte_range(c) ? case_table(cp)->lower[c] : c; }
int zulos_cp_isupper(int cp, int c) {
  return in_byte_range(c) && (case_table(cp)->flags[c] & kUpper) != 0;
}
int zulos_cp_islower(int cp, int c) {
  return in_byte_range(c) && (case_table(cp)->flags[c] & kLower) != 0;
}
int zulos_cp_isalpha(int cp, int c) {
  return in_byte_range(c) && (case_table(cp)->flags[c] & kAlpha) != 0;
}

void zulos_set_ctype_code_page(int cp) { g_ctype_cp.store(cp > 0 ? cp : 0); }

int zulos_ctype_code_page(void) {
  int cp = g_ctype_cp.load();
  return cp > 0 ? cp : zulos_ansi_code_page();
}

int zulos_ctype_toupper(int c) { return in_byte_range(c) ? ctype_table()->upper[c] : c; }
int zulos_ctype_tolower(int c) { return in_byte_range(c) ? ctype_table()->lower[c] : c; }
int zulos_ctype_isupper(int c) { return in_byte_range(c) && (ctype_table()->flags[c] & kUpper); }
int zulos_ctype_islower(int c) { return in_byte_range(c) && (ctype_table()->flags[c] & kLower); }
int zulos_ctype_isalpha(int c) { return in_byte_range(c) && (ctype_table()->flags[c] & kAlpha); }

// ---- Big5 and CNS 11643 -----------------------------------------------------------

int32_t zulos_big5_to_ucs(unsigned lead, unsigned trail) {
  if (lead < kBig5LeadLo || lead > kBig5LeadHi || trail < kBig5TrailLo || trail > kBig5TrailHi)
    return -1;
  uint32_t u = unicode_tables().big5_dec[(lead - kBig5LeadLo) * kBig5Trails + (trail - kBig5TrailLo)];
  return u ? (int32_t)u : -1;
}

int32_t zulos_ucs_to_big5(uint32_t ucs) {
  const auto& enc = unicode_tables().big5_enc;
  auto it = enc.find(ucs);
  return it == enc.end() ? -1 : (int32_t)it->second;
}

int32_t zulos_cns_to_ucs(int plane, unsigned row, unsigned cell) {
  int pi = cns_plane_index(plane);
  if (pi < 0 || row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E) return -1;
  uint32_t u = unicode_tables().cns_dec[(pi * 94 + (row - 0x21)) * 94 + (cell - 0x21)];
  return u ? (int32_t)u : -1;
}

int32_t zulos_ucs_to_cns(uint32_t ucs) {
  const auto& enc = unicode_tables().cns_enc;
  auto it = enc.find(ucs);
  return it == enc.end() ? -1 : (int32_t)it->second;
}
