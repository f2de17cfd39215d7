// read_msg.cpp -- the localized message file, and the release record that
// names this build to every client.
//
// read_message loads one file whole and indexes it (the rules are in
// zul_msgfile.h). The file is read in binary and every "\r\n" becomes "\n",
// so a file written on Windows indexes and reads alike. Its language and
// prefix come from the client's connect text, so they must be plain names:
// neither may lead the path out of the message directory.
//
// Relies on the OS layer for files and the environment, and on the DB2
// access layer for the build texts (DB_dbms_get_rev).
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "zul_dbms.h"
#include "zul_msgfile.h"
#include "zul_release.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

constexpr size_t kWarningProbe = 80;   // characters of a comment searched for the marker
constexpr char kWarningMarker[] = "WARNING MESSAGE";

// Appends entry to an index that grows by step entries; false when memory
// runs out. One slot is always left free for the end marker.
bool index_add(char*** index, int32_t* count, int32_t* cap, int32_t step, char* entry) {
  if (*count + 1 >= *cap) {
    int32_t grown = *cap + step;
    char** p = static_cast<char**>(realloc(*index, static_cast<size_t>(grown) * sizeof(char*)));
    if (p == nullptr) return false;
    *index = p;
    *cap = grown;
  }
  (*index)[(*count)++] = entry;
  (*index)[*count] = nullptr;
  return true;
}

// True when the first kWarningProbe characters of the line at p hold the
// warning marker.
bool is_warning_marker(const char* p, const char* end) {
  size_t len = 0;
  while (p + len < end && len < kWarningProbe && p[len] != '\n') ++len;
  size_t mlen = sizeof kWarningMarker - 1;
  for (size_t i = 0; i + mlen <= len; ++i) {
    if (memcmp(p + i, kWarningMarker, mlen) == 0) return true;
  }
  return false;
}

// Drops every '\r' that stands before a '\n'; returns the new length.
size_t strip_cr(char* text, size_t len) {
  size_t out = 0;
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == '\r' && i + 1 < len && text[i + 1] == '\n') continue;
    text[out++] = text[i];
  }
  text[out] = '\0';
  return out;
}

// Builds both indexes over the loaded text; false when memory runs out.
bool index_messages(MESSAGE_FILE* m, size_t len) {
  char* p = m->buffer;
  char* end = m->buffer + len;
  bool warnings = false;
  // Both indexes exist even for an empty file, so the end markers have a place.
  if (!index_add(&m->error_index, &m->error_count, &m->error_cap, SE_MSG_ERROR_STEP, nullptr)) return false;
  m->error_count = 0;
  if (!index_add(&m->warning_index, &m->warning_count, &m->warning_cap, SE_MSG_WARNING_STEP, nullptr)) return false;
  m->warning_count = 0;
  while (p < end) {
    char c = *p;
    if (c == '#') {
      if (!warnings && is_warning_marker(p, end)) {
        m->error_index[m->error_count] = p;  // ends the last error message
        warnings = true;
      }
    } else if (c != '+' && c != ' ' && c != '\n' && c != '\0') {
      bool ok = warnings
                    ? index_add(&m->warning_index, &m->warning_count, &m->warning_cap, SE_MSG_WARNING_STEP, p)
                    : index_add(&m->error_index, &m->error_count, &m->error_cap, SE_MSG_ERROR_STEP, p);
      if (!ok) return false;
    }
    char* nl = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    p = nl != nullptr ? nl + 1 : end;
  }
  if (warnings) {
    m->warning_index[m->warning_count] = end;
  } else {
    m->error_index[m->error_count] = end;
  }
  return true;
}

}  // namespace

void free_message_file(MESSAGE_FILE* messages) {
  if (messages == nullptr) return;
  free(messages->buffer);
  free(messages->error_index);
  free(messages->warning_index);
  memset(messages, 0, sizeof *messages);
}

int32_t read_message(const char* prefix, const char* language, MESSAGE_FILE* messages) {
  if (messages == nullptr) return SE_INVALID_POINTER;
  memset(messages, 0, sizeof *messages);

  const char* home = zulos_env_get("ZULHOME");
  if (home == nullptr || home[0] == '\0') {
    fprintf(stderr, "Cannot locate ZULHOME\n");
    return -1;
  }
  char path[PATH_MAX];
  int n = snprintf(path, sizeof path, "%s%clocale%cmsg%c%s%c%s_error.msg", home, ZULOS_SEP, ZULOS_SEP, ZULOS_SEP,
                   language != nullptr ? language : "", ZULOS_SEP, prefix != nullptr ? prefix : "");
  uint64_t size = 0;
  if (n < 0 || static_cast<size_t>(n) >= sizeof path || !zulos_path_is_plain_name(language) ||
      !zulos_path_is_plain_name(prefix) || zulos_file_size(path, &size) != 0) {
    fprintf(stderr, "Error getting file information %s", path);
    return SE_MSG_FILE_ERROR;
  }
  if (size > SE_MSG_FILE_MAX) {
    fprintf(stderr, "message file %s too large\n", path);
    return SE_OUT_OF_DBMS_MEM;
  }

  messages->buffer = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
  if (messages->buffer == nullptr) return SE_OUT_OF_DBMS_MEM;

  int fd = zulos_open(path, O_RDONLY, 0);
  if (fd < 0) {
    fprintf(stderr, "Error opening file %s", path);
    free_message_file(messages);
    return SE_MSG_FILE_ERROR;
  }
  // A file that shrank since it was examined simply ends early.
  ssize_t got = zulos_read_full(fd, messages->buffer, static_cast<size_t>(size));
  zulos_close(fd);
  if (got < 0) {
    fprintf(stderr, "error reading file %s\n", path);
    free_message_file(messages);
    return SE_MSG_FILE_ERROR;
  }
  size_t len = strip_cr(messages->buffer, static_cast<size_t>(got));
  if (!index_messages(messages, len)) {
    free_message_file(messages);
    return SE_OUT_OF_DBMS_MEM;
  }
  return SE_SUCCESS;
}

int32_t SES_get_release(RELEASE* release) {
  if (release == nullptr) return SE_INVALID_POINTER;
  sscanf(SE_RELEASE_TEXT, "%d.%d.%d", &release->major, &release->minor, &release->bug);
  char name[SE_DBMS_NAME_LEN] = "";
  char date[SE_DBMS_BUILD_DATE_LEN] = "";
  char build[SE_DBMS_BUILD_TEXT_LEN] = "";
  DB_dbms_get_rev(name, date, build);
  snprintf(release->description, sizeof release->description, "%s %s %s", name, build, date);
  release->release = SE_RELEASE_NUMBER;
  return SE_SUCCESS;
}
