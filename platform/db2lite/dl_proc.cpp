// dl_proc.cpp -- the stored-procedure host behind CALL (the contract is in
// dl_proc.h): resolving the registered procedure, loading its library,
// building the parameter area, calling the entry inside an embedded-SQL
// call context, and handing the outcome back to the CLI.
//
// Divisions: libraries; parameter values (CLI value to parameter area and
// back); the handler; its registration.
#include "dl_proc.h"

#include "dl_esql.h"
#include "dl_internal.h"
#include "dl_spatial.h"

#include <dlfcn.h>
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <mutex>

namespace dl {

namespace {

constexpr size_t kMaxLibName = 64;  // a library name, without directory or suffix

// ---- libraries ---------------------------------------------------------------------

std::mutex g_lib_mu;
std::map<std::string, void*> g_libs;  // path -> dlopen handle, kept for the process's life

bool lib_name_ok(const std::string& s) {
  if (s.empty() || s.size() > kMaxLibName) return false;
  for (char ch : s)
    if (!isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
  return true;
}

std::vector<std::string> lib_dirs() {
  std::vector<std::string> dirs;
  const char* home = getenv("ZULHOME");
  if (home && *home) dirs.push_back(std::string(home) + "/lib");
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&dl_proc_call_handler), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    if (slash != std::string::npos) dirs.push_back(self.substr(0, slash));
  }
  return dirs;
}

// Loads library lib; null with *why when it cannot.
void* load_library(const std::string& lib, std::string* why) {
  std::vector<std::string> names = {"lib" + lib + ".so", lib + ".so"};
  std::string lower;
  for (char ch : lib) lower += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  if (lower != lib) {
    names.push_back("lib" + lower + ".so");
    names.push_back(lower + ".so");
  }
  std::lock_guard<std::mutex> g(g_lib_mu);
  for (const std::string& dir : lib_dirs()) {
    for (const std::string& n : names) {
      std::string path = dir + "/" + n;
      auto it = g_libs.find(path);
      if (it != g_libs.end()) return it->second;
      if (access(path.c_str(), R_OK) != 0) continue;
      void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!h) {
        const char* e = dlerror();
        *why = e ? e : "cannot be loaded";
        return nullptr;
      }
      g_libs[path] = h;
      return h;
    }
  }
  *why = "not found";
  return nullptr;
}

// ---- the registered procedure -----------------------------------------------------

struct Parm {
  std::string name, type, mode;
  int64_t length = 0;
};

struct Proc {
  std::string schema, name, library, entry, style;
  std::vector<Parm> parms;
};

std::string lower(const std::string& s) {
  std::string r;
  for (char ch : s) r += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return r;
}

int no_routine(const std::string& name, DlDiag* diag) {
  dl_set_diag(diag, "42884", -440,
              dl_msg(-440, "No authorized routine named \"" + name +
                               "\" of type \"PROCEDURE\" having compatible arguments was found.",
                     "42884"));
  return -1;
}

int cannot_access(const Proc& p, const std::string& what, int reason, DlDiag* diag) {
  dl_set_diag(diag, "42724", -444,
              dl_msg(-444, "Routine \"" + p.schema + "." + p.name + "\" (specific name \"" + p.name +
                               "\") is implemented with code in library or path \"" + p.library +
                               "\", function \"" + p.entry + "\" which cannot be accessed (" + what +
                               ").  Reason code: \"" + std::to_string(reason) + "\".",
                     "42724"));
  return -1;
}

// Finds the procedure plan names with nargs parameters. 0, or -1 with diag.
int find_procedure(sqlite3* db, const std::string& call_name, size_t nargs, Proc* p, DlDiag* diag) {
  std::vector<std::vector<std::string>> rows;
  const char* cols = "SELECT PROCSCHEMA, PROCNAME, LIBRARY, ENTRY, PARM_COUNT, PARM_STYLE FROM DL_PROCEDURES";
  size_t bang = call_name.find('!');
  if (bang != std::string::npos) {
    dl_query(db, std::string(cols) + " WHERE lower(LIBRARY) = ?1 AND lower(ENTRY) = ?2"
                                     " ORDER BY PROCSCHEMA, PROCNAME",
             {lower(call_name.substr(0, bang)), lower(call_name.substr(bang + 1))}, &rows);
  } else {
    size_t dot = call_name.find('.');
    if (dot == std::string::npos) return no_routine(call_name, diag);
    dl_query(db, std::string(cols) + " WHERE PROCSCHEMA = ?1 AND PROCNAME = ?2",
             {call_name.substr(0, dot), call_name.substr(dot + 1)}, &rows);
  }
  const std::vector<std::string>* row = nullptr;
  for (const auto& r : rows) {
    if (static_cast<size_t>(atol(r[4].c_str())) == nargs) {
      row = &r;
      break;
    }
  }
  if (!row) return no_routine(call_name, diag);
  p->schema = (*row)[0];
  p->name = (*row)[1];
  p->library = (*row)[2];
  p->entry = (*row)[3];
  p->style = (*row)[5];
  rows.clear();
  dl_query(db,
           "SELECT COALESCE(PARMNAME, ''), TYPENAME, LENGTH, PARM_MODE FROM DL_PROCPARMS WHERE "
           "PROCSCHEMA = ?1 AND PROCNAME = ?2 ORDER BY ORDINAL",
           {p->schema, p->name}, &rows);
  if (rows.size() != nargs) return no_routine(call_name, diag);
  for (const auto& r : rows) {
    Parm m;
    m.name = r[0];
    m.type = r[1];
    m.length = atoll(r[2].c_str());
    m.mode = r[3];
    p->parms.push_back(m);
  }
  return 0;
}

// ---- parameter values --------------------------------------------------------------

// One parameter's place in the area: its type code, length and storage.
struct Slot {
  int16_t type = 0;
  int16_t len = 0;
  size_t bytes = 0;
  std::unique_ptr<uint64_t[]> data;  // 8-byte aligned storage
  int16_t ind = -1;
  int marker = -1;                   // index into the CLI's marker values, or -1
  bool out = false;
};

// The layout of a declared type; false for a type the host cannot pass.
bool layout(const Parm& m, Slot* s) {
  const std::string& t = m.type;
  if (t == "SMALLINT") { s->type = DL_SQL_TYP_NSMALL; s->len = 2; s->bytes = 2; }
  else if (t == "INTEGER") { s->type = DL_SQL_TYP_NINTEGER; s->len = 4; s->bytes = 4; }
  else if (t == "BIGINT") { s->type = DL_SQL_TYP_NBIGINT; s->len = 8; s->bytes = 8; }
  else if (t == "DOUBLE") { s->type = DL_SQL_TYP_FLOAT; s->len = 8; s->bytes = 8; }
  else if (t == "REAL") { s->type = DL_SQL_TYP_FLOAT; s->len = 4; s->bytes = 4; }
  else if (t == "DATE") { s->type = DL_SQL_TYP_NDATE; s->len = 10; s->bytes = 10; }
  else if (t == "TIME") { s->type = DL_SQL_TYP_NTIME; s->len = 8; s->bytes = 8; }
  else if (t == "TIMESTAMP") { s->type = DL_SQL_TYP_NSTAMP; s->len = 26; s->bytes = 26; }
  else if (t == "VARCHAR" && m.length >= 1 && m.length <= 32672) {
    s->type = DL_SQL_TYP_NVARCHAR;
    s->len = static_cast<int16_t>(m.length);
    s->bytes = 2 + static_cast<size_t>(m.length);
  } else if ((t == "CHARACTER" || t == "CHAR") && m.length >= 1 && m.length <= 254) {
    s->type = DL_SQL_TYP_NCHAR;
    s->len = static_cast<int16_t>(m.length);
    s->bytes = static_cast<size_t>(m.length);
  } else {
    return false;
  }
  s->data.reset(new uint64_t[(s->bytes + 7) / 8 + 1]());
  return true;
}

void value_error(DlDiag* diag, const char* state, int32_t native, const std::string& body) {
  dl_set_diag(diag, state, native, dl_msg(native, body, state));
}

std::string text_of(const DlCallArg& a) {
  if (a.type == SQLITE_INTEGER) return std::to_string(a.i);
  if (a.type == SQLITE_FLOAT) {
    char b[40];
    snprintf(b, sizeof b, "%.17g", a.d);
    return b;
  }
  return a.s;
}

// Puts the IN value a into slot s of parameter m. 0, or -1 with diag.
int put_in(const Parm& m, const DlCallArg& a, Slot* s, DlDiag* diag) {
  if (a.type == SQLITE_NULL) {
    s->ind = -1;
    return 0;
  }
  s->ind = 0;
  char* p = reinterpret_cast<char*>(s->data.get());
  int base = s->type & ~1;
  std::string what = "parameter \"" + (m.name.empty() ? m.type : m.name) + "\"";
  if (base == DL_SQL_TYP_SMALL || base == DL_SQL_TYP_INTEGER || base == DL_SQL_TYP_BIGINT) {
    int64_t v = 0;
    if (a.type == SQLITE_INTEGER) {
      v = a.i;
    } else if (a.type == SQLITE_FLOAT) {
      if (!(a.d > -9.3e18 && a.d < 9.3e18)) {
        value_error(diag, "22003", -413, "Overflow occurred during numeric data type conversion of " + what + ".");
        return -1;
      }
      v = static_cast<int64_t>(a.d);
    } else {
      std::string t = a.s;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      char* end = nullptr;
      errno = 0;
      long long x = t.empty() || t.size() > 40 ? 0 : strtoll(t.c_str(), &end, 10);
      if (t.empty() || t.size() > 40 || *end || errno) {
        value_error(diag, "22018", -420, "Invalid character found in a character string argument of " + what + ".");
        return -1;
      }
      v = x;
    }
    int64_t lo = base == DL_SQL_TYP_SMALL ? INT16_MIN : base == DL_SQL_TYP_INTEGER ? INT32_MIN : INT64_MIN;
    int64_t hi = base == DL_SQL_TYP_SMALL ? INT16_MAX : base == DL_SQL_TYP_INTEGER ? INT32_MAX : INT64_MAX;
    if (v < lo || v > hi) {
      value_error(diag, "22003", -413, "Overflow occurred during numeric data type conversion of " + what + ".");
      return -1;
    }
    if (base == DL_SQL_TYP_SMALL) { int16_t x = static_cast<int16_t>(v); memcpy(p, &x, 2); }
    else if (base == DL_SQL_TYP_INTEGER) { int32_t x = static_cast<int32_t>(v); memcpy(p, &x, 4); }
    else memcpy(p, &v, 8);
    return 0;
  }
  if (base == DL_SQL_TYP_FLOAT) {
    double d = 0;
    if (a.type == SQLITE_INTEGER) d = static_cast<double>(a.i);
    else if (a.type == SQLITE_FLOAT) d = a.d;
    else {
      char* end = nullptr;
      d = a.s.size() > 64 ? 0 : strtod(a.s.c_str(), &end);
      if (a.s.empty() || a.s.size() > 64 || *end) {
        value_error(diag, "22018", -420, "Invalid character found in a character string argument of " + what + ".");
        return -1;
      }
    }
    if (s->len == 4) {
      if (isfinite(d) && fabs(d) > 3.4028234663852886e38) {
        value_error(diag, "22003", -413, "Overflow occurred during numeric data type conversion of " + what + ".");
        return -1;
      }
      float f = static_cast<float>(d);
      memcpy(p, &f, 4);
    } else {
      memcpy(p, &d, 8);
    }
    return 0;
  }
  std::string t = text_of(a);
  size_t cap = static_cast<size_t>(s->len);
  if (base == DL_SQL_TYP_VARCHAR || base == DL_SQL_TYP_CHAR) {
    if (t.size() > cap) {
      value_error(diag, "22001", -302,
                  "The value of " + what + " is too long for its declared length " + std::to_string(cap) + ".");
      return -1;
    }
    if (base == DL_SQL_TYP_VARCHAR) {
      uint16_t n = static_cast<uint16_t>(t.size());
      memcpy(p, &n, 2);
      memcpy(p + 2, t.data(), t.size());
    } else {
      memcpy(p, t.data(), t.size());
      memset(p + t.size(), ' ', cap - t.size());
    }
    return 0;
  }
  // DATE, TIME, TIMESTAMP: the DB2 text forms; a TIMESTAMP may leave out
  // its fraction.
  if (base == DL_SQL_TYP_STAMP && t.size() == 19) t += ".000000";
  bool ok = t.size() == cap;
  for (size_t i = 0; ok && i < t.size(); ++i) {
    char ch = t[i];
    bool digit = isdigit(static_cast<unsigned char>(ch)) != 0;
    bool sep = false;
    if (base == DL_SQL_TYP_DATE) sep = i == 4 || i == 7;
    else if (base == DL_SQL_TYP_TIME) sep = i == 2 || i == 5;
    else sep = i == 4 || i == 7 || i == 10 || i == 13 || i == 16 || i == 19;
    ok = sep ? !digit : digit;
  }
  if (!ok) {
    value_error(diag, "22007", -180, "The syntax of the string representation of a datetime value of " + what +
                                         " is incorrect.");
    return -1;
  }
  memcpy(p, t.data(), t.size());
  return 0;
}

// The OUT value of slot s, as the CLI takes it.
void take_out(const Slot& s, DlCallArg* a) {
  a->i = 0;
  a->d = 0;
  a->s.clear();
  if (s.ind < 0) {
    a->type = SQLITE_NULL;
    return;
  }
  const char* p = reinterpret_cast<const char*>(s.data.get());
  int base = s.type & ~1;
  switch (base) {
    case DL_SQL_TYP_SMALL: { int16_t x; memcpy(&x, p, 2); a->type = SQLITE_INTEGER; a->i = x; return; }
    case DL_SQL_TYP_INTEGER: { int32_t x; memcpy(&x, p, 4); a->type = SQLITE_INTEGER; a->i = x; return; }
    case DL_SQL_TYP_BIGINT: { int64_t x; memcpy(&x, p, 8); a->type = SQLITE_INTEGER; a->i = x; return; }
    case DL_SQL_TYP_FLOAT:
      a->type = SQLITE_FLOAT;
      if (s.len == 4) { float f; memcpy(&f, p, 4); a->d = f; }
      else memcpy(&a->d, p, 8);
      return;
    case DL_SQL_TYP_VARCHAR: {
      uint16_t n;
      memcpy(&n, p, 2);
      if (n > static_cast<uint16_t>(s.len)) n = static_cast<uint16_t>(s.len);
      a->type = SQLITE_TEXT;
      a->s.assign(p + 2, n);
      return;
    }
    default:
      a->type = SQLITE_TEXT;
      a->s.assign(p, strnlen(p, static_cast<size_t>(s.len)));
      return;
  }
}

// ---- the handler -------------------------------------------------------------------------

int run(Dbc* c, const DlPlan& plan, std::vector<DlCallArg>& args, DlDiag* diag) {
  // The unit of work begins with the procedure's first statement (the
  // runtime begins it), so a procedure that runs none takes no lock.
  Proc p;
  if (find_procedure(c->wdb, plan.call_name, plan.call_args.size(), &p, diag) != 0) return -1;
  if (dl_upper(p.style) != "DB2DARI") return cannot_access(p, "parameter style " + p.style, 5, diag);
  size_t n = p.parms.size();
  std::vector<Slot> slots(n);
  size_t next_marker = 0;
  for (size_t i = 0; i < n; ++i) {
    const Parm& m = p.parms[i];
    Slot& s = slots[i];
    if (!layout(m, &s)) {
      value_error(diag, "42997", -270,
                  "Parameter " + std::to_string(i + 1) + " of procedure \"" + p.schema + "." + p.name +
                      "\" has the type " + m.type + ", which a procedure cannot be passed.");
      return -1;
    }
    s.out = m.mode == "OUT" || m.mode == "INOUT";
    const std::string& arg = plan.call_args[i];
    DlCallArg lit;
    const DlCallArg* in = nullptr;
    if (arg == "?") {
      if (next_marker >= args.size()) return no_routine(plan.call_name, diag);
      s.marker = static_cast<int>(next_marker++);
      in = &args[static_cast<size_t>(s.marker)];
    } else if (s.out) {
      value_error(diag, "42886", -469,
                  "The parameter mode OUT or INOUT is not valid for parameter " + std::to_string(i + 1) +
                      " of procedure \"" + p.schema + "." + p.name + "\": its argument is not a parameter marker.");
      return -1;
    } else if (!dl_call_literal(arg, &lit)) {
      value_error(diag, "42601", -104, "The argument \"" + arg.substr(0, 64) + "\" of the CALL is not a value.");
      return -1;
    } else {
      in = &lit;
    }
    if (m.mode == "OUT") continue;  // arrives NULL
    if (put_in(m, *in, &s, diag) != 0) return -1;
  }
  if (!lib_name_ok(p.library)) return cannot_access(p, "not a library name", 1, diag);
  std::string why;
  void* lib = load_library(p.library, &why);
  if (!lib) return cannot_access(p, "library " + why, 1, diag);
  DL_DARI_ENTRY entry = reinterpret_cast<DL_DARI_ENTRY>(dlsym(lib, p.entry.c_str()));
  if (!entry) return cannot_access(p, "entry point not found", 4, diag);

  std::unique_ptr<uint64_t[]> area(new uint64_t[(DL_SQLDA_SIZE(n ? n : 1) + 7) / 8]());
  DL_SQLDA* da = reinterpret_cast<DL_SQLDA*>(area.get());
  memcpy(da->sqldaid, "DLSQLDA ", 8);
  da->sqldabc = static_cast<int32_t>(DL_SQLDA_SIZE(n ? n : 1));
  da->sqln = static_cast<int16_t>(n);
  da->sqld = static_cast<int16_t>(n);
  for (size_t i = 0; i < n; ++i) {
    DL_SQLVAR& v = da->sqlvar[i];
    v.sqltype = slots[i].type;
    v.sqllen = slots[i].len;
    v.sqldata = slots[i].data.get();
    v.sqlind = &slots[i].ind;
  }
  struct sqlca ca;
  dl_sqlca_clear(&ca);
  EsqlContext ctx;
  ctx.dbc = c;
  esql_enter(&ctx);
  bool threw = false;
  try {
    entry(nullptr, nullptr, da, &ca);
  } catch (...) {
    threw = true;
  }
  esql_leave(&ctx);
  if (threw) {
    value_error(diag, "38503", -430,
                "Procedure \"" + p.schema + "." + p.name + "\" (specific name \"" + p.name +
                    "\") has abnormally terminated.");
    return -1;
  }
  std::string state(ca.sqlstate, 5);
  bool warn_state = state.compare(0, 2, "01") == 0 || state == "02000";
  if (ca.sqlcode != 0 || warn_state) {
    std::string text = esql_full_text(&ca);
    if (text.empty()) {
      size_t k = ca.sqlerrml > 0 ? static_cast<size_t>(ca.sqlerrml) : 0;
      if (k > sizeof ca.sqlerrmc) k = sizeof ca.sqlerrmc;
      std::string tokens(ca.sqlerrmc, k);
      text = dl_msg(ca.sqlcode, tokens.empty() ? "The procedure \"" + p.schema + "." + p.name +
                                                     "\" returned SQLCODE " + std::to_string(ca.sqlcode) + "."
                                               : tokens,
                    state.c_str());
    }
    if (ca.sqlcode < 0) {
      if (state.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos ||
          state == "00000")
        state = "38000";
      dl_set_diag(diag, state.c_str(), ca.sqlcode, text);
      return -1;
    }
    dl_set_diag(diag, state == "00000" ? "01000" : state.c_str(), ca.sqlcode, text);
  }
  for (size_t i = 0; i < n; ++i) {
    if (!slots[i].out || slots[i].marker < 0) continue;
    take_out(slots[i], &args[static_cast<size_t>(slots[i].marker)]);
  }
  return ca.sqlcode != 0 || warn_state ? 1 : 0;
}

}  // namespace

bool dl_call_literal(const std::string& text, DlCallArg* a) {
  std::string u = dl_upper(text);
  if (u == "NULL" || (u.rfind("CAST(NULL AS", 0) == 0 && u.back() == ')')) {
    a->type = SQLITE_NULL;
    return true;
  }
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
    std::string v;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
      v += text[i];
      if (text[i] == '\'') ++i;
    }
    a->type = SQLITE_TEXT;
    a->s = v;
    return true;
  }
  if (text.empty() || text.size() > 64) return false;
  char* end = nullptr;
  errno = 0;
  long long i = strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() && !*end && !errno) {
    a->type = SQLITE_INTEGER;
    a->i = i;
    return true;
  }
  errno = 0;
  double d = strtod(text.c_str(), &end);
  if (end == text.c_str() || *end || errno || !std::isfinite(d)) return false;
  a->type = SQLITE_FLOAT;
  a->d = d;
  return true;
}

int dl_proc_call_handler(SQLHDBC hdbc, const DlPlan& plan, std::vector<DlCallArg>& args,
                         DlDiag* diag) {
  DlDiag scratch;
  if (!diag) diag = &scratch;
  if (plan.call_name.compare(0, 7, "db2gse!") == 0)
    return dl_spatial_call_handler(hdbc, plan, args, diag);
  Dbc* c = as_dbc(hdbc);
  if (!c || !c->connected || !c->wdb) {
    dl_set_diag(diag, "08003", -900,
                dl_msg(-900, "The application is not connected to a database.", "08003"));
    return -1;
  }
  try {
    return run(c, plan, args, diag);
  } catch (const std::bad_alloc&) {
    dl_set_diag(diag, "57011", -930,
                dl_msg(-930, "There is not enough storage available to process the statement.", "57011"));
    return -1;
  }
}

namespace {

// CALL reaches the host as soon as db2lite is loaded.
struct Install {
  Install() { dl_set_call_handler(dl_proc_call_handler); }
} g_install;

}  // namespace

}  // namespace dl
