// db2lite_admin.cpp -- db2lite-admin, the administration tool of db2lite:
// creates a database, registers users and their authorities, and enables
// the spatial catalogue.
//
//   db2lite-admin create DB ADMIN_PASSWORD     new database; ZUL is its administrator
//   db2lite-admin adduser DB USER PASSWORD [--dba]
//   db2lite-admin grant DB GRANTEE AUTHORITY    (DBADM, CONNECT, CREATETAB, BINDADD,
//   db2lite-admin revoke DB GRANTEE AUTHORITY    CREATE_NOT_FENCED, IMPLICIT_SCHEMA)
//   db2lite-admin enable-spatial DB
//
// A password given as "-" is read from the first line of standard input, so
// that it need not appear in the process list. The database file is found
// as the CLI finds it (DB2LITE_DATA, else $ZULHOME/data). Exit status 0 on
// success, 1 on a failure (with a message on standard error), 2 on bad usage.
#include "dl_conn.h"
#include "dl_engine.h"

#include <stdio.h>
#include <string.h>

#include <iostream>
#include <string>

namespace {

int usage() {
  fprintf(stderr,
          "usage: db2lite-admin create DB ADMIN_PASSWORD\n"
          "       db2lite-admin adduser DB USER PASSWORD [--dba]\n"
          "       db2lite-admin grant|revoke DB GRANTEE AUTHORITY\n"
          "       db2lite-admin enable-spatial DB\n"
          "a password of \"-\" is read from standard input\n");
  return 2;
}

std::string password_arg(const char* a) {
  if (strcmp(a, "-") != 0) return a;
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

struct Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close(db); }
  // Opens the database file; create makes it when missing.
  bool open(const char* name, bool create) {
    std::string path;
    if (!dl::dl_database_path(name, &path)) {
      fprintf(stderr, "db2lite-admin: %s: not a database name, or no data directory (DB2LITE_DATA, ZULHOME)\n", name);
      return false;
    }
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
      fprintf(stderr, "db2lite-admin: open %s: %s\n", path.c_str(), sqlite3_errmsg(db));
      return false;
    }
    sqlite3_busy_timeout(db, 30000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    return true;
  }
};

int fail(const dl::DlDiag& d) {
  fprintf(stderr, "db2lite-admin: %s\n", d.text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string cmd = argv[1];
  dl::DlDiag d;
  Db db;
  if (cmd == "create" && argc == 4) {
    std::string path;
    if (dl::dl_database_path(argv[2], &path)) {
      if (FILE* f = fopen(path.c_str(), "rb")) {
        fclose(f);
        fprintf(stderr, "db2lite-admin: database %s already exists\n", argv[2]);
        return 1;
      }
    }
    if (!db.open(argv[2], true)) return 1;
    if (dl::dl_catalog_init(db.db, &d) != 0) return fail(d);
    if (dl::dl_user_add(db.db, "ZUL", password_arg(argv[3]).c_str(), true, &d) != 0) return fail(d);
    return 0;
  }
  if (cmd == "adduser" && (argc == 5 || (argc == 6 && strcmp(argv[5], "--dba") == 0))) {
    if (!db.open(argv[2], false)) return 1;
    if (dl::dl_catalog_init(db.db, &d) != 0) return fail(d);
    if (dl::dl_user_add(db.db, argv[3], password_arg(argv[4]).c_str(), argc == 6, &d) != 0) return fail(d);
    return 0;
  }
  if ((cmd == "grant" || cmd == "revoke") && argc == 5) {
    if (!db.open(argv[2], false)) return 1;
    if (dl::dl_authority_set(db.db, argv[3], argv[4], cmd == "grant", &d) != 0) return fail(d);
    return 0;
  }
  if (cmd == "enable-spatial" && argc == 3) {
    if (!db.open(argv[2], false)) return 1;
    if (dl::dl_catalog_enable_spatial(db.db, &d) != 0) return fail(d);
    return 0;
  }
  return usage();
}
