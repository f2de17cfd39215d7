// dl_spatial_sqlca.cpp -- SQLGetSQLCA: DB2's SQL communication area filled
// from a CLI handle's first diagnostic record.
//
// Relies on the CLI's handles (dl_cli_impl.h) for the diagnostics.
#include "dl_spatial_sqlca.h"

#include "dl_cli_impl.h"

#include <string.h>

namespace dl {

void dl_sqlca_fill(const char* state, int32_t native, const char* text, struct sqlca* ca) {
  memset(ca, 0, sizeof *ca);
  memcpy(ca->sqlcaid, "SQLCA   ", 8);
  ca->sqlcabc = (int32_t)sizeof *ca;
  memcpy(ca->sqlerrp, "DB2LITE ", 8);
  memset(ca->sqlwarn, ' ', sizeof ca->sqlwarn);
  bool error = state != nullptr && strlen(state) == 5;
  memcpy(ca->sqlstate, error ? state : "00000", 5);
  ca->sqlcode = error ? native : 0;
  size_t n = error && text ? strlen(text) : 0;
  if (n > sizeof ca->sqlerrmc) n = sizeof ca->sqlerrmc;
  if (n) memcpy(ca->sqlerrmc, text, n);
  ca->sqlerrml = (short)n;
}

}  // namespace dl

extern "C" SQLRETURN SQLGetSQLCA(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, struct sqlca* ca) {
  using namespace dl;
  Handle* h = nullptr;
  if (hstmt != SQL_NULL_HSTMT) h = as_stmt(hstmt);
  else if (hdbc != SQL_NULL_HDBC) h = as_dbc(hdbc);
  else if (henv != SQL_NULL_HENV) h = as_env(henv);
  if (h == nullptr) return SQL_INVALID_HANDLE;
  if (ca == nullptr) return SQL_ERROR;
  if (h->diags.empty()) {
    dl_sqlca_fill(nullptr, 0, nullptr, ca);
  } else {
    const Diag& d = h->diags.front();
    dl_sqlca_fill(d.state.c_str(), d.native, d.text.c_str(), ca);
  }
  return SQL_SUCCESS;
}
