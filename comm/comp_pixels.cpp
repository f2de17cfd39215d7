// comp_pixels.cpp -- the pixel block codec: byte order of multi-byte pixels,
// zlib and JPEG compression of one tile, in place or into the caller's room.
//
// Relies on the zlib and JPEG wrappers (zip.cpp, jpeg.cpp) for the streams;
// the codec context holds one of each, made on first use. The block forms
// and the rules for hostile blocks are in zul_pixels.h. Every write into a
// caller's buffer is checked against the room it was given: an encoded tile
// that grows past its block and a stored tile that decodes past the output
// fail with -1 and a message.
#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "zul_pixels.h"
#include "zul_status.h"

namespace {

// Reverses the bytes of each of count pixels of size bytes, from src to dst
// (which may be the same).
void reverse_pixels(uint8_t* dst, const uint8_t* src, int32_t count, int32_t size) {
  for (int32_t i = 0; i < count; i++, dst += size, src += size) {
    for (int32_t lo = 0, hi = size - 1; lo <= hi; lo++, hi--) {
      uint8_t a = src[lo], b = src[hi];
      dst[lo] = b;
      dst[hi] = a;
    }
  }
}

// True for pixels of more than 8 bits whose size is whole bytes.
bool multi_byte(uint32_t bits) { return bits > 8 && bits % 8 == 0; }

int32_t ensure_deflater(SE_CODEC* codec) { return codec->deflater ? 0 : SES_deflate_init(&codec->deflater); }
int32_t ensure_inflater(SE_CODEC* codec) { return codec->inflater ? 0 : SES_inflate_init(&codec->inflater); }

void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get_le32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

}  // namespace

int32_t SES_codec_init(SE_CODEC** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = static_cast<SE_CODEC*>(calloc(1, sizeof(SE_CODEC)));
  return *out ? 0 : SE_OUT_OF_MEMORY;
}

int32_t SES_codec_end(SE_CODEC* codec) {
  if (!codec) return SE_INVALID_POINTER;
  if (codec->inflater) SES_inflate_end(codec->inflater);
  if (codec->deflater) SES_deflate_end(codec->deflater);
  if (codec->jpeg_out) SES_jpeg_compress_end(codec->jpeg_out);
  if (codec->jpeg_in) SES_jpeg_decompress_end(codec->jpeg_in);
  free(codec);
  return 0;
}

int32_t SES_pixel_data_encode(SE_CODEC* codec, void* data, int32_t* length, int32_t pixel_bytes, int32_t type_word,
                              int32_t quality, int32_t width, int32_t height, void* work, int32_t work_size) {
  if (!codec || !data || !length) return SE_INVALID_POINTER;
  const int32_t comp = SE_PIXEL_COMPRESSION(type_word);
  const uint32_t bits = SE_PIXEL_BITS(type_word);
  const int32_t room = *length;
  uint8_t* block = static_cast<uint8_t*>(data);
  if (room < 0 || pixel_bytes < 0 || pixel_bytes > room) {
    SES_print_debug(stderr, "SES_pixel_data_encode: invalid pixel data length.\n");
    return -1;
  }
  if (multi_byte(bits)) {
    int32_t size = static_cast<int32_t>(bits / 8);
    if (pixel_bytes % size != 0) {
      SES_print_debug(stderr, "SES_pixel_data_encode: invalid pixel data length.\n");
      return -1;
    }
    reverse_pixels(block, block, pixel_bytes / size, size);
  }
  if (comp != SE_COMPRESSION_LZ77 && comp != SE_COMPRESSION_JPEG) return 0;
  if (!work || work_size < 0) return SE_INVALID_POINTER;
  int32_t rc = ensure_deflater(codec);
  if (rc != 0) return rc;
  uint8_t* w = static_cast<uint8_t*>(work);

  if (comp == SE_COMPRESSION_LZ77) {
    int32_t n = work_size;
    rc = SES_deflate(codec->deflater, w, &n, block, room);
    if (rc != 0) {
      SES_print_debug(stderr, "SES_deflate: %d\n", rc);
      return -1;
    }
    if (n > room) {
      SES_print_debug(stderr, "SES_pixel_data_encode: data buffer too small.\n");
      return -1;
    }
    memcpy(block, w, static_cast<size_t>(n));
    *length = n;
    return 0;
  }

  if (bits != 8) {
    SES_print_debug(stderr, "SES_pixel_data_encode: Invalid pixel depth (%d) for JPEG compression.\n",
                    static_cast<int>(bits));
    return SE_INVALID_PARAM;
  }
  if (!codec->jpeg_out && (rc = SES_jpeg_compress_init(&codec->jpeg_out)) != 0) return rc;
  int32_t jlen = work_size;
  rc = SES_jpeg_compress(codec->jpeg_out, w, &jlen, block, pixel_bytes, width, height, quality);
  if (rc != 0) {
    SES_print_debug(stderr, "SES_jpeg_compress: %d\n", rc);
    return -1;
  }
  const int32_t rest = room - pixel_bytes;
  int32_t zlen = 0;
  if (rest > 0) {
    zlen = work_size - jlen;
    rc = SES_deflate(codec->deflater, w + jlen, &zlen, block + pixel_bytes, rest);
    if (rc != 0) {
      SES_print_debug(stderr, "SES_deflate: %d\n", rc);
      return -1;
    }
  }
  const int64_t need = rest > 0 ? static_cast<int64_t>(jlen) + 5 + zlen : static_cast<int64_t>(jlen) + 1;
  if (need > room) {
    SES_print_debug(stderr, "SES_pixel_data_encode: data buffer too small.\n");
    return -1;
  }
  if (rest > 0) {
    block[0] = SE_JPEG_MARK_MASKED;
    put_le32(block + 1, static_cast<uint32_t>(jlen));
    memcpy(block + 5, w, static_cast<size_t>(jlen) + static_cast<size_t>(zlen));
  } else {
    block[0] = SE_JPEG_MARK_PLAIN;
    memcpy(block + 1, w, static_cast<size_t>(jlen));
  }
  *length = static_cast<int32_t>(need);
  return 0;
}

int32_t SES_pixel_data_decode(SE_CODEC* codec, const void* data, int32_t* length, void* out, int32_t out_cap,
                              int32_t pixel_bytes, int32_t type_word, void* work, int32_t work_size) {
  if (!codec || !data || !length || !out) return SE_INVALID_POINTER;
  const int32_t comp = SE_PIXEL_COMPRESSION(type_word);
  const uint32_t bits = SE_PIXEL_BITS(type_word);
  const int32_t len = *length;
  const uint8_t* in = static_cast<const uint8_t*>(data);
  uint8_t* dst = static_cast<uint8_t*>(out);
  if (len < 0 || out_cap < 0 || pixel_bytes < 0) {
    SES_print_debug(stderr, "SES_pixel_data_decode: invalid pixel data length.\n");
    return -1;
  }
  int32_t rc;
  if (comp != SE_COMPRESSION_NONE && (rc = ensure_inflater(codec)) != 0) return rc;

  if (multi_byte(bits)) {
    const uint8_t* src = in;
    int32_t src_len = len;
    if (comp == SE_COMPRESSION_LZ77) {
      if (!work || work_size < 0) return SE_INVALID_POINTER;
      src_len = work_size;
      rc = SES_inflate(codec->inflater, work, &src_len, in, len);
      if (rc != 0) {
        SES_print_debug(stderr, "SES_inflate: %d\n", rc);
        return -1;
      }
      src = static_cast<const uint8_t*>(work);
    }
    int32_t size = static_cast<int32_t>(bits / 8);
    if (pixel_bytes % size != 0 || pixel_bytes > src_len) {
      SES_print_debug(stderr, "SES_pixel_data_decode: invalid pixel data length.\n");
      return -1;
    }
    if (src_len > out_cap) {
      SES_print_debug(stderr, "SES_pixel_data_decode: data buffer too small.\n");
      return -1;
    }
    reverse_pixels(dst, src, pixel_bytes / size, size);
    memcpy(dst + pixel_bytes, src + pixel_bytes, static_cast<size_t>(src_len - pixel_bytes));
    *length = src_len;
    return 0;
  }

  if (comp == SE_COMPRESSION_NONE) {
    if (len > out_cap) {
      SES_print_debug(stderr, "SES_pixel_data_decode: data buffer too small.\n");
      return -1;
    }
    if (len > 0) memcpy(dst, in, static_cast<size_t>(len));
    return 0;
  }
  if (comp == SE_COMPRESSION_LZ77) {
    int32_t n = out_cap;
    rc = SES_inflate(codec->inflater, dst, &n, in, len);
    if (rc != 0) {
      SES_print_debug(stderr, "SES_inflate: %d\n", rc);
      return -1;
    }
    *length = n;
    return 0;
  }
  if (comp != SE_COMPRESSION_JPEG) return 0;

  if (!codec->jpeg_in && (rc = SES_jpeg_decompress_init(&codec->jpeg_in)) != 0) return rc;
  if (len < 1) {
    SES_print_debug(stderr, "SES_pixel_data_decode: data buffer too small.\n");
    return -1;
  }
  const uint8_t* jpeg = in + 1;
  int64_t jlen = len - 1;
  bool masked = in[0] == SE_JPEG_MARK_MASKED;
  if (masked) {
    jlen = len >= 5 ? static_cast<int64_t>(get_le32(in + 1)) : -1;
    if (jlen < 0 || jlen + 5 > len) {
      SES_print_debug(stderr, "SES_pixel_data_decode: data buffer too small.\n");
      return -1;
    }
    jpeg = in + 5;
  }
  int32_t n = out_cap;
  rc = SES_jpeg_decompress(codec->jpeg_in, dst, &n, jpeg, static_cast<int32_t>(jlen));
  if (rc != 0) {
    SES_print_debug(stderr, "SES_jpeg_decompress: %d\n", rc);
    return -1;
  }
  int32_t total = n;
  if (masked) {
    int32_t m = out_cap - n;
    rc = SES_inflate(codec->inflater, dst + n, &m, jpeg + jlen, static_cast<int32_t>(len - 5 - jlen));
    if (rc != 0) {
      SES_print_debug(stderr, "SES_inflate: %d\n", rc);
      return -1;
    }
    total += m;
  }
  *length = total;
  return 0;
}
