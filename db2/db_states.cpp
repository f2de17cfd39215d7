// db_states.cpp -- direct reads of ZUL.states: the scan (rowsets of 100,
// optional where clause, optional lineages), one state by id, whether a
// state has children or versions, a state's lineage from
// ZUL.state_lineages, and the registered tables modified in a set of
// states. Also the first row of the states table, the obsolete entry
// points, and the parent scan of the lineage rebuild.
//
// Notes:
//   1. Every cursor and statement lives in the module storage of the
//      instance (db_version_private.h) and serves the connection's thread.
//   2. Scan: closed --op 1--> active --op 2 ... -4 or op 3 or a failure-->
//      closed. A second op 1 restarts it. The lineage statement belongs to
//      the scan and is dropped when the scan ends.
//   3. The lineage data the scan handed out last is the scan's: it is freed
//      at the next read into a record or at the end of the scan. Records
//      filled by DB_state_get_by_id own their lineage (free()).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "../comm/bitmap.h"
#include "db_version_private.h"
#include "svr_services.h"
#include "zul_db_tables.h"

using namespace dbv;

namespace {

enum Reader { kById = 0, kByParent = 1, kByVersion = 2 };

void fill_state(STATE* s, SQLINTEGER id, const char* owner, const SQL_TIMESTAMP_STRUCT& created,
                const SQL_TIMESTAMP_STRUCT& closed, bool closed_null, SQLINTEGER lineage_name) {
  memset(s, 0, sizeof *s);
  memcpy(s->tag, SE_STATE_TAG, sizeof s->tag);
  s->id = id;
  copy_field(s->owner, sizeof s->owner, owner);
  s->creation_time = timestamp_seconds(created);
  s->closing_time = closed_null ? 0 : timestamp_seconds(closed);
  s->lineage_name = lineage_name;
}

// Prepares the lineage statement once.
int32_t prepare_lineage(DB_INSTANCE* instance, Storage* st) {
  if (st->lineage_stmt != SQL_NULL_HSTMT) return 0;
  const char* sql =
      "SELECT lineage_id FROM   zul.state_lineages WHERE  lineage_name = ? AND lineage_id <= ? "
      "ORDER BY lineage_id";
  int32_t status = db_prepare_stmt(instance, nullptr, &st->lineage_stmt, sql);
  SQLRETURN rc = SQL_SUCCESS;
  if (status == 0) {
    for (SQLUSMALLINT i = 0; i < 2 && ok(rc); ++i)
      rc = SQLBindParameter(st->lineage_stmt, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_LONG,
                            SQL_INTEGER, 0, 0, &st->lineage_params[i], 0, &st->lineage_param_ind[i]);
    if (ok(rc))
      rc = SQLBindCol(st->lineage_stmt, 1, SQL_C_LONG, st->lineage_ids, 0, st->lineage_ind);
    if (!ok(rc)) status = SE_DB_IO_ERROR;
  }
  if (status != 0) {
    if (st->lineage_stmt != SQL_NULL_HSTMT) report(instance, &st->lineage_stmt, status);
    db_free_stmt(&st->lineage_stmt);
  }
  return status;
}

// Reads the lineage of state id of lineage name into s (lineage length and
// data, owned by s). 0, -172 without rows, -51, -12.
int32_t read_lineage(DB_INSTANCE* instance, Storage* st, int32_t name, int32_t id, STATE* s) {
  int32_t status = prepare_lineage(instance, st);
  if (status != 0) return status;
  st->lineage_params[0] = name;
  st->lineage_params[1] = id;
  SQLFreeStmt(st->lineage_stmt, SQL_CLOSE);
  SQLRETURN rc = SQLExecute(st->lineage_stmt);
  if (!ok(rc)) return report(instance, &st->lineage_stmt, rc);
  std::vector<int32_t> ids;
  for (;;) {
    SQLULEN rows = 0;
    status = db_fetch_rows(st->lineage_stmt, kRowset, &rows);
    if (status == DB_NO_DATA_BLOCK_END) break;
    if (status != 0) {
      SQLFreeStmt(st->lineage_stmt, SQL_CLOSE);
      return report(instance, &st->lineage_stmt, SQL_ERROR);
    }
    ids.insert(ids.end(), st->lineage_ids, st->lineage_ids + rows);
    if (rows < (SQLULEN)kRowset) break;
  }
  rc = SQLFreeStmt(st->lineage_stmt, SQL_CLOSE);
  if (!ok(rc)) return report(instance, &st->lineage_stmt, rc);
  if (ids.empty()) return SE_STATE_NOEXIST;
  uint8_t* data = nullptr;
  status = db_state_lineage_pack(ids.data(), (int32_t)ids.size() - 1, &data);
  if (status != 0) return status;
  s->lineage = data;
  s->lineage_length = (int32_t)ids.size() - 1;
  return 0;
}

void end_scan(Storage* st) {
  db_free_stmt(&st->scan_stmt);
  db_free_stmt(&st->lineage_stmt);
  free(st->scan_rowset);
  st->scan_rowset = nullptr;
  free(st->scan_lineage);
  st->scan_lineage = nullptr;
  st->scan_active = false;
  st->scan_at_end = false;
  st->scan_rows = st->scan_pos = 0;
}

// Fetches the next rowset of the scan; the end of data sets the end flag.
int32_t fetch_rowset(DB_INSTANCE* instance, Storage* st) {
  st->scan_rows = st->scan_pos = 0;
  int32_t status = db_fetch_rows(st->scan_stmt, kRowset, &st->scan_rows);
  if (status == DB_NO_DATA_BLOCK_END) {
    st->scan_at_end = true;
    st->scan_rows = 0;
    return 0;
  }
  if (status != 0) {
    report(instance, &st->scan_stmt, SQL_ERROR);
    end_scan(st);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

int32_t start_scan(DB_INSTANCE* instance, Storage* st, const char* select, const char* where,
                   int32_t lineage) {
  if (st->scan_active) {
    db_free_stmt(&st->scan_stmt);
    memset(st->scan_rowset, 0, sizeof *st->scan_rowset);
    free(st->scan_lineage);
    st->scan_lineage = nullptr;
  } else {
    st->scan_rowset = static_cast<StateRowset*>(calloc(1, sizeof(StateRowset)));
    if (st->scan_rowset == nullptr) {
      db_free_stmt(&st->lineage_stmt);
      return SE_OUT_OF_DBMS_MEM;
    }
  }
  st->scan_active = false;
  st->scan_at_end = false;
  st->scan_rows = st->scan_pos = 0;
  int32_t status = lineage ? prepare_lineage(instance, st) : 0;
  std::string sql = std::string(select) + " FROM ZUL.states " +
                    (where != nullptr ? std::string("WHERE ") + where : std::string("  "));
  if (status == 0) status = db_prepare_stmt(instance, nullptr, &st->scan_stmt, sql.c_str());
  if (status != 0) {
    if (st->scan_stmt != SQL_NULL_HSTMT) report(instance, &st->scan_stmt, status);
    end_scan(st);
    return status;
  }
  StateRowset* r = st->scan_rowset;
  SQLRETURN rc = SQLBindCol(st->scan_stmt, 1, SQL_C_LONG, r->id, 0, r->ind[0]);
  if (ok(rc)) rc = SQLBindCol(st->scan_stmt, 2, SQL_C_CHAR, r->owner, kOwnerCap, r->ind[1]);
  if (ok(rc)) rc = SQLBindCol(st->scan_stmt, 3, SQL_C_TYPE_TIMESTAMP, r->created, sizeof r->created[0], r->ind[2]);
  if (ok(rc)) rc = SQLBindCol(st->scan_stmt, 4, SQL_C_TYPE_TIMESTAMP, r->closed, sizeof r->closed[0], r->ind[3]);
  if (ok(rc)) rc = SQLBindCol(st->scan_stmt, 5, SQL_C_LONG, r->lineage_name, 0, r->ind[4]);
  if (ok(rc)) rc = SQLBindCol(st->scan_stmt, 6, SQL_C_LONG, r->id2, 0, r->ind[5]);
  if (ok(rc)) rc = SQLExecute(st->scan_stmt);
  if (!ok(rc)) {
    report(instance, &st->scan_stmt, rc);
    end_scan(st);
    return SE_DB_IO_ERROR;
  }
  status = fetch_rowset(instance, st);
  if (status != 0) return status;
  st->scan_active = true;
  return 0;
}

int32_t next_state(DB_INSTANCE* instance, Storage* st, int32_t lineage, STATE* state) {
  if (!st->scan_active) return SE_STATE_SCAN_INACTIVE;
  if (st->scan_pos >= st->scan_rows && !st->scan_at_end) {
    int32_t status = fetch_rowset(instance, st);
    if (status != 0) return status;
  }
  if (st->scan_pos >= st->scan_rows) {
    end_scan(st);
    return SE_SCAN_FINISHED;
  }
  StateRowset* r = st->scan_rowset;
  SQLULEN i = st->scan_pos++;
  free(st->scan_lineage);
  st->scan_lineage = nullptr;
  fill_state(state, r->id[i], r->owner[i], r->created[i], r->closed[i], r->ind[3][i] == SQL_NULL_DATA,
             r->lineage_name[i]);
  if (lineage) {
    int32_t status = read_lineage(instance, st, r->lineage_name[i], r->id[i], state);
    if (status != 0) {
      if (status == SE_STATE_NOEXIST) {
        instance->xerr.code = SE_DB_IO_ERROR;
        snprintf(instance->xerr.msg, sizeof instance->xerr.msg,
                 "state %d has no lineage rows in lineage %d", (int)r->id[i], (int)r->lineage_name[i]);
      }
      end_scan(st);
      return SE_DB_IO_ERROR;
    }
    st->scan_lineage = state->lineage;
  }
  return 0;
}

// The shared single-state reader.
int32_t read_one(DB_INSTANCE* instance, Reader which, int32_t id, int32_t lineage, STATE* out) {
  Storage* st = storage(instance);
  if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
  StateReader& r = st->readers[which];
  if (r.stmt == SQL_NULL_HSTMT) {
    static const char* const kCond[] = {
        "state_id = ?", "parent_state_id = ?",
        "state_id IN (SELECT state_id FROM ZUL.versions WHERE state_id = ?)"};
    std::string sql = std::string("SELECT state_id,owner,creation_time,closing_time,lineage_name FROM ZUL.states WHERE ") +
                      kCond[which];
    int32_t status = db_prepare_stmt(instance, nullptr, &r.stmt, sql.c_str());
    SQLRETURN rc = status == 0 ? SQL_SUCCESS : SQL_ERROR;
    if (ok(rc)) rc = SQLBindCol(r.stmt, 1, SQL_C_LONG, &r.id, 0, &r.ind[0]);
    if (ok(rc)) rc = SQLBindCol(r.stmt, 2, SQL_C_CHAR, r.owner, sizeof r.owner, &r.ind[1]);
    if (ok(rc)) rc = SQLBindCol(r.stmt, 3, SQL_C_TYPE_TIMESTAMP, &r.created, sizeof r.created, &r.ind[2]);
    if (ok(rc)) rc = SQLBindCol(r.stmt, 4, SQL_C_TYPE_TIMESTAMP, &r.closed, sizeof r.closed, &r.ind[3]);
    if (ok(rc)) rc = SQLBindCol(r.stmt, 5, SQL_C_LONG, &r.lineage_name, 0, &r.ind[4]);
    if (ok(rc))
      rc = SQLBindParameter(r.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &r.param, 0,
                            &r.param_ind);
    if (!ok(rc)) {
      std::string state = sqlstate_of(r.stmt);
      if (r.stmt != SQL_NULL_HSTMT) report(instance, &r.stmt, SQL_ERROR);
      db_free_stmt(&r.stmt);
      if (state == "42S02") return SE_TABLE_NOEXIST;
      return status != 0 && status != SQL_ERROR ? status : SE_DB_IO_ERROR;
    }
  } else {
    SQLFreeStmt(r.stmt, SQL_CLOSE);
  }
  r.param = id;
  SQLRETURN rc = SQLExecute(r.stmt);
  if (ok(rc)) rc = SQLFetch(r.stmt);
  if (rc == SQL_NO_DATA) return SE_STATE_NOEXIST;
  if (!ok(rc)) {
    std::string state = sqlstate_of(r.stmt);
    if (state == "42S02") {
      db_free_stmt(&r.stmt);
      return SE_TABLE_NOEXIST;
    }
    report(instance, &r.stmt, rc);
    db_free_stmt(&r.stmt);
    return SE_DB_IO_ERROR;
  }
  if (out != nullptr) {
    fill_state(out, r.id, r.owner, r.created, r.closed, r.ind[3] == SQL_NULL_DATA, r.lineage_name);
    if (lineage) {
      int32_t status = read_lineage(instance, st, r.lineage_name, r.id, out);
      if (status != 0) return status;
    }
  }
  return 0;
}

int32_t has_any(DB_INSTANCE* instance, Reader which, int32_t id, int32_t* result) {
  if (instance == nullptr || result == nullptr) return SE_INVALID_POINTER;
  *result = 0;
  STATE s;
  int32_t status = read_one(instance, which, id, 0, &s);
  if (status == 0) *result = 1;
  return status == SE_STATE_NOEXIST ? 0 : status;
}

}  // namespace

// ---- the scan ---------------------------------------------------------------------------

int32_t DB_state_scan(DB_INSTANCE* instance, int32_t operation, const char* where,
                      int32_t lineage, STATE* state) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  Storage* st = storage(instance);
  if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
  if (operation == SE_SCAN_END) {
    if (st->scan_active) end_scan(st);
    return 0;
  }
  if (operation == SE_SCAN_START)
    return start_scan(instance, st, "SELECT state_id,owner,creation_time,closing_time,lineage_name,state_id",
                      where, lineage);
  if (state == nullptr) return SE_INVALID_POINTER;
  return next_state(instance, st, lineage, state);
}

int32_t DB_state_get_by_id(DB_INSTANCE* instance, int32_t id, int32_t lineage, STATE* state) {
  if (instance == nullptr || state == nullptr) return SE_INVALID_POINTER;
  return read_one(instance, kById, id, lineage, state);
}

int32_t DB_state_has_children(DB_INSTANCE* instance, int32_t id, int32_t* result) {
  return has_any(instance, kByParent, id, result);
}

int32_t DB_state_has_versions(DB_INSTANCE* instance, int32_t id, int32_t* result) {
  return has_any(instance, kByVersion, id, result);
}

// ---- modified tables ----------------------------------------------------------------------

int32_t DB_state_list_get_modified_mvtables(DB_INSTANCE* instance, void* unused,
                                            const char* list, SE_BITMAP* bitmap) {
  (void)unused;
  if (instance == nullptr || list == nullptr || bitmap == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  std::string sql = std::string("SELECT registration_id FROM ZUL.mvtables_modified WHERE state_id IN (") + list + ")";
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) {
    std::string state = sqlstate_of(s.h);
    if (state == "42S02") return 0;
    if (s.h != SQL_NULL_HSTMT) report(instance, &s.h, status);
    return status;
  }
  SQLINTEGER ids[kRowset];
  SQLLEN ind[kRowset];
  SQLRETURN rc = SQLBindCol(s.h, 1, SQL_C_LONG, ids, 0, ind);
  if (ok(rc)) rc = SQLExecute(s.h);
  if (!ok(rc)) return report(instance, &s.h, rc);
  for (;;) {
    SQLULEN rows = 0;
    status = db_fetch_rows(s.h, kRowset, &rows);
    if (status == DB_NO_DATA_BLOCK_END) break;
    if (status != 0) return report(instance, &s.h, SQL_ERROR);
    for (SQLULEN i = 0; i < rows; ++i)
      if (ind[i] != SQL_NULL_DATA && ids[i] > 0) SES_Bitmap_Set(bitmap, ids[i] - 1, 1);
    if (rows < (SQLULEN)kRowset) break;
  }
  return 0;
}

int32_t DB_state_get_modified_mvtables(DB_INSTANCE* instance, const STATE* state,
                                       SE_BITMAP* bitmap) {
  if (state == nullptr) return SE_INVALID_POINTER;
  return DB_state_list_get_modified_mvtables(instance, nullptr, std::to_string(state->id).c_str(),
                                             bitmap);
}

int32_t DB_state_unflag_modified_mvtables(DB_INSTANCE* instance, const STATE* state) {
  (void)instance;
  (void)state;
  return 0;
}

// ---- the first row and the obsolete entry points ---------------------------------------------

int32_t DB_states_def_insert(DB_INSTANCE* instance, const STATE* state) {
  if (instance == nullptr || state == nullptr) return SE_INVALID_POINTER;
  char table[SE_DB_QUALIFIED_LEN];
  db_make_states_table_name(instance, table);
  std::string sql = std::string("INSERT INTO ") + table +
                    "  (state_id,                 owner,                 creation_time,"
                    "                 closing_time,                 parent_state_id,"
                    "                 lineage_name)      VALUES (?, ?, ?, ?, ?, ?)";
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) {
    SES_print_debug(stderr, "DB_state_def_insert ODBC parse error.\n");
    if (s.h != SQL_NULL_HSTMT) report(instance, &s.h, status);
    return status;
  }
  SQL_TIMESTAMP_STRUCT now = seconds_timestamp(time(nullptr));
  SQLINTEGER id = state->id, parent = 0, lineage = state->lineage_name;
  std::string owner = field(state->owner, sizeof state->owner);
  SQLLEN ind[6] = {0, owner.empty() ? SQL_NULL_DATA : SQL_NTS, 0, 0, 0, 0};
  SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 32, 0,
                                    (SQLPOINTER)owner.c_str(), 0, &ind[1]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 3, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                    26, 0, &now, 0, &ind[2]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                    26, 0, &now, 0, &ind[3]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &parent, 0, &ind[4]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 6, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &lineage, 0, &ind[5]);
  if (!ok(rc)) return report(instance, &s.h, rc);
  rc = SQLExecute(s.h);
  if (!ok(rc)) {
    SES_print_debug(stderr, "DB_state_def_insert() ODBC Exec error (%d).\n", (int)rc);
    return report(instance, &s.h, rc);
  }
  db_free_stmt(&s.h);
  return db_commit_ddlsql(instance);
}

int32_t DB_states_def_delete(...) {
  fputs("Obsolete function DB_states_def_delete() called!", stderr);
  return -1;
}

int32_t DB_states_def_trim_lineage(...) {
  fputs("Obsolete function DB_states_def_trim_lineage() called!", stderr);
  return -1;
}

int32_t DB_states_def_update(...) {
  fputs("Obsolete function DB_states_def_update() called!", stderr);
  return -1;
}

// ---- the parent scan of the lineage rebuild --------------------------------------------

int32_t db_states_parent_scan(DB_INSTANCE* instance, int32_t operation, int32_t* id,
                              int32_t* parent) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  Storage* st = storage(instance);
  if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
  if (operation == SE_SCAN_END) {
    db_free_stmt(&st->parent_stmt);
    return 0;
  }
  if (operation == SE_SCAN_START) {
    db_free_stmt(&st->parent_stmt);
    st->parent_at_end = false;
    st->parent_rows = st->parent_pos = 0;
    int32_t status = db_prepare_stmt(instance, nullptr, &st->parent_stmt,
                                     "SELECT state_id,parent_state_id FROM ZUL.states ORDER BY state_id");
    SQLRETURN rc = status == 0 ? SQL_SUCCESS : SQL_ERROR;
    if (ok(rc)) rc = SQLBindCol(st->parent_stmt, 1, SQL_C_LONG, st->parent_ids, 0, st->parent_ind[0]);
    if (ok(rc)) rc = SQLBindCol(st->parent_stmt, 2, SQL_C_LONG, st->parent_parents, 0, st->parent_ind[1]);
    if (ok(rc)) rc = SQLExecute(st->parent_stmt);
    if (!ok(rc)) {
      if (st->parent_stmt != SQL_NULL_HSTMT) report(instance, &st->parent_stmt, SQL_ERROR);
      db_free_stmt(&st->parent_stmt);
      return SE_DB_IO_ERROR;
    }
    return 0;
  }
  if (st->parent_stmt == SQL_NULL_HSTMT) return SE_STATE_SCAN_INACTIVE;
  if (st->parent_pos >= st->parent_rows && !st->parent_at_end) {
    st->parent_pos = st->parent_rows = 0;
    int32_t status = db_fetch_rows(st->parent_stmt, kRowset, &st->parent_rows);
    if (status == DB_NO_DATA_BLOCK_END) st->parent_at_end = true;
    else if (status != 0) {
      report(instance, &st->parent_stmt, SQL_ERROR);
      db_free_stmt(&st->parent_stmt);
      return SE_DB_IO_ERROR;
    }
  }
  if (st->parent_pos >= st->parent_rows) {
    db_free_stmt(&st->parent_stmt);
    return SE_SCAN_FINISHED;
  }
  SQLULEN i = st->parent_pos++;
  if (id != nullptr) *id = st->parent_ids[i];
  if (parent != nullptr) *parent = st->parent_parents[i];
  return 0;
}
