// os_time.h -- clocks and local time.
//
// Records that the Parts lay out with 32-bit times keep 32-bit seconds since
// 1970; zulos_now32 gives the clock in that form. Local time is converted
// with the re-entrant call, so threads never share a result buffer.
#ifndef ZULOS_TIME_H
#define ZULOS_TIME_H

#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

// Seconds since 1970, in 32 bits.
int32_t zulos_now32(void);

// The local broken-down time of t in *out; 0, or -1 when t cannot be
// converted.
int zulos_localtime(time_t t, struct tm* out);

// Milliseconds of a clock that never goes back (for time-outs).
uint64_t zulos_monotonic_ms(void);

// Sleeps ms milliseconds (repeating after interruptions).
void zulos_sleep_ms(uint32_t ms);

#ifdef __cplusplus
}
#endif

#endif
