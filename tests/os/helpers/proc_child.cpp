// A child for the process and named-object tests. Modes:
//   exit N              exits with N
//   sleep               sleeps until killed
//   hold-mutex NAME     takes the named mutex, says "ready" on stdout, sleeps
//   create-shm NAME     creates the named object (kind "map"), says "ready", sleeps
//   list-fds PATH       writes the numbers of its open descriptors above 2,
//                       in rising order and blank-separated, to PATH
#include "zulos.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

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
  if (strcmp(mode, "list-fds") == 0 && argc > 2) {
    // Listed before the answer file is opened, so only what came from the
    // parent is seen.
    std::vector<int> fds;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return 200;
    int self = dirfd(d);
    while (struct dirent* e = readdir(d)) {
      int fd = atoi(e->d_name);
      if (e->d_name[0] != '.' && fd > 2 && fd != self) fds.push_back(fd);
    }
    closedir(d);
    FILE* f = fopen(argv[2], "we");
    if (!f) return 201;
    std::sort(fds.begin(), fds.end());
    const char* sep = "";
    for (int fd : fds) {
      fprintf(f, "%s%d", sep, fd);
      sep = " ";
    }
    return fclose(f) == 0 ? 0 : 202;
  }
  return 2;
}
