// pixel_codec.cpp -- throughput of the pixel block codec with zlib against
// zlib alone on the same bytes.
//
// A small driver: each round encodes (then decodes) a set of 16-bit tiles
// with a mask through SES_pixel_data_encode / SES_pixel_data_decode, and, for
// the baseline, compresses (then inflates) the same bytes with zlib's own
// compress2 / uncompress at the default level. Both run in the same process;
// the figures are printed as MB/s and as the ratio of codec time to zlib
// time. Every decoded tile is compared with its original, so a fast wrong
// answer cannot pass as a result.
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <vector>

#include "zul_pixels.h"

namespace {

constexpr int kTiles = 64;
constexpr int kSide = 128;                         // pixels a side
constexpr int kPixelBytes = kSide * kSide * 2;     // 16-bit pixels
constexpr int kBlock = kPixelBytes + kSide * kSide / 8;  // plus the mask
constexpr int kRounds = 20;

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// An elevation-like tile: smooth values with a little noise, a full mask.
Bytes make_tile(unsigned seed) {
  Bytes b(kBlock);
  for (int y = 0; y < kSide; y++)
    for (int x = 0; x < kSide; x++) {
      seed = seed * 1103515245u + 12345u;
      uint16_t v = static_cast<uint16_t>(1000 + x * 3 + y * 5 + (seed >> 28));
      memcpy(&b[static_cast<size_t>((y * kSide + x) * 2)], &v, 2);
    }
  memset(&b[kPixelBytes], 0xFF, kBlock - kPixelBytes);
  return b;
}

}  // namespace

int main() {
  std::vector<Bytes> tiles;
  for (int i = 0; i < kTiles; i++) tiles.push_back(make_tile(static_cast<unsigned>(i) * 7919u + 1));
  const double mb = static_cast<double>(kTiles) * kBlock * kRounds / 1e6;
  const int32_t word = SE_PIXEL_WORD(SE_PIXEL_16BIT_U, SE_COMPRESSION_LZ77);
  Bytes work(kBlock * 2), out(kBlock);

  // Baseline: zlib alone on the same bytes.
  std::vector<Bytes> zs(kTiles, Bytes(compressBound(kBlock)));
  std::vector<uLongf> zlen(kTiles);
  auto t0 = Clock::now();
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kTiles; i++) {
      zlen[i] = zs[i].size();
      if (compress2(zs[i].data(), &zlen[i], tiles[i].data(), kBlock, Z_DEFAULT_COMPRESSION) != Z_OK) return 1;
    }
  double zenc = seconds_since(t0);
  t0 = Clock::now();
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kTiles; i++) {
      uLongf n = kBlock;
      if (uncompress(out.data(), &n, zs[i].data(), zlen[i]) != Z_OK || n != kBlock) return 1;
    }
  double zdec = seconds_since(t0);
  if (memcmp(out.data(), tiles[kTiles - 1].data(), kBlock) != 0) return 1;

  // The codec: encode in place (on a copy), then decode.
  SE_CODEC* codec = nullptr;
  if (SES_codec_init(&codec) != 0) return 1;
  std::vector<Bytes> enc(kTiles);
  std::vector<int32_t> elen(kTiles);
  double cenc = 0;
  for (int r = 0; r < kRounds; r++) {
    for (int i = 0; i < kTiles; i++) enc[i] = tiles[i];
    t0 = Clock::now();
    for (int i = 0; i < kTiles; i++) {
      elen[i] = kBlock;
      if (SES_pixel_data_encode(codec, enc[i].data(), &elen[i], kPixelBytes, word, 0, kSide, kSide, work.data(),
                                static_cast<int32_t>(work.size())) != 0)
        return 2;
    }
    cenc += seconds_since(t0);
  }
  t0 = Clock::now();
  long long bad = 0;
  for (int r = 0; r < kRounds; r++)
    for (int i = 0; i < kTiles; i++) {
      int32_t n = elen[i];
      if (SES_pixel_data_decode(codec, enc[i].data(), &n, out.data(), kBlock, kPixelBytes, word, work.data(),
                                static_cast<int32_t>(work.size())) != 0 ||
          n != kBlock)
        return 3;
      if (r == 0) bad += memcmp(out.data(), tiles[i].data(), kBlock) != 0;
    }
  double cdec = seconds_since(t0);
  SES_codec_end(codec);
  if (bad != 0) {
    fprintf(stderr, "%lld tiles decoded wrong\n", bad);
    return 4;
  }

  printf("pixel codec, %d tiles of %d bytes x %d rounds\n", kTiles, kBlock, kRounds);
  printf("encode: codec %.1f MB/s, zlib alone %.1f MB/s, ratio %.3f\n", mb / cenc, mb / zenc, cenc / zenc);
  printf("decode: codec %.1f MB/s, zlib alone %.1f MB/s, ratio %.3f\n", mb / cdec, mb / zdec, cdec / zdec);
  return 0;
}
