// intercept_io.h -- intercept trace files: a text copy of a channel's traffic.
//
// When ZULINTERCEPTLOC names a place (directory and base name), every channel
// opens a trace file of its own there, numbered one past the highest that
// exists (base.001, base.002, ...), and each item the channel reads or writes
// appends an entry. ZULINTERCEPT chooses what is traced (letters C, R, W, T or
// t, F). A trace file is created exclusively, so two processes (or two
// channels) never share one; the time-stamp and flush choices belong to each
// channel, so one channel's trace never changes another's.
//
// The entry functions take the channel; each writes only when the channel
// traces the entry's direction (R reads, W writes), and flushes after the
// entry when the channel asked for it. Write errors on the trace are ignored:
// the channel's own status never depends on its trace.
#ifndef ZUL_INTERCEPT_IO_H
#define ZUL_INTERCEPT_IO_H

#include <stdint.h>
#include <stdio.h>

#include "zul_channel.h"

// Opens a trace file as the environment asks. Returns 0 when there is nothing
// to trace (*file none, *flags 0) or the file is open; -1 when tracing was
// asked for and the file cannot be made (path holds the path formed so far,
// empty when the directory check failed). time_format receives the time
// stamp's strftime format (capacity 16).
int32_t intercept_open(FILE** file, uint16_t* flags, char* path, size_t path_cap, char* time_format);
// Closes the file when open and marks it none.
void intercept_close(FILE** file);

// One line with the entry prefix of the direction ('R', 'W'), or without a
// prefix when dir is 0. An empty text writes nothing.
void intercept_line(const CHANNEL* ch, const char* text, char dir);
void intercept_command(const CHANNEL* ch, int32_t code, char dir);

void intercept_long(const CHANNEL* ch, int32_t value, char dir);
void intercept_ulong(const CHANNEL* ch, uint32_t value, char dir);
void intercept_short(const CHANNEL* ch, int16_t value, char dir);
void intercept_float(const CHANNEL* ch, float value, char dir);
void intercept_lfloat(const CHANNEL* ch, double value, char dir);
void intercept_short_array(const CHANNEL* ch, int16_t count, const int16_t* values, char dir);
void intercept_fid_array(const CHANNEL* ch, int32_t count, const int32_t* ids, char dir);
void intercept_lfloat_array(const CHANNEL* ch, int32_t count, const double* values, char dir);
void intercept_string(const CHANNEL* ch, const char* text, char dir);
void intercept_dynamic_string(const CHANNEL* ch, const char* text, char dir);
void intercept_date(const CHANNEL* ch, const SE_DATE* date, char dir);
void intercept_block(const CHANNEL* ch, const void* data, int32_t len, char dir);
void intercept_blob_seg(const CHANNEL* ch, const void* data, int32_t len, int32_t last, char dir);
void intercept_blob_end(const CHANNEL* ch, int32_t total_len, int32_t flush, char dir);

// The entry's heading prefix ("[R]" or "[R 05:09]") into buf; returns buf.
// Exposed for the record entries of other files.
char* intercept_prefix(const CHANNEL* ch, char dir, char* buf, size_t cap);
// Non-zero when the channel traces the direction (or, for commands, names).
int intercept_traces(const CHANNEL* ch, char dir);
// Flushes after an entry when the channel asked for it.
void intercept_done(const CHANNEL* ch);

#endif
