// os_path.cpp -- path texts (see os_path.h).
#include "os_path.h"

#include <string.h>

int zulos_is_sep(int c) { return c == '/' || c == '\\'; }

int zulos_path_append(char* path, size_t cap, const char* name) {
  if (path == nullptr || name == nullptr) return -1;
  size_t len = strnlen(path, cap);
  if (len == cap) return -1;
  bool sep = len > 0 && !zulos_is_sep(static_cast<unsigned char>(path[len - 1]));
  size_t nlen = strlen(name);
  if (len + (sep ? 1 : 0) + nlen + 1 > cap) return -1;
  if (sep) path[len++] = ZULOS_SEP;
  memcpy(path + len, name, nlen + 1);
  return 0;
}

int zulos_path_join(char* out, size_t cap, const char* dir, const char* name) {
  if (out == nullptr || cap == 0 || dir == nullptr) return -1;
  size_t dlen = strlen(dir);
  if (dlen + 1 > cap) {
    out[0] = '\0';
    return -1;
  }
  memcpy(out, dir, dlen + 1);
  if (zulos_path_append(out, cap, name) != 0) {
    out[0] = '\0';
    return -1;
  }
  return 0;
}

int zulos_path_dirname(const char* path, char* out, size_t cap) {
  if (out == nullptr || cap == 0) return -1;
  out[0] = '\0';
  if (path == nullptr) return 0;
  size_t end = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (zulos_is_sep(static_cast<unsigned char>(path[i]))) end = i + 1;
  }
  if (end == 0) return 0;
  --end;  // the last separator itself is not kept
  if (end + 1 > cap) return -1;
  memcpy(out, path, end);
  out[end] = '\0';
  return 0;
}

int zulos_path_is_plain_name(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  for (const char* p = name; *p != '\0'; ++p) {
    if (zulos_is_sep(static_cast<unsigned char>(*p))) return 0;
  }
  return 1;
}
