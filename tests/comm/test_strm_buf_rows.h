// test_strm_buf_rows.h -- rows for the stream-buffer and out-of-band tests:
// a STREAM_ROW with its own value buffers, compressed polylines, a channel
// pair in one process, and a byte builder for hand-made packed blocks in
// either encoding.
#ifndef ZUL_TEST_STRM_BUF_ROWS_H
#define ZUL_TEST_STRM_BUF_ROWS_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "comp_ftr.h"
#include "test_channel_pair.h"
#include "zul_channel.h"
#include "zul_stream_buffer.h"

namespace zultest {

struct Col {
  int32_t type;
  int32_t size;   // strings: the column's size
};

// A row with one value buffer per column; every column starts null.
class RowFixture {
 public:
  explicit RowFixture(const std::vector<Col>& cols, int16_t blob_ids = 0, int32_t flags = 0) {
    for (const Col& c : cols) {
      COLUMN_DEF d{};
      snprintf(d.name, sizeof d.name, "C%zu", defs_.size());
      d.type = c.type;
      d.size = c.size;
      defs_.push_back(d);
      flags_.push_back(flags);
    }
    ids_.assign(static_cast<size_t>(blob_ids), 0);
    row.num_columns = static_cast<int16_t>(defs_.size());
    row.column_defs = defs_.data();
    row.num_blob_ids = blob_ids;
    row.blob_ids = ids_.empty() ? nullptr : ids_.data();
    row.feature_flags = flags_.data();
    rc = SES_allocate_row_pointers(&row, 0);
    for (int i = 0; rc == 0 && i < row.num_columns; i++) row.indicators[i] = SB_IND_NULL;
  }
  ~RowFixture() { SES_free_row_pointers(&row); }
  RowFixture(const RowFixture&) = delete;
  RowFixture& operator=(const RowFixture&) = delete;

  template <class T>
  T& buf(int i) { return *static_cast<T*>(row.value_buffers[i]); }
  template <class T>
  const T& val(int i) const { return *static_cast<const T*>(row.values[i]); }
  // Marks column i present with its own buffer as the value.
  void present(int i) {
    row.indicators[i] = SB_IND_VALUE;
    row.values[i] = row.value_buffers[i];
  }
  void set_string(int i, const std::string& s) {
    present(i);
    snprintf(&buf<char>(i), static_cast<size_t>(defs_[static_cast<size_t>(i)].size) + 1, "%s", s.c_str());
  }
  FEATURE_STRUCT* shape(int i) { return static_cast<FEATURE_STRUCT*>(row.value_buffers[i]); }
  SE_BLOB_INFO* blob(int i) { return static_cast<SE_BLOB_INFO*>(row.value_buffers[i]); }

  STREAM_ROW row{};
  int32_t rc = 0;

 private:
  std::vector<COLUMN_DEF> defs_;
  std::vector<int32_t> flags_;
  std::vector<int32_t> ids_;
};

// Makes f an n-point polyline with id fid, compressed with flags.
inline int fill_polyline(FEATURE_STRUCT* f, uint32_t fid, int32_t n, int32_t flags = 0, const char* anno = nullptr) {
  if (SES_comp_feature_alloc(f, n, flags, 1) != 0) return -1;
  f->numofpts = n;
  f->entity = n == 1 ? SG_POINT_SHAPE : SG_LINE_SHAPE;
  f->fid = fid;
  for (int32_t i = 0; i < n; i++) f->points[i] = POINT{1000 + 7 * i + static_cast<int32_t>(fid), 2000 + 3 * i * i};
  if (anno) {
    if (!f->anno && SES_anno_create(&f->anno) != 0) return -1;
    snprintf(f->anno->text, SE_ANNO_TEXT_LEN, "%s", anno);
  }
  return SES_feature_compress(f, flags);
}

// The compressed bytes of a feature.
inline std::vector<uint8_t> comp_bytes(const FEATURE_STRUCT* f) {
  int32_t n = SES_get_compressed_buffer_size(f);
  return std::vector<uint8_t>(f->buffer, f->buffer + n);
}

// Both ends of a channel of one kind in this process (loopback TCP).
struct ChanPair {
  int fds[2] = {-1, -1};
  CHANNEL* w = nullptr;   // the connecting end
  CHANNEL* r = nullptr;   // the accepted end
  int32_t kind;
  explicit ChanPair(int32_t k) : kind(k) {
    if (!raw_pair(fds)) return;
    w = CH_create(k, 0, &fds[0]);
    r = CH_create(k, 0, &fds[1]);
  }
  ~ChanPair() {
    CH_destroy(w);
    CH_destroy(r);
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
};

// Packed bytes in one encoding: little-endian native images, or XDR (4-byte
// units, big-endian, shorts widened, byte runs padded).
struct Packed {
  bool xdr;
  std::vector<uint8_t> b;
  explicit Packed(bool x) : xdr(x) {}
  Packed& i16(int16_t v) {
    if (xdr) return i32(v);
    le16(b, static_cast<uint16_t>(v));
    return *this;
  }
  Packed& i32(int32_t v) {
    if (xdr)
      be32(b, static_cast<uint32_t>(v));
    else
      le32(b, static_cast<uint32_t>(v));
    return *this;
  }
  Packed& f32(float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    return i32(static_cast<int32_t>(u));
  }
  Packed& f64(double v) {
    uint64_t u;
    memcpy(&u, &v, 8);
    if (xdr) {
      be32(b, static_cast<uint32_t>(u >> 32));
      be32(b, static_cast<uint32_t>(u));
    } else {
      le32(b, static_cast<uint32_t>(u));
      le32(b, static_cast<uint32_t>(u >> 32));
    }
    return *this;
  }
  // Raw bytes, padded to 4 in XDR form.
  Packed& raw(const std::vector<uint8_t>& bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
    while (xdr && b.size() % 4) b.push_back(0);
    return *this;
  }
  // A string value: length strlen + 1, then the text (native with its NUL,
  // XDR as a counted string).
  Packed& str(const std::string& s) {
    i32(static_cast<int32_t>(s.size() + 1));
    if (xdr) {
      i32(static_cast<int32_t>(s.size()));
      return raw(std::vector<uint8_t>(s.begin(), s.end()));
    }
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
    return *this;
  }
  // A blob piece: length, bytes (XDR: padded; the length leaves the padding out).
  Packed& piece(const std::string& s) {
    i32(static_cast<int32_t>(s.size()));
    return raw(std::vector<uint8_t>(s.begin(), s.end()));
  }
};

// A whole buffer as it travels on a channel of the given kind: status, then
// the header and the block when the status is 0.
inline std::vector<uint8_t> buffer_frame(int32_t kind, int32_t status, int32_t used, int32_t rows, int16_t partial,
                                         int32_t last, int32_t oob, const std::vector<uint8_t>& block) {
  std::vector<uint8_t> out;
  bool xdr = kind == CH_KIND_XDR;
  auto item = [&](const std::vector<uint8_t>& body) {
    std::vector<uint8_t> r = xdr ? xdr_record(body) : body;
    out.insert(out.end(), r.begin(), r.end());
  };
  auto word = [&](int32_t v) {
    std::vector<uint8_t> b;
    if (xdr)
      be32(b, static_cast<uint32_t>(v));
    else
      le32(b, static_cast<uint32_t>(v));
    item(b);
  };
  word(status);
  if (status != 0) return out;
  word(used);
  word(rows);
  if (xdr) {
    word(partial);
  } else {
    std::vector<uint8_t> b;
    le16(b, static_cast<uint16_t>(partial));
    item(b);
  }
  word(last);
  word(oob);
  if (!block.empty()) {
    std::vector<uint8_t> b = block;
    while (xdr && b.size() % 4) b.push_back(0);
    item(b);
  }
  return out;
}

}  // namespace zultest

#endif
