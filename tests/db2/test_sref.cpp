// test_sref.cpp -- spatial references in the Spatial Extender catalogue:
// creation (new ids from 1, identical references found again, coordinate
// systems shared, texts with quotes kept whole, text-less references),
// reading one and all (several rowsets), alteration and removal with the
// Spatial Extender's refusals, and failures that must leave the catalogue
// as it was.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <set>
#include <string>

#include "db_test_support.h"
#include "dl_fault.h"
#include "geomkit.h"
#include "zul_db_sref.h"

using dbtest::Database;
using dbtest::Instance;
using dbtest::Watcher;

namespace {

const char kText[] =
    "GEOGCS[\"GCS_O'Brien\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.0174532925199433]]";

// A caller's spatial reference with its own COORDREF and text buffer.
struct Ref {
  SE_SPATIALREF r;
  COORDREF cr;
  char text[SE_SREF_SRTEXT_LEN];
  explicit Ref(const char* srtext, double falsex = -180, double xyunits = 1000) {
    memset(&r, 0, sizeof r);
    memset(&cr, 0, sizeof cr);
    snprintf(text, sizeof text, "%s", srtext != nullptr ? srtext : "");
    cr.srtext = srtext != nullptr ? text : nullptr;
    cr.falsex = falsex;
    cr.falsey = -90;
    cr.xyunits = xyunits;
    cr.zunits = 1;
    cr.munits = 1;
    r.coordref = &cr;
  }
};

// A record read back; its COORDREF is freed with it.
struct Read {
  SE_SPATIALREF r;
  Read() { memset(&r, 0, sizeof r); }
  ~Read() { db_spatial_ref_release(&r); }
};

class SrefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db.error(), "");
    ASSERT_EQ(dbtest::admin(ZUL_BIN_DIR, "enable-spatial ZUL"), "");
    bob.reset(new Instance());
    ASSERT_EQ(bob->status, 0);
    in = bob->in;
  }
  void TearDown() override { dl::dl_fault_clear(); }
  long long count(const std::string& where_sql) { return w.scalar("SELECT COUNT(*) FROM " + where_sql); }

  Database db;
  std::unique_ptr<Instance> bob;
  DB_INSTANCE* in = nullptr;
  Watcher w;
};

TEST_F(SrefTest, CreateNumbersFromOneFindsIdenticalAndSharesCoordinateSystems) {
  Ref a(kText);
  ASSERT_EQ(DB_spatial_ref_create(in, &a.r), 0);
  EXPECT_EQ(a.r.srid, 1);
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE SRID = 1 AND SCID = 1 AND SREF_NAME = 'SREF_1' "
                  "AND XYUNITS = 1000 AND FALSEX = -180"), 1);
  // the text with its quote is stored whole, under the server's name
  EXPECT_EQ(count("DB2GSE.GSE_COORD_REF WHERE SCID = 1 AND SC_NAME = 'CREF_1' AND SRTEXT LIKE "
                  "'%O''Brien%' AND LENGTH(SRTEXT) = " + std::to_string(strlen(kText))), 1);

  Ref again(kText);
  EXPECT_EQ(DB_spatial_ref_create(in, &again.r), SE_SPATIALREF_EXISTS);
  EXPECT_EQ(again.r.srid, 1);

  Ref finer(kText, -180, 100000);
  ASSERT_EQ(DB_spatial_ref_create(in, &finer.r), 0);
  EXPECT_EQ(finer.r.srid, 2);
  EXPECT_EQ(count("DB2GSE.GSE_COORD_REF"), 1);   // one coordinate system for both
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE SRID = 2 AND SCID = 1"), 1);

  Ref bad(kText);
  EXPECT_EQ(DB_spatial_ref_create(in, nullptr), SE_INVALID_POINTER);
  bad.r.coordref = nullptr;
  EXPECT_EQ(DB_spatial_ref_create(in, &bad.r), SE_INVALID_POINTER);
}

TEST_F(SrefTest, ReferenceWithoutTextIsStoredUnknownFoundAgainAndReadWithoutText) {
  Ref plain(nullptr, 0, 100);
  ASSERT_EQ(DB_spatial_ref_create(in, &plain.r), 0);
  EXPECT_EQ(count("DB2GSE.GSE_COORD_REF WHERE SRTEXT = 'UNKNOWN'"), 1);
  Ref empty("", 0, 100);
  EXPECT_EQ(DB_spatial_ref_create(in, &empty.r), SE_SPATIALREF_EXISTS);
  EXPECT_EQ(empty.r.srid, plain.r.srid);
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF"), 1);
  EXPECT_EQ(count("DB2GSE.GSE_COORD_REF"), 1);

  Read got;
  ASSERT_EQ(DB_spatial_ref_get_info(in, plain.r.srid, &got.r), 0);
  ASSERT_NE(got.r.coordref, nullptr);
  EXPECT_EQ(got.r.coordref->srtext, nullptr);
  EXPECT_EQ(got.r.coordref->srid, plain.r.srid);
  EXPECT_DOUBLE_EQ(got.r.coordref->xyunits, 100);
  // rounding values follow the units read, not those of a default reference
  EXPECT_DOUBLE_EQ(got.r.coordref->xycround, 0.01);
  EXPECT_DOUBLE_EQ(got.r.coordref->xyhalfsu, 0.005);
}

TEST_F(SrefTest, GetInfoReadsValuesAndReplacesTheRecordsCoordref) {
  Ref a(kText, -170.5, 5000);
  a.cr.falsez = -10;
  a.cr.zunits = 20;
  a.cr.falsem = 3;
  a.cr.munits = 40;
  ASSERT_EQ(DB_spatial_ref_create(in, &a.r), 0);
  ASSERT_EQ(w.exec("UPDATE DB2GSE.GSE_COORD_REF SET AUTH_NAME = 'EPSG', AUTH_SRID = 4326, "
                   "DESC = 'world' WHERE SCID = 1"),
            SQL_SUCCESS);

  Read got;
  got.r.local_word = 77;
  for (int round = 0; round < 2; ++round) {   // the second read frees the first COORDREF
    ASSERT_EQ(DB_spatial_ref_get_info(in, a.r.srid, &got.r), 0);
    EXPECT_EQ(got.r.local_word, 77);
    EXPECT_EQ(got.r.srid, a.r.srid);
    EXPECT_STREQ(got.r.description, "world");
    EXPECT_STREQ(got.r.auth_name, "EPSG");
    EXPECT_EQ(got.r.auth_srid, 4326);
    const COORDREF* cr = got.r.coordref;
    ASSERT_NE(cr, nullptr);
    EXPECT_STREQ(cr->srtext, kText);
    EXPECT_DOUBLE_EQ(cr->falsex, -170.5);
    EXPECT_DOUBLE_EQ(cr->falsey, -90);
    EXPECT_DOUBLE_EQ(cr->xyunits, 5000);
    EXPECT_DOUBLE_EQ(cr->falsez, -10);
    EXPECT_DOUBLE_EQ(cr->zunits, 20);
    EXPECT_DOUBLE_EQ(cr->falsem, 3);
    EXPECT_DOUBLE_EQ(cr->munits, 40);
    EXPECT_DOUBLE_EQ(cr->xycround, 0.0002);
    EXPECT_DOUBLE_EQ(cr->zhalfsu, 0.025);
    EXPECT_DOUBLE_EQ(cr->mcround, 0.025);
  }

  Read none;
  EXPECT_EQ(DB_spatial_ref_get_info(in, 99, &none.r), SE_SPATIALREF_NOEXIST);
  EXPECT_EQ(none.r.coordref, nullptr);
  EXPECT_EQ(DB_spatial_ref_get_info(in, 1, nullptr), SE_INVALID_POINTER);
}

TEST_F(SrefTest, ListReadsEveryReferenceOverSeveralRowsets) {
  EXPECT_EQ(DB_spatial_ref_get_info_list(in, nullptr, nullptr), SE_INVALID_POINTER);
  SE_SPATIALREF* refs = reinterpret_cast<SE_SPATIALREF*>(0x1);
  int32_t n = -1;
  ASSERT_EQ(DB_spatial_ref_get_info_list(in, &refs, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(refs, nullptr);

  for (int i = 0; i < 250; ++i) {
    Ref r(kText, -180 + i, 1000);
    ASSERT_EQ(DB_spatial_ref_create(in, &r.r), 0) << i;
  }
  ASSERT_EQ(DB_spatial_ref_get_info_list(in, &refs, &n), 0);
  ASSERT_EQ(n, 250);
  std::set<int> srids;
  for (int i = 0; i < n; ++i) {
    srids.insert(refs[i].srid);
    ASSERT_NE(refs[i].coordref, nullptr);
    EXPECT_DOUBLE_EQ(refs[i].coordref->falsex, -180 + refs[i].srid - 1);
    EXPECT_STREQ(refs[i].coordref->srtext, kText);
  }
  EXPECT_EQ(srids.size(), 250u);
  EXPECT_EQ(*srids.begin(), 1);
  EXPECT_EQ(*srids.rbegin(), 250);
  db_spatial_ref_free_list(refs, n);
}

TEST_F(SrefTest, AlterAndDeleteFollowTheSpatialExtendersAnswers) {
  Ref a(kText);
  ASSERT_EQ(DB_spatial_ref_create(in, &a.r), 0);
  Ref used(kText, 0, 10);
  ASSERT_EQ(DB_spatial_ref_create(in, &used.r), 0);
  ASSERT_EQ(w.exec("INSERT INTO DB2GSE.GSE_LAYER (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN, SRID) "
                   "VALUES ('BOB', 'ROADS', 'SHAPE', " + std::to_string(used.r.srid) + ")"),
            SQL_SUCCESS);

  // new values under the same srid, in a new coordinate system
  Ref changed("PROJCS[\"Local\",UNIT[\"Meter\",1]]", 500, 250);
  changed.r.srid = a.r.srid;
  ASSERT_EQ(DB_spatial_ref_alter(in, &changed.r), 0);
  Read got;
  ASSERT_EQ(DB_spatial_ref_get_info(in, a.r.srid, &got.r), 0);
  EXPECT_DOUBLE_EQ(got.r.coordref->falsex, 500);
  EXPECT_DOUBLE_EQ(got.r.coordref->xyunits, 250);
  EXPECT_STREQ(got.r.coordref->srtext, "PROJCS[\"Local\",UNIT[\"Meter\",1]]");

  struct Case {
    const char* name;
    int32_t srid;
    int32_t alter, del;
  } cases[] = {
      {"no such srid", 42, SE_SPATIALREF_NOEXIST, SE_SPATIALREF_NOEXIST},
      {"in use by a layer", used.r.srid, SE_SPATIALREF_IN_USE, SE_SPATIALREF_IN_USE},
  };
  for (const Case& c : cases) {
    Ref r(kText, 1, 1);
    r.r.srid = c.srid;
    EXPECT_EQ(DB_spatial_ref_alter(in, &r.r), c.alter) << c.name;
    EXPECT_EQ(DB_spatial_ref_delete(in, c.srid), c.del) << c.name;
  }
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE SRID = " + std::to_string(used.r.srid) +
                  " AND XYUNITS = 10"), 1);
  EXPECT_EQ(DB_spatial_ref_alter(in, nullptr), SE_INVALID_POINTER);

  ASSERT_EQ(DB_spatial_ref_delete(in, a.r.srid), 0);
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE SRID = " + std::to_string(a.r.srid)), 0);
  Read gone;
  EXPECT_EQ(DB_spatial_ref_get_info(in, a.r.srid, &gone.r), SE_SPATIALREF_NOEXIST);
}

TEST_F(SrefTest, FailedRecreationKeepsTheAlteredReference) {
  Ref a(kText, 7, 1000);
  ASSERT_EQ(DB_spatial_ref_create(in, &a.r), 0);
  // units the Spatial Extender refuses: the removal is undone
  Ref bad(kText, 8, 0);
  bad.r.srid = a.r.srid;
  EXPECT_EQ(DB_spatial_ref_alter(in, &bad.r), SE_DB_IO_ERROR);
  EXPECT_EQ(DB_instance_get_xerr(in).native, -12);
  EXPECT_NE(DB_instance_get_xerr(in).msg[0], '\0');
  // a failing call: the removal is undone as well
  dl::dl_fault_fail_statement(1, "58004", -902, "gse_enable_sref");
  Ref other(kText, 9, 1000);
  other.r.srid = a.r.srid;
  EXPECT_EQ(DB_spatial_ref_alter(in, &other.r), SE_DB_IO_ERROR);
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE SRID = " + std::to_string(a.r.srid) +
                  " AND FALSEX = 7 AND XYUNITS = 1000"), 1);
  // nothing left pending for the next commit to write
  ASSERT_EQ(db_ddl_commit(in), 0);
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF WHERE FALSEX = 7"), 1);
}

TEST_F(SrefTest, CreationFailuresLeaveNoReferenceAndReleaseTheLock) {
  struct Case {
    const char* name;
    const char* fail;     // statement made to fail, or null
    double xyunits;
    int32_t status;
  } cases[] = {
      {"units refused by the Spatial Extender", nullptr, 0, SE_DB_IO_ERROR},
      {"procedure call fails", "gse_enable_sref", 1000, SE_DB_IO_ERROR},
      {"srid table lock fails", "lock table", 1000, SE_DB_IO_ERROR},
  };
  for (const Case& c : cases) {
    if (c.fail != nullptr) dl::dl_fault_fail_statement(1, "57033", -911, c.fail);
    Ref r(kText, 3, c.xyunits);
    r.r.srid = 5;
    EXPECT_EQ(DB_spatial_ref_create(in, &r.r), c.status) << c.name;
    EXPECT_EQ(r.r.srid, 0) << c.name;
    EXPECT_EQ(DB_instance_get_xerr(in).code, SE_DB_IO_ERROR) << c.name;
    dl::dl_fault_clear();
  }
  EXPECT_EQ(count("DB2GSE.GSE_SPATIAL_REF"), 0);
  // another connection can take the table lock: none is left held
  EXPECT_EQ(w.exec("LOCK TABLE DB2GSE.GSE_SPATIAL_REF IN EXCLUSIVE MODE"), SQL_SUCCESS);
  EXPECT_EQ(w.exec("COMMIT"), SQL_SUCCESS);

  // texts beyond what a COORDREF holds: refused on the way in and out
  std::string long_text = "GEOGCS[\"" + std::string(1100, 'x') + "\"]";
  COORDREF cr = Ref(nullptr).cr;
  cr.srtext = const_cast<char*>(long_text.c_str());
  SE_SPATIALREF r;
  memset(&r, 0, sizeof r);
  r.coordref = &cr;
  EXPECT_EQ(DB_spatial_ref_create(in, &r), SE_INVALID_PARAM);
  ASSERT_EQ(w.exec("INSERT INTO DB2GSE.GSE_COORD_REF (SCID, SRTEXT) VALUES (50, '" + long_text +
                   "')"),
            SQL_SUCCESS);
  ASSERT_EQ(w.exec("INSERT INTO DB2GSE.GSE_SPATIAL_REF (SRID, SCID, FALSEX, FALSEY, XYUNITS, "
                   "FALSEZ, ZUNITS, FALSEM, MUNITS) VALUES (60, 50, 0, 0, 1, 0, 1, 0, 1)"),
            SQL_SUCCESS);
  Read got;
  EXPECT_EQ(DB_spatial_ref_get_info(in, 60, &got.r), SE_INVALID_PARAM);
  EXPECT_EQ(got.r.coordref, nullptr);
}

}  // namespace
