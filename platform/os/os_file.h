// os_file.h -- files: open, read, write, size and kind, access, and line
// reading for the small text files of an instance home.
//
// Descriptors and streams are opened close-on-exec, so a spawned server
// inherits none of them. Opens, reads, writes and closes go through the
// system-call table (os_syscalls.h), so a test can make any of them fail.
// Interrupted calls are repeated. Files are read in binary; the line reader
// drops a '\r' before the line end, so files written on Windows read alike.
//
// Every function returns -1 on failure with errno set, unless stated.
#ifndef ZULOS_FILE_H
#define ZULOS_FILE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// open(2) with O_CLOEXEC added; a descriptor.
int zulos_open(const char* path, int flags, mode_t mode);

// close(2); 0.
int zulos_close(int fd);

// Reads until cap bytes or the end of the file; the number of bytes read.
ssize_t zulos_read_full(int fd, void* buf, size_t cap);

// Writes all len bytes; 0.
int zulos_write_full(int fd, const void* buf, size_t len);

// The size of the file at path in *size; 0.
int zulos_file_size(const char* path, uint64_t* size);

// 1 when path names a directory, 0 when it names something else, -1 when it
// cannot be examined.
int zulos_is_directory(const char* path);

// 0 when the process may read and write path.
int zulos_access_rw(const char* path);

// fopen(3) with close-on-exec; null on failure.
FILE* zulos_fopen(const char* path, const char* mode);

// Reads one line of f into buf (cap bytes, cap >= 1), without its '\n' and
// without a '\r' before it. A line longer than cap - 1 bytes keeps its first
// cap - 1 bytes, the rest is read and dropped, and *cut (when not null) is
// set to 1 (else 0). Returns the length stored, or -1 at the end of the file
// or on a read error.
ssize_t zulos_read_line(FILE* f, char* buf, size_t cap, int* cut);

#ifdef __cplusplus
}
#endif

#endif
