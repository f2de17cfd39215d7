// db_ident.cpp -- identifiers and lists in SQL text: the identifier rule for
// names that clients send, upper-casing in the connection's code page, the
// unqualified part of a name, and the rewrite of an integer IN-list into
// parameter markers.
//
// Letters are those of the process's character-type code page (the OS
// layer's zulos_ctype_isalpha, the ANSI code page unless the process chose
// another), digits are 0 to 9; the code pages whose upper half is all
// letters (Thai, Arabic) say so in kHighLetters below. Relies on the
// CODEPAGE_ functions for conversion and lead bytes.
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_codepage.h"
#include "zulos.h"

namespace {

bool is_letter(unsigned char c) { return zulos_ctype_isalpha(c) != 0; }
bool is_letter_or_digit(unsigned char c) { return is_letter(c) || (c >= '0' && c <= '9'); }

// Code pages whose every byte of 0x80 or above counts as a letter after the
// first character: th, 1256, 708, 720, 88596.
constexpr int32_t kHighLetters[] = {48, 44, 34, 35, 12};
constexpr int32_t kCodepage1255 = 43;  // 0xFD and 0xFE count as letters

bool high_letters(int32_t id) {
  for (int32_t h : kHighLetters)
    if (h == id) return true;
  return false;
}

const CODEPAGE_INFO* codepage_of(DB_INSTANCE* instance) {
  return instance != nullptr ? instance->params.codepage : nullptr;
}

// Length of the character at p under the code page's lead bytes: 1, 2 or 4.
int32_t char_len(const CODEPAGE_INFO* cp, bool multibyte, const unsigned char* p) {
  if (cp == nullptr || !multibyte) return 1;
  int32_t lead = CODEPAGE_isleadbyte(cp, p[0], p[1]);
  return lead == 1 ? 2 : lead == 2 ? 4 : 1;
}

// True when text holds only an optionally signed decimal integer that fits
// 32 bits, blanks around it allowed; the value goes to out.
bool parse_int(const std::string& text, int32_t* out) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  const char* start = p;
  if (*p == '-' || *p == '+') ++p;
  if (!isdigit((unsigned char)*p)) return false;
  while (isdigit((unsigned char)*p)) ++p;
  const char* end = p;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p != '\0') return false;
  errno = 0;
  long v = strtol(std::string(start, end).c_str(), nullptr, 10);
  if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *out = (int32_t)v;
  return true;
}

}  // namespace

int32_t DB_check_identifier(DB_INSTANCE* instance, const char* identifier) {
  if (identifier == nullptr || identifier[0] == '\0') return 0;
  const CODEPAGE_INFO* cp = codepage_of(instance);
  size_t len = strlen(identifier);

  // a working copy, with room for a conversion that widens characters
  std::vector<char> copy;
  try {
    copy.assign(len * 4 + 1, '\0');
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_DBMS_MEM;
  }
  memcpy(copy.data(), identifier, len);

  bool native_single = cp == nullptr || cp->native_class == CODEPAGE_SINGLE_BYTE;
  if (cp != nullptr && cp->convert && native_single)
    CODEPAGE_tonative(copy.data(), (int32_t)copy.size(), cp);

  int32_t rules_id = 0;
  bool multibyte = false;
  if (cp != nullptr) {
    rules_id = cp->native_id;
    multibyte = cp->native_class != CODEPAGE_SINGLE_BYTE;
    if (multibyte && cp->convert) {
      rules_id = cp->conn_id;
      multibyte = cp->conn_class != CODEPAGE_SINGLE_BYTE;
    }
  }

  const unsigned char* p = reinterpret_cast<const unsigned char*>(copy.data());
  size_t n = strlen(copy.data());
  size_t i = 0;

  // first character
  int32_t clen = char_len(cp, multibyte, p);
  if (clen > 1) {
    if ((size_t)clen > n) return SE_INVALID_IDENTIFIER;  // a character cut short
    i = (size_t)clen;
  } else {
    if (!is_letter(p[0]) && p[0] != '_') return SE_INVALID_IDENTIFIER;
    i = 1;
  }

  // the following characters
  while (i < n) {
    clen = char_len(cp, multibyte, p + i);
    if (clen > 1) {
      if (i + (size_t)clen > n) return SE_INVALID_IDENTIFIER;
      i += (size_t)clen;
      continue;
    }
    unsigned char c = p[i];
    bool pass = is_letter_or_digit(c);
    if (!pass && c >= 0x80 && high_letters(rules_id)) pass = true;
    if (!pass && rules_id == kCodepage1255 && (c == 0xFD || c == 0xFE)) pass = true;
    if (!pass && c != '_' && c != '.') return SE_INVALID_IDENTIFIER;
    ++i;
  }
  return 0;
}

char* db_upcase_identifier(DB_INSTANCE* instance, char* text, int32_t cap) {
  if (text == nullptr) return text;
  const CODEPAGE_INFO* cp = codepage_of(instance);
  bool convert = cp != nullptr && cp->convert && cp->native_class == CODEPAGE_SINGLE_BYTE;
  if (convert) CODEPAGE_tonative(text, cap, cp);
  SES_ToUpper(text, cp);
  if (convert) CODEPAGE_tocpg(text, cap, cp);
  return text;
}

const char* db_strip_qualifier(const char* name) {
  if (name == nullptr) return name;
  const char* dot = strrchr(name, '.');
  return dot != nullptr ? dot + 1 : name;
}

void db_free_string_array(char** buffer, char** texts, int32_t count) {
  if (buffer != nullptr) {
    free(*buffer);
    *buffer = nullptr;
  }
  if (texts == nullptr) return;
  for (int32_t i = 0; i < count; ++i) free(texts[i]);
  free(texts);
}

namespace {

int32_t parse_in_list(const char* where, const char* column, int32_t* count, int32_t** values,
                      char*** markers, char** new_where);

}  // namespace

int32_t db_parse_in_list(const char* where, const char* column, int32_t* count,
                         int32_t** values, char*** markers, char** new_where) {
  if (where == nullptr || column == nullptr || column[0] == '\0') return 0;
  try {
    return parse_in_list(where, column, count, values, markers, new_where);
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_DBMS_MEM;
  }
}

namespace {

int32_t parse_in_list(const char* where, const char* column, int32_t* count, int32_t** values,
                      char*** markers, char** new_where) {
  std::string pattern = std::string(column) + " IN (";
  std::string clause = where;
  size_t from = 0;
  for (;;) {
    size_t at = clause.find(pattern, from);
    if (at == std::string::npos) return 0;
    size_t list = at + pattern.size();
    from = at + 1;
    // a sub-select, even one written after blanks, is not a list of values
    size_t first = clause.find_first_not_of(" \t", list);
    if (first != std::string::npos && isalpha((unsigned char)clause[first])) continue;
    size_t close = clause.find(')', list);
    if (close == std::string::npos) return 0;

    // every item must be an integer literal; anything else is left as written
    std::vector<int32_t> items;
    std::string body = clause.substr(list, close - list);
    bool all_int = true;
    size_t start = 0;
    for (;;) {
      size_t comma = body.find(',', start);
      std::string item = body.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      int32_t v = 0;
      if (!parse_int(item, &v)) {
        all_int = false;
        break;
      }
      items.push_back(v);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (!all_int || items.empty()) continue;

    int32_t n = (int32_t)items.size();
    std::string rebuilt = clause.substr(0, list);
    for (int32_t i = 0; i < n; ++i) rebuilt += i == 0 ? "?" : ",?";
    rebuilt += ") ";
    rebuilt += clause.substr(close + 1);
    int32_t* vals = static_cast<int32_t*>(malloc(sizeof(int32_t) * (size_t)n));
    char** marks = static_cast<char**>(calloc((size_t)n, sizeof(char*)));
    char* text = static_cast<char*>(malloc(rebuilt.size() + 1));
    bool ok = vals != nullptr && marks != nullptr && text != nullptr;
    for (int32_t i = 0; ok && i < n; ++i) {
      marks[i] = static_cast<char*>(malloc(10));
      if (marks[i] == nullptr) ok = false;
      else strcpy(marks[i], "?");
    }
    if (!ok) {
      free(vals);
      db_free_string_array(nullptr, marks, marks != nullptr ? n : 0);
      free(text);
      return SE_OUT_OF_DBMS_MEM;
    }
    memcpy(vals, items.data(), sizeof(int32_t) * (size_t)n);
    memcpy(text, rebuilt.c_str(), rebuilt.size() + 1);
    *count = n;
    *values = vals;
    *markers = marks;
    *new_where = text;
    return 0;
  }
}

}  // namespace
