// zul_channel.h -- the channel: one set of CH_ calls over the transports.
//
// A CHANNEL is the one object through which a server process talks to its
// client, and through which the client library talks to the server. Every
// item (numbers, strings, dates, byte blocks, blob segments, records) is
// written with CH_write_<item> and read with CH_read_<item>; the channel
// routes the call to the transport of its kind, picks the record layout that
// suits the peer, and copies the item to the intercept trace when tracing is
// on. Kinds: 0 socket (native images), 1 XDR record stream, 2 coordinated
// memory (two threads), 3 shared memory (two processes).
//
// Reading from a peer (numbered notes):
//  1. Every read that fills caller storage takes that storage's capacity.
//  2. An item longer than the capacity, or than its limit below, is consumed
//     whole and the read answers SE_INVALID_PARAM: the channel stays in step
//     with its peer and the next item reads correctly. A negative count is
//     refused the same way (nothing follows it on the wire).
//  3. Any other failed read answers a negative status (-1 for the transport,
//     -999 when memory for the item cannot be had). After such a failure the
//     peer and the channel may no longer agree on where the next item starts:
//     CH_out_of_step answers non-zero, and the connection should end.
//  4. A failed read traces nothing; a write is traced before it is sent,
//     whatever its outcome.
//
// Status of every CH_ item function: 0 on success, else negative as above.
#ifndef ZUL_CHANNEL_H
#define ZUL_CHANNEL_H

#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <rpc/xdr.h>

#include "zul_layer.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"
#include "zul_status.h"

// ---- channel kinds (not to be confused with nuvok's start-parameter kinds)
#define CH_KIND_SOCKET   0   // TCP, native record images
#define CH_KIND_XDR      1   // TCP, XDR record stream
#define CH_KIND_CMEM     2   // coordinated memory between two threads
#define CH_KIND_SHMEM    3   // shared memory between two processes

// ---- buffer sizes of the TCP transports
#define CH_SOCKET_OUT_SIZE  4096
#define CH_SOCKET_IN_SIZE   8192

// ---- input limits of the channel
// Longest text of a string item on the XDR transport (the protocol's cap).
#define CH_MAX_XDR_STRING      4096
// Longest dynamic string the channel allocates for; no text the protocol
// carries comes near it, and it keeps a hostile length from sizing memory.
#define CH_MAX_DYNAMIC_STRING  (1 << 20)
// A refused item up to this many bytes is read and thrown away so the channel
// stays in step; a longer one is taken as a lost frame (out of step), since
// draining it would let a hostile length hold the connection indefinitely.
#define CH_MAX_DRAIN           (16 << 20)

// Longest lists the channel takes from a peer (the XDR transport's maxima,
// kept on every transport so a count alone cannot hold a connection).
#define CH_MAX_LIST            5000     // layers, registrations, metadata, raster columns, states, log files, spatial refs
#define CH_MAX_BAND_LIST       20000    // raster bands
#define CH_MAX_VERSION_LIST    200000   // versions
#define CH_MAX_LOCK_LIST       10000    // layer, table, version and object locks

// Longest packed lineage of a state (bytes): far beyond any state tree's
// depth, and it bounds what a peer's length can make the reader allocate.
#define CH_MAX_LINEAGE_BYTES   (1 << 20)

// Most tables a query construct may name; a query joins a handful.
#define CH_MAX_CONSTRUCT_TABLES 256
// Longest compressed feature (bytes) the channel accepts.
#define CH_MAX_FEATURE_BYTES   CH_MAX_DRAIN
// Most columns of one index definition.
#define CH_MAX_INDEX_COLUMNS   256

// Most filters of one query; a query carries a handful.
#define CH_MAX_FILTERS         1024

// ---- release boundaries that choose record layouts
#define CH_RELEASE_CURRENT_LAYOUTS  81199   // above: current STATE and METADATA layouts
#define CH_RELEASE_CHUNKED_FIDS     83001   // above: chunked feature-id arrays on XDR

// ---- trace flags
#define CH_TRACE_READ     1
#define CH_TRACE_WRITE    2
#define CH_TRACE_COMMAND  4
#define CH_TRACE_TIME     8
#define CH_TRACE_FLUSH    16

struct SO_OBJECT;                 // socket transport (sock_io.h)
struct CMEM_OBJECT;               // coordinated-memory transport
struct SHM_OBJECT;                // shared-memory transport

// The field order is fixed: the client library reads and fills a channel
// (it attaches the shared-memory object and links coordinated-memory
// channels) through this same layout. Fields after the ninth are private.
struct CHANNEL {
  int32_t kind;                   // CH_KIND_*
  SO_OBJECT* socket_io;           // kind 0
  XDR* xdr_io;                    // kind 1
  CMEM_OBJECT* cmem;              // kind 2; none at creation for other kinds
  SHM_OBJECT* shm_io;             // kind 3; attached after creation
  FILE* trace;                    // intercept trace file, or none
  uint16_t trace_flags;           // CH_TRACE_*; 0 without a trace file
  int32_t legacy;                 // non-zero: older record layouts
  int32_t client_release;         // release the client reported, 0 until set
  char trace_path[1024];          // path of the trace file (for messages)
  char trace_time_format[16];     // strftime format of the entry time stamps
};

// ---- life cycle
// Creates a channel of the given kind over *sock (kinds 0 and 1; kinds 2 and
// 3 ignore it). Returns none when the record or the transport cannot be made,
// and for an unknown kind. A kind-2 channel is usable once linked to its peer
// (CH_CMEM_readjust_chanlsys, cmem_io.h), a kind-3 channel once its
// transport object is attached (CH_reset_shared_chanl_io, shm_io.h).
CHANNEL* CH_create(int32_t kind, int32_t legacy, const int* sock);
// Flushes and releases the transport, closes the trace file, frees the record.
void CH_destroy(CHANNEL* ch);
int32_t CH_flush(CHANNEL* ch);
// Non-zero when input from the peer is waiting (-1 on failure).
int32_t CH_data_waiting(CHANNEL* ch);
CHANNEL* CH_set_release(CHANNEL* ch, int32_t release);
// Non-zero when a failed read or write has left the channel unable to find
// the start of the next item (note 3).
int32_t CH_out_of_step(const CHANNEL* ch);

// ---- commands
int32_t CH_read_command(CHANNEL* ch, int32_t* code);
int32_t CH_write_command(CHANNEL* ch, int32_t code);

// ---- scalars
int32_t CH_write_long(CHANNEL* ch, int32_t value);
int32_t CH_read_long(CHANNEL* ch, int32_t* value);
int32_t CH_write_ulong(CHANNEL* ch, uint32_t value);
int32_t CH_read_ulong(CHANNEL* ch, uint32_t* value);
int32_t CH_write_float(CHANNEL* ch, float value);
int32_t CH_read_float(CHANNEL* ch, float* value);
int32_t CH_write_short(CHANNEL* ch, int16_t value);
int32_t CH_read_short(CHANNEL* ch, int16_t* value);
int32_t CH_write_lfloat(CHANNEL* ch, double value);
int32_t CH_read_lfloat(CHANNEL* ch, double* value);

// ---- arrays
// count doubles; the XDR form carries its own count, which may not exceed
// count. The write serves the client side.
int32_t CH_write_lfloat_array(CHANNEL* ch, int32_t count, const double* values);
int32_t CH_read_lfloat_array(CHANNEL* ch, int32_t count, double* values);
// A 16-bit count and that many values; the read fills values (capacity cap
// elements) and returns the count.
int32_t CH_write_short_array(CHANNEL* ch, int16_t count, const int16_t* values);
int32_t CH_read_short_array(CHANNEL* ch, int16_t* count, int16_t* values, int32_t cap);
// count feature ids, the count known to both sides.
int32_t CH_write_fid_array(CHANNEL* ch, int32_t count, const int32_t* ids);
int32_t CH_read_fid_array(CHANNEL* ch, int32_t count, int32_t* ids);

// ---- texts and bytes
// A NUL-terminated text (null writes as empty); the read fills buf (capacity
// cap bytes, the NUL included).
int32_t CH_write_string(CHANNEL* ch, const char* text);
int32_t CH_read_string(CHANNEL* ch, char* buf, int32_t cap);
// A text or none; the read allocates (free()) and gives none for an empty or
// absent text.
int32_t CH_write_dynamic_string(CHANNEL* ch, const char* text);
int32_t CH_read_dynamic_string(CHANNEL* ch, char** text);
int32_t CH_write_date(CHANNEL* ch, const SE_DATE* date);
int32_t CH_read_date(CHANNEL* ch, SE_DATE* date);
// len raw bytes, the length known to both sides.
int32_t CH_write_block(CHANNEL* ch, const void* data, int32_t len);
int32_t CH_read_block(CHANNEL* ch, void* buf, int32_t len);
// One segment of a blob; the read fills buf (capacity cap) and returns the
// segment's length and last-segment flag.
int32_t CH_write_blob_seg(CHANNEL* ch, const void* data, int32_t len, int32_t last);
int32_t CH_read_blob_seg(CHANNEL* ch, void* buf, int32_t cap, int32_t* len, int32_t* last);
// The end of a blob of total_len bytes: the XDR transport pads the record and
// flushes (write) or skips to the record end (read) when flag is set; other
// kinds do nothing.
int32_t CH_write_blob_end(CHANNEL* ch, int32_t total_len, int32_t flag);
int32_t CH_read_blob_end(CHANNEL* ch, int32_t total_len, int32_t flag);

// ---- records
// A list write takes the array and its count; a list read fills list
// (capacity cap records) and gives the count. Layer, coordinate-reference,
// column-definition and release reads follow the legacy flag; metadata
// follows the client's release.
#define CH_RECORD_IO(item, T)                                  \
  int32_t CH_write_##item(CHANNEL* ch, const T* rec);          \
  int32_t CH_read_##item(CHANNEL* ch, T* rec);
#define CH_LIST_IO(item, T)                                                          \
  int32_t CH_write_##item##_list(CHANNEL* ch, const T* list, int32_t count);        \
  int32_t CH_read_##item##_list(CHANNEL* ch, T* list, int32_t cap, int32_t* count);
CH_RECORD_IO(envp, ENVELOPE)
CH_RECORD_IO(pt3d, POINT3D)
CH_RECORD_IO(se_layer_stats, LAYER_STATS)
CH_RECORD_IO(rasterattr, RASTERATTR)      // the write serves the client side
CH_RECORD_IO(se_si_stats, S_INDEX_STATS)
CH_RECORD_IO(registration, REGISTRATION)
CH_RECORD_IO(version, VERSION)
CH_RECORD_IO(logfile, LOGFILE)
CH_RECORD_IO(spatialref, SE_SPATIALREF)
CH_RECORD_IO(object_lock, SE_OBJECT_LOCK)
CH_RECORD_IO(rasterband, RASTERBAND)
CH_RECORD_IO(raster, RASTER)
CH_RECORD_IO(rastercolumn, RASTERCOLUMN)
CH_RECORD_IO(layer, LAYER)
CH_RECORD_IO(coordref, COORDREF)
CH_RECORD_IO(release, RELEASE)
CH_RECORD_IO(metadata, METADATA_RECORD)
CH_LIST_IO(layer, LAYER)
CH_LIST_IO(metadata, METADATA_RECORD)
CH_LIST_IO(registration, REGISTRATION)
CH_LIST_IO(version, VERSION)
CH_LIST_IO(logfile, LOGFILE)
CH_LIST_IO(spatialref, SE_SPATIALREF)
CH_LIST_IO(object_lock, SE_OBJECT_LOCK)
CH_LIST_IO(se_layer_locks, SE_LAYER_LOCKS)
CH_LIST_IO(se_table_lock, SE_TABLE_LOCK)
CH_LIST_IO(se_version_lock, SE_VERSION_LOCK)
CH_LIST_IO(rasterband, RASTERBAND)        // the read serves the client side
CH_LIST_IO(rastercolumn, RASTERCOLUMN)    // the read serves the client side
#undef CH_RECORD_IO
#undef CH_LIST_IO
// A state with its lineage; the read allocates the lineage (free()). The
// layout follows the client's release.
int32_t CH_write_state(CHANNEL* ch, const STATE* s);
int32_t CH_read_state(CHANNEL* ch, STATE* s);
int32_t CH_write_state_list(CHANNEL* ch, const STATE* list, int32_t count);
int32_t CH_read_state_list(CHANNEL* ch, STATE* list, int32_t cap, int32_t* count);
// A locator with its properties; the read allocates the name and value
// blocks (one free() each).
int32_t CH_write_locator(CHANNEL* ch, const LOCATOR* l);
int32_t CH_read_locator(CHANNEL* ch, LOCATOR* l);
int32_t CH_write_locator_list(CHANNEL* ch, const LOCATOR* list, int32_t count);
int32_t CH_read_locator_list(CHANNEL* ch, LOCATOR* list, int32_t cap, int32_t* count);
// A shape with its point, Z and measure arrays. With allocate set the read
// allocates the three arrays (free()) for the received count; otherwise it
// fills the feature's own arrays, which must hold the count (allocpts).
int32_t CH_writef(CHANNEL* ch, const FEATURE_STRUCT* f);
int32_t CH_readf(CHANNEL* ch, FEATURE_STRUCT* f, int32_t allocate);
// A compressed feature: its id, point count, entity, the packed bytes and,
// when the packed header says so, the annotation text. The read grows the
// feature's buffer as needed.
int32_t CH_write_compressed_feature(CHANNEL* ch, const FEATURE_STRUCT* f);
int32_t CH_read_compressed_feature(CHANNEL* ch, FEATURE_STRUCT* f);
// A query construct; the read allocates the table block and the where
// clause (free CH_construct_free).
int32_t CH_write_construct(CHANNEL* ch, const SQL_CONSTRUCT* c);
int32_t CH_read_construct(CHANNEL* ch, SQL_CONSTRUCT* c);
void CH_construct_free(SQL_CONSTRUCT* c);
// Index definitions, 16-bit count; the read allocates (CH_index_defs_free).
int32_t CH_write_index_def(CHANNEL* ch, int16_t count, const INDEX_DEF* defs);
int32_t CH_read_index_def(CHANNEL* ch, int16_t* count, INDEX_DEF** defs);
void CH_index_defs_free(INDEX_DEF* defs, int16_t count);
// Spatial filters, 16-bit count; each shape filter brings its shape and the
// shape's coordinate reference. The read allocates the filters, their
// relation strings, shapes and references (free CH_filters_free). The layout
// follows the legacy flag.
int32_t CH_write_filter_array(CHANNEL* ch, int16_t count, const SPATIAL_FILTER* filters);
int32_t CH_read_filter_array(CHANNEL* ch, int16_t* count, SPATIAL_FILTER** filters);
void CH_filters_free(SPATIAL_FILTER* filters, int16_t count);
// A raster constraint; the read allocates the record and its band numbers
// (free the numbers, then the record). The write serves the client side.
int32_t CH_write_rasconstraint(CHANNEL* ch, const RASCONSTRAINT* c);
int32_t CH_read_rasconstraint(CHANNEL* ch, RASCONSTRAINT** c);
// A 16-bit count and the definitions; the read allocates the array (free()),
// none for a count of 0.
int32_t CH_write_column_def(CHANNEL* ch, int16_t count, const COLUMN_DEF* defs);
int32_t CH_read_column_def(CHANNEL* ch, int16_t* count, COLUMN_DEF** defs);
int32_t CH_write_input_desc(CHANNEL* ch, int16_t count, const INPUT_DESC* descs);
int32_t CH_read_input_desc(CHANNEL* ch, int16_t* count, INPUT_DESC** descs);

// ---- socket helpers (no channel involved)
// Receives until n bytes have arrived, at most 65535 a call: returns n, the
// count so far when the peer closes, or -1.
int32_t CH_readn(int sock, void* buf, int32_t n);
// Sends until n bytes are gone: returns n, the count so far when a send moves
// nothing, or -1.
int32_t CH_writen(int sock, const void* data, int32_t n);

#endif
