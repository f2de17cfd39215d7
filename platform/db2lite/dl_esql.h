// dl_esql.h -- what the procedure host (dl_proc.cpp) and the embedded-SQL
// runtime (dl_esql.cpp, dl_esql_bind.cpp) share: the call context that ties
// a procedure's runtime calls to the caller's connection, and the current
// connection of the process.
//
// Rules:
//  1. The host enters a call context before it calls a procedure's entry
//     point and leaves it afterwards, on the same thread. Contexts nest (a
//     context remembers the one it replaced). The runtime calls find the
//     context of their thread; without one they report -1024/08003.
//  2. A context owns the procedure's cursors (SQLite statements on the
//     caller's writing connection) and its prepared dynamic texts. They are
//     dropped at COMMIT, ROLLBACK and when the context is left, so no
//     procedure statement outlives its call or pins a snapshot.
//  3. The current connection is the one most recently connected in the
//     process and still connected; the CLI reports connects and disconnects.
//
// Relies on the CLI's handles (dl_cli_impl.h) and the engine (dl_engine.h).
#ifndef DL_ESQL_H
#define DL_ESQL_H

#include "dl_cli_impl.h"
#include "dl_engine.h"
#include "dl_internal.h"
#include "sql_esql.h"

#include <sqlite3.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace dl {

// ---- limits (procedure libraries and bind files are outside input) ----------
constexpr int kMaxHostVars = 1000;           // host variables in one list
constexpr int kMaxSections = 32767;          // sections of one package
constexpr size_t kMaxBindLine = 1 << 20;     // one line of a bind file
constexpr size_t kMaxBindFile = 16u << 20;   // a whole bind file

// A bound package as the runtime uses it.
struct EsqlPackage {
  std::string creator, name;   // upper case
  std::string owner;           // the binder: its rights run the static sections
  std::string qualifier;       // schema of unqualified names in static sections
  std::string token;
  std::map<int, std::string> sections;  // number -> text ("" for a dynamic section)
  std::map<int, bool> dynamic;          // number -> section is dynamic
  bool may_execute = false;             // the caller holds EXECUTE on it
};

struct EsqlCursor {
  sqlite3_stmt* st = nullptr;
  bool done = false;
};

struct EsqlContext {
  Dbc* dbc = nullptr;                               // the caller's connection
  EsqlContext* prev = nullptr;                      // the context this one replaced
  std::map<std::string, EsqlPackage> packages;      // "CREATOR.NAME" -> package
  std::map<std::pair<std::string, int>, std::string> prepared;  // dynamic texts
  std::map<std::pair<std::string, int>, EsqlCursor> cursors;
  // the statement between sqlastrt and sqlastop
  EsqlPackage* pkg = nullptr;
  struct sqlca* ca = nullptr;
  bool failed = false;                              // sqlastrt reported a failure
  std::vector<DL_HOSTVAR> lists[4];                 // host-variable lists 0-3
  std::string text;                                 // from sqlastls
};

// Puts back the privileges of a session state when a statement translated
// under another user's rights has been prepared.
class EsqlPrivilegeScope {
 public:
  explicit EsqlPrivilegeScope(DlSessionState* st);
  ~EsqlPrivilegeScope();
  EsqlPrivilegeScope(const EsqlPrivilegeScope&) = delete;
  EsqlPrivilegeScope& operator=(const EsqlPrivilegeScope&) = delete;

 private:
  DlSessionState* st_;
  std::map<std::string, DlTablePriv> privs_;
  std::set<std::string> ddl_;
  bool dbadm_ = false;
};

// Enters ctx on this thread (rule 1).
void esql_enter(EsqlContext* ctx);
// Leaves it: closes its cursors and restores the context it replaced.
void esql_leave(EsqlContext* ctx);
// Closes every cursor of ctx and forgets its prepared texts (rule 2).
void esql_close_all(EsqlContext* ctx);

// Fills *ca with a report and remembers its full text for sqlaintp_api.
void esql_report(struct sqlca* ca, const char* state, int32_t native, const std::string& text);
// The full text of the report in *ca when this thread made it, else "".
std::string esql_full_text(const struct sqlca* ca);

// The current connection (rule 3), or null.
Dbc* esql_current_connection();
// Called by the CLI when c has connected / is about to disconnect.
void esql_note_connect(Dbc* c);
void esql_note_disconnect(Dbc* c);

// The first diagnostic on h as a DlDiag (a generic one when h has none).
DlDiag esql_diag_of(const Handle& h);

}  // namespace dl

#endif
