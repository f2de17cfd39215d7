// cl_connection.cpp -- connections and the connection-level and stream-table
// commands of the client library (zul83.h).
//
// Relies on the listener connection (zul_conn.h) for the connect request and
// on the channel (zul_channel.h) for every item after it. Each command is one
// exchange: write the code and its arguments, flush, read the status word
// and, on success, the answer. A failed transfer marks the connection broken
// (the server and this side no longer agree where the next item starts).
#include "zul83.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zul_conn.h"
#include "zul_status.h"

struct SE_CONNECTION_REC {
  int       sock;            // socket to the server, -1 once closed
  CHANNEL*  ch;              // channel over sock
  RELEASE   release;         // the server's release record from start-up
  int32_t   max_blob;        // maximum BLOB size from start-up
  int32_t   setting9;        // stream setting 9 from start-up
  bool      broken;          // a transfer failed: no further commands
};

namespace {

// Command codes this file sends.
enum : int32_t {
  CMD_GET_CONNECTION_ERROR = 0,
  CMD_GET_CONNECTION_ERROR_STRING = 1,
  CMD_GET_STREAM_ERROR = 2,
  CMD_BEGIN_TRANSACTION = 20,
  CMD_COMMIT_TRANSACTION = 21,
  CMD_ROLLBACK_TRANSACTION = 22,
  CMD_SHUTDOWN = 23,
  CMD_SET_AUTOCOMMIT = 37,
  CMD_GET_RLS_VERSION = 42,
  CMD_GET_SERVER_TIME = 43,
  CMD_CREATE_STREAM = 44,
  CMD_DELETE_STREAM = 45,
  CMD_CLOSE_STREAM = 46,
  CMD_SET_STREAM_SPEC = 47,
  CMD_GET_STREAM_SPEC = 48,
  CMD_GET_DBMS_INFO = 125,
  CMD_GET_DB_USER_NAME = 212,
  CMD_GET_ZULDBA_NAME = 213,
  CMD_TELL_CLIENT_RELEASE = 218,
};

// Copies text into a fixed field, cut to fit.
void set_text(char* field, size_t cap, const char* text) {
  snprintf(field, cap, "%s", text != nullptr ? text : "");
}

// A transfer result: a refused oversize item keeps the channel in step and
// answers -66; any other failure breaks the connection.
int32_t transfer(SE_CONNECTION c, int32_t rc) {
  if (rc == 0) return 0;
  if (rc == SE_INVALID_PARAM && !CH_out_of_step(c->ch)) return SE_INVALID_PARAM;
  c->broken = true;
  return SE_NET_FAILURE;
}

int32_t usable(SE_CONNECTION c) {
  if (c == nullptr) return SE_INVALID_POINTER;
  return c->broken ? SE_NET_FAILURE : 0;
}

// Sends a command with up to three long arguments and flushes.
int32_t send_command(SE_CONNECTION c, int32_t code, int32_t nargs = 0, int32_t a0 = 0, int32_t a1 = 0) {
  int32_t rc = usable(c);
  if (rc != 0) return rc;
  rc = CH_write_command(c->ch, code);
  if (rc == 0 && nargs > 0) rc = CH_write_long(c->ch, a0);
  if (rc == 0 && nargs > 1) rc = CH_write_long(c->ch, a1);
  if (rc == 0) rc = CH_flush(c->ch);
  if (rc != 0) c->broken = true;
  return rc == 0 ? 0 : SE_NET_FAILURE;
}

// Reads the status word.
int32_t read_status(SE_CONNECTION c, int32_t* status) {
  if (CH_read_long(c->ch, status) != 0) {
    c->broken = true;
    return SE_NET_FAILURE;
  }
  return 0;
}

// A command answered by its status word only.
int32_t status_command(SE_CONNECTION c, int32_t code, int32_t nargs = 0, int32_t a0 = 0, int32_t a1 = 0) {
  int32_t rc = send_command(c, code, nargs, a0, a1);
  int32_t status = 0;
  if (rc == 0) rc = read_status(c, &status);
  return rc != 0 ? rc : status;
}

// The error answer of commands 0 and 2: the status word is the error's code;
// a non-zero code is followed by native code, message and extended message,
// except -107 on command 2, which means the stream is unknown and comes alone.
int32_t read_ext_error(SE_CONNECTION c, EXTENDED_ERROR* err, bool stream) {
  memset(err, 0, sizeof *err);
  int32_t code = 0;
  int32_t rc = read_status(c, &code);
  if (rc != 0) return rc;
  err->code = code;
  if (code == 0 || (stream && code == SE_INVALID_STREAM)) return 0;
  rc = transfer(c, CH_read_long(c->ch, &err->native));
  if (rc == 0) rc = transfer(c, CH_read_string(c->ch, err->msg, sizeof err->msg));
  if (rc == 0) rc = transfer(c, CH_read_string(c->ch, err->ext_msg, sizeof err->ext_msg));
  return rc;
}

// Command whose answer (after status 0) is one text.
int32_t text_answer(SE_CONNECTION c, char* text, int32_t cap) {
  if (text == nullptr || cap <= 0) return SE_INVALID_POINTER;
  text[0] = '\0';
  return transfer(c, CH_read_string(c->ch, text, cap));
}

void close_socket(SE_CONNECTION c) {
  if (c->ch != nullptr) CH_destroy(c->ch);
  c->ch = nullptr;
  if (c->sock >= 0) ::close(c->sock);
  c->sock = -1;
}

// Fills err from the listener's answer to a failed connect request.
void answer_error(const open_res& answer, EXTENDED_ERROR* err) {
  err->code = answer.ids[0];
  err->native = answer.values[6];
  set_text(err->msg, sizeof err->msg, answer.text1);
  set_text(err->ext_msg, sizeof err->ext_msg, answer.text2);
}

// The start-up exchange after the listener's answer: the server's release,
// maximum BLOB size and setting 9; then our release (command 218).
int32_t start_up(SE_CONNECTION c) {
  int32_t rc = CH_read_release(c->ch, &c->release);
  if (rc == 0) rc = CH_read_long(c->ch, &c->max_blob);
  if (rc == 0) rc = CH_read_long(c->ch, &c->setting9);
  if (rc == 0) rc = CH_write_command(c->ch, CMD_TELL_CLIENT_RELEASE);
  if (rc == 0) rc = CH_write_long(c->ch, SE_CLIENT_RELEASE);
  if (rc == 0) rc = CH_flush(c->ch);
  if (rc != 0) return SE_NET_FAILURE;
  CH_set_release(c->ch, SE_CLIENT_RELEASE);
  return 0;
}

}  // namespace

int32_t SE_connection_create_transport(const char* server, const char* instance, const char* database,
                                       const char* user, const char* password, int32_t transport,
                                       EXTENDED_ERROR* err, SE_CONNECTION* connection) {
  EXTENDED_ERROR scratch;
  if (err == nullptr) err = &scratch;
  memset(err, 0, sizeof *err);
  if (connection == nullptr) return err->code = SE_INVALID_POINTER;
  *connection = nullptr;
  if (transport != SE_TRANSPORT_NATIVE && transport != SE_TRANSPORT_XDR) return err->code = SE_INVALID_PARAM;

  int sock = -1;
  int32_t rc = SES_connect_to_iomgr(server != nullptr && *server ? server : nullptr, instance, &sock);
  if (rc != 0) return err->code = rc;

  // The request: the listener refuses texts over its limit, so they are
  // checked here rather than cut (a cut password would just fail to log in).
  char empty[1] = "";
  req4io request;
  memset(&request, 0, sizeof request);
  request.id = 0;
  request.text1 = database != nullptr ? const_cast<char*>(database) : empty;
  request.text2 = user != nullptr ? const_cast<char*>(user) : empty;
  request.text3 = password != nullptr ? const_cast<char*>(password) : empty;
  request.value1 = transport == SE_TRANSPORT_XDR ? 1 : 0;
  request.user.name1 = empty;
  request.user.name2 = empty;
  request.value2 = SE_CLIENT_RELEASE;
  if (strlen(request.text1) > 256 || strlen(request.text2) > 256 || strlen(request.text3) > 256) {
    ::close(sock);
    return err->code = SE_INVALID_PARAM;
  }
  rc = SES_send_xdr_request(sock, &request);
  open_res answer;
  memset(&answer, 0, sizeof answer);
  if (rc == 0) rc = SES_retrieve_xdr_result(sock, &answer);
  if (rc == 0 && answer.ids[0] != 0) {
    answer_error(answer, err);
    ::close(sock);
    return err->code;
  }
  if (rc != 0) {
    ::close(sock);
    return err->code = rc;
  }

  SE_CONNECTION c = static_cast<SE_CONNECTION>(calloc(1, sizeof *c));
  if (c == nullptr) {
    ::close(sock);
    return err->code = SE_OUT_OF_MEMORY;
  }
  c->sock = sock;
  c->ch = CH_create(transport, 0, &c->sock);
  rc = c->ch != nullptr ? start_up(c) : SE_OUT_OF_MEMORY;
  if (rc != 0) {
    close_socket(c);
    free(c);
    return err->code = rc;
  }
  *connection = c;
  return 0;
}

int32_t SE_connection_create(const char* server, const char* instance, const char* database, const char* user,
                             const char* password, EXTENDED_ERROR* err, SE_CONNECTION* connection) {
  return SE_connection_create_transport(server, instance, database, user, password, SE_TRANSPORT_XDR, err,
                                        connection);
}

void SE_connection_free(SE_CONNECTION c) {
  if (c == nullptr) return;
  if (!c->broken) send_command(c, CMD_SHUTDOWN);
  close_socket(c);
  free(c);
}

int32_t SE_connection_get_release(SE_CONNECTION c, RELEASE* release) {
  if (c == nullptr || release == nullptr) return SE_INVALID_POINTER;
  *release = c->release;
  return 0;
}

int32_t SE_connection_get_max_blob_size(SE_CONNECTION c, int32_t* size) {
  if (c == nullptr || size == nullptr) return SE_INVALID_POINTER;
  *size = c->max_blob;
  return 0;
}

int32_t SE_connection_get_stream_setting9(SE_CONNECTION c, int32_t* value) {
  if (c == nullptr || value == nullptr) return SE_INVALID_POINTER;
  *value = c->setting9;
  return 0;
}

CHANNEL* SES_connection_get_chanlsys(SE_CONNECTION c) { return c != nullptr ? c->ch : nullptr; }

// ---- connection commands ----------------------------------------------------------

int32_t SE_connection_get_ext_error(SE_CONNECTION c, EXTENDED_ERROR* err) {
  if (err == nullptr) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_CONNECTION_ERROR);
  return rc != 0 ? rc : read_ext_error(c, err, false);
}

int32_t SE_stream_get_ext_error(SE_CONNECTION c, int32_t stream_id, EXTENDED_ERROR* err) {
  if (err == nullptr) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_STREAM_ERROR, 1, stream_id);
  if (rc == 0) rc = read_ext_error(c, err, true);
  if (rc == 0 && err->code == SE_INVALID_STREAM) return SE_INVALID_STREAM;
  return rc;
}

int32_t SE_connection_get_error_string(SE_CONNECTION c, int32_t code, char* text, int32_t cap) {
  if (text == nullptr || cap <= 0) return SE_INVALID_POINTER;
  text[0] = '\0';
  int32_t rc = status_command(c, CMD_GET_CONNECTION_ERROR_STRING, 1, code);
  return rc != 0 ? rc : text_answer(c, text, cap);
}

int32_t SE_connection_start_transaction(SE_CONNECTION c) { return status_command(c, CMD_BEGIN_TRANSACTION); }
int32_t SE_connection_commit_transaction(SE_CONNECTION c) { return status_command(c, CMD_COMMIT_TRANSACTION); }
int32_t SE_connection_rollback_transaction(SE_CONNECTION c) {
  return status_command(c, CMD_ROLLBACK_TRANSACTION);
}
int32_t SE_connection_set_autocommit(SE_CONNECTION c, int32_t interval) {
  return status_command(c, CMD_SET_AUTOCOMMIT, 1, interval);
}

int32_t SE_connection_get_server_release(SE_CONNECTION c, RELEASE* release) {
  if (release == nullptr) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_RLS_VERSION);
  return rc != 0 ? rc : transfer(c, CH_read_release(c->ch, release));
}

int32_t SE_connection_get_server_time(SE_CONNECTION c, int32_t* seconds) {
  if (seconds == nullptr) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_SERVER_TIME);
  return rc != 0 ? rc : read_status(c, seconds);
}

int32_t SE_connection_get_dbms_info(SE_CONNECTION c, int32_t* dbms_id, int32_t* properties) {
  if (dbms_id == nullptr || properties == nullptr) return SE_INVALID_POINTER;
  int32_t rc = status_command(c, CMD_GET_DBMS_INFO);
  if (rc != 0) return rc;
  rc = transfer(c, CH_read_long(c->ch, dbms_id));
  return rc != 0 ? rc : transfer(c, CH_read_long(c->ch, properties));
}

int32_t SE_connection_get_user_name(SE_CONNECTION c, char* name, int32_t cap) {
  if (name == nullptr || cap <= 0) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_DB_USER_NAME);
  return rc != 0 ? rc : text_answer(c, name, cap);
}

int32_t SE_connection_get_admin_name(SE_CONNECTION c, char* name, int32_t cap) {
  if (name == nullptr || cap <= 0) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_ZULDBA_NAME);
  return rc != 0 ? rc : text_answer(c, name, cap);
}

// ---- streams --------------------------------------------------------------------

int32_t SE_stream_create(SE_CONNECTION c, SE_STREAM_INFO* stream) {
  if (stream == nullptr) return SE_INVALID_POINTER;
  memset(stream, 0, sizeof *stream);
  int32_t rc = send_command(c, CMD_CREATE_STREAM);
  // Success is the new id (ids count up from 1) and four settings, without a
  // status word; failure is the status word alone.
  int32_t first = 0;
  if (rc == 0) rc = read_status(c, &first);
  if (rc != 0) return rc;
  if (first < 0) return first;
  if (first == 0) {
    c->broken = true;  // neither a stream id nor a status: we are out of step
    return SE_NET_FAILURE;
  }
  for (int i = 0; i < 4 && rc == 0; ++i) rc = transfer(c, CH_read_long(c->ch, &stream->settings[i]));
  if (rc != 0) return rc;
  stream->id = first;
  return 0;
}

int32_t SE_stream_free(SE_CONNECTION c, int32_t stream_id) {
  return status_command(c, CMD_DELETE_STREAM, 1, stream_id);
}

int32_t SE_stream_close(SE_CONNECTION c, int32_t stream_id, int32_t reset) {
  return status_command(c, CMD_CLOSE_STREAM, 2, stream_id, reset);
}

int32_t SE_connection_set_stream_spec(SE_CONNECTION c, const int32_t settings[SE_STREAM_SPEC_COUNT]) {
  if (settings == nullptr) return SE_INVALID_POINTER;
  int32_t rc = usable(c);
  if (rc != 0) return rc;
  rc = CH_write_command(c->ch, CMD_SET_STREAM_SPEC);
  for (int i = 0; i < SE_STREAM_SPEC_COUNT && rc == 0; ++i) rc = CH_write_long(c->ch, settings[i]);
  if (rc == 0) rc = CH_flush(c->ch);
  if (rc != 0) {
    c->broken = true;
    return SE_NET_FAILURE;
  }
  int32_t status = 0;
  rc = read_status(c, &status);
  return rc != 0 ? rc : status;
}

int32_t SE_connection_get_stream_spec(SE_CONNECTION c, int32_t settings[SE_STREAM_SPEC_COUNT]) {
  if (settings == nullptr) return SE_INVALID_POINTER;
  int32_t rc = send_command(c, CMD_GET_STREAM_SPEC);
  for (int i = 0; i < SE_STREAM_SPEC_COUNT && rc == 0; ++i) rc = transfer(c, CH_read_long(c->ch, &settings[i]));
  return rc;
}
