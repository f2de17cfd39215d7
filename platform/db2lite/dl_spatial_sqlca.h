// dl_spatial_sqlca.h -- DB2's SQL communication area and SQLGetSQLCA, the
// DB2-only CLI call that fills it from a handle's last diagnostic (the
// Spatial Extender's error report reads it).
//
// The record has DB2's layout (136 bytes); sqlerrmc holds the start of the
// message text, sqlerrml its length; SQLGetSQLCA leaves sqlerrd zero and
// sqlwarn blank (the embedded-SQL runtime fills them, see sqlca.h).
#ifndef DL_SPATIAL_SQLCA_H
#define DL_SPATIAL_SQLCA_H

#include <sql.h>
#include <stddef.h>
#include <stdint.h>

#ifndef SQL_SQLCA
#define SQL_SQLCA
struct sqlca {
  char sqlcaid[8];     // "SQLCA   "
  int32_t sqlcabc;     // 136, the record's size
  int32_t sqlcode;     // SQLCODE: 0, negative error, positive warning
  short sqlerrml;      // bytes used in sqlerrmc
  char sqlerrmc[70];   // message text (not NUL-terminated)
  char sqlerrp[8];     // product and module, "DB2LITE "
  int32_t sqlerrd[6];  // diagnostic numbers; [2] rows an embedded statement changed
  char sqlwarn[11];    // warning flags, blank
  char sqlstate[5];    // SQLSTATE (not NUL-terminated)
};
#ifdef __cplusplus
static_assert(sizeof(struct sqlca) == 136, "sqlca is DB2's 136 bytes");
static_assert(offsetof(struct sqlca, sqlcode) == 12, "sqlcode at 12");
static_assert(offsetof(struct sqlca, sqlerrmc) == 18, "sqlerrmc at 18");
static_assert(offsetof(struct sqlca, sqlerrd) == 96, "sqlerrd at 96");
static_assert(offsetof(struct sqlca, sqlstate) == 131, "sqlstate at 131");
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Fills *ca from the first diagnostic record of the statement (else the
// connection, else the environment) handle: SQLCODE 0 and "00000" when there
// is none. SQL_SUCCESS; SQL_INVALID_HANDLE when no handle is valid;
// SQL_ERROR for a null ca.
SQLRETURN SQLGetSQLCA(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, struct sqlca* ca);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
namespace dl {
// Fills *ca from one diagnostic (state and text may be null: no error).
void dl_sqlca_fill(const char* state, int32_t native, const char* text, struct sqlca* ca);
}  // namespace dl
#endif

#endif
