// stream_buffer.cpp -- rows per second through the stream buffer (pack, send,
// receive, unpack) for a typical feature row: an integer id, two strings and
// a 20-point polyline, in both encodings, as a ratio to a raw socket moving
// the same bytes in the same run. A child process echoes nothing: it reads
// buffers and counts rows, and its count is checked.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "comp_ftr.h"
#include "zul_channel.h"
#include "zul_stream_buffer.h"
#include "zulos.h"

namespace {

constexpr int kRows = 200000;
constexpr int32_t kBlock = 65536;

struct Row {
  COLUMN_DEF defs[4] = {};
  int32_t flags[4] = {0, 0, 0, 0};
  STREAM_ROW row{};
  Row() {
    int32_t types[4] = {SE_INTEGER, SE_STRING, SE_STRING, SE_SHAPE};
    for (int i = 0; i < 4; i++) {
      defs[i].type = types[i];
      defs[i].size = 40;
    }
    row.num_columns = 4;
    row.column_defs = defs;
    row.feature_flags = flags;
    SES_allocate_row_pointers(&row, 0);
    for (int i = 0; i < 4; i++) row.indicators[i] = SB_IND_VALUE;
  }
  ~Row() { SES_free_row_pointers(&row); }
};

void fill(Row& r) {
  *static_cast<int32_t*>(r.row.value_buffers[0]) = 1;
  snprintf(static_cast<char*>(r.row.value_buffers[1]), 41, "Main Street");
  snprintf(static_cast<char*>(r.row.value_buffers[2]), 41, "residential, two lanes");
  FEATURE_STRUCT* f = static_cast<FEATURE_STRUCT*>(r.row.value_buffers[3]);
  SES_comp_feature_alloc(f, 20, 0, 1);
  f->numofpts = 20;
  f->entity = SG_LINE_SHAPE;
  for (int i = 0; i < 20; i++) f->points[i] = POINT{100000 + 37 * i, 200000 + 11 * i * i};
  SES_feature_compress(f, 0);
}

// Reads buffers until the last; answers the rows unpacked.
long read_rows(int fd, int32_t kind) {
  CHANNEL* ch = CH_create(kind, 0, &fd);
  STREAM_BUFFER* rb = nullptr;
  SB_init(SB_READER, 0, kBlock, 1000, kind == CH_KIND_XDR ? SB_ENCODING_XDR : 0, &rb);
  Row r;
  long rows = 0;
  for (;;) {
    if (SB_receive_buffer(ch, rb) != 0) break;
    int32_t rc;
    while ((rc = SB_get_row(rb, &r.row)) == 0) rows += *static_cast<int32_t*>(r.row.values[0]);
    if (rc == SE_FINISHED) break;
  }
  SB_free(rb);
  CH_destroy(ch);
  return rows;
}

// Raw baseline: the child reads the same byte count with plain recv.
long read_raw(int fd, long bytes) {
  static char buf[1 << 16];
  long got = 0;
  while (got < bytes) {
    ssize_t n = zulos_socket_recv(fd, buf, sizeof buf);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

struct Result {
  double seconds;
  long bytes;
  bool ok;
};

Result run(int32_t kind, bool raw, long raw_bytes) {
  int port = 0;
  int lfd = zulos_tcp_listen(0, 1, 1, &port);
  int p[2];
  if (pipe(p) != 0) return {0, 0, false};
  pid_t pid = fork();
  if (pid == 0) {
    close(lfd);
    int fd = zulos_tcp_connect("127.0.0.1", port);
    long n = raw ? read_raw(fd, raw_bytes) : read_rows(fd, kind);
    if (write(p[1], &n, sizeof n) != sizeof n) _exit(1);
    _exit(0);
  }
  int fd = zulos_tcp_accept(lfd, 10000);
  close(lfd);
  Row w;
  fill(w);
  auto t0 = std::chrono::steady_clock::now();
  long bytes = 0;
  if (raw) {
    static char block[kBlock];
    memset(block, 7, sizeof block);
    for (long left = raw_bytes; left > 0;) {
      int32_t n = left < kBlock ? static_cast<int32_t>(left) : kBlock;
      CH_writen(fd, block, n);
      left -= n;
    }
    bytes = raw_bytes;
  } else {
    CHANNEL* ch = CH_create(kind, 0, &fd);
    STREAM_BUFFER* sb = nullptr;
    SB_init(SB_WRITER, 0, kBlock, 1000, kind == CH_KIND_XDR ? SB_ENCODING_XDR : 0, &sb);
    for (int i = 0; i < kRows; i++) {
      if (SB_put_row(&w.row, 0, sb) == SB_FULL) {
        bytes += SB_get_bytes_used(sb);
        SB_send_buffer(ch, sb);
        SB_reset(sb);
        SB_put_row(&w.row, 0, sb);
      }
    }
    bytes += SB_get_bytes_used(sb);
    SB_set_last_buffer(sb);
    SB_send_buffer(ch, sb);
    CH_flush(ch);
    SB_free(sb);
    CH_destroy(ch);
  }
  long answer = 0;
  bool ok = read(p[0], &answer, sizeof answer) == sizeof answer;
  auto t1 = std::chrono::steady_clock::now();
  close(fd);
  waitpid(pid, nullptr, 0);
  close(p[0]);
  close(p[1]);
  ok = ok && answer == (raw ? raw_bytes : kRows);
  return {std::chrono::duration<double>(t1 - t0).count(), bytes, ok};
}

}  // namespace

int main() {
  const char* names[2] = {"native", "xdr"};
  int status = 0;
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    Result best{1e9, 0, true}, best_raw{1e9, 0, true};
    for (int rep = 0; rep < 5; rep++) {
      Result r = run(kind, false, 0);
      Result b = run(kind, true, r.bytes);
      if (!r.ok || !b.ok) {
        fprintf(stderr, "%s: wrong row or byte count\n", names[kind]);
        status = 1;
      }
      if (r.seconds < best.seconds) best = r;
      if (b.seconds < best_raw.seconds) best_raw = b;
    }
    printf("%-6s rows/s %.0f (%ld bytes a run)  raw socket same bytes: %.4f s  stream: %.4f s  ratio %.2f\n",
           names[kind], kRows / best.seconds, best.bytes, best_raw.seconds, best.seconds,
           best.seconds / best_raw.seconds);
  }
  return status;
}
