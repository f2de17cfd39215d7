// zul_install.cpp -- zul-install: makes the database of an instance ready to
// serve. Opens it as the administrator ZUL and installs what is missing, in
// this order:
//   1. the procedure library and its bind file under $ZULHOME/lib (copied
//      from the lib directory beside this program's bin directory, and
//      replaced when the build's copy differs, so the package always matches
//      the library that is loaded);
//   2. the system tables of schema ZUL and the release record
//      (DB_instance_system_tables_create, which skips every table present);
//   3. the stored procedures and the package (DB_instance_stored_procedures_
//      create), only when the start-up check of the servers fails; the same
//      check then has to pass, the library's release included;
//   4. the dbtune table, only when it is missing: created and loaded from
//      $ZULHOME/etc/dbtune.zul, or with the built-in rows when there is no
//      such file (the load inserts through the stored procedures of step 3).
// A second run finds everything in place and changes nothing.
//
//   zul-install            ZULHOME must name the instance home.
// The administrator's password comes from $ZUL_ADMIN_PASSWORD, else from the
// first line of standard input (asked for without echo on a terminal).
// Exit status: 0 the instance is ready; 1 an installation step failed; 2 the
// home, the files or the password are missing; 3 the database refused the
// administrator or cannot be reached.
// Relies on the server library's installation calls (zul_db_install.h), the
// dbtune calls (zul_dbtune.h) and the instance calls (zul_db.h).
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "zul_db.h"
#include "zul_db_install.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;

// Files read whole to compare them; a library far beyond this is not ours.
constexpr std::streamoff kMaxLibFile = 256L * 1024 * 1024;

void print_xerr(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  EXTENDED_ERROR e = DB_instance_get_xerr(instance);
  if (e.code == 0 && e.msg[0] == '\0') return;
  fprintf(stderr, "zul-install: database error %d (native %d): %s %s\n", (int)e.code, (int)e.native, e.msg,
          e.ext_msg);
}

// The whole content of path, or false when it cannot be read.
bool read_file(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff len = in.tellg();
  if (len < 0 || len > kMaxLibFile) return false;
  in.seekg(0, std::ios::beg);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes data to path through a temporary file renamed into place, so a
// server loading the library never sees it half-written.
bool write_file(const std::string& path, const std::string& data, mode_t mode) {
  std::string tmp = path + ".new";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), (std::streamsize)data.size());
    if (!out) return false;
  }
  if (chmod(tmp.c_str(), mode) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

// The build's lib directory: ../lib from the directory of this program.
std::string build_lib_dir() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  std::string dir = self;
  size_t slash = dir.rfind('/');
  if (slash == std::string::npos) return "";
  dir.resize(slash);
  slash = dir.rfind('/');
  if (slash == std::string::npos) return "";
  return dir.substr(0, slash) + "/lib";
}

// Step 1. Places name in home/lib from the build's lib directory. 0, or an
// exit status.
int place_lib_file(const std::string& build_lib, const std::string& home_lib, const char* name,
                   mode_t mode) {
  std::string target = home_lib + "/" + name;
  std::string source = build_lib.empty() ? "" : build_lib + "/" + name;
  std::string have, want;
  bool has_target = read_file(target, &have);
  if (source.empty() || !read_file(source, &want)) {
    if (has_target) {
      printf("%s: kept in %s (no build copy beside this program)\n", name, home_lib.c_str());
      return 0;
    }
    fprintf(stderr, "zul-install: %s not found in %s nor in %s\n", name,
            build_lib.empty() ? "(unknown build directory)" : build_lib.c_str(), home_lib.c_str());
    return kExitUsage;
  }
  if (has_target && have == want) {
    printf("%s: present\n", name);
    return 0;
  }
  if (!write_file(target, want, mode)) {
    fprintf(stderr, "zul-install: cannot write %s: %s\n", target.c_str(), strerror(errno));
    return kExitUsage;
  }
  printf("%s: %s from %s\n", name, has_target ? "replaced" : "copied", build_lib.c_str());
  return 0;
}

// Reads the administrator's password. False with a message when there is
// none or it is too long.
bool read_password(std::string* pw) {
  const char* env = getenv("ZUL_ADMIN_PASSWORD");
  if (env != nullptr && *env != '\0') {
    if (strlen(env) >= SE_DBA_PASSWORD_LEN) {
      fprintf(stderr, "zul-install: ZUL_ADMIN_PASSWORD is longer than %d characters\n",
              SE_DBA_PASSWORD_LEN - 1);
      return false;
    }
    *pw = env;
    return true;
  }
  bool tty = isatty(STDIN_FILENO) != 0;
  termios saved{};
  if (tty && tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios quiet = saved;
    quiet.c_lflag &= ~(tcflag_t)ECHO;
    fprintf(stderr, "password of the database administrator ZUL: ");
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  } else {
    tty = false;
  }
  char line[SE_DBA_PASSWORD_LEN + 2];
  bool got = fgets(line, sizeof line, stdin) != nullptr;
  if (tty) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    fputc('\n', stderr);
  }
  if (!got) {
    fprintf(stderr, "zul-install: no password: set ZUL_ADMIN_PASSWORD or give it on standard input\n");
    return false;
  }
  size_t len = strcspn(line, "\r\n");
  if (line[len] == '\0' && len >= SE_DBA_PASSWORD_LEN) {
    fprintf(stderr, "zul-install: the password is longer than %d characters\n", SE_DBA_PASSWORD_LEN - 1);
    return false;
  }
  line[len] = '\0';
  *pw = line;
  memset(line, 0, sizeof line);
  return true;
}

// Closes the instance on every path out of main.
struct InstanceGuard {
  DB_INSTANCE* in = nullptr;
  ~InstanceGuard() { DB_instance_close(in); }
};

// Step 2. 0, or an exit status.
int install_system_tables(DB_INSTANCE* in) {
  std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
  // the storage clauses of the data dictionary, when the dbtune table or
  // file names any; without them the tables get the database's defaults
  (void)DB_read_system_tab_storage_config(in, "DATA_DICTIONARY", DBTUNE_FILE_NAME, storage.get());
  DB_instance_clear_xerr(in);
  int32_t status = DB_instance_system_tables_create(in, storage.get());
  if (status != 0) {
    fprintf(stderr, "zul-install: installing the system tables failed (%d)\n", (int)status);
    print_xerr(in);
    return kExitFailed;
  }
  printf("system tables: ready\n");
  return 0;
}

// Step 3. 0, or an exit status.
int install_stored_procedures(DB_INSTANCE* in) {
  DB_instance_clear_xerr(in);
  int32_t status = DB_instance_stored_procedures_exists(in);
  if (status == 0) {
    printf("stored procedures: present (%d, library release checked)\n", SP_PROCEDURE_COUNT);
    return 0;
  }
  DB_instance_clear_xerr(in);
  status = DB_instance_stored_procedures_create(in);
  if (status != 0) {
    fprintf(stderr, "zul-install: installing the stored procedures failed (%d)\n", (int)status);
    print_xerr(in);
    return kExitFailed;
  }
  DB_instance_clear_xerr(in);
  status = DB_instance_stored_procedures_exists(in);
  if (status != 0) {
    fprintf(stderr,
            "zul-install: the stored procedures were installed but the check fails (%d): the "
            "procedure library is missing, cannot be loaded or is older than release %d\n",
            (int)status, SP_MIN_LIBRARY_RELEASE);
    print_xerr(in);
    return kExitFailed;
  }
  printf("stored procedures: installed (%d) and package bound\n", SP_PROCEDURE_COUNT);
  return 0;
}

// A dbtune table whose load failed is dropped: left empty, the next run
// would take it as present.
void drop_dbtune_table(DB_INSTANCE* in) {
  char name[SE_DB_QUALIFIED_LEN];
  db_make_dbtune_table_name(in, name);
  std::string sql = std::string("DROP TABLE ") + name;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &stmt) != SQL_SUCCESS) return;
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLEndTran(SQL_HANDLE_DBC, in->hdbc, rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? SQL_COMMIT : SQL_ROLLBACK);
}

// Step 4. 0, or an exit status.
int install_dbtune(DB_INSTANCE* in) {
  DB_instance_clear_xerr(in);
  int32_t status = DB_instance_dbtune_table_exists(in);
  if (status == 0) {
    printf("dbtune table: present\n");
    return 0;
  }
  if (status != -37) {
    fprintf(stderr, "zul-install: the dbtune table cannot be checked (%d)\n", (int)status);
    print_xerr(in);
    return kExitFailed;
  }
  // created and loaded directly rather than through the import, whose
  // truncation call needs the table to exist
  std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
  (void)DB_read_system_tab_storage_config(in, "DATA_DICTIONARY", DBTUNE_FILE_NAME, storage.get());
  DB_instance_clear_xerr(in);
  status = DB_instance_dbtune_table_create(in, DBTUNE_FILE_NAME, storage.get());
  if (status != 0) {
    fprintf(stderr, "zul-install: creating the dbtune table failed (%d)\n", (int)status);
    print_xerr(in);
    return kExitFailed;
  }
  DBTUNE_ERROR_ROW error_row;
  memset(&error_row, 0, sizeof error_row);
  char path[PATH_MAX];
  bool has_file = dbtune_file_path(DBTUNE_FILE_NAME, path, sizeof path) == 0 && access(path, R_OK) == 0;
  status = DB_instance_load_dbtune_table(in, DBTUNE_FILE_NAME, &error_row, 0);
  // without a file the load inserts the built-in rows and still answers
  // that the file could not be read
  if (status == SE_DBTUNE_FILE_ERROR && !has_file) {
    printf("dbtune table: created with the built-in rows (no %s in $ZULHOME/etc)\n", DBTUNE_FILE_NAME);
    return 0;
  }
  if (status != 0) {
    drop_dbtune_table(in);
    fprintf(stderr, "zul-install: loading the dbtune table failed (%d)", (int)status);
    if (error_row.keyword[0] != '\0')
      fprintf(stderr, " at %s %s", error_row.keyword, error_row.parameter_name);
    fputc('\n', stderr);
    print_xerr(in);
    return kExitFailed;
  }
  printf("dbtune table: created from %s\n", path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    fprintf(stderr,
            "usage: %s\n"
            "  installs the system tables, stored procedures and dbtune table of the\n"
            "  instance under $ZULHOME; the administrator's password comes from\n"
            "  $ZUL_ADMIN_PASSWORD or standard input\n",
            argv[0]);
    return strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0 ? 0 : kExitUsage;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const char* home_env = getenv("ZULHOME");
  struct stat st;
  if (home_env == nullptr || *home_env == '\0' || stat(home_env, &st) != 0 || !S_ISDIR(st.st_mode)) {
    fprintf(stderr, "zul-install: ZULHOME must name the instance home directory\n");
    return kExitUsage;
  }
  std::string home = home_env;
  std::string home_lib = home + "/lib";
  if (mkdir(home_lib.c_str(), 0755) != 0 && errno != EEXIST) {
    fprintf(stderr, "zul-install: mkdir %s: %s\n", home_lib.c_str(), strerror(errno));
    return kExitUsage;
  }
  std::string build_lib = build_lib_dir();
  int rc = place_lib_file(build_lib, home_lib, "lib" SP_LIBRARY_NAME ".so", 0755);
  if (rc == 0) rc = place_lib_file(build_lib, home_lib, SP_BIND_FILE, 0644);
  if (rc != 0) return rc;

  std::string pw;
  if (!read_password(&pw)) return kExitUsage;
  InstanceGuard g;
  int32_t status = DB_instance_open_as_dba(pw.c_str(), nullptr, &g.in);
  std::fill(pw.begin(), pw.end(), '\0');
  if (status != 0) {
    if (status == SE_DBA_PASSWORD_MISMATCH)
      fprintf(stderr, "zul-install: the database refused the administrator ZUL's password\n");
    else
      fprintf(stderr, "zul-install: cannot open the instance's database as ZUL (%d)\n", (int)status);
    print_xerr(g.in);
    return kExitRefused;
  }

  rc = install_system_tables(g.in);
  if (rc == 0) rc = install_stored_procedures(g.in);
  if (rc == 0) rc = install_dbtune(g.in);
  if (rc != 0) return rc;
  DB_trans_def_commit(g.in);
  status = DB_instance_close(g.in);
  g.in = nullptr;
  if (status != 0) {
    fprintf(stderr, "zul-install: closing the database failed (%d)\n", (int)status);
    return kExitFailed;
  }
  printf("instance ready: %s\n", home.c_str());
  return 0;
}
