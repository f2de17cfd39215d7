// shm_io.h -- the shared-memory transport (channel kind 3, two processes),
// and the item framing it shares with the coordinated-memory transport.
//
// Shared memory. One named mapping holds, for each direction, a byte count
// and a data area of SHM_CHUNK bytes; one named mutex guards both; each
// direction has a "free" event (the reader has taken the bytes) and a
// "filled" event (the writer has put a chunk in). The side that makes the
// objects (shm_chanl_create) writes in direction 0 and reads direction 1;
// the side that opens them (shm_chanl_open) the other way round. Each side
// knows its peer's process id and, while it waits, tests every
// SHM_WAIT_SLICE_MS whether the peer still runs: a dead peer fails the
// transfer and every later one at once.
//
// Rules of the chunk transfer (numbered notes):
//  1. The count and area of a direction are touched only under the mutex.
//  2. A writer fills the area only after the peer's reader has taken the
//     previous chunk; a reader may take one chunk in several reads, keeping
//     its read offset.
//  3. Items travel exactly as on the socket transport: the same images,
//     string framing, counts and trailing parts, in the same order.
//
// Framing over both memory transports. The channel routes kinds 2 and 3 to
// the SO_ overloads below, which take a zul::memchan::Link (the channel's
// memory transport) where the socket transport takes its SO_OBJECT; their
// statuses are those of sock_io.h.
//
// Relies on the OS layer (named shared memory, mutexes, events, process
// liveness), the native images of native_io.h and the coordinated-memory
// hand-over of cmem_io.h.
#ifndef ZUL_SHM_IO_H
#define ZUL_SHM_IO_H

#include <stddef.h>
#include <stdint.h>

#include "cmem_io.h"
#include "zul_channel.h"
#include "zulos.h"

#define SHM_CHUNK          100000  // largest chunk of one hand-over, bytes
#define SHM_WAIT_SLICE_MS  2000    // a wait tests the peer this often

// The mapping's view: one count and area per direction (fixed-width fields,
// shared between processes).
struct SHM_DIRECTION {
  int32_t count;                 // unread bytes in data
  int32_t reserved;              // keeps data 8-byte aligned
  unsigned char data[SHM_CHUNK]; // the chunk
};
struct SHM_VIEW {
  uint32_t magic;                // SHM_VIEW_MAGIC once made
  int32_t creator_pid;           // process that made the objects
  SHM_DIRECTION dir[2];          // 0: creator to opener; 1: opener to creator
};
#define SHM_VIEW_MAGIC 0x5A534D31u
static_assert(sizeof(SHM_DIRECTION) == 100008, "chunk direction layout");
static_assert(offsetof(SHM_VIEW, dir) == 8, "view header layout");

struct SHM_OBJECT {
  zulos_event write_free;    // this side's writer waits for it (the peer reader's read-taken)
  zulos_event write_filled;  // this side's writer signals it (the peer reader's read-filled)
  zulos_event read_taken;    // this side's reader signals it (the peer writer's write-free)
  zulos_event read_filled;   // this side's reader waits for it
  zulos_mutex mutex;         // guards both counts and areas
  zulos_shm mapping;         // the mapping and its view
  int32_t peer_pid;          // the peer process; 0 once it is known to have ended
  SHM_VIEW* view;            // the mapped view
  int32_t* write_count;      // count of the direction this side writes
  unsigned char* write_area;
  int32_t* read_count;       // count of the direction this side reads
  unsigned char* read_area;
  int32_t read_offset;       // first unread byte of the current chunk; 0 when the count is 0
  int32_t creator;           // 1 on the side that made the objects
  int32_t out_of_step;       // a short transfer lost the item boundary
};

// Makes the mapping, mutex and four events of a channel named name (a plain
// name of at most 64 characters) for a peer process peer_pid, and attaches
// this side. None on failure (the name taken by a live maker included).
SHM_OBJECT* shm_chanl_create(const char* name, int32_t peer_pid);
// Opens the objects another process made under name, waiting up to wait_ms
// for them to appear. None on failure.
SHM_OBJECT* shm_chanl_open(const char* name, int32_t peer_pid, int wait_ms);
// Closes everything this side holds; the maker's close also removes the
// names. A null object is ignored.
void shm_chanl_destroy(SHM_OBJECT* shm);
// 1 when the peer has written bytes this side has not taken, else 0; -1 on
// failure.
int32_t shm_data_waiting(SHM_OBJECT* shm);
// Chunk transfers: the number of bytes moved (short on failure).
int32_t shm_write_chunks(SHM_OBJECT* shm, const void* data, int32_t n);
int32_t shm_read_chunks(SHM_OBJECT* shm, void* dest, int32_t n);

// Attaches the transport object to a kind-3 channel, which then owns it (it
// is closed by CH_destroy). 0, or -1 when the channel is not of kind 3 or
// already has one.
int32_t CH_reset_shared_chanl_io(CHANNEL* ch, SHM_OBJECT* shm);

namespace zul {
namespace memchan {

// The memory transport of one channel, for the framing below.
struct Link {
  CMEM_OBJECT* cmem;  // kind 2
  SHM_OBJECT* shm;    // kind 3
};

// What the channel's routing sees for kinds 2 and 3: socket_io is the link
// (none when the transport is not attached or linked yet).
struct ChannelView {
  explicit ChannelView(const CHANNEL* ch);
  Link link;
  Link* socket_io;
  int32_t legacy;
  int32_t client_release;
};

int32_t SO_flush(Link* so);
int32_t SO_data_waiting(Link* so);
int32_t SO_out_of_step(const Link* so);

int32_t SO_write_bytes(Link* so, const void* data, int32_t n);
int32_t SO_read_bytes(Link* so, void* dest, int32_t n);

int32_t SO_write_long(Link* so, int32_t value);
int32_t SO_read_long(Link* so, int32_t* value);
int32_t SO_write_ulong(Link* so, uint32_t value);
int32_t SO_read_ulong(Link* so, uint32_t* value);
int32_t SO_write_float(Link* so, float value);
int32_t SO_read_float(Link* so, float* value);
int32_t SO_write_short(Link* so, int16_t value);
int32_t SO_read_short(Link* so, int16_t* value);
int32_t SO_write_lfloat(Link* so, double value);
int32_t SO_read_lfloat(Link* so, double* value);
int32_t SO_write_lfloat_array(Link* so, int32_t count, const double* values);
int32_t SO_read_lfloat_array(Link* so, int32_t count, double* values);
int32_t SO_write_short_array(Link* so, int16_t count, const int16_t* values);
int32_t SO_read_short_array(Link* so, int16_t* count, int16_t* values, int32_t cap);
int32_t SO_write_fid_array(Link* so, int32_t count, const int32_t* ids);
int32_t SO_read_fid_array(Link* so, int32_t count, int32_t* ids);
int32_t SO_write_string(Link* so, const char* text);
int32_t SO_read_string(Link* so, char* buf, int32_t cap);
int32_t SO_write_dynamic_string(Link* so, const char* text);
int32_t SO_read_dynamic_string(Link* so, char** text);
int32_t SO_write_date(Link* so, const SE_DATE* date);
int32_t SO_read_date(Link* so, SE_DATE* date);
int32_t SO_write_block(Link* so, const void* data, int32_t len);
int32_t SO_read_block(Link* so, void* buf, int32_t len);
int32_t SO_write_blob_seg(Link* so, const void* data, int32_t len, int32_t last);
int32_t SO_read_blob_seg(Link* so, void* buf, int32_t cap, int32_t* len, int32_t* last);
// A blob ends with its last segment: these do nothing.
int32_t SO_write_blob_end(Link* so, int32_t total_len, int32_t flush);
int32_t SO_read_blob_end(Link* so, int32_t total_len, int32_t skip);

// Reads and throws away n bytes (a refused item): 0, or -1.
int32_t SO_drain(Link* so, int64_t n);

// ---- records: the native images of native_io.h with the framing around them
// A list is a 4-byte count and the records; its read fills list (capacity
// cap records) and gives the count. A list longer than cap is read and
// refused (SE_INVALID_PARAM); one longer than its limit (the XDR list
// maxima) loses the frame (-1).
#define MT_RECORD_IO(item, T)                                  \
  int32_t SO_write_##item(Link* so, const T* rec);        \
  int32_t SO_read_##item(Link* so, T* rec);
#define MT_LIST_IO(item, T)                                                       \
  int32_t SO_write_##item##_list(Link* so, const T* list, int32_t count);   \
  int32_t SO_read_##item##_list(Link* so, T* list, int32_t cap, int32_t* count);
MT_RECORD_IO(envp, ENVELOPE)
MT_RECORD_IO(pt3d, POINT3D)
MT_RECORD_IO(se_layer_stats, LAYER_STATS)
MT_RECORD_IO(rasterattr, RASTERATTR)
MT_RECORD_IO(se_si_stats, S_INDEX_STATS)
MT_RECORD_IO(registration, REGISTRATION)
MT_RECORD_IO(version, VERSION)
MT_RECORD_IO(logfile, LOGFILE)
MT_RECORD_IO(spatialref, SE_SPATIALREF)
MT_RECORD_IO(object_lock, SE_OBJECT_LOCK)
MT_RECORD_IO(rasterband, RASTERBAND)
MT_RECORD_IO(raster, RASTER)
MT_RECORD_IO(rastercolumn, RASTERCOLUMN)
MT_LIST_IO(registration, REGISTRATION)
MT_LIST_IO(version, VERSION)
MT_LIST_IO(logfile, LOGFILE)
MT_LIST_IO(spatialref, SE_SPATIALREF)
MT_LIST_IO(object_lock, SE_OBJECT_LOCK)
MT_LIST_IO(se_layer_locks, SE_LAYER_LOCKS)
MT_LIST_IO(se_table_lock, SE_TABLE_LOCK)
MT_LIST_IO(se_version_lock, SE_VERSION_LOCK)
MT_LIST_IO(rasterband, RASTERBAND)
MT_LIST_IO(rastercolumn, RASTERCOLUMN)
// Records with a layout choice: legacy (layer, coordref, column_def, release
// read) or older (metadata, state: releases up to 81199).
int32_t SO_write_layer(Link* so, const LAYER* layer, int32_t legacy);
int32_t SO_read_layer(Link* so, LAYER* layer, int32_t legacy);
int32_t SO_write_layer_list(Link* so, const LAYER* list, int32_t count, int32_t legacy);
int32_t SO_read_layer_list(Link* so, LAYER* list, int32_t cap, int32_t* count, int32_t legacy);
int32_t SO_write_coordref(Link* so, const COORDREF* c, int32_t legacy);
int32_t SO_read_coordref(Link* so, COORDREF* c, int32_t legacy);
int32_t SO_write_release(Link* so, const RELEASE* r);
int32_t SO_read_release(Link* so, RELEASE* r, int32_t legacy);
int32_t SO_write_metadata(Link* so, const METADATA_RECORD* r, int32_t older);
int32_t SO_read_metadata(Link* so, METADATA_RECORD* r, int32_t older);
int32_t SO_write_metadata_list(Link* so, const METADATA_RECORD* list, int32_t count, int32_t older);
int32_t SO_read_metadata_list(Link* so, METADATA_RECORD* list, int32_t cap, int32_t* count, int32_t older);
// States: the images (all of a list first), then each lineage as a 4-byte
// byte length and the packed bytes. The read allocates each lineage
// (free()), none for a length below 1. older: releases up to 81199.
int32_t SO_write_state(Link* so, const STATE* s, int32_t older);
int32_t SO_read_state(Link* so, STATE* s, int32_t older);
int32_t SO_write_state_list(Link* so, const STATE* list, int32_t count, int32_t older);
int32_t SO_read_state_list(Link* so, STATE* list, int32_t cap, int32_t* count, int32_t older);
// Locators: the images (all of a list first), then each locator's
// properties as pairs of strings. The read allocates the name and value
// blocks (one free() each).
int32_t SO_write_locator(Link* so, const LOCATOR* l);
int32_t SO_read_locator(Link* so, LOCATOR* l);
int32_t SO_write_locator_list(Link* so, const LOCATOR* list, int32_t count);
int32_t SO_read_locator_list(Link* so, LOCATOR* list, int32_t cap, int32_t* count);
int32_t SO_writef(Link* so, const FEATURE_STRUCT* f);
int32_t SO_readf(Link* so, FEATURE_STRUCT* f, int32_t allocate);
int32_t SO_write_compressed_feature(Link* so, const FEATURE_STRUCT* f);
int32_t SO_read_compressed_feature(Link* so, FEATURE_STRUCT* f);
int32_t SO_write_construct(Link* so, const SQL_CONSTRUCT* c);
int32_t SO_read_construct(Link* so, SQL_CONSTRUCT* c);
int32_t SO_write_index_def(Link* so, int16_t count, const INDEX_DEF* defs);
int32_t SO_read_index_def(Link* so, int16_t* count, INDEX_DEF** defs);
int32_t SO_write_filter_array(Link* so, int16_t count, const SPATIAL_FILTER* filters, int32_t legacy);
int32_t SO_read_filter_array(Link* so, int16_t* count, SPATIAL_FILTER** filters, int32_t legacy);
int32_t SO_write_rasconstraint(Link* so, const RASCONSTRAINT* c);
int32_t SO_read_rasconstraint(Link* so, RASCONSTRAINT** c);
// Column definitions and input descriptions: a 2-byte count and the images;
// the read allocates the array (free()), none for a count of 0.
int32_t SO_write_column_def(Link* so, int16_t count, const COLUMN_DEF* defs, int32_t legacy);
int32_t SO_read_column_def(Link* so, int16_t* count, COLUMN_DEF** defs, int32_t legacy);
int32_t SO_write_input_desc(Link* so, int16_t count, const INPUT_DESC* descs);
int32_t SO_read_input_desc(Link* so, int16_t* count, INPUT_DESC** descs);


#undef MT_RECORD_IO
#undef MT_LIST_IO

}  // namespace memchan
}  // namespace zul

#endif
