// sql_esql.h -- db2lite's embedded-SQL runtime, package binder, message
// texts and table statistics: what a stored procedure and the programs that
// install it call besides the CLI.
//
// What it offers:
//  - Packages. A package is a named set of numbered sections bound from a
//    bind file by sqlabndx. A static section holds one SQL statement; a
//    dynamic section is a slot that a statement text fills at run time
//    (sqlastls, then PREPARE or EXECUTE IMMEDIATE). The binder becomes the
//    package's owner, and its qualifier is the owner's schema. A package is
//    found by its creator and name and must carry the consistency token of
//    the program that runs it (DL_PROGRAM_ID), so that a program runs only
//    against the package bound from its own bind file.
//  - Rights. A static section runs with the package owner's privileges and
//    resolves unqualified names in the package's qualifier; USER and the
//    other special registers still name the caller. A dynamic section runs
//    with the caller's privileges and CURRENT SCHEMA. Running any section
//    needs EXECUTE on the package (its owner holds it; sqlabndx grants it).
//  - The runtime calls work only inside a procedure that db2lite called:
//    they run on the caller's connection and unit of work. COMMIT and
//    ROLLBACK end that unit of work, the caller's own earlier work included.
//    Cursors are closed by COMMIT, ROLLBACK and the end of the procedure.
//    Every section's statement takes the database's write lock (one writer
//    per database, see db2lite.h) until the unit of work ends.
//  - sqlabndx, sqlaintp_api and sqlustat_api work on the current
//    connection: the one most recently connected in the process and not yet
//    disconnected.
//
// The order of the runtime calls around one statement:
//   sqlastrt(program id, runtime info, the procedure's sqlca)
//   [sqlaaloc(2, n, stmt, 0), sqlasetda(2, 0, n, input host variables, 0, 0)]
//   [sqlaaloc(3, m, stmt, 0), sqlasetda(3, 0, m, output host variables, 0, 0)]
//   [sqlastls(0, text, 0)]                      before PREPARE / EXECUTE IMMEDIATE
//   sqlacall(call type, section, 2 or 0, 3 or 0, 0)
//   sqlastop(0)
// The outcome is in the sqlca given to sqlastrt. A failed sqlastrt (no
// package, wrong token, no privilege) leaves its report there and the
// statement's sqlacall does nothing.
//
// Host variables (DL_HOSTVAR) use the type codes of sqlda.h: 496/497 int32_t,
// 500/501 int16_t, 492/493 int64_t, 480/481 double, 460/461 a NUL-terminated
// text in a buffer of len bytes (holding len - 1 characters), 448/449 a
// uint16_t length and len bytes, 452/453 len blank-padded bytes. Input: a
// negative indicator of a nullable (odd) variable passes NULL. Output: NULL
// into a variable without an indicator fails with 22002/-305; a text longer
// than its buffer is cut, its indicator gets the full length and sqlwarn[1]
// is 'W'.
//
// Outcomes in the sqlca: 0; +100/"02000" for no row (a SELECT INTO, a FETCH
// past the end, an UPDATE, DELETE or INSERT that touched no row); -811/21000
// for a SELECT INTO of more than one row; -805/51002 for a package or
// section that is not bound; -818/51003 for a token that differs from the
// bound one; -551/42501 without EXECUTE on the package; -514/26501 for a
// cursor or section not prepared; -1024/08003 outside a procedure; else the
// statement's own DB2 state.
//
// Bind file format (text, one record per line, '\n' ends a line; at most
// 1 MB per line, 32767 sections, 16 MB per file):
//   DB2LITE-BIND 1
//   PACKAGE <creator> <name> <token>
//   SECTION <number> STATIC <statement text, to the end of the line>
//   SECTION <number> DYNAMIC
//   END
// creator and name: 1 to 8 characters of A-Z, 0-9, _, @, #, $ (folded to
// upper case); token: 8 characters of letters and digits; section numbers 1
// to 32767, each at most once, in any order. Blank lines are ignored; nothing
// may follow END. The build of a procedure library writes this file from the
// same table of statements the library is compiled with, and stamps both
// with the same token.
#ifndef DB2LITE_SQL_ESQL_H
#define DB2LITE_SQL_ESQL_H

#include "sqlca.h"
#include "sqlda.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- the program identification -----------------------------------------------
// 42 bytes that a program built against a package carries. Only the package
// name, the creator and the token are read.
typedef struct DL_PROGRAM_ID {
  uint16_t length;       // 42
  char release[6];       // release marks of the build tool, free text
  char name[8];          // package name, blank-padded
  char token[8];         // consistency token
  char reserved[8];      // blank
  uint16_t creator_len;  // bytes used in creator (1 to 8)
  char creator[8];       // package creator (schema), blank-padded
} DL_PROGRAM_ID;

#ifdef __cplusplus
static_assert(sizeof(DL_PROGRAM_ID) == 42, "the program identification is 42 bytes");
static_assert(offsetof(DL_PROGRAM_ID, creator_len) == 32, "creator length at 32");
#endif

// The runtime information block a program passes along; db2lite does not read it.
typedef struct DL_RTINFO {
  char id[8];
  char reserved[120];
} DL_RTINFO;

// One host variable.
typedef struct DL_HOSTVAR {
  int16_t sqltype;  // type code (see above)
  int16_t pad;
  int32_t len;      // buffer size in bytes (texts), else the value's size
  void* addr;       // the variable
  int16_t* ind;     // its indicator, or null
} DL_HOSTVAR;

// Host-variable list numbers.
#define DL_SQLA_INPUT   2
#define DL_SQLA_OUTPUT  3

// Call types of sqlacall.
#define DL_SQLA_CLOSE      20
#define DL_SQLA_COMMIT     21
#define DL_SQLA_EXECIMMD   23
#define DL_SQLA_EXECUTE    24  // also a single-row SELECT INTO with an output list
#define DL_SQLA_FETCH      25
#define DL_SQLA_OPEN       26
#define DL_SQLA_PREPARE    27
#define DL_SQLA_ROLLBACK   28

// ---- the runtime (0, or -1 when the sqlca reports a failure) --------------------
int sqlastrt(void* program_id, void* rtinfo, struct sqlca* ca);
int sqlaaloc(unsigned short list, unsigned short count, unsigned short stmt, void* reserved);
int sqlasetda(unsigned short list, unsigned short start, unsigned short count, DL_HOSTVAR* vars,
              void* reserved1, void* reserved2);
int sqlastls(unsigned short reserved, const char* text, void* reserved2);
int sqlacall(unsigned short call_type, unsigned short section, unsigned short input_list,
             unsigned short output_list, void* reserved);
int sqlastop(void* reserved);

// ---- the package binder ---------------------------------------------------------
// Bind options: a header and `allocated` entries, `used` of them filled.
struct sqloptheader {
  uint32_t allocated;
  uint32_t used;
};
struct sqloptions {
  uint32_t type;  // option type
  uintptr_t val;  // its value (for GRANT: a struct sqlchar*)
};
struct sqlopt {
  struct sqloptheader header;
  struct sqloptions option[1];
};
// A length-prefixed text.
struct sqlchar {
  int16_t length;
  char data[1];
};
#define SQL_GRANT_OPT 6  // EXECUTE on the package to a user or "PUBLIC"

// Binds the package of bind_file on the current connection. The binder needs
// BINDADD for a new package; an existing one may be bound again by its
// owner, a holder of BIND on it or DBADM. A bind whose package already
// carries the file's token changes nothing (apart from a missing GRANT); any
// other replaces the package's sections and keeps its grants. A bind that
// writes commits the connection's unit of work with it; a bind refused
// before writing leaves the unit of work alone, and one that fails while
// writing rolls it back. msg_file is not used. Returns the SQLCODE left in *ca
// (0 on success; negative on failure: -31 the file cannot be read, -1 it is
// malformed, -104 a static section is not valid SQL, -552/-551 no authority,
// -1024 no connection, -2 an invalid option).
int sqlabndx(const char* bind_file, const char* msg_file, struct sqlopt* options, struct sqlca* ca);

// Writes the message of *ca into buf (cap bytes, NUL-terminated), wrapped at
// line_width characters (0: one line). The full text of a report made by
// db2lite in this thread is used when it is still the one in *ca; else the
// text is formed from sqlcode and sqlerrmc. msg_file is not used. Returns the
// bytes written without the NUL; 0 when sqlcode is 0; -4 for a negative
// line width; -5 for a null or empty buffer or a null area.
int sqlaintp_api(char* buf, short cap, short line_width, const char* msg_file,
                 struct sqlca* ca);

// Collects statistics of table "schema.name" (each part folded unless in
// double quotes) and its indexes on the current connection. index_count and
// indexes are not used; stats_option is 'T', 'I', 'A', 'D', 'E' or 'X' (or
// the same in lower case); share_level 'C' or 'R'. Needs CONTROL on the
// table or DBADM. Commits when the connection is in autocommit mode.
// Returns the SQLCODE left in *ca: 0; -2306 no such table; -551 no privilege;
// -2 an invalid option; -1024 no connection.
int sqlustat_api(const char* table, unsigned short index_count, char** indexes,
                 unsigned char stats_option, unsigned char share_level, struct sqlca* ca);

#ifdef __cplusplus
}
#endif

#endif
