// svr_main.cpp -- the server program's life: argument check, the handle,
// the start parameters from the listener, the error log, the instance, the
// shared memory, the log tables, the handshake, the channel, the first
// records to the client, the message file, and the command loop.
//
// Divisions:
//   1. start parameters      the listener's settings, read from the pipe
//   2. start-up              server_start, steps in order, each with its exit code
//   3. command loop          read a code, count it, call its row's handler
//   4. stop clean-up         the stop thread's callback
//
// Relies on the local pipes, the channel, shared memory, the DB2 access core
// and the log-file module; the listener link is svr_comm.cpp and the workers
// svr_funcs.cpp. Threaded servers (started inside the listener) are not
// served: the listener of this system always starts a process.
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "svr_entrypts.h"
#include "svr_handle.h"
#include "svr_services.h"
#include "zul_codepage.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"
#include "zul_dbms.h"
#include "zul_local_io.h"
#include "zul_status.h"
#include "zul_subprograms.h"
#include "zul_tempfile.h"

extern SERVER_HANDLE* svr_handles;

namespace {

const char kThreadedMark[] = "This_is_a_threaded_nuvok";
const int32_t kQueryProcessId = 28;   // shared-memory query: this process's id

// The start record the entry point passes to server_start.
struct START_RECORD {
  int argc;
  char** argv;
  int32_t started_as_thread;
};

// ---- 1. start parameters

enum ParamType { P_LONG, P_SHORT, P_STRING };
struct StartParam {
  int number;
  ParamType type;
};
// In the order they travel; there is no parameter 7.
const StartParam kStartParams[] = {
    {1, P_STRING}, {2, P_LONG},   {3, P_LONG},   {4, P_LONG},   {5, P_LONG},   {6, P_LONG},   {8, P_LONG},
    {9, P_STRING}, {10, P_STRING}, {11, P_STRING}, {12, P_LONG}, {13, P_LONG}, {14, P_LONG}, {15, P_LONG},
    {16, P_LONG},  {17, P_LONG},  {18, P_LONG},  {19, P_LONG},  {20, P_LONG},  {21, P_LONG},  {22, P_LONG},
    {23, P_LONG},  {24, P_LONG},  {25, P_LONG},  {26, P_LONG},  {27, P_STRING}, {28, P_SHORT}, {29, P_SHORT},
    {30, P_LONG},
};

void set_spec(SERVER_HANDLE* h, int setting, int32_t value, bool with_max) {
  h->spec.setting[setting - 1] = value;
  if (with_max) h->spec_max.setting[setting - 1] = value;
}

// Stores one parameter; strings arrive in text (bounded by its capacity).
void store_param(SERVER_HANDLE* h, int number, int32_t value, const char* text) {
  switch (number) {
    case 1: snprintf(h->password, sizeof h->password, "%s", strcmp(text, "null=password") == 0 ? "" : text); break;
    case 2: h->channel_kind = value; break;
    case 3: h->transport = value; break;
    case 4: set_spec(h, 1, value, true); break;
    case 5: set_spec(h, 2, value, true); break;
    case 6: set_spec(h, 3, value, true); break;
    case 8: h->accept_timeout = value; break;
    case 9: snprintf(h->home, sizeof h->home, "%s", text); break;
    case 10: snprintf(h->second_path, sizeof h->second_path, "%s", text); break;
    case 11: snprintf(h->temp_dir, sizeof h->temp_dir, "%s", text); break;
    case 12: h->max_blob_size = value; break;
    case 13: h->blob_spool = value; break;
    case 14: set_spec(h, 10, value, true); break;
    case 15: h->autocommit_interval = value; break;
    case 16: h->stats_limit = value; break;
    case 17: h->layer_cache_size = value; break;
    case 18: h->stream_limit = value; break;
    case 19: set_spec(h, 9, value, true); break;
    case 20: set_spec(h, 6, value, true); break;
    case 21: set_spec(h, 5, value, true); break;
    case 22: set_spec(h, 7, value, true); break;
    case 23: set_spec(h, 4, value, true); break;
    case 24: h->stream_limit2 = value; break;
    case 25: h->value25 = value; break;
    case 26: h->client_socket = value; break;
    case 27: snprintf(h->user_data, sizeof h->user_data, "%s", text); break;
    case 28: h->value28 = value; break;
    case 29: h->read_only = value; break;
    case 30: h->read_only_code = value; break;
  }
}

// 0, or the number of the parameter whose read failed.
int read_start_params(SERVER_HANDLE* h) {
  for (const StartParam& p : kStartParams) {
    char text[SVR_PATH_LEN] = "";
    int32_t l = 0;
    int16_t s = 0;
    int32_t rc = p.type == P_LONG    ? LO_read_long(h->pipe_down, &l)
                 : p.type == P_SHORT ? LO_read_short(h->pipe_down, &s)
                                     : LO_read_string(h->pipe_down, text, sizeof text);
    if (rc != 0) return p.number;
    store_param(h, p.number, p.type == P_SHORT ? s : l, text);
  }
  // Setting 8 has no parameter: it and its maximum stay 0.
  // A read-only connection must never answer success for a change it did
  // not make: a code that is not negative becomes "no permission".
  if (h->read_only && h->read_only_code >= 0) h->read_only_code = SVR_READ_ONLY_DEFAULT;
  return 0;
}

// Copies an argument into a field; false when it does not fit.
bool take_argument(char* field, size_t cap, const char* arg, const char* null_name) {
  if (null_name != nullptr && strcmp(arg, null_name) == 0) arg = "";
  if (strlen(arg) >= cap) return false;
  strcpy(field, arg);
  return true;
}

void open_error_log(SERVER_HANDLE* h) {
  char path[SVR_PATH_LEN + 64];
  snprintf(path, sizeof path, "%s", h->home);
  if (h->home[0] != '\0' && SES_pathcat_n(path, sizeof path, "etc") != nullptr &&
      SES_pathcat_n(path, sizeof path, "zul.errlog") != nullptr && freopen(path, "a+", stderr) != nullptr)
    return;
  const char* temp = getenv("TEMP");
  snprintf(path, sizeof path, "%s", temp != nullptr ? temp : "/tmp");
  if (SES_pathcat_n(path, sizeof path, "zul.errlog") != nullptr) freopen(path, "a+", stderr);
}

[[noreturn]] void fail_to_parent(SERVER_HANDLE* h, int32_t code, int exit_code) {
  report_code_to_parent(h, code);
  if (code == SE_DB_IO_ERROR) report_extended_error(h, &h->xerr);
  fflush(stderr);
  server_exit(h, exit_code);
}

// ---- 4. stop clean-up

// Runs on the stop thread while the main thread may be inside a command:
// it frees nothing the main thread may be using. Ending the process releases
// the shared-memory mutexes (they are taken over when their owner is gone)
// and the socket.
void server_stop_cleanup() {
  for (SERVER_HANDLE* h = svr_handles; h != nullptr; h = h->next_handle) {
    if (h->client_socket >= 0) shutdown(h->client_socket, SHUT_RDWR);
  }
  fflush(stderr);
  fflush(stdout);
}

// ---- 3. command loop

[[noreturn]] void command_loop(SERVER_HANDLE* h) {
  for (;;) {
    int32_t code = 0;
    if (read_command(h, &code) != 0) {
      connection_rollback(h);
      connection_close(h);
      server_exit(h, SVR_EXIT_CLIENT_LOST);
    }
    h->command = code;
    if (code < 0 || code >= SE_COMMAND_COUNT) {
      fprintf(stderr, "Unrecognized command code %d!  Probable client-server mismatch.\n", code);
      connection_rollback(h);
      connection_close(h);
      server_exit(h, SVR_EXIT_UNKNOWN_COMMAND);
    }
    if (h->pinfo != nullptr) {
      h->pinfo->counters[0]++;
      SM_pinfo_update(h->sm, h->pinfo);
    }
    svr_commands[code].handler(h);
    if (h->channel != nullptr) CH_flush(h->channel);
    fflush(stderr);
    fflush(stdout);
  }
}

// ---- 2. start-up

[[noreturn]] void server_start(const START_RECORD* start) {
  char dbms_name[SE_DBMS_NAME_LEN], build_date[SE_DBMS_BUILD_DATE_LEN], build_text[SE_DBMS_BUILD_TEXT_LEN];
  DB_dbms_get_rev(dbms_name, build_date, build_text);
  // 1. arguments
  if (start->argc != 9) {
    fprintf(stderr, "NORQ Mardel Server - Release %s %s%s %s%s %s \n", SE_RELEASE_TEXT, "(", dbms_name,
            build_text, ")", build_date);
    fprintf(stderr, "Invalid Number of Arguments: %d\n", start->argc);
    server_exit(nullptr, SVR_EXIT_ARGUMENTS);
  }
  char** argv = start->argv;
  // 2. the handle
  SERVER_HANDLE* h = static_cast<SERVER_HANDLE*>(calloc(1, sizeof(SERVER_HANDLE)));
  if (h == nullptr) {
    fprintf(stderr, "Unable to allocate %d bytes for a server handle!\n", static_cast<int>(sizeof(SERVER_HANDLE)));
    server_exit(nullptr, SVR_EXIT_NO_MEMORY);
  }
  h->client_socket = -1;
  h->pipe_up = -1;
  h->pipe_down = -1;
  h->next_handle = svr_handles;
  svr_handles = h;
  h->run_as_process = !start->started_as_thread;
  h->threaded = strcmp(argv[6], kThreadedMark) == 0;
  signal(SIGINT, SIG_IGN);
  // A vanished client shows as EPIPE on the next write, not as a signal.
  signal(SIGPIPE, SIG_IGN);
  if (h->threaded) {
    fprintf(stderr, "Threaded servers are not served by this program.\n");
    server_exit(h, SVR_EXIT_PIPES);
  }
  SubPrograms_OnStop(server_stop_cleanup, argv[6]);
  // 3. release
  memset(&h->release, 0, sizeof h->release);
  sscanf(SE_RELEASE_TEXT, "%d.%d.%d", &h->release.major, &h->release.minor, &h->release.bug);
  h->release.release = SE_RELEASE_NUMBER;
  snprintf(h->release.description, sizeof h->release.description, SVR_RELEASE_DESC, dbms_name, build_text,
           build_date);
  // 4. argument texts; one that does not fit its field is refused.
  char connect[SVR_PATH_LEN];
  if (!take_argument(h->instance_name, sizeof h->instance_name, argv[1], "null=instance") ||
      !take_argument(h->arg2, sizeof h->arg2, argv[2], nullptr) ||
      !take_argument(h->user, sizeof h->user, argv[4], "null=user") ||
      !take_argument(connect, sizeof connect, argv[3], nullptr)) {
    fprintf(stderr, "Argument too long.\n");
    server_exit(h, SVR_EXIT_ARGUMENTS);
  }
  // 5. pipes
  if (LO_open_client(argv[7], argv[8], &h->pipe_up, &h->pipe_down) != 0) {
    fprintf(stderr, "Unable to open local communication channels!\n");
    server_exit(h, SVR_EXIT_PIPES);
  }
  // 6. character classes of the environment's locale
  setlocale(LC_CTYPE, "");
  // 7. start parameters
  if (int failed = read_start_params(h)) {
    fprintf(stderr, "ERROR READING PARAM %d\n", failed);
    server_exit(h, SVR_EXIT_PIPES);
  }
  // 8. error log
  open_error_log(h);
  // 9. language part of the connect text
  char language[SVR_PATH_LEN] = "";
  if (char* first = strchr(connect, ';')) {
    if (char* second = strchr(first + 1, ';')) {
      snprintf(language, sizeof language, "%s", second + 1);
      *second = '\0';
      if (second == first + 1) *first = '\0';
    }
  }
  // 10. instance
  int32_t rc = instance_open(h, h->user, h->password, connect, h->user_data);
  memset(h->password, 0, sizeof h->password);
  if (rc != 0) {
    fprintf(stderr, "Spatial Engine Connection Failed (%d).\n", rc);
    fprintf(stderr, "Cannot Get Access to Instance %s\n", h->instance_name);
    fail_to_parent(h, rc, SVR_EXIT_INSTANCE);
  }
  // 12. shared memory
  rc = SM_server_open(h->instance, h->instance_name, h->temp_dir, 0, &h->codepage, &h->sm);
  if (rc != 0) {
    fprintf(stderr, "Couldn't initialize shared memory, error = %d.\n", rc);
    h->sm = nullptr;
    rc = -1;
  } else {
    h->pid = SM_shared_info(h->sm, kQueryProcessId);
    rc = SM_pinfo_add(h->sm, h->pid);
    if (rc != 0) {
      fprintf(stderr, "Cannot Add Proc Info Record\n");
    } else if ((h->pinfo = SM_pinfo_find(h->sm, h->pid)) == nullptr) {
      fprintf(stderr, "Cannot Find Proc Info Record\n");
      rc = -1;
    }
  }
  if (rc != 0) {
    fprintf(stderr, "Cannot Attach to Shared Memory %d\n", rc);
    fail_to_parent(h, rc, SVR_EXIT_SHARED_MEMORY);
  }
  // 13. log tables
  if (DB_log_system_tables_exist(h->instance) != 0) {
    rc = DB_log_system_tables_create(h->instance);
    if (rc != 0) {
      connection_copy_instance_error(h);
      fail_to_parent(h, rc, SVR_EXIT_LOG_SYSTEM);
    }
  }
  // 14. user name
  DB_instance_get_real_user(h->instance, h->user);
  snprintf(h->converted_user, sizeof h->converted_user, "%s", h->user);
  if (h->codepage.convert) CODEPAGE_tonative(h->converted_user, sizeof h->converted_user, &h->codepage);
  snprintf(h->pinfo->user, sizeof h->pinfo->user, "%.35s", h->user);
  SM_pinfo_update(h->sm, h->pinfo);
  // 15. DBMS name
  char dbms_text[SE_DBMS_NAME_LEN] = "";
  if (DB_dbms_get_name(dbms_text) != 0) snprintf(dbms_text, sizeof dbms_text, "unidentified database");
  // The description field keeps what fits of it.
  std::string description = std::string(dbms_name) + " " + build_text + "(" + dbms_text + ") " + build_date;
  snprintf(h->release.description, sizeof h->release.description, "%.*s",
           static_cast<int>(sizeof h->release.description - 1), description.c_str());
  fflush(stderr);
  // 16. shared-memory and coordinated-memory channels are not available.
  if (h->channel_kind == SVR_KIND_SHARED || h->channel_kind == SVR_KIND_COORDINATED) {
    fprintf(stderr, "Cannot create shared channel IO.\n");
    server_exit(h, SVR_EXIT_CLIENT);
  }
  // 17. handshake
  rc = parent_handshake(h);
  if (rc != 0) {
    if (rc != SE_ACCEPT_TIMEOUT) fprintf(stderr, "ZUL SERVER CAN'T CONNECT TO CLIENT (%d).\n", rc);
    server_exit(h, SVR_EXIT_CLIENT);
  }
  LO_close(h->pipe_up);
  LO_close(h->pipe_down);
  h->pipe_up = h->pipe_down = -1;
  // 18. channel
  h->channel = CH_create(h->transport, 0, &h->client_socket);
  if (h->channel == nullptr) {
    fprintf(stderr, "Cannot create channel IO.\n");
    server_exit(h, SVR_EXIT_CLIENT);
  }
  // 19. streams
  h->streams = nullptr;
  h->next_stream_id = 1;
  h->stream_count = 0;
  // 20. registration cache
  rc = registration_cache_init(h);
  if (rc != 0) {
    fprintf(stderr, "Can not init shared table registry (%d)\n", rc);
    server_exit(h, SVR_EXIT_REGISTRATION_CACHE);
  }
  // 21. log-file system
  if (DB_log_init(h->instance) != 0) {
    fprintf(stderr, "Cannot init log file system.\n");
    server_exit(h, SVR_EXIT_LOG_SYSTEM);
  }
  rc = DB_trans_def_commit(h->instance);
  if (rc != 0) fprintf(stderr, "Error %d in commiting logfile deletes, continuing.\n", rc);
  // 22. temporary files
  static int32_t temp_errno = 0;
  initialize_temporary_files(h->temp_dir, &temp_errno);
  // 23. first records to the client
  rc = CH_write_release(h->channel, &h->release);
  if (rc != 0) {
    fprintf(stderr, "Cannot Write Release Info %d\n", rc);
    server_exit(h, SVR_EXIT_CLIENT_LOST);
  }
  rc = CH_write_long(h->channel, h->max_blob_size);
  if (rc == 0) rc = CH_write_long(h->channel, h->spec.setting[8]);
  if (rc == 0) rc = CH_flush(h->channel);
  if (rc != 0) {
    fprintf(stderr, "Cannot Write Max Blob Size %d\n", rc);
    server_exit(h, SVR_EXIT_CLIENT_LOST);
  }
  // 24. message file
  char code_page[SVR_PATH_LEN] = "";
  if (char* dot = strchr(language, '.')) {
    snprintf(code_page, sizeof code_page, "%s", dot + 1);
    *dot = '\0';
  } else if (h->codepage.convert) {
    snprintf(code_page, sizeof code_page, "%s", h->codepage.conn_name);
  } else {
    language[0] = '\0';
  }
  if (language[0] != '\0') {
    // The message files are kept per code page, named after the language.
    rc = read_message(language, code_page, &h->messages);
    if (rc == 0) {
      h->has_messages = 1;
    } else if (rc != SE_MSG_FILE_ERROR) {
      server_exit(h, SVR_EXIT_MESSAGE_FILE);
    }
  }
  fflush(stderr);
  // 25. serve
  command_loop(h);
}

}  // namespace

int main(int argc, char** argv) {
  START_RECORD start = {argc, argv, 0};
  server_start(&start);
}
