// db_sp_states.cpp -- changes of the state tree, made only through the
// state procedures: insert a state, delete a list of states (in batches),
// open or close a state, trim a lineage, and ask whether a range of states
// may be deleted. Each maps the procedure's message code to a status and
// ends the transaction as the call requires.
//
// Relies on the module helpers (db_version_private.h) and the procedures
// zul_insert_state, zul_delete_state, zul_open_state, zul_close_state,
// zul_trim_state and zul_range_del_ok.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "db_version_private.h"
#include "zul_db_tables.h"

using namespace dbv;

namespace {

// Ids per call of zul_delete_state, and the room of its list parameter.
constexpr int32_t kDeleteBatch = 200;
constexpr size_t kListCap = 2048;

std::string call_text(DB_INSTANCE* instance, const char* proc, const char* form) {
  char name[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, proc, 0, name);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, form, name);
  return sql;
}

SQLRETURN bind_int(SQLHSTMT h, SQLUSMALLINT pos, SQLINTEGER* value, SQLLEN* ind) {
  return SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, value, 0, ind);
}

// Ends the unit of work after a call: commit on success, rollback on failure.
int32_t finish(DB_INSTANCE* instance, int32_t status) {
  if (status == 0) return db_commit_ddlsql(instance);
  db_rollback_ddlsql(instance);
  return status;
}

}  // namespace

int32_t DB_sp_states_def_insert(DB_INSTANCE* instance, const STATE* state, int32_t* new_id,
                                int32_t* new_lineage) {
  if (instance == nullptr || state == nullptr || new_id == nullptr || new_lineage == nullptr)
    return SE_INVALID_POINTER;
  int32_t* ids = nullptr;
  int32_t n = 0;
  int32_t status = db_state_lineage_ids(state, &ids, &n);
  if (status != 0) return status;
  SQLINTEGER parent = n > 0 ? ids[n - 1] : 0;
  free(ids);
  SQLINTEGER lineage = state->lineage_name, open_closed = state->closing_time != 0 ? 2 : 1;
  SQLINTEGER out_id = 0, out_lineage = 0;
  SQLLEN ind[5] = {0, 0, 0, 0, 0};
  std::string sql = call_text(instance, "zul_insert_state", "call %s (?,?,?,?,?,?,?)");
  SpCall call;
  status = sp_call(instance, sql.c_str(), 5, "zul.insert_state", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_int(h, 1, &parent, &ind[0]);
    if (ok(rc)) rc = bind_int(h, 2, &lineage, &ind[1]);
    if (ok(rc)) rc = bind_int(h, 3, &open_closed, &ind[2]);
    if (ok(rc)) rc = SQLBindParameter(h, 4, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &out_id, 0, &ind[3]);
    if (ok(rc)) rc = SQLBindParameter(h, 5, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &out_lineage, 0, &ind[4]);
    return rc;
  });
  status = finish(instance, status);
  if (status == 0) {
    *new_id = out_id;
    *new_lineage = out_lineage;
  }
  return status;
}

int32_t DB_sp_states_def_delete(DB_INSTANCE* instance, const int32_t* ids, int32_t count) {
  if (instance == nullptr || (count > 0 && ids == nullptr)) return SE_INVALID_POINTER;
  if (count < 0) return SE_INVALID_PARAM;
  std::string sql = call_text(instance, "zul_delete_state", "call %s(?,?,?)");
  for (int32_t first = 0; first < count;) {
    // A batch takes up to 200 ids, fewer when their text would not fit the
    // procedure's list parameter.
    std::string list;
    int32_t next = first;
    while (next < count && next - first < kDeleteBatch) {
      std::string item = std::to_string(ids[next]);
      if (list.size() + item.size() + (list.empty() ? 0 : 1) > kListCap) break;
      if (!list.empty()) list += ',';
      list += item;
      ++next;
    }
    first = next;
    SQLLEN ind = (SQLLEN)list.size();
    SpCall call;
    int32_t status = sp_call(instance, sql.c_str(), 1, "zul.delete_states", &call, [&](SQLHSTMT h) {
      return SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, list.size(), 0,
                              (SQLPOINTER)list.c_str(), 0, &ind);
    });
    if (status != 0) return finish(instance, status);
  }
  return finish(instance, 0);
}

int32_t DB_sp_states_def_update(DB_INSTANCE* instance, const STATE* state,
                                uint32_t* closing_time) {
  if (instance == nullptr || state == nullptr) return SE_INVALID_POINTER;
  bool close = state->closing_time != 0;
  std::string sql = close ? call_text(instance, "zul_close_state", "call %s(?,?,?,?)")
                          : call_text(instance, "zul_open_state", "call %s(?,?,?)");
  SQLINTEGER id = state->id;
  char stamp[512] = "";
  SQLLEN ind[2] = {0, 0};
  SpCall call;
  int32_t status = sp_call(instance, sql.c_str(), close ? 2 : 1,
                           close ? "zul.close_state" : "zul.open_state", &call, [&](SQLHSTMT h) {
                             SQLRETURN rc = bind_int(h, 1, &id, &ind[0]);
                             if (ok(rc) && close)
                               rc = SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_CHAR,
                                                     sizeof stamp, 0, stamp, sizeof stamp, &ind[1]);
                             return rc;
                           });
  status = finish(instance, status);
  if (status != 0 || !close) return status;
  // "yyyy-mm-dd-hh.mm.ss.ffffff"; the microseconds are dropped
  SQL_TIMESTAMP_STRUCT ts;
  memset(&ts, 0, sizeof ts);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (ind[1] != SQL_NULL_DATA &&
      sscanf(stamp, "%4d-%2d-%2d-%2d.%2d.%2d", &y, &mo, &d, &h, &mi, &s) == 6) {
    ts.year = (SQLSMALLINT)y;
    ts.month = (SQLUSMALLINT)mo;
    ts.day = (SQLUSMALLINT)d;
    ts.hour = (SQLUSMALLINT)h;
    ts.minute = (SQLUSMALLINT)mi;
    ts.second = (SQLUSMALLINT)s;
    if (closing_time != nullptr) *closing_time = timestamp_seconds(ts);
  } else if (closing_time != nullptr) {
    *closing_time = (uint32_t)time(nullptr);
  }
  return 0;
}

int32_t DB_sp_states_def_trim_lineage(DB_INSTANCE* instance, int32_t guard, int32_t low,
                                      int32_t high) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  if (guard != high) return 0;
  std::string sql = call_text(instance, "zul_trim_state", "call %s(?,?,?,?)");
  SQLINTEGER lo = low, hi = high;
  SQLLEN ind[2] = {0, 0};
  SpCall call;
  int32_t status = sp_call(instance, sql.c_str(), 2, "zul.trim_state_lineage", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_int(h, 1, &lo, &ind[0]);
    if (ok(rc)) rc = bind_int(h, 2, &hi, &ind[1]);
    return rc;
  }, true);
  return finish(instance, status);
}

int32_t DB_state_range_delete_ok(DB_INSTANCE* instance, int32_t start, int32_t end) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_range_del_ok", "call %s(?,?,?,?)");
  SQLINTEGER a = start, b = end;
  SQLLEN ind[2] = {0, 0};
  SpCall call;
  return sp_call(instance, sql.c_str(), 2, "zul.range_delete_ok", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_int(h, 1, &a, &ind[0]);
    if (ok(rc)) rc = bind_int(h, 2, &b, &ind[1]);
    return rc;
  });
}
