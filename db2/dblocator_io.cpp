// dblocator_io.cpp -- locators: a row of the locators table plus (property,
// value) pairs kept as metadata rows of object type 2; tables are tied to a
// locator by metadata rows of object type 1 ("Locator ID").
//
// Writing goes through zul_insert_locator, zul_update_locator and
// zul_delete_locator and the metadata procedures; reading joins the
// locators table with its pairs, so a locator without pairs is not found.
// Names from callers reach SQL literals with their quotes doubled.
// Relies on db_metadata.cpp and on SES_allocate_string_array for the
// record's two arrays.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_logfile.h"
#include "zul_db_tables.h"
#include "db_text.h"

namespace {

using dbtext::fmt;
using dbtext::ok;
using dbtext::quoted;
using dbtext::Stmt;

std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }

void record_cli_error(DB_INSTANCE* instance, SQLHSTMT* stmt, SQLRETURN rc) {
  db_report_dbms_error(instance, db_get_diag_record(instance, stmt, rc));
}

std::string locators_table(DB_INSTANCE* instance) {
  char name[SE_DB_QUALIFIED_LEN];
  db_make_locators_table_name(instance, name);
  return name;
}

std::string metadata_table(DB_INSTANCE* instance) {
  char name[SE_DB_QUALIFIED_LEN];
  db_make_metadata_table_name(instance, name);
  return name;
}

int32_t procedure_failed(DB_INSTANCE* instance, int32_t code, const char* message) {
  int32_t status = code > -20999 && code < -20000 ? code + 20000 : SE_DB_IO_ERROR;
  instance->xerr.code = status;
  instance->xerr.native = status == SE_DB_IO_ERROR ? code : 0;
  snprintf(instance->xerr.msg, sizeof instance->xerr.msg, "%s", message);
  instance->xerr.ext_msg[0] = '\0';
  return status;
}

struct Pair {
  std::string property, value;
};

// The bound row of a locator read.
struct Row {
  SQLINTEGER id, type;
  char name[33], owner[33], category[33], description[65], property[33], value[256];
  SQLLEN ind[8];
};

SQLRETURN bind_columns(SQLHSTMT h, Row* r) {
  memset(r, 0, sizeof *r);
  SQLRETURN rc = SQLBindCol(h, 1, SQL_C_LONG, &r->id, 0, &r->ind[0]);
  if (ok(rc)) rc = SQLBindCol(h, 2, SQL_C_CHAR, r->name, sizeof r->name, &r->ind[1]);
  if (ok(rc)) rc = SQLBindCol(h, 3, SQL_C_CHAR, r->owner, sizeof r->owner, &r->ind[2]);
  if (ok(rc)) rc = SQLBindCol(h, 4, SQL_C_CHAR, r->category, sizeof r->category, &r->ind[3]);
  if (ok(rc)) rc = SQLBindCol(h, 5, SQL_C_LONG, &r->type, 0, &r->ind[4]);
  if (ok(rc)) rc = SQLBindCol(h, 6, SQL_C_CHAR, r->description, sizeof r->description, &r->ind[5]);
  if (ok(rc)) rc = SQLBindCol(h, 7, SQL_C_CHAR, r->property, sizeof r->property, &r->ind[6]);
  if (ok(rc)) rc = SQLBindCol(h, 8, SQL_C_CHAR, r->value, sizeof r->value, &r->ind[7]);
  return rc;
}

void put(char* dst, size_t cap, const char* src, SQLLEN ind) {
  size_t n = ind > 0 ? strnlen(src, cap - 1) : 0;
  memcpy(dst, src, n);
  dst[n] = '\0';
}

void fill_head(const Row& r, LOCATOR* out) {
  out->id = r.id;
  out->type = r.type;
  put(out->name, sizeof out->name, r.name, r.ind[1]);
  put(out->owner, sizeof out->owner, r.owner, r.ind[2]);
  put(out->category, sizeof out->category, r.category, r.ind[3]);
  put(out->description, sizeof out->description, r.description, r.ind[5]);
}

// Hands the gathered pairs to a record, emptying the list.
int32_t attach_properties(LOCATOR* out, std::vector<Pair>* pairs) {
  out->property_count = (int32_t)pairs->size();
  if (pairs->empty()) return 0;
  int32_t n = (int32_t)pairs->size();
  if (SES_allocate_string_array(&out->property_names, n, SE_LOCATOR_NAME_SLOT) != 0) return SE_OUT_OF_DBMS_MEM;
  if (SES_allocate_string_array(&out->property_values, n, SE_LOCATOR_VALUE_SLOT) != 0) {
    free(out->property_names);
    out->property_names = nullptr;
    return SE_OUT_OF_DBMS_MEM;
  }
  for (int32_t i = 0; i < n; ++i) {
    snprintf(out->property_names[i], SE_LOCATOR_NAME_SLOT, "%s", (*pairs)[i].property.c_str());
    snprintf(out->property_values[i], SE_LOCATOR_VALUE_SLOT, "%s", (*pairs)[i].value.c_str());
  }
  pairs->clear();
  return 0;
}

void gather(const Row& r, std::vector<Pair>* pairs) {
  if (r.ind[6] == SQL_NULL_DATA) return;
  Pair p;
  p.property = r.ind[6] > 0 ? std::string(r.property, strnlen(r.property, sizeof r.property)) : "";
  p.value = r.ind[7] > 0 ? std::string(r.value, strnlen(r.value, sizeof r.value)) : "";
  pairs->push_back(p);
}

int32_t read_one(DB_INSTANCE* instance, const std::string& sql, LOCATOR* out) {
  memset(out, 0, sizeof *out);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;
  Row row;
  SQLRETURN rc = bind_columns(s.h, &row);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  SQLULEN rows = 0;
  status = db_execute_fetch(instance, s.h, 1, 1, &rows);
  if (status != 0 && status != SE_NO_DATA_BLOCK_END) return SE_DB_IO_ERROR;
  std::vector<Pair> pairs;
  try {
    while (status == 0) {
      fill_head(row, out);
      gather(row, &pairs);
      status = db_fetch_rows(s.h, 1, &rows);
    }
  } catch (...) {
    return SE_OUT_OF_DBMS_MEM;
  }
  if (status != SE_NO_DATA_BLOCK_END) {
    record_cli_error(instance, &s.h, SQL_ERROR);
    return SE_DB_IO_ERROR;
  }
  db_free_stmt(&s.h);
  if (out->owner[0] == '\0') return SE_LOCATOR_NOEXIST;
  return attach_properties(out, &pairs);
}

int32_t write_locator(DB_INSTANCE* instance, const LOCATOR* loc, const int32_t* record_ids, char** properties,
                      char** values, bool insert) {
  DB_instance_clear_xerr(instance);
  if (loc == nullptr) return SE_INVALID_POINTER;
  int32_t n = loc->property_count;
  if (n < 0 || (n > 0 && (record_ids == nullptr || properties == nullptr || values == nullptr)))
    return SE_INVALID_PARAM;
  std::string name = field(loc->name, sizeof loc->name), owner = field(loc->owner, sizeof loc->owner);
  std::string category = field(loc->category, sizeof loc->category);
  std::string description = field(loc->description, sizeof loc->description);
  if (!insert) {
    std::string sql = fmt("SELECT record_id FROM %s WHERE object_type = %d AND             object_name = "
                          "(select name from %s where locator_id = %d)              AND object_owner = '%s'",
                          metadata_table(instance).c_str(), SE_META_OBJECT_LOCATOR, locators_table(instance).c_str(),
                          loc->id, quoted(owner.c_str(), owner.size()).c_str());
    int32_t status = db_metadata_delete_selected(instance, sql.c_str());
    if (status != 0) {
      SES_print_debug(stderr, "S_execute_procedure metadata_delete_by_query error.\n");
      return status;
    }
  }
  const char* proc = insert ? "zul_insert_locator" : "zul_update_locator";
  char call[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, proc, 0, call);
  std::string sql = fmt(insert ? "call %s(?,?,?,?,?,?,?,?)" : "call %s(?,?,?,?,?,?,?)", call);
  {
    Stmt s;
    int32_t status = db_open_cursor(instance, nullptr, &s.h);
    if (status != 0) return status;
    SQLINTEGER id = loc->id, type = loc->type, code = 0;
    SQLLEN ind[8] = {0, SQL_NTS, SQL_NTS, 0, SQL_NTS, SQL_NTS, 0, 0};
    if (description.empty()) ind[4] = SQL_NULL_DATA;
    char message[1025] = "";
    SQLUSMALLINT out_pos = insert ? 7 : 6;
    SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &ind[0]);
    if (ok(rc)) rc = SQLBindParameter(s.h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, (SQLPOINTER)name.c_str(), 0, &ind[1]);
    if (ok(rc)) rc = SQLBindParameter(s.h, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, (SQLPOINTER)category.c_str(), 0, &ind[2]);
    if (ok(rc)) rc = SQLBindParameter(s.h, 4, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &type, 0, &ind[3]);
    if (ok(rc)) rc = SQLBindParameter(s.h, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 64, 0, (SQLPOINTER)description.c_str(), 0, &ind[4]);
    if (ok(rc) && insert)
      rc = SQLBindParameter(s.h, 6, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, (SQLPOINTER)owner.c_str(), 0, &ind[5]);
    if (ok(rc)) rc = SQLBindParameter(s.h, out_pos, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &ind[6]);
    if (ok(rc))
      rc = SQLBindParameter(s.h, (SQLUSMALLINT)(out_pos + 1), SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message,
                            sizeof message, &ind[7]);
    if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!ok(rc)) {
      record_cli_error(instance, &s.h, rc);
      return SE_DB_IO_ERROR;
    }
    if (code != 0)
      return procedure_failed(instance, code,
                              insert ? "Error executing stored procedure zul.insert_locator"
                                     : "Error executing stored procedure zul.update_locator");
  }
  if (n > 0) {
    METADATA_RECORD* records = static_cast<METADATA_RECORD*>(calloc((size_t)n, sizeof(METADATA_RECORD)));
    if (records == nullptr) {
      db_rollback_ddlsql(instance);
      return SE_OUT_OF_DBMS_MEM;
    }
    for (int32_t i = 0; i < n; ++i) {
      METADATA_RECORD& r = records[i];
      r.id = record_ids[i];
      snprintf(r.object_name, sizeof r.object_name, "%s", name.c_str());
      snprintf(r.object_owner, sizeof r.object_owner, "%s", owner.c_str());
      r.object_type = SE_META_OBJECT_LOCATOR;
      snprintf(r.class_name, sizeof r.class_name, "%s", SE_META_CLASS_INTERNAL);
      snprintf(r.property, sizeof r.property, "%.*s", 31, properties[i] != nullptr ? properties[i] : "");
      snprintf(r.value, sizeof r.value, "%.*s", 254, values[i] != nullptr ? values[i] : "");
    }
    int32_t status = DB_sp_metadata_def_insert(instance, records, n);
    free(records);
    if (status != 0) {
      db_rollback_ddlsql(instance);
      return status;
    }
  }
  return db_commit_ddlsql(instance);
}

}  // namespace

void db_locator_free_properties(LOCATOR* locator) {
  if (locator == nullptr) return;
  free(locator->property_names);
  free(locator->property_values);
  locator->property_names = nullptr;
  locator->property_values = nullptr;
  locator->property_count = 0;
}

int32_t DB_sp_zullocators_def_insert(DB_INSTANCE* instance, const LOCATOR* locator,
                                     const int32_t* record_ids, char** properties, char** values) {
  return write_locator(instance, locator, record_ids, properties, values, true);
}

int32_t DB_sp_zullocators_def_update(DB_INSTANCE* instance, const LOCATOR* locator,
                                     const int32_t* record_ids, char** properties, char** values) {
  return write_locator(instance, locator, record_ids, properties, values, false);
}

int32_t db_metadata_find_locator_refs(DB_INSTANCE* instance, const char* table,
                                      const char* database, const char* owner,
                                      int32_t locator_id, int32_t* no_other) {
  *no_other = 0;
  std::string sql = fmt("SELECT record_id from %s WHERE object_name = '%s' AND object_database = '%s' AND "
                        "object_owner = '%s' AND object_type = %d AND class_name = '%s' AND property = '%s' AND "
                        "prop_value != '%d'",
                        metadata_table(instance).c_str(), quoted(table, SE_NAME_TABLE_LEN).c_str(),
                        quoted(database, SE_NAME_DATABASE_LEN).c_str(), quoted(owner, SE_NAME_OWNER_LEN).c_str(),
                        SE_META_OBJECT_TABLE, SE_META_CLASS_INTERNAL, SE_META_PROP_LOCATOR_ID, locator_id);
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  SQLRETURN rc = SQLBindCol(s.h, 1, SQL_C_LONG, &id, 0, &ind);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  SQLULEN rows = 0;
  status = db_execute_fetch(instance, s.h, 1, 1, &rows);
  if (status == 0) return 0;
  if (status == SE_NO_DATA_BLOCK_END) {
    *no_other = 1;
    return 0;
  }
  return SE_DB_IO_ERROR;
}

int32_t DB_sp_zullocators_def_delete(DB_INSTANCE* instance, int32_t locator_id,
                                     int32_t** reg_ids, int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (reg_ids == nullptr || count == nullptr) return SE_INVALID_POINTER;
  std::string meta = metadata_table(instance), locs = locators_table(instance);
  {
    char registry[SE_DB_QUALIFIED_LEN];
    db_make_table_registry_table_name(instance, registry);
    std::string sql = fmt("SELECT registration_id, table_name, owner, database_name  FROM %s r  WHERE EXISTS "
                          "(SELECT  * from %s  WHERE object_type = %d AND class_name = '%s' AND property = '%s' AND "
                          "prop_value = '%d' AND object_name=r.table_name AND object_owner=r.owner AND "
                          "object_database=r.database_name)",
                          registry, meta.c_str(), SE_META_OBJECT_TABLE, SE_META_CLASS_INTERNAL,
                          SE_META_PROP_LOCATOR_ID, locator_id);
    Stmt s;
    int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
    if (status != 0) return status;
    SQLINTEGER reg = 0;
    char table[161], owner[33], database[33];
    SQLLEN ind[4];
    SQLRETURN rc = SQLBindCol(s.h, 1, SQL_C_LONG, &reg, 0, &ind[0]);
    if (ok(rc)) rc = SQLBindCol(s.h, 2, SQL_C_CHAR, table, sizeof table, &ind[1]);
    if (ok(rc)) rc = SQLBindCol(s.h, 3, SQL_C_CHAR, owner, sizeof owner, &ind[2]);
    if (ok(rc)) rc = SQLBindCol(s.h, 4, SQL_C_CHAR, database, sizeof database, &ind[3]);
    if (ok(rc)) rc = SQLExecute(s.h);
    while (ok(rc)) {
      table[0] = owner[0] = database[0] = '\0';
      rc = SQLFetch(s.h);
      if (!ok(rc)) break;
      if (ind[1] <= 0) table[0] = '\0';
      if (ind[2] <= 0) owner[0] = '\0';
      if (ind[3] <= 0) database[0] = '\0';
      int32_t none = 0;
      status = db_metadata_find_locator_refs(instance, table, database, owner, locator_id, &none);
      if (status != 0) return SE_DB_IO_ERROR;
      if (!none) continue;
      int32_t* grown = static_cast<int32_t*>(realloc(*reg_ids, ((size_t)*count + 1) * sizeof(int32_t)));
      if (grown == nullptr) return SE_OUT_OF_DBMS_MEM;
      *reg_ids = grown;
      (*reg_ids)[(*count)++] = reg;
    }
    if (rc != SQL_NO_DATA) {
      record_cli_error(instance, &s.h, rc);
      return SE_DB_IO_ERROR;
    }
  }
  std::string sql = fmt("SELECT record_id FROM %s WHERE (object_type = %d AND EXISTS    (SELECT * FROM %s WHERE "
                        "locator_id = %d AND object_name = name    AND object_owner = owner)) OR (object_type = %d "
                        "AND class_name = '%s'    AND property = '%s' AND prop_value = '%d')",
                        meta.c_str(), SE_META_OBJECT_LOCATOR, locs.c_str(), locator_id, SE_META_OBJECT_TABLE,
                        SE_META_CLASS_INTERNAL, SE_META_PROP_LOCATOR_ID, locator_id);
  int32_t status = db_metadata_delete_selected(instance, sql.c_str());
  if (status != 0) {
    SES_print_debug(stderr, "DB_sp_zullocators_def_delete Metadata Execute error (%d).\n", (int)status);
    return status;
  }
  char call[SE_DB_QUALIFIED_LEN];
  db_sp_make_name(instance, "zul_delete_locator", 0, call);
  std::string text = fmt("call %s(?,?,?)", call);
  Stmt s;
  status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLINTEGER id = locator_id, code = 0;
  SQLLEN ind[3] = {0, 0, 0};
  char message[1025] = "";
  SQLRETURN rc = SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &ind[0]);
  if (ok(rc)) rc = SQLBindParameter(s.h, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &ind[1]);
  if (ok(rc))
    rc = SQLBindParameter(s.h, 3, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message, sizeof message, &ind[2]);
  if (ok(rc)) rc = SQLExecDirect(s.h, (SQLCHAR*)text.c_str(), SQL_NTS);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  if (code != 0) return procedure_failed(instance, code, "Error executing stored procedure delete_locator");
  return 0;
}

int32_t DB_locator_get_info(DB_INSTANCE* instance, const char* name, LOCATOR* out) {
  DB_instance_clear_xerr(instance);
  if (name == nullptr || out == nullptr) return SE_INVALID_POINTER;
  std::string text = name, owner, bare;
  size_t dot = text.rfind('.');
  if (dot == std::string::npos) {
    owner = instance->current_user;
    bare = text;
  } else {
    owner = text.substr(0, dot);
    bare = text.substr(dot + 1);
  }
  char own[SE_NAME_OWNER_LEN];
  snprintf(own, sizeof own, "%s", owner.c_str());
  db_upcase_identifier(instance, own, sizeof own);
  std::string sql = fmt("SELECT locator_id,name,owner,category,type,l.description, m.property,m.prop_value,m.record_id "
                        "FROM %s AS l LEFT OUTER JOIN %s AS m ON l.name = m.object_name AND l.owner = m.object_owner "
                        "WHERE name = '%s' AND owner = '%s' AND m.object_type = %d ORDER BY m.record_id",
                        locators_table(instance).c_str(), metadata_table(instance).c_str(),
                        quoted(bare.c_str(), 32).c_str(), quoted(own, sizeof own).c_str(), SE_META_OBJECT_LOCATOR);
  return read_one(instance, sql, out);
}

int32_t DB_locator_get_info_by_id(DB_INSTANCE* instance, int32_t id, LOCATOR* out) {
  DB_instance_clear_xerr(instance);
  if (out == nullptr) return SE_INVALID_POINTER;
  std::string sql = fmt("SELECT locator_id,name,owner,category,type,l.description, property,prop_value,m.record_id "
                        "FROM %s AS l LEFT OUTER JOIN %s AS m ON l.name = m.object_name AND l.owner = m.object_owner "
                        "WHERE locator_id = %d AND m.object_type = %d ORDER BY m.record_id",
                        locators_table(instance).c_str(), metadata_table(instance).c_str(), id,
                        SE_META_OBJECT_LOCATOR);
  return read_one(instance, sql, out);
}

int32_t DB_locator_get_info_list(DB_INSTANCE* instance, const char* where, LOCATOR** list,
                                 int32_t* count) {
  DB_instance_clear_xerr(instance);
  if (list == nullptr || count == nullptr) return SE_INVALID_POINTER;
  *list = nullptr;
  *count = 0;
  const char* rest = db_sql_strip_where(where);
  std::string sql = fmt("SELECT locator_id, name,owner,category,type,l.description, property,prop_value,record_id "
                        "FROM %s AS l LEFT OUTER JOIN %s AS m ON l.name = m.object_name AND l.owner = m.object_owner "
                        "WHERE m.object_type = %d ",
                        locators_table(instance).c_str(), metadata_table(instance).c_str(), SE_META_OBJECT_LOCATOR);
  if (rest != nullptr) sql = fmt("%s AND (%s)", sql.c_str(), rest);
  sql += " ORDER BY l.locator_id,m.record_id";
  Stmt s;
  int32_t status = db_prepare_stmt(instance, nullptr, &s.h, sql.c_str());
  if (status != 0) return status;
  Row row;
  SQLRETURN rc = bind_columns(s.h, &row);
  if (!ok(rc)) {
    record_cli_error(instance, &s.h, rc);
    return SE_DB_IO_ERROR;
  }
  SQLULEN rows = 0;
  status = db_execute_fetch(instance, s.h, 1, 1, &rows);
  if (status != 0 && status != SE_NO_DATA_BLOCK_END) return SE_DB_IO_ERROR;
  std::vector<LOCATOR> out;
  std::vector<Pair> pairs;
  auto release = [&]() {
    for (LOCATOR& l : out) db_locator_free_properties(&l);
  };
  try {
    while (status == 0) {
      if (out.empty() || out.back().id != row.id) {
        if (!out.empty() && attach_properties(&out.back(), &pairs) != 0) {
          release();
          return SE_OUT_OF_DBMS_MEM;
        }
        LOCATOR l;
        memset(&l, 0, sizeof l);
        fill_head(row, &l);
        out.push_back(l);
      }
      gather(row, &pairs);
      status = db_fetch_rows(s.h, 1, &rows);
    }
  } catch (...) {
    release();
    return SE_OUT_OF_DBMS_MEM;
  }
  if (status != SE_NO_DATA_BLOCK_END) {
    release();
    record_cli_error(instance, &s.h, SQL_ERROR);
    return SE_DB_IO_ERROR;
  }
  if (!out.empty() && attach_properties(&out.back(), &pairs) != 0) {
    release();
    return SE_OUT_OF_DBMS_MEM;
  }
  if (!out.empty()) {
    *list = static_cast<LOCATOR*>(malloc(out.size() * sizeof(LOCATOR)));
    if (*list == nullptr) {
      release();
      return SE_OUT_OF_DBMS_MEM;
    }
    memcpy(*list, out.data(), out.size() * sizeof(LOCATOR));
  }
  *count = (int32_t)out.size();
  return 0;
}
