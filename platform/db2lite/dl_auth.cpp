// dl_auth.cpp -- the user registry: salted password hashes (libxcrypt,
// yescrypt "$y$", falling back to SHA-512 "$6$"), the login check, and the
// registration of users by the administration tool.
//
// User names compare upper-cased; passwords compare exactly. A refused
// login is 08004 whatever the reason (unknown user, wrong password), so that
// the answer does not tell which; a user without CONNECT is 08004 too, with
// its own code.
#include "dl_internal.h"

#include <crypt.h>
#include <string.h>

#include <memory>

namespace dl {

namespace {

constexpr size_t kMaxUserLen = 128;      // DB2's authorization ids are shorter
constexpr size_t kMaxPasswordLen = 1024; // bounds the hashing work of one login

bool name_ok(const std::string& u) {
  if (u.empty() || u.size() > kMaxUserLen) return false;
  for (unsigned char c : u)
    if (!(isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$')) return false;
  return true;
}

// Constant-time comparison, so a wrong password takes as long as a right one.
bool same(const char* a, const char* b) {
  size_t na = strlen(a), nb = strlen(b);
  unsigned char diff = na != nb;
  size_t n = na < nb ? na : nb;
  for (size_t k = 0; k < n; ++k) diff |= (unsigned char)(a[k] ^ b[k]);
  return diff == 0;
}

int refuse(DlDiag* diag) {
  dl_set_diag(diag, "08004", -30082,
              dl_msg(-30082, "Security processing failed with reason \"24\" (\"USERNAME AND/OR PASSWORD INVALID\").",
                     "08004"));
  return -1;
}

}  // namespace

int dl_user_add(sqlite3* db, const char* user, const char* password, bool is_dba, DlDiag* diag) {
  std::string u = dl_upper(user ? user : "");
  if (!name_ok(u) || u == "PUBLIC" || u == "SYSIBM") {
    dl_set_diag(diag, "42602", -113, dl_msg(-113, "\"" + u + "\" contains a character that is not allowed or is too long.", "42602"));
    return -1;
  }
  if (password == nullptr || strlen(password) > kMaxPasswordLen) {
    dl_set_diag(diag, "28000", -30082, dl_msg(-30082, "The password is too long.", "28000"));
    return -1;
  }
  dl_register_collation(db);
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr &&
      crypt_gensalt_rn("$6$", 0, nullptr, 0, setting, sizeof setting) == nullptr) {
    dl_set_diag(diag, "58004", -902, dl_msg(-902, "No password hashing method is available.", "58004"));
    return -1;
  }
  auto data = std::make_unique<struct crypt_data>();
  memset(data.get(), 0, sizeof *data);
  const char* hash = crypt_r(password, setting, data.get());
  if (hash == nullptr || hash[0] == '*') {
    dl_set_diag(diag, "58004", -902, dl_msg(-902, "Hashing the password failed.", "58004"));
    return -1;
  }
  std::string sql = "INSERT OR REPLACE INTO DL_USERS (NAME, HASH, CREATE_TIME) VALUES (" +
                    dl_lit(u) + ", " + dl_lit(hash) + ", " + dl_lit(dl_now_timestamp()) + ")";
  if (dl_exec(db, sql) != SQLITE_OK) {
    dl_set_diag(diag, "58004", -902, dl_msg(-902, "Registering user \"" + u + "\" failed: " +
                                                      std::string(sqlite3_errmsg(db)) + ".", "58004"));
    return -1;
  }
  if (is_dba) return dl_authority_set(db, u.c_str(), "DBADM", true, diag);
  return 0;
}

int dl_authenticate(sqlite3* db, const char* user, const char* password, DlDiag* diag) {
  std::string u = dl_upper(user ? user : "");
  if (!name_ok(u) || password == nullptr || strlen(password) > kMaxPasswordLen) return refuse(diag);
  dl_register_collation(db);  // the login may come before the connection's set-up
  std::vector<std::vector<std::string>> rows;
  if (dl_query(db, "SELECT HASH FROM DL_USERS WHERE NAME = ?1", {u}, &rows) != 0 || rows.empty() ||
      rows[0].empty())
    return refuse(diag);
  auto data = std::make_unique<struct crypt_data>();
  memset(data.get(), 0, sizeof *data);
  const char* h = crypt_r(password, rows[0][0].c_str(), data.get());
  if (h == nullptr || h[0] == '*' || !same(h, rows[0][0].c_str())) return refuse(diag);
  if (!dl_has_authority(db, u, "CONNECT")) {
    dl_set_diag(diag, "08004", -1060,
                dl_msg(-1060, "User \"" + u + "\" does not have the CONNECT privilege.", "08004"));
    return -1;
  }
  return 0;
}

}  // namespace dl
