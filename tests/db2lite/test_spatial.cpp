// test_spatial.cpp -- db2lite's Spatial Extender: shapes stored from packed
// values by both insert forms, the shape methods, ENVELOPESINTERSECT against
// a brute-force envelope test, the spatial index kept in step and used, the
// registration procedures with every message code their callers map, and
// SQLGetSQLCA.
//
// Shapes and indexes are exercised on an SQLite connection set up as db2lite
// sets up its own (catalogue, session, functions), with DB2 DDL translated by
// the engine and the spatial statements in the form the translator hands to
// SQLite. The procedures run through the CLI, as the server calls them.
#include <gtest/gtest.h>

#include "dl_engine.h"
#include "dl_fault.h"
#include "dl_spatial.h"
#include "dl_spatial_sqlca.h"
#include "dl_test_support.h"
#include "geomkit.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

using dltest::put_varlong;

namespace {

// ---- packed shape values, written as the server writes them ---------------------

struct ShapeDef {
  int32_t npts = 1;
  int32_t entity = 1;  // 1 point, 2 line, 8 area, 257/258/264 multi
  bool z = false, m = false;
  int32_t srid = 7;
  double env[4] = {0, 0, 0, 0};
  double zr[2] = {0, 0}, mr[2] = {0, 0};
  double area = 0, length = 0;
  int32_t comp_len = 12;  // the compressed feature's length field
};

std::string packed(const ShapeDef& s, char mode = '1') {
  std::string b;
  put_varlong(&b, s.npts);
  put_varlong(&b, s.entity);
  b.resize(8, '\0');
  std::string comp;
  put_varlong(&comp, s.comp_len);
  for (size_t i = comp.size(); i < (size_t)s.comp_len + 8; ++i) comp.push_back((char)(i * 37 + 11));
  b += comp;
  b.push_back(s.z ? '1' : '0');
  b.push_back(s.m ? '1' : '0');
  b.push_back(mode);
  unsigned char num[8];
  SgPutInteger(num, mode, 1, &s.srid);
  b.append((char*)num, 4);
  auto dbl = [&](double v) {
    SgPutDouble(num, mode, 1, &v);
    b.append((char*)num, 8);
  };
  for (double v : s.env) dbl(v);
  if (s.z) { dbl(s.zr[0]); dbl(s.zr[1]); }
  if (s.m) { dbl(s.mr[0]); dbl(s.mr[1]); }
  if (s.entity & 8) dbl(s.area);
  if (s.entity & (8 | 2 | 4)) dbl(s.length);
  return b;
}

ShapeDef rect(double x0, double y0, double x1, double y1) {
  ShapeDef s;
  s.npts = 5;
  s.entity = 8;
  s.env[0] = x0; s.env[1] = y0; s.env[2] = x1; s.env[3] = y1;
  s.area = (x1 - x0) * (y1 - y0);
  s.length = 2 * ((x1 - x0) + (y1 - y0));
  return s;
}

ShapeDef point(double x, double y) {
  ShapeDef s;
  s.env[0] = s.env[2] = x;
  s.env[1] = s.env[3] = y;
  return s;
}

// ---- a connection set up as db2lite sets one up ----------------------------------

struct Db {
  sqlite3* db = nullptr;
  dl::DlSession session;
  Db() {
    sqlite3_open(":memory:", &db);
    dl::DlDiag d;
    EXPECT_EQ(dl::dl_catalog_init(db, &d), 0) << d.text;
    EXPECT_EQ(dl::dl_user_add(db, "ZUL", "zulpw", true, &d), 0) << d.text;
    EXPECT_EQ(dl::dl_catalog_enable_spatial(db, &d), 0) << d.text;
    session.user = "ZUL";
    session.schema = "ZUL";
    session.database = "TESTDB";
    EXPECT_EQ(dl::dl_connection_setup(db, &session, &d), 0) << d.text;
    EXPECT_EQ(dl::dl_spatial_register(db), SQLITE_OK);
  }
  ~Db() { sqlite3_close_v2(db); }

  // Translates a DB2 statement and runs its plan; "" or the failure.
  std::string db2(const std::string& text) {
    dl::DlPlan plan;
    dl::DlDiag d;
    if (dl::dl_translate(db, session, text.data(), text.size(), &plan, &d) != 0) return d.sqlstate + " " + d.text;
    std::vector<std::string> all = plan.pre;
    all.push_back(plan.main);
    all.insert(all.end(), plan.post.begin(), plan.post.end());
    return run_all(all);
  }

  std::string run_all(const std::vector<std::string>& stmts) {
    for (const std::string& s : stmts) {
      if (s.empty()) continue;
      char* err = nullptr;
      if (sqlite3_exec(db, s.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string e = std::string(err ? err : "?") + " in: " + s;
        sqlite3_free(err);
        return e;
      }
    }
    return "";
  }

  // A DB2 CREATE INDEX ... EXTEND USING db2gse.spatial_index: the engine's
  // catalogue row, then what stands behind it.
  std::string spatial_index(const std::string& index, const std::string& table, const std::string& col,
                            const std::string& grids = "1.0, 0, 0") {
    std::string e = db2("CREATE INDEX " + index + " ON ZUL." + table + " (" + col +
                        ") EXTEND USING db2gse.spatial_index (" + grids + ")");
    if (!e.empty()) return e;
    std::vector<std::string> stmts;
    dl::DlDiag d;
    if (dl::dl_spatial_create_index_sql(db, "ZUL", index, "ZUL", table, {col}, grids, &stmts, &d) != 0)
      return d.sqlstate + " " + d.text;
    return run_all(stmts);
  }

  sqlite3_stmt* prepare(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(db) << " in: " << sql;
    return st;
  }

  long long count(const std::string& sql) {
    sqlite3_stmt* st = prepare(sql);
    long long n = -1;
    if (st && sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
  }
};

// The two shape expressions of an insert, in the form the translator gives
// SQLite: the typed mutator chain and the GeometryFromZul row. Both take the
// fifteen markers in the same order.
const char* const kProps[] = {"POINTS", "ANNO_TEXT", "SRID", "NUMPOINTS", "GEOMETRY_TYPE",
                              "XMIN", "YMIN", "XMAX", "YMAX", "ZMIN", "ZMAX", "MMIN", "MMAX",
                              "AREA", "LENGTH"};

std::string typed_form(const char* ctor) {
  std::string e = std::string(ctor) + "()";
  for (const char* p : kProps) e = std::string("DB2GSE_") + p + "(" + e + ", ?)";
  return "(SELECT CASE WHEN DB2GSE_POINTS(GV) IS NOT NULL THEN GV ELSE NULL END FROM (SELECT " + e +
         " AS GV))";
}

std::string geometry_form() {
  std::string e = "GEOMETRYFROMZUL(CAST(? AS BLOB), CAST(? AS TEXT)) AS SHAPE";
  for (int i = 0; i < 13; ++i) e += ", ?";
  return "(SELECT SHAPE FROM (SELECT " + e + "))";
}

// Binds the fifteen values the server binds for a shape, from position at.
void bind_shape(sqlite3_stmt* st, int at, const ShapeDef* s, const std::string& bytes, const char* anno,
                int16_t gtype) {
  if (s == nullptr) {
    for (int i = 0; i < 15; ++i) sqlite3_bind_null(st, at + i);
    return;
  }
  sqlite3_bind_blob(st, at, bytes.data(), (int)bytes.size(), SQLITE_TRANSIENT);
  if (anno) sqlite3_bind_text(st, at + 1, anno, -1, SQLITE_TRANSIENT);
  else sqlite3_bind_null(st, at + 1);
  sqlite3_bind_int(st, at + 2, s->srid);
  sqlite3_bind_int(st, at + 3, s->npts);
  sqlite3_bind_int(st, at + 4, gtype);
  for (int i = 0; i < 4; ++i) sqlite3_bind_double(st, at + 5 + i, s->env[i]);
  auto opt = [&](int pos, bool present, double v) {
    if (present) sqlite3_bind_double(st, pos, v);
    else sqlite3_bind_null(st, pos);
  };
  opt(at + 9, s->z, s->zr[0]);
  opt(at + 10, s->z, s->zr[1]);
  opt(at + 11, s->m, s->mr[0]);
  opt(at + 12, s->m, s->mr[1]);
  opt(at + 13, (s->entity & 8) != 0, s->area);
  opt(at + 14, (s->entity & (8 | 2 | 4)) != 0, s->length);
}

// ============================================================================
// shapes
// ============================================================================

TEST(SpatialShape, BothInsertFormsKeepPointsAndAnswerTheProperties) {
  Db t;
  ASSERT_EQ(t.db2("CREATE TABLE ZUL.SHAPES (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_Geometry)"), "");
  struct Case {
    const char* name;
    ShapeDef s;
    const char* ctor;  // the typed form's constructor
    const char* anno;
    int entity_type;   // ST type code GEOMETRYFROMZUL gives
  };
  ShapeDef line = rect(1, 2, 30, 4);
  line.entity = 2;
  line.npts = 2;
  line.z = true;
  line.zr[0] = -5;
  line.zr[1] = 12.5;
  ShapeDef zm = rect(-100.25, -50.5, 100.75, 50.125);
  zm.entity = 264;
  zm.z = zm.m = true;
  zm.zr[1] = 3;
  zm.mr[0] = -1.0;  // a NaN measure is written as -1.0
  zm.mr[1] = 9;
  zm.comp_len = 300;
  ShapeDef empty;
  empty.npts = 0;
  empty.entity = 0;
  const Case cases[] = {
      {"point", point(5, 6), "ST_POINT", nullptr, 1},
      {"line with Z", line, "ST_LINESTRING", "Main St", 3},
      {"multipolygon with Z and M", zm, "ST_MULTIPOLYGON", "", 11},
      {"empty shape", empty, "ST_GEOMETRY", nullptr, 0},
  };
  int id = 0;
  for (const Case& c : cases) {
    std::string bytes = packed(c.s);
    for (int form = 0; form < 2; ++form) {
      SCOPED_TRACE(std::string(c.name) + (form ? ", GeometryFromZul" : ", typed chain"));
      ++id;
      sqlite3_stmt* st = t.prepare("INSERT INTO \"ZUL.SHAPES\" (ID, SHAPE) VALUES (?, " +
                                   (form ? geometry_form() : typed_form(c.ctor)) + ")");
      ASSERT_NE(st, nullptr);
      sqlite3_bind_int(st, 1, id);
      int16_t gtype = (int16_t)(c.s.entity == 1 ? 4 : 99);  // the typed form stores what it is given
      bind_shape(st, 2, &c.s, bytes, c.anno, gtype);
      ASSERT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(t.db);
      sqlite3_finalize(st);

      st = t.prepare(
          "SELECT DB2GSE_POINTS(SHAPE), DB2GSE_SRID(SHAPE), DB2GSE_NUMPOINTS(SHAPE), DB2GSE_XMIN(SHAPE),"
          " DB2GSE_YMIN(SHAPE), DB2GSE_XMAX(SHAPE), DB2GSE_YMAX(SHAPE), DB2GSE_ZMIN(SHAPE), DB2GSE_ZMAX(SHAPE),"
          " DB2GSE_MMIN(SHAPE), DB2GSE_MMAX(SHAPE), DB2GSE_AREA(SHAPE), DB2GSE_LENGTH(SHAPE),"
          " DB2GSE_ANNO_TEXT(SHAPE), ZULENTITY(SHAPE), DB2GSE_GEOMETRY_TYPE(SHAPE)"
          " FROM \"ZUL.SHAPES\" WHERE ID = " + std::to_string(id));
      ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
      std::string back((const char*)sqlite3_column_blob(st, 0), (size_t)sqlite3_column_bytes(st, 0));
      EXPECT_EQ(back, bytes) << "..Points must come back byte for byte";
      EXPECT_EQ(sqlite3_column_int(st, 1), c.s.srid);
      EXPECT_EQ(sqlite3_column_int(st, 2), c.s.npts);
      bool has_env = form == 0 || c.s.npts > 0;
      for (int i = 0; i < 4; ++i) {
        if (has_env) EXPECT_EQ(sqlite3_column_double(st, 3 + i), c.s.env[i]) << "envelope " << i;
        else EXPECT_EQ(sqlite3_column_type(st, 3 + i), SQLITE_NULL) << "envelope " << i;
      }
      auto expect_opt = [&](int col, bool present, double v, const char* what) {
        if (present) EXPECT_EQ(sqlite3_column_double(st, col), v) << what;
        else EXPECT_EQ(sqlite3_column_type(st, col), SQLITE_NULL) << what;
      };
      expect_opt(7, c.s.z, c.s.zr[0], "zmin");
      expect_opt(8, c.s.z, c.s.zr[1], "zmax");
      expect_opt(9, c.s.m, c.s.mr[0], "mmin");
      expect_opt(10, c.s.m, c.s.mr[1], "mmax");
      expect_opt(11, (c.s.entity & 8) != 0, c.s.area, "area");
      expect_opt(12, (c.s.entity & 10) != 0, c.s.length, "length");
      if (c.anno) EXPECT_STREQ((const char*)sqlite3_column_text(st, 13), c.anno);
      else EXPECT_EQ(sqlite3_column_type(st, 13), SQLITE_NULL);
      EXPECT_EQ(sqlite3_column_int(st, 14), c.s.entity);
      if (form == 1) {
        // The geometry type code of the entity type and its Z and M marks.
        int base = c.s.entity <= 1 ? 4 : c.s.entity == 2 ? 12 : c.s.entity == 264 ? 24 : 4;
        EXPECT_EQ(sqlite3_column_int(st, 15), base + (c.s.m ? 1 : 0) + (c.s.z ? 2 : 0));
      } else {
        EXPECT_EQ(sqlite3_column_int(st, 15), gtype);
      }
      sqlite3_finalize(st);
    }
  }
  // A NULL shape binds NULL to all fifteen markers and stores NULL.
  for (int form = 0; form < 2; ++form) {
    sqlite3_stmt* st = t.prepare("INSERT INTO \"ZUL.SHAPES\" (ID, SHAPE) VALUES (-1, " +
                                 (form ? geometry_form() : typed_form("ST_POINT")) + ")");
    bind_shape(st, 1, nullptr, "", nullptr, 0);
    ASSERT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(t.db);
    sqlite3_finalize(st);
  }
  EXPECT_EQ(t.count("SELECT COUNT(*) FROM \"ZUL.SHAPES\" WHERE ID = -1 AND SHAPE IS NULL"), 2);
  EXPECT_EQ(t.count("SELECT COUNT(*) FROM \"ZUL.SHAPES\" WHERE ID = -1 AND DB2GSE_XMIN(SHAPE) IS NULL"), 2);
}

TEST(SpatialShape, MalformedValuesAreRefusedWithADb2State) {
  Db t;
  std::string good = packed(rect(0, 0, 1, 1));
  std::string cut = good.substr(0, good.size() - 3);
  std::string bad_mark = packed(rect(0, 0, 1, 1), '7');
  std::string long_comp = good;
  long_comp[8] = (char)0xFF;  // a compressed length running past the value
  long_comp[9] = (char)0x7F;
  struct Case { const char* name; std::string sql; std::string value; const char* state; };
  const Case cases[] = {
      {"too short for a header", "SELECT POLYFROMZUL(?, NULL)", std::string("\x05\x08", 2), "38SU1"},
      {"trailer cut short", "SELECT GEOMETRYFROMZUL(?, NULL)", cut, "38SU1"},
      {"unknown number format", "SELECT GEOMETRYFROMZUL(?, NULL)", bad_mark, "38SU1"},
      {"compressed length past the end", "SELECT POINTFROMZUL(?, NULL)", long_comp, "38SU1"},
      {"longer than 1M", "SELECT GEOMETRYFROMZUL(?, NULL)", std::string(dl::kMaxPackedShape + 1, '\0'), "22001"},
      {"points mutator checks too", "SELECT DB2GSE_POINTS(ST_POINT(), ?)", cut, "38SU1"},
      {"annotation over 255 bytes", "SELECT GEOMETRYFROMZUL(?2, ?1)", std::string(256, 'a'), "22001"},
      {"a method on a non-shape", "SELECT DB2GSE_XMIN(?)", std::string("not a shape"), "38SU1"},
      {"a forged shape header", "SELECT DB2GSE_POINTS(?)", std::string("DLSH\x01\x01") + std::string(200, '\xff'), "38SU1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sqlite3_stmt* st = t.prepare(c.sql);
    ASSERT_NE(st, nullptr);
    if (c.sql.find("?2") != std::string::npos) {
      sqlite3_bind_text(st, 1, c.value.data(), (int)c.value.size(), SQLITE_TRANSIENT);
      sqlite3_bind_blob(st, 2, good.data(), (int)good.size(), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_blob(st, 1, c.value.data(), (int)c.value.size(), SQLITE_TRANSIENT);
    }
    EXPECT_EQ(sqlite3_step(st), SQLITE_ERROR);
    std::string msg = sqlite3_errmsg(t.db);
    EXPECT_EQ(msg.rfind(std::string("DL:") + c.state + ":", 0), 0u) << msg;
    sqlite3_finalize(st);
  }
}

TEST(SpatialShape, EnvelopesIntersectCountsTheBoundary) {
  Db t;
  struct Case { const char* name; ShapeDef a, b; int want; };
  ShapeDef line = rect(0, 5, 10, 5);  // a horizontal line: zero height
  line.entity = 2;
  ShapeDef inverted = rect(10, 10, 0, 0);
  const Case cases[] = {
      {"overlapping rectangles", rect(0, 0, 10, 10), rect(5, 5, 15, 15), 1},
      {"shared edge", rect(0, 0, 10, 10), rect(10, 0, 20, 10), 1},
      {"shared corner", rect(0, 0, 10, 10), rect(10, 10, 20, 20), 1},
      {"apart in x", rect(0, 0, 10, 10), rect(10.000001, 0, 20, 10), 0},
      {"apart in y", rect(0, 0, 10, 10), rect(0, -5, 10, -0.5), 0},
      {"point inside", rect(0, 0, 10, 10), point(3, 7), 1},
      {"point on the border", rect(0, 0, 10, 10), point(10, 7), 1},
      {"point outside", rect(0, 0, 10, 10), point(11, 7), 0},
      {"line through", rect(2, 0, 4, 10), line, 1},
      {"inverted envelope meets nothing", rect(-100, -100, 100, 100), inverted, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sqlite3_stmt* st = t.prepare(
        "SELECT ENVELOPESINTERSECT(GEOMETRYFROMZUL(?1, NULL), GEOMETRYFROMZUL(?2, NULL)),"
        " ENVELOPESINTERSECT(GEOMETRYFROMZUL(?2, NULL), GEOMETRYFROMZUL(?1, NULL))");
    std::string a = packed(c.a), b = packed(c.b);
    sqlite3_bind_blob(st, 1, a.data(), (int)a.size(), SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 2, b.data(), (int)b.size(), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW) << sqlite3_errmsg(t.db);
    EXPECT_EQ(sqlite3_column_int(st, 0), c.want);
    EXPECT_EQ(sqlite3_column_int(st, 1), c.want) << "the test is symmetric";
    sqlite3_finalize(st);
  }
  EXPECT_EQ(t.count("SELECT ENVELOPESINTERSECT(NULL, ST_POINT()) IS NULL"), 1);
}

TEST(SpatialShape, TypeNamesAcceptBothCollectionSpellings) {
  struct Case { const char* name; int code; };
  const Case cases[] = {{"ST_Point", 1},           {"db2gse.st_polygon", 5},
                        {"ST_GeomCollection", 6},  {"DB2GSE.ST_GeometryCollection", 6},
                        {"ST_MultiPolygon", 11},   {"ST_Geometry", 0},
                        {"ST_Pointy", -1},         {"INTEGER", -1}};
  for (const Case& c : cases) EXPECT_EQ(dl::dl_spatial_type_code(c.name), c.code) << c.name;
  EXPECT_TRUE(dl::dl_spatial_type_holds(0, 11));    // ST_Geometry holds a multipolygon
  EXPECT_TRUE(dl::dl_spatial_type_holds(6, 9));     // a collection holds a multilinestring
  EXPECT_TRUE(dl::dl_spatial_type_holds(2, 3));     // a curve holds a linestring
  EXPECT_FALSE(dl::dl_spatial_type_holds(1, 7));    // a point column holds no multipoint
  EXPECT_FALSE(dl::dl_spatial_type_holds(5, 0));
  std::string fn;
  EXPECT_TRUE(dl::dl_spatial_method_function("Length", &fn));
  EXPECT_EQ(fn, "DB2GSE_LENGTH");
  EXPECT_TRUE(dl::dl_spatial_method_function("anno_text", &fn));
  EXPECT_EQ(fn, "DB2GSE_ANNO_TEXT");
  EXPECT_FALSE(dl::dl_spatial_method_function("Buffer", &fn));
  struct Typed { const char* name; const char* type; };
  const Typed typed[] = {{"Points", "BLOB"},         {"Xmin", "DOUBLE"},         {"length", "DOUBLE"},
                         {"NumPoints", "INTEGER"},   {"Geometry_Type", "SMALLINT"}, {"Anno_Text", "VARCHAR"},
                         {"DB2GSE.ZulEntity", "INTEGER"}, {"EnvelopesIntersect", "INTEGER"},
                         {"PolyFromZul", "ST_POLYGON"}, {"GeometryFromZul", "ST_GEOMETRY"},
                         {"ST_LineString", "ST_LINESTRING"}, {"Buffer", ""}};
  for (const Typed& t : typed) EXPECT_EQ(dl::dl_spatial_result_type(t.name), t.type) << t.name;
}

// ============================================================================
// ENVELOPESINTERSECT and the spatial index on many shapes
// ============================================================================

struct Env { double e[4]; };

bool meets(const Env& a, const Env& b) {
  return a.e[0] <= b.e[2] && b.e[0] <= a.e[2] && a.e[1] <= b.e[3] && b.e[1] <= a.e[3];
}

class SpatialMany : public ::testing::Test {
 protected:
  static constexpr int kRows = 10000;
  Db t;
  std::vector<Env> envs;  // by ID - 1; xmin > xmax marks a NULL shape
  std::mt19937 rng{20261209};

  void SetUp() override {
    ASSERT_EQ(t.db2("CREATE TABLE ZUL.PARCELS (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_Geometry)"), "");
    std::uniform_real_distribution<double> pos(-1000, 1000), size(0, 20);
    ASSERT_EQ(t.run_all({"BEGIN"}), "");
    sqlite3_stmt* st = t.prepare("INSERT INTO \"ZUL.PARCELS\" (ID, SHAPE) VALUES (?, GEOMETRYFROMZUL(?, NULL))");
    for (int i = 1; i <= kRows; ++i) {
      Env e;
      double x = pos(rng), y = pos(rng);
      if (i % 97 == 0) {
        e.e[0] = 1;
        e.e[2] = 0;  // NULL shape
        sqlite3_bind_null(st, 2);
      } else {
        // Every tenth shape a point; coordinates rounded to a grid so that
        // exact border contacts happen.
        double w = i % 10 == 0 ? 0 : std::round(size(rng)), h = i % 10 == 0 ? 0 : std::round(size(rng));
        x = std::round(x);
        y = std::round(y);
        e = Env{{x, y, x + w, y + h}};
        ShapeDef s = i % 10 == 0 ? point(x, y) : rect(x, y, x + w, y + h);
        std::string b = packed(s);
        sqlite3_bind_blob(st, 2, b.data(), (int)b.size(), SQLITE_TRANSIENT);
      }
      sqlite3_bind_int(st, 1, i);
      ASSERT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(t.db);
      sqlite3_reset(st);
      envs.push_back(e);
    }
    sqlite3_finalize(st);
    ASSERT_EQ(t.run_all({"COMMIT"}), "");
  }

  std::set<int> brute(const Env& w) const {
    std::set<int> r;
    for (size_t i = 0; i < envs.size(); ++i)
      if (envs[i].e[0] <= envs[i].e[2] && meets(envs[i], w)) r.insert((int)i + 1);
    return r;
  }

  // The window's search shape the way the server builds it: a point, a
  // two-point line or a rectangle.
  static std::string search_shape(const Env& w) {
    ShapeDef s = rect(w.e[0], w.e[1], w.e[2], w.e[3]);
    if (w.e[0] == w.e[2] && w.e[1] == w.e[3]) s = point(w.e[0], w.e[1]);
    else if (w.e[0] == w.e[2] || w.e[1] == w.e[3]) s.entity = 4;
    return packed(s);
  }

  std::set<int> query(const std::string& where, const Env& w, uint64_t* fullscan = nullptr) {
    sqlite3_stmt* st = t.prepare("SELECT ID FROM \"ZUL.PARCELS\" WHERE " + where);
    std::string b = search_shape(w);
    sqlite3_bind_blob(st, 1, b.data(), (int)b.size(), SQLITE_TRANSIENT);
    std::set<int> r;
    while (sqlite3_step(st) == SQLITE_ROW) r.insert(sqlite3_column_int(st, 0));
    if (fullscan) *fullscan = (uint64_t)sqlite3_stmt_status(st, SQLITE_STMTSTATUS_FULLSCAN_STEP, 0);
    sqlite3_finalize(st);
    return r;
  }

  std::vector<Env> windows() {
    std::vector<Env> ws = {
        {{-1000, -1000, 1000, 1000}},  // everything
        {{0, 0, 0, 0}},                // a point
        {{-3, 10, 40, 10}},            // a horizontal line
        {{100, -200, 100, 300}},       // a vertical line
        {{5000, 5000, 5100, 5100}},    // nothing there
    };
    std::uniform_real_distribution<double> pos(-1000, 1000), size(0, 60);
    for (int i = 0; i < 40; ++i) {
      double x = std::round(pos(rng)), y = std::round(pos(rng));
      ws.push_back(Env{{x, y, x + std::round(size(rng)), y + std::round(size(rng))}});
    }
    return ws;
  }

  std::string index_filter() {
    std::string f;
    EXPECT_TRUE(dl::dl_spatial_filter_sql(t.db, "ZUL", "PARCELS", "SHAPE", "\"ZUL.PARCELS\"",
                                          "POLYFROMZUL(CAST(? AS BLOB), CAST(NULL AS TEXT))", &f));
    return f;
  }
};

constexpr int SpatialMany::kRows;

TEST_F(SpatialMany, EnvelopesIntersectEqualsBruteForceWithAndWithoutTheIndex) {
  const std::string plain = "ENVELOPESINTERSECT(POLYFROMZUL(CAST(? AS BLOB), CAST(NULL AS TEXT)), SHAPE) = 1";
  std::string unused;
  EXPECT_FALSE(dl::dl_spatial_filter_sql(t.db, "ZUL", "PARCELS", "SHAPE", "\"ZUL.PARCELS\"", "?", &unused))
      << "no index yet: the plain predicate stays";
  std::vector<Env> ws = windows();
  for (const Env& w : ws) EXPECT_EQ(query(plain, w), brute(w)) << "window " << w.e[0] << "," << w.e[1];
  ASSERT_EQ(t.spatial_index("P_IX1", "PARCELS", "SHAPE"), "");
  std::string indexed = index_filter();
  for (const Env& w : ws) EXPECT_EQ(query(indexed, w), brute(w)) << "window " << w.e[0] << "," << w.e[1];
}

TEST_F(SpatialMany, ASmallWindowExaminesOnlyCandidateRows) {
  ASSERT_EQ(t.spatial_index("P_IX1", "PARCELS", "SHAPE"), "");
  const std::string plain = "ENVELOPESINTERSECT(POLYFROMZUL(CAST(? AS BLOB), CAST(NULL AS TEXT)), SHAPE) = 1";
  Env w{{10, 10, 40, 40}};
  std::set<int> want = brute(w);
  ASSERT_FALSE(want.empty());

  dl::dl_spatial_counters_reset();
  uint64_t scan_plain = 0, scan_indexed = 0;
  EXPECT_EQ(query(plain, w, &scan_plain), want);
  dl::DlSpatialCounters c = dl::dl_spatial_counters();
  EXPECT_EQ(c.envelope_tests, (uint64_t)kRows - kRows / 97) << "the plain predicate tests every shape";
  EXPECT_GE(scan_plain, (uint64_t)kRows - 1);

  dl::dl_spatial_counters_reset();
  EXPECT_EQ(query(index_filter(), w, &scan_indexed), want);
  c = dl::dl_spatial_counters();
  EXPECT_EQ(c.envelope_tests, 0u) << "no row-by-row test";
  EXPECT_GE(c.index_candidates, (uint64_t)want.size());
  EXPECT_LT(c.index_candidates, (uint64_t)want.size() * 2 + 10) << "only the tree's candidates are tested";
  EXPECT_EQ(scan_indexed, 0u) << "the table is not scanned";
}

TEST_F(SpatialMany, TheIndexFollowsInsertsUpdatesDeletesAndRollback) {
  ASSERT_EQ(t.spatial_index("P_IX1", "PARCELS", "SHAPE"), "");
  const std::string rt = "\"" + dl::dl_spatial_index_table("ZUL", "P_IX1") + "\"";
  auto indexed_rows = [&] { return t.count("SELECT COUNT(*) FROM " + rt); };
  EXPECT_EQ(indexed_rows(), kRows - kRows / 97) << "existing shapes are indexed, NULL ones are not";

  // Move shape 1 far away, clear shape 2, delete shape 3, add shape kRows+1,
  // and give a NULL shape 97 an envelope.
  std::string far = packed(rect(4000, 4000, 4001, 4001));
  sqlite3_stmt* st = t.prepare("UPDATE \"ZUL.PARCELS\" SET SHAPE = GEOMETRYFROMZUL(?, NULL) WHERE ID IN (1, 97)");
  sqlite3_bind_blob(st, 1, far.data(), (int)far.size(), SQLITE_TRANSIENT);
  ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  ASSERT_EQ(t.run_all({"UPDATE \"ZUL.PARCELS\" SET SHAPE = NULL WHERE ID = 2",
                       "DELETE FROM \"ZUL.PARCELS\" WHERE ID = 3",
                       "UPDATE \"ZUL.PARCELS\" SET ID = ID WHERE ID = 4"}),
            "");
  st = t.prepare("INSERT INTO \"ZUL.PARCELS\" (ID, SHAPE) VALUES (?, GEOMETRYFROMZUL(?, NULL))");
  sqlite3_bind_int(st, 1, kRows + 1);
  sqlite3_bind_blob(st, 2, far.data(), (int)far.size(), SQLITE_TRANSIENT);
  ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
  sqlite3_finalize(st);
  envs[0] = envs[96] = Env{{4000, 4000, 4001, 4001}};
  envs[1] = envs[2] = Env{{1, 0, 0, 0}};
  envs.push_back(Env{{4000, 4000, 4001, 4001}});

  std::string f = index_filter();
  for (const Env& w : windows()) EXPECT_EQ(query(f, w), brute(w));
  EXPECT_EQ(query(f, Env{{3999, 3999, 4000, 4000}}), (std::set<int>{1, 97, kRows + 1}));
  EXPECT_EQ(indexed_rows(), kRows - kRows / 97);  // +2 (ids 97, kRows+1) -2 (ids 2, 3)

  // A row replaced under the same rowid (its delete trigger does not fire)
  // answers by its new shape only.
  ASSERT_EQ(t.run_all({"INSERT OR REPLACE INTO \"ZUL.PARCELS\" (rowid, ID, SHAPE) SELECT rowid, ID, NULL"
                       " FROM \"ZUL.PARCELS\" WHERE ID = 97"}),
            "");
  EXPECT_EQ(query(f, Env{{3999, 3999, 4000, 4000}}), (std::set<int>{1, kRows + 1}));

  // A rolled-back change leaves the index as it was.
  ASSERT_EQ(t.run_all({"BEGIN", "DELETE FROM \"ZUL.PARCELS\" WHERE ID <= 5000", "ROLLBACK"}), "");
  EXPECT_EQ(indexed_rows(), kRows - kRows / 97 - 1);
  EXPECT_EQ(query(f, Env{{3999, 3999, 4000, 4000}}), (std::set<int>{1, kRows + 1}));
}

// ============================================================================
// the spatial index's DDL
// ============================================================================

TEST(SpatialIndex, CreateRefusesWhatCannotBeIndexedAndDropRemovesTheTree) {
  Db t;
  ASSERT_EQ(t.db2("CREATE TABLE ZUL.ROADS (ID INTEGER NOT NULL, NAME VARCHAR(20), SHAPE DB2GSE.ST_LineString)"), "");
  struct Case { const char* name; std::vector<std::string> cols; const char* args; const char* state; };
  const Case cases[] = {
      {"two columns", {"SHAPE", "ID"}, "1,0,0", "42601"},
      {"not a spatial column", {"NAME"}, "1,0,0", "42601"},
      {"missing column", {"NOPE"}, "1,0,0", "42S22"},
      {"two grid sizes", {"SHAPE"}, "1,0", "42601"},
      {"first grid size 0", {"SHAPE"}, "0,0,0", "42601"},
      {"negative grid size", {"SHAPE"}, "1,-2,0", "42601"},
      {"not numbers", {"SHAPE"}, "a,b,c", "42601"},
      {"trailing text", {"SHAPE"}, "1,0,0 x", "42601"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> stmts;
    dl::DlDiag d;
    EXPECT_EQ(dl::dl_spatial_create_index_sql(t.db, "ZUL", "R_IX1", "ZUL", "ROADS", c.cols, c.args, &stmts, &d), -1)
        << c.name;
    EXPECT_EQ(d.sqlstate, c.state) << c.name << ": " << d.text;
    EXPECT_TRUE(stmts.empty()) << c.name;
  }
  ASSERT_EQ(t.spatial_index("R_IX1", "ROADS", "SHAPE", "1.000000e+00,3.000000e+00,0.000000e+00"), "");
  const std::string rt = dl::dl_spatial_index_table("ZUL", "R_IX1");
  EXPECT_EQ(rt.find('.'), std::string::npos) << "an engine table";
  EXPECT_EQ(t.count("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE '" + rt + "%'"), 4 + 3);

  std::vector<std::string> drop;
  dl::dl_spatial_drop_index_sql("ZUL", "R_IX1", &drop);
  ASSERT_EQ(t.run_all(drop), "");
  EXPECT_EQ(t.count("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE '" + rt + "%'"), 0);

  // Dropping the table removes the trees of its indexes.
  ASSERT_EQ(t.spatial_index("R_IX2", "ROADS", "SHAPE"), "");
  std::vector<std::string> drop_table;
  dl::dl_spatial_drop_table_sql(t.db, "ZUL", "ROADS", &drop_table);
  ASSERT_EQ(t.run_all(drop_table), "");
  EXPECT_EQ(t.count("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'DL_SPIX%'"), 0);
  // Index names are kept apart by their encoding.
  EXPECT_NE(dl::dl_spatial_index_table("A_B", "C"), dl::dl_spatial_index_table("A", "B_C"));
  EXPECT_NE(dl::dl_spatial_index_table("A.B", "C"), dl::dl_spatial_index_table("A", "B.C"));
}

// ============================================================================
// the registration procedures, through the CLI
// ============================================================================

class SpatialProcedures : public ::testing::Test {
 protected:
  dltest::DataDir dir;
  std::unique_ptr<dltest::Conn> conn;
  dl::DlCallHandler previous_handler_ = nullptr;

  void SetUp() override {
    ASSERT_EQ(dltest::create_database("GSEDB"), "");
    std::string path = dir.path() + "/GSEDB.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    dl::DlDiag d;
    EXPECT_EQ(dl::dl_catalog_enable_spatial(db, &d), 0) << d.text;
    sqlite3_close(db);
    previous_handler_ = dl::dl_set_call_handler(dl::dl_spatial_call_handler);
    conn.reset(new dltest::Conn("GSEDB"));
    ASSERT_EQ(conn->rc, SQL_SUCCESS) << dltest::diag(SQL_HANDLE_DBC, conn->dbc);
    std::string why;
    ASSERT_EQ(dltest::exec(conn->dbc,
                           "CREATE TABLE ZUL.ROADS (ID INTEGER NOT NULL, NAME VARCHAR(20), SHAPE DB2GSE.ST_LineString,"
                           " ANY_SHAPE DB2GSE.ST_Geometry, COLL DB2GSE.ST_GeometryCollection)",
                           &why),
              SQL_SUCCESS)
        << why;
    ASSERT_EQ(dltest::exec(conn->dbc,
                           "insert into DB2GSE.gse_coord_ref (scid, sc_name, auth_name, auth_srid, desc, srtext)"
                           " values ( 1, 'CREF_1', NULL,NULL,NULL,'UNKNOWN')",
                           &why),
              SQL_SUCCESS)
        << why;
    ASSERT_EQ(dltest::commit(conn->dbc), SQL_SUCCESS);
  }
  void TearDown() override {
    conn.reset();
    dl::dl_set_call_handler(previous_handler_);
  }

  // One CALL with its inputs (nullptr for NULL; numbers as text) and the
  // two OUTPUT parameters; returns the message code (-9999 when the CALL
  // itself failed, its diagnostic in *why).
  int call(const std::string& proc, const std::vector<const char*>& in, std::string* text = nullptr,
           std::string* why = nullptr) {
    std::string sql = "call db2gse!" + proc + " (";
    for (size_t i = 0; i < in.size() + 2; ++i) sql += i ? ",?" : "?";
    sql += ")";
    SQLHSTMT h = conn->stmt();
    std::vector<SQLLEN> ind(in.size() + 2);
    for (size_t i = 0; i < in.size(); ++i) {
      ind[i] = in[i] ? SQL_NTS : SQL_NULL_DATA;
      SQLBindParameter(h, (SQLUSMALLINT)(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 128, 0,
                       (SQLPOINTER)(in[i] ? in[i] : ""), 0, &ind[i]);
    }
    SQLINTEGER code = 12345;
    char msg[1025] = {0};
    ind[in.size()] = 0;
    ind[in.size() + 1] = 0;
    SQLBindParameter(h, (SQLUSMALLINT)(in.size() + 1), SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &code, 0,
                     &ind[in.size()]);
    SQLBindParameter(h, (SQLUSMALLINT)(in.size() + 2), SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 1024, 0, msg,
                     sizeof msg, &ind[in.size() + 1]);
    SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (why) *why = dltest::sdiag(h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    if (text) *text = msg;
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO ? (int)code : -9999;
  }

  int enable(const char* srid, const char* xyunits = "1000", const char* scid = "1") {
    return call("gse_enable_sref", {srid, "SREF", "0", "0", xyunits, "0", "1", "0", "1", scid});
  }
  int reg(const char* col, const char* type, const char* srid, const char* table = "ROADS",
          const char* schema = "ZUL") {
    std::vector<const char*> in = {schema, table, col, type, srid, schema, table, col, "0"};
    for (int i = 0; i < 10; ++i) in.push_back(nullptr);
    return call("gse_register_layer", in);
  }
  long long rows(const char* table) {
    return dltest::scalar(conn->dbc, std::string("SELECT COUNT(*) FROM DB2GSE.") + table);
  }
};

TEST_F(SpatialProcedures, EveryMessageCodeTheCallersMapIsProvoked) {
  struct Step { const char* name; std::function<int()> run; int code; };
  const Step steps[] = {
      {"enable a new srid", [&] { return enable("1"); }, 0},
      {"enable it again", [&] { return enable("1"); }, -9},
      {"enable with an unknown coordinate system", [&] { return enable("2", "1000", "77"); }, -10},
      {"enable with x/y units 0", [&] { return enable("2", "0"); }, -12},
      {"enable an identical twin", [&] { return enable("2"); }, 1},
      {"enable without an srid", [&] { return enable(nullptr); }, -1},
      {"register a line column", [&] { return reg("SHAPE", "ST_LINESTRING", "1"); }, 0},
      {"register it again", [&] { return reg("SHAPE", "ST_LINESTRING", "1"); }, -6},
      {"register a missing column", [&] { return reg("NOPE", "ST_GEOMETRY", "1"); }, -8},
      {"register a plain column", [&] { return reg("NAME", "ST_GEOMETRY", "1"); }, -8},
      {"register an incompatible type", [&] { return reg("COLL", "ST_POLYGON", "1"); }, -8},
      {"register a missing table", [&] { return reg("SHAPE", "ST_GEOMETRY", "1", "NOTHERE"); }, -8},
      {"register with a missing srid", [&] { return reg("ANY_SHAPE", "ST_POINT", "42"); }, -2},
      {"register narrower than the column", [&] { return reg("ANY_SHAPE", "ST_POINT", "2"); }, 1},
      {"register the other collection spelling", [&] { return reg("COLL", "ST_GEOMCOLLECTION", "2"); }, 0},
      {"disable an srid in use", [&] { return call("gse_disable_sref", {"1"}); }, -11},
      {"disable a missing srid", [&] { return call("gse_disable_sref", {"99"}); }, -7},
      {"unregister", [&] { return call("gse_unregist_layer", {"ZUL", "ROADS", "SHAPE"}); }, 0},
      {"unregister again", [&] { return call("gse_unregist_layer", {"ZUL", "ROADS", "SHAPE"}); }, -3},
      {"unregister without a column", [&] { return call("gse_unregist_layer", {"ZUL", "ROADS", nullptr}); }, -1},
      {"disable the now unused srid", [&] { return call("gse_disable_sref", {"1"}); }, 0},
  };
  for (const Step& s : steps) EXPECT_EQ(s.run(), s.code) << s.name;
  EXPECT_EQ(rows("GSE_SPATIAL_REF"), 1);  // srid 2
  EXPECT_EQ(rows("GSE_LAYER"), 2);        // ANY_SHAPE and COLL
  EXPECT_EQ(dltest::scalar(conn->dbc, "SELECT COUNT(*) FROM DB2GSE.GSE_LAYER WHERE TYPE_NAME = 'ST_GEOMCOLLECTION'"), 1);
  std::string text;
  EXPECT_EQ(call("gse_disable_sref", {"2"}, &text), -11);
  EXPECT_NE(text.find("srid 2"), std::string::npos) << text;
  // A registration conflict reported on the CALL itself (23512), which
  // SQLite cannot raise, through the fault hook.
  const std::vector<const char*> again = {"ZUL",   "ROADS",  "SHAPE",  "ST_LINESTRING", "2",     "ZUL",   "ROADS",
                                          "SHAPE", "0",      nullptr,  nullptr,         nullptr, nullptr, nullptr,
                                          nullptr, nullptr,  nullptr,  nullptr,         nullptr};
  std::string why;
  dl::dl_fault_fail_statement(1, "23512", -544, "gse_register_layer");
  EXPECT_EQ(call("gse_register_layer", again, nullptr, &why), -9999);
  EXPECT_EQ(why.substr(0, 5), "23512") << why;
  dl::dl_fault_clear();
  EXPECT_EQ(call("gse_register_layer", again, nullptr, &why), 0) << "nothing was registered by the failed call";
}

TEST_F(SpatialProcedures, AFailedProcedureChangesNothingAndWrongCallsAreRefused) {
  ASSERT_EQ(enable("1"), 0);
  ASSERT_EQ(reg("SHAPE", "ST_LINESTRING", "1"), 0);
  ASSERT_EQ(dltest::commit(conn->dbc), SQL_SUCCESS);
  // A registration still referenced by the system's layers table cannot go.
  std::string why;
  ASSERT_EQ(dltest::exec(conn->dbc,
                         "CREATE TABLE ZUL.LAYERS (OWNER VARCHAR(32) NOT NULL, TABLE_NAME VARCHAR(128) NOT NULL,"
                         " SPATIAL_COLUMN VARCHAR(128) NOT NULL, CONSTRAINT LAYERS_FK FOREIGN KEY (OWNER, TABLE_NAME,"
                         " SPATIAL_COLUMN) REFERENCES DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN))",
                         &why),
            SQL_SUCCESS)
      << why;
  ASSERT_EQ(dltest::exec(conn->dbc, "INSERT INTO ZUL.LAYERS VALUES ('ZUL', 'ROADS', 'SHAPE')", &why), SQL_SUCCESS)
      << why;
  EXPECT_EQ(call("gse_unregist_layer", {"ZUL", "ROADS", "SHAPE"}), -4);
  EXPECT_EQ(rows("GSE_LAYER"), 1);
  EXPECT_EQ(dltest::scalar(conn->dbc, "SELECT COUNT(*) FROM ZUL.LAYERS"), 1) << "the caller's work stands";

  struct Bad { const char* name; std::string sql; };
  const Bad bad[] = {
      {"too few arguments", "call db2gse!gse_disable_sref (1)"},
      {"unknown procedure", "call db2gse!gse_drop_everything (1, 2, 3)"},
  };
  for (const Bad& b : bad) {
    SQLHSTMT h = conn->stmt();
    EXPECT_EQ(SQLExecDirect(h, (SQLCHAR*)b.sql.c_str(), SQL_NTS), SQL_ERROR) << b.name;
    EXPECT_EQ(dltest::state_of(SQL_HANDLE_STMT, h), "42884") << b.name;
    EXPECT_EQ(dltest::native_of(SQL_HANDLE_STMT, h), -440) << b.name;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
  // A name longer than any identifier is refused by the procedure, not used.
  std::string long_name(4000, 'X');
  EXPECT_EQ(call("gse_unregist_layer", {"ZUL", long_name.c_str(), "SHAPE"}), -1);
}

TEST_F(SpatialProcedures, AnOrdinaryUserRunsThemWithoutCataloguePrivileges) {
  conn.reset(new dltest::Conn("GSEDB", "ALICE", "alicepw"));
  ASSERT_EQ(conn->rc, SQL_SUCCESS) << dltest::diag(SQL_HANDLE_DBC, conn->dbc);
  std::string why;
  ASSERT_EQ(dltest::exec(conn->dbc, "CREATE TABLE PARKS (ID INTEGER, SHAPE DB2GSE.ST_Polygon)", &why), SQL_SUCCESS)
      << why;
  EXPECT_EQ(dltest::exec(conn->dbc, "DELETE FROM DB2GSE.GSE_LAYER", &why), SQL_ERROR) << "no privilege of her own";
  EXPECT_EQ(enable("5"), 0);
  EXPECT_EQ(reg("SHAPE", "ST_POLYGON", "5", "PARKS", "ALICE"), 0);
  ASSERT_EQ(dltest::commit(conn->dbc), SQL_SUCCESS);
  EXPECT_EQ(rows("GSE_LAYER"), 1);
  EXPECT_EQ(dltest::exec(conn->dbc, "DELETE FROM DB2GSE.GSE_LAYER", &why), SQL_ERROR)
      << "the procedures' rights end with the call";
}

TEST_F(SpatialProcedures, SqlcaCarriesTheLastDiagnostic) {
  SQLHSTMT h = conn->stmt();
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"SELECT * FROM ZUL.NOTHERE", SQL_NTS), SQL_ERROR);
  struct sqlca ca;
  memset(&ca, 0x5A, sizeof ca);
  ASSERT_EQ(SQLGetSQLCA(SQL_NULL_HENV, SQL_NULL_HDBC, h, &ca), SQL_SUCCESS);
  EXPECT_EQ(std::string(ca.sqlcaid, 8), "SQLCA   ");
  EXPECT_EQ(ca.sqlcabc, 136);
  EXPECT_EQ(ca.sqlcode, dltest::native_of(SQL_HANDLE_STMT, h));
  EXPECT_EQ(std::string(ca.sqlstate, 5), dltest::state_of(SQL_HANDLE_STMT, h));
  EXPECT_GT(ca.sqlerrml, 0);
  EXPECT_LE(ca.sqlerrml, 70);
  EXPECT_EQ(SQLGetSQLCA(SQL_NULL_HENV, SQL_NULL_HDBC, h, nullptr), SQL_ERROR);
  ASSERT_EQ(SQLExecDirect(h, (SQLCHAR*)"VALUES 1", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLGetSQLCA(SQL_NULL_HENV, SQL_NULL_HDBC, h, &ca), SQL_SUCCESS);
  EXPECT_EQ(ca.sqlcode, 0);
  EXPECT_EQ(std::string(ca.sqlstate, 5), "00000");
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQLGetSQLCA(SQL_NULL_HENV, SQL_NULL_HDBC, SQL_NULL_HSTMT, &ca), SQL_INVALID_HANDLE);
}

}  // namespace
