// test_spatial_sql.cpp -- the system's own Spatial Extender SQL, sent through
// the CLI as the layer and stream code sends it: a spatial reference and a
// layer registered, the spatial index created, shapes inserted by both
// fifteen-marker forms, read back with the shape methods, and found by
// EnvelopesIntersect with and without the index.
#include <gtest/gtest.h>

#include "dl_conn.h"
#include "dl_engine.h"
#include "dl_fault.h"
#include "dl_spatial.h"
#include "dl_test_support.h"
#include "geomkit.h"

#include <string.h>

#include <memory>
#include <string>
#include <vector>

using namespace dltest;

namespace {

// A packed shape value of a line (entity 2) or an area (8) with Z values, as
// the stream code packs it.
struct Shape {
  int32_t npts, entity;
  double env[4];
  double zmin, zmax, area, length;
  std::string bytes;
};

Shape make(int32_t entity, double x0, double y0, double x1, double y1) {
  Shape s{entity == 8 ? 5 : 2, entity, {x0, y0, x1, y1}, -1, 4, 0, 0, ""};
  s.area = entity == 8 ? (x1 - x0) * (y1 - y0) : 0;
  s.length = entity == 8 ? 2 * (x1 - x0 + y1 - y0) : (x1 - x0) + (y1 - y0);
  put_varlong(&s.bytes, s.npts);
  put_varlong(&s.bytes, s.entity);
  s.bytes.resize(8, '\0');
  put_varlong(&s.bytes, 20);
  s.bytes.resize(8 + 28, '\x2A');
  s.bytes += "101";  // Z, no M, number format 1
  unsigned char num[8];
  int32_t srid = 1;
  SgPutInteger(num, '1', 1, &srid);
  s.bytes.append((char*)num, 4);
  std::vector<double> d(s.env, s.env + 4);
  d.push_back(s.zmin);
  d.push_back(s.zmax);
  if (entity & 8) d.push_back(s.area);
  d.push_back(s.length);
  for (double v : d) {
    SgPutDouble(num, '1', 1, &v);
    s.bytes.append((char*)num, 8);
  }
  return s;
}

const char* const kTypedInsert =
    "INSERT INTO ZUL.ROADS  (ROW_ID, SHAPE) VALUES (?, ( SELECT CASE WHEN geometryValue..points IS NOT NULL "
    "THEN geometryValue ELSE NULL END FROM TABLE ( VALUES ( DB2GSE.ST_LineString()..points(CAST(? AS BLOB(1M)))"
    "..anno_text(CAST(? AS VARCHAR(255)))..srid(CAST(? AS INTEGER))..numpoints(CAST(? AS INTEGER))"
    "..geometry_type(CAST(? AS SMALLINT))..xmin(CAST(? AS FLOAT))..ymin(CAST(? AS FLOAT))..xmax(CAST(? AS FLOAT))"
    "..ymax(CAST(? AS FLOAT))..zmin(CAST(? AS FLOAT))..zmax(CAST(? AS FLOAT))..mmin(CAST(? AS FLOAT))"
    "..mmax(CAST(? AS FLOAT))..area(CAST(? AS FLOAT))..length(CAST(? AS FLOAT))) ) AS shapeRow ( geometryValue ) ))";

const char* const kGeometryInsert =
    "INSERT INTO ZUL.ROADS  (ROW_ID, SHAPE) VALUES (?, ( SELECT shape FROM TABLE ( VALUES ( "
    "DB2GSE.GeometryFromZul(CAST(? AS BLOB(1M)), CAST(? AS VARCHAR(255))), CAST(? AS INTEGER), CAST(? AS INTEGER), "
    "CAST(? AS SMALLINT), CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT), "
    "CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT), CAST(? AS FLOAT) ) ) AS shapeRow ( "
    "shape, srid, numpoints, geometry_type, xmin, ymin, xmax, ymax, zmin, zmax, mmin, mmax, area, length ) ))";

const char* const kWindowQuery =
    "SELECT ROW_ID,  ZUL.ROADS.SHAPE..Points SHAPE  FROM ZUL.ROADS where  DB2GSE.EnvelopesIntersect( "
    "DB2GSE.PolyFromZul(cast (? as blob(1m)),cast (NULL as varchar(255))),ZUL.ROADS.SHAPE) = 1 SELECTIVITY 0.0001 "
    " order by ZUL.ROADS.SHAPE..Xmin,ZUL.ROADS.SHAPE..Ymin";

class SpatialSql : public ::testing::Test {
 protected:
  DataDir dir_;
  std::unique_ptr<Conn> conn_;
  dl::DlCallHandler previous_handler_ = nullptr;

  void SetUp() override {
    ASSERT_EQ(create_database("ZULDB"), "");
    ASSERT_EQ(enable_spatial("ZULDB"), "");
    previous_handler_ = dl::dl_set_call_handler(dl::dl_spatial_call_handler);
    conn_.reset(new Conn("ZULDB"));
    ASSERT_EQ(conn_->rc, SQL_SUCCESS) << diag(SQL_HANDLE_DBC, conn_->dbc);
  }
  void TearDown() override {
    conn_.reset();
    dl::dl_set_call_handler(previous_handler_);
  }

  void ok(const std::string& sql) {
    std::string why;
    ASSERT_EQ(exec(conn_->dbc, sql, &why), SQL_SUCCESS) << sql << "\n" << why;
  }

  // Inserts one shape by one of the two forms, binding the fifteen values
  // as the insert stream binds them.
  void insert(const char* text, int32_t id, const Shape& s) {
    SQLHSTMT h = conn_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)text, SQL_NTS), SQL_SUCCESS) << sdiag(h);
    SQLLEN n_id = 0, n_blob = (SQLLEN)s.bytes.size(), n_anno = SQL_NULL_DATA, n_int = 0;
    int32_t srid = 1, npts = s.npts;
    int16_t gtype = 14;
    double d[10] = {s.env[0], s.env[1], s.env[2], s.env[3], s.zmin, s.zmax, 0, 0, s.area, s.length};
    SQLLEN dind[10];
    for (int i = 0; i < 10; ++i) dind[i] = (i == 6 || i == 7 || (i == 8 && !(s.entity & 8))) ? SQL_NULL_DATA : 0;
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &n_id);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, s.bytes.size(), 0, (SQLPOINTER)s.bytes.data(),
                     n_blob, &n_blob);
    SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 255, 0, (SQLPOINTER) "", 255, &n_anno);
    SQLBindParameter(h, 4, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid, 4, &n_int);
    SQLBindParameter(h, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &npts, 4, &n_int);
    SQLBindParameter(h, 6, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 2, 0, &gtype, 2, &n_int);
    for (int i = 0; i < 10; ++i)
      SQLBindParameter(h, (SQLUSMALLINT)(7 + i), SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 8, 0, &d[i], 8, &dind[i]);
    EXPECT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }

  // The ROW_IDs and packed bytes a window query answers.
  std::vector<std::pair<int32_t, std::string>> window(const Shape& search) {
    std::vector<std::pair<int32_t, std::string>> out;
    SQLHSTMT h = conn_->stmt();
    EXPECT_EQ(SQLPrepare(h, (SQLCHAR*)kWindowQuery, SQL_NTS), SQL_SUCCESS) << sdiag(h);
    SQLLEN n = (SQLLEN)search.bytes.size();
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, search.bytes.size(), 0,
                     (SQLPOINTER)search.bytes.data(), n, &n);
    EXPECT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    int32_t id = 0;
    char buf[512];
    SQLLEN ind = 0, bind = 0;
    SQLBindCol(h, 1, SQL_C_LONG, &id, 0, &ind);
    SQLBindCol(h, 2, SQL_C_BINARY, buf, sizeof buf, &bind);
    while (SQLFetch(h) == SQL_SUCCESS) out.push_back({id, std::string(buf, (size_t)bind)});
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return out;
  }
};

TEST_F(SpatialSql, TheLayerCodesSqlRoundTripsShapesAndUsesTheIndex) {
  ok("CREATE TABLE ZUL.ROADS (ROW_ID INTEGER NOT NULL, NAME VARCHAR(20), SHAPE DB2GSE.ST_LineString)");
  ok("insert into ZULDB.DB2GSE.gse_coord_ref (scid, sc_name, auth_name, auth_srid, desc, srtext) values "
     "( 1, 'CREF_1', NULL,NULL,NULL,'UNKNOWN')");
  ok("lock table ZULDB.DB2GSE.gse_spatial_ref in exclusive mode");
  EXPECT_EQ(scalar(conn_->dbc, "select max(srid) from ZULDB.DB2GSE.gse_spatial_ref"), -999999) << "NULL: none yet";

  // call db2gse!gse_enable_sref with the twelve parameters of the spatial
  // reference code.
  {
    SQLHSTMT h = conn_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"call db2gse!gse_enable_sref(?,?,?,?,?,?,?,?,?,?,?,?)", SQL_NTS), SQL_SUCCESS)
        << sdiag(h);
    int32_t srid = 1, scid = 1, code = 77;
    double num[7] = {-400, -400, 1000, 0, 1, 0, 1};
    char name[] = "SREF_1", text[1025] = {0};
    SQLLEN nts = SQL_NTS, z = 0, tl = 0, cl = 0;
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid, 0, &z);
    SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 128, 0, name, 0, &nts);
    for (int i = 0; i < 7; ++i)
      SQLBindParameter(h, (SQLUSMALLINT)(3 + i), SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &num[i], 0, &z);
    SQLBindParameter(h, 10, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &scid, 0, &z);
    SQLBindParameter(h, 11, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &cl);
    SQLBindParameter(h, 12, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 1024, 0, text, sizeof text, &tl);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    EXPECT_EQ(code, 0) << text;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);

  // call db2gse!gse_register_layer with its twenty-one parameters.
  {
    SQLHSTMT h = conn_->stmt();
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)"call db2gse!gse_register_layer (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                         SQL_NTS),
              SQL_SUCCESS)
        << sdiag(h);
    const char* names[8] = {"ZUL", "ROADS", "SHAPE", "ST_LINESTRING", nullptr, "ZUL", "ROADS", "SHAPE"};
    int32_t srid = 1, code = 77;
    int16_t zero = 0;
    char text[1025] = {0};
    SQLLEN nts = SQL_NTS, z = 0, null_ind = SQL_NULL_DATA, cl = 0, tl = 0;
    for (int i = 0; i < 8; ++i) {
      if (i == 4) SQLBindParameter(h, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &srid, 0, &z);
      else
        SQLBindParameter(h, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 128, 0,
                         (SQLPOINTER)names[i], 0, &nts);
    }
    SQLBindParameter(h, 9, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, &zero, 0, &z);
    for (int i = 10; i <= 19; ++i)
      SQLBindParameter(h, (SQLUSMALLINT)i, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, (SQLPOINTER) "", 0,
                       &null_ind);
    SQLBindParameter(h, 20, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0, &cl);
    SQLBindParameter(h, 21, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 1024, 0, text, sizeof text, &tl);
    ASSERT_EQ(SQLExecute(h), SQL_SUCCESS) << sdiag(h);
    EXPECT_EQ(code, 0) << text;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);

  // Shapes by both forms; then the window query before and after the index.
  std::vector<Shape> shapes;
  for (int i = 0; i < 40; ++i) {
    double x = (i % 8) * 100.0, y = (i / 8) * 100.0;
    shapes.push_back(make(2, x, y, x + 50, y + 20));
    insert(i % 2 ? kGeometryInsert : kTypedInsert, i + 1, shapes.back());
  }
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);

  // The envelope of the layer (the layer-envelope code's query).
  {
    SQLHSTMT h = conn_->stmt();
    const char* q =
        "SELECT min(ZUL.ROADS.SHAPE..Xmin),min(ZUL.ROADS.SHAPE..Ymin),max(ZUL.ROADS.SHAPE..Xmax),"
        "max(ZUL.ROADS.SHAPE..Ymax),min(ZUL.ROADS.SHAPE..Zmin),max(ZUL.ROADS.SHAPE..Zmax) FROM ZUL.ROADS";
    ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)q, SQL_NTS), SQL_SUCCESS) << sdiag(h);
    double v[6];
    SQLLEN ind[6];
    for (int i = 0; i < 6; ++i) SQLBindCol(h, (SQLUSMALLINT)(i + 1), SQL_C_DOUBLE, &v[i], 0, &ind[i]);
    ASSERT_EQ(SQLFetch(h), SQL_SUCCESS);
    const double want[6] = {0, 0, 750, 420, -1, 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i], want[i]) << "column " << i + 1;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // The layer statistics' select list, with and without "()".
  EXPECT_EQ(scalar(conn_->dbc, "SELECT SUM(DB2GSE.ZulEntity(SHAPE)) FROM ZUL.ROADS"), 80);
  EXPECT_EQ(scalar(conn_->dbc, "SELECT SUM(SHAPE..NumPoints()) FROM ZUL.ROADS WHERE SHAPE..Length > 69"), 80);

  Shape search = make(8, 50, 20, 100, 100);  // meets 4 shapes, each at a corner only
  auto before = window(search);
  ASSERT_EQ(before.size(), 4u);
  for (const auto& r : before) EXPECT_EQ(r.second, shapes[(size_t)r.first - 1].bytes) << "..Points of " << r.first;

  ok("CREATE INDEX A1_IX1 ON ZUL.ROADS (SHAPE) EXTEND USING db2gse.spatial_index "
     "(1.000000e+02,0.000000e+00,0.000000e+00) ");
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);
  dl::dl_spatial_counters_reset();
  dl::dl_counters_reset();
  EXPECT_EQ(window(search), before) << "the index answers what the scan answered";
  EXPECT_EQ(dl::dl_spatial_counters().envelope_tests, 0u) << "no row was tested one by one";
  EXPECT_LT(dl::dl_spatial_counters().index_candidates, 10u);
  EXPECT_EQ(dl::dl_counters().fullscan_steps, 0u) << "the table was not scanned";

  // A duplicate index name, then the index dropped and the layer unregistered.
  std::string why;
  EXPECT_EQ(exec(conn_->dbc, "CREATE INDEX A1_IX1 ON ZUL.ROADS (SHAPE) EXTEND USING db2gse.spatial_index (1,0,0)", &why),
            SQL_ERROR);
  EXPECT_EQ(why.substr(0, 5), "42S11") << why;
  ok("DROP INDEX A1_IX1");
  EXPECT_EQ(window(search), before);
}

// Shape methods and Spatial Extender functions describe with the DB2 type of
// what they return, before any row exists (a stream sizes its buffers from
// the description).
TEST_F(SpatialSql, ShapeExpressionsDescribeWithTheirTypesOverNoRows) {
  ok("CREATE TABLE ZUL.ROADS (ROW_ID INTEGER NOT NULL, SHAPE DB2GSE.ST_LineString)");
  struct Case { const char* item; SQLSMALLINT type; const char* structured; };
  const Case kCases[] = {
      {"ZUL.ROADS.SHAPE..Points SHAPE", SQL_BLOB, ""},
      {"SHAPE..Points()", SQL_BLOB, ""},
      {"SHAPE..Xmin", SQL_DOUBLE, ""},
      {"SHAPE..Length() AS L", SQL_DOUBLE, ""},
      {"min(ZUL.ROADS.SHAPE..Ymin)", SQL_DOUBLE, ""},
      {"SHAPE..Srid", SQL_INTEGER, ""},
      {"SHAPE..NumPoints", SQL_INTEGER, ""},
      {"SHAPE..Geometry_Type", SQL_SMALLINT, ""},
      {"SHAPE..Anno_Text", SQL_VARCHAR, ""},
      {"DB2GSE.ZulEntity(SHAPE)", SQL_INTEGER, ""},
      {"DB2GSE.EnvelopesIntersect(SHAPE, SHAPE)", SQL_INTEGER, ""},
      {"DB2GSE.ST_Point()..Srid(1)", SQL_BLOB, "ST_POINT"},
      {"DB2GSE.PolyFromZul(SHAPE..Points, NULL)", SQL_BLOB, "ST_POLYGON"},
  };
  for (const Case& c : kCases) {
    SQLHSTMT h = conn_->stmt();
    std::string q = std::string("SELECT ") + c.item + " FROM ZUL.ROADS";
    ASSERT_EQ(SQLPrepare(h, (SQLCHAR*)q.c_str(), SQL_NTS), SQL_SUCCESS) << c.item << ": " << sdiag(h);
    SQLCHAR name[64];
    SQLSMALLINT nlen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(h, 1, name, sizeof name, &nlen, &type, &size, &digits, &nullable), SQL_SUCCESS)
        << c.item;
    EXPECT_EQ(type, c.type) << c.item;
    char udt[64] = "";
    SQLSMALLINT ulen = 0;
    SQLColAttribute(h, 1, SQL_DESC_STRUCTURED_TYPE, udt, sizeof udt, &ulen, nullptr);
    EXPECT_STREQ(udt, c.structured) << c.item;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

// The window query of the stream code on a layer of many shapes: without the
// index every row is tested and the table scanned; with it only the tree's
// candidates are tested, no table step is a scan, and the rows delivered
// are the answer. (The benchmark runs the same comparison on 1,000,000.)
TEST_F(SpatialSql, ASmallWindowOnManyShapesExaminesOnlyCandidateRows) {
  constexpr int kShapes = 100000;
  ok("CREATE TABLE ZUL.ROADS (ROW_ID INTEGER NOT NULL, SHAPE DB2GSE.ST_LineString)");
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);
  {
    // Loaded straight into the file (the engine's own insert path is shown
    // above); the values are what GEOMETRYFROMZUL stores.
    std::string path;
    ASSERT_TRUE(dl::dl_database_path("ZULDB", &path));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(dl::dl_spatial_register(db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO \"ZUL.ROADS\" VALUES (?, GEOMETRYFROMZUL(?, NULL))", -1, &st,
                                 nullptr),
              SQLITE_OK);
    for (int i = 0; i < kShapes; ++i) {
      double x = (i % 400) * 10.0, y = (i / 400) * 10.0;  // a 400 x 250 grid of 5 x 2 lines
      Shape sh = make(2, x, y, x + 5, y + 2);
      sqlite3_bind_int(st, 1, i + 1);
      sqlite3_bind_blob(st, 2, sh.bytes.data(), (int)sh.bytes.size(), SQLITE_TRANSIENT);
      ASSERT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  Shape search = make(8, 1003, 1001, 1023, 1013);  // meets the lines at x 1000..1020, y 1000..1010
  const size_t kAnswer = 6;

  dl::dl_spatial_counters_reset();
  dl::dl_counters_reset();
  auto scanned = window(search);
  EXPECT_EQ(scanned.size(), kAnswer);
  EXPECT_EQ(dl::dl_spatial_counters().envelope_tests, (uint64_t)kShapes) << "every row tested";
  EXPECT_GE(dl::dl_counters().fullscan_steps, (uint64_t)kShapes - 1) << "the table scanned";

  ok("CREATE INDEX R_IX1 ON ZUL.ROADS (SHAPE) EXTEND USING db2gse.spatial_index (1.000000e+02,0.000000e+00,0.000000e+00)");
  ASSERT_EQ(commit(conn_->dbc), SQL_SUCCESS);
  dl::dl_spatial_counters_reset();
  dl::dl_counters_reset();
  EXPECT_EQ(window(search), scanned);
  dl::DlSpatialCounters c = dl::dl_spatial_counters();
  EXPECT_EQ(c.envelope_tests, 0u) << "no row tested one by one";
  EXPECT_GE(c.index_candidates, kAnswer);
  EXPECT_LE(c.index_candidates, 2 * kAnswer) << "only the tree's candidates are examined";
  EXPECT_EQ(dl::dl_counters().fullscan_steps, 0u) << "no step of a table scan";
  EXPECT_EQ(dl::dl_counters().rows_examined, kAnswer) << "the rows delivered are the answer";
}

}  // namespace
