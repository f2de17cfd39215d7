// zul_dbtune.h -- the dbtune storage configuration: the dbtune table, its
// text file dbtune.zul, the keyword readers that the DDL builders call, the
// built-in default rows, and the import and export of the table.
//
// The configuration is a set of rows (keyword, parameter name, configuration
// string) in the table "<database>.ZUL.dbtune". Keywords and parameter names
// are stored in upper case, strings as written. The text file lives in
// $ZULHOME/etc. A keyword reader fills one parameter record for one DDL
// statement; each non-empty string is a clause the builder appends. A count
// of 100 or more says the keyword itself has rows; below 100 the record holds
// only the DEFAULTS fallback.
//
// Rows change only through the stored procedures zul_trunc_dbtune and
// zul_insert_dbtune; the readers use plain SELECTs.
//
// Implemented in db2/db_dbtune.cpp (table, readers, file parsing),
// db2/db_dbtune_defaults.cpp (built-in rows) and db2/db_dbtune_io.cpp
// (import, export, table creation).
#ifndef ZUL_DBTUNE_H
#define ZUL_DBTUNE_H

#include <stdint.h>
#include <stdio.h>

#include "zul_db.h"
#include "zul_db_tables.h"

// Status codes of this module besides the shared ones.
#define SE_DBTUNE_FILE_ERROR      (-287)  // ZULHOME unset, or the dbtune file cannot be read
#define SE_DBTUNE_WRITE_ERROR     (-156)  // the export file cannot be opened or written
#define SE_DBTUNE_KEYWORD_NOEXIST (-313)  // a raster keyword other than DEFAULTS has no rows

// Widths, terminating NUL included.
#define DBTUNE_NAME_LEN       33     // keyword and parameter name: 32 characters
#define DBTUNE_STRING_LEN     2049   // configuration string in the table: 2048 characters
#define DBTUNE_FIELD_LEN      2048   // a parameter record's string: 2047 characters
#define DBTUNE_LOB_OPTION_LEN 128    // LOB_OPTION: 127 characters
#define DBTUNE_LINE_LEN       2112   // a file line: 2111 characters
#define DBTUNE_ROWSET         100    // rows per block fetch of the row reader

// The built-in rows and their keywords.
#define DBTUNE_DEFAULT_ROWS      119
#define DBTUNE_DEFAULT_KEYWORDS  17

// The default file name.
#define DBTUNE_FILE_NAME   "dbtune.zul"

// Modes of db_dbtune_fetch_rows.
#define DBTUNE_FETCH_ALL       0   // every row, ordered by keyword
#define DBTUNE_FETCH_KEYWORDS  1   // the rows of two keywords

// Storage parameters of the layer, versioning and system tables of a keyword.
struct DBTUNE_PARAMS {
  int16_t count;                                   // 100 per own row, 1 per DEFAULTS row
  char B_STORAGE[DBTUNE_FIELD_LEN];
  char B_INDEX_1[DBTUNE_FIELD_LEN];
  char B_INDEX_ROWID[DBTUNE_FIELD_LEN];
  char B_INDEX_SHAPE[DBTUNE_FIELD_LEN];
  char B_INDEX_USER[DBTUNE_FIELD_LEN];
  char B_RUNSTATS[DBTUNE_FIELD_LEN];
  char LOB_OPTION[DBTUNE_LOB_OPTION_LEN];
  char LOB_SIZE[DBTUNE_FIELD_LEN];
  char A_STORAGE[DBTUNE_FIELD_LEN];
  char A_INDEX_ROWID[DBTUNE_FIELD_LEN];
  char A_INDEX_SHAPE[DBTUNE_FIELD_LEN];
  char A_INDEX_STATEID[DBTUNE_FIELD_LEN];
  char A_INDEX_USER[DBTUNE_FIELD_LEN];
  char A_INDEX_1[DBTUNE_FIELD_LEN];
  char A_INDEX_2[DBTUNE_FIELD_LEN];
  char D_STORAGE[DBTUNE_FIELD_LEN];
  char D_INDEX_STATE_ROWID[DBTUNE_FIELD_LEN];
  char D_INDEX_DELETED_AT[DBTUNE_FIELD_LEN];
  char D_INDEX_1[DBTUNE_FIELD_LEN];
  char D_INDEX_2[DBTUNE_FIELD_LEN];
  char STATES_TABLE[DBTUNE_FIELD_LEN];
  char STATES_INDEX[DBTUNE_FIELD_LEN];
  char STATE_LINEAGES_TABLE[DBTUNE_FIELD_LEN];
  char VERSIONS_TABLE[DBTUNE_FIELD_LEN];
  char VERSIONS_INDEX[DBTUNE_FIELD_LEN];
  char MVTABLES_MODIFIED_TABLE[DBTUNE_FIELD_LEN];
  char MVTABLES_MODIFIED_INDEX[DBTUNE_FIELD_LEN];
};

// Storage parameters of the log-file tables of a keyword ("LOGFILE_<user>").
struct DBTUNE_LOGFILE_PARAMS {
  int16_t count;                                   // counted as in DBTUNE_PARAMS
  char LF_STORAGE[DBTUNE_FIELD_LEN];
  char LD_STORAGE[DBTUNE_FIELD_LEN];
  char LD_INDEX_DATA_ID[DBTUNE_FIELD_LEN];
  char LD_INDEX_ROWID[DBTUNE_FIELD_LEN];
  char LD_INDEX_1[DBTUNE_FIELD_LEN];
  char LD_INDEX_2[DBTUNE_FIELD_LEN];
};

// Storage parameters of the raster, band, auxiliary and block tables.
struct DBTUNE_RASTER_PARAMS {
  char RAS_STORAGE[DBTUNE_FIELD_LEN];
  char RAS_INDEX_ID[DBTUNE_FIELD_LEN];
  char RAS_INDEX_1[DBTUNE_FIELD_LEN];
  char BND_STORAGE[DBTUNE_FIELD_LEN];
  char BND_INDEX_ID[DBTUNE_FIELD_LEN];
  char BND_INDEX_COMPOSITE[DBTUNE_FIELD_LEN];
  char BND_INDEX_1[DBTUNE_FIELD_LEN];
  char BND_INDEX_2[DBTUNE_FIELD_LEN];
  char AUX_STORAGE[DBTUNE_FIELD_LEN];
  char AUX_INDEX_COMPOSITE[DBTUNE_FIELD_LEN];
  char AUX_INDEX_1[DBTUNE_FIELD_LEN];
  char BLK_STORAGE[DBTUNE_FIELD_LEN];
  char BLK_INDEX_COMPOSITE[DBTUNE_FIELD_LEN];
  char BLK_INDEX_1[DBTUNE_FIELD_LEN];
};

// The storage of the system tables (DBTUNE_SYSTEM_PARAMS) is declared with
// the system tables (zul_db_tables.h): a count and eleven clauses. The
// positions its clauses hold besides those named there:
#define DBTUNE_SYS_B_INDEX_USER              1
#define DBTUNE_SYS_B_INDEX_ROWID             2
#define DBTUNE_SYS_STATES_INDEX              4
#define DBTUNE_SYS_STATE_LINEAGES_TABLE      5
#define DBTUNE_SYS_SPARE                     6   // always empty
#define DBTUNE_SYS_VERSIONS_INDEX            8
static_assert(DBTUNE_CLAUSE_LEN == DBTUNE_FIELD_LEN, "system clauses are as wide as the other fields");

// The row an import could not insert. The caller clears it before the call.
struct DBTUNE_ERROR_ROW {
  char keyword[DBTUNE_NAME_LEN];
  char parameter_name[DBTUNE_NAME_LEN];
  char config_string[DBTUNE_STRING_LEN];
};

// The rows of one keyword block of a file: three parallel arrays of
// separately allocated strings. Emptied with dbtune_row_list_clear.
struct DBTUNE_ROW_LIST {
  char**  keywords;
  char**  names;
  char**  values;
  int32_t count;
};

// ---- the table and the readers (db_dbtune.cpp) -----------------------------

// 0 the table exists; -37 it does not (42S02); -38 (42S22); -1 otherwise.
int32_t DB_instance_dbtune_table_exists(DB_INSTANCE* instance);
// Fills out for the keyword: from the table when it exists (DEFAULTS
// fallback), else from file_name in $ZULHOME/etc (no fallback). out stays
// empty with count 0 unless the keyword has rows of its own. 0, or the
// reading's failure.
int32_t DB_read_system_tab_storage_config(DB_INSTANCE* instance, const char* keyword,
                                          const char* file_name, DBTUNE_SYSTEM_PARAMS* out);
// Whether the instance keeps DBMS-specific dbtune tables: never, -37.
int32_t DB_instance_has_dbs_tables(DB_INSTANCE* unused);

// The keyword readers of the DDL builders. An empty keyword reads DEFAULTS
// (LOGFILE_DEFAULTS for the log-file reader). 0; -51 and the CLI's codes
// from the row reader; -65 (null argument) and -313 from the raster reader.
int32_t db_dbtune_get_keyword_params(DB_INSTANCE* instance, DBTUNE_PARAMS* out, const char* keyword);
int32_t db_dbtune_get_logfile_params(DB_INSTANCE* instance, DBTUNE_LOGFILE_PARAMS* out,
                                     const char* keyword);
int32_t db_dbtune_get_raster_params(DB_INSTANCE* instance, DBTUNE_RASTER_PARAMS* out,
                                    const char* keyword);

// Reads rows of the table: every row (DBTUNE_FETCH_ALL), or the rows whose
// keyword is keyword (cut to 32 characters, upper-cased) or second. On 0 the
// three arrays and their strings belong to the caller
// (dbtune_free_rows); on failure they are null and count 0.
int32_t db_dbtune_fetch_rows(DB_INSTANCE* instance, int32_t mode, const char* keyword,
                             const char* second, char*** keywords, char*** names,
                             char*** values, int32_t* count);
void dbtune_free_rows(char** keywords, char** names, char** values, int32_t count);

// The file. A reader that parses a block gets the line after the header in
// line (DBTUNE_LINE_LEN bytes) and reads on from file; *more is 0 when the
// file ended, else line holds the first line after the block, not yet
// looked at. rows may be null. 0, or -12 out of memory while collecting.
int32_t db_dbtune_parse_keyword_block(FILE* file, char* line, int32_t* more, const char* keyword,
                                      DBTUNE_PARAMS* params, DBTUNE_LOGFILE_PARAMS* logfile,
                                      DBTUNE_RASTER_PARAMS* raster, DBTUNE_ROW_LIST* rows);
// Reads one line of at most 2111 characters into line (DBTUNE_LINE_LEN
// bytes), without its line end; the rest of a longer line is dropped. 0 at
// the end of the file.
int32_t dbtune_read_line(FILE* file, char* line);
// The keyword of a header line into keyword (DBTUNE_NAME_LEN bytes): 1 for a
// header, 0 for any other line.
int32_t dbtune_header_keyword(const char* line, char* keyword);
// Fills the three records from the keyword's block of file_name in
// $ZULHOME/etc. 0 also when the keyword is absent; -287 when ZULHOME is unset
// or the file cannot be opened.
int32_t db_dbtune_read_file_keyword(DB_INSTANCE* instance, const char* file_name, const char* keyword,
                                    DBTUNE_PARAMS* params, DBTUNE_LOGFILE_PARAMS* logfile,
                                    DBTUNE_RASTER_PARAMS* raster);
// Removes trailing blanks, tabs and line ends in place; returns text.
char* db_dbtune_trim_right(char* text);
// 1 when name is one of the 51 parameter names the file may hold.
int32_t dbtune_is_known_name(const char* name);
// "$ZULHOME/etc/<file_name>" into path (cap bytes). 0; -287 when ZULHOME is
// unset, the file name holds a path separator or is "." or "..", or the
// path does not fit.
int32_t dbtune_file_path(const char* file_name, char* path, size_t cap);

int32_t dbtune_row_list_append(DBTUNE_ROW_LIST* list, const char* keyword, const char* name,
                               const char* value);
void dbtune_row_list_clear(DBTUNE_ROW_LIST* list);

// ---- built-in rows (db_dbtune_defaults.cpp) --------------------------------

// One built-in row.
struct DBTUNE_DEFAULT_ROW {
  int32_t     keyword;   // index into the keyword table, 0 to 16
  const char* name;      // parameter name
  const char* value;     // configuration string, "" for none
  int32_t     warning;   // which wording of the warning (db_dbtune_defaults.cpp)
};
extern const char* const kDbtuneDefaultKeywords[DBTUNE_DEFAULT_KEYWORDS];
extern const DBTUNE_DEFAULT_ROW kDbtuneDefaultRows[DBTUNE_DEFAULT_ROWS];

// Marks the built-in row (keyword, name), both compared without regard to
// case, as supplied by the file.
void dbtune_defaults_mark(int32_t supplied[DBTUNE_DEFAULT_ROWS], const char* keyword, const char* name);
// Marks what one inserted block supplied: its value rows by name, the
// UI_TEXT rows by keyword prefix.
void dbtune_defaults_mark_block(int32_t supplied[DBTUNE_DEFAULT_ROWS], const char* block_keyword,
                                const DBTUNE_ROW_LIST* rows);
// Works out the complete flags from the supplied flags.
void dbtune_defaults_complete(const int32_t supplied[DBTUNE_DEFAULT_ROWS],
                              int32_t complete[DBTUNE_DEFAULT_KEYWORDS]);
// Inserts every built-in row of an incomplete keyword that was not supplied.
// 0, or the status of the first insertion that failed (error row filled).
int32_t S_insert_dbtuneTab_defaults_data(DB_INSTANCE* instance, const char* file_name,
                                         const int32_t complete[DBTUNE_DEFAULT_KEYWORDS],
                                         DBTUNE_ERROR_ROW* error_row,
                                         const int32_t supplied[DBTUNE_DEFAULT_ROWS]);

// ---- import, export and creation (db_dbtune_io.cpp) ------------------------

// Writes every row to file_name in $ZULHOME/etc. 0; -287 no ZULHOME; -156
// the file cannot be opened or written; the row reader's failure.
int32_t DB_instance_export_dbtune(DB_INSTANCE* instance, const char* file_name);
// Replaces the table's rows by those of file_name in $ZULHOME/etc, completed
// with the built-in rows; creates the table when it is missing.
int32_t DB_instance_import_dbtune(DB_INSTANCE* instance, const char* file_name,
                                  DBTUNE_ERROR_ROW* error_row);
// Loads the file into the emptied (table_existed 1) or new (0) table.
int32_t DB_instance_load_dbtune_table(DB_INSTANCE* instance, const char* file_name,
                                      DBTUNE_ERROR_ROW* error_row, int32_t table_existed);
// Creates the table, with storage's B_STORAGE when its count is 100 or more,
// and grants SELECT to PUBLIC. file_name is not used.
int32_t DB_instance_dbtune_table_create(DB_INSTANCE* instance, const char* file_name,
                                        const DBTUNE_SYSTEM_PARAMS* storage);
// Inserts one row through zul_insert_dbtune with call_text; keyword (33
// bytes) and name (33 bytes) are upper-cased in place. 0; the mapped message
// code; or the CLI's return code.
int32_t db_dbtune_insert_row(DB_INSTANCE* instance, const char* call_text, char* keyword, char* name,
                             const char* value, DBTUNE_ERROR_ROW* error_row);

#endif
