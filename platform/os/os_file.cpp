// os_file.cpp -- files: open, read, write, size and kind, access, and line
// reading (see os_file.h). Relies on the system-call table for open, read,
// write and close.
#include "os_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os_syscalls.h"

int zulos_open(const char* path, int flags, mode_t mode) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  int fd;
  do {
    fd = zulos_sys.open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int zulos_close(int fd) { return zulos_sys.close(fd); }

ssize_t zulos_read_full(int fd, void* buf, size_t cap) {
  size_t got = 0;
  while (got < cap) {
    ssize_t n = zulos_sys.read(fd, static_cast<char*>(buf) + got, cap - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

int zulos_write_full(int fd, const void* buf, size_t len) {
  size_t done = 0;
  while (done < len) {
    ssize_t n = zulos_sys.write(fd, static_cast<const char*>(buf) + done, len - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

int zulos_file_size(const char* path, uint64_t* size) {
  struct stat st;
  if (path == nullptr || size == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (stat(path, &st) != 0) return -1;
  *size = static_cast<uint64_t>(st.st_size);
  return 0;
}

int zulos_is_directory(const char* path) {
  struct stat st;
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (stat(path, &st) != 0) return -1;
  return S_ISDIR(st.st_mode) ? 1 : 0;
}

int zulos_access_rw(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return access(path, R_OK | W_OK);
}

FILE* zulos_fopen(const char* path, const char* mode) {
  char m[8];
  if (path == nullptr || mode == nullptr || strlen(mode) > sizeof m - 2) {
    errno = EINVAL;
    return nullptr;
  }
  snprintf(m, sizeof m, "%se", mode);
  return fopen(path, m);
}

ssize_t zulos_read_line(FILE* f, char* buf, size_t cap, int* cut) {
  if (cut != nullptr) *cut = 0;
  if (f == nullptr || buf == nullptr || cap == 0) {
    errno = EINVAL;
    return -1;
  }
  size_t len = 0;
  bool any = false;
  bool dropped = false;
  int c;
  while ((c = getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\r') {
      // "\r\n" is a Windows line end; a lone '\r' is text.
      int next = getc(f);
      if (next == '\n') break;
      if (next != EOF) ungetc(next, f);
    }
    if (len < cap - 1) {
      buf[len++] = static_cast<char>(c);
    } else {
      dropped = true;
    }
  }
  buf[len] = '\0';
  if (!any) return -1;
  if (cut != nullptr) *cut = dropped ? 1 : 0;
  return static_cast<ssize_t>(len);
}
