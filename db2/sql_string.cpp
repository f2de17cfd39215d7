// sql_string.cpp -- SQL_STRING, the SQL text of the statement builders.
//
// Two set-ups:
//   - empty and growable: no text, length 0, capacity 0; an append that does
//     not fit reallocates to (length + appended + 2048) rounded down to a
//     multiple of 2048 bytes;
//   - a caller's fixed buffer: the text is the caller's buffer, length 1
//     (the length of a fixed buffer counts its terminator), and an append
//     that does not fit is refused with -250, keeping the text. A capacity of
//     2147483647 marks a buffer its owner sized for any text: appends then
//     skip the test.
// The newline flag (ZULPRETTYSQL set at the reset) makes the builders write
// one clause a line.
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "dbsql_io.h"

namespace {

constexpr int32_t kStep = 2048;

}  // namespace

void sql_string_init_growable(SQL_STRING* s) {
  s->text = nullptr;
  s->len = 0;
  s->cap = 0;
  s->growable = 1;
  s->unbounded = 0;
  s->newline = getenv("ZULPRETTYSQL") != nullptr ? 1 : 0;
}

void sql_string_init_fixed(SQL_STRING* s, char* buffer, int32_t cap) {
  s->text = buffer;
  if (cap > 0 && buffer != nullptr) buffer[0] = '\0';
  s->len = 1;
  s->cap = cap;
  s->growable = 0;
  s->unbounded = cap == INT32_MAX ? 1 : 0;
  s->newline = getenv("ZULPRETTYSQL") != nullptr ? 1 : 0;
}

void sql_string_free(SQL_STRING* s) {
  if (s->growable) free(s->text);
  sql_string_init_growable(s);
}

int32_t sql_string_append(SQL_STRING* s, const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  size_t tlen = strlen(text);
  if (tlen > (size_t)(INT32_MAX - 2 * kStep) || s->len > INT32_MAX - 2 * kStep - (int32_t)tlen)
    return s->growable ? SE_OUT_OF_DBMS_MEM : SE_SQL_TOO_LONG;
  int32_t add = (int32_t)tlen;
  if (!s->unbounded && s->len + add >= s->cap) {
    if (!s->growable) return SE_SQL_TOO_LONG;
    int32_t cap = (s->len + add + kStep) / kStep * kStep;
    char* grown = static_cast<char*>(realloc(s->text, (size_t)cap));
    if (grown == nullptr) return SE_OUT_OF_DBMS_MEM;
    if (s->cap == 0) grown[0] = '\0';
    s->text = grown;
    s->cap = cap;
  }
  // a fixed buffer's length counts its terminator
  int32_t at = s->growable ? s->len : s->len - 1;
  memcpy(s->text + at, text, tlen + 1);
  s->len += add;
  return 0;
}

int32_t sql_string_append_newline(SQL_STRING* s) {
  return s->newline ? sql_string_append(s, "\n") : 0;
}

int32_t sql_string_append_list(SQL_STRING* s, ...) {
  va_list ap;
  va_start(ap, s);
  int32_t status = 0;
  for (const char* t = va_arg(ap, const char*); t != nullptr; t = va_arg(ap, const char*)) {
    status = sql_string_append(s, t);
    if (status != 0) break;
  }
  va_end(ap);
  if (status != 0) return status;
  return sql_string_append_newline(s);
}
