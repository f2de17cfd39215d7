// Files of the OS layer: line reading, whole reads and writes, size, kind and
// access, and failures through the system-call table.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zulos.h"

namespace {

struct TmpDir {
  std::string path;
  TmpDir() {
    char tmpl[] = "/tmp/zulos.XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TmpDir() {
    std::string cmd = "rm -rf '" + path + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << path;
  }
  std::string file(const char* name, const std::string& text) const {
    std::string p = path + "/" + name;
    int fd = zulos_open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(0, zulos_write_full(fd, text.data(), text.size()));
    zulos_close(fd);
    return p;
  }
};

// Every line of text read with capacity cap, as "text|cut" items.
std::vector<std::string> lines(const TmpDir& dir, const std::string& text, size_t cap) {
  std::string p = dir.file("lines.txt", text);
  FILE* f = zulos_fopen(p.c_str(), "r");
  EXPECT_NE(nullptr, f);
  std::vector<std::string> out;
  std::vector<char> buf(cap);
  int cut = 0;
  ssize_t n;
  while ((n = zulos_read_line(f, buf.data(), cap, &cut)) >= 0) {
    EXPECT_EQ(static_cast<size_t>(n), strlen(buf.data()));
    out.push_back(std::string(buf.data()) + "|" + std::to_string(cut));
  }
  fclose(f);
  return out;
}

TEST(ReadLine, Table) {
  TmpDir dir;
  struct Case {
    const char* name;
    std::string text;
    size_t cap;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"unix lines", "a\nbc\n", 8, {"a|0", "bc|0"}},
      {"windows lines", "a\r\nbc\r\n", 8, {"a|0", "bc|0"}},
      {"lone carriage return is text", "a\rb\n", 8, {"a\rb|0"}},
      {"last line without end", "a\nlast", 8, {"a|0", "last|0"}},
      {"empty lines", "\n\n", 8, {"|0", "|0"}},
      {"long line keeps its head and drops the rest", "abcdefgh\nij\n", 4, {"abc|1", "ij|0"}},
      {"exactly full", "abc\r\n", 4, {"abc|0"}},
      {"empty file", "", 8, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, lines(dir, c.text, c.cap)) << c.name;
}

TEST(Files, SizeKindAccessAndWholeReads) {
  TmpDir dir;
  std::string p = dir.file("data", std::string(10000, 'x'));
  uint64_t size = 0;
  ASSERT_EQ(0, zulos_file_size(p.c_str(), &size));
  EXPECT_EQ(10000u, size);
  EXPECT_EQ(0, zulos_is_directory(p.c_str()));
  EXPECT_EQ(1, zulos_is_directory(dir.path.c_str()));
  EXPECT_EQ(0, zulos_access_rw(p.c_str()));
  std::string missing = dir.path + "/missing";
  EXPECT_EQ(-1, zulos_is_directory(missing.c_str()));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(-1, zulos_file_size(missing.c_str(), &size));

  int fd = zulos_open(p.c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(FD_CLOEXEC, fcntl(fd, F_GETFD) & FD_CLOEXEC);
  std::vector<char> buf(20000);
  EXPECT_EQ(10000, zulos_read_full(fd, buf.data(), buf.size())) << "a short file ends the read";
  zulos_close(fd);

  FILE* f = zulos_fopen(p.c_str(), "r");
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(FD_CLOEXEC, fcntl(fileno(f), F_GETFD) & FD_CLOEXEC);
  fclose(f);
}

int g_reads = 0;
ssize_t interrupted_then_short_read(int fd, void* buf, size_t cap) {
  if (++g_reads == 1) {
    errno = EINTR;
    return -1;
  }
  return ::read(fd, buf, cap > 3 ? 3 : cap);  // three bytes at a time
}
int failing_open(const char*, int, mode_t) {
  errno = EMFILE;
  return -1;
}
ssize_t failing_write(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

TEST(Files, ReadsRetryAndFailuresComeThroughTheTable) {
  TmpDir dir;
  std::string p = dir.file("data", "0123456789");
  int fd = zulos_open(p.c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  g_reads = 0;
  zulos_sys.read = interrupted_then_short_read;
  char buf[16] = "";
  EXPECT_EQ(10, zulos_read_full(fd, buf, sizeof buf));
  EXPECT_EQ(std::string("0123456789"), std::string(buf, 10));
  zulos_syscalls_reset();
  zulos_close(fd);

  zulos_sys.open = failing_open;
  EXPECT_EQ(-1, zulos_open(p.c_str(), O_RDONLY, 0));
  EXPECT_EQ(EMFILE, errno);
  zulos_syscalls_reset();

  fd = zulos_open(p.c_str(), O_WRONLY, 0);
  ASSERT_GE(fd, 0);
  zulos_sys.write = failing_write;
  EXPECT_EQ(-1, zulos_write_full(fd, "x", 1));
  EXPECT_EQ(ENOSPC, errno);
  zulos_syscalls_reset();
  zulos_close(fd);
}

}  // namespace
