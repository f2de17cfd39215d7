// zullist.h -- record debug printers: readable dumps of the records that
// travel on the channel, for the intercept traces and for diagnostics.
//
// Common form: (output stream, record or array, count where the printer takes
// an array, flag where stated, prefix). A null record, or a count below 1,
// prints nothing; a null prefix counts as the empty string. Each field is one
// line: the prefix, a label padded so the values line up, the value.
#ifndef ZUL_ZULLIST_H
#define ZUL_ZULLIST_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Room for the quoted rendering of SE_list_string: 1024 characters, the
// quotation marks, the three dots of a cut text and the NUL.
#define SE_LIST_STRING_SIZE 1032

// The quoted rendering of a text into buf (capacity cap, at least
// SE_LIST_STRING_SIZE for an uncut result): "<null>" for none, the text in
// quotation marks, a text longer than 1024 characters cut to its first 1024
// followed by "..." inside the marks. Returns buf.
char* SE_list_string(const char* text, char* buf, size_t cap);

// A byte buffer: "BufferInfo:\t[shown/total]", then the first max_show bytes
// in hexadecimal in quotation marks (three dots before the closing mark when
// cut), or "<null>" without data.
void SE_list_buffer(FILE* out, const void* data, int64_t len, int64_t max_show, const char* prefix);

struct SE_ENVELOPE;
struct COORDREF;
struct LAYER;
struct RELEASE;
struct COLUMN_DEF;
struct INPUT_DESC;
struct REGISTRATION;
struct VERSION;
struct LOGFILE;
struct METADATA_RECORD;
struct SE_TABLE_LOCK;
struct SE_LAYER_LOCKS;
struct SE_OBJECT_LOCK;
struct RASTER;
struct RASTERBAND;
struct RASTERCOLUMN;
struct RASTERATTR;
struct LAYER_STATS;
struct S_INDEX_STATS;
struct SE_SPATIALREF;
struct STATE;
struct LOCATOR;
struct FEATURE_STRUCT;
struct SQL_CONSTRUCT;
struct INDEX_DEF;
struct RASCONSTRAINT;
struct SPATIAL_FILTER;

// The prefix of a nested record: blanks as wide as prefix (a tab counts 8
// columns) plus extra; returns buf.
char* SE_list_nested_prefix(const char* prefix, int extra, char* buf, size_t cap);

// An envelope; with check set, one whose minimum exceeds its maximum in X or
// Y prints "<EMPTY>".
void SE_list_envelope(FILE* out, const SE_ENVELOPE* e, int32_t check, const char* prefix);
void SE_list_coordref(FILE* out, const COORDREF* c, const char* prefix);
void SE_list_layer(FILE* out, const LAYER* layers, int32_t count, int32_t check, const char* prefix);
void SE_list_release(FILE* out, const RELEASE* r, const char* prefix);
void SE_list_column_defs(FILE* out, const COLUMN_DEF* defs, int16_t count, const char* prefix);
void SE_list_input_desc(FILE* out, const INPUT_DESC* descs, int16_t count, const char* prefix);
void SE_list_registration(FILE* out, const REGISTRATION* regs, int32_t count, const char* prefix);
void SE_list_version(FILE* out, const VERSION* versions, int32_t count, const char* prefix);
void SE_list_logfile(FILE* out, const LOGFILE* logs, int32_t count, const char* prefix);
void SE_list_metadata(FILE* out, const METADATA_RECORD* recs, int32_t count, const char* prefix);
void SE_list_table_locks(FILE* out, const SE_TABLE_LOCK* locks, int32_t count, const char* prefix);
void SE_list_version_locks(FILE* out, const SE_TABLE_LOCK* locks, int32_t count, const char* prefix);
void SE_list_layer_locks(FILE* out, const SE_LAYER_LOCKS* locks, int32_t count, const char* prefix);
void SE_list_object_locks(FILE* out, const SE_OBJECT_LOCK* locks, int32_t count, const char* prefix);
void SE_list_raster(FILE* out, const RASTER* r, const char* prefix);
void SE_list_rasterband(FILE* out, const RASTERBAND* bands, int32_t count, const char* prefix);
void SE_list_rastercolumn(FILE* out, const RASTERCOLUMN* cols, int32_t count, const char* prefix);
void SE_list_rasterattr(FILE* out, const RASTERATTR* a, const char* prefix);
void SE_list_layer_stats(FILE* out, const LAYER_STATS* s, const char* prefix);
void SE_list_si_stats(FILE* out, const S_INDEX_STATS* s, const char* prefix);
void SE_list_spatialref(FILE* out, const SE_SPATIALREF* refs, int32_t count, const char* prefix);

void SE_list_state_list(FILE* out, const STATE* states, int32_t count, const char* prefix);
void SE_list_locator(FILE* out, const LOCATOR* locators, int32_t count, const char* prefix);

// A compressed feature: id, point count, entity, the packed bytes (at most
// 25 shown) and the annotation text when it has one.
void SE_list_feature(FILE* out, const FEATURE_STRUCT* f, const char* prefix);
// A shape: number, entity, points, envelope, then one line per point.
void SE_list_shape(FILE* out, const FEATURE_STRUCT* f, const char* prefix);
void SE_list_sql_construct(FILE* out, const SQL_CONSTRUCT* c, const char* prefix);
void SE_list_index_def(FILE* out, const INDEX_DEF* defs, int16_t count, const char* prefix);
void SE_list_filters(FILE* out, const SPATIAL_FILTER* filters, int32_t count, const char* prefix);
void SE_list_rasconstraint(FILE* out, const RASCONSTRAINT* c, const char* prefix);
// Entity type names ("Unknown Type" for others).
const char* SE_list_entity_name(int32_t entity);

// Names used by the printers: column types ("UNKNOWN" for others) and
// search methods (a number outside 0 to 17 prints as "UNKNOWN").
const char* SE_list_column_type_name(int32_t type);
const char* SE_list_search_method_name(int32_t method);

#endif
