// dl_functions.cpp -- what a fresh SQLite connection needs to answer DB2 SQL:
// the blank-padding collation, DB2's special registers and the DB2 functions
// SQLite lacks, DB2's LIKE, and the authorizer that enforces the session
// user's table privileges at prepare time.
//
// Notes:
//  1. DB2PAD compares two strings as if the shorter were padded with blanks,
//     so 'A' = 'A  '. Every character column the engine creates uses it; LIKE
//     does not pad, and is case-sensitive, as DB2's.
//  2. Integer arguments give integer results (MOD, CEIL, FLOOR, TRUNC,
//     ROUND, AVG), as in DB2; SQLite's own versions would answer REAL.
//  3. The authorizer checks a table only when the statement itself names it.
//     An access made by a view or a trigger (SQLite names the view or the
//     trigger in the fourth argument) is covered by the definer's rights, as
//     in DB2. The privileges come from DlSessionState::privs, which
//     dl_translate fills before the statement is prepared: an authorizer may
//     not run statements on the connection it guards.
//  4. A refusal is remembered per thread so that dl_map_error can name the
//     table and the operation.
#include "dl_internal.h"
#include "dl_spatial.h"

#include <ctype.h>
#include <math.h>
#include <string.h>

#include <string>

namespace dl {

// Last refusal of the authorizer on this thread: "<operation>\t<object>\t<user>".
thread_local std::string g_last_denial;

namespace {

// ---- collation ----------------------------------------------------------------

int pad_compare(void*, int n1, const void* p1, int n2, const void* p2) {
  const unsigned char* a = (const unsigned char*)p1;
  const unsigned char* b = (const unsigned char*)p2;
  int n = n1 > n2 ? n1 : n2;
  for (int k = 0; k < n; ++k) {
    unsigned char x = k < n1 ? a[k] : ' ';
    unsigned char y = k < n2 ? b[k] : ' ';
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ---- helpers ----------------------------------------------------------------------

DlSessionState* st_of(sqlite3_context* cx) { return (DlSessionState*)sqlite3_user_data(cx); }

void result_string(sqlite3_context* cx, const std::string& s) {
  sqlite3_result_text(cx, s.data(), (int)s.size(), SQLITE_TRANSIENT);
}

bool all_int(int argc, sqlite3_value** v) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_numeric_type(v[k]) != SQLITE_INTEGER) return false;
  return true;
}

bool any_null(int argc, sqlite3_value** v) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(v[k]) == SQLITE_NULL) return true;
  return false;
}

std::string text_of(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string((const char*)t, (size_t)sqlite3_value_bytes(v)) : std::string();
}

// ---- special registers ----------------------------------------------------------

void f_user(sqlite3_context* cx, int, sqlite3_value**) {
  DlSessionState* st = st_of(cx);
  result_string(cx, st && st->session ? st->session->user : std::string());
}

void f_schema(sqlite3_context* cx, int, sqlite3_value**) {
  DlSessionState* st = st_of(cx);
  result_string(cx, st && st->session ? st->session->schema : std::string());
}

void f_server(sqlite3_context* cx, int, sqlite3_value**) {
  DlSessionState* st = st_of(cx);
  result_string(cx, st && st->session ? st->session->database : std::string());
}

void f_path(sqlite3_context* cx, int, sqlite3_value**) {
  DlSessionState* st = st_of(cx);
  std::vector<std::string> path;
  if (st && st->session) path = st->session->function_path;
  if (path.empty() && st && st->session) path = {"SYSIBM", "SYSFUN", st->session->user};
  std::string r;
  for (const auto& p : path) r += (r.empty() ? "" : ",") + dl_qid(p);
  result_string(cx, r);
}

void f_timestamp(sqlite3_context* cx, int, sqlite3_value**) { result_string(cx, dl_now_timestamp()); }
void f_date(sqlite3_context* cx, int, sqlite3_value**) { result_string(cx, dl_now_date()); }
void f_time(sqlite3_context* cx, int, sqlite3_value**) { result_string(cx, dl_now_time()); }

// DL_IDENTITY_SET(v): remembers the value an identity column was given.
void f_identity_set(sqlite3_context* cx, int, sqlite3_value** v) {
  DlSessionState* st = st_of(cx);
  if (st && sqlite3_value_type(v[0]) == SQLITE_INTEGER) {
    std::lock_guard<std::mutex> g(st->mu);
    st->identity_local = sqlite3_value_int64(v[0]);
    st->identity_set = true;
  }
  sqlite3_result_value(cx, v[0]);
}

void f_identity_val_local(sqlite3_context* cx, int, sqlite3_value**) {
  DlSessionState* st = st_of(cx);
  if (st == nullptr) return sqlite3_result_null(cx);
  std::lock_guard<std::mutex> g(st->mu);
  if (!st->identity_set) return sqlite3_result_null(cx);
  sqlite3_result_int64(cx, st->identity_local);
}

// DL_RAISE(state, native, message): fails the statement with that DB2 state.
void f_raise(sqlite3_context* cx, int, sqlite3_value** v) {
  std::string state = text_of(v[0]);
  if (state.size() != 5) state = "38000";
  std::string e = dl_raise_text(state.c_str(), sqlite3_value_int(v[1]), text_of(v[2]));
  sqlite3_result_error(cx, e.c_str(), (int)e.size());
}

// ---- scalar functions ---------------------------------------------------------------

void f_concat(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB && sqlite3_value_type(v[1]) == SQLITE_BLOB) {
    std::string a((const char*)sqlite3_value_blob(v[0]), (size_t)sqlite3_value_bytes(v[0]));
    a.append((const char*)sqlite3_value_blob(v[1]), (size_t)sqlite3_value_bytes(v[1]));
    return sqlite3_result_blob(cx, a.data(), (int)a.size(), SQLITE_TRANSIENT);
  }
  result_string(cx, text_of(v[0]) + text_of(v[1]));
}

// LOCATE(search, source [, start]): 1-based position, 0 when absent.
void f_locate(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  std::string needle = text_of(v[0]), hay = text_of(v[1]);
  int64_t start = argc > 2 ? sqlite3_value_int64(v[2]) : 1;
  if (start < 1) {
    sqlite3_result_error(cx, dl_raise_text("22011", -138, "The second or third argument of LOCATE is out of range.").c_str(), -1);
    return;
  }
  if ((uint64_t)(start - 1) > hay.size()) return sqlite3_result_int(cx, 0);
  size_t at = hay.find(needle, (size_t)(start - 1));
  sqlite3_result_int64(cx, at == std::string::npos ? 0 : (int64_t)at + 1);
}

void f_chr(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  int64_t n = sqlite3_value_int64(v[0]);
  char c = (char)(n < 0 || n > 255 ? 0 : n);
  sqlite3_result_text(cx, &c, 1, SQLITE_TRANSIENT);
}

void f_ascii(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  std::string s = text_of(v[0]);
  sqlite3_result_int(cx, s.empty() ? 0 : (unsigned char)s[0]);
}

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = (unsigned)(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (int64_t)doe - 719468;
}

// DAYS(d): 1 for 0001-01-01.
void f_days(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  std::string s = text_of(v[0]);
  int y, m, d;
  if (s.size() < 10 || sscanf(s.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3 || m < 1 || m > 12 ||
      d < 1 || d > 31) {
    sqlite3_result_error(cx, dl_raise_text("22007", -180, "The syntax of the string representation of a datetime value is incorrect.").c_str(), -1);
    return;
  }
  sqlite3_result_int64(cx, days_from_civil(y, (unsigned)m, (unsigned)d) - days_from_civil(1, 1, 1) + 1);
}

void f_value(sqlite3_context* cx, int argc, sqlite3_value** v) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(v[k]) != SQLITE_NULL) return sqlite3_result_value(cx, v[k]);
  sqlite3_result_null(cx);
}

// TRANSLATE(s) upper-cases; TRANSLATE(s, to, from [, pad]) maps characters.
void f_translate(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(cx);
  std::string s = text_of(v[0]);
  if (argc == 1) return result_string(cx, dl_upper(s));
  std::string to = text_of(v[1]);
  std::string from = argc > 2 ? text_of(v[2]) : std::string();
  char pad = ' ';
  if (argc > 3) {
    std::string p = text_of(v[3]);
    if (!p.empty()) pad = p[0];
  }
  for (auto& c : s) {
    size_t at = from.find(c);
    if (at != std::string::npos) c = at < to.size() ? to[at] : pad;
  }
  result_string(cx, s);
}

void f_mod(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (all_int(argc, v)) {
    int64_t a = sqlite3_value_int64(v[0]), b = sqlite3_value_int64(v[1]);
    if (b == 0) {
      sqlite3_result_error(cx, dl_raise_text("22012", -801, "Division by zero was attempted.").c_str(), -1);
      return;
    }
    if (b == -1) return sqlite3_result_int64(cx, 0);
    return sqlite3_result_int64(cx, a % b);
  }
  double b = sqlite3_value_double(v[1]);
  if (b == 0) {
    sqlite3_result_error(cx, dl_raise_text("22012", -801, "Division by zero was attempted.").c_str(), -1);
    return;
  }
  sqlite3_result_double(cx, fmod(sqlite3_value_double(v[0]), b));
}

void f_ceil(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (all_int(argc, v)) return sqlite3_result_int64(cx, sqlite3_value_int64(v[0]));
  sqlite3_result_double(cx, ceil(sqlite3_value_double(v[0])));
}

void f_floor(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (all_int(argc, v)) return sqlite3_result_int64(cx, sqlite3_value_int64(v[0]));
  sqlite3_result_double(cx, floor(sqlite3_value_double(v[0])));
}

double scale_of(int64_t n) { return pow(10.0, (double)n); }

// TRUNC and ROUND to a number of places (-30 to 30): cut is trunc or round.
// An integer stays an integer.
template <double (*Cut)(double)>
void f_to_places(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  int64_t places = argc > 1 ? sqlite3_value_int64(v[1]) : 0;
  if (places > 30) places = 30;
  if (places < -30) places = -30;
  if (sqlite3_value_numeric_type(v[0]) == SQLITE_INTEGER) {
    int64_t x = sqlite3_value_int64(v[0]);
    if (places >= 0) return sqlite3_result_int64(cx, x);
    double f = scale_of(-places);
    return sqlite3_result_int64(cx, (int64_t)(Cut((double)x / f) * f));
  }
  double f = scale_of(places);
  sqlite3_result_double(cx, Cut(sqlite3_value_double(v[0]) * f) / f);
}
double cut_trunc(double x) { return trunc(x); }
double cut_round(double x) { return round(x); }
void f_trunc(sqlite3_context* cx, int argc, sqlite3_value** v) { f_to_places<cut_trunc>(cx, argc, v); }
void f_round(sqlite3_context* cx, int argc, sqlite3_value** v) { f_to_places<cut_round>(cx, argc, v); }

void f_ln(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  double x = sqlite3_value_double(v[0]);
  if (x <= 0) {
    sqlite3_result_error(cx, dl_raise_text("22003", -802, "Arithmetic overflow or other arithmetic exception occurred.").c_str(), -1);
    return;
  }
  sqlite3_result_double(cx, log(x));
}

void f_log10(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  double x = sqlite3_value_double(v[0]);
  if (x <= 0) {
    sqlite3_result_error(cx, dl_raise_text("22003", -802, "Arithmetic overflow or other arithmetic exception occurred.").c_str(), -1);
    return;
  }
  sqlite3_result_double(cx, log10(x));
}

void f_power(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (all_int(argc, v) && sqlite3_value_int64(v[1]) >= 0) {
    double r = pow((double)sqlite3_value_int64(v[0]), (double)sqlite3_value_int64(v[1]));
    if (fabs(r) < 9.2e18) return sqlite3_result_int64(cx, (int64_t)r);
  }
  sqlite3_result_double(cx, pow(sqlite3_value_double(v[0]), sqlite3_value_double(v[1])));
}

void f_integer(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  if (sqlite3_value_numeric_type(v[0]) == SQLITE_INTEGER)
    return sqlite3_result_int64(cx, sqlite3_value_int64(v[0]));
  double d = sqlite3_value_double(v[0]);
  if (sqlite3_value_numeric_type(v[0]) == SQLITE_TEXT) {
    char* end = nullptr;
    std::string s = text_of(v[0]);
    d = strtod(s.c_str(), &end);
    if (end == s.c_str()) {
      sqlite3_result_error(cx, dl_raise_text("22018", -420, "Invalid character found in a character string argument of the function \"INTEGER\".").c_str(), -1);
      return;
    }
  }
  if (!(d > -2147483649.0 && d < 2147483648.0)) {
    sqlite3_result_error(cx, dl_raise_text("22003", -802, "Arithmetic overflow or other arithmetic exception occurred.").c_str(), -1);
    return;
  }
  sqlite3_result_int64(cx, (int64_t)d);
}

void f_double(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  sqlite3_result_double(cx, sqlite3_value_double(v[0]));
}

void f_char(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  result_string(cx, text_of(v[0]));
}

void f_blob(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  const void* b = sqlite3_value_blob(v[0]);
  sqlite3_result_blob(cx, b ? b : "", sqlite3_value_bytes(v[0]), SQLITE_TRANSIENT);
}

// LENGTH counts bytes, as DB2 does for character strings.
void f_length(sqlite3_context* cx, int argc, sqlite3_value** v) {
  switch (sqlite3_value_type(v[0])) {
    case SQLITE_NULL: return sqlite3_result_null(cx);
    case SQLITE_BLOB: return sqlite3_result_int(cx, sqlite3_value_bytes(v[0]));
    case SQLITE_INTEGER: return sqlite3_result_int(cx, 4);
    case SQLITE_FLOAT: return sqlite3_result_int(cx, 8);
    default: sqlite3_value_text(v[0]); return sqlite3_result_int(cx, sqlite3_value_bytes(v[0]));
  }
}

void f_upper(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  result_string(cx, dl_upper(text_of(v[0])));
}

void f_lower(sqlite3_context* cx, int argc, sqlite3_value** v) {
  if (any_null(argc, v)) return sqlite3_result_null(cx);
  std::string s = text_of(v[0]);
  for (auto& c : s) c = (char)tolower((unsigned char)c);
  result_string(cx, s);
}

// ---- aggregates -------------------------------------------------------------------------

struct AvgAcc { double sum; int64_t isum; int64_t n; int all_int; int overflow; };

void avg_step(sqlite3_context* cx, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return;
  AvgAcc* a = (AvgAcc*)sqlite3_aggregate_context(cx, sizeof(AvgAcc));
  if (a == nullptr) return;
  if (a->n == 0) a->all_int = 1;
  if (sqlite3_value_numeric_type(v[0]) == SQLITE_INTEGER) {
    int64_t x = sqlite3_value_int64(v[0]);
    if (__builtin_add_overflow(a->isum, x, &a->isum)) a->overflow = 1;
  } else {
    a->all_int = 0;
  }
  a->sum += sqlite3_value_double(v[0]);
  a->n++;
}

void avg_final(sqlite3_context* cx) {
  AvgAcc* a = (AvgAcc*)sqlite3_aggregate_context(cx, 0);
  if (a == nullptr || a->n == 0) return sqlite3_result_null(cx);
  if (a->all_int && !a->overflow) return sqlite3_result_int64(cx, a->isum / a->n);
  sqlite3_result_double(cx, a->sum / (double)a->n);
}

struct VarAcc { int64_t n; double mean; double m2; };

void var_step(sqlite3_context* cx, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return;
  VarAcc* a = (VarAcc*)sqlite3_aggregate_context(cx, sizeof(VarAcc));
  if (a == nullptr) return;
  double x = sqlite3_value_double(v[0]);
  a->n++;
  double d = x - a->mean;
  a->mean += d / (double)a->n;
  a->m2 += d * (x - a->mean);
}

void variance_final(sqlite3_context* cx) {
  VarAcc* a = (VarAcc*)sqlite3_aggregate_context(cx, 0);
  if (a == nullptr || a->n == 0) return sqlite3_result_null(cx);
  sqlite3_result_double(cx, a->m2 / (double)a->n);
}

void stddev_final(sqlite3_context* cx) {
  VarAcc* a = (VarAcc*)sqlite3_aggregate_context(cx, 0);
  if (a == nullptr || a->n == 0) return sqlite3_result_null(cx);
  sqlite3_result_double(cx, sqrt(a->m2 / (double)a->n));
}

// ---- the authorizer -----------------------------------------------------------------------

int authorize(void* ud, int action, const char* a1, const char* a2, const char*, const char* inner) {
  DlSessionState* st = (DlSessionState*)ud;
  if (st == nullptr || inner != nullptr) return SQLITE_OK;
  const char* table = nullptr;
  const char* op = "";
  switch (action) {
    case SQLITE_READ: table = a1; op = "SELECT"; break;
    case SQLITE_INSERT: table = a1; op = "INSERT"; break;
    case SQLITE_UPDATE: table = a1; op = "UPDATE"; break;
    case SQLITE_DELETE: table = a1; op = "DELETE"; break;
    case SQLITE_DROP_TABLE: case SQLITE_DROP_VIEW: table = a1; op = "DROP"; break;
    case SQLITE_ALTER_TABLE: table = a2; op = "ALTER"; break;
    case SQLITE_CREATE_INDEX: table = a2; op = "INDEX"; break;
    case SQLITE_DROP_INDEX: table = a2; op = "DROP"; break;
    case SQLITE_CREATE_TRIGGER: table = a2; op = "ALTER"; break;
    case SQLITE_DROP_TRIGGER: table = a2; op = "DROP"; break;
    default: return SQLITE_OK;
  }
  if (table == nullptr || strchr(table, '.') == nullptr) return SQLITE_OK;  // engine tables
  std::lock_guard<std::mutex> g(st->mu);
  if (!st->enforce || st->dbadm) return SQLITE_OK;
  if (st->ddl_targets.count(table)) return SQLITE_OK;
  auto it = st->privs.find(table);
  bool ok = false;
  if (it != st->privs.end()) {
    const DlTablePriv& p = it->second;
    switch (action) {
      case SQLITE_READ: ok = p.select; break;
      case SQLITE_INSERT: ok = p.insert; break;
      case SQLITE_UPDATE: ok = p.update; break;
      case SQLITE_DELETE: ok = p.del; break;
      case SQLITE_ALTER_TABLE: case SQLITE_CREATE_TRIGGER: ok = p.alter; break;
      case SQLITE_CREATE_INDEX: ok = p.index; break;
      default: ok = p.control; break;
    }
  }
  if (ok) return SQLITE_OK;
  g_last_denial = std::string(op) + "\t" + table + "\t" + (st->session ? st->session->user : "");
  return SQLITE_DENY;
}

struct FnDef {
  const char* name;
  int nargs;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

const FnDef kFunctions[] = {
    {"DL_USER", 0, f_user, false},
    {"DL_SCHEMA", 0, f_schema, false},
    {"DL_SERVER", 0, f_server, false},
    {"DL_PATH", 0, f_path, false},
    {"DL_TIMESTAMP", 0, f_timestamp, false},
    {"DL_DATE", 0, f_date, false},
    {"DL_TIME", 0, f_time, false},
    {"DL_IDENTITY_SET", 1, f_identity_set, false},
    {"IDENTITY_VAL_LOCAL", 0, f_identity_val_local, false},
    {"DL_IDENTITY_NEXT", 4, dl_identity_next_fn, false},
    {"DL_PAD", 2, dl_pad_fn, true},
    {"DL_RAISE", 3, f_raise, false},
    {"CONCAT", 2, f_concat, true},
    {"LOCATE", 2, f_locate, true},
    {"LOCATE", 3, f_locate, true},
    {"CHR", 1, f_chr, true},
    {"ASCII", 1, f_ascii, true},
    {"DAYS", 1, f_days, true},
    {"VALUE", -1, f_value, true},
    {"TRANSLATE", 1, f_translate, true},
    {"TRANSLATE", 2, f_translate, true},
    {"TRANSLATE", 3, f_translate, true},
    {"TRANSLATE", 4, f_translate, true},
    {"MOD", 2, f_mod, true},
    {"CEIL", 1, f_ceil, true},
    {"CEILING", 1, f_ceil, true},
    {"FLOOR", 1, f_floor, true},
    {"TRUNC", 1, f_trunc, true},
    {"TRUNC", 2, f_trunc, true},
    {"TRUNCATE", 1, f_trunc, true},
    {"TRUNCATE", 2, f_trunc, true},
    {"ROUND", 1, f_round, true},
    {"ROUND", 2, f_round, true},
    {"LN", 1, f_ln, true},
    {"LOG", 1, f_ln, true},
    {"LOG10", 1, f_log10, true},
    {"POWER", 2, f_power, true},
    {"INTEGER", 1, f_integer, true},
    {"INT", 1, f_integer, true},
    {"SMALLINT", 1, f_integer, true},
    {"BIGINT", 1, f_integer, true},
    {"DOUBLE", 1, f_double, true},
    {"FLOAT", 1, f_double, true},
    {"CHAR", 1, f_char, true},
    {"VARCHAR", 1, f_char, true},
    {"BLOB", 1, f_blob, true},
    {"LENGTH", 1, f_length, true},
    {"UCASE", 1, f_upper, true},
    {"LCASE", 1, f_lower, true},
};

}  // namespace

// DL_PAD(v, n): DB2 keeps a CHAR(n) value n bytes long, blank-filled. Text
// stays text and binary stays binary; NULL and values already n bytes long
// come back unchanged.
void dl_pad_fn(sqlite3_context* cx, int, sqlite3_value** v) {
  int type = sqlite3_value_type(v[0]);
  int64_t n = sqlite3_value_int64(v[1]);
  if (type == SQLITE_NULL || n <= 0 || n > 254) return sqlite3_result_value(cx, v[0]);
  bool blob = type == SQLITE_BLOB;
  const void* p = blob ? sqlite3_value_blob(v[0]) : (const void*)sqlite3_value_text(v[0]);
  int len = sqlite3_value_bytes(v[0]);
  if (len >= n) return sqlite3_result_value(cx, v[0]);
  std::string out(p ? (const char*)p : "", (size_t)len);
  out.append((size_t)(n - len), ' ');
  if (blob) sqlite3_result_blob(cx, out.data(), (int)out.size(), SQLITE_TRANSIENT);
  else sqlite3_result_text(cx, out.data(), (int)out.size(), SQLITE_TRANSIENT);
}

int dl_register_collation(sqlite3* db) {
  return sqlite3_create_collation(db, "DB2PAD", SQLITE_UTF8, nullptr, pad_compare);
}

int dl_connection_setup(sqlite3* db, const DlSession* session, DlDiag* diag) {
  if (db == nullptr || session == nullptr) {
    dl_set_diag(diag, "HY009", -99999, "invalid argument to the connection set-up");
    return -1;
  }
  DlSessionState* st = dl_state(*session);
  int rc = dl_register_collation(db);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, (int*)nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, (int*)nullptr);
  if (rc == SQLITE_OK) rc = dl_exec(db, "PRAGMA foreign_keys = ON; PRAGMA case_sensitive_like = ON;"
                                        " PRAGMA recursive_triggers = OFF");
  for (const FnDef& f : kFunctions) {
    if (rc != SQLITE_OK) break;
    int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    rc = sqlite3_create_function(db, f.name, f.nargs, flags, st, f.fn, nullptr, nullptr);
  }
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "AVG", 1, SQLITE_UTF8, st, nullptr, avg_step, avg_final);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "VARIANCE", 1, SQLITE_UTF8, st, nullptr, var_step, variance_final);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "VAR", 1, SQLITE_UTF8, st, nullptr, var_step, variance_final);
  if (rc == SQLITE_OK)
    rc = sqlite3_create_function(db, "STDDEV", 1, SQLITE_UTF8, st, nullptr, var_step, stddev_final);
  if (rc == SQLITE_OK) rc = dl_spatial_register(db);
  if (rc == SQLITE_OK) rc = sqlite3_set_authorizer(db, authorize, st);
  if (rc != SQLITE_OK) {
    dl_set_diag(diag, "58004", -902,
                dl_msg(-902, "A system error occurred while setting up the connection: " +
                                 std::string(sqlite3_errmsg(db)) + ".", "58004"));
    return -1;
  }
  // Authorities are read once per connection; dl_translate refreshes them.
  {
    bool dba = dl_has_authority(db, session->user, "DBADM");
    std::lock_guard<std::mutex> g(st->mu);
    st->dbadm = dba;
  }
  return 0;
}

}  // namespace dl
