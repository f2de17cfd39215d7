// jpeg.cpp -- thin wrappers over the JPEG library (version 62 interface) for
// 8-bit grey pixel blocks, with an in-memory source and destination and the
// library's large work memory taken from SES_buffer_alloc.
//
// Divisions:
//   1. the context record and its error manager
//   2. memory back end: large objects through SES_buffer_alloc
//   3. in-memory destination and source
//   4. the exported calls
//
// Numbered notes:
//  1. The library reports a fatal error by calling error_exit, which must not
//     return. Ours longjmps back to the exported call that set the jump
//     point. Between that setjmp and every library call that may fail, no
//     frame holds an object with a destructor: the exported calls use plain
//     locals only, and the callbacks below (memory, source, destination) are
//     plain functions too. The object is then aborted, which frees the
//     image's memory and leaves it ready for the next block.
//  2. The destination never gives more room than the caller's buffer and the
//     source never gives more data than the stored bytes: either running out
//     is an error of the block (-1), not a reason to wait.
//  3. A stream is believed only after its header: the image it declares must
//     fit the caller's room before decompression starts, so a small stream
//     cannot make the library size memory or output by a huge image. The
//     large memory of one object is capped (SE_JPEG_MAX_MEMORY) and so is the
//     number of scans (SE_JPEG_MAX_SCANS).
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>

#include "svr_services.h"
#include "zul_pixels.h"
#include "zul_status.h"

// ---- 1. the context record and its error manager ----------------------------

namespace {

// One large object: SES_buffer_alloc'd bytes with this record at their start
// and the caller's aligned part after it.
struct LargeBlock {
  LargeBlock* next;     // next block of the same pool
  size_t      total;    // bytes given to SES_buffer_alloc
};

const size_t kAlign = 64;   // row alignment the library's SIMD code expects (at least 32)

struct MemDest {
  jpeg_destination_mgr pub;
  JOCTET*  buf;        // caller's buffer
  size_t   cap;        // its room
  size_t   produced;   // bytes written, set by term_destination
};

struct MemSource {
  jpeg_source_mgr pub;
};

}  // namespace

struct SE_JPEG_CONTEXT {
  int32_t kind;                     // SE_JPEG_COMPRESSOR or SE_JPEG_DECOMPRESSOR
  jpeg_error_mgr err;               // the library's standard error manager, error_exit replaced
  jmp_buf jump;                     // where error_exit returns to (note 1)
  jpeg_progress_mgr progress;       // scan limit of a decompression
  union {
    jpeg_compress_struct c;
    jpeg_decompress_struct d;
  } obj;                            // the library object
  MemDest dest;                     // destination of a compressor
  MemSource source;                 // source of a decompressor
  LargeBlock* large[JPOOL_NUMPOOLS];  // our large objects by pool
  size_t large_total;               // their bytes
  // the library's own memory methods, called for everything that is not ours
  void (*lib_free_pool)(j_common_ptr, int);
  void (*lib_self_destruct)(j_common_ptr);
};

namespace {

SE_JPEG_CONTEXT* ctx_of(j_common_ptr cinfo) { return static_cast<SE_JPEG_CONTEXT*>(cinfo->client_data); }

void on_error_exit(j_common_ptr cinfo) {
  SE_JPEG_CONTEXT* ctx = ctx_of(cinfo);
  (*cinfo->err->output_message)(cinfo);
  longjmp(ctx->jump, 1);
}

void on_output_message(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  SES_print_debug(stderr, "%s\n", text);
}

void on_progress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > SE_JPEG_MAX_SCANS) ERREXIT1(cinfo, JERR_BAD_SCAN_SCRIPT, d->input_scan_number);
  }
}

// ---- 2. memory back end ---------------------------------------------------------

void* large_alloc(j_common_ptr cinfo, int pool, size_t size) {
  SE_JPEG_CONTEXT* ctx = ctx_of(cinfo);
  if (pool < 0 || pool >= JPOOL_NUMPOOLS) ERREXIT1(cinfo, JERR_BAD_POOL_ID, pool);
  if (size > SE_JPEG_MAX_MEMORY || ctx->large_total + size > SE_JPEG_MAX_MEMORY) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
  size_t total = size + sizeof(LargeBlock) + kAlign;
  char* base = static_cast<char*>(SES_buffer_alloc(total));
  if (!base) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 11);
  LargeBlock* b = reinterpret_cast<LargeBlock*>(base);
  b->total = total;
  b->next = ctx->large[pool];
  ctx->large[pool] = b;
  ctx->large_total += size;
  uintptr_t p = reinterpret_cast<uintptr_t>(base + sizeof(LargeBlock));
  p = (p + kAlign - 1) & ~static_cast<uintptr_t>(kAlign - 1);
  return reinterpret_cast<void*>(p);
}

void large_free_pool(SE_JPEG_CONTEXT* ctx, int pool) {
  LargeBlock* b = ctx->large[pool];
  while (b) {
    LargeBlock* next = b->next;
    size_t total = b->total;
    ctx->large_total -= total - sizeof(LargeBlock) - kAlign;
    SES_buffer_free(b, total);
    b = next;
  }
  ctx->large[pool] = nullptr;
}

// Rows of a sample or block array: one large object holding every row, each
// row rounded up to the alignment, and the row pointers from the small pool.
void** alloc_rows(j_common_ptr cinfo, int pool, size_t row_bytes, JDIMENSION rows) {
  row_bytes = (row_bytes + kAlign - 1) & ~(kAlign - 1);
  if (rows == 0) rows = 1;
  if (row_bytes != 0 && rows > SE_JPEG_MAX_MEMORY / row_bytes) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 12);
  void** ptrs = static_cast<void**>((*cinfo->mem->alloc_small)(cinfo, pool, rows * sizeof(void*)));
  char* data = static_cast<char*>(large_alloc(cinfo, pool, row_bytes * rows));
  for (JDIMENSION r = 0; r < rows; r++) ptrs[r] = data + r * row_bytes;
  return ptrs;
}

JSAMPARRAY alloc_sarray(j_common_ptr cinfo, int pool, JDIMENSION samples, JDIMENSION rows) {
  return reinterpret_cast<JSAMPARRAY>(alloc_rows(cinfo, pool, static_cast<size_t>(samples) * sizeof(JSAMPLE), rows));
}

JBLOCKARRAY alloc_barray(j_common_ptr cinfo, int pool, JDIMENSION blocks, JDIMENSION rows) {
  return reinterpret_cast<JBLOCKARRAY>(alloc_rows(cinfo, pool, static_cast<size_t>(blocks) * sizeof(JBLOCK), rows));
}

void free_pool(j_common_ptr cinfo, int pool) {
  SE_JPEG_CONTEXT* ctx = ctx_of(cinfo);
  if (pool >= 0 && pool < JPOOL_NUMPOOLS) large_free_pool(ctx, pool);
  ctx->lib_free_pool(cinfo, pool);
}

void self_destruct(j_common_ptr cinfo) {
  SE_JPEG_CONTEXT* ctx = ctx_of(cinfo);
  for (int pool = JPOOL_NUMPOOLS - 1; pool >= 0; pool--) large_free_pool(ctx, pool);
  ctx->lib_self_destruct(cinfo);
}

// Puts our large-object methods in place of the library's on a new object.
void install_memory(SE_JPEG_CONTEXT* ctx, j_common_ptr cinfo) {
  jpeg_memory_mgr* mem = cinfo->mem;
  ctx->lib_free_pool = mem->free_pool;
  ctx->lib_self_destruct = mem->self_destruct;
  mem->alloc_large = large_alloc;
  mem->alloc_sarray = alloc_sarray;
  mem->alloc_barray = alloc_barray;
  mem->free_pool = free_pool;
  mem->self_destruct = self_destruct;
  mem->max_memory_to_use = SE_JPEG_MAX_MEMORY;
}

// ---- 3. in-memory destination and source ----------------------------------------

void dest_init(j_compress_ptr cinfo) {
  MemDest* d = reinterpret_cast<MemDest*>(cinfo->dest);
  d->pub.next_output_byte = d->buf;
  d->pub.free_in_buffer = d->cap;
  d->produced = 0;
}

boolean dest_empty(j_compress_ptr cinfo) {
  SES_print_debug(stderr, "mem_empty_output_buffer: full\n");
  ERREXIT(cinfo, JERR_BUFFER_SIZE);
  return FALSE;
}

void dest_term(j_compress_ptr cinfo) {
  MemDest* d = reinterpret_cast<MemDest*>(cinfo->dest);
  d->produced = d->cap - d->pub.free_in_buffer;
}

void source_nop(j_decompress_ptr) {}

boolean source_fill(j_decompress_ptr cinfo) {
  ERREXIT(cinfo, JERR_INPUT_EOF);
  return FALSE;
}

void source_skip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* s = cinfo->src;
  if (static_cast<unsigned long>(count) > s->bytes_in_buffer) ERREXIT(cinfo, JERR_INPUT_EOF);
  s->next_input_byte += count;
  s->bytes_in_buffer -= static_cast<size_t>(count);
}

SE_JPEG_CONTEXT* new_context(int32_t kind) {
  SE_JPEG_CONTEXT* ctx = static_cast<SE_JPEG_CONTEXT*>(calloc(1, sizeof(SE_JPEG_CONTEXT)));
  if (!ctx) return nullptr;
  ctx->kind = kind;
  jpeg_std_error(&ctx->err);
  ctx->err.error_exit = on_error_exit;
  ctx->err.output_message = on_output_message;
  return ctx;
}

int32_t end_context(SE_JPEG_CONTEXT* ctx, int32_t kind) {
  if (!ctx) return 0;
  if (ctx->kind != kind) return SE_INVALID_PARAM;
  if (kind == SE_JPEG_COMPRESSOR)
    jpeg_destroy_compress(&ctx->obj.c);
  else
    jpeg_destroy_decompress(&ctx->obj.d);
  free(ctx);
  return 0;
}

}  // namespace

// ---- 4. the exported calls ---------------------------------------------------------

int32_t SES_jpeg_compress_init(SE_JPEG_CONTEXT** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  SE_JPEG_CONTEXT* ctx = new_context(SE_JPEG_COMPRESSOR);
  if (!ctx) return SE_OUT_OF_MEMORY;
  ctx->obj.c.err = &ctx->err;
  if (setjmp(ctx->jump)) {  // the library could not make its object
    free(ctx);
    return SE_OUT_OF_MEMORY;
  }
  jpeg_create_compress(&ctx->obj.c);
  ctx->obj.c.client_data = ctx;
  install_memory(ctx, reinterpret_cast<j_common_ptr>(&ctx->obj.c));
  ctx->dest.pub.init_destination = dest_init;
  ctx->dest.pub.empty_output_buffer = dest_empty;
  ctx->dest.pub.term_destination = dest_term;
  ctx->obj.c.dest = &ctx->dest.pub;
  *out = ctx;
  return 0;
}

int32_t SES_jpeg_decompress_init(SE_JPEG_CONTEXT** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  SE_JPEG_CONTEXT* ctx = new_context(SE_JPEG_DECOMPRESSOR);
  if (!ctx) return SE_OUT_OF_MEMORY;
  ctx->obj.d.err = &ctx->err;
  if (setjmp(ctx->jump)) {
    free(ctx);
    return SE_OUT_OF_MEMORY;
  }
  jpeg_create_decompress(&ctx->obj.d);
  ctx->obj.d.client_data = ctx;
  install_memory(ctx, reinterpret_cast<j_common_ptr>(&ctx->obj.d));
  ctx->source.pub.init_source = source_nop;
  ctx->source.pub.fill_input_buffer = source_fill;
  ctx->source.pub.skip_input_data = source_skip;
  ctx->source.pub.resync_to_restart = jpeg_resync_to_restart;
  ctx->source.pub.term_source = source_nop;
  ctx->obj.d.src = &ctx->source.pub;
  ctx->progress.progress_monitor = on_progress;
  ctx->obj.d.progress = &ctx->progress;
  *out = ctx;
  return 0;
}

int32_t SES_jpeg_compress_end(SE_JPEG_CONTEXT* ctx) { return end_context(ctx, SE_JPEG_COMPRESSOR); }
int32_t SES_jpeg_decompress_end(SE_JPEG_CONTEXT* ctx) { return end_context(ctx, SE_JPEG_DECOMPRESSOR); }

int32_t SES_jpeg_compress(SE_JPEG_CONTEXT* ctx, void* out, int32_t* out_len, const void* pixels, int32_t pixel_bytes,
                          int32_t width, int32_t height, int32_t quality) {
  if (!ctx || ctx->kind != SE_JPEG_COMPRESSOR || quality < 0 || quality > 100) return SE_INVALID_PARAM;
  if (!out || !out_len || !pixels || *out_len < 1 || width < 1 || height < 1 ||
      static_cast<int64_t>(width) * height > pixel_bytes)
    return SE_INVALID_PARAM;
  j_compress_ptr c = &ctx->obj.c;
  ctx->dest.buf = static_cast<JOCTET*>(out);
  ctx->dest.cap = static_cast<size_t>(*out_len);
  if (setjmp(ctx->jump)) {
    jpeg_abort_compress(c);
    return -1;
  }
  c->image_width = static_cast<JDIMENSION>(width);
  c->image_height = static_cast<JDIMENSION>(height);
  c->input_components = 1;
  c->in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(c);
  if (quality >= 1) jpeg_set_quality(c, quality, TRUE);
  jpeg_start_compress(c, TRUE);
  const JSAMPLE* base = static_cast<const JSAMPLE*>(pixels);
  while (c->next_scanline < c->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(base + static_cast<size_t>(c->next_scanline) * static_cast<size_t>(width));
    jpeg_write_scanlines(c, &row, 1);
  }
  jpeg_finish_compress(c);
  *out_len = static_cast<int32_t>(ctx->dest.produced);
  return 0;
}

int32_t SES_jpeg_decompress(SE_JPEG_CONTEXT* ctx, void* out, int32_t* out_len, const void* in, int32_t in_len) {
  if (!ctx || ctx->kind != SE_JPEG_DECOMPRESSOR) return SE_INVALID_PARAM;
  if (!out || !out_len || !in || *out_len < 0 || in_len < 1) return SE_INVALID_PARAM;
  j_decompress_ptr d = &ctx->obj.d;
  const int64_t cap = *out_len;
  ctx->source.pub.next_input_byte = static_cast<const JOCTET*>(in);
  ctx->source.pub.bytes_in_buffer = static_cast<size_t>(in_len);
  if (setjmp(ctx->jump)) {
    jpeg_abort_decompress(d);
    return -1;
  }
  jpeg_read_header(d, TRUE);
  d->out_color_space = JCS_GRAYSCALE;
  jpeg_calc_output_dimensions(d);
  if (d->output_components != 1 ||
      static_cast<int64_t>(d->output_width) * static_cast<int64_t>(d->output_height) > cap) {
    SES_print_debug(stderr, "SES_jpeg_decompress: image %ux%u larger than %lld bytes\n", d->output_width,
                    d->output_height, static_cast<long long>(cap));
    jpeg_abort_decompress(d);
    return -1;
  }
  jpeg_start_decompress(d);
  JSAMPLE* base = static_cast<JSAMPLE*>(out);
  while (d->output_scanline < d->output_height) {
    JSAMPROW row = base + static_cast<size_t>(d->output_scanline) * d->output_width;
    if (jpeg_read_scanlines(d, &row, 1) != 1) ERREXIT(d, JERR_INPUT_EOF);
  }
  jpeg_finish_decompress(d);
  *out_len = static_cast<int32_t>(d->output_width * d->output_height);
  return 0;
}
