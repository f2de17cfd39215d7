// query_fetch.cpp -- rows per second fetched through a query stream
// (DB_stream_init_query_layer, DB_stream_execute_query, DB_stream_fetch_row:
// the shape copied into the caller's feature, every column into the
// caller's values) against the raw CLI fetch of the same rows (SQLBindCol,
// SQLFetch) on the same connection, in the same run.
//
// The database is made by the administration tool beside this program. Each
// round checks its result: the row count and a checksum of the ids and the
// shape bytes read back, which both sides must agree on.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "comp_ftr.h"
#include "dbsql_io.h"
#include "zul_db_install.h"
#include "zul_db_layer.h"
#include "zul_db_query.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

namespace {

constexpr int kRows = 20000;
constexpr int kRounds = 7;
using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

[[noreturn]] void die(const std::string& what) {
  fprintf(stderr, "bench_query_fetch: %s\n", what.c_str());
  exit(1);
}

uint32_t stamp_of(void*, int32_t) { return 1; }

int32_t registration_of(void*, const char* owner_table, REGISTRATION* out) {
  memset(out, 0, sizeof *out);
  if (strcasecmp(owner_table, "ZUL.PTS") != 0) return SE_TABLE_NOREGISTERED;
  strcpy(out->owner, "ZUL");
  strcpy(out->table, "PTS");
  strcpy(out->rowid_column, "ID");
  out->flags = SE_REG_HAS_ROWID | SE_REG_LAYER_DEPENDS;
  return 0;
}

void run(const std::string& cmd) {
  if (system(cmd.c_str()) != 0) die("failed: " + cmd);
}

void exec(DB_INSTANCE* in, const std::string& sql) {
  if (db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT) != 0) die("sql: " + sql);
}

struct Result {
  long long rows = 0;
  long long sum = 0;
};

void fill(DB_INSTANCE* in, DB_STREAM* s) {
  LAYER* l = nullptr;
  if (DB_layer_get_info(in, s, 1, &l) != 0 || l->coordref == nullptr) die("layer");
  s->layer = l;
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h);
  const char* sql = "INSERT INTO ZUL.PTS VALUES (?, 'name', DB2GSE.PolyFromZul(cast (? as blob(1m)),"
                    "cast (NULL as varchar(255))))";
  if (SQLPrepare(h, (SQLCHAR*)sql, SQL_NTS) != SQL_SUCCESS) die("prepare insert");
  for (int i = 1; i <= kRows; ++i) {
    double x = (i % 100) * 10.0, y = (i / 100) * 10.0;
    SE_ENVELOPE e{x, y, x + 5, y + 5};
    FEATURE_STRUCT f;
    memset(&f, 0, sizeof f);
    SgsShapeInit(l->coordref, &f);
    if (SgShapeGenerateRectangle(&e, &f) != 0) die("shape");
    if (SES_comp_feature_alloc(&f, f.numofpts, 8, 0) != 0 || SES_feature_compress(&f, 8) != 0)
      die("compress");
    unsigned char* packed = nullptr;
    int32_t len = 0;
    if (db_pack_shape_value(s, &f, &packed, &len) != 0) die("pack");
    SQLINTEGER id = i;
    SQLLEN id_len = 4, shape_len = len;
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 4, &id_len);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, -98, (SQLULEN)len, 0, packed, len, &shape_len);
    if (SQLExecute(h) != SQL_SUCCESS) die("insert");
    free(packed);
    SES_comp_feature_free(&f);
    SgShapeFree(&f);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  if (DB_trans_def_commit(in) != 0) die("commit");
  s->layer = nullptr;
}

double stream_fetch(DB_STREAM* s, Result* r) {
  *r = Result();
  const char* cols[] = {"ID", "NAME", "SHAPE"};
  const char* tables[] = {"PTS"};
  SQL_CONSTRUCT sc{1, const_cast<char**>(tables), nullptr};
  QUERYINFO info;
  SES_initialize_queryinfo(&info);
  info.buffer = nullptr;
  info.num_columns = 3;
  info.columns = const_cast<char**>(cols);
  info.construct = &sc;
  int32_t id = 0;
  char name[21];
  FEATURE_STRUCT shape;
  memset(&shape, 0, sizeof shape);
  void* values[3] = {&id, name, &shape};
  int16_t ind[3];
  Clock::time_point t = Clock::now();
  DB_stream_close(s, 1, 0);
  if (DB_stream_init_query_layer(s, &info, nullptr, nullptr, nullptr) != 0) die("set up");
  if (DB_stream_execute_query(s, 0, 0, values) != 0) die("execute");
  int32_t rid = 0, st;
  while ((st = DB_stream_fetch_row(s, 0, values, ind, nullptr, &rid)) == 0) {
    ++r->rows;
    r->sum += id + SES_get_compressed_buffer_size(&shape);
  }
  if (st != SE_FINISHED) die("fetch");
  double d = secs(t);
  SES_comp_feature_free(&shape);
  return d;
}

double raw_fetch(DB_INSTANCE* in, Result* r) {
  *r = Result();
  std::vector<unsigned char> buf(SE_QUERY_SHAPE_BUFFER);
  SQLINTEGER id = 0;
  char name[21];
  SQLLEN id_len = 0, name_len = 0, shape_len = 0;
  Clock::time_point t = Clock::now();
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h);
  const char* sql = "select ID, NAME, SHAPE..Points SHAPE, ID from ZUL.PTS";
  if (SQLPrepare(h, (SQLCHAR*)sql, SQL_NTS) != SQL_SUCCESS) die("raw prepare");
  SQLBindCol(h, 1, SQL_C_LONG, &id, 4, &id_len);
  SQLBindCol(h, 2, SQL_C_CHAR, name, sizeof name, &name_len);
  SQLBindCol(h, 3, SQL_C_BINARY, buf.data(), (SQLLEN)buf.size(), &shape_len);
  if (SQLExecute(h) != SQL_SUCCESS) die("raw execute");
  while (SQLFetch(h) == SQL_SUCCESS) {
    ++r->rows;
    int32_t clen = 0;
    if (shape_len < 16 || SES_decode_varLONG_bounded(buf.data() + 8, buf.data() + 13, &clen) == nullptr)
      die("raw shape");
    r->sum += id + clen + 8;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return secs(t);
}

}  // namespace

int main(int, char** argv) {
  char tmpl[] = "/tmp/query_fetch_bench_XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) die("mkdtemp");
  setenv("DB2LITE_DATA", dir, 1);
  unsetenv("ZUL_DATABASE");
  std::string bin = std::filesystem::absolute(argv[0]).parent_path().string();
  run(bin + "/db2lite-admin create ZUL zulpw >/dev/null");
  run(bin + "/db2lite-admin enable-spatial ZUL >/dev/null");

  DB_INSTANCE_PARAMS p;
  memset(&p, 0, sizeof p);
  p.layer_stamp = stamp_of;
  p.registration_by_name = registration_of;
  DB_INSTANCE* in = nullptr;
  if (DB_instance_open("", "ZUL", "zulpw", &p, nullptr, &in) != 0) die("open");
  DBTUNE_SYSTEM_PARAMS storage;
  memset(&storage, 0, sizeof storage);
  storage.count = 100;
  if (DB_instance_layers_table_create(in, &storage) != 0) die("layers table");
  exec(in, "INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, 'UNKNOWN')");
  exec(in, "INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, FALSEZ, ZUNITS, "
           "FALSEM, MUNITS) VALUES (7, 1, 0, 0, 1000, 0, 1, 0, 1)");
  exec(in, "CREATE TABLE ZUL.PTS (ID INTEGER, NAME VARCHAR(20), SHAPE DB2GSE.ST_Geometry)");
  exec(in, "INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
           "VALUES ('ZUL', 'PTS', 'SHAPE', 7)");
  exec(in, "INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
           "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, base_layer_id, "
           "gsize1, gsize2, gsize3) VALUES (1, 'd', 'ZUL', 'ZUL', 'PTS', 'SHAPE', 8, 0, 0, 0, 1000, "
           "1000, 1000, 7, 0, 1, 0, 0)");
  DB_STREAM* s = nullptr;
  if (DB_stream_init(&s, in, "ZUL", "1_1", nullptr) != 0) die("stream");
  fill(in, s);

  double best_stream = 1e9, best_raw = 1e9;
  Result a, b;
  for (int round = 0; round < kRounds; ++round) {
    best_raw = std::min(best_raw, raw_fetch(in, &a));
    best_stream = std::min(best_stream, stream_fetch(s, &b));
    if (a.rows != kRows || b.rows != a.rows || b.sum != a.sum) die("fetch: wrong result");
  }
  printf("query stream fetch against the raw CLI fetch, %d rows, best of %d rounds\n", kRows, kRounds);
  printf("  raw CLI: %.0f rows/s  stream: %.0f rows/s  ratio (stream time / raw time) %.2f\n",
         kRows / best_raw, kRows / best_stream, best_stream / best_raw);
  printf("  checked: %lld rows, checksum %lld\n", a.rows, a.sum);

  DB_stream_free(s);
  free(s);
  DB_instance_close(in);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
