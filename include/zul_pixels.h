// zul_pixels.h -- pixel blocks and their codecs, pixel access, and the
// serialized band statistics.
//
// A raster tile is stored and exchanged as a pixel block: the pixels of the
// tile, optionally followed by a mask (one bit a pixel), with pixels of 16, 32
// and 64 bits in big-endian byte order, the whole block optionally
// compressed with zlib or, for 8-bit pixels, with JPEG. The band's pixel type
// word says which:
//   bits 10-15  compression: 0 none, 1 zlib ("LZ77"), 2 JPEG
//   bits 16-31  pixel type: bits per pixel x 8, +1 signed, +2 floating point
// so the bits per pixel are the word shifted right by 19.
//
// Block forms:
//   none  the pixel bytes (multi-byte pixels reversed), then the mask as is
//   zlib  that block as one zlib-format stream
//   JPEG  byte 0 = 0, then a one-component grayscale JPEG of the pixels (no
//         mask); or byte 0 = 255, the JPEG length J as 4 bytes little-endian,
//         the J bytes of JPEG, then the mask as one zlib stream.
//
// Numbered notes:
//  1. A stored block is hostile input. Every decode writes only within the
//     capacity it is given: an inflate that would produce more fails, a JPEG
//     whose declared size exceeds the room is refused after its header is
//     read, before the library sizes anything by it; a truncated or corrupt
//     stream fails with -1 instead of waiting for more data.
//  2. JPEG errors that the library treats as fatal return -1 from the call
//     that met them; the process never exits on them. The JPEG objects stay
//     usable for the next block.
//  3. The codec's contexts are made on first use and reused: each one-shot
//     zlib call resets its stream, the JPEG objects are kept between tiles.
//     Large JPEG work memory comes from SES_buffer_alloc.
//  4. Messages go through SES_print_debug: printed only when ZULVERBOSE is set.
#ifndef ZUL_PIXELS_H
#define ZUL_PIXELS_H

#include <stdint.h>

// ---- the pixel type word
#define SE_PIXEL_COMPRESSION(word)   (((word) >> 10) & 0x3F)
#define SE_PIXEL_TYPE(word)          (((word) >> 16) & 0xFFFF)
#define SE_PIXEL_BITS(word)          (((uint32_t)(word)) >> 19)

#define SE_COMPRESSION_NONE  0
#define SE_COMPRESSION_LZ77  1
#define SE_COMPRESSION_JPEG  2

#define SE_PIXEL_1BIT        8
#define SE_PIXEL_4BIT        32
#define SE_PIXEL_8BIT_U      64
#define SE_PIXEL_8BIT_S      65
#define SE_PIXEL_16BIT_U     128
#define SE_PIXEL_16BIT_S     129
#define SE_PIXEL_32BIT_U     256
#define SE_PIXEL_32BIT_S     257
#define SE_PIXEL_32BIT_REAL  258
#define SE_PIXEL_64BIT       512
#define SE_PIXEL_64BIT_REAL  514

// The type word of a pixel type and a compression.
#define SE_PIXEL_WORD(type, compression) ((int32_t)(((uint32_t)(type) << 16) | ((uint32_t)(compression) << 10)))

// ---- JPEG markers of a compression-2 block
#define SE_JPEG_MARK_PLAIN   0     // the JPEG data follows, no mask
#define SE_JPEG_MARK_MASKED  255   // 4-byte JPEG length, the JPEG data, the deflated mask

// ---- input limits of the codecs
// Most work memory one JPEG object may take (bytes). A tile is at most a few
// thousand pixels on a side; this keeps a hostile stream from sizing memory.
#define SE_JPEG_MAX_MEMORY   (256L << 20)
// Most scans a JPEG stream may carry; a progressive stream uses about ten,
// and many empty scans are a way to make decoding take forever.
#define SE_JPEG_MAX_SCANS    256

// ---- contexts (opaque; made by the init and create calls below)
struct SE_ZLIB_CONTEXT;
struct SE_JPEG_CONTEXT;

#define SE_ZLIB_DECOMPRESS   0
#define SE_ZLIB_COMPRESS     1
#define SE_JPEG_COMPRESSOR   0
#define SE_JPEG_DECOMPRESSOR 1

// The codec context: four slots, each made on first use.
struct SE_CODEC {
  SE_ZLIB_CONTEXT* inflater;     // zlib decompression
  SE_ZLIB_CONTEXT* deflater;     // zlib compression
  SE_JPEG_CONTEXT* jpeg_out;     // JPEG compressor
  SE_JPEG_CONTEXT* jpeg_in;      // JPEG decompressor
};

// ---- the pixel block codec (comp_pixels.cpp)

// A zero-filled codec context: 0, -65 for a null out, -999.
int32_t SES_codec_init(SE_CODEC** out);
// Ends every context present and frees the codec: 0, -65 on null.
int32_t SES_codec_end(SE_CODEC* codec);

// Converts and compresses a block in place. length: on entry the block's
// bytes (pixels and mask), which is also the room in data; on return the
// encoded length. pixel_bytes are the bytes of the pixels at the block's
// start. work (work_size bytes) receives the compressed form before it is
// copied back. 0; -1 (a failed compression, a result larger than the block,
// bad lengths); -66 (JPEG with other than 8 bits per pixel, after the pixel
// bytes were reversed); -65; context creation errors.
int32_t SES_pixel_data_encode(SE_CODEC* codec, void* data, int32_t* length, int32_t pixel_bytes,
                              int32_t type_word, int32_t quality, int32_t width, int32_t height,
                              void* work, int32_t work_size);

// Decodes a stored block of *length bytes into out (out_cap bytes); on
// return *length is the decoded length. work (work_size bytes) takes the
// inflated form of a multi-byte-pixel block. 0; -1 (a corrupt block or one
// that does not fit, note 1); -65; context creation errors.
int32_t SES_pixel_data_decode(SE_CODEC* codec, const void* data, int32_t* length, void* out,
                              int32_t out_cap, int32_t pixel_bytes, int32_t type_word, void* work,
                              int32_t work_size);

// ---- zlib (zip.cpp)

// A zlib-format compression (default level) or decompression context: 0,
// -65, -999, -1 when zlib refuses.
int32_t SES_deflate_init(SE_ZLIB_CONTEXT** out);
int32_t SES_inflate_init(SE_ZLIB_CONTEXT** out);
// Ends the stream and frees the context whatever zlib answers: 0; -66 for a
// null context or one of the other kind; -1 when zlib reports an error.
int32_t SES_deflate_end(SE_ZLIB_CONTEXT* ctx);
int32_t SES_inflate_end(SE_ZLIB_CONTEXT* ctx);
// One whole stream in one call. *out_len: on entry the room in out, on
// return the bytes produced. The input must make exactly one complete stream
// that fits the room; then the stream is reset for the next block. 0; -66
// for a null or wrong-kind context or bad lengths; -1 otherwise.
int32_t SES_deflate(SE_ZLIB_CONTEXT* ctx, void* out, int32_t* out_len, const void* in, int32_t in_len);
int32_t SES_inflate(SE_ZLIB_CONTEXT* ctx, void* out, int32_t* out_len, const void* in, int32_t in_len);

// ---- JPEG (jpeg.cpp)

// A compressor or decompressor: 0, -65, -999.
int32_t SES_jpeg_compress_init(SE_JPEG_CONTEXT** out);
int32_t SES_jpeg_decompress_init(SE_JPEG_CONTEXT** out);
// Destroys the library object and frees the context: 0; -66 for the wrong
// kind (nothing is freed); null is ignored.
int32_t SES_jpeg_compress_end(SE_JPEG_CONTEXT* ctx);
int32_t SES_jpeg_decompress_end(SE_JPEG_CONTEXT* ctx);
// Compresses width x height 8-bit grey pixels (pixel_bytes bytes, at least
// width x height) into out. *out_len: on entry the room, on return the bytes
// produced. quality 1 to 100 sets the quality with baseline tables, 0 keeps
// the library's default. 0; -66 (wrong kind, quality outside 0 to 100, bad
// sizes); -1 (the library failed, or the room ran out).
int32_t SES_jpeg_compress(SE_JPEG_CONTEXT* ctx, void* out, int32_t* out_len, const void* pixels,
                          int32_t pixel_bytes, int32_t width, int32_t height, int32_t quality);
// Decompresses a JPEG stream into grey pixels. *out_len: on entry the room
// in out, on return output width x output height. 0; -66 (wrong kind, bad
// lengths); -1 (corrupt or truncated stream, or an image larger than the
// room: note 1).
int32_t SES_jpeg_decompress(SE_JPEG_CONTEXT* ctx, void* out, int32_t* out_len, const void* in,
                            int32_t in_len);

// ---- pixel access (pixel_io.cpp)
//
// Pixel i of an array of one pixel type, in native byte order: 1-bit pixels
// eight to a byte, most significant bit first; 4-bit pixels two to a byte,
// even i in the high half; other types at i x their size. The caller vouches
// that the array holds pixel i. Writers round half away from zero and clamp
// to the type's range (unsigned types take 0 for negative values; a negative
// value clears a 1-bit pixel).
void SES_pixel_read_1bit(const void* data, int32_t index, double* value);
void SES_pixel_read_4bit(const void* data, int32_t index, double* value);
void SES_pixel_read_char(const void* data, int32_t index, double* value);
void SES_pixel_read_uchar(const void* data, int32_t index, double* value);
void SES_pixel_read_short(const void* data, int32_t index, double* value);
void SES_pixel_read_ushort(const void* data, int32_t index, double* value);
void SES_pixel_read_long(const void* data, int32_t index, double* value);
void SES_pixel_read_ulong(const void* data, int32_t index, double* value);
void SES_pixel_read_float(const void* data, int32_t index, double* value);
void SES_pixel_read_double(const void* data, int32_t index, double* value);
void SES_pixel_write_1bit(void* data, int32_t index, double value);
void SES_pixel_write_4bit(void* data, int32_t index, double value);
void SES_pixel_write_char(void* data, int32_t index, double value);
void SES_pixel_write_uchar(void* data, int32_t index, double value);
void SES_pixel_write_short(void* data, int32_t index, double value);
void SES_pixel_write_ushort(void* data, int32_t index, double value);
void SES_pixel_write_long(void* data, int32_t index, double value);
void SES_pixel_write_ulong(void* data, int32_t index, double value);
void SES_pixel_write_float(void* data, int32_t index, double value);
void SES_pixel_write_double(void* data, int32_t index, double value);

// ---- band statistics (rasterband_stats.cpp)

#define SE_HISTOGRAM_AUTO        1   // resolved by the server
#define SE_HISTOGRAM_INTEGER     2   // one bin per integer value from the minimum
#define SE_HISTOGRAM_EQUAL       3   // equal-width bins over the value range
#define SE_HISTOGRAM_LOG2        4   // bins by the base-2 logarithm
#define SE_HISTOGRAM_BREAKPOINTS 5   // bins by the caller's breakpoints

// Most bins of a histogram; a band's histogram has at most a few thousand.
#define SE_STATS_MAX_BINS        (1 << 20)

// The statistics of a band.
struct RASTERBAND_STATS {
  double  minimum;       // smallest pixel value
  double  maximum;       // largest pixel value
  double  mean;          // mean pixel value
  double  std_dev;       // standard deviation
  int32_t reserved[4];   // not serialized
  int32_t kind;          // SE_HISTOGRAM_*
  int32_t count;         // n: histogram bins
  double* boundaries;    // n - 1 breakpoints, read only for kind 5
  double* values;        // n bin counts
};

#define SE_STATS_HEADER 44   // length, four doubles, kind, count

// Serializes the statistics big-endian: length (4, itself included),
// minimum, maximum, mean, standard deviation (8 each), kind, n (4 each),
// with kind 5 the n - 1 breakpoints, then the n bin counts. Both outputs are
// set to 0 first; the caller frees *out_data. 0; -65 (null argument, no
// values, kind 5 without boundaries); -66 (n below 0 or above the limit, or
// kind 5 with n below 1); -999.
int32_t SES_rasterband_stats_serialize(const RASTERBAND_STATS* stats, uint8_t** out_data,
                                       int32_t* out_length);
// The big-endian length at the start of serialized statistics; 0 for null.
int32_t SES_rasterband_get_serialized_length(const void* data);

#endif
