// zul_stream_buffer.h -- the stream buffer that carries the rows of a query or
// a buffered write in blocks, the row description every row operation takes,
// the row's own value buffers, and the rows and blob values that travel
// straight on the channel instead.
//
// A writer packs whole rows (indicators, blob ids, present values) and the
// pieces of their blob columns into one data block; SB_send_buffer sends a
// short header and the block in one exchange; the reader receives it and
// unpacks the rows one by one. Rows are packed as little-endian native
// images or in XDR form, chosen when the buffer is made. A row too large for
// an empty block travels out of band: the buffer goes out as a header alone
// and the row follows on the channel (SES_write_out_of_band_row), its blob
// values as segments (SES_write_direct_blob).
//
// Numbered notes:
//  1. A received buffer is believed only after checks: the byte count
//     against the block, the row count against the bytes, and while a row
//     is unpacked every length against the bytes left and against the
//     column's definition (a string's size, the annotation text, the
//     compressed feature against its own header, a blob piece). A buffer
//     that fails is refused with SE_INVALID_PARAM after its bytes have been
//     read off the channel, so the connection stays in step; its remaining
//     rows are dropped.
//  2. The reader decodes every fixed-size value (small integer, integer,
//     float, double, date, raster) into the column's value buffer and points
//     the value pointer at it, in both encodings, so the caller may read it
//     through a typed pointer. A native string's pointer points at its bytes
//     inside the block (valid until the buffer is received again or reset);
//     an XDR string is decoded into the value buffer. Only columns whose
//     indicator is 2 carry a value: 1 sets the value pointer to null, and a
//     shape column with 3 keeps its feature untouched.
//  3. A shape column carries its annotation text exactly when the column's
//     feature flags hold SE_FEATURE_HAS_ANNO, on both ends (an annotated
//     feature without text sends an empty one). The writer's row must carry
//     the layer's flags as the reader's does.
//  4. The size estimate of a row never counts fewer bytes than the packing
//     writes, in either encoding; packing still checks every write against
//     the block.
//  5. Blob pieces follow their row. A caller adds one piece sequence for each
//     blob column whose indicator is 2, in column order, as far as the block
//     takes them; a value cut at the end of the block is the buffer's
//     partial blob column, and its rest travels outside the buffer. A new piece
//     closes a blob still open in another column; a new row or a send closes
//     any open blob. In XDR form room for the closing padding is kept with
//     every piece.
//
// State of a buffer:
//   created (no block) --SB_put_row/SB_put_blob/SB_receive_buffer--> block
//   writer: SB_reset --> filling (SB_put_row, SB_put_blob) --SB_send_buffer-->
//           sent; SB_reset starts the next fill
//   reader: SB_receive_buffer --> rows left (SB_get_row, SB_get_blob) -->
//           row count 0: -3002, or -4 when the last flag is set
//   SB_set_type turns an empty buffer from one kind into the other.
#ifndef ZUL_STREAM_BUFFER_H
#define ZUL_STREAM_BUFFER_H

#include <stdint.h>

#include <rpc/xdr.h>

#include "zul_channel.h"
#include "zul_layer.h"

// ---- kinds and encodings
#define SB_READER  1
#define SB_WRITER  2
#define SB_ENCODING_XDR 1   // any other value: native images

// ---- indicators of a STREAM_ROW
#define SB_IND_NULL            1   // the value is null
#define SB_IND_VALUE           2   // a value is present
#define SB_IND_NOT_TRANSFERRED 3   // shape columns: the shape is not sent

// ---- pieces of SB_put_blob
#define SB_PIECE_MORE  2   // more pieces of this value follow
#define SB_PIECE_LAST  3   // the last piece of this value

// ---- status codes of these functions
#define SB_FULL             (-3001)  // the row or piece does not fit: not packed
#define SB_EMPTY            (-3002)  // no rows left in this buffer
#define SB_OUT_OF_BAND      (-3003)  // the row travels outside the buffer
#define SB_BLOBS_FOLLOW     (-3004)  // packed; the row's blob values must follow
#define SB_BLOB_CONTINUES   (-3005)  // no piece here, or the value goes on in the next buffer
#define SB_WRONG_KIND       (-3006)  // a reader used as a writer or the reverse
#define SB_NULL_VALUE       (-1004)  // the column's value is null
#define SB_NOT_BLOB_COLUMN  (-114)   // not a blob column
#define SB_FILE_WRITE_SHORT (-79)    // a blob segment could not be written whole to its file

// ---- sizes
#define SB_BLOB_SEGMENT     60000    // largest blob segment on the channel
#define SB_RASTER_VALUE     160      // value buffer of a raster column (a RASTERATTR image)
#define SB_DATE_VALUE       36       // value buffer of a date column (nine 32-bit integers)
// Most bytes a direct blob may gather in memory: its length travels as a
// 32-bit count, and this keeps the growing buffer below that count.
#define SB_MAX_DIRECT_BLOB  (INT32_MAX - SB_BLOB_SEGMENT)

// A blob value: the value buffer of a blob column, and what SB_get_blob and
// the direct-blob functions fill. The bytes are malloc'd and owned by the
// record, which also knows their capacity, so that no received length can
// write past them: a read grows the bytes (realloc) when they are too small.
struct SE_BLOB_INFO {
  int32_t blob_length;     // bytes of the value
  char*   blob_buffer;     // the bytes, owned; or null
  int32_t blob_capacity;   // bytes allocated behind blob_buffer
};

// The row description the caller owns and hands to every row operation.
struct STREAM_ROW {
  int16_t     num_columns;     // columns of the row
  COLUMN_DEF* column_defs;     // num_columns definitions (only type and size are read here)
  int16_t*    indicators;      // one per column: SB_IND_*; other values carry no value
  void**      values;          // one per column: the column's current value
  void**      value_buffers;   // one per column: buffers the row owns (SES_allocate_row_pointers)
  int16_t     num_blob_ids;    // entries of blob_ids
  int32_t*    blob_ids;        // carried with every row
  int32_t*    feature_flags;   // one per column, or null: SE_FEATURE_* of a shape column
};

// The stream buffer. Positions are byte offsets into the block.
struct STREAM_BUFFER {
  int32_t  status;            // 0, or an error sent in place of the contents
  int32_t  bytes_used;        // bytes of complete packed data in the block
  int32_t  row_count;         // rows packed (writer) or not yet unpacked (reader)
  int16_t  partial_blob_col;  // blob column cut at the end of this buffer, -1 none
  int32_t  last;              // 1: the last buffer of the stream
  int32_t  out_of_band;       // 1: the next row travels outside the buffer
  int32_t  block_size;        // bytes of the data block
  int32_t  fill_threshold;    // bytes used above which a limited put refuses rows
  int32_t  object_limit;      // rows at which a limited put refuses rows
  int16_t  kind;              // SB_READER or SB_WRITER
  uint8_t* block;             // the data block (SES_buffer_alloc), or null before first use
  int32_t  cursor;            // read or write position
  int32_t  end_of_data;       // after the last complete row (writer), after the received bytes (reader)
  int32_t  blob_len_pos;      // position of the open blob's length word, -1 none
  int32_t  encoding;          // SB_ENCODING_XDR, else native
  XDR      xdr;               // XDR memory stream over the block (XDR form, once the block exists)
  int32_t  xdr_ready;         // non-zero while xdr is set up
  int32_t* blob_pos;          // reader: position of each column's blob piece in the current row, -1 none
  int32_t  blob_pos_cap;      // entries of blob_pos
};

// ---- stream buffer (strm_buf.cpp)

// Makes an empty buffer without a block. -66 for a negative size or count,
// max_size below min_size, a null out or a kind other than 1 or 2; -999 when
// the record cannot be had.
int32_t SB_init(int32_t kind, int32_t min_size, int32_t max_size, int32_t min_objects,
                int32_t encoding, STREAM_BUFFER** out);
// Gives the block and the record back; null is ignored.
void SB_free(STREAM_BUFFER* sb);
// Empties the buffer (status, counts, flags; positions to the block start).
void SB_reset(STREAM_BUFFER* sb);
int32_t SB_is_out_of_band(const STREAM_BUFFER* sb);
int32_t SB_is_last(const STREAM_BUFFER* sb);
int32_t SB_get_partial_blob_column_id(const STREAM_BUFFER* sb);
int32_t SB_get_object_count(const STREAM_BUFFER* sb);
int32_t SB_is_empty(const STREAM_BUFFER* sb);
int32_t SB_get_bytes_used(const STREAM_BUFFER* sb);
// Writers only: -66 on null, -3006 on a reader.
int32_t SB_set_last_buffer(STREAM_BUFFER* sb);
int32_t SB_set_error(STREAM_BUFFER* sb, int32_t code);
// Turns an empty buffer into the other kind: -66 on null or a bad kind, -1
// while bytes are used, -999 when the reader's tables cannot be had.
int32_t SB_set_type(STREAM_BUFFER* sb, int32_t kind);
// Packs one row: 0, SB_BLOBS_FOLLOW (the row has blob columns; add their
// pieces with SB_put_blob), SB_FULL, SB_OUT_OF_BAND (the row does not fit an
// empty block: the buffer is marked and the row must go out of band), -66,
// SB_WRONG_KIND, -999, -10 (XDR encoding failed), -1 (unknown column type).
// With apply_limits set, a row is refused once bytes used pass the fill
// threshold or the row count reaches the object limit.
int32_t SB_put_row(const STREAM_ROW* row, int32_t apply_limits, STREAM_BUFFER* sb);
// Appends a piece of a blob column's value (note 5): 0, SB_FULL, -66,
// SB_WRONG_KIND, -999.
int32_t SB_put_blob(int32_t length, const void* data, int32_t column, int32_t piece_kind,
                    STREAM_BUFFER* sb);
// Unpacks the next row (note 2): 0, SE_FINISHED (-4), SB_EMPTY,
// SB_OUT_OF_BAND, SB_WRONG_KIND, -66 (bad arguments, or a corrupt row: note
// 1), -999, -1 (unknown column type).
int32_t SB_get_row(STREAM_BUFFER* sb, STREAM_ROW* row);
// The current row's piece of a blob column: 0; SB_BLOB_CONTINUES (no piece
// here, length 0; or the piece is delivered and the value goes on in the next
// buffer); SB_NULL_VALUE; SB_NOT_BLOB_COLUMN; -66; SB_WRONG_KIND; -999. The
// blob's data is allocated, or grown, to hold the piece.
int32_t SB_get_blob(STREAM_BUFFER* sb, const STREAM_ROW* row, int32_t column, SE_BLOB_INFO* blob);
// Wire form: status; when 0, bytes used, row count, partial blob column
// (short), last flag, out-of-band flag, and the block unless out of band or
// empty. Send: 0, or -10. Receive: 0, the received non-zero status, -66 for a
// refused header or block (note 1; the bytes are read off first), -999, -10.
int32_t SB_send_buffer(CHANNEL* ch, STREAM_BUFFER* sb);
int32_t SB_receive_buffer(CHANNEL* ch, STREAM_BUFFER* sb);

// ---- row value buffers, out-of-band rows, direct blobs (rowtrans.cpp)

// Frees what the row holds, then gives it indicators, value pointers and one
// zero-filled value buffer per column by type (a blob column's data is
// blob_size bytes when blob_size is at least 1). 0, -66 (bad row), -999,
// -107 (unknown column type; nothing is left allocated).
int32_t SES_allocate_row_pointers(STREAM_ROW* row, int32_t blob_size);
// Frees the indicators, value pointers and value buffers (a feature's parts,
// a blob's data); every pointer is set to null.
void SES_free_row_pointers(STREAM_ROW* row);
// Writes the row on the channel and flushes: SB_BLOBS_FOLLOW when a blob
// column has a value (send it with SES_write_direct_blob), else 0; -10 on a
// channel failure; -107 for an unknown column type; -66 for a bad row.
int32_t SES_write_out_of_band_row(CHANNEL* ch, const STREAM_ROW* row);
// Reads a row written by the above into the row; with use_buffers 1 the value
// pointers of present columns are first set to the value buffers. The count
// of indicators must equal the row's column count. 0; -10 (channel failure,
// or a count that differs: the rest of the row cannot be found); -66 (a value
// broke its column's size: the row was read to its end); -107.
int32_t SES_read_out_of_band_row(CHANNEL* ch, STREAM_ROW* row, int32_t use_buffers);
// Sends the blob in segments of at most SB_BLOB_SEGMENT bytes, the last
// possibly empty, then the blob end. 0, -10, -66.
int32_t SES_write_direct_blob(CHANNEL* ch, const SE_BLOB_INFO* blob);
// Reads one blob's segments and its end. With a file (fd not -1) or discard
// set, every segment passes through one buffer (a fresh one of
// SB_BLOB_SEGMENT bytes unless buffer_given is 1) and a file receives each
// one. Otherwise the segments are gathered: into the blob's own bytes as
// given (buffer_given 1, up to their capacity), or into bytes that grow as
// they arrive. The blob's length becomes the bytes received. 0; -10; SB_FILE_WRITE_SHORT
// (reading went on to the end); -66 (a segment did not fit the given buffer,
// or the blob outgrew SB_MAX_DIRECT_BLOB: read to its end, the rest dropped);
// -999.
int32_t SES_read_direct_blob(CHANNEL* ch, int32_t buffer_given, int32_t discard, int fd,
                             SE_BLOB_INFO* blob);
// 1 when a column of the row is a raster column with a value, else 0.
int32_t SES_raster_present(const STREAM_ROW* row);

#endif
