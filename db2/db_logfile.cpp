// db_logfile.cpp -- log files: the two tables of each owner, handling on and
// off per connection, and the catalogue operations (create, delete, alter,
// read, list, count, temporary names, grants, the tables themselves).
//
// Divisions:
//   1. names, owners and one-shot statements
//   2. reading log-file rows (db_log_select) and new ids
//   3. session start and end
//   4. create, remove, alter, read, count, names
//   5. grants and the tables
//
// Notes:
//   1. Names reach SQL texts as literals. A name part holding a quote is
//      refused as not parsing (-66), so no client text can end a literal.
//   2. New ids come from the identity column through a placeholder row
//      "DUMMYDUMMY" with data id -1; the unique name keeps two transactions
//      of one owner from holding a placeholder at once.
//   3. Nothing here commits a multi-statement change half-way but where the
//      steps say so; the caller's unit of work carries the rest.
// Relies on the access core (dbsql_io.h), the object names (zul_db_tables.h)
// and the dbtune reader; the handle calls live in db_logfile_open.cpp.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_logfile.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"
#include "zul_shared.h"

namespace {

constexpr const char* kPlaceholder = "DUMMYDUMMY";

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

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

std::string tables_of(DB_INSTANCE* instance, const char* owner) {
  char name[SE_DB_QUALIFIED_LEN + 64];
  db_make_logfiles_table_name(instance, nullptr, owner, name);
  return name;
}

std::string data_of(DB_INSTANCE* instance, const char* owner) {
  char name[SE_DB_QUALIFIED_LEN + 64];
  db_make_logfile_data_table_name(instance, nullptr, owner, name);
  return name;
}

void record_cli_error(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
}

void copy_text(char* out, size_t cap, const char* text) {
  snprintf(out, cap, "%s", text != nullptr ? text : "");
}

bool is_success(int32_t status) { return status == 0 || status == SE_LOGFILE_NOEXIST; }

// The session tag of this connection from its own process slot, else from
// the running process and the present time.
int32_t session_tag(DB_INSTANCE* instance) {
  int32_t pid = (int32_t)getpid();
  int32_t start = (int32_t)time(nullptr);
  PROC_INFO* own = nullptr;
  if (instance->params.own_process != nullptr &&
      instance->params.own_process(instance->params.ctx, &own) == 0 && own != nullptr) {
    pid = own->pid;
    start = own->start_time;
  }
  return (pid % 10000) * 10000 + (start % 10000);
}

// Whether a live server process has a process id and start time matching the
// tag's two parts. The lookup goes by exact process id, so every id with the
// tag's remainder up to the system's largest is tried. Without a lookup the
// session is taken as alive: another session's log files are never removed
// on a guess.
bool session_alive(DB_INSTANCE* instance, int32_t tag) {
  if (instance->params.process_by_id == nullptr) return true;
  int32_t pid_part = tag / 10000, time_part = tag % 10000;
  long pid_max = 4194304;
  if (FILE* f = fopen("/proc/sys/kernel/pid_max", "r")) {
    long v = 0;
    if (fscanf(f, "%ld", &v) == 1 && v > 0 && v <= 4194304) pid_max = v;
    fclose(f);
  }
  for (long pid = pid_part; pid <= pid_max; pid += 10000) {
    if (pid <= 0) continue;
    PROC_INFO* info = nullptr;
    if (instance->params.process_by_id(instance->params.ctx, (int32_t)pid, &info) == 0 &&
        info != nullptr && info->pid != 0 && info->pid % 10000 == pid_part &&
        info->start_time % 10000 == time_part)
      return true;
  }
  return false;
}

// Deletes the data rows of a data id, committed.
int32_t delete_data(DB_INSTANCE* instance, const char* owner, int32_t data_id, int32_t commit) {
  std::string sql = fmt("DELETE FROM %s WHERE logfile_data_id = %d", data_of(instance, owner).c_str(),
                        data_id);
  return db_log_execute(instance, sql.c_str(), commit);
}

// mode 0: the temporary log files of ended sessions; 1: this session's.
void purge_temporaries(DB_INSTANCE* instance, int32_t own) {
  const char* user = instance->current_user;
  LOGFILE* list = nullptr;
  int32_t count = 0;
  std::string filter = own ? fmt(" session_tag = %d  AND SYSFUN.MOD(flags,2) = 0 ",
                                 instance->logfile_session_tag)
                           : std::string(" SYSFUN.MOD(flags,2) = 0 ");
  if (db_log_select(instance, user, filter.c_str(), &list, &count) != 0) return;
  std::string tables = tables_of(instance, user);
  if (own) {
    std::string sql = fmt("DELETE FROM %s WHERE session_tag = %d  AND SYSFUN.MOD(flags,2) = 0 ",
                          tables.c_str(), instance->logfile_session_tag);
    int32_t status = db_log_execute(instance, sql.c_str(), 0);
    for (int32_t i = 0; i < count && is_success(status); ++i)
      if (list[i].flags & SE_LOG_DELETE_DATA) status = delete_data(instance, user, list[i].data_id, 1);
  } else {
    for (int32_t i = 0; i < count; ++i) {
      if ((int32_t)list[i].session_tag == instance->logfile_session_tag ||
          session_alive(instance, (int32_t)list[i].session_tag))
        continue;
      std::string sql = fmt("DELETE FROM %s WHERE logfile_id = %d", tables.c_str(), list[i].id);
      int32_t status = db_log_execute(instance, sql.c_str(), 0);
      if (is_success(status) && (list[i].flags & SE_LOG_DELETE_DATA))
        status = delete_data(instance, user, list[i].data_id, 1);
      if (!is_success(status)) break;
    }
  }
  free(list);
}

}  // namespace

// ---- 1. names, owners and one-shot statements ------------------------------------------

int32_t db_log_parse_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                          char* database, char* owner, char* table) {
  if (name == nullptr) return SE_INVALID_PARAM;
  size_t len = strnlen(name, SE_LOGFILE_NAME_LEN);
  if (len == 0 || len >= SE_LOGFILE_NAME_LEN) return SE_INVALID_PARAM;
  std::string text(name, len);
  // The first separator that the name holds stands for the dot; only its
  // last occurrence is replaced.
  for (char sep : {'\\', '|', ',', ';', '!', ' '}) {
    size_t at = text.rfind(sep);
    if (at != std::string::npos) {
      text[at] = '.';
      break;
    }
  }
  char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, text.c_str(), default_owner, db, own, tab);
  if (tab[0] == '\0' || own[0] == '\0') return SE_INVALID_PARAM;
  if (strchr(tab, '\'') != nullptr || strchr(own, '\'') != nullptr || strchr(db, '\'') != nullptr)
    return SE_INVALID_PARAM;
  if (database != nullptr) copy_text(database, SE_NAME_DATABASE_LEN, db);
  if (owner != nullptr) copy_text(owner, SE_NAME_OWNER_LEN, own);
  if (table != nullptr) copy_text(table, SE_NAME_TABLE_LEN, tab);
  return 0;
}

int32_t db_log_may_write(DB_INSTANCE* instance, const char* owner) {
  return strcmp(owner, instance->current_user) == 0 || strcmp(instance->current_user, SE_ADMIN_USER) == 0;
}

int32_t db_log_execute(DB_INSTANCE* instance, const char* sql, int32_t commit) {
  int32_t status = db_execute_ddlsql(instance, sql, 0, commit ? DB_MODE_EXEC_COMMIT : DB_MODE_EXEC);
  if (status == SE_DB_NO_DATA) return SE_LOGFILE_NOEXIST;
  if (status == SE_NO_PERMISSIONS) return SE_LOGFILE_OFF;
  return status;
}

// ---- 2. reading log-file rows and new ids ------------------------------------------------

int32_t db_log_select(DB_INSTANCE* instance, const char* owner, const char* filter,
                      LOGFILE** list, int32_t* count) {
  *list = nullptr;
  *count = 0;
  const char* who = owner != nullptr && owner[0] != '\0' ? owner : instance->current_user;
  std::string sql = fmt("SELECT   logfile_name,  logfile_id,  logfile_data_id,  registration_id,"
                        "  flags,  session_tag  FROM %s ", tables_of(instance, who).c_str());
  if (filter != nullptr) sql += std::string(" WHERE ") + filter;
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;

  static_assert(SE_LOG_BATCH <= DB_MAX_ROWSET, "rowset of the log-file list");
  struct Rows {
    char names[SE_LOG_BATCH][SE_NAME_TABLE_LEN];
    SQLLEN name_ind[SE_LOG_BATCH];
    SQLINTEGER ints[5][SE_LOG_BATCH];
    SQLLEN int_ind[5][SE_LOG_BATCH];
  };
  std::unique_ptr<Rows> rows(new (std::nothrow) Rows());
  if (!rows) return SE_OUT_OF_DBMS_MEM;
  SQLRETURN rc = SQLSetStmtAttr(s.h, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)SE_LOG_BATCH, 0);
  if (ok(rc)) rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_CHAR, rows->names, SE_NAME_TABLE_LEN, rows->name_ind);
  for (int c = 0; c < 5 && ok(rc); ++c)
    rc = SQLBindCol(s.h, (SQLUSMALLINT)(c + 2), SQL_C_LONG, rows->ints[c], 0, rows->int_ind[c]);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }

  std::vector<LOGFILE> out;
  for (;;) {
    SQLULEN fetched = 0;
    SQLUSMALLINT row_status[SE_LOG_BATCH];
    rc = SQLExtendedFetch(s.h, SQL_FETCH_NEXT, SE_LOG_BATCH, &fetched, row_status);
    if (rc == SQL_NO_DATA) break;
    if (!ok(rc)) {
      record_cli_error(instance, &s.h, rc);
      return SE_DB_IO_ERROR;
    }
    for (SQLULEN r = 0; r < fetched && r < SE_LOG_BATCH; ++r) {
      LOGFILE l;
      memset(&l, 0, sizeof l);
      rows->names[r][SE_NAME_TABLE_LEN - 1] = '\0';
      snprintf(l.name, sizeof l.name, "%s.%s", who, rows->names[r]);
      l.id = rows->ints[0][r];
      l.data_id = rows->ints[1][r];
      db_log_reg_id(l) = rows->ints[2][r];
      l.flags = rows->ints[3][r];
      l.session_tag = (uint32_t)rows->ints[4][r];
      try {
        out.push_back(l);
      } catch (...) {
        return SE_OUT_OF_DBMS_MEM;
      }
    }
  }
  db_free_stmt(&s.h);

  for (size_t i = 0; i < out.size(); ++i) {
    LOGFILE& l = out[i];
    for (size_t j = 0; j < i; ++j) {
      if (db_log_reg_id(out[j]) != db_log_reg_id(l)) continue;
      l.registration = out[j].registration;
      memcpy(l.target, out[j].target, sizeof l.target);
      if ((l.flags & SE_LOG_TARGET_LAYER) && (out[j].flags & SE_LOG_TARGET_LAYER)) {
        db_log_layer_id(l) = db_log_layer_id(out[j]);
        memcpy(l.column, out[j].column, sizeof l.column);
      }
      break;
    }
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    if (instance->params.registration_by_id != nullptr &&
        instance->params.registration_by_id(instance->params.ctx, db_log_reg_id(l), &reg) == 0) {
      l.registration = reg;
      snprintf(l.target, sizeof l.target, "%.*s.%.*s", (int)strnlen(reg.owner, sizeof reg.owner),
               reg.owner, (int)strnlen(reg.table, sizeof reg.table), reg.table);
      if (l.flags & SE_LOG_TARGET_LAYER) {
        std::string owner_s(reg.owner, strnlen(reg.owner, sizeof reg.owner));
        std::string table_s(reg.table, strnlen(reg.table, sizeof reg.table));
        LAYER* layer = nullptr;
        if (DB_layer_get_info_by_table_name(instance, nullptr, table_s.c_str(), nullptr,
                                            owner_s.c_str(), &layer) == 0 && layer != nullptr) {
          db_log_layer_id(l) = layer->id;
          snprintf(l.column, sizeof l.column, "%.*s", (int)strnlen(layer->spatial_column, sizeof layer->spatial_column),
                   layer->spatial_column);
        }
      }
    }
  }
  if (!out.empty()) {
    *list = static_cast<LOGFILE*>(malloc(out.size() * sizeof(LOGFILE)));
    if (*list == nullptr) return SE_OUT_OF_DBMS_MEM;
    memcpy(*list, out.data(), out.size() * sizeof(LOGFILE));
  }
  *count = (int32_t)out.size();
  return 0;
}

int32_t db_log_next_id(DB_INSTANCE* instance, const char* owner, int32_t* id) {
  std::string tables = tables_of(instance, owner);
  std::string del = fmt("DELETE FROM %s WHERE logfile_name = '%s' AND       logfile_data_id = %d",
                        tables.c_str(), kPlaceholder, -1);
  db_log_execute(instance, del.c_str(), 0);
  std::string ins = fmt("INSERT INTO %s VALUES ( '%s', DEFAULT, %d, %d, %d, %d)", tables.c_str(),
                        kPlaceholder, -1, -1, -1, -1);
  int32_t status = db_log_execute(instance, ins.c_str(), 0);
  if (status != 0) return status;
  std::string sel = fmt("SELECT logfile_id FROM %s WHERE logfile_name = '%s' AND       logfile_data_id = %d",
                        tables.c_str(), kPlaceholder, -1);
  Stmt s;
  status = db_prepare_stmt(instance, nullptr, &s.h, sel.c_str());
  if (status != 0) return status;
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &value, 0, &ind);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  *id = value;
  return db_log_execute(instance, del.c_str(), 0);
}

// ---- 3. session start and end ----------------------------------------------------

int32_t DB_log_init(DB_INSTANCE* instance) {
  DB_instance_clear_xerr(instance);
  instance->logfile_session_tag = session_tag(instance);
  purge_temporaries(instance, 0);
  instance->logfile_in_use = 1;
  return 0;
}

int32_t DB_log_end(DB_INSTANCE* instance) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return 0;
  purge_temporaries(instance, 1);
  std::string data = data_of(instance, instance->current_user);
  std::string sql = fmt("DELETE FROM %s WHERE logfile_data_id IN ( SELECT distinct b.logfile_data_id"
                        "   FROM     %s b   EXCEPT   SELECT distinct a.logfile_data_id   FROM     %s a )",
                        data.c_str(), data.c_str(), tables_of(instance, instance->current_user).c_str());
  db_log_execute(instance, sql.c_str(), 0);
  db_log_free_handles(instance);
  instance->logfile_in_use = 0;
  return 0;
}

// ---- 4. create, remove, alter, read, count, names ---------------------------------

int32_t DB_log_create(DB_INSTANCE* instance, LOGFILE* log) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (log == nullptr) return SE_INVALID_PARAM;
  char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, log->name, instance->current_user, db, owner, name) != 0)
    return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, owner)) return SE_LOGFILE_OFF;

  int32_t id = 0;
  int32_t status = db_log_next_id(instance, owner, &id);
  if (status != 0) return status;
  int32_t tag = (log->flags & SE_LOG_PERSISTENT) ? 0 : instance->logfile_session_tag;

  if (db_log_reg_id(*log) == 0 || log->registration.id == 0) {
    if (instance->params.registration_by_name == nullptr) return SE_TABLE_NOEXIST;
    char target[SE_LOGFILE_TARGET_LEN];
    memcpy(target, log->target, sizeof target);
    target[sizeof target - 1] = '\0';
    status = instance->params.registration_by_name(instance->params.ctx, target, &log->registration);
    if (status != 0) return status;
    if (log->registration.id == 0) return SE_TABLE_NOEXIST;
    REGISTRATION& reg = log->registration;
    snprintf(log->target, sizeof log->target, "%.*s.%.*s", (int)strnlen(reg.owner, sizeof reg.owner),
             reg.owner, (int)strnlen(reg.table, sizeof reg.table), reg.table);
  }
  db_log_reg_id(*log) = log->registration.id;
  if ((log->flags & SE_LOG_TARGET_TABLE) && log->registration.rowid_column[0] == '\0')
    return SE_NO_ROWID_COLUMN;
  if ((log->flags & SE_LOG_TARGET_LAYER) && (db_log_layer_id(*log) == 0 || log->column[0] == '\0')) {
    REGISTRATION& reg = log->registration;
    std::string owner_s(reg.owner, strnlen(reg.owner, sizeof reg.owner));
    std::string table_s(reg.table, strnlen(reg.table, sizeof reg.table));
    LAYER* layer = nullptr;
    status = DB_layer_get_info_by_table_name(instance, nullptr, table_s.c_str(), nullptr,
                                             owner_s.c_str(), &layer);
    if (status != 0) return status;
    if (layer == nullptr || layer->id == 0) return SE_TABLE_NOEXIST;
    db_log_layer_id(*log) = layer->id;
    snprintf(log->column, sizeof log->column, "%.*s", (int)strnlen(layer->spatial_column, sizeof layer->spatial_column),
             layer->spatial_column);
  }

  std::string sql = fmt("INSERT INTO %s (  logfile_name,  logfile_id,  logfile_data_id,  registration_id,"
                        "  flags,  session_tag) VALUES ('%s',%d,%d,%d,%d,%d)",
                        tables_of(instance, owner).c_str(), name, id, id, db_log_reg_id(*log),
                        log->flags, tag);
  status = db_log_execute(instance, sql.c_str(), 0);
  if (status != 0) return status;
  snprintf(log->name, sizeof log->name, "%s.%s", owner, name);
  log->id = id;
  log->data_id = id;
  log->session_tag = (uint32_t)tag;
  return 0;
}

int32_t db_log_is_open(DB_INSTANCE* instance, const char* name) {
  if (!instance->logfile_in_use) return 0;
  char owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, name, instance->current_user, nullptr, owner, table) != 0) return 0;
  for (DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(instance->logfiles); h != nullptr; h = h->next) {
    char o[SE_NAME_OWNER_LEN], t[SE_NAME_TABLE_LEN];
    if (db_log_parse_name(instance, h->log.name, instance->current_user, nullptr, o, t) != 0) continue;
    if (strcmp(o, owner) == 0 && strcmp(t, table) == 0) return 1;
  }
  return 0;
}

int32_t db_log_remove(DB_INSTANCE* instance, const char* name) {
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (name == nullptr || name[0] == '\0') return SE_INVALID_PARAM;
  if (db_log_is_open(instance, name)) return SE_LOGFILE_IS_OPEN;
  char owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, name, instance->current_user, nullptr, owner, table) != 0)
    return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, owner)) return SE_LOGFILE_OFF;
  LOGFILE* list = nullptr;
  int32_t count = 0;
  std::string filter = fmt("logfile_name = '%s'", table);
  int32_t status = db_log_select(instance, owner, filter.c_str(), &list, &count);
  if (status != 0) return status;
  std::string sql = fmt("DELETE FROM %s WHERE logfile_name = '%s'", tables_of(instance, owner).c_str(), table);
  status = db_log_execute(instance, sql.c_str(), 1);
  if (status == 0 && count > 0 && (list[0].flags & SE_LOG_DELETE_DATA)) {
    int32_t r = delete_data(instance, owner, list[0].data_id, 1);
    if (!is_success(r)) status = r;
  }
  free(list);
  return status;
}

int32_t DB_log_delete(DB_INSTANCE* instance, const char* name) {
  DB_instance_clear_xerr(instance);
  return db_log_remove(instance, name);
}

int32_t DB_log_alter(DB_INSTANCE* instance, const LOGFILE* log) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (log == nullptr) return SE_INVALID_PARAM;
  char owner[SE_NAME_OWNER_LEN];
  if (db_log_parse_name(instance, log->name, instance->current_user, nullptr, owner, nullptr) != 0)
    return SE_INVALID_PARAM;
  if (!db_log_may_write(instance, owner)) return SE_LOGFILE_OFF;
  std::string sql = fmt("UPDATE %s SET  flags = %d  WHERE logfile_id = %d",
                        tables_of(instance, owner).c_str(), log->flags, log->id);
  return db_log_execute(instance, sql.c_str(), 0);
}

int32_t DB_log_get_by_name(DB_INSTANCE* instance, const char* name, LOGFILE* out) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (name == nullptr || name[0] == '\0' || out == nullptr) return SE_INVALID_PARAM;
  char owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
  if (db_log_parse_name(instance, name, instance->current_user, nullptr, owner, table) != 0)
    return SE_INVALID_PARAM;
  LOGFILE* list = nullptr;
  int32_t count = 0;
  std::string filter = fmt("logfile_name = '%s'", table);
  int32_t status = db_log_select(instance, owner, filter.c_str(), &list, &count);
  if (status != 0) return status;
  if (count == 0) return SE_LOGFILE_NOEXIST;
  *out = list[0];
  free(list);
  return 0;
}

int32_t DB_log_get_by_owner(DB_INSTANCE* instance, const char* owner, LOGFILE** list,
                            int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (list == nullptr || count == nullptr) return SE_INVALID_PARAM;
  *list = nullptr;
  *count = 0;
  if (owner != nullptr && strchr(owner, '\'') != nullptr) return SE_INVALID_PARAM;
  if (owner != nullptr && strnlen(owner, SE_NAME_OWNER_LEN) >= SE_NAME_OWNER_LEN) return SE_INVALID_PARAM;
  return db_log_select(instance, owner, nullptr, list, count);
}

int32_t DB_log_get_by_table(DB_INSTANCE* instance, const char* owner, const char* table,
                            LOGFILE** list, int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (table == nullptr || table[0] == '\0' || list == nullptr || count == nullptr)
    return SE_INVALID_PARAM;
  *list = nullptr;
  *count = 0;
  if (owner != nullptr && (strchr(owner, '\'') != nullptr || strnlen(owner, SE_NAME_OWNER_LEN) >= SE_NAME_OWNER_LEN))
    return SE_INVALID_PARAM;
  if (instance->params.registration_by_name == nullptr) return SE_TABLE_NOEXIST;
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  int32_t status = instance->params.registration_by_name(instance->params.ctx, table, &reg);
  if (status != 0) return status;
  std::string filter = fmt("(registration_id = %d)", reg.id);
  return db_log_select(instance, owner, filter.c_str(), list, count);
}

int32_t DB_log_count(DB_INSTANCE* instance, const LOGFILE* log, int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (count != nullptr) *count = 0;
  if (log == nullptr || count == nullptr) return SE_INVALID_PARAM;
  char owner[SE_NAME_OWNER_LEN];
  if (db_log_parse_name(instance, log->name, instance->current_user, nullptr, owner, nullptr) != 0)
    return SE_INVALID_PARAM;
  for (DB_OPEN_LOG* h = static_cast<DB_OPEN_LOG*>(instance->logfiles); h != nullptr; h = h->next) {
    if (h->log.id != log->id || h->mode == SE_LOG_OPEN_READ) continue;
    int32_t status = db_log_flush(instance, h);
    if (status != 0) return status;
  }
  std::string sql = fmt("SELECT count(DISTINCT zul_row_id)  FROM  %s  WHERE logfile_data_id = %d",
                        data_of(instance, owner).c_str(), log->data_id);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;
  SQLINTEGER value = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &value, 0, &ind);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (rc == SQL_NO_DATA) return 0;
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  *count = ind == SQL_NULL_DATA ? 0 : value;
  return 0;
}

int32_t DB_log_make_name(DB_INSTANCE* instance, char* name) {
  DB_instance_clear_xerr(instance);
  if (!instance->logfile_in_use) return SE_LOGFILE_OFF;
  if (name == nullptr) return SE_INVALID_POINTER;
  snprintf(name, SE_LOGFILE_NAME_LEN, "%s.XX%.8d_%d", instance->current_user,
           instance->logfile_session_tag, instance->logfile_name_counter);
  ++instance->logfile_name_counter;
  return 0;
}

// ---- 5. grants and the tables ----------------------------------------------------------

namespace {

// GRANT SELECT on one table to PUBLIC, committed. -62 when the database
// answers that it was done before.
int32_t grant_select(DB_INSTANCE* instance, const std::string& table, const char* grantee, bool grant) {
  std::string sql = grant ? fmt("GRANT SELECT ON %s TO %s", table.c_str(), grantee)
                          : fmt("REVOKE SELECT ON %s FROM %s", table.c_str(), grantee);
  return db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
}

int32_t grant_or_revoke(DB_INSTANCE* instance, const char* owner, const char* grantee, bool grant) {
  DB_instance_clear_xerr(instance);
  if (owner == nullptr || grantee == nullptr || owner[0] == '\0' || grantee[0] == '\0')
    return SE_INVALID_PARAM;
  if (strcasecmp(owner, instance->current_user) != 0 && strcmp(instance->current_user, SE_ADMIN_USER) != 0)
    return SE_LOGFILE_OFF;
  if (strchr(owner, '\'') != nullptr || strnlen(owner, SE_NAME_OWNER_LEN) >= SE_NAME_OWNER_LEN)
    return SE_INVALID_PARAM;
  char own[SE_NAME_OWNER_LEN];
  copy_text(own, sizeof own, owner);
  db_upcase_identifier(instance, own, sizeof own);
  std::string tables = tables_of(instance, own), data = data_of(instance, own);
  int32_t status = grant ? DB_table_grant_access(instance, tables.c_str(), 2, 0, grantee)
                         : DB_table_revoke_access(instance, tables.c_str(), 2, grantee);
  if (status != 0 && status != SE_TABLE_EXISTS) return status;
  return grant ? DB_table_grant_access(instance, data.c_str(), 2, 0, grantee)
               : DB_table_revoke_access(instance, data.c_str(), 2, grantee);
}

}  // namespace

int32_t DB_log_grant_access(DB_INSTANCE* instance, const char* owner, const char* grantee) {
  return grant_or_revoke(instance, owner, grantee, true);
}

int32_t DB_log_revoke_access(DB_INSTANCE* instance, const char* owner, const char* grantee) {
  return grant_or_revoke(instance, owner, grantee, false);
}

int32_t DB_log_system_tables_exist(DB_INSTANCE* instance) {
  for (const std::string& table : {tables_of(instance, instance->current_user),
                                   data_of(instance, instance->current_user)}) {
    std::string sql = fmt("SELECT logfile_data_id FROM %s ", table.c_str());
    Stmt s;
    if (db_prepare_stmt(instance, nullptr, &s.h, sql.c_str()) != 0) return SE_TABLE_NOEXIST;
  }
  return 0;
}

int32_t DB_log_system_tables_create(DB_INSTANCE* instance) {
  const char* user = instance->current_user;
  std::string keyword = fmt("LOGFILE_%s", user);
  DBTUNE_LOGFILE_PARAMS params;
  memset(&params, 0, sizeof params);
  // A database without a readable dbtune table gets the DBMS defaults, as
  // one whose table has neither keyword.
  int32_t status = db_dbtune_get_logfile_params(instance, &params, keyword.c_str());
  if (status != 0) memset(&params, 0, sizeof params);
  DB_instance_clear_xerr(instance);
  bool found = params.count > 0;
  if (!found)
    SES_print_debug(stdout,
                    "Warning: DBTUNE file does not contain either LOGFILE_DEFAULTS or %s keywords. "
                    "ZUL logfile system tables will be created using DBMS default values for user '%s'.\n",
                    keyword.c_str(), user);
  auto storage = [&](const char* text) { return found && text != nullptr ? std::string(text) : std::string(); };
  std::string tables = tables_of(instance, user), data = data_of(instance, user);

  auto fail = [&](const std::string& line, int32_t code) {
    fprintf(stderr, "%s", line.c_str());
    EXTENDED_ERROR x = DB_instance_get_xerr(instance);
    fprintf(stderr, "DBMS error code: %d\n%s\n%s\n", (int)x.native, x.msg, x.ext_msg);
    (void)code;
    return SE_LOGFILE_TABLES_FAILED;
  };

  std::string sql = fmt("CREATE TABLE %s (  logfile_name    VARCHAR(64) NOT NULL,  logfile_id      INTEGER NOT NULL "
                        "GENERATED BY DEFAULT AS IDENTITY,  logfile_data_id INTEGER NOT NULL,  registration_id "
                        "INTEGER NOT NULL,  flags           INTEGER NOT NULL,  session_tag     INTEGER NOT NULL,  "
                        "CONSTRAINT %ssl1 PRIMARY KEY (logfile_id),  CONSTRAINT %ssl2 UNIQUE (logfile_name),  "
                        "CONSTRAINT %ssl3 UNIQUE (logfile_data_id)) ",
                        tables.c_str(), user, user, user) + storage(params.LF_STORAGE);
  status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  if (status != 0 && status != SE_TABLE_EXISTS)
    return fail(fmt("Unable to create the %s table, error = %d.\n", tables.c_str(), status), status);

  sql = fmt("CREATE TABLE %s (  logfile_data_id INTEGER NOT NULL,  zul_row_id      INTEGER NOT NULL) ",
            data.c_str()) + storage(params.LD_STORAGE);
  status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  if (status != 0 && status != SE_TABLE_EXISTS)
    return fail(fmt("Unable to create the %s table, error = %d.\n", data.c_str(), status), status);

  sql = fmt("CREATE INDEX %s ON %s (logfile_data_id,zul_row_id)", "zul_logfile_data_1", data.c_str()) +
        storage(params.LD_INDEX_DATA_ID);
  status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  if (status != 0 && status != SE_INDEX_EXISTS)
    return fail(fmt("Unable to create the %sj index, error = %d.\n", "zul_logfile_data_1", status), status);

  sql = fmt("CREATE INDEX %s ON %s (zul_row_id)", "zul_logfile_data_2", data.c_str()) +
        storage(params.LD_INDEX_ROWID);
  status = db_execute_ddlsql(instance, sql.c_str(), 1, DB_MODE_DDL_COMMIT);
  if (status != 0 && status != SE_INDEX_EXISTS)
    return fail(fmt("Unable to create the %s index, error = %d.\n", "zul_logfile_data_2", status), status);

  for (const std::string& table : {tables, data}) {
    status = grant_select(instance, table, "PUBLIC", true);
    if (status != 0 && status != SE_TABLE_EXISTS)
      return fail(fmt("Unable to GRANT SELECT ON %s TO PUBLIC, error = %d.\n", table.c_str(), status), status);
  }
  return 0;
}
