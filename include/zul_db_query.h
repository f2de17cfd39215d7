// zul_db_query.h -- query streams: setting a query up on a stream, its
// spatial constraints and execution, and the fetch of its rows through the
// exact spatial filter; also the packed shape value by which a shape reaches
// the database.
//
// Life of a query stream:
//   DB_stream_init_query_layer --> set up (statement prepared)
//   set up --DB_stream_set_spatial_constraints--> set up, filters stored
//   set up --DB_stream_execute_query--> executed (a spatial query: at the
//        first fetch)
//   executed --DB_stream_fetch_row ... -4--> done; DB_stream_close frees the
//        fetch buffers (db_free_attr_array, db_close_fetch_stmt).
//
// The caller's side of a row (one entry per result column, result order):
//   values[i]: SE_SMALLINT int16_t*, SE_INTEGER int32_t*, SE_FLOAT float*,
//   SE_DOUBLE double*, SE_STRING char* of the column's size + 1,
//   SE_BLOB SE_BLOB_INFO*, SE_DATE_TYPE struct tm*, SE_SHAPE FEATURE_STRUCT*
//   (zero-filled or a feature already held); indicators[i]: 1 null,
//   2 present, 3 the shape repeats the feature already held and was not
//   copied again.
//
// Versioned queries are not served yet: a versioned description answers
// SE_NOT_BUILT_YET.
#ifndef ZUL_DB_QUERY_H
#define ZUL_DB_QUERY_H

#include <stdint.h>

#include "zul_db.h"

struct MV_QUERY;

#define SE_INVALID_SPATIAL_CONSTRAINT (-17)   // filters stored but none names a layer
#define SE_INVALID_LAYER_TABLE        (-24)   // layer or log file not among the query's tables
#define SE_TYPE_MISMATCH_FETCH        (-55)   // a buffer type the fetch cannot copy
#define SE_LAYER_LOAD_ONLY_MODE       (-77)   // the layer is in load-only mode
#define SE_LOG_LAYER_MISMATCH         (-133)  // a log file on a layer names another layer
#define SE_ROWID_NO_LAYER             (-144)  // SE_ROW_ID names a table without a layer
#define SE_NO_REGISTERED_ROWID        (-169)  // SE_ROW_ID on a table without a row-id column
#define SE_NO_ROWID_COLUMN            (-186)  // no registered row-id column

#define SE_QUERY_SHAPE_BUFFER   1048577  // bytes bound for a selected shape
#define SE_QUERY_BLOB_BUFFER    1000000  // first read of any other binary column
#define SE_QUERY_BLOB_WIDTH     60000    // bytes of a BLOB a row delivers
#define SE_QUERY_TRAILING_CAP   238      // trailing clause: 237 characters

// Sets a query up: copies the description, finds the layer of its tables,
// builds and prepares the SELECT. versioned null (or of kind 0 with no
// entries) for an unversioned query. 0; -12, -24, -25, -37, -38, -42, -51,
// -77, -133, -144, -169, -186; SE_NOT_BUILT_YET for a versioned query or a
// log file.
int32_t DB_stream_init_query_layer(DB_STREAM* stream, const QUERYINFO* info,
                                   const MV_QUERY* versioned, const LOGFILE* logfile,
                                   LAYER* log_layer);
// Drops the stream's statement and prepares sql on a new one. 0, -37 (42S02),
// -25 (42502), -38 (42S22), -42 (37000, 42601, 42707), else -51 recorded.
int32_t DB_stream_prepare_sql(DB_STREAM* stream, const char* sql, void* unused);
// The result columns handed to the caller. defs stays the stream's; layers,
// when not null, receives a malloc'd array (caller frees) in which the shape
// column's entry is the stream's layer.
int32_t DB_stream_describe_sql(DB_STREAM* stream, const REGISTRATION* registration,
                               int16_t* count, COLUMN_DEF** defs, LAYER*** layers);
int32_t DB_row_lock_is_enable(void* unused, int32_t* out);
int32_t DB_stream_get_rowlocking(DB_STREAM* stream, int32_t* out);

// Stores filters (the array stays the caller's and must outlive the query)
// and the search envelope (system units: minx, miny, maxx, maxy). 0, -186,
// -17, -24, -77, or a layer lookup failure.
int32_t DB_stream_set_spatial_constraints(DB_STREAM* stream, int32_t count,
                                          SPATIAL_FILTER* filters, const int32_t envelope[4],
                                          int32_t exact);
DB_STREAM* DB_reset_search_query(DB_STREAM* stream);
// Executes the query; a spatial query is executed by its first fetch.
// values: the caller's column values (see above). 0; -12, -25, -37, -42,
// -51, -77, -186; SE_NOT_BUILT_YET with a log descriptor above 0.
int32_t DB_stream_execute_query(DB_STREAM* stream, int32_t log_fdes, int32_t attr_only,
                                void** values);

// The next row that passes the filters. 0 delivered; -4 no more rows; -12,
// -42, -51, -55, -186. filter_results (one per filter) may be null.
int32_t DB_stream_fetch_row(DB_STREAM* stream, int32_t log, void** values, int16_t* indicators,
                            int32_t* filter_results, int32_t* row_id);
// The next piece of the current row's BLOB in column: at most max_len bytes.
int32_t DB_stream_get_blob_segment(DB_STREAM* stream, int16_t column, int32_t max_len,
                                   int32_t* len, void* out);

// Writes the trailer of a packed shape value at *pos and moves *pos past it:
// the Z and measure marks, the number-format mark, the srid, the extent, the
// Z and M ranges, the area and the length. 0 or a mapped geometry status.
int32_t S_put_shape_properties(DB_STREAM* stream, FEATURE_STRUCT* shape, unsigned char** pos);
// Packs a compressed shape into a new buffer (malloc'd, *out; *len bytes
// used): header varLONGs, the compressed feature from byte 8, the trailer.
// 0, -12, or a mapped geometry status.
int32_t db_pack_shape_value(DB_STREAM* stream, FEATURE_STRUCT* shape, unsigned char** out,
                            int32_t* len);

#endif
