// A server-process stand-in for the multi-process tests of the shared
// segment and the subprocesses. The first argument picks the mode:
//   race INSTANCE OUT COUNTER   attach, add its process record, race for the
//                               feature-id start of layer 1 (the callback
//                               appends a line to COUNTER), then take
//                               feature-id and row-id ranges, writing
//                               "F first count" / "R first count" lines to OUT
//   hold INSTANCE READY         attach, add its record, take locks of every
//                               kind and the general mutex, create READY, sleep
//   reader INSTANCE READY       attach, enter the registration guard as a
//                               reader, create READY, sleep
//   fidinit INSTANCE READY      attach, start the feature-id counter of layer
//                               2 and sleep inside the callback
//   create INSTANCE READY       create the segment, create READY, sleep
//   child MARKER MODE [ARG]     a subprocess: register the stop thread (its
//                               clean-up creates MARKER), then MODE:
//                               "exit N" (after 300 ms), "sleep", or
//                               "bracket MS" (hold the stop bracket MS ms,
//                               creating MARKER.in inside it)
// Processes started by the subprocess module get three more arguments: the
// stop semaphore and the two pipe names.
#include "shared_internal.h"
#include "zul_shared.h"
#include "zul_subprograms.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

void touch(const std::string& path) {
  int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

[[noreturn]] void sleep_forever() {
  for (;;) pause();
}

std::string g_counter;
std::string g_marker;

int32_t fid_start(void*, int32_t) {
  FILE* f = fopen(g_counter.c_str(), "a");
  if (f) {
    fprintf(f, "%d\n", static_cast<int>(getpid()));
    fclose(f);
  }
  zulos_sleep_ms(300);
  return 1000;
}

int32_t rowid_start(void*, const REGISTRATION*) { return 5000; }
int32_t no_change(void*, REGISTRATION*, int32_t*) { return 0; }

int32_t fid_forever(void* ready, int32_t) {
  touch(static_cast<const char*>(ready));
  sleep_forever();
}

void stopped() { touch(g_marker); }

SM_HANDLE* attach(const char* instance) {
  SM_HANDLE* h = nullptr;
  int rc = SM_server_open(nullptr, instance, nullptr, 0, nullptr, &h);
  if (rc != 0) {
    fprintf(stderr, "sm_worker: open %s: %d\n", instance, rc);
    exit(10);
  }
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string mode = argv[1];
  if (mode == "child" && argc >= 7) {
    g_marker = argv[2];
    const char* sem = argv[argc - 3];
    if (SubPrograms_OnStop(stopped, sem) != 0) return 11;
    std::string what = argv[3];
    if (what == "exit") {
      zulos_sleep_ms(300);
      return atoi(argv[4]);
    }
    if (what == "bracket") {
      SubPrograms_StopHandling(0);
      touch(g_marker + ".in");
      zulos_sleep_ms(atoi(argv[4]));
      SubPrograms_StopHandling(1);
    }
    sleep_forever();
  }
  if (argc < 4) return 2;
  const char* instance = argv[2];
  if (mode == "create") {
    SM_HANDLE* h = nullptr;
    if (SM_master_create(nullptr, instance, nullptr, 4, 100, 100, 100, 10, 10, 10, 100, nullptr, &h) != 0) return 12;
    touch(argv[3]);
    sleep_forever();
  }
  SM_HANDLE* h = attach(instance);
  int32_t me = SM_shared_info(h, 28);
  if (SM_pinfo_add(h, me) != 0 || !SM_pinfo_find(h, me)) return 13;
  if (mode == "race" && argc >= 5) {
    g_counter = argv[4];
    if (SM_layer_set_fid_start(h, 1, fid_start, nullptr) != 0) return 14;
    FILE* out = fopen(argv[3], "w");
    if (!out) return 15;
    for (int i = 0; i < 200; ++i) {
      int32_t first = SM_layer_get_fid_range(h, 1, 10);
      fprintf(out, "F %d 10\n", first);
      int32_t rfirst = 0, got = 0;
      if (SM_registration_get_rowid_range(h, 1, 7, rowid_start, nullptr, &rfirst, &got) == 0)
        fprintf(out, "R %d %d\n", rfirst, got);
      if (i % 10 == 0) SM_shared_registration_operate(h, 1, no_change, nullptr);
    }
    fclose(out);
    SM_server_close(h);
    return 0;
  }
  if (mode == "hold") {
    SM_LOCK_ENVP env = {0, 0, 10, 10};
    SM_OBJECT_LOCK ol = {me, 77, 1, 999, 0, 0};
    if (SM_lock_add(h, 2, SM_AREA_UPDATE_AREA, &env) != 0 || SM_state_lock_add(h, 5, 3) != 0 ||
        SM_table_lock_add(h, 7, 2) != 0 || SM_object_lock_add(h, &ol, 1) != 0)
      return 16;
    if (SM_shared_mutex_lock(h) != 0) return 17;
    touch(argv[3]);
    sleep_forever();
  }
  if (mode == "reader") {
    if (sm_guard_enter(h, 2) != 0) return 18;
    touch(argv[3]);
    sleep_forever();
  }
  if (mode == "fidinit") {
    SM_layer_set_fid_start(h, 2, fid_forever, argv[3]);
    return 19;
  }
  return 2;
}
