// The log-file record: its tag, the target and persistence rules, and the
// bounds of its text fields.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "zul_logfile.h"
#include "zul_status.h"

namespace {

struct LogfilePtr {
  LOGFILE* p = nullptr;
  LogfilePtr() { EXPECT_EQ(0, SES_loginfo_create(&p)); }
  ~LogfilePtr() { SES_loginfo_free(p); }
};

TEST(Loginfo, CreateGivesAZeroedTaggedRecord) {
  LogfilePtr log;
  ASSERT_NE(nullptr, log.p);
  EXPECT_EQ(0, memcmp(log.p->tag, "LoG", 4));
  EXPECT_EQ(0, log.p->flags);
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_create(nullptr));
  SES_loginfo_free(nullptr);
}

TEST(Loginfo, TargetKinds) {
  LogfilePtr log;
  LOGFILE* l = log.p;
  l->flags = SE_LOG_PERSISTENT | SE_LOG_FLAG_8 | 0x40;
  ASSERT_EQ(0, SES_loginfo_set_target_object(l, SE_LOG_KIND_LAYER, "ROADS", "SHAPE"));
  EXPECT_EQ(SE_LOG_PERSISTENT | SE_LOG_FLAG_8 | SE_LOG_TARGET_LAYER, l->flags);
  int32_t kind = 0;
  char object[SE_LOGFILE_TARGET_LEN], column[SE_LOGFILE_COLUMN_LEN];
  ASSERT_EQ(0, SES_loginfo_get_target_object(l, &kind, object, column));
  EXPECT_EQ(SE_LOG_KIND_LAYER, kind);
  EXPECT_STREQ("ROADS", object);
  EXPECT_STREQ("SHAPE", column);

  // Kind 1 after kind 2 clears the column and the layer flag.
  ASSERT_EQ(0, SES_loginfo_set_target_object(l, SE_LOG_KIND_TABLE, "PARCELS", "IGNORED"));
  EXPECT_EQ(SE_LOG_PERSISTENT | SE_LOG_FLAG_8 | SE_LOG_TARGET_TABLE, l->flags);
  ASSERT_EQ(0, SES_loginfo_get_target_object(l, &kind, object, column));
  EXPECT_EQ(SE_LOG_KIND_TABLE, kind);
  EXPECT_STREQ("PARCELS", object);
  EXPECT_STREQ("", column);
}

TEST(Loginfo, RefusedSettingsLeaveTheRecordAlone) {
  LogfilePtr log;
  LOGFILE* l = log.p;
  ASSERT_EQ(0, SES_loginfo_set_target_object(l, SE_LOG_KIND_LAYER, "ROADS", "SHAPE"));
  const std::string long_object(SE_LOGFILE_TARGET_LEN, 'o');
  const std::string long_column(SE_LOGFILE_COLUMN_LEN, 'c');
  const std::string long_name(SE_LOGFILE_NAME_LEN, 'n');
  struct Case {
    const char* name;
    int32_t kind;
    const char* object;
    const char* column;
    int32_t status;
  };
  const Case cases[] = {
      {"kind 3", 3, "T", "C", SE_INVALID_POINTER},
      {"no object", SE_LOG_KIND_TABLE, nullptr, nullptr, SE_INVALID_POINTER},
      {"layer without column", SE_LOG_KIND_LAYER, "T", "", SE_INVALID_PARAM},
      {"layer with null column", SE_LOG_KIND_LAYER, "T", nullptr, SE_INVALID_PARAM},
      {"object longer than its field", SE_LOG_KIND_TABLE, long_object.c_str(), nullptr, SE_INVALID_PARAM},
      {"column longer than its field", SE_LOG_KIND_LAYER, "T", long_column.c_str(), SE_INVALID_PARAM},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status, SES_loginfo_set_target_object(l, c.kind, c.object, c.column)) << c.name;
    EXPECT_STREQ("ROADS", l->target) << c.name;
    EXPECT_STREQ("SHAPE", l->column) << c.name;
    EXPECT_EQ(SE_LOG_TARGET_LAYER, l->flags) << c.name;
  }
  ASSERT_EQ(0, SES_loginfo_set_name(l, "mylog"));
  EXPECT_EQ(SE_INVALID_PARAM, SES_loginfo_set_name(l, long_name.c_str()));
  char name[SE_LOGFILE_NAME_LEN];
  ASSERT_EQ(0, SES_loginfo_get_name(l, name));
  EXPECT_STREQ("mylog", name);
}

TEST(Loginfo, Persistence) {
  LogfilePtr log;
  LOGFILE* l = log.p;
  l->flags = SE_LOG_TARGET_LAYER | SE_LOG_FLAG_8 | 0x40;
  int32_t p = 0;
  ASSERT_EQ(0, SES_loginfo_get_persistence(l, &p));
  EXPECT_EQ(SE_LOG_IS_TEMPORARY, p);
  ASSERT_EQ(0, SES_loginfo_set_persistence(l, SE_LOG_IS_PERSISTENT));
  ASSERT_EQ(0, SES_loginfo_get_persistence(l, &p));
  EXPECT_EQ(SE_LOG_IS_PERSISTENT, p);
  ASSERT_EQ(0, SES_loginfo_set_persistence(l, SE_LOG_IS_TEMPORARY));
  EXPECT_EQ(SE_LOG_TARGET_LAYER | SE_LOG_FLAG_8, l->flags) << "2 clears 1 and keeps 2, 4 and 8";
  EXPECT_EQ(SE_INVALID_PARAM, SES_loginfo_set_persistence(l, 3));
}

// Every accessor refuses a record without the tag, and reports a missing
// out argument.
TEST(Loginfo, WrongTagAndMissingArguments) {
  LOGFILE bad;
  memset(&bad, 0, sizeof bad);
  memcpy(bad.tag, "gOl", 4);
  int32_t v;
  char text[SE_LOGFILE_TARGET_LEN];
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_get_id(&bad, &v));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_get_name(&bad, text));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_set_name(&bad, "x"));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_get_target_object(&bad, &v, text, nullptr));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_set_target_object(&bad, 1, "x", nullptr));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_get_persistence(&bad, &v));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_set_persistence(&bad, 1));
  EXPECT_EQ(SE_INVALID_LOGFILE_OBJECT, SES_loginfo_get_id(nullptr, &v));

  LogfilePtr log;
  log.p->id = 17;
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_get_id(log.p, nullptr));
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_get_name(log.p, nullptr));
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_set_name(log.p, nullptr));
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_get_target_object(log.p, nullptr, text, text));
  EXPECT_EQ(SE_INVALID_POINTER, SES_loginfo_get_persistence(log.p, nullptr));
  ASSERT_EQ(0, SES_loginfo_get_id(log.p, &v));
  EXPECT_EQ(17, v);
}

}  // namespace
