// dbrev.cpp -- the build texts of this library: the DBMS name, the build date
// and the build number, which the release record and the banner show.
//
// The build number is the revision number of the revision string below: the
// digits after its first "1." up to the next blank.
#include <stdio.h>
#include <string.h>

#include "zul_dbms.h"

namespace {

constexpr char kRevision[] = "$Id: dbrev.cpp 1.788 2004/07/13 16:46:49 $";
constexpr char kDbmsName[] = "DB2";
constexpr char kBuildDate[] = "Tue Jul 13 09:46:49 PDT 2004";

void copy_text(char* out, size_t cap, const char* text) {
  if (out == nullptr) return;
  size_t len = strnlen(text, cap - 1);
  memcpy(out, text, len);
  out[len] = '\0';
}

}  // namespace

void DB_dbms_get_rev(char* dbms_name, char* build_date, char* build_text) {
  copy_text(dbms_name, SE_DBMS_NAME_LEN, kDbmsName);
  copy_text(build_date, SE_DBMS_BUILD_DATE_LEN, kBuildDate);
  if (build_text == nullptr) return;
  char number[16] = "";
  const char* rev = strstr(kRevision, "1.");
  if (rev != nullptr) {
    rev += 2;
    size_t len = 0;
    while (rev[len] != '\0' && rev[len] != ' ' && len < sizeof number - 1) {
      number[len] = rev[len];
      ++len;
    }
    number[len] = '\0';
  }
  char text[SE_DBMS_BUILD_TEXT_LEN];
  snprintf(text, sizeof text, " Build %s", number);
  copy_text(build_text, SE_DBMS_BUILD_TEXT_LEN, text);
}
