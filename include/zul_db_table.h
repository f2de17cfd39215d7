// zul_db_table.h -- plain tables on DB2: creating, altering, describing,
// listing, privileges, emptying and dropping; indexes, views, copies of a
// table's grants, indexes and checks, DBMS statistics; statistics of one
// attribute column; envelopes of a layer's shapes.
//
// Divisions (and the files that hold them):
//   1. tables                                   (db2/db_table.cpp)
//   2. indexes, views, copies, DBMS statistics  (db2/db_table_index.cpp)
//   3. column statistics                        (db2/db_table_stats.cpp)
//   4. layer envelopes                          (db2/db_layer_envelope.cpp)
//
// Conventions: every call takes the DB_INSTANCE first and answers a signed
// 32-bit status, 0 for success. A DBMS failure is recorded in the
// instance's last error (-51 with native code, message and SQLSTATE).
// Names from a client pass DB_check_identifier before they reach SQL text
// (-322). Arrays handed out belong to the caller, who releases them as each
// line says.
#ifndef ZUL_DB_TABLE_H
#define ZUL_DB_TABLE_H

#include <stdint.h>
#include <time.h>

#include "zul_db.h"

// Status codes of these calls besides the shared ones.
#ifndef SE_LAYER_NOEXIST
#define SE_LAYER_NOEXIST          (-20)   // no such layer
#endif
#ifndef SE_NO_ROW
#define SE_NO_ROW                 (-22)   // nothing to drop; no such row
#endif
#ifndef SE_SHAPE_COLUMN_NOT_NULL
#define SE_SHAPE_COLUMN_NOT_NULL  (-26)   // a shape column must accept NULL
#endif
#ifndef SE_INVALID_COLUMN_TYPE
#define SE_INVALID_COLUMN_TYPE    (-53)   // unknown column type code
#endif
#ifndef SE_INVALID_COLUMN_SIZE
#define SE_INVALID_COLUMN_SIZE    (-56)   // size or decimals outside the type's rule
#endif
#ifndef SE_INVALID_STATS_COLUMN
#define SE_INVALID_STATS_COLUMN   (-103)  // statistics do not apply to the column
#endif
#ifndef SE_INVALID_DISTINCT_TYPE
#define SE_INVALID_DISTINCT_TYPE  (-104)  // distinct values of this column type are refused
#endif
#ifndef SE_GRANT_REFUSED
#define SE_GRANT_REFUSED          (-105)  // grant or revoke refused
#endif
#ifndef SE_MULTIPLE_LAYERS
#define SE_MULTIPLE_LAYERS        (-133)  // a second layer (a second shape column)
#endif
#ifndef SE_NOT_MULTIVERSIONED
#define SE_NOT_MULTIVERSIONED     (-178)  // adds or deletes table asked of a plain table
#endif
#ifndef SE_UNIQUE_INDEX_NOT_COPIED
#define SE_UNIQUE_INDEX_NOT_COPIED (-195) // a unique index that may not be copied
#endif
#ifndef SE_TABLE_NOREGISTERED
#define SE_TABLE_NOREGISTERED     (-220)  // the table is not registered
#endif
#ifndef SE_RASTERCOLUMN_NOEXIST
#define SE_RASTERCOLUMN_NOEXIST   (-226)  // the table has no raster column
#endif
#ifndef SE_MULTIPLE_RASTERCOLUMNS
#define SE_MULTIPLE_RASTERCOLUMNS (-247)  // a second raster column in one view
#endif
#ifndef SE_COLUMN_EXISTS_ADD
#define SE_COLUMN_EXISTS_ADD      (-291)  // the added column exists
#endif
#ifndef SE_TOO_MANY_DISTINCTS
#define SE_TOO_MANY_DISTINCTS     (-1003) // more distinct values than asked for
#endif
#ifndef SE_NOT_SUPPORTED_ON_DB2
#define SE_NOT_SUPPORTED_ON_DB2   (-1008) // not supported on this database
#endif

// Privilege bits (the same as a LAYER's access bits).
#define SE_PRIV_SELECT  0x02
#define SE_PRIV_UPDATE  0x04
#define SE_PRIV_INSERT  0x08
#define SE_PRIV_DELETE  0x10
#define SE_PRIV_OWNER   30      // all four

// Table kinds: which storage parameters of a configuration keyword apply.
#define SE_TABLE_KIND_BUSINESS 0
#define SE_TABLE_KIND_ADDS     1
#define SE_TABLE_KIND_DELETES  2

// Registration flag of a table that carries a raster column.
#define SE_REG_HAS_RASTERCOLUMN 0x40

// ---- 1. tables ------------------------------------------------------------------------

// Creates table from columns[0..n-1]; keyword may be null or empty (no
// storage clause). -87 unknown keyword; -53 unknown column type; -56 size or
// decimals refused; -133 two shape columns; -26 a NOT NULL shape column;
// -62 the table exists; -51.
int32_t DB_table_create(DB_INSTANCE* instance, const char* table, int32_t n,
                        const COLUMN_DEF* columns, const char* keyword, int32_t table_kind);
// -291 the column exists; -53; -56; statuses of db_execute_ddlsql.
int32_t DB_table_add_column(DB_INSTANCE* instance, const char* table, const COLUMN_DEF* column);
int32_t DB_table_drop_column(DB_INSTANCE* instance, const char* table, const char* column);  // -1008
// *columns: malloc'd, *count entries, released with free(). reg may be null.
int32_t DB_table_describe(DB_INSTANCE* instance, const char* table, const REGISTRATION* reg,
                          int16_t* count, COLUMN_DEF** columns);
// *names: malloc'd array of *count malloc'd "database.schema.table" texts;
// release with DB_table_free_list.
int32_t DB_table_list(DB_INSTANCE* instance, int32_t privileges, const char* user, int32_t* count,
                      char*** names);
void DB_table_free_list(char** names, int32_t count);
int32_t DB_table_get_permissions(DB_INSTANCE* instance, const char* user, const char* table,
                                 int32_t* privileges);
int32_t DB_table_get_grantee_permissions(DB_INSTANCE* instance, const char* user,
                                         const char* table, int32_t* privileges);
// grantee: a user, or PUBLIC. -105 no right to grant; -66 an empty mask.
int32_t DB_table_grant_access(DB_INSTANCE* instance, const char* table, int32_t privileges,
                              int32_t grant_option, const char* grantee);
int32_t DB_table_revoke_access(DB_INSTANCE* instance, const char* table, int32_t privileges,
                               const char* grantee);
int32_t DB_table_truncate(DB_INSTANCE* instance, const char* table);
// DB_table_drop is declared with the access core's services (dbsql_io.h).
int32_t DB_view_drop(DB_INSTANCE* instance, const char* view);
int32_t DB_table_rename(DB_INSTANCE* instance, const char* table, const char* new_name);  // -1008

// 1 for the names of versioning side tables (A, B, D or L followed by
// nothing but digits), else 0.
int32_t db_table_list_is_versioning_table(const char* name);

// ---- 2. indexes, views, copies, DBMS statistics ------------------------------------------

// ascending: 1 ASC, else DESC. -37, -38, -63 index exists, -87, -51.
int32_t DB_table_create_index(DB_INSTANCE* instance, const char* table, const char* column,
                              int32_t unique, int32_t ascending, const char* index,
                              const char* keyword, int32_t table_kind);
// All or none: a failure drops the indexes this call made.
int32_t DB_table_create_indexes(DB_INSTANCE* instance, const char* table, int32_t count,
                                const INDEX_DEF* indexes, const char* keyword, int32_t table_kind);
// DB_table_drop_index is declared with the access core's services (dbsql_io.h).
// *indexes: malloc'd, released with DB_table_free_index_defs.
int32_t DB_table_describe_indexes(DB_INSTANCE* instance, const char* table, int16_t* count,
                                  INDEX_DEF** indexes);
void DB_table_free_index_defs(INDEX_DEF* indexes, int32_t count);
// table_out: 160 bytes. -64 no such index.
int32_t DB_table_get_name_from_index_name(DB_INSTANCE* instance, const char* index,
                                          char* table_out);
// view_columns may be null (n_view_columns 0). Out: layer id (0 none),
// spatial column (32 bytes), raster column id (0 none), raster column (32
// bytes); each out may be null.
int32_t DB_table_create_view(DB_INSTANCE* instance, const char* view, int32_t n_view_columns,
                             int32_t n_select_columns, char** view_columns, char** select_columns,
                             const SQL_CONSTRUCT* construct, int32_t* layer_id,
                             char* spatial_column, int32_t* rastercolumn_id, char* raster_column);
int32_t db_table_copy_grants(DB_INSTANCE* instance, const char* source, const char* target,
                             int32_t flag);
int32_t db_table_copy_indexes(DB_INSTANCE* instance, const char* source, const char* target,
                              char** leave_out, int32_t n_leave_out, int32_t unique_check,
                              char** unique_allowed, int32_t n_unique_allowed, const char* keyword,
                              int32_t table_kind);
int32_t db_table_copy_checks(DB_INSTANCE* instance, const char* source, const char* target);
int32_t db_table_copy_hook(DB_INSTANCE* instance, const char* source, const char* target);
int32_t db_table_analyze_schema_object(DB_INSTANCE* instance, int32_t flag, const char* owner,
                                       const char* table);
// mask: 0x20 the table, 0x40 its raster side tables, 2 adds, 4 deletes;
// 118 all of them, missing ones tolerated.
int32_t DB_table_update_dbms_stats(DB_INSTANCE* instance, const char* table, int32_t mask);
void db_sql_trim_right(char* text);

// ---- 3. column statistics ------------------------------------------------------------------

// Request flags.
#define SE_STATS_MIN      0x01
#define SE_STATS_AVG      0x02
#define SE_STATS_MAX      0x04
#define SE_STATS_STDDEV   0x08
#define SE_STATS_COUNT    0x10
#define SE_STATS_DISTINCT 0x20

// Value kinds of a distinct-value list.
#define SE_DISTINCT_INTEGER 2
#define SE_DISTINCT_DOUBLE  4
#define SE_DISTINCT_STRING  5
#define SE_DISTINCT_DATE    7

struct DISTINCT_ENTRY {
  int32_t count;          // rows holding the value
  int32_t int_value;      // kind 2
  double  double_value;   // kind 4
  char*   string_value;   // kind 5: NUL-terminated, column length + 1 bytes, owned by the list
  struct tm date_value;   // kind 7
};

struct DISTINCT_VALUES {
  int32_t         num_entries;  // entries filled
  int32_t         kind;         // SE_DISTINCT_*
  int32_t         cap;          // entries allocated (steps of 50)
  DISTINCT_ENTRY* entries;
  char**          text_blocks;  // kind 5: one block of 50 texts per 50 entries
  int32_t         num_blocks;
};

struct COLUMN_STATS {
  int32_t          count;     // count(*)
  double           min;
  double           avg;
  double           max;
  double           stddev;
  DISTINCT_VALUES* distinct;  // or null; released with DB_table_free_distinct_values
};

struct MV_QUERY;

int32_t DB_table_calculate_stats(DB_INSTANCE* instance, const char* column, int32_t flags,
                                 const SQL_CONSTRUCT* construct, int32_t max_distinct,
                                 int32_t* column_len, COLUMN_STATS* stats);
int32_t DB_table_calculate_stats_by_logfile(DB_INSTANCE* instance, const char* column,
                                            int32_t flags, const SQL_CONSTRUCT* construct,
                                            const MV_QUERY* mv, const LOGFILE* logfile,
                                            int32_t max_distinct, int32_t* column_len,
                                            COLUMN_STATS* stats);
void DB_table_free_distinct_values(DISTINCT_VALUES* values);

// ---- 4. layer envelopes ------------------------------------------------------------------

int32_t DB_layer_calculate_envelope(DB_INSTANCE* instance, const LAYER* layer,
                                    const SQL_CONSTRUCT* construct, const MV_QUERY* mv,
                                    int32_t whole_layer, SE_ENVELOPE* envelope, double* zmin,
                                    double* zmax);
int32_t DB_layer_calculate_row_envelope(DB_STREAM* stream, const LAYER* layer,
                                        const SQL_CONSTRUCT* construct, int32_t whole_layer,
                                        SE_ENVELOPE* envelope, double* zmin, double* zmax,
                                        int32_t row_id);
int32_t DB_envelope_get_by_logfile(DB_INSTANCE* instance, const LAYER* layer,
                                   const LOGFILE* logfile, const SQL_CONSTRUCT* construct,
                                   const MV_QUERY* mv, SE_ENVELOPE* envelope, double* zmin,
                                   double* zmax);
int32_t DB_layer_null_spatial_column(DB_INSTANCE* instance, const LAYER* layer,
                                     const REGISTRATION* reg, const char* where);

#endif
