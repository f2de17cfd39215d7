// temp_io.cpp -- the temporary files of a server process.
//
// The process keeps one temporary directory and one place to store the errno
// of a failed operation, both set at start-up by initialize_temporary_files.
// Names are made and the file created in one exclusive step by the OS layer
// (zulos_make_unique_file), never as a name first and an open later.
#include "zul_tempfile.h"

#include "zulos.h"
#include "os_tempfile.h"

#include <errno.h>
#include <mutex>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

std::mutex g_mu;
std::string g_dir;              // empty: the OS layer's default
int32_t* g_errloc = nullptr;

}  // namespace

const char* initialize_temporary_files(const char* dir, int32_t* errloc) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_dir = dir ? dir : "";
  g_errloc = errloc;
  return dir;
}

int32_t open_temporary_file(char** path, int* fd) {
  if (path) *path = nullptr;
  if (fd) *fd = -1;
  if (!path || !fd) return SE_TEMP_FILE_ERROR;
  std::string dir;
  int32_t* errloc;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    dir = g_dir.empty() ? zulos_temp_dir() : g_dir;
    errloc = g_errloc;
  }
  char* name = (char*)malloc(ZULOS_TEMP_PATH_CAP);
  if (!name) {
    if (errloc) *errloc = ENOMEM;
    return SE_TEMP_FILE_ERROR;
  }
  if (zulos_make_unique_file(dir.c_str(), "zul", name, ZULOS_TEMP_PATH_CAP, fd) != 0) {
    int err = errno;
    if (errloc) *errloc = err;
    errno = err;
    perror("OPEN");
    free(name);
    return SE_TEMP_FILE_ERROR;
  }
  *path = name;
  return 0;
}

void cleanup_temporary_file(char* path, int fd) {
  if (fd >= 0) zulos_sys.close(fd);
  if (path) {
    zulos_sys.unlink(path);
    free(path);
  }
}
