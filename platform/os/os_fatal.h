// os_fatal.h -- the report of a failing system call that would raise the
// "Windows API Error" message box.
//
// There is no desktop to show a box on, so the text goes to standard error and
// to syslog, and the answer comes from $ZUL_API_ERROR_ACTION: "exit" answers
// No (the process ends with status 1); anything else, and no setting, answers
// Yes (the caller goes on), as an operator who lets the server run would.
#ifndef ZULOS_FATAL_H
#define ZULOS_FATAL_H

#include <stddef.h>

// Reports that call failed with err (an errno value) at line of source.
// Builds "<source>: Error <err> from <call> on line <line>:\n<text>" and
// "\n\nContinue execution?", writes it out, and returns 1 (go on) or ends the
// process with status 1.
int zulos_report_api_error(const char* source, int err, const char* call, int line);

// The text of the report, without writing it (for tests). Returns out.
char* zulos_api_error_text(const char* source, int err, const char* call, int line, char* out, size_t cap);

#endif
