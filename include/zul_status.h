// zul_status.h -- the status codes shared across the server library.
//
// Nearly every function returns a signed 32-bit status: 0 is success and a
// negative number an error. The codes below are those that several modules
// share; a code used by one module only is declared in that module's header.
// Add a code here once, with its meaning, when a second module needs it.
#ifndef ZUL_STATUS_H
#define ZUL_STATUS_H

#include <stdint.h>

#define SE_SUCCESS              0     // success
#define SE_FINISHED           (-4)    // no more rows
#define SE_LOGIN_NOT_ALLOWED  (-9)    // login refused
#define SE_NET_FAILURE        (-10)   // channel read or write failed
#define SE_OUT_OF_DBMS_MEM    (-12)   // out of memory (DB2 access core, SQL construct reads)
#define SE_NO_PERMISSIONS     (-25)   // no permission
#define SE_TABLE_NOEXIST      (-37)   // table or object not found
#define SE_LOCK_NOT_HELD      (-48)   // lock not held
#define SE_LOCK_CONFLICT      (-49)   // lock conflict
#define SE_LOCK_TABLE_FULL    (-50)   // lock table full
#define SE_DB_IO_ERROR        (-51)   // DBMS error; native code, SQLSTATE and message recorded
#define SE_INVALID_POINTER    (-65)   // null argument
#define SE_INVALID_PARAM      (-66)   // invalid argument
#define SE_INVALID_RELEASE    (-88)   // not supported for the client's release / bad release table
#define SE_DBA_PASSWORD_MISMATCH (-93) // DBA password mismatch
#define SE_INVALID_STREAM     (-107)  // no such stream
#define SE_MAX_STREAMS_EXCEEDED (-108) // stream limit reached
#define SE_DB_NOT_REACHABLE   (-158)  // database not reachable
#define SE_NOT_ADMIN_DATABASE (-162)  // not the administrative database
#define SE_SQL_TOO_LONG       (-250)  // fixed SQL text buffer full
#define SE_INVALID_IDENTIFIER (-322)  // invalid identifier
#define SE_OUT_OF_MEMORY      (-999)  // out of memory (transports, buffers, codecs, code pages)
#define SE_NO_DATA_BLOCK_END   110    // no data at the end of a block fetch

// A function that a later module will provide answers this until it does,
// and prints that it was called.
#define SE_NOT_BUILT_YET      (-9001)

#endif
