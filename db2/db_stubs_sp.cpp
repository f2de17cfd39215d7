// db_stubs_sp.cpp -- the versioning and registration services that the
// installation calls: creating one procedure, storing a registration through
// zul_update_registr, the procedures' message codes as the instance's error,
// and the state_lineages table (its check and its creation).
//
// The lineage table is built here from the states' parent links. Rebuilding
// an older state_lineages table, and the fallback to the old packed lineages
// when a parent is missing, belong to the versioning module and are not
// built yet: they say they were called and answer SE_NOT_BUILT_YET.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_install.h"

namespace {

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool state_is(const DB_DIAG_RECORD& d, const char* state) { return strcmp(d.sqlstate, state) == 0; }

int32_t not_built(const char* name) {
  fprintf(stderr, "%s: called, not built yet\n", name);
  return SE_NOT_BUILT_YET;
}

// A statement handle dropped when it goes out of scope.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~Stmt() { db_free_stmt(&h); }
};

// Copies a fixed record field into a terminated text.
std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }

}  // namespace

// ---- procedure message codes ---------------------------------------------------------

int32_t db_sp_set_message_error(DB_INSTANCE* instance, int32_t code, const char* name) {
  int32_t status = SE_DB_IO_ERROR;
  int32_t native = code;
  if (code >= -20998 && code <= -20001) {
    status = code + 20000;
    native = 0;
  }
  if (instance == nullptr) return status;
  instance->xerr.code = status;
  instance->xerr.native = native;
  snprintf(instance->xerr.msg, sizeof instance->xerr.msg, "Error executing stored procedure %s",
           name != nullptr ? name : "");
  instance->xerr.ext_msg[0] = '\0';
  return status;
}

// ---- one procedure -------------------------------------------------------------------

namespace {

// Prepares and runs sql on a new statement; 0 or the failing code, *d its
// diagnostic.
int32_t create_once(DB_INSTANCE* instance, const char* sql, DB_DIAG_RECORD* d) {
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
  if (s.h == SQL_NULL_HSTMT) return status;  // no statement: already reported
  if (status == 0) {
    SQLRETURN rc = SQLExecDirect(s.h, (SQLCHAR*)sql, SQL_NTS);
    if (ok(rc)) return 0;
    status = rc;
  }
  *d = db_get_diag_record(instance, &s.h, status);
  return status;
}

}  // namespace

int32_t db_create_procedure(DB_INSTANCE* instance, DB_STREAM* stream, const char* sql,
                            const char* name) {
  if (instance == nullptr || sql == nullptr || name == nullptr) return SE_INVALID_POINTER;
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  int32_t status = create_once(instance, sql, &d);
  if (status != 0 && d.sqlstate[0] == '\0') return status;
  // A procedure of that name is still there: drop it and create it again, so
  // that success always leaves the procedure in place.
  if (status != 0 && (state_is(d, "42S11") || state_is(d, "42723"))) {
    char drop[SE_DB_QUALIFIED_LEN + 32];
    snprintf(drop, sizeof drop, "drop procedure %s", name);
    if (db_execute_ddlsql(instance, drop, 0, DB_MODE_EXEC_COMMIT) == 0)
      status = create_once(instance, sql, &d);
  }
  if (status == 0) return 0;
  if (stream != nullptr) db_stream_report_dbms_error(stream, d);
  else db_report_dbms_error(instance, d);
  return status;
}

// ---- registration update ---------------------------------------------------------------

int32_t DB_sp_registry_def_update(DB_INSTANCE* instance, const REGISTRATION* reg) {
  if (instance == nullptr || reg == nullptr) return SE_INVALID_POINTER;
  const char* proc = "zul_update_registr";
  char call_name[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, proc, 0, call_name);
  char sql[SE_DB_QUALIFIED_LEN + 40];
  snprintf(sql, sizeof sql, "call %s (?,?,?,?,?,?,?,?,?)", call_name);

  std::string rowid = field(reg->rowid_column, sizeof reg->rowid_column);
  std::string desc = field(reg->description, sizeof reg->description);
  std::string keyword = field(reg->config_keyword, sizeof reg->config_keyword);
  std::string view = field(reg->mv_view, sizeof reg->mv_view);
  SQLINTEGER id = reg->id, flags = reg->flags, min_id = (SQLINTEGER)reg->min_id, code = 0;
  char message[512] = "";
  SQLLEN ind[9];
  for (SQLLEN& i : ind) i = 0;
  ind[1] = (reg->flags & SE_REG_HAS_ROWID) ? SQL_NTS : SQL_NULL_DATA;
  ind[2] = ind[4] = ind[6] = SQL_NTS;
  ind[5] = (reg->flags & SE_REG_ROWID_BY_SERVER) ? 0 : SQL_NULL_DATA;

  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0,
                                    (SQLPOINTER)rowid.c_str(), 0, &ind[1]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 65, 0,
                                    (SQLPOINTER)desc.c_str(), 0, &ind[2]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 4, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &flags, 0, &ind[3]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0,
                                    (SQLPOINTER)keyword.c_str(), 0, &ind[4]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 6, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &min_id, 0, &ind[5]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0,
                                    (SQLPOINTER)view.c_str(), 0, &ind[6]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 8, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &ind[7]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 9, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, sizeof message, 0,
                                    message, sizeof message, &ind[8]);
  if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)sql, SQL_NTS);
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
    return SE_DB_IO_ERROR;
  }
  if (ind[7] != SQL_NULL_DATA && code != 0) return db_sp_set_message_error(instance, code, proc);
  return db_commit_ddlsql(instance);
}

// ---- state lineages ---------------------------------------------------------------------

int32_t DB_instance_lineages_table_exists(DB_INSTANCE* instance) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  char lineages[SE_DB_QUALIFIED_LEN], states[SE_DB_QUALIFIED_LEN];
  db_make_state_lineages_table_name(instance, lineages);
  db_make_states_table_name(instance, states);
  char sql[2 * SE_DB_QUALIFIED_LEN + 120];
  snprintf(sql, sizeof sql,
           "SELECT count(*),max(lineage_name) FROM  %s WHERE  lineage_name = 0 AND lineage_id = 0",
           lineages);
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLINTEGER count = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLExecDirect(s.h, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &count, 0, &ind);
  if (ok(rc)) {
    rc = SQLFetch(s.h);
    if (rc == SQL_NO_DATA) {
      count = 0;
      rc = SQL_SUCCESS;
    }
  }
  if (!ok(rc)) {
    DB_DIAG_RECORD d = db_get_diag_record(instance, &s.h, rc);
    if (state_is(d, "42S02")) return SE_TABLE_NOEXIST;
    if (state_is(d, "42S22")) return SE_ATTR_NOEXIST;
    db_report_dbms_error(instance, d);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s.h);
  if (count != 0) return 0;
  snprintf(sql, sizeof sql, "INSERT INTO %s SELECT state_id,state_id FROM   %s WHERE  state_id = %d",
           lineages, states, 0);
  return db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
}

namespace {

struct StateEntry {
  int32_t id;
  int32_t parent;     // index of the parent's entry; -1 for the base state
  int32_t children;
};

// Reads (state id, parent) of every state in id order and links each to its
// parent. 0; 1 when a parent is not among the earlier states; else a status.
int32_t read_state_tree(DB_INSTANCE* instance, const char* states, std::vector<StateEntry>* out) {
  char sql[SE_DB_QUALIFIED_LEN + 80];
  snprintf(sql, sizeof sql, "SELECT state_id, parent_state_id FROM %s ORDER BY state_id", states);
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLINTEGER id = 0, parent = 0;
  SQLLEN ind[2] = {0, 0};
  SQLRETURN rc = SQLExecDirect(s.h, (SQLCHAR*)sql, SQL_NTS);
  if (ok(rc)) rc = SQLBindCol(s.h, 1, SQL_C_LONG, &id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindCol(s.h, 2, SQL_C_LONG, &parent, 0, &ind[1]);
  while (ok(rc) && ok(rc = SQLFetch(s.h))) {
    StateEntry e{id, -1, 0};
    if (id != 0) {
      int32_t k = (int32_t)out->size() - 1;
      while (k >= 0 && (*out)[k].id != parent) k--;
      if (k < 0 || ind[1] == SQL_NULL_DATA) {
        fprintf(stderr,
                "State Id %d's parent state ID %d not found, fallingback to old lineage "
                "information to create STATE_LINEAGES.\n",
                (int)id, (int)parent);
        return 1;
      }
      e.parent = k;
      (*out)[k].children++;
    }
    out->push_back(e);
  }
  if (rc == SQL_NO_DATA) return 0;
  db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
  return SE_DB_IO_ERROR;
}

// The rows (lineage name, state id): every leaf names a lineage holding the
// states from the leaf up to the base state; the seed row (0, 0) comes first
// unless it is the only row.
void lineage_rows(const std::vector<StateEntry>& tree, std::vector<SQLINTEGER>* names,
                  std::vector<SQLINTEGER>* ids) {
  for (size_t i = tree.size(); i-- > 0;) {
    if (tree[i].children != 0) continue;
    for (int32_t k = (int32_t)i; k >= 0; k = tree[k].parent) {
      names->push_back(tree[i].id);
      ids->push_back(tree[k].id);
    }
  }
  if (names->size() != 1) {
    names->push_back(0);
    ids->push_back(0);
  }
  std::reverse(names->begin(), names->end());
  std::reverse(ids->begin(), ids->end());
}

// Inserts the rows in arrays of up to 250 and commits.
int32_t insert_rows(DB_INSTANCE* instance, std::vector<SQLINTEGER>& names, std::vector<SQLINTEGER>& ids) {
  char sql[160];
  snprintf(sql, sizeof sql, "INSERT INTO %s.state_lineages (lineage_name,         lineage_id) VALUES (?,?)",
           SE_ADMIN_USER);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
  if (status != 0) {
    if (s.h != SQL_NULL_HSTMT) db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, status));
    return SE_DB_IO_ERROR;
  }
  for (size_t at = 0; at < names.size(); at += 250) {
    size_t n = names.size() - at < 250 ? names.size() - at : 250;
    SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                    &names[at], 0, nullptr);
    if (ok(rc)) rc = SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                      &ids[at], 0, nullptr);
    if (!ok(rc)) {
      db_report_dbms_error(instance, db_get_diag_record(instance, &s.h, rc));
      return SE_DB_IO_ERROR;
    }
    status = db_execute_stmt(instance, s.h, (int32_t)n, DB_MODE_ARRAY);
    if (status != 0) return status;
  }
  return db_commit_ddlsql(instance);
}

// Adds the states table's lineage_name column when it is missing.
int32_t add_lineage_name(DB_INSTANCE* instance, const char* states, const char* lineages) {
  char sql[2 * SE_DB_QUALIFIED_LEN + 200];
  snprintf(sql, sizeof sql, "SELECT lineage_name FROM %s.states", SE_ADMIN_USER);
  {
    Stmt s;
    int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql);
    if (status == 0) return 0;
    if (s.h == SQL_NULL_HSTMT) return status;
    DB_DIAG_RECORD d = db_get_diag_record(instance, &s.h, status);
    if (!state_is(d, "42S22")) {
      db_report_dbms_error(instance, d);
      return SE_DB_IO_ERROR;
    }
  }
  (void)lineages;
  snprintf(sql, sizeof sql, "ALTER TABLE %s ADD lineage_name INTEGER NOT NULL DEFAULT 0", states);
  int32_t status = db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
  if (status != 0) return status;
  snprintf(sql, sizeof sql,
           "UPDATE %s SET    lineage_name = (SELECT MIN (l.lineage_name)  FROM   state_lineages l  "
           "WHERE  states.state_id = l.lineage_id)",
           states);
  status = db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC);
  if (status != 0 && status != SE_DB_NO_DATA) return status;
  snprintf(sql, sizeof sql, "ALTER TABLE %s ADD CONSTRAINT states_uk UNIQUE (parent_state_id,lineage_name)",
           states);
  return db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
}

}  // namespace

int32_t DB_instance_lineages_table_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage,
                                          int32_t old_layout, int32_t states_created) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  if (old_layout) return not_built("DB_instance_lineages_table_create (rebuild of an older table)");
  char lineages[SE_DB_QUALIFIED_LEN], states[SE_DB_QUALIFIED_LEN];
  db_make_state_lineages_table_name(instance, lineages);
  db_make_states_table_name(instance, states);

  std::vector<StateEntry> tree;
  std::vector<SQLINTEGER> names, ids;
  if (states_created) {
    // the states table was made in this run and holds only the base state
    names.push_back(0);
    ids.push_back(0);
  } else {
    int32_t status = read_state_tree(instance, states, &tree);
    if (status == 1) return not_built("DB_instance_lineages_table_create (old packed lineages)");
    if (status != 0) return status;
    if (!tree.empty()) lineage_rows(tree, &names, &ids);
  }

  std::string ddl =
      "CREATE TABLE state_lineages   (lineage_name        INTEGER NOT NULL,   lineage_id      "
      "INTEGER NOT NULL,   CONSTRAINT lineage_pk PRIMARY KEY (lineage_name,lineage_id)) ";
  if (storage != nullptr && storage->count >= DBTUNE_KEYWORD_OWN_ROWS &&
      storage->clauses[DBTUNE_SYS_B_STORAGE][0] != '\0')
    ddl += storage->clauses[DBTUNE_SYS_B_STORAGE];
  int32_t status = db_execute_ddlsql(instance, ddl.c_str(), 1, DB_MODE_EXEC_COMMIT);
  if (status != 0) return status;
  char sql[2 * SE_DB_QUALIFIED_LEN + 300];
  snprintf(sql, sizeof sql, "GRANT SELECT ON %s TO PUBLIC", lineages);
  status = db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
  if (status == 0 && names.empty())
    fprintf(stderr, "No states found in %s.STATES table.\n", SE_ADMIN_USER);
  else if (status == 0)
    status = insert_rows(instance, names, ids);
  if (status != 0) {
    db_execute_ddlsql(instance, "DROP TABLE state_lineages", 0, DB_MODE_EXEC_COMMIT);
    return status;
  }
  status = db_execute_ddlsql(instance, "CREATE INDEX lineage_id_idx on STATE_LINEAGES(lineage_id ASC)", 1,
                             DB_MODE_EXEC_COMMIT);
  if (status != 0 && status != SE_INDEX_EXISTS) return status;
  status = add_lineage_name(instance, states, lineages);
  if (status != 0) return status;
  // a trigger left from an earlier table would keep the new one out
  db_execute_ddlsql(instance, "DROP TRIGGER ZUL_LINEAGE_DELETE", 0, DB_MODE_EXEC_COMMIT);
  snprintf(sql, sizeof sql,
           " CREATE TRIGGER ZUL_LINEAGE_DELETE  AFTER DELETE ON %s  REFERENCING OLD AS old  FOR EACH "
           "ROW MODE DB2SQL    DELETE FROM %s    WHERE lineage_name = old.lineage_name AND          "
           "lineage_id = old.state_id ",
           states, lineages);
  return db_execute_ddlsql(instance, sql, 1, DB_MODE_EXEC_COMMIT);
}
