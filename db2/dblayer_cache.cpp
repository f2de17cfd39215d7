// dblayer_cache.cpp -- the layer cache of an instance: the layer records the
// connection has read, found by id or by table name, re-read in place when
// the layer's stamp has moved.
//
// Notes:
//   1. Records are made in blocks of five, each with its own COORDREF and a
//      coordinate-system text buffer, and live until the instance closes: a
//      pointer handed out stays valid, though its contents change when the
//      slot is re-read, replaced or cleared.
//   2. A slot below `used` whose layer id is -1 is free and is taken before a
//      spare record (one at or beyond `used`); the cache grows by a block
//      when neither is left.
//   3. A slot carries the stamp of its layer when it was stored. A lookup
//      whose stamp differs re-reads the slot by id or by name. A re-read that
//      fails, or whose row no longer matches the slot, clears the slot: a
//      stale record is never handed out as current.
//   4. A refresh copies every field of the row read and derives the rounding
//      values again, so a changed unit or layer mask is seen at once.
//   5. A record the user may not select is never stored (-25).
//   6. A connected instance opened without a cache size gets the smallest
//      cache at its first layer lookup.
//
// Relies on the one-row read and SQL texts (dbget_layer.cpp), the privilege
// rules (db_layer_access.cpp), the name parser (zul_db_tables.h) and the
// geometry library for the coordinate references.
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_layer.h"
#include "zul_db_tables.h"

namespace {

LAYER_CACHE* cache_of(DB_INSTANCE* instance) { return &instance->layer_cache; }

uint32_t layer_stamp(DB_INSTANCE* instance, int32_t layer_id) {
  if (instance->params.layer_stamp != nullptr)
    return instance->params.layer_stamp(instance->params.ctx, layer_id);
  return (uint32_t)time(nullptr);
}

void copy_text(char* to, size_t cap, const char* from) {
  size_t len = strnlen(from, cap - 1);
  memcpy(to, from, len);
  to[len] = '\0';
}

// An upper-cased column name of at most 31 characters; "" for null.
void upper_column(DB_INSTANCE* instance, const char* column, char out[32]) {
  copy_text(out, 32, column != nullptr ? column : "");
  db_upcase_identifier(instance, out, 32);
}

// Makes records first .. first+4.
int32_t make_block(LAYER_CACHE* c, int32_t first) {
  for (int32_t i = first; i < first + SE_LAYER_CACHE_BLOCK; ++i) {
    LAYER* l = static_cast<LAYER*>(calloc(1, sizeof(LAYER)));
    if (l == nullptr) return SE_OUT_OF_DBMS_MEM;
    c->records[i] = l;
    COORDREF* cr = nullptr;
    int32_t status = SgCoordRefCreate(&cr);
    if (status != 0) return SES_map_shape_error_to_zul(status);
    l->coordref = cr;
    cr->srtext = static_cast<char*>(calloc(1, SE_LAYER_SRTEXT_LEN));
    if (cr->srtext == nullptr) return SE_OUT_OF_DBMS_MEM;
    l->id = -1;
  }
  return 0;
}

int32_t grow(LAYER_CACHE* c) {
  int32_t first = c->blocks * SE_LAYER_CACHE_BLOCK;
  int32_t end = first + SE_LAYER_CACHE_BLOCK;
  if (c->capacity < end) {
    LAYER** r = static_cast<LAYER**>(realloc(c->records, (size_t)end * sizeof(LAYER*)));
    if (r == nullptr) return SE_OUT_OF_DBMS_MEM;
    for (int32_t i = c->capacity; i < end; ++i) r[i] = nullptr;
    c->records = r;
    c->capacity = end;
  }
  uint32_t* s = static_cast<uint32_t*>(realloc(c->stamps, (size_t)end * sizeof(uint32_t)));
  if (s == nullptr) return SE_OUT_OF_DBMS_MEM;
  c->stamps = s;
  for (int32_t i = first; i < end; ++i) s[i] = 0;
  // the block counts as soon as its slots exist, so that a half-made block
  // is freed with the rest
  c->blocks += 1;
  return make_block(c, first);
}

int32_t ensure_cache(DB_INSTANCE* instance) {
  if (cache_of(instance)->records != nullptr) return 0;
  // an instance that never connected has nothing to read layers from, and
  // no close that would free a cache made for it
  if (!instance->connected) return SE_DB_IO_ERROR;
  return db_layer_cache_create(instance, 0);
}

int32_t get_slot(LAYER_CACHE* c) {
  if (c->records == nullptr || c->blocks == 0) return -1;
  for (int32_t i = 0; i < c->used; ++i)
    if (c->records[i]->id == -1) return i;
  if (c->used == c->blocks * SE_LAYER_CACHE_BLOCK && grow(c) != 0) return -1;
  return c->used;
}

void clear_slot(LAYER_CACHE* c, int32_t i) {
  LAYER* l = c->records[i];
  COORDREF* cr = l->coordref;
  SgsCoordRefReset(cr);
  if (cr->srtext != nullptr) cr->srtext[0] = '\0';
  memset(l, 0, sizeof *l);
  l->coordref = cr;
  l->id = -1;
  l->min_shape_id = 1;
  c->stamps[i] = 0;
  if (i == c->used - 1) c->used -= 1;
}

int32_t slot_of(LAYER_CACHE* c, const LAYER* l) {
  for (int32_t i = 0; i < c->used; ++i)
    if (c->records[i] == l) return i;
  return -1;
}

// Every field of read into slot record to (texts bounded, own COORDREF and
// text buffer kept), the derived values computed again.
void copy_into(LAYER* to, const LAYER* read, int32_t privileges) {
  COORDREF* cr = to->coordref;
  char* text = cr->srtext;
  int32_t word = to->local_word;
  *to = *read;
  to->local_word = word;
  to->privileges = privileges;
  to->coordref = cr;
  if (read->coordref != nullptr) {
    *cr = *read->coordref;
    cr->srtext = text;
    copy_text(text, SE_LAYER_SRTEXT_LEN,
              read->coordref->srtext != nullptr ? read->coordref->srtext : "");
  }
  cr->coordsys = nullptr;
  SgsCalcCRound(cr->xyunits, &cr->xycround);
  SgsCalcHalfSU(cr->xycround, &cr->xyhalfsu);
  SgsCalcCRound(cr->zunits, &cr->zcround);
  SgsCalcHalfSU(cr->zcround, &cr->zhalfsu);
  SgsCalcCRound(cr->munits, &cr->mcround);
  SgsCalcHalfSU(cr->mcround, &cr->mhalfsu);
}

bool same_names(const LAYER* a, const LAYER* b) {
  return strncmp(a->database, b->database, sizeof a->database) == 0 &&
         strncmp(a->owner, b->owner, sizeof a->owner) == 0 &&
         strncmp(a->table, b->table, sizeof a->table) == 0 &&
         strncmp(a->spatial_column, b->spatial_column, sizeof a->spatial_column) == 0;
}

// Re-reads slot i by id or by name (note 3). 0 or the failing status.
int32_t refresh(DB_INSTANCE* instance, DB_STREAM* stream, int32_t i, bool by_name) {
  LAYER_CACHE* c = cache_of(instance);
  LAYER* slot = c->records[i];
  char sql[SE_LAYER_SQL_LEN];
  if (by_name) {
    char owner[32], table[SE_DB_TABLE_LEN], column[32];
    copy_text(owner, sizeof owner, slot->owner);
    copy_text(table, sizeof table, slot->table);
    copy_text(column, sizeof column, slot->spatial_column);
    db_layer_sql_by_table(instance, table, column, owner, sql);
  } else {
    db_layer_sql_by_id(instance, slot->id, sql);
  }
  LAYER* out = nullptr;
  int32_t status = db_layer_get_info(instance, stream, sql, &out, 0, 1);
  if (status == 0 && out != slot) {
    // The row read is not this slot's layer any more (or it replaced another
    // slot): this slot's record is stale.
    clear_slot(c, i);
    status = out == nullptr ? SE_LAYER_NOEXIST : SE_LAYER_CACHE_MISSING;
    if (out != nullptr) {
      int32_t j = slot_of(c, out);
      if (j >= 0 && db_layer_set_access(instance, stream, &out) != 0) clear_slot(c, j);
    }
    return status;
  }
  if (status == 0) status = db_layer_set_access(instance, stream, &out);
  db_free_access_info_stmt(instance);
  if (status != 0) clear_slot(c, i);
  return status;
}

int32_t check_stamp(DB_INSTANCE* instance, DB_STREAM* stream, int32_t i, bool by_name) {
  LAYER_CACHE* c = cache_of(instance);
  if (layer_stamp(instance, c->records[i]->id) == c->stamps[i]) return 0;
  return refresh(instance, stream, i, by_name);
}

// Finds layer_id: SE_LAYER_CACHE_FOUND with *slot, SE_LAYER_CACHE_MISSING,
// or the failing stamp check's status.
int32_t find_id(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, int32_t* slot) {
  LAYER_CACHE* c = cache_of(instance);
  for (int32_t i = 0; i < c->used; ++i) {
    if (c->records[i]->id != layer_id) continue;
    int32_t status = check_stamp(instance, stream, i, false);
    if (status != 0) return status;
    *slot = i;
    return SE_LAYER_CACHE_FOUND;
  }
  return SE_LAYER_CACHE_MISSING;
}

int32_t find_name(DB_INSTANCE* instance, DB_STREAM* stream, const char* owner, const char* table,
                  const char* column, LAYER** out) {
  LAYER_CACHE* c = cache_of(instance);
  char col[32] = "";
  bool with_column = column != nullptr && column[0] != '\0';
  if (with_column) upper_column(instance, column, col);
  for (int32_t i = 0; i < c->used; ++i) {
    LAYER* l = c->records[i];
    if (l->id == -1) continue;
    if (owner[0] != '\0' && strncmp(owner, l->owner, sizeof l->owner) != 0) continue;
    if (strncmp(table, l->table, sizeof l->table) != 0) continue;
    if (with_column && strncmp(col, l->spatial_column, sizeof l->spatial_column) != 0) continue;
    int32_t status = check_stamp(instance, stream, i, true);
    if (status != 0) return status;
    *out = l;
    return 0;
  }
  return SE_LAYER_CACHE_MISSING;
}

// Adds read (note 5); the counter counts a newly cached layer.
int32_t add(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* read, int16_t* counter,
            int32_t* slot_out) {
  LAYER_CACHE* c = cache_of(instance);
  int32_t found = -1;
  int32_t status = find_id(instance, stream, read->id, &found);
  if (status == SE_LAYER_CACHE_FOUND) {
    *slot_out = found;
    return 0;
  }
  int32_t slot = get_slot(c);
  if (slot < 0) return SE_OUT_OF_DBMS_MEM;
  LAYER* rec = read;
  status = db_layer_set_access(instance, stream, &rec);
  if (status != 0) return status;
  copy_into(c->records[slot], read, read->privileges);
  if (slot >= c->used) c->used += 1;
  if (counter != nullptr) *counter += 1;
  c->stamps[slot] = layer_stamp(instance, read->id);
  *slot_out = slot;
  return 0;
}

}  // namespace

// ---- life of the cache -------------------------------------------------------------------

int32_t db_layer_cache_create(DB_INSTANCE* instance, int32_t n) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  LAYER_CACHE* c = cache_of(instance);
  db_layer_cache_free(instance);
  int32_t capacity = n > SE_LAYER_CACHE_BLOCK ? n : SE_LAYER_CACHE_BLOCK;
  c->records = static_cast<LAYER**>(calloc((size_t)capacity, sizeof(LAYER*)));
  if (c->records == nullptr) return SE_OUT_OF_DBMS_MEM;
  c->capacity = capacity;
  int32_t status = grow(c);
  instance->layer_buffers_flag = 0;
  instance->coordref_flag = 0;
  return status;
}

void db_layer_cache_free(DB_INSTANCE* instance) {
  if (instance == nullptr) return;
  LAYER_CACHE* c = cache_of(instance);
  for (int32_t i = 0; c->records != nullptr && i < c->blocks * SE_LAYER_CACHE_BLOCK; ++i) {
    LAYER* l = c->records[i];
    if (l == nullptr) continue;
    if (l->coordref != nullptr) {
      free(l->coordref->srtext);
      SgCoordRefFree(l->coordref);
    }
    free(l);
  }
  free(c->records);
  free(c->stamps);
  db_layer_free_fetch_buffers(instance);
  // The scan statement is left alone: the instance's close drops the
  // connection, which takes its statements with it.
  memset(c, 0, sizeof *c);
}

// ---- store, replace, remove, contains ---------------------------------------------------------

int32_t db_layer_cache_store(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* read, LAYER** out,
                             int32_t mode) {
  LAYER_CACHE* c = cache_of(instance);
  if (c->records == nullptr) return -1;
  if (mode == 1) {
    int32_t slot = -1;
    int32_t status = add(instance, stream, read, nullptr, &slot);
    if (status == 0) *out = c->records[slot];
    return status;
  }
  *out = nullptr;
  for (int32_t i = 0; i < c->used; ++i) {
    LAYER* l = c->records[i];
    if (l->id == -1) continue;
    if (!same_names(l, read) && !(l->id == read->id && l->creation_date == read->creation_date))
      continue;
    copy_into(l, read, l->privileges);
    c->stamps[i] = layer_stamp(instance, read->id);
    *out = l;
    return 0;
  }
  return 0;
}

int32_t db_layer_cache_add_to_stream(DB_INSTANCE* instance, DB_STREAM* stream, LAYER* layer,
                                     int16_t* counter) {
  if (instance == nullptr || layer == nullptr) return SE_INVALID_POINTER;
  int32_t status = ensure_cache(instance);
  if (status != 0) return status;
  int32_t slot = -1;
  status = add(instance, stream, layer, counter, &slot);
  if (status == 0 && stream != nullptr) db_stream_set_layer_info(stream, cache_of(instance)->records[slot]);
  return status;
}

int32_t db_layer_cache_remove(DB_INSTANCE* instance, int32_t layer_id) {
  if (instance == nullptr) return 0;
  LAYER_CACHE* c = cache_of(instance);
  for (int32_t i = 0; i < c->used; ++i) {
    if (c->records[i]->id != layer_id) continue;
    clear_slot(c, i);
    return 0;
  }
  return 0;
}

int32_t db_layer_cache_contains(DB_INSTANCE* instance, const char* database, const char* owner,
                                const char* table, const char* column) {
  if (instance == nullptr || owner == nullptr || table == nullptr) return 0;
  LAYER_CACHE* c = cache_of(instance);
  char col[32];
  upper_column(instance, column, col);
  for (int32_t i = 0; i < c->used; ++i) {
    const LAYER* l = c->records[i];
    if (l->id == -1) continue;
    if (database != nullptr && database[0] != '\0' &&
        strncmp(database, l->database, sizeof l->database) != 0)
      continue;
    if (strncmp(owner, l->owner, sizeof l->owner) == 0 &&
        strncmp(table, l->table, sizeof l->table) == 0 &&
        strncmp(col, l->spatial_column, sizeof l->spatial_column) == 0)
      return 1;
  }
  return 0;
}

int32_t db_layer_cache_check_stamp_by_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                           LAYER* layer) {
  int32_t i = slot_of(cache_of(instance), layer);
  if (i < 0) return SE_LAYER_CACHE_MISSING;
  return check_stamp(instance, stream, i, true);
}

int32_t db_stream_close_hook(void) { return 0; }

// ---- exported reads -------------------------------------------------------------------------------

int32_t DB_layer_get_info(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, LAYER** out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  int32_t status = ensure_cache(instance);
  if (status != 0) return status;
  int32_t slot = -1;
  status = find_id(instance, stream, layer_id, &slot);
  if (status == SE_LAYER_CACHE_FOUND) {
    *out = cache_of(instance)->records[slot];
    return 0;
  }
  // missing, or a refresh that failed (the stale slot is gone): read afresh
  char sql[SE_LAYER_SQL_LEN];
  db_layer_sql_by_id(instance, layer_id, sql);
  return db_layer_get_info(instance, stream, sql, out, 1, 1);
}

int32_t DB_layer_view_get_info(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id,
                               LAYER* out) {
  if (instance == nullptr || out == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  if (out->coordref == nullptr) {
    COORDREF* cr = nullptr;
    int32_t status = SgCoordRefCreate(&cr);
    if (status != 0) return SES_map_shape_error_to_zul(status);
    cr->srtext = static_cast<char*>(calloc(1, SE_LAYER_SRTEXT_LEN));
    if (cr->srtext == nullptr) {
      SgCoordRefFree(cr);
      return SE_OUT_OF_DBMS_MEM;
    }
    out->coordref = cr;
  } else if (out->coordref->srtext == nullptr) {
    return SE_INVALID_POINTER;
  }
  int32_t status = ensure_cache(instance);
  if (status != 0) return status;
  int32_t slot = -1;
  if (find_id(instance, stream, layer_id, &slot) == SE_LAYER_CACHE_FOUND) {
    const LAYER* l = cache_of(instance)->records[slot];
    COORDREF* cr = out->coordref;
    char* text = cr->srtext;
    *out = *l;
    out->coordref = cr;
    *cr = *l->coordref;
    cr->srtext = text;
    copy_text(text, SE_LAYER_SRTEXT_LEN, l->coordref->srtext);
    return 0;
  }
  char sql[SE_LAYER_SQL_LEN];
  db_layer_sql_by_id(instance, layer_id, sql);
  LAYER* p = out;
  return db_layer_get_info(instance, stream, sql, &p, 0, 0);
}

int32_t DB_layer_get_info_by_table_name(DB_INSTANCE* instance, DB_STREAM* stream,
                                        const char* table, const char* column,
                                        const char* default_owner, LAYER** out) {
  if (instance == nullptr || out == nullptr || table == nullptr) return SE_INVALID_POINTER;
  DB_instance_clear_xerr(instance);
  *out = nullptr;
  int32_t status = ensure_cache(instance);
  if (status != 0) return status;
  char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, table, default_owner, database, owner, name);
  status = find_name(instance, stream, owner, name, column, out);
  if (status != SE_LAYER_CACHE_MISSING) return status;
  char col[32] = "";
  if (column != nullptr && column[0] != '\0') upper_column(instance, column, col);
  char sql[SE_LAYER_SQL_LEN];
  db_layer_sql_by_table(instance, name, col, owner, sql);
  return db_layer_get_info(instance, stream, sql, out, 1, 1);
}
