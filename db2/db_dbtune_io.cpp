// db_dbtune_io.cpp -- the dbtune table's creation, its export to a dbtune
// file, and the import of a file into it through the stored procedures
// zul_trunc_dbtune and zul_insert_dbtune.
//
// Divisions:
//   1. procedure names, one row's insertion
//   2. creation
//   3. export
//   4. load of a file and import
//
// Notes:
//   1. An import is one unit of work on the instance's connection: it commits
//      after the last row and the built-in defaults, and rolls back when a row
//      cannot be inserted or the file cannot be read.
//   2. A file name from a client names a file in $ZULHOME/etc and nothing
//      else (dbtune_file_path).
// Relies on db_dbtune.cpp for the file parsing and the row reader, on
// db_dbtune_defaults.cpp for the built-in rows, and on db_sp_set_message_error
// for a procedure's message code.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_install.h"
#include "zul_dbtune.h"

namespace {

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

void fill_error_row(DBTUNE_ERROR_ROW* row, const char* keyword, const char* name, const char* value) {
  if (row == nullptr) return;
  copy_text(row->keyword, sizeof row->keyword, keyword);
  copy_text(row->parameter_name, sizeof row->parameter_name, name);
  copy_text(row->config_string, sizeof row->config_string, value);
}

void print_failed_row(const char* keyword, const char* name, const char* value) {
  SES_print_debug(stderr, "Error inserting following data into DBTUNE table:\n");
  SES_print_debug(stderr, "\tConfig keyword: %s\n", keyword);
  SES_print_debug(stderr, "\tParameter name: %s\n", name);
  SES_print_debug(stderr, "\tConfig String : %s\n", value);
}

}  // namespace

// ---- 1. procedures --------------------------------------------------------------------

int32_t db_dbtune_insert_row(DB_INSTANCE* instance, const char* call_text, char* keyword, char* name,
                             const char* value, DBTUNE_ERROR_ROW* error_row) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &stmt);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
  db_upcase_identifier(instance, keyword, DBTUNE_NAME_LEN);
  db_upcase_identifier(instance, name, DBTUNE_NAME_LEN);

  // the procedure's parameters are 32, 32 and 2048 characters wide
  char value_buf[DBTUNE_STRING_LEN];
  copy_text(value_buf, sizeof value_buf, value != nullptr ? value : "");
  SQLINTEGER code = 0;
  char message[512] = "";
  SQLLEN kw_len = SQL_NTS, name_len = SQL_NTS, value_len = SQL_NTS, code_ind = 0, msg_ind = 0;
  rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, keyword,
                        (SQLLEN)strlen(keyword) + 1, &kw_len);
  if (rc == SQL_SUCCESS)
    rc = SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, name,
                          (SQLLEN)strlen(name) + 1, &name_len);
  if (rc == SQL_SUCCESS)
    rc = SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 2048, 0, value_buf,
                          (SQLLEN)strlen(value_buf) + 1, &value_len);
  if (rc == SQL_SUCCESS)
    rc = SQLBindParameter(stmt, 4, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &code_ind);
  if (rc == SQL_SUCCESS)
    rc = SQLBindParameter(stmt, 5, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message,
                          sizeof message, &msg_ind);
  if (rc == SQL_SUCCESS) {
    rc = SQLExecDirect(stmt, (SQLCHAR*)call_text, SQL_NTS);
    if (rc == SQL_SUCCESS_WITH_INFO) rc = SQL_SUCCESS;
  }
  if (rc != SQL_SUCCESS) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    fill_error_row(error_row, keyword, name, value_buf);
    print_failed_row(keyword, name, value_buf);
    db_free_stmt(&stmt);
    return rc;
  }
  if (code == 0) {
    db_free_stmt(&stmt);
    return 0;
  }
  int32_t status = db_sp_set_message_error(instance, code, call_text);
  fill_error_row(error_row, keyword, name, value_buf);
  print_failed_row(keyword, name, value_buf);
  db_free_stmt(&stmt);
  return status;
}

// ---- 2. creation -----------------------------------------------------------------------

int32_t DB_instance_dbtune_table_create(DB_INSTANCE* instance, const char* file_name,
                                        const DBTUNE_SYSTEM_PARAMS* storage) {
  (void)file_name;
  char table[SE_DB_QUALIFIED_LEN];
  db_make_dbtune_table_name(instance, table);
  SQL_STRING sql;
  sql_string_init_growable(&sql);
  char head[SE_DB_QUALIFIED_LEN + 256];
  snprintf(head, sizeof head,
           "CREATE TABLE %s (keyword VARCHAR(32) NOT NULL, parameter_name VARCHAR(32) NOT NULL, "
           "config_string  VARCHAR(2048), CONSTRAINT dbtune_uk UNIQUE (keyword,parameter_name)) ",
           table);
  int32_t status = sql_string_append(&sql, head);
  if (status == 0 && storage != nullptr && storage->count >= DBTUNE_KEYWORD_OWN_ROWS &&
      storage->clauses[DBTUNE_SYS_B_STORAGE][0] != '\0')
    status = sql_string_append(&sql, storage->clauses[DBTUNE_SYS_B_STORAGE]);
  if (status != 0) {
    sql_string_free(&sql);
    return status;
  }
  status = db_execute_ddlsql(instance, sql.text, 1, DB_MODE_DDL_COMMIT);
  sql_string_free(&sql);
  if (status != 0) {
    SES_print_debug(stderr,
                    "DB_instance_dbtune_table_create()::\n\t                     Error creating dbtune table: %d\n",
                    (int)status);
    return status;
  }
  char grant[SE_DB_QUALIFIED_LEN + 64];
  snprintf(grant, sizeof grant, "GRANT SELECT ON %s TO PUBLIC", table);
  status = db_execute_ddlsql(instance, grant, 1, DB_MODE_DDL_COMMIT);
  if (status != 0) {
    SES_print_debug(stderr,
                    "DB_instance_dbtune_table_create()::\n\t          Error GRANT permission on dbtune table "
                    "to PUBLIC: %d\n",
                    (int)status);
    return status;
  }
  return 0;
}

// ---- 3. export -------------------------------------------------------------------------

namespace {

int32_t db_copy_dbtune_TableToFile(DB_INSTANCE* instance, const char* file_name) {
  char path[4096];
  if (getenv("ZULHOME") == nullptr) {
    SES_print_debug(stderr, "db_copy_dbtune_TableToFile() EV_zul_dir Read Error.\n");
    return SE_DBTUNE_FILE_ERROR;
  }
  FILE* file = nullptr;
  if (dbtune_file_path(file_name, path, sizeof path) == 0) file = fopen(path, "w");
  if (file == nullptr) {
    SES_print_debug(stderr, "db_copy_dbtune_TableToFile() Error Opening DBTUNE file.\n");
    SES_print_debug(stderr, "OPEN DBTUNE\n");
    return SE_DBTUNE_WRITE_ERROR;
  }
  char** k = nullptr;
  char** n = nullptr;
  char** v = nullptr;
  int32_t count = 0;
  int32_t status = db_dbtune_fetch_rows(instance, DBTUNE_FETCH_ALL, "", "", &k, &n, &v, &count);
  if (status != 0) {
    fclose(file);
    return status;
  }
  if (count == 0) {
    fprintf(file, "##%s\n", "DEFAULTS");
    fprintf(file, "\n");
    fprintf(file, "%s\n", "END");
  } else {
    fprintf(file, "##%s\n", k[0]);
    for (int32_t i = 0; i < count; ++i) {
      if (i > 0 && strcasecmp(k[i], k[i - 1]) != 0) {
        fprintf(file, "%s\n\n", "END");
        fprintf(file, "##%s\n", k[i]);
      }
      if (dbtune_is_known_name(n[i]) && strcasecmp(n[i], "BND_INDEX_COMPOSITE") != 0)
        fprintf(file, "%s\t\"%s\"\n", n[i], v[i]);
      else
        fprintf(file, "%s\t%s\n", n[i], v[i]);
    }
    fprintf(file, "%s\n", "END");
  }
  dbtune_free_rows(k, n, v, count);
  // a file that could not be written in full is not a saved configuration
  bool failed = ferror(file) != 0;
  if (fclose(file) != 0) failed = true;
  return failed ? SE_DBTUNE_WRITE_ERROR : 0;
}

}  // namespace

int32_t DB_instance_export_dbtune(DB_INSTANCE* instance, const char* file_name) {
  return db_copy_dbtune_TableToFile(instance, file_name);
}

// ---- 4. load and import ------------------------------------------------------------------

namespace {

// The names a block's collected rows are inserted under as they stand.
bool is_value_row(const char* name) {
  static const char* const kNames[] = {"COMMENT", "UI_TEXT", "UI_NETWORK_TEXT", "UI_TOPOLOGY_TEXT",
                                       "B_RUNSTATS", "LOB_OPTION", "LOB_SIZE"};
  for (const char* s : kNames)
    if (strcasecmp(s, name) == 0) return true;
  return false;
}

struct FieldRef {
  const char* name;
  int which;      // 0 DBTUNE_PARAMS, 1 logfile, 2 raster
  size_t offset;
};

#define FP(f) {#f, 0, offsetof(DBTUNE_PARAMS, f)}
#define FL(f) {#f, 1, offsetof(DBTUNE_LOGFILE_PARAMS, f)}
#define FR(f) {#f, 2, offsetof(DBTUNE_RASTER_PARAMS, f)}
const FieldRef kStorageOrder[] = {
    FP(B_STORAGE), FP(B_INDEX_ROWID), FP(B_INDEX_SHAPE), FP(B_INDEX_USER), FP(A_STORAGE),
    FP(A_INDEX_ROWID), FP(A_INDEX_SHAPE), FP(A_INDEX_STATEID), FP(A_INDEX_USER), FP(D_STORAGE),
    FP(D_INDEX_STATE_ROWID), FP(D_INDEX_DELETED_AT), FL(LF_STORAGE), FL(LD_STORAGE),
    FL(LD_INDEX_DATA_ID), FL(LD_INDEX_ROWID), FR(RAS_STORAGE), FR(RAS_INDEX_ID), FR(BND_STORAGE),
    FR(BND_INDEX_ID), FR(BND_INDEX_COMPOSITE), FR(AUX_STORAGE), FR(AUX_INDEX_COMPOSITE),
    FR(BLK_STORAGE), FR(BLK_INDEX_COMPOSITE),
};
const FieldRef kSystemOrder[] = {
    FP(STATE_LINEAGES_TABLE), FP(STATES_TABLE), FP(STATES_INDEX), FP(VERSIONS_TABLE),
    FP(VERSIONS_INDEX), FP(MVTABLES_MODIFIED_TABLE), FP(MVTABLES_MODIFIED_INDEX),
};
#undef FP
#undef FL
#undef FR

struct Records {
  DBTUNE_PARAMS params;
  DBTUNE_LOGFILE_PARAMS logfile;
  DBTUNE_RASTER_PARAMS raster;
  char line[DBTUNE_LINE_LEN];
};

// Inserts the rows of one block. 0, or the failing insertion's status.
int32_t S_insert_dbtuneTab_data(DB_INSTANCE* instance, const char* call_text, Records* r,
                                DBTUNE_ROW_LIST* rows, DBTUNE_ERROR_ROW* error_row,
                                int32_t supplied[DBTUNE_DEFAULT_ROWS]) {
  char block[DBTUNE_NAME_LEN];
  copy_text(block, sizeof block, rows->keywords[0]);
  int32_t status = 0;
  for (int32_t i = 0; i < rows->count && status == 0; ++i) {
    if (!is_value_row(rows->names[i])) continue;
    char kw[DBTUNE_NAME_LEN];
    char name[DBTUNE_NAME_LEN];
    copy_text(kw, sizeof kw, rows->keywords[i]);
    copy_text(name, sizeof name, rows->names[i]);
    status = db_dbtune_insert_row(instance, call_text, kw, name, rows->values[i], error_row);
  }
  if (status == 0) dbtune_defaults_mark_block(supplied, block, rows);
  bool data_dictionary = strcasecmp(block, "DATA_DICTIONARY") == 0;
  const char* bases[3] = {reinterpret_cast<const char*>(&r->params),
                          reinterpret_cast<const char*>(&r->logfile),
                          reinterpret_cast<const char*>(&r->raster)};
  for (int pass = 0; pass < 2 && status == 0; ++pass) {
    if (pass == 1 && !data_dictionary) break;
    const FieldRef* order = pass == 0 ? kStorageOrder : kSystemOrder;
    size_t n = pass == 0 ? sizeof kStorageOrder / sizeof kStorageOrder[0]
                         : sizeof kSystemOrder / sizeof kSystemOrder[0];
    for (size_t i = 0; i < n && status == 0; ++i) {
      const char* value = bases[order[i].which] + order[i].offset;
      if (value[0] == '\0') continue;
      char kw[DBTUNE_NAME_LEN];
      char name[DBTUNE_NAME_LEN];
      copy_text(kw, sizeof kw, block);
      copy_text(name, sizeof name, order[i].name);
      status = db_dbtune_insert_row(instance, call_text, kw, name, value, error_row);
      if (status == 0) dbtune_defaults_mark(supplied, block, order[i].name);
    }
  }
  if (status != 0)
    SES_print_debug(stderr, "S_insert_dbtuneTab_data(): Error insert data to DBTUNE table.\n");
  return status;
}

int32_t db_copy_dbtune_FileToTable(DB_INSTANCE* instance, const char* file_name,
                                   DBTUNE_ERROR_ROW* error_row, int32_t table_existed) {
  const char* home = getenv("ZULHOME");
  if (home == nullptr) {
    db_rollback_ddlsql(instance);
    SES_print_debug(stderr, "db_copy_dbtune_FileToTable() EV_zul_dir Read Error.\n");
    return SE_DBTUNE_FILE_ERROR;
  }
  char call_name[64];
  char call_text[128];
  db_sp_make_name(instance, "zul_insert_dbtune", 2, call_name);
  snprintf(call_text, sizeof call_text, "call %s (?,?,?,?,?)", call_name);
  int32_t supplied[DBTUNE_DEFAULT_ROWS] = {0};
  int32_t complete[DBTUNE_DEFAULT_KEYWORDS] = {0};

  char path[4096];
  FILE* file = nullptr;
  if (dbtune_file_path(file_name, path, sizeof path) == 0) file = fopen(path, "r");
  if (file == nullptr) {
    if (table_existed) {
      db_rollback_ddlsql(instance);
      SES_print_debug(stderr, "db_copy_dbtune_FileToTable() Error Opening DBTUNE file.\n");
      SES_print_debug(stderr, "OPEN DBTUNE\n");
      return SE_DBTUNE_FILE_ERROR;
    }
    SES_print_debug(stderr, "WARNING: File %s is not found in %s directory.\n\t Inserting the default values.\n",
                    file_name != nullptr ? file_name : "", home);
    int32_t status = S_insert_dbtuneTab_defaults_data(instance, file_name, complete, error_row, supplied);
    if (status != 0) {
      // a half-filled new table is no configuration: nothing of it is kept
      db_rollback_ddlsql(instance);
      return SE_DB_IO_ERROR;
    }
    db_commit_ddlsql(instance);
    return SE_DBTUNE_FILE_ERROR;
  }

  std::unique_ptr<Records, decltype(&free)> r(static_cast<Records*>(calloc(1, sizeof(Records))), &free);
  DBTUNE_ROW_LIST rows = {nullptr, nullptr, nullptr, 0};
  int32_t status = r ? 0 : SE_OUT_OF_DBMS_MEM;
  int32_t more = status == 0 ? dbtune_read_line(file, r->line) : 0;
  while (more && status == 0) {
    char keyword[DBTUNE_NAME_LEN];
    if (!dbtune_header_keyword(r->line, keyword)) {
      more = dbtune_read_line(file, r->line);
      continue;
    }
    memset(&r->params, 0, sizeof r->params);
    memset(&r->logfile, 0, sizeof r->logfile);
    memset(&r->raster, 0, sizeof r->raster);
    if (!dbtune_read_line(file, r->line)) break;
    status = db_dbtune_parse_keyword_block(file, r->line, &more, keyword, &r->params, &r->logfile,
                                           &r->raster, &rows);
    if (status != 0) break;
    bool has_ui_text = false;
    for (int32_t i = 0; i < rows.count; ++i)
      if (strncasecmp(rows.names[i], "UI_TEXT", 7) == 0) has_ui_text = true;
    if (!has_ui_text && strncasecmp(keyword, "NETWORK_DEFAULTS", 16) != 0 &&
        strncasecmp(keyword, "TOPOLOGY_DEFAULTS", 17) != 0) {
      status = dbtune_row_list_append(&rows, keyword, "UI_TEXT", "");
      if (status != 0) break;
    }
    if (rows.count > 0) {
      status = S_insert_dbtuneTab_data(instance, call_text, r.get(), &rows, error_row, supplied);
      dbtune_row_list_clear(&rows);
      if (status != 0) break;
    }
  }
  fclose(file);
  if (status == 0) {
    dbtune_defaults_complete(supplied, complete);
    status = S_insert_dbtuneTab_defaults_data(instance, file_name, complete, error_row, supplied);
  }
  dbtune_row_list_clear(&rows);
  if (status != 0) {
    db_rollback_ddlsql(instance);
    return SE_DB_IO_ERROR;
  }
  if (db_commit_ddlsql(instance) != 0) return SE_DB_IO_ERROR;
  return 0;
}

}  // namespace

int32_t DB_instance_load_dbtune_table(DB_INSTANCE* instance, const char* file_name,
                                      DBTUNE_ERROR_ROW* error_row, int32_t table_existed) {
  return db_copy_dbtune_FileToTable(instance, file_name, error_row, table_existed);
}

int32_t DB_instance_import_dbtune(DB_INSTANCE* instance, const char* file_name,
                                  DBTUNE_ERROR_ROW* error_row) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, instance->hdbc, &stmt);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
  char call_name[64];
  char call_text[128];
  db_sp_make_name(instance, "zul_trunc_dbtune", 2, call_name);
  snprintf(call_text, sizeof call_text, "call %s (?,?)", call_name);
  SQLINTEGER code = 0;
  char message[512] = "";
  SQLLEN code_ind = 0, msg_ind = 0;
  rc = SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &code_ind);
  if (rc == SQL_SUCCESS)
    rc = SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 512, 0, message,
                          sizeof message, &msg_ind);
  if (rc != SQL_SUCCESS) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  rc = SQLExecDirect(stmt, (SQLCHAR*)call_text, SQL_NTS);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    // the client learns why from the instance's error
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    db_free_stmt(&stmt);
    return rc;
  }
  int32_t status;
  if (code == 0) {
    status = db_copy_dbtune_FileToTable(instance, file_name, error_row, 1);
  } else if (code == -20037) {
    DBTUNE_SYSTEM_PARAMS* storage = static_cast<DBTUNE_SYSTEM_PARAMS*>(calloc(1, sizeof *storage));
    if (storage == nullptr) {
      db_free_stmt(&stmt);
      return SE_OUT_OF_DBMS_MEM;
    }
    (void)DB_read_system_tab_storage_config(instance, "DATA_DICTIONARY", DBTUNE_FILE_NAME, storage);
    status = DB_instance_dbtune_table_create(instance, file_name, storage);
    free(storage);
    if (status != 0) {
      db_free_stmt(&stmt);
      return status;
    }
    status = db_copy_dbtune_FileToTable(instance, file_name, error_row, 0);
  } else {
    fprintf(stderr, "Error: Could not truncate DBTUNE Table: %d\n", (int)code);
    status = db_sp_set_message_error(instance, code, call_name);
    db_free_stmt(&stmt);
    return status;
  }
  if (status != 0) db_rollback_ddlsql(instance);
  db_free_stmt(&stmt);
  return status;
}
