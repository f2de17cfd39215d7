// merge.cpp -- SES_MergeSort: an external merge sort of fixed-size records
// between a caller's reader and writer.
//
// Notes:
//  1. Run phase. The reader fills a run buffer of memory / record size
//     records; each full buffer is sorted with qsort. When one buffer holds
//     the whole input, it goes straight to the writer and no file is made.
//     Otherwise each sorted run is appended to the first run file. Every run
//     but the last holds exactly run-length records, because the merge finds
//     run i at offset i x run length x record size: the reader is asked again
//     until the buffer is full, however few records it gives per call.
//  2. Merge phase. A pass merges groups of up to merge-order consecutive runs
//     into one run each. The pass whose single group covers every run is the
//     last, and its output goes to the writer; the others write the second
//     run file, after which the files change roles and the run length is
//     multiplied by the merge order.
//  3. The merge memory is split into one buffer per merged run plus one for
//     output. Among the runs' head records the smallest wins and ties go to
//     the lowest run, so equal records keep the order of their runs.
//  4. Parameters that could never finish are refused before the reader is
//     called: a record size below 1, a merge order below 2 when a merge is
//     needed, or memory too small for one record per buffer.
//  5. Both run files are made exclusively (mode 0600) and are closed and
//     deleted on every return.
// File I/O goes through the OS layer's system-call table, so tests can make
// a write fail.
#include "zul_tempfile.h"

#include "zulos.h"
#include "os_tempfile.h"

#include <algorithm>
#include <errno.h>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr int32_t kMaxMergeOrder = 10;

// The two run files, closed and deleted when the sort returns.
class RunFiles {
 public:
  RunFiles() {
    for (int i = 0; i < 2; ++i) path_[i][0] = '\0';
  }
  ~RunFiles() {
    for (int i = 0; i < 2; ++i) {
      if (fd_[i] >= 0) zulos_sys.close(fd_[i]);
      if (path_[i][0]) zulos_sys.unlink(path_[i]);
    }
  }
  RunFiles(const RunFiles&) = delete;
  RunFiles& operator=(const RunFiles&) = delete;

  bool create(const char* dir) {
    if (!dir || !*dir) dir = zulos_temp_dir();
    for (int i = 0; i < 2; ++i) {
      if (zulos_make_unique_file(dir, "SORT", path_[i], sizeof path_[i], &fd_[i]) != 0) {
        perror("OPEN");
        return false;
      }
    }
    return true;
  }
  int fd(int i) const { return fd_[i]; }

 private:
  char path_[2][ZULOS_TEMP_PATH_CAP];
  int fd_[2] = {-1, -1};
};

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

bool write_at(int fd, const char* buf, size_t len, int64_t off) {
  while (len > 0) {
    ssize_t n = zulos_sys.pwrite(fd, buf, len, (off_t)off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      perror("WRITE");
      return false;
    }
    buf += n;
    len -= (size_t)n;
    off += n;
  }
  return true;
}

bool read_at(int fd, char* buf, size_t len, int64_t off) {
  while (len > 0) {
    ssize_t n = zulos_sys.pread(fd, buf, len, (off_t)off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      perror("READ");
      return false;
    }
    buf += n;
    len -= (size_t)n;
    off += n;
  }
  return true;
}

// Asks the reader until want records are in buf. False when the input ends
// first (or the reader claims more than it was asked for).
bool fill_run(SES_SORT_READER reader, void* ctx, char* buf, int64_t want, int32_t size) {
  int64_t got = 0;
  while (got < want) {
    int64_t ask = std::min<int64_t>(want - got, INT32_MAX);
    int32_t n = reader(ctx, buf + got * size, (int32_t)ask);
    if (n <= 0 || n > ask) return false;
    got += n;
  }
  return true;
}

// One run being merged: its records in the run file and its buffered piece.
struct Stream {
  int64_t next;     // index (in records) of the next record to load from the file
  int64_t left;     // records of the run not yet loaded
  char* buf;        // buffer of cap records
  int64_t have;     // records in the buffer
  int64_t pos;      // index of the head record in the buffer
};

struct Merger {
  int (*compare)(const void*, const void*);
  int32_t size;
  int src_fd;
  int64_t buf_records;

  bool load(Stream* s) {
    int64_t n = std::min(s->left, buf_records);
    if (n == 0) {
      s->have = s->pos = 0;
      return true;
    }
    if (!read_at(src_fd, s->buf, (size_t)(n * size), s->next * size)) return false;
    s->next += n;
    s->left -= n;
    s->have = n;
    s->pos = 0;
    return true;
  }
};

}  // namespace

int32_t SES_MergeSort(int (*compare)(const void*, const void*), const char* directory,
                      void* reader_ctx, SES_SORT_READER reader, void* writer_ctx,
                      SES_SORT_WRITER writer, int32_t record_size, int32_t record_count,
                      int32_t memory, int32_t merge_memory, int32_t merge_order) {
  if (!compare || !reader || !writer || record_size < 1 || record_count < 0)
    return SES_SORT_BAD_PARAMETER;
  const int64_t size = record_size;
  const int64_t count = record_count;
  const int64_t per_run = memory > 0 ? memory / size : 0;

  // ---- run phase, in memory --------------------------------------------------
  if (per_run >= count) {
    if (count == 0) return 0;
    Buffer buf((char*)malloc((size_t)(count * size)));
    if (!buf) return SES_SORT_NO_MEMORY;
    if (!fill_run(reader, reader_ctx, buf.get(), count, record_size)) return SES_SORT_SHORT_INPUT;
    qsort(buf.get(), (size_t)count, (size_t)size, compare);
    int32_t w = writer(writer_ctx, buf.get(), record_count);
    return w < 0 ? w : 0;
  }

  // ---- parameters of an external sort (note 4) ---------------------------------
  if (per_run < 1) return SES_SORT_NO_MEMORY;
  if (merge_order < 2) return SES_SORT_BAD_PARAMETER;
  const int64_t order = std::min(merge_order, kMaxMergeOrder);
  int64_t run_len = per_run;
  int64_t runs = (count + run_len - 1) / run_len;
  const int64_t first_streams = std::min(order, runs);
  const int64_t merge_bytes = merge_memory > 0 ? merge_memory : 0;
  if (merge_bytes / (first_streams + 1) / size < 1) return SES_SORT_NO_MEMORY;

  RunFiles files;
  if (!files.create(directory)) return SES_SORT_FILE_ERROR;

  // ---- run phase, to the first run file -------------------------------------------
  {
    Buffer buf((char*)malloc((size_t)(run_len * size)));
    if (!buf) return SES_SORT_NO_MEMORY;
    for (int64_t done = 0; done < count;) {
      int64_t want = std::min(run_len, count - done);
      if (!fill_run(reader, reader_ctx, buf.get(), want, record_size)) return SES_SORT_SHORT_INPUT;
      qsort(buf.get(), (size_t)want, (size_t)size, compare);
      if (!write_at(files.fd(0), buf.get(), (size_t)(want * size), done * size))
        return SES_SORT_FILE_ERROR;
      done += want;
    }
  }

  // ---- merge phase -------------------------------------------------------------------
  Buffer mem((char*)malloc((size_t)merge_bytes));
  if (!mem) return SES_SORT_NO_MEMORY;
  int src = 0;
  for (;;) {
    const int64_t streams = std::min(order, runs);
    const bool last = runs <= order;
    Merger m{compare, record_size, files.fd(src), merge_bytes / (streams + 1) / size};
    char* out = mem.get() + streams * m.buf_records * size;
    int64_t out_have = 0;
    int64_t out_off = 0;  // records written to the other file in this pass

    auto flush = [&]() -> bool {
      if (out_have == 0) return true;
      bool ok = last ? writer(writer_ctx, out, (int32_t)out_have) >= 0
                     : write_at(files.fd(1 - src), out, (size_t)(out_have * size), out_off * size);
      out_off += out_have;
      out_have = 0;
      return ok;
    };

    Stream st[kMaxMergeOrder];
    for (int64_t group = 0; group < runs; group += order) {
      const int64_t k = std::min(order, runs - group);
      for (int64_t i = 0; i < k; ++i) {
        int64_t start = (group + i) * run_len;
        st[i] = Stream{start, std::min(run_len, count - start),
                       mem.get() + i * m.buf_records * size, 0, 0};
        if (!m.load(&st[i])) return SES_SORT_FILE_ERROR;
      }
      for (;;) {
        int64_t best = -1;
        for (int64_t i = 0; i < k; ++i) {
          if (st[i].pos >= st[i].have) continue;
          if (best < 0 || compare(st[best].buf + st[best].pos * size,
                                  st[i].buf + st[i].pos * size) > 0)
            best = i;
        }
        if (best < 0) break;
        Stream& s = st[best];
        memcpy(out + out_have * size, s.buf + s.pos * size, (size_t)size);
        if (++out_have == m.buf_records && !flush()) return SES_SORT_FILE_ERROR;
        if (++s.pos == s.have && !m.load(&s)) return SES_SORT_FILE_ERROR;
      }
    }
    if (!flush()) return SES_SORT_FILE_ERROR;
    if (last) return 0;
    src = 1 - src;
    run_len *= order;
    runs = (runs + order - 1) / order;
  }
}
