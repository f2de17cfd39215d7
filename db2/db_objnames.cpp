// db_objnames.cpp -- the texts by which the DB2 access layer names its
// tables, indexes, triggers and procedures, and the parsers of the names
// that clients send.
//
// Divisions:
//   1. system tables and the spatial extender's catalogue: "db.SCHEMA.table"
//   2. per-object tables, indexes and triggers: a letter or prefix and the id
//   3. parsing database.owner.table and column names
//   4. procedure names and quoting
//
// The builders write into the caller's buffer and check no size: every
// result fits SE_DB_QUALIFIED_LEN bytes when the parts keep their widths
// (database and owner 32, table 160). The parsers, which take client text,
// cut every part to its width instead of trusting it. Parsed parts are
// upper-cased in the connection's code page (db_upcase_identifier).
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_db_tables.h"
#include "zul_raster.h"

namespace {

constexpr const char* kAdminSchema = "ZUL";
constexpr const char* kGseSchema = "DB2GSE";
constexpr const char* kSpLibrary = "zulsrvsp";

const char* current_db(DB_INSTANCE* instance) {
  return instance != nullptr ? instance->current_database : "";
}

bool given(const char* text) { return text != nullptr && text[0] != '\0'; }

// Copies at most cap-1 characters of text[0..len) and terminates.
void put_part(char* out, size_t cap, const char* text, size_t len) {
  if (out == nullptr) return;
  if (len > cap - 1) len = cap - 1;
  memcpy(out, text, len);
  out[len] = '\0';
}

void put_part(char* out, size_t cap, const std::string& text) {
  put_part(out, cap, text.data(), text.size());
}

void upcase(DB_INSTANCE* instance, char* text, size_t cap) {
  if (text != nullptr && text[0] != '\0') db_upcase_identifier(instance, text, (int32_t)cap);
}

// Stores one part of a parsed name, folded as an identifier.
void put_name_part(DB_INSTANCE* instance, char* out, size_t cap, const std::string& text) {
  put_part(out, cap, text);
  upcase(instance, out, cap);
}

void system_name(DB_INSTANCE* instance, const char* schema, const char* table, char* out) {
  sprintf(out, "%s.%s.%s", current_db(instance), schema, table);
}

// "owner.PREFIXid" when the owner is given, else "PREFIXid".
void owned_name(const char* owner, const char* prefix, int32_t id, const char* suffix,
                char* out) {
  if (given(owner)) sprintf(out, "%s.%s%d%s", owner, prefix, (int)id, suffix);
  else sprintf(out, "%s%d%s", prefix, (int)id, suffix);
}

// The raster column's owner, or "" when it cannot be read.
std::string rascol_owner(DB_INSTANCE* instance, DB_STREAM* stream, int32_t id) {
  RASTERCOLUMN rc;
  memset(&rc, 0, sizeof rc);
  if (DB_rastercolumn_get_info_by_id(instance, stream, id, &rc) != 0) return "";
  rc.owner[sizeof rc.owner - 1] = '\0';
  return rc.owner;
}

void raster_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t id, const char* kind,
                       char* out) {
  std::string owner = rascol_owner(instance, stream, id);
  if (!owner.empty()) sprintf(out, "%s.ZUL_%s_%d", owner.c_str(), kind, (int)id);
  else sprintf(out, "ZUL_%s_%d", kind, (int)id);
}

void versioned_table_name(DB_INSTANCE* instance, char letter, int32_t id, const char* database,
                          const char* owner, char* out) {
  if (instance != nullptr && instance->params.registration_by_id != nullptr) {
    REGISTRATION reg;
    memset(&reg, 0, sizeof reg);
    if (instance->params.registration_by_id(instance->params.ctx, id, &reg) == 0) {
      reg.database[sizeof reg.database - 1] = '\0';
      reg.owner[sizeof reg.owner - 1] = '\0';
      const char* db = reg.database[0] != '\0' ? reg.database : current_db(instance);
      sprintf(out, "%s.%s.%c%d", db, reg.owner, letter, (int)id);
      return;
    }
  }
  if (given(owner)) {
    const char* db = given(database) ? database : (instance != nullptr ? current_db(instance) : "");
    if (db[0] != '\0') sprintf(out, "%s.%s.%c%d", db, owner, letter, (int)id);
    else sprintf(out, "%s.%c%d", owner, letter, (int)id);
    return;
  }
  sprintf(out, "%c%d", letter, (int)id);
}

void logfile_table_name(DB_INSTANCE* instance, const char* database, const char* owner,
                        const char* table, char* out) {
  const char* db = given(database) ? database : (instance != nullptr ? current_db(instance) : "");
  if (db[0] != '\0') sprintf(out, "%s.%s.%s", db, owner != nullptr ? owner : "", table);
  else sprintf(out, "%s.%s", owner != nullptr ? owner : "", table);
}

}  // namespace

// ---- 1. system tables ------------------------------------------------------------

void db_make_layers_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "Layers", out); }
void db_make_metadata_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "METADATA", out); }
void db_make_locators_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "LOCATORS", out); }
void db_make_raster_columns_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "RASTER_COLUMNS", out); }
void db_make_table_registry_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "table_registry", out); }
void db_make_versions_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "versions", out); }
void db_make_release_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "version", out); }
void db_make_states_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "states", out); }
void db_make_state_lineages_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "state_lineages", out); }
void db_make_mvtables_modified_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "mvtables_modified", out); }
void db_make_dbtune_table_name(DB_INSTANCE* in, char* out) { system_name(in, kAdminSchema, "dbtune", out); }
void db_make_gse_layer_geom_name(DB_INSTANCE* in, char* out) { system_name(in, kGseSchema, "gse_layer_geom", out); }
void db_make_gse_spatial_ref_name(DB_INSTANCE* in, char* out) { system_name(in, kGseSchema, "gse_spatial_ref", out); }
void db_make_gse_coord_ref_name(DB_INSTANCE* in, char* out) { system_name(in, kGseSchema, "gse_coord_ref", out); }

// ---- 2. per-object names ------------------------------------------------------------

void db_make_f_table_name(int32_t layer_id, char* out) { sprintf(out, "F%d", (int)layer_id); }

void db_make_s_table_name(DB_INSTANCE* instance, DB_STREAM* stream, int32_t layer_id, char* out) {
  LAYER* layer = nullptr;
  if (DB_layer_get_info(instance, stream, layer_id, &layer) == 0 && layer != nullptr) {
    char owner[sizeof layer->owner];
    put_part(owner, sizeof owner, layer->owner, strnlen(layer->owner, sizeof layer->owner));
    sprintf(out, "%s.S%d", owner, (int)layer_id);
  } else {
    sprintf(out, "S%d", (int)layer_id);
  }
}

void db_make_l_table_name(int32_t id, const char* owner, char* out) { owned_name(owner, "L", id, "", out); }
void db_make_r_table_name(int32_t id, const char* owner, char* out) { owned_name(owner, "R", id, "", out); }
void db_make_rowid_uk_index_name(int32_t id, const char* owner, char* out) {
  owned_name(owner, "R", id, "_ZUL_ROWID_UK", out);
}
void db_make_adds_uk_index_name(int32_t id, const char* owner, char* out) { owned_name(owner, "a", id, "_uk", out); }

void db_make_adds_table_name(DB_INSTANCE* instance, int32_t id, const char* database,
                             const char* owner, char* out) {
  versioned_table_name(instance, 'A', id, database, owner, out);
}

void db_make_deletes_table_name(DB_INSTANCE* instance, int32_t id, const char* database,
                                const char* owner, char* out) {
  versioned_table_name(instance, 'D', id, database, owner, out);
}

void db_make_deletes_index_names(int32_t id, const char* owner, char* out1, char* out2,
                                 char* out3, char* out4) {
  char* outs[4] = {out1, out2, out3, out4};
  for (int k = 0; k < 4; ++k) {
    char suffix[8];
    snprintf(suffix, sizeof suffix, "_IDX%d", k + 1);
    owned_name(owner, "D", id, suffix, outs[k]);
  }
}

void db_adds_index_name(const char* base, char* out) {
  if (base == nullptr || base[0] == '\0') {
    out[0] = '\0';
    return;
  }
  size_t len = strnlen(base, 28);
  memmove(out, base, len);
  strcpy(out + len, "_a");
}

void db_make_view_trigger_name(int32_t view_id, int32_t kind, char* out) {
  static const char* const kKinds[] = {"INSERT", "DELETE", "UPDATE"};
  if (kind < 0 || kind > 2) return;
  sprintf(out, "V%d_%s", (int)view_id, kKinds[kind]);
}

void db_make_ras_table_name(DB_INSTANCE* in, DB_STREAM* s, int32_t id, char* out) { raster_table_name(in, s, id, "RAS", out); }
void db_make_bnd_table_name(DB_INSTANCE* in, DB_STREAM* s, int32_t id, char* out) { raster_table_name(in, s, id, "BND", out); }
void db_make_aux_table_name(DB_INSTANCE* in, DB_STREAM* s, int32_t id, char* out) { raster_table_name(in, s, id, "AUX", out); }
void db_make_blk_table_name(DB_INSTANCE* in, DB_STREAM* s, int32_t id, char* out) { raster_table_name(in, s, id, "BLK", out); }

void db_make_blk_table_name_from_info(const RASTERCOLUMN* rascol, char* out) {
  char owner[sizeof rascol->owner];
  put_part(owner, sizeof owner, rascol->owner, strnlen(rascol->owner, sizeof rascol->owner));
  sprintf(out, "%s.ZUL_BLK_%d", owner, (int)rascol->id);
}

void db_make_blk_uk_index_name(int32_t id, char* out) { sprintf(out, "ZUL_BLK_%d_UK", (int)id); }

void db_make_logfiles_table_name(DB_INSTANCE* instance, const char* database, const char* owner,
                                 char* out) {
  logfile_table_name(instance, database, owner, "zul_logfiles", out);
}

void db_make_logfile_data_table_name(DB_INSTANCE* instance, const char* database,
                                     const char* owner, char* out) {
  logfile_table_name(instance, database, owner, "zul_logfile_data", out);
}

void db_layer_qualified_table_name(const LAYER* layer, char* out) {
  sprintf(out, "%.*s.%.*s", (int)sizeof layer->owner, layer->owner, (int)sizeof layer->table,
          layer->table);
}

void db_layer_f_table_name(const LAYER* layer, char* out) {
  (void)layer;  // the features live in the layer's own table
  out[0] = '\0';
}

void DB_table_make_name(const char* database, const char* owner, const char* table, char* out) {
  if (out == nullptr || table == nullptr) return;
  if (given(database)) sprintf(out, "%s.%s.%s", database, owner != nullptr ? owner : "", table);
  else sprintf(out, "%s.%s", owner != nullptr ? owner : "", table);
}

void DB_get_qualify_table_name(const LAYER* layer, char* out) {
  if (layer == nullptr || out == nullptr) return;
  size_t tlen = strnlen(layer->table, sizeof layer->table);
  if (memchr(layer->table, '.', tlen) != nullptr) put_part(out, sizeof layer->table, layer->table, tlen);
  else db_layer_qualified_table_name(layer, out);
}

void db_make_three_part_name(const char* database, const char* owner, const char* name, char* out) {
  if (database != nullptr) sprintf(out, "%s.%s.%s", database, owner, name);
  else sprintf(out, "%s.%s", owner, name);
}

// ---- 3. parsing ---------------------------------------------------------------------

void db_parse_table_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                         char* database, char* owner, char* table) {
  if (database != nullptr) database[0] = '\0';
  std::string text = name != nullptr ? name : "";
  SES_RemoveSpaces(&text[0]);
  text.resize(strlen(text.c_str()));
  const char* dflt = default_owner != nullptr ? default_owner : "";

  std::string db, own, tab;
  size_t last = text.rfind('.');
  if (last == std::string::npos) {
    own = dflt;
    tab = text;
    db = current_db(instance);
  } else {
    tab = text.substr(last + 1);
    std::string before = text.substr(0, last);
    size_t prev = before.rfind('.');
    if (prev != std::string::npos) {
      db = before.substr(0, prev);
      own = before.substr(prev + 1);
    } else {
      own = before;
      db = current_db(instance);
    }
    if (own.size() >= 2 && own.front() == '\'' && own.back() == '\'')
      own = own.substr(1, own.size() - 2);
  }
  put_name_part(instance, database, SE_NAME_DATABASE_LEN, db);
  put_name_part(instance, owner, SE_NAME_OWNER_LEN, own);
  put_name_part(instance, table, SE_NAME_TABLE_LEN, tab);
}

void db_parse_column_name(DB_INSTANCE* instance, const char* name, const char* default_owner,
                          char* database, char* owner, char* table, char* column) {
  if (database != nullptr) database[0] = '\0';
  std::string text = name != nullptr ? name : "";
  std::string suffix;
  bool has_suffix = false;
  size_t last = text.rfind('.');
  if (last != std::string::npos && last > 0 && text[last - 1] == '.') {
    suffix = text.substr(last + 1);
    has_suffix = true;
    text.resize(last - 1);
  }

  std::string db, own, tab, col;
  last = text.rfind('.');
  if (last == std::string::npos) {
    col = text;
  } else {
    col = text.substr(last + 1);
    std::string rest = text.substr(0, last);
    size_t second = rest.rfind('.');
    if (second != std::string::npos) {
      tab = rest.substr(second + 1);
      std::string front = rest.substr(0, second);
      size_t third = front.rfind('.');
      if (third != std::string::npos) {
        own = front.substr(third + 1);
        db = front.substr(0, third);
      } else {
        own = front;
      }
    } else {
      tab = rest;
      own = default_owner != nullptr ? default_owner : "";
    }
  }
  if (db.empty()) db = current_db(instance);
  if (has_suffix) col += ".." + suffix;

  put_name_part(instance, owner, SE_NAME_OWNER_LEN, own);
  put_name_part(instance, table, SE_NAME_TABLE_LEN, tab);
  put_name_part(instance, column, SE_NAME_COLUMN_LEN, col);
  put_name_part(instance, database, SE_NAME_DATABASE_LEN, db);
}

void DB_table_parse_name(DB_INSTANCE* instance, const char* name, char* database, char* owner,
                         char* table) {
  db_parse_table_name(instance, name, instance != nullptr ? instance->current_user : "", database,
                      owner, table);
}

void DB_column_parse_name(DB_INSTANCE* instance, const char* name, char* database, char* owner,
                          char* table, char* column) {
  db_parse_column_name(instance, name, instance != nullptr ? instance->current_user : "",
                       database, owner, table, column);
}

void DB_version_parse_name(DB_INSTANCE* instance, const char* version, char* owner, char* name) {
  std::string text = version != nullptr ? version : "";
  size_t dot = text.rfind('.');
  if (dot == std::string::npos) {
    put_part(owner, SE_NAME_OWNER_LEN, instance != nullptr ? instance->current_user : "",
             instance != nullptr ? strlen(instance->current_user) : 0);
    put_part(name, 64, text);
  } else {
    put_part(owner, SE_NAME_OWNER_LEN, text.substr(0, dot));
    put_part(name, 64, text.substr(dot + 1));
  }
  upcase(instance, owner, SE_NAME_OWNER_LEN);
}

int32_t db_table_name_matches(DB_INSTANCE* instance, const char* name, const char* database,
                              const char* owner, const char* table) {
  char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN];
  db_parse_table_name(instance, name, instance != nullptr ? instance->current_user : "", db, own,
                      tab);
  return database != nullptr && owner != nullptr && table != nullptr && strcmp(db, database) == 0 &&
                 strcmp(own, owner) == 0 && strcmp(tab, table) == 0
             ? 1
             : 0;
}

int32_t db_column_name_matches(DB_INSTANCE* instance, const char* name, const char* default_owner,
                               const char* database, const char* owner, const char* table,
                               const char* column) {
  char db[SE_NAME_DATABASE_LEN], own[SE_NAME_OWNER_LEN], tab[SE_NAME_TABLE_LEN],
      col[SE_NAME_COLUMN_LEN];
  db_parse_column_name(instance, name, default_owner, db, own, tab, col);
  if (column == nullptr || strcasecmp(col, column) != 0) return 0;
  // Each qualifier is compared only when every part after it matched.
  const char* parsed[3] = {tab, own, db};
  const char* wanted[3] = {table, owner, database};
  for (int k = 0; k < 3; ++k) {
    if (parsed[k][0] == '\0') continue;
    if (wanted[k] == nullptr || strcmp(parsed[k], wanted[k]) != 0) return 0;
  }
  return 1;
}

// ---- 4. procedures and quoting ------------------------------------------------------

void db_sp_make_name(DB_INSTANCE* instance, const char* procedure, int32_t mode, char* out) {
  (void)instance;
  if (mode == 1) sprintf(out, "%s.%s", kAdminSchema, procedure);
  else sprintf(out, "%s!%s", kSpLibrary, procedure);
}

void db_double_quotes(char* text) {
  if (text == nullptr) return;
  std::string work;
  for (const char* p = text; *p != '\0'; ++p) {
    work += *p;
    if (*p == '\'') work += '\'';
  }
  memcpy(text, work.c_str(), work.size() + 1);
}
