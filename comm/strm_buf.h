// strm_buf.h -- what the stream buffer's wire code lends the other block
// buffers of comm (the raster buffer): throwing away a received block that
// cannot be kept. Defined in strm_buf.cpp.
#ifndef ZUL_COMM_STRM_BUF_H
#define ZUL_COMM_STRM_BUF_H

#include <stdint.h>

#include "zul_channel.h"

// Reads and throws away a block of len bytes that cannot be kept, so the
// channel stays in step. An XDR block is one record, which a read of no
// bytes skips whole; on the other transports the bytes go through scratch
// (cap bytes; a buffer of its own when scratch is null). 0, or -10 when the
// read fails or len is beyond CH_MAX_DRAIN.
int32_t sb_drain_block(CHANNEL* ch, int32_t len, uint8_t* scratch, int32_t cap);

#endif  // ZUL_COMM_STRM_BUF_H
