// dl_stmt_fetch.cpp -- result sets: SQLBindCol, SQLFetch, SQLFetchScroll,
// SQLExtendedFetch, SQLGetData, SQLNumResultCols, SQLDescribeCol,
// SQLColAttribute, SQLFreeStmt and SQLCloseCursor.
//
// Divisions: value conversion (SQLite value to C buffer); column
// description (DB2 declared types); cursors (live on SQLite, or rows kept
// aside); the rowset fetch; the CLI entry points. A cursor is Live while
// SQLite steps it and Kept once its rows sit in memory (catalogue results,
// or a cursor on the writing connection at COMMIT: note 4 of dl_cli_impl.h).
// SQLFetch and SQLFetchScroll fill SQL_ATTR_ROW_ARRAY_SIZE rows and report
// through SQL_ATTR_ROWS_FETCHED_PTR and SQL_ATTR_ROW_STATUS_PTR;
// SQLExtendedFetch fills SQL_ROWSET_SIZE rows and reports through its own
// arguments. SQLGetData reads the last row fetched.
#include "dl_cli_impl.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace dl {

namespace {

void truncated(Handle* h) {
  for (const Diag& d : h->diags)
    if (d.state == "01004") return;
  cli_diag(h, "01004", 0, "CLI0002W", "Data truncated.");
}

void conv_error(Handle* h, const char* state, const char* id, const char* text) {
  cli_diag(h, state, DB2LITE_NATIVE_CLI, id, text);
}

// The character form of a number, as DB2 hands it to a character buffer.
size_t number_text(const CellView& v, char* buf, size_t cap) {
  if (v.type == SQLITE_INTEGER) return static_cast<size_t>(snprintf(buf, cap, "%lld", static_cast<long long>(v.i)));
  int k = snprintf(buf, cap, "%.15g", v.d);
  if (strtod(buf, nullptr) != v.d) k = snprintf(buf, cap, "%.17g", v.d);
  return static_cast<size_t>(k);
}

bool text_int(const char* p, SQLLEN n, int64_t* out) {
  while (n > 0 && isspace(static_cast<unsigned char>(*p))) ++p, --n;
  while (n > 0 && isspace(static_cast<unsigned char>(p[n - 1]))) --n;
  if (n <= 0 || n > 40) return false;
  char tmp[48];
  memcpy(tmp, p, static_cast<size_t>(n));
  tmp[n] = 0;
  char* end;
  errno = 0;
  long long v = strtoll(tmp, &end, 10);
  if (!*end && !errno) {
    *out = v;
    return true;
  }
  errno = 0;
  double d = strtod(tmp, &end);
  if (*end || errno || d != d || d >= 9.3e18 || d <= -9.3e18) return false;
  *out = static_cast<int64_t>(d);
  return true;
}

bool text_real(const char* p, SQLLEN n, double* out) {
  while (n > 0 && isspace(static_cast<unsigned char>(*p))) ++p, --n;
  if (n <= 0 || n > 64) return false;
  char tmp[72];
  memcpy(tmp, p, static_cast<size_t>(n));
  tmp[n] = 0;
  char* end;
  errno = 0;
  *out = strtod(tmp, &end);
  while (*end && isspace(static_cast<unsigned char>(*end))) ++end;
  return !*end && !errno;
}

// Reads up to `count` unsigned numbers separated by non-digits.
int read_numbers(const char* p, SQLLEN n, unsigned* out, int count, int* frac_digits) {
  int k = 0;
  SQLLEN i = 0;
  while (k < count && i < n) {
    while (i < n && !isdigit(static_cast<unsigned char>(p[i]))) ++i;
    if (i >= n) break;
    unsigned v = 0;
    int digits = 0;
    while (i < n && isdigit(static_cast<unsigned char>(p[i]))) {
      if (digits < 9) v = v * 10 + static_cast<unsigned>(p[i] - '0');
      ++digits;
      ++i;
    }
    if (frac_digits) *frac_digits = digits;
    out[k++] = v;
  }
  return k;
}

}  // namespace

SQLLEN ctype_size(SQLSMALLINT ctype) {
  switch (ctype) {
    case SQL_C_CHAR: case SQL_C_BINARY: case SQL_C_BLOB: case SQL_C_CLOB: return 0;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: return 4;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: return 1;
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_DOUBLE: return 8;
    case SQL_C_DATE: case SQL_C_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIME: case SQL_C_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    default: return -1;
  }
}

SQLSMALLINT default_ctype(SQLSMALLINT sqltype) {
  switch (sqltype) {
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_DOUBLE: case SQL_FLOAT: return SQL_C_DOUBLE;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_TYPE_DATE: case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME: case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: case SQL_BLOB: return SQL_C_BINARY;
    default: return SQL_C_CHAR;
  }
}

int put_value(Handle* h, const CellView& v, SQLSMALLINT ctype, SQLSMALLINT sqltype, void* buf,
              SQLLEN cap, SQLLEN* ind, SQLLEN off, SQLLEN* copied) {
  *copied = 0;
  if (v.type == SQLITE_NULL) {
    if (!ind) {
      conv_error(h, "22002", "CLI0107E", "Indicator variable required but not supplied.");
      return -1;
    }
    *ind = SQL_NULL_DATA;
    return 0;
  }
  if (ctype == SQL_C_DEFAULT) ctype = default_ctype(sqltype);
  // The common cases of a fetch loop first: whole values of the column's
  // own kind.
  if (off == 0 && buf) {
    if (v.type == SQLITE_INTEGER && (ctype == SQL_C_SLONG || ctype == SQL_C_LONG) &&
        v.i >= INT32_MIN && v.i <= INT32_MAX) {
      int32_t y = static_cast<int32_t>(v.i);
      memcpy(buf, &y, 4);
      if (ind) *ind = 4;
      return 0;
    }
    if (v.type == SQLITE_FLOAT && ctype == SQL_C_DOUBLE) {
      memcpy(buf, &v.d, 8);
      if (ind) *ind = 8;
      return 0;
    }
    if (v.type == SQLITE_TEXT && ctype == SQL_C_CHAR && v.n < cap) {
      memcpy(buf, v.p, static_cast<size_t>(v.n));
      static_cast<char*>(buf)[v.n] = 0;
      if (ind) *ind = v.n;
      *copied = v.n;
      return 0;
    }
  }
  switch (ctype) {
    case SQL_C_CHAR: case SQL_C_CLOB: case SQL_C_BINARY: case SQL_C_BLOB: {
      bool text_out = ctype == SQL_C_CHAR || ctype == SQL_C_CLOB;
      char num[40];
      const char* src;
      SQLLEN len;
      // Binary data reaches a character buffer as hexadecimal digits, made
      // for the piece asked for only.
      bool hex = v.type == SQLITE_BLOB && text_out;
      if (v.type == SQLITE_INTEGER || v.type == SQLITE_FLOAT) {
        len = static_cast<SQLLEN>(number_text(v, num, sizeof num));
        src = num;
      } else if (hex) {
        src = v.p;
        len = 2 * v.n;
      } else {
        src = v.p;
        len = v.n;
      }
      SQLLEN rem = len > off ? len - off : 0;
      if (ind) *ind = rem;
      SQLLEN room = text_out ? cap - 1 : cap;
      if (!buf || room < 0) room = 0;
      SQLLEN n = std::min(rem, room);
      if (buf && n > 0) {
        if (hex) {
          static const char kHex[] = "0123456789ABCDEF";
          char* out = static_cast<char*>(buf);
          for (SQLLEN k = 0; k < n; ++k) {
            SQLLEN pos = off + k;
            unsigned char b = static_cast<unsigned char>(src[pos / 2]);
            out[k] = kHex[(pos & 1) ? (b & 15) : (b >> 4)];
          }
        } else {
          memcpy(buf, src + off, static_cast<size_t>(n));
        }
      }
      if (buf && text_out && cap > 0) static_cast<char*>(buf)[n] = 0;
      *copied = n;
      if (n < rem) {
        truncated(h);
        return 1;
      }
      return 0;
    }
    case SQL_C_DOUBLE: case SQL_C_FLOAT: {
      double d;
      if (v.type == SQLITE_INTEGER) d = static_cast<double>(v.i);
      else if (v.type == SQLITE_FLOAT) d = v.d;
      else if (v.type == SQLITE_TEXT && text_real(v.p, v.n, &d)) {
      } else {
        conv_error(h, "22018", "CLI0112E", "Invalid character value for cast specification.");
        return -1;
      }
      if (ctype == SQL_C_DOUBLE) memcpy(buf, &d, 8);
      else {
        float f = static_cast<float>(d);
        memcpy(buf, &f, 4);
      }
      if (ind) *ind = ctype == SQL_C_DOUBLE ? 8 : 4;
      return 0;
    }
    case SQL_C_DATE: case SQL_C_TYPE_DATE: case SQL_C_TIME: case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: {
      if (v.type != SQLITE_TEXT) {
        conv_error(h, "22018", "CLI0112E", "Invalid character value for cast specification.");
        return -1;
      }
      unsigned f[7] = {0, 0, 0, 0, 0, 0, 0};
      int fd = 0;
      bool is_time = ctype == SQL_C_TIME || ctype == SQL_C_TYPE_TIME;
      int got = read_numbers(v.p, v.n, f, is_time ? 3 : 7, &fd);
      if (got < 3) {
        conv_error(h, "22007", "CLI0113E", "Invalid datetime format.");
        return -1;
      }
      if (is_time) {
        SQL_TIME_STRUCT t = {static_cast<SQLUSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                             static_cast<SQLUSMALLINT>(f[2])};
        memcpy(buf, &t, sizeof t);
        if (ind) *ind = sizeof t;
      } else if (ctype == SQL_C_DATE || ctype == SQL_C_TYPE_DATE) {
        SQL_DATE_STRUCT d = {static_cast<SQLSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                             static_cast<SQLUSMALLINT>(f[2])};
        memcpy(buf, &d, sizeof d);
        if (ind) *ind = sizeof d;
      } else {
        unsigned frac = f[6];
        if (got == 7) {
          int digits = std::min(fd, 9);
          for (int i = digits; i < 9; ++i) frac *= 10;
        }
        SQL_TIMESTAMP_STRUCT t = {static_cast<SQLSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                                  static_cast<SQLUSMALLINT>(f[2]), static_cast<SQLUSMALLINT>(f[3]),
                                  static_cast<SQLUSMALLINT>(f[4]), static_cast<SQLUSMALLINT>(f[5]),
                                  frac};
        memcpy(buf, &t, sizeof t);
        if (ind) *ind = sizeof t;
      }
      return 0;
    }
    default: break;
  }
  // integer C types
  SQLLEN size = ctype_size(ctype);
  if (size <= 0) {
    conv_error(h, "HY003", "CLI0135E", "Program type out of range.");
    return -1;
  }
  int64_t x;
  if (v.type == SQLITE_INTEGER) x = v.i;
  else if (v.type == SQLITE_FLOAT) {
    if (v.d != v.d || v.d >= 9.3e18 || v.d <= -9.3e18) {
      conv_error(h, "22003", "CLI0111E", "Numeric value out of range.");
      return -1;
    }
    x = static_cast<int64_t>(v.d);
  } else if (v.type == SQLITE_TEXT && text_int(v.p, v.n, &x)) {
  } else {
    conv_error(h, "22018", "CLI0112E", "Invalid character value for cast specification.");
    return -1;
  }
  bool fits = true;
  switch (ctype) {
    case SQL_C_LONG: case SQL_C_SLONG: { fits = x >= INT32_MIN && x <= INT32_MAX; int32_t y = static_cast<int32_t>(x); if (fits) memcpy(buf, &y, 4); break; }
    case SQL_C_ULONG: { fits = x >= 0 && x <= static_cast<int64_t>(UINT32_MAX); uint32_t y = static_cast<uint32_t>(x); if (fits) memcpy(buf, &y, 4); break; }
    case SQL_C_SHORT: case SQL_C_SSHORT: { fits = x >= INT16_MIN && x <= INT16_MAX; int16_t y = static_cast<int16_t>(x); if (fits) memcpy(buf, &y, 2); break; }
    case SQL_C_USHORT: { fits = x >= 0 && x <= UINT16_MAX; uint16_t y = static_cast<uint16_t>(x); if (fits) memcpy(buf, &y, 2); break; }
    case SQL_C_TINYINT: case SQL_C_STINYINT: { fits = x >= INT8_MIN && x <= INT8_MAX; int8_t y = static_cast<int8_t>(x); if (fits) memcpy(buf, &y, 1); break; }
    case SQL_C_UTINYINT: case SQL_C_BIT: { fits = x >= 0 && x <= UINT8_MAX; uint8_t y = static_cast<uint8_t>(x); if (fits) memcpy(buf, &y, 1); break; }
    case SQL_C_SBIGINT: memcpy(buf, &x, 8); break;
    case SQL_C_UBIGINT: { fits = x >= 0; uint64_t y = static_cast<uint64_t>(x); if (fits) memcpy(buf, &y, 8); break; }
    default: break;
  }
  if (!fits) {
    conv_error(h, "22003", "CLI0111E", "Numeric value out of range.");
    return -1;
  }
  if (ind) *ind = size;
  return 0;
}

// ---- column description ------------------------------------------------------

bool decl_to_desc(const char* decl, ColDesc* d) {
  if (!decl) return false;
  std::string t;
  for (const char* p = decl; *p; ++p) t += static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  long a = -1, b = -1;
  std::string base = t;
  size_t lp = t.find('(');
  if (lp != std::string::npos) {
    base = t.substr(0, lp);
    const char* p = t.c_str() + lp + 1;
    char* end;
    a = strtol(p, &end, 10);
    while (*end == ' ') ++end;
    char unit = *end;
    if (unit == 'K') a *= 1024;
    else if (unit == 'M') a *= 1024 * 1024;
    else if (unit == 'G') a = 2147483647;
    if (*end == ',') b = strtol(end + 1, nullptr, 10);
  }
  bool bit = t.find("FOR BIT DATA") != std::string::npos;
  while (!base.empty() && base.back() == ' ') base.pop_back();
  while (!base.empty() && base.front() == ' ') base.erase(0, 1);
  if (bit) {
    size_t k = base.find(" FOR BIT DATA");
    if (k != std::string::npos) base.erase(k);
  }
  auto set = [&](SQLSMALLINT ty, const char* name, SQLULEN size, SQLSMALLINT dig) {
    d->sqltype = ty;
    d->type_name = name;
    d->size = size;
    d->digits = dig;
  };
  if (base == "CHAR" || base == "CHARACTER") {
    long n = a > 0 ? a : 1;
    if (bit) set(SQL_BINARY, "CHAR () FOR BIT DATA", static_cast<SQLULEN>(n), 0);
    else set(SQL_CHAR, "CHAR", static_cast<SQLULEN>(n), 0);
  } else if (base == "VARCHAR" || base == "CHARACTER VARYING" || base == "CHAR VARYING") {
    long n = a > 0 ? a : 1;
    if (bit) set(SQL_VARBINARY, "VARCHAR () FOR BIT DATA", static_cast<SQLULEN>(n), 0);
    else set(SQL_VARCHAR, "VARCHAR", static_cast<SQLULEN>(n), 0);
  } else if (base == "LONG VARCHAR") {
    if (bit) set(SQL_LONGVARBINARY, "LONG VARCHAR FOR BIT DATA", 32700, 0);
    else set(SQL_LONGVARCHAR, "LONG VARCHAR", 32700, 0);
  } else if (base == "SMALLINT") {
    set(SQL_SMALLINT, "SMALLINT", 5, 0);
  } else if (base == "INTEGER" || base == "INT") {
    set(SQL_INTEGER, "INTEGER", 10, 0);
  } else if (base == "BIGINT") {
    set(SQL_BIGINT, "BIGINT", 19, 0);
  } else if (base == "DECIMAL" || base == "DEC" || base == "NUMERIC" || base == "NUM") {
    set(SQL_DECIMAL, "DECIMAL", static_cast<SQLULEN>(a > 0 ? a : 5),
        static_cast<SQLSMALLINT>(b > 0 ? b : 0));
  } else if (base == "REAL") {
    set(SQL_REAL, "REAL", 7, 0);
  } else if (base == "DOUBLE" || base == "DOUBLE PRECISION" || base == "FLOAT") {
    set(SQL_DOUBLE, "DOUBLE", 15, 0);
  } else if (base == "DATE") {
    set(SQL_TYPE_DATE, "DATE", 10, 0);
  } else if (base == "TIME") {
    set(SQL_TYPE_TIME, "TIME", 8, 0);
  } else if (base == "TIMESTAMP") {
    set(SQL_TYPE_TIMESTAMP, "TIMESTAMP", 26, 6);
  } else if (base == "BLOB" || base == "BINARY LARGE OBJECT") {
    set(SQL_BLOB, "BLOB", static_cast<SQLULEN>(a > 0 ? a : 1048576), 0);
  } else if (base == "CLOB" || base == "CHARACTER LARGE OBJECT") {
    set(SQL_CLOB, "CLOB", static_cast<SQLULEN>(a > 0 ? a : 1048576), 0);
  } else if (base == "DBCLOB") {
    set(SQL_DBCLOB, "DBCLOB", static_cast<SQLULEN>(a > 0 ? a : 1048576), 0);
  } else if (base == "GRAPHIC") {
    set(SQL_GRAPHIC, "GRAPHIC", static_cast<SQLULEN>(a > 0 ? a : 1), 0);
  } else if (base == "VARGRAPHIC") {
    set(SQL_VARGRAPHIC, "VARGRAPHIC", static_cast<SQLULEN>(a > 0 ? a : 1), 0);
  } else if (base == "LONG VARGRAPHIC") {
    set(SQL_LONGVARGRAPHIC, "LONG VARGRAPHIC", 16350, 0);
  } else if (base.compare(0, 3, "ST_") == 0 || base.compare(0, 10, "DB2GSE.ST_") == 0) {
    // Spatial Extender types reach the caller as their BLOB form.
    size_t dot = base.find('.');
    d->udt_name = dot == std::string::npos ? base : base.substr(dot + 1);
    set(SQL_BLOB, "BLOB", 1048576, 0);
  } else {
    return false;
  }
  return true;
}

namespace {

sqlite3_stmt* describe_source(Stmt* s) {
  if (s->cursor == CursorState::Live) return s->live;
  return s->wstmt ? s->wstmt : s->rstmt;
}

void build_desc(Stmt* s) {
  if (s->desc_ready) return;
  s->desc.assign(static_cast<size_t>(s->ncols), ColDesc());
  sqlite3_stmt* st = describe_source(s);
  if (!st) {
    s->desc_ready = true;
    return;
  }
  sqlite3* db = sqlite3_db_handle(st);
  // Expressions have no declared type; before the statement runs they are
  // typed by a first look at their value (the statement is stepped once
  // and reset, which changes nothing).
  std::vector<int> peeked;
  if (s->cursor == CursorState::None) {
    for (int i = 0; i < s->ncols && peeked.empty(); ++i) {
      if (sqlite3_column_decltype(st, i)) continue;
      if (static_cast<size_t>(i) < s->plan.column_types.size() &&
          !s->plan.column_types[static_cast<size_t>(i)].empty())
        continue;
      if (sqlite3_step(st) == SQLITE_ROW)
        for (int k = 0; k < s->ncols; ++k) peeked.push_back(sqlite3_column_type(st, k));
      sqlite3_reset(st);
      break;
    }
  }
  for (int i = 0; i < s->ncols; ++i) {
    ColDesc& d = s->desc[static_cast<size_t>(i)];
    if (static_cast<size_t>(i) < s->plan.column_names.size())
      d.name = s->plan.column_names[static_cast<size_t>(i)];
    else {
      const char* n = sqlite3_column_name(st, i);
      d.name = n ? n : std::to_string(i + 1);
    }
    const std::string* etype = nullptr;  // the engine's type of an expression column
    if (static_cast<size_t>(i) < s->plan.column_types.size() &&
        !s->plan.column_types[static_cast<size_t>(i)].empty())
      etype = &s->plan.column_types[static_cast<size_t>(i)];
    if (decl_to_desc(sqlite3_column_decltype(st, i), &d)) {
    } else if (etype && *etype != "VARCHAR" && decl_to_desc(etype->c_str(), &d)) {
      // Typed by the engine (COUNT is INTEGER even over no rows).
    } else if (etype) {
      d.sqltype = SQL_VARCHAR; d.type_name = "VARCHAR"; d.size = 254;
    } else {
      // An expression the engine cannot type: typed by its value when there is one.
      int t = SQLITE_NULL;
      if (s->cursor == CursorState::Live && (s->pending || s->has_row)) t = sqlite3_column_type(st, i);
      else if (static_cast<size_t>(i) < peeked.size()) t = peeked[static_cast<size_t>(i)];
      if (t == SQLITE_INTEGER) { d.sqltype = SQL_INTEGER; d.type_name = "INTEGER"; d.size = 10; }
      else if (t == SQLITE_FLOAT) { d.sqltype = SQL_DOUBLE; d.type_name = "DOUBLE"; d.size = 15; }
      else if (t == SQLITE_BLOB) { d.sqltype = SQL_BLOB; d.type_name = "BLOB"; d.size = 1048576; }
      else { d.sqltype = SQL_VARCHAR; d.type_name = "VARCHAR"; d.size = 254; }
    }
    const char* tab = sqlite3_column_table_name(st, i);
    const char* col = sqlite3_column_origin_name(st, i);
    if (tab && col) {
      int notnull = 0, pk = 0, autoinc = 0;
      const char* dt = nullptr;
      const char* coll = nullptr;
      if (sqlite3_table_column_metadata(db, sqlite3_column_database_name(st, i), tab, col, &dt,
                                        &coll, &notnull, &pk, &autoinc) == SQLITE_OK)
        d.nullable = notnull ? SQL_NO_NULLS : SQL_NULLABLE;
      std::string full = tab;
      size_t dot = full.find('.');
      if (dot != std::string::npos) {
        d.schema = full.substr(0, dot);
        d.table = full.substr(dot + 1);
      } else {
        d.table = full;
      }
    }
  }
  s->desc_ready = true;
}

bool check_cursor(Stmt* s) {
  if (s->cursor == CursorState::None) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return false;
  }
  return true;
}

// The value of column i (0-based, hidden columns included) of the current
// row.
CellView cell(Stmt* s, int i) {
  if (s->cursor == CursorState::Kept) return view_of(s->kept_row[static_cast<size_t>(i)]);
  CellView v;
  sqlite3_stmt* st = s->live;
  v.type = sqlite3_column_type(st, i);
  switch (v.type) {
    case SQLITE_INTEGER: v.i = sqlite3_column_int64(st, i); break;
    case SQLITE_FLOAT: v.d = sqlite3_column_double(st, i); break;
    case SQLITE_TEXT:
      v.p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      v.n = sqlite3_column_bytes(st, i);
      break;
    case SQLITE_BLOB:
      v.p = static_cast<const char*>(sqlite3_column_blob(st, i));
      v.n = sqlite3_column_bytes(st, i);
      if (!v.p) v.p = "";
      break;
    default: break;
  }
  return v;
}

// Steps the cursor to its next row: 1 a row, 0 the end, -1 an error
// recorded on s.
int next_row(Stmt* s) {
  if (s->cursor == CursorState::Kept) {
    size_t width = static_cast<size_t>(s->ncols + s->hidden);
    if (width == 0 || (s->kept_pos + 1) * width > s->kept.size()) return 0;
    s->kept_row.assign(s->kept.begin() + static_cast<long>(s->kept_pos * width),
                       s->kept.begin() + static_cast<long>((s->kept_pos + 1) * width));
    ++s->kept_pos;
    return 1;
  }
  if (s->pending) {
    s->pending = false;
    return 1;
  }
  if (s->at_end) return 0;
  int rc = sqlite3_step(s->live);
  if (rc == SQLITE_ROW) return 1;
  if (rc == SQLITE_DONE) {
    s->at_end = true;
    return 0;
  }
  Dbc* c = s->dbc;
  db_failure(s, sqlite3_db_handle(s->live), rc, &s->plan);
  bool on_wdb = s->on_wdb;
  stmt_close_cursor(s);
  if (on_wdb || (rc & 0xff) == SQLITE_BUSY) conn_after_failure(c, rc);
  return -1;
}

SQLRETURN fetch_rowset(Stmt* s, SQLULEN n, SQLULEN* fetched, SQLUSMALLINT* status) {
  if (fetched) *fetched = 0;
  SQLULEN k = 0;
  bool warn = false, err = false;
  s->gd_col = 0;
  for (; k < n; ++k) {
    int r = next_row(s);
    if (r < 0) {
      if (k == 0) {
        s->has_row = false;
        return SQL_ERROR;
      }
      break;
    }
    if (r == 0) break;
    ++s->rows_out;
    SQLUSMALLINT st = SQL_ROW_SUCCESS;
    size_t nb = std::min(s->cols.size(), static_cast<size_t>(s->ncols));
    for (size_t c = 0; c < nb; ++c) {
      const ColBind& b = s->cols[c];
      if (!b.bound) continue;
      char* target = static_cast<char*>(b.buf);
      if (k > 0) {
        SQLLEN es = ctype_size(b.ctype == SQL_C_DEFAULT ? SQL_C_CHAR : b.ctype);
        target += static_cast<SQLLEN>(k) * (es > 0 ? es : b.buflen);
      }
      SQLLEN* ind = b.ind ? b.ind + k : nullptr;
      SQLLEN copied;
      SQLSMALLINT sqltype = SQL_VARCHAR;
      if (b.ctype == SQL_C_DEFAULT) {
        build_desc(s);
        sqltype = s->desc[c].sqltype;
      }
      int cr = put_value(s, cell(s, static_cast<int>(c)), b.ctype, sqltype, target, b.buflen, ind,
                         0, &copied);
      if (cr < 0) st = SQL_ROW_ERROR;
      else if (cr > 0 && st == SQL_ROW_SUCCESS) st = SQL_ROW_SUCCESS_WITH_INFO;
    }
    if (st == SQL_ROW_ERROR) err = true;
    if (st == SQL_ROW_SUCCESS_WITH_INFO) warn = true;
    if (status) status[k] = st;
  }
  if (fetched) *fetched = k;
  if (status)
    for (SQLULEN r = k; r < n; ++r) status[r] = SQL_ROW_NOROW;
  if (k == 0) {
    s->has_row = false;
    return SQL_NO_DATA;
  }
  s->has_row = true;
  if (s->hidden > 0) {
    CellView v = cell(s, s->ncols);
    s->current_rowid = v.type == SQLITE_INTEGER ? v.i : 0;
  }
  if (err) return n == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
  return warn ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN fetch_standard(Stmt* s) {
  if (!check_cursor(s)) return SQL_ERROR;
  if (s->family == FetchFamily::Extended) {
    cli_diag(s, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
    return SQL_ERROR;
  }
  s->family = FetchFamily::Standard;
  return fetch_rowset(s, s->row_array_size, s->rows_fetched_ptr, s->row_status_ptr);
}

// A statement describes its result once it is prepared or has a cursor;
// before that, HY010 and false.
bool check_described(Stmt* s) {
  if (s->prepared || s->cursor != CursorState::None) return true;
  cli_diag(s, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
  return false;
}

// True when col names a column of the statement's query result; otherwise
// 07005 (not a query) or 07009 (out of range), and false.
bool check_result_column(Stmt* s, SQLUSMALLINT col) {
  if (s->plan.kind != DlKind::Query || s->ncols == 0) {
    cli_diag(s, "07005", DB2LITE_NATIVE_CLI, "CLI0117E", "Prepared statement not a cursor-specification.");
    return false;
  }
  if (col < 1 || col > s->ncols) {
    cli_diag(s, "07009", DB2LITE_NATIVE_CLI, "CLI0122E", "Invalid column number.");
    return false;
  }
  return true;
}

}  // namespace

void stmt_close_cursor(Stmt* s) {
  if (s->cursor == CursorState::Live) {
    count_work(s->live, s->rows_out);
    sqlite3_reset(s->live);
    if (!s->on_wdb && s->reader && s->reader->owner == s) s->reader->owner = nullptr;
  } else if (s->cursor == CursorState::Kept) {
    count_work(nullptr, s->rows_out);
  }
  s->live = nullptr;
  s->kept.clear();
  s->kept.shrink_to_fit();
  s->kept_row.clear();
  s->kept_pos = 0;
  s->cursor = CursorState::None;
  s->pending = false;
  s->at_end = false;
  s->has_row = false;
  s->family = FetchFamily::None;
  s->gd_col = 0;
  s->rows_out = 0;
}

int stmt_keep_aside(Stmt* s) {
  build_desc(s);
  int width = s->ncols + s->hidden;
  std::vector<Cell> rows;
  // The row the caller is on stays readable (SQLGetData, positioned DML).
  if (s->has_row && !s->pending) {
    for (int i = 0; i < width; ++i) {
      CellView v = cell(s, i);
      Cell c;
      c.type = v.type;
      c.i = v.i;
      c.d = v.d;
      if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) c.s.assign(v.p, static_cast<size_t>(v.n));
      s->kept_row.push_back(std::move(c));
    }
  }
  int rc = SQLITE_OK;
  bool first = true;
  while (true) {
    if (!(first && s->pending)) {
      if (s->at_end) break;
      rc = sqlite3_step(s->live);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) break;
    }
    first = false;
    s->pending = false;
    for (int i = 0; i < width; ++i) {
      CellView v = cell(s, i);
      Cell c;
      c.type = v.type;
      c.i = v.i;
      c.d = v.d;
      if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) c.s.assign(v.p, static_cast<size_t>(v.n));
      rows.push_back(std::move(c));
    }
  }
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) return rc;
  count_work(s->live, 0);
  sqlite3_reset(s->live);
  s->live = nullptr;
  s->kept = std::move(rows);
  s->kept_pos = 0;
  s->cursor = CursorState::Kept;
  s->pending = false;
  s->at_end = false;
  return SQLITE_OK;
}

void stmt_open_rows(Stmt* s, std::vector<ColDesc> desc, std::vector<Cell> rows) {
  stmt_close_cursor(s);
  stmt_unprepare(s);
  s->ncols = static_cast<int>(desc.size());
  s->hidden = 0;
  s->desc = std::move(desc);
  s->desc_ready = true;
  s->kept = std::move(rows);
  s->kept_pos = 0;
  s->cursor = CursorState::Kept;
  s->plan.kind = DlKind::Query;
  s->prepared = true;
}

}  // namespace dl

using namespace dl;

extern "C" {

SQLRETURN SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buf,
                     SQLLEN buflen, SQLLEN* ind) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (col < 1 || col > kMaxColumns) {
    cli_diag(s, "07009", DB2LITE_NATIVE_CLI, "CLI0122E", "Invalid column number.");
    return SQL_ERROR;
  }
  if (ctype != SQL_C_DEFAULT && ctype_size(ctype) < 0) {
    cli_diag(s, "HY003", DB2LITE_NATIVE_CLI, "CLI0135E", "Program type out of range.");
    return SQL_ERROR;
  }
  if (buflen < 0) {
    cli_diag(s, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
    return SQL_ERROR;
  }
  if (s->cols.size() < col) s->cols.resize(col);
  ColBind& b = s->cols[static_cast<size_t>(col - 1)];
  b.bound = buf != nullptr;
  b.ctype = ctype;
  b.buf = buf;
  b.buflen = buflen;
  b.ind = ind;
  return SQL_SUCCESS;
}

SQLRETURN SQLFetch(SQLHSTMT hstmt) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  return fetch_standard(s);
}

SQLRETURN SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT orientation, SQLLEN offset) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (orientation != SQL_FETCH_NEXT) {
    cli_diag(s, "HY106", DB2LITE_NATIVE_CLI, "CLI0145E", "Fetch type out of range.");
    return SQL_ERROR;
  }
  return fetch_standard(s);
}

SQLRETURN SQLExtendedFetch(SQLHSTMT hstmt, SQLUSMALLINT orientation, SQLLEN irow, SQLULEN* pcrow,
                           SQLUSMALLINT* status) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (orientation != SQL_FETCH_NEXT) {
    cli_diag(s, "HY106", DB2LITE_NATIVE_CLI, "CLI0145E", "Fetch type out of range.");
    return SQL_ERROR;
  }
  if (!check_cursor(s)) return SQL_ERROR;
  if (s->family == FetchFamily::Standard) {
    cli_diag(s, "HY010", DB2LITE_NATIVE_CLI, "CLI0125E", "Function sequence error.");
    return SQL_ERROR;
  }
  s->family = FetchFamily::Extended;
  return fetch_rowset(s, s->rowset_size, pcrow, status);
}

SQLRETURN SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buf,
                     SQLLEN buflen, SQLLEN* ind) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!check_cursor(s)) return SQL_ERROR;
  if (!s->has_row) {
    cli_diag(s, "24000", DB2LITE_NATIVE_CLI, "CLI0115E", "Invalid cursor state.");
    return SQL_ERROR;
  }
  if (col < 1 || col > s->ncols) {
    cli_diag(s, "07009", DB2LITE_NATIVE_CLI, "CLI0122E", "Invalid column number.");
    return SQL_ERROR;
  }
  if (buflen < 0) {
    cli_diag(s, "HY090", DB2LITE_NATIVE_CLI, "CLI0139E", "Invalid string or buffer length.");
    return SQL_ERROR;
  }
  if (s->gd_col != col) {
    s->gd_col = col;
    s->gd_offset = 0;
    s->gd_done = false;
  }
  if (s->gd_done) return SQL_NO_DATA;
  SQLSMALLINT sqltype = SQL_VARCHAR;
  if (ctype == SQL_C_DEFAULT) {
    build_desc(s);
    sqltype = s->desc[static_cast<size_t>(col - 1)].sqltype;
  }
  SQLLEN copied = 0;
  int r = put_value(s, cell(s, col - 1), ctype, sqltype, buf, buflen, ind, s->gd_offset, &copied);
  if (r < 0) return SQL_ERROR;
  if (r > 0) {
    s->gd_offset += copied;
    return SQL_SUCCESS_WITH_INFO;
  }
  s->gd_done = true;
  return SQL_SUCCESS;
}

SQLRETURN SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* count) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!check_described(s)) return SQL_ERROR;
  if (count) *count = static_cast<SQLSMALLINT>(s->plan.kind == DlKind::Query ? s->ncols : 0);
  return SQL_SUCCESS;
}

SQLRETURN SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT cap,
                         SQLSMALLINT* name_len, SQLSMALLINT* type, SQLULEN* size,
                         SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!check_described(s)) return SQL_ERROR;
  if (!check_result_column(s, col)) return SQL_ERROR;
  build_desc(s);
  const ColDesc& d = s->desc[static_cast<size_t>(col - 1)];
  if (type) *type = d.sqltype;
  if (size) *size = d.size;
  if (digits) *digits = d.digits;
  if (nullable) *nullable = d.nullable;
  if (put_text(d.name, name, cap, name_len)) return SQL_SUCCESS;
  truncated(s);
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQLColAttribute(SQLHSTMT hstmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                          SQLSMALLINT cap, SQLSMALLINT* text_len, SQLLEN* num) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!check_described(s)) return SQL_ERROR;
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    if (num) *num = s->plan.kind == DlKind::Query ? s->ncols : 0;
    return SQL_SUCCESS;
  }
  if (!check_result_column(s, col)) return SQL_ERROR;
  build_desc(s);
  const ColDesc& d = s->desc[static_cast<size_t>(col - 1)];
  const std::string* str = nullptr;
  static const std::string kEmpty;
  SQLLEN n = 0;
  switch (field) {
    case SQL_DESC_NAME: case SQL_COLUMN_NAME: case SQL_DESC_LABEL: str = &d.name; break;
    case SQL_DESC_TYPE_NAME: str = &d.type_name; break;
    case SQL_DESC_TABLE_NAME: case SQL_DESC_BASE_TABLE_NAME: str = &d.table; break;
    case SQL_DESC_SCHEMA_NAME: str = &d.schema; break;
    case SQL_DESC_BASE_COLUMN_NAME: str = &d.name; break;
    case SQL_DESC_CATALOG_NAME: str = &kEmpty; break;
    case SQL_DESC_STRUCTURED_TYPE: str = &d.udt_name; break;
    case SQL_DESC_DISTINCT_TYPE: str = &kEmpty; break;
    case SQL_DESC_TYPE: case SQL_DESC_CONCISE_TYPE: n = d.sqltype; break;
    case SQL_DESC_LENGTH: case SQL_COLUMN_LENGTH: case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_PRECISION: case SQL_COLUMN_PRECISION: case SQL_DESC_DISPLAY_SIZE:
      n = static_cast<SQLLEN>(d.size);
      break;
    case SQL_DESC_SCALE: case SQL_COLUMN_SCALE: n = d.digits; break;
    case SQL_DESC_NULLABLE: case SQL_COLUMN_NULLABLE: n = d.nullable; break;
    case SQL_DESC_UNSIGNED: n = SQL_FALSE; break;
    case SQL_DESC_UPDATABLE: n = SQL_ATTR_READWRITE_UNKNOWN; break;
    case SQL_DESC_SEARCHABLE: n = SQL_PRED_SEARCHABLE; break;
    case SQL_DESC_CASE_SENSITIVE:
      n = (d.sqltype == SQL_CHAR || d.sqltype == SQL_VARCHAR || d.sqltype == SQL_LONGVARCHAR ||
           d.sqltype == SQL_CLOB) ? SQL_TRUE : SQL_FALSE;
      break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: case SQL_DESC_FIXED_PREC_SCALE: n = SQL_FALSE; break;
    default:
      cli_diag(s, "HY091", DB2LITE_NATIVE_CLI, "CLI0152E", "Invalid descriptor field identifier.");
      return SQL_ERROR;
  }
  if (!str) {
    if (num) *num = n;
    return SQL_SUCCESS;
  }
  if (put_text(*str, static_cast<SQLCHAR*>(text), cap, text_len)) return SQL_SUCCESS;
  truncated(s);
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  switch (option) {
    case SQL_CLOSE: stmt_close_cursor(s); return SQL_SUCCESS;
    case SQL_DROP: return SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    case SQL_UNBIND: s->cols.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: s->params.clear(); return SQL_SUCCESS;
    default:
      cli_diag(s, "HY092", DB2LITE_NATIVE_CLI, "CLI0133E", "Option type out of range.");
      return SQL_ERROR;
  }
}

SQLRETURN SQLCloseCursor(SQLHSTMT hstmt) {
  Stmt* s = as_stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  clear_diags(s);
  if (!check_cursor(s)) return SQL_ERROR;
  stmt_close_cursor(s);
  return SQL_SUCCESS;
}

}  // extern "C"
