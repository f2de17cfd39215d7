// zul_db_logfile.h -- log files (named sets of row ids of one registered
// table or layer), their open handles, and the metadata rows and locators of
// the ZUL schema.
//
// Every user keeps two log-file tables in its own schema: zul_logfiles (one
// row per log file) and zul_logfile_data (one row per data id and row id).
// A connection turns log-file handling on with DB_log_init and off with
// DB_log_end; every other log-file call answers SE_LOGFILE_OFF (-44) while it
// is off. Rows are read and written through open handles (DB_OPEN_LOG), kept
// on the instance's list and named by a small positive descriptor. Nothing
// of the handle calls commits: the caller's unit of work carries the rows.
//
// Metadata rows and locators are read with SQL and changed only through the
// procedures of the procedure library.
//
// The LOGFILE record's two words value_488 and value_508 hold the
// registration id and the layer id (db_log_reg_id, db_log_layer_id).
#ifndef ZUL_DB_LOGFILE_H
#define ZUL_DB_LOGFILE_H

#include <stdint.h>

#include "zul_db.h"
#include "zul_registration.h"

// Status codes of the log files besides the shared ones.
#define SE_LOGFILE_NOEXIST       (-43)   // no such log file; the statement touched no row
#define SE_INVALID_LOGFILE_FDES  (-45)   // descriptor not open, or its statement not ready
#define SE_LOGFILE_ALREADY_OPEN  (-46)   // opened again for writing on this connection
#define SE_LOGFILE_EXISTS        (-252)  // a log file of that name exists, or of another table
#define SE_LOGFILE_IS_OPEN       (-253)  // an input is open on this connection
#define SE_LOGFILE_TABLES_FAILED (-288)  // the log-file tables could not be made
#define SE_NO_ROWID_COLUMN       (-186)  // the registration has no row-id column
#define SE_LOCATOR_NOEXIST       (-275)  // no locator of that name or id

// Flag 8: the data rows go with the log file.
#define SE_LOG_DELETE_DATA       SE_LOG_FLAG_8

// Open modes of DB_log_open.
#define SE_LOG_OPEN_READ         0       // read its row ids; it must exist
#define SE_LOG_OPEN_REWRITE      1       // write, starting empty; made when missing
#define SE_LOG_OPEN_APPEND       2       // write, appending; it must exist
#define SE_LOG_OPEN_NEW          3       // write a new log file; it must not exist

// Set operations of DB_log_combine.
#define SE_LOG_INTERSECT         1
#define SE_LOG_UNION             2
#define SE_LOG_DIFFERENCE        3       // ids of the first not in the second
#define SE_LOG_SYM_DIFFERENCE    4

// Ids a handle writes or reads per array execution or rowset.
#define SE_LOG_BATCH             100

// Class and property of the metadata rows that tie tables and locators.
#define SE_META_CLASS_INTERNAL   "ZUL internal"
#define SE_META_PROP_LOCATOR_ID  "Locator ID"
#define SE_META_OBJECT_TABLE     1
#define SE_META_OBJECT_LOCATOR   2

inline int32_t& db_log_reg_id(LOGFILE& log) { return log.value_488; }
inline int32_t& db_log_layer_id(LOGFILE& log) { return log.value_508; }

// One open log file of a connection. Allocated zeroed by DB_log_open, freed
// by DB_log_close or DB_log_end.
struct DB_OPEN_LOG {
  int32_t      fdes;                      // descriptor, 1 and up
  LOGFILE      log;                       // copy of the stored record
  int32_t      mode;                      // SE_LOG_OPEN_*
  SQLHSTMT     stmt;                      // insert of a writing handle, select of a reading one
  int32_t      stmt_ready;                // stmt is prepared
  SQLHSTMT     delete_stmt;               // moves taken-out ids to data id -1
  int32_t      delete_ready;              // delete_stmt is prepared
  int32_t      pending_deletes;           // the pending ids are to be taken out
  SQLINTEGER   ids[SE_LOG_BATCH];         // parameter array and fetch buffer
  SQLLEN       indicators[SE_LOG_BATCH];  // their length indicators, all 0
  int32_t      moved;                     // ids queued or read through the handle
  int32_t      pending;                   // ids not yet written; rows of the last fetch
  int32_t      last_status;               // of the last write or read
  DB_OPEN_LOG* next;
};

// ---- log files (db_logfile.cpp) -------------------------------------------------

int32_t DB_log_init(DB_INSTANCE* instance);
int32_t DB_log_end(DB_INSTANCE* instance);
// log: in and out; on success holds the qualified name, ids and session tag.
int32_t DB_log_create(DB_INSTANCE* instance, LOGFILE* log);
// DB_log_delete is declared with the access core's services (dbsql_io.h).
int32_t DB_log_alter(DB_INSTANCE* instance, const LOGFILE* log);
int32_t DB_log_get_by_name(DB_INSTANCE* instance, const char* name, LOGFILE* out);
// *list is malloc'd (free()); null with count 0 when there is none.
int32_t DB_log_get_by_owner(DB_INSTANCE* instance, const char* owner, LOGFILE** list,
                            int32_t* count);
int32_t DB_log_get_by_table(DB_INSTANCE* instance, const char* owner, const char* table,
                            LOGFILE** list, int32_t* count);
int32_t DB_log_count(DB_INSTANCE* instance, const LOGFILE* log, int32_t* count);
// name: at least SE_LOGFILE_NAME_LEN bytes.
int32_t DB_log_make_name(DB_INSTANCE* instance, char* name);
int32_t DB_log_grant_access(DB_INSTANCE* instance, const char* owner, const char* grantee);
int32_t DB_log_revoke_access(DB_INSTANCE* instance, const char* owner, const char* grantee);
int32_t DB_log_system_tables_exist(DB_INSTANCE* instance);
int32_t DB_log_system_tables_create(DB_INSTANCE* instance);

// Internal services of the log files. Out buffers: database and owner
// SE_NAME_OWNER_LEN (32), name SE_NAME_TABLE_LEN (160) bytes.
int32_t db_log_parse_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                          char* database, char* owner, char* table);
int32_t db_log_select(DB_INSTANCE* instance, const char* owner, const char* filter,
                      LOGFILE** list, int32_t* count);
int32_t db_log_execute(DB_INSTANCE* instance, const char* sql, int32_t commit);
int32_t db_log_next_id(DB_INSTANCE* instance, const char* owner, int32_t* id);
int32_t db_log_remove(DB_INSTANCE* instance, const char* name);
int32_t db_log_is_open(DB_INSTANCE* instance, const char* name);
int32_t db_log_renew_data_id(DB_INSTANCE* instance, const char* owner, LOGFILE* log);
int32_t db_log_copy_data(DB_INSTANCE* instance, const char* source_owner,
                         const char* target_owner, const LOGFILE* source, const LOGFILE* target);
// 1 when the caller may change owner's log files (it is the owner or ZUL).
int32_t db_log_may_write(DB_INSTANCE* instance, const char* owner);

// ---- open log files, row-id lists, set operations (db_logfile_open.cpp) ------------

int32_t DB_log_open(DB_INSTANCE* instance, LOGFILE* log, int32_t mode, int32_t* fdes);
int32_t DB_log_close(DB_INSTANCE* instance, int32_t fdes);
int32_t DB_log_add_id_list(DB_INSTANCE* instance, int32_t fdes, const int32_t* ids, int32_t count);
int32_t DB_log_delete_id_list(DB_INSTANCE* instance, int32_t fdes, const int32_t* ids,
                              int32_t count);
int32_t DB_log_get_id_list(DB_INSTANCE* instance, int32_t fdes, int32_t max, int32_t* ids,
                           int32_t* count);
int32_t DB_log_get_by_fdes(DB_INSTANCE* instance, int32_t fdes, LOGFILE* out);
int32_t db_log_add_ids_by_query(DB_INSTANCE* instance, int32_t fdes, const char* unused,
                                const char* from, const char* where);
int32_t db_log_flush(DB_INSTANCE* instance, DB_OPEN_LOG* handle);
int32_t db_log_flush_adds(DB_INSTANCE* instance, DB_OPEN_LOG* handle);
int32_t db_log_flush_deletes(DB_INSTANCE* instance, DB_OPEN_LOG* handle);
// Frees every handle without writing its pending ids.
void    db_log_free_handles(DB_INSTANCE* instance);
int32_t DB_log_combine(DB_INSTANCE* instance, const char* first, const char* second,
                       const char* result, int32_t op, int32_t* count);
int32_t DB_log_copy(DB_INSTANCE* instance, const char* source, const char* target);
int32_t DB_log_sort(DB_INSTANCE* instance, const char* name, int32_t* count);

// ---- metadata (db_metadata.cpp) ----------------------------------------------------

int32_t DB_metadata_get_info_by_id(DB_INSTANCE* instance, int32_t id, METADATA_RECORD* out);
int32_t DB_metadata_first(DB_INSTANCE* instance, METADATA_RECORD* out, const char* where,
                          const char* object);
int32_t DB_metadata_next(DB_INSTANCE* instance, METADATA_RECORD* out, const char* where,
                         const char* object);
int32_t DB_sp_metadata_def_insert(DB_INSTANCE* instance, const METADATA_RECORD* records,
                                  int32_t count);
// Deletes the ids ten per procedure call; count 0 still makes one call.
int32_t DB_sp_metadata_def_delete(DB_INSTANCE* instance, int32_t count, const int32_t* ids);
int32_t DB_sp_metadata_def_delete_by_where(DB_INSTANCE* instance, const REGISTRATION* reg,
                                           const char* where);
int32_t DB_sp_metadata_def_update(DB_INSTANCE* instance, const METADATA_RECORD* record);
// Collects the record ids a SELECT of one column yields and deletes them.
int32_t db_metadata_delete_selected(DB_INSTANCE* instance, const char* sql);

// ---- locators (dblocator_io.cpp) -------------------------------------------------

int32_t DB_sp_zullocators_def_insert(DB_INSTANCE* instance, const LOCATOR* locator,
                                     const int32_t* record_ids, char** properties, char** values);
int32_t DB_sp_zullocators_def_update(DB_INSTANCE* instance, const LOCATOR* locator,
                                     const int32_t* record_ids, char** properties, char** values);
// *reg_ids (malloc'd, free()) and *count come in empty (null, 0).
int32_t DB_sp_zullocators_def_delete(DB_INSTANCE* instance, int32_t locator_id,
                                     int32_t** reg_ids, int32_t* count);
// The record's two arrays come from SES_allocate_string_array and belong to
// the caller; db_locator_free_properties releases them.
int32_t DB_locator_get_info(DB_INSTANCE* instance, const char* name, LOCATOR* out);
int32_t DB_locator_get_info_by_id(DB_INSTANCE* instance, int32_t id, LOCATOR* out);
// *list is malloc'd (free() after db_locator_free_properties on each record).
int32_t DB_locator_get_info_list(DB_INSTANCE* instance, const char* where, LOCATOR** list,
                                 int32_t* count);
int32_t db_metadata_find_locator_refs(DB_INSTANCE* instance, const char* table,
                                      const char* database, const char* owner,
                                      int32_t locator_id, int32_t* no_other);
void    db_locator_free_properties(LOCATOR* locator);

#endif
