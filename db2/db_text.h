// db_text.h -- small helpers the catalogue modules share for building SQL
// text: a statement handle freed on every return, printf into a string, and
// a text with its quotes doubled for a quoted SQL literal.
#ifndef DB_TEXT_H
#define DB_TEXT_H

#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "dbsql_io.h"

namespace dbtext {

inline bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A statement handle that is freed when it goes out of scope.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

inline std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string fmt(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&out[0], (size_t)n + 1, format, ap);
  va_end(ap);
  return out;
}

// At most cap bytes of text, each quote doubled, for use inside '...'.
inline std::string quoted(const char* text, size_t cap) {
  std::string out;
  for (size_t i = 0; i < cap && text[i] != '\0'; ++i) {
    out += text[i];
    if (text[i] == '\'') out += '\'';
  }
  return out;
}

}  // namespace dbtext

#endif
