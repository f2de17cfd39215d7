// The registry store: values of each type round-trip and survive a new
// handle, keys nest and enumerate, deletes keep their rules, concurrent
// writers lose nothing, a failing write keeps the old store, and a hostile
// store file is refused whole.
#include "zulos.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A fresh instance home named by ZULHOME for one test.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zulreg.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    const char* old = getenv("ZULHOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("ZULHOME", home_.c_str(), 1);
  }
  void TearDown() override {
    zulos_syscalls_reset();
    if (had_) setenv("ZULHOME", old_.c_str(), 1);
    else unsetenv("ZULHOME");
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }
  std::string store() const { return home_ + "/etc/registry"; }
  void write_store(const std::string& text) const {
    std::filesystem::create_directories(home_ + "/etc");
    std::ofstream(store(), std::ios::binary) << text;
  }

  std::string home_, old_;
  bool had_ = false;
};

struct Handle {
  zulos_regkey* k = nullptr;
  ~Handle() { zulos_reg_close(k); }
};

std::string read_value(const char* path, const char* name, uint32_t* type = nullptr) {
  Handle h;
  if (zulos_reg_open_key(path, &h.k) != 0) return "<no key>";
  uint32_t len = 0;
  if (zulos_reg_query_value(h.k, name, type, nullptr, &len) != ZULOS_ERROR_MORE_DATA) return "<no value>";
  std::string out(len, '\0');
  if (zulos_reg_query_value(h.k, name, type, out.data(), &len) != 0) return "<read failed>";
  return out;
}

}  // namespace

TEST_F(RegistryTest, ValuesOfEachTypeRoundTripAndSurviveANewHandle) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
  };
  const Case kCases[] = {
      {"text", ZULOS_REG_SZ, std::string("C:/zul\0", 7)},
      {"expandable", ZULOS_REG_EXPAND_SZ, std::string("%ZULHOME%/bin\0", 14)},
      {"binary with zeros and high bytes", ZULOS_REG_BINARY, std::string("\0\xff\n\x01 x", 6)},
      {"number", ZULOS_REG_DWORD, std::string("\x07\0\0\0", 4)},
      {"list", ZULOS_REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
      {"", ZULOS_REG_SZ, std::string("default value\0", 14)},
      {"empty", ZULOS_REG_BINARY, std::string()},
      {"long", ZULOS_REG_SZ, std::string(3000, 'L')},
  };
  {
    Handle h;
    ASSERT_EQ(0, zulos_reg_create_key("Software\\Test\\Deep\\Key", &h.k));
    for (const Case& c : kCases)
      ASSERT_EQ(0, zulos_reg_set_value(h.k, c.name, c.type, c.data.data(), static_cast<uint32_t>(c.data.size())))
          << c.name;
  }
  for (const Case& c : kCases) {
    uint32_t type = 0;
    EXPECT_EQ(c.data, read_value("software/TEST/deep//key\\", c.name, &type)) << c.name;
    EXPECT_EQ(c.type, type) << c.name;
  }
  // A buffer one byte short answers "more data" with the size and is left alone.
  Handle h;
  ASSERT_EQ(0, zulos_reg_open_key("Software\\Test\\Deep\\Key", &h.k));
  std::string buf(2999, '#');
  uint32_t len = 2999;
  EXPECT_EQ(ZULOS_ERROR_MORE_DATA, zulos_reg_query_value(h.k, "long", nullptr, buf.data(), &len));
  EXPECT_EQ(3000u, len);
  EXPECT_EQ(std::string(2999, '#'), buf);
  // Replacing and deleting.
  ASSERT_EQ(0, zulos_reg_set_value(h.k, "TEXT", ZULOS_REG_SZ, "new", 4));
  EXPECT_EQ(std::string("new\0", 4), read_value("Software\\Test\\Deep\\Key", "text"));
  EXPECT_EQ(0, zulos_reg_delete_value(h.k, "text"));
  EXPECT_EQ(ZULOS_ERROR_FILE_NOT_FOUND, zulos_reg_delete_value(h.k, "text"));
  EXPECT_EQ("<no value>", read_value("Software\\Test\\Deep\\Key", "text"));
  // The store holds a password: only its owner may read it.
  struct stat st;
  ASSERT_EQ(0, stat(store().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(RegistryTest, KeysEnumerateInNameOrderAndDeleteByTheirRules) {
  for (const char* path : {"Root\\beta", "Root\\Alpha\\x\\y", "Root\\gamma"}) {
    Handle h;
    ASSERT_EQ(0, zulos_reg_create_key(path, &h.k)) << path;
  }
  Handle root;
  ASSERT_EQ(0, zulos_reg_open_key("ROOT", &root.k));
  char name[16];
  std::string seen;
  uint32_t i = 0;
  int err;
  while ((err = zulos_reg_enum_key(root.k, i++, name, sizeof name)) == 0) seen += std::string(name) + ",";
  EXPECT_EQ(ZULOS_ERROR_NO_MORE_ITEMS, err);
  EXPECT_EQ("Alpha,beta,gamma,", seen);  // the case they were made with
  char small[4];
  EXPECT_EQ(ZULOS_ERROR_MORE_DATA, zulos_reg_enum_key(root.k, 0, small, sizeof small));

  Handle x;
  ASSERT_EQ(0, zulos_reg_open_key("Root\\Alpha\\x", &x.k));
  EXPECT_EQ(ZULOS_ERROR_ACCESS_DENIED, zulos_reg_delete_key(root.k, "Alpha"));  // has subkeys
  EXPECT_EQ(0, zulos_reg_delete_key(root.k, "alpha\\X\\Y"));
  EXPECT_EQ(ZULOS_ERROR_FILE_NOT_FOUND, zulos_reg_delete_key(root.k, "Alpha\\x\\y"));
  EXPECT_EQ(0, zulos_reg_delete_tree(root.k, "Alpha"));
  // A handle whose key went away says so.
  EXPECT_EQ(ZULOS_ERROR_KEY_DELETED, zulos_reg_set_value(x.k, "v", ZULOS_REG_SZ, "a", 2));
  Handle gone;
  EXPECT_EQ(ZULOS_ERROR_FILE_NOT_FOUND, zulos_reg_open_key("Root\\Alpha", &gone.k));
  EXPECT_EQ(nullptr, gone.k);
  Handle top;
  ASSERT_EQ(0, zulos_reg_open_key("", &top.k));
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, zulos_reg_delete_tree(top.k, ""));  // the root stays
}

TEST_F(RegistryTest, LimitsAndAMissingHomeAreRefused) {
  Handle h;
  std::string long_name(ZULOS_REG_NAME_MAX + 1, 'n');
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, zulos_reg_create_key(("A\\" + long_name).c_str(), &h.k));
  std::string deep;
  for (int i = 0; i <= ZULOS_REG_DEPTH_MAX; ++i) deep += "k\\";
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER, zulos_reg_create_key(deep.c_str(), &h.k));
  ASSERT_EQ(0, zulos_reg_create_key("A", &h.k));
  std::string big(ZULOS_REG_DATA_MAX + 1, 'd');
  EXPECT_EQ(ZULOS_ERROR_INVALID_PARAMETER,
            zulos_reg_set_value(h.k, "big", ZULOS_REG_BINARY, big.data(), static_cast<uint32_t>(big.size())));
  unsetenv("ZULHOME");
  Handle none;
  EXPECT_EQ(ZULOS_ERROR_FILE_NOT_FOUND, zulos_reg_create_key("A", &none.k));
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
  {
    Handle h;
    ASSERT_EQ(0, zulos_reg_create_key("Shared", &h.k));
  }
  constexpr int kPerWriter = 60;
  pid_t kids[2];
  for (int w = 0; w < 2; ++w) {
    kids[w] = fork();
    ASSERT_GE(kids[w], 0);
    if (kids[w] == 0) {
      int bad = 0;
      for (int i = 0; i < kPerWriter; ++i) {
        Handle h;
        std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        if (zulos_reg_open_key("Shared", &h.k) != 0 ||
            zulos_reg_set_value(h.k, name.c_str(), ZULOS_REG_SZ, name.c_str(),
                                static_cast<uint32_t>(name.size() + 1)) != 0)
          ++bad;
        // Each writer also makes keys of its own, so both kinds of change interleave.
        Handle sub;
        if (zulos_reg_create_key(("Shared\\" + name).c_str(), &sub.k) != 0) ++bad;
      }
      _exit(bad == 0 ? 0 : 1);
    }
  }
  for (pid_t kid : kids) {
    int status = 0;
    ASSERT_EQ(kid, waitpid(kid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Handle h;
  ASSERT_EQ(0, zulos_reg_open_key("Shared", &h.k));
  char name[64];
  uint32_t keys = 0;
  while (zulos_reg_enum_key(h.k, keys, name, sizeof name) == 0) ++keys;
  EXPECT_EQ(2u * kPerWriter, keys);
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < kPerWriter; ++i) {
      std::string n = "w" + std::to_string(w) + "_" + std::to_string(i);
      EXPECT_EQ(n + '\0', read_value("Shared", n.c_str())) << n;
    }
}

namespace {
ssize_t failing_write(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}
int failing_fsync(int) {
  errno = EIO;
  return -1;
}
int failing_rename(const char*, const char*) {
  errno = EXDEV;
  return -1;
}
}  // namespace

TEST_F(RegistryTest, AFailedWriteKeepsThePreviousStore) {
  {
    Handle h;
    ASSERT_EQ(0, zulos_reg_create_key("Keep", &h.k));
    ASSERT_EQ(0, zulos_reg_set_value(h.k, "v", ZULOS_REG_SZ, "old", 4));
  }
  struct Case {
    const char* name;
    void (*inject)();
  };
  const Case kCases[] = {
      {"write", [] { zulos_sys.write = failing_write; }},
      {"fsync", [] { zulos_sys.fsync = failing_fsync; }},
      {"rename", [] { zulos_sys.rename = failing_rename; }},
  };
  for (const Case& c : kCases) {
    Handle h;
    ASSERT_EQ(0, zulos_reg_open_key("Keep", &h.k));
    c.inject();
    EXPECT_EQ(ZULOS_ERROR_REGISTRY_IO_FAILED, zulos_reg_set_value(h.k, "v", ZULOS_REG_SZ, "new", 4)) << c.name;
    zulos_syscalls_reset();
    EXPECT_EQ(std::string("old\0", 4), read_value("Keep", "v")) << c.name;
    EXPECT_FALSE(std::filesystem::exists(store() + ".new")) << c.name;
  }
}

TEST_F(RegistryTest, AHostileStoreIsRefusedWhole) {
  const std::string kHead = "zulreg 1\n";
  const std::string kDeep = [] {
    std::string p;
    for (int i = 0; i <= ZULOS_REG_DEPTH_MAX; ++i) p += "6b5c";  // "k\"
    return p;
  }();
  struct Case {
    const char* name;
    std::string text;
  };
  const Case kCases[] = {
      {"wrong header", "zulreg 9\nK 41\n"},
      {"cut-off last line", kHead + "K 41\nV 1 76 6100"},
      {"odd hex digits", kHead + "K 414\n"},
      {"not hex", kHead + "K 4g\n"},
      {"unknown record", kHead + "X 41\n"},
      {"value type not a number", kHead + "K 41\nV x 76 00\n"},
      {"value type over 32 bits", kHead + "K 41\nV 4294967296 76 00\n"},
      {"value data over the limit", kHead + "K 41\nV 3 76 " + std::string(2 * (ZULOS_REG_DATA_MAX + 1), 'a') + "\n"},
      {"key name over the limit", kHead + "K " + std::string(2 * (ZULOS_REG_NAME_MAX + 1), 'a') + "\n"},
      {"nesting over the limit", kHead + "K " + kDeep + "\n"},
      {"zero byte in a name", kHead + "K 4100\n"},
  };
  for (const Case& c : kCases) {
    write_store(c.text);
    Handle h;
    EXPECT_EQ(ZULOS_ERROR_REGISTRY_CORRUPT, zulos_reg_open_key("A", &h.k)) << c.name;
    EXPECT_EQ(ZULOS_ERROR_REGISTRY_CORRUPT, zulos_reg_create_key("B", &h.k)) << c.name;
  }
  // A sound store of the same form reads.
  write_store(kHead + "K 41\nV 1 76 6100\n");
  EXPECT_EQ(std::string("a\0", 2), read_value("A", "v"));
}
