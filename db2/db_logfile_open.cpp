// db_logfile_open.cpp -- open log files: handles and their descriptors, row
// ids written and read 100 at a time, and whole-log-file set operations,
// copies and rewrites.
//
// Divisions:
//   1. the handle list
//   2. open and close
//   3. adding and taking out ids, flushes
//   4. reading ids, the handle's record, ids by query
//   5. combine, copy, sort
//
// Notes:
//   1. A writing handle holds either pending adds or pending deletes; a call
//      of the other kind writes what is pending first.
//   2. Taken-out ids are moved to data id -1, which no log file holds; the
//      end of the session removes them as garbage.
//   3. Nothing here commits: the caller's unit of work carries the rows.
//   4. A reading handle's select stays open between calls; after its last
//      rowset every call answers -4 until the handle is closed.
// Relies on db_logfile.cpp for names, owners, reads and new ids.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "dbsql_io.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&out[0], (size_t)n + 1, format, ap);
  va_end(ap);
  return out;
}

std::string data_of(DB_INSTANCE* instance, const char* owner) {
  char name[SE_DB_QUALIFIED_LEN + 64];
  db_make_logfile_data_table_name(instance, nullptr, owner, name);
  return name;
}

bool is_success(int32_t status) { return status == 0 || status == SE_LOGFILE_NOEXIST; }

void record_cli_error(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
}

// ---- 1. the handle list ----------------------------------------------------------

DB_OPEN_LOG* find(DB_INSTANCE* instance, int32_t fdes) {
  for (DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(instance->logfiles); h != nullptr; h = h->next)
    if (h->fdes == fdes) return h;
  return nullptr;
}

void unlink_handle(DB_INSTANCE* instance, DB_OPEN_LOG* handle) {
  DB_OPEN_LOG** at = reinterpret_cast<DB_OPEN_LOG**>(&instance->logfiles);
  while (*at != nullptr && *at != handle) at = &(*at)->next;
  if (*at == handle) *at = handle->next;
}

void free_handle(DB_OPEN_LOG* handle) {
  if (handle->stmt != SQL_NULL_HSTMT) db_free_stmt(&handle->stmt);
  if (handle->delete_stmt != SQL_NULL_HSTMT) db_free_stmt(&handle->delete_stmt);
  free(handle);
}

// The owner part of a qualified log-file name.
int32_t owner_of(DB_INSTANCE* instance, const LOGFILE& log, char* owner) {
  return db_log_parse_name(instance, log.name, instance->current_user, nullptr, owner, nullptr);
}

// Prepares one statement with the handle's id array as parameter 1.
int32_t prepare_with_ids(DB_INSTANCE* instance, DB_OPEN_LOG* h, const std::string& sql, SQLHSTMT* out) {
  int32_t status = db_prepare_stmt(instance, nullptr, out, sql.c_str());
  SQLRETURN rc = status == 0 ? SQL_SUCCESS : SQL_ERROR;
  if (status == 0)
    rc = SQLBindParameter(*out, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, h->ids, 0, h->indicators);
  if (!ok(rc)) {
    if (*out != SQL_NULL_HSTMT) record_cli_error(instance, out, rc);
    db_free_stmt(out);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

// The common checks of the write calls.
int32_t writer(DB_INSTANCE* instance, int32_t fdes, DB_OPEN_LOG** out) {
  if (fdes <= 0) return SE_INVALID_LOGFILE_FDES;
  DB_OPEN_LOG* h = find(instance, fdes);
  if (h == nullptr) return SE_INVALID_LOGFILE_FDES;
  if (h->mode == SE_LOG_OPEN_READ) return SE_LOGFILE_OFF;
  if (!h->stmt_ready) return SE_INVALID_LOGFILE_FDES;
  *out = h;
  return 0;
}

// Executes a prepared statement once per queued id, without commit. An
// update that finds none of its ids touches no row: that is no failure.
int32_t execute_array(DB_INSTANCE* instance, SQLHSTMT stmt, int32_t n) {
  SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)n, 0);
  if (ok(rc)) rc = SQLExecute(stmt);
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)1, 0);
  if (ok(rc) || rc == SQL_NO_DATA) return 0;
  record_cli_error(instance, &stmt, rc);
  return SE_DB_IO_ERROR;
}

// A handle whose write failed accepts no further writes.
int32_t failed_before(const DB_OPEN_LOG* h) { return h->last_status == SE_DB_IO_ERROR ? SE_DB_IO_ERROR : 0; }

}  // namespace

void db_log_free_handles(DB_INSTANCE* instance) {
  DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(instance->logfiles);
  while (h != nullptr) {
    DB_OPEN_LOG* next = h->next;
    free_handle(h);
    h = next;
  }
  instance->logfiles = nullptr;
}

// ---- 2. open and close -------------------------------------------------------------------

int32_t DB_log_open(DB_INSTANCE* instance, LOGFILE* log, int32_t mode, int32_t* fdes) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (fdes != nullptr) *fdes = 0;
  if (fdes == nullptr || log == nullptr) return SE_INVALID_POINTER;
  if (mode < SE_LOG_OPEN_READ || mode > SE_LOG_OPEN_NEW) return SE_INVALID_PARAM;
  char owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, log->name, instance->current_user, nullptr, owner, name) != 0)
    return SE_INVALID_PARAM;
  bool may_write = db_log_may_write(instance, owner) != 0;

  char qualified[SE_LOGFILE_NAME_LEN];
  snprintf(qualified, sizeof qualified, "%s.%s", owner, name);
  LOGFILE stored;
  memset(&stored, 0, sizeof stored);
  int32_t read = DB_log_get_by_name(instance, qualified, &stored);
  if (read != 0 && read != SE_LOGFILE_NOEXIST) return read;
  bool exists = read == 0;
  if (exists) {
    if (log->target[0] != '\0') {
      char target[SE_LOGFILE_TARGET_LEN];
      memcpy(target, log->target, sizeof target);
      target[sizeof target - 1] = '\0';
      char tdb[SE_NAME_DATABASE_LEN], towner[SE_NAME_OWNER_LEN], ttable[SE_NAME_TABLE_LEN];
      db_parse_table_name(instance, target, instance->current_user, tdb, towner, ttable);
      char sowner[SE_NAME_OWNER_LEN], stable[SE_NAME_TABLE_LEN];
      char stored_target[SE_LOGFILE_TARGET_LEN];
      memcpy(stored_target, stored.target, sizeof stored_target);
      stored_target[sizeof stored_target - 1] = '\0';
      db_parse_table_name(instance, stored_target, instance->current_user, nullptr, sowner, stable);
      if (strcmp(towner, sowner) != 0 || strcmp(ttable, stable) != 0) return SE_LOGFILE_EXISTS;
    }
    *log = stored;
  }

  for (DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(instance->logfiles); h != nullptr; h = h->next) {
    char o[SE_NAME_OWNER_LEN], t[SE_NAME_TABLE_LEN];
    if (db_log_parse_name(instance, h->log.name, instance->current_user, nullptr, o, t) != 0) continue;
    if (strcmp(o, owner) != 0 || strcmp(t, name) != 0) continue;
    if (mode != SE_LOG_OPEN_READ) return SE_LOGFILE_ALREADY_OPEN;
    if (h->mode != SE_LOG_OPEN_READ) {
      int32_t status = db_log_flush(instance, h);
      if (status != 0) return status;
    }
  }

  int32_t status = 0;
  switch (mode) {
    case SE_LOG_OPEN_READ:
      if (!exists) return read;
      break;
    case SE_LOG_OPEN_REWRITE:
      if (!may_write) return SE_LOGFILE_OFF;
      status = exists ? db_log_renew_data_id(instance, owner, log) : DB_log_create(instance, log);
      if (status != 0) return status;
      break;
    case SE_LOG_OPEN_APPEND:
      if (!exists) return read;
      if (!may_write) return SE_LOGFILE_OFF;
      break;
    default:
      if (exists) return SE_LOGFILE_EXISTS;
      if (!may_write) return SE_LOGFILE_OFF;
      status = DB_log_create(instance, log);
      if (status != 0) return status;
      break;
  }

  DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(calloc(1, sizeof(DB_OPEN_LOG)));
  if (h == nullptr) return SE_OUT_OF_DBMS_MEM;
  h->stmt = SQL_NULL_HSTMT;
  h->delete_stmt = SQL_NULL_HSTMT;
  if (mode != SE_LOG_OPEN_READ) {
    std::string sql = fmt("INSERT INTO %s (logfile_data_id,zul_row_id)  VALUES (%d, ?)",
                          data_of(instance, owner).c_str(), log->data_id);
    if (prepare_with_ids(instance, h, sql, &h->stmt) != 0) {
      free_handle(h);
      return SE_DB_IO_ERROR;
    }
    h->stmt_ready = 1;
  }
  h->fdes = ++instance->logfile_last_fdes;
  h->mode = mode;
  h->log = *log;
  h->next = static_cast<DB_OPEN_LOG*>(instance->logfiles);
  instance->logfiles = h;
  *fdes = h->fdes;
  return 0;
}

int32_t DB_log_close(DB_INSTANCE* instance, int32_t fdes) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  DB_OPEN_LOG* h = find(instance, fdes);
  if (h == nullptr || fdes <= 0) return SE_INVALID_LOGFILE_FDES;
  int32_t status = 0;
  if (h->mode != SE_LOG_OPEN_READ)
    status = h->last_status == SE_DB_IO_ERROR ? SE_DB_IO_ERROR : db_log_flush(instance, h);
  unlink_handle(instance, h);
  free_handle(h);
  return status;
}

// ---- 3. adding and taking out ids, flushes ------------------------------------------

int32_t db_log_flush_adds(DB_INSTANCE* instance, DB_OPEN_LOG* h) {
  if (h == nullptr) return SE_INVALID_PARAM;
  if (h->mode == SE_LOG_OPEN_READ) return SE_LOGFILE_OFF;
  if (!h->stmt_ready) return SE_INVALID_LOGFILE_FDES;
  if (h->pending_deletes || h->pending == 0) return 0;
  if (execute_array(instance, h->stmt, h->pending) != 0) {
    db_free_stmt(&h->stmt);
    h->stmt_ready = 0;
    h->last_status = SE_DB_IO_ERROR;
    return SE_DB_IO_ERROR;
  }
  h->pending = 0;
  h->last_status = 0;
  return 0;
}

int32_t db_log_flush_deletes(DB_INSTANCE* instance, DB_OPEN_LOG* h) {
  if (h == nullptr) return SE_INVALID_PARAM;
  if (h->mode == SE_LOG_OPEN_READ) return SE_LOGFILE_OFF;
  if (!h->stmt_ready) return SE_INVALID_LOGFILE_FDES;
  if (!h->pending_deletes) return 0;
  if (!h->delete_ready) return SE_INVALID_LOGFILE_FDES;
  if (h->pending > 0) {
    if (execute_array(instance, h->delete_stmt, h->pending) != 0) {
      h->pending_deletes = 0;
      db_free_stmt(&h->delete_stmt);
      h->delete_ready = 0;
      h->last_status = SE_DB_IO_ERROR;
      return SE_DB_IO_ERROR;
    }
  }
  h->pending = 0;
  h->last_status = 0;
  h->pending_deletes = 0;
  return 0;
}

int32_t db_log_flush(DB_INSTANCE* instance, DB_OPEN_LOG* h) {
  int32_t status = db_log_flush_adds(instance, h);
  if (status != 0) return status;
  return db_log_flush_deletes(instance, h);
}

int32_t DB_log_add_id_list(DB_INSTANCE* instance, int32_t fdes, const int32_t* ids, int32_t count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (ids == nullptr || count < 0) return SE_INVALID_PARAM;
  DB_OPEN_LOG* h = nullptr;
  int32_t status = writer(instance, fdes, &h);
  if (status != 0) return status;
  if ((status = failed_before(h)) != 0) return status;
  if (count == 0) return 0;
  if ((status = db_log_flush_deletes(instance, h)) != 0) return status;
  for (int32_t i = 0; i < count; ++i) {
    if (ids[i] <= 0) continue;
    h->ids[h->pending++] = ids[i];
    ++h->moved;
    if (h->pending == SE_LOG_BATCH && (status = db_log_flush_adds(instance, h)) != 0) return status;
  }
  h->last_status = 0;
  return 0;
}

int32_t DB_log_delete_id_list(DB_INSTANCE* instance, int32_t fdes, const int32_t* ids,
                              int32_t count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (ids == nullptr || count < 0) return SE_INVALID_PARAM;
  DB_OPEN_LOG* h = nullptr;
  int32_t status = writer(instance, fdes, &h);
  if (status != 0) return status;
  if ((status = failed_before(h)) != 0) return status;
  if (count == 0) return 0;
  if ((status = db_log_flush_adds(instance, h)) != 0) return status;
  if (!h->delete_ready) {
    char owner[SE_NAME_OWNER_LEN];
    if (owner_of(instance, h->log, owner) != 0) return SE_INVALID_PARAM;
    std::string sql = fmt("UPDATE %s  SET logfile_data_id = %d  WHERE logfile_data_id = %d AND zul_row_id = ?",
                          data_of(instance, owner).c_str(), -1, h->log.data_id);
    if (prepare_with_ids(instance, h, sql, &h->delete_stmt) != 0) {
      h->last_status = SE_DB_IO_ERROR;
      return SE_DB_IO_ERROR;
    }
    h->delete_ready = 1;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (ids[i] <= 0) continue;
    h->pending_deletes = 1;
    h->ids[h->pending++] = ids[i];
    ++h->moved;
    if (h->pending == SE_LOG_BATCH && (status = db_log_flush_deletes(instance, h)) != 0) return status;
  }
  return 0;
}

// ---- 4. reading ids, the handle's record, ids by query ----------------------------

int32_t DB_log_get_id_list(DB_INSTANCE* instance, int32_t fdes, int32_t max, int32_t* ids,
                           int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (ids == nullptr || count == nullptr || max < 1) return SE_INVALID_PARAM;
  DB_OPEN_LOG* h = fdes > 0 ? find(instance, fdes) : nullptr;
  if (h == nullptr) return SE_INVALID_LOGFILE_FDES;
  *count = 0;
  if (h->mode != SE_LOG_OPEN_READ) return SE_LOGFILE_OFF;
  if (h->last_status != 0) return h->last_status;

  if (!h->stmt_ready) {
    char owner[SE_NAME_OWNER_LEN];
    int32_t status = owner_of(instance, h->log, owner);
    if (status != 0) return status;
    std::string sql = fmt("SELECT DISTINCT zul_row_id  FROM %s  WHERE logfile_data_id = %d",
                          data_of(instance, owner).c_str(), h->log.data_id);
    status = db_prepare_stmt(instance, nullptr, &h->stmt, sql.c_str());
    if (status != 0) {
      db_free_stmt(&h->stmt);
      return status;
    }
    SQLRETURN rc = SQLSetStmtAttr(h->stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)SE_LOG_BATCH, 0);
    if (ok(rc)) rc = SQLBindCol(h->stmt, 1, SQL_C_LONG, h->ids, 0, h->indicators);
    if (ok(rc)) rc = SQLExecute(h->stmt);
    if (!ok(rc)) {
      record_cli_error(instance, &h->stmt, rc);
      db_free_stmt(&h->stmt);
      h->last_status = SE_DB_IO_ERROR;
      return SE_DB_IO_ERROR;
    }
    h->stmt_ready = 1;
  }

  while (*count < max) {
    int32_t want = max - *count < SE_LOG_BATCH ? max - *count : SE_LOG_BATCH;
    SQLULEN fetched = 0;
    SQLUSMALLINT row_status[SE_LOG_BATCH];
    SQLRETURN rc = SQLSetStmtAttr(h->stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)want, 0);
    if (ok(rc)) rc = SQLExtendedFetch(h->stmt, SQL_FETCH_NEXT, want, &fetched, row_status);
    if (rc == SQL_NO_DATA) {
      db_free_stmt(&h->stmt);
      h->stmt_ready = 0;
      h->last_status = SE_FINISHED;
      return SE_FINISHED;
    }
    if (!ok(rc)) {
      // The handle has lost its place: it answers this failure from now on.
      record_cli_error(instance, &h->stmt, rc);
      db_free_stmt(&h->stmt);
      h->stmt_ready = 0;
      h->last_status = SE_DB_IO_ERROR;
      return SE_DB_IO_ERROR;
    }
    if (fetched > (SQLULEN)want) fetched = (SQLULEN)want;
    memcpy(ids + *count, h->ids, fetched * sizeof(int32_t));
    *count += (int32_t)fetched;
    h->moved += (int32_t)fetched;
    h->pending = (int32_t)fetched;
  }
  h->last_status = 0;
  return 0;
}

int32_t DB_log_get_by_fdes(DB_INSTANCE* instance, int32_t fdes, LOGFILE* out) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (fdes == 0) return SE_INVALID_LOGFILE_FDES;
  if (out == nullptr) return SE_INVALID_PARAM;
  DB_OPEN_LOG* h = find(instance, fdes);
  if (h == nullptr) return SE_INVALID_LOGFILE_FDES;
  *out = h->log;
  return 0;
}

int32_t db_log_add_ids_by_query(DB_INSTANCE* instance, int32_t fdes, const char* unused,
                                const char* from, const char* where) {
  (void)unused;
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  DB_OPEN_LOG* h = nullptr;
  int32_t status = writer(instance, fdes, &h);
  if (status != 0) return status;
  char owner[SE_NAME_OWNER_LEN];
  if ((status = owner_of(instance, h->log, owner)) != 0) return status;
  std::string target(h->log.target, strnlen(h->log.target, sizeof h->log.target));
  const REGISTRATION& reg = h->log.registration;
  std::string rowid(reg.rowid_column, strnlen(reg.rowid_column, sizeof reg.rowid_column));
  std::string data = data_of(instance, owner);
  std::string sql =
      from != nullptr
          ? fmt("INSERT INTO %s  (logfile_data_id, zul_row_id)  SELECT  %d, %s.%s FROM %s ", data.c_str(),
                h->log.data_id, target.c_str(), rowid.c_str(), from)
          : fmt("INSERT INTO %s  (logfile_data_id, zul_row_id)  SELECT  %d, %s FROM %s ", data.c_str(),
                h->log.data_id, rowid.c_str(), target.c_str());
  if (where != nullptr && where[0] != '\0') sql += std::string(" WHERE ") + where;
  status = db_log_execute(instance, sql.c_str(), 0);
  return is_success(status) ? 0 : status;
}

// ---- 5. combine, copy, sort ---------------------------------------------------------

int32_t db_log_renew_data_id(DB_INSTANCE* instance, const char* owner, LOGFILE* log) {
  int32_t id = 0;
  int32_t status = db_log_next_id(instance, owner, &id);
  if (status != 0) return status;
  int32_t old = log->data_id;
  log->data_id = id;
  char tables[SE_DB_QUALIFIED_LEN + 64];
  db_make_logfiles_table_name(instance, nullptr, owner, tables);
  std::string sql = fmt("UPDATE %s SET logfile_data_id = %d WHERE logfile_id = %d", tables, id, log->id);
  status = db_log_execute(instance, sql.c_str(), 0);
  if (status != 0) return status;
  if (log->flags & SE_LOG_DELETE_DATA) {
    sql = fmt("DELETE FROM %s WHERE logfile_data_id = %d", data_of(instance, owner).c_str(), old);
    status = db_log_execute(instance, sql.c_str(), 0);
    if (!is_success(status)) return status;
  }
  return 0;
}

int32_t db_log_copy_data(DB_INSTANCE* instance, const char* source_owner, const char* target_owner,
                         const LOGFILE* source, const LOGFILE* target) {
  std::string sql = fmt("INSERT INTO %s (logfile_data_id, zul_row_id) SELECT DISTINCT %d, zul_row_id "
                        " FROM %s  WHERE logfile_data_id = %d ",
                        data_of(instance, target_owner).c_str(), target->data_id,
                        data_of(instance, source_owner).c_str(), source->data_id);
  int32_t status = db_log_execute(instance, sql.c_str(), 0);
  return is_success(status) ? 0 : status;
}

namespace {

// A new log file named owner.name from a template record, with its session
// tag, ids and target kept from the template.
int32_t create_like(DB_INSTANCE* instance, const LOGFILE& model, const char* owner, const char* name,
                    LOGFILE* out) {
  *out = model;
  snprintf(out->name, sizeof out->name, "%s.%s", owner, name);
  out->session_tag = 0;
  out->id = 0;
  out->data_id = 0;
  return DB_log_create(instance, out);
}

std::string combine_sql(DB_INSTANCE* instance, int32_t op, const char* r_owner, const LOGFILE& r,
                        const char* f_owner, const LOGFILE& f, const char* s_owner, const LOGFILE& s) {
  std::string rt = data_of(instance, r_owner), ft = data_of(instance, f_owner), st = data_of(instance, s_owner);
  const char* difference =
      " SELECT distinct %d, zul_row_id     FROM %s a    WHERE logfile_data_id = %d  AND NOT EXISTS(   "
      "SELECT %d, zul_row_id    FROM %s b    WHERE b.zul_row_id = a.zul_row_id          AND b.logfile_data_id = %d)";
  switch (op) {
    case SE_LOG_INTERSECT:
      return fmt("INSERT INTO %s (logfile_data_id,zul_row_id)   SELECT DISTINCT %d, a.zul_row_id     FROM %s a,"
                 "          %s b     WHERE a.logfile_data_id = %d AND           b.logfile_data_id = %d AND"
                 "          a.zul_row_id = b.zul_row_id",
                 rt.c_str(), r.data_id, ft.c_str(), st.c_str(), f.data_id, s.data_id);
    case SE_LOG_UNION:
      return fmt("INSERT INTO %s.zul_logfile_data (logfile_data_id,zul_row_id)   SELECT %d, zul_row_id     FROM "
                 "%s.zul_logfile_data    WHERE logfile_data_id = %d  UNION   SELECT %d, zul_row_id    FROM "
                 "%s.zul_logfile_data    WHERE logfile_data_id = %d",
                 r_owner, r.data_id, f_owner, f.data_id, r.data_id, s_owner, s.data_id);
    case SE_LOG_DIFFERENCE: {
      char part[1024];
      snprintf(part, sizeof part, difference, r.data_id, ft.c_str(), f.data_id, r.data_id, st.c_str(), s.data_id);
      return fmt("INSERT INTO %s (logfile_data_id,zul_row_id)  %s", rt.c_str(), part);
    }
    default: {
      char one[1024], two[1024];
      snprintf(one, sizeof one, difference, r.data_id, ft.c_str(), f.data_id, r.data_id, st.c_str(), s.data_id);
      snprintf(two, sizeof two, difference, r.data_id, st.c_str(), s.data_id, r.data_id, ft.c_str(), f.data_id);
      return fmt("INSERT INTO %s (logfile_data_id,zul_row_id)  %s UNION  %s", rt.c_str(), one, two);
    }
  }
}

}  // namespace

int32_t DB_log_combine(DB_INSTANCE* instance, const char* first, const char* second,
                       const char* result, int32_t op, int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (count != nullptr) *count = 0;
  if (first == nullptr || second == nullptr || result == nullptr || count == nullptr) return SE_INVALID_PARAM;
  if (op < SE_LOG_INTERSECT || op > SE_LOG_SYM_DIFFERENCE) return SE_INVALID_PARAM;
  const char* user = instance->current_user;
  char r_owner[SE_NAME_OWNER_LEN], r_name[SE_NAME_TABLE_LEN];
  char f_owner[SE_NAME_OWNER_LEN], f_name[SE_NAME_TABLE_LEN];
  char s_owner[SE_NAME_OWNER_LEN], s_name[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, result, user, nullptr, r_owner, r_name) != 0) return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, r_owner)) return SE_LOGFILE_OFF;
  if (db_log_parse_name(instance, first, user, nullptr, f_owner, f_name) != 0 ||
      db_log_parse_name(instance, second, user, nullptr, s_owner, s_name) != 0)
    return SE_INVALID_PARAM;

  // In place: the result goes back into F (or S) through a temporary log file.
  const char* in_place = nullptr;
  if (strcmp(r_owner, f_owner) == 0 && strcmp(r_name, f_name) == 0) in_place = first;
  else if (strcmp(r_owner, s_owner) == 0 && strcmp(r_name, s_name) == 0) in_place = second;
  if (in_place != nullptr) {
    char temp[SE_LOGFILE_NAME_LEN];
    int32_t status = DB_log_make_name(instance, temp);
    if (status != 0) return status;
    if (db_log_parse_name(instance, temp, user, nullptr, r_owner, r_name) != 0) return SE_INVALID_PARAM;
  }

  if (db_log_is_open(instance, first) || db_log_is_open(instance, second)) return SE_LOGFILE_IS_OPEN;
  LOGFILE f, s, existing;
  int32_t status = DB_log_get_by_name(instance, first, &f);
  if (status != 0) return status;
  status = DB_log_get_by_name(instance, second, &s);
  if (status != 0) return status;
  if (in_place == nullptr) {
    char r_qualified[SE_LOGFILE_NAME_LEN];
    snprintf(r_qualified, sizeof r_qualified, "%s.%s", r_owner, r_name);
    status = DB_log_get_by_name(instance, r_qualified, &existing);
    if (status == 0) return SE_LOGFILE_EXISTS;
    if (status != SE_LOGFILE_NOEXIST) return status;
  }
  const int32_t kinds = SE_LOG_TARGET_TABLE | SE_LOG_TARGET_LAYER;
  if ((f.flags & kinds) != (s.flags & kinds) || db_log_layer_id(f) != db_log_layer_id(s) ||
      db_log_reg_id(f) != db_log_reg_id(s))
    return SE_INVALID_PARAM;

  LOGFILE r;
  status = create_like(instance, f, r_owner, r_name, &r);
  if (status != 0) return status;
  status = db_log_execute(instance, combine_sql(instance, op, r_owner, r, f_owner, f, s_owner, s).c_str(), 0);
  if (is_success(status)) status = DB_log_count(instance, &r, count);
  if (status == 0 && in_place != nullptr) {
    LOGFILE& target = in_place == first ? f : s;
    const char* t_owner = in_place == first ? f_owner : s_owner;
    status = db_log_renew_data_id(instance, t_owner, &target);
    if (status == 0) status = db_log_copy_data(instance, r_owner, t_owner, &r, &target);
    if (status == 0) {
      db_log_remove(instance, r.name);
      return 0;
    }
  }
  if (status != 0 && !is_success(status)) {
    *count = 0;
    db_log_remove(instance, r.name);
    return status;
  }
  return 0;
}

int32_t DB_log_copy(DB_INSTANCE* instance, const char* source, const char* target) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (source == nullptr || target == nullptr) return SE_INVALID_PARAM;
  const char* user = instance->current_user;
  char t_owner[SE_NAME_OWNER_LEN], t_name[SE_NAME_TABLE_LEN], s_owner[SE_NAME_OWNER_LEN];
  if (db_log_parse_name(instance, target, user, nullptr, t_owner, t_name) != 0) return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, t_owner)) return SE_LOGFILE_OFF;
  if (db_log_parse_name(instance, source, user, nullptr, s_owner, nullptr) != 0) return SE_INVALID_PARAM;
  LOGFILE src;
  int32_t status = DB_log_get_by_name(instance, source, &src);
  if (status != 0) return status;
  if (db_log_is_open(instance, source)) return SE_LOGFILE_IS_OPEN;
  LOGFILE existing;
  char t_qualified[SE_LOGFILE_NAME_LEN];
  snprintf(t_qualified, sizeof t_qualified, "%s.%s", t_owner, t_name);
  status = DB_log_get_by_name(instance, t_qualified, &existing);
  if (status == 0) {
    if ((status = db_log_remove(instance, t_qualified)) != 0) return status;
  } else if (status != SE_LOGFILE_NOEXIST) {
    return status;
  }
  LOGFILE t;
  status = create_like(instance, src, t_owner, t_name, &t);
  if (status != 0) return status;
  status = db_log_copy_data(instance, s_owner, t_owner, &src, &t);
  if (status != 0) {
    db_log_remove(instance, t.name);
    return status;
  }
  return 0;
}

int32_t DB_log_sort(DB_INSTANCE* instance, const char* name, int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (count != nullptr) *count = 0;
  if (name == nullptr || count == nullptr) return SE_INVALID_POINTER;
  char owner[SE_NAME_OWNER_LEN];
  if (db_log_parse_name(instance, name, instance->current_user, nullptr, owner, nullptr) != 0)
    return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, owner)) return SE_LOGFILE_OFF;
  LOGFILE log;
  int32_t status = DB_log_get_by_name(instance, name, &log);
  if (status != 0) return status;
  if (db_log_is_open(instance, name)) return SE_LOGFILE_IS_OPEN;
  int32_t id = 0;
  if ((status = db_log_next_id(instance, owner, &id)) != 0) return status;
  std::string data = data_of(instance, owner);
  std::string sql = fmt("INSERT INTO %s (logfile_data_id, zul_row_id) SELECT DISTINCT %d, zul_row_id  FROM %s "
                        " WHERE logfile_data_id = %d ",
                        data.c_str(), id, data.c_str(), log.data_id);
  status = db_log_execute(instance, sql.c_str(), 0);
  if (!is_success(status)) return status;
  char tables[SE_DB_QUALIFIED_LEN + 64];
  db_make_logfiles_table_name(instance, nullptr, owner, tables);
  sql = fmt("UPDATE %s SET logfile_data_id = %d WHERE logfile_id = %d", tables, id, log.id);
  if ((status = db_log_execute(instance, sql.c_str(), 0)) != 0) return status;
  log.data_id = id;
  return DB_log_count(instance, &log, count);
}
