// The side files of an instance home: dbinit.zul and services.zul.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "svr_services.h"
#include "tmp_home.h"

namespace {

TEST(EtcDbinit, SetUnsetSkipAndCount) {
  TmpHome home;
  ScopedEnv gone("ZULT_GONE", "present"), echo("ZULDBECHO", nullptr);
  ScopedEnv a("ZULT_A", nullptr), b("ZULT_B", nullptr), c("ZULT_C", nullptr);
  home.write("etc/dbinit.zul",
             "# a comment\n"
             "/* another comment */\n"
             "\n"
             "set ZULT_A=one\n"
             "set ZULT_B=two words\n"
             "unset ZULT_GONE\n"
             "export ZULT_C=ignored\n"
             "set novalue\n"
             "set =empty-name\n"
             "set ZULT_C=three\r\n");
  EXPECT_EQ(3, Etc_dbinit_set(home.path().c_str(), 0));
  EXPECT_STREQ("one", getenv("ZULT_A"));
  EXPECT_STREQ("two", getenv("ZULT_B")) << "a line is read as two words";
  EXPECT_STREQ("three", getenv("ZULT_C"));
  EXPECT_EQ(nullptr, getenv("ZULT_GONE"));
}

TEST(EtcDbinit, EchoShowsThePathAndTheAppliedLines) {
  TmpHome home;
  ScopedEnv a("ZULT_A", nullptr), gone("ZULT_GONE", "x");
  home.write("etc/dbinit.zul", "# c\nset ZULT_A=1\nset broken\nunset ZULT_GONE\n");
  for (bool by_env : {false, true}) {
    ScopedEnv echo("ZULDBECHO", by_env ? "1" : nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, Etc_dbinit_set(home.path().c_str(), by_env ? 0 : 1));
    EXPECT_EQ("\nReading " + home.path() + "/etc/dbinit.zul:\n\nset ZULT_A=1\nunset ZULT_GONE\n\n",
              testing::internal::GetCapturedStderr());
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, Etc_dbinit_set(home.path().c_str(), 0));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(EtcDbinit, MissingFileOrHome) {
  TmpHome home;
  EXPECT_EQ(-1, Etc_dbinit_set(home.path().c_str(), 0));
  EXPECT_EQ(-1, Etc_dbinit_set(nullptr, 0));
  EXPECT_EQ(-1, Etc_dbinit_set("", 0));
}

TEST(EtcService, FirstWordOfTheFirstDataLine) {
  struct Case {
    const char* name;
    const char* text;
    int32_t status;
    const char* service;
  };
  const std::string long_name(300, 's');
  const std::string long_text = long_name + "\n";
  const Case cases[] = {
      {"name and port", "# listener\n\nnorq_zul 5151/tcp\nother\n", 0, "norq_zul"},
      {"port form", "PORT:5151\n", 0, "PORT:5151"},
      {"leading blanks", "   norq_zul\n", 0, "norq_zul"},
      {"Windows line end", "norq_zul\r\n", 0, "norq_zul"},
      {"comments only", "# one\n/* two */\n", -1, ""},
      {"empty file", "", -1, ""},
      {"name longer than the field", long_text.c_str(), -1, ""},
  };
  TmpHome home;
  for (const Case& c : cases) {
    home.write("etc/services.zul", c.text);
    char service[SES_SERVICE_NAME_LEN] = "";
    EXPECT_EQ(c.status, Etc_service_get(home.path().c_str(), service)) << c.name;
    if (c.status == 0) {
      EXPECT_STREQ(c.service, service) << c.name;
    }
  }
  TmpHome empty;
  char service[SES_SERVICE_NAME_LEN];
  EXPECT_EQ(-1, Etc_service_get(empty.path().c_str(), service));
}

}  // namespace
