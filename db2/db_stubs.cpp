// db_stubs.cpp -- the services of the catalogue, stream and versioning
// modules that the access core calls, in the form they take until those
// modules are built.
//
// What stands here:
//   - the layer cache holds no layers yet: it records its size and frees
//     nothing but its own entries;
//   - the log files are off: DB_log_delete answers -44;
//   - the table and index drops are the real ones (one statement each); a
//     name that breaks the identifier rule never reaches the SQL text;
//   - the stream module's fetch buffers are the stream's own malloc'd
//     buffers, released here;
//   - setting spatial constraints waits for the stream module and answers
//     SE_NOT_BUILT_YET after saying so.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"

int32_t db_layer_cache_create(DB_INSTANCE* instance, int32_t size) {
  instance->layer_cache.size = size > 5 ? size : 5;
  instance->layer_cache.count = 0;
  instance->layer_cache.entries = nullptr;
  return 0;
}

void db_layer_cache_free(DB_INSTANCE* instance) {
  free(instance->layer_cache.entries);
  memset(&instance->layer_cache, 0, sizeof instance->layer_cache);
}

int32_t DB_log_delete(DB_INSTANCE* instance, const char* name) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (name == nullptr || name[0] == '\0') return SE_INVALID_PARAM;
  fprintf(stderr, "DB_log_delete: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}

int32_t DB_table_drop(DB_INSTANCE* instance, const char* table) {
  if (table == nullptr || table[0] == '\0') return SE_INVALID_PARAM;
  if (DB_check_identifier(instance, table) != 0) return SE_INVALID_IDENTIFIER;
  std::string name = table;
  db_upcase_identifier(instance, &name[0], (int32_t)name.size() + 1);
  std::string sql = "DROP TABLE " + name;
  int32_t status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  DB_trans_def_commit(instance);
  return status;
}

int32_t DB_table_drop_index(DB_INSTANCE* instance, void* unused, const char* index) {
  (void)unused;
  DB_instance_clear_xerr(instance);
  if (index == nullptr || index[0] == '\0') return SE_INVALID_PARAM;
  if (DB_check_identifier(instance, index) != 0) return SE_INVALID_IDENTIFIER;
  std::string name = index;
  db_upcase_identifier(instance, &name[0], (int32_t)name.size() + 1);
  std::string sql = "DROP INDEX " + name;
  int32_t status = db_execute_ddlsql(instance, sql.c_str(), 0, DB_MODE_DDL_COMMIT);
  DB_trans_def_commit(instance);
  return status == SE_DB_NO_DATA ? -22 : status;
}

void db_close_fetch_stmt(DB_STREAM* stream, int32_t release_all) {
  free(stream->fetch_buffer);
  stream->fetch_buffer = nullptr;
  db_free_stmt(&stream->aux_stmt);
  if (release_all) stream->positions[3] = -1;
}

void db_free_attr_array(DB_STREAM* stream) {
  free(stream->bind_buffers);
  stream->bind_buffers = nullptr;
  free(stream->indicators);
  stream->indicators = nullptr;
  stream->columns_bound = 0;
}

int32_t DB_stream_set_spatial_constraints(DB_STREAM* stream, int32_t count,
                                          const SPATIAL_FILTER* filters) {
  (void)stream;
  (void)count;
  (void)filters;
  fprintf(stderr, "DB_stream_set_spatial_constraints: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}

const char* db_sql_strip_where(const char* clause) {
  if (clause == nullptr || clause[0] == '\0') return nullptr;
  const char* p = clause;
  while (*p == ' ' || *p == '\t') ++p;
  if (strncasecmp(p, "where ", 6) == 0) {
    p += 6;
    while (*p == ' ' || *p == '\t') ++p;
  }
  return *p != '\0' ? p : nullptr;
}
