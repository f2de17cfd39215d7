// A child for the process and named-object tests. Modes:
//   exit N              exits with N
//   sleep               sleeps until killed
//   hold-mutex NAME     takes the named mutex, says "ready" on stdout, sleeps
//   create-shm NAME     creates the named object (kind "map"), says "ready", sleeps
//   count-fds           exits with the number of open descriptors above 2
#include "zulos.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void ready() {
  printf("ready\n");
  fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  if (strcmp(mode, "exit") == 0 && argc > 2) return atoi(argv[2]);
  if (strcmp(mode, "sleep") == 0) {
    for (;;) pause();
  }
  if (strcmp(mode, "hold-mutex") == 0 && argc > 2) {
    zulos_mutex m;
    if (zulos_mutex_open(argv[2], &m) != ZULOS_OK) return 3;
    if (zulos_mutex_lock(&m, ZULOS_INFINITE) != ZULOS_WAIT_ACQUIRED) return 4;
    ready();
    for (;;) pause();
  }
  if (strcmp(mode, "create-shm") == 0 && argc > 2) {
    zulos_shm s;
    if (zulos_shm_create("map", argv[2], 4096, &s) != ZULOS_OK) return 3;
    ready();
    for (;;) pause();
  }
  if (strcmp(mode, "count-fds") == 0) {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return 200;
    int self = dirfd(d);
    while (struct dirent* e = readdir(d)) {
      int fd = atoi(e->d_name);
      if (e->d_name[0] != '.' && fd > 2 && fd != self) ++n;
    }
    closedir(d);
    return n;
  }
  return 2;
}
