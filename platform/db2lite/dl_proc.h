// dl_proc.h -- db2lite's stored-procedure host: what CALL runs.
//
// What it does, for CALL [schema.]name (args) and CALL lib!entry (args):
//  1. "db2gse!..." names the Spatial Extender's own procedures: the call goes
//     to dl_spatial_call_handler, nothing is loaded.
//  2. Otherwise the procedure must be registered (CREATE PROCEDURE ...
//     EXTERNAL NAME 'lib!entry' ... PARAMETER STYLE DB2DARI): by its schema
//     and name, or by its library and entry (any case) with as many
//     parameters as the call has arguments. Unregistered, or a wrong number
//     of arguments: 42884/-440.
//  3. The library is loaded once per process from the instance home's lib
//     directory ($ZULHOME/lib) or, failing that, the directory db2lite's own
//     library was loaded from (the build tree's lib directory), as
//     "lib<lib>.so" or "<lib>.so". A library name is 1 to 64 letters, digits
//     and '_', so it never leaves those directories. A library or entry
//     that cannot be found or loaded: 42724/-444.
//  4. The entry is called in-process (sqlda.h) on the caller's connection and
//     unit of work; the embedded-SQL runtime (sql_esql.h) runs the
//     procedure's statements there, beginning the unit of work (and taking
//     the database's write lock) at the first of them.
//  5. The procedure's SQLCA decides the CALL: a negative SQLCODE fails it
//     with that SQLSTATE and code (the procedure's work stays in the unit of
//     work, for the caller to commit or roll back); a positive SQLCODE or a
//     warning state returns success with a warning; OUT and INOUT values go
//     back to the caller's buffers unless the CALL failed.
//  6. Argument checks before the call: an OUT or INOUT argument must be a
//     parameter marker (42886/-469); an IN value must fit its declared type
//     (22001/-302 too long, 22003/-413 out of range, 22018/-420 not a
//     number, 22007/-180 not a date or time).
//
// The host registers itself as the CLI's call handler when db2lite is
// loaded; tests may replace it through dl_set_call_handler.
#ifndef DL_PROC_H
#define DL_PROC_H

#include "dl_cli_call.h"

namespace dl {

int dl_proc_call_handler(SQLHDBC dbc, const DlPlan& plan, std::vector<DlCallArg>& args,
                         DlDiag* diag);

}  // namespace dl

#endif
