// db_layer_prefetch.cpp -- the layer of a stream over one or more tables:
// matched against the layer cache first, the layers of the tables the cache
// lacks read with one SELECT in rowsets of eight.
//
// Notes:
//   1. At most one layer is attached to a stream. A second counted
//      selection, or a second layer attached, is -133, whether or not that
//      layer was in the cache before.
//   2. A selected column selects a layer when it names its spatial column
//      (qualified or not) or "*"; a column that continues the spatial column
//      name with '.' (a method of the shape) or names the row-id column
//      "SE_ROW_ID" selects it without counting.
//   3. The fetch buffers are the instance's: made at the first prefetch,
//      kept until the instance closes, serving one prefetch at a time. Text
//      columns are as wide as the cache records' own fields, so a row copies
//      into the cache without cutting anything the cache could hold.
//   4. Table names reach the SQL text as literals with their quotes doubled.
//   5. The stream keeps no table position for its layer: the position a
//      match finds is not recorded.
//
// Relies on the layer cache (dblayer_cache.cpp), the select list and NULL
// rules (dbget_layer.cpp), the name parsers (zul_db_tables.h) and the
// registration lookup of the instance.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

namespace {

constexpr int kRows = SE_LAYER_PREFETCH_ROWS;

// Column arrays of the thirty result columns, eight rows each.
struct LAYER_FETCH_BUFFERS {
  int32_t id[kRows], eflags[kRows], mask[kRows], cdate[kRows], array_size[kRows],
      stats_date[kRows], min_id[kRows], srid[kRows], base_id[kRows];
  double minx[kRows], miny[kRows], maxx[kRows], maxy[kRows], gsize[3][kRows], falsex[kRows],
      falsey[kRows], xyunits[kRows], falsez[kRows], zunits[kRows], falsem[kRows], munits[kRows];
  char description[kRows][64], database[kRows][32], table[kRows][SE_DB_TABLE_LEN],
      owner[kRows][32], column[kRows][32], config[kRows][32], srtext[kRows][SE_LAYER_SRTEXT_LEN];
  SQLLEN desc_ind[kRows], database_ind[kRows], config_ind[kRows], array_ind[kRows],
      stats_ind[kRows], minid_ind[kRows], shared_ind[kRows];
};

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

void copy_text(char* to, size_t cap, const char* from) {
  size_t len = strnlen(from, cap - 1);
  memcpy(to, from, len);
  to[len] = '\0';
}

std::string literal(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\'') out += '\'';
    out += *p;
  }
  return out;
}

// Owner and table equal; the databases too when both are named.
bool names_equal(const char* owner1, const char* table1, const char* db1, const char* owner2,
                 const char* table2, const char* db2) {
  if (strcmp(owner1, owner2) != 0 || strcmp(table1, table2) != 0) return false;
  return db1[0] == '\0' || db2[0] == '\0' || strcasecmp(db1, db2) == 0;
}

void detach(DB_STREAM* stream) { db_stream_set_layer_info(stream, nullptr); }

// Row r of the buffers into row (its own COORDREF and text).
void copy_fetch_row(const LAYER_FETCH_BUFFERS* b, int r, LAYER* row) {
  COORDREF* cr = row->coordref;
  char* text = cr->srtext;
  memset(row, 0, sizeof *row);
  memset(cr, 0, sizeof *cr);
  row->coordref = cr;
  cr->srtext = text;
  row->id = b->id[r];
  copy_text(row->description, sizeof row->description, b->description[r]);
  row->envelope = {b->minx[r], b->miny[r], b->maxx[r], b->maxy[r]};
  row->entity_flags = b->eflags[r];
  row->layer_mask = b->mask[r];
  copy_text(row->database, sizeof row->database, b->database[r]);
  copy_text(row->table, sizeof row->table, b->table[r]);
  copy_text(row->owner, sizeof row->owner, b->owner[r]);
  copy_text(row->spatial_column, sizeof row->spatial_column, b->column[r]);
  row->creation_date = b->cdate[r];
  copy_text(row->config_keyword, sizeof row->config_keyword, b->config[r]);
  row->array_size = b->array_size[r];
  row->stats_date = b->stats_date[r];
  row->min_shape_id = (uint32_t)b->min_id[r];
  row->base_layer_id = b->base_id[r];
  for (int g = 0; g < 3; ++g) row->grid_size[g] = b->gsize[g][r];
  db_layer_apply_null_rules(row, b->desc_ind[r], b->config_ind[r], b->array_ind[r],
                            b->stats_ind[r], b->minid_ind[r], b->database_ind[r]);
  cr->falsex = b->falsex[r];
  cr->falsey = b->falsey[r];
  cr->xyunits = b->xyunits[r];
  cr->falsez = b->falsez[r];
  cr->zunits = b->zunits[r];
  cr->falsem = b->falsem[r];
  cr->munits = b->munits[r];
  cr->srid = b->srid[r];
  copy_text(text, SE_LAYER_SRTEXT_LEN, b->srtext[r]);
  SgsCalcCRound(cr->xyunits, &cr->xycround);
  SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu);
  SgsCalcCRound(cr->zunits, &cr->zcround);
  SgsCalcHalfSU(cr->zcround, &cr->zhalfsu);
  SgsCalcCRound(cr->munits, &cr->mcround);
  SgsCalcHalfSU(cr->mcround, &cr->mhalfsu);
}

int32_t bind_buffers(SQLHSTMT stmt, LAYER_FETCH_BUFFERS* b) {
  struct Col {
    SQLSMALLINT type;
    SQLPOINTER target;
    SQLLEN width;
    SQLLEN* ind;
  };
  const Col cols[] = {
      {SQL_C_LONG, b->id, 0, b->shared_ind},
      {SQL_C_CHAR, b->description, 64, b->desc_ind},
      {SQL_C_DOUBLE, b->minx, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->miny, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->maxx, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->maxy, 0, b->shared_ind},
      {SQL_C_LONG, b->eflags, 0, b->shared_ind},
      {SQL_C_LONG, b->mask, 0, b->shared_ind},
      {SQL_C_CHAR, b->database, 32, b->database_ind},
      {SQL_C_CHAR, b->table, SE_DB_TABLE_LEN, b->shared_ind},
      {SQL_C_CHAR, b->owner, 32, b->shared_ind},
      {SQL_C_CHAR, b->column, 32, b->shared_ind},
      {SQL_C_LONG, b->cdate, 0, b->shared_ind},
      {SQL_C_CHAR, b->config, 32, b->config_ind},
      {SQL_C_LONG, b->array_size, 0, b->array_ind},
      {SQL_C_LONG, b->stats_date, 0, b->stats_ind},
      {SQL_C_LONG, b->min_id, 0, b->minid_ind},
      {SQL_C_LONG, b->base_id, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->gsize[0], 0, b->shared_ind},
      {SQL_C_DOUBLE, b->gsize[1], 0, b->shared_ind},
      {SQL_C_DOUBLE, b->gsize[2], 0, b->shared_ind},
      {SQL_C_DOUBLE, b->falsex, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->falsey, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->xyunits, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->falsez, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->zunits, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->falsem, 0, b->shared_ind},
      {SQL_C_DOUBLE, b->munits, 0, b->shared_ind},
      {SQL_C_CHAR, b->srtext, SE_LAYER_SRTEXT_LEN, b->shared_ind},
      {SQL_C_LONG, b->srid, 0, b->shared_ind},
  };
  static_assert(sizeof cols / sizeof cols[0] == 30, "the layer SELECT has thirty columns");
  SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
  SQLUSMALLINT pos = 1;
  for (const Col& c : cols) {
    if (!ok(rc)) break;
    rc = SQLBindCol(stmt, pos++, c.type, c.target, c.width, c.ind);
  }
  if (ok(rc)) rc = SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, (SQLPOINTER)(SQLULEN)kRows, 0);
  return ok(rc) ? 0 : rc;
}

// The selected column names in column as the matcher reads them.
bool column_selects(DB_INSTANCE* instance, DB_STREAM* stream, const char* name, const LAYER* row) {
  char text[SE_DB_QUALIFIED_LEN];
  copy_text(text, sizeof text, name);
  SES_RemoveSpaces(text);
  char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN],
      col[SE_NAME_COLUMN_LEN];
  db_parse_column_name(instance, text, stream->owner, db, own, tab, col);
  bool column_ok = strcmp(col, row->spatial_column) == 0 || strcmp(col, "*") == 0;
  if (!column_ok) return false;
  if (own[0] != '\0') return names_equal(row->owner, row->table, row->database, own, tab, db);
  if (tab[0] != '\0') return strcmp(tab, row->table) == 0;
  return true;
}

// Adds row to the cache and attaches it; count counts the distinct layers
// attached by this fetch, cached before or not, so that two layers for one
// stream are refused even when one of them was cached already.
int32_t attach(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* row, int16_t* count) {
  LAYER* before = db_stream_get_layer_info(stream);
  int16_t added = 0;
  int32_t status = db_layer_cache_add_to_stream(instance, stream, row, &added);
  if (status == 0 && db_stream_get_layer_info(stream) != before) *count += 1;
  return status;
}

int32_t fetch_and_match(DB_INSTANCE* instance, DB_STREAM* stream, SQLHSTMT stmt,
                        LAYER_FETCH_BUFFERS* b, int32_t num_columns, char** columns,
                        int32_t num_tables, char** tables) {
  detach(stream);
  int16_t count = 0;
  SQLRETURN rc = SQLExecute(stmt);
  if (!ok(rc)) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
    return SE_DB_IO_ERROR;
  }
  COORDREF row_cr;
  char row_text[SE_LAYER_SRTEXT_LEN];
  row_cr.srtext = row_text;
  LAYER row;
  row.coordref = &row_cr;
  bool first = true;
  for (;;) {
    SQLULEN rows = 0;
    SQLUSMALLINT row_status[kRows];
    rc = SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, row_status);
    int32_t status = 0;
    bool ended = false;
    if (rc == SQL_NO_DATA) {
      if (first) return SE_TABLE_NOEXIST;
      ended = true;
      rows = 0;
    } else if (!ok(rc)) {
      db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, rc));
      return SE_DB_IO_ERROR;
    }
    first = false;
    if (rows > (SQLULEN)kRows) rows = kRows;
    for (SQLULEN r = 0; r < rows && status == 0; ++r) {
      copy_fetch_row(b, (int)r, &row);
      for (int32_t k = 0; k < num_columns && status == 0; ++k) {
        if (columns[k] == nullptr || !column_selects(instance, stream, columns[k], &row)) continue;
        status = attach(instance, stream, &row, &count);
        break;
      }
    }
    // No selected column named a layer of this rowset: a table argument
    // that is itself a spatial column name selects the row.
    for (SQLULEN r = 0; status == 0 && count == 0 && r < rows; ++r) {
      copy_fetch_row(b, (int)r, &row);
      for (int32_t k = 0; k < num_tables && status == 0; ++k) {
        char upper[SE_DB_QUALIFIED_LEN];
        copy_text(upper, sizeof upper, tables[k] != nullptr ? tables[k] : "");
        SES_UpperCase(upper);
        if (strcmp(upper, row.spatial_column) == 0)
          status = attach(instance, stream, &row, &count);
      }
    }
    if (status != 0 || ended || rows < (SQLULEN)kRows) {
      if (count > 1) return SE_MULTIPLE_LAYERS;
      return status;
    }
  }
}

}  // namespace

int32_t db_layer_cache_match_tables(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                                    char** columns, int32_t num_tables, char** tables) {
  if (instance == nullptr || stream == nullptr) return SE_INVALID_POINTER;
  detach(stream);
  LAYER_CACHE* c = &instance->layer_cache;
  std::vector<char> found((size_t)(num_tables > 0 ? num_tables : 0), 0);
  int32_t selections = 0;
  for (int32_t i = 0; i < c->used; ++i) {
    for (int32_t k = 0; k < num_tables; ++k) {
      LAYER* slot = c->records[i];
      if (slot->id == -1 || tables[k] == nullptr) continue;
      char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
      db_parse_table_name(instance, tables[k], stream->owner, db, own, tab);
      if (!names_equal(slot->owner, slot->table, slot->database, own, tab, db)) continue;
      int32_t status = db_layer_cache_check_stamp_by_name(instance, stream, slot);
      if (status != 0) return status;
      if (slot->id == -1) continue;
      size_t spatial_len = strlen(slot->spatial_column);
      for (int32_t j = 0; j < num_columns; ++j) {
        if (columns[j] == nullptr) continue;
        char name[SE_DB_QUALIFIED_LEN];
        copy_text(name, sizeof name, columns[j]);
        db_upcase_identifier(instance, name, (int32_t)sizeof name);
        bool selects = false, counts = false;
        if (spatial_len == 0 || strncmp(name, slot->spatial_column, spatial_len) != 0) {
          const char* names[] = {slot->spatial_column, "*", "SE_ROW_ID"};
          for (int n = 0; n < 3 && !selects; ++n) {
            if (db_column_name_matches(instance, name, stream->owner, slot->database,
                                       slot->owner, slot->table, names[n])) {
              selects = true;
              counts = n < 2;
            }
          }
        } else if (name[spatial_len] == '\0') {
          selects = counts = true;
        } else if (name[spatial_len] == '.') {
          selects = true;
        }
        if (!selects) continue;
        if (counts && ++selections > 1) return SE_MULTIPLE_LAYERS;
        LAYER* attached = db_stream_get_layer_info(stream);
        if (attached != nullptr && attached != slot) {
          detach(stream);
          return SE_MULTIPLE_LAYERS;
        }
        db_stream_set_layer_info(stream, slot);
      }
      found[(size_t)k] = 1;
    }
  }
  for (char f : found)
    if (!f) return SE_LAYER_CACHE_MISSING;
  return SE_LAYER_CACHE_FOUND;
}

int32_t db_layer_cache_load_tables(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                                   char** columns, int32_t num_tables, char** tables) {
  if (instance == nullptr || stream == nullptr) return SE_INVALID_POINTER;
  if (num_tables < 0 || num_columns < 0) return SE_INVALID_PARAM;
  if (instance->layer_cache.records == nullptr) {
    if (!instance->connected) return SE_DB_IO_ERROR;
    int32_t status = db_layer_cache_create(instance, 0);
    if (status != 0) return status;
  }
  int32_t status =
      db_layer_cache_match_tables(instance, stream, num_columns, columns, num_tables, tables);
  if (status == SE_LAYER_CACHE_FOUND) return 0;
  if (status != SE_LAYER_CACHE_MISSING) return status;

  char layers[SE_DB_QUALIFIED_LEN], sref[SE_DB_QUALIFIED_LEN], cref[SE_DB_QUALIFIED_LEN];
  db_make_layers_table_name(instance, layers);
  db_make_gse_spatial_ref_name(instance, sref);
  db_make_gse_coord_ref_name(instance, cref);
  std::string sql = std::string(kLayerSelectList) + " FROM " + layers + " ly, " + sref + " sr, " +
                    cref + " cr WHERE ly.srid = sr.srid AND sr.scid = cr.scid AND (";
  int32_t qualified = 0;
  for (int32_t k = 0; k < num_tables; ++k) {
    if (tables[k] == nullptr) continue;
    char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
    db_parse_table_name(instance, tables[k], stream->owner, db, own, tab);
    std::string owner_table = own[0] != '\0' ? std::string(own) + "." + tab : std::string(tab);
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    if (db_lookup_registration(instance, owner_table.c_str(), &reg) != 0) continue;
    if (!(reg.flags & SE_REG_LAYER_DEPENDS)) continue;
    if (qualified++ > 0) sql += " OR ";
    sql += " table_name = '" + literal(tab) + "'";
    if (own[0] != '\0') sql += " AND owner = '" + literal(own) + "'";
  }
  if (qualified == 0) return 0;
  sql += ")";
  return db_layer_block_fetch(instance, stream, num_columns, columns, num_tables, tables,
                              sql.c_str());
}

int32_t db_layer_block_fetch(DB_INSTANCE* instance, DB_STREAM* stream, int32_t num_columns,
                             char** columns, int32_t num_tables, char** tables, const char* sql) {
  if (instance == nullptr || stream == nullptr || sql == nullptr) return SE_INVALID_POINTER;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  int32_t status = db_prepare_stmt(instance, stream, &stmt, sql);
  if (status != 0) {
    if (stmt == SQL_NULL_HSTMT) return status;
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, status));
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  if (instance->layer_fetch == nullptr) {
    instance->layer_fetch = calloc(1, sizeof(LAYER_FETCH_BUFFERS));
    if (instance->layer_fetch == nullptr) {
      db_free_stmt(&stmt);
      return SE_OUT_OF_DBMS_MEM;
    }
    instance->layer_buffers_flag = 1;
  }
  LAYER_FETCH_BUFFERS* b = static_cast<LAYER_FETCH_BUFFERS*>(instance->layer_fetch);
  status = bind_buffers(stmt, b);
  if (status != 0) {
    db_report_dbms_error(instance, db_get_diag_record(instance, &stmt, status));
    db_free_stmt(&stmt);
    return SE_DB_IO_ERROR;
  }
  status = fetch_and_match(instance, stream, stmt, b, num_columns, columns, num_tables, tables);
  db_free_stmt(&stmt);
  return status;
}

void db_layer_free_fetch_buffers(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  free(instance->layer_fetch);
  instance->layer_fetch = nullptr;
  instance->layer_buffers_flag = 0;
}
