// The raster buffer: the packed tile and its wire form in both channel
// encodings, conversion on put and get, the put rules, received buffers that
// lie (refused with the channel still in step), and tiles moved between two
// processes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_channel_pair.h"
#include "zul_raster_buffer.h"
#include "zul_status.h"

using namespace zultest;

namespace {

using Bytes = std::vector<uint8_t>;

struct Rb {
  RASTER_BUFFER* rb = nullptr;
  explicit Rb(int32_t size) { EXPECT_EQ(RB_init(&rb, size), 0); }
  ~Rb() { RB_free(&rb); }
};

RASTER_TILE make_tile(Bytes& data, int32_t band, int32_t word, int32_t pixels, int32_t row = 4, int32_t col = 5,
                      int32_t level = 0) {
  RASTER_TILE t{};
  t.band_id = band;
  t.type_word = word;
  t.row = row;
  t.column = col;
  t.level = level;
  t.data = data.data();
  t.data_length = static_cast<int32_t>(data.size());
  t.pixel_count = pixels;
  return t;
}

Bytes gradient(int w, int h) {
  Bytes b(static_cast<size_t>(w * h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) b[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(x * 2 + y);
  return b;
}

// One item of a hand-made frame in either encoding: natively a long is four
// little-endian bytes and a block its bytes; on XDR each item is a record.
struct Frame {
  bool xdr;
  Bytes b;
  void lng(int32_t v) {
    Bytes item;
    if (xdr)
      be32(item, static_cast<uint32_t>(v));
    else
      le32(item, static_cast<uint32_t>(v));
    add(item);
  }
  void block(const Bytes& data) {
    Bytes item = data;
    if (xdr)
      while (item.size() % 4) item.push_back(0);
    add(item);
  }
  void add(const Bytes& item) {
    Bytes r = xdr ? xdr_record(item) : item;
    b.insert(b.end(), r.begin(), r.end());
  }
};

TEST(RasterBuffer, PackedTileAndWireFormFollowTheLayout) {
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    SCOPED_TRACE(kind == CH_KIND_XDR ? "xdr" : "native");
    const int32_t word = SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0);
    Bytes data{0x34, 0x12, 0xCD, 0xAB, 0x80};
    Rb r(256);
    RASTER_TILE t = make_tile(data, 3, word, 2, 7, 8, 1);
    ASSERT_EQ(RB_put_tile(r.rb, &t, 2, 1, 0, 0), 0);
    Bytes image;
    for (int32_t v : {5, 3, word, 2, 7, 8, 1}) le32(image, static_cast<uint32_t>(v));
    image.insert(image.end(), data.begin(), data.end());
    EXPECT_EQ(Bytes(r.rb->block, r.rb->block + image.size()), image);

    RB_set_last(r.rb);
    RB_set_error(r.rb, -51);  // a status still sends the rest
    int fds[2];
    ASSERT_TRUE(raw_pair(fds));
    CHANNEL* ch = CH_create(kind, 0, &fds[0]);
    ASSERT_NE(ch, nullptr);
    ASSERT_EQ(RB_send_buffer(r.rb, ch), 0);
    Frame f{kind == CH_KIND_XDR, {}};
    for (int32_t v : {-51, 1, 1, 5, 3, word, 2, 7, 8, 1}) f.lng(v);
    f.block(data);
    EXPECT_EQ(read_exact(fds[1], f.b.size(), 2000), f.b);
    CH_destroy(ch);
    close(fds[1]);
  }
}

TEST(RasterBuffer, ConvertedPutStoresPixelBlocksAndGetRestoresThem) {
  struct Case { const char* name; int32_t type; int32_t comp; int32_t bpp; };
  const Case kCases[] = {
      {"16-bit none", SE_PIXEL_16BIT_S, 0, 2},   {"16-bit zlib", SE_PIXEL_16BIT_U, 1, 2},
      {"32-bit real zlib", SE_PIXEL_32BIT_REAL, 1, 4}, {"64-bit none", SE_PIXEL_64BIT_REAL, 0, 8},
      {"8-bit zlib", SE_PIXEL_8BIT_U, 1, 1},     {"8-bit JPEG", SE_PIXEL_8BIT_U, 2, 1},
      {"1-bit zlib", SE_PIXEL_1BIT, 1, 0},
  };
  Rb r(1 << 18);
  const int w = 64, h = 64;
  std::vector<Bytes> sent;
  for (const Case& c : kCases) {
    int32_t pixel_bytes = c.bpp ? w * h * c.bpp : w * h / 8;
    Bytes d = c.comp == 2 ? gradient(w, h) : Bytes(static_cast<size_t>(pixel_bytes));
    if (c.comp != 2)
      for (size_t i = 0; i < d.size(); i++) d[i] = static_cast<uint8_t>(i / 8 + (i % 3));
    d.insert(d.end(), static_cast<size_t>(w * h / 8), 0x5A);  // the mask
    sent.push_back(d);
    RASTER_TILE t = make_tile(sent.back(), 9, SE_PIXEL_WORD(c.type, c.comp), w * h);
    ASSERT_EQ(RB_put_tile(r.rb, &t, w, h, 90, 1), 0) << c.name;
  }
  // The first tile's pixels went in big-endian: its first stored pixel
  // shows its bytes swapped; the mask is stored as it was.
  EXPECT_EQ(r.rb->block[RB_TILE_HEADER], sent[0][1]);
  EXPECT_EQ(r.rb->block[RB_TILE_HEADER + 1], sent[0][0]);
  EXPECT_EQ(r.rb->block[RB_TILE_HEADER + sent[0].size() - 1], 0x5A);
  EXPECT_EQ(RB_get_num_tiles(r.rb), 7);

  r.rb->cursor = r.rb->block;  // read back what was put
  Bytes out(static_cast<size_t>(RB_tile_capacity(r.rb)));
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; i++) {
    RASTER_TILE t{};
    t.data = out.data();
    ASSERT_EQ(RB_get_tile(r.rb, &t, 1), 0) << kCases[i].name;
    ASSERT_EQ(t.data_length, static_cast<int32_t>(sent[i].size())) << kCases[i].name;
    EXPECT_EQ(t.band_id, 9);
    EXPECT_EQ(t.row, 4);
    Bytes got(out.begin(), out.begin() + t.data_length);
    if (kCases[i].comp == 2) {
      for (int p = 0; p < w * h; p++) ASSERT_NEAR(got[static_cast<size_t>(p)], sent[i][static_cast<size_t>(p)], 4) << p;
      EXPECT_TRUE(std::equal(got.begin() + w * h, got.end(), sent[i].begin() + w * h));
    } else {
      EXPECT_EQ(got, sent[i]) << kCases[i].name;
    }
  }
  RASTER_TILE t{};
  t.data = out.data();
  EXPECT_EQ(RB_get_tile(r.rb, &t, 1), RB_EMPTY);
}

TEST(RasterBuffer, PutRules) {
  Bytes d(100, 1), wide(200, 2);
  // filler: bytes of a plain tile put first, so a later put meets a part-used block.
  struct Case { const char* name; int32_t size; int32_t filler; RASTER_TILE tile; int32_t convert; int32_t status; };
  const Case kCases[] = {
      {"band id 0", 4096, 0, make_tile(d, 0, 0, 100), 0, RB_BAD_BAND},
      {"negative length", 4096, 0, [&] { RASTER_TILE t = make_tile(d, 1, 0, 100); t.data_length = -1; return t; }(), 0,
       SE_INVALID_PARAM},
      {"compression 3", 4096, 10, make_tile(d, 1, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 3), 100), 0, RB_BAD_COMPRESSION},
      {"JPEG of 16-bit pixels", 4096, 10, make_tile(wide, 1, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 2), 100), 1, -1},
      {"pixel count beyond the data", 4096, 10, make_tile(d, 1, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0), 51), 1,
       SE_INVALID_PARAM},
      {"data size 0", 0, 0, make_tile(d, 1, 0, 100), 0, RB_FULL},
      {"one byte short", 127, 0, make_tile(d, 1, 0, 100), 0, RB_FULL},
      {"zlib allowance", 140, 0, make_tile(d, 1, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 1), 100), 1, RB_FULL},
      {"JPEG result larger than the room", 2000, 2000 - 28 - 138, make_tile(d, 1, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 2), 100),
       1, RB_FULL},
      {"exact fit", 128, 0, make_tile(d, 1, 0, 100), 0, 0},
  };
  for (const Case& c : kCases) {
    Rb r(c.size);
    Bytes fill(static_cast<size_t>(c.filler), 7);
    RASTER_TILE first = make_tile(fill, 1, 0, c.filler);
    if (c.filler) ASSERT_EQ(RB_put_tile(r.rb, &first, 0, 0, 0, 0), 0) << c.name;
    auto used = [&] { return r.rb->block ? r.rb->cursor - r.rb->block : 0; };
    auto before = used();
    int32_t tiles = RB_get_num_tiles(r.rb);
    RASTER_TILE t = c.tile;
    EXPECT_EQ(RB_put_tile(r.rb, &t, 10, 10, 50, c.convert), c.status) << c.name;
    if (c.status != 0) {  // a failed put leaves the buffer as it was
      EXPECT_EQ(used(), before) << c.name;
      EXPECT_EQ(RB_get_num_tiles(r.rb), tiles) << c.name;
      EXPECT_EQ(r.rb->header, nullptr) << c.name;
    }
  }
  Rb r(4096);
  RASTER_TILE empty = make_tile(d, 1, 0, 0);
  empty.data_length = 0;
  EXPECT_EQ(RB_put_tile(r.rb, &empty, 0, 0, 0, 0), 0);
  EXPECT_TRUE(RB_is_empty(r.rb));
  EXPECT_EQ(RB_put_tile(r.rb, nullptr, 0, 0, 0, 0), SE_INVALID_POINTER);
}

// Hostile buffers from a peer: each is refused with -66 (or ends the
// connection when it cannot be drained), and a long sent after it still
// reads correctly.
TEST(RasterBuffer, HostileReceivedBuffersAreRefusedInStep) {
  struct Tile { int32_t len; int32_t pixels; int32_t real_bytes; };
  struct Case { const char* name; int32_t count; std::vector<Tile> tiles; int32_t status; };
  const Case kCases[] = {
      {"negative tile count", -5, {}, SE_INVALID_PARAM},
      {"tile longer than the block", 1, {{5000, 1, 5000}}, SE_INVALID_PARAM},
      {"second tile overflows the block", 2, {{900, 1, 900}, {200, 1, 200}}, SE_INVALID_PARAM},
      {"negative pixel count", 1, {{10, -1, 10}}, SE_INVALID_PARAM},
      {"negative length, nothing follows", 2, {{-7, 1, 0}, {10, 1, 10}}, SE_INVALID_PARAM},
      {"more tiles than the block holds", 40, std::vector<Tile>(40, {0, 0, 0}), SE_INVALID_PARAM},
      {"count that cannot be drained", 1 << 30, {}, SE_NET_FAILURE},
      {"a good buffer", 2, {{10, 10, 10}, {20, 20, 20}}, 0},
  };
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    for (const Case& c : kCases) {
      std::string name = std::string(c.name) + (kind == CH_KIND_XDR ? " (xdr)" : " (native)");
      int fds[2];
      ASSERT_TRUE(raw_pair(fds));
      Frame f{kind == CH_KIND_XDR, {}};
      f.lng(0);
      f.lng(1);
      f.lng(c.count);
      for (const Tile& t : c.tiles) {
        for (int32_t v : {t.len, 1, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 0), t.pixels, 0, 0, 0}) f.lng(v);
        if (t.len >= 0) f.block(Bytes(static_cast<size_t>(t.real_bytes), 0x11));
      }
      f.lng(4242);
      ASSERT_TRUE(send_raw(fds[1], f.b));
      CHANNEL* ch = CH_create(kind, 0, &fds[0]);
      Rb r(1000);
      EXPECT_EQ(RB_receive_buffer(r.rb, ch), c.status) << name;
      if (c.status != SE_NET_FAILURE) {
        int32_t next = 0;
        EXPECT_EQ(CH_read_long(ch, &next), 0) << name;
        EXPECT_EQ(next, 4242) << name;
      }
      if (c.status == 0) {
        EXPECT_EQ(RB_get_num_tiles(r.rb), 2);
        EXPECT_TRUE(RB_is_last(r.rb));
        Bytes out(static_cast<size_t>(RB_tile_capacity(r.rb)));
        RASTER_TILE t{};
        t.data = out.data();
        EXPECT_EQ(RB_get_tile(r.rb, &t, 0), 0);
        EXPECT_EQ(t.data_length, 10);
      } else {
        EXPECT_EQ(RB_get_num_tiles(r.rb), 0) << name;
      }
      CH_destroy(ch);
      close(fds[1]);
    }
  }
}

// A child process sends three buffers of converted tiles (zlib 16-bit and
// JPEG 8-bit with masks); the parent receives and decodes them.
TEST(RasterBuffer, TilesMoveBetweenTwoProcesses) {
  const int w = 64, h = 64;
  auto tile_bytes = [&](int i) {
    Bytes d = i % 2 ? gradient(w, h) : Bytes(static_cast<size_t>(w * h * 2));
    if (i % 2 == 0)
      for (size_t k = 0; k < d.size(); k++) d[k] = static_cast<uint8_t>(k / 16 + static_cast<size_t>(i));
    d.insert(d.end(), static_cast<size_t>(w * h / 8), static_cast<uint8_t>(i));
    return d;
  };
  auto word = [](int i) {
    return i % 2 ? SE_PIXEL_WORD(SE_PIXEL_8BIT_U, SE_COMPRESSION_JPEG) : SE_PIXEL_WORD(SE_PIXEL_16BIT_U, SE_COMPRESSION_LZ77);
  };
  const int kTiles = 12;
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    SCOPED_TRACE(kind == CH_KIND_XDR ? "xdr" : "native");
    Peer p = start_peer([&](int fd) {
      CHANNEL* ch = CH_create(kind, 0, &fd);
      RASTER_BUFFER* rb = nullptr;
      if (!ch || RB_init(&rb, 10000) != 0) return 1;
      for (int i = 0; i < kTiles; i++) {
        Bytes d = tile_bytes(i);
        RASTER_TILE t = make_tile(d, 2, word(i), w * h, i, i + 1, 0);
        int32_t rc = RB_put_tile(rb, &t, w, h, 90, 1);
        if (rc == RB_FULL) {
          if (RB_send_buffer(rb, ch) != 0) return 2;
          RB_reset(rb);
          rc = RB_put_tile(rb, &t, w, h, 90, 1);
        }
        if (rc != 0) return 3;
      }
      RB_set_last(rb);
      if (RB_send_buffer(rb, ch) != 0) return 4;
      int32_t ack = 0;
      if (CH_read_long(ch, &ack) != 0 || ack != kTiles) return 5;
      RB_free(&rb);
      CH_destroy(ch);
      return 0;
    });
    ASSERT_GE(p.fd, 0);
    CHANNEL* ch = CH_create(kind, 0, &p.fd);
    Rb r(10000);
    Bytes out(static_cast<size_t>(RB_tile_capacity(r.rb)));
    int got = 0, buffers = 0;
    do {
      RB_reset(r.rb);
      ASSERT_EQ(RB_receive_buffer(r.rb, ch), 0);
      ASSERT_EQ(RB_get_error(r.rb), 0);
      buffers++;
      RASTER_TILE t{};
      t.data = out.data();
      while (RB_get_tile(r.rb, &t, 1) == 0) {
        Bytes want = tile_bytes(got);
        ASSERT_EQ(t.data_length, static_cast<int32_t>(want.size())) << got;
        EXPECT_EQ(t.row, got);
        EXPECT_EQ(t.column, got + 1);
        if (got % 2) {
          for (int k = 0; k < w * h; k++) ASSERT_NEAR(out[static_cast<size_t>(k)], want[static_cast<size_t>(k)], 4);
          EXPECT_TRUE(std::equal(want.begin() + w * h, want.end(), out.begin() + w * h));
        } else {
          EXPECT_TRUE(std::equal(want.begin(), want.end(), out.begin())) << got;
        }
        got++;
      }
    } while (!RB_is_last(r.rb));
    EXPECT_EQ(got, kTiles);
    EXPECT_GT(buffers, 1);
    EXPECT_EQ(CH_write_long(ch, got), 0);
    EXPECT_EQ(CH_flush(ch), 0);
    CH_destroy(ch);
    p.fd = -1;
    EXPECT_EQ(wait_peer(p), 0);
  }
}

}  // namespace
