// test_objnames.cpp -- the names the access layer builds for tables, indexes,
// triggers and procedures, and the parsing of client names. An instance
// record with a current database and user stands for an open one: names
// need no connection.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "zul_db_layer.h"
#include "zul_db_tables.h"
#include "zul_raster.h"

namespace {

struct NameInstance {
  DB_INSTANCE in;
  NameInstance() {
    memset(&in, 0, sizeof in);
    strcpy(in.current_database, "GISDB");
    strcpy(in.current_user, "BOB");
  }
  // A name looked up through the catalogue makes the instance's layer cache.
  ~NameInstance() { db_layer_cache_free(&in); }
};

int32_t reg_by_id(void* ctx, int32_t id, REGISTRATION* out) {
  (void)ctx;
  if (id != 7) return -37;
  strcpy(out->database, "");
  strcpy(out->owner, "SAM");
  return 0;
}

TEST(ObjNames, SystemTablesAreQualifiedByDatabaseAndSchema) {
  NameInstance ni;
  struct Case { void (*fn)(DB_INSTANCE*, char*); const char* want; };
  const Case cases[] = {
      {db_make_layers_table_name, "GISDB.ZUL.Layers"},
      {db_make_metadata_table_name, "GISDB.ZUL.METADATA"},
      {db_make_locators_table_name, "GISDB.ZUL.LOCATORS"},
      {db_make_raster_columns_table_name, "GISDB.ZUL.RASTER_COLUMNS"},
      {db_make_table_registry_table_name, "GISDB.ZUL.table_registry"},
      {db_make_versions_table_name, "GISDB.ZUL.versions"},
      {db_make_release_table_name, "GISDB.ZUL.version"},
      {db_make_states_table_name, "GISDB.ZUL.states"},
      {db_make_state_lineages_table_name, "GISDB.ZUL.state_lineages"},
      {db_make_mvtables_modified_table_name, "GISDB.ZUL.mvtables_modified"},
      {db_make_dbtune_table_name, "GISDB.ZUL.dbtune"},
      {db_make_gse_layer_geom_name, "GISDB.DB2GSE.gse_layer_geom"},
      {db_make_gse_spatial_ref_name, "GISDB.DB2GSE.gse_spatial_ref"},
      {db_make_gse_coord_ref_name, "GISDB.DB2GSE.gse_coord_ref"},
  };
  for (const Case& c : cases) {
    char out[SE_DB_QUALIFIED_LEN] = "";
    c.fn(&ni.in, out);
    EXPECT_STREQ(out, c.want);
  }
}

TEST(ObjNames, PerObjectNamesOverIdsAndOwners) {
  NameInstance ni;
  char a[SE_DB_QUALIFIED_LEN], b[SE_DB_QUALIFIED_LEN], c[SE_DB_QUALIFIED_LEN], d[SE_DB_QUALIFIED_LEN];
  struct Case { const char* name; std::string got; const char* want; };
  auto run = [&](auto fn) { fn(); return std::string(a); };
  const Case cases[] = {
      {"f", run([&] { db_make_f_table_name(12, a); }), "F12"},
      {"l owned", run([&] { db_make_l_table_name(3, "SAM", a); }), "SAM.L3"},
      {"l bare", run([&] { db_make_l_table_name(3, nullptr, a); }), "L3"},
      {"l empty owner", run([&] { db_make_l_table_name(3, "", a); }), "L3"},
      {"r owned", run([&] { db_make_r_table_name(42, "SAM", a); }), "SAM.R42"},
      {"rowid uk", run([&] { db_make_rowid_uk_index_name(42, "SAM", a); }), "SAM.R42_ZUL_ROWID_UK"},
      {"rowid uk bare", run([&] { db_make_rowid_uk_index_name(42, nullptr, a); }), "R42_ZUL_ROWID_UK"},
      {"adds uk", run([&] { db_make_adds_uk_index_name(5, "SAM", a); }), "SAM.a5_uk"},
      {"adds uk bare", run([&] { db_make_adds_uk_index_name(5, nullptr, a); }), "a5_uk"},
      {"blk uk", run([&] { db_make_blk_uk_index_name(9, a); }), "ZUL_BLK_9_UK"},
      {"adds no instance no owner", run([&] { db_make_adds_table_name(nullptr, 7, nullptr, nullptr, a); }), "A7"},
      {"adds owner current db", run([&] { db_make_adds_table_name(&ni.in, 8, nullptr, "SAM", a); }), "GISDB.SAM.A8"},
      {"deletes owner given db", run([&] { db_make_deletes_table_name(&ni.in, 8, "OTHER", "SAM", a); }), "OTHER.SAM.D8"},
      {"deletes owner no db", run([&] { db_make_deletes_table_name(nullptr, 8, nullptr, "SAM", a); }), "SAM.D8"},
      {"logfiles current db", run([&] { db_make_logfiles_table_name(&ni.in, nullptr, "BOB", a); }), "GISDB.BOB.zul_logfiles"},
      {"logfile data given db", run([&] { db_make_logfile_data_table_name(&ni.in, "X", "BOB", a); }), "X.BOB.zul_logfile_data"},
      {"logfiles no db", run([&] { db_make_logfiles_table_name(nullptr, nullptr, "BOB", a); }), "BOB.zul_logfiles"},
      // the catalogue cannot be read yet: the bare names
      {"s bare", run([&] { db_make_s_table_name(&ni.in, nullptr, 4, a); }), "S4"},
      {"ras bare", run([&] { db_make_ras_table_name(&ni.in, nullptr, 4, a); }), "ZUL_RAS_4"},
      {"bnd bare", run([&] { db_make_bnd_table_name(&ni.in, nullptr, 4, a); }), "ZUL_BND_4"},
      {"aux bare", run([&] { db_make_aux_table_name(&ni.in, nullptr, 4, a); }), "ZUL_AUX_4"},
      {"blk bare", run([&] { db_make_blk_table_name(&ni.in, nullptr, 4, a); }), "ZUL_BLK_4"},
      {"sp create", run([&] { db_sp_make_name(&ni.in, "zul_release_proc", 1, a); }), "ZUL.zul_release_proc"},
      {"sp call", run([&] { db_sp_make_name(&ni.in, "zul_release_proc", 2, a); }), "zulsrvsp!zul_release_proc"},
      {"three part", run([&] { db_make_three_part_name("DB", "O", "T", a); }), "DB.O.T"},
      {"three part empty db", run([&] { db_make_three_part_name("", "O", "T", a); }), ".O.T"},
      {"three part no db", run([&] { db_make_three_part_name(nullptr, "O", "T", a); }), "O.T"},
      {"table make empty db", run([&] { DB_table_make_name("", "O", "T", a); }), "O.T"},
      {"table make db", run([&] { DB_table_make_name("D", "O", "T", a); }), "D.O.T"},
  };
  for (const Case& k : cases) EXPECT_EQ(k.got, k.want) << k.name;

  db_make_deletes_index_names(6, "SAM", a, b, c, d);
  EXPECT_STREQ(a, "SAM.D6_IDX1");
  EXPECT_STREQ(d, "SAM.D6_IDX4");
  db_make_deletes_index_names(6, nullptr, a, b, c, d);
  EXPECT_STREQ(b, "D6_IDX2");
  EXPECT_STREQ(c, "D6_IDX3");

  // the registration, when the server program can find it, decides
  ni.in.params.registration_by_id = reg_by_id;
  db_make_adds_table_name(&ni.in, 7, "IGNORED", "IGNORED", a);
  EXPECT_STREQ(a, "GISDB.SAM.A7");
  db_make_adds_table_name(&ni.in, 9, nullptr, nullptr, a);  // lookup fails, no owner
  EXPECT_STREQ(a, "A9");
}

TEST(ObjNames, SmallBuildersKeepTheirLimits) {
  char out[64];
  std::string base(40, 'x');
  db_adds_index_name(base.c_str(), out);
  EXPECT_EQ(std::string(out), std::string(28, 'x') + "_a");
  strcpy(out, "keep");
  db_adds_index_name("", out);
  EXPECT_STREQ(out, "");

  struct Trig { int32_t kind; const char* want; };
  for (const Trig& t : {Trig{0, "V3_INSERT"}, Trig{1, "V3_DELETE"}, Trig{2, "V3_UPDATE"},
                        Trig{3, "untouched"}, Trig{-1, "untouched"}}) {
    strcpy(out, "untouched");
    db_make_view_trigger_name(3, t.kind, out);
    EXPECT_STREQ(out, t.want) << t.kind;
  }

  char text[64] = "O'Neil's";
  db_double_quotes(text);
  EXPECT_STREQ(text, "O''Neil''s");

  LAYER layer;
  memset(&layer, 0, sizeof layer);
  strcpy(layer.owner, "SAM");
  strcpy(layer.table, "ROADS");
  db_layer_qualified_table_name(&layer, out);
  EXPECT_STREQ(out, "SAM.ROADS");
  DB_get_qualify_table_name(&layer, out);
  EXPECT_STREQ(out, "SAM.ROADS");
  strcpy(layer.table, "X.ROADS");
  DB_get_qualify_table_name(&layer, out);
  EXPECT_STREQ(out, "X.ROADS");
  strcpy(out, "keep");
  db_layer_f_table_name(&layer, out);
  EXPECT_STREQ(out, "");

  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  strcpy(rc.owner, "SAM");
  rc.id = 11;
  db_make_blk_table_name_from_info(&rc, out);
  EXPECT_STREQ(out, "SAM.ZUL_BLK_11");
}

TEST(ObjNames, TableNamesParseIntoDatabaseOwnerTable) {
  NameInstance ni;
  struct Case { const char* name; const char* db; const char* owner; const char* table; };
  const Case cases[] = {
      {"roads", "GISDB", "BOB", "ROADS"},
      {"sam.roads", "GISDB", "SAM", "ROADS"},
      {"gis.sam.roads", "GIS", "SAM", "ROADS"},
      {"'sam'.roads", "GISDB", "SAM", "ROADS"},
      {" \t gis.sam.roads \n", "GIS", "SAM", "ROADS"},
      {"  roads  ", "GISDB", "BOB", "ROADS"},
  };
  for (const Case& c : cases) {
    char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
    db_parse_table_name(&ni.in, c.name, "bob", db, owner, table);
    EXPECT_STREQ(db, c.db) << c.name;
    EXPECT_STREQ(owner, c.owner) << c.name;
    EXPECT_STREQ(table, c.table) << c.name;
  }
  // the exported parser defaults to the current user; parts are cut to width
  char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
  std::string long_owner(100, 'o');
  DB_table_parse_name(&ni.in, (long_owner + ".t").c_str(), db, owner, table);
  EXPECT_EQ(strlen(owner), (size_t)SE_NAME_OWNER_LEN - 1);
  DB_table_parse_name(&ni.in, "t", db, owner, table);
  EXPECT_STREQ(owner, "BOB");

  EXPECT_EQ(db_table_name_matches(&ni.in, "sam.roads", "GISDB", "SAM", "ROADS"), 1);
  EXPECT_EQ(db_table_name_matches(&ni.in, "roads", "GISDB", "SAM", "ROADS"), 0);
}

TEST(ObjNames, ColumnNamesParseWithSuffixAndDefaults) {
  NameInstance ni;
  struct Case { const char* name; const char* db; const char* owner; const char* table; const char* column; };
  const Case cases[] = {
      {"shape", "GISDB", "", "", "SHAPE"},
      {"roads.shape", "GISDB", "BOB", "ROADS", "SHAPE"},
      {"sam.roads.shape", "GISDB", "SAM", "ROADS", "SHAPE"},
      {"db1.sam.roads.shape", "DB1", "SAM", "ROADS", "SHAPE"},
      {"roads..x", "GISDB", "", "", "ROADS..X"},
      {"sam.roads.shape..points", "GISDB", "SAM", "ROADS", "SHAPE..POINTS"},
  };
  for (const Case& c : cases) {
    char db[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN],
        column[SE_NAME_COLUMN_LEN];
    db_parse_column_name(&ni.in, c.name, "bob", db, owner, table, column);
    EXPECT_STREQ(db, c.db) << c.name;
    EXPECT_STREQ(owner, c.owner) << c.name;
    EXPECT_STREQ(table, c.table) << c.name;
    EXPECT_STREQ(column, c.column) << c.name;
  }

  struct Match { const char* name; int32_t want; };
  const Match matches[] = {
      {"shape", 1},              // no qualifiers: the column alone decides
      {"Roads.SHAPE", 1},        // column ignores case
      {"other.shape", 0},        // table differs
      {"tom.roads.shape", 0},    // owner differs
      {"db9.sam.roads.shape", 0},// database differs
      {"roads.area", 0},
  };
  for (const Match& m : matches)
    EXPECT_EQ(db_column_name_matches(&ni.in, m.name, "SAM", "GISDB", "SAM", "ROADS", "shape"), m.want)
        << m.name;

  char owner[SE_NAME_OWNER_LEN], name[64];
  DB_version_parse_name(&ni.in, "sam.Spring", owner, name);
  EXPECT_STREQ(owner, "SAM");
  EXPECT_STREQ(name, "Spring");
  DB_version_parse_name(&ni.in, "Spring", owner, name);
  EXPECT_STREQ(owner, "BOB");
  EXPECT_STREQ(name, "Spring");
}

}  // namespace
