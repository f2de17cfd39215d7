// tableio.h -- the table layer of tbl2zul: one interface over dBASE files
// (type 1), INFO tables (type 2) and database tables (type 3, ZUL).
//
// It declares the table handle, column definitions and column sets,
// records and values, the TBL_ result codes, the message output, and the
// per-type back ends (DbaseIO_, InfoIO_, ZulIO_) behind the Table_
// dispatch. Every operation returns a TBL_ code (0 success) unless said
// otherwise; none prints except where its comment says so, and every
// message goes through the message output (Tbl_Message).
#ifndef TBL2ZUL_TABLEIO_H
#define TBL2ZUL_TABLEIO_H

#include <stdint.h>
#include <stdio.h>

#include "zul_db.h"   // EXTENDED_ERROR

// ---- table and column types ------------------------------------------------
enum { TBL_TYPE_DBASE = 1, TBL_TYPE_INFO = 2, TBL_TYPE_ZUL = 3 };

enum {
  TBL_COL_SMALLINT = 1,
  TBL_COL_INTEGER = 2,
  TBL_COL_FLOAT = 3,
  TBL_COL_DOUBLE = 4,
  TBL_COL_STRING = 5,
  TBL_COL_BLOB = 6,
  TBL_COL_DATE = 7,
  TBL_COL_LOGICAL = 10,
  TBL_COL_DECIMAL = 11,
  TBL_COL_NUMERIC = 12,
};

// ---- result codes -----------------------------------------------------------
enum {
  TBL_Success = 0, TBL_UnableToOpen = 1, TBL_UnableToCreate = 2, TBL_UnableToRename = 3,
  TBL_AlreadyOpen = 4, TBL_NotOpenForWrite = 5, TBL_Not8Dot3 = 6, TBL_OutOfChannels = 7,
  TBL_EndOfRecord = 8, TBL_EndOfFile = 9, TBL_InsufficientMemory = 10, TBL_OutOfSpace = 11,
  TBL_TableNotOpen = 12, TBL_TableNotExist = 13, TBL_TableNotDeleted = 14, TBL_TableAlreadyExists = 15,
  TBL_TypeMismatch = 16, TBL_SchemaMismatch = 17, TBL_SchemaExist = 18, TBL_RowCountMismatch = 19,
  TBL_BadFileVersion = 20, TBL_BadRecord = 21, TBL_BadHeader = 22, TBL_BadColumnDef = 23,
  TBL_BadColumnCount = 24, TBL_BadColumnWidth = 25, TBL_BadCount = 26, TBL_ValueEncodeFailure = 27,
  TBL_ValueDecodeFailure = 28, TBL_ValueColumnNotSame = 29, TBL_ValueOverflow = 30, TBL_NoSuchColumn = 31,
  TBL_NoAttributes = 32, TBL_UnsupportedType = 33, TBL_InvalidPointer = 34, TBL_InvalidParamValue = 35,
  TBL_InvalidHandle = 36, TBL_InvalidMetaData = 37, TBL_InvalidColInfo = 38, TBL_InvalidColType = 39,
  TBL_InvalidTableType = 40, TBL_InvalidConvMap = 41, TBL_InvalidConnection = 42, TBL_InvalidStream = 43,
  TBL_InvalidConfigKeyword = 44, TBL_InvalidRecord = 45, TBL_InvalidAttrMode = 46,
  TBL_ConvListNotSupported = 47, TBL_FunctionNotSupported = 48, TBL_SQLKeyword = 49, TBL_NoPermissions = 50,
  TBL_NameMismatch = 51, TBL_RecordReadError = 52, TBL_RecordDeleted = 53, TBL_SetDefault = 54,
  TBL_NotImplemented = 55, TBL_Failure = 56, TBL_ExternalError = 57, TBL_ExternalError_Stream = 58,
  TBL_UnsupportedColType = 59, TBL_ValueIsNull = 60,
};

// ---- limits ----------------------------------------------------------------
#define TBL_NAME_LEN      256   // table name and back-end text, NUL included
#define TBL_COLNAME_LEN   32    // column name, NUL included
#define TBL_VALUE_LEN     320   // value payload and value slot, bytes
#define TBL_MAX_COLUMNS   1023  // columns of one dBASE or INFO table

// ---- columns ----------------------------------------------------------------
struct ColDef {
  char    name[TBL_COLNAME_LEN];  // column name
  int32_t type;                   // TBL_COL_ code
  int32_t size;                   // width in characters or digits
  int16_t decimals;               // decimal places
  int32_t nullable;               // 1 NULL allowed
  int32_t reserved;               // kept zero
};

struct ColInfoEntry {
  int32_t start;        // dBASE: offset from 0; INFO: 1-based position
  int32_t width;        // storage width
  int32_t native_type;  // dBASE letter, INFO item type, library column type
  int32_t decimals;     // decimal places (-1 none for INFO)
  int32_t extra;        // dBASE: width; INFO: output width
};

struct ColInfo {
  int32_t       table_type;  // TBL_TYPE_
  int32_t       count;       // columns
  ColDef*       defs;        // count entries, owned
  ColInfoEntry* info;        // count entries, owned
};

struct TableMetaData {
  int32_t table_type;
  int32_t open_mode;          // 1 read, 2 write, 3 created
  ColInfo cols;               // a copy when copied out; free with ColInfo_Free
  int32_t dbms_kind;          // ZUL: 0 to 8, else -1
  int32_t commit_rate;
  int32_t buffered;
  void*   backend;            // owned by the back end
  int32_t verbose;
  int32_t file_records;       // records in the file (dBASE, INFO)
  int32_t record_size;        // record bytes (dBASE, INFO)
  int32_t reserved1;
  int32_t records_written;    // written (dBASE, INFO) or committed (ZUL)
  int32_t batch_records;      // records in the current batch (ZUL)
  int32_t reserved2;
};

struct TblDate {
  int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;  // as struct tm
};

struct Table_Value {
  int32_t type;      // TBL_COL_ code
  int16_t is_null;   // 1 NULL
  union {
    int16_t  s;
    int32_t  i;
    float    f;
    double   d;
    char     str[TBL_VALUE_LEN + 1];  // NUL-terminated
    struct {
      int32_t        len;
      unsigned char* data;            // owned
    } blob;
    TblDate  date;
  } v;
};

struct Table_Record;

struct Table {
  char          name[TBL_NAME_LEN];   // table name
  char          text[TBL_NAME_LEN];   // back end's text (file path for dBASE and INFO)
  int32_t       table_type;
  TableMetaData md;
  EXTENDED_ERROR xerr;                // client library's code behind 57 and 58
  int32_t       records_read;
  int32_t       fileno;               // back end's file or table number; -1 closed
  FILE*         msg;                  // message stream
  void*         connection;           // ZUL only
  void*         stream;               // ZUL only
  int32_t       modified;             // the table was written since it was opened
  char*         buffer;               // back end's record buffer, owned
  char          backup[TBL_NAME_LEN]; // dBASE backup path; empty when none
};

struct Table_Record {
  int32_t        table_type;
  ColInfo        cols;           // the record's columns, a copy
  int32_t        touched;        // values set since the last read or write
  char*          buffer;         // record bytes (dBASE, INFO), owned
  int32_t        buffer_len;     // bytes of buffer
  char**         names;          // ZUL: column name pointers
  char*          slots;          // ZUL: count * TBL_VALUE_LEN bytes
  int16_t*       indicators;     // ZUL: 1 NULL, 2 value
  int32_t        blob_count;
};

// ---- the layer ---------------------------------------------------------------
int  Table_CreateHandle(Table** place, int type, void* connection);
int  Table_Create(Table* t, const char* name, const ColInfo* cols, const char* keyword);
int  Table_Open(Table* t, const char* name, int mode);
int  Table_Close(Table* t);
int  Table_DeleteRecords(Table* t);
int  Table_Rollback(Table* t);
int  Table_GetMetaData(Table* t, TableMetaData* place);
int  Table_GetName(Table* t, char* place, size_t cap);
int  Table_SetName(Table* t, const char* name);
int  Table_SetDbmsKind(Table* t, int kind);
int  Table_SetVerbose(Table* t, int flag);
Table_Record* Table_RecordAlloc(Table* t, int count, char** names);
void Table_RecordFree(Table_Record* r);
int  Table_StartRead(Table* t, Table_Record* r, const char* where);
int  Table_StartWrite(Table* t, Table_Record* r, int commit_rate, int buffered);
int  Table_StopWrite(Table* t);
int  Table_ReadRecord(Table* t, int* recno, Table_Record* r);
int  Table_WriteRecord(Table* t, int* recno, Table_Record* r);
int  Table_GetValue(Table_Record* r, int column, Table_Value* value);
int  Table_SetValue(Table_Record* r, int column, const Table_Value* value);
int  Table_ColInfo_List(const ColInfo* cols);
int  Table_NativeColDefText(int type, const ColDef* def, char* text, size_t cap);
int  Table_ColDefs_List(int count, const ColDef* defs);
void ColDef_ToText(const ColDef* def, char* text, size_t cap);

int  ColInfo_Alloc(ColInfo* cols, int count);
int  ColInfo_Copy(ColInfo* dst, const ColInfo* src);
void ColInfo_Free(ColInfo* cols);
int  ColInfo_IsEmpty(const ColInfo* cols);
int  ColInfo_NameList(const ColInfo* cols, int* count, char*** names);
void ColInfo_FreeNameList(int count, char** names);
int  ColInfo_CountBlobs(const ColInfo* cols);
void ColInfo_SetPositions(ColInfo* cols);

void Value_Clear(Table_Value* value);
int  Value_Convert(const ColDef* target, Table_Value* result, const Table_Value* source);

int  ColType_Parse(const char* word);
const char* ColType_Name(int code);
const char* TableType_Name(int type);
const char* Tbl_ErrorName(int code);
int  ColDef_Parse(ColDef* def, const char* text);
bool Table_CheckColDef(ColDef* def, int* code);
int  Tbl_IsReservedWord(const char* word);

// Message output. Modes: 1 a line on the set stream (standard output when
// none), 2 the base library's informC, 3 on the stream passed to
// Tbl_Message (else the set stream).
int  Tbl_SetMessageMode(int mode, FILE* stream);
void Tbl_Message(FILE* stream, const char* text);
void Tbl_Messagef(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Tbl_ReportError(int code, const char* context);
void Table_ReportError(Table* t, int code, const char* context);

// ---- back ends ---------------------------------------------------------------
// dBASE (type 1)
int  DbaseIO_Exists(Table* t, const char* name);
int  DbaseIO_Open(Table* t, const char* name, int mode);
int  DbaseIO_Create(Table* t, const char* name, const ColInfo* cols);
int  DbaseIO_Close(Table* t);
int  DbaseIO_Backup(Table* t);
int  DbaseIO_ReadRecord(Table* t, int* recno, Table_Record* r);
int  DbaseIO_WriteRecord(Table* t, int* recno, Table_Record* r);
int  DbaseIO_DecodeField(const Table_Record* r, int column, char* text, size_t cap, double* number);
int  DbaseIO_GetValue(const Table_Record* r, int column, Table_Value* value);
int  DbaseIO_SetValue(Table_Record* r, int column, const Table_Value* value);
int  DbaseIO_DeleteRecords(Table* t);
int  DbaseIO_Rollback(Table* t);
Table_Record* DbaseIO_RecordAlloc(Table* t);
int  DbaseIO_EncodeColDef(const ColDef* def, ColInfoEntry* info);
int  DbaseIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed);
int  DbaseIO_ColInfo_List(const ColInfo* cols);
int  DbaseIO_NativeColDefText(const ColDef* def, char* text, size_t cap);

// INFO (type 2)
int  InfoIO_Exists(Table* t, const char* name);
int  InfoIO_Open(Table* t, const char* name, int mode);
int  InfoIO_Create(Table* t, const char* name, const ColInfo* cols);
int  InfoIO_Close(Table* t);
int  InfoIO_ReadRecord(Table* t, int* recno, Table_Record* r);
int  InfoIO_WriteRecord(Table* t, int* recno, Table_Record* r);
int  InfoIO_GetValue(const Table_Record* r, int column, Table_Value* value);
int  InfoIO_SetValue(Table_Record* r, int column, const Table_Value* value);
int  InfoIO_DeleteRecords(Table* t);
int  InfoIO_Rollback(Table* t);
Table_Record* InfoIO_RecordAlloc(Table* t);
int  InfoIO_EncodeColDef(const ColDef* def, ColInfoEntry* info);
int  InfoIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed);
int  InfoIO_ColInfo_List(const ColInfo* cols);
int  InfoIO_NativeColDefText(const ColDef* def, const ColInfoEntry* info, char* text, size_t cap);

// ZUL (type 3). Until the client library stands, every operation that needs
// the server answers TBL_InvalidConnection; the column translation and the
// listings work without it.
int  ZulIO_Attach(Table* t, void* connection);
int  ZulIO_Open(Table* t, const char* name, int mode);
int  ZulIO_Create(Table* t, const char* name, const ColInfo* cols, const char* keyword);
int  ZulIO_Truncate(Table* t);
int  ZulIO_Rollback(Table* t);
int  ZulIO_Close(Table* t);
int  ZulIO_StartQuery(Table* t, Table_Record* r, const char* where);
int  ZulIO_StartInsert(Table* t, Table_Record* r, int commit_rate, int buffered);
int  ZulIO_StopInsert(Table* t);
int  ZulIO_ReadRecord(Table* t, Table_Record* r);
int  ZulIO_WriteRecord(Table* t, Table_Record* r);
Table_Record* ZulIO_RecordAlloc(Table* t, int count, char** names);
int  ZulIO_GetValue(const Table_Record* r, int column, Table_Value* value);
int  ZulIO_SetValue(Table_Record* r, int column, const Table_Value* value);
int  ZulIO_MakeTargetColumns(const ColInfo* src, ColInfo* dst, int* failed);
int  ZulIO_ColInfo_List(const ColInfo* cols);
int  ZulIO_NativeColDefText(const ColDef* def, char* text, size_t cap);
void ZulIO_ReportConnectionError(Table* t, int code, const char* context);

#endif
