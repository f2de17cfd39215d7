// zul_local_io.h -- the local pipes between the listener and a server process.
//
// Before a server process has its client, the listener passes it the start
// parameters down one named pipe and the server reports its start-up status
// back up the other. Items, in native byte order, packed one after another:
// long (4 bytes), short (2 bytes), string (a 4-byte length n, then n bytes of
// text without NUL; an empty text is never sent).
//
// A pipe end is a descriptor of the OS layer (os_pipe.h). Every transfer
// moves all its bytes or fails: a short read or write is completed, never
// taken as success. LO_read_string takes its buffer's capacity and refuses a
// longer text after reading it, so the next item still reads correctly.
//
// All functions return 0 on success and -1 on failure unless stated.
#ifndef ZUL_LOCAL_IO_H
#define ZUL_LOCAL_IO_H

#include <stdint.h>

#define LO_WAIT_MS 10000   // how long each pipe end is waited for

// Longest text LO_read_string accepts from the pipe, whatever the buffer:
// start parameters are names and paths.
#define LO_MAX_STRING 65536

// Opens the client ends: the read pipe first, then the write pipe, waiting up
// to LO_WAIT_MS for each.
int32_t LO_open_client(const char* write_pipe, const char* read_pipe, int* write_handle, int* read_handle);
// Waits for the client of each server end, first then second; a client that
// connected before the call counts as connected.
int32_t LO_open_server(int first, int second);
// Returns 1 and does nothing.
int32_t LO_wait_for_client(void);
int32_t LO_read_long(int handle, int32_t* value);
int32_t LO_read_short(int handle, int16_t* value);
int32_t LO_write_long(int handle, int32_t value);
int32_t LO_write_short(int handle, int16_t value);
// Reads a text into buf (capacity cap, the NUL included). A length of 0 or
// a text that does not fit is refused (-1); a refused text up to
// LO_MAX_STRING bytes has been read and thrown away.
int32_t LO_read_string(int handle, char* buf, int32_t cap);
int32_t LO_write_string(int handle, const char* text);
// Close and disconnect answer non-zero on success, as the system calls they
// stand for do.
int32_t LO_close(int handle);
int32_t LO_disconnect(int handle);

// Sets how long LO_open_client waits for each pipe end (LO_WAIT_MS by
// default); for tests and tools that cannot wait ten seconds.
void LO_set_wait_ms(int32_t ms);

#endif
