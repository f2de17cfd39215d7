// db_params.cpp -- what the statement builders share besides the SQL text:
// a stream's copy of the client's query description, the per-instance table
// of parameter sets, DB2 date and time values, and the instance accessors
// and callback trampolines.
//
// Parameter sets: the versioned-SQL generator empties a key's slot when it
// writes a statement again and adds a kind for every "?" it writes; the
// stream module binds the kinds in order when it executes. Kinds: 1 and 2
// the version context's two integers, 3 the data id of its log file, 4 the
// stream's search shape as a BLOB. The table only grows and lives as long
// as the instance.
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"

namespace {

// Text capacities of a stream's query copy, terminator included.
constexpr size_t kTableCap = 259;
constexpr size_t kColumnCap = 260;
constexpr size_t kTextCap = 1024;
constexpr size_t kClauseCap = (1 << 20) + 1;  // where and trailing clauses: the channel's longest text

// Counts of a query description accepted for a copy.
constexpr int32_t kMaxCount = 4096;

int32_t copy_query_info(DB_STREAM* stream, const QUERYINFO* info);

DB_PARAM_SET* find_slot(DB_INSTANCE* instance, int32_t key) {
  for (int32_t i = 0; i < instance->num_param_sets; ++i)
    if (instance->param_sets[i].key == key) return &instance->param_sets[i];
  return nullptr;
}

// A block that holds the copied texts: offsets are reserved first, then the
// texts copied in, so that the block is allocated once. A text that does not
// fit its capacity is refused, never cut: a cut table name can name another
// table, and a cut clause selects other rows.
struct Block {
  std::string bytes;
  bool too_long = false;
  size_t add(const char* text, size_t cap) {
    size_t at = bytes.size();
    size_t len = text != nullptr ? strnlen(text, cap) : 0;
    if (len >= cap) {
      too_long = true;
      len = 0;
    }
    bytes.append(text != nullptr ? text : "", len);
    bytes.push_back('\0');
    return at;
  }
};

}  // namespace

// ---- query description ----------------------------------------------------------------

int32_t db_stream_set_query_info(DB_STREAM* stream, const QUERYINFO* info) {
  if (info == nullptr) return SE_INVALID_QUERYINFO;
  const SQL_CONSTRUCT* c = info->construct;
  int32_t ntables = c != nullptr ? c->num_tables : 0;
  int32_t ncols = info->num_columns;
  int32_t ntexts = info->text_count;
  if (ntables < 0 || ntables > kMaxCount || ncols < 0 || ncols > kMaxCount || ntexts < 0 ||
      ntexts > kMaxCount)
    return SE_INVALID_PARAM;
  if ((ntables > 0 && c->tables == nullptr) || (ncols > 0 && info->columns == nullptr) ||
      (ntexts > 0 && info->texts == nullptr))
    return SE_INVALID_POINTER;

  try {
    return copy_query_info(stream, info);
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_DBMS_MEM;
  }
}

namespace {

int32_t copy_query_info(DB_STREAM* stream, const QUERYINFO* info) {
  const SQL_CONSTRUCT* c = info->construct;
  int32_t ntables = c != nullptr ? c->num_tables : 0;
  int32_t ncols = info->num_columns;
  int32_t ntexts = info->text_count;
  // texts first, into one string; then one allocation for record, arrays and texts
  Block b;
  std::vector<size_t> tables, cols, texts;
  for (int32_t i = 0; i < ntables; ++i) tables.push_back(b.add(c->tables[i], kTableCap));
  for (int32_t i = 0; i < ncols; ++i) cols.push_back(b.add(info->columns[i], kColumnCap));
  for (int32_t i = 0; i < ntexts; ++i) texts.push_back(b.add(info->texts[i], kTextCap));
  size_t where = c != nullptr && c->where != nullptr ? b.add(c->where, kClauseCap) : SIZE_MAX;
  size_t clause = info->clause != nullptr ? b.add(info->clause, kClauseCap) : SIZE_MAX;
  size_t logfile = info->logfile != nullptr ? b.add(info->logfile, SE_LOGFILE_NAME_LEN) : SIZE_MAX;
  if (b.too_long) return SE_INVALID_PARAM;

  size_t head = sizeof(SQL_CONSTRUCT) + sizeof(char*) * (size_t)(ntables + ncols + ntexts);
  char* block = static_cast<char*>(malloc(head + b.bytes.size()));
  QUERYINFO* copy = static_cast<QUERYINFO*>(calloc(1, sizeof(QUERYINFO)));
  if (block == nullptr || copy == nullptr) {
    free(block);
    free(copy);
    return SE_OUT_OF_DBMS_MEM;
  }
  char* textbase = block + head;
  memcpy(textbase, b.bytes.data(), b.bytes.size());
  SQL_CONSTRUCT* cc = reinterpret_cast<SQL_CONSTRUCT*>(block);
  char** arrays = reinterpret_cast<char**>(block + sizeof(SQL_CONSTRUCT));
  cc->num_tables = ntables;
  cc->tables = arrays;
  for (int32_t i = 0; i < ntables; ++i) cc->tables[i] = textbase + tables[(size_t)i];
  cc->where = where != SIZE_MAX ? textbase + where : nullptr;

  copy->buffer = block;
  copy->construct = c != nullptr ? cc : nullptr;
  copy->num_columns = ncols;
  copy->columns = arrays + ntables;
  for (int32_t i = 0; i < ncols; ++i) copy->columns[i] = textbase + cols[(size_t)i];
  copy->text_count = ntexts;
  copy->texts = arrays + ntables + ncols;
  for (int32_t i = 0; i < ntexts; ++i) copy->texts[i] = textbase + texts[(size_t)i];
  copy->query_kind = info->query_kind;
  copy->clause = clause != SIZE_MAX ? textbase + clause : nullptr;
  if (copy->clause != nullptr) SES_ToUpper(copy->clause, stream->instance ? stream->instance->params.codepage : nullptr);
  copy->logfile = logfile != SIZE_MAX ? textbase + logfile : nullptr;
  copy->value = info->value;

  SES_queryinfo_free(stream->query_info);
  stream->query_info = copy;
  stream->num_tables = ntables;
  stream->tables = cc->tables;
  stream->where = cc->where;
  return 0;
}

}  // namespace

// ---- parameter sets -------------------------------------------------------------------

int32_t db_ctx_param_set_slot(DB_INSTANCE* instance, int32_t key) {
  DB_PARAM_SET* slot = find_slot(instance, key);
  if (slot != nullptr) {
    slot->count = 0;
    return 0;
  }
  if (instance->num_param_sets >= kMaxCount) return SE_OUT_OF_DBMS_MEM;
  DB_PARAM_SET* grown = static_cast<DB_PARAM_SET*>(
      realloc(instance->param_sets, sizeof(DB_PARAM_SET) * (size_t)(instance->num_param_sets + 1)));
  if (grown == nullptr) return SE_OUT_OF_DBMS_MEM;
  instance->param_sets = grown;
  DB_PARAM_SET* fresh = &grown[instance->num_param_sets++];
  memset(fresh, 0, sizeof *fresh);
  fresh->key = key;
  return 0;
}

int32_t db_ctx_param_set_add(DB_INSTANCE* instance, int32_t key, int32_t kind) {
  DB_PARAM_SET* slot = find_slot(instance, key);
  if (slot == nullptr) {
    int32_t status = db_ctx_param_set_slot(instance, key);
    if (status != 0) return status;
    slot = find_slot(instance, key);
  }
  if (slot->count >= SE_PARAM_SET_KINDS) return SE_INVALID_PARAM;
  slot->kinds[slot->count++] = kind;
  return 0;
}

int32_t db_ctx_add_param_sets(DB_INSTANCE* instance, int32_t key, const DB_VERSION_CTX* ctx,
                              int32_t mode) {
  if (mode != 0 || ctx == nullptr || ctx->sql == nullptr || strchr(ctx->sql, '?') == nullptr) return 0;
  int32_t status = db_ctx_param_set_add(instance, key, 2);
  if (status == 0) status = db_ctx_param_set_add(instance, key, 1);
  return status;
}

int32_t db_bind_param_sets(DB_INSTANCE* instance, int32_t key, SQLHSTMT stmt,
                           const DB_VERSION_CTX* ctx, unsigned char* shape, SQLLEN shape_len,
                           SQLLEN* shape_indicator, int32_t* next) {
  if (*next <= 0) *next = 1;
  DB_PARAM_SET* slot = find_slot(instance, key);
  if (slot == nullptr) return 0;
  for (int32_t i = 0; i < slot->count; ++i) {
    int32_t kind = slot->kinds[i];
    SQLRETURN rc;
    if (kind == 1 || kind == 2) {
      if (ctx == nullptr) return SE_INVALID_POINTER;
      const int32_t* v = kind == 1 ? &ctx->value1 : &ctx->value2;
      rc = SQLBindParameter(stmt, (SQLUSMALLINT)*next, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                            0, (SQLPOINTER)v, 0, nullptr);
    } else if (kind == 3) {
      if (ctx == nullptr || ctx->logfile == nullptr) return SE_INVALID_POINTER;
      rc = SQLBindParameter(stmt, (SQLUSMALLINT)*next, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                            0, (SQLPOINTER)&ctx->logfile->data_id, 0, nullptr);
    } else if (kind == 4) {
      if (shape == nullptr) return SE_INVALID_POINTER;
      rc = SQLBindParameter(stmt, (SQLUSMALLINT)*next, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB,
                            (SQLULEN)shape_len, 0, shape, shape_len, shape_indicator);
    } else {
      continue;
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
      return SE_DB_IO_ERROR;
    }
    ++*next;
  }
  return 0;
}

int32_t db_stream_bind_param_sets(DB_STREAM* stream, int32_t key, int32_t* next) {
  return db_bind_param_sets(stream->instance, key, stream->query_stmt, stream->version_ctx,
                            stream->search_shape, stream->search_shape_len,
                            &stream->shape_indicator, next);
}

// ---- dates and times --------------------------------------------------------------------

int32_t db_sql_datetime_to_tm(const void* value, struct tm* out, int32_t c_type) {
  memset(out, 0, sizeof *out);
  if (c_type == SQL_C_TIME) {
    const SQL_TIME_STRUCT* t = static_cast<const SQL_TIME_STRUCT*>(value);
    out->tm_hour = t->hour;
    out->tm_min = t->minute;
    out->tm_sec = t->second;
    out->tm_isdst = -1;
    return 0;
  }
  int32_t year, month, day;
  if (c_type == SQL_C_DATE) {
    const SQL_DATE_STRUCT* d = static_cast<const SQL_DATE_STRUCT*>(value);
    year = d->year;
    month = d->month;
    day = d->day;
  } else {
    const SQL_TIMESTAMP_STRUCT* ts = static_cast<const SQL_TIMESTAMP_STRUCT*>(value);
    year = ts->year;
    month = ts->month;
    day = ts->day;
    out->tm_hour = ts->hour;
    out->tm_min = ts->minute;
    out->tm_sec = ts->second;
  }
  out->tm_year = year - 1900;
  out->tm_mon = month - 1;
  out->tm_mday = day;
  out->tm_isdst = -1;
  int32_t wday = SES_get_day_of_week(month, day, year);
  int32_t yday = SES_get_day_of_year(month, day, year);
  out->tm_wday = wday >= 0 ? wday : 0;
  out->tm_yday = yday >= 0 ? yday : 0;
  return 0;
}

int32_t db_tm_to_sql_datetime(const struct tm* in, void* value, int32_t c_type) {
  if (c_type == SQL_C_DATE) {
    SQL_DATE_STRUCT* d = static_cast<SQL_DATE_STRUCT*>(value);
    d->year = (SQLSMALLINT)(in->tm_year + 1900);
    d->month = (SQLUSMALLINT)(in->tm_mon + 1);
    d->day = (SQLUSMALLINT)in->tm_mday;
  } else if (c_type == SQL_C_TIME) {
    SQL_TIME_STRUCT* t = static_cast<SQL_TIME_STRUCT*>(value);
    t->hour = (SQLUSMALLINT)in->tm_hour;
    t->minute = (SQLUSMALLINT)in->tm_min;
    t->second = (SQLUSMALLINT)in->tm_sec;
  } else {
    SQL_TIMESTAMP_STRUCT* ts = static_cast<SQL_TIMESTAMP_STRUCT*>(value);
    ts->year = (SQLSMALLINT)(in->tm_year + 1900);
    ts->month = (SQLUSMALLINT)(in->tm_mon + 1);
    ts->day = (SQLUSMALLINT)in->tm_mday;
    ts->hour = (SQLUSMALLINT)in->tm_hour;
    ts->minute = (SQLUSMALLINT)in->tm_min;
    ts->second = (SQLUSMALLINT)in->tm_sec;
    ts->fraction = 0;
  }
  return 0;
}

// ---- accessors and trampolines --------------------------------------------------------------

void db_set_layer_buffers_flag(DB_INSTANCE* instance, int32_t value) { instance->layer_buffers_flag = value; }
int32_t db_get_layer_buffers_flag(DB_INSTANCE* instance) { return instance->layer_buffers_flag; }
void db_set_coordref_flag(DB_INSTANCE* instance, int32_t value) { instance->coordref_flag = value; }
int32_t db_get_coordref_flag(DB_INSTANCE* instance) { return instance->coordref_flag; }
void db_set_access_stmt_flag(DB_INSTANCE* instance, int32_t value) { instance->access_stmt_flag = value; }
int32_t db_get_access_stmt_flag(DB_INSTANCE* instance) { return instance->access_stmt_flag; }

int32_t db_get_layer_cache(DB_INSTANCE* instance, LAYER_CACHE** out) {
  if (out == nullptr) return SE_INVALID_POINTER;
  *out = &instance->layer_cache;
  return 0;
}

int32_t db_lookup_registration(DB_INSTANCE* instance, const char* owner_table, REGISTRATION* out) {
  // the server program must fill this slot; an empty one is a failed lookup
  // rather than a jump through null
  if (instance->params.registration_by_name == nullptr) return SE_INVALID_POINTER;
  return instance->params.registration_by_name(instance->params.ctx, owner_table, out);
}

int32_t db_stream_get_fid_range(DB_STREAM* stream, int32_t count) {
  DB_INSTANCE* instance = stream->instance;
  if (instance == nullptr || instance->params.fid_range == nullptr) return -1;
  int32_t layer_id = stream->layer != nullptr ? stream->layer->id : 0;
  return instance->params.fid_range(instance->params.ctx, layer_id, count);
}

int32_t db_ddl_commit(DB_INSTANCE* instance) { return db_commit_ddlsql(instance); }
int32_t db_ddl_rollback(DB_INSTANCE* instance) { return db_rollback_ddlsql(instance); }
