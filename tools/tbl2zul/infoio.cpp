// infoio.cpp -- the INFO back end of the table layer (table type 2).
//
// Divisions: 1. item descriptions and column definitions; 2. open, read and
// decode; 3. create, write, encode, delete and roll back; 4. listings.
//
// Relies on the INFO and base routines of zultables.h. The handle's text
// keeps the table name as given; it is split again by infpthC wherever the
// store needs the parts.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "tableio.h"
#include "zultables.h"

namespace {

enum { INF_DATE = 1, INF_CHAR = 2, INF_INT = 3, INF_NUM = 4, INF_BIN = 5, INF_FLOAT = 6 };

char item_letter(int type) {
  static const char kLetters[] = "?DCINBF";
  return type >= 1 && type <= 6 ? kLetters[type] : '?';
}

// ==== 1. item descriptions and column definitions ================================

// Integer-like items: SMALLINT up to width 4, INTEGER up to 10, wider ones
// INTEGER of size 10 without decimals, else DOUBLE.
void integer_type(int width, int item_decimals, ColDef* def) {
  if (width <= 4) {
    def->type = TBL_COL_SMALLINT;
  } else if (width <= 10) {
    def->type = TBL_COL_INTEGER;
  } else if (item_decimals == -1) {
    def->type = TBL_COL_INTEGER;
    def->size = 10;
  } else {
    def->type = TBL_COL_DOUBLE;
    def->decimals = static_cast<int16_t>(item_decimals);
  }
}

// Column definition from an item. Numeric items with decimals and 8-byte
// floating items are DOUBLE whatever their width, so that their values
// never pass through single precision.
int def_from_item(const INFITEM& it, ColDef* def, ColInfoEntry* info) {
  memset(def, 0, sizeof *def);
  if (f772c(it.name, static_cast<int>(strnlen(it.name, 16)), def->name, sizeof def->name) != 0) return TBL_BadColumnDef;
  cpgcnvtsnC(def->name, strlen(def->name));
  def->size = it.output;
  def->decimals = static_cast<int16_t>(it.decimals > 0 ? it.decimals : 0);
  def->nullable = 1;
  switch (it.type) {
    case INF_DATE: def->type = TBL_COL_DATE; break;
    case INF_CHAR:
      def->type = TBL_COL_STRING;
      if (it.storage > TBL_VALUE_LEN) return TBL_BadColumnWidth;
      break;
    case INF_INT: def->decimals = 0; integer_type(it.storage, it.decimals, def); break;
    case INF_BIN: def->decimals = 0; integer_type(it.output, it.decimals, def); break;
    case INF_NUM: def->type = it.storage > 6 || it.decimals > 0 ? TBL_COL_DOUBLE : TBL_COL_FLOAT; break;
    case INF_FLOAT: def->type = it.output > 6 || it.storage == 8 ? TBL_COL_DOUBLE : TBL_COL_FLOAT; break;
    default: return TBL_BadColumnDef;
  }
  info->start = it.start;
  info->width = it.storage;
  info->native_type = it.type;
  info->decimals = it.decimals;
  info->extra = it.output;
  return TBL_Success;
}

INFITEM item_of(const ColDef& def, const ColInfoEntry& info) {
  INFITEM it{};
  snprintf(it.name, sizeof it.name, "%.16s", def.name);
  it.type = info.native_type;
  it.start = info.start;
  it.storage = info.width;
  it.output = info.extra;
  it.decimals = info.decimals;
  return it;
}

bool item_ok(const ColDef& def, const ColInfoEntry& info) {
  size_t len = strlen(def.name);
  if (len < 1 || len > 16 || info.extra < 0) return false;
  bool no_dec = info.decimals == -1;
  switch (info.native_type) {
    case INF_DATE: return info.extra >= 5 && info.extra <= 11 && info.width == 8 && no_dec;
    case INF_CHAR: return info.width >= 1 && info.width <= 320 && no_dec;
    case INF_INT: return info.width >= 1 && info.width <= 16 && no_dec;
    case INF_NUM: return info.width >= 1 && info.width <= 16;
    case INF_BIN: return (info.width == 2 || info.width == 4) && no_dec;
    case INF_FLOAT: return info.width == 4 || info.width == 8;
    default: return false;
  }
}

bool same_columns(const ColInfo* a, const ColInfo* b) {
  return a->count == b->count && a->defs != nullptr && b->defs != nullptr &&
         memcmp(a->defs, b->defs, sizeof(ColDef) * static_cast<size_t>(a->count)) == 0 &&
         memcmp(a->info, b->info, sizeof(ColInfoEntry) * static_cast<size_t>(a->count)) == 0;
}

// ==== 2. open, read and decode ==================================================

int open_table(Table* t, int mode) {
  INFPATH parts;
  if (infpthC(t->text, &parts) != 0) return TBL_InvalidParamValue;
  int tabno = -1, nrec = 0, recsize = 0;
  int rc = infopnC(&parts, mode == 1 ? 1 : 14, &tabno, &nrec, &recsize);
  if (rc == -2 || rc == -1) return TBL_TableNotExist;
  if (rc != 0) return TBL_UnableToOpen;
  int count = infftiC(tabno);
  if (count < 0) count = infinfC(tabno, 11);
  if (count < 1) {
    infclsC(tabno);
    return count < 0 ? TBL_BadHeader : TBL_BadColumnCount;
  }
  ColInfo cols{};
  if (ColInfo_Alloc(&cols, count) != TBL_Success) {
    infclsC(tabno);
    return TBL_InsufficientMemory;
  }
  cols.table_type = TBL_TYPE_INFO;
  for (int i = 0; i < count; ++i) {
    INFITEM it;
    rc = irditmC(tabno, i + 1, &it) == 0 ? def_from_item(it, &cols.defs[i], &cols.info[i]) : TBL_BadHeader;
    if (rc != TBL_Success) {
      ColInfo_Free(&cols);
      infclsC(tabno);
      return rc;
    }
  }
  char* buf = static_cast<char*>(malloc(static_cast<size_t>(recsize) + 4));
  if (buf == nullptr || infibfC(tabno, buf, static_cast<size_t>(recsize) + 4) != 0) {
    free(buf);
    ColInfo_Free(&cols);
    infclsC(tabno);
    return TBL_InsufficientMemory;
  }
  ColInfo_Free(&t->md.cols);
  free(t->buffer);
  t->md.cols = cols;
  t->buffer = buf;
  t->fileno = tabno;
  t->md.open_mode = mode;
  t->md.file_records = nrec;
  t->md.record_size = recsize;
  t->records_read = mode == 1 ? 0 : nrec;
  return TBL_Success;
}

}  // namespace

int InfoIO_Exists(Table* t, const char* name) {
  if (t == nullptr) return TBL_InvalidHandle;
  INFPATH parts;
  if (name == nullptr || infpthC(name, &parts) != 0 || strlen(name) >= sizeof t->text) return TBL_InvalidParamValue;
  int rc = Table_SetName(t, name);
  if (rc != TBL_Success) return rc;
  memcpy(t->text, name, strlen(name) + 1);
  int e = infexfC(&parts);
  return e == 1 || e == 2 ? TBL_Success : TBL_TableNotExist;
}

int InfoIO_Open(Table* t, const char* name, int mode) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->fileno >= 0) return TBL_Success;
  if (mode < 1 || mode > 3) return TBL_InvalidParamValue;
  int rc = InfoIO_Exists(t, name);
  if (rc != TBL_Success) return rc;
  return open_table(t, mode);
}

Table_Record* InfoIO_RecordAlloc(Table* t) {
  if (t == nullptr || ColInfo_IsEmpty(&t->md.cols) || t->fileno < 0) return nullptr;
  Table_Record* r = static_cast<Table_Record*>(calloc(1, sizeof(Table_Record)));
  if (r == nullptr) return nullptr;
  r->table_type = TBL_TYPE_INFO;
  r->buffer = static_cast<char*>(malloc(static_cast<size_t>(t->md.record_size) + 4));
  if (r->buffer == nullptr || ColInfo_Copy(&r->cols, &t->md.cols) != TBL_Success ||
      infibfC(t->fileno, r->buffer, static_cast<size_t>(t->md.record_size) + 4) != 0) {
    Table_RecordFree(r);
    return nullptr;
  }
  r->buffer_len = t->md.record_size;
  return r;
}

int InfoIO_ReadRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr || r == nullptr) return TBL_InvalidHandle;
  if (t->fileno < 0) return TBL_TableNotOpen;
  if (!same_columns(&r->cols, &t->md.cols) || r->buffer_len != t->md.record_size) {
    char* buf = static_cast<char*>(malloc(static_cast<size_t>(t->md.record_size) + 4));
    if (buf == nullptr) return TBL_InsufficientMemory;
    int rc = ColInfo_Copy(&r->cols, &t->md.cols);
    if (rc != TBL_Success) {
      free(buf);
      return rc;
    }
    free(r->buffer);
    r->buffer = buf;
    r->buffer_len = t->md.record_size;
  }
  int n = ++t->records_read;
  if (recno != nullptr) *recno = n;
  int rc = infgetC(t->fileno, n, r->buffer, static_cast<size_t>(r->buffer_len) + 4);
  r->touched = 0;
  if (rc == -2) return TBL_RecordDeleted;
  return rc == 0 ? TBL_Success : TBL_RecordReadError;
}

int InfoIO_GetValue(const Table_Record* r, int column, Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  const ColDef& def = r->cols.defs[column - 1];
  INFITEM it = item_of(def, r->cols.info[column - 1]);
  memset(value, 0, sizeof *value);
  value->type = def.type;
  double x = 0;
  char text[INF_TEXT_CAP];
  int rc = infdecC(r->buffer, r->buffer_len, &it, &x, text);
  if (rc == -1) return TBL_InvalidColType;
  if (rc != 0) return TBL_ValueDecodeFailure;
  bool textual = it.type == INF_DATE || it.type == INF_CHAR;
  switch (def.type) {
    case TBL_COL_SMALLINT:
      if (textual) return TBL_ValueDecodeFailure;
      if (!(x >= -32768.0 && x <= 32767.0)) return TBL_ValueOverflow;
      value->v.s = static_cast<int16_t>(trunc(x));
      return TBL_Success;
    case TBL_COL_INTEGER:
      if (textual) return TBL_ValueDecodeFailure;
      if (!(x >= -2147483648.0 && x <= 2147483647.0)) return TBL_ValueOverflow;
      value->v.i = static_cast<int32_t>(trunc(x));
      return TBL_Success;
    case TBL_COL_FLOAT:
      if (textual) return TBL_ValueDecodeFailure;
      if (fabs(x) > 3.4028234663852886e38) return TBL_ValueOverflow;
      value->v.f = static_cast<float>(x);
      return TBL_Success;
    case TBL_COL_DOUBLE:
      if (textual) return TBL_ValueDecodeFailure;
      value->v.d = x;
      return TBL_Success;
    case TBL_COL_STRING: {
      if (it.type != INF_CHAR) return TBL_ValueDecodeFailure;
      size_t len = strnlen(text, TBL_VALUE_LEN);
      memcpy(value->v.str, text, len);
      value->v.str[len] = '\0';
      return TBL_Success;
    }
    case TBL_COL_DATE: {
      if (it.type != INF_DATE) return TBL_ValueDecodeFailure;
      if (x == 0) return TBL_Success;
      long n = static_cast<long>(x);
      value->v.date.mday = static_cast<int32_t>(n % 100);
      value->v.date.mon = static_cast<int32_t>(n / 100 % 100 - 1);
      value->v.date.year = static_cast<int32_t>(n / 10000 % 10000 - 1900);
      return TBL_Success;
    }
    case TBL_COL_BLOB: case TBL_COL_LOGICAL: case TBL_COL_DECIMAL: case TBL_COL_NUMERIC:
      return TBL_UnsupportedType;
    default:
      return TBL_InvalidColType;
  }
}

// ==== 3. create, write, encode, delete, roll back ================================

int InfoIO_EncodeColDef(const ColDef* def, ColInfoEntry* info) {
  if (def == nullptr || info == nullptr) return TBL_InvalidPointer;
  memset(info, 0, sizeof *info);
  info->decimals = -1;
  switch (def->type) {
    case TBL_COL_SMALLINT: case TBL_COL_INTEGER:
      info->native_type = INF_BIN;
      info->width = def->type == TBL_COL_SMALLINT ? 2 : 4;
      info->extra = def->size;
      break;
    case TBL_COL_FLOAT: case TBL_COL_DOUBLE:
      if (def->decimals > def->size - 1) return TBL_BadColumnDef;
      info->native_type = INF_FLOAT;
      info->width = def->type == TBL_COL_FLOAT ? 4 : 8;
      info->extra = def->size;
      if (def->decimals > 0) info->decimals = def->decimals;
      break;
    case TBL_COL_STRING:
      if (def->size < 1 || def->size > 320) return TBL_BadColumnWidth;
      info->native_type = INF_CHAR;
      info->width = info->extra = def->size;
      break;
    case TBL_COL_DATE: info->native_type = INF_DATE; info->width = 8; info->extra = 10; break;
    case TBL_COL_LOGICAL: info->native_type = INF_CHAR; info->width = info->extra = 1; break;
    case TBL_COL_BLOB: case TBL_COL_DECIMAL: case TBL_COL_NUMERIC: return TBL_UnsupportedType;
    default: return TBL_InvalidColType;
  }
  return TBL_Success;
}

int InfoIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed) {
  if (src == nullptr || dst == nullptr) return TBL_InvalidPointer;
  if (failed != nullptr) *failed = -1;
  if (src->table_type == TBL_TYPE_INFO) return ColInfo_Copy(dst, src);
  if (src->table_type == TBL_TYPE_DBASE) return TBL_NotImplemented;
  ColInfo out{};
  int rc = ColInfo_Alloc(&out, src->count);
  if (rc != TBL_Success) return rc;
  out.table_type = TBL_TYPE_INFO;
  for (int i = 0; i < src->count && rc == TBL_Success; ++i) {
    if (failed != nullptr) *failed = i;
    if (Tbl_IsReservedWord(src->defs[i].name)) {
      rc = TBL_SQLKeyword;
      break;
    }
    out.defs[i] = src->defs[i];
    out.defs[i].name[16] = '\0';
    int t = src->defs[i].type;
    if (t == TBL_COL_BLOB || t == TBL_COL_DECIMAL || t == TBL_COL_NUMERIC || t < 1 || t > TBL_COL_LOGICAL ||
        t == 8 || t == 9) {
      rc = TBL_UnsupportedType;
      break;
    }
    rc = InfoIO_EncodeColDef(&out.defs[i], &out.info[i]);
  }
  if (rc != TBL_Success) {
    ColInfo_Free(&out);
    return rc;
  }
  ColInfo_SetPositions(&out);
  if (failed != nullptr) *failed = -1;
  ColInfo_Free(dst);
  *dst = out;
  return TBL_Success;
}

int InfoIO_Create(Table* t, const char* name, const ColInfo* cols_in) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode == 1) return TBL_NotOpenForWrite;
  int exists = InfoIO_Exists(t, name);
  if (exists == TBL_Success) return TBL_TableAlreadyExists;
  if (exists != TBL_TableNotExist) return exists;
  if (!ColInfo_IsEmpty(&t->md.cols)) return TBL_SchemaExist;
  if (ColInfo_IsEmpty(cols_in) || cols_in->count > TBL_MAX_COLUMNS) return TBL_BadColumnCount;
  ColInfo cols{};
  int rc = ColInfo_Copy(&cols, cols_in);
  if (rc != TBL_Success) return rc;
  if (cols.info[0].native_type == 0) {
    for (int i = 0; i < cols.count && rc == TBL_Success; ++i) rc = InfoIO_EncodeColDef(&cols.defs[i], &cols.info[i]);
  }
  for (int i = 0; i < cols.count && rc == TBL_Success; ++i) {
    if (!item_ok(cols.defs[i], cols.info[i])) rc = TBL_BadColumnDef;
  }
  ColInfo_SetPositions(&cols);
  INFPATH parts;
  if (rc == TBL_Success && infpthC(t->text, &parts) != 0) rc = TBL_InvalidParamValue;
  if (rc == TBL_Success) {
    cassenC(0);
    int made = creiftC(parts.dir);
    cassenC(1);
    int d = made == 0 ? infdefC(&parts) : -2;
    if (d == -1) rc = TBL_TableAlreadyExists;
    else if (d != 0) rc = TBL_UnableToCreate;
  }
  for (int i = 0; i < cols.count && rc == TBL_Success; ++i) {
    char upper[17];
    snprintf(upper, sizeof upper, "%.16s", cols.defs[i].name);
    chrcasC(upper);
    int a = infadiC(&parts, upper, cols.info[i].native_type, cols.info[i].width, cols.info[i].extra,
                    cols.info[i].decimals);
    if (a != 0) {
      rc = a == -1 ? TBL_SchemaExist : a == -2 ? TBL_NoPermissions : a == -3 ? TBL_OutOfSpace : TBL_UnableToCreate;
      infersC(&parts);
    }
  }
  int requested = cols.count;
  ColInfo_Free(&cols);
  if (rc != TBL_Success) return rc;
  rc = open_table(t, 3);
  if (rc != TBL_Success) return rc;
  if (t->md.cols.count != requested) return TBL_SchemaMismatch;
  t->modified = 1;
  return TBL_Success;
}

int InfoIO_WriteRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr || r == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode != 2 && t->md.open_mode != 3) return TBL_NotOpenForWrite;
  if (t->fileno < 0) return TBL_TableNotOpen;
  if (!same_columns(&r->cols, &t->md.cols) || r->buffer_len != t->md.record_size) return TBL_SchemaMismatch;
  int n = ++t->records_read;
  if (infputC(t->fileno, r->buffer) != 0) {
    --t->records_read;
    return TBL_OutOfSpace;
  }
  if (recno != nullptr) *recno = n;
  ++t->md.file_records;
  ++t->md.records_written;
  t->modified = 1;
  r->touched = 0;
  return TBL_Success;
}

int InfoIO_SetValue(Table_Record* r, int column, const Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  const ColDef& def = r->cols.defs[column - 1];
  if (value->type != def.type) return TBL_TypeMismatch;
  INFITEM it = item_of(def, r->cols.info[column - 1]);
  double x = 0;
  char text[TBL_VALUE_LEN + 1] = "";
  bool null = value->is_null != 0;
  switch (it.type) {
    case INF_DATE: {
      if (value->type != TBL_COL_DATE) return TBL_ValueEncodeFailure;
      const TblDate& d = value->v.date;
      if (!null && d.mday != 0) x = (d.year + 1900.0) * 10000 + (d.mon + 1) * 100 + d.mday;
      break;
    }
    case INF_CHAR:
      if (value->type == TBL_COL_STRING) {
        if (!null) snprintf(text, sizeof text, "%.*s", TBL_VALUE_LEN, value->v.str);
      } else if (value->type == TBL_COL_LOGICAL) {
        snprintf(text, sizeof text, "%s", null ? "" : value->v.i == 0 ? "F" : value->v.i == 1 ? "T" : "?");
      } else {
        return TBL_ValueEncodeFailure;
      }
      break;
    case INF_INT: case INF_NUM: case INF_BIN: case INF_FLOAT:
      switch (value->type) {
        case TBL_COL_SMALLINT: x = value->v.s; break;
        case TBL_COL_INTEGER: x = value->v.i; break;
        case TBL_COL_FLOAT: x = value->v.f; break;
        case TBL_COL_DOUBLE: x = value->v.d; break;
        default: return TBL_ValueEncodeFailure;
      }
      if (null) x = 0;
      break;
    default:
      return TBL_InvalidColType;
  }
  int rc = infencC(r->buffer, r->buffer_len, &it, x, text);
  if (rc == -1) return TBL_InvalidColType;
  if (rc != 0) return TBL_ValueOverflow;
  ++r->touched;
  return TBL_Success;
}

int InfoIO_DeleteRecords(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode != 2 && t->md.open_mode != 3) return TBL_NotOpenForWrite;
  for (int n = 1; n <= t->md.file_records; ++n) {
    if (infdelC(t->fileno, n) != 0) return TBL_ExternalError;
  }
  t->md.file_records = 0;
  t->md.records_written = 0;
  t->modified = 1;
  return TBL_Success;
}

int InfoIO_Rollback(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode != 2 && t->md.open_mode != 3) return TBL_NotOpenForWrite;
  int n = infrbkC(t->fileno);
  if (n < 0) return TBL_Failure;
  t->records_read = n;
  t->md.file_records = n;
  t->md.records_written = 0;
  return TBL_Success;
}

int InfoIO_Close(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  int rc = TBL_Success;
  if (t->fileno >= 0 && infclsC(t->fileno) != 0) rc = TBL_OutOfSpace;
  t->fileno = -1;
  return rc;
}

// ==== 4. listings =================================================================

int InfoIO_ColInfo_List(const ColInfo* cols) {
  if (cols == nullptr) return TBL_InvalidColInfo;
  Tbl_Messagef("INFO Attribute Columns: %d ", cols->count);
  if (ColInfo_IsEmpty(cols)) return TBL_Success;
  Tbl_Message(nullptr, "Column   Name           Width Output Type N.Dec");
  Tbl_Message(nullptr, "------ ---------------- ----- ------ ---- -----");
  for (int i = 0; i < cols->count; ++i) {
    const ColInfoEntry& in = cols->info[i];
    char dec[16];
    if (in.decimals < 1) {
      snprintf(dec, sizeof dec, "  -");
    } else {
      snprintf(dec, sizeof dec, "%3d", in.decimals);
    }
    Tbl_Messagef("%5d  %-16.16s %5d %5d    %c  %5s ", in.start, cols->defs[i].name, in.width, in.extra,
                 item_letter(in.native_type), dec);
  }
  return TBL_Success;
}

int InfoIO_NativeColDefText(const ColDef* def, const ColInfoEntry* info, char* text, size_t cap) {
  if (def == nullptr || info == nullptr || text == nullptr) return TBL_InvalidPointer;
  snprintf(text, cap, "%-16.16s %c %3d %3d %d ", def->name, item_letter(info->native_type), info->width, info->extra,
           info->decimals);
  return TBL_Success;
}
