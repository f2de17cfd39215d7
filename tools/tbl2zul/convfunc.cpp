// convfunc.cpp -- the column specification file, the conversion map, the
// rules by which a requested definition changes a column, and the map's
// listing.
//
// Relies on the table layer (tableio.h) for definitions, parsing and
// messages, and on the back ends for the target definitions. The file is
// read into bounded buffers: a line, a from-column name or a definition
// longer than its buffer is a bad line, never cut.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "convfunc.h"

void Conv_RemoveSpaces(char* text) {
  if (text == nullptr) return;
  size_t start = strspn(text, " \t\r\n");
  size_t len = strlen(text + start);
  memmove(text, text + start, len + 1);
  while (len > 0 && strchr(" \t\r\n", text[len - 1]) != nullptr) text[--len] = '\0';
}

// ==== the column specification file =============================================

namespace {

bool is_end_line(const char* line) {
  const char* p = line + strspn(line, " \t");
  if (strncmp(p, "/*", 2) == 0) {
    p += 2;
  } else if (*p == '#') {
    p += 1;
  } else {
    return false;
  }
  p += strspn(p, " \t*#");
  return strncasecmp(p, "EXIT", 4) == 0 || strncasecmp(p, "END", 3) == 0 || strncasecmp(p, "STOP", 4) == 0;
}

bool is_comment_line(const char* line) {
  const char* p = line + strspn(line, " \t");
  return strncmp(p, "/*", 2) == 0 || *p == '#';
}

int add_entry(ColSpecList* list, const char* from, const ColDef& def) {
  if (list->count == list->capacity) {
    int cap = list->capacity + 10;
    char** names = static_cast<char**>(realloc(list->from_names, sizeof(char*) * static_cast<size_t>(cap)));
    if (names == nullptr) return TBL_Failure;
    list->from_names = names;
    ColSpecEntry* entries = static_cast<ColSpecEntry*>(realloc(list->entries, sizeof(ColSpecEntry) * static_cast<size_t>(cap)));
    if (entries == nullptr) return TBL_Failure;
    list->entries = entries;
    int16_t* flags = static_cast<int16_t*>(realloc(list->flags, sizeof(int16_t) * static_cast<size_t>(cap)));
    if (flags == nullptr) return TBL_Failure;
    list->flags = flags;
    list->capacity = cap;
  }
  const char* name = def.name[0] != '\0' ? def.name : from;
  if (strlen(name) >= TBL_COLNAME_LEN) return TBL_Failure;
  char* copy = strdup(from);
  if (copy == nullptr) return TBL_Failure;
  ColSpecEntry& e = list->entries[list->count];
  memset(&e, 0, sizeof e);
  memcpy(e.name, name, strlen(name) + 1);
  e.type = def.type;
  e.size = def.size;
  e.native_width = def.size;
  e.decimals = def.decimals;
  e.nullable = def.nullable;
  list->from_names[list->count] = copy;
  list->flags[list->count] = 0;
  ++list->count;
  return TBL_Success;
}

}  // namespace

void ColSpec_Free(ColSpecList* list) {
  if (list == nullptr) return;
  for (int i = 0; list->from_names != nullptr && i < list->count; ++i) free(list->from_names[i]);
  free(list->from_names);
  free(list->entries);
  free(list->flags);
  memset(list, 0, sizeof *list);
}

int ColSpec_ReadFile(int target_type, const char* path, ColSpecList* list) {
  if (path == nullptr || list == nullptr) return TBL_InvalidPointer;
  memset(list, 0, sizeof *list);
  FILE* f = fopen(path, "r");
  if (f == nullptr) return TBL_UnableToOpen;
  list->capacity = 20;
  list->target_type = target_type;
  list->from_names = static_cast<char**>(calloc(20, sizeof(char*)));
  list->entries = static_cast<ColSpecEntry*>(calloc(20, sizeof(ColSpecEntry)));
  list->flags = static_cast<int16_t*>(calloc(20, sizeof(int16_t)));
  if (list->from_names == nullptr || list->entries == nullptr || list->flags == nullptr) {
    fclose(f);
    ColSpec_Free(list);
    return TBL_InsufficientMemory;
  }
  char line[COLSPEC_LINE_LEN + 2];
  int lineno = 0, rc = TBL_Success;
  while (rc == TBL_Success && fgets(line, sizeof line, f) != nullptr) {
    ++lineno;
    size_t len = strlen(line);
    bool whole = len > 0 && line[len - 1] == '\n';
    if (!whole && !feof(f)) {
      // A line longer than the reader's buffer: refuse it, and leave the
      // rest of the file unread.
      Tbl_Messagef("\nLine%3d: Error in parsing ColDef string.\n  \"%.40s...\" ", lineno, line);
      Tbl_ReportError(TBL_BadColumnDef, nullptr);
      rc = TBL_Failure;
      break;
    }
    line[strcspn(line, "\r\n")] = '\0';
    const char* p = line + strspn(line, " \t");
    if (*p == '\0') continue;
    if (is_end_line(p)) break;
    if (is_comment_line(p)) continue;
    size_t from_len = strcspn(p, " \t");
    char rest[COLSPEC_REST_LEN];
    const char* r = p + from_len;
    int code = TBL_Success;
    char from[COLSPEC_FROM_LEN];
    if (from_len >= sizeof from || strlen(r) >= sizeof rest) {
      code = TBL_BadColumnDef;
      snprintf(rest, sizeof rest, "%.200s", r);
    } else {
      memcpy(from, p, from_len);
      from[from_len] = '\0';
      memcpy(rest, r, strlen(r) + 1);
    }
    Conv_RemoveSpaces(rest);
    ColDef def;
    if (code == TBL_Success) {
      if (rest[0] == '\0') {
        // A line of only a from-column name selects that column unchanged.
        memset(&def, 0, sizeof def);
        def.nullable = 1;
      } else {
        code = ColDef_Parse(&def, rest);
      }
    }
    if (code != TBL_Success) {
      char ctx[COLSPEC_REST_LEN + 64];
      snprintf(ctx, sizeof ctx, "\nLine%3d: Error in parsing ColDef string.\n  \"%s\" ", lineno, rest);
      Tbl_ReportError(code, ctx);
      rc = TBL_Failure;
      break;
    }
    code = add_entry(list, from, def);
    if (code != TBL_Success) {
      char ctx[COLSPEC_REST_LEN + 64];
      snprintf(ctx, sizeof ctx, "\nLine%3d: Error adding ColDef into ConvList.\n  \"%s\" ", lineno, rest);
      Tbl_ReportError(code, ctx);
      rc = TBL_Failure;
    }
  }
  fclose(f);
  if (list->count == 0) {
    ColSpec_Free(list);
    return TBL_BadCount;
  }
  return rc;
}

// ==== definitions ===================================================================

int ColDef_TypeCompatible(const ColDef* source, const ColDef* target, int strict) {
  if (source == nullptr || target == nullptr) return 0;
  auto numeric = [](int t) {
    return t == TBL_COL_SMALLINT || t == TBL_COL_INTEGER || t == TBL_COL_FLOAT || t == TBL_COL_DOUBLE;
  };
  if (numeric(target->type)) return strict ? source->type == target->type : numeric(source->type);
  if (target->type == TBL_COL_STRING || target->type == TBL_COL_BLOB || target->type == TBL_COL_DATE ||
      target->type == TBL_COL_LOGICAL)
    return source->type == target->type;
  return 0;
}

int ColDef_Change(ColDef* cur, ColInfoEntry* info, const ColDef* req, int* changed) {
  int code = TBL_Success;
  if (changed != nullptr) *changed = 0;
  if (req->type != cur->type) {
    int c = cur->type;
    bool s = c == TBL_COL_SMALLINT, i = c == TBL_COL_INTEGER, f = c == TBL_COL_FLOAT, d = c == TBL_COL_DOUBLE;
    switch (req->type) {
      case TBL_COL_SMALLINT: code = s ? 0 : (i || f || d) ? TBL_ValueOverflow : TBL_TypeMismatch; break;
      case TBL_COL_INTEGER: code = (s || i) ? 0 : (f || d) ? TBL_ValueOverflow : TBL_TypeMismatch; break;
      case TBL_COL_FLOAT: code = (s || i || f) ? 0 : d ? TBL_ValueOverflow : TBL_TypeMismatch; break;
      case TBL_COL_DOUBLE: code = (s || i || f || d) ? 0 : TBL_TypeMismatch; break;
      default: code = TBL_TypeMismatch; break;
    }
    if (code == TBL_TypeMismatch) return code;
  }
  int flag = 0;
  // A requested name is taken only when it is given: an empty one would
  // leave the column without a name.
  if (req->name[0] != '\0' && strcasecmp(req->name, cur->name) != 0) {
    memcpy(cur->name, req->name, sizeof cur->name);
    flag = 1;
  }
  if (flag || req->type != cur->type) {
    cur->type = req->type;
    flag = 1;
  }
  if (req->type != TBL_COL_LOGICAL && (flag || (req->size > 0 && req->size != cur->size))) {
    cur->size = req->size;
    switch (req->type) {
      case TBL_COL_SMALLINT: info->width = 2; break;
      case TBL_COL_INTEGER: case TBL_COL_FLOAT: info->width = 4; break;
      case TBL_COL_DOUBLE: info->width = 8; break;
      default: info->width = req->size; break;
    }
    flag = 1;
  }
  if (flag || (req->decimals >= 0 && req->decimals != cur->decimals)) {
    cur->decimals = req->decimals;
    info->decimals = req->decimals;
    flag = 1;
  }
  if (flag || (req->nullable == 0 && req->nullable != cur->nullable)) {
    cur->nullable = req->nullable;
    flag = 1;
  }
  if (changed != nullptr) *changed = flag;
  return code;
}

int ConvList_ApplySpec(int target_type, ColDef* def, ColInfoEntry* info, const ColSpecEntry* entry, int show) {
  if (entry->type == 0) {
    if (entry->name[0] != '\0' && strcasecmp(entry->name, def->name) != 0) {
      Tbl_Messagef("Change column name from \"%s\" to \"%s\".", def->name, entry->name);
      memcpy(def->name, entry->name, sizeof def->name);
    }
    return TBL_Success;
  }
  ColDef req{};
  memcpy(req.name, entry->name, sizeof req.name);
  req.type = entry->type;
  req.size = entry->size;
  req.decimals = static_cast<int16_t>(entry->decimals);
  req.nullable = entry->nullable;
  ColDef cur = *def;
  ColInfoEntry cur_info = *info;
  int changed = 0;
  int rc = ColDef_Change(&cur, &cur_info, &req, &changed);
  char from[128], to[128];
  ColDef_ToText(def, from, sizeof from);
  ColDef_ToText(changed ? &cur : &req, to, sizeof to);
  if (rc == TBL_TypeMismatch) {
    if (show) Tbl_Messagef("Cannot change column definition\n  from  %s\n  to    %s", from, to);
    return rc;
  }
  if (show && changed) {
    Tbl_Messagef("Change column definition\n  from  %s\n  to    %s", from, to);
    if (rc == TBL_ValueOverflow) Tbl_Message(nullptr, "  WARNING: Value may be larger than specified precision allows.");
  }
  if (changed) {
    *def = cur;
    *info = cur_info;
    int enc = TBL_Success;
    if (target_type == TBL_TYPE_DBASE) {
      enc = DbaseIO_EncodeColDef(def, info);
    } else if (target_type == TBL_TYPE_INFO) {
      enc = InfoIO_EncodeColDef(def, info);
    } else if (target_type == TBL_TYPE_ZUL) {
      info->native_type = def->type == TBL_COL_LOGICAL ? TBL_COL_STRING : def->type;
      info->width = def->size;
    }
    if (enc != TBL_Success) Tbl_ReportError(enc, "\nError in encode native ColDef.");
  }
  return TBL_Success;
}

// ==== the map ===========================================================================

void ConvList_Free(ConvList* map) {
  if (map == nullptr) return;
  ColInfo_Free(&map->source);
  ColInfo_Free(&map->target);
  free(map->from_index);
  free(map->to_index);
  memset(map, 0, sizeof *map);
}

namespace {

int find_column(const ColInfo& cols, const char* name) {
  for (int j = 0; j < cols.count; ++j) {
    if (strcasecmp(cols.defs[j].name, name) == 0) return j;
  }
  return -1;
}

int build(ConvList* map, int operation, Table* in, Table* out, const ColSpecList* list) {
  TableMetaData in_md, out_md;
  int rc = Table_GetMetaData(in, &in_md);
  if (rc != TBL_Success) return rc;
  char in_name[TBL_NAME_LEN], out_name[TBL_NAME_LEN];
  Table_GetName(in, in_name, sizeof in_name);
  Table_GetName(out, out_name, sizeof out_name);
  rc = Table_GetMetaData(out, &out_md);
  if (rc != TBL_Success && rc != TBL_NoAttributes) return rc;
  bool out_has_columns = rc == TBL_Success;
  int show = out_md.verbose ? out_md.verbose : in_md.verbose;
  const ColInfo& incols = in_md.cols;

  int n = list != nullptr ? list->count : incols.count;
  if (n < 1) return TBL_BadCount;
  rc = ColInfo_Alloc(&map->source, n);
  if (rc != TBL_Success) return rc;
  map->from_index = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
  map->to_index = static_cast<int32_t*>(calloc(static_cast<size_t>(n), sizeof(int32_t)));
  if (map->from_index == nullptr || map->to_index == nullptr) return TBL_InsufficientMemory;
  map->source.table_type = in->table_type;
  for (int i = 0; i < n; ++i) {
    int j = i;
    if (list != nullptr) {
      j = find_column(incols, list->from_names[i]);
      if (j < 0) {
        Tbl_Messagef("Column \"%s\" not found in %s source table \"%s\".", list->from_names[i],
                     TableType_Name(in->table_type), in_name);
        return TBL_NoSuchColumn;
      }
    }
    map->source.defs[i] = incols.defs[j];
    map->source.info[i] = incols.info[j];
    map->from_index[i] = j + 1;
  }

  int failed = -1;
  switch (out->table_type) {
    case TBL_TYPE_DBASE: rc = DbaseIO_MakeTargetColumns(&map->source, &map->target, &failed); break;
    case TBL_TYPE_INFO: rc = InfoIO_MakeTargetColumns(&map->source, &map->target, &failed); break;
    case TBL_TYPE_ZUL: rc = ZulIO_MakeTargetColumns(&map->source, &map->target, &failed); break;
    default: return TBL_InvalidTableType;
  }
  if (rc != TBL_Success) {
    char text[256];
    if (failed >= 0 && failed < n &&
        Table_NativeColDefText(in->table_type, &map->source.defs[failed], text, sizeof text) == TBL_Success)
      Tbl_Messagef("  \"%s\" ", text);
    return rc;
  }

  if (list != nullptr) {
    for (int i = 0; i < n; ++i) {
      rc = ConvList_ApplySpec(out->table_type, &map->target.defs[i], &map->target.info[i], &list->entries[i], show);
      if (rc != TBL_Success) return rc;
    }
  }

  if (out_has_columns && (operation == CONV_OP_INIT || operation == CONV_OP_APPEND)) {
    for (int i = 0; i < n; ++i) {
      int j = find_column(out_md.cols, map->target.defs[i].name);
      if (j < 0) {
        Tbl_Messagef("Column \"%s\" not found in %s target table \"%s\".", map->target.defs[i].name,
                     TableType_Name(out->table_type), out_name);
        return TBL_NoSuchColumn;
      }
      if (!ColDef_TypeCompatible(&map->target.defs[i], &out_md.cols.defs[j], 0)) {
        char from[128], to[128];
        ColDef_ToText(&map->target.defs[i], from, sizeof from);
        ColDef_ToText(&out_md.cols.defs[j], to, sizeof to);
        Tbl_Message(nullptr, "Source and target table attribute schemas are not compatible.");
        Tbl_Messagef("  from  %s \n  to    %s", from, to);
        return TBL_TypeMismatch;
      }
      map->to_index[i] = j + 1;
    }
    if (out->table_type == TBL_TYPE_INFO) ColInfo_SetPositions(&map->target);
  } else {
    for (int i = 0; i < n; ++i) map->to_index[i] = i + 1;
  }
  return TBL_Success;
}

}  // namespace

int ConvList_Build(ConvList* map, int operation, Table* in, Table* out, const ColSpecList* list) {
  if (map == nullptr) return TBL_InvalidPointer;
  memset(map, 0, sizeof *map);
  if (in == nullptr || out == nullptr) return TBL_InvalidHandle;
  int rc = build(map, operation, in, out, list);
  if (rc != TBL_Success) ConvList_Free(map);
  return rc;
}

int Table_ConvMap_List(const ConvList* map, int level) {
  if (map == nullptr || map->from_index == nullptr || map->to_index == nullptr) return TBL_InvalidConvMap;
  char rule[76];
  memset(rule, '=', 75);
  rule[75] = '\0';
  int n = map->source.count;
  Tbl_Message(nullptr, "\nList Conversion Map ::");
  Tbl_Message(nullptr, rule);
  Tbl_Messagef("From %s table:", TableType_Name(map->source.table_type));
  if (Table_ColInfo_List(&map->source) != TBL_Success) Tbl_Message(nullptr, "\nError in Table_ColInfo_List().");
  if (level >= 1 && Table_ColDefs_List(n, map->source.defs) != TBL_Success)
    Tbl_Message(nullptr, "\nError in Table_ColDefs_List().");
  if (level >= 2) {
    Tbl_Message(nullptr, "ConvList_ID <-- Fr_colIndex Name         ");
    Tbl_Message(nullptr, "-----------     ----------- -------------");
    int last = 0;
    for (int pass = 0; pass < n; ++pass) {
      int best = -1;
      for (int i = 0; i < n; ++i) {
        if (map->from_index[i] > last && (best < 0 || map->from_index[i] < map->from_index[best])) best = i;
      }
      if (best < 0) break;
      char skipped = map->from_index[best] > last + 1 ? '*' : ' ';
      Tbl_Messagef("%6d%11s%5d%c    %s", best + 1, " ", map->from_index[best], skipped, map->source.defs[best].name);
      last = map->from_index[best];
    }
  }
  Tbl_Message(nullptr, rule);
  Tbl_Messagef("To %s table:", TableType_Name(map->target.table_type));
  if (level >= 1 && Table_ColDefs_List(map->target.count, map->target.defs) != TBL_Success)
    Tbl_Message(nullptr, "\nError in Table_ColDefs_List().");
  if (Table_ColInfo_List(&map->target) != TBL_Success) Tbl_Message(nullptr, "\nError in Table_ColInfo_List().");
  if (level >= 2) {
    Tbl_Message(nullptr, "ConvList_ID --> To_colIndex Name         ");
    Tbl_Message(nullptr, "-----------     ----------- -------------");
    int last = 0;
    for (int pass = 0; pass < n; ++pass) {
      int best = -1;
      for (int i = 0; i < n; ++i) {
        if (map->to_index[i] > last && (best < 0 || map->to_index[i] < map->to_index[best])) best = i;
      }
      if (best < 0) break;
      Tbl_Messagef("%6d%11s%5d%c    %s", best + 1, " ", map->to_index[best], ' ', map->target.defs[best].name);
      last = map->to_index[best];
    }
  }
  Tbl_Message(nullptr, rule);
  return TBL_Success;
}
