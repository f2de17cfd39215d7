// test_query.cpp -- query streams over a layer with shapes: plain and
// spatial queries, the first cut in the database and the exact filter at
// fetch, hidden shape columns, repeated row ids, long BLOB values, the
// SQLSTATE map of the prepare, and the packed shape value.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "comp_ftr.h"
#include "db_query_work.h"
#include "db_test_support.h"
#include "zul_db_layer.h"
#include "zul_db_query.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_stream_buffer.h"

using dbtest::Database;
using dbtest::Watcher;

namespace {

uint32_t stamp_of(void*, int32_t) { return 1; }

bool g_no_rowid = false;  // the registration names no row-id column

int32_t registration_of(void*, const char* owner_table, REGISTRATION* out) {
  memset(out, 0, sizeof *out);
  if (strcasecmp(owner_table, "BOB.PARCELS") != 0) return SE_TABLE_NOREGISTERED;
  strcpy(out->owner, "BOB");
  strcpy(out->table, "PARCELS");
  if (!g_no_rowid) strcpy(out->rowid_column, "ID");
  out->flags = SE_REG_HAS_ROWID | SE_REG_LAYER_DEPENDS;
  return 0;
}

// A polygon from a ring of plane points (closed here), in system units of cr.
void make_polygon(const COORDREF* cr, std::vector<SG_POINT> ring, FEATURE_STRUCT* f) {
  ring.push_back(ring.front());
  memset(f, 0, sizeof *f);
  ASSERT_EQ(SgsShapeAllocate(f, (int32_t)ring.size(), 0, 0), 0);
  for (size_t i = 0; i < ring.size(); ++i) {
    f->points[i].x = (int32_t)((ring[i].x - cr->falsex) * cr->xyunits + 0.5);
    f->points[i].y = (int32_t)((ring[i].y - cr->falsey) * cr->xyunits + 0.5);
  }
  f->entity = SG_AREA_SHAPE;
  f->coordref = const_cast<COORDREF*>(cr);
  ASSERT_EQ(SgsNvelop(f, nullptr), 0);
}

std::vector<SG_POINT> box(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// The caller's side of a row of (ID, NAME, DOC, SHAPE) or a prefix of it.
struct Row {
  int32_t id = 0;
  char name[21] = "";
  SE_BLOB_INFO doc{0, nullptr, 0};
  FEATURE_STRUCT shape;
  void* values[4];
  int16_t ind[4] = {0, 0, 0, 0};
  Row() {
    memset(&shape, 0, sizeof shape);
    values[0] = &id;
    values[1] = name;
    values[2] = &doc;
    values[3] = &shape;
  }
  ~Row() {
    free(doc.blob_buffer);
    SES_comp_feature_free(&shape);
    SgShapeFree(&shape);
  }
};

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      DBTUNE_SYSTEM_PARAMS storage;
      memset(&storage, 0, sizeof storage);
      storage.count = 100;
      ASSERT_EQ(DB_instance_layers_table_create(zul.in, &storage), 0);
    }
    w.reset(new Watcher());
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, 'UNKNOWN')"), SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                      "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (7, 1, 0, 0, 1000, 0, 1, 0, 1)"),
              SQL_SUCCESS);
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.layer_stamp = stamp_of;
    p.registration_by_name = registration_of;
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);

    ddl("CREATE TABLE BOB.PARCELS (ID INTEGER, NAME VARCHAR(20), DOC BLOB(2M), "
        "SHAPE DB2GSE.ST_Geometry)");
    ddl("CREATE TABLE BOB.TWO (K INTEGER)");
    ddl("INSERT INTO BOB.TWO VALUES (1)");
    ddl("INSERT INTO BOB.TWO VALUES (2)");
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                      "VALUES ('BOB', 'PARCELS', 'SHAPE', 7)"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
                      "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                      "base_layer_id, gsize1, gsize2, gsize3) VALUES (3, 'd', 'ZUL', 'BOB', 'PARCELS', "
                      "'SHAPE', 8, 0, 0, 0, 20, 20, 1000, 7, 0, 1, 0, 0)"),
              SQL_SUCCESS);
    ddl("CREATE INDEX BOB.PARCELS_IX ON BOB.PARCELS (SHAPE) EXTEND USING db2gse.spatial_index (1, 0, 0)");

    ASSERT_EQ(DB_stream_init(&s, in, "BOB", "1_1", nullptr), 0);
    LAYER* l = nullptr;
    ASSERT_EQ(DB_layer_get_info(in, s, 3, &l), 0);
    ASSERT_NE(l->coordref, nullptr);
    cr = *l->coordref;
    s->layer = l;
    // 1 and 2 squares; 3 a triangle whose envelope's upper right corner is
    // empty; 4 no shape.
    insert(1, "one", box(1, 1, 2, 2), big_doc());
    insert(2, "two", box(5, 5, 6, 6), "");
    insert(3, "three", {{10, 0}, {12, 0}, {10, 2}}, "x");
    ddl("INSERT INTO BOB.PARCELS VALUES (4, 'four', NULL, NULL)");
    DB_stream_close(s, 1, 0);
  }
  void TearDown() override {
    g_no_rowid = false;
    for (FEATURE_STRUCT& f : filter_shapes) SgShapeFree(&f);
    if (s != nullptr) {
      DB_stream_free(s);
      free(s);
    }
    DB_instance_close(in);
  }
  void ddl(const std::string& sql) {
    ASSERT_EQ(db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }
  static std::string big_doc() {
    std::string d(1500000, 'a');
    for (size_t i = 0; i < d.size(); ++i) d[i] = (char)('a' + i % 26);
    return d;
  }
  void insert(int32_t id, const char* name, std::vector<SG_POINT> ring, const std::string& doc) {
    FEATURE_STRUCT f;
    make_polygon(&cr, ring, &f);
    ASSERT_EQ(SES_comp_feature_alloc(&f, f.numofpts, 8, 0), 0);
    ASSERT_EQ(SES_feature_compress(&f, 8), 0);
    s->layer->coordref->srid = 7;
    unsigned char* packed = nullptr;
    int32_t len = 0;
    ASSERT_EQ(db_pack_shape_value(s, &f, &packed, &len), 0);
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h), SQL_SUCCESS);
    std::string sql = "INSERT INTO BOB.PARCELS VALUES (" + std::to_string(id) + ", '" + name +
                      "', CAST(? AS BLOB(2M)), DB2GSE.PolyFromZul(cast (? as blob(1m)),cast (NULL as varchar(255))))";
    SQLLEN doc_len = (SQLLEN)doc.size(), shape_len = len;
    if (doc.empty()) doc_len = SQL_NULL_DATA;
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_BINARY, -98, doc.size() + 1, 0,
                     (SQLPOINTER)doc.data(), (SQLLEN)doc.size(), &doc_len);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, -98, (SQLULEN)len, 0, packed, len, &shape_len);
    SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc != SQL_SUCCESS) {
      DB_DIAG_RECORD d = db_get_diag_record(in, &h, rc);
      ADD_FAILURE() << sql << ": " << d.sqlstate << " " << d.message;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    ASSERT_EQ(DB_trans_def_commit(in), 0);
    free(packed);
    SES_comp_feature_free(&f);
    SgShapeFree(&f);
  }
  SPATIAL_FILTER filter(std::vector<SG_POINT> ring, int32_t method, int32_t truth) {
    SPATIAL_FILTER f;
    memset(&f, 0, sizeof f);
    strcpy(f.table, "PARCELS");
    strcpy(f.column, "SHAPE");
    f.filter_type = SE_SHAPE_FILTER;
    filter_shapes.emplace_back();
    make_polygon(&cr, ring, &filter_shapes.back());
    f.filter.shape = &filter_shapes.back();  // callers reserve, so the address holds
    f.method = method;
    f.truth = truth;
    return f;
  }
  // Runs a query and answers the ids delivered, in order; -4 ends it.
  int32_t run(std::vector<const char*> columns, std::vector<const char*> tables, const char* where,
              std::vector<SPATIAL_FILTER>* filters, const int32_t* env, std::vector<int32_t>* ids,
              Row* row) {
    DB_stream_close(s, 1, 0);
    QUERYINFO info;
    memset(&info, 0, sizeof info);
    SES_initialize_queryinfo(&info);
    SQL_CONSTRUCT sc{(int32_t)tables.size(), const_cast<char**>(tables.data()), const_cast<char*>(where)};
    info.num_columns = (int32_t)columns.size();
    info.columns = const_cast<char**>(columns.data());
    info.construct = &sc;
    int32_t st = DB_stream_init_query_layer(s, &info, nullptr, nullptr, nullptr);
    if (st != 0) return st;
    if (filters != nullptr) {
      st = DB_stream_set_spatial_constraints(s, (int32_t)filters->size(), filters->data(), env, 0);
      if (st != 0) return st;
    }
    int16_t count = 0;
    COLUMN_DEF* defs = nullptr;
    st = DB_stream_describe_sql(s, nullptr, &count, &defs, nullptr);
    if (st != 0) return st;
    st = DB_stream_execute_query(s, 0, 0, row->values);
    if (st != 0) return st;
    last_sql = s->query->statement_text;
    for (;;) {
      int32_t rid = 0;
      st = DB_stream_fetch_row(s, 0, row->values, row->ind, nullptr, &rid);
      if (st != 0) return st;
      ids->push_back(row->id);
      EXPECT_EQ(rid, row->id);
    }
  }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
  DB_STREAM* s = nullptr;
  COORDREF cr;
  std::vector<FEATURE_STRUCT> filter_shapes;
  std::string last_sql;  // the statement of the last spatial execute
};

TEST_F(QueryTest, FiltersAndFirstCutChooseTheRows) {
  filter_shapes.reserve(8);
  // The small box meets the triangle's envelope but not the triangle.
  const auto corner = box(11.5, 1.5, 12, 2);
  const int32_t around_corner[4] = {11000, 1000, 12500, 2500};
  struct Case {
    const char* name;
    std::vector<SG_POINT> ring;
    int32_t method, truth;
    const int32_t* env;
    std::vector<int32_t> want;
  };
  const Case cases[] = {
      {"no filter", {}, -1, 0, nullptr, {1, 2, 3, 4}},
      {"envelope filter passes on the first cut alone", corner, SM_ENVP, 1, around_corner, {3}},
      {"exact filter drops the envelope-only candidate", corner, SM_AI, 1, around_corner, {}},
      {"exact filter without first cut", box(0, 0, 5.5, 5.5), SM_AI, 1, nullptr, {1, 2}},
      {"must-not filter keeps the others, skips no shape", box(0, 0, 5.5, 5.5), SM_AI, 0, nullptr, {3}},
  };
  for (const Case& c : cases) {
    Row row;
    std::vector<int32_t> ids;
    std::vector<SPATIAL_FILTER> filters;
    if (c.method >= 0) filters.push_back(filter(c.ring, c.method, c.truth));
    EXPECT_EQ(run({"ID", "NAME", "DOC", "SHAPE"}, {"PARCELS"}, nullptr,
                  c.method >= 0 ? &filters : nullptr, c.env, &ids, &row),
              SE_FINISHED)
        << c.name;
    EXPECT_EQ(ids, c.want) << c.name;
    if (c.method >= 0) {
      EXPECT_EQ(last_sql.find("EnvelopesIntersect") != std::string::npos,
                c.env != nullptr)
          << c.name;
    }
  }
}

TEST_F(QueryTest, RowsCarryTheirValuesShapesAndLongBlobs) {
  Row row;
  std::vector<int32_t> ids;
  DB_stream_close(s, 1, 0);
  QUERYINFO info;
  SES_initialize_queryinfo(&info);
  info.buffer = nullptr;
  const char* cols[] = {"ID", "NAME", "DOC", "SHAPE"};
  const char* tables[] = {"PARCELS"};
  SQL_CONSTRUCT sc{1, const_cast<char**>(tables), const_cast<char*>("where ID in (1, 4)")};
  info.num_columns = 4;
  info.columns = const_cast<char**>(cols);
  info.construct = &sc;
  info.clause = const_cast<char*>("ORDER BY ID");
  ASSERT_EQ(DB_stream_init_query_layer(s, &info, nullptr, nullptr, nullptr), 0);
  int16_t count = 0;
  COLUMN_DEF* defs = nullptr;
  LAYER** layers = nullptr;
  ASSERT_EQ(DB_stream_describe_sql(s, nullptr, &count, &defs, &layers), 0);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(defs[0].rowid_kind, SE_ROWID_BY_USER);
  EXPECT_EQ(defs[3].type, SE_SHAPE);
  EXPECT_EQ(layers[3], s->layer);
  free(layers);
  ASSERT_EQ(DB_stream_execute_query(s, 0, 0, row.values), 0);

  int32_t rid = 0;
  ASSERT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), 0);
  EXPECT_EQ(rid, 1);
  EXPECT_STREQ(row.name, "one");
  EXPECT_EQ(row.ind[3], 2);
  EXPECT_EQ(row.shape.fid, 1u);
  EXPECT_EQ(row.shape.numofpts, 5);
  ASSERT_EQ(SES_feature_uncompress(1, &row.shape), 0);
  ENVELOPE e;
  ASSERT_EQ(SgsNvelop(&row.shape, &e), 0);
  EXPECT_EQ(e.minx, 1000);
  EXPECT_EQ(e.maxy, 2000);
  // the first 60,000 bytes with the row, the rest in segments
  const std::string doc = big_doc();
  ASSERT_EQ(row.doc.blob_length, SE_QUERY_BLOB_WIDTH);
  EXPECT_EQ(std::string(row.doc.blob_buffer, 60000), doc.substr(0, 60000));
  std::string rest;
  std::vector<char> piece(100000);
  for (int32_t len = 1; len > 0;) {
    ASSERT_EQ(DB_stream_get_blob_segment(s, 2, (int32_t)piece.size(), &len, piece.data()), 0);
    rest.append(piece.data(), (size_t)len);
  }
  EXPECT_EQ(rest.size(), 1440000u);
  EXPECT_TRUE(rest == doc.substr(60000));

  ASSERT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), 0);
  EXPECT_EQ(rid, 4);
  EXPECT_EQ(row.ind[2], 1);
  EXPECT_EQ(row.ind[3], 1);
  EXPECT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), SE_FINISHED);
}

TEST_F(QueryTest, RepeatedRowIdIsDeliveredWithoutCopy) {
  Row row;
  std::vector<int32_t> ids;
  std::vector<int16_t> inds;
  DB_stream_close(s, 1, 0);
  QUERYINFO info;
  SES_initialize_queryinfo(&info);
  const char* cols[] = {"ID", "NAME", "DOC", "SHAPE"};
  const char* tables[] = {"PARCELS", "TWO"};
  SQL_CONSTRUCT sc{2, const_cast<char**>(tables), const_cast<char*>("ID = 2")};
  info.num_columns = 4;
  info.columns = const_cast<char**>(cols);
  info.construct = &sc;
  ASSERT_EQ(DB_stream_init_query_layer(s, &info, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(DB_stream_execute_query(s, 0, 0, row.values), 0);
  int32_t rid = 0;
  ASSERT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), 0);
  EXPECT_EQ(row.ind[3], 2);
  unsigned char* held = row.shape.buffer;
  ASSERT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), 0);
  EXPECT_EQ(rid, 2);
  EXPECT_EQ(row.ind[3], 3);
  EXPECT_EQ(row.shape.buffer, held);
  EXPECT_EQ(DB_stream_fetch_row(s, 0, row.values, row.ind, nullptr, &rid), SE_FINISHED);
}

TEST_F(QueryTest, HiddenShapeColumnServesTheFilterOnly) {
  filter_shapes.reserve(2);
  Row row;
  std::vector<int32_t> ids;
  std::vector<SPATIAL_FILTER> filters{filter(box(4, 0, 20, 20), SM_AI, 1)};
  EXPECT_EQ(run({"ID", "NAME"}, {"PARCELS"}, nullptr, &filters, nullptr, &ids, &row), SE_FINISHED);
  EXPECT_EQ(ids, (std::vector<int32_t>{2, 3}));
  EXPECT_TRUE(row.shape.buffer == nullptr);  // the caller's shape is untouched
  EXPECT_EQ(s->query->described, 2);
}

TEST_F(QueryTest, SearchEnvelopeFormAndCover) {
  filter_shapes.reserve(8);
  struct Case { const char* name; int32_t env[4]; bool on; const char* ctor; };
  const Case cases[] = {
      {"inverted", {5000, 0, 1000, 9000}, false, nullptr},
      {"covers the layer", {0, 0, 20000, 20000}, false, nullptr},
      {"point", {1500, 1500, 1500, 1500}, true, "PointFromZul"},
      {"zero width", {1500, 0, 1500, 9000}, true, "LineFromZul"},
      {"rectangle", {0, 0, 5500, 5500}, true, "PolyFromZul"},
  };
  for (const Case& c : cases) {
    Row row;
    std::vector<int32_t> ids;
    std::vector<SPATIAL_FILTER> filters{filter(box(0, 0, 20, 20), SM_ENVP, 1)};
    EXPECT_EQ(run({"ID", "NAME", "DOC", "SHAPE"}, {"PARCELS"}, nullptr, &filters, c.env, &ids, &row),
              SE_FINISHED)
        << c.name;
    EXPECT_EQ(s->query->envelope_filter, c.on) << c.name;
    if (c.ctor != nullptr) {
      EXPECT_NE(last_sql.find(c.ctor), std::string::npos) << c.name;
    }
  }
}

TEST_F(QueryTest, PrepareFailuresMapToTheirStatus) {
  struct Case { const char* name; const char* column; const char* table; int32_t status; };
  const Case cases[] = {
      {"missing table", "ID", "NOPE", SE_TABLE_NOEXIST},
      {"syntax", "ID,,", "PARCELS", SE_SQL_SYNTAX},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    Row row;
    std::vector<int32_t> ids;
    EXPECT_EQ(run({c.column}, {c.table}, nullptr, nullptr, nullptr, &ids, &row), c.status) << c.name;
    EXPECT_TRUE(s->query_stmt == SQL_NULL_HSTMT) << c.name;
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(QueryTest, TableWithoutRowIdColumnTakesNoSpatialConstraints) {
  filter_shapes.reserve(2);
  Row row;
  std::vector<int32_t> ids;
  g_no_rowid = true;
  std::vector<SPATIAL_FILTER> filters{filter(box(0, 0, 5, 5), SM_AI, 1)};
  EXPECT_EQ(run({"ID", "NAME", "DOC", "SHAPE"}, {"PARCELS"}, nullptr, &filters, nullptr, &ids, &row),
            SE_NO_ROWID_COLUMN);
  EXPECT_EQ(s->xerr.code, SE_NO_ROWID_COLUMN);
}

TEST_F(QueryTest, WhereClauseOfBlanksOrKeywordAloneSelectsEveryRow) {
  for (const char* where : {"   ", "where ", "\t where   "}) {
    Row row;
    std::vector<int32_t> ids;
    EXPECT_EQ(run({"ID", "NAME", "DOC", "SHAPE"}, {"PARCELS"}, where, nullptr, nullptr, &ids, &row),
              SE_FINISHED)
        << "[" << where << "]";
    EXPECT_EQ(ids.size(), 4u) << "[" << where << "]";
  }
}

// The packed value of the unit square (1 1, 2 2) on a layer of areas: the
// header varLONGs, the compressed feature, then the trailer in big-endian
// numbers: marks '0' '0' '1', srid 7, the extent, the area 1 and length 4.
TEST_F(QueryTest, PackedShapeValueLayout) {
  FEATURE_STRUCT f;
  make_polygon(&cr, box(1, 1, 2, 2), &f);
  ASSERT_EQ(SES_comp_feature_alloc(&f, f.numofpts, 8, 0), 0);
  ASSERT_EQ(SES_feature_compress(&f, 8), 0);
  LAYER* l = nullptr;
  ASSERT_EQ(DB_layer_get_info(in, s, 3, &l), 0);
  s->layer = l;
  l->coordref->srid = 7;
  unsigned char* packed = nullptr;
  int32_t len = 0;
  ASSERT_EQ(db_pack_shape_value(s, &f, &packed, &len), 0);
  int32_t n = SES_get_compressed_buffer_size(&f);
  ASSERT_EQ(len, 8 + n + 55);
  const unsigned char head[8] = {0x05, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(packed, head, 8), 0);
  EXPECT_EQ(memcmp(packed + 8, f.buffer, (size_t)n), 0);
  const unsigned char trailer[55] = {
      '0', '0', '1', 0, 0, 0, 7,
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,  0x3F, 0xF0, 0, 0, 0, 0, 0, 0,   // minx, miny 1
      0x40, 0x00, 0, 0, 0, 0, 0, 0,  0x40, 0x00, 0, 0, 0, 0, 0, 0,   // maxx, maxy 2
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,                                  // area 1
      0x40, 0x10, 0, 0, 0, 0, 0, 0,                                  // length 4
  };
  EXPECT_EQ(memcmp(packed + 8 + n, trailer, sizeof trailer), 0);
  free(packed);
  SES_comp_feature_free(&f);
  SgShapeFree(&f);
}

}  // namespace
