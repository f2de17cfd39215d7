// svr_handle.h -- the per-connection state of the server program and the
// calls its parts share: start-up and the command loop (svr_main), the
// connection workers (svr_funcs), the listener link (svr_comm), the stream
// table (svr_stream), the dispatch table (svr_entrypts), the connection
// command handlers (svr_connection) and the workers of other parts that are
// not built yet (svr_stubs).
//
// One server process serves one client on one thread: nothing here is
// locked. Only the stop clean-up runs on a second thread, and it touches
// no memory that the main thread may be using.
#ifndef SVR_HANDLE_H
#define SVR_HANDLE_H

#include <stdint.h>

#include "zul_channel.h"
#include "zul_codepage.h"
#include "zul_db.h"
#include "zul_msgfile.h"
#include "zul_release.h"
#include "zul_shared.h"
#include "zul_stream_buffer.h"
#include "zul_raster_buffer.h"

#define SVR_NAME_LEN        64     // instance, user and argument-2 texts, NUL included
#define SVR_PATH_LEN        1024   // home, second path, temporary directory
#define SVR_SPEC_SETTINGS   10     // settings of a STREAM_SPEC
#define SVR_RELEASE_DESC    "%s %s %s"

// Exit codes of the process.
enum SVR_EXIT {
  SVR_EXIT_SHUTDOWN = 0,
  SVR_EXIT_ARGUMENTS = 1,
  SVR_EXIT_PIPES = 2,
  SVR_EXIT_INSTANCE = 3,
  SVR_EXIT_SHARED_MEMORY = 4,
  SVR_EXIT_NO_MEMORY = 5,
  SVR_EXIT_CLIENT = 6,
  SVR_EXIT_LOG_SYSTEM = 7,
  SVR_EXIT_CLIENT_LOST = 8,
  SVR_EXIT_UNKNOWN_COMMAND = 9,
  SVR_EXIT_REGISTRATION_CACHE = 10,
  SVR_EXIT_MESSAGE_FILE = 16,
};

// Channel kinds of the start parameters (not the channel's own kinds).
enum SVR_CHANNEL_KIND {
  SVR_KIND_ACCEPTED = 1,    // socket accepted by the listener
  SVR_KIND_OWN_SOCKET = 2,  // own listening socket, port not reported
  SVR_KIND_OWN_PORT = 3,    // own listening socket, port reported
  SVR_KIND_SHARED = 4,      // shared memory
  SVR_KIND_COORDINATED = 5, // coordinated memory
};

// Status codes of the server program.
#define SE_ACCEPT_TIMEOUT       (-11)    // no client within the accept time-out
#define SE_LAYER_INUSE          (-21)    // a stream uses the layer
#define SE_TRANS_IN_PROGRESS    (-68)    // a user transaction is already open
#define SE_INVALID_STREAM_SPEC  (-159)   // a stream setting above its maximum
#define SE_TABLE_INUSE          (-329)   // a stream uses the table
#define SE_LAYER_EXTENT_FAILED  (-1010)  // the layer extent could not be updated

// The read-only result code used when start parameter 30 is not negative.
#define SVR_READ_ONLY_DEFAULT (-25)

struct STREAM_SPEC {
  int32_t setting[SVR_SPEC_SETTINGS];   // settings 1 to 10 at index 0 to 9
};

struct REGISTRATION_CACHE;
struct SERVER_HANDLE;

struct SERVER_STREAM {
  SERVER_STREAM* next;
  SERVER_HANDLE* handle;               // owner
  int32_t id;
  DB_STREAM* db_stream;                // owned
  STREAM_BUFFER* buffer;               // owned
  RASTER_BUFFER* raster;               // owned
  int32_t row_count;
  int32_t column_count;
  int32_t log_id;                      // open log file, -1 when none
  int32_t auto_log_id;                 // automatic log, -1 when none
  int32_t auto_log_value;
  EXTENDED_ERROR xerr;                 // the stream's last error
  int32_t status;                      // a further status word
  int32_t buffered;                    // 1 while inserts are buffered
  int32_t write_kind;                  // 1 or 2 when the layer extent is kept
  int32_t registration_id;             // table in use
  int32_t bitmap_size[2];              // id bitmaps: shared-memory query 21
  int32_t bitmap_enabled[2];
  char name[SE_DB_STREAM_NAME_LEN];    // "<pid>_<id>", kept for the DB stream
};

struct SERVER_HANDLE {
  SERVER_HANDLE* next_handle;          // process-wide list, newest first
  int32_t pid;
  int32_t value25;                     // start parameter 25
  char arg2[SVR_NAME_LEN];
  char user[SVR_NAME_LEN];
  char instance_name[SVR_NAME_LEN];
  char password[SVR_PATH_LEN];         // start parameter 1; zeroed once the instance is open
  int client_socket;                   // -1 when none
  int32_t convert;                     // code-page conversion active
  int32_t channel_kind;                // SVR_KIND_*
  int32_t transport;                   // CH_KIND_SOCKET or CH_KIND_XDR
  int32_t layer_cache_size;
  int32_t accept_timeout;              // seconds
  int32_t max_blob_size;
  int32_t blob_spool;
  int32_t autocommit_interval;
  int32_t stats_limit;
  char home[SVR_PATH_LEN];
  char second_path[SVR_PATH_LEN];
  char temp_dir[SVR_PATH_LEN];
  char user_data[SVR_PATH_LEN];        // start parameter 27
  RELEASE release;
  STREAM_SPEC spec;
  STREAM_SPEC spec_max;
  int32_t stream_count;
  int32_t next_stream_id;
  int32_t stream_limit;                // 0: none
  int32_t stream_limit2;
  SERVER_STREAM* streams;
  CODEPAGE_INFO codepage;
  char converted_user[SVR_NAME_LEN];
  SM_HANDLE* sm;
  PROC_INFO* pinfo;
  REGISTRATION_CACHE* registrations;
  int32_t value28;
  int32_t threaded;
  int32_t run_as_process;
  MESSAGE_FILE messages;
  int32_t has_messages;
  int32_t* app_ids;                    // command 194
  int32_t app_id_count;
  int32_t user_trans_open;
  EXTENDED_ERROR xerr;                 // the connection's last error
  int32_t instance_open;
  int32_t command;                     // current command code
  CHANNEL* channel;
  DB_INSTANCE* instance;
  int32_t read_only;
  int32_t read_only_code;
  int pipe_up;                         // to the listener, -1 once closed
  int pipe_down;                       // from the listener, -1 once closed
};

// ---- svr_funcs.cpp: connection workers
[[noreturn]] void server_exit(SERVER_HANDLE* h, int code);
int32_t write_status(SERVER_HANDLE* h, int32_t status);
int32_t read_command(SERVER_HANDLE* h, int32_t* code);
void connection_close(SERVER_HANDLE* h);
void connection_rollback(SERVER_HANDLE* h);
int32_t instance_open(SERVER_HANDLE* h, const char* user, const char* password, const char* connect,
                      const char* user_data);
void connection_get_xerr(SERVER_HANDLE* h, EXTENDED_ERROR* out);
void server_stream_get_xerr(EXTENDED_ERROR* out, SERVER_STREAM* s);
void connection_copy_instance_error(SERVER_HANDLE* h);
int32_t user_trans_begin(SERVER_HANDLE* h);
int32_t user_trans_commit(SERVER_HANDLE* h);
int32_t user_trans_rollback(SERVER_HANDLE* h);
int32_t trans_set_autocommit(SERVER_HANDLE* h, int32_t interval);
int32_t connection_set_id_list(SERVER_HANDLE* h, int32_t count, const int32_t* ids);
int32_t get_error_message(SERVER_HANDLE* h, int32_t code, char* out, int32_t cap);
bool channel_is_xdr(const CHANNEL* ch);
int32_t dbms_get_info(SERVER_HANDLE* h, int32_t* dbms_id, int32_t* properties);

// ---- svr_comm.cpp: the listener link
void report_to_parent(SERVER_HANDLE* h, int32_t status, int32_t port1, int32_t port2);
void report_code_to_parent(SERVER_HANDLE* h, int32_t code);
void report_extended_error(SERVER_HANDLE* h, const EXTENDED_ERROR* xerr);
int32_t parent_handshake(SERVER_HANDLE* h);
int32_t accept_client(SERVER_HANDLE* h);

// ---- svr_stream.cpp: the stream table
int32_t stream_create(SERVER_HANDLE* h, SERVER_STREAM** out, int32_t xdr);
int32_t stream_find(SERVER_HANDLE* h, int32_t id, SERVER_STREAM** out);
int32_t stream_close(SERVER_STREAM* s, int32_t reset);
int32_t stream_free(SERVER_HANDLE* h, int32_t id);
void streams_free_all(SERVER_HANDLE* h);
int32_t stream_spec_set(SERVER_HANDLE* h, const STREAM_SPEC* spec);
void stream_clear_error(SERVER_STREAM* s);
int32_t streams_check_layer_in_use(SERVER_HANDLE* h, int32_t layer_id);
int32_t streams_check_table_in_use(SERVER_HANDLE* h, int32_t registration_id);

// ---- svr_stubs.cpp: workers of parts not built yet
int32_t registration_cache_init(SERVER_HANDLE* h);
void registration_cache_free(SERVER_HANDLE* h);
int32_t dbtune_import(SERVER_HANDLE* h, const char* file, char fields[3][32]);
int32_t dbtune_export(SERVER_HANDLE* h, const char* file);

#endif
