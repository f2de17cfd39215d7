// test_metadata.cpp -- metadata rows and locators through the installed
// procedures: read by id, scans in record-id order with their end, deletes
// of more than ten ids, and locators with their pairs.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "db_test_support.h"
#include "zul_db_install.h"
#include "zul_db_logfile.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

class MetadataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    in.reset(new Instance("ZUL", dbtest::kAdminPw));
    ASSERT_EQ(in->status, 0);
    std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage(new DBTUNE_SYSTEM_PARAMS());
    ASSERT_EQ(DB_instance_system_tables_create(in->in, storage.get()), 0);
    ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  }
  void TearDown() override { unsetenv("ZULHOME"); }
  METADATA_RECORD row(int32_t id, const char* object, const char* property, const char* value) {
    METADATA_RECORD r;
    memset(&r, 0, sizeof r);
    r.id = id;
    strcpy(r.object_name, object);
    strcpy(r.object_owner, "ZUL");
    r.object_type = 1;
    strcpy(r.class_name, "C");
    strcpy(r.property, property);
    strcpy(r.value, value);
    return r;
  }
  Database db;
  std::unique_ptr<Instance> in;
};

TEST_F(MetadataTest, ReadScanAndDeleteBeyondTenIds) {
  METADATA_RECORD rows[12];
  for (int32_t i = 0; i < 12; ++i) rows[i] = row(12 - i, i % 2 ? "T1" : "T2", "P", "V");
  rows[0].class_name[0] = rows[0].value[0] = '\0';  // stored as NULL
  ASSERT_EQ(DB_sp_metadata_def_insert(in->in, rows, 12), 0);

  METADATA_RECORD r;
  ASSERT_EQ(DB_metadata_get_info_by_id(in->in, 12, &r), 0);
  EXPECT_STREQ(r.object_name, "T2");
  EXPECT_STREQ(r.class_name, "");
  EXPECT_STREQ(r.value, "");
  EXPECT_GT(r.date_modified, 0u);
  EXPECT_EQ(DB_metadata_get_info_by_id(in->in, 99, &r), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_instance_get_xerr(in->in).code, SE_DB_IO_ERROR);

  // the object name ZUL.T1 selects the six rows of T1, in record-id order
  ASSERT_EQ(DB_metadata_first(in->in, &r, nullptr, "ZUL.T1"), 0);
  int32_t last = r.id, seen = 1;
  int32_t status;
  while ((status = DB_metadata_next(in->in, &r, nullptr, nullptr)) == 0) {
    EXPECT_GT(r.id, last);
    EXPECT_STREQ(r.object_name, "T1");
    last = r.id;
    ++seen;
  }
  EXPECT_EQ(status, SE_FINISHED);
  EXPECT_EQ(seen, 6);
  EXPECT_EQ(DB_metadata_next(in->in, &r, nullptr, nullptr), SE_DB_IO_ERROR);

  METADATA_RECORD changed = row(5, "T1", "P2", "V2");
  ASSERT_EQ(DB_sp_metadata_def_update(in->in, &changed), 0);
  ASSERT_EQ(DB_metadata_get_info_by_id(in->in, 5, &r), 0);
  EXPECT_STREQ(r.property, "P2");

  const int32_t ids[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  ASSERT_EQ(DB_sp_metadata_def_delete(in->in, 11, ids), 0);
  Watcher w;
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.METADATA"), 1);
  ASSERT_EQ(DB_sp_metadata_def_delete(in->in, 0, ids), 0);
}

TEST_F(MetadataTest, LocatorsComeBackWithTheirPairsInRecordOrder) {
  LOCATOR loc;
  memset(&loc, 0, sizeof loc);
  loc.id = 1;
  strcpy(loc.name, "loc1");
  strcpy(loc.owner, "ZUL");
  strcpy(loc.category, "cat");
  loc.type = 2;
  loc.property_count = 3;
  const int32_t record_ids[] = {30, 10, 20};
  char* props[] = {(char*)"c", (char*)"a", (char*)"b"};
  char* values[] = {(char*)"3", (char*)"1", (char*)"2"};
  ASSERT_EQ(DB_sp_zullocators_def_insert(in->in, &loc, record_ids, props, values), 0);

  LOCATOR got;
  ASSERT_EQ(DB_locator_get_info(in->in, "loc1", &got), 0);
  ASSERT_EQ(got.property_count, 3);
  EXPECT_STREQ(got.property_names[0], "a");
  EXPECT_STREQ(got.property_values[2], "3");
  EXPECT_STREQ(got.category, "cat");
  db_locator_free_properties(&got);
  ASSERT_EQ(DB_locator_get_info_by_id(in->in, 1, &got), 0);
  EXPECT_EQ(got.property_count, 3);
  db_locator_free_properties(&got);

  LOCATOR* list = nullptr;
  int32_t n = 0;
  ASSERT_EQ(DB_locator_get_info_list(in->in, nullptr, &list, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(list[0].property_count, 3);
  db_locator_free_properties(&list[0]);
  free(list);

  // an update without pairs leaves a locator that no read finds
  loc.property_count = 0;
  ASSERT_EQ(DB_sp_zullocators_def_update(in->in, &loc, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(DB_locator_get_info(in->in, "ZUL.loc1", &got), SE_LOCATOR_NOEXIST);
  EXPECT_EQ(DB_locator_get_info_by_id(in->in, 1, &got), SE_LOCATOR_NOEXIST);

  int32_t* regs = nullptr;
  int32_t count = 0;
  ASSERT_EQ(DB_sp_zullocators_def_delete(in->in, 1, &regs, &count), 0);
  EXPECT_EQ(count, 0);
  free(regs);
  Watcher w;
  EXPECT_EQ(w.scalar("SELECT COUNT(*) FROM ZUL.LOCATORS"), 0);
}

}  // namespace
