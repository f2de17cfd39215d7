// os_fatal.cpp -- the report of failing system calls (see os_fatal.h).
#include "os_fatal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>
#include <unistd.h>

char* zulos_api_error_text(const char* source, int err, const char* call, int line, char* out, size_t cap) {
  if (!out || cap == 0) return out;
  char msg[256];
  // The GNU strerror_r returns the text, which may live outside msg.
  const char* text = strerror_r(err, msg, sizeof msg);
  if (text && *text) {
    snprintf(out, cap, "%s: Error %d from %s on line %d:\n%s\n\nContinue execution?", source ? source : "",
             err, call ? call : "", line, text);
  } else {
    snprintf(out, cap,
             "Unable to obtain error message text! \n%s: Error %d from %s on line %d\n\nContinue execution?",
             source ? source : "", err, call ? call : "", line);
  }
  return out;
}

int zulos_report_api_error(const char* source, int err, const char* call, int line) {
  char text[1024];
  zulos_api_error_text(source, err, call, line, text, sizeof text);
  fprintf(stderr, "Windows API Error: %s\n", text);
  fflush(stderr);
  syslog(LOG_ERR, "%s", text);
  const char* action = getenv("ZUL_API_ERROR_ACTION");
  if (action && strcmp(action, "exit") == 0) {
    fflush(stdout);
    _exit(1);
  }
  return 1;
}
