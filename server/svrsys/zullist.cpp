// zullist.cpp -- record debug printers (see zullist.h).
//
// Relies on nothing beyond the C library; the record printers that need the
// wire records join them here.
#include "zullist.h"

#include <string.h>

namespace {
constexpr size_t kMaxShown = 1024;  // longest text shown whole
}

char* SE_list_string(const char* text, char* buf, size_t cap) {
  if (!buf || cap == 0) return buf;
  if (!text) {
    snprintf(buf, cap, "<null>");
    return buf;
  }
  size_t len = strlen(text);
  if (len <= kMaxShown)
    snprintf(buf, cap, "\"%s\"", text);
  else
    snprintf(buf, cap, "\"%.*s...\"", static_cast<int>(kMaxShown), text);
  return buf;
}

void SE_list_buffer(FILE* out, const void* data, int64_t len, int64_t max_show, const char* prefix) {
  if (!out) return;
  if (!prefix) prefix = "";
  if (len < 0) len = 0;
  if (max_show < 0) max_show = 0;
  int64_t shown = data ? (len < max_show ? len : max_show) : 0;
  fprintf(out, "%sBufferInfo:\t[%ld/%ld]\n", prefix, static_cast<long>(shown), static_cast<long>(len));
  if (!data) {
    fprintf(out, "%sBufferInHex:\t<null>\n", prefix);
    return;
  }
  fprintf(out, "%sBufferInHex:\t\"", prefix);
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (int64_t i = 0; i < shown; i++) fprintf(out, "%2.2X", p[i]);
  fprintf(out, "%s\"\n", shown < len ? "..." : "");
}

// ---- record printers ------------------------------------------------------------
//
// Every label is padded so its value starts in the same column of its
// printer; the formats are written out whole so the trace text can be read
// off this file.

#include <time.h>

#include "geomkit.h"
#include "zul_layer.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"

namespace {

const char* pfx(const char* prefix) { return prefix ? prefix : ""; }

// A time value as local time in the "%c" form (at most 64 characters).
const char* date_text(int64_t t, char* buf, size_t cap) {
  time_t tt = static_cast<time_t>(t);
  struct tm lt;
  if (!localtime_r(&tt, &lt) || strftime(buf, cap < 65 ? cap : 65, "%c", &lt) == 0) buf[0] = '\0';
  return buf;
}

// Privilege bits as "SELECT, UPDATE, ..." or "<None>".
const char* privilege_text(int32_t bits, char* buf, size_t cap) {
  static const struct { int32_t bit; const char* name; } kBits[] = {
      {2, "SELECT"}, {4, "UPDATE"}, {8, "INSERT"}, {16, "DELETE"}};
  buf[0] = '\0';
  for (const auto& b : kBits) {
    if (!(bits & b.bit)) continue;
    if (buf[0]) strncat(buf, ", ", cap - strlen(buf) - 1);
    strncat(buf, b.name, cap - strlen(buf) - 1);
  }
  if (!buf[0]) snprintf(buf, cap, "<None>");
  return buf;
}

// Layer entity flags as letters.
const char* entity_letters(int32_t flags, char* buf, size_t cap) {
  static const struct { int32_t bit; char letter; } kBits[] = {
      {1, 'n'}, {2, 'p'}, {4, 's'}, {8, 'l'}, {16, 'a'}, {0x200000, 'A'},
      {0x400000, 'c'}, {0x10000, '3'}, {0x40000, '+'}, {0x80000, 'M'}};
  size_t n = 0;
  for (const auto& b : kBits)
    if ((flags & b.bit) && n + 1 < cap) buf[n++] = b.letter;
  buf[n] = '\0';
  return buf;
}

// Layer storage flags as a list, or "Unknown".
const char* storage_text(int32_t flags, char* buf, size_t cap) {
  static const struct { int32_t bit; const char* name; } kBits[] = {
      {0x8000000, "Spatial"}, {0x1000000, "ZUL_Binary"}, {0x10000000, "ZUL_LOB"},
      {0x800000, "Normalized"}, {0x2000000, "WKB"}, {0x4000000, "SQL"}};
  buf[0] = '\0';
  for (const auto& b : kBits) {
    if (!(flags & b.bit)) continue;
    if (buf[0]) strncat(buf, ", ", cap - strlen(buf) - 1);
    strncat(buf, b.name, cap - strlen(buf) - 1);
  }
  if (!buf[0]) snprintf(buf, cap, "Unknown");
  return buf;
}

}  // namespace

char* SE_list_nested_prefix(const char* prefix, int extra, char* buf, size_t cap) {
  int width = 0;
  for (const char* p = pfx(prefix); *p; p++) width += *p == '\t' ? 8 : 1;
  width += extra;
  if (width < 1 || cap == 0) {
    if (cap) buf[0] = '\0';
    return buf;
  }
  size_t n = static_cast<size_t>(width) < cap - 1 ? static_cast<size_t>(width) : cap - 1;
  memset(buf, ' ', n);
  buf[n] = '\0';
  return buf;
}

const char* SE_list_column_type_name(int32_t type) {
  static const char* const kBasic[] = {nullptr, "SE_SMALLINT", "SE_INTEGER", "SE_FLOAT", "SE_DOUBLE",
                                       "SE_STRING", "SE_BLOB", "SE_DATE", "SE_SHAPE", "SE_RASTER"};
  static const char* const kShapes[] = {"SE_POINT", "SE_CURVE", "SE_LINESTRING", "SE_SURFACE",
                                        "SE_POLYGON", "SE_GEOMETRYCOLLECTION", "SE_MULTISURFACE",
                                        "SE_MULTICURVE", "SE_MULTIPOINT", "SE_MULTILINESTRING",
                                        "SE_MULTIPOLYGON", "SE_GEOMETRY"};
  if (type >= 1 && type <= 9) return kBasic[type];
  if (type >= 20 && type <= 31) return kShapes[type - 20];
  return "UNKNOWN";
}

const char* SE_list_search_method_name(int32_t method) {
  static const char* const kNames[] = {
      "SM_ENVP", "SM_ENVP_BY_GRID", "SM_CP", "SM_LCROSS", "SM_COMMON", "SM_CP_OR_LCROSS",
      "SM_ET_OR_AI or SM_ET_OR_II", "SM_AI or SM_II", "SM_AI_NO_ET or SM_II_NO_ET", "SM_PC", "SM_SC",
      "SM_PC_NO_ET", "SM_SC_NO_ET", "SM_PIP", "", "SM_IDENTICAL", "SM_CBM", "NONE"};
  if (method < 0 || method > 17) return "UNKNOWN";
  return kNames[method];
}

void SE_list_envelope(FILE* out, const SE_ENVELOPE* e, int32_t check, const char* prefix) {
  if (!out || !e) return;
  const char* p = pfx(prefix);
  if (check && (e->minx > e->maxx || e->miny > e->maxy)) {
    fprintf(out, "%s<EMPTY>\n", p);
    return;
  }
  fprintf(out, "%sMinX:%16.5lf, MaxX:%16.5lf\n", p, e->minx, e->maxx);
  fprintf(out, "%sMinY:%16.5lf, MaxY:%16.5lf\n", p, e->miny, e->maxy);
}

void SE_list_coordref(FILE* out, const COORDREF* c, const char* prefix) {
  if (!out || !c) return;
  const char* p = pfx(prefix);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(out, "%sXY False Origin:       %.5lf, %.5lf\n", p, c->falsex, c->falsey);
  fprintf(out, "%sXY System Units:       %.5lf\n", p, c->xyunits);
  fprintf(out, "%sXY Half SysUnit:       %.10lf\n", p, c->xyhalfsu);
  fprintf(out, "%sXY Round:              %.10lf\n", p, c->xycround);
  fprintf(out, "%sZ  Offset:             %.5lf\n", p, c->falsez);
  fprintf(out, "%sZ  Units:              %.5lf\n", p, c->zunits);
  fprintf(out, "%sZ  Half SysUnit:       %.10lf\n", p, c->zhalfsu);
  fprintf(out, "%sZ  Round:              %.10lf\n", p, c->zcround);
  fprintf(out, "%sMeasure Offset:        %.5lf\n", p, c->falsem);
  fprintf(out, "%sMeasure Units:         %.5lf\n", p, c->munits);
  fprintf(out, "%sMeasure Half SysUnit:  %.10lf\n", p, c->mhalfsu);
  fprintf(out, "%sMeasure Round:         %.10lf\n", p, c->mcround);
  fprintf(out, "%sCoordinate System ID:  %ld\n", p, static_cast<long>(c->srid));
  fprintf(out, "%sCoordinate System:     %s\n", p, SE_list_string(c->srtext, shown, sizeof shown));
  fprintf(out, "%sSpatial Reference ID:  %ld\n", p, static_cast<long>(c->srid));
}

void SE_list_layer(FILE* out, const LAYER* layers, int32_t count, int32_t check, const char* prefix) {
  if (!out || !layers || count < 1) return;
  const char* p = pfx(prefix);
  char nested[256], buf[256], shown[SE_LIST_STRING_SIZE];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  for (int32_t i = 0; i < count; i++) {
    const LAYER& l = layers[i];
    fprintf(out, "%sLayer ID:              %ld\n", p, static_cast<long>(l.id));
    fprintf(out, "%sDescription:           %s\n", p, SE_list_string(l.description, shown, sizeof shown));
    fprintf(out, "%sDB name:               %s\n", p, l.database);
    fprintf(out, "%sTable Owner:           %s\n", p, l.owner);
    fprintf(out, "%sTable Name:            %s\n", p, l.table);
    fprintf(out, "%sSpatial Column Name:   %s\n", p, l.spatial_column);
    fprintf(out, "%sMinimum Shape ID:      %lu\n", p, static_cast<unsigned long>(l.min_shape_id));
    fprintf(out, "%sOptimal Array Size:    %ld\n", p, static_cast<long>(l.array_size));
    char g[3][40];
    for (int k = 0; k < 3; k++) {
      snprintf(g[k], sizeof g[k], "%*.*g", 10, 15, l.grid_size[k]);
    }
    auto trim = [](const char* s) { while (*s == ' ') s++; return s; };
    fprintf(out, "%sGrid Size 0, 1, 2:     %s, %s, %s\n", p, trim(g[0]), trim(g[1]), trim(g[2]));
    fprintf(out, "%sEntity Type:           %s\n", p, entity_letters(l.entity_flags, buf, sizeof buf));
    fprintf(out, "%sStorage Type:          %s\n", p, storage_text(l.entity_flags, buf, sizeof buf));
    fprintf(out, "%sCreation Date:         %s\n", p, date_text(l.creation_date, buf, sizeof buf));
    fprintf(out, "%sI/O Mode:              %s\n", p, (l.entity_flags & SE_LAYER_LOAD_ONLY) ? "LOAD-ONLY" : "NORMAL");
    fprintf(out, "%sLayer Config. Keyword: %s\n", p, l.config_keyword);
    fprintf(out, "%sUser Privileges:       %s\n", p, privilege_text(l.privileges, buf, sizeof buf));
    if (l.stats_date) fprintf(out, "%sStats Date:            %s\n", p, date_text(l.stats_date, buf, sizeof buf));
    fprintf(out, "%sLayer Envelope:\n", p);
    SE_list_envelope(out, &l.envelope, check, nested);
    fprintf(out, "%sCoordRef:\n", p);
    SE_list_coordref(out, l.coordref, nested);
  }
}

void SE_list_release(FILE* out, const RELEASE* r, const char* prefix) {
  if (!out || !r) return;
  const char* p = pfx(prefix);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(out, "%sRelease_Ver:  %d.%d.%d\t%d\n", p, r->major, r->minor, r->bug, r->release);
  fprintf(out, "%sDescription:  %s\n", p, SE_list_string(r->description, shown, sizeof shown));
}

void SE_list_column_defs(FILE* out, const COLUMN_DEF* defs, int16_t count, const char* prefix) {
  if (!out || !defs || count < 1) return;
  const char* p = pfx(prefix);
  const char* dashes = "------------------------------------------------------------------------";
  fprintf(out, "%sName                                 Type    Width nDec  NULL?   RowID\n", p);
  fprintf(out, "%s%s\n", p, dashes);
  for (int16_t i = 0; i < count; i++) {
    const COLUMN_DEF& c = defs[i];
    const char* type = SE_list_column_type_name(c.type);
    if (strcmp(type, "UNKNOWN") == 0) type = "";
    const char* rowid = c.rowid_kind == 1 ? "ZUL " : c.rowid_kind == 2 ? "USER"
                      : (c.rowid_kind == 0 || c.rowid_kind == 3) ? "    " : " ?  ";
    fprintf(out, "%s%-32s %-11s%6ld%4d  %8s  %s\n", p, c.name, type, static_cast<long>(c.size), c.decimals,
            c.nullable ? "NULL" : "NOT NULL", rowid);
  }
  fprintf(out, "%s%s\n", p, dashes);
}

void SE_list_input_desc(FILE* out, const INPUT_DESC* descs, int16_t count, const char* prefix) {
  if (!out || !descs || count < 1) return;
  const char* p = pfx(prefix);
  const char* dashes = "--------------------";
  fprintf(out, "%s Type        Width\n", p);
  fprintf(out, "%s%s\n", p, dashes);
  for (int16_t i = 0; i < count; i++)
    fprintf(out, "%s %-11s%6ld  \n", p, SE_list_column_type_name(descs[i].value1), static_cast<long>(descs[i].value2));
  fprintf(out, "%s%s\n", p, dashes);
}

void SE_list_registration(FILE* out, const REGISTRATION* regs, int32_t count, const char* prefix) {
  if (!out || !regs || count < 1) return;
  const char* p = pfx(prefix);
  char buf[256];
  for (int32_t i = 0; i < count; i++) {
    const REGISTRATION& r = regs[i];
    fprintf(out, "%sDataBaseName:      %s\n", p, r.database);
    fprintf(out, "%sOwner:             %s\n", p, r.owner);
    fprintf(out, "%sTableName:         %s\n", p, r.table);
    fprintf(out, "%sRegistration ID:   %ld\n", p, static_cast<long>(r.id));
    fprintf(out, "%sRowIdColumn:       %s\n", p, r.rowid_column);
    if (r.flags & SE_REG_HAS_ROWID) {
      fprintf(out, "%sRowIdType:         %s\n", p, (r.flags & SE_REG_ROWID_BY_SERVER) ? "ZUL Maintained" : "User Maintained");
      fprintf(out, "%sRow Lock:          %s\n", p, (r.flags & SE_REG_ROW_LOCKING) ? "Enable" : "Not Enable");
      fprintf(out, "%sMinimum_ID:        %lu\n", p, static_cast<unsigned long>(r.min_id));
    }
    bool imv = (r.flags & SE_REG_MULTIVERSION) && r.mv_view[0];
    const char* dep = (r.flags & SE_REG_LAYER_DEPENDS) ? "Layer"
                    : (r.flags & SE_REG_MULTIVERSION) ? "Multiversion Table" : "None";
    fprintf(out, "%sDependent_Obj:     %s%s\n", p, dep, imv ? ", IMV View" : "");
    if (imv) fprintf(out, "%sIMVViewName:       %s\n", p, r.mv_view);
    fprintf(out, "%sRegistrationDate:  %s\n", p, date_text(r.reg_date, buf, sizeof buf));
    fprintf(out, "%sPrivileges:        %s\n", p, privilege_text(r.privileges, buf, sizeof buf));
    fprintf(out, "%sConfigKeyword:     %s\n", p, r.config_keyword);
  }
}

void SE_list_version(FILE* out, const VERSION* versions, int32_t count, const char* prefix) {
  if (!out || !versions || count < 1) return;
  const char* p = pfx(prefix);
  char buf[128], shown[SE_LIST_STRING_SIZE];
  for (int32_t i = 0; i < count; i++) {
    const VERSION& v = versions[i];
    fprintf(out, "%sName:               %s\n", p, v.name);
    fprintf(out, "%sOwner:              %s\n", p, v.owner);
    fprintf(out, "%sVersion ID:         %ld\n", p, static_cast<long>(v.id));
    fprintf(out, "%sStatus:             %s\n", p, (v.status & 1) ? "Public" : (v.status & 2) ? "Protected" : "Private");
    fprintf(out, "%sState ID:           %ld\n", p, static_cast<long>(v.state_id));
    fprintf(out, "%sDescription:        %s\n", p, SE_list_string(v.description, shown, sizeof shown));
    fprintf(out, "%sParent Name:        %s\n", p, v.parent_name);
    fprintf(out, "%sParent Owner:       %s\n", p, v.parent_owner);
    fprintf(out, "%sParent Version ID:  %ld\n", p, static_cast<long>(v.parent_id));
    fprintf(out, "%sCreation Time:      %s\n", p, date_text(v.creation_time, buf, sizeof buf));
  }
}

void SE_list_logfile(FILE* out, const LOGFILE* logs, int32_t count, const char* prefix) {
  if (!out || !logs || count < 1) return;
  const char* p = pfx(prefix);
  for (int32_t i = 0; i < count; i++) {
    const LOGFILE& l = logs[i];
    fprintf(out, "%sLogfile name:    %s\n", p, l.name);
    fprintf(out, "%sLogfile ID:      %ld\n", p, static_cast<long>(l.id));
    fprintf(out, "%sTableOrLayer:    %s\n", p, l.column[0] ? "LAYER" : "TABLE");
    fprintf(out, "%sTable Name:      %s\n", p, l.target);
    fprintf(out, "%sSpatial Column:  %s\n", p, l.column);
    fprintf(out, "%sPersistence:     %s\n", p, (l.flags & SE_LOG_IS_TEMPORARY) ? "TEMPORARY" : "PERSISTENT");
    fprintf(out, "%sSession ID:      %lu\n", p, static_cast<unsigned long>(l.session_tag));
  }
}

void SE_list_metadata(FILE* out, const METADATA_RECORD* recs, int32_t count, const char* prefix) {
  if (!out || !recs || count < 1) return;
  const char* p = pfx(prefix);
  char buf[128], shown[SE_LIST_STRING_SIZE];
  for (int32_t i = 0; i < count; i++) {
    const METADATA_RECORD& r = recs[i];
    fprintf(out, "%sRecord ID:      %ld\n", p, static_cast<long>(r.id));
    fprintf(out, "%sObjectName:     %s\n", p, r.object_name);
    fprintf(out, "%sObjectOwner:    %s\n", p, r.object_owner);
    fprintf(out, "%sObjectType:     %ld\n", p, static_cast<long>(r.object_type));
    fprintf(out, "%sClassName:      %s\n", p, r.class_name);
    fprintf(out, "%sProperty:       %s\n", p, r.property);
    fprintf(out, "%sValue:          %s\n", p, SE_list_string(r.value, shown, sizeof shown));
    fprintf(out, "%sDescription:    %s\n", p, SE_list_string(r.description, shown, sizeof shown));
    fprintf(out, "%sDate modified:  %s\n", p, date_text(r.date_modified, buf, sizeof buf));
  }
}

void SE_list_table_locks(FILE* out, const SE_TABLE_LOCK* locks, int32_t count, const char* prefix) {
  if (!out || !locks || count < 1) return;
  for (int32_t i = 0; i < count; i++) {
    fprintf(out, "%sUser Name:  %s\n", pfx(prefix), locks[i].user);
    fprintf(out, "%sLock Type:  %ld\n", pfx(prefix), static_cast<long>(locks[i].lock_type));
  }
}

void SE_list_version_locks(FILE* out, const SE_TABLE_LOCK* locks, int32_t count, const char* prefix) {
  if (!out || !locks || count < 1) return;
  for (int32_t i = 0; i < count; i++) {
    fprintf(out, "%sUser Name:  %s\n", pfx(prefix), locks[i].user);
    fprintf(out, "%sLock Mode:  %ld\n", pfx(prefix), static_cast<long>(locks[i].lock_type));
  }
}

void SE_list_layer_locks(FILE* out, const SE_LAYER_LOCKS* locks, int32_t count, const char* prefix) {
  if (!out || !locks || count < 1) return;
  char nested[256];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  for (int32_t i = 0; i < count; i++) {
    fprintf(out, "%sUser Name:      %s\n", pfx(prefix), locks[i].user);
    fprintf(out, "%sLock Type:      %ld\n", pfx(prefix), static_cast<long>(locks[i].lock_type));
    fprintf(out, "%sLock Envelope:\n", pfx(prefix));
    SE_list_envelope(out, &locks[i].area, 0, nested);
  }
}

void SE_list_object_locks(FILE* out, const SE_OBJECT_LOCK* locks, int32_t count, const char* prefix) {
  if (!out || !locks || count < 1) return;
  const char* p = pfx(prefix);
  for (int32_t i = 0; i < count; i++) {
    const SE_OBJECT_LOCK& l = locks[i];
    const char* app = l.application_id == 1 ? "User" : l.application_id == 999 ? "Mardel Internal"
                    : l.application_id == 1001 ? "Nexbase" : "Other";
    fprintf(out, "%sServer pid:   %ld\n", p, static_cast<long>(l.pid));
    fprintf(out, "%sOwner:        %s\n", p, l.owner);
    fprintf(out, "%sObject Id:    %ld\n", p, static_cast<long>(l.object_id));
    fprintf(out, "%sObject Type:  %ld\n", p, static_cast<long>(l.object_type));
    fprintf(out, "%sApplication:  %s (%ld)\n", p, app, static_cast<long>(l.application_id));
    fprintf(out, "%sLock Type:    %d\n", p, l.lock_type);
  }
}

void SE_list_raster(FILE* out, const RASTER* r, const char* prefix) {
  if (!out || !r) return;
  char shown[SE_LIST_STRING_SIZE];
  fprintf(out, "%sRaster ID:         %ld\n", pfx(prefix), static_cast<long>(r->id));
  fprintf(out, "%sRasterColumn ID:   %ld\n", pfx(prefix), static_cast<long>(r->column_id));
  fprintf(out, "%sDescription:       %s\n", pfx(prefix), SE_list_string(r->description, shown, sizeof shown));
}

namespace {
const char* pixel_type_name(int32_t t) {
  switch (t) {
    case 8: return "1BIT"; case 32: return "4BIT"; case 64: return "8BIT_U"; case 65: return "8BIT_S";
    case 128: return "16BIT_U"; case 129: return "16BIT_S"; case 256: return "32BIT_U"; case 257: return "32BIT_S";
    case 258: return "32BIT_REAL"; case 512: return "64BIT"; case 514: return "64BIT_REAL"; default: return "Unknown";
  }
}
const char* compression_name(int32_t c) { return c == 0 ? "None" : c == 1 ? "LZ77" : c == 2 ? "JPEG" : "Unknown"; }
const char* interpolation_name(int32_t i) {
  static const char* const kNames[] = {"NONE", "NEAREST", "BILINEAR", "BICUBIC"};
  return i >= 0 && i <= 3 ? kNames[i] : "UNKNOWN";
}
}  // namespace

void SE_list_rasterband(FILE* out, const RASTERBAND* bands, int32_t count, const char* prefix) {
  if (!out || !bands || count < 1) return;
  const char* p = pfx(prefix);
  char nested[256], buf[128];
  SE_list_nested_prefix(prefix, 3, nested, sizeof nested);
  for (int32_t i = 0; i < count; i++) {
    const RASTERBAND& b = bands[i];
    fprintf(out, "%sRasterBand ID:     %ld\n", p, static_cast<long>(b.id));
    fprintf(out, "%sSequenceNumber:    %ld\n", p, static_cast<long>(b.sequence));
    fprintf(out, "%sRaster ID:         %ld\n", p, static_cast<long>(b.raster_id));
    fprintf(out, "%sRasterColumn ID:   %ld\n", p, static_cast<long>(b.column_id));
    fprintf(out, "%sUpdate Mask:       %ld\n", p, static_cast<long>(b.update_mask));
    fprintf(out, "%sBandWidth:         %ld\n", p, static_cast<long>(b.width));
    fprintf(out, "%sBandHeight:        %ld\n", p, static_cast<long>(b.height));
    fprintf(out, "%sBlockWidth:        %ld\n", p, static_cast<long>(b.block_width));
    fprintf(out, "%sBlockHeight:       %ld\n", p, static_cast<long>(b.block_height));
    fprintf(out, "%sBlockOriginX:      %.5lf\n", p, b.block_origin_x);
    fprintf(out, "%sBlockOriginY:      %.5lf\n", p, b.block_origin_y);
    fprintf(out, "%sCreation Date:     %s\n", p, date_text(b.creation_date, buf, sizeof buf));
    fprintf(out, "%sLast Modified:     %s\n", p, date_text(b.last_modified, buf, sizeof buf));
    fprintf(out, "%sEnvelope:\n", p);
    SE_list_envelope(out, &b.envelope, 0, nested);
    fprintf(out, "%sBand Flags (Hex):  %8.8Xx\n", p, static_cast<unsigned>(b.band_flags));
    fprintf(out, "%s Max Level:        %d\n", p, static_cast<int>(static_cast<uint32_t>(b.band_flags) >> 16));
    fprintf(out, "%s Skip Level One:   %s\n", p, (b.band_flags & 0x4000) ? "Yes" : "No");
    fprintf(out, "%s Interpolation:    %s\n", p, interpolation_name(b.band_flags & 7));
    fprintf(out, "%s Pixel Type:       %s\n", p, pixel_type_name(static_cast<int32_t>(static_cast<uint32_t>(b.band_types) >> 16)));
    fprintf(out, "%s Compression Type: %s\n", p, compression_name((b.band_types >> 10) & 0x3F));
  }
}

void SE_list_rastercolumn(FILE* out, const RASTERCOLUMN* cols, int32_t count, const char* prefix) {
  if (!out || !cols || count < 1) return;
  const char* p = pfx(prefix);
  char buf[128];
  for (int32_t i = 0; i < count; i++) {
    const RASTERCOLUMN& c = cols[i];
    fprintf(out, "%sDataBaseName:      %s\n", p, c.database);
    fprintf(out, "%sOwner:             %s\n", p, c.owner);
    fprintf(out, "%sTableName:         %s\n", p, c.table);
    fprintf(out, "%sRasterColumn ID:   %ld\n", p, static_cast<long>(c.id));
    fprintf(out, "%sRasterColumnName:  %s\n", p, c.column);
    fprintf(out, "%sCreation Date:     %s\n", p, date_text(c.creation_date, buf, sizeof buf));
    fprintf(out, "%sPrivileges:        %s\n", p, privilege_text(c.privileges, buf, sizeof buf));
    fprintf(out, "%sConfigKeyword:     %s\n", p, c.config_keyword);
  }
}

void SE_list_rasterattr(FILE* out, const RASTERATTR* a, const char* prefix) {
  if (!out || !a) return;
  const char* p = pfx(prefix);
  char nested[256], shown[SE_LIST_STRING_SIZE];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  fprintf(out, "%sRaster Attribute Record:\n", p);
  fprintf(out, "%sRaster ID:         %ld\n", p, static_cast<long>(a->raster_id));
  fprintf(out, "%sRaster Column ID:  %ld\n", p, static_cast<long>(a->column_id));
  fprintf(out, "%sDescription:       %s\n", p,
          SE_list_string(a->raster ? a->raster->description : nullptr, shown, sizeof shown));
  fprintf(out, "%sNum Bands:         %ld\n", p, static_cast<long>(a->num_bands));
  fprintf(out, "%sBandWidth:         %ld\n", p, static_cast<long>(a->width));
  fprintf(out, "%sBandHeight:        %ld\n", p, static_cast<long>(a->height));
  fprintf(out, "%stileOriginX:       %.5lf\n", p, a->tile_origin_x);
  fprintf(out, "%stileOriginY:       %.5lf\n", p, a->tile_origin_y);
  fprintf(out, "%spixelType:         %s\n", p, pixel_type_name(a->pixel_type));
  fprintf(out, "%sCompression:       %s\n", p, compression_name(a->compression));
  fprintf(out, "%sInterpolation:     %s\n", p, interpolation_name(a->interpolation));
  fprintf(out, "%sMax Level:         %ld\n", p, static_cast<long>(a->max_level));
  fprintf(out, "%sSkipLevelOne:      %s\n", p, a->skip_level_one ? "Yes" : "No");
  fprintf(out, "%sRaster Envelope:\n", p);
  SE_list_envelope(out, &a->envelope, 0, nested);
}

void SE_list_layer_stats(FILE* out, const LAYER_STATS* s, const char* prefix) {
  if (!out || !s) return;
  const char* p = pfx(prefix);
  static const char* const kCounts[9] = {"# NILs:", "# Points:", "# MultiPoints:", "# Lines:", "# MultiLines:",
                                         "# SimpleLines:", "# MultiSimpleLines:", "# Areas:", "# MultiAreas:"};
  char nested[256], buf[128];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  fprintf(out, "%sLayer ID:             %ld\n", p, static_cast<long>(s->layer_id));
  for (int i = 0; i < 9; i++) fprintf(out, "%s%-22s%ld\n", p, kCounts[i], static_cast<long>(s->counts[i]));
  fprintf(out, "%s# Total Features:     %ld\n", p, static_cast<long>(s->total));
  fprintf(out, "%sLast Modified:        %s\n", p, date_text(s->last_modified, buf, sizeof buf));
  fprintf(out, "%sMin FID:              %ld\n", p, static_cast<long>(s->min_fid));
  fprintf(out, "%sMax FID:              %ld\n", p, static_cast<long>(s->max_fid));
  fprintf(out, "%sMin Points:           %ld\n", p, static_cast<long>(s->min_points));
  fprintf(out, "%sMax Points:           %ld\n", p, static_cast<long>(s->max_points));
  fprintf(out, "%sMin Area:             %.5lf\n", p, s->min_area);
  fprintf(out, "%sMax Area:             %.5lf\n", p, s->max_area);
  fprintf(out, "%sMin Length:           %.5lf\n", p, s->min_length);
  fprintf(out, "%sMax Length:           %.5lf\n", p, s->max_length);
  fprintf(out, "%sAvg. Points:          %.5lf\n", p, s->avg_points);
  fprintf(out, "%sAvg. Area:            %.5lf\n", p, s->avg_area);
  fprintf(out, "%sAvg. Length:          %.5lf\n", p, s->avg_length);
  fprintf(out, "%sLayer Envelope:\n", p);
  SE_list_envelope(out, &s->envelope, 0, nested);
}

void SE_list_si_stats(FILE* out, const S_INDEX_STATS* s, const char* prefix) {
  if (!out || !s) return;
  const char* p = pfx(prefix);
  fprintf(out, "%sTable:         %s\n", p, s->table);
  fprintf(out, "%sColumn:        %s\n", p, s->column);
  fprintf(out, "%snSpIdxGrids:   %ld\n", p, static_cast<long>(s->levels));
  int levels = s->levels < 0 ? 0 : s->levels > 3 ? 3 : s->levels;
  for (int i = 0; i < levels; i++) {
    const SE_GRID_STATS& g = s->grid[i];
    fprintf(out, "%sLevel:         %d\n", p, i);
    fprintf(out, "%sIndexRecords:  %ld\n", p, static_cast<long>(g.index_records));
    fprintf(out, "%sFeatures:      %ld\n", p, static_cast<long>(g.features));
    fprintf(out, "%sMax FPG:       %ld\n", p, static_cast<long>(g.max_per_cell));
    fprintf(out, "%sGrid Cells:    %ld\n", p, static_cast<long>(g.cells));
    fprintf(out, "%sFeasInside:    %ld\n", p, static_cast<long>(g.features_inside));
    fprintf(out, "%sGroupCounts:   %ld %ld %ld %ld %ld %ld %ld %ld\n", p, static_cast<long>(g.groups[0]),
            static_cast<long>(g.groups[1]), static_cast<long>(g.groups[2]), static_cast<long>(g.groups[3]),
            static_cast<long>(g.groups[4]), static_cast<long>(g.groups[5]), static_cast<long>(g.groups[6]),
            static_cast<long>(g.groups[7]));
  }
}

void SE_list_spatialref(FILE* out, const SE_SPATIALREF* refs, int32_t count, const char* prefix) {
  if (!out || !refs || count < 1) return;
  const char* p = pfx(prefix);
  char nested[256], shown[SE_LIST_STRING_SIZE];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  for (int32_t i = 0; i < count; i++) {
    fprintf(out, "%sSpatial Ref ID:  %ld\n", p, static_cast<long>(refs[i].srid));
    fprintf(out, "%sDescription:     %s\n", p, SE_list_string(refs[i].description, shown, sizeof shown));
    fprintf(out, "%sAuthority Name:  %s\n", p, refs[i].auth_name);
    fprintf(out, "%sAuthority SRID:  %ld\n", p, static_cast<long>(refs[i].auth_srid));
    fprintf(out, "%sCoordRef:\n", p);
    SE_list_coordref(out, refs[i].coordref, nested);
  }
}

#include "comp_ftr.h"

void SE_list_state_list(FILE* out, const STATE* states, int32_t count, const char* prefix) {
  if (!out || !states || count < 1) return;
  const char* p = pfx(prefix);
  char buf[128];
  for (int32_t i = 0; i < count; i++) {
    const STATE& s = states[i];
    fprintf(out, "%sState ID:       %ld\n", p, static_cast<long>(s.id));
    fprintf(out, "%sOwner:          %s\n", p, s.owner);
    fprintf(out, "%sStatus:         %s\n", p, s.closing_time ? "Closed" : "Open");
    fprintf(out, "%sCreationTime:   %s\n", p, date_text(s.creation_time, buf, sizeof buf));
    fprintf(out, "%sClosingTime:    %s\n", p, s.closing_time ? date_text(s.closing_time, buf, sizeof buf) : "");
    fprintf(out, "%sLineage Name:   %ld\n", p, static_cast<long>(s.lineage_name));
    fprintf(out, "%sLineageLength:  %ld\n", p, static_cast<long>(s.lineage_length));
    if (!s.lineage) {
      fprintf(out, "%sLineage:        <null>\n", p);
      continue;
    }
    // The packed lineage: a varLONG of the byte count after it, then the ids.
    int32_t rest = 0;
    const unsigned char* at = SES_decode_varLONG_bounded(s.lineage, s.lineage + 5, &rest);
    fprintf(out, "%sLineage:        ", p);
    const unsigned char* end = at && rest > 0 ? at + rest : at;
    for (int32_t k = 0; at && at < end && k < s.lineage_length; k++) {
      int32_t id;
      at = SES_decode_varLONG_bounded(at, end, &id);
      if (at) fprintf(out, k ? ", %ld" : "%ld", static_cast<long>(id));
    }
    fprintf(out, "\n");
  }
}

void SE_list_locator(FILE* out, const LOCATOR* locators, int32_t count, const char* prefix) {
  if (!out || !locators || count < 1) return;
  const char* p = pfx(prefix);
  static const char* const kTypes[] = {"SE_LOCATOR_TEMPLATE", "SE_LOCATOR_VALIDATED", "SE_LOCATOR_DEFINED"};
  char shown[SE_LIST_STRING_SIZE];
  for (int32_t i = 0; i < count; i++) {
    const LOCATOR& l = locators[i];
    fprintf(out, "%sLocator ID:      %ld\n", p, static_cast<long>(l.id));
    fprintf(out, "%sName:            %s\n", p, l.name);
    fprintf(out, "%sOwner:           %s\n", p, l.owner);
    fprintf(out, "%sCategory         %s\n", p, l.category);
    fprintf(out, "%stype:            %s\n", p, l.type >= 0 && l.type <= 2 ? kTypes[l.type] : "");
    fprintf(out, "%sDescription:     %s\n", p, SE_list_string(l.description, shown, sizeof shown));
    fprintf(out, "%snum_properties:  %ld\n", p, static_cast<long>(l.property_count));
    for (int32_t k = 0; l.property_names && l.property_values && k < l.property_count; k++) {
      fprintf(out, "%sProperties:      %s\n", p, l.property_names[k]);
      fprintf(out, "%sValues:          %s\n", p, l.property_values[k]);
    }
  }
}

#include "anno.h"

const char* SE_list_entity_name(int32_t entity) {
  switch (entity) {
    case 0: return "Nil";
    case 1: return "Point";
    case 2: return "Line";
    case 4: return "Simple Line";
    case 8: return "Area";
    case 257: return "Multi Point";
    case 258: return "MultiLine";
    case 260: return "MultiSimpleLine";
    case 264: return "Multi Area";
    default: return "Unknown Type";
  }
}

void SE_list_feature(FILE* out, const FEATURE_STRUCT* f, const char* prefix) {
  if (!out || !f) return;
  const char* p = pfx(prefix);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(out, "%sFeature ID:  %lu\n", p, static_cast<unsigned long>(f->fid));
  fprintf(out, "%sNumOfPts:    %ld\n", p, static_cast<long>(f->numofpts));
  fprintf(out, "%sEntity:      %s\n", p, SE_list_entity_name(f->entity));
  fprintf(out, "%sBuffer:\n", p);
  SE_list_buffer(out, f->buffer, SES_get_compressed_buffer_size(f), 25, p);
  if (f->anno && f->buffer && SES_comp_feature_has_anno(f))
    fprintf(out, "%sAnno Text:   %s\n", p, SE_list_string(f->anno->text, shown, sizeof shown));
}

void SE_list_shape(FILE* out, const FEATURE_STRUCT* f, const char* prefix) {
  if (!out || !f) return;
  const char* p = pfx(prefix);
  char nested[256];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  fprintf(out, "%sFeature Number:       %lu\n", p, static_cast<unsigned long>(f->fid));
  fprintf(out, "%sFeature Entity Type:  %s\n", p, SE_list_entity_name(f->entity & 0x1FF));
  fprintf(out, "%sNumber of Points:     %ld\n", p, static_cast<long>(f->numofpts));
  fprintf(out, "%sFeature Envelope:\n", p);
  fprintf(out, "%sMinX:%16ld, MaxX:%16ld\n", nested, static_cast<long>(f->envelope.minx), static_cast<long>(f->envelope.maxx));
  fprintf(out, "%sMinY:%16ld, MaxY:%16ld\n", nested, static_cast<long>(f->envelope.miny), static_cast<long>(f->envelope.maxy));
  if ((f->entity & 0xFF) == 8)
    fprintf(out, "%sPolygon Area:         %.5lf\n", p, f->area);
  else
    fprintf(out, "%sLine Length:          %.5lf\n", p, f->length);
  if (!f->points || f->numofpts <= 0) {
    fprintf(out, "%sCannot get the number of points for the feature\n", p);
    return;
  }
  fprintf(out, "%s   Point             X             Y%s%s\n", p, f->z ? "             Z" : "", f->m ? "             M" : "");
  for (int32_t i = 0; i < f->numofpts; i++) {
    fprintf(out, "%s%8ld %13ld %13ld", p, static_cast<long>(i + 1), static_cast<long>(f->points[i].x),
            static_cast<long>(f->points[i].y));
    if (f->z) fprintf(out, " %13ld", static_cast<long>(f->z[i]));
    if (f->m) fprintf(out, " %13ld", static_cast<long>(f->m[i]));
    fprintf(out, "\n");
  }
}

void SE_list_sql_construct(FILE* out, const SQL_CONSTRUCT* c, const char* prefix) {
  if (!out || !c) return;
  const char* p = pfx(prefix);
  char shown[SE_LIST_STRING_SIZE];
  fprintf(out, "%sSQL_Construct: [%d]\n", p, c->num_tables);
  fprintf(out, "%sTables:        ", p);
  for (int32_t i = 0; c->tables && i < c->num_tables; i++) fprintf(out, i ? ", %s" : "%s", c->tables[i]);
  fprintf(out, "\n%sWhereClause:   %s\n", p, SE_list_string(c->where, shown, sizeof shown));
}

void SE_list_index_def(FILE* out, const INDEX_DEF* defs, int16_t count, const char* prefix) {
  if (!out || !defs || count < 1) return;
  const char* p = pfx(prefix);
  for (int16_t i = 0; i < count; i++) {
    const INDEX_DEF& d = defs[i];
    fprintf(out, "%sINDEX :%s\n", p, d.name);
    fprintf(out, "%sColumns :", p);
    for (int16_t k = 0; d.columns && k < d.column_count; k++) fprintf(out, k ? ", %s" : " %s", d.columns[k]);
    fprintf(out, "\n%sUnique:    %s\n", p, d.unique ? "TRUE" : "FALSE");
    fprintf(out, "%sAscending:", p);
    for (int16_t k = 0; d.ascending && k < d.column_count; k++) fprintf(out, " %s", d.ascending[k] ? "TRUE" : "FALSE");
    fprintf(out, "\n");
  }
}

void SE_list_rasconstraint(FILE* out, const RASCONSTRAINT* c, const char* prefix) {
  if (!out || !c) return;
  const char* p = pfx(prefix);
  fprintf(out, "%sLevel of Detail:  %ld\n", p, static_cast<long>(c->level));
  fprintf(out, "%sNumber of Bands:  %ld\n", p, static_cast<long>(c->num_bands));
  for (int32_t i = 0; c->bands && i < c->num_bands; i++)
    fprintf(out, "%sBand Number:      %ld\n", p, static_cast<long>(c->bands[i]));
  fprintf(out, "%sMin Column:       %ld\n", p, static_cast<long>(c->min_column));
  fprintf(out, "%sMin Row:          %ld\n", p, static_cast<long>(c->min_row));
  fprintf(out, "%sMax Column:       %ld\n", p, static_cast<long>(c->max_column));
  fprintf(out, "%sMax Row:          %ld\n", p, static_cast<long>(c->max_row));
}

void SE_list_filters(FILE* out, const SPATIAL_FILTER* filters, int32_t count, const char* prefix) {
  if (!out || !filters || count < 1) return;
  const char* p = pfx(prefix);
  char nested[256], shown[SE_LIST_STRING_SIZE];
  SE_list_nested_prefix(prefix, 2, nested, sizeof nested);
  for (int32_t i = 0; i < count; i++) {
    const SPATIAL_FILTER& f = filters[i];
    fprintf(out, "%sTable:        %s\n", p, f.table);
    fprintf(out, "%sColumn:       %s\n", p, f.column);
    fprintf(out, "%sSearchMethod: %s\n", p, SE_list_search_method_name(f.method));
    fprintf(out, "%sTruth:        Must%sPass\n", p, f.truth ? " " : "NOT");
    if (f.filter_type == SE_SHAPE_FILTER) {
      fprintf(out, "%sFilterType:   SE_SHAPE_FILTER\n", p);
      fprintf(out, "%sFilterShape:\n", p);
      SE_list_shape(out, f.filter.shape, nested);
    } else {
      fprintf(out, "%sFilterType:   SE_ID_FILTER\n", p);
      fprintf(out, "%sFilterID:     %ld\n", p, static_cast<long>(f.filter.id));
      fprintf(out, "%sFilterTable:  %s\n", p, f.id_table);
    }
    if (f.method == SM_CBM) fprintf(out, "%sCBM Object:   %s\n", p, SE_list_string(f.cbm, shown, sizeof shown));
  }
}
