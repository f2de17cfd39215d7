// native_io.h -- the native record images and the byte mover they travel on.
//
// The socket, shared-memory and in-process transports all send a record as
// its native image: the layout of the original 32-bit little-endian platform
// (32-bit integers, IEEE doubles, character fields of fixed width, pointers
// as 4-byte words: 0 for null, 1 otherwise). This file writes and reads each
// image field by field at its offsets, over a ByteMover that the transport
// supplies, so the three transports share one encoding. A host struct is
// never copied whole onto the wire.
//
// Rules every reader keeps:
//  1. Fields the Parts mark local (the first word of most records, the words
//     of the geometry library) keep the receiver's value.
//  2. A pointer word from the peer is never stored as a pointer: the reader
//     keeps its own pointer and reports the word's null-ness where it matters
//     (a feature's Z and measure arrays, a raster column's reference).
//  3. Every character field read from a peer ends in a NUL inside its field.
//  4. A length or count from the peer is checked against the destination's
//     capacity (or a stated limit) before anything is allocated or copied;
//     an oversize string is drained so the stream stays in step, then fails.
//
// Status codes: 0, -1 when the mover moved fewer bytes than needed or an item
// broke a limit, -999 when memory for a received part fails.
//
// Divisions of native_io.cpp: byte movers; scalars and strings; geometry
// records; layer and query records; registry records; lock records; raster
// records.
#ifndef ZUL_COMM_NATIVE_IO_H
#define ZUL_COMM_NATIVE_IO_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "zul_layer.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"

namespace zul {

// Moves raw bytes for a transport. put and get move exactly len bytes and
// answer 0, or -1 when fewer could be moved (the item is then broken).
class ByteMover {
 public:
  virtual ~ByteMover() = default;
  virtual int put(const void* bytes, size_t len) = 0;
  virtual int get(void* bytes, size_t len) = 0;
};

// A mover over memory: writes append to an owned buffer; reads consume the
// bytes given at construction (or, when none were given, the bytes written).
class MemMover final : public ByteMover {
 public:
  MemMover() = default;
  MemMover(const void* bytes, size_t len);
  int put(const void* bytes, size_t len) override;
  int get(void* bytes, size_t len) override;
  const uint8_t* data() const { return in_ ? in_ : out_.data(); }
  size_t size() const { return in_ ? in_len_ : out_.size(); }
  size_t consumed() const { return pos_; }
  size_t remaining() const { return size() - pos_; }
  const std::vector<uint8_t>& bytes() const { return out_; }

 private:
  std::vector<uint8_t> out_;
  const uint8_t* in_ = nullptr;
  size_t in_len_ = 0;
  size_t pos_ = 0;
};

}  // namespace zul

// ---- image field helpers (little-endian at a byte offset) -----------------
void    nio_put_i32(uint8_t* img, size_t off, int32_t v);
void    nio_put_u32(uint8_t* img, size_t off, uint32_t v);
void    nio_put_i16(uint8_t* img, size_t off, int16_t v);
void    nio_put_f64(uint8_t* img, size_t off, double v);
// Copies at most width - 1 characters of text and zero-fills the field.
void    nio_put_chars(uint8_t* img, size_t off, const char* text, size_t width);
// A pointer word: 0 for null, 1 otherwise.
void    nio_put_ptr(uint8_t* img, size_t off, const void* p);
int32_t nio_get_i32(const uint8_t* img, size_t off);
uint32_t nio_get_u32(const uint8_t* img, size_t off);
int16_t nio_get_i16(const uint8_t* img, size_t off);
double  nio_get_f64(const uint8_t* img, size_t off);
// Copies the field and puts a NUL in its last byte.
void    nio_get_chars(const uint8_t* img, size_t off, char* dst, size_t width);

// ---- scalars and strings ---------------------------------------------------
int nio_write_long(zul::ByteMover* m, int32_t v);
int nio_read_long(zul::ByteMover* m, int32_t* v);
int nio_write_short(zul::ByteMover* m, int16_t v);
int nio_read_short(zul::ByteMover* m, int16_t* v);
int nio_write_lfloat(zul::ByteMover* m, double v);
int nio_read_lfloat(zul::ByteMover* m, double* v);
// Reads and throws away len bytes (to keep the stream in step).
int nio_drain(zul::ByteMover* m, size_t len);
// A 4-byte length (strlen + 1, 0 for an empty or null text), then the bytes
// with their NUL.
int nio_write_string(zul::ByteMover* m, const char* text);
// Into a buffer of cap bytes: a longer string is drained and refused (-1).
int nio_read_string(zul::ByteMover* m, char* buf, size_t cap);
// A new zero-filled block of the announced length (null for 0); a length
// above max is drained and refused. The caller frees *text with free().
int nio_read_dynamic_string(zul::ByteMover* m, char** text, size_t max);

// ---- geometry records --------------------------------------------------------
#define SE_FEATURE_IMAGE      96
#define SE_COORDREF_IMAGE     128
#define SE_COORDREF_IMAGE_OLD 120
// Longest coordinate-system text a reader accepts, NUL included.
#define SE_COORDSYS_MAX_TEXT  (64 * 1024)
int nio_write_envelope(zul::ByteMover* m, const ENVELOPE* e);
int nio_read_envelope(zul::ByteMover* m, ENVELOPE* e);
int nio_write_point3d(zul::ByteMover* m, const POINT3D* p);
int nio_read_point3d(zul::ByteMover* m, POINT3D* p);
// The 128-byte image (120 legacy), then the coordinate-system text as a
// string. The reader keeps its own words at offsets 0 and 112, replaces its
// text (null for length 0) and, in the legacy layout, sets the srid to 0.
int nio_write_coordref(zul::ByteMover* m, const COORDREF* c, int legacy);
int nio_read_coordref(zul::ByteMover* m, COORDREF* c, int legacy);
// The 96-byte shape image alone. The reader keeps the receiver's local words
// and pointers and reports, in *present, the peer's pointer words as bits:
// 1 points, 2 Z values, 4 measures, 8 coordinate reference.
#define NIO_FEATURE_HAS_POINTS   1
#define NIO_FEATURE_HAS_Z        2
#define NIO_FEATURE_HAS_M        4
#define NIO_FEATURE_HAS_COORDREF 8
int nio_write_feature_image(zul::ByteMover* m, const FEATURE_STRUCT* f);
int nio_read_feature_image(zul::ByteMover* m, FEATURE_STRUCT* f, int32_t* present);

// ---- layer and query records ------------------------------------------------
// The image (448 bytes legacy) then the layer's COORDREF in the same layout.
// The reader keeps its first word and its COORDREF pointer (it reads into
// that COORDREF, or through a scratch one when the layer has none); the
// legacy reader sets layer mask and base layer id to 0.
int nio_write_layer(zul::ByteMover* m, const LAYER* l, int legacy);
int nio_read_layer(zul::ByteMover* m, LAYER* l, int legacy);
int nio_write_layer_stats(zul::ByteMover* m, const LAYER_STATS* s);
int nio_read_layer_stats(zul::ByteMover* m, LAYER_STATS* s);
int nio_write_index_stats(zul::ByteMover* m, const S_INDEX_STATS* s);
int nio_read_index_stats(zul::ByteMover* m, S_INDEX_STATS* s);
// The image then its COORDREF, as for a layer.
int nio_write_spatialref(zul::ByteMover* m, const SE_SPATIALREF* s);
int nio_read_spatialref(zul::ByteMover* m, SE_SPATIALREF* s);
int nio_write_date(zul::ByteMover* m, const SE_DATE* d);
int nio_read_date(zul::ByteMover* m, SE_DATE* d);
// The write sends the 112-byte image; the legacy read takes the 80-byte one.
int nio_write_release(zul::ByteMover* m, const RELEASE* r);
int nio_read_release(zul::ByteMover* m, RELEASE* r, int legacy);
// One image (48 bytes legacy; its reader sets the row-id kind to 3).
int nio_write_column_def(zul::ByteMover* m, const COLUMN_DEF* c, int legacy);
int nio_read_column_def(zul::ByteMover* m, COLUMN_DEF* c, int legacy);
int nio_write_input_desc(zul::ByteMover* m, const INPUT_DESC* d);
int nio_read_input_desc(zul::ByteMover* m, INPUT_DESC* d);
// One filter image (504 bytes legacy). The reader leaves the shape and
// relation-string pointers alone: the framing around the images brings them.
int nio_write_filter_image(zul::ByteMover* m, const SPATIAL_FILTER* f, int legacy);
int nio_read_filter_image(zul::ByteMover* m, SPATIAL_FILTER* f, int legacy);

// ---- registry records ---------------------------------------------------------
int nio_write_registration(zul::ByteMover* m, const REGISTRATION* r);
int nio_read_registration(zul::ByteMover* m, REGISTRATION* r);
int nio_write_version(zul::ByteMover* m, const VERSION* v);
int nio_read_version(zul::ByteMover* m, VERSION* v);
// The state image alone (56 bytes in the older layout, whose reader sets the
// lineage name to the state id); the lineage travels after all images.
int nio_write_state(zul::ByteMover* m, const STATE* s, int older);
int nio_read_state(zul::ByteMover* m, STATE* s, int older);
int nio_write_logfile(zul::ByteMover* m, const LOGFILE* l);
int nio_read_logfile(zul::ByteMover* m, LOGFILE* l);
// 592 bytes in the older layout, whose reader empties the object database.
int nio_write_metadata(zul::ByteMover* m, const METADATA_RECORD* r, int older);
int nio_read_metadata(zul::ByteMover* m, METADATA_RECORD* r, int older);
// The locator image alone; the properties travel after all images. The
// reader keeps its property pointers and checks the count (0 to
// SE_LOCATOR_MAX_PROPERTIES).
#define SE_LOCATOR_MAX_PROPERTIES 1024
int nio_write_locator(zul::ByteMover* m, const LOCATOR* l);
int nio_read_locator(zul::ByteMover* m, LOCATOR* l);

// ---- lock records ---------------------------------------------------------------
int nio_write_layer_lock(zul::ByteMover* m, const SE_LAYER_LOCKS* l);
int nio_read_layer_lock(zul::ByteMover* m, SE_LAYER_LOCKS* l);
int nio_write_table_lock(zul::ByteMover* m, const SE_TABLE_LOCK* l);
int nio_read_table_lock(zul::ByteMover* m, SE_TABLE_LOCK* l);
int nio_write_object_lock(zul::ByteMover* m, const SE_OBJECT_LOCK* l);
int nio_read_object_lock(zul::ByteMover* m, SE_OBJECT_LOCK* l);

// ---- raster records ----------------------------------------------------------------
// The image, then the COORDREF only when the column has one. The reader
// learns that from the peer's pointer word: it reads into its own reference
// (creating one when it had none; a failure is a mapped geometry status) or
// frees the one it had.
// Reads the COORDREF that follows a record into *slot when follows is set
// (creating the reference when *slot is null), or frees *slot and clears it
// when not. A failure to create is the mapped geometry status.
int nio_attach_coordref(zul::ByteMover* m, COORDREF** slot, int follows, int legacy);
int nio_write_rastercolumn(zul::ByteMover* m, const RASTERCOLUMN* r);
int nio_read_rastercolumn(zul::ByteMover* m, RASTERCOLUMN* r);
// The reader clears the two local values and the update mask.
int nio_write_rasterband(zul::ByteMover* m, const RASTERBAND* b);
int nio_read_rasterband(zul::ByteMover* m, RASTERBAND* b);
int nio_write_raster(zul::ByteMover* m, const RASTER* r);
int nio_read_raster(zul::ByteMover* m, RASTER* r);
// Read only by the server: the 160-byte image.
int nio_write_rasterattr(zul::ByteMover* m, const RASTERATTR* a);
int nio_read_rasterattr(zul::ByteMover* m, RASTERATTR* a);
// The 40-byte image then the band numbers. The reader allocates the record
// (zero-filled) and the numbers (none for 0 bands); a band count outside 0 to
// SE_RASCONSTRAINT_MAX_BANDS is refused (-1). Free with
// SES_rasconstraint_free.
#define SE_RASCONSTRAINT_MAX_BANDS 65536
int nio_write_rasconstraint(zul::ByteMover* m, const RASCONSTRAINT* c);
int nio_read_rasconstraint(zul::ByteMover* m, RASCONSTRAINT** c);
void SES_rasconstraint_free(RASCONSTRAINT* c);

#endif
