// test_systables.cpp -- the system tables made in a fresh database, each
// checked through SYSCAT; the release record; the existence checks on
// missing and older tables; the counts, largest ids and id bit sets.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "bitmap.h"
#include "db_test_support.h"
#include "zul_db_tables.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

using Create = int32_t (*)(DB_INSTANCE*, const DBTUNE_SYSTEM_PARAMS*);
using Exists = int32_t (*)(DB_INSTANCE*);

struct SystemTable {
  const char* name;     // as SYSCAT lists it
  Create create;
  Exists exists;
  int columns;
  int clause;           // the storage clause it takes
};

const SystemTable kTables[] = {
    {"LAYERS", DB_instance_layers_table_create, DB_instance_layers_table_exists, 22, DBTUNE_SYS_B_STORAGE},
    {"METADATA", DB_instance_metadata_table_create, DB_instance_metadata_table_exists, 10, DBTUNE_SYS_B_STORAGE},
    {"RASTER_COLUMNS", DB_instance_rascol_table_create, DB_instance_rascol_table_exists, 12, DBTUNE_SYS_B_STORAGE},
    {"TABLE_REGISTRY", DB_instance_registry_table_create, DB_instance_registry_table_exists, 11, DBTUNE_SYS_B_STORAGE},
    {"VERSIONS", DB_instance_versions_table_create, DB_instance_versions_table_exists, 10, DBTUNE_SYS_VERSIONS_TABLE},
    {"STATES", DB_instance_states_table_create, DB_instance_states_table_exists, 6, DBTUNE_SYS_STATES_TABLE},
    {"MVTABLES_MODIFIED", DB_instance_modified_table_create, DB_instance_modified_table_exists, 2, DBTUNE_SYS_MVTABLES_MODIFIED_TABLE},
    {"LOCATORS", DB_instance_zullocators_table_create, DB_instance_zullocators_table_exists, 6, DBTUNE_SYS_B_STORAGE},
};

std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(int16_t count, const char* every_clause) {
  std::unique_ptr<DBTUNE_SYSTEM_PARAMS> p(new DBTUNE_SYSTEM_PARAMS());
  p->count = count;
  for (auto& c : p->clauses) snprintf(c, sizeof c, "%s", every_clause);
  return p;
}

class SysTablesTest : public dbtest::SpatialAdminTest {
 protected:
  void create_all(const DBTUNE_SYSTEM_PARAMS* p) {
    for (const SystemTable& t : kTables) ASSERT_EQ(t.create(in->in, p), 0) << t.name;
  }
};

TEST_F(SysTablesTest, FreshDatabaseGetsEverySystemTableSeededAndGranted) {
  // count 99: the keyword had no rows of its own, so no clause is appended
  // (this one would not even parse)
  auto p = storage(99, " NOT A CLAUSE");
  for (const SystemTable& t : kTables) EXPECT_EQ(t.exists(in->in), t.name == std::string("LAYERS") ? -78 : -37) << t.name;
  create_all(p.get());
  for (const SystemTable& t : kTables) {
    std::string where = std::string(" WHERE TABSCHEMA = 'ZUL' AND TABNAME = '") + t.name + "'";
    EXPECT_EQ(scalar("SELECT COLCOUNT FROM SYSCAT.TABLES" + where), t.columns) << t.name;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.TABAUTH" + where +
                     " AND GRANTEE = 'PUBLIC' AND SELECTAUTH = 'Y'"), 1) << t.name;
    EXPECT_EQ(t.exists(in->in), 0) << t.name;
  }
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.INDEXES WHERE INDNAME = 'MVTABLES_MOD_IX'"), 1);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TABSCHEMA = 'ZUL' AND TABNAME = "
                   "'LAYERS' AND COLNAME = 'LAYER_ID' AND IDENTITY = 'Y'"), 1);
  // seed rows: the default version and the base state
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.VERSIONS WHERE NAME = 'DEFAULT' AND OWNER = 'ZUL' AND "
                   "VERSION_ID = 1 AND STATUS = 1 AND STATE_ID = 0 AND PARENT_NAME IS NULL AND "
                   "PARENT_VERSION_ID IS NULL AND DESCRIPTION = 'Instance default version.'"), 1);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATES WHERE STATE_ID = 0 AND PARENT_STATE_ID = 0 "
                   "AND LINEAGE_NAME = 0 AND CLOSING_TIME IS NOT NULL"), 1);

  int32_t value = -1;
  EXPECT_EQ(DB_instance_get_max_state_id(in->in, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(DB_instance_get_max_version_id(in->in, &value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(DB_instance_get_max_locator_id(in->in, &value), 0);  // empty: NULL reads as 0
  EXPECT_EQ(value, 0);
  EXPECT_EQ(DB_instance_get_state_count(in->in, &value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(DB_instance_get_layer_count(in->in, &value), 0);
  EXPECT_EQ(value, 0);

  // a second creation fails with the table-exists status, and the table stays
  EXPECT_EQ(DB_instance_states_table_create(in->in, p.get()), SE_TABLE_EXISTS);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATES"), 1);
  // the spatial extender's own tables are never made here
  for (Create noop : {DB_instance_spatial_ref_table_create, DB_instance_geocol_table_create,
                      DB_instance_layers_table_upgrade, DB_instance_modified_table_upgrade})
    EXPECT_EQ(noop(in->in, p.get()), 0);
  EXPECT_EQ(DB_instance_spatial_ref_table_exists(in->in), 0);
  EXPECT_EQ(DB_instance_geocol_table_exists(in->in), 0);
}

TEST_F(SysTablesTest, StorageClauseFollowsTheKeywordsOwnRows) {
  // count 100: the table's own clause is appended, the others are not read
  auto p = storage(100, "");
  for (const SystemTable& t : kTables)
    snprintf(p->clauses[t.clause], sizeof p->clauses[t.clause], "IN TS_%d", t.clause);
  create_all(p.get());
  for (const SystemTable& t : kTables)
    EXPECT_EQ(w.scalar(std::string("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'ZUL' AND "
                                   "TABNAME = '") + t.name + "' AND TBSPACE = 'TS_" +
                       std::to_string(t.clause) + "'"), 1)
        << t.name;
}

TEST_F(SysTablesTest, ReleaseRecordRoundTripsAndUpdates) {
  RELEASE r;
  EXPECT_EQ(DB_instance_get_release(in->in, &r), SE_INVALID_RELEASE);  // no release table

  memset(&r, 0, sizeof r);
  r.major = 8;
  r.minor = 3;
  r.bug = 0;
  r.release = 83002;
  strcpy(r.description, "DB2  Build 788 Tue Jul 13 09:46:49 PDT 2004");
  ASSERT_EQ(DB_instance_release_table_create(in->in, &r, nullptr), 0);
  RELEASE got;
  ASSERT_EQ(DB_instance_get_release(in->in, &got), 0);
  EXPECT_EQ(got.major, 8);
  EXPECT_EQ(got.minor, 3);
  EXPECT_EQ(got.bug, 0);
  EXPECT_EQ(got.release, 83002);
  EXPECT_STREQ(got.description, r.description);

  RELEASE next = r;
  next.bug = 1;
  next.release = 83010;
  strcpy(next.description, std::string(95, 'd').c_str());  // the field's full width
  ASSERT_EQ(DB_instance_update_release(in->in, 83002, &next), 0);
  ASSERT_EQ(DB_instance_get_release(in->in, &got), 0);
  EXPECT_EQ(got.bug, 1);
  EXPECT_EQ(got.release, 83010);
  EXPECT_STREQ(got.description, next.description);

  // an empty release table: no row
  ASSERT_EQ(dbtest::exec(in->in, "DELETE FROM ZUL.VERSION"), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);
  EXPECT_EQ(DB_instance_get_release(in->in, &got), SE_NO_DATA_BLOCK_END);

  EXPECT_EQ(DB_instance_release_table_drop(in->in), 0);
  EXPECT_EQ(DB_instance_get_release(in->in, &got), SE_INVALID_RELEASE);
  EXPECT_EQ(DB_instance_update_release(in->in, 83010, &next), SE_INVALID_RELEASE);
}

TEST_F(SysTablesTest, ExistenceChecksTellMissingPartsApart) {
  // a LAYERS table without layer_mask
  ASSERT_EQ(dbtest::exec(in->in, "CREATE TABLE ZUL.LAYERS (layer_id INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);
  EXPECT_EQ(DB_instance_layers_table_exists(in->in), SE_ATTR_NOEXIST);

  // a METADATA table of the older layout is upgraded in place
  ASSERT_EQ(dbtest::exec(in->in, "CREATE TABLE ZUL.METADATA (object_name VARCHAR(32), object_owner VARCHAR(32))"),
            SQL_SUCCESS);
  ASSERT_EQ(dbtest::exec(in->in, "INSERT INTO ZUL.METADATA VALUES ('ROADS', 'SAM')"), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);
  EXPECT_EQ(DB_instance_metadata_table_exists(in->in), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.METADATA WHERE OBJECT_DATABASE = 'ZUL'"), 1);
  EXPECT_EQ(DB_instance_metadata_table_exists(in->in), 0);
}

TEST(SysTablesNoSpatial, LayersCheckWithoutSpatialCatalogue) {
  Database db;
  ASSERT_EQ(db.error(), "");
  Instance in("ZUL", dbtest::kAdminPw);
  ASSERT_EQ(in.status, 0);
  ASSERT_EQ(dbtest::exec(in.in, "CREATE TABLE ZUL.LAYERS (layer_mask INTEGER)"), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in.in), 0);
  EXPECT_EQ(DB_instance_layers_table_exists(in.in), SE_NO_SPATIAL_CATALOG);
  EXPECT_EQ(DB_instance_spatial_ref_table_exists(in.in), SE_TABLE_NOEXIST);
  EXPECT_EQ(DB_instance_geocol_table_exists(in.in), SE_TABLE_NOEXIST);
}

TEST_F(SysTablesTest, CountsAndLargestIdsOverRows) {
  int32_t value = -1;
  EXPECT_EQ(DB_instance_get_max_metadata_id(in->in, &value), SE_TABLE_NOEXIST);
  EXPECT_EQ(DB_instance_get_layer_count(in->in, &value), SE_DB_IO_ERROR);
  EXPECT_EQ(value, 0);
  create_all(nullptr);
  for (const char* row : {"(1, 'ROADS', 'SAM', 1)", "(2, 'RIVERS', 'SAM', 1)", "(5, 'ROADS', 'TOM', 2)"})
    ASSERT_EQ(dbtest::exec(in->in, std::string("INSERT INTO ZUL.METADATA (record_id, object_name, "
                                               "object_owner, object_type, creation_date) VALUES ") +
                                       std::string(row).insert(strlen(row) - 1, ", CURRENT TIMESTAMP")),
              SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);

  struct Where { const char* clause; int32_t count; };
  const Where wheres[] = {
      {"object_type = 1", 2}, {" \t where   object_type = 1", 2}, {"WHERE object_owner = 'TOM'", 1},
      {"", 3}, {"   ", 3}, {nullptr, 3}, {"where ", 3},
  };
  for (const Where& wc : wheres) {
    EXPECT_EQ(DB_instance_get_metadata_count(in->in, wc.clause, &value), 0) << (wc.clause ? wc.clause : "null");
    EXPECT_EQ(value, wc.count) << (wc.clause ? wc.clause : "null");
  }
  EXPECT_EQ(DB_instance_get_max_metadata_id(in->in, &value), 0);
  EXPECT_EQ(value, 5);

  struct ByTable { const char* name; int32_t count; };
  const ByTable tables[] = {
      {"sam.roads", 1}, {"roads", 0} /* current user ZUL */, {"zul.'sam'.rivers", 1},
      {"sam.x' OR '1'='1", 0},  // a quote in the name stays a value
  };
  for (const ByTable& t : tables) {
    EXPECT_EQ(DB_instance_get_metadata_count_by_table(in->in, t.name, &value), 0) << t.name;
    EXPECT_EQ(value, t.count) << t.name;
  }
}

TEST_F(SysTablesTest, IdBitSetsSpanRowsetsAndRefuseIdsOutOfRange) {
  create_all(nullptr);
  auto add_rascol = [&](int id) {
    return dbtest::exec(in->in, "INSERT INTO ZUL.RASTER_COLUMNS (rastercolumn_id, database_name, owner, "
                                "table_name, raster_column, cdate, base_rastercolumn_id, "
                                "rastercolumn_mask) VALUES (" + std::to_string(id) + ", 'ZUL', 'SAM', 'T" +
                                std::to_string(id) + "', 'R', 0, 0, 0)");
  };
  for (int id : {1, 2, 11}) ASSERT_EQ(add_rascol(id), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);

  SE_BITMAP* set = reinterpret_cast<SE_BITMAP*>(1);
  EXPECT_EQ(DB_instance_get_rascol_number_bitmap(in->in, 10, &set), SE_RASCOL_ID_RANGE);
  EXPECT_EQ(set, nullptr);
  ASSERT_EQ(DB_instance_get_rascol_number_bitmap(in->in, 11, &set), 0);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(SES_Bitmap_MaxBits(set), 11);
  for (int bit = 0; bit < 11; ++bit)
    EXPECT_EQ(SES_Bitmap_Test(set, bit) != 0, bit == 0 || bit == 1 || bit == 10) << bit;
  SES_Bitmap_Destroy(set);

  // more ids than one rowset holds
  for (int id = 12; id <= 250; ++id) ASSERT_EQ(add_rascol(id), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);
  ASSERT_EQ(DB_instance_get_rascol_number_bitmap(in->in, 250, &set), 0);
  int set_bits = 0;
  for (int bit = 0; bit < 250; ++bit) set_bits += SES_Bitmap_Test(set, bit) != 0;
  EXPECT_EQ(set_bits, 250 - 8);  // ids 3 to 10 are missing
  SES_Bitmap_Destroy(set);
  int32_t count = 0;
  EXPECT_EQ(DB_instance_get_rascol_count(in->in, &count), 0);
  EXPECT_EQ(count, 250 - 8);

  // no layers: an empty set
  ASSERT_EQ(DB_instance_get_layer_number_bitmap(in->in, 10, &set), 0);
  EXPECT_EQ(SES_Bitmap_Scan(set, 0, 1), -1);
  SES_Bitmap_Destroy(set);
  ASSERT_EQ(dbtest::exec(in->in, "DROP TABLE ZUL.RASTER_COLUMNS"), SQL_SUCCESS);
  ASSERT_EQ(DB_trans_def_commit(in->in), 0);
  set = reinterpret_cast<SE_BITMAP*>(1);
  EXPECT_EQ(DB_instance_get_rascol_number_bitmap(in->in, 10, &set), SE_DB_IO_ERROR);
  EXPECT_EQ(set, nullptr);
}

}  // namespace
