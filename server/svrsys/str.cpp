// str.cpp -- case folding and blank trimming of texts in place.
//
// Case follows the process's character-type code page (zulos_ctype_*, the
// stand-in for the locale that a server process selects), so accented
// letters of a single-byte code page fold as the clients expect. SES_ToUpper
// and SES_ToLower leave the bytes of multi-byte characters alone, asking the
// code-page record where each character starts; a character cut short by
// the end of the text ends the walk there, never past the terminator.
#include <string.h>

#include "svr_services.h"
#include "zul_codepage.h"
#include "zulos.h"

namespace {

// Folds text with fold(), skipping multi-byte characters of the record's
// native code page unless it is single-byte.
char* fold_codepage(char* text, const CODEPAGE_INFO* codepage, int (*fold)(int)) {
  if (text == nullptr) return nullptr;
  bool single = codepage == nullptr || codepage->native_class == CODEPAGE_SINGLE_BYTE;
  unsigned char* p = reinterpret_cast<unsigned char*>(text);
  while (*p != '\0') {
    if (single) {
      *p = static_cast<unsigned char>(fold(*p));
      ++p;
      continue;
    }
    int32_t lead = CODEPAGE_isleadbyte(codepage, *p, p[1]);
    size_t width = lead == 1 ? 2 : lead == 2 ? 4 : 1;
    if (width == 1) {
      *p = static_cast<unsigned char>(fold(*p));
      ++p;
      continue;
    }
    for (size_t i = 0; i < width; ++i) {
      if (*p == '\0') return text;  // truncated character: stop at the terminator
      ++p;
    }
  }
  return text;
}

char* fold_all(char* text, int (*test)(int), int (*fold)(int)) {
  if (text == nullptr) return nullptr;
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != '\0'; ++p) {
    if (test(*p)) *p = static_cast<unsigned char>(fold(*p));
  }
  return text;
}

bool is_blank(char c) { return c == ' ' || c == '\n' || c == '\t'; }

}  // namespace

char* SES_ToUpper(char* text, const CODEPAGE_INFO* codepage) {
  return fold_codepage(text, codepage, zulos_ctype_toupper);
}

char* SES_ToLower(char* text, const CODEPAGE_INFO* codepage) {
  return fold_codepage(text, codepage, zulos_ctype_tolower);
}

char* SES_UpperCase(char* text) { return fold_all(text, zulos_ctype_islower, zulos_ctype_toupper); }

char* SES_LowerCase(char* text) { return fold_all(text, zulos_ctype_isupper, zulos_ctype_tolower); }

char* SES_RemoveSpaces(char* text) {
  if (text == nullptr) return nullptr;
  size_t len = strlen(text);
  while (len > 0 && is_blank(text[len - 1])) --len;
  text[len] = '\0';
  size_t start = 0;
  while (start < len && is_blank(text[start])) ++start;
  if (start > 0) memmove(text, text + start, len - start + 1);
  return text;
}
