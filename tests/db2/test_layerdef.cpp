// test_layerdef.cpp -- what a layer adds to its user table and its checks:
// spatial index, trigger and load modes; privileges by mask; statistics of
// the layer's shapes; a new layer checked against the shapes its column
// holds; the spatial and row-id columns of a table proposed for a layer.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>

#include "db_test_support.h"
#include "geomkit.h"
#include "zul_db_install.h"
#include "zul_db_layer.h"
#include "zul_db_layerdef.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using dbtest::Database;
using dbtest::Watcher;

namespace {

uint32_t stamp_of(void*, int32_t) { return 1; }

// Registrations the server program would know: "OWNER.TABLE" -> row-id column.
std::map<std::string, std::string>& registered() {
  static std::map<std::string, std::string> m;
  return m;
}

int32_t registration_of(void*, const char* owner_table, REGISTRATION* out) {
  auto it = registered().find(owner_table);
  if (it == registered().end()) return SE_TABLE_NOREGISTERED;
  memset(out, 0, sizeof *out);
  snprintf(out->rowid_column, sizeof out->rowid_column, "%s", it->second.c_str());
  out->flags = SE_REG_HAS_ROWID;
  return 0;
}

void put_varlong(std::string* out, int32_t value) {
  uint32_t a = value < 0 ? (uint32_t)(-(int64_t)value) : (uint32_t)value;
  unsigned char b = (unsigned char)(a & 0x3F);
  if (value < 0) b |= 0x40;
  a >>= 6;
  while (a) {
    out->push_back((char)(b | 0x80));
    b = (unsigned char)(a & 0x7F);
    a >>= 7;
  }
  out->push_back((char)b);
}

// A packed shape value of the entity type with the given envelope, area
// and length (each written only where the entity type carries it).
std::string packed(int32_t entity, int32_t npts, const double env[4], double area, double length) {
  std::string s;
  put_varlong(&s, npts);
  put_varlong(&s, entity);
  s.resize(8, '\0');
  put_varlong(&s, 20);
  s.resize(8 + 28, '\x2A');
  s += "001";  // no Z, no M, number format 1
  unsigned char num[8];
  int32_t srid = 7;
  SgPutInteger(num, '1', 1, &srid);
  s.append((char*)num, 4);
  for (int i = 0; i < 4; ++i) {
    SgPutDouble(num, '1', 1, &env[i]);
    s.append((char*)num, 8);
  }
  if (entity & 8) {
    SgPutDouble(num, '1', 1, &area);
    s.append((char*)num, 8);
  }
  if (entity & (8 | 2 | 4)) {
    SgPutDouble(num, '1', 1, &length);
    s.append((char*)num, 8);
  }
  return s;
}

class LayerDefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "adduser ZUL CAROL carolpw"), "");
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
      ASSERT_EQ(DB_instance_system_tables_create(zul.in, storage.get()), 0);
      ASSERT_EQ(DB_instance_dbtune_table_create(zul.in, nullptr, storage.get()), 0);
      ASSERT_EQ(DB_instance_stored_procedures_create(zul.in), 0);
    }
    w.reset(new Watcher());
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, 'UNKNOWN')"), SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                      "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (7, 1, -5, -6, 1000, 0, 1, 0, 1)"),
              SQL_SUCCESS);
    registered().clear();
    registered()["BOB.PARCELS"] = "ID";
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.layer_stamp = stamp_of;
    p.registration_by_name = registration_of;
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);
    ddl("CREATE TABLE BOB.PARCELS (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_Geometry)");
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                      "VALUES ('BOB', 'PARCELS', 'SHAPE', 7)"),
              SQL_SUCCESS);
    {
      dbtest::Instance zul("ZUL", dbtest::kAdminPw);
      const char* row =
          "INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, "
          "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
          "base_layer_id, gsize1, gsize2, gsize3) VALUES (3, 'd', 'ZUL', 'BOB', 'PARCELS', "
          "'SHAPE', 16, 0, 0, 0, 10, 10, 1000, 7, 0, 1000, 0, 0)";
      ASSERT_EQ(db_execute_ddlsql(zul.in, row, 1, DB_MODE_DDL_COMMIT), 0) << zul.in->xerr.msg;
    }
    memset(&layer, 0, sizeof layer);
    layer.id = 3;
    strcpy(layer.database, "ZUL");
    strcpy(layer.owner, "BOB");
    strcpy(layer.table, "PARCELS");
    strcpy(layer.spatial_column, "SHAPE");
    layer.entity_flags = SE_LAYER_AREA;
    layer.grid_size[0] = 1000;
  }
  void TearDown() override {
    DB_instance_close(in);
    unsetenv("ZULHOME");
  }
  void ddl(const std::string& sql) {
    ASSERT_EQ(db_execute_ddlsql(in, sql.c_str(), 1, DB_MODE_DDL_COMMIT), 0) << sql;
  }
  // Inserts a row whose shape is the packed value (or NULL when empty).
  void insert(const std::string& table, int32_t id, const std::string& shape, int32_t npts = 0,
              const double* env = nullptr) {
    std::string sql = "INSERT INTO " + table + " (ID, SHAPE) VALUES (?, ";
    if (shape.empty()) {
      sql += "NULL)";
    } else {
      char tail[400];
      snprintf(tail, sizeof tail,
               "DB2GSE.GeometryFromZul(CAST(? AS BLOB(1M)), CAST(NULL AS VARCHAR(255)))"
               "..srid(7)..numpoints(%d)..xmin(CAST(%g AS FLOAT))..ymin(CAST(%g AS FLOAT))"
               "..xmax(CAST(%g AS FLOAT))..ymax(CAST(%g AS FLOAT)))",
               (int)npts, env[0], env[1], env[2], env[3]);
      sql += tail;
    }
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &h), SQL_SUCCESS);
    SQLINTEGER row = id;
    SQLLEN ind = 0, blob_ind = (SQLLEN)shape.size();
    SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &row, 0, &ind);
    if (!shape.empty())
      SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_BLOB, shape.size(), 0,
                       (SQLPOINTER)shape.data(), (SQLLEN)shape.size(), &blob_ind);
    SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    SQLCHAR state[6] = "", text[300] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (rc != SQL_SUCCESS) SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, state, &native, text, sizeof text, &len);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    SQLEndTran(SQL_HANDLE_DBC, in->hdbc, SQL_COMMIT);
    ASSERT_EQ(rc, SQL_SUCCESS) << sql << " " << state << " " << text;
  }
  long long scalar(const std::string& sql) { return w->scalar(sql); }
  long long indexes(const char* name) {
    return scalar(std::string("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = '") + name + "'");
  }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
  LAYER layer;
};

TEST_F(LayerDefTest, SpatialIndexTriggerAndLoadModes) {
  ASSERT_EQ(DB_layer_enable_attr_indices(in, &layer), 0);
  EXPECT_EQ(indexes("A3_IX1"), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DB_layer_enable_attr_indices(in, &layer), SE_INDEX_EXISTS);
  EXPECT_NE(strstr(in->xerr.msg, "A3_IX1"), nullptr) << in->xerr.msg;
  // Dropping what is not there, and the trigger that is never made, succeed.
  EXPECT_EQ(DB_layer_drop_user_trigger(in, 3), 0);
  EXPECT_EQ(DB_layer_set_load_only_mode(in, &layer, nullptr), 0);
  EXPECT_EQ(indexes("A3_IX1"), 0);
  EXPECT_EQ(DB_layer_set_load_only_mode(in, &layer, nullptr), 0);
  EXPECT_EQ(DB_layer_disable_attr_indices(in, 3), 0);
  EXPECT_EQ(DB_layer_set_normal_io_mode(in, &layer, nullptr), 0);
  EXPECT_EQ(indexes("A3_IX1"), 1);

  // A keyword without rows of its own fails before any SQL runs.
  LAYER keyed = layer;
  keyed.id = 4;
  strcpy(keyed.config_keyword, "NO_SUCH_KEYWORD");
  EXPECT_EQ(DB_layer_enable_attr_indices(in, &keyed), SE_LAYER_NO_DBTUNE_ROWS);
  EXPECT_EQ(indexes("A4_IX1"), 0);

  // Entry points that do nothing or are not supported here.
  EXPECT_EQ(DB_layer_create_views(in, 3, 0, 0, 0), 0);
  EXPECT_EQ(DB_layer_add_anno_column(), 0);
  EXPECT_EQ(DB_layer_delete_anno_column(), SE_LAYER_ANNO_UNSUPPORTED);
  EXPECT_EQ(DB_layer_delete_feat_by_entity(), SE_LAYER_UNSUPPORTED);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Dummy function DB_layer_delete_feat_by_entity() called!"), std::string::npos);

  // Teardown removes the index, keeps the table and its rows.
  insert("BOB.PARCELS", 1, "");
  EXPECT_EQ(DB_layer_drop_tables(in, 3), 0);
  EXPECT_EQ(indexes("A3_IX1"), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM BOB.PARCELS"), 1);
}

TEST_F(LayerDefTest, TruncateEmptiesTheSpatialColumn) {
  const double env[4] = {0, 0, 1, 1};
  insert("BOB.PARCELS", 1, packed(8, 5, env, 1, 4), 5, env);
  insert("BOB.PARCELS", 2, packed(8, 5, env, 1, 4), 5, env);
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  ASSERT_EQ(DB_layer_truncate(in, 3, &reg), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM BOB.PARCELS WHERE SHAPE IS NULL"), 2);
}

TEST_F(LayerDefTest, PrivilegesByMask) {
  auto auth = [&](const char* grantee) {
    std::string r;
    for (const char* col : {"SELECTAUTH", "UPDATEAUTH", "INSERTAUTH", "DELETEAUTH"}) {
      long long n = scalar(std::string("SELECT COUNT(*) FROM SYSCAT.TABAUTH WHERE GRANTEE = '") + grantee +
                           "' AND TABNAME = 'PARCELS' AND " + col + " <> 'N'");
      r += n > 0 ? "Y" : "N";
    }
    return r;
  };
  struct Case { const char* name; bool grant; int32_t mask; const char* grantee; const char* who; const char* want; };
  const Case cases[] = {
      {"update carries select", true, SE_UPDATE_PRIVILEGE, "CAROL", "CAROL", "YYNN"},
      {"revoking update leaves select", false, SE_UPDATE_PRIVILEGE, "CAROL", "CAROL", "YNNN"},
      {"delete alone", true, SE_DELETE_PRIVILEGE, "CAROL", "CAROL", "YNNY"},
      {"revoke all", false, 0x1E, "CAROL", "CAROL", "NNNN"},
      {"public in lower case", true, SE_INSERT_PRIVILEGE, "public", "PUBLIC", "YNYN"},
  };
  for (const Case& c : cases) {
    int32_t s = c.grant ? DB_layer_grant_access(in, &layer, c.mask, 0, c.grantee)
                        : DB_layer_revoke_access(in, &layer, c.mask, c.grantee);
    EXPECT_EQ(s, 0) << c.name << " " << in->xerr.msg;
    EXPECT_EQ(auth(c.who), c.want) << c.name;
  }
  // A grantee that is no identifier never reaches the SQL text.
  EXPECT_NE(DB_layer_grant_access(in, &layer, SE_SELECT_PRIVILEGE, 0, "CAROL; DROP"), 0);

  // The administrative read access: granted, and a missing table is reported.
  EXPECT_EQ(DB_layer_grant_zul_privileges(in, &layer, 1), 0);
  EXPECT_EQ(auth("ZUL").substr(0, 1), "Y");
  EXPECT_EQ(DB_layer_grant_zul_privileges(in, &layer, 0), 0);
  LAYER gone = layer;
  strcpy(gone.table, "GONE");
  EXPECT_EQ(DB_layer_grant_zul_privileges(in, &gone, 1), SE_TABLE_NOEXIST);

  // A user without the right to grant: the administrative grant still
  // succeeds, an owner's grant is refused.
  dbtest::Instance carol("CAROL", "carolpw");
  ASSERT_EQ(carol.status, 0);
  EXPECT_EQ(DB_layer_grant_zul_privileges(carol.in, &layer, 1), 0);
  EXPECT_EQ(DB_layer_grant_access(carol.in, &layer, SE_SELECT_PRIVILEGE, 0, "PUBLIC"), SE_LAYER_GRANT_REFUSED);
  EXPECT_EQ(DB_layer_revoke_access(carol.in, &layer, SE_DELETE_PRIVILEGE, "PUBLIC"), SE_LAYER_GRANT_REFUSED);
}

TEST_F(LayerDefTest, StatisticsOfTheLayersShapes) {
  LAYER_STATS st;
  // No rows, then only NULL shapes: a zeroed record, no division.
  insert("BOB.PARCELS", 9, "");
  ASSERT_EQ(DB_layer_get_stats(in, 3, &st), 0);
  EXPECT_EQ(st.total, 0);
  EXPECT_EQ(st.min_fid, 0);
  EXPECT_EQ(st.min_points, 0);
  EXPECT_DOUBLE_EQ(st.min_area, 0);
  EXPECT_DOUBLE_EQ(st.envelope.minx, 0);
  EXPECT_DOUBLE_EQ(st.avg_points, 0);
  int32_t max_fid = -1;
  EXPECT_EQ(DB_layer_get_max_fid(in, 3, &max_fid), 0);
  EXPECT_EQ(max_fid, 9);

  struct Row { int32_t id, entity, npts; double env[4], area, length; };
  const Row rows[] = {
      {2, 8, 5, {0, 0, 2, 2}, 4, 8},        // area
      {5, 264, 10, {5, 5, 6, 7}, 2, 6},     // multi area
      {7, 2, 3, {-1, 1, 3, 1}, 0, 4},       // line: no area
      {11, 1, 1, {4, -3, 4, -3}, 0, 0},     // point: no area, no length
      {13, 999, 2, {50, 50, 60, 60}, 0, 0}, // unknown entity: total and ids only
  };
  for (const Row& r : rows) insert("BOB.PARCELS", r.id, packed(r.entity, r.npts, r.env, r.area, r.length), r.npts, r.env);
  ASSERT_EQ(DB_layer_get_stats(in, 3, &st), 0) << in->xerr.msg;
  EXPECT_EQ(st.layer_id, 3);
  EXPECT_EQ(st.total, 5);
  EXPECT_EQ(st.counts[7], 1);  // area
  EXPECT_EQ(st.counts[8], 1);  // multi area
  EXPECT_EQ(st.counts[3], 1);  // line
  EXPECT_EQ(st.counts[1], 1);  // point
  EXPECT_EQ(st.min_fid, 2);
  EXPECT_EQ(st.max_fid, 13);
  EXPECT_EQ(st.min_points, 1);
  EXPECT_EQ(st.max_points, 10);
  EXPECT_DOUBLE_EQ(st.envelope.minx, -1);
  EXPECT_DOUBLE_EQ(st.envelope.miny, -3);
  EXPECT_DOUBLE_EQ(st.envelope.maxx, 6);
  EXPECT_DOUBLE_EQ(st.envelope.maxy, 7);
  EXPECT_DOUBLE_EQ(st.min_area, 2);
  EXPECT_DOUBLE_EQ(st.max_area, 4);
  EXPECT_DOUBLE_EQ(st.min_length, 4);
  EXPECT_DOUBLE_EQ(st.max_length, 8);
  // Averages divide by every feature.
  EXPECT_DOUBLE_EQ(st.avg_points, 19.0 / 5);
  EXPECT_DOUBLE_EQ(st.avg_area, 6.0 / 5);
  EXPECT_DOUBLE_EQ(st.avg_length, 18.0 / 5);

  // A construct's where clause narrows the rows.
  char* tables[] = {const_cast<char*>("PARCELS")};
  SQL_CONSTRUCT sc{1, tables, const_cast<char*>("where ID < 6")};
  ASSERT_EQ(DB_layer_get_stats_by_logfile(in, 3, &sc, nullptr, nullptr, &st), 0) << in->xerr.msg;
  EXPECT_EQ(st.total, 2);
  EXPECT_EQ(DB_layer_get_max_fid(in, 3, &max_fid), 0);
  EXPECT_EQ(max_fid, 13);

  // No row-id column, no layer.
  registered()["BOB.PARCELS"] = "";
  EXPECT_EQ(DB_layer_get_max_fid(in, 3, &max_fid), SE_LAYER_NO_ROWID);
  EXPECT_EQ(DB_layer_get_stats(in, 99, &st), SE_LAYER_NOEXIST);
}


// A coordinate reference with its own text buffer.
struct Ref {
  COORDREF cr;
  char text[SE_LAYER_SRTEXT_LEN];
  Ref(double fx, double fy, double units, const char* srtext) {
    memset(&cr, 0, sizeof cr);
    memset(text, 0, sizeof text);
    cr.falsex = fx;
    cr.falsey = fy;
    cr.xyunits = units;
    cr.zunits = cr.munits = 1;
    snprintf(text, sizeof text, "%s", srtext);
    cr.srtext = text;
  }
};

TEST_F(LayerDefTest, NewLayerTakesExtentAndReferenceFromItsShapes) {
  Ref ref(0, 0, 1, "");
  layer.coordref = &ref.cr;
  layer.envelope = SE_ENVELOPE{1, 2, 3, 4};
  // Grid sizes that are not explicit levels.
  layer.grid_size[0] = 0;
  EXPECT_EQ(DB_layer_verify(in, &layer), SE_LAYER_BAD_GRID_KIND);
  layer.grid_size[0] = 1000;
  // An altered layer without the grid flag passes once the sizes are read.
  LAYER altered = layer;
  altered.grid_size[0] = 0;
  altered.entity_flags &= ~SE_LAYER_CHECK_GRIDS;
  EXPECT_EQ(DB_layer_verify_spatial_index_parameters(&altered), 0);
  altered.entity_flags |= SE_LAYER_CHECK_GRIDS;
  EXPECT_EQ(DB_layer_verify_spatial_index_parameters(&altered), SE_LAYER_BAD_GRID_KIND);

  // No shapes yet: extent and reference stay as given.
  ASSERT_EQ(DB_layer_verify(in, &layer), 0);
  EXPECT_NE(layer.entity_flags & SE_LAYER_CHECK_GRIDS, 0);
  EXPECT_DOUBLE_EQ(layer.envelope.maxy, 4);
  EXPECT_DOUBLE_EQ(ref.cr.xyunits, 1);

  const double a[4] = {10, 20, 30, 40}, b[4] = {-5, 25, 12, 60};
  insert("BOB.PARCELS", 1, packed(8, 5, a, 400, 80), 5, a);
  insert("BOB.PARCELS", 2, packed(8, 5, b, 100, 40), 5, b);
  ASSERT_EQ(DB_layer_verify(in, &layer), 0) << in->xerr.msg;
  EXPECT_DOUBLE_EQ(layer.envelope.minx, -5);
  EXPECT_DOUBLE_EQ(layer.envelope.miny, 20);
  EXPECT_DOUBLE_EQ(layer.envelope.maxx, 30);
  EXPECT_DOUBLE_EQ(layer.envelope.maxy, 60);
  EXPECT_DOUBLE_EQ(ref.cr.falsex, -5);
  EXPECT_DOUBLE_EQ(ref.cr.falsey, -6);
  EXPECT_DOUBLE_EQ(ref.cr.xyunits, 1000);
  EXPECT_STREQ(ref.cr.srtext, "UNKNOWN");
  EXPECT_EQ(ref.cr.srtext, ref.text);  // filled in place
}

TEST_F(LayerDefTest, ColumnTypeAgainstTheLayersShapeKinds) {
  struct Case { const char* type; int32_t flags; int32_t want; };
  const Case cases[] = {
      {"ST_Point", SE_LAYER_POINT, 0},
      {"ST_Point", SE_LAYER_AREA, SE_LAYER_SHAPE_MISMATCH},
      {"ST_MultiPoint", SE_LAYER_POINT, SE_LAYER_SHAPE_MISMATCH},
      {"ST_MultiPoint", SE_LAYER_POINT | SE_LAYER_MULTI, 0},
      {"ST_LineString", SE_LAYER_SIMPLE_LINE, 0},
      {"ST_MultiPolygon", SE_LAYER_AREA | SE_LAYER_MULTI, 0},
      {"ST_Polygon", SE_LAYER_AREA | SE_LAYER_MULTI, SE_LAYER_SHAPE_MISMATCH},
      {"ST_Geometry", SE_LAYER_POINT | SE_LAYER_MULTI, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string table = "T" + std::to_string(n++);
    ddl("CREATE TABLE BOB." + table + " (G DB2GSE." + c.type + ")");
    LAYER l = layer;
    snprintf(l.table, sizeof l.table, "%s", table.c_str());
    strcpy(l.spatial_column, "G");
    l.entity_flags = c.flags;
    EXPECT_EQ(db_layer_check_column_type(in, &l), c.want) << c.type << " " << c.flags;
  }
  // The column type a layer's flags ask for.
  struct Kind { int32_t flags; const char* name; };
  const Kind kinds[] = {
      {SE_LAYER_POINT | SE_LAYER_AREA, "ST_Geometry"}, {0, "ST_Geometry"},
      {SE_LAYER_POINT, "ST_Point"},  {SE_LAYER_LINE | SE_LAYER_SIMPLE_LINE, "ST_LineString"},
      {SE_LAYER_AREA | SE_LAYER_MULTI, "ST_MultiPolygon"},
  };
  for (const Kind& k : kinds) {
    int32_t code = -1;
    db_layer_geometry_type_from_flags(k.flags, &code);
    EXPECT_STREQ(db_layer_geometry_type_name(code), k.name) << k.flags;
  }
}

TEST_F(LayerDefTest, TableProposedForANewLayer) {
  auto column_type = [&](const char* table, const char* column) {
    long long n = scalar(std::string("SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TABSCHEMA = 'BOB' AND TABNAME = '") +
                         table + "' AND COLNAME = '" + column + "'");
    return n;
  };
  struct Case {
    const char* name; const char* ddl; const char* table; int32_t flags; int32_t want;
    const char* rowid;  // the registration's row-id column afterwards ("" none)
    long long objectid; // 1 when OBJECTID exists afterwards
  };
  const Case cases[] = {
      {"nullable spatial column kept", "CREATE TABLE BOB.KEEP (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_Polygon)",
       "KEEP", SE_LAYER_AREA, 0, "", 0},
      {"lone integer column re-created", "CREATE TABLE BOB.LONE (SHAPE INTEGER)", "LONE", SE_LAYER_POINT, 0,
       "OBJECTID", 1},
      {"integer column beside others kept", "CREATE TABLE BOB.TWO (SHAPE INTEGER, X INTEGER)", "TWO",
       SE_LAYER_POINT, 0, "", 0},
      {"column added with OBJECTID", "CREATE TABLE BOB.ADDS (ID INTEGER NOT NULL, NAME VARCHAR(10))",
       "ADDS", SE_LAYER_AREA, 0, "OBJECTID", 1},
      {"column and OBJECTID added", "CREATE TABLE BOB.BARE (NAME VARCHAR(10))", "BARE",
       SE_LAYER_POINT | SE_LAYER_AREA, 0, "OBJECTID", 1},
      {"spatial column NOT NULL", "CREATE TABLE BOB.NN (SHAPE DB2GSE.ST_Point NOT NULL)", "NN",
       SE_LAYER_POINT, SE_LAYER_COLUMN_NOT_NULL, "", 0},
      {"column of another type", "CREATE TABLE BOB.TXT (SHAPE VARCHAR(10))", "TXT", SE_LAYER_POINT,
       SE_LAYER_BAD_COLUMN_TYPE, "", 0},
      {"table named like its column", "CREATE TABLE BOB.SHAPE (X INTEGER)", "shape", SE_LAYER_POINT,
       SE_LAYER_TABLE_IS_COLUMN, "", 0},
      {"no such table", nullptr, "NOPE", SE_LAYER_POINT, SE_TABLE_NOEXIST, "", 0},
      {"another user's table", nullptr, "CAROL.X", SE_LAYER_POINT, SE_LAYER_FOREIGN_OWNER, "", 0},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    if (c.ddl != nullptr) ddl(c.ddl);
    LAYER l = layer;
    memset(l.owner, 0, sizeof l.owner);
    memset(l.table, 0, sizeof l.table);
    snprintf(l.table, sizeof l.table, "%s", c.table);
    l.entity_flags = c.flags;
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    ASSERT_EQ(DB_layer_verify_table(in, &l, &reg), c.want) << c.name << " " << in->xerr.msg;
    if (c.want != 0) continue;
    EXPECT_STREQ(reg.rowid_column, c.rowid) << c.name;
    EXPECT_EQ(column_type(l.table, "SHAPE"), 1) << c.name;
    EXPECT_EQ(column_type(l.table, "OBJECTID"), c.objectid) << c.name;
  }
  testing::internal::GetCapturedStderr();
  // The re-created table and the added column have the type the flags ask for.
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TABNAME = 'LONE' AND COLNAME = 'SHAPE' "
                   "AND TYPENAME = 'ST_POINT'"),
            1);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TABNAME = 'BARE' AND COLNAME = 'SHAPE' "
                   "AND TYPENAME = 'ST_GEOMETRY'"),
            1);
  // Altering a table whose column is there: an INTEGER NOT NULL column
  // becomes the row id, no OBJECTID is added; the index follows.
  LAYER l = layer;
  l.id = 8;
  strcpy(l.table, "KEEP");
  REGISTRATION reg;
  memset(&reg, 0, sizeof reg);
  EXPECT_EQ(DB_layer_alter_user_table(in, &l, &reg), 0) << in->xerr.msg;
  EXPECT_STREQ(reg.rowid_column, "ID");
  EXPECT_NE(reg.flags & SE_REG_HAS_ROWID, 0);
  EXPECT_EQ(column_type("KEEP", "OBJECTID"), 0);
  EXPECT_EQ(indexes("A8_IX1"), 1);
  // A load-only layer gets no index.
  l.id = 9;
  strcpy(l.table, "BARE");
  l.entity_flags |= SE_LAYER_LOAD_ONLY;
  EXPECT_EQ(DB_layer_alter_user_table(in, &l, &reg), 0) << in->xerr.msg;
  EXPECT_EQ(indexes("A9_IX1"), 0);
}

TEST_F(LayerDefTest, LayerRowsThroughTheProcedures) {
  ddl("CREATE TABLE BOB.ROADS (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_LineString)");
  ddl("CREATE TABLE BOB.RIVERS (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_LineString)");
  Ref same(-5, -6, 1000, "UNKNOWN"), other(0, 0, 10, "LOCAL ONE");
  auto make = [&](int32_t id, const char* table, COORDREF* cr) {
    LAYER l = layer;
    l.id = id;
    snprintf(l.table, sizeof l.table, "%s", table);
    l.entity_flags = SE_LAYER_SIMPLE_LINE;
    l.coordref = cr;
    return l;
  };
  LAYER roads = make(5, "ROADS", &same.cr), rivers = make(6, "RIVERS", &other.cr);
  ASSERT_EQ(DB_sp_layers_def_insert(in, &roads), 0) << in->xerr.msg;
  ASSERT_EQ(DB_sp_layers_def_insert(in, &rivers), 0) << in->xerr.msg;
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  // An equal reference reuses its srid; a new text makes a new one.
  EXPECT_EQ(scalar("SELECT srid FROM ZUL.LAYERS WHERE layer_id = 5"), 7);
  long long river_srid = scalar("SELECT srid FROM ZUL.LAYERS WHERE layer_id = 6");
  EXPECT_GT(river_srid, 7);
  // Empty texts and a zero array size are stored as NULL.
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.LAYERS WHERE layer_id = 5 AND description IS NULL AND "
                   "layer_config IS NULL AND optimal_array_size IS NULL AND stats_date IS NULL"),
            1);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM DB2GSE.GSE_LAYER WHERE LAYER_TABLE = 'ROADS'"), 1);

  // Alone on its srid: the text changes in place.
  strcpy(other.text, "LOCAL TWO");
  ASSERT_EQ(DB_sp_layers_def_update(in, &rivers), 0) << in->xerr.msg;
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  EXPECT_EQ(scalar("SELECT srid FROM ZUL.LAYERS WHERE layer_id = 6"), river_srid);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM DB2GSE.GSE_SPATIAL_REF sr, DB2GSE.GSE_COORD_REF cr WHERE "
                   "sr.scid = cr.scid AND cr.srtext = 'LOCAL TWO' AND sr.srid = " + std::to_string(river_srid)),
            1);
  // Shared with layer 3: the updated layer moves, the other keeps the old srid.
  strcpy(same.text, "MOVED");
  ASSERT_EQ(DB_sp_layers_def_update(in, &roads), 0) << in->xerr.msg;
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  EXPECT_EQ(scalar("SELECT srid FROM ZUL.LAYERS WHERE layer_id = 3"), 7);
  EXPECT_NE(scalar("SELECT srid FROM ZUL.LAYERS WHERE layer_id = 5"), 7);

  // The extent only widens; the rename and the delete reach the row.
  SE_ENVELOPE wider{-100, 1, 5, 500};
  ASSERT_EQ(DB_sp_layers_def_update_extent(in, 5, &wider), 0) << in->xerr.msg;
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.LAYERS WHERE layer_id = 5 AND minx = -100 AND miny = 0 AND "
                   "maxx = 5 AND maxy = 500"),
            1);
  ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                    "VALUES ('BOB', 'RIVERS2', 'SHAPE', 7)"),
            SQL_SUCCESS);
  ASSERT_EQ(DB_sp_layers_def_change_table_name(in, 6, "RIVERS2"), 0) << in->xerr.msg;
  ASSERT_EQ(DB_trans_def_commit(in), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.LAYERS WHERE table_name = 'RIVERS2'"), 1);
  ASSERT_EQ(DB_sp_layers_def_delete(in, 5), 0) << in->xerr.msg;
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.LAYERS WHERE layer_id = 5"), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM DB2GSE.GSE_LAYER WHERE LAYER_TABLE = 'ROADS'"), 0);

  // Nothing is called for a layer without a table name.
  LAYER blank = make(9, " \t", &same.cr);
  EXPECT_EQ(DB_sp_layers_def_insert(in, &blank), SE_LAYER_EMPTY_TABLE);
}
}  // namespace
