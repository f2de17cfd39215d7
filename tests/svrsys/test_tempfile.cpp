// Temporary files: unique, exclusive, private to their owner, and gone after
// clean-up; failures reported with the errno at the error location.
#include "zul_tempfile.h"

#include "zulos.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zultfXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
  }
  void TearDown() override {
    zulos_syscalls_reset();
    initialize_temporary_files(nullptr, nullptr);
    std::string cmd = "rm -rf " + dir_;
    ASSERT_EQ(0, system(cmd.c_str()));
  }
  int entries() {
    int n = 0;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) ++n;
    closedir(d);
    return n;
  }
  std::string dir_;
};

TEST_F(TempDir, OpenMakesAPrivateFileThatCleanupRemoves) {
  int32_t err = 0;
  EXPECT_EQ(dir_.c_str(), initialize_temporary_files(dir_.c_str(), &err));
  mode_t old = umask(0);
  char* a = nullptr;
  char* b = nullptr;
  int fa = -1, fb = -1;
  ASSERT_EQ(0, open_temporary_file(&a, &fa));
  ASSERT_EQ(0, open_temporary_file(&b, &fb));
  umask(old);
  EXPECT_EQ(0, strncmp(a, (dir_ + "/zul").c_str(), dir_.size() + 4)) << a;
  EXPECT_STRNE(a, b);
  struct stat st;
  ASSERT_EQ(0, fstat(fa, &st));
  EXPECT_EQ(0600u, st.st_mode & 0777) << "only the owner may read or write it";
  EXPECT_NE(0, fcntl(fa, F_GETFD) & FD_CLOEXEC);
  ASSERT_EQ(3, write(fa, "abc", 3));
  EXPECT_EQ(2, entries());
  cleanup_temporary_file(a, fa);
  cleanup_temporary_file(b, fb);
  EXPECT_EQ(0, entries());
  EXPECT_EQ(0, err);
}

TEST_F(TempDir, FailureStoresErrnoAndLeavesNothing) {
  int32_t err = 0;
  std::string missing = dir_ + "/no/such/dir";
  initialize_temporary_files(missing.c_str(), &err);
  char* path = (char*)0x1;
  int fd = 7;
  EXPECT_EQ(SE_TEMP_FILE_ERROR, open_temporary_file(&path, &fd));
  EXPECT_EQ(nullptr, path);
  EXPECT_EQ(-1, fd);
  EXPECT_EQ(ENOENT, err);
}

// The name is made and the file created in one exclusive step: a name that
// is taken (here: the first three tries) is passed over, never opened.
TEST_F(TempDir, TakenNamesArePassedOverNeverOpened) {
  static int refusals;
  refusals = 0;
  zulos_sys.open = [](const char* path, int flags, mode_t mode) -> int {
    EXPECT_TRUE(flags & O_EXCL);
    EXPECT_TRUE(flags & O_CREAT);
    if (refusals < 3) {
      ++refusals;
      errno = EEXIST;
      return -1;
    }
    return ::open(path, flags, mode);
  };
  initialize_temporary_files(dir_.c_str(), nullptr);
  char* path = nullptr;
  int fd = -1;
  ASSERT_EQ(0, open_temporary_file(&path, &fd));
  EXPECT_EQ(3, refusals);
  cleanup_temporary_file(path, fd);
}

TEST(TempFileName, PathThatDoesNotFitIsRefused) {
  char path[16];
  int fd = 5;
  EXPECT_EQ(-1, zulos_make_unique_file("/tmp/a/rather/long/dir", "zul", path, sizeof path, &fd));
  EXPECT_EQ(ENAMETOOLONG, errno);
  EXPECT_EQ(-1, fd);
}

}  // namespace
