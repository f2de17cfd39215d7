// dl_spatial_proc.cpp -- the registration procedures of db2lite's Spatial
// Extender (gse_register_layer, gse_unregist_layer, gse_enable_sref,
// gse_disable_sref), and the CLI call handler that runs them.
//
// Relies on the spatial catalogue of schema DB2GSE (created by
// dl_catalog_enable_spatial), on the engine's catalogue for tables and column
// types, and, for the handler only, on the CLI's handles (dl_cli_impl.h):
// the handler runs on the caller's writing connection and unit of work.
//
// Notes:
//  1. A procedure answers through its two OUTPUT parameters, the message
//     code and the message text; the CALL succeeds whatever the code. The
//     codes and their texts are in kMessages.
//  2. A procedure's changes stand or fall whole (a savepoint), inside the
//     caller's unit of work; it never commits.
//  3. Names and texts come from clients: each is bounded (128 bytes for a
//     name) before it is used, and reaches SQL only as a bound value.
//  4. The procedures run with the Spatial Extender's authority, not the
//     caller's: the session's privilege checks are off while one runs.
//  5. Spatial references still referenced (by a registered layer, or by any
//     table whose foreign key names the spatial reference) cannot be
//     disabled (-11); a registration still referenced by a foreign key
//     cannot be removed (-4).
#include "dl_spatial.h"

#include "dl_cli_impl.h"
#include "dl_internal.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <mutex>
#include <new>

namespace dl {

namespace {

// ---- message codes (note 1) ------------------------------------------------
enum Code {
  kOk = 0,
  kWarn = 1,                // success with a remark in the text
  kBadArgument = -1,
  kNoSref = -2,
  kNotRegistered = -3,
  kInUseLayer = -4,
  kRegistered = -6,
  kBadColumn = -8,
  kNoSrid = -7,
  kSridExists = -9,
  kNoScid = -10,
  kSridInUse = -11,
  kBadUnits = -12,
  kFailed = -99,
};

struct Message { int code; const char* text; };
const Message kMessages[] = {
    {kOk, "The operation was completed successfully."},
    {kWarn, "The operation was completed with a remark: "},
    {kBadArgument, "A required argument is missing or too long: "},
    {kNoSref, "The spatial reference does not exist: "},
    {kNotRegistered, "The column is not registered as a layer: "},
    {kInUseLayer, "The layer registration is still referenced: "},
    {kRegistered, "The column is already registered as a layer: "},
    {kBadColumn, "The column cannot be registered as a layer: "},
    {kNoSrid, "The spatial reference does not exist: "},
    {kSridExists, "The spatial reference already exists: "},
    {kNoScid, "The coordinate system does not exist: "},
    {kSridInUse, "The spatial reference is in use: "},
    {kBadUnits, "The units of the spatial reference are not valid: "},
    {kFailed, "The operation failed in the database: "},
};

constexpr size_t kMaxName = 128;     // DB2's longest identifier
constexpr size_t kMaxMessage = 1024; // the OUTPUT message text is VARCHAR(1024)

struct Answer {
  int code = kOk;
  std::string text;
};

Answer answer(int code, const std::string& detail = std::string()) {
  Answer a;
  a.code = code;
  for (const Message& m : kMessages)
    if (m.code == code) a.text = m.text;
  a.text += detail;
  if (a.text.size() > kMaxMessage) a.text.resize(kMaxMessage);
  return a;
}

// One argument value of the CALL.
struct Val {
  int type = SQLITE_NULL;
  int64_t i = 0;
  double d = 0;
  std::string s;
  int marker = -1;  // index into args when the argument is a parameter marker
};

bool is_null(const Val& v) { return v.type == SQLITE_NULL; }

// A name argument (note 3): trailing blanks dropped; false when NULL, empty
// or too long.
bool name_of(const Val& v, std::string* out) {
  if (v.type != SQLITE_TEXT && v.type != SQLITE_BLOB) return false;
  std::string s = v.s;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (s.empty() || s.size() > kMaxName || s.find('\0') != std::string::npos) return false;
  *out = s;
  return true;
}

bool int_of(const Val& v, int32_t* out) {
  if (v.type == SQLITE_INTEGER && v.i >= INT32_MIN && v.i <= INT32_MAX) {
    *out = (int32_t)v.i;
    return true;
  }
  if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
    char* end = nullptr;
    long long x = strtoll(v.s.c_str(), &end, 10);
    if (end != v.s.c_str() && *end == '\0' && x >= INT32_MIN && x <= INT32_MAX) {
      *out = (int32_t)x;
      return true;
    }
  }
  if (v.type == SQLITE_FLOAT && v.d >= INT32_MIN && v.d <= INT32_MAX && v.d == (double)(int32_t)v.d) {
    *out = (int32_t)v.d;
    return true;
  }
  return false;
}

bool double_of(const Val& v, double* out) {
  if (v.type == SQLITE_FLOAT) { *out = v.d; return true; }
  if (v.type == SQLITE_INTEGER) { *out = (double)v.i; return true; }
  if (v.type == SQLITE_TEXT) {
    char* end = nullptr;
    double x = strtod(v.s.c_str(), &end);
    if (end != v.s.c_str() && *end == '\0') { *out = x; return true; }
  }
  return false;
}

// ---- small statements with bound values --------------------------------------
struct Bind {
  int type;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_NULL
  int64_t i;
  double d;
  std::string s;
};
Bind bi(int64_t v) { return Bind{SQLITE_INTEGER, v, 0, std::string()}; }
Bind bd(double v) { return Bind{SQLITE_FLOAT, 0, v, std::string()}; }
Bind bs(const std::string& v) { return Bind{SQLITE_TEXT, 0, 0, v}; }
Bind bnull() { return Bind{SQLITE_NULL, 0, 0, std::string()}; }

// Runs sql with binds; *rows (when given) receives the number of rows the
// query yields. Returns the extended SQLite code (SQLITE_OK when it ran).
int run(sqlite3* db, const std::string& sql, const std::vector<Bind>& binds, int* rows = nullptr,
        int64_t* first = nullptr) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) return sqlite3_extended_errcode(db);
  for (size_t k = 0; k < binds.size(); ++k) {
    const Bind& b = binds[k];
    int i = (int)k + 1;
    if (b.type == SQLITE_INTEGER) sqlite3_bind_int64(st, i, b.i);
    else if (b.type == SQLITE_FLOAT) sqlite3_bind_double(st, i, b.d);
    else if (b.type == SQLITE_TEXT) sqlite3_bind_text(st, i, b.s.data(), (int)b.s.size(), SQLITE_TRANSIENT);
    else sqlite3_bind_null(st, i);
  }
  int n = 0;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (n == 0 && first) *first = sqlite3_column_int64(st, 0);
    ++n;
  }
  if (rows) *rows = n;
  rc = rc == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(db);
  sqlite3_finalize(st);
  return rc;
}

bool exists(sqlite3* db, const std::string& sql, const std::vector<Bind>& binds, int* rc) {
  int n = 0;
  *rc = run(db, sql, binds, &n);
  return *rc == SQLITE_OK && n > 0;
}

std::string db_error(sqlite3* db) { return sqlite3_errmsg(db); }

// ---- the procedures -----------------------------------------------------------

// gse_register_layer: 1 schema, 2 table, 3 column, 4 type name, 5 srid,
// 6-8 the schema, table and column whose type counts (a view layer's base),
// 9 a small integer, 10-19 not used here.
Answer register_layer(sqlite3* db, const std::vector<Val>& a) {
  std::string schema, table, column, type_name;
  int32_t srid = 0;
  if (!name_of(a[0], &schema) || !name_of(a[1], &table) || !name_of(a[2], &column) ||
      !name_of(a[3], &type_name) || !int_of(a[4], &srid))
    return answer(kBadArgument, "schema, table, column, type name and srid are required");
  std::string bschema = schema, btable = table, bcolumn = column;
  if (!is_null(a[5]) || !is_null(a[6]) || !is_null(a[7])) {
    if (!name_of(a[5], &bschema) || !name_of(a[6], &btable) || !name_of(a[7], &bcolumn))
      return answer(kBadArgument, "the base schema, table and column are given only in part");
  }
  int type = dl_spatial_type_code(type_name);
  if (type < 0) return answer(kBadColumn, "\"" + type_name + "\" is not a spatial type");
  int rc;
  if (exists(db, "SELECT 1 FROM \"DB2GSE.GSE_LAYER\" WHERE LAYER_SCHEMA = ?1 AND LAYER_TABLE = ?2 AND LAYER_COLUMN = ?3",
             {bs(schema), bs(table), bs(column)}, &rc))
    return answer(kRegistered, schema + "." + table + "." + column);
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  if (!exists(db, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND IN ('T', 'V')",
              {bs(schema), bs(table)}, &rc))
    return answer(rc == SQLITE_OK ? kBadColumn : kFailed, "table " + schema + "." + table + " does not exist");
  sqlite3_stmt* st = nullptr;
  std::string col_schema, col_type;
  if (sqlite3_prepare_v2(db, "SELECT TYPESCHEMA, TYPENAME FROM DL_COLUMNS WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND COLNAME = ?3",
                         -1, &st, nullptr) != SQLITE_OK)
    return answer(kFailed, db_error(db));
  sqlite3_bind_text(st, 1, bschema.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, btable.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, bcolumn.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  if (found) {
    const unsigned char* s0 = sqlite3_column_text(st, 0);
    const unsigned char* s1 = sqlite3_column_text(st, 1);
    col_schema = s0 ? (const char*)s0 : "";
    col_type = s1 ? (const char*)s1 : "";
  }
  sqlite3_finalize(st);
  const std::string where = bschema + "." + btable + "." + bcolumn;
  if (!found) return answer(kBadColumn, "column " + where + " does not exist");
  int col_code = dl_upper(col_schema) == "DB2GSE" ? dl_spatial_type_code(col_type) : -1;
  if (col_code < 0) return answer(kBadColumn, "column " + where + " is not of a spatial type");
  // The registered type may be the column's own or one of its supertypes;
  // a narrower registration than the column's type is accepted with a remark.
  bool narrower = false;
  if (!dl_spatial_type_holds(type, col_code)) {
    if (!dl_spatial_type_holds(col_code, type))
      return answer(kBadColumn, "column " + where + " of type " + col_type + " cannot hold " + type_name);
    narrower = true;
  }
  if (!exists(db, "SELECT 1 FROM \"DB2GSE.GSE_SPATIAL_REF\" WHERE SRID = ?1", {bi(srid)}, &rc))
    return answer(rc == SQLITE_OK ? kNoSref : kFailed, "srid " + std::to_string(srid));
  rc = run(db,
           "INSERT INTO \"DB2GSE.GSE_LAYER\" (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, TYPE_NAME, SRID,"
           " BASE_LAYER_SCHEMA, BASE_LAYER_TABLE, BASE_LAYER_COLUMN, CREATE_TIME)"
           " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
           {bs(schema), bs(table), bs(column), bs(dl_spatial_type_name(type)), bi(srid), bs(bschema),
            bs(btable), bs(bcolumn), bs(dl_now_timestamp())});
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  if (narrower)
    return answer(kWarn, "column " + where + " of type " + col_type + " is registered as " +
                             dl_spatial_type_name(type));
  return answer(kOk);
}

// gse_unregist_layer: schema, table, column.
Answer unregister_layer(sqlite3* db, const std::vector<Val>& a) {
  std::string schema, table, column;
  if (!name_of(a[0], &schema) || !name_of(a[1], &table) || !name_of(a[2], &column))
    return answer(kBadArgument, "schema, table and column are required");
  int rc;
  const std::vector<Bind> key = {bs(schema), bs(table), bs(column)};
  if (!exists(db, "SELECT 1 FROM \"DB2GSE.GSE_LAYER\" WHERE LAYER_SCHEMA = ?1 AND LAYER_TABLE = ?2 AND LAYER_COLUMN = ?3",
              key, &rc))
    return answer(rc == SQLITE_OK ? kNotRegistered : kFailed, schema + "." + table + "." + column);
  rc = run(db, "DELETE FROM \"DB2GSE.GSE_LAYER\" WHERE LAYER_SCHEMA = ?1 AND LAYER_TABLE = ?2 AND LAYER_COLUMN = ?3",
           key);
  if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) return answer(kInUseLayer, schema + "." + table + "." + column);
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  return answer(kOk);
}

// gse_enable_sref: 1 srid, 2 name, 3-9 false x, false y, x/y units, false z,
// z units, false m, m units, 10 scid.
Answer enable_sref(sqlite3* db, const std::vector<Val>& a) {
  int32_t srid = 0, scid = 0;
  double n[7];
  if (!int_of(a[0], &srid) || !int_of(a[9], &scid))
    return answer(kBadArgument, "srid and scid are required");
  for (int i = 0; i < 7; ++i)
    if (!double_of(a[2 + i], &n[i]) || !std::isfinite(n[i]))
      return answer(kBadArgument, "the false origins and units are required as finite numbers");
  std::string name;
  if (!is_null(a[1]) && !name_of(a[1], &name)) return answer(kBadArgument, "the name is too long");
  if (!(n[2] > 0) || n[4] < 0 || n[6] < 0)
    return answer(kBadUnits, "x/y units must be above 0, z and m units not below 0");
  int rc;
  if (exists(db, "SELECT 1 FROM \"DB2GSE.GSE_SPATIAL_REF\" WHERE SRID = ?1", {bi(srid)}, &rc))
    return answer(kSridExists, "srid " + std::to_string(srid));
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  if (!exists(db, "SELECT 1 FROM \"DB2GSE.GSE_COORD_REF\" WHERE SCID = ?1", {bi(scid)}, &rc))
    return answer(rc == SQLITE_OK ? kNoScid : kFailed, "scid " + std::to_string(scid));
  int64_t twin = 0;
  int rows = 0;
  rc = run(db,
           "SELECT SRID FROM \"DB2GSE.GSE_SPATIAL_REF\" WHERE SCID = ?1 AND FALSEX = ?2 AND FALSEY = ?3"
           " AND XYUNITS = ?4 AND FALSEZ = ?5 AND ZUNITS = ?6 AND FALSEM = ?7 AND MUNITS = ?8 ORDER BY SRID",
           {bi(scid), bd(n[0]), bd(n[1]), bd(n[2]), bd(n[3]), bd(n[4]), bd(n[5]), bd(n[6])}, &rows, &twin);
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  rc = run(db,
           "INSERT INTO \"DB2GSE.GSE_SPATIAL_REF\" (SRID, SREF_NAME, SCID, FALSEX, FALSEY, XYUNITS,"
           " FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
           {bi(srid), name.empty() ? bnull() : bs(name), bi(scid), bd(n[0]), bd(n[1]), bd(n[2]), bd(n[3]),
            bd(n[4]), bd(n[5]), bd(n[6])});
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  if (rows > 0)
    return answer(kWarn, "srid " + std::to_string(srid) + " is identical to srid " + std::to_string(twin));
  return answer(kOk);
}

// gse_disable_sref: srid.
Answer disable_sref(sqlite3* db, const std::vector<Val>& a) {
  int32_t srid = 0;
  if (!int_of(a[0], &srid)) return answer(kBadArgument, "srid is required");
  int rc;
  if (!exists(db, "SELECT 1 FROM \"DB2GSE.GSE_SPATIAL_REF\" WHERE SRID = ?1", {bi(srid)}, &rc))
    return answer(rc == SQLITE_OK ? kNoSrid : kFailed, "srid " + std::to_string(srid));
  if (exists(db, "SELECT 1 FROM \"DB2GSE.GSE_LAYER\" WHERE SRID = ?1", {bi(srid)}, &rc))
    return answer(kSridInUse, "srid " + std::to_string(srid) + " is used by a registered layer");
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  rc = run(db, "DELETE FROM \"DB2GSE.GSE_SPATIAL_REF\" WHERE SRID = ?1", {bi(srid)});
  if (rc == SQLITE_CONSTRAINT_FOREIGNKEY)
    return answer(kSridInUse, "srid " + std::to_string(srid) + " is referenced");
  if (rc != SQLITE_OK) return answer(kFailed, db_error(db));
  return answer(kOk);
}

struct Proc {
  const char* name;   // as the CALL names it, lower case
  size_t nargs;       // all arguments, the two OUTPUT ones included
  Answer (*fn)(sqlite3*, const std::vector<Val>&);
};
const Proc kProcs[] = {
    {"db2gse!gse_register_layer", 21, register_layer},
    {"db2gse!gse_unregist_layer", 5, unregister_layer},
    {"db2gse!gse_enable_sref", 12, enable_sref},
    {"db2gse!gse_disable_sref", 3, disable_sref},
};

std::string lower(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = (char)tolower((unsigned char)c);
  return r;
}

const Proc* find_proc(const std::string& call_name) {
  std::string n = lower(call_name);
  for (const Proc& p : kProcs)
    if (n == p.name) return &p;
  return nullptr;
}

// Turns the session's privilege checks off for as long as it lives.
class ChecksOff {
 public:
  explicit ChecksOff(DlSessionState* st) : st_(st) {
    std::lock_guard<std::mutex> g(st_->mu);
    was_ = st_->enforce;
    st_->enforce = false;
  }
  ~ChecksOff() {
    std::lock_guard<std::mutex> g(st_->mu);
    st_->enforce = was_;
  }
  ChecksOff(const ChecksOff&) = delete;
  ChecksOff& operator=(const ChecksOff&) = delete;

 private:
  DlSessionState* st_;
  bool was_ = true;
};

int no_routine(const std::string& name, DlDiag* diag) {
  dl_set_diag(diag, "42884", -440,
              dl_msg(-440, "No authorized routine named \"" + name.substr(0, 128) +
                               "\" of type \"PROCEDURE\" having compatible arguments was found.",
                     "42884"));
  return -1;
}

// The value of one argument text of the CALL ("?" takes the next marker).
bool argument(const std::string& text, std::vector<DlCallArg>& args, size_t* next, Val* out) {
  if (text == "?") {
    if (*next >= args.size()) return false;
    const DlCallArg& a = args[*next];
    out->marker = (int)(*next)++;
    out->type = a.type;
    out->i = a.i;
    out->d = a.d;
    out->s = a.s;
    return true;
  }
  DlCallArg lit;
  if (!dl_call_literal(text, &lit)) return false;
  out->type = lit.type;
  out->i = lit.i;
  out->d = lit.d;
  out->s = std::move(lit.s);
  return true;
}

}  // namespace

bool dl_spatial_is_procedure(const std::string& call_name) { return find_proc(call_name) != nullptr; }

int dl_spatial_call(sqlite3* db, const std::string& call_name, const std::vector<std::string>& call_args,
                    std::vector<DlCallArg>& args, DlDiag* diag) {
  const Proc* p = find_proc(call_name);
  if (p == nullptr || call_args.size() != p->nargs) return no_routine(call_name, diag);
  std::vector<Val> vals(call_args.size());
  size_t next = 0;
  for (size_t k = 0; k < call_args.size(); ++k)
    if (!argument(call_args[k], args, &next, &vals[k])) return no_routine(call_name, diag);
  // Without the spatial catalogue there is no Spatial Extender to call.
  int rc;
  if (!exists(db, "SELECT 1 FROM sqlite_master WHERE name = 'DB2GSE.GSE_LAYER'", {}, &rc))
    return no_routine(call_name, diag);
  if (dl_exec(db, "SAVEPOINT DL_GSE_PROC") != SQLITE_OK) {
    dl_set_diag(diag, "58004", -902, dl_msg(-902, "A system error occurred: " + db_error(db) + ".", "58004"));
    return -1;
  }
  Answer ans = p->fn(db, vals);
  if (ans.code == kOk || ans.code == kWarn) {
    dl_exec(db, "RELEASE DL_GSE_PROC");
  } else {
    dl_exec(db, "ROLLBACK TO DL_GSE_PROC");
    dl_exec(db, "RELEASE DL_GSE_PROC");
  }
  const Val& code = vals[p->nargs - 2];
  const Val& text = vals[p->nargs - 1];
  if (code.marker >= 0) {
    DlCallArg& a = args[(size_t)code.marker];
    a.type = SQLITE_INTEGER;
    a.i = ans.code;
  }
  if (text.marker >= 0) {
    DlCallArg& a = args[(size_t)text.marker];
    a.type = SQLITE_TEXT;
    a.s = ans.text;
  }
  if (diag) dl_set_diag(diag, "00000", 0, "");
  return 0;
}

int dl_spatial_call_handler(SQLHDBC hdbc, const DlPlan& plan, std::vector<DlCallArg>& args,
                            DlDiag* diag) {
  if (!dl_spatial_is_procedure(plan.call_name)) return no_routine(plan.call_name, diag);
  Dbc* c = as_dbc(hdbc);
  if (c == nullptr || !c->connected || c->wdb == nullptr) {
    dl_set_diag(diag, "08003", -900, dl_msg(-900, "The application is not connected to a database.", "08003"));
    return -1;
  }
  if (conn_begin_write(c, c) != SQL_SUCCESS) {
    if (!c->diags.empty()) {
      const Diag& d = c->diags.back();
      dl_set_diag(diag, d.state.c_str(), d.native, d.text);
    }
    return -1;
  }
  // The procedures run with the Spatial Extender's own authority: the
  // caller may register a layer without any privilege on the catalogue.
  ChecksOff off(dl_state(c->session));
  try {
    return dl_spatial_call(c->wdb, plan.call_name, plan.call_args, args, diag);
  } catch (const std::bad_alloc&) {
    dl_set_diag(diag, "57011", -930,
                dl_msg(-930, "There is not enough storage available to process the statement.", "57011"));
    return -1;
  }
}

}  // namespace dl
