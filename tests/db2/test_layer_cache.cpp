// test_layer_cache.cpp -- layer records read from the catalogue: the NULL
// rules, the current user's access bits, the cache (hits without SQL, stamp
// refresh in place, slot reuse and growth), the scan of all layers, the
// widening of a stream's extent, the srid lookup and the view-layer ids.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <set>
#include <vector>
#include <string>

#include "db_test_support.h"
#include "dl_fault.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

using dbtest::Database;
using dbtest::Watcher;

namespace {

const char* kSrtext = "GEOGCS[\"GCS_O'Brien\",DATUM[\"D\",SPHEROID[\"S\",6378137,298.25]]]";

uint32_t g_stamp = 1;
uint32_t stamp_of(void*, int32_t) { return g_stamp; }

// Tables registered as holding a layer, as "OWNER.TABLE".
std::set<std::string> g_registered;
int32_t registration_of(void*, const char* owner_table, REGISTRATION* out) {
  if (g_registered.count(owner_table) == 0) return -220;
  out->flags = SE_REG_LAYER_DEPENDS;
  return 0;
}

// A caller-owned layer record with its coordinate reference and text.
struct OwnLayer {
  LAYER l;
  COORDREF cr;
  char text[SE_LAYER_SRTEXT_LEN];
  OwnLayer() {
    memset(&l, 0, sizeof l);
    memset(&cr, 0, sizeof cr);
    text[0] = '\0';
    cr.srtext = text;
    l.coordref = &cr;
  }
};

class LayerTest : public ::testing::Test {
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
    std::string text = kSrtext;
    std::string quoted;
    for (char ch : text) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (1, '" + quoted + "')"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                      "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (7, 1, -180, -90, 1000, 0, 1, 0, 1)"),
              SQL_SUCCESS);
    DB_INSTANCE_PARAMS p;
    memset(&p, 0, sizeof p);
    p.layer_stamp = stamp_of;
    p.layer_cache_size = 3;
    p.registration_by_name = registration_of;
    g_stamp = 1;
    g_registered.clear();
    ASSERT_EQ(DB_instance_open("", dbtest::kUser, dbtest::kUserPw, &p, nullptr, &in), 0);
  }
  void TearDown() override { DB_instance_close(in); }

  // A table owner.name with one layer row; eflags and grants as given.
  void add_layer(int id, const char* owner, const char* table, int eflags = 0x2,
                 const char* extra = "'d', 'ZUL', 'KW', 100, 5, 3", int base = 0) {
    std::string t = std::string(owner) + "." + table;
    ASSERT_EQ(w->exec("CREATE TABLE " + t + " (ID INTEGER, SHAPE INTEGER)"), SQL_SUCCESS) << t;
    ASSERT_EQ(w->exec(std::string("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, "
                                  "LAYER_COLUMN, SRID) VALUES ('") + owner + "', '" + table +
                      "', 'SHAPE', 7)"),
              SQL_SUCCESS);
    ASSERT_EQ(w->exec("INSERT INTO ZUL.LAYERS (layer_id, description, database_name, layer_config, "
                      "optimal_array_size, stats_date, minimum_id, owner, table_name, "
                      "spatial_column, eflags, layer_mask, minx, miny, maxx, maxy, cdate, srid, "
                      "base_layer_id, gsize1, gsize2, gsize3) VALUES (" + std::to_string(id) + ", " +
                      extra + ", '" + owner + "', '" + table + "', 'SHAPE', " +
                      std::to_string(eflags) + ", 0, 0, 0, 10, 10, 1000, 7, " +
                      std::to_string(base) + ", 1, 0, 0)"),
              SQL_SUCCESS) << t;
  }

  Database db;
  std::unique_ptr<Watcher> w;
  DB_INSTANCE* in = nullptr;
};

TEST_F(LayerTest, NullColumnsReadAsDefaultsAndMissingIdLeavesPointerUnset) {
  add_layer(2, "BOB", "PARKS", 0x2, "NULL, 'ZUL', NULL, NULL, NULL, 0");
  LAYER* l = nullptr;
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 2, &l), 0);
  EXPECT_STREQ(l->description, "");
  EXPECT_STREQ(l->config_keyword, "");
  EXPECT_EQ(l->array_size, 0);
  EXPECT_EQ(l->stats_date, 0);
  EXPECT_EQ(l->min_shape_id, 1u);
  EXPECT_EQ(l->privileges, SE_ALL_PRIVILEGES);   // BOB's own table
  EXPECT_EQ(l->coordref->srid, 7);
  EXPECT_DOUBLE_EQ(l->coordref->xyunits, 1000);
  EXPECT_DOUBLE_EQ(l->coordref->xycround, 0.001);
  EXPECT_STREQ(l->coordref->srtext, kSrtext);

  LAYER* none = reinterpret_cast<LAYER*>(0x1);
  EXPECT_EQ(DB_layer_get_info(in, nullptr, 99, &none), SE_LAYER_NOEXIST);
  EXPECT_EQ(none, reinterpret_cast<LAYER*>(0x1));
}

TEST_F(LayerTest, AccessBitsFollowGrantsToUserAndPublic) {
  struct Case {
    const char* table;
    const char* grant;    // run as ZUL, or ""
    int eflags;
    int32_t status;
    int32_t bits;
  } cases[] = {
      {"NOGRANT", "", 0x2, SE_NO_PERMISSIONS, 0},
      {"SELGRANT", "GRANT SELECT ON ZUL.SELGRANT TO BOB WITH GRANT OPTION", 0x2, 0, 0x2},
      {"UPDONLY", "GRANT UPDATE ON ZUL.UPDONLY TO BOB", 0x2, SE_NO_PERMISSIONS, 0},
      {"PUBGRANT", "GRANT SELECT, INSERT ON ZUL.PUBGRANT TO PUBLIC", 0x2, 0, 0xA},
      {"VIEWONLY", "GRANT ALL ON ZUL.VIEWONLY TO BOB", 0x2 | SE_LAYER_SELECT_ONLY, 0, 0x2},
  };
  int id = 10;
  for (const Case& c : cases) {
    add_layer(id, "ZUL", c.table, c.eflags);
    if (c.grant[0] != '\0') ASSERT_EQ(w->exec(c.grant), SQL_SUCCESS) << c.table;
    LAYER* l = nullptr;
    EXPECT_EQ(DB_layer_get_info(in, nullptr, id, &l), c.status) << c.table;
    if (c.status == 0 && l != nullptr) EXPECT_EQ(l->privileges, c.bits) << c.table;
    if (c.status != 0) EXPECT_EQ(l, nullptr) << c.table;
    ++id;
  }
  // a refused layer was not stored
  EXPECT_EQ(db_layer_cache_contains(in, "", "ZUL", "NOGRANT", "SHAPE"), 0);
  EXPECT_EQ(db_layer_cache_contains(in, "", "ZUL", "SELGRANT", "shape"), 1);
}

TEST_F(LayerTest, CacheHitRunsNoSqlAndStampChangeRereadsInPlace) {
  add_layer(7, "BOB", "ROADS");
  LAYER* first = nullptr;
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 7, &first), 0);
  dl::dl_counters_reset();
  LAYER* again = nullptr;
  ASSERT_EQ(DB_layer_get_info_by_table_name(in, nullptr, "roads", nullptr, "BOB", &again), 0);
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 7, &again), 0);
  EXPECT_EQ(dl::dl_counters().statements, 0u);
  EXPECT_EQ(again, first);

  // The row changes, units and mask included: the same pointer shows all of
  // it once the stamp moves, with the rounding values derived again.
  ASSERT_EQ(w->exec("UPDATE ZUL.LAYERS SET description = 'new', layer_mask = 5 WHERE layer_id = 7"),
            SQL_SUCCESS);
  ASSERT_EQ(w->exec("UPDATE DB2GSE.GSE_SPATIAL_REF SET XYUNITS = 100 WHERE SRID = 7"), SQL_SUCCESS);
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 7, &again), 0);
  EXPECT_STREQ(first->description, "d");   // same stamp: not read again
  g_stamp = 2;
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 7, &again), 0);
  EXPECT_EQ(again, first);
  EXPECT_STREQ(first->description, "new");
  EXPECT_EQ(first->layer_mask, 5);
  EXPECT_DOUBLE_EQ(first->coordref->xycround, 0.01);

  // the row is gone: the stale record is not handed out
  ASSERT_EQ(w->exec("DELETE FROM ZUL.LAYERS WHERE layer_id = 7"), SQL_SUCCESS);
  g_stamp = 3;
  EXPECT_EQ(DB_layer_get_info(in, nullptr, 7, &again), SE_LAYER_NOEXIST);
  EXPECT_EQ(db_layer_cache_contains(in, "", "BOB", "ROADS", "SHAPE"), 0);
}

TEST_F(LayerTest, FreedSlotsAreReusedAndSixthLayerMakesSecondBlock) {
  for (int id = 1; id <= 6; ++id) add_layer(id, "BOB", ("T" + std::to_string(id)).c_str());
  LAYER* l[7] = {};
  for (int id = 1; id <= 4; ++id) ASSERT_EQ(DB_layer_get_info(in, nullptr, id, &l[id]), 0);
  LAYER_CACHE* c = &in->layer_cache;
  EXPECT_EQ(c->capacity, 5);
  EXPECT_EQ(c->used, 4);

  ASSERT_EQ(db_layer_cache_remove(in, 3), 0);   // slot 2 of 4
  EXPECT_EQ(c->used, 4);
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 5, &l[5]), 0);
  EXPECT_EQ(l[5], c->records[2]);
  ASSERT_EQ(db_layer_cache_remove(in, 4), 0);   // the last used slot
  EXPECT_EQ(c->used, 3);

  ASSERT_EQ(DB_layer_get_info(in, nullptr, 3, &l[3]), 0);
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 4, &l[4]), 0);
  ASSERT_EQ(DB_layer_get_info(in, nullptr, 6, &l[6]), 0);   // the sixth: a second block
  EXPECT_EQ(c->blocks, 2);
  EXPECT_EQ(c->capacity, 10);
  EXPECT_EQ(c->used, 6);
  EXPECT_STREQ(l[1]->table, "T1");   // earlier records kept their place
}

TEST_F(LayerTest, ViewGetInfoCopiesWithoutTouchingCache) {
  add_layer(4, "BOB", "LAKES");
  LAYER out;
  memset(&out, 0, sizeof out);
  ASSERT_EQ(DB_layer_view_get_info(in, nullptr, 4, &out), 0);
  ASSERT_NE(out.coordref, nullptr);
  EXPECT_STREQ(out.table, "LAKES");
  EXPECT_STREQ(out.coordref->srtext, kSrtext);
  EXPECT_EQ(in->layer_cache.used, 0);
  free(out.coordref->srtext);
  SgCoordRefFree(out.coordref);
}

TEST_F(LayerTest, ScanReportsUnselectableLayerAndGoesOn) {
  add_layer(1, "BOB", "A");
  add_layer(2, "ZUL", "HIDDEN");
  add_layer(3, "BOB", "C");
  OwnLayer rec;
  int32_t seen[4] = {};
  int32_t status = DB_layer_first(in, &rec.l);
  int n = 0;
  for (; status != SE_FINISHED && n < 4; ++n) {
    seen[n] = status == 0 ? rec.l.id : -rec.l.id;
    status = DB_layer_next(in, &rec.l);
  }
  ASSERT_EQ(n, 3);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], -2);   // -25 for the layer BOB may not select
  EXPECT_EQ(seen[2], 3);
  EXPECT_STREQ(rec.text, kSrtext);
}

TEST_F(LayerTest, UpdateExtentWidensOnlyWhenNeeded) {
  add_layer(5, "BOB", "EXT");   // extent 0,0 .. 10,10
  DB_STREAM* s = nullptr;
  int32_t settings[SE_DB_STREAM_SETTINGS] = {};
  ASSERT_EQ(DB_stream_init(&s, in, "BOB", "1_1", settings), 0);
  LAYER* l = nullptr;
  ASSERT_EQ(DB_layer_get_info(in, s, 5, &l), 0);
  struct Case {
    const char* name;
    double layer[4];
    double written[4];
    int32_t status;
    double expect[4];
  } cases[] = {
      {"touching the border", {0, 0, 10, 10}, {0, 2, 5, 10}, 0, {0, 0, 10, 10}},
      {"strictly inside", {0, 0, 10, 10}, {1, 1, 9, 9}, -1, {}},
      {"beyond one side", {0, 0, 10, 10}, {5, 5, 12, 9}, 0, {0, 0, 12, 10}},
      {"inverted layer extent", {2147483647.0, 2147483647.0, 0, 0}, {1, 2, 3, 4}, 0, {1, 2, 3, 4}},
      {"inverted stream envelope", {0, 0, 10, 10}, {2147483647.0, 2147483647.0, 0, 0}, -1, {}},
  };
  for (const Case& c : cases) {
    l->envelope = {c.layer[0], c.layer[1], c.layer[2], c.layer[3]};
    s->layer = l;
    memcpy(s->envelope, c.written, sizeof s->envelope);
    LAYER out;
    EXPECT_EQ(DB_layer_update_extent(s, &out), c.status) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(out.envelope.minx, c.expect[0]) << c.name;
      EXPECT_EQ(out.envelope.miny, c.expect[1]) << c.name;
      EXPECT_EQ(out.envelope.maxx, c.expect[2]) << c.name;
      EXPECT_EQ(out.envelope.maxy, c.expect[3]) << c.name;
    }
    EXPECT_EQ(l->envelope.minx, c.layer[0]) << c.name << ": the cached record is untouched";
  }
  DB_stream_free(s);
  free(s);
}

TEST_F(LayerTest, SridLookupBindsTextAndRemembersMatchPerStream) {
  DB_STREAM* s = nullptr;
  int32_t settings[SE_DB_STREAM_SETTINGS] = {};
  ASSERT_EQ(DB_stream_init(&s, in, "BOB", "1_2", settings), 0);
  COORDREF* cr = nullptr;
  ASSERT_EQ(SgCoordRefCreate(&cr), 0);
  char text[SE_LAYER_SRTEXT_LEN];
  snprintf(text, sizeof text, "%s", kSrtext);   // holds a quote
  cr->srtext = text;
  cr->falsex = -180;
  cr->falsey = -90;
  cr->xyunits = 1000;

  int32_t srid = 0;
  dl::dl_counters_reset();
  ASSERT_EQ(db_get_srid(in, s, cr, &srid), 0);
  EXPECT_EQ(srid, 7);
  srid = 0;
  ASSERT_EQ(db_get_srid(in, s, cr, &srid), 0);
  EXPECT_EQ(srid, 7);
  EXPECT_EQ(dl::dl_counters().statements, 1u);

  // a differing text or number: no match, and the remembered match stays
  COORDREF* kept = s->coordref;
  snprintf(text, sizeof text, "%s", "PROJCS[\"other\"]");
  EXPECT_EQ(db_get_srid(in, s, cr, &srid), SE_SRID_NOT_FOUND);
  snprintf(text, sizeof text, "%s", kSrtext);
  cr->falsex = -179;
  EXPECT_EQ(db_get_srid(in, s, cr, &srid), SE_SRID_NOT_FOUND);
  EXPECT_EQ(s->coordref, kept);
  SgCoordRefFree(cr);
  DB_stream_free(s);
  free(s);
}

TEST_F(LayerTest, ViewLayerIdsGrowAndAppend) {
  add_layer(1, "BOB", "BASE");
  for (int i = 0; i < 11; ++i) {
    std::string t = "V" + std::to_string(i);
    add_layer(20 + i, "BOB", t.c_str(), 0x2, "'d', 'ZUL', 'KW', 100, 5, 3", 1);
  }
  int32_t count = 0;
  int32_t* ids = nullptr;
  EXPECT_EQ(DB_view_layer_get_ids(in, 99, &count, &ids), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ids, nullptr);
  ASSERT_EQ(DB_view_layer_get_ids(in, 1, &count, &ids), 0);
  ASSERT_EQ(count, 11);
  // a second call appends and keeps what the first found
  add_layer(40, "BOB", "VV", 0x2, "'d', 'ZUL', 'KW', 100, 5, 3", 20);
  ASSERT_EQ(DB_view_layer_get_ids(in, 20, &count, &ids), 0);
  ASSERT_EQ(count, 12);
  int32_t sum = 0;
  for (int i = 0; i < 11; ++i) sum += ids[i];
  EXPECT_EQ(sum, 20 * 11 + 55);
  EXPECT_EQ(ids[11], 40);
  free(ids);
}

TEST_F(LayerTest, PrefetchAttachesTheOneSelectedLayer) {
  for (int id = 1; id <= 9; ++id) {
    std::string t = "T" + std::to_string(id);
    add_layer(id, "BOB", t.c_str());
    g_registered.insert("BOB." + t);
  }
  add_layer(20, "BOB", "LOOSE");   // holds a layer, but not registered as such
  DB_STREAM* s = nullptr;
  int32_t settings[SE_DB_STREAM_SETTINGS] = {};
  ASSERT_EQ(DB_stream_init(&s, in, "BOB", "1_3", settings), 0);

  struct Case {
    const char* name;
    std::vector<const char*> tables;
    std::vector<const char*> columns;
    int32_t status;
    int32_t attached;   // layer id, 0 none
  } cases[] = {
      // nine rows come in two rowsets; the one selected is in the second
      {"ninth of nine uncached", {"T1", "T2", "T3", "T4", "T5", "T6", "T7", "T8", "T9"},
       {"ID", "T9.SHAPE"}, 0, 9},
      {"unregistered table", {"LOOSE"}, {"SHAPE"}, 0, 0},
      {"shape and a method of it", {"T2"}, {"SHAPE", "SHAPE.XMIN"}, 0, 2},
      // the second layer was cached before, the first is read now
      {"two shapes, one layer uncached", {"T1", "T2"}, {"T1.SHAPE", "T2.SHAPE"}, SE_MULTIPLE_LAYERS, -1},
      {"two shapes of two cached layers", {"T1", "T2"}, {"T1.SHAPE", "T2.SHAPE"}, SE_MULTIPLE_LAYERS, -1},
      {"star of one cached table", {"BOB.T3"}, {"*"}, 0, 3},
  };
  for (const Case& c : cases) {
    s->layer = nullptr;
    EXPECT_EQ(db_layer_cache_load_tables(in, s, (int32_t)c.columns.size(),
                                         const_cast<char**>(c.columns.data()),
                                         (int32_t)c.tables.size(),
                                         const_cast<char**>(c.tables.data())),
              c.status) << c.name;
    if (c.attached == 0) EXPECT_EQ(s->layer, nullptr) << c.name;
    if (c.attached > 0) {
      ASSERT_NE(s->layer, nullptr) << c.name;
      EXPECT_EQ(s->layer->id, c.attached) << c.name;
    }
  }
  EXPECT_EQ(db_layer_cache_contains(in, "", "BOB", "T8", "SHAPE"), 0);   // not selected: not cached

  // every table cached: no SQL runs and the stream gets the cached layer
  dl::dl_counters_reset();
  const char* tables[] = {"T9", "T2"};
  const char* columns[] = {"T9.SHAPE"};
  EXPECT_EQ(db_layer_cache_load_tables(in, s, 1, const_cast<char**>(columns), 2,
                                       const_cast<char**>(tables)), 0);
  EXPECT_EQ(dl::dl_counters().statements, 0u);
  ASSERT_NE(s->layer, nullptr);
  EXPECT_EQ(s->layer->id, 9);
  DB_stream_free(s);
  free(s);
}

}  // namespace
