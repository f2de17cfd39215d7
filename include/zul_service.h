// zul_service.h -- the instance's service and its registry settings: the
// per-instance registry values, the list of registered instances, the event
// log source, and the creation, deletion, start, stop and status of the
// listener's service (SES_*).
//
// The callers are the listener's administration side (and the listener
// start, which calls SES_start_service). Registry failures print their
// message to standard error and answer -1; service-manager failures answer
// the system's error number (positive) unless a negative code is named.
// Error numbers are those of the OS layer (os_registry.h, os_service.h).
#ifndef ZUL_SERVICE_H
#define ZUL_SERVICE_H

#include <stddef.h>
#include <stdint.h>

#include "zul_status.h"

// The product key, below which each instance (service) has its own key.
#define SES_PRODUCT_KEY_BASE "Software\\NORQ\\Hestorn\\Mardel\\8.0\\"
#define SES_PRODUCT_KEY_DBMS "DB2"
#define SES_PRODUCT_KEY_FMT  "%sMardel for %s"

// The event-log source key of a service.
#define SES_EVENTLOG_KEY_FMT "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\%s"

// Values of an instance's key.
#define SES_VALUE_DESCRIPTION "DESCRIPTION"
#define SES_VALUE_HOME        "ZULHOME"
#define SES_VALUE_DBA_PASSWORD "ZUL_DBA_PASSWORD"   // kept as binary data
#define SES_VALUE_NLS_LANG    "NLS_LANG"            // read only
#define SES_VALUE_SID         "ORACLE_SID"

// The text buffer of SES_GetKeyValue: a value of up to 264 bytes.
#define SES_KEY_VALUE_LEN 265

// Event ids (all of information type).
#define SES_EVENT_SERVICE_CREATED      100
#define SES_EVENT_SERVICE_DELETED      101
#define SES_EVENT_SERVICE_DELETE_FAILED 102
#define SES_EVENT_SERVICE_STARTED      105
#define SES_EVENT_SERVICE_STOP_REQUESTED 108

#define SES_EVENTLOG_INFORMATION_TYPE 4

// SES_start_service: the service runs already.
#define SE_SERVICE_ALREADY_RUNNING (-209)

// A text buffer for SES_QueryServiceStatus: holds the longest state name.
#define SES_SERVICE_STATUS_LEN 32

// One registered instance, as SES_ListService gives it. Never leaves the
// process: the caller frees the array with free().
typedef struct SES_SERVICE_LIST {
  char service[256];      // the service (instance) name
  char description[256];  // "DESCRIPTION"
  char home[512];         // "ZULHOME"
  char nls_lang[320];     // "NLS_LANG"
} SES_SERVICE_LIST;

#ifdef __cplusplus
static_assert(sizeof(SES_SERVICE_LIST) == 1344, "one service list record is 1344 bytes");
#endif

// ---- registry ---------------------------------------------------------------

// Sets value_name of the service's key (of the product key itself when
// service is null or empty), creating the keys. Texts are stored with their
// terminating zero; "ZUL_DBA_PASSWORD" is stored as binary data. 0 or -1.
int32_t SES_RegisterKey(const char* service, const char* value_name, const char* text);

// Deletes value_name of the service's key. 0 or -1.
int32_t SES_UnRegisterKey(const char* service, const char* value_name);

// Reads value_name of the service's key into text, which holds
// SES_KEY_VALUE_LEN bytes. A value that does not fit is refused (-1, text
// empty) rather than cut. 0 or -1.
int32_t SES_GetKeyValue(const char* service, const char* value_name, char* text);

// Deletes the service's key with all the keys below it. 0 or -1.
int32_t SES_DeleteInstanceKey(const char* service);

// Sets "DESCRIPTION", "ZULHOME", "ZUL_DBA_PASSWORD" and, when sid is given
// (not null, not empty), "ORACLE_SID" of the service. 0, or the status of
// the first value that failed.
int32_t SES_RegisterService(const char* service, const char* description, const char* home,
                            const char* dba_password, const char* unused1, const char* unused2, const char* sid);

// The registered instances: the one named service, or, when service is null
// or empty, every instance under the product key. *records is a zeroed
// array of *count records that the caller frees with free() (null when the
// count is 0). 0 or -1.
int32_t SES_ListService(const char* service, int32_t* count, SES_SERVICE_LIST** records);

// Registers service as an event-log source with message_file. 0, -1, or -65
// for a null or empty service or a null file.
int32_t SES_RegisterEventLog(const char* service, const char* message_file);

// Removes the service's event-log source. 0, -1, or -65 for a null or empty
// service.
int32_t SES_UnRegisterEventLog(const char* service);

// ---- service --------------------------------------------------------------

// Creates the service (own process, automatic start) running program under
// account (".\" is put before an account without a backslash), registers it
// as event-log source with program as message file and logs event 100.
// dependencies: names each ending in zero, then one more zero (or null).
// 0, the system's error, or the event-log registration's status.
int32_t SES_CreateService(const char* service, const char* display_name, const char* program,
                          const char* dependencies, const char* account, const char* password);

// Deletes the service, logs event 101 and removes its event-log source; when
// the deletion fails logs event 102 and answers the system's error.
int32_t SES_DeleteService(const char* service);

// Writes the service's state name ("SERVICE_RUNNING" ...) into text
// (SES_SERVICE_STATUS_LEN bytes); other states leave it unchanged. 0 or -1.
int32_t SES_QueryServiceStatus(const char* service, char* text);

// Starts the service on machine (null: this one) with the start arguments
// data (or "#") and the scrambled password, and waits while it starts. 0 once
// it runs (event 105); SE_SERVICE_ALREADY_RUNNING; -1 when it stopped during
// start-up; or the system's error.
int32_t SES_start_service(const char* machine, const char* service, const char* data, const char* password);

// Asks the service to stop (event 108). 0; -65 without a name; -1 when it is
// stopped already or refuses; or the system's error.
int32_t SES_stop_service(const char* service);

// Reports an event under source with the non-null texts as insertion
// strings; the source is registered once per process per name. 1 when the
// event was reported, 0 otherwise.
int32_t SES_LogEvent(int32_t type, int32_t event_id, const char* source, const char* text1, const char* text2,
                     const char* text3);

// ---- passwords in transfer ----------------------------------------------------

// The transfer form of a password: "Z83" and two hex digits for each byte,
// mixed with a fixed key. It keeps a password from being read at a glance,
// nothing more: it is no encryption. Both write into out (cap bytes) and
// answer 0, or -1 when the result would not fit or the input is not in form.
int32_t SES_password_scramble(const char* password, char* out, size_t cap);
int32_t SES_password_unscramble(const char* scrambled, char* out, size_t cap);

#endif
