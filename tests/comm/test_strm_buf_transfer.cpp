// A stream of rows between two processes, in both encodings: every column
// type, nulls, shapes not transferred, blobs cut at a buffer's end (their
// rest follows on the channel) and rows too large for a buffer sent out of
// band. The child writes as the server's fetch loop does; the parent reads
// as a client and checks every value.
#include <gtest/gtest.h>

#include "test_strm_buf_rows.h"

using namespace zultest;

namespace {

constexpr int kRows = 120;
constexpr int32_t kBlock = 4096;
enum { cSmall, cInt, cFloat, cDouble, cString, cBlob, cDate, cShape, cRaster, cCount };
const std::vector<Col> kCols = {{SE_SMALLINT, 0}, {SE_INTEGER, 0}, {SE_FLOAT, 0}, {SE_DOUBLE, 0}, {SE_STRING, 5000},
                                {SE_BLOB, 0},     {SE_DATE_TYPE, 0}, {SE_SHAPE, 0}, {SE_RASTER, 0}};

int16_t indicator(int i, int col) {
  if ((i + col) % 7 == 0) return SB_IND_NULL;
  if (col == cShape && i % 11 == 5) return SB_IND_NOT_TRANSFERRED;
  return SB_IND_VALUE;
}
// Every 17th string is too long for a buffer (and within the XDR channel's
// 4096-character string limit), so its row goes out of band.
std::string text(int i) { return i % 17 == 3 ? std::string(4080, static_cast<char>('a' + i % 26)) : "row " + std::to_string(i); }
std::string blob_bytes(int i) {
  size_t n = i % 13 == 0 ? 70000 : static_cast<size_t>(i * 37 % 300);
  std::string s(n, '\0');
  for (size_t k = 0; k < n; k++) s[k] = static_cast<char>(k * 13 + static_cast<size_t>(i));
  return s;
}

void fill_row(RowFixture& f, int i) {
  for (int c = 0; c < cCount; c++) {
    f.row.indicators[c] = indicator(i, c);
    f.row.values[c] = f.row.value_buffers[c];
  }
  f.buf<int16_t>(cSmall) = static_cast<int16_t>(i);
  f.buf<int32_t>(cInt) = i * 1000;
  f.buf<float>(cFloat) = static_cast<float>(i) / 2;
  f.buf<double>(cDouble) = i * 1.25;
  snprintf(&f.buf<char>(cString), 5001, "%s", text(i).c_str());
  f.buf<SE_DATE>(cDate).mday = i % 28;
  fill_polyline(f.shape(cShape), static_cast<uint32_t>(i), 20);
  f.buf<int32_t>(cRaster) = i + 7;
  f.row.blob_ids[0] = i;
}

// The child: packs every row, sends full buffers, cut blob rests and
// out-of-band rows. Answers 0, or the number of the step that failed.
int write_stream(int fd, int32_t kind) {
  CHANNEL* ch = CH_create(kind, 0, &fd);
  STREAM_BUFFER* sb = nullptr;
  if (!ch || SB_init(SB_WRITER, 1024, kBlock, 50, kind == CH_KIND_XDR ? SB_ENCODING_XDR : 0, &sb) != 0) return 1;
  RowFixture f(kCols, 1);
  for (int i = 0; i < kRows; i++) {
    fill_row(f, i);
    std::string blob = blob_bytes(i);
    int32_t rc = SB_put_row(&f.row, 0, sb);
    if (rc == SB_FULL) {
      if (SB_send_buffer(ch, sb) != 0) return 2;
      SB_reset(sb);
      rc = SB_put_row(&f.row, 0, sb);
    }
    if (rc == SB_OUT_OF_BAND) {
      if (SB_send_buffer(ch, sb) != 0) return 3;
      rc = SES_write_out_of_band_row(ch, &f.row);
      SE_BLOB_INFO b{static_cast<int32_t>(blob.size()), &blob[0], 0};
      if (rc == SB_BLOBS_FOLLOW && f.row.indicators[cBlob] == SB_IND_VALUE) rc = SES_write_direct_blob(ch, &b);
      if (rc != 0) return 4;
      SB_reset(sb);
      continue;
    }
    if (rc != SB_BLOBS_FOLLOW) return 5;
    if (f.row.indicators[cBlob] != SB_IND_VALUE) continue;
    size_t off = 0;
    do {
      int32_t n = static_cast<int32_t>(std::min<size_t>(blob.size() - off, SB_BLOB_SEGMENT));
      bool last = off + static_cast<size_t>(n) == blob.size();
      rc = SB_put_blob(n, blob.data() + off, cBlob, last ? SB_PIECE_LAST : SB_PIECE_MORE, sb);
      if (rc == SB_FULL) {
        // The value is cut here: the rest follows the buffer on the channel.
        SE_BLOB_INFO rest{static_cast<int32_t>(blob.size() - off), &blob[off], 0};
        if (SB_send_buffer(ch, sb) != 0 || SES_write_direct_blob(ch, &rest) != 0) return 6;
        SB_reset(sb);
        break;
      }
      if (rc != 0) return 7;
      off += static_cast<size_t>(n);
    } while (off < blob.size());
  }
  SB_set_last_buffer(sb);
  if (SB_send_buffer(ch, sb) != 0 || CH_flush(ch) != 0) return 8;
  int32_t ack = 0;
  if (CH_read_long(ch, &ack) != 0 || ack != kRows) return 9;
  SB_free(sb);
  CH_destroy(ch);
  return 0;
}

// A raster value travels inside a buffer only, never in an out-of-band row.
void expect_row(RowFixture& r, int i, const std::string& blob, bool out_of_band) {
  SCOPED_TRACE("row " + std::to_string(i));
  ASSERT_EQ(i, r.row.blob_ids[0]);
  for (int c = 0; c < cCount; c++) ASSERT_EQ(indicator(i, c), r.row.indicators[c]) << "column " << c;
  auto present = [&](int c) { return indicator(i, c) == SB_IND_VALUE; };
  if (present(cSmall)) {
    EXPECT_EQ(i, r.val<int16_t>(cSmall));
  }
  if (present(cInt)) {
    EXPECT_EQ(i * 1000, r.val<int32_t>(cInt));
  }
  if (present(cFloat)) {
    EXPECT_EQ(static_cast<float>(i) / 2, r.val<float>(cFloat));
  }
  if (present(cDouble)) {
    EXPECT_EQ(i * 1.25, r.val<double>(cDouble));
  }
  if (present(cString)) {
    EXPECT_EQ(text(i), static_cast<const char*>(r.row.values[cString]));
  }
  if (present(cDate)) {
    EXPECT_EQ(i % 28, r.val<SE_DATE>(cDate).mday);
  }
  if (present(cRaster) && !out_of_band) {
    EXPECT_EQ(i + 7, r.val<int32_t>(cRaster));
  }
  if (present(cShape)) {
    FEATURE_STRUCT want{};
    fill_polyline(&want, static_cast<uint32_t>(i), 20);
    EXPECT_EQ(comp_bytes(&want), comp_bytes(r.shape(cShape)));
    EXPECT_EQ(20, r.shape(cShape)->numofpts);
    SES_comp_feature_free(&want);
  }
  if (present(cBlob)) {
    EXPECT_EQ(blob_bytes(i), blob);
  }
}

class StreamTransfer : public ::testing::TestWithParam<int32_t> {};

TEST_P(StreamTransfer, EveryRowArrivesIntactBetweenTwoProcesses) {
  int32_t kind = GetParam();
  Peer peer = start_peer([kind](int fd) { return write_stream(fd, kind); });
  ASSERT_GE(peer.fd, 0);
  CHANNEL* ch = CH_create(kind, 0, &peer.fd);
  STREAM_BUFFER* rb = nullptr;
  ASSERT_EQ(0, SB_init(SB_READER, 1024, kBlock, 50, kind == CH_KIND_XDR ? SB_ENCODING_XDR : 0, &rb));
  RowFixture r(kCols, 1);
  int rows = 0, out_of_band = 0, cut = 0, buffers = 0;
  bool done = false;
  while (!done && !HasFatalFailure()) {
    ASSERT_EQ(0, SB_receive_buffer(ch, rb)) << "after row " << rows;
    buffers++;
    for (;;) {
      int32_t rc = SB_get_row(rb, &r.row);
      if (rc == SE_FINISHED) done = true;
      if (rc == SE_FINISHED || rc == SB_EMPTY) break;
      std::string blob;
      SE_BLOB_INFO b{};
      if (rc == SB_OUT_OF_BAND) {
        out_of_band++;
        ASSERT_EQ(0, SES_read_out_of_band_row(ch, &r.row, 1));
        if (r.row.indicators[cBlob] == SB_IND_VALUE) {
          ASSERT_EQ(0, SES_read_direct_blob(ch, 0, 0, -1, &b));
        }
        blob.assign(b.blob_buffer ? b.blob_buffer : "", static_cast<size_t>(b.blob_length));
      } else {
        ASSERT_EQ(0, rc);
        if (r.row.indicators[cBlob] == SB_IND_VALUE) {
          int32_t brc = SB_get_blob(rb, &r.row, cBlob, &b);
          blob.assign(b.blob_buffer ? b.blob_buffer : "", static_cast<size_t>(b.blob_length));
          if (brc == SB_BLOB_CONTINUES) {
            cut++;
            SE_BLOB_INFO rest{};
            ASSERT_EQ(0, SES_read_direct_blob(ch, 0, 0, -1, &rest));
            blob.append(rest.blob_buffer ? rest.blob_buffer : "", static_cast<size_t>(rest.blob_length));
            free(rest.blob_buffer);
          } else {
            ASSERT_EQ(0, brc);
          }
        }
      }
      free(b.blob_buffer);
      expect_row(r, rows, blob, rc == SB_OUT_OF_BAND);
      rows++;
      if (rc == SB_OUT_OF_BAND) break;
    }
  }
  EXPECT_EQ(kRows, rows);
  EXPECT_GT(out_of_band, 0);
  EXPECT_GT(cut, 0);
  EXPECT_GT(buffers, 10);
  CH_write_long(ch, rows);
  CH_flush(ch);
  SB_free(rb);
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer)) << "the writer failed at this step";
}

INSTANTIATE_TEST_SUITE_P(Encodings, StreamTransfer, ::testing::Values(CH_KIND_SOCKET, CH_KIND_XDR),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return std::string(i.param == CH_KIND_XDR ? "Xdr" : "Native");
                         });

}  // namespace
