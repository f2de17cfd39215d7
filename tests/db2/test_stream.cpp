// test_stream.cpp -- the DB_STREAM record: created, used, closed and freed
// in every order its life allows (the sanitizers watch for leaks and
// double releases), its accessors, and errors recorded in a stream.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "db_test_support.h"
#include "svr_services.h"

using dbtest::Database;
using dbtest::Instance;

namespace {

const int32_t kSettings[SE_DB_STREAM_SETTINGS] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(in.status, 0);
  }
  DB_STREAM* make(const int32_t* settings = kSettings) {
    DB_STREAM* s = nullptr;
    EXPECT_EQ(DB_stream_init(&s, in.in, "BOB", "3_1", settings), 0);
    return s;
  }
  // What outlives a plain close: the spatial filters and the result-column
  // names.
  void keep(DB_STREAM* s) {
    s->num_column_names = 2;
    s->column_names = static_cast<char**>(calloc(2, sizeof(char*)));
    s->column_names[0] = strdup("A");
    s->column_names[1] = strdup("B");
    s->num_filters = 1;
    s->filters = static_cast<SPATIAL_FILTER*>(calloc(1, sizeof(SPATIAL_FILTER)));
    s->filter_buffers[0] = malloc(8);
    s->filter_shapes = static_cast<void**>(calloc((size_t)s->settings[3], sizeof(void*)));
    s->filter_shapes[0] = malloc(16);
    s->feature_specs = malloc(8);
  }
  // Fills the fields a statement fills, each with memory of its own.
  void use(DB_STREAM* s) {
    s->layer = reinterpret_cast<LAYER*>(&s->state);  // borrowed: never released
    s->in_use = 1;
    s->operation_mode = 3;
    strcpy(s->qualified_table, "ZUL:BOB.T");
    s->spatial_column = 2;
    ASSERT_EQ(db_prepare_stmt(in.in, s, &s->query_stmt, "VALUES 1"), 0);
    ASSERT_EQ(db_prepare_stmt(in.in, s, &s->count_stmt, "VALUES 2"), 0);
    s->select_list = malloc(32);
    s->fetch_buffer = malloc(32);
    s->num_columns = 2;
    s->columns = static_cast<COLUMN_DEF*>(calloc(2, sizeof(COLUMN_DEF)));
    s->columns_bound = 1;
    s->bind_buffers = malloc(64);
    s->indicators = static_cast<SQLLEN*>(calloc(2, sizeof(SQLLEN)));
    s->row_ids = static_cast<int32_t*>(calloc(4, sizeof(int32_t)));
    s->num_row_ids = 4;
    s->select_text = strdup("SELECT A, B FROM BOB.T");
    s->env_filter = 1;
    s->env_values[0] = 5;
    s->feature = static_cast<FEATURE_STRUCT*>(calloc(1, sizeof(FEATURE_STRUCT)));
    s->feature_flag = 1;
    s->version_buffer = malloc(8);
    s->raster_work = static_cast<DB_RASTER_WORK*>(calloc(1, sizeof(DB_RASTER_WORK)));
    s->raster_work->column_buffer = malloc(8);
    s->raster_work->num_rows = 2;
    s->raster_work->rows = static_cast<void**>(calloc(2, sizeof(void*)));
    s->raster_work->rows[1] = malloc(8);
    s->tile_buffer_size = 4096;
    s->tile_buffer = SES_buffer_alloc(4096);
    s->rastercolumn_id = 9;
    s->band_index = 2;
    db_cli_init(in.in, &s->cli[1]);
    ASSERT_EQ(db_cli_prepare(&s->cli[1], "VALUES 3"), 0);
    s->lock_counters[2] = 3;
    db_stream_extend_envelope(s, 0, 0, 1, 1);
    ASSERT_EQ(sql_string_append(&in->sql[0], "SELECT"), 0);
    // a nested stream of a versioned edit, with work of its own
    s->sub_streams = static_cast<DB_STREAM**>(calloc(1, sizeof(DB_STREAM*)));
    s->num_sub_streams = 1;
    ASSERT_EQ(DB_stream_init(&s->sub_streams[0], in.in, "BOB", "3_1_1", kSettings), 0);
    s->sub_streams[0]->select_text = strdup("SELECT 1");
  }
  Database db;
  Instance in;
};

TEST_F(StreamTest, CreatedStreamStartsEmpty) {
  DB_STREAM* s = make();
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->owner, "BOB");
  EXPECT_STREQ(s->name, "3_1");
  EXPECT_EQ(s->spatial_column, -1);
  EXPECT_EQ(s->positions[0], -1);
  EXPECT_EQ(s->positions[4], 0);
  EXPECT_EQ(s->band_index, -1);
  EXPECT_EQ(s->operation_mode, 0);
  EXPECT_EQ(s->xerr.code, 0);
  EXPECT_EQ(s->envelope[0], 2147483647.0);
  EXPECT_EQ(s->envelope[2], 0.0);
  EXPECT_EQ(s->env_limits[0], 2147483647);
  EXPECT_EQ(s->instance, in.in);
  EXPECT_EQ(s->cli[0].hdbc, in->hdbc);
  EXPECT_EQ(memcmp(s->settings, kSettings, sizeof kSettings), 0);
  EXPECT_EQ(in->sql[2].growable, 1);
  DB_stream_free(s);
  free(s);
}

TEST_F(StreamTest, FourthSettingIsCappedAt250) {
  struct Case { int32_t given; int32_t kept; };
  const Case cases[] = {{250, 250}, {251, 250}, {100000, 250}, {0, 0}};
  for (const Case& c : cases) {
    int32_t settings[SE_DB_STREAM_SETTINGS] = {0};
    settings[3] = c.given;
    DB_STREAM* s = make(settings);
    EXPECT_EQ(s->settings[3], c.kept) << c.given;
    DB_stream_free(s);
    free(s);
  }
}

TEST_F(StreamTest, EveryLifeOrderEndsClean) {
  // each order of close and free the life of a stream allows
  struct Order { const char* name; bool use_first; int closes; bool release_filters; };
  const Order orders[] = {
      {"free at once", false, 0, false},
      {"close unused, free", false, 1, false},
      {"use, free", true, 0, false},
      {"use, close, free", true, 1, false},
      {"use, close keeping filters twice, free", true, 2, false},
      {"use, close with filters, free", true, 1, true},
  };
  for (const Order& o : orders) {
    DB_STREAM* s = make();
    if (o.use_first) {
      keep(s);
      use(s);
    }
    for (int i = 0; i < o.closes; ++i) {
      DB_stream_close(s, o.release_filters, 0);
      EXPECT_EQ(s->operation_mode, 0) << o.name;
      EXPECT_TRUE(s->query_stmt == SQL_NULL_HSTMT) << o.name;
      EXPECT_EQ(s->qualified_table[0], '\0') << o.name;
      EXPECT_EQ(s->layer, nullptr) << o.name;
      EXPECT_EQ(s->spatial_column, -1) << o.name;
      EXPECT_EQ(s->rastercolumn_id, 0) << o.name;
      EXPECT_EQ(s->band_index, -1) << o.name;
      EXPECT_EQ(s->envelope[0], 2147483647.0) << o.name;
      EXPECT_EQ(in->sql[0].text, nullptr) << o.name;
      EXPECT_STREQ(s->name, "3_1") << o.name;
      if (o.use_first) {
        // the filters survive unless asked, the names until the end
        EXPECT_EQ(s->filters != nullptr, !o.release_filters) << o.name;
        EXPECT_EQ(s->num_column_names, 2) << o.name;
      }
      if (o.use_first && i == 0 && !o.release_filters) use(s);  // the next statement
    }
    DB_stream_free(s);
    EXPECT_EQ(s->filters, nullptr) << o.name;
    EXPECT_EQ(s->column_names, nullptr) << o.name;
    free(s);
  }
}

TEST_F(StreamTest, OperationModeAndRasterColumn) {
  DB_STREAM* s = make();
  struct Case { int32_t mode; int32_t status; int32_t kept; };
  const Case cases[] = {{1, 0, 1}, {4, SE_INVALID_PARAM, 1}, {3, 0, 3}, {-1, SE_INVALID_PARAM, 3}, {0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(DB_stream_set_operation_mode(s, c.mode), c.status) << c.mode;
    EXPECT_EQ(s->operation_mode, c.kept) << c.mode;
  }
  int32_t id = 0;
  EXPECT_EQ(DB_stream_set_rastercolumn_id(s, 42), 0);
  EXPECT_EQ(DB_stream_get_rastercolumn_id(s, &id), 0);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(DB_stream_get_rastercolumn_id(s, nullptr), SE_INVALID_POINTER);
  DB_stream_free(s);
  free(s);
}

TEST_F(StreamTest, EnvelopeGrowsByUnion) {
  DB_STREAM* s = make();
  struct Case { double e[4]; double want[4]; };
  const Case cases[] = {
      {{5, 5, 6, 6}, {5, 5, 6, 6}},        // empty: replaced
      {{9, 9, 1, 1}, {5, 5, 6, 6}},        // inverted in both axes: ignored
      {{1, 7, 2, 8}, {1, 5, 6, 8}},        // union
      {{9, 0, 3, 10}, {1, 0, 6, 10}},      // inverted in x only: merged like any other
  };
  for (const Case& c : cases) {
    EXPECT_EQ(db_stream_extend_envelope(s, c.e[0], c.e[1], c.e[2], c.e[3]), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s->envelope[i], c.want[i]) << c.e[0] << " side " << i;
  }
  DB_stream_free(s);
  free(s);
}

TEST_F(StreamTest, ErrorsRecordedInTheStreamSurviveItsClose) {
  DB_STREAM* s = make();
  DB_CLI_STMT w;
  db_cli_init(in.in, &w);
  EXPECT_EQ(db_cli_prepare(&w, "SELECT * FROM BOB.MISSING"), SE_TABLE_NOEXIST);
  db_cli_set_stream_error(&w, s);
  db_cli_free(&w);
  DB_stream_close(s, 0, 0);
  EXTENDED_ERROR e;
  DB_stream_get_xerr(&e, s);
  EXPECT_EQ(e.code, SE_DB_IO_ERROR);
  EXPECT_EQ(e.native, -204);
  EXPECT_STREQ(e.ext_msg, "42S02");
  EXPECT_NE(strstr(e.msg, "SQL0204N"), nullptr) << e.msg;
  EXPECT_EQ(in->xerr.code, 0);  // the instance's error is its own

  DB_stream_clear_xerr(s);
  DB_stream_get_xerr(&e, s);
  EXPECT_EQ(e.code, 0);
  EXPECT_EQ(e.native, 0);
  EXPECT_STREQ(e.msg, "");
  EXPECT_STREQ(e.ext_msg, "");
  DB_stream_clear_xerr(nullptr);

  // the stream reporter prints its own two lines
  DB_DIAG_RECORD d;
  memset(&d, 0, sizeof d);
  d.rc = -1;
  strcpy(d.sqlstate, "22001");
  d.native = -404;
  strcpy(d.message, "too long");
  testing::internal::CaptureStderr();
  db_stream_report_dbms_error(s, d);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ZUL_ODBC_STREAM Error: -1\ntoo long\n");
  DB_stream_get_xerr(&e, s);
  EXPECT_EQ(e.native, -404);
  EXPECT_STREQ(e.ext_msg, "22001");

  // an instance error copied into the stream leaves the extended message empty
  in->xerr.code = -37;
  in->xerr.native = 5;
  strcpy(in->xerr.msg, "from the instance");
  db_stream_copy_ctx_error(in.in, s);
  DB_stream_get_xerr(&e, s);
  EXPECT_EQ(e.code, -37);
  EXPECT_EQ(e.native, 5);
  EXPECT_STREQ(e.msg, "from the instance");
  EXPECT_STREQ(e.ext_msg, "");
  DB_stream_free(s);
  free(s);
}

TEST_F(StreamTest, CloseCommitsTheDefaultTransaction) {
  ASSERT_EQ(db_execute_ddlsql(in.in, "CREATE TABLE BOB.T (A INTEGER)", 1, DB_MODE_DDL_COMMIT), 0);
  dbtest::Watcher w;
  DB_STREAM* s = make();
  ASSERT_EQ(dbtest::exec(in.in, "INSERT INTO BOB.T VALUES (1)"), SQL_SUCCESS);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 0);
  DB_stream_close(s, 0, 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.T"), 1);
  DB_stream_free(s);
  free(s);
}

}  // namespace
