// dl_translate.cpp -- DB2 statement text to an SQLite plan: the entry point,
// name resolution, queries and expressions, and the DML, SET, CALL, LOCK
// TABLE, COMMIT and ROLLBACK statements. DDL is in dl_translate_ddl.cpp.
//
// Divisions: 1. entry point; 2. tokens and names; 3. queries and
// expressions; 4. statements; 5. finishing (deferred references, privileges).
//
// Notes:
//  1. Translation is token by token and never looks inside a string literal,
//     so a client's text cannot change the statement's shape through one.
//  2. A table name of one, two or three parts becomes the SQLite name
//     "SCHEMA.NAME"; the first of three parts must be the connected database.
//  3. A column qualified by a table (T.C, S.T.C, D.S.T.C) may appear before
//     the FROM clause that names its table, so it is written as a marker and
//     resolved when the whole statement has been read (Tx::finish).
//  4. Anything the translator does not know is a syntax error (42601) or
//     DB2's state for the unsupported form, never passed on unread.
#include "dl_translate.h"

#include <string.h>

#include <algorithm>

namespace dl {

extern thread_local std::string g_last_denial;

void tx_raise(const char* state, int32_t native, const std::string& body) {
  throw TxError{state, native, dl_msg(native, body, state)};
}

// Words that end an expression or a table reference (they cannot be aliases).
const std::set<std::string> Tx::kClauseWords = {
    "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "EXCEPT", "INTERSECT", "FETCH",
    "FOR", "WITH", "OPTIMIZE", "INTO", "SET", "ON", "JOIN", "INNER", "LEFT", "RIGHT", "FULL",
    "CROSS", "OUTER", "USING", "NATURAL", "LIMIT", "VALUES", "SELECT", "WHEN", "THEN", "ELSE",
    "END", "AND", "OR", "NOT", "IN", "IS", "AS", "BY", "ASC", "DESC", "SELECTIVITY", "LIKE",
    "BETWEEN", "EXISTS", "ESCAPE", "CASE", "NULL", "ALL", "DISTINCT", "ANY", "SOME"};

// Words that end an item of a select list or a VALUES row.
const std::set<std::string> Tx::kItemStops = {"FROM", "INTO", "WHERE", "GROUP", "HAVING", "ORDER",
                                              "UNION", "EXCEPT", "INTERSECT", "FETCH", "FOR",
                                              "OPTIMIZE", "WITH"};

namespace {

const std::set<std::string> kNoStops;

bool is_reserved(const Tok& t) {
  return t.type == TokType::Word && Tx::kClauseWords.count(t.text) != 0;
}

}  // namespace

// ============================================================================
// 1. entry point
// ============================================================================

Tx::Tx(sqlite3* db, const DlSession& s, std::vector<Tok>&& toks, const char* text)
    : db_(db), s_(s), t_(std::move(toks)), text_(text) {}

int dl_translate(sqlite3* db, const DlSession& session, const char* text, size_t len,
                 DlPlan* plan, DlDiag* diag) {
  if (plan == nullptr) return -1;
  *plan = DlPlan();
  std::vector<Tok> toks;
  if (dl_lex(text, len, &toks, diag) != 0) return -1;
  try {
    Tx tx(db, session, std::move(toks), text);
    tx.run(plan);
  } catch (const TxError& e) {
    dl_set_diag(diag, e.state.c_str(), e.native, e.text);
    return -1;
  } catch (const std::bad_alloc&) {
    dl_set_diag(diag, "57011", -930, dl_msg(-930, "There is not enough storage available to process the statement.", "57011"));
    return -1;
  }
  if (diag) dl_set_diag(diag, "00000", 0, "");
  return 0;
}

void Tx::run(DlPlan* p) {
  if (at_end()) tx_raise("42617", -198, "The statement string is blank or empty.");
  if (is("SELECT") || is("WITH") || is("VALUES") || isp("(")) {
    stmt_query(p);
  } else if (is("INSERT")) {
    stmt_insert(p);
  } else if (is("UPDATE")) {
    stmt_change(p, &Tx::update_sql);
  } else if (is("DELETE")) {
    stmt_change(p, &Tx::delete_sql);
  } else if (is("CREATE")) {
    stmt_create(p);
  } else if (is("DROP")) {
    stmt_drop(p);
  } else if (is("ALTER")) {
    stmt_alter(p);
  } else if (is("RENAME")) {
    stmt_rename(p);
  } else if (is("GRANT")) {
    stmt_grant(p, true);
  } else if (is("REVOKE")) {
    stmt_grant(p, false);
  } else if (is("LOCK")) {
    stmt_lock(p);
  } else if (is("SET")) {
    stmt_set(p);
  } else if (is("CALL")) {
    stmt_call(p);
  } else if (is("COMMIT") || is("ROLLBACK")) {
    p->kind = is("COMMIT") ? DlKind::Commit : DlKind::Rollback;
    next();
    accept("WORK");
    expect_end();
  } else {
    unexpected();
  }
  p->nparams = nparams_;
  fill_privileges();
}

// ============================================================================
// 2. tokens and names
// ============================================================================

void Tx::unexpected() const {
  const Tok& k = cur();
  if (k.type == TokType::Punct && k.text == ";")
    tx_raise("42601", -104, "An unexpected token \";\" was found. Only one statement may be given.");
  std::string shown = k.type == TokType::End ? "END OF STATEMENT" : source(i_, i_ + 1);
  if (shown.size() > 40) shown = shown.substr(0, 40);
  tx_raise("42601", -104, "An unexpected token \"" + shown + "\" was found.");
}

void Tx::expect_end() {
  if (!at_end()) unexpected();
}

std::string Tx::source(size_t a, size_t b) const {
  if (a >= t_.size() || b <= a) return std::string();
  if (b > t_.size()) b = t_.size();
  size_t from = t_[a].pos, to = t_[b - 1].end;
  return std::string(text_ + from, to - from);
}

std::string Tx::ident() {
  if (!is_ident()) unexpected();
  std::string r = cur().text;
  next();
  return r;
}

QName Tx::qname() {
  std::vector<std::string> parts;
  parts.push_back(ident());
  while (isp(".") && (peek().type == TokType::Word || peek().type == TokType::QIdent) &&
         parts.size() < 3) {
    next();
    parts.push_back(ident());
  }
  if (isp(".")) unexpected();
  QName q;
  if (parts.size() == 3) {
    if (dl_upper(parts[0]) != dl_upper(s_.database))
      tx_raise("42S02", -204, "\"" + parts[0] + "." + parts[1] + "." + parts[2] +
                                  "\" is an undefined name.");
    q.schema = parts[1];
    q.name = parts[2];
  } else if (parts.size() == 2) {
    q.schema = parts[0];
    q.name = parts[1];
  } else {
    q.schema = s_.schema.empty() ? s_.user : s_.schema;
    q.name = parts[0];
  }
  return q;
}

QName Tx::qname_in(const std::string& schema) {
  QName q;
  q.name = ident();
  if (acceptp(".")) {
    q.schema = q.name;
    q.name = ident();
  } else {
    q.schema = schema;
  }
  return q;
}

void Tx::note_table(const QName& q) {
  for (const auto& t : tables_)
    if (t.schema == q.schema && t.name == q.name) return;
  tables_.push_back(q);
}

bool Tx::table_exists(const QName& q, const char* kinds) {
  std::vector<std::vector<std::string>> rows;
  return dl_query(db_, std::string("SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND IN (") +
                           kinds + ")",
                  {q.schema, q.name}, &rows) == 0 &&
         !rows.empty();
}

// ============================================================================
// 3. queries and expressions
// ============================================================================

// Translates tokens up to (not including) an unmatched ')', the end, a ','
// at this level when stop_at_comma, or a word of stop_words at this level.
std::string Tx::seq(bool stop_at_comma, const std::set<std::string>& stop_words) {
  if (++depth_ > kMaxNesting) tx_raise("54001", -101, "The statement is too long or too complex.");
  std::string out;
  size_t last_primary = std::string::npos;  // where the last operand starts in out
  auto put = [&](const std::string& s, bool primary) {
    if (!out.empty() && !s.empty()) out += ' ';
    if (primary) last_primary = out.size();
    out += s;
  };
  for (;;) {
    const Tok& k = cur();
    if (k.type == TokType::End) break;
    if (k.type == TokType::Punct) {
      const std::string& p = k.text;
      if (p == ";") unexpected();
      if (p == ")") break;
      if (p == "," && stop_at_comma) break;
      if (p == "(") {
        next();
        std::string inner;
        if (is("SELECT") || is("WITH") || is("VALUES")) inner = query();
        else inner = seq(false, kNoStops);
        expectp(")");
        put("(" + inner + ")", true);
        continue;
      }
      if (p == "..") {
        // expr..Method(args) -> Method(expr, args)
        next();
        if (last_primary == std::string::npos) unexpected();
        std::string m;
        if (!dl_spatial_method_function(cur().text, &m))
          tx_raise("42884", -440, "No authorized routine named \"" + cur().text.substr(0, 128) +
                                      "\" of type \"METHOD\" having compatible arguments was found.");
        ident();
        std::string args;
        if (acceptp("(")) {
          args = seq(false, kNoStops);
          expectp(")");
        }
        std::string target = out.substr(last_primary);
        out.erase(last_primary);
        out += m + "(" + target + (args.empty() ? "" : ", " + args) + ")";
        continue;
      }
      if (p == "!" || p == ":") unexpected();
      if (p == "^=") { put("<>", false); next(); continue; }
      if (p == "!>") { put("<=", false); next(); continue; }
      if (p == "!<") { put(">=", false); next(); continue; }
      put(p, false);
      next();
      continue;
    }
    if (k.type == TokType::Param) {
      ++nparams_;
      put("?", true);
      next();
      continue;
    }
    if (k.type == TokType::Str) {
      put(k.text, true);
      next();
      continue;
    }
    if (k.type == TokType::Num) {
      char last = k.text.back();
      if (last == 'K' || last == 'M' || last == 'G') unexpected();
      put(k.text, true);
      next();
      continue;
    }
    if (k.type == TokType::QIdent) {
      put(dotted_or_call(), true);
      continue;
    }
    // A word.
    const std::string w = k.text;
    if (stop_words.count(w)) break;
    if (w == "FROM" || w == "JOIN") {
      put(w, false);
      next();
      put(from_list(), false);
      continue;
    }
    if (w == "SELECT") {
      put(select_list(), false);
      continue;
    }
    if (w == "VALUES") {
      put(values_rows(), false);
      continue;
    }
    if (w == "WITH") {
      // Isolation clause at the end of a query: WITH UR | CS | RS | RR.
      if ((is_at(1, "UR") || is_at(1, "CS") || is_at(1, "RS") || is_at(1, "RR")) &&
          (peek(2).type == TokType::End || (peek(2).type == TokType::Punct && peek(2).text == ")"))) {
        next();
        next();
        continue;
      }
      // Common table expressions: WITH name [(cols)] AS (query), ...
      put("WITH", false);
      next();
      for (;;) {
        std::string name = ident();
        ctes_.insert(name);
        std::string head = dl_qid(name);
        if (acceptp("(")) {
          std::string cols;
          for (;;) {
            cols += (cols.empty() ? "" : ", ") + dl_qid(ident());
            if (!acceptp(",")) break;
          }
          expectp(")");
          head += " (" + cols + ")";
        }
        expect("AS");
        expectp("(");
        std::string q = query();
        expectp(")");
        put(head + " AS (" + q + ")", false);
        if (!acceptp(",")) break;
        out += ",";
      }
      continue;
    }
    if (w == "FETCH" && (is_at(1, "FIRST") || is_at(1, "NEXT"))) {
      next();
      next();
      std::string n = "1";
      if (cur().type == TokType::Num) { n = cur().text; next(); }
      if (!accept("ROW")) expect("ROWS");
      expect("ONLY");
      put("LIMIT " + n, false);
      continue;
    }
    if (w == "OPTIMIZE" && is_at(1, "FOR")) {
      next();
      next();
      if (cur().type != TokType::Num) unexpected();
      next();
      if (!accept("ROW")) expect("ROWS");
      continue;
    }
    if (w == "FOR" && (is_at(1, "UPDATE") || is_at(1, "READ") || is_at(1, "FETCH"))) {
      next();
      if (accept("UPDATE")) {
        for_update_ = true;
        if (accept("OF")) {
          for (;;) {
            ident();
            if (!acceptp(",")) break;
          }
        }
      } else {
        next();
        expect("ONLY");
      }
      continue;
    }
    if (w == "SELECTIVITY") {
      next();
      if (cur().type != TokType::Num) unexpected();
      next();
      continue;
    }
    if (w == "CAST" && isp_at(1, "(")) {
      next();
      next();
      std::string e = expr_until({"AS"});
      expect("AS");
      std::string ty = cast_type();
      expectp(")");
      put("CAST(" + e + " AS " + ty + ")", true);
      continue;
    }
    if (w == "CONCAT" && !isp_at(1, "(")) {
      put("||", false);
      next();
      continue;
    }
    if (w == "DEFAULT") unexpected();  // only an INSERT's VALUES list takes it
    std::string reg = special_register();
    if (!reg.empty()) {
      put(reg, true);
      continue;
    }
    if (is_reserved(k) || w == "CASE" || w == "NULL") {
      put(w, w == "CASE" || w == "NULL");
      next();
      continue;
    }
    put(dotted_or_call(), true);
  }
  --depth_;
  return out;
}

// A full query expression (up to an unmatched ')' or the end).
std::string Tx::query() { return seq(false, kNoStops); }

// DB2 special registers as calls of the engine's functions; "" when the
// current token does not start one.
std::string Tx::special_register() {
  const std::string& w = cur().text;
  if (isp_at(1, ".") || isp_at(1, "(")) return std::string();
  struct One { const char* word; const char* fn; };
  static const One kOne[] = {{"USER", "DL_USER()"}, {"SESSION_USER", "DL_USER()"},
                             {"SYSTEM_USER", "DL_USER()"}, {"CURRENT_USER", "DL_USER()"},
                             {"CURRENT_SCHEMA", "DL_SCHEMA()"}, {"CURRENT_PATH", "DL_PATH()"},
                             {"CURRENT_SERVER", "DL_SERVER()"}, {"CURRENT_TIMESTAMP", "DL_TIMESTAMP()"},
                             {"CURRENT_DATE", "DL_DATE()"}, {"CURRENT_TIME", "DL_TIME()"}};
  for (const One& o : kOne)
    if (w == o.word) { next(); return o.fn; }
  if (w != "CURRENT") return std::string();
  static const One kCurrent[] = {{"USER", "DL_USER()"}, {"SCHEMA", "DL_SCHEMA()"},
                                 {"SQLID", "DL_SCHEMA()"}, {"SERVER", "DL_SERVER()"},
                                 {"TIMESTAMP", "DL_TIMESTAMP()"}, {"DATE", "DL_DATE()"},
                                 {"TIME", "DL_TIME()"}, {"PATH", "DL_PATH()"},
                                 {"TIMEZONE", "0"}};
  for (const One& o : kCurrent) {
    if (is_at(1, o.word)) {
      next();
      next();
      return o.fn;
    }
  }
  if (is_at(1, "FUNCTION") && is_at(2, "PATH")) {
    next();
    next();
    next();
    return "DL_PATH()";
  }
  unexpected();
}

// A name of one or more parts that is a column, a function call or a
// qualified star.
std::string Tx::dotted_or_call() {
  std::vector<std::string> parts;
  parts.push_back(ident());
  while (isp(".")) {
    if (peek().type == TokType::Word || peek().type == TokType::QIdent) {
      next();
      parts.push_back(ident());
    } else if (isp_at(1, "*")) {
      next();
      next();
      if (parts.size() > 1 && parts.size() <= 3) {
        QName q;
        q.schema = parts[parts.size() - 2];
        q.name = parts.back();
        if (parts.size() == 3 && dl_upper(parts[0]) != dl_upper(s_.database)) unexpected();
        return q.sql() + ".*";
      }
      refs_.push_back(Ref{parts, "*"});
      return "\x01" + std::to_string(refs_.size() - 1) + "\x02";
    } else {
      unexpected();
    }
  }
  if (isp("(")) {
    // A function: the schema (SYSIBM, SYSFUN, DB2GSE, ...) selects nothing
    // here, as every function the engine knows is registered by name.
    if (parts.size() > 2) unexpected();
    std::string fn = parts.back();
    next();
    size_t from = i_;
    std::string args = seq(false, kNoStops);
    size_t to = i_;
    expectp(")");
    std::string filter;
    if (fn == "ENVELOPESINTERSECT" && spatial_filter(args, from, to, &filter)) return filter;
    return fn + "(" + args + ")";
  }
  if (parts.size() > 4) unexpected();
  if (parts.size() == 1) {
    if (in_set_target_) return dl_qid(parts[0]);
    auto b = bare_cols_.find(parts[0]);
    if (b != bare_cols_.end()) return b->second;
    return parts[0] == dl_upper(parts[0]) ? parts[0] : dl_qid(parts[0]);
  }
  std::string col = parts.back();
  parts.pop_back();
  if (in_set_target_) return dl_qid(col);
  refs_.push_back(Ref{parts, col});
  return "\x01" + std::to_string(refs_.size() - 1) + "\x02";
}

// FROM t1 [alias], t2 ... (a JOIN's single table comes here too).
std::string Tx::from_list() {
  std::string r = table_ref();
  while (isp(",")) {
    next();
    r += ", " + table_ref();
  }
  return r;
}

std::string Tx::table_ref() {
  bool lateral = false;
  if (is("TABLE") && isp_at(1, "(")) {
    next();
    lateral = true;
  }
  std::string r, inner;
  bool derived = false;
  QName q;
  if (isp("(")) {
    next();
    if (!(is("SELECT") || is("WITH") || is("VALUES"))) unexpected();
    inner = query();
    expectp(")");
    derived = true;
  } else {
    if (lateral) unexpected();
    if (!is_ident()) unexpected();
    if (ctes_.count(cur().text) && !isp_at(1, ".")) {
      q.name = ident();
      r = dl_qid(q.name);
    } else {
      q = qname();
      note_table(q);
      r = q.sql();
    }
  }
  std::string alias;
  if (accept("AS")) alias = ident();
  else if (cur().type == TokType::QIdent || (cur().type == TokType::Word && !is_reserved(cur()) &&
                                             !is("TABLE") && !is("LATERAL")))
    alias = ident();
  if (derived) {
    if (alias.empty()) alias = "DL_T" + std::to_string(++tmp_);
    if (isp("(")) {
      next();
      std::string cols;
      for (;;) {
        cols += (cols.empty() ? "" : ", ") + dl_qid(ident());
        if (!acceptp(",")) break;
      }
      expectp(")");
      std::string tmp = dl_qid("DL_D" + std::to_string(++tmp_));
      r = "(WITH " + tmp + " (" + cols + ") AS (" + inner + ") SELECT * FROM " + tmp + ")";
    } else {
      r = "(" + inner + ")";
    }
  } else if (isp("(") && !alias.empty()) {
    unexpected();
  }
  if (!alias.empty()) {
    aliases_.insert(alias);
    if (!derived) table_of_[alias] = q;
    if (!derived) {
      if (single_table_.empty()) { single_table_ = r; single_alias_ = alias; }
      else single_table_ = "*";
    }
    return r + " AS " + dl_qid(alias);
  }
  if (!derived) {
    exposed_[q.name] = r;
    table_of_[q.name] = q;
    if (single_table_.empty()) single_table_ = r;
    else single_table_ = "*";
  }
  return r;
}

// VALUES (a, b), (c, d) or the bare form VALUES a, b (one row per value).
std::string Tx::values_rows() {
  next();  // VALUES
  std::string r = "VALUES ";
  bool first = true;
  for (;;) {
    if (!first) r += ", ";
    first = false;
    if (isp("(")) {
      next();
      std::string row;
      for (;;) {
        row += (row.empty() ? "" : ", ") + item();
        if (!acceptp(",")) break;
      }
      expectp(")");
      r += "(" + row + ")";
    } else {
      r += "(" + item() + ")";
    }
    if (!acceptp(",")) break;
  }
  return r;
}

// SELECT [DISTINCT|ALL] items. The outermost query's unnamed expressions
// get DB2's names: their ordinal position ("1", "2", ...).
std::string Tx::select_list() {
  next();  // SELECT
  std::string r = "SELECT";
  if (accept("DISTINCT")) r += " DISTINCT";
  else if (accept("ALL")) r += " ALL";
  bool naming = top_select_;
  top_select_ = false;
  int ordinal = 0;
  std::string items;
  for (;;) {
    ++ordinal;
    size_t from = i_;
    std::string it = item();
    size_t to = i_;
    if (it.empty()) unexpected();
    if (naming) {
      bool has_as = false, simple = true, star = false;
      int depth = 0;
      for (size_t k = from; k < to; ++k) {
        const Tok& tk = t_[k];
        if (tk.type == TokType::Punct && tk.text == "(") ++depth;
        if (tk.type == TokType::Punct && tk.text == ")") --depth;
        if (depth == 0 && tk.type == TokType::Word && tk.text == "AS") has_as = true;
        bool part = tk.type == TokType::QIdent || (tk.type == TokType::Word && !is_reserved(tk));
        bool dot = tk.type == TokType::Punct && tk.text == ".";
        if ((k - from) % 2 == 0 ? !part : !dot) simple = false;
        if (tk.type == TokType::Punct && tk.text == "*" && k + 1 == to) star = true;
      }
      if ((to - from) % 2 == 0) simple = false;
      if (simple && to - from == 1 && t_[from].type == TokType::Word &&
          (t_[from].text == "USER" || t_[from].text == "SESSION_USER" || t_[from].text == "SYSTEM_USER" ||
           t_[from].text.rfind("CURRENT_", 0) == 0))
        simple = false;
      bool bare_alias = false;
      if (!has_as && to - from >= 2) {
        const Tok& last = t_[to - 1];
        const Tok& before = t_[to - 2];
        bool last_is_name = last.type == TokType::QIdent || (last.type == TokType::Word && !is_reserved(last));
        bool before_ends = before.type == TokType::QIdent || before.type == TokType::Str ||
                           before.type == TokType::Num || before.type == TokType::Param ||
                           (before.type == TokType::Punct && before.text == ")") ||
                           (before.type == TokType::Word && !is_reserved(before));
        if (last_is_name && before_ends && !(last.type == TokType::Word && (last.text == "END"))) {
          // "CURRENT TIMESTAMP" and the like are registers, not aliases.
          if (!(before.type == TokType::Word && before.text == "CURRENT")) bare_alias = true;
        }
      }
      if (!has_as && !simple && !star && !bare_alias)
        it += " AS \"" + std::to_string(ordinal) + "\"";
      if (star) star_ = true;
      column_types_.push_back(simple ? std::string() : expression_type(from, bare_alias ? to - 1 : to));
    }
    items += (items.empty() ? " " : ", ") + it;
    if (!acceptp(",")) break;
  }
  if (naming) {
    rowid_marker_ = "\x03";
    items += rowid_marker_;
  }
  return r + items;
}

// The DB2 type of a select-list expression, when its outermost operation
// tells; "" otherwise.
std::string Tx::expression_type(size_t from, size_t to) const {
  if (from >= to) return std::string();
  const Tok& f = t_[from];
  size_t end = to;
  // Drop a trailing alias.
  if (end - from >= 3 && t_[end - 2].type == TokType::Word && t_[end - 2].text == "AS") end -= 2;
  if (end - from == 1) {
    if (f.type == TokType::Num) return f.text.find_first_of(".E") == std::string::npos ? "INTEGER" : "DOUBLE";
    if (f.type == TokType::Str) return "VARCHAR";
    if (f.type == TokType::Word && (f.text == "USER" || f.text == "SESSION_USER" || f.text == "CURRENT_USER" ||
                                    f.text == "SYSTEM_USER"))
      return "VARCHAR";
  }
  if (f.type == TokType::Word && f.text == "CURRENT" && end - from == 2) {
    const std::string& w = t_[from + 1].text;
    if (w == "TIMESTAMP" || w == "DATE" || w == "TIME") return w;
    return "VARCHAR";
  }
  for (size_t k = from; k < end; ++k)
    if (t_[k].type == TokType::Punct && t_[k].text == "||") return "VARCHAR";
  auto punct = [&](size_t k, const char* p) { return k < end && t_[k].type == TokType::Punct && t_[k].text == p; };
  // A shape method that ends the item, `expr..Method[()]` (the last one of
  // a chain): an observer answers its property's type; a mutator (with an
  // argument) answers the shape it was applied to.
  {
    int depth = 0;
    size_t dots = std::string::npos;
    for (size_t k = from; k < end; ++k) {
      if (punct(k, "(")) ++depth;
      else if (punct(k, ")")) --depth;
      else if (depth == 0 && punct(k, "..")) dots = k;
    }
    if (dots != std::string::npos) {
      if (dots + 1 >= end || t_[dots + 1].type == TokType::Str || t_[dots + 1].type == TokType::Num)
        return std::string();
      std::string fn;
      if (!dl_spatial_method_function(t_[dots + 1].text, &fn)) return std::string();
      if (dots + 2 == end || (dots + 4 == end && punct(dots + 2, "(") && punct(dots + 3, ")")))
        return dl_spatial_result_type(t_[dots + 1].text);
      if (!punct(dots + 2, "(") || !punct(end - 1, ")")) return std::string();
      std::string base = expression_type(from, dots);
      return dl_spatial_type_code(base) >= 0 ? base : std::string();
    }
  }
  // A call of a schema-qualified function (DB2GSE.ST_POINT(), SYSFUN.MOD(...)).
  std::string fn_name = f.text;
  size_t open = from + 1;
  if (f.type == TokType::Word && punct(from + 1, ".") && from + 2 < end && t_[from + 2].type == TokType::Word) {
    fn_name = t_[from + 2].text;
    open = from + 3;
  }
  if (f.type != TokType::Word || end - open < 2 || !punct(open, "(")) return std::string();
  // A call that spans the whole item.
  int depth = 0;
  for (size_t k = open; k < end; ++k) {
    if (t_[k].type == TokType::Punct && t_[k].text == "(") ++depth;
    if (t_[k].type == TokType::Punct && t_[k].text == ")" && --depth == 0 && k + 1 != end) return std::string();
  }
  static const std::map<std::string, std::string> kFn = {
      {"COUNT", "INTEGER"}, {"COUNT_BIG", "BIGINT"}, {"LENGTH", "INTEGER"}, {"INTEGER", "INTEGER"},
      {"INT", "INTEGER"}, {"SMALLINT", "SMALLINT"}, {"BIGINT", "BIGINT"}, {"DOUBLE", "DOUBLE"},
      {"FLOAT", "DOUBLE"}, {"DAYS", "INTEGER"}, {"LOCATE", "INTEGER"}, {"ASCII", "INTEGER"},
      {"UPPER", "VARCHAR"}, {"LOWER", "VARCHAR"}, {"UCASE", "VARCHAR"}, {"LCASE", "VARCHAR"},
      {"SUBSTR", "VARCHAR"}, {"RTRIM", "VARCHAR"}, {"LTRIM", "VARCHAR"}, {"CHAR", "VARCHAR"},
      {"VARCHAR", "VARCHAR"}, {"CONCAT", "VARCHAR"}, {"REPLACE", "VARCHAR"}, {"TRANSLATE", "VARCHAR"},
      {"CHR", "VARCHAR"}, {"HEX", "VARCHAR"}, {"SOUNDEX", "VARCHAR"}, {"STDDEV", "DOUBLE"},
      {"VARIANCE", "DOUBLE"}, {"LN", "DOUBLE"}, {"LOG", "DOUBLE"}, {"LOG10", "DOUBLE"},
      {"BLOB", "BLOB"}, {"IDENTITY_VAL_LOCAL", "DECIMAL(31,0)"}};
  auto it = kFn.find(fn_name);
  if (it != kFn.end()) return it->second;
  // MIN and MAX keep their argument's type (the layer envelope's
  // MIN(shape..Xmin) is a DOUBLE even over no rows).
  if ((fn_name == "MIN" || fn_name == "MAX") && end - open > 2) return expression_type(open + 1, end - 1);
  // The Spatial Extender's functions and constructors; a method's name
  // called as a function is no function at all.
  std::string method;
  if (dl_spatial_method_function(fn_name, &method)) return std::string();
  return dl_spatial_result_type(fn_name);
}

// The SQLite type named in a CAST.
std::string Tx::cast_type() {
  ColDef c;
  data_type(&c);
  const std::string& t = c.typename_;
  if (t == "SMALLINT" || t == "INTEGER" || t == "BIGINT") return "INTEGER";
  if (t == "DOUBLE" || t == "REAL") return "REAL";
  if (t == "DECIMAL") return "NUMERIC";
  if (t == "BLOB" || c.codepage == 0) return "BLOB";
  return "TEXT";
}

// ============================================================================
// 4. statements
// ============================================================================

void Tx::stmt_query(DlPlan* p) {
  p->kind = DlKind::Query;
  std::string sql = query();
  expect_end();
  p->for_update = for_update_;
  if (!star_) p->column_types = column_types_;
  if (for_update_) {
    if (single_table_.empty() || single_table_ == "*")
      tx_raise("42829", -243, "FOR UPDATE clause specified for a query that cannot be updated.");
    p->target = single_table_.substr(1, single_table_.size() - 2);
    p->rowid_last = true;
    std::string col = single_alias_.empty() ? single_table_ : dl_qid(single_alias_);
    size_t at = sql.find(rowid_marker_);
    if (at != std::string::npos) sql.replace(at, rowid_marker_.size(), ", " + col + ".rowid AS \"DL_ROWID\"");
  }
  p->main = finish(sql);
}

void Tx::stmt_insert(DlPlan* p) {
  QName q;
  p->main = finish(insert_sql(&q));
  expect_end();
  p->kind = DlKind::Dml;
  p->writes = true;
  p->target = q.full();
}

std::string Tx::insert_sql(QName* target) {
  expect("INSERT");
  expect("INTO");
  QName q = qname();
  note_table(q);
  *target = q;
  std::string r = "INSERT INTO " + q.sql();
  std::vector<std::string> cols;
  if (isp("(") && !(is_at(1, "SELECT") || is_at(1, "WITH") || is_at(1, "VALUES"))) {
    next();
    for (;;) {
      cols.push_back(ident());
      if (!acceptp(",")) break;
    }
    expectp(")");
    std::string list;
    for (const auto& c : cols) list += (list.empty() ? "" : ", ") + dl_qid(c);
    r += " (" + list + ")";
  }
  top_select_ = false;
  if (is("VALUES")) {
    // DEFAULT in a row takes the column's default (the next identity value
    // for an identity column).
    std::vector<ColDef> defs;
    bool defs_loaded = false;
    next();
    r += " VALUES ";
    bool first_row = true;
    for (;;) {
      if (!first_row) r += ", ";
      first_row = false;
      bool parens = acceptp("(");
      std::string row;
      size_t pos = 0;
      for (;;) {
        std::string v;
        if (is("DEFAULT") && (isp_at(1, ",") || isp_at(1, ")") || peek().type == TokType::End)) {
          next();
          if (!defs_loaded) { defs = table_columns(q); defs_loaded = true; }
          std::string col = pos < cols.size() ? cols[pos] : (pos < defs.size() ? defs[pos].name : "");
          v = "NULL";
          for (const auto& d : defs)
            if (d.name == col && d.has_default && !d.identity) v = d.default_sql;
        } else {
          v = item();
        }
        row += (row.empty() ? "" : ", ") + v;
        ++pos;
        if (!parens || !acceptp(",")) break;
      }
      if (parens) expectp(")");
      r += "(" + row + ")";
      if (!acceptp(",")) break;
    }
    return r;
  }
  r += " " + query();
  return r;
}

// An UPDATE or a DELETE (build reads it), searched or positioned.
void Tx::stmt_change(DlPlan* p, std::string (Tx::*build)(QName*, std::string*)) {
  QName q;
  std::string cursor;
  std::string sql = (this->*build)(&q, &cursor);
  expect_end();
  p->kind = cursor.empty() ? DlKind::Dml : DlKind::PositionedDml;
  p->cursor = cursor;
  p->writes = true;
  p->target = q.full();
  p->main = finish(sql);
}

// Reads WHERE CURRENT OF c at the end of a positioned statement.
static bool current_of(Tx* tx, std::string* cursor) {
  if (tx->is("WHERE") && tx->is_at(1, "CURRENT") && tx->is_at(2, "OF")) {
    tx->next();
    tx->next();
    tx->next();
    *cursor = tx->ident();
    return true;
  }
  return false;
}

std::string Tx::update_sql(QName* target, std::string* cursor) {
  expect("UPDATE");
  QName q = qname();
  note_table(q);
  *target = q;
  std::string r = "UPDATE " + q.sql();
  std::string alias;
  if (accept("AS")) alias = ident();
  else if (is_ident() && !is("SET")) alias = ident();
  if (!alias.empty()) {
    aliases_.insert(alias);
    r += " AS " + dl_qid(alias);
  } else {
    exposed_[q.name] = q.sql();
  }
  expect("SET");
  r += " SET ";
  bool first = true;
  for (;;) {
    if (!first) r += ", ";
    first = false;
    in_set_target_ = true;
    std::string lhs;
    if (acceptp("(")) {
      std::string cols;
      for (;;) {
        cols += (cols.empty() ? "" : ", ") + dotted_or_call();
        if (!acceptp(",")) break;
      }
      expectp(")");
      lhs = "(" + cols + ")";
    } else {
      lhs = dotted_or_call();
    }
    in_set_target_ = false;
    expectp("=");
    std::string rhs;
    if (is("DEFAULT")) unexpected();
    rhs = seq(true, {"WHERE"});
    if (rhs.empty()) unexpected();
    r += lhs + " = " + rhs;
    if (!acceptp(",")) break;
  }
  if (current_of(this, cursor)) return r + " WHERE rowid = ?";
  if (accept("WHERE")) r += " WHERE " + query();
  return r;
}

std::string Tx::delete_sql(QName* target, std::string* cursor) {
  expect("DELETE");
  expect("FROM");
  QName q = qname();
  note_table(q);
  *target = q;
  std::string r = "DELETE FROM " + q.sql();
  std::string alias;
  if (accept("AS")) alias = ident();
  else if (is_ident() && !is("WHERE")) alias = ident();
  if (!alias.empty()) {
    aliases_.insert(alias);
    r += " AS " + dl_qid(alias);
  } else {
    exposed_[q.name] = q.sql();
  }
  if (current_of(this, cursor)) return r + " WHERE rowid = ?";
  if (accept("WHERE")) r += " WHERE " + query();
  return r;
}

// SET CURRENT FUNCTION PATH = ..., SET CURRENT PATH = ..., SET PATH = ...,
// SET [CURRENT] SCHEMA [=] name.
void Tx::stmt_set(DlPlan* p) {
  expect("SET");
  p->kind = DlKind::SetRegister;
  accept("CURRENT");
  if (accept("FUNCTION")) {
    expect("PATH");
  } else if (accept("PATH")) {
  } else if (accept("SCHEMA") || accept("SQLID")) {
    acceptp("=");
    std::string v;
    if (cur().type == TokType::Str) {
      v = cur().text.substr(1, cur().text.size() - 2);
      next();
    } else if (is("USER")) {
      next();
      v = s_.user;
    } else {
      v = ident();
    }
    expect_end();
    if (v.empty() || v.size() > kMaxIdentifierLen) tx_raise("42815", -171, "The value given for CURRENT SCHEMA is not valid.");
    p->set_schema = v;
    return;
  } else {
    unexpected();
  }
  acceptp("=");
  std::vector<std::string> path;
  auto add = [&](const std::string& n) {
    for (const auto& e : path)
      if (e == n) return;
    path.push_back(n);
  };
  for (;;) {
    if (is("CURRENT") && (is_at(1, "PATH") || (is_at(1, "FUNCTION") && is_at(2, "PATH")))) {
      next();
      if (accept("FUNCTION")) {}
      expect("PATH");
      std::vector<std::string> old = s_.function_path;
      if (old.empty()) old = {"SYSIBM", "SYSFUN", s_.user};
      for (const auto& o : old) add(o);
    } else if (is("CURRENT_PATH")) {
      next();
      std::vector<std::string> old = s_.function_path;
      if (old.empty()) old = {"SYSIBM", "SYSFUN", s_.user};
      for (const auto& o : old) add(o);
    } else if (is("SYSTEM") && is_at(1, "PATH")) {
      next();
      next();
      add("SYSIBM");
      add("SYSFUN");
    } else if (is("USER")) {
      next();
      add(s_.user);
    } else if (cur().type == TokType::Str) {
      // A schema name given as a string; compared upper-cased, like every
      // schema name the engine keeps.
      std::string v = cur().text.substr(1, cur().text.size() - 2);
      next();
      if (v.empty() || v.size() > kMaxIdentifierLen) unexpected();
      add(dl_upper(v));
    } else {
      add(ident());
    }
    if (!acceptp(",")) break;
  }
  expect_end();
  if (std::find(path.begin(), path.end(), "SYSIBM") == path.end()) path.insert(path.begin(), "SYSIBM");
  p->set_function_path = path;
}

// CALL lib!entry (args) or CALL [schema.]name (args).
void Tx::stmt_call(DlPlan* p) {
  expect("CALL");
  p->kind = DlKind::Call;
  std::string name = ident();
  if (acceptp("!")) {
    name += "!" + ident();
    std::string lower;
    for (char c : name) lower += (char)tolower((unsigned char)c);
    name = lower;
  } else if (acceptp(".")) {
    name = name + "." + ident();
  } else {
    name = (s_.schema.empty() ? s_.user : s_.schema) + "." + name;
  }
  p->call_name = name;
  if (acceptp("(")) {
    if (!isp(")")) {
      for (;;) {
        std::string a = item();
        if (a.empty()) unexpected();
        p->call_args.push_back(a);
        if (!acceptp(",")) break;
      }
    }
    expectp(")");
  }
  expect_end();
  p->writes = true;
  p->main.clear();
  for (auto& a : p->call_args) a = finish(a);
}

// LOCK TABLE t IN SHARE | EXCLUSIVE MODE. The plan's main statement reads
// nothing but is prepared against the table, so a missing table or a
// missing privilege is reported as for any statement on it.
void Tx::stmt_lock(DlPlan* p) {
  expect("LOCK");
  expect("TABLE");
  QName q = qname();
  note_table(q);
  expect("IN");
  if (!accept("SHARE")) expect("EXCLUSIVE");
  expect("MODE");
  expect_end();
  p->kind = DlKind::LockTable;
  p->writes = true;
  p->target = q.full();
  p->main = "SELECT 1 FROM " + q.sql() + " WHERE 0";
}

// ============================================================================
// 5. finishing
// ============================================================================

// EnvelopesIntersect(search, column) = 1, with the column a qualified
// column reference: kept as a marker that finish() turns into the spatial
// index's form when the column's table has one. The search shape (with its
// parameter marker) is written once, so the markers keep their order.
bool Tx::spatial_filter(const std::string& args, size_t from, size_t to, std::string* out) {
  if (!(isp("=") && peek().type == TokType::Num && peek().text == "1")) return false;
  int depth = 0;
  size_t comma = std::string::npos;
  for (size_t k = from; k < to; ++k) {
    if (t_[k].type != TokType::Punct) continue;
    if (t_[k].text == "(") ++depth;
    else if (t_[k].text == ")") --depth;
    else if (t_[k].text == "," && depth == 0) comma = k;
  }
  if (comma == std::string::npos || comma + 1 >= to || (to - comma - 1) % 2 == 0) return false;
  for (size_t k = comma + 1; k < to; ++k) {
    bool part = t_[k].type == TokType::Word || t_[k].type == TokType::QIdent;
    bool dot = t_[k].type == TokType::Punct && t_[k].text == ".";
    if ((k - comma - 1) % 2 == 0 ? !part : !dot) return false;
  }
  size_t at = args.rfind(", \x01");
  if (at == std::string::npos || args.back() != '\x02') return false;
  std::string marker = args.substr(at + 3, args.size() - at - 4);
  if (marker.empty() || marker.find_first_not_of("0123456789") != std::string::npos) return false;
  next();  // =
  next();  // 1
  spatial_.push_back(SpatialFilter{args.substr(0, at), (size_t)std::stoul(marker)});
  *out = "\x05" + std::to_string(spatial_.size() - 1) + "\x06";
  return true;
}

std::string Tx::finish(const std::string& sql) {
  std::string r;
  r.reserve(sql.size() + 32);
  for (size_t k = 0; k < sql.size(); ++k) {
    char c = sql[k];
    if (c == '\x03') continue;  // no hidden column asked for
    if (c == '\x05') {
      // EnvelopesIntersect(search, column) = 1: the spatial index's form
      // when the column's table has one, else the predicate as written.
      size_t e = sql.find('\x06', k);
      const SpatialFilter& f = spatial_[(size_t)std::stoul(sql.substr(k + 1, e - k - 1))];
      k = e;
      const Ref& ref = refs_[f.ref];
      std::string column = finish("\x01" + std::to_string(f.ref) + "\x02");
      std::string qual = column.substr(0, column.size() - (ref.col == dl_upper(ref.col) ? ref.col.size() : dl_qid(ref.col).size()) - 1);
      std::string search = finish(f.search);
      QName t;
      const auto& qs = ref.quals;
      if (qs.size() == 1 && !corr_.count(qs[0]) && !ctes_.count(qs[0])) {
        auto it = table_of_.find(qs[0]);
        if (it != table_of_.end()) t = it->second;
        else if (!aliases_.count(qs[0])) t = QName{s_.schema.empty() ? s_.user : s_.schema, qs[0]};
      } else if (qs.size() == 2) {
        t = QName{qs[0], qs[1]};
      } else if (qs.size() == 3) {
        t = QName{qs[1], qs[2]};
      }
      std::string indexed;
      if (!t.name.empty() && dl_spatial_filter_sql(db_, t.schema, t.name, ref.col, qual, search, &indexed)) r += indexed;
      else r += "ENVELOPESINTERSECT(" + search + ", " + column + ") = 1";
      continue;
    }
    if (c != '\x01') {
      r += c;
      continue;
    }
    size_t e = sql.find('\x02', k);
    size_t idx = (size_t)std::stoul(sql.substr(k + 1, e - k - 1));
    k = e;
    const Ref& ref = refs_[idx];
    std::string col = ref.col == "*" ? "*" : (ref.col == dl_upper(ref.col) ? ref.col : dl_qid(ref.col));
    std::string qual;
    const auto& qs = ref.quals;
    if (qs.size() == 1) {
      const std::string& a = qs[0];
      auto c2 = corr_.find(a);
      if (c2 != corr_.end()) qual = c2->second;
      else if (aliases_.count(a) || ctes_.count(a)) qual = dl_qid(a);
      else if (exposed_.count(a)) qual = exposed_[a];
      else qual = dl_obj(s_.schema.empty() ? s_.user : s_.schema, a);
    } else if (qs.size() == 2) {
      qual = dl_obj(qs[0], qs[1]);
    } else {
      if (dl_upper(qs[0]) != dl_upper(s_.database))
        tx_raise("42S02", -204, "\"" + qs[0] + "." + qs[1] + "." + qs[2] + "\" is an undefined name.");
      qual = dl_obj(qs[1], qs[2]);
    }
    r += qual + "." + col;
  }
  return r;
}

bool Tx::dbadm() {
  if (dbadm_ < 0) dbadm_ = dl_has_authority(db_, s_.user, "DBADM") ? 1 : 0;
  return dbadm_ == 1;
}

bool Tx::has_auth(const char* a) { return dl_has_authority(db_, s_.user, a); }

// Looks up the user's privileges on every table the statement names, for
// the authorizer to use while the statement is prepared.
void Tx::fill_privileges() {
  DlSessionState* st = dl_state(s_);
  std::map<std::string, DlTablePriv> found;
  for (const auto& q : tables_) found[q.full()] = dl_table_priv(db_, s_.user, q.schema, q.name);
  bool dba = dbadm();
  std::lock_guard<std::mutex> g(st->mu);
  st->dbadm = dba;
  for (auto& f : found) st->privs[f.first] = f.second;
  st->ddl_targets = ddl_targets_;
}

}  // namespace dl
