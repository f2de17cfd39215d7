// db_versions.cpp -- the VERSIONS table: the scan (rowsets of 100), the
// lookups by owner and name and by id, the direct insert of the default
// version (with its name-suffix rule on duplicates), the obsolete entry
// points, and the five calls of the version procedures through which every
// other change of the table is made.
//
// Relies on the access core, the module storage (db_version_private.h) and
// the procedures zul_insert_version, zul_delete_version, zul_update_version,
// zul_rename_version and zul_change_v_state.
//
// Scan: closed --mode 1--> open --mode 2 ... -4, mode 3 or a failure-->
// closed; a second mode 1 restarts it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "db_version_private.h"
#include "svr_services.h"
#include "zul_db_tables.h"

using namespace dbv;

namespace {

const char* const kColumns =
    "SELECT name,owner,version_id,status,state_id,description,       "
    "parent_name,parent_owner,parent_version_id,       creation_time FROM   ";

void end_scan(Storage* st) {
  db_free_stmt(&st->version_stmt);
  if (st->version_rowset != nullptr) SES_buffer_free(st->version_rowset, sizeof(VersionRowset));
  st->version_rowset = nullptr;
  st->version_open = false;
  st->version_at_end = false;
  st->version_rows = st->version_pos = 0;
}

int32_t fetch_rowset(DB_INSTANCE* instance, Storage* st) {
  st->version_rows = st->version_pos = 0;
  int32_t status = db_fetch_rows(st->version_stmt, kRowset, &st->version_rows);
  if (status == DB_NO_DATA_BLOCK_END) {
    st->version_at_end = true;
    st->version_rows = 0;
    return 0;
  }
  if (status != 0) {
    report(instance, &st->version_stmt, SQL_ERROR);
    end_scan(st);
    return SE_DB_IO_ERROR;
  }
  return 0;
}

// Binds the ten result columns: to column arrays (stride 0) or one record.
SQLRETURN bind_columns(SQLHSTMT h, char* name, char* owner, SQLINTEGER* id, SQLUINTEGER* status,
                       SQLINTEGER* state, char* desc, char* pname, char* powner, SQLINTEGER* pid,
                       SQL_TIMESTAMP_STRUCT* created, SQLLEN* ind, size_t ind_stride,
                       SQLLEN name_cap, SQLLEN owner_cap) {
  SQLRETURN rc = SQLBindCol(h, 1, SQL_C_CHAR, name, name_cap, ind);
  if (ok(rc)) rc = SQLBindCol(h, 2, SQL_C_CHAR, owner, owner_cap, ind + ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 3, SQL_C_LONG, id, 0, ind + 2 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 4, SQL_C_ULONG, status, 0, ind + 3 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 5, SQL_C_LONG, state, 0, ind + 4 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 6, SQL_C_CHAR, desc, name_cap, ind + 5 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 7, SQL_C_CHAR, pname, name_cap, ind + 6 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 8, SQL_C_CHAR, powner, owner_cap, ind + 7 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 9, SQL_C_LONG, pid, 0, ind + 8 * ind_stride);
  if (ok(rc)) rc = SQLBindCol(h, 10, SQL_C_TYPE_TIMESTAMP, created, sizeof *created, ind + 9 * ind_stride);
  return rc;
}

void fill_version(VERSION* v, const char* name, const char* owner, SQLINTEGER id,
                  SQLUINTEGER status, SQLINTEGER state, const char* desc, const char* pname,
                  const char* powner, SQLINTEGER pid, const SQL_TIMESTAMP_STRUCT& created,
                  const SQLLEN* ind, size_t stride) {
  memset(v, 0, sizeof *v);
  memcpy(v->tag, SE_VERSION_TAG, sizeof v->tag);
  copy_field(v->name, sizeof v->name, name);
  copy_field(v->owner, sizeof v->owner, owner);
  v->id = id;
  v->status = status;
  v->state_id = state;
  if (ind[5 * stride] != SQL_NULL_DATA) copy_field(v->description, sizeof v->description, desc);
  if (ind[6 * stride] != SQL_NULL_DATA) copy_field(v->parent_name, sizeof v->parent_name, pname);
  if (ind[7 * stride] != SQL_NULL_DATA) copy_field(v->parent_owner, sizeof v->parent_owner, powner);
  if (ind[8 * stride] != SQL_NULL_DATA) v->parent_id = pid;
  v->creation_time = timestamp_seconds(created);
}

SQLRETURN bind_text(SQLHSTMT h, SQLUSMALLINT pos, const std::string& text, SQLLEN cap, SQLLEN* ind,
                    bool null_when_empty, SQLSMALLINT type = SQL_VARCHAR) {
  *ind = null_when_empty && text.empty() ? SQL_NULL_DATA : SQL_NTS;
  return SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_CHAR, type, (SQLULEN)cap, 0,
                          (SQLPOINTER)text.c_str(), 0, ind);
}

SQLRETURN bind_int(SQLHSTMT h, SQLUSMALLINT pos, SQLINTEGER* value, SQLLEN* ind) {
  return SQLBindParameter(h, pos, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, value, 0, ind);
}

std::string call_text(DB_INSTANCE* instance, const char* proc, const char* form) {
  char name[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, proc, 0, name);
  char sql[SE_DB_QUALIFIED_LEN + 64];
  snprintf(sql, sizeof sql, form, name);
  return sql;
}

}  // namespace

// ---- the scan -----------------------------------------------------------------------------

int32_t DB_version_scan(DB_INSTANCE* instance, int32_t mode, const char* where, VERSION* out) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  Storage* st = storage(instance);
  if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
  if (mode == SE_SCAN_END) {
    if (st->version_open) end_scan(st);
    return 0;
  }
  if (mode == SE_SCAN_START) {
    if (st->version_open) {
      db_free_stmt(&st->version_stmt);
      memset(st->version_rowset, 0, sizeof *st->version_rowset);
    } else {
      st->version_rowset = static_cast<VersionRowset*>(SES_buffer_alloc(sizeof(VersionRowset)));
      if (st->version_rowset == nullptr) return SE_OUT_OF_DBMS_MEM;
      memset(st->version_rowset, 0, sizeof *st->version_rowset);
    }
    st->version_open = false;
    st->version_at_end = false;
    char table[SE_DB_QUALIFIED_LEN];
    db_make_versions_table_name(instance, table);
    std::string sql = std::string(kColumns) + table + " " +
                      (where != nullptr ? std::string("WHERE ") + where : std::string(" "));
    int32_t status = db_prepare_stmt(instance, nullptr, &st->version_stmt, sql.c_str());
    if (status != 0) {
      if (st->version_stmt != SQL_NULL_HSTMT) report(instance, &st->version_stmt, status);
      end_scan(st);
      return status;
    }
    VersionRowset* r = st->version_rowset;
    SQLRETURN rc = bind_columns(st->version_stmt, r->name[0], r->owner[0], r->id, r->status,
                                r->state_id, r->description[0], r->parent_name[0],
                                r->parent_owner[0], r->parent_id, r->created, r->ind[0], kRowset,
                                65, kOwnerCap);
    if (ok(rc)) rc = SQLExecute(st->version_stmt);
    if (!ok(rc)) {
      report(instance, &st->version_stmt, rc);
      end_scan(st);
      return SE_DB_IO_ERROR;
    }
    status = fetch_rowset(instance, st);
    if (status != 0) return status;
    st->version_open = true;
  }
  if (!st->version_open) return SE_STATE_SCAN_INACTIVE;
  if (st->version_pos >= st->version_rows && !st->version_at_end) {
    int32_t status = fetch_rowset(instance, st);
    if (status != 0) return status;
  }
  if (st->version_pos >= st->version_rows) {
    end_scan(st);
    return SE_SCAN_FINISHED;
  }
  if (out == nullptr) return SE_INVALID_POINTER;
  VersionRowset* r = st->version_rowset;
  SQLULEN i = st->version_pos++;
  fill_version(out, r->name[i], r->owner[i], r->id[i], r->status[i], r->state_id[i],
               r->description[i], r->parent_name[i], r->parent_owner[i], r->parent_id[i],
               r->created[i], &r->ind[0][i], kRowset);
  return 0;
}

// ---- lookups --------------------------------------------------------------------------------

int32_t db_version_select_one(DB_INSTANCE* instance, const char* where, int32_t id,
                              const char* owner, const char* name, VERSION* out) {
  if (instance == nullptr || where == nullptr || out == nullptr) return SE_INVALID_POINTER;
  // Without an id there must be an owner and a name to look for.
  if (id < 1 && (owner == nullptr || name == nullptr)) return SE_VERSION_NOEXIST;
  char table[SE_DB_QUALIFIED_LEN];
  db_make_versions_table_name(instance, table);
  std::string sql = std::string(
                        "SELECT name,owner,version_id,status,state_id,description,       "
                        "parent_name,parent_owner,parent_version_id,creation_time FROM ") +
                    table + " WHERE " + where;
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) {
    if (sqlstate_of(s.h) == "42S02") return SE_TABLE_NOEXIST;
    if (s.h != SQL_NULL_HSTMT) report(instance, &s.h, status);
    return SE_DB_IO_ERROR;
  }
  char vname[65] = "", vowner[kOwnerCap] = "", desc[65] = "", pname[65] = "", powner[kOwnerCap] = "";
  SQLINTEGER vid = 0, state = 0, pid = 0;
  SQLUINTEGER vstatus = 0;
  SQL_TIMESTAMP_STRUCT created;
  memset(&created, 0, sizeof created);
  SQLLEN ind[10] = {0};
  SQLINTEGER id_param = id;
  std::string owner_param = owner != nullptr ? owner : "", name_param = name != nullptr ? name : "";
  SQLLEN pind[2] = {0, 0};
  SQLRETURN rc = bind_columns(s.h, vname, vowner, &vid, &vstatus, &state, desc, pname, powner, &pid,
                              &created, ind, 1, sizeof vname, sizeof vowner);
  if (ok(rc)) {
    if (id >= 1) rc = bind_int(s.h, 1, &id_param, &pind[0]);
    else {
      rc = bind_text(s.h, 1, owner_param, 32, &pind[0], false);
      if (ok(rc)) rc = bind_text(s.h, 2, name_param, 64, &pind[1], false);
    }
  }
  if (ok(rc)) rc = SQLExecute(s.h);
  if (ok(rc)) rc = SQLFetch(s.h);
  if (rc == SQL_NO_DATA) return SE_VERSION_NOEXIST;
  if (!ok(rc)) {
    if (sqlstate_of(s.h) == "42S02") return SE_TABLE_NOEXIST;
    return report(instance, &s.h, rc);
  }
  fill_version(out, vname, vowner, vid, vstatus, state, desc, pname, powner, pid, created, ind, 1);
  return 0;
}

int32_t DB_version_get_by_name(DB_INSTANCE* instance, const char* owner, const char* name,
                               VERSION* out) {
  if (instance == nullptr || owner == nullptr || name == nullptr) return SE_INVALID_POINTER;
  if (strlen(owner) > 32 || strlen(name) > 64) return SE_VERSION_NOEXIST;
  char upper[kOwnerCap];
  copy_field(upper, sizeof upper, owner);
  db_upcase_identifier(instance, upper, sizeof upper);
  // The name is bound as a value: it goes to the database as it stands.
  return db_version_select_one(instance, "owner = ? AND name = ?", -1, upper, name, out);
}

int32_t DB_version_get_by_id(DB_INSTANCE* instance, int32_t id, VERSION* out) {
  if (id < 1) return SE_VERSION_NOEXIST;
  return db_version_select_one(instance, "version_id = ?", id, nullptr, nullptr, out);
}

// ---- the default version --------------------------------------------------------------------

namespace {

// The name of the n-th retry after a duplicate (n from 1 to 256).
std::string suffixed(const std::string& base, int n) {
  char suffix[16];
  if (n <= 99) snprintf(suffix, sizeof suffix, "%02d", n);
  else if (n <= 159) snprintf(suffix, sizeof suffix, "%02x", ((n - 100) / 6) * 16 + (n - 100) % 6 + 10);
  else if (n <= 255) snprintf(suffix, sizeof suffix, "%02x", n);
  else snprintf(suffix, sizeof suffix, "00");
  // the stored name keeps to the 64 characters of its column
  return base.substr(0, 62) + suffix;
}

}  // namespace

int32_t DB_versions_def_insert(DB_INSTANCE* instance, const VERSION* version, int32_t dup_ok,
                               char* name_out) {
  if (instance == nullptr || version == nullptr) return SE_INVALID_POINTER;
  char table[SE_DB_QUALIFIED_LEN];
  db_make_versions_table_name(instance, table);
  std::string sql = std::string("INSERT INTO ") + table +
                    " (name,owner,version_id,status,state_id,description,parent_name,"
                    "parent_owner,parent_version_id,creation_time) VALUES (?,?,?,?,?,?,?,?,?,?)";
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) {
    SES_print_debug(stderr, "DB_version_def_insert ODBC oparse error.\n");
    if (s.h != SQL_NULL_HSTMT) report(instance, &s.h, status);
    return status;
  }
  std::string base = field(version->name, sizeof version->name);
  char name[65];
  copy_field(name, sizeof name, base.c_str());
  std::string owner = field(version->owner, sizeof version->owner);
  std::string desc = field(version->description, sizeof version->description);
  std::string pname = field(version->parent_name, sizeof version->parent_name);
  std::string powner = field(version->parent_owner, sizeof version->parent_owner);
  SQLINTEGER id = version->id, state = version->state_id, pid = version->parent_id;
  SQLUINTEGER vstatus = version->status;
  SQL_TIMESTAMP_STRUCT now = seconds_timestamp(time(nullptr));
  SQLLEN ind[10] = {SQL_NTS, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 64, 0, name, 0, &ind[0]);
  if (ok(rc)) rc = bind_text(s.h, 2, owner, 32, &ind[1], false);
  if (ok(rc)) rc = bind_int(s.h, 3, &id, &ind[2]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 4, SQL_PARAM_INPUT, SQL_C_ULONG, SQL_INTEGER, 0, 0, &vstatus, 0, &ind[3]);
  if (ok(rc)) rc = bind_int(s.h, 5, &state, &ind[4]);
  if (ok(rc)) rc = bind_text(s.h, 6, desc, 64, &ind[5], true);
  if (ok(rc)) rc = bind_text(s.h, 7, pname, 64, &ind[6], true);
  if (ok(rc)) rc = bind_text(s.h, 8, powner, 32, &ind[7], true);
  if (ok(rc)) {
    ind[8] = pid == 0 ? SQL_NULL_DATA : 0;
    rc = bind_int(s.h, 9, &pid, &ind[8]);
  }
  if (ok(rc)) rc = SQLBindParameter(s.h, 10, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                    26, 0, &now, 0, &ind[9]);
  if (!ok(rc)) return report(instance, &s.h, rc);
  rc = SQLExecute(s.h);
  for (int n = 1; !ok(rc) && dup_ok && n <= 257; ++n) {
    std::string state_text = sqlstate_of(s.h);
    if (state_text != "23000" && state_text != "23505") break;
    if (n == 257) return SE_VERSION_EXISTS;
    copy_field(name, sizeof name, suffixed(base, n).c_str());
    rc = SQLExecute(s.h);
  }
  if (!ok(rc)) {
    SES_print_debug(stderr, "DB_version_def_insert() ODBC Exec error (%d).\n", (int)rc);
    SES_print_debug(stderr,
                    "version_name   = \"%s\"\nowner          = \"%s\"\nstatus         = %x\n"
                    "state_id       = %d\ndescription =  = \"%s\"\n",
                    name, owner.c_str(), (unsigned)vstatus, (int)state, desc.c_str());
    return report(instance, &s.h, rc);
  }
  db_free_stmt(&s.h);
  if (name_out != nullptr) strcpy(name_out, name);
  return db_commit_ddlsql(instance);
}

int32_t DB_versions_def_change_state(...) {
  fputs("Obsolete function DB_versions_def_change_state() called!", stderr);
  return -1;
}

int32_t DB_versions_def_delete(...) {
  fputs("Obsolete function DB_versions_def_delete() called!", stderr);
  return -1;
}

int32_t DB_versions_def_rename(...) {
  fputs("Obsolete function DB_versions_def_rename() called!", stderr);
  return -1;
}

int32_t DB_versions_def_update(...) {
  fputs("Obsolete function DB_versions_def_update() called!", stderr);
  return -1;
}

// ---- the version procedures -------------------------------------------------------------------

int32_t DB_sp_versions_def_change_state(DB_INSTANCE* instance, const VERSION* version,
                                        int32_t new_state) {
  if (instance == nullptr || version == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_change_v_state", "call %s(?,?,?,?,?)");
  std::string qualified = field(version->owner, sizeof version->owner) + "." +
                          field(version->name, sizeof version->name);
  SQLINTEGER old_state = version->state_id, target = new_state;
  SQLLEN ind[3] = {0, 0, 0};
  SpCall call;
  return sp_call(instance, sql.c_str(), 3, "zul.change_version_state", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_text(h, 1, qualified, 97, &ind[0], false);
    if (ok(rc)) rc = bind_int(h, 2, &old_state, &ind[1]);
    if (ok(rc)) rc = bind_int(h, 3, &target, &ind[2]);
    return rc;
  });
}

int32_t DB_sp_versions_def_insert(DB_INSTANCE* instance, const VERSION* version,
                                  int32_t unique_name, char* name_out) {
  if (instance == nullptr || version == nullptr || name_out == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_insert_version", "call %s(?,?,?,?,?,?,?,?,?,?,?,?) ");
  std::string name = field(version->name, sizeof version->name);
  std::string desc = field(version->description, sizeof version->description);
  std::string pname = field(version->parent_name, sizeof version->parent_name);
  std::string powner = field(version->parent_owner, sizeof version->parent_owner);
  SQLUINTEGER vstatus = version->status;
  SQLINTEGER id = version->id, state = version->state_id, pid = version->parent_id;
  SQLINTEGER rule = unique_name ? 1 : 2;
  char used[65] = "";
  SQLLEN ind[10] = {0};
  SpCall call;
  int32_t status = sp_call(instance, sql.c_str(), 10, "zul.insert_version", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_text(h, 1, name, 64, &ind[0], false);
    if (ok(rc)) rc = SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_ULONG, SQL_INTEGER, 0, 0, &vstatus, 0, &ind[1]);
    if (ok(rc)) rc = bind_int(h, 3, &id, &ind[2]);
    if (ok(rc)) rc = bind_int(h, 4, &state, &ind[3]);
    if (ok(rc)) rc = bind_text(h, 5, desc, 64, &ind[4], false);
    if (ok(rc)) rc = bind_text(h, 6, pname, 64, &ind[5], false);
    if (ok(rc)) rc = bind_text(h, 7, powner, 32, &ind[6], false);
    if (ok(rc)) {
      ind[7] = pid == 0 ? SQL_NULL_DATA : 0;
      rc = bind_int(h, 8, &pid, &ind[7]);
    }
    if (ok(rc)) rc = bind_int(h, 9, &rule, &ind[8]);
    if (ok(rc))
      rc = SQLBindParameter(h, 10, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 64, 0, used,
                            sizeof used, &ind[9]);
    return rc;
  }, true);
  if (status != 0) return status;
  size_t len = ind[9] > 0 ? (size_t)ind[9] : 0;
  if (len > 64) len = 64;
  used[len] = '\0';
  memcpy(name_out, used, len + 1);
  return 0;
}

int32_t DB_sp_versions_def_delete(DB_INSTANCE* instance, const char* owner, const char* name) {
  if (instance == nullptr || owner == nullptr || name == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_delete_version", "call %s(?,?,?) ");
  std::string qualified = std::string(owner) + "." + name;
  SQLLEN ind = 0;
  SpCall call;
  return sp_call(instance, sql.c_str(), 1, "zul.delete_version", &call, [&](SQLHSTMT h) {
    return bind_text(h, 1, qualified, 97, &ind, false, SQL_CHAR);
  }, true);
}

int32_t DB_sp_versions_def_update(DB_INSTANCE* instance, const VERSION* version) {
  if (instance == nullptr || version == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_update_version", "call %s(?,?,?,?,?,?,?,?,?,?,?,?) ");
  std::string name = field(version->name, sizeof version->name);
  std::string owner = field(version->owner, sizeof version->owner);
  std::string desc = field(version->description, sizeof version->description);
  std::string pname = field(version->parent_name, sizeof version->parent_name);
  std::string powner = field(version->parent_owner, sizeof version->parent_owner);
  SQLUINTEGER vstatus = version->status;
  SQLINTEGER state = version->state_id, id = version->id, pid = version->parent_id;
  SQL_TIMESTAMP_STRUCT created = seconds_timestamp((time_t)version->creation_time);
  SQLLEN ind[10] = {0};
  SpCall call;
  return sp_call(instance, sql.c_str(), 10, "zul.update_version", &call, [&](SQLHSTMT h) {
    SQLRETURN rc = bind_text(h, 1, name, 64, &ind[0], false);
    if (ok(rc)) rc = bind_text(h, 2, owner, 32, &ind[1], false);
    if (ok(rc)) rc = SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_ULONG, SQL_INTEGER, 0, 0, &vstatus, 0, &ind[2]);
    if (ok(rc)) rc = bind_int(h, 4, &state, &ind[3]);
    if (ok(rc)) rc = bind_text(h, 5, desc, 64, &ind[4], true);
    if (ok(rc)) rc = bind_text(h, 6, pname, 64, &ind[5], false);
    if (ok(rc)) rc = bind_text(h, 7, powner, 32, &ind[6], false);
    if (ok(rc)) rc = SQLBindParameter(h, 8, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                      26, 0, &created, 0, &ind[7]);
    if (ok(rc)) rc = bind_int(h, 9, &id, &ind[8]);
    if (ok(rc)) rc = bind_int(h, 10, &pid, &ind[9]);
    return rc;
  });
}

int32_t DB_sp_versions_def_rename(DB_INSTANCE* instance, const char* owner,
                                  const char* old_name, const char* new_name) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  std::string sql = call_text(instance, "zul_rename_version", "call %s(?,?,?,?,?) ");
  std::string o = owner ? owner : "", a = old_name ? old_name : "", b = new_name ? new_name : "";
  SQLLEN ind[3] = {0, 0, 0};
  SpCall call;
  return sp_call(instance, sql.c_str(), 3, "zul.version_util.rename_version", &call,
                 [&](SQLHSTMT h) {
                   SQLRETURN rc = bind_text(h, 1, o, 32, &ind[0], true);
                   if (ok(rc)) rc = bind_text(h, 2, a, 64, &ind[1], true);
                   if (ok(rc)) rc = bind_text(h, 3, b, 64, &ind[2], true);
                   return rc;
                 });
}
