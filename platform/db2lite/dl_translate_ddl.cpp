// dl_translate_ddl.cpp -- DB2 DDL on SQLite: CREATE TABLE / INDEX / VIEW /
// TRIGGER / PROCEDURE, DROP, ALTER TABLE, RENAME, GRANT and REVOKE. Each
// plan's main statement changes the SQLite schema; its post statements keep
// db2lite's catalogue in step, inside the same savepoint.
//
// Divisions: 1. authority checks; 2. data types and columns; 3. CREATE TABLE
// and storage clauses; 4. indexes, views, triggers; 5. procedures; 6. DROP,
// ALTER, RENAME; 7. GRANT and REVOKE.
//
// Notes:
//  1. A declared length is enforced by a CHECK named DL_LEN_<column>; its
//     failure is reported as 22001 (dl_map_error), and SYSCAT.CHECKS does
//     not show it.
//  2. An identity column is assigned by an AFTER INSERT trigger when the
//     row arrives without a value. The value comes from DL_IDENTITY_NEXT
//     (dl_identity.cpp), which takes it outside the unit of work, so a
//     rolled-back or failed statement never gives it back; DL_IDENTITY keeps
//     the declaration and, with the rows, the next value after the last one
//     used. An explicit value never moves the counter, so a later generated
//     value may collide with it (23505), as in DB2. A counter's ID is drawn
//     at random, never reused by a later table of the same name.
//  5. A CHAR(n) value is stored blank-filled to n bytes (DL_PAD), by AFTER
//     INSERT and UPDATE triggers, as DB2 stores it: a fetch, LENGTH and
//     concatenation see the blanks.
//  6. The names of the engine's own triggers carry a random tag, so that a
//     renamed table's triggers never block a new table of the old name.
//  3. Constraints that SQLite cannot add to an existing table are emulated:
//     ALTER TABLE ... ADD UNIQUE / PRIMARY KEY by a unique index, ADD CHECK
//     by triggers (after the existing rows have been checked).
//  4. "CREATE INDEX ... EXTEND USING" is recorded in the catalogue only.
#include "dl_translate.h"

#include <stdio.h>
#include <stdlib.h>

namespace dl {

namespace {

const std::set<std::string> kNoStops;

int64_t parse_len(const std::string& t) {
  if (t.empty()) return -1;
  int64_t mul = 1;
  std::string d = t;
  char last = d.back();
  if (last == 'K') mul = 1024;
  if (last == 'M') mul = 1024 * 1024;
  if (last == 'G') mul = 1024LL * 1024 * 1024;
  if (mul != 1) d.pop_back();
  for (char c : d)
    if (c < '0' || c > '9') return -1;
  if (d.empty() || d.size() > 10) return -1;
  int64_t v = strtoll(d.c_str(), nullptr, 10) * mul;
  return v;
}

std::string system_name(int* counter) {
  // DB2 names unnamed constraints and their indexes SQL<timestamp>.
  std::string ts = dl_now_timestamp();  // yyyy-mm-dd-hh.mm.ss.nnnnnn
  std::string digits;
  for (char c : ts)
    if (c >= '0' && c <= '9') digits += c;
  return "SQL" + digits.substr(2, 12) + std::to_string(100 + (*counter)++);
}

std::string ddl_plan_row(const std::string& table, const std::vector<std::string>& values) {
  std::string r = "INSERT INTO " + table + " VALUES (";
  for (size_t k = 0; k < values.size(); ++k) r += (k ? ", " : "") + values[k];
  return r + ")";
}

std::string lit_or_null(const std::string& s) { return s.empty() ? "NULL" : dl_lit(s); }

// A positive random 63-bit number (identity counter IDs, trigger name tags).
int64_t random_id() {
  uint64_t r = 0;
  sqlite3_randomness(sizeof r, &r);
  r &= 0x7fffffffffffffffULL;
  return r == 0 ? 1 : (int64_t)r;
}

std::string random_tag() {
  char buf[24];
  snprintf(buf, sizeof buf, "%016llx", (unsigned long long)random_id());
  return buf;
}

// The triggers that keep a CHAR(n) column blank-filled (note 5).
void char_pad_triggers(const std::string& table_sql, const std::string& table_full, const ColDef& c,
                       std::vector<std::string>* out) {
  if (c.typename_ != "CHARACTER" || c.length <= 1) return;
  std::string col = dl_qid(c.name), n = std::to_string(c.length);
  std::string when = " FOR EACH ROW WHEN length(CAST(NEW." + col + " AS BLOB)) < " + n + " BEGIN UPDATE " +
                     table_sql + " SET " + col + " = DL_PAD(" + col + ", " + n + ") WHERE rowid = NEW.rowid; END";
  std::string tag = random_tag();
  out->push_back("CREATE TRIGGER " + dl_qid(table_full + "#PAD#" + c.name + "#I#" + tag) + " AFTER INSERT ON " +
                 table_sql + when);
  out->push_back("CREATE TRIGGER " + dl_qid(table_full + "#PAD#" + c.name + "#U#" + tag) + " AFTER UPDATE OF " +
                 col + " ON " + table_sql + when);
}

}  // namespace

// ============================================================================
// 1. authority checks
// ============================================================================

static void require_create_in(Tx* tx, const QName& q, const char* what) {
  if (tx->dbadm()) return;
  if (q.schema != tx->s_.user && q.schema != tx->s_.schema)
    tx_raise("42501", -551, "\"" + tx->s_.user + "\" does not have the privilege to perform operation \"CREATEIN\" on object \"" + q.schema + "\".");
  if (what != nullptr && !tx->has_auth(what))
    tx_raise("42502", -552, "\"" + tx->s_.user + "\" does not have the privilege to perform operation \"" + std::string(what == std::string("CREATETAB") ? "CREATE TABLE" : what) + "\".");
}

static void require_table_priv(Tx* tx, const QName& q, const char* op, bool DlTablePriv::*flag) {
  if (tx->dbadm()) return;
  DlTablePriv p = dl_table_priv(tx->db_, tx->s_.user, q.schema, q.name);
  if (!p.exists) tx_raise("42S02", -204, "\"" + q.full() + "\" is an undefined name.");
  if (!(p.*flag))
    tx_raise("42501", -551, "\"" + tx->s_.user + "\" does not have the privilege to perform operation \"" + op + "\" on object \"" + q.full() + "\".");
}

// ============================================================================
// 2. data types and columns
// ============================================================================

void Tx::data_type(ColDef* c) {
  auto len_arg = [&](int64_t dflt, bool lob) -> int64_t {
    if (!acceptp("(")) return dflt;
    if (cur().type != TokType::Num) unexpected();
    int64_t v = parse_len(cur().text);
    if (v <= 0 || (!lob && cur().text.back() > '9')) unexpected();
    next();
    expectp(")");
    return v;
  };
  if (!is_ident()) unexpected();
  std::string w = cur().text;
  if (cur().type == TokType::Word && isp_at(1, ".")) {
    // A user-defined (Spatial Extender) type: SCHEMA.TYPE.
    // Only the Spatial Extender's types exist; any other name is DB2's
    // undefined type.
    c->typeschema = ident();
    next();
    c->typename_ = dl_upper(ident());
    if (c->typeschema != "DB2GSE" || dl_spatial_type_code(c->typename_) < 0)
      tx_raise("42704", -204, "\"" + c->typeschema.substr(0, 128) + "." + c->typename_.substr(0, 128) +
                                  "\" is an undefined name.");
    c->decl = "BLOB";
    c->codepage = 0;
    return;
  }
  next();
  if (w == "SMALLINT") { c->typename_ = "SMALLINT"; c->length = 2; c->decl = "SMALLINT"; }
  // "INT", not "INTEGER": SQLite would make an INTEGER PRIMARY KEY an alias
  // of the rowid, which assigns values DB2 would not.
  else if (w == "INTEGER" || w == "INT") { c->typename_ = "INTEGER"; c->length = 4; c->decl = "INT"; }
  else if (w == "BIGINT") { c->typename_ = "BIGINT"; c->length = 8; c->decl = "BIGINT"; }
  else if (w == "REAL") { c->typename_ = "REAL"; c->length = 4; c->decl = "REAL"; }
  else if (w == "DOUBLE") { accept("PRECISION"); c->typename_ = "DOUBLE"; c->length = 8; c->decl = "DOUBLE"; }
  else if (w == "FLOAT") {
    int64_t n = len_arg(53, false);
    if (n <= 24) { c->typename_ = "REAL"; c->length = 4; c->decl = "REAL"; }
    else { c->typename_ = "DOUBLE"; c->length = 8; c->decl = "DOUBLE"; }
  } else if (w == "DECIMAL" || w == "DEC" || w == "NUMERIC" || w == "NUM") {
    int64_t prec = 5, scale = 0;
    if (acceptp("(")) {
      if (cur().type != TokType::Num) unexpected();
      prec = parse_len(cur().text);
      next();
      if (acceptp(",")) {
        if (cur().type != TokType::Num) unexpected();
        scale = parse_len(cur().text);
        next();
      }
      expectp(")");
    }
    if (prec < 1 || prec > 31 || scale < 0 || scale > prec) unexpected();
    c->typename_ = "DECIMAL";
    c->length = prec;
    c->scale = (int)scale;
    c->decl = "DECIMAL(" + std::to_string(prec) + "," + std::to_string(scale) + ")";
  } else if (w == "CHAR" || w == "CHARACTER" || w == "VARCHAR") {
    bool varying = w == "VARCHAR";
    if (!varying && accept("VARYING")) varying = true;
    int64_t n = len_arg(varying ? -1 : 1, false);
    if (n < 1 || n > (varying ? 32672 : 254)) unexpected();
    bool bits = false;
    if (accept("FOR")) {
      if (accept("BIT")) bits = true;
      else if (!accept("SBCS") && !accept("MIXED")) unexpected();
      expect("DATA");
    }
    c->typename_ = varying ? "VARCHAR" : "CHARACTER";
    c->length = n;
    c->max_bytes = n;
    c->codepage = bits ? 0 : 1208;
    // SQLite takes words before a type's length, not after it.
    c->decl = std::string(varying ? "VARCHAR" : "CHAR") + (bits ? " FOR BIT DATA(" : "(") + std::to_string(n) + ")";
  } else if (w == "LONG") {
    expect("VARCHAR");
    bool bits = false;
    if (accept("FOR")) { expect("BIT"); expect("DATA"); bits = true; }
    c->typename_ = "LONG VARCHAR";
    c->length = 32700;
    c->max_bytes = 32700;
    c->codepage = bits ? 0 : 1208;
    c->decl = bits ? "LONG VARCHAR FOR BIT DATA" : "LONG VARCHAR";
  } else if (w == "CLOB" || w == "BLOB") {
    int64_t n = len_arg(1024 * 1024, true);
    if (n < 1 || n > 2147483647) unexpected();
    c->typename_ = w;
    c->length = n;
    c->max_bytes = n;
    c->codepage = w == "BLOB" ? 0 : 1208;
    c->decl = w + "(" + std::to_string(n) + ")";
  } else if (w == "DATE") { c->typename_ = "DATE"; c->length = 4; c->decl = "DATE"; }
  else if (w == "TIME") { c->typename_ = "TIME"; c->length = 3; c->decl = "TIME"; }
  else if (w == "TIMESTAMP") { c->typename_ = "TIMESTAMP"; c->length = 10; c->decl = "TIMESTAMP"; }
  else if (dl_spatial_type_code(w) >= 0) {
    c->typeschema = "DB2GSE";
    c->typename_ = w;
    c->decl = "BLOB";
    c->codepage = 0;
  } else {
    tx_raise("42704", -204, "\"" + w.substr(0, 128) + "\" is an undefined name.");
  }
  if (c->typename_ == "CLOB" || c->typename_ == "BLOB" || c->typename_ == "LONG VARCHAR") {
    // LOB options: kept by DB2 for logging and space, nothing here.
    for (;;) {
      if (accept("LOGGED") || accept("COMPACT")) continue;
      if (is("NOT") && (is_at(1, "LOGGED") || is_at(1, "COMPACT"))) { next(); next(); continue; }
      break;
    }
  }
}

static bool is_text_type(const ColDef& c) {
  return c.codepage != 0 && (c.typename_ == "VARCHAR" || c.typename_ == "CHARACTER" ||
                             c.typename_ == "LONG VARCHAR" || c.typename_ == "CLOB");
}

// A default value: a constant, NULL, or a special register.
static void default_value(Tx* tx, ColDef* c) {
  const Tok& k = tx->cur();
  std::string sql, text;
  if (k.type == TokType::Str || k.type == TokType::Num) {
    sql = text = k.text;
    tx->next();
  } else if (tx->isp("-") || tx->isp("+")) {
    std::string sign = k.text;
    tx->next();
    if (tx->cur().type != TokType::Num) tx->unexpected();
    sql = text = sign + tx->cur().text;
    tx->next();
  } else if (tx->accept("NULL")) {
    sql = text = "NULL";
  } else if (tx->is("CURRENT") || tx->is("USER") || tx->is("CURRENT_TIMESTAMP") ||
             tx->is("CURRENT_DATE") || tx->is("CURRENT_TIME")) {
    size_t from = tx->i_;
    std::string reg = tx->special_register();
    if (reg.empty()) tx->unexpected();
    sql = "(" + reg + ")";
    text = tx->source(from, tx->i_);
  } else {
    tx->unexpected();
  }
  c->has_default = true;
  c->default_sql = sql;
  c->default_text = text;
}

// The DEFAULT a column takes from WITH DEFAULT alone.
static void type_default(ColDef* c) {
  c->has_default = true;
  const std::string& t = c->typename_;
  if (t == "SMALLINT" || t == "INTEGER" || t == "BIGINT" || t == "REAL" || t == "DOUBLE" ||
      t == "DECIMAL") {
    c->default_sql = c->default_text = "0";
  } else if (t == "CHARACTER") {
    c->default_sql = c->default_text = dl_lit(std::string((size_t)c->length, ' '));
  } else if (t == "TIMESTAMP") {
    c->default_sql = "(DL_TIMESTAMP())";
    c->default_text = "CURRENT TIMESTAMP";
  } else if (t == "DATE") {
    c->default_sql = "(DL_DATE())";
    c->default_text = "CURRENT DATE";
  } else if (t == "TIME") {
    c->default_sql = "(DL_TIME())";
    c->default_text = "CURRENT TIME";
  } else if (c->codepage == 0) {
    c->default_sql = c->default_text = "X''";
  } else {
    c->default_sql = c->default_text = "''";
  }
}

// One column definition. Column-level constraints are written into decl.
ColDef Tx::column_def(const QName& table, bool in_alter) {
  ColDef c;
  c.name = ident();
  data_type(&c);
  std::string extra;
  for (;;) {
    if (is("NOT") && is_at(1, "NULL")) {
      next(); next();
      c.notnull = true;
    } else if (accept("NULL")) {
    } else if (is("WITH") && is_at(1, "DEFAULT")) {
      next(); next();
      if (cur().type == TokType::Str || cur().type == TokType::Num || isp("-") || isp("+") ||
          is("NULL") || is("CURRENT") || is("USER") || is("CURRENT_TIMESTAMP"))
        default_value(this, &c);
      else
        type_default(&c);
    } else if (accept("DEFAULT")) {
      if (cur().type == TokType::Str || cur().type == TokType::Num || isp("-") || isp("+") ||
          is("NULL") || is("CURRENT") || is("USER") || is("CURRENT_TIMESTAMP"))
        default_value(this, &c);
      else
        type_default(&c);
    } else if (accept("GENERATED")) {
      bool always = false;
      if (accept("ALWAYS")) always = true;
      else { expect("BY"); expect("DEFAULT"); }
      expect("AS");
      expect("IDENTITY");
      if (in_alter) tx_raise("42997", -270, "Function not supported (Reason code = \"ADD IDENTITY\").");
      if (c.typename_ != "SMALLINT" && c.typename_ != "INTEGER" && c.typename_ != "BIGINT" &&
          c.typename_ != "DECIMAL")
        tx_raise("42815", -171, "The data type of column \"" + c.name + "\" is not valid for an identity column.");
      c.identity = true;
      if (always) c.default_text = "ALWAYS";
      if (acceptp("(")) {
        for (;;) {
          auto number = [&]() -> int64_t {
            bool neg = acceptp("-");
            if (!neg) acceptp("+");
            if (cur().type != TokType::Num) unexpected();
            int64_t v = parse_len(cur().text);
            if (v < 0) unexpected();
            next();
            return neg ? -v : v;
          };
          if (accept("START")) { expect("WITH"); c.id_start = number(); }
          else if (accept("INCREMENT")) { expect("BY"); c.id_inc = number(); if (c.id_inc == 0) unexpected(); }
          else if (accept("CACHE")) c.id_cache = number();
          else if (accept("MINVALUE") || accept("MAXVALUE")) number();
          else if (accept("CYCLE") || accept("ORDER")) {}
          else if (accept("NO")) {
            if (!accept("CACHE") && !accept("MINVALUE") && !accept("MAXVALUE") && !accept("CYCLE") && !accept("ORDER")) unexpected();
          } else unexpected();
          if (isp(")")) break;
          acceptp(",");
        }
        expectp(")");
      }
    } else if (accept("CONSTRAINT")) {
      std::string n = ident();
      if (!(is("PRIMARY") || is("UNIQUE") || is("REFERENCES") || is("CHECK"))) unexpected();
      extra += " CONSTRAINT " + dl_qid(n);
      continue;
    } else if (is("PRIMARY") && is_at(1, "KEY")) {
      if (in_alter) tx_raise("42997", -270, "Function not supported (Reason code = \"ADD PRIMARY KEY COLUMN\").");
      next(); next();
      extra += " PRIMARY KEY";
    } else if (accept("UNIQUE")) {
      if (in_alter) tx_raise("42997", -270, "Function not supported (Reason code = \"ADD UNIQUE COLUMN\").");
      extra += " UNIQUE";
    } else if (accept("REFERENCES")) {
      QName parent = qname();
      if (!table_exists(parent, "'T'")) tx_raise("42S02", -204, "\"" + parent.full() + "\" is an undefined name.");
      extra += " REFERENCES " + parent.sql();
      if (acceptp("(")) {
        std::string cols;
        for (;;) { cols += (cols.empty() ? "" : ", ") + dl_qid(ident()); if (!acceptp(",")) break; }
        expectp(")");
        extra += " (" + cols + ")";
      }
    } else if (accept("CHECK")) {
      expectp("(");
      extra += " CHECK (" + expr_until(kNoStops) + ")";
      expectp(")");
    } else if (is("LOGGED") || is("COMPACT")) {
      next();
    } else if (is("NOT") && (is_at(1, "LOGGED") || is_at(1, "COMPACT"))) {
      next(); next();
    } else {
      break;
    }
  }
  std::string d = dl_qid(c.name) + " " + c.decl;
  if (is_text_type(c)) d += " COLLATE DB2PAD";
  if (c.notnull && !c.identity) d += " NOT NULL";
  if (c.has_default) d += " DEFAULT " + c.default_sql;
  d += extra;
  if (c.max_bytes > 0 && c.max_bytes < 2147483647)
    d += " CONSTRAINT " + dl_qid("DL_LEN_" + c.name) + " CHECK (length(CAST(" + dl_qid(c.name) +
         " AS BLOB)) <= " + std::to_string(c.max_bytes) + ")";
  if (c.typename_ == "SMALLINT")
    d += " CONSTRAINT " + dl_qid("DL_RNG_" + c.name) + " CHECK (" + dl_qid(c.name) + " BETWEEN -32768 AND 32767)";
  else if (c.typename_ == "INTEGER")
    d += " CONSTRAINT " + dl_qid("DL_RNG_" + c.name) + " CHECK (" + dl_qid(c.name) + " BETWEEN -2147483648 AND 2147483647)";
  c.decl = d;
  (void)table;
  return c;
}

std::vector<ColDef> Tx::table_columns(const QName& q) {
  std::vector<ColDef> out;
  std::vector<std::vector<std::string>> rows;
  dl_query(db_, "SELECT COLNAME, TYPENAME, IDENTITY, DEFAULT_TEXT, DEFAULT_TEXT IS NULL FROM DL_COLUMNS"
                " WHERE TABSCHEMA = ?1 AND TABNAME = ?2 ORDER BY COLNO",
           {q.schema, q.name}, &rows);
  for (const auto& r : rows) {
    ColDef c;
    c.name = r[0];
    c.typename_ = r[1];
    c.identity = r[2] == "Y";
    if (r[4] == "0") {
      c.has_default = true;
      c.default_text = r[3];
      // Registers in a default are re-read as SQL.
      if (r[3] == "CURRENT TIMESTAMP") c.default_sql = "DL_TIMESTAMP()";
      else if (r[3] == "CURRENT DATE") c.default_sql = "DL_DATE()";
      else if (r[3] == "CURRENT TIME") c.default_sql = "DL_TIME()";
      else if (r[3] == "USER") c.default_sql = "DL_USER()";
      else c.default_sql = r[3];
    }
    out.push_back(c);
  }
  return out;
}

// ============================================================================
// 3. CREATE TABLE and storage clauses
// ============================================================================

void Tx::stmt_create(DlPlan* p) {
  expect("CREATE");
  p->kind = DlKind::Ddl;
  p->writes = true;
  if (accept("TABLE")) return create_table(p);
  if (accept("UNIQUE")) { expect("INDEX"); return create_index(p, true); }
  if (accept("INDEX")) return create_index(p, false);
  if (accept("VIEW")) return create_view(p);
  if (accept("TRIGGER")) return create_trigger(p);
  if (accept("PROCEDURE")) return create_procedure(p);
  unexpected();
}

// Storage clauses after CREATE TABLE's column list: recorded, not acted on.
void Tx::storage_clauses(std::string* tbspace) {
  while (!at_end()) {
    if (accept("IN")) {
      *tbspace = ident();
    } else if (is("INDEX") && is_at(1, "IN")) {
      next(); next(); ident();
    } else if (is("LONG") && is_at(1, "IN")) {
      next(); next(); ident();
    } else if (is("NOT") && is_at(1, "LOGGED")) {
      next(); next(); expect("INITIALLY");
    } else if (accept("DATA")) {
      expect("CAPTURE");
      if (!accept("NONE")) expect("CHANGES");
    } else if (accept("COMPRESS")) {
      if (!accept("YES")) expect("NO");
    } else if (is("VALUE") && is_at(1, "COMPRESSION")) {
      next(); next();
    } else if (accept("PCTFREE")) {
      if (cur().type != TokType::Num) unexpected();
      next();
    } else if (accept("APPEND")) {
      if (!accept("ON")) expect("OFF");
    } else if (accept("PARTITIONING")) {
      expect("KEY");
      expectp("(");
      for (;;) { ident(); if (!acceptp(",")) break; }
      expectp(")");
      if (accept("USING")) expect("HASHING");
    } else if (accept("DISTRIBUTE")) {
      expect("BY");
      expect("HASH");
      expectp("(");
      for (;;) { ident(); if (!acceptp(",")) break; }
      expectp(")");
    } else if (accept("CCSID")) {
      if (!accept("ASCII") && !accept("UNICODE") && !accept("EBCDIC")) unexpected();
    } else if (accept("LOCKSIZE")) {
      if (!accept("ROW") && !accept("TABLE")) unexpected();
    } else if (is("WITH") && is_at(1, "RESTRICT")) {
      next(); next(); expect("ON"); expect("DROP");
    } else {
      unexpected();
    }
  }
}

void Tx::create_table(DlPlan* p) {
  QName q = qname();
  require_create_in(this, q, "CREATETAB");
  if (table_exists(q))
    tx_raise("42S01", -601, "The name of the object to be created is identical to the existing name \"" +
                                q.full() + "\" of type \"TABLE\".");
  ddl_targets_.insert(q.full());
  exposed_[q.name] = q.sql();
  expectp("(");
  std::vector<ColDef> cols;
  std::vector<std::string> cons;       // table constraints for SQLite
  std::vector<std::string> post;       // catalogue rows
  std::string ts = now_lit();
  for (;;) {
    std::string cname;
    if (accept("CONSTRAINT")) cname = ident();
    if ((is("PRIMARY") && is_at(1, "KEY")) || is("UNIQUE")) {
      bool pk = is("PRIMARY");
      next();
      if (pk) next();
      expectp("(");
      std::vector<std::string> kc;
      for (;;) { kc.push_back(ident()); if (!acceptp(",")) break; }
      expectp(")");
      if (cname.empty()) cname = system_name(&tmp_);
      std::string list, colnames;
      for (const auto& c : kc) { list += (list.empty() ? "" : ", ") + dl_qid(c); colnames += "+" + c; }
      cons.push_back("CONSTRAINT " + dl_qid(cname) + (pk ? " PRIMARY KEY (" : " UNIQUE (") + list + ")");
      post.push_back("INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, TABSCHEMA, TABNAME, UNIQUERULE,"
                     " COLNAMES, COLCOUNT, INDEXTYPE, CATALOG_ONLY, CREATE_TIME, TEXT) VALUES (" +
                     dl_lit(q.schema) + ", " + dl_lit(cname) + ", 'I', " + dl_lit(s_.user) + ", " +
                     dl_lit(q.schema) + ", " + dl_lit(q.name) + ", '" + (pk ? "P" : "U") + "', " +
                     dl_lit(colnames) + ", " + std::to_string(kc.size()) + ", 'REG', 1, " + ts +
                     ", 'CONSTRAINT')");
      for (size_t k = 0; k < kc.size(); ++k)
        post.push_back(ddl_plan_row("DL_INDEXCOLUSE", {dl_lit(q.schema), dl_lit(cname), dl_lit(kc[k]),
                                                       std::to_string(k + 1), "'A'"}));
    } else if (is("FOREIGN") && is_at(1, "KEY")) {
      next(); next();
      expectp("(");
      std::string list;
      for (;;) { list += (list.empty() ? "" : ", ") + dl_qid(ident()); if (!acceptp(",")) break; }
      expectp(")");
      expect("REFERENCES");
      QName parent = qname();
      if (!table_exists(parent, "'T'") && !(parent.schema == q.schema && parent.name == q.name))
        tx_raise("42S02", -204, "\"" + parent.full() + "\" is an undefined name.");
      std::string fk = (cname.empty() ? "" : "CONSTRAINT " + dl_qid(cname) + " ") + "FOREIGN KEY (" +
                       list + ") REFERENCES " + parent.sql();
      if (acceptp("(")) {
        std::string pc;
        for (;;) { pc += (pc.empty() ? "" : ", ") + dl_qid(ident()); if (!acceptp(",")) break; }
        expectp(")");
        fk += " (" + pc + ")";
      }
      while (accept("ON")) {
        bool del = accept("DELETE");
        if (!del) expect("UPDATE");
        if (accept("CASCADE")) fk += del ? " ON DELETE CASCADE" : " ON UPDATE CASCADE";
        else if (accept("RESTRICT")) fk += del ? " ON DELETE RESTRICT" : " ON UPDATE RESTRICT";
        else if (accept("NO")) { expect("ACTION"); }
        else if (accept("SET")) { expect("NULL"); fk += del ? " ON DELETE SET NULL" : " ON UPDATE SET NULL"; }
        else unexpected();
      }
      cons.push_back(fk);
    } else if (accept("CHECK")) {
      expectp("(");
      size_t from = i_;
      std::string cond = expr_until(kNoStops);
      size_t to = i_;
      expectp(")");
      if (cname.empty()) cname = system_name(&tmp_);
      cons.push_back("CONSTRAINT " + dl_qid(cname) + " CHECK (" + cond + ")");
      post.push_back(ddl_plan_row("DL_CHECKS", {dl_lit(cname), dl_lit(s_.user), dl_lit(q.schema), dl_lit(q.name),
                                                ts, dl_lit(q.schema), "'C'", "NULL", dl_lit(source(from, to))}));
    } else {
      if (!cname.empty()) unexpected();
      ColDef c = column_def(q, false);
      for (const auto& o : cols)
        if (o.name == c.name)
          tx_raise("42711", -612, "\"" + c.name + "\" is a duplicate name.");
      cols.push_back(c);
    }
    if (!acceptp(",")) break;
  }
  expectp(")");
  size_t st_from = i_;
  std::string tbspace;
  storage_clauses(&tbspace);
  std::string storage = source(st_from, i_);
  if (cols.empty()) unexpected();

  std::string sql = "CREATE TABLE " + q.sql() + " (";
  for (size_t k = 0; k < cols.size(); ++k) sql += (k ? ", " : "") + cols[k].decl;
  for (const auto& c : cons) sql += ", " + c;
  sql += ")";
  p->main = finish(sql);
  p->target = q.full();

  p->post.push_back("INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, TBSPACE, STORAGE, CREATE_TIME)"
                    " VALUES (" + dl_lit(q.schema) + ", " + dl_lit(q.name) + ", 'T', " + dl_lit(s_.user) +
                    ", " + lit_or_null(tbspace) + ", " + lit_or_null(storage) + ", " + ts + ")");
  for (size_t k = 0; k < cols.size(); ++k) {
    const ColDef& c = cols[k];
    p->post.push_back(ddl_plan_row(
        "DL_COLUMNS (TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH, SCALE,"
        " DEFAULT_TEXT, NULLS, CODEPAGE, IDENTITY, GENERATED)",
        {dl_lit(q.schema), dl_lit(q.name), dl_lit(c.name), std::to_string(k), dl_lit(c.typeschema),
         dl_lit(c.typename_), std::to_string(c.length), std::to_string(c.scale),
         c.has_default ? dl_lit(c.default_text) : "NULL", c.notnull ? "'N'" : "'Y'",
         std::to_string(c.codepage), c.identity ? "'Y'" : "'N'",
         c.identity ? (c.default_text == "ALWAYS" ? "'A'" : "'D'") : "' '"}));
    char_pad_triggers(q.sql(), q.full(), c, &p->post);
    if (!c.identity) continue;
    // Note 2: the counter's ID is random, and the value comes from outside
    // the unit of work.
    std::string id = std::to_string(random_id());
    std::string col = dl_qid(c.name);
    p->post.push_back("INSERT INTO DL_IDENTITY (ID, TABSCHEMA, TABNAME, COLNAME, START, INCREMENT, CACHE, NEXTVAL)"
                      " VALUES (" + id + ", " + dl_lit(q.schema) + ", " + dl_lit(q.name) + ", " +
                      dl_lit(c.name) + ", " + std::to_string(c.id_start) + ", " + std::to_string(c.id_inc) +
                      ", " + std::to_string(c.id_cache) + ", " + std::to_string(c.id_start) + ")");
    p->post.push_back(
        "CREATE TRIGGER " + dl_qid(q.full() + "#ID#" + c.name + "#" + id) + " AFTER INSERT ON " + q.sql() +
        " FOR EACH ROW WHEN NEW." + col + " IS NULL BEGIN UPDATE " + q.sql() + " SET " + col +
        " = DL_IDENTITY_SET(DL_IDENTITY_NEXT(" + id + ", (SELECT NEXTVAL FROM DL_IDENTITY WHERE ID = " + id +
        "), " + std::to_string(c.id_inc) + ", " + std::to_string(c.id_cache) +
        ")) WHERE rowid = NEW.rowid; UPDATE DL_IDENTITY SET NEXTVAL = (SELECT " + col + " FROM " + q.sql() +
        " WHERE rowid = NEW.rowid) + INCREMENT WHERE ID = " + id + "; END");
    if (c.default_text == "ALWAYS")
      p->post.push_back("CREATE TRIGGER " + dl_qid(q.full() + "#IDA#" + c.name + "#" + id) + " BEFORE INSERT ON " +
                        q.sql() + " FOR EACH ROW WHEN NEW." + col +
                        " IS NOT NULL BEGIN SELECT DL_RAISE('428C9', -798, " +
                        dl_lit("A value cannot be specified for column \"" + c.name +
                               "\" which is defined as GENERATED ALWAYS.") + "); END");
  }
  // The creator holds CONTROL, and every privilege with the grant option.
  p->post.push_back("INSERT OR REPLACE INTO DL_TABAUTH (GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME,"
                    " CONTROLAUTH, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH, REFAUTH, UPDATEAUTH)"
                    " VALUES ('SYSIBM', " + dl_lit(s_.user) + ", 'U', " + dl_lit(q.schema) + ", " +
                    dl_lit(q.name) + ", 'Y', 'G', 'G', 'G', 'G', 'G', 'G', 'G')");
  for (auto& s : post) p->post.push_back(s);
}

// ============================================================================
// 4. indexes, views, triggers
// ============================================================================

void Tx::create_index(DlPlan* p, bool unique) {
  QName n = qname_in(s_.schema.empty() ? s_.user : s_.schema);
  expect("ON");
  QName t = qname();
  note_table(t);
  std::vector<std::vector<std::string>> rows;
  dl_query(db_, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'I'", {n.schema, n.name}, &rows);
  if (!rows.empty())
    tx_raise("42S11", -601, "The name of the object to be created is identical to the existing name \"" +
                                n.full() + "\" of type \"INDEX\".");
  if (!table_exists(t, "'T'")) tx_raise("42S02", -204, "\"" + t.full() + "\" is an undefined name.");
  require_table_priv(this, t, "INDEX", &DlTablePriv::index);
  if (!dbadm() && n.schema != s_.user && n.schema != s_.schema)
    tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"CREATEIN\" on object \"" + n.schema + "\".");
  expectp("(");
  std::vector<std::pair<std::string, char>> kc;
  for (;;) {
    std::string c = ident();
    char order = 'A';
    if (accept("DESC")) order = 'D';
    else accept("ASC");
    kc.push_back({c, order});
    if (!acceptp(",")) break;
  }
  expectp(")");
  std::string ieschema, iename, ieargs;
  bool cluster = false;
  std::vector<std::string> include;
  while (!at_end()) {
    if (accept("EXTEND")) {
      expect("USING");
      QName ie = qname_in("SYSIBM");
      ieschema = ie.schema;
      iename = ie.name;
      if (acceptp("(")) {
        size_t from = i_;
        int d = 1;
        while (!at_end() && d > 0) {
          if (isp("(")) ++d;
          if (isp(")") && --d == 0) break;
          next();
        }
        ieargs = source(from, i_);
        expectp(")");
      }
    } else if (accept("INCLUDE")) {
      expectp("(");
      for (;;) { include.push_back(ident()); if (!acceptp(",")) break; }
      expectp(")");
    } else if (accept("PCTFREE") || accept("MINPCTUSED")) {
      if (cur().type != TokType::Num) unexpected();
      next();
    } else if (accept("CLUSTER")) {
      cluster = true;
    } else if (accept("ALLOW") || accept("DISALLOW")) {
      expect("REVERSE");
      expect("SCANS");
    } else if (accept("COLLECT")) {
      accept("SAMPLED");
      accept("DETAILED");
      expect("STATISTICS");
    } else if (accept("PAGE")) {
      expect("SPLIT");
      if (!accept("SYMMETRIC") && !accept("HIGH") && !accept("LOW")) unexpected();
    } else {
      unexpected();
    }
  }
  std::string colnames, list;
  for (const auto& c : kc) {
    colnames += std::string(1, c.second == 'D' ? '-' : '+') + c.first;
    list += (list.empty() ? "" : ", ") + dl_qid(c.first) + (c.second == 'D' ? " DESC" : "");
  }
  for (const auto& c : include) colnames += "+" + c;
  bool catalog_only = !iename.empty();
  ddl_targets_.insert(n.full());
  p->target = t.full();
  std::string ts = now_lit();
  std::string row = "INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, TABSCHEMA, TABNAME, UNIQUERULE,"
                    " COLNAMES, COLCOUNT, INDEXTYPE, IESCHEMA, IENAME, IEARGS, CATALOG_ONLY, CREATE_TIME)"
                    " VALUES (" + dl_lit(n.schema) + ", " + dl_lit(n.name) + ", 'I', " + dl_lit(s_.user) +
                    ", " + dl_lit(t.schema) + ", " + dl_lit(t.name) + ", '" + (unique ? "U" : "D") + "', " +
                    dl_lit(colnames) + ", " + std::to_string(kc.size() + include.size()) + ", '" +
                    (cluster ? "CLUS" : "REG") + "', " + lit_or_null(ieschema) + ", " + lit_or_null(iename) +
                    ", " + lit_or_null(ieargs) + ", " + (catalog_only ? "1" : "0") + ", " + ts + ")";
  if (catalog_only) {
    // The table must still answer to the user: an index on a table the user
    // may not index was refused above; one on a missing column is refused here.
    std::vector<std::vector<std::string>> cr;
    for (const auto& c : kc) {
      cr.clear();
      dl_query(db_, "SELECT 1 FROM DL_COLUMNS WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND COLNAME = ?3",
               {t.schema, t.name, c.first}, &cr);
      if (cr.empty()) tx_raise("42S22", -205, "\"" + c.first + "\" is not a column of table \"" + t.full() + "\".");
    }
    p->main = row;
    if (ieschema == "DB2GSE" && iename == "SPATIAL_INDEX") {
      // The spatial index: an R*Tree and its triggers on the table.
      std::vector<std::string> cols;
      for (const auto& c : kc) cols.push_back(c.first);
      DlDiag d;
      if (dl_spatial_create_index_sql(db_, n.schema, n.name, t.schema, t.name, cols, ieargs, &p->post, &d) != 0)
        throw TxError{d.sqlstate, d.native, d.text};
      ddl_targets_.insert(t.full());
    }
  } else {
    p->main = "CREATE " + std::string(unique ? "UNIQUE " : "") + "INDEX " + n.sql() + " ON " + t.sql() +
              " (" + list + ")";
    p->post.push_back(row);
  }
  int seq = 1;
  for (const auto& c : kc)
    p->post.push_back(ddl_plan_row("DL_INDEXCOLUSE", {dl_lit(n.schema), dl_lit(n.name), dl_lit(c.first),
                                                      std::to_string(seq++), std::string("'") + c.second + "'"}));
  for (const auto& c : include)
    p->post.push_back(ddl_plan_row("DL_INDEXCOLUSE", {dl_lit(n.schema), dl_lit(n.name), dl_lit(c),
                                                      std::to_string(seq++), "'I'"}));
}

void Tx::create_view(DlPlan* p) {
  QName v = qname();
  require_create_in(this, v, nullptr);
  if (table_exists(v))
    tx_raise("42S01", -601, "The name of the object to be created is identical to the existing name \"" +
                                v.full() + "\" of type \"VIEW\".");
  std::string cols;
  if (acceptp("(")) {
    for (;;) { cols += (cols.empty() ? "" : ", ") + dl_qid(ident()); if (!acceptp(",")) break; }
    expectp(")");
  }
  expect("AS");
  size_t from = i_;
  top_select_ = false;
  std::string q = query();
  std::string text = source(from, i_);
  if (accept("WITH")) {
    accept("CASCADED");
    accept("LOCAL");
    expect("CHECK");
    expect("OPTION");
  }
  expect_end();
  // Creating a view needs SELECT on what it reads; its creator controls it
  // only when controlling every table it reads.
  bool control = true;
  for (const auto& t : tables_) {
    DlTablePriv pr = dl_table_priv(db_, s_.user, t.schema, t.name);
    if (!pr.exists) tx_raise("42S02", -204, "\"" + t.full() + "\" is an undefined name.");
    if (!dbadm() && !pr.select)
      tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"SELECT\" on object \"" + t.full() + "\".");
    if (!pr.control && !dbadm()) control = false;
  }
  ddl_targets_.insert(v.full());
  p->target = v.full();
  p->main = "CREATE VIEW " + v.sql() + (cols.empty() ? "" : " (" + cols + ")") + " AS " + finish(q);
  std::string ts = now_lit();
  p->post.push_back("INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, CREATE_TIME, TEXT) VALUES (" +
                    dl_lit(v.schema) + ", " + dl_lit(v.name) + ", 'V', " + dl_lit(s_.user) + ", " + ts +
                    ", " + dl_lit(text) + ")");
  // Column types come from the columns the view reads, where it reads one.
  p->post.push_back("INSERT INTO DL_COLUMNS (TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH,"
                    " SCALE, NULLS, CODEPAGE, IDENTITY, GENERATED) SELECT " + dl_lit(v.schema) + ", " +
                    dl_lit(v.name) + ", name, cid, 'SYSIBM', CASE WHEN type = '' THEN 'VARCHAR'"
                    " WHEN type LIKE 'VARCHAR%' THEN 'VARCHAR' WHEN type LIKE 'CHAR(%' THEN 'CHARACTER'"
                    " WHEN type LIKE 'DECIMAL%' THEN 'DECIMAL' ELSE upper(type) END, 0, 0,"
                    " CASE WHEN \"notnull\" THEN 'N' ELSE 'Y' END, 1208, 'N', ' '"
                    " FROM pragma_table_info(" + dl_lit(v.full()) + ")");
  p->post.push_back("INSERT OR REPLACE INTO DL_TABAUTH (GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME,"
                    " CONTROLAUTH, SELECTAUTH) VALUES ('SYSIBM', " + dl_lit(s_.user) + ", 'U', " +
                    dl_lit(v.schema) + ", " + dl_lit(v.name) + ", " + (control ? "'Y', 'G'" : "'N', 'Y'") + ")");
}

// The single statement a DB2 trigger runs, as SQLite trigger text.
std::string Tx::trigger_body() {
  std::string out;
  QName dummy;
  std::string cursor;
  if (is("SIGNAL")) {
    next();
    expect("SQLSTATE");
    accept("VALUE");
    if (cur().type != TokType::Str) unexpected();
    std::string state = cur().text.substr(1, cur().text.size() - 2);
    next();
    if (state.size() != 5) tx_raise("428B3", -470, "The SQLSTATE \"" + state + "\" is not valid.");
    std::string msg;
    if (acceptp("(")) {
      if (cur().type != TokType::Str) unexpected();
      msg = cur().text.substr(1, cur().text.size() - 2);
      next();
      expectp(")");
    } else if (accept("SET")) {
      expect("MESSAGE_TEXT");
      expectp("=");
      if (cur().type != TokType::Str) unexpected();
      msg = cur().text.substr(1, cur().text.size() - 2);
      next();
    }
    std::string unq;
    for (size_t k = 0; k < msg.size(); ++k) {
      unq += msg[k];
      if (msg[k] == '\'' && k + 1 < msg.size() && msg[k + 1] == '\'') ++k;
    }
    out = "SELECT DL_RAISE(" + dl_lit(state) + ", -438, " +
          dl_lit("Application raised error with diagnostic text: \"" + unq + "\".") + ")";
  } else if (is("INSERT")) {
    out = insert_sql(&dummy);
  } else if (is("UPDATE")) {
    out = update_sql(&dummy, &cursor);
  } else if (is("DELETE")) {
    out = delete_sql(&dummy, &cursor);
  } else {
    unexpected();
  }
  if (!cursor.empty()) unexpected();
  return out;
}

void Tx::create_trigger(DlPlan* p) {
  QName n = qname();
  require_create_in(this, n, nullptr);
  std::vector<std::vector<std::string>> rows;
  dl_query(db_, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'G'", {n.schema, n.name}, &rows);
  if (!rows.empty())
    tx_raise("42710", -601, "The name of the object to be created is identical to the existing name \"" +
                                n.full() + "\" of type \"TRIGGER\".");
  std::string timing;
  if (accept("AFTER")) timing = "AFTER";
  else if (accept("BEFORE")) timing = "BEFORE";
  else if (accept("NO")) { expect("CASCADE"); expect("BEFORE"); timing = "BEFORE"; }
  else if (accept("INSTEAD")) { expect("OF"); timing = "INSTEAD OF"; }
  else unexpected();
  std::string event;
  if (accept("INSERT")) event = "INSERT";
  else if (accept("DELETE")) event = "DELETE";
  else if (accept("UPDATE")) {
    event = "UPDATE";
    if (accept("OF")) {
      std::string cols;
      for (;;) { cols += (cols.empty() ? "" : ", ") + dl_qid(ident()); if (!acceptp(",")) break; }
      event += " OF " + cols;
    }
  } else unexpected();
  expect("ON");
  QName t = qname();
  note_table(t);
  if (!table_exists(t)) tx_raise("42S02", -204, "\"" + t.full() + "\" is an undefined name.");
  require_table_priv(this, t, "ALTER", &DlTablePriv::alter);
  if (accept("REFERENCING")) {
    for (;;) {
      bool old = false;
      if (accept("OLD")) old = true;
      else if (accept("NEW")) old = false;
      else break;
      if (is("TABLE") || is("OLD_TABLE") || is("NEW_TABLE"))
        tx_raise("42997", -270, "Function not supported (Reason code = \"TRANSITION TABLE\").");
      accept("ROW");
      accept("AS");
      corr_[ident()] = old ? "OLD" : "NEW";
    }
  }
  if (accept("FOR")) {
    expect("EACH");
    if (accept("STATEMENT")) tx_raise("42997", -270, "Function not supported (Reason code = \"FOR EACH STATEMENT\").");
    expect("ROW");
  }
  if (accept("MODE")) expect("DB2SQL");
  std::string when;
  if (accept("WHEN")) {
    expectp("(");
    when = expr_until(kNoStops);
    expectp(")");
  }
  std::string body;
  if (is("BEGIN") && is_at(1, "ATOMIC")) {
    next();
    next();
    for (;;) {
      body += trigger_body() + "; ";
      expectp(";");
      if (accept("END")) break;
    }
  } else {
    body = trigger_body() + "; ";
  }
  expect_end();
  ddl_targets_.insert(t.full());
  p->target = t.full();
  p->main = finish("CREATE TRIGGER " + n.sql() + " " + timing + " " + event + " ON " + t.sql() +
                   " FOR EACH ROW" + (when.empty() ? "" : " WHEN " + when) + " BEGIN " + body + "END");
  p->post.push_back("INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, TABSCHEMA, TABNAME, CREATE_TIME, TEXT)"
                    " VALUES (" + dl_lit(n.schema) + ", " + dl_lit(n.name) + ", 'G', " + dl_lit(s_.user) + ", " +
                    dl_lit(t.schema) + ", " + dl_lit(t.name) + ", " + now_lit() + ", " +
                    dl_lit(std::string(text_ + t_.front().pos, t_.back().pos - t_.front().pos)) + ")");
}

// ============================================================================
// 5. procedures
// ============================================================================

void Tx::create_procedure(DlPlan* p) {
  QName n = qname();
  std::vector<std::vector<std::string>> rows;
  dl_query(db_, "SELECT 1 FROM DL_PROCEDURES WHERE PROCSCHEMA = ?1 AND PROCNAME = ?2", {n.schema, n.name}, &rows);
  if (!rows.empty())
    tx_raise("42723", -454, "The signature provided in the definition for routine \"" + n.full() +
                                "\" matches the signature of some other routine that already exists in the schema or for the type.");
  struct Parm { std::string mode, name; ColDef type; };
  std::vector<Parm> parms;
  expectp("(");
  if (!isp(")")) {
    for (;;) {
      Parm pm;
      pm.mode = "IN";
      if (accept("IN")) pm.mode = "IN";
      else if (accept("OUT")) pm.mode = "OUT";
      else if (accept("INOUT")) pm.mode = "INOUT";
      // A name is followed by its type; a type alone by ',', ')' or its length.
      if (is_ident() && peek().type != TokType::Punct) pm.name = ident();
      data_type(&pm.type);
      parms.push_back(pm);
      if (!acceptp(",")) break;
    }
  }
  expectp(")");
  std::string external, language, style, fenced = "Y";
  int result_sets = 0;
  while (!at_end()) {
    if (accept("EXTERNAL")) {
      if (accept("NAME")) {
        if (cur().type == TokType::Str) {
          external = cur().text.substr(1, cur().text.size() - 2);
          next();
        } else {
          external = ident();
        }
      }
    } else if (accept("LANGUAGE")) {
      language = ident();
    } else if (accept("PARAMETER")) {
      expect("STYLE");
      style = ident();
    } else if (is("NOT") && is_at(1, "FENCED")) {
      next(); next();
      fenced = "N";
    } else if (accept("FENCED")) {
      fenced = "Y";
    } else if (accept("RESULT") || accept("DYNAMIC")) {
      accept("RESULT");
      expect("SETS");
      if (cur().type != TokType::Num) unexpected();
      result_sets = atoi(cur().text.c_str());
      next();
    } else if (accept("SPECIFIC")) {
      ident();
    } else if (accept("NO") || accept("MODIFIES") || accept("READS") || accept("CONTAINS")) {
      if (accept("SQL")) { accept("DATA"); }
      else if (!accept("DBINFO")) unexpected();
      if (is("DATA")) next();
    } else if (accept("DBINFO") || accept("DETERMINISTIC") || accept("NULL")) {
      if (t_[i_ - 1].text == "NULL") expect("CALL");
    } else if (is("NOT") && is_at(1, "DETERMINISTIC")) {
      next(); next();
    } else if (accept("CALLED")) {
      expect("ON"); expect("NULL"); expect("INPUT");
    } else if (accept("PROGRAM")) {
      expect("TYPE");
      if (!accept("SUB")) expect("MAIN");
    } else {
      unexpected();
    }
  }
  if (external.empty()) tx_raise("42601", -104, "An unexpected token \"END OF STATEMENT\" was found. EXTERNAL NAME is required.");
  if (language.empty()) language = "C";
  if (style.empty()) tx_raise("42601", -104, "An unexpected token \"END OF STATEMENT\" was found. PARAMETER STYLE is required.");
  if (style != "DB2DARI" && style != "GENERAL" && style != "DB2GENERAL" && style != "SQL")
    tx_raise("42601", -104, "An unexpected token \"" + style + "\" was found.");
  size_t bang = external.find('!');
  if (bang == std::string::npos || bang == 0 || bang + 1 == external.size() || external.size() > 254 ||
      external.find('/') != std::string::npos || external.find("..") != std::string::npos)
    tx_raise("42878", -449, "The statement defining routine \"" + n.full() + "\" contains an invalid EXTERNAL NAME clause.");
  // The definer needs authority over the schema; a NOT FENCED routine runs
  // inside the database, so it needs CREATE_NOT_FENCED.
  require_create_in(this, n, nullptr);
  if (fenced == "N" && !has_auth("CREATE_NOT_FENCED"))
    tx_raise("42502", -552, "\"" + s_.user + "\" does not have the privilege to perform operation \"CREATE NOT FENCED\".");
  p->target = n.full();
  std::string text(text_ + t_.front().pos, t_.back().pos - t_.front().pos);
  p->main = "INSERT INTO DL_PROCEDURES (PROCSCHEMA, PROCNAME, SPECIFICNAME, DEFINER, PARM_COUNT, IMPLEMENTATION,"
            " LIBRARY, ENTRY, LANGUAGE, FENCED, PARM_STYLE, RESULT_SETS, CREATE_TIME, TEXT) VALUES (" +
            dl_lit(n.schema) + ", " + dl_lit(n.name) + ", " + dl_lit(n.name) + ", " + dl_lit(s_.user) + ", " +
            std::to_string(parms.size()) + ", " + dl_lit(external) + ", " + dl_lit(external.substr(0, bang)) +
            ", " + dl_lit(external.substr(bang + 1)) + ", " + dl_lit(language) + ", '" + fenced + "', " +
            dl_lit(style) + ", " + std::to_string(result_sets) + ", " + now_lit() + ", " + dl_lit(text) + ")";
  for (size_t k = 0; k < parms.size(); ++k) {
    const Parm& pm = parms[k];
    p->post.push_back(ddl_plan_row("DL_PROCPARMS", {dl_lit(n.schema), dl_lit(n.name), std::to_string(k + 1),
                                                    lit_or_null(pm.name), dl_lit(pm.type.typeschema),
                                                    dl_lit(pm.type.typename_), std::to_string(pm.type.length),
                                                    std::to_string(pm.type.scale), dl_lit(pm.mode)}));
  }
}

// ============================================================================
// 6. DROP, ALTER, RENAME
// ============================================================================

static void drop_catalogue(DlPlan* p, const QName& q) {
  std::string s = dl_lit(q.schema), n = dl_lit(q.name);
  p->post.push_back("DELETE FROM DL_INDEXCOLUSE WHERE (INDSCHEMA, INDNAME) IN (SELECT SCHEMA, NAME FROM"
                    " DL_OBJECTS WHERE KIND = 'I' AND TABSCHEMA = " + s + " AND TABNAME = " + n + ")");
  p->post.push_back("DELETE FROM DL_OBJECTS WHERE KIND IN ('I', 'G') AND TABSCHEMA = " + s + " AND TABNAME = " + n);
  p->post.push_back("DELETE FROM DL_OBJECTS WHERE KIND IN ('T', 'V') AND SCHEMA = " + s + " AND NAME = " + n);
  p->post.push_back("DELETE FROM DL_COLUMNS WHERE TABSCHEMA = " + s + " AND TABNAME = " + n);
  p->post.push_back("DELETE FROM DL_IDENTITY WHERE TABSCHEMA = " + s + " AND TABNAME = " + n);
  p->post.push_back("DELETE FROM DL_CHECKS WHERE TABSCHEMA = " + s + " AND TABNAME = " + n);
  p->post.push_back("DELETE FROM DL_TABAUTH WHERE TABSCHEMA = " + s + " AND TABNAME = " + n);
}

void Tx::stmt_drop(DlPlan* p) {
  expect("DROP");
  p->kind = DlKind::Ddl;
  p->writes = true;
  if (accept("TABLE") || accept("VIEW")) {
    bool view = t_[i_ - 1].text == "VIEW";
    QName q = qname();
    note_table(q);
    expect_end();
    if (!table_exists(q, view ? "'V'" : "'T'"))
      tx_raise("42S02", -204, "\"" + q.full() + "\" is an undefined name.");
    p->target = q.full();
    p->main = std::string(view ? "DROP VIEW " : "DROP TABLE ") + q.sql();
    if (!view) dl_spatial_drop_table_sql(db_, q.schema, q.name, &p->post);
    drop_catalogue(p, q);
    return;
  }
  if (accept("INDEX")) {
    QName n = qname_in(s_.schema.empty() ? s_.user : s_.schema);
    expect_end();
    std::vector<std::vector<std::string>> rows;
    dl_query(db_, "SELECT OWNER, CATALOG_ONLY, COALESCE(TEXT, ''), TABSCHEMA, TABNAME FROM DL_OBJECTS"
                  " WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'I'", {n.schema, n.name}, &rows);
    if (rows.empty()) tx_raise("42S12", -204, "\"" + n.full() + "\" is an undefined name.");
    if (rows[0][2] == "CONSTRAINT")
      tx_raise("42917", -669, "A system required index cannot be dropped explicitly.");
    if (!dbadm() && rows[0][0] != s_.user) {
      QName t{rows[0][3], rows[0][4]};
      DlTablePriv pr = dl_table_priv(db_, s_.user, t.schema, t.name);
      if (!pr.control)
        tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"DROP INDEX\" on object \"" + n.full() + "\".");
    }
    ddl_targets_.insert(rows[0][3] + "." + rows[0][4]);
    p->target = n.full();
    std::string del = "DELETE FROM DL_OBJECTS WHERE SCHEMA = " + dl_lit(n.schema) + " AND NAME = " +
                      dl_lit(n.name) + " AND KIND = 'I'";
    if (rows[0][1] == "1") {
      p->main = del;
      dl_spatial_drop_index_sql(n.schema, n.name, &p->post);
    } else {
      p->main = "DROP INDEX " + n.sql();
      p->post.push_back(del);
    }
    p->post.push_back("DELETE FROM DL_INDEXCOLUSE WHERE INDSCHEMA = " + dl_lit(n.schema) + " AND INDNAME = " + dl_lit(n.name));
    return;
  }
  if (accept("TRIGGER")) {
    QName n = qname();
    expect_end();
    std::vector<std::vector<std::string>> rows;
    dl_query(db_, "SELECT OWNER, TABSCHEMA, TABNAME FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'G'",
             {n.schema, n.name}, &rows);
    if (rows.empty()) tx_raise("42704", -204, "\"" + n.full() + "\" is an undefined name.");
    if (!dbadm() && rows[0][0] != s_.user)
      tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"DROP TRIGGER\" on object \"" + n.full() + "\".");
    ddl_targets_.insert(rows[0][1] + "." + rows[0][2]);
    p->target = n.full();
    p->main = "DROP TRIGGER " + n.sql();
    p->post.push_back("DELETE FROM DL_OBJECTS WHERE SCHEMA = " + dl_lit(n.schema) + " AND NAME = " +
                      dl_lit(n.name) + " AND KIND = 'G'");
    return;
  }
  if (accept("PROCEDURE")) {
    QName n = qname();
    if (acceptp("(")) {  // a signature; one procedure per name here
      int d = 1;
      while (!at_end() && d > 0) {
        if (isp("(")) ++d;
        if (isp(")") && --d == 0) break;
        next();
      }
      expectp(")");
    }
    expect_end();
    std::vector<std::vector<std::string>> rows;
    dl_query(db_, "SELECT DEFINER FROM DL_PROCEDURES WHERE PROCSCHEMA = ?1 AND PROCNAME = ?2", {n.schema, n.name}, &rows);
    if (rows.empty()) tx_raise("42704", -204, "\"" + n.full() + "\" is an undefined name.");
    if (!dbadm() && rows[0][0] != s_.user)
      tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"DROP PROCEDURE\" on object \"" + n.full() + "\".");
    p->target = n.full();
    p->main = "DELETE FROM DL_PROCEDURES WHERE PROCSCHEMA = " + dl_lit(n.schema) + " AND PROCNAME = " + dl_lit(n.name);
    p->post.push_back("DELETE FROM DL_PROCPARMS WHERE PROCSCHEMA = " + dl_lit(n.schema) + " AND PROCNAME = " + dl_lit(n.name));
    return;
  }
  unexpected();
}

void Tx::stmt_alter(DlPlan* p) {
  expect("ALTER");
  expect("TABLE");
  p->kind = DlKind::Ddl;
  p->writes = true;
  QName q = qname();
  note_table(q);
  exposed_[q.name] = q.sql();
  if (!table_exists(q, "'T'")) tx_raise("42S02", -204, "\"" + q.full() + "\" is an undefined name.");
  require_table_priv(this, q, "ALTER", &DlTablePriv::alter);
  ddl_targets_.insert(q.full());
  p->target = q.full();
  if (accept("ADD")) {
    std::string cname;
    if (accept("CONSTRAINT")) cname = ident();
    if ((is("PRIMARY") && is_at(1, "KEY")) || is("UNIQUE")) {
      bool pk = is("PRIMARY");
      next();
      if (pk) next();
      expectp("(");
      std::vector<std::string> kc;
      for (;;) { kc.push_back(ident()); if (!acceptp(",")) break; }
      expectp(")");
      expect_end();
      if (cname.empty()) cname = system_name(&tmp_);
      std::vector<std::vector<std::string>> rows;
      dl_query(db_, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND = 'I'", {q.schema, cname}, &rows);
      if (!rows.empty())
        tx_raise("42710", -601, "The name of the object to be created is identical to the existing name \"" +
                                    q.schema + "." + cname + "\" of type \"CONSTRAINT\".");
      std::string list, colnames;
      for (const auto& c : kc) { list += (list.empty() ? "" : ", ") + dl_qid(c); colnames += "+" + c; }
      p->main = "CREATE UNIQUE INDEX " + dl_obj(q.schema, cname) + " ON " + q.sql() + " (" + list + ")";
      p->post.push_back("INSERT INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, TABSCHEMA, TABNAME, UNIQUERULE,"
                        " COLNAMES, COLCOUNT, INDEXTYPE, CATALOG_ONLY, CREATE_TIME, TEXT) VALUES (" +
                        dl_lit(q.schema) + ", " + dl_lit(cname) + ", 'I', " + dl_lit(s_.user) + ", " +
                        dl_lit(q.schema) + ", " + dl_lit(q.name) + ", '" + (pk ? "P" : "U") + "', " +
                        dl_lit(colnames) + ", " + std::to_string(kc.size()) + ", 'REG', 0, " + now_lit() +
                        ", 'CONSTRAINT')");
      for (size_t k = 0; k < kc.size(); ++k)
        p->post.push_back(ddl_plan_row("DL_INDEXCOLUSE", {dl_lit(q.schema), dl_lit(cname), dl_lit(kc[k]),
                                                          std::to_string(k + 1), "'A'"}));
      return;
    }
    if (accept("CHECK")) {
      expectp("(");
      size_t from = i_;
      std::string plain = expr_until(kNoStops);
      size_t to = i_;
      // The same condition over NEW for the triggers.
      std::vector<ColDef> cols = table_columns(q);
      for (const auto& c : cols) bare_cols_[c.name] = "NEW." + dl_qid(c.name);
      i_ = from;
      std::string over_new = expr_until(kNoStops);
      bare_cols_.clear();
      expectp(")");
      expect_end();
      if (cname.empty()) cname = system_name(&tmp_);
      std::string text = source(from, to);
      std::string fail = "DL_RAISE('23513', -545, " +
                         dl_lit("The requested operation is not allowed because a row does not satisfy the check constraint \"" +
                                q.schema + "." + q.name + "." + cname + "\".") + ")";
      p->main = finish("SELECT DL_RAISE('23512', -544, " +
                       dl_lit("The check constraint \"" + cname + "\" cannot be added because the table contains a row that violates the constraint.") +
                       ") FROM " + q.sql() + " WHERE NOT (" + plain + ") LIMIT 1");
      for (const char* ev : {"INSERT", "UPDATE"})
        p->post.push_back(finish("CREATE TRIGGER " + dl_qid(q.full() + "#CK#" + cname + "#" + ev + "#" + random_tag()) + " BEFORE " +
                                 ev + " ON " + q.sql() + " FOR EACH ROW WHEN NOT (" + over_new +
                                 ") BEGIN SELECT " + fail + "; END"));
      p->post.push_back(ddl_plan_row("DL_CHECKS", {dl_lit(cname), dl_lit(s_.user), dl_lit(q.schema), dl_lit(q.name),
                                                   now_lit(), dl_lit(q.schema), "'C'", "NULL", dl_lit(text)}));
      return;
    }
    if (is("FOREIGN")) tx_raise("42997", -270, "Function not supported (Reason code = \"ADD FOREIGN KEY\").");
    if (!cname.empty()) unexpected();
    accept("COLUMN");
    ColDef c = column_def(q, true);
    expect_end();
    std::vector<std::vector<std::string>> rows;
    dl_query(db_, "SELECT 1 FROM DL_COLUMNS WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND COLNAME = ?3",
             {q.schema, q.name, c.name}, &rows);
    if (!rows.empty()) tx_raise("42S21", -612, "\"" + c.name + "\" is a duplicate name.");
    if (c.notnull && !c.has_default)
      tx_raise("42601", -193, "In an ALTER TABLE statement, the column \"" + c.name + "\" has been specified as NOT NULL and either the DEFAULT clause was not specified or was specified as DEFAULT NULL.");
    p->main = finish("ALTER TABLE " + q.sql() + " ADD COLUMN " + c.decl);
    if (c.typename_ == "CHARACTER" && c.length > 1) {
      // Existing rows took the default as written; they are filled too (note 5).
      p->post.push_back("UPDATE " + q.sql() + " SET " + dl_qid(c.name) + " = DL_PAD(" + dl_qid(c.name) + ", " +
                        std::to_string(c.length) + ") WHERE length(CAST(" + dl_qid(c.name) + " AS BLOB)) < " +
                        std::to_string(c.length));
      char_pad_triggers(q.sql(), q.full(), c, &p->post);
    }
    p->post.push_back(
        "INSERT INTO DL_COLUMNS (TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH, SCALE,"
        " DEFAULT_TEXT, NULLS, CODEPAGE, IDENTITY, GENERATED) SELECT " + dl_lit(q.schema) + ", " + dl_lit(q.name) +
        ", " + dl_lit(c.name) + ", COALESCE(MAX(COLNO), -1) + 1, " + dl_lit(c.typeschema) + ", " +
        dl_lit(c.typename_) + ", " + std::to_string(c.length) + ", " + std::to_string(c.scale) + ", " +
        (c.has_default ? dl_lit(c.default_text) : "NULL") + ", " + (c.notnull ? "'N'" : "'Y'") + ", " +
        std::to_string(c.codepage) + ", 'N', ' ' FROM DL_COLUMNS WHERE TABSCHEMA = " + dl_lit(q.schema) +
        " AND TABNAME = " + dl_lit(q.name));
    return;
  }
  // Options DB2 keeps for the table's storage and logging.
  bool any = false;
  while (!at_end()) {
    any = true;
    if (accept("DATA")) { expect("CAPTURE"); if (!accept("NONE")) expect("CHANGES"); }
    else if (accept("APPEND")) { if (!accept("ON")) expect("OFF"); }
    else if (accept("PCTFREE")) { if (cur().type != TokType::Num) unexpected(); next(); }
    else if (accept("LOCKSIZE")) { if (!accept("ROW") && !accept("TABLE")) unexpected(); }
    else if (accept("VOLATILE")) { accept("CARDINALITY"); }
    else if (is("NOT") && is_at(1, "VOLATILE")) { next(); next(); accept("CARDINALITY"); }
    else if (is("ACTIVATE") || is("ALTER") || is("DROP")) tx_raise("42997", -270, "Function not supported (Reason code = \"ALTER TABLE " + cur().text + "\").");
    else unexpected();
  }
  if (!any) unexpected();
  p->main = "SELECT 1 FROM " + q.sql() + " WHERE 0";
}

void Tx::stmt_rename(DlPlan* p) {
  expect("RENAME");
  accept("TABLE");
  p->kind = DlKind::Ddl;
  p->writes = true;
  QName q = qname();
  note_table(q);
  expect("TO");
  std::string to = ident();
  expect_end();
  if (!table_exists(q, "'T'")) tx_raise("42S02", -204, "\"" + q.full() + "\" is an undefined name.");
  require_table_priv(this, q, "CONTROL", &DlTablePriv::control);
  QName n{q.schema, to};
  if (table_exists(n))
    tx_raise("42S01", -601, "The name of the object to be created is identical to the existing name \"" + n.full() +
                                "\" of type \"TABLE\".");
  ddl_targets_.insert(q.full());
  ddl_targets_.insert(n.full());
  p->target = n.full();
  p->main = "ALTER TABLE " + q.sql() + " RENAME TO " + n.sql();
  std::string s = dl_lit(q.schema), a = dl_lit(q.name), b = dl_lit(n.name);
  p->post.push_back("UPDATE DL_OBJECTS SET NAME = " + b + " WHERE KIND = 'T' AND SCHEMA = " + s + " AND NAME = " + a);
  p->post.push_back("UPDATE DL_OBJECTS SET TABNAME = " + b + " WHERE KIND IN ('I', 'G') AND TABSCHEMA = " + s + " AND TABNAME = " + a);
  for (const char* t : {"DL_COLUMNS", "DL_IDENTITY", "DL_CHECKS", "DL_TABAUTH"})
    p->post.push_back(std::string("UPDATE ") + t + " SET TABNAME = " + b + " WHERE TABSCHEMA = " + s + " AND TABNAME = " + a);
}

// ============================================================================
// 7. GRANT and REVOKE
// ============================================================================

void Tx::stmt_grant(DlPlan* p, bool grant) {
  next();  // GRANT / REVOKE
  p->kind = DlKind::Ddl;
  p->writes = true;
  static const char* const kCols[] = {"CONTROLAUTH", "ALTERAUTH", "DELETEAUTH", "INDEXAUTH",
                                      "INSERTAUTH", "SELECTAUTH", "REFAUTH", "UPDATEAUTH"};
  std::set<std::string> privs;  // column names
  std::set<std::string> dbauths;
  bool on_database = false;
  for (;;) {
    if (accept("ALL")) {
      accept("PRIVILEGES");
      for (int k = 1; k < 8; ++k) privs.insert(kCols[k]);
    } else if (accept("CONTROL")) privs.insert("CONTROLAUTH");
    else if (accept("ALTER")) privs.insert("ALTERAUTH");
    else if (accept("DELETE")) privs.insert("DELETEAUTH");
    else if (accept("INDEX")) privs.insert("INDEXAUTH");
    else if (accept("INSERT")) privs.insert("INSERTAUTH");
    else if (accept("SELECT")) privs.insert("SELECTAUTH");
    else if (accept("REFERENCES") || accept("UPDATE")) {
      privs.insert(t_[i_ - 1].text == "UPDATE" ? "UPDATEAUTH" : "REFAUTH");
      if (acceptp("(")) {
        for (;;) { ident(); if (!acceptp(",")) break; }
        expectp(")");
      }
    } else if (is("CONNECT") || is("CREATETAB") || is("BINDADD") || is("DBADM") ||
               is("CREATE_NOT_FENCED") || is("IMPLICIT_SCHEMA")) {
      dbauths.insert(cur().text);
      next();
    } else unexpected();
    if (!acceptp(",")) break;
  }
  expect("ON");
  QName q;
  if (!dbauths.empty()) {
    if (!privs.empty()) unexpected();
    expect("DATABASE");
    on_database = true;
  } else {
    accept("TABLE");
    q = qname();
    note_table(q);
  }
  if (grant) expect("TO");
  else expect("FROM");
  std::vector<std::pair<std::string, std::string>> grantees;  // name, type
  for (;;) {
    if (accept("PUBLIC")) grantees.push_back({"PUBLIC", "G"});
    else if (accept("USER")) grantees.push_back({ident(), "U"});
    else if (accept("GROUP")) grantees.push_back({ident(), "G"});
    else grantees.push_back({ident(), "U"});
    if (!acceptp(",")) break;
  }
  bool with_grant = false;
  if (grant && accept("WITH")) {
    expect("GRANT");
    expect("OPTION");
    with_grant = true;
  }
  if (!grant && accept("BY")) expect("ALL");
  expect_end();

  if (on_database) {
    if (!dbadm())
      tx_raise("42502", -552, "\"" + s_.user + "\" does not have the privilege to perform operation \"" +
                                  std::string(grant ? "GRANT" : "REVOKE") + "\".");
    p->target.clear();
    std::string first;
    for (const auto& g : grantees) {
      p->post.push_back("INSERT OR IGNORE INTO DL_DBAUTH (GRANTOR, GRANTEE, GRANTEETYPE) VALUES (" + dl_lit(s_.user) +
                        ", " + dl_lit(g.first) + ", " + dl_lit(g.second) + ")");
      for (const auto& a : dbauths) {
        std::string col = a == "CONNECT" ? "CONNECTAUTH" : a == "CREATETAB" ? "CREATETABAUTH"
                        : a == "BINDADD" ? "BINDADDAUTH" : a == "DBADM" ? "DBADMAUTH"
                        : a == "CREATE_NOT_FENCED" ? "NOFENCEAUTH" : "IMPLSCHEMAAUTH";
        p->post.push_back("UPDATE DL_DBAUTH SET " + col + " = '" + (grant ? "Y" : "N") + "' WHERE GRANTEE = " +
                          dl_lit(g.first) + " AND GRANTEETYPE = " + dl_lit(g.second));
      }
    }
    p->main = p->post.front();
    p->post.erase(p->post.begin());
    return;
  }

  if (!table_exists(q)) tx_raise("42S02", -204, "\"" + q.full() + "\" is an undefined name.");
  p->target = q.full();
  // Who may grant: DBADM; the holder of CONTROL; the holder of a privilege
  // with the grant option, for that privilege. Only DBADM grants CONTROL.
  // Revoking takes DBADM or CONTROL.
  if (!dbadm()) {
    std::vector<std::vector<std::string>> rows;
    dl_query(db_, "SELECT CONTROLAUTH, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH, REFAUTH,"
                  " UPDATEAUTH FROM DL_TABAUTH WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND"
                  " ((GRANTEE = ?3 AND GRANTEETYPE = 'U') OR (GRANTEE = 'PUBLIC' AND GRANTEETYPE = 'G'))",
             {q.schema, q.name, s_.user}, &rows);
    std::set<std::string> held_g;
    bool control = false;
    for (const auto& r : rows) {
      if (r[0] == "Y") control = true;
      for (int k = 1; k < 8; ++k)
        if (r[k] == "G") held_g.insert(kCols[k]);
    }
    for (const auto& pv : privs) {
      bool ok = pv == "CONTROLAUTH" ? false : (control || (grant && held_g.count(pv)));
      if (!ok)
        tx_raise("42501", -551, "\"" + s_.user + "\" does not have the privilege to perform operation \"" +
                                    std::string(grant ? "GRANT" : "REVOKE") + "\" on object \"" + q.full() + "\".");
    }
  }
  std::string s = dl_lit(q.schema), n = dl_lit(q.name);
  std::vector<std::string> stmts;
  for (const auto& g : grantees) {
    std::string who = dl_lit(g.first), type = dl_lit(g.second);
    if (grant) {
      stmts.push_back("INSERT OR IGNORE INTO DL_TABAUTH (GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME) VALUES (" +
                      dl_lit(s_.user) + ", " + who + ", " + type + ", " + s + ", " + n + ")");
      for (const auto& pv : privs) {
        std::string v = pv == "CONTROLAUTH" ? "'Y'" : (with_grant ? "'G'" : "CASE " + pv + " WHEN 'G' THEN 'G' ELSE 'Y' END");
        stmts.push_back("UPDATE DL_TABAUTH SET " + pv + " = " + v + " WHERE GRANTOR = " + dl_lit(s_.user) +
                        " AND GRANTEE = " + who + " AND GRANTEETYPE = " + type + " AND TABSCHEMA = " + s +
                        " AND TABNAME = " + n);
      }
    } else {
      // Revoking what was never granted is an error in DB2.
      std::string held;
      for (const auto& pv : privs) held += (held.empty() ? "" : " OR ") + pv + " <> 'N'";
      stmts.push_back("SELECT DL_RAISE('42504', -556, " +
                      dl_lit("An attempt to revoke a privilege from \"" + g.first +
                             "\" was denied because \"" + g.first + "\" does not hold the privilege.") +
                      ") WHERE NOT EXISTS (SELECT 1 FROM DL_TABAUTH WHERE GRANTEE = " + who +
                      " AND GRANTEETYPE = " + type + " AND TABSCHEMA = " + s + " AND TABNAME = " + n +
                      " AND (" + held + "))");
      std::string set;
      for (const auto& pv : privs) set += (set.empty() ? "" : ", ") + pv + " = 'N'";
      stmts.push_back("UPDATE DL_TABAUTH SET " + set + " WHERE GRANTEE = " + who + " AND GRANTEETYPE = " + type +
                      " AND TABSCHEMA = " + s + " AND TABNAME = " + n);
      stmts.push_back("DELETE FROM DL_TABAUTH WHERE GRANTEE = " + who + " AND GRANTEETYPE = " + type +
                      " AND TABSCHEMA = " + s + " AND TABNAME = " + n +
                      " AND CONTROLAUTH = 'N' AND ALTERAUTH = 'N' AND DELETEAUTH = 'N' AND INDEXAUTH = 'N'"
                      " AND INSERTAUTH = 'N' AND SELECTAUTH = 'N' AND REFAUTH = 'N' AND UPDATEAUTH = 'N'");
    }
  }
  p->main = stmts.front();
  p->post.assign(stmts.begin() + 1, stmts.end());
}

}  // namespace dl
