// sock_io.h -- the socket transport: channel kind 0, native images on TCP.
//
// Every value travels as its native little-endian image through one output
// buffer and one input buffer; a read first sends what was written before it.
// The typed operations here are the ones the channel routes to; every one is
// exported so the client side frames its items the same way.
//
// Status: 0 success; -1 when fewer bytes than required were moved (the
// transport is then out of step); SE_INVALID_PARAM when an item was longer
// than the caller's capacity or its limit and was read and thrown away (in
// step); SE_OUT_OF_MEMORY when memory for a received part cannot be had.
#ifndef ZUL_SOCK_IO_H
#define ZUL_SOCK_IO_H

#include <stdint.h>

#include "zul_channel.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"

struct SO_OBJECT {
  int32_t sock;          // connected socket                  
  char* in_start;        // input buffer (first part of the block)
  int32_t in_size;       // bytes
  char* in_cursor;       // first unread byte
  char* in_end;          // end of the received bytes
  char* out_start;       // output buffer (right after the input buffer)
  int32_t out_size;      // bytes
  char* out_cursor;      // end of the pending bytes
  char* out_end;         // moves with out_cursor
  int32_t out_of_step;   // a short transfer lost the item boundary
};

// out_size and in_size 0 (either) make the transport unbuffered.
SO_OBJECT* SO_create(const int* sock, int32_t out_size, int32_t in_size);
void SO_destroy(SO_OBJECT* so);
int32_t SO_flush(SO_OBJECT* so);
int32_t SO_data_waiting(SO_OBJECT* so);

// Raw transfer of n bytes through the buffers: n, or -1.
int32_t SO_write_bytes(SO_OBJECT* so, const void* data, int32_t n);
int32_t SO_read_bytes(SO_OBJECT* so, void* dest, int32_t n);

int32_t SO_write_long(SO_OBJECT* so, int32_t value);
int32_t SO_read_long(SO_OBJECT* so, int32_t* value);
int32_t SO_write_ulong(SO_OBJECT* so, uint32_t value);
int32_t SO_read_ulong(SO_OBJECT* so, uint32_t* value);
int32_t SO_write_float(SO_OBJECT* so, float value);
int32_t SO_read_float(SO_OBJECT* so, float* value);
int32_t SO_write_short(SO_OBJECT* so, int16_t value);
int32_t SO_read_short(SO_OBJECT* so, int16_t* value);
int32_t SO_write_lfloat(SO_OBJECT* so, double value);
int32_t SO_read_lfloat(SO_OBJECT* so, double* value);
int32_t SO_write_lfloat_array(SO_OBJECT* so, int32_t count, const double* values);
int32_t SO_read_lfloat_array(SO_OBJECT* so, int32_t count, double* values);
int32_t SO_write_short_array(SO_OBJECT* so, int16_t count, const int16_t* values);
int32_t SO_read_short_array(SO_OBJECT* so, int16_t* count, int16_t* values, int32_t cap);
int32_t SO_write_fid_array(SO_OBJECT* so, int32_t count, const int32_t* ids);
int32_t SO_read_fid_array(SO_OBJECT* so, int32_t count, int32_t* ids);
int32_t SO_write_string(SO_OBJECT* so, const char* text);
int32_t SO_read_string(SO_OBJECT* so, char* buf, int32_t cap);
int32_t SO_write_dynamic_string(SO_OBJECT* so, const char* text);
int32_t SO_read_dynamic_string(SO_OBJECT* so, char** text);
int32_t SO_write_date(SO_OBJECT* so, const SE_DATE* date);
int32_t SO_read_date(SO_OBJECT* so, SE_DATE* date);
int32_t SO_write_block(SO_OBJECT* so, const void* data, int32_t len);
int32_t SO_read_block(SO_OBJECT* so, void* buf, int32_t len);
int32_t SO_write_blob_seg(SO_OBJECT* so, const void* data, int32_t len, int32_t last);
int32_t SO_read_blob_seg(SO_OBJECT* so, void* buf, int32_t cap, int32_t* len, int32_t* last);
// A blob on a socket ends with its last segment: these do nothing.
int32_t SO_write_blob_end(SO_OBJECT* so, int32_t total_len, int32_t flush);
int32_t SO_read_blob_end(SO_OBJECT* so, int32_t total_len, int32_t skip);

// Reads and throws away n bytes (a refused item): 0, or -1.
int32_t SO_drain(SO_OBJECT* so, int64_t n);

// ---- records: the native images of native_io.h with the framing around them
// A list is a 4-byte count and the records; its read fills list (capacity
// cap records) and gives the count. A list longer than cap is read and
// refused (SE_INVALID_PARAM); one longer than its limit (the XDR list
// maxima) loses the frame (-1).
#define SO_RECORD_IO(item, T)                                  \
  int32_t SO_write_##item(SO_OBJECT* so, const T* rec);        \
  int32_t SO_read_##item(SO_OBJECT* so, T* rec);
#define SO_LIST_IO(item, T)                                                       \
  int32_t SO_write_##item##_list(SO_OBJECT* so, const T* list, int32_t count);   \
  int32_t SO_read_##item##_list(SO_OBJECT* so, T* list, int32_t cap, int32_t* count);
SO_RECORD_IO(envp, ENVELOPE)
SO_RECORD_IO(pt3d, POINT3D)
SO_RECORD_IO(se_layer_stats, LAYER_STATS)
SO_RECORD_IO(rasterattr, RASTERATTR)
SO_RECORD_IO(se_si_stats, S_INDEX_STATS)
SO_RECORD_IO(registration, REGISTRATION)
SO_RECORD_IO(version, VERSION)
SO_RECORD_IO(logfile, LOGFILE)
SO_RECORD_IO(spatialref, SE_SPATIALREF)
SO_RECORD_IO(object_lock, SE_OBJECT_LOCK)
SO_RECORD_IO(rasterband, RASTERBAND)
SO_RECORD_IO(raster, RASTER)
SO_RECORD_IO(rastercolumn, RASTERCOLUMN)
SO_LIST_IO(registration, REGISTRATION)
SO_LIST_IO(version, VERSION)
SO_LIST_IO(logfile, LOGFILE)
SO_LIST_IO(spatialref, SE_SPATIALREF)
SO_LIST_IO(object_lock, SE_OBJECT_LOCK)
SO_LIST_IO(se_layer_locks, SE_LAYER_LOCKS)
SO_LIST_IO(se_table_lock, SE_TABLE_LOCK)
SO_LIST_IO(se_version_lock, SE_VERSION_LOCK)
SO_LIST_IO(rasterband, RASTERBAND)
SO_LIST_IO(rastercolumn, RASTERCOLUMN)
#undef SO_RECORD_IO
#undef SO_LIST_IO
// Records with a layout choice: legacy (layer, coordref, column_def, release
// read) or older (metadata, state: releases up to 81199).
int32_t SO_write_layer(SO_OBJECT* so, const LAYER* layer, int32_t legacy);
int32_t SO_read_layer(SO_OBJECT* so, LAYER* layer, int32_t legacy);
int32_t SO_write_layer_list(SO_OBJECT* so, const LAYER* list, int32_t count, int32_t legacy);
int32_t SO_read_layer_list(SO_OBJECT* so, LAYER* list, int32_t cap, int32_t* count, int32_t legacy);
int32_t SO_write_coordref(SO_OBJECT* so, const COORDREF* c, int32_t legacy);
int32_t SO_read_coordref(SO_OBJECT* so, COORDREF* c, int32_t legacy);
int32_t SO_write_release(SO_OBJECT* so, const RELEASE* r);
int32_t SO_read_release(SO_OBJECT* so, RELEASE* r, int32_t legacy);
int32_t SO_write_metadata(SO_OBJECT* so, const METADATA_RECORD* r, int32_t older);
int32_t SO_read_metadata(SO_OBJECT* so, METADATA_RECORD* r, int32_t older);
int32_t SO_write_metadata_list(SO_OBJECT* so, const METADATA_RECORD* list, int32_t count, int32_t older);
int32_t SO_read_metadata_list(SO_OBJECT* so, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older);
// States: the images (all of a list first), then each lineage as a 4-byte
// byte length and the packed bytes. The read allocates each lineage
// (free()), none for a length below 1. older: releases up to 81199.
int32_t SO_write_state(SO_OBJECT* so, const STATE* s, int32_t older);
int32_t SO_read_state(SO_OBJECT* so, STATE* s, int32_t older);
int32_t SO_write_state_list(SO_OBJECT* so, const STATE* list, int32_t count, int32_t older);
int32_t SO_read_state_list(SO_OBJECT* so, STATE* list, int32_t cap, int32_t* count, int32_t older);
// Locators: the images (all of a list first), then each locator's
// properties as pairs of strings. The read allocates the name and value
// blocks (one free() each).
int32_t SO_write_locator(SO_OBJECT* so, const LOCATOR* l);
int32_t SO_read_locator(SO_OBJECT* so, LOCATOR* l);
int32_t SO_write_locator_list(SO_OBJECT* so, const LOCATOR* list, int32_t count);
int32_t SO_read_locator_list(SO_OBJECT* so, LOCATOR* list, int32_t cap, int32_t* count);
int32_t SO_writef(SO_OBJECT* so, const FEATURE_STRUCT* f);
int32_t SO_readf(SO_OBJECT* so, FEATURE_STRUCT* f, int32_t allocate);
int32_t SO_write_compressed_feature(SO_OBJECT* so, const FEATURE_STRUCT* f);
int32_t SO_read_compressed_feature(SO_OBJECT* so, FEATURE_STRUCT* f);
int32_t SO_write_construct(SO_OBJECT* so, const SQL_CONSTRUCT* c);
int32_t SO_read_construct(SO_OBJECT* so, SQL_CONSTRUCT* c);
int32_t SO_write_index_def(SO_OBJECT* so, int16_t count, const INDEX_DEF* defs);
int32_t SO_read_index_def(SO_OBJECT* so, int16_t* count, INDEX_DEF** defs);
int32_t SO_write_filter_array(SO_OBJECT* so, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy);
int32_t SO_read_filter_array(SO_OBJECT* so, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy);
int32_t SO_write_rasconstraint(SO_OBJECT* so, const RASCONSTRAINT* c);
int32_t SO_read_rasconstraint(SO_OBJECT* so, RASCONSTRAINT** c);
// Shared with the XDR transport: the block of count filters and their
// relation-string slots, the slot of filter i, and a shape filter's new
// feature with its reference.
SPATIAL_FILTER* ch_filter_block(int16_t count);
char* ch_filter_cbm_slot(SPATIAL_FILTER* block, int16_t count, int16_t i);
int32_t ch_filter_new_shape(SPATIAL_FILTER* f);
// The byte length of a state's packed lineage (0 without one); shared with
// the XDR transport.
int32_t ch_lineage_bytes(const STATE* s);
// Column definitions and input descriptions: a 2-byte count and the images;
// the read allocates the array (free()), none for a count of 0.
int32_t SO_write_column_def(SO_OBJECT* so, int16_t count, const COLUMN_DEF* defs, int32_t legacy);
int32_t SO_read_column_def(SO_OBJECT* so, int16_t* count, COLUMN_DEF** defs, int32_t legacy);
int32_t SO_write_input_desc(SO_OBJECT* so, int16_t count, const INPUT_DESC* descs);
int32_t SO_read_input_desc(SO_OBJECT* so, int16_t* count, INPUT_DESC** descs);

#endif
