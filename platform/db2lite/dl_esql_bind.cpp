// dl_esql_bind.cpp -- the calls that work on the current connection rather
// than inside a procedure: the package binder sqlabndx (with its bind-file
// reader), the message formatter sqlaintp_api and the statistics call
// sqlustat_api; and the bookkeeping of the current connection.
//
// The bind file is read whole and checked before anything is written, so a
// malformed file leaves the catalogue untouched (its format is in
// sql_esql.h). The binder's rights are checked against the catalogue; the
// package's rows are written on the connection's writing SQLite connection,
// inside its unit of work, and committed with it.
#include "dl_esql.h"

#include "dl_internal.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <mutex>

namespace dl {

namespace {

std::mutex g_conn_mu;
std::vector<Dbc*> g_connected;  // in the order they connected

void report(struct sqlca* ca, const char* state, int32_t native, const std::string& body) {
  esql_report(ca, state, native, dl_msg(native, body, state));
}

// ---- the bind file ------------------------------------------------------------------

struct BindFile {
  std::string creator, name, token;
  std::map<int, std::string> sections;  // number -> text
  std::map<int, bool> dynamic;
};

bool name_ok(const std::string& s) {
  if (s.empty() || s.size() > 8) return false;
  for (char ch : s)
    if (!isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '@' && ch != '#' && ch != '$')
      return false;
  return true;
}

bool token_ok(const std::string& s) {
  if (s.size() != 8) return false;
  for (char ch : s)
    if (!isalnum(static_cast<unsigned char>(ch))) return false;
  return true;
}

// Splits off the next blank-separated word of line at *pos.
std::string word(const std::string& line, size_t* pos) {
  size_t b = line.find_first_not_of(' ', *pos);
  if (b == std::string::npos) {
    *pos = line.size();
    return "";
  }
  size_t e = line.find(' ', b);
  if (e == std::string::npos) e = line.size();
  *pos = e;
  return line.substr(b, e - b);
}

// Reads path into *bf. 0; -31 when it cannot be read; -1 with *why when it
// is malformed.
int read_bind_file(const char* path, BindFile* bf, std::string* why) {
  FILE* f = fopen(path, "rbe");
  if (!f) return -31;
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    if (data.size() + n > kMaxBindFile) {
      fclose(f);
      *why = "the file is larger than " + std::to_string(kMaxBindFile) + " bytes";
      return -1;
    }
    data.append(buf, n);
  }
  bool err = ferror(f) != 0;
  fclose(f);
  if (err) return -31;
  if (data.find('\0') != std::string::npos) {
    *why = "the file holds a NUL byte";
    return -1;
  }
  size_t pos = 0;
  int lineno = 0;
  enum { Header, Package, Sections, Done } state = Header;
  while (pos < data.size()) {
    size_t e = data.find('\n', pos);
    if (e == std::string::npos) e = data.size();
    std::string line = data.substr(pos, e - pos);
    pos = e + 1;
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string at = "line " + std::to_string(lineno) + ": ";
    if (line.size() > kMaxBindLine) {
      *why = at + "longer than " + std::to_string(kMaxBindLine) + " bytes";
      return -1;
    }
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    if (state == Done) {
      *why = at + "text after END";
      return -1;
    }
    size_t p = 0;
    std::string kw = word(line, &p);
    if (state == Header) {
      if (kw != "DB2LITE-BIND" || word(line, &p) != "1" || !word(line, &p).empty()) {
        *why = at + "not a bind file of format 1";
        return -1;
      }
      state = Package;
    } else if (state == Package) {
      bf->creator = dl_upper(word(line, &p));
      bf->name = dl_upper(word(line, &p));
      bf->token = word(line, &p);
      if (kw != "PACKAGE" || !name_ok(bf->creator) || !name_ok(bf->name) || !token_ok(bf->token) ||
          !word(line, &p).empty()) {
        *why = at + "expected PACKAGE <creator> <name> <8-character token>";
        return -1;
      }
      state = Sections;
    } else if (kw == "END") {
      if (!word(line, &p).empty()) {
        *why = at + "text after END";
        return -1;
      }
      state = Done;
    } else if (kw == "SECTION") {
      std::string num = word(line, &p);
      std::string kind = word(line, &p);
      char* end = nullptr;
      long sec = num.empty() || num.size() > 5 ? 0 : strtol(num.c_str(), &end, 10);
      if (sec < 1 || sec > kMaxSections || (end && *end)) {
        *why = at + "section number \"" + num.substr(0, 16) + "\" is not 1 to " +
               std::to_string(kMaxSections);
        return -1;
      }
      if (bf->dynamic.count(static_cast<int>(sec))) {
        *why = at + "section " + num + " appears twice";
        return -1;
      }
      if (kind == "DYNAMIC" && word(line, &p).empty()) {
        bf->dynamic[static_cast<int>(sec)] = true;
        bf->sections[static_cast<int>(sec)] = "";
      } else if (kind == "STATIC") {
        size_t b = line.find_first_not_of(' ', p);
        if (b == std::string::npos) {
          *why = at + "static section " + num + " has no statement";
          return -1;
        }
        bf->dynamic[static_cast<int>(sec)] = false;
        bf->sections[static_cast<int>(sec)] = line.substr(b);
      } else {
        *why = at + "expected STATIC <text> or DYNAMIC";
        return -1;
      }
    } else {
      *why = at + "unknown record \"" + kw.substr(0, 32) + "\"";
      return -1;
    }
  }
  if (state != Done) {
    *why = "the file ends before END";
    return -1;
  }
  return 0;
}

// The grantee of the GRANT option, "" when there is none; false for
// options that cannot be read.
bool grant_option(const struct sqlopt* o, std::string* grantee) {
  grantee->clear();
  if (!o) return true;
  if (o->header.used > o->header.allocated || o->header.used > 64) return false;
  for (uint32_t i = 0; i < o->header.used; ++i) {
    if (o->option[i].type != SQL_GRANT_OPT) continue;
    const struct sqlchar* v = reinterpret_cast<const struct sqlchar*>(o->option[i].val);
    if (!v || v->length < 1 || v->length > 128) return false;
    std::string g(v->data, static_cast<size_t>(v->length));
    for (char ch : g)
      if (!isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '@' && ch != '#' && ch != '$')
        return false;
    *grantee = dl_upper(g);
  }
  return true;
}

int bind(const char* bind_file, const struct sqlopt* options, struct sqlca* ca) {
  Dbc* c = esql_current_connection();
  if (!c) {
    report(ca, "08003", -1024, "A database connection does not exist.");
    return ca->sqlcode;
  }
  std::string grantee;
  if (!grant_option(options, &grantee)) {
    report(ca, "42615", -2, "The bind options are not valid.");
    return ca->sqlcode;
  }
  BindFile bf;
  std::string why;
  int r = bind_file ? read_bind_file(bind_file, &bf, &why) : -31;
  if (r == -31) {
    report(ca, "58031", -31,
           "File \"" + std::string(bind_file ? bind_file : "").substr(0, 256) + "\" could not be opened.");
    return ca->sqlcode;
  }
  if (r != 0) {
    report(ca, "42601", -1, "Binding did not complete: the bind file is not valid (" + why + ").");
    return ca->sqlcode;
  }
  sqlite3* db = c->wdb;
  const std::string& user = c->session.user;
  std::string pkg = bf.creator + "." + bf.name;
  // Rights of the binder.
  std::vector<std::vector<std::string>> rows;
  dl_query(db, "SELECT BOUNDBY, UNIQUE_ID FROM DL_PACKAGES WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2",
           {bf.creator, bf.name}, &rows);
  bool exists = !rows.empty();
  bool dba = dl_has_authority(db, user, "DBADM");
  if (exists && rows[0][0] != user && !dba) {
    std::vector<std::vector<std::string>> auth;
    dl_query(db,
             "SELECT 1 FROM DL_PACKAGEAUTH WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2 AND GRANTEE = ?3"
             " AND GRANTEETYPE = 'U' AND (BINDAUTH = 'Y' OR CONTROLAUTH = 'Y')",
             {bf.creator, bf.name, user}, &auth);
    if (auth.empty()) {
      report(ca, "42501", -551,
             "\"" + user + "\" does not have the privilege to perform operation \"BIND\" on object \"" +
                 pkg + "\".");
      return ca->sqlcode;
    }
  }
  if (!exists && !dl_has_authority(db, user, "BINDADD")) {
    report(ca, "42502", -552, "\"" + user + "\" does not have the privilege to perform operation \"BIND\".");
    return ca->sqlcode;
  }
  bool same = exists && rows[0][1] == bf.token;
  std::string gtype = grantee == "PUBLIC" ? "G" : "U";
  if (same) {
    bool granted = true;
    if (!grantee.empty()) {
      rows.clear();
      dl_query(db,
               "SELECT 1 FROM DL_PACKAGEAUTH WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2 AND GRANTEE = ?3"
               " AND GRANTEETYPE = ?4 AND EXECUTEAUTH = 'Y'",
               {bf.creator, bf.name, grantee, gtype}, &rows);
      granted = !rows.empty();
    }
    if (granted) {
      dl_sqlca_clear(ca);
      return 0;
    }
  }
  // The static sections must be statements db2lite can read; objects they
  // name need not exist yet (they are checked when the section runs).
  if (!same) {
    DlSession sess = c->session;  // the sections run as the binder, the package's owner
    sess.user = user;
    sess.schema = user;
    EsqlPrivilegeScope scope(dl_state(c->session));
    for (const auto& s : bf.sections) {
      if (bf.dynamic[s.first]) continue;
      DlPlan plan;
      DlDiag d;
      if (dl_translate(db, sess, s.second.data(), s.second.size(), &plan, &d) != 0 &&
          (d.sqlstate.empty() || d.sqlstate == "42601")) {
        report(ca, "42601", -104,
               "Static section " + std::to_string(s.first) + " of package \"" + pkg +
                   "\" is not a valid statement: " + d.text.substr(0, 200));
        return ca->sqlcode;
      }
    }
  }
  Handle h;
  if (conn_begin_write(c, &h) != SQL_SUCCESS) {
    DlDiag d = esql_diag_of(h);
    esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
    return ca->sqlcode;
  }
  int rc = SQLITE_OK;
  auto run = [&](const std::string& sql, const std::vector<std::string>& params) {
    if (rc != SQLITE_OK) return;
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    for (size_t i = 0; rc == SQLITE_OK && i < params.size(); ++i)
      rc = sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].data(),
                             static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(st);
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
  };
  std::string now = dl_now_timestamp();
  if (!same) {
    run("DELETE FROM DL_PACKAGE_SECTIONS WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2", {bf.creator, bf.name});
    run("DELETE FROM DL_PACKAGES WHERE PKGSCHEMA = ?1 AND PKGNAME = ?2", {bf.creator, bf.name});
    run("INSERT INTO DL_PACKAGES (PKGSCHEMA, PKGNAME, BOUNDBY, DEFINER, QUALIFIER, UNIQUE_ID,"
        " CREATE_TIME) VALUES (?1, ?2, ?3, ?3, ?3, ?4, ?5)",
        {bf.creator, bf.name, user, bf.token, now});
    for (const auto& s : bf.sections) {
      if (bf.dynamic[s.first])
        run("INSERT INTO DL_PACKAGE_SECTIONS (PKGSCHEMA, PKGNAME, SECTNO, TEXT) VALUES (?1, ?2, "
            "CAST(?3 AS INTEGER), NULL)",
            {bf.creator, bf.name, std::to_string(s.first)});
      else
        run("INSERT INTO DL_PACKAGE_SECTIONS (PKGSCHEMA, PKGNAME, SECTNO, TEXT) VALUES (?1, ?2, "
            "CAST(?3 AS INTEGER), ?4)",
            {bf.creator, bf.name, std::to_string(s.first), s.second});
    }
    run("INSERT OR REPLACE INTO DL_PACKAGEAUTH (GRANTOR, GRANTEE, GRANTEETYPE, PKGSCHEMA, PKGNAME,"
        " CONTROLAUTH, BINDAUTH, EXECUTEAUTH) VALUES ('SYSIBM', ?3, 'U', ?1, ?2, 'Y', 'Y', 'Y')",
        {bf.creator, bf.name, user});
  }
  if (!grantee.empty())
    run("INSERT INTO DL_PACKAGEAUTH (GRANTOR, GRANTEE, GRANTEETYPE, PKGSCHEMA, PKGNAME, EXECUTEAUTH)"
        " VALUES (?3, ?4, ?5, ?1, ?2, 'Y') ON CONFLICT (GRANTEE, GRANTEETYPE, PKGSCHEMA, PKGNAME)"
        " DO UPDATE SET EXECUTEAUTH = 'Y'",
        {bf.creator, bf.name, user, grantee, gtype});
  if (rc != SQLITE_OK) {
    Handle e;
    db_failure(&e, db, rc, nullptr);
    DlDiag d = esql_diag_of(e);
    conn_end(c, nullptr, false);
    esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
    return ca->sqlcode;
  }
  Handle ch;
  if (conn_end(c, &ch, true) != SQL_SUCCESS) {
    DlDiag d = esql_diag_of(ch);
    esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
    return ca->sqlcode;
  }
  dl_sqlca_clear(ca);
  return 0;
}

// Splits "schema.name" (parts folded unless double-quoted). False when the
// text is not such a name.
bool split_table(const char* text, const std::string& user, std::string* schema, std::string* name) {
  if (!text) return false;
  size_t n = strnlen(text, 300);
  if (n == 0 || n >= 300) return false;
  std::vector<std::string> parts(1);
  bool quoted = false, was_quoted = false;
  std::vector<bool> q(1, false);
  for (size_t i = 0; i < n; ++i) {
    char ch = text[i];
    if (ch == '"') {
      if (quoted && i + 1 < n && text[i + 1] == '"') {
        parts.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
        was_quoted = true;
        q.back() = true;
      }
    } else if (ch == '.' && !quoted) {
      parts.emplace_back();
      q.push_back(false);
    } else {
      parts.back() += quoted ? ch : static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    }
  }
  (void)was_quoted;
  if (quoted || parts.size() > 2) return false;
  for (auto& p : parts)
    if (p.empty() || p.size() > kMaxIdentifierLen) return false;
  if (parts.size() == 1) {
    *schema = user;
    *name = parts[0];
  } else {
    *schema = parts[0];
    *name = parts[1];
  }
  return true;
}

int runstats(const char* table, unsigned char opt, unsigned char share, struct sqlca* ca) {
  Dbc* c = esql_current_connection();
  if (!c) {
    report(ca, "08003", -1024, "A database connection does not exist.");
    return ca->sqlcode;
  }
  if (!strchr("TIADEXtiadex", opt) || opt == 0 || !strchr("CRcr", share) || share == 0) {
    report(ca, "42615", -2, "The statistics or share-level option is not valid.");
    return ca->sqlcode;
  }
  std::string schema, name;
  const std::string& user = c->session.user;
  if (!split_table(table, user, &schema, &name)) {
    report(ca, "42704", -2306, "The table or index \"" + std::string(table ? table : "").substr(0, 300) +
                                   "\" does not exist.");
    return ca->sqlcode;
  }
  std::string full = schema + "." + name;
  std::vector<std::vector<std::string>> rows;
  dl_query(c->wdb, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'T'",
           {schema, name}, &rows);
  if (rows.empty()) {
    report(ca, "42704", -2306, "The table or index \"" + full + "\" does not exist.");
    return ca->sqlcode;
  }
  if (!dl_table_priv(c->wdb, user, schema, name).control && !dl_has_authority(c->wdb, user, "DBADM")) {
    report(ca, "42501", -551,
           "\"" + user + "\" does not have the privilege to perform operation \"RUNSTATS\" on object \"" +
               full + "\".");
    return ca->sqlcode;
  }
  Handle h;
  if (conn_begin_write(c, &h) != SQL_SUCCESS) {
    DlDiag d = esql_diag_of(h);
    esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
    return ca->sqlcode;
  }
  int rc = dl_exec(c->wdb, "ANALYZE " + dl_qid(full));
  if (rc != SQLITE_OK) {
    Handle e;
    db_failure(&e, c->wdb, rc, nullptr);
    DlDiag d = esql_diag_of(e);
    conn_after_failure(c, rc);
    esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
    return ca->sqlcode;
  }
  if (c->autocommit) {
    Handle ch;
    if (conn_end(c, &ch, true) != SQL_SUCCESS) {
      DlDiag d = esql_diag_of(ch);
      esql_report(ca, d.sqlstate.c_str(), d.native, d.text);
      return ca->sqlcode;
    }
  }
  dl_sqlca_clear(ca);
  return 0;
}

// Wraps text at width columns on blanks (0: no wrapping).
std::string wrap(const std::string& text, int width) {
  if (width <= 0) return text;
  std::string out;
  size_t col = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t e = text.find(' ', i);
    if (e == std::string::npos) e = text.size();
    std::string w = text.substr(i, e - i);
    i = e;
    while (i < text.size() && text[i] == ' ') ++i;
    if (w.empty()) continue;
    if (col > 0 && col + 1 + w.size() > static_cast<size_t>(width)) {
      out += '\n';
      col = 0;
    } else if (col > 0) {
      out += ' ';
      ++col;
    }
    out += w;
    col += w.size();
  }
  return out;
}

}  // namespace

Dbc* esql_current_connection() {
  std::lock_guard<std::mutex> g(g_conn_mu);
  return g_connected.empty() ? nullptr : g_connected.back();
}

void esql_note_connect(Dbc* c) {
  std::lock_guard<std::mutex> g(g_conn_mu);
  g_connected.erase(std::remove(g_connected.begin(), g_connected.end(), c), g_connected.end());
  g_connected.push_back(c);
}

void esql_note_disconnect(Dbc* c) {
  std::lock_guard<std::mutex> g(g_conn_mu);
  g_connected.erase(std::remove(g_connected.begin(), g_connected.end(), c), g_connected.end());
}

}  // namespace dl

using namespace dl;

extern "C" {

int sqlabndx(const char* bind_file, const char* msg_file, struct sqlopt* options, struct sqlca* ca) {
  if (!ca) return -1;
  dl_sqlca_clear(ca);
  try {
    return bind(bind_file, options, ca);
  } catch (const std::bad_alloc&) {
    report(ca, "57011", -930, "There is not enough storage available to process the statement.");
    return ca->sqlcode;
  }
}

int sqlaintp_api(char* buf, short cap, short line_width, const char* msg_file, struct sqlca* ca) {
  if (!buf || cap <= 0 || !ca) return -5;
  if (line_width < 0) return -4;
  buf[0] = 0;
  if (ca->sqlcode == 0 && memcmp(ca->sqlstate, "00000", 5) == 0) return 0;
  try {
    std::string text = esql_full_text(ca);
    if (text.empty()) {
      size_t n = ca->sqlerrml > 0 ? static_cast<size_t>(ca->sqlerrml) : 0;
      if (n > sizeof ca->sqlerrmc) n = sizeof ca->sqlerrmc;
      std::string tokens(ca->sqlerrmc, n);
      if (tokens.find("SQL") != std::string::npos) {
        text = tokens;
      } else {
        char head[32];
        // In 64 bits: the area is the caller's, and its code may be any value.
        int64_t code = ca->sqlcode < 0 ? -(int64_t)ca->sqlcode : (int64_t)ca->sqlcode;
        snprintf(head, sizeof head, "SQL%04d%c  ", (int)(code % 100000), ca->sqlcode < 0 ? 'N' : 'W');
        text = head + tokens + "  SQLSTATE=" + std::string(ca->sqlstate, 5);
      }
    }
    text = wrap(text, line_width);
    size_t k = std::min(text.size(), static_cast<size_t>(cap) - 1);
    memcpy(buf, text.data(), k);
    buf[k] = 0;
    return static_cast<int>(k);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int sqlustat_api(const char* table, unsigned short index_count, char** indexes,
                 unsigned char stats_option, unsigned char share_level, struct sqlca* ca) {
  if (!ca) return -1;
  dl_sqlca_clear(ca);
  try {
    return runstats(table, stats_option, share_level, ca);
  } catch (const std::bad_alloc&) {
    report(ca, "57011", -930, "There is not enough storage available to process the statement.");
    return ca->sqlcode;
  }
}

}  // extern "C"
