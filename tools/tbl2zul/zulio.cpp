// zulio.cpp -- the database back end of the table layer (table type 3, ZUL).
//
// The client library that reaches the server is not part of this build
// yet, so every operation that needs the server (describe, create,
// truncate, roll back, query, insert) answers TBL_InvalidConnection and
// records why in the handle's error record. What works without the server
// is here in full: the translation of dBASE and INFO column definitions
// into database column definitions, the records with their bound value
// slots and indicators, getting and setting values, the listings and the
// error report.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "tableio.h"

namespace {

const char kNoClient[] = "the client library is not available in this build";

// The client library's column types.
enum { LIB_STRING = 5 };

const char* library_type_name(int type) {
  static const char* const kBase[] = {"SE_SMALLINT", "SE_INTEGER", "SE_FLOAT", "SE_DOUBLE",
                                      "SE_STRING",   "SE_BLOB",    "SE_DATE",  "SE_SHAPE"};
  static const char* const kShapes[] = {"SE_POINT", "SE_CURVE", "SE_LINESTRING", "SE_SURFACE", "SE_POLYGON",
                                        "SE_GEOMETRYCOLLECTION", "SE_MULTISURFACE", "SE_MULTICURVE",
                                        "SE_MULTIPOINT", "SE_MULTILINESTRING", "SE_MULTIPOLYGON", "SE_GEOMETRY"};
  if (type >= 1 && type <= 8) return kBase[type - 1];
  if (type >= 20 && type <= 31) return kShapes[type - 20];
  return "UNKNOWN";
}

// Refuses an operation that needs the server.
int no_server(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  memset(&t->xerr, 0, sizeof t->xerr);
  t->xerr.code = -10;
  snprintf(t->xerr.msg, sizeof t->xerr.msg, "%s", kNoClient);
  return TBL_InvalidConnection;
}

char* slot(const Table_Record* r, int i) { return r->slots + static_cast<size_t>(i) * TBL_VALUE_LEN; }

unsigned char* blob_data(const Table_Record* r, int i) {
  unsigned char* p = nullptr;
  memcpy(&p, slot(r, i) + sizeof(int32_t), sizeof p);
  return p;
}

void free_blobs(Table_Record* r) {
  for (int i = 0; r->blob_count > 0 && i < r->cols.count; ++i) {
    if (r->cols.defs[i].type != TBL_COL_BLOB) continue;
    free(blob_data(r, i));
    memset(slot(r, i), 0, sizeof(int32_t) + sizeof(void*));
  }
}

}  // namespace

int ZulIO_Attach(Table* t, void* connection) {
  if (t == nullptr) return TBL_InvalidHandle;
  memset(&t->xerr, 0, sizeof t->xerr);
  if (connection == nullptr) return TBL_InvalidConnection;
  t->connection = connection;
  return TBL_Success;
}

int ZulIO_Open(Table* t, const char* name, int mode) { return no_server(t); }
int ZulIO_Create(Table* t, const char* name, const ColInfo* cols, const char* keyword) { return no_server(t); }
int ZulIO_Truncate(Table* t) { return no_server(t); }
int ZulIO_Rollback(Table* t) { return no_server(t); }
int ZulIO_StartQuery(Table* t, Table_Record* r, const char* where) { return no_server(t); }
int ZulIO_StartInsert(Table* t, Table_Record* r, int commit_rate, int buffered) { return no_server(t); }
int ZulIO_StopInsert(Table* t) { return no_server(t); }
int ZulIO_ReadRecord(Table* t, Table_Record* r) { return no_server(t); }
int ZulIO_WriteRecord(Table* t, Table_Record* r) { return no_server(t); }

int ZulIO_Close(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  return TBL_Success;  // no write batch can be open without the server
}

Table_Record* ZulIO_RecordAlloc(Table* t, int count, char** names) {
  if (t == nullptr || ColInfo_IsEmpty(&t->md.cols)) return nullptr;
  memset(&t->xerr, 0, sizeof t->xerr);
  const ColInfo& all = t->md.cols;
  int n = names != nullptr ? count : all.count;
  if (n < 1 || n > all.count * 4 + 1024) return nullptr;
  Table_Record* r = static_cast<Table_Record*>(calloc(1, sizeof(Table_Record)));
  if (r == nullptr || ColInfo_Alloc(&r->cols, n) != TBL_Success) {
    free(r);
    return nullptr;
  }
  r->table_type = TBL_TYPE_ZUL;
  r->cols.table_type = TBL_TYPE_ZUL;
  for (int i = 0; i < n; ++i) {
    int found = i;
    if (names != nullptr) {
      found = -1;
      for (int j = 0; j < all.count && found < 0; ++j) {
        if (names[i] != nullptr && strcasecmp(names[i], all.defs[j].name) == 0) found = j;
      }
      if (found < 0) {
        t->xerr.code = -38;
        Table_RecordFree(r);
        return nullptr;
      }
    }
    r->cols.defs[i] = all.defs[found];
    r->cols.info[i] = all.info[found];
  }
  r->names = static_cast<char**>(calloc(static_cast<size_t>(n), sizeof(char*)));
  r->slots = static_cast<char*>(calloc(static_cast<size_t>(n), TBL_VALUE_LEN));
  r->indicators = static_cast<int16_t*>(calloc(static_cast<size_t>(n), sizeof(int16_t)));
  if (r->names == nullptr || r->slots == nullptr || r->indicators == nullptr) {
    Table_RecordFree(r);
    return nullptr;
  }
  for (int i = 0; i < n; ++i) {
    r->names[i] = r->cols.defs[i].name;
    r->indicators[i] = 2;
  }
  r->blob_count = ColInfo_CountBlobs(&r->cols);
  return r;
}

int ZulIO_GetValue(const Table_Record* r, int column, Table_Value* value) {
  if (r == nullptr || r->slots == nullptr || r->indicators == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  int i = column - 1;
  const ColDef& def = r->cols.defs[i];
  memset(value, 0, sizeof *value);
  value->type = def.type;
  if (def.type != r->cols.info[i].native_type) return TBL_TypeMismatch;
  if (r->indicators[i] == 1) {
    value->is_null = 1;
    return TBL_ValueIsNull;
  }
  const char* s = slot(r, i);
  switch (def.type) {
    case TBL_COL_SMALLINT: memcpy(&value->v.s, s, sizeof value->v.s); return TBL_Success;
    case TBL_COL_INTEGER: memcpy(&value->v.i, s, sizeof value->v.i); return TBL_Success;
    case TBL_COL_FLOAT: memcpy(&value->v.f, s, sizeof value->v.f); return TBL_Success;
    case TBL_COL_DOUBLE: memcpy(&value->v.d, s, sizeof value->v.d); return TBL_Success;
    case TBL_COL_STRING: {
      size_t len = strnlen(s, TBL_VALUE_LEN);
      memcpy(value->v.str, s, len);
      value->v.str[len] = '\0';
      return TBL_Success;
    }
    case TBL_COL_BLOB: {
      int32_t len = 0;
      memcpy(&len, s, sizeof len);
      unsigned char* data = blob_data(r, i);
      if (len > 0 && data != nullptr) {
        value->v.blob.data = static_cast<unsigned char*>(malloc(static_cast<size_t>(len)));
        if (value->v.blob.data == nullptr) return TBL_InsufficientMemory;
        memcpy(value->v.blob.data, data, static_cast<size_t>(len));
        value->v.blob.len = len;
      }
      return TBL_Success;
    }
    case TBL_COL_DATE: memcpy(&value->v.date, s, sizeof value->v.date); return TBL_Success;
    case TBL_COL_LOGICAL: return TBL_ValueEncodeFailure;
    default: return TBL_UnsupportedColType;
  }
}

int ZulIO_SetValue(Table_Record* r, int column, const Table_Value* value) {
  if (r == nullptr || r->slots == nullptr || r->indicators == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  int i = column - 1;
  const ColDef& def = r->cols.defs[i];
  if (value->type != def.type) return TBL_TypeMismatch;
  if (r->touched == 0) free_blobs(r);
  ++r->touched;
  char* s = slot(r, i);
  if (value->is_null) {
    r->indicators[i] = 1;
    return TBL_Success;
  }
  r->indicators[i] = 2;
  switch (def.type) {
    case TBL_COL_SMALLINT: memcpy(s, &value->v.s, sizeof value->v.s); return TBL_Success;
    case TBL_COL_INTEGER: memcpy(s, &value->v.i, sizeof value->v.i); return TBL_Success;
    case TBL_COL_FLOAT: memcpy(s, &value->v.f, sizeof value->v.f); return TBL_Success;
    case TBL_COL_DOUBLE: memcpy(s, &value->v.d, sizeof value->v.d); return TBL_Success;
    case TBL_COL_STRING: {
      size_t cap = def.size > 0 && def.size < TBL_VALUE_LEN ? static_cast<size_t>(def.size) : TBL_VALUE_LEN - 1;
      size_t len = strnlen(value->v.str, TBL_VALUE_LEN);
      if (len > cap) len = cap;
      memset(s, 0, TBL_VALUE_LEN);
      if (len == 0) {
        s[0] = ' ';  // the database keeps no empty string apart from NULL
      } else {
        memcpy(s, value->v.str, len);
      }
      return TBL_Success;
    }
    case TBL_COL_BLOB: {
      unsigned char* data = nullptr;
      int32_t len = value->v.blob.len > 0 && value->v.blob.data != nullptr ? value->v.blob.len : 0;
      if (len > 0) {
        data = static_cast<unsigned char*>(malloc(static_cast<size_t>(len)));
        if (data == nullptr) return TBL_InsufficientMemory;
        memcpy(data, value->v.blob.data, static_cast<size_t>(len));
      }
      free(blob_data(r, i));
      memcpy(s, &len, sizeof len);
      memcpy(s + sizeof len, &data, sizeof data);
      return TBL_Success;
    }
    case TBL_COL_DATE: memcpy(s, &value->v.date, sizeof value->v.date); return TBL_Success;
    case TBL_COL_LOGICAL:
      s[0] = value->v.i == 0 ? 'F' : value->v.i == 1 ? 'T' : '?';
      s[1] = '\0';
      return TBL_Success;
    default: return TBL_UnsupportedColType;
  }
}

int ZulIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed) {
  if (src == nullptr || dst == nullptr) return TBL_InvalidPointer;
  if (failed != nullptr) *failed = -1;
  ColInfo out{};
  int rc = ColInfo_Alloc(&out, src->count);
  if (rc != TBL_Success) return rc;
  out.table_type = TBL_TYPE_ZUL;
  for (int i = 0; i < src->count && rc == TBL_Success; ++i) {
    const ColDef& s = src->defs[i];
    ColDef& d = out.defs[i];
    if (failed != nullptr) *failed = i;
    if (src->table_type == TBL_TYPE_ZUL) {
      d = s;
    } else {
      snprintf(d.name, sizeof d.name, "%s", s.name);
      if (src->table_type == TBL_TYPE_INFO) d.name[16] = '\0';
      if (d.name[0] == '#') d.name[0] = '_';
      for (char* p = d.name; *p; ++p) {
        if (*p == '-') *p = '_';
      }
      if (Tbl_IsReservedWord(d.name)) {
        rc = TBL_SQLKeyword;
        break;
      }
      d.nullable = 1;
      switch (s.type) {
        case TBL_COL_SMALLINT: case TBL_COL_INTEGER: case TBL_COL_FLOAT: case TBL_COL_DOUBLE:
          if (s.decimals > 0) {
            d.decimals = s.decimals;
            d.size = src->table_type == TBL_TYPE_DBASE ? s.size + (s.decimals < 2 ? s.decimals : 2) : s.size;
            d.type = d.size > 6 ? TBL_COL_DOUBLE : TBL_COL_FLOAT;
          } else if (s.size <= 4) {
            d.type = TBL_COL_SMALLINT;
            d.size = s.size;
          } else if (s.size <= 9) {
            d.type = TBL_COL_INTEGER;
            d.size = s.size;
          } else if (s.size == 10) {
            d.type = TBL_COL_INTEGER;
          } else {
            d.type = TBL_COL_DOUBLE;
            d.size = s.size;
          }
          break;
        case TBL_COL_STRING:
          // A value slot holds TBL_VALUE_LEN bytes: a wider column would be cut.
          if (s.size < 1 || s.size >= TBL_VALUE_LEN) {
            rc = TBL_BadColumnWidth;
            continue;
          }
          d.type = TBL_COL_STRING;
          d.size = s.size;
          break;
        case TBL_COL_DATE: d.type = TBL_COL_DATE; break;
        case TBL_COL_LOGICAL: d.type = TBL_COL_LOGICAL; d.size = 1; break;
        default: rc = TBL_InvalidColType; continue;
      }
    }
    out.info[i].start = 0;
    out.info[i].width = d.size;
    out.info[i].native_type = d.type == TBL_COL_LOGICAL ? LIB_STRING : d.type;
    out.info[i].decimals = d.decimals;
  }
  if (rc != TBL_Success) {
    ColInfo_Free(&out);
    return rc;
  }
  if (failed != nullptr) *failed = -1;
  ColInfo_Free(dst);
  *dst = out;
  return TBL_Success;
}

int ZulIO_ColInfo_List(const ColInfo* cols) {
  if (cols == nullptr) return TBL_InvalidColInfo;
  Tbl_Messagef("ZUL Attribute Columns: %d", cols->count);
  if (ColInfo_IsEmpty(cols)) return TBL_Success;
  Tbl_Message(nullptr, "Name                                 Type     Width Decimal Places  NULL?  ");
  Tbl_Message(nullptr, "-------------------------------- ----------- ------ -------------- --------");
  for (int i = 0; i < cols->count; ++i) {
    const ColDef& d = cols->defs[i];
    Tbl_Messagef("%-32s %-11s %6ld      %3d       %-8s", d.name, library_type_name(cols->info[i].native_type),
                 static_cast<long>(d.size), d.decimals, d.nullable ? " " : "NOT NULL");
  }
  return TBL_Success;
}

int ZulIO_NativeColDefText(const ColDef* def, char* text, size_t cap) {
  if (def == nullptr || text == nullptr) return TBL_InvalidPointer;
  int lib = def->type == TBL_COL_LOGICAL ? LIB_STRING : def->type;
  if (def->type == TBL_COL_FLOAT || def->type == TBL_COL_DOUBLE) {
    snprintf(text, cap, "%-16s %-11s%4d%3d %s", def->name, library_type_name(lib), def->size, def->decimals,
             def->nullable ? " " : "NOT_NULL");
  } else {
    snprintf(text, cap, "%-16s %-11s%4d    %s", def->name, library_type_name(lib), def->size,
             def->nullable ? " " : "NOT_NULL");
  }
  return TBL_Success;
}

void ZulIO_ReportConnectionError(Table* t, int code, const char* context) {
  // Without the client library no code has a text of its own.
  const char* text = "***INVALID_ZUL_ERROR_CODE***";
  if (code != -51) {
    if (context == nullptr || context[0] == '\0') {
      Tbl_Messagef("ZUL_IO Module Error Code (%d): %s ", code, text);
    } else if (context[0] == '\n') {
      Tbl_Messagef("ZUL_IO Module Error Code (%d): %s ", code, text);
      Tbl_Message(nullptr, context + 1);
    } else {
      Tbl_Messagef("ZUL_IO Modue Error Code (%d): %s  (%s) ", code, text, context);
    }
    return;
  }
  Tbl_Messagef("ZUL_IO Module Error Code (%d): %s ", code, text);
  if (t != nullptr) {
    Tbl_Messagef("Extended DBMS error code: %ld", static_cast<long>(t->xerr.native));
    if (t->xerr.msg[0] != '\0') Tbl_Message(nullptr, t->xerr.msg);
    if (t->xerr.ext_msg[0] != '\0') Tbl_Message(nullptr, t->xerr.ext_msg);
  }
  if (context != nullptr && context[0] != '\0') Tbl_Message(nullptr, context[0] == '\n' ? context + 1 : context);
}
