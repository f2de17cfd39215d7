// zul83.h -- the client library: the client side of the command protocol.
//
// A connection is made through the instance's listener: SE_connection_create
// connects to the listener's service, sends it a connect request (host,
// service, DB2 connect text, user, password, transport and this library's
// release number) and reads its answer. On success the started server talks
// on the same socket: it sends its release record, the maximum BLOB size and
// a stream setting; this library then tells it the client's release
// (command 218), after which every record travels in the layouts of that
// release. All traffic goes through the project's channel code.
//
// Contract of every call here:
// - 0 is success; failures are negative status codes (zul_status.h). A
//   command the server refuses answers the server's status unchanged; a
//   failed transfer answers SE_NET_FAILURE (-10) and leaves the connection
//   broken: later calls on it answer -10 without touching the socket.
// - A connection serves one thread at a time.
// - Every text read from the server goes into caller storage of the stated
//   capacity; a longer text is refused (-66) with the channel still in step.
// - No call prints, except SES_print_banner, and the message-file loader's
//   line on standard error when SE_error_get_string cannot read the file.
//
// Besides the commands, the library holds the small client-library helpers
// that the server process and the conversion tool call: environment look-up,
// instance-string parsing, error texts. SES_RemoveSpaces and the channel
// completion hooks of the memory transports (CH_reset_shared_chanl_io,
// CH_CMEM_readjust_chanlsys) come with the server library's channel code.
#ifndef ZUL83_H
#define ZUL83_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "zul_channel.h"
#include "zul_config.h"   // SE_INSTANCE_CONFIG
#include "zul_db.h"       // EXTENDED_ERROR
#include "zul_layer.h"    // LAYER
#include "zul_locks.h"    // SE_INSTANCE_STATUS, SE_INSTANCE_USER
#include "zul_release.h"  // RELEASE

#define SE_CLIENT_RELEASE    83002   // the release this library speaks
#define SE_STREAM_SPEC_COUNT 10      // settings of a stream specification
#define SE_ERROR_TEXT_LEN    512     // room for one error text
#define SE_USER_NAME_LEN     65      // room for a user name the server sends
#define SE_MAX_INSTANCE_USERS 10000  // most users a listener may list

typedef struct SE_CONNECTION_REC* SE_CONNECTION;

// Transports a client may ask for (the channel kinds of zul_channel.h).
#define SE_TRANSPORT_NATIVE CH_KIND_SOCKET
#define SE_TRANSPORT_XDR    CH_KIND_XDR

// ---- connections ----------------------------------------------------------

// Connects to the listener of service `instance` (null or empty: as
// SES_connect_to_iomgr chooses) on host `server` (null or empty: this host),
// asks it for a server on the DB2 database `database` (the connect text) as
// `user` with `password`, and completes the start-up exchange. The XDR
// transport is used. On failure *err holds the status, and for -51 the
// server's native code and texts; *connection is none.
int32_t SE_connection_create(const char* server, const char* instance, const char* database, const char* user,
                             const char* password, EXTENDED_ERROR* err, SE_CONNECTION* connection);
// The same with a chosen transport (SE_TRANSPORT_NATIVE or SE_TRANSPORT_XDR).
int32_t SE_connection_create_transport(const char* server, const char* instance, const char* database,
                                       const char* user, const char* password, int32_t transport,
                                       EXTENDED_ERROR* err, SE_CONNECTION* connection);
// Asks the server to shut down (command 23, nothing answered), then releases
// the channel, the socket and the handle. None is accepted.
void SE_connection_free(SE_CONNECTION connection);

// What the server sent at start-up.
int32_t SE_connection_get_release(SE_CONNECTION connection, RELEASE* release);
int32_t SE_connection_get_max_blob_size(SE_CONNECTION connection, int32_t* size);
int32_t SE_connection_get_stream_setting9(SE_CONNECTION connection, int32_t* value);
// The connection's channel (for callers that speak commands of their own).
CHANNEL* SES_connection_get_chanlsys(SE_CONNECTION connection);

// ---- connection commands ----------------------------------------------------

// The connection's last error (command 0): the status is 0 and err->code is
// the error's code (0: none), with native code and texts when non-zero.
int32_t SE_connection_get_ext_error(SE_CONNECTION connection, EXTENDED_ERROR* err);
// The server's text for an error code (command 1).
int32_t SE_connection_get_error_string(SE_CONNECTION connection, int32_t code, char* text, int32_t cap);
// A stream's last error (command 2); -107 for an unknown stream (the server
// sends that code alone, so a stream error of -107 reads the same way).
int32_t SE_stream_get_ext_error(SE_CONNECTION connection, int32_t stream_id, EXTENDED_ERROR* err);
int32_t SE_connection_start_transaction(SE_CONNECTION connection);    // command 20
int32_t SE_connection_commit_transaction(SE_CONNECTION connection);   // command 21
int32_t SE_connection_rollback_transaction(SE_CONNECTION connection); // command 22
int32_t SE_connection_set_autocommit(SE_CONNECTION connection, int32_t interval);  // command 37
// The server's release record, asked again (command 42).
int32_t SE_connection_get_server_release(SE_CONNECTION connection, RELEASE* release);
// The server's clock, seconds since 1970 (command 43).
int32_t SE_connection_get_server_time(SE_CONNECTION connection, int32_t* seconds);
// DBMS id and property flags (command 125).
int32_t SE_connection_get_dbms_info(SE_CONNECTION connection, int32_t* dbms_id, int32_t* properties);
// The current DB2 user (command 212) and the administrator user (213).
int32_t SE_connection_get_user_name(SE_CONNECTION connection, char* name, int32_t cap);
int32_t SE_connection_get_admin_name(SE_CONNECTION connection, char* name, int32_t cap);

// ---- streams -----------------------------------------------------------------

// A stream's id and the four settings the server reports at creation
// (stream specification settings 1, 2, 3 and 10).
struct SE_STREAM_INFO {
  int32_t id;
  int32_t settings[4];
};

int32_t SE_stream_create(SE_CONNECTION connection, SE_STREAM_INFO* stream);           // command 44
int32_t SE_stream_free(SE_CONNECTION connection, int32_t stream_id);                  // command 45
int32_t SE_stream_close(SE_CONNECTION connection, int32_t stream_id, int32_t reset);  // command 46
// The connection's stream specification: ten settings (commands 47 and 48).
int32_t SE_connection_set_stream_spec(SE_CONNECTION connection, const int32_t settings[SE_STREAM_SPEC_COUNT]);
int32_t SE_connection_get_stream_spec(SE_CONNECTION connection, int32_t settings[SE_STREAM_SPEC_COUNT]);

// ---- the listener -------------------------------------------------------------

// The listener's status and configuration (its administrative commands).
// -88 when the listener refuses the command.
int32_t SE_instance_status(const char* server, const char* instance, SE_INSTANCE_STATUS* status);
int32_t SE_instance_configuration(const char* server, const char* instance, SE_INSTANCE_CONFIG* config);
// The users the listener serves: at most cap records in users, *count set to
// the number received (a list longer than cap is refused, -66).
int32_t SE_instance_get_users(const char* server, const char* instance, SE_INSTANCE_USER* users, int32_t cap,
                              int32_t* count);

// ---- error texts ----------------------------------------------------------------

// The English text of a status code, from the message file under $ZULHOME
// (locale/msg/1252/english_error.msg): errors 0 to -999 by line, warnings
// from -1000. A code without a text gives "undefined error". -65 for no
// buffer, -66 for a text that does not fit; -1011 when the message file
// cannot be read (text then "undefined error" too).
int32_t SE_error_get_string(int32_t code, char* text, int32_t cap);

// ---- helpers ------------------------------------------------------------------------

// An instance string: [DBMS ":"] instance ["@" server] {";" NAME "=" value}.
// Kind 1 when a DBMS word is given (a direct connection), else 0. Texts are
// bounded by their fields (-66 when longer, or when the instance is empty, or
// an entry has no "=" or no name).
struct SE_URL_PARTS {
  char   instance[64];   // instance (service) name
  char   server[64];     // host; "" none
  char   dbms[32];       // DBMS word; "" none
  int32_t env_count;     // entries of env
  char** env;            // "NAME=value" entries; free with SES_free_url_parts
  int32_t kind;          // connection kind
};
#define SE_URL_MAX_ENV 64  // most entries of an instance string
int32_t SES_parse_url_string(const char* text, SE_URL_PARTS* parts);
void SES_free_url_parts(SE_URL_PARTS* parts);

// The value of an environment variable, or none.
const char* SES_getenv(const char* name);
// Copies an environment variable (0), -1 when unset or it does not fit.
int32_t SES_copy_env_var(const char* name, char* out, size_t cap);
// The same from a list of "NAME=value" entries.
int32_t SES_copy_env_var_from_list(int32_t count, char** list, const char* name, char* out, size_t cap);
void SES_print_banner(FILE* out, const char* release, const char* title);

// Whether the channel encodes rows as XDR (1) or not (0).
int32_t CH_is_xdr_type(const CHANNEL* ch);
// A layer's spatial index: kind 1 (a grid index) when its first grid size
// is positive, with the three grid sizes; else kind -1 (none) and zeros.
// The last argument is reserved (0).
int32_t SES_layerinfo_get_spatial_index(const LAYER* layer, int32_t* kind, double grids[3], int32_t reserved);
int32_t SES_layerinfo_get_spatial_index_type(const LAYER* layer, int32_t* kind);
// The server's status for a failed shape-library call.
int32_t SES_map_shape_error_to_client(int32_t code);

#endif
