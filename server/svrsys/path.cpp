// path.cpp -- joining a name to a path and taking a path's directory part.
//
// '/' is written; '\\' is accepted where a path is tested for a separator,
// so paths written the Windows way split where they should. Relies on the
// OS layer's path helpers (os_path.h).
#include <string.h>

#include "svr_services.h"
#include "zulos.h"

char* SES_pathcat(char* path, const char* name) {
  size_t len = strlen(path);
  if (len == 0 || !zulos_is_sep(static_cast<unsigned char>(path[len - 1]))) path[len++] = ZULOS_SEP;
  strcpy(path + len, name);
  return path;
}

char* SES_pathcat_n(char* path, size_t cap, const char* name) {
  if (path == nullptr || name == nullptr) return nullptr;
  size_t len = strnlen(path, cap);
  if (len == cap) return nullptr;
  bool sep = len == 0 || !zulos_is_sep(static_cast<unsigned char>(path[len - 1]));
  size_t nlen = strlen(name);
  if (len + (sep ? 1 : 0) + nlen + 1 > cap) return nullptr;
  if (sep) path[len++] = ZULOS_SEP;
  memcpy(path + len, name, nlen + 1);
  return path;
}

void SES_path_dirname(const char* path, char* out) {
  if (out == nullptr) return;
  out[0] = '\0';
  if (path == nullptr) return;
  zulos_path_dirname(path, out, strlen(path) + 1);
}
