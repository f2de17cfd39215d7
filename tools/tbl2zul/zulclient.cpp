// zulclient.cpp -- our stand-ins for the client library calls of tbl2zul's
// start-up (see zulclient.h): environment and terminal work here; the
// server cannot be reached until the client library is part of the build.
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "zulclient.h"

namespace {

void say_no_server(const char* server) {
  fprintf(stderr, "tbl2zul: the client library is not part of this build; server \"%s\" cannot be reached.\n",
          server != nullptr ? server : "");
}

int parse_url_string(const char* text, ConvUrlParts* parts) {
  memset(parts, 0, sizeof *parts);
  if (text == nullptr || text[0] == '\0' || strlen(text) >= sizeof parts->instance) return -66;
  memcpy(parts->instance, text, strlen(text) + 1);
  return 0;
}

void free_url_parts(ConvUrlParts* parts) {
  for (int i = 0; parts->env != nullptr && i < parts->env_count; ++i) free(parts->env[i]);
  free(parts->env);
  parts->env = nullptr;
  parts->env_count = 0;
}

int copy_env_var(const char* name, char* out, size_t cap) {
  const char* v = getenv(name);
  if (v == nullptr || strlen(v) >= cap) return -1;
  memcpy(out, v, strlen(v) + 1);
  return 0;
}

int copy_env_var_from_list(int count, char** list, const char* name, char* out, size_t cap) {
  size_t n = strlen(name);
  for (int i = 0; i < count; ++i) {
    if (list[i] != nullptr && strncmp(list[i], name, n) == 0 && list[i][n] == '=') {
      const char* v = list[i] + n + 1;
      if (strlen(v) >= cap) return -1;
      memcpy(out, v, strlen(v) + 1);
      return 0;
    }
  }
  return -1;
}

int instance_configuration(const char* server, const char* instance, SE_INSTANCE_CONFIG* config) {
  say_no_server(server);
  return ZULCLIENT_NO_SERVER;
}

// Reads one line from standard input, without echo on a terminal.
int get_password(char* out, size_t cap) {
  if (cap == 0) return -1;
  out[0] = '\0';
  struct termios old;
  bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    struct termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  char line[256];
  bool ok = fgets(line, sizeof line, stdin) != nullptr;
  if (tty) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
  if (!ok) return -1;
  line[strcspn(line, "\r\n")] = '\0';
  if (strlen(line) >= cap) return -1;
  memcpy(out, line, strlen(line) + 1);
  return 0;
}

int instance_status(const char* server, const char* instance, ConvInstanceStatus* status) {
  snprintf(status->release, sizeof status->release, "%s", "8.3");
  return ZULCLIENT_NO_SERVER;
}

void print_banner(FILE* out, const char* release, const char* title) {
  fprintf(out, "\n  tbl2zul  --  %s  (release %s)\n\n", title, release != nullptr ? release : "");
}

int connection_create(const char* server, const char* instance, const char* database, const char* user,
                      const char* password, EXTENDED_ERROR* err, void** connection) {
  *connection = nullptr;
  memset(err, 0, sizeof *err);
  err->code = ZULCLIENT_NO_SERVER;
  return ZULCLIENT_NO_SERVER;
}

int error_get_string(int code, char* text, size_t cap) {
  if (code != ZULCLIENT_NO_SERVER) return -1;
  snprintf(text, cap, "%s", "Server not reachable: no client library in this build");
  return 0;
}

void connection_free(void* connection) {}

}  // namespace

ConvClient g_conv_client = {
    parse_url_string, free_url_parts, copy_env_var,   copy_env_var_from_list, instance_configuration,
    get_password,     instance_status, print_banner, connection_create,      error_get_string,
    connection_free,
};
