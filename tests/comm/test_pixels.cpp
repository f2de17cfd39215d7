// The pixel block codec: the stored byte order, the JPEG block forms, every
// pixel type through every compression it allows, the zlib and JPEG
// wrappers' contracts, and stored blocks that are hostile.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "zul_pixels.h"
#include "zul_status.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Codec {
  SE_CODEC* c = nullptr;
  Codec() { EXPECT_EQ(SES_codec_init(&c), 0); }
  ~Codec() { SES_codec_end(c); }
};

// A smooth 8-bit image, so JPEG keeps it within a few levels.
Bytes gradient(int w, int h) {
  Bytes b(static_cast<size_t>(w * h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) b[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(x * 2 + y);
  return b;
}

// Encodes in place with room for the worst case; returns the status.
int32_t encode(SE_CODEC* c, Bytes& block, int32_t pixel_bytes, int32_t word, int32_t quality = 75, int w = 64,
               int h = 64) {
  Bytes work(block.size() * 2 + 1024);
  int32_t len = static_cast<int32_t>(block.size());
  int32_t rc = SES_pixel_data_encode(c, block.data(), &len, pixel_bytes, word, quality, w, h, work.data(),
                                     static_cast<int32_t>(work.size()));
  if (rc == 0) block.resize(static_cast<size_t>(len));
  return rc;
}

int32_t decode(SE_CODEC* c, const Bytes& stored, Bytes& out, int32_t pixel_bytes, int32_t word, int32_t cap) {
  Bytes work(static_cast<size_t>(cap));
  out.assign(static_cast<size_t>(cap), 0xEE);
  int32_t len = static_cast<int32_t>(stored.size());
  int32_t rc = SES_pixel_data_decode(c, stored.data(), &len, out.data(), cap, pixel_bytes, word, work.data(), cap);
  if (rc == 0) out.resize(static_cast<size_t>(len));
  return rc;
}

std::string captured_messages(const std::function<void()>& body) {
  setenv("ZULVERBOSE", "1", 1);
  testing::internal::CaptureStderr();
  body();
  std::string s = testing::internal::GetCapturedStderr();
  unsetenv("ZULVERBOSE");
  return s;
}

TEST(PixelBlock, SixteenBitPixelsAreStoredBigEndianAndMaskBytesUnchanged) {
  Codec k;
  const uint16_t px[2] = {0x1234, 0xABCD};
  Bytes block(6);
  memcpy(block.data(), px, 4);
  block[4] = 0xC0;  // mask
  block[5] = 0x01;
  ASSERT_EQ(encode(k.c, block, 4, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0)), 0);
  EXPECT_EQ(block, (Bytes{0x12, 0x34, 0xAB, 0xCD, 0xC0, 0x01}));
  Bytes out;
  ASSERT_EQ(decode(k.c, block, out, 4, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0), 64), 0);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(memcmp(out.data(), px, 4), 0);
  EXPECT_EQ(out[4], 0xC0);
}

TEST(PixelBlock, JpegBlockStartsWithItsMarker) {
  Codec k;
  const int32_t word = SE_PIXEL_WORD(SE_PIXEL_8BIT_U, SE_COMPRESSION_JPEG);
  Bytes plain = gradient(64, 64);
  ASSERT_EQ(encode(k.c, plain, 4096, word), 0);
  EXPECT_EQ(plain[0], SE_JPEG_MARK_PLAIN);
  EXPECT_EQ(plain[1], 0xFF);  // the JPEG start-of-image marker follows
  EXPECT_EQ(plain[2], 0xD8);

  Bytes masked = gradient(64, 64);
  masked.insert(masked.end(), 512, 0xF0);
  ASSERT_EQ(encode(k.c, masked, 4096, word), 0);
  ASSERT_EQ(masked[0], SE_JPEG_MARK_MASKED);
  uint32_t j = masked[1] | masked[2] << 8 | masked[3] << 16 | static_cast<uint32_t>(masked[4]) << 24;
  EXPECT_EQ(j, plain.size() - 1);  // same pixels, same JPEG
  EXPECT_EQ(masked[5], 0xFF);
  EXPECT_EQ(masked[5 + j], 0x78);  // a zlib header follows the JPEG data
  Bytes out;
  ASSERT_EQ(decode(k.c, masked, out, 4096, word, 8192), 0);
  ASSERT_EQ(out.size(), 4096u + 512u);
  EXPECT_EQ(Bytes(out.begin() + 4096, out.end()), Bytes(512, 0xF0));
}

// Every pixel type through each compression it allows, with and without a
// mask; the codec is reused across all of them.
TEST(PixelBlock, EveryTypeRoundTripsThroughEachCompression) {
  struct Case { int32_t type; int32_t bytes_per_pixel; };
  const Case kTypes[] = {{SE_PIXEL_1BIT, 0},      {SE_PIXEL_4BIT, 0},     {SE_PIXEL_8BIT_U, 1},
                         {SE_PIXEL_8BIT_S, 1},    {SE_PIXEL_16BIT_U, 2},  {SE_PIXEL_16BIT_S, 2},
                         {SE_PIXEL_32BIT_U, 4},   {SE_PIXEL_32BIT_S, 4},  {SE_PIXEL_32BIT_REAL, 4},
                         {SE_PIXEL_64BIT, 8},     {SE_PIXEL_64BIT_REAL, 8}};
  Codec k;
  const int w = 64, h = 64;
  for (const Case& t : kTypes) {
    int32_t pixel_bytes = t.type == SE_PIXEL_1BIT ? w * h / 8 : t.type == SE_PIXEL_4BIT ? w * h / 2 : w * h * t.bytes_per_pixel;
    for (int comp = 0; comp <= 2; comp++) {
      if (comp == SE_COMPRESSION_JPEG && t.bytes_per_pixel != 1) continue;
      for (int mask = 0; mask <= 1; mask++) {
        SCOPED_TRACE("type " + std::to_string(t.type) + " compression " + std::to_string(comp) + " mask " +
                     std::to_string(mask));
        Bytes orig = comp == SE_COMPRESSION_JPEG ? gradient(w, h) : Bytes(static_cast<size_t>(pixel_bytes));
        if (comp != SE_COMPRESSION_JPEG)
          for (size_t i = 0; i < orig.size(); i++) orig[i] = static_cast<uint8_t>((i / 8) % 251);
        if (mask) orig.insert(orig.end(), static_cast<size_t>(w * h / 8), 0xA5);
        Bytes block = orig;
        int32_t word = SE_PIXEL_WORD(t.type, comp);
        ASSERT_EQ(encode(k.c, block, pixel_bytes, word, 90, w, h), 0);
        Bytes out;
        ASSERT_EQ(decode(k.c, block, out, pixel_bytes, word, 65536), 0);
        ASSERT_EQ(out.size(), orig.size());
        if (comp == SE_COMPRESSION_JPEG) {
          for (int32_t i = 0; i < pixel_bytes; i++) ASSERT_NEAR(out[static_cast<size_t>(i)], orig[static_cast<size_t>(i)], 4) << i;
          EXPECT_TRUE(std::equal(out.begin() + pixel_bytes, out.end(), orig.begin() + pixel_bytes));
        } else {
          EXPECT_EQ(out, orig);
        }
      }
    }
  }
}

TEST(PixelBlock, EncodeRefusalsAndTheirMessages) {
  Codec k;
  std::string msg = captured_messages([&] {
    Bytes odd(5);
    EXPECT_EQ(encode(k.c, odd, 5, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0)), -1);
    Bytes out;
    EXPECT_EQ(decode(k.c, Bytes(6), out, 5, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0), 64), -1);
  });
  EXPECT_NE(msg.find("SES_pixel_data_encode: invalid pixel data length.\n"), std::string::npos);
  EXPECT_NE(msg.find("SES_pixel_data_decode: invalid pixel data length.\n"), std::string::npos);

  // JPEG of 16-bit pixels: refused after the bytes were reversed.
  Bytes wide{0x34, 0x12};
  msg = captured_messages([&] { EXPECT_EQ(encode(k.c, wide, 2, SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 2)), SE_INVALID_PARAM); });
  EXPECT_EQ(wide, (Bytes{0x12, 0x34}));
  EXPECT_NE(msg.find("Invalid pixel depth (16) for JPEG compression."), std::string::npos);

  // Quality: 0 keeps the library's default, 1 to 100 are taken, others fail.
  for (int32_t q : {0, 1, 100, 101, -1}) {
    Bytes img = gradient(64, 64);
    EXPECT_EQ(encode(k.c, img, 4096, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 2), q), q >= 0 && q <= 100 ? 0 : -1) << q;
  }

  // A block that zlib cannot shrink does not fit back into its own room.
  Bytes noise(64);
  for (size_t i = 0; i < noise.size(); i++) noise[i] = static_cast<uint8_t>(i * 151 + 17);
  msg = captured_messages([&] { EXPECT_EQ(encode(k.c, noise, 64, SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 1)), -1); });
  EXPECT_NE(msg.find("SES_pixel_data_encode: data buffer too small.\n"), std::string::npos);
}

// Stored blocks that lie: each is refused with -1, writes nothing past the
// room it was given (the sanitizers watch), and the codec keeps working.
TEST(PixelBlock, HostileStoredBlocksAreRefused) {
  Codec k;
  const int32_t z8 = SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 1), z16 = SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 1);
  const int32_t j8 = SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 2), r8 = SE_PIXEL_WORD(SE_PIXEL_8BIT_U, 0);
  Bytes big(1 << 20, 0);  // inflates to 1 MiB
  Bytes bomb = big;
  ASSERT_EQ(encode(k.c, bomb, static_cast<int32_t>(big.size()), z8), 0);
  Bytes bomb16 = big;
  ASSERT_EQ(encode(k.c, bomb16, static_cast<int32_t>(big.size()), z16), 0);
  Bytes pic = gradient(64, 64);
  ASSERT_EQ(encode(k.c, pic, 4096, j8, 75, 64, 64), 0);  // a 4096-pixel JPEG
  Bytes masked = gradient(64, 64);
  masked.insert(masked.end(), 512, 1);
  ASSERT_EQ(encode(k.c, masked, 4096, j8), 0);
  Bytes bad_len = masked;
  bad_len[3] = 0x7F;  // JPEG length far beyond the block
  Bytes truncated(pic.begin(), pic.begin() + static_cast<long>(pic.size() / 2));
  Bytes garbage_jpeg{0, 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x01, 0x11, 0x00};
  Bytes bad_mask = masked;
  bad_mask.back() ^= 0xFF;  // the mask's zlib checksum no longer matches

  struct Case { const char* name; Bytes stored; int32_t word; int32_t pixel_bytes; int32_t cap; };
  const Case kCases[] = {
      {"zlib bomb beyond the room", bomb, z8, 4096, 4096},
      {"16-bit zlib bomb beyond the work room", bomb16, z16, 4096, 4096},
      {"truncated zlib stream", Bytes(bomb.begin(), bomb.begin() + 10), z8, 16, 4096},
      {"not a zlib stream", Bytes(40, 0x55), z8, 16, 4096},
      {"JPEG larger than the room", pic, j8, 1024, 1024},
      {"truncated JPEG", truncated, j8, 4096, 8192},
      {"JPEG header declaring 65535 x 65535", garbage_jpeg, j8, 4096, 8192},
      {"JPEG length beyond the block", bad_len, j8, 4096, 8192},
      {"marker 255 without a length", Bytes{255, 1, 2}, j8, 4096, 8192},
      {"marker alone", Bytes{0}, j8, 4096, 8192},
      {"mask with a broken checksum", bad_mask, j8, 4096, 8192},
      {"uncompressed block beyond the room", Bytes(300, 1), r8, 256, 256},
      {"16-bit block shorter than its pixels", Bytes(10, 1), SE_PIXEL_WORD(SE_PIXEL_16BIT_U, 0), 64, 256},
  };
  for (const Case& c : kCases) {
    Bytes out;
    EXPECT_EQ(decode(k.c, c.stored, out, c.pixel_bytes, c.word, c.cap), -1) << c.name;
  }
  Bytes out;
  ASSERT_EQ(decode(k.c, pic, out, 4096, j8, 4096), 0);  // still usable afterwards
  EXPECT_EQ(out.size(), 4096u);
}

TEST(ZlibContext, KindsAreCheckedAndStreamsReused) {
  SE_ZLIB_CONTEXT *d = nullptr, *i = nullptr;
  ASSERT_EQ(SES_deflate_init(&d), 0);
  ASSERT_EQ(SES_inflate_init(&i), 0);
  EXPECT_EQ(SES_deflate_init(nullptr), SE_INVALID_POINTER);
  char buf[64];
  int32_t n = sizeof buf;
  EXPECT_EQ(SES_deflate(i, buf, &n, "x", 1), SE_INVALID_PARAM);
  EXPECT_EQ(SES_inflate(d, buf, &n, "x", 1), SE_INVALID_PARAM);
  EXPECT_EQ(SES_inflate_end(d), SE_INVALID_PARAM);
  for (int round = 0; round < 3; round++) {  // one stream per block, reset between
    std::string text = "block " + std::to_string(round) + std::string(40, 'z');
    char z[128], back[128];
    int32_t zn = sizeof z, bn = sizeof back;
    ASSERT_EQ(SES_deflate(d, z, &zn, text.data(), static_cast<int32_t>(text.size())), 0);
    ASSERT_EQ(SES_inflate(i, back, &bn, z, zn), 0);
    EXPECT_EQ(std::string(back, static_cast<size_t>(bn)), text);
  }
  int32_t small = 4;  // room runs out: a failure, and the stream is reset
  EXPECT_EQ(SES_deflate(d, buf, &small, "abcdefgh", 8), -1);
  EXPECT_EQ(SES_deflate_end(d), 0);
  EXPECT_EQ(SES_inflate_end(i), 0);
}

TEST(JpegContext, KindsAreCheckedAndAFullDestinationFails) {
  SE_JPEG_CONTEXT *c = nullptr, *d = nullptr;
  ASSERT_EQ(SES_jpeg_compress_init(&c), 0);
  ASSERT_EQ(SES_jpeg_decompress_init(&d), 0);
  Bytes img = gradient(32, 32), out(4096);
  int32_t n = static_cast<int32_t>(out.size());
  EXPECT_EQ(SES_jpeg_compress(d, out.data(), &n, img.data(), 1024, 32, 32, 50), SE_INVALID_PARAM);
  EXPECT_EQ(SES_jpeg_decompress(c, out.data(), &n, img.data(), 1024), SE_INVALID_PARAM);
  EXPECT_EQ(SES_jpeg_compress(c, out.data(), &n, img.data(), 100, 32, 32, 50), SE_INVALID_PARAM);  // too few pixels
  std::string msg = captured_messages([&] {
    int32_t tiny = 64;
    EXPECT_EQ(SES_jpeg_compress(c, out.data(), &tiny, img.data(), 1024, 32, 32, 50), -1);
  });
  EXPECT_NE(msg.find("mem_empty_output_buffer: full\n"), std::string::npos);
  n = static_cast<int32_t>(out.size());
  ASSERT_EQ(SES_jpeg_compress(c, out.data(), &n, img.data(), 1024, 32, 32, 50), 0);  // usable after the failure
  Bytes pixels(1024);
  int32_t pn = 1024;
  ASSERT_EQ(SES_jpeg_decompress(d, pixels.data(), &pn, out.data(), n), 0);
  EXPECT_EQ(pn, 1024);
  EXPECT_EQ(SES_jpeg_compress_end(d), SE_INVALID_PARAM);
  EXPECT_EQ(SES_jpeg_compress_end(c), 0);
  EXPECT_EQ(SES_jpeg_decompress_end(d), 0);
}

}  // namespace
