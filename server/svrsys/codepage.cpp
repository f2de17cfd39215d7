// codepage.cpp -- the code pages of a connection: classification, the
// catalogue look-up, conversion tables from the character files, and the
// conversion routines.
//
// Divisions: 1. ids, names and classes; 2. the catalogue and the convert
// decision; 3. tables from character files; 4. conversion routines (table,
// Shift-JIS / EUC-JP, Big5 / EUC-TW); 5. the exported functions.
//
// Notes:
//  1. A conversion table starts as all '?' and never maps a byte to NUL, so
//     a short or damaged character file can only turn characters into '?',
//     never cut a string short.
//  2. Conversion is set up only where a routine exists for the pair: table
//     look-up between single-byte code pages, the arithmetic Shift-JIS /
//     EUC-JP pair, and Big5 / EUC-TW through Unicode. A double-byte native
//     code page against any other client code page is left unconverted.
//  3. The multi-byte routines read no further than the terminator or the
//     buffer length, convert into a work buffer of the same length, and
//     stop before a character that would not fit with the terminator.
//  4. Big5 / EUC-TW go through Unicode with the OS layer's tables (glibc's
//     iconv). CNS 11643 plane 15 is written as 0x8E 0xAF; 0x8E 0xB0 is read
//     as plane 15 too, for text written that way by older converters.
//  5. Names taken into file paths are plain words ([A-Za-z0-9_-]); anything
//     else fails the table build.
#include "zul_codepage.h"

#include "hashtable.h"
#include "svr_services.h"
#include "zul_status.h"
#include "zulos.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <vector>

namespace {

// ---- 1. ids, names and classes -------------------------------------------------

// The code-page names by id (index = id - 1); id 47 has no name.
const char* const kNames[CODEPAGE_ID_MAX] = {
    "big5",   "tw_euc", "zh",     "sjis",   "jpn_euc", "ko",     "88591",  "88592",
    "88593",  "88594",  "88595",  "88596",  "88597",   "88598",  "88599",  "885910",
    "885913", "885915", "roman8", "437",    "850",     "851",    "852",    "855",
    "857",    "860",    "861",    "862",    "863",     "864",    "865",    "866",
    "869",    "708",    "720",    "737",    "775",     "1250",   "1251",   "1252",
    "1253",   "1254",   "1255",   "1256",   "1257",    "1258",   "",       "th"};

// Windows code pages that have an id; the others fall back by kind.
struct WindowsPage {
  int cp;
  int32_t id;
};
constexpr WindowsPage kWindowsPages[] = {
    {437, 20},  {850, 21},  {851, 22},  {852, 23},  {855, 24},  {857, 25},  {860, 26},
    {861, 27},  {862, 28},  {863, 29},  {864, 30},  {865, 31},  {866, 32},  {869, 33},
    {708, 34},  {720, 35},  {737, 36},  {775, 37},  {1250, 38}, {1251, 39}, {1252, 40},
    {1253, 41}, {1254, 42}, {1255, 43}, {1256, 44}, {1257, 45}, {1258, 46}, {874, 48},
    {932, 4},   {936, 3},   {949, 6},   {950, 1}};

int32_t class_of(int32_t id) {
  if (id == CODEPAGE_ID_TW_EUC) return CODEPAGE_FOUR_BYTE;
  return id >= 0 && id <= CODEPAGE_ID_KO ? CODEPAGE_DOUBLE_BYTE : CODEPAGE_SINGLE_BYTE;
}

int32_t id_of(const char* name) {
  for (int32_t i = 0; i < CODEPAGE_ID_MAX; ++i)
    if (kNames[i][0] && strcasecmp(kNames[i], name) == 0) return i + 1;
  return 0;
}

void copy_name(char* dst, const char* src) {
  size_t n = src ? strnlen(src, CODEPAGE_NAME_CAP - 1) : 0;
  if (n) memcpy(dst, src, n);
  dst[n] = '\0';
}

bool plain_word(const char* s) {
  if (!s || !*s) return false;
  for (; *s; ++s)
    if (!isalnum((unsigned char)*s) && *s != '_' && *s != '-') return false;
  return true;
}

// "$ZULHOME/locale/codepage/<file>" into path; false when it does not fit or
// there is no home.
bool codepage_path(const char* file, char* path, size_t cap) {
  const char* home = zulos_env_get("ZULHOME");
  if (!home || !*home) return false;
  int n = snprintf(path, cap, "%s/locale/codepage/%s", home, file);
  return n > 0 && (size_t)n < cap;
}

// ---- 2. the catalogue and the convert decision -----------------------------------

constexpr size_t kLineCap = 1024;  // catalogue and character-file lines

// Splits line into at most cap whitespace-separated words; their count.
int split(char* line, char** words, int cap) {
  int n = 0;
  char* save = nullptr;
  for (char* w = strtok_r(line, " \t\r\n\v\f", &save); w && n < cap;
       w = strtok_r(nullptr, " \t\r\n\v\f", &save))
    words[n++] = w;
  return n;
}

// Looks the part of name after its last '.' up in column column of the
// catalogue and fills the connection part of info (id 0 when no line
// matches). 0, or -1007 when the catalogue cannot be read.
int32_t lookup(const char* name, int32_t column, CODEPAGE_INFO* info) {
  info->conn_id = 0;
  info->conn_class = class_of(0);
  info->conn_name[0] = '\0';
  char path[PATH_MAX];
  if (!codepage_path("codepage.txt", path, sizeof path)) return SE_CODEPAGE_NO_CATALOGUE;
  FILE* f = zulos_fopen(path, "r");
  if (!f) {
    perror("OPEN");
    return SE_CODEPAGE_NO_CATALOGUE;
  }
  const char* part = name ? name : "";
  if (const char* dot = strrchr(part, '.')) part = dot + 1;
  char line[kLineCap];
  constexpr int kMaxWords = 64;
  while (column >= 0 && column < kMaxWords && zulos_read_line(f, line, sizeof line, nullptr) >= 0) {
    char* words[kMaxWords];
    int n = split(line, words, kMaxWords);
    if (n <= column || strcasecmp(words[column], part) != 0) continue;
    copy_name(info->conn_name, words[0]);
    info->conn_id = id_of(info->conn_name);
    info->conn_class = class_of(info->conn_id);
    break;
  }
  fclose(f);
  return 0;
}

// True when a routine pair exists for the two double-byte or EUC pages.
bool multibyte_pair(int32_t native_id, int32_t conn_id) {
  return (native_id == CODEPAGE_ID_BIG5 && conn_id == CODEPAGE_ID_TW_EUC) ||
         (native_id == CODEPAGE_ID_TW_EUC && conn_id == CODEPAGE_ID_BIG5) ||
         (native_id == CODEPAGE_ID_SJIS && conn_id == CODEPAGE_ID_JPN_EUC) ||
         (native_id == CODEPAGE_ID_JPN_EUC && conn_id == CODEPAGE_ID_SJIS);
}

int32_t convert_flag(int32_t native_id, int32_t native_class, int32_t conn_id) {
  if (conn_id == 0 || conn_id == native_id) return 0;
  int32_t flag;
  switch (conn_id) {
    case CODEPAGE_ID_BIG5:    flag = native_id == CODEPAGE_ID_TW_EUC; break;
    case CODEPAGE_ID_TW_EUC:  flag = native_id == CODEPAGE_ID_BIG5; break;
    case CODEPAGE_ID_ZH:
    case CODEPAGE_ID_KO:      flag = 0; break;
    case CODEPAGE_ID_SJIS:    flag = native_id == CODEPAGE_ID_JPN_EUC; break;
    case CODEPAGE_ID_JPN_EUC: flag = native_id == CODEPAGE_ID_SJIS; break;
    case CODEPAGE_ID_88591:   flag = native_id != CODEPAGE_ID_1252; break;
    case CODEPAGE_ID_1252:    flag = native_id != CODEPAGE_ID_88591; break;
    default:                  flag = 1; break;
  }
  // Note 2: no routine converts a double-byte native page to anything else.
  if (flag && native_class != CODEPAGE_SINGLE_BYTE && !multibyte_pair(native_id, conn_id)) flag = 0;
  return flag;
}

// ---- 3. tables from character files -------------------------------------------------

constexpr int32_t kKeyLen = 4;     // the character identifier
constexpr int32_t kRecordLen = 6;  // identifier and the two hexadecimal digits
constexpr int32_t kTableSlots = 180;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = (char)tolower((unsigned char)c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// One line of a character file: the byte's two digits and its identifier
// (lower-cased, blank-padded to four characters). False for a line without
// both.
bool parse_char_line(char* line, char digits[2], char id[kKeyLen]) {
  char* words[2];
  if (split(line, words, 2) < 2 || strlen(words[0]) != 2) return false;
  if (hex_value(words[0][0]) < 0 || hex_value(words[0][1]) < 0) return false;
  memcpy(digits, words[0], 2);
  size_t n = strnlen(words[1], kKeyLen);
  for (size_t i = 0; i < (size_t)kKeyLen; ++i)
    id[i] = i < n ? (char)tolower((unsigned char)words[1][i]) : ' ';
  return true;
}

FILE* open_char_file(const char* name) {
  char file[64], path[PATH_MAX];
  if (!plain_word(name) || snprintf(file, sizeof file, "%s.txt", name) >= (int)sizeof file ||
      !codepage_path(file, path, sizeof path))
    return nullptr;
  FILE* f = zulos_fopen(path, "r");
  if (!f) perror("OPEN");
  return f;
}

// The temporary hash table of a table build, deleted when it goes.
class TempTable {
 public:
  TempTable() {
    char path[HT_PATH_CAP];
    int fd;
    if (zulos_make_unique_file(zulos_temp_dir(), "zul", path, sizeof path, &fd) != 0) return;
    zulos_sys.close(fd);
    ht_ = ht_open(path, 0, kKeyLen, kRecordLen, kTableSlots);
    if (!ht_) zulos_sys.unlink(path);
  }
  ~TempTable() { ht_close(ht_); }
  TempTable(const TempTable&) = delete;
  TempTable& operator=(const TempTable&) = delete;
  HTABLE* get() const { return ht_; }

 private:
  HTABLE* ht_ = nullptr;
};

// Builds table: entry i is the byte of target's file for the character of
// line i of source's file, '?' when target lacks it (note 1).
bool build_table(const char* source, const char* target, int32_t* table) {
  for (int i = 0; i < CODEPAGE_TABLE_LEN; ++i) table[i] = '?';
  FILE* tf = open_char_file(target);
  if (!tf) return false;
  TempTable ht;
  if (!ht.get()) {
    fclose(tf);
    return false;
  }
  char line[kLineCap];
  for (int i = 0; i < CODEPAGE_TABLE_LEN && zulos_read_line(tf, line, sizeof line, nullptr) >= 0; ++i) {
    char rec[kRecordLen];
    if (parse_char_line(line, rec + kKeyLen, rec)) ht_search(ht.get(), rec, HT_INSERT);
  }
  fclose(tf);
  FILE* sf = open_char_file(source);
  if (!sf) return false;
  for (int i = 0; i < CODEPAGE_TABLE_LEN && zulos_read_line(sf, line, sizeof line, nullptr) >= 0; ++i) {
    char rec[kRecordLen], digits[2];
    if (!parse_char_line(line, digits, rec)) continue;
    if (ht_search(ht.get(), rec, HT_FIND_COPY_ONCE) <= 0) continue;
    int v = hex_value(rec[kKeyLen]) * 16 + hex_value(rec[kKeyLen + 1]);
    if (v != 0) table[i] = v;
  }
  fclose(sf);
  return true;
}

// ---- 4. conversion routines ---------------------------------------------------------

constexpr uint32_t kReplacement = 0xFFFD;

// The input length of a string in a buffer of cap bytes (cap <= 0: unknown).
size_t input_len(const char* s, int32_t cap) {
  return cap > 0 ? strnlen(s, (size_t)cap) : strlen(s);
}

// Output of a multi-byte routine: bytes go into a work buffer of the same
// capacity as the string's; a character that does not fit with the
// terminator ends the output (note 3).
class Output {
 public:
  Output(char* s, int32_t cap, size_t len)
      : s_(s), cap_(cap > 0 ? (size_t)cap : len + 1), buf_(cap_) {}
  bool put(const unsigned char* bytes, size_t n) {
    if (full_ || len_ + n > cap_ - 1) {
      full_ = true;
      return false;
    }
    memcpy(buf_.data() + len_, bytes, n);
    len_ += n;
    return true;
  }
  bool put1(unsigned char b) { return put(&b, 1); }
  bool put2(unsigned char a, unsigned char b) {
    unsigned char t[2] = {a, b};
    return put(t, 2);
  }
  void finish() {
    memcpy(s_, buf_.data(), len_);
    s_[len_] = '\0';
  }

 private:
  char* s_;
  size_t cap_;
  std::vector<char> buf_;
  size_t len_ = 0;
  bool full_ = false;
};

void convert_table(char* str, int32_t cap, const int32_t* table) {
  if (!str || !table) return;
  size_t n = input_len(str, cap);
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = (unsigned char)str[i];
    if (b < 0x80) continue;
    unsigned char v = (unsigned char)(table[b - 0x80] & 0xFF);
    str[i] = (char)(v ? v : '?');
  }
}

bool sjis_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA); }
bool sjis_trail(unsigned b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

void convert_sjis_to_eucjp(char* str, int32_t cap, const int32_t*) {
  if (!str) return;
  const unsigned char* s = (const unsigned char*)str;
  size_t n = input_len(str, cap);
  Output out(str, cap, n);
  for (size_t i = 0; i < n;) {
    unsigned b = s[i];
    if (sjis_lead(b)) {
      if (i + 1 >= n || !sjis_trail(s[i + 1])) {  // cut short or not a pair
        if (!out.put1('?')) break;
        ++i;
        continue;
      }
      unsigned t = s[i + 1];
      unsigned c1 = (b - (b <= 0x9F ? 0x70 : 0xB0)) * 2 - (t < 0x9F ? 1 : 0);
      unsigned c2 = t < 0x9F ? (t >= 0x80 ? t - 0x20 : t - 0x1F) : t - 0x7E;
      if (!out.put2((unsigned char)(c1 | 0x80), (unsigned char)(c2 | 0x80))) break;
      i += 2;
    } else if (b >= 0xA0 && b <= 0xDF) {
      if (!out.put2(0x8E, (unsigned char)b)) break;
      ++i;
    } else {
      if (!out.put1((unsigned char)b)) break;
      ++i;
    }
  }
  out.finish();
}

void convert_eucjp_to_sjis(char* str, int32_t cap, const int32_t*) {
  if (!str) return;
  const unsigned char* s = (const unsigned char*)str;
  size_t n = input_len(str, cap);
  Output out(str, cap, n);
  for (size_t i = 0; i < n;) {
    unsigned b = s[i];
    if (b >= 0xA1 && b <= 0xF4) {
      if (i + 1 >= n || s[i + 1] < 0xA1 || s[i + 1] == 0xFF) {
        if (!out.put1('?')) break;
        ++i;
        continue;
      }
      unsigned c1 = b & 0x7F, c2 = s[i + 1] & 0x7F;
      unsigned s1 = ((c1 + 1) >> 1) + (c1 <= 0x5E ? 0x70 : 0xB0);
      unsigned s2 = c2 + ((c1 & 1) ? (c2 < 0x60 ? 0x1F : 0x20) : 0x7E);
      if (!out.put2((unsigned char)s1, (unsigned char)s2)) break;
      i += 2;
    } else if (b == 0x8E) {
      if (i + 1 >= n) break;  // a lone 0x8E at the end drops
      if (!out.put1(s[i + 1])) break;
      i += 2;
    } else {
      if (!out.put1((unsigned char)b)) break;
      ++i;
    }
  }
  out.finish();
}

bool big5_trail(unsigned t) { return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE); }
bool euc_byte(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

// EUC-TW plane of the byte after 0x8E, or 0 when it starts no character
// that the conversion reads (note 4).
int euc_plane(unsigned b) {
  switch (b) {
    case 0xA1: return 1;
    case 0xA2: return 2;
    case 0xA3: return 3;
    case 0xAF:
    case 0xB0: return 15;
    default:   return 0;
  }
}

void convert_big5_to_euctw(char* str, int32_t cap, const int32_t*) {
  if (!str) return;
  const unsigned char* s = (const unsigned char*)str;
  size_t n = input_len(str, cap);
  std::vector<uint32_t> ucs;
  ucs.reserve(n);
  for (size_t i = 0; i < n;) {
    unsigned b = s[i];
    if (b < 0x80) {
      ucs.push_back(b);
      ++i;
    } else if (b >= 0x81 && b <= 0xFE && i + 1 < n && big5_trail(s[i + 1])) {
      int32_t u = zulos_big5_to_ucs(b, s[i + 1]);
      ucs.push_back(u >= 0 ? (uint32_t)u : kReplacement);
      i += 2;
    } else {
      ucs.push_back(kReplacement);
      ++i;
    }
  }
  Output out(str, cap, n);
  for (uint32_t u : ucs) {
    bool ok;
    int32_t c = u < 0x80 ? -1 : zulos_ucs_to_cns(u);
    if (u < 0x80) {
      ok = out.put1((unsigned char)u);
    } else if (c < 0) {
      ok = out.put1('?');
    } else {
      int plane = c >> 16;
      unsigned char row = (unsigned char)(((c >> 8) & 0x7F) | 0x80);
      unsigned char cell = (unsigned char)((c & 0x7F) | 0x80);
      if (plane == 1) {
        ok = out.put2(row, cell);
      } else {
        unsigned char four[4] = {0x8E, (unsigned char)(0xA0 + plane), row, cell};
        ok = out.put(four, 4);
      }
    }
    if (!ok) break;
  }
  out.finish();
}

void convert_euctw_to_big5(char* str, int32_t cap, const int32_t*) {
  if (!str) return;
  const unsigned char* s = (const unsigned char*)str;
  size_t n = input_len(str, cap);
  std::vector<uint32_t> ucs;
  ucs.reserve(n);
  for (size_t i = 0; i < n;) {
    unsigned b = s[i];
    int32_t u = -1;
    if (b < 0x80) {
      u = (int32_t)b;
      i += 1;
    } else if (euc_byte(b) && i + 1 < n && euc_byte(s[i + 1])) {
      u = zulos_cns_to_ucs(1, b & 0x7F, s[i + 1] & 0x7F);
      i += 2;
    } else if (b == 0x8E && i + 3 < n && euc_plane(s[i + 1]) && euc_byte(s[i + 2]) &&
               euc_byte(s[i + 3])) {
      u = zulos_cns_to_ucs(euc_plane(s[i + 1]), s[i + 2] & 0x7F, s[i + 3] & 0x7F);
      i += 4;
    } else {
      i += 1;
    }
    ucs.push_back(u >= 0 ? (uint32_t)u : kReplacement);
  }
  Output out(str, cap, n);
  for (uint32_t u : ucs) {
    int32_t c = u < 0x80 ? -1 : zulos_ucs_to_big5(u);
    bool ok = u < 0x80 ? out.put1((unsigned char)u)
              : c < 0  ? out.put1('?')
                       : out.put2((unsigned char)(c >> 8), (unsigned char)c);
    if (!ok) break;
  }
  out.finish();
}

// Sets the routines of a record whose convert flag is 1 by its native id.
void choose_routines(CODEPAGE_INFO* info, bool tables) {
  switch (info->native_id) {
    case CODEPAGE_ID_BIG5:
      info->to_conn_fn = convert_big5_to_euctw;
      info->to_native_fn = convert_euctw_to_big5;
      break;
    case CODEPAGE_ID_TW_EUC:
      info->to_conn_fn = convert_euctw_to_big5;
      info->to_native_fn = convert_big5_to_euctw;
      break;
    case CODEPAGE_ID_SJIS:
      info->to_conn_fn = convert_sjis_to_eucjp;
      info->to_native_fn = convert_eucjp_to_sjis;
      break;
    case CODEPAGE_ID_JPN_EUC:
      info->to_conn_fn = convert_eucjp_to_sjis;
      info->to_native_fn = convert_sjis_to_eucjp;
      break;
    default:
      info->to_conn_fn = convert_table;
      info->to_native_fn = tables ? convert_table : nullptr;
      break;
  }
}

void clear_conversion(CODEPAGE_INFO* info) {
  info->convert = 0;
  info->to_conn_fn = nullptr;
  info->to_native_fn = nullptr;
  for (int i = 0; i < CODEPAGE_TABLE_LEN; ++i) info->to_native[i] = info->to_conn[i] = '?';
}

// The common part of both init routines: look-up, decision, tables.
int32_t cpginit(const char* name, int32_t column, CODEPAGE_INFO* info, bool both_tables) {
  clear_conversion(info);
  int32_t rc = lookup(name, column, info);
  if (rc != 0) return rc;
  info->convert = convert_flag(info->native_id, info->native_class, info->conn_id);
  if (!info->convert) return 0;
  if (info->native_class == CODEPAGE_SINGLE_BYTE) {
    if (!build_table(info->native_name, info->conn_name, info->to_conn) ||
        (both_tables && !build_table(info->conn_name, info->native_name, info->to_native))) {
      clear_conversion(info);
      return SE_CODEPAGE_TABLE_FAILED;
    }
  }
  choose_routines(info, both_tables);
  return 0;
}

}  // namespace

// ---- 5. the exported functions --------------------------------------------------------

int32_t CODEPAGE_get(CODEPAGE_INFO* info, int32_t which) {
  if (!info) return SE_INVALID_POINTER;
  int cp = which == 0 ? zulos_oem_code_page() : zulos_ansi_code_page();
  int32_t id = which == 0 ? CODEPAGE_ID_437 : CODEPAGE_ID_1252;
  for (const WindowsPage& w : kWindowsPages)
    if (w.cp == cp) id = w.id;
  info->native_id = id;
  info->native_class = class_of(id);
  copy_name(info->native_name, kNames[id - 1]);
  return 0;
}

int32_t CODEPAGE_svrcpginit(const char* name, int32_t native_id, int32_t native_class,
                            const char* native_name, int32_t column, CODEPAGE_INFO* out) {
  if (!out) return SE_INVALID_POINTER;
  out->native_id = native_id;
  out->native_class = native_class;
  copy_name(out->native_name, native_name);
  return cpginit(name, column, out, true);
}

int32_t CODEPAGE_iomgrcpginit(const char* name, int32_t column, CODEPAGE_INFO* info) {
  if (!info) return SE_INVALID_POINTER;
  return cpginit(name, column, info, false);
}

int32_t CODEPAGE_tocpg(char* str, int32_t cap, const CODEPAGE_INFO* info) {
  if (!str || !info) return SE_INVALID_POINTER;
  if (info->to_conn_fn) info->to_conn_fn(str, cap, info->to_conn);
  return 0;
}

int32_t CODEPAGE_tonative(char* str, int32_t cap, const CODEPAGE_INFO* info) {
  if (!str || !info) return SE_INVALID_POINTER;
  if (info->to_native_fn) info->to_native_fn(str, cap, info->to_native);
  return 0;
}

int32_t CODEPAGE_isleadbyte(const CODEPAGE_INFO* info, int32_t c, int32_t next) {
  c &= 0xFF;
  next &= 0xFF;
  if (!info || c < 0x80 || info->native_class == CODEPAGE_SINGLE_BYTE) return 0;
  if (info->native_class == CODEPAGE_FOUR_BYTE)
    return c == 0x8E && (next == 0xA2 || next == 0xAE || euc_plane((unsigned)next)) ? 2 : 1;
  if (info->native_id == CODEPAGE_ID_SJIS && c >= 0xA0 && c <= 0xDF) return 0;
  return 1;
}

char* SES_CpgToLower(char* str, int32_t cap, const CODEPAGE_INFO* info) {
  if (!str) return str;
  if (info && info->convert) CODEPAGE_tonative(str, cap, info);
  SES_ToLower(str, info);
  if (info && info->convert) CODEPAGE_tocpg(str, cap, info);
  return str;
}

char* SES_CpgToUpper(char* str, int32_t cap, const CODEPAGE_INFO* info) {
  if (!str) return str;
  if (info && info->convert) CODEPAGE_tonative(str, cap, info);
  SES_ToUpper(str, info);
  if (info && info->convert) CODEPAGE_tocpg(str, cap, info);
  return str;
}
