// convparse.cpp -- the command line of tbl2zul: Conv_ParseOptions, the
// defaults from the environment and the instance configuration, the
// password prompt, and the help and usage texts.
//
// Relies on the option parser of the server library, the client calls of
// zulclient.h and the column specification reader of convfunc. Every value
// is copied into its fixed field only when it fits; a longer one is
// refused with a message, never cut.
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include "convparse.h"
#include "zultables.h"

// The option parser's source is the server library's own, compiled here
// with internal linkage: tbl2zul must split its command line exactly as the
// server's programs do, and its copy must never stand in for the library's
// (or the C library's) in a program that links both.
namespace {
namespace shared_opt {
#include "../../server/svrsys/getopt.cpp"
}  // namespace shared_opt
}  // namespace

namespace {

// Copies an option value into its field; refuses one that does not fit.
bool take(char* field, size_t cap, const char* value, char letter, bool* error) {
  if (value == nullptr) value = "";
  size_t len = strlen(value);
  if (len >= cap) {
    printf("Error, the -%c value is too long (at most %d characters).\n", letter, static_cast<int>(cap - 1));
    *error = true;
    return false;
  }
  memcpy(field, value, len + 1);
  return true;
}

bool is_prefix_of(const char* value, const char* word) {
  size_t len = strlen(value);
  return len >= 1 && len <= strlen(word) && strncasecmp(value, word, len) == 0;
}

void print_lines(const char* const* lines, size_t n) {
  for (size_t i = 0; i < n; ++i) printf("%s\n", lines[i]);
}

void print_block(int op, int user_required) {
  const char* user = user_required ? "                   -u <DB_User_name> [-p <DB_User_password>] [-v]"
                                   : "                  [-u <DB_User_name>] [-p <DB_User_password>] [-v]";
  const char* attr = "                  [-a {all | file=<file_name>}] [-c <commit_interval>] ";
  const char* inst = "                  [-i <service>] [-s <server_name>] [-D <database>] ";
  if (op == CONV_OP_CREATE) {
    const char* lines[] = {
        "tbl2zul -o create  -t <table>  -f <file_name>  -T {dBASE | INFO | ZUL} [-I]", attr,
        "                  [-k <config_keyword>] [-w <\"where_clause\">] ", inst, user};
    print_lines(lines, 5);
    return;
  }
  const char* first = op == CONV_OP_APPEND
                          ? "tbl2zul -o append  -t <table>  -f <file_name>  -T {dBASE | INFO | ZUL} [-I]"
                          : "tbl2zul -o init    -t <table>  -f <file_name>  -T {dBASE | INFO | ZUL} [-I]";
  const char* lines[] = {first, attr, inst, user, "                  [-w <\"where_clause\">] "};
  print_lines(lines, 5);
}

void banner() {
  ConvInstanceStatus st{};
  g_conv_client.instance_status("", "", &st);
  g_conv_client.print_banner(stdout, st.release, "Table Loading");
}

}  // namespace

void Conv_DefaultServer(char* server, size_t cap) {
  if (g_conv_client.copy_env_var("ZULSERVER", server, cap) == 0 && server[0] != '\0') return;
  char host[65] = {0};
  if (gethostname(host, 64) == 0 && host[0] != '\0' && strlen(host) < cap) {
    memcpy(server, host, strlen(host) + 1);
    return;
  }
  printf("\tError getting local Hostname ...\n");
  snprintf(server, cap, "localhost");
}

void Conv_FreeOptions(Conv_Options* opts) {
  if (opts == nullptr) return;
  free(opts->where);
  opts->where = nullptr;
  ColSpec_Free(&opts->colspecs);
}

int Conv_ParseOptions(int direction, int argc, char** argv, Conv_Options* o) {
  memset(o, 0, sizeof *o);
  o->output_type = TBL_TYPE_ZUL;
  o->attr_mode = CONV_ATTR_UNSET;
  o->commit_rate = -1;
  o->buffered = 1;
  if (argc < 2 || argc == 3) return 1;
  if (argc > CONV_MAX_ARGS) {
    printf("Error, too many arguments. \n");
    return 1;
  }
  bool error = false;
  shared_opt::zul::getopt_reset();
  int c;
  while ((c = shared_opt::zul::getopt(argc, argv, "ha:c:D:f:i:k:o:p:s:t:T:u:w:HhIv?")) != -1) {
    const char* v = shared_opt::zul::optarg != nullptr ? shared_opt::zul::optarg : "";
    switch (c) {
      case '?': {
        for (int i = 1; i < argc; ++i) {
          if (strchr(argv[i], '?') != nullptr) {
            o->help = 1;
            return 1;
          }
        }
        error = true;
        break;
      }
      case 'h':
      case 'H':
        o->help = 1;
        return 1;
      case 'a':
        if (is_prefix_of(v, "all")) {
          o->attr_mode = CONV_ATTR_ALL;
        } else if (strlen(v) >= 6 && strncasecmp(v, "file=", 5) == 0) {
          o->attr_mode = CONV_ATTR_FILE;
          ColSpec_Free(&o->colspecs);
          int rc = ColSpec_ReadFile(o->output_type, v + 5, &o->colspecs);
          if (rc != TBL_Success) {
            char ctx[512];
            snprintf(ctx, sizeof ctx, "\nError, reading column specification file \"%.400s\"", v + 5);
            Tbl_ReportError(rc, ctx);
            error = true;
          }
        } else {
          printf("Error, Invalid -a option \"%s\"\n", v);
          error = true;
        }
        break;
      case 'c': {
        int n = 0;
        char extra;
        if (sscanf(v, "%d%c", &n, &extra) != 1 || n < 0) {
          printf("Error, Invalid -c option value: \"%s\"\n", v);
          error = true;
        } else {
          o->commit_rate = n;
        }
        break;
      }
      case 'D': take(o->database, sizeof o->database, v, 'D', &error); break;
      case 'f':
        if (take(o->input_name, sizeof o->input_name, v, 'f', &error)) {
          const char* dot = strrchr(v, '.');
          const char* ext = dot != nullptr ? dot + 1 : "";
          if (!take(o->input_ext, sizeof o->input_ext, ext, 'f', &error)) break;
          if (strncasecmp(ext, "DBF", 3) == 0) o->input_type = TBL_TYPE_DBASE;
        }
        break;
      case 'i': take(o->instance, sizeof o->instance, v, 'i', &error); break;
      case 'I': o->buffered = 0; break;
      case 'k': take(o->keyword, sizeof o->keyword, v, 'k', &error); break;
      case 'o':
        if (is_prefix_of(v, "append")) {
          o->operation = CONV_OP_APPEND;
        } else if (is_prefix_of(v, "init")) {
          o->operation = CONV_OP_INIT;
        } else if (is_prefix_of(v, "create")) {
          o->operation = CONV_OP_CREATE;
        } else {
          printf("Error, Invalid -o operation \"%s\"\n", v);
          error = true;
        }
        break;
      case 'p': take(o->password, sizeof o->password, v, 'p', &error); break;
      case 's': take(o->server, sizeof o->server, v, 's', &error); break;
      case 't': take(o->output_name, sizeof o->output_name, v, 't', &error); break;
      case 'T':
        if (strncasecmp(v, "dBASE", 5) == 0 || strncasecmp(v, "DBF", 3) == 0) {
          o->input_type = TBL_TYPE_DBASE;
        } else if (strcasecmp(v, "INFO") == 0) {
          o->input_type = TBL_TYPE_INFO;
        } else if (strcasecmp(v, "ZUL") == 0) {
          o->input_type = TBL_TYPE_ZUL;
        } else {
          printf("Error, Invalid (-T) file type \"%s\".\n", v);
          error = true;
        }
        break;
      case 'u': take(o->user, sizeof o->user, v, 'u', &error); break;
      case 'v': o->verbose = 1; break;
      case 'w': {
        free(o->where);
        o->where = strdup(v);
        if (o->where == nullptr) {
          informC("Unable to allocate memory for parsing WhereClause.", -1);
          return 2;
        }
        size_t len = strlen(v);
        if (len >= 1 && v[0] == '\'' && (len < 2 || v[len - 1] != '\'')) {
          fprintf(stderr, "WARNING: use double quotes for where_clause string.\n");
          fprintf(stderr, "Last option parsed was \"-w %s\"\n", v);
          error = true;
        }
        break;
      }
      default:
        error = true;
        break;
    }
  }
  if (argc == 2) return 1;

  if (o->output_name[0] == '\0') {
    printf("Error, the out_table name (-t) must ALWAYS be specified!\n");
    error = true;
  }
  ConvUrlParts url{};
  bool have_url = false;
  if (o->instance[0] != '\0') {
    if (g_conv_client.parse_url_string(o->instance, &url) != 0) {
      printf("\tError, Not able to parse instance string\n");
      o->user_optional = 1;
      error = true;
    } else {
      have_url = true;
      o->instance_parsed = 1;
      o->connection_kind = url.kind;
      snprintf(o->instance, sizeof o->instance, "%s", url.instance);
      if (url.kind == 1 && (strcasecmp(url.dbms, "JET") == 0 || strcasecmp(url.dbms, "ACCESS") == 0 ||
                            strcasecmp(url.dbms, "SQLSERVER") == 0))
        o->user_optional = 1;
    }
  } else {
    g_conv_client.copy_env_var("ZULINSTANCE", o->instance, sizeof o->instance);
  }
  if (o->server[0] == '\0') {
    if (have_url && url.server[0] != '\0') {
      snprintf(o->server, sizeof o->server, "%s", url.server);
    } else {
      Conv_DefaultServer(o->server, sizeof o->server);
    }
  }
  if (!(have_url && url.dbms[0] != '\0') && o->connection_kind == 0 && o->server[0] != '\0') {
    int rc = g_conv_client.instance_configuration(o->server, o->instance, &o->config);
    if (rc != 0) {
      printf("\tError getting instance configuration for host \"%s\"  (error %d) ... ", o->server, rc);
      o->user_optional = 1;
      error = true;
    } else {
      if (o->config.dbms_kind == 5 || o->config.dbms_kind == 10) o->user_optional = 1;
      if (o->commit_rate == 0) o->commit_rate = o->config.autocommit;
    }
  }
  if (o->user[0] == '\0') {
    if (have_url && url.env_count > 0) {
      g_conv_client.copy_env_var_from_list(url.env_count, url.env, "ZULUSER", o->user, sizeof o->user);
    } else {
      g_conv_client.copy_env_var("ZULUSER", o->user, sizeof o->user);
    }
    if (o->user[0] == '\0' && !o->user_optional) {
      printf("\tError, User name must be specified!\n");
      error = true;
    }
  }
  if (o->attr_mode == CONV_ATTR_UNSET) o->attr_mode = CONV_ATTR_ALL;
  if (o->operation == 0) o->operation = CONV_OP_APPEND;
  if (o->input_name[0] == '\0') {
    printf("Error, input file name (-f) must be specified!\n");
    error = true;
  }
  if (o->input_type == 0) {
    printf("Error, input file type (-T) must be specified!\n");
    error = true;
  }
  if (o->keyword[0] != '\0' && (o->operation == CONV_OP_INIT || o->operation == CONV_OP_APPEND)) {
    char fmt[128];
    snprintf(fmt, sizeof fmt, "Error, The %%s option is not allowed for %s operation.\n",
             o->operation == CONV_OP_INIT ? "INIT" : "APPEND");
    printf(fmt, "-k");
    error = true;
  }
  if (o->where != nullptr) {
    char fmt[128];
    snprintf(fmt, sizeof fmt, "%s", "Error, The %s option is not allowed for the tbl2zul command.\n");
    printf(fmt, "-w");
    error = true;
  }
  if (error) printf("\n");
  if (error || o->password[0] != '\0') {
    if (have_url) g_conv_client.free_url_parts(&url);
    return error ? 1 : 0;
  }

  if (have_url && url.env_count > 0) {
    g_conv_client.copy_env_var_from_list(url.env_count, url.env, "ZULPASSWORD", o->password, sizeof o->password);
  } else {
    g_conv_client.copy_env_var("ZULPASSWORD", o->password, sizeof o->password);
  }
  if (have_url) g_conv_client.free_url_parts(&url);
  bool need = o->user[0] != '\0' || !o->user_optional;
  if (o->password[0] == '\0' && need) {
    printf("Enter DBMS User Password: ");
    fflush(stdout);
    g_conv_client.get_password(o->password, sizeof o->password);
    printf("\n");
    if (o->password[0] == '\0') {
      printf("\tError: Database user password must be specified.\n");
      error = true;
    }
  }
  return error ? 1 : 0;
}

void Conv_PrintHelp(int help, int user_required) {
  banner();
  printf("tbl2zul -h \n\n\n");
  print_block(CONV_OP_APPEND, user_required);
  printf("\n\n");
  print_block(CONV_OP_INIT, user_required);
  printf("\n\n");
  print_block(CONV_OP_CREATE, user_required);
  if (!help) return;
  static const char* const kOptions[] = {
      "\nOperation: ",
      "        append   Add these records to any existing records already in the ",
      "                 RDBMS table (The default). ",
      "        create   Creates a new RDBMS table and imports records into the new ",
      "                 table. An error is returned if the table already exists. ",
      "        init     Deletes all of the records of an existing RDBMS table before",
      "                 importing new records. ",
      "Options: ",
      "        -a       Attribute mode: ",
      "                 all  --  Load all attribute columns from records. If RDBMS ",
      "                    table exists, then incoming schema must be union compatible",
      "                    with existing table if the APPEND or INIT option is used.",
      "                 file=<file_name>  --  File containing lines of the form: ",
      "                    <fr_colName> [to_colName] [type] [size] [nDecs] [NOT_NULL]",
      "                    The fr_colName selects the column to be output; ",
      "                    the to_colName is the new name to be specified.",
      "        -c       Commit rate (default: AUTOCOMMIT from $ZULHOME/etc/orvant.defs)",
      "        -D       Database name ",
      "        -f       Input table name, table type is define by -T option ",
      "        -h       Print description of options ",
      "        -i       Mardel instance on which to operate ",
      "        -I       Disable buffered Inserts (default: ON) ",
      "        -k       Configuration keyword (default: DEFAULTS) ",
      "        -o       Operation ",
      "        -p       DB User password ",
      "        -s       Mardel server hostname (default: localhost) ",
      "        -t       Output ZUL table name. ",
      "        -T       Input table type. Either dBASE, INFO or ZUL. ",
      "        -u       DB User name ",
      "        -v       Verbose diagnostic output ",
      "        -w *     SQL Where Clause ",
      "Note:            ",
      "         *       These options are to be used when the input table type ",
      "                 is ZUL, else ignore.",
  };
  print_lines(kOptions, sizeof kOptions / sizeof kOptions[0]);
}

void Conv_PrintUsage(int argc, char** argv, int user_required) {
  banner();
  static const struct {
    const char* word;
    int op;
  } kOps[] = {{"append", CONV_OP_APPEND}, {"init", CONV_OP_INIT}, {"create", CONV_OP_CREATE}};
  bool any = false;
  for (const auto& k : kOps) {
    bool found = false;
    for (int i = 1; i < argc && !found; ++i) found = strstr(argv[i], k.word) != nullptr;
    if (found) {
      print_block(k.op, user_required);
      printf("\n\n");
      any = true;
    }
  }
  if (!any) printf("tbl2zul  -o { append | init | create }\n\n");
  printf("tbl2zul -h \n\n");
  printf("tbl2zul -? \n\n");
}
