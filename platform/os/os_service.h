// os_service.h -- the service table: programs registered by name that the
// service manager starts, stops and reports on.
//
// Contract:
// - Only the local machine has a service manager: a null or empty machine
//   name, ".", "localhost" or this host's name (with or without a leading
//   "\\\\"). Any other answers ZULOS_ERROR_RPC_SERVER_UNAVAILABLE.
// - A service is a key "SYSTEM\\CurrentControlSet\\Services\\<name>" of the
//   registry (os_registry.h) with the values Windows keeps there: "Type"
//   (own process), "Start" (automatic), "ErrorControl" (normal),
//   "ImagePath", "DisplayName", "ObjectName" (the account) and
//   "DependOnService". The account's password is kept as "ObjectPassword"
//   in the same store, which only its owner may read (mode 0600). The
//   service's run state is kept beside them ("ZulState", "ZulPid",
//   "ZulWaitHint"). A key there without "ImagePath" is no service.
// - Starting a service starts its program as a child process (os_process.h)
//   with the arguments { ImagePath, "-zulservice", <name>, <fd> }. The start
//   arguments do not travel on the command line, where every user could read
//   them: they are written to a pipe whose read end the program inherits as
//   descriptor <fd>; zulos_svc_program_attach reads them. The state becomes
//   START_PENDING; the program reports RUNNING, STOP_PENDING and STOPPED
//   itself (zulos_svc_report). A service whose recorded process has ended
//   counts as STOPPED, whatever it reported last.
// - The account: none, "LocalSystem" or the account the caller runs as
//   starts the program as the caller; another account starts it as that user
//   (os_process.h: needs root and the account's password).
// - The stop control sends SIGTERM to the program and marks the service
//   STOP_PENDING; the program ends on it (reporting STOPPED on the way).
// - Deleting a running service removes its record and leaves its program
//   running; it can no longer be controlled through the table.
// - Not reproduced: pause and continue, other control codes, dependency
//   ordering at start, failure actions, start types other than automatic.
//
// Results are 0 or a Windows error number (positive): those of
// os_registry.h and those below.
#ifndef ZULOS_SERVICE_H
#define ZULOS_SERVICE_H

#include <stddef.h>
#include <stdint.h>

#include "os_registry.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZULOS_ERROR_INVALID_NAME                123
#define ZULOS_ERROR_SERVICE_REQUEST_TIMEOUT     1053
#define ZULOS_ERROR_SERVICE_ALREADY_RUNNING     1056
#define ZULOS_ERROR_SERVICE_DOES_NOT_EXIST      1060
#define ZULOS_ERROR_SERVICE_CANNOT_ACCEPT_CTRL  1061
#define ZULOS_ERROR_SERVICE_NOT_ACTIVE          1062
#define ZULOS_ERROR_SERVICE_EXISTS              1073
#define ZULOS_ERROR_SERVICE_LOGON_FAILED        1069
#define ZULOS_ERROR_RPC_SERVER_UNAVAILABLE      1722

// Service states, with Windows' numbers.
#define ZULOS_SERVICE_STOPPED           1
#define ZULOS_SERVICE_START_PENDING     2
#define ZULOS_SERVICE_STOP_PENDING      3
#define ZULOS_SERVICE_RUNNING           4
#define ZULOS_SERVICE_CONTINUE_PENDING  5
#define ZULOS_SERVICE_PAUSE_PENDING     6
#define ZULOS_SERVICE_PAUSED            7

#define ZULOS_SERVICE_NAME_MAX   256     // bytes of a service name
#define ZULOS_SERVICE_ARGS_MAX   16384   // bytes of all start arguments together
#define ZULOS_SERVICE_ARGC_MAX   64      // start arguments

// The key of the service table, below which each service has its key.
#define ZULOS_SERVICES_KEY "SYSTEM\\CurrentControlSet\\Services"

struct zulos_service_status {
  uint32_t state;         // ZULOS_SERVICE_*
  uint32_t wait_hint_ms;  // how long the program expects its pending state to last
  int32_t pid;            // the program's process, 0 when none is recorded
};

// Opens the service manager of machine for reading and writing: 0 when it
// is the local machine and the table can be changed; the error otherwise
// (ZULOS_ERROR_ACCESS_DENIED when the caller may not change it).
int zulos_svc_manager_open(const char* machine);

// Registers a service. dependencies is a list of names each ending in zero,
// ended by one more zero (null: none). account and password may be null.
// ZULOS_ERROR_SERVICE_EXISTS when the name is taken; ZULOS_ERROR_INVALID_NAME
// for an empty name, one with '\\' or '/', or one over the limit.
int zulos_svc_create(const char* name, const char* display_name, const char* program, const char* dependencies,
                     const char* account, const char* password);

// 0 when the service is registered, ZULOS_ERROR_SERVICE_DOES_NOT_EXIST otherwise.
int zulos_svc_open(const char* name);

// Removes the service's record; ZULOS_ERROR_SERVICE_DOES_NOT_EXIST when absent.
int zulos_svc_delete(const char* name);

// The account recorded for the service, into out (cap bytes).
int zulos_svc_account(const char* name, char* out, size_t cap);

// Starts the service with argc start arguments. ZULOS_ERROR_SERVICE_ALREADY_RUNNING
// when it is not stopped; ZULOS_ERROR_INVALID_PARAMETER for arguments beyond
// the limits; ZULOS_ERROR_FILE_NOT_FOUND when the program cannot be started;
// ZULOS_ERROR_SERVICE_LOGON_FAILED when the account cannot be taken.
int zulos_svc_start(const char* name, int argc, const char* const* argv);

// Sends the stop control; *out (may be null) gets the state after it.
// ZULOS_ERROR_SERVICE_NOT_ACTIVE when the service is stopped;
// ZULOS_ERROR_SERVICE_CANNOT_ACCEPT_CTRL when its program is not known yet
// or does not take the signal.
int zulos_svc_stop(const char* name, struct zulos_service_status* out);

// The service's current status.
int zulos_svc_query(const char* name, struct zulos_service_status* out);

// ---- the service program's side --------------------------------------------

// What a service program was started with.
struct zulos_svc_program {
  char name[ZULOS_SERVICE_NAME_MAX + 1];  // the service it runs as
  int argc;                               // start arguments
  char** argv;                            // argc texts, then null; free with zulos_svc_program_free
};

// Recognises the start form of a service program in the program's own argc
// and argv and reads the start arguments from the inherited descriptor
// (closing it). 0; ZULOS_ERROR_INVALID_PARAMETER when the program was not
// started as a service or the arguments are malformed or over the limits.
int zulos_svc_program_attach(int argc, char** argv, struct zulos_svc_program* out);
void zulos_svc_program_free(struct zulos_svc_program* p);

// Records the program's state and wait hint for the service manager. The
// process that reports is recorded as the service's process.
int zulos_svc_report(const char* name, uint32_t state, uint32_t wait_hint_ms);

#ifdef __cplusplus
}
#endif

#endif
