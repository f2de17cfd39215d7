// dl_cli_call.h -- the seam between the CLI and db2lite's procedure host.
//
// The CLI runs every statement but CALL itself. A CALL plan goes to the one
// registered call handler with the values of the statement's parameter
// markers, in order; the handler runs the procedure on the caller's
// connection and unit of work (it may allocate statements on dbc) and leaves
// the final values of OUTPUT and INPUT_OUTPUT parameters in args, which the
// CLI writes back to the caller's buffers. With no handler registered, CALL
// fails with 42884/-440.
#ifndef DL_CLI_CALL_H
#define DL_CLI_CALL_H

#include "dl_engine.h"

#include <sql.h>
#include <sqlext.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace dl {

struct DlCallArg {
  SQLSMALLINT io = SQL_PARAM_INPUT;  // SQL_PARAM_INPUT, _OUTPUT or _INPUT_OUTPUT
  SQLSMALLINT sqltype = 0;           // the SQL type the caller bound it as
  int type = SQLITE_NULL;            // SQLite storage class of the value
  int64_t i = 0;
  double d = 0;
  std::string s;                     // text or blob bytes
};

// Runs the procedure of plan. Returns 0 (success), 1 (success with a
// warning in diag) or -1 (failure in diag: the OUTPUT values are not written
// back).
using DlCallHandler = int (*)(SQLHDBC dbc, const DlPlan& plan, std::vector<DlCallArg>& args,
                              DlDiag* diag);

// Registers the handler (null removes it). Returns the previous one.
DlCallHandler dl_set_call_handler(DlCallHandler handler);

// The value of a literal argument of a CALL text: NULL (also CAST(NULL AS
// type)), a string literal ('it''s'), an integer or a finite number. False
// for anything else, a number longer than 64 characters or out of range
// included.
bool dl_call_literal(const std::string& text, DlCallArg* a);

}  // namespace dl

#endif
