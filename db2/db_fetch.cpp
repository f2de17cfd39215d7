// db_fetch.cpp -- the rows of a query stream: the fetch buffers and column
// bindings, the copy of each row into the caller's values, the shape copy
// (skipped when the row id repeats), the exact test of each shape against
// the stream's filters, long BLOB values read in segments, and the release
// of all of it at the stream's close.
//
// Relies on db_query.cpp and db_query_exec.cpp for the statement and its
// flags (db_query_work.h), on the compressed feature (comp_ftr.h) and on
// the filter tests of the server (spatial_test.h).
//
// Notes:
//  1. Every length the database reports is checked against the buffer it
//     describes before a byte is copied; a shape value whose header or
//     compressed length does not fit its bytes is refused, never read past.
//  2. A shape is copied only when its row id changes: a repeated id is
//     delivered with indicator 3 and the caller's feature untouched.
//  3. The exact test runs where the database cannot decide: always without
//     a first cut in the database; with one, unless every filter is an
//     envelope filter (method 0) that must pass and the stream's exact
//     switch is off.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>

#include "comp_ftr.h"
#include "db_query_work.h"
#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_query.h"
#include "zul_db_tables.h"
#include "zul_stream_buffer.h"

int32_t db_init_attr_array(DB_STREAM* stream);

namespace {

constexpr int32_t kEnd = SE_NO_DATA_BLOCK_END;

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

int32_t fail_statement(DB_STREAM* s, SQLRETURN rc, const char* what) {
  DB_DIAG_RECORD d = db_get_diag_record(s->instance, &s->query_stmt, rc);
  int32_t status = SE_DB_IO_ERROR;
  if (strcmp(d.sqlstate, "37000") == 0) {
    status = SE_SQL_SYNTAX;
  } else if (what != nullptr) {
    fprintf(stderr, what, (int)rc);
  }
  db_stream_report_dbms_error(s, d);
  s->xerr.code = status;
  db_free_stmt(&s->query_stmt);
  return status;
}

// Reads an unbound binary column of the current row whole, growing its
// buffer to the length the database reports.
int32_t read_long_column(DB_STREAM* s, int32_t col, DB_QUERY_COLUMN& c) {
  if (c.buf.size() < (size_t)SE_QUERY_BLOB_BUFFER) c.buf.resize(SE_QUERY_BLOB_BUFFER);
  SQLLEN len = 0;
  SQLRETURN rc = SQLGetData(s->query_stmt, (SQLUSMALLINT)(col + 1), SQL_C_BINARY, c.buf.data(),
                            (SQLLEN)c.buf.size(), &len);
  if (rc == SQL_NO_DATA || len == SQL_NULL_DATA || len == 0) {
    c.len = SQL_NULL_DATA;
    return 0;
  }
  if (!ok(rc)) return fail_statement(s, rc, nullptr);
  if (len > (SQLLEN)c.buf.size()) {
    size_t first = c.buf.size();
    try {
      c.buf.resize((size_t)len);
    } catch (...) {
      db_free_stmt(&s->query_stmt);
      return SE_OUT_OF_DBMS_MEM;
    }
    SQLLEN more = 0;
    rc = SQLGetData(s->query_stmt, (SQLUSMALLINT)(col + 1), SQL_C_BINARY, c.buf.data() + first,
                    (SQLLEN)(c.buf.size() - first), &more);
    if (!ok(rc) && rc != SQL_NO_DATA) return fail_statement(s, rc, nullptr);
  }
  c.len = len;
  return 0;
}

// Fetches one row into the stream's buffers: 0, 110 at the end, or a failure.
int32_t fetch_one(DB_STREAM* s, DB_QUERY_WORK* w) {
  SQLRETURN rc = SQLFetch(s->query_stmt);
  if (rc == SQL_NO_DATA) {
    w->statement_text.clear();
    return kEnd;
  }
  if (!ok(rc)) return fail_statement(s, rc, "db_array_fetch_attrs Fetch Error (%d)\n");
  for (size_t i = 0; i < w->cols.size(); ++i) {
    DB_QUERY_COLUMN& c = w->cols[i];
    c.read_pos = 0;
    if (!c.bound) {
      int32_t st = read_long_column(s, (int32_t)i, c);
      if (st != 0) return st;
    } else if (c.c_type == SQL_C_CHAR && c.len == 0) {
      c.len = SQL_NULL_DATA;
    }
  }
  w->rows_left = true;
  return 0;
}

int32_t column_int(const DB_QUERY_WORK* w, int32_t index) {
  if (index < 0 || index >= (int32_t)w->cols.size()) return -1;
  const DB_QUERY_COLUMN& c = w->cols[(size_t)index];
  if (c.len == SQL_NULL_DATA || c.c_type != SQL_C_LONG) return -1;
  int32_t v;
  memcpy(&v, c.buf.data(), 4);
  return v;
}

// Copies the current row's shape into the search feature: 0, 3 when the
// row id repeats the feature already held, or a failure.
int32_t copy_feature_row(DB_STREAM* s, DB_QUERY_WORK* w, int32_t row_id) {
  FEATURE_STRUCT* f = w->search_feature;
  if (f == nullptr) return SE_INVALID_POINTER;
  const DB_QUERY_COLUMN& c = w->cols[(size_t)w->shape_index];
  if (f->buffer != nullptr && row_id == (int32_t)f->fid) return 3;
  if (c.len > (SQLLEN)c.buf.size()) {
    // Longer than the bound buffer: the database limits a packed value to
    // less than the buffer, so this is a value it should not have kept.
    fprintf(stderr, "(db_copy_feature_row) Error fetching POINTS buffer (%d/%d).\n", row_id,
            SE_COMP_FEATURE_CORRUPT);
    return SE_COMP_FEATURE_CORRUPT;
  }
  const unsigned char* v = c.buf.data();
  const unsigned char* end = v + c.len;
  int32_t npts = 0, entity = 0, clen = 0;
  const unsigned char* p = c.len >= 8 ? SES_decode_varLONG_bounded(v, v + 8, &npts) : nullptr;
  if (p != nullptr) p = SES_decode_varLONG_bounded(p, v + 8, &entity);
  if (p != nullptr && c.len >= 9)
    p = SES_decode_varLONG_bounded(v + 8, std::min(end, v + 13), &clen);
  else
    p = nullptr;
  if (p == nullptr || clen < 0 || npts < 0 || (SQLLEN)clen + 16 > c.len)
    return SE_COMP_FEATURE_CORRUPT;
  int32_t flags = s->layer != nullptr ? s->layer->entity_flags : 0;
  int32_t st = SES_comp_feature_alloc_by_size(f, flags, clen + 8);
  if (st != 0) return st == SE_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : st;
  memcpy(f->buffer, v + 8, (size_t)clen + 8);
  f->fid = (uint32_t)row_id;
  f->numofpts = npts;
  f->entity = (int16_t)entity;
  return 0;
}

// The exact test of the held feature: 0 passes, -1 fails, or a failure.
int32_t test_row_shape(DB_QUERY_WORK* w) {
  FEATURE_STRUCT* f = w->search_feature;
  int32_t st = SES_feature_uncompress(1, f);
  if (st != 0) return st == SE_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : st;
  FILTER_CANDIDATE cand;
  cand.fid = f->fid;
  st = SgsNvelop(f, &cand.envelope);
  if (st != 0) return SES_map_shape_error_to_zul(st);
  FILTER_SET set;
  set.num_filters = (int16_t)w->filter_count;
  set.filters = w->filters;
  set.search_mode = 0;
  set.specs = w->specs;
  std::fill(w->results.begin(), w->results.end(), 0);
  int32_t kept = 0;
  uint32_t id = 0;
  st = SES_test_envelopes(1, &cand, &set, w->results.data(), &kept, &id);
  if (st != 0) return st;
  if (kept != 1) return -1;
  st = SES_test_features(1, &f, nullptr, 0, &set, w->results.data(), &kept, &id);
  if (st != 0) return st == SE_OUT_OF_MEMORY ? SE_OUT_OF_DBMS_MEM : st;
  return kept == 1 ? 0 : -1;
}

bool test_needed(const DB_QUERY_WORK* w) {
  if (w->filter_count == 0) return false;
  if (!w->envelope_filter || w->filter_exact != 0) return true;
  for (int32_t i = 0; i < w->filter_count; ++i)
    if (w->filters[i].method != 0 || w->filters[i].truth == 0) return true;
  return false;
}

// Copies the current row's columns (all but the shape) into the caller's
// values and sets the indicators.
int32_t copy_columns(DB_STREAM* s, DB_QUERY_WORK* w, void** values, int16_t* ind) {
  for (int32_t i = 0; i < w->described && i < (int32_t)w->cols.size(); ++i) {
    if (i == w->shape_index) continue;
    DB_QUERY_COLUMN& c = w->cols[(size_t)i];
    bool null = c.len == SQL_NULL_DATA;
    if (ind != nullptr) ind[i] = null ? 1 : 2;
    void* out = values != nullptr ? values[i] : nullptr;
    if (null || out == nullptr) continue;
    const unsigned char* b = c.buf.data();
    switch (c.c_type) {
      case SQL_C_CHAR: {
        size_t n = std::min((size_t)c.len, (size_t)w->defs[(size_t)i].size);
        n = std::min(n, c.buf.size() - 1);
        memcpy(out, b, n);
        static_cast<char*>(out)[n] = '\0';
        break;
      }
      case SQL_C_LONG: memcpy(out, b, 4); break;
      case SQL_C_SHORT: memcpy(out, b, 2); break;
      case SQL_C_FLOAT: memcpy(out, b, 4); break;
      case SQL_C_DOUBLE: memcpy(out, b, 8); break;
      case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TIMESTAMP:
        db_sql_datetime_to_tm(b, static_cast<struct tm*>(out), c.c_type);
        break;
      case SQL_C_BINARY: {
        SE_BLOB_INFO* blob = static_cast<SE_BLOB_INFO*>(out);
        int32_t n = (int32_t)std::min<SQLLEN>(c.len, SE_QUERY_BLOB_WIDTH);
        if (blob->blob_capacity < n) {
          char* nb = static_cast<char*>(realloc(blob->blob_buffer, (size_t)n));
          if (nb == nullptr) return SE_OUT_OF_DBMS_MEM;
          blob->blob_buffer = nb;
          blob->blob_capacity = n;
        }
        memcpy(blob->blob_buffer, b, (size_t)n);
        blob->blob_length = n;
        c.read_pos = n;
        break;
      }
      default:
        fprintf(stderr, "db_fetch_attr_row() Error in converting database type = %d\n",
                (int)c.c_type);
        return SE_TYPE_MISMATCH_FETCH;
    }
  }
  (void)s;
  return 0;
}

}  // namespace

// ---- buffers and execute ----------------------------------------------------------------

int32_t db_init_attr_array(DB_STREAM* s) {
  DB_QUERY_WORK* w = s->query;
  int16_t n = 0;
  COLUMN_DEF* d = nullptr;
  int32_t* sizes = nullptr;
  int16_t* ctypes = nullptr;
  int32_t st = db_describe_select(s->instance, s, &s->query_stmt, &n, &d, &sizes, &ctypes);
  if (st != 0) return st;
  try {
    w->cols.assign((size_t)n, DB_QUERY_COLUMN());
    int32_t next = w->described;
    if (w->anno_selected) ++next;
    if (w->rowid_added) w->rowid_index = next++;
    if (w->shape_hidden) w->shape_index = next++;
    for (int16_t i = 0; i < n; ++i) {
      DB_QUERY_COLUMN& c = w->cols[(size_t)i];
      c.c_type = ctypes[i];
      c.width = sizes[i];
      c.zul_type = d[i].type;
      if (c.c_type == SQL_C_BINARY) {
        c.bound = i == w->shape_index;
        if (c.bound) c.width = SE_QUERY_SHAPE_BUFFER;
      } else {
        c.bound = true;
        if (c.width < 8) c.width = 8;
      }
      if (c.bound) c.buf.assign((size_t)c.width + 1, 0);
    }
  } catch (...) {
    free(d);
    free(sizes);
    free(ctypes);
    return SE_OUT_OF_DBMS_MEM;
  }
  free(d);
  free(sizes);
  free(ctypes);
  SQLRETURN rc = SQLSetStmtAttr(s->query_stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)1, 0);
  if (!ok(rc)) return fail_statement(s, rc, "db_init_attr_array Define Error (%d).\n");
  for (size_t i = 0; i < w->cols.size(); ++i) {
    DB_QUERY_COLUMN& c = w->cols[i];
    if (!c.bound) continue;
    rc = SQLBindCol(s->query_stmt, (SQLUSMALLINT)(i + 1), c.c_type, c.buf.data(),
                    (SQLLEN)c.width, &c.len);
    if (!ok(rc)) return fail_statement(s, rc, "db_init_attr_array Define Error (%d).\n");
  }
  w->buffers_made = true;
  s->columns_bound = 1;
  w->rows_left = false;
  return 0;
}

int32_t db_execute_sql(DB_STREAM* s) {
  DB_QUERY_WORK* w = s->query;
  SQLSMALLINT ncols = 0;
  SQLNumResultCols(s->query_stmt, &ncols);
  if (ncols > 0) {
    int32_t st = db_init_attr_array(s);
    if (st != 0) return st;
  }
  SQLRETURN rc = SQLExecute(s->query_stmt);
  if (!ok(rc) && rc != SQL_NO_DATA) {
    DB_DIAG_RECORD d = db_get_diag_record(s->instance, &s->query_stmt, rc);
    if (strcmp(d.sqlstate, "24000") == 0) {
      SQLFreeStmt(s->query_stmt, SQL_CLOSE);
      rc = SQLExecute(s->query_stmt);
    }
  }
  if (ok(rc) || rc == SQL_NO_DATA) {
    w->executed = true;
    return 0;
  }
  fprintf(stderr, "db_execute_sql Execute Error (%d).\n", (int)rc);
  DB_DIAG_RECORD d = db_get_diag_record(s->instance, &s->query_stmt, rc);
  db_free_stmt(&s->query_stmt);
  db_stream_report_dbms_error(s, d);
  if (strcmp(d.sqlstate, "42S02") == 0 || strcmp(d.sqlstate, "42704") == 0) return SE_TABLE_NOEXIST;
  if (strcmp(d.sqlstate, "37000") == 0) return SE_SQL_SYNTAX;
  return SE_DB_IO_ERROR;
}

// ---- fetch -------------------------------------------------------------------------------------

int32_t DB_stream_fetch_row(DB_STREAM* s, int32_t log, void** values, int16_t* ind,
                            int32_t* filter_results, int32_t* row_id) {
  (void)log;  // no log file is ever attached to a query stream yet
  if (row_id != nullptr) *row_id = -1;
  DB_QUERY_WORK* w = s->query;
  if (w == nullptr || !w->query_built) return SE_INVALID_QUERYINFO;
  DB_instance_clear_xerr(s->instance);
  DB_stream_clear_xerr(s);
  bool spatial = w->envelope_filter;
  if (spatial && !w->executed) {
    int32_t st = db_execute_sql(s);
    if (st != 0) return st;
  }
  if (s->query_stmt == SQL_NULL_HSTMT) return SE_FINISHED;
  bool shape_in_result = w->shape_index >= 0 && w->shape_index < (int32_t)w->cols.size();
  for (;;) {
    w->rows_passed = false;
    int32_t st = fetch_one(s, w);
    if (st == kEnd) {
      if (spatial) db_free_stmt(&s->query_stmt);
      return SE_FINISHED;
    }
    if (st != 0) return st;
    w->rows_left = false;
    int32_t rid = column_int(w, w->rowid_index);
    int16_t shape_ind = 1;
    if (shape_in_result) {
      const DB_QUERY_COLUMN& c = w->cols[(size_t)w->shape_index];
      if (c.len == SQL_NULL_DATA || c.len == 0) {
        if (w->filter_count > 0) {
          w->last_rejected = rid;
          continue;
        }
      } else {
        if (w->rowid_index < 0) {
          db_free_stmt(&s->query_stmt);
          return SE_NO_ROWID_COLUMN;
        }
        if (rid == w->last_rejected && w->filter_count > 0) continue;
        st = copy_feature_row(s, w, rid);
        if (st == 3) {
          shape_ind = 3;
        } else if (st != 0) {
          db_free_stmt(&s->query_stmt);
          return st;
        } else {
          shape_ind = 2;
          if (test_needed(w)) {
            st = test_row_shape(w);
            if (st == SE_OUT_OF_DBMS_MEM) return st;
            if (st != 0) {
              w->last_rejected = rid;
              continue;
            }
            if (filter_results != nullptr)
              memcpy(filter_results, w->results.data(), sizeof(int32_t) * w->results.size());
            std::fill(w->results.begin(), w->results.end(), 0);
          }
        }
      }
    }
    st = copy_columns(s, w, values, ind);
    if (st != 0) return st;
    if (shape_in_result && !w->shape_hidden && ind != nullptr && w->shape_index < w->described)
      ind[w->shape_index] = shape_ind;
    w->rows_passed = true;
    if (row_id != nullptr) *row_id = rid;
    return 0;
  }
}

int32_t DB_stream_get_blob_segment(DB_STREAM* s, int16_t column, int32_t max_len, int32_t* len,
                                   void* out) {
  *len = 0;
  DB_QUERY_WORK* w = s->query;
  if (w == nullptr || column < 0 || column >= (int16_t)w->cols.size() || max_len < 0)
    return SE_INVALID_PARAM;
  DB_QUERY_COLUMN& c = w->cols[(size_t)column];
  if (c.len == SQL_NULL_DATA || c.len <= c.read_pos) return 0;
  SQLLEN have = std::min<SQLLEN>(c.len, (SQLLEN)c.buf.size());
  int32_t n = (int32_t)std::min<SQLLEN>(max_len, have - c.read_pos);
  memcpy(out, c.buf.data() + c.read_pos, (size_t)n);
  c.read_pos += n;
  *len = n;
  return 0;
}

// ---- release -------------------------------------------------------------------------------------

void db_query_work_end(DB_STREAM* s, int32_t release_all) {
  DB_QUERY_WORK* w = s->query;
  if (w == nullptr) return;
  if (w->own_feature != nullptr) {
    SES_comp_feature_free(w->own_feature);
    SgShapeFree(w->own_feature);
    free(w->own_feature);
  }
  if (release_all) {
    if (w->specs != nullptr) SES_free_feature_specs(w->filter_count, nullptr, w->specs);
    delete w;
    s->query = nullptr;
    return;
  }
  // keep the filter half, start the statement half afresh
  DB_QUERY_WORK fresh;
  fresh.filter_count = w->filter_count;
  fresh.filters = w->filters;
  fresh.filter_exact = w->filter_exact;
  fresh.specs = w->specs;
  fresh.results = w->results;
  *w = std::move(fresh);
}

void db_free_attr_array(DB_STREAM* s) {
  free(s->bind_buffers);
  s->bind_buffers = nullptr;
  free(s->indicators);
  s->indicators = nullptr;
  s->columns_bound = 0;
  if (s->query != nullptr) {
    s->query->cols.clear();
    s->query->search_shape.clear();
    s->query->buffers_made = false;
    s->query->rows_left = false;
  }
}

void db_close_fetch_stmt(DB_STREAM* s, int32_t release_all) {
  free(s->fetch_buffer);
  s->fetch_buffer = nullptr;
  db_free_stmt(&s->aux_stmt);
  if (release_all) s->positions[3] = -1;
  db_query_work_end(s, release_all);
}
