// dl_translate_lex.cpp -- the DB2 tokenizer and the small helpers every
// engine file uses (diagnostics, quoting, catalogue queries, clocks).
//
// The tokenizer reads DB2's lexical forms: ordinary identifiers (folded to
// upper case), delimited identifiers ("..", kept as written), string
// literals ('..' with '' inside, X'..' hexadecimal), numbers (with an
// exponent, or a K/M/G suffix as in BLOB(1M)), parameter markers, "--" and
// "/* */" comments, and the operators. Everything it cannot read is a syntax
// error (42601); a text or token beyond the limits of dl_internal.h is too.
#include "dl_internal.h"

#include <ctype.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

namespace dl {

namespace {

bool ident_start(unsigned char c) { return isalpha(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80; }
bool ident_char(unsigned char c) { return ident_start(c) || isdigit(c); }

int syntax(DlDiag* diag, const std::string& token) {
  dl_set_diag(diag, "42601", -104,
              dl_msg(-104, "An unexpected token \"" + token + "\" was found.", "42601"));
  return -1;
}

}  // namespace

int dl_lex(const char* text, size_t len, std::vector<Tok>* out, DlDiag* diag) {
  out->clear();
  if (text == nullptr) return syntax(diag, "");
  if (len > kMaxStatementLen) {
    dl_set_diag(diag, "54001", -101, dl_msg(-101, "The statement is too long or too complex.", "54001"));
    return -1;
  }
  size_t i = 0;
  while (i < len) {
    unsigned char c = (unsigned char)text[i];
    if (c == 0) return syntax(diag, "<NUL>");
    if (isspace(c)) { ++i; continue; }
    if (c == '-' && i + 1 < len && text[i + 1] == '-') {
      while (i < len && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < len && text[i + 1] == '*') {
      size_t e = i + 2;
      while (e + 1 < len && !(text[e] == '*' && text[e + 1] == '/')) ++e;
      if (e + 1 >= len) return syntax(diag, "/*");
      i = e + 2;
      continue;
    }
    if (out->size() >= kMaxTokens) {
      dl_set_diag(diag, "54001", -101, dl_msg(-101, "The statement is too long or too complex.", "54001"));
      return -1;
    }
    Tok t;
    t.pos = i;
    if ((c == 'x' || c == 'X') && i + 1 < len && text[i + 1] == '\'') {
      size_t e = i + 2;
      while (e < len && text[e] != '\'') {
        if (!isxdigit((unsigned char)text[e])) return syntax(diag, std::string(text + i, e - i + 1));
        ++e;
      }
      if (e >= len || ((e - i - 2) % 2) != 0) return syntax(diag, std::string(text + i, e - i));
      t.type = TokType::Str;
      t.text.assign(text + i, e + 1 - i);
      i = e + 1;
    } else if (ident_start(c)) {
      size_t e = i;
      while (e < len && ident_char((unsigned char)text[e])) ++e;
      if (e - i > kMaxIdentifierLen) return syntax(diag, std::string(text + i, 20) + "...");
      t.type = TokType::Word;
      t.text = dl_upper(std::string(text + i, e - i));
      i = e;
    } else if (c == '"') {
      std::string name;
      size_t e = i + 1;
      for (;;) {
        if (e >= len) return syntax(diag, "\"");
        if (text[e] == '"') {
          if (e + 1 < len && text[e + 1] == '"') { name += '"'; e += 2; continue; }
          break;
        }
        if (text[e] == 0) return syntax(diag, "<NUL>");
        name += text[e++];
      }
      if (name.empty() || name.size() > kMaxIdentifierLen) return syntax(diag, "\"" + name + "\"");
      t.type = TokType::QIdent;
      t.text = name;
      i = e + 1;
    } else if (c == '\'') {
      size_t e = i + 1;
      for (;;) {
        if (e >= len) return syntax(diag, "'");
        if (text[e] == '\'') {
          if (e + 1 < len && text[e + 1] == '\'') { e += 2; continue; }
          break;
        }
        if (text[e] == 0) return syntax(diag, "<NUL>");
        ++e;
      }
      t.type = TokType::Str;
      t.text.assign(text + i, e + 1 - i);
      i = e + 1;
    } else if (isdigit(c) || (c == '.' && i + 1 < len && isdigit((unsigned char)text[i + 1]))) {
      size_t e = i;
      while (e < len && isdigit((unsigned char)text[e])) ++e;
      if (e < len && text[e] == '.' && !(e + 1 < len && text[e + 1] == '.')) {
        ++e;
        while (e < len && isdigit((unsigned char)text[e])) ++e;
      }
      if (e < len && (text[e] == 'e' || text[e] == 'E')) {
        size_t f = e + 1;
        if (f < len && (text[f] == '+' || text[f] == '-')) ++f;
        if (f < len && isdigit((unsigned char)text[f])) {
          e = f;
          while (e < len && isdigit((unsigned char)text[e])) ++e;
        }
      }
      if (e < len && (text[e] == 'K' || text[e] == 'M' || text[e] == 'G' || text[e] == 'k' ||
                      text[e] == 'm' || text[e] == 'g') &&
          !(e + 1 < len && ident_char((unsigned char)text[e + 1])))
        ++e;  // a LOB length such as 1M; only a type's length takes it
      if (e < len && ident_char((unsigned char)text[e]))
        return syntax(diag, std::string(text + i, e - i + 1));
      if (e - i > 64) return syntax(diag, std::string(text + i, 20) + "...");
      t.type = TokType::Num;
      t.text = dl_upper(std::string(text + i, e - i));
      i = e;
    } else if (c == '?') {
      t.type = TokType::Param;
      t.text = "?";
      ++i;
    } else {
      static const char* const kTwo[] = {"..", "||", "<=", ">=", "<>", "!=", "^=", "!>", "!<"};
      t.type = TokType::Punct;
      bool two = false;
      if (i + 1 < len) {
        for (const char* p : kTwo)
          if (text[i] == p[0] && text[i + 1] == p[1]) { two = true; break; }
      }
      if (two) {
        t.text.assign(text + i, 2);
        i += 2;
      } else if (strchr("(),.;=<>+-*/!:|", c) != nullptr) {
        t.text.assign(1, (char)c);
        ++i;
      } else {
        return syntax(diag, std::string(1, (char)c));
      }
    }
    t.end = i;
    out->push_back(std::move(t));
  }
  Tok end;
  end.type = TokType::End;
  end.pos = end.end = len;
  out->push_back(end);
  return 0;
}

// ---- diagnostics ----------------------------------------------------------

void dl_set_diag(DlDiag* diag, const char* sqlstate, int32_t native, const std::string& text) {
  if (diag == nullptr) return;
  diag->sqlstate = sqlstate;
  diag->native = native;
  diag->text = text;
}

std::string dl_msg(int32_t native, const std::string& body, const char* state) {
  char code[16];
  snprintf(code, sizeof code, "SQL%04d%c", native < 0 ? -native : native, native < 0 ? 'N' : 'W');
  // The CLI reports ODBC's states for these; the server's text keeps its own.
  static const char* const kServerState[][2] = {{"42S02", "42704"}, {"42S22", "42703"},
                                                {"42S01", "42710"}, {"42S11", "42710"},
                                                {"42S12", "42704"}, {"42S21", "42711"}};
  const char* shown = state;
  for (const auto& m : kServerState)
    if (strcmp(state, m[0]) == 0) shown = m[1];
  return std::string(code) + "  " + body + "  SQLSTATE=" + shown;
}

std::string dl_raise_text(const char* state, int32_t native, const std::string& msg) {
  return "DL:" + std::string(state) + ":" + std::to_string(native) + ":" + msg;
}

// ---- quoting ----------------------------------------------------------------

std::string dl_lit(const std::string& s) {
  std::string r = "'";
  for (char c : s) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

std::string dl_qid(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

std::string dl_obj(const std::string& schema, const std::string& name) {
  return dl_qid(schema + "." + name);
}

std::string dl_upper(const std::string& s) {
  std::string r = s;
  for (auto& c : r) c = (char)toupper((unsigned char)c);
  return r;
}

// ---- catalogue queries --------------------------------------------------------

int dl_query(sqlite3* db, const std::string& sql, const std::vector<std::string>& params,
             std::vector<std::vector<std::string>>* rows) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), (int)sql.size(), &st, nullptr);
  if (rc != SQLITE_OK) return rc;
  for (size_t k = 0; k < params.size(); ++k)
    sqlite3_bind_text(st, (int)k + 1, params[k].c_str(), (int)params[k].size(), SQLITE_TRANSIENT);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (rows == nullptr) continue;
    std::vector<std::string> row;
    int n = sqlite3_column_count(st);
    for (int c = 0; c < n; ++c) {
      const unsigned char* v = sqlite3_column_text(st, c);
      row.emplace_back(v ? (const char*)v : "", v ? (size_t)sqlite3_column_bytes(st, c) : 0);
    }
    rows->push_back(std::move(row));
  }
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? 0 : rc;
}

int dl_exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// ---- clocks -------------------------------------------------------------------

namespace {
struct tm now_tm(long* usec) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tmv;
  localtime_r(&tv.tv_sec, &tmv);
  *usec = (long)tv.tv_usec;
  return tmv;
}
}  // namespace

std::string dl_now_timestamp() {
  long us;
  struct tm t = now_tm(&us);
  char b[96];
  snprintf(b, sizeof b, "%04d-%02d-%02d-%02d.%02d.%02d.%06ld", t.tm_year + 1900, t.tm_mon + 1,
           t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, us);
  return b;
}

std::string dl_now_date() {
  long us;
  struct tm t = now_tm(&us);
  char b[48];
  snprintf(b, sizeof b, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return b;
}

std::string dl_now_time() {
  long us;
  struct tm t = now_tm(&us);
  char b[48];
  snprintf(b, sizeof b, "%02d.%02d.%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return b;
}

}  // namespace dl
