// intercept_io.cpp -- intercept trace files (see intercept_io.h).
//
// Relies on the command-name table (zul_commands.h) and the record printers
// (zullist.h). Divisions:
//   1. opening and closing a trace
//   2. entry prefix and plain lines
//   3. entries of the channel's items
//
// Notes:
//  1. The file is created with O_EXCL: when another process or channel has
//     just taken the number, the next one is tried, so two traces never
//     interleave in one file.
//  2. The time-stamp format and the flush choice are kept per channel (its
//     flags and its trace_time_format), so a channel opened later in the same
//     process (a plug-in thread's) cannot change an earlier channel's trace.
#include "intercept_io.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "zul_commands.h"
#include "zullist.h"

namespace {

constexpr int kMaxNumberTries = 1000;  // numbers tried after the highest found

const char kDashes74[] =
    "--------------------------------------------------------------------------";
static_assert(sizeof kDashes74 == 75, "74 dashes");
const char kEquals40[] = "========================================";
static_assert(sizeof kEquals40 == 41, "40 equal signs");

// The flags that ZULINTERCEPT asks for, and the time format.
uint16_t parse_flags(const char* letters, char* time_format) {
  strcpy(time_format, "%H:%M:%S");
  if (!letters || !*letters) return CH_TRACE_READ | CH_TRACE_WRITE | CH_TRACE_COMMAND;
  uint16_t flags = 0;
  for (const char* p = letters; *p; p++) {
    switch (*p) {
      case 'C': case 'c': flags |= CH_TRACE_COMMAND; break;
      case 'R': case 'r': flags |= CH_TRACE_READ; break;
      case 'W': case 'w': flags |= CH_TRACE_WRITE; break;
      case 'T': flags |= CH_TRACE_TIME; strcpy(time_format, "%H:%M:%S"); break;
      case 't': flags |= CH_TRACE_TIME; strcpy(time_format, "%M:%S"); break;
      case 'F': case 'f': flags |= CH_TRACE_FLUSH; break;
      default: break;
    }
  }
  if (!(flags & (CH_TRACE_READ | CH_TRACE_WRITE | CH_TRACE_COMMAND))) flags |= CH_TRACE_COMMAND;
  return flags;
}

// The Mode line's list of flags.
void mode_text(uint16_t flags, char* buf, size_t cap) {
  buf[0] = '\0';
  if (flags & CH_TRACE_COMMAND) strncat(buf, "Command Name,", cap - strlen(buf) - 1);
  if (flags & CH_TRACE_READ) strncat(buf, " Read,", cap - strlen(buf) - 1);
  if (flags & CH_TRACE_WRITE) strncat(buf, " Write,", cap - strlen(buf) - 1);
  if (flags & CH_TRACE_TIME) strncat(buf, " Time,", cap - strlen(buf) - 1);
  if (flags & CH_TRACE_FLUSH) strncat(buf, " Flush,", cap - strlen(buf) - 1);
  size_t n = strlen(buf);
  if (n > 0 && buf[n - 1] == ',') buf[n - 1] = '\0';
}

// The highest number among dir's entries named base.<number>, or 0.
long highest_number(const char* dir, const char* base) {
  DIR* d = opendir(dir);
  if (!d) return 0;
  size_t blen = strlen(base);
  long best = 0;
  while (dirent* e = readdir(d)) {
    if (strncmp(e->d_name, base, blen) != 0 || e->d_name[blen] != '.') continue;
    const char* digits = e->d_name + blen + 1;
    char* end;
    errno = 0;
    long v = strtol(digits, &end, 10);
    if (end == digits || errno == ERANGE || v < 0 || v >= INT_MAX - kMaxNumberTries) continue;
    if (v > best) best = v;
  }
  closedir(d);
  return best;
}

FILE* file_of(const CHANNEL* ch) { return ch ? ch->trace : nullptr; }

}  // namespace

// ---- 1. opening and closing a trace ------------------------------------------

int32_t intercept_open(FILE** file, uint16_t* flags, char* path, size_t path_cap, char* time_format) {
  *file = nullptr;
  *flags = 0;
  if (path && path_cap) path[0] = '\0';
  strcpy(time_format, "%H:%M:%S");
  const char* loc = getenv("ZULINTERCEPTLOC");
  if (!loc) return 0;
  if (!*loc) {
    fprintf(stderr, "ZULINTERCEPTLOC not set.\n");
    return 0;
  }
  uint16_t want = parse_flags(getenv("ZULINTERCEPT"), time_format);

  // Directory and base name: split at the last separator.
  char dir[PATH_MAX];
  const char* base;
  const char* sep = nullptr;
  for (const char* p = loc; *p; p++)
    if (*p == '\\' || *p == '/') sep = p;
  if (sep) {
    size_t n = static_cast<size_t>(sep - loc);
    if (n == 0) n = 1;  // the root directory
    if (n >= sizeof dir) return -1;
    memcpy(dir, loc, n);
    dir[n] = '\0';
    base = sep + 1;
  } else {
    strcpy(dir, "./");
    base = loc;
  }
  struct stat st;
  if (stat(dir, &st) != 0) {
    fprintf(stderr, "%s not found.\n", dir);
    return -1;
  }
  if (!S_ISDIR(st.st_mode)) {
    fprintf(stderr, "%s is not a directory.\n", dir);
    return -1;
  }
  size_t dlen = strlen(dir);
  const char* joint = (dir[dlen - 1] == '/' || dir[dlen - 1] == '\\') ? "" : "/";

  long number = highest_number(dir, base) + 1;
  int fd = -1;
  char name[PATH_MAX];
  for (int tries = 0; tries < kMaxNumberTries; tries++, number++) {
    int n = snprintf(name, sizeof name, "%s%s%s.%.3ld", dir, joint, base, number);
    if (n < 0 || static_cast<size_t>(n) >= sizeof name) break;
    if (path && path_cap) snprintf(path, path_cap, "%s", name);
    fd = open(name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) break;
  }
  FILE* f = fd >= 0 ? fdopen(fd, "a+") : nullptr;
  if (!f) {
    fprintf(stderr, "%s: errno = %d\n", "FOPEN INTERCEPT", errno);
    fprintf(stderr, "INTERCEPT FILE: %s\n", path ? path : "");
    if (fd >= 0) close(fd);
    return -1;
  }

  char mode[64];
  mode_text(want, mode, sizeof mode);
  time_t now = time(nullptr);
  char stamp[32];
  struct tm lt;
  localtime_r(&now, &lt);
  asctime_r(&lt, stamp);
  fprintf(f, "File:  %s\n", name);
  fprintf(f, "Mode:  %s\n", mode);
  fprintf(f, "Time:  %s", stamp);
  fprintf(f, "%s\n\n", kDashes74);
  if (want & CH_TRACE_FLUSH) fflush(f);
  *file = f;
  *flags = want;
  return 0;
}

void intercept_close(FILE** file) {
  if (file && *file) {
    fclose(*file);
    *file = nullptr;
  }
}

// ---- 2. entry prefix and plain lines -------------------------------------------

int intercept_traces(const CHANNEL* ch, char dir) {
  if (!file_of(ch)) return 0;
  if (dir == 'R') return ch->trace_flags & CH_TRACE_READ;
  if (dir == 'W') return ch->trace_flags & CH_TRACE_WRITE;
  return 0;
}

void intercept_done(const CHANNEL* ch) {
  if (file_of(ch) && (ch->trace_flags & CH_TRACE_FLUSH)) fflush(ch->trace);
}

char* intercept_prefix(const CHANNEL* ch, char dir, char* buf, size_t cap) {
  if (ch && (ch->trace_flags & CH_TRACE_TIME)) {
    char when[32];
    time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    if (strftime(when, sizeof when, ch->trace_time_format, &lt) == 0) when[0] = '\0';
    snprintf(buf, cap, "[%c %s]", dir, when);
  } else {
    snprintf(buf, cap, "[%c]", dir);
  }
  return buf;
}

void intercept_line(const CHANNEL* ch, const char* text, char dir) {
  FILE* f = file_of(ch);
  if (!f || !text || !*text) return;
  if (dir) {
    char prefix[48];
    fprintf(f, "%s %s\n", intercept_prefix(ch, dir, prefix, sizeof prefix), text);
  } else {
    fprintf(f, "%s\n", text);
  }
  intercept_done(ch);
}

void intercept_command(const CHANNEL* ch, int32_t code, char dir) {
  FILE* f = file_of(ch);
  if (!f || !((ch->trace_flags & CH_TRACE_COMMAND) || intercept_traces(ch, dir))) return;
  char prefix[48];
  intercept_prefix(ch, dir, prefix, sizeof prefix);
  fprintf(f, "%s\n", kEquals40);
  if (code >= 0 && code < SE_COMMAND_COUNT)
    fprintf(f, "%s Command:      %s\n", prefix, CH_command_name(code));
  else
    fprintf(f, "%s Command:      Invalid_Command_Code %d\n", prefix, code);
  intercept_done(ch);
}

// ---- 3. entries of the channel's items -------------------------------------------

#define ENTRY_BEGIN(ch, dir)                              \
  FILE* f = file_of(ch);                                  \
  if (!intercept_traces(ch, dir)) return;                 \
  char prefix[48];                                        \
  intercept_prefix(ch, dir, prefix, sizeof prefix)

void intercept_long(const CHANNEL* ch, int32_t value, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Long:         %ld\n", prefix, static_cast<long>(value));
  intercept_done(ch);
}

void intercept_ulong(const CHANNEL* ch, uint32_t value, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s ULong:        %lu\n", prefix, static_cast<unsigned long>(value));
  intercept_done(ch);
}

void intercept_short(const CHANNEL* ch, int16_t value, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Short:        %d\n", prefix, value);
  intercept_done(ch);
}

void intercept_float(const CHANNEL* ch, float value, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Float:        %.6f\n", prefix, static_cast<double>(value));
  intercept_done(ch);
}

void intercept_lfloat(const CHANNEL* ch, double value, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s LFloat:       %.12f\n", prefix, value);
  intercept_done(ch);
}

void intercept_short_array(const CHANNEL* ch, int16_t count, const int16_t* values, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s ShortArray:   [%d] ", prefix, count);
  for (int16_t i = 0; values && i < count; i++) fprintf(f, i ? ", %d" : "%d", values[i]);
  fprintf(f, "\n");
  intercept_done(ch);
}

void intercept_fid_array(const CHANNEL* ch, int32_t count, const int32_t* ids, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s FID array:    [%ld]\n", prefix, static_cast<long>(count));
  for (int32_t i = 0; ids && i < count; i++) fprintf(f, i ? ", %ld" : "%ld", static_cast<long>(ids[i]));
  fprintf(f, "\n");
  intercept_done(ch);
}

void intercept_lfloat_array(const CHANNEL* ch, int32_t count, const double* values, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s LFLOAT array:    [%ld]\n", prefix, static_cast<long>(count));
  for (int32_t i = 0; values && i < count; i++) fprintf(f, i ? ", %.12f" : "%.12f", values[i]);
  fprintf(f, "\n");
  intercept_done(ch);
}

void intercept_string(const CHANNEL* ch, const char* text, char dir) {
  ENTRY_BEGIN(ch, dir);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(f, "%s String:       %s\n", prefix, SE_list_string(text, shown, sizeof shown));
  intercept_done(ch);
}

void intercept_dynamic_string(const CHANNEL* ch, const char* text, char dir) {
  ENTRY_BEGIN(ch, dir);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(f, "%s Dynamic_Str:  %s\n", prefix, SE_list_string(text, shown, sizeof shown));
  intercept_done(ch);
}

void intercept_date(const CHANNEL* ch, const SE_DATE* date, char dir) {
  ENTRY_BEGIN(ch, dir);
  struct tm t {};
  t.tm_sec = date->sec;
  t.tm_min = date->min;
  t.tm_hour = date->hour;
  t.tm_mday = date->mday;
  t.tm_mon = date->mon;
  t.tm_year = date->year;
  t.tm_wday = date->wday;
  t.tm_yday = date->yday;
  t.tm_isdst = date->isdst;
  char when[32];
  // Fields from a peer may lie outside their ranges; strftime is given only
  // what it can format.
  if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_wday < 0 || t.tm_wday > 6 ||
      strftime(when, sizeof when, "%c", &t) == 0)
    when[0] = '\0';
  fprintf(f, "%s Date:         %s\n", prefix, when);
  intercept_done(ch);
}

void intercept_block(const CHANNEL* ch, const void* data, int32_t len, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Block:\n", prefix);
  SE_list_buffer(f, data, len, 25, "\t");
  intercept_done(ch);
}

void intercept_blob_seg(const CHANNEL* ch, const void* data, int32_t len, int32_t last, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Blob_Segment:\n", prefix);
  SE_list_buffer(f, data, len, 25, "\t");
  fprintf(f, "\tLast Seg.:\t%s\n", last ? "Yes" : "No");
  intercept_done(ch);
}

void intercept_blob_end(const CHANNEL* ch, int32_t total_len, int32_t flush, char dir) {
  ENTRY_BEGIN(ch, dir);
  fprintf(f, "%s Blob End:     [%ld]\n", prefix, static_cast<long>(total_len));
  fprintf(f, "\tFlush:\t%s\n", flush ? "Yes" : "No");
  intercept_done(ch);
}
