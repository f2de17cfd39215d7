// tableio.cpp -- the table layer: handles, column sets, records, values,
// the TBL_ codes and their names, the message output, and the dispatch of
// every operation to the dBASE, INFO or ZUL back end.
//
// Divisions: 1. names and message output; 2. column sets and definitions
// (parse, check, text); 3. values and conversion; 4. handles and dispatch.
//
// Relies on the back ends (dbaseio, infoio, zulio) and, for message mode 2,
// on the base library's informC.
#include <ctype.h>
#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>

#include "tableio.h"
#include "zultables.h"

// ==== 1. names and message output ==============================================

namespace {

const char* const kErrorNames[61] = {
    "TBL_Success", "TBL_UnableToOpen", "TBL_UnableToCreate", "TBL_UnableToRename", "TBL_AlreadyOpen",
    "TBL_NotOpenForWrite", "TBL_Not8Dot3", "TBL_OutOfChannels", "TBL_EndOfRecord", "TBL_EndOfFile",
    "TBL_InsufficientMemory", "TBL_OutOfSpace", "TBL_TableNotOpen", "TBL_TableNotExist",
    "TBL_TableNotDeleted", "TBL_TableAlreadyExists", "TBL_TypeMismatch", "TBL_SchemaMismatch",
    "TBL_SchemaExist", "TBL_RowCountMismatch", "TBL_BadFileVersion", "TBL_BadRecord", "TBL_BadHeader",
    "TBL_BadColumnDef", "TBL_BadColumnCount", "TBL_BadColumnWidth", "TBL_BadCount",
    "TBL_ValueEncodeFailure", "TBL_ValueDecodeFailure", "TBL_ValueColumnNotSame", "TBL_ValueOverflow",
    "TBL_NoSuchColumn", "TBL_NoAttributes", "TBL_UnsupportedType", "TBL_InvalidPointer",
    "TBL_InvalidParamValue", "TBL_InvalidHandle", "TBL_InvalidMetaData", "TBL_InvalidColInfo",
    "TBL_InvalidColType", "TBL_InvalidTableType", "TBL_InvalidConvMap", "TBL_InvalidConnection",
    "TBL_InvalidStream", "TBL_InvalidConfigKeyword", "TBL_InvalidRecord", "TBL_InvalidAttrMode",
    "TBL_ConvListNotSupported", "TBL_FunctionNotSupported", "TBL_SQLKeyword", "TBL_NoPermissions",
    "TBL_NameMismatch", "TBL_RecordReadError", "TBL_RecordDeleted", "TBL_SetDefault", "TBL_NotImplemented",
    "TBL_Failure", "TBL_ExternalError", "TBL_ExternalError_Stream", "TBL_UnsupportedColType",
    "TBL_ValueIsNull",
};

const char* const kReservedWords[] = {
    "ALL", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "AVG", "BEGIN", "BETWEEN", "BY", "CHAR", "CHARACTER",
    "CHECK", "CLOSE", "COBOL", "COMMIT", "CONTINUE", "COUNT", "CREATE", "CURRENT", "CURSOR", "DEC",
    "DECIMAL", "DECLARE", "DELETE", "DESC", "DISTINCT", "DOUBLE", "END", "ESCAPE", "EXEC", "EXIST",
    "FETCH", "FLOAT", "FOR", "FORTRAN", "FOUND", "FROM", "GO", "GOTO", "GRANT", "GROUP", "HAVING", "IN",
    "INDICATOR", "INSERT", "INT", "INTEGER", "INTO", "IS", "LANGUAGE", "LEVEL", "LIKE", "MAX", "MIN",
    "MODULE", "NOT", "NULL", "NUMERIC", "OF", "ON", "OPEN", "OPTION", "OR", "ORDER", "PASCAL", "PLI",
    "PRECISION", "PRIVILEGES", "PROCEDURE", "PUBLIC", "REAL", "ROLLBACK", "SCHEMA", "SECTION", "SELECT",
    "SET", "SMALLINT", "SOME", "SQL", "SQLCODE", "SQLERROR", "SUM", "TABLE", "TO", "UNION", "UNIQUE",
    "UPDATE", "USER", "VALUES", "VIEW", "WHENEVER", "WHERE", "WITH", "WORK",
};
static_assert(sizeof kReservedWords / sizeof kReservedWords[0] == 95, "reserved words");

int g_msg_mode = 1;
FILE* g_msg_stream = nullptr;

bool prefix(const char* word, const char* key) { return strncasecmp(word, key, strlen(key)) == 0; }

}  // namespace

const char* Tbl_ErrorName(int code) {
  return code >= 0 && code <= 60 ? kErrorNames[code] : "TABLE: No such error code";
}

const char* TableType_Name(int type) {
  switch (type) {
    case TBL_TYPE_DBASE: return "dBASE";
    case TBL_TYPE_INFO: return "INFO";
    case TBL_TYPE_ZUL: return "ZUL";
    default: return "UNKNOWN";
  }
}

const char* ColType_Name(int code) {
  switch (code) {
    case TBL_COL_SMALLINT: return "SMALLINT";
    case TBL_COL_INTEGER: return "INTEGER";
    case TBL_COL_FLOAT: return "FLOAT";
    case TBL_COL_DOUBLE: return "DOUBLE";
    case TBL_COL_STRING: return "STRING";
    case TBL_COL_BLOB: return "BLOB";
    case TBL_COL_DATE: return "DATE";
    case TBL_COL_LOGICAL: return "LOGICAL";
    case TBL_COL_DECIMAL: return "DECIMAL";
    case TBL_COL_NUMERIC: return "NUMERIC";
    default: return "UnKnown_ColType";
  }
}

int Tbl_SetMessageMode(int mode, FILE* stream) {
  if (mode == 2 || mode == 3) {
    g_msg_mode = mode;
    return TBL_Success;
  }
  g_msg_mode = 1;
  g_msg_stream = stream;
  return stream == nullptr ? TBL_InvalidParamValue : TBL_Success;
}

void Tbl_Message(FILE* stream, const char* text) {
  if (text == nullptr) text = "";
  if (g_msg_mode == 2) {
    informC(text, -1);
    return;
  }
  FILE* out = g_msg_mode == 3 && stream != nullptr ? stream : (g_msg_stream != nullptr ? g_msg_stream : stdout);
  fputs(text, out);
  fputc('\n', out);
  fflush(out);
}

void Tbl_Messagef(const char* fmt, ...) {
  char text[2048];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  Tbl_Message(nullptr, text);
}

void Tbl_ReportError(int code, const char* context) {
  const char* name = Tbl_ErrorName(code);
  if (context == nullptr || context[0] == '\0') {
    Tbl_Messagef("TableIO Error Code (%d): %s ", code, name);
  } else if (context[0] == '\n') {
    Tbl_Messagef("TableIO Error Code (%d): %s ", code, name);
    Tbl_Message(nullptr, context + 1);
  } else {
    Tbl_Messagef("TableIO Error Code (%d): %s  (%s)", code, name, context);
  }
}

void Table_ReportError(Table* t, int code, const char* context) {
  if (t != nullptr && t->table_type == TBL_TYPE_ZUL &&
      (code == TBL_ExternalError || code == TBL_ExternalError_Stream)) {
    ZulIO_ReportConnectionError(t, t->xerr.code, context);
    return;
  }
  Tbl_ReportError(code, context);
}

int Tbl_IsReservedWord(const char* word) {
  if (word == nullptr) return 0;
  for (const char* w : kReservedWords) {
    if (strcasecmp(word, w) == 0) return 1;
  }
  return 0;
}

// ==== 2. column sets and definitions ===========================================

int ColType_Parse(const char* word) {
  if (word == nullptr) return 0;
  if (prefix(word, "TBL_")) {
    word += 4;
  } else if (prefix(word, "TB_")) {
    word += 3;
  }
  if (prefix(word, "I") || prefix(word, "INT") || prefix(word, "LONG") || prefix(word, "LINT")) return 2;
  if (prefix(word, "DOUBLE") || prefix(word, "DBL")) return 4;
  if (prefix(word, "F") || prefix(word, "FLT") || prefix(word, "FLOAT")) return 3;
  if (prefix(word, "SMALLINT") || prefix(word, "SMALL") || prefix(word, "SINT")) return 1;
  if (prefix(word, "STRING") || prefix(word, "STR")) return 5;
  if (prefix(word, "DATE")) return 7;
  if (prefix(word, "B") || prefix(word, "BLOB")) return 6;
  if (prefix(word, "L") || prefix(word, "LOGICAL")) return 10;
  return 0;
}

namespace {

bool is_not_null_word(const char* tok) {
  return strncasecmp(tok, "NOT_NULL", 8) == 0 || strncasecmp(tok, "NOTNULL", 7) == 0 ||
         strncasecmp(tok, "!NULL", 5) == 0;
}

bool all_digits(const char* tok) {
  if (*tok == '\0') return false;
  for (; *tok; ++tok) {
    if (!isdigit(static_cast<unsigned char>(*tok))) return false;
  }
  return true;
}

}  // namespace

int ColDef_Parse(ColDef* def, const char* text) {
  if (def == nullptr) return TBL_InvalidPointer;
  memset(def, 0, sizeof *def);
  def->nullable = 1;
  if (text == nullptr) return TBL_InvalidParamValue;
  char tok[5][64];
  int n = 0;
  const char* p = text;
  while (n < 5) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0') break;
    size_t len = strcspn(p, " \t");
    // A token longer than any field it can fill is not a definition.
    if (len >= sizeof tok[0]) return TBL_BadColumnDef;
    memcpy(tok[n], p, len);
    tok[n][len] = '\0';
    ++n;
    p += len;
  }
  if (n == 0) return TBL_InvalidParamValue;
  // A name longer than the definition holds is refused: cutting it could
  // make two columns of one name.
  if (strlen(tok[0]) >= TBL_COLNAME_LEN) return TBL_BadColumnDef;
  memcpy(def->name, tok[0], strlen(tok[0]) + 1);
  if (n >= 2) {
    def->type = ColType_Parse(tok[1]);
    if (def->type == 0) return TBL_InvalidColType;
  }
  for (int i = 2; i < n && i < 4; ++i) {
    if (all_digits(tok[i])) {
      errno = 0;
      char* end = nullptr;
      long v = strtol(tok[i], &end, 10);
      if (errno == ERANGE || end == tok[i] || v > (i == 2 ? 0x7fffffffL : 0x7fffL)) return TBL_ValueDecodeFailure;
      if (i == 2) {
        def->size = static_cast<int32_t>(v);
      } else {
        def->decimals = static_cast<int16_t>(v);
      }
    } else if (is_not_null_word(tok[i])) {
      def->nullable = 0;
    }
  }
  if (n >= 5 && is_not_null_word(tok[4])) def->nullable = 0;
  return TBL_Success;
}

bool Table_CheckColDef(ColDef* def, int* code) {
  int c = TBL_Success;
  bool usable = true;
  bool given = def->size != 0 || def->decimals != 0;
  switch (def->type) {
    case TBL_COL_SMALLINT:
      if (!given) {
        def->size = 4;
        c = TBL_SetDefault;
      } else if (!(def->size >= 1 && def->size <= 4 && def->decimals == 0)) {
        usable = false;
      }
      break;
    case TBL_COL_INTEGER:
      if (given && !((def->size >= 5 && def->size <= 10 && def->decimals == 0) || def->size == 38)) usable = false;
      break;
    case TBL_COL_FLOAT:
      if (!given) {
        def->size = 6;
        def->decimals = 2;
        c = TBL_SetDefault;
      } else if (!(def->size <= 6 && def->decimals > 0)) {
        usable = false;
      }
      break;
    case TBL_COL_DOUBLE:
      if (!given) {
        def->size = 15;
        def->decimals = 4;
        c = TBL_SetDefault;
      } else if (!((def->size >= 7 && def->decimals > 0) || def->size >= 10)) {
        usable = false;
      }
      break;
    case TBL_COL_STRING:
      if (!given) {
        def->size = 254;
        c = TBL_SetDefault;
      } else if (def->size <= 0) {
        usable = false;
      }
      break;
    case TBL_COL_BLOB:
    case TBL_COL_DATE:
      break;
    case TBL_COL_LOGICAL:
      if (def->size == 0) {
        def->size = 1;
        c = TBL_SetDefault;
      }
      break;
    case TBL_COL_DECIMAL:
    case TBL_COL_NUMERIC:
      c = TBL_UnsupportedType;
      usable = false;
      break;
    default:
      c = TBL_InvalidColType;
      usable = false;
      break;
  }
  if (!usable && c == TBL_Success) c = TBL_BadColumnDef;
  if (code != nullptr) *code = c;
  return usable;
}

void ColDef_ToText(const ColDef* def, char* text, size_t cap) {
  snprintf(text, cap, "%-20s %-10s%5ld%3d %s", def->name, ColType_Name(def->type), static_cast<long>(def->size),
           def->decimals, def->nullable ? " " : "NOT_NULL");
}

int Table_ColDefs_List(int count, const ColDef* defs) {
  Tbl_Messagef("Table Attribute Columns: %d", count);
  if (count < 1 || defs == nullptr) return TBL_Success;
  Tbl_Message(nullptr, "Name                                 Type     Width Decimal Places  NULL?  ");
  Tbl_Message(nullptr, "-------------------------------- ----------- ------ -------------- --------");
  for (int i = 0; i < count; ++i) {
    Tbl_Messagef("%-32s %-11s %6ld      %3d       %-8s", defs[i].name, ColType_Name(defs[i].type),
                 static_cast<long>(defs[i].size), defs[i].decimals, defs[i].nullable ? " " : "NOT NULL");
  }
  return TBL_Success;
}

int ColInfo_IsEmpty(const ColInfo* cols) {
  return cols == nullptr || cols->count < 1 || cols->defs == nullptr || cols->info == nullptr;
}

int ColInfo_Alloc(ColInfo* cols, int count) {
  if (cols == nullptr || count < 0) return TBL_InvalidParamValue;
  cols->count = 0;
  cols->defs = nullptr;
  cols->info = nullptr;
  if (count == 0) return TBL_Success;
  cols->defs = static_cast<ColDef*>(calloc(static_cast<size_t>(count), sizeof(ColDef)));
  cols->info = static_cast<ColInfoEntry*>(calloc(static_cast<size_t>(count), sizeof(ColInfoEntry)));
  if (cols->defs == nullptr || cols->info == nullptr) {
    ColInfo_Free(cols);
    return TBL_InsufficientMemory;
  }
  cols->count = count;
  return TBL_Success;
}

void ColInfo_Free(ColInfo* cols) {
  if (cols == nullptr) return;
  free(cols->defs);
  free(cols->info);
  cols->defs = nullptr;
  cols->info = nullptr;
  cols->count = 0;
}

int ColInfo_Copy(ColInfo* dst, const ColInfo* src) {
  if (dst == nullptr) return TBL_InvalidPointer;
  if (ColInfo_IsEmpty(src)) return TBL_NoAttributes;
  ColInfo tmp{};
  int rc = ColInfo_Alloc(&tmp, src->count);
  if (rc != TBL_Success) return rc;
  tmp.table_type = src->table_type;
  memcpy(tmp.defs, src->defs, sizeof(ColDef) * static_cast<size_t>(src->count));
  memcpy(tmp.info, src->info, sizeof(ColInfoEntry) * static_cast<size_t>(src->count));
  ColInfo_Free(dst);
  *dst = tmp;
  return TBL_Success;
}

int ColInfo_NameList(const ColInfo* cols, int* count, char*** names) {
  if (count == nullptr || names == nullptr) return TBL_InvalidPointer;
  *count = 0;
  *names = nullptr;
  if (ColInfo_IsEmpty(cols)) return TBL_NoAttributes;
  char** list = static_cast<char**>(calloc(static_cast<size_t>(cols->count), sizeof(char*)));
  if (list == nullptr) return TBL_InsufficientMemory;
  for (int i = 0; i < cols->count; ++i) {
    list[i] = strdup(cols->defs[i].name);
    if (list[i] == nullptr) {
      ColInfo_FreeNameList(i, list);
      return TBL_InsufficientMemory;
    }
  }
  *count = cols->count;
  *names = list;
  return TBL_Success;
}

void ColInfo_FreeNameList(int count, char** names) {
  if (names == nullptr) return;
  for (int i = 0; i < count; ++i) free(names[i]);
  free(names);
}

int ColInfo_CountBlobs(const ColInfo* cols) {
  int n = 0;
  for (int i = 0; cols != nullptr && cols->defs != nullptr && i < cols->count; ++i) {
    n += cols->defs[i].type == TBL_COL_BLOB;
  }
  return n;
}

void ColInfo_SetPositions(ColInfo* cols) {
  int pos = 1;
  for (int i = 0; cols != nullptr && cols->info != nullptr && i < cols->count; ++i) {
    cols->info[i].start = pos;
    pos += cols->info[i].width;
  }
}

// ==== 3. values ===================================================================

void Value_Clear(Table_Value* value) {
  if (value == nullptr) return;
  if (value->type == TBL_COL_BLOB) free(value->v.blob.data);
  memset(value, 0, sizeof *value);
}

namespace {

bool is_numeric_type(int type) {
  return type == TBL_COL_SMALLINT || type == TBL_COL_INTEGER || type == TBL_COL_FLOAT || type == TBL_COL_DOUBLE;
}

double numeric_value(const Table_Value* v) {
  switch (v->type) {
    case TBL_COL_SMALLINT: return v->v.s;
    case TBL_COL_INTEGER: return v->v.i;
    case TBL_COL_FLOAT: return v->v.f;
    default: return v->v.d;
  }
}

}  // namespace

int Value_Convert(const ColDef* target, Table_Value* result, const Table_Value* source) {
  if (target == nullptr || result == nullptr || source == nullptr) return TBL_InvalidPointer;
  memset(result, 0, sizeof *result);
  result->type = target->type;
  if (source->type == target->type) {
    result->is_null = source->is_null;
    result->v = source->v;
    if (source->type == TBL_COL_BLOB && source->v.blob.data != nullptr && source->v.blob.len > 0) {
      result->v.blob.data = static_cast<unsigned char*>(malloc(static_cast<size_t>(source->v.blob.len)));
      if (result->v.blob.data == nullptr) {
        result->v.blob.len = 0;
        return TBL_InsufficientMemory;
      }
      memcpy(result->v.blob.data, source->v.blob.data, static_cast<size_t>(source->v.blob.len));
    }
    return TBL_Success;
  }
  result->is_null = source->is_null;
  if (!is_numeric_type(source->type)) return TBL_ValueEncodeFailure;
  double x = numeric_value(source);
  switch (target->type) {
    case TBL_COL_SMALLINT:
      if (!(x >= -32768.0 && x <= 32767.0)) return TBL_ValueOverflow;
      result->v.s = static_cast<int16_t>(trunc(x));
      return TBL_Success;
    case TBL_COL_INTEGER:
      if (!(x >= -2147483648.0 && x <= 2147483647.0)) return TBL_ValueOverflow;
      result->v.i = static_cast<int32_t>(trunc(x));
      return TBL_Success;
    case TBL_COL_FLOAT:
      if (!(x >= -3.4028234663852886e38 && x <= 3.4028234663852886e38)) return TBL_ValueOverflow;
      result->v.f = static_cast<float>(x);
      return TBL_Success;
    case TBL_COL_DOUBLE:
      result->v.d = x;
      return TBL_Success;
    case TBL_COL_STRING:
    case TBL_COL_BLOB:
    case TBL_COL_DATE:
    case TBL_COL_LOGICAL:
      return TBL_ValueColumnNotSame;
    default:
      return TBL_UnsupportedType;
  }
}

// ==== 4. handles and dispatch ===================================================

int Table_CreateHandle(Table** place, int type, void* connection) {
  if (place == nullptr) return TBL_InvalidPointer;
  *place = nullptr;
  if (type < TBL_TYPE_DBASE || type > TBL_TYPE_ZUL) return TBL_UnsupportedType;
  Table* t = static_cast<Table*>(calloc(1, sizeof(Table)));
  if (t == nullptr) return TBL_InsufficientMemory;
  t->table_type = type;
  t->md.table_type = type;
  t->md.dbms_kind = -1;
  t->fileno = -1;
  t->msg = stdout;
  if (type == TBL_TYPE_ZUL) {
    int rc = ZulIO_Attach(t, connection);
    if (rc != TBL_Success) {
      free(t);
      return rc;
    }
  }
  *place = t;
  return TBL_Success;
}

int Table_SetName(Table* t, const char* name) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (name == nullptr) name = "";
  if (t->name[0] == '\0') {
    if (name[0] == '\0') return TBL_InvalidParamValue;
    if (strlen(name) >= sizeof t->name) return TBL_InvalidParamValue;
    memcpy(t->name, name, strlen(name) + 1);
    return TBL_Success;
  }
  return name[0] == '\0' || strcmp(name, t->name) == 0 ? TBL_Success : TBL_NameMismatch;
}

int Table_GetName(Table* t, char* place, size_t cap) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (place == nullptr || cap == 0) return TBL_InvalidPointer;
  snprintf(place, cap, "%s", t->name);
  return TBL_Success;
}

int Table_Create(Table* t, const char* name, const ColInfo* cols, const char* keyword) {
  if (t == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_Create(t, name, cols);
    case TBL_TYPE_INFO: return InfoIO_Create(t, name, cols);
    case TBL_TYPE_ZUL: {
      if (ColInfo_IsEmpty(cols)) return TBL_NoAttributes;
      ColInfo checked{};
      int rc = ColInfo_Copy(&checked, cols);
      if (rc != TBL_Success) return rc;
      for (int i = 0; i < checked.count; ++i) {
        int code = 0;
        if (!Table_CheckColDef(&checked.defs[i], &code)) {
          ColInfo_Free(&checked);
          return code;
        }
      }
      rc = ZulIO_Create(t, name, &checked, keyword);
      ColInfo_Free(&checked);
      return rc;
    }
    default: return TBL_InvalidTableType;
  }
}

int Table_Open(Table* t, const char* name, int mode) {
  if (t == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_Open(t, name, mode);
    case TBL_TYPE_INFO: return InfoIO_Open(t, name, mode);
    case TBL_TYPE_ZUL: return ZulIO_Open(t, name, mode);
    default: return TBL_InvalidTableType;
  }
}

int Table_Close(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  int rc = TBL_Success;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: rc = DbaseIO_Close(t); break;
    case TBL_TYPE_INFO: rc = InfoIO_Close(t); break;
    case TBL_TYPE_ZUL: rc = ZulIO_Close(t); break;
    default: break;
  }
  if (rc == TBL_TableNotDeleted) return rc;  // the backup is still there; the handle stays
  ColInfo_Free(&t->md.cols);
  free(t->buffer);
  free(t);
  return rc;
}

int Table_DeleteRecords(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_DeleteRecords(t);
    case TBL_TYPE_INFO: return InfoIO_DeleteRecords(t);
    case TBL_TYPE_ZUL: return ZulIO_Truncate(t);
    default: return TBL_InvalidTableType;
  }
}

int Table_Rollback(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_Rollback(t);
    case TBL_TYPE_INFO: return InfoIO_Rollback(t);
    case TBL_TYPE_ZUL: return ZulIO_Rollback(t);
    default: return TBL_InvalidTableType;
  }
}

int Table_GetMetaData(Table* t, TableMetaData* place) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (place == nullptr) return TBL_InvalidPointer;
  // The copy's column set is the handle's own: valid while the handle lives.
  *place = t->md;
  return ColInfo_IsEmpty(&t->md.cols) ? TBL_NoAttributes : TBL_Success;
}

int Table_SetDbmsKind(Table* t, int kind) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->table_type == TBL_TYPE_ZUL) t->md.dbms_kind = kind >= 0 && kind <= 8 ? kind : -1;
  return TBL_Success;
}

int Table_SetVerbose(Table* t, int flag) {
  if (t == nullptr) return TBL_InvalidHandle;
  t->md.verbose = flag;
  return TBL_Success;
}

Table_Record* Table_RecordAlloc(Table* t, int count, char** names) {
  if (t == nullptr) return nullptr;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_RecordAlloc(t);
    case TBL_TYPE_INFO: return InfoIO_RecordAlloc(t);
    case TBL_TYPE_ZUL: return ZulIO_RecordAlloc(t, count, names);
    default: return nullptr;
  }
}

void Table_RecordFree(Table_Record* r) {
  if (r == nullptr) return;
  if (r->table_type == TBL_TYPE_ZUL && r->slots != nullptr) {
    for (int i = 0; i < r->cols.count; ++i) {
      if (r->cols.defs[i].type == TBL_COL_BLOB) {
        unsigned char* data = nullptr;
        memcpy(&data, r->slots + static_cast<size_t>(i) * TBL_VALUE_LEN + sizeof(int32_t), sizeof data);
        free(data);
      }
    }
  }
  free(r->names);
  free(r->slots);
  free(r->indicators);
  free(r->buffer);
  ColInfo_Free(&r->cols);
  free(r);
}

int Table_StartRead(Table* t, Table_Record* r, const char* where) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->table_type == TBL_TYPE_DBASE || t->table_type == TBL_TYPE_INFO) return TBL_Success;
  if (t->table_type == TBL_TYPE_ZUL) return ZulIO_StartQuery(t, r, where);
  return TBL_UnsupportedType;
}

int Table_StartWrite(Table* t, Table_Record* r, int commit_rate, int buffered) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->table_type == TBL_TYPE_DBASE || t->table_type == TBL_TYPE_INFO) return TBL_Success;
  if (t->table_type == TBL_TYPE_ZUL) return ZulIO_StartInsert(t, r, commit_rate, buffered);
  return TBL_UnsupportedType;
}

int Table_StopWrite(Table* t) {
  if (t == nullptr) return TBL_InvalidHandle;
  if (t->table_type == TBL_TYPE_DBASE || t->table_type == TBL_TYPE_INFO) return TBL_Success;
  if (t->table_type == TBL_TYPE_ZUL) return ZulIO_StopInsert(t);
  return TBL_UnsupportedType;
}

int Table_ReadRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr || r == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_ReadRecord(t, recno, r);
    case TBL_TYPE_INFO: return InfoIO_ReadRecord(t, recno, r);
    case TBL_TYPE_ZUL: return ZulIO_ReadRecord(t, r);
    default: return TBL_InvalidTableType;
  }
}

int Table_WriteRecord(Table* t, int* recno, Table_Record* r) {
  if (t == nullptr || r == nullptr) return TBL_InvalidHandle;
  switch (t->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_WriteRecord(t, recno, r);
    case TBL_TYPE_INFO: return InfoIO_WriteRecord(t, recno, r);
    case TBL_TYPE_ZUL: return ZulIO_WriteRecord(t, r);
    default: return TBL_InvalidTableType;
  }
}

int Table_GetValue(Table_Record* r, int column, Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  Value_Clear(value);
  switch (r->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_GetValue(r, column, value);
    case TBL_TYPE_INFO: return InfoIO_GetValue(r, column, value);
    case TBL_TYPE_ZUL: return ZulIO_GetValue(r, column, value);
    default: return TBL_InvalidTableType;
  }
}

int Table_SetValue(Table_Record* r, int column, const Table_Value* value) {
  if (r == nullptr) return TBL_InvalidColInfo;
  if (value == nullptr) return TBL_InvalidPointer;
  switch (r->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_SetValue(r, column, value);
    case TBL_TYPE_INFO: return InfoIO_SetValue(r, column, value);
    case TBL_TYPE_ZUL: return ZulIO_SetValue(r, column, value);
    default: return TBL_InvalidTableType;
  }
}

int Table_ColInfo_List(const ColInfo* cols) {
  if (cols == nullptr) return TBL_InvalidColInfo;
  if (ColInfo_IsEmpty(cols)) return TBL_NoAttributes;
  switch (cols->table_type) {
    case TBL_TYPE_DBASE: return DbaseIO_ColInfo_List(cols);
    case TBL_TYPE_INFO: return InfoIO_ColInfo_List(cols);
    case TBL_TYPE_ZUL: return ZulIO_ColInfo_List(cols);
    default: return TBL_InvalidTableType;
  }
}

int Table_NativeColDefText(int type, const ColDef* def, char* text, size_t cap) {
  if (def == nullptr || text == nullptr) return TBL_InvalidPointer;
  switch (type) {
    case TBL_TYPE_DBASE: return DbaseIO_NativeColDefText(def, text, cap);
    case TBL_TYPE_INFO: {
      ColInfoEntry info{};
      int rc = InfoIO_EncodeColDef(def, &info);
      if (rc != TBL_Success) return rc;
      return InfoIO_NativeColDefText(def, &info, text, cap);
    }
    case TBL_TYPE_ZUL: return ZulIO_NativeColDefText(def, text, cap);
    default: return TBL_InvalidTableType;
  }
}
