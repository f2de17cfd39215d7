// zul_codepage.h -- code pages of a connection: the CODEPAGE_INFO record and
// the CODEPAGE_ functions that fill it and convert strings with it.
//
// A server process works in the machine's native (ANSI) code page. A client
// may name another code page for its connection; the record then says
// whether strings must be converted, and holds what the conversion needs:
// two 128-entry byte tables for single-byte code pages, or routines of their
// own for the Shift-JIS / EUC-JP and Big5 / EUC-TW pairs.
//
// Code-page ids are the positions of the names in the list below, from 1;
// 0 is a code page that is not known. Ids 1 to 6 (and 0) are double-byte
// (class 2), except 2 (tw_euc), which is four-byte EUC (class 4); every other
// id is single-byte (class 1).
//
// Files, under $ZULHOME:
//   locale/codepage/codepage.txt  the catalogue: one line per code page of
//       whitespace-separated names; column 0 is the code page's own name,
//       column n its name in naming scheme n (the DBMS id picks the column;
//       column 8 holds the DB2 code-page numbers). Lines may have any number
//       of columns; a line without the asked column does not match.
//   locale/codepage/<name>.txt  the character file of a single-byte code
//       page: line i (at most 128) describes byte 128 + i as two hexadecimal
//       digits and a four-character identifier, compared without regard to
//       case. The files shipped use the Unicode code point in hexadecimal,
//       and "-XX-" for a byte that has no character.
//
// Conversions work in place on NUL-terminated strings in a buffer of cap
// bytes and never fail: a character without a counterpart becomes '?'. The
// result always ends within the buffer; a character that would not fit is
// not written, and the conversion stops there.
#ifndef ZUL_CODEPAGE_H
#define ZUL_CODEPAGE_H

#include <stdint.h>

#define SE_CODEPAGE_TABLE_FAILED  (-1006)  // a conversion table could not be built
#define SE_CODEPAGE_NO_CATALOGUE  (-1007)  // $ZULHOME not set or catalogue not readable

#define CODEPAGE_NAME_CAP   12   // capacity of a code-page name, terminator included
#define CODEPAGE_TABLE_LEN  128  // entries of a conversion table (bytes 128 to 255)

// Code-page classes.
#define CODEPAGE_SINGLE_BYTE  1
#define CODEPAGE_DOUBLE_BYTE  2
#define CODEPAGE_FOUR_BYTE    4

// Code-page ids that the conversion rules name.
#define CODEPAGE_ID_BIG5      1
#define CODEPAGE_ID_TW_EUC    2
#define CODEPAGE_ID_ZH        3
#define CODEPAGE_ID_SJIS      4
#define CODEPAGE_ID_JPN_EUC   5
#define CODEPAGE_ID_KO        6
#define CODEPAGE_ID_88591     7
#define CODEPAGE_ID_437       20
#define CODEPAGE_ID_1252      40
#define CODEPAGE_ID_TH        48
#define CODEPAGE_ID_MAX       48

// A conversion routine: converts str in place within cap bytes, using table
// (128 entries) where it needs one.
typedef void (*CODEPAGE_CONVERT)(char* str, int32_t cap, const int32_t* table);

struct CODEPAGE_INFO {
  int32_t native_id;                      // id of the native code page
  int32_t native_class;                   // its class (1, 2 or 4)
  char native_name[CODEPAGE_NAME_CAP];    // its name, NUL-terminated
  int32_t conn_id;                        // id of the connection's code page
  int32_t conn_class;                     // its class
  char conn_name[CODEPAGE_NAME_CAP];      // its name (the "convert name")
  int32_t convert;                        // 1 when strings must be converted
  int32_t to_native[CODEPAGE_TABLE_LEN];  // native byte for connection byte 128 + i
  int32_t to_conn[CODEPAGE_TABLE_LEN];    // connection byte for native byte 128 + i
  CODEPAGE_CONVERT to_conn_fn;            // native -> connection routine
  CODEPAGE_CONVERT to_native_fn;          // connection -> native routine
};

// CODEPAGE_get: fills id, class and name of info's native part with the
// machine's OEM code page (which 0) or ANSI code page (any other which).
// Returns 0, or -65 for a null record.
int32_t CODEPAGE_get(CODEPAGE_INFO* info, int32_t which);

// CODEPAGE_svrcpginit: sets up out for a server connection whose client
// names code page name (looked up in catalogue column column) against the
// native code page (native_id, native_class, native_name). Returns 0; -1007
// when $ZULHOME is not set or the catalogue cannot be opened; -1006 when a
// conversion table cannot be built. On failure the convert flag is 0.
int32_t CODEPAGE_svrcpginit(const char* name, int32_t native_id, int32_t native_class,
                            const char* native_name, int32_t column, CODEPAGE_INFO* out);

// CODEPAGE_iomgrcpginit: the same for a record whose native part the caller
// has filled; builds only the to-connection table.
int32_t CODEPAGE_iomgrcpginit(const char* name, int32_t column, CODEPAGE_INFO* info);

// CODEPAGE_tocpg / CODEPAGE_tonative: convert str (buffer of cap bytes) to
// the connection / native code page with the record's routine. Callers
// convert only when the convert flag is 1. Return 0, or -65 for a null
// argument (a record without routine leaves the string as it is).
int32_t CODEPAGE_tocpg(char* str, int32_t cap, const CODEPAGE_INFO* info);
int32_t CODEPAGE_tonative(char* str, int32_t cap, const CODEPAGE_INFO* info);

// CODEPAGE_isleadbyte: 0 when byte c starts a one-byte character of the
// record's native code page; 1 when it starts a two-byte character; 2 when
// it starts a four-byte one (next is the byte after it).
int32_t CODEPAGE_isleadbyte(const CODEPAGE_INFO* info, int32_t c, int32_t next);

// SES_CpgToLower / SES_CpgToUpper: change the case of a connection-code-page
// string in place (buffer of cap bytes), through the native code page when
// the convert flag is set. Return str.
char* SES_CpgToLower(char* str, int32_t cap, const CODEPAGE_INFO* info);
char* SES_CpgToUpper(char* str, int32_t cap, const CODEPAGE_INFO* info);

#endif
