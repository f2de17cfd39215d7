// db_dbtune.cpp -- the dbtune table's existence test, the row reader, the
// keyword readers with their DEFAULTS fallback, the system-table storage,
// and the parsing of the text file dbtune.zul.
//
// Divisions:
//   1. names, paths and the row list
//   2. the table: existence test and row reader
//   3. keyword readers (layer, log file, raster) and system-table storage
//   4. the file: lines, headers, block parsing, one keyword
//
// Notes:
//   1. Every string read from the table or the file is copied within the
//      width of its field; a longer value is cut there.
//   2. The row reader puts the first keyword into its SELECT as a literal,
//      with its quotes doubled, so a keyword that a client names can never
//      end the literal.
//   3. The file is read a line at a time, at most 2111 characters; the rest
//      of a longer line is dropped so that it can never pass for a header.
// Relies on the statement layer and the reporters of dbsql_io.h, and on
// SES_print_debug for the lines shown under ZULVERBOSE.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_dbtune.h"

namespace {

// ---- 1. names, paths and the row list ------------------------------------------

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

bool begins_with_nocase(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, strlen(prefix)) == 0;
}

// Where a recognised name goes in the three records.
enum Target { kParams, kLogfile, kRaster, kSystem, kNowhere };

struct NameInfo {
  const char* name;
  Target target;
  size_t params_offset;   // offset of the field in its record
  size_t cap;             // the field's width
};

#define P(f) #f, kParams, offsetof(DBTUNE_PARAMS, f), sizeof(DBTUNE_PARAMS::f)
#define S(f) #f, kSystem, offsetof(DBTUNE_PARAMS, f), sizeof(DBTUNE_PARAMS::f)
#define L(f) #f, kLogfile, offsetof(DBTUNE_LOGFILE_PARAMS, f), sizeof(DBTUNE_LOGFILE_PARAMS::f)
#define R(f) #f, kRaster, offsetof(DBTUNE_RASTER_PARAMS, f), sizeof(DBTUNE_RASTER_PARAMS::f)
#define N(f) #f, kNowhere, 0, 0

// The 51 names a file may hold.
const NameInfo kNames[] = {
    {P(B_STORAGE)}, {P(B_INDEX_ROWID)}, {P(B_INDEX_SHAPE)}, {P(B_INDEX_USER)},
    {P(A_STORAGE)}, {P(A_INDEX_ROWID)}, {P(A_INDEX_SHAPE)}, {P(A_INDEX_STATEID)}, {P(A_INDEX_USER)},
    {P(D_STORAGE)}, {P(D_INDEX_STATE_ROWID)}, {P(D_INDEX_DELETED_AT)},
    {L(LF_STORAGE)}, {L(LD_STORAGE)}, {L(LD_INDEX_DATA_ID)}, {L(LD_INDEX_ROWID)},
    {R(RAS_STORAGE)}, {R(RAS_INDEX_ID)}, {R(BND_STORAGE)}, {R(BND_INDEX_ID)},
    {R(BND_INDEX_COMPOSITE)}, {R(AUX_STORAGE)}, {R(AUX_INDEX_COMPOSITE)}, {R(BLK_STORAGE)},
    {R(BLK_INDEX_COMPOSITE)},
    {S(STATE_LINEAGES_TABLE)}, {S(STATES_TABLE)}, {S(STATES_INDEX)}, {S(VERSIONS_TABLE)},
    {S(VERSIONS_INDEX)}, {S(MVTABLES_MODIFIED_TABLE)}, {S(MVTABLES_MODIFIED_INDEX)},
    {P(B_RUNSTATS)}, {P(LOB_OPTION)}, {P(LOB_SIZE)}, {N(COMMENT)}, {N(UI_TEXT)},
    {N(UI_NETWORK_TEXT)}, {N(UI_TOPOLOGY_TEXT)},
    {P(B_INDEX_1)}, {P(A_INDEX_1)}, {P(A_INDEX_2)}, {P(D_INDEX_1)}, {P(D_INDEX_2)},
    {L(LD_INDEX_1)}, {L(LD_INDEX_2)}, {R(RAS_INDEX_1)}, {R(BND_INDEX_1)}, {R(BND_INDEX_2)},
    {R(AUX_INDEX_1)}, {R(BLK_INDEX_1)},
};
static_assert(sizeof kNames / sizeof kNames[0] == 51, "the file knows 51 parameter names");

#undef P
#undef S
#undef L
#undef R
#undef N

const NameInfo* find_name(const char* name) {
  for (const NameInfo& n : kNames)
    if (strcasecmp(n.name, name) == 0) return &n;
  return nullptr;
}

// The first word of a continuation line that ends a quoted value: the names
// the import keeps, and END.
bool ends_continuation(const char* word) {
  static const char* const kStops[] = {
      "B_STORAGE", "B_INDEX_ROWID", "B_INDEX_SHAPE", "B_INDEX_USER", "B_RUNSTATS", "LOB_OPTION",
      "LOB_SIZE", "A_STORAGE", "A_INDEX_ROWID", "A_INDEX_SHAPE", "A_INDEX_STATEID", "A_INDEX_USER",
      "D_STORAGE", "D_INDEX_STATE_ROWID", "D_INDEX_DELETED_AT", "LF_STORAGE", "LD_STORAGE",
      "LD_INDEX_DATA_ID", "LD_INDEX_ROWID", "END", "COMMENT", "UI_TEXT", "UI_NETWORK_TEXT",
      "STATE_LINEAGES_TABLE", "STATES_TABLE", "STATES_INDEX", "VERSIONS_TABLE", "VERSIONS_INDEX",
      "MVTABLES_MODIFIED_TABLE", "MVTABLES_MODIFIED_INDEX", "RAS_STORAGE", "RAS_INDEX_ID",
      "BND_STORAGE", "BND_INDEX_ID", "BND_INDEX_COMPOSITE", "AUX_STORAGE", "AUX_INDEX_COMPOSITE",
      "BLK_STORAGE", "BLK_INDEX_COMPOSITE",
  };
  for (const char* s : kStops)
    if (strcasecmp(s, word) == 0) return true;
  return false;
}

char* dup_text(const char* text) {
  size_t len = strlen(text);
  char* p = static_cast<char*>(malloc(len + 1));
  if (p != nullptr) memcpy(p, text, len + 1);
  return p;
}

bool grow(char*** array, int32_t count, int32_t more) {
  void* p = realloc(*array, sizeof(char*) * (size_t)(count + more));
  if (p == nullptr) return false;
  *array = static_cast<char**>(p);
  return true;
}

void add_count(int16_t* count, int32_t n) {
  // the count is 16-bit; a keyword with very many rows saturates rather
  // than turning negative and reading as "no such keyword"
  int32_t v = *count + n;
  *count = static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v);
}

}  // namespace

int32_t dbtune_file_path(const char* file_name, char* path, size_t cap) {
  const char* home = getenv("ZULHOME");
  if (home == nullptr) return SE_DBTUNE_FILE_ERROR;
  // the name may come from a client: it names a file in etc, nothing else
  if (file_name == nullptr || file_name[0] == '\0' || strchr(file_name, '/') != nullptr ||
      strchr(file_name, '\\') != nullptr || strcmp(file_name, ".") == 0 ||
      strcmp(file_name, "..") == 0)
    return SE_DBTUNE_FILE_ERROR;
  int n = snprintf(path, cap, "%s/etc/%s", home, file_name);
  if (n < 0 || (size_t)n >= cap) return SE_DBTUNE_FILE_ERROR;
  return 0;
}

int32_t dbtune_is_known_name(const char* name) { return find_name(name) != nullptr ? 1 : 0; }

char* db_dbtune_trim_right(char* text) {
  size_t len = strlen(text);
  while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' || text[len - 1] == '\n' ||
                     text[len - 1] == '\r'))
    text[--len] = '\0';
  return text;
}

int32_t dbtune_row_list_append(DBTUNE_ROW_LIST* list, const char* keyword, const char* name,
                               const char* value) {
  if (!grow(&list->keywords, list->count, 1) || !grow(&list->names, list->count, 1) ||
      !grow(&list->values, list->count, 1))
    return SE_OUT_OF_DBMS_MEM;
  char* k = dup_text(keyword);
  char* n = dup_text(name);
  char* v = dup_text(value);
  if (k == nullptr || n == nullptr || v == nullptr) {
    free(k);
    free(n);
    free(v);
    return SE_OUT_OF_DBMS_MEM;
  }
  list->keywords[list->count] = k;
  list->names[list->count] = n;
  list->values[list->count] = v;
  list->count++;
  return 0;
}

void dbtune_row_list_clear(DBTUNE_ROW_LIST* list) {
  dbtune_free_rows(list->keywords, list->names, list->values, list->count);
  list->keywords = list->names = list->values = nullptr;
  list->count = 0;
}

void dbtune_free_rows(char** keywords, char** names, char** values, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (keywords != nullptr) free(keywords[i]);
    if (names != nullptr) free(names[i]);
    if (values != nullptr) free(values[i]);
  }
  free(keywords);
  free(names);
  free(values);
}

// ---- 2. the table ------------------------------------------------------------------

int32_t DB_instance_dbtune_table_exists(DB_INSTANCE* instance) {
  char table[SE_DB_QUALIFIED_LEN];
  char sql[SE_DB_QUALIFIED_LEN + 32];
  db_make_dbtune_table_name(instance, table);
  snprintf(sql, sizeof sql, "SELECT keyword FROM %s", table);
  DB_CLI_STMT w;
  db_cli_init(instance, &w);
  int32_t status = db_cli_prepare(&w, sql);
  if (status == 0) {
    db_cli_free(&w);
    db_commit_ddlsql(instance);
    return 0;
  }
  int32_t answer = -1;
  if (db_cli_sqlstate_is(&w, "42S02")) answer = SE_TABLE_NOEXIST;
  else if (db_cli_sqlstate_is(&w, "42S22")) answer = SE_ATTR_NOEXIST;
  db_cli_free(&w);
  return answer;
}

int32_t db_dbtune_fetch_rows(DB_INSTANCE* instance, int32_t mode, const char* keyword,
                             const char* second, char*** keywords, char*** names,
                             char*** values, int32_t* count) {
  *keywords = *names = *values = nullptr;
  *count = 0;
  char table[SE_DB_QUALIFIED_LEN];
  db_make_dbtune_table_name(instance, table);

  char wanted[DBTUNE_NAME_LEN];
  copy_text(wanted, sizeof wanted, keyword != nullptr ? keyword : "");
  db_upcase_identifier(instance, wanted, sizeof wanted);
  // quotes doubled, so that the literal ends where the keyword ends
  char first_lit[2 * DBTUNE_NAME_LEN];
  char second_lit[2 * DBTUNE_NAME_LEN];
  const char* texts[2] = {wanted, second != nullptr ? second : ""};
  char* lits[2] = {first_lit, second_lit};
  for (int t = 0; t < 2; ++t) {
    size_t o = 0;
    for (const char* c = texts[t]; *c != '\0' && o + 2 < sizeof first_lit; ++c) {
      if (*c == '\'') lits[t][o++] = '\'';
      lits[t][o++] = *c;
    }
    lits[t][o] = '\0';
  }

  char sql[SE_DB_QUALIFIED_LEN + 4 * DBTUNE_NAME_LEN + 128];
  if (mode == DBTUNE_FETCH_ALL)
    snprintf(sql, sizeof sql, "SELECT keyword, parameter_name, config_string FROM %s order by keyword",
             table);
  else
    snprintf(sql, sizeof sql,
             "SELECT keyword, parameter_name, config_string FROM %s where keyword = '%s' OR keyword = '%s'",
             table, first_lit, second_lit);

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, nullptr, &stmt, sql);
  if (status != 0) {
    db_free_stmt(&stmt);
    return status;
  }
  SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)DBTUNE_ROWSET, 0);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) rc = SQLExecute(stmt);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }

  struct Buffers {
    char kw[DBTUNE_ROWSET][DBTUNE_NAME_LEN];
    char name[DBTUNE_ROWSET][DBTUNE_NAME_LEN];
    char value[DBTUNE_ROWSET][DBTUNE_STRING_LEN];
    SQLLEN kw_ind[DBTUNE_ROWSET];
    SQLLEN name_ind[DBTUNE_ROWSET];
    SQLLEN value_ind[DBTUNE_ROWSET];
    SQLUSMALLINT row_status[DBTUNE_ROWSET];
  };
  std::unique_ptr<Buffers, decltype(&free)> b(static_cast<Buffers*>(calloc(1, sizeof(Buffers))), &free);
  if (!b) {
    db_free_stmt(&stmt);
    return SE_OUT_OF_DBMS_MEM;
  }
  rc = SQLBindCol(stmt, 1, SQL_C_CHAR, b->kw, DBTUNE_NAME_LEN, b->kw_ind);
  if (rc == SQL_SUCCESS) rc = SQLBindCol(stmt, 2, SQL_C_CHAR, b->name, DBTUNE_NAME_LEN, b->name_ind);
  if (rc == SQL_SUCCESS) rc = SQLBindCol(stmt, 3, SQL_C_CHAR, b->value, DBTUNE_STRING_LEN, b->value_ind);
  if (rc != SQL_SUCCESS) {
    db_free_stmt(&stmt);
    return rc;
  }

  char** k = nullptr;
  char** n = nullptr;
  char** v = nullptr;
  int32_t total = 0;
  status = 0;
  for (;;) {
    SQLULEN fetched = 0;
    rc = SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, b->row_status);
    if (rc == SQL_NO_DATA) break;
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      status = rc;
      break;
    }
    if (fetched > DBTUNE_ROWSET) fetched = DBTUNE_ROWSET;
    int32_t got = (int32_t)fetched;
    if (!grow(&k, total, got) || !grow(&n, total, got) || !grow(&v, total, got)) {
      status = SE_OUT_OF_DBMS_MEM;
      break;
    }
    for (int32_t i = 0; i < got; ++i) {
      b->kw[i][DBTUNE_NAME_LEN - 1] = '\0';
      b->name[i][DBTUNE_NAME_LEN - 1] = '\0';
      b->value[i][DBTUNE_STRING_LEN - 1] = '\0';
      // a null configuration string reads as an empty one
      const char* value = b->value_ind[i] == SQL_NULL_DATA ? "" : b->value[i];
      k[total] = dup_text(b->kw_ind[i] == SQL_NULL_DATA ? "" : b->kw[i]);
      n[total] = dup_text(b->name_ind[i] == SQL_NULL_DATA ? "" : b->name[i]);
      v[total] = dup_text(value);
      total++;
      if (k[total - 1] == nullptr || n[total - 1] == nullptr || v[total - 1] == nullptr) {
        status = SE_OUT_OF_DBMS_MEM;
        break;
      }
    }
    if (status != 0 || got < DBTUNE_ROWSET) break;
  }
  db_free_stmt(&stmt);
  if (status != 0) {
    dbtune_free_rows(k, n, v, total);
    return status;
  }
  *keywords = k;
  *names = n;
  *values = v;
  *count = total;
  return 0;
}

// ---- 3. keyword readers ------------------------------------------------------------------

namespace {

struct Rows {
  char** k = nullptr;
  char** n = nullptr;
  char** v = nullptr;
  int32_t count = 0;
  ~Rows() { dbtune_free_rows(k, n, v, count); }
};

// The keyword with trailing blanks gone, cut to 32 characters.
void trimmed_keyword(const char* keyword, char* out) {
  copy_text(out, DBTUNE_NAME_LEN, keyword != nullptr ? keyword : "");
  db_dbtune_trim_right(out);
}

// Every field of fields that the keyword's own rows left empty in out takes
// the value of the same field in defaults (a record of out's type).
template <size_t N>
void fill_from_defaults(void* out, const void* defaults, const char* const (&fields)[N]) {
  for (const char* f : fields) {
    const NameInfo* info = find_name(f);
    char* mine = static_cast<char*>(out) + info->params_offset;
    if (mine[0] == '\0')
      copy_text(mine, info->cap, static_cast<const char*>(defaults) + info->params_offset);
  }
}

}  // namespace

int32_t db_dbtune_get_keyword_params(DB_INSTANCE* instance, DBTUNE_PARAMS* out, const char* keyword) {
  if (out == nullptr) return SE_INVALID_POINTER;
  memset(out, 0, sizeof *out);
  char given[DBTUNE_NAME_LEN];
  trimmed_keyword(keyword, given);
  const char* wanted = given[0] != '\0' ? given : "DEFAULTS";

  Rows rows;
  int32_t status = db_dbtune_fetch_rows(instance, DBTUNE_FETCH_KEYWORDS, wanted, "DEFAULTS", &rows.k,
                                        &rows.n, &rows.v, &rows.count);
  if (status != 0) return status;
  std::unique_ptr<DBTUNE_PARAMS, decltype(&free)> defaults(
      static_cast<DBTUNE_PARAMS*>(calloc(1, sizeof(DBTUNE_PARAMS))), &free);
  if (!defaults) return SE_OUT_OF_DBMS_MEM;

  static const char* const kFallback[] = {
      "B_STORAGE", "B_INDEX_ROWID", "B_INDEX_SHAPE", "B_INDEX_USER", "B_RUNSTATS",
      "LOB_OPTION", "LOB_SIZE", "A_STORAGE", "A_INDEX_ROWID", "A_INDEX_SHAPE",
      "A_INDEX_STATEID", "A_INDEX_USER", "D_STORAGE", "D_INDEX_STATE_ROWID", "D_INDEX_DELETED_AT",
  };
  // an empty keyword has no rows of its own: the DEFAULTS rows it reads are fallback rows
  size_t given_len = strlen(given);
  for (int32_t i = 0; i < rows.count; ++i) {
    bool own = given_len > 0 && strncasecmp(rows.k[i], given, given_len) == 0;
    add_count(&out->count, own ? 100 : 1);
    const NameInfo* info = find_name(rows.n[i]);
    if (info == nullptr) continue;
    bool fallback_field = false;
    for (const char* f : kFallback)
      if (strcasecmp(f, info->name) == 0) fallback_field = true;
    char* base = reinterpret_cast<char*>(own ? out : defaults.get());
    if (fallback_field) {
      copy_text(base + info->params_offset, info->cap, rows.v[i]);
    } else if (info->target == kSystem && begins_with_nocase(rows.k[i], "DATA_DICTIONARY")) {
      copy_text(reinterpret_cast<char*>(out) + info->params_offset, info->cap, rows.v[i]);
    }
  }
  fill_from_defaults(out, defaults.get(), kFallback);
  return 0;
}

int32_t db_dbtune_get_logfile_params(DB_INSTANCE* instance, DBTUNE_LOGFILE_PARAMS* out,
                                     const char* keyword) {
  if (out == nullptr) return SE_INVALID_POINTER;
  memset(out, 0, sizeof *out);
  char given[DBTUNE_NAME_LEN];
  trimmed_keyword(keyword, given);
  const char* wanted = given[0] != '\0' ? given : "LOGFILE_DEFAULTS";

  Rows rows;
  int32_t status = db_dbtune_fetch_rows(instance, DBTUNE_FETCH_KEYWORDS, wanted, "LOGFILE_DEFAULTS",
                                        &rows.k, &rows.n, &rows.v, &rows.count);
  if (status != 0) return status;
  DBTUNE_LOGFILE_PARAMS defaults;
  memset(&defaults, 0, sizeof defaults);
  static const char* const kFields[] = {"LF_STORAGE", "LD_STORAGE", "LD_INDEX_DATA_ID", "LD_INDEX_ROWID"};
  size_t given_len = strlen(given);
  for (int32_t i = 0; i < rows.count; ++i) {
    bool own = given_len > 0 && strncasecmp(rows.k[i], given, given_len) == 0;
    add_count(&out->count, own ? 100 : 1);
    for (const char* f : kFields) {
      if (strcasecmp(f, rows.n[i]) != 0) continue;
      const NameInfo* info = find_name(f);
      char* base = reinterpret_cast<char*>(own ? out : &defaults);
      copy_text(base + info->params_offset, info->cap, rows.v[i]);
    }
  }
  fill_from_defaults(out, &defaults, kFields);
  return 0;
}

int32_t db_dbtune_get_raster_params(DB_INSTANCE* instance, DBTUNE_RASTER_PARAMS* out,
                                    const char* keyword) {
  if (out == nullptr || keyword == nullptr) return SE_INVALID_POINTER;
  memset(out, 0, sizeof *out);
  char given[DBTUNE_NAME_LEN];
  trimmed_keyword(keyword, given);
  if (given[0] == '\0') copy_text(given, sizeof given, "DEFAULTS");

  Rows rows;
  int32_t status = db_dbtune_fetch_rows(instance, DBTUNE_FETCH_KEYWORDS, given, "DEFAULTS", &rows.k,
                                        &rows.n, &rows.v, &rows.count);
  if (status != 0) return status;
  if (rows.count == 0) return strcasecmp(given, "DEFAULTS") == 0 ? 0 : SE_DBTUNE_KEYWORD_NOEXIST;

  std::unique_ptr<DBTUNE_RASTER_PARAMS, decltype(&free)> defaults(
      static_cast<DBTUNE_RASTER_PARAMS*>(calloc(1, sizeof(DBTUNE_RASTER_PARAMS))), &free);
  if (!defaults) return SE_OUT_OF_DBMS_MEM;
  static const char* const kFields[] = {
      "RAS_STORAGE", "RAS_INDEX_ID", "BND_STORAGE", "BND_INDEX_ID", "BND_INDEX_COMPOSITE",
      "AUX_STORAGE", "AUX_INDEX_COMPOSITE", "BLK_STORAGE", "BLK_INDEX_COMPOSITE",
  };
  size_t given_len = strlen(given);
  bool any_own = false;
  for (int32_t i = 0; i < rows.count; ++i) {
    char* base;
    if (strncasecmp(rows.k[i], given, given_len) == 0) {
      base = reinterpret_cast<char*>(out);
      any_own = true;
    } else if (begins_with_nocase(rows.k[i], "DEFAULTS")) {
      base = reinterpret_cast<char*>(defaults.get());
    } else {
      continue;
    }
    for (const char* f : kFields) {
      if (strcasecmp(f, rows.n[i]) != 0) continue;
      const NameInfo* info = find_name(f);
      copy_text(base + info->params_offset, info->cap, rows.v[i]);
    }
  }
  if (!any_own) return SE_DBTUNE_KEYWORD_NOEXIST;
  fill_from_defaults(out, defaults.get(), kFields);
  return 0;
}

int32_t DB_read_system_tab_storage_config(DB_INSTANCE* instance, const char* keyword,
                                          const char* file_name, DBTUNE_SYSTEM_PARAMS* out) {
  if (out == nullptr) return SE_INVALID_POINTER;
  memset(out, 0, sizeof *out);
  std::unique_ptr<DBTUNE_PARAMS, decltype(&free)> p(
      static_cast<DBTUNE_PARAMS*>(calloc(1, sizeof(DBTUNE_PARAMS))), &free);
  std::unique_ptr<DBTUNE_LOGFILE_PARAMS, decltype(&free)> lf(
      static_cast<DBTUNE_LOGFILE_PARAMS*>(calloc(1, sizeof(DBTUNE_LOGFILE_PARAMS))), &free);
  std::unique_ptr<DBTUNE_RASTER_PARAMS, decltype(&free)> ras(
      static_cast<DBTUNE_RASTER_PARAMS*>(calloc(1, sizeof(DBTUNE_RASTER_PARAMS))), &free);
  if (!p || !lf || !ras) return SE_OUT_OF_DBMS_MEM;
  int32_t status;
  if (DB_instance_dbtune_table_exists(instance) == 0)
    status = db_dbtune_get_keyword_params(instance, p.get(), keyword);
  else
    status = db_dbtune_read_file_keyword(instance, file_name, keyword, p.get(), lf.get(), ras.get());
  if (status != 0) {
    SES_print_debug(stderr,
                    "DB_read_system_tab_storage_config() Storage                             "
                    "Parameter read ERROR: %d\n",
                    (int)status);
    return status;
  }
  if (p->count < DBTUNE_KEYWORD_OWN_ROWS) return 0;
  out->count = p->count;
  static const struct {
    int clause;
    size_t offset;
  } kCopy[] = {
      {DBTUNE_SYS_B_STORAGE, offsetof(DBTUNE_PARAMS, B_STORAGE)},
      {DBTUNE_SYS_B_INDEX_USER, offsetof(DBTUNE_PARAMS, B_INDEX_USER)},
      {DBTUNE_SYS_B_INDEX_ROWID, offsetof(DBTUNE_PARAMS, B_INDEX_ROWID)},
      {DBTUNE_SYS_STATES_TABLE, offsetof(DBTUNE_PARAMS, STATES_TABLE)},
      {DBTUNE_SYS_STATES_INDEX, offsetof(DBTUNE_PARAMS, STATES_INDEX)},
      {DBTUNE_SYS_STATE_LINEAGES_TABLE, offsetof(DBTUNE_PARAMS, STATE_LINEAGES_TABLE)},
      {DBTUNE_SYS_VERSIONS_TABLE, offsetof(DBTUNE_PARAMS, VERSIONS_TABLE)},
      {DBTUNE_SYS_VERSIONS_INDEX, offsetof(DBTUNE_PARAMS, VERSIONS_INDEX)},
      {DBTUNE_SYS_MVTABLES_MODIFIED_TABLE, offsetof(DBTUNE_PARAMS, MVTABLES_MODIFIED_TABLE)},
      {DBTUNE_SYS_MVTABLES_MODIFIED_INDEX, offsetof(DBTUNE_PARAMS, MVTABLES_MODIFIED_INDEX)},
  };
  for (const auto& c : kCopy)
    copy_text(out->clauses[c.clause], DBTUNE_CLAUSE_LEN, reinterpret_cast<const char*>(p.get()) + c.offset);
  return 0;
}

// ---- 4. the file ------------------------------------------------------------------------

int32_t dbtune_read_line(FILE* file, char* line) {
  size_t len = 0;
  int c;
  bool any = false;
  while ((c = fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (len < DBTUNE_LINE_LEN - 1) line[len++] = (char)c;
  }
  // a carriage return before the line end belongs to the line end
  if (c == '\n' && len > 0 && line[len - 1] == '\r') --len;
  line[len] = '\0';
  return any ? 1 : 0;
}

namespace {

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// The first word of p (up to a blank, tab or line end), at most 32
// characters; returns where the word ends.
const char* first_word(const char* p, char* word) {
  size_t len = 0;
  while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\n') {
    if (len < DBTUNE_NAME_LEN - 1) word[len++] = *p;
    ++p;
  }
  word[len] = '\0';
  return p;
}

// A line of a block cut at its first number sign, without leading blanks.
const char* content(char* line) {
  char* hash = strchr(line, '#');
  if (hash != nullptr) *hash = '\0';
  return skip_blanks(line);
}

bool value_char(unsigned char c) { return c >= 0x20 && c != 0x7f && c != '"' && c != '\\'; }

// Appends the run of value characters at p to value (within cap); returns
// the character that stopped the run.
char append_run(const char* p, char* value, size_t cap) {
  size_t len = strlen(value);
  while (value_char((unsigned char)*p)) {
    if (len + 1 < cap) value[len++] = *p;
    ++p;
  }
  value[len] = '\0';
  return *p;
}

void append_text(char* value, size_t cap, const char* text) {
  size_t len = strlen(value);
  while (*text != '\0' && len + 1 < cap) value[len++] = *text++;
  value[len] = '\0';
}

}  // namespace

int32_t dbtune_header_keyword(const char* line, char* keyword) {
  const char* p = skip_blanks(line);
  if (p[0] != '#' || p[1] != '#' || p[2] == '#') return 0;
  first_word(p + 2, keyword);
  // "##" alone names no keyword and starts no block
  return keyword[0] != '\0' ? 1 : 0;
}

int32_t db_dbtune_parse_keyword_block(FILE* file, char* line, int32_t* more, const char* keyword,
                                      DBTUNE_PARAMS* params, DBTUNE_LOGFILE_PARAMS* logfile,
                                      DBTUNE_RASTER_PARAMS* raster, DBTUNE_ROW_LIST* rows) {
  bool data_dictionary = begins_with_nocase(keyword, "DATA_DICTIONARY");
  std::unique_ptr<char, decltype(&free)> value_buf(static_cast<char*>(malloc(DBTUNE_FIELD_LEN)), &free);
  if (!value_buf) return SE_OUT_OF_DBMS_MEM;
  char* value = value_buf.get();
  *more = 1;
  for (;;) {
    char name[DBTUNE_NAME_LEN];
    const char* p = first_word(content(line), name);
    if (name[0] == '\0') {
      if (!dbtune_read_line(file, line)) break;
      continue;
    }
    if (strncasecmp(name, "END", 3) == 0) {
      // the line after END is read here; the caller looks at it next
      *more = dbtune_read_line(file, line);
      return 0;
    }
    const NameInfo* info = find_name(name);
    if (info == nullptr) {
      if (!dbtune_read_line(file, line)) break;
      continue;
    }
    size_t cap = info->cap != 0 ? info->cap : DBTUNE_FIELD_LEN;
    value[0] = '\0';
    while (*p != '\0' && (unsigned char)*p <= ' ') ++p;
    bool next_line_read = false;
    bool at_end = false;
    if (*p == '"') {
      char stop = append_run(p + 1, value, cap);
      if (stop != '"') {
        // the quoted value goes on over the following lines
        for (;;) {
          if (!dbtune_read_line(file, line)) {
            at_end = true;
            break;
          }
          const char* q = content(line);
          if (*q == '\0') continue;
          char word[DBTUNE_NAME_LEN];
          first_word(q, word);
          if (ends_continuation(word)) {
            next_line_read = true;
            break;
          }
          append_text(value, cap, " ");
          stop = append_run(q, value, cap);
          append_text(value, cap, " ");
          if (stop == '"') break;
        }
      }
    } else {
      append_run(p, value, cap);
    }
    if (value[0] != '\0') {
      char* base = nullptr;
      if (info->target == kParams || (info->target == kSystem && data_dictionary))
        base = reinterpret_cast<char*>(params);
      else if (info->target == kLogfile) base = reinterpret_cast<char*>(logfile);
      else if (info->target == kRaster) base = reinterpret_cast<char*>(raster);
      if (base != nullptr) copy_text(base + info->params_offset, info->cap, value);
      add_count(&params->count, 100);
      if (rows != nullptr) {
        int32_t status = dbtune_row_list_append(rows, keyword, name, value);
        if (status != 0) return status;
      }
    }
    if (at_end) break;
    if (!next_line_read && !dbtune_read_line(file, line)) break;
  }
  *more = 0;
  line[0] = '\0';
  return 0;
}

int32_t db_dbtune_read_file_keyword(DB_INSTANCE* instance, const char* file_name, const char* keyword,
                                    DBTUNE_PARAMS* params, DBTUNE_LOGFILE_PARAMS* logfile,
                                    DBTUNE_RASTER_PARAMS* raster) {
  memset(params, 0, sizeof *params);
  memset(logfile, 0, sizeof *logfile);
  memset(raster, 0, sizeof *raster);
  if (getenv("ZULHOME") == nullptr) {
    db_rollback_ddlsql(instance);
    SES_print_debug(stderr, "db_copy_dbtune_FileToTable() EV_zul_dir Read Error.\n");
    return SE_DBTUNE_FILE_ERROR;
  }
  char path[4096];
  if (dbtune_file_path(file_name, path, sizeof path) != 0) return SE_DBTUNE_FILE_ERROR;
  FILE* file = fopen(path, "r");
  if (file == nullptr) return SE_DBTUNE_FILE_ERROR;
  std::unique_ptr<char, decltype(&free)> line(static_cast<char*>(malloc(DBTUNE_LINE_LEN)), &free);
  int32_t status = 0;
  if (!line) status = SE_OUT_OF_DBMS_MEM;
  int32_t more = status == 0 ? dbtune_read_line(file, line.get()) : 0;
  while (more) {
    char header[DBTUNE_NAME_LEN];
    if (!dbtune_header_keyword(line.get(), header)) {
      more = dbtune_read_line(file, line.get());
      continue;
    }
    memset(params, 0, sizeof *params);
    memset(logfile, 0, sizeof *logfile);
    memset(raster, 0, sizeof *raster);
    if (strcasecmp(header, keyword != nullptr ? keyword : "") == 0) {
      if (dbtune_read_line(file, line.get()))
        status = db_dbtune_parse_keyword_block(file, line.get(), &more, header, params, logfile, raster,
                                               nullptr);
      break;
    }
    more = dbtune_read_line(file, line.get());
  }
  fclose(file);
  return status;
}
