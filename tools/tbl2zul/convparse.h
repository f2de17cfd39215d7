// convparse.h -- the command line of tbl2zul: the options record, its
// parser and the help and usage texts.
#ifndef TBL2ZUL_CONVPARSE_H
#define TBL2ZUL_CONVPARSE_H

#include "convfunc.h"
#include "zulclient.h"

#define CONV_MAX_ARGS 28   // arguments, the program name included

enum { CONV_ATTR_UNSET = -1, CONV_ATTR_ALL = 3, CONV_ATTR_FILE = 4 };

struct Conv_Options {
  int32_t     operation;          // 1 create, 2 init, 3 append; 0 until set
  char        input_name[256];    // -f
  char        input_ext[16];      // text after the last "." of -f
  int32_t     input_type;         // 1 dBASE, 2 INFO, 3 ZUL; 0 until set
  char        output_name[256];   // -t
  char        output_ext[16];     // stays empty
  int32_t     output_type;        // always 3
  char        keyword[32];        // -k
  int32_t     attr_mode;          // -1 unset, 3 all, 4 file
  ColSpecList colspecs;           // from -a file=
  char        server[64];         // -s
  char        user[32];           // -u
  char        password[32];       // -p
  char        instance[64];       // -i
  SE_INSTANCE_CONFIG config;      // autocommit and DBMS kind are read
  char        database[32];       // -D
  int32_t     instance_parsed;    // -i was split
  int32_t     connection_kind;
  int32_t     user_optional;      // no user name is needed
  char*       where;              // -w, owned
  int32_t     commit_rate;        // -c; -1 unset
  int32_t     buffered;           // 1; -I sets 0
  int32_t     help;
  int32_t     verbose;
};

// Returns 0 ready, 1 print help or usage (errors already printed), 2 out of
// memory. Direction 0 (load into the database) is the only one.
int  Conv_ParseOptions(int direction, int argc, char** argv, Conv_Options* opts);
void Conv_FreeOptions(Conv_Options* opts);
void Conv_PrintHelp(int help, int user_required);
void Conv_PrintUsage(int argc, char** argv, int user_required);
// The server when none is given: $ZULSERVER, else the host name, else
// "localhost".
void Conv_DefaultServer(char* server, size_t cap);

#endif
