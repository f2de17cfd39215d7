// sqlda.h -- the parameter area db2lite hands to a stored procedure, and the
// procedure's entry-point type.
//
// A procedure registered with PARAMETER STYLE DB2DARI is an exported C
// function of a shared library:
//
//   extern "C" int entry(void* reserved1, void* reserved2, DL_SQLDA* sqlda,
//                        struct sqlca* sqlca);
//
// The reserved arguments are null. sqlda holds one DL_SQLVAR per declared
// parameter, in declared order; sqlca is the caller's communication area
// (sqlca.h), cleared on entry, into which the procedure copies its own at the
// end. db2lite reads the result of the call from that area: a negative
// SQLCODE fails the CALL with the area's SQLSTATE, a positive one is a
// warning. The function's own result is not read (procedures return 1).
//
// Every parameter arrives with an indicator, and with the nullable (odd)
// type code except the floating-point types, which carry 480 (a procedure
// library reads 480 as its DOUBLE):
//   code  declared type   sqllen   data
//   501   SMALLINT        2        int16_t
//   497   INTEGER         4        int32_t
//   493   BIGINT          8        int64_t
//   480   DOUBLE, FLOAT   8        double
//   480   REAL            4        float
//   449   VARCHAR(n)      n        uint16_t length, then n bytes (no terminator)
//   453   CHAR(n)         n        n bytes, blank-padded
//   385   DATE            10       "yyyy-mm-dd"
//   389   TIME            8        "hh.mm.ss"
//   393   TIMESTAMP       26       "yyyy-mm-dd-hh.mm.ss.nnnnnn"
// A negative indicator means NULL (the data is then zeroed). OUT parameters
// arrive NULL; the procedure sets the indicator to 0 or more when it writes a
// value (any value >= 0 means "not null"; IN parameters may be set to -128,
// which db2lite ignores). A VARCHAR length word above n is read as n.
//
// The SQLDA lives in the database's address space only for the duration of
// the call: a procedure keeps no pointer into it afterwards. It never crosses
// a process boundary, so it is a plain host structure.
#ifndef DB2LITE_SQLDA_H
#define DB2LITE_SQLDA_H

#include "sqlca.h"

#include <stddef.h>
#include <stdint.h>

// ---- SQL type codes (even: not nullable, odd: nullable) --------------------
#define DL_SQL_TYP_DATE        384
#define DL_SQL_TYP_NDATE       385
#define DL_SQL_TYP_TIME        388
#define DL_SQL_TYP_NTIME       389
#define DL_SQL_TYP_STAMP       392
#define DL_SQL_TYP_NSTAMP      393
#define DL_SQL_TYP_VARCHAR     448
#define DL_SQL_TYP_NVARCHAR    449
#define DL_SQL_TYP_CHAR        452
#define DL_SQL_TYP_NCHAR       453
#define DL_SQL_TYP_CSTR        460  // NUL-terminated text (host variables only)
#define DL_SQL_TYP_NCSTR       461
#define DL_SQL_TYP_FLOAT       480
#define DL_SQL_TYP_NFLOAT      481
#define DL_SQL_TYP_BIGINT      492
#define DL_SQL_TYP_NBIGINT     493
#define DL_SQL_TYP_INTEGER     496
#define DL_SQL_TYP_NINTEGER    497
#define DL_SQL_TYP_SMALL       500
#define DL_SQL_TYP_NSMALL      501

// One parameter.
typedef struct DL_SQLVAR {
  int16_t sqltype;  // type code of the table above
  int16_t sqllen;   // declared length in bytes (characters for text)
  void* sqldata;    // the value, laid out by type
  int16_t* sqlind;  // indicator: < 0 NULL, >= 0 a value
} DL_SQLVAR;

// The parameter area: a header and sqld entries.
typedef struct DL_SQLDA {
  char sqldaid[8];   // "DLSQLDA "
  int32_t sqldabc;   // size of the whole area in bytes
  int16_t sqln;      // entries allocated
  int16_t sqld;      // entries used: the procedure's parameter count
  DL_SQLVAR sqlvar[1];
} DL_SQLDA;

// Bytes of an area with n entries.
#define DL_SQLDA_SIZE(n) (offsetof(DL_SQLDA, sqlvar) + (size_t)(n) * sizeof(DL_SQLVAR))

// The entry point of a procedure.
typedef int (*DL_DARI_ENTRY)(void* reserved1, void* reserved2, DL_SQLDA* sqlda,
                             struct sqlca* sqlca);

#endif
