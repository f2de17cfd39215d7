// db_stream.cpp -- the DB_STREAM record: its life (init, close, free), its
// small accessors, and the reporters that print a DBMS error and record it
// in an instance or a stream.
//
// Life of a stream:
//   DB_stream_init --> created --(stream module: prepare, run)--> working
//   working --DB_stream_close(f, 0)--> created   (filters kept unless f)
//   any --DB_stream_close(1, 1) or DB_stream_free--> ended; the owner then
//   releases the record with free().
// The name, owner, settings, instance and last error survive a close, so
// that a client can still read the error of a statement that failed before
// its stream was closed. Every release tolerates a field never filled, and
// a close after a close does nothing more.
//
// The instance's four SQL texts are emptied whenever a stream is created or
// closed: a stream operation builds and runs its SQL without another stream
// operation in between.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "comp_ftr.h"
#include "dbsql_io.h"
#include "svr_services.h"

namespace {

constexpr int32_t kNoLimit = 2147483647;

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

void reset_sql_texts(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  for (SQL_STRING& s : instance->sql) sql_string_free(&s);
}

void set_envelope_empty(DB_STREAM* s) {
  s->envelope[0] = 2147483647.0;
  s->envelope[1] = 2147483647.0;
  s->envelope[2] = 0.0;
  s->envelope[3] = 0.0;
}

void reset_positions(DB_STREAM* s) {
  for (int32_t i = 0; i < 8; ++i) s->positions[i] = -1;
  s->positions[4] = 0;
}

void free_feature(DB_STREAM* s) {
  if (s->feature != nullptr) {
    SES_comp_feature_free(s->feature);
    free(s->feature);
    s->feature = nullptr;
  }
  s->feature_flag = 0;
}

void free_texts(char*** texts, int32_t* count) {
  if (*texts != nullptr) {
    for (int32_t i = 0; i < *count; ++i) free((*texts)[i]);
    free(*texts);
  }
  *texts = nullptr;
  *count = 0;
}

}  // namespace

// ---- life ---------------------------------------------------------------------------

int32_t DB_stream_init(DB_STREAM** out, DB_INSTANCE* instance, const char* owner,
                       const char name[SE_DB_STREAM_NAME_LEN],
                       const int32_t settings[SE_DB_STREAM_SETTINGS]) {
  if (out == nullptr) return SE_INVALID_POINTER;
  *out = nullptr;
  DB_STREAM* s = static_cast<DB_STREAM*>(calloc(1, sizeof(DB_STREAM)));
  if (s == nullptr) return SE_OUT_OF_DBMS_MEM;
  s->owner = owner;
  if (name != nullptr) copy_text(s->name, sizeof s->name, name);
  s->spatial_column = -1;
  reset_positions(s);
  s->env_limits[0] = kNoLimit;
  s->env_limits[1] = kNoLimit;
  s->band_index = -1;
  s->state_id = -1;
  set_envelope_empty(s);
  if (settings != nullptr) memcpy(s->settings, settings, sizeof s->settings);
  if (s->settings[3] > SE_DB_MAX_FILTER_SHAPES) s->settings[3] = SE_DB_MAX_FILTER_SHAPES;
  if (s->settings[3] < 0) s->settings[3] = 0;
  s->instance = instance;
  for (DB_CLI_STMT& w : s->cli) db_cli_init(instance, &w);
  reset_sql_texts(instance);
  *out = s;
  return 0;
}

void DB_stream_close(DB_STREAM* s, int32_t release_filters, int32_t release_all) {
  if (s == nullptr) return;
  if (s->close_hook != nullptr) s->close_hook(s, release_all);

  // whether the feature work serves shape fetching, decided before the
  // fetch buffers go
  bool feature_fetch = (s->feature_flag && s->columns_bound) || (s->spatial_column < 0 && s->env_filter);

  // 1.
  s->layer = nullptr;
  s->in_use = 0;
  s->operation_mode = 0;

  // 2. block-fetch buffers, then the points-only fetch
  if (s->num_columns > 0 && s->columns_bound) db_free_attr_array(s);
  db_close_fetch_stmt(s, release_all);

  // 3.
  if (release_all && s->coordref != nullptr) {
    SgCoordRefFree(s->coordref);
    s->coordref = nullptr;
  }

  // 4. the feature work, when it serves shape fetching (or at the end)
  s->qualified_table[0] = '\0';
  if (feature_fetch || release_all) free_feature(s);

  // 5.
  s->spatial_column = -1;
  db_free_stmt(&s->query_stmt);
  db_free_stmt(&s->count_stmt);
  db_free_stmt(&s->aux_stmt);
  if (s->aux_stmt_ref != nullptr) db_free_stmt(s->aux_stmt_ref);
  s->aux_stmt_ref = nullptr;
  reset_positions(s);
  free(s->select_list);
  s->select_list = nullptr;
  free(s->fetch_buffer);
  s->fetch_buffer = nullptr;
  free(s->bind_buffers);
  s->bind_buffers = nullptr;
  free(s->indicators);
  s->indicators = nullptr;
  free(s->columns);
  s->columns = nullptr;
  s->num_columns = 0;
  s->columns_bound = 0;
  free(s->row_ids);
  s->row_ids = nullptr;
  s->num_row_ids = 0;
  s->table[0] = '\0';
  s->table_owner[0] = '\0';
  s->table_database[0] = '\0';
  s->spatial_column_name[0] = '\0';
  s->tables = nullptr;  // into query_info
  s->num_tables = 0;
  s->where = nullptr;
  SES_queryinfo_free(s->query_info);
  s->query_info = nullptr;

  // 6.
  if (s->sub_streams != nullptr) {
    for (int32_t i = 0; i < s->num_sub_streams; ++i) {
      if (s->sub_streams[i] == nullptr) continue;
      DB_stream_close(s->sub_streams[i], 0, 1);
      free(s->sub_streams[i]);
    }
    free(s->sub_streams);
  }
  s->sub_streams = nullptr;
  s->num_sub_streams = 0;

  // 7.
  if (s->instance != nullptr && s->instance->hdbc != SQL_NULL_HDBC) DB_trans_def_commit(s->instance);

  // 8.
  s->env_filter = 0;
  s->env_limits[0] = kNoLimit;
  s->env_limits[1] = kNoLimit;
  s->env_values[0] = 0;
  s->env_values[1] = 0;
  free(s->select_text);
  s->select_text = nullptr;

  // 9.
  if (release_filters) {
    free(s->filter_buffers[0]);
    free(s->filter_buffers[1]);
    s->filter_buffers[0] = s->filter_buffers[1] = nullptr;
    if (s->filter_shapes != nullptr) {
      for (int32_t i = 0; i < s->settings[3]; ++i) free(s->filter_shapes[i]);
      free(s->filter_shapes);
      s->filter_shapes = nullptr;
    }
    free(s->feature_specs);
    s->feature_specs = nullptr;
    free(s->filters);
    s->filters = nullptr;
    s->num_filters = 0;
  }

  // 10.
  s->state = 0;
  memset(&s->logfile, 0, sizeof s->logfile);

  // 11.
  if (s->raster_work != nullptr) {
    DB_RASTER_WORK* rw = s->raster_work;
    free(rw->column_buffer);
    free(rw->band_buffer);
    if (rw->rows != nullptr) {
      for (int32_t i = 0; i < rw->num_rows; ++i) free(rw->rows[i]);
      free(rw->rows);
    }
    db_free_stmt(&rw->stmt);
    if (rw->temp_logfile[0] != '\0' && s->instance != nullptr) DB_log_delete(s->instance, rw->temp_logfile);
    free(rw);
    s->raster_work = nullptr;
  }

  // 12.
  if (release_all) free_texts(&s->column_names, &s->num_column_names);

  // 13.
  if (s->held_flag && s->held_stmt != nullptr) db_free_stmt(s->held_stmt);
  s->held_stmt = nullptr;
  s->held_flag = 0;
  memset(&s->registration, 0, sizeof s->registration);
  memset(s->version_names, 0, sizeof s->version_names);
  memset(s->mv_flags, 0, sizeof s->mv_flags);
  s->state_id = -1;
  free(s->version_buffer);
  s->version_buffer = nullptr;
  memset(s->lock_counters, 0, sizeof s->lock_counters);
  set_envelope_empty(s);
  for (DB_CLI_STMT& w : s->cli) db_cli_free(&w);
  s->rastercolumn_id = 0;
  s->band_index = -1;
  s->raster_column[0] = '\0';
  s->raster_database[0] = '\0';
  s->raster_owner[0] = '\0';
  s->raster_table[0] = '\0';
  SES_queryinfo_free(s->raster_query_info);
  s->raster_query_info = nullptr;
  if (s->tile_buffer != nullptr && s->tile_buffer_size > 0)
    SES_buffer_free(s->tile_buffer, (size_t)s->tile_buffer_size);
  s->tile_buffer = nullptr;
  s->tile_buffer_size = 0;
  free(s->raster_record);
  s->raster_record = nullptr;
  s->raster_words[0] = s->raster_words[1] = 0;

  // 14.
  reset_sql_texts(s->instance);
}

void DB_stream_free(DB_STREAM* stream) { DB_stream_close(stream, 1, 1); }

// ---- accessors ----------------------------------------------------------------------

int32_t DB_stream_set_operation_mode(DB_STREAM* stream, int32_t mode) {
  if (mode < 0 || mode > 3) return SE_INVALID_PARAM;
  stream->operation_mode = mode;
  return 0;
}

void DB_stream_get_xerr(EXTENDED_ERROR* out, DB_STREAM* stream) {
  if (out == nullptr) return;
  if (stream == nullptr) {
    memset(out, 0, sizeof *out);
    return;
  }
  *out = stream->xerr;
}

void DB_stream_clear_xerr(DB_STREAM* stream) {
  if (stream == nullptr) return;
  stream->xerr.code = 0;
  stream->xerr.native = 0;
  stream->xerr.msg[0] = '\0';
  stream->xerr.ext_msg[0] = '\0';
}

int32_t DB_stream_get_rastercolumn_id(DB_STREAM* stream, int32_t* id) {
  if (id == nullptr) return SE_INVALID_POINTER;
  *id = stream->rastercolumn_id;
  return 0;
}

int32_t DB_stream_set_rastercolumn_id(DB_STREAM* stream, int32_t id) {
  stream->rastercolumn_id = id;
  return 0;
}

void db_stream_set_layer_info(DB_STREAM* stream, LAYER* layer) { stream->layer = layer; }

LAYER* db_stream_get_layer_info(DB_STREAM* stream) { return stream->layer; }

int32_t db_stream_extend_envelope(DB_STREAM* s, double minx, double miny, double maxx, double maxy) {
  if (minx > maxx && miny > maxy) return 0;
  double* e = s->envelope;
  if (e[0] <= e[2] && e[1] <= e[3]) {
    if (minx < e[0]) e[0] = minx;
    if (miny < e[1]) e[1] = miny;
    if (maxx > e[2]) e[2] = maxx;
    if (maxy > e[3]) e[3] = maxy;
  } else {
    e[0] = minx;
    e[1] = miny;
    e[2] = maxx;
    e[3] = maxy;
  }
  return 0;
}

// ---- error reporters -------------------------------------------------------------------

void db_report_dbms_error(DB_INSTANCE* instance, DB_DIAG_RECORD diag) {
  fprintf(stderr, "ZUL_Database Error: %d\n%s\n", (int)diag.rc, diag.sqlstate);
  fprintf(stderr, "ODBC Error: %s\n", diag.sqlstate);
  fprintf(stderr, "Database Error: %ld\n", (long)diag.native);
  fprintf(stderr, "Error Message: %s\n", diag.message);
  if (instance == nullptr) return;
  instance->xerr.native = diag.native;
  instance->xerr.code = SE_DB_IO_ERROR;
  copy_text(instance->xerr.msg, sizeof instance->xerr.msg, diag.message);
  copy_text(instance->xerr.ext_msg, sizeof instance->xerr.ext_msg, diag.sqlstate);
}

void db_stream_report_dbms_error(DB_STREAM* stream, DB_DIAG_RECORD diag) {
  fprintf(stderr, "ZUL_ODBC_STREAM Error: %d\n%s\n", (int)diag.rc, diag.message);
  if (stream == nullptr) return;
  stream->xerr.native = diag.native;
  stream->xerr.code = SE_DB_IO_ERROR;
  copy_text(stream->xerr.msg, sizeof stream->xerr.msg, diag.message);
  copy_text(stream->xerr.ext_msg, sizeof stream->xerr.ext_msg, diag.sqlstate);
}

int32_t db_append_error_detail(DB_INSTANCE* instance, const char* text) {
  if (instance == nullptr || text == nullptr) return 0;
  size_t have = strnlen(instance->xerr.msg, sizeof instance->xerr.msg - 1);
  snprintf(instance->xerr.msg + have, sizeof instance->xerr.msg - have, "(%s)", text);
  return 0;
}

void db_stream_copy_ctx_error(DB_INSTANCE* instance, DB_STREAM* stream) {
  if (instance == nullptr || stream == nullptr) return;
  stream->xerr.code = instance->xerr.code;
  stream->xerr.native = instance->xerr.native;
  copy_text(stream->xerr.msg, sizeof stream->xerr.msg, instance->xerr.msg);
  stream->xerr.ext_msg[0] = '\0';
}
