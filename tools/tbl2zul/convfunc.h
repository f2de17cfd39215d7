// convfunc.h -- the column specification file and the conversion map of
// tbl2zul: which source columns go into which target columns, with which
// target definitions.
#ifndef TBL2ZUL_CONVFUNC_H
#define TBL2ZUL_CONVFUNC_H

#include "tableio.h"

#define COLSPEC_LINE_LEN   1024  // longest line of the file
#define COLSPEC_FROM_LEN   36    // from-column name, NUL included
#define COLSPEC_REST_LEN   256   // the rest of a line, NUL included

struct ColSpecEntry {
  char    name[TBL_COLNAME_LEN];  // to-column name, else the from-column name
  int32_t type;                   // TBL_COL_ code; 0 no type requested
  int32_t size;
  int32_t native_width;           // equal to size
  int32_t decimals;
  int32_t nullable;               // 1 NULL allowed; 0 after a not-null word
};

struct ColSpecList {
  int32_t       count;
  int32_t       capacity;         // 20 at first, grown by 10
  char**        from_names;       // owned copies
  int32_t       target_type;
  ColSpecEntry* entries;
  int16_t*      flags;            // kept 0
  int32_t       native_syntax;    // 0: lines read with ColDef_Parse
};

struct ConvList {
  int32_t  reserved;
  ColInfo  source;       // source columns in map order
  int32_t* from_index;   // 1-based input column per entry
  ColInfo  target;       // target definitions in map order
  int32_t* to_index;     // 1-based output column per entry
};

enum { CONV_OP_CREATE = 1, CONV_OP_INIT = 2, CONV_OP_APPEND = 3 };

int  ColSpec_ReadFile(int target_type, const char* path, ColSpecList* list);
void ColSpec_Free(ColSpecList* list);
int  ConvList_Build(ConvList* map, int operation, Table* in, Table* out, const ColSpecList* list);
int  ConvList_ApplySpec(int target_type, ColDef* def, ColInfoEntry* info, const ColSpecEntry* entry, int show);
int  ColDef_Change(ColDef* cur, ColInfoEntry* info, const ColDef* req, int* changed);
int  ColDef_TypeCompatible(const ColDef* source, const ColDef* target, int strict);
int  Table_ConvMap_List(const ConvList* map, int level);
void ConvList_Free(ConvList* map);

// Removes the spaces around a text in place.
void Conv_RemoveSpaces(char* text);

#endif
