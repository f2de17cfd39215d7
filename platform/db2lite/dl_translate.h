// dl_translate.h -- the translator's working state, shared by the files of
// the translator (dl_translate.cpp: statements, queries and expressions;
// dl_translate_ddl.cpp: CREATE, DROP, ALTER, GRANT, REVOKE, procedures).
//
// One Tx translates one statement text. It walks the tokens once, writing
// SQLite text as it goes; failures are thrown as TxError inside the
// translator and turned into a diagnostic at dl_translate's edge, so no
// exception leaves the engine.
#ifndef DL_TRANSLATE_H
#define DL_TRANSLATE_H

#include "dl_internal.h"
#include "dl_spatial.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace dl {

struct TxError {
  std::string state;
  int32_t native;
  std::string text;
};

[[noreturn]] void tx_raise(const char* state, int32_t native, const std::string& body);

struct QName {
  std::string schema, name;
  std::string full() const { return schema + "." + name; }
  std::string sql() const { return dl_obj(schema, name); }
};

// A column as CREATE TABLE or ALTER TABLE ... ADD declares it.
struct ColDef {
  std::string name;
  std::string typeschema = "SYSIBM";
  std::string typename_;   // catalogue spelling (CHARACTER, DECIMAL, VARCHAR, ...)
  int64_t length = 0;
  int scale = 0;
  int codepage = 1208;     // 0 for binary data
  bool notnull = false;
  bool identity = false;
  int64_t id_start = 1, id_inc = 1, id_cache = 20;
  bool has_default = false;
  std::string default_sql;   // the default as SQLite takes it
  std::string default_text;  // the default as SYSCAT.COLUMNS shows it
  std::string decl;          // the SQLite declaration, constraints included
  int64_t max_bytes = 0;     // enforced length; 0 when none
};

class Tx {
 public:
  Tx(sqlite3* db, const DlSession& s, std::vector<Tok>&& toks, const char* text);
  void run(DlPlan* plan);

  // ---- tokens
  const Tok& cur() const { return t_[i_]; }
  const Tok& peek(size_t k = 1) const { return t_[i_ + k < t_.size() ? i_ + k : t_.size() - 1]; }
  bool is(const char* w) const { return cur().type == TokType::Word && cur().text == w; }
  bool is_at(size_t k, const char* w) const { return peek(k).type == TokType::Word && peek(k).text == w; }
  bool isp(const char* p) const { return cur().type == TokType::Punct && cur().text == p; }
  bool isp_at(size_t k, const char* p) const { return peek(k).type == TokType::Punct && peek(k).text == p; }
  bool at_end() const { return cur().type == TokType::End; }
  void next() { if (i_ + 1 < t_.size()) ++i_; }
  bool accept(const char* w) { if (is(w)) { next(); return true; } return false; }
  bool acceptp(const char* p) { if (isp(p)) { next(); return true; } return false; }
  void expect(const char* w) { if (!accept(w)) unexpected(); }
  void expectp(const char* p) { if (!acceptp(p)) unexpected(); }
  [[noreturn]] void unexpected() const;
  void expect_end();
  std::string source(size_t from_tok, size_t to_tok) const;  // text as written

  // ---- names
  std::string ident();                        // one identifier part
  bool is_ident() const { return cur().type == TokType::Word || cur().type == TokType::QIdent; }
  QName qname();                              // 1-3 part object name, resolved
  QName qname_in(const std::string& schema);  // 1-2 part, unqualified -> schema
  void note_table(const QName& q);            // a table the statement names
  bool table_exists(const QName& q, const char* kinds = "'T','V'");

  // ---- queries and expressions (dl_translate.cpp)
  std::string seq(bool stop_at_comma, const std::set<std::string>& stop_words);
  std::string expr_until(const std::set<std::string>& stop_words) { return seq(false, stop_words); }
  std::string item() { return seq(true, kItemStops); }
  std::string query();        // a full query expression up to ')' or the end
  std::string table_ref();
  std::string from_list();
  std::string values_rows();
  std::string select_list();
  std::string dotted_or_call();
  std::string special_register();
  std::string cast_type();    // a type inside CAST: SQLite's name
  std::string expression_type(size_t from, size_t to) const;

  // ---- statements
  void stmt_query(DlPlan* p);
  void stmt_insert(DlPlan* p);
  void stmt_change(DlPlan* p, std::string (Tx::*build)(QName*, std::string*));  // UPDATE, DELETE
  std::string insert_sql(QName* target);
  std::string update_sql(QName* target, std::string* cursor);
  std::string delete_sql(QName* target, std::string* cursor);
  void stmt_set(DlPlan* p);
  void stmt_call(DlPlan* p);
  void stmt_lock(DlPlan* p);

  // ---- DDL (dl_translate_ddl.cpp)
  void stmt_create(DlPlan* p);
  void stmt_drop(DlPlan* p);
  void stmt_alter(DlPlan* p);
  void stmt_rename(DlPlan* p);
  void stmt_grant(DlPlan* p, bool grant);
  void create_table(DlPlan* p);
  void create_index(DlPlan* p, bool unique);
  void create_view(DlPlan* p);
  void create_trigger(DlPlan* p);
  void create_procedure(DlPlan* p);
  ColDef column_def(const QName& table, bool in_alter);
  void data_type(ColDef* c);
  std::string trigger_body();
  void storage_clauses(std::string* tbspace);
  std::string check_condition(const QName& table, std::vector<std::string>* cols_out);
  std::vector<ColDef> table_columns(const QName& q);  // from the catalogue

  // ---- finishing
  std::string finish(const std::string& sql);  // resolves deferred column references
  void fill_privileges();
  bool dbadm();
  bool has_auth(const char* a);
  std::string now_lit() const { return dl_lit(dl_now_timestamp()); }

  static const std::set<std::string> kClauseWords;  // cannot be an alias
  static const std::set<std::string> kItemStops;    // end a list item

  sqlite3* db_;
  const DlSession& s_;
  std::vector<Tok> t_;
  const char* text_;
  size_t i_ = 0;
  int depth_ = 0;
  int nparams_ = 0;
  int tmp_ = 0;              // numbering of helper names
  bool in_set_target_ = false;
  bool top_select_ = true;   // the next SELECT is the outermost one
  bool for_update_ = false;
  int dbadm_ = -1;           // cached: -1 unknown
  std::string rowid_marker_;  // where the hidden rowid column goes
  std::vector<std::string> column_types_;  // of the outermost select list
  bool star_ = false;                      // the outermost select list has a '*' 

  struct Ref { std::vector<std::string> quals; std::string col; };
  std::vector<Ref> refs_;
  std::set<std::string> aliases_;                 // correlation names in scope
  std::set<std::string> ctes_;                    // common table expressions
  std::map<std::string, std::string> exposed_;    // unaliased table NAME -> "S.T"
  std::map<std::string, QName> table_of_;         // correlation name or exposed NAME -> its base table
  struct SpatialFilter { std::string search; size_t ref; };
  std::vector<SpatialFilter> spatial_;            // EnvelopesIntersect(search, column) = 1, by marker
  bool spatial_filter(const std::string& args, size_t from, size_t to, std::string* out);
  std::map<std::string, std::string> corr_;       // trigger correlation -> OLD / NEW
  std::vector<QName> tables_;                     // tables the statement names
  std::set<std::string> ddl_targets_;             // objects this DDL may touch freely
  std::string single_table_;                      // the only table of a FOR UPDATE query
  std::string single_alias_;
  std::map<std::string, std::string> bare_cols_;  // unqualified column -> its SQL (NEW.C in a check trigger)
};

}  // namespace dl

#endif
