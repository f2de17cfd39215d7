// The registry settings of instances: values set, read and deleted with
// their messages, the DBA password kept as binary data, the list of
// instances, the deletion of an instance's whole key tree, and the event-log
// source keys.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tmp_home.h"
#include "zul_service.h"
#include "zulos.h"

namespace {

const std::string kProduct = "Software\\NORQ\\Hestorn\\Mardel\\8.0\\Mardel for DB2";

// The raw value as the registry holds it, with its type.
std::string raw(const std::string& path, const char* value, uint32_t* type = nullptr) {
  zulos_regkey* k = nullptr;
  if (zulos_reg_open_key(path.c_str(), &k) != 0) return "<no key>";
  char buf[1024];
  uint32_t len = sizeof buf;
  int err = zulos_reg_query_value(k, value, type, buf, &len);
  zulos_reg_close(k);
  return err == 0 ? std::string(buf, len) : "<no value>";
}

class RegistryTest : public ::testing::Test {
 protected:
  TmpHome home_;
};

}  // namespace

TEST_F(RegistryTest, InstanceValuesAreSetReadAndDeleted) {
  ASSERT_EQ(0, SES_RegisterService("inst1", "First instance", "/opt/zul1", "dba pw", nullptr, nullptr, nullptr));
  uint32_t type = 0;
  EXPECT_EQ(std::string("/opt/zul1\0", 10), raw(kProduct + "\\inst1", "ZULHOME", &type));
  EXPECT_EQ(static_cast<uint32_t>(ZULOS_REG_SZ), type);
  EXPECT_EQ("dba pw", raw(kProduct + "\\inst1", "ZUL_DBA_PASSWORD", &type));
  EXPECT_EQ(static_cast<uint32_t>(ZULOS_REG_BINARY), type);
  EXPECT_EQ("<no value>", raw(kProduct + "\\inst1", "ORACLE_SID"));
  ASSERT_EQ(0, SES_RegisterService("inst2", "Second", "/opt/zul2", "pw2", "u", "u", "SID2"));
  EXPECT_EQ(std::string("SID2\0", 5), raw(kProduct + "\\inst2", "ORACLE_SID"));

  char text[SES_KEY_VALUE_LEN];
  struct Case {
    const char* name;
    const char* service;
    const char* value;
    int32_t status;
    const char* text;
  };
  const Case kCases[] = {
      {"text value", "inst1", "DESCRIPTION", 0, "First instance"},
      {"binary password reads as text", "INST1", "ZUL_DBA_PASSWORD", 0, "dba pw"},
      {"absent value", "inst1", "NLS_LANG", -1, ""},
      {"absent instance", "nobody", "ZULHOME", -1, ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.status, SES_GetKeyValue(c.service, c.value, text)) << c.name;
    EXPECT_STREQ(c.text, text) << c.name;
  }

  // The longest value the buffer holds reads; one byte more is refused, not cut.
  for (size_t len : {size_t(SES_KEY_VALUE_LEN - 1), size_t(SES_KEY_VALUE_LEN)}) {
    std::string v(len, 'v');
    ASSERT_EQ(0, SES_RegisterKey("inst1", "LONG", v.c_str()));
    int32_t want = len < SES_KEY_VALUE_LEN ? 0 : -1;
    EXPECT_EQ(want, SES_GetKeyValue("inst1", "LONG", text)) << len;
    EXPECT_EQ(want == 0 ? v : std::string(), text) << len;
  }

  EXPECT_EQ(0, SES_UnRegisterKey("inst1", "LONG"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_UnRegisterKey("inst1", "LONG"));
  EXPECT_EQ(-1, SES_UnRegisterKey("nobody", "LONG"));
  EXPECT_EQ(-1, SES_GetKeyValue("nobody", "ZULHOME", text));
  EXPECT_EQ(-1, SES_RegisterKey("a\\b", "X", "y"));
  EXPECT_EQ("Error Deleting  LONG key (2)\n"
            "Error opening/deleting " + kProduct + "\\nobody key (2)\n"
            "Error opening " + kProduct + "\\nobody key (2)\n"
            "Error opening/creating a\\b key (123)\n",
            testing::internal::GetCapturedStderr());
}

TEST_F(RegistryTest, ListGivesOneInstanceOrAll) {
  int32_t count = -1;
  SES_SERVICE_LIST* list = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_ListService("", &count, &list));  // no product key yet
  testing::internal::GetCapturedStderr();

  ASSERT_EQ(0, SES_RegisterService("beta", "B", "/b", "p", nullptr, nullptr, nullptr));
  ASSERT_EQ(0, SES_RegisterService("alpha", "A", "/a", "p", nullptr, nullptr, nullptr));
  ASSERT_EQ(0, SES_RegisterKey("alpha", "NLS_LANG", "AMERICAN_AMERICA.UTF8"));
  ASSERT_EQ(0, SES_ListService("", &count, &list));
  ASSERT_EQ(2, count);
  EXPECT_STREQ("alpha", list[0].service);
  EXPECT_STREQ("A", list[0].description);
  EXPECT_STREQ("/a", list[0].home);
  EXPECT_STREQ("AMERICAN_AMERICA.UTF8", list[0].nls_lang);
  EXPECT_STREQ("beta", list[1].service);
  EXPECT_STREQ("", list[1].nls_lang);
  free(list);

  ASSERT_EQ(0, SES_ListService("beta", &count, &list));
  ASSERT_EQ(1, count);
  EXPECT_STREQ("/b", list[0].home);
  free(list);
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_ListService("gamma", &count, &list));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(0, count);
  EXPECT_EQ(nullptr, list);
}

TEST_F(RegistryTest, DeleteInstanceKeyRemovesTheWholeTree) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_DeleteInstanceKey("inst"));
  EXPECT_EQ("Error opening instance key\n", testing::internal::GetCapturedStderr());

  ASSERT_EQ(0, SES_RegisterService("inst", "I", "/i", "p", nullptr, nullptr, nullptr));
  ASSERT_EQ(0, SES_RegisterService("other", "O", "/o", "p", nullptr, nullptr, nullptr));
  for (const char* sub : {"\\inst\\a\\b\\c", "\\inst\\a\\d", "\\inst\\e"}) {
    zulos_regkey* k = nullptr;
    ASSERT_EQ(0, zulos_reg_create_key((kProduct + sub).c_str(), &k));
    ASSERT_EQ(0, zulos_reg_set_value(k, "v", ZULOS_REG_SZ, "x", 2));
    zulos_reg_close(k);
  }
  EXPECT_EQ(0, SES_DeleteInstanceKey("inst"));
  EXPECT_EQ("<no key>", raw(kProduct + "\\inst", "ZULHOME"));
  EXPECT_EQ(std::string("/o\0", 3), raw(kProduct + "\\other", "ZULHOME"));

  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_DeleteInstanceKey(""));
  EXPECT_EQ(-1, SES_DeleteInstanceKey("inst"));
  EXPECT_EQ("Invalid Key name\nError opening inst key\n", testing::internal::GetCapturedStderr());
}

TEST_F(RegistryTest, EventLogSourceIsRegisteredAndRemoved) {
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\inst";
  ASSERT_EQ(0, SES_RegisterEventLog("inst", "%ZULHOME%/bin/orvant"));
  uint32_t type = 0;
  EXPECT_EQ(std::string("\x07\0\0\0", 4), raw(key, "TypesSupported", &type));
  EXPECT_EQ(static_cast<uint32_t>(ZULOS_REG_DWORD), type);
  EXPECT_EQ(std::string("%ZULHOME%/bin/orvant\0", 21), raw(key, "EventMessageFile", &type));
  EXPECT_EQ(static_cast<uint32_t>(ZULOS_REG_EXPAND_SZ), type);
  EXPECT_EQ(0, SES_UnRegisterEventLog("inst"));
  EXPECT_EQ("<no key>", raw(key, "TypesSupported"));

  EXPECT_EQ(SE_INVALID_POINTER, SES_RegisterEventLog(nullptr, "f"));
  EXPECT_EQ(SE_INVALID_POINTER, SES_RegisterEventLog("", "f"));
  EXPECT_EQ(SE_INVALID_POINTER, SES_RegisterEventLog("inst", nullptr));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, SES_UnRegisterEventLog("inst"));
  EXPECT_EQ("Error opening eventlog key\n", testing::internal::GetCapturedStderr());
}
