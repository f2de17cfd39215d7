// db_query_work.h -- the working storage of a query stream, private to the
// query set-up, execution and fetch files (db_query.cpp, db_query_exec.cpp,
// db_fetch.cpp).
//
// The stream holds it through DB_STREAM.query. Two halves with two lives:
//   - the statement half (texts, flags, fetch buffers, the search shape) ends
//     with every close of the stream (db_close_fetch_stmt);
//   - the filter half (the caller's filter array, its prepared shapes and
//     result cells) lasts until new constraints replace it or the stream is
//     released whole.
#ifndef DB_QUERY_WORK_H
#define DB_QUERY_WORK_H

#include <stdint.h>

#include <string>
#include <vector>

#include "spatial_test.h"
#include "zul_db.h"

struct DB_QUERY_COLUMN {
  int16_t c_type = 0;                 // CLI buffer type
  int32_t width = 0;                  // bound width, bytes
  int32_t zul_type = 0;               // SE_* column type
  bool bound = false;                 // bound with SQLBindCol (else read by SQLGetData)
  std::vector<unsigned char> buf;     // the value (a long value grows it)
  SQLLEN len = SQL_NULL_DATA;         // length or SQL_NULL_DATA of the current row
  int32_t read_pos = 0;               // BLOB read position of DB_stream_get_blob_segment
};

struct DB_QUERY_WORK {
  // statement half
  bool query_built = false;
  bool executed = false;
  bool shape_selected = false;
  bool shape_hidden = false;
  bool rowid_added = false;
  bool anno_selected = false;
  int32_t shape_index = -1;           // shape column among the result columns
  int32_t rowid_index = -1;           // registered row-id column among them
  std::string select_text, from_text, where_text, trailing_text;
  std::string statement_text;         // of a spatial execute
  bool describe_done = false;         // DB_stream_describe_sql ran on this statement
  int16_t described = 0;              // columns of the describe
  std::vector<COLUMN_DEF> defs;       // handed-back column definitions
  std::vector<int16_t> c_types;       // per described column
  std::vector<int32_t> bind_sizes;
  std::vector<DB_QUERY_COLUMN> cols;  // per fetched column (described + added)
  bool buffers_made = false;
  bool rows_left = false;
  bool rows_passed = false;
  FEATURE_STRUCT* search_feature = nullptr;   // caller's, or own_feature
  FEATURE_STRUCT* own_feature = nullptr;      // allocated when the shape is hidden
  void** values = nullptr;            // the caller's values of the execute
  std::vector<unsigned char> search_shape;    // packed search shape
  SQLLEN search_len = 0;
  int32_t last_rejected = -1;         // id of the last row left behind
  // envelope filter
  bool envelope_filter = false;
  int32_t env[4] = {2147483647, 2147483647, 0, 0};
  // filter half
  int32_t filter_count = 0;
  SPATIAL_FILTER* filters = nullptr;  // the caller's
  int32_t filter_exact = 0;
  SG_FEATURE_SPEC* specs = nullptr;
  std::vector<int32_t> results;       // one cell per filter
};

// The stream's work, made on first use; null when memory runs out.
DB_QUERY_WORK* db_query_work(DB_STREAM* stream);
// Ends the statement half; with release_all also the filter half.
void db_query_work_end(DB_STREAM* stream, int32_t release_all);
int32_t db_execute_sql(DB_STREAM* stream);
int32_t db_execute_spatial_query(DB_STREAM* stream);
int32_t db_query_rebuild(DB_STREAM* stream, const std::string& extra_select);
int32_t db_query_registration(DB_STREAM* stream, const char* owner, const char* table,
                              REGISTRATION* reg);

#endif
