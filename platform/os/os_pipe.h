// os_pipe.h -- local named pipes between the listener and a server process.
//
// A named pipe "\\.\pipe\X" is a local stream socket at $ZULHOME/run/X (a
// name that already holds a '/' is taken as the path itself). The pipe end is
// a descriptor (int), opened close-on-exec.
//
// The server end (the listener's) is made by zulos_pipe_create, which binds
// the name and listens for exactly one client. zulos_pipe_connect waits for
// that client and puts the connection in place of the listening socket, under
// the same descriptor number, so the handle the listener holds stays valid;
// a client that connected before the call counts as connected. The name is
// removed from the run directory once its client is connected.
//
// The client end is opened by zulos_pipe_wait (the name appears within the
// time-out) and zulos_pipe_open. Reads and writes move the whole count or
// fail: a short transfer is completed, never taken as success, and a peer
// that has closed its end is a failure (-1, errno EPIPE for a read that finds
// the end of the data). Writes never raise a signal.
//
// What it does not reproduce: message mode and the pipe's own buffer sizes
// and default time-out; one pipe instance serves one client.
#ifndef ZULOS_PIPE_H
#define ZULOS_PIPE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The file-system path of a pipe name, into path (capacity cap). Fails with
// ENOENT when $ZULHOME is unset and ENAMETOOLONG when the path does not fit
// the buffer or a local socket address.
int zulos_pipe_path(const char* name, char* path, size_t cap);

// Creates the server end of a named pipe (creating $ZULHOME/run when needed;
// a stale name is replaced). Returns the descriptor.
int zulos_pipe_create(const char* name);

// Waits up to timeout_ms for the client of a server end and connects it;
// negative waits without limit. Time-out: -1 with errno ETIMEDOUT. Calling it
// again on a connected end succeeds at once.
int zulos_pipe_connect(int fd, int timeout_ms);

// Waits up to timeout_ms for the server end of the named pipe to exist.
// 0 when it does, -1 (errno ETIMEDOUT) when it does not appear.
int zulos_pipe_wait(const char* name, int timeout_ms);

// Opens the client end of an existing named pipe. Returns the descriptor.
int zulos_pipe_open(const char* name);

// Reads exactly len bytes. 0 on success, -1 on failure or end of data.
int zulos_pipe_read(int fd, void* buf, size_t len);

// Writes exactly len bytes. 0 on success, -1 on failure.
int zulos_pipe_write(int fd, const void* data, size_t len);

// Closes a pipe end; a negative descriptor is ignored.
int zulos_pipe_close(int fd);

#ifdef __cplusplus
}
#endif

#endif
