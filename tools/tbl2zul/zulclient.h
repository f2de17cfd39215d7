// zulclient.h -- the client library calls that the command line and start-up
// of tbl2zul make, as a table of functions.
//
// The client library is not part of this build yet. g_conv_client holds our
// own stand-ins: they read the environment and the terminal, and every call
// that needs the server (instance configuration, instance status,
// connection) fails with ZULCLIENT_NO_SERVER after saying why on standard
// error. When the library arrives the table points at it; tests put fakes
// in it.
#ifndef TBL2ZUL_ZULCLIENT_H
#define TBL2ZUL_ZULCLIENT_H

#include <stddef.h>
#include <stdio.h>

#include "zul_config.h"   // SE_INSTANCE_CONFIG
#include "zul_db.h"       // EXTENDED_ERROR

#define ZULCLIENT_NO_SERVER  (-10)   // the server cannot be reached

struct ConvUrlParts {
  char   instance[64];   // instance name
  char   server[64];     // server name; "" none
  char   dbms[32];       // DBMS word; "" none
  int    env_count;      // entries of env
  char** env;            // "NAME=value" entries, owned by the parser
  int    kind;           // connection kind
};

struct ConvInstanceStatus {
  char release[32];      // release text the banner prints
};

struct ConvClient {
  int  (*parse_url_string)(const char* text, ConvUrlParts* parts);
  void (*free_url_parts)(ConvUrlParts* parts);
  int  (*copy_env_var)(const char* name, char* out, size_t cap);
  int  (*copy_env_var_from_list)(int count, char** list, const char* name, char* out, size_t cap);
  int  (*instance_configuration)(const char* server, const char* instance, SE_INSTANCE_CONFIG* config);
  int  (*get_password)(char* out, size_t cap);
  int  (*instance_status)(const char* server, const char* instance, ConvInstanceStatus* status);
  void (*print_banner)(FILE* out, const char* release, const char* title);
  int  (*connection_create)(const char* server, const char* instance, const char* database, const char* user,
                            const char* password, EXTENDED_ERROR* err, void** connection);
  int  (*error_get_string)(int code, char* text, size_t cap);
  void (*connection_free)(void* connection);
};

extern ConvClient g_conv_client;

#endif
