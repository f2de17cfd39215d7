// db2lite.h -- the public header of db2lite, the embedded database that
// answers the system's DB2 Call Level Interface calls and DB2 SQL.
//
// What it promises:
//  - The CLI functions are the standard ones, with the standard signatures and
//    the 64-bit ABI of unixODBC's <sql.h> and <sqlext.h> (SQLLEN and SQLULEN
//    are 64-bit, SQLINTEGER 32-bit). A caller written against this header
//    links against a real DB2 CLI library unchanged. Nothing links libodbc:
//    db2lite implements the functions itself.
//  - One database is one SQLite file, "<NAME>.db" (NAME upper case, 1 to 8
//    letters, digits or _@#$) in the instance's data directory: the directory
//    named by DB2LITE_DATA, else $ZULHOME/data. Connecting to a name that has
//    no file gives 08001/-1013; a refused login gives 08004/-30082. An empty
//    user and password connect as the process's own login name, without a
//    password check, as DB2's local implicit connect does.
//  - Autocommit is on for a new connection, as in any CLI; callers switch it
//    off with SQL_ATTR_AUTOCOMMIT. Cursors are held across COMMIT and closed
//    by ROLLBACK. An UPDATE or DELETE that touches no row returns
//    SQL_NO_DATA; truncated character or binary data returns
//    SQL_SUCCESS_WITH_INFO with 01004 and the full length; a missing table is
//    reported by SQLPrepare (42S02). Parameter arrays are atomic: all rows or
//    none.
//  - SQL_ROWSET_SIZE (used by SQLExtendedFetch only) and
//    SQL_ATTR_ROW_ARRAY_SIZE (used by SQLFetch and SQLFetchScroll only) are
//    two separate values; SQLExtendedFetch cannot be mixed with the other two
//    on one result set (HY010).
//  - Diagnostics carry DB2's SQLSTATEs, SQLCODEs as native codes, and
//    DB2-style texts "[db2lite][CLI Driver][DB2LITE] SQLnnnnN ...".
//
// What it does not reproduce:
//  - Row locking. One writer per database at a time: a unit of work takes the
//    database's write lock at its first change and keeps it until COMMIT or
//    ROLLBACK. A writer that waits longer than the busy time-out (30 s, or
//    DB2LITE_BUSY_TIMEOUT milliseconds, or the connection attribute
//    SQL_ATTR_DB2LITE_BUSY_TIMEOUT) gets 40001/-911 and its whole unit of work
//    is rolled back, as DB2 does after a lock time-out.
//  - A cursor opened after changes of its own unit of work runs on the
//    writing connection; at COMMIT its remaining rows are read into memory,
//    so that the connection keeps no old snapshot. Other cursors each run on
//    a read connection of their own (at most 64 open per connection).
//  - Result columns that are expressions the engine cannot type (it types
//    COUNT, LENGTH, string functions, registers, literals, shape methods and
//    the Spatial Extender's functions) are described by their first value
//    (VARCHAR when there is none).
//  - SQLGetData reads the last row of the rowset fetched.
//  - Scrollable cursors (SQL_FETCH_NEXT only), row-wise binding, data at
//    execution, asynchronous execution, descriptors, Unicode (W) functions.
//
// DB2-only calls: SQLGetSQLCA fills DB2's SQL communication area (struct
// sqlca, 136 bytes) from a handle's first diagnostic record; it is declared
// in dl_spatial_sqlca.h, which this header includes.
#ifndef DB2LITE_H
#define DB2LITE_H

#include <sql.h>
#include <sqlext.h>

#include "dl_spatial_sqlca.h"

// ---- DB2 statement and connection attributes ------------------------------
#define SQL_ATTR_CURSOR_HOLD          1250  // held across COMMIT (default on)
#define SQL_CURSOR_HOLD_OFF           0
#define SQL_CURSOR_HOLD_ON            1
#define SQL_ATTR_PARAMOPT_ATOMIC      1260  // parameter arrays atomic (always)
#define SQL_ATOMIC_NO                 0
#define SQL_ATOMIC_YES                1
#define SQL_ATTR_DEFERRED_PREPARE     1277  // accepted; db2lite always prepares at once
#define SQL_DEFERRED_PREPARE_OFF      0
#define SQL_DEFERRED_PREPARE_ON       1

// db2lite's own connection attribute: the busy time-out in milliseconds (an
// SQLINTEGER passed by value). Set before or after connecting.
#define SQL_ATTR_DB2LITE_BUSY_TIMEOUT 16385

// ---- DB2 SQL and C type codes ---------------------------------------------
#define SQL_GRAPHIC                   (-95)
#define SQL_VARGRAPHIC                (-96)
#define SQL_LONGVARGRAPHIC            (-97)
#define SQL_BLOB                      (-98)
#define SQL_CLOB                      (-99)  // same number as SQL_ARD_TYPE
#define SQL_DBCLOB                    (-350)
#define SQL_C_BLOB                    SQL_BLOB
#define SQL_C_CLOB                    SQL_CLOB

// ---- DB2 column attributes (SQLColAttribute) -------------------------------
#define SQL_DESC_DISTINCT_TYPE        1250  // name of a distinct type, else empty
#define SQL_DESC_STRUCTURED_TYPE      1252  // name of a structured (user-defined) type, else empty

// ---- DB2 function ids (SQLGetFunctions) -------------------------------------
#define SQL_API_SQLGETSQLCA           1253

// ---- DB2 native codes the CLI produces itself -------------------------------
#define DB2LITE_NATIVE_CLI            (-99999)  // an error found by the CLI before the database

#endif
