// os_codepage.h -- code-page basics: the machine's ANSI and OEM code pages,
// per-code-page case tables, and the Big5 and CNS 11643 character mappings.
//
// Code pages. Linux has no ANSI or OEM code page of its own, so both are
// configured values: $ZUL_ACP and $ZUL_OEMCP at first use (defaults 1252 and
// 437), or zulos_set_code_pages. They are Windows code-page numbers.
//
// Case tables. A Windows process that sets its character-type locale to its
// ANSI code page folds accented letters (0xE9 to 0xC9 in 1252); the C
// library's C locale here folds ASCII only. Each code page therefore gets its
// own 256-byte tables, built once from glibc's iconv tables and the Unicode
// case mapping: a byte folds when its character has a case partner that the
// same code page holds as a single byte. Code pages that iconv does not know
// fold ASCII only. Lead and trail bytes of double-byte code pages decode to
// no single character and are left alone. The "character-type code page"
// stands in for the process locale: zulos_ctype_* answer for it.
//
// Big5 and CNS 11643. The mappings to and from Unicode come from glibc's
// iconv ("BIG5" and "EUC-TW"), built into tables at first use. CNS 11643
// is offered for planes 1, 2, 3 and 15. glibc's tables may differ from other
// published ones in a few code points.
//
// Every function here is safe to call from several threads.
#ifndef ZULOS_CODEPAGE_H
#define ZULOS_CODEPAGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The configured ANSI and OEM code pages (Windows numbers).
int zulos_ansi_code_page(void);
int zulos_oem_code_page(void);
// Sets them; a value of 0 leaves that one as it is.
void zulos_set_code_pages(int acp, int oemcp);

// The iconv name of a Windows code page (437 -> "CP437"), or null when
// iconv has no table for it.
const char* zulos_cp_charset(int cp);

// Case and class of one byte c (0..255) in code page cp. Values outside
// 0..255 are returned unchanged (and are no letters).
int zulos_cp_toupper(int cp, int c);
int zulos_cp_tolower(int cp, int c);
int zulos_cp_isupper(int cp, int c);
int zulos_cp_islower(int cp, int c);
int zulos_cp_isalpha(int cp, int c);

// The character-type code page: what a Windows process selects with its
// locale. 0 selects the ANSI code page, which is also the starting value.
void zulos_set_ctype_code_page(int cp);
int zulos_ctype_code_page(void);
int zulos_ctype_toupper(int c);
int zulos_ctype_tolower(int c);
int zulos_ctype_isupper(int c);
int zulos_ctype_islower(int c);
int zulos_ctype_isalpha(int c);

// zulos_big5_to_ucs: the Unicode character of the Big5 pair (lead, trail),
// or -1 when the pair has none.
int32_t zulos_big5_to_ucs(unsigned lead, unsigned trail);
// zulos_ucs_to_big5: the Big5 code of a character as (lead << 8 | trail), or
// -1 when Big5 has no code for it.
int32_t zulos_ucs_to_big5(uint32_t ucs);
// zulos_cns_to_ucs: the Unicode character at (row, cell) of a CNS 11643
// plane (1, 2, 3 or 15; row and cell 0x21..0x7E), or -1.
int32_t zulos_cns_to_ucs(int plane, unsigned row, unsigned cell);
// zulos_ucs_to_cns: where a character sits in CNS 11643 planes 1, 2, 3 or
// 15, as (plane << 16 | row << 8 | cell), or -1.
int32_t zulos_ucs_to_cns(uint32_t ucs);

#ifdef __cplusplus
}
#endif

#endif
