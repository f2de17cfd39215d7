// orvant.cpp -- the listener program: options, signals, and the listener of
// orvant.h until a shutdown command, SIGTERM or SIGINT.
//
// Usage: orvant [-i instance] [-s service] [-p server program] [-q]
// The home directory is $ZULHOME.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "orvant.h"

namespace {

ORVANT* g_running = nullptr;

void on_signal(int) { orvant_stop(g_running); }

int usage() {
  fprintf(stderr, "usage: orvant [-i instance] [-s service] [-p server program] [-q]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ORVANT_OPTIONS options = {};
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    bool has_value = i + 1 < argc;
    if (strcmp(a, "-i") == 0 && has_value) {
      options.instance = argv[++i];
    } else if (strcmp(a, "-s") == 0 && has_value) {
      options.service = argv[++i];
    } else if (strcmp(a, "-p") == 0 && has_value) {
      options.server_program = argv[++i];
    } else if (strcmp(a, "-q") == 0) {
      options.quiet = 1;
    } else {
      return usage();
    }
  }
  // Clients that go away must not end the listener.
  signal(SIGPIPE, SIG_IGN);
  ORVANT* listener = nullptr;
  int rc = orvant_open(&options, &listener);
  if (rc != 0) {
    fprintf(stderr, "orvant: cannot start (%d)\n", rc);
    return 2;
  }
  g_running = listener;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  fprintf(stdout, "orvant: listening on port %d\n", orvant_port(listener));
  fflush(stdout);
  orvant_serve(listener);
  g_running = nullptr;
  orvant_close(listener);
  return 0;
}
