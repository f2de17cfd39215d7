// dl_esql.cpp -- the embedded-SQL runtime: sqlastrt, sqlaaloc, sqlasetda,
// sqlastls, sqlacall and sqlastop, run inside a procedure on the caller's
// connection (the rules are in sql_esql.h and dl_esql.h).
//
// Divisions: the call context and reports; host variables (binding inputs,
// assigning outputs); running one section's statement; the exported calls.
//
// A statement is translated every time it runs, with the session of the
// rights it runs under: a static section with the package owner as user and
// the package qualifier as schema, a dynamic one with the caller's session.
// The translated session shares the caller's session state, so USER, the
// registers and IDENTITY_VAL_LOCAL stay the caller's; only the privileges
// the translation looks up are the owner's, and they are put back as soon
// as the statement is prepared.
#include "dl_esql.h"

#include "dl_internal.h"

#include <stdio.h>
#include <string.h>

#include <set>

namespace dl {

namespace {

thread_local EsqlContext* t_ctx = nullptr;

// The last report this thread made, for sqlaintp_api.
thread_local int32_t t_last_code = 0;
thread_local char t_last_state[6] = "";
thread_local std::string t_last_text;

const char kNoRow[] =
    "No row was found for FETCH, UPDATE or DELETE; or the result of a query is an empty table.";

void report(struct sqlca* ca, const char* state, int32_t native, const std::string& body) {
  esql_report(ca, state, native, dl_msg(native, body, state));
}

void report_diag(struct sqlca* ca, DlDiag d) {
  if (d.sqlstate.size() != 5) {
    d.sqlstate = "58004";
    d.native = -901;
    d.text = dl_msg(-901, "The statement failed for a reason db2lite did not record.", "58004");
  }
  if (d.native == 0) d.native = -901;
  esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
}

void report_handle(struct sqlca* ca, const Handle& h) { report_diag(ca, esql_diag_of(h)); }

// Translates a section's statement text; false with the report in ca (a
// text refused without a state of its own is a syntax error).
bool translate(sqlite3* db, const DlSession& sess, const std::string& text, DlPlan* plan, struct sqlca* ca) {
  DlDiag d;
  if (dl_translate(db, sess, text.data(), text.size(), plan, &d) == 0) return true;
  if (d.sqlstate.empty()) {
    d.sqlstate = "42601";
    d.native = -104;
    d.text = dl_msg(-104, "The statement could not be translated.", "42601");
  }
  report_diag(ca, d);
  return false;
}

// ---- host variables -----------------------------------------------------------

int16_t get16(const void* p) { int16_t v; memcpy(&v, p, sizeof v); return v; }
int32_t get32(const void* p) { int32_t v; memcpy(&v, p, sizeof v); return v; }
int64_t get64(const void* p) { int64_t v; memcpy(&v, p, sizeof v); return v; }

// Binds input host variable hv to parameter idx. 0, or -1 with a report.
int bind_input(sqlite3_stmt* st, int idx, const DL_HOSTVAR& hv, struct sqlca* ca) {
  int base = hv.sqltype & ~1;
  if ((hv.sqltype & 1) && hv.ind && *hv.ind < 0) return sqlite3_bind_null(st, idx) == SQLITE_OK ? 0 : -1;
  if (!hv.addr || hv.len < 0) {
    report(ca, "07002", -804, "The host variable " + std::to_string(idx) + " is not valid.");
    return -1;
  }
  int rc = SQLITE_OK;
  const char* p = static_cast<const char*>(hv.addr);
  switch (base) {
    case DL_SQL_TYP_SMALL: rc = sqlite3_bind_int64(st, idx, get16(p)); break;
    case DL_SQL_TYP_INTEGER: rc = sqlite3_bind_int64(st, idx, get32(p)); break;
    case DL_SQL_TYP_BIGINT: rc = sqlite3_bind_int64(st, idx, get64(p)); break;
    case DL_SQL_TYP_FLOAT: {
      double d;
      memcpy(&d, p, sizeof d);
      rc = sqlite3_bind_double(st, idx, d);
      break;
    }
    case DL_SQL_TYP_CSTR:
      rc = sqlite3_bind_text(st, idx, p, static_cast<int>(strnlen(p, static_cast<size_t>(hv.len))),
                             SQLITE_TRANSIENT);
      break;
    case DL_SQL_TYP_VARCHAR: {
      uint16_t n;
      memcpy(&n, p, sizeof n);
      if (n > hv.len) n = static_cast<uint16_t>(hv.len);
      rc = sqlite3_bind_text(st, idx, p + 2, n, SQLITE_TRANSIENT);
      break;
    }
    case DL_SQL_TYP_CHAR:
    case DL_SQL_TYP_DATE:
    case DL_SQL_TYP_TIME:
    case DL_SQL_TYP_STAMP:
      rc = sqlite3_bind_text(st, idx, p, hv.len, SQLITE_TRANSIENT);
      break;
    default:
      report(ca, "07002", -804,
             "The host variable " + std::to_string(idx) + " has the unknown type " +
                 std::to_string(hv.sqltype) + ".");
      return -1;
  }
  return rc == SQLITE_OK ? 0 : -1;
}

// Assigns result column col to output host variable hv. 0, 1 when a text
// was cut, -1 with a report.
int assign_output(sqlite3_stmt* st, int col, const DL_HOSTVAR& hv, struct sqlca* ca) {
  int type = sqlite3_column_type(st, col);
  if (type == SQLITE_NULL) {
    if (!hv.ind) {
      report(ca, "22002", -305,
             "The null value cannot be assigned to output host variable " + std::to_string(col + 1) +
                 " because no indicator variable is specified.");
      return -1;
    }
    *hv.ind = -1;
    return 0;
  }
  if (!hv.addr || hv.len < 0) {
    report(ca, "07002", -804, "The host variable " + std::to_string(col + 1) + " is not valid.");
    return -1;
  }
  if (hv.ind) *hv.ind = 0;
  char* p = static_cast<char*>(hv.addr);
  int base = hv.sqltype & ~1;
  auto range = [&]() {
    report(ca, "22003", -304,
           "A value cannot be assigned to host variable " + std::to_string(col + 1) +
               " because the value is not within the range of its data type.");
    return -1;
  };
  auto integer = [&](int64_t lo, int64_t hi, int64_t* out) {
    if (type == SQLITE_FLOAT) {
      double d = sqlite3_column_double(st, col);
      if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi))) return false;
      *out = static_cast<int64_t>(d);
      return true;
    }
    int64_t v = sqlite3_column_int64(st, col);
    if (type == SQLITE_TEXT) {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      char* end = nullptr;
      long long x = strtoll(t ? t : "", &end, 10);
      if (!t || end == t || *end) return false;
      v = x;
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
  };
  int64_t v = 0;
  switch (base) {
    case DL_SQL_TYP_SMALL: {
      if (!integer(INT16_MIN, INT16_MAX, &v)) return range();
      int16_t x = static_cast<int16_t>(v);
      memcpy(p, &x, sizeof x);
      return 0;
    }
    case DL_SQL_TYP_INTEGER: {
      if (!integer(INT32_MIN, INT32_MAX, &v)) return range();
      int32_t x = static_cast<int32_t>(v);
      memcpy(p, &x, sizeof x);
      return 0;
    }
    case DL_SQL_TYP_BIGINT: {
      if (!integer(INT64_MIN, INT64_MAX, &v)) return range();
      memcpy(p, &v, sizeof v);
      return 0;
    }
    case DL_SQL_TYP_FLOAT: {
      double d = sqlite3_column_double(st, col);
      memcpy(p, &d, sizeof d);
      return 0;
    }
    default: break;
  }
  const char* t = static_cast<const char*>(sqlite3_column_blob(st, col));
  size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
  if (!t) n = 0;
  size_t cap = static_cast<size_t>(hv.len);
  bool cut = false;
  switch (base) {
    case DL_SQL_TYP_CSTR: {
      if (cap < 1) return range();
      size_t k = n < cap - 1 ? n : cap - 1;
      if (k) memcpy(p, t, k);
      p[k] = 0;
      cut = k < n;
      break;
    }
    case DL_SQL_TYP_VARCHAR: {
      size_t k = n < cap ? n : cap;
      if (k > 32767) k = 32767;
      uint16_t len = static_cast<uint16_t>(k);
      memcpy(p, &len, sizeof len);
      if (k) memcpy(p + 2, t, k);
      cut = k < n;
      break;
    }
    case DL_SQL_TYP_CHAR:
    case DL_SQL_TYP_DATE:
    case DL_SQL_TYP_TIME:
    case DL_SQL_TYP_STAMP: {
      size_t k = n < cap ? n : cap;
      if (k) memcpy(p, t, k);
      if (cap > k) memset(p + k, ' ', cap - k);
      cut = k < n;
      break;
    }
    default:
      report(ca, "07002", -804,
             "The host variable " + std::to_string(col + 1) + " has the unknown type " +
                 std::to_string(hv.sqltype) + ".");
      return -1;
  }
  if (cut && hv.ind) *hv.ind = static_cast<int16_t>(n > 32767 ? 32767 : n);
  return cut ? 1 : 0;
}

// Assigns the current row to the output list. 0 or -1 (reported); a cut
// text leaves the truncation warning in ca.
int assign_row(sqlite3_stmt* st, const std::vector<DL_HOSTVAR>* out, struct sqlca* ca) {
  if (!out) return 0;
  int ncols = sqlite3_column_count(st);
  if (static_cast<int>(out->size()) > ncols) {
    report(ca, "07001", -313,
           "The number of host variables is not the same as the number of result columns.");
    return -1;
  }
  bool cut = false;
  for (size_t i = 0; i < out->size(); ++i) {
    int r = assign_output(st, static_cast<int>(i), (*out)[i], ca);
    if (r < 0) return -1;
    if (r > 0) cut = true;
  }
  if (cut) {
    esql_report(ca, "01004", 0, "");
    ca->sqlwarn[0] = 'W';
    ca->sqlwarn[1] = 'W';
  }
  return 0;
}

// ---- running a statement -------------------------------------------------------

enum class Mode { Exec, SelectInto, Open };

std::string pkg_key(const EsqlPackage& p) { return p.creator + "." + p.name; }

// Reports the SQLite failure rc on the connection and rolls back what the
// statement began; a lock time-out ends the whole unit of work.
void fail_sqlite(EsqlContext* x, int rc, const DlPlan* plan, bool savepoint) {
  Dbc* c = x->dbc;
  Handle h;
  db_failure(&h, c->wdb, rc, plan);
  if (savepoint && !sqlite3_get_autocommit(c->wdb)) {
    dl_exec(c->wdb, "ROLLBACK TO dl_esql");
    dl_exec(c->wdb, "RELEASE dl_esql");
  }
  DlDiag d = esql_diag_of(h);
  if (d.sqlstate == "40001") esql_close_all(x);
  conn_after_failure(c, rc);
  report_diag(x->ca, d);
}

// Translates and runs text under the given rights. Open leaves the cursor
// at key. 0 or -1 (reported in x->ca).
int run_statement(EsqlContext* x, const std::string& text, bool owner_rights, Mode mode,
                  const std::vector<DL_HOSTVAR>* in, const std::vector<DL_HOSTVAR>* out,
                  const std::pair<std::string, int>& key) {
  Dbc* c = x->dbc;
  struct sqlca* ca = x->ca;
  DlDiag fd;
  SQLRETURN frc;
  if (fault_statement(text, &fd, &frc)) {
    report_diag(ca, fd);
    return -1;
  }
  count_run();
  DlSession sess = c->session;  // shares the caller's session state
  if (owner_rights) {
    sess.user = x->pkg->owner;
    sess.schema = x->pkg->qualifier;
  }
  DlPlan plan;
  sqlite3_stmt* st = nullptr;
  {
    EsqlPrivilegeScope scope(dl_state(c->session));
    if (!translate(c->wdb, sess, text, &plan, ca)) return -1;
    switch (plan.kind) {
      case DlKind::Commit:
      case DlKind::Rollback:
        if (mode != Mode::Exec) break;
        {
          esql_close_all(x);
          Handle h;
          if (conn_end(c, &h, plan.kind == DlKind::Commit) != SQL_SUCCESS) {
            report_handle(ca, h);
            return -1;
          }
          dl_sqlca_clear(ca);
          return 0;
        }
      case DlKind::Call:
      case DlKind::SetRegister:
      case DlKind::PositionedDml:
        report(ca, "38003", -751, "The statement is not allowed in a procedure.");
        return -1;
      default: break;
    }
    bool query = plan.kind == DlKind::Query;
    if (query && mode == Mode::Exec) {
      report(ca, "42612", -84, "A query cannot be run without a cursor or an INTO list.");
      return -1;
    }
    if (!query && mode != Mode::Exec) {
      report(ca, mode == Mode::Open ? "07005" : "42612", mode == Mode::Open ? -517 : -84,
             "The statement is not a query.");
      return -1;
    }
    int nin = in ? static_cast<int>(in->size()) : 0;
    if (nin != plan.nparams) {
      report(ca, "07004", -313,
             "The number of host variables is not the same as the number of parameter markers.");
      return -1;
    }
    Handle h;
    if (conn_begin_write(c, &h) != SQL_SUCCESS) {
      DlDiag d = esql_diag_of(h);
      if (d.sqlstate == "40001") esql_close_all(x);
      report_diag(ca, d);
      return -1;
    }
    bool sp = !plan.pre.empty() || !plan.post.empty();
    int rc = sp ? dl_exec(c->wdb, "SAVEPOINT dl_esql") : SQLITE_OK;
    if (rc != SQLITE_OK) {
      fail_sqlite(x, rc, &plan, false);
      return -1;
    }
    for (const std::string& s : plan.pre) {
      rc = dl_exec(c->wdb, s);
      if (rc != SQLITE_OK) {
        fail_sqlite(x, rc, &plan, sp);
        return -1;
      }
    }
    if (!plan.main.empty()) {
      rc = sqlite3_prepare_v2(c->wdb, plan.main.c_str(), static_cast<int>(plan.main.size()), &st,
                              nullptr);
      if (rc != SQLITE_OK) {
        fail_sqlite(x, rc, &plan, sp);
        return -1;
      }
    }
    for (int i = 0; st && i < nin; ++i) {
      if (bind_input(st, i + 1, (*in)[static_cast<size_t>(i)], ca) != 0) {
        sqlite3_finalize(st);
        if (sp) {
          dl_exec(c->wdb, "ROLLBACK TO dl_esql");
          dl_exec(c->wdb, "RELEASE dl_esql");
        }
        if (ca->sqlcode == 0) report(ca, "07002", -804, "A host variable could not be bound.");
        return -1;
      }
    }
    if (mode == Mode::Open) {
      if (sp) dl_exec(c->wdb, "RELEASE dl_esql");
      EsqlCursor& cur = x->cursors[key];
      cur.st = st;
      cur.done = false;
      dl_sqlca_clear(ca);
      return 0;
    }
  }
  // The statement runs with the privileges it was prepared under.
  int rc = SQLITE_OK;
  uint64_t rows = 0;
  bool sp = !plan.pre.empty() || !plan.post.empty();
  dl_sqlca_clear(ca);
  if (st && mode == Mode::SelectInto) {
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      rows = 1;
      if (assign_row(st, out, ca) != 0) {
        sqlite3_finalize(st);
        return -1;
      }
      rc = sqlite3_step(st);
      if (rc == SQLITE_ROW) {
        count_work(st, 2);
        sqlite3_finalize(st);
        report(ca, "21000", -811,
               "The result of a scalar fullselect, SELECT INTO statement, or VALUES INTO "
               "statement is more than one row.");
        return -1;
      }
    } else if (rc == SQLITE_DONE) {
      report(ca, "02000", 100, kNoRow);
    }
  } else if (st) {
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc == SQLITE_DONE && plan.kind == DlKind::Dml) rows = static_cast<uint64_t>(sqlite3_changes(c->wdb));
  }
  if (st) count_work(st, rows);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) {
    sqlite3_finalize(st);
    fail_sqlite(x, rc, &plan, sp);
    return -1;
  }
  sqlite3_finalize(st);
  for (const std::string& s : plan.post) {
    rc = dl_exec(c->wdb, s);
    if (rc != SQLITE_OK) {
      fail_sqlite(x, rc, &plan, sp);
      return -1;
    }
  }
  if (sp) dl_exec(c->wdb, "RELEASE dl_esql");
  if (plan.kind == DlKind::Dml && rows == 0) report(ca, "02000", 100, kNoRow);
  ca->sqlerrd[2] = static_cast<int32_t>(rows > INT32_MAX ? INT32_MAX : rows);
  return 0;
}

// The context of this thread and its current statement, or a report.
EsqlContext* statement_context() {
  EsqlContext* x = t_ctx;
  if (!x || !x->ca || x->failed) return nullptr;
  return x;
}

bool section_known(EsqlContext* x, int section, bool want_dynamic) {
  auto it = x->pkg->dynamic.find(section);
  if (it == x->pkg->dynamic.end() || it->second != want_dynamic) {
    report(x->ca, "51002", -805,
           "Package \"" + pkg_key(*x->pkg) + "\" has no " + (want_dynamic ? "dynamic" : "static") +
               " section " + std::to_string(section) + ".");
    return false;
  }
  return true;
}

const std::vector<DL_HOSTVAR>* list_of(EsqlContext* x, unsigned short id) {
  if (id == 0 || id > 3) return nullptr;
  return &x->lists[id];
}

int call(unsigned short type, unsigned short section, unsigned short in_id, unsigned short out_id) {
  EsqlContext* x = statement_context();
  if (!x) return -1;
  struct sqlca* ca = x->ca;
  if (type == DL_SQLA_COMMIT || type == DL_SQLA_ROLLBACK) {
    esql_close_all(x);
    Handle h;
    count_run();
    if (conn_end(x->dbc, &h, type == DL_SQLA_COMMIT) != SQL_SUCCESS) {
      report_handle(ca, h);
      return -1;
    }
    dl_sqlca_clear(ca);
    return 0;
  }
  if (!x->pkg) {
    report(ca, "51002", -805, "No package was named for the statement.");
    return -1;
  }
  const std::vector<DL_HOSTVAR>* in = list_of(x, in_id);
  const std::vector<DL_HOSTVAR>* out = list_of(x, out_id);
  std::pair<std::string, int> key(pkg_key(*x->pkg), section);
  auto prep = x->prepared.find(key);
  switch (type) {
    case DL_SQLA_PREPARE: {
      if (!section_known(x, section, true)) return -1;
      if (x->text.empty()) {
        report(ca, "42617", -198, "The statement string of the PREPARE statement is empty.");
        return -1;
      }
      auto cur = x->cursors.find(key);
      if (cur != x->cursors.end()) {
        sqlite3_finalize(cur->second.st);
        x->cursors.erase(cur);
      }
      x->prepared.erase(key);
      // Translated now, so that PREPARE reports the statement's faults.
      DlPlan plan;
      {
        EsqlPrivilegeScope scope(dl_state(x->dbc->session));
        if (!translate(x->dbc->wdb, x->dbc->session, x->text, &plan, ca)) return -1;
      }
      x->prepared[key] = x->text;
      dl_sqlca_clear(ca);
      return 0;
    }
    case DL_SQLA_EXECIMMD:
      if (!section_known(x, section, true)) return -1;
      if (x->text.empty()) {
        report(ca, "42617", -198, "The statement string of the EXECUTE IMMEDIATE statement is empty.");
        return -1;
      }
      return run_statement(x, x->text, false, Mode::Exec, in, nullptr, key);
    case DL_SQLA_EXECUTE:
    case DL_SQLA_OPEN: {
      Mode mode = type == DL_SQLA_OPEN ? Mode::Open : (out ? Mode::SelectInto : Mode::Exec);
      if (mode == Mode::Open && x->cursors.count(key)) {
        report(ca, "24502", -502, "The cursor identified in an OPEN statement is already open.");
        return -1;
      }
      if (prep != x->prepared.end())
        return run_statement(x, prep->second, false, mode, in, out, key);
      auto d = x->pkg->dynamic.find(section);
      if (d != x->pkg->dynamic.end() && d->second) {
        report(ca, "26501", -514, "The statement of section " + std::to_string(section) +
                                      " has not been prepared.");
        return -1;
      }
      if (!section_known(x, section, false)) return -1;
      return run_statement(x, x->pkg->sections[section], true, mode, in, out, key);
    }
    case DL_SQLA_FETCH: {
      auto it = x->cursors.find(key);
      if (it == x->cursors.end()) {
        report(ca, "24501", -501, "The cursor identified in a FETCH or CLOSE statement is not open.");
        return -1;
      }
      EsqlCursor& cur = it->second;
      dl_sqlca_clear(ca);
      if (cur.done) {
        report(ca, "02000", 100, kNoRow);
        return 0;
      }
      count_run();
      int rc = sqlite3_step(cur.st);
      if (rc == SQLITE_ROW) return assign_row(cur.st, out, ca);
      count_work(cur.st, 0);
      if (rc == SQLITE_DONE) {
        cur.done = true;
        report(ca, "02000", 100, kNoRow);
        return 0;
      }
      sqlite3_finalize(cur.st);
      x->cursors.erase(it);
      fail_sqlite(x, rc, nullptr, false);
      return -1;
    }
    case DL_SQLA_CLOSE: {
      auto it = x->cursors.find(key);
      if (it == x->cursors.end()) {
        report(ca, "24501", -501, "The cursor identified in a FETCH or CLOSE statement is not open.");
        return -1;
      }
      sqlite3_finalize(it->second.st);
      x->cursors.erase(it);
      dl_sqlca_clear(ca);
      return 0;
    }
    default:
      report(ca, "58004", -901, "The call type " + std::to_string(type) + " is not known.");
      return -1;
  }
}

// Loads the package creator.name for the context, or reports why not.
EsqlPackage* load_package(EsqlContext* x, const std::string& creator, const std::string& name) {
  std::string key = creator + "." + name;
  auto it = x->packages.find(key);
  if (it != x->packages.end()) return &it->second;
  sqlite3* db = x->dbc->wdb;
  std::vector<std::vector<std::string>> rows;
  if (dl_query(db,
               "SELECT BOUNDBY, QUALIFIER, UNIQUE_ID FROM DL_PACKAGES WHERE PKGSCHEMA = ?1 AND "
               "PKGNAME = ?2",
               {creator, name}, &rows) != SQLITE_OK ||
      rows.empty()) {
    report(x->ca, "51002", -805, "Package \"" + key + "\" was not found.");
    return nullptr;
  }
  EsqlPackage p;
  p.creator = creator;
  p.name = name;
  p.owner = rows[0][0];
  p.qualifier = rows[0][1].empty() ? p.owner : rows[0][1];
  p.token = rows[0][2];
  rows.clear();
  if (dl_query(db,
               "SELECT SECTNO, COALESCE(TEXT, ''), TEXT IS NULL FROM DL_PACKAGE_SECTIONS WHERE "
               "PKGSCHEMA = ?1 AND PKGNAME = ?2",
               {creator, name}, &rows) != SQLITE_OK) {
    report(x->ca, "58004", -901, "The sections of package \"" + key + "\" cannot be read.");
    return nullptr;
  }
  for (const auto& r : rows) {
    int n = atoi(r[0].c_str());
    p.sections[n] = r[1];
    p.dynamic[n] = r[2] == "1";
  }
  const std::string& user = x->dbc->session.user;
  p.may_execute = user == p.owner || dl_has_authority(db, user, "DBADM");
  if (!p.may_execute) {
    rows.clear();
    dl_query(db,
             "SELECT 1 FROM DL_PACKAGEAUTH WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2 AND"
             " (EXECUTEAUTH = 'Y' OR CONTROLAUTH = 'Y') AND"
             " ((GRANTEE = ?3 AND GRANTEETYPE = 'U') OR (GRANTEE = 'PUBLIC' AND GRANTEETYPE = 'G'))",
             {creator, name, user}, &rows);
    p.may_execute = !rows.empty();
  }
  return &x->packages.emplace(key, std::move(p)).first->second;
}

std::string field(const char* p, size_t n) {
  std::string s(p, strnlen(p, n));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return dl_upper(s);
}

// Opens a statement: finds the program's package for the context of this
// thread. 0, or -1 with the reason in ca.
int start_statement(void* program_id, struct sqlca* ca) {
  EsqlContext* x = t_ctx;
  dl_sqlca_clear(ca);
  if (!x) {
    report(ca, "08003", -1024, "A database connection does not exist.");
    return -1;
  }
  x->ca = ca;
  x->failed = true;
  x->pkg = nullptr;
  for (auto& l : x->lists) l.clear();
  x->text.clear();
  DL_PROGRAM_ID pid;
  if (program_id) memcpy(&pid, program_id, sizeof pid);
  if (!program_id || pid.length != sizeof(DL_PROGRAM_ID) || pid.creator_len < 1 ||
      pid.creator_len > sizeof pid.creator) {
    report(ca, "58004", -901, "The program identification is not valid.");
    return -1;
  }
  std::string name = field(pid.name, sizeof pid.name);
  std::string creator = field(pid.creator, pid.creator_len);
  std::string token(pid.token, sizeof pid.token);
  EsqlPackage* p = load_package(x, creator, name);
  if (!p) return -1;
  if (p->token != token) {
    report(ca, "51003", -818,
           "A timestamp conflict occurred: the program's consistency token differs from that of "
           "package \"" + creator + "." + name + "\".");
    return -1;
  }
  if (!p->may_execute) {
    report(ca, "42501", -551,
           "\"" + x->dbc->session.user +
               "\" does not have the privilege to perform operation \"EXECUTE\" on object \"" +
               creator + "." + name + "\".");
    return -1;
  }
  x->pkg = p;
  x->failed = false;
  return 0;
}

}  // namespace

// ---- the call context ---------------------------------------------------------------

EsqlPrivilegeScope::EsqlPrivilegeScope(DlSessionState* st) : st_(st) {
  std::lock_guard<std::mutex> g(st_->mu);
  privs_ = st_->privs;
  ddl_ = st_->ddl_targets;
  dbadm_ = st_->dbadm;
}

EsqlPrivilegeScope::~EsqlPrivilegeScope() {
  std::lock_guard<std::mutex> g(st_->mu);
  st_->privs.swap(privs_);
  st_->ddl_targets.swap(ddl_);
  st_->dbadm = dbadm_;
}

void esql_enter(EsqlContext* ctx) {
  ctx->prev = t_ctx;
  t_ctx = ctx;
}

void esql_close_all(EsqlContext* ctx) {
  for (auto& c : ctx->cursors) sqlite3_finalize(c.second.st);
  ctx->cursors.clear();
  ctx->prepared.clear();
}

void esql_leave(EsqlContext* ctx) {
  esql_close_all(ctx);
  t_ctx = ctx->prev;
  ctx->prev = nullptr;
}

void esql_report(struct sqlca* ca, const char* state, int32_t native, const std::string& text) {
  dl_sqlca_fill(state, native, text.c_str(), ca);
  t_last_code = ca->sqlcode;
  memcpy(t_last_state, ca->sqlstate, 5);
  t_last_state[5] = 0;
  t_last_text = text;
}

std::string esql_full_text(const struct sqlca* ca) {
  if (!ca || ca->sqlcode != t_last_code || memcmp(ca->sqlstate, t_last_state, 5) != 0) return "";
  size_t n = ca->sqlerrml > 0 ? static_cast<size_t>(ca->sqlerrml) : 0;
  if (n > sizeof ca->sqlerrmc || t_last_text.compare(0, n, ca->sqlerrmc, n) != 0) return "";
  return t_last_text;
}

DlDiag esql_diag_of(const Handle& h) {
  DlDiag d;
  if (h.diags.empty()) {
    d.sqlstate = "58004";
    d.native = -901;
    d.text = dl_msg(-901, "The statement failed for a reason db2lite did not record.", "58004");
    return d;
  }
  d.sqlstate = h.diags.front().state;
  d.native = h.diags.front().native;
  d.text = h.diags.front().text;
  return d;
}

}  // namespace dl

using namespace dl;

extern "C" {

void dl_sqlca_clear(struct sqlca* ca) {
  if (ca) dl_sqlca_fill(nullptr, 0, nullptr, ca);
}


int sqlastrt(void* program_id, void* rtinfo, struct sqlca* ca) {
  if (!ca) return -1;
  try {
    return start_statement(program_id, ca);
  } catch (const std::bad_alloc&) {
    report(ca, "57011", -930, "There is not enough storage available to process the statement.");
    return -1;
  }
}

int sqlaaloc(unsigned short list, unsigned short count, unsigned short stmt, void* reserved) {
  EsqlContext* x = statement_context();
  if (!x) return -1;
  if (list < 1 || list > 3 || count > kMaxHostVars) {
    report(x->ca, "58004", -901, "The host-variable list " + std::to_string(list) + " of " +
                                     std::to_string(count) + " variables is not valid.");
    x->failed = true;
    return -1;
  }
  x->lists[list].assign(count, DL_HOSTVAR{});
  return 0;
}

int sqlasetda(unsigned short list, unsigned short start, unsigned short count, DL_HOSTVAR* vars,
              void* reserved1, void* reserved2) {
  EsqlContext* x = statement_context();
  if (!x) return -1;
  if (list < 1 || list > 3 || (!vars && count) ||
      static_cast<size_t>(start) + count > x->lists[list].size()) {
    report(x->ca, "58004", -901, "The host variables do not fit list " + std::to_string(list) + ".");
    x->failed = true;
    return -1;
  }
  for (unsigned short i = 0; i < count; ++i) x->lists[list][start + i] = vars[i];
  return 0;
}

int sqlastls(unsigned short reserved, const char* text, void* reserved2) {
  EsqlContext* x = statement_context();
  if (!x) return -1;
  size_t n = text ? strnlen(text, kMaxStatementLen + 1) : 0;
  if (n > kMaxStatementLen) {
    report(x->ca, "54001", -101, "The statement is too long or too complex.");
    x->failed = true;
    return -1;
  }
  x->text.assign(text ? text : "", n);
  return 0;
}

int sqlacall(unsigned short call_type, unsigned short section, unsigned short input_list,
             unsigned short output_list, void* reserved) {
  try {
    return call(call_type, section, input_list, output_list);
  } catch (const std::bad_alloc&) {
    EsqlContext* x = t_ctx;
    if (x && x->ca) report(x->ca, "57011", -930, "There is not enough storage available to process the statement.");
    return -1;
  }
}

int sqlastop(void* reserved) {
  EsqlContext* x = t_ctx;
  if (!x) return -1;
  x->pkg = nullptr;
  x->ca = nullptr;
  x->failed = false;
  for (auto& l : x->lists) l.clear();
  x->text.clear();
  return 0;
}

}  // extern "C"
