// The message file: indexing of errors, warnings and continuation lines, its
// failures, and the release record.
#include <gtest/gtest.h>
#include <errno.h>
#include <string.h>

#include <string>

#include "tmp_home.h"
#include "zul_dbms.h"
#include "zul_msgfile.h"
#include "zul_release.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

const char kMsgRel[] = "locale/msg/1252/english_error.msg";

// Text of message i of an index: up to the next indexed line.
std::string message(char** index, int32_t i) { return std::string(index[i], index[i + 1]); }

struct Loaded {
  int32_t status;
  MESSAGE_FILE m;
  std::string err;
  ~Loaded() { free_message_file(&m); }
};

void load(const char* prefix, const char* lang, Loaded* out) {
  testing::internal::CaptureStderr();
  out->status = read_message(prefix, lang, &out->m);
  out->err = testing::internal::GetCapturedStderr();
}

TEST(ReadMessage, ErrorsWarningsAndContinuations) {
  TmpHome home;
  home.write(kMsgRel,
             "# error messages\n"
             "success\n"
             "first error\n"
             "+ continued\n"
             " also continued\n"
             "second error\r\n"
             "# ---- WARNING MESSAGE section ----\n"
             "first warning\n"
             "\n"
             "second warning\n");
  Loaded got;
  load("english", "1252", &got);
  ASSERT_EQ(0, got.status) << got.err;
  ASSERT_EQ(3, got.m.error_count);
  ASSERT_EQ(2, got.m.warning_count);
  EXPECT_EQ("success\n", message(got.m.error_index, 0));
  EXPECT_EQ("first error\n+ continued\n also continued\n", message(got.m.error_index, 1));
  EXPECT_EQ("second error\n", message(got.m.error_index, 2)) << "the '\\r' of a Windows line end is dropped";
  EXPECT_EQ("first warning\n\n", message(got.m.warning_index, 0));
  EXPECT_EQ("second warning\n", message(got.m.warning_index, 1));
  EXPECT_EQ(got.m.buffer + strlen(got.m.buffer), got.m.warning_index[2]);
}

TEST(ReadMessage, ThreeHundredAndOneMessagesGrowTheIndexOnce) {
  TmpHome home;
  std::string text;
  for (int i = 0; i < 301; ++i) text += "message " + std::to_string(i) + "\n";
  home.write(kMsgRel, text);
  Loaded got;
  load("english", "1252", &got);
  ASSERT_EQ(0, got.status);
  ASSERT_EQ(301, got.m.error_count);
  EXPECT_EQ(2 * SE_MSG_ERROR_STEP, got.m.error_cap);
  EXPECT_EQ(0, got.m.warning_count);
  for (int i = 0; i < 301; ++i) EXPECT_EQ("message " + std::to_string(i) + "\n", message(got.m.error_index, i));
}

TEST(ReadMessage, EmptyFileGivesEmptyIndexes) {
  TmpHome home;
  home.write(kMsgRel, "");
  Loaded got;
  load("english", "1252", &got);
  ASSERT_EQ(0, got.status);
  EXPECT_EQ(0, got.m.error_count);
  EXPECT_EQ(0, got.m.warning_count);
}

TEST(ReadMessage, Failures) {
  TmpHome home;
  home.write(kMsgRel, "success\n");
  struct FailCase {
    const char* name;
    const char* prefix;
    const char* lang;
    int32_t status;
    const char* err_start;
  };
  const FailCase cases[] = {
      {"no such file", "french", "1252", SE_MSG_FILE_ERROR, "Error getting file information "},
      {"language leaves the directory", "english", "..", SE_MSG_FILE_ERROR, "Error getting file information "},
      {"prefix holds a separator", "../1252/english", "1252", SE_MSG_FILE_ERROR, "Error getting file information "},
      {"null language", "english", nullptr, SE_MSG_FILE_ERROR, "Error getting file information "},
  };
  for (const FailCase& c : cases) {
    Loaded got;
    load(c.prefix, c.lang, &got);
    EXPECT_EQ(c.status, got.status) << c.name;
    EXPECT_EQ(0u, got.err.find(c.err_start)) << c.name << ": " << got.err;
    EXPECT_EQ(nullptr, got.m.buffer) << c.name;
  }
  ScopedEnv unset("ZULHOME", nullptr);
  Loaded got;
  load("english", "1252", &got);
  EXPECT_EQ(-1, got.status);
  EXPECT_EQ("Cannot locate ZULHOME\n", got.err);
}

int failing_open(const char*, int, mode_t) {
  errno = EACCES;
  return -1;
}
ssize_t failing_read(int, void*, size_t) {
  errno = EIO;
  return -1;
}

TEST(ReadMessage, OpenAndReadFailuresAreReportedAndLeaveNothingBehind) {
  TmpHome home;
  home.write(kMsgRel, "success\n");
  std::string path = home.path() + "/" + kMsgRel;
  {
    zulos_sys.open = failing_open;
    Loaded got;
    load("english", "1252", &got);
    zulos_syscalls_reset();
    EXPECT_EQ(SE_MSG_FILE_ERROR, got.status);
    EXPECT_EQ("Error opening file " + path, got.err);
    EXPECT_EQ(nullptr, got.m.buffer);
  }
  {
    zulos_sys.read = failing_read;
    Loaded got;
    load("english", "1252", &got);
    zulos_syscalls_reset();
    EXPECT_EQ(SE_MSG_FILE_ERROR, got.status);
    EXPECT_EQ("error reading file " + path + "\n", got.err);
    EXPECT_EQ(nullptr, got.m.error_index);
  }
}

// The template home of the repository carries a real message file.
TEST(ReadMessage, ShippedMessageFileLoads) {
  ScopedEnv home("ZULHOME", ZUL_SOURCE_DIR "/etc/zulhome");
  Loaded got;
  load("english", "1252", &got);
  ASSERT_EQ(0, got.status) << got.err;
  EXPECT_GT(got.m.error_count, 330);
  EXPECT_GT(got.m.warning_count, 11);
  EXPECT_EQ(0, strncmp(got.m.error_index[10], "network i/o operation failed", 28));
  EXPECT_EQ(0, strncmp(got.m.warning_index[11], "the message file", 16));
}

TEST(Release, NumbersDescriptionAndBuildTexts) {
  RELEASE r;
  memset(&r, 0, sizeof r);
  r.bug = 7;
  ASSERT_EQ(0, SES_get_release(&r));
  EXPECT_EQ(8, r.major);
  EXPECT_EQ(3, r.minor);
  EXPECT_EQ(7, r.bug) << "the release text has no third number";
  EXPECT_EQ(83002, r.release);
  EXPECT_STREQ("DB2  Build 788 Tue Jul 13 09:46:49 PDT 2004", r.description);
  EXPECT_EQ(SE_INVALID_POINTER, SES_get_release(nullptr));

  char name[SE_DBMS_NAME_LEN], date[SE_DBMS_BUILD_DATE_LEN], build[SE_DBMS_BUILD_TEXT_LEN];
  DB_dbms_get_rev(name, date, build);
  EXPECT_STREQ("DB2", name);
  EXPECT_STREQ(" Build 788", build);
  EXPECT_EQ(8, DB_dbms_get_id());
}

}  // namespace
