// tbl2zul.cpp -- the table conversion tool's entry: console and code-page
// set-up, the command line, the connection, the conversion and the counts.
//
// Exit codes: 0 after a conversion ran; 1 for help, usage, parse errors,
// memory, or a connection that cannot be made. Until the client library is
// part of the build no connection can be made, so every conversion ends
// with the connection messages and exit code 1 (see zulclient.h).
#include <clocale>
#include <stdlib.h>
#include <string.h>

#include "convparse.h"
#include "zultables.h"

namespace {

void say(const char* text) { informC(text, -1); }

void report_connection_failure(const Conv_Options& o, int rc, const EXTENDED_ERROR& err) {
  char line[512];
  if (o.user[0] != '\0') {
    snprintf(line, sizeof line, "Unable to create a connection on server %s, for user %s.", o.server, o.user);
  } else {
    snprintf(line, sizeof line, "Unable to create a connection on server %s.", o.server);
  }
  say(line);
  if (rc != -51) {
    char text[256];
    if (g_conv_client.error_get_string(rc, text, sizeof text) != 0) snprintf(text, sizeof text, "***INVALID_ERROR_CODE***");
    snprintf(line, sizeof line, "ZUL Code (%d): %s.", rc, text);
    say(line);
    return;
  }
  snprintf(line, sizeof line, "Extended DBMS error code: %d", err.native);
  say(line);
  say(err.msg);
  say(err.ext_msg);
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments and file names stay in the code page of the terminal here; the
  // code-page library only needs to know it.
  const char* home = getenv("ZULHOME");
  if (getenv("CODEPGHOME") == nullptr && home != nullptr) {
    char path[1024];
    snprintf(path, sizeof path, "%s/locale/codepage", home);
    setenv("CODEPGHOME", path, 1);
  }
  featinitC();
  setcpgC("OEM");
  setlocale(LC_CTYPE, "");
  cassenC(1);

  static Conv_Options opts;
  int rc = Conv_ParseOptions(0, argc, argv, &opts);
  if (rc == 2) {
    Conv_FreeOptions(&opts);
    return 1;
  }
  if (rc == 1) {
    int user_required = opts.user_optional ? 0 : 1;
    if (opts.server[0] == '\0') Conv_DefaultServer(opts.server, sizeof opts.server);
    if (opts.help || argc < 2) {
      Conv_PrintHelp(opts.help, user_required);
    } else {
      Conv_PrintUsage(argc, argv, user_required);
    }
    Conv_FreeOptions(&opts);
    return 1;
  }

  ConvInstanceStatus status{};
  g_conv_client.instance_status(opts.server, opts.instance, &status);
  g_conv_client.print_banner(stdout, status.release, "Table Loading");

  static EXTENDED_ERROR err;
  void* connection = nullptr;
  rc = g_conv_client.connection_create(opts.server, opts.instance, opts.database, opts.user, opts.password, &err,
                                       &connection);
  if (rc != 0) {
    report_connection_failure(opts, rc, err);
    Conv_FreeOptions(&opts);
    return 1;
  }

  if (opts.input_type < TBL_TYPE_DBASE || opts.input_type > TBL_TYPE_ZUL) {
    char line[128];
    snprintf(line, sizeof line, "Cannot take %s type as input table.", "UNKNOWN");
    say(line);
  } else {
    // The copy of records is not part of this build: a connection cannot be
    // made without the client library, so this point is not reached.
    say("The table conversion is not available in this build.");
    g_conv_client.connection_free(connection);
    Conv_FreeOptions(&opts);
    return 1;
  }
  g_conv_client.connection_free(connection);
  Conv_FreeOptions(&opts);
  return 0;
}
