// dbsql_io.h -- the DB2 access layer's own calls: the CLI statement layer,
// the error reporters, the SQL text buffer, identifiers, parameter sets and
// the instance accessors that the DB2 modules share.
//
// Return conventions: a signed 32-bit status (0 success, negative error)
// unless a line says otherwise. "Reported" means printed to standard error
// in the four-line form and recorded in the instance's (or stream's) last
// error as -51 with native code, message and SQLSTATE.
#ifndef DBSQL_IO_H
#define DBSQL_IO_H

#include <time.h>

#include "zul_db.h"

// Positive status: no data at the end of a block fetch.
#define DB_NO_DATA_BLOCK_END   SE_NO_DATA_BLOCK_END

// Rows per block fetch: the row-status array of db_odbc_execute_stmt holds
// this many; a larger count is refused with -66.
#define DB_MAX_ROWSET          100

// Execution modes of db_odbc_execute_stmt.
#define DB_MODE_EXEC_COMMIT    1   // execute, commit
#define DB_MODE_EXEC           2   // execute only
#define DB_MODE_DDL_COMMIT     3   // execute, commit
#define DB_MODE_FETCH          5   // execute (by flag) and fetch up to n rows, commit
#define DB_MODE_EXEC_COMMIT6   6   // execute, commit
#define DB_MODE_ARRAY          7   // execute a parameter array of n rows

// ---- statement wrapper (db_cli_stmt.cpp) ----------------------------------

void    db_cli_init(DB_INSTANCE* instance, DB_CLI_STMT* w);
int32_t db_cli_allocate(DB_CLI_STMT* w);
int32_t db_cli_prepare(DB_CLI_STMT* w, const char* sql);
int32_t db_cli_bind_by_pos(DB_CLI_STMT* w, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                           SQLULEN column_size, SQLPOINTER value, SQLLEN buffer_len,
                           SQLLEN* indicator);
int32_t db_cli_define_by_pos(DB_CLI_STMT* w, SQLSMALLINT c_type, SQLPOINTER target,
                             SQLLEN buffer_len, SQLLEN* indicator);
int32_t db_cli_set_bind_pos(DB_CLI_STMT* w, int32_t n);
int32_t db_cli_set_define_pos(DB_CLI_STMT* w, int32_t n);
int32_t db_cli_execute_stmt(DB_CLI_STMT* w, int32_t rows);
int32_t db_cli_fetch(DB_CLI_STMT* w);
int32_t db_cli_close_cursor(DB_CLI_STMT* w);
void    db_cli_reset(DB_CLI_STMT* w);
void    db_cli_free(DB_CLI_STMT* w);
int32_t db_cli_is_prepared(const DB_CLI_STMT* w);
int32_t db_cli_sqlstate_is(const DB_CLI_STMT* w, const char* sqlstate);
void    db_cli_error(DB_CLI_STMT* w);
int32_t db_cli_describe_columns(DB_CLI_STMT* w, const char* catalog, const char* schema,
                                const char* table, const char* column);
// answer: 1 accepts NULL, 0 not. -1 when DB2 does not know; -65 for a missing argument.
int32_t db_cli_column_nullable(DB_INSTANCE* instance, const char* catalog, const char* schema,
                               const char* table, const char* column, int32_t* answer);
void    db_cli_set_stream_error(const DB_CLI_STMT* w, DB_STREAM* stream);
void    db_cli_set_ctx_error(DB_INSTANCE* instance, const DB_CLI_STMT* w);

// ---- raw handles, one-shot SQL, transactions (dbsql_io.cpp) -----------------

DB_DIAG_RECORD db_get_diag_record(DB_INSTANCE* instance, const SQLHSTMT* stmt, int32_t rc);
int32_t db_open_cursor(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* out);
int32_t db_prepare_sql_text(SQLHSTMT stmt, const char* sql);
int32_t db_prepare_stmt(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT* out, const char* sql);
// rows: receives the rows of a fetch (SQLULEN, the CLI's counter type).
int32_t db_odbc_execute_stmt(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t execute, int32_t n,
                             SQLULEN* rows, int32_t mode);
int32_t db_execute_fetch(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t execute, int32_t n,
                         SQLULEN* rows);
int32_t db_execute_stmt(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t n, int32_t mode);
int32_t db_fetch_rows(SQLHSTMT stmt, int32_t n, SQLULEN* rows);
void    db_free_stmt(SQLHSTMT* stmt);
int32_t db_execute_ddlsql(DB_INSTANCE* instance, const char* sql, int32_t report, int32_t mode);
int32_t db_odbc_execute_ddlsql(DB_INSTANCE* instance, const char* sql, int32_t report, int32_t mode);
int32_t db_commit_ddlsql(DB_INSTANCE* instance);
int32_t db_rollback_ddlsql(DB_INSTANCE* instance);
void    db_ctx_default_error(DB_INSTANCE* instance);

// ---- the connection (db_connect.cpp) ------------------------------------------

// result->rc: 0 or 1 connected; -51 or -162 failed (with the diagnostic).
// database: in and out (an empty text becomes the administrative name);
// database_cap bytes.
void db_connect(DB_DIAG_RECORD* result, DB_INSTANCE* instance, const char* user,
                const char* password, char* database, size_t database_cap);
void db_disconnect(DB_DIAG_RECORD* result, DB_INSTANCE* instance);
void db_check_driver(DB_INSTANCE* instance, DB_DIAG_RECORD* result);

// ---- error reporting (db_stream.cpp) --------------------------------------------

void    db_report_dbms_error(DB_INSTANCE* instance, DB_DIAG_RECORD diag);
void    db_stream_report_dbms_error(DB_STREAM* stream, DB_DIAG_RECORD diag);
int32_t db_append_error_detail(DB_INSTANCE* instance, const char* text);
void    db_stream_copy_ctx_error(DB_INSTANCE* instance, DB_STREAM* stream);
void    db_stream_set_layer_info(DB_STREAM* stream, LAYER* layer);
LAYER*  db_stream_get_layer_info(DB_STREAM* stream);
int32_t db_stream_extend_envelope(DB_STREAM* stream, double minx, double miny, double maxx,
                                  double maxy);

// ---- SQL text (sql_string.cpp) ----------------------------------------------------

void    sql_string_init_growable(SQL_STRING* s);      // empty, growable; newline from ZULPRETTYSQL
void    sql_string_init_fixed(SQL_STRING* s, char* buffer, int32_t cap);
void    sql_string_free(SQL_STRING* s);               // releases a growable text; back to empty growable
int32_t sql_string_append(SQL_STRING* s, const char* text);
int32_t sql_string_append_newline(SQL_STRING* s);
// Texts ending with a null pointer.
int32_t sql_string_append_list(SQL_STRING* s, ...);

// ---- identifiers and lists (db_ident.cpp) --------------------------------------------

char*       db_upcase_identifier(DB_INSTANCE* instance, char* text, int32_t cap);
const char* db_strip_qualifier(const char* name);
void        db_free_string_array(char** buffer, char** texts, int32_t count);
int32_t     db_parse_in_list(const char* where, const char* column, int32_t* count,
                             int32_t** values, char*** markers, char** new_where);

// ---- parameter sets, dates, accessors (db_params.cpp) -------------------------------

int32_t db_stream_set_query_info(DB_STREAM* stream, const QUERYINFO* info);
int32_t db_ctx_param_set_slot(DB_INSTANCE* instance, int32_t key);
int32_t db_ctx_param_set_add(DB_INSTANCE* instance, int32_t key, int32_t kind);
int32_t db_ctx_add_param_sets(DB_INSTANCE* instance, int32_t key, const DB_VERSION_CTX* ctx,
                              int32_t mode);
int32_t db_stream_bind_param_sets(DB_STREAM* stream, int32_t key, int32_t* next);
int32_t db_bind_param_sets(DB_INSTANCE* instance, int32_t key, SQLHSTMT stmt,
                           const DB_VERSION_CTX* ctx, unsigned char* shape, SQLLEN shape_len,
                           SQLLEN* shape_indicator, int32_t* next);
int32_t db_sql_datetime_to_tm(const void* value, struct tm* out, int32_t c_type);
int32_t db_tm_to_sql_datetime(const struct tm* in, void* value, int32_t c_type);
void    db_set_layer_buffers_flag(DB_INSTANCE* instance, int32_t value);
int32_t db_get_layer_buffers_flag(DB_INSTANCE* instance);
void    db_set_coordref_flag(DB_INSTANCE* instance, int32_t value);
int32_t db_get_coordref_flag(DB_INSTANCE* instance);
void    db_set_access_stmt_flag(DB_INSTANCE* instance, int32_t value);
int32_t db_get_access_stmt_flag(DB_INSTANCE* instance);
int32_t db_get_layer_cache(DB_INSTANCE* instance, LAYER_CACHE** out);
int32_t db_lookup_registration(DB_INSTANCE* instance, const char* owner_table, REGISTRATION* out);
int32_t db_stream_get_fid_range(DB_STREAM* stream, int32_t count);
int32_t db_ddl_commit(DB_INSTANCE* instance);
int32_t db_ddl_rollback(DB_INSTANCE* instance);

// ---- services of the catalogue, stream and versioning modules (db_stubs.cpp) -------

int32_t db_layer_cache_create(DB_INSTANCE* instance, int32_t size);
void    db_layer_cache_free(DB_INSTANCE* instance);
int32_t DB_log_delete(DB_INSTANCE* instance, const char* name);
int32_t DB_table_drop(DB_INSTANCE* instance, const char* table);
int32_t DB_table_drop_index(DB_INSTANCE* instance, void* unused, const char* index);
void    db_close_fetch_stmt(DB_STREAM* stream, int32_t release_all);
void    db_free_attr_array(DB_STREAM* stream);
int32_t DB_stream_set_spatial_constraints(DB_STREAM* stream, int32_t count,
                                          const SPATIAL_FILTER* filters);
const char* db_sql_strip_where(const char* clause);

#endif
