// svr_connection.cpp -- the handlers of the commands of the connection as a
// whole: errors, user transactions, shutdown, release and time, DBMS
// information, user names, the storage-parameter transfer and the client's
// release.
//
// Each handler reads its arguments through the bounded channel readers,
// calls one worker, writes the status and, on status 0, the answer. Those
// that answer without a status word say so. Relies on the connection workers
// (svr_funcs.cpp), the DBMS information of the DB2 access core and the
// shared-memory layer table.
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "svr_entrypts.h"
#include "svr_handle.h"
#include "zul_db_tables.h"
#include "zul_status.h"

namespace {

const int32_t kQueryLayerSlots = 6;        // shared-memory query: layer slots
const int32_t kMaxApplicationIds = 65536;  // ids a client may set at once
const int32_t kNameCap = 1024;             // table and column arguments, NUL included

// Status word, then on a non-zero code the native code and the two texts.
int32_t send_xerr(SERVER_HANDLE* h, const EXTENDED_ERROR& e) {
  write_status(h, e.code);
  if (e.code == 0) return 0;
  if (CH_write_long(h->channel, e.native) || CH_write_string(h->channel, e.msg) ||
      CH_write_string(h->channel, e.ext_msg))
    return SE_NET_FAILURE;
  return 0;
}

// The status of a worker that has no answer beyond it.
int32_t send_status(SERVER_HANDLE* h, int32_t rc) {
  write_status(h, rc);
  return rc;
}

// Plain status word (the function's result whatever it is), then a list.
int32_t send_list(SERVER_HANDLE* h, int32_t rc, int32_t count, char** list) {
  int32_t wrc = CH_write_long(h->channel, rc) ? SE_NET_FAILURE : 0;
  if (wrc == 0 && CH_write_long(h->channel, count)) wrc = SE_NET_FAILURE;
  for (int32_t k = 0; wrc == 0 && list != nullptr && k < count; ++k) {
    if (CH_write_string(h->channel, list[k])) wrc = SE_NET_FAILURE;
  }
  if (list != nullptr) DB_dbms_free_list(list, count);
  return wrc != 0 ? wrc : rc;
}

}  // namespace

int32_t SV_get_connection_error(SERVER_HANDLE* h) {
  EXTENDED_ERROR e;
  connection_get_xerr(h, &e);
  return send_xerr(h, e);
}

int32_t SV_get_connection_error_string(SERVER_HANDLE* h) {
  int32_t code = 0;
  if (int32_t rc = CH_read_long(h->channel, &code)) return svr_read_failed(h, rc);
  char text[SE_XERR_MSG_LEN];
  int32_t rc = get_error_message(h, code, text, sizeof text);
  write_status(h, rc);
  if (rc == 0 && CH_write_string(h->channel, text)) return SE_NET_FAILURE;
  return rc;
}

// Keeps the stream's last error (its row says so): clearing it first would
// always answer 0.
int32_t SV_getstream_error(SERVER_HANDLE* h) {
  int32_t id = 0;
  if (int32_t rc = CH_read_long(h->channel, &id)) return svr_read_failed(h, rc);
  SERVER_STREAM* s = nullptr;
  if (int32_t rc = svr_stream_lookup(h, id, &s)) return send_status(h, rc);
  EXTENDED_ERROR e;
  server_stream_get_xerr(&e, s);
  return send_xerr(h, e);
}

int32_t SV_begin_transaction(SERVER_HANDLE* h) { return send_status(h, user_trans_begin(h)); }
int32_t SV_commit_transaction(SERVER_HANDLE* h) { return send_status(h, user_trans_commit(h)); }
int32_t SV_rollback_transaction(SERVER_HANDLE* h) { return send_status(h, user_trans_rollback(h)); }

// Nothing is sent: the connection closes and the process ends.
int32_t SV_shutdown(SERVER_HANDLE* h) {
  connection_close(h);
  server_exit(h, SVR_EXIT_SHUTDOWN);
}

int32_t SV_set_auto_commit(SERVER_HANDLE* h) {
  int32_t interval = 0;
  if (int32_t rc = CH_read_long(h->channel, &interval)) return svr_read_failed(h, rc);
  return send_status(h, trans_set_autocommit(h, interval));
}

// No status word: the release record at once.
int32_t SV_get_rls_version(SERVER_HANDLE* h) {
  return CH_write_release(h->channel, &h->release) ? SE_NET_FAILURE : 0;
}

// No status word: seconds since 1970.
int32_t SV_get_server_time(SERVER_HANDLE* h) {
  return CH_write_long(h->channel, static_cast<int32_t>(time(nullptr))) ? SE_NET_FAILURE : 0;
}

int32_t SV_layer_shape_attribute_name(SERVER_HANDLE* h) {
  int32_t kind = 0, count = 0;
  char names[SE_DBMS_SHAPE_ATTR_COUNT][32];
  int32_t rc = DB_dbms_shape_attr_name(&kind, &count, names);
  write_status(h, rc);
  if (rc != 0) return rc;
  if (CH_write_long(h->channel, kind)) return SE_NET_FAILURE;
  if (kind == 1) return 0;
  if (count < 0) count = 0;
  if (count > SE_DBMS_SHAPE_ATTR_COUNT) count = SE_DBMS_SHAPE_ATTR_COUNT;
  if (CH_write_long(h->channel, count)) return SE_NET_FAILURE;
  for (int32_t k = 0; k < count; ++k) {
    names[k][31] = '\0';
    if (CH_write_string(h->channel, names[k])) return SE_NET_FAILURE;
  }
  return 0;
}

// The status word is the latest last-modified time of any layer.
int32_t SV_layers_table_last_modified(SERVER_HANDLE* h) {
  uint32_t latest = 0;
  int32_t slots = h->sm != nullptr ? SM_shared_info(h->sm, kQueryLayerSlots) : 0;
  for (int32_t id = 1; id <= slots; ++id) {
    uint32_t t = static_cast<uint32_t>(SM_layer_get_time_last_modified(h->sm, id));
    if (t > latest) latest = t;
  }
  write_status(h, static_cast<int32_t>(latest));
  return 0;
}

int32_t SV_get_dbms_info(SERVER_HANDLE* h) {
  int32_t id = 0, flags = 0;
  int32_t rc = dbms_get_info(h, &id, &flags);
  write_status(h, rc);
  if (rc == 0 && (CH_write_long(h->channel, id) || CH_write_long(h->channel, flags))) return SE_NET_FAILURE;
  return rc;
}

int32_t SV_layer_shape_attr_name_resolve(SERVER_HANDLE* h) {
  char table[kNameCap], column[kNameCap];
  int32_t index = 0;
  if (int32_t rc = CH_read_string(h->channel, table, sizeof table)) return svr_read_failed(h, rc);
  if (int32_t rc = CH_read_string(h->channel, column, sizeof column)) return svr_read_failed(h, rc);
  if (int32_t rc = CH_read_long(h->channel, &index)) return svr_read_failed(h, rc);
  // The resolved name holds the column name twice at most, plus a prefix.
  char out[3 * kNameCap];
  out[0] = '\0';
  int32_t rc = DB_dbms_shape_attr_name_resolve(h->instance, table, column, index, out);
  write_status(h, rc);
  if (rc == 0 && CH_write_dynamic_string(h->channel, out)) return SE_NET_FAILURE;
  return rc;
}

int32_t SV_get_dbms_function(SERVER_HANDLE* h) {
  int32_t count = 0;
  char** list = nullptr;
  int32_t rc = DB_dbms_get_function_name(&count, &list);
  return send_list(h, rc, count, list);
}

int32_t SV_get_dbms_res_keyword(SERVER_HANDLE* h) {
  int32_t count = 0;
  char** list = nullptr;
  int32_t rc = DB_dbms_get_reserved_keyword_list(&count, &list);
  return send_list(h, rc, count, list);
}

// Plain status word, then the flags and the separator whatever the result.
int32_t SV_dbms_qualify_rules(SERVER_HANDLE* h) {
  int32_t flags = 0;
  char separator[32] = "";
  int32_t rc = DB_dbms_get_qualify_rules(&flags, separator);
  separator[sizeof separator - 1] = '\0';
  if (CH_write_long(h->channel, rc) || CH_write_long(h->channel, flags) || CH_write_string(h->channel, separator))
    return SE_NET_FAILURE;
  return rc;
}

int32_t SV_application_ids_set(SERVER_HANDLE* h) {
  int32_t count = 0;
  if (int32_t rc = CH_read_long(h->channel, &count)) return svr_read_failed(h, rc);
  int32_t* ids = nullptr;
  if (count > 0) {
    // A count beyond the limit cannot be read into memory: the ids that
    // follow are not consumed, so the connection is out of step and ends
    // at the next command read.
    if (count > kMaxApplicationIds) return svr_read_failed(h, SE_OUT_OF_MEMORY);
    ids = static_cast<int32_t*>(malloc(sizeof(int32_t) * static_cast<size_t>(count)));
    if (ids == nullptr) return svr_read_failed(h, SE_OUT_OF_MEMORY);
    if (int32_t rc = CH_read_fid_array(h->channel, count, ids)) {
      free(ids);
      return svr_read_failed(h, rc);
    }
  }
  int32_t rc = connection_set_id_list(h, count, ids);
  free(ids);
  return send_status(h, rc);
}

// No status word: the current user.
int32_t SV_get_db_user_name(SERVER_HANDLE* h) {
  char user[SVR_NAME_LEN] = "";
  DB_instance_get_current_user(h->instance, user);
  user[sizeof user - 1] = '\0';
  return CH_write_string(h->channel, user) ? SE_NET_FAILURE : 0;
}

// No status word: the administrative user.
int32_t SV_get_zuldba_name(SERVER_HANDLE* h) {
  char user[SVR_NAME_LEN] = "";
  DB_instance_get_admin_user(h->instance, user);
  user[sizeof user - 1] = '\0';
  return CH_write_string(h->channel, user) ? SE_NET_FAILURE : 0;
}

int32_t SV_dbtune_import(SERVER_HANDLE* h) {
  char file[SVR_PATH_LEN];
  if (int32_t rc = CH_read_string(h->channel, file, sizeof file)) return svr_read_failed(h, rc);
  char fields[3][32];
  memset(fields, 0, sizeof fields);
  int32_t rc = dbtune_import(h, file, fields);
  write_status(h, rc);
  if (rc == 0) return 0;
  for (auto& f : fields) {
    f[31] = '\0';
    if (CH_write_string(h->channel, f)) return SE_NET_FAILURE;
  }
  return rc;
}

int32_t SV_dbtune_export(SERVER_HANDLE* h) {
  char file[SVR_PATH_LEN];
  if (int32_t rc = CH_read_string(h->channel, file, sizeof file)) return svr_read_failed(h, rc);
  return send_status(h, dbtune_export(h, file));
}

// Nothing is sent: later answers use the layouts of the client's release.
int32_t SV_tell_server_client_release(SERVER_HANDLE* h) {
  int32_t release = 0;
  if (CH_read_long(h->channel, &release)) return SE_NET_FAILURE;
  CH_set_release(h->channel, release);
  return 0;
}
