// svr_entrypts.h -- the dispatch table: one row per command code, 0 to 218,
// with the command's name, its handler and the facts the command loop and
// the handler kit act on. The rows are in svr_entrypts.cpp.
#ifndef SVR_ENTRYPTS_H
#define SVR_ENTRYPTS_H

#include <stdint.h>

#include "svr_handle.h"
#include "zul_commands.h"

typedef int32_t (*SV_HANDLER)(SERVER_HANDLE* h);

// Row flags.
#define CMD_STREAM          0x1   // works on a stream named by its first argument
#define CMD_KEEP_ERROR      0x2   // keeps the stream's last error (no stream_clear_error)
#define CMD_READ_ONLY_SELF  0x4   // answers the read-only code itself before acting

struct SVR_COMMAND {
  int32_t code;
  const char* name;       // as the channel's command-name table spells it
  SV_HANDLER handler;
  uint32_t flags;
};

extern const SVR_COMMAND svr_commands[SE_COMMAND_COUNT];

// ---- the handler kit
// The row of the current command.
const SVR_COMMAND* svr_current_command(const SERVER_HANDLE* h);
// Sends -10 after a failed argument read (-12 when it failed for memory).
int32_t svr_read_failed(SERVER_HANDLE* h, int32_t rc);
// Looks up the stream a stream command names and clears its last error
// unless the command's row keeps it. -107 for an unknown id.
int32_t svr_stream_lookup(SERVER_HANDLE* h, int32_t id, SERVER_STREAM** out);
// Non-zero with the code to answer when the connection is read-only.
int32_t svr_read_only_code(const SERVER_HANDLE* h);

// ---- handlers of the connection commands (svr_connection.cpp)
int32_t SV_get_connection_error(SERVER_HANDLE* h);
int32_t SV_get_connection_error_string(SERVER_HANDLE* h);
int32_t SV_getstream_error(SERVER_HANDLE* h);
int32_t SV_begin_transaction(SERVER_HANDLE* h);
int32_t SV_commit_transaction(SERVER_HANDLE* h);
int32_t SV_rollback_transaction(SERVER_HANDLE* h);
int32_t SV_shutdown(SERVER_HANDLE* h);
int32_t SV_set_auto_commit(SERVER_HANDLE* h);
int32_t SV_get_rls_version(SERVER_HANDLE* h);
int32_t SV_get_server_time(SERVER_HANDLE* h);
int32_t SV_layer_shape_attribute_name(SERVER_HANDLE* h);
int32_t SV_layers_table_last_modified(SERVER_HANDLE* h);
int32_t SV_get_dbms_info(SERVER_HANDLE* h);
int32_t SV_layer_shape_attr_name_resolve(SERVER_HANDLE* h);
int32_t SV_get_dbms_function(SERVER_HANDLE* h);
int32_t SV_dbms_qualify_rules(SERVER_HANDLE* h);
int32_t SV_application_ids_set(SERVER_HANDLE* h);
int32_t SV_get_dbms_res_keyword(SERVER_HANDLE* h);
int32_t SV_get_db_user_name(SERVER_HANDLE* h);
int32_t SV_get_zuldba_name(SERVER_HANDLE* h);
int32_t SV_dbtune_import(SERVER_HANDLE* h);
int32_t SV_dbtune_export(SERVER_HANDLE* h);
int32_t SV_tell_server_client_release(SERVER_HANDLE* h);

// ---- handlers of the stream commands (svr_stream.cpp)
int32_t SV_create_stream(SERVER_HANDLE* h);
int32_t SV_delete_stream(SERVER_HANDLE* h);
int32_t SV_close_stream(SERVER_HANDLE* h);
int32_t SV_set_stream_spec(SERVER_HANDLE* h);
int32_t SV_get_stream_spec(SERVER_HANDLE* h);

// Every command whose handler is not built yet.
int32_t SV_not_built_yet(SERVER_HANDLE* h);

#endif
