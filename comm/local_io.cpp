// local_io.cpp -- the local pipes between the listener and a server process
// (see zul_local_io.h).
//
// Relies on the OS layer's named pipes (os_pipe.h), which move whole counts
// or fail.
#include "zul_local_io.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include "zulos.h"

namespace {
int32_t g_wait_ms = LO_WAIT_MS;
}

void LO_set_wait_ms(int32_t ms) { g_wait_ms = ms < 0 ? 0 : ms; }

int32_t LO_open_client(const char* write_pipe, const char* read_pipe, int* write_handle, int* read_handle) {
  if (!write_pipe || !read_pipe || !write_handle || !read_handle) return -1;
  if (zulos_pipe_wait(read_pipe, g_wait_ms) != 0) {
    fprintf(stderr, "error waiting for read pipe (%d)\n", errno);
    fflush(stderr);
    return -1;
  }
  int rd = zulos_pipe_open(read_pipe);
  if (rd < 0) return -1;
  if (zulos_pipe_wait(write_pipe, g_wait_ms) != 0) {
    fprintf(stderr, "error waiting for write pipe (%d)\n", errno);
    fflush(stderr);
    zulos_pipe_close(rd);
    return -1;
  }
  int wr = zulos_pipe_open(write_pipe);
  if (wr < 0) {
    zulos_pipe_close(rd);
    return -1;
  }
  *write_handle = wr;
  *read_handle = rd;
  return 0;
}

int32_t LO_open_server(int first, int second) {
  if (zulos_pipe_connect(first, -1) != 0) return -1;
  if (zulos_pipe_connect(second, -1) != 0) {
    LO_disconnect(first);
    return -1;
  }
  return 0;
}

int32_t LO_wait_for_client(void) { return 1; }

int32_t LO_read_long(int handle, int32_t* value) {
  return value && zulos_pipe_read(handle, value, sizeof *value) == 0 ? 0 : -1;
}

int32_t LO_read_short(int handle, int16_t* value) {
  return value && zulos_pipe_read(handle, value, sizeof *value) == 0 ? 0 : -1;
}

int32_t LO_write_long(int handle, int32_t value) {
  return zulos_pipe_write(handle, &value, sizeof value) == 0 ? 0 : -1;
}

int32_t LO_write_short(int handle, int16_t value) {
  return zulos_pipe_write(handle, &value, sizeof value) == 0 ? 0 : -1;
}

int32_t LO_read_string(int handle, char* buf, int32_t cap) {
  int32_t len;
  if (LO_read_long(handle, &len) != 0) return -1;
  if (len <= 0) return -1;
  if (!buf || cap < 1 || len >= cap) {
    if (buf && cap > 0) buf[0] = '\0';
    // Read the refused text so the next parameter starts where it should; a
    // length beyond any start parameter means the stream is not ours.
    if (len > LO_MAX_STRING) return -1;
    char scratch[4096];
    while (len > 0) {
      int32_t take = len > static_cast<int32_t>(sizeof scratch) ? static_cast<int32_t>(sizeof scratch) : len;
      if (zulos_pipe_read(handle, scratch, static_cast<size_t>(take)) != 0) return -1;
      len -= take;
    }
    return -1;
  }
  if (zulos_pipe_read(handle, buf, static_cast<size_t>(len)) != 0) return -1;
  buf[len] = '\0';
  return 0;
}

int32_t LO_write_string(int handle, const char* text) {
  size_t len = text ? strlen(text) : 0;
  if (len == 0 || len > static_cast<size_t>(INT32_MAX)) return -1;
  if (LO_write_long(handle, static_cast<int32_t>(len)) != 0) return -1;
  return zulos_pipe_write(handle, text, len) == 0 ? 0 : -1;
}

int32_t LO_close(int handle) { return zulos_pipe_close(handle) == 0 ? 1 : 0; }

int32_t LO_disconnect(int handle) { return ::shutdown(handle, SHUT_RDWR) == 0 ? 1 : 0; }
