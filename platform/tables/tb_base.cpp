// tb_base.cpp -- the base routines of the table libraries: process settings,
// the message printer, names, paths, fixed fields and code pages (identity).
//
// Relies on nothing but the C library. Every routine that fills a buffer
// takes its capacity and fails rather than cut.
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "zultables.h"

namespace {
int g_case_sensitive = 1;
char g_codepage[16] = "OEM";
}  // namespace

extern "C" {

void featinitC(void) {}

int setcpgC(const char* codepage) {
  if (codepage == nullptr || codepage[0] == '\0') return -1;
  snprintf(g_codepage, sizeof g_codepage, "%s", codepage);
  return 0;
}

void cassenC(int flag) { g_case_sensitive = flag != 0; }
int cassen_getC(void) { return g_case_sensitive; }

void informC(const char* text, int level) {
  fputs(text != nullptr ? text : "", stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

int anameC(const char* name, char* out, size_t cap, int mode) {
  if (name == nullptr || out == nullptr || name[0] == '\0') return -1;
  const char* base = strrchr(name, '/');
  base = base != nullptr ? base + 1 : name;
  bool has_ext = strchr(base, '.') != nullptr;
  int n = snprintf(out, cap, "%s%s", name, (mode == -17 && !has_ext) ? ".dbf" : "");
  if (n < 0 || static_cast<size_t>(n) >= cap) {
    if (cap > 0) out[0] = '\0';
    return -1;
  }
  return 0;
}

void chrlowC(char* text) {
  for (; text != nullptr && *text; ++text) *text = static_cast<char>(tolower(static_cast<unsigned char>(*text)));
}

void chrcasC(char* text) {
  for (; text != nullptr && *text; ++text) *text = static_cast<char>(toupper(static_cast<unsigned char>(*text)));
}

int f772c(const char* field, int width, char* out, size_t cap) {
  if (field == nullptr || out == nullptr || width < 0) return -1;
  int len = width;
  while (len > 0 && (field[len - 1] == ' ' || field[len - 1] == '\0')) --len;
  if (static_cast<size_t>(len) >= cap) return -1;
  memcpy(out, field, static_cast<size_t>(len));
  out[len] = '\0';
  return 0;
}

int f772cee(const char* field, int width, char* out, size_t cap) {
  if (field == nullptr || out == nullptr || width < 0 || static_cast<size_t>(width) >= cap) return -1;
  int len = width;
  while (len > 0 && field[len - 1] == ' ') --len;
  memcpy(out, field, static_cast<size_t>(len));
  out[len] = '\0';
  return 0;
}

void cpgcnvtsnC(char* text, size_t len) {}
void cpgcnvtnsC(char* text, size_t len) {}
int ceucchk(void) { return 0; }

int edirC(const char* path, char* out, size_t cap) {
  if (path == nullptr || out == nullptr) return -1;
  const char* slash = strrchr(path, '/');
  int n;
  if (slash == nullptr) {
    n = snprintf(out, cap, ".");
  } else if (slash == path) {
    n = snprintf(out, cap, "/");
  } else {
    n = snprintf(out, cap, "%.*s", static_cast<int>(slash - path), path);
  }
  return n < 0 || static_cast<size_t>(n) >= cap ? -1 : 0;
}

int ejoinC(const char* dir, const char* name, char* out, size_t cap) {
  if (dir == nullptr || name == nullptr || out == nullptr) return -1;
  size_t dl = strlen(dir);
  const char* sep = dl > 0 && dir[dl - 1] != '/' ? "/" : "";
  int n = snprintf(out, cap, "%s%s%s", dir, sep, name);
  return n < 0 || static_cast<size_t>(n) >= cap ? -1 : 0;
}

}  // extern "C"
