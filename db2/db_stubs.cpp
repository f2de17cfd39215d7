// db_stubs.cpp -- the services of the catalogue, stream and versioning
// modules that the access core calls, in the form they take until those
// modules are built.
//
// What stands here:
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
