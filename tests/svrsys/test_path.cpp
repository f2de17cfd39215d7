// Joining a name to a path and taking a path's directory part.
#include <gtest/gtest.h>
#include <string.h>

#include "svr_services.h"

namespace {

TEST(Pathcat, Table) {
  struct Case {
    const char* path;
    const char* name;
    const char* out;
  };
  const Case cases[] = {
      {"/opt/zul", "etc", "/opt/zul/etc"},
      {"/opt/zul/", "etc", "/opt/zul/etc"},
      {"c:\\zul\\", "etc", "c:\\zul\\etc"},
      {"home", "etc", "home/etc"},
  };
  for (const Case& c : cases) {
    char buf[64];
    strcpy(buf, c.path);
    EXPECT_EQ(buf, SES_pathcat(buf, c.name));
    EXPECT_STREQ(c.out, buf) << c.path;
    strcpy(buf, c.path);
    EXPECT_EQ(buf, SES_pathcat_n(buf, sizeof buf, c.name));
    EXPECT_STREQ(c.out, buf) << c.path;
  }
}

TEST(Pathcat, SizedFormRefusesWhatDoesNotFit) {
  char buf[12] = "/opt/zul";
  EXPECT_EQ(nullptr, SES_pathcat_n(buf, sizeof buf, "etc"));  // needs 13 bytes
  EXPECT_STREQ("/opt/zul", buf);
  EXPECT_EQ(buf, SES_pathcat_n(buf, sizeof buf, "ab"));        // exactly 12
  EXPECT_STREQ("/opt/zul/ab", buf);
}

TEST(PathDirname, Table) {
  struct Case {
    const char* path;
    const char* out;
  };
  const Case cases[] = {
      {"/opt/zul/etc/orvant.defs", "/opt/zul/etc"},
      {"c:\\zul\\etc\\x", "c:\\zul\\etc"},
      {"/top", ""},
      {"plain", ""},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    char out[64] = "garbage";
    SES_path_dirname(c.path, out);
    EXPECT_STREQ(c.out, out) << (c.path ? c.path : "<null>");
  }
}

}  // namespace
