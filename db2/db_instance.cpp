// db_instance.cpp -- the DB_INSTANCE: open (as a user or as the database
// administrator), close, the last error and the password and user checks.
//
// Life of an instance:
//   allocated --(db_connect)--> connected --(steps 6 to 10)--> open
//   any state --(DB_instance_close)--> released
// A failed open past the allocation leaves the instance behind the caller's
// pointer, with the DBMS error in its last error; DB_instance_close releases
// it whatever state it reached.
//
// The administrative database is named by ZUL_DATABASE, else "zul"; the
// instance connects only to it. Relies on db_connect.cpp for the connection
// and on db_trans.cpp for the auto-commit interval.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_version.h"

namespace {

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

const char* admin_database_name() {
  const char* env = getenv("ZUL_DATABASE");
  return env != nullptr ? env : SE_ADMIN_DATABASE;
}

}  // namespace

int32_t DB_instance_open(const char* connect, const char* user, const char* password,
                         const DB_INSTANCE_PARAMS* params, void* unused, DB_INSTANCE** out) {
  (void)unused;
  if (out == nullptr) return SE_INVALID_POINTER;
  // 1. the zero-filled instance
  DB_INSTANCE* instance = static_cast<DB_INSTANCE*>(calloc(1, sizeof(DB_INSTANCE)));
  *out = instance;
  if (instance == nullptr) return SE_OUT_OF_DBMS_MEM;
  instance->hdbc = SQL_NULL_HDBC;
  instance->henv = SQL_NULL_HENV;

  // 2. the caller's parameters
  if (params != nullptr) instance->params = *params;

  // 3. connect text: "database[;codepage]"
  std::string text = connect != nullptr ? connect : "";
  size_t semi = text.find(';');
  if (semi != std::string::npos) {
    std::string codepage = text.substr(semi + 1);
    setenv("DB2CODEPAGE", codepage.c_str(), 1);
    text.erase(semi);
  }

  // 4. only the administrative database
  const char* admin = admin_database_name();
  if (!text.empty() && text != "null=database" && strcasecmp(text.c_str(), admin) != 0)
    return SE_NOT_ADMIN_DATABASE;
  copy_text(instance->admin_database, sizeof instance->admin_database, admin);

  // 5. connect
  char database[SE_DB_NAME_LEN];
  copy_text(database, sizeof database, text.c_str());
  DB_DIAG_RECORD result;
  db_connect(&result, instance, user, password, database, sizeof database);
  if (result.rc != SQL_SUCCESS && result.rc != SQL_SUCCESS_WITH_INFO) {
    if (result.rc == SE_NOT_ADMIN_DATABASE) return SE_NOT_ADMIN_DATABASE;
    if (strcmp(result.sqlstate, "08004") == 0) return SE_LOGIN_NOT_ALLOWED;
    if (strcmp(result.sqlstate, "S1501") == 0 || strcmp(result.sqlstate, "08001") == 0)
      return SE_DB_NOT_REACHABLE;
    fprintf(stderr, "DB_open_instance() db_connect error: %d\n", (int)result.rc);
    return SE_DB_IO_ERROR;
  }

  // 6. the current user, upper-cased in the connection's code page
  copy_text(instance->current_user, sizeof instance->current_user, user != nullptr ? user : "");
  db_upcase_identifier(instance, instance->current_user, (int32_t)sizeof instance->current_user);

  // 7. the database name as DB2 reports it
  char name[SE_DB_NAME_LEN] = "";
  SQLSMALLINT len = 0;
  if (SQLGetInfo(instance->hdbc, SQL_DATABASE_NAME, name, (SQLSMALLINT)(sizeof name - 1), &len) !=
      SQL_SUCCESS) {
    db_report_dbms_error(instance, db_get_diag_record(instance, nullptr, SE_DB_IO_ERROR));
    return SE_DB_IO_ERROR;
  }
  copy_text(instance->current_database, sizeof instance->current_database, name);

  // 8, 9. auto-commit interval and layer cache
  if (instance->params.autocommit_interval != 0) {
    int32_t status = DB_trans_set_autocommit(instance, instance->params.autocommit_interval);
    if (status != 0) return status;
  }
  if (instance->params.layer_cache_size != 0)
    db_layer_cache_create(instance, instance->params.layer_cache_size);

  // 10.
  SES_print_debug(stderr, "Instance initialized for %s . . .\n", user != nullptr ? user : "");
  return 0;
}

int32_t DB_instance_open_as_dba(const char* password, const DB_INSTANCE_PARAMS* params,
                                DB_INSTANCE** out) {
  // A password the instance cannot keep whole could not be checked later
  // without accepting every text that shares its first characters.
  if (password != nullptr && strnlen(password, SE_DBA_PASSWORD_LEN) >= SE_DBA_PASSWORD_LEN) {
    if (out != nullptr) *out = nullptr;
    return SE_DBA_PASSWORD_MISMATCH;
  }
  int32_t status = DB_instance_open(admin_database_name(), SE_ADMIN_USER, password, params,
                                    nullptr, out);
  if (status == 0) {
    DB_INSTANCE* instance = *out;
    copy_text(instance->dba_password, sizeof instance->dba_password,
              password != nullptr ? password : "");
    SES_UpperCase(instance->dba_password);
    instance->dba = 1;
    return 0;
  }
  return status == SE_LOGIN_NOT_ALLOWED ? SE_DBA_PASSWORD_MISMATCH : status;
}

int32_t DB_instance_close(DB_INSTANCE* instance) {
  if (instance == nullptr) return 0;
  SES_print_debug(stderr, "In DB_close_instance...\n");

  if (instance->lineage_rebuild != nullptr) {
    db_free_stmt(&instance->lineage_rebuild->stmt);
    free(instance->lineage_rebuild->work);
    free(instance->lineage_rebuild);
    instance->lineage_rebuild = nullptr;
  }
  for (DB_CACHED_STMT& c : instance->cached) {
    if (c.prepared) db_free_stmt(&c.stmt);
    c.prepared = 0;
  }
  db_free_stmt(&instance->access_stmt);
  for (SQLHSTMT& s : instance->scans) db_free_stmt(&s);

  free(instance->param_sets);
  instance->param_sets = nullptr;
  instance->num_param_sets = 0;
  for (SQL_STRING& s : instance->sql) sql_string_free(&s);

  // the versioning module's per-connection storage and its temporary
  // state-list log file go while the connection is still there
  db_versioning_release(instance);

  DB_DIAG_RECORD result;
  db_disconnect(&result, instance);

  db_layer_cache_free(instance);
  // the administrator's password does not outlive the instance
  memset(instance->dba_password, 0, sizeof instance->dba_password);
  free(instance);
  return result.rc == 0 ? 0 : SE_DB_IO_ERROR;
}

EXTENDED_ERROR DB_instance_get_xerr(DB_INSTANCE* instance) {
  EXTENDED_ERROR e;
  if (instance != nullptr) return instance->xerr;
  memset(&e, 0, sizeof e);
  return e;
}

void DB_instance_clear_xerr(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  instance->xerr.code = 0;
  instance->xerr.native = 0;
  instance->xerr.msg[0] = '\0';
  instance->xerr.ext_msg[0] = '\0';
}

int32_t DB_instance_lock(DB_INSTANCE* instance) {
  (void)instance;
  return 0;
}

int32_t DB_instance_check_password(const char* password) {
  return password != nullptr && strchr(password, '@') != nullptr ? SE_LOGIN_NOT_ALLOWED : 0;
}

int32_t DB_instance_check_dba_password(DB_INSTANCE* instance, const char* password) {
  if (instance == nullptr || !instance->dba) return SE_DBA_NOT_OPEN;
  // a text longer than any stored password differs from it, whatever its start
  if (password != nullptr && strnlen(password, SE_DBA_PASSWORD_LEN) >= SE_DBA_PASSWORD_LEN)
    return SE_DBA_PASSWORD_MISMATCH;
  char given[SE_DBA_PASSWORD_LEN];
  copy_text(given, sizeof given, password != nullptr ? password : "");
  SES_UpperCase(given);
  bool same = strcmp(given, instance->dba_password) == 0;
  memset(given, 0, sizeof given);
  return same ? 0 : SE_DBA_PASSWORD_MISMATCH;
}

int32_t DB_instance_user_is_zul_admin(DB_INSTANCE* instance, const char* user) {
  (void)instance;
  return user != nullptr && user[0] != '\0' && strcasecmp(user, SE_ADMIN_USER) == 0 ? 1 : 0;
}

int32_t DB_instance_get_current_user(DB_INSTANCE* instance, char* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  copy_text(out, SE_DB_NAME_LEN, instance->current_user);
  return 0;
}

int32_t DB_instance_get_admin_user(DB_INSTANCE* instance, char* out) {
  (void)instance;
  if (out == nullptr) return SE_INVALID_POINTER;
  strcpy(out, SE_ADMIN_USER);
  return 0;
}

int32_t DB_instance_get_admin_database(DB_INSTANCE* instance, char* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  copy_text(out, SE_DB_NAME_LEN, instance->admin_database);
  return 0;
}
