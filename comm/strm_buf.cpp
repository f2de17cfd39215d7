// strm_buf.cpp -- the stream buffer: rows packed into one block, sent with a
// short header, unpacked one by one on the other side.
//
// The rules of the packed form and of a received buffer are the numbered
// notes of zul_stream_buffer.h. Packing and unpacking go through one cursor
// that writes or reads the block in the buffer's encoding: little-endian
// images by hand, XDR through the libtirpc memory stream over the block
// (created over the whole block for a writer, over the received bytes for a
// reader), so no item is ever moved past the block or past the received
// bytes. The block comes from SES_buffer_alloc at first use. Relies on the
// channel for the wire form, the compressed-feature helpers (comp_ftr.h) and
// the XDR date record (zul_xdr.h). Divisions:
//   1. cursor
//   2. life cycle and getters
//   3. writer: size estimate, SB_put_row, SB_put_blob
//   4. reader: SB_get_row, SB_get_blob
//   5. wire form: SB_send_buffer, SB_receive_buffer
#include "zul_stream_buffer.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "comp_ftr.h"
#include "strm_buf.h"
#include "svr_services.h"
#include "zul_status.h"
#include "zul_xdr.h"

namespace {

bool is_xdr(const STREAM_BUFFER* sb) { return sb->encoding == SB_ENCODING_XDR; }
uint32_t pad4(uint32_t n) { return (4u - (n & 3u)) & 3u; }

void put_word(uint8_t* p, uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; i++) p[big_endian ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get_word(const uint8_t* p, bool big_endian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(p[big_endian ? 3 - i : i]) << (8 * i);
  return v;
}

// ---- 1. cursor ----------------------------------------------------------------
//
// One position in the block with a limit: the block size for a writer, the
// received bytes for a reader. Every call answers false, moving nothing, when
// the item would cross the limit. In XDR form the memory stream holds the
// position; in native form the cursor does.
class Cursor {
 public:
  Cursor(STREAM_BUFFER* sb, int32_t limit)
      : sb_(sb), x_(&sb->xdr), xdr_(is_xdr(sb)), pos_(sb->cursor), limit_(limit) {
    if (xdr_) XDR_SETPOS(x_, static_cast<u_int>(pos_));
  }
  int32_t tell() const { return xdr_ ? static_cast<int32_t>(XDR_GETPOS(x_)) : pos_; }
  int32_t left() const { return limit_ - tell(); }
  void seek(int32_t p) {
    if (xdr_)
      XDR_SETPOS(x_, static_cast<u_int>(p));
    else
      pos_ = p;
  }
  bool xdr() const { return xdr_; }
  XDR* stream() { return x_; }
  uint8_t* here() { return sb_->block + tell(); }

  // ---- writing
  bool w16(int16_t v) {
    if (xdr_) {
      short s = v;
      return xdr_short(x_, &s);
    }
    if (left() < 2) return false;
    uint16_t u = static_cast<uint16_t>(v);
    sb_->block[pos_] = static_cast<uint8_t>(u);
    sb_->block[pos_ + 1] = static_cast<uint8_t>(u >> 8);
    pos_ += 2;
    return true;
  }
  bool w32(int32_t v) {
    if (xdr_) {
      int i = v;
      return xdr_int(x_, &i);
    }
    return native_word(static_cast<uint32_t>(v));
  }
  bool wu32(uint32_t v) {
    if (xdr_) {
      u_int u = v;
      return xdr_u_int(x_, &u);
    }
    return native_word(v);
  }
  bool wf32(float v) {
    if (xdr_) return xdr_float(x_, &v);
    uint32_t u;
    memcpy(&u, &v, 4);
    return native_word(u);
  }
  bool wf64(double v) {
    if (xdr_) return xdr_double(x_, &v);
    uint64_t u;
    memcpy(&u, &v, 8);
    if (left() < 8) return false;
    native_word(static_cast<uint32_t>(u));
    return native_word(static_cast<uint32_t>(u >> 32));
  }
  // n raw bytes; XDR form pads them to a multiple of 4 when pad is set.
  bool wraw(const void* p, uint32_t n, bool pad) {
    if (xdr_) {
      if (pad) return xdr_opaque(x_, static_cast<char*>(const_cast<void*>(p)), n);
      return n == 0 || XDR_PUTBYTES(x_, static_cast<char*>(const_cast<void*>(p)), n);
    }
    if (left() < 0 || static_cast<uint32_t>(left()) < n) return false;
    if (n) memcpy(sb_->block + pos_, p, n);
    pos_ += static_cast<int32_t>(n);
    return true;
  }
  bool wdate(const SE_DATE* d) {
    if (xdr_) return xdr_SE_DATE(x_, const_cast<SE_DATE*>(d));
    if (left() < SE_DATE_IMAGE) return false;
    const int32_t v[9] = {d->sec, d->min, d->hour, d->mday, d->mon, d->year, d->wday, d->yday, d->isdst};
    for (int32_t x : v) native_word(static_cast<uint32_t>(x));
    return true;
  }

  // ---- reading
  bool r16(int16_t* v) {
    if (xdr_) {
      short s;
      if (!xdr_short(x_, &s)) return false;
      *v = s;
      return true;
    }
    if (left() < 2) return false;
    *v = static_cast<int16_t>(sb_->block[pos_] | (sb_->block[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool r32(int32_t* v) {
    if (xdr_) {
      int i;
      if (!xdr_int(x_, &i)) return false;
      *v = i;
      return true;
    }
    uint32_t u;
    if (!native_read(&u)) return false;
    *v = static_cast<int32_t>(u);
    return true;
  }
  bool ru32(uint32_t* v) {
    if (xdr_) {
      u_int u;
      if (!xdr_u_int(x_, &u)) return false;
      *v = u;
      return true;
    }
    return native_read(v);
  }
  bool rf32(float* v) {
    if (xdr_) return xdr_float(x_, v);
    uint32_t u;
    if (!native_read(&u)) return false;
    memcpy(v, &u, 4);
    return true;
  }
  bool rf64(double* v) {
    if (xdr_) return xdr_double(x_, v);
    if (left() < 8) return false;
    uint32_t lo, hi;
    native_read(&lo);
    native_read(&hi);
    uint64_t u = (static_cast<uint64_t>(hi) << 32) | lo;
    memcpy(v, &u, 8);
    return true;
  }
  bool rraw(void* p, uint32_t n, bool pad) {
    if (xdr_) {
      if (pad) return xdr_opaque(x_, static_cast<char*>(p), n);
      return n == 0 || XDR_GETBYTES(x_, static_cast<char*>(p), n);
    }
    if (left() < 0 || static_cast<uint32_t>(left()) < n) return false;
    if (n) memcpy(p, sb_->block + pos_, n);
    pos_ += static_cast<int32_t>(n);
    return true;
  }
  // Moves over n bytes (and their XDR padding when pad is set).
  bool skip(uint32_t n, bool pad) {
    uint64_t len = static_cast<uint64_t>(n) + (xdr_ && pad ? pad4(n) : 0);
    if (left() < 0 || static_cast<uint64_t>(left()) < len) return false;
    seek(tell() + static_cast<int32_t>(len));
    return true;
  }
  bool rdate(SE_DATE* d) {
    if (xdr_) return xdr_SE_DATE(x_, d);
    if (left() < SE_DATE_IMAGE) return false;
    int32_t* const v[9] = {&d->sec, &d->min, &d->hour, &d->mday, &d->mon, &d->year, &d->wday, &d->yday, &d->isdst};
    for (int32_t* p : v) r32(p);
    return true;
  }

  // Commits the position to the buffer's cursor.
  void commit() { sb_->cursor = tell(); }

 private:
  bool native_word(uint32_t v) {
    if (left() < 4) return false;
    put_word(sb_->block + pos_, v, false);
    pos_ += 4;
    return true;
  }
  bool native_read(uint32_t* v) {
    if (left() < 4) return false;
    *v = get_word(sb_->block + pos_, false);
    pos_ += 4;
    return true;
  }

  STREAM_BUFFER* sb_;
  XDR* x_;
  bool xdr_;
  int32_t pos_;
  int32_t limit_;
};

// Sets up the XDR stream of the buffer's kind: over the whole block for a
// writer, over the received bytes for a reader.
void xdr_setup(STREAM_BUFFER* sb, int32_t len, xdr_op op) {
  if (!is_xdr(sb) || !sb->block) return;
  if (sb->xdr_ready) xdr_destroy(&sb->xdr);
  xdrmem_create(&sb->xdr, reinterpret_cast<char*>(sb->block), static_cast<u_int>(len), op);
  sb->xdr_ready = 1;
}

// Positions of the current row's blob pieces, one a column.
int32_t ensure_blob_table(STREAM_BUFFER* sb, int32_t columns) {
  int32_t want = columns < 256 ? 256 : columns;
  if (sb->blob_pos && sb->blob_pos_cap >= want) return 0;
  int32_t* t = static_cast<int32_t*>(realloc(sb->blob_pos, sizeof(int32_t) * static_cast<size_t>(want)));
  if (!t) return SE_OUT_OF_MEMORY;
  for (int32_t i = sb->blob_pos_cap; i < want; i++) t[i] = -1;
  sb->blob_pos = t;
  sb->blob_pos_cap = want;
  return 0;
}

void clear_blob_table(STREAM_BUFFER* sb) {
  for (int32_t i = 0; i < sb->blob_pos_cap; i++) sb->blob_pos[i] = -1;
}

int32_t ensure_block(STREAM_BUFFER* sb) {
  if (sb->block) return 0;
  sb->block = static_cast<uint8_t*>(SES_buffer_alloc(static_cast<size_t>(sb->block_size)));
  if (!sb->block) {
    fprintf(stderr, "%s: errno = %d\n", "buffer_alloc stream buffer block", errno);
    return SE_OUT_OF_MEMORY;
  }
  sb->cursor = 0;
  sb->end_of_data = 0;
  sb->blob_len_pos = -1;
  xdr_setup(sb, sb->kind == SB_WRITER ? sb->block_size : 0, sb->kind == SB_WRITER ? XDR_ENCODE : XDR_DECODE);
  if (sb->kind == SB_READER) return ensure_blob_table(sb, 0);
  return 0;
}

// A row whose arrays the functions may use for its column count.
bool row_usable(const STREAM_ROW* row) {
  if (row->num_columns < 0 || row->num_blob_ids < 0) return false;
  if (row->num_columns > 0 && (!row->column_defs || !row->indicators || !row->values)) return false;
  return row->num_blob_ids == 0 || row->blob_ids;
}

int32_t column_flags(const STREAM_ROW* row, int32_t i) { return row->feature_flags ? row->feature_flags[i] : 0; }

const char* anno_text(const FEATURE_STRUCT* f) { return f->anno ? f->anno->text : ""; }

}  // namespace

// ---- 2. life cycle and getters --------------------------------------------------

int32_t SB_init(int32_t kind, int32_t min_size, int32_t max_size, int32_t min_objects, int32_t encoding,
                STREAM_BUFFER** out) {
  if (min_size < 0 || max_size < 0 || min_objects < 0 || max_size < min_size || !out) return SE_INVALID_PARAM;
  if (kind != SB_READER && kind != SB_WRITER) return SE_INVALID_PARAM;
  STREAM_BUFFER* sb = static_cast<STREAM_BUFFER*>(calloc(1, sizeof(STREAM_BUFFER)));
  if (!sb) return SE_OUT_OF_MEMORY;
  sb->partial_blob_col = -1;
  sb->block_size = max_size;
  sb->fill_threshold = min_size;
  sb->object_limit = min_objects;
  sb->kind = static_cast<int16_t>(kind);
  sb->encoding = encoding;
  sb->blob_len_pos = -1;
  *out = sb;
  return 0;
}

void SB_free(STREAM_BUFFER* sb) {
  if (!sb) return;
  if (sb->xdr_ready) xdr_destroy(&sb->xdr);
  if (sb->block) SES_buffer_free(sb->block, static_cast<size_t>(sb->block_size));
  free(sb->blob_pos);
  free(sb);
}

void SB_reset(STREAM_BUFFER* sb) {
  if (!sb) return;
  sb->status = 0;
  sb->bytes_used = 0;
  sb->row_count = 0;
  sb->last = 0;
  sb->out_of_band = 0;
  sb->partial_blob_col = -1;
  if (!sb->block) return;
  sb->cursor = 0;
  sb->end_of_data = 0;
  sb->blob_len_pos = -1;
  if (sb->kind == SB_WRITER)
    xdr_setup(sb, sb->block_size, XDR_ENCODE);
  else
    xdr_setup(sb, 0, XDR_DECODE);
  clear_blob_table(sb);
}

int32_t SB_is_out_of_band(const STREAM_BUFFER* sb) { return sb ? sb->out_of_band : 0; }
int32_t SB_is_last(const STREAM_BUFFER* sb) { return sb ? sb->last : 0; }
int32_t SB_get_partial_blob_column_id(const STREAM_BUFFER* sb) { return sb ? sb->partial_blob_col : -1; }
int32_t SB_get_object_count(const STREAM_BUFFER* sb) { return sb ? sb->row_count : 0; }
int32_t SB_is_empty(const STREAM_BUFFER* sb) { return sb && sb->row_count != 0 ? 0 : 1; }
int32_t SB_get_bytes_used(const STREAM_BUFFER* sb) { return sb ? sb->bytes_used : 0; }

int32_t SB_set_last_buffer(STREAM_BUFFER* sb) {
  if (!sb) return SE_INVALID_PARAM;
  if (sb->kind != SB_WRITER) return SB_WRONG_KIND;
  sb->last = 1;
  return 0;
}

int32_t SB_set_error(STREAM_BUFFER* sb, int32_t code) {
  if (!sb) return SE_INVALID_PARAM;
  if (sb->kind != SB_WRITER) return SB_WRONG_KIND;
  sb->status = code;
  return 0;
}

int32_t SB_set_type(STREAM_BUFFER* sb, int32_t kind) {
  if (!sb || (kind != SB_READER && kind != SB_WRITER)) return SE_INVALID_PARAM;
  if (sb->bytes_used != 0) return -1;
  if (sb->kind == kind) return 0;
  sb->kind = static_cast<int16_t>(kind);
  SB_reset(sb);
  if (kind == SB_WRITER) {
    free(sb->blob_pos);
    sb->blob_pos = nullptr;
    sb->blob_pos_cap = 0;
    return 0;
  }
  return sb->block ? ensure_blob_table(sb, 0) : 0;
}

// ---- 3. writer --------------------------------------------------------------------

namespace {

// Bytes the row may take at most (note 4). A string takes its length word,
// and in XDR form the string's count and up to three bytes of padding; the
// annotation text of a shape is a string too.
int64_t row_size_estimate(const STREAM_ROW* row, bool xdr) {
  int64_t size = static_cast<int64_t>(row->num_columns) * (xdr ? 4 : 2) + 4 * static_cast<int64_t>(row->num_blob_ids);
  for (int32_t i = 0; i < row->num_columns; i++) {
    if (row->indicators[i] != SB_IND_VALUE) continue;
    const void* v = row->values[i];
    switch (row->column_defs[i].type) {
      case SE_SMALLINT: size += xdr ? 4 : 2; break;
      case SE_INTEGER:
      case SE_FLOAT:
      case SE_RASTER: size += 4; break;
      case SE_DOUBLE: size += 8; break;
      case SE_STRING: size += (v ? static_cast<int64_t>(strlen(static_cast<const char*>(v))) + 9 : 4) + (xdr ? 4 : 0); break;
      case SE_BLOB: break;
      case SE_DATE_TYPE: size += xdr ? 40 : 36; break;
      case SE_SHAPE: {
        const FEATURE_STRUCT* f = static_cast<const FEATURE_STRUCT*>(v);
        if (!f) break;
        size += SES_get_compressed_buffer_size(f) + (xdr ? 20 : 14);
        if (column_flags(row, i) & SE_FEATURE_HAS_ANNO)
          size += static_cast<int64_t>(strnlen(anno_text(f), SE_ANNO_TEXT_LEN - 1)) + (xdr ? 13 : 5);
        break;
      }
      default:
        fprintf(stderr, "S_stream_row_calc_size()::Invalid data column type (%ld)\n",
                static_cast<long>(row->column_defs[i].type));
    }
  }
  return size;
}

// Packs one present value. 0, -66 for a missing value, -1 for an unknown
// type, 1 when the block ran out (the estimate keeps that from happening).
int32_t pack_value(Cursor& c, const STREAM_ROW* row, int32_t i) {
  const void* v = row->values[i];
  int32_t type = row->column_defs[i].type;
  if (type == SE_BLOB) return 0;
  if (!v && type != SE_STRING) {
    if (type < SE_SMALLINT || type > SE_RASTER) {
      fprintf(stderr, "SB_put_row()::Invalid data column type (%ld)\n", static_cast<long>(type));
      return -1;
    }
    return SE_INVALID_PARAM;
  }
  bool ok = true;
  switch (type) {
    case SE_SMALLINT: ok = c.w16(*static_cast<const int16_t*>(v)); break;
    case SE_INTEGER: ok = c.w32(*static_cast<const int32_t*>(v)); break;
    case SE_FLOAT: ok = c.wf32(*static_cast<const float*>(v)); break;
    case SE_DOUBLE: ok = c.wf64(*static_cast<const double*>(v)); break;
    case SE_RASTER: {
      int32_t first;
      memcpy(&first, v, 4);
      ok = c.w32(first);
      break;
    }
    case SE_STRING: {
      // A missing string travels as length 0 and is read back as no value.
      const char* s = static_cast<const char*>(v);
      uint32_t n = s ? static_cast<uint32_t>(strlen(s)) : 0;
      ok = c.w32(s ? static_cast<int32_t>(n + 1) : 0);
      if (c.xdr()) {
        u_int count = n;
        ok = ok && xdr_u_int(c.stream(), &count) && c.wraw(s, n, true);
      } else if (s) {
        ok = ok && c.wraw(s, n + 1, false);
      }
      break;
    }
    case SE_DATE_TYPE: ok = c.wdate(static_cast<const SE_DATE*>(v)); break;
    case SE_SHAPE: {
      const FEATURE_STRUCT* f = static_cast<const FEATURE_STRUCT*>(v);
      int32_t n = SES_get_compressed_buffer_size(f);
      ok = c.wu32(f->fid) && c.w32(f->numofpts) && c.w16(f->entity);
      if (ok && (column_flags(row, i) & SE_FEATURE_HAS_ANNO)) {
        const char* t = anno_text(f);
        uint32_t tl = static_cast<uint32_t>(strnlen(t, SE_ANNO_TEXT_LEN - 1));
        ok = c.w32(static_cast<int32_t>(tl + 1));
        if (c.xdr()) {
          u_int count = tl;
          ok = ok && xdr_u_int(c.stream(), &count) && c.wraw(t, tl, true);
        } else {
          static const char nul = 0;
          ok = ok && c.wraw(t, tl, false) && c.wraw(&nul, 1, false);
        }
      }
      ok = ok && c.w32(n) && c.wraw(f->buffer, static_cast<uint32_t>(n), true);
      break;
    }
    default:
      fprintf(stderr, "SB_put_row()::Invalid data column type (%ld)\n", static_cast<long>(type));
      return -1;
  }
  return ok ? 0 : 1;
}

// Writes the open blob's length word (after its XDR padding). The padding's
// room was kept by every piece.
void close_blob(STREAM_BUFFER* sb) {
  if (sb->blob_len_pos < 0) return;
  bool xdr = is_xdr(sb);
  uint32_t len = static_cast<uint32_t>(sb->cursor - sb->blob_len_pos - 4);
  if (xdr) {
    uint32_t p = pad4(len);
    memset(sb->block + sb->cursor, 0, p);
    sb->cursor += static_cast<int32_t>(p);
  }
  put_word(sb->block + sb->blob_len_pos, len, xdr);
  sb->blob_len_pos = -1;
  sb->bytes_used = sb->end_of_data = sb->cursor;
}

}  // namespace

int32_t SB_put_row(const STREAM_ROW* row, int32_t apply_limits, STREAM_BUFFER* sb) {
  if (!row || !sb) return SE_INVALID_PARAM;
  if (sb->kind != SB_WRITER) return SB_WRONG_KIND;
  if (!row_usable(row)) return SE_INVALID_PARAM;
  int32_t rc = ensure_block(sb);
  if (rc != 0) return rc;
  bool xdr = is_xdr(sb);
  int64_t estimate = row_size_estimate(row, xdr);
  if (static_cast<int64_t>(sb->block_size) - sb->bytes_used < estimate) {
    if (sb->bytes_used == 0) {
      sb->out_of_band = 1;
      return SB_OUT_OF_BAND;
    }
    return SB_FULL;
  }
  if (apply_limits && !(sb->bytes_used <= sb->fill_threshold && sb->row_count < sb->object_limit)) return SB_FULL;

  // A row after an open blob means that blob ended here.
  close_blob(sb);
  int16_t saved_partial = sb->partial_blob_col;
  sb->partial_blob_col = -1;
  int32_t start = sb->cursor;
  Cursor c(sb, sb->block_size);
  bool ok = true;
  for (int32_t i = 0; ok && i < row->num_columns; i++) ok = c.w16(row->indicators[i]);
  for (int32_t i = 0; ok && i < row->num_blob_ids; i++) ok = c.w32(row->blob_ids[i]);
  bool has_blobs = false;
  rc = ok ? 0 : 1;
  for (int32_t i = 0; rc == 0 && i < row->num_columns; i++) {
    if (row->column_defs[i].type == SE_BLOB) has_blobs = true;
    if (row->indicators[i] == SB_IND_VALUE) rc = pack_value(c, row, i);
  }
  if (rc != 0) {
    // Nothing of the row stays in the block.
    sb->cursor = start;
    sb->partial_blob_col = saved_partial;
    if (xdr) XDR_SETPOS(&sb->xdr, static_cast<u_int>(start));
    if (rc > 0) {
      if (sb->bytes_used == 0) {
        sb->out_of_band = 1;
        return SB_OUT_OF_BAND;
      }
      return SB_FULL;
    }
    return rc;
  }
  c.commit();
  sb->end_of_data = sb->bytes_used = sb->cursor;
  sb->row_count++;
  return has_blobs ? SB_BLOBS_FOLLOW : 0;
}

int32_t SB_put_blob(int32_t length, const void* data, int32_t column, int32_t piece_kind, STREAM_BUFFER* sb) {
  if (!sb || length < 0 || column < 0 || column > INT16_MAX || (!data && length > 0)) return SE_INVALID_PARAM;
  if (piece_kind != SB_PIECE_MORE && piece_kind != SB_PIECE_LAST) return SE_INVALID_PARAM;
  if (sb->kind != SB_WRITER) return SB_WRONG_KIND;
  int32_t rc = ensure_block(sb);
  if (rc != 0) return rc;
  bool xdr = is_xdr(sb);
  bool same_column = column == sb->partial_blob_col;
  bool continues = same_column && sb->blob_len_pos >= 0;
  // The value was cut at the end of this buffer: the rest goes in the next.
  if (same_column && !continues) return SB_FULL;
  int64_t so_far = continues ? sb->cursor - sb->blob_len_pos - 4 : 0;
  int64_t need = (continues ? 0 : 4) + static_cast<int64_t>(length) + (xdr ? pad4(static_cast<uint32_t>(so_far + length)) : 0);
  if (static_cast<int64_t>(sb->block_size) - sb->cursor < need) {
    if (continues) close_blob(sb);
    return SB_FULL;
  }
  if (!continues) {
    close_blob(sb);
    sb->partial_blob_col = static_cast<int16_t>(column);
    sb->blob_len_pos = sb->cursor;
    memset(sb->block + sb->cursor, 0, 4);
    sb->cursor += 4;
  }
  if (length > 0) memcpy(sb->block + sb->cursor, data, static_cast<size_t>(length));
  sb->cursor += length;
  sb->bytes_used = sb->end_of_data = sb->cursor;
  if (piece_kind == SB_PIECE_LAST) {
    close_blob(sb);
    sb->partial_blob_col = -1;
  }
  return 0;
}

// ---- 4. reader ----------------------------------------------------------------------

namespace {

// A string value: length L (strlen + 1, or 0 for none), then the text (native:
// L bytes ending in NUL; XDR: an XDR string of L - 1 characters). cap is the
// room of the column's value buffer, NUL included. Native text stays in the
// block (*out points at it); XDR text is copied into buf.
bool read_string(Cursor& c, char* buf, int64_t cap, char** out) {
  int32_t len;
  if (!c.r32(&len) || len < 0 || len > cap) return false;
  if (c.xdr()) {
    u_int count;
    if (!xdr_u_int(c.stream(), &count)) return false;
    if (len == 0 ? count != 0 : count != static_cast<u_int>(len - 1)) return false;
    if (!c.rraw(buf, count, true)) return false;
    buf[count] = '\0';
    *out = len ? buf : nullptr;
    return true;
  }
  if (len == 0) {
    *out = nullptr;
    return true;
  }
  if (c.left() < len) return false;
  char* text = reinterpret_cast<char*>(c.here());
  if (text[len - 1] != '\0') return false;
  c.skip(static_cast<uint32_t>(len), false);
  *out = text;
  return true;
}

// A shape value into the column's feature. 0, -66 for a value that breaks a
// limit, -999.
int32_t read_shape(Cursor& c, FEATURE_STRUCT* f, int32_t flags) {
  uint32_t fid;
  int32_t npts, size;
  int16_t entity;
  if (!c.ru32(&fid) || !c.r32(&npts) || !c.r16(&entity)) return SE_INVALID_PARAM;
  if (npts < 0 || npts > SG_MAX_POINTS) return SE_INVALID_PARAM;
  if (flags & SE_FEATURE_HAS_ANNO) {
    char text[SE_ANNO_TEXT_LEN];
    char* got = nullptr;
    if (!read_string(c, text, SE_ANNO_TEXT_LEN, &got)) return SE_INVALID_PARAM;
    if (!f->anno && SES_anno_create(&f->anno) != 0) return SE_OUT_OF_MEMORY;
    snprintf(f->anno->text, SE_ANNO_TEXT_LEN, "%s", got ? got : "");
  }
  if (!c.r32(&size) || size < 0 || size > CH_MAX_FEATURE_BYTES || size > c.left()) return SE_INVALID_PARAM;
  f->fid = fid;
  f->numofpts = npts;
  f->entity = entity;
  memset(&f->envelope, 0, sizeof f->envelope);
  memset(f->values, 0, sizeof f->values);
  f->area = 0;
  f->length = 0;
  f->sg_state &= ~static_cast<uint32_t>(SG_STATE_EXTENT | SG_STATE_AREA | SG_STATE_LENGTH);
  if (SES_comp_feature_alloc_by_size(f, flags, size) != 0) return SE_OUT_OF_MEMORY;
  if (!c.rraw(f->buffer, static_cast<uint32_t>(size), true)) return SE_INVALID_PARAM;
  // The compressed form states its own length: it must be the bytes sent.
  if (size > 0 && SES_get_compressed_buffer_size(f) != size) return SE_INVALID_PARAM;
  return 0;
}

// One present value into the column's value buffer (note 2).
int32_t unpack_value(Cursor& c, STREAM_ROW* row, int32_t i) {
  void* vb = row->value_buffers[i];
  const COLUMN_DEF& def = row->column_defs[i];
  bool ok = true;
  switch (def.type) {
    case SE_SMALLINT: ok = c.r16(static_cast<int16_t*>(vb)); break;
    case SE_INTEGER: ok = c.r32(static_cast<int32_t*>(vb)); break;
    case SE_FLOAT: ok = c.rf32(static_cast<float*>(vb)); break;
    case SE_DOUBLE: ok = c.rf64(static_cast<double*>(vb)); break;
    case SE_RASTER: {
      int32_t first;
      ok = c.r32(&first);
      if (ok) memcpy(vb, &first, 4);
      break;
    }
    case SE_DATE_TYPE: ok = c.rdate(static_cast<SE_DATE*>(vb)); break;
    case SE_STRING: {
      char* text = nullptr;
      if (def.size < 0 || !read_string(c, static_cast<char*>(vb), static_cast<int64_t>(def.size) + 1, &text))
        return SE_INVALID_PARAM;
      row->values[i] = text;
      return 0;
    }
    case SE_SHAPE: {
      int32_t rc = read_shape(c, static_cast<FEATURE_STRUCT*>(vb), column_flags(row, i));
      if (rc != 0) return rc;
      break;
    }
    default:
      fprintf(stderr, "SB_get_row()::Invalid data column type (%ld)\n", static_cast<long>(def.type));
      return -1;
  }
  if (!ok) return SE_INVALID_PARAM;
  row->values[i] = vb;
  return 0;
}

}  // namespace

int32_t SB_get_row(STREAM_BUFFER* sb, STREAM_ROW* row) {
  if (!sb || !row) return SE_INVALID_PARAM;
  if (sb->kind != SB_READER) return SB_WRONG_KIND;
  if (sb->out_of_band == 1) return SB_OUT_OF_BAND;
  if (sb->row_count <= 0) return sb->last ? SE_FINISHED : SB_EMPTY;
  if (!row_usable(row) || (row->num_columns > 0 && !row->value_buffers)) return SE_INVALID_PARAM;
  for (int32_t i = 0; i < row->num_columns; i++)
    if (row->column_defs[i].type != SE_BLOB && !row->value_buffers[i]) return SE_INVALID_PARAM;
  if (!sb->block) return SE_INVALID_PARAM;
  if (ensure_blob_table(sb, row->num_columns) != 0) return SE_OUT_OF_MEMORY;

  Cursor c(sb, sb->end_of_data);
  int32_t rc = 0;
  for (int32_t i = 0; rc == 0 && i < row->num_columns; i++)
    if (!c.r16(&row->indicators[i])) rc = SE_INVALID_PARAM;
  for (int32_t i = 0; rc == 0 && i < row->num_blob_ids; i++)
    if (!c.r32(&row->blob_ids[i])) rc = SE_INVALID_PARAM;
  bool has_blobs = false;
  for (int32_t i = 0; rc == 0 && i < row->num_columns; i++) {
    int32_t type = row->column_defs[i].type;
    int16_t ind = row->indicators[i];
    if (type == SE_BLOB) {
      has_blobs = true;
      continue;
    }
    if (ind == SB_IND_VALUE) {
      rc = unpack_value(c, row, i);
    } else if (type == SE_SHAPE && ind == SB_IND_NOT_TRANSFERRED) {
      row->values[i] = row->value_buffers[i];
    } else {
      row->values[i] = nullptr;
    }
  }
  // Each blob column with a value has its piece after the row, unless the
  // block ends first (the value then follows outside this buffer).
  for (int32_t i = 0; rc == 0 && has_blobs && i < row->num_columns; i++) {
    if (row->column_defs[i].type != SE_BLOB) continue;
    sb->blob_pos[i] = -1;
    row->values[i] = nullptr;
    if (row->indicators[i] != SB_IND_VALUE || c.left() <= 0) continue;
    int32_t at = c.tell();
    int32_t len;
    if (!c.r32(&len) || len < 0 || !c.skip(static_cast<uint32_t>(len), true)) {
      rc = SE_INVALID_PARAM;
      break;
    }
    sb->blob_pos[i] = at;
    if (!c.xdr()) row->values[i] = sb->block + at;
  }
  if (rc != 0) {
    // A row that does not decode spoils the rest of the block.
    sb->row_count = 0;
    sb->cursor = sb->end_of_data;
    return rc;
  }
  c.commit();
  sb->row_count--;
  return 0;
}

int32_t SB_get_blob(STREAM_BUFFER* sb, const STREAM_ROW* row, int32_t column, SE_BLOB_INFO* blob) {
  if (!sb || !row || !blob || column < 0 || column >= row->num_columns || !row_usable(row)) return SE_INVALID_PARAM;
  if (sb->kind != SB_READER) return SB_WRONG_KIND;
  if (row->indicators[column] == SB_IND_NULL) return SB_NULL_VALUE;
  if (row->column_defs[column].type != SE_BLOB) return SB_NOT_BLOB_COLUMN;
  int32_t at = !sb->out_of_band && sb->block && column < sb->blob_pos_cap ? sb->blob_pos[column] : -1;
  if (at < 0) {
    blob->blob_length = 0;
    return SB_BLOB_CONTINUES;
  }
  // The piece was measured against the received bytes when its row was read.
  int32_t len = static_cast<int32_t>(get_word(sb->block + at, is_xdr(sb)));
  if (len > 0 && (!blob->blob_buffer || blob->blob_capacity < len)) {
    char* grown = static_cast<char*>(realloc(blob->blob_buffer, static_cast<size_t>(len)));
    if (!grown) return SE_OUT_OF_MEMORY;
    blob->blob_buffer = grown;
    blob->blob_capacity = len;
  }
  if (len > 0) memcpy(blob->blob_buffer, sb->block + at + 4, static_cast<size_t>(len));
  blob->blob_length = len;
  return sb->row_count == 0 && column == sb->partial_blob_col ? SB_BLOB_CONTINUES : 0;
}

// ---- 5. wire form ---------------------------------------------------------------------

int32_t SB_send_buffer(CHANNEL* ch, STREAM_BUFFER* sb) {
  if (!ch || !sb) return SE_INVALID_PARAM;
  if (CH_write_long(ch, sb->status) != 0) return SE_NET_FAILURE;
  if (sb->status != 0) return CH_flush(ch) == 0 ? 0 : SE_NET_FAILURE;
  if (sb->kind == SB_WRITER && sb->block) close_blob(sb);
  if (CH_write_long(ch, sb->bytes_used) != 0 || CH_write_long(ch, sb->row_count) != 0 ||
      CH_write_short(ch, sb->partial_blob_col) != 0 || CH_write_long(ch, sb->last) != 0 ||
      CH_write_long(ch, sb->out_of_band) != 0)
    return SE_NET_FAILURE;
  // Without a block the send is not flushed: an out-of-band row follows and
  // flushes the channel itself.
  if (sb->out_of_band == 1 || sb->bytes_used < 1 || !sb->block) return 0;
  if (CH_write_block(ch, sb->block, sb->bytes_used) != 0) return SE_NET_FAILURE;
  return CH_flush(ch) == 0 ? 0 : SE_NET_FAILURE;
}

int32_t sb_drain_block(CHANNEL* ch, int32_t len, uint8_t* scratch, int32_t cap) {
  if (len > CH_MAX_DRAIN) return SE_NET_FAILURE;
  if (ch->kind == CH_KIND_XDR) return CH_read_block(ch, scratch, 0) == 0 ? 0 : SE_NET_FAILURE;
  uint8_t local[4096];
  if (!scratch || cap <= 0) {
    scratch = local;
    cap = sizeof local;
  }
  while (len > 0) {
    int32_t n = len < cap ? len : cap;
    if (CH_read_block(ch, scratch, n) != 0) return SE_NET_FAILURE;
    len -= n;
  }
  return 0;
}

int32_t SB_receive_buffer(CHANNEL* ch, STREAM_BUFFER* sb) {
  if (!ch || !sb) return SE_INVALID_PARAM;
  SB_reset(sb);
  int32_t alloc_rc = ensure_block(sb);
  int32_t status, used, rows, last, oob;
  int16_t partial;
  if (CH_read_long(ch, &status) != 0) return SE_NET_FAILURE;
  if (status != 0) return status;
  if (CH_read_long(ch, &used) != 0 || CH_read_long(ch, &rows) != 0 || CH_read_short(ch, &partial) != 0 ||
      CH_read_long(ch, &last) != 0 || CH_read_long(ch, &oob) != 0)
    return SE_NET_FAILURE;
  bool block_follows = oob != 1 && used >= 1;
  int32_t refused = 0;
  if (used < 0 || rows < 0 || partial < -1 || (block_follows ? rows > used : rows != 0)) refused = SE_INVALID_PARAM;
  if (block_follows && used > sb->block_size) refused = SE_INVALID_PARAM;
  if (alloc_rc != 0) refused = alloc_rc;
  if (block_follows) {
    if (refused != 0) {
      if (sb_drain_block(ch, used, sb->block, sb->block ? sb->block_size : 0) != 0) return SE_NET_FAILURE;
    } else if (CH_read_block(ch, sb->block, used) != 0) {
      return SE_NET_FAILURE;
    }
  }
  if (refused != 0) {
    SB_reset(sb);
    return refused;
  }
  sb->bytes_used = block_follows ? used : 0;
  sb->row_count = rows;
  sb->partial_blob_col = partial;
  sb->last = last;
  sb->out_of_band = oob;
  sb->end_of_data = sb->bytes_used;
  if (sb->kind == SB_READER) xdr_setup(sb, sb->bytes_used, XDR_DECODE);
  return 0;
}
