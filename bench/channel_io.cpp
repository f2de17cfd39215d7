// channel_io.cpp -- throughput of the channel against a raw socket.
//
// Two workloads, each over a loopback TCP connection with the writer on a
// thread of its own: one large byte block moved in 1 MiB items, and a stream
// of small records (registrations). Each runs through the channel in the
// native and in the XDR encoding, and a raw socket moves the same payload
// bytes (send and recv of 64 KiB pieces) in the same run; the figure printed
// is the channel's time over the raw socket's. Every run checks what arrived
// (a checksum of the bytes, the ids of the records), so a fast wrong answer
// fails the program. The record workload's raw baseline moves the records'
// native image bytes (536 each) in large pieces and reads them unchecked, as
// the record runs do not checksum either; the XDR form of a record with short
// texts is smaller than its native image.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "zul_channel.h"
#include "zulos.h"

namespace {

constexpr int32_t kBlock = 1 << 20;        // one block item
constexpr int kBlocks = 256;               // 256 MiB in all
constexpr int kRecords = 200000;           // small records per run
constexpr int kRuns = 3;                   // best of

struct Pair {
  int writer = -1, reader = -1;
};

Pair connect_pair() {
  Pair p;
  int port = 0;
  int lfd = zulos_tcp_listen(0, 1, 1, &port);
  p.writer = zulos_tcp_connect("127.0.0.1", port);
  p.reader = zulos_tcp_accept(lfd, 5000);
  close(lfd);
  if (p.writer < 0 || p.reader < 0) {
    fprintf(stderr, "loopback connection failed\n");
    exit(1);
  }
  return p;
}

// A cheap position-sensitive checksum: cheap enough not to hide the
// transfer, strong enough to catch lost, doubled or shifted bytes.
uint64_t checksum(const uint8_t* p, size_t n, uint64_t h) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    h = (h << 7 | h >> 57) ^ w;
  }
  for (; i < n; i++) h = (h << 7 | h >> 57) ^ p[i];
  return h;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Raw socket: the writer sends count items of item bytes (item i taken from
// the pattern where the channel runs take it) in pieces of at most 64 KiB;
// the reader receives and checksums them.
double raw_run(const std::vector<uint8_t>& pattern, int32_t item, int64_t count, uint64_t* sum, bool check = true) {
  Pair p = connect_pair();
  auto t0 = std::chrono::steady_clock::now();
  std::thread w([&] {
    for (int64_t i = 0; i < count; i++) {
      const uint8_t* src = pattern.data() + (i * item) % static_cast<int64_t>(pattern.size() - item);
      for (int32_t off = 0; off < item; off += 65536) {
        int32_t n = std::min(item - off, 65536);
        if (CH_writen(p.writer, src + off, n) != n) exit(2);
      }
    }
  });
  // Each item is received whole, then checksummed as the channel runs do.
  std::vector<uint8_t> buf(static_cast<size_t>(item));
  uint64_t h = 1469598103934665603ull;
  for (int64_t i = 0; i < count; i++) {
    if (CH_readn(p.reader, buf.data(), item) != item) exit(3);
    if (check) h = checksum(buf.data(), buf.size(), h);
  }
  double s = seconds_since(t0);
  w.join();
  close(p.writer);
  close(p.reader);
  *sum = h;
  return s;
}

double block_run(int32_t kind, const std::vector<uint8_t>& pattern, uint64_t* sum) {
  Pair p = connect_pair();
  auto t0 = std::chrono::steady_clock::now();
  std::thread w([&] {
    CHANNEL* ch = CH_create(kind, 0, &p.writer);
    for (int i = 0; i < kBlocks; i++)
      if (CH_write_block(ch, pattern.data() + (static_cast<int64_t>(i) * kBlock) % (pattern.size() - kBlock), kBlock) != 0)
        exit(4);
    CH_flush(ch);
    CH_destroy(ch);
  });
  CHANNEL* ch = CH_create(kind, 0, &p.reader);
  std::vector<uint8_t> buf(kBlock);
  uint64_t h = 1469598103934665603ull;
  for (int i = 0; i < kBlocks; i++) {
    if (CH_read_block(ch, buf.data(), kBlock) != 0) exit(5);
    h = checksum(buf.data(), buf.size(), h);
  }
  double s = seconds_since(t0);
  w.join();
  CH_destroy(ch);
  close(p.writer);
  close(p.reader);
  *sum = h;
  return s;
}

double record_run(int32_t kind, int64_t* id_sum) {
  Pair p = connect_pair();
  REGISTRATION proto{};
  strcpy(proto.database, "GISDB");
  strcpy(proto.owner, "ZUL");
  strcpy(proto.table, "PARCELS");
  strcpy(proto.rowid_column, "OBJECTID");
  auto t0 = std::chrono::steady_clock::now();
  std::thread w([&] {
    CHANNEL* ch = CH_create(kind, 0, &p.writer);
    REGISTRATION r = proto;
    for (int i = 0; i < kRecords; i++) {
      r.id = i;
      if (CH_write_registration(ch, &r) != 0) exit(6);
    }
    CH_flush(ch);
    CH_destroy(ch);
  });
  CHANNEL* ch = CH_create(kind, 0, &p.reader);
  REGISTRATION r{};
  int64_t ids = 0;
  for (int i = 0; i < kRecords; i++) {
    if (CH_read_registration(ch, &r) != 0 || strcmp(r.table, "PARCELS") != 0) exit(7);
    ids += r.id;
  }
  double s = seconds_since(t0);
  w.join();
  CH_destroy(ch);
  close(p.writer);
  close(p.reader);
  *id_sum = ids;
  return s;
}

}  // namespace

int main() {
  unsetenv("ZULINTERCEPTLOC");  // a trace would measure the disk
  std::vector<uint8_t> pattern(kBlock * 4 + 65536);
  for (size_t i = 0; i < pattern.size(); i++) pattern[i] = static_cast<uint8_t>(i * 2654435761u >> 13);

  // The block workload moves the same bytes through every path.
  const int64_t block_bytes = static_cast<int64_t>(kBlocks) * kBlock;
  double raw_block = 1e9, native_block = 1e9, xdr_block = 1e9;
  uint64_t raw_sum = 0, native_sum = 0, xdr_sum = 0;
  for (int run = 0; run < kRuns; run++) {
    raw_block = std::min(raw_block, raw_run(pattern, kBlock, kBlocks, &raw_sum));
    native_block = std::min(native_block, block_run(CH_KIND_SOCKET, pattern, &native_sum));
    xdr_block = std::min(xdr_block, block_run(CH_KIND_XDR, pattern, &xdr_sum));
  }
  if (native_sum != xdr_sum || native_sum != raw_sum) {
    fprintf(stderr, "block checksums differ between the paths\n");
    return 1;
  }

  // The record workload: the raw socket moves the records' native payload.
  const int64_t record_bytes = static_cast<int64_t>(kRecords) * 536;  // native image size
  double raw_rec = 1e9, native_rec = 1e9, xdr_rec = 1e9;
  int64_t native_ids = 0, xdr_ids = 0;
  const int64_t want_ids = static_cast<int64_t>(kRecords) * (kRecords - 1) / 2;
  for (int run = 0; run < kRuns; run++) {
    raw_rec = std::min(raw_rec, raw_run(pattern, 65536, record_bytes / 65536 + 1, &raw_sum, false));
    native_rec = std::min(native_rec, record_run(CH_KIND_SOCKET, &native_ids));
    xdr_rec = std::min(xdr_rec, record_run(CH_KIND_XDR, &xdr_ids));
  }
  if (native_ids != want_ids || xdr_ids != want_ids) {
    fprintf(stderr, "records arrived wrong: %lld %lld, expected %lld\n", static_cast<long long>(native_ids),
            static_cast<long long>(xdr_ids), static_cast<long long>(want_ids));
    return 1;
  }

  const double mib = 1024.0 * 1024.0;
  printf("workload                      raw MiB/s   channel MiB/s   time ratio (channel / raw)\n");
  printf("block 1 MiB x %d, native    %9.0f   %13.0f   %6.2f\n", kBlocks, block_bytes / mib / raw_block,
         block_bytes / mib / native_block, native_block / raw_block);
  printf("block 1 MiB x %d, XDR       %9.0f   %13.0f   %6.2f\n", kBlocks, block_bytes / mib / raw_block,
         block_bytes / mib / xdr_block, xdr_block / raw_block);
  printf("%d registrations, native %9.0f   %13.0f   %6.2f\n", kRecords, record_bytes / mib / raw_rec,
         record_bytes / mib / native_rec, native_rec / raw_rec);
  printf("%d registrations, XDR    %9.0f   %13.0f   %6.2f\n", kRecords, record_bytes / mib / raw_rec,
         record_bytes / mib / xdr_rec, xdr_rec / raw_rec);
  printf("checks: block checksum %016llx (both encodings), record ids %lld\n",
         static_cast<unsigned long long>(native_sum), static_cast<long long>(want_ids));
  return 0;
}
