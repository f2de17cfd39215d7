// os_path.h -- path texts: the separator, joining within a capacity, the
// directory part, and the defaults that stand for Windows paths.
//
// Paths are written with '/'. Where a test asks "does this end in a
// separator" or "where is the last separator", '\\' counts too, so paths
// written the Windows way still split where they should. The Windows
// defaults map as "c:\temp" -> "/tmp".
#ifndef ZULOS_PATH_H
#define ZULOS_PATH_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZULOS_SEP        '/'
#define ZULOS_TEMP_DIR   "/tmp"   // stands for "c:\temp"

// 1 for '/' or '\\', else 0.
int zulos_is_sep(int c);

// Appends a separator (unless path is empty or already ends in one) and name
// to path, a buffer of cap bytes. 0; -1 with path unchanged when the result
// would not fit.
int zulos_path_append(char* path, size_t cap, const char* name);

// Writes dir, a separator (unless dir ends in one) and name into out (cap
// bytes). 0; -1 (out empty) when it would not fit.
int zulos_path_join(char* out, size_t cap, const char* dir, const char* name);

// Writes into out (cap bytes) everything of path before its last separator;
// an empty text when there is none, or when path is null or empty. 0; -1
// (out empty) when it would not fit.
int zulos_path_dirname(const char* path, char* out, size_t cap);

// 1 when name is a single plain component: not empty, not "." or "..", and
// without '/' or '\\'; else 0. Names taken from a client or a file pass this
// before they become part of a path, so they never leave their directory.
int zulos_path_is_plain_name(const char* name);

#ifdef __cplusplus
}
#endif

#endif
