// xdr_io.h -- the XDR transport: channel kind 1, one XDR record per item on a
// TCP record-marking stream (libtirpc's xdrrec).
//
// A write ends the previous record without sending it and encodes its item in
// a new one; a read sends what is pending, decodes its item and skips the
// rest of its record. So a sequence of writes leaves as one burst at the next
// read or flush, and every read starts at a record boundary.
//
// Status: 0 success; -1 when an XDR primitive fails; SE_INVALID_PARAM when an
// item was longer than the caller's capacity or its limit (the record is
// skipped, the stream stays in step); SE_OUT_OF_MEMORY when memory for a
// received part cannot be had. A read that fails on a malformed record skips
// to the record's end, so the next item still reads; only a failure of the
// socket itself leaves the stream out of step (XDR_out_of_step).
#ifndef ZUL_XDR_IO_H
#define ZUL_XDR_IO_H

#include <stdint.h>

#include <rpc/xdr.h>

#include "zul_channel.h"
#include "zul_config.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"

XDR* XDR_create(const int* sock, uint32_t send_size, uint32_t recv_size);
void XDR_destroy(XDR* xdrs, int32_t flush);
XDR* XDR_set_read_mode(XDR* xdrs);
XDR* XDR_set_write_mode(XDR* xdrs);
int32_t XDR_flush(XDR* xdrs);
int32_t XDR_data_waiting(XDR* xdrs);
int32_t XDR_out_of_step(XDR* xdrs);

// The start of every item: a write ends the previous record (unsent) and
// clears the blob flag; a read sends the pending record. 0 or -1.
int32_t XDR_write_start(XDR* xdrs);
int32_t XDR_read_start(XDR* xdrs);
// The end of a read: 0 after skipping the rest of the record; on failure
// (status non-zero) the record is skipped when the socket still works, and
// status is returned.
int32_t XDR_read_end(XDR* xdrs, int32_t status);

int32_t XDR_write_long(XDR* xdrs, int32_t value);
int32_t XDR_read_long(XDR* xdrs, int32_t* value);
int32_t XDR_write_ulong(XDR* xdrs, uint32_t value);
int32_t XDR_read_ulong(XDR* xdrs, uint32_t* value);
int32_t XDR_write_float(XDR* xdrs, float value);
int32_t XDR_read_float(XDR* xdrs, float* value);
int32_t XDR_write_short(XDR* xdrs, int16_t value);
int32_t XDR_read_short(XDR* xdrs, int16_t* value);
int32_t XDR_write_lfloat(XDR* xdrs, double value);
int32_t XDR_read_lfloat(XDR* xdrs, double* value);
int32_t XDR_write_lfloat_array(XDR* xdrs, int32_t count, const double* values);
int32_t XDR_read_lfloat_array(XDR* xdrs, int32_t count, double* values);
int32_t XDR_write_short_array(XDR* xdrs, int16_t count, const int16_t* values);
int32_t XDR_read_short_array(XDR* xdrs, int16_t* count, int16_t* values, int32_t cap);
// chunked: the form of clients above release 83001 (a count of 0 sends and
// reads nothing at all).
int32_t XDR_write_fid_array(XDR* xdrs, int32_t count, const int32_t* ids, int32_t chunked);
int32_t XDR_read_fid_array(XDR* xdrs, int32_t count, int32_t* ids, int32_t chunked);
int32_t XDR_write_string(XDR* xdrs, const char* text);
int32_t XDR_read_string(XDR* xdrs, char* buf, int32_t cap);
int32_t XDR_write_dynamic_string(XDR* xdrs, const char* text);
int32_t XDR_read_dynamic_string(XDR* xdrs, char** text);
int32_t XDR_write_date(XDR* xdrs, const SE_DATE* date);
int32_t XDR_read_date(XDR* xdrs, SE_DATE* date);
int32_t XDR_write_block(XDR* xdrs, const void* data, int32_t len);
int32_t XDR_read_block(XDR* xdrs, void* buf, int32_t len);
// All segments of a blob, and its end padding, lie in one record.
int32_t XDR_write_blob_seg(XDR* xdrs, const void* data, int32_t len, int32_t last);
int32_t XDR_read_blob_seg(XDR* xdrs, void* buf, int32_t cap, int32_t* len, int32_t* last);
int32_t XDR_write_blob_end(XDR* xdrs, int32_t total_len, int32_t flush);
int32_t XDR_read_blob_end(XDR* xdrs, int32_t total_len, int32_t skip);
// ---- records: the encoders of zul_xdr.h, one record per item -------------
// A list is an XDR array (4-byte count, then the records) followed, for
// layers and raster columns, by each record's coordinate reference; a count
// above the list's maximum or the caller's capacity is refused (the record is
// skipped). A single version travels as a list of one.
#define XDR_RECORD_IO(item, T)                            \
  int32_t XDR_write_##item(XDR* xdrs, const T* rec);      \
  int32_t XDR_read_##item(XDR* xdrs, T* rec);
#define XDR_LIST_IO(item, T)                                                      \
  int32_t XDR_write_##item##_list(XDR* xdrs, const T* list, int32_t count);      \
  int32_t XDR_read_##item##_list(XDR* xdrs, T* list, int32_t cap, int32_t* count);
XDR_RECORD_IO(envp, ENVELOPE)
XDR_RECORD_IO(pt3d, POINT3D)
XDR_RECORD_IO(se_layer_stats, LAYER_STATS)
XDR_RECORD_IO(rasterattr, RASTERATTR)
XDR_RECORD_IO(se_si_stats, S_INDEX_STATS)
XDR_RECORD_IO(registration, REGISTRATION)
XDR_RECORD_IO(version, VERSION)
XDR_RECORD_IO(logfile, LOGFILE)
XDR_RECORD_IO(spatialref, SE_SPATIALREF)
XDR_RECORD_IO(object_lock, SE_OBJECT_LOCK)
XDR_RECORD_IO(rasterband, RASTERBAND)
XDR_RECORD_IO(raster, RASTER)
XDR_RECORD_IO(rastercolumn, RASTERCOLUMN)
XDR_RECORD_IO(release, RELEASE)
XDR_RECORD_IO(se_instance_config, SE_INSTANCE_CONFIG)
XDR_RECORD_IO(se_instance_status, SE_INSTANCE_STATUS)
XDR_RECORD_IO(se_instance_stats, SE_INSTANCE_STATS)
XDR_RECORD_IO(se_instance_user, SE_INSTANCE_USER)
XDR_RECORD_IO(se_instance_lock, SE_INSTANCE_LOCK)
XDR_RECORD_IO(se_instance_table_lock, SE_INSTANCE_TABLE_LOCK)
XDR_LIST_IO(registration, REGISTRATION)
XDR_LIST_IO(version, VERSION)
XDR_LIST_IO(logfile, LOGFILE)
XDR_LIST_IO(spatialref, SE_SPATIALREF)
XDR_LIST_IO(object_lock, SE_OBJECT_LOCK)
XDR_LIST_IO(se_layer_locks, SE_LAYER_LOCKS)
XDR_LIST_IO(se_table_lock, SE_TABLE_LOCK)
XDR_LIST_IO(se_version_lock, SE_VERSION_LOCK)
XDR_LIST_IO(rasterband, RASTERBAND)
XDR_LIST_IO(rastercolumn, RASTERCOLUMN)
#undef XDR_RECORD_IO
#undef XDR_LIST_IO
int32_t XDR_write_layer(XDR* xdrs, const LAYER* layer, int32_t legacy);
int32_t XDR_read_layer(XDR* xdrs, LAYER* layer, int32_t legacy);
int32_t XDR_write_layer_list(XDR* xdrs, const LAYER* list, int32_t count, int32_t legacy);
int32_t XDR_read_layer_list(XDR* xdrs, LAYER* list, int32_t cap, int32_t* count, int32_t legacy);
int32_t XDR_write_coordref(XDR* xdrs, const COORDREF* c, int32_t legacy);
int32_t XDR_read_coordref(XDR* xdrs, COORDREF* c, int32_t legacy);
int32_t XDR_write_metadata(XDR* xdrs, const METADATA_RECORD* r, int32_t older);
int32_t XDR_read_metadata(XDR* xdrs, METADATA_RECORD* r, int32_t older);
int32_t XDR_write_metadata_list(XDR* xdrs, const METADATA_RECORD* list, int32_t count, int32_t older);
int32_t XDR_read_metadata_list(XDR* xdrs, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older);
// States and locators travel as lists, a single one as a list of one.
int32_t XDR_write_state(XDR* xdrs, const STATE* s, int32_t older);
int32_t XDR_read_state(XDR* xdrs, STATE* s, int32_t older);
int32_t XDR_write_state_list(XDR* xdrs, const STATE* list, int32_t count, int32_t older);
int32_t XDR_read_state_list(XDR* xdrs, STATE* list, int32_t cap, int32_t* count, int32_t older);
int32_t XDR_write_locator(XDR* xdrs, const LOCATOR* l);
int32_t XDR_read_locator(XDR* xdrs, LOCATOR* l);
int32_t XDR_write_locator_list(XDR* xdrs, const LOCATOR* list, int32_t count);
int32_t XDR_read_locator_list(XDR* xdrs, LOCATOR* list, int32_t cap, int32_t* count);
int32_t XDR_writef(XDR* xdrs, const FEATURE_STRUCT* f);
int32_t XDR_readf(XDR* xdrs, FEATURE_STRUCT* f, int32_t allocate);
int32_t XDR_write_compressed_feature(XDR* xdrs, const FEATURE_STRUCT* f);
int32_t XDR_read_compressed_feature(XDR* xdrs, FEATURE_STRUCT* f);
int32_t XDR_write_construct(XDR* xdrs, const SQL_CONSTRUCT* c, int32_t legacy);
int32_t XDR_read_construct(XDR* xdrs, SQL_CONSTRUCT* c, int32_t legacy);
int32_t XDR_write_index_def(XDR* xdrs, int16_t count, const INDEX_DEF* defs);
int32_t XDR_read_index_def(XDR* xdrs, int16_t* count, INDEX_DEF** defs);
int32_t XDR_write_filter_array(XDR* xdrs, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy);
int32_t XDR_read_filter_array(XDR* xdrs, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy);
int32_t XDR_write_rasconstraint(XDR* xdrs, const RASCONSTRAINT* c);
int32_t XDR_read_rasconstraint(XDR* xdrs, RASCONSTRAINT** c);
int32_t XDR_write_column_def(XDR* xdrs, int16_t count, const COLUMN_DEF* defs, int32_t legacy);
int32_t XDR_read_column_def(XDR* xdrs, int16_t* count, COLUMN_DEF** defs, int32_t legacy);
int32_t XDR_write_input_desc(XDR* xdrs, int16_t count, const INPUT_DESC* descs);
int32_t XDR_read_input_desc(XDR* xdrs, int16_t* count, INPUT_DESC** descs);

// The shared steps in the stream's current direction: 1 success, 0 failure.
// Decoding a segment, *len holds the capacity of data on entry and the
// segment's length on return; a longer segment fails without filling data.
int32_t XDR_blob_seg(XDR* xdrs, char* data, int32_t* len, int32_t* last);
int32_t XDR_blob_end(XDR* xdrs, int32_t total_len);

#endif
