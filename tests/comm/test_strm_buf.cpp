// The stream buffer in one process: the packed row against hand-built bytes
// in both encodings, the fill rules, the send forms, and a table of hostile
// buffers that must be refused with the channel kept in step.
#include <gtest/gtest.h>

#include "test_strm_buf_rows.h"

using namespace zultest;

namespace {

const std::vector<Col> kAllTypes = {
    {SE_SMALLINT, 0}, {SE_INTEGER, 0}, {SE_FLOAT, 0}, {SE_DOUBLE, 0}, {SE_STRING, 16},
    {SE_DATE_TYPE, 0}, {SE_SHAPE, 0}, {SE_RASTER, 0}, {SE_BLOB, 0}, {SE_INTEGER, 0}};

// Column 9 stays null; the blob gets one piece "xyz".
void fill_all_types(RowFixture& f) {
  f.present(0);
  f.buf<int16_t>(0) = -2;
  f.present(1);
  f.buf<int32_t>(1) = 0x01020304;
  f.present(2);
  f.buf<float>(2) = 1.5f;
  f.present(3);
  f.buf<double>(3) = -0.25;
  f.set_string(4, "abc");
  f.present(5);
  f.buf<SE_DATE>(5) = SE_DATE{1, 2, 3, 4, 5, 6, 7, 8, 9};
  f.present(6);
  fill_polyline(f.shape(6), 7, 1);
  f.present(7);
  f.buf<int32_t>(7) = 42;
  f.present(8);
  f.row.blob_ids[0] = 99;
}

std::vector<uint8_t> golden_all_types(bool xdr, const FEATURE_STRUCT* shape) {
  Packed p(xdr);
  for (int i = 0; i < 9; i++) p.i16(2);
  p.i16(1).i32(99);
  p.i16(-2).i32(0x01020304).f32(1.5f).f64(-0.25).str("abc");
  for (int i = 1; i <= 9; i++) p.i32(i);
  std::vector<uint8_t> comp = comp_bytes(shape);
  p.i32(7).i32(1).i16(SG_POINT_SHAPE).i32(static_cast<int32_t>(comp.size())).raw(comp);
  p.i32(42);
  p.piece("xyz");
  return p.b;
}

class StreamBufferEncoding : public ::testing::TestWithParam<int32_t> {
 protected:
  bool xdr() const { return GetParam() == CH_KIND_XDR; }
  int32_t encoding() const { return xdr() ? SB_ENCODING_XDR : 0; }
};

TEST_P(StreamBufferEncoding, PackedRowMatchesTheLayoutAndUnpacksIntact) {
  RowFixture w(kAllTypes, 1);
  ASSERT_EQ(0, w.rc);
  fill_all_types(w);
  STREAM_BUFFER* sb = nullptr;
  ASSERT_EQ(0, SB_init(SB_WRITER, 100, 4096, 10, encoding(), &sb));
  ASSERT_EQ(SB_BLOBS_FOLLOW, SB_put_row(&w.row, 0, sb));
  ASSERT_EQ(0, SB_put_blob(3, "xyz", 8, SB_PIECE_LAST, sb));
  std::vector<uint8_t> want = golden_all_types(xdr(), w.shape(6));
  ASSERT_EQ(static_cast<int32_t>(want.size()), SB_get_bytes_used(sb));
  EXPECT_EQ(want, std::vector<uint8_t>(sb->block, sb->block + sb->bytes_used));
  EXPECT_EQ(1, SB_get_object_count(sb));

  ChanPair ch(GetParam());
  ASSERT_TRUE(ch.w && ch.r);
  ASSERT_EQ(0, SB_send_buffer(ch.w, sb));
  STREAM_BUFFER* rb = nullptr;
  ASSERT_EQ(0, SB_init(SB_READER, 100, 4096, 10, encoding(), &rb));
  ASSERT_EQ(0, SB_receive_buffer(ch.r, rb));
  RowFixture r(kAllTypes, 1);
  ASSERT_EQ(0, SB_get_row(rb, &r.row));
  EXPECT_EQ(-2, r.val<int16_t>(0));
  EXPECT_EQ(0x01020304, r.val<int32_t>(1));
  EXPECT_EQ(1.5f, r.val<float>(2));
  EXPECT_EQ(-0.25, r.val<double>(3));
  EXPECT_STREQ("abc", static_cast<const char*>(r.row.values[4]));
  EXPECT_EQ(9, r.val<SE_DATE>(5).isdst);
  const FEATURE_STRUCT& got = r.val<FEATURE_STRUCT>(6);
  EXPECT_EQ(7u, got.fid);
  EXPECT_EQ(1, got.numofpts);
  EXPECT_EQ(comp_bytes(w.shape(6)), comp_bytes(&got));
  EXPECT_EQ(42, r.val<int32_t>(7));
  EXPECT_EQ(SB_IND_NULL, r.row.indicators[9]);
  EXPECT_EQ(nullptr, r.row.values[9]);
  EXPECT_EQ(99, r.row.blob_ids[0]);
  SE_BLOB_INFO blob{};
  EXPECT_EQ(0, SB_get_blob(rb, &r.row, 8, &blob));
  EXPECT_EQ("xyz", std::string(blob.blob_buffer, static_cast<size_t>(blob.blob_length)));
  EXPECT_EQ(SB_NULL_VALUE, SB_get_blob(rb, &r.row, 9, &blob));
  EXPECT_EQ(SB_NOT_BLOB_COLUMN, SB_get_blob(rb, &r.row, 1, &blob));
  EXPECT_EQ(SB_EMPTY, SB_get_row(rb, &r.row));
  free(blob.blob_buffer);
  SB_free(sb);
  SB_free(rb);
}

// The annotation text travels beside the compressed bytes for every text
// length modulo 4 (XDR pads it), and the row still fits its estimate.
TEST_P(StreamBufferEncoding, AnnotatedShapeRowsRoundTripForEveryTextPadding) {
  for (int textlen = 0; textlen < 8; textlen++) {
    std::string text(static_cast<size_t>(textlen), 'a');
    RowFixture w({{SE_SHAPE, 0}}, 0, SE_FEATURE_HAS_ANNO);
    w.present(0);
    ASSERT_EQ(0, fill_polyline(w.shape(0), 3, 2, SE_FEATURE_HAS_ANNO, text.c_str()));
    STREAM_BUFFER* sb = nullptr;
    ASSERT_EQ(0, SB_init(SB_WRITER, 0, 4096, 1, encoding(), &sb));
    ASSERT_EQ(0, SB_put_row(&w.row, 0, sb)) << "text length " << textlen;
    ChanPair ch(GetParam());
    ASSERT_EQ(0, SB_send_buffer(ch.w, sb));
    STREAM_BUFFER* rb = nullptr;
    ASSERT_EQ(0, SB_init(SB_READER, 0, 4096, 1, encoding(), &rb));
    ASSERT_EQ(0, SB_receive_buffer(ch.r, rb));
    RowFixture r({{SE_SHAPE, 0}}, 0, SE_FEATURE_HAS_ANNO);
    ASSERT_EQ(0, SB_get_row(rb, &r.row));
    ASSERT_NE(nullptr, r.shape(0)->anno);
    EXPECT_EQ(text, r.shape(0)->anno->text);
    EXPECT_EQ(comp_bytes(w.shape(0)), comp_bytes(r.shape(0)));
    SB_free(sb);
    SB_free(rb);
  }
}

TEST_P(StreamBufferEncoding, FillRulesRefuseWithoutChangingTheBuffer) {
  RowFixture big({{SE_STRING, 3000}});
  big.set_string(0, std::string(3000, 'q'));
  RowFixture small({{SE_INTEGER, 0}});
  small.present(0);
  small.buf<int32_t>(0) = 5;

  STREAM_BUFFER* sb = nullptr;
  ASSERT_EQ(0, SB_init(SB_WRITER, 16, 1024, 3, encoding(), &sb));
  // Too large for the empty block: out of band, nothing packed.
  EXPECT_EQ(SB_OUT_OF_BAND, SB_put_row(&big.row, 0, sb));
  EXPECT_EQ(1, SB_is_out_of_band(sb));
  EXPECT_EQ(0, SB_get_bytes_used(sb));
  SB_reset(sb);
  ASSERT_EQ(0, SB_put_row(&small.row, 0, sb));
  int32_t used = SB_get_bytes_used(sb);
  EXPECT_EQ(SB_FULL, SB_put_row(&big.row, 0, sb));
  EXPECT_EQ(0, SB_is_out_of_band(sb));
  EXPECT_EQ(used, SB_get_bytes_used(sb));
  EXPECT_EQ(1, SB_get_object_count(sb));

  // Unlimited: rows until the block is full. Limited: until bytes used pass
  // the threshold (16) or the rows reach the object limit (3).
  int unlimited = 1;
  while (SB_put_row(&small.row, 0, sb) == 0) unlimited++;
  int32_t row_bytes = xdr() ? 8 : 6;
  EXPECT_EQ(1024 / row_bytes, unlimited);
  SB_reset(sb);
  int limited = 0;
  while (SB_put_row(&small.row, 1, sb) == 0) limited++;
  EXPECT_EQ(xdr() ? 3 : 3, limited);
  SB_free(sb);

  ASSERT_EQ(0, SB_init(SB_WRITER, 10, 1024, 100, encoding(), &sb));
  limited = 0;
  while (SB_put_row(&small.row, 1, sb) == 0) limited++;
  EXPECT_EQ(10 / row_bytes + 1, limited);   // refused once bytes used exceed 10
  SB_free(sb);
}

TEST_P(StreamBufferEncoding, SendFormsAndEndOfStream) {
  ChanPair ch(GetParam());
  ASSERT_TRUE(ch.w && ch.r);
  STREAM_BUFFER* sb = nullptr;
  STREAM_BUFFER* rb = nullptr;
  ASSERT_EQ(0, SB_init(SB_WRITER, 0, 256, 10, encoding(), &sb));
  ASSERT_EQ(0, SB_init(SB_READER, 0, 256, 10, encoding(), &rb));
  RowFixture r({{SE_INTEGER, 0}});

  // An error travels alone and comes back as the receive's result.
  ASSERT_EQ(0, SB_set_error(sb, -51));
  ASSERT_EQ(0, SB_send_buffer(ch.w, sb));
  EXPECT_EQ(-51, SB_receive_buffer(ch.r, rb));
  // An empty last buffer ends the stream.
  SB_reset(sb);
  ASSERT_EQ(0, SB_set_last_buffer(sb));
  ASSERT_EQ(0, SB_send_buffer(ch.w, sb));
  ASSERT_EQ(0, CH_flush(ch.w));
  ASSERT_EQ(0, SB_receive_buffer(ch.r, rb));
  EXPECT_EQ(SE_FINISHED, SB_get_row(rb, &r.row));
  SB_reset(rb);
  EXPECT_EQ(SB_EMPTY, SB_get_row(rb, &r.row));
  // Kinds are kept apart.
  EXPECT_EQ(SB_WRONG_KIND, SB_get_row(sb, &r.row));
  EXPECT_EQ(SB_WRONG_KIND, SB_put_row(&r.row, 0, rb));
  EXPECT_EQ(SB_WRONG_KIND, SB_set_last_buffer(rb));
  EXPECT_EQ(0, SB_set_type(rb, SB_WRITER));
  EXPECT_EQ(0, SB_set_type(rb, SB_READER));
  SB_free(sb);
  SB_free(rb);
}

TEST(StreamBufferSendForm, OutOfBandHeaderGoesWithoutBlockOrFlush) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &fds[0]);
  STREAM_BUFFER* sb = nullptr;
  ASSERT_EQ(0, SB_init(SB_WRITER, 0, 8, 1, 0, &sb));
  RowFixture big({{SE_STRING, 100}});
  big.set_string(0, "longer than the block");
  ASSERT_EQ(SB_OUT_OF_BAND, SB_put_row(&big.row, 0, sb));
  ASSERT_EQ(0, SB_send_buffer(ch, sb));
  EXPECT_TRUE(drain_raw(fds[1], 100).empty()) << "the header must wait for the out-of-band row";
  ASSERT_EQ(0, CH_flush(ch));
  std::vector<uint8_t> want = buffer_frame(CH_KIND_SOCKET, 0, 0, 0, -1, 0, 1, {});
  EXPECT_EQ(want, read_exact(fds[1], want.size()));
  SB_free(sb);
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
}

// Hostile buffers: each is refused, and a long sent after it still reads.
struct HostileCase {
  const char* name;
  int32_t used_delta;         // added to the block's true size in the header
  int32_t rows;               // row count in the header
  int16_t partial;
  std::vector<uint8_t> (*block)(bool xdr);
  int32_t receive_rc;
  int32_t get_row_rc;
};

// The hostile rows are of the columns integer, string(8), shape, blob.
const std::vector<Col> kHostileCols = {{SE_INTEGER, 0}, {SE_STRING, 8}, {SE_SHAPE, 0}, {SE_BLOB, 0}};
Packed head(bool xdr, int16_t i0, int16_t i1, int16_t i2, int16_t i3) {
  Packed p(xdr);
  p.i16(i0).i16(i1).i16(i2).i16(i3);
  return p;
}
std::vector<uint8_t> good_row(bool xdr) { return head(xdr, 2, 2, 1, 1).i32(5).str("ok").b; }
std::vector<uint8_t> long_string(bool xdr) { return head(xdr, 1, 2, 1, 1).str("123456789").b; }
std::vector<uint8_t> string_past_end(bool xdr) {
  Packed p = head(xdr, 1, 2, 1, 1);
  p.i32(60);
  if (xdr) p.i32(59);
  p.b.push_back('a');
  return p.b;
}
std::vector<uint8_t> string_without_nul(bool xdr) {
  if (xdr) return head(xdr, 1, 2, 1, 1).i32(4).i32(2).raw({'a', 'b'}).b;   // count differs from length
  Packed p = head(xdr, 1, 2, 1, 1).i32(3);
  p.b.insert(p.b.end(), {'a', 'b', 'c'});
  return p.b;
}
std::vector<uint8_t> truncated_indicators(bool xdr) { return std::vector<uint8_t>(xdr ? 6 : 3, 0); }
std::vector<uint8_t> shape_size_past_end(bool xdr) { return head(xdr, 1, 1, 2, 1).i32(1).i32(1).i16(1).i32(5000).raw({1, 2, 3, 4}).b; }
std::vector<uint8_t> shape_size_unlike_header(bool xdr) {
  // The compressed header says 10 bytes; 12 are sent.
  return head(xdr, 1, 1, 2, 1).i32(1).i32(1).i16(1).i32(12).raw({0x02, 0, 0, 0, 0, 0, 0, 0, 5, 0x43, 0, 0}).b;
}
std::vector<uint8_t> negative_point_count(bool xdr) { return head(xdr, 1, 1, 2, 1).i32(1).i32(-5).i16(1).i32(0).b; }
std::vector<uint8_t> blob_piece_past_end(bool xdr) { return head(xdr, 1, 1, 1, 2).i32(1000).raw({1, 2, 3, 4}).b; }
std::vector<uint8_t> negative_blob_piece(bool xdr) { return head(xdr, 1, 1, 1, 2).i32(-8).raw({1, 2, 3, 4}).b; }

const HostileCase kHostile[] = {
    {"bytes used beyond the block", 5000, 1, -1, good_row, SE_INVALID_PARAM, SB_EMPTY},
    {"negative bytes used", -100000, 1, -1, nullptr, SE_INVALID_PARAM, SB_EMPTY},
    {"row count beyond the bytes", 0, 1000, -1, good_row, SE_INVALID_PARAM, SB_EMPTY},
    {"negative row count", 0, -1, -1, good_row, SE_INVALID_PARAM, SB_EMPTY},
    {"partial blob column below -1", 0, 1, -7, good_row, SE_INVALID_PARAM, SB_EMPTY},
    {"string longer than its column", 0, 1, -1, long_string, 0, SE_INVALID_PARAM},
    {"string length past the block", 0, 1, -1, string_past_end, 0, SE_INVALID_PARAM},
    {"string without its end", 0, 1, -1, string_without_nul, 0, SE_INVALID_PARAM},
    {"indicators cut by the block end", 0, 1, -1, truncated_indicators, 0, SE_INVALID_PARAM},
    {"compressed size past the block", 0, 1, -1, shape_size_past_end, 0, SE_INVALID_PARAM},
    {"compressed size unlike its header", 0, 1, -1, shape_size_unlike_header, 0, SE_INVALID_PARAM},
    {"negative point count", 0, 1, -1, negative_point_count, 0, SE_INVALID_PARAM},
    {"blob piece past the block", 0, 1, -1, blob_piece_past_end, 0, SE_INVALID_PARAM},
    {"negative blob piece length", 0, 1, -1, negative_blob_piece, 0, SE_INVALID_PARAM},
};

TEST_P(StreamBufferEncoding, HostileBuffersAreRefusedAndTheChannelStaysInStep) {
  for (const HostileCase& c : kHostile) {
    int fds[2];
    ASSERT_TRUE(raw_pair(fds));
    CHANNEL* ch = CH_create(GetParam(), 0, &fds[1]);
    std::vector<uint8_t> block = c.block ? c.block(xdr()) : std::vector<uint8_t>{};
    int32_t used = static_cast<int32_t>(block.size()) + c.used_delta;
    // The bytes the header claims do follow, so that draining is exercised.
    if (c.used_delta > 0) block.resize(block.size() + static_cast<size_t>(c.used_delta), 0);
    std::vector<uint8_t> frame = buffer_frame(GetParam(), 0, used, c.rows, c.partial, 0, 0, used > 0 ? block : std::vector<uint8_t>{});
    std::vector<uint8_t> tail = buffer_frame(GetParam(), 12345, 0, 0, 0, 0, 0, {});
    frame.insert(frame.end(), tail.begin(), tail.end());
    ASSERT_TRUE(send_raw(fds[0], frame));

    STREAM_BUFFER* rb = nullptr;
    ASSERT_EQ(0, SB_init(SB_READER, 0, 256, 10, xdr() ? SB_ENCODING_XDR : 0, &rb));
    RowFixture r(kHostileCols);
    EXPECT_EQ(c.receive_rc, SB_receive_buffer(ch, rb)) << c.name;
    EXPECT_EQ(c.get_row_rc, SB_get_row(rb, &r.row)) << c.name;
    EXPECT_EQ(SB_EMPTY, SB_get_row(rb, &r.row)) << c.name << ": the rest of the block is dropped";
    int32_t next = 0;
    EXPECT_EQ(0, CH_read_long(ch, &next)) << c.name;
    EXPECT_EQ(12345, next) << c.name;
    SB_free(rb);
    CH_destroy(ch);
    close(fds[0]);
    close(fds[1]);
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, StreamBufferEncoding, ::testing::Values(CH_KIND_SOCKET, CH_KIND_XDR),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return std::string(i.param == CH_KIND_XDR ? "Xdr" : "Native");
                         });

}  // namespace
