// read_config.cpp -- the instance configuration file "orvant.defs" and the
// path helpers of the listener.
//
// The file is read line by line (at most SE_CONFIG_LINE_LEN characters; a
// longer line is skipped whole). Everything from a '#' on is a comment. A
// line sets the key that begins it, after leading blanks: the key is the
// line's first word (letters, digits and '_'), and it must equal a key
// exactly, so a "STATELOCKS" line never sets "LOCKS". The value is read from
// just after the key:
//   - a number is the first run of digits, read as a decimal; the keys that
//     may be negative also take a '-' right before the digits (any other
//     minus sign is skipped, so "MAXDISTINCT -5" reads 5);
//   - a flag is the first word: "on", "yes" or "true" (any case) mean 1,
//     any other word 0; "TEMP" takes the word as the temporary directory;
//   - "LOGS" sets the log path to "UNUSED" whatever follows.
// A number that overflows 32 bits, a missing value or one outside its
// accepted range leaves the setting as it was, and the key counts as not
// set, so its warning shows the value in force. A later line for a key
// overrides an earlier one.
//
// Divisions: the key table; line reading; read_configuration; the path
// helpers and validate_path.
#include <errno.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <initializer_list>

#include "zul_config.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

// ---- the key table ----------------------------------------------------------

enum class Accept {
  kNonZero,         // above 0 (no minus sign is read)
  kNonZeroSigned,   // any value but 0; a minus sign is read
  kZeroOrMore,      // 0 or more
  kAny,             // any value; a minus sign is read
};

struct NumericKey {
  const char* key;
  int32_t SE_INSTANCE_CONFIG::*field;
  int32_t fallback;  // the default
  Accept accept;
};

// In record order.
constexpr NumericKey kNumericKeys[] = {
    {"CONNECTIONS", &SE_INSTANCE_CONFIG::max_connections, 64, Accept::kNonZero},
    {"LOCKS", &SE_INSTANCE_CONFIG::max_locks, 10000, Accept::kNonZero},
    {"STATELOCKS", &SE_INSTANCE_CONFIG::max_state_locks, 10000, Accept::kNonZero},
    {"MAXTABLELOCKS", &SE_INSTANCE_CONFIG::max_table_locks, 10000, Accept::kNonZero},
    {"OBJECTLOCKS", &SE_INSTANCE_CONFIG::max_object_locks, 10000, Accept::kNonZero},
    {"LAYERS", &SE_INSTANCE_CONFIG::max_layers, 500, Accept::kNonZero},
    {"REGISTRATIONS", &SE_INSTANCE_CONFIG::max_registrations, 1000, Accept::kNonZero},
    {"RASTERCOLUMNS", &SE_INSTANCE_CONFIG::max_raster_columns, 500, Accept::kNonZero},
    {"TIMEOUT", &SE_INSTANCE_CONFIG::timeout, 10, Accept::kNonZero},
    {"MINBUFSIZE", &SE_INSTANCE_CONFIG::min_buf_size, 16384, Accept::kNonZero},
    {"MAXBUFSIZE", &SE_INSTANCE_CONFIG::max_buf_size, 32768, Accept::kNonZero},
    {"MINBUFOBJECTS", &SE_INSTANCE_CONFIG::min_buf_objects, 200, Accept::kNonZero},
    {"MAXBLOBSIZE", &SE_INSTANCE_CONFIG::max_blob_size, 1000000, Accept::kNonZero},
    {"BLOBMEM", &SE_INSTANCE_CONFIG::blob_mem, 1000000, Accept::kNonZeroSigned},
    {"AUTOCOMMIT", &SE_INSTANCE_CONFIG::autocommit, 1000, Accept::kZeroOrMore},
    {"MAXINITIALFEATS", &SE_INSTANCE_CONFIG::max_initial_feats, 10000, Accept::kNonZeroSigned},
    {"MAXDISTINCT", &SE_INSTANCE_CONFIG::max_distinct, 512, Accept::kZeroOrMore},
    {"MAXSTREAMS", &SE_INSTANCE_CONFIG::max_streams, 25, Accept::kZeroOrMore},
    {"STREAMPOOLSIZE", &SE_INSTANCE_CONFIG::stream_pool_size, 3, Accept::kZeroOrMore},
    {"SHAPEPTSBUFSIZE", &SE_INSTANCE_CONFIG::shape_pts_buf_size, 400000, Accept::kZeroOrMore},
    {"ATTRBUFSIZE", &SE_INSTANCE_CONFIG::attr_buf_size, 50000, Accept::kZeroOrMore},
    {"BLOBBUFSIZE", &SE_INSTANCE_CONFIG::blob_buf_size, 30000, Accept::kZeroOrMore},
    {"RASTERBUFSIZE", &SE_INSTANCE_CONFIG::raster_buf_size, 102400, Accept::kZeroOrMore},
    {"MAXARRAYSIZE", &SE_INSTANCE_CONFIG::max_array_size, 100, Accept::kZeroOrMore},
    {"MAXARRAYBYTES", &SE_INSTANCE_CONFIG::max_array_bytes, 550000, Accept::kZeroOrMore},
    {"MAXTIMEDIFF", &SE_INSTANCE_CONFIG::max_time_diff, -1, Accept::kAny},
};
constexpr size_t kNumericCount = sizeof kNumericKeys / sizeof kNumericKeys[0];

// The older name of MINBUFOBJECTS.
constexpr char kObsoleteBufCount[] = "MAXBUFCOUNT";

// Keys that take a word.
enum WordKey { kTemp, kLogs, kStateCaching, kTcpKeepAlive, kReadOnly, kWordKeyCount };
constexpr const char* kWordKeys[kWordKeyCount] = {"TEMP", "LOGS", "STATECACHING", "TCPKEEPALIVE", "READONLY"};

// The keys that warn when no line set them, in the order of the warnings.
constexpr const char* kWarnOrder[] = {
    "TEMP",          "LOCKS",        "STATELOCKS",    "MAXTABLELOCKS",   "OBJECTLOCKS", "LAYERS",
    "REGISTRATIONS", "RASTERCOLUMNS", "ATTRBUFSIZE",  "RASTERBUFSIZE",   "MAXARRAYSIZE", "CONNECTIONS",
    "MINBUFSIZE",    "MAXBUFSIZE",   "MINBUFOBJECTS", "MAXBLOBSIZE",     "BLOBMEM",     "AUTOCOMMIT",
    "MAXINITIALFEATS", "MAXDISTINCT", "MAXSTREAMS",   "STREAMPOOLSIZE",  "MAXARRAYBYTES", "STATECACHING",
    "TCPKEEPALIVE",  "READONLY",     "MAXTIMEDIFF",
};

constexpr int32_t kBufMin = 4096;          // smallest stream buffer
constexpr int32_t kMaxBufFallback = 12288; // MAXBUFSIZE below kBufMin becomes this

// What the lines of one file set.
struct Seen {
  bool numeric[kNumericCount] = {};
  bool word[kWordKeyCount] = {};
  bool obsolete_buf_count = false;
};

// Copies text into a path field; false (field unchanged) when it does not fit.
bool set_path(char* field, const char* text) {
  size_t len = strlen(text);
  if (len >= SE_CONFIG_PATH_LEN) return false;
  memcpy(field, text, len + 1);
  return true;
}

// ---- line reading -------------------------------------------------------------

bool key_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Reads the number after the key: the first run of digits, with a '-' right
// before it when signed. False when there is none or it overflows.
bool read_number(const char* p, bool take_sign, int32_t* value) {
  while (*p != '\0' && (*p < '0' || *p > '9')) ++p;
  if (*p == '\0') return false;
  bool negative = take_sign && p[-1] == '-';
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) n = -n;
  if (n > INT32_MAX || n < INT32_MIN) return false;
  *value = static_cast<int32_t>(n);
  return true;
}

// Copies the first word after the key into word (cap bytes); false when
// there is none or it does not fit.
bool read_word(const char* p, char* word, size_t cap) {
  while (*p == ' ' || *p == '\t') ++p;
  size_t len = 0;
  while (p[len] != '\0' && p[len] != ' ' && p[len] != '\t') ++len;
  if (len == 0 || len >= cap) return false;
  memcpy(word, p, len);
  word[len] = '\0';
  return true;
}

bool accepted(Accept accept, int32_t v) {
  switch (accept) {
    case Accept::kNonZero:
    case Accept::kNonZeroSigned:
      return v != 0;
    case Accept::kZeroOrMore:
      return v >= 0;
    case Accept::kAny:
      return true;
  }
  return false;
}

// Applies one line (comment already removed) to the record.
void apply_line(char* line, INSTANCE_CONFIGURATION* rec, Seen* seen) {
  const char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  size_t klen = 0;
  while (key_char(p[klen])) ++klen;
  if (klen == 0) return;
  const char* rest = p + klen;
  auto is_key = [&](const char* key) { return strlen(key) == klen && strncmp(p, key, klen) == 0; };

  for (size_t i = 0; i < kNumericCount; ++i) {
    const NumericKey& k = kNumericKeys[i];
    if (!is_key(k.key)) continue;
    int32_t v;
    bool take_sign = k.accept == Accept::kNonZeroSigned || k.accept == Accept::kAny;
    if (read_number(rest, take_sign, &v) && accepted(k.accept, v)) {
      rec->config.*k.field = v;
      seen->numeric[i] = true;
    }
    return;
  }
  if (is_key(kObsoleteBufCount)) {
    int32_t v;
    if (read_number(rest, false, &v) && v != 0) {
      rec->config.min_buf_objects = v;
      seen->obsolete_buf_count = true;
    }
    return;
  }
  for (int w = 0; w < kWordKeyCount; ++w) {
    if (!is_key(kWordKeys[w])) continue;
    if (w == kLogs) {
      set_path(rec->config.log_path, SE_LOG_PATH_UNUSED);
      seen->word[w] = true;
      return;
    }
    char word[SE_CONFIG_PATH_LEN];
    if (!read_word(rest, word, sizeof word)) return;
    if (w == kTemp) {
      seen->word[w] = set_path(rec->config.tmp_path, word);
      return;
    }
    int32_t flag = strcasecmp(word, "on") == 0 || strcasecmp(word, "yes") == 0 || strcasecmp(word, "true") == 0;
    if (w == kStateCaching) rec->config.state_caching = flag;
    if (w == kTcpKeepAlive) rec->config.tcp_keepalive = flag;
    if (w == kReadOnly) rec->read_only = flag;
    seen->word[w] = true;
    return;
  }
}

// Prints the two warning lines of a key that no line set.
void warn_not_found(const char* key, const INSTANCE_CONFIGURATION* rec, const Seen& seen) {
  fprintf(stderr, "WARNING: Parameter \"%s\" not found in defaults file!\n", key);
  if (strcmp(key, "TEMP") == 0) {
    fprintf(stderr, "WARNING: Setting %s to \"%s\"\n", key, rec->config.tmp_path);
    return;
  }
  if (strcmp(key, "STATECACHING") == 0 || strcmp(key, "TCPKEEPALIVE") == 0 || strcmp(key, "READONLY") == 0) {
    int32_t v = strcmp(key, "STATECACHING") == 0   ? rec->config.state_caching
                : strcmp(key, "TCPKEEPALIVE") == 0 ? rec->config.tcp_keepalive
                                                   : rec->read_only;
    fprintf(stderr, "WARNING: Setting %s to \"%s\"\n", key, v ? "TRUE" : "FALSE");
    return;
  }
  if (strcmp(key, "MINBUFOBJECTS") == 0 && seen.obsolete_buf_count) {
    fprintf(stderr, "WARNING: taking value %d from obsolete parameter \"%s\"\n", rec->config.min_buf_objects,
            kObsoleteBufCount);
    return;
  }
  for (const NumericKey& k : kNumericKeys) {
    if (strcmp(k.key, key) == 0) {
      fprintf(stderr, "WARNING: Setting %s to \"%d\"\n", key, rec->config.*k.field);
      return;
    }
  }
}

bool key_was_set(const char* key, const Seen& seen) {
  for (int w = 0; w < kWordKeyCount; ++w) {
    if (strcmp(kWordKeys[w], key) == 0) return seen.word[w];
  }
  for (size_t i = 0; i < kNumericCount; ++i) {
    if (strcmp(kNumericKeys[i].key, key) == 0) return seen.numeric[i];
  }
  return true;
}

// The temporary directory when the file names none: ZULTMP, TEMP, TMP, or
// the system's.
void default_tmp_path(INSTANCE_CONFIGURATION* rec) {
  for (const char* var : {"ZULTMP", "TEMP", "TMP"}) {
    const char* v = zulos_env_get(var);
    if (v != nullptr && v[0] != '\0' && set_path(rec->config.tmp_path, v)) return;
  }
  set_path(rec->config.tmp_path, ZULOS_TEMP_DIR);
}

}  // namespace

// ---- read_configuration -----------------------------------------------------

int32_t read_configuration(INSTANCE_CONFIGURATION* record, int32_t quiet) {
  if (record == nullptr) return -1;
  INSTANCE_CONFIGURATION* rec = record;

  // 1. Defaults.
  for (const NumericKey& k : kNumericKeys) rec->config.*k.field = k.fallback;
  rec->config.state_caching = 1;
  rec->config.tcp_keepalive = 0;
  rec->read_only = 0;
  set_path(rec->config.log_path, SE_LOG_PATH_UNUSED);

  // 2. Temporary directory.
  default_tmp_path(rec);

  // 3. Home directory: the record's own, else ZULHOME.
  if (strnlen(rec->config.home_path, SE_CONFIG_PATH_LEN) == SE_CONFIG_PATH_LEN) rec->config.home_path[0] = '\0';
  if (rec->config.home_path[0] == '\0') {
    const char* home = zulos_env_get("ZULHOME");
    if (home == nullptr || home[0] == '\0' || !set_path(rec->config.home_path, home)) {
      rec->config.home_path[0] = '\0';
      return -1;
    }
  }

  // 4. The file.
  char path[SE_CONFIG_PATH_LEN + 64];
  snprintf(path, sizeof path, "%s%c%s%c%s", rec->config.home_path, ZULOS_SEP, "etc", ZULOS_SEP, SE_CONFIG_FILE);
  FILE* f = zulos_fopen(path, "r");
  if (f == nullptr) {
    if (!quiet) {
      perror("OPEN");
      fprintf(stderr, "Warning: Couldn't open %s file.\n", path);
      fprintf(stderr, "Using default values.\n");
    }
    return 0;
  }

  // 5. The lines.
  Seen seen;
  char line[SE_CONFIG_LINE_LEN + 1];
  int cut = 0;
  while (zulos_read_line(f, line, sizeof line, &cut) >= 0) {
    if (cut) continue;
    char* hash = strchr(line, '#');
    if (hash != nullptr) *hash = '\0';
    apply_line(line, rec, &seen);
  }
  fclose(f);

  // 6. Warnings for the keys no line set.
  if (!quiet) {
    for (const char* key : kWarnOrder) {
      if (!key_was_set(key, seen)) warn_not_found(key, rec, seen);
    }
    if (rec->config.max_layers > rec->config.max_registrations) {
      fprintf(stderr, "WARNING: LAYERS (%d) is larger than REGISTRATIONS (%d)!\n", rec->config.max_layers,
              rec->config.max_registrations);
      fprintf(stderr, "WARNING: Every layer requires a registration number!\n");
    }
  }

  // 7. Buffer limits.
  if (rec->config.min_buf_size < kBufMin) rec->config.min_buf_size = kBufMin;
  if (rec->config.max_buf_size < kBufMin) rec->config.max_buf_size = kMaxBufFallback;
  if (rec->config.max_buf_size < rec->config.min_buf_size) {
    int32_t t = rec->config.max_buf_size;
    rec->config.max_buf_size = rec->config.min_buf_size;
    rec->config.min_buf_size = t;
  }

  // 8. The block-fetch buffers must fit in MAXARRAYBYTES.
  if (!quiet) {
    int64_t sum = static_cast<int64_t>(rec->config.shape_pts_buf_size) + rec->config.attr_buf_size;
    if (rec->config.max_array_bytes < sum) {
      fprintf(stderr, "\nERROR: Invalid array buffer sizes.\n");
      fprintf(stderr, "\t Array buffer sizes (%lld) exceed MAXARRAYBYTES(%d).\n", static_cast<long long>(sum),
              rec->config.max_array_bytes);
      return -1;
    }
  }
  return 0;
}

// ---- the path helpers ---------------------------------------------------------

int32_t get_home_path(INSTANCE_CONFIGURATION* record) {
  if (record == nullptr) return -1;
  const char* home = zulos_env_get("ZULHOME");
  if (home == nullptr || !set_path(record->config.home_path, home)) {
    record->config.home_path[0] = '\0';
    return -1;
  }
  return 0;
}

int32_t get_log_path(INSTANCE_CONFIGURATION* record) {
  if (record == nullptr) return -1;
  set_path(record->config.log_path, SE_LOG_PATH_UNUSED);
  return 0;
}

int32_t get_tmp_path(INSTANCE_CONFIGURATION* record) {
  if (record == nullptr) return -1;
  const char* tmp = zulos_env_get("ZULTMP");
  if (tmp != nullptr && set_path(record->config.tmp_path, tmp)) return 0;
  set_path(record->config.tmp_path, ZULOS_TEMP_DIR);
  fprintf(stderr, "WARNING: %s: Setting temp directory to  %s\n", "ZULTMP", record->config.tmp_path);
  return 0;
}

int32_t validate_path(char* path, int32_t quiet) {
  if (path == nullptr) return -2;
  size_t len = strlen(path);
  // The root alone keeps its separator.
  if (len > 1 && zulos_is_sep(static_cast<unsigned char>(path[len - 1]))) path[len - 1] = '\0';
  int dir = zulos_is_directory(path);
  if (dir < 0) {
    int err = errno;
    if (!quiet) perror(path);
    return err != 0 ? err : -2;
  }
  if (dir == 0) {
    if (!quiet) fprintf(stderr, "%s, NOT A DIRECTORY!\n", path);
    return -2;
  }
  if (zulos_access_rw(path) != 0) {
    if (!quiet) fprintf(stderr, "Insufficient access to %s\n", path);
    return -2;
  }
  return 0;
}

int32_t validate_read_only_path(char* path, int32_t quiet) { return validate_path(path, quiet); }
