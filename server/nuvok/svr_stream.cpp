// svr_stream.cpp -- the connection's streams: the list in the handle
// (create, find, close, free, free all), the connection's stream settings
// with their checks, the in-use checks that keep a layer or table from being
// dropped under an open stream, and the five stream commands 44 to 48.
//
// Relies on the DB2 access core for each stream's DB_STREAM, on the stream
// and raster buffers, on the log-file module (DB_log_close) and on the layer
// extent (DB_layer_update_extent). Buffered inserts, plug-ins, filters and
// per-stream state belong to handlers not built yet: no stream reaches those
// states today, and the steps that serve them call svr_stubs.cpp.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "svr_entrypts.h"
#include "svr_handle.h"
#include "zul_db_layer.h"
#include "zul_db_logfile.h"
#include "zul_layer.h"
#include "zul_status.h"

// Workers of parts not built yet (svr_stubs.cpp).
int32_t svr_flush_buffered_inserts(SERVER_STREAM* s);
int32_t layer_update_extent(SERVER_HANDLE* h, LAYER* layer);

namespace {

// Shared-memory query: the size of a stream's id bitmaps (0: none).
const int32_t kQueryIdBitmapSize = 21;

void bitmaps_enable(SERVER_STREAM* s) {
  SERVER_HANDLE* h = s->handle;
  int32_t size = h->sm != nullptr ? SM_shared_info(h->sm, kQueryIdBitmapSize) : 0;
  for (int k = 0; k < 2; ++k) {
    s->bitmap_enabled[k] = size > 0 ? 1 : 0;
    s->bitmap_size[k] = size > 0 ? size : 0;
  }
}

// Writes a grown layer extent back. 0, or -1010 after the warning lines.
int32_t extent_upkeep(SERVER_STREAM* s, const char* who) {
  if (s->write_kind != 1 && s->write_kind != 2) return 0;
  LAYER layer;
  memset(&layer, 0, sizeof layer);
  if (DB_layer_update_extent(s->db_stream, &layer) != 0) return 0;   // no growth
  SERVER_HANDLE* h = s->handle;
  int32_t rc = layer_update_extent(h, &layer);
  if (rc == 0) return 0;
  fprintf(stderr,
          "WARNING: %s failed to alter layer extent for %d. The layer extent remains unchanged. \n", who,
          layer.id);
  if (rc == SE_DB_IO_ERROR)
    fprintf(stderr, "DBMS Error in %s(): %d\n%s\n%s\n", who, h->xerr.native, h->xerr.msg, h->xerr.ext_msg);
  return SE_LAYER_EXTENT_FAILED;
}

void close_log(SERVER_STREAM* s) {
  if (s->log_id >= 0 && s->handle->instance != nullptr) DB_log_close(s->handle->instance, s->log_id);
  s->log_id = -1;
}

void release_buffers(SERVER_STREAM* s) {
  SB_free(s->buffer);
  s->buffer = nullptr;
  RB_free(&s->raster);
}

}  // namespace

int32_t stream_create(SERVER_HANDLE* h, SERVER_STREAM** out, int32_t xdr) {
  *out = nullptr;
  if (h->stream_limit > 0 && h->stream_count >= h->stream_limit) return SE_MAX_STREAMS_EXCEEDED;
  SERVER_STREAM* s = static_cast<SERVER_STREAM*>(calloc(1, sizeof(SERVER_STREAM)));
  if (s == nullptr) return SE_OUT_OF_DBMS_MEM;
  s->handle = h;
  s->id = h->next_stream_id;
  snprintf(s->name, sizeof s->name, "%d_%d", h->pid, s->id);
  int32_t rc = DB_stream_init(&s->db_stream, h->instance, h->user, s->name, h->spec.setting);
  if (rc != 0) {
    free(s);
    return rc;
  }
  h->next_stream_id++;
  h->stream_count++;
  SERVER_STREAM** tail = &h->streams;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = s;

  const int32_t* set = h->spec.setting;
  rc = SB_init(2, set[0], set[1], set[2], xdr, &s->buffer);
  s->log_id = -1;
  s->auto_log_id = -1;
  s->auto_log_value = -1;
  if (s->buffer != nullptr) {
    int32_t rb = RB_init(&s->raster, set[9]);
    if (rc == 0) rc = rb;
  }
  bitmaps_enable(s);
  *out = s;
  return rc;
}

int32_t stream_find(SERVER_HANDLE* h, int32_t id, SERVER_STREAM** out) {
  for (SERVER_STREAM* s = h->streams; s != nullptr; s = s->next) {
    if (s->id == id) {
      *out = s;
      return 0;
    }
  }
  *out = nullptr;
  return SE_INVALID_STREAM;
}

int32_t stream_close(SERVER_STREAM* s, int32_t reset) {
  if (s == nullptr) return SE_INVALID_STREAM;
  if (s->buffer != nullptr) SB_reset(s->buffer);
  if (s->raster != nullptr) RB_reset(s->raster);
  if (s->buffered == 1) svr_flush_buffered_inserts(s);
  int32_t rc = extent_upkeep(s, "stream_close");
  DB_stream_close(s->db_stream, reset, 0);
  s->row_count = 0;
  s->registration_id = 0;
  stream_clear_error(s);
  if (reset) {
    s->buffered = 0;
    s->auto_log_id = -1;
    bitmaps_enable(s);
    s->status = 0;
  }
  close_log(s);
  s->column_count = 0;
  return rc;
}

int32_t stream_free(SERVER_HANDLE* h, int32_t id) {
  SERVER_STREAM** link = &h->streams;
  while (*link != nullptr && (*link)->id != id) link = &(*link)->next;
  if (*link == nullptr) return SE_INVALID_STREAM;
  SERVER_STREAM* s = *link;
  *link = s->next;
  release_buffers(s);
  int32_t rc = extent_upkeep(s, "stream_free");
  DB_stream_free(s->db_stream);
  free(s->db_stream);
  close_log(s);
  free(s);
  h->stream_count--;
  return rc;
}

void streams_free_all(SERVER_HANDLE* h) {
  while (SERVER_STREAM* s = h->streams) {
    h->streams = s->next;
    release_buffers(s);
    if (s->write_kind == 1 || s->write_kind == 2) {
      LAYER layer;
      memset(&layer, 0, sizeof layer);
      if (DB_layer_update_extent(s->db_stream, &layer) == 0) layer_update_extent(h, &layer);
    }
    DB_stream_close(s->db_stream, 1, 1);
    free(s->db_stream);
    close_log(s);
    free(s);
  }
  h->stream_count = 0;
}

int32_t stream_spec_set(SERVER_HANDLE* h, const STREAM_SPEC* spec) {
  STREAM_SPEC next = *spec;
  for (int k = 0; k < SVR_SPEC_SETTINGS; ++k) {
    if (k != 8 && next.setting[k] == 0) next.setting[k] = h->spec.setting[k];
  }
  const int32_t* v = next.setting;
  if (v[0] < 0 || v[1] < 0 || v[1] < v[0]) return SE_INVALID_PARAM;
  for (int k = 2; k < SVR_SPEC_SETTINGS; ++k) {
    if (v[k] < 0) return SE_INVALID_PARAM;
  }
  for (int k = 3; k <= 7; ++k) {
    if (v[k] > h->spec_max.setting[k]) return SE_INVALID_STREAM_SPEC;
  }
  h->spec = next;
  return 0;
}

void stream_clear_error(SERVER_STREAM* s) {
  memset(&s->handle->xerr, 0, sizeof s->handle->xerr);
  memset(&s->xerr, 0, sizeof s->xerr);
  s->status = 0;
  if (s->db_stream != nullptr) DB_stream_clear_xerr(s->db_stream);
}

// Per-column layer references belong to the query handlers not built yet:
// until then no stream holds a layer.
int32_t streams_check_layer_in_use(SERVER_HANDLE*, int32_t) { return 0; }

int32_t streams_check_table_in_use(SERVER_HANDLE* h, int32_t registration_id) {
  for (SERVER_STREAM* s = h->streams; s != nullptr; s = s->next) {
    if (s->registration_id != 0 && s->registration_id == registration_id) return SE_TABLE_INUSE;
  }
  return 0;
}

// ---- commands 44 to 48

// Answers the new id and four settings without a status word on success.
int32_t SV_create_stream(SERVER_HANDLE* h) {
  SERVER_STREAM* s = nullptr;
  int32_t rc = stream_create(h, &s, channel_is_xdr(h->channel) ? 1 : 0);
  if (rc != 0) {
    write_status(h, rc);
    return rc;
  }
  const int32_t* set = h->spec.setting;
  if (CH_write_long(h->channel, s->id) || CH_write_long(h->channel, set[0]) || CH_write_long(h->channel, set[1]) ||
      CH_write_long(h->channel, set[2]) || CH_write_long(h->channel, set[9])) {
    write_status(h, SE_NET_FAILURE);
    return SE_NET_FAILURE;
  }
  return 0;
}

int32_t SV_delete_stream(SERVER_HANDLE* h) {
  int32_t id = 0;
  if (int32_t rc = CH_read_long(h->channel, &id)) return svr_read_failed(h, rc);
  int32_t rc = stream_free(h, id);
  write_status(h, rc);
  return rc;
}

int32_t SV_close_stream(SERVER_HANDLE* h) {
  int32_t id = 0, reset = 0;
  if (int32_t rc = CH_read_long(h->channel, &id)) return svr_read_failed(h, rc);
  if (int32_t rc = CH_read_long(h->channel, &reset)) return svr_read_failed(h, rc);
  SERVER_STREAM* s = nullptr;
  svr_stream_lookup(h, id, &s);
  int32_t rc = stream_close(s, reset);
  write_status(h, rc);
  return rc;
}

int32_t SV_set_stream_spec(SERVER_HANDLE* h) {
  STREAM_SPEC spec;
  for (int k = 0; k < SVR_SPEC_SETTINGS; ++k) {
    if (int32_t rc = CH_read_long(h->channel, &spec.setting[k])) return svr_read_failed(h, rc);
  }
  int32_t rc = stream_spec_set(h, &spec);
  write_status(h, rc);
  return rc;
}

// Answers the ten settings without a status word.
int32_t SV_get_stream_spec(SERVER_HANDLE* h) {
  for (int k = 0; k < SVR_SPEC_SETTINGS; ++k) {
    if (CH_write_long(h->channel, h->spec.setting[k]) != 0) {
      write_status(h, SE_NET_FAILURE);
      return SE_NET_FAILURE;
    }
  }
  return 0;
}
