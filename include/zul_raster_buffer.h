// zul_raster_buffer.h -- the raster buffer that carries raster tiles between
// client and server in blocks, as the stream buffer carries rows.
//
// Each tile is packed as seven 32-bit integers (data length, band id, pixel
// type word, pixel count, row, column, level; little-endian in the block)
// followed by its bytes. A put or get can, on request, convert the tile the
// way a pixel block is stored (zul_pixels.h): multi-byte pixels reversed,
// then zlib or JPEG. Inside the system tiles pass unconverted.
//
// Wire form (RB_send_buffer), every item through the channel: status, last
// flag and tile count as longs, always; then per tile the seven integers as
// longs and its bytes as one block; then a flush.
//
// Numbered notes:
//  1. A received buffer is believed only after checks: the tile count and
//     each tile's header against the block (its length not negative, the
//     header and bytes within the data size, its pixel count not negative).
//     A buffer that fails is refused with SE_INVALID_PARAM after the rest of
//     its tiles have been read off the channel, so the connection stays in
//     step; its tiles are dropped. A count or length that cannot be drained
//     within CH_MAX_DRAIN leaves the channel out of step (-10).
//  2. RB_get_tile writes into the tile's data at most RB_tile_capacity bytes
//     (the data size, or the work buffer's size when converting, whichever is
//     larger); the caller's buffer must hold that many. A stored tile that
//     would decode to more fails with -1.
//  3. A put that fails leaves the buffer as it was: cursor back at the
//     tile's header, tile not counted. A get that fails has consumed the tile.
//
// State of a buffer:
//   RB_init (no block) --first put or receive--> block
//   writer: RB_reset --> filling (RB_put_tile) --RB_send_buffer--> sent
//   reader: RB_reset --> RB_receive_buffer --> tiles left (RB_get_tile) -->
//           tile count 0: RB_EMPTY
#ifndef ZUL_RASTER_BUFFER_H
#define ZUL_RASTER_BUFFER_H

#include <stdint.h>

#include "zul_channel.h"
#include "zul_pixels.h"

#define RB_FULL            (-3001)  // the tile does not fit: not packed
#define RB_EMPTY           (-3002)  // no tiles left in this buffer
#define RB_BAD_COMPRESSION (-316)   // compression other than 0, 1 or 2
#define RB_BAD_BAND        (-246)   // band id below 1

#define RB_TILE_HEADER     28       // seven 32-bit integers

// One tile as the DB2 streams deliver it and the raster buffer carries it.
struct RASTER_TILE {
  int32_t  local_word;    // the holder's own word, not used here
  int32_t  band_id;       // raster band id; at least 1 to be put
  int32_t  type_word;     // pixel type word (zul_pixels.h)
  int32_t  row;           // tile row
  int32_t  column;        // tile column
  int32_t  level;         // pyramid level
  uint8_t* data;          // the tile's bytes: the pixels, then an optional mask
  int32_t  data_length;   // bytes of data
  int32_t  pixel_count;   // pixels of the tile; bytes beyond count x bytes per pixel are the mask
};

// The raster buffer (zero-filled when created).
struct RASTER_BUFFER {
  int32_t  status;        // 0, or an error sent to the receiver
  int32_t  last;          // 1: the last buffer of the transfer
  int32_t  tile_count;    // tiles held (writer) or not yet taken (reader)
  int32_t  data_size;     // bytes of the data block
  uint8_t* block;         // the data block (SES_buffer_alloc on first use), or null
  uint8_t* cursor;        // write or read position in the block
  uint8_t* header;        // header of the tile being put, null between puts
  SE_CODEC codec;         // zlib and JPEG contexts, each made on first use
  int32_t  work_size;     // bytes of the work buffer; the data size when 0
  uint8_t* work;          // the work buffer (SES_buffer_alloc), or null
  int32_t  work_alloc;    // bytes allocated behind work
};

// Allocates a buffer of data_size bytes (the block comes on first use): 0,
// -65 for a null out, -66 for a negative size, -999.
int32_t RB_init(RASTER_BUFFER** out, int32_t data_size);
// Gives back the block, the work buffer and the codec contexts, frees the
// record and sets *rb to null; null is ignored.
void RB_free(RASTER_BUFFER** rb);
// Status, last flag and tile count to 0, the cursor to the block's start.
void RB_reset(RASTER_BUFFER* rb);
void RB_set_last(RASTER_BUFFER* rb);
void RB_set_error(RASTER_BUFFER* rb, int32_t code);
int32_t RB_get_buffer_size(const RASTER_BUFFER* rb);
int32_t RB_get_error(const RASTER_BUFFER* rb);
int32_t RB_get_num_tiles(const RASTER_BUFFER* rb);
int32_t RB_is_empty(const RASTER_BUFFER* rb);
int32_t RB_is_last(const RASTER_BUFFER* rb);
// The bytes RB_get_tile may write into a tile's data (note 2).
int32_t RB_tile_capacity(const RASTER_BUFFER* rb);

// Appends a tile; with convert, encodes it as a pixel block first (width,
// height and quality serve JPEG). 0 (a tile of 0 bytes adds nothing); -65
// (null buffer, tile or data); RB_BAD_BAND; -66 (negative length, or a pixel
// count beyond the data); RB_BAD_COMPRESSION; -1 (JPEG with other than 8
// bits per pixel, or a failed compression); RB_FULL; -999; context errors.
int32_t RB_put_tile(RASTER_BUFFER* rb, const RASTER_TILE* tile, int32_t width, int32_t height, int32_t quality,
                    int32_t convert);
// Takes the next tile into the caller's record and data buffer (note 2);
// with convert, decodes it. 0; -65; RB_EMPTY; RB_BAD_COMPRESSION; -1 (a
// failed or oversize decompression, a pixel count beyond the data); -999;
// context errors.
int32_t RB_get_tile(RASTER_BUFFER* rb, RASTER_TILE* tile, int32_t convert);
// The wire form. Send: 0 or -10. Receive (after RB_reset): 0 (the received
// status is stored; read it with RB_get_error), -66 for a refused buffer
// (note 1), -999, -10.
int32_t RB_send_buffer(RASTER_BUFFER* rb, CHANNEL* ch);
int32_t RB_receive_buffer(RASTER_BUFFER* rb, CHANNEL* ch);

#endif
