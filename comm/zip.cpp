// zip.cpp -- thin one-shot wrappers over zlib for pixel blocks and masks.
//
// A context holds one zlib stream, compression (default level, zlib format
// with header and checksum) or decompression, made once and reset after
// every block, so a tile costs no stream set-up. Each call takes one whole
// block and must end its stream within the room it is given: a decompression
// can never produce more than that room, whatever the stream claims.
// Failures print through SES_print_debug and answer -1.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "svr_services.h"
#include "zul_pixels.h"
#include "zul_status.h"

struct SE_ZLIB_CONTEXT {
  int32_t  kind;     // SE_ZLIB_COMPRESS or SE_ZLIB_DECOMPRESS
  z_stream stream;   // the zlib stream, initialised
};

namespace {

int32_t zlib_init(SE_ZLIB_CONTEXT** out, int32_t kind) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  SE_ZLIB_CONTEXT* ctx = static_cast<SE_ZLIB_CONTEXT*>(calloc(1, sizeof(SE_ZLIB_CONTEXT)));
  if (!ctx) return SE_OUT_OF_MEMORY;
  ctx->kind = kind;
  int rc = kind == SE_ZLIB_COMPRESS ? deflateInit(&ctx->stream, Z_DEFAULT_COMPRESSION) : inflateInit(&ctx->stream);
  if (rc != Z_OK) {
    SES_print_debug(stderr, kind == SE_ZLIB_COMPRESS ? "ZLIB deflateInit error: %d\n" : "ZLIB inflateInit error: %d\n",
                    rc);
    free(ctx);
    return -1;
  }
  *out = ctx;
  return 0;
}

int32_t zlib_end(SE_ZLIB_CONTEXT* ctx, int32_t kind) {
  if (!ctx || ctx->kind != kind) return SE_INVALID_PARAM;
  int rc = kind == SE_ZLIB_COMPRESS ? deflateEnd(&ctx->stream) : inflateEnd(&ctx->stream);
  free(ctx);
  if (rc != Z_OK) {
    SES_print_debug(stderr, kind == SE_ZLIB_COMPRESS ? "ZLIB deflateEnd error: %d\n" : "ZLIB inflateEnd error: %d\n", rc);
    return -1;
  }
  return 0;
}

// Runs one whole block through the stream, then resets it.
int32_t zlib_once(SE_ZLIB_CONTEXT* ctx, int32_t kind, void* out, int32_t* out_len, const void* in, int32_t in_len) {
  if (!ctx || ctx->kind != kind || !out_len || *out_len < 0 || in_len < 0 || (!out && *out_len > 0) ||
      (!in && in_len > 0))
    return SE_INVALID_PARAM;
  const bool compress = kind == SE_ZLIB_COMPRESS;
  z_stream* s = &ctx->stream;
  static const Bytef empty = 0;
  s->next_in = in ? static_cast<Bytef*>(const_cast<void*>(in)) : const_cast<Bytef*>(&empty);
  s->avail_in = static_cast<uInt>(in_len);
  s->next_out = out ? static_cast<Bytef*>(out) : const_cast<Bytef*>(&empty);
  s->avail_out = static_cast<uInt>(*out_len);
  int rc = compress ? deflate(s, Z_FINISH) : inflate(s, Z_FINISH);
  int32_t produced = *out_len - static_cast<int32_t>(s->avail_out);
  int32_t status = 0;
  if (rc != Z_STREAM_END) {
    // Z_BUF_ERROR or Z_OK: the room ran out, or the input stopped short.
    SES_print_debug(stderr, compress ? "ZLIB deflate error: %d\n" : "ZLIB inflate error: %d\n", rc);
    status = -1;
  } else {
    *out_len = produced;
  }
  int rrc = compress ? deflateReset(s) : inflateReset(s);
  if (rrc != Z_OK) {
    SES_print_debug(stderr, compress ? "ZLIB deflateReset error: %d\n" : "ZLIB inflateReset error: %d\n", rrc);
    status = -1;
  }
  return status;
}

}  // namespace

int32_t SES_deflate_init(SE_ZLIB_CONTEXT** out) { return zlib_init(out, SE_ZLIB_COMPRESS); }
int32_t SES_inflate_init(SE_ZLIB_CONTEXT** out) { return zlib_init(out, SE_ZLIB_DECOMPRESS); }
int32_t SES_deflate_end(SE_ZLIB_CONTEXT* ctx) { return zlib_end(ctx, SE_ZLIB_COMPRESS); }
int32_t SES_inflate_end(SE_ZLIB_CONTEXT* ctx) { return zlib_end(ctx, SE_ZLIB_DECOMPRESS); }

int32_t SES_deflate(SE_ZLIB_CONTEXT* ctx, void* out, int32_t* out_len, const void* in, int32_t in_len) {
  return zlib_once(ctx, SE_ZLIB_COMPRESS, out, out_len, in, in_len);
}

int32_t SES_inflate(SE_ZLIB_CONTEXT* ctx, void* out, int32_t* out_len, const void* in, int32_t in_len) {
  return zlib_once(ctx, SE_ZLIB_DECOMPRESS, out, out_len, in, in_len);
}
