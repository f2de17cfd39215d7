// Path texts and the process environment of the OS layer.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "zulos.h"

namespace {

TEST(Path, AppendJoinAndDirname) {
  struct JoinCase {
    const char* dir;
    const char* name;
    size_t cap;
    int status;
    const char* out;
  };
  const JoinCase joins[] = {
      {"/a", "b", 16, 0, "/a/b"},  {"/a/", "b", 16, 0, "/a/b"}, {"c:\\t\\", "b", 16, 0, "c:\\t\\b"},
      {"", "b", 16, 0, "b"},       {"/a", "b", 5, 0, "/a/b"},   {"/a", "bc", 5, -1, ""},
      {"/abcdef", "b", 4, -1, ""},
  };
  for (const JoinCase& c : joins) {
    char out[16] = "x";
    EXPECT_EQ(c.status, zulos_path_join(out, c.cap, c.dir, c.name)) << c.dir << " + " << c.name;
    EXPECT_STREQ(c.out, out) << c.dir << " + " << c.name;
  }
  char path[8] = "/a";
  EXPECT_EQ(-1, zulos_path_append(path, sizeof path, "toolong"));
  EXPECT_STREQ("/a", path) << "a refused append leaves the path alone";

  struct DirCase {
    const char* path;
    const char* out;
  };
  const DirCase dirs[] = {{"/a/b/c", "/a/b"}, {"a\\b", "a"}, {"/a", ""}, {"a", ""}, {"", ""}, {nullptr, ""}};
  for (const DirCase& c : dirs) {
    char out[16] = "x";
    EXPECT_EQ(0, zulos_path_dirname(c.path, out, sizeof out));
    EXPECT_STREQ(c.out, out);
  }
  char small[3];
  EXPECT_EQ(-1, zulos_path_dirname("/abc/d", small, sizeof small));
  EXPECT_STREQ("", small);
}

TEST(Path, PlainNames) {
  struct Case {
    const char* name;
    int plain;
  };
  const Case cases[] = {{"english", 1}, {"1252", 1}, {"a.b", 1},  {"..", 0},  {".", 0},
                        {"", 0},        {nullptr, 0}, {"a/b", 0}, {"a\\b", 0}, {"../x", 0}};
  for (const Case& c : cases) EXPECT_EQ(c.plain, zulos_path_is_plain_name(c.name)) << (c.name ? c.name : "<null>");
}

TEST(Env, SetPutUnset) {
  ASSERT_EQ(0, zulos_env_set("ZULOS_T", "1"));
  EXPECT_STREQ("1", zulos_env_get("ZULOS_T"));
  char assignment[] = "ZULOS_T=two";
  ASSERT_EQ(0, zulos_env_put(assignment));
  assignment[8] = 'X';  // the environment holds its own copy
  EXPECT_STREQ("two", zulos_env_get("ZULOS_T"));
  ASSERT_EQ(0, zulos_env_put("ZULOS_T="));
  EXPECT_EQ(nullptr, zulos_env_get("ZULOS_T"));
  ASSERT_EQ(0, zulos_env_set("ZULOS_T", "3"));
  ASSERT_EQ(0, zulos_env_unset("ZULOS_T"));
  EXPECT_EQ(nullptr, zulos_env_get("ZULOS_T"));

  const char* bad_puts[] = {"noequals", "=x", nullptr};
  for (const char* a : bad_puts) {
    EXPECT_EQ(-1, zulos_env_put(a)) << (a ? a : "<null>");
    EXPECT_EQ(EINVAL, errno);
  }
  EXPECT_EQ(-1, zulos_env_set("A=B", "x"));
  EXPECT_EQ(-1, zulos_env_set("", "x"));
  EXPECT_EQ(nullptr, zulos_env_get(""));
}

}  // namespace
