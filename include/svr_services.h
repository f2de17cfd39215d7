// svr_services.h -- the small runtime services of the server library that
// every other module stands on: large buffers, the fatal assertion, paths,
// host and service look-ups, local time, the environment, string folding and
// trimming, the name check, the geometry-error map, date arithmetic, cell
// sizes, string arrays, debug printing, and the side files "dbinit.zul" and
// "services.zul" of an instance home.
//
// Paths use '/'; where a service tests for a separator it also accepts '\\'.
// All of them reach the operating system through the OS layer (zulos.h).
#ifndef SVR_SERVICES_H
#define SVR_SERVICES_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

struct hostent;
struct servent;
struct CODEPAGE_INFO;

// ---- large buffers ---------------------------------------------------------

#define SES_BUFFER_VM_MIN 4096   // from this size up a buffer is whole pages

// A zeroed block of size bytes: from the heap below SES_BUFFER_VM_MIN, whole
// zero-filled pages from it up. Null for size 0 or when memory runs out.
void* SES_buffer_alloc(size_t size);

// Releases a block of SES_buffer_alloc; size must be the size that was
// asked for, since it selects the release. 0; SE_INVALID_POINTER for a null
// address; SE_INVALID_PARAM for size 0; -1 when the pages cannot be released.
int32_t SES_buffer_free(void* address, size_t size);

// ---- assertion -------------------------------------------------------------

// Flushes every stream, prints "Assertion failed: <text> line: <line>" to
// standard error and aborts the process.
[[noreturn]] void _SE_Assert(const char* text, unsigned line);

#define SE_ASSERT(e) ((e) ? (void)0 : _SE_Assert(#e, __LINE__))

// ---- paths -----------------------------------------------------------------

// Appends '/' to path unless it already ends in '/' or '\\', then name;
// returns path. path must have room for both (no length check: callers size
// their buffers for it). Prefer SES_pathcat_n.
char* SES_pathcat(char* path, const char* name);

// As SES_pathcat within a buffer of cap bytes; null, with path unchanged,
// when the result would not fit.
char* SES_pathcat_n(char* path, size_t cap, const char* name);

// Copies into out (room for strlen(path) + 1 bytes) the path without its
// last component: everything before the last '/' or '\\'. A null or empty
// path, or one without a separator, gives an empty text.
void SES_path_dirname(const char* path, char* out);

// ---- host and service look-ups ---------------------------------------------

// The IPv4 host entry of a name; null when it is not known. The entry
// belongs to the calling thread and holds until its next look-up.
struct hostent* SES_GetHostByName(const char* name, void* unused1, void* unused2);

// The host entry of a 4-byte IPv4 address (network order); as above.
struct hostent* SES_GetHostByAddr(const char* address, void* unused1, void* unused2);

// A service entry in out: "port:N" (any case of "port", N > 0) or a plain
// positive number N gives port N (network order) without asking the system;
// any other name is looked up in the services database. Null when neither
// answers. out's texts belong to the caller's name and protocol or to the
// calling thread until its next look-up.
struct servent* SES_GetServByName(const char* name, const char* protocol,
                                  struct servent* out, void* unused);

// ---- time and environment --------------------------------------------------

// The local broken-down time of t in out. 0; SE_INVALID_POINTER for a null
// out; -1 when t cannot be converted.
int32_t SES_localtime(time_t t, struct tm* out);

// The value of an environment variable, or null.
const char* SES_env_get(const char* name);

// Puts "NAME=VALUE" into the environment (an empty value removes NAME). 0;
// -1 for a text without '=' or an empty name, or when the environment
// cannot take it.
int32_t SES_env_put(const char* assignment);

// ---- case and blanks -------------------------------------------------------

// Fold text in place, leaving the bytes of double-byte and four-byte
// characters of the code page alone (every byte is folded for a single-byte
// code page or a null record). Return text.
char* SES_ToUpper(char* text, const CODEPAGE_INFO* codepage);
char* SES_ToLower(char* text, const CODEPAGE_INFO* codepage);

// Fold every byte the C library classes as lower (upper) case; return text.
char* SES_UpperCase(char* text);
char* SES_LowerCase(char* text);

// Removes trailing, then leading blanks, newlines and tabs in place; returns
// text (null for null).
char* SES_RemoveSpaces(char* text);

// ---- names -----------------------------------------------------------------

#define SES_NAME_KIND_TABLE 1    // table names: up to 32 characters, bytes above 127 allowed

// 0 when name may name a database object of the kind: not empty, at most 32
// characters for kind 1 and 14 for the others, only letters, digits, '_' and
// '-' (and, for kind 1, bytes outside ASCII). -1 otherwise.
int32_t SES_name_check(const char* name, int32_t kind);

// ---- geometry errors -------------------------------------------------------

// The server's status for a geometry-library code: 0 stays 0, the library's
// codes -2001 to -2049 and -2999 map to their statuses, any other gives -1.
int32_t SES_map_shape_error_to_zul(int32_t code);

// ---- dates -----------------------------------------------------------------

// Day of the year, from 1, of a date (month 1 to 12); SE_INVALID_PARAM for
// a month outside 1 to 12.
int32_t SES_get_day_of_year(int32_t month, int32_t day, int32_t year);

// Day of the week, 0 (Sunday) to 6; SE_INVALID_PARAM for a month outside 1
// to 12.
int32_t SES_get_day_of_week(int32_t month, int32_t day, int32_t year);

// ---- raster and other utilities --------------------------------------------

// 1 when two positive cell sizes are equal within about 14 significant
// digits (scaled by reference when it is the larger magnitude), else 0.
int32_t SES_cell_size_equal(double a, double b, double reference);

// One zeroed block of count pointers followed by count buffers of size
// bytes, each pointer set to its buffer; one free() releases it. 0;
// SE_INVALID_POINTER for a null out; SE_INVALID_PARAM for a count or size
// below 1; -1 when memory runs out or the block would be too large.
int32_t SES_allocate_string_array(char*** out, int32_t count, int32_t size);

// Prints to stream and flushes it, only when ZULVERBOSE is set. 0; -1 when
// printing or flushing fails.
int32_t SES_print_debug(FILE* stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// ---- instance side files ---------------------------------------------------

// Applies "<home>/etc/dbinit.zul": "set NAME=VALUE" lines put the assignment
// into the environment, "unset NAME" lines remove the name; lines that begin
// with "#" or "/*", empty lines and other first words are skipped. With echo
// non-zero or ZULDBECHO set, the path and every applied line go to standard
// error. Returns the number of "set" lines applied, or -1 when the file
// cannot be opened or memory runs out.
int32_t Etc_dbinit_set(const char* home, int32_t echo);

// The listener's service name: the first word of the first data line of
// "<home>/etc/services.zul", into service (SES_SERVICE_NAME_LEN bytes). 0, or
// -1 when the file cannot be opened or has no data line.
#define SES_SERVICE_NAME_LEN 256
int32_t Etc_service_get(const char* home, char* service);

#endif
