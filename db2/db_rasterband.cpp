// db_rasterband.cpp -- the rows inside a raster column's side tables: rasters
// (ZUL_RAS_n), bands (ZUL_BND_n), a band's auxiliary objects (ZUL_AUX_n:
// bitmap mask, statistics, serialized object) and its pixel blocks
// (ZUL_BLK_n): hiding and restoring pyramid levels, and deleting tiles in
// batches with a commit per batch.
//
// Divisions:
//   1. tile grid arithmetic
//   2. band rows
//   3. pyramid levels and tile deletion
//   4. auxiliary objects
//   5. raster rows
//
// Notes:
//   1. A block row whose rasterband_id is the band id negated is hidden
//      (saved): tile queries do not read it. Saving a pyramid negates the
//      ids of levels 1 (2 when level 1 is skipped) and up; restoring negates
//      them back.
//   2. Long tile operations commit in batches (about 1 MB of tiles for
//      deletes, 200 tiles for pyramid updates) so that a large band does not
//      fill the DB2 log. Every batch is committed, the last partial one too.
//   3. Deleting a band or a raster takes its hidden tiles and auxiliary rows
//      with it, so that no orphan rows are left in the side tables.
//
// Relies on the statement helper (db_raster_io.h), the side-table names of
// zul_db_tables.h, the mask serializer (comm/raster_bitmap.h) and the
// statistics serializer (zul_pixels.h). The band scan keeps its statement in
// the instance's last cached-statement slot.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "../comm/raster_bitmap.h"
#include "db_raster_io.h"
#include "svr_services.h"
#include "zul_db_raster.h"
#include "zul_db_tables.h"

using rasio::fmt;
using rasio::Stmt;

namespace {

constexpr int kBandScan = SE_DB_CACHED_STMTS - 1;   // the instance's band-scan slot
constexpr int32_t kPyramidBatch = 200;              // tiles per commit of a pyramid update
constexpr int64_t kDeleteBatchBytes = 1048576;      // bytes of tiles per commit of a delete

int32_t max_level(const RASTERBAND* band) { return (band->band_flags >> 16) & 0xFFFF; }
bool skips_level_one(const RASTERBAND* band) { return (band->band_flags & 0x4000) != 0; }

int32_t ceil_div(int32_t a, int32_t b) { return b <= 0 ? 0 : (a + b - 1) / b; }

std::string ras_table(DB_INSTANCE* in, DB_STREAM* s, int32_t id) {
  char t[SE_DB_QUALIFIED_LEN];
  db_make_ras_table_name(in, s, id, t);
  return t;
}
std::string bnd_table(DB_INSTANCE* in, DB_STREAM* s, int32_t id) {
  char t[SE_DB_QUALIFIED_LEN];
  db_make_bnd_table_name(in, s, id, t);
  return t;
}
std::string aux_table(DB_INSTANCE* in, int32_t id) {
  char t[SE_DB_QUALIFIED_LEN];
  db_make_aux_table_name(in, nullptr, id, t);
  return t;
}
std::string blk_table(DB_INSTANCE* in, int32_t id) {
  char t[SE_DB_QUALIFIED_LEN];
  db_make_blk_table_name(in, nullptr, id, t);
  return t;
}

}  // namespace

// ---- 1. tile grid arithmetic -------------------------------------------------------

void db_rasterband_tile_offset(const RASTERBAND* band, SE_TILE_OFFSET* out) {
  memset(out, 0, sizeof *out);
  const SE_ENVELOPE& e = band->envelope;
  if (e.minx > e.maxx || e.miny > e.maxy) return;
  if (e.minx == band->block_origin_x && e.maxy == band->block_origin_y) return;
  // A band one pixel wide or high has no cell size to measure the offset by.
  if (band->width < 2 || band->height < 2 || band->block_width < 1 || band->block_height < 1)
    return;
  double cell_x = (e.maxx - e.minx) / (band->width - 1);
  double cell_y = (e.maxy - e.miny) / (band->height - 1);
  if (cell_x <= 0 || cell_y <= 0) return;
  double px = round((e.minx - band->block_origin_x) / cell_x);   // half away from zero
  double py = round((band->block_origin_y - e.maxy) / cell_y);
  if (fabs(px) > 2e9 || fabs(py) > 2e9) return;
  int32_t pc = (int32_t)px, pr = (int32_t)py;
  int32_t bc = (int32_t)floor((double)pc / band->block_width);
  int32_t br = (int32_t)floor((double)pr / band->block_height);
  out->block_column = bc;
  out->block_row = br;
  out->pixel_column = pc - bc * band->block_width;
  out->pixel_row = pr - br * band->block_height;
}

int32_t db_rasterband_tiles_per_batch(const RASTERBAND* band) {
  int64_t pixels = (int64_t)band->block_width * band->block_height;
  if (pixels <= 0) return 1;
  int64_t bits = ((band->band_types >> 16) & 0xFFFF) / 8;
  int64_t bytes = (pixels * bits + 7) / 8 + (pixels + 7) / 8;
  int64_t n = kDeleteBatchBytes / bytes;
  return n < 1 ? 1 : (int32_t)(n > 1000000 ? 1000000 : n);
}

// ---- 2. band rows --------------------------------------------------------------------

namespace {

const char kBandSelect[] =
    "SELECT rasterband_id, sequence_nbr, raster_id, band_flags, eminx, eminy, emaxx, emaxy, "
    "cdate, mdate, band_width, band_height, block_width, block_height, block_origin_x, "
    "block_origin_y, band_types, name";

// Reads the fetched band row into out, completed as every read completes it.
int32_t read_band(Stmt& st, int32_t rascol_id, RASTERBAND* out) {
  memset(out, 0, sizeof *out);
  SQLLEN ind = 0;
  int32_t* ints1[] = {&out->id, &out->sequence, &out->raster_id, &out->band_flags};
  int32_t s = 0;
  SQLUSMALLINT pos = 1;
  for (int32_t* p : ints1)
    if (s == 0) s = st.get_int(pos++, p, &ind);
  double* d1[] = {&out->envelope.minx, &out->envelope.miny, &out->envelope.maxx,
                  &out->envelope.maxy};
  for (double* p : d1) {
    if (s == 0) {
      SQLRETURN rc = SQLGetData(st.handle(), pos, SQL_C_DOUBLE, p, 0, &ind);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) s = SE_DB_IO_ERROR;
    }
    ++pos;
  }
  int32_t* ints2[] = {&out->creation_date, &out->last_modified, &out->width, &out->height,
                      &out->block_width, &out->block_height};
  for (int32_t* p : ints2)
    if (s == 0) s = st.get_int(pos++, p, &ind);
  double* d2[] = {&out->block_origin_x, &out->block_origin_y};
  for (double* p : d2) {
    if (s == 0) {
      SQLRETURN rc = SQLGetData(st.handle(), pos, SQL_C_DOUBLE, p, 0, &ind);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) s = SE_DB_IO_ERROR;
    }
    ++pos;
  }
  if (s == 0) s = st.get_int(pos++, &out->band_types, &ind);
  char name[66];
  if (s == 0) s = st.get_text(pos++, name, sizeof name, &ind);
  if (s != 0) return s;
  if (ind == SQL_NULL_DATA) name[0] = '\0';
  snprintf(out->description, sizeof out->description, "%.63s", name);
  out->column_id = rascol_id;
  return 0;
}

// Binds the band's values in the order of the insert's columns after the id:
// the update's column list is the same list less cdate.
struct BandParams {
  int32_t id, sequence, raster_id, flags, cdate, mdate, width, height, types, bw, bh;
  double minx, miny, maxx, maxy, ox, oy;
  char name[65];
  SQLLEN name_ind;
  explicit BandParams(const RASTERBAND* b) {
    id = b->id;
    sequence = b->sequence;
    raster_id = b->raster_id;
    flags = b->band_flags;
    cdate = mdate = rasio::now();
    width = b->width;
    height = b->height;
    types = b->band_types;
    bw = b->block_width;
    bh = b->block_height;
    minx = b->envelope.minx;
    miny = b->envelope.miny;
    maxx = b->envelope.maxx;
    maxy = b->envelope.maxy;
    ox = b->block_origin_x;
    oy = b->block_origin_y;
    snprintf(name, sizeof name, "%.*s", (int)sizeof b->description, b->description);
    name_ind = name[0] == '\0' ? SQL_NULL_DATA : SQL_NTS;
  }
};

}  // namespace

int32_t DB_rasterband_def_insert(DB_INSTANCE* instance, const RASTERBAND* band) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  BandParams p(band);
  Stmt st(instance);
  int32_t s = st.prepare(fmt(
      "INSERT INTO %s   (rasterband_id, sequence_nbr, raster_id, band_flags,   eminx, eminy, emaxx, "
      "emaxy,   cdate, mdate, name, band_width,   band_height, band_types, block_width, "
      "block_height,   block_origin_x, block_origin_y) VALUES   (?, ?, ?, ?,   ?, ?, ?, ?,   ?, ?, "
      "?, ?,   ?, ?, ?, ?,   ?, ?)",
      bnd_table(instance, nullptr, band->column_id).c_str()));
  if (s == 0) s = st.bind_int(&p.id);
  if (s == 0) s = st.bind_int(&p.sequence);
  if (s == 0) s = st.bind_int(&p.raster_id);
  if (s == 0) s = st.bind_int(&p.flags);
  for (const double* d : {&p.minx, &p.miny, &p.maxx, &p.maxy})
    if (s == 0) s = st.bind_double(d);
  if (s == 0) s = st.bind_int(&p.cdate);
  if (s == 0) s = st.bind_int(&p.mdate);
  if (s == 0) s = st.bind_text(p.name, 64, &p.name_ind);
  for (const int32_t* v : {&p.width, &p.height, &p.types, &p.bw, &p.bh})
    if (s == 0) s = st.bind_int(v);
  if (s == 0) s = st.bind_double(&p.ox);
  if (s == 0) s = st.bind_double(&p.oy);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR) {
    if (st.state_is("23000") || st.state_is("23505")) return SE_RASTERBAND_EXISTS;
    return st.record();
  }
  return rasio::commit(instance);
}

int32_t DB_rasterband_def_update(DB_INSTANCE* instance, const RASTERBAND* band) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  BandParams p(band);
  Stmt st(instance);
  int32_t s = st.prepare(fmt(
      "UPDATE %s SET sequence_nbr = ?, raster_id = ?, band_flags = ?,    eminx = ?, eminy = ?, "
      "emaxx = ?, emaxy = ?,    mdate = ?, name = ?, band_width = ?, band_height = ?,    "
      "band_types = ?, block_width = ?, block_height = ?,    block_origin_x = ?, block_origin_y = "
      "? WHERE rasterband_id = %ld",
      bnd_table(instance, nullptr, band->column_id).c_str(), (long)band->id));
  if (s == 0) s = st.bind_int(&p.sequence);
  if (s == 0) s = st.bind_int(&p.raster_id);
  if (s == 0) s = st.bind_int(&p.flags);
  for (const double* d : {&p.minx, &p.miny, &p.maxx, &p.maxy})
    if (s == 0) s = st.bind_double(d);
  if (s == 0) s = st.bind_int(&p.mdate);
  if (s == 0) s = st.bind_text(p.name, 64, &p.name_ind);
  for (const int32_t* v : {&p.width, &p.height, &p.types, &p.bw, &p.bh})
    if (s == 0) s = st.bind_int(v);
  if (s == 0) s = st.bind_double(&p.ox);
  if (s == 0) s = st.bind_double(&p.oy);
  if (s == 0) s = st.execute();
  if (s == SE_DB_NO_DATA) s = 0;
  if (s == SE_DB_IO_ERROR) {
    if (st.state_is("23000") || st.state_is("23505")) return SE_RASTERBAND_UPDATE_CONFLICT;
    return st.record();
  }
  return rasio::commit(instance);
}

int32_t DB_rasterband_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream,
                                     int32_t rascol_id, int32_t band_id, RASTERBAND* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  Stmt st(instance, stream);
  int32_t s = st.prepare(fmt("%s FROM %s WHERE rasterband_id = %d", kBandSelect,
                             bnd_table(instance, stream, rascol_id).c_str(), (int)band_id));
  if (s == 0) s = st.execute();
  if (s == 0) s = st.fetch();
  if (s == 0) s = read_band(st, rascol_id, out);
  if (s == SE_FINISHED) return SE_RASTERBAND_NOEXIST;
  return s == 0 ? 0 : st.record();
}

int32_t DB_rasterband_first(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id,
                            RASTERBAND* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  DB_CACHED_STMT& slot = instance->cached[kBandScan];
  db_free_stmt(&slot.stmt);
  slot.prepared = 0;
  std::string table = bnd_table(instance, nullptr, rascol_id);
  std::string sql = raster_id > 0
                        ? fmt("%s FROM %s WHERE raster_id = %d ORDER BY rasterband_id",
                              kBandSelect, table.c_str(), (int)raster_id)
                        : fmt("%s FROM %s ORDER BY rasterband_id", kBandSelect, table.c_str());
  Stmt st(instance);
  int32_t s = st.prepare(sql);
  if (s == 0) s = st.execute();
  if (s != 0) return st.record();
  slot.stmt = st.release();
  slot.prepared = 1;
  return DB_rasterband_next(instance, rascol_id, out);
}

int32_t DB_rasterband_next(DB_INSTANCE* instance, int32_t rascol_id, RASTERBAND* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  DB_CACHED_STMT& slot = instance->cached[kBandScan];
  if (slot.stmt == SQL_NULL_HSTMT) return SE_FINISHED;
  Stmt st(instance);
  st.adopt(slot.stmt);
  int32_t s = st.fetch();
  if (s == 0) s = read_band(st, rascol_id, out);
  if (s == 0) {
    slot.stmt = st.release();
    return 0;
  }
  if (s != SE_FINISHED) s = st.record();
  slot.stmt = SQL_NULL_HSTMT;   // freed with st: the scan ends
  slot.prepared = 0;
  return s;
}

namespace {

// One integer that a query yields (NULL or no row: 0). 0, -37 for a
// missing table, -51.
int32_t scalar(DB_INSTANCE* instance, const std::string& sql, int32_t* out) {
  *out = 0;
  Stmt st(instance);
  SQLLEN ind = 0;
  int32_t s = st.prepare(sql);
  if (s == 0) s = st.execute();
  if (s == 0) s = st.fetch();
  if (s == 0) s = st.get_int(1, out, &ind);
  if (s == SE_FINISHED) return 0;
  if (s != 0) return st.state_is("42S02") ? SE_TABLE_NOEXIST : st.record();
  if (ind == SQL_NULL_DATA) *out = 0;
  return 0;
}

}  // namespace

int32_t DB_rasterband_get_max_id(DB_INSTANCE* instance, int32_t rascol_id, int32_t* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  return scalar(instance,
                fmt("SELECT MAX(rasterband_id) FROM %s", bnd_table(instance, nullptr, rascol_id).c_str()),
                out);
}

int32_t DB_rasterband_get_count(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id,
                                int32_t* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  std::string table = bnd_table(instance, nullptr, rascol_id);
  return scalar(instance,
                raster_id > 0 ? fmt("SELECT count(rasterband_id) FROM %s WHERE raster_id = %d",
                                    table.c_str(), (int)raster_id)
                              : fmt("SELECT count(rasterband_id) FROM %s", table.c_str()),
                out);
}

// ---- 3. pyramid levels and tile deletion -------------------------------------------------

namespace {

// Negates the block ids of the pyramid levels (note 1); restore starts from
// the negated ids.
int32_t pyramid_set_visible(DB_INSTANCE* instance, const RASTERBAND* band, bool save) {
  int32_t last = max_level(band);
  int32_t first = skips_level_one(band) ? 2 : 1;
  if (first > last) return 0;
  if (band->block_width < 1 || band->block_height < 1) return SE_INVALID_PARAM;
  SE_TILE_OFFSET off;
  db_rasterband_tile_offset(band, &off);
  int32_t w = band->width + off.pixel_column, h = band->height + off.pixel_row;
  int32_t id = save ? band->id : -band->id, level = 0, row = 0;
  Stmt st(instance);
  int32_t s = st.prepare(fmt("UPDATE %s SET    rasterband_id = -rasterband_id WHERE  rasterband_id "
                             " = ?       AND rrd_factor = ?       AND row_nbr    = ?",
                             blk_table(instance, band->column_id).c_str()));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.bind_int(&level);
  if (s == 0) s = st.bind_int(&row);
  int32_t pending = 0;   // tiles updated since the last commit
  // Every level halves the one below it, so the grid is followed from level 1
  // even when the first level acted on is 2.
  for (level = 1; s == 0 && level <= last; ++level) {
    w = (w + 1) / 2;
    h = (h + 1) / 2;
    if (level < first) continue;
    int32_t across = ceil_div(w, band->block_width), rows = ceil_div(h, band->block_height);
    for (row = 0; s == 0 && row < rows; ++row) {
      s = st.execute();
      if (s == SE_DB_NO_DATA) s = 0;
      pending += across;
      if (s == 0 && pending >= kPyramidBatch) {
        s = rasio::commit(instance);
        pending = 0;
      }
    }
  }
  if (s == 0 && pending > 0) s = rasio::commit(instance);
  if (s == SE_DB_IO_ERROR && st.sqlstate()[0] != '\0') st.record();
  if (s != 0) SES_print_debug(stderr, "Error: S_pyramid_set_visible (%d)\n", (int)s);
  return s;
}

// Deletes a band's tiles level by level in batches. pyramid: leave level 0
// and take the hidden tiles unless visible is set.
int32_t delete_level_tiles(DB_INSTANCE* instance, const RASTERBAND* band, bool pyramid,
                           bool visible) {
  if (band->block_width < 1 || band->block_height < 1) {
    // A band without a tile grid can still be deleted: all its tiles at once.
    if (pyramid) return SE_INVALID_PARAM;
    int32_t s = rasio::exec_sql(instance,
                                fmt("DELETE FROM %s WHERE rasterband_id = %d",
                                    blk_table(instance, band->column_id).c_str(), (int)band->id),
                                true);
    return s == SE_DB_NO_DATA ? 0 : s;
  }
  int32_t id = (pyramid && !visible) ? -band->id : band->id;
  SE_TILE_OFFSET off;
  db_rasterband_tile_offset(band, &off);
  int32_t batch = db_rasterband_tiles_per_batch(band);
  int32_t w = band->width + off.pixel_column, h = band->height + off.pixel_row;
  int32_t brow = off.block_row, bcol = off.block_column;
  int32_t level = 0, row = 0, bound = 0;
  Stmt st(instance);
  int32_t s = st.prepare(fmt("DELETE FROM %s WHERE  rasterband_id = %d        AND rrd_factor = ?  "
                             "      AND row_nbr = ? AND col_nbr <= ?",
                             blk_table(instance, band->column_id).c_str(), (int)id));
  if (s == 0) s = st.bind_int(&level);
  if (s == 0) s = st.bind_int(&row);
  if (s == 0) s = st.bind_int(&bound);
  for (level = 0; s == 0 && level <= max_level(band); ++level) {
    int32_t across = ceil_div(w, band->block_width), rows = ceil_div(h, band->block_height);
    bool skip = (level == 0 && pyramid) || (level == 1 && skips_level_one(band));
    for (row = brow; !skip && s == 0 && row < brow + rows; ++row) {
      for (int32_t c = bcol; s == 0 && c < bcol + across; c += batch) {
        bound = c + batch - 1;
        s = st.execute();
        if (s == SE_DB_NO_DATA) s = 0;
        if (s == 0) s = rasio::commit(instance);
      }
    }
    w = (w + 1) / 2;
    h = (h + 1) / 2;
    brow = bcol = 0;
  }
  if (s == SE_DB_IO_ERROR && st.sqlstate()[0] != '\0') st.record();
  if (s != 0) SES_print_debug(stderr, "Error: S_delete_tiles (%d)\n", (int)s);
  return s;
}

// Deletes the band's hidden tiles, every level at once (note 3).
int32_t delete_hidden_tiles(DB_INSTANCE* instance, const RASTERBAND* band) {
  int32_t s = rasio::exec_sql(instance,
                              fmt("DELETE FROM %s WHERE rasterband_id = %d",
                                  blk_table(instance, band->column_id).c_str(), (int)-band->id),
                              false);
  return s == SE_DB_NO_DATA ? 0 : s;
}

}  // namespace

int32_t DB_rasterband_save_pyramid(DB_INSTANCE* instance, const RASTERBAND* band) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  return pyramid_set_visible(instance, band, true);
}

int32_t DB_rasterband_restore_pyramid(DB_INSTANCE* instance, const RASTERBAND* band) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  return pyramid_set_visible(instance, band, false);
}

int32_t DB_rasterband_delete_pyramid(DB_INSTANCE* instance, const RASTERBAND* band,
                                     int32_t visible) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  return delete_level_tiles(instance, band, true, visible != 0);
}

int32_t DB_rasterband_delete_tiles(DB_INSTANCE* instance, const RASTERBAND* band,
                                   const SE_TILE_RANGE* range, int32_t hidden, int32_t drop) {
  if (instance == nullptr || band == nullptr || range == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (drop && !hidden) return 0;
  std::string blk = blk_table(instance, band->column_id);
  int32_t row = 0, bound = 0;
  Stmt st(instance);
  int32_t s = 0;
  if (hidden == drop) {
    // both flags: the hidden tiles; neither: the visible ones
    int32_t batch = db_rasterband_tiles_per_batch(band);
    s = st.prepare(hidden ? fmt("DELETE FROM %s WHERE  rasterband_id = -%d       AND rrd_factor = 0"
                                "       AND row_nbr = ?       AND col_nbr >= %d       AND col_nbr "
                                "<= ?",
                                blk.c_str(), (int)band->id, (int)range->min_column)
                          : fmt("DELETE FROM %s WHERE  rasterband_id = %d        AND rrd_factor = "
                                "0        AND row_nbr = ?        AND col_nbr >= %d        AND "
                                "col_nbr <= ?",
                                blk.c_str(), (int)band->id, (int)range->min_column));
    if (s == 0) s = st.bind_int(&row);
    if (s == 0) s = st.bind_int(&bound);
    for (row = range->min_row; s == 0 && row <= range->max_row; ++row) {
      for (int64_t c = range->min_column; s == 0 && c <= range->max_column; c += batch) {
        bound = (int32_t)(c + batch - 1 < range->max_column ? c + batch - 1 : range->max_column);
        s = st.execute();
        if (s == SE_DB_NO_DATA) s = 0;
        if (s == 0) s = rasio::commit(instance);
      }
    }
  } else {
    // hidden alone: discard the edited tiles and bring the saved ones back
    int32_t batch = db_rasterband_tiles_per_batch(band);
    s = st.prepare(fmt("DELETE FROM %s WHERE  rasterband_id = %d       AND rrd_factor = 0       "
                       "AND row_nbr = ?       AND col_nbr >= %d        AND col_nbr <= ?",
                       blk.c_str(), (int)band->id, (int)range->min_column));
    if (s == 0) s = st.bind_int(&row);
    if (s == 0) s = st.bind_int(&bound);
    int32_t pending = 0;
    for (row = range->min_row; s == 0 && row <= range->max_row; ++row) {
      for (bound = range->min_column; s == 0 && bound <= range->max_column; ++bound) {
        s = st.execute();
        if (s == SE_DB_NO_DATA) s = 0;
        if (s == 0 && ++pending >= batch) {
          s = rasio::commit(instance);
          pending = 0;
        }
        if (bound == INT32_MAX) break;
      }
    }
    if (s == 0 && pending > 0) s = rasio::commit(instance);
    if (s == SE_DB_IO_ERROR && st.sqlstate()[0] != '\0') st.record();
    if (s == 0) {
      s = rasio::exec_sql(instance,
                          fmt("UPDATE %s SET    rasterband_id = %d WHERE  rasterband_id = -%d      "
                              "  AND rrd_factor = 0        AND row_nbr >= %d AND row_nbr <= %d     "
                              "   AND col_nbr >= %d AND col_nbr <= %d",
                              blk.c_str(), (int)band->id, (int)band->id, (int)range->min_row,
                              (int)range->max_row, (int)range->min_column, (int)range->max_column),
                          true);
      if (s == SE_DB_NO_DATA) s = 0;
    }
    if (s != 0) SES_print_debug(stderr, "Error: DB_rasterband_delete_tiles (%d)\n", (int)s);
    return s;
  }
  if (s == SE_DB_IO_ERROR && st.sqlstate()[0] != '\0') st.record();
  if (s != 0) SES_print_debug(stderr, "Error: DB_rasterband_delete_tiles (%d)\n", (int)s);
  return s;
}

int32_t DB_rasterband_def_delete(DB_INSTANCE* instance, const RASTERBAND* band) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t s = delete_level_tiles(instance, band, false, true);
  if (s == 0) s = delete_hidden_tiles(instance, band);
  if (s != 0) {
    rasio::rollback(instance);
    return s;
  }
  const std::string tables[] = {aux_table(instance, band->column_id),
                                bnd_table(instance, nullptr, band->column_id)};
  for (const auto& t : tables) {
    s = rasio::exec_sql(instance, fmt("DELETE FROM %s WHERE rasterband_id = %d", t.c_str(),
                                      (int)band->id),
                        false);
    if (s == SE_DB_NO_DATA) s = 0;
    if (s != 0) {
      SES_print_debug(stderr, "Error: DB_rasterband_def_delete (%d)\n", (int)s);
      rasio::rollback(instance);
      return SE_DB_IO_ERROR;
    }
  }
  return rasio::commit(instance);
}

// ---- 4. auxiliary objects -------------------------------------------------------------------

namespace {

// Stores an object row: UPDATE when the band has one of the type, else
// INSERT. -232 the row exists (a concurrent insert).
int32_t store_object(DB_INSTANCE* instance, int32_t rascol_id, int32_t band_id, int32_t type,
                     const uint8_t* data, int32_t len, bool with_commit) {
  std::string aux = aux_table(instance, rascol_id);
  bool exists = false;
  {
    Stmt probe(instance);
    int32_t s = probe.prepare(fmt("SELECT rasterband_id FROM %s WHERE rasterband_id = %d AND type = %d",
                                  aux.c_str(), (int)band_id, (int)type));
    if (s == 0) s = probe.execute();
    if (s == 0) s = probe.fetch();
    if (s == 0) exists = true;
    else if (s != SE_FINISHED) return probe.record();
  }
  Stmt st(instance);
  SQLLEN blob_len = len;
  int32_t id = band_id;
  int32_t s;
  if (exists) {
    s = st.prepare(fmt("UPDATE %s SET object = ? WHERE rasterband_id = %d AND type = %d",
                       aux.c_str(), (int)band_id, (int)type));
    if (s == 0) s = st.bind_blob(data, &blob_len);
  } else {
    s = st.prepare(fmt("INSERT INTO %s (rasterband_id, type, object) VALUES (?, %d, ?)",
                       aux.c_str(), (int)type));
    if (s == 0) s = st.bind_int(&id);
    if (s == 0) s = st.bind_blob(data, &blob_len);
  }
  if (s == 0) s = st.execute();
  if (s == SE_DB_NO_DATA) s = 0;
  if (s == SE_DB_IO_ERROR) {
    if (st.state_is("23000") || st.state_is("23505")) return SE_AUX_OBJECT_EXISTS;
    return st.record();
  }
  return with_commit ? rasio::commit(instance) : 0;
}

}  // namespace

int32_t DB_rasterband_set_bitmap_mask(DB_INSTANCE* instance, const RASTERBAND* band,
                                      const SE_RASTER_BITMAP* mask) {
  if (instance == nullptr || band == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t s;
  if (mask == nullptr) {
    s = rasio::exec_sql(instance,
                        fmt("DELETE FROM %s WHERE rasterband_id = %d AND type = %d",
                            aux_table(instance, band->column_id).c_str(), (int)band->id,
                            SE_AUX_BITMAP_MASK),
                        true);
    if (s == SE_DB_NO_DATA) s = 0;
  } else {
    uint8_t* data = nullptr;
    int32_t len = 0;
    s = SES_raster_bitmap_serialize(mask, &data, &len);
    if (s == SE_OUT_OF_MEMORY) s = SE_OUT_OF_DBMS_MEM;
    if (s == 0) s = store_object(instance, band->column_id, band->id, SE_AUX_BITMAP_MASK, data, len, true);
    free(data);
  }
  if (s != 0) SES_print_debug(stderr, "Error: DB_rasterband_set_bitmap_mask (%d)\n", (int)s);
  return s;
}

int32_t DB_rasterband_get_bitmap_mask(DB_INSTANCE* instance, const RASTERBAND* band,
                                      SE_RASTER_BITMAP** mask, int32_t* tiles_across,
                                      int32_t* tiles_down) {
  if (instance == nullptr || band == nullptr || mask == nullptr || tiles_across == nullptr ||
      tiles_down == nullptr)
    return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  *mask = nullptr;
  SE_TILE_OFFSET off;
  db_rasterband_tile_offset(band, &off);
  *tiles_across = ceil_div(band->width + off.pixel_column, band->block_width);
  *tiles_down = ceil_div(band->height + off.pixel_row, band->block_height);
  int32_t expected = SES_raster_bitmap_get_serialized_length(*tiles_across, *tiles_down);
  if (expected <= 0) return SE_RASTER_MASK_INVALID;
  uint8_t* data = static_cast<uint8_t*>(malloc((size_t)expected));
  if (data == nullptr) return SE_OUT_OF_DBMS_MEM;
  SQLLEN ind = 0;
  Stmt st(instance);
  int32_t s = st.prepare(fmt("SELECT object FROM %s WHERE rasterband_id = %d AND type = %d",
                             aux_table(instance, band->column_id).c_str(), (int)band->id,
                             SE_AUX_BITMAP_MASK));
  if (s == 0) s = st.col_blob(data, expected, &ind);
  if (s == 0) s = st.execute();
  if (s == 0) s = st.fetch();
  if (s == SE_FINISHED) {
    free(data);
    return 0;
  }
  if (s == 0) {
    // A stored mask of another size than the band's grid is not believed.
    if (st.truncated() || ind == SQL_NULL_DATA || ind != expected) s = SE_RASTER_MASK_INVALID;
    else if ((*mask = SES_raster_bitmap_deserialize(data, expected, *tiles_across, *tiles_down)) ==
             nullptr)
      s = SE_RASTER_MASK_INVALID;
  } else {
    s = st.record();
  }
  free(data);
  if (s != 0) SES_print_debug(stderr, "Error: DB_rasterband_get_bitmap_mask (%d)\n", (int)s);
  return s;
}

int32_t DB_rasterband_set_serialized_object(DB_INSTANCE* instance, int32_t rascol_id,
                                            int32_t band_id, int32_t type, const uint8_t* data,
                                            int32_t len, int32_t commit) {
  if (instance == nullptr || data == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (type != SE_AUX_STATISTICS && type != SE_AUX_SERIALIZED_OBJECT) return SE_INVALID_PARAM;
  if (len < 0) return SE_INVALID_PARAM;
  int32_t s = store_object(instance, rascol_id, band_id, type, data, len, commit != 0);
  if (s != 0) SES_print_debug(stderr, "Error: DB_rasterband_set_serialized_object (%d)\n", (int)s);
  return s;
}

int32_t DB_rasterband_set_stats(DB_INSTANCE* instance, const RASTERBAND* band,
                                const RASTERBAND_STATS* stats, int32_t commit) {
  if (instance == nullptr || band == nullptr || stats == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  uint8_t* data = nullptr;
  int32_t len = 0;
  int32_t s = SES_rasterband_stats_serialize(stats, &data, &len);
  if (s == SE_OUT_OF_MEMORY) s = SE_OUT_OF_DBMS_MEM;
  if (s == 0)
    s = DB_rasterband_set_serialized_object(instance, band->column_id, band->id, SE_AUX_STATISTICS,
                                            data, len, commit);
  free(data);
  return s;
}

int32_t DB_rasterband_get_serialized_object(DB_INSTANCE* instance, int32_t rascol_id,
                                            int32_t band_id, int32_t type, uint8_t** data,
                                            int32_t* len) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (type != SE_AUX_STATISTICS && type != SE_AUX_SERIALIZED_OBJECT) return SE_INVALID_PARAM;
  if (data == nullptr || len == nullptr) return SE_INVALID_POINTER;
  *data = nullptr;
  *len = 0;
  // The object column holds at most 1 MB.
  constexpr int32_t kMaxObject = 1048576;
  int32_t cap = type == SE_AUX_STATISTICS ? 4164 : 4116;
  std::string sql = fmt("SELECT object FROM %s WHERE rasterband_id = %d AND type = %d",
                        aux_table(instance, rascol_id).c_str(), (int)band_id, (int)type);
  for (int pass = 0; pass < 2; ++pass) {
    uint8_t* buf = static_cast<uint8_t*>(malloc((size_t)cap));
    if (buf == nullptr) return SE_OUT_OF_DBMS_MEM;
    SQLLEN ind = 0;
    Stmt st(instance);
    int32_t s = st.prepare(sql);
    if (s == 0) s = st.col_blob(buf, cap, &ind);
    if (s == 0) s = st.execute();
    if (s == 0) s = st.fetch();
    if (s == 0 && st.truncated() && pass == 0) {
      // The real length is the object's own big-endian prefix.
      int32_t real = SES_rasterband_get_serialized_length(buf);
      free(buf);
      if (real <= cap || real > kMaxObject) {
        SES_print_debug(stderr, "Error: DB_rasterband_get_serialized_object (%d)\n", SE_INVALID_PARAM);
        return SE_INVALID_PARAM;
      }
      cap = real;
      continue;
    }
    if (s == 0 && (ind == SQL_NULL_DATA || st.truncated())) s = SE_INVALID_PARAM;
    if (s == SE_DB_IO_ERROR) s = st.record();
    if (s != 0) {
      free(buf);
      SES_print_debug(stderr, "Error: DB_rasterband_get_serialized_object (%d)\n", (int)s);
      return s;
    }
    *data = buf;
    *len = (int32_t)ind;
    return 0;
  }
  return SE_INVALID_PARAM;
}

// ---- 5. raster rows -----------------------------------------------------------------------------

int32_t DB_raster_def_insert(DB_INSTANCE* instance, const RASTER* raster) {
  if (instance == nullptr || raster == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t id = raster->id;
  char desc[65];
  snprintf(desc, sizeof desc, "%.*s", (int)sizeof raster->description, raster->description);
  SQLLEN desc_ind = desc[0] == '\0' ? SQL_NULL_DATA : SQL_NTS;
  Stmt st(instance);
  int32_t s = st.prepare(fmt("INSERT INTO %s (raster_id, description) VALUES (?, ?)",
                             ras_table(instance, nullptr, raster->column_id).c_str()));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.bind_text(desc, 64, &desc_ind);
  if (s == 0) s = st.execute();
  if (s == SE_DB_IO_ERROR)
    s = (st.state_is("23000") || st.state_is("23505")) ? SE_RASTER_EXISTS : st.record();
  if (s == 0) s = rasio::commit(instance);
  if (s != 0) SES_print_debug(stderr, "DB_raster_def_insert error (%d)\n", (int)s);
  return s;
}

int32_t DB_raster_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t rascol_id,
                                 int32_t raster_id, RASTER* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  Stmt st(instance, stream);
  char desc[66];
  SQLLEN ind = 0;
  int32_t id = 0;
  int32_t s = st.prepare(fmt("%s FROM %s WHERE raster_id = %d", "SELECT raster_id, description",
                             ras_table(instance, stream, rascol_id).c_str(), (int)raster_id));
  if (s == 0) s = st.execute();
  if (s == 0) s = st.fetch();
  if (s == 0) s = st.get_int(1, &id, nullptr);
  if (s == 0) s = st.get_text(2, desc, sizeof desc, &ind);
  if (s == SE_FINISHED) return SE_RASTER_NOEXIST;
  if (s != 0) return st.record();
  memset(out, 0, sizeof *out);
  out->id = id;
  out->column_id = rascol_id;
  snprintf(out->description, sizeof out->description, "%.63s", ind == SQL_NULL_DATA ? "" : desc);
  return 0;
}

int32_t DB_raster_get_max_id(DB_INSTANCE* instance, int32_t rascol_id, int32_t* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  return scalar(instance,
                fmt("SELECT MAX(raster_id) FROM %s", ras_table(instance, nullptr, rascol_id).c_str()),
                out);
}

int32_t DB_raster_def_delete(DB_INSTANCE* instance, int32_t rascol_id, int32_t raster_id) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t count = 0;
  int32_t s = DB_rasterband_get_count(instance, rascol_id, raster_id, &count);
  if (s != 0) return s;
  std::vector<RASTERBAND> bands;
  if (count > 0) {
    RASTERBAND b;
    for (s = DB_rasterband_first(instance, rascol_id, raster_id, &b); s == 0 || s == SE_NO_PERMISSIONS;
         s = DB_rasterband_next(instance, rascol_id, &b))
      if (s == 0 && b.raster_id == raster_id) bands.push_back(b);
    if (s != SE_FINISHED) return s;
  }
  for (const RASTERBAND& b : bands) {
    s = delete_level_tiles(instance, &b, false, true);
    if (s == 0) s = delete_hidden_tiles(instance, &b);
    if (s == 0)
      s = rasio::exec_sql(instance,
                          fmt("DELETE FROM %s WHERE rasterband_id = %d",
                              aux_table(instance, rascol_id).c_str(), (int)b.id),
                          false);
    if (s == SE_DB_NO_DATA) s = 0;
    if (s != 0) {
      rasio::rollback(instance);
      return s;
    }
  }
  const std::string tables[] = {bnd_table(instance, nullptr, rascol_id),
                                ras_table(instance, nullptr, rascol_id)};
  for (const auto& t : tables) {
    s = rasio::exec_sql(instance,
                        fmt("DELETE FROM %s WHERE raster_id = %d", t.c_str(), (int)raster_id), false);
    if (s == SE_DB_NO_DATA) s = 0;
    if (s != 0) {
      SES_print_debug(stderr, "DB_raster_def_delete Execute error (%d)\n", (int)s);
      return s;
    }
  }
  return rasio::commit(instance);
}
