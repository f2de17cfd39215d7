// test_auth.cpp -- the user registry: salted hashes, refused logins as 08004
// whatever the reason, and the CONNECT authority.
#include "dl_test_support.h"

#include "dl_conn.h"
#include "dl_engine.h"
#include "dl_internal.h"

#include <gtest/gtest.h>

namespace {

struct Db {
  sqlite3* db = nullptr;
  Db() {
    sqlite3_open(":memory:", &db);
    dl::DlDiag d;
    dl::dl_catalog_init(db, &d);
  }
  ~Db() { sqlite3_close(db); }
};

TEST(Auth, LoginsAreCheckedAgainstSaltedHashes) {
  Db x;
  dl::DlDiag d;
  ASSERT_EQ(dl::dl_user_add(x.db, "bob", "S3cret!", false, &d), 0) << d.text;
  ASSERT_EQ(dl::dl_user_add(x.db, "carol", "S3cret!", false, &d), 0) << d.text;
  std::vector<std::vector<std::string>> rows;
  ASSERT_EQ(dl::dl_query(x.db, "SELECT NAME, HASH FROM DL_USERS ORDER BY NAME", {}, &rows), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "BOB");
  EXPECT_EQ(rows[0][1].find("S3cret"), std::string::npos);
  EXPECT_TRUE(rows[0][1].rfind("$y$", 0) == 0 || rows[0][1].rfind("$6$", 0) == 0) << rows[0][1];
  EXPECT_NE(rows[0][1], rows[1][1]) << "same password, same hash: no salt";

  struct Login { const char* user; const char* pw; int rc; const char* state; int native; };
  const Login cases[] = {
      {"bob", "S3cret!", 0, "00000", 0},
      {"BOB", "S3cret!", 0, "00000", 0},          // names fold
      {"bob", "s3cret!", -1, "08004", -30082},    // passwords do not
      {"bob", "", -1, "08004", -30082},
      {"nobody", "S3cret!", -1, "08004", -30082}, // same answer as a wrong password
      {"bob'--", "x", -1, "08004", -30082},
      {"", "", -1, "08004", -30082},
  };
  for (const Login& c : cases) {
    dl::DlDiag dd;
    dd.sqlstate = "00000";
    EXPECT_EQ(dl::dl_authenticate(x.db, c.user, c.pw, &dd), c.rc) << c.user << "/" << c.pw;
    EXPECT_EQ(dd.sqlstate, c.state) << c.user << "/" << c.pw;
    EXPECT_EQ(dd.native, c.native) << c.user << "/" << c.pw;
  }
  std::string huge(5000, 'x');
  EXPECT_EQ(dl::dl_authenticate(x.db, "bob", huge.c_str(), &d), -1);
  EXPECT_EQ(dl::dl_user_add(x.db, "bad name", "pw", false, &d), -1);
}

TEST(Auth, ConnectAuthorityIsRequired) {
  Db x;
  dl::DlDiag d;
  ASSERT_EQ(dl::dl_user_add(x.db, "bob", "pw", false, &d), 0);
  ASSERT_EQ(dl::dl_authority_set(x.db, "PUBLIC", "CONNECT", false, &d), 0);
  EXPECT_EQ(dl::dl_authenticate(x.db, "bob", "pw", &d), -1);
  EXPECT_EQ(d.sqlstate, "08004");
  EXPECT_EQ(d.native, -1060);
  ASSERT_EQ(dl::dl_authority_set(x.db, "bob", "CONNECT", true, &d), 0);
  EXPECT_EQ(dl::dl_authenticate(x.db, "bob", "pw", &d), 0);
  // The administrator always may connect.
  ASSERT_EQ(dl::dl_user_add(x.db, "zul", "zpw", true, &d), 0);
  EXPECT_EQ(dl::dl_authenticate(x.db, "zul", "zpw", &d), 0);
  EXPECT_TRUE(dl::dl_has_authority(x.db, "ZUL", "CREATE_NOT_FENCED"));
  EXPECT_FALSE(dl::dl_has_authority(x.db, "BOB", "CREATE_NOT_FENCED"));
  EXPECT_TRUE(dl::dl_has_authority(x.db, "BOB", "CREATETAB"));  // PUBLIC's default
}

}  // namespace
