// zul_msgfile.h -- the localized message file: the texts of the errors and
// warnings that a server process can send to its clients.
//
// read_message loads "<ZULHOME>/locale/msg/<language>/<prefix>_error.msg"
// whole and indexes the start of every message. Lines that begin with '#'
// are comments; the first comment whose first 80 characters hold
// "WARNING MESSAGE" ends the error messages and starts the warnings. Lines
// that begin with '+' or a blank continue the message before them. Each
// index ends with one more entry (the "WARNING MESSAGE" line, or the end of
// the text), so that message i runs from index[i] to index[i + 1].
#ifndef ZUL_MSGFILE_H
#define ZUL_MSGFILE_H

#include <stdint.h>

#define SE_MSG_FILE_ERROR        (-1011)      // the message file cannot be examined, opened or read
#define SE_MSG_ERROR_STEP        300          // growth of the error index, entries
#define SE_MSG_WARNING_STEP      15           // growth of the warning index, entries
#define SE_MSG_FILE_MAX          (16 << 20)   // largest message file loaded, bytes

struct MESSAGE_FILE {
  char*   buffer;          // the file's text, NUL-terminated, line ends as '\n'; owned
  char**  error_index;     // start of each error message, then the end marker; owned
  char**  warning_index;   // start of each warning message, then the end marker; owned
  int32_t error_count;     // number of error messages
  int32_t warning_count;   // number of warning messages
  int32_t error_cap;       // entries allocated in error_index
  int32_t warning_cap;     // entries allocated in warning_index
};

// Loads and indexes the message file of prefix under the language directory
// (neither may name another directory). The record is overwritten; free it
// with free_message_file. Returns 0; -1 with "Cannot locate ZULHOME" when the
// home directory is not set; SE_OUT_OF_DBMS_MEM (-12) when memory runs out or
// the file is larger than SE_MSG_FILE_MAX; SE_MSG_FILE_ERROR when the file
// cannot be examined, opened or read (each with a line on standard error).
int32_t read_message(const char* prefix, const char* language, MESSAGE_FILE* messages);

// Releases what read_message allocated and empties the record.
void free_message_file(MESSAGE_FILE* messages);

#endif
