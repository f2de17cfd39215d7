// dl_internal.h -- what the SQL engine's files share and nothing else sees:
// the DB2 tokenizer, the per-session state behind DlSession::state, the
// diagnostic helpers, and small catalogue queries.
//
// Relies on dl_engine.h. The CLI never includes this file.
#ifndef DL_INTERNAL_H
#define DL_INTERNAL_H

#include "dl_engine.h"

#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace dl {

// ---- limits on statement text (all input is a client's until shown otherwise)
constexpr size_t kMaxStatementLen = 2 * 1024 * 1024;  // DB2's own limit on a statement text
constexpr size_t kMaxTokens = 200000;                 // bounds the token vector of one text
constexpr int kMaxNesting = 200;                      // parentheses deep; stops stack exhaustion
constexpr size_t kMaxIdentifierLen = 128;             // DB2's longest identifier

// ---- tokens ---------------------------------------------------------------
enum class TokType { Word, QIdent, Str, Num, Param, Punct, End };

struct Tok {
  TokType type = TokType::End;
  std::string text;  // Word: folded to upper case; QIdent: the name as quoted;
                     // Str: the literal with its quotes; Num/Punct: as written
  size_t pos = 0;    // byte offset of the token in the text
  size_t end = 0;    // one past its last byte
};

// Splits a DB2 statement text into tokens (comments and blanks dropped),
// ending with one End token. Returns 0, or -1 with a 42601 diagnostic.
int dl_lex(const char* text, size_t len, std::vector<Tok>* out, DlDiag* diag);

// ---- diagnostics ----------------------------------------------------------
void dl_set_diag(DlDiag* diag, const char* sqlstate, int32_t native, const std::string& text);

// "SQL0204N  "ZUL.FOO" is an undefined name.  SQLSTATE=42704"
std::string dl_msg(int32_t native, const std::string& body, const char* state);

// Engine-raised failures carry their state inside the SQLite error text so
// that dl_map_error can restore them: "DL:<state>:<native>:<message>".
std::string dl_raise_text(const char* state, int32_t native, const std::string& msg);

// ---- per-session state ----------------------------------------------------
// What a user may do to one table: the ...AUTH letters folded together.
struct DlTablePriv {
  bool control = false, alter = false, del = false, index = false, insert = false,
       select = false, ref = false, update = false;
  bool exists = false;  // the object is in the catalogue
};

struct DlIdentityStore;  // the side file of identity counters (dl_identity.cpp)

struct DlSessionState {
  std::mutex mu;                              // guards the fields below
  const DlSession* session = nullptr;         // the session the state belongs to
  bool dbadm = false;                         // the user holds DBADM
  std::map<std::string, DlTablePriv> privs;   // "S.T" -> privileges, filled by dl_translate
  std::set<std::string> ddl_targets;          // objects the last DDL plan may touch freely
  bool enforce = true;                        // the authorizer checks privileges
  int64_t identity_local = 0;                 // IDENTITY_VAL_LOCAL()
  bool identity_set = false;
  std::shared_ptr<DlIdentityStore> identity;  // opened at the first identity value taken
};

// DL_IDENTITY_NEXT(id, floor, increment, cache), registered with the
// session state as user data: the next value of an identity counter, taken
// outside the unit of work so that a rollback never gives it again.
void dl_identity_next_fn(sqlite3_context* cx, int argc, sqlite3_value** argv);

// Fills the CHAR(n) value v with blanks to n bytes (DL_PAD(v, n)).
void dl_pad_fn(sqlite3_context* cx, int argc, sqlite3_value** argv);

// The state of a session, created on first use.
DlSessionState* dl_state(const DlSession& s);

// ---- SQL helpers ----------------------------------------------------------
std::string dl_lit(const std::string& s);        // 'text' with quotes doubled
std::string dl_qid(const std::string& s);        // "name" with quotes doubled
std::string dl_obj(const std::string& schema, const std::string& name);  // "S.N"
std::string dl_upper(const std::string& s);      // ASCII upper case

// Runs one SQL text with text parameters and collects every row as text
// (NULL as an empty string, with *nulls marking it when given). 0, or the
// SQLite code.
int dl_query(sqlite3* db, const std::string& sql, const std::vector<std::string>& params,
             std::vector<std::vector<std::string>>* rows);

// Runs SQL without rows. 0 or the SQLite code.
int dl_exec(sqlite3* db, const std::string& sql);

// The blank-padding collation, registered on db (idempotent).
int dl_register_collation(sqlite3* db);

// Current time in DB2's text forms.
std::string dl_now_timestamp();  // yyyy-mm-dd-hh.mm.ss.nnnnnn
std::string dl_now_date();       // yyyy-mm-dd
std::string dl_now_time();       // hh.mm.ss

// Privileges of user on the table "S.T" (reads the catalogue).
DlTablePriv dl_table_priv(sqlite3* db, const std::string& user, const std::string& schema,
                          const std::string& name);

}  // namespace dl

#endif
