// raster_buf.cpp -- the raster buffer: tiles packed into one block, sent and
// received through the channel, optionally converted as pixel blocks.
//
// Relies on SES_buffer_alloc for the block and the work buffer, on the
// pixel block codec (comp_pixels.cpp) for conversion on get, and on the zlib
// and JPEG wrappers for conversion on put, which compresses straight into
// the free part of the block, and on the stream buffer's block drain
// (strm_buf.h). The rules for received buffers are the numbered notes of
// zul_raster_buffer.h.
//
// Divisions:
//   1. helpers: tile headers, block and work buffer
//   2. record and accessors
//   3. RB_put_tile, RB_get_tile
//   4. wire form: RB_send_buffer, RB_receive_buffer
#include "zul_raster_buffer.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "strm_buf.h"
#include "svr_services.h"
#include "zul_status.h"

namespace {

// ---- 1. helpers ----------------------------------------------------------------

// Header fields in block order.
enum { H_LENGTH, H_BAND, H_TYPE, H_PIXELS, H_ROW, H_COLUMN, H_LEVEL, H_FIELDS };

void put_le32(uint8_t* p, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
int32_t get_le32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return static_cast<int32_t>(v);
}

void write_header(uint8_t* p, const int32_t h[H_FIELDS]) {
  for (int i = 0; i < H_FIELDS; i++) put_le32(p + 4 * i, h[i]);
}
void read_header(const uint8_t* p, int32_t h[H_FIELDS]) {
  for (int i = 0; i < H_FIELDS; i++) h[i] = get_le32(p + 4 * i);
}

int32_t used_bytes(const RASTER_BUFFER* rb) { return rb->block ? static_cast<int32_t>(rb->cursor - rb->block) : 0; }

int32_t ensure_block(RASTER_BUFFER* rb) {
  if (rb->block || rb->data_size == 0) return 0;
  rb->block = static_cast<uint8_t*>(SES_buffer_alloc(static_cast<size_t>(rb->data_size)));
  if (!rb->block) {
    fprintf(stderr, "%s: errno = %d\n", "buffer_alloc raster buffer block", errno);
    return SE_OUT_OF_MEMORY;
  }
  rb->cursor = rb->block;
  rb->header = nullptr;
  return 0;
}

int32_t work_size(const RASTER_BUFFER* rb) { return rb->work_size > 0 ? rb->work_size : rb->data_size; }

int32_t ensure_work(RASTER_BUFFER* rb) {
  if (rb->work) return 0;
  int32_t size = work_size(rb);
  if (size == 0) return 0;
  rb->work = static_cast<uint8_t*>(SES_buffer_alloc(static_cast<size_t>(size)));
  if (!rb->work) return SE_OUT_OF_MEMORY;
  rb->work_alloc = size;
  return 0;
}

// Bytes of the first pixel_count pixels of a type word.
int64_t pixel_bytes_of(int32_t type_word, int32_t pixel_count) {
  uint32_t bits = SE_PIXEL_BITS(type_word);
  if (bits > 8 && bits % 8 == 0) return static_cast<int64_t>(pixel_count) * (bits / 8);
  return bits == 8 ? pixel_count : 0;
}

void reverse_pixels(uint8_t* dst, const uint8_t* src, int64_t count, int32_t size) {
  for (int64_t i = 0; i < count; i++, dst += size, src += size)
    for (int32_t k = 0; k < size; k++) dst[k] = src[size - 1 - k];
}

}  // namespace

// ---- 2. record and accessors ----------------------------------------------------

int32_t RB_init(RASTER_BUFFER** out, int32_t data_size) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  if (data_size < 0) return SE_INVALID_PARAM;
  RASTER_BUFFER* rb = static_cast<RASTER_BUFFER*>(calloc(1, sizeof(RASTER_BUFFER)));
  if (!rb) return SE_OUT_OF_MEMORY;
  rb->data_size = data_size;
  *out = rb;
  return 0;
}

void RB_free(RASTER_BUFFER** prb) {
  if (!prb || !*prb) return;
  RASTER_BUFFER* rb = *prb;
  if (rb->block && rb->data_size > 0) SES_buffer_free(rb->block, static_cast<size_t>(rb->data_size));
  if (rb->work && rb->work_alloc > 0) SES_buffer_free(rb->work, static_cast<size_t>(rb->work_alloc));
  if (rb->codec.inflater) SES_inflate_end(rb->codec.inflater);
  if (rb->codec.deflater) SES_deflate_end(rb->codec.deflater);
  if (rb->codec.jpeg_out) SES_jpeg_compress_end(rb->codec.jpeg_out);
  if (rb->codec.jpeg_in) SES_jpeg_decompress_end(rb->codec.jpeg_in);
  free(rb);
  *prb = nullptr;
}

void RB_reset(RASTER_BUFFER* rb) {
  if (!rb) return;
  rb->status = 0;
  rb->last = 0;
  rb->tile_count = 0;
  rb->cursor = rb->block;
  rb->header = nullptr;
}

void RB_set_last(RASTER_BUFFER* rb) {
  if (rb) rb->last = 1;
}
void RB_set_error(RASTER_BUFFER* rb, int32_t code) {
  if (rb) rb->status = code;
}
int32_t RB_get_buffer_size(const RASTER_BUFFER* rb) { return rb ? rb->data_size : 0; }
int32_t RB_get_error(const RASTER_BUFFER* rb) { return rb ? rb->status : 0; }
int32_t RB_get_num_tiles(const RASTER_BUFFER* rb) { return rb ? rb->tile_count : 0; }
int32_t RB_is_empty(const RASTER_BUFFER* rb) { return rb && rb->tile_count != 0 ? 0 : 1; }
int32_t RB_is_last(const RASTER_BUFFER* rb) { return rb ? rb->last : 0; }

int32_t RB_tile_capacity(const RASTER_BUFFER* rb) {
  if (!rb) return 0;
  int32_t w = work_size(rb);
  return w > rb->data_size ? w : rb->data_size;
}

// ---- 3. RB_put_tile, RB_get_tile ------------------------------------------------

int32_t RB_put_tile(RASTER_BUFFER* rb, const RASTER_TILE* tile, int32_t width, int32_t height, int32_t quality,
                    int32_t convert) {
  if (!rb || !tile || !tile->data) return SE_INVALID_POINTER;
  if (tile->band_id < 1) return RB_BAD_BAND;
  if (tile->data_length < 0) return SE_INVALID_PARAM;
  if (tile->data_length == 0) return 0;
  int32_t rc = ensure_block(rb);
  if (rc != 0) return rc;
  const int32_t comp = SE_PIXEL_COMPRESSION(tile->type_word);
  if (comp > SE_COMPRESSION_JPEG) {
    SES_print_debug(stderr, "RB_put_tile: invalid compression type.\n");
    return RB_BAD_COMPRESSION;
  }
  const int32_t len = tile->data_length;
  const uint32_t bits = SE_PIXEL_BITS(tile->type_word);
  const int64_t pixel_bytes = pixel_bytes_of(tile->type_word, tile->pixel_count);
  if (convert) {
    if (tile->pixel_count < 0 || pixel_bytes > len) return SE_INVALID_PARAM;
    if (comp == SE_COMPRESSION_JPEG) {
      if (bits != 8) {
        SES_print_debug(stderr, "RB_put_tile: Invalid pixel depth (%d) for JPEG compression.\n", static_cast<int>(bits));
        return -1;
      }
      if (!rb->codec.jpeg_out && (rc = SES_jpeg_compress_init(&rb->codec.jpeg_out)) != 0) return rc;
    }
    if (!rb->codec.deflater && (rc = SES_deflate_init(&rb->codec.deflater)) != 0) return rc;
    if ((rc = ensure_work(rb)) != 0) return rc;
  }

  // Room for the header and the bytes; zlib's growth is allowed for with
  // compression 1, and every result is checked against the room again.
  int64_t counted = len;
  if (convert && comp == SE_COMPRESSION_LZ77) counted = static_cast<int64_t>(len * 1.01 + 12.5);
  const int32_t free_room = rb->data_size - used_bytes(rb);
  if (counted + RB_TILE_HEADER > free_room) return RB_FULL;

  rb->header = rb->cursor;
  int32_t h[H_FIELDS] = {len, tile->band_id, tile->type_word, tile->pixel_count, tile->row, tile->column, tile->level};
  write_header(rb->header, h);
  uint8_t* payload = rb->header + RB_TILE_HEADER;
  const int32_t payload_room = free_room - RB_TILE_HEADER;
  int32_t out_len = len;

  if (!convert) {
    memcpy(payload, tile->data, static_cast<size_t>(len));
  } else if (comp == SE_COMPRESSION_JPEG) {
    uint8_t* w = rb->work;
    const int32_t wsize = rb->work_alloc;
    int32_t rest = len - static_cast<int32_t>(pixel_bytes);
    int32_t jlen = wsize - 5;
    rc = wsize > 5 ? SES_jpeg_compress(rb->codec.jpeg_out, w + 5, &jlen, tile->data, static_cast<int32_t>(pixel_bytes),
                                       width, height, quality)
                   : -1;
    if (rc != 0) {
      SES_print_debug(stderr, "SES_jpeg_compress: %d\n", rc);
      rb->header = nullptr;
      return -1;
    }
    int32_t zlen = 0;
    if (rest > 0) {
      zlen = wsize - 5 - jlen;
      rc = SES_deflate(rb->codec.deflater, w + 5 + jlen, &zlen, tile->data + pixel_bytes, rest);
      if (rc != 0) {
        SES_print_debug(stderr, "SES_deflate: %d\n", rc);
        rb->header = nullptr;
        return -1;
      }
    }
    int64_t need = rest > 0 ? 5 + static_cast<int64_t>(jlen) + zlen : 1 + static_cast<int64_t>(jlen);
    if (need > payload_room) {
      rb->header = nullptr;
      return RB_FULL;
    }
    if (rest > 0) {
      payload[0] = SE_JPEG_MARK_MASKED;
      put_le32(payload + 1, jlen);
      memcpy(payload + 5, w + 5, static_cast<size_t>(jlen) + static_cast<size_t>(zlen));
    } else {
      payload[0] = SE_JPEG_MARK_PLAIN;
      memcpy(payload + 1, w + 5, static_cast<size_t>(jlen));
    }
    out_len = static_cast<int32_t>(need);
  } else {
    // Multi-byte pixels reversed (8 bits and fewer copied), straight into the
    // block; zlib then compresses that copy through the work buffer.
    if (bits > 8 && bits % 8 == 0) {
      reverse_pixels(payload, tile->data, tile->pixel_count, static_cast<int32_t>(bits / 8));
      memcpy(payload + pixel_bytes, tile->data + pixel_bytes, static_cast<size_t>(len - pixel_bytes));
    } else {
      memcpy(payload, tile->data, static_cast<size_t>(len));
    }
    if (comp == SE_COMPRESSION_LZ77) {
      int32_t zlen = rb->work_alloc;
      rc = SES_deflate(rb->codec.deflater, rb->work, &zlen, payload, len);
      if (rc != 0) {
        SES_print_debug(stderr, "SES_deflate: %d\n", rc);
        rb->header = nullptr;
        return -1;
      }
      if (zlen > payload_room) {
        rb->header = nullptr;
        return RB_FULL;
      }
      memcpy(payload, rb->work, static_cast<size_t>(zlen));
      out_len = zlen;
    }
  }
  if (out_len != len) put_le32(rb->header, out_len);
  rb->cursor = payload + out_len;
  rb->header = nullptr;
  rb->tile_count++;
  return 0;
}

int32_t RB_get_tile(RASTER_BUFFER* rb, RASTER_TILE* tile, int32_t convert) {
  if (!rb || !tile || !tile->data) return SE_INVALID_POINTER;
  tile->data_length = 0;
  if (rb->tile_count < 1 || !rb->block) return RB_EMPTY;
  const int32_t left = rb->data_size - used_bytes(rb);
  if (left < RB_TILE_HEADER) return -1;
  int32_t h[H_FIELDS];
  read_header(rb->cursor, h);
  const int32_t stored = h[H_LENGTH];
  if (stored < 0 || stored > left - RB_TILE_HEADER) return -1;
  const uint8_t* bytes = rb->cursor + RB_TILE_HEADER;
  tile->band_id = h[H_BAND];
  tile->type_word = h[H_TYPE];
  tile->pixel_count = h[H_PIXELS];
  tile->row = h[H_ROW];
  tile->column = h[H_COLUMN];
  tile->level = h[H_LEVEL];
  // The tile is consumed whatever happens to its bytes.
  rb->cursor += RB_TILE_HEADER + stored;
  rb->tile_count--;

  if (!convert) {
    memcpy(tile->data, bytes, static_cast<size_t>(stored));
    tile->data_length = stored;
    return 0;
  }
  const int32_t comp = SE_PIXEL_COMPRESSION(tile->type_word);
  if (comp > SE_COMPRESSION_JPEG) {
    SES_print_debug(stderr, "RB_get_tile: invalid compression type.\n");
    return RB_BAD_COMPRESSION;
  }
  int32_t rc;
  if (!rb->codec.inflater && (rc = SES_inflate_init(&rb->codec.inflater)) != 0) return rc;
  if ((rc = ensure_work(rb)) != 0) return rc;
  const int64_t pixel_bytes = pixel_bytes_of(tile->type_word, tile->pixel_count);
  if (tile->pixel_count < 0 || pixel_bytes > RB_tile_capacity(rb)) return -1;
  int32_t n = stored;
  rc = SES_pixel_data_decode(&rb->codec, bytes, &n, tile->data, RB_tile_capacity(rb), static_cast<int32_t>(pixel_bytes),
                             tile->type_word, rb->work, rb->work_alloc);
  if (rc != 0) return rc < 0 && rc != SE_OUT_OF_MEMORY ? -1 : rc;
  tile->data_length = n;
  return 0;
}

// ---- 4. wire form ----------------------------------------------------------------

int32_t RB_send_buffer(RASTER_BUFFER* rb, CHANNEL* ch) {
  if (!rb || !ch) return SE_INVALID_POINTER;
  if (CH_write_long(ch, rb->status) != 0 || CH_write_long(ch, rb->last) != 0 ||
      CH_write_long(ch, rb->tile_count) != 0)
    return SE_NET_FAILURE;
  const uint8_t* p = rb->block;
  for (int32_t i = 0; i < rb->tile_count && p; i++) {
    int32_t h[H_FIELDS];
    read_header(p, h);
    for (int k = 0; k < H_FIELDS; k++)
      if (CH_write_long(ch, h[k]) != 0) return SE_NET_FAILURE;
    if (CH_write_block(ch, p + RB_TILE_HEADER, h[H_LENGTH]) != 0) return SE_NET_FAILURE;
    p += RB_TILE_HEADER + h[H_LENGTH];
  }
  return CH_flush(ch) == 0 ? 0 : SE_NET_FAILURE;
}

int32_t RB_receive_buffer(RASTER_BUFFER* rb, CHANNEL* ch) {
  if (!rb || !ch) return SE_INVALID_POINTER;
  int32_t status, last, count;
  if (CH_read_long(ch, &status) != 0 || CH_read_long(ch, &last) != 0 || CH_read_long(ch, &count) != 0)
    return SE_NET_FAILURE;
  int32_t refused = 0;
  if (count < 0) {
    refused = SE_INVALID_PARAM;  // nothing follows a negative count
    count = 0;
  } else if (count > CH_MAX_DRAIN / RB_TILE_HEADER) {
    return SE_NET_FAILURE;  // more tiles than could ever be drained: the frame is lost
  }
  int32_t rc = ensure_block(rb);
  if (rc != 0) refused = rc;
  int64_t drained = 0;
  uint8_t* p = rb->block;
  for (int32_t i = 0; i < count; i++) {
    int32_t h[H_FIELDS];
    for (int k = 0; k < H_FIELDS; k++)
      if (CH_read_long(ch, &h[k]) != 0) return SE_NET_FAILURE;
    const int32_t len = h[H_LENGTH];
    const int32_t room = p ? rb->data_size - static_cast<int32_t>(p - rb->block) : 0;
    if (refused == 0 && (len < 0 || h[H_PIXELS] < 0 || room < RB_TILE_HEADER || len > room - RB_TILE_HEADER))
      refused = SE_INVALID_PARAM;
    if (refused == 0) {
      write_header(p, h);
      if (CH_read_block(ch, p + RB_TILE_HEADER, len) != 0) return SE_NET_FAILURE;
      p += RB_TILE_HEADER + len;
      continue;
    }
    drained += RB_TILE_HEADER;
    if (len > 0) drained += len;
    if (drained > CH_MAX_DRAIN) return SE_NET_FAILURE;
    if (len >= 0 && sb_drain_block(ch, len, rb->block, rb->block ? rb->data_size : 0) != 0) return SE_NET_FAILURE;
  }
  if (refused != 0) {
    RB_reset(rb);
    return refused;
  }
  rb->status = status;
  rb->last = last;
  rb->tile_count = count;
  rb->cursor = rb->block;
  rb->header = nullptr;
  return 0;
}
