// seassert.cpp -- the fatal assertion: report the failed condition and stop
// the process at once, leaving a core to look at.
#include <stdio.h>
#include <stdlib.h>

#include "svr_services.h"

void _SE_Assert(const char* text, unsigned line) {
  fflush(nullptr);
  fprintf(stderr, "\n\nAssertion failed: %s line: %u\n\n", text != nullptr ? text : "", line);
  fflush(stderr);
  abort();
}
