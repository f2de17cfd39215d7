// Row value buffers, out-of-band rows and direct blobs over a channel pair in
// one process, in both encodings.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "test_strm_buf_rows.h"

using namespace zultest;

namespace {

TEST(RowValueBuffers, OneBufferPerColumnAndUnknownTypesLeaveNothing) {
  RowFixture f({{SE_SMALLINT, 0}, {SE_STRING, 20}, {SE_BLOB, 0}, {SE_SHAPE, 0}, {SE_RASTER, 0}});
  ASSERT_EQ(0, f.rc);
  ASSERT_EQ(0, SES_allocate_row_pointers(&f.row, 100));   // again: frees first
  EXPECT_EQ(100, f.blob(2)->blob_length);
  EXPECT_EQ(f.row.value_buffers[1], f.row.values[1]);
  EXPECT_EQ(0, SES_raster_present(&f.row));
  f.present(4);
  EXPECT_EQ(1, SES_raster_present(&f.row));
  f.row.indicators[4] = SB_IND_NOT_TRANSFERRED;
  EXPECT_EQ(0, SES_raster_present(&f.row));

  COLUMN_DEF defs[2] = {};
  defs[0].type = SE_INTEGER;
  defs[1].type = 12;
  STREAM_ROW row{};
  row.num_columns = 2;
  row.column_defs = defs;
  EXPECT_EQ(SE_INVALID_STREAM, SES_allocate_row_pointers(&row, 0));
  EXPECT_EQ(nullptr, row.indicators);
  EXPECT_EQ(nullptr, row.value_buffers);
}

class RowTransfer : public ::testing::TestWithParam<int32_t> {};

TEST_P(RowTransfer, OutOfBandRowArrivesIntactAndAsksForItsBlob) {
  ChanPair ch(GetParam());
  ASSERT_TRUE(ch.w && ch.r);
  const std::vector<Col> cols = {{SE_SMALLINT, 0}, {SE_INTEGER, 0}, {SE_FLOAT, 0}, {SE_DOUBLE, 0},
                                 {SE_STRING, 300}, {SE_DATE_TYPE, 0}, {SE_SHAPE, 0}, {SE_BLOB, 0},
                                 {SE_RASTER, 0}, {SE_SHAPE, 0}};
  RowFixture w(cols, 2);
  w.present(0);
  w.buf<int16_t>(0) = 300;
  w.present(1);
  w.buf<int32_t>(1) = -7;
  w.present(2);
  w.buf<float>(2) = 0.5f;
  w.present(3);
  w.buf<double>(3) = 1e300;
  w.set_string(4, std::string(300, 's'));
  w.present(5);
  w.buf<SE_DATE>(5).year = 125;
  w.present(6);
  ASSERT_EQ(0, fill_polyline(w.shape(6), 11, 20));
  w.present(7);
  w.present(8);
  w.row.indicators[9] = SB_IND_NOT_TRANSFERRED;
  w.row.blob_ids[0] = 4;
  w.row.blob_ids[1] = 5;
  ASSERT_EQ(SB_BLOBS_FOLLOW, SES_write_out_of_band_row(ch.w, &w.row));
  SE_BLOB_INFO blob{};
  std::string bytes(70000, 'b');
  blob.blob_buffer = &bytes[0];
  blob.blob_length = 70000;
  ASSERT_EQ(0, SES_write_direct_blob(ch.w, &blob));
  ASSERT_EQ(0, CH_flush(ch.w));

  RowFixture r(cols, 2);
  ASSERT_EQ(0, SES_read_out_of_band_row(ch.r, &r.row, 1));
  EXPECT_EQ(300, r.val<int16_t>(0));
  EXPECT_EQ(-7, r.val<int32_t>(1));
  EXPECT_EQ(0.5f, r.val<float>(2));
  EXPECT_EQ(1e300, r.val<double>(3));
  EXPECT_EQ(std::string(300, 's'), static_cast<const char*>(r.row.values[4]));
  EXPECT_EQ(125, r.val<SE_DATE>(5).year);
  EXPECT_EQ(11u, r.shape(6)->fid);
  EXPECT_EQ(comp_bytes(w.shape(6)), comp_bytes(r.shape(6)));
  EXPECT_EQ(SB_IND_NOT_TRANSFERRED, r.row.indicators[9]);
  EXPECT_EQ(4, r.row.blob_ids[0]);
  EXPECT_EQ(5, r.row.blob_ids[1]);
  ASSERT_EQ(0, SES_read_direct_blob(ch.r, 0, 0, -1, r.blob(7)));
  EXPECT_EQ(bytes, std::string(r.blob(7)->blob_buffer, static_cast<size_t>(r.blob(7)->blob_length)));
}

TEST_P(RowTransfer, OutOfBandValueLongerThanItsColumnIsRefusedInStep) {
  ChanPair ch(GetParam());
  RowFixture w({{SE_STRING, 50}, {SE_INTEGER, 0}});
  w.set_string(0, std::string(50, 'x'));
  w.present(1);
  w.buf<int32_t>(1) = 77;
  ASSERT_EQ(0, SES_write_out_of_band_row(ch.w, &w.row));
  ASSERT_EQ(0, CH_write_long(ch.w, 12345));
  ASSERT_EQ(0, CH_flush(ch.w));
  RowFixture r({{SE_STRING, 10}, {SE_INTEGER, 0}});
  EXPECT_EQ(SE_INVALID_PARAM, SES_read_out_of_band_row(ch.r, &r.row, 1));
  EXPECT_EQ(77, r.val<int32_t>(1)) << "the rest of the row is still read";
  int32_t next = 0;
  EXPECT_EQ(0, CH_read_long(ch.r, &next));
  EXPECT_EQ(12345, next);

  // A row of another width cannot be followed: the channel is given up.
  ASSERT_EQ(0, SES_write_out_of_band_row(ch.w, &w.row));
  RowFixture narrow({{SE_STRING, 50}});
  EXPECT_EQ(SE_NET_FAILURE, SES_read_out_of_band_row(ch.r, &narrow.row, 1));
}

// Direct blobs of the sizes around a segment, into each kind of target.
TEST_P(RowTransfer, DirectBlobsOfEverySizeArriveInEachMode) {
  const int32_t sizes[] = {0, 1, 60000, 60001, 200003};
  enum Mode { kGrow, kGiven, kFile, kDiscard };
  for (int32_t size : sizes) {
    for (Mode mode : {kGrow, kGiven, kFile, kDiscard}) {
      ChanPair ch(GetParam());
      std::string bytes(static_cast<size_t>(size), '\0');
      for (int32_t i = 0; i < size; i++) bytes[static_cast<size_t>(i)] = static_cast<char>(i * 31 + 7);
      SE_BLOB_INFO out{};
      out.blob_buffer = &bytes[0];
      out.blob_length = size;
      ASSERT_EQ(0, SES_write_direct_blob(ch.w, &out));
      ASSERT_EQ(0, CH_write_long(ch.w, 6789));
      ASSERT_EQ(0, CH_flush(ch.w));

      SE_BLOB_INFO in{};
      FILE* file = nullptr;
      int fd = -1;
      if (mode == kGiven) {
        in.blob_buffer = static_cast<char*>(malloc(250000));
        in.blob_capacity = 250000;
      }
      if (mode == kFile) {
        file = tmpfile();
        fd = fileno(file);
      }
      ASSERT_EQ(0, SES_read_direct_blob(ch.r, mode == kGiven, mode == kDiscard, fd, &in))
          << size << " bytes, mode " << mode;
      EXPECT_EQ(size, in.blob_length);
      std::string got;
      if (mode == kGrow || mode == kGiven) got.assign(in.blob_buffer ? in.blob_buffer : "", static_cast<size_t>(in.blob_length));
      if (mode == kFile) {
        got.resize(static_cast<size_t>(size));
        rewind(file);
        EXPECT_EQ(static_cast<size_t>(size), fread(&got[0], 1, got.size(), file));
        fclose(file);
      }
      if (mode != kDiscard) {
        EXPECT_EQ(bytes, got) << size << " bytes, mode " << mode;
      }
      int32_t next = 0;
      EXPECT_EQ(0, CH_read_long(ch.r, &next));
      EXPECT_EQ(6789, next);
      free(in.blob_buffer);
    }
  }
}

TEST_P(RowTransfer, DirectBlobThatDoesNotFitOrCannotBeWrittenIsReadToItsEnd) {
  ChanPair ch(GetParam());
  std::string bytes(130000, 'z');
  SE_BLOB_INFO out{};
  out.blob_buffer = &bytes[0];
  out.blob_length = 130000;
  for (int i = 0; i < 2; i++) ASSERT_EQ(0, SES_write_direct_blob(ch.w, &out));
  ASSERT_EQ(0, CH_write_long(ch.w, 6789));
  ASSERT_EQ(0, CH_flush(ch.w));

  SE_BLOB_INFO small{};
  small.blob_buffer = static_cast<char*>(malloc(1000));
  small.blob_capacity = 1000;
  EXPECT_EQ(SE_INVALID_PARAM, SES_read_direct_blob(ch.r, 1, 0, -1, &small));
  EXPECT_LE(small.blob_length, small.blob_capacity);
  free(small.blob_buffer);

  int ro = open("/dev/null", O_RDONLY);
  SE_BLOB_INFO in{};
  EXPECT_EQ(SB_FILE_WRITE_SHORT, SES_read_direct_blob(ch.r, 0, 0, ro, &in));
  close(ro);
  free(in.blob_buffer);
  int32_t next = 0;
  EXPECT_EQ(0, CH_read_long(ch.r, &next));
  EXPECT_EQ(6789, next);
}

TEST(DirectBlobWire, SegmentsSplitAtSixtyThousandBytes) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &fds[0]);
  std::string bytes(60001, 'k');
  SE_BLOB_INFO out{};
  out.blob_buffer = &bytes[0];
  out.blob_length = 60001;
  ASSERT_EQ(0, SES_write_direct_blob(ch, &out));
  out.blob_length = 0;
  ASSERT_EQ(0, SES_write_direct_blob(ch, &out));
  ASSERT_EQ(0, CH_flush(ch));
  std::vector<uint8_t> want;
  le32(want, 60000);
  le32(want, 0);
  want.insert(want.end(), 60000, 'k');
  le32(want, 1);
  le32(want, 1);
  want.push_back('k');
  le32(want, 0);   // the empty blob: one empty last segment
  le32(want, 1);
  EXPECT_EQ(want, read_exact(fds[1], want.size()));
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
}

INSTANTIATE_TEST_SUITE_P(Encodings, RowTransfer, ::testing::Values(CH_KIND_SOCKET, CH_KIND_XDR),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return std::string(i.param == CH_KIND_XDR ? "Xdr" : "Native");
                         });

}  // namespace
