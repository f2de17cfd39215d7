// The socket transport's framing: golden bytes of the native items, and
// hostile input refused with a status while the channel stays in step.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_channel_pair.h"
#include "zul_channel.h"

using namespace zultest;

namespace {

// Writes with the channel, returns the bytes that reached the peer.
std::vector<uint8_t> wire_of(const std::function<void(CHANNEL*)>& write, int32_t legacy = 0, int32_t release = 0) {
  int fds[2];
  if (!raw_pair(fds)) return {};
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, legacy, &fds[0]);
  CH_set_release(ch, release);
  write(ch);
  CH_flush(ch);
  std::vector<uint8_t> raw = drain_raw(fds[1], 50);
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
  return raw;
}

TEST(SocketGolden, ItemsHaveTheirNativeFraming) {
  struct Case {
    const char* name;
    std::function<void(CHANNEL*)> write;
    std::vector<uint8_t> want;
  };
  const Case kCases[] = {
      {"empty string is a length of 0", [](CHANNEL* c) { CH_write_string(c, ""); }, {0, 0, 0, 0}},
      {"\"a\" is a length of 2 and 2 bytes", [](CHANNEL* c) { CH_write_string(c, "a"); }, {2, 0, 0, 0, 'a', 0}},
      {"null dynamic string is a length of 0", [](CHANNEL* c) { CH_write_dynamic_string(c, nullptr); }, {0, 0, 0, 0}},
      {"short is 2 bytes", [](CHANNEL* c) { CH_write_short(c, -2); }, {0xFE, 0xFF}},
      {"long is little-endian", [](CHANNEL* c) { CH_write_long(c, 0x01020304); }, {4, 3, 2, 1}},
      {"lfloat is the IEEE image", [](CHANNEL* c) { CH_write_lfloat(c, 1.0); }, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"short array is a 2-byte count and values", [](CHANNEL* c) { int16_t a[2] = {1, 2}; CH_write_short_array(c, 2, a); },
       {2, 0, 1, 0, 2, 0}},
      {"fid array carries no count", [](CHANNEL* c) { int32_t a[2] = {1, 2}; CH_write_fid_array(c, 2, a); },
       {1, 0, 0, 0, 2, 0, 0, 0}},
      {"blob segment is an 8-byte header and bytes", [](CHANNEL* c) { CH_write_blob_seg(c, "xy", 2, 1); },
       {2, 0, 0, 0, 1, 0, 0, 0, 'x', 'y'}},
      {"blob end sends nothing", [](CHANNEL* c) { EXPECT_EQ(0, CH_write_blob_end(c, 10, 1)); }, {}},
      {"date is nine longs", [](CHANNEL* c) { SE_DATE d{}; d.sec = 1; d.isdst = 9; CH_write_date(c, &d); },
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0}},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.want, wire_of(c.write)) << c.name;
}

TEST(SocketGolden, LayoutFollowsTheLegacyFlagAndTheRelease) {
  static char text[] = "GEOGCS";
  static COORDREF cref{};
  cref.srtext = text;
  static LAYER layer{};
  layer.coordref = &cref;
  static METADATA_RECORD meta{};
  static COLUMN_DEF col{};
  struct Case {
    const char* name;
    int32_t legacy, release;
    std::function<void(CHANNEL*)> write;
    size_t bytes;
  };
  const size_t text_part = 4 + sizeof text;  // length, then the text with its NUL
  const Case kCases[] = {
      {"layer list of count 0 is the count alone", 0, 0, [](CHANNEL* c) { CH_write_layer_list(c, nullptr, 0); }, 4},
      {"current layer and reference", 0, 83002, [](CHANNEL* c) { CH_write_layer(c, &layer); }, 456 + 128 + text_part},
      {"legacy layer and reference", 1, 83002, [](CHANNEL* c) { CH_write_layer(c, &layer); }, 448 + 120 + text_part},
      {"current column definition", 0, 0, [](CHANNEL* c) { CH_write_column_def(c, 1, &col); }, 2 + 52},
      {"legacy column definition", 1, 0, [](CHANNEL* c) { CH_write_column_def(c, 1, &col); }, 2 + 48},
      {"metadata before release 81200", 0, 81199, [](CHANNEL* c) { CH_write_metadata(c, &meta); }, 592},
      {"metadata from release 81200", 0, 81200, [](CHANNEL* c) { CH_write_metadata(c, &meta); }, 624},
      {"release record", 1, 0, [](CHANNEL* c) { RELEASE r{}; CH_write_release(c, &r); }, 112},
  };
  for (const Case& c : kCases) {
    std::vector<uint8_t> wire = wire_of(c.write, c.legacy, c.release);
    EXPECT_EQ(c.bytes, wire.size()) << c.name;
    if (c.bytes == 4) EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), wire) << c.name;
  }
}

// ---- hostile input -------------------------------------------------------------

struct HostileCase {
  const char* name;
  std::vector<uint8_t> frame;                // what the peer sends before the marker
  std::function<int32_t(CHANNEL*)> read;     // the read that meets it
  int32_t status;                            // its answer
  bool in_step;                              // the marker long reads afterwards
};

constexpr int32_t kMarker = 0x5A5A1234;

std::vector<uint8_t> string_frame(uint32_t len, size_t body) {
  std::vector<uint8_t> f;
  le32(f, len);
  f.insert(f.end(), body, 'z');
  return f;
}

std::vector<HostileCase> hostile_cases() {
  std::vector<HostileCase> v;
  v.push_back({"string longer than the buffer", string_frame(10, 10),
               [](CHANNEL* c) { char b[4]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM, true});
  v.push_back({"negative string length", string_frame(0xFFFFFFF0u, 0),
               [](CHANNEL* c) { char b[4]; return CH_read_string(c, b, sizeof b); }, SE_INVALID_PARAM, true});
  v.push_back({"dynamic string past its limit", string_frame(CH_MAX_DYNAMIC_STRING + 1, CH_MAX_DYNAMIC_STRING + 1),
               [](CHANNEL* c) {
                 char* s = nullptr;
                 int32_t rc = CH_read_dynamic_string(c, &s);
                 free(s);
                 return rc;
               },
               SE_INVALID_PARAM, true});
  {
    std::vector<uint8_t> f;
    le16(f, 5);
    for (int i = 0; i < 5; i++) le16(f, static_cast<uint16_t>(i));
    v.push_back({"short array beyond the caller's array", f,
                 [](CHANNEL* c) { int16_t a[2], n; return CH_read_short_array(c, &n, a, 2); }, SE_INVALID_PARAM, true});
  }
  {
    std::vector<uint8_t> f;
    le16(f, 0xFFFF);
    v.push_back({"negative short array count", f,
                 [](CHANNEL* c) { int16_t a[2], n; return CH_read_short_array(c, &n, a, 2); }, SE_INVALID_PARAM, true});
  }
  {
    std::vector<uint8_t> f;
    le32(f, 9);
    le32(f, 1);
    f.insert(f.end(), 9, 'b');
    v.push_back({"blob segment beyond the buffer", f,
                 [](CHANNEL* c) { char b[4]; int32_t n, l; return CH_read_blob_seg(c, b, 4, &n, &l); }, SE_INVALID_PARAM,
                 true});
  }
  {
    std::vector<uint8_t> f;
    le32(f, 3);
    for (int i = 0; i < 3; i++) {
      std::vector<uint8_t> rec(536, 0);
      f.insert(f.end(), rec.begin(), rec.end());
    }
    v.push_back({"registration list beyond the caller's array", f,
                 [](CHANNEL* c) { REGISTRATION r[2]; int32_t n; return CH_read_registration_list(c, r, 2, &n); },
                 SE_INVALID_PARAM, true});
  }
  {
    std::vector<uint8_t> f;
    le32(f, 0xFFFFFFFFu);
    v.push_back({"negative list count", f,
                 [](CHANNEL* c) { VERSION r[2]; int32_t n; return CH_read_version_list(c, r, 2, &n); }, SE_INVALID_PARAM, true});
  }
  {
    std::vector<uint8_t> f;
    le32(f, CH_MAX_LIST + 1);
    v.push_back({"list count past its limit", f,
                 [](CHANNEL* c) { REGISTRATION r[2]; int32_t n; return CH_read_registration_list(c, r, 2, &n); }, -1, false});
  }
  v.push_back({"string length past anything that can be drained", string_frame(CH_MAX_DRAIN + 1, 0),
               [](CHANNEL* c) { char b[4]; return CH_read_string(c, b, sizeof b); }, -1, false});
  return v;
}

TEST(SocketHostile, MalformedItemsAreRefusedAndTheNextItemStillReads) {
  for (const HostileCase& c : hostile_cases()) {
    std::vector<uint8_t> frame = c.frame;
    le32(frame, static_cast<uint32_t>(kMarker));
    Peer peer = start_peer([&](int fd) {
      if (!send_raw(fd, frame)) return 1;
      drain_raw(fd, 2000);  // until the parent closes
      return 0;
    });
    ASSERT_GE(peer.fd, 0) << c.name;
    CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &peer.fd);
    EXPECT_EQ(c.status, c.read(ch)) << c.name;
    EXPECT_EQ(c.in_step ? 0 : 1, CH_out_of_step(ch)) << c.name;
    if (c.in_step) {
      int32_t marker = 0;
      EXPECT_EQ(0, CH_read_long(ch, &marker)) << c.name;
      EXPECT_EQ(kMarker, marker) << c.name;
    }
    CH_destroy(ch);
    wait_peer(peer);
  }
}

TEST(SocketHostile, PeerThatClosesMidItemFailsTheRead) {
  struct Case {
    const char* name;
    std::vector<uint8_t> sent;
    std::function<int32_t(CHANNEL*)> read;
  };
  const Case kCases[] = {
      {"half a long", {1, 2}, [](CHANNEL* c) { int32_t v; return CH_read_long(c, &v); }},
      {"string cut short", {10, 0, 0, 0, 'a', 'b', 'c'}, [](CHANNEL* c) { char b[16]; return CH_read_string(c, b, 16); }},
      {"block cut short", {1, 2, 3}, [](CHANNEL* c) { char b[8]; return CH_read_block(c, b, 8); }},
  };
  for (const Case& c : kCases) {
    Peer peer = start_peer([&](int fd) { return send_raw(fd, c.sent) ? 0 : 1; });
    ASSERT_GE(peer.fd, 0);
    CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &peer.fd);
    EXPECT_EQ(-1, c.read(ch)) << c.name;
    EXPECT_NE(0, CH_out_of_step(ch)) << c.name;
    CH_destroy(ch);
    EXPECT_EQ(0, wait_peer(peer));
  }
}

TEST(SocketHostile, WriteToAVanishedPeerIsAnErrorNotASignal) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  close(fds[1]);
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &fds[0]);
  std::vector<char> big(1 << 20, 'p');
  int32_t rc = 0;
  for (int i = 0; i < 8 && rc == 0; i++) rc = CH_write_block(ch, big.data(), static_cast<int32_t>(big.size()));
  EXPECT_EQ(-1, rc);
  EXPECT_TRUE(zulos_socket_peer_gone(errno)) << "errno " << errno;
  CH_destroy(ch);
  close(fds[0]);
}

}  // namespace
