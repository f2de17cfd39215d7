// zul_db.h -- the DB2 access core: the open instance, the statement stream,
// the last-error record, and the exported DB_ calls on them.
//
// A DB_INSTANCE is one DB2 connection of one server process. The server
// program fills a DB_INSTANCE_PARAMS record of callbacks and settings, opens
// the instance with DB_instance_open and hands it to every DB_ call. A
// DB_STREAM is one statement stream on an instance; it carries its own last
// error. Both records are plain C records: the instance is allocated and
// released by this library (DB_instance_open / DB_instance_close); a stream
// is allocated by DB_stream_init and released by its owner with free() after
// DB_stream_free.
//
// Everything handed to the CLI uses the CLI's own types (db2lite.h stands for
// the DB2 CLI header), so that a real DB2 CLI library links in its place.
//
// The statement layer, the error reporters and the SQL text helpers that the
// other DB2 modules share are declared in db2/dbsql_io.h.
#ifndef ZUL_DB_H
#define ZUL_DB_H

#include <stddef.h>
#include <stdint.h>

#include "db2lite.h"
#include "zul_layer.h"
#include "zul_logfile.h"
#include "zul_queryinfo.h"
#include "zul_registration.h"
#include "zul_status.h"

struct CODEPAGE_INFO;
struct PROC_INFO;
struct RASTERCOLUMN;

// Status codes of this module besides the shared ones.
#define SE_COLUMN_EXISTS        (-19)   // column already exists
#define SE_ATTR_NOEXIST         (-38)   // column not found; lineages table of the older layout
#define SE_SQL_SYNTAX           (-42)   // SQL syntax error or access violation
#define SE_LOGFILE_OFF          (-44)   // the instance keeps no log files
#define SE_DB_CONSTRAINT        (-60)   // refused by the database (SQLSTATE 38613)
#define SE_TABLE_EXISTS         (-62)   // table or view already exists
#define SE_INDEX_EXISTS         (-63)   // index already exists
#define SE_INDEX_NOEXIST        (-64)   // no such index (or a 37000 from DDL)
#define SE_INVALID_QUERYINFO    (-259)  // no query description
#define SE_DBA_NOT_OPEN         (-1)    // the instance was not opened as administrator
#define SE_DB_NO_DATA           100     // SQL_NO_DATA passed up by the DDL execution

// Text capacities, terminating NUL included.
#define SE_XERR_MSG_LEN         512
#define SE_XERR_EXT_LEN         4096
#define SE_DB_NAME_LEN          33      // user and database names: 32 characters
#define SE_DBA_PASSWORD_LEN     1025    // DBA password: 1024 characters, so a long one is kept whole
#define SE_DB_QUALIFIED_LEN     226     // "%s:%s.%s" and versioned table names
#define SE_DB_TABLE_LEN         160
#define SE_DB_STREAM_NAME_LEN   16
#define SE_DB_STREAM_SETTINGS   10      // the STREAM_SPEC settings a stream keeps
#define SE_DB_MAX_FILTER_SHAPES 250     // cap of the fourth stream setting
#define SE_DB_CACHED_STMTS      9
#define SE_DB_SQL_TEXTS         4
#define SE_PARAM_SET_KINDS      102     // kinds per parameter-set slot

// The administrative user and the administrative database's default name.
#define SE_ADMIN_USER           "ZUL"
#define SE_ADMIN_DATABASE       "zul"

// ---- last error -------------------------------------------------------------

// The last error of an instance, a stream or a connection. For a DBMS error
// the code is -51, native is DB2's code, msg DB2's text and ext_msg the
// SQLSTATE.
struct EXTENDED_ERROR {
  int32_t code;                       // status; 0 when there is no error
  int32_t native;                     // native DBMS code
  char    msg[SE_XERR_MSG_LEN];       // message
  char    ext_msg[SE_XERR_EXT_LEN];   // extended message (the SQLSTATE)
};

// ---- growable SQL text --------------------------------------------------------

// SQL text that grows in steps of 2048 bytes, or fills a caller's fixed
// buffer and refuses an append that does not fit (-250). See sql_string.cpp.
struct SQL_STRING {
  char*   text;       // NUL-terminated text; null while empty and growable
  int32_t len;        // characters in text (a caller's buffer starts at 1)
  int32_t cap;        // bytes of text's buffer
  int32_t growable;   // 1 when text may be reallocated
  int32_t newline;    // 1 when ZULPRETTYSQL was set at the reset
  int32_t unbounded;  // 1 for a caller's buffer of capacity 2147483647
};

// ---- callbacks of the server program ---------------------------------------------

typedef uint32_t (*DB_LAYER_STAMP_FN)(void* ctx, int32_t layer_id);
typedef int32_t (*DB_FID_RANGE_FN)(void* ctx, int32_t layer_id, int32_t count);
typedef int32_t (*DB_OWN_PROC_FN)(void* ctx, PROC_INFO** out);
typedef int32_t (*DB_PROC_BY_ID_FN)(void* ctx, int32_t pid, PROC_INFO** out);
typedef int32_t (*DB_REG_BY_NAME_FN)(void* ctx, const char* owner_table, REGISTRATION* out);
typedef int32_t (*DB_REG_BY_ID_FN)(void* ctx, int32_t reg_id, REGISTRATION* out);
typedef void (*DB_CLEANUP_FN)(void* ctx);

// What the server program hands to DB_instance_open; the instance keeps a
// copy. Every callback receives ctx first.
struct DB_INSTANCE_PARAMS {
  void*               ctx;                 // opaque; the server program's handle
  int32_t             autocommit_interval; // when not 0, given to DB_trans_set_autocommit
  int32_t             layer_cache_size;    // when not 0, the layer cache is made with it
  DB_LAYER_STAMP_FN   layer_stamp;         // last-modified time of a layer, seconds
  DB_FID_RANGE_FN     fid_range;           // reserves count feature ids, answers the first
  CODEPAGE_INFO*      codepage;            // the connection's code pages
  void*               client_data;         // carried, never read
  char                database[512];       // carried, never read
  int32_t             handle_value;        // carried, never read
  DB_OWN_PROC_FN      own_process;         // this process's PROC_INFO
  DB_PROC_BY_ID_FN    process_by_id;       // another server process's PROC_INFO
  DB_REG_BY_NAME_FN   registration_by_name;// registration of "owner.table"; must be set
  DB_REG_BY_ID_FN     registration_by_id;  // registration by id
  DB_CLEANUP_FN       cleanup;             // the server program's own clean-up; never called here
  int32_t             spare;               // read only by DB_instance_lock
};

// ---- working storage that later modules fill -------------------------------------

// The layer cache: the layers of the instance, kept by the catalogue module
// (zul_db_layer.h). Records are made in blocks of five; a slot whose layer
// id is -1 is free, a made record at or beyond used is spare.
struct LAYER_CACHE {
  int32_t   used;       // slots in use; lookups search 0 .. used-1
  LAYER**   records;    // capacity slots; those beyond the made records are null
  int32_t   capacity;   // length of records
  int32_t   blocks;     // blocks of five records made
  uint32_t* stamps;     // one per made record: the layer stamp when stored
  SQLHSTMT  scan_stmt;  // the statement of DB_layer_first / DB_layer_next
  SQLLEN    scan_ind[6];// its NULL indicators, bound across calls
  // The srid lookup's memory of the last match of a stream: the stream's
  // remembered reference carries no text, so its text is kept here.
  const void* srid_stream;     // the stream, or null
  const void* srid_coordref;   // the stream's remembered COORDREF when stored
  char        srid_text[1024]; // its coordinate-system text
};

// A statement the instance keeps prepared between calls.
struct DB_CACHED_STMT {
  SQLHSTMT stmt;      // CLI statement handle, or null
  int32_t  prepared;  // 1 while stmt holds prepared text
};

// The lineage-rebuild state of the versioning module: its statement is
// dropped and the record freed at close.
struct DB_LINEAGE_REBUILD {
  SQLHSTMT stmt;      // the prepared rebuild statement, or null
  void*    work;      // the versioning module's own storage, freed with free()
};

// One parameter-set slot: the kinds of the "?" markers of a statement key.
struct DB_PARAM_SET {
  int32_t key;                          // statement key
  int32_t count;                        // kinds held
  int32_t kinds[SE_PARAM_SET_KINDS];    // 1, 2: version-context integers; 3: log-file data id; 4: search shape
};

// The version context of a query on a multiversioned table, built by the
// versioned-SQL generator.
struct DB_VERSION_CTX {
  int32_t  value1;    // bound for parameter kind 1
  int32_t  value2;    // bound for parameter kind 2
  char*    sql;       // the generated SQL text
  LOGFILE* logfile;   // its data id is bound for kind 3; may be null
};

// ---- the instance -----------------------------------------------------------------

struct DB_INSTANCE {
  char               current_user[SE_DB_NAME_LEN];    // upper-cased after the connect
  DB_INSTANCE_PARAMS params;                          // the caller's record, copied first
  EXTENDED_ERROR     xerr;                            // last error
  void*              state_list;                      // state-list file state (versioning)
  // layer-fetch working storage of the catalogue module
  int32_t            layer_buffers_flag;              // fetch buffers bound
  int32_t            coordref_flag;                   // coordinate-reference object exists
  int32_t            access_stmt_flag;                // table-privilege statement prepared
  void*              layer_fetch;                     // bound fetch buffers
  SQLHSTMT           access_stmt;                     // table-privilege statement
  LAYER_CACHE        layer_cache;
  // log-file state of the catalogue module (zul_db_logfile.h)
  int32_t            logfile_in_use;                  // 1 between DB_log_init and DB_log_end
  int32_t            logfile_session_tag;             // (pid mod 10000) * 10000 + (start mod 10000)
  int32_t            logfile_name_counter;            // next temporary-name number, from 0
  int32_t            logfile_last_fdes;               // last descriptor given out
  void*              logfiles;                        // DB_OPEN_LOG list, newest first
  // scan cursors (registration, metadata, raster, version) and the lineage rebuild
  SQLHSTMT           scans[4];
  DB_LINEAGE_REBUILD* lineage_rebuild;
  // transactions
  int32_t            autocommit_counter;              // counted operations since the last periodic commit
  int32_t            user_trans;                      // 1 while a user transaction is open
  int32_t            autocommit_interval;             // commit every n counted operations; <= 0 never
  SQLHDBC            hdbc;                            // CLI connection
  SQLHENV            henv;                            // CLI environment
  int32_t            connected;                       // 1 between SQLConnect and SQLDisconnect
  int32_t            trans_capable;                   // set by the driver check
  char               literal_prefix[3];               // character literal prefix of the driver
  char               literal_suffix[3];
  char               dba_password[SE_DBA_PASSWORD_LEN];// upper-cased; zeroed at close
  int32_t            dba;                             // 1 when opened by DB_instance_open_as_dba
  char               admin_database[SE_DB_NAME_LEN];
  char               current_database[SE_DB_NAME_LEN];// as DB2 reports it
  DB_CACHED_STMT     cached[SE_DB_CACHED_STMTS];
  int32_t            num_param_sets;
  DB_PARAM_SET*      param_sets;
  SQL_STRING         sql[SE_DB_SQL_TEXTS];            // texts of the statement builders
};

// ---- statement wrapper and diagnostic -------------------------------------------------

// A statement wrapper of the CLI layer, owned by the function or stream that
// declares it (db_cli_* in dbsql_io.h).
struct DB_CLI_STMT {
  SQLHDBC     hdbc;             // the instance's connection, copied at init
  SQLHSTMT    hstmt;            // null until allocated and after free
  int16_t     handle_kind;      // diagnostics from SQL_HANDLE_DBC (2) or SQL_HANDLE_STMT (3)
  int32_t     param_pos;        // last parameter bound
  int32_t     col_pos;          // last result column bound
  SQLULEN     rows_fetched;     // rows of the last rowset (SQL_ATTR_ROWS_FETCHED_PTR)
  SQLLEN      col_ind;          // indicator of columns bound without one
  SQLLEN      param_ind;        // indicator of non-character parameters bound without one
  SQLLEN      char_ind;         // indicator of character parameters bound without one: SQL_NTS
  SQLINTEGER  native;           // native code of the last diagnostic
  char        message[512];     // its text
  char        sqlstate[6];      // its SQLSTATE
  int32_t     prepared;         // 1 once text was prepared
};

// One DB2 diagnostic, passed by value.
struct DB_DIAG_RECORD {
  int32_t rc;                   // the return code (or status) the caller had
  char    sqlstate[6];
  char    message[1026];        // DB2 is asked for at most 1025 bytes
  int32_t native;
};

// ---- the stream -------------------------------------------------------------------

struct DB_STREAM;

// A hook that the stream module may set: DB_stream_close calls it first, to
// end what only that module knows about (versioned updates, the auto log).
typedef void (*DB_STREAM_CLOSE_HOOK)(DB_STREAM* stream, int32_t release_all);

// The raster query work of a raster stream. Every buffer is released with
// free(); a temporary log file named here is deleted at close.
struct DB_RASTER_WORK {
  void*    column_buffer;
  void*    band_buffer;
  void**   rows;
  int32_t  num_rows;
  SQLHSTMT stmt;
  char     temp_logfile[SE_LOGFILE_NAME_LEN];  // empty when none was made
};

// One statement stream. Owned pointers are released with free() unless the
// comment names another release; DB_stream_close releases them.
struct DB_STREAM {
  int32_t        state;                       // stream state word
  int32_t        in_use;
  const char*    owner;                       // default owner; the creator's text, outlives the stream
  char           name[SE_DB_STREAM_NAME_LEN]; // "%d_%d": connection id and stream number
  LAYER*         layer;                       // borrowed from the layer cache, or null
  COORDREF*      coordref;                    // released (SgCoordRefFree) by a release-all close
  int32_t        feature_flag;                // the feature work serves shape fetching
  FEATURE_STRUCT* feature;                    // compressed-feature work (SES_comp_feature_free, free)
  char           qualified_table[SE_DB_QUALIFIED_LEN];
  int16_t        spatial_column;              // shape column among the results; -1 none
  int32_t        positions[8];                // special result columns; -1 absent (the fifth 0)
  SQLHSTMT       query_stmt;
  SQLHSTMT       count_stmt;
  SQLHSTMT       aux_stmt;
  SQLHSTMT*      aux_stmt_ref;                // the fourth handle, held through a pointer
  void*          select_list;                 // work buffers of the stream module
  void*          fetch_buffer;
  int32_t        columns_bound;               // result columns have bind buffers
  int16_t        num_columns;
  COLUMN_DEF*    columns;
  char           table[SE_DB_TABLE_LEN];
  char           table_owner[32];
  char           table_database[32];
  char           spatial_column_name[32];
  void*          bind_buffers;
  SQLLEN*        indicators;
  char**         column_names;                // result-column names, num_column_names of them
  int32_t        num_column_names;
  int32_t*       row_ids;
  int32_t        num_row_ids;
  int32_t        num_tables;                  // tables of the query, pointing into query_info
  char**         tables;
  char*          where;
  DB_STREAM**    sub_streams;                 // nested streams of versioned edits; freed with them
  int32_t        num_sub_streams;
  QUERYINFO*     query_info;                  // SES_queryinfo_free
  int32_t        env_filter;                  // first-cut envelope filter on
  int32_t        env_limits[2];
  int32_t        env_values[2];
  char*          select_text;                 // the generated SELECT
  LOGFILE        logfile;
  char           raster_column[32];
  char           raster_database[32];
  char           raster_owner[32];
  char           raster_table[SE_DB_TABLE_LEN];
  int32_t        rastercolumn_id;
  int32_t        band_index;                  // -1 none
  DB_CLI_STMT    cli[3];                      // statement wrappers of the raster and tile operations
  QUERYINFO*     raster_query_info;           // SES_queryinfo_free
  int32_t        tile_buffer_size;
  void*          tile_buffer;                 // SES_buffer_free when the size is above 0
  int32_t        raster_counters[4];
  int32_t        num_filters;
  SPATIAL_FILTER* filters;
  void*          feature_specs;
  void*          filter_buffers[2];
  void**         filter_shapes;               // as many as the fourth stream setting
  REGISTRATION   registration;
  char           version_names[4][SE_DB_QUALIFIED_LEN];
  int32_t        mv_flags[3];
  int32_t        state_id;                    // -1 none
  void*          version_buffer;
  SQLHSTMT*      held_stmt;                   // kept open across calls
  int32_t        held_flag;
  int32_t        lock_counters[7];
  DB_RASTER_WORK* raster_work;
  int32_t        settings[SE_DB_STREAM_SETTINGS]; // the STREAM_SPEC; the fourth capped at 250
  void*          raster_record;
  int32_t        raster_words[2];
  int32_t        operation_mode;              // 0 created, 1 insert, 2 update, 3 query
  EXTENDED_ERROR xerr;                        // last error; survives a close
  double         envelope[4];                 // min x, min y, max x, max y of written shapes
  DB_INSTANCE*   instance;                    // the owning instance
  DB_VERSION_CTX* version_ctx;                // of a versioned query, or null (borrowed)
  unsigned char* search_shape;                // compressed search shape bound as a BLOB (borrowed)
  SQLLEN         search_shape_len;
  SQLLEN         shape_indicator;
  DB_STREAM_CLOSE_HOOK close_hook;            // set by the stream module, or null
  struct DB_QUERY_WORK* query;                // query set-up, filter and fetch work (db2/db_query_work.h), or null
};

// ---- instance ------------------------------------------------------------------

// Opens the connection (connect text, user, password). 0; -12 out of memory
// (out null); -162 another database than the administrative one; -9 login
// refused; -158 database not reachable; -51 other DBMS failure (recorded in
// the instance's error). After a failure past the allocation *out still
// holds the instance: DB_instance_close releases it. `unused` is ignored.
int32_t DB_instance_open(const char* connect, const char* user, const char* password,
                         const DB_INSTANCE_PARAMS* params, void* unused, DB_INSTANCE** out);
// Opens as ZUL on the administrative database; a refused password is -93.
int32_t DB_instance_open_as_dba(const char* password, const DB_INSTANCE_PARAMS* params,
                                DB_INSTANCE** out);
// Releases everything, a half-open instance included; null is ignored. 0;
// -51 when the final commit or the disconnect failed (the connection is
// rolled back and released all the same).
int32_t DB_instance_close(DB_INSTANCE* instance);
EXTENDED_ERROR DB_instance_get_xerr(DB_INSTANCE* instance);
void DB_instance_clear_xerr(DB_INSTANCE* instance);
int32_t DB_instance_lock(DB_INSTANCE* instance);
int32_t DB_instance_check_password(const char* password);
int32_t DB_instance_check_dba_password(DB_INSTANCE* instance, const char* password);
int32_t DB_instance_user_is_zul_admin(DB_INSTANCE* instance, const char* user);
// out: at least 33 bytes.
int32_t DB_instance_get_current_user(DB_INSTANCE* instance, char* out);
int32_t DB_instance_get_admin_user(DB_INSTANCE* instance, char* out);
int32_t DB_instance_get_admin_database(DB_INSTANCE* instance, char* out);

// ---- transactions ------------------------------------------------------------------

int32_t DB_trans_def_start(DB_INSTANCE* instance);
int32_t DB_trans_defwr_start(DB_INSTANCE* instance);
int32_t DB_trans_updt_start(DB_INSTANCE* instance);
int32_t DB_trans_updt_commit(DB_INSTANCE* instance);
int32_t DB_trans_def_commit(DB_INSTANCE* instance);
int32_t DB_trans_updt_rollback(DB_INSTANCE* instance);
int32_t DB_trans_user_start(DB_INSTANCE* instance);
int32_t DB_trans_user_commit(DB_INSTANCE* instance);
int32_t DB_trans_user_rollback(DB_INSTANCE* instance);
int32_t DB_trans_set_autocommit(DB_INSTANCE* instance, int32_t interval);
int32_t DB_trans_auto_commit_control(DB_INSTANCE* instance);
int32_t DB_trans_release_requests(DB_INSTANCE* instance);
int32_t DB_trans_set_compress_mode(DB_INSTANCE* instance, int32_t mode);
int32_t db_trans_user_is_open(DB_INSTANCE* instance);

// ---- streams ------------------------------------------------------------------------

// A new stream on the instance: -12 out of memory (nothing allocated), else 0.
// owner is borrowed and must outlive the stream.
int32_t DB_stream_init(DB_STREAM** out, DB_INSTANCE* instance, const char* owner,
                       const char name[SE_DB_STREAM_NAME_LEN],
                       const int32_t settings[SE_DB_STREAM_SETTINGS]);
// Ends what the stream holds so that it can serve a new statement.
void DB_stream_close(DB_STREAM* stream, int32_t release_filters, int32_t release_all);
// DB_stream_close with both flags; the caller then free()s the record.
void DB_stream_free(DB_STREAM* stream);
int32_t DB_stream_set_operation_mode(DB_STREAM* stream, int32_t mode);
void DB_stream_get_xerr(EXTENDED_ERROR* out, DB_STREAM* stream);
void DB_stream_clear_xerr(DB_STREAM* stream);
int32_t DB_stream_get_rastercolumn_id(DB_STREAM* stream, int32_t* id);
int32_t DB_stream_set_rastercolumn_id(DB_STREAM* stream, int32_t id);

// ---- identifiers ----------------------------------------------------------------------

// 0 for an acceptable or empty identifier, -322 when not, -12 out of memory.
int32_t DB_check_identifier(DB_INSTANCE* instance, const char* identifier);

#endif
