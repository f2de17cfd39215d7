// db_metadata.cpp -- metadata rows of the ZUL schema: read by id, scanned in
// record-id order, and changed only through the procedures
// zul_insert_metadata, zul_delete_metadata and zul_update_metadata.
//
// The scan of DB_metadata_first and DB_metadata_next keeps its statement in
// the instance (scans[1]); it is freed at the end of the rows and after a
// failure. Texts stored as NULL come back empty; the creation date comes
// back as a calendar time of the local time zone.
//
// The delete procedure takes ten ids a call; longer lists go in calls of ten
// and the unit of work is committed once after the last. Names from callers
// reach SQL literals with their quotes doubled.
// Relies on the access core (dbsql_io.h), the object names and the
// procedures' message-code mapping (db_sp_set_message_error).
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_install.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"
#include "db_text.h"

namespace {

constexpr const char* kSelectList =
    "SELECT record_id, object_name, object_database, object_owner, object_type, class_name, property, "
    "prop_value, description, creation_date";
constexpr int kScan = 1;  // the instance's metadata scan slot
constexpr int kIdsPerCall = 10;

using dbtext::fmt;
using dbtext::ok;
using dbtext::quoted;
using dbtext::Stmt;

void record_cli_error(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
}

std::string metadata_table(DB_INSTANCE* instance) {
  char name[SE_DB_QUALIFIED_LEN];
  db_make_metadata_table_name(instance, name);
  return name;
}

// The bound row of a read.
struct Row {
  SQLINTEGER id, type;
  char name[160], database[32], owner[32], cls[32], property[32], value[255], description[65];
  SQLLEN ind[10];
  SQL_TIMESTAMP_STRUCT date;
};

SQLRETURN bind_columns(SQLHSTMT h, Row* r) {
  memset(r, 0, sizeof *r);
  SQLRETURN rc = SQLBindCol(h, 1, SQL_C_LONG, &r->id, 0, &r->ind[0]);
  if (ok(rc)) rc = SQLBindCol(h, 2, SQL_C_CHAR, r->name, sizeof r->name, &r->ind[1]);
  if (ok(rc)) rc = SQLBindCol(h, 3, SQL_C_CHAR, r->database, sizeof r->database, &r->ind[2]);
  if (ok(rc)) rc = SQLBindCol(h, 4, SQL_C_CHAR, r->owner, sizeof r->owner, &r->ind[3]);
  if (ok(rc)) rc = SQLBindCol(h, 5, SQL_C_LONG, &r->type, 0, &r->ind[4]);
  if (ok(rc)) rc = SQLBindCol(h, 6, SQL_C_CHAR, r->cls, sizeof r->cls, &r->ind[5]);
  if (ok(rc)) rc = SQLBindCol(h, 7, SQL_C_CHAR, r->property, sizeof r->property, &r->ind[6]);
  if (ok(rc)) rc = SQLBindCol(h, 8, SQL_C_CHAR, r->value, sizeof r->value, &r->ind[7]);
  if (ok(rc)) rc = SQLBindCol(h, 9, SQL_C_CHAR, r->description, sizeof r->description, &r->ind[8]);
  if (ok(rc)) rc = SQLBindCol(h, 10, SQL_C_TYPE_TIMESTAMP, &r->date, sizeof r->date, &r->ind[9]);
  return rc;
}

void fill(const Row& r, METADATA_RECORD* out) {
  memset(out, 0, sizeof *out);
  out->id = r.id;
  out->object_type = r.type;
  auto put = [](char* dst, size_t cap, const char* src, size_t src_cap, SQLLEN ind) {
    if (ind <= 0) {
      dst[0] = '\0';
      return;
    }
    size_t n = strnlen(src, src_cap);
    if (n >= cap) n = cap - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
  };
  put(out->object_name, sizeof out->object_name, r.name, sizeof r.name, r.ind[1]);
  put(out->object_database, sizeof out->object_database, r.database, sizeof r.database, r.ind[2]);
  put(out->object_owner, sizeof out->object_owner, r.owner, sizeof r.owner, r.ind[3]);
  put(out->class_name, sizeof out->class_name, r.cls, sizeof r.cls, r.ind[5]);
  put(out->property, sizeof out->property, r.property, sizeof r.property, r.ind[6]);
  put(out->value, sizeof out->value, r.value, sizeof r.value, r.ind[7]);
  put(out->description, sizeof out->description, r.description, sizeof r.description, r.ind[8]);
  if (r.ind[9] > 0 || r.ind[9] == (SQLLEN)sizeof r.date) {
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_year = r.date.year - 1900;
    tm.tm_mon = r.date.month - 1;
    tm.tm_mday = r.date.day;
    tm.tm_hour = r.date.hour;
    tm.tm_min = r.date.minute;
    tm.tm_sec = r.date.second;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    out->date_modified = t == (time_t)-1 ? 0 : (uint32_t)t;
  }
}

// A text parameter of a procedure call, NULL when empty and allowed to be.
SQLRETURN bind_text(SQLHSTMT h, SQLUSMALLINT pos, const char* text, size_t cap, bool null_when_empty,
                    SQLLEN* ind) {
  size_t n = strnlen(text, cap);
  *ind = n == 0 && null_when_empty ? SQL_NULL_DATA : (SQLLEN)n;
  return SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, cap, 0, (SQLPOINTER)text,
                          (SQLLEN)cap, ind);
}

SQLRETURN bind_int(SQLHSTMT h, SQLUSMALLINT pos, SQLSMALLINT io, SQLINTEGER* value, SQLLEN* ind) {
  *ind = 0;
  return SQLBindParameter(h, pos, io, SQL_C_LONG, SQL_INTEGER, 0, 0, value, 0, ind);
}

SQLRETURN bind_message(SQLHSTMT h, SQLUSMALLINT pos, char* message, SQLLEN cap, SQLLEN* ind) {
  *ind = 0;
  return SQLBindParameter(h, pos, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message, cap, ind);
}

int32_t procedure_failed(DB_INSTANCE* instance, int32_t code, const char* message) {
  int32_t status = code > -20999 && code < -20000 ? code + 20000 : SE_DB_IO_ERROR;
  DB_instance_clear_xerr(instance);
  instance->xerr.code = status;
  instance->xerr.native = status == SE_DB_IO_ERROR ? code : 0;
  snprintf(instance->xerr.msg, sizeof instance->xerr.msg, "%s", message);
  return status;
}

// One call of zul_delete_metadata with up to ten ids (-1 in the rest).
int32_t delete_ten(DB_INSTANCE* instance, const int32_t* ids, int32_t n) {
  char call[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, "zul_delete_metadata", 0, call);
  std::string sql = fmt("call %s (?,?,?,?,?,?,?,?,?,?,?,?)", call);
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLINTEGER values[kIdsPerCall], code = 0;
  SQLLEN ind[kIdsPerCall + 2];
  char message[1025] = "";
  SQLRETURN rc = SQL_SUCCESS;
  for (int i = 0; i < kIdsPerCall && ok(rc); ++i) {
    values[i] = i < n ? ids[i] : -1;
    rc = bind_int(s.h, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, &values[i], &ind[i]);
  }
  if (ok(rc)) rc = bind_int(s.h, 11, SQL_PARAM_OUTPUT, &code, &ind[10]);
  if (ok(rc)) rc = bind_message(s.h, 12, message, sizeof message, &ind[11]);
  if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  if (code != 0) return procedure_failed(instance, code, ("Error executing stored procedure " + std::string(call)).c_str());
  return 0;
}

// Prepares, binds, executes and fetches the first row of a read on *h.
int32_t first_row(DB_INSTANCE* instance, SQLHSTMT* h, const std::string& sql, Row* row, bool record_prepare) {
  int32_t status = db_prepare_stmt(instance, nullptr, h, sql.c_str());
  if (status != 0) {
    if (record_prepare && *h != SQL_NULL_HSTMT) record_cli_error(instance, h, status);
    db_free_stmt(h);
    return status;
  }
  SQLRETURN rc = bind_columns(*h, row);
  if (!ok(rc)) {
    record_cli_error(instance, h, rc);
    db_free_stmt(h);
    return SE_DB_IO_ERROR;
  }
  SQLULEN rows = 0;
  status = db_execute_fetch(instance, *h, 1, 1, &rows);
  if (status != 0) {
    if (status == SE_NO_DATA_BLOCK_END) {
      DB_DIAG_RECORD d = db_get_diag_record(instance, h, SQL_NO_DATA);
      d.native = SE_NO_DATA_BLOCK_END;
      snprintf(d.message, sizeof d.message, "No data found");
      db_report_dbms_error(instance, d);
    }
    SES_print_debug(stderr, "S_metadata_get_info Execute/Fetch error (%d).\n", (int)status);
    db_free_stmt(h);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

}  // namespace

int32_t DB_metadata_get_info_by_id(DB_INSTANCE* instance, int32_t id, METADATA_RECORD* out) {
  DB_instance_clear_xerr(instance);
  if (out == nullptr) return SE_INVALID_POINTER;
  std::string sql = fmt("%s FROM %s WHERE record_id = %d", kSelectList, metadata_table(instance).c_str(), id);
  Stmt s;
  Row row;
  int32_t status = first_row(instance, &s.h, sql, &row, true);
  if (status != 0) return status;
  fill(row, out);
  return 0;
}

int32_t DB_metadata_first(DB_INSTANCE* instance, METADATA_RECORD* out, const char* where,
                          const char* object) {
  if (out == nullptr) return SE_INVALID_POINTER;
  std::string table = metadata_table(instance);
  std::string sql;
  if (where != nullptr && where[0] != '\0') {
    sql = fmt("%s FROM %s WHERE %s ORDER BY record_id", kSelectList, table.c_str(), where);
  } else if (object != nullptr && object[0] != '\0') {
    char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
    db_parse_table_name(instance, object, instance->current_user, db, owner, name);
    const char* first_dot = strchr(object, '.');
    bool three = first_dot != nullptr && strchr(first_dot + 1, '.') != nullptr;
    std::string n = quoted(name, sizeof name), o = quoted(owner, sizeof owner);
    if (three)
      sql = fmt("%s FROM %s WHERE object_name = '%s'  AND object_owner = '%s' AND object_database = '%s' "
                "ORDER BY record_id",
                kSelectList, table.c_str(), n.c_str(), o.c_str(), quoted(db, sizeof db).c_str());
    else
      sql = fmt("%s FROM %s WHERE object_name = '%s'  AND object_owner = '%s' ORDER BY record_id", kSelectList,
                table.c_str(), n.c_str(), o.c_str());
  } else {
    sql = fmt("%s FROM %s ORDER BY record_id", kSelectList, table.c_str());
  }
  db_free_stmt(&instance->scans[kScan]);
  Row row;
  int32_t status = first_row(instance, &instance->scans[kScan], sql, &row, false);
  if (status != 0) return status;
  fill(row, out);
  return 0;
}

int32_t DB_metadata_next(DB_INSTANCE* instance, METADATA_RECORD* out, const char* where,
                         const char* object) {
  (void)where;
  (void)object;
  if (out == nullptr) return SE_INVALID_POINTER;
  SQLHSTMT* h = &instance->scans[kScan];
  Row row;
  SQLRETURN rc = *h != SQL_NULL_HSTMT ? bind_columns(*h, &row) : SQL_INVALID_HANDLE;
  if (ok(rc)) rc = SQLFetch(*h);
  if (rc == SQL_NO_DATA) {
    db_free_stmt(h);
    return SE_FINISHED;
  }
  if (!ok(rc)) {
    if (*h != SQL_NULL_HSTMT) {
      record_cli_error(instance, h, rc);
    } else {
      DB_DIAG_RECORD d;
      memset(&d, 0, sizeof d);
      d.rc = SQL_INVALID_HANDLE;
      d.native = 112;
      snprintf(d.message, sizeof d.message, "no metadata scan is open");
      db_report_dbms_error(instance, d);
    }
    db_free_stmt(h);
    return SE_DB_IO_ERROR;
  }
  fill(row, out);
  return 0;
}

int32_t DB_sp_metadata_def_insert(DB_INSTANCE* instance, const METADATA_RECORD* records,
                                  int32_t count) {
  if (count > 0 && records == nullptr) return SE_INVALID_POINTER;
  char call[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, "zul_insert_metadata", 0, call);
  std::string sql = fmt("call %s (?,?,?,?,?,?,?,?,?,?,?)", call);
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  for (int32_t i = 0; i < count; ++i) {
    METADATA_RECORD r = records[i];
    SQLINTEGER id = r.id, type = r.object_type, code = 0;
    SQLLEN ind[11];
    char message[1025] = "";
    // every text ends inside its field
    r.object_name[sizeof r.object_name - 1] = r.object_database[sizeof r.object_database - 1] = '\0';
    r.object_owner[sizeof r.object_owner - 1] = r.class_name[sizeof r.class_name - 1] = '\0';
    r.property[sizeof r.property - 1] = r.value[sizeof r.value - 1] = '\0';
    r.description[sizeof r.description - 1] = '\0';
    SQLRETURN rc = bind_int(s.h, 1, SQL_PARAM_INPUT, &id, &ind[0]);
    if (ok(rc)) rc = bind_text(s.h, 2, r.object_name, 160, false, &ind[1]);
    if (ok(rc)) rc = bind_text(s.h, 3, r.object_database, 32, true, &ind[2]);
    if (ok(rc)) rc = bind_text(s.h, 4, r.object_owner, 32, false, &ind[3]);
    if (ok(rc)) rc = bind_int(s.h, 5, SQL_PARAM_INPUT, &type, &ind[4]);
    if (ok(rc)) rc = bind_text(s.h, 6, r.class_name, 32, true, &ind[5]);
    if (ok(rc)) rc = bind_text(s.h, 7, r.property, 32, true, &ind[6]);
    if (ok(rc)) rc = bind_text(s.h, 8, r.value, 255, true, &ind[7]);
    if (ok(rc)) rc = bind_text(s.h, 9, r.description, 64, true, &ind[8]);
    if (ok(rc)) rc = bind_int(s.h, 10, SQL_PARAM_OUTPUT, &code, &ind[9]);
    if (ok(rc)) rc = bind_message(s.h, 11, message, sizeof message, &ind[10]);
    if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!ok(rc)) {
      record_cli_error(instance, &s.h, rc);
      return SE_DB_IO_ERROR;
    }
    SQLFreeStmt(s.h, SQL_CLOSE);
    if (code != 0)
      return procedure_failed(instance, code, "Error executing stored procedure zul.metadata_util.insert_metadata");
  }
  return 0;
}

int32_t DB_sp_metadata_def_delete(DB_INSTANCE* instance, int32_t count, const int32_t* ids) {
  if (count < 0 || (count > 0 && ids == nullptr)) return SE_INVALID_PARAM;
  int32_t done = 0;
  do {
    int32_t n = count - done < kIdsPerCall ? count - done : kIdsPerCall;
    int32_t status = delete_ten(instance, ids + done, n);
    if (status != 0) return status;
    done += n;
  } while (done < count);
  return db_commit_ddlsql(instance);
}

int32_t db_metadata_delete_selected(DB_INSTANCE* instance, const char* sql) {
  std::vector<int32_t> ids;
  {
    Stmt s;
    int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
    if (status != 0) return status;
    SQLINTEGER block[kIdsPerCall];
    SQLLEN ind[kIdsPerCall];
    SQLRETURN rc = SQLSetStmtAttr(s.h, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)kIdsPerCall, 0);
    if (ok(rc)) rc = SQLExecute(s.h);
    if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, block, 0, ind);
    while (ok(rc)) {
      SQLULEN fetched = 0;
      SQLUSMALLINT row_status[kIdsPerCall];
      rc = SQLExtendedFetch(s.h, SQL_FETCH_NEXT, kIdsPerCall, &fetched, row_status);
      if (!ok(rc)) break;
      for (SQLULEN i = 0; i < fetched && i < (SQLULEN)kIdsPerCall; ++i) {
        try {
          ids.push_back(block[i]);
        } catch (...) {
          return SE_OUT_OF_DBMS_MEM;
        }
      }
    }
    if (rc != SQL_NO_DATA) {
      record_cli_error(instance, &s.h, rc);
      return SE_DB_IO_ERROR;
    }
  }
  return DB_sp_metadata_def_delete(instance, (int32_t)ids.size(), ids.data());
}

int32_t DB_sp_metadata_def_delete_by_where(DB_INSTANCE* instance, const REGISTRATION* reg,
                                           const char* where) {
  if (reg == nullptr) return SE_INVALID_POINTER;
  const char* rest = db_sql_strip_where(where);
  std::string sql = fmt("SELECT m.record_id FROM %s m WHERE m.object_type = %d AND    m.object_database = '%s' "
                        "AND m.object_owner = '%s' AND    m.object_name = '%s'",
                        metadata_table(instance).c_str(), SE_META_OBJECT_TABLE,
                        quoted(reg->database, sizeof reg->database).c_str(),
                        quoted(reg->owner, sizeof reg->owner).c_str(), quoted(reg->table, sizeof reg->table).c_str());
  if (rest != nullptr) sql = fmt("%s AND (%s)", sql.c_str(), rest);
  return db_metadata_delete_selected(instance, sql.c_str());
}

int32_t DB_sp_metadata_def_update(DB_INSTANCE* instance, const METADATA_RECORD* record) {
  if (record == nullptr) return SE_INVALID_POINTER;
  char call[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, "zul_update_metadata", 0, call);
  std::string sql = fmt("call %s (?,?,?,?,?,?,?,?)", call);
  METADATA_RECORD r = *record;
  r.class_name[sizeof r.class_name - 1] = r.property[sizeof r.property - 1] = '\0';
  r.value[sizeof r.value - 1] = r.description[sizeof r.description - 1] = '\0';
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  SQL_TIMESTAMP_STRUCT stamp;
  memset(&stamp, 0, sizeof stamp);
  stamp.year = (SQLSMALLINT)(tm.tm_year + 1900);
  stamp.month = (SQLUSMALLINT)(tm.tm_mon + 1);
  stamp.day = (SQLUSMALLINT)tm.tm_mday;
  stamp.hour = (SQLUSMALLINT)tm.tm_hour;
  stamp.minute = (SQLUSMALLINT)tm.tm_min;
  stamp.second = (SQLUSMALLINT)tm.tm_sec;
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLINTEGER id = r.id, code = 0;
  SQLLEN ind[8];
  char message[1025] = "";
  SQLRETURN rc = bind_int(s.h, 1, SQL_PARAM_INPUT, &id, &ind[0]);
  if (ok(rc)) rc = bind_text(s.h, 2, r.class_name, 32, true, &ind[1]);
  if (ok(rc)) rc = bind_text(s.h, 3, r.property, 32, true, &ind[2]);
  if (ok(rc)) rc = bind_text(s.h, 4, r.value, 255, true, &ind[3]);
  if (ok(rc)) rc = bind_text(s.h, 5, r.description, 64, true, &ind[4]);
  ind[5] = 0;
  if (ok(rc))
    rc = SQLBindParameter(s.h, 6, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &stamp,
                          sizeof stamp, &ind[5]);
  if (ok(rc)) rc = bind_int(s.h, 7, SQL_PARAM_OUTPUT, &code, &ind[6]);
  if (ok(rc)) rc = bind_message(s.h, 8, message, sizeof message, &ind[7]);
  if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  if (code != 0)
    return procedure_failed(instance, code, "Error executing stored procedure zul.metadata_util.update_metadata");
  return 0;
}
