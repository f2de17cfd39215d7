// sqlca.h -- db2lite's SQL communication area, for stored procedures and the
// programs that bind packages or read message texts.
//
// There is one SQLCA record in db2lite, declared with SQLGetSQLCA in
// dl_spatial_sqlca.h: 136 bytes, SQLCODE (sqlcode), SQLSTATE (sqlstate, five
// characters, not terminated), the start of the message text (sqlerrmc,
// sqlerrml bytes of it), and six diagnostic numbers (sqlerrd; sqlerrd[2] is
// the number of rows a statement of the embedded-SQL runtime changed).
// sqlwarn[0] is 'W' when any warning flag is set; sqlwarn[1] is 'W' when a
// character value was truncated into a host variable.
//
// A cleared area has sqlcode 0 and sqlstate "00000"; dl_sqlca_clear makes one.
#ifndef DB2LITE_SQLCA_H
#define DB2LITE_SQLCA_H

#include "dl_spatial_sqlca.h"

#ifdef __cplusplus
extern "C" {
#endif

// Clears *ca: sqlcode 0, sqlstate "00000", no message, no warnings.
void dl_sqlca_clear(struct sqlca* ca);

#ifdef __cplusplus
}
#endif

#endif
