// rowtrans.cpp -- a row's own value buffers, and the rows and blob values
// that travel straight on the channel instead of inside a stream buffer.
//
// An out-of-band row is the indicator array (a counted short array), the
// blob ids (one long each, as many as the row holds) and, for each column
// whose indicator is 2, its value with the channel's own item of its type;
// blob and raster columns carry nothing there. A blob value travels as
// segments of at most SB_BLOB_SEGMENT bytes, the last one flagged, and a blob
// end. Every read goes through the channel's bounded items: a value longer
// than its column is drained by the channel and refused, the rest of the row
// is still read, so the connection stays in step. Relies on the channel
// (zul_channel.h) and the compressed-feature helpers (comp_ftr.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "comp_ftr.h"
#include "zul_status.h"
#include "zul_stream_buffer.h"

namespace {

// Bytes of the value buffer of a column type; 0 for an unknown type.
size_t value_buffer_size(const COLUMN_DEF& def) {
  switch (def.type) {
    case SE_SMALLINT: return sizeof(int16_t);
    case SE_INTEGER: return sizeof(int32_t);
    case SE_FLOAT: return sizeof(float);
    case SE_DOUBLE: return sizeof(double);
    case SE_STRING: return static_cast<size_t>(def.size) + 1;
    case SE_BLOB: return sizeof(SE_BLOB_INFO);
    case SE_DATE_TYPE: return SB_DATE_VALUE;
    case SE_SHAPE: return sizeof(FEATURE_STRUCT);
    case SE_RASTER: return SB_RASTER_VALUE;
    default: return 0;
  }
}

bool row_usable(const STREAM_ROW* row) {
  if (row->num_columns < 0 || row->num_blob_ids < 0) return false;
  if (row->num_columns > 0 && (!row->column_defs || !row->indicators || !row->values)) return false;
  return row->num_blob_ids == 0 || row->blob_ids;
}

// A failed read leaves the channel in step only when the channel says so.
int32_t read_failure(CHANNEL* ch, int32_t rc) {
  if ((rc == SE_INVALID_PARAM || rc == SE_OUT_OF_MEMORY) && !CH_out_of_step(ch)) return rc;
  return SE_NET_FAILURE;
}

}  // namespace

int32_t SES_allocate_row_pointers(STREAM_ROW* row, int32_t blob_size) {
  if (!row) return SE_INVALID_POINTER;
  SES_free_row_pointers(row);
  if (row->num_columns < 0 || (row->num_columns > 0 && !row->column_defs)) return SE_INVALID_PARAM;
  size_t n = static_cast<size_t>(row->num_columns);
  if (n == 0) return 0;
  for (size_t i = 0; i < n; i++) {
    const COLUMN_DEF& def = row->column_defs[i];
    if (def.type == SE_STRING && def.size < 0) return SE_INVALID_PARAM;
    if (value_buffer_size(def) == 0) return SE_INVALID_STREAM;
  }
  row->indicators = static_cast<int16_t*>(calloc(n, sizeof(int16_t)));
  row->values = static_cast<void**>(calloc(n, sizeof(void*)));
  row->value_buffers = static_cast<void**>(calloc(n, sizeof(void*)));
  if (!row->indicators || !row->values || !row->value_buffers) {
    SES_free_row_pointers(row);
    return SE_OUT_OF_MEMORY;
  }
  for (size_t i = 0; i < n; i++) {
    void* vb = calloc(1, value_buffer_size(row->column_defs[i]));
    if (!vb) {
      SES_free_row_pointers(row);
      return SE_OUT_OF_MEMORY;
    }
    row->value_buffers[i] = vb;
    row->values[i] = vb;
    if (row->column_defs[i].type == SE_BLOB && blob_size >= 1) {
      SE_BLOB_INFO* blob = static_cast<SE_BLOB_INFO*>(vb);
      blob->blob_buffer = static_cast<char*>(calloc(1, static_cast<size_t>(blob_size)));
      if (!blob->blob_buffer) {
        SES_free_row_pointers(row);
        return SE_OUT_OF_MEMORY;
      }
      blob->blob_length = blob_size;
      blob->blob_capacity = blob_size;
    }
  }
  return 0;
}

void SES_free_row_pointers(STREAM_ROW* row) {
  if (!row) return;
  if (row->value_buffers) {
    for (int32_t i = 0; i < row->num_columns; i++) {
      void* vb = row->value_buffers[i];
      if (!vb) continue;
      int32_t type = row->column_defs ? row->column_defs[i].type : 0;
      if (type == SE_SHAPE) SES_comp_feature_free(static_cast<FEATURE_STRUCT*>(vb));
      if (type == SE_BLOB) free(static_cast<SE_BLOB_INFO*>(vb)->blob_buffer);
      free(vb);
    }
  }
  free(row->indicators);
  free(row->values);
  free(row->value_buffers);
  row->indicators = nullptr;
  row->values = nullptr;
  row->value_buffers = nullptr;
}

int32_t SES_write_out_of_band_row(CHANNEL* ch, const STREAM_ROW* row) {
  if (!ch || !row || !row_usable(row)) return SE_INVALID_PARAM;
  // Everything is checked before the first byte goes out, so a refused row
  // leaves nothing half-sent.
  for (int32_t i = 0; i < row->num_columns; i++) {
    if (row->indicators[i] != SB_IND_VALUE) continue;
    int32_t type = row->column_defs[i].type;
    if (type < SE_SMALLINT || type > SE_RASTER) return SE_INVALID_STREAM;
    if (!row->values[i] && type != SE_STRING && type != SE_BLOB && type != SE_RASTER) return SE_INVALID_PARAM;
  }
  if (CH_write_short_array(ch, row->num_columns, row->indicators) != 0) return SE_NET_FAILURE;
  for (int32_t i = 0; i < row->num_blob_ids; i++)
    if (CH_write_long(ch, row->blob_ids[i]) != 0) return SE_NET_FAILURE;
  bool blob_value = false;
  for (int32_t i = 0; i < row->num_columns; i++) {
    if (row->indicators[i] != SB_IND_VALUE) continue;
    const void* v = row->values[i];
    int32_t rc = 0;
    switch (row->column_defs[i].type) {
      case SE_SMALLINT: rc = CH_write_short(ch, *static_cast<const int16_t*>(v)); break;
      case SE_INTEGER: rc = CH_write_long(ch, *static_cast<const int32_t*>(v)); break;
      case SE_FLOAT: rc = CH_write_float(ch, *static_cast<const float*>(v)); break;
      case SE_DOUBLE: rc = CH_write_lfloat(ch, *static_cast<const double*>(v)); break;
      case SE_STRING: rc = CH_write_string(ch, static_cast<const char*>(v)); break;
      case SE_DATE_TYPE: rc = CH_write_date(ch, static_cast<const SE_DATE*>(v)); break;
      case SE_SHAPE: rc = CH_write_compressed_feature(ch, static_cast<const FEATURE_STRUCT*>(v)); break;
      case SE_BLOB: blob_value = true; break;
      default: break;  // raster: travels inside a stream buffer only
    }
    if (rc != 0) return SE_NET_FAILURE;
  }
  if (CH_flush(ch) != 0) return SE_NET_FAILURE;
  return blob_value ? SB_BLOBS_FOLLOW : 0;
}

int32_t SES_read_out_of_band_row(CHANNEL* ch, STREAM_ROW* row, int32_t use_buffers) {
  if (!ch || !row || !row_usable(row)) return SE_INVALID_PARAM;
  int16_t count = 0;
  int16_t none = 0;
  int32_t rc = CH_read_short_array(ch, &count, row->indicators ? row->indicators : &none, row->num_columns);
  // Values follow the indicators: a count the row cannot hold leaves no way
  // to find where they end.
  if (rc != 0 || count != row->num_columns) {
    if (rc == 0) fprintf(stderr, "SES_read_out_of_band_row: %d columns sent for a row of %d\n", count, row->num_columns);
    return SE_NET_FAILURE;
  }
  for (int32_t i = 0; i < row->num_blob_ids; i++)
    if (CH_read_long(ch, &row->blob_ids[i]) != 0) return SE_NET_FAILURE;
  int32_t refused = 0;
  for (int32_t i = 0; i < row->num_columns; i++) {
    if (row->indicators[i] != SB_IND_VALUE) continue;
    const COLUMN_DEF& def = row->column_defs[i];
    if (use_buffers == 1 && row->value_buffers) row->values[i] = row->value_buffers[i];
    void* dest = row->values[i];
    // A value without a place is still read, into scratch, and then refused.
    union {
      int16_t s;
      int32_t l;
      float f;
      double d;
      SE_DATE date;
    } scratch;
    char text_scratch[1];
    rc = 0;
    switch (def.type) {
      case SE_SMALLINT: rc = CH_read_short(ch, dest ? static_cast<int16_t*>(dest) : &scratch.s); break;
      case SE_INTEGER: rc = CH_read_long(ch, dest ? static_cast<int32_t*>(dest) : &scratch.l); break;
      case SE_FLOAT: rc = CH_read_float(ch, dest ? static_cast<float*>(dest) : &scratch.f); break;
      case SE_DOUBLE: rc = CH_read_lfloat(ch, dest ? static_cast<double*>(dest) : &scratch.d); break;
      case SE_DATE_TYPE: rc = CH_read_date(ch, dest ? static_cast<SE_DATE*>(dest) : &scratch.date); break;
      case SE_STRING:
        if (def.size < 0 || !dest)
          rc = CH_read_string(ch, text_scratch, 1) ?: SE_INVALID_PARAM;
        else
          rc = CH_read_string(ch, static_cast<char*>(dest), def.size + 1);
        break;
      case SE_SHAPE:
        if (dest) {
          rc = CH_read_compressed_feature(ch, static_cast<FEATURE_STRUCT*>(dest));
        } else {
          FEATURE_STRUCT f{};
          rc = CH_read_compressed_feature(ch, &f);
          SES_comp_feature_free(&f);
          rc = rc ?: SE_INVALID_PARAM;
        }
        break;
      case SE_BLOB:
      case SE_RASTER: continue;
      default: return SE_INVALID_STREAM;
    }
    if (rc == 0 && !dest) rc = SE_INVALID_PARAM;
    if (rc != 0) {
      rc = read_failure(ch, rc);
      if (rc == SE_NET_FAILURE) return rc;
      if (refused == 0) refused = rc;
    }
  }
  return refused;
}

int32_t SES_write_direct_blob(CHANNEL* ch, const SE_BLOB_INFO* blob) {
  if (!ch || !blob || blob->blob_length < 0 || (blob->blob_length > 0 && !blob->blob_buffer))
    return SE_INVALID_PARAM;
  // A length beyond the known capacity is a count, not bytes that can be sent.
  if (blob->blob_capacity > 0 && blob->blob_length > blob->blob_capacity) return SE_INVALID_PARAM;
  const char* p = blob->blob_buffer;
  int32_t left = blob->blob_length;
  while (left > SB_BLOB_SEGMENT) {
    if (CH_write_blob_seg(ch, p, SB_BLOB_SEGMENT, 0) != 0) return SE_NET_FAILURE;
    p += SB_BLOB_SEGMENT;
    left -= SB_BLOB_SEGMENT;
  }
  if (CH_write_blob_seg(ch, p, left, 1) != 0) return SE_NET_FAILURE;
  if (CH_write_blob_end(ch, blob->blob_length, 1) != 0) return SE_NET_FAILURE;
  return 0;
}

int32_t SES_read_direct_blob(CHANNEL* ch, int32_t buffer_given, int32_t discard, int fd, SE_BLOB_INFO* blob) {
  if (!ch || !blob) return SE_INVALID_PARAM;
  bool pass_through = fd != -1 || discard == 1;
  bool to_file = fd != -1 && discard != 1;
  bool own_pass_buffer = pass_through && !buffer_given;
  int32_t result = 0;
  if (own_pass_buffer) {
    free(blob->blob_buffer);
    blob->blob_buffer = static_cast<char*>(malloc(SB_BLOB_SEGMENT));
    blob->blob_capacity = blob->blob_buffer ? SB_BLOB_SEGMENT : 0;
    if (!blob->blob_buffer) result = SE_OUT_OF_MEMORY;
  } else if (!blob->blob_buffer) {
    blob->blob_capacity = 0;
  }
  // Once the result is set, segments go to scratch and are dropped, so the
  // channel stays in step with the sender to the blob's end.
  char* scratch = nullptr;
  int64_t received = 0;
  int64_t kept = 0;
  int32_t last = 0;
  while (!last) {
    char* dst = nullptr;
    int32_t cap = 0;
    if (result == 0 && pass_through) {
      dst = blob->blob_buffer;
      cap = blob->blob_capacity;
    } else if (result == 0 && !buffer_given && blob->blob_capacity - kept < SB_BLOB_SEGMENT) {
      if (kept > SB_MAX_DIRECT_BLOB) {
        result = SE_INVALID_PARAM;
      } else {
        // Grow ahead of the data by at least one segment, doubling so that a
        // long blob is not copied once per segment.
        int64_t want = kept + SB_BLOB_SEGMENT;
        if (want < 2 * static_cast<int64_t>(blob->blob_capacity)) want = 2 * static_cast<int64_t>(blob->blob_capacity);
        if (want > SB_MAX_DIRECT_BLOB + SB_BLOB_SEGMENT) want = SB_MAX_DIRECT_BLOB + SB_BLOB_SEGMENT;
        char* grown = static_cast<char*>(realloc(blob->blob_buffer, static_cast<size_t>(want)));
        if (grown) {
          blob->blob_buffer = grown;
          blob->blob_capacity = static_cast<int32_t>(want);
        } else {
          result = SE_OUT_OF_MEMORY;
        }
      }
    }
    if (result == 0 && !pass_through && blob->blob_buffer) {
      dst = blob->blob_buffer + kept;
      cap = static_cast<int32_t>(blob->blob_capacity - kept);
    }
    bool keep = result == 0 && dst;
    if (!keep) {
      if (!scratch) scratch = static_cast<char*>(malloc(SB_BLOB_SEGMENT));
      dst = scratch;
      cap = scratch ? SB_BLOB_SEGMENT : 0;
    }
    int32_t len = 0;
    int32_t rc = CH_read_blob_seg(ch, dst, cap, &len, &last);
    if (rc != 0) {
      rc = read_failure(ch, rc);
      if (rc == SE_NET_FAILURE) {
        free(scratch);
        return rc;
      }
      if (result == 0) result = rc;
      continue;
    }
    received += len;
    if (!keep) continue;
    if (!pass_through) kept += len;
    if (to_file && len > 0 && write(fd, dst, static_cast<size_t>(len)) != len) result = SB_FILE_WRITE_SHORT;
  }
  free(scratch);
  if (CH_read_blob_end(ch, static_cast<int32_t>(received > INT32_MAX ? 0 : received), 1) != 0) return SE_NET_FAILURE;
  if (pass_through) {
    // The bytes went to the file or nowhere: the record keeps only their
    // count, and no pass-through bytes that a later send could misread.
    if (own_pass_buffer) {
      free(blob->blob_buffer);
      blob->blob_buffer = nullptr;
      blob->blob_capacity = 0;
    }
    blob->blob_length = static_cast<int32_t>(received > INT32_MAX ? INT32_MAX : received);
  } else {
    blob->blob_length = static_cast<int32_t>(kept);
  }
  return result;
}

int32_t SES_raster_present(const STREAM_ROW* row) {
  if (!row || !row->column_defs || !row->indicators) return 0;
  for (int32_t i = 0; i < row->num_columns; i++)
    if (row->column_defs[i].type == SE_RASTER && row->indicators[i] == SB_IND_VALUE) return 1;
  return 0;
}
