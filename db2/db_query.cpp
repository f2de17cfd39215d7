// db_query.cpp -- setting a query up on a stream: the layer of its tables,
// the SELECT built as select list + FROM + WHERE + trailing clause, its
// prepare with the SQLSTATE map every re-prepare shares, and the describe of
// the result columns.
//
// Relies on the layer cache (DB_layer_get_info_by_table_name), the
// registration callback of the instance and the describe of the access
// core. The spatial constraints, the execute and the fetch live in
// db_query_exec.cpp and db_fetch.cpp; all three share db_query_work.h.
//
// Notes:
//  1. The statement texts are kept after the prepare: the execute extends
//     the select list (row-id column, hidden shape column) or adds the first
//     cut of the spatial filter and prepares again from the same parts.
//  2. Client text is taken as a query's text by design (the query's columns,
//     tables and where clause are the client's SQL); table names reach the
//     FROM part through the name parser, which keeps each part to its size.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>

#include "db_query_work.h"
#include "dbsql_io.h"
#include "zul_db_layer.h"
#include "zul_db_query.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

namespace {

bool upper_equal(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

void copy_text(char* out, size_t cap, const char* text) {
  size_t len = strnlen(text != nullptr ? text : "", cap - 1);
  if (len > 0) memcpy(out, text, len);
  out[len] = '\0';
}

const char* last_part(const char* name) {
  const char* dot = strrchr(name, '.');
  return dot != nullptr ? dot + 1 : name;
}

const SQL_CONSTRUCT* construct_of(DB_STREAM* s) {
  return s->query_info != nullptr ? s->query_info->construct : nullptr;
}

// 1 when the table name of the construct names the layer's table.
bool names_layer_table(DB_STREAM* s, const char* table, const LAYER* layer) {
  char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], name[SE_NAME_TABLE_LEN];
  db_parse_table_name(s->instance, table, s->owner, database, owner, name);
  return upper_equal(owner, layer->owner) && upper_equal(name, layer->table);
}

void take_layer(DB_STREAM* s, LAYER* layer) {
  s->layer = layer;
  copy_text(s->table, sizeof s->table, layer->table);
  copy_text(s->table_owner, sizeof s->table_owner, layer->owner);
  copy_text(s->table_database, sizeof s->table_database, layer->database);
  copy_text(s->spatial_column_name, sizeof s->spatial_column_name, layer->spatial_column);
  snprintf(s->qualified_table, sizeof s->qualified_table, "%s:%s.%s", layer->database,
           layer->owner, layer->table);
}

int32_t check_layer_table(DB_STREAM* s, LAYER* layer) {
  const SQL_CONSTRUCT* c = construct_of(s);
  if (c != nullptr && c->num_tables > 0) {
    for (int32_t i = 0; i < c->num_tables; ++i) {
      if (names_layer_table(s, c->tables[i], layer))
        return (layer->entity_flags & SE_LAYER_LOAD_ONLY) ? SE_LAYER_LOAD_ONLY_MODE : 0;
    }
    return SE_INVALID_LAYER_TABLE;
  }
  if (s->table[0] == '\0') return 0;
  if (upper_equal(s->table_owner, layer->owner) && upper_equal(s->table, layer->table)) return 0;
  return SE_INVALID_LAYER_TABLE;
}

bool is_spatial_column(DB_STREAM* s, const char* name) {
  if (s->layer == nullptr) return false;
  char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN],
      column[SE_NAME_COLUMN_LEN];
  db_parse_column_name(s->instance, name, nullptr, database, owner, table, column);
  if (!upper_equal(column, s->layer->spatial_column)) return false;
  if (table[0] == '\0') return true;
  if (!upper_equal(table, s->layer->table)) return false;
  return owner[0] == '\0' || upper_equal(owner, s->layer->owner);
}

// " %s.%s.%s %s, " for SE_ROW_ID: the registered row-id column of the layer's
// table (or of the column's own table).
int32_t rowid_item(DB_STREAM* s, const char* requested, std::string* out) {
  char owner[SE_NAME_OWNER_LEN] = "", table[SE_NAME_TABLE_LEN] = "";
  if (s->layer != nullptr) {
    copy_text(owner, sizeof owner, s->layer->owner);
    copy_text(table, sizeof table, s->layer->table);
  } else {
    const SQL_CONSTRUCT* c = construct_of(s);
    LAYER* found = nullptr;
    for (int32_t i = 0; c != nullptr && i < c->num_tables && found == nullptr; ++i) {
      LAYER* l = nullptr;
      int32_t st = DB_layer_get_info_by_table_name(s->instance, s, c->tables[i], nullptr,
                                                   s->owner, &l);
      if (st == 0) found = l;
      else if (st != SE_LAYER_NOEXIST) return st;
    }
    if (found == nullptr) return SE_ROWID_NO_LAYER;
    copy_text(owner, sizeof owner, found->owner);
    copy_text(table, sizeof table, found->table);
  }
  REGISTRATION reg;
  int32_t st = db_query_registration(s, owner, table, &reg);
  if (st != 0 && st != SE_TABLE_NOREGISTERED) return st;
  if (st != 0 || reg.rowid_column[0] == '\0') return SE_NO_REGISTERED_ROWID;
  *out += " ";
  *out += owner;
  *out += ".";
  *out += table;
  *out += ".";
  *out += reg.rowid_column;
  *out += " ";
  *out += requested;
  *out += ", ";
  return 0;
}

int32_t make_select_list(DB_STREAM* s, DB_QUERY_WORK* w) {
  const QUERYINFO* info = s->query_info;
  std::string text = "select ";
  for (int32_t i = 0; i < info->num_columns; ++i) {
    const char* name = info->columns[i];
    if (upper_equal(last_part(name), "SE_ROW_ID")) {
      int32_t st = rowid_item(s, name, &text);
      if (st != 0) return st;
    } else if (is_spatial_column(s, name)) {
      text += " ";
      text += name;
      text += "..Points ";
      text += last_part(name);
      text += ", ";
      w->shape_selected = true;
    } else {
      text += " ";
      text += name;
      text += ", ";
    }
  }
  if (s->layer != nullptr && w->shape_selected && (s->layer->entity_flags & 0x200000)) {
    text += " ";
    text += s->layer->spatial_column;
    text += "..Anno_Text ";
    w->anno_selected = true;
  } else if (text.size() >= 2 && text.compare(text.size() - 2, 2, ", ") == 0) {
    text[text.size() - 2] = ' ';
    text.resize(text.size() - 1);
  }
  w->select_text = text;
  return 0;
}

void make_from_clause(DB_STREAM* s, DB_QUERY_WORK* w) {
  const SQL_CONSTRUCT* c = construct_of(s);
  std::string text = "from ";
  char feature_table[32];
  if (s->layer != nullptr) db_make_f_table_name(s->layer->id, feature_table);
  for (int32_t i = 0; c != nullptr && i < c->num_tables; ++i) {
    char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
    db_parse_table_name(s->instance, c->tables[i], s->owner, database, owner, table);
    if (s->layer != nullptr && upper_equal(table, feature_table) &&
        upper_equal(owner, s->layer->owner))
      continue;
    text += " ";
    if (database[0] != '\0') {
      text += database;
      text += ".";
    }
    text += owner;
    text += ".";
    text += table;
    text += ",";
  }
  if (!text.empty() && text.back() == ',') text.back() = ' ';
  w->from_text = text;
}

void make_where_clause(DB_STREAM* s, DB_QUERY_WORK* w) {
  const SQL_CONSTRUCT* c = construct_of(s);
  w->where_text.clear();
  const char* rest = db_sql_strip_where(c != nullptr ? c->where : nullptr);
  if (rest == nullptr || rest[strspn(rest, " \n\t")] == '\0') return;
  w->where_text = " where (";
  w->where_text += rest;
  w->where_text += ")";
}

int32_t build_query(DB_STREAM* s, DB_QUERY_WORK* w) {
  int32_t st = make_select_list(s, w);
  if (st == 0) {
    make_from_clause(s, w);
    make_where_clause(s, w);
    st = db_query_rebuild(s, "");
  }
  if (st != 0) {
    w->select_text.clear();
    w->from_text.clear();
    w->where_text.clear();
    db_stream_copy_ctx_error(s->instance, s);
    if (s->xerr.code == 0) s->xerr.code = st;
    return st;
  }
  w->query_built = true;
  const SQL_CONSTRUCT* c = construct_of(s);
  s->num_tables = c != nullptr ? c->num_tables : 0;
  s->tables = c != nullptr ? c->tables : nullptr;
  s->where = c != nullptr ? c->where : nullptr;
  return 0;
}

}  // namespace

// ---- shared work -----------------------------------------------------------------------

DB_QUERY_WORK* db_query_work(DB_STREAM* s) {
  if (s->query == nullptr) s->query = new (std::nothrow) DB_QUERY_WORK();
  DB_QUERY_WORK* w = s->query;
  // A close that released the filters cleared the stream's filter count:
  // the caller's array may be gone, so its prepared shapes go too.
  if (w != nullptr && w->filter_count > 0 && s->num_filters == 0) {
    if (w->specs != nullptr) SES_free_feature_specs(w->filter_count, nullptr, w->specs);
    w->specs = nullptr;
    w->results.clear();
    w->filters = nullptr;
    w->filter_count = 0;
    w->filter_exact = 0;
  }
  return w;
}

int32_t db_query_registration(DB_STREAM* s, const char* owner, const char* table,
                              REGISTRATION* reg) {
  char name[SE_NAME_OWNER_LEN + SE_NAME_TABLE_LEN + 2];
  snprintf(name, sizeof name, "%s.%s", owner, table);
  memset(reg, 0, sizeof *reg);
  return db_lookup_registration(s->instance, name, reg);
}

// Prepares select + extra + FROM + WHERE + trailing clause.
int32_t db_query_rebuild(DB_STREAM* s, const std::string& extra_select) {
  DB_QUERY_WORK* w = s->query;
  if (w->from_text.empty()) return -1;
  std::string sql = w->select_text + extra_select + " " + w->from_text + w->where_text;
  if (!w->trailing_text.empty()) sql += " " + w->trailing_text;
  return DB_stream_prepare_sql(s, sql.c_str(), nullptr);
}

// ---- set-up ------------------------------------------------------------------------------

int32_t DB_stream_init_query_layer(DB_STREAM* s, const QUERYINFO* info, const MV_QUERY* versioned,
                                   const LOGFILE* logfile, LAYER* log_layer) {
  (void)log_layer;
  DB_instance_clear_xerr(s->instance);
  DB_stream_clear_xerr(s);
  if (versioned != nullptr || logfile != nullptr) {
    fprintf(stderr, "DB_stream_init_query_layer: versioned and logged queries, not built yet\n");
    return SE_NOT_BUILT_YET;
  }
  // 1.
  SES_queryinfo_free(s->query_info);
  s->query_info = nullptr;
  int32_t st = db_stream_set_query_info(s, info);
  if (st != 0) return st;
  DB_QUERY_WORK* w = db_query_work(s);
  if (w == nullptr) return SE_OUT_OF_DBMS_MEM;

  // 2. a new set-up replaces the statement and its texts
  w->query_built = w->executed = w->shape_selected = w->shape_hidden = false;
  w->rowid_added = w->anno_selected = false;
  w->shape_index = w->rowid_index = -1;
  w->envelope_filter = false;
  w->trailing_text.clear();
  w->describe_done = false;
  w->described = 0;
  w->defs.clear();

  // 3.
  const SQL_CONSTRUCT* c = construct_of(s);
  bool load_layers = true;
  if (c != nullptr && c->num_tables == 1) {
    char database[SE_NAME_DATABASE_LEN], owner[SE_NAME_OWNER_LEN], table[SE_NAME_TABLE_LEN];
    db_parse_table_name(s->instance, c->tables[0], s->owner, database, owner, table);
    REGISTRATION reg;
    if (db_query_registration(s, owner, table, &reg) == 0 && !(reg.flags & SE_REG_LAYER_DEPENDS))
      load_layers = false;
  }

  // 4. the layer of the tables; two layers in one query are refused
  LAYER* aside = s->layer;
  s->layer = nullptr;
  LAYER* found = nullptr;
  for (int32_t i = 0; load_layers && c != nullptr && i < c->num_tables; ++i) {
    LAYER* l = nullptr;
    st = DB_layer_get_info_by_table_name(s->instance, s, c->tables[i], nullptr, s->owner, &l);
    if (st == SE_LAYER_NOEXIST || st == SE_TABLE_NOEXIST) continue;
    if (st != 0) return st;
    if (found != nullptr && found != l && found->id != l->id) return SE_INVALID_LAYER_TABLE;
    found = l;
  }

  // 5.
  if (aside != nullptr && found == nullptr) {
    st = check_layer_table(s, aside);
    if (st != 0) return st;
    found = aside;
  } else if (aside != nullptr && found != nullptr && aside->id != found->id) {
    return SE_INVALID_LAYER_TABLE;
  }

  // 7. filters stored before the set-up must name this layer
  for (int32_t i = 0; i < w->filter_count && found != nullptr; ++i) {
    const SPATIAL_FILTER& f = w->filters[i];
    if (f.table[0] == '\0') continue;
    LAYER* l = nullptr;
    st = DB_layer_get_info_by_table_name(s->instance, s, f.table, f.column, s->owner, &l);
    if (st != 0) return st;
    if (l->id != found->id) return SE_INVALID_LAYER_TABLE;
  }

  // 8.
  if (found != nullptr) {
    if (!(found->privileges & 0x2)) return SE_NO_PERMISSIONS;
    if (found->entity_flags & SE_LAYER_LOAD_ONLY) return SE_LAYER_LOAD_ONLY_MODE;
    take_layer(s, found);
  } else {
    s->table[0] = s->table_owner[0] = s->table_database[0] = s->spatial_column_name[0] = '\0';
    s->qualified_table[0] = '\0';
  }

  // 10.
  if (s->query_info->clause != nullptr && s->query_info->clause[0] != '\0')
    w->trailing_text.assign(s->query_info->clause,
                            strnlen(s->query_info->clause, SE_QUERY_TRAILING_CAP - 1));

  // 11.
  s->operation_mode = 3;
  return build_query(s, w);
}

int32_t DB_stream_prepare_sql(DB_STREAM* s, const char* sql, void* unused) {
  (void)unused;
  db_free_stmt(&s->query_stmt);
  int32_t st = db_open_cursor(s->instance, s, &s->query_stmt);
  if (st != 0) return st;
  int32_t rc = db_prepare_sql_text(s->query_stmt, sql);
  if (rc == 0) return 0;
  DB_DIAG_RECORD d = db_get_diag_record(s->instance, &s->query_stmt, rc);
  db_free_stmt(&s->query_stmt);
  struct { const char* state; int32_t status; } const map[] = {
      {"42S02", SE_TABLE_NOEXIST}, {"42502", SE_NO_PERMISSIONS}, {"42S22", SE_ATTR_NOEXIST},
      {"37000", SE_SQL_SYNTAX},    {"42601", SE_SQL_SYNTAX},     {"42707", SE_SQL_SYNTAX},
  };
  for (const auto& m : map)
    if (strcmp(d.sqlstate, m.state) == 0) {
      s->xerr.code = m.status;
      s->xerr.native = d.native;
      copy_text(s->xerr.msg, sizeof s->xerr.msg, d.message);
      copy_text(s->xerr.ext_msg, sizeof s->xerr.ext_msg, d.sqlstate);
      return m.status;
    }
  db_stream_report_dbms_error(s, d);
  return SE_DB_IO_ERROR;
}

// ---- describe --------------------------------------------------------------------------------

int32_t DB_stream_describe_sql(DB_STREAM* s, const REGISTRATION* registration, int16_t* count,
                               COLUMN_DEF** defs, LAYER*** layers) {
  DB_instance_clear_xerr(s->instance);
  DB_stream_clear_xerr(s);
  DB_QUERY_WORK* w = db_query_work(s);
  if (w == nullptr) return SE_OUT_OF_DBMS_MEM;
  int16_t n = 0;
  COLUMN_DEF* d = nullptr;
  int32_t* sizes = nullptr;
  int16_t* ctypes = nullptr;
  int32_t st = db_describe_select(s->instance, s, &s->query_stmt, &n, &d, &sizes, &ctypes);
  if (st != 0) return st;
  int16_t handed = n;
  if (w->shape_hidden || w->anno_selected) --handed;
  if (w->rowid_added) --handed;
  if (handed < 0) handed = 0;

  w->defs.assign(d, d + handed);
  w->rowid_index = -1;
  w->shape_index = -1;
  REGISTRATION reg;
  bool have_reg = registration != nullptr && (registration->flags & SE_REG_HAS_ROWID);
  if (!have_reg && s->layer != nullptr &&
      db_query_registration(s, s->layer->owner, s->layer->table, &reg) == 0 &&
      (reg.flags & SE_REG_HAS_ROWID)) {
    registration = &reg;
    have_reg = true;
  }
  for (int16_t i = 0; i < handed; ++i) {
    COLUMN_DEF& c = w->defs[i];
    c.rowid_kind = SE_ROWID_NONE;
    if (have_reg && w->rowid_index < 0 && c.type == SE_INTEGER &&
        upper_equal(c.name, registration->rowid_column)) {
      c.rowid_kind = (registration->flags & SE_REG_ROWID_BY_SERVER) ? SE_ROWID_BY_SERVER
                                                                    : SE_ROWID_BY_USER;
      w->rowid_index = i;
    }
    if (s->layer != nullptr && (c.type == SE_STRING || c.type == SE_BLOB || c.type == SE_SHAPE) &&
        upper_equal(c.name, s->layer->spatial_column) && w->shape_index < 0) {
      c.type = SE_SHAPE;
      c.size = 0;
      c.decimals = 0;
      w->shape_index = i;
    }
  }
  free(d);
  free(sizes);
  free(ctypes);
  if (layers != nullptr) {
    *layers = static_cast<LAYER**>(calloc(handed > 0 ? (size_t)handed : 1, sizeof(LAYER*)));
    if (*layers == nullptr) return SE_OUT_OF_DBMS_MEM;
    if (w->shape_index >= 0) (*layers)[w->shape_index] = s->layer;
  }
  w->described = handed;
  w->describe_done = true;
  s->num_columns = handed;
  if (count != nullptr) *count = handed;
  if (defs != nullptr) *defs = w->defs.empty() ? nullptr : w->defs.data();
  return 0;
}

int32_t DB_row_lock_is_enable(void* unused, int32_t* out) {
  (void)unused;
  if (out != nullptr) *out = -1008;
  return 0;
}

int32_t DB_stream_get_rowlocking(DB_STREAM* s, int32_t* out) {
  (void)s;
  if (out != nullptr) *out = 0;
  return 0;
}
