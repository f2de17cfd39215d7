// svr_funcs.cpp -- the connection workers that the start-up, the command
// loop and the handlers share: ending the process, the status word, the
// command read, connection close and roll back, the instance open, copies of
// the last error, user transactions, autocommit, the application id list,
// error-message texts and the DBMS information.
//
// Relies on the channel (zul_channel.h), the DB2 access core (zul_db.h), the
// log-file module (DB_log_end), shared memory (zul_shared.h) and the stream
// table (svr_stream.cpp). The process-wide handle list lives here.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "svr_handle.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"
#include "zul_dbms.h"
#include "zul_status.h"

SERVER_HANDLE* svr_handles = nullptr;

namespace {
void copy_text(char* to, size_t cap, const char* from) {
  if (cap == 0) return;
  size_t n = from != nullptr ? strnlen(from, cap - 1) : 0;
  if (n > 0) memcpy(to, from, n);
  to[n] = '\0';
}

void free_handle(SERVER_HANDLE* h) {
  for (SERVER_HANDLE** p = &svr_handles; *p != nullptr; p = &(*p)->next_handle) {
    if (*p == h) {
      *p = h->next_handle;
      break;
    }
  }
  if (h->has_messages) free_message_file(&h->messages);
  free(h->app_ids);
  memset(h->password, 0, sizeof h->password);
  free(h);
}
}  // namespace

// Threaded servers are not started by this listener, so every end is a
// process end. Static destructors are skipped (_exit): the stop thread may
// still be running.
void server_exit(SERVER_HANDLE* h, int code) {
  if (h != nullptr) free_handle(h);
  fflush(stdout);
  fflush(stderr);
  _exit(code);
}

int32_t write_status(SERVER_HANDLE* h, int32_t status) {
  if (h->channel != nullptr && CH_write_long(h->channel, status) == 0) return 0;
  int e = errno;
  if (h->channel == nullptr || e == ECONNRESET || e == ECONNABORTED || e == ENETRESET || e == EPIPE) {
    // The client is gone.
    server_exit(h, SVR_EXIT_PIPES);
  }
  fprintf(stderr, "Error writing return code to client\n");
  return SE_NET_FAILURE;
}

int32_t read_command(SERVER_HANDLE* h, int32_t* code) {
  if (h->channel == nullptr) return -1;
  return CH_read_command(h->channel, code) == 0 ? 0 : -1;
}

void connection_rollback(SERVER_HANDLE* h) {
  if (!h->instance_open) return;
  if (h->user_trans_open) {
    DB_trans_user_rollback(h->instance);
    h->user_trans_open = 0;
  } else {
    DB_trans_updt_rollback(h->instance);
  }
}

void connection_close(SERVER_HANDLE* h) {
  if (h->instance_open) DB_log_end(h->instance);
  if (h->channel != nullptr) CH_flush(h->channel);
  if (h->streams != nullptr) streams_free_all(h);
  if (h->sm != nullptr) {
    SM_server_close(h->sm);
    h->sm = nullptr;
    h->pinfo = nullptr;
  }
  if (h->instance != nullptr) {
    DB_instance_close(h->instance);
    h->instance = nullptr;
    h->instance_open = 0;
  }
  if (h->channel != nullptr) {
    CH_destroy(h->channel);
    h->channel = nullptr;
  }
  // The channel never owns the socket.
  if (h->client_socket >= 0) {
    close(h->client_socket);
    h->client_socket = -1;
  }
  registration_cache_free(h);
}

// Callbacks of the instance that this server answers itself.
namespace {
int32_t own_process(void* ctx, PROC_INFO** out) {
  SERVER_HANDLE* h = static_cast<SERVER_HANDLE*>(ctx);
  if (out == nullptr) return SE_INVALID_POINTER;
  *out = h->pinfo;
  return h->pinfo != nullptr ? 0 : -1;
}
int32_t process_by_id(void* ctx, int32_t pid, PROC_INFO** out) {
  SERVER_HANDLE* h = static_cast<SERVER_HANDLE*>(ctx);
  if (out == nullptr) return SE_INVALID_POINTER;
  *out = h->sm != nullptr ? SM_pinfo_find(h->sm, pid) : nullptr;
  return *out != nullptr ? 0 : -1;
}
uint32_t layer_stamp(void* ctx, int32_t layer_id) {
  SERVER_HANDLE* h = static_cast<SERVER_HANDLE*>(ctx);
  if (h->sm == nullptr) return 0;
  return static_cast<uint32_t>(SM_layer_get_time_last_modified(h->sm, layer_id));
}
}  // namespace

// Registration look-ups and the feature-id range belong to the registration
// cache and the layer workers (svr_stubs.cpp until they are built).
int32_t registration_lookup_by_name(void* ctx, const char* owner_table, REGISTRATION* out);
int32_t registration_lookup_by_id(void* ctx, int32_t reg_id, REGISTRATION* out);
int32_t layer_get_fid_range(void* ctx, int32_t layer_id, int32_t count);
void connection_cleanup(void* ctx);

int32_t instance_open(SERVER_HANDLE* h, const char* user, const char* password, const char* connect,
                      const char* user_data) {
  const char* semi = strchr(connect, ';');
  h->convert = semi != nullptr ? 1 : 0;

  DB_INSTANCE_PARAMS params;
  memset(&params, 0, sizeof params);
  params.ctx = h;
  params.autocommit_interval = h->autocommit_interval;
  params.layer_cache_size = h->layer_cache_size;
  params.layer_stamp = layer_stamp;
  params.fid_range = layer_get_fid_range;
  params.codepage = &h->codepage;
  params.client_data = const_cast<char*>(user_data);
  params.handle_value = h->value28;
  params.own_process = own_process;
  params.process_by_id = process_by_id;
  params.registration_by_name = registration_lookup_by_name;
  params.registration_by_id = registration_lookup_by_id;
  params.cleanup = connection_cleanup;

  CODEPAGE_INFO native;
  memset(&native, 0, sizeof native);
  CODEPAGE_get(&native, 1);
  if (h->convert) {
    CODEPAGE_svrcpginit(semi + 1, native.native_id, native.native_class, native.native_name, DB_dbms_get_id(),
                        &h->codepage);
  } else {
    h->codepage.native_id = native.native_id;
    h->codepage.native_class = native.native_class;
    memcpy(h->codepage.native_name, native.native_name, sizeof h->codepage.native_name);
    h->codepage.convert = 0;
  }

  int32_t rc = DB_instance_open(connect, user, password, &params, nullptr, &h->instance);
  if (rc != 0) {
    fprintf(stderr, "CAN'T OPEN INSTANCE: %s.\n", h->instance_name);
    connection_copy_instance_error(h);
    return rc;
  }
  h->instance_open = 1;
  if (h->user[0] == '\0') copy_text(h->user, sizeof h->user, "admin");
  rc = DB_trans_def_start(h->instance);
  if (rc != 0) {
    fprintf(stderr, "CAN'T START DEFAULT TRANS (%d)\n", rc);
    connection_copy_instance_error(h);
  }
  return 0;
}

void connection_copy_instance_error(SERVER_HANDLE* h) {
  if (h->instance == nullptr) return;
  h->xerr = DB_instance_get_xerr(h->instance);
}

void connection_get_xerr(SERVER_HANDLE* h, EXTENDED_ERROR* out) { *out = h->xerr; }

void server_stream_get_xerr(EXTENDED_ERROR* out, SERVER_STREAM* s) { *out = s->xerr; }

int32_t user_trans_begin(SERVER_HANDLE* h) {
  if (h->read_only) return h->read_only_code;
  if (h->user_trans_open) return SE_TRANS_IN_PROGRESS;
  int32_t rc = DB_trans_user_start(h->instance);
  if (rc == 0) {
    h->user_trans_open = 1;
  } else {
    h->user_trans_open = 0;
    connection_copy_instance_error(h);
  }
  return rc;
}

int32_t user_trans_commit(SERVER_HANDLE* h) {
  if (h->read_only) {
    h->user_trans_open = 0;
    return h->read_only_code;
  }
  int32_t rc = DB_trans_user_commit(h->instance);
  if (rc != 0) connection_copy_instance_error(h);
  h->user_trans_open = 0;
  return rc;
}

int32_t user_trans_rollback(SERVER_HANDLE* h) {
  if (h->read_only) {
    h->user_trans_open = 0;
    return h->read_only_code;
  }
  int32_t rc = DB_trans_user_rollback(h->instance);
  if (rc != 0) connection_copy_instance_error(h);
  h->user_trans_open = 0;
  return rc;
}

int32_t trans_set_autocommit(SERVER_HANDLE* h, int32_t interval) {
  if (h->read_only) return h->read_only_code;
  return DB_trans_set_autocommit(h->instance, interval);
}

int32_t connection_set_id_list(SERVER_HANDLE* h, int32_t count, const int32_t* ids) {
  int32_t* copy = nullptr;
  if (count > 0) {
    copy = static_cast<int32_t*>(malloc(sizeof(int32_t) * static_cast<size_t>(count)));
    if (copy == nullptr) return SE_OUT_OF_DBMS_MEM;
    memcpy(copy, ids, sizeof(int32_t) * static_cast<size_t>(count));
  }
  free(h->app_ids);
  h->app_ids = copy;
  h->app_id_count = count > 0 ? count : 0;
  return 0;
}

// The text of an error code from the message file loaded at start: error
// -n is error message n, warnings -1000 onward the warning messages.
int32_t get_error_message(SERVER_HANDLE* h, int32_t code, char* out, int32_t cap) {
  if (!h->has_messages) return SE_MSG_FILE_ERROR;
  char** index = nullptr;
  int32_t n = 0;
  if (code <= 0 && code > -1000) {
    index = h->messages.error_index;
    n = -code;
    if (n >= h->messages.error_count) index = nullptr;
  } else if (code <= -1000) {
    index = h->messages.warning_index;
    n = -1000 - code;
    if (n >= h->messages.warning_count) index = nullptr;
  }
  if (index == nullptr) return SE_INVALID_PARAM;
  size_t len = static_cast<size_t>(index[n + 1] - index[n]);
  while (len > 0 && (index[n][len - 1] == '\n' || index[n][len - 1] == '\r')) --len;
  if (len >= static_cast<size_t>(cap)) len = static_cast<size_t>(cap) - 1;
  memcpy(out, index[n], len);
  out[len] = '\0';
  return 0;
}

// Whether rows travel as XDR on this channel (the client library's
// CH_is_xdr_type is not part of this build; the channel's kind tells).
bool channel_is_xdr(const CHANNEL* ch) { return ch != nullptr && ch->kind == CH_KIND_XDR; }

int32_t dbms_get_info(SERVER_HANDLE*, int32_t* dbms_id, int32_t* properties) {
  *dbms_id = DB_dbms_get_id();
  *properties = DB_dbms_get_properties();
  return 0;
}
