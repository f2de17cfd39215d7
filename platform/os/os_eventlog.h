// os_eventlog.h -- the application event log: named sources report typed,
// numbered events with insertion strings.
//
// Contract: events go to syslog (facility user) as one line
// "<source>: event <id>: <string 1> | <string 2> ...", at the priority of the
// event's type. The line is bounded (ZULOS_EVENT_LINE_MAX) and bytes outside
// printable ASCII are masked, since insertion strings may come from outside.
// Not reproduced: message files (the numbers are logged, not formatted), the
// event viewer's own store, remote machines, binary event data.
//
// A process may install one observer that sees every event before it goes to
// syslog, so that tests can read what was reported.
#ifndef ZULOS_EVENTLOG_H
#define ZULOS_EVENTLOG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZULOS_EVENTLOG_ERROR_TYPE        1
#define ZULOS_EVENTLOG_WARNING_TYPE      2
#define ZULOS_EVENTLOG_INFORMATION_TYPE  4

#define ZULOS_EVENT_SOURCE_MAX 255   // bytes of a source name
#define ZULOS_EVENT_LINE_MAX   1024  // bytes of one logged line

typedef struct zulos_event_source zulos_event_source;

// A handle for reporting under source; null for a null, empty or over-long
// name, or when memory runs out.
zulos_event_source* zulos_eventlog_register(const char* source);

// Reports one event with n insertion strings (null entries are skipped).
// 1 when it was reported, 0 otherwise (as the Windows call answers).
int zulos_eventlog_report(zulos_event_source* src, uint16_t type, uint32_t id, int n, const char* const* strings);

// Releases a handle (null is accepted).
void zulos_eventlog_deregister(zulos_event_source* src);

// Sees every reported event; installed per process, null removes it.
typedef void (*zulos_eventlog_observer_fn)(const char* source, uint16_t type, uint32_t id, int n,
                                           const char* const* strings);
void zulos_eventlog_set_observer(zulos_eventlog_observer_fn fn);

#ifdef __cplusplus
}
#endif

#endif
