// test_raster_band.cpp -- rows inside a raster column's side tables: the tile
// grid offset and batch size, band rows (insert, read, scan, update, count,
// conflicts), pyramid save and restore by negated band ids, tile deletion by
// range and by level, band and raster deletion with everything that hangs
// off them, and the auxiliary objects (mask, statistics, serialized object).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../../comm/raster_bitmap.h"
#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_raster.h"
#include "zul_db_tables.h"
#include "zul_dbtune.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

constexpr int32_t kColumn = 1;

RASTERBAND band_record(int32_t id, int32_t raster_id, int32_t sequence, int32_t max_level,
                       int32_t flags = 0) {
  RASTERBAND b;
  memset(&b, 0, sizeof b);
  b.id = id;
  b.raster_id = raster_id;
  b.sequence = sequence;
  b.column_id = kColumn;
  b.band_flags = (max_level << 16) | flags;
  b.band_types = 64 << 16;   // 8 bits per pixel
  b.width = b.height = 8;
  b.block_width = b.block_height = 4;
  b.envelope.minx = 0;
  b.envelope.miny = 0;
  b.envelope.maxx = 7;
  b.envelope.maxy = 7;
  b.block_origin_x = 0;
  b.block_origin_y = 7;   // the band's corner: no tile offset
  snprintf(b.description, sizeof b.description, "band %d", (int)id);
  return b;
}

class RasterBandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    {
      Instance zul("ZUL", dbtest::kAdminPw);
      ASSERT_EQ(zul.status, 0);
      std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
      ASSERT_EQ(DB_instance_system_tables_create(zul.in, storage.get()), 0);
      ASSERT_EQ(DB_instance_dbtune_table_create(zul.in, nullptr, storage.get()), 0);
      ASSERT_EQ(DB_instance_stored_procedures_create(zul.in), 0);
    }
    bob.reset(new Instance());
    ASSERT_EQ(bob->status, 0);
    ASSERT_EQ(dbtest::exec(bob->in, "CREATE TABLE BOB.PARCELS (id INTEGER, img INTEGER)"), SQL_SUCCESS);
    RASTERCOLUMN rc;
    memset(&rc, 0, sizeof rc);
    rc.id = kColumn;
    snprintf(rc.owner, sizeof rc.owner, "BOB");
    snprintf(rc.table, sizeof rc.table, "PARCELS");
    snprintf(rc.column, sizeof rc.column, "IMG");
    ASSERT_EQ(DB_sp_rastercolumn_def_insert(bob->in, &rc), 0);
    ASSERT_EQ(DB_trans_def_commit(bob->in), 0);
    ASSERT_EQ(DB_rastercolumn_create_tables(bob->in, kColumn, "BOB.PARCELS"), 0);
    for (int32_t id : {1, 2}) {
      RASTER r;
      memset(&r, 0, sizeof r);
      r.id = id;
      r.column_id = kColumn;
      ASSERT_EQ(DB_raster_def_insert(bob->in, &r), 0);
    }
  }
  void TearDown() override { unsetenv("ZULHOME"); }

  // Writes the tiles of a rows x cols grid of one level under the given id.
  void put_tiles(int32_t id, int32_t level, int32_t rows, int32_t cols) {
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        ASSERT_EQ(w.exec("INSERT INTO BOB.ZUL_BLK_1 VALUES (" + std::to_string(id) + ", " +
                         std::to_string(level) + ", " + std::to_string(r) + ", " +
                         std::to_string(c) + ", BLOB('t'))"),
                  SQL_SUCCESS);
  }
  // The pyramid of an 8 x 8 band with 4 x 4 tiles: 2 x 2, 1, 1.
  void put_pyramid(int32_t id, int32_t levels) {
    put_tiles(id, 0, 2, 2);
    for (int32_t l = 1; l <= levels; ++l) put_tiles(id, l, 1, 1);
  }
  long long tiles(int32_t id, int32_t level = -1) {
    std::string sql = "SELECT COUNT(*) FROM BOB.ZUL_BLK_1 WHERE rasterband_id = " + std::to_string(id);
    if (level >= 0) sql += " AND rrd_factor = " + std::to_string(level);
    return w.scalar(sql);
  }

  Database db;
  std::unique_ptr<Instance> bob;
  Watcher w;
};

TEST(RasterTileGrid, OffsetFromTheBlockOrigin) {
  struct Case { const char* name; double minx, miny, maxx, maxy, ox, oy; int32_t width;
                SE_TILE_OFFSET want; };
  const Case cases[] = {
      {"corner on the origin", 10, 0, 110, 100, 10, 100, 101, {0, 0, 0, 0}},
      {"inverted envelope", 110, 0, 10, 100, 0, 120, 101, {0, 0, 0, 0}},
      {"one pixel wide", 10, 0, 10, 100, 0, 120, 1, {0, 0, 0, 0}},
      {"origin above and left", 10, 0, 110, 100, 0, 120, 101, {1, 2, 2, 4}},
      {"origin below and right", 10, 0, 110, 100, 20, 90, 101, {-2, -2, 6, 6}},
      {"half a cell rounds away from zero", 10.5, 0, 110.5, 100, 0, 100, 101, {1, 0, 3, 0}},
  };
  for (const auto& c : cases) {
    RASTERBAND b;
    memset(&b, 0, sizeof b);
    b.envelope = {c.minx, c.miny, c.maxx, c.maxy};
    b.block_origin_x = c.ox;
    b.block_origin_y = c.oy;
    b.width = c.width;
    b.height = 101;
    b.block_width = b.block_height = 8;
    SE_TILE_OFFSET got;
    db_rasterband_tile_offset(&b, &got);
    EXPECT_EQ(got.block_column, c.want.block_column) << c.name;
    EXPECT_EQ(got.block_row, c.want.block_row) << c.name;
    EXPECT_EQ(got.pixel_column, c.want.pixel_column) << c.name;
    EXPECT_EQ(got.pixel_row, c.want.pixel_row) << c.name;
  }
}

TEST(RasterTileGrid, BatchesHoldAboutOneMegabyteAndAtLeastOneTile) {
  struct Case { int32_t type_code, block; int32_t want; };
  const Case cases[] = {
      {64, 128, 56},      // 16384 + 2048 bytes a tile
      {256, 2048, 1},     // a 16 MB tile is a batch of its own
      {8, 1, 1048576 / 2},
  };
  for (const auto& c : cases) {
    RASTERBAND b;
    memset(&b, 0, sizeof b);
    b.band_types = c.type_code << 16;
    b.block_width = b.block_height = c.block;
    EXPECT_EQ(db_rasterband_tiles_per_batch(&b), c.want) << c.type_code << "/" << c.block;
  }
}

TEST_F(RasterBandTest, BandRowsRoundTripScanAndConflicts) {
  RASTERBAND a = band_record(10, 1, 1, 2), b = band_record(11, 1, 2, 0), c = band_record(12, 2, 1, 0);
  snprintf(b.description, sizeof b.description, "%s", "");
  for (RASTERBAND* x : {&a, &b, &c}) ASSERT_EQ(DB_rasterband_def_insert(bob->in, x), 0);
  EXPECT_EQ(DB_rasterband_def_insert(bob->in, &a), SE_RASTERBAND_EXISTS);

  RASTERBAND got;
  memset(&got, 0x5A, sizeof got);
  ASSERT_EQ(DB_rasterband_get_info_by_id(bob->in, nullptr, kColumn, 10, &got), 0);
  EXPECT_EQ(got.sequence, 1);
  EXPECT_EQ(got.raster_id, 1);
  EXPECT_EQ(got.band_flags, 2 << 16);
  EXPECT_EQ(got.band_types, 64 << 16);
  EXPECT_EQ(got.block_origin_y, 7.0);
  EXPECT_EQ(got.envelope.maxx, 7.0);
  EXPECT_EQ(got.column_id, kColumn);
  EXPECT_STREQ(got.description, "band 10");
  EXPECT_EQ(got.local168[0], 0);
  EXPECT_GT(got.creation_date, 0);
  EXPECT_EQ(DB_rasterband_get_info_by_id(bob->in, nullptr, kColumn, 11, &got), 0);
  EXPECT_STREQ(got.description, "");
  EXPECT_EQ(DB_rasterband_get_info_by_id(bob->in, nullptr, kColumn, 99, &got), SE_RASTERBAND_NOEXIST);

  a.width = 16;
  ASSERT_EQ(DB_rasterband_def_update(bob->in, &a), 0);
  ASSERT_EQ(DB_rasterband_get_info_by_id(bob->in, nullptr, kColumn, 10, &got), 0);
  EXPECT_EQ(got.width, 16);
  a.sequence = 2;   // band 11 holds raster 1, sequence 2
  EXPECT_EQ(DB_rasterband_def_update(bob->in, &a), SE_RASTERBAND_UPDATE_CONFLICT);

  std::vector<int32_t> ids;
  int32_t s;
  for (s = DB_rasterband_first(bob->in, kColumn, 1, &got); s == 0; s = DB_rasterband_next(bob->in, kColumn, &got))
    ids.push_back(got.id);
  EXPECT_EQ(s, SE_FINISHED);
  EXPECT_EQ(ids, (std::vector<int32_t>{10, 11}));
  ids.clear();
  for (s = DB_rasterband_first(bob->in, kColumn, 0, &got); s == 0; s = DB_rasterband_next(bob->in, kColumn, &got))
    ids.push_back(got.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{10, 11, 12}));

  int32_t n = -1;
  EXPECT_EQ(DB_rasterband_get_count(bob->in, kColumn, 1, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(DB_rasterband_get_count(bob->in, kColumn, 0, &n), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(DB_rasterband_get_max_id(bob->in, kColumn, &n), 0);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(DB_rasterband_get_count(bob->in, 55, 0, &n), SE_TABLE_NOEXIST);
}

TEST_F(RasterBandTest, PyramidSaveHidesUpperLevelsAndRestoreBringsThemBack) {
  struct Case { const char* name; int32_t max_level; int32_t flags; std::vector<int32_t> hidden; };
  const std::vector<Case> cases = {
      {"levels 1 and 2", 2, 0, {1, 2}},
      {"level 1 skipped", 2, 0x4000, {2}},
      {"no pyramid", 0, 0, {}},
  };
  int32_t id = 20;
  for (const auto& c : cases) {
    ++id;
    RASTERBAND b = band_record(id, 1, id, c.max_level, c.flags);
    put_pyramid(id, 2);
    ASSERT_EQ(DB_rasterband_save_pyramid(bob->in, &b), 0) << c.name;
    for (int32_t level = 0; level <= 2; ++level) {
      bool hidden = std::find(c.hidden.begin(), c.hidden.end(), level) != c.hidden.end();
      long long want = level == 0 ? 4 : 1;
      // committed, so another connection sees it
      EXPECT_EQ(tiles(-id, level), hidden ? want : 0) << c.name << " level " << level;
      EXPECT_EQ(tiles(id, level), hidden ? 0 : want) << c.name << " level " << level;
    }
    ASSERT_EQ(DB_rasterband_restore_pyramid(bob->in, &b), 0) << c.name;
    EXPECT_EQ(tiles(-id), 0) << c.name;
    EXPECT_EQ(tiles(id), 6) << c.name;
  }
}

TEST_F(RasterBandTest, TileDeletionByRangeFollowsTheHiddenAndDropFlags) {
  struct Case { const char* name; int32_t hidden, drop; long long visible_left, hidden_left; };
  // Visible tiles: a 2 x 2 base; hidden (saved) copies of the same four.
  // The range covers column 0..1 of row 0.
  const Case cases[] = {
      {"drop alone does nothing", 0, 1, 4, 4},
      {"neither: visible tiles of the range go", 0, 0, 2, 4},
      {"both: hidden tiles of the range go", 1, 1, 4, 2},
      {"hidden alone: edits discarded, saved tiles back", 1, 0, 4, 2},
  };
  int32_t id = 30;
  for (const auto& c : cases) {
    ++id;
    RASTERBAND b = band_record(id, 1, id, 0);
    put_tiles(id, 0, 2, 2);
    put_tiles(-id, 0, 2, 2);
    SE_TILE_RANGE range = {0, 0, 1, 0};
    ASSERT_EQ(DB_rasterband_delete_tiles(bob->in, &b, &range, c.hidden, c.drop), 0) << c.name;
    EXPECT_EQ(tiles(id, 0), c.visible_left) << c.name;
    EXPECT_EQ(tiles(-id, 0), c.hidden_left) << c.name;
  }
  RASTERBAND b = band_record(40, 1, 40, 0);
  EXPECT_EQ(DB_rasterband_delete_tiles(bob->in, &b, nullptr, 0, 0), SE_INVALID_POINTER);
}

TEST_F(RasterBandTest, PyramidDeletionLeavesTheBaseAndSkipsLevelOneWhenAsked) {
  RASTERBAND b = band_record(50, 1, 1, 2);
  put_pyramid(50, 2);
  put_pyramid(-50, 2);
  ASSERT_EQ(DB_rasterband_delete_pyramid(bob->in, &b, 0), 0);   // the hidden pyramid
  EXPECT_EQ(tiles(-50), 4);   // hidden base untouched
  EXPECT_EQ(tiles(50), 6);
  ASSERT_EQ(DB_rasterband_delete_pyramid(bob->in, &b, 1), 0);   // the visible pyramid
  EXPECT_EQ(tiles(50), 4);

  RASTERBAND skip = band_record(51, 1, 2, 2, 0x4000);
  put_pyramid(51, 2);
  ASSERT_EQ(DB_rasterband_delete_pyramid(bob->in, &skip, 1), 0);
  EXPECT_EQ(tiles(51, 1), 1);   // level 1 does not exist for such a band: left alone
  EXPECT_EQ(tiles(51, 2), 0);
}

TEST_F(RasterBandTest, BandAndRasterDeletionTakeTilesAndAuxiliaryRowsWithThem) {
  RASTERBAND a = band_record(60, 1, 1, 1), b = band_record(61, 1, 2, 1), other = band_record(62, 2, 1, 1);
  for (RASTERBAND* x : {&a, &b, &other}) {
    ASSERT_EQ(DB_rasterband_def_insert(bob->in, x), 0);
    put_pyramid(x->id, 1);
    put_tiles(-x->id, 0, 1, 1);
    const uint8_t obj[8] = {0, 0, 0, 8, 1, 2, 3, 4};
    ASSERT_EQ(DB_rasterband_set_serialized_object(bob->in, kColumn, x->id, 3, obj, 8, 1), 0);
  }
  ASSERT_EQ(DB_rasterband_def_delete(bob->in, &a), 0);
  EXPECT_EQ(tiles(60), 0);
  EXPECT_EQ(tiles(-60), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.ZUL_AUX_1 WHERE rasterband_id = 60"), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.ZUL_BND_1 WHERE rasterband_id = 60"), 0);

  ASSERT_EQ(DB_raster_def_delete(bob->in, kColumn, 1), 0);
  EXPECT_EQ(tiles(61) + tiles(-61), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.ZUL_AUX_1 WHERE rasterband_id = 61"), 0);
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM BOB.ZUL_BND_1 WHERE raster_id = 1"), 0);
  RASTER r;
  EXPECT_EQ(DB_raster_get_info_by_id(bob->in, nullptr, kColumn, 1, &r), SE_RASTER_NOEXIST);
  // the other raster keeps everything
  EXPECT_EQ(tiles(62), 5);
  EXPECT_EQ(DB_raster_get_info_by_id(bob->in, nullptr, kColumn, 2, &r), 0);
}

TEST_F(RasterBandTest, RasterRows) {
  RASTER r;
  memset(&r, 0, sizeof r);
  r.id = 9;
  r.column_id = kColumn;
  snprintf(r.description, sizeof r.description, "scan of 1921");
  ASSERT_EQ(DB_raster_def_insert(bob->in, &r), 0);
  EXPECT_EQ(DB_raster_def_insert(bob->in, &r), SE_RASTER_EXISTS);
  RASTER got;
  ASSERT_EQ(DB_raster_get_info_by_id(bob->in, nullptr, kColumn, 9, &got), 0);
  EXPECT_STREQ(got.description, "scan of 1921");
  EXPECT_EQ(got.column_id, kColumn);
  ASSERT_EQ(DB_raster_get_info_by_id(bob->in, nullptr, kColumn, 2, &got), 0);
  EXPECT_STREQ(got.description, "");   // stored NULL
  int32_t max = 0;
  EXPECT_EQ(DB_raster_get_max_id(bob->in, kColumn, &max), 0);
  EXPECT_EQ(max, 9);
}

TEST_F(RasterBandTest, AuxiliaryObjectsRoundTrip) {
  RASTERBAND b = band_record(70, 1, 1, 0);
  ASSERT_EQ(DB_rasterband_def_insert(bob->in, &b), 0);

  SE_RASTER_BITMAP* mask = nullptr;
  int32_t across = 0, down = 0;
  ASSERT_EQ(DB_rasterband_get_bitmap_mask(bob->in, &b, &mask, &across, &down), 0);
  EXPECT_EQ(mask, nullptr);   // no mask row
  EXPECT_EQ(across, 2);
  EXPECT_EQ(down, 2);

  SE_RASTER_BITMAP* put = SES_raster_bitmap_create(2, 2, 0);
  put->data[0] = 0x90;   // tiles 0 and 3
  ASSERT_EQ(DB_rasterband_set_bitmap_mask(bob->in, &b, put), 0);
  put->data[0] = 0x40;
  ASSERT_EQ(DB_rasterband_set_bitmap_mask(bob->in, &b, put), 0);   // replaces the row
  ASSERT_EQ(DB_rasterband_get_bitmap_mask(bob->in, &b, &mask, &across, &down), 0);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->data[0] & 0xF0, 0x40);
  SES_raster_bitmap_free(mask);
  SES_raster_bitmap_free(put);
  // A band whose grid no longer matches the stored mask does not believe it.
  RASTERBAND wider = b;
  wider.width = 16;
  EXPECT_EQ(DB_rasterband_get_bitmap_mask(bob->in, &wider, &mask, &across, &down), SE_RASTER_MASK_INVALID);
  ASSERT_EQ(DB_rasterband_set_bitmap_mask(bob->in, &b, nullptr), 0);
  ASSERT_EQ(DB_rasterband_get_bitmap_mask(bob->in, &b, &mask, &across, &down), 0);
  EXPECT_EQ(mask, nullptr);

  // Statistics longer than the first read buffer are read again at their length.
  std::vector<double> bins(1000, 3.0);
  RASTERBAND_STATS stats;
  memset(&stats, 0, sizeof stats);
  stats.minimum = 1;
  stats.maximum = 250;
  stats.kind = SE_HISTOGRAM_INTEGER;
  stats.count = (int32_t)bins.size();
  stats.values = bins.data();
  ASSERT_EQ(DB_rasterband_set_stats(bob->in, &b, &stats, 1), 0);
  uint8_t* data = nullptr;
  int32_t len = 0;
  ASSERT_EQ(DB_rasterband_get_serialized_object(bob->in, kColumn, 70, 2, &data, &len), 0);
  EXPECT_EQ(len, 44 + 8000);
  EXPECT_EQ(SES_rasterband_get_serialized_length(data), len);
  free(data);

  struct Case { const char* name; int32_t type; int32_t status; };
  const Case cases[] = {{"mask type", 1, SE_INVALID_PARAM}, {"unknown type", 4, SE_INVALID_PARAM},
                        {"no such object", 3, SE_FINISHED}};
  for (const auto& c : cases)
    EXPECT_EQ(DB_rasterband_get_serialized_object(bob->in, kColumn, 70, c.type, &data, &len), c.status)
        << c.name;
  const uint8_t obj[4] = {0, 0, 0, 4};
  EXPECT_EQ(DB_rasterband_set_serialized_object(bob->in, kColumn, 70, 1, obj, 4, 1), SE_INVALID_PARAM);
}

}  // namespace
