// db_raster_records.cpp -- raster column records: reading RASTER_COLUMNS rows
// into RASTERCOLUMN records by id, by table (and column) name, and as a scan
// kept in the instance; each record with its coordinate reference from the
// Spatial Extender catalogue and the current user's privilege mask.
//
// Relies on the statement helper (db_raster_io.h), the object names and
// parsers of zul_db_tables.h and the table privileges of zul_db_table.h.
// The raster scan uses the instance's third scan slot.
#include <stdio.h>
#include <string.h>

#include "db_raster_io.h"
#include "geomkit.h"
#include "zul_db_raster.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

using rasio::Stmt;

namespace {

const char kSelect[] =
    "SELECT rastercolumn_id, rc.description, database_name, owner, table_name, raster_column, "
    "cdate, config_keyword, minimum_id, base_rastercolumn_id, rastercolumn_mask, rc.srid";

constexpr int kRasterScan = 2;   // the instance's raster scan slot

// One RASTER_COLUMNS row. Text buffers hold the longest column DB2 can
// deliver; a longer value is cut (01004 is success).
struct RowBuf {
  int32_t id = 0, cdate = 0, min_id = 0, base_id = 0, mask = 0, srid = 0;
  char desc[66], database[33], owner[33], table[161], column[129], config[33];
  SQLLEN ind[12];
};

// Reads the fetched row into b.
int32_t read_row(Stmt& st, RowBuf& b) {
  int32_t s = st.get_int(1, &b.id, &b.ind[0]);
  if (s == 0) s = st.get_text(2, b.desc, sizeof b.desc, &b.ind[1]);
  if (s == 0) s = st.get_text(3, b.database, sizeof b.database, &b.ind[2]);
  if (s == 0) s = st.get_text(4, b.owner, sizeof b.owner, &b.ind[3]);
  if (s == 0) s = st.get_text(5, b.table, sizeof b.table, &b.ind[4]);
  if (s == 0) s = st.get_text(6, b.column, sizeof b.column, &b.ind[5]);
  if (s == 0) s = st.get_int(7, &b.cdate, &b.ind[6]);
  if (s == 0) s = st.get_text(8, b.config, sizeof b.config, &b.ind[7]);
  if (s == 0) s = st.get_int(9, &b.min_id, &b.ind[8]);
  if (s == 0) s = st.get_int(10, &b.base_id, &b.ind[9]);
  if (s == 0) s = st.get_int(11, &b.mask, &b.ind[10]);
  if (s == 0) s = st.get_int(12, &b.srid, &b.ind[11]);
  return s;
}

// Fetches the next row into b: 0, -4 or -51 (not yet recorded).
int32_t fetch_row(Stmt& st, RowBuf& b) {
  int32_t s = st.fetch();
  if (s == 0) s = read_row(st, b);
  return s;
}

// Copies a fetched text into a record field, cut to cap - 1 and terminated;
// NULL gives an empty text.
void put(char* out, size_t cap, const char* text, SQLLEN ind) {
  if (ind == SQL_NULL_DATA) {
    out[0] = '\0';
    return;
  }
  snprintf(out, cap, "%s", text);
}

// Fills the record from the row; the coordref pointer is left as the caller
// set it. 1 when the row has a srid.
bool fill(const RowBuf& b, RASTERCOLUMN* out) {
  out->id = b.id;
  put(out->description, sizeof out->description, b.desc, b.ind[1]);
  put(out->database, sizeof out->database, b.database, b.ind[2]);
  put(out->owner, sizeof out->owner, b.owner, b.ind[3]);
  put(out->table, sizeof out->table, b.table, b.ind[4]);
  put(out->column, sizeof out->column, b.column, b.ind[5]);
  out->creation_date = b.ind[6] == SQL_NULL_DATA ? 0 : b.cdate;
  put(out->config_keyword, sizeof out->config_keyword, b.config, b.ind[7]);
  out->min_id = b.ind[8] == SQL_NULL_DATA ? 1u : (uint32_t)b.min_id;
  out->value372 = b.ind[9] == SQL_NULL_DATA ? 0 : b.base_id;
  out->mask = b.ind[10] == SQL_NULL_DATA ? 0 : b.mask;
  out->privileges = 0;
  return b.ind[11] != SQL_NULL_DATA;
}

// Fills the record's COORDREF from the Spatial Extender catalogue. 0; -255
// no such spatial reference; -51.
int32_t read_coordref(DB_INSTANCE* instance, DB_STREAM* stream, int32_t srid, COORDREF* cr) {
  Stmt st(instance, stream);
  double v[7] = {0, 0, 0, 0, 0, 0, 0};
  char srtext[SG_SRTEXT_CAP];
  SQLLEN text_ind = 0;
  int32_t s = st.prepare(
      "SELECT falsex, falsey, xyunits, falsez, zunits, falsem,        munits, srtext FROM   "
      "db2gse.gse_spatial_ref sr, db2gse.gse_coord_ref cr WHERE  sr.scid = cr.scid"
      " AND sr.srid = ? ");
  if (s == 0) s = st.bind_int(&srid);
  for (int i = 0; s == 0 && i < 7; ++i) s = st.col_double(&v[i]);
  if (s == 0) s = st.col_text(srtext, sizeof srtext, &text_ind);
  if (s == 0) s = st.execute();
  if (s == 0) s = st.fetch();
  if (s == SE_FINISHED) return SE_RASTER_SREF_NOEXIST;
  if (s != 0) return st.record();
  cr->srid = srid;
  cr->falsex = v[0];
  cr->falsey = v[1];
  cr->xyunits = v[2];
  cr->falsez = v[3];
  cr->zunits = v[4];
  cr->falsem = v[5];
  cr->munits = v[6];
  if (cr->srtext != nullptr) {
    if (text_ind == SQL_NULL_DATA) srtext[0] = '\0';
    size_t len = strnlen(srtext, sizeof srtext - 1);
    while (len > 0 && srtext[len - 1] == ' ') --len;
    memcpy(cr->srtext, srtext, len);
    cr->srtext[len] = '\0';
  }
  return 0;
}

// The current user's privilege mask on the raster column: 30 for its
// owner, else the AND of the masks on the business table and the block
// table. -25 without the select right.
int32_t get_permissions(DB_INSTANCE* instance, RASTERCOLUMN* rc) {
  std::string owner = rasio::field(rc->owner, sizeof rc->owner);
  if (owner == instance->current_user) {
    rc->privileges = 30;
    return 0;
  }
  char table[SE_DB_QUALIFIED_LEN], blk[SE_DB_QUALIFIED_LEN];
  std::string db = rasio::field(rc->database, sizeof rc->database);
  DB_table_make_name(db.c_str(), owner.c_str(), rasio::field(rc->table, sizeof rc->table).c_str(),
                     table);
  db_make_blk_table_name_from_info(rc, blk);
  int32_t on_table = 0, on_blk = 0;
  int32_t s = DB_table_get_permissions(instance, instance->current_user, table, &on_table);
  if (s == 0) s = DB_table_get_permissions(instance, instance->current_user, blk, &on_blk);
  if (s != 0) return s;
  rc->privileges = on_table & on_blk;
  return (rc->privileges & 0x2) ? 0 : SE_NO_PERMISSIONS;
}

// Completes a fetched record: coordinate reference, then privileges.
int32_t complete(DB_INSTANCE* instance, DB_STREAM* stream, const RowBuf& b, RASTERCOLUMN* out) {
  bool has_srid = fill(b, out);
  if (!has_srid) {
    out->coordref = nullptr;
  } else if (out->coordref != nullptr) {
    int32_t s = read_coordref(instance, stream, b.srid, out->coordref);
    if (s != 0) {
      out->coordref = nullptr;
      return s;
    }
  }
  return get_permissions(instance, out);
}

void clear_errors(DB_INSTANCE* instance, DB_STREAM* stream) {
  DB_instance_clear_xerr(instance);
  if (stream != nullptr) DB_stream_clear_xerr(stream);
}

}  // namespace

int32_t DB_rastercolumn_get_info_by_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t id,
                                       RASTERCOLUMN* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  clear_errors(instance, stream);
  char table[SE_DB_QUALIFIED_LEN];
  db_make_raster_columns_table_name(instance, table);
  Stmt st(instance, stream);
  RowBuf b;
  int32_t s = st.prepare(rasio::fmt("%s FROM %s rc WHERE rastercolumn_id = ?", kSelect, table));
  if (s == 0) s = st.bind_int(&id);
  if (s == 0) s = st.execute();
  if (s == 0) s = fetch_row(st, b);
  if (s == SE_FINISHED) return SE_RASTERCOLUMN_NOEXIST;
  if (s != 0) return st.record();
  return complete(instance, stream, b, out);
}

int32_t DB_rastercolumn_get_info_by_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                         const char* table, const char* column,
                                         const char* owner, RASTERCOLUMN* out) {
  if (instance == nullptr || table == nullptr || owner == nullptr || out == nullptr)
    return SE_INVALID_POINTER;
  clear_errors(instance, stream);
  char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, table, owner, db, own, tab);
  char col[SE_NAME_COLUMN_LEN] = "";
  bool has_column = column != nullptr && column[0] != '\0';
  if (has_column) {
    snprintf(col, sizeof col, "%s", column);
    db_upcase_identifier(instance, col, (int32_t)sizeof col);
  }
  // The parser fills in the current database; only a name that had a
  // database part selects by database.
  int dots = 0;
  for (const char* p = table; *p != '\0'; ++p) dots += *p == '.';
  bool has_db = dots >= 2 && db[0] != '\0';
  char rc_table[SE_DB_QUALIFIED_LEN];
  db_make_raster_columns_table_name(instance, rc_table);
  std::string sql = rasio::fmt(has_db ? "%s FROM %s rc WHERE database_name = ? AND"
                                      : "%s FROM %s rc WHERE",
                               kSelect, rc_table);
  sql += has_column ? " owner = ? AND table_name = ? AND raster_column = ?"
                    : " owner = ? AND table_name = ?";
  Stmt st(instance, stream);
  RowBuf b;
  SQLLEN nts[4] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
  int32_t s = st.prepare(sql);
  if (s == 0 && has_db) s = st.bind_text(db, 32, &nts[0]);
  if (s == 0) s = st.bind_text(own, 32, &nts[1]);
  if (s == 0) s = st.bind_text(tab, 160, &nts[2]);
  if (s == 0 && has_column) s = st.bind_text(col, 32, &nts[3]);
  if (s == 0) s = st.execute();
  if (s == 0) s = fetch_row(st, b);
  if (s == SE_FINISHED) return SE_RASTERCOLUMN_NOEXIST;
  if (s != 0) return st.record();
  if (!has_column) {
    s = st.fetch();
    if (s == 0) return SE_MULTIPLE_RASTERCOLUMNS;
    if (s != SE_FINISHED) return st.record();
  }
  return complete(instance, stream, b, out);
}

int32_t DB_rastercolumn_first(DB_INSTANCE* instance, RASTERCOLUMN* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  db_free_stmt(&instance->scans[kRasterScan]);
  char table[SE_DB_QUALIFIED_LEN];
  db_make_raster_columns_table_name(instance, table);
  Stmt st(instance);
  int32_t s = st.prepare(rasio::fmt("%s FROM %s rc ORDER BY rastercolumn_id", kSelect, table));
  if (s == 0) s = st.execute();
  if (s != 0) return st.record();
  instance->scans[kRasterScan] = st.release();
  return DB_rastercolumn_next(instance, out);
}

int32_t DB_rastercolumn_next(DB_INSTANCE* instance, RASTERCOLUMN* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (instance->scans[kRasterScan] == SQL_NULL_HSTMT) return SE_FINISHED;
  RowBuf b;
  int32_t s;
  {
    Stmt st(instance);
    st.adopt(instance->scans[kRasterScan]);
    s = fetch_row(st, b);
    if (s != 0 && s != SE_FINISHED) s = st.record();
    if (s == 0) instance->scans[kRasterScan] = st.release();
    else instance->scans[kRasterScan] = SQL_NULL_HSTMT;  // freed with st: the scan ends
  }
  if (s != 0) return s;
  return complete(instance, nullptr, b, out);
}
