// zultables.h -- the feature and base library routines of the table
// conversion tool: dBASE files, INFO tables, and the few base services
// (messages, names, paths, code pages) that the tool's back ends call.
//
// Contract.
//  * Every routine returns 0 on success and a negative number on failure,
//    with the meanings given beside each declaration; no routine prints,
//    except informC, and none exits.
//  * Every routine that fills a caller's buffer takes the buffer's capacity,
//    and fails (-1, or the code given) rather than write past it.
//  * Files are named by the caller; nothing here searches $HOME or a
//    temporary directory.
//
// dBASE. Files are read and written through shapelib's DBF API. Before a
// file is handed to shapelib its header is checked here: the header and
// record lengths, each field descriptor, the sum of the field widths against
// the record length, and the record count against the file's size. A file
// that fails any check is refused as a bad header (-3); it is never read
// past its end. Record bytes are handed over raw (without the leading
// delete flag), so the caller decodes the fields; a record marked deleted
// is reported as such (-2) rather than handed over. Only names ending in
// ".dbf" (any case) are opened or created, because shapelib would
// otherwise substitute one.
//
// INFO. An own store, not the file layout of any other product: a table
// TABLE of workspace DIR lives in DIR/info as two files.
//   TABLE.def  text: "ZULINFO 1", then "items <k> committed <c>", then one
//              line per item: "<name> <type> <start> <storage> <output>
//              <decimals>", items in record order, starts from 1 without
//              gaps.
//   TABLE.dat  the records, each one flag byte (' ' live, '*' deleted)
//              followed by the record's bytes (the sum of the storage
//              widths).
// Item types: 1 date, 2 character, 3 integer, 4 numeric, 5 binary integer,
// 6 floating point. Storage by type (width w): date 8 ASCII digits
// YYYYMMDD, blanks or zeros meaning no date; character w bytes padded with
// blanks; integer and numeric w ASCII characters right-aligned (numeric
// with max(decimals, 0) places); binary integer 2 or 4 bytes little-endian;
// floating point 4 or 8 bytes IEEE-754 little-endian. Committed is the
// number of records that infrbkC keeps; closing a table opened for writing
// commits what it holds. A rollback restores the committed count of
// records; it does not undelete records deleted since.
// Limits: 1 to 1023 items, names of 1 to 16 characters of [A-Z0-9_#-]
// (kept upper-case), records of at most 65535 bytes.
//
// Base. featinitC, setcpgC and cassenC keep process settings; code-page
// conversions are the identity (the tool works in the code page of its
// data); informC prints the text and a newline on standard output.
#ifndef ZULTABLES_H
#define ZULTABLES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZT_PATH_CAP     1024   // a path, terminating NUL included
#define ZT_MAX_FIELDS   1023   // dBASE fields or INFO items of one table
#define ZT_MAX_RECSIZE  65535  // record bytes, flag byte excluded
#define ZT_CHANNELS     32     // dBASE files or INFO tables open at once

// ---- base ----------------------------------------------------------------
void featinitC(void);
int  setcpgC(const char* codepage);             // 0; -1 for an empty name
void cassenC(int flag);                         // 1 case sensitive, 0 not
int  cassen_getC(void);
void informC(const char* text, int level);      // text and newline to stdout

// The file name of a dBASE table: name copied to out (cap bytes), ".dbf"
// added when the last path part has no extension (mode -17). -1 when it
// does not fit or name is empty.
int  anameC(const char* name, char* out, size_t cap, int mode);
void chrlowC(char* text);
void chrcasC(char* text);                       // upper-case
// A blank-padded field of width bytes into out, without its trailing
// blanks: f772c for names (it also stops at a NUL), f772cee for data
// (NULs are kept). -1 when out cannot hold the whole field.
int  f772c(const char* field, int width, char* out, size_t cap);
int  f772cee(const char* field, int width, char* out, size_t cap);
void cpgcnvtsnC(char* text, size_t len);        // data to program code page
void cpgcnvtnsC(char* text, size_t len);        // program to data code page
int  ceucchk(void);                             // 1 for a multi-byte code page
int  edirC(const char* path, char* out, size_t cap);            // "." if none
int  ejoinC(const char* dir, const char* name, char* out, size_t cap);

// ---- dBASE ---------------------------------------------------------------
typedef struct DBITEM {
  char name[11];   // field name, NUL-terminated
  char type;       // type letter
  int  width;      // field width in bytes
  int  decimals;   // decimal count
} DBITEM;

int dbexisC(const char* path);                  // 0 exists, -1 not
// mode 1 read, 2 read and write. -1 cannot open, -2 no free channel,
// -3 bad header.
int dbopenC(int* fileno, const char* path, int mode);
int dbinfC(int fileno, int what);               // 3 fields, 4 records; -1
int dbritmC(int fileno, int field, DBITEM* item);   // field from 1; -1
// Record recno (from 1) without its flag byte into buf: -1 past the end or
// unreadable, -2 deleted.
int dbrdatC(int fileno, char* buf, size_t cap, int recno);
int dbclosC(int fileno);
int dbdeleC(const char* path);                  // -1 when not removed
int dbcopyC(const char* from, const char* to);  // -1 on failure
int dbcreaC(int* fileno, const char* path);     // -1 cannot create, -2 no channel
int dbwhdrC(int fileno, int recsize, int fields);  // -1 bad sizes
int dbwitmC(int fileno, const DBITEM* item);    // -1 refused
// Writes record recno (from 1; at most one past the last) from buf.
int dbwdatC(int fileno, const char* buf, int recno);

// ---- INFO ----------------------------------------------------------------
typedef struct INFPATH {
  char dir[ZT_PATH_CAP];    // workspace directory
  char table[33];           // table name, upper-case
  char path[ZT_PATH_CAP];   // DIR/info/TABLE, without extension
} INFPATH;

typedef struct INFITEM {
  char name[17];   // item name, upper-case
  int  type;       // 1 date .. 6 floating point
  int  start;      // 1-based byte position in the record
  int  storage;    // storage width, bytes
  int  output;     // output width, characters
  int  decimals;   // decimal places, -1 none
} INFITEM;

#define INF_TEXT_CAP 321    // text place of infdecC

int infpthC(const char* name, INFPATH* parts);  // -1 bad name
int infexfC(const INFPATH* parts);              // 1 exists, 0 not
// access 1 read, 14 write. -2 no table, -3 cannot open, -4 bad definition,
// -5 no free channel.
int infopnC(const INFPATH* parts, int access, int* tabno, int* nrec, int* recsize);
int infftiC(int tabno);                         // item count; -1
int infinfC(int tabno, int what);               // 11 item count; -1
int irditmC(int tabno, int item, INFITEM* out); // item from 1; -1
int infibfC(int tabno, char* buf, size_t cap);  // blank record; -1
int infgetC(int tabno, int recno, char* buf, size_t cap);  // -1 none, -2 deleted
// Item of the record buffer (buflen bytes) into a number and a text:
// -1 unknown type, -2 undecodable.
int infdecC(const char* buf, int buflen, const INFITEM* item, double* number, char* text);
// Number or text into the item's place: -1 unknown type, -2 does not fit.
int infencC(char* buf, int buflen, const INFITEM* item, double number, const char* text);
int infclsC(int tabno);
int creiftC(const char* dir);                   // -1 cannot make
int infdefC(const INFPATH* parts);              // -1 exists, -2 other
// -1 item exists, -2 no permission, -3 out of space, -4 refused.
int infadiC(const INFPATH* parts, const char* name, int type, int storage, int output, int decimals);
int infersC(const INFPATH* parts);
int infputC(int tabno, const char* buf);        // -1 on failure
int infdelC(int tabno, int recno);              // -1 on failure
int infrbkC(int tabno);                         // record count; -1

#ifdef __cplusplus
}
#endif

#endif
