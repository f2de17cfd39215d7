// The XDR transport's framing: one record per item, golden bytes of the
// items, blob segments in one padded record, the chunked feature-id form, and
// hostile records refused while the stream stays in step.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_channel_pair.h"
#include "xdr_io.h"
#include "zul_channel.h"

using namespace zultest;

namespace {

std::vector<uint8_t> wire_of(int32_t release, const std::function<void(CHANNEL*)>& write) {
  int fds[2];
  if (!raw_pair(fds)) return {};
  CHANNEL* ch = CH_create(CH_KIND_XDR, 0, &fds[0]);
  CH_set_release(ch, release);
  write(ch);
  CH_flush(ch);
  std::vector<uint8_t> raw = drain_raw(fds[1], 50);
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
  return raw;
}

std::vector<uint8_t> be_words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> b;
  for (uint32_t w : words) be32(b, w);
  return b;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(XdrGolden, ItemsHaveTheirRecordFraming) {
  struct Case {
    const char* name;
    int32_t release;
    std::function<void(CHANNEL*)> write;
    std::vector<uint8_t> want;
  };
  std::vector<uint8_t> blob_body = be_words({6, 0});
  bytes(blob_body, "abcdef");
  for (uint8_t b : be_words({4, 1})) blob_body.push_back(b);
  bytes(blob_body, "ghij");
  blob_body.push_back(0);
  blob_body.push_back(0);
  const Case kCases[] = {
      {"long", 0, [](CHANNEL* c) { CH_write_long(c, -2); }, xdr_record(be_words({0xFFFFFFFEu}))},
      {"short travels as 4 bytes", 0, [](CHANNEL* c) { CH_write_short(c, 7); }, xdr_record(be_words({7}))},
      {"string \"a\" is padded to 4", 0, [](CHANNEL* c) { CH_write_string(c, "a"); },
       xdr_record({0, 0, 0, 1, 'a', 0, 0, 0})},
      {"two writes make two records", 0, [](CHANNEL* c) { CH_write_long(c, 1); CH_write_long(c, 2); },
       concat({xdr_record(be_words({1})), xdr_record(be_words({2}))})},
      {"block of 5 bytes pads with zeros", 0, [](CHANNEL* c) { CH_write_block(c, "12345", 5); },
       xdr_record({'1', '2', '3', '4', '5', 0, 0, 0})},
      {"dynamic string: length with NUL, then the XDR string", 0, [](CHANNEL* c) { CH_write_dynamic_string(c, "ab"); },
       xdr_record({0, 0, 0, 3, 0, 0, 0, 2, 'a', 'b', 0, 0})},
      {"10-byte blob in segments of 6 and 4: one record, 2 pad bytes", 0,
       [](CHANNEL* c) {
         CH_write_blob_seg(c, "abcdef", 6, 0);
         CH_write_blob_seg(c, "ghij", 4, 1);
         CH_write_blob_end(c, 10, 1);
       },
       xdr_record(blob_body)},
      {"plain empty fid array is a count of 0", 83001, [](CHANNEL* c) { CH_write_fid_array(c, 0, nullptr); },
       xdr_record(be_words({0}))},
      {"chunked empty fid array puts nothing on the wire", 83002, [](CHANNEL* c) { CH_write_fid_array(c, 0, nullptr); },
       {}},
      {"chunked fid array is one counted array", 83002,
       [](CHANNEL* c) { int32_t a[2] = {5, 6}; CH_write_fid_array(c, 2, a); }, xdr_record(be_words({2, 5, 6}))},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.want, wire_of(c.release, c.write)) << c.name;
}

TEST(XdrFraming, AReadSkipsTheRestOfItsRecordAndSendsPendingWrites) {
  Peer peer = start_peer([](int fd) {
    // Wait for the two records the parent writes before its read.
    std::vector<uint8_t> got = read_exact(fd, 16);
    if (got != concat({xdr_record(be_words({1})), xdr_record(be_words({2}))})) return 2;
    // A record holding two ints, then one holding 9.
    return send_raw(fd, concat({xdr_record(be_words({7, 8})), xdr_record(be_words({9}))})) ? 0 : 3;
  });
  ASSERT_GE(peer.fd, 0);
  CHANNEL* ch = CH_create(CH_KIND_XDR, 0, &peer.fd);
  ASSERT_EQ(0, CH_write_long(ch, 1));
  ASSERT_EQ(0, CH_write_long(ch, 2));
  int32_t v = 0;
  ASSERT_EQ(0, CH_read_long(ch, &v));
  EXPECT_EQ(7, v);
  ASSERT_EQ(0, CH_read_long(ch, &v));
  EXPECT_EQ(9, v) << "the 8 left in the first record was skipped";
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer));
}

// ---- hostile records ---------------------------------------------------------------

constexpr int32_t kMarker = 0x5A5A1234;

struct HostileCase {
  const char* name;
  int32_t release;
  std::vector<uint8_t> records;              // sent before the marker's record
  std::function<int32_t(CHANNEL*)> read;
  int32_t status;
};

std::vector<HostileCase> hostile_cases() {
  std::vector<HostileCase> v;
  v.push_back({"string longer than the buffer", 0, xdr_record({0, 0, 0, 5, 'h', 'e', 'l', 'l', 'o', 0, 0, 0}),
               [](CHANNEL* c) { char b[4]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM});
  {
    std::vector<uint8_t> body = be_words({CH_MAX_XDR_STRING + 4});
    body.insert(body.end(), CH_MAX_XDR_STRING + 4, 'q');
    v.push_back({"string past the protocol's 4096", 0, xdr_record(body),
                 [](CHANNEL* c) { static char b[8192]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM});
  }
  v.push_back({"record too short for its long", 0, xdr_record({0, 0}),
               [](CHANNEL* c) { int32_t x; return CH_read_long(c, &x); }, -1});
  v.push_back({"negative short array count", 0, xdr_record(be_words({0xFFFFFFFFu})),
               [](CHANNEL* c) { int16_t a[4], n; return CH_read_short_array(c, &n, a, 4); }, SE_INVALID_PARAM});
  v.push_back({"short array beyond the caller's array", 0, xdr_record(be_words({3, 1, 2, 3})),
               [](CHANNEL* c) { int16_t a[2], n; return CH_read_short_array(c, &n, a, 2); }, SE_INVALID_PARAM});
  v.push_back({"fid array count other than expected", 0, xdr_record(be_words({3, 1, 2, 3})),
               [](CHANNEL* c) { int32_t a[2]; return CH_read_fid_array(c, 2, a); }, SE_INVALID_PARAM});
  v.push_back({"fid array count near 2^31", 83002, xdr_record(be_words({0x7FFFFFFFu, 1})),
               [](CHANNEL* c) { int32_t a[2]; return CH_read_fid_array(c, 2, a); }, SE_INVALID_PARAM});
  v.push_back({"negative dynamic string length", 0, xdr_record(be_words({0xFFFFFFFFu})),
               [](CHANNEL* c) { char* s = nullptr; return CH_read_dynamic_string(c, &s); }, SE_INVALID_PARAM});
  v.push_back({"dynamic string text longer than its length", 0, xdr_record({0, 0, 0, 2, 0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 0, 0, 0}),
               [](CHANNEL* c) { char* s = nullptr; return CH_read_dynamic_string(c, &s); }, SE_INVALID_PARAM});
  v.push_back({"lfloat array longer than asked", 0, xdr_record(be_words({3, 0, 0, 0, 0, 0, 0})),
               [](CHANNEL* c) { double a[2]; return CH_read_lfloat_array(c, 2, a); }, SE_INVALID_PARAM});
  return v;
}

TEST(XdrHostile, MalformedRecordsAreRefusedAndTheNextRecordStillReads) {
  for (const HostileCase& c : hostile_cases()) {
    std::vector<uint8_t> all = concat({c.records, xdr_record(be_words({static_cast<uint32_t>(kMarker)}))});
    Peer peer = start_peer([&](int fd) {
      if (!send_raw(fd, all)) return 1;
      drain_raw(fd, 2000);
      return 0;
    });
    ASSERT_GE(peer.fd, 0) << c.name;
    CHANNEL* ch = CH_create(CH_KIND_XDR, 0, &peer.fd);
    CH_set_release(ch, c.release);
    EXPECT_EQ(c.status, c.read(ch)) << c.name;
    EXPECT_EQ(0, CH_out_of_step(ch)) << c.name;
    int32_t marker = 0;
    EXPECT_EQ(0, CH_read_long(ch, &marker)) << c.name;
    EXPECT_EQ(kMarker, marker) << c.name;
    CH_destroy(ch);
    wait_peer(peer);
  }
}

TEST(XdrHostile, OversizeBlobSegmentIsDroppedWithinItsRecord) {
  std::vector<uint8_t> body = be_words({6, 0});
  bytes(body, "abcdef");
  for (uint8_t b : be_words({2, 1})) body.push_back(b);
  bytes(body, "gh");
  std::vector<uint8_t> all = xdr_record(body);
  Peer peer = start_peer([&](int fd) { return send_raw(fd, all) && drain_raw(fd, 2000).empty() ? 0 : 1; });
  CHANNEL* ch = CH_create(CH_KIND_XDR, 0, &peer.fd);
  char b[4];
  int32_t n = 0, last = 0;
  EXPECT_EQ(SE_INVALID_PARAM, CH_read_blob_seg(ch, b, 4, &n, &last));
  EXPECT_EQ(0, CH_read_blob_seg(ch, b, 4, &n, &last));
  EXPECT_EQ(2, n);
  EXPECT_EQ(1, last);
  EXPECT_EQ(0, memcmp(b, "gh", 2));
  EXPECT_EQ(0, CH_read_blob_end(ch, 8, 1));
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer));
}

TEST(XdrHostile, PeerThatClosesMidRecordLeavesTheStreamOutOfStep) {
  std::vector<uint8_t> cut = {0x80, 0, 0, 8, 0, 0, 0};  // a record announced as 8 bytes, 3 sent
  Peer peer = start_peer([&](int fd) { return send_raw(fd, cut) ? 0 : 1; });
  CHANNEL* ch = CH_create(CH_KIND_XDR, 0, &peer.fd);
  int32_t v;
  EXPECT_EQ(-1, CH_read_long(ch, &v));
  EXPECT_NE(0, CH_out_of_step(ch));
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer));
}

}  // namespace
