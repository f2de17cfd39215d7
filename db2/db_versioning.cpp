// db_versioning.cpp -- the versioning module's storage of a connection, the
// helpers its files share (diagnostics, timestamps, the procedure call with
// its message code), and the small DDL services: numbering a row-id column
// through a positioned update, and granting or revoking a table privilege.
//
// Relies on the access core (dbsql_io.h) and, for the message codes, on
// db_sp_set_message_error of the installation module.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <new>

#include "db_version_private.h"
#include "svr_services.h"
#include "zul_db_install.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"

namespace dbv {

Storage* storage(DB_INSTANCE* instance) {
  if (instance->state_list == nullptr) instance->state_list = new (std::nothrow) Storage();
  return static_cast<Storage*>(instance->state_list);
}

int32_t report(DB_INSTANCE* instance, SQLHSTMT* stmt, int32_t rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
  return SE_DB_IO_ERROR;
}

std::string sqlstate_of(SQLHSTMT stmt) {
  SQLCHAR state[6] = "";
  SQLINTEGER native = 0;
  SQLCHAR text[16];
  SQLSMALLINT len = 0;
  if (stmt == SQL_NULL_HSTMT) return "";
  if (!ok(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, text, sizeof text, &len))) return "";
  return std::string((const char*)state);
}

uint32_t timestamp_seconds(const SQL_TIMESTAMP_STRUCT& ts) {
  struct tm t;
  memset(&t, 0, sizeof t);
  t.tm_year = ts.year - 1900;
  t.tm_mon = ts.month - 1;
  t.tm_mday = ts.day;
  t.tm_hour = ts.hour;
  t.tm_min = ts.minute;
  t.tm_sec = ts.second;
  t.tm_isdst = -1;
  time_t s = mktime(&t);
  return s == (time_t)-1 ? 0 : (uint32_t)s;
}

SQL_TIMESTAMP_STRUCT seconds_timestamp(time_t seconds) {
  struct tm t;
  localtime_r(&seconds, &t);
  SQL_TIMESTAMP_STRUCT ts;
  memset(&ts, 0, sizeof ts);
  ts.year = (SQLSMALLINT)(t.tm_year + 1900);
  ts.month = (SQLUSMALLINT)(t.tm_mon + 1);
  ts.day = (SQLUSMALLINT)t.tm_mday;
  ts.hour = (SQLUSMALLINT)t.tm_hour;
  ts.minute = (SQLUSMALLINT)t.tm_min;
  ts.second = (SQLUSMALLINT)t.tm_sec;
  return ts;
}

void copy_field(char* to, size_t cap, const char* from) {
  size_t len = from != nullptr ? strnlen(from, cap - 1) : 0;
  if (len > 0) memcpy(to, from, len);
  to[len] = '\0';
}

int32_t sp_map(DB_INSTANCE* instance, SpCall* call, const char* label) {
  if (call->code_ind == SQL_NULL_DATA || call->code == 0) return 0;
  int32_t status = db_sp_set_message_error(instance, call->code, label);
  if (call->message_ind != SQL_NULL_DATA && call->message_ind > 0) {
    size_t len = (size_t)call->message_ind;
    if (len >= sizeof call->message) len = sizeof call->message - 1;
    if (len >= sizeof instance->xerr.ext_msg) len = sizeof instance->xerr.ext_msg - 1;
    memcpy(instance->xerr.ext_msg, call->message, len);
    instance->xerr.ext_msg[len] = '\0';
  }
  return status;
}

int32_t sp_bind_and_run(DB_INSTANCE* instance, Stmt* s, const char* sql, int32_t leading,
                        const char* label, SpCall* call, bool code_inout) {
  call->code = 0;
  call->message[0] = '\0';
  call->message_ind = 0;
  call->code_ind = 0;
  SQLRETURN rc = SQLBindParameter(s->h, (SQLUSMALLINT)(leading + 1),
                                  code_inout ? SQL_PARAM_INPUT_OUTPUT : SQL_PARAM_OUTPUT,
                                  SQL_C_LONG, SQL_INTEGER, 0, 0, &call->code, 0, &call->code_ind);
  if (ok(rc))
    rc = SQLBindParameter(s->h, (SQLUSMALLINT)(leading + 2), SQL_PARAM_OUTPUT, SQL_C_CHAR,
                          SQL_VARCHAR, sizeof call->message, 0, call->message,
                          sizeof call->message, &call->message_ind);
  if (ok(rc)) rc = SQLExecDirect(s->h, (SQLCHAR*)sql, SQL_NTS);
  if (!ok(rc)) return report(instance, &s->h, rc);
  db_free_stmt(&s->h);
  return sp_map(instance, call, label);
}

}  // namespace dbv

using namespace dbv;

void db_versioning_release(DB_INSTANCE* instance) {
  if (instance == nullptr || instance->state_list == nullptr) return;
  Storage* st = static_cast<Storage*>(instance->state_list);
  db_free_stmt(&st->scan_stmt);
  db_free_stmt(&st->lineage_stmt);
  db_free_stmt(&st->parent_stmt);
  db_free_stmt(&st->version_stmt);
  for (StateReader& r : st->readers) db_free_stmt(&r.stmt);
  free(st->scan_rowset);
  free(st->scan_lineage);
  if (st->version_rowset != nullptr) SES_buffer_free(st->version_rowset, sizeof(VersionRowset));
  if (st->list_log_exists) DB_log_delete(instance, st->list_log.name);
  delete st;
  instance->state_list = nullptr;
}

// ---- numbering a row-id column -------------------------------------------------------

int32_t db_column_update_by_cursor(DB_INSTANCE* instance, const REGISTRATION* reg,
                                   int32_t unused1, int32_t unused2, int32_t rowid_flag,
                                   char** name) {
  (void)unused1;
  (void)unused2;
  if (instance == nullptr || reg == nullptr || name == nullptr) return SE_INVALID_POINTER;
  char* text = static_cast<char*>(calloc(258, 1));
  if (text == nullptr) return SE_OUT_OF_DBMS_MEM;
  std::string owner = field(reg->owner, sizeof reg->owner);
  snprintf(text, 258, "%s.ru_%d_%ld", owner.c_str(), reg->id, (long)time(nullptr));
  *name = text;
  if (rowid_flag == 0) return SE_NO_ROWID_COLUMN;

  // Names from the registration reach SQL text: they must be identifiers.
  std::string database = field(reg->database, sizeof reg->database);
  std::string table = field(reg->table, sizeof reg->table);
  std::string column = field(reg->rowid_column, sizeof reg->rowid_column);
  for (const std::string* part : {&owner, &table, &column})
    if (DB_check_identifier(instance, part->c_str()) != 0) return SE_INVALID_IDENTIFIER;
  if (!database.empty() && DB_check_identifier(instance, database.c_str()) != 0)
    return SE_INVALID_IDENTIFIER;
  char qualified[SE_DB_QUALIFIED_LEN + 64];
  DB_table_make_name(database.empty() ? nullptr : database.c_str(), owner.c_str(), table.c_str(),
                     qualified);

  Stmt select, update;
  Stmt* failing = &select;
  std::string sql = "SELECT " + column + " FROM " + qualified + " FOR UPDATE";
  int32_t status = db_open_cursor(instance, nullptr, &select.h);
  if (status != 0) return status;
  SQLRETURN rc = SQLExecDirect(select.h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  char cursor[21] = "";
  SQLSMALLINT cursor_len = 0;
  if (ok(rc)) rc = SQLGetCursorName(select.h, (SQLCHAR*)cursor, sizeof cursor, &cursor_len);
  SQLINTEGER value = (SQLINTEGER)reg->min_id;
  SQLLEN value_ind = 0;
  if (ok(rc)) {
    failing = &update;
    status = db_open_cursor(instance, nullptr, &update.h);
    if (status != 0) return status;
    std::string u = std::string("UPDATE ") + qualified + " SET " + column + " = ? WHERE CURRENT OF " + cursor;
    rc = SQLPrepare(update.h, (SQLCHAR*)u.c_str(), SQL_NTS);
    if (ok(rc))
      rc = SQLBindParameter(update.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &value, 0,
                            &value_ind);
  }
  while (ok(rc)) {
    failing = &select;
    rc = SQLFetch(select.h);
    if (!ok(rc)) break;
    failing = &update;
    rc = SQLExecute(update.h);
    ++value;
  }
  if (rc == SQL_NO_DATA && failing == &select) return 0;
  std::string state = sqlstate_of(failing->h);
  report(instance, &failing->h, rc);
  if (state == "42S02") return SE_TABLE_NOEXIST;
  if (state == "42S22") return SE_ATTR_NOEXIST;
  return SE_DB_IO_ERROR;
}

// ---- grants ---------------------------------------------------------------------------

int32_t db_grant_revoke(DB_INSTANCE* instance, int32_t unused, const char* privilege,
                        const char* table, const char* user, int32_t grant,
                        int32_t grant_option) {
  (void)unused;
  if (instance == nullptr || privilege == nullptr || table == nullptr || user == nullptr)
    return SE_INVALID_POINTER;
  const char* prefix = strcasecmp(user, "PUBLIC") == 0 ? "" : "USER ";
  std::string sql;
  if (grant) {
    sql = std::string("GRANT ") + privilege + " ON " + table + " TO " + prefix + user;
    if (grant_option) sql += " WITH GRANT OPTION";
  } else {
    sql = std::string("REVOKE ") + privilege + " ON " + table + " FROM " + prefix + user;
  }
  return db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
}
