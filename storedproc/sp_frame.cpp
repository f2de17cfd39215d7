// sp_frame.cpp -- the call frame of the stored procedures (sp_frame.h):
// signature checks, parameter reading and writing, one statement through the
// embedded-SQL runtime, the status mapping, and the internal routines
// sp_copy_string, sp_lock_table, sp_check_state_owner, sp_split_version_name
// and sp_check_version_owner.
//
// Relies on the database's embedded-SQL runtime (sql_esql.h) and the package
// of sp_sections.h, whose name, creator and token make up the program
// identification below.
#include "sp_frame.h"

#include "sp_sections.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

namespace sp {

namespace {

DL_PROGRAM_ID make_program_id() {
  DL_PROGRAM_ID p;
  memset(&p, ' ', sizeof p);
  p.length = sizeof(DL_PROGRAM_ID);
  memcpy(p.release, "ZSP013", 6);
  memcpy(p.name, kPackageName, 8);
  memcpy(p.token, kToken.c, 8);
  p.creator_len = 8;
  memcpy(p.creator, kPackageCreator, 8);
  return p;
}

// Read-only after start-up: the runtime copies them and never writes.
const DL_PROGRAM_ID kProgramId = make_program_id();
const DL_RTINFO kRtInfo = {{'Z', 'U', 'L', 'S', 'R', 'V', 'S', 'P'}, {0}};

int base_type(const DL_SQLVAR& v) { return v.sqltype & ~1; }

bool is_text_type(int t) {
  return t == DL_SQL_TYP_VARCHAR || t == DL_SQL_TYP_CHAR || t == DL_SQL_TYP_STAMP ||
         t == DL_SQL_TYP_DATE || t == DL_SQL_TYP_TIME;
}

bool param_fits(const DL_SQLVAR& v, char kind) {
  if (!v.sqldata) return false;
  int t = base_type(v);
  switch (kind) {
    case 'I':
    case 'i': return t == DL_SQL_TYP_INTEGER;
    case 'D': return t == DL_SQL_TYP_FLOAT && v.sqllen == 8;
    case 'T': return is_text_type(t) && v.sqllen >= 0;
    case 't': return (t == DL_SQL_TYP_VARCHAR || t == DL_SQL_TYP_CHAR) && v.sqllen >= 0;
    default: return false;
  }
}

}  // namespace

bool sp_copy_string(char* dest, size_t cap, const char* source, int32_t length, const int16_t* ind) {
  if (!dest || cap == 0) return true;
  dest[0] = 0;
  if (!source || (ind && *ind < 0) || length < 1) return true;
  size_t n = static_cast<size_t>(length);
  while (n > 0 && source[n - 1] == ' ') --n;
  if (n > cap - 1) return false;
  memcpy(dest, source, n);
  dest[n] = 0;
  return true;
}

DL_HOSTVAR hv_int(int32_t* v, int16_t* ind) {
  DL_HOSTVAR h;
  memset(&h, 0, sizeof h);
  h.sqltype = ind ? DL_SQL_TYP_NINTEGER : DL_SQL_TYP_INTEGER;
  h.len = 4;
  h.addr = v;
  h.ind = ind;
  return h;
}

DL_HOSTVAR hv_double(double* v) {
  DL_HOSTVAR h;
  memset(&h, 0, sizeof h);
  h.sqltype = DL_SQL_TYP_FLOAT;
  h.len = 8;
  h.addr = v;
  return h;
}

DL_HOSTVAR hv_text(char* buf, size_t cap, int16_t* ind) {
  DL_HOSTVAR h;
  memset(&h, 0, sizeof h);
  h.sqltype = ind ? DL_SQL_TYP_NCSTR : DL_SQL_TYP_CSTR;
  h.len = static_cast<int32_t>(cap);
  h.addr = buf;
  h.ind = ind;
  return h;
}

// ---- the call ---------------------------------------------------------------

SpCall::SpCall(DL_SQLDA* da, const char* sig, bool msg_pair) : da_(da), sig_(sig), pair_(msg_pair) {
  dl_sqlca_clear(&ca);
  size_t n = strlen(sig);
  nparams_ = static_cast<int>(n) + (pair_ ? 2 : 0);
  if (!da || da->sqld != nparams_ || da->sqln < da->sqld) return;
  for (size_t i = 0; i < n; ++i)
    if (!param_fits(da->sqlvar[i], sig[i])) return;
  if (pair_ && (!param_fits(da->sqlvar[n], 'i') || !param_fits(da->sqlvar[n + 1], 't'))) return;
  valid_ = true;
}

int32_t SpCall::in_int(int i) const {
  int32_t v = 0;
  memcpy(&v, da_->sqlvar[i].sqldata, sizeof v);
  return v;
}

double SpCall::in_double(int i) const {
  double v = 0;
  memcpy(&v, da_->sqlvar[i].sqldata, sizeof v);
  return v;
}

int16_t SpCall::in_ind(int i) const {
  const int16_t* ind = da_->sqlvar[i].sqlind;
  return ind ? *ind : -1;
}

bool SpCall::in_text(int i, char* buf, size_t cap) {
  const DL_SQLVAR& v = da_->sqlvar[i];
  const char* p = static_cast<const char*>(v.sqldata);
  int32_t len = v.sqllen;
  if (base_type(v) == DL_SQL_TYP_VARCHAR) {
    uint16_t stored = 0;
    memcpy(&stored, p, sizeof stored);
    if (stored < len) len = stored;
    p += sizeof stored;
  }
  if (sp_copy_string(buf, cap, p, len, v.sqlind)) return true;
  fail(kTooLong, "Parameter %d is longer than %d characters", i + 1, static_cast<int>(cap - 1));
  return false;
}

void SpCall::out_int(int i, int32_t v) {
  DL_SQLVAR& p = da_->sqlvar[i];
  memcpy(p.sqldata, &v, sizeof v);
  if (p.sqlind) *p.sqlind = 4;
}

void SpCall::out_text(int i, const char* s) {
  DL_SQLVAR& p = da_->sqlvar[i];
  size_t n = strlen(s);
  size_t cap = static_cast<size_t>(p.sqllen);
  if (n > cap) n = cap;
  char* d = static_cast<char*>(p.sqldata);
  if (base_type(p) == DL_SQL_TYP_VARCHAR) {
    uint16_t len = static_cast<uint16_t>(n);
    memcpy(d, &len, sizeof len);
    memcpy(d + sizeof len, s, n);
  } else {
    memcpy(d, s, n);
    memset(d + n, ' ', cap - n);
  }
  if (p.sqlind) *p.sqlind = static_cast<int16_t>(n);
}

void SpCall::fail(int32_t c, const char* fmt, ...) {
  code = c;
  msg[0] = 0;
  if (!fmt) return;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(msg, sizeof msg, fmt, ap);
  va_end(ap);
}

int32_t SpCall::run(int call_type, int section, DL_HOSTVAR* in, int nin, DL_HOSTVAR* out, int nout,
                    const char* text) {
  if (sqlastrt(const_cast<DL_PROGRAM_ID*>(&kProgramId), const_cast<DL_RTINFO*>(&kRtInfo), &ca) == 0) {
    if (nin) {
      sqlaaloc(DL_SQLA_INPUT, static_cast<unsigned short>(nin), static_cast<unsigned short>(section), nullptr);
      sqlasetda(DL_SQLA_INPUT, 0, static_cast<unsigned short>(nin), in, nullptr, nullptr);
    }
    if (nout) {
      sqlaaloc(DL_SQLA_OUTPUT, static_cast<unsigned short>(nout), static_cast<unsigned short>(section),
               nullptr);
      sqlasetda(DL_SQLA_OUTPUT, 0, static_cast<unsigned short>(nout), out, nullptr, nullptr);
    }
    if (text) sqlastls(0, text, nullptr);
    sqlacall(static_cast<unsigned short>(call_type), static_cast<unsigned short>(section),
             nin ? DL_SQLA_INPUT : 0, nout ? DL_SQLA_OUTPUT : 0, nullptr);
  }
  sqlastop(nullptr);
  return ca.sqlcode;
}

bool SpCall::state_is(const char* s) const { return memcmp(ca.sqlstate, s, 5) == 0; }

bool SpCall::no_privilege() const { return state_is("42501") || state_is("42502"); }

bool SpCall::no_row() const { return ca.sqlcode == 100 || state_is("02000"); }

int32_t SpCall::mapped(int32_t no_row_code) const {
  if (no_privilege()) return -20025;
  if (no_row()) return no_row_code;
  return ca.sqlcode;
}

int SpCall::finish(struct sqlca* caller) {
  if (!valid_) {
    struct sqlca bad;
    dl_sqlca_clear(&bad);
    bad.sqlcode = -440;
    memcpy(bad.sqlstate, "42884", 5);
    static const char kText[] = "The procedure's parameters do not match its library entry.";
    bad.sqlerrml = static_cast<short>(sizeof kText - 1 < sizeof bad.sqlerrmc ? sizeof kText - 1
                                                                             : sizeof bad.sqlerrmc);
    memcpy(bad.sqlerrmc, kText, static_cast<size_t>(bad.sqlerrml));
    if (caller) memcpy(caller, &bad, sizeof bad);
    return 1;
  }
  size_t n = strlen(sig_);
  for (size_t i = 0; i < n; ++i)
    if (sig_[i] >= 'A' && sig_[i] <= 'Z' && da_->sqlvar[i].sqlind) *da_->sqlvar[i].sqlind = -128;
  if (pair_) {
    out_int(static_cast<int>(n), code);
    out_text(static_cast<int>(n + 1), msg);
  }
  if (caller) memcpy(caller, &ca, sizeof ca);
  return 1;
}

// ---- internal routines ---------------------------------------------------------

int sp_lock_table(SpCall& call, const char* table, int mode) {
  dl_sqlca_clear(&call.ca);
  call.fail(0);
  char text[300];
  snprintf(text, sizeof text, mode == 0 ? "LOCK TABLE %s in share mode" : "LOCK TABLE %s in exclusive mode",
           table);
  // A deadlock or time-out is tried again at once, ten attempts in all.
  int attempts = 0;
  for (;;) {
    call.run(DL_SQLA_EXECIMMD, 1, nullptr, 0, nullptr, 0, text);
    if (call.ca.sqlcode != -911) break;
    if (++attempts >= 10) {
      call.fail(-911, "Maximum number of deadlock retries exceeded. Failed to Lock %s", table);
      return -1;
    }
  }
  if (call.ca.sqlcode == 0) return 0;
  if (call.no_row())
    call.fail(-20126, "Table %s not found", table);
  else
    call.fail(call.ca.sqlcode, "Unexpected error happened, Failed to Lock %s", table);
  return -1;
}

int sp_check_state_owner(SpCall& call, int32_t state_id, char* owner, char* second) {
  owner[0] = 0;
  second[0] = 0;
  call.fail(0);
  char user[kName32] = "";
  int16_t owner_ind = 0, second_ind = 0;
  int32_t id = state_id;
  DL_HOSTVAR in[] = {hv_int(&id)};
  DL_HOSTVAR out[] = {hv_text(owner, kName32, &owner_ind), hv_text(user, kName32),
                      hv_text(second, kName128, &second_ind)};
  call.run(DL_SQLA_EXECUTE, 31, in, 1, out, 3);
  if (call.ca.sqlcode == 0 && owner_ind >= 0) {
    if (second_ind < 0) second[0] = 0;
    if (strcmp(user, kAdmin) == 0 || strcmp(user, owner) == 0) return 0;
    call.fail(-20025, "No permission on state %d", state_id);
    return 0;
  }
  if (call.ca.sqlcode == 0 || call.no_privilege())
    call.fail(-20025, "No permission on state %d", state_id);
  else if (call.no_row())
    call.fail(-20172, "State %d not found", state_id);
  else
    call.fail(call.ca.sqlcode);
  return 0;
}

bool sp_split_version_name(SpCall& call, const char* qualified, char* owner, char* name) {
  owner[0] = 0;
  name[0] = 0;
  const char* dot = strrchr(qualified, '.');
  if (!dot) {
    if (strlen(qualified) > kText255 - 1) {
      call.fail(kTooLong, "Version name %.64s... is too long", qualified);
      return false;
    }
    strcpy(name, qualified);
    DL_HOSTVAR out[] = {hv_text(owner, kName32)};
    call.run(DL_SQLA_EXECUTE, 45, nullptr, 0, out, 1);
    if (call.ca.sqlcode != 0) {
      call.fail(call.mapped(call.ca.sqlcode));
      return false;
    }
    return true;
  }
  size_t name_len = strlen(dot + 1);
  // The owner part: after the last '.' before it (a database part goes),
  // without enclosing single quotes.
  const char* ostart = qualified;
  for (const char* p = qualified; p < dot; ++p)
    if (*p == '.') ostart = p + 1;
  size_t olen = static_cast<size_t>(dot - ostart);
  if (olen >= 2 && ostart[0] == '\'' && ostart[olen - 1] == '\'') {
    ++ostart;
    olen -= 2;
  }
  if (name_len > kText255 - 1 || olen > kName32 - 1) {
    call.fail(kTooLong, "Version name %.64s is too long", qualified);
    return false;
  }
  memcpy(name, dot + 1, name_len + 1);
  memcpy(owner, ostart, olen);
  owner[olen] = 0;
  return true;
}

void sp_check_version_owner(SpCall& call, const char* name, const char* owner, char* flag) {
  strcpy(flag, "f");
  call.fail(0);
  char vname[kText255], vowner[kName32], user[kName32] = "";
  snprintf(vname, sizeof vname, "%s", name);
  snprintf(vowner, sizeof vowner, "%s", owner);
  int32_t id = 0, status = 0;
  int16_t id_ind = 0, status_ind = 0;
  DL_HOSTVAR in[] = {hv_text(vname, sizeof vname), hv_text(vowner, sizeof vowner)};
  DL_HOSTVAR out[] = {hv_int(&id, &id_ind), hv_int(&status, &status_ind), hv_text(user, sizeof user)};
  call.run(DL_SQLA_EXECUTE, 46, in, 2, out, 3);
  if (call.ca.sqlcode == 0 && id_ind >= 0 && status_ind >= 0) {
    if (strcasecmp(name, kDefaultVersion) == 0) {
      call.fail(-20025, "The default version may not be deleted or renamed!");
    } else if (strcmp(user, kAdmin) == 0 || strcasecmp(owner, user) == 0) {
      strcpy(flag, "t");
    } else {
      call.fail(-20025, "Not owner of Version %s.%s", owner, name);
    }
    return;
  }
  if (call.ca.sqlcode == 0)
    call.fail(-20126, "Version %s.%s not found", owner, name);
  else if (call.no_privilege())
    call.fail(-20025, "No permission on version %s.%s", owner, name);
  else if (call.no_row())
    call.fail(-20126, "Version %s.%s not found", owner, name);
  else
    call.fail(call.ca.sqlcode);
}

}  // namespace sp
