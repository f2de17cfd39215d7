// os_tempfile.h -- uniquely named files that only their creator can open.
//
// A unique file is created in one step with O_CREAT | O_EXCL and mode 0600,
// so a name that someone else made first (a planted file or a symbolic link
// in a shared directory) is never opened: the creation simply tries another
// name. Files are opened close-on-exec, like every descriptor of the process
// except the client socket a server is started with.
//
// The open goes through the system-call table (os_syscalls.h), so a test can
// make it fail.
#ifndef ZULOS_TEMPFILE_H
#define ZULOS_TEMPFILE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Longest path a unique file may have, terminator included.
#define ZULOS_TEMP_PATH_CAP 4096

// zulos_make_unique_file: creates "<dir>/<prefix><six random characters>"
// for reading and writing, exclusively, with mode 0600 (before the umask).
// dir null or empty means the current directory. On success writes the path
// into path (capacity cap), the descriptor into *fd and returns 0. On failure
// returns -1 with errno set (ENAMETOOLONG when the path does not fit cap;
// EEXIST when every tried name was taken) and leaves *fd at -1.
int zulos_make_unique_file(const char* dir, const char* prefix, char* path, size_t cap,
                           int* fd);

// zulos_temp_dir: the directory for temporary files when none has been
// configured: $TEMP, else $TMP, else "/tmp".
const char* zulos_temp_dir(void);

#ifdef __cplusplus
}
#endif

#endif
