// dbaseio.cpp -- the dBASE back end of the table layer (table type 1).
//
// Divisions: 1. field descriptors and column definitions; 2. open, read and
// decode; 3. create, backup, write, encode, empty and roll back; 4.
// listings.
//
// Relies on the dBASE and base routines of zultables.h; the file itself is
// checked there before anything is read from it. Field texts are copied
// into bounded buffers (a value holds TBL_VALUE_LEN characters), and a
// field wider than that is refused when the file is opened.
#include <ctype.h>
#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tableio.h"
#include "zultables.h"

namespace {

// ==== 1. field descriptors and column definitions ===============================

// Column definition from a field descriptor. Numeric fields with decimals
// are DOUBLE at the source whatever their width, so that a decimal text
// never passes through single precision on its way to a DOUBLE target.
int def_from_item(const DBITEM& item, ColDef* def, ColInfoEntry* info) {
  memset(def, 0, sizeof *def);
  snprintf(def->name, sizeof def->name, "%s", item.name);
  cpgcnvtsnC(def->name, strlen(def->name));
  def->size = item.width;
  def->decimals = static_cast<int16_t>(item.decimals);
  def->nullable = 1;
  switch (item.type) {
    case 'B': case 'C': case 'G': case 'M':
      def->type = TBL_COL_STRING;
      if (item.width > TBL_VALUE_LEN) return TBL_BadColumnWidth;
      break;
    case 'D': def->type = TBL_COL_DATE; break;
    case 'L': def->type = TBL_COL_LOGICAL; break;
    case 'F': case 'N':
      if (item.decimals > 0) {
        def->type = TBL_COL_DOUBLE;
      } else if (item.width <= 4) {
        def->type = TBL_COL_SMALLINT;
      } else if (item.width > 10) {
        def->type = TBL_COL_DOUBLE;
      } else {
        def->type = TBL_COL_INTEGER;
      }
      break;
    default: return TBL_InvalidColType;
  }
  info->width = item.width;
  info->native_type = item.type;
  info->decimals = item.decimals;
  info->extra = item.width;
  return TBL_Success;
}

void set_offsets(ColInfo* cols) {
  int off = 0;
  for (int i = 0; i < cols->count; ++i) {
    cols->info[i].start = off;
    off += cols->info[i].width;
  }
}

int record_size(const ColInfo* cols) {
  long size = 0;
  for (int i = 0; i < cols->count; ++i) size += cols->info[i].width;
  return size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
}

bool same_columns(const ColInfo* a, const ColInfo* b) {
  return a->count == b->count && a->defs != nullptr && b->defs != nullptr &&
         memcmp(a->defs, b->defs, sizeof(ColDef) * static_cast<size_t>(a->count)) == 0 &&
         memcmp(a->info, b->info, sizeof(ColInfoEntry) * static_cast<size_t>(a->count)) == 0;
}

char* blank_buffer(int size) {
  char* buf = static_cast<char*>(malloc(static_cast<size_t>(size) + 4));
  if (buf != nullptr) memset(buf, ' ', static_cast<size_t>(size) + 4);
  return buf;
}

// The check of a field before a file is made with it.
bool field_ok(const ColDef& def, const ColInfoEntry& info) {
  size_t len = strlen(def.name);
  if (len < 1 || len > 10 || !isalpha(static_cast<unsigned char>(def.name[0]))) return false;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(def.name[i]);
    if (!(isalnum(c) || c == '_' || (c >= 0x80 && !ceucchk()))) return false;
  }
  switch (info.native_type) {
    case 'C': return info.width >= 1 && info.width <= 254;
    case 'D': return info.width == 8;
    case 'N': return info.width >= 1 && info.width <= 19 && info.decimals >= 0 && info.decimals <= info.width - 1;
    case 'L': return info.width == 1;
    default: return false;
  }
}

// ==== 2. open, read and decode =================================================

int open_file(Table* t, int mode) {
  int fileno = -1;
  int rc = dbopenC(&fileno, t->text, mode == 1 ? 1 : 2);
  if (rc == -3) return TBL_BadHeader;
  if (rc == -2) return TBL_OutOfChannels;
  if (rc != 0) return TBL_UnableToOpen;
  int fields = dbinfC(fileno, 3), records = dbinfC(fileno, 4);
  ColInfo cols{};
  if (fields < 1 || records < 0 || ColInfo_Alloc(&cols, fields) != TBL_Success) {
    dbclosC(fileno);
    return fields < 1 || records < 0 ? TBL_BadHeader : TBL_InsufficientMemory;
  }
  cols.table_type = TBL_TYPE_DBASE;
  for (int i = 0; i < fields; ++i) {
    DBITEM item;
    rc = dbritmC(fileno, i + 1, &item) == 0 ? def_from_item(item, &cols.defs[i], &cols.info[i]) : TBL_BadHeader;
    if (rc != TBL_Success) {
      ColInfo_Free(&cols);
      dbclosC(fileno);
      return rc;
    }
  }
  set_offsets(&cols);
  int size = record_size(&cols);
  char* buf = blank_buffer(size);
  if (buf == nullptr) {
    ColInfo_Free(&cols);
    dbclosC(fileno);
    return TBL_InsufficientMemory;
  }
  ColInfo_Free(&t->md.cols);
  free(t->buffer);
  t->md.cols = cols;
  t->buffer = buf;
  t->fileno = fileno;
  t->md.open_mode = mode;
  t->md.file_records = records;
  t->md.record_size = size;
  t->records_read = mode == 1 ? 0 : records;
  return TBL_Success;
}

}  // namespace

int DbaseIO_Exists(Table* t, const char* name) {
  if (t == nullptr) return TBL_InvalidHandle;
  char path[TBL_NAME_LEN];
  if (name == nullptr || anameC(name, path, sizeof path, -17) != 0) return TBL_InvalidParamValue;
  int rc = Table_SetName(t, name);
  if (rc != TBL_Success) return rc;
  // The name as given first: on this system file names keep their case.
  if (dbexisC(path) != 0) {
    char lower[TBL_NAME_LEN];
    memcpy(lower, path, sizeof lower);
    chrlowC(lower);
    if (dbexisC(lower) == 0) memcpy(path, lower, sizeof path);
  }
  memcpy(t->text, path, sizeof t->text);
  return dbexisC(path) == 0 ? TBL_Success : TBL_TableNotExist;
}

int DbaseIO_Open(Table* t, const char* name, int mode) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->fileno >= 0) return TBL_Success;
  if (mode < 1 || mode > 3) return TBL_InvalidParamValue;
  int rc = DbaseIO_Exists(t, name);
  if (rc != TBL_Success) return rc;
  if (mode != 1) {
    rc = DbaseIO_Backup(t);
    if (rc != TBL_Success) return rc;
  }
  return open_file(t, mode);
}

Table_Record* DbaseIO_RecordAlloc(Table* t) {
  if (t == nullptr || ColInfo_IsEmpty(&t->md.cols)) return nullptr;
  Table_Record* r = static_cast<Table_Record*>(calloc(1, sizeof(Table_Record)));
  if (r == nullptr) return nullptr;
  r->table_type = TBL_TYPE_DBASE;
  r->buffer = blank_buffer(t->md.record_size);
  if (r->buffer == nullptr || ColInfo_Copy(&r->cols, &t->md.cols) != TBL_Success) {
    Table_RecordFree(r);
    return nullptr;
  }
  r->buffer_len = t->md.record_size;
  return r;
}

int DbaseIO_ReadRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (r == nullptr) return TBL_InvalidHandle;
  if (t->fileno < 0) return TBL_TableNotOpen;
  if (!same_columns(&r->cols, &t->md.cols) || r->buffer_len != t->md.record_size) {
    char* buf = blank_buffer(t->md.record_size);
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
  int rc = dbrdatC(t->fileno, r->buffer, static_cast<size_t>(r->buffer_len) + 4, n);
  r->touched = 0;
  if (rc == -2) return TBL_RecordDeleted;
  return rc == 0 ? TBL_Success : TBL_RowCountMismatch;
}

int DbaseIO_DecodeField(const Table_Record* r, int column, char* text, size_t cap, double* number) {
  if (r == nullptr || text == nullptr || number == nullptr || cap == 0) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  const ColInfoEntry& info = r->cols.info[column - 1];
  if (info.start < 0 || info.width < 1 || info.start + info.width > r->buffer_len) return TBL_BadRecord;
  const char* field = r->buffer + info.start;
  int w = info.width;
  *number = 0;
  text[0] = '\0';
  char letter = static_cast<char>(info.native_type);
  if (letter < 'B' || letter > 'N') return TBL_BadColumnDef;
  switch (letter) {
    case 'B': case 'G': case 'M': case 'C':
      if (f772cee(field, w, text, cap) != 0) return TBL_BadColumnWidth;
      if (letter == 'C') cpgcnvtsnC(text, strlen(text));
      return TBL_Success;
    case 'D': {
      if (w < 8) return TBL_ValueDecodeFailure;
      char d[9];
      memcpy(d, field, 8);
      d[8] = '\0';
      if (strspn(d, " ") == 8) return TBL_Success;  // empty date: number 0
      int y = 0, m = 0, day = 0;
      if (strspn(d, "0123456789") != 8 || sscanf(d, "%4d%2d%2d", &y, &m, &day) != 3 || m < 1 || m > 12 ||
          day < 1 || day > 31)
        return TBL_ValueDecodeFailure;
      *number = y * 10000.0 + m * 100 + day;
      snprintf(text, cap, "%s", d);
      return TBL_Success;
    }
    case 'F': case 'N': {
      if (w > 64) return TBL_BadColumnDef;
      char s[65];
      memcpy(s, field, static_cast<size_t>(w));
      s[w] = '\0';
      size_t lead = strspn(s, " ");
      if (s[lead] == '*' && strspn(s + lead, "*") == strlen(s + lead)) return TBL_ValueOverflow;
      errno = 0;
      char* end = nullptr;
      double v = strtod(s, &end);
      if (errno == ERANGE) return TBL_ValueDecodeFailure;
      if (end == s) return strspn(s, " ") == static_cast<size_t>(w) ? TBL_ValueIsNull : TBL_ValueDecodeFailure;
      *number = v;
      snprintf(text, cap, "%s", s);
      return TBL_Success;
    }
    case 'L': {
      char c = field[0];
      *number = (c == 'F' || c == 'N' || c == 'f' || c == 'n') ? 0 : (c == 'T' || c == 'Y' || c == 't' || c == 'y') ? 1 : 2;
      text[0] = c;
      text[1] = '\0';
      return TBL_Success;
    }
    default:
      return TBL_BadColumnDef;
  }
}

int DbaseIO_GetValue(const Table_Record* r, int column, Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  const ColDef& def = r->cols.defs[column - 1];
  char letter = static_cast<char>(r->cols.info[column - 1].native_type);
  memset(value, 0, sizeof *value);
  value->type = def.type;
  bool numeric = letter == 'F' || letter == 'N';
  switch (def.type) {
    case TBL_COL_SMALLINT: case TBL_COL_INTEGER: case TBL_COL_FLOAT: case TBL_COL_DOUBLE:
      if (!numeric) return TBL_ValueDecodeFailure;
      break;
    case TBL_COL_STRING:
      if (letter != 'C' && letter != 'M' && letter != 'G' && letter != 'B') return TBL_ValueDecodeFailure;
      break;
    case TBL_COL_DATE:
      if (letter != 'D') return TBL_ValueDecodeFailure;
      break;
    case TBL_COL_LOGICAL:
      if (letter != 'L') return TBL_ValueDecodeFailure;
      break;
    case TBL_COL_BLOB: case TBL_COL_DECIMAL: case TBL_COL_NUMERIC:
      return TBL_UnsupportedType;
    default:
      return TBL_InvalidColType;
  }
  char text[TBL_VALUE_LEN + 1];
  double x = 0;
  int rc = DbaseIO_DecodeField(r, column, text, sizeof text, &x);
  if (rc != TBL_Success && rc != TBL_ValueOverflow && rc != TBL_ValueIsNull) return rc;
  if (rc == TBL_ValueIsNull) value->is_null = 1;
  switch (def.type) {
    case TBL_COL_SMALLINT:
      if (!(x >= -32768.0 && x <= 32767.0)) return TBL_ValueOverflow;
      value->v.s = static_cast<int16_t>(trunc(x));
      break;
    case TBL_COL_INTEGER:
      if (!(x >= -2147483648.0 && x <= 2147483647.0)) return TBL_ValueOverflow;
      value->v.i = static_cast<int32_t>(trunc(x));
      break;
    case TBL_COL_FLOAT:
      if (fabs(x) > 3.4028234663852886e38) return TBL_ValueOverflow;
      value->v.f = static_cast<float>(x);
      break;
    case TBL_COL_DOUBLE: value->v.d = x; break;
    case TBL_COL_STRING: memcpy(value->v.str, text, strlen(text) + 1); break;
    case TBL_COL_DATE:
      if (x != 0) {
        long n = static_cast<long>(x);
        value->v.date.year = static_cast<int32_t>(n / 10000 - 1900);
        value->v.date.mon = static_cast<int32_t>(n / 100 % 100 - 1);
        value->v.date.mday = static_cast<int32_t>(n % 100);
      }
      break;
    case TBL_COL_LOGICAL: value->v.i = static_cast<int32_t>(x); break;
    default: break;
  }
  return rc;
}

// ==== 3. create, backup, write, encode, empty, roll back =========================

int DbaseIO_EncodeColDef(const ColDef* def, ColInfoEntry* info) {
  if (def == nullptr || info == nullptr) return TBL_InvalidPointer;
  memset(info, 0, sizeof *info);
  switch (def->type) {
    case TBL_COL_SMALLINT: case TBL_COL_INTEGER: case TBL_COL_FLOAT: case TBL_COL_DOUBLE:
      if (def->size >= 20 || def->size < 1) return TBL_BadColumnWidth;
      if (def->decimals < 0 || def->decimals > def->size - 1) return TBL_BadColumnDef;
      info->native_type = 'N';
      info->width = def->size;
      info->decimals = def->decimals;
      break;
    case TBL_COL_STRING:
      if (def->size < 1 || def->size > 254) return TBL_BadColumnWidth;
      info->native_type = 'C';
      info->width = def->size;
      break;
    case TBL_COL_DATE: info->native_type = 'D'; info->width = 8; break;
    case TBL_COL_LOGICAL: info->native_type = 'L'; info->width = 1; break;
    case TBL_COL_BLOB: case TBL_COL_DECIMAL: case TBL_COL_NUMERIC: return TBL_UnsupportedType;
    default: return TBL_InvalidColType;
  }
  info->extra = info->width;
  return TBL_Success;
}

int DbaseIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed) {
  if (src == nullptr || dst == nullptr) return TBL_InvalidPointer;
  if (failed != nullptr) *failed = -1;
  if (src->table_type == TBL_TYPE_DBASE) return ColInfo_Copy(dst, src);
  if (src->table_type == TBL_TYPE_INFO) return TBL_NotImplemented;
  ColInfo out{};
  int rc = ColInfo_Alloc(&out, src->count);
  if (rc != TBL_Success) return rc;
  out.table_type = TBL_TYPE_DBASE;
  for (int i = 0; i < src->count && rc == TBL_Success; ++i) {
    const ColDef& s = src->defs[i];
    ColDef& d = out.defs[i];
    if (failed != nullptr) *failed = i;
    if (Tbl_IsReservedWord(s.name)) {
      rc = TBL_SQLKeyword;
      break;
    }
    snprintf(d.name, 11, "%.10s", s.name);
    d.nullable = 1;
    d.type = s.type;
    d.size = s.size;
    switch (s.type) {
      case TBL_COL_SMALLINT: case TBL_COL_INTEGER: break;
      case TBL_COL_FLOAT: case TBL_COL_DOUBLE: d.decimals = s.decimals; break;
      case TBL_COL_STRING: break;
      case TBL_COL_DATE: d.size = 8; break;
      case TBL_COL_LOGICAL: d.size = 1; break;
      case TBL_COL_BLOB: case TBL_COL_DECIMAL: case TBL_COL_NUMERIC: rc = TBL_UnsupportedType; continue;
      default: rc = TBL_InvalidColType; continue;
    }
    if (s.type <= TBL_COL_DOUBLE && d.size >= 20) d.size = 19;
    rc = DbaseIO_EncodeColDef(&d, &out.info[i]);
  }
  if (rc != TBL_Success) {
    ColInfo_Free(&out);
    return rc;
  }
  set_offsets(&out);
  if (failed != nullptr) *failed = -1;
  ColInfo_Free(dst);
  *dst = out;
  return TBL_Success;
}

int DbaseIO_Create(Table* t, const char* name, const ColInfo* cols_in) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode == 1) return TBL_NotOpenForWrite;
  if (ColInfo_IsEmpty(cols_in)) return TBL_BadColumnCount;
  int exists = DbaseIO_Exists(t, name);
  if (exists == TBL_Success) return TBL_TableAlreadyExists;
  if (exists != TBL_TableNotExist) return exists;
  if (cols_in->count < 1 || cols_in->count > TBL_MAX_COLUMNS) return TBL_BadColumnCount;
  ColInfo cols{};
  int rc = ColInfo_Copy(&cols, cols_in);
  if (rc != TBL_Success) return rc;
  cols.table_type = TBL_TYPE_DBASE;
  if (cols.info[0].native_type == 0) {
    for (int i = 0; i < cols.count && rc == TBL_Success; ++i) rc = DbaseIO_EncodeColDef(&cols.defs[i], &cols.info[i]);
  }
  for (int i = 0; i < cols.count && rc == TBL_Success; ++i) {
    if (!field_ok(cols.defs[i], cols.info[i])) rc = TBL_BadColumnDef;
  }
  set_offsets(&cols);
  int size = record_size(&cols);
  if (rc == TBL_Success && size > 65535 - 1) rc = TBL_BadColumnCount;
  int fileno = -1;
  if (rc == TBL_Success) {
    int c = dbcreaC(&fileno, t->text);
    if (c == -2) rc = TBL_OutOfChannels;
    else if (c != 0) rc = TBL_UnableToCreate;
  }
  if (rc == TBL_Success) {
    bool ok = dbwhdrC(fileno, size, cols.count) == 0;
    for (int i = 0; ok && i < cols.count; ++i) {
      DBITEM item{};
      snprintf(item.name, sizeof item.name, "%.10s", cols.defs[i].name);
      chrcasC(item.name);
      cpgcnvtnsC(item.name, strlen(item.name));
      item.type = static_cast<char>(cols.info[i].native_type);
      item.width = cols.info[i].width;
      item.decimals = cols.info[i].decimals;
      ok = dbwitmC(fileno, &item) == 0;
    }
    if (!ok) {
      dbclosC(fileno);
      dbdeleC(t->text);
      rc = TBL_OutOfSpace;
    }
  }
  char* buf = rc == TBL_Success ? blank_buffer(size) : nullptr;
  if (rc == TBL_Success && buf == nullptr) {
    dbclosC(fileno);
    dbdeleC(t->text);
    rc = TBL_InsufficientMemory;
  }
  if (rc != TBL_Success) {
    ColInfo_Free(&cols);
    return rc;
  }
  ColInfo_Free(&t->md.cols);
  free(t->buffer);
  t->md.cols = cols;
  t->buffer = buf;
  t->fileno = fileno;
  t->md.open_mode = 3;
  t->md.file_records = 0;
  t->md.record_size = size;
  t->records_read = 0;
  t->modified = 1;
  return TBL_Success;
}

int DbaseIO_Backup(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->backup[0] != '\0') return TBL_TableAlreadyExists;
  static unsigned counter = 0;
  char dir[TBL_NAME_LEN], name[32], path[TBL_NAME_LEN];
  if (edirC(t->text, dir, sizeof dir) != 0) return TBL_UnableToCreate;
  unsigned pid = static_cast<unsigned>(getpid()) & 0xffffu;
  bool found = false;
  for (int tries = 0; tries < 4096 && !found; ++tries) {
    snprintf(name, sizeof name, "x%03x%04x.dbf", counter, pid);
    counter = (counter + 1) & 0xfffu;
    if (ejoinC(dir, name, path, sizeof path) != 0) return TBL_UnableToCreate;
    found = dbexisC(path) != 0;
  }
  if (!found || dbcopyC(t->text, path) != 0) return TBL_UnableToCreate;
  memcpy(t->backup, path, sizeof t->backup);
  return TBL_Success;
}

int DbaseIO_WriteRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr || r == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode != 2 && t->md.open_mode != 3) return TBL_NotOpenForWrite;
  if (t->fileno < 0) return TBL_TableNotOpen;
  if (!same_columns(&r->cols, &t->md.cols) || r->buffer_len != t->md.record_size) return TBL_SchemaMismatch;
  int n = ++t->records_read;
  if (dbwdatC(t->fileno, r->buffer, n) != 0) {
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

namespace {

// Writes a number into a numeric field of width w with dec decimals: fixed
// form when its integer part fits, else the exponent form with as much
// precision as fits, else asterisks.
void encode_number(char* field, int w, int dec, double x) {
  char text[512];
  snprintf(text, sizeof text, "%*.*f", w, dec, x);
  int len = static_cast<int>(strlen(text));
  if (len <= w) {
    memcpy(field, text, static_cast<size_t>(w));
    return;
  }
  const char* start = text + strspn(text, " ");
  int int_len = static_cast<int>(strcspn(start, ".,"));
  if (int_len <= w && start[int_len] != '\0') {
    memcpy(field, start, static_cast<size_t>(w));
    return;
  }
  char e[64];
  snprintf(e, sizeof e, "%E", x);
  const char* ep = strchr(e, 'E');
  int exp_digits = ep != nullptr ? static_cast<int>(strlen(ep + 2)) : 2;
  for (int p = w - (x < 0 ? 1 : 0) - 4 - exp_digits; p >= 0; --p) {
    snprintf(text, sizeof text, "%*.*E", w, p, x);
    if (static_cast<int>(strlen(text)) <= w) {
      memcpy(field, text, static_cast<size_t>(w));
      return;
    }
  }
  memset(field, '*', static_cast<size_t>(w));
}

}  // namespace

int DbaseIO_SetValue(Table_Record* r, int column, const Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  if (column < 1 || column > r->cols.count) return TBL_NoSuchColumn;
  const ColInfoEntry& info = r->cols.info[column - 1];
  if (info.start < 0 || info.width < 1 || info.start + info.width > r->buffer_len) return TBL_BadRecord;
  char* field = r->buffer + info.start;
  int w = info.width;
  char letter = static_cast<char>(info.native_type);
  int t = value->type;
  bool numeric = t == TBL_COL_SMALLINT || t == TBL_COL_INTEGER || t == TBL_COL_FLOAT || t == TBL_COL_DOUBLE;
  switch (letter) {
    case 'B': case 'C': case 'G': case 'M': if (t != TBL_COL_STRING) return TBL_ValueEncodeFailure; break;
    case 'D': if (t != TBL_COL_DATE) return TBL_ValueEncodeFailure; break;
    case 'F': case 'N': if (!numeric) return TBL_ValueEncodeFailure; break;
    case 'L': if (t != TBL_COL_LOGICAL) return TBL_ValueEncodeFailure; break;
    default: return TBL_ValueEncodeFailure;
  }
  memset(field, ' ', static_cast<size_t>(w));
  switch (letter) {
    case 'B': case 'G': case 'M': memcpy(field, "NoData", static_cast<size_t>(w < 6 ? w : 6)); break;
    case 'C': {
      if (value->is_null) break;
      char text[TBL_VALUE_LEN + 1];
      size_t len = strnlen(value->v.str, TBL_VALUE_LEN);
      memcpy(text, value->v.str, len);
      text[len] = '\0';
      cpgcnvtnsC(text, len);
      memcpy(field, text, len < static_cast<size_t>(w) ? len : static_cast<size_t>(w));
      break;
    }
    case 'D': {
      const TblDate& d = value->v.date;
      if (value->is_null || d.mday == 0 || w < 8) break;
      char text[64];
      snprintf(text, sizeof text, "%04d%02d%02d", d.year + 1900, d.mon + 1, d.mday);
      if (strlen(text) != 8) return TBL_ValueEncodeFailure;
      memcpy(field, text, 8);
      break;
    }
    case 'L': field[0] = value->is_null ? '?' : value->v.i == 0 ? 'F' : value->v.i == 1 ? 'T' : '?'; break;
    default: {
      if (value->is_null) break;
      double x = t == TBL_COL_SMALLINT ? value->v.s : t == TBL_COL_INTEGER ? value->v.i
               : t == TBL_COL_FLOAT ? value->v.f : value->v.d;
      if (!isfinite(x)) {
        memset(field, '*', static_cast<size_t>(w));
        break;
      }
      encode_number(field, w, info.decimals > 0 ? info.decimals : 0, x);
      break;
    }
  }
  ++r->touched;
  return TBL_Success;
}

int DbaseIO_DeleteRecords(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->md.open_mode != 2 && t->md.open_mode != 3) return TBL_NotOpenForWrite;
  if (t->backup[0] == '\0') {
    int rc = DbaseIO_Backup(t);
    if (rc != TBL_Success) return rc;
  }
  ColInfo cols{};
  int rc = ColInfo_Copy(&cols, &t->md.cols);
  if (rc != TBL_Success) return rc;
  if (t->fileno >= 0) dbclosC(t->fileno);
  t->fileno = -1;
  if (dbdeleC(t->text) != 0) {
    ColInfo_Free(&cols);
    return TBL_TableNotDeleted;
  }
  int mode = t->md.open_mode;
  t->md.open_mode = 2;
  rc = DbaseIO_Create(t, t->name, &cols);
  ColInfo_Free(&cols);
  if (rc == TBL_Success) t->md.open_mode = mode;
  t->md.records_written = 0;
  return rc;
}

int DbaseIO_Rollback(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (!t->modified) return TBL_Success;
  if (t->backup[0] == '\0' || dbexisC(t->backup) != 0) return TBL_TableNotExist;
  if (t->fileno >= 0) dbclosC(t->fileno);
  t->fileno = -1;
  if (dbexisC(t->text) == 0 && dbdeleC(t->text) != 0) return TBL_TableNotDeleted;
  if (dbcopyC(t->backup, t->text) != 0) return TBL_UnableToCreate;
  int rc = open_file(t, t->md.open_mode == 1 ? 1 : t->md.open_mode);
  if (rc == TBL_Success) {
    t->modified = 0;
    t->md.records_written = 0;
  }
  return rc;
}

int DbaseIO_Close(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->fileno >= 0) dbclosC(t->fileno);
  t->fileno = -1;
  if (t->backup[0] != '\0') {
    if (dbexisC(t->backup) == 0 && dbdeleC(t->backup) != 0) return TBL_TableNotDeleted;
    t->backup[0] = '\0';
  }
  return TBL_Success;
}

// ==== 4. listings =================================================================

int DbaseIO_ColInfo_List(const ColInfo* cols) {
  if (cols == nullptr) return TBL_InvalidColInfo;
  Tbl_Messagef("dBASE Attribute Columns: %d ", cols->count);
  if (ColInfo_IsEmpty(cols)) return TBL_Success;
  Tbl_Message(nullptr, "Name         Type       Width    Decimal Places");
  Tbl_Message(nullptr, "------------ ----       -----    --------------");
  for (int i = 0; i < cols->count; ++i) {
    char dec[16];
    if (cols->info[i].decimals < 1) {
      snprintf(dec, sizeof dec, "  -");
    } else {
      snprintf(dec, sizeof dec, "%3d", cols->info[i].decimals);
    }
    Tbl_Messagef("%-10s     %c         %3d          %s  ", cols->defs[i].name, static_cast<char>(cols->info[i].native_type),
                 cols->info[i].width, dec);
  }
  return TBL_Success;
}

int DbaseIO_NativeColDefText(const ColDef* def, char* text, size_t cap) {
  ColInfoEntry info{};
  int rc = DbaseIO_EncodeColDef(def, &info);
  if (rc != TBL_Success) return rc;
  snprintf(text, cap, "%-10.10s %c %3d %d ", def->name, static_cast<char>(info.native_type), info.width, info.decimals);
  return TBL_Success;
}
