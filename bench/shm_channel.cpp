// shm_channel.cpp -- throughput of the shared-memory channel against the
// socket channel, between two processes.
//
// Two workloads: one large byte block moved in 1 MiB items, and a stream of
// small records (registrations). Each runs, in the same program run, over a
// kind-3 channel (shared memory) and over a kind-0 channel (native images on
// loopback TCP), with the writer in a child process and the reader here; the
// figure printed is the shared-memory channel's time over the socket
// channel's (below 1 means faster). Small records show the cost of the
// transport's design: every item is one hand-over that the peer must take
// before the next can start, where the socket channel gathers items in its
// output buffer. Every run checks what arrived (a
// checksum of the bytes, the sum of the record ids), so a fast wrong answer
// fails the program.
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "shm_io.h"
#include "zul_channel.h"
#include "zulos.h"

namespace {

constexpr int32_t kBlock = 1 << 20;  // one block item
constexpr int kBlocks = 256;         // 256 MiB in all
constexpr int kRecords = 100000;     // small records per run
constexpr int kRuns = 3;             // best of

enum Workload { kBlocksWork, kRecordsWork };

uint64_t checksum(const uint8_t* p, size_t n, uint64_t h) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    h = (h ^ w) * 1099511628211ull;
  }
  for (; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::vector<uint8_t> block_data() {
  std::vector<uint8_t> b(kBlock);
  for (size_t i = 0; i < b.size(); i++) b[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
  return b;
}

// The writer's side, in the child: every item, then exit 0.
int write_all(CHANNEL* ch, Workload w) {
  if (w == kBlocksWork) {
    std::vector<uint8_t> b = block_data();
    for (int32_t i = 0; i < kBlocks; i++) {
      memcpy(b.data(), &i, 4);  // no two blocks alike
      if (CH_write_block(ch, b.data(), kBlock) != 0) return 5;
    }
  } else {
    REGISTRATION r{};
    strcpy(r.table, "PARCELS");
    strcpy(r.owner, "ZUL");
    for (int i = 0; i < kRecords; i++) {
      r.id = i + 1;
      if (CH_write_registration(ch, &r) != 0) return 6;
    }
  }
  return CH_flush(ch) != 0 ? 7 : 0;
}

// The reader's side: reads every item and answers the check value.
uint64_t read_all(CHANNEL* ch, Workload w) {
  uint64_t h = 0;
  if (w == kBlocksWork) {
    std::vector<uint8_t> b(kBlock);
    for (int i = 0; i < kBlocks; i++) {
      if (CH_read_block(ch, b.data(), kBlock) != 0) exit(8);
      h = checksum(b.data(), b.size(), h);
    }
  } else {
    REGISTRATION r{};
    for (int i = 0; i < kRecords; i++) {
      if (CH_read_registration(ch, &r) != 0 || strcmp(r.table, "PARCELS") != 0) exit(9);
      h += static_cast<uint64_t>(r.id);
    }
  }
  return h;
}

// One timed run over channel kind (CH_KIND_SHMEM or CH_KIND_SOCKET): the
// seconds taken, and the check value in *check.
double run(int32_t kind, Workload w, uint64_t* check) {
  static int serial = 0;
  std::string name = "bench" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  int port = 0, lfd = -1;
  if (kind == CH_KIND_SOCKET) lfd = zulos_tcp_listen(0, 1, 1, &port);
  pid_t pid = fork();
  if (pid == 0) {
    CHANNEL* ch;
    if (kind == CH_KIND_SOCKET) {
      int fd = zulos_tcp_connect("127.0.0.1", port);
      ch = fd < 0 ? nullptr : CH_create(CH_KIND_SOCKET, 0, &fd);
    } else {
      ch = CH_create(CH_KIND_SHMEM, 0, nullptr);
      SHM_OBJECT* shm = shm_chanl_open(name.c_str(), static_cast<int32_t>(getppid()), 10000);
      if (!ch || !shm || CH_reset_shared_chanl_io(ch, shm) != 0) _exit(3);
    }
    if (!ch) _exit(4);
    int32_t go;
    if (CH_read_long(ch, &go) != 0) _exit(2);  // start together
    int rc = write_all(ch, w);
    CH_destroy(ch);
    _exit(rc);
  }
  CHANNEL* ch;
  int fd = -1;
  if (kind == CH_KIND_SOCKET) {
    fd = zulos_tcp_accept(lfd, 10000);
    close(lfd);
    ch = fd < 0 ? nullptr : CH_create(CH_KIND_SOCKET, 0, &fd);
  } else {
    SHM_OBJECT* shm = shm_chanl_create(name.c_str(), pid);
    ch = CH_create(CH_KIND_SHMEM, 0, nullptr);
    if (ch && shm && CH_reset_shared_chanl_io(ch, shm) != 0) ch = nullptr;
  }
  if (!ch) {
    fprintf(stderr, "channel setup failed (kind %d)\n", kind);
    kill(pid, SIGKILL);
    exit(1);
  }
  auto t0 = std::chrono::steady_clock::now();
  if (CH_write_long(ch, 1) != 0 || CH_flush(ch) != 0) exit(10);
  *check = read_all(ch, w);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int status = 0;
  waitpid(pid, &status, 0);
  CH_destroy(ch);
  if (fd >= 0) close(fd);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "writer failed (kind %d, status %d)\n", kind, status);
    exit(1);
  }
  return secs;
}

double best(int32_t kind, Workload w, uint64_t* check) {
  double t = 1e30;
  for (int i = 0; i < kRuns; i++) {
    uint64_t c = 0;
    t = std::min(t, run(kind, w, &c));
    if (i > 0 && c != *check) {
      fprintf(stderr, "runs disagree on what arrived\n");
      exit(1);
    }
    *check = c;
  }
  return t;
}

}  // namespace

int main() {
  uint64_t shm_sum = 0, sock_sum = 0, shm_ids = 0, sock_ids = 0;
  double sock_block = best(CH_KIND_SOCKET, kBlocksWork, &sock_sum);
  double shm_block = best(CH_KIND_SHMEM, kBlocksWork, &shm_sum);
  double sock_rec = best(CH_KIND_SOCKET, kRecordsWork, &sock_ids);
  double shm_rec = best(CH_KIND_SHMEM, kRecordsWork, &shm_ids);
  std::vector<uint8_t> b = block_data();
  uint64_t want_sum = 0;
  for (int32_t i = 0; i < kBlocks; i++) {
    memcpy(b.data(), &i, 4);
    want_sum = checksum(b.data(), b.size(), want_sum);
  }
  uint64_t want_ids = static_cast<uint64_t>(kRecords) * (kRecords + 1) / 2;
  if (shm_sum != want_sum || sock_sum != want_sum || shm_ids != want_ids || sock_ids != want_ids) {
    fprintf(stderr, "what arrived is wrong\n");
    return 1;
  }
  const double mib = 1024.0 * 1024.0;
  const double block_bytes = static_cast<double>(kBlocks) * kBlock;
  const double record_bytes = static_cast<double>(kRecords) * 536;
  printf("workload                  socket MiB/s   shared-memory MiB/s   time ratio (shared memory / socket)\n");
  printf("block 1 MiB x %d       %12.0f   %19.0f   %6.2f\n", kBlocks, block_bytes / mib / sock_block,
         block_bytes / mib / shm_block, shm_block / sock_block);
  printf("%d registrations   %12.0f   %19.0f   %6.2f\n", kRecords, record_bytes / mib / sock_rec,
         record_bytes / mib / shm_rec, shm_rec / sock_rec);
  printf("checks: block checksum %016llx, record id sum %llu\n", static_cast<unsigned long long>(want_sum),
         static_cast<unsigned long long>(want_ids));
  return 0;
}
