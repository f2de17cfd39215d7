// test_install.cpp -- installing the system tables: a fresh database gets
// its release record and every table with the two messages of each, in
// order; a complete database is left alone; the release gate; an old or
// unverifiable LAYERS table; resuming after a missing table; the lineage
// table built from the states' parent links.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "db_test_support.h"
#include "zul_db_install.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

const char* const kOrder[] = {"SPATIAL_REFERENCES", "GEOMETRY_COLUMNS", "LAYERS", "RASTER_COLUMNS",
                              "TABLE_REGISTRY", "STATES", "VERSIONS", "MVTABLES_MODIFIED",
                              "METADATA", "STATE_LINEAGES", "LOCATORS"};

// Runs f with standard error captured; answers what it printed.
template <typename F>
std::string captured(F f) {
  fflush(stderr);
  char path[] = "/tmp/zul_install_err_XXXXXX";
  int fd = mkstemp(path);
  int saved = dup(2);
  dup2(fd, 2);
  f();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
  close(fd);
  unlink(path);
  return out;
}

// True when every line of want appears in text, in that order.
bool in_order(const std::string& text, const std::vector<std::string>& want) {
  size_t at = 0;
  for (const std::string& w : want) {
    size_t p = text.find(w, at);
    if (p == std::string::npos) return false;
    at = p + w.size();
  }
  return true;
}

class InstallTest : public dbtest::SpatialAdminTest {
 protected:
  void SetUp() override {
    SpatialAdminTest::SetUp();
    storage.reset(new DBTUNE_SYSTEM_PARAMS());
  }
  int32_t install(std::string* err = nullptr) {
    int32_t status = 0;
    std::string e = captured([&] { status = DB_instance_system_tables_create(in->in, storage.get()); });
    if (err) *err = e;
    return status;
  }
  long long tables() { return scalar("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'ZUL'"); }
  std::unique_ptr<DBTUNE_SYSTEM_PARAMS> storage;
};

TEST_F(InstallTest, FreshDatabaseGetsReleaseAndEveryTableThenASecondRunDoesNothing) {
  std::string err;
  ASSERT_EQ(install(&err), 0) << err;
  std::vector<std::string> want = {"VERSION table created...\n"};
  // the spatial catalogue was enabled with the database: its two tables are there
  EXPECT_EQ(err.find("SPATIAL_REFERENCES"), std::string::npos) << err;
  EXPECT_EQ(err.find("GEOMETRY_COLUMNS"), std::string::npos) << err;
  for (size_t i = 2; i < sizeof kOrder / sizeof kOrder[0]; i++) {
    const char* t = kOrder[i];
    want.push_back(std::string(t) + " table being created...\n");
    want.push_back(std::string(t) + " table created...\n");
  }
  EXPECT_TRUE(in_order(err, want)) << err;

  RELEASE r;
  ASSERT_EQ(DB_instance_get_release(in->in, &r), 0);
  EXPECT_EQ(r.major, 8);
  EXPECT_EQ(r.minor, 3);
  EXPECT_EQ(r.bug, 0);
  EXPECT_EQ(r.release, 83002);
  // the base state is in lineage 0 from the start
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE LINEAGE_NAME = 0 AND LINEAGE_ID = 0"), 1);
  long long made = tables();

  ASSERT_EQ(install(&err), 0) << err;
  EXPECT_EQ(err.find("table"), std::string::npos) << err;
  EXPECT_EQ(tables(), made);
}

TEST_F(InstallTest, ReleaseGateAcceptsOnly83000To83999AndTouchesNoTableOtherwise) {
  struct Case { int32_t release; int32_t status; };
  const Case kCases[] = {{83999, 0}, {83000, 0}, {84000, -88}, {82999, -88}};
  for (const Case& c : kCases) {
    w.exec("DROP TABLE ZUL.VERSION");
    RELEASE r{};
    r.major = 7;
    r.minor = 9;
    r.bug = 4;
    r.release = c.release;
    ASSERT_EQ(DB_instance_release_table_create(in->in, &r, storage.get()), 0) << c.release;
    long long before = tables();
    std::string err;
    EXPECT_EQ(install(&err), c.status) << c.release;
    if (c.status != 0) {
      EXPECT_NE(err.find("Previous ZUL Server Release 7.9.4 is not compatible with the current "
                         "Release 8.3.0.\n\n"),
                std::string::npos)
          << err;
      EXPECT_EQ(tables(), before) << c.release;
    }
  }
}

TEST_F(InstallTest, OldLayersTableStopsTheInstallationAndAMissingTableIsMadeOnTheNextRun) {
  ASSERT_EQ(install(), 0);
  // a table dropped after the installation is made again, and only that one
  ASSERT_EQ(w.exec("DROP TABLE ZUL.METADATA"), SQL_SUCCESS);
  std::string err;
  ASSERT_EQ(install(&err), 0) << err;
  EXPECT_EQ(err, "METADATA table being created...\nMETADATA table created...\n");

  // a LAYERS table of the older layout is not upgraded here
  ASSERT_EQ(w.exec("DROP TABLE ZUL.LAYERS"), SQL_SUCCESS);
  ASSERT_EQ(w.exec("CREATE TABLE ZUL.LAYERS (layer_id INTEGER NOT NULL)"), SQL_SUCCESS);
  EXPECT_EQ(install(&err), -1);
  EXPECT_NE(err.find("Need to upgrade ZUL table schema.\n"), std::string::npos) << err;
}

TEST_F(InstallTest, LineagesFollowTheStateTreeAndADeletedStateLeavesItsLineage) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> states;   // (state, parent) beyond the base state
    std::vector<std::pair<int, int>> rows;     // expected (lineage, state)
  };
  const Case kCases[] = {
      {"base state only", {}, {{0, 0}}},
      {"chain", {{1, 0}, {2, 1}}, {{0, 0}, {2, 0}, {2, 1}, {2, 2}}},
      {"two children", {{1, 0}, {2, 0}}, {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 2}}},
  };
  ASSERT_EQ(DB_instance_states_table_create(in->in, storage.get()), 0);
  for (const Case& c : kCases) {
    w.exec("DROP TABLE ZUL.STATE_LINEAGES");
    w.exec("DROP TRIGGER ZUL.ZUL_LINEAGE_DELETE");
    w.exec("DELETE FROM ZUL.STATES WHERE STATE_ID <> 0");
    int lineage = 1;
    for (auto& s : c.states)
      ASSERT_EQ(w.exec("INSERT INTO ZUL.STATES (STATE_ID, OWNER, CREATION_TIME, CLOSING_TIME, PARENT_STATE_ID, "
                       "LINEAGE_NAME) VALUES (" + std::to_string(s.first) + ", 'ZUL', CURRENT TIMESTAMP, "
                       "CURRENT TIMESTAMP, " + std::to_string(s.second) + ", " + std::to_string(lineage++) + ")"),
                SQL_SUCCESS) << c.name;
    EXPECT_EQ(DB_instance_lineages_table_exists(in->in), -37) << c.name;
    ASSERT_EQ(DB_instance_lineages_table_create(in->in, storage.get(), 0, 0), 0) << c.name;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES"), (long long)c.rows.size()) << c.name;
    for (auto& r : c.rows)
      EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE LINEAGE_NAME = " + std::to_string(r.first) +
                       " AND LINEAGE_ID = " + std::to_string(r.second)), 1)
          << c.name << " (" << r.first << "," << r.second << ")";
    EXPECT_EQ(DB_instance_lineages_table_exists(in->in), 0) << c.name;
  }
  // the delete trigger: state 2 of the last tree goes, and with it its own row
  ASSERT_EQ(w.exec("DELETE FROM ZUL.STATES WHERE STATE_ID = 2"), SQL_SUCCESS);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE LINEAGE_ID = 2"), 0);
  // a missing seed row is put back by the check
  ASSERT_EQ(w.exec("DELETE FROM ZUL.STATE_LINEAGES WHERE LINEAGE_NAME = 0"), SQL_SUCCESS);
  EXPECT_EQ(DB_instance_lineages_table_exists(in->in), 0);
  EXPECT_EQ(scalar("SELECT COUNT(*) FROM ZUL.STATE_LINEAGES WHERE LINEAGE_NAME = 0 AND LINEAGE_ID = 0"), 1);
}

}  // namespace
