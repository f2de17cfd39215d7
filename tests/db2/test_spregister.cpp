// test_spregister.cpp -- registering the procedures of the procedure
// library: an installed database lists all 45 under ZUL and passes the
// start-up check; a second installation replaces them; a missing procedure,
// a library of an older release or one that cannot be loaded fail the
// check; a CREATE that fails drops what the run created; the procedures'
// message codes as the instance's error; the signature table.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "db_test_support.h"
#include "dl_fault.h"
#include "zul_db_install.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

const char* kCountZul = "SELECT COUNT(*) FROM SYSCAT.PROCEDURES WHERE PROCSCHEMA = 'ZUL'";

// A home whose lib holds the build's bind file and, as libzulsrvsp.so, the
// given file (or a text that is no library).
class Home {
 public:
  explicit Home(const std::string& library) {
    char tmpl[] = "/tmp/zul_sp_home_XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::filesystem::create_directories(dir_ + "/lib");
    std::filesystem::copy_file(std::string(ZUL_LIB_DIR) + "/zulsrvsp.bnd", dir_ + "/lib/zulsrvsp.bnd");
    std::string target = dir_ + "/lib/libzulsrvsp.so";
    if (library.empty()) {
      FILE* f = fopen(target.c_str(), "w");
      fputs("not a library\n", f);
      fclose(f);
    } else {
      std::filesystem::create_symlink(library, target);
    }
  }
  ~Home() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

class SpRegisterTest : public dbtest::SpatialAdminTest {
 protected:
  void SetUp() override {
    // the procedures' library is looked for under $ZULHOME/lib
    setenv("ZULHOME", ZUL_BINARY_DIR, 1);
    SpatialAdminTest::SetUp();
    if (HasFatalFailure()) return;
    DBTUNE_SYSTEM_PARAMS* storage = new DBTUNE_SYSTEM_PARAMS();
    ASSERT_EQ(DB_instance_system_tables_create(in->in, storage), 0);
    delete storage;
  }
  void TearDown() override {
    dl::dl_fault_clear();
    unsetenv("ZULHOME");
  }
};

TEST_F(SpRegisterTest, InstallRegistersEveryProcedureBindsThePackageAndPassesTheCheck) {
  EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), -1);
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  EXPECT_EQ(scalar(kCountZul), 45);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM SYSCAT.PACKAGES WHERE PKGNAME = 'ZULSRVSP'"), 1);
  EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), 0);
  {
    // an ordinary user may start a server against it too (its rebind is
    // refused and does not count)
    Instance bob;
    ASSERT_EQ(bob.status, 0);
    EXPECT_EQ(DB_instance_stored_procedures_exists(bob.in), 0);
  }

  // a second installation replaces every procedure
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  EXPECT_EQ(scalar(kCountZul), 45);
  EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), 0);

  // one procedure missing: the check fails without a DBMS error
  ASSERT_EQ(w.exec("DROP PROCEDURE ZUL.zul_trim_state"), SQL_SUCCESS);
  DB_instance_clear_xerr(in->in);
  EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), -1);
  EXPECT_EQ(DB_instance_get_xerr(in->in).code, 0);
}

TEST_F(SpRegisterTest, OldOrUnloadableLibraryFailsTheCheck) {
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  {
    Home old(std::string(ZUL_LIB_DIR) + "/libdb2_oldsp.so");
    setenv("ZULHOME", old.dir().c_str(), 1);
    DB_instance_clear_xerr(in->in);
    EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), -1);
    EXPECT_EQ(DB_instance_get_xerr(in->in).code, 0);
  }
  {
    Home broken("");
    setenv("ZULHOME", broken.dir().c_str(), 1);
    EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), -51);
    EXPECT_STREQ(DB_instance_get_xerr(in->in).ext_msg, "42724");
  }
}

TEST_F(SpRegisterTest, FailedCreateDropsWhatTheRunCreatedAndRasterFailureKeepsEarlierFamilies) {
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  // the first CREATE of the layers family fails: the 26 procedures of the
  // five families before it are dropped again, the rest stay as they were
  dl::dl_fault_fail_statement(1, "42601", -104, "CREATE PROCEDURE ZUL.zul_insert_layer");
  EXPECT_EQ(DB_instance_stored_procedures_create(in->in), -1);
  EXPECT_EQ(DB_instance_get_xerr(in->in).code, -51);
  EXPECT_EQ(scalar(kCountZul), 45 - 26 - 7);
  EXPECT_EQ(scalar(std::string(kCountZul) + " AND PROCNAME = 'ZUL_INSERT_DBTUNE'"), 1);
  EXPECT_EQ(DB_instance_stored_procedures_exists(in->in), -1);

  // a failure in the raster-columns family undoes nothing: the earlier
  // families stay, committed
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  dl::dl_fault_fail_statement(1, "42601", -104, "CREATE PROCEDURE ZUL.zul_delete_raster");
  EXPECT_EQ(DB_instance_stored_procedures_create(in->in), -51);
  ASSERT_EQ(dbtest::exec(in->in, "ROLLBACK"), SQL_SUCCESS);
  // release, registry, states, versions, spatial references, layers and the
  // raster procedure made before the failure
  EXPECT_EQ(scalar(kCountZul), 1 + 5 + 8 + 10 + 2 + 7 + 1 + 3 + 3 + 2);
}

TEST_F(SpRegisterTest, ProcedureMessageCodesBecomeTheInstanceError) {
  struct Case { int32_t code; int32_t status; int32_t native; };
  const Case kCases[] = {
      {-20025, -25, 0}, {-20001, -1, 0}, {-20998, -998, 0},
      {-20999, -51, -20999}, {-20000, -51, -20000}, {-803, -51, -803}, {100, -51, 100},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(db_sp_set_message_error(in->in, c.code, "zul_x"), c.status) << c.code;
    EXPECT_EQ(DB_instance_get_xerr(in->in).code, c.status) << c.code;
    EXPECT_EQ(DB_instance_get_xerr(in->in).native, c.native) << c.code;
    EXPECT_STREQ(DB_instance_get_xerr(in->in).msg, "Error executing stored procedure zul_x");
  }
  // through a real call: a registration that does not exist
  ASSERT_EQ(DB_instance_stored_procedures_create(in->in), 0);
  REGISTRATION reg{};
  reg.id = 777;
  EXPECT_EQ(DB_sp_registry_def_update(in->in, &reg), -51);
  EXPECT_EQ(DB_instance_get_xerr(in->in).native, 100);
  EXPECT_STREQ(DB_instance_get_xerr(in->in).msg, "Error executing stored procedure zul_update_registr");
}

TEST(SpSignatures, FamiliesMarkersAndCreateText) {
  const int32_t kSizes[SP_FAMILY_COUNT] = {1, 5, 8, 10, 2, 7, 4, 3, 3, 2};
  for (int f = 0; f < SP_FAMILY_COUNT; f++) EXPECT_EQ(db_sp_families()[f].count, kSizes[f]) << f;
  struct Markers { const char* name; int32_t count; };
  const Markers kMarkers[] = {
      {"zul_delete_metadata", 12}, {"zul_update_registr", 9}, {"zul_release_proc", 1},
      {"zul_set_base_state", 2},   {"zul_insert_layer", 24},  {"zul_rename_raster", 2},
      {"zul_insert_dbtune", 5},    {"zul_trunc_dbtune", 2},   {"zul_nothing", -1},
  };
  for (const Markers& m : kMarkers) EXPECT_EQ(db_sp_marker_count(m.name), m.count) << m.name;
  char sql[4096];
  ASSERT_EQ(db_sp_create_text(nullptr, db_sp_find("zul_close_state"), sql, sizeof sql), 0);
  EXPECT_STREQ(sql,
               "CREATE PROCEDURE ZUL.zul_close_state (IN state_id INTEGER, OUT closing_time varchar(26), "
               "OUT msgCode INTEGER, OUT reserved VARCHAR(1024)) EXTERNAL NAME 'zulsrvsp!zul_close_state' "
               "LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED");
  ASSERT_EQ(db_sp_create_text(nullptr, db_sp_find("zul_lock_sref"), sql, sizeof sql), 0);
  EXPECT_STREQ(sql,
               "CREATE PROCEDURE ZUL.zul_lock_sref (OUT msgCode INTEGER, OUT reserved VARCHAR(1024)) "
               "EXTERNAL NAME 'zulsrvsp!zul_lock_sref' LANGUAGE C PARAMETER STYLE DB2DARI NOT FENCED");
  EXPECT_EQ(db_sp_create_text(nullptr, db_sp_find("zul_insert_layer"), sql, 64), -250);
}

}  // namespace
